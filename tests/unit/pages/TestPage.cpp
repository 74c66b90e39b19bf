#include "TestPage.h"

#include "pages/LinkHandler.h"
#include "pages/test_ids.h"
#include "resources/resource.h"

TestPage::TestPage(const PageContext& context) : IPage(context, PageKind::Welcome, IDD_TEST_PAGE) {}

// The window goes with the object (the page base takes care of it).
TestPage::~TestPage() = default;

bool TestPage::OnInitDialog() {
  IPage::OnInitDialog();
  m_downloadPicture.SubclassDlgItem(IDC_TEST_DOWNLOAD_PICTURE, *this);
  m_downloadPicture.LoadFromResource(IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB");
  m_successPicture.SubclassDlgItem(IDC_TEST_SUCCESS_PICTURE, *this);
  m_successPicture.LoadFromResource(IDR_IMAGE_SUCCESS, L"IMAGE_BLOB2");
  m_failurePicture.SubclassDlgItem(IDC_TEST_FAILURE_PICTURE, *this);
  m_failurePicture.LoadFromResource(IDR_IMAGE_FAILURE, L"IMAGE_BLOB3");
  m_emptyPicture.SubclassDlgItem(IDC_TEST_EMPTY_PICTURE, *this);

  BindText(IDC_TEST_TEXT, "SPLASH_TEXT");
  BindText(IDC_TEST_MISSING_KEY, "NOT_IN_ANY_DOCUMENT");
  BindText(IDC_TEST_NO_CONTROL, "BUTTON_BACK");
  BindText(IDC_TEST_NEXT, "BUTTON_NEXT");
  UpdateTexts();
  return true;
}

void TestPage::UpdateTexts() {
  ++m_updates;
  IPage::UpdateTexts();
}

bool TestPage::OnCommand(int id, int code, HWND /*control*/) {
  if (id != IDC_TEST_NEXT || code != BN_CLICKED) return false;
  if (m_buttonCallback) m_buttonCallback(ButtonType::Next);
  return true;
}

bool TestPage::OnNotify(const NMHDR& header, LRESULT& result) {
  if (header.idFrom != IDC_TEST_LINKS) return false;
  return OnLinkClick(header, result, [this](const std::wstring& url) { m_openedUrls.push_back(url); });
}

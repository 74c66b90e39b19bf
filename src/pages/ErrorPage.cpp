#include "pages/ErrorPage.h"

#include "resources/resource.h"

ErrorPage::ErrorPage(const PageContext& context) : IPage(context, PageKind::Error, IDD_ERROR_PAGE) {}

bool ErrorPage::OnInitDialog() {
  IPage::OnInitDialog();
  m_icon.SubclassDlgItem(IDC_PAGE_IMAGE, *this);
  BindText(IDC_ERROR_CLOSE, "BUTTON_CLOSE");
  UpdateTexts();
  return true;
}

void ErrorPage::SetTexts(const std::wstring& title, const std::wstring& text) {
  m_title = title;
  m_text = text;
  SetItemText(IDC_ERROR_TITLE, m_title);
  SetItemText(IDC_ERROR_TEXT, m_text);
}

bool ErrorPage::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM lParam, LRESULT& /*result*/) {
  // The picture is decoded when the page first shows, not while the wizard starts: the first
  // decode of a process starts the imaging components, and most runs never show this page.
  if (message == WM_WINDOWPOSCHANGED && !m_icon.GetImage() &&
      (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) != 0) {
    m_icon.LoadFromResource(IDR_IMAGE_FAILURE, L"IMAGE_BLOB3");
  }
  return false;
}

bool ErrorPage::OnCommand(int id, int code, HWND /*control*/) {
  if (id != IDC_ERROR_CLOSE || code != BN_CLICKED) return false;
  if (m_buttonCallback) m_buttonCallback(ButtonType::Close);
  return true;
}

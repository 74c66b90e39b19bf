#include "pages/LicensePage.h"

#include <richedit.h>

#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "pages/LinkHandler.h"
#include "pages/LinkMarkup.h"
#include "resources/resource.h"
#include "win32/Strings.h"
#include "win32/SystemLibraries.h"

LicensePageIsv::LicensePageIsv(const PageContext& context) : WizardPage(context, PageKind::License, IDD_LICENSE_PAGE) {
  // The template's RichEdit 1.0 control needs its library before the page's window is made;
  // loaded here, not at start, as only BT wizards show this page. It stays for the process's life.
  win32::LoadSystemLibrary(L"riched32.dll");
}

bool LicensePageIsv::OnInitDialog() {
  WizardPage::OnInitDialog();
  ::SendMessageW(GetItem(IDC_LICENSE_EULA), EM_AUTOURLDETECT, TRUE, 0);
  m_backgroundBrush.reset(::CreateSolidBrush(m_config->backgroundColor));
  BindText(IDC_LICENSE_TITLE, "LICENSE_TITLE");
  BindText(IDC_LICENSE_TEXT, "LICENSE_TEXT");
  BindText(IDC_LICENSE_EULA, "LICENSE_EULA");
  BindText(IDC_LICENSE_LINKS, "LICENSE_DISCLAIMER");
  BindText(IDC_BACK, "BUTTON_BACK");
  BindText(IDC_AGREE, "BUTTON_AGREE");
  BindText(IDC_TITLE, "PRODUCT_TITLE");  // the template has no such control
  UpdateTexts();
  m_titleFont.Apply(GetItem(IDC_LICENSE_TITLE));
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_AGREE, 0);
  return true;
}

void LicensePageIsv::UpdateTexts() {
  IPage::UpdateTexts();
  const std::wstring localized = m_languageManager->GetString("LICENSE_DISCLAIMER");
  if (localized.empty()) return;
  const auto& config = m_config;
  std::wstring text = localized;
  win32::ReplaceAll(text, L"[LICENSE_TOS_URL]", LinkUrl(config->termsUrl));
  win32::ReplaceAll(text, L"[LICENSE_PRIVACY_URL]", LinkUrl(config->privacyUrl));
  SetItemText(IDC_LICENSE_LINKS, text);
}

bool LicensePageIsv::OnCommand(int id, int code, HWND /*control*/) {
  if (code != BN_CLICKED || (id != IDC_AGREE && id != IDC_BACK)) return false;
  if (m_buttonCallback) m_buttonCallback(id == IDC_AGREE ? ButtonType::Next : ButtonType::Back);
  return true;
}

bool LicensePageIsv::OnNotify(const NMHDR& header, LRESULT& result) {
  return header.idFrom == IDC_LICENSE_LINKS && OnLinkClick(header, result);
}

HBRUSH LicensePageIsv::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_LICENSE_LINKS)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_backgroundBrush.get();
  }
  return IPage::OnCtlColor(dc, control, message);
}

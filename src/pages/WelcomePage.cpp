#include "pages/WelcomePage.h"

#include <commctrl.h>

#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "offers/RunState.h"
#include "pages/LinkHandler.h"
#include "pages/LinkMarkup.h"
#include "resources/resource.h"

WelcomePageIsv::WelcomePageIsv(const PageContext& context) : WizardPage(context, PageKind::Welcome, IDD_WELCOME_PAGE) {}

bool WelcomePageIsv::OnInitDialog() {
  WizardPage::OnInitDialog();
  const auto& config = m_config;
  const bool dlm = config->wizardType == ConfigurationManager::kWizardTypeDlm;
  m_backgroundBrush.reset(::CreateSolidBrush(config->backgroundColor));
  m_productImage.SubclassDlgItem(IDC_PAGE_IMAGE, *this);
  if (dlm) {
    m_productImage.SetImage(m_run->productLogo);
  } else {
    m_productImage.LoadFromResource(IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB");
  }
  m_links[0] = {IDC_PRIVACY_LINK, "PRIVACY_LINK", config->privacyUrl};
  m_links[1] = {IDC_TERMS_LINK, dlm ? "TOS_LINK" : "EULA_LINK", config->termsUrl};
  m_links[2] = {IDC_LICENSE_LINK, "SDK_LINK", config->wizardPrivacyUrl};
  BindText(IDC_WELCOME_TITLE, "WELCOME_TITLE");
  BindText(IDC_TITLE, "PRODUCT_TITLE");
  BindText(IDC_WELCOME_TEXT, "WELCOME_TEXT");
  BindText(IDC_NEXT, "BUTTON_NEXT");
  // A link without an address leads nowhere; it is not shown.
  for (const Link& link : m_links) ShowItem(link.id, !link.url.empty());
  UpdateTexts();
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

void WelcomePageIsv::UpdateTexts() {
  IPage::UpdateTexts();
  for (const Link& link : m_links) {
    HWND control = GetItem(link.id);
    const std::wstring text = m_languageManager->GetString(link.key);
    if (control == nullptr || text.empty()) continue;
    ::SetWindowTextW(control, MakeLink(link.url, text).c_str());
    SIZE ideal{};
    RECT rect{};
    RECT page{};
    ::GetWindowRect(control, &rect);
    ::GetClientRect(GetHwnd(), &page);
    ::SendMessageW(control, LM_GETIDEALHEIGHT, static_cast<WPARAM>(page.right), reinterpret_cast<LPARAM>(&ideal));
    if (ideal.cx > 0) {
      ::SetWindowPos(control, nullptr, 0, 0, ideal.cx, rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
}

bool WelcomePageIsv::OnCommand(int id, int code, HWND /*control*/) {
  if (id != IDC_NEXT || code != BN_CLICKED) return false;
  if (m_buttonCallback) m_buttonCallback(ButtonType::Next);
  return true;
}

bool WelcomePageIsv::OnNotify(const NMHDR& header, LRESULT& result) {
  for (const Link& link : m_links) {
    if (header.idFrom == static_cast<UINT_PTR>(link.id)) return OnLinkClick(header, result);
  }
  return false;
}

HBRUSH WelcomePageIsv::OnCtlColor(HDC dc, HWND control, UINT message) {
  for (const Link& link : m_links) {
    if (control != nullptr && control == GetItem(link.id)) {
      ::SetBkMode(dc, TRANSPARENT);
      return m_backgroundBrush.get();
    }
  }
  return IPage::OnCtlColor(dc, control, message);
}

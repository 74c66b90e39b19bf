#include "pages/ProductPage.h"

#include <objbase.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>

#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "offers/Package.h"
#include "offers/RunState.h"
#include "pages/LinkHandler.h"
#include "pages/LinkMarkup.h"
#include "resources/resource.h"
#include "win32/Strings.h"

ProductPage::ProductPage(const PageContext& context, std::shared_ptr<Package> package)
    : WizardPage(context, PageKind::Product, IDD_PRODUCT_PAGE), m_package(std::move(package)) {}

bool ProductPage::OnInitDialog() {
  WizardPage::OnInitDialog();
  const auto& config = m_config;
  m_backgroundBrush.reset(::CreateSolidBrush(config->backgroundColor));
  // No Skip All where nothing could be skipped: on the last offer of the list, or where this
  // offer's own limit ends the flow. In 64 bits: the limit may be the smallest int.
  const std::int64_t index = m_package->m_index;
  if (index == static_cast<std::int64_t>(config->offerCount) - 1 ||
      index == static_cast<std::int64_t>(m_package->m_flow.maxOffersInFlow) - 1) {
    ShowItem(IDC_SKIP_ALL, false);
  }
  m_offerImage.SubclassDlgItem(IDC_OFFER_IMAGE, *this);
  m_offerImage.SetImage(m_package->m_image);
  BindText(IDC_ACCEPT, "BUTTON_ACCEPT");
  BindText(IDC_DECLINE, "BUTTON_DECLINE");
  BindText(IDC_SKIP_ALL, "BUTTON_SKIP_ALL");
  BindText(IDC_DISCLAIMER_LINK, "PRODUCT_DISCLAIMER");
  UpdateTexts();
  return true;
}

void ProductPage::UpdateTexts() {
  IPage::UpdateTexts();
  HWND link = GetItem(IDC_DISCLAIMER_LINK);
  if (link == nullptr) return;
  const std::wstring localized = m_languageManager->GetString("PRODUCT_DISCLAIMER");
  if (localized.empty()) return;
  std::wstring text = localized;
  // Package texts are UTF-8; a name that is not valid UTF-8 shows with replacement characters.
  win32::ReplaceAll(text, L"[PACKAGE_NAME]", LinkText(win32::Widen(m_package->m_displayName, CP_UTF8)));
  win32::ReplaceAll(text, L"[PACKAGE_PRIVACY_URL]", LinkUrl(win32::Widen(m_package->m_privacyUrl, CP_UTF8)));
  win32::ReplaceAll(text, L"[PACKAGE_EULA_URL]", LinkUrl(win32::Widen(m_package->m_termsUrl, CP_UTF8)));
  ::SetWindowTextW(link, text.c_str());
}

namespace {

void AddOnce(std::vector<std::shared_ptr<Package>>& list, const std::shared_ptr<Package>& package) {
  if (std::find(list.begin(), list.end(), package) == list.end()) list.push_back(package);
}

}  // namespace

void ProductPage::OnNavigateToPage() {
  // A page shown twice is still one shown offer: one close event, one no-show marker.
  AddOnce(m_run->shownOffers, m_package);
}

void ProductPage::Decline(ButtonType type) {
  m_config->offerDeclined = true;
  m_package->SendEvent(EVENT_DECLINED, {});
  if (m_buttonCallback) m_buttonCallback(type);
}

bool ProductPage::OnCommand(int id, int code, HWND /*control*/) {
  if (code != BN_CLICKED) return false;
  // A click queued while the wizard moved on (a double click) must not accept, decline or
  // report the offer twice.
  if (!::IsWindowVisible(GetHwnd())) return true;
  switch (id) {
    case IDC_ACCEPT:
      AddOnce(m_run->acceptedOffers, m_package);
      if (m_buttonCallback) m_buttonCallback(ButtonType::Accept);
      return true;
    case IDC_DECLINE:
      Decline(ButtonType::Decline);
      return true;
    case IDC_SKIP_ALL:
      Decline(ButtonType::SkipAll);
      return true;
    default:
      return false;
  }
}

bool ProductPage::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& result) {
  // An offer is accepted only by a deliberate act on its page: no default button, and the
  // keyboard stays with the page itself rather than going to its first button, so a held or
  // repeated Enter or a Space from the page before never reaches Accept. Tab still reaches
  // every button.
  if (message != WM_SETFOCUS) return false;
  result = 0;
  return true;
}

bool ProductPage::OnNotify(const NMHDR& header, LRESULT& result) {
  return header.idFrom == IDC_DISCLAIMER_LINK && OnLinkClick(header, result);
}

HBRUSH ProductPage::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_DISCLAIMER_LINK)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_backgroundBrush.get();
  }
  return IPage::OnCtlColor(dc, control, message);
}

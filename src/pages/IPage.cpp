#include "pages/IPage.h"

#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "resources/resource.h"

IPage::IPage(const PageContext& context, PageKind kind, UINT templateId)
    : ui::Dialog(templateId),
      m_languageManager(context.languageManager),
      m_config(context.config),
      m_run(context.run),
      m_parent(context.parent),
      m_kind(kind) {
  if (m_languageManager) m_languageManager->RegisterPage(this);
  m_accentBrush.reset(::CreateSolidBrush(m_config->accentColor));
}

IPage::~IPage() {
  if (m_languageManager) m_languageManager->UnregisterPage(this);
}

bool IPage::Create() { return ui::Dialog::Create(m_parent != nullptr ? m_parent->GetHwnd() : nullptr); }

bool IPage::OnInitDialog() {
  m_bottomBar = GetItem(IDC_PAGE_BOTTOM_BAR);
  return true;
}

void IPage::BindText(int controlId, const std::string& key) { m_texts.emplace_back(GetItem(controlId), key); }

void IPage::UpdateTexts() {
  if (!m_languageManager) return;
  for (const auto& [control, key] : m_texts) {
    if (control == nullptr || !::IsWindow(control)) continue;
    const std::wstring text = m_languageManager->GetString(key);
    if (!text.empty()) ::SetWindowTextW(control, text.c_str());
  }
}

HBRUSH IPage::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == m_bottomBar) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_accentBrush.get();
  }
  return ui::Dialog::OnCtlColor(dc, control, message);
}

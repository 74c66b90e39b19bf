#include "pages/ClassicPages.h"

#include "config/ConfigurationManager.h"
#include "resources/resource.h"

ClassicPage::ClassicPage(const PageContext& context, PageKind kind, UINT templateId,
                         std::vector<std::pair<int, std::string>> texts, int titleId,
                         std::vector<std::pair<int, int>> checkBoxes)
    : WizardPage(context, kind, templateId),
      m_textKeys(std::move(texts)),
      m_titleId(titleId),
      m_checkBoxes(std::move(checkBoxes)) {}

bool ClassicPage::OnInitDialog() {
  WizardPage::OnInitDialog();
  // Marked at first; only Next stores the marks.
  for (const auto& [id, element] : m_checkBoxes) ::SendMessageW(GetItem(id), BM_SETCHECK, BST_CHECKED, 0);
  for (const auto& [id, key] : m_textKeys) BindText(id, key);
  UpdateTexts();
  m_titleFont.Apply(GetItem(m_titleId));
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

bool ClassicPage::OnCommand(int id, int code, HWND /*control*/) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_NEXT) {
    auto& options = m_config->classicOptions;
    for (const auto& [box, element] : m_checkBoxes) {
      options[static_cast<std::size_t>(element)] = ::SendMessageW(GetItem(box), BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    }
    if (m_buttonCallback) m_buttonCallback(ButtonType::Next);
    return true;
  }
  if (id == IDC_BACK && GetItem(IDC_BACK) != nullptr) {
    if (m_buttonCallback) m_buttonCallback(ButtonType::Back);
    return true;
  }
  return false;
}

WarningPageBTClassic::WarningPageBTClassic(const PageContext& context)
    : ClassicPage(context, PageKind::Warning, IDD_WARNING_PAGE,
                  {{IDC_WARNING_TITLE, "WARNING_TITLE"},
                   {IDC_WARNING_SUBTITLE, "WARNING_SUBTITLE"},
                   {IDC_WARNING_TEXT, "WARNING_TEXT"},
                   {IDC_BACK, "BUTTON_BACK"},
                   {IDC_NEXT, "BUTTON_NEXT"},
                   {IDC_TITLE, "PRODUCT_TITLE"}},  // the template has no such control
                  IDC_WARNING_TITLE, {}) {}

bool WarningPageBTClassic::OnInitDialog() {
  m_backgroundBrush.reset(::CreateSolidBrush(m_config->backgroundColor));
  return ClassicPage::OnInitDialog();
}

// The links of the warning text are shown but lead nowhere: the page handles no link clicks.
HBRUSH WarningPageBTClassic::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_WARNING_TEXT)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_backgroundBrush.get();
  }
  return ClassicPage::OnCtlColor(dc, control, message);
}

OptionsPageBTClassic::OptionsPageBTClassic(const PageContext& context)
    : ClassicPage(context, PageKind::Options, IDD_OPTIONS_PAGE,
                  {{IDC_OPTIONS_TITLE, "OPTIONS_TITLE"},
                   {IDC_OPTIONS_CHECK_1, "OPTIONS_CHECK_1"},
                   {IDC_OPTIONS_CHECK_2, "OPTIONS_CHECK_2"},
                   {IDC_OPTIONS_CHECK_3, "OPTIONS_CHECK_3"},
                   {IDC_NEXT, "BUTTON_NEXT"}},
                  IDC_OPTIONS_TITLE, {{IDC_OPTIONS_CHECK_1, 0}, {IDC_OPTIONS_CHECK_2, 1}, {IDC_OPTIONS_CHECK_3, 2}}) {}

ConfigurationsPageBTClassic::ConfigurationsPageBTClassic(const PageContext& context)
    : ClassicPage(context, PageKind::Configurations, IDD_CONFIGURATIONS_PAGE,
                  {{IDC_CONFIGURATIONS_TITLE, "CONFIGURATIONS_TITLE"},
                   {IDC_CONFIGURATIONS_SUBTITLE_1, "CONFIGURATIONS_SUBTITLE_1"},
                   {IDC_CONFIGURATIONS_TEXT_1, "CONFIGURATIONS_TEXT_1"},
                   {IDC_CONFIGURATIONS_LABEL_1, "CONFIGURATIONS_CHECK_1"},
                   {IDC_CONFIGURATIONS_CHECK_2, "CONFIGURATIONS_CHECK_2"},
                   {IDC_CONFIGURATIONS_SUBTITLE_2, "CONFIGURATIONS_SUBTITLE_2"},
                   {IDC_CONFIGURATIONS_TEXT_2, "CONFIGURATIONS_TEXT_2"},
                   {IDC_CONFIGURATIONS_CHECK_3, "CONFIGURATIONS_CHECK_3"},
                   {IDC_CONFIGURATIONS_CHECK_4, "CONFIGURATIONS_CHECK_4"},
                   {IDC_CONFIGURATIONS_CHECK_5, "CONFIGURATIONS_CHECK_5"},
                   {IDC_BACK, "BUTTON_BACK"},
                   {IDC_NEXT, "BUTTON_NEXT"}},
                  IDC_CONFIGURATIONS_TITLE,
                  {{IDC_CONFIGURATIONS_CHECK_1, 3},
                   {IDC_CONFIGURATIONS_CHECK_2, 4},
                   {IDC_CONFIGURATIONS_CHECK_3, 5},
                   {IDC_CONFIGURATIONS_CHECK_4, 6},
                   {IDC_CONFIGURATIONS_CHECK_5, 7}}) {}

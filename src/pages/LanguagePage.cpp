#include "pages/LanguagePage.h"

#include "i18n/LanguageManager.h"
#include "resources/resource.h"

LanguagePage::LanguagePage(const PageContext& context) : LanguagePage(context, PageKind::Language, IDD_LANGUAGE_PAGE) {}

LanguagePage::LanguagePage(const PageContext& context, PageKind kind, UINT templateId)
    : WizardPage(context, kind, templateId) {}

void LanguagePage::BindPageTexts() {
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_SPLASH_TEXT, "SPLASH_TEXT");
}

bool LanguagePage::OnInitDialog() {
  WizardPage::OnInitDialog();
  BindPageTexts();
  UpdateTexts();
  m_languageCombo.Attach(GetItem(IDC_LANGUAGE_COMBO));
  m_languageManager->FillLanguageCombo(m_languageCombo);
  // Loads the preselected language into every page that exists, this one included.
  ApplySelection();
  ::SendMessageW(GetHwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

void LanguagePage::ApplySelection() {
  const int selection = m_languageCombo.GetCurSel();
  if (selection == CB_ERR) return;
  // A failure has shown its message already; the page keeps the texts it has.
  m_languageManager->SetLanguage(m_languageCombo.GetItemText(selection));
}

bool LanguagePage::OnCommand(int id, int code, HWND /*control*/) {
  if (id == IDC_LANGUAGE_COMBO && code == CBN_SELCHANGE) {
    ApplySelection();
    return true;
  }
  if (id == IDC_NEXT && code == BN_CLICKED) {
    if (m_buttonCallback) m_buttonCallback(ButtonType::Next);
    return true;
  }
  return false;
}

LanguagePageBT::LanguagePageBT(const PageContext& context)
    : LanguagePage(context, PageKind::LanguageBT, IDD_LANGUAGE_PAGE_BT) {}

void LanguagePageBT::BindPageTexts() {
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_SPLASH_TITLE_BT, "SPLASH_TITLE_BT");
  BindText(IDC_SPLASH_TEXT_BT, "SPLASH_TEXT_BT");
}

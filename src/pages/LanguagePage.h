#pragma once
// The first page: the languages of the wizard type with the user's own preselected; a change
// applies at once to every page. The BT variant has its own template and texts, and the
// language manager hides its list.
#include <windows.h>

#include "pages/WizardPage.h"
#include "ui/ComboBox.h"

class LanguagePage : public WizardPage {
 public:
  LanguagePage(const PageContext& context);

  void OnNavigateToPage() override {}

 protected:
  LanguagePage(const PageContext& context, PageKind kind, UINT templateId);
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  virtual void BindPageTexts();

 private:
  void ApplySelection();

  ui::ComboBox m_languageCombo;
};

class LanguagePageBT : public LanguagePage {
 public:
  LanguagePageBT(const PageContext& context);

 protected:
  void BindPageTexts() override;
};

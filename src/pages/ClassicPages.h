#pragma once
// The pages of the classic BT page set: a warning before the licence page, and after the offers
// an options page (three check boxes) and a configurations page (five), whose marks become the
// options of the classic installer command line.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "pages/TitleFont.h"
#include "pages/WizardPage.h"
#include "win32/UniqueResource.h"

class ClassicPage : public WizardPage {
 public:
  void OnNavigateToPage() override {}

 protected:
  // The page's texts (control id, key), its title control and its check boxes with the
  // element of the configuration's classic options each one sets.
  ClassicPage(const PageContext& context, PageKind kind, UINT templateId,
              std::vector<std::pair<int, std::string>> texts, int titleId, std::vector<std::pair<int, int>> checkBoxes);
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  std::vector<std::pair<int, std::string>> m_textKeys;
  int m_titleId;
  std::vector<std::pair<int, int>> m_checkBoxes;
  TitleFont m_titleFont;
};

class WarningPageBTClassic : public ClassicPage {
 public:
  WarningPageBTClassic(const PageContext& context);

 protected:
  bool OnInitDialog() override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

 private:
  win32::UniqueHbrush m_backgroundBrush;
};

class OptionsPageBTClassic : public ClassicPage {
 public:
  OptionsPageBTClassic(const PageContext& context);
};

class ConfigurationsPageBTClassic : public ClassicPage {
 public:
  ConfigurationsPageBTClassic(const PageContext& context);
};

#pragma once
// The page before the offers in the normal page set: the product picture, a welcome text naming
// the product and up to three links (privacy policy, terms, the wizard's licence).
#include <windows.h>

#include <string>

#include "pages/CStaticFromImage.h"
#include "pages/WizardPage.h"
#include "win32/UniqueResource.h"

class WelcomePageIsv : public WizardPage {
 public:
  WelcomePageIsv(const PageContext& context);

  void OnNavigateToPage() override {}
  // Each link is as wide as its text in the current language.
  void UpdateTexts() override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

 private:
  struct Link {
    int id;
    std::string key;
    std::wstring url;
  };

  CStaticFromImage m_productImage;
  Link m_links[3];
  win32::UniqueHbrush m_backgroundBrush;
};

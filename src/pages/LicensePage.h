#pragma once
// The page before the offers in the BT page set: the licence text in a read-only rich edit
// (addresses in it are shown as links but not opened) and a line of links to the product's
// terms and privacy policy; Agree and Back.
#include <windows.h>

#include "pages/TitleFont.h"
#include "pages/WizardPage.h"
#include "win32/UniqueResource.h"

class LicensePageIsv : public WizardPage {
 public:
  LicensePageIsv(const PageContext& context);

  void OnNavigateToPage() override {}
  // The links line is filled with the product's addresses again after every language change.
  void UpdateTexts() override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

 private:
  win32::UniqueHbrush m_backgroundBrush;
  TitleFont m_titleFont;
};

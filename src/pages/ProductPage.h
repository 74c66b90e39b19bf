#pragma once
// One offer: its picture and a disclaimer with links to the offer's privacy policy and terms,
// and Accept, Decline and Skip All. The dialog's offer flow decides what comes next.
#include <windows.h>

#include "pages/CStaticFromImage.h"
#include "pages/WizardPage.h"
#include "win32/UniqueResource.h"

class Package;

class ProductPage : public WizardPage {
 public:
  ProductPage(const PageContext& context, std::shared_ptr<Package> package);

  void OnNavigateToPage() override;
  // The disclaimer is filled with the offer's values again after every language change.
  void UpdateTexts() override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

 private:
  void Decline(ButtonType type);

  std::shared_ptr<Package> m_package;
  CStaticFromImage m_offerImage;
  win32::UniqueHbrush m_backgroundBrush;
};

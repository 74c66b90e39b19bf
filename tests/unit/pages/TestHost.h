#pragma once
// A top-level window to create pages in, coloured like the main dialog: the unit tests use a
// hidden one, the page viewer the main dialog's own template.
#include <windows.h>

#include "pages/IPage.h"
#include "ui/Dialog.h"
#include "ui/UniqueResource.h"

class TestHost : public ui::Dialog {
 public:
  explicit TestHost(UINT templateId);
  ~TestHost() override;

  // Creates the page window, colours it and puts it on the page area, on top, hidden.
  bool AddPage(IPage& page);

 protected:
  void OnOK() override {}
  void OnCancel() override {}
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

 private:
  ui::UniqueHbrush m_accentBrush;
};

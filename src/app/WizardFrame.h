#pragma once
// The frame every page lives in: the main template's page area and the accent band along the
// bottom. The main dialog is one; tools and tests that show pages use the same frame.
#include <windows.h>

#include <memory>

#include "ui/Dialog.h"
#include "win32/UniqueResource.h"

class ConfigurationManager;
class IPage;

class WizardFrame : public ui::Dialog {
 public:
  WizardFrame(UINT templateId, std::shared_ptr<ConfigurationManager> config);
  ~WizardFrame() override;

  // Creates the page window in this frame: the configuration's colours, placed on the page
  // area, hidden.
  bool HostPage(IPage& page);
  // Shows a hosted page on top: the page area and the band would otherwise paint over its
  // buttons.
  static void ShowOnTop(HWND page);
  // Gives a shown page the keyboard: its default button when it has one, so Enter goes on and a
  // read-only text (the licence) is not selected whole and scrolled to its end on arrival.
  static void FocusPage(HWND page);

 protected:
  void OnOK() override {}      // Enter never closes the wizard.
  void OnCancel() override {}  // Nor does Escape; closing goes through WM_CLOSE.
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
  RECT PageRect() const;

  std::shared_ptr<ConfigurationManager> m_config;

 private:
  win32::UniqueHbrush m_accentBrush;
};

#pragma once
// The main wizard window: header, page area and accent band. It refuses to run twice at once.
#include <windows.h>

#include <memory>

#include "pages/CStaticFromImage.h"
#include "ui/Dialog.h"
#include "ui/UniqueResource.h"

class ConfigurationManager;
class LanguageManager;

class CBrindleDlg : public ui::Dialog {
 public:
  CBrindleDlg();
  ~CBrindleDlg() override;

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}      // Enter never closes the wizard.
  void OnCancel() override {}  // Nor does Escape; closing goes through WM_CLOSE.
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void OnSysCommand(WPARAM command);
  bool OnPaint();
  void OnClose();
  bool AcquireSingleInstance();

  std::shared_ptr<ConfigurationManager> m_config;
  HICON m_hIcon = nullptr;  // shared icon resource, not owned
  // Shared with every page; each page keeps it alive until it has unregistered.
  std::shared_ptr<LanguageManager> m_languageManager;
  CStaticFromImage m_productIcon;
  ui::UniqueHbrush m_accentBrush;
  ui::UniqueHandle m_instanceMutex;
};

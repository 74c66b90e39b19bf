#pragma once
#include <string>

#include "ui/Dialog.h"

// The system menu's About box: the program's name and version.
class CAboutDlg : public ui::Dialog {
 public:
  explicit CAboutDlg(std::wstring version);

 protected:
  bool OnInitDialog() override;

 private:
  std::wstring m_version;
};

#pragma once
#include "ui/Dialog.h"

class CAboutDlg : public ui::Dialog {
 public:
  CAboutDlg();

 protected:
  bool OnInitDialog() override;
};

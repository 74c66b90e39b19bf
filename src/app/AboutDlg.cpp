#include "app/AboutDlg.h"

#include "config/ConfigurationManager.h"
#include "resources/resource.h"

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInitDialog() {
  SetItemText(IDC_ABOUT_VERSION, L"Brindle, Version " + ConfigurationManager::GetInstance()->productVersion);
  return true;
}

#include "app/AboutDlg.h"

#include "resources/resource.h"

CAboutDlg::CAboutDlg(std::wstring version) : ui::Dialog(IDD_ABOUTBOX), m_version(std::move(version)) {}

bool CAboutDlg::OnInitDialog() {
  SetItemText(IDC_ABOUT_VERSION, L"Brindle, Version " + m_version);
  return true;
}

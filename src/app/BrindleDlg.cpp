#include "app/BrindleDlg.h"

#include "app/AboutDlg.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "offers/Package.h"
#include "resources/resource.h"
#include "ui/Strings.h"

CBrindleDlg::CBrindleDlg()
    : ui::Dialog(IDD_BRINDLE_DIALOG),
      m_config(ConfigurationManager::GetInstance()),
      m_languageManager(std::make_shared<LanguageManager>(this)) {
  m_hIcon = static_cast<HICON>(::LoadImageW(ui::ModuleInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0,
                                            LR_DEFAULTSIZE | LR_SHARED));
}

CBrindleDlg::~CBrindleDlg() {
  // GDI+ objects must be gone before the application shuts GDI+ down; the configuration and
  // the packages outlive this dialog.
  m_config->productLogo.reset();
  for (const auto* offers : {&m_config->acceptedOffers, &m_config->shownOffers}) {
    for (const auto& package : *offers) {
      if (package) package->m_image.reset();
    }
  }
}

bool CBrindleDlg::AcquireSingleInstance() {
  const std::wstring name =
      std::wstring(L"Global\\Brindle") + config::GetBuildSettings().wizardTypeName + L"SingleInstanceMutex";
  m_instanceMutex.reset(::CreateMutexW(nullptr, TRUE, name.c_str()));
  if (m_instanceMutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    m_instanceMutex.reset();
    return false;
  }
  // A mutex that could not be created at all does not stop the wizard.
  return true;
}

bool CBrindleDlg::OnInitDialog() {
  m_productIcon.SubclassDlgItem(IDC_PRODUCT_ICON, *this);
  if (HMENU systemMenu = ::GetSystemMenu(GetHwnd(), FALSE)) {
    const std::wstring aboutText = ui::LoadStringResource(IDS_ABOUTBOX);
    if (!aboutText.empty()) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
    }
  }
  ::SendMessageW(GetHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(GetHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  if (!AcquireSingleInstance()) {
    ::MessageBoxW(GetHwnd(), L"Another setup is already running, please close it and try again", L"Error",
                  MB_ICONERROR | MB_SYSTEMMODAL);
    EndDialog(1);
    return false;
  }

  switch (m_config->wizardType) {
    case ConfigurationManager::kWizardTypeDlm:
      ::SetWindowTextW(GetHwnd(), L"Setup");
      break;
    case ConfigurationManager::kWizardTypeIsv:
      ::SetWindowTextW(GetHwnd(), (m_config->productTitle + L" ").c_str());
      break;
    default:
      ::MessageBoxW(GetHwnd(), L"Invalid wizard type", L"", MB_ICONERROR | MB_SYSTEMMODAL);
      EndDialog(1);
      return false;
  }

  m_accentBrush.reset(::CreateSolidBrush(m_config->accentColor));
  SetItemText(IDC_TITLE, m_config->productTitle);
  if (m_config->wizardType == ConfigurationManager::kWizardTypeIsv) {
    ShowItem(IDC_PRODUCT_ICON, false);
    ShowItem(IDC_HEADER_LINE, false);
  }
  ShowItem(IDC_TITLE, false);
  return true;
}

HBRUSH CBrindleDlg::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_BOTTOM_BAR)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_accentBrush.get();
  }
  return ui::Dialog::OnCtlColor(dc, control, message);
}

bool CBrindleDlg::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(wParam);
        result = 0;
        return true;
      }
      return false;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    case WM_CLOSE:
      OnClose();
      result = 0;
      return true;
    default:
      return false;
  }
}

void CBrindleDlg::OnSysCommand(WPARAM /*command*/) {
  CAboutDlg about;
  about.DoModal(GetHwnd());
}

bool CBrindleDlg::OnPaint() {
  if (!::IsIconic(GetHwnd())) return false;
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(GetHwnd(), &paint);
  ::SendMessageW(GetHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  ::GetClientRect(GetHwnd(), &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(GetHwnd(), &paint);
  return true;
}

void CBrindleDlg::OnClose() {
  m_instanceMutex.reset();
  ::ShowWindow(GetHwnd(), SW_HIDE);
  m_config->exiting = true;
  // The work folder was made for this run; an empty one is removed here.
  if (!m_config->workFolder.empty()) ::RemoveDirectoryW(m_config->workFolder.c_str());
  EndDialog(IDCANCEL);
}

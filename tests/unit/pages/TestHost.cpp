#include "TestHost.h"

#include "config/ConfigurationManager.h"
#include "resources/resource.h"

TestHost::TestHost(UINT templateId) : ui::Dialog(templateId) {
  const auto config = ConfigurationManager::GetInstance();
  m_accentBrush.reset(::CreateSolidBrush(config->accentColor));
  SetBackgroundColor(config->backgroundColor);
}

TestHost::~TestHost() { DestroyWindow(); }

bool TestHost::AddPage(IPage& page) {
  if (!page.Create()) return false;
  page.SetBackgroundColor(ConfigurationManager::GetInstance()->backgroundColor);
  RECT area{};
  ::GetWindowRect(GetItem(IDC_PAGE_AREA), &area);
  ::MapWindowPoints(nullptr, GetHwnd(), reinterpret_cast<POINT*>(&area), 2);
  ::ShowWindow(page.GetHwnd(), SW_HIDE);
  // Above the page area and the bottom bar, which clip themselves against it; the page's own
  // band continues the bar.
  ::SetWindowPos(page.GetHwnd(), HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, 0);
  return true;
}

HBRUSH TestHost::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_BOTTOM_BAR)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_accentBrush.get();
  }
  return ui::Dialog::OnCtlColor(dc, control, message);
}

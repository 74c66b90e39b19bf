#include "app/WizardFrame.h"

#include "config/ConfigurationManager.h"
#include "pages/IPage.h"
#include "resources/resource.h"

WizardFrame::WizardFrame(UINT templateId, std::shared_ptr<ConfigurationManager> config)
    : ui::Dialog(templateId), m_config(std::move(config)) {
  m_accentBrush.reset(::CreateSolidBrush(m_config->accentColor));
  SetBackgroundColor(m_config->backgroundColor);
}

WizardFrame::~WizardFrame() = default;

RECT WizardFrame::PageRect() const {
  RECT area{};
  ::GetWindowRect(GetItem(IDC_PAGE_AREA), &area);
  ::MapWindowPoints(nullptr, GetHwnd(), reinterpret_cast<POINT*>(&area), 2);
  return area;
}

bool WizardFrame::HostPage(IPage& page) {
  if (!page.Create()) return false;
  page.SetBackgroundColor(m_config->backgroundColor);
  const RECT rect = PageRect();
  ::ShowWindow(page.GetHwnd(), SW_HIDE);
  ::SetWindowPos(page.GetHwnd(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void WizardFrame::ShowOnTop(HWND page) {
  ::SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void WizardFrame::FocusPage(HWND page) {
  const LRESULT defId = ::SendMessageW(page, DM_GETDEFID, 0, 0);
  HWND button = HIWORD(defId) == DC_HASDEFID ? ::GetDlgItem(page, LOWORD(defId)) : nullptr;
  if (button != nullptr && ::IsWindowVisible(button) && ::IsWindowEnabled(button)) {
    ::SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
  } else {
    ::SetFocus(page);
  }
}

HBRUSH WizardFrame::OnCtlColor(HDC dc, HWND control, UINT message) {
  if (control != nullptr && control == GetItem(IDC_BOTTOM_BAR)) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_accentBrush.get();
  }
  return ui::Dialog::OnCtlColor(dc, control, message);
}

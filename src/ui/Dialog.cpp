#include "ui/Dialog.h"

#include <windowsx.h>

#include <exception>
#include <string>
#include <utility>

#include "win32/DebugLog.h"
#include "win32/Strings.h"

namespace ui {

INT_PTR Dialog::DoModal(HWND parent) {
  return ::DialogBoxParamW(win32::ModuleInstance(), MAKEINTRESOURCEW(m_templateId), parent, &Dialog::Thunk,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
  return ::CreateDialogParamW(win32::ModuleInstance(), MAKEINTRESOURCEW(m_templateId), parent, &Dialog::Thunk,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

Dialog::~Dialog() {
  if (m_hwnd == nullptr) return;
  // The derived parts are gone: no message may reach their handlers any more.
  ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
  HWND window = std::exchange(m_hwnd, nullptr);
  ::DestroyWindow(window);
}

void Dialog::DestroyWindow() noexcept {
  if (m_hwnd != nullptr) ::DestroyWindow(m_hwnd);
}

void Dialog::SetItemText(int id, std::wstring_view text) const {
  const std::wstring copy(text);
  ::SetDlgItemTextW(m_hwnd, id, copy.c_str());
}

std::wstring Dialog::GetItemText(int id) const { return win32::GetWindowTextString(GetItem(id)); }

void Dialog::ShowItem(int id, bool show) const noexcept {
  if (HWND item = GetItem(id)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void Dialog::EndDialog(INT_PTR result) noexcept {
  m_endResult = result;
  if (m_hwnd != nullptr) ::EndDialog(m_hwnd, result);
}

void Dialog::SetBackgroundColor(COLORREF color) {
  m_backgroundBrush.reset(::CreateSolidBrush(color));
  if (m_hwnd != nullptr) ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

HBRUSH Dialog::OnCtlColor(HDC dc, HWND /*control*/, UINT message) {
  if (!m_backgroundBrush) return nullptr;
  if (message == WM_CTLCOLORDLG) return m_backgroundBrush.get();
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_backgroundBrush.get();
  }
  return nullptr;
}

INT_PTR CALLBACK Dialog::Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    self->m_hwnd = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  // With DS_SETFONT, WM_SETFONT arrives before WM_INITDIALOG: no object yet.
  if (self == nullptr) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = self->Dispatch(message, wParam, lParam);
  } catch (const std::exception& error) {
    win32::DebugLine(std::string("dialog message ") + std::to_string(message) + " failed: " + error.what());
  } catch (...) {
    // Nothing may unwind into the system's message dispatch.
    win32::DebugLine("dialog message " + std::to_string(message) + " failed");
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_hwnd = nullptr;
  }
  return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      if (OnCommand(id, code, control)) return TRUE;
      if (control == nullptr || code == BN_CLICKED) {
        if (id == IDOK) {
          OnOK();
          return TRUE;
        }
        if (id == IDCANCEL) {
          OnCancel();
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) {
        return SetDlgMsgResult(m_hwnd, message, result);
      }
      return FALSE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      // Brushes are returned directly, never through DWLP_MSGRESULT.
      return reinterpret_cast<INT_PTR>(
          OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message));
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default: {
      LRESULT result = 0;
      if (OnMessage(message, wParam, lParam, result)) {
        return SetDlgMsgResult(m_hwnd, message, result);
      }
      return FALSE;
    }
  }
}

}  // namespace ui

#include "ui/WindowSubclass.h"

#include <commctrl.h>

#include <exception>
#include <string>

#include "win32/DebugLog.h"

namespace ui {
namespace {
constexpr UINT_PTR kSubclassId = 1;
}

WindowSubclass::~WindowSubclass() { Detach(); }

bool WindowSubclass::Attach(HWND window) noexcept {
  Detach();
  if (window == nullptr) return false;
  if (!::SetWindowSubclass(window, &WindowSubclass::Thunk, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  m_hwnd = window;
  return true;
}

void WindowSubclass::Detach() noexcept {
  if (m_hwnd == nullptr) return;
  ::RemoveWindowSubclass(m_hwnd, &WindowSubclass::Thunk, kSubclassId);
  m_hwnd = nullptr;
}

LRESULT CALLBACK WindowSubclass::Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                       DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<WindowSubclass*>(data);
  if (message == WM_NCDESTROY) {
    self->Detach();
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }
  try {
    LRESULT result = 0;
    if (self->OnSubclassMessage(message, wParam, lParam, result)) return result;
  } catch (const std::exception& error) {
    win32::DebugLine(std::string("control message ") + std::to_string(message) + " failed: " + error.what());
  } catch (...) {
    // Nothing may unwind into the system's message dispatch; the window handles it itself.
    win32::DebugLine("control message " + std::to_string(message) + " failed");
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace ui

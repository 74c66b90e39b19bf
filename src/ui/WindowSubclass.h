#pragma once
// Routes the messages of an existing window (typically a dialog control) through a virtual
// handler while attached, so a control from a template can get behaviour of its own. Detaches
// itself when the window is destroyed or the object dies, whichever comes first. UI thread only.
#include <windows.h>

namespace ui {

class WindowSubclass {
 public:
  WindowSubclass() noexcept = default;
  virtual ~WindowSubclass();
  WindowSubclass(const WindowSubclass&) = delete;
  WindowSubclass& operator=(const WindowSubclass&) = delete;

  // False when the window is null or cannot be subclassed.
  bool Attach(HWND window) noexcept;
  void Detach() noexcept;
  HWND GetHwnd() const noexcept { return m_hwnd; }

 protected:
  // Return true when handled and put the message result in `result`; unhandled messages go on
  // to the window's own procedure.
  virtual bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

 private:
  static LRESULT CALLBACK Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR data) noexcept;

  HWND m_hwnd = nullptr;
};

}  // namespace ui

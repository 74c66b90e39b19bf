#include "ProgressWindow.h"

#include <thread>

#include "win32/UniqueResource.h"
#include "win32/WindowMessages.h"

namespace {

constexpr wchar_t kClassName[] = L"BrindleTestProgressWindow";

}  // namespace

ProgressWindow::ProgressWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &ProgressWindow::WindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassW(&windowClass);  // fails harmlessly when already registered
  m_window = ::CreateWindowExW(0, kClassName, L"progress", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
  ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ProgressWindow::~ProgressWindow() {
  if (m_window != nullptr) ::DestroyWindow(m_window);
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message == WM_DOWNLOAD_PROGRESS) {
    self->progress.push_back(wParam);
    if (self->onProgress) self->onProgress(wParam);
    return 0;
  }
  if (self != nullptr && message == WM_DOWNLOAD_NO_LENGTH) {
    ++self->noLength;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void ProgressWindow::DrainMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool ProgressWindow::RunWhilePumping(const std::function<void()>& work, DWORD timeoutMs) {
  win32::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread worker([&] {
    work();
    ::SetEvent(done.get());
  });
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  bool finished = false;
  while (!finished) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    HANDLE handle = done.get();
    const DWORD wait = ::MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    finished = wait == WAIT_OBJECT_0;
    DrainMessages();
  }
  worker.join();
  // Posts happen before the work returns, so they are all queued by now.
  DrainMessages();
  return finished;
}

#pragma once
// A real (hidden) window on the test thread that records the download engine's posted
// messages while a download runs on another thread.
#include <windows.h>

#include <functional>
#include <vector>

class ProgressWindow {
 public:
  ProgressWindow();
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  HWND Handle() const { return m_window; }

  // Runs `work` on a worker thread and dispatches this thread's messages until it has ended
  // and every message it posted has been handled. False when it did not end within the time.
  bool RunWhilePumping(const std::function<void()>& work, DWORD timeoutMs = 60000);

  std::vector<WPARAM> progress;  // wParam of each WM_DOWNLOAD_PROGRESS, in arrival order
  int noLength = 0;              // number of WM_DOWNLOAD_NO_LENGTH
  std::function<void(WPARAM)> onProgress;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DrainMessages();

  HWND m_window = nullptr;
};

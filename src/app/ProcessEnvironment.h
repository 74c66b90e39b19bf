#pragma once
// What the wizard's process sets up before its first window, and tears down after the last:
// COM on the UI thread (the shell calls of links and finish pages), the common controls the
// pages use (SysLink among them), the rich edit library and GDI+. Test programs that host
// pages set up exactly the same, through this class.
#include <windows.h>

class ProcessEnvironment {
 public:
  ProcessEnvironment();
  ~ProcessEnvironment();
  ProcessEnvironment(const ProcessEnvironment&) = delete;
  ProcessEnvironment& operator=(const ProcessEnvironment&) = delete;

  // False when the rich edit library could not be loaded: the wizard then shows no window.
  bool Ready() const noexcept { return m_ready; }

 private:
  bool m_comInitialized = false;
  bool m_ready = false;
  ULONG_PTR m_gdiplusToken = 0;
};

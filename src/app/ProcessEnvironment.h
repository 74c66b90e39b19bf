#pragma once
// What the wizard's process sets up before its first window, and tears down after the last:
// COM on the UI thread (the shell calls of links and finish pages), the common controls the
// pages use (SysLink among them) and GDI+. Test programs that host pages set up exactly the
// same, through this class. The rich edit library is the licence page's own (LicensePage.cpp).
#include <windows.h>

class ProcessEnvironment {
 public:
  ProcessEnvironment();
  ~ProcessEnvironment();
  ProcessEnvironment(const ProcessEnvironment&) = delete;
  ProcessEnvironment& operator=(const ProcessEnvironment&) = delete;

 private:
  bool m_comInitialized = false;
  ULONG_PTR m_gdiplusToken = 0;
};

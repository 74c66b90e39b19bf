#pragma once
// What the wizard's process sets up, and tears down after its last window. The first window
// needs only the common controls (SysLink among them); COM on the UI thread (the shell calls of
// links and finish pages) and GDI+ (downloaded pictures) are first needed after the first page
// shows, so they are set up then and their libraries stay unloaded until then. Test programs
// that host pages set up the same, through this class. The rich edit library is the licence
// page's own (LicensePage.cpp).
#include <windows.h>

class ProcessEnvironment {
 public:
  ProcessEnvironment();
  ~ProcessEnvironment();
  ProcessEnvironment(const ProcessEnvironment&) = delete;
  ProcessEnvironment& operator=(const ProcessEnvironment&) = delete;

  // COM and GDI+, on the calling (UI) thread; called once.
  void CompleteSetUp();

 private:
  bool m_comInitialized = false;
  ULONG_PTR m_gdiplusToken = 0;
};

#include "app/ProcessEnvironment.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <objbase.h>

ProcessEnvironment::ProcessEnvironment() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  ::InitCommonControlsEx(&controls);
}

void ProcessEnvironment::CompleteSetUp() {
  // ShellExecuteW may hand work to shell extensions, which expect an apartment.
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
}

ProcessEnvironment::~ProcessEnvironment() {
  // Pictures are decoded and freed on the UI thread only, and the dialog frees them before it
  // ends, so no GDI+ object outlives this.
  if (m_gdiplusToken != 0) Gdiplus::GdiplusShutdown(m_gdiplusToken);
  if (m_comInitialized) ::CoUninitialize();
}

#include "app/ProcessEnvironment.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <objbase.h>

#include <string>

#include "win32/SystemLibraries.h"

ProcessEnvironment::ProcessEnvironment() {
  // ShellExecuteW may hand work to shell extensions, which expect an apartment.
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  ::InitCommonControlsEx(&controls);
  // The licence page uses a RichEdit 1.0 control. The module stays loaded for the life of the
  // process.
  if (win32::LoadSystemLibrary(L"riched32.dll") == nullptr) return;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
  m_ready = true;
}

ProcessEnvironment::~ProcessEnvironment() {
  // Pictures are decoded and freed on the UI thread only, and the dialog frees them before it
  // ends, so no GDI+ object outlives this.
  if (m_gdiplusToken != 0) Gdiplus::GdiplusShutdown(m_gdiplusToken);
  if (m_comInitialized) ::CoUninitialize();
}

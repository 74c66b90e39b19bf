#include "app/ProcessEnvironment.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <objbase.h>

#include <string>

void RestrictDllSearchPath() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Also drops the current folder from the search path on systems without the call above.
  ::SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  wchar_t path[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring full(path, length);
  full += L'\\';
  full += name;
  return ::LoadLibraryW(full.c_str());
}

ProcessEnvironment::ProcessEnvironment() {
  // ShellExecuteW may hand work to shell extensions, which expect an apartment.
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  ::InitCommonControlsEx(&controls);
  // The licence page uses a RichEdit 1.0 control. The module stays loaded for the life of the
  // process.
  if (LoadSystemLibrary(L"riched32.dll") == nullptr) return;
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

#include "app/BrindleApp.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <string>

#include "app/BrindleDlg.h"
#include "config/ConfigurationManager.h"

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

CBrindleApp::~CBrindleApp() {
  if (m_gdiplusToken != 0) Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

int CBrindleApp::Run() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
  ::InitCommonControlsEx(&controls);
  // The licence page uses a RichEdit 1.0 control; without it no window is shown. The module
  // stays loaded for the life of the process.
  if (LoadSystemLibrary(L"riched32.dll") == nullptr) return 0;

  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;

  INT_PTR result = 0;
  {
    CBrindleDlg dialog;
    dialog.SetBackgroundColor(ConfigurationManager::GetInstance()->backgroundColor);
    result = dialog.DoModal(nullptr);
  }
  return result < 0 ? 0 : static_cast<int>(result);
}

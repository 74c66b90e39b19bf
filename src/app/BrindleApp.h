#pragma once
#include <windows.h>

// Process start-up: common controls, the rich edit library, GDI+, then the wizard dialog.
class CBrindleApp {
 public:
  CBrindleApp() = default;
  ~CBrindleApp();
  CBrindleApp(const CBrindleApp&) = delete;
  CBrindleApp& operator=(const CBrindleApp&) = delete;

  // Runs the wizard; returns the process exit code (the dialog's end code).
  int Run();

 private:
  ULONG_PTR m_gdiplusToken = 0;
};

// Keeps the loader from picking up DLLs planted beside the executable (for example in the
// Downloads folder): every later load searches the system folder only.
void RestrictDllSearchPath() noexcept;

// Loads a DLL by its full path in the system folder, never from the application folder.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

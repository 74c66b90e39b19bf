// Control for the planted-DLL test: imports gdiplus.dll the ordinary way, as a stub without
// the protection would, so a planted copy beside it is loaded at start. The call is never made
// (a planted copy has no such export); referencing it is what creates the import.
#include <windows.h>
#include <gdiplus.h>

int wmain(int argc, wchar_t**) {
  if (argc > 100) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
  }
  return 0;
}

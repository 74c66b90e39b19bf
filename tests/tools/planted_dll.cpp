// Stands in for a DLL an attacker drops beside the stub: when loaded it writes the file named
// by BRINDLE_PLANT_MARKER, which the test then looks for.
#include <windows.h>

#include "win32/UniqueResource.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"BRINDLE_PLANT_MARKER", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      win32::UniqueFile file(
          ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file) {
        DWORD written = 0;
        ::WriteFile(file.get(), "loaded", 6, &written, nullptr);
      }
    }
  }
  return TRUE;
}

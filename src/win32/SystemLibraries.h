#pragma once
// The wizard runs elevated from a folder anyone can write to (Downloads): DLLs are loaded from
// the system folder only.
#include <windows.h>

namespace win32 {

// Keeps the loader from picking up DLLs planted beside the executable (for example in the
// Downloads folder): every later load searches the system folder only.
void RestrictDllSearchPath() noexcept;

// Loads a DLL by its full path in the system folder, never from the application folder.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

}  // namespace win32

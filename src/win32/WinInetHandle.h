#pragma once
// Owner of WinINet handles; see WinHttpHandle.h for why the two live apart.
#include <windows.h>

// wininet.h declares its functions dllimport, so calls go straight through the import slot. The
// linker then drops the delay-load stub that the slot starts out pointing at (i686: the slot
// stays null and the first call jumps to address 0). Declared plainly, calls go to the stub.
#ifdef _WININET_
#error "wininet.h must be included through ui/WinInetHandle.h"
#endif
#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")

#include "win32/UniqueResource.h"

namespace win32 {

struct WinInetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::InternetCloseHandle(h); }
};

using UniqueWinInet = UniqueResource<WinInetHandleTraits>;

}  // namespace win32

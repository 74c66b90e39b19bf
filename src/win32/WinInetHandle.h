#pragma once
// Owner of WinINet handles; see WinHttpHandle.h for why the two live apart.
#include <windows.h>

#include <wininet.h>

#include "win32/UniqueResource.h"

namespace win32 {

struct WinInetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::InternetCloseHandle(h); }
};

using UniqueWinInet = UniqueResource<WinInetHandleTraits>;

}  // namespace win32

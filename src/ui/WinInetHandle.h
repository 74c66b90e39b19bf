#pragma once
// Owner of WinINet handles; see WinHttpHandle.h for why the two live apart.
#include <windows.h>
#include <wininet.h>

#include "ui/UniqueResource.h"

namespace ui {

struct WinInetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::InternetCloseHandle(h); }
};

using UniqueWinInet = UniqueResource<WinInetHandleTraits>;

}  // namespace ui

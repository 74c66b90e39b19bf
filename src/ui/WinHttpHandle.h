#pragma once
// Owner of WinHTTP handles. Kept apart from the WinINet owner: winhttp.h and wininet.h declare
// the same names differently and cannot share a translation unit.
#include <windows.h>
#include <winhttp.h>

#include "ui/UniqueResource.h"

namespace ui {

struct WinHttpHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::WinHttpCloseHandle(h); }
};

using UniqueWinHttp = UniqueResource<WinHttpHandleTraits>;

}  // namespace ui

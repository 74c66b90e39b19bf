#pragma once
// Owner of WinHTTP handles. Kept apart from the WinINet owner: winhttp.h and wininet.h declare
// the same names differently and cannot share a translation unit.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "win32/UniqueResource.h"

namespace win32 {

struct WinHttpHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::WinHttpCloseHandle(h); }
};

using UniqueWinHttp = UniqueResource<WinHttpHandleTraits>;

// WinHttpCrackUrl asking for pointers into `url` (which must outlive `parts`).
inline bool CrackUrl(const std::wstring& url, URL_COMPONENTS& parts) {
  parts = URL_COMPONENTS{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  return ::WinHttpCrackUrl(url.c_str(), 0, 0, &parts) != FALSE;
}

}  // namespace win32

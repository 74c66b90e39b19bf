#pragma once
// The Windows-version dependent settings shared by the API client and the download engine.
// Values are WinHTTP constants; this header stays free of winhttp.h so that WinINet code may
// include it.
#include <windows.h>

namespace config {

// Windows 7 without Service Pack 1 cannot speak TLS 1.1/1.2; the API client refuses it.
bool IsWindows7WithoutServicePack();

// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY on Windows 7, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY otherwise.
DWORD WinHttpProxyAccessType();

// SSL 3 and TLS 1.0, plus TLS 1.1 and 1.2 from Windows 7 SP1 on (WINHTTP_OPTION_SECURE_PROTOCOLS).
DWORD WinHttpSecureProtocols();

}  // namespace config

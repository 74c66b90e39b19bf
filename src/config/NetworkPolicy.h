#pragma once
// The Windows-version dependent settings and the time-outs shared by the API client and the
// download engine. Values are WinHTTP constants; this header stays free of winhttp.h so that
// WinINet code may include it.
#include <windows.h>

namespace config {

// Windows 7 without Service Pack 1 cannot speak TLS 1.1/1.2; the API client refuses it.
bool IsWindows7WithoutServicePack();

// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY on Windows 7, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY otherwise.
DWORD WinHttpProxyAccessType();

// TLS 1.0, plus TLS 1.1 and 1.2 from Windows 7 SP1 on (WINHTTP_OPTION_SECURE_PROTOCOLS). SSL 3
// is never offered.
DWORD WinHttpSecureProtocols();

// Resolve, connect, send, receive and response-header time-outs on a WinHTTP session (an
// HINTERNET); false with the thread's last error set when one cannot be set. Wine waits for the
// TLS handshake and the headers with the response-header time-out only, so it is set as well.
bool SetWinHttpTimeouts(void* session);

// The longest a transfer may go without any sign of life (a hop started, headers, data) before
// the engine gives it up: every time-out of one exchange added up. A backstop for platform
// calls that do not honour their time-outs (Wine's WinINet waits for a TLS handshake forever).
DWORD TransferStallLimitMs();

}  // namespace config

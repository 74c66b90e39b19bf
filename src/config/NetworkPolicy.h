#pragma once
// The Windows-version dependent settings and the time-outs shared by the API client and the
// download engine. Values are WinHTTP constants; this header stays free of winhttp.h so that
// WinINet code may include it.
#include <windows.h>

#include <string>

namespace config {

// Windows 7 without Service Pack 1 cannot speak TLS 1.1/1.2; the API client refuses it.
bool IsWindows7WithoutServicePack();

// The user's proxy settings (Internet Options), as WinHttpGetIEProxyConfigForCurrentUser reads them.
struct UserProxySettings {
  bool autoDetect = false;
  std::wstring autoConfigUrl;
  std::wstring proxy;  // "host:port" or "scheme=host:port;..."
  std::wstring bypass;
};

// How a WinHTTP session reaches the network.
struct WinHttpProxy {
  DWORD accessType = 0;  // a WINHTTP_ACCESS_TYPE_* value
  std::wstring proxy;    // with WINHTTP_ACCESS_TYPE_NAMED_PROXY only
  std::wstring bypass;
};

// A proxy the user named by hand (no automatic detection, no script) is handed to WinHTTP as
// it is, on every version; otherwise WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, which Windows knows
// from 8.1 on, and before that WINHTTP_ACCESS_TYPE_DEFAULT_PROXY (the machine's WinHTTP setting).
WinHttpProxy ChooseWinHttpProxy(const UserProxySettings& user, bool windows81OrLater);
// The choice for this user on this system.
WinHttpProxy WinHttpProxyChoice();
// WinHttpOpen with that choice: an HINTERNET for the caller to own, or null with the thread's
// last error set. Every WinHTTP session of the wizard is opened here.
void* OpenWinHttpSession(const wchar_t* agent);

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

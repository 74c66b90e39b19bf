#include "config/NetworkPolicy.h"

#include <winhttp.h>

#include "config/BuildSettings.h"
#include "config/OsVersion.h"

namespace config {

bool IsWindows7WithoutServicePack() { return IsOsAtLeast(6, 1) && !IsOsAtLeast(6, 1, 1); }

DWORD WinHttpProxyAccessType() {
  const bool windows7 = IsOsAtLeast(6, 1) && !IsOsAtLeast(6, 2);
  return windows7 ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
}

DWORD WinHttpSecureProtocols() {
  // TLS 1.0 stays for Windows 7 SP1 machines without the TLS 1.2 update.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1;
  if (IsOsAtLeast(6, 1, 1)) protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  return protocols;
}

bool SetWinHttpTimeouts(void* session) {
  const BuildSettings& settings = GetBuildSettings();
  if (!::WinHttpSetTimeouts(session, static_cast<int>(settings.resolveTimeoutMs),
                            static_cast<int>(settings.connectTimeoutMs), static_cast<int>(settings.sendTimeoutMs),
                            static_cast<int>(settings.receiveTimeoutMs))) {
    return false;
  }
  DWORD headers = settings.receiveTimeoutMs;
  return ::WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers, sizeof(headers)) != FALSE;
}

DWORD TransferStallLimitMs() {
  const BuildSettings& settings = GetBuildSettings();
  return settings.resolveTimeoutMs + settings.connectTimeoutMs + settings.sendTimeoutMs + settings.receiveTimeoutMs;
}

}  // namespace config

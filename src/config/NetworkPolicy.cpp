#include "config/NetworkPolicy.h"

#include <winhttp.h>

#include "config/OsVersion.h"

namespace config {

bool IsWindows7WithoutServicePack() { return IsOsAtLeast(6, 1) && !IsOsAtLeast(6, 1, 1); }

DWORD WinHttpProxyAccessType() {
  const bool windows7 = IsOsAtLeast(6, 1) && !IsOsAtLeast(6, 2);
  return windows7 ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
}

DWORD WinHttpSecureProtocols() {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_SSL3 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1;
  if (IsOsAtLeast(6, 1, 1)) protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  return protocols;
}

}  // namespace config

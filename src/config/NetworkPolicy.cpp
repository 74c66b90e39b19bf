#include "config/NetworkPolicy.h"

#include <winhttp.h>

#include "config/BuildSettings.h"
#include "config/OsVersion.h"
#include "win32/UniqueResource.h"

namespace config {

bool IsWindows7WithoutServicePack() { return IsOsAtLeast(6, 1) && !IsOsAtLeast(6, 1, 1); }

WinHttpProxy ChooseWinHttpProxy(const UserProxySettings& user, bool windows81OrLater) {
  if (!user.autoDetect && user.autoConfigUrl.empty() && !user.proxy.empty()) {
    return {WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.proxy, user.bypass};
  }
  // Windows 8 and earlier refuse the automatic type (ERROR_INVALID_PARAMETER).
  const DWORD access = windows81OrLater ? WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
  return {access, {}, {}};
}

namespace {

struct GlobalTextTraits {
  using Type = LPWSTR;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::GlobalFree(h); }
};

std::wstring Take(LPWSTR text) {
  const win32::UniqueResource<GlobalTextTraits> owned(text);
  return text != nullptr ? std::wstring(text) : std::wstring();
}

}  // namespace

WinHttpProxy WinHttpProxyChoice() {
  UserProxySettings user;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    user.autoDetect = config.fAutoDetect != FALSE;
    user.autoConfigUrl = Take(config.lpszAutoConfigUrl);
    user.proxy = Take(config.lpszProxy);
    user.bypass = Take(config.lpszProxyBypass);
  }
  return ChooseWinHttpProxy(user, IsOsAtLeast(6, 3));
}

void* OpenWinHttpSession(const wchar_t* agent) {
  const WinHttpProxy choice = WinHttpProxyChoice();
  const bool named = choice.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  return ::WinHttpOpen(agent, choice.accessType, named ? choice.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                       named && !choice.bypass.empty() ? choice.bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0);
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

#pragma once
// Operating-system version facts shared by the network code, the identity helpers and the
// offer settings.
#include <windows.h>

#include <optional>

namespace config {

struct OsVersion {
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;
};

// RtlGetVersion, which is not subject to the compatibility shims of GetVersionEx.
std::optional<OsVersion> QueryOsVersion();

// VerifyVersionInfoW over major, minor and service-pack major, each "greater or equal".
bool IsOsAtLeast(DWORD major, DWORD minor, WORD servicePackMajor = 0);

}  // namespace config

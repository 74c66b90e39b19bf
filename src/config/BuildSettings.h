#pragma once
// Values fixed when a wizard is built (CMake options). Each executable links exactly one
// definition of GetBuildSettings().
#include <windows.h>

namespace config {

struct BuildSettings {
  const wchar_t* wizardTypeName;  // "DLM" or "ISV"; also part of the single-instance mutex
  bool btPages;
  bool btClassicPages;
  const wchar_t* contentHost;  // host of the configuration, events and offer-file URLs
  const wchar_t* privacyHost;
  DWORD configRetryPauseMs;
  DWORD eventRetryPauseMs;
  DWORD downloadFallbackPauseMs;
  DWORD resumePauseMs;  // before the first resumed try of a download; doubles for each further one
  // Network time-outs of every WinHTTP and WinINet session (test builds make them short).
  DWORD resolveTimeoutMs;
  DWORD connectTimeoutMs;
  DWORD sendTimeoutMs;
  DWORD receiveTimeoutMs;  // also the wait for response headers
  // The ISV wizard's product; empty unless the build names it.
  const wchar_t* isvProductUrl;
  const wchar_t* isvInstallParameters;
  const wchar_t* isvLaunchPath;
  const wchar_t* isvLaunchArguments;
  // Off in a program that only judges offers: it makes no work folder.
  bool makeWorkFolder;
};

const BuildSettings& GetBuildSettings();

}  // namespace config

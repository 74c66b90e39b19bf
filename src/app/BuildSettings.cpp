// Compiled once per wizard variant with the values of the CMake options.
#include "config/BuildSettings.h"

#include "brindle_build_config.h"

#ifndef BRINDLE_WIZARD_ISV
#error "the build must say which wizard type this is"
#endif

namespace config {

const BuildSettings& GetBuildSettings() {
#if BRINDLE_SHORT_PAUSES
  // Test builds: the retry logic is exercised without waiting whole seconds, and the time-outs
  // without waiting half a minute.
  constexpr DWORD kRetryPauseMs = 200, kFallbackPauseMs = 100, kResumePauseMs = 50;
  constexpr DWORD kConnectTimeoutMs = 2000, kSendTimeoutMs = 2000, kReceiveTimeoutMs = 3000;
#else
  constexpr DWORD kRetryPauseMs = 5000, kFallbackPauseMs = 2000, kResumePauseMs = 1000;
  constexpr DWORD kConnectTimeoutMs = 15000, kSendTimeoutMs = 30000, kReceiveTimeoutMs = 30000;
#endif
  static const BuildSettings settings = {
      .wizardTypeName = BRINDLE_WIZARD_ISV ? L"ISV" : L"DLM",
      .btPages = BRINDLE_BT_PAGES != 0,
      .btClassicPages = BRINDLE_BT_CLASSIC_PAGES != 0,
      .contentHost = BRINDLE_CONTENT_HOST,
      .privacyHost = BRINDLE_PRIVACY_HOST,
      .configRetryPauseMs = kRetryPauseMs,
      .eventRetryPauseMs = kRetryPauseMs,
      .downloadFallbackPauseMs = kFallbackPauseMs,
      .resumePauseMs = kResumePauseMs,
      .resolveTimeoutMs = kConnectTimeoutMs,
      .connectTimeoutMs = kConnectTimeoutMs,
      .sendTimeoutMs = kSendTimeoutMs,
      .receiveTimeoutMs = kReceiveTimeoutMs,
      .isvProductUrl = BRINDLE_ISV_PRODUCT_URL,
      .isvInstallParameters = BRINDLE_ISV_INSTALL_PARAMETERS,
      .isvLaunchPath = BRINDLE_ISV_LAUNCH_PATH,
      .isvLaunchArguments = BRINDLE_ISV_LAUNCH_ARGUMENTS,
      .makeWorkFolder = true,
  };
  return settings;
}

}  // namespace config

// Compiled once per wizard variant with the values of the CMake options.
#include "config/BuildSettings.h"

#include "brindle_build_config.h"

#ifndef BRINDLE_WIZARD_ISV
#error "the build must say which wizard type this is"
#endif

namespace config {

const BuildSettings& GetBuildSettings() {
  static const BuildSettings settings = {
    BRINDLE_WIZARD_ISV ? L"ISV" : L"DLM",
    BRINDLE_BT_PAGES != 0,
    BRINDLE_BT_CLASSIC_PAGES != 0,
    BRINDLE_CONTENT_HOST,
    BRINDLE_PRIVACY_HOST,
#if BRINDLE_SHORT_PAUSES
    // Test builds: the retry logic is exercised without waiting whole seconds.
    200,
    200,
    100,
    50,
    // ...and the time-outs without waiting half a minute.
    2000,
    2000,
    2000,
    3000,
#else
    5000,
    5000,
    2000,
    1000,
    15000,
    15000,
    30000,
    30000,
#endif
    BRINDLE_ISV_PRODUCT_URL,
    BRINDLE_ISV_INSTALL_PARAMETERS,
    BRINDLE_ISV_LAUNCH_PATH,
    BRINDLE_ISV_LAUNCH_ARGUMENTS,
    true,
  };
  return settings;
}

}  // namespace config

#include "tools/rules/RulesSettings.h"

#include "config/BuildSettings.h"

namespace config {

// The delivered wizard's settings: src/app/BuildSettings.cpp, compiled into this program under
// this name (see CMakeLists.txt), so hosts, pauses and time-outs are the wizard's own.
const BuildSettings& GetWizardBuildSettings();

}  // namespace config

namespace {

config::BuildSettings& Settings() {
  static config::BuildSettings settings = [] {
    config::BuildSettings wizard = config::GetWizardBuildSettings();
    wizard.makeWorkFolder = false;
    return wizard;
  }();
  return settings;
}

}  // namespace

namespace config {

const BuildSettings& GetBuildSettings() { return Settings(); }

}  // namespace config

namespace rules {

void JudgeForWizardType(bool isv) { Settings().wizardTypeName = isv ? L"ISV" : L"DLM"; }

}  // namespace rules

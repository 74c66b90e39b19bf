#pragma once
// BrindleRules.exe judges for either wizard type, chosen on its command line: its build settings
// are the wizard's, with the type given, and without a work folder (it only judges).

namespace rules {

// Before the configuration manager is first used.
void JudgeForWizardType(bool isv);

}  // namespace rules

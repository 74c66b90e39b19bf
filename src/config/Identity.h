#pragma once
// Facts that identify the machine, the run and this build to the remote service. Failures
// give empty results; none of these functions throws.
#include <string>
#include <string_view>

namespace config {

std::string ReadMachineGuid();
std::string GetFileVersionText();
std::string GetOsVersionText();
bool IsWow64();
// The campaign code carried in the program's own file name (setup_ab12-cd.exe -> ab12-cd).
std::wstring GetCampaignCode();
std::wstring CampaignCodeFromPath(std::wstring_view path);
std::string NowMillisText();

}  // namespace config

#include "tools/rules/RulesCommandLine.h"

#include "config/Identity.h"
#include "offers/RegistryPaths.h"

namespace rules {

std::optional<RulesOptions> ParseCommandLine(const std::vector<std::wstring>& arguments, std::wstring& error) {
  RulesOptions options;
  bool wizardGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
      options.help = true;
    } else if (argument == L"--json") {
      options.json = true;
    } else if (argument == L"--wizard" && hasValue && !wizardGiven) {
      const std::wstring type = win32::LowerCase(arguments[++i]);
      if (type != L"dlm" && type != L"isv") {
        error = L"--wizard takes dlm or isv, not \"" + arguments[i] + L"\"";
        return std::nullopt;
      }
      options.isv = type == L"isv";
      wizardGiven = true;
    } else if (argument == L"--campaign" && hasValue && options.campaignCode.empty()) {
      options.campaignCode = arguments[++i];
      // Only a code that a wizard's file name can carry (setup_ab12-cd.exe).
      if (config::CampaignCodeFromPath(L"_" + options.campaignCode) != options.campaignCode) {
        error = L"\"" + options.campaignCode + L"\" is not a campaign code (seven characters with a dash, as ab12-cd)";
        return std::nullopt;
      }
    } else if (argument.starts_with(L"-") || !options.documentPath.empty()) {
      error = L"unexpected argument \"" + argument + L"\"";
      return std::nullopt;
    } else {
      options.documentPath = argument;
    }
  }
  if (options.help) return options;
  if (options.documentPath.empty() == options.campaignCode.empty()) {
    error = L"name one document, or --campaign CODE";
    return std::nullopt;
  }
  return options;
}

}  // namespace rules

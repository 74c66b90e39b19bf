#pragma once
// The command line of BrindleRules.exe.
#include <optional>
#include <string>
#include <vector>

namespace rules {

struct RulesOptions {
  std::wstring documentPath;  // or
  std::wstring campaignCode;  // the service is asked, as the wizard asks it
  bool isv = false;
  bool json = false;
  bool help = false;
};

inline constexpr const wchar_t* kUsage =
    L"Usage: BrindleRules.exe DOCUMENT.json [--wizard dlm|isv] [--json]\r\n"
    L"       BrindleRules.exe --campaign CODE [--wizard dlm|isv] [--json]\r\n"
    L"Judges the offers of a configuration document on this machine as the wizard would, and\r\n"
    L"prints each verdict with the facts it read, then the offer pages the wizard would show.\r\n"
    L"Sends no events and writes nothing. Exit code 0: judged; 1: a usage error; 2: the wizard\r\n"
    L"cannot use the document (its reason is printed); 3: this program failed.\r\n";

// The arguments after the program's name; nothing, with `error` set, for a usage error.
std::optional<RulesOptions> ParseCommandLine(const std::vector<std::wstring>& arguments, std::wstring& error);

}  // namespace rules

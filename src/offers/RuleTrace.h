#pragma once
// What the evaluator looked at and what it decided, one record at a time, for a reader that
// explains a verdict (BrindleRules.exe). Records are made only when someone listens.
#include <functional>
#include <string>

struct RuleTraceRecord {
  enum class Kind {
    kOffer,           // an evaluation begins: subject = offer id, answer = display name
    kMachineChecks,   // the rules between offers passed; the checks of this machine begin
    kRegistryKey,     // subject = full key path; answer "found" or "missing"
    kRegistryValue,   // subject = key path\value name; answer = the data as text, or what was asked of it
    kFile,            // subject = path
    kProcess,         // subject = a blocking name
    kDiskSpace,       // subject = what the offer needs; answer = what was measured
    kMemory,          //   likewise
    kProcessor,       //   likewise
    kWindowsVersion,  // subject = the version asked for; answer "yes" or "no"
    kProgramVersion,  // subject = the version needed; answer = this wizard's version
    kWindows64,       // answer "yes" or "no"
    kInstalledApp,    // subject = the App Paths name
    kUninstall,       // subject = the value and the days needed; answer = days since
    kNoShow,          // subject = the marker's date; answer = today
    kRuleError,       // subject = the error's text
    kAccepted,
    kRejected,      // subject = the reason
    kLimitReached,  // no more offers can be accepted: judging stops
  };
  enum class View { kNone, k32Bit, k64Bit };

  Kind kind;
  std::wstring subject;
  std::wstring answer;
  View view = View::kNone;
};

using RuleTrace = std::function<void(const RuleTraceRecord&)>;

#pragma once
// Starts installers: the classic "quoted path, space, arguments" command line, run in the
// installer's own folder, optionally waited for.
#include <optional>
#include <string>

#include "install/ExecResult.h"
#include "install/StartGate.h"

namespace install {

// What a start checks besides the command: the gate of a wizard that may be closing (nothing
// starts once it is), and the hash the program must still have (see HeldFile).
struct StartChecks {
  StartGate* gate = nullptr;
  std::optional<std::string> sha256;
};

// Never throws for a failed start; the failure is in the result. Every started process is
// added to StartedProcesses, so the wizard's clean-up knows its folder is in use. A program
// whose content changed is not started: its text is kFileChangedText.
ExecResult RunExecutable(const std::wstring& exePath, const std::wstring& arguments, bool wait,
                         const StartChecks& checks = {});

}  // namespace install

#pragma once
// Starts installers: the classic "quoted path, space, arguments" command line, run in the
// installer's own folder, optionally waited for.
#include <future>
#include <string>

#include "install/ExecResult.h"
#include "install/StartGate.h"

namespace install {

// Never throws for a failed start; the failure is in the result. Every started process is
// added to StartedProcesses, so the wizard's clean-up knows its folder is in use. With a gate,
// nothing is started once it is closing.
ExecResult RunExecutable(const std::wstring& exePath, const std::wstring& arguments, bool wait,
                         StartGate* gate = nullptr);

// RunExecutable on a thread of its own. The thread holds only its copies of the arguments
// and the future's shared state, so dropping the future never waits for the installer. When no
// thread can be started the future is ready at once and raises that failure.
std::future<ExecResult> RunExecutableAsync(std::wstring exePath, std::wstring arguments, bool wait);

}  // namespace install

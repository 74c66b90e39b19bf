#pragma once
// How the finish pages start the product or open its folder. The wizard runs elevated, so what
// is started is always named by a full path; tests replace the launcher to record the calls.
#include <functional>
#include <string>

struct ShellCommand {
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  std::wstring directory;  // the started program's current folder; empty: the wizard's
};

using ShellLauncher = std::function<void(const ShellCommand&)>;

// ShellExecuteW with the command, no window, SW_SHOWDEFAULT; the result is not examined (a
// failed start shows nothing).
void ShellExecuteLauncher(const ShellCommand& command);

// %WINDIR%\explorer.exe, never the bare name: a bare name would be searched in the current
// folder first.
std::wstring ExplorerPath();

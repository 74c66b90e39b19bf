#pragma once
// How the finish pages start the product or open its folder, and how links open. The wizard runs
// elevated, so what is started is always named by a full path, and what the user merely opens
// (a link, the installed application) is started without the wizard's rights where Windows
// allows it. Tests replace the launcher to record the calls.
#include <functional>
#include <string>

struct ShellCommand {
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  std::wstring directory;  // the started program's current folder; empty: the wizard's
  // Start it as the desktop shell would, with the user's own rights rather than the wizard's.
  bool withoutElevation = false;
};

// Which way a command was started: through the desktop shell's automation object (without the
// wizard's rights) or by the wizard itself.
enum class LaunchRoute { DesktopShell, Direct };

using ShellLauncher = std::function<LaunchRoute(const ShellCommand&)>;

// A command without elevation goes through the shell window's IShellDispatch2::ShellExecute
// when there is one (Explorer); otherwise, and for every other command, ShellExecuteExW runs it
// and returns once the start is done (SEE_MASK_NOASYNC), so a file held for the start is held
// long enough. The outcome is not examined: a failed start shows nothing.
LaunchRoute ShellExecuteLauncher(const ShellCommand& command);

// %WINDIR%\explorer.exe, never the bare name: a bare name would be searched in the current
// folder first.
std::wstring ExplorerPath();

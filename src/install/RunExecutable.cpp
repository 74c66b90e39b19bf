#include "install/RunExecutable.h"

#include <utility>

#include "install/HeldFile.h"
#include "install/StartedProcesses.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace install {
namespace {

ExecResult LaunchFailure(const std::wstring& reason) {
  return {ExecResult::kNoExitCode, L"Error launching executable: " + reason, false};
}

std::wstring ExitCodeText(DWORD code) { return code == 0 ? std::wstring() : L"exit code = " + std::to_wstring(code); }

std::wstring FolderOfFile(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  const auto slash = full.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  // "C:\setup.exe" runs in "C:\", not in the drive's current folder "C:".
  return full.substr(0, slash == 2 && full[1] == L':' ? slash + 1 : slash);
}

ExecResult Run(const std::wstring& exePath, const std::wstring& arguments, bool wait, StartedProcesses& record,
               const StartChecks& checks) {
  std::wstring commandLine = L"\"" + exePath + L"\" " + arguments;
  // An installer that opens files beside itself by relative name finds them: the wizard's
  // own current folder is usually Downloads.
  const std::wstring folder = FolderOfFile(exePath);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  win32::UniqueHandle process;
  win32::UniqueHandle thread;
  {
    // Held for the creation only: a closing wizard waits for a start, never for an installer.
    const StartGate::Pass pass(checks.gate);
    if (!pass) return LaunchFailure(L"the wizard is closing");
    // Held, unchangeable, from the check until the process exists.
    std::optional<HeldFile> program;
    if (checks.sha256) {
      program.emplace(exePath, *checks.sha256);
      if (!program->Matches()) return {ExecResult::kNoExitCode, kFileChangedText, false};
    }
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
      return LaunchFailure(win32::SystemErrorText(::GetLastError()));
    }
    process.reset(info.hProcess);
    thread.reset(info.hThread);
    record.Add(process.get(), folder);
  }

  DWORD exitCode = ExecResult::kNoExitCode;
  if (wait && ::WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0 &&
      !::GetExitCodeProcess(process.get(), &exitCode)) {
    exitCode = ExecResult::kNoExitCode;
  }
  return {exitCode, ExitCodeText(exitCode), true};
}

}  // namespace

ExecResult RunExecutable(const std::wstring& exePath, const std::wstring& arguments, bool wait,
                         const StartChecks& checks) {
  return Run(exePath, arguments, wait, *StartedProcesses::GetInstance(), checks);
}

}  // namespace install

#include "install/RunExecutable.h"

#include <system_error>
#include <thread>
#include <utility>

#include "install/StartedProcesses.h"
#include "ui/Strings.h"
#include "ui/UniqueResource.h"

namespace install {
namespace {

std::wstring SystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  ui::UniqueHlocal owner(buffer);
  if (length == 0 || buffer == nullptr) return {};
  return std::wstring(buffer, length);
}

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

ExecResult Run(const std::wstring& exePath, const std::wstring& arguments, bool wait, StartedProcesses& record) {
  std::wstring commandLine = L"\"" + exePath + L"\" " + arguments;
  // An installer that opens files beside itself by relative name finds them: the wizard's
  // own current folder is usually Downloads.
  const std::wstring folder = FolderOfFile(exePath);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    return LaunchFailure(SystemMessage(::GetLastError()));
  }
  ui::UniqueHandle process(info.hProcess);
  ui::UniqueHandle thread(info.hThread);
  record.Add(process.get(), folder);

  DWORD exitCode = ExecResult::kNoExitCode;
  if (wait && ::WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0 &&
      !::GetExitCodeProcess(process.get(), &exitCode)) {
    exitCode = ExecResult::kNoExitCode;
  }
  return {exitCode, ExitCodeText(exitCode), true};
}

}  // namespace

ExecResult RunExecutable(const std::wstring& exePath, const std::wstring& arguments, bool wait) {
  return Run(exePath, arguments, wait, *StartedProcesses::GetInstance());
}

std::future<ExecResult> RunExecutableAsync(std::wstring exePath, std::wstring arguments, bool wait) {
  std::promise<ExecResult> promise;
  std::future<ExecResult> future = promise.get_future();
  try {
    // The thread holds the record too: it may still be starting a process as the wizard exits.
    std::thread([exePath = std::move(exePath), arguments = std::move(arguments), wait, promise = std::move(promise),
                 record = StartedProcesses::GetInstance()]() mutable noexcept {
      try {
        promise.set_value(Run(exePath, arguments, wait, *record));
      } catch (...) {
        promise.set_exception(std::current_exception());
      }
    }).detach();
  } catch (const std::system_error& error) {
    std::promise<ExecResult> failed;
    failed.set_value(LaunchFailure(ui::Widen(error.what())));
    return failed.get_future();
  }
  return future;
}

}  // namespace install

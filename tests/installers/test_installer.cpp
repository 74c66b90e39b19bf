// A stand-in installer: records how it was started and exits with a chosen code.
//   /exit=N      exit code N (else BRINDLE_INSTALLER_EXIT, else "exitN" in its own file name, else 0)
//   /sleep=MS    wait first, like an installer still busy after the wizard moved on
//   /read=NAME   then read NAME beside itself and record what it found
// The record goes to the folder named by BRINDLE_INSTALLER_LOG (else beside the program) as
// "<program name>-<process id>.log", UTF-8 lines key=value, and appears complete or not at all.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "win32/UniqueResource.h"

namespace {

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring ArgumentValue(const std::wstring& prefix) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  win32::UniqueHlocal owner(arguments);
  std::wstring value;
  for (int i = 1; arguments != nullptr && i < count; ++i) {
    if (std::wcsncmp(arguments[i], prefix.c_str(), prefix.size()) == 0) value = arguments[i] + prefix.size();
  }
  return value;
}

DWORD ChosenExitCode(const std::wstring& module) {
  const std::wstring argument = ArgumentValue(L"/exit=");
  if (!argument.empty()) return std::wcstoul(argument.c_str(), nullptr, 10);
  // For a wizard run whose installer's name and arguments are fixed by the build.
  wchar_t fromEnvironment[16] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"BRINDLE_INSTALLER_EXIT", fromEnvironment, 16);
  if (length > 0 && length < 16) return std::wcstoul(fromEnvironment, nullptr, 10);
  const std::wstring name = module.substr(module.rfind(L'\\') + 1);
  const auto marker = name.find(L"exit");
  return marker == std::wstring::npos ? 0 : std::wcstoul(name.c_str() + marker + 4, nullptr, 10);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
  return bytes;
}

std::string ReadBeside(const std::wstring& module, const std::wstring& name) {
  win32::UniqueFile file(::CreateFileW((Folder(module) + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<missing>";
  char buffer[256] = {};
  DWORD read = 0;
  ::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr);
  return std::string(buffer, read);
}

void WriteRecord(const std::wstring& module, const std::string& record) {
  wchar_t logFolder[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"BRINDLE_INSTALLER_LOG", logFolder, MAX_PATH);
  const std::wstring folder = length > 0 && length < MAX_PATH ? logFolder : Folder(module);
  const std::wstring name = module.substr(module.rfind(L'\\') + 1) + L"-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring temporary = folder + L"\\" + name + L".tmp";
  win32::UniqueFile file(
      ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  file.reset();
  ::MoveFileExW(temporary.c_str(), (folder + L"\\" + name + L".log").c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring module = ModulePath();
  const DWORD exitCode = ChosenExitCode(module);
  const std::wstring sleep = ArgumentValue(L"/sleep=");
  if (!sleep.empty()) ::Sleep(std::wcstoul(sleep.c_str(), nullptr, 10));

  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  std::string record = "exe=" + Utf8(module) + "\r\ncmdline=" + Utf8(::GetCommandLineW()) + "\r\ncwd=" + Utf8(current) +
                       "\r\nexit=" + std::to_string(exitCode) + "\r\n";
  const std::wstring dataFile = ArgumentValue(L"/read=");
  if (!dataFile.empty()) record += "data=" + ReadBeside(module, dataFile) + "\r\n";
  WriteRecord(module, record);
  return static_cast<int>(exitCode);
}

#include "pages/ShellLauncher.h"

#include <windows.h>
#include <shellapi.h>

void ShellExecuteLauncher(const ShellCommand& command) {
  ::ShellExecuteW(nullptr, command.verb.c_str(), command.file.c_str(),
                  command.parameters.empty() ? nullptr : command.parameters.c_str(),
                  command.directory.empty() ? nullptr : command.directory.c_str(), SW_SHOWDEFAULT);
}

std::wstring ExplorerPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  return path + L"explorer.exe";
}

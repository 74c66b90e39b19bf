#include "app/FolderCleanup.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

namespace cleanup {
namespace {

std::wstring Normalized(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
  return path;
}

}  // namespace

void DeleteFolder(const std::wstring& path, const std::vector<std::wstring>& runningFolders,
                  install::RemovalHooks hooks) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || ::PathIsDirectoryEmptyW(path.c_str())) return;
  std::vector<std::wstring> running;
  for (const auto& folder : runningFolders) running.push_back(Normalized(folder));
  hooks.leaveWhole = [&running](const std::wstring& folder) {
    return std::find(running.begin(), running.end(), Normalized(folder)) != running.end();
  };
  // Everything returned lies inside `path`, where only the wizard writes.
  for (const std::wstring& left : install::RemoveTree(path, hooks)) {
    ::MoveFileExW(left.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

}  // namespace cleanup

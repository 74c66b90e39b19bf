#include "install/FolderTree.h"

#include "ui/UniqueResource.h"

namespace install {

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EnsureFolder(const std::wstring& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(path);
}

std::vector<FolderItem> ListFolder(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<FolderItem> items;
  WIN32_FIND_DATAW data{};
  ui::UniqueFind find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
  if (!find) return items;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") items.push_back({name, data.dwFileAttributes});
  } while (::FindNextFileW(find.get(), &data));
  return items;
}

bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder) return ::DeleteFileW(path.c_str()) != FALSE;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    for (const FolderItem& item : ListFolder(path)) RemoveTree(path + L"\\" + item.name);
  }
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

}  // namespace install

#include "app/FolderCleanup.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

#include "install/FolderTree.h"

namespace cleanup {
namespace {

struct Entry {
  std::wstring path;
  DWORD attributes;
};

std::vector<Entry> ListFolder(const std::wstring& folder) {
  std::vector<Entry> entries;
  for (const auto& item : install::ListFolder(folder)) entries.push_back({folder + L"\\" + item.name, item.attributes});
  return entries;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveAtRestart(const std::wstring& path) { ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); }

std::wstring Normalized(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
  return path;
}

class FolderRemover {
 public:
  FolderRemover(const std::vector<std::wstring>& runningFolders, const LinkTest& isLink) : m_isLink(isLink) {
    for (const auto& folder : runningFolders) m_running.push_back(Normalized(folder));
  }

  bool IsRunning(const std::wstring& folder) const {
    return std::find(m_running.begin(), m_running.end(), Normalized(folder)) != m_running.end();
  }

  void RemoveContents(const std::wstring& folder) const {
    for (const Entry& entry : ListFolder(folder)) {
      if (m_isLink(entry.path, entry.attributes)) {
        RemoveLink(entry);
      } else if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(entry.path);
      } else {
        RemoveFile(entry);
      }
    }
  }

  // The folder and everything in it; where an installer still runs, at restart.
  void RemoveFolder(const std::wstring& folder) const {
    if (IsRunning(folder)) {
      ScheduleTree(folder);
      return;
    }
    RemoveContents(folder);
    if (!::RemoveDirectoryW(folder.c_str()) && Exists(folder)) RemoveAtRestart(folder);
  }

  // Everything below `folder`, then the folder itself, removed at restart.
  void ScheduleTree(const std::wstring& folder) const {
    for (const Entry& entry : ListFolder(folder)) {
      if (!m_isLink(entry.path, entry.attributes) && (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ScheduleTree(entry.path);
      } else {
        RemoveAtRestart(entry.path);
      }
    }
    RemoveAtRestart(folder);
  }

 private:
  // The link itself goes; what it points to is never touched.
  static void RemoveLink(const Entry& entry) {
    const bool removed = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(entry.path.c_str())
                                                                       : ::DeleteFileW(entry.path.c_str());
    if (!removed && Exists(entry.path)) RemoveAtRestart(entry.path);
  }

  static void RemoveFile(const Entry& entry) {
    if (::DeleteFileW(entry.path.c_str())) return;
    DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED && (entry.attributes & FILE_ATTRIBUTE_READONLY)) {
      ::SetFileAttributesW(entry.path.c_str(), entry.attributes & ~FILE_ATTRIBUTE_READONLY);
      if (::DeleteFileW(entry.path.c_str())) return;
      error = ::GetLastError();
    }
    // In use: it goes at the next restart. A file that is already gone is never scheduled.
    if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) && Exists(entry.path)) {
      RemoveAtRestart(entry.path);
    }
  }

  std::vector<std::wstring> m_running;
  const LinkTest& m_isLink;
};

}  // namespace

bool IsReparsePoint(const std::wstring& /*path*/, unsigned long attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void DeleteFolder(const std::wstring& path, const std::vector<std::wstring>& runningFolders, const LinkTest& isLink) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (isLink(path, attributes) || ::PathIsDirectoryEmptyW(path.c_str())) return;
  FolderRemover(runningFolders, isLink).RemoveFolder(path);
}

}  // namespace cleanup

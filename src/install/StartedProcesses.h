#pragma once
// Which folders still hold a running installer. When the wizard finishes while an offer's
// installer runs (or is closed during the main installer), that installer may still read
// files beside itself: its folder must be removed at restart as a whole, not emptied now.
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/Threads.h"
#include "win32/UniqueResource.h"

namespace install {

class StartedProcesses {
 public:
  static std::shared_ptr<StartedProcesses> GetInstance();

  // Keeps a duplicate of `process` (the caller keeps its own handle); a handle that cannot
  // be duplicated is not recorded.
  void Add(HANDLE process, const std::wstring& folder);

  // Full paths of the folders of recorded processes that have not exited, each once
  // (compared without case), in the order they were first started.
  std::vector<std::wstring> FoldersWithRunningProcesses();

 private:
  struct Entry {
    win32::UniqueHandle process;
    std::wstring folder;
  };

  // Drops entries whose process has exited, closing their handles.
  void PruneLocked();

  win32::Mutex m_mutex;
  std::vector<Entry> m_entries;
};

}  // namespace install

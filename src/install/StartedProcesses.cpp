#include "install/StartedProcesses.h"

#include <algorithm>

namespace install {
namespace {

bool HasExited(HANDLE process) { return ::WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

std::shared_ptr<StartedProcesses> StartedProcesses::GetInstance() {
  static win32::MadeOnce<std::shared_ptr<StartedProcesses>> instance;
  return instance.Get([] { return std::make_shared<StartedProcesses>(); });
}

void StartedProcesses::Add(HANDLE process, const std::wstring& folder) {
  win32::UniqueHandle copy;
  if (folder.empty() ||
      !::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), copy.put(), SYNCHRONIZE, FALSE, 0)) {
    return;
  }
  const std::lock_guard lock(m_mutex);
  PruneLocked();
  m_entries.push_back({std::move(copy), folder});
}

std::vector<std::wstring> StartedProcesses::FoldersWithRunningProcesses() {
  const std::lock_guard lock(m_mutex);
  PruneLocked();
  std::vector<std::wstring> folders;
  for (const Entry& entry : m_entries) {
    const bool listed = std::any_of(folders.begin(), folders.end(),
                                    [&entry](const std::wstring& folder) { return SameFolder(folder, entry.folder); });
    if (!listed) folders.push_back(entry.folder);
  }
  return folders;
}

void StartedProcesses::PruneLocked() {
  std::erase_if(m_entries, [](const Entry& entry) { return HasExited(entry.process.get()); });
}

}  // namespace install

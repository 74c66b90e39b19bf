#include "InstallTestSupport.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "install/FolderTree.h"
#include "win32/Strings.h"

namespace installtest {
namespace {

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring module(path, length);
  return module.substr(0, module.rfind(L'\\'));
}

}  // namespace

Scratch::Scratch() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static int counter = 0;
  m_path = std::wstring(temp) + L"brindle-install-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
  install::RemoveTree(m_path);
  ::CreateDirectoryW(m_path.c_str(), nullptr);
  ::CreateDirectoryW(LogFolder().c_str(), nullptr);
  ::SetEnvironmentVariableW(L"BRINDLE_INSTALLER_LOG", LogFolder().c_str());
}

Scratch::~Scratch() { install::RemoveTree(m_path); }

std::wstring DataFile(const std::wstring& name) { return ModuleFolder() + L"\\install_data\\" + name; }

void Place(const std::wstring& source, const std::wstring& target) {
  for (auto slash = target.find(L'\\', 3); slash != std::wstring::npos; slash = target.find(L'\\', slash + 1)) {
    ::CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);
  }
  ::CopyFileW(source.c_str(), target.c_str(), FALSE);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::wstring> Contents(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const install::FolderItem& item : install::ListFolder(folder)) names.push_back(item.name);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Record> WaitForRecords(const std::wstring& folder, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::vector<install::FolderItem> logs;
  while ((logs = install::ListFolder(folder, L"*.log")).size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::vector<Record> records;
  for (const install::FolderItem& log : logs) {
    std::istringstream lines(ReadBytes(folder + L"\\" + log.name));
    Record& record = records.emplace_back();
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto equals = line.find('=');
      if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return records;
}

}  // namespace installtest

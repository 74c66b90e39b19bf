#include "offers/MachineFacts.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <shlwapi.h>

#include <ctime>
#include <cwctype>

#include "config/FileNames.h"
#include "config/OsVersion.h"
#include "config/TextUtil.h"
#include "offers/RegistryValues.h"

Measurement MachineFacts::FreeDiskSpace() {
  ++m_counters.freeDiskSpace;
  return MeasureFreeDiskSpace();
}

Measurement MachineFacts::TotalMemory() {
  ++m_counters.totalMemory;
  return MeasureTotalMemory();
}

ProcessorClock MachineFacts::ProcessorMHz() {
  ++m_counters.processorClock;
  return ReadProcessorMHz();
}

bool MachineFacts::IsOsAtLeast(DWORD major, DWORD minor) {
  ++m_counters.osVersionTests;
  return TestOsAtLeast(major, minor);
}

std::optional<bool> MachineFacts::Is64BitWindows() {
  ++m_counters.is64BitWindows;
  return Query64BitWindows();
}

std::optional<std::vector<std::wstring>> MachineFacts::ProcessNames() {
  ++m_counters.processLists;
  return ListProcesses();
}

std::int64_t MachineFacts::Now() {
  ++m_counters.clockReads;
  return ReadClock();
}

LONG MachineFacts::OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) {
  ++m_counters.registryOpens;
  return OpenRegistryKey(parent, subkey, access, key);
}

LONG MachineFacts::OpenRegistryKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) {
  return ::RegOpenKeyExW(parent, subkey.c_str(), 0, access, key.put());
}

bool MachineFacts::FileExists(const std::wstring& path) {
  if (!IsLocalPath(path)) return false;
  ++m_counters.fileProbes;
  return ProbeFile(path);
}

bool MachineFacts::ProbeFile(const std::wstring& path) { return ::PathFileExistsW(path.c_str()) != FALSE; }

bool MachineFacts::IsLocalPath(const std::wstring& path) {
  if (path.size() < 4 || !std::iswalpha(path[0]) || path[0] > 0x7F || path[1] != L':' ||
      (path[2] != L'\\' && path[2] != L'/')) {
    return false;
  }
  for (const std::wstring& component : config::SplitText(path.substr(3), L"\\")) {
    for (const std::wstring& name : config::SplitText(component, L"/")) {
      if (config::FileNameProblem(name)) return false;
    }
  }
  UINT& type = m_driveTypes[(path[0] | 0x20) - L'a'];
  if (type == DRIVE_UNKNOWN) {
    ++m_counters.driveTypes;
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    type = ::GetDriveTypeW(root);
  }
  switch (type) {
    case DRIVE_FIXED:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
      return true;
    default:
      return false;  // a network drive, or none
  }
}

std::vector<std::wstring> MachineFacts::EnumerateSubkeys(HKEY key) {
  ++m_counters.enumerations;
  return win32::EnumerateSubkeys(key);
}

Measurement SystemMachineFacts::MeasureFreeDiskSpace() {
  std::wstring root;
  win32::UniqueCoTaskString desktop;
  // The token -1 names the Default User profile.
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Desktop, 0, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1)),
                                       desktop.put())) &&
      desktop) {
    root = std::wstring(desktop.get()).substr(0, 3);
  }
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return {false, 0, ::GetLastError()};
  return {true, available.QuadPart, 0};
}

Measurement SystemMachineFacts::MeasureTotalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return {false, 0, ::GetLastError()};
  return {true, status.ullTotalPhys, 0};
}

ProcessorClock SystemMachineFacts::ReadProcessorMHz() {
  return ReadProcessorClock(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
}

bool SystemMachineFacts::TestOsAtLeast(DWORD major, DWORD minor) { return config::IsOsAtLeast(major, minor, 0); }

std::optional<bool> SystemMachineFacts::Query64BitWindows() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) return std::nullopt;
  return wow64 != FALSE;
#endif
}

std::optional<std::vector<std::wstring>> SystemMachineFacts::ListProcesses() {
  win32::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::nullopt;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!::Process32FirstW(snapshot.get(), &entry)) return std::nullopt;
  std::vector<std::wstring> names;
  do {
    names.emplace_back(entry.szExeFile);
  } while (::Process32NextW(snapshot.get(), &entry));
  return names;
}

std::int64_t SystemMachineFacts::ReadClock() { return static_cast<std::int64_t>(std::time(nullptr)); }

ProcessorClock ReadProcessorClock(HKEY root, const std::wstring& subkey) {
  win32::UniqueHkey key;
  if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
    return {ProcessorClock::Status::kOpenFailed, 0};
  }
  DWORD type = 0;
  DWORD mhz = 0;
  DWORD size = sizeof(mhz);
  if (::RegQueryValueExW(key.get(), L"~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&mhz), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(mhz)) {
    return {ProcessorClock::Status::kReadFailed, 0};
  }
  return {ProcessorClock::Status::kOk, mhz};
}

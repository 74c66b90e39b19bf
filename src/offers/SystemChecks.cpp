// The checks that measure the machine: disk, memory, processor, Windows and program versions,
// files, running processes and browsers.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"
#include "config/TextUtil.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"
#include "offers/RegistryPaths.h"
#include "win32/Strings.h"

using Kind = RuleTraceRecord::Kind;

namespace {

// Only local files are looked at. A network path (\\host\share, //host/share) would make the
// elevated wizard contact a host the document names, with the user's credentials; a device
// path (\\.\, \\?\) is no file either. Both count as absent.

std::ptrdiff_t CountDots(std::wstring_view text) { return std::count(text.begin(), text.end(), L'.'); }

// The "ov" codes this wizard knows: 61 is Windows 7 (6.1), 100 is Windows 10.
std::wstring VersionAskedFor(int code) {
  switch (code) {
    case 61:
    case 62:
    case 63:
      return L"6." + std::to_wstring(code - 60) + L" or later";
    case 100:
      return L"10.0 or later";
    default:
      return L"code " + std::to_wstring(code) + L" (unknown)";
  }
}

std::wstring Megabytes(std::uint64_t count) { return std::to_wstring(count) + L" MB"; }

}  // namespace

OfferRules::Objection OfferRules::CheckDiskSpace(const PackagePtr& package) {
  if (package->m_minDiskMB == 0) return {};
  if (!m_freeDiskKnown) {
    const Measurement free = m_facts->FreeDiskSpace();
    if (!free.ok) {
      char reason[64] = {};
      std::snprintf(reason, sizeof(reason), "DISK SPACE CHECK FAILED %lu", static_cast<unsigned long>(free.error));
      return reason;
    }
    m_freeDiskMB = free.bytes >> 20;
    m_freeDiskKnown = true;
  }
  Trace([&] { return RuleTraceRecord{Kind::kDiskSpace, Megabytes(package->m_minDiskMB), Megabytes(m_freeDiskMB)}; });
  if (m_freeDiskMB >= package->m_minDiskMB) return {};
  return "NOT ENOUGH DISK SPACE";
}

OfferRules::Objection OfferRules::CheckMemory(const PackagePtr& package) {
  if (package->m_minRamMB == 0) return {};
  if (!m_ramKnown) {
    const Measurement total = m_facts->TotalMemory();
    if (!total.ok) {
      return "RAM CHECK FAILED " + std::to_string(total.error);
    }
    m_ramMB = total.bytes >> 20;
    m_ramKnown = true;
  }
  Trace([&] { return RuleTraceRecord{Kind::kMemory, Megabytes(package->m_minRamMB), Megabytes(m_ramMB)}; });
  if (m_ramMB >= package->m_minRamMB) return {};
  return "NOT ENOUGH RAM";
}

OfferRules::Objection OfferRules::CheckProcessor(const PackagePtr& package) {
  if (package->m_minCpuMHz == 0) return {};
  if (!m_cpuKnown) {
    const ProcessorClock clock = m_facts->ProcessorMHz();
    if (clock.status == ProcessorClock::Status::kOpenFailed) {
      return "CPU CHECK FAILED: Couldn't open registry";
    }
    if (clock.status == ProcessorClock::Status::kReadFailed) {
      return "CPU CHECK FAILED: Couldn't read value";
    }
    m_cpuMHz = clock.mhz;
    m_cpuKnown = true;
  }
  Trace([&] {
    return RuleTraceRecord{Kind::kProcessor, std::to_wstring(package->m_minCpuMHz) + L" MHz",
                           std::to_wstring(m_cpuMHz) + L" MHz"};
  });
  if (static_cast<std::uint64_t>(m_cpuMHz) >= package->m_minCpuMHz) return {};
  return "NOT ENOUGH CPU";
}

OfferRules::Objection OfferRules::CheckOsVersion(const PackagePtr& package) {
  const int code = package->m_minOsVersion;
  if (code <= 0) return {};
  const auto test = [this, code](DWORD major, DWORD minor) {
    const auto cached = m_osVersionMet.find(code);
    if (cached != m_osVersionMet.end()) return cached->second;
    return m_osVersionMet[code] = m_facts->IsOsAtLeast(major, minor);
  };
  bool met = false;
  switch (code) {
    case 61:
      met = test(6, 1);
      break;
    case 62:
      met = test(6, 2);
      break;
    case 63:
      met = test(6, 3);
      break;
    case 100:
      met = test(10, 0);
      break;
    default:
      break;  // a version this wizard does not know is never met
  }
  Trace([&] { return RuleTraceRecord{Kind::kWindowsVersion, VersionAskedFor(code), met ? L"yes" : L"no"}; });
  if (met) return {};
  return "UNSUPPORTED OS VERSION";
}

OfferRules::Objection OfferRules::CheckProgramVersion(const PackagePtr& package) {
  const std::wstring minimum = win32::Utf8ToWide(package->m_minProgramVersion);
  if (minimum.empty()) return {};
  const std::vector<int> required = config::ParseVersionList(minimum);
  const std::wstring& version = m_config.productVersion;
  Trace([&] { return RuleTraceRecord{Kind::kProgramVersion, minimum, version}; });
  const std::vector<int> current = config::ParseVersionList(version);
  for (std::size_t i = 0; i < std::max(required.size(), current.size()); ++i) {
    const int have = i < current.size() ? current[i] : 0;
    const int need = i < required.size() ? required[i] : 0;
    if (have > need) return {};
    if (have < need) {
      return "UNSUPPORTED PLATFORM VERSION";
    }
  }
  return {};
}

OfferRules::Objection OfferRules::Check64BitOs(const PackagePtr& package) {
  if (!package->m_requires64BitOs) return {};
  const bool is64Bit = Is64BitWindows();
  Trace([&] { return RuleTraceRecord{Kind::kWindows64, {}, is64Bit ? L"yes" : L"no"}; });
  if (is64Bit) return {};
  return "64 BIT OS REQUIRED";
}

bool OfferRules::AnyFileExists(const std::vector<std::wstring>& paths) {
  return std::any_of(paths.begin(), paths.end(), [this](const std::wstring& path) { return FileExists(path); });
}

bool OfferRules::FileExists(const std::wstring& path) {
  const bool exists = m_facts->FileExists(path);
  Trace([&] {
    return RuleTraceRecord{Kind::kFile, path,
                           exists                       ? L"exists"
                           : m_facts->IsLocalPath(path) ? L"absent"
                                                        : L"not looked at (not a local path)"};
  });
  return exists;
}

OfferRules::Objection OfferRules::CheckFiles(const PackagePtr& package) {
  if (!package->m_filesMustBeAbsent.empty() && AnyFileExists(package->m_filesMustBeAbsent)) {
    return "FILE EXISTS";
  }
  if (!package->m_filesOneMustExist.empty() && !AnyFileExists(package->m_filesOneMustExist)) {
    return "NONE OF THE FILES EXISTS";
  }
  return {};
}

OfferRules::Objection OfferRules::CheckRunningApplication(const PackagePtr& package) {
  if (package->m_blockingProcesses.empty()) return {};
  if (!m_processNames) {
    auto names = m_facts->ProcessNames();
    if (!names) {
      Trace([] { return RuleTraceRecord{Kind::kProcess, {}, L"no process list"}; });
      return {};  // no snapshot: nothing to match, and the next offer tries again
    }
    for (std::wstring& name : *names) name = win32::LowerCase(std::move(name));
    m_processNames = std::move(names);
  }
  for (const std::string& blocking : package->m_blockingProcesses) {
    const std::wstring name = win32::LowerCase(win32::Utf8ToWide(blocking));
    const std::ptrdiff_t dots = CountDots(name);
    for (const std::wstring& process : *m_processNames) {
      std::wstring_view base = process;
      // "tool" matches tool.exe, but not tool.helper.exe: only the last extension is cut.
      if (CountDots(process) > dots) base = base.substr(0, base.rfind(L'.'));
      if (base == name) {
        Trace([&] { return RuleTraceRecord{Kind::kProcess, name, L"running as " + process}; });
        return "APPLICATION RUNNING";
      }
    }
    Trace([&] { return RuleTraceRecord{Kind::kProcess, name, L"not running"}; });
  }
  return {};
}

OfferRules::Objection OfferRules::CheckChrome(const PackagePtr& package) {
  if (!package->m_requiresChrome && !package->m_requiresNoChrome) return {};
  const config::PathTokenTable tokens = m_config.GetPathTokens();
  std::vector<std::wstring> candidates;
  for (const wchar_t* path :
       {L"{commonpf}\\Chromium\\Application\\chrome.exe", L"{commonpf}\\Google\\Chrome\\Application\\chrome.exe",
        L"{localappdata}\\Chromium\\Application\\chrome.exe"}) {
    candidates.push_back(config::ExpandPathTokens(path, tokens));
  }
  std::wstring folder;
  if (ReadValueAsText(L"hkey_local_machine", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe",
                      L"Path", folder)) {
    candidates.push_back(folder + L"\\chrome.exe");
  }
  std::wstring beacon;
  if (ReadValueAsText(L"hkey_current_user", L"SOFTWARE\\Google\\Chrome\\BLBeacon", L"Path", beacon)) {
    candidates.push_back(beacon);
  }
  const bool found = AnyFileExists(candidates);
  if (package->m_requiresChrome && !found) {
    return "NO CHROME";
  }
  if (package->m_requiresNoChrome && found) {
    return "HAVE CHROME";
  }
  return {};
}

OfferRules::Objection OfferRules::CheckIeVersion(const PackagePtr& package) {
  if (!package->m_checkIeVersion) return {};
  std::wstring text;
  if (!ReadValueAsText(L"hkey_local_machine", L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version", text)) {
    return {};
  }
  float version = 0;
  try {
    version = std::stof(text);  // the leading number: 9.11.19041.0 gives 9.11
  } catch (const std::logic_error&) {
    return {};  // not a version number: no objection
  }
  if (version * 10.0f >= 90.0f) return {};
  return "OLD IE VERSION";
}

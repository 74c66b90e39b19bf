// The checks that read the registry: keys and values, registered applications, the time since
// an uninstall and the no-show period.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>

#include "config/ConfigurationManager.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"
#include "offers/RegistryError.h"
#include "offers/RegistryPaths.h"
#include "offers/RegistryValues.h"
#include "offers/StrictNumbers.h"
#include "win32/Strings.h"

using Kind = RuleTraceRecord::Kind;

namespace {

constexpr const wchar_t* kAppPathsKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// Installers often register "C:\path with spaces\app.exe" in quotes.
std::wstring Unquoted(std::wstring path) {
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') return path.substr(1, path.size() - 2);
  return path;
}

}  // namespace

OfferRules::Objection OfferRules::CheckRegistry(const PackagePtr& package) {
  if (!package->m_keysMustBeAbsent.empty() && AnyKeyExists(package->m_keysMustBeAbsent)) {
    return "REGISTRY KEY EXISTS";
  }
  if (!package->m_keysOneMustExist.empty() && !AnyKeyExists(package->m_keysOneMustExist)) {
    return "NONE OF THE REGISTRY KEYS EXISTS";
  }
  if (AnyValueExists(package->m_valuesMustBeAbsent)) {
    return "REGISTRY VALUE EXISTS";
  }
  if (AnyValueDataMatches(package->m_valueDataMustNotMatch)) {
    return "REGISTRY VALUE DATA MATCHES";
  }
  return {};
}

// An empty entry ends the scan of keys and values (it expands to nothing).
bool OfferRules::AnyKeyExists(const std::vector<std::wstring>& list) {
  for (const std::wstring& entry : list) {
    const auto paths = ExpandLowerCased(entry);
    if (paths.empty()) return false;
    for (const std::wstring& path : paths) {
      if (KeyExists(path)) return true;
    }
  }
  return false;
}

bool OfferRules::AnyValueExists(const std::vector<std::wstring>& list) {
  for (const std::wstring& entry : list) {
    const auto paths = ExpandLowerCased(entry);
    if (paths.empty()) return false;
    for (const std::wstring& path : paths) {
      const auto [keyPath, name] = win32::SplitAtLastBackslash(path);
      const auto value = ReadValue(keyPath, name);
      if (!value) continue;
      Trace([&] {
        return RuleTraceRecord{Kind::kRegistryValue, path, value->exists ? L"present" : L"absent", ViewOf(keyPath)};
      });
      if (value->exists) return true;
    }
  }
  return false;
}

bool OfferRules::AnyValueDataMatches(const std::vector<std::wstring>& list) {
  for (const std::wstring& entry : list) {
    for (const std::wstring& path : ExpandLowerCased(entry)) {
      const auto [valuePath, expected] = win32::SplitAtLastBackslash(path);
      const auto [keyPath, name] = win32::SplitAtLastBackslash(valuePath);
      const auto value = ReadValue(keyPath, name);
      if (!value) continue;
      const bool matches = win32::DataMatches(*value, expected);
      Trace([&] {
        return RuleTraceRecord{Kind::kRegistryValue, valuePath,
                               value->type == 0 ? L"absent"
                               : matches        ? L"matches " + expected
                                                : L"does not match " + expected,
                               ViewOf(keyPath)};
      });
      if (matches) return true;
    }
  }
  return false;
}

OfferRules::Objection OfferRules::CheckInstalledApps(const PackagePtr& package) {
  for (const std::wstring& name : package->m_requiredApps) {
    if (!IsAppInstalled(name)) {
      return "REGISTRY INCLUDE APP NOT FOUND";
    }
  }
  for (const std::wstring& name : package->m_excludedApps) {
    if (IsAppInstalled(name)) {
      return "REGISTRY EXCLUDE APP FOUND";
    }
  }
  return {};
}

// Names are matched exactly against the lower-cased registrations: "Chrome.exe" is never found.
bool OfferRules::IsAppInstalled(const std::wstring& name) {
  if (!m_appPathsBuilt) BuildAppPathsIndex();
  const auto [first, last] = m_appPaths.equal_range(name);
  bool installed = false;
  for (auto it = first; it != last && !installed; ++it) {
    AppPathEntry& entry = it->second;
    if (!entry.resolved) {
      entry.target = ResolveAppPath(entry, name);
      entry.resolved = true;
    }
    installed = !entry.target.empty() && FileExists(entry.target);
  }
  Trace([&] {
    return RuleTraceRecord{Kind::kInstalledApp, name,
                           installed       ? L"installed"
                           : first == last ? L"not registered"
                                           : L"registered, no program file"};
  });
  return installed;
}

void OfferRules::BuildAppPathsIndex() {
  m_appPaths.clear();
  m_appPathsBuilt = true;
  std::vector<REGSAM> views = {KEY_WOW64_32KEY};
  if (Is64BitWindows()) views.push_back(KEY_WOW64_64KEY);
  for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const REGSAM view : views) {
      HKEY key = nullptr;
      if (m_keys.Open(root, view, kAppPathsKey, key) != ERROR_SUCCESS) continue;
      try {
        for (std::wstring& name : m_facts->EnumerateSubkeys(key)) {
          m_appPaths.emplace(std::move(name), AppPathEntry{root, view, {}, false});
        }
      } catch (const win32::RegistryError&) {
        // This root and view register nothing we can read.
      }
    }
  }
}

std::wstring OfferRules::ResolveAppPath(const AppPathEntry& entry, const std::wstring& name) {
  HKEY key = nullptr;
  if (m_keys.Open(entry.root, entry.view, std::wstring(kAppPathsKey) + L"\\" + name, key) != ERROR_SUCCESS) return {};
  try {
    return Unquoted(win32::ReadStringValue(key, L"", L""));
  } catch (const win32::RegistryError&) {
    return {};
  }
}

OfferRules::Objection OfferRules::CheckUninstallTimestamp(const PackagePtr& package) {
  for (const UninstallTimestampCheck& check : package->m_uninstallChecks) {
    std::wstring text;
    if (!ReadValueAsText(win32::LowerCase(check.root), win32::LowerCase(check.key), win32::LowerCase(check.valueName),
                         text)) {
      continue;
    }
    const auto stamp = offers::ParseDecimal(text);
    if (!stamp) continue;  // not a timestamp: as if nothing was read
    const std::uint64_t seconds = check.inMilliseconds ? *stamp / 1000 : *stamp;
    const std::int64_t now = m_facts->Now();
    Trace([&] {
      const auto since = static_cast<std::int64_t>(std::min<std::uint64_t>(seconds, INT64_MAX));
      const std::int64_t days = (std::max<std::int64_t>(now, 0) - since) / 86400;
      return RuleTraceRecord{
          Kind::kUninstall,
          check.key + L"\\" + check.valueName + L", needs " + std::to_wstring(check.minDays) + L" days",
          std::to_wstring(days) + (days == 1 ? L" day ago" : L" days ago")};
    });
    if (static_cast<std::uint64_t>(std::max<std::int64_t>(now, 0)) < offers::AddDays(seconds, check.minDays)) {
      return "MIN DAYS UNINSTALL CHECKER";
    }
  }
  return {};
}

OfferRules::Objection OfferRules::CheckNoShowPeriod(const PackagePtr& package) {
  if (!package->m_pn.enabled) return {};
  const std::string& marker = package->m_pn.noShowMarker;
  const std::size_t slash = marker.rfind('\\');
  if (slash == std::string::npos) return {};
  std::wstring text;
  if (!ReadValueAsText(L"hkey_local_machine", win32::Utf8ToWide(marker.substr(0, slash)),
                       win32::Utf8ToWide(marker.substr(slash + 1)), text)) {
    return {};
  }
  // Only a date YYYYMMDD counts: any other text would hide the offer for ever or never.
  const auto until = text.size() == 8 ? offers::ParseDecimal(text) : std::nullopt;
  if (!until) return {};
  const std::string today = FormatLocalTimestamp(m_facts->Now(), "%Y%m%d");
  const auto todayNumber = offers::ParseDecimal(std::wstring(today.begin(), today.end()));
  Trace([&] { return RuleTraceRecord{Kind::kNoShow, text, win32::Widen(today, CP_ACP)}; });
  if (!todayNumber || *todayNumber >= *until) return {};
  return "PN NO SHOW";
}

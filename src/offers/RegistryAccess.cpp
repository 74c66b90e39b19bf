// The evaluator's way into the registry: key existence through the subkey listings, keys and
// values through the key cache, each in the view its path asks for.
#include "offers/OfferRules.h"
#include "offers/RegistryError.h"
#include "offers/RegistryPaths.h"
#include "offers/RegistryValues.h"

using Kind = RuleTraceRecord::Kind;

namespace {

// A trailing backslash names the same key as the path without it.
std::wstring WithoutTrailingBackslash(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// An empty piece between backslashes names no key, however lenient the registry may be.
bool HasEmptyComponent(std::wstring_view path) {
  return path.empty() || path.front() == L'\\' || path.back() == L'\\' || path.find(L"\\\\") != path.npos;
}

}  // namespace

std::vector<std::wstring> OfferRules::ExpandLowerCased(const std::wstring& entry) {
  return win32::ExpandRegistryPath(win32::LowerCase(entry), Is64BitWindows());
}

bool OfferRules::KeyExists(const std::wstring& path) {
  const bool found = LookUpKey(path);
  Trace([&] { return RuleTraceRecord{Kind::kRegistryKey, path, found ? L"found" : L"missing", ViewOf(path)}; });
  return found;
}

RuleTraceRecord::View OfferRules::ViewOf(const std::wstring& path) {
  std::wstring work = WithoutTrailingBackslash(path);
  REGSAM view = 0;
  win32::NormalizeWow64Path(work, view, Is64BitWindows());
  return (win32::WithDefaultView(view) & KEY_WOW64_64KEY) != 0 ? RuleTraceRecord::View::k64Bit
                                                               : RuleTraceRecord::View::k32Bit;
}

std::optional<OfferRules::KeyLocation> OfferRules::Locate(const std::wstring& path) {
  std::wstring work = WithoutTrailingBackslash(path);
  if (HasEmptyComponent(work)) return std::nullopt;
  const bool belowSoftware = win32::StartsWithSoftwarePrefix(work);
  REGSAM view = 0;
  if (win32::NormalizeWow64Path(work, view, Is64BitWindows())) return std::nullopt;
  const auto [rootName, subkey] = win32::SplitAtFirstBackslash(work);
  const auto root = win32::FindRootKey(rootName);
  if (!root) return std::nullopt;
  return KeyLocation{*root, win32::WithDefaultView(view) & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), subkey, belowSoftware};
}

bool OfferRules::LookUpKey(const std::wstring& path) {
  const auto key = Locate(path);
  if (!key) return false;
  // "software\vendor[\...]": the listing of software answers for the vendor.
  constexpr std::wstring_view kSoftware = L"software\\";
  if (key->belowSoftware && m_cachesEnabled && key->subkey.starts_with(kSoftware)) {
    const std::size_t end = key->subkey.find(L'\\', kSoftware.size());
    const std::wstring vendor = key->subkey.substr(kSoftware.size(), end - kSoftware.size());
    const auto list = [&]() -> std::optional<std::vector<std::wstring>> {
      HKEY software = nullptr;
      if (m_keys.Open(key->root, key->view, L"software", software) != ERROR_SUCCESS) return std::nullopt;
      try {
        return m_facts->EnumerateSubkeys(software);
      } catch (const win32::RegistryError&) {
        return std::nullopt;  // unreadable: nothing below it is found
      }
    };
    const std::optional<bool> listed = m_subkeyCache.IsListed(key->root, key->view, L"software", vendor, list);
    if (listed == false) return false;
    if (listed && end == std::wstring::npos) return true;
  }
  return m_keys.Exists(key->root, key->view, key->subkey);
}

std::optional<win32::RegistryValue> OfferRules::ReadValue(const std::wstring& keyPath, const std::wstring& name) {
  if (!KeyExists(keyPath)) return std::nullopt;
  const auto key = Locate(keyPath);
  if (!key) return std::nullopt;
  return m_keys.Value(key->root, key->view, key->subkey, name);
}

bool OfferRules::ReadValueAsText(const std::wstring& root, const std::wstring& subkey, const std::wstring& name,
                                 std::wstring& text) {
  // Case-sensitive on purpose: the fixed "SOFTWARE\..." paths of the browser checks read the
  // default view only, as the wizard's own process would.
  std::vector<std::wstring> candidates = {root + L"\\" + subkey};
  if (Is64BitWindows() && subkey.starts_with(L"software")) {
    candidates.push_back(root + L"\\software\\wow6432node" + subkey.substr(8));
  }
  for (const std::wstring& candidate : candidates) {
    const auto value = ReadValue(candidate, name);
    if (!value) continue;
    Trace([&] {
      return RuleTraceRecord{Kind::kRegistryValue, candidate + L"\\" + name,
                             value->text ? *value->text : L"absent, or not text or a number", ViewOf(candidate)};
    });
    if (value->text) {
      text = *value->text;
      return true;
    }
  }
  return false;
}

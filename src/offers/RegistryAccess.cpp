// The evaluator's way into the registry: key existence through the subkey cache, and values
// read in the view a path asks for.
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

// A REG_SZ, REG_DWORD or REG_QWORD value as text; nothing for an absent, unreadable or other value.
std::optional<std::wstring> ValueAsText(HKEY key, const std::wstring& name) {
  try {
    // An absent value has type 0, which reads as nothing.
    switch (win32::GetValueType(key, name)) {
      case REG_SZ:
        return win32::ReadStringValue(key, L"", name);
      case REG_DWORD:
        return std::to_wstring(win32::ReadDwordValue(key, name));
      case REG_QWORD:
        return std::to_wstring(win32::ReadQwordValue(key, name));
      default:
        return std::nullopt;
    }
  } catch (const win32::RegistryError&) {
    return std::nullopt;  // unreadable: the next candidate is tried
  }
}

}  // namespace

LONG OfferRules::OpenKey(HKEY root, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) {
  return m_facts->OpenKey(root, subkey, win32::WithDefaultView(access), key);
}

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

bool OfferRules::LookUpKey(const std::wstring& path) {
  std::wstring work = WithoutTrailingBackslash(path);
  if (HasEmptyComponent(work)) return false;
  if (win32::StartsWithSoftwarePrefix(work)) return SoftwareKeyExists(std::move(work));
  const auto [rootName, subkey] = win32::SplitAtFirstBackslash(work);
  const auto root = win32::FindRootKey(rootName);
  if (!root) return false;
  win32::UniqueHkey key;
  return OpenKey(*root, subkey, KEY_READ, key) == ERROR_SUCCESS;
}

bool OfferRules::SoftwareKeyExists(std::wstring path) {
  REGSAM view = 0;
  if (win32::NormalizeWow64Path(path, view, Is64BitWindows())) return false;
  const auto [rootName, belowRoot] = win32::SplitAtFirstBackslash(path);
  const std::wstring top = belowRoot.substr(0, belowRoot.find(L'\\'));
  const HKEY root = win32::kRootKeys.at(rootName);  // one of the software prefixes' roots
  const std::size_t prefixLength = rootName.size() + top.size() + 2;
  win32::UniqueHkey topKey;
  if (path.size() < prefixLength) return OpenKey(root, top, KEY_READ | view, topKey) == ERROR_SUCCESS;

  const std::wstring rest = path.substr(prefixLength);
  if (m_subkeyCacheEnabled) {
    const auto list = [&] {
      win32::UniqueHkey key;
      const LONG result = OpenKey(root, top, KEY_READ | view, key);
      if (result != ERROR_SUCCESS) throw win32::RegistryError("Cannot open registry key: RegOpenKeyEx failed.", result);
      return m_facts->EnumerateSubkeys(key.get());
    };
    try {
      if (!m_subkeyCache.Contains(root, view, top, rest.substr(0, rest.find(L'\\')), list)) return false;
    } catch (const win32::RegistryError&) {
      return false;
    }
  }
  win32::UniqueHkey key;
  return OpenKey(root, top, KEY_READ | view, topKey) == ERROR_SUCCESS &&
         m_facts->OpenKey(topKey.get(), rest, KEY_READ | view, key) == ERROR_SUCCESS;
}

bool OfferRules::OpenExistingKey(std::wstring path, win32::UniqueHkey& key) {
  if (!KeyExists(path)) return false;
  path = WithoutTrailingBackslash(std::move(path));
  REGSAM view = KEY_READ;
  if (win32::NormalizeWow64Path(path, view, Is64BitWindows())) return false;
  const auto [rootName, subkey] = win32::SplitAtFirstBackslash(path);
  const auto root = win32::FindRootKey(rootName);
  return root && OpenKey(*root, subkey, view, key) == ERROR_SUCCESS;
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
    win32::UniqueHkey key;
    if (!OpenExistingKey(candidate, key)) continue;
    std::optional<std::wstring> value = ValueAsText(key.get(), name);
    Trace([&] {
      return RuleTraceRecord{Kind::kRegistryValue, candidate + L"\\" + name,
                             value ? *value : L"absent, or not text or a number", ViewOf(candidate)};
    });
    if (value) {
      text = std::move(*value);
      return true;
    }
  }
  return false;
}

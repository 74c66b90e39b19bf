#include "offers/RegistryPaths.h"

#include <cwctype>

#include "config/TextUtil.h"

namespace win32 {
namespace {

constexpr std::wstring_view kWow6432Node = L"wow6432node";

// "hklm" names a root only when a backslash follows it.
bool StartsWithRoot(std::wstring_view path, std::wstring_view root) {
  return path.size() > root.size() && path.starts_with(root) && path[root.size()] == L'\\';
}

}  // namespace

std::vector<std::wstring> ExpandRegistryPath(const std::wstring& path, bool wow64) {
  if (path.empty()) return {};
  if (path.starts_with(L"hk")) {
    if (path.starts_with(L"hkey")) {
      for (const std::wstring_view root : kRootNames) {
        if (StartsWithRoot(path, root)) return {path};
      }
    }
    for (const auto& [alias, full] : kRootAliases) {
      if (StartsWithRoot(path, alias)) return {full + path.substr(alias.size())};
    }
  }
  std::vector<std::wstring> paths;
  for (const std::wstring_view prefix : kSoftwarePrefixes) paths.push_back(std::wstring(prefix) + path);
  if (wow64) {
    for (const std::wstring_view prefix : kWow6432Prefixes) paths.push_back(std::wstring(prefix) + path);
  }
  return paths;
}

bool StartsWithSoftwarePrefix(std::wstring_view path) {
  for (const std::wstring_view prefix : kSoftwarePrefixes) {
    if (path.starts_with(prefix)) return true;
  }
  return false;
}

bool NormalizeWow64Path(std::wstring& path, REGSAM& view, bool wow64) {
  if (!StartsWithSoftwarePrefix(path)) return false;
  const auto parts = config::SplitText(path, L"\\");
  // A path with nothing after "software\" is the software key itself.
  if (parts.size() < 3 || parts[2] != kWow6432Node) {
    view |= wow64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    return false;
  }
  if (!wow64) return true;
  const std::size_t at = parts[0].size() + parts[1].size() + 2;
  if (at + kWow6432Node.size() < path.size()) {
    path.erase(at, kWow6432Node.size() + 1);  // "wow6432node\"
  } else {
    path.erase(at - 1);  // "\wow6432node" at the end: the 32-bit view's software key
  }
  view |= KEY_WOW64_32KEY;
  return false;
}

std::optional<HKEY> FindRootKey(const std::wstring& name) {
  const auto found = kRootKeys.find(name);
  if (found == kRootKeys.end()) return std::nullopt;
  return found->second;
}

REGSAM WithDefaultView(REGSAM access) {
  return (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) != 0 ? access : (access | KEY_WOW64_32KEY);
}

std::pair<std::wstring, std::wstring> SplitAtFirstBackslash(const std::wstring& text) {
  const std::size_t at = text.find(L'\\');
  if (at == std::wstring::npos) return {text, text};
  return {text.substr(0, at), text.substr(at + 1)};
}

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& text) {
  const std::size_t at = text.rfind(L'\\');
  if (at == std::wstring::npos) return {text, text};
  return {text.substr(0, at), text.substr(at + 1)};
}

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring FoldCase(std::wstring name) {
  for (wchar_t& c : name) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return name;
}

}  // namespace win32

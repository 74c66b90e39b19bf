#include "config/PathTokens.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "config/Identity.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace config {
namespace {

void Insert(PathTokenTable& table, std::wstring name, std::wstring value) {
  const bool exists =
      std::any_of(table.begin(), table.end(), [&name](const auto& entry) { return entry.first == name; });
  if (!exists) table.emplace_back(std::move(name), std::move(value));
}

}  // namespace

std::wstring GetKnownFolder(REFKNOWNFOLDERID folder) {
  win32::UniqueCoTaskString path;
  if (FAILED(::SHGetKnownFolderPath(folder, 0, nullptr, path.put())) || !path) return {};
  return path.get();
}

PathTokenTable BuildPathTokenTable() {
  PathTokenTable table;
  const bool wow64 = IsWow64();
  Insert(table, L"commonpf", wow64 ? L"{commonpf64}" : L"{commonpf32}");
  Insert(table, L"localappdata", GetKnownFolder(FOLDERID_LocalAppData));
  Insert(table, L"commonappdata", GetKnownFolder(FOLDERID_RoamingAppData));
  Insert(table, L"programdata", GetKnownFolder(FOLDERID_ProgramData));
  Insert(table, L"commonpf32", GetKnownFolder(FOLDERID_ProgramFilesX86));
  if (IsWow64()) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramW6432", buffer, MAX_PATH);
    if (length >= 1 && length < MAX_PATH) Insert(table, L"commonpf64", std::wstring(buffer, length));
  }
  return table;
}

std::wstring ExpandPathTokens(std::wstring path, const PathTokenTable& table) {
  for (const auto& [name, value] : table) {
    win32::ReplaceAll(path, L"{" + name + L"}", value);
  }
  return path;
}

}  // namespace config

#pragma once
// The loose, lower-case key paths of offer rules ("hklm\\software\\vendor", "vendor\\tool")
// turned into full key paths, and the registry view each one is read in.
#include <windows.h>

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace win32 {

inline constexpr std::array<std::wstring_view, 5> kRootNames = {
    L"hkey_local_machine", L"hkey_current_user", L"hkey_classes_root", L"hkey_users", L"hkey_current_config"};

inline const std::map<std::wstring, std::wstring> kRootAliases = {{L"hkcc", L"hkey_current_config"},
                                                                  {L"hkcr", L"hkey_classes_root"},
                                                                  {L"hkcu", L"hkey_current_user"},
                                                                  {L"hklm", L"hkey_local_machine"},
                                                                  {L"hku", L"hkey_users"}};

inline const std::unordered_map<std::wstring, HKEY> kRootKeys = {{L"hkey_local_machine", HKEY_LOCAL_MACHINE},
                                                                 {L"hkey_current_user", HKEY_CURRENT_USER},
                                                                 {L"hkey_classes_root", HKEY_CLASSES_ROOT},
                                                                 {L"hkey_users", HKEY_USERS},
                                                                 {L"hkey_current_config", HKEY_CURRENT_CONFIG}};

inline constexpr std::array<std::wstring_view, 2> kSoftwarePrefixes = {L"hkey_local_machine\\software\\",
                                                                       L"hkey_current_user\\software\\"};

inline constexpr std::array<std::wstring_view, 2> kWow6432Prefixes = {L"hkey_local_machine\\software\\wow6432node\\",
                                                                      L"hkey_current_user\\software\\wow6432node\\"};

// Full key paths to try for a rule's path; relative paths are looked for below both software
// roots, and on 64-bit Windows below their wow6432node keys as well.
std::vector<std::wstring> ExpandRegistryPath(const std::wstring& path, bool wow64);

// Chooses the view of a path below a software root and drops its wow6432node component.
// Returns true when the key cannot exist here (wow6432node on 32-bit Windows).
bool NormalizeWow64Path(std::wstring& path, REGSAM& view, bool wow64);

bool StartsWithSoftwarePrefix(std::wstring_view path);
std::optional<HKEY> FindRootKey(const std::wstring& name);

// Access that names no view gets the 32-bit one: the view a 32-bit wizard reads by default on
// 64-bit Windows, named so that a 64-bit build reads the same keys (ignored on 32-bit Windows).
REGSAM WithDefaultView(REGSAM access);

// Left and right of the first (last) backslash; without one, both are the whole text.
std::pair<std::wstring, std::wstring> SplitAtFirstBackslash(const std::wstring& text);
std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& text);

// towlower, character by character.
std::wstring LowerCase(std::wstring text);
// A-Z to a-z, nothing else: two key names that fold alike are one key to the registry on any
// Windows version (its own table folds more, and differs between versions).
std::wstring FoldCase(std::wstring name);

}  // namespace win32

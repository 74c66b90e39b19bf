#pragma once
// Reading what an open registry key holds. Failures raise win32::RegistryError where noted;
// a missing value is an ordinary answer.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace win32 {

// Lower-cased names of the key's direct subkeys; raises RegistryError, never a partial list.
std::vector<std::wstring> EnumerateSubkeys(HKEY key);

// A REG_SZ (or expanded REG_EXPAND_SZ) value without its trailing NULs; raises RegistryError.
std::wstring ReadStringValue(HKEY key, const std::wstring& subkey, const std::wstring& name);

DWORD ReadDwordValue(HKEY key, const std::wstring& name);          // raises RegistryError
std::uint64_t ReadQwordValue(HKEY key, const std::wstring& name);  // raises RegistryError

bool ValueExists(HKEY key, const std::wstring& name);
// The value's registry type, 0 when it cannot be read.
DWORD GetValueType(HKEY key, const std::wstring& name);

// REG_SZ compares lower-cased text; REG_DWORD and REG_QWORD compare numbers, where an expected
// text that is not a plain decimal number matches nothing. Other types never match.
bool ValueDataMatches(DWORD type, HKEY key, const std::wstring& name, const std::wstring& expected);

}  // namespace win32

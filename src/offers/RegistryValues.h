#pragma once
// Reading what an open registry key holds. Failures raise win32::RegistryError where noted;
// a missing value is an ordinary answer.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win32 {

// Lower-cased names of the key's direct subkeys; raises RegistryError, never a partial list.
std::vector<std::wstring> EnumerateSubkeys(HKEY key);

// A REG_SZ (or expanded REG_EXPAND_SZ) value without its trailing NULs; raises RegistryError.
std::wstring ReadStringValue(HKEY key, const std::wstring& subkey, const std::wstring& name);

DWORD ReadDwordValue(HKEY key, const std::wstring& name);          // raises RegistryError
std::uint64_t ReadQwordValue(HKEY key, const std::wstring& name);  // raises RegistryError

// What the checks ask of one value: whether it exists, its type (0 when it cannot be read,
// as for an absent value) and the data of a REG_SZ, REG_DWORD or REG_QWORD as text, a number
// in decimal (nothing for other types or data that cannot be read).
struct RegistryValue {
  bool exists = false;
  DWORD type = 0;
  std::optional<std::wstring> text;
};
RegistryValue ReadValue(HKEY key, const std::wstring& name);

// REG_SZ compares lower-cased text; REG_DWORD and REG_QWORD compare numbers, where an expected
// text that is not a plain decimal number matches nothing. Other types never match.
bool DataMatches(const RegistryValue& value, const std::wstring& expected);

}  // namespace win32

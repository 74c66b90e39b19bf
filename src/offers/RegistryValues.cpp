#include "offers/RegistryValues.h"

#include <algorithm>

#include "offers/RegistryError.h"
#include "offers/RegistryPaths.h"
#include "offers/StrictNumbers.h"

namespace win32 {

std::vector<std::wstring> EnumerateSubkeys(HKEY key) {
  DWORD count = 0;
  DWORD longest = 0;
  LONG result = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
  if (result != ERROR_SUCCESS) {
    throw RegistryError("RegQueryInfoKey failed while preparing for subkey enumeration.", result);
  }
  std::vector<wchar_t> buffer(static_cast<std::size_t>(longest) + 1);
  std::vector<std::wstring> names;
  names.reserve(count);
  for (DWORD index = 0; index < count; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    result = ::RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) throw RegistryError("Cannot enumerate subkeys: RegEnumKeyEx failed.", result);
    names.push_back(LowerCase(std::wstring(buffer.data(), length)));
  }
  return names;
}

std::wstring ReadStringValue(HKEY key, const std::wstring& subkey, const std::wstring& name) {
  const wchar_t* sub = subkey.empty() ? nullptr : subkey.c_str();
  DWORD size = 0;
  LONG result = ::RegGetValueW(key, sub, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
  if (result != ERROR_SUCCESS) throw RegistryError("Cannot read string from registry", result);
  // Stored sizes may be 0 or odd, and the call may add a terminator the value lacks.
  std::vector<wchar_t> buffer((static_cast<std::size_t>(size) + 1) / 2 + 1);
  DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  result = ::RegGetValueW(key, sub, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &read);
  if (result != ERROR_SUCCESS) throw RegistryError("Cannot read string from registry", result);
  // An odd last byte is kept as a character of its own (the buffer was zeroed).
  std::size_t length = std::min<std::size_t>((read + 1) / sizeof(wchar_t), buffer.size());
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  return std::wstring(buffer.data(), length);
}

DWORD ReadDwordValue(HKEY key, const std::wstring& name) {
  DWORD data = 0;
  DWORD size = sizeof(data);
  const LONG result = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size);
  if (result != ERROR_SUCCESS) throw RegistryError("Cannot read DWORD from registry.", result);
  return data;
}

std::uint64_t ReadQwordValue(HKEY key, const std::wstring& name) {
  std::uint64_t data = 0;
  DWORD size = sizeof(data);
  const LONG result = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_QWORD, nullptr, &data, &size);
  if (result != ERROR_SUCCESS) throw RegistryError("Cannot read QWORD from registry.", result);
  return data;
}

RegistryValue ReadValue(HKEY key, const std::wstring& name) {
  RegistryValue value;
  value.exists = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, nullptr) != ERROR_SUCCESS) value.type = 0;
  try {
    switch (value.type) {
      case REG_SZ:
        value.text = ReadStringValue(key, L"", name);
        break;
      case REG_DWORD:
        value.text = std::to_wstring(ReadDwordValue(key, name));
        break;
      case REG_QWORD:
        value.text = std::to_wstring(ReadQwordValue(key, name));
        break;
      default:
        break;
    }
  } catch (const RegistryError&) {
    // unreadable data: no text
  }
  return value;
}

bool DataMatches(const RegistryValue& value, const std::wstring& expected) {
  if (!value.text) return false;
  switch (value.type) {
    case REG_SZ:
      return LowerCase(*value.text) == expected;
    case REG_DWORD:
    case REG_QWORD: {
      // Both texts in canonical decimal: equal texts are equal numbers.
      const auto number = offers::ParseDecimal(expected);
      return number && *value.text == std::to_wstring(*number);
    }
    default:
      return false;
  }
}

}  // namespace win32

#include "config/Identity.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "config/OsVersion.h"
#include "win32/UniqueResource.h"

namespace config {

std::string ReadMachineGuid() {
  win32::UniqueHkey key;
  // The 64-bit view: a 32-bit process would otherwise read the redirected WOW64 key.
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY,
                      key.put()) != ERROR_SUCCESS) {
    return {};
  }
  char buffer[255] = {};
  DWORD size = sizeof(buffer);
  if (::RegQueryValueExA(key.get(), "MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  const std::size_t length = ::strnlen(buffer, size < sizeof(buffer) ? size : sizeof(buffer));
  return std::string(buffer, length);
}

std::string GetFileVersionText() {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
  if (info == nullptr) return {};
  const DWORD size = ::SizeofResource(module, info);
  HGLOBAL loaded = ::LoadResource(module, info);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) return {};
  // VerQueryValueW may write into the block, so it works on a private copy.
  win32::UniqueHlocal copy(::LocalAlloc(LMEM_FIXED, size));
  if (!copy) return {};
  std::memcpy(copy.get(), data, size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!::VerQueryValueW(copy.get(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
      fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string GetOsVersionText() {
  const auto version = QueryOsVersion();
  if (!version) return {};
  return std::to_string(version->major) + "." + std::to_string(version->minor) + "." + std::to_string(version->build);
}

bool IsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring CampaignCodeFromPath(std::wstring_view path) {
  const auto underscore = path.rfind(L'_');
  if (underscore == std::wstring_view::npos) return {};
  std::wstring_view code = path.substr(underscore + 1);
  const auto dot = code.rfind(L'.');
  if (dot != std::wstring_view::npos) code = code.substr(0, dot);
  if (code.size() != 7 || code.find(L'-') == std::wstring_view::npos) return {};
  return std::wstring(code);
}

std::wstring GetCampaignCode() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return CampaignCodeFromPath(std::wstring_view(path, length));
}

std::string NowMillisText() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const long long ticks =
      static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  constexpr long long kEpochTicks = 116444736000000000LL;  // 1601 -> 1970 in 100 ns units
  return std::to_string((ticks - kEpochTicks) / 10000);
}

}  // namespace config

#include "config/OsVersion.h"

namespace config {

std::optional<OsVersion> QueryOsVersion() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return std::nullopt;
  auto rtlGetVersion =
      reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  if (rtlGetVersion == nullptr) return std::nullopt;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);  // 284
  if (rtlGetVersion(&info) != 0) return std::nullopt;
  return OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

bool IsOsAtLeast(DWORD major, DWORD minor, WORD servicePackMajor) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = servicePackMajor;
  ULONGLONG mask = 0;
  mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return ::VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

}  // namespace config

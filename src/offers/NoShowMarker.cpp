#include "offers/NoShowMarker.h"

#include <exception>
#include <string_view>

#include "config/ConfigurationManager.h"
#include "win32/DebugLog.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

DWORD NoShowMarkerDate(const FILETIME& now) {
  const long long ticks =
      static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  constexpr long long kEpochTicks = 116444736000000000LL;
  constexpr long long kTicksPerSecond = 10000000LL;
  const long long later = ticks + 180LL * 86400LL * kTicksPerSecond;
  return static_cast<DWORD>(std::stoll(FormatLocalTimestamp((later - kEpochTicks) / kTicksPerSecond, "%Y%m%d")));
}

bool WriteNoShowMarker(const std::string& marker) {
  try {
    const auto slash = marker.rfind('\\');
    if (marker.empty() || slash == std::string::npos) return false;
    const std::wstring subkey = win32::Utf8ToWide(marker.substr(0, slash));
    const std::wstring valueName = win32::Utf8ToWide(marker.substr(slash + 1));
    if (subkey.empty()) return false;
    // The elevated wizard writes where the document says: only below the software key, never
    // into the system's own settings.
    constexpr std::wstring_view kSoftware = L"SOFTWARE\\";
    if (subkey.size() <= kSoftware.size() ||
        ::CompareStringOrdinal(subkey.c_str(), static_cast<int>(kSoftware.size()), kSoftware.data(),
                               static_cast<int>(kSoftware.size()), TRUE) != CSTR_EQUAL) {
      win32::DebugLine("no-show marker refused, not below HKLM\\SOFTWARE: " + marker);
      return false;
    }

    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const DWORD date = NoShowMarkerDate(now);

    win32::UniqueHkey key;
    // The 32-bit view, named explicitly so a 64-bit build writes where the 32-bit wizard does
    // and where the no-show rule reads it.
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    return ::RegSetValueExW(key.get(), valueName.empty() ? nullptr : valueName.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&date), sizeof(date)) == ERROR_SUCCESS;
  } catch (const std::exception&) {
    return false;
  }
}

#include "offers/Package.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <thread>
#include <type_traits>

#include "config/ApiManager.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "config/DebugLog.h"
#include "config/Identity.h"
#include "config/OsVersion.h"
#include "config/TextUtil.h"
#include "download/DownloadManager.h"
#include "offers/PackageParameters.h"
#include "ui/ImageDecoder.h"
#include "ui/Strings.h"
#include "ui/UniqueResource.h"

using nlohmann::json;

namespace {

// Longer offer ids fail the package as a wrong value: ids are encoded in base 62, which takes
// time quadratic in their length, and real ones are short.
constexpr std::size_t kMaxOfferIdBytes = 256;

std::string RequiredString(const json& object, const char* key) { return object.at(key).get<std::string>(); }

// A number of the document brought into the field's range: out of range saturates instead of
// wrapping (or, from a floating-point value, being undefined), and a fraction is cut.
template <typename T>
T Number(const json& value) {
  if (!value.is_number()) return value.get<T>();  // raises the library's type error
  constexpr T kLowest = std::numeric_limits<T>::lowest();
  constexpr T kHighest = std::numeric_limits<T>::max();
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (std::isnan(number)) return 0;
    if (number <= static_cast<double>(kLowest)) return kLowest;
    if (number >= static_cast<double>(kHighest)) return kHighest;
    return static_cast<T>(number);
  }
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    return number > static_cast<std::uint64_t>(kHighest) ? kHighest : static_cast<T>(number);
  }
  const auto number = value.get<std::int64_t>();
  if (number < 0 && std::is_unsigned_v<T>) return 0;
  if (std::is_signed_v<T> && number < static_cast<std::int64_t>(kLowest)) return kLowest;
  if (number > 0 && static_cast<std::uint64_t>(number) > static_cast<std::uint64_t>(kHighest)) return kHighest;
  return static_cast<T>(number);
}

template <typename T>
void ReadOptional(const json& object, const char* key, T& target) {
  const auto found = object.find(key);
  if (found == object.end()) return;
  if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) {
    target = Number<T>(*found);
  } else {
    target = found->get<T>();
  }
}

std::vector<std::wstring> ReadWideList(const json& object, const char* key) {
  std::vector<std::wstring> result;
  const auto found = object.find(key);
  if (found == object.end()) return result;
  for (const auto& item : found->get<std::vector<std::string>>()) result.push_back(ui::Utf8ToWide(item));
  return result;
}

std::string OsMajorMinor() {
  const auto version = config::QueryOsVersion();
  if (!version) return {};
  return std::to_string(version->major) + "." + std::to_string(version->minor);
}

// The notification block's parameter for this Windows version, from {"6.1": ..., "default": ...}.
std::string SelectVersionParameter(const json& ps) {
  const auto found = ps.find("pnrp");
  if (found == ps.end() || !found->is_object()) return {};
  std::string value;
  ReadOptional(*found, "default", value);
  ReadOptional(*found, OsMajorMinor().c_str(), value);
  return value;
}

// Events of every package still on their way. Never destroyed: an event thread may end after
// the dialog and the process's static objects are gone.
struct EventsInFlight {
  std::mutex mutex;
  std::condition_variable idle;
  int count = 0;

  static EventsInFlight& Get() {
    static auto* const all = new EventsInFlight;
    return *all;
  }
  void Add() {
    std::lock_guard lock(mutex);
    ++count;
  }
  void Remove() {
    std::lock_guard lock(mutex);
    if (--count == 0) idle.notify_all();
  }
};

}  // namespace

Package::Package(const SignedRequest& request, const json& offer, bool isMain, const std::string& trackingCode,
                 int index)
    : m_request(request), m_isMainProduct(isMain), m_trackingCode(trackingCode), m_index(index) {
  auto config = ConfigurationManager::GetInstance();
  AddConfigurationParameters(m_parameters, *config);

  const json& ad = offer.at("ad");
  m_adToken = RequiredString(ad, "f");
  m_offerId = RequiredString(ad, "o");
  if (m_offerId.size() > kMaxOfferIdBytes) {
    throw json::type_error::create(302, "offer id longer than " + std::to_string(kMaxOfferIdBytes) + " bytes",
                                   &ad.at("o"));
  }
  m_parameters.Add("pxl", PixelValue(config->GetMachineId(), m_offerId, config->GetRunStamp()));
  m_parameters.Add("of", m_adToken);

  const json& ps = offer.at("ps");
  m_imagePath = ExpandPlaceholders(RequiredString(ps, "i"));
  m_displayName = ExpandPlaceholders(RequiredString(ps, "dn"));
  m_downloadUrl = ExpandPlaceholders(RequiredString(ps, "u"));

  ReadNotificationBlock(ps);

  ReadOptional(ps, "p", m_installerArgs);
  ReadOptional(ps, "cp", m_privacyUrl);
  ReadOptional(ps, "ctu", m_termsUrl);
  ReadOptional(ps, "sha256", m_sha256);
  m_sha256 = config::LowerAscii(m_sha256);
  m_installerArgs = ExpandPlaceholders(m_installerArgs);
  m_privacyUrl = ExpandPlaceholders(m_privacyUrl);
  m_termsUrl = ExpandPlaceholders(m_termsUrl);

  int vertical = 0;
  ReadOptional(ps, "v", vertical);
  m_vertical = vertical;
  ReadOptional(ps, "exc", m_exclusive);
  if (ps.contains("c")) m_trackingCode = ExpandPlaceholders(RequiredString(ps, "c"));

  ReadEligibility(ps);
  BuildEventTemplate();
}

Package::Package(const SignedRequest& request, bool isMain, const std::wstring& offerId, const std::wstring& adToken,
                 const std::wstring& displayName, const std::wstring& trackingCode, int index)
    : m_request(request),
      m_isMainProduct(isMain),
      m_displayName(ui::WideToUtf8(displayName)),
      m_offerId(ui::WideToUtf8(offerId)),
      m_adToken(ui::WideToUtf8(adToken)),
      m_trackingCode(ui::WideToUtf8(trackingCode)),
      m_index(index) {
  BuildEventTemplate();
}

void Package::ReadNotificationBlock(const json& ps) {
  ReadOptional(ps, "pn", m_pn.enabled);
  if (!m_pn.enabled) return;
  ReadOptional(ps, "pnau", m_pn.apiUrl);
  ReadOptional(ps, "pnak", m_pn.apiKey);
  ReadOptional(ps, "pnr", m_pn.noShowMarker);
  m_pn.noShowMarker = ExpandPlaceholders(m_pn.noShowMarker);
  ReadOptional(ps, "pnop", m_pn.pnop);
  ReadOptional(ps, "pnsi", m_pn.pnsi);
  ReadOptional(ps, "la", m_pn.la);
  m_parameters.Add("pnrparam", SelectVersionParameter(ps));
  ReadOptional(ps, "sp", m_pn.stubParams);
  m_pn.stubParams = ExpandPlaceholders(m_pn.stubParams);

  auto config = ConfigurationManager::GetInstance();
  m_parameters.Add("pnstubparams", m_pn.stubParams);
  m_parameters.Add("pnapiurl", m_pn.apiUrl);
  m_parameters.Add("pnapikey", m_pn.apiKey);
  m_parameters.Add("pnop", m_pn.pnop);
  m_parameters.Add("account", ui::WideToUtf8(config->account));
  m_parameters.Add("installer", ui::WideToUtf8(config->installerName));
  m_parameters.Add("pnsid", config::NowMillisText());

  const auto flow = ps.find("cfs");
  if (flow == ps.end()) return;
  ReadOptional(*flow, "mb", m_flow.maxBefore);
  ReadOptional(*flow, "ab", m_flow.allowedBefore);
  ReadOptional(*flow, "ma", m_flow.maxAfter);
  ReadOptional(*flow, "aa", m_flow.allowedAfter);
  ReadOptional(*flow, "mo", m_flow.maxOffersInFlow);
  ReadOptional(*flow, "saad", m_flow.skipAllAfterDecline);
  ReadOptional(*flow, "sied", m_flow.skipIfEarlierDeclined);
}

void Package::ReadEligibility(const json& ps) {
  ReadOptional(ps, "disk", m_minDiskMB);
  ReadOptional(ps, "ram", m_minRamMB);
  ReadOptional(ps, "cpu", m_minCpuMHz);
  ReadOptional(ps, "ov", m_minOsVersion);
  ReadOptional(ps, "pv", m_minProgramVersion);
  ReadOptional(ps, "win64", m_requires64BitOs);

  int preset = 0;
  ReadOptional(ps, "x", preset);
  switch (preset) {
    case 1:
      m_minDiskMB = 2500;
      m_minRamMB = 250;
      break;
    case 2:
      m_requiresChrome = true;
      m_checkIeVersion = true;
      break;
    case 3:
      m_minDiskMB = 512;
      m_minRamMB = 1536;
      m_minCpuMHz = 1500;
      break;
    case 10:
      m_requires64BitOs = true;
      break;
    case 12:
      m_requiresChrome = true;
      break;
    case 13:
      m_requiresNoChrome = true;
      break;
    default:
      break;
  }

  const auto tokens = ConfigurationManager::GetInstance()->GetPathTokens();
  m_filesMustBeAbsent = ReadWideList(ps, "fe");
  m_filesOneMustExist = ReadWideList(ps, "ife");
  for (auto& path : m_filesMustBeAbsent) path = config::ExpandPathTokens(path, tokens);
  for (auto& path : m_filesOneMustExist) path = config::ExpandPathTokens(path, tokens);

  ReadOptional(ps, "a", m_blockingProcesses);
  m_keysMustBeAbsent = ReadWideList(ps, "r");
  m_keysOneMustExist = ReadWideList(ps, "ir");
  m_valuesMustBeAbsent = ReadWideList(ps, "rvn");
  m_valueDataMustNotMatch = ReadWideList(ps, "rvd");
  const auto checks = ps.find("cmdu");
  if (checks != ps.end()) {
    // By reference: copying the items would recurse once per nesting level of a hostile document.
    for (const json& item : checks->get_ref<const json::array_t&>()) {
      UninstallTimestampCheck check;
      check.root = ui::Utf8ToWide(RequiredString(item, "utr"));
      check.key = ui::Utf8ToWide(RequiredString(item, "utk"));
      check.valueName = ui::Utf8ToWide(RequiredString(item, "utvn"));
      check.valueType = ui::Utf8ToWide(RequiredString(item, "utvt"));
      check.minDays = Number<int>(item.at("umd"));
      ReadOptional(item, "utms", check.inMilliseconds);
      m_uninstallChecks.push_back(std::move(check));
    }
  }
  m_excludedApps = ReadWideList(ps, "eapp");
  m_requiredApps = ReadWideList(ps, "iapp");
}

void Package::Reinitialize(const SignedRequest& request, const std::wstring& offerId, const std::wstring& adToken,
                           const std::wstring& displayName, const std::wstring& trackingCode) {
  m_request = request;
  m_isMainProduct = true;
  m_offerId = ui::WideToUtf8(offerId);
  m_adToken = ui::WideToUtf8(adToken);
  m_displayName = ui::WideToUtf8(displayName);
  m_trackingCode = ui::WideToUtf8(trackingCode);
  m_index = 0;
  BuildEventTemplate();
}

void Package::BuildEventTemplate() {
  json eventTemplate = m_request.payload;
  if (m_isMainProduct) {
    eventTemplate["5"] = m_request.payload.contains("22") ? m_request.payload["22"] : json("");
    eventTemplate["10"] = 1;
    eventTemplate["18"] = "";
  } else {
    eventTemplate["5"] = m_offerId;
    eventTemplate["10"] = 2;
    eventTemplate["16"] = m_trackingCode;
    eventTemplate["17"] = std::to_string(m_index + 1);
    eventTemplate["18"] = m_adToken;
  }
  m_eventTemplate = std::move(eventTemplate);
}

void Package::SendEvent(int id, const json& extra) {
  if (m_events->m_eventsClosed) return;
  // The payload is fixed now, on the caller's thread; the event thread never reads the package.
  json payload = m_eventTemplate;
  payload["6"] = std::to_string(id);
  if (extra.is_object()) {
    for (const auto& [key, value] : extra.items()) payload[key] = value;
  }
  {
    std::lock_guard lock(m_events->m_mutex);
    ++m_events->m_pendingEvents;
  }
  EventsInFlight::Get().Add();
  try {
    std::thread(&Package::RunEvent, m_events, id, std::move(payload), m_request.headers,
                ConfigurationManager::GetInstance()->eventsUrl)
        .detach();
  } catch (const std::exception&) {
    // No thread: the event is dropped like any other failure.
    {
      std::lock_guard lock(m_events->m_mutex);
      if (--m_events->m_pendingEvents == 0) m_events->m_eventsIdle.notify_all();
    }
    EventsInFlight::Get().Remove();
  }
}

void Package::RunEvent(std::shared_ptr<EventState> state, int id, json payload, HeaderList headers,
                       std::wstring url) noexcept {
  try {
    const std::string body = json{{"data", payload.dump()}, {"table", "zb_analytics"}}.dump();
    const DWORD pause = config::GetBuildSettings().eventRetryPauseMs;
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::string response;
      DWORD status = 0;
      if (PostJson(url, body, headers, response, status, kMaxEventResponseBytes) && status >= 200 && status <= 399) {
        state->m_eventsClosed =
            std::find(kTerminalEventIds.begin(), kTerminalEventIds.end(), id) != kTerminalEventIds.end();
        break;
      }
      ::Sleep(pause);
    }
  } catch (...) {
    // An event that cannot be built or sent is dropped.
  }
  {
    std::lock_guard lock(state->m_mutex);
    if (--state->m_pendingEvents == 0) state->m_eventsIdle.notify_all();
  }
  EventsInFlight::Get().Remove();
}

void Package::WaitForEvents() {
  std::unique_lock lock(m_events->m_mutex);
  m_events->m_eventsIdle.wait(lock, [this] { return m_events->m_pendingEvents == 0; });
}

bool Package::WaitForEventsUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_events->m_mutex);
  return m_events->m_eventsIdle.wait_until(lock, deadline, [this] { return m_events->m_pendingEvents == 0; });
}

bool Package::EventsClosed() const { return m_events->m_eventsClosed; }

bool Package::WaitForAllEventsUntil(std::chrono::steady_clock::time_point deadline) {
  EventsInFlight& all = EventsInFlight::Get();
  std::unique_lock lock(all.mutex);
  return all.idle.wait_until(lock, deadline, [&all] { return all.count == 0; });
}

bool Package::DownloadImage(const std::function<void()>& done) {
  if (m_isMainProduct) {
    done();  // an empty function raises std::bad_function_call, as callers expect
    return true;
  }
  const std::wstring url = ConfigurationManager::GetInstance()->offerFilesBaseUrl + ui::Widen(m_imagePath, CP_UTF8);
  // The download thread touches only the byte slot, which it shares; decoding waits for the UI
  // thread, so no GDI+ object is ever made or freed on another thread.
  return DownloadManager::GetInstance()->DownloadToMemoryAsync(
      url, [slot = m_imageBytes, done](std::unique_ptr<std::vector<char>> bytes) {
        if (bytes && !bytes->empty()) {
          std::lock_guard lock(slot->m_mutex);
          slot->m_bytes = std::move(*bytes);
        }
        if (done) done();
      });
}

bool Package::DecodeImage() {
  std::vector<char> bytes;
  {
    std::lock_guard lock(m_imageBytes->m_mutex);
    bytes.swap(m_imageBytes->m_bytes);
  }
  if (!bytes.empty()) {
    if (auto image = ui::DecodeImage(bytes)) m_image = std::move(image);
  }
  return static_cast<bool>(m_image);
}

std::wstring Package::GetDownloadUrl() const { return ui::Widen(m_downloadUrl, CP_UTF8); }

std::wstring Package::GetInstallerArgs() const { return ui::Widen(m_installerArgs, CP_UTF8); }

DWORD NoShowMarkerDate(const FILETIME& now) {
  const long long ticks =
      static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  constexpr long long kEpochTicks = 116444736000000000LL;
  constexpr long long kTicksPerSecond = 10000000LL;
  const long long later = ticks + 180LL * 86400LL * kTicksPerSecond;
  return static_cast<DWORD>(std::stoll(FormatLocalTimestamp((later - kEpochTicks) / kTicksPerSecond, "%Y%m%d")));
}

bool Package::WriteNoShowMarker() {
  try {
    const std::string& marker = m_pn.noShowMarker;
    const auto slash = marker.rfind('\\');
    if (marker.empty() || slash == std::string::npos) return false;
    const std::wstring subkey = ui::Utf8ToWide(marker.substr(0, slash));
    const std::wstring valueName = ui::Utf8ToWide(marker.substr(slash + 1));
    if (subkey.empty()) return false;
    // The elevated wizard writes where the document says: only below the software key, never
    // into the system's own settings.
    constexpr std::wstring_view kSoftware = L"SOFTWARE\\";
    if (subkey.size() <= kSoftware.size() ||
        ::CompareStringOrdinal(subkey.c_str(), static_cast<int>(kSoftware.size()), kSoftware.data(),
                               static_cast<int>(kSoftware.size()), TRUE) != CSTR_EQUAL) {
      config::DebugLine("no-show marker refused, not below HKLM\\SOFTWARE: " + marker);
      return false;
    }

    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const DWORD date = NoShowMarkerDate(now);

    ui::UniqueHkey key;
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

#include "offers/OfferReader.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "config/ConfigurationManager.h"
#include "config/Identity.h"
#include "config/OsVersion.h"
#include "config/TextUtil.h"
#include "offers/Package.h"
#include "offers/PackageParameters.h"
#include "win32/Strings.h"

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
  for (const auto& item : found->get<std::vector<std::string>>()) result.push_back(win32::Utf8ToWide(item));
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

// The machine requirements a preset ("x") stands for, applied after the document's own keys.
enum class Preset {
  kRoomyMachine = 1,        // 2500 MB of disk, 250 MB of memory
  kChromeAndCurrentIe = 2,  // Chrome installed, Internet Explorer 9 or later
  kCapableMachine = 3,      // 512 MB of disk, 1536 MB of memory, 1500 MHz
  kSixtyFourBitWindows = 10,
  kChrome = 12,
  kNoChrome = 13,
};

void ReadNotificationBlock(Package& package, const json& ps, ConfigurationManager& config) {
  ReadOptional(ps, "pn", package.m_pn.enabled);
  if (!package.m_pn.enabled) return;
  ReadOptional(ps, "pnau", package.m_pn.apiUrl);
  ReadOptional(ps, "pnak", package.m_pn.apiKey);
  ReadOptional(ps, "pnr", package.m_pn.noShowMarker);
  package.m_pn.noShowMarker = package.ExpandPlaceholders(package.m_pn.noShowMarker);
  ReadOptional(ps, "pnop", package.m_pn.pnop);
  ReadOptional(ps, "pnsi", package.m_pn.pnsi);
  ReadOptional(ps, "la", package.m_pn.la);
  package.m_parameters.Add("pnrparam", SelectVersionParameter(ps));
  ReadOptional(ps, "sp", package.m_pn.stubParams);
  package.m_pn.stubParams = package.ExpandPlaceholders(package.m_pn.stubParams);

  package.m_parameters.Add("pnstubparams", package.m_pn.stubParams);
  package.m_parameters.Add("pnapiurl", package.m_pn.apiUrl);
  package.m_parameters.Add("pnapikey", package.m_pn.apiKey);
  package.m_parameters.Add("pnop", package.m_pn.pnop);
  package.m_parameters.Add("account", win32::WideToUtf8(config.account));
  package.m_parameters.Add("installer", win32::WideToUtf8(config.installerName));
  package.m_parameters.Add("pnsid", config::NowMillisText());

  const auto flow = ps.find("cfs");
  if (flow == ps.end()) return;
  ReadOptional(*flow, "mb", package.m_flow.maxBefore);
  ReadOptional(*flow, "ab", package.m_flow.allowedBefore);
  ReadOptional(*flow, "ma", package.m_flow.maxAfter);
  ReadOptional(*flow, "aa", package.m_flow.allowedAfter);
  ReadOptional(*flow, "mo", package.m_flow.maxOffersInFlow);
  ReadOptional(*flow, "saad", package.m_flow.skipAllAfterDecline);
  ReadOptional(*flow, "sied", package.m_flow.skipIfEarlierDeclined);
}

void ReadEligibility(Package& package, const json& ps, ConfigurationManager& config) {
  ReadOptional(ps, "disk", package.m_minDiskMB);
  ReadOptional(ps, "ram", package.m_minRamMB);
  ReadOptional(ps, "cpu", package.m_minCpuMHz);
  ReadOptional(ps, "ov", package.m_minOsVersion);
  ReadOptional(ps, "pv", package.m_minProgramVersion);
  ReadOptional(ps, "win64", package.m_requires64BitOs);

  int preset = 0;
  ReadOptional(ps, "x", preset);
  switch (static_cast<Preset>(preset)) {
    case Preset::kRoomyMachine:
      package.m_minDiskMB = 2500;
      package.m_minRamMB = 250;
      break;
    case Preset::kChromeAndCurrentIe:
      package.m_requiresChrome = true;
      package.m_checkIeVersion = true;
      break;
    case Preset::kCapableMachine:
      package.m_minDiskMB = 512;
      package.m_minRamMB = 1536;
      package.m_minCpuMHz = 1500;
      break;
    case Preset::kSixtyFourBitWindows:
      package.m_requires64BitOs = true;
      break;
    case Preset::kChrome:
      package.m_requiresChrome = true;
      break;
    case Preset::kNoChrome:
      package.m_requiresNoChrome = true;
      break;
    default:
      break;
  }

  const auto tokens = config.GetPathTokens();
  package.m_filesMustBeAbsent = ReadWideList(ps, "fe");
  package.m_filesOneMustExist = ReadWideList(ps, "ife");
  for (auto& path : package.m_filesMustBeAbsent) path = config::ExpandPathTokens(path, tokens);
  for (auto& path : package.m_filesOneMustExist) path = config::ExpandPathTokens(path, tokens);

  ReadOptional(ps, "a", package.m_blockingProcesses);
  package.m_keysMustBeAbsent = ReadWideList(ps, "r");
  package.m_keysOneMustExist = ReadWideList(ps, "ir");
  package.m_valuesMustBeAbsent = ReadWideList(ps, "rvn");
  package.m_valueDataMustNotMatch = ReadWideList(ps, "rvd");
  const auto checks = ps.find("cmdu");
  if (checks != ps.end()) {
    // By reference: copying the items would recurse once per nesting level of a hostile document.
    for (const json& item : checks->get_ref<const json::array_t&>()) {
      UninstallTimestampCheck check;
      check.root = win32::Utf8ToWide(RequiredString(item, "utr"));
      check.key = win32::Utf8ToWide(RequiredString(item, "utk"));
      check.valueName = win32::Utf8ToWide(RequiredString(item, "utvn"));
      check.valueType = win32::Utf8ToWide(RequiredString(item, "utvt"));
      check.minDays = Number<int>(item.at("umd"));
      ReadOptional(item, "utms", check.inMilliseconds);
      package.m_uninstallChecks.push_back(std::move(check));
    }
  }
  package.m_excludedApps = ReadWideList(ps, "eapp");
  package.m_requiredApps = ReadWideList(ps, "iapp");
}

}  // namespace

void ReadOffer(Package& package, const json& offer, ConfigurationManager& config) {
  AddConfigurationParameters(package.m_parameters, config);

  const json& ad = offer.at("ad");
  package.m_adToken = RequiredString(ad, "f");
  package.m_offerId = RequiredString(ad, "o");
  if (package.m_offerId.size() > kMaxOfferIdBytes) {
    throw json::type_error::create(302, "offer id longer than " + std::to_string(kMaxOfferIdBytes) + " bytes",
                                   &ad.at("o"));
  }
  package.m_parameters.Add("pxl", PixelValue(config.GetMachineId(), package.m_offerId, config.GetRunStamp()));
  package.m_parameters.Add("of", package.m_adToken);

  const json& ps = offer.at("ps");
  package.m_imagePath = package.ExpandPlaceholders(RequiredString(ps, "i"));
  package.m_displayName = package.ExpandPlaceholders(RequiredString(ps, "dn"));
  package.m_downloadUrl = package.ExpandPlaceholders(RequiredString(ps, "u"));

  ReadNotificationBlock(package, ps, config);

  ReadOptional(ps, "p", package.m_installerArgs);
  ReadOptional(ps, "cp", package.m_privacyUrl);
  ReadOptional(ps, "ctu", package.m_termsUrl);
  ReadOptional(ps, "sha256", package.m_sha256);
  package.m_sha256 = config::LowerAscii(package.m_sha256);
  package.m_installerArgs = package.ExpandPlaceholders(package.m_installerArgs);
  package.m_privacyUrl = package.ExpandPlaceholders(package.m_privacyUrl);
  package.m_termsUrl = package.ExpandPlaceholders(package.m_termsUrl);

  int vertical = 0;
  ReadOptional(ps, "v", vertical);
  package.m_vertical = vertical;
  ReadOptional(ps, "exc", package.m_exclusive);
  if (ps.contains("c")) package.m_trackingCode = package.ExpandPlaceholders(RequiredString(ps, "c"));

  ReadEligibility(package, ps, config);
}

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "MachineGuidRemoval.h"
#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "offers/NoShowMarker.h"
#include "offers/Package.h"
#include "offers/PackageParameters.h"
#include "win32/UniqueResource.h"

using nlohmann::json;

namespace {

json MinimalOffer() { return json::parse(R"({"ad": {"o": "o1", "f": "f1"}, "ps": {"i": "i", "dn": "d", "u": "u"}})"); }

// Sets configuration values for one test and puts the old ones back.
class ConfigOverride {
 public:
  ConfigOverride() : m_config(ConfigurationManager::GetInstance()), m_saved(Save(*m_config)) {}
  ~ConfigOverride() {
    m_config->machineId = m_saved.machineId;
    m_config->countryCode = m_saved.countryCode;
    m_config->publisherId = m_saved.publisherId;
    m_config->ispbValue = m_saved.ispbValue;
    m_config->account = m_saved.account;
  }
  ConfigurationManager& operator*() { return *m_config; }
  ConfigurationManager* operator->() { return m_config.get(); }

 private:
  struct Saved {
    std::string machineId, countryCode, publisherId, ispbValue;
    std::wstring account;
  };
  static Saved Save(ConfigurationManager& c) {
    return {c.machineId, c.countryCode, c.publisherId, c.ispbValue, c.account};
  }
  std::shared_ptr<ConfigurationManager> m_config;
  Saved m_saved;
};

TEST(ParameterTable, FirstValueWinsAndInsertedTextIsNotRescanned) {
  ParameterTable table;
  EXPECT_TRUE(table.Add("a", "{a}{b}"));
  EXPECT_FALSE(table.Add("a", "second"));
  EXPECT_TRUE(table.Add("b", "B"));
  EXPECT_EQ(*table.Find("a"), "{a}{b}");
  // "a" is replaced once (its own value is not searched again); "b" comes later and also
  // replaces the occurrence that "a" brought in.
  EXPECT_EQ(table.Expand("{a}-{b}-{c}"), "{a}B-B-{c}");
  EXPECT_EQ(table.Expand("{A}{ a}{a"), "{A}{ a}{a");
}

TEST(PackageParameters, ConfigurationValuesAndTheirAbsence) {
  ConfigOverride config;
  config->machineId = "guid-1";
  config->countryCode = "";
  config->publisherId = "";
  config->ispbValue = "";
  config->account = L"Tavrel";
  ParameterTable table;
  AddConfigurationParameters(table, *config);
  EXPECT_EQ(*table.Find("userid"), "guid-1");
  EXPECT_EQ(*table.Find("sessionid"), config->GetRunStamp());
  EXPECT_FALSE(table.Contains("cc"));
  EXPECT_FALSE(table.Contains("pubid"));
  EXPECT_FALSE(table.Contains("ispb"));
  EXPECT_EQ(*table.Find("aflt"), "91082");
  EXPECT_EQ(*table.Find("account_md5"), config::Md5Hex(L"Tavrel"));
  EXPECT_EQ(table.Entries().front().first, "userid");

  config->countryCode = "US";
  config->publisherId = "pub";
  config->ispbValue = "isp";
  config->account = L"";
  ParameterTable filled;
  AddConfigurationParameters(filled, *config);
  EXPECT_EQ(*filled.Find("cc"), "US");
  EXPECT_EQ(*filled.Find("aflt"), "91088");
  EXPECT_EQ(*filled.Find("pubid"), "pub");
  EXPECT_EQ(*filled.Find("ispb"), "isp");
  EXPECT_FALSE(filled.Contains("account_md5"));
}

TEST(PackageParameters, NoMachineGuidMeansNoUserIdAndAShorterPixel) {
  ConfigOverride config;
  MachineGuidRemoval removal;
  config->machineId.clear();
  // Wine's CryptAcquireContext recreates a missing MachineGuid, so no MD5 may run meanwhile.
  config->account.clear();

  auto package = Package::Offer(*ConfigurationManager::GetInstance(), MinimalOffer(), 0);
  EXPECT_FALSE(package->m_parameters.Contains("userid"));
  EXPECT_EQ(*package->m_parameters.Find("pxl"), config::Base62Encode("|o1|" + config->GetRunStamp()));
  EXPECT_EQ(*package->m_parameters.Find("of"), "f1");
}

TEST(PackageParameters, NotificationBlockAddsSessionMillis) {
  json offer = MinimalOffer();
  offer["ps"]["pn"] = true;
  const auto before =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  auto package = Package::Offer(*ConfigurationManager::GetInstance(), offer, 0);
  const long long pnsid = std::stoll(*package->m_parameters.Find("pnsid"));
  EXPECT_GE(pnsid, before - 1000);
  EXPECT_LE(pnsid, before + 60000);
}

FILETIME LocalNoonFileTime(int year, int month, int day) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const long long seconds = std::mktime(&local);
  const unsigned long long ticks = static_cast<unsigned long long>(seconds) * 10000000ULL + 116444736000000000ULL;
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

TEST(NoShowMarker, DateIs180DaysAhead) {
  EXPECT_EQ(NoShowMarkerDate(LocalNoonFileTime(2024, 1, 1)), 20240629u);
  EXPECT_EQ(NoShowMarkerDate(LocalNoonFileTime(2023, 12, 31)), 20240628u);
  EXPECT_EQ(NoShowMarkerDate(LocalNoonFileTime(2025, 7, 5)), 20260101u);
}

// The marker lives in the 32-bit view, in 32-bit and 64-bit builds alike.
DWORD ReadMarker(const wchar_t* subkey, const wchar_t* name, bool& found) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  win32::UniqueHkey key;
  found = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ | KEY_WOW64_32KEY, key.put()) == ERROR_SUCCESS &&
          ::RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS;
  return value;
}

void RemoveMarkers() {
  win32::UniqueHkey software;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, software.put()) == 0) {
    ::RegDeleteTreeW(software.get(), L"BrindleTest\\Offer");
    ::RegDeleteTreeW(software.get(), L"BrindleTest\\Default");
  }
}

TEST(NoShowMarker, WritesTheNamedValue) {
  RemoveMarkers();
  auto package = Package::Offer(*ConfigurationManager::GetInstance(), MinimalOffer(), 0);
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const DWORD expected = NoShowMarkerDate(now);

  package->m_pn.noShowMarker = "SOFTWARE\\BrindleTest\\Offer\\Shown";
  ASSERT_TRUE(package->WriteNoShowMarker());
  bool found = false;
  EXPECT_EQ(ReadMarker(L"SOFTWARE\\BrindleTest\\Offer", L"Shown", found), expected);
  EXPECT_TRUE(found);

  package->m_pn.noShowMarker = "SOFTWARE\\BrindleTest\\Default\\";
  ASSERT_TRUE(package->WriteNoShowMarker());
  EXPECT_EQ(ReadMarker(L"SOFTWARE\\BrindleTest\\Default", nullptr, found), expected);
  EXPECT_TRUE(found);

  // Only below the software key: never the system's own settings.
  for (const char* marker : {"", "NoBackslash", "\\OnlyName", "SYSTEM\\CurrentControlSet\\Shown", "SOFTWARE\\",
                             "SOFTWARE2\\x\\Shown", "..\\SOFTWARE\\x\\Shown"}) {
    package->m_pn.noShowMarker = marker;
    EXPECT_FALSE(package->WriteNoShowMarker()) << marker;
  }
  RemoveMarkers();
}

}  // namespace

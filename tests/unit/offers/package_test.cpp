#include "offers/Package.h"
#include "i18n/LocaleTestSupport.h"

#include <knownfolders.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"

using nlohmann::json;

namespace {

// The event template as the service reads it.
json Template(const Package& package) { return json::parse(package.m_eventTemplate.dump()); }

json FullOffer() {
  return json::parse(R"({
    "ad": {"o": "offer-7", "f": "token-7"},
    "ps": {
      "i": "img/{of}.png", "dn": "Offer {of}", "u": "https://cdn.example.com/setup.exe?p={pxl}&c={cc}",
      "pn": true, "pnau": "https://pn.example.com/api", "pnak": "key-1", "pnr": "SOFTWARE\\Vendor\\{of}\\Shown",
      "pnop": "op-1", "pnsi": true, "la": "en",
      "pnrp": {"default": "def", "10.0": "ten", "6.1": "seven"},
      "sp": "/api={pnapiurl} /r={pnrparam} /o={pnop}",
      "cfs": {"mb": 1, "ab": ["a1"], "ma": 2, "aa": ["b1", "b2"], "mo": 3, "saad": true, "sied": true},
      "p": "/S /id={of}", "cp": "https://example.com/privacy", "ctu": "https://example.com/terms",
      "v": 4, "exc": true, "c": "track-{of}",
      "disk": 100, "ram": 200, "cpu": 300, "ov": 10, "pv": "1.{of}.2", "win64": true,
      "fe": ["{commonappdata}\\Vendor\\app.exe", "{nosuch}\\x"], "ife": ["{programdata}\\y"],
      "a": ["proc.exe"], "r": ["HKLM\\SOFTWARE\\{commonpf}"], "ir": ["HKCU\\a"], "rvn": ["HKLM\\b\\c"],
      "rvd": ["HKLM\\d\\e|f"],
      "cmdu": [{"utr": "HKLM", "utk": "SOFTWARE\\Un", "utvn": "When", "utvt": "REG_SZ", "umd": 30, "utms": true},
               {"utr": "HKCU", "utk": "k", "utvn": "v", "utvt": "t", "umd": 5}],
      "eapp": ["Other App"], "iapp": ["Needed App"]
    },
    "ignored": 1})");
}

std::shared_ptr<Package> MakeOffer(const json& offer, int index = 0) {
  return Package::Offer(*ConfigurationManager::GetInstance(), offer, index);
}

json MinimalOffer() { return json::parse(R"({"ad": {"o": "o1", "f": "f1"}, "ps": {"i": "i", "dn": "d", "u": "u"}})"); }

TEST(Package, FullOfferSetsEveryField) {
  auto config = ConfigurationManager::GetInstance();
  auto package = MakeOffer(FullOffer(), 2);
  const std::string pxl = *package->m_parameters.Find("pxl");
  EXPECT_EQ(package->m_offerId, "offer-7");
  EXPECT_EQ(package->m_adToken, "token-7");
  EXPECT_EQ(package->m_imagePath, "img/token-7.png");
  EXPECT_EQ(package->m_displayName, "Offer token-7");
  EXPECT_EQ(package->m_downloadUrl, "https://cdn.example.com/setup.exe?p=" + pxl + "&c={cc}");  // no country yet
  EXPECT_EQ(package->m_installerArgs, "/S /id=token-7");
  EXPECT_EQ(package->m_privacyUrl, "https://example.com/privacy");
  EXPECT_EQ(package->m_termsUrl, "https://example.com/terms");
  EXPECT_EQ(package->m_vertical, 4);
  EXPECT_TRUE(package->m_exclusive);
  EXPECT_EQ(package->m_trackingCode, "track-token-7");
  EXPECT_EQ(package->m_minDiskMB, 100u);
  EXPECT_EQ(package->m_minRamMB, 200u);
  EXPECT_EQ(package->m_minCpuMHz, 300u);
  EXPECT_EQ(package->m_minOsVersion, 10);
  EXPECT_EQ(package->m_minProgramVersion, "1.{of}.2");  // not expanded
  EXPECT_TRUE(package->m_requires64BitOs);
  EXPECT_EQ(package->m_index, 2);

  EXPECT_TRUE(package->m_pn.enabled);
  EXPECT_EQ(package->m_pn.apiUrl, "https://pn.example.com/api");
  EXPECT_EQ(package->m_pn.apiKey, "key-1");
  EXPECT_EQ(package->m_pn.noShowMarker, "SOFTWARE\\Vendor\\token-7\\Shown");
  EXPECT_EQ(package->m_pn.pnop, "op-1");
  EXPECT_TRUE(package->m_pn.pnsi);
  EXPECT_EQ(package->m_pn.la, "en");
  // pnrparam exists when "sp" is read; the other notification parameters only afterwards.
  EXPECT_EQ(*package->m_parameters.Find("pnrparam"), "ten");  // the test prefix is Windows 10
  EXPECT_EQ(package->m_pn.stubParams, "/api={pnapiurl} /r=ten /o={pnop}");
  EXPECT_EQ(*package->m_parameters.Find("pnstubparams"), package->m_pn.stubParams);
  EXPECT_EQ(*package->m_parameters.Find("account"), "Tavrel");
  EXPECT_EQ(*package->m_parameters.Find("installer"), "Tavrel_DLM");

  EXPECT_EQ(package->m_flow.maxBefore, 1);
  EXPECT_EQ(package->m_flow.allowedBefore, (std::vector<std::string>{"a1"}));
  EXPECT_EQ(package->m_flow.maxAfter, 2);
  EXPECT_EQ(package->m_flow.allowedAfter, (std::vector<std::string>{"b1", "b2"}));
  EXPECT_EQ(package->m_flow.maxOffersInFlow, 3);
  EXPECT_TRUE(package->m_flow.skipAllAfterDecline);
  EXPECT_TRUE(package->m_flow.skipIfEarlierDeclined);

  const auto tokens = config->GetPathTokens();
  EXPECT_EQ(package->m_filesMustBeAbsent,
            (std::vector<std::wstring>{config::GetKnownFolder(FOLDERID_RoamingAppData) + L"\\Vendor\\app.exe",
                                       L"{nosuch}\\x"}));
  EXPECT_EQ(package->m_filesOneMustExist,
            (std::vector<std::wstring>{config::GetKnownFolder(FOLDERID_ProgramData) + L"\\y"}));
  EXPECT_EQ(package->m_blockingProcesses, (std::vector<std::string>{"proc.exe"}));
  EXPECT_EQ(package->m_keysMustBeAbsent, (std::vector<std::wstring>{L"HKLM\\SOFTWARE\\{commonpf}"}));  // no tokens
  EXPECT_EQ(package->m_keysOneMustExist, (std::vector<std::wstring>{L"HKCU\\a"}));
  EXPECT_EQ(package->m_valuesMustBeAbsent, (std::vector<std::wstring>{L"HKLM\\b\\c"}));
  EXPECT_EQ(package->m_valueDataMustNotMatch, (std::vector<std::wstring>{L"HKLM\\d\\e|f"}));
  EXPECT_EQ(package->m_excludedApps, (std::vector<std::wstring>{L"Other App"}));
  EXPECT_EQ(package->m_requiredApps, (std::vector<std::wstring>{L"Needed App"}));
  ASSERT_EQ(package->m_uninstallChecks.size(), 2u);
  EXPECT_EQ(package->m_uninstallChecks[0].root, L"HKLM");
  EXPECT_EQ(package->m_uninstallChecks[0].key, L"SOFTWARE\\Un");
  EXPECT_EQ(package->m_uninstallChecks[0].valueName, L"When");
  EXPECT_EQ(package->m_uninstallChecks[0].valueType, L"REG_SZ");
  EXPECT_EQ(package->m_uninstallChecks[0].minDays, 30);
  EXPECT_TRUE(package->m_uninstallChecks[0].inMilliseconds);
  EXPECT_FALSE(package->m_uninstallChecks[1].inMilliseconds);
  EXPECT_FALSE(package->m_requiresChrome);
  EXPECT_FALSE(package->m_isMainProduct);
}

TEST(Package, DefaultsOfAMinimalOffer) {
  auto package = MakeOffer(MinimalOffer());
  EXPECT_EQ(package->m_vertical, 0);
  EXPECT_EQ(package->m_installerArgs, "");
  EXPECT_EQ(package->m_trackingCode, "");
  EXPECT_EQ(Template(*package)["16"], "");
  EXPECT_FALSE(package->m_pn.enabled);
  EXPECT_EQ(package->m_flow.maxBefore, INT_MAX);
  EXPECT_EQ(package->m_flow.maxOffersInFlow, INT_MAX);
  EXPECT_FALSE(package->m_parameters.Contains("pnrparam"));
  EXPECT_FALSE(package->m_parameters.Contains("pnsid"));

  json offer = MinimalOffer();
  offer["ps"]["v"] = -1;
  EXPECT_EQ(MakeOffer(offer)->m_vertical, -1);
}

// Numbers out of a field's range saturate; they never wrap around or become undefined.
TEST(Package, NumbersAreBroughtIntoTheirFieldsRange) {
  struct Case {
    const char* key;
    json value;
    std::int64_t vertical;
    std::uint64_t disk;
  };
  const Case cases[] = {
      {"v", 4294967297LL, INT_MAX, 0},
      {"v", 1e300, INT_MAX, 0},
      {"v", -1e300, INT_MIN, 0},
      {"v", 2.9, 2, 0},
      {"disk", -1, 0, 0},
      {"disk", 1e30, 0, UINT64_MAX},
      {"disk", 18446744073709551615ULL, 0, UINT64_MAX},
  };
  for (const Case& c : cases) {
    json offer = MinimalOffer();
    offer["ps"][c.key] = c.value;
    const auto package = MakeOffer(offer);
    EXPECT_EQ(package->m_vertical, c.vertical) << c.key << " " << c.value.dump();
    EXPECT_EQ(package->m_minDiskMB, c.disk) << c.key << " " << c.value.dump();
  }
}

TEST(Package, PresetsOverrideTheirKeys) {
  json offer = MinimalOffer();
  offer["ps"]["ram"] = 4096;
  offer["ps"]["x"] = 1;
  auto one = MakeOffer(offer);
  EXPECT_EQ(one->m_minRamMB, 250u);
  EXPECT_EQ(one->m_minDiskMB, 2500u);

  offer["ps"]["x"] = 3;
  auto three = MakeOffer(offer);
  EXPECT_EQ(three->m_minDiskMB, 512u);
  EXPECT_EQ(three->m_minRamMB, 1536u);
  EXPECT_EQ(three->m_minCpuMHz, 1500u);

  offer["ps"]["x"] = 2;
  auto two = MakeOffer(offer);
  EXPECT_TRUE(two->m_requiresChrome && two->m_checkIeVersion);
  offer["ps"]["x"] = 10;
  EXPECT_TRUE(MakeOffer(offer)->m_requires64BitOs);
  offer["ps"]["x"] = 12;
  auto twelve = MakeOffer(offer);
  EXPECT_TRUE(twelve->m_requiresChrome && !twelve->m_checkIeVersion);
  offer["ps"]["x"] = 13;
  EXPECT_TRUE(MakeOffer(offer)->m_requiresNoChrome);
  offer["ps"]["x"] = 7;
  auto other = MakeOffer(offer);
  EXPECT_EQ(other->m_minRamMB, 4096u);
  EXPECT_FALSE(other->m_requiresChrome || other->m_requiresNoChrome || other->m_requires64BitOs);
}

TEST(Package, FlowSettingsOnlyInsideAnEnabledNotificationBlock) {
  json offer = MinimalOffer();
  offer["ps"]["cfs"] = {{"mb", 1}, {"mo", 2}, {"saad", true}};
  EXPECT_EQ(MakeOffer(offer)->m_flow.maxBefore, INT_MAX);
  offer["ps"]["pn"] = false;
  offer["ps"]["pnau"] = "https://pn.example.com";
  auto disabled = MakeOffer(offer);
  EXPECT_EQ(disabled->m_flow.maxOffersInFlow, INT_MAX);
  EXPECT_FALSE(disabled->m_flow.skipAllAfterDecline);
  EXPECT_EQ(disabled->m_pn.apiUrl, "");
  offer["ps"]["pn"] = true;
  EXPECT_EQ(MakeOffer(offer)->m_flow.maxOffersInFlow, 2);
}

TEST(Package, PlaceholdersFollowTheConstructionOrder) {
  json offer = MinimalOffer();
  offer["ps"]["dn"] = "{pxl}|{pnapiurl}|{unknown}|{of}";
  offer["ps"]["pn"] = true;
  offer["ps"]["pnau"] = "https://pn.example.com";
  offer["ps"]["p"] = "{pnapiurl}";
  auto package = MakeOffer(offer);
  const std::string pxl = *package->m_parameters.Find("pxl");
  EXPECT_FALSE(pxl.empty());
  // "dn" is read before the notification block adds its parameters; "p" after.
  EXPECT_EQ(package->m_displayName, pxl + "|{pnapiurl}|{unknown}|f1");
  EXPECT_EQ(package->m_installerArgs, "https://pn.example.com");
}

TEST(Package, VersionParameterFallsBackToDefault) {
  json offer = MinimalOffer();
  offer["ps"]["pn"] = true;
  offer["ps"]["pnrp"] = {{"default", "d"}, {"5.1", "xp"}};
  EXPECT_EQ(*MakeOffer(offer)->m_parameters.Find("pnrparam"), "d");
  offer["ps"]["pnrp"] = {{"5.1", "xp"}};
  EXPECT_EQ(*MakeOffer(offer)->m_parameters.Find("pnrparam"), "");
  offer["ps"]["pnrp"] = "not an object";
  EXPECT_EQ(*MakeOffer(offer)->m_parameters.Find("pnrparam"), "");
}

TEST(Package, MissingRequiredKeysAndWrongTypesRaise) {
  for (const char* path : {"/ad", "/ad/o", "/ad/f", "/ps", "/ps/i", "/ps/dn", "/ps/u"}) {
    json offer = MinimalOffer();
    json::json_pointer pointer(path);
    offer[pointer.parent_pointer()].erase(pointer.back());
    EXPECT_THROW(MakeOffer(offer), json::out_of_range) << path;
  }
  json offer = FullOffer();
  for (const char* key : {"utr", "utk", "utvn", "utvt", "umd"}) {
    json broken = offer;
    broken["ps"]["cmdu"][1].erase(key);
    EXPECT_THROW(MakeOffer(broken), json::out_of_range) << key;
  }
  json wrong = offer;
  wrong["ps"]["cmdu"][1]["utms"] = "true";
  EXPECT_THROW(MakeOffer(wrong), json::type_error);
  wrong = MinimalOffer();
  wrong["ps"]["dn"] = 5;
  EXPECT_THROW(MakeOffer(wrong), json::type_error);
  wrong = MinimalOffer();
  wrong["ps"]["fe"] = "not a list";
  EXPECT_THROW(MakeOffer(wrong), json::type_error);
  wrong = MinimalOffer();
  wrong["ps"]["pn"] = "yes";
  EXPECT_THROW(MakeOffer(wrong), json::type_error);
  EXPECT_THROW(MakeOffer(json::array()), json::type_error);
  EXPECT_THROW(MakeOffer(json()), json::type_error);
}

TEST(Package, EventTemplates) {
  auto config = testsupport::MakeConfig(L"DLM");
  config->productTitle = L"Product";
  auto main = Package::MainProduct(*config, {});
  EXPECT_EQ(Template(*main)["5"], "Product");
  EXPECT_EQ(Template(*main)["10"], 1);
  EXPECT_EQ(Template(*main)["16"], "");
  EXPECT_EQ(Template(*main)["17"], "");
  EXPECT_EQ(Template(*main)["18"], "");

  json offer = MinimalOffer();
  offer["ps"]["c"] = "code";
  auto package = Package::Offer(*config, offer, 4);
  EXPECT_EQ(Template(*package)["5"], "o1");
  EXPECT_EQ(Template(*package)["10"], 2);
  EXPECT_EQ(Template(*package)["16"], "code");
  EXPECT_EQ(Template(*package)["17"], "5");
  EXPECT_EQ(Template(*package)["18"], "f1");
  for (int key = 0; key <= 22; ++key) EXPECT_TRUE(Template(*package).contains(std::to_string(key))) << key;
  EXPECT_TRUE(Template(*package).contains("31"));
  EXPECT_TRUE(Template(*package).contains("38"));
  EXPECT_EQ(Template(*package)["15"], 0);

  // Re-initialising turns a package into the main product with a new request.
  config->productTitle = L"Renamed";
  package->Reinitialize(*config, {L"id", L"ad", L"Name", L"track"});
  EXPECT_TRUE(package->m_isMainProduct);
  EXPECT_EQ(package->m_index, 0);
  EXPECT_EQ(Template(*package)["5"], "Renamed");
  EXPECT_EQ(Template(*package)["10"], 1);
  EXPECT_EQ(package->m_displayName, "Name");
}

}  // namespace

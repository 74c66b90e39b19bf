// Registry-based checks against keys each test creates, and what the evaluator measures once.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "EligibilityTestSupport.h"
#include "config/ConfigurationManager.h"
#include "offers/RegistryPaths.h"
#include "win32/Strings.h"

using nlohmann::json;

namespace {

std::string Utf8(const std::wstring& text) { return win32::WideToUtf8(text); }

TEST(RegistryChecks, KeysAndValues) {
  RegistryScratch scratch;
  const std::wstring key = ScratchKey() + L"\\Vendor";
  scratch.Key(HKEY_CURRENT_USER, KEY_WOW64_64KEY, key + L"\\Tool");
  scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key, L"Mode", L"On");
  scratch.Dword(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key, L"Level", 2);
  const unsigned long long big = ~0ULL;
  scratch.Value(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key, L"Big", REG_QWORD, &big, sizeof(big));
  scratch.Value(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key, L"Blob", REG_BINARY, "\x02", 1);
  const std::string rel = Utf8(ScratchRulePath()) + "\\Vendor";  // upper case on purpose
  const std::string hklm = "HKLM\\Software\\" + rel;
  const struct {
    json ps;
    const char* verdict;
  } cases[] = {
      {{{"r", {rel + "\\Tool"}}}, "REGISTRY KEY EXISTS"},  // found below hkcu\software
      {{{"r", {"", rel + "\\tool"}}}, "accepted"},         // an empty entry ends the scan
      {{{"ir", {rel + "\\none1", rel + "\\none2"}}}, "NONE OF THE REGISTRY KEYS EXISTS"},
      {{{"ir", {rel + "\\none", rel + "\\tool"}}, {"rvn", {hklm + "\\mode"}}}, "REGISTRY VALUE EXISTS"},
      {{{"rvn", {"", hklm + "\\mode"}}}, "accepted"},
      {{{"rvd", {hklm + "\\mode\\on"}}}, "REGISTRY VALUE DATA MATCHES"},
      {{{"rvd", {hklm + "\\mode\\off"}}}, "accepted"},
      {{{"rvd", {"", hklm + "\\level\\2"}}}, "REGISTRY VALUE DATA MATCHES"},  // an empty entry is skipped
      {{{"rvd", {hklm + "\\level\\abc"}}}, "accepted"},
      {{{"rvd", {hklm + "\\level\\2x"}}}, "accepted"},
      {{{"rvd", {hklm + "\\big\\18446744073709551615"}}}, "REGISTRY VALUE DATA MATCHES"},
      {{{"rvd", {hklm + "\\blob\\2"}}}, "accepted"},
  };
  for (const auto& c : cases) EXPECT_EQ(RulesUnderTest().Verdict(c.ps), c.verdict) << c.ps.dump();
}

TEST(RegistryChecks, InstalledApplications) {
  TemporaryFile exe(L"brindle-elig-apps\\app.exe");
  const std::wstring n = std::to_wstring(::GetCurrentProcessId());
  const std::wstring appPaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  RegistryScratch scratch;
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, appPaths + L"EligApp" + n + L".exe", L"",
                 L"\"" + exe.Path() + L"\"");
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, appPaths + L"EligGone" + n + L".exe", L"",
                 exe.Folder() + L"\\gone.exe");
  const std::string app = "eligapp" + Utf8(n) + ".exe";
  const std::string gone = "eliggone" + Utf8(n) + ".exe";
  const std::string upper = "EligApp" + Utf8(n) + ".exe";
  const struct {
    json ps;
    const char* verdict;
  } cases[] = {
      {{{"iapp", {app}}}, "accepted"},
      {{{"iapp", {app, gone}}}, "REGISTRY INCLUDE APP NOT FOUND"},
      {{{"iapp", {upper}}}, "REGISTRY INCLUDE APP NOT FOUND"},
      {{{"eapp", {gone, app}}}, "REGISTRY EXCLUDE APP FOUND"},
      {{{"eapp", {upper}}}, "accepted"},
  };
  for (const auto& c : cases) EXPECT_EQ(RulesUnderTest().Verdict(c.ps), c.verdict) << c.ps.dump();
}

// HKLM's App Paths as two distinct views (Wine shows that key in both): opens of its 64-bit view
// go to a scratch key that holds a registration of its own, and every open's view is recorded.
class TwoViewFacts : public TestFacts {
 public:
  std::wstring view64;  // below HKCU
  std::vector<REGSAM> appPathViews;

 protected:
  LONG OpenRegistryKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) override {
    const std::wstring appPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    if (parent != HKEY_LOCAL_MACHINE || subkey.rfind(appPaths, 0) != 0) {
      return TestFacts::OpenRegistryKey(parent, subkey, access, key);
    }
    appPathViews.push_back(access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
    if ((access & KEY_WOW64_64KEY) == 0) return TestFacts::OpenRegistryKey(parent, subkey, access, key);
    return TestFacts::OpenRegistryKey(HKEY_CURRENT_USER, view64 + subkey.substr(appPaths.size()), access, key);
  }
};

TEST(RegistryChecks, AppPathsAreLookedUpInBothViewsOfSixtyFourBitWindows) {
  TemporaryFile exe(L"brindle-elig-apps\\app64.exe");
  const std::wstring name = L"EligView" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
  RegistryScratch scratch;
  auto facts = std::make_shared<TwoViewFacts>();
  facts->view64 = ScratchKey() + L"\\View64AppPaths";
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, facts->view64 + L"\\" + name, L"", exe.Path());
  for (const bool wow64 : {true, false}) {
    facts->is64BitWindows = wow64;
    facts->appPathViews.clear();
    RulesUnderTest t(100, facts);
    EXPECT_EQ(t.Verdict({{"iapp", {Utf8(win32::LowerCase(name))}}}),
              wow64 ? "accepted" : "REGISTRY INCLUDE APP NOT FOUND");
    const std::vector<REGSAM> expected = wow64 ? std::vector<REGSAM>{KEY_WOW64_32KEY, KEY_WOW64_64KEY, KEY_WOW64_64KEY}
                                               : std::vector<REGSAM>{KEY_WOW64_32KEY};
    EXPECT_EQ(facts->appPathViews, expected) << wow64;  // listing in each view, then the registration's target
  }
}

TEST(RegistryChecks, TimeSinceUninstall) {
  constexpr std::int64_t kNow = 1700000000;
  const std::int64_t dayAgo = kNow - 86400;
  RegistryScratch scratch;
  const std::wstring key = ScratchKey() + L"\\Uninstall";
  const struct {
    std::wstring stored;
    bool milliseconds;
    int days;
    const char* root;
    bool rejected;
  } cases[] = {
      {std::to_wstring(dayAgo * 1000), true, 7, "hkey_current_user", true},
      {std::to_wstring(dayAgo * 1000), true, 0, "hkey_current_user", false},
      {std::to_wstring(dayAgo), false, 7, "HKEY_CURRENT_USER", true},
      {std::to_wstring(dayAgo), true, 7, "hkey_current_user", false},  // read as milliseconds: long ago
      {std::to_wstring(dayAgo), false, -1, "hkey_current_user", false},
      {L"abc", false, 7, "hkey_current_user", false},
      {L"-5", false, 7, "hkey_current_user", false},
      {L"99999999999999999999", false, 7, "hkey_current_user", false},  // not representable: nothing read
      {L"18446744073709551615", false, 7, "hkey_current_user", true},   // the sum saturates, never wraps
      {std::to_wstring(dayAgo), false, 7, "hkcu", false},               // not a root name: nothing read
  };
  for (const auto& c : cases) {
    scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, key, L"When", c.stored);
    RulesUnderTest t;
    t.facts->now = kNow;
    const json check = {{"utr", c.root},    {"utk", Utf8(key)}, {"utvn", "WHEN"},
                        {"utvt", "REG_SZ"}, {"umd", c.days},    {"utms", c.milliseconds}};
    EXPECT_EQ(t.Verdict({{"cmdu", {check}}}), c.rejected ? "MIN DAYS UNINSTALL CHECKER" : "accepted")
        << Utf8(c.stored) << " " << c.days << " " << c.root;
  }
}

// The marker is a date YYYYMMDD in HKLM's 32-bit view, where WriteNoShowMarker puts it.
TEST(RegistryChecks, NoShowPeriod) {
  constexpr std::int64_t kNow = 1700000000;
  const auto date = [](std::int64_t seconds) { return std::stoul(FormatLocalTimestamp(seconds, "%Y%m%d")); };
  const std::wstring key = L"SOFTWARE" + ScratchKey().substr(8) + L"\\Marker";
  const auto offer = [&key](const char* name) { return json{{"pn", true}, {"pnr", Utf8(key) + "\\" + name}}; };
  RegistryScratch scratch;
  const struct {
    DWORD dword;  // used when text is null
    const wchar_t* text;
    bool hidden;
  } cases[] = {{date(kNow), nullptr, false},
               {date(kNow + 86400), nullptr, true},
               {date(kNow - 86400), nullptr, false},
               {0, L"9", false},
               {0, L"99991231", true}};
  for (const auto& c : cases) {
    if (c.text) scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Until", c.text);
    if (!c.text) scratch.Dword(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Until", c.dword);
    RulesUnderTest t;
    t.facts->now = kNow;
    EXPECT_EQ(t.Verdict(offer("Until")), c.hidden ? "PN NO SHOW" : "accepted") << c.dword;
  }
  EXPECT_EQ(RulesUnderTest().Verdict(offer("Shown")), "accepted");
  ASSERT_TRUE(MakeOffer(offer("Shown"))->WriteNoShowMarker());
  EXPECT_EQ(RulesUnderTest().Verdict(offer("Shown")), "PN NO SHOW");
  // Key names compare without case, also where the subkey listing answers ("software\...").
  const json mixed = {{"pn", true}, {"pnr", "software" + Utf8(key.substr(8)) + "\\Shown"}};
  EXPECT_EQ(RulesUnderTest().Verdict(mixed), "PN NO SHOW");
}

// Many offers asking the same: each fact measured once, each software root and view listed
// once, App Paths listed once per root and view and each registration read once; a failed
// measurement is tried again.
TEST(RegistryChecks, FactsAreMeasuredOnce) {
  const std::string app = "eligcount" + std::to_string(::GetCurrentProcessId()) + ".exe";
  RegistryScratch scratch;
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY,
                 L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + win32::Utf8ToWide(app), L"",
                 L"C:\\nowhere\\app.exe");
  RulesUnderTest t;
  t.facts->is64BitWindows = true;
  t.facts->memory = Measurement{true, 4096ULL << 20, 0};
  t.facts->cpu = ProcessorClock{ProcessorClock::Status::kOk, 2400};
  t.facts->windowsVersion = std::make_pair(10, 0);
  t.facts->disk = Measurement{false, 0, 21};
  int opensAfterFirst = 0;
  for (int i = 0; i < 4; ++i) {
    const json ps = {{"v", i},
                     {"ram", 1},
                     {"cpu", 1},
                     {"ov", 61},
                     {"a", {"nosuchprogram"}},
                     {"r", {"nosuchvendor\\a", "nosuchvendor\\b"}},
                     {"eapp", {app}}};
    EXPECT_EQ(t.Verdict(ps, "o" + std::to_string(i)), "accepted");
    if (i == 0) opensAfterFirst = t.facts->Counters().registryOpens;
    EXPECT_EQ(t.Verdict({{"v", 100 + i}, {"disk", 1}}), "DISK SPACE CHECK FAILED 21");
  }
  const FactCounters& counted = t.facts->Counters();
  EXPECT_EQ(counted.totalMemory, 1);
  EXPECT_EQ(counted.processorClock, 1);
  EXPECT_EQ(counted.osVersionTests, 1);
  EXPECT_EQ(counted.is64BitWindows, 1);
  EXPECT_EQ(counted.processLists, 1);
  EXPECT_EQ(counted.enumerations, 4 + 4);  // software of HKLM and HKCU in two views; App Paths the same
  EXPECT_EQ(counted.registryOpens, opensAfterFirst);
  EXPECT_EQ(counted.freeDiskSpace, 4);
}

// Every open by root, view and lower-cased subkey.
class OpenRecorder : public TestFacts {
 public:
  std::map<std::tuple<HKEY, REGSAM, std::wstring>, int> opens;

 protected:
  LONG OpenRegistryKey(HKEY parent, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) override {
    ++opens[{parent, access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), win32::LowerCase(subkey)}];
    return TestFacts::OpenRegistryKey(parent, subkey, access, key);
  }
};

// Offers asking about the same keys, values and drive: each key is opened once per view, none
// that a software listing answers (an absent vendor, a listed one itself), and the drive's type
// is asked once. A listed name that differs beyond A-Z is left to the registry.
TEST(RegistryChecks, EachKeyIsOpenedOncePerRun) {
  RegistryScratch scratch;
  const std::wstring vendor = ScratchKey() + L"\\Vendor";
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, vendor, L"Mode", L"On");
  scratch.Dword(HKEY_CURRENT_USER, KEY_WOW64_64KEY, vendor, L"Level", 2);
  const std::wstring accented = L"\u00C4Elig" + std::to_wstring(::GetCurrentProcessId());
  scratch.Key(HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"Software\\" + accented);
  auto facts = std::make_shared<OpenRecorder>();
  facts->is64BitWindows = true;
  RulesUnderTest t(100, facts);
  const std::string rel = Utf8(ScratchRulePath()) + "\\vendor";
  const std::string hkcu = "hkcu\\software\\" + rel;
  for (int i = 0; i < 3; ++i) {
    const json ps = {{"v", i},
                     {"r", {"nosuchvendor\\a", rel + "\\none"}},
                     {"ir", {"brindletest"}},
                     {"rvn", {hkcu + "\\gone"}},
                     {"rvd", {hkcu + "\\mode\\off", hkcu + "\\level\\3"}},
                     {"fe", {"C:\\nowhere\\" + std::to_string(i)}}};
    EXPECT_EQ(t.Verdict(ps, "o" + std::to_string(i)), "accepted");
    EXPECT_EQ(t.Verdict({{"v", 10 + i}, {"r", {Utf8(win32::LowerCase(L"\u00E4" + accented.substr(1)))}}}),
              "REGISTRY KEY EXISTS");
  }
  for (const auto& [key, count] : facts->opens) {
    const std::wstring& subkey = std::get<2>(key);
    EXPECT_EQ(count, 1) << Utf8(subkey);
    EXPECT_EQ(subkey.find(L"nosuchvendor"), std::wstring::npos);
    EXPECT_NE(subkey, L"software\\brindletest");
  }
  EXPECT_EQ(facts->Counters().driveTypes, 1);
}

}  // namespace

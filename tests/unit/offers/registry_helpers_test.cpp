// Registry paths, views and values, against the test prefix's real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "EligibilityTestSupport.h"
#include "offers/KeyCache.h"
#include "offers/RegistryError.h"
#include "offers/RegistryPaths.h"
#include "offers/SubkeyCache.h"
#include "win32/Strings.h"

namespace {

using Paths = std::vector<std::wstring>;

TEST(RegistryPaths, Expansion) {
  const struct {
    const wchar_t* path;
    bool wow64;
    Paths expected;
  } cases[] = {
      {L"hklm\\software\\x", true, {L"hkey_local_machine\\software\\x"}},
      {L"hkcu\\a", true, {L"hkey_current_user\\a"}},
      {L"hkey_users\\s-1-5-18\\x", true, {L"hkey_users\\s-1-5-18\\x"}},
      {L"x", false, {L"hkey_local_machine\\software\\x", L"hkey_current_user\\software\\x"}},
      {L"x",
       true,
       {L"hkey_local_machine\\software\\x", L"hkey_current_user\\software\\x",
        L"hkey_local_machine\\software\\wow6432node\\x", L"hkey_current_user\\software\\wow6432node\\x"}},
      // A root name without a backslash after it is a relative path.
      {L"hklm", false, {L"hkey_local_machine\\software\\hklm", L"hkey_current_user\\software\\hklm"}},
      {L"", true, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(win32::ExpandRegistryPath(c.path, c.wow64), c.expected) << c.path;
}

// Keys in one view only, looked for through software\x and software\wow6432node\x.
class RegistryViews : public ::testing::Test {
 protected:
  void SetUp() override {
    m_scratch.Key(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, ScratchKey() + L"\\Only32");
    m_scratch.Key(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, ScratchKey() + L"\\Only64\\MixedCase");
    m_scratch.Key(HKEY_CURRENT_USER, KEY_WOW64_64KEY, ScratchKey() + L"\\User");
  }
  // A full path below hkey_local_machine\software (optionally wow6432node) of the scratch key.
  static std::wstring Hklm(const std::wstring& rest, bool wow6432node = false) {
    return std::wstring(L"hkey_local_machine\\software\\") + (wow6432node ? L"wow6432node\\" : L"") +
           ScratchRulePath() + rest;
  }
  RegistryScratch m_scratch;
};

TEST_F(RegistryViews, OnSixtyFourBitWindows) {
  RulesUnderTest t;
  t.facts->is64BitWindows = true;
  const struct {
    std::wstring path;
    bool exists;
  } cases[] = {
      {Hklm(L"\\only64"), true},
      {Hklm(L"\\only32"), false},
      {Hklm(L"\\only32", true), true},
      {Hklm(L"\\only64", true), false},
      {Hklm(L"\\only64\\mixedcase"), true},  // names in the registry are matched lower-cased
      {Hklm(L"\\only64\\"), true},           // a trailing backslash names the same key
      {Hklm(L"\\\\only64"), false},          // an empty component names no key
      {L"hkey_local_machine\\software\\\\" + ScratchRulePath(), false},
      {L"hkey_local_machine\\software\\", true},  // the software key itself
      {L"hkey_current_user\\software\\" + ScratchRulePath() + L"\\user", true},
      {L"hkey_local_machine\\system\\currentcontrolset", true},  // outside software: opened directly
      {L"hklm\\software", false},                                // not a full path: no root of that name
  };
  for (const auto& c : cases) EXPECT_EQ(t.rules.KeyExists(c.path), c.exists) << c.path;
}

TEST_F(RegistryViews, OnThirtyTwoBitWindows) {
  RulesUnderTest t;
  t.facts->is64BitWindows = false;
  EXPECT_TRUE(t.rules.KeyExists(Hklm(L"\\only32")));
  EXPECT_FALSE(t.rules.KeyExists(Hklm(L"\\only64")));
  const FactCounters before = t.facts->Counters();
  EXPECT_FALSE(t.rules.KeyExists(Hklm(L"\\only32", true)));
  EXPECT_EQ(t.facts->Counters().registryOpens, before.registryOpens);
  EXPECT_EQ(t.facts->Counters().enumerations, before.enumerations);
}

// What a 32-bit uninstaller wrote is in HKLM's 32-bit view only: read through wow6432node.
TEST_F(RegistryViews, ValuesOnlyTheThirtyTwoBitViewHoldsAreRead) {
  constexpr std::int64_t kNow = 1700000000;
  m_scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, ScratchKey() + L"\\Only32", L"When",
                   std::to_wstring(kNow - 86400));
  RulesUnderTest t;
  t.facts->is64BitWindows = true;
  t.facts->now = kNow;
  const std::wstring subkey = L"software\\" + ScratchRulePath() + L"\\only32";
  std::wstring text;
  EXPECT_TRUE(t.rules.ReadValueAsText(L"hkey_local_machine", subkey, L"when", text));
  EXPECT_EQ(text, std::to_wstring(kNow - 86400));
  const nlohmann::json check = {{"utr", "hkey_local_machine"},
                                {"utk", win32::WideToUtf8(subkey)},
                                {"utvn", "when"},
                                {"utvt", "REG_SZ"},
                                {"umd", 7}};
  EXPECT_EQ(t.Verdict({{"cmdu", {check}}}), "MIN DAYS UNINSTALL CHECKER");
}

TEST(RegistryValues, ReadAsText) {
  RegistryScratch scratch;
  const std::wstring key = ScratchKey() + L"\\Values";
  const wchar_t abc[] = L"abc";
  const DWORD maxDword = 0xFFFFFFFF;
  const unsigned long long maxQword = ~0ULL;
  const wchar_t expand[] = L"%WINDIR%";
  const wchar_t multi[] = L"a\0b\0";
  const BYTE binary[] = {1, 2};
  const struct {
    const wchar_t* name;
    DWORD type;
    const void* data;
    DWORD size;
    const wchar_t* text;  // null: nothing read
  } cases[] = {
      {L"empty", REG_SZ, abc, 0, L""},
      {L"one", REG_SZ, abc, 2, L"a"},
      {L"unterminated", REG_SZ, abc, 6, L"abc"},
      {L"odd", REG_SZ, abc, 5, L"abc"},
      {L"terminated", REG_SZ, abc, sizeof(abc), L"abc"},
      {L"dword", REG_DWORD, &maxDword, sizeof(maxDword), L"4294967295"},
      {L"qword", REG_QWORD, &maxQword, sizeof(maxQword), L"18446744073709551615"},
      {L"expand", REG_EXPAND_SZ, expand, sizeof(expand), nullptr},
      {L"multi", REG_MULTI_SZ, multi, sizeof(multi), nullptr},
      {L"binary", REG_BINARY, binary, sizeof(binary), nullptr},
  };
  for (const auto& c : cases) scratch.Value(HKEY_CURRENT_USER, KEY_WOW64_64KEY, key, c.name, c.type, c.data, c.size);
  RulesUnderTest t;
  for (const auto& c : cases) {
    std::wstring text = L"unchanged";
    const bool read = t.rules.ReadValueAsText(L"hkey_current_user", win32::LowerCase(key), c.name, text);
    EXPECT_EQ(read, c.text != nullptr) << c.name;
    EXPECT_EQ(text, c.text ? c.text : L"unchanged") << c.name;
  }
}

TEST(SubkeyCache, EmptyListingIsKeptAndFailedFillIsRetried) {
  SubkeyCache cache;
  int fills = 0;
  const auto empty = [&fills] {
    ++fills;
    return std::vector<std::wstring>();
  };
  EXPECT_EQ(cache.IsListed(HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"software", L"x", empty), false);
  EXPECT_EQ(cache.IsListed(HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"software", L"y", empty), false);
  EXPECT_EQ(fills, 1);

  const auto failing = [&fills]() -> std::optional<std::vector<std::wstring>> {
    ++fills;
    return std::nullopt;
  };
  EXPECT_EQ(cache.IsListed(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"software", L"x", failing), false);
  EXPECT_EQ(cache.IsListed(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"software", L"b",
                           [] {
                             return std::vector<std::wstring>{L"c", L"b", L"a"};
                           }),
            true);
  EXPECT_EQ(fills, 2);
}

// The listing answers for case differences in A-Z only; the registry's own table, which folds
// more, decides the rest.
TEST(SubkeyCache, CaseBeyondAsciiIsLeftToTheRegistry) {
  SubkeyCache cache;
  const auto fill = [] { return std::vector<std::wstring>{L"\u00C4x", L"\u0131tem", L"abc"}; };
  const struct {
    const wchar_t* name;
    std::optional<bool> listed;
  } cases[] = {
      {L"ABC", true},          {L"\u00C4X", true}, {L"abd", false}, {L"\u00E4x", std::nullopt},
      {L"item", std::nullopt},  // as long as a name with other characters
      {L"items", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cache.IsListed(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"software", c.name, fill), c.listed)
        << win32::WideToUtf8(c.name);
  }
}

// Facts whose registry holds keys named "present..." (each one HKCU\Software) and nothing else.
class MadeUpRegistry : public TestFacts {
 protected:
  LONG OpenRegistryKey(HKEY, const std::wstring& subkey, REGSAM access, win32::UniqueHkey& key) override {
    if (!subkey.starts_with(L"present")) return ERROR_FILE_NOT_FOUND;
    return TestFacts::OpenRegistryKey(HKEY_CURRENT_USER, L"Software", access, key);
  }
};

// A hostile number of long key names: what is remembered stays within its bound, and so does
// what is kept open; past either a key is opened again, never answered from a guess.
TEST(KeyCache, RemembersAndHoldsOpenWithinBounds) {
  MadeUpRegistry facts;
  KeyCache cache(facts);
  const auto absent = [](std::size_t i) { return std::wstring(1000, L'x') + std::to_wstring(i); };
  const std::size_t count = KeyCache::kMaxRememberedBytes / (KeyCache::kEntryBytes + 2000) + 2;
  for (std::size_t i = 0; i < count; ++i) EXPECT_FALSE(cache.Exists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, absent(i)));
  const int opens = facts.Counters().registryOpens;
  EXPECT_FALSE(cache.Exists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, absent(0)));
  EXPECT_EQ(facts.Counters().registryOpens, opens);
  EXPECT_FALSE(cache.Exists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, absent(count - 1)));
  EXPECT_EQ(facts.Counters().registryOpens, opens + 1);

  KeyCache open(facts);
  const auto present = [](std::size_t i) { return L"present" + std::to_wstring(i); };
  for (std::size_t i = 0; i <= KeyCache::kMaxOpenKeys; ++i) open.Exists(HKEY_CURRENT_USER, KEY_WOW64_64KEY, present(i));
  const int held = facts.Counters().registryOpens;
  EXPECT_TRUE(open.Value(HKEY_CURRENT_USER, KEY_WOW64_64KEY, present(KeyCache::kMaxOpenKeys), L"none"));
  EXPECT_EQ(facts.Counters().registryOpens, held);
  EXPECT_TRUE(open.Value(HKEY_CURRENT_USER, KEY_WOW64_64KEY, present(0), L"none"));  // closed to keep the bound
  EXPECT_EQ(facts.Counters().registryOpens, held + 1);
}

}  // namespace

#include "config/PathTokens.h"

#include <knownfolders.h>

#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "config/ConfigurationManager.h"

namespace {

std::wstring Expand(const std::wstring& path) { return config::ExpandPathTokens(path, config::BuildPathTokenTable()); }

TEST(PathTokens, TableOrderPutsCommonPfFirst) {
  const auto table = config::BuildPathTokenTable();
  ASSERT_GE(table.size(), 5u);
  EXPECT_EQ(table[0].first, L"commonpf");
  EXPECT_EQ(table[4].first, L"commonpf32");
  EXPECT_EQ(table.size() == 6, testenv::ExpectWow64());
}

TEST(PathTokens, ProgramFilesUnderWow64) {
  if (!testenv::ExpectWow64()) GTEST_SKIP() << "needs a 32-bit program in a 64-bit prefix";
  EXPECT_EQ(Expand(L"{commonpf}"), L"C:\\Program Files");
  EXPECT_EQ(Expand(L"{commonpf64}"), L"C:\\Program Files");
  EXPECT_EQ(Expand(L"{commonpf32}"), L"C:\\Program Files (x86)");
  EXPECT_EQ(Expand(L"{commonpf}\\Google\\Chrome\\Application\\chrome.exe"),
            L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe");
}

TEST(PathTokens, ProgramFilesWithoutWow64) {
  if (testenv::ExpectWow64()) GTEST_SKIP() << "needs a process that is not under WOW64";
  const std::wstring x86 = config::GetKnownFolder(FOLDERID_ProgramFilesX86);
  EXPECT_EQ(Expand(L"{commonpf}"), x86);
  EXPECT_EQ(Expand(L"{commonpf64}\\x"), L"{commonpf64}\\x");  // no entry: stays as written
  if (testenv::PrefixArch() == "win32") {
    EXPECT_EQ(x86, L"C:\\Program Files");
  }
}

TEST(PathTokens, KnownFoldersAndMatchingRules) {
  EXPECT_EQ(Expand(L"{localappdata}\\x"), config::GetKnownFolder(FOLDERID_LocalAppData) + L"\\x");
  EXPECT_EQ(Expand(L"{commonappdata}"), config::GetKnownFolder(FOLDERID_RoamingAppData));
  EXPECT_NE(Expand(L"{commonappdata}"), config::GetKnownFolder(FOLDERID_ProgramData));
  EXPECT_EQ(Expand(L"{programdata}"), config::GetKnownFolder(FOLDERID_ProgramData));
  EXPECT_EQ(Expand(L"{CommonPF}\\x"), L"{CommonPF}\\x");
  EXPECT_EQ(Expand(L"{nosuchtoken}"), L"{nosuchtoken}");
  const std::wstring data = config::GetKnownFolder(FOLDERID_ProgramData);
  EXPECT_EQ(Expand(L"{programdata}|{programdata}"), data + L"|" + data);
  EXPECT_FALSE(data.empty());
}

TEST(PathTokens, ManagerCachesTheTable) {
  ConfigurationManager manager(config::GetBuildSettings());
  EXPECT_FALSE(manager.pathTokensReady);
  const auto first = manager.GetPathTokens();
  EXPECT_TRUE(manager.pathTokensReady);
  EXPECT_EQ(first, config::BuildPathTokenTable());
  manager.FillPathTokens();  // a second fill never replaces or duplicates entries
  EXPECT_EQ(manager.GetPathTokens(), first);
}

}  // namespace

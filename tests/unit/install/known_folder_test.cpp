// Known folders of the current user and of the profile new users are made from.
#include <windows.h>
#include <knownfolders.h>

#include <gtest/gtest.h>

#include "config/PathTokens.h"
#include "install/KnownFolder.h"

namespace {

TEST(GetKnownFolderPath, CurrentOrDefaultUser) {
  const std::wstring mine = install::GetKnownFolderPath(FOLDERID_LocalAppData, false);
  const std::wstring theirs = install::GetKnownFolderPath(FOLDERID_LocalAppData, true);
  EXPECT_EQ(mine, config::GetKnownFolder(FOLDERID_LocalAppData));
  // Wine 8 answers for the current user whatever the token (measured); Windows gives the
  // Default profile's folder.
  EXPECT_FALSE(theirs.empty());
  // A GUID that names no known folder.
  EXPECT_EQ(install::GetKnownFolderPath(GUID{0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, false), L"");
}

}  // namespace

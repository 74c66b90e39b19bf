// The rules every written path component follows: downloads and unpacked archive entries.
#include <gtest/gtest.h>

#include "config/FileNames.h"

namespace {

using config::FileNameProblem;

TEST(FileNameProblem, NamesThatCannotBePlainFilesInTheFolder) {
  for (const wchar_t* name : {L"setup.exe", L"My Setup (1).exe", L"a..b", L".hidden", L"conference.exe", L"com10"}) {
    EXPECT_FALSE(FileNameProblem(name)) << name;
  }
  EXPECT_EQ(FileNameProblem(L"").value_or(L""), L"The download has no file name.");
  for (const wchar_t* name :
       {L".", L"..", L"..\\up.exe", L"a/b.exe", L"C:\\x.exe", L"x:y", L"a\tb", L"a?b", L"a*b", L"a|b", L"a\"b", L"<a>",
        L"trail.", L"trail ", L"CON", L"nul.txt", L"Com1.exe", L"lpt9", L"aux .log"}) {
    EXPECT_EQ(FileNameProblem(name).value_or(L""), L"Invalid file name: \"" + std::wstring(name) + L"\"") << name;
  }
}

}  // namespace

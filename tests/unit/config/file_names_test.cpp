// The rules every written path component follows: downloads and unpacked archive entries.
#include <gtest/gtest.h>

#include "config/FileNames.h"

namespace {

using config::CleanFileName;
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

TEST(CleanFileName, CallerNamesAreMadeUsableNotRefused) {
  struct Case {
    const wchar_t* name;
    const wchar_t* clean;
  };
  const Case cases[] = {
      {L"Foo: Pro?.exe", L"Foo_ Pro_.exe"},
      {L"setup.exe", L"setup.exe"},
      {L"..\\up.exe", L".._up.exe"},
      {L"a/b<c>d|e\"f*.exe", L"a_b_c_d_e_f_.exe"},
      {L"C:\\x.exe", L"C__x.exe"},
      {L"tab\there\x1f.exe", L"tab_here_.exe"},
      {L"trail. . ", L"trail"},
      {L"CON", L"_CON"},
      {L"nul.txt", L"_nul.txt"},
      {L"Com1 .exe", L"_Com1 .exe"},
      {L"com10", L"com10"},
      {L"conference.exe", L"conference.exe"},
      {L"..", L""},
      {L" . ", L""},
      {L"", L""},
  };
  for (const Case& c : cases) {
    const std::wstring clean = CleanFileName(c.name);
    EXPECT_EQ(clean, c.clean) << c.name;
    if (!clean.empty()) {
      EXPECT_FALSE(FileNameProblem(clean)) << c.name;
    }
  }
}

}  // namespace

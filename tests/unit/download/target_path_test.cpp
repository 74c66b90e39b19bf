// File names taken from URLs and callers, and the target paths built from them.
#include <gtest/gtest.h>

#include "download/DownloadManager.h"
#include "download/TargetPath.h"

namespace {

using download::CleanFileName;
using download::FileNameFromUrl;
using download::FileNameProblem;

TEST(FileNameFromUrl, LastSegmentWithoutQueryOrFragment) {
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe?pxl=abc&x=/y"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe#a/b"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/"), L"");
  EXPECT_EQ(FileNameFromUrl(L"setup.exe"), L"");
}

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
    EXPECT_EQ(CleanFileName(c.name), c.clean) << c.name;
    const std::wstring clean = CleanFileName(c.name);
    if (!clean.empty()) {
      EXPECT_FALSE(FileNameProblem(clean)) << c.name;
    }
  }
}

TEST(AppendPath, JoinsWithinTheLimit) {
  std::wstring path = L"C:\\dl";
  EXPECT_TRUE(AppendPath(path, L"setup.exe"));
  EXPECT_EQ(path, L"C:\\dl\\setup.exe");
  std::wstring longPath = L"C:\\dl";
  EXPECT_FALSE(AppendPath(longPath, std::wstring(300, L'a')));
  EXPECT_EQ(longPath, L"C:\\dl");
}

}  // namespace

// File names taken from URLs and callers, and the target paths built from them.
#include <gtest/gtest.h>

#include "download/DownloadManager.h"
#include "download/TargetPath.h"

namespace {

using download::FileNameFromUrl;

TEST(FileNameFromUrl, LastSegmentWithoutQueryOrFragment) {
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe?pxl=abc&x=/y"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/setup.exe#a/b"), L"setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"https://host/f/"), L"");
  EXPECT_EQ(FileNameFromUrl(L"setup.exe"), L"");
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

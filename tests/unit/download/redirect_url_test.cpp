// Location values made absolute against the URL that answered with them.
#include "config/Urls.h"

#include <gtest/gtest.h>

namespace {

using config::ResolveLocation;

TEST(ResolveLocation, FormsOfLocation) {
  const std::wstring base = L"https://localhost:8443/f/dir/setup.exe?pxl=1#top";
  struct Case {
    const wchar_t* location;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"https://cdn.example/x.exe", L"https://cdn.example/x.exe"},
      {L"HTTP://cdn.example/x.exe", L"HTTP://cdn.example/x.exe"},
      {L"//cdn.example/x.exe", L"https://cdn.example/x.exe"},
      {L"/g/y.exe?a=b", L"https://localhost:8443/g/y.exe?a=b"},
      {L"next.exe", L"https://localhost:8443/f/dir/next.exe"},
      {L"./next.exe", L"https://localhost:8443/f/dir/next.exe"},
      {L"../other/next.exe?x=1", L"https://localhost:8443/f/other/next.exe?x=1"},
      {L"../../../../up.exe", L"https://localhost:8443/up.exe"},
      {L"sub/", L"https://localhost:8443/f/dir/sub/"},
      {L"..", L"https://localhost:8443/f/"},
      {L"?page=2", L"https://localhost:8443/f/dir/setup.exe?page=2"},
      {L"next.exe#part", L"https://localhost:8443/f/dir/next.exe"},
      {L"1a:b.exe", L"https://localhost:8443/f/dir/1a:b.exe"},  // no scheme starts with a digit
  };
  for (const auto& c : cases) {
    const auto resolved = ResolveLocation(base, c.location);
    ASSERT_TRUE(resolved.has_value()) << c.location;
    EXPECT_EQ(*resolved, c.expected) << c.location;
  }
  EXPECT_EQ(ResolveLocation(L"https://localhost", L"a.exe").value_or(L"-"), L"https://localhost/a.exe");
}

TEST(ResolveLocation, UnusableValues) {
  const std::wstring base = L"https://localhost/f/a.exe";
  EXPECT_FALSE(ResolveLocation(base, L""));
  EXPECT_FALSE(ResolveLocation(base, L"#only-fragment"));
  EXPECT_FALSE(ResolveLocation(base, L"ftp://localhost/a.exe"));
  EXPECT_FALSE(ResolveLocation(base, L"file:///C:/Windows/notepad.exe"));
  EXPECT_FALSE(ResolveLocation(L"not a url", L"a.exe"));
}

}  // namespace

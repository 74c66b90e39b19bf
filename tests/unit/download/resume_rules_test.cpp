// What may continue a partial file, how much a body without a length may write, and which
// proxy a WinHTTP session is opened with.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "config/Hashing.h"
#include "config/NetworkPolicy.h"
#include "download/ResumeRules.h"

namespace {

using namespace download;
constexpr unsigned long long kMiB = 1024 * 1024;

TEST(ResumeRules, ContentRangeForms) {
  struct Case {
    const wchar_t* value;
    std::optional<ContentRange> expected;
  };
  const Case cases[] = {
      {L"bytes 100-999/1000", ContentRange{100, 999, 1000}},
      {L"bytes 0-0/1", ContentRange{0, 0, 1}},
      {L"bytes 100-999/*", ContentRange{100, 999, std::nullopt}},
      {L"bytes 100-999/999", std::nullopt},  // last byte beyond the total
      {L"bytes 500-100/1000", std::nullopt},
      {L"bytes */1000", std::nullopt},  // the 416 form
      {L"items 100-999/1000", std::nullopt},
      {L"bytes 100-/1000", std::nullopt},
      {L"bytes -5-999/1000", std::nullopt},
      {L"bytes 1-2/99999999999999999999", std::nullopt},
      {L"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto range = ParseContentRange(c.value);
    ASSERT_EQ(range.has_value(), c.expected.has_value()) << c.value;
    if (!range) continue;
    EXPECT_EQ(range->first, c.expected->first) << c.value;
    EXPECT_EQ(range->last, c.expected->last) << c.value;
    EXPECT_EQ(range->total, c.expected->total) << c.value;
  }
}

TEST(ResumeRules, OnlyTheExactRestContinuesAFile) {
  struct Case {
    ContentRange range;
    unsigned long long have;
    std::optional<unsigned long long> total;
    bool continues;
  };
  const Case cases[] = {
      {{600, 999, 1000}, 600, 1000, true},         {{600, 999, std::nullopt}, 600, 1000, true},
      {{600, 999, 1000}, 600, std::nullopt, true}, {{500, 999, 1000}, 600, 1000, false},  // would repeat bytes
      {{700, 999, 1000}, 600, 1000, false},                                               // would leave a hole
      {{600, 899, 1000}, 600, 1000, false},   // stops short of the end asked for
      {{600, 1999, 2000}, 600, 1000, false},  // another file's length
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContinuesAt(c.range, c.have, c.total), c.continues) << c.range.first << "-" << c.range.last;
  }
}

TEST(ResumeRules, ValidatorIsTheStrongETagElseLastModified) {
  const std::wstring date = L"Wed, 09 Dec 2026 10:00:00 GMT";
  EXPECT_EQ(ResumeValidator(L"\"v1\"", date), L"\"v1\"");
  EXPECT_EQ(ResumeValidator(L"W/\"v1\"", date), date);
  EXPECT_EQ(ResumeValidator(L"", date), date);
  EXPECT_EQ(ResumeValidator(L"W/\"v1\"", L""), L"");
  EXPECT_EQ(RangeHeaders(600, L"\"v1\""), L"Range: bytes=600-\r\nIf-Range: \"v1\"");
}

TEST(ResumeRules, NoLengthCapKeepsAMarginOfTheFreeSpace) {
  const std::pair<std::optional<unsigned long long>, unsigned long long> cases[] = {
      {std::nullopt, kNoLengthCap},
      {100 * 1024 * kMiB, kNoLengthCap},
      {kNoLengthCap + kFreeSpaceMargin, kNoLengthCap},
      {1000 * kMiB, 1000 * kMiB - kFreeSpaceMargin},
      {kFreeSpaceMargin, 0},
      {10 * kMiB, 0},
  };
  for (const auto& [freeBytes, cap] : cases) EXPECT_EQ(NoLengthCap(freeBytes), cap) << freeBytes.value_or(0);
  EXPECT_EQ(kNoLengthCap, 4294967296ull);  // the documented 4 GiB
}

TEST(ProxyChoice, TheUsersOwnProxyIsNamedElseTheSystemDecides) {
  struct Case {
    config::UserProxySettings user;
    bool windows81;
    DWORD access;
    const wchar_t* proxy;
  };
  const config::UserProxySettings none;
  const config::UserProxySettings manual{false, L"", L"127.0.0.1:8888", L"<local>"};
  const config::UserProxySettings detect{true, L"", L"127.0.0.1:8888", L""};
  const config::UserProxySettings script{false, L"http://wpad/proxy.pac", L"127.0.0.1:8888", L""};
  const Case cases[] = {
      {manual, true, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"127.0.0.1:8888"},
      {manual, false, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"127.0.0.1:8888"},
      {none, true, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, L""},
      {none, false, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L""},
      {detect, true, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, L""},
      {script, false, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L""},
  };
  for (const Case& c : cases) {
    const config::WinHttpProxy choice = config::ChooseWinHttpProxy(c.user, c.windows81);
    EXPECT_EQ(choice.accessType, c.access) << c.user.proxy.size() << c.windows81;
    EXPECT_EQ(choice.proxy, c.proxy);
  }
  EXPECT_EQ(config::ChooseWinHttpProxy(manual, true).bypass, L"<local>");
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 200u, 1000u}) {
    config::Sha256 hash;
    hash.Update("stale", 5);
    hash.Restart();
    for (std::size_t at = 0; at < data.size(); at += piece) {
      hash.Update(data.data() + at, std::min(piece, data.size() - at));
    }
    EXPECT_EQ(hash.HexDigest(), config::Sha256Hex(data)) << piece;
  }
}

}  // namespace

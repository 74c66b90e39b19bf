#include "config/Identity.h"
#include "config/TextUtil.h"

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<std::wstring>;

TEST(Affiliate, ExactUpperCaseLookup) {
  EXPECT_EQ(config::AffiliateForCountry("US"), "91088");
  EXPECT_EQ(config::AffiliateForCountry("us"), "91082");
  EXPECT_EQ(config::AffiliateForCountry(""), "91082");
  EXPECT_EQ(config::AffiliateForCountry("NZ"), "91214");
  EXPECT_EQ(config::AffiliateForCountry("AE"), "91105");
  EXPECT_EQ(config::AffiliateForCountry("SG"), "91215");
  EXPECT_EQ(config::AffiliateForCountry("DE"), "91082");
}

TEST(CampaignCode, FromProgramPath) {
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\setup_ab12-cd.exe"), L"ab12-cd");
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\setup_abc1234.exe"), L"");  // no hyphen
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\setup_ab-cd.exe"), L"");    // five characters
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\a_b\\setup.exe"), L"");         // underscore in folder only
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\x_y_ab12-cd.exe"), L"ab12-cd");
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\setup_ab12-cd"), L"ab12-cd");  // no extension
  EXPECT_EQ(config::CampaignCodeFromPath(L"C:\\dl\\setup.exe"), L"");
}

TEST(ParseVersionList, PiecesAndNonDigits) {
  EXPECT_EQ(config::ParseVersionList(L"10.0.19045"), (std::vector<int>{10, 0, 19045}));
  EXPECT_EQ(config::ParseVersionList(L"1.a.3"), (std::vector<int>{1, 0, 3}));
  EXPECT_EQ(config::ParseVersionList(L"1..2"), (std::vector<int>{1, 2}));
  EXPECT_EQ(config::ParseVersionList(L".5."), (std::vector<int>{5}));
  EXPECT_EQ(config::ParseVersionList(L""), (std::vector<int>{}));
  EXPECT_EQ(config::ParseVersionList(L"3b.7"), (std::vector<int>{3, 7}));
}

TEST(SplitText, AdjacentAndTrailingDelimiters) {
  EXPECT_EQ(config::SplitText(L"HKLM\\Software\\Vendor", L"\\"), (Pieces{L"HKLM", L"Software", L"Vendor"}));
  EXPECT_EQ(config::SplitText(L"a\\\\b", L"\\"), (Pieces{L"a", L"", L"b"}));
  EXPECT_EQ(config::SplitText(L"a\\b\\", L"\\"), (Pieces{L"a", L"b"}));
  EXPECT_EQ(config::SplitText(L"\\a", L"\\"), (Pieces{L"", L"a"}));
  EXPECT_EQ(config::SplitText(L"", L"\\"), (Pieces{}));
  EXPECT_EQ(config::SplitText(L"a,b", L",;"), (Pieces{L"a", L"b"}));  // first character only
}

TEST(JoinWithCommas, NoOuterCommas) {
  EXPECT_EQ(config::JoinWithCommas({}), "");
  EXPECT_EQ(config::JoinWithCommas({"a"}), "a");
  EXPECT_EQ(config::JoinWithCommas({"a", "", "b"}), "a,,b");
}

TEST(LooksLikeUrl, TypicalLocations) {
  EXPECT_TRUE(config::LooksLikeUrl(L"setup.exe"));
  EXPECT_FALSE(config::LooksLikeUrl(L"abc_setup"));
  EXPECT_TRUE(config::LooksLikeUrl(L"https://cdn.example.com/a/setup.exe?x=1#f"));
  EXPECT_TRUE(config::LooksLikeUrl(L"http://example.com"));
  EXPECT_TRUE(config::LooksLikeUrl(L"example.com/path"));
  EXPECT_FALSE(config::LooksLikeUrl(L"ftp://example.com/x"));
  EXPECT_FALSE(config::LooksLikeUrl(L"https://localhost/f/x"));  // no dot in the host
  EXPECT_FALSE(config::LooksLikeUrl(L"https://example.com:443/x"));
  EXPECT_FALSE(config::LooksLikeUrl(L".exe"));
  EXPECT_FALSE(config::LooksLikeUrl(L"setup."));
  EXPECT_TRUE(config::LooksLikeUrl(L"a..b"));
  EXPECT_FALSE(config::LooksLikeUrl(L"a.b/c\nd"));
}

}  // namespace

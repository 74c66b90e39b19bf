// Applying the configuration document: which documents give offers, which cannot be used.
#include <windows.h>

#include <gtest/gtest.h>

#include "config/ConfigurationManager.h"
#include "i18n/LocaleTestSupport.h"
#include "offers/ConfigurationLoader.h"
#include "offers/Package.h"

using nlohmann::json;

namespace {

json Offer(const std::string& id, int vertical) {
  return {{"ad", {{"o", id}, {"f", "t"}}}, {"ps", {{"i", "i.png"}, {"dn", id}, {"u", "s.exe"}, {"v", vertical}}}};
}

json Document() {
  return {{"l", "US"},
          {"i", {{"ct", "Tavrel"}, {"cu", "https://localhost/f/x.exe"}}},
          {"f", {{"a", "pub"}, {"m", 3}}},
          {"o", {Offer("a", 1), Offer("b", 2)}}};
}

TEST(ConfigurationLoader, DocumentsGiveOffersOrFail) {
  struct Case {
    const char* name;
    json document;
    int offers;  // -1: the document cannot be used
  };
  json channel = Document();
  channel["i"]["ch"] = "00xA";
  channel.erase("f");
  json exclusive = Document();
  exclusive["o"][0]["ps"]["exc"] = true;
  json emptyTitle = Document();
  emptyTitle["i"]["ct"] = "";
  json fractional = Document();
  fractional["f"]["m"] = 2.5;
  json quoted = Document();
  quoted["f"]["m"] = "2";
  json huge = Document();
  huge["f"]["m"] = 1e12;
  json notObject = Document();
  notObject["o"].push_back("offer");
  json badType = Document();
  badType["i"]["cl"] = 7;
  const std::vector<Case> cases = {
      {"two offers", Document(), 2},  {"channel", channel, 0},          {"exclusive", exclusive, 1},
      {"empty title", emptyTitle, 0}, {"f.m 2.5", fractional, -1},      {"f.m text", quoted, -1},
      {"f.m 1e12", huge, -1},         {"not an object", notObject, -1}, {"wrong type", badType, -1},
  };
  for (const Case& c : cases) {
    auto config = testsupport::MakeConfig(L"DLM");
    try {
      const LoadedOffers loaded = ApplyConfigurationDocument(c.document, *config);
      EXPECT_EQ(static_cast<int>(loaded.packages.size()), c.offers) << c.name;
      EXPECT_EQ(loaded.productUnusable, std::string(c.name) == "empty title") << c.name;
    } catch (const std::exception& error) {
      EXPECT_EQ(c.offers, -1) << c.name << ": " << error.what();
    }
  }
}

}  // namespace

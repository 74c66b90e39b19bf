// Applying the configuration document: which documents give offers, which cannot be used.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "EligibilityTestSupport.h"
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

TEST(ConfigurationLoader, RejectionsGoToTheGivenSinkJudgedByTheGivenFacts) {
  auto config = testsupport::MakeConfig(L"DLM");
  json document = Document();
  document["o"].push_back(Offer("same-vertical", 1));
  json heavy = Offer("heavy", 3);
  heavy["ps"]["ram"] = 2048;
  document["o"].push_back(heavy);
  EvaluatorSetup setup;
  auto facts = std::make_shared<TestFacts>();
  facts->memory = Measurement{true, 1024ULL << 20, 0};
  setup.facts = facts;
  std::vector<std::pair<std::string, std::string>> events;
  setup.eventSink = [&events](Package& package, int id, const json& extra) {
    EXPECT_EQ(id, EVENT_NOT_SHOWN);
    events.emplace_back(package.m_offerId, extra.at("13").get<std::string>());
  };

  EXPECT_EQ(ApplyConfigurationDocument(document, *config, setup).packages.size(), 2u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"same-vertical", "SAME VERTICAL OFFER ALREADY PRESENT"}, {"heavy", "NOT ENOUGH RAM"}};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(facts->Counters().totalMemory, 1);
}

// The title goes into the wizard's own texts as text, so it is cut to a length a page can show;
// the hashes a document names are compared in lower case.
TEST(ConfigurationLoader, TheTitleIsCutAndHashesAreRead) {
  json document = Document();
  std::string title;
  for (int i = 0; i < 20000; ++i) title += "{PRODUCT_DISCLAIMER}";
  document["i"]["ct"] = "<a href=\"x\">" + title;
  document["i"]["sha256"] = "ABCdef";
  document["o"][0]["ps"]["sha256"] = "00FF";
  auto config = testsupport::MakeConfig(L"DLM");
  const LoadedOffers loaded = ApplyConfigurationDocument(document, *config);
  const std::string shown = "a href=\"x\"" + title;  // no tag can open
  EXPECT_EQ(config->productTitle, std::wstring(shown.begin(), shown.begin() + 256));
  EXPECT_EQ(config->productSha256, "abcdef");
  ASSERT_EQ(loaded.packages.size(), 2u);
  EXPECT_EQ(loaded.packages[0]->m_sha256, "00ff");
  EXPECT_EQ(loaded.packages[1]->m_sha256, "");
}

// Rejected offers are still sending their "not shown" events when the next offers are judged:
// dropping them never waits, however many there are and however slow the event service is.
TEST(ConfigurationLoader, RejectedOffersNeverWaitForTheirEvents) {
  json document = Document();
  document["f"]["m"] = 1000;
  document["o"] = json::array();
  for (int i = 0; i < 200; ++i) document["o"].push_back(Offer("o" + std::to_string(i), 1));
  auto config = testsupport::MakeConfig(L"DLM");
  config->eventsUrl = L"https://127.0.0.3/zbd";  // accepts and never answers

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ApplyConfigurationDocument(document, *config).packages.size(), 1u);
  // Before, each rejection past a few held the loading page for the 2 s a dropped package
  // waited: minutes in all.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  EXPECT_TRUE(Package::WaitForAllEventsUntil(started + std::chrono::seconds(60)));
}

// What a broken or hostile service could send ends, with offers or without, well within the time
// a user waits on the loading page.
TEST(ConfigurationLoader, LargeDocumentsEndQuickly) {
  struct Case {
    const char* name;
    json document;
    std::size_t offers;
  };
  json oneVertical = Document();
  oneVertical["o"] = json::array();
  for (int i = 0; i < 1000; ++i) oneVertical["o"].push_back(Offer("o" + std::to_string(i), 1));
  // 500 accepted offers with 256-byte ids, then 500 that each admit only offers listed before them.
  json allowedBefore = Document();
  allowedBefore["f"]["m"] = 1000;
  allowedBefore["o"] = json::array();
  for (int i = 0; i < 500; ++i) {
    std::string id = std::to_string(i);
    id.resize(256, 'x');
    allowedBefore["o"].push_back(Offer(id, i));
  }
  for (int i = 0; i < 500; ++i) {
    json late = Offer("late", 1000 + i);
    late["ps"]["pn"] = true;
    late["ps"]["cfs"] = {{"ab", {"unlisted"}}};
    allowedBefore["o"].push_back(late);
  }
  // The 1,000th offer is judged and the 1,001st is not: each would be accepted.
  json tooMany = oneVertical;
  tooMany["o"].back() = Offer("the last judged", 2);
  tooMany["o"].push_back(Offer("after the limit", 3));
  const std::vector<Case> cases = {
      {"1,000 offers of one vertical", oneVertical, 1},
      {"500 x 500 allowed-before checks", allowedBefore, 500},
      {"1,001 offers", tooMany, 2},
  };
  EvaluatorSetup quiet;
  quiet.eventSink = [](Package&, int, const json&) {};
  for (const Case& c : cases) {
    auto config = testsupport::MakeConfig(L"DLM");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ApplyConfigurationDocument(c.document, *config, quiet).packages.size(), c.offers) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << c.name;
  }
}

}  // namespace

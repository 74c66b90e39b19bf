// The offer pages and the dialog's offer flow: which offer pages are skipped after a decision,
// with which reason, and what each offer reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "ServiceControl.h"
#include "ShellFixture.h"
#include "app/WizardFrame.h"
#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"
#include "offers/Package.h"
#include "offers/RunState.h"
#include "pages/LoadingPage.h"
#include "resources/resource.h"

using nlohmann::json;

namespace {

struct Flow {
  int maxOffersInFlow = INT_MAX;
  bool skipAllAfterDecline = false;
  bool skipIfEarlierDeclined = false;
};

std::shared_ptr<Package> FlowOffer(const std::string& id, int index, const Flow& flow) {
  const json offer = {
      {"ad", {{"o", id}, {"f", "t"}}},
      {"ps",
       {{"i", "i.png"},
        {"dn", id},
        {"u", "s.exe"},
        {"pn", true},
        {"cfs",
         {{"mo", flow.maxOffersInFlow}, {"saad", flow.skipAllAfterDecline}, {"sied", flow.skipIfEarlierDeclined}}}}}};
  return Package::Offer(*ConfigurationManager::GetInstance(), offer, index);
}

class OfferFlow : public ShellFixture {
 protected:
  void SetUp() override {
    ShellFixture::SetUp();
    Stub({PageKind::Welcome, PageKind::DownloadDlm});
  }
  void TearDown() override {
    config->maxOffers = 0;
    config->offerCount = 0;
    config->extraOfferSlots = 0;
    ShellFixture::TearDown();
  }

  // The wizard on the first offer page of these offers.
  void StartWith(const std::vector<Flow>& flows, int maxOffers) {
    config->maxOffers = maxOffers;
    config->offerCount = static_cast<int>(flows.size());
    for (std::size_t i = 0; i < flows.size(); ++i) {
      m_offers.push_back(FlowOffer(std::string(1, static_cast<char>('a' + i)), static_cast<int>(i), flows[i]));
    }
    Start();
    ::SendMessageW(::GetDlgItem(dialog->Pages()[0]->GetHwnd(), IDC_NEXT), BM_CLICK, 0, 0);
    CompleteLoading(m_offers);
    StubAt(2).Press(ButtonType::Next);
  }

  void Press(int button) const { ::SendMessageW(::GetDlgItem(Current().GetHwnd(), button), BM_CLICK, 0, 0); }
  bool SkipAllShown() const { return ::IsWindowVisible(::GetDlgItem(Current().GetHwnd(), IDC_SKIP_ALL)) != FALSE; }

  // Every offer's events once they have arrived: "4", or "2:<reason>".
  std::map<std::string, std::vector<std::string>> Reports() const {
    for (const auto& offer : m_offers)
      offer->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30));
    std::map<std::string, std::vector<std::string>> reports;
    for (const json& event : ServiceControl::Events()) {
      std::string report = event["event_id"].get<std::string>();
      if (report == "2") report += ":" + event["data"]["13"].get<std::string>();
      reports[event["data"]["5"].get<std::string>()].push_back(report);
    }
    reports.erase("");  // the main product's start
    return reports;
  }

  std::vector<std::shared_ptr<Package>> m_offers;
};

TEST_F(OfferFlow, DecisionsSkipTheOfferPagesTheRulesExclude) {
  struct Case {
    const char* name;
    std::vector<Flow> flows;
    int maxOffers;
    std::vector<int> buttons;  // one per offer page shown
    std::map<std::string, std::vector<std::string>> reports;
  };
  const std::string limit = "2:EXCEEDED MAX NUMBER OF OFFERS IN FLOW";
  const std::vector<Case> cases = {
      {"limit of the first offer", {{2}, {}, {}}, 3, {IDC_ACCEPT, IDC_ACCEPT}, {{"c", {limit}}}},
      {"skip all after decline",
       {{}, {INT_MAX, true}, {}, {}},
       4,
       {IDC_ACCEPT, IDC_DECLINE},
       {{"b", {"4"}},
        {"c", {"2:SKIP ALL AFTER DECLINE OFFER DECLINED"}},
        {"d", {"2:SKIP ALL AFTER DECLINE OFFER DECLINED"}}}},
      {"skipped after an earlier decline",
       {{}, {INT_MAX, false, true}, {}},
       3,
       {IDC_DECLINE, IDC_ACCEPT},
       {{"a", {"4"}}, {"b", {"2:SKIPPED BECAUSE OF EARLIER DECLINE"}}}},
      {"skip all",
       {{}, {}, {}},
       3,
       {IDC_SKIP_ALL},
       {{"a", {"4"}}, {"b", {"2:SKIP ALL CLICKED"}}, {"c", {"2:SKIP ALL CLICKED"}}}},
      {"skipped past the accepted limit", {{}, {}}, 1, {IDC_SKIP_ALL}, {{"a", {"4"}}}},
      {"skip all on the last offer", {{}, {}}, 3, {IDC_ACCEPT, IDC_SKIP_ALL}, {{"b", {"4"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServiceControl::Reset();
    m_offers.clear();
    config->extraOfferSlots = 0;
    config->offerDeclined = false;
    StartWith(c.flows, c.maxOffers);
    for (int button : c.buttons) {
      ASSERT_EQ(Current().GetPageName(), L"ProductPage");
      Press(button);
    }
    EXPECT_EQ(Current().GetPageName(), L"DownloadPageDLM");
    EXPECT_EQ(Reports(), c.reports);
    if (std::string(c.name) == "skipped after an earlier decline") {
      EXPECT_EQ(config->extraOfferSlots, -1);
      EXPECT_EQ(m_offers[1]->m_flow.maxOffersInFlow, INT_MAX);
    }
    dialog.reset();
  }
}

TEST_F(OfferFlow, SkipAllShowsOnlyWhereSomethingCouldBeSkipped) {
  // The second offer's own limit ends the flow after it (the third is skipped by it).
  StartWith({{}, {2}, {}}, 3);
  EXPECT_TRUE(SkipAllShown());
  Press(IDC_ACCEPT);
  ASSERT_EQ(Current().GetPageName(), L"ProductPage");
  EXPECT_FALSE(SkipAllShown());
  Press(IDC_ACCEPT);
  EXPECT_EQ(Current().GetPageName(), L"DownloadPageDLM");
  // Accepted and shown offers are recorded once each, in order.
  const std::vector<std::shared_ptr<Package>> firstTwo(m_offers.begin(), m_offers.begin() + 2);
  EXPECT_EQ(dialog->Run().acceptedOffers, firstTwo);
  EXPECT_EQ(dialog->Run().shownOffers, firstTwo);
}

// Nothing to show but a logo: the hand-over comes once, from the logo's download, with the logo.
TEST_F(ShellFixture, LoadingHandsOverExactlyOnce) {
  const json document = {
      {"i", {{"ct", "Tavrel"}, {"cu", "https://localhost/f/x.exe"}, {"cl", "https://localhost/f/logo.png"}}}};
  ServiceControl::SetScenario("/o", json::array({{{"body", document.dump()}}}));
  WizardFrame frame(IDD_BRINDLE_DIALOG, config);
  ASSERT_TRUE(frame.Create(nullptr));
  LoadingPage page({std::make_shared<LanguageManager>(&frame, config), &frame, config, std::make_shared<RunState>()});
  ASSERT_TRUE(frame.HostPage(page));
  int calls = 0;
  LoadResult handedOver;
  page.SetLoadCompleteCallback([&](LoadResult result) {
    ++calls;
    handedOver = std::move(result);
  });
  page.OnNavigateToPage();
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
  PumpUntil([] { return false; }, 500);  // a second hand-over would come now
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(handedOver.packages.empty());
  EXPECT_FALSE(handedOver.logo.empty());
  config->productTitle.clear();
  config->productUrl.clear();
  config->logoUrl.clear();
}

}  // namespace

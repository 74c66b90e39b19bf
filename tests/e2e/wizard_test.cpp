// Whole wizard runs: the real wizard against the reference service, driven page by page from
// outside, with test installers as products and offers.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ServiceControl.h"
#include "UiDriver.h"
#include "WizardSession.h"
#include "resources/resource.h"
#include "win32/Strings.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

json Document(const json& offers, int maxOffers = 3) {
  return {{"l", "US"},
          {"i",
           {{"ct", "Tavrel"},
            {"cu", std::string("https://localhost/f/") + kInstaller},
            {"cl", "https://localhost/f/logo.png"},
            {"cf", "TavrelSetup.exe"},
            {"cp", "https://localhost/privacy"},
            {"ctu", "https://localhost/terms"}}},
          {"f", {{"a", "pub-1"}, {"m", maxOffers}}},
          {"o", offers}};
}

void Serve(const std::string& body) { ServiceControl::SetScenario("/o", json::array({{{"body", body}}})); }
void Serve(const json& document) { Serve(document.dump()); }
// Serves a test installer under another path, so two offers can both be called setup.exe.
void ServeInstallerAs(const std::string& path) {
  ServiceControl::SetScenario(path, json::array({{{"body_file", kInstaller}}}));
}

bool StyleHas(HWND window, LONG_PTR bits) { return (::GetWindowLongPtrW(window, GWL_STYLE) & bits) == bits; }
void Uncheck(HWND control) { ::SendMessageW(control, BM_SETCHECK, BST_UNCHECKED, 0); }

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override {
    ServiceControl::Reset();
    m_product = DownloadsFolder() + L"\\TavrelSetup.exe";
    ::DeleteFileW(m_product.c_str());
  }
  void TearDown() override {
    ::DeleteFileW(m_product.c_str());
    for (const auto& folder : WorkFolders()) {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
    }
  }

  // From the language page through the loading page to the page after it.
  static void Begin(WizardSession& run, const std::wstring& next = L"WelcomePage") {
    ASSERT_TRUE(run.ShowsPage(L"LanguagePage"));
    run.Click(IDC_NEXT);
    ASSERT_TRUE(run.ShowsPage(next));
  }

  // Finish without launching anything.
  static void FinishQuietly(WizardSession& run, const std::wstring& page = L"FinishPageDLM") {
    ASSERT_TRUE(run.ShowsPage(page));
    Uncheck(run.Control(IDC_LAUNCH_RADIO));
    Uncheck(run.Control(IDC_LAUNCH_CHECK));
    run.Click(IDC_FINISH);
    EXPECT_EQ(run.ExitCode(), 1);
  }

  std::wstring m_product;
};

TEST_F(Wizard, DownloadManagerRunFromLanguageToFinish) {
  ServeInstallerAs("/f/a/setup.exe");
  ServeInstallerAs("/f/c/setup.exe");
  Serve(Document({TestOffer("a", 1, "a/setup.exe", "/id=a"), TestOffer("b", 2, kInstaller, "/id=b", "offer2.png"),
                  TestOffer("c", 3, "https://localhost/f/c/setup.exe", "/id=c \xC3\xA9")}));
  WizardSession run(kDlm);
  Begin(run);
  EXPECT_EQ(uidriver::GetText(run.Main()), L"Tavrel Setup");
  EXPECT_TRUE(uidriver::IsVisible(uidriver::FindControl(run.Main(), IDC_PRODUCT_ICON)));
  EXPECT_EQ(uidriver::GetText(uidriver::FindControl(run.Main(), IDC_TITLE)), L"Tavrel");
  EXPECT_EQ(run.Text(IDC_WELCOME_TEXT), L"This will download Tavrel on your computer. Click \"Next\" to continue.");
  EXPECT_EQ(run.Text(IDC_PRIVACY_LINK), L"<a href=\"https://localhost/privacy\">Privacy Policy</a>");
  run.Click(IDC_NEXT);

  const std::vector<std::pair<std::string, int>> decisions = {{"a", IDC_ACCEPT}, {"b", IDC_DECLINE}, {"c", IDC_ACCEPT}};
  for (const auto& [id, button] : decisions) {
    ASSERT_TRUE(run.ShowsPage(L"ProductPage"));
    const std::wstring disclaimer = run.Text(IDC_DISCLAIMER_LINK);
    EXPECT_NE(disclaimer.find(L"\"Offer " + win32::Widen(id, CP_UTF8) + L"\""), std::wstring::npos)
        << win32::WideToUtf8(disclaimer);
    EXPECT_NE(disclaimer.find(L"href=\"https://localhost/" + win32::Widen(id, CP_UTF8) + L"/privacy\""),
              std::wstring::npos);
    // The last offer has nothing left to skip.
    EXPECT_EQ(uidriver::IsVisible(run.Control(IDC_SKIP_ALL)), id != "c") << id;
    run.Click(button);
  }
  ASSERT_TRUE(run.ShowsPage(L"FinishPageDLM"));
  EXPECT_FALSE(StyleHas(run.Main(), WS_MINIMIZEBOX));
  // Launch is preselected: Finish opens the downloaded product.
  run.Click(IDC_FINISH);
  EXPECT_EQ(run.ExitCode(), 1);

  EXPECT_TRUE(FileExists(m_product));
  EXPECT_EQ(ServiceControl::Requests("/f/a/setup.exe").size(), 1u);
  // Two offers both called setup.exe, each run from a folder of its own, and the product.
  ASSERT_TRUE(
      uidriver::WaitFor([&] { return run.InstallerRecords().size() == 3 ? run.Main() : nullptr; }, WizardTimeout()));
  std::vector<std::string> commandLines;
  for (const auto& record : run.InstallerRecords()) {
    const std::string& exe = record.at("exe");
    EXPECT_EQ(record.at("cwd"), exe.substr(0, exe.rfind('\\'))) << exe;
    commandLines.push_back(record.at("cmdline").substr(exe.size() + 2));
  }
  std::sort(commandLines.begin(), commandLines.end());
  EXPECT_EQ(commandLines, (std::vector<std::string>{"", " /id=a", " /id=c \xC3\xA9"}));

  const auto events = EventsByPackage(ServiceControl::Events());
  const std::map<std::string, std::vector<std::string>> expected = {
      {"", {"1"}}, {"Tavrel", {"3"}}, {"a", {"3"}}, {"b", {"4"}}, {"c", {"3"}}};
  EXPECT_EQ(events, expected);
}

TEST_F(Wizard, UnusableConfigurationsEndOnTheErrorPage) {
  json badType = Document(json::array());
  badType["i"]["cl"] = 7;
  json fractional = Document(json::array({TestOffer("a", 1, kInstaller, "")}));
  fractional["f"]["m"] = 2.5;
  json noLimit = fractional;
  noLimit["f"].erase("m");
  json notAnObject = Document(json::array({"offer"}));
  json emptyTitle = Document(json::array());
  emptyTitle["i"]["ct"] = "";
  json noProduct = Document(json::array());
  noProduct.erase("i");
  const std::vector<std::pair<const char*, json>> cases = {{"empty title", emptyTitle},
                                                           {"invalid JSON", "{\"i\": "},
                                                           {"no product", noProduct},
                                                           {"wrong type", badType},
                                                           {"f.m of 2.5", fractional},
                                                           {"no f.m", noLimit},
                                                           {"offer not an object", notAnObject},
                                                           {"connection reset", nullptr}};
  for (const auto& [name, document] : cases) {
    SCOPED_TRACE(name);
    ServiceControl::Reset();
    if (document.is_null()) {
      ServiceControl::SetScenario("/o", json::array({{{"reset", true}}, {{"reset", true}}, {{"reset", true}}}));
    } else {
      Serve(document.is_string() ? document.get<std::string>() : document.dump());
    }
    WizardSession run(kDlm);
    Begin(run, L"ErrorPage");
    EXPECT_EQ(run.Text(IDC_ERROR_TITLE), L"Something went wrong");
    EXPECT_EQ(run.Text(IDC_ERROR_TEXT), L"Please try to download later");
    run.Click(IDC_ERROR_CLOSE);
    EXPECT_EQ(run.ExitCode(), 1);
  }
}

TEST_F(Wizard, AnInstallerGoesOnWithoutItsService) {
  ServiceControl::SetScenario("/o", json::array({{{"reset", true}}, {{"reset", true}}, {{"reset", true}}}));
  WizardSession run(kIsv);
  Begin(run, L"WelcomePage");
  EXPECT_TRUE(run.Close(IDOK).size() > 0);
  EXPECT_EQ(run.ExitCode(), IDCANCEL);
}

TEST_F(Wizard, DocumentsDecideWhichOfferPagesShow) {
  json channel = Document({TestOffer("a", 1, kInstaller, ""), TestOffer("b", 2, kInstaller, "")});
  channel["i"]["ch"] = "00xA";
  channel.erase("f");  // no limit needed when no offer is looked at
  json exclusive = Document({TestOffer("a", 1, kInstaller, ""), TestOffer("b", 2, kInstaller, "")});
  exclusive["o"][0]["ps"]["exc"] = true;
  json missingPicture = Document(json::array({TestOffer("a", 1, kInstaller, "", "no-such-picture.png")}));
  json plain = Document(json::array());
  plain["i"].erase("cl");
  const std::vector<std::tuple<const char*, json, int>> cases = {{"channel without offers", channel, 0},
                                                                 {"exclusive first offer", exclusive, 1},
                                                                 {"picture missing", missingPicture, 1},
                                                                 {"no offers, no logo", plain, 0}};
  for (const auto& [name, document, offerPages] : cases) {
    SCOPED_TRACE(name);
    ServiceControl::Reset();
    Serve(document);
    WizardSession run(kDlm);
    Begin(run);
    run.Click(IDC_NEXT);
    for (int i = 0; i < offerPages; ++i) {
      ASSERT_TRUE(run.ShowsPage(L"ProductPage"));
      run.Click(IDC_DECLINE);
    }
    FinishQuietly(run);
  }
}

TEST_F(Wizard, SkipAllOnTheFirstOfferSkipsTheOthers) {
  json offers = {TestOffer("a", 1, kInstaller, ""), TestOffer("b", 2, kInstaller, ""),
                 TestOffer("c", 3, kInstaller, "")};
  offers[0]["ps"]["dn"] = "x</a><a href=\"https://evil.example/\">y";
  Serve(Document(offers));
  WizardSession run(kDlm);
  Begin(run);
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"ProductPage"));
  // The name shows as text: it neither ends the link it is in nor opens one of its own.
  const std::wstring disclaimer = run.Text(IDC_DISCLAIMER_LINK);
  EXPECT_NE(disclaimer.find(L"\"x/aa href=\"https://evil.example/\"y\""), std::wstring::npos)
      << win32::WideToUtf8(disclaimer);
  EXPECT_EQ(disclaimer.find(L"<a href=\"https://evil"), std::wstring::npos) << win32::WideToUtf8(disclaimer);
  run.Click(IDC_SKIP_ALL);
  FinishQuietly(run);
  const auto events = EventsByPackage(ServiceControl::Events());
  EXPECT_EQ(events.at("a"), std::vector<std::string>{"4"});
  EXPECT_EQ(events.at("b"), std::vector<std::string>{"2"});
  EXPECT_EQ(events.at("c"), std::vector<std::string>{"2"});
  for (const auto& event : ServiceControl::Events()) {
    if (event["event_id"] == "2") {
      EXPECT_EQ(event["data"]["13"], "SKIP ALL CLICKED");
    }
  }
}

TEST_F(Wizard, ClosingWhileLoadingEndsPromptly) {
  const json document = Document({TestOffer("a", 1, kInstaller, ""), TestOffer("b", 2, kInstaller, "", "offer2.png")});
  for (const bool picturesPending : {false, true}) {
    SCOPED_TRACE(picturesPending ? "pictures pending" : "configuration pending");
    ServiceControl::Reset();
    const std::string waitedFor = picturesPending ? "/f/offer2.png" : "/o";
    if (picturesPending) {
      Serve(document);
      ServiceControl::SetScenario(waitedFor, json::array({{{"delay_ms", 20000}, {"body", "late"}}}));
    } else {
      ServiceControl::SetScenario(waitedFor, json::array({{{"delay_ms", 20000}, {"body", document.dump()}}}));
    }
    WizardSession run(kDlm);
    Begin(run, L"LoadingPage");
    ASSERT_NE(uidriver::WaitFor([&] { return ServiceControl::Requests(waitedFor).empty() ? nullptr : run.Main(); },
                                WizardTimeout()),
              nullptr);
    EXPECT_EQ(run.Close(IDOK), L"Are you sure you want to exit the installer?");
    // Well before the late answer: nothing waits for it.
    EXPECT_EQ(run.ExitCode(15000), IDCANCEL);
  }
}

}  // namespace

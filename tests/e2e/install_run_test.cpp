// Whole wizard runs around downloads and installers: failures, unsafe addresses, the ISV
// product installer, the BT page sets, and closing while work is under way.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

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

json Document(const json& offers, const std::string& productPath = kInstaller) {
  return {{"i", {{"ct", "Tavrel"}, {"cu", "https://localhost/f/" + productPath}}}, {"f", {{"m", 5}}}, {"o", offers}};
}

void Serve(const json& document) { ServiceControl::SetScenario("/o", json::array({{{"body", document.dump()}}})); }

std::map<std::string, json> LastEventByPackage() {
  std::map<std::string, json> last;
  for (const auto& event : ServiceControl::Events()) last[event["data"]["5"].get<std::string>()] = event;
  return last;
}

class InstallRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ServiceControl::Reset();
    m_downloads = DownloadsFolder();
    Clean();
  }
  void TearDown() override { Clean(); }

  void Clean() const {
    std::error_code ignored;
    for (const auto& name : {L"Tavrel.exe", L"TavrelSetup.exe"}) fs::remove(m_downloads + L"\\" + name, ignored);
    for (const auto& folder : WorkFolders()) fs::remove_all(folder, ignored);
  }

  // Language, welcome, then the decision on each offer page.
  static void ThroughOffers(WizardSession& run, const std::vector<int>& buttons,
                            const std::wstring& first = L"LanguagePage") {
    ASSERT_TRUE(run.ShowsPage(first));
    run.Click(IDC_NEXT);
    ASSERT_TRUE(run.ShowsPage(L"WelcomePage"));
    run.Click(IDC_NEXT);
    for (int button : buttons) {
      ASSERT_TRUE(run.ShowsPage(L"ProductPage"));
      run.Click(button);
    }
  }

  static void FinishQuietly(WizardSession& run, const std::wstring& page) {
    ASSERT_TRUE(run.ShowsPage(page));
    ::SendMessageW(run.Control(page == L"FinishPageDLM" ? IDC_LAUNCH_RADIO : IDC_LAUNCH_CHECK), BM_SETCHECK,
                   BST_UNCHECKED, 0);
    run.Click(IDC_FINISH);
    EXPECT_EQ(run.ExitCode(), 1);
  }

  std::wstring m_downloads;
};

TEST_F(InstallRun, AProductAloneIsSavedUnderItsTitleAndNothingRuns) {
  Serve(Document(json::array()));
  WizardSession run(kDlm);
  ThroughOffers(run, {});
  FinishQuietly(run, L"FinishPageDLM");
  EXPECT_TRUE(FileExists(m_downloads + L"\\Tavrel.exe"));  // no file name given: the title
  EXPECT_TRUE(run.InstallerRecords().empty());
  EXPECT_EQ(ServiceControl::Requests("/f/install/test_installer.exe").size(), 1u);
  EXPECT_EQ(LastEventByPackage().at("Tavrel")["event_id"], "3");
}

TEST_F(InstallRun, FailuresAreReportedPerPackageAndOffersStillRun) {
  ServiceControl::SetScenario("/f/setup.exe", json::array({{{"body_file", kInstaller}}}));
  ServiceControl::SetScenario("/f/offer1/setup.exe", json::array({{{"body_file", "offer1/OfferOneSetup.exe"}}}));
  const json offers = {TestOffer("relative", 1, "setup.exe", "/id=relative"),
                       TestOffer("text", 2, "offer1/setup.exe", ""),  // not a program: its start fails
                       TestOffer("plain", 3, "http://localhost/f/install/test_installer.exe", ""),
                       TestOffer("name", 4, "https://localhost/f/caf\xC3\xA9|x.exe", "")};
  Serve(Document(offers, "missing.exe"));
  WizardSession run(kDlm);
  ThroughOffers(run, {IDC_ACCEPT, IDC_ACCEPT, IDC_ACCEPT, IDC_ACCEPT});
  ASSERT_TRUE(run.ShowsPage(L"ErrorPage"));
  EXPECT_EQ(run.Text(IDC_ERROR_TITLE), L"Error in downloading");
  EXPECT_EQ(run.Text(IDC_ERROR_TEXT), L"Please try to download later");
  run.Click(IDC_ERROR_CLOSE);
  EXPECT_EQ(run.ExitCode(), 1);

  ASSERT_EQ(run.InstallerRecords().size(), 1u);
  EXPECT_NE(run.InstallerRecords()[0].at("cmdline").find("/id=relative"), std::string::npos);
  const auto last = LastEventByPackage();
  const auto text = [&](const char* id) { return last.at(id)["data"]["12"].get<std::string>(); };
  // The main product's failure counts as finished; an offer's is a failure.
  EXPECT_EQ(last.at("Tavrel")["event_id"], "3");
  EXPECT_EQ(text("Tavrel").rfind("DOWNLOAD FAILED: [WINHTTP] Download failed: Server returned status code: 404", 0),
            0u);
  EXPECT_EQ(last.at("relative")["event_id"], "3");
  EXPECT_EQ(last.at("text")["event_id"], "-1");
  EXPECT_EQ(text("text").rfind("EXEC FAILED: Error launching executable: ", 0), 0u);
  EXPECT_EQ(last.at("plain")["event_id"], "-1");
  EXPECT_EQ(text("plain"), "DOWNLOAD FAILED: Not a secure URL");
  EXPECT_TRUE(ServiceControl::Requests("/f/install/test_installer.exe").empty());
  EXPECT_EQ(last.at("name")["event_id"], "-1");
  EXPECT_NE(text("name").find("caf\xC3\xA9|x.exe"), std::string::npos) << text("name");
}

TEST_F(InstallRun, TheInstallersProductRunsFirstAndIsJudgedByItsExitCode) {
  for (const int exitCode : {0, 1}) {
    SCOPED_TRACE(exitCode);
    ServiceControl::Reset();
    Serve(Document(json::array({TestOffer("o", 1, kInstaller, "/id=offer")})));
    WizardSession run(kIsv, {{L"BRINDLE_INSTALLER_EXIT", std::to_wstring(exitCode)}});
    ThroughOffers(run, {IDC_ACCEPT});
    ASSERT_TRUE(run.ShowsPage(L"DownloadPageISV"));
    // The product installer takes a while (the test build gives it /sleep): the bar runs as a
    // marquee and closing asks about the running installer.
    ASSERT_NE(uidriver::WaitFor(
                  [&] {
                    HWND bar = run.Control(IDC_PROGRESS);
                    return (::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) ? bar : nullptr;
                  },
                  WizardTimeout()),
              nullptr);
    if (exitCode == 0) {
      EXPECT_EQ(run.Close(IDCANCEL),
                L"Some installer processes are already running in the background and will finish momentarily. Are "
                L"you sure you would like to exit?");
    }
    if (exitCode == 0) {
      FinishQuietly(run, L"FinishPageISV");
    } else {
      ASSERT_TRUE(run.ShowsPage(L"ErrorPage"));
      EXPECT_EQ(run.Text(IDC_ERROR_TITLE), L"Error occurred while installing Tavrel.");
      EXPECT_EQ(run.Text(IDC_ERROR_TEXT), L"Click on \"Close\" and try again later.");
      run.Click(IDC_ERROR_CLOSE);
      EXPECT_EQ(run.ExitCode(), 1);
    }
    const auto records = run.InstallerRecords();
    ASSERT_EQ(records.size(), 2u);
    // Both are test_installer.exe: the product in the first package folder, the offer after it.
    const auto& product = records[0].at("exe") < records[1].at("exe") ? records[0] : records[1];
    const auto& offer = &product == &records[0] ? records[1] : records[0];
    EXPECT_NE(product.at("cmdline").find("/sleep="), std::string::npos);
    EXPECT_NE(offer.at("cmdline").find("/id=offer"), std::string::npos);
    const auto last = LastEventByPackage();
    EXPECT_EQ(last.at("Tavrel")["event_id"], "3");
    EXPECT_EQ(last.at("Tavrel")["data"].value("12", ""), exitCode == 0 ? "" : "EXEC FAILED: exit code = 1");
    EXPECT_EQ(last.at("o")["event_id"], "3");
  }
}

TEST_F(InstallRun, ClassicPagesBecomeTheProductsCommandLine) {
  Serve(Document(json::array()));
  WizardSession run(kIsvClassic);
  ASSERT_TRUE(run.ShowsPage(L"LanguagePageBT"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"WarningPageBTClassic"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"LicensePage"));
  run.Click(IDC_AGREE);
  ASSERT_TRUE(run.ShowsPage(L"OptionsPageBTClassic"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"ConfigurationsPageBTClassic"));
  // The first box's label stands clear of the box, with the gap a box's own text has.
  RECT box{};
  RECT label{};
  ::GetWindowRect(run.Control(IDC_CONFIGURATIONS_CHECK_1), &box);
  ::GetWindowRect(run.Control(IDC_CONFIGURATIONS_LABEL_1), &label);
  EXPECT_GE(label.left, box.left + ::GetSystemMetrics(SM_CXMENUCHECK) + 3);
  ::SendMessageW(run.Control(IDC_CONFIGURATIONS_CHECK_3), BM_SETCHECK, BST_UNCHECKED, 0);
  run.Click(IDC_BACK);
  ASSERT_TRUE(run.ShowsPage(L"OptionsPageBTClassic"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"ConfigurationsPageBTClassic"));
  EXPECT_EQ(::SendMessageW(run.Control(IDC_CONFIGURATIONS_CHECK_3), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  run.Click(IDC_NEXT);
  FinishQuietly(run, L"FinishPageISV");
  ASSERT_EQ(run.InstallerRecords().size(), 1u);
  const std::string commandLine = run.InstallerRecords()[0].at("cmdline");
  // Element 5 (the third configuration box) is clear: positions 1 and 12.
  EXPECT_EQ(commandLine.substr(commandLine.find("/S ")), "/S /FORCEINSTALL 0110010101101110");
}

TEST_F(InstallRun, TheBtLicencePageGoesBackToTheLanguagePage) {
  Serve(Document(json::array()));
  WizardSession run(kDlmBt);
  ASSERT_TRUE(run.ShowsPage(L"LanguagePageBT"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"LicensePage"));
  EXPECT_EQ(run.Text(IDC_AGREE), L"Agree");
  run.Click(IDC_BACK);
  ASSERT_TRUE(run.ShowsPage(L"LanguagePageBT"));
  run.Click(IDC_NEXT);
  ASSERT_TRUE(run.ShowsPage(L"LicensePage"));
  run.Click(IDC_AGREE);
  FinishQuietly(run, L"FinishPageDLM");
  EXPECT_EQ(ServiceControl::Requests("/o").size(), 1u);
  int started = 0;
  for (const auto& event : ServiceControl::Events()) started += event["event_id"] == "1" ? 1 : 0;
  EXPECT_EQ(started, 1);
}

TEST_F(InstallRun, ClosingDuringAStalledDownloadCancelsItAndReports) {
  // Headers and a first part, then a trickle: the download is under way when the user closes.
  ServiceControl::SetScenario("/f/stall.exe", json::array({{{"body_size", 50 * 1024 * 1024}, {"rate", 4096}}}));
  Serve(Document(json::array({TestOffer("o", 1, kInstaller, "")}), "stall.exe"));
  WizardSession run(kDlm);
  ThroughOffers(run, {IDC_ACCEPT});
  ASSERT_TRUE(run.ShowsPage(L"DownloadPageDLM"));
  ASSERT_NE(uidriver::WaitFor([] { return ServiceControl::Requests("/f/stall.exe").empty() ? nullptr : HWND(1); },
                              WizardTimeout()),
            nullptr);
  EXPECT_EQ(run.Close(IDOK), L"Are you sure you want to exit the installer?");
  EXPECT_EQ(run.ExitCode(), IDCANCEL);
  // No partial file in Downloads, the offer never fetched, the work folder left empty.
  for (const auto& entry : fs::directory_iterator(m_downloads)) {
    EXPECT_NE(entry.path().extension(), L".tmp") << entry.path();
    EXPECT_NE(entry.path().filename(), L"stall.exe");
  }
  EXPECT_TRUE(ServiceControl::Requests("/f/install/test_installer.exe").empty());
  for (const auto& folder : WorkFolders()) EXPECT_TRUE(fs::is_empty(folder)) << folder;
  const auto last = LastEventByPackage();
  EXPECT_EQ(last.at("Tavrel")["event_id"], "5");
  EXPECT_EQ(last.at("o")["event_id"], "5");
}

// The staging folders of ZIP extractions under way in the work folders.
std::vector<fs::path> StagingFolders() {
  std::vector<fs::path> found;
  for (const auto& folder : WorkFolders()) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().filename().wstring().rfind(L"~zip", 0) == 0) found.push_back(it->path());
    }
  }
  return found;
}

// Closing while an offer's ZIP is unpacked: its start stops before anything runs, the exit
// waits for it, and nothing half unpacked stays behind.
TEST_F(InstallRun, ClosingDuringAnUnpackStartsNothingAndLeavesNothing) {
  Serve(Document(json::array({TestOffer("zip", 1, "install/large.zip", "")})));
  WizardSession run(kDlm);
  ThroughOffers(run, {IDC_ACCEPT});
  ASSERT_NE(uidriver::WaitFor([] { return StagingFolders().empty() ? nullptr : HWND(1); }, WizardTimeout()), nullptr);
  EXPECT_EQ(run.Close(IDOK), L"Are you sure you want to exit the installer?");
  EXPECT_EQ(run.ExitCode(), IDCANCEL);
  EXPECT_TRUE(StagingFolders().empty());
  for (const auto& folder : WorkFolders()) EXPECT_TRUE(fs::is_empty(folder)) << folder;
  EXPECT_EQ(uidriver::WaitFor([&] { return run.InstallerRecords().empty() ? nullptr : HWND(1); }, 2000), nullptr);
  EXPECT_EQ(LastEventByPackage().at("zip")["event_id"], "5");
}

// Closing while the loading worker still judges offers with long rule lists: the worker
// outlives the exit's waits, and the process still ends with the close's code, no crash.
TEST_F(InstallRun, ClosingWhileOffersAreJudgedEndsWithTheClosesCode) {
  json offers = json::array();
  for (int i = 0; i < 4; ++i) {
    json offer = TestOffer("slow" + std::to_string(i), i + 1, kInstaller, "");
    offer["ps"]["rvd"] = std::vector<std::string>(10000, "hkcu\\software\\wine\\nosuchvalue\\x");
    offers.push_back(offer);
  }
  Serve(Document(offers));
  WizardSession run(kDlm);
  ASSERT_TRUE(run.ShowsPage(L"LanguagePage"));
  run.Click(IDC_NEXT);
  ASSERT_NE(
      uidriver::WaitFor([] { return ServiceControl::Requests("/o").empty() ? nullptr : HWND(1); }, WizardTimeout()),
      nullptr);
  ::Sleep(500);
  EXPECT_EQ(run.Close(IDOK), L"Are you sure you want to exit the installer?");
  EXPECT_EQ(run.ExitCode(), IDCANCEL);
}

// A ZIP offer whose installer still reads a file beside itself after Finish, and a real NSIS
// installer run silently, as partners ship them.
TEST_F(InstallRun, OffersStillRunningAtFinishKeepTheirFiles) {
  const PendingRemovals pending;  // the folder goes at the restart, which never comes here
  Serve(Document({TestOffer("zip", 1, "install/offer.zip", "/sleep=3000 /read=payload.txt"),
                  TestOffer("nsis", 2, "install/nsis_setup.exe", "/S")}));
  WizardSession run(kDlm);
  ThroughOffers(run, {IDC_ACCEPT, IDC_ACCEPT});
  FinishQuietly(run, L"FinishPageDLM");
  ASSERT_NE(uidriver::WaitFor([&] { return run.InstallerRecords().size() == 2 ? HWND(1) : nullptr; }, WizardTimeout()),
            nullptr);
  const auto records = run.InstallerRecords();
  EXPECT_NE(records[0].at("cmdline").find(" /S"), std::string::npos);
  EXPECT_TRUE(FileExists(run.InstallerLogFolder() + L"\\nsis-installed\\payload.txt"));
  EXPECT_EQ(records[1].at("data"), "payload beside the installer");
  EXPECT_EQ(LastEventByPackage().at("nsis")["event_id"], "3");
}

}  // namespace

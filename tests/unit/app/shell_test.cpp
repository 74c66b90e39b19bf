// The main dialog's page sequence, navigation, error page and close sequence, driven in the
// test process with stand-in pages where a test needs them.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "ServiceControl.h"
#include "ShellFixture.h"
#include "app/FolderCleanup.h"
#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/PathTokens.h"
#include "i18n/LanguageManager.h"
#include "offers/Package.h"
#include "offers/RunState.h"
#include "pages/ErrorPage.h"
#include "pages/LoadingPage.h"
#include "pages/test_ids.h"
#include "resources/resource.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

using nlohmann::json;

namespace {

using Shell = ShellFixture;

std::wstring Text(HWND page, int id) { return win32::GetWindowTextString(::GetDlgItem(page, id)); }
void Click(HWND page, int id) { ::SendMessageW(::GetDlgItem(page, id), BM_CLICK, 0, 0); }

DWORD ThreadCount() {
  win32::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  DWORD count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  return count;
}

std::vector<std::string> SortedEventIds() {
  std::vector<std::string> ids;
  for (const json& event : ServiceControl::Events()) ids.push_back(event["event_id"].get<std::string>());
  std::sort(ids.begin(), ids.end());
  return ids;
}

// A 1 x 1 PNG.
constexpr const char* kPixel =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==";

std::shared_ptr<Package> Offer(const std::string& id) {
  json offer = {{"ad", {{"o", id}, {"f", "tok-" + id}}}, {"ps", {{"i", id + ".png"}, {"dn", id}, {"u", "s.exe"}}}};
  return Package::Offer(*ConfigurationManager::GetInstance(), offer, 0);
}

// The loading and error pages are made when first needed, not at start.
TEST_F(Shell, StartsWithTheLanguagePageAlone) {
  struct Case {
    bool bt;
    const wchar_t* first;
    bool listVisible;
    int textId;
    const wchar_t* text;
  };
  for (const Case& c : {Case{false, L"LanguagePage", true, IDC_SPLASH_TEXT,
                             L"To continue, please select your preferred language, and click \"Next\"."},
                        Case{true, L"LanguagePageBT", false, IDC_SPLASH_TITLE_BT, L"Welcome to the  Setup Wizard"}}) {
    config->btPages = c.bt;
    Start();
    EXPECT_EQ(PageNames(), (std::vector<std::wstring>{c.first}));
    HWND first = dialog->Pages()[0]->GetHwnd();
    EXPECT_EQ(dialog->CurrentPage(), 0);
    EXPECT_TRUE(::IsWindowVisible(first));
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(first, IDC_NEXT));  // focused once the dialog shows
    EXPECT_EQ(shownCalls, std::vector<bool>{true});
    shownCalls.clear();
    EXPECT_EQ(dialog->GetErrorPage(), nullptr);
    EXPECT_EQ(::IsWindowVisible(::GetDlgItem(first, IDC_LANGUAGE_COMBO)) != FALSE, c.listVisible) << c.first;
    EXPECT_EQ(Text(first, c.textId), c.text);
    EXPECT_EQ(win32::GetWindowTextString(first), c.first);  // what drivers outside the process read
    EXPECT_EQ(win32::GetWindowTextString(Main()), L"Setup");
    dialog.reset();
  }
}

// Run by CTest with a German user locale (LANG and a locale built by localedef).
TEST_F(Shell, TheUsersLanguageIsPreselected) {
  const char* expected = std::getenv("BRINDLE_EXPECT_SELECTION");
  if (expected == nullptr) GTEST_SKIP() << "runs only with a user locale set up by CTest";
  Start();
  HWND first = dialog->Pages()[0]->GetHwnd();
  HWND list = ::GetDlgItem(first, IDC_LANGUAGE_COMBO);
  const LRESULT selected = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
  wchar_t text[64] = {};
  ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(win32::Narrow(text, CP_UTF8), expected);
  EXPECT_EQ(Text(first, IDC_NEXT), win32::Widen(std::getenv("BRINDLE_EXPECT_NEXT"), CP_UTF8));
}

TEST_F(Shell, ALanguageChoiceReachesEveryPageAtOnceAndThoseMadeLater) {
  Start();
  HWND first = dialog->Pages()[0]->GetHwnd();
  HWND list = ::GetDlgItem(first, IDC_LANGUAGE_COMBO);
  const LRESULT german =
      ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Deutsch"));
  ASSERT_NE(german, CB_ERR);
  // Selecting an item does not notify by itself; a user's choice does.
  ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(german), 0);
  ::SendMessageW(first, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(Text(first, IDC_NEXT), L"Weiter");
  EXPECT_EQ(config->languageName, L"Deutsch");
  Click(first, IDC_NEXT);
  EXPECT_EQ(Text(dialog->Pages()[1]->GetHwnd(), IDC_TEST_NEXT), L"Weiter");
  StubAt(1).ReportError(L"Title", L"Text");
  EXPECT_EQ(Text(dialog->GetErrorPage()->GetHwnd(), IDC_ERROR_CLOSE), L"Schlie\u00dfen");
}

TEST_F(Shell, TabMovesThroughThePageAndEnterIsNext) {
  Start();
  HWND first = dialog->Pages()[0]->GetHwnd();
  ::SetFocus(::GetDlgItem(first, IDC_LANGUAGE_COMBO));
  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  Pump();
  EXPECT_EQ(::GetFocus(), ::GetDlgItem(first, IDC_NEXT));
  ::SetFocus(::GetDlgItem(first, IDC_LANGUAGE_COMBO));
  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  EXPECT_EQ(Current().GetPageName(), L"LoadingPage");
  EXPECT_EQ(StubAt(1).navigations, 1);
}

TEST_F(Shell, NextStartsTheRunOnceAndBackSkipsTheLoadingPage) {
  config->btPages = true;
  Stub({PageKind::License});
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  const auto mainPackage = dialog->Run().mainPackage;
  ASSERT_TRUE(mainPackage);
  CompleteLoading();
  ASSERT_EQ(Current().GetPageName(), L"LicensePage");

  StubAt(2).Press(ButtonType::Back);
  EXPECT_EQ(dialog->CurrentPage(), 0);
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  EXPECT_EQ(dialog->CurrentPage(), 2);
  EXPECT_EQ(dialog->Run().mainPackage, mainPackage);
  EXPECT_EQ(StubAt(1).navigations, 1);

  ASSERT_TRUE(mainPackage->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
  const json events = ServiceControl::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["event_id"], "1");
  EXPECT_EQ(events[0]["data"]["10"], 1);  // the main product
  EXPECT_TRUE(events[0]["signature_ok"].get<bool>());
}

TEST_F(Shell, PagesAfterLoadingFollowTheWizardTypeAndPageSet) {
  struct Case {
    int type;
    bool bt;
    bool classic;
    std::vector<std::wstring> after;  // the pages after language and loading
  };
  const std::vector<Case> cases = {
      {1, false, false, {L"WelcomePage", L"ProductPage", L"ProductPage", L"DownloadPageDLM", L"FinishPageDLM"}},
      {1, true, false, {L"LicensePage", L"ProductPage", L"ProductPage", L"DownloadPageDLM", L"FinishPageDLM"}},
      {1,
       true,
       true,
       {L"WarningPageBTClassic", L"LicensePage", L"ProductPage", L"ProductPage", L"OptionsPageBTClassic",
        L"ConfigurationsPageBTClassic", L"DownloadPageDLM", L"FinishPageDLM"}},
      {2, false, false, {L"WelcomePage", L"ProductPage", L"ProductPage", L"DownloadPageISV", L"FinishPageISV"}},
  };
  StubAllButFinishPages();
  for (const Case& c : cases) {
    config->wizardType = c.type;
    config->btPages = c.bt;
    config->btClassicPages = c.classic;
    config->productTitle = L"Tavrel";
    Start();
    Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
    CompleteLoading({Offer("a"), Offer("b")});
    std::vector<std::wstring> expected = {c.bt ? L"LanguagePageBT" : L"LanguagePage", L"LoadingPage"};
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(PageNames(), expected);
    EXPECT_EQ(dialog->CurrentPage(), 2);
    EXPECT_EQ(win32::GetWindowTextString(Main()), c.type == 1 ? L"Tavrel Setup" : L"Tavrel ");
    EXPECT_EQ(::IsWindowVisible(dialog->GetItem(IDC_TITLE)) != FALSE, c.type == 1);
    dialog.reset();
  }
  config->productTitle.clear();
}

TEST_F(Shell, AClickQueuedOnAPageNoLongerShownMovesNothing) {
  Stub({PageKind::Welcome, PageKind::Product, PageKind::DownloadDlm});
  Start();
  HWND first = dialog->Pages()[0]->GetHwnd();
  Click(first, IDC_NEXT);
  Click(first, IDC_NEXT);  // the second click of a double click
  EXPECT_EQ(dialog->CurrentPage(), 1);
  CompleteLoading({Offer("a"), Offer("b")});
  StubAt(2).Press(ButtonType::Next);
  const StubPage& firstOffer = StubAt(3);
  firstOffer.Press(ButtonType::Accept);
  firstOffer.Press(ButtonType::Accept);
  EXPECT_EQ(dialog->CurrentPage(), 4);
}

TEST_F(Shell, TheErrorPageShowsWhatItIsGivenAndItsCloseEndsAtOnce) {
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  for (int round = 0; round < 2; ++round) {
    StubAt(1).ReportError(L"Title \u00e9", L"Text\r\nline " + std::to_wstring(round));
    HWND error = dialog->GetErrorPage()->GetHwnd();
    EXPECT_TRUE(::IsWindowVisible(error));
    EXPECT_FALSE(::IsWindowVisible(dialog->Pages()[1]->GetHwnd()));
    EXPECT_EQ(Text(error, IDC_ERROR_TITLE), L"Title \u00e9");
    EXPECT_EQ(Text(error, IDC_ERROR_TEXT), L"Text\r\nline " + std::to_wstring(round));
    EXPECT_EQ(CloseItems(), 1);  // never twice
  }
  Click(dialog->GetErrorPage()->GetHwnd(), IDC_ERROR_CLOSE);
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(dialog->EndResult(), 1);
}

TEST_F(Shell, CommandFromOutsideShowsTheTestError) {
  Start();
  ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(IDC_SHOW_TEST_ERROR, BN_CLICKED), 0);
  HWND error = dialog->GetErrorPage()->GetHwnd();
  EXPECT_EQ(Text(error, IDC_ERROR_TITLE), L"Error");
  EXPECT_EQ(Text(error, IDC_ERROR_TEXT), L"Error message");
  Close();  // no question once the error page shows
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(dialog->EndResult(), IDCANCEL);
}

TEST_F(Shell, CloseAsksFirstAndASecondCloseMeanwhileDoesNothing) {
  Start();
  answer = false;
  whileAsking = [this] { Close(); };
  Close();
  EXPECT_EQ(questions, std::vector<std::wstring>{L"Are you sure you want to exit the installer?"});
  EXPECT_FALSE(dialog->EndResult());
  EXPECT_TRUE(::IsWindowVisible(Main()));

  answer = true;
  whileAsking = nullptr;
  Close();
  EXPECT_EQ(dialog->EndResult(), IDCANCEL);
  EXPECT_FALSE(::IsWindowVisible(Main()));
  // Nothing was started: no package, no event; the work folder is still empty and stays.
  EXPECT_TRUE(ServiceControl::Requests("/zbd").empty());
  EXPECT_TRUE(::PathIsDirectoryW(config->workFolder.c_str()));
}

TEST_F(Shell, ClosingAfterTheFirstNextPreparesThePageAndReportsTheClose) {
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  Close();
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(StubAt(1).exitPreparations, 1);
  EXPECT_TRUE(config->exiting);
  EXPECT_EQ(SortedEventIds(), (std::vector<std::string>{"1", "5"}));
}

TEST_F(Shell, ClosingWaitsForEventsOfPackagesAlreadyDropped) {
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  ASSERT_TRUE(
      dialog->Run().mainPackage->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
  // Longer than a dropped package once waited for its events, within the receive time-out.
  ServiceControl::SetScenario("/zbd", json::array({{{"delay_ms", 2500}}}));
  Offer("r")->SendEvent(2, {});  // dropped at once, as the loader drops a rejected offer
  CompleteLoading();
  Close();
  EXPECT_EQ(SortedEventIds(), (std::vector<std::string>{"1", "2", "5"}));
}

// The close question's own message loop delivers the loading hand-over and the pages' reports;
// a cancelled question lets them take effect, a confirmed one ends the wizard where it was.
TEST_F(Shell, WhatArrivesWhileTheCloseQuestionIsOpenTakesEffectOnCancel) {
  struct Case {
    int type;
    bool answer;
    const wchar_t* endsOn;  // null: the wizard ended
  };
  StubAllButFinishPages();
  for (const Case& c : {Case{1, false, L"WelcomePage"}, Case{1, true, nullptr}, Case{2, false, L"FinishPageISV"}}) {
    config->wizardType = c.type;
    Start();
    Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
    if (c.type == 2) {
      // The product installer ends while its question is open.
      CompleteLoading();
      StubAt(2).Press(ButtonType::Next);
      StubAt(3).installStarted();
      whileAsking = [this] {
        StubAt(3).installFinished();
        StubAt(3).Press(ButtonType::Next);
      };
    } else {
      whileAsking = [this] {
        HandOver();
        ASSERT_TRUE(PumpUntil([this] { return dialog->Pages().size() > 2; }));
      };
    }
    answer = c.answer;
    Close();
    Pump();
    if (c.endsOn != nullptr) {
      EXPECT_EQ(Current().GetPageName(), c.endsOn);
      EXPECT_TRUE(::IsWindowVisible(Current().GetHwnd()));
      EXPECT_FALSE(dialog->EndResult());
    } else {
      EXPECT_EQ(dialog->EndResult(), IDCANCEL);
      EXPECT_EQ(Current().GetPageName(), L"LoadingPage");
    }
    whileAsking = nullptr;
    questions.clear();
    dialog.reset();
    config->exiting = false;
  }
}

// Enter and Space reach the page shown, and an offer page has no default button and gives the
// keyboard to no button: keys meant for the page before never accept an offer unseen.
TEST_F(Shell, KeysFromThePageBeforeNeverAcceptAnOffer) {
  Stub({PageKind::DownloadDlm});
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  CompleteLoading({Offer("a"), Offer("b")});
  ASSERT_EQ(Current().GetPageName(), L"WelcomePage");
  const auto key = [this](WPARAM vk, LPARAM repeat = 0) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, vk, 1 | repeat);
    if (repeat == 0) ::PostMessageW(::GetFocus(), WM_KEYUP, vk, 0xC0000001);
    Pump();
  };
  key(VK_RETURN);
  ASSERT_EQ(dialog->CurrentPage(), 3);
  for (const WPARAM vk : {VK_RETURN, VK_SPACE}) {
    key(vk);
    ASSERT_EQ(dialog->CurrentPage(), 3) << vk;
  }
  for (int i = 0; i < 5; ++i) key(VK_RETURN, 0x40000000);  // held: repeated key-downs
  EXPECT_EQ(dialog->CurrentPage(), 3);
  EXPECT_TRUE(dialog->Run().acceptedOffers.empty());
  // The buttons are still there for a deliberate act.
  Click(Current().GetHwnd(), IDC_ACCEPT);
  EXPECT_EQ(dialog->Run().acceptedOffers.size(), 1u);
}

TEST_F(Shell, RunningInstallersChangeTheQuestionAndTheLastPageAsksNothing) {
  StubAllButFinishPages();
  config->wizardType = ConfigurationManager::kWizardTypeIsv;
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  CompleteLoading();
  StubAt(2).Press(ButtonType::Next);
  ASSERT_EQ(Current().GetPageName(), L"DownloadPageISV");
  answer = false;
  StubAt(3).installStarted();
  Close();
  StubAt(3).installFinished();
  Close();
  EXPECT_EQ(questions, (std::vector<std::wstring>{L"Some installer processes are already running in the background "
                                                  L"and will finish momentarily. Are you sure you would like to exit?",
                                                  L"Are you sure you want to exit the installer?"}));
  StubAt(3).Press(ButtonType::Next);
  ASSERT_EQ(Current().GetPageName(), L"FinishPageISV");
  Close();
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(dialog->EndResult(), IDCANCEL);
}

// The installer wizard's product is judged by its exit code; a ZIP product is the installer
// unpacked from it, which is what the wizard knows as the product from then on.
TEST_F(Shell, TheInstallersProductIsJudgedByItsExitCode) {
  struct Case {
    const wchar_t* url;
    const wchar_t* parameters;
    const wchar_t* endsOn;
    const wchar_t* product;  // the end of productFilePath
    const char* failure;     // the main product's event text
  };
  Stub({PageKind::Welcome});
  config->wizardType = ConfigurationManager::kWizardTypeIsv;
  for (const Case& c : {Case{L"offer.zip", L"", L"FinishPageISV", L"\\offer\\Setup.exe", ""},
                        Case{L"test_installer.exe", L"/exit=3", nullptr, L"", "EXEC FAILED: exit code = 3"}}) {
    ServiceControl::Reset();
    config->productUrl = std::wstring(L"https://localhost/f/install/") + c.url;
    config->productInstallParameters = c.parameters;
    config->productFilePath.clear();
    Start();
    Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
    CompleteLoading();
    StubAt(2).Press(ButtonType::Next);
    ASSERT_TRUE(
        PumpUntil([this] { return dialog->ErrorShown() || Current().GetPageName() == L"FinishPageISV"; }, 60000));
    EXPECT_EQ(dialog->ErrorShown(), c.endsOn == nullptr);
    const std::wstring product = config->productFilePath;
    EXPECT_TRUE(product.ends_with(c.product)) << win32::WideToUtf8(product);
    ASSERT_TRUE(
        dialog->Run().mainPackage->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
    const json last = ServiceControl::Events().back();
    EXPECT_EQ(last["event_id"], "3");  // a failure of the main product counts as finished
    EXPECT_EQ(last["data"].value("12", ""), c.failure);
    dialog.reset();
    // Each package folder is made new, never reused: the next round starts with an empty one.
    cleanup::DeleteFolder(config->workFolder);
    ::CreateDirectoryW(config->workFolder.c_str(), nullptr);
  }
  config->productUrl.clear();
  config->productInstallParameters.clear();
}

// An offer's installer replaced after its download (here while the product installs) is never
// started: its start fails as changed and is reported.
TEST_F(Shell, AnInstallerChangedAfterItsDownloadNeverRuns) {
  Stub({PageKind::Welcome});
  config->wizardType = ConfigurationManager::kWizardTypeIsv;
  config->productUrl = L"https://localhost/f/install/test_installer.exe";
  config->productInstallParameters = L"/sleep=2000";
  const json offer = {{"ad", {{"o", "changed"}, {"f", "t"}}},
                      {"ps", {{"i", "i.png"}, {"dn", "Changed"}, {"u", "install/test_installer.exe"}}}};
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  CompleteLoading({Package::Offer(*ConfigurationManager::GetInstance(), offer, 0)});
  StubAt(2).Press(ButtonType::Next);
  Click(Current().GetHwnd(), IDC_ACCEPT);
  const std::wstring installer = config->workFolder + L"\\1\\test_installer.exe";
  ASSERT_TRUE(PumpUntil([&] { return ::PathFileExistsW(installer.c_str()) != FALSE; }, 30000));
  {
    std::ofstream replaced(std::filesystem::path(installer), std::ios::binary | std::ios::trunc);
    replaced << "MZ not what was downloaded";
  }
  ASSERT_TRUE(PumpUntil([this] { return Current().GetPageName() == L"FinishPageISV"; }, 30000));
  ASSERT_TRUE(Package::WaitForAllEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
  json last;
  for (const json& event : ServiceControl::Events()) {
    if (event["data"]["5"] == "changed") last = event;
  }
  EXPECT_EQ(last["event_id"], "-1");
  EXPECT_EQ(last["data"]["12"], "EXEC FAILED: the file changed after download");
  dialog.reset();
  cleanup::DeleteFolder(config->workFolder);
  ::CreateDirectoryW(config->workFolder.c_str(), nullptr);
  config->productUrl.clear();
  config->productInstallParameters.clear();
}

// A title made of references to the wizard's own texts is shown as written: the welcome page
// draws it at once and its links stay links.
TEST_F(Shell, ATitleOfReferencesIsShownAsWritten) {
  std::wstring title;
  while (title.size() < 256) title += L"{PRODUCT_DISCLAIMER}";
  title.resize(256);
  config->productTitle = title;
  config->privacyUrl = L"https://localhost/privacy";
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  CompleteLoading();
  HWND welcome = Current().GetHwnd();
  EXPECT_EQ(Text(welcome, IDC_TITLE), title);
  EXPECT_NE(Text(welcome, IDC_WELCOME_TEXT).find(title), std::wstring::npos);
  LITEM link{};
  link.mask = LIF_ITEMINDEX | LIF_URL;
  ASSERT_TRUE(::SendMessageW(::GetDlgItem(welcome, IDC_PRIVACY_LINK), LM_GETITEM, 0, reinterpret_cast<LPARAM>(&link)));
  EXPECT_EQ(std::wstring(link.szUrl), L"https://localhost/privacy");
  config->productTitle.clear();
  config->privacyUrl.clear();
}

TEST_F(Shell, DownloadPagesTakeCloseFromTheMenuAndFinishPagesGiveItBack) {
  StubAllButFinishPages();
  Start();
  const LONG_PTR style = ::GetWindowLongPtrW(Main(), GWL_STYLE);
  ASSERT_TRUE(style & WS_MINIMIZEBOX);
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  CompleteLoading();
  StubAt(2).Press(ButtonType::Next);
  EXPECT_EQ(CloseItems(), 0);
  StubAt(3).Press(ButtonType::Next);
  EXPECT_EQ(Current().GetPageName(), L"FinishPageDLM");
  EXPECT_EQ(CloseItems(), 1);
  EXPECT_FALSE(::GetWindowLongPtrW(Main(), GWL_STYLE) & WS_MINIMIZEBOX);
}

// The product in the user's Downloads folder starts only as it was downloaded; the installed
// application starts with the user's rights, not the wizard's.
TEST_F(Shell, FinishStartsWhatTheUserChose) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"My Files";
  std::filesystem::create_directories(folder);
  const std::wstring product = (folder / L"Tavrel \u00fc Setup.exe").wstring();
  std::ofstream(std::filesystem::path(product), std::ios::binary) << "MZ downloaded";
  const std::string downloaded = config::Sha256Hex("MZ downloaded");
  const std::wstring programData = config::ExpandPathTokens(L"{programdata}", config->GetPathTokens());
  struct Case {
    int type;
    int choice;  // the radio or check box to set; 0 clears the ISV check box
    std::wstring launchPath;
    std::vector<ShellCommand> expected;
    std::string sha256 = {};  // of the product as downloaded; a wrong one: it changed since
  };
  const std::wstring inFolder = folder.wstring() + L"\\";
  const std::vector<Case> cases = {
      {1, IDC_LAUNCH_RADIO, L"", {{L"open", product, L"", inFolder}}, downloaded},
      {1, IDC_LAUNCH_RADIO, L"", {}, std::string(64, 'f')},
      {1, IDC_OPEN_FOLDER_RADIO, L"", {{L"open", ExplorerPath(), L"/select,\"" + product + L"\"", L""}}},
      {2,
       IDC_LAUNCH_CHECK,
       L"{programdata}\\App\\app.exe",
       {{L"open", programData + L"\\App\\app.exe", L"-x", L"", true}}},
      {2, IDC_LAUNCH_CHECK, L"{nosuch}\\app.exe", {{L"open", L"{nosuch}\\app.exe", L"-x", L"", true}}},
      {2, 0, L"{programdata}\\App\\app.exe", {}},
  };
  const std::map<int, std::wstring> labels = {{IDC_LAUNCH_RADIO, L"Launch"},
                                              {IDC_OPEN_FOLDER_RADIO, L"Open Folder"},
                                              {IDC_LAUNCH_CHECK, L"Launch the application on exit"}};
  StubAllButFinishPages();
  for (const Case& c : cases) {
    config->wizardType = c.type;
    config->productFilePath = product;
    config->productFileSha256 = c.sha256;
    config->launchPath = c.launchPath;
    config->launchArguments = L"-x";
    launches.clear();
    Start();
    Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
    CompleteLoading();
    StubAt(2).Press(ButtonType::Next);
    StubAt(3).Press(ButtonType::Next);
    HWND finish = Current().GetHwnd();
    EXPECT_EQ(Text(finish, IDC_FINISH), L"Finish");
    if (c.choice != 0) {
      EXPECT_EQ(Text(finish, c.choice), labels.at(c.choice));
    }
    if (c.choice == IDC_OPEN_FOLDER_RADIO) {
      ::SendMessageW(::GetDlgItem(finish, IDC_LAUNCH_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
      ::SendMessageW(::GetDlgItem(finish, IDC_OPEN_FOLDER_RADIO), BM_SETCHECK, BST_CHECKED, 0);
    }
    if (c.type == 2 && c.choice == 0) {
      ::SendMessageW(::GetDlgItem(finish, IDC_LAUNCH_CHECK), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    Click(finish, IDC_FINISH);
    ASSERT_EQ(launches.size(), c.expected.size()) << c.launchPath;
    for (std::size_t i = 0; i < launches.size(); ++i) {
      EXPECT_EQ(launches[i].verb, c.expected[i].verb);
      EXPECT_EQ(launches[i].file, c.expected[i].file);
      EXPECT_EQ(launches[i].parameters, c.expected[i].parameters);
      EXPECT_EQ(launches[i].directory, c.expected[i].directory);
      EXPECT_EQ(launches[i].withoutElevation, c.expected[i].withoutElevation);
    }
    const bool changed = c.choice == IDC_LAUNCH_RADIO && c.sha256 != downloaded;
    EXPECT_EQ(dialog->ErrorShown(), changed);  // the download error page instead of the end
    EXPECT_EQ(dialog->EndResult(), changed ? std::optional<INT_PTR>() : std::optional<INT_PTR>(1));
    EXPECT_TRUE(questions.empty());
    dialog.reset();
  }
  config->launchArguments.clear();
  config->productFileSha256.clear();
  std::filesystem::remove_all(folder);
}

// Every offer's picture is fetched before the hand-over, a few at a time: a document with
// hundreds of offers must not start hundreds of threads in the 32-bit stub.
TEST_F(Shell, OfferPicturesAreFetchedAFewAtATime) {
  constexpr int kOffers = 300;
  json offers = json::array();
  json pictures = json::array();
  for (int i = 0; i < kOffers; ++i) {
    const std::string id = "p" + std::to_string(i);
    offers.push_back(
        {{"ad", {{"o", id}, {"f", "t"}}}, {"ps", {{"i", "pic.png"}, {"dn", id}, {"u", "s.exe"}, {"v", i + 1}}}});
    pictures.push_back({{"body_b64", kPixel}});
  }
  const json document = {
      {"i", {{"ct", "Tavrel"}, {"cu", "https://localhost/f/p.exe"}}}, {"f", {{"m", kOffers}}}, {"o", offers}};
  ServiceControl::SetScenario("/o", json::array({{{"body", document.dump()}}}));
  ServiceControl::SetScenario("/f/pic.png", pictures);
  stubs.erase(PageKind::Loading);
  Stub({PageKind::Welcome, PageKind::Product, PageKind::DownloadDlm});

  const DWORD before = ThreadCount();
  std::atomic<bool> sampling{true};
  std::atomic<DWORD> peak{before};
  std::thread sampler([&] {
    for (; sampling; ::Sleep(50)) peak = std::max<DWORD>(peak, ThreadCount());
  });
  Start();
  Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
  const bool loaded = PumpUntil([this] { return dialog->Pages().size() > 2; }, 120000);
  sampling = false;
  sampler.join();
  ASSERT_TRUE(loaded);
  const auto names = PageNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), L"ProductPage"), kOffers);
  EXPECT_EQ(ServiceControl::Requests("/f/pic.png").size(), static_cast<std::size_t>(kOffers));
  EXPECT_LE(peak - before, 24u);  // the sampler, the loading worker, events, and four fetches at two threads each
  config->productTitle.clear();
  config->productUrl.clear();
  config->productFileName.clear();
  config->maxOffers = config->offerCount = 0;
}

// Each round builds a wizard whose offers' pictures are still on their way from a slow service,
// then destroys it: nothing may crash, and every thread the rounds started ends.
TEST_F(Shell, DestroyedWhilePicturesDownloadLeavesNoThreadBehind) {
  constexpr int kRounds = 50;
  constexpr int kPictures = 3;
  // A 1 x 1 PNG, each answer half a second late.
  const json slow = {{"status", 200}, {"delay_ms", 500}, {"body_b64", kPixel}};
  ServiceControl::SetScenario("/f/slow.png", json::array());
  json steps = json::array();
  for (int i = 0; i < (kRounds + 1) * kPictures; ++i) steps.push_back(slow);
  ServiceControl::SetScenario("/f/slow.png", steps);
  Stub({PageKind::Welcome, PageKind::Product});
  const auto round = [this] {
    Start();
    Click(dialog->Pages()[0]->GetHwnd(), IDC_NEXT);
    std::vector<std::shared_ptr<Package>> packages;
    for (int i = 0; i < kPictures; ++i) {
      packages.push_back(Offer("slow"));
      EXPECT_TRUE(FetchOfferPicture(*packages.back(), [] {}));
    }
    CompleteLoading(packages);
    dialog.reset();
  };
  // The first round starts what stays for the process (libraries, the system's own threads).
  round();
  const ULONGLONG deadline = ::GetTickCount64() + 120000;
  // The count once it has not changed for three seconds.
  DWORD before = ThreadCount();
  for (ULONGLONG since = ::GetTickCount64(); ::GetTickCount64() - since < 3000 && ::GetTickCount64() < deadline;) {
    ::Sleep(100);
    if (const DWORD now = ThreadCount(); now != before) {
      before = now;
      since = ::GetTickCount64();
    }
  }
  for (int i = 0; i < kRounds; ++i) round();
  while (ThreadCount() > before && ::GetTickCount64() < deadline) ::Sleep(100);
  EXPECT_LE(ThreadCount(), before);
}

}  // namespace

// File downloads against the reference service: both transports, progress messages to a real
// window, the failure texts, and the cases where nothing may be written or fetched.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DownloadFixture.h"
#include "ProgressWindow.h"
#include "ServiceControl.h"
#include "config/BuildSettings.h"
#include "config/Hashing.h"
#include "win32/Strings.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

#define EXPECT_PREFIX(text, prefix) EXPECT_TRUE((text).starts_with(prefix)) << (text)
#define ASSERT_PREFIX(text, prefix) ASSERT_TRUE((text).starts_with(prefix)) << (text)

// The plain-HTTP listener of the harness; downgraded redirects must never reach it.
constexpr int kPlainPort = 8480;

class DownloadFileTest : public DownloadFixture {
 protected:
  DownloadResult Download(const std::wstring& url, const std::wstring& fileName = L"", bool useWorkFolder = false) {
    DownloadResult result;
    EXPECT_TRUE(
        window.RunWhilePumping([&] { result = manager->DownloadFile(url, window.Handle(), fileName, useWorkFolder); }));
    return result;
  }

  ProgressWindow window;
};

TEST_F(DownloadFileTest, SavesUnderTheUrlsNameWithoutQueryAndReportsProgressUpTo100) {
  ServiceControl::SetScenario("/f/net/setup.exe", json::array({{{"body_size", 2000000}}}));
  const DownloadResult result = Download(Url("/f/net/setup.exe?pxl=abc&x=1#frag"));

  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.error, L"");
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"downloads\\setup.exe"});
  EXPECT_EQ(ReadFile(downloads + L"\\setup.exe"), Pattern(2000000));
  EXPECT_EQ(manager->m_lastFilePath, downloads + L"\\setup.exe");
  EXPECT_EQ(ServiceControl::Requests("/f/net/setup.exe").at(0).at("query"), "pxl=abc&x=1");

  EXPECT_EQ(window.noLength, 0);
  ASSERT_GE(window.progress.size(), 10u);
  for (std::size_t i = 1; i < window.progress.size(); ++i) {
    EXPECT_LE(window.progress[i - 1], window.progress[i]) << i;
  }
  EXPECT_EQ(window.progress.back(), 100u);
}

TEST_F(DownloadFileTest, WithoutLengthOneNoticeAndNoProgress) {
  const json chunked = {{"body_size", 100000}, {"chunked", true}};
  const json closeDelimited = {{"body_size", 50000}, {"no_length", true}};
  for (const json& step : {chunked, closeDelimited}) {
    ServiceControl::SetScenario("/f/net/nolength.bin", json::array({step}));
    window.progress.clear();
    window.noLength = 0;
    const DownloadResult result = Download(Url("/f/net/nolength.bin"));
    EXPECT_TRUE(result.success) << step.dump();
    EXPECT_EQ(window.noLength, 1) << step.dump();
    EXPECT_TRUE(window.progress.empty()) << step.dump();
    EXPECT_EQ(ReadFile(downloads + L"\\nolength.bin"), Pattern(step.at("body_size").get<std::size_t>()));
  }
}

TEST_F(DownloadFileTest, EmptyBodiesSucceedWithoutProgress) {
  ServiceControl::SetScenario("/f/net/empty.bin", json::array({{{"body", ""}}}));
  ServiceControl::SetScenario("/f/net/nocontent.bin", json::array({{{"status", 204}, {"body", ""}}}));
  for (const char* path : {"/f/net/empty.bin", "/f/net/nocontent.bin"}) {
    const DownloadResult result = Download(Url(path));
    EXPECT_TRUE(result.success) << path;
    EXPECT_EQ(result.error, L"") << path;
  }
  EXPECT_EQ(window.noLength, 0);
  EXPECT_TRUE(window.progress.empty());
  EXPECT_EQ(FilesUnder(downloads), (std::vector<std::wstring>{L"empty.bin", L"nocontent.bin"}));
  EXPECT_EQ(ServiceControl::Requests().size(), 2u);  // the 204 was not retried over WinINet

  ServiceControl::SetScenario("/f/net/winet.bin", json::array({{{"status", 204}, {"body", ""}}}));
  const DownloadResult winInet = manager->DownloadFileWinInet(Url("/f/net/winet.bin"), nullptr, L"", false);
  EXPECT_FALSE(winInet.success);
  EXPECT_PREFIX(winInet.error, L" [WININET] Server returned status code: HTTP 204 - ");
}

TEST_F(DownloadFileTest, NotFoundFailsThroughBothTransportsAndLeavesNoFile) {
  WriteFile(downloads + L"\\kept.exe", "the user's own file");
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result = Download(Url("/f/net/missing.exe"));
  const DownloadResult existing = Download(Url("/f/net/kept.exe"));
  const auto elapsed = std::chrono::steady_clock::now() - started;

  for (const DownloadResult& r : {result, existing}) {
    EXPECT_FALSE(r.success);
    const std::wstring winHttp = L"[WINHTTP] Download failed: Server returned status code: 404";
    const std::wstring winInet = L" [WININET] Server returned status code: HTTP 404 - ";
    EXPECT_PREFIX(r.error, winHttp + winInet);
  }
  // A failed download neither leaves a file nor destroys one that was there.
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"downloads\\kept.exe"});
  EXPECT_EQ(ReadFile(downloads + L"\\kept.exe"), "the user's own file");
  EXPECT_EQ(ServiceControl::Requests("/f/net/missing.exe").size(), 2u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(2 * config::GetBuildSettings().downloadFallbackPauseMs));
}

TEST_F(DownloadFileTest, ShortBodyFailsWithTheIncompleteText) {
  // Without a validator every try asks for the whole file again: four per transport.
  const json shortStep = {{"body_size", 600}, {"content_length", 1000}};
  ServiceControl::SetScenario("/f/net/short.bin", json(std::vector<json>(8, shortStep)));
  const DownloadResult result = Download(Url("/f/net/short.bin"));
  EXPECT_FALSE(result.success);
  const std::wstring expected = L"[WINHTTP] Download was incomplete: content length: 1000, downloaded: 600";
  EXPECT_EQ(result.error, expected + L" [WININET] " + expected.substr(10));
  EXPECT_EQ(ServiceControl::Requests("/f/net/short.bin").size(), 8u);
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(DownloadFileTest, CancelEndsAStalledBodyAtOnceWithoutPartialFile) {
  // Headers and 300 kB of 10 MB, then silence until the client goes.
  ServiceControl::SetScenario("/f/net/stall.bin", json::array({{{"body_size", 10000000}, {"stall_after", 300000}}}));
  DownloadResult result;
  std::thread worker([&] { result = manager->DownloadFile(Url("/f/net/stall.bin"), nullptr, L"", false); });
  for (int i = 0; i < 300 && ServiceControl::Requests("/f/net/stall.bin").empty(); ++i) ::Sleep(100);
  ::Sleep(1000);  // well into the stall, and short of the receive time-out
  const auto cancelled = std::chrono::steady_clock::now();
  manager->Cancel();
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(2));
  EXPECT_TRUE(result.error.ends_with(L"Download cancelled.")) << result.error;
  EXPECT_TRUE(FilesUnder(root).empty());
  // Later downloads end at once as cancelled, without traffic.
  EXPECT_EQ(Download(Url("/f/net/later.bin")).error, L"[WINHTTP] Download cancelled.");
  EXPECT_TRUE(ServiceControl::Requests("/f/net/later.bin").empty());
}

TEST_F(DownloadFileTest, PeerThatNeverAnswersEndsBothTransportsInBoundedTime) {
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result = Download(L"https://127.0.0.3/f/net/hole.bin");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(45));
  EXPECT_FALSE(result.success);
  EXPECT_PREFIX(result.error, L"[WINHTTP] ");
  EXPECT_NE(result.error.find(L" [WININET] "), std::wstring::npos) << result.error;
  EXPECT_GE(ServiceControl::BlackHoleConnections(), 2);
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(DownloadFileTest, CancellingMidTransferStopsWithoutFallback) {
  // 2 MB at 400 kB/s: about five seconds unless cancelled.
  ServiceControl::SetScenario("/f/net/slow.bin", json::array({{{"body_size", 2000000}, {"rate", 400000}}}));
  window.onProgress = [this](WPARAM) { manager->m_cancelled = true; };
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result = Download(Url("/f/net/slow.bin"));
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.error, L"[WINHTTP] Download cancelled.");
  EXPECT_LT(elapsed, std::chrono::seconds(4));
  EXPECT_EQ(ServiceControl::Requests("/f/net/slow.bin").size(), 1u);
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(DownloadFileTest, WinInetSucceedsWhereWinHttpFailedAndReplacesTheOldFile) {
  WriteFile(downloads + L"\\second.bin", "old");
  ServiceControl::SetScenario("/f/net/second.bin",
                              json::array({{{"status", 500}, {"body", "busy"}}, {{"body_size", 70000}}}));
  const DownloadResult result = Download(Url("/f/net/second.bin"));
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.error, L"[WINHTTP] Download failed: Server returned status code: 500");
  EXPECT_EQ(ReadFile(downloads + L"\\second.bin"), Pattern(70000));
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"downloads\\second.bin"});
  EXPECT_EQ(manager->m_lastFilePath, downloads + L"\\second.bin");
  EXPECT_EQ(window.progress.back(), 100u);
}

TEST_F(DownloadFileTest, FiveRedirectsAreFollowedAndASixthFails) {
  ServiceControl::SetScenario("/f/net/five.bin", json::array({{{"body_size", 1000}}, {{"body_size", 1000}}}));
  for (const char* mode : {"abs", "rel"}) {
    const DownloadResult result = Download(Url(std::string("/redirect/5/") + mode + "/f/net/five.bin"));
    EXPECT_TRUE(result.success) << mode;
    EXPECT_EQ(result.error, L"") << mode;
  }
  EXPECT_EQ(ReadFile(downloads + L"\\five.bin"), Pattern(1000));

  const DownloadResult six = Download(Url("/redirect/6/abs/f/net/six.bin"));
  EXPECT_FALSE(six.success);
  EXPECT_EQ(six.error, L"[WINHTTP] Too many redirects. [WININET] Too many redirects.");
  EXPECT_EQ(FilesUnder(downloads), std::vector<std::wstring>{L"five.bin"});
}

TEST_F(DownloadFileTest, RelativeLocationIsResolvedAgainstTheCurrentUrl) {
  ServiceControl::SetScenario("/f/net/dir/start",
                              json::array({{{"status", 302}, {"headers", {{"Location", "../other/next.bin?x=1"}}}}}));
  ServiceControl::SetScenario("/f/net/other/next.bin", json::array({{{"body_size", 500}}}));
  const DownloadResult result = Download(Url("/f/net/dir/start"), L"next.bin", true);
  EXPECT_TRUE(result.success);
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"work\\next.bin"});
  const json requests = ServiceControl::Requests("/f/net/other/next.bin");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].at("query"), "x=1");
}

TEST_F(DownloadFileTest, WinInetAloneFollowsFiveRedirectsAndRefusesASixth) {
  ServiceControl::SetScenario("/f/net/inet.bin", json::array({{{"body_size", 1000}}}));
  const DownloadResult five = manager->DownloadFileWinInet(Url("/redirect/5/abs/f/net/inet.bin"), nullptr, L"", false);
  EXPECT_TRUE(five.success) << five.error;
  EXPECT_EQ(ReadFile(downloads + L"\\inet.bin"), Pattern(1000));

  const DownloadResult six = manager->DownloadFileWinInet(Url("/redirect/6/rel/f/net/six.bin"), nullptr, L"", false);
  EXPECT_EQ(six.error, L" [WININET] Too many redirects.");
  EXPECT_TRUE(ServiceControl::Requests("/f/net/six.bin").empty());
}

// The previous hop's handle is closed after the failed open; the text must still name the
// open's error, not the close's.
TEST_F(DownloadFileTest, FailedWinInetRedirectNamesTheRealError) {
  ServiceControl::SetScenario(
      "/f/net/moved.bin",
      json::array({{{"status", 302}, {"headers", {{"Location", "https://localhost:8444/f/x.bin"}}}}}));
  const DownloadResult result = manager->DownloadFileWinInet(Url("/f/net/moved.bin"), nullptr, L"", false);
  const std::wstring prefix = L" [WININET] Failed to open URL:: ";
  ASSERT_PREFIX(result.error, prefix);
  EXPECT_NE(std::stoul(result.error.substr(prefix.size())), 0u) << result.error;
}

TEST_F(DownloadFileTest, WinInetLeavesNothingInTheInternetCache) {
  wchar_t cache[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, cache), S_OK);
  ServiceControl::SetScenario("/f/net/uncached-7q2.bin", json::array({{{"body_size", 300000}}}));
  const DownloadResult result = manager->DownloadFileWinInet(Url("/f/net/uncached-7q2.bin"), nullptr, L"", false);
  ASSERT_TRUE(result.success) << result.error;
  if (fs::exists(cache)) {
    for (const std::wstring& file : FilesUnder(cache)) EXPECT_EQ(file.find(L"uncached-7q2"), std::wstring::npos);
  }
}

TEST_F(DownloadFileTest, UnusableRedirectsFail) {
  const std::string plain = "http://localhost:" + std::to_string(kPlainPort) + "/f/net/plain.bin";
  struct Case {
    json redirect;
    std::wstring winHttpText;
  };
  const Case cases[] = {
      {{{"status", 302}}, L"[WINHTTP] Redirect without a Location header."},
      {{{"status", 301}, {"headers", {{"Location", "/f/net/" + std::string(300, 'a')}}}},
       L"[WINHTTP] Redirect location is too long."},
      {{{"status", 302}, {"headers", {{"Location", plain}}}},
       L"[WINHTTP] Redirect from HTTPS to HTTP refused: " + std::wstring(plain.begin(), plain.end())},
  };
  for (const Case& c : cases) {
    ServiceControl::SetScenario("/f/net/redirect.bin", json::array({c.redirect, c.redirect}));
    const DownloadResult result = Download(Url("/f/net/redirect.bin"));
    EXPECT_FALSE(result.success) << c.redirect.dump();
    EXPECT_EQ(result.error, c.winHttpText + L" [WININET] " + c.winHttpText.substr(10));
  }
  EXPECT_TRUE(FilesUnder(root).empty());
  for (const json& request : ServiceControl::Requests()) EXPECT_NE(request.at("listener"), "plain");
}

TEST_F(DownloadFileTest, UnusableUrlNamesFailBeforeAnyTrafficAndCallerNamesAreCleaned) {
  for (const char* path : {"/f/net/", "/f/net/..", "/f/net/nul.exe", "/f/net/trail."}) {
    const DownloadResult result = Download(Url(path));
    EXPECT_FALSE(result.success) << path;
    const bool clear = result.error == L"[WINHTTP] The download has no file name." ||
                       result.error.starts_with(L"[WINHTTP] Invalid file name: \"");
    EXPECT_TRUE(clear) << result.error;
  }
  // A name with nothing usable left is refused too.
  EXPECT_EQ(Download(Url("/f/net/a.exe"), L" .. ").error, L"[WINHTTP] The download has no file name.");
  EXPECT_TRUE(ServiceControl::Requests().empty());

  ServiceControl::SetScenario("/f/net/title.exe", json::array({{{"body_size", 100}}}));
  const DownloadResult titled = Download(Url("/f/net/title.exe"), L"Foo: Pro?.exe");
  EXPECT_TRUE(titled.success) << titled.error;
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"downloads\\Foo_ Pro_.exe"});
  EXPECT_EQ(invalidPathNotices, 0);
}

TEST_F(DownloadFileTest, UrlThatCannotBeSplitFails) {
  const DownloadResult result = Download(L"localhost/f/net/a.exe");
  EXPECT_FALSE(result.success);
  EXPECT_PREFIX(result.error, L"[WINHTTP] Failed to parse URL: ");
  EXPECT_NE(result.error.find(L" [WININET] "), std::wstring::npos);
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(DownloadFileTest, UntrustedCertificateFailsThroughBothTransports) {
  const DownloadResult result = Download(L"https://localhost:8444/f/net/untrusted.bin");
  EXPECT_FALSE(result.success);
  EXPECT_PREFIX(result.error, L"[WINHTTP] ");
  EXPECT_NE(result.error.find(L" [WININET] "), std::wstring::npos);
  EXPECT_TRUE(ServiceControl::Requests().empty());
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(DownloadFileTest, UnusableFolderIsNoticedAndFailsAtTheFileCheck) {
  manager->SetFolders(root + L"\\work", root + L"\\missing");
  ServiceControl::SetScenario("/f/net/nowhere.bin", json::array({{{"body_size", 10}}, {{"body_size", 10}}}));
  const DownloadResult result = Download(Url("/f/net/nowhere.bin"));
  EXPECT_FALSE(result.success);
  EXPECT_PREFIX(result.error, L"[WINHTTP] Failed to open file for writing: 3 - ");
  EXPECT_NE(result.error.find(L" [WININET] Failed to open file for writing: "), std::wstring::npos);
  EXPECT_EQ(invalidPathNotices, 1);
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{});

  // A package's own folder is made only inside one that exists: never in a drive's root, where
  // an empty work folder would put it (the prefix's drive here, not the host's).
  const fs::path previous = fs::current_path();
  fs::current_path(root);
  DownloadResult inOwn;
  EXPECT_TRUE(window.RunWhilePumping([&] {
    inOwn = manager->DownloadFileToFolder(Url("/f/net/nowhere.bin"), window.Handle(), L"", L"\\brindle-own-folder");
  }));
  fs::current_path(previous);
  EXPECT_FALSE(inOwn.success);
  EXPECT_FALSE(fs::exists(root.substr(0, 2) + L"\\brindle-own-folder"));
}

// A file the configuration names by its hash arrives as that file or not at all, and a package
// folder that is already there is never used.
TEST_F(DownloadFileTest, ACorruptFileOrAFolderAlreadyThereFailsAndLeavesNothing) {
  ServiceControl::SetScenario("/f/net/named.bin",
                              json::array({{{"body", "the real bytes"}}, {{"body", "the real bytes"}}}));
  const std::string real = config::Sha256Hex("the real bytes");
  DownloadResult result;
  ASSERT_TRUE(window.RunWhilePumping([&] {
    result = manager->DownloadFile(Url("/f/net/named.bin"), window.Handle(), L"", false, std::string(64, 'a'));
  }));
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.error, L"[WINHTTP] Download was corrupt: its SHA-256 is " + win32::Widen(real, CP_ACP) +
                              L", not the expected " + std::wstring(64, L'a') + L".");
  EXPECT_EQ(ServiceControl::Requests("/f/net/named.bin").size(), 1u);  // no second transport
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{});

  const std::wstring folder = root + L"\\0";
  fs::create_directories(folder);
  ASSERT_TRUE(window.RunWhilePumping(
      [&] { result = manager->DownloadFileToFolder(Url("/f/net/named.bin"), window.Handle(), L"", folder, real); }));
  EXPECT_FALSE(result.success);
  EXPECT_PREFIX(result.error, L"[WINHTTP] Failed to open file for writing: 183 - ");
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove(folder);
  ASSERT_TRUE(window.RunWhilePumping(
      [&] { result = manager->DownloadFileToFolder(Url("/f/net/named.bin"), window.Handle(), L"", folder, real); }));
  EXPECT_TRUE(result.success) << win32::WideToUtf8(result.error);
  EXPECT_EQ(result.sha256, real);
}

}  // namespace

// Downloads whose connection ends early, against the reference service's scripted faults: what
// is asked for next, what the service sent in all, the file and its hash, and the progress.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "DownloadFixture.h"
#include "ProgressWindow.h"
#include "ServiceControl.h"
#include "config/Hashing.h"

namespace {

using nlohmann::json;

constexpr int kSize = 1000000;
constexpr int kCut = 300000;
const std::string kPath = "/f/net/resume.bin";
const std::string kDate = "Wed, 09 Dec 2026 10:00:00 GMT";

json Step(const json& headers, bool ranges, int dropAfter = -1) {
  json step = {{"body_size", kSize}, {"headers", headers}};
  if (ranges) step["ranges"] = true;
  if (dropAfter >= 0) step["drop_after"] = dropAfter;
  return step;
}

std::string FileHash(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  std::string piece(1 << 20, '\0');
  config::Sha256 hash;
  while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) || file.gcount() > 0) {
    hash.Update(piece.data(), static_cast<std::size_t>(file.gcount()));
  }
  return hash.HexDigest();
}

long long SentInAll(const json& requests) {
  long long sent = 0;
  for (const json& request : requests) sent += request.at("sent").get<long long>();
  return sent;
}

std::string Header(const json& request, const char* name) {
  const json& headers = request.at("headers");
  return headers.contains(name) ? headers.at(name).get<std::string>() : "";
}

// How often the progress went back, and whether every step back was to 0.
std::pair<int, bool> StepsBack(const std::vector<WPARAM>& progress) {
  int back = 0;
  bool toZero = true;
  for (std::size_t i = 1; i < progress.size(); ++i) {
    if (progress[i] < progress[i - 1]) {
      ++back;
      toZero = toZero && progress[i] == 0;
    }
  }
  return {back, toZero};
}

class Resume : public DownloadFixture {
 protected:
  DownloadResult Download(const std::string& path) {
    DownloadResult result;
    EXPECT_TRUE(
        window.RunWhilePumping([&] { result = manager->DownloadFile(Url(path), window.Handle(), L"", false); }));
    return result;
  }

  ProgressWindow window;
};

TEST_F(Resume, EarlyEndsAreResumedOrRestartedAsTheServerAllows) {
  const json v1 = {{"ETag", "\"v1\""}};
  const json v2 = {{"ETag", "\"v2\""}};
  const json dated = {{"Last-Modified", kDate}, {"ETag", "W/\"weak\""}};
  const json refusing = {{"status", 206},
                         {"body_size", kSize - 200000},
                         {"headers", {{"ETag", "\"v1\""}, {"Content-Range", "bytes 200000-999999/1000000"}}}};
  struct Case {
    const char* name;
    json steps;
    std::vector<std::string> ranges;  // the Range header of each request; "" for none
    std::string ifRange;              // of the resumed request
    long long sent;                   // body bytes the service sent in all; -1: not determined
    bool restarts;                    // the file started again from zero once
    std::wstring errorPrefix;         // of a success that needed WinINet
  };
  const std::string rest = "bytes=" + std::to_string(kCut) + "-";
  const Case cases[] = {
      {"strong ETag", {Step(v1, true, kCut), Step(v1, true)}, {"", rest}, "\"v1\"", kSize, false, L""},
      {"Last-Modified, weak ETag", {Step(dated, true, kCut), Step(dated, true)}, {"", rest}, kDate, kSize, false, L""},
      {"range ignored", {Step(v1, true, kCut), Step(v1, false)}, {"", rest}, "\"v1\"", kSize + kCut, true, L""},
      {"file changed", {Step(v1, true, kCut), Step(v2, true)}, {"", rest}, "\"v1\"", kSize + kCut, true, L""},
      {"no validator",
       {Step(json::object(), true, kCut), Step(json::object(), true)},
       {"", ""},
       "",
       kSize + kCut,
       true,
       L""},
      {"wrong Content-Range",
       {Step(v1, true, kCut), refusing, Step(v1, true)},
       {"", rest, ""},
       "\"v1\"",
       -1,  // the refused answer was cut off by the client, at a point the sockets decide
       true,
       L"[WINHTTP] Download failed: the server resumed with Content-Range \"bytes 200000-999999/1000000\" at 300000 "
       L"bytes."},
      {"another status to a range",
       {Step(v1, true, kCut), {{"status", 203}, {"body_size", kSize}, {"headers", v1}}, Step(v1, true)},
       {"", rest, ""},
       "\"v1\"",
       -1,
       true,
       L"[WINHTTP] Download failed: Server returned status code: 203"},
      {"WinINet resumes too",
       {{{"status", 500}}, Step(v1, true, kCut), Step(v1, true)},
       {"", "", rest},
       "\"v1\"",
       kSize,
       false,
       L"[WINHTTP] Download failed: Server returned status code: 500"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServiceControl::Reset();
    window.progress.clear();
    ServiceControl::SetScenario(kPath, c.steps);
    const DownloadResult result = Download(kPath);
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.error, c.errorPrefix);
    EXPECT_EQ(result.sha256, PatternSha256(kSize));
    EXPECT_EQ(FileHash(downloads + L"\\resume.bin"), result.sha256);
    const json requests = ServiceControl::Requests(kPath);
    ASSERT_EQ(requests.size(), c.ranges.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      EXPECT_EQ(Header(requests[i], "Range"), c.ranges[i]) << i;
      EXPECT_EQ(Header(requests[i], "If-Range"), c.ranges[i].empty() ? "" : c.ifRange) << i;
    }
    if (c.sent >= 0) {
      EXPECT_EQ(SentInAll(requests), c.sent);
    }
    const auto [back, toZero] = StepsBack(window.progress);
    EXPECT_EQ(back, c.restarts ? 1 : 0);
    EXPECT_TRUE(toZero);
    EXPECT_EQ(window.progress.back(), 100u);
    std::filesystem::remove(downloads + L"\\resume.bin");
  }
}

TEST_F(Resume, ADropEveryTimeEndsAfterThreeResumesPerTransport) {
  const json v1 = {{"ETag", "\"v1\""}};
  ServiceControl::SetScenario(kPath,
                              json::array({Step(v1, true, 100000), Step(v1, true, 100000), Step(v1, true, 100000),
                                           Step(v1, true, 100000), Step(v1, true, 100000), Step(v1, true, 100000),
                                           Step(v1, true, 100000), Step(v1, true, 100000), Step(v1, true)}));
  const DownloadResult result = Download(kPath);
  EXPECT_FALSE(result.success);
  EXPECT_TRUE(result.error.starts_with(L"[WINHTTP] ")) << result.error;
  EXPECT_NE(result.error.find(L" [WININET] "), std::wstring::npos) << result.error;
  EXPECT_EQ(result.sha256, "");
  const json requests = ServiceControl::Requests(kPath);
  ASSERT_EQ(requests.size(), 8u);
  // WinINet went on from where WinHTTP's last try stopped.
  for (std::size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(Header(requests[i], "Range"), "bytes=" + std::to_string(i * 100000) + "-") << i;
  }
  EXPECT_EQ(SentInAll(requests), 800000);
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(Resume, LargeFileCutTwiceArrivesWhole) {
  constexpr int kBig = 64 * 1024 * 1024;
  const json base = {{"body_size", kBig}, {"ranges", true}, {"headers", {{"ETag", "\"big\""}}}};
  json cut = base;
  cut["drop_after"] = 20 * 1024 * 1024;
  ServiceControl::SetScenario("/f/net/big.bin", json::array({cut, cut, base}));
  const DownloadResult result = Download("/f/net/big.bin");
  ASSERT_TRUE(result.success) << result.error;
  EXPECT_EQ(result.error, L"");
  EXPECT_EQ(result.sha256, PatternSha256(kBig));
  EXPECT_EQ(FileHash(downloads + L"\\big.bin"), result.sha256);
  const json requests = ServiceControl::Requests("/f/net/big.bin");
  EXPECT_EQ(requests.size(), 3u);
  EXPECT_EQ(SentInAll(requests), kBig);
  EXPECT_EQ(StepsBack(window.progress).first, 0);
}

TEST_F(Resume, BodiesWithoutLengthStopAtTheCapAsIncomplete) {
  manager->m_noLengthCap = 100000;
  const std::wstring text = L"Download was incomplete: no content length, stopped at 100000 bytes";
  const std::pair<int, std::wstring> cases[] = {
      {100000, L""},
      {100001, L"[WINHTTP] " + text + L" [WININET] " + text},
  };
  for (const auto& [size, error] : cases) {
    const json step = {{"body_size", size}, {"chunked", true}};
    ServiceControl::SetScenario("/f/net/endless.bin", json::array({step, step}));
    const DownloadResult result = Download("/f/net/endless.bin");
    EXPECT_EQ(result.success, error.empty()) << size;
    EXPECT_EQ(result.error, error);
    EXPECT_EQ(FilesUnder(downloads).size(), error.empty() ? 1u : 0u) << size;
    std::filesystem::remove(downloads + L"\\endless.bin");
  }
}

TEST_F(Resume, CancelDuringAResumedTryEndsAtOnceWithoutPartialFile) {
  const json v1 = {{"ETag", "\"v1\""}};
  json stalled = Step(v1, true);
  stalled["stall_after"] = 100000;
  ServiceControl::SetScenario(kPath, json::array({Step(v1, true, kCut), stalled}));
  DownloadResult result;
  std::thread worker([&] { result = manager->DownloadFile(Url(kPath), nullptr, L"", false); });
  for (int i = 0; i < 300 && ServiceControl::Requests(kPath).size() < 2; ++i) ::Sleep(50);
  ::Sleep(500);
  const auto cancelled = std::chrono::steady_clock::now();
  manager->Cancel();
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(1));
  EXPECT_EQ(result.error, L"[WINHTTP] Download cancelled.");
  EXPECT_TRUE(FilesUnder(root).empty());
}

}  // namespace

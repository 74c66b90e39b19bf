// The download engine against a web server nobody here wrote: Debian's nginx, started by the
// harness on loopback with the test CA's certificate (tests/harness/harness.py, start_nginx).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "DownloadFixture.h"
#include "ServiceControl.h"
#include "win32/UniqueResource.h"

namespace {

constexpr int kTlsPort = 8543;
constexpr int kCutterPort = 8545;  // the reference service's cutting relay to kTlsPort
constexpr std::size_t kBigBytes = 64 * 1024 * 1024;

std::wstring NginxUrl(const std::wstring& path) { return L"https://localhost:" + std::to_wstring(kTlsPort) + path; }

class NginxInterop : public DownloadFixture {
 protected:
  void SetUp() override { PrepareFolders(); }

  static std::uintmax_t LargestFileUnder(const std::wstring& folder) {
    std::uintmax_t largest = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      largest = std::max(largest, entry.file_size(error));
    }
    return largest;
  }

  // Compared piece by piece: two 64 MiB copies would crowd a 32-bit test process.
  static bool FileHoldsPattern(const std::wstring& path, std::size_t size) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::string block = Pattern(251 * 4096);
    std::string piece(block.size(), '\0');
    std::size_t done = 0;
    while (done < size) {
      const std::size_t count = std::min(block.size(), size - done);
      if (!file.read(piece.data(), static_cast<std::streamsize>(count))) return false;
      if (piece.compare(0, count, block, 0, count) != 0) return false;
      done += count;
    }
    return file.peek() == std::char_traits<char>::eof();
  }
};

TEST_F(NginxInterop, LargeTlsDownloadArrivesWhole) {
  const DownloadResult result = manager->DownloadFile(NginxUrl(L"/big.bin"), nullptr, L"", false);
  ASSERT_TRUE(result.success) << result.error;
  EXPECT_EQ(result.error, L"");
  EXPECT_EQ(FilesUnder(root), std::vector<std::wstring>{L"downloads\\big.bin"});
  EXPECT_TRUE(FileHoldsPattern(downloads + L"\\big.bin", kBigBytes));
}

// nginx serves ranges itself; the service's relay in front of it cuts the connection twice.
TEST_F(NginxInterop, LargeFileCutTwiceIsResumedWhole) {
  constexpr long long kCut = 20 * 1024 * 1024;
  ServiceControl::CutConnections({kCut, kCut});
  const DownloadResult result =
      manager->DownloadFile(L"https://localhost:" + std::to_wstring(kCutterPort) + L"/big.bin", nullptr, L"", false);
  ASSERT_TRUE(result.success) << result.error;
  EXPECT_EQ(result.error, L"");
  EXPECT_TRUE(FileHoldsPattern(downloads + L"\\big.bin", kBigBytes));
  EXPECT_EQ(result.sha256, PatternSha256(kBigBytes));
  const std::vector<long long> passed = ServiceControl::CutterConnections();
  ASSERT_EQ(passed.size(), 3u);
  EXPECT_EQ(passed[0], kCut);
  EXPECT_EQ(passed[1], kCut);
  // Everything that crossed the relay, TLS records and handshakes included: little more than
  // the file.
  long long sum = 0;
  for (long long bytes : passed) sum += bytes;
  EXPECT_LT(sum, static_cast<long long>(kBigBytes) * 101 / 100);
}

TEST_F(NginxInterop, RedirectsAndFailures) {
  const std::wstring plain = L"http://localhost:8580/ok.bin";
  const std::wstring downgrade = L"Redirect from HTTPS to HTTP refused: " + plain;
  const std::wstring sixth = L"Too many redirects.";
  const std::wstring missing =
      L"[WINHTTP] Download failed: Server returned status code: 404 [WININET] "
      L"Server returned status code: HTTP 404 - ";
  // An empty text: the download succeeds as ok.bin.
  const std::pair<const wchar_t*, std::wstring> cases[] = {
      {L"/chain/5", L""},  // 301, 302, 307, 308, 301
      {L"/rel/a/b", L""},  // Location: ../../ok.bin
      {L"/chain/6", L"[WINHTTP] " + sixth + L" [WININET] " + sixth},
      {L"/down", L"[WINHTTP] " + downgrade + L" [WININET] " + downgrade},
      {L"/missing.bin", missing},
  };
  for (const auto& [path, error] : cases) {
    const DownloadResult result = manager->DownloadFile(NginxUrl(path), nullptr, L"ok.bin", true);
    EXPECT_EQ(result.success, error.empty()) << path;
    EXPECT_TRUE(result.error.starts_with(error)) << path << L": " << result.error;
    if (error.empty()) {
      EXPECT_TRUE(ReadFile(work + L"\\ok.bin") == Pattern(1000)) << path;
      std::filesystem::remove(work + L"\\ok.bin");
    }
    EXPECT_TRUE(FilesUnder(root).empty()) << path;
  }
}

TEST_F(NginxInterop, RateLimitedDownloadCancelledMidBodyLeavesNoFile) {
  DownloadResult result;
  std::thread worker([&] { result = manager->DownloadFile(NginxUrl(L"/slow/big.bin"), nullptr, L"", false); });
  for (int i = 0; i < 600 && LargestFileUnder(downloads) < 64 * 1024; ++i) ::Sleep(50);
  manager->Cancel();
  worker.join();
  EXPECT_EQ(result.error, L"[WINHTTP] Download cancelled.");
  EXPECT_TRUE(FilesUnder(root).empty());
}

// The process is killed while its temporary file is open: the file system removes it.
TEST_F(NginxInterop, KilledDownloadLeavesNoFile) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring helper = self;
  helper = helper.substr(0, helper.rfind(L'\\') + 1) + L"download_bench.exe";
  std::wstring commandLine = L"\"" + helper + L"\" " + NginxUrl(L"/slow/big.bin") + L" \"" + downloads + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
  win32::UniqueHandle process(info.hProcess);
  win32::UniqueHandle thread(info.hThread);
  // Killed once data has reached the disk.
  for (int i = 0; i < 600 && LargestFileUnder(downloads) < 64 * 1024; ++i) ::Sleep(50);
  ASSERT_GE(LargestFileUnder(downloads), 64u * 1024) << "the download never got going";
  ASSERT_TRUE(::TerminateProcess(process.get(), 9));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  for (int i = 0; i < 40 && !FilesUnder(root).empty(); ++i) ::Sleep(50);
  EXPECT_TRUE(FilesUnder(root).empty());
}

}  // namespace

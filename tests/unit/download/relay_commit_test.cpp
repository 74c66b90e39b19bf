// The relay between a transfer thread and a slow consumer, and the final step of a download.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <vector>

#include "download/TargetFile.h"
#include "download/TransferRelay.h"

namespace {

namespace fs = std::filesystem;

// A disk slow enough to fill the relay's queue: the transfer must wait for the consumer, and
// the consumer taking data must wake it, well before the stall limit.
TEST(TransferRelay, ASlowConsumerMakesTheTransferWaitNotStall) {
  struct SlowSink final : download::TransferSink {
    void OnLength(std::optional<DWORD>) override {}
    void OnData(const char*, DWORD size) override {
      if (bytes == 0) ::Sleep(1000);
      bytes += size;
    }
    std::size_t bytes = 0;
  } sink;
  constexpr std::size_t kChunk = 64 * 1024;
  constexpr int kChunks = 96;  // 6 MiB, half again the queue's limit
  const download::BlockingTransfer transfer = [](download::TransferSink& out, const std::atomic<bool>&) {
    const std::vector<char> chunk(kChunk, 'x');
    for (int i = 0; i < kChunks; ++i) out.OnData(chunk.data(), static_cast<DWORD>(chunk.size()));
  };
  const std::atomic<bool> cancelled{false};
  download::RelayRegistry registry(cancelled);
  EXPECT_NO_THROW(download::RunRelayed(transfer, sink, registry, 2000));
  EXPECT_EQ(sink.bytes, kChunk * kChunks);
}

// The final rename fails when a folder holds the target's name: the download fails and its
// temporary file goes too.
TEST(TargetFile, AFailedCommitLeavesNoTemporaryFile) {
  const fs::path folder = fs::temp_directory_path() / ("brindle-commit-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder / "setup.exe");
  {
    download::TargetFile file((folder / "setup.exe").wstring());
    ASSERT_TRUE(file.IsOpen());
    file.Write("abc", 3);
    file.Finish();
    EXPECT_THROW(file.Commit(), std::exception);
  }
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<fs::path>{"setup.exe"});
  fs::remove_all(folder);
}

}  // namespace

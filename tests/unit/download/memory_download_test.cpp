// Memory downloads: two attempts over WinHTTP, one shared redirect budget, and the
// asynchronous form's hand-over on its own thread.
#include <gtest/gtest.h>

#include "DownloadFixture.h"
#include "ServiceControl.h"
#include "win32/UniqueResource.h"

namespace {

using nlohmann::json;

using MemoryDownloadTest = DownloadFixture;

TEST_F(MemoryDownloadTest, SecondAttemptAfterAFailure) {
  ServiceControl::SetScenario("/f/net/logo.png", json::array({{{"status", 500}}, {{"body_size", 1234}}}));
  const auto buffer = manager->DownloadToMemory(Url("/f/net/logo.png"));
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(buffer->begin(), buffer->end()), Pattern(1234));
  const json requests = ServiceControl::Requests("/f/net/logo.png");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].at("headers").at("User-Agent"), "A WinHTTP Example Program/1.0");
  EXPECT_TRUE(FilesUnder(root).empty());
}

TEST_F(MemoryDownloadTest, TwoFailuresGiveAnEmptyBuffer) {
  ServiceControl::SetScenario("/f/net/logo.png",
                              json::array({{{"status", 500}}, {{"status", 404}}, {{"body_size", 10}}}));
  const auto buffer = manager->DownloadToMemory(Url("/f/net/logo.png"));
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(buffer->empty());
  EXPECT_EQ(ServiceControl::Requests("/f/net/logo.png").size(), 2u);
}

TEST_F(MemoryDownloadTest, BothAttemptsShareOneRedirectBudget) {
  ServiceControl::SetScenario("/f/net/img.png", json::array({{{"body_size", 100}}}));
  EXPECT_EQ(manager->DownloadToMemory(Url("/redirect/5/rel/f/net/img.png"))->size(), 100u);

  // Three redirects and a failure, then a second attempt that runs out after two more.
  ServiceControl::SetScenario("/f/net/img.png", json::array({{{"status", 500}}, {{"body_size", 100}}}));
  EXPECT_TRUE(manager->DownloadToMemory(Url("/redirect/3/abs/f/net/img.png"))->empty());
  EXPECT_EQ(ServiceControl::Requests("/f/net/img.png").size(), 2u);
}

TEST_F(MemoryDownloadTest, AsyncHandsOverOnItsOwnThreadAndNullAfterCancellation) {
  ServiceControl::SetScenario("/f/net/a.png", json::array({{{"body_size", 300}}, {{"body_size", 300}}}));
  win32::UniqueHandle done(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  DWORD callbackThread = 0;
  bool gotBuffer = false;
  std::size_t size = 0;
  auto callback = [&](std::unique_ptr<std::vector<char>> buffer) {
    callbackThread = ::GetCurrentThreadId();
    gotBuffer = buffer != nullptr;
    size = buffer ? buffer->size() : 0;
    ::SetEvent(done.get());
  };

  ASSERT_TRUE(manager->DownloadToMemoryAsync(Url("/f/net/a.png"), callback));
  ASSERT_EQ(::WaitForSingleObject(done.get(), 30000), WAIT_OBJECT_0);
  EXPECT_NE(callbackThread, ::GetCurrentThreadId());
  EXPECT_TRUE(gotBuffer);
  EXPECT_EQ(size, 300u);

  manager->m_cancelled = true;
  ASSERT_TRUE(manager->DownloadToMemoryAsync(Url("/f/net/a.png"), callback));
  ASSERT_EQ(::WaitForSingleObject(done.get(), 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(gotBuffer);
}

TEST_F(MemoryDownloadTest, BodiesOverTheCapFail) {
  constexpr std::size_t kCap = DownloadManager::kMaxMemoryBytes;
  ServiceControl::SetScenario("/f/net/big.png", json::array({{{"body_size", kCap}},
                                                             {{"body_size", kCap + 1}},
                                                             {{"body_size", kCap + 1}},
                                                             {{"body_size", 10}, {"content_length", kCap + 1}},
                                                             {{"body_size", 10}, {"content_length", kCap + 1}}}));
  EXPECT_EQ(manager->DownloadToMemory(Url("/f/net/big.png"))->size(), kCap);
  EXPECT_TRUE(manager->DownloadToMemory(Url("/f/net/big.png"))->empty());  // sent, two attempts
  EXPECT_TRUE(manager->DownloadToMemory(Url("/f/net/big.png"))->empty());  // announced, two attempts
  EXPECT_EQ(ServiceControl::Requests("/f/net/big.png").size(), 5u);
}

TEST_F(MemoryDownloadTest, CancelEndsAStalledDownloadAndHandsOverNull) {
  ServiceControl::SetScenario("/f/net/stall.png", json::array({{{"body_size", 1000000}, {"stall_after", 1000}}}));
  win32::UniqueHandle done(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  bool gotBuffer = true;
  ASSERT_TRUE(manager->DownloadToMemoryAsync(Url("/f/net/stall.png"), [&](std::unique_ptr<std::vector<char>> buffer) {
    gotBuffer = buffer != nullptr;
    ::SetEvent(done.get());
  }));
  for (int i = 0; i < 300 && ServiceControl::Requests("/f/net/stall.png").empty(); ++i) ::Sleep(100);
  ::Sleep(500);
  manager->Cancel();
  ASSERT_EQ(::WaitForSingleObject(done.get(), 2000), WAIT_OBJECT_0);
  EXPECT_FALSE(gotBuffer);
}

// Without a shared owner the thread could outlive the manager, so none is started.
TEST_F(MemoryDownloadTest, AsyncWithoutSharedOwnerStartsNothing) {
  DownloadManager unowned;
  bool called = false;
  EXPECT_FALSE(unowned.DownloadToMemoryAsync(Url("/f/net/a.png"), [&](auto) { called = true; }));
  ::Sleep(200);
  EXPECT_FALSE(called);
  EXPECT_TRUE(ServiceControl::Requests().empty());
}

}  // namespace

// Work on a thread of its own: its result or failure handed over, and a dropped result never
// waited for.
#include "win32/DetachedTask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

TEST(DetachedTask, DroppingThePendingResultDoesNotWaitForTheWork) {
  auto finished = std::make_shared<std::atomic<bool>>(false);
  const auto start = Clock::now();
  win32::RunDetached<int>([finished] {
    ::Sleep(2000);
    *finished = true;
    return 1;
  });
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_FALSE(*finished);
  while (!*finished) ::Sleep(50);
}

TEST(DetachedTask, HandsOverTheResultOrTheFailure) {
  win32::Pending<int> result = win32::RunDetached<int>([] {
    ::Sleep(300);
    return 7;
  });
  EXPECT_FALSE(result.WaitUntil(Clock::now() + std::chrono::milliseconds(50)));
  EXPECT_TRUE(result.WaitUntil(Clock::now() + std::chrono::seconds(30)));
  EXPECT_TRUE(result.IsReady());
  EXPECT_EQ(result.Get(), 7);
  EXPECT_FALSE(result.Valid());

  win32::Pending<int> failure = win32::RunDetached<int>([]() -> int { throw std::runtime_error("no result"); });
  try {
    failure.Get();
    ADD_FAILURE() << "no failure raised";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "no result");
  }
}

}  // namespace

#include "config/Identity.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "MachineGuidRemoval.h"
#include "TestEnvironment.h"

namespace {

TEST(Identity, Wow64FollowsThePrefix) { EXPECT_EQ(config::IsWow64(), testenv::ExpectWow64()); }

TEST(Identity, OsVersionIsMajorMinorBuild) {
  const std::string text = config::GetOsVersionText();
  EXPECT_TRUE(std::regex_match(text, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+"))) << text;
  // The harness sets the prefix to Windows 10.
  EXPECT_EQ(text.rfind("10.0.", 0), 0u) << text;
}

TEST(Identity, FileVersionFromOwnResource) { EXPECT_EQ(config::GetFileVersionText(), "3.2.2.12299"); }

TEST(Identity, MillisecondClock) {
  const auto now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  const long long reported = std::stoll(config::NowMillisText());
  EXPECT_LT(std::llabs(reported - now), 5000);
}

TEST(Identity, MachineGuidPresentAndRemoved) {
  const std::string present = config::ReadMachineGuid();
  EXPECT_EQ(present.size(), 36u) << present;  // wineboot creates one
  MachineGuidRemoval removal;
  EXPECT_EQ(config::ReadMachineGuid(), "");
}

}  // namespace

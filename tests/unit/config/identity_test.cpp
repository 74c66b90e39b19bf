#include "config/Identity.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "TestEnvironment.h"
#include "ui/UniqueResource.h"

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
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const long long reported = std::stoll(config::NowMillisText());
  EXPECT_LT(std::llabs(reported - now), 5000);
}

// Uses the test prefix's own registry: the value is removed and put back.
TEST(Identity, MachineGuidPresentAndRemoved) {
  ui::UniqueHkey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                            KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()),
            ERROR_SUCCESS);
  wchar_t original[128] = {};
  DWORD size = sizeof(original);
  const bool existed = ::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(original), &size) == ERROR_SUCCESS;
  if (!existed) {
    const wchar_t guid[] = L"0b5d1d2e-1111-2222-3333-444455556666";
    ASSERT_EQ(::RegSetValueExW(key.get(), L"MachineGuid", 0, REG_SZ, reinterpret_cast<const BYTE*>(guid), sizeof(guid)),
              ERROR_SUCCESS);
  }
  const std::string present = config::ReadMachineGuid();
  EXPECT_EQ(present.size(), 36u) << present;

  ASSERT_EQ(::RegDeleteValueW(key.get(), L"MachineGuid"), ERROR_SUCCESS);
  EXPECT_EQ(config::ReadMachineGuid(), "");

  if (existed) {
    ::RegSetValueExW(key.get(), L"MachineGuid", 0, REG_SZ, reinterpret_cast<const BYTE*>(original), size);
  }
}

}  // namespace

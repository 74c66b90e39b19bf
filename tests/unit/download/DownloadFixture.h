#pragma once
// A fresh download and work folder per test, a manager of the test's own (so cancelling it
// touches nothing else), and a reset reference service.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"

class DownloadFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The folders alone, for tests that do not talk to the reference service.
  void PrepareFolders();

  // Every file below `folder`, as paths relative to it, sorted.
  static std::vector<std::wstring> FilesUnder(const std::wstring& folder);
  static std::string ReadFile(const std::wstring& path);
  static void WriteFile(const std::wstring& path, const std::string& content);
  // The service's body_size pattern: byte i is i % 251.
  static std::string Pattern(std::size_t size);
  // Its SHA-256 (lower-case hex), computed piece by piece.
  static std::string PatternSha256(std::size_t size);
  static std::wstring Url(const std::string& path);

  std::shared_ptr<ConfigurationManager> configuration = ConfigurationManager::GetInstance();
  std::shared_ptr<DownloadManager> manager = std::make_shared<DownloadManager>();
  std::wstring root;
  std::wstring downloads;
  std::wstring work;
  int invalidPathNotices = 0;
};

#include "DownloadFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ServiceControl.h"
#include "config/Hashing.h"
#include "win32/Strings.h"

namespace fs = std::filesystem;

void DownloadFixture::SetUp() {
  ServiceControl::Reset();
  PrepareFolders();
}

void DownloadFixture::PrepareFolders() {
  // Per process: the test programs of this folder run in parallel.
  root = (fs::temp_directory_path() / (L"brindle-download-test-" + std::to_wstring(::GetCurrentProcessId()))).wstring();
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  fs::remove_all(root);
  downloads = root + L"\\downloads";
  work = root + L"\\work";
  fs::create_directories(downloads);
  fs::create_directories(work);
  manager->SetFolders(work, downloads);
  manager->m_invalidPathNotice = [this] { ++invalidPathNotices; };
}

void DownloadFixture::TearDown() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

std::vector<std::wstring> DownloadFixture::FilesUnder(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), folder).wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string DownloadFixture::ReadFile(const std::wstring& path) {
  std::ifstream file(fs::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void DownloadFixture::WriteFile(const std::wstring& path, const std::string& content) {
  std::ofstream file(fs::path(path), std::ios::binary);
  file << content;
}

std::string DownloadFixture::Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

std::string DownloadFixture::PatternSha256(std::size_t size) {
  const std::string block = Pattern(251 * 4096);
  config::Sha256 hash;
  for (std::size_t done = 0; done < size; done += block.size()) {
    hash.Update(block.data(), std::min(block.size(), size - done));
  }
  return hash.HexDigest();
}

std::wstring DownloadFixture::Url(const std::string& path) {
  return L"https://localhost" + win32::Widen(path, CP_UTF8);
}

// Removing the work folder: what goes now, what is left for the next restart, what is never
// touched.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/FolderCleanup.h"
#include "install/FolderTree.h"
#include "win32/UniqueResource.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

std::vector<std::wstring> ReadPending() {
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<std::wstring> strings;
  for (std::size_t pos = 0; pos < size / sizeof(wchar_t);) {
    const std::wstring item(data.c_str() + pos);
    strings.push_back(item);
    pos += item.size() + 1;
  }
  // Entries are pairs (a removal's target is empty); an odd last empty string ends the list.
  if (strings.size() % 2 == 1 && strings.back().empty()) strings.pop_back();
  return strings;
}

class FolderCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pendingBefore = ReadPending();
    root = (fs::temp_directory_path() / L"brindle-cleanup-test").wstring();
    while (root.back() == L'\\') root.pop_back();
    fs::remove_all(root);
    fs::create_directories(root);
  }

  void TearDown() override {
    // The prefix is shared by the run: the removals this test scheduled are taken back.
    win32::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
      if (m_pendingBefore.empty()) {
        ::RegDeleteValueW(key.get(), kPending);
      } else {
        std::wstring data;
        for (const auto& item : m_pendingBefore) data += item + L'\0';
        data += L'\0';
        ::RegSetValueExW(key.get(), kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size() * sizeof(wchar_t)));
      }
    }
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(root, ignored);
  }

  // The paths scheduled since the test began, in order.
  std::vector<std::wstring> Scheduled() const {
    std::vector<std::wstring> all = ReadPending();
    std::vector<std::wstring> added;
    for (std::size_t i = m_pendingBefore.size(); i + 1 < all.size(); i += 2) {
      std::wstring path = all[i];
      if (path.rfind(L"\\??\\", 0) == 0) path = path.substr(4);
      added.push_back(path);
    }
    return added;
  }

  std::wstring Make(const std::wstring& relative, const char* content = nullptr) const {
    const std::wstring path = root + L"\\" + relative;
    if (content == nullptr) {
      fs::create_directories(path);
    } else {
      fs::create_directories(fs::path(path).parent_path());
      std::ofstream(fs::path(path)) << content;
    }
    return path;
  }

  std::wstring root;

 private:
  std::vector<std::wstring> m_pendingBefore;
};

TEST_F(FolderCleanup, AnEmptyFolderStaysAndAFullOneGoesWithAllInside) {
  cleanup::DeleteFolder(root);
  EXPECT_TRUE(fs::is_directory(root));

  Make(L"a\\b\\c");
  Make(L"a\\empty");
  Make(L"a\\b\\file.txt", "x");
  const std::wstring readOnly = Make(L"readonly.txt", "y");
  ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  cleanup::DeleteFolder(root);
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(Scheduled().empty());
}

TEST_F(FolderCleanup, AFileInUseIsLeftForTheRestartAndNothingElseIs) {
  Make(L"sub\\done.txt", "x");
  const std::wstring busy = Make(L"busy.exe", "running");
  win32::UniqueFile held(::CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  cleanup::DeleteFolder(root);
  EXPECT_FALSE(fs::exists(root + L"\\sub"));
  EXPECT_TRUE(fs::exists(busy));
  // The file that is in use, then the folder that holds it.
  EXPECT_EQ(Scheduled(), (std::vector<std::wstring>{busy, root}));
}

// Wine 8 can create neither junctions nor listable symbolic links (measured: FSCTL_SET_REPARSE_POINT
// fails with error 50, and a created link never shows up in the listing), so the tests tell the
// clean-up which opened object is a link.
TEST_F(FolderCleanup, ALinkIsRemovedItselfAndNeverFollowed) {
  const std::wstring link = Make(L"link");
  const std::wstring target = Make(L"link\\elsewhere.txt", "not ours");
  Make(L"plain.txt", "ours");
  install::RemovalHooks hooks;
  hooks.isLink = [&](const std::wstring& path, HANDLE, DWORD) { return path == link; };
  cleanup::DeleteFolder(root, {}, hooks);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(root + L"\\plain.txt"));
  EXPECT_EQ(Scheduled(), std::vector<std::wstring>{root});  // the link is never scheduled
}

// A folder swapped for a link after its parent was listed: the object opened is judged by its
// handle, so what the link leads to (a folder from outside, here) is never emptied.
TEST_F(FolderCleanup, AFolderSwappedForALinkAfterListingIsNotFollowed) {
  const std::wstring outside = (fs::temp_directory_path() / L"brindle-cleanup-outside").wstring();
  fs::remove_all(outside);
  fs::create_directories(outside);
  std::ofstream(fs::path(outside) / L"keep.txt") << "not ours";
  const std::wstring swapped = Make(L"1");
  Make(L"1\\ours.txt", "ours");
  BY_HANDLE_FILE_INFORMATION outsideId{};
  {
    win32::UniqueFile handle(::CreateFileW(outside.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(::GetFileInformationByHandle(handle.get(), &outsideId));
  }
  install::RemovalHooks hooks;
  hooks.afterListing = [&](const std::wstring& folder) {
    if (folder != root) return;
    ::MoveFileExW(swapped.c_str(), (root + L"-moved-away").c_str(), 0);
    ::MoveFileExW(outside.c_str(), swapped.c_str(), 0);
  };
  hooks.isLink = [&](const std::wstring&, HANDLE object, DWORD) {
    BY_HANDLE_FILE_INFORMATION id{};
    return ::GetFileInformationByHandle(object, &id) && id.nFileIndexLow == outsideId.nFileIndexLow &&
           id.nFileIndexHigh == outsideId.nFileIndexHigh;
  };
  cleanup::DeleteFolder(root, {}, hooks);
  EXPECT_TRUE(fs::exists(swapped + L"\\keep.txt"));
  fs::remove_all(root + L"-moved-away");
}

TEST_F(FolderCleanup, AFolderWhoseInstallerRunsIsLeftWholeForTheRestart) {
  const std::wstring running = Make(L"1");
  const std::wstring installer = Make(L"1\\setup.exe", "MZ");
  const std::wstring data = Make(L"1\\data.bin", "read later");
  Make(L"2\\other.exe", "MZ");
  cleanup::DeleteFolder(root, {running + L"\\"});
  EXPECT_TRUE(fs::exists(installer));
  EXPECT_TRUE(fs::exists(data));
  EXPECT_FALSE(fs::exists(root + L"\\2"));
  std::vector<std::wstring> scheduled = Scheduled();
  ASSERT_EQ(scheduled.size(), 4u);
  std::sort(scheduled.begin(), scheduled.begin() + 2);
  EXPECT_EQ(scheduled, (std::vector<std::wstring>{data, installer, running, root}));
}

}  // namespace

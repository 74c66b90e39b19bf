#include "install/InstallerFiles.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <exception>

#include "install/FolderTree.h"
#include "install/HeldFile.h"
#include "install/ZipExtractor.h"
#include "win32/UniqueResource.h"

namespace install {
namespace {

bool EndsWithExe(const std::wstring& name) {
  constexpr std::wstring_view kExtension = L".exe";
  return name.size() > kExtension.size() &&
         ::CompareStringOrdinal(name.c_str() + name.size() - kExtension.size(), static_cast<int>(kExtension.size()),
                                kExtension.data(), static_cast<int>(kExtension.size()), TRUE) == CSTR_EQUAL;
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_LESS_THAN;
}

}  // namespace

ArchiveType GetArchiveType(const std::wstring& path) {
  win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ArchiveType::None;
  std::array<unsigned char, 6> bytes{};
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read == 0) {
    return ArchiveType::None;
  }
  static constexpr std::array<unsigned char, 6> kSevenZip = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
  static constexpr std::array<unsigned char, 4> kZip = {0x50, 0x4B, 0x03, 0x04};
  if (read >= kSevenZip.size() && std::memcmp(bytes.data(), kSevenZip.data(), kSevenZip.size()) == 0) {
    return ArchiveType::SevenZip;
  }
  if (read >= kZip.size() && std::memcmp(bytes.data(), kZip.data(), kZip.size()) == 0) return ArchiveType::Zip;
  return ArchiveType::None;
}

std::wstring MakeExtractFolder(const std::wstring& filePath, const std::wstring& baseFolder) {
  std::wstring name;
  const auto slash = filePath.rfind(L'\\');
  if (slash != std::wstring::npos) {
    name = filePath.substr(slash);
    name = name.substr(0, name.rfind(L'.'));
  }
  std::wstring base = baseFolder;
  if (!name.empty() && base.ends_with(L'\\')) base.pop_back();
  const std::wstring candidate = base + name;
  // Made now or not at all: a folder already there may hold what someone else put in it.
  if (::CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
  if (::GetLastError() != ERROR_ALREADY_EXISTS || IsFolder(candidate)) return {};
  // A file of that name (the download itself when it has no extension) is in the way.
  for (int n = 2; n <= 100; ++n) {
    std::wstring fresh = candidate + L"_" + std::to_wstring(n);
    if (::CreateDirectoryW(fresh.c_str(), nullptr)) return fresh;
  }
  return {};
}

std::wstring FindFirstExe(const std::wstring& folder) {
  if (folder.size() + 6 >= MAX_PATH) return {};
  std::wstring first;
  for (const FolderItem& item : ListFolder(folder, L"*.exe")) {
    // The pattern also matches short names, so "setup.exe_" could come back as "SETUP~1.EXE".
    if ((item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !EndsWithExe(item.name)) continue;
    if (first.empty() || LessIgnoringCase(item.name, first)) first = item.name;
  }
  return first;
}

Installer PrepareInstaller(const Installer& download, ArchiveType type, const std::wstring& baseFolder,
                           const std::atomic<bool>* stop) {
  if (type != ArchiveType::Zip) return download;
  try {
    std::optional<HeldFile> archive;
    if (download.sha256) {
      archive.emplace(download.path, *download.sha256);
      if (!archive->Matches()) return download;  // its start then fails as changed
    }
    const std::wstring folder = MakeExtractFolder(download.path, baseFolder);
    if (folder.empty()) return download;
    std::vector<ExtractedFile> written;
    if (!ExtractArchive(download.path, folder, {}, stop, &written)) return download;
    // Named by the archive's own entries, never by a listing of the folder.
    const ExtractedFile* first = nullptr;
    for (const ExtractedFile& file : written) {
      if (file.path.find(L'\\') != std::wstring::npos || !EndsWithExe(file.path)) continue;
      if (first == nullptr || LessIgnoringCase(file.path, first->path)) first = &file;
    }
    if (first == nullptr) return download;
    const std::wstring path = folder + L"\\" + first->path;
    return path.size() < MAX_PATH ? Installer{path, first->sha256} : download;
  } catch (const std::exception&) {
    return download;
  }
}

}  // namespace install

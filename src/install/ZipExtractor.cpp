#include "install/ZipExtractor.h"

#include <windows.h>

#include <minizip/unzip.h>
// iowin32.h needs the declarations of ioapi.h, which unzip.h includes.
#include <minizip/iowin32.h>

#include <stdexcept>
#include <vector>

#include "config/FileHasher.h"
#include "config/FileNames.h"
#include "install/FolderTree.h"
#include "install/ZipHandle.h"
#include "win32/DebugLog.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace install {
namespace {

constexpr uLong kFlagEncrypted = 0x0001;
constexpr uLong kFlagStrongEncryption = 0x0040;
constexpr uLong kFlagUtf8Name = 0x0800;
constexpr uLong kFlagMaskedHeaders = 0x2000;
constexpr uLong kMethodStored = 0;
constexpr uLong kMethodDeflated = 8;
constexpr uLong kHostUnix = 3;
constexpr uLong kUnixTypeMask = 0170000;
constexpr uLong kUnixSymlink = 0120000;
// "~zip" and eight hex digits.
constexpr std::size_t kStagingNameLength = 12;
// CreateDirectoryW leaves room for an 8.3 name below the folder.
constexpr std::size_t kMaxFolderPath = MAX_PATH - 12;

class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Entry {
  std::wstring path;  // relative, joined with backslashes
  bool folder = false;
  std::uint64_t size = 0;
};

std::wstring DecodeName(const std::string& bytes, bool utf8) {
  // Names without the UTF-8 flag are in the IBM PC code page (every byte is a character there),
  // whatever the system's is. An empty name is refused with the other components.
  return utf8 ? win32::Utf8ToWide(bytes) : win32::Widen(bytes, 437);
}

// Splits on both separators; every component must be a plain file name, so "..", "C:",
// "a:b", "CON", a leading separator (an empty first component) and "a//b" are refused.
std::vector<std::wstring> PathComponents(std::wstring name, bool& folder) {
  folder = !name.empty() && (name.back() == L'/' || name.back() == L'\\');
  if (folder) name.pop_back();
  std::vector<std::wstring> components;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of(L"/\\", start);
    components.push_back(name.substr(start, end - start));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  for (const std::wstring& component : components) {
    if (config::FileNameProblem(component)) throw Refused("entry name is not a plain relative path");
  }
  return components;
}

bool IsLink(const unz_file_info64& info) {
  if ((info.external_fa & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  return (info.version >> 8) == kHostUnix && ((info.external_fa >> 16) & kUnixTypeMask) == kUnixSymlink;
}

struct Layout {
  std::wstring destination;
  std::size_t stagingLength;  // of destination\~zipXXXXXXXX
};

Entry CheckEntry(unzFile zip, const Layout& layout, const ExtractLimits& limits) {
  unz_file_info64 info{};
  if (::unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    throw Refused("unreadable central directory");
  }
  std::string rawName(info.size_filename, '\0');
  if (::unzGetCurrentFileInfo64(zip, &info, rawName.data(), static_cast<uLong>(rawName.size() + 1), nullptr, 0, nullptr,
                                0) != UNZ_OK) {
    throw Refused("unreadable central directory");
  }
  if ((info.flag & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders)) != 0) {
    throw Refused("encrypted entry");
  }
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) {
    throw Refused("unsupported compression method");
  }
  if (IsLink(info)) throw Refused("link entry");

  Entry entry;
  const std::vector<std::wstring> components =
      PathComponents(DecodeName(rawName, (info.flag & kFlagUtf8Name) != 0), entry.folder);
  std::size_t length = layout.stagingLength;
  for (std::size_t i = 0; i < components.size(); ++i) {
    length += 1 + components[i].size();
    const bool isFolder = entry.folder || i + 1 < components.size();
    if (length >= (isFolder ? kMaxFolderPath : MAX_PATH)) throw Refused("entry path too long");
    if (i > 0) entry.path += L'\\';
    entry.path += components[i];
  }
  if (::GetFileAttributesW((layout.destination + L"\\" + components.front()).c_str()) != INVALID_FILE_ATTRIBUTES) {
    throw Refused("entry would replace an existing item");
  }
  entry.size = entry.folder ? 0 : info.uncompressed_size;
  if (entry.size > limits.ratioFloorBytes &&
      (info.compressed_size == 0 || entry.size / info.compressed_size > limits.maxRatio)) {
    throw Refused("entry inflates beyond the ratio limit");
  }
  return entry;
}

std::vector<Entry> ReadDirectory(unzFile zip, const Layout& layout, const ExtractLimits& limits) {
  unz_global_info64 global{};
  if (::unzGetGlobalInfo64(zip, &global) != UNZ_OK) throw Refused("unreadable archive");
  if (global.number_entry == 0) throw Refused("no entries");
  if (global.number_entry > limits.maxEntries) throw Refused("too many entries");

  std::vector<Entry> entries;
  std::uint64_t total = 0;
  int result = ::unzGoToFirstFile(zip);
  for (; result == UNZ_OK; result = ::unzGoToNextFile(zip)) {
    entries.push_back(CheckEntry(zip, layout, limits));
    total += entries.back().size;
    if (total > limits.maxTotalBytes) throw Refused("archive too large");
  }
  if (result != UNZ_END_OF_LIST_OF_FILE || entries.size() != global.number_entry) {
    throw Refused("damaged central directory");
  }
  ULARGE_INTEGER available{};
  if (::GetDiskFreeSpaceExW(layout.destination.c_str(), &available, nullptr, nullptr) && total > available.QuadPart) {
    throw Refused("not enough free space");
  }
  return entries;
}

// A fresh folder inside the destination that receives the entries; on any failure it goes
// away together with whatever was already moved out of it.
class Staging {
 public:
  explicit Staging(const std::wstring& destination) : m_destination(destination) {
    const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (DWORD n = 0; n < 100 && m_path.empty(); ++n) {
      wchar_t name[kStagingNameLength + 1] = {};
      ::wsprintfW(name, L"~zip%08X", seed + n);
      const std::wstring path = destination + L"\\" + name;
      if (::CreateDirectoryW(path.c_str(), nullptr)) m_path = path;
    }
    if (m_path.empty()) throw Refused("no staging folder");
  }
  ~Staging() {
    if (!m_committed) {
      for (const std::wstring& name : m_moved) RemoveTree(m_destination + L"\\" + name);
    }
    RemoveTree(m_path);
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  const std::wstring& Path() const { return m_path; }

  void MoveIntoPlace() {
    const std::vector<FolderItem> items = ListFolder(m_path);
    m_moved.reserve(items.size());
    for (const FolderItem& item : items) {
      if (!::MoveFileExW((m_path + L"\\" + item.name).c_str(), (m_destination + L"\\" + item.name).c_str(), 0)) {
        throw Refused("cannot move an entry into place");
      }
      m_moved.push_back(item.name);
    }
    m_committed = true;
  }

 private:
  std::wstring m_destination;
  std::wstring m_path;
  std::vector<std::wstring> m_moved;
  bool m_committed = false;
};

void MakeFolders(const std::wstring& root, const std::wstring& relative) {
  for (std::size_t end = relative.find(L'\\');; end = relative.find(L'\\', end + 1)) {
    if (!EnsureFolder(root + L"\\" + relative.substr(0, end))) throw Refused("cannot create a folder");
    if (end == std::wstring::npos) break;
  }
}

void ThrowIfStopped(const std::atomic<bool>* stop) {
  if (stop != nullptr && *stop) throw Refused("stopped: the wizard is closing");
}

// Returns the hash of the bytes written.
std::string WriteEntry(unzFile zip, const std::wstring& path, std::uint64_t size, const std::atomic<bool>* stop) {
  win32::UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw Refused("cannot create a file");
  if (::unzOpenCurrentFile(zip) != UNZ_OK) throw Refused("cannot open an entry");
  std::vector<char> buffer(64 * 1024);
  config::FileHasher hasher(config::HashEngine::Cng);
  std::uint64_t written = 0;
  int read = 0;
  // Reading stops at the size the central directory declared, which was checked.
  while ((read = ::unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
    ThrowIfStopped(stop);
    DWORD done = 0;
    if (!::WriteFile(file.get(), buffer.data(), static_cast<DWORD>(read), &done, nullptr) ||
        done != static_cast<DWORD>(read)) {
      read = -1;
      break;
    }
    hasher.Update(buffer.data(), done);
    written += done;
  }
  // Closing the entry compares its CRC once it has been read to the end.
  const int closed = ::unzCloseCurrentFile(zip);
  if (read < 0 || closed != UNZ_OK || written != size) throw Refused("damaged entry");
  return hasher.HexDigest();
}

}  // namespace

bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination, const ExtractLimits& limits,
                    const std::atomic<bool>* stop, std::vector<ExtractedFile>* written) {
  try {
    if (!IsFolder(destination)) throw Refused("no destination folder");
    std::wstring target = destination;
    while (target.ends_with(L'\\')) target.pop_back();
    zlib_filefunc64_def io{};
    ::fill_win32_filefunc64W(&io);
    UniqueUnzip zip(::unzOpen2_64(archivePath.c_str(), &io));
    if (!zip) throw Refused("not a readable ZIP file");

    const Layout layout{target, target.size() + 1 + kStagingNameLength};
    const std::vector<Entry> entries = ReadDirectory(zip.get(), layout, limits);
    Staging staging(target);
    std::vector<ExtractedFile> files;
    int result = ::unzGoToFirstFile(zip.get());
    for (const Entry& entry : entries) {
      ThrowIfStopped(stop);
      if (result != UNZ_OK) throw Refused("damaged central directory");
      if (entry.folder) {
        MakeFolders(staging.Path(), entry.path);
      } else {
        const auto slash = entry.path.rfind(L'\\');
        if (slash != std::wstring::npos) MakeFolders(staging.Path(), entry.path.substr(0, slash));
        files.push_back({entry.path, WriteEntry(zip.get(), staging.Path() + L"\\" + entry.path, entry.size, stop)});
      }
      result = ::unzGoToNextFile(zip.get());
    }
    ThrowIfStopped(stop);
    staging.MoveIntoPlace();
    if (written != nullptr) *written = std::move(files);
    return true;
  } catch (const std::exception& error) {
    win32::DebugLine(std::string("ZIP not extracted: ") + error.what());
    return false;
  }
}

}  // namespace install

#pragma once
// Turns a downloaded file into the program to run: archives are recognised by their
// signature, and a ZIP is unpacked into a folder named after it and its first top-level
// .exe is taken instead.
#include <atomic>
#include <optional>
#include <string>

namespace install {

enum class ArchiveType : int { None = 0, Zip = 1, SevenZip = 2 };

// By the first bytes only; an unreadable or short file is not an archive.
ArchiveType GetArchiveType(const std::wstring& path);

// baseFolder\<file name without its last extension>, always made now: a folder that is already
// there is never reused (empty result). When a file of that name is in the way (a ZIP
// downloaded without extension), a fresh "<name>_<n>" folder. Empty when no folder was made.
std::wstring MakeExtractFolder(const std::wstring& filePath, const std::wstring& baseFolder);

// The top-level "*.exe" file whose name is smallest without regard to case (the order NTFS
// lists them in, whatever the file system); empty when there is none.
std::wstring FindFirstExe(const std::wstring& folder);

// A program to run, and the SHA-256 (lower-case hex) its content had when the wizard wrote it.
struct Installer {
  std::wstring path;
  std::optional<std::string> sha256;
};

// The installer unpacked from a ZIP: the top-level ".exe" among the archive's own entries whose
// name is smallest without regard to case, with the hash of the bytes written for it. The
// download itself for anything else, and whenever the archive no longer has its hash, unpacking
// fails or yields no executable. The archive is held unchangeable while it is read. Uses no
// COM and no shared state, so it may run on any worker thread. A raised `stop` ends the
// unpacking (see ExtractArchive).
Installer PrepareInstaller(const Installer& download, ArchiveType type, const std::wstring& baseFolder,
                           const std::atomic<bool>* stop = nullptr);

}  // namespace install

#pragma once
// Turns a downloaded file into the program to run: archives are recognised by their
// signature, and a ZIP is unpacked into a folder named after it and its first top-level
// .exe is taken instead.
#include <atomic>
#include <string>

namespace install {

enum class ArchiveType : int { None = 0, Zip = 1, SevenZip = 2 };

// By the first bytes only; an unreadable or short file is not an archive.
ArchiveType GetArchiveType(const std::wstring& path);

// baseFolder\<file name without its last extension>, created or reused when it is a
// folder; when a file of that name is in the way, a fresh "<name>_<n>" folder. baseFolder
// itself when no folder can be made.
std::wstring MakeExtractFolder(const std::wstring& filePath, const std::wstring& baseFolder);

// The top-level "*.exe" file whose name is smallest without regard to case (the order NTFS
// lists them in, whatever the file system); empty when there is none.
std::wstring FindFirstExe(const std::wstring& folder);

// The unpacked installer of a ZIP, or downloadedPath unchanged for anything else and
// whenever unpacking fails or yields no executable. Uses no COM and no shared state, so it
// may run on any worker thread. A raised `stop` ends the unpacking (see ExtractArchive).
std::wstring PrepareInstaller(const std::wstring& downloadedPath, ArchiveType type, const std::wstring& baseFolder,
                              const std::atomic<bool>* stop = nullptr);

}  // namespace install

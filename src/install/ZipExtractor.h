#pragma once
// Unpacks ZIP files without the shell (Wine's shell object cannot open them). The whole
// central directory is checked before anything is written, and a failure part-way leaves
// nothing behind.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace install {

struct ExtractLimits {
  std::uint64_t maxTotalBytes = std::uint64_t{1} << 30;
  std::uint32_t maxEntries = 10000;
  // Entries above ratioFloorBytes may inflate at most maxRatio times their packed size;
  // installers compress a few times, bombs a thousand.
  std::uint64_t ratioFloorBytes = std::uint64_t{1} << 20;
  std::uint64_t maxRatio = 100;
};

// A file an extraction wrote: its path relative to the destination, and the SHA-256 (lower-case
// hex) of the bytes written, computed as they were written.
struct ExtractedFile {
  std::wstring path;
  std::string sha256;
};

// Unpacks every entry of the archive into the existing folder `destination` and reports
// whether it did. Refused, writing nothing: entries whose path components are not plain
// file names (see config::FileNameProblem: "..", drive letters, absolute paths, ":" streams,
// device names, trailing dots or spaces), links, encrypted entries, methods other than
// stored and deflate, archives above the limits or the free space, zero entries, and top-level
// names already present in `destination` (nothing there is overwritten). A raised `stop` ends
// the unpacking at its next block, leaving nothing behind either. `written`, when given,
// receives every file written, in the archive's order. Never throws.
bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination, const ExtractLimits& limits = {},
                    const std::atomic<bool>* stop = nullptr, std::vector<ExtractedFile>* written = nullptr);

}  // namespace install

#pragma once
// The rules a file download follows when its connection ends early and when no length was
// announced: what may continue a partial file, and how much a body without a length may write.
#include <optional>
#include <string>
#include <string_view>

namespace download {

// Resumed tries per transport after an early end, and the first pause before one (it doubles).
constexpr int kMaxResumes = 3;

// A body without Content-Length stops at this size, and below the free space of the target
// drive less kFreeSpaceMargin; past it the download counts as incomplete.
constexpr unsigned long long kNoLengthCap = 4ull * 1024 * 1024 * 1024;
constexpr unsigned long long kFreeSpaceMargin = 64ull * 1024 * 1024;
// `freeBytes`: what the target drive has left; nothing when unknown (the fixed cap alone).
unsigned long long NoLengthCap(std::optional<unsigned long long> freeBytes);

struct ContentRange {
  unsigned long long first;
  unsigned long long last;
  std::optional<unsigned long long> total;  // nothing for "*"
};
// "bytes first-last/total" (total may be "*"); nothing for any other form.
std::optional<ContentRange> ParseContentRange(std::wstring_view value);

// Whether a 206 with this Content-Range carries exactly the rest of a file of which `have`
// bytes are written (`total`, when known, is the whole file's length).
bool ContinuesAt(const ContentRange& range, unsigned long long have, std::optional<unsigned long long> total);

// The If-Range value that ties a resumed request to the version already written: the strong
// ETag, else Last-Modified; empty when the answer gave neither (the rest cannot be asked for).
std::wstring ResumeValidator(std::wstring_view etag, std::wstring_view lastModified);

// The extra request headers that ask for the rest from `offset`.
std::wstring RangeHeaders(unsigned long long offset, const std::wstring& validator);

}  // namespace download

#include "download/ResumeRules.h"

namespace download {
namespace {

// Decimal digits only, no sign, no overflow.
std::optional<unsigned long long> Number(std::wstring_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  unsigned long long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long long>(c - L'0');
  }
  return value;
}

}  // namespace

unsigned long long NoLengthCap(std::optional<unsigned long long> freeBytes) {
  if (!freeBytes) return kNoLengthCap;
  const unsigned long long usable = *freeBytes > kFreeSpaceMargin ? *freeBytes - kFreeSpaceMargin : 0;
  return usable < kNoLengthCap ? usable : kNoLengthCap;
}

std::optional<ContentRange> ParseContentRange(std::wstring_view value) {
  constexpr std::wstring_view kUnit = L"bytes ";
  if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;
  value.remove_prefix(kUnit.size());
  const std::size_t dash = value.find(L'-');
  const std::size_t slash = value.find(L'/');
  if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || slash < dash) return std::nullopt;
  const auto first = Number(value.substr(0, dash));
  const auto last = Number(value.substr(dash + 1, slash - dash - 1));
  if (!first || !last || *last < *first) return std::nullopt;
  ContentRange range{*first, *last, std::nullopt};
  const std::wstring_view total = value.substr(slash + 1);
  if (total != L"*") {
    range.total = Number(total);
    if (!range.total || *range.total <= *last) return std::nullopt;
  }
  return range;
}

bool ContinuesAt(const ContentRange& range, unsigned long long have, std::optional<unsigned long long> total) {
  if (range.first != have) return false;
  if (total && range.total && *range.total != *total) return false;
  // Asked for "have-", so the answer must run to the end of the file.
  const auto end = range.total ? range.total : total;
  return !end || range.last + 1 == *end;
}

std::wstring ResumeValidator(std::wstring_view etag, std::wstring_view lastModified) {
  // A weak tag may name a version that differs byte for byte; it cannot tie two ranges together.
  if (!etag.empty() && etag.substr(0, 2) != L"W/") return std::wstring(etag);
  return std::wstring(lastModified);
}

std::wstring RangeHeaders(unsigned long long offset, const std::wstring& validator) {
  return L"Range: bytes=" + std::to_wstring(offset) + L"-\r\nIf-Range: " + validator;
}

}  // namespace download

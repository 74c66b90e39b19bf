#include "offers/StrictNumbers.h"

#include <limits>

namespace offers {

namespace {
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kSecondsPerDay = 86400;
}  // namespace

std::optional<std::uint64_t> ParseDecimal(std::wstring_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return a > kMax - b ? kMax : a + b; }

std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kMax / b ? kMax : a * b;
}

std::uint64_t AddDays(std::uint64_t seconds, int days) {
  if (days >= 0) return SaturatingAdd(seconds, SaturatingMul(static_cast<std::uint64_t>(days), kSecondsPerDay));
  const std::uint64_t back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(days)) * kSecondsPerDay;
  return seconds > back ? seconds - back : 0;
}

}  // namespace offers

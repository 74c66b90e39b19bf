#pragma once
// Numbers from the configuration and the registry: only plain decimal digits count, and
// arithmetic on them saturates instead of wrapping.
#include <cstdint>
#include <optional>
#include <string_view>

namespace offers {

// The whole text must be decimal digits (no sign, space or suffix) and fit in 64 bits.
std::optional<std::uint64_t> ParseDecimal(std::wstring_view text);

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b);
std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b);

// t + days × 86,400 seconds, clamped to the unsigned 64-bit range (days may be negative).
std::uint64_t AddDays(std::uint64_t seconds, int days);

}  // namespace offers

#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace config {

// Affiliate number for a two-letter country code (exact, case-sensitive); "91082" otherwise.
std::string AffiliateForCountry(const std::string& countryCode);

// "10.0.19045" -> {10, 0, 19045}; empty pieces are skipped, a piece without digits gives 0.
std::vector<int> ParseVersionList(std::wstring_view text);

// Pieces between occurrences of the delimiter's first character. Empty pieces between two
// delimiters are kept; a delimiter at the very end adds no empty last piece.
std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& delimiter);

std::string JoinWithCommas(const std::vector<std::string>& pieces);

// ASCII letters in lower case, other bytes unchanged (hex digests compare in lower case).
std::string LowerAscii(std::string text);

// True when the text is a host name with at least one dot, optionally preceded by
// http:// or https:// and followed by a path, query or fragment (bare "abc_setup" is not).
bool LooksLikeUrl(std::wstring_view text);
bool LooksLikeUrlBytes(std::string_view bytes);

}  // namespace config

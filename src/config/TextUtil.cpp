#include "config/TextUtil.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string_view>

#include "win32/Strings.h"

namespace config {

std::string AffiliateForCountry(const std::string& countryCode) {
  struct Affiliate {
    const char* id;
    const char* countries;  // two letters each, one space apart
  };
  static constexpr Affiliate kAffiliates[] = {
      {"91088", "US"},
      {"91166", "CA"},
      {"91199", "BR"},
      {"91214", "AU NZ KR"},
      {"91105", "DZ BG CY CZ EG GR HU IE IL KW MA PL PT QA RO RU SA SK ZA TN TR UA AE"},
      {"91215", "TH MX PH AR VN TW PE CL CO VE RS LK DO JO HK LT PS HR CR BA SV GE MD AL UY BY LB SN PA LV ID PK SG"},
  };
  if (countryCode.size() == 2) {
    for (const Affiliate& affiliate : kAffiliates) {
      const std::string_view countries = affiliate.countries;
      for (std::size_t at = 0; at < countries.size(); at += 3) {
        if (countries.substr(at, 2) == countryCode) return affiliate.id;
      }
    }
  }
  return "91082";
}

std::vector<int> ParseVersionList(std::wstring_view text) {
  std::vector<int> result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && text[pos] == L'.') ++pos;
    if (pos >= text.size()) break;
    const std::size_t end = std::min(text.find(L'.', pos), text.size());
    const std::wstring piece(text.substr(pos, end - pos));
    result.push_back(static_cast<int>(std::wcstol(piece.c_str(), nullptr, 10)));
    pos = end;
  }
  return result;
}

std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& delimiter) {
  const wchar_t separator = delimiter.empty() ? L'\0' : delimiter.front();
  std::vector<std::wstring> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(separator, start);
    if (end == std::wstring::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::string JoinWithCommas(const std::vector<std::string>& pieces) {
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i != 0) joined += ',';
    joined += pieces[i];
  }
  return joined;
}

namespace {

// The host-name characters of the expression: \w (ASCII letters, digits, '_'), '.', '-'.
bool IsHostChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
}

}  // namespace

// Hand-written equivalent of ^((http|https):\/\/)?([\w.-]+)(\.[\w.-]+)+([\/?#].*)?$ (ECMAScript):
// a regex engine would add most of a megabyte to the stub. The host part is exactly the
// longest run of host characters after the optional scheme, because the only characters that
// may follow it ('/', '?', '#') are not host characters.
bool LooksLikeUrlBytes(std::string_view s) {
  std::size_t pos = 0;
  if (s.substr(0, 7) == "http://") {
    pos = 7;
  } else if (s.substr(0, 8) == "https://") {
    pos = 8;
  }
  const std::size_t hostStart = pos;
  while (pos < s.size() && IsHostChar(static_cast<unsigned char>(s[pos]))) ++pos;
  const std::string_view host = s.substr(hostStart, pos - hostStart);
  // Needs a '.' with at least one character before it and one after it.
  if (host.size() < 3 || host.find('.', 1) > host.size() - 2) return false;
  if (pos == s.size()) return true;
  if (s[pos] != '/' && s[pos] != '?' && s[pos] != '#') return false;
  // '.' matches everything but line terminators.
  return s.find_first_of("\r\n", pos) == std::string_view::npos;
}

bool LooksLikeUrl(std::wstring_view text) { return LooksLikeUrlBytes(win32::Narrow(text, CP_THREAD_ACP)); }

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace config

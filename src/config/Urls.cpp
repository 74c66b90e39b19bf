#include "config/Urls.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace config {
namespace {

// A scheme is letters, digits, "+", "-" and "." before the first ":", starting with a letter.
bool HasScheme(std::wstring_view text) {
  const auto colon = text.find(L':');
  if (colon == 0 || colon == std::wstring_view::npos) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const wchar_t c = text[i];
    const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    const bool other = (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return true;
}

// RFC 3986, 5.2.4, for a path that starts with "/".
std::wstring RemoveDotSegments(std::wstring_view path) {
  std::vector<std::wstring_view> kept;
  bool endsInFolder = false;
  std::wstring_view rest = path.substr(1);
  for (;;) {
    const auto slash = rest.find(L'/');
    const std::wstring_view segment = rest.substr(0, slash);
    const bool last = slash == std::wstring_view::npos;
    if (segment == L"..") {
      if (!kept.empty()) kept.pop_back();
      endsInFolder = last;
    } else if (segment == L".") {
      endsInFolder = last;
    } else {
      kept.push_back(segment);
      endsInFolder = false;
    }
    if (last) break;
    rest = rest.substr(slash + 1);
  }
  std::wstring out;
  for (const auto& segment : kept) {
    out += L'/';
    out += segment;
  }
  if (endsInFolder || out.empty()) out += L'/';
  return out;
}

}  // namespace

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

bool IsHttpsUrl(std::wstring_view url) { return url.size() > 8 && StartsWithNoCase(url, L"https://"); }

bool IsHttpUrl(std::wstring_view url) {
  return (url.size() > 7 && StartsWithNoCase(url, L"http://")) || IsHttpsUrl(url);
}

bool IsWebUrl(std::wstring_view url) {
  return IsHttpUrl(url) && std::none_of(url.begin(), url.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
}

std::optional<std::wstring> ResolveLocation(std::wstring_view current, std::wstring_view location) {
  location = location.substr(0, location.find(L'#'));
  if (location.empty() || !IsHttpUrl(current)) return std::nullopt;
  if (HasScheme(location)) {
    if (!IsHttpUrl(location)) return std::nullopt;
    return std::wstring(location);
  }

  current = current.substr(0, current.find(L'#'));
  const std::size_t schemeEnd = current.find(L"://");
  const std::wstring_view scheme = current.substr(0, schemeEnd);
  if (location.starts_with(L"//")) return std::wstring(scheme) + L":" + std::wstring(location);

  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t pathStart = std::min(current.find_first_of(L"/?", authorityStart), current.size());
  const std::wstring_view origin = current.substr(0, pathStart);
  const std::wstring_view currentRest = current.substr(pathStart);
  const std::wstring_view currentPath = currentRest.substr(0, currentRest.find(L'?'));

  if (location.starts_with(L'?')) {
    return std::wstring(origin) + (currentPath.empty() ? L"/" : std::wstring(currentPath)) + std::wstring(location);
  }
  const std::size_t queryStart = std::min(location.find(L'?'), location.size());
  const std::wstring_view path = location.substr(0, queryStart);
  const std::wstring_view query = location.substr(queryStart);

  std::wstring merged;
  if (path.starts_with(L'/')) {
    merged = path;
  } else {
    const std::size_t folderEnd = currentPath.rfind(L'/');
    merged = folderEnd == std::wstring_view::npos ? L"/" : std::wstring(currentPath.substr(0, folderEnd + 1));
    merged += path;
  }
  return std::wstring(origin) + RemoveDotSegments(merged) + std::wstring(query);
}

}  // namespace config

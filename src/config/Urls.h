#pragma once
// What an address is, in one place: the schemes the wizard fetches or opens, and where a
// redirect leads.
#include <optional>
#include <string>
#include <string_view>

namespace config {

// Both transports and the configuration request follow at most this many redirects.
inline constexpr int kMaxRedirects = 5;
// Location values are read into a buffer of this many UTF-16 units, terminator included.
inline constexpr unsigned long kLocationUnits = 260;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
// "https://" (any letter case) and something after it: what the wizard fetches.
bool IsHttpsUrl(std::wstring_view url);
// "http://" or "https://" and something after it.
bool IsHttpUrl(std::wstring_view url);
// An http(s) address a link may open: no control characters, which could split a command line.
bool IsWebUrl(std::wstring_view url);

// Absolute http(s) URLs are taken as they are; "//host/..." keeps the current scheme; "/path",
// "?query" and relative paths are resolved against the current URL with dot segments removed;
// a fragment is dropped. Nothing when `current` is not an absolute http(s) URL, the value is
// empty, or it names another scheme.
std::optional<std::wstring> ResolveLocation(std::wstring_view current, std::wstring_view location);

}  // namespace config

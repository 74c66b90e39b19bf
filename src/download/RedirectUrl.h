#pragma once
// Redirect targets: a Location value made absolute against the URL that answered with it.
#include <optional>
#include <string>
#include <string_view>

namespace download {

// Both transports follow at most this many redirects; the next one fails the attempt.
constexpr int kMaxRedirects = 5;
// Location values are read into a buffer of this many UTF-16 units, terminator included.
constexpr unsigned long kLocationUnits = 260;

// Absolute http(s) URLs are taken as they are; "//host/..." keeps the current scheme; "/path",
// "?query" and relative paths are resolved against the current URL with dot segments removed;
// a fragment is dropped. Nothing when `current` is not an absolute http(s) URL, the value is
// empty, or it names another scheme.
std::optional<std::wstring> ResolveLocation(std::wstring_view current, std::wstring_view location);

bool IsHttpsUrl(std::wstring_view url);

// The URL to go to next, or DownloadError when the value is unusable or would leave HTTPS.
std::wstring NextRedirectUrl(const std::wstring& current, const std::wstring& location);

}  // namespace download

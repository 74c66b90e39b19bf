#pragma once
// Values from the configuration pasted into SysLink markup. A display name or URL must never be
// able to close the link it is in or open a link of its own.
#include <string>
#include <string_view>

// A URL for an href attribute: the quote and angle brackets percent-encoded.
std::wstring LinkUrl(std::wstring_view url);
// Text inside or around a link: angle brackets removed.
std::wstring LinkText(std::wstring_view text);
// <a href="url">text</a> with both made safe.
std::wstring MakeLink(std::wstring_view url, std::wstring_view text);

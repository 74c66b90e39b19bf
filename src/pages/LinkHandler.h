#pragma once
// The click handler shared by pages with SysLink controls. The wizard runs elevated and link
// targets come from the configuration, so only web addresses are ever opened: a link must not
// be able to start a local program or open a file.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

using UrlOpener = std::function<void(const std::wstring& url)>;

// Opens the URL in the default browser, without the wizard's rights where Windows allows it.
void OpenInBrowser(const std::wstring& url);

// Handles NM_CLICK and NM_RETURN of a SysLink control: opens the clicked item's URL when it is
// a web address, ignores it otherwise. Returns true when the notification was one of those two;
// its result is always 0.
bool OnLinkClick(const NMHDR& header, LRESULT& result, const UrlOpener& open = OpenInBrowser);

#include "pages/LinkHandler.h"

#include "pages/ShellLauncher.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

bool IsSysLink(HWND control) {
  wchar_t name[32] = {};
  return control != nullptr && ::GetClassNameW(control, name, 32) > 0 && ::lstrcmpiW(name, WC_LINK) == 0;
}

}  // namespace

bool IsWebUrl(std::wstring_view url) {
  // Control characters have no place in an address and could split a command line.
  if (std::any_of(url.begin(), url.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; })) return false;
  for (const std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")}) {
    if (StartsWithNoCase(url, scheme) && url.size() > scheme.size()) return true;
  }
  return false;
}

void OpenInBrowser(const std::wstring& url) { ShellExecuteLauncher({L"open", url, L"", L"", true}); }

bool OnLinkClick(const NMHDR& header, LRESULT& result, const UrlOpener& open) {
  // Other controls send NM_CLICK with other structures.
  if ((header.code != NM_CLICK && header.code != NM_RETURN) || !IsSysLink(header.hwndFrom)) return false;
  result = 0;
  const auto& link = reinterpret_cast<const NMLINK&>(header);
  const std::wstring url(link.item.szUrl, ::wcsnlen(link.item.szUrl, L_MAX_URL_LENGTH));
  if (IsWebUrl(url) && open) open(url);
  return true;
}

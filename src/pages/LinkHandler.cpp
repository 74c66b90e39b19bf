#include "pages/LinkHandler.h"

#include "config/Urls.h"
#include "pages/ShellLauncher.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

bool IsSysLink(HWND control) {
  wchar_t name[32] = {};
  return control != nullptr && ::GetClassNameW(control, name, 32) > 0 && ::lstrcmpiW(name, WC_LINK) == 0;
}

}  // namespace

void OpenInBrowser(const std::wstring& url) { ShellExecuteLauncher({L"open", url, L"", L"", true}); }

bool OnLinkClick(const NMHDR& header, LRESULT& result, const UrlOpener& open) {
  // Other controls send NM_CLICK with other structures.
  if ((header.code != NM_CLICK && header.code != NM_RETURN) || !IsSysLink(header.hwndFrom)) return false;
  result = 0;
  const auto& link = reinterpret_cast<const NMLINK&>(header);
  const std::wstring url(link.item.szUrl, ::wcsnlen(link.item.szUrl, L_MAX_URL_LENGTH));
  if (config::IsWebUrl(url) && open) open(url);
  return true;
}

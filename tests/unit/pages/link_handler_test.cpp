// Clicked links open in the browser only when they are web addresses.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PageFixture.h"
#include "config/Urls.h"
#include "pages/LinkHandler.h"
#include "pages/LinkMarkup.h"

namespace {

TEST(LinkHandler, OnlyHttpAndHttpsAddressesAreWebUrls) {
  for (const wchar_t* url :
       {L"https://example.invalid/", L"http://example.invalid/terms?a=1", L"HTTPS://EXAMPLE.INVALID", L"Http://x"}) {
    EXPECT_TRUE(config::IsWebUrl(url)) << url;
  }
  for (const wchar_t* url :
       {L"", L"https://", L"http:/example.invalid", L"file:///C:/windows/notepad.exe", L"C:\\windows\\notepad.exe",
        L"\\\\server\\share\\setup.exe", L"notepad.exe", L"javascript:alert(1)", L"mailto:a@example.invalid",
        L"ftp://example.invalid/", L" https://example.invalid/", L"https://example.invalid/\r\ncalc.exe",
        L"ms-settings:", L"shell:startup", L"httpsx://example.invalid"}) {
    EXPECT_FALSE(config::IsWebUrl(url)) << url;
  }
}

using LinkClicks = PageFixture;

// Clicks an item of a SysLink the way the mouse does.
bool ClickLinkItem(HWND link, int item) {
  RECT client{};
  ::GetClientRect(link, &client);
  const int y = (client.bottom - client.top) / 2;
  for (int x = 0; x < client.right; ++x) {
    LHITTESTINFO hit{};
    hit.pt = {x, y};
    if (::SendMessageW(link, LM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) && hit.item.iLink == item) {
      const LPARAM point = MAKELPARAM(x + 1, y);
      ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
      ::SendMessageW(link, WM_LBUTTONUP, 0, point);
      return true;
    }
  }
  return false;
}

TEST_F(LinkClicks, AWebLinkOpensAndALocalFileDoesNot) {
  auto page = MakePage();
  ::ShowWindow(page->GetHwnd(), SW_SHOW);
  HWND link = page->GetItem(IDC_TEST_LINKS);
  ASSERT_NE(link, nullptr);
  ASSERT_TRUE(ClickLinkItem(link, 1));  // file:///C:/windows/notepad.exe
  EXPECT_TRUE(page->OpenedUrls().empty());
  ASSERT_TRUE(ClickLinkItem(link, 0));
  EXPECT_EQ(page->OpenedUrls(), std::vector<std::wstring>{L"https://example.invalid/terms"});
}

TEST_F(LinkClicks, KeyboardActivationCountsAndOtherControlsAreLeftAlone) {
  auto page = MakePage();
  std::vector<std::wstring> opened;
  const UrlOpener record = [&opened](const std::wstring& url) { opened.push_back(url); };

  NMLINK notification{};
  notification.hdr = {page->GetItem(IDC_TEST_LINKS), IDC_TEST_LINKS, static_cast<UINT>(NM_RETURN)};
  wcscpy_s(notification.item.szUrl, L"http://example.invalid/keyboard");
  LRESULT result = 42;
  EXPECT_TRUE(OnLinkClick(notification.hdr, result, record));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(opened, std::vector<std::wstring>{L"http://example.invalid/keyboard"});

  // NM_CLICK from a control that is not a SysLink carries another structure.
  notification.hdr = {page->GetItem(IDC_TEST_NEXT), IDC_TEST_NEXT, static_cast<UINT>(NM_CLICK)};
  result = 42;
  EXPECT_FALSE(OnLinkClick(notification.hdr, result, record));
  EXPECT_EQ(result, 42);
  EXPECT_EQ(opened.size(), 1u);
}

// A URL or a name from the document cannot end its link early or open another one: the SysLink
// control finds one link, with the whole address and the name.
TEST_F(LinkClicks, DocumentValuesStayInsideTheirLink) {
  auto page = MakePage();
  HWND link = page->GetItem(IDC_TEST_LINKS);
  const struct {
    const wchar_t* url;
    const wchar_t* name;
    const wchar_t* expectedUrl;
  } cases[] = {
      {L"https://a.invalid/\"><a href=\"https://evil.invalid/\">x", L"Name", nullptr},
      {L"https://a.invalid/?q=<b>", L"a <b>bold</b> name", L"https://a.invalid/?q=%3Cb%3E"},
      {L"https://a.invalid/", L"</a><a href=\"https://evil.invalid/\">", L"https://a.invalid/"},
  };
  for (const auto& c : cases) {
    ::SetWindowTextW(link, (L"Read " + MakeLink(c.url, c.name) + L" now").c_str());
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    ASSERT_TRUE(::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) << c.url;
    const std::wstring expected = c.expectedUrl ? c.expectedUrl : LinkUrl(c.url);
    EXPECT_EQ(std::wstring(item.szUrl), expected) << c.url;
    EXPECT_EQ(expected.find_first_of(L"\"<>"), std::wstring::npos) << c.url;
    item.iLink = 1;
    EXPECT_FALSE(::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) << c.url;  // one link only
    EXPECT_EQ(LinkText(c.name).find_first_of(L"<>"), std::wstring::npos) << c.name;
  }
}

}  // namespace

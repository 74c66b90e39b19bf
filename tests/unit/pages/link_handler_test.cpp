// Clicked links open in the browser only when they are web addresses.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PageFixture.h"
#include "pages/LinkHandler.h"

namespace {

TEST(LinkHandler, OnlyHttpAndHttpsAddressesAreWebUrls) {
  for (const wchar_t* url :
       {L"https://example.invalid/", L"http://example.invalid/terms?a=1", L"HTTPS://EXAMPLE.INVALID", L"Http://x"}) {
    EXPECT_TRUE(IsWebUrl(url)) << url;
  }
  for (const wchar_t* url :
       {L"", L"https://", L"http:/example.invalid", L"file:///C:/windows/notepad.exe", L"C:\\windows\\notepad.exe",
        L"\\\\server\\share\\setup.exe", L"notepad.exe", L"javascript:alert(1)", L"mailto:a@example.invalid",
        L"ftp://example.invalid/", L" https://example.invalid/", L"https://example.invalid/\r\ncalc.exe",
        L"ms-settings:", L"shell:startup", L"httpsx://example.invalid"}) {
    EXPECT_FALSE(IsWebUrl(url)) << url;
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

}  // namespace

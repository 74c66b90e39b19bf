// The page base: bound texts, language changes, registration, keys and the frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>

#include "PageFixture.h"
#include "config/ConfigurationManager.h"
#include "resources/resource.h"
#include "win32/Strings.h"

namespace {

std::wstring Text(const TestPage& page, int id) { return win32::GetWindowTextString(page.GetItem(id)); }

using Edges = std::array<LONG, 4>;  // left, top, right, bottom

Edges DialogUnits(HWND dialog, int x, int y, int width, int height) {
  RECT rect{x, y, x + width, y + height};
  ::MapDialogRect(dialog, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

Edges ChildRect(HWND parent, HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

COLORREF BrushColor(HBRUSH brush) {
  LOGBRUSH info{};
  ::GetObjectW(brush, sizeof(info), &info);
  return info.lbColor;
}

using Page = PageFixture;

TEST_F(Page, BoundTextsFollowTheLanguageAndMissingKeysKeepTheTemplateText) {
  auto page = MakePage();
  EXPECT_EQ(Text(*page, IDC_TEST_NEXT), L"Next placeholder");  // no language loaded yet
  EXPECT_EQ(Text(*page, IDC_TEST_TEXT), L"template text");

  ASSERT_TRUE(m_manager->SetLanguage(L"English"));
  EXPECT_EQ(Text(*page, IDC_TEST_NEXT), L"Next");
  EXPECT_EQ(Text(*page, IDC_TEST_TEXT), L"To continue, please select your preferred language, and click \"Next\".");
  EXPECT_EQ(Text(*page, IDC_TEST_MISSING_KEY), L"kept template text");

  ASSERT_TRUE(m_manager->SetLanguage(L"Deutsch"));
  EXPECT_EQ(Text(*page, IDC_TEST_NEXT), L"Weiter");
  EXPECT_EQ(Text(*page, IDC_TEST_TEXT),
            L"W\u00e4hlen Sie die gew\u00fcnschte Sprache aus und klicken Sie auf \u201eWeiter\u201c, um "
            L"fortzufahren.");
  EXPECT_EQ(Text(*page, IDC_TEST_MISSING_KEY), L"kept template text");

  // The binding to an id without a control is kept, empty, and skipped.
  ASSERT_EQ(page->BoundTexts().size(), 4u);
  EXPECT_EQ(page->BoundTexts()[2], std::make_pair(HWND{nullptr}, std::string("BUTTON_BACK")));
}

TEST_F(Page, LanguageChangeReachesEveryPageIncludingHiddenOnes) {
  auto shown = MakePage();
  auto hidden = MakePage();
  TestPage windowless(Context());
  ::ShowWindow(shown->GetHwnd(), SW_SHOW);

  ASSERT_TRUE(m_manager->SetLanguage(L"fran\u00e7ais"));
  EXPECT_EQ(Text(*shown, IDC_TEST_NEXT), L"Suivant");
  EXPECT_EQ(Text(*hidden, IDC_TEST_NEXT), L"Suivant");
  EXPECT_FALSE(::IsWindowVisible(hidden->GetHwnd()));
  EXPECT_EQ(windowless.UpdateCount(), 1);

  ASSERT_TRUE(m_manager->SetLanguage(L"Nederlands"));
  EXPECT_EQ(Text(*hidden, IDC_TEST_NEXT), L"Volgende");
  EXPECT_EQ(windowless.UpdateCount(), 2);
}

TEST_F(Page, IsRegisteredForExactlyItsLifetime) {
  auto first = MakePage();
  auto second = MakePage();
  EXPECT_EQ(m_manager->GetRegisteredPages(), (std::vector<i18n::TextTarget*>{first.get(), second.get()}));

  first.reset();
  EXPECT_EQ(m_manager->GetRegisteredPages(), (std::vector<i18n::TextTarget*>{second.get()}));
  ASSERT_TRUE(m_manager->SetLanguage(L"suomi"));
  EXPECT_EQ(Text(*second, IDC_TEST_NEXT), L"Seuraava");

  m_manager->RegisterPage(second.get());  // every occurrence goes with the page
  second.reset();
  EXPECT_TRUE(m_manager->GetRegisteredPages().empty());
  EXPECT_TRUE(m_manager->SetLanguage(L"English"));
}

TEST_F(Page, AnObjectDestroyedBeforeItsWindowTakesTheWindowAlong) {
  auto page = MakePage();
  HWND window = page->GetHwnd();
  HWND picture = page->GetItem(IDC_TEST_DOWNLOAD_PICTURE);
  page.reset();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_FALSE(::IsWindow(picture));
  // Messages for the window that is gone reach nothing.
  ::SendMessageW(window, WM_PAINT, 0, 0);
  ::SendMessageW(picture, WM_PAINT, 0, 0);
}

TEST_F(Page, EnterAndEscapeLeaveThePageOpen) {
  auto page = MakePage();
  ::ShowWindow(page->GetHwnd(), SW_SHOW);
  ::SendMessageW(page->GetHwnd(), WM_COMMAND, IDOK, 0);
  ::SendMessageW(page->GetHwnd(), WM_COMMAND, IDCANCEL, 0);
  ::SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(page->GetItem(IDC_TEST_NEXT)));
  EXPECT_TRUE(::IsWindow(page->GetHwnd()));
  EXPECT_NE(::GetWindowLongPtrW(page->GetHwnd(), GWL_STYLE) & WS_VISIBLE, 0);
}

TEST_F(Page, BottomBandTakesTheAccentColourOtherControlsTheBackground) {
  auto page = MakePage();
  const auto config = ConfigurationManager::GetInstance();
  HDC dc = ::GetDC(page->GetHwnd());
  ::SetBkMode(dc, OPAQUE);
  auto color = [&](UINT message, int id) {
    return reinterpret_cast<HBRUSH>(::SendMessageW(page->GetHwnd(), message, reinterpret_cast<WPARAM>(dc),
                                                   reinterpret_cast<LPARAM>(page->GetItem(id))));
  };
  HBRUSH band = color(WM_CTLCOLORSTATIC, IDC_PAGE_BOTTOM_BAR);
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(BrushColor(band), config->accentColor);
  EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(color(WM_CTLCOLORSTATIC, IDC_PAGE_BOTTOM_BAR), band) << "one brush for the page's lifetime";

  HBRUSH text = color(WM_CTLCOLORSTATIC, IDC_TEST_TEXT);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(BrushColor(text), config->backgroundColor);
  ::ReleaseDC(page->GetHwnd(), dc);
}

TEST_F(Page, FrameLiesAlongTheBottomBehindTheButtons) {
  auto page = std::make_unique<TestPage>(Context());
  ASSERT_TRUE(page->Create());  // at the template's own size, not placed on the page area
  HWND hwnd = page->GetHwnd();
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  EXPECT_NE(style & WS_CHILD, 0);
  EXPECT_NE(style & DS_CONTROL, 0);

  RECT client{};
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ((Edges{client.left, client.top, client.right, client.bottom}), DialogUnits(hwnd, 0, 0, 336, 230));
  HWND separator = page->GetItem(IDC_PAGE_SEPARATOR);
  HWND band = page->GetItem(IDC_PAGE_BOTTOM_BAR);
  ASSERT_NE(separator, nullptr);
  ASSERT_NE(band, nullptr);
  // An etched line keeps its position; the control may widen itself for its edge.
  const Edges line = ChildRect(hwnd, separator);
  const Edges expectedLine = DialogUnits(hwnd, 0, 198, 336, 1);
  EXPECT_EQ(line[0], expectedLine[0]);
  EXPECT_EQ(line[1], expectedLine[1]);
  EXPECT_GE(line[2], expectedLine[2]);
  EXPECT_EQ(ChildRect(hwnd, band), DialogUnits(hwnd, 0, 198, 336, 32));
  EXPECT_EQ(ChildRect(hwnd, page->GetItem(IDC_TEST_NEXT)), DialogUnits(hwnd, 260, 203, 71, 22));

  // Last in the z-order and clipped by the siblings above, so the band never covers a button.
  EXPECT_EQ(::GetWindow(band, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(::GetWindow(separator, GW_HWNDNEXT), band);
  EXPECT_NE(::GetWindowLongPtrW(band, GWL_STYLE) & WS_CLIPSIBLINGS, 0);
  EXPECT_NE(::GetWindowLongPtrW(separator, GWL_STYLE) & WS_CLIPSIBLINGS, 0);
  EXPECT_EQ(::GetWindowLongPtrW(separator, GWL_STYLE) & SS_TYPEMASK, SS_ETCHEDHORZ);
}

}  // namespace

// The three pictures, the resource loader, and the static control that draws an image.
#include <windows.h>

#include <objbase.h>

#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "PageFixture.h"
#include "pages/CStaticFromImage.h"
#include "pages/ErrorPage.h"
#include "pages/ImageResource.h"
#include "resources/resource.h"
#include "ui/Dialog.h"
#include "win32/ImageDecoder.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

struct MemoryDcTraits {
  using Type = HDC;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type dc) noexcept { ::DeleteDC(dc); }
};
using UniqueMemoryDc = win32::UniqueResource<MemoryDcTraits>;
using UniqueHbitmap = win32::UniqueResource<win32::GdiObjectTraits<HBITMAP>>;

std::shared_ptr<Gdiplus::Bitmap> Load(UINT id, const wchar_t* type) {
  return LoadImageFromResource(win32::ModuleInstance(), MAKEINTRESOURCEW(id), type);
}

enum class Hue { Red, Green, Blue, Other };

Hue Dominant(const Gdiplus::Color& c) {
  const int r = c.GetR(), g = c.GetG(), b = c.GetB();
  if (r > g + 60 && r > b + 60) return Hue::Red;
  if (g > r + 40 && g > b + 20) return Hue::Green;
  if (b > r + 60 && b > g + 20) return Hue::Blue;
  return Hue::Other;
}

TEST(ImageResource, ThePicturesAre256PixelPngsOfTheirColour) {
  struct Picture {
    UINT id;
    const wchar_t* type;
    Hue disc;
  };
  for (const Picture& picture :
       {Picture{IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB", Hue::Blue}, Picture{IDR_IMAGE_SUCCESS, L"IMAGE_BLOB2", Hue::Green},
        Picture{IDR_IMAGE_FAILURE, L"IMAGE_BLOB3", Hue::Red}}) {
    SCOPED_TRACE(picture.id);
    auto bitmap = Load(picture.id, picture.type);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->GetWidth(), 256u);
    EXPECT_EQ(bitmap->GetHeight(), 256u);
    HRSRC resource = ::FindResourceW(win32::ModuleInstance(), MAKEINTRESOURCEW(picture.id), picture.type);
    ASSERT_NE(resource, nullptr);
    const std::string signature(
        static_cast<const char*>(::LockResource(::LoadResource(win32::ModuleInstance(), resource))), 8);
    EXPECT_EQ(signature, std::string("\x89PNG\r\n\x1a\n", 8));
    Gdiplus::Color color;
    bitmap->GetPixel(128, 12, &color);  // inside the disc, above the symbol
    EXPECT_EQ(Dominant(color), picture.disc);
    EXPECT_EQ(color.GetA(), 255);
    bitmap->GetPixel(2, 2, &color);  // outside the disc
    EXPECT_EQ(color.GetA(), 0);
  }
}

TEST(ImageResource, MissingEmptyOrCorruptResourcesGiveNoImage) {
  EXPECT_FALSE(Load(IDR_TEST_IMAGE_MISSING, L"IMAGE_BLOB"));
  EXPECT_FALSE(Load(IDR_TEST_IMAGE_EMPTY, L"IMAGE_BLOB"));
  EXPECT_FALSE(Load(IDR_TEST_IMAGE_CORRUPT, L"IMAGE_BLOB"));
  EXPECT_FALSE(Load(IDR_IMAGE_DOWNLOAD, L"IMAGE_BLOB2"));  // right id, wrong type
}

// A static control in a hidden window, painted into a memory bitmap through WM_PRINTCLIENT.
class ImageStatic : public PageFixture {
 protected:
  void SetUp() override {
    PageFixture::SetUp();
    m_static = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 30, 60, m_host.GetHwnd(),
                                 nullptr, win32::ModuleInstance(), nullptr);
    ASSERT_TRUE(m_control.Attach(m_static));
  }

  // What the control paints over a magenta background.
  std::unique_ptr<Gdiplus::Bitmap> Paint() { return Paint(m_static); }
  static std::unique_ptr<Gdiplus::Bitmap> Paint(HWND control) {
    RECT client{};
    ::GetClientRect(control, &client);
    const int width = client.right;
    const int height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    UniqueHbitmap dib(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const HGDIOBJ old = ::SelectObject(dc.get(), dib.get());
    const win32::UniqueHbrush magenta(::CreateSolidBrush(kMagenta));
    ::FillRect(dc.get(), &client, magenta.get());
    ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
    ::GdiFlush();
    auto copy = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const DWORD pixel = static_cast<const DWORD*>(bits)[y * width + x];
        copy->SetPixel(x, y, Gdiplus::Color(255, (pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
      }
    }
    ::SelectObject(dc.get(), old);
    return copy;
  }

  static Gdiplus::Color At(Gdiplus::Bitmap& bitmap, int x, int y) {
    Gdiplus::Color color;
    bitmap.GetPixel(x, y, &color);
    return color;
  }

  HWND m_static = nullptr;
  CStaticFromImage m_control;
};

TEST_F(ImageStatic, StretchesTheImageOverTheWholeControlWhateverItsShape) {
  // 16 x 8, red left half and blue right half, drawn into a 30 x 60 control.
  auto image = std::make_shared<Gdiplus::Bitmap>(16, 8, PixelFormat32bppARGB);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      image->SetPixel(x, y, x < 8 ? Gdiplus::Color(255, 255, 0, 0) : Gdiplus::Color(255, 0, 0, 255));
    }
  }
  m_control.SetImage(image);
  auto painted = Paint();
  for (int y : {3, 30, 56}) {
    EXPECT_EQ(Dominant(At(*painted, 3, y)), Hue::Red) << y;
    EXPECT_EQ(Dominant(At(*painted, 12, y)), Hue::Red) << y;
    EXPECT_EQ(Dominant(At(*painted, 17, y)), Hue::Blue) << y;
    EXPECT_EQ(Dominant(At(*painted, 26, y)), Hue::Blue) << y;
  }
}

TEST_F(ImageStatic, PaintsNothingWithoutAnImage) {
  auto painted = Paint();
  for (int y = 0; y < 60; y += 7) {
    for (int x = 0; x < 30; x += 7) EXPECT_EQ(At(*painted, x, y).ToCOLORREF(), kMagenta);
  }
  m_control.LoadFromResource(IDR_TEST_IMAGE_CORRUPT, L"IMAGE_BLOB");
  EXPECT_FALSE(m_control.GetImage());
  EXPECT_EQ(At(*Paint(), 15, 30).ToCOLORREF(), kMagenta);

  m_control.LoadFromResource(IDR_IMAGE_FAILURE, L"IMAGE_BLOB3");
  ASSERT_TRUE(m_control.GetImage());
  EXPECT_EQ(Dominant(At(*Paint(), 15, 3)), Hue::Red);
  m_control.SetImage(nullptr);
  EXPECT_EQ(At(*Paint(), 15, 3).ToCOLORREF(), kMagenta);
}

TEST_F(ImageStatic, TheErrorPageDecodesItsPictureWhenItFirstShows) {
  ErrorPage page(Context());
  ASSERT_TRUE(m_host.HostPage(page));
  HWND picture = ::GetDlgItem(page.GetHwnd(), IDC_PAGE_IMAGE);
  RECT client{};
  ::GetClientRect(picture, &client);
  const int x = client.right / 2;
  const int y = client.bottom / 10;  // inside the disc, above the symbol
  // Not while the wizard starts: the first decode starts the imaging components, and most runs
  // never show this page.
  EXPECT_EQ(At(*Paint(picture), x, y).ToCOLORREF(), kMagenta);
  WizardFrame::ShowOnTop(page.GetHwnd());
  EXPECT_EQ(Dominant(At(*Paint(picture), x, y)), Hue::Red);
  page.DestroyWindow();
}

TEST_F(ImageStatic, OutlivesOrIsOutlivedByItsWindow) {
  ::DestroyWindow(m_static);
  EXPECT_EQ(m_control.GetHwnd(), nullptr);

  HWND other = ::CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, m_host.GetHwnd(), nullptr,
                                 win32::ModuleInstance(), nullptr);
  {
    CStaticFromImage shortLived;
    ASSERT_TRUE(shortLived.Attach(other));
    shortLived.LoadFromResource(IDR_IMAGE_SUCCESS, L"IMAGE_BLOB2");
  }
  // The window no longer reaches the destroyed object.
  ::SendMessageW(other, WM_PRINTCLIENT, 0, PRF_CLIENT);
  ::UpdateWindow(other);
  EXPECT_TRUE(::DestroyWindow(other));
}

// What the elevated wizard decodes is decided by the header alone: the four plain formats, at
// most 4096 pixels a side.
TEST(DownloadedPictures, OnlyPlainFormatsOfABoundedSizeAreDecoded) {
  const auto png = [](std::uint32_t width, std::uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (std::uint32_t value : {width, height}) {
      for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift);
    }
    return bytes;
  };
  const auto gif = [](unsigned width, unsigned height) {
    return std::string("GIF89a") + static_cast<char>(width & 0xFF) + static_cast<char>(width >> 8) +
           static_cast<char>(height & 0xFF) + static_cast<char>(height >> 8);
  };
  std::string bmp(26, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[14] = 40;                    // BITMAPINFOHEADER
  bmp[18] = 0x01, bmp[19] = 0x10;  // 4097 wide
  bmp[22] = 1;                     // 1 high
  std::string coreBmp(26, '\0');   // the older header: 16-bit sides
  coreBmp[0] = 'B';
  coreBmp[1] = 'M';
  coreBmp[14] = 12;
  coreBmp[18] = 16, coreBmp[20] = 16;
  const std::string jpeg(
      "\xFF\xD8\xFF\xE0\0\x04"
      "ab"
      "\xFF\xC0\0\x0b\x08\x10\x01\x00\x10\x01",
      20);  // 4097 x 16
  std::string emf(44, '\0');
  emf[0] = 1;
  emf[40] = ' ', emf[41] = 'E', emf[42] = 'M', emf[43] = 'F';
  const struct {
    const char* name;
    std::string bytes;
    bool refused;
  } cases[] = {
      {"PNG 4096 x 4096", png(4096, 4096), false},
      {"PNG 4097 wide", png(4097, 1), true},
      {"PNG 0 high", png(16, 0), true},
      {"PNG cut before its height's last byte", png(1, 256).substr(0, 23), true},
      {"GIF 4096 x 1", gif(4096, 1), false},
      {"GIF 1 x 4097", gif(1, 4097), true},
      {"BMP 4097 wide", bmp, true},
      {"BMP core 16 x 16", coreBmp, false},
      {"JPEG 4097 high", jpeg, true},
      {"EMF", emf, true},
      {"WMF", std::string("\xD7\xCD\xC6\x9A\0\0\0\0", 8), true},
      {"TIFF", std::string("II*\0\x08\0\0\0", 8), true},
  };
  for (const auto& c : cases) {
    const std::vector<char> bytes(c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(win32::PictureProblem(bytes).has_value(), c.refused) << c.name;
  }
}

}  // namespace

#include "pages/CStaticFromImage.h"
#include "win32/Strings.h"

#include <objbase.h>

#include <gdiplus.h>

#include "pages/ImageResource.h"
#include "ui/Dialog.h"

CStaticFromImage::~CStaticFromImage() = default;

bool CStaticFromImage::SubclassDlgItem(int id, const ui::Dialog& parent) noexcept { return Attach(parent.GetItem(id)); }

void CStaticFromImage::SetImage(std::shared_ptr<Gdiplus::Image> image) {
  m_image = std::move(image);
  if (GetHwnd() != nullptr) ::InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CStaticFromImage::LoadFromResource(UINT id, LPCWSTR type) {
  SetImage(LoadImageFromResource(win32::ModuleInstance(), MAKEINTRESOURCEW(id), type));
}

void CStaticFromImage::Draw(HDC dc) const {
  if (!m_image) return;
  RECT client{};
  ::GetClientRect(GetHwnd(), &client);
  Gdiplus::Graphics graphics(dc);
  graphics.DrawImage(m_image.get(), 0, 0, client.right - client.left, client.bottom - client.top);
}

bool CStaticFromImage::OnSubclassMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = ::BeginPaint(GetHwnd(), &paint);
      Draw(dc);
      ::EndPaint(GetHwnd(), &paint);
      result = 0;
      return true;
    }
    case WM_PRINTCLIENT:
      // Lets PrintWindow and tests capture what WM_PAINT draws.
      Draw(reinterpret_cast<HDC>(wParam));
      result = 0;
      return true;
    default:
      return false;
  }
}

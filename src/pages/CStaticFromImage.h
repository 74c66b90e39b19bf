#pragma once
// A static control from a dialog template that draws a GDI+ image stretched over its whole
// client area (aspect ratio not kept), and nothing at all without an image. Several controls
// may share one image.
#include <windows.h>

#include <memory>

#include "ui/WindowSubclass.h"

namespace Gdiplus {
class Image;
}
namespace ui {
class Dialog;
}

class CStaticFromImage : public ui::WindowSubclass {
 public:
  CStaticFromImage() noexcept = default;
  ~CStaticFromImage() override;

  bool SubclassDlgItem(int id, const ui::Dialog& parent) noexcept;
  void SetImage(std::shared_ptr<Gdiplus::Image> image);
  // Loads an image resource of this module; a missing or corrupt one leaves the control empty.
  void LoadFromResource(UINT id, LPCWSTR type);
  const std::shared_ptr<Gdiplus::Image>& GetImage() const noexcept { return m_image; }

 protected:
  bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void Draw(HDC dc) const;

  std::shared_ptr<Gdiplus::Image> m_image;
};

#include "ui/ImageDecoder.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include "ui/UniqueResource.h"

namespace ui {

std::shared_ptr<Gdiplus::Bitmap> DecodeImage(const std::vector<char>& bytes) {
  if (bytes.empty() || bytes.size() > UINT_MAX) return {};
  // The stream copies the bytes; GDI+ keeps its own reference for as long as the picture lives.
  ComPtr<IStream> stream;
  *stream.put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream) return {};
  std::shared_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream.get()));
  if (!image || image->GetLastStatus() != Gdiplus::Ok) return {};
  return image;
}

}  // namespace ui

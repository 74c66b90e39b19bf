#include "pages/ImageResource.h"

#include <objbase.h>

#include <gdiplus.h>

#include <cstring>

#include "win32/UniqueResource.h"

std::shared_ptr<Gdiplus::Bitmap> LoadImageFromResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type) {
  HRSRC resource = ::FindResourceW(instance, name, type);
  if (resource == nullptr) return {};
  const DWORD size = ::SizeofResource(instance, resource);
  if (size == 0) return {};
  HGLOBAL loaded = ::LoadResource(instance, resource);
  if (loaded == nullptr) return {};
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return {};

  // GDI+ reads from a stream, and the stream needs memory of its own.
  win32::UniqueHglobal memory(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!memory) return {};
  void* copy = ::GlobalLock(memory.get());
  if (copy == nullptr) return {};
  std::memcpy(copy, bytes, size);
  ::GlobalUnlock(memory.get());

  win32::ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(memory.get(), TRUE, stream.put()))) return {};
  // The stream frees the memory from now on.
  static_cast<void>(memory.release());

  // GDI+ keeps its own reference to the stream for as long as the bitmap lives.
  std::shared_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(stream.get()));
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return {};
  return bitmap;
}

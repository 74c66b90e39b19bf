#include "win32/ImageDecoder.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <cstdint>
#include <cstring>

#include "win32/DebugLog.h"
#include "win32/UniqueResource.h"

namespace win32 {
namespace {

struct Size {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

std::uint32_t Byte(const std::vector<char>& bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }
std::uint32_t BigEndian16(const std::vector<char>& b, std::size_t at) { return Byte(b, at) << 8 | Byte(b, at + 1); }
std::uint32_t LittleEndian16(const std::vector<char>& b, std::size_t at) { return Byte(b, at) | Byte(b, at + 1) << 8; }
std::uint32_t BigEndian32(const std::vector<char>& b, std::size_t at) {
  return BigEndian16(b, at) << 16 | BigEndian16(b, at + 2);
}
std::uint32_t LittleEndian32(const std::vector<char>& b, std::size_t at) {
  return LittleEndian16(b, at) | LittleEndian16(b, at + 2) << 16;
}
bool StartsWith(const std::vector<char>& bytes, const char* signature, std::size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), signature, length) == 0;
}

// The frame size a JPEG declares in its first start-of-frame segment.
std::optional<Size> JpegSize(const std::vector<char>& bytes) {
  std::size_t at = 2;
  while (at + 9 < bytes.size()) {
    if (Byte(bytes, at) != 0xFF) return std::nullopt;
    const std::uint32_t marker = Byte(bytes, at + 1);
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) return Size{BigEndian16(bytes, at + 7), BigEndian16(bytes, at + 5)};
    at += 2 + BigEndian16(bytes, at + 2);
  }
  return std::nullopt;
}

std::optional<Size> DeclaredSize(const std::vector<char>& bytes) {
  if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8) && bytes.size() >= 24) {
    return Size{BigEndian32(bytes, 16), BigEndian32(bytes, 20)};
  }
  if ((StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) && bytes.size() >= 10) {
    return Size{LittleEndian16(bytes, 6), LittleEndian16(bytes, 8)};
  }
  if (StartsWith(bytes, "\xFF\xD8", 2)) return JpegSize(bytes);
  if (StartsWith(bytes, "BM", 2) && bytes.size() >= 26) {
    if (LittleEndian32(bytes, 14) == 12) return Size{LittleEndian16(bytes, 18), LittleEndian16(bytes, 20)};
    const auto height = static_cast<std::int32_t>(LittleEndian32(bytes, 22));  // negative: top-down
    return Size{LittleEndian32(bytes, 18),
                static_cast<std::uint32_t>(height < 0 ? -static_cast<std::int64_t>(height) : height)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> PictureProblem(const std::vector<char>& bytes) {
  const auto size = DeclaredSize(bytes);
  if (!size) return "not a PNG, JPEG, GIF or BMP picture";
  if (size->width == 0 || size->height == 0 || size->width > kMaxPictureSide || size->height > kMaxPictureSide) {
    return "declares " + std::to_string(size->width) + " x " + std::to_string(size->height) + " pixels";
  }
  return std::nullopt;
}

std::shared_ptr<Gdiplus::Bitmap> DecodeImage(const std::vector<char>& bytes) {
  if (bytes.empty() || bytes.size() > UINT_MAX) return {};
  if (const auto problem = PictureProblem(bytes)) {
    win32::DebugLine("picture not shown: " + *problem);
    return {};
  }
  // The stream copies the bytes; GDI+ keeps its own reference for as long as the picture lives.
  ComPtr<IStream> stream;
  *stream.put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream) return {};
  std::shared_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream.get()));
  if (!image || image->GetLastStatus() != Gdiplus::Ok) return {};
  return image;
}

}  // namespace win32

#pragma once
// Turns downloaded bytes into a GDI+ picture. Pictures are made, drawn and freed on the UI
// thread only, so none can outlive GDI+ (shut down when the process environment ends).
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Gdiplus {
class Bitmap;
}

namespace win32 {

// The largest width and height a downloaded picture may declare.
inline constexpr unsigned kMaxPictureSide = 4096;

// Why bytes are not decoded, read from their header alone: only PNG, JPEG, GIF and BMP are
// taken (never a metafile, whose records GDI+ would play), each declaring at most
// kMaxPictureSide pixels a side, so a document cannot make the elevated wizard parse hostile
// formats or decode gigabytes. Nothing when they may be decoded.
std::optional<std::string> PictureProblem(const std::vector<char>& bytes);

// Empty when the bytes are empty, refused (the debugger output says why) or no picture GDI+
// can decode.
std::shared_ptr<Gdiplus::Bitmap> DecodeImage(const std::vector<char>& bytes);

}  // namespace win32

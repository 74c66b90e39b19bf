#pragma once
// Turns downloaded bytes into a GDI+ picture. Pictures are made, drawn and freed on the UI
// thread only, so none can outlive GDI+ (shut down when the process environment ends).
#include <memory>
#include <vector>

namespace Gdiplus {
class Bitmap;
}

namespace ui {

// Empty when the bytes are empty or no picture format GDI+ knows.
std::shared_ptr<Gdiplus::Bitmap> DecodeImage(const std::vector<char>& bytes);

}  // namespace ui

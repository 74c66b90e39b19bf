#pragma once
// Turns an image resource (a PNG under a custom type) into a GDI+ bitmap.
#include <windows.h>

#include <memory>

namespace Gdiplus {
class Bitmap;
}

// Empty when the resource is missing, empty or not a readable image.
std::shared_ptr<Gdiplus::Bitmap> LoadImageFromResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type);

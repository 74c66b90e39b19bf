#pragma once
// Owner of an open minizip archive.
#include <minizip/unzip.h>

#include "win32/UniqueResource.h"

namespace install {

struct UnzipTraits {
  using Type = unzFile;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::unzClose(h); }
};

using UniqueUnzip = win32::UniqueResource<UnzipTraits>;

}  // namespace install

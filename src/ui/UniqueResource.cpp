#include "ui/UniqueResource.h"

#include <wincrypt.h>

namespace ui {

void CryptProvTraits::Close(Type h) noexcept { ::CryptReleaseContext(h, 0); }
void CryptHashTraits::Close(Type h) noexcept { ::CryptDestroyHash(h); }

}  // namespace ui

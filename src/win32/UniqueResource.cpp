#include "win32/UniqueResource.h"

#include <wincrypt.h>

namespace win32 {

void CryptProvTraits::Close(Type h) noexcept { ::CryptReleaseContext(h, 0); }
void CryptHashTraits::Close(Type h) noexcept { ::CryptDestroyHash(h); }

}  // namespace win32

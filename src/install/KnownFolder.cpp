#include "install/KnownFolder.h"

#include <shlobj.h>

#include "win32/UniqueResource.h"

namespace install {

std::wstring GetKnownFolderPath(REFKNOWNFOLDERID id, bool defaultUser) {
  // The pseudo-token -1 names the profile new users are created from.
  const HANDLE token = defaultUser ? reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1)) : nullptr;
  win32::UniqueCoTaskString path;
  if (FAILED(::SHGetKnownFolderPath(id, 0, token, path.put())) || !path) return {};
  return path.get();
}

}  // namespace install

#pragma once
// Known-folder lookup for the current user or for the default user profile.
#include <windows.h>
#include <shtypes.h>

#include <string>

namespace install {

// Empty when the folder is unknown or has no path.
std::wstring GetKnownFolderPath(REFKNOWNFOLDERID id, bool defaultUser);

}  // namespace install

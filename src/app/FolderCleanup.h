#pragma once
// Removes the wizard's work folder. The wizard runs elevated and cleans a folder that an
// unelevated user can write to, so a link inside is removed itself and never followed; what
// cannot go now (a file in use, a folder whose installer still runs) goes at the next restart.
#include <functional>
#include <string>
#include <vector>

namespace cleanup {

// Tells whether an entry is a link (junction or symbolic link) to be removed, not entered.
using LinkTest = std::function<bool(const std::wstring& path, unsigned long attributes)>;
bool IsReparsePoint(const std::wstring& path, unsigned long attributes);

// An empty folder is left in place. A non-empty one is removed with everything in it; read-only
// files are made writable first. Folders in `runningFolders` (installers still running from
// them) are not emptied under the installer: they and their contents are scheduled for
// removal at restart, children first.
void DeleteFolder(const std::wstring& path, const std::vector<std::wstring>& runningFolders = {},
                  const LinkTest& isLink = IsReparsePoint);

}  // namespace cleanup

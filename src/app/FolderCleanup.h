#pragma once
// Removes the wizard's work folder. The wizard runs elevated, so the clean-up works through
// handles and never follows a link out of the folder (see install::RemoveTree); what cannot go
// now (a file in use, a folder whose installer still runs) goes at the next restart. Only items
// inside the work folder, which a standard user cannot change, are ever scheduled so.
#include <string>
#include <vector>

#include "install/FolderTree.h"

namespace cleanup {

// An empty folder is left in place. A non-empty one is removed with everything in it; read-only
// files are made writable first. Folders in `runningFolders` (installers still running from
// them) are not emptied under the installer: they and their contents are scheduled for
// removal at restart, children first. `hooks` let tests say what is a link (Wine makes none)
// and step in between listing and deleting; their `leaveWhole` is the running folders'.
void DeleteFolder(const std::wstring& path, const std::vector<std::wstring>& runningFolders = {},
                  install::RemovalHooks hooks = {});

}  // namespace cleanup

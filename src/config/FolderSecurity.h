#pragma once
// Who may do what in the wizard's work folder, where everything it will run is written: full
// control for SYSTEM and Administrators, read and execute for Users, and nothing inherited from
// %TEMP% (the DACL is protected). Everything created below inherits it, so a standard user's
// programs can neither plant nor replace a file the elevated wizard starts.
#include <windows.h>

#include "win32/UniqueResource.h"

namespace config {

inline constexpr wchar_t kWorkFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

class WorkFolderSecurity {
 public:
  WorkFolderSecurity();
  WorkFolderSecurity(const WorkFolderSecurity&) = delete;
  WorkFolderSecurity& operator=(const WorkFolderSecurity&) = delete;

  // For CreateDirectoryW; null when the descriptor could not be built (no folder is then made).
  SECURITY_ATTRIBUTES* Attributes() noexcept { return m_descriptor ? &m_attributes : nullptr; }

 private:
  win32::UniqueHlocal m_descriptor;
  SECURITY_ATTRIBUTES m_attributes{};
};

}  // namespace config

#include "config/FolderSecurity.h"

#include <sddl.h>

namespace config {

WorkFolderSecurity::WorkFolderSecurity() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkFolderSddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    return;
  }
  m_descriptor.reset(descriptor);
  m_attributes.nLength = sizeof(m_attributes);
  m_attributes.lpSecurityDescriptor = descriptor;
  m_attributes.bInheritHandle = FALSE;
}

}  // namespace config

#include "install/HeldFile.h"

#include "config/FileHasher.h"

namespace install {

HeldFile::HeldFile(const std::wstring& path, const std::string& expectedSha256) {
  m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!m_file || expectedSha256.empty()) return;
  m_matches = config::HashOpenFile(m_file.get()) == expectedSha256;
}

}  // namespace install

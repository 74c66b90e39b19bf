#pragma once
// A file the wizard is about to start, opened for reading with read sharing only (nobody can
// write, rename or delete it meanwhile), its content compared with the hash it had when it was
// written, and held so until the caller has started it: what runs is what was downloaded,
// whatever another process tried between the download and the start.
#include <windows.h>

#include <string>

#include "win32/UniqueResource.h"

namespace install {

// The reason a start is refused when the content is not the one written.
inline constexpr wchar_t kFileChangedText[] = L"the file changed after download";

class HeldFile {
 public:
  // `expectedSha256`: lower-case hex. An empty one (the hash could not be computed) never
  // matches.
  HeldFile(const std::wstring& path, const std::string& expectedSha256);
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool Matches() const noexcept { return m_matches; }

 private:
  win32::UniqueFile m_file;
  bool m_matches = false;
};

}  // namespace install

#pragma once
// The file a download writes. The data goes to a uniquely named temporary file beside the
// target, which replaces the target only when the download is complete; a failed or cancelled
// download leaves no partial file and never destroys an existing file of the same name.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/UniqueResource.h"

namespace download {

class TargetFile {
 public:
  // An empty `path` (no usable folder) gives a file that is not open.
  explicit TargetFile(const std::wstring& path);
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  bool IsOpen() const { return static_cast<bool>(m_file); }
  // The error code of the failed attempt to create the file.
  DWORD OpenError() const { return m_openError; }

  void Write(const char* data, DWORD size);
  void Close();
  // Size of the closed file as the file system reports it; nothing (with the thread's last
  // error set) when it cannot be opened.
  std::optional<unsigned long long> SizeOnDisk() const;
  // Puts the complete file in place of the target.
  void Commit();

 private:
  std::wstring m_path;
  std::wstring m_tempPath;
  void Flush();

  ui::UniqueFile m_file;
  std::vector<char> m_buffer;  // written out in large pieces, as a buffered stream would
  DWORD m_openError = ERROR_PATH_NOT_FOUND;
  bool m_committed = false;
};

}  // namespace download

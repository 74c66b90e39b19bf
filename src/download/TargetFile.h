#pragma once
// The file a download writes. The data goes to a uniquely named temporary file beside the
// target, marked for deletion from the moment it exists, so that the file system removes it
// whenever the download does not complete: a failure, a cancellation, or the process being
// killed. Only a complete download clears the mark and renames the open file over the target,
// so an existing file of the same name is never destroyed by a download that fails. The file's
// SHA-256 is computed as the data is written.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "config/FileHasher.h"
#include "win32/UniqueResource.h"

namespace download {

class TargetFile {
 public:
  // An empty `path` (no usable folder) gives a file that is not open.
  explicit TargetFile(const std::wstring& path, config::HashEngine hashEngine = config::HashEngine::Cng);
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  bool IsOpen() const { return static_cast<bool>(m_file); }
  // The error code of the failed attempt to create the file.
  DWORD OpenError() const { return m_openError; }

  void Write(const char* data, DWORD size);
  // Empties the file and its hash, for a download that starts again from its first byte.
  void Restart();
  // Of everything written since the file was made or last restarted.
  std::string Sha256Hex() { return m_hasher.HexDigest(); }
  // Writes out what is buffered; the size check comes after it.
  void Finish();
  // Size of the written file as the file system reports it; nothing (with the thread's last
  // error set) when it cannot be read.
  std::optional<unsigned long long> SizeOnDisk() const;
  // Puts the complete file in place of the target.
  void Commit();

 private:
  void Flush();
  bool MarkForDeletion(bool remove);

  std::wstring m_path;
  win32::UniqueFile m_file;    // closing it deletes the file unless Commit() cleared the mark
  std::vector<char> m_buffer;  // written out in large pieces, as a buffered stream would
  config::FileHasher m_hasher;
  DWORD m_openError = ERROR_PATH_NOT_FOUND;
};

}  // namespace download

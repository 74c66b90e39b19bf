#include "download/TargetFile.h"

#include <algorithm>

#include "download/DownloadError.h"

namespace download {

TargetFile::TargetFile(const std::wstring& path) : m_path(path) {
  const auto slash = path.rfind(L'\\');
  if (path.empty() || slash == std::wstring::npos) return;
  const std::wstring folder = path.substr(0, slash + 1);
  wchar_t temp[MAX_PATH] = {};
  if (::GetTempFileNameW(folder.c_str(), L"brd", 0, temp) == 0) {
    m_openError = ::GetLastError();
    return;
  }
  m_tempPath = temp;
  m_file.reset(
      ::CreateFileW(m_tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_file) m_openError = ::GetLastError();
}

TargetFile::~TargetFile() {
  if (m_committed || m_tempPath.empty()) return;
  m_file.reset();
  ::DeleteFileW(m_tempPath.c_str());
}

void TargetFile::Write(const char* data, DWORD size) {
  constexpr std::size_t kBufferSize = 64 * 1024;
  m_buffer.insert(m_buffer.end(), data, data + size);
  if (m_buffer.size() >= kBufferSize) Flush();
}

// A full disk must fail the download even when no length was announced to check against.
void TargetFile::Flush() {
  std::size_t done = 0;
  while (done < m_buffer.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(m_buffer.size() - done, 1u << 30));
    if (!::WriteFile(m_file.get(), m_buffer.data() + done, chunk, &written, nullptr) || written == 0) {
      throw DownloadError(L"Failed to write to the file.");
    }
    done += written;
  }
  m_buffer.clear();
}

void TargetFile::Close() {
  if (!m_file) return;
  Flush();
  m_file.reset();
}

std::optional<unsigned long long> TargetFile::SizeOnDisk() const {
  ui::UniqueFile file(::CreateFileW(m_tempPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return std::nullopt;
  return static_cast<unsigned long long>(size.QuadPart);
}

void TargetFile::Commit() {
  if (!::MoveFileExW(m_tempPath.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ThrowLastError(L"Failed to move the downloaded file into place: ");
  }
  m_committed = true;
}

}  // namespace download

#include "download/TargetFile.h"

#include "download/DownloadError.h"
#include "ui/UniqueResource.h"

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
  m_stream.open(m_tempPath.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
  if (!m_stream.is_open()) m_openError = ::GetLastError();
}

TargetFile::~TargetFile() {
  if (m_committed || m_tempPath.empty()) return;
  m_stream.close();
  ::DeleteFileW(m_tempPath.c_str());
}

void TargetFile::Write(const char* data, DWORD size) {
  m_stream.write(data, static_cast<std::streamsize>(size));
  // A full disk must fail the download even when no length was announced to check against.
  if (!m_stream) throw DownloadError(L"Failed to write to the file.");
}

void TargetFile::Close() {
  if (!m_stream.is_open()) return;
  m_stream.close();
  if (m_stream.fail()) throw DownloadError(L"Failed to write to the file.");
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

#include "download/TargetFile.h"

#include <algorithm>
#include <cstring>

#include "download/DownloadError.h"

namespace download {
namespace {

// A fresh name per try; CREATE_NEW makes the check and the creation one step.
std::wstring TempName(const std::wstring& folder, unsigned attempt) {
  const unsigned long long seed =
      ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 20) ^ attempt;
  wchar_t name[32] = {};
  ::wsprintfW(name, L"brd%05x.tmp", static_cast<unsigned>((seed * 2654435761u + attempt) & 0xFFFFF));
  return folder + name;
}

}  // namespace

TargetFile::TargetFile(const std::wstring& path, config::HashEngine hashEngine) : m_path(path), m_hasher(hashEngine) {
  const auto slash = path.rfind(L'\\');
  if (path.empty() || slash == std::wstring::npos) return;
  const std::wstring folder = path.substr(0, slash + 1);
  constexpr unsigned kAttempts = 100;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < kAttempts && !m_file; ++attempt) {
    temp = TempName(folder, attempt);
    m_file.reset(::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file) break;
    m_openError = ::GetLastError();
    if (m_openError != ERROR_FILE_EXISTS && m_openError != ERROR_ALREADY_EXISTS) return;
  }
  if (m_file && !MarkForDeletion(true)) {
    m_openError = ::GetLastError();
    m_file.reset();
    ::DeleteFileW(temp.c_str());  // without the mark the empty file must go by name
  }
}

bool TargetFile::MarkForDeletion(bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return ::SetFileInformationByHandle(m_file.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

void TargetFile::Write(const char* data, DWORD size) {
  constexpr std::size_t kBufferSize = 64 * 1024;
  m_hasher.Update(data, size);
  m_buffer.insert(m_buffer.end(), data, data + size);
  if (m_buffer.size() >= kBufferSize) Flush();
}

void TargetFile::Restart() {
  m_buffer.clear();
  m_hasher.Restart();
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.get())) {
    throw DownloadError(L"Failed to write to the file.");
  }
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

void TargetFile::Finish() {
  if (m_file) Flush();
}

std::optional<unsigned long long> TargetFile::SizeOnDisk() const {
  LARGE_INTEGER size{};
  if (!m_file || !::GetFileSizeEx(m_file.get(), &size)) return std::nullopt;
  return static_cast<unsigned long long>(size.QuadPart);
}

void TargetFile::Commit() {
  // Between clearing the mark and the rename a killed process would leave the temporary file;
  // the window is two system calls long.
  if (!MarkForDeletion(false)) ThrowLastError(L"Failed to move the downloaded file into place: ");
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + m_path.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(m_path.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, m_path.data(), rename->FileNameLength);
  if (!::SetFileInformationByHandle(m_file.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    const DWORD error = ::GetLastError();
    MarkForDeletion(true);
    ThrowSystemError(L"Failed to move the downloaded file into place: ", error);
  }
  m_file.reset();
}

}  // namespace download

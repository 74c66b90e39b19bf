#include "download/FileDownload.h"

#include <algorithm>

#include "download/DownloadError.h"
#include "download/ResumeRules.h"
#include "win32/DebugLog.h"

namespace download {
namespace {

std::optional<unsigned long long> FreeBytesBeside(const std::wstring& path) {
  const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
  ULARGE_INTEGER available{};
  if (folder.empty() || !::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

}  // namespace

FileDownload::FileDownload(const std::wstring& path, HWND window, config::HashEngine hashEngine,
                           std::optional<unsigned long long> cap)
    : m_file(path, hashEngine), m_progress(window), m_cap(cap ? *cap : NoLengthCap(FreeBytesBeside(path))) {}

std::wstring FileDownload::BeginTry() {
  m_headThisTry = false;
  m_refused = false;
  m_short = false;
  m_askedFrom = m_written > 0 && !m_validator.empty() ? m_written : 0;
  return m_askedFrom > 0 ? RangeHeaders(m_askedFrom, m_validator) : std::wstring();
}

void FileDownload::OnHead(const ResponseHead& head) {
  try {
    Accept(head);
  } catch (...) {
    m_refused = true;
    throw;
  }
}

void FileDownload::Accept(const ResponseHead& head) {
  if (!m_started) m_progress.SetLength(head.length);
  if (!m_file.IsOpen()) ThrowSystemError(L"Failed to open file for writing: ", m_file.OpenError());
  if (m_askedFrom > 0 && head.status == 206) {
    const auto range = ParseContentRange(head.contentRange);
    if (!range || !ContinuesAt(*range, m_written, m_total)) {
      throw DownloadError(L"Download failed: the server resumed with Content-Range \"" + head.contentRange + L"\" at " +
                          std::to_wstring(m_written) + L" bytes.");
    }
    if (!m_total) m_total = range->total;
    win32::DebugLine("Download continues at " + std::to_string(m_written) + " bytes.");
  } else {
    if (m_askedFrom > 0 && head.status != 200) {
      throw DownloadError(L"Download failed: Server returned status code: " + std::to_wstring(head.status));
    }
    if (m_started) {
      // The server ignored the range, or the file changed: this answer is the whole file.
      if (m_written > 0) win32::DebugLine("Download starts again from zero.");
      m_file.Restart();
      m_written = 0;
      m_progress.Restart(head.length);
    }
    m_total = head.length;
    m_validator = ResumeValidator(head.etag, head.lastModified);
  }
  m_started = true;
  m_headThisTry = true;
}

void FileDownload::OnData(const char* data, DWORD size) {
  // Written and hashed a slice at a time, so a large batch from the relay still moves the bar
  // while it is being worked through.
  constexpr DWORD kSlice = 64 * 1024;
  for (DWORD done = 0; done < size;) {
    const DWORD slice = std::min(kSlice, size - done);
    try {
      if (!m_total && slice > m_cap - m_written) {
        throw DownloadError(L"Download was incomplete: no content length, stopped at " + std::to_wstring(m_cap) +
                            L" bytes");
      }
      m_file.Write(data + done, slice);
    } catch (...) {
      m_refused = true;
      throw;
    }
    m_written += slice;
    m_progress.Advance(slice);
    done += slice;
  }
}

void FileDownload::Finish(bool winInet) {
  try {
    m_file.Finish();
  } catch (...) {
    m_refused = true;
    throw;
  }
  if (!m_total) return;
  const auto size = m_file.SizeOnDisk();
  if (!size) {
    m_refused = true;
    if (winInet) ThrowLastError(L"Failed to open downloaded file: ");
    throw DownloadError(L"Failed to open downloaded file.");
  }
  if (*size != *m_total) {
    m_short = *size < *m_total;
    m_refused = !m_short;
    throw DownloadError(L"Download was incomplete: content length: " + std::to_wstring(*m_total) + L", downloaded: " +
                        std::to_wstring(*size));
  }
}

bool FileDownload::EndedEarly(const std::exception& error) const {
  if (!m_started || m_refused) return false;
  return m_headThisTry || m_short || dynamic_cast<const SystemDownloadError*>(&error) != nullptr;
}

void FileDownload::NextTransport() {
  // A refused answer may have left bytes of a version that cannot be tied to the next one.
  if (m_refused) m_validator.clear();
}

void FileDownload::Commit() {
  m_file.Commit();
  m_progress.Complete();
}

}  // namespace download

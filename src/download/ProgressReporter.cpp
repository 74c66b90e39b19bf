#include "download/ProgressReporter.h"

#include "win32/WindowMessages.h"

namespace download {

void ProgressReporter::SetLength(std::optional<DWORD> length) {
  m_length = length;
  if (!length) Post(WM_DOWNLOAD_NO_LENGTH, 0);
}

void ProgressReporter::Advance(DWORD bytes) {
  if (!m_length || *m_length == 0) return;
  m_done += static_cast<double>(bytes) / *m_length;
  if (m_done - m_posted > 0.01) {
    Post(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(m_done * 100));
    m_posted = m_done;
  }
}

void ProgressReporter::Restart(std::optional<DWORD> length) {
  const bool hadLength = m_length && *m_length > 0;
  m_length = length;
  m_done = 0;
  m_posted = 0;
  if (length) {
    Post(WM_DOWNLOAD_PROGRESS, 0);
  } else if (hadLength) {
    Post(WM_DOWNLOAD_NO_LENGTH, 0);
  }
}

void ProgressReporter::Complete() {
  if (m_length && *m_length > 0) Post(WM_DOWNLOAD_PROGRESS, 100);
}

void ProgressReporter::Post(UINT message, WPARAM wParam) const {
  // A null window would turn the post into a message to this worker thread's own queue.
  if (m_window != nullptr) ::PostMessageW(m_window, message, wParam, 0);
}

}  // namespace download

#pragma once
// Progress of one file download, posted to the page's window: the no-length notice, steps of
// more than one percentage point, and 100 at the end when a length was announced.
#include <windows.h>

#include <optional>

namespace download {

class ProgressReporter {
 public:
  explicit ProgressReporter(HWND window) : m_window(window) {}

  void SetLength(std::optional<DWORD> length);
  void Advance(DWORD bytes);
  void Complete();
  std::optional<DWORD> Length() const { return m_length; }

 private:
  void Post(UINT message, WPARAM wParam) const;

  HWND m_window;
  std::optional<DWORD> m_length;
  double m_done = 0;
  double m_posted = 0;
};

}  // namespace download

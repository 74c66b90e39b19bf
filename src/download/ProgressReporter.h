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
  // The file starts again from zero: the bar goes back to 0 (or to the marquee without a length).
  void Restart(std::optional<DWORD> length);
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

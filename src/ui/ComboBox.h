#pragma once
// Thin, non-owning view of a combo box control: the dialog owns the window, this only sends the
// messages the pages need.
#include <windows.h>

#include <string>

namespace ui {

class ComboBox {
 public:
  ComboBox() noexcept = default;
  explicit ComboBox(HWND combo) noexcept : m_hwnd(combo) {}

  void Attach(HWND combo) noexcept { m_hwnd = combo; }
  HWND GetHwnd() const noexcept { return m_hwnd; }

  void ResetContent() const noexcept;
  // Index of the new item, or CB_ERR.
  int AddString(const std::wstring& text) const noexcept;
  int GetCount() const noexcept;
  // CB_ERR when nothing is selected.
  int GetCurSel() const noexcept;
  void SetCurSel(int index) const noexcept;
  // Empty for an index out of range.
  std::wstring GetItemText(int index) const;
  void Show(bool show) const noexcept;

 private:
  HWND m_hwnd = nullptr;
};

}  // namespace ui

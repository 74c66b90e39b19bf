#include "ui/ComboBox.h"

namespace ui {

void ComboBox::ResetContent() const noexcept { ::SendMessageW(m_hwnd, CB_RESETCONTENT, 0, 0); }

int ComboBox::AddString(const std::wstring& text) const noexcept {
  return static_cast<int>(::SendMessageW(m_hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int ComboBox::GetCount() const noexcept { return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCOUNT, 0, 0)); }

int ComboBox::GetCurSel() const noexcept { return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0)); }

void ComboBox::SetCurSel(int index) const noexcept {
  ::SendMessageW(m_hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::wstring ComboBox::GetItemText(int index) const {
  const LRESULT length = ::SendMessageW(m_hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      ::SendMessageW(m_hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
  return text;
}

void ComboBox::Show(bool show) const noexcept {
  if (m_hwnd != nullptr) ::ShowWindow(m_hwnd, show ? SW_SHOW : SW_HIDE);
}

}  // namespace ui

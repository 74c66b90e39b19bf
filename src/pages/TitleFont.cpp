#include "pages/TitleFont.h"

void TitleFont::Apply(HWND title) {
  if (title == nullptr) return;
  HFONT current = reinterpret_cast<HFONT>(::SendMessageW(title, WM_GETFONT, 0, 0));
  LOGFONTW font{};
  if (current == nullptr || ::GetObjectW(current, sizeof(font), &font) == 0) {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  }
  font.lfHeight = 12;
  font.lfWeight = 1000;
  m_font.reset(::CreateFontIndirectW(&font));
  if (m_font) ::SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), TRUE);
}

#pragma once
// The bold title of the licence and classic pages: the title control's own font, 12 units high
// and of the heaviest weight. The font lives as long as the page that owns this object.
#include <windows.h>

#include "win32/UniqueResource.h"

class TitleFont {
 public:
  void Apply(HWND title);

 private:
  win32::UniqueHfont m_font;
};

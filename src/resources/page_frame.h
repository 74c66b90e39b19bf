// The frame every page template shares, so no template repeats it:
//
//   IDD_SOME_PAGE DIALOGEX 0, 0, BRINDLE_PAGE_SIZE
//   STYLE BRINDLE_PAGE_STYLE
//   BRINDLE_PAGE_FONT
//   BEGIN
//     ...the page's own controls, buttons at BRINDLE_PAGE_BUTTON_LEFT/_MIDDLE/_RIGHT...
//     BRINDLE_PAGE_FRAME
//   END
//
// The frame comes last so that it is at the bottom of the z-order, and clips its siblings so
// the band never paints over the buttons that sit on it.
#pragma once

#define BRINDLE_PAGE_SIZE 336, 230
// DS_CONTROL lets Tab and Enter move between the main dialog and the page.
#define BRINDLE_PAGE_STYLE DS_SETFONT | DS_CONTROL | WS_CHILD
#define BRINDLE_PAGE_FONT FONT 10, "Microsoft Sans Serif", 400, 0, 0x0

#define BRINDLE_PAGE_BUTTON_LEFT 5, 203, 71, 22
#define BRINDLE_PAGE_BUTTON_MIDDLE 79, 203, 71, 22
#define BRINDLE_PAGE_BUTTON_RIGHT 260, 203, 71, 22

// clang-format off
#define BRINDLE_PAGE_FRAME                                                                  \
  CONTROL "", IDC_PAGE_SEPARATOR, "Static", SS_ETCHEDHORZ | WS_CLIPSIBLINGS, 0, 198, 336, 1 \
  CONTROL "", IDC_PAGE_BOTTOM_BAR, "Static", SS_LEFT | WS_CLIPSIBLINGS, 0, 198, 336, 32
// clang-format on

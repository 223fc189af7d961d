#include "platform/CanvasColors.h"

#include <iterator>

#include "platform/AsciiCase.h"

namespace qira {

namespace {

constexpr TColor kSystemColors[25] = {
    0xC8D0D4,  // 0 scroll bar
    0x808000,  // 1 background
    0x6A240A,  // 2 active caption
    0x808080,  // 3 inactive caption
    0xC8D0D4,  // 4 menu
    0xFFFFFF,  // 5 window
    0x000000,  // 6 window frame
    0x000000,  // 7 menu text
    0x000000,  // 8 window text
    0xFFFFFF,  // 9 caption text
    0xC8D0D4,  // 10 active border
    0xC8D0D4,  // 11 inactive border
    0x808080,  // 12 application workspace
    0x6A240A,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xC8D0D4,  // 15 button face
    0x808080,  // 16 button shadow
    0x808080,  // 17 gray text
    0x000000,  // 18 button text
    0xC8D0D4,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x404040,  // 21 3D dark shadow
    0xC8D0D4,  // 22 3D light
    0x000000,  // 23 info text
    0xE1FFFF,  // 24 info background
};

struct TNamedColor {
  const char* name;
  TColor value;
};

constexpr TColor Sys(uint32_t n) { return 0xFF000000u + n; }

constexpr TNamedColor kNamedColors[] = {
    {"clBlack", 0x000000},   {"clMaroon", 0x000080},  {"clGreen", 0x008000},   {"clOlive", 0x008080},
    {"clNavy", 0x800000},    {"clPurple", 0x800080},  {"clTeal", 0x808000},    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},  {"clRed", 0x0000FF},     {"clLime", 0x00FF00},    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},    {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},  {"clDefault", 0x20000000},
    {"clScrollBar", Sys(0)},        {"clBackground", Sys(1)},       {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)},  {"clMenu", Sys(4)},             {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)},      {"clMenuText", Sys(7)},         {"clWindowText", Sys(8)},
    {"clCaptionText", Sys(9)},      {"clActiveBorder", Sys(10)},    {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)},    {"clHighlight", Sys(13)},       {"clHighlightText", Sys(14)},
    {"clBtnFace", Sys(15)},         {"clBtnShadow", Sys(16)},       {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},         {"clInactiveCaptionText", Sys(19)}, {"clBtnHighlight", Sys(20)},
    {"cl3DDkShadow", Sys(21)},      {"cl3DLight", Sys(22)},         {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},
};

}  // namespace

TColor SystemColorToRGB(TColor color) {
  if ((color & 0xFF000000u) != 0xFF000000u) return color;
  const uint32_t index = color & 0xFFu;
  return index < std::size(kSystemColors) ? kSystemColors[index] : clBlack;
}

std::optional<TColor> ColorFromIdent(std::string_view ident) {
  for (const TNamedColor& c : kNamedColors)
    if (SameTextAscii(ident, c.name)) return c.value;
  return std::nullopt;
}

}  // namespace qira

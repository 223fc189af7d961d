#pragma once
// The object tree's marks: check boxes and radio buttons in the tree's seven
// drawing styles, each drawn into a 14 x 14 square of a canvas.
#include <cstdint>

#include "platform/Canvas.h"

namespace qira {

// How marks are drawn, in the stored order.
enum TControlStyle : int32_t { csClassic, csFlat, csWinXP, csTolvane, csBitmaps, csGlyph, csTheme };

// The 16 x 16 mark pictures: 01/02 the plain set, 03/04 the coloured set; check
// box checked (01, 03) or not (02, 04), radio button on (01, 03) or off (02, 04).
// Their bottom-left pixel is the transparent colour.
enum class TTreeMarkBitmap { TVCHK01, TVCHK02, TVCHK03, TVCHK04, TVRAD01, TVRAD02, TVRAD03, TVRAD04 };
void MakeTreeMarkBitmap(TTreeMarkBitmap which, TBitmap& bitmap);

struct TTreeMarkStyle {
  TControlStyle Style = csClassic;
  TColor ControlColor = clRed;  // tick of csTolvane check boxes
  bool Enabled = true;
  bool Themed = false;  // csTheme draws only when a theme is active
  const TBitmap* GlyphChecked = nullptr;
  const TBitmap* GlyphUnChecked = nullptr;
};

// Q is the mark's 14 x 14 square.
void DrawTreeCheckBox(TCanvas& canvas, const TRect& q, bool checked, const TTreeMarkStyle& style);
void DrawTreeRadioButton(TCanvas& canvas, const TRect& q, bool on, const TTreeMarkStyle& style);

}  // namespace qira

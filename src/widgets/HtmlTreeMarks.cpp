#include "widgets/HtmlTreeMarks.h"

#include <array>

#include "widgets/FormattedText.h"
#include "widgets/TreeVisualStyles.h"
#include "widgets/WidgetSupport.h"

namespace qira {

namespace {

constexpr TColor clBtnFace = 0xFF00000Fu;
constexpr TColor clBtnShadow = 0xFF000010u;
constexpr TColor clBtnHighlight = 0xFF000014u;
constexpr TColor cl3DDkShadow = 0xFF000015u;
constexpr TColor cl3DLight = 0xFF000016u;
constexpr TColor clWindow = 0xFF000005u;
constexpr TColor clWindowText = 0xFF000008u;
constexpr TColor kTransparentKey = 0xFF00FF;  // fuchsia: the bitmaps' transparent colour

// Centres a square of the given size in q; division truncates toward zero.
TRect Centred(const TRect& q, int32_t size) {
  const int32_t left = q.Left + (q.Width() - size) / 2;
  const int32_t top = q.Top + (q.Height() - size) / 2;
  return TRect{left, top, left + size, top + size};
}

void Line(TCanvas& c, TColor color, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  c.SetPen(TPen{ColorToRGB(color), 1, psSolid, pmCopy});
  c.MoveTo(x0, y0);
  c.LineTo(x1, y1);
}

// The tick of a check box whose inside starts at (x, y): seven pixels wide, three high.
void Tick(TCanvas& c, int32_t x, int32_t y, TColor color) {
  for (int32_t i = 0; i < 7; ++i) {
    const int32_t top = i < 3 ? y + 2 + i : y + 6 - (i - 2);
    for (int32_t k = 0; k < 3; ++k) c.SetPixel(x + i, top + k, ColorToRGB(color));
  }
}

// The platform's frame-control check box: a sunken two-pixel edge around a white box.
void ClassicCheckBox(TCanvas& c, const TRect& r, bool checked, bool flat) {
  const int32_t L = r.Left, T = r.Top, R = r.Right - 1, B = r.Bottom - 1;
  c.SetBrush(TBrush{ColorToRGB(clWindow), bsSolid});
  c.FillRect(r);
  if (flat) {
    c.SetBrush(TBrush{ColorToRGB(clBtnShadow), bsSolid});
    c.FrameRect(r);
  } else {
    Line(c, clBtnShadow, L, B, L, T);
    Line(c, clBtnShadow, L, T, R + 1, T);
    Line(c, cl3DDkShadow, L + 1, B - 1, L + 1, T + 1);
    Line(c, cl3DDkShadow, L + 1, T + 1, R, T + 1);
    Line(c, clBtnHighlight, L, B, R + 1, B);
    Line(c, clBtnHighlight, R, B, R, T - 1);
    Line(c, cl3DLight, L + 1, B - 1, R, B - 1);
    Line(c, cl3DLight, R - 1, B - 1, R - 1, T);
  }
  if (checked) Tick(c, L + (r.Width() - 7) / 2, T + (r.Height() - 7) / 2 - 2, clWindowText);
}

void ClassicRadioButton(TCanvas& c, const TRect& r, bool on, bool flat) {
  c.SetBrush(TBrush{ColorToRGB(clWindow), bsSolid});
  c.SetPen(TPen{ColorToRGB(flat ? clBtnShadow : cl3DDkShadow), 1, psSolid, pmCopy});
  c.Ellipse(r);
  if (on) {
    const TRect dot = Centred(r, 4);
    c.SetBrush(TBrush{ColorToRGB(clWindowText), bsSolid});
    c.SetPen(TPen{ColorToRGB(clWindowText), 1, psSolid, pmCopy});
    c.Ellipse(dot.Left, dot.Top, dot.Right, dot.Bottom);
  }
}

void DrawBitmap(TCanvas& c, const TRect& q, TTreeMarkBitmap which) {
  TBitmap bitmap;
  MakeTreeMarkBitmap(which, bitmap);
  StretchBitmapTransparent(c, bitmap, clDefault, q.Left, q.Top, 0, 0, 0, 0, 0, 0);
}

void DrawGlyph(TCanvas& c, const TRect& q, const TBitmap* glyph) {
  if (glyph != nullptr && !glyph->Empty())
    StretchBitmapTransparent(c, *glyph, clDefault, q.Left, q.Top, 0, 0, 0, 0, 0, 0);
}

}  // namespace

void MakeTreeMarkBitmap(TTreeMarkBitmap which, TBitmap& bitmap) {
  bitmap.SetSize(16, 16);
  TCanvas& c = bitmap.Canvas();
  c.SetBrush(TBrush{kTransparentKey, bsSolid});
  c.FillRect(TRect{0, 0, 16, 16});
  const bool coloured = which == TTreeMarkBitmap::TVCHK03 || which == TTreeMarkBitmap::TVCHK04 ||
                        which == TTreeMarkBitmap::TVRAD03 || which == TTreeMarkBitmap::TVRAD04;
  const bool marked = which == TTreeMarkBitmap::TVCHK01 || which == TTreeMarkBitmap::TVCHK03 ||
                      which == TTreeMarkBitmap::TVRAD01 || which == TTreeMarkBitmap::TVRAD03;
  const bool radio = which >= TTreeMarkBitmap::TVRAD01;
  const TColor frame = coloured ? 0x845121 : 0x808080;    // blue frame, or grey
  const TColor inside = coloured ? 0xF4F4F4 : clWhite;
  const TColor mark = coloured ? 0x21A121 : clBlack;      // green tick, or black
  const TRect box{1, 1, 14, 14};
  if (radio) {
    c.SetBrush(TBrush{inside, bsSolid});
    c.SetPen(TPen{frame, 1, psSolid, pmCopy});
    c.Ellipse(box);
    if (marked) {
      c.SetBrush(TBrush{mark, bsSolid});
      c.SetPen(TPen{mark, 1, psSolid, pmCopy});
      c.Ellipse(TRect{5, 5, 10, 10});
    }
  } else {
    c.SetBrush(TBrush{inside, bsSolid});
    c.FillRect(box);
    c.SetBrush(TBrush{frame, bsSolid});
    c.FrameRect(box);
    if (marked) Tick(c, 4, 2, mark);
  }
}

void DrawTreeCheckBox(TCanvas& c, const TRect& q, bool checked, const TTreeMarkStyle& s) {
  switch (s.Style) {
    case csClassic:
    case csFlat:
      ClassicCheckBox(c, Centred(q, 14), checked, s.Style == csFlat);
      return;
    case csWinXP: DrawBitmap(c, q, checked ? TTreeMarkBitmap::TVCHK03 : TTreeMarkBitmap::TVCHK04); return;
    case csBitmaps: DrawBitmap(c, q, checked ? TTreeMarkBitmap::TVCHK01 : TTreeMarkBitmap::TVCHK02); return;
    case csGlyph: DrawGlyph(c, q, checked ? s.GlyphChecked : s.GlyphUnChecked); return;
    case csTheme:
      if (s.Themed) DrawThemeBackground(c, BP_CHECKBOX, checked ? TS_CHECKEDNORMAL : TS_UNCHECKEDNORMAL, q);
      return;
    case csTolvane: {
      const TColor face = ColorToRGB(s.Enabled ? clBtnFace : clBtnShadow);
      c.SetBrush(TBrush{face, bsSolid});
      c.SetPen(TPen{ColorToRGB(clBtnFace), 1, psSolid, pmCopy});
      c.Rectangle(q);
      const int32_t L = q.Left, T = q.Top, R = q.Right - 1, B = q.Bottom - 1;
      Line(c, clBtnHighlight, L, B, L, T);
      Line(c, clBtnHighlight, L, T, R, T);
      Line(c, clBtnShadow, R, T, R, B);
      Line(c, clBtnShadow, R, B, L, B);
      if (checked) {
        const int32_t t = q.Top - 1, b = q.Bottom - 1, l = q.Left, r = q.Right;
        const TColor tick = ColorToRGB(s.ControlColor);
        Line(c, tick, l + 2, t + 8, l + 2, b - 1);
        Line(c, tick, l + 3, t + 7, l + 3, b - 2);
        Line(c, tick, l + 2, b - 1, r - 2, t + 3);
        Line(c, tick, l + 3, b - 1, r - 1, t + 3);
      }
      return;
    }
  }
}

void DrawTreeRadioButton(TCanvas& c, const TRect& q, bool on, const TTreeMarkStyle& s) {
  switch (s.Style) {
    case csClassic:
    case csFlat:
      ClassicRadioButton(c, Centred(q, 12), on, s.Style == csFlat);
      return;
    case csWinXP: DrawBitmap(c, q, on ? TTreeMarkBitmap::TVRAD03 : TTreeMarkBitmap::TVRAD04); return;
    case csBitmaps: DrawBitmap(c, q, on ? TTreeMarkBitmap::TVRAD01 : TTreeMarkBitmap::TVRAD02); return;
    case csGlyph: DrawGlyph(c, q, on ? s.GlyphChecked : s.GlyphUnChecked); return;
    case csTheme:
      if (s.Themed) DrawThemeBackground(c, BP_RADIOBUTTON, on ? TS_CHECKEDNORMAL : TS_UNCHECKEDNORMAL, q);
      return;
    case csTolvane: {
      const TBrush saved = c.Brush();
      const int32_t L = q.Left, T = q.Top;
      const std::array<TPoint, 4> diamond{TPoint{L + 2, T + 8}, TPoint{L + 8, T + 2}, TPoint{L + 14, T + 8},
                                          TPoint{L + 8, T + 14}};
      c.SetBrush(TBrush{ColorToRGB(clBtnFace), bsSolid});
      c.SetPen(TPen{ColorToRGB(clBtnFace), 1, psSolid, pmCopy});
      c.Polygon(diamond);
      const TColor leftEdge = on ? clGray : clWhite;
      const TColor rightEdge = on ? clWhite : clGray;
      Line(c, leftEdge, L + 8, T + 14, L + 2, T + 8);
      Line(c, leftEdge, L + 2, T + 8, L + 8, T + 2);
      Line(c, rightEdge, L + 8, T + 2, L + 14, T + 8);
      Line(c, rightEdge, L + 14, T + 8, L + 8, T + 14);
      if (on) {
        const std::array<TPoint, 4> dot{TPoint{L + 6, T + 8}, TPoint{L + 8, T + 6}, TPoint{L + 10, T + 8},
                                        TPoint{L + 8, T + 10}};
        c.SetBrush(TBrush{clRed, bsSolid});
        c.SetPen(TPen{clRed, 1, psSolid, pmCopy});
        c.Polygon(dot);
      }
      c.SetBrush(saved);
      return;
    }
  }
}

}  // namespace qira

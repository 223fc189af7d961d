#pragma once
// A white bitmap with a chart canvas drawing straight onto it, and a chart font
// stand-in with the extras the canvas reads.
#include <cstdint>
#include <optional>

#include "chart/draw/GdiChartCanvas.h"
#include "platform/Canvas.h"
#include "support/TestApplication.h"

namespace qira::test {

inline TFont PinnedChartFont(int32_t height) {
  TFont f;
  f.Name = PinnedFontFace();
  f.Height = height;
  return f;
}

class FakeChartFont : public IChartFont {
 public:
  explicit FakeChartFont(TFont font) : font_(std::move(font)) {}
  const TFont& PlatformFont() const override { return font_; }
  const TChartTextShadow* Shadow() const override { return shadow ? &*shadow : nullptr; }
  const TChartPen* OutLine() const override { return outline ? &*outline : nullptr; }

  TFont font_;
  std::optional<TChartTextShadow> shadow;
  std::optional<TChartPen> outline;
};

inline constexpr TRect kAll{0, 0, INT32_MAX, INT32_MAX};

struct ChartSurface {
  TBitmap bitmap;
  TChartCanvas3D canvas;
  ChartSurface(int32_t w, int32_t h) : bitmap(w, h), canvas(&bitmap.Canvas()) {
    EnsureTestApplication();
    canvas.SetUseBuffer(false);
    canvas.ResetState();
    bitmap.Canvas().SetFont(PinnedChartFont(-12));
  }
  TCanvas& Device() { return bitmap.Canvas(); }
  TColor At(int32_t x, int32_t y) const { return bitmap.Pixel(x, y); }
  // Bounds of the pixels that are not white inside a region (right and bottom
  // exclusive); empty when there are none.
  TRect Ink(TRect within = kAll, TColor only = CLR_INVALID) const {
    within.Right = std::min(within.Right, bitmap.Width());
    within.Bottom = std::min(within.Bottom, bitmap.Height());
    TRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = within.Top; y < within.Bottom; ++y)
      for (int32_t x = within.Left; x < within.Right; ++x) {
        const TColor c = bitmap.Pixel(x, y);
        if (c == clWhite || (only != CLR_INVALID && c != only)) continue;
        r = {std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1), std::max(r.Bottom, y + 1)};
      }
    return r.Left == INT32_MAX ? TRect{} : r;
  }
  int32_t Count(TColor colour) const {
    int32_t n = 0;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
      for (int32_t x = 0; x < bitmap.Width(); ++x) n += bitmap.Pixel(x, y) == colour;
    return n;
  }
};

}  // namespace qira::test

#include "model/Graph2D.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/Rounding.h"

namespace qira {

namespace {

TGraph2DCanvas::TToPixel DefaultToPixel() {
  return [](double v) { return RoundToInt(v); };
}

TGraph2DCanvas::TFontScale DefaultFontScale() {
  return [] { return 1.0; };
}

uint8_t GradientChannel(uint8_t a, uint8_t b, int64_t i, int64_t n) {
  // i and n share their sign and |i| <= |n|, so the result lies between a and b.
  const double delta = (static_cast<double>(b) - a) * static_cast<double>(i) / static_cast<double>(n);
  return static_cast<uint8_t>(a + RoundToInt(delta));
}

}  // namespace

TColor GradientColor(TColor a, TColor b, int64_t i, int64_t n) {
  if (n == 0) return a;
  return MakeColor(GradientChannel(ColorRed(a), ColorRed(b), i, n),
                   GradientChannel(ColorGreen(a), ColorGreen(b), i, n),
                   GradientChannel(ColorBlue(a), ColorBlue(b), i, n));
}

// ---- TGraph2D --------------------------------------------------------------------

void TGraph2D::DrawPaletteBar(const TRect2D& rect, bool horizontal, TColor startColor, TColor endColor,
                              std::span<const TColor> colors, std::span<const uint8_t> positions) {
  const double first = horizontal ? rect.X1 : rect.Y1;
  const double last = horizontal ? rect.X2 : rect.Y2;
  auto piece = [&](double from, double to, TColor a, TColor b) {
    TRect2D r = rect;
    if (horizontal) {
      r.X1 = from;
      r.X2 = to;
    } else {
      r.Y1 = from;
      r.Y2 = to;
    }
    GradientRect(r, horizontal, a, b);
  };
  double edge = first;
  TColor colour = startColor;
  const size_t count = std::min(colors.size(), positions.size());
  for (size_t k = 0; k < count; ++k) {
    const double next = first + (last - first) * positions[k] / 100.0;
    piece(edge, next, colour, colors[k]);
    edge = next;
    colour = colors[k];
  }
  piece(edge, last, colour, endColor);
}

// ---- TGraph2DCanvas --------------------------------------------------------------

TGraph2DCanvas::TGraph2DCanvas(TCanvas& canvas)
    : canvas_(&canvas), xToPixel_(DefaultToPixel()), yToPixel_(DefaultToPixel()), fontScale_(DefaultFontScale()) {}

void TGraph2DCanvas::SetConversions(TToPixel xToPixel, TToPixel yToPixel, TFontScale fontScale) {
  xToPixel_ = xToPixel ? std::move(xToPixel) : DefaultToPixel();
  yToPixel_ = yToPixel ? std::move(yToPixel) : DefaultToPixel();
  fontScale_ = fontScale ? std::move(fontScale) : DefaultFontScale();
}

void TGraph2DCanvas::Line(const TLineParams& lineParams, double x1, double y1, double x2, double y2) {
  lineParams.ApplyTo(*canvas_);
  canvas_->MoveTo(XToPixel(x1), YToPixel(y1));
  canvas_->LineTo(XToPixel(x2), YToPixel(y2));
}

void TGraph2DCanvas::Polyline(std::span<const TPoint2D> points, const TLineParams& lineParams) {
  std::vector<TPoint> pixels;
  pixels.reserve(points.size());
  for (const TPoint2D& p : points) pixels.push_back({XToPixel(p.X), YToPixel(p.Y)});
  lineParams.ApplyTo(*canvas_);
  canvas_->Polyline(pixels);
}

void TGraph2DCanvas::Polygon(std::span<const TPoint2D> points, const TGraphParams& params1,
                             const TGraphParams& params2) {
  std::vector<TPoint> pixels;
  pixels.reserve(points.size());
  for (const TPoint2D& p : points) pixels.push_back({XToPixel(p.X), YToPixel(p.Y)});
  params1.ApplyTo(*canvas_);
  params2.ApplyTo(*canvas_);
  canvas_->Polygon(pixels);
}

void TGraph2DCanvas::TextOut(TFontParams& fontParams, double x, double y, std::string_view text) {
  fontParams.ScaleDivisor = FontScale();
  fontParams.TextOut(*canvas_, XToPixel(x), YToPixel(y), text);
}

void TGraph2DCanvas::Rectangle(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1,
                               double x2, double y2) {
  params1.ApplyTo(*canvas_);
  params2.ApplyTo(*canvas_);
  canvas_->Rectangle(XToPixel(x1), YToPixel(y1), XToPixel(x2), YToPixel(y2));
}

void TGraph2DCanvas::Ellipse(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1,
                             double x2, double y2) {
  params1.ApplyTo(*canvas_);
  params2.ApplyTo(*canvas_);
  canvas_->Ellipse(XToPixel(x1), YToPixel(y1), XToPixel(x2), YToPixel(y2));
}

void TGraph2DCanvas::GradientRect(const TRect2D& rect, bool horizontal, TColor colorA, TColor colorB) {
  canvas_->SetPenWidth(0);
  canvas_->SetPenStyle(psSolid);
  canvas_->SetPenMode(pmCopy);
  const int64_t x1 = XToPixel(rect.X1);
  const int64_t y1 = YToPixel(rect.Y1);
  const int64_t x2 = XToPixel(rect.X2);
  const int64_t y2 = YToPixel(rect.Y2);
  // Lines run across the span from its first edge (a) to its second (b); only those
  // inside the image can paint anything.
  const int64_t a = horizontal ? x1 : y1;
  const int64_t b = horizontal ? x2 : y2;
  const int64_t n = b - a;
  const int64_t extent = horizontal ? canvas_->Width() : canvas_->Height();
  const int64_t from = std::max<int64_t>(std::min(a, b), 0);
  const int64_t to = std::min<int64_t>(std::max(a, b), extent - 1);
  for (int64_t p = from; p <= to; ++p) {
    canvas_->SetPenColor(GradientColor(colorA, colorB, p - a, n));
    const auto at = static_cast<int32_t>(p);
    if (horizontal) {
      canvas_->MoveTo(at, static_cast<int32_t>(y1));
      canvas_->LineTo(at, static_cast<int32_t>(y2));
    } else {
      canvas_->MoveTo(static_cast<int32_t>(x1), at);
      canvas_->LineTo(static_cast<int32_t>(x2), at);
    }
  }
  // Leave the pen as the last line of the whole span would have.
  canvas_->SetPenColor(GradientColor(colorA, colorB, n, n));
  canvas_->MoveTo(static_cast<int32_t>(x2), static_cast<int32_t>(y2));
}

}  // namespace qira

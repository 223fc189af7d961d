#include "chart/draw/ChartGradients.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "chart/draw/GdiChartCanvas.h"
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

// Sections: [SECTION] colour helpers; [SECTION] gradient fill; [SECTION] TChartBlend;
// [SECTION] TChartShadow; [SECTION] gradients; [SECTION] TChartFont;
// [SECTION] installation

namespace qira {

namespace {

// Stores a changed value and reports it.
template <class T, class F>
void Change(T& field, const T& value, F&& changed) {
  if (field == value) return;
  field = value;
  changed();
}

}  // namespace

// ---------------------------------------------------- [SECTION] colour helpers

TColor DarkenColor(TColor color, int32_t amount) {
  const TColor c = SystemColorToRGB(color);
  auto d = [amount](int32_t v) { return static_cast<uint8_t>(v > amount ? v - amount : 0); };
  return MakeColor(d(ColorRed(c)), d(ColorGreen(c)), d(ColorBlue(c)));
}

TColor ApplyBright(TColor color, int32_t amount) {
  const TColor c = SystemColorToRGB(color);
  auto b = [amount](int32_t v) { return static_cast<uint8_t>(int64_t{v} + amount < 256 ? std::max(v + amount, 0) : 255); };
  return MakeColor(b(ColorRed(c)), b(ColorGreen(c)), b(ColorBlue(c)));
}

TRGBBytes ColorToRGBBytes(TColor color) {
  const TColor c = SystemColorToRGB(color);
  return TRGBBytes{ColorBlue(c), ColorGreen(c), ColorRed(c)};
}

TColor GrayColor(TColor color) {
  const TColor c = SystemColorToRGB(color);
  const auto g = static_cast<uint8_t>((ColorRed(c) + ColorGreen(c) + ColorBlue(c)) / 3);
  return MakeColor(g, g, g);
}

void SwapDouble(double& a, double& b) { std::swap(a, b); }
void SwapInteger(int32_t& a, int32_t& b) { std::swap(a, b); }
double Hypotenuse(double a, double b) { return std::sqrt(a * a + b * b); }

// ---------------------------------------------------- [SECTION] gradient fill

TColor GradientStepColor(TColor first, TColor second, int32_t i, int32_t n, int32_t balance) {
  const TColor a = SystemColorToRGB(first), b = SystemColorToRGB(second);
  if (n <= 0) return a;
  const double f = balance == 50 ? 0.0 : std::pow((1.0 + i) / (1.0 + n), 0.015 * balance + 0.5);
  auto channel = [&](int32_t start, int32_t end) {
    const int32_t diff = end - start;
    const int64_t v = balance == 50 ? start + int64_t{diff} * i / n : start + RoundToInt64(diff * f);
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
  };
  return MakeColor(channel(ColorRed(a), ColorRed(b)), channel(ColorGreen(a), ColorGreen(b)),
                   channel(ColorBlue(a), ColorBlue(b)));
}

namespace {

// One brush whose colour is set only when it changes (the device-context brush).
class TBandBrush {
 public:
  explicit TBandBrush(TCanvas& dc) : dc_(dc) {}
  void Fill(const TRect& r, TColor color) {
    Use(color);
    dc_.FillRect(r);
  }
  void Use(TColor color) {
    if (color == last_) return;
    last_ = color;
    dc_.SetBrush(TBrush{color, bsSolid});
  }

 private:
  TCanvas& dc_;
  TColor last_ = CLR_INVALID;
};

void FillRadial(TCanvas& dc, const TRect& r, TColor first, TColor second, int32_t balance, int32_t radialX,
                int32_t radialY) {
  const int64_t w = r.Width(), h = r.Height();
  dc.IntersectClipRect(r);
  dc.SetPenStyle(psClear);
  TBandBrush brush(dc);
  brush.Fill(r, second);
  int64_t n = std::min<int64_t>(255, std::max(w, h));
  if (w % 2 != 0 || h % 2 != 0) --n;
  // Zero steps (a one-pixel rectangle): the end colour fill is the whole gradient.
  if (n <= 0) return;
  const double cx = (int64_t{r.Left} + r.Right) / 2.0 + radialX + 1;
  const double cy = (int64_t{r.Top} + r.Bottom) / 2.0 + radialY + 1;
  for (int64_t i = n; i >= 0; --i) {
    const double rx = static_cast<double>(i) * w / (2.0 * n), ry = static_cast<double>(i) * h / (2.0 * n);
    brush.Use(GradientStepColor(first, second, static_cast<int32_t>(i), static_cast<int32_t>(n), balance));
    dc.Ellipse(RoundChartCoord(cx - rx), RoundChartCoord(cy - ry), RoundChartCoord(cx + rx),
               RoundChartCoord(cy + ry));
  }
}

void FillLinear(TCanvas& dc, const TRect& r, TColor first, TColor second, bool vertical, int32_t balance) {
  const int64_t length = vertical ? r.Height() : r.Width();
  const int64_t n = std::min<int64_t>(length, 256);
  const int64_t steps = n - 1;
  if (steps < 1) return;
  TBandBrush brush(dc);
  for (int64_t i = 0; i < n; ++i) {
    const int64_t from = i * length / n, to = (i + 1) * length / n;
    const TColor c = GradientStepColor(first, second, static_cast<int32_t>(i), static_cast<int32_t>(steps), balance);
    // The first colour lies at the bottom (vertical) or right (horizontal) edge.
    if (vertical) {
      brush.Fill(TRect{r.Left, static_cast<int32_t>(r.Bottom - to), r.Right, static_cast<int32_t>(r.Bottom - from)}, c);
    } else {
      brush.Fill(TRect{static_cast<int32_t>(r.Right - to), r.Top, static_cast<int32_t>(r.Right - from), r.Bottom}, c);
    }
  }
}

// L shapes from the top-left (or bottom-left) corner. Round k paints column k down
// to row k and row k across to column k; the column counter stops at the last column
// and the row counter at the last row, so pixel (c, r) gets colour step
// min(R, w − 1) + min(R, h − 1) with R = max(c, r): the ramp runs over the whole
// longer side towards step N = w + h.
void FillFromCorner(TCanvas& dc, const TRect& r, TColor first, TColor second, bool fromTop, int32_t balance) {
  const int32_t w = r.Width(), h = r.Height();
  const int32_t n = static_cast<int32_t>(std::max<int64_t>(1, int64_t{w} + h));
  TBandBrush brush(dc);
  for (int32_t k = 0; k < std::max(w, h); ++k) {
    const int32_t column = std::min(k, w - 1), row = std::min(k, h - 1);
    const TColor c = GradientStepColor(first, second, column + row, n, balance);
    if (k < w) {
      const int32_t rows = row + 1;
      brush.Fill(fromTop ? TRect{r.Left + k, r.Top, r.Left + k + 1, r.Top + rows}
                         : TRect{r.Left + k, r.Bottom - rows, r.Left + k + 1, r.Bottom},
                 c);
    }
    if (k < h) {
      // Rows are counted from the corner: downwards from the top, upwards from the bottom.
      const int32_t y = fromTop ? r.Top + k : r.Bottom - 1 - k;
      brush.Fill(TRect{r.Left, y, r.Left + column + 1, y + 1}, c);
    }
  }
}

// Rings one pixel thick from the outside in; ring (i, j) in colour step i + j.
void FillFromCenter(TCanvas& dc, const TRect& r, TColor first, TColor second, int32_t balance) {
  const int32_t w = r.Width(), h = r.Height();
  const int32_t n = std::max(1, w / 2 + h / 2);
  TBandBrush brush(dc);
  int32_t i = 0, j = 0;
  for (;;) {
    const TRect ring{r.Left + i, r.Top + j, r.Right - i, r.Bottom - j};
    if (ring.IsEmpty()) break;
    brush.Use(GradientStepColor(first, second, i + j, n, balance));
    dc.FrameRect(ring);
    const bool moreX = i < w / 2, moreY = j < h / 2;
    if (!moreX && !moreY) break;
    if (moreX) ++i;
    if (moreY) ++j;
  }
}

// Lines of 45 degrees from the bottom-left (up) or top-left (down) corner; line k in
// colour step N · k div (w + h).
void FillDiagonal(TCanvas& dc, const TRect& r, TColor first, TColor second, bool up, int32_t balance) {
  const int64_t w = r.Width(), h = r.Height();
  const int64_t n = std::max<int64_t>(1, std::min<int64_t>(255, w + h - 1));
  for (int64_t k = 0; k < w + h - 1; ++k) {
    const TColor c = GradientStepColor(first, second, static_cast<int32_t>(n * k / (w + h)), static_cast<int32_t>(n),
                                       balance);
    // Start on the left edge (or the bottom/top edge past it); walk right and down/up.
    const int64_t x0 = k < h ? 0 : k - (h - 1);
    const int64_t x1 = std::min(k, w - 1);
    for (int64_t x = x0; x <= x1; ++x) {
      const int64_t d = k - x;  // distance from the start edge
      const int64_t y = up ? h - 1 - d : d;
      dc.SetPixel(static_cast<int32_t>(r.Left + x), static_cast<int32_t>(r.Top + y), c);
    }
  }
}

}  // namespace

void FillGradientRect(TCanvas& dc, const TRect& rect, TColor first, TColor second, TGradientDirection direction,
                      int32_t balance, int32_t radialX, int32_t radialY) {
  const TRect r = OrientRectangle(rect);
  if (r.IsEmpty()) return;
  const int saved = dc.SaveDC();
  if (direction == gdRadial) {
    FillRadial(dc, r, first, second, balance, radialX, radialY);
    dc.RestoreDC(saved);
    return;
  }
  if (direction != gdTopBottom && direction != gdLeftRight && direction != gdDiagonalUp &&
      direction != gdDiagonalDown) {
    std::swap(first, second);
  }
  first = SystemColorToRGB(first);
  second = SystemColorToRGB(second);
  switch (direction) {
    case gdTopBottom:
    case gdBottomTop: FillLinear(dc, r, first, second, true, balance); break;
    case gdLeftRight:
    case gdRightLeft: FillLinear(dc, r, first, second, false, balance); break;
    case gdFromTopLeft: FillFromCorner(dc, r, first, second, true, balance); break;
    case gdFromBottomLeft: FillFromCorner(dc, r, first, second, false, balance); break;
    case gdFromCenter: FillFromCenter(dc, r, first, second, balance); break;
    case gdDiagonalUp: FillDiagonal(dc, r, first, second, true, balance); break;
    case gdDiagonalDown: FillDiagonal(dc, r, first, second, false, balance); break;
    case gdRadial: break;
  }
  dc.RestoreDC(saved);
}

// ------------------------------------------------------ [SECTION] TChartBlend

void BlendImages(const QImage& saved, QImage& target, int32_t x, int32_t y, int32_t t) {
  if (x < 0 || y < 0 || saved.isNull() || target.isNull()) return;
  const int32_t w = std::min<int64_t>(saved.width(), int64_t{target.width()} - x);
  const int32_t h = std::min<int64_t>(saved.height(), int64_t{target.height()} - y);
  if (w < 1 || h < 1) return;
  const QImage s = saved.convertToFormat(QImage::Format_RGB32);
  t = std::clamp(t, 0, 100);
  for (int32_t row = 0; row < h; ++row) {
    const auto* src = reinterpret_cast<const uint32_t*>(s.constScanLine(row));
    auto* dst = reinterpret_cast<uint32_t*>(target.scanLine(y + row)) + x;
    for (int32_t col = 0; col < w; ++col) {
      // Kept on purpose: a pure white target pixel first becomes (254, 255, 255).
      if ((dst[col] & 0xFFFFFFu) == 0xFFFFFFu) dst[col] = (dst[col] & 0xFF00FFFFu) | 0x00FE0000u;
      uint32_t out = dst[col] & 0xFF000000u;
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t sv = (src[col] >> (8 * c)) & 0xFF, dv = (dst[col] >> (8 * c)) & 0xFF;
        out |= static_cast<uint32_t>(dv + t * (sv - dv) / 100) << (8 * c);
      }
      dst[col] = out;
    }
  }
}

TChartBlend::TChartBlend(TChartCanvas& canvas, const TRect& rect) : canvas_(canvas) {
  TRect r = OrientRectangle(rect);
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::max(r.Right, r.Left + 1);
  r.Bottom = std::max(r.Bottom, r.Top + 1);
  const TRect& bounds = canvas.Bounds();
  if (!bounds.IsEmpty()) {
    r.Right = std::min(r.Right, bounds.Right);
    r.Bottom = std::min(r.Bottom, bounds.Bottom);
  }
  // A rectangle larger than the drawing surface is clipped to it.
  const TCanvas* dc = canvas.GetHandle();
  if (dc != nullptr) {
    r.Right = std::min(r.Right, dc->Width());
    r.Bottom = std::min(r.Bottom, dc->Height());
  }
  rect_ = r;
  if (dc == nullptr || r.IsEmpty()) return;
  auto* target = const_cast<TCanvas*>(dc)->Image();
  saved_ = target->copy(r.Left, r.Top, r.Width(), r.Height());
  valid_ = !saved_.isNull();
}

void TChartBlend::DoBlend(int32_t transparency) {
  if (!valid_ || canvas_.NoReadBack()) return;
  TCanvas* dc = canvas_.GetHandle();
  if (dc == nullptr || dc->Image() == nullptr) return;
  BlendImages(saved_, *dc->Image(), rect_.Left, rect_.Top, transparency);
}

// ----------------------------------------------------- [SECTION] TChartShadow

TChartShadow::TChartShadow(TNotifyEvent onChange) : OnChange(std::move(onChange)) {}

void TChartShadow::SetClip(bool v) { Change(clip_, v, [this] { Changed(); }); }
void TChartShadow::SetColor(TColor v) { Change(color_, v, [this] { Changed(); }); }
void TChartShadow::SetHorizSize(int32_t v) { Change(horizSize_, v, [this] { Changed(); }); }
void TChartShadow::SetSmooth(bool v) { Change(smooth_, v, [this] { Changed(); }); }
void TChartShadow::SetSmoothBlur(int32_t v) { Change(smoothBlur_, v, [this] { Changed(); }); }
void TChartShadow::SetTransparency(TChartTransparency v) { Change(transparency_, std::clamp(v, 0, 100), [this] { Changed(); }); }
void TChartShadow::SetVertSize(int32_t v) { Change(vertSize_, v, [this] { Changed(); }); }
void TChartShadow::SetVisible(bool v) { Change(visible_, v, [this] { Changed(); }); }

int32_t TChartShadow::Size() const {
  return static_cast<int32_t>(std::min<int64_t>(std::max(std::abs(int64_t{horizSize_}), std::abs(int64_t{vertSize_})), INT32_MAX));
}

void TChartShadow::SetSize(int32_t value) {
  if (horizSize_ == value && vertSize_ == value) return;
  horizSize_ = vertSize_ = value;
  Changed();
}

void TChartShadow::SetDefaults(TColor color, int32_t size) {
  color_ = defaultColor_ = color;
  horizSize_ = vertSize_ = defaultSize_ = size;
}

void TChartShadow::Assign(const TChartShadow& source) {
  if (&source == this) return;
  color_ = source.color_;
  horizSize_ = source.horizSize_;
  smooth_ = source.smooth_;
  smoothBlur_ = source.smoothBlur_;
  transparency_ = source.transparency_;
  vertSize_ = source.vertSize_;
  visible_ = source.visible_;
  Changed();
}

TChartTextShadow TChartShadow::TextShadow() const {
  return TChartTextShadow{visible_, color_, horizSize_, vertSize_, transparency_, smooth_, smoothBlur_};
}

void TChartShadow::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  if (clip_) AddBoolean(block, PropertyKey(prefix, "Clip"), true);
  if (color_ != defaultColor_) AddInteger(block, PropertyKey(prefix, "Color"), color_);
  if (horizSize_ != defaultSize_) AddInteger(block, PropertyKey(prefix, "HorizSize"), horizSize_);
  if (!smooth_) AddBoolean(block, PropertyKey(prefix, "Smooth"), false);
  if (smoothBlur_ != 0) AddInteger(block, PropertyKey(prefix, "SmoothBlur"), smoothBlur_);
  if (transparency_ != 0) AddInteger(block, PropertyKey(prefix, "Transparency"), transparency_);
  if (vertSize_ != defaultSize_) AddInteger(block, PropertyKey(prefix, "VertSize"), vertSize_);
  if (visible_ != defaultVisible_) AddBoolean(block, PropertyKey(prefix, "Visible"), visible_);
}

void TChartShadow::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  // Everything is read before anything changes: a bad value leaves the shadow whole.
  const bool clip = PropertyBoolean(block, PropertyKey(prefix, "Clip"), clip_);
  const TColor color = PropertyColor(block, PropertyKey(prefix, "Color"), color_);
  const int32_t horiz = PropertyInt32(block, PropertyKey(prefix, "HorizSize"), horizSize_);
  const bool smooth = PropertyBoolean(block, PropertyKey(prefix, "Smooth"), smooth_);
  const int32_t blur = PropertyInt32(block, PropertyKey(prefix, "SmoothBlur"), smoothBlur_);
  const int32_t transparency = PropertyInt32(block, PropertyKey(prefix, "Transparency"), transparency_, 0, 100);
  const int32_t vert = PropertyInt32(block, PropertyKey(prefix, "VertSize"), vertSize_);
  const bool visible = PropertyBoolean(block, PropertyKey(prefix, "Visible"), visible_);
  clip_ = clip;
  color_ = color;
  horizSize_ = horiz;
  smooth_ = smooth;
  smoothBlur_ = blur;
  transparency_ = transparency;
  vertSize_ = vert;
  visible_ = visible;
  Changed();
}

TBitmap* TChartShadow::SmoothTarget(TCanvas3D& canvas) const {
  if (!smooth_ || canvas.NoReadBack()) return nullptr;
  auto* gdi = dynamic_cast<TChartCanvas3D*>(&canvas);
  if (gdi == nullptr || !gdi->GetUseBuffer() || gdi->Buffer() == nullptr) return nullptr;
  if (gdi->GetHandle() != &gdi->Buffer()->Canvas()) return nullptr;
  return gdi->Buffer();
}

namespace {

enum TShadowShape : int32_t { kRectShape, kEllipseShape, kPolygonShape };

TRect Moved(const TRect& r, int32_t dx, int32_t dy) {
  return TRect{ClampChartCoord(int64_t{r.Left} + dx), ClampChartCoord(int64_t{r.Top} + dy),
               ClampChartCoord(int64_t{r.Right} + dx), ClampChartCoord(int64_t{r.Bottom} + dy)};
}

// Integer Gaussian weights over a window of 2 · radius + 1 pixels.
std::vector<int64_t> GaussianWeights(int32_t radius, int32_t extraBlur) {
  if (radius <= 0) return {100000};
  const double sigma = std::max(0.5, (radius + std::max(extraBlur, 0)) / 2.0);
  std::vector<int64_t> weights(static_cast<size_t>(2 * radius + 1));
  for (int32_t d = -radius; d <= radius; ++d) {
    weights[static_cast<size_t>(d + radius)] = std::max<int64_t>(1, RoundToInt64(100000.0 * std::exp(-(d * d) / (2 * sigma * sigma))));
  }
  return weights;
}

// One separable pass over an image, along x (horizontal) or y.
QImage BlurPass(const QImage& in, const std::vector<int64_t>& weights, bool horizontal) {
  QImage out(in.size(), QImage::Format_RGB32);
  const int32_t radius = static_cast<int32_t>(weights.size() / 2);
  int64_t total = 0;
  for (int64_t w : weights) total += w;
  for (int32_t y = 0; y < in.height(); ++y) {
    auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
    for (int32_t x = 0; x < in.width(); ++x) {
      int64_t sum[3] = {0, 0, 0};
      for (int32_t d = -radius; d <= radius; ++d) {
        const int32_t sx = horizontal ? std::clamp(x + d, 0, in.width() - 1) : x;
        const int32_t sy = horizontal ? y : std::clamp(y + d, 0, in.height() - 1);
        const uint32_t p = reinterpret_cast<const uint32_t*>(in.constScanLine(sy))[sx];
        for (int32_t c = 0; c < 3; ++c) sum[c] += weights[static_cast<size_t>(d + radius)] * ((p >> (8 * c)) & 0xFF);
      }
      dst[x] = 0xFF000000u | static_cast<uint32_t>(sum[2] / total) << 16 | static_cast<uint32_t>(sum[1] / total) << 8 |
               static_cast<uint32_t>(sum[0] / total);
    }
  }
  return out;
}

}  // namespace

void TChartShadow::DrawSmooth(TBitmap& buffer, TCanvas3D& canvas, const TRect& shape, int32_t kind,
                              int32_t cornerSize, std::span<const TPoint> points) {
  const int32_t rx = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{horizSize_}), 256));
  const int32_t ry = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{vertSize_}), 256));
  // The area the blurred shadow can reach, limited to the buffer.
  TRect area = OrientRectangle(shape);
  area = TRect{std::max(area.Left - rx, 0), std::max(area.Top - ry, 0), std::min(area.Right + rx + 1, buffer.Width()),
               std::min(area.Bottom + ry + 1, buffer.Height())};
  if (area.IsEmpty()) return;
  TBitmap mask;
  mask.Image() = buffer.Image().copy(area.Left, area.Top, area.Width(), area.Height());
  TCanvas& m = mask.Canvas();
  m.SetPenStyle(psClear);
  m.SetBrush(TBrush{SystemColorToRGB(color_), bsSolid});
  const TRect local = Moved(shape, -area.Left, -area.Top);
  if (kind == kEllipseShape) {
    m.Ellipse(local.Left, local.Top, local.Right + 1, local.Bottom + 1);
  } else if (kind == kPolygonShape) {
    std::vector<TPoint> moved(points.begin(), points.end());
    for (TPoint& p : moved) p = TPoint{ClampChartCoord(int64_t{p.X} - area.Left), ClampChartCoord(int64_t{p.Y} - area.Top)};
    m.Polygon(moved);
  } else if (cornerSize > 0) {
    m.RoundRect(local.Left, local.Top, local.Right, local.Bottom, cornerSize, cornerSize);
  } else {
    m.FillRect(local);
  }
  QImage blurred = BlurPass(mask.Image(), GaussianWeights(rx, smoothBlur_), true);
  blurred = BlurPass(blurred, GaussianWeights(ry, smoothBlur_), false);
  const std::optional<QRegion>& clip = canvas.GetHandle()->ClipRegion();
  for (int32_t y = 0; y < area.Height(); ++y) {
    uint32_t* dst = buffer.ScanLine(area.Top + y);
    const auto* src = reinterpret_cast<const uint32_t*>(blurred.constScanLine(y));
    for (int32_t x = 0; x < area.Width(); ++x) {
      if (clip_ && clip && !clip->contains(QPoint(area.Left + x, area.Top + y))) continue;
      dst[area.Left + x] = src[x];
    }
  }
}

void TChartShadow::DrawFadingBand(TCanvas& dc, const TRect& rect) {
  const TColor base = SystemColorToRGB(color_);
  const int32_t average = (ColorRed(base) + ColorGreen(base) + ColorBlue(base)) / 3;
  auto band = [&](int32_t lines, bool bottom) {
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{lines}), 4096));
    // A band of no lines draws nothing (and divides by nothing).
    if (count == 0) return;
    const int32_t step = RoundToInt((255 - average) / static_cast<double>(count));
    for (int32_t k = 0; k < count; ++k) {
      dc.SetBrush(TBrush{ApplyBright(base, step * k), bsSolid});
      if (bottom) {
        const int32_t y = lines > 0 ? rect.Bottom + k : rect.Top - 1 - k;
        dc.FillRect(TRect{rect.Left + horizSize_, y, rect.Right + horizSize_, y + 1});
      } else {
        const int32_t x = lines > 0 ? rect.Right + k : rect.Left - 1 - k;
        dc.FillRect(TRect{x, rect.Top + vertSize_, x + 1, rect.Bottom + vertSize_});
      }
    }
  };
  band(vertSize_, true);
  band(horizSize_, false);
}

void TChartShadow::DrawRectZ(TCanvas3D& canvas, const TRect& rect, int32_t cornerSize, int32_t z) {
  if (color_ == clNone || (horizSize_ == 0 && vertSize_ == 0)) return;
  TCanvas* dc = canvas.GetHandle();
  if (dc == nullptr) return;
  const TRect moved = Moved(rect, horizSize_, vertSize_);
  const TPen savedPen = dc->Pen();
  std::unique_ptr<IChartBlend> blend;
  if (transparency_ > 0) blend = canvas.BeginBlending(canvas.ProjectRect(moved, z), transparency_);
  TBitmap* buffer = SmoothTarget(canvas);
  if (buffer != nullptr && Size() > 0) {
    DrawSmooth(*buffer, canvas, canvas.ProjectRect(moved, z), kRectShape, cornerSize, {});
  } else {
    dc->SetBrush(TBrush{SystemColorToRGB(color_), bsSolid});
    dc->SetPenStyle(psClear);
    if (smooth_ && cornerSize <= 0) {
      DrawFadingBand(*dc, canvas.ProjectRect(rect, z));
    } else if (cornerSize > 0) {
      const TRect p = canvas.ProjectRect(moved, z);
      canvas.RoundRect(p.Left, p.Top, p.Right, p.Bottom, cornerSize, cornerSize);
    } else {
      canvas.RectangleWithZ(moved, z);
    }
  }
  if (blend) canvas.EndBlending(std::move(blend));
  dc->SetPenStyle(savedPen.Style);
  dc->SetPenColor(savedPen.Color);
}

void TChartShadow::DrawEllipse(TCanvas3D& canvas, const TRect& rect, int32_t z) {
  if (color_ == clNone || (horizSize_ == 0 && vertSize_ == 0)) return;
  TCanvas* dc = canvas.GetHandle();
  if (dc == nullptr) return;
  const TRect moved = Moved(rect, horizSize_, vertSize_);
  std::unique_ptr<IChartBlend> blend;
  if (transparency_ > 0) blend = canvas.BeginBlending(canvas.ProjectRect(moved, z), transparency_);
  TBitmap* buffer = SmoothTarget(canvas);
  if (buffer != nullptr) {
    DrawSmooth(*buffer, canvas, canvas.ProjectRect(moved, z), kEllipseShape, 0, {});
  } else if (smooth_) {
    const TRect p = canvas.ProjectRect(moved, z);
    canvas.ClipEllipse(p);
    canvas.GradientFillRect(p, DarkenColor(color_, 128), ApplyBright(color_, 32), gdRadial);
    canvas.UnClipRectangle();
  } else {
    dc->SetBrush(TBrush{SystemColorToRGB(color_), bsSolid});
    dc->SetPenStyle(psClear);
    canvas.EllipseWithZ(moved.Left, moved.Top, moved.Right, moved.Bottom, z);
  }
  if (blend) canvas.EndBlending(std::move(blend));
}

void TChartShadow::DrawPolygon(TCanvas3D& canvas, std::span<const TPoint> points, int32_t z) {
  if (color_ == clNone || (horizSize_ == 0 && vertSize_ == 0) || points.empty()) return;
  TCanvas* dc = canvas.GetHandle();
  if (dc == nullptr) return;
  std::vector<TPoint> moved(points.begin(), points.end());
  for (TPoint& p : moved) p = TPoint{ClampChartCoord(int64_t{p.X} + horizSize_), ClampChartCoord(int64_t{p.Y} + vertSize_)};
  std::unique_ptr<IChartBlend> blend;
  if (transparency_ > 0) blend = canvas.BeginBlending(canvas.ProjectRect(PointsBoundingRect(moved), z), transparency_);
  TBitmap* buffer = SmoothTarget(canvas);
  if (buffer != nullptr) {
    std::vector<TPoint> projected;
    for (const TPoint& p : moved) projected.push_back(canvas.Calculate3DPosition(p.X, p.Y, z));
    DrawSmooth(*buffer, canvas, PointsBoundingRect(projected), kPolygonShape, 0, projected);
  } else {
    dc->SetBrush(TBrush{SystemColorToRGB(color_), bsSolid});
    dc->SetPenStyle(psClear);
    canvas.PolygonWithZ(moved, z);
  }
  if (blend) canvas.EndBlending(std::move(blend));
}

// -------------------------------------------------------- [SECTION] gradients

TCustomChartGradient::TCustomChartGradient(TNotifyEvent onChange) : OnChange(std::move(onChange)) {}

void TCustomChartGradient::SetAngle(int32_t v) { Change(angle_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetBalance(int32_t v) { Change(balance_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetDirection(TGradientDirection v) { Change(direction_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetEndColor(TColor v) { Change(endColor_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetRadialX(int32_t v) { Change(radialX_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetRadialY(int32_t v) { Change(radialY_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetStartColor(TColor v) { Change(startColor_, v, [this] { Changed(); }); }
void TCustomChartGradient::SetVisible(bool v) { Change(visible_, v, [this] { Changed(); }); }

void TCustomChartGradient::SetMidColor(TColor value) {
  if (value == MidColor()) return;
  hasMidColor_ = value != clNone;
  midColor_ = value;
  Changed();
}

void TCustomChartGradient::Assign(const TCustomChartGradient& source) {
  if (&source == this) return;
  angle_ = source.angle_;
  balance_ = source.balance_;
  direction_ = source.direction_;
  endColor_ = source.endColor_;
  midColor_ = source.midColor_;
  hasMidColor_ = source.hasMidColor_;
  radialX_ = source.radialX_;
  radialY_ = source.radialY_;
  startColor_ = source.startColor_;
  visible_ = source.visible_;
  Changed();
}

void TCustomChartGradient::FillColors(TCanvas& dc, const TRect& rect, bool monochrome) const {
  auto color = [monochrome](TColor c) { return monochrome ? GrayColor(c) : SystemColorToRGB(c); };
  const TColor start = color(startColor_), end = color(endColor_);
  if (direction_ == gdRadial) {
    FillGradientRect(dc, rect, start, end, gdRadial, balance_, radialX_, radialY_);
    return;
  }
  if (hasMidColor_ && direction_ != gdDiagonalUp && direction_ != gdDiagonalDown) {
    const TColor mid = color(midColor_);
    const TRect r = OrientRectangle(rect);
    const int32_t midY = static_cast<int32_t>((int64_t{r.Top} + r.Bottom) / 2);
    const int32_t midX = static_cast<int32_t>((int64_t{r.Left} + r.Right) / 2);
    // Each half runs between the end colour of its side and the middle colour; the
    // first colour of a fill lies at the bottom (right) edge.
    switch (direction_) {
      case gdTopBottom:
        FillGradientRect(dc, TRect{r.Left, midY, r.Right, r.Bottom}, start, mid, gdTopBottom);
        FillGradientRect(dc, TRect{r.Left, r.Top, r.Right, midY}, mid, end, gdTopBottom);
        return;
      case gdBottomTop:
        FillGradientRect(dc, TRect{r.Left, midY, r.Right, r.Bottom}, mid, end, gdBottomTop);
        FillGradientRect(dc, TRect{r.Left, r.Top, r.Right, midY}, start, mid, gdBottomTop);
        return;
      case gdLeftRight:
        FillGradientRect(dc, TRect{midX, r.Top, r.Right, r.Bottom}, start, mid, gdLeftRight);
        FillGradientRect(dc, TRect{r.Left, r.Top, midX, r.Bottom}, mid, end, gdLeftRight);
        return;
      case gdRightLeft:
        FillGradientRect(dc, TRect{midX, r.Top, r.Right, r.Bottom}, mid, end, gdRightLeft);
        FillGradientRect(dc, TRect{r.Left, r.Top, midX, r.Bottom}, start, mid, gdRightLeft);
        return;
      default:
        FillGradientRect(dc, rect, start, end, direction_, 50);
        return;
    }
  }
  FillGradientRect(dc, rect, start, end, direction_, balance_);
}

void TCustomChartGradient::DrawAngled(TChartCanvas& canvas, const TRect& rect) {
  const TRect r = OrientRectangle(rect);
  const double a = (360 - angle_) * M_PI / 180.0;
  const double w = r.Width(), h = r.Height();
  const int32_t bw = std::clamp(RoundToInt(std::fabs(w * std::cos(a)) + std::fabs(h * std::sin(a))), 1, 8192);
  const int32_t bh = std::clamp(RoundToInt(std::fabs(w * std::sin(a)) + std::fabs(h * std::cos(a))), 1, 8192);
  TBitmap bitmap(bw, bh);
  {
    // The whole gradient, sub-gradient included, is drawn unturned into the bitmap,
    // so everything turns together below.
    TChartCanvas3D unbuffered(&bitmap.Canvas());
    unbuffered.SetUseBuffer(false);
    unbuffered.InitWindow(bitmap.Canvas(), nullptr, TRect{0, 0, bw, bh}, false);
    if (canvas.GetMonochrome()) unbuffered.SetMonochrome(true);
    struct TRestoreAngle {
      int32_t& field;
      int32_t value;
      ~TRestoreAngle() { field = value; }
    } restore{angle_, angle_};
    angle_ = 0;
    Draw(unbuffered, TRect{0, 0, bw, bh});
  }
  if (ChartBitmapRotation != nullptr) ChartBitmapRotation(bitmap, angle_);
  const TBitmapGraphic graphic(bitmap.Image());
  canvas.ClipRectangle(r);
  canvas.Draw(r.Left - (graphic.Width() - r.Width()) / 2, r.Top - (graphic.Height() - r.Height()) / 2, &graphic);
  if (TCanvas* dc = canvas.GetHandle()) {
    const TBrush saved = dc->Brush();
    dc->SetBrushStyle(bsClear);
    canvas.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
    dc->SetBrush(saved);
  }
  canvas.UnClipRectangle();
}

void TCustomChartGradient::DrawFlat(TChartCanvas& canvas, const TRect& rect, int32_t cornerSize) {
  TCanvas* dc = canvas.GetHandle();
  if (dc == nullptr) return;
  if (cornerSize > 0) canvas.ClipRoundRectangle(rect, cornerSize);
  FillColors(*dc, rect, canvas.GetMonochrome());
  if (cornerSize > 0) canvas.UnClipRectangle();
}

void TCustomChartGradient::Draw(TChartCanvas& canvas, const TRect& rect, int32_t cornerSize) {
  if (angle_ != 0) {
    DrawAngled(canvas, rect);
    return;
  }
  DrawFlat(canvas, rect, cornerSize);
  int32_t transparency = 0;
  if (const TCustomChartGradient* over = OverGradient(transparency)) {
    auto blend = canvas.BeginBlending(rect, transparency);
    const_cast<TCustomChartGradient*>(over)->Draw(canvas, rect, cornerSize);
    canvas.EndBlending(std::move(blend));
  }
}

void TCustomChartGradient::FillFourPoints(TChartCanvas& canvas, const TFourPoints& points) {
  if (TCanvas* dc = canvas.GetHandle()) dc->SetPenStyle(psClear);
  canvas.PolygonGradient(points, *this);
}

void TCustomChartGradient::FillFourPoints3D(TCanvas3D& canvas, const TFourPoints& points, int32_t z) {
  TFourPoints projected;
  for (size_t i = 0; i < points.size(); ++i) projected[i] = canvas.Calculate3DPosition(points[i].X, points[i].Y, z);
  FillFourPoints(canvas, projected);
}

namespace {
constexpr const char* kDirectionIdents[] = {"gdTopBottom",     "gdBottomTop",      "gdLeftRight", "gdRightLeft",
                                            "gdFromCenter",    "gdFromTopLeft",    "gdFromBottomLeft",
                                            "gdRadial",        "gdDiagonalUp",     "gdDiagonalDown"};
}  // namespace

void TCustomChartGradient::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  if (angle_ != 0) AddInteger(block, PropertyKey(prefix, "Angle"), angle_);
  if (balance_ != 50) AddInteger(block, PropertyKey(prefix, "Balance"), balance_);
  if (direction_ != gdTopBottom) AddIdent(block, PropertyKey(prefix, "Direction"), kDirectionIdents[direction_]);
  if (endColor_ != 0x00FFFF) AddInteger(block, PropertyKey(prefix, "EndColor"), endColor_);
  if (hasMidColor_) AddInteger(block, PropertyKey(prefix, "MidColor"), midColor_);
  if (radialX_ != 0) AddInteger(block, PropertyKey(prefix, "RadialX"), radialX_);
  if (radialY_ != 0) AddInteger(block, PropertyKey(prefix, "RadialY"), radialY_);
  if (startColor_ != clWhite) AddInteger(block, PropertyKey(prefix, "StartColor"), startColor_);
  if (visible_) AddBoolean(block, PropertyKey(prefix, "Visible"), true);
}

void TCustomChartGradient::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  const int32_t angle = PropertyInt32(block, PropertyKey(prefix, "Angle"), angle_);
  const int32_t balance = PropertyInt32(block, PropertyKey(prefix, "Balance"), balance_);
  const int direction = PropertyIdent(block, PropertyKey(prefix, "Direction"), kDirectionIdents, direction_);
  const TColor end = PropertyColor(block, PropertyKey(prefix, "EndColor"), endColor_);
  const TColor mid = PropertyColor(block, PropertyKey(prefix, "MidColor"), MidColor());
  const int32_t rx = PropertyInt32(block, PropertyKey(prefix, "RadialX"), radialX_);
  const int32_t ry = PropertyInt32(block, PropertyKey(prefix, "RadialY"), radialY_);
  const TColor start = PropertyColor(block, PropertyKey(prefix, "StartColor"), startColor_);
  const bool visible = PropertyBoolean(block, PropertyKey(prefix, "Visible"), visible_);
  angle_ = angle;
  balance_ = balance;
  direction_ = static_cast<TGradientDirection>(direction);
  endColor_ = end;
  hasMidColor_ = mid != clNone;
  midColor_ = mid;
  radialX_ = rx;
  radialY_ = ry;
  startColor_ = start;
  visible_ = visible;
  Changed();
}

void TSubGradient::SetTransparency(TChartTransparency v) { Change(transparency_, std::clamp(v, 0, 100), [this] { Changed(); }); }

void TSubGradient::Assign(const TCustomChartGradient& source) {
  if (const auto* sub = dynamic_cast<const TSubGradient*>(&source)) transparency_ = sub->transparency_;
  TCustomChartGradient::Assign(source);
}

void TSubGradient::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  TCustomChartGradient::WriteProperties(block, prefix);
  if (transparency_ != 50) AddInteger(block, PropertyKey(prefix, "Transparency"), transparency_);
}

void TSubGradient::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  const int32_t transparency = PropertyInt32(block, PropertyKey(prefix, "Transparency"), transparency_, 0, 100);
  TCustomChartGradient::ReadProperties(block, prefix);
  transparency_ = transparency;
}

TSubGradient& TChartGradient::SubGradient() {
  if (!sub_) sub_ = std::make_unique<TSubGradient>(OnChange);
  return *sub_;
}

void TChartGradient::SetSubGradient(const TSubGradient* value) {
  if (value == nullptr) {
    sub_.reset();
  } else if (value != sub_.get()) {
    SubGradient().Assign(*value);
  }
  Changed();
}

void TChartGradient::Assign(const TCustomChartGradient& source) {
  if (&source == this) return;
  if (const auto* g = dynamic_cast<const TChartGradient*>(&source)) {
    if (g->sub_) {
      SubGradient().Assign(*g->sub_);
    } else {
      sub_.reset();
    }
  }
  TCustomChartGradient::Assign(source);
}

const TCustomChartGradient* TChartGradient::OverGradient(int32_t& transparency) const {
  if (!sub_ || !sub_->Visible()) return nullptr;
  transparency = sub_->Transparency();
  return sub_.get();
}

void TChartGradient::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  TCustomChartGradient::WriteProperties(block, prefix);
  if (sub_) sub_->WriteProperties(block, PropertyKey(prefix, "SubGradient."));
}

void TChartGradient::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  const std::string subPrefix = PropertyKey(prefix, "SubGradient.");
  if (!PropertiesUnder(block, subPrefix).empty()) {
    TSubGradient sub;
    sub.ReadProperties(block, subPrefix);
    TCustomChartGradient::ReadProperties(block, prefix);
    SubGradient().Assign(sub);
  } else {
    TCustomChartGradient::ReadProperties(block, prefix);
  }
}

void TChartFontGradient::SetOutline(bool v) { Change(outline_, v, [this] { Changed(); }); }

void TChartFontGradient::Assign(const TCustomChartGradient& source) {
  if (const auto* f = dynamic_cast<const TChartFontGradient*>(&source)) outline_ = f->outline_;
  TCustomChartGradient::Assign(source);
}

void TChartFontGradient::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  TCustomChartGradient::WriteProperties(block, prefix);
  if (outline_) AddBoolean(block, PropertyKey(prefix, "Outline"), true);
}

void TChartFontGradient::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  const bool outline = PropertyBoolean(block, PropertyKey(prefix, "Outline"), outline_);
  TCustomChartGradient::ReadProperties(block, prefix);
  outline_ = outline;
}

// ------------------------------------------------------- [SECTION] TChartFont

TChartFont::TChartFont(TNotifyEvent onChange) : OnChange(std::move(onChange)) {
  font_.Name = ChartDefaultFontName();
  font_.SetSize(ChartDefaultFontSize());
  font_.Color = clBlack;
}

TChartFont::~TChartFont() = default;

void TChartFont::SetCharset(int32_t v) { Change(charset_, v, [this] { Changed(); }); }
void TChartFont::SetColor(TColor v) { Change(font_.Color, v, [this] { Changed(); }); }
void TChartFont::SetHeight(int32_t v) { Change(font_.Height, v, [this] { Changed(); }); }
void TChartFont::SetName(const std::string& v) { Change(font_.Name, v, [this] { Changed(); }); }
void TChartFont::SetStyle(TFontStyles v) { Change(font_.Style, v, [this] { Changed(); }); }
void TChartFont::SetInterCharSize(int32_t v) { Change(interCharSize_, v, [this] { Changed(); }); }

void TChartFont::SetSize(int32_t points) {
  TFont f = font_;
  f.SetSize(points);
  SetHeight(f.Height);
}

TChartFontGradient& TChartFont::Gradient() {
  if (!gradient_) gradient_ = std::make_unique<TChartFontGradient>([this] { Changed(); });
  return *gradient_;
}

TChartHiddenPen& TChartFont::OutLine() {
  if (!outLine_) outLine_ = std::make_unique<TChartHiddenPen>([this] { Changed(); });
  return *outLine_;
}

TChartPicture& TChartFont::Picture() {
  if (!picture_) {
    picture_ = std::make_unique<TChartPicture>();
    picture_->OnChange = [this](TPicture&) { Changed(); };
  }
  return *picture_;
}

TChartShadow& TChartFont::Shadow() {
  if (!shadow_) shadow_ = std::make_unique<TChartShadow>([this] { Changed(); });
  return *shadow_;
}

void TChartFont::SetGradient(const TChartFontGradient* value) {
  if (value == nullptr) {
    gradient_.reset();
    Changed();
  } else {
    Gradient().Assign(*value);
  }
}

void TChartFont::SetOutLine(const TChartPen* value) {
  if (value == nullptr) {
    outLine_.reset();
    Changed();
  } else {
    OutLine().Assign(*value);
  }
}

void TChartFont::SetPicture(const TChartPicture* value) {
  if (value == nullptr) {
    picture_.reset();
    Changed();
  } else {
    Picture().Assign(value);
  }
}

void TChartFont::SetShadow(const TChartShadow* value) {
  if (value == nullptr) {
    shadow_.reset();
    Changed();
  } else {
    Shadow().Assign(*value);
  }
}

void TChartFont::Assign(const TChartFont& source) {
  if (&source == this) return;
  SetGradient(source.gradient_.get());
  interCharSize_ = source.interCharSize_;
  SetOutLine(source.outLine_.get());
  SetShadow(source.shadow_.get());
  SetPicture(source.picture_.get());
  const int ppi = font_.PixelsPerInch;
  font_ = source.font_;
  font_.PixelsPerInch = ppi;
  if (ppi != source.font_.PixelsPerInch) {
    font_.SetSize(source.font_.Size());
  }
  charset_ = source.charset_;
  Changed();
}

const TChartTextShadow* TChartFont::Shadow() const {
  if (!shadow_) return nullptr;
  textShadow_ = shadow_->TextShadow();
  return &textShadow_;
}

const TGraphic* TChartFont::PictureGraphic() const {
  if (!picture_ || picture_->Empty()) return nullptr;
  if (!filtered_) filtered_ = std::make_unique<TBitmapGraphic>();
  filtered_->AssignImage(picture_->Filtered());
  return filtered_.get();
}

void TChartFont::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  if (charset_ != 1) AddInteger(block, PropertyKey(prefix, "Charset"), charset_);
  if (font_.Color != defaultColor_) AddInteger(block, PropertyKey(prefix, "Color"), font_.Color);
  TFont defaults;
  defaults.SetSize(ChartDefaultFontSize());
  if (font_.Height != defaults.Height) AddInteger(block, PropertyKey(prefix, "Height"), font_.Height);
  if (font_.Name != ChartDefaultFontName()) AddString(block, PropertyKey(prefix, "Name"), font_.Name);
  if (font_.Style != defaultStyle_) AddInteger(block, PropertyKey(prefix, "Style"), font_.Style);
  if (interCharSize_ != 0) AddInteger(block, PropertyKey(prefix, "InterCharSize"), interCharSize_);
  if (gradient_) gradient_->WriteProperties(block, PropertyKey(prefix, "Gradient."));
  if (outLine_) {
    TStreamedProperties pen;
    outLine_->WriteProperties(pen);
    AddPropertiesUnder(block, std::move(pen), PropertyKey(prefix, "OutLine."));
  }
  if (picture_) picture_->WriteProperties(block);
  if (shadow_) shadow_->WriteProperties(block, PropertyKey(prefix, "Shadow."));
}

void TChartFont::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  auto has = [&](const std::string& part) { return !PropertiesUnder(block, part).empty(); };
  // Parts are read into fresh objects first, so a damaged block changes nothing.
  const int32_t charset = PropertyInt32(block, PropertyKey(prefix, "Charset"), charset_);
  const TColor color = PropertyColor(block, PropertyKey(prefix, "Color"), font_.Color);
  const int32_t height = PropertyInt32(block, PropertyKey(prefix, "Height"), font_.Height);
  const std::string name = PropertyString(block, PropertyKey(prefix, "Name"), font_.Name);
  const int32_t style = PropertyInt32(block, PropertyKey(prefix, "Style"), font_.Style, 0, 15);
  const int32_t inter = PropertyInt32(block, PropertyKey(prefix, "InterCharSize"), interCharSize_);
  std::unique_ptr<TChartFontGradient> gradient;
  if (has(PropertyKey(prefix, "Gradient."))) {
    gradient = std::make_unique<TChartFontGradient>();
    gradient->ReadProperties(block, PropertyKey(prefix, "Gradient."));
  }
  std::unique_ptr<TChartHiddenPen> outLine;
  const TStreamedProperties pen = PropertiesUnder(block, PropertyKey(prefix, "OutLine."));
  if (!pen.empty()) {
    outLine = std::make_unique<TChartHiddenPen>();
    outLine->ReadProperties(pen);
  }
  std::unique_ptr<TChartShadow> shadow;
  if (has(PropertyKey(prefix, "Shadow."))) {
    shadow = std::make_unique<TChartShadow>();
    if (shadow_) shadow->Assign(*shadow_);
    shadow->ReadProperties(block, PropertyKey(prefix, "Shadow."));
  }
  if (FindProperty(block, "FilterItems") != nullptr) Picture().ReadProperties(block);
  charset_ = charset;
  font_.Color = color;
  font_.Height = height;
  font_.Name = name;
  font_.Style = static_cast<TFontStyles>(style);
  interCharSize_ = inter;
  if (gradient) Gradient().Assign(*gradient);
  if (outLine) OutLine().Assign(*outLine);
  if (shadow) Shadow().Assign(*shadow);
  Changed();
}

// ---------------------------------------------------- [SECTION] installation

namespace {

void CanvasGradientFill(TChartCanvas& canvas, const TRect& rect, TColor first, TColor second,
                        TGradientDirection direction, int32_t balance, int32_t radialX, int32_t radialY) {
  if (TCanvas* dc = canvas.GetHandle()) FillGradientRect(*dc, rect, first, second, direction, balance, radialX, radialY);
}

std::unique_ptr<IChartBlend> CreateCanvasBlend(TChartCanvas& canvas, const TRect& rect) {
  return std::make_unique<TChartBlend>(canvas, rect);
}

void BlurCanvasBitmap(TBitmap& bitmap, const TRect& rect, int32_t steps) {
  TBlurFilter blur;
  blur.Steps = steps;
  blur.Apply(bitmap, ClampFilterRect(TFilterRect{rect.Left, rect.Top, rect.Right - 1, rect.Bottom - 1}, bitmap));
}

}  // namespace

void InstallChartFills() {
  TChartCanvasRoutines& routines = ChartCanvasRoutines();
  routines.GradientFillRect = CanvasGradientFill;
  routines.CreateBlend = CreateCanvasBlend;
  routines.BlurBitmap = BlurCanvasBitmap;
}

}  // namespace qira

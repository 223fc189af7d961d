#include "platform/Canvas.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/Rounding.h"

namespace qira {

// Sections:
//   1. constants, patterns and regions
//   2. the layer: source pixels of one call, combined with the image
//   3. thin lines
//   4. the painter: figures, fills, strokes and text of one canvas
//   5. TCanvas: state and clipping
//   6. TCanvas: lines, shapes, pixels, images and text
//   7. TBitmap

// ---- 1. constants, patterns and regions ----

namespace {

constexpr int64_t kCoordLimit = int64_t{1} << 27;

int32_t ClampCoord(int64_t v) { return static_cast<int32_t>(std::clamp(v, -kCoordLimit, kCoordLimit)); }
TPoint ClampPoint(TPoint p) { return {ClampCoord(p.X), ClampCoord(p.Y)}; }

// Qt's aliased fill samples a pixel just short of its centre (at about x + 0.49) and
// leaves out a sample lying on an edge. Moving the canvas's figures by a little less
// than that maps the canvas's pixel centres onto the samples and settles every centre
// lying exactly on an edge as the platform does: inside a left or top edge, outside a
// right or bottom one.
constexpr double kToRaster = 0.5 - 1.0 / 32.0;

// Marks of the layer's alpha byte: 0 untouched, fill and pen pixels to combine.
constexpr uint32_t kAlphaMask = 0xFF000000u;
constexpr uint32_t kFillMark = 0xFF000000u;
constexpr uint32_t kPenMark = 0xFE000000u;

constexpr uint8_t kDash[] = {18, 6};
constexpr uint8_t kDot[] = {3, 3};
constexpr uint8_t kDashDot[] = {9, 6, 3, 6};
constexpr uint8_t kDashDotDot[] = {9, 3, 3, 3, 3, 3};

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }  // b > 0
int64_t Mod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

bool DashOn(std::span<const uint8_t> pattern, uint64_t step) {
  if (pattern.empty()) return true;
  unsigned total = 0;
  for (uint8_t len : pattern) total += len;
  uint64_t pos = step % total;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pos < pattern[i]) return i % 2 == 0;
    pos -= pattern[i];
  }
  return true;
}

// The pixels of a rectangle that is not empty.
QRect ToQRect(const TRect& r) {
  return QRect(QPoint(ClampCoord(r.Left), ClampCoord(r.Top)),
               QPoint(ClampCoord(int64_t{r.Right} - 1), ClampCoord(int64_t{r.Bottom} - 1)));
}

}  // namespace

std::span<const uint8_t> PenDashPattern(TPenStyle style) {
  switch (style) {
    case psDash: return kDash;
    case psDot: return kDot;
    case psDashDot: return kDashDot;
    case psDashDotDot: return kDashDotDot;
    default: return {};
  }
}

bool HatchPixel(TBrushStyle style, int32_t x, int32_t y) {
  const bool horizontal = Mod(y, 8) == 0;
  const bool vertical = Mod(x, 8) == 0;
  const bool forward = Mod(static_cast<int64_t>(x) - y, 8) == 0;  // "\" top-left to bottom-right
  const bool backward = Mod(static_cast<int64_t>(x) + y, 8) == 7;  // "/" bottom-left to top-right
  switch (style) {
    case bsHorizontal: return horizontal;
    case bsVertical: return vertical;
    case bsFDiagonal: return forward;
    case bsBDiagonal: return backward;
    case bsCross: return horizontal || vertical;
    case bsDiagCross: return forward || backward;
    case bsSolid: return true;
    default: return false;
  }
}

QRegion RectRegion(const TRect& r) { return r.IsEmpty() ? QRegion() : QRegion(ToQRect(r)); }

QRegion PolygonRegion(std::span<const TPoint> points) {
  QPolygon polygon;
  for (const TPoint& p : points) polygon << QPoint(ClampCoord(p.X), ClampCoord(p.Y));
  return QRegion(polygon, Qt::OddEvenFill);
}

QRegion EllipseRegion(const TRect& r) { return r.IsEmpty() ? QRegion() : QRegion(ToQRect(r), QRegion::Ellipse); }

// ---- 2. the layer ----

namespace {

// The source pixels one drawing call puts on the image, over a device rectangle:
// alpha 0 leaves the image pixel alone, kFillMark and kPenMark carry an RGB colour.
struct TLayer {
  QRect area;
  QImage pixels;

  explicit TLayer(const QRect& a) : area(a) {
    if (!area.isEmpty()) {
      pixels = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
      if (pixels.isNull()) area = QRect();  // too large to hold: draw nothing
      else pixels.fill(0);
    }
  }
  bool Empty() const { return area.isEmpty(); }
  uint32_t* At(int32_t x, int32_t y) {
    return reinterpret_cast<uint32_t*>(pixels.scanLine(y - area.top())) + (x - area.left());
  }
  bool Contains(int64_t x, int64_t y) const {
    return x >= area.left() && x <= area.right() && y >= area.top() && y <= area.bottom();
  }
  // An empty mask of the layer's size, for Qt to paint a figure into.
  QImage NewMask() const {
    QImage mask(area.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(0);
    return mask;
  }
};

// Aliased filling keeps a pixel only when its centre lies inside an outline, so
// a stroke thinner than a pixel (a hyphen, a minus sign, the stem of a small
// letter) can vanish. Such a pixel comes back when the smooth coverage peaks
// there across the stroke and no aliased pixel stands beside it in that direction.
void RestoreDropouts(QImage& aliased, const QImage& smooth) {
  const int w = aliased.width(), h = aliased.height();
  const auto on = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && (aliased.pixel(x, y) >> 24) >= 128;
  };
  const auto cover = [&](int x, int y) -> uint32_t {
    return x >= 0 && y >= 0 && x < w && y < h ? smooth.pixel(x, y) >> 24 : 0;
  };
  constexpr uint32_t kTrace = 64;  // a quarter of a pixel
  std::vector<QPoint> restored;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = cover(x, y);
      if (c < kTrace || on(x, y)) continue;
      const bool acrossRows = c >= cover(x, y - 1) && c > cover(x, y + 1) && !on(x, y - 1) && !on(x, y + 1);
      const bool acrossColumns = c >= cover(x - 1, y) && c > cover(x + 1, y) && !on(x - 1, y) && !on(x + 1, y);
      if (acrossRows || acrossColumns) restored.emplace_back(x, y);
    }
  }
  for (const QPoint& p : restored) aliased.setPixel(p, 0xFFFFFFFFu);
}

// A painter on a mask, aliased, in canvas coordinates.
void PrepareMaskPainter(QPainter& p, const QRect& area) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.translate(-area.left() + kToRaster, -area.top() + kToRaster);
}

}  // namespace

// ---- 3. thin lines ----

namespace {

// Calls plot(x, y, j) for the pixels j = 0 .. n − 1 of the line from a towards b, the
// pixel of b excluded (n = the larger of |dx| and |dy|), as far as they may fall
// inside area. Pixel j steps once along the major axis and moves on the minor axis
// when the ideal line has passed the middle between two pixels (Bresenham's rule).
template <typename Plot>
void TraceThinLine(TPoint a, TPoint b, const QRect& area, Plot&& plot) {
  const int64_t dx = std::abs(static_cast<int64_t>(b.X) - a.X);
  const int64_t dy = std::abs(static_cast<int64_t>(b.Y) - a.Y);
  const bool xMajor = dx >= dy;
  const int64_t dMajor = xMajor ? dx : dy;
  const int64_t dMinor = xMajor ? dy : dx;
  if (dMajor == 0) return;
  const int64_t m0 = xMajor ? a.X : a.Y;
  const int64_t n0 = xMajor ? a.Y : a.X;
  const int64_t sMajor = (xMajor ? b.X - a.X : b.Y - a.Y) >= 0 ? 1 : -1;
  const int64_t sMinor = (xMajor ? b.Y - a.Y : b.X - a.X) >= 0 ? 1 : -1;
  const int64_t majorLo = xMajor ? area.left() : area.top();
  const int64_t majorHi = xMajor ? area.right() : area.bottom();
  const int64_t minorLo = xMajor ? area.top() : area.left();
  const int64_t minorHi = xMajor ? area.bottom() : area.right();

  int64_t jLo = 0;
  int64_t jHi = dMajor - 1;
  // Along the major axis.
  if (sMajor > 0) {
    jLo = std::max(jLo, majorLo - m0);
    jHi = std::min(jHi, majorHi - m0);
  } else {
    jLo = std::max(jLo, m0 - majorHi);
    jHi = std::min(jHi, m0 - majorLo);
  }
  // Along the minor axis: offset k(j) ≈ j · dMinor / dMajor.
  const int64_t kLo = sMinor > 0 ? minorLo - n0 : n0 - minorHi;
  const int64_t kHi = sMinor > 0 ? minorHi - n0 : n0 - minorLo;
  if (kHi < 0) return;
  if (dMinor == 0) {
    if (kLo > 0) return;
  } else {
    jLo = std::max(jLo, FloorDiv(std::max<int64_t>(kLo, 0) * dMajor, dMinor) - 1);
    jHi = std::min(jHi, CeilDiv((kHi + 1) * dMajor, dMinor) + 1);
  }
  for (int64_t j = jLo; j <= jHi; ++j) {
    const int64_t k = CeilDiv(2 * dMinor * j - dMajor, 2 * dMajor);
    const int64_t major = m0 + sMajor * j;
    const int64_t minor = n0 + sMinor * k;
    if (xMajor) plot(major, minor, j);
    else plot(minor, major, j);
  }
}

int64_t LineSteps(TPoint a, TPoint b) {
  return std::max(std::abs(static_cast<int64_t>(b.X) - a.X), std::abs(static_cast<int64_t>(b.Y) - a.Y));
}

// The pixel chain of an ellipse through pixel centres, centre (cx, cy), radii rx, ry:
// each point one step from the last, no corner pixel that a diagonal step can skip.
std::vector<TPoint> EllipseChain(double cx, double cy, double rx, double ry) {
  const double r = std::max(rx, ry);
  const int count = std::clamp(SaturateCast<int>(std::ceil(4.0 * std::numbers::pi * r)), 8, 1 << 16);
  std::vector<TPoint> raw;
  raw.reserve(count);
  for (int i = 0; i < count; ++i) {
    const double t = 2.0 * std::numbers::pi * i / count;
    const TPoint p{RoundToInt(cx + rx * std::cos(t)), RoundToInt(cy + ry * std::sin(t))};
    if (raw.empty() || !(raw.back() == p)) raw.push_back(p);
  }
  while (raw.size() > 1 && raw.back() == raw.front()) raw.pop_back();
  if (raw.size() < 3) return raw;
  auto adjacent = [](TPoint a, TPoint b) { return std::abs(a.X - b.X) <= 1 && std::abs(a.Y - b.Y) <= 1; };
  std::vector<TPoint> chain;
  chain.reserve(raw.size());
  const size_t n = raw.size();
  for (size_t i = 0; i < n; ++i) {
    const TPoint prev = chain.empty() ? raw[n - 1] : chain.back();
    const TPoint next = raw[(i + 1) % n];
    if (adjacent(prev, next) && !(prev == next) && chain.size() + (n - i) > 3) continue;
    chain.push_back(raw[i]);
  }
  return chain;
}

}  // namespace

// ---- 4. the painter ----

// One drawing call of a canvas: builds the layer of a figure and combines it.
class TCanvasPainter {
 public:
  explicit TCanvasPainter(TCanvas& canvas) : c_(canvas), s_(canvas.state_) {}

  // The part of the image that drawing may change.
  QRect Visible() const {
    if (!c_.image_ || c_.image_->isNull()) return QRect();
    QRect r = c_.image_->rect();
    if (s_.clip) r &= s_.clip->boundingRect();
    return r;
  }

  bool PenVisible() const { return s_.pen.Style != psClear; }
  bool PenWide() const { return s_.pen.Width > 1; }
  int32_t PenWidth() const { return std::clamp<int32_t>(s_.pen.Width, 1, 1 << 16); }
  bool BrushPattern() const { return s_.brushPattern && !s_.brushPattern->isNull(); }
  bool BrushVisible() const { return s_.brush.Style != bsClear || BrushPattern(); }
  bool BrushSolid() const { return s_.brush.Style == bsSolid && !BrushPattern(); }

  // The colour a brush gives the device pixel (x, y), or 0 when it leaves it alone.
  uint32_t BrushPixel(int32_t x, int32_t y) const {
    if (BrushPattern()) {
      const QImage& p = *s_.brushPattern;
      return 0xFF000000u | p.pixel(static_cast<int>(Mod(x, p.width())), static_cast<int>(Mod(y, p.height())));
    }
    if (s_.brush.Style == bsSolid || HatchPixel(s_.brush.Style, x, y)) return ColorToPixel(s_.brush.Color);
    return s_.bkMode == bkOpaque ? ColorToPixel(s_.bkColor) : 0;
  }

  // A figure in canvas coordinates: the brush area, the area a wide pen covers and
  // the thin pen's vertices.
  struct TFigure {
    QPainterPath fill;
    std::vector<QPainterPath> wideStroke;  // the union of these areas
    std::vector<TPoint> outline;
    bool closed = false;
    uint64_t phase = 0;  // dash pattern position of the thin outline's first pixel
    // Further thin outlines of the same call (polygon sets, stroked paths).
    std::vector<std::pair<std::vector<TPoint>, bool>> moreOutlines;
  };

  // The dash pattern of the thin pen: the style's, or the dots of SetPenDots.
  std::span<const uint8_t> DashPattern() {
    if (s_.penDotGap < 1) return PenDashPattern(s_.pen.Style);
    dots_[0] = 1;
    dots_[1] = static_cast<uint8_t>(s_.penDotGap);
    return dots_;
  }

  void DrawFigure(const TFigure& f, bool withFill) {
    const bool pen = PenVisible();
    const bool fill = withFill && BrushVisible() && !f.fill.isEmpty();
    if (!pen && !fill) return;
    if (!fill && !PenWide()) {
      DrawThinOutline(f.outline, f.closed, f.phase);
      for (const auto& [points, closed] : f.moreOutlines) DrawThinOutline(points, closed, 0);
      return;
    }

    QRectF bounds;
    if (fill) bounds = f.fill.boundingRect();
    if (pen && PenWide())
      for (const QPainterPath& part : f.wideStroke) bounds |= part.boundingRect();
    if (pen && !PenWide()) {
      for (const TPoint& p : f.outline) bounds |= QRectF(p.X, p.Y, 1, 1);
      for (const auto& more : f.moreOutlines)
        for (const TPoint& p : more.first) bounds |= QRectF(p.X, p.Y, 1, 1);
    }
    const QRect wanted = bounds.toAlignedRect().adjusted(-2, -2, 2, 2);
    TLayer layer(wanted & Visible());
    if (layer.Empty()) return;

    if (fill) PaintFill(layer, f.fill);
    if (pen && PenWide()) PaintWideStroke(layer, f.wideStroke);
    if (pen && !PenWide()) {
      PaintThinOutline(layer, f.outline, f.closed, f.phase);
      for (const auto& [points, closed] : f.moreOutlines) PaintThinOutline(layer, points, closed, 0);
    }
    Combine(layer, c_.ROP2());
  }

  void PaintFill(TLayer& layer, const QPainterPath& path) {
    const bool solid = BrushSolid();
    {
      // An opaque Qt pixel is a fill mark with its colour; a hatch is resolved below.
      QPainter p(&layer.pixels);
      PrepareMaskPainter(p, layer.area);
      p.fillPath(path, QColor::fromRgb(solid ? ColorToPixel(s_.brush.Color) : 0xFFFFFFFFu));
    }
    if (solid) return;
    for (int32_t y = layer.area.top(); y <= layer.area.bottom(); ++y) {
      uint32_t* row = layer.At(layer.area.left(), y);
      for (int32_t x = layer.area.left(); x <= layer.area.right(); ++x, ++row) {
        if ((*row & kAlphaMask) != kFillMark) continue;
        const uint32_t colour = BrushPixel(x, y);
        *row = colour ? ((colour & 0xFFFFFFu) | kFillMark) : 0;
      }
    }
  }

  void PaintWideStroke(TLayer& layer, const std::vector<QPainterPath>& parts) {
    QImage mask = layer.NewMask();
    {
      QPainter p(&mask);
      PrepareMaskPainter(p, layer.area);
      for (const QPainterPath& part : parts) p.fillPath(part, QColor(255, 255, 255));
    }
    const uint32_t colour = (ColorToPixel(s_.pen.Color) & 0xFFFFFFu) | kPenMark;
    for (int32_t y = 0; y < layer.area.height(); ++y) {
      const uint32_t* m = reinterpret_cast<const uint32_t*>(mask.constScanLine(y));
      uint32_t* row = reinterpret_cast<uint32_t*>(layer.pixels.scanLine(y));
      for (int32_t x = 0; x < layer.area.width(); ++x)
        if (m[x] & kAlphaMask) row[x] = colour;
    }
  }

  // Visits the pixels of a thin outline inside area: visit(x, y, on) with on telling a
  // pattern's dash from its gap.
  template <typename Visit>
  void TraceThinOutline(const std::vector<TPoint>& points, bool closed, uint64_t phase, const QRect& area,
                        Visit&& visit) {
    const auto pattern = DashPattern();
    const size_t segments = points.size() < 2 ? 0 : (closed ? points.size() : points.size() - 1);
    // A closed figure shrunk to one point is that pixel.
    bool dot = closed && !points.empty();
    for (size_t i = 0; i < segments; ++i) dot = dot && points[i] == points[(i + 1) % points.size()];
    if (dot && area.contains(points[0].X, points[0].Y)) visit(points[0].X, points[0].Y, DashOn(pattern, phase));
    for (size_t i = 0; i < segments; ++i) {
      const TPoint a = points[i];
      const TPoint b = points[(i + 1) % points.size()];
      TraceThinLine(a, b, area, [&](int64_t x, int64_t y, int64_t j) {
        if (x < area.left() || x > area.right() || y < area.top() || y > area.bottom()) return;
        visit(static_cast<int32_t>(x), static_cast<int32_t>(y), DashOn(pattern, phase + static_cast<uint64_t>(j)));
      });
      phase += static_cast<uint64_t>(LineSteps(a, b));
    }
  }

  void PaintThinOutline(TLayer& layer, const std::vector<TPoint>& points, bool closed, uint64_t phase) {
    const uint32_t on = (ColorToPixel(s_.pen.Color) & 0xFFFFFFu) | kPenMark;
    const uint32_t gap = s_.bkMode == bkOpaque ? ((ColorToPixel(s_.bkColor) & 0xFFFFFFu) | kPenMark) : 0;
    TraceThinOutline(points, closed, phase, layer.area, [&](int32_t x, int32_t y, bool dash) {
      uint32_t* px = layer.At(x, y);
      if (dash) *px = on;
      else if (gap) *px = gap;
      else if ((*px & kAlphaMask) == kFillMark) *px = 0;  // the outline's gaps are not inside the fill
    });
  }

  // A thin outline without a fill goes straight to the image, pixel by pixel.
  void DrawThinOutline(const std::vector<TPoint>& points, bool closed, uint64_t phase) {
    const QRect area = Visible();
    if (area.isEmpty()) return;
    const QRegion* clip = s_.clip && s_.clip->rectCount() > 1 ? &*s_.clip : nullptr;
    const int rop2 = c_.ROP2();
    const uint32_t on = ColorToPixel(s_.pen.Color);
    const bool gapPainted = s_.bkMode == bkOpaque;
    const uint32_t gap = ColorToPixel(s_.bkColor);
    QImage& image = *c_.image_;
    TraceThinOutline(points, closed, phase, area, [&](int32_t x, int32_t y, bool dash) {
      if (!dash && !gapPainted) return;
      if (clip && !clip->contains(QPoint(x, y))) return;
      uint32_t& px = reinterpret_cast<uint32_t*>(image.scanLine(y))[x];
      px = ApplyRop2(rop2, dash ? on : gap, px);
    });
  }

  // Combines the layer's marked pixels with the image through rop2, inside the clip.
  void Combine(TLayer& layer, int rop2) {
    const QRegion region = s_.clip ? (*s_.clip & layer.area) : QRegion(layer.area);
    QImage& image = *c_.image_;
    for (const QRect& r : region) {
      for (int32_t y = r.top(); y <= r.bottom(); ++y) {
        const uint32_t* src = layer.At(r.left(), y);
        uint32_t* dst = reinterpret_cast<uint32_t*>(image.scanLine(y)) + r.left();
        for (int32_t x = 0; x < r.width(); ++x) {
          const uint32_t a = src[x] & kAlphaMask;
          if (a != kFillMark && a != kPenMark) continue;
          dst[x] = rop2 == R2_COPYPEN ? (src[x] | 0xFF000000u) : ApplyRop2(rop2, src[x], dst[x]);
        }
      }
    }
  }

  // Fills a rectangle with the brush, or frames it, copying.
  void BrushRect(const TRect& r, bool frameOnly) {
    if (!BrushVisible() || r.IsEmpty()) return;
    if (!frameOnly && BrushSolid()) {  // the common case, straight into the image
      const QRect area = ToQRect(r) & Visible();
      if (area.isEmpty()) return;
      const uint32_t colour = ColorToPixel(s_.brush.Color);
      const QRegion region = s_.clip ? (*s_.clip & area) : QRegion(area);
      for (const QRect& part : region)
        for (int32_t y = part.top(); y <= part.bottom(); ++y)
          std::fill_n(reinterpret_cast<uint32_t*>(c_.image_->scanLine(y)) + part.left(), part.width(), colour);
      return;
    }
    TLayer layer(ToQRect(r) & Visible());
    if (layer.Empty()) return;
    for (int32_t y = layer.area.top(); y <= layer.area.bottom(); ++y) {
      uint32_t* row = layer.At(layer.area.left(), y);
      for (int32_t x = layer.area.left(); x <= layer.area.right(); ++x, ++row) {
        const bool edge = x == r.Left || x == r.Right - 1 || y == r.Top || y == r.Bottom - 1;
        if (frameOnly && !edge) continue;
        const uint32_t colour = BrushPixel(x, y);
        if (colour) *row = (colour & 0xFFFFFFu) | kFillMark;
      }
    }
    Combine(layer, R2_COPYPEN);
  }

  void Text(int32_t x, int32_t y, std::string_view text);

 private:
  TCanvas& c_;
  TCanvas::TState& s_;
  uint8_t dots_[2] = {1, 1};
};

namespace {

// The layout of a text with extra pixels after every character.
TLoadedFont::TLayout SpacedLayout(const TLoadedFont& font, const QString& text, int32_t extra) {
  TLoadedFont::TLayout layout = font.Layout(text);
  if (extra != 0) {
    for (qsizetype i = 0; i < layout.Positions.size(); ++i) layout.Positions[i].rx() += double(i) * extra;
    layout.Width = SaturateCast<int32_t>(double(layout.Width) + double(extra) * layout.Glyphs.size());
  }
  return layout;
}

}  // namespace

void TCanvasPainter::Text(int32_t x, int32_t y, std::string_view text) {
  if (text.empty()) return;
  const auto font = TLoadedFont::Load(s_.font);
  const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const TLoadedFont::TLayout layout = SpacedLayout(*font, string, s_.charExtra);
  if (layout.Glyphs.isEmpty()) return;
  const int32_t ascent = font->Ascent();
  const int32_t descent = font->Descent();
  const int32_t width = layout.Width;
  const int32_t height = ascent + descent;

  const uint32_t horizontal = s_.textAlign & TA_CENTER;
  const int32_t dx = horizontal == TA_CENTER ? -(width / 2) : horizontal == TA_RIGHT ? -width : 0;
  const uint32_t vertical = s_.textAlign & TA_BASELINE;
  const int32_t baseline = vertical == TA_BASELINE ? 0 : vertical == TA_BOTTOM ? -descent : ascent;

  // Local frame: origin at the reference point, x along the base line. Qt's y axis
  // points down, so a counter-clockwise escapement is a negative Qt angle.
  QTransform frame;
  frame.translate(x, y);
  frame.rotate(-s_.font.Escapement / 10.0);
  const QRectF cell(dx, baseline - ascent, width, height);
  if (s_.pathOpen) {
    // Into the path: the glyph outlines, moved from pixel corners to pixel centres.
    QPainterPath outlines;
    for (qsizetype i = 0; i < layout.Glyphs.size(); ++i)
      outlines.addPath(font->GlyphPath(layout.Glyphs[i]).translated(QPointF(dx, baseline) + layout.Positions[i]));
    c_.AddToPath(frame.map(outlines).translated(-0.5, -0.5), true);
    return;
  }
  const double slack = height + 2.0;
  const QRect wanted = frame.mapRect(cell.adjusted(-slack, -slack, slack, slack)).toAlignedRect();
  TLayer layer(wanted & Visible());
  if (layer.Empty()) return;

  const bool antialiased = s_.font.Quality == ANTIALIASED_QUALITY;
  // Glyph coverage, white on transparent: the outlines filled, aliased unless the
  // font asks for antialiasing.
  QPainterPath glyphs;
  for (qsizetype i = 0; i < layout.Glyphs.size(); ++i) {
    const QPointF origin = QPointF(dx, baseline) + layout.Positions[i];
    const QPainterPath outline = font->GlyphPath(layout.Glyphs[i]).translated(origin);
    glyphs.addPath(outline);
    if (font->SyntheticBold()) glyphs.addPath(outline.translated(1, 0));
  }
  glyphs.setFillRule(Qt::WindingFill);
  const auto fillCoverage = [&](QImage& mask, bool smooth) {
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.translate(-layer.area.left(), -layer.area.top());
    p.setTransform(frame, true);
    p.fillPath(glyphs, Qt::white);
    const double thickness = font->LineThickness();
    if (s_.font.Style & fsUnderline)
      p.fillRect(QRectF(dx, baseline + std::round(font->UnderlinePosition()), width, thickness), Qt::white);
    if (s_.font.Style & fsStrikeOut)
      p.fillRect(QRectF(dx, baseline - std::round(font->StrikeOutPosition()), width, thickness), Qt::white);
  };
  QImage coverage = layer.NewMask();
  fillCoverage(coverage, antialiased);
  if (!antialiased) {
    QImage smooth = layer.NewMask();
    fillCoverage(smooth, true);
    RestoreDropouts(coverage, smooth);
  }
  // The text cell, for an opaque background.
  const bool opaque = s_.bkMode == bkOpaque;
  if (opaque) {
    QPainter p(&layer.pixels);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.translate(-layer.area.left(), -layer.area.top());
    p.setTransform(frame, true);
    p.fillRect(cell, Qt::white);
  }

  const uint32_t ink = ColorToPixel(s_.font.Color);
  const uint32_t background = ColorToPixel(s_.bkColor);
  const QRegion region = s_.clip ? (*s_.clip & layer.area) : QRegion(layer.area);
  QImage& image = *c_.image_;
  for (const QRect& r : region) {
    for (int32_t yy = r.top(); yy <= r.bottom(); ++yy) {
      const uint32_t* inCell = layer.At(r.left(), yy);
      const uint32_t* cover = reinterpret_cast<const uint32_t*>(coverage.constScanLine(yy - layer.area.top())) +
                              (r.left() - layer.area.left());
      uint32_t* dst = reinterpret_cast<uint32_t*>(image.scanLine(yy)) + r.left();
      for (int32_t xx = 0; xx < r.width(); ++xx) {
        const uint32_t a = cover[xx] >> 24;
        const uint32_t base = (inCell[xx] & kAlphaMask) ? background : (dst[xx] | 0xFF000000u);
        if (!antialiased) {
          if (a >= 128) dst[xx] = ink;
          else if (inCell[xx] & kAlphaMask) dst[xx] = background;
          continue;
        }
        if (a == 0 && !(inCell[xx] & kAlphaMask)) continue;
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
          const uint32_t f = (ink >> shift) & 0xFF;
          const uint32_t b = (base >> shift) & 0xFF;
          out |= ((f * a + b * (255 - a) + 127) / 255) << shift;
        }
        dst[xx] = out;
      }
    }
  }
}

// ---- 5. TCanvas: state and clipping ----

TCanvas::TCanvas(QImage* image) : image_(image) {
  if (image_ && !image_->isNull() && image_->format() != QImage::Format_RGB32 &&
      image_->format() != QImage::Format_ARGB32)
    *image_ = image_->convertToFormat(QImage::Format_RGB32);
}

int32_t TCanvas::Width() const { return image_ ? image_->width() : 0; }
int32_t TCanvas::Height() const { return image_ ? image_->height() : 0; }

void TCanvas::SetBrush(const TBrush& brush) {
  state_.brushPattern.reset();
  state_.brush = brush;
  state_.brush.Color &= 0xFFFFFF;
  state_.bkColor = state_.brush.Color;
  state_.bkMode = brush.Style == bsSolid ? bkOpaque : bkTransparent;
}
void TCanvas::SetBrushColor(TColor c) { SetBrush({c, state_.brush.Style}); }
void TCanvas::SetBrushPattern(std::shared_ptr<const QImage> pattern) { state_.brushPattern = std::move(pattern); }
void TCanvas::SetBrushStyle(TBrushStyle s) { SetBrush({state_.brush.Color, s}); }

int TCanvas::SaveDC() {
  saved_.push_back(state_);
  return static_cast<int>(saved_.size());
}

bool TCanvas::RestoreDC(int level) {
  const int64_t depth = static_cast<int64_t>(saved_.size());
  const int64_t target = level < 0 ? depth + level + 1 : level;
  if (level == 0 || target < 1 || target > depth) return false;
  state_ = saved_[static_cast<size_t>(target - 1)];
  saved_.resize(static_cast<size_t>(target - 1));
  return true;
}

void TCanvas::IntersectClipRect(const TRect& r) { CombineClipRegion(RectRegion(r), RGN_AND); }
void TCanvas::ExcludeClipRect(const TRect& r) { CombineClipRegion(RectRegion(r), RGN_DIFF); }

void TCanvas::CombineClipRegion(const QRegion& region, TRegionMode mode) {
  const QRegion base = state_.clip ? *state_.clip : QRegion(image_ ? image_->rect() : QRect());
  switch (mode) {
    case RGN_AND: state_.clip = base & region; break;
    case RGN_OR: state_.clip = base | region; break;
    case RGN_XOR: state_.clip = base ^ region; break;
    case RGN_DIFF: state_.clip = base - region; break;
    case RGN_COPY: state_.clip = region; break;
  }
}

// ---- 6. TCanvas: lines, shapes, pixels, images and text ----

namespace {

// The area a wide pen of width w covers along a polyline, as parts whose union it is:
// a disc at each vertex and a band along each segment (round caps and joins).
std::vector<QPainterPath> WideLineArea(const std::vector<TPoint>& points, bool closed, double w,
                                       TPenCap cap = TPenCap::Round, TPenJoin join = TPenJoin::Round) {
  std::vector<QPainterPath> parts;
  const double r = w / 2;
  const auto disc = [&](const TPoint& p) {
    QPainterPath path;
    path.addEllipse(QPointF(p.X, p.Y), r, r);
    parts.push_back(std::move(path));
  };
  const auto polygon = [&](const QPolygonF& corners) {
    QPainterPath path;
    path.addPolygon(corners);
    path.closeSubpath();
    parts.push_back(std::move(path));
  };
  const size_t count = points.size();
  const size_t segments = count < 2 ? 0 : (closed ? count : count - 1);
  // The unit normal of segment i scaled to r; nullopt for a segment without length.
  const auto normal = [&points, count, r](size_t i) -> std::optional<QPointF> {
    const QPointF d(double(points[(i + 1) % count].X) - points[i].X, double(points[(i + 1) % count].Y) - points[i].Y);
    const double length = std::hypot(d.x(), d.y());
    if (length == 0) return std::nullopt;
    return QPointF(-d.y() / length * r, d.x() / length * r);
  };
  bool anyLength = false;
  for (size_t i = 0; i < segments; ++i) {
    const auto n = normal(i);
    if (!n) continue;
    anyLength = true;
    QPointF a(points[i].X, points[i].Y);
    QPointF b(points[(i + 1) % count].X, points[(i + 1) % count].Y);
    if (cap == TPenCap::Square && !closed) {
      const QPointF along(n->y(), -n->x());  // r along the segment
      if (i == 0) a -= along;
      if (i + 1 == segments) b += along;
    }
    polygon(QPolygonF() << a + *n << b + *n << b - *n << a - *n);
  }
  // A figure without length (a dot) is a disc whatever the ends.
  if (!anyLength) {
    if (count > 0) disc(points[0]);
    return parts;
  }
  for (size_t v = 0; v < count; ++v) {
    const bool end = !closed && (v == 0 || v + 1 == count);
    if (end) {
      if (cap == TPenCap::Round) disc(points[v]);
      continue;
    }
    const auto n1 = normal((v + count - 1) % count), n2 = normal(v);
    if (join == TPenJoin::Round || !n1 || !n2) {
      disc(points[v]);
      continue;
    }
    const QPointF p(points[v].X, points[v].Y);
    for (const double side : {1.0, -1.0}) {
      const QPointF a = *n1 * side, b = *n2 * side;
      const QPointF u = a + b;
      const double along = QPointF::dotProduct(u, a);
      const QPointF mitre = along > 0 ? u * (r * r / along) : QPointF();
      if (join == TPenJoin::Miter && along > 0 && std::hypot(mitre.x(), mitre.y()) <= 10 * r)
        polygon(QPolygonF() << p << p + a << p + mitre << p + b);
      else
        polygon(QPolygonF() << p << p + a << p + b);
    }
  }
  return parts;
}

}  // namespace

namespace {

QPolygonF ToPolygonF(std::span<const TPoint> points) {
  QPolygonF polygon;
  for (const TPoint& p : points) polygon << QPointF(p.X, p.Y);
  return polygon;
}

QPainterPath ClosedPath(std::span<const TPoint> points) {
  QPainterPath path;
  path.addPolygon(ToPolygonF(points));
  path.closeSubpath();
  return path;
}

}  // namespace

void TCanvas::MoveTo(int32_t x, int32_t y) {
  state_.penPos = ClampPoint({x, y});
  dashPhase_ = 0;
  if (state_.pathOpen) {
    if (!state_.path) state_.path.emplace();
    state_.path->moveTo(state_.penPos.X, state_.penPos.Y);
  }
}

void TCanvas::LineTo(int32_t x, int32_t y) {
  const TPoint from = state_.penPos;
  const TPoint to = ClampPoint({x, y});
  if (state_.pathOpen) {
    if (!state_.path) state_.path.emplace();
    if (state_.path->elementCount() == 0 || state_.path->currentPosition() != QPointF(from.X, from.Y))
      state_.path->moveTo(from.X, from.Y);
    state_.path->lineTo(to.X, to.Y);
    state_.penPos = to;
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  f.outline = {from, to};
  f.phase = dashPhase_;
  if (painter.PenWide()) f.wideStroke = WideLineArea(f.outline, false, painter.PenWidth(), state_.penCap, state_.penJoin);
  painter.DrawFigure(f, false);
  dashPhase_ += static_cast<uint64_t>(LineSteps(from, to));
  state_.penPos = to;
}

void TCanvas::Polyline(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  if (state_.pathOpen) {
    QPainterPath figure;
    figure.addPolygon(ToPolygonF(points));
    AddToPath(figure);
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  for (const TPoint& p : points) f.outline.push_back(ClampPoint(p));
  if (painter.PenWide()) f.wideStroke = WideLineArea(f.outline, false, painter.PenWidth(), state_.penCap, state_.penJoin);
  painter.DrawFigure(f, false);
}

void TCanvas::Polygon(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  if (state_.pathOpen) {
    AddToPath(ClosedPath(points));
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  QPolygonF polygon;
  for (const TPoint& raw : points) {
    const TPoint p = ClampPoint(raw);
    f.outline.push_back(p);
    polygon << QPointF(p.X, p.Y);
  }
  f.closed = true;
  f.fill.addPolygon(polygon);
  f.fill.closeSubpath();
  f.fill.setFillRule(Qt::OddEvenFill);
  if (painter.PenWide()) f.wideStroke = WideLineArea(f.outline, true, painter.PenWidth(), state_.penCap, state_.penJoin);
  painter.DrawFigure(f, true);
}

namespace {

// The figure of a Rectangle or Ellipse call in canvas coordinates.
struct TBoxFigure {
  QRectF centres;  // through the centres of the outermost pixels: (l, t) to (r − 1, b − 1)
  QRectF outer;    // the wide pen's outer edge
  QRectF inner;    // the wide pen's inner edge; empty when the pen covers the whole figure
};

// nullopt when the rectangle is empty. A wide pen's band is centred on the figure,
// or lies just inside the rectangle for psInsideFrame.
std::optional<TBoxFigure> BoxFigure(int32_t left, int32_t top, int32_t right, int32_t bottom, const TPen& pen) {
  int64_t l = ClampCoord(left), t = ClampCoord(top), r = ClampCoord(right), b = ClampCoord(bottom);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (r == l || b == t) return std::nullopt;
  TBoxFigure f;
  f.centres = QRectF(QPointF(static_cast<double>(l), static_cast<double>(t)),
                     QPointF(static_cast<double>(r - 1), static_cast<double>(b - 1)));
  const double w = std::clamp<int32_t>(pen.Width, 1, 1 << 16);
  f.outer = pen.Style == psInsideFrame ? f.centres.adjusted(-0.5, -0.5, 0.5, 0.5)
                                       : f.centres.adjusted(-w / 2, -w / 2, w / 2, w / 2);
  f.inner = f.outer.adjusted(w, w, -w, -w);
  if (f.inner.width() <= 0 || f.inner.height() <= 0) f.inner = QRectF();
  return f;
}

// A wide pen's band between the box's outer and inner shapes, and the fill inside it;
// addShape(path, rect) adds one shape (rectangle or ellipse) to a path.
template <class AddShape>
void AddWideBand(const TBoxFigure& box, TCanvasPainter::TFigure& f, AddShape addShape) {
  QPainterPath band;
  addShape(band, box.outer);
  if (!box.inner.isNull()) {
    addShape(band, box.inner);
    addShape(f.fill, box.inner);
  }
  band.setFillRule(Qt::OddEvenFill);
  f.wideStroke.push_back(std::move(band));
}

}  // namespace

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const auto box = BoxFigure(left, top, right, bottom, state_.pen);
  if (!box) return;
  if (state_.pathOpen) {
    QPainterPath figure;
    figure.addRect(box->centres);
    AddToPath(figure);
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  if (painter.PenVisible() && painter.PenWide()) {
    // Square corners: the band between two rectangles.
    AddWideBand(*box, f, [](QPainterPath& path, const QRectF& r) { path.addRect(r); });
  } else {
    f.fill.addRect(box->centres);
    const int32_t l = RoundToInt(box->centres.left()), t = RoundToInt(box->centres.top());
    const int32_t r = RoundToInt(box->centres.right()), b = RoundToInt(box->centres.bottom());
    f.outline = {{l, t}, {r, t}, {r, b}, {l, b}};
    f.closed = true;
  }
  painter.DrawFigure(f, true);
}

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const auto box = BoxFigure(left, top, right, bottom, state_.pen);
  if (!box) return;
  if (state_.pathOpen) {
    const QRectF& c = box->centres;
    AddToPath(ClosedPath(EllipseChain(c.center().x(), c.center().y(), c.width() / 2, c.height() / 2)));
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  if (painter.PenVisible() && painter.PenWide()) {
    // The band between two ellipses: close to the true offset curve at the widths
    // pens have, and exact where the pen covers the whole figure.
    AddWideBand(*box, f, [](QPainterPath& path, const QRectF& r) { path.addEllipse(r); });
  } else {
    const QRectF& c = box->centres;
    f.outline = EllipseChain(c.center().x(), c.center().y(), c.width() / 2, c.height() / 2);
    f.closed = true;
    QPolygonF polygon;
    for (const TPoint& p : f.outline) polygon << QPointF(p.X, p.Y);
    f.fill.addPolygon(polygon);
    f.fill.closeSubpath();
  }
  painter.DrawFigure(f, true);
}

// ---- 6a. arcs, round rectangles, polygon sets ----

namespace {

enum TArcKind { kArc, kPie, kChord };

// The pixel chain of an arc on the ellipse of box centres c, counter-clockwise on the
// screen from the ray through a to the ray through b (equal rays: the whole ellipse).
std::vector<TPoint> ArcChain(const QRectF& c, TPoint a, TPoint b) {
  const double cx = c.center().x(), cy = c.center().y();
  const std::vector<TPoint> chain = EllipseChain(cx, cy, c.width() / 2, c.height() / 2);
  const auto angle = [&](double x, double y) {
    if (x == cx && y == cy) return 0.0;
    return std::atan2(-(y - cy), x - cx);  // counter-clockwise on the screen
  };
  const double twoPi = 2 * std::numbers::pi;
  const double start = angle(a.X, a.Y);
  double sweep = std::fmod(angle(b.X, b.Y) - start + 2 * twoPi, twoPi);
  if (sweep <= 0) sweep = twoPi;
  std::vector<std::pair<double, TPoint>> picked;
  for (const TPoint& p : chain) {
    const double d = std::fmod(angle(p.X, p.Y) - start + 2 * twoPi, twoPi);
    if (d <= sweep) picked.emplace_back(d, p);
  }
  std::stable_sort(picked.begin(), picked.end(), [](const auto& l, const auto& r) { return l.first < r.first; });
  std::vector<TPoint> out;
  out.reserve(picked.size());
  for (const auto& [d, p] : picked) out.push_back(p);
  return out;
}

// The outline of a RoundRect through the pixel centres of the box (l, t)..(r − 1, b − 1).
std::vector<TPoint> RoundRectChain(int64_t l, int64_t t, int64_t r, int64_t b, int64_t w, int64_t h) {
  w = std::min(std::abs(w), r - l);
  h = std::min(std::abs(h), b - t);
  if (w < 2 || h < 2) {
    const int32_t L = static_cast<int32_t>(l), T = static_cast<int32_t>(t);
    const int32_t R = static_cast<int32_t>(r - 1), B = static_cast<int32_t>(b - 1);
    return {{L, T}, {R, T}, {R, B}, {L, B}};
  }
  const double rx = (w - 1) / 2.0, ry = (h - 1) / 2.0;
  const double cx = l + rx, cy = t + ry;
  const int64_t shiftX = (r - l) - w, shiftY = (b - t) - h;
  std::vector<TPoint> out;
  for (const TPoint& p : EllipseChain(cx, cy, rx, ry)) {
    const TPoint q{ClampCoord(p.X + (p.X > cx ? shiftX : 0)), ClampCoord(p.Y + (p.Y > cy ? shiftY : 0))};
    if (out.empty() || !(out.back() == q)) out.push_back(q);
  }
  return out;
}

}  // namespace

QRegion RoundRectRegion(const TRect& r, int32_t cornerWidth, int32_t cornerHeight) {
  if (r.IsEmpty()) return QRegion();
  const std::vector<TPoint> chain = RoundRectChain(ClampCoord(r.Left), ClampCoord(r.Top), ClampCoord(r.Right),
                                                   ClampCoord(r.Bottom), cornerWidth, cornerHeight);
  QPainterPath path = ClosedPath(chain);
  path.setFillRule(Qt::OddEvenFill);
  return PathRegion(path, ToQRect(r));
}

QRegion PathRegion(const QPainterPath& path, const QRect& within) {
  const QRect area = path.boundingRect().toAlignedRect().adjusted(-2, -2, 2, 2) & within;
  if (area.isEmpty()) return QRegion();
  QImage mask(area.size(), QImage::Format_ARGB32_Premultiplied);
  if (mask.isNull()) return QRegion();
  mask.fill(0);
  {
    QPainter p(&mask);
    PrepareMaskPainter(p, area);
    p.fillPath(path, Qt::white);
  }
  std::vector<QRect> runs;
  for (int y = 0; y < area.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(mask.constScanLine(y));
    for (int x = 0; x < area.width();) {
      if (!(row[x] & kAlphaMask)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < area.width() && (row[x] & kAlphaMask)) ++x;
      runs.emplace_back(area.left() + start, area.top() + y, x - start, 1);
    }
  }
  QRegion region;
  if (!runs.empty()) region.setRects(runs.data(), static_cast<int>(runs.size()));
  return region;
}

void TCanvas::ArcFigure(int kind, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3,
                        int32_t x4, int32_t y4) {
  const auto box = BoxFigure(left, top, right, bottom, state_.pen);
  if (!box) return;
  std::vector<TPoint> arc = ArcChain(box->centres, ClampPoint({x3, y3}), ClampPoint({x4, y4}));
  if (arc.empty()) return;
  const TPoint centre{RoundToInt(box->centres.center().x()), RoundToInt(box->centres.center().y())};
  std::vector<TPoint> outline;
  if (kind == kPie) outline.push_back(centre);
  outline.insert(outline.end(), arc.begin(), arc.end());
  if (state_.pathOpen) {
    if (kind == kArc) {
      QPainterPath figure;
      figure.addPolygon(ToPolygonF(outline));
      AddToPath(figure);
    } else {
      AddToPath(ClosedPath(outline));
    }
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  f.outline = outline;
  f.closed = kind != kArc;
  if (kind == kArc) f.moreOutlines.push_back({{arc.back()}, true});  // the end pixel
  else f.fill = ClosedPath(outline);
  if (painter.PenWide()) f.wideStroke = WideLineArea(f.outline, f.closed, painter.PenWidth(), state_.penCap, state_.penJoin);
  painter.DrawFigure(f, kind != kArc);
}

void TCanvas::Arc(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4,
                  int32_t y4) {
  ArcFigure(kArc, left, top, right, bottom, x3, y3, x4, y4);
}
void TCanvas::Pie(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4,
                  int32_t y4) {
  ArcFigure(kPie, left, top, right, bottom, x3, y3, x4, y4);
}
void TCanvas::Chord(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4,
                    int32_t y4) {
  ArcFigure(kChord, left, top, right, bottom, x3, y3, x4, y4);
}

void TCanvas::RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                        int32_t cornerHeight) {
  const auto box = BoxFigure(left, top, right, bottom, state_.pen);
  if (!box) return;
  const QRectF& c = box->centres;
  const std::vector<TPoint> chain =
      RoundRectChain(RoundToInt(c.left()), RoundToInt(c.top()), RoundToInt(c.right()) + int64_t{1},
                     RoundToInt(c.bottom()) + int64_t{1}, cornerWidth, cornerHeight);
  if (state_.pathOpen) {
    AddToPath(ClosedPath(chain));
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  if (painter.PenVisible() && painter.PenWide()) {
    const double rx = std::min<double>(std::abs(cornerWidth), c.width() + 1) / 2;
    const double ry = std::min<double>(std::abs(cornerHeight), c.height() + 1) / 2;
    AddWideBand(*box, f, [&](QPainterPath& path, const QRectF& r) {
      const double shrink = (box->outer.width() - r.width()) / 2;
      path.addRoundedRect(r, std::max(0.0, rx - shrink), std::max(0.0, ry - shrink));
    });
  } else {
    f.outline = chain;
    f.closed = true;
    f.fill = ClosedPath(chain);
  }
  painter.DrawFigure(f, true);
}

void TCanvas::PolyPolygon(std::span<const TPoint> points, std::span<const int32_t> counts) {
  std::vector<std::vector<TPoint>> polygons;
  size_t at = 0;
  for (int32_t n : counts) {
    if (n < 0 || static_cast<size_t>(n) > points.size() - at) break;
    std::vector<TPoint> polygon;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) polygon.push_back(ClampPoint(points[at + i]));
    at += static_cast<size_t>(n);
    if (polygon.size() >= 2) polygons.push_back(std::move(polygon));
  }
  if (polygons.empty()) return;
  QPainterPath fill;
  for (const auto& polygon : polygons) fill.addPath(ClosedPath(polygon));
  fill.setFillRule(Qt::OddEvenFill);
  if (state_.pathOpen) {
    AddToPath(fill);
    return;
  }
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  f.fill = fill;
  f.outline = polygons[0];
  f.closed = true;
  for (size_t i = 1; i < polygons.size(); ++i) f.moreOutlines.push_back({polygons[i], true});
  if (painter.PenWide())
    for (const auto& polygon : polygons)
      for (QPainterPath& part : WideLineArea(polygon, true, painter.PenWidth(), state_.penCap, state_.penJoin)) f.wideStroke.push_back(part);
  painter.DrawFigure(f, true);
}

// ---- 6b. paths ----

void TCanvas::AddToPath(const QPainterPath& figure, bool winding) {
  if (!state_.path) state_.path.emplace();
  state_.path->addPath(figure);
  state_.pathWinding = state_.pathWinding || winding;
}

void TCanvas::BeginPath() {
  state_.path.emplace();
  state_.pathOpen = true;
  state_.pathWinding = false;
}
void TCanvas::EndPath() { state_.pathOpen = false; }
void TCanvas::AbortPath() {
  state_.pathOpen = false;
  state_.path.reset();
}
void TCanvas::CloseFigure() {
  if (state_.pathOpen && state_.path) state_.path->closeSubpath();
}

void TCanvas::DrawPath(bool stroke, bool fill) {
  if (state_.pathOpen || !state_.path) return;
  QPainterPath path = std::move(*state_.path);
  state_.path.reset();
  path.setFillRule(state_.pathWinding ? Qt::WindingFill : Qt::OddEvenFill);
  TCanvasPainter painter(*this);
  TCanvasPainter::TFigure f;
  if (fill) f.fill = path;
  if (stroke) {
    const TPen savedPen = state_.pen;
    for (const QPolygonF& sub : path.toSubpathPolygons()) {
      std::vector<TPoint> outline;
      for (const QPointF& q : sub) {
        const TPoint p{RoundToInt(q.x()), RoundToInt(q.y())};
        if (outline.empty() || !(outline.back() == p)) outline.push_back(p);
      }
      const bool closed = sub.size() > 2 && sub.isClosed();
      if (closed && outline.size() > 1 && outline.back() == outline.front()) outline.pop_back();
      if (outline.empty()) continue;
      if (painter.PenWide())
        for (QPainterPath& part : WideLineArea(outline, closed, painter.PenWidth(), state_.penCap, state_.penJoin)) f.wideStroke.push_back(part);
      if (f.outline.empty()) {
        f.outline = std::move(outline);
        f.closed = closed;
      } else {
        f.moreOutlines.push_back({std::move(outline), closed});
      }
    }
    painter.DrawFigure(f, fill);
    state_.pen = savedPen;
  } else {
    const TPen savedPen = state_.pen;
    state_.pen.Style = psClear;
    painter.DrawFigure(f, true);
    state_.pen = savedPen;
  }
}

void TCanvas::StrokePath() { DrawPath(true, false); }
void TCanvas::FillPath() { DrawPath(false, true); }
void TCanvas::StrokeAndFillPath() { DrawPath(true, true); }

void TCanvas::WidenPath() {
  if (state_.pathOpen || !state_.path) return;
  QPainterPathStroker stroker;
  stroker.setWidth(std::clamp<int32_t>(state_.pen.Width, 1, 1 << 16));
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  *state_.path = stroker.createStroke(*state_.path);
  state_.pathWinding = true;
}

void TCanvas::SelectClipPath(TRegionMode mode) {
  if (state_.pathOpen || !state_.path || !image_) return;
  QPainterPath path = std::move(*state_.path);
  state_.path.reset();
  path.setFillRule(state_.pathWinding ? Qt::WindingFill : Qt::OddEvenFill);
  CombineClipRegion(PathRegion(path, image_->rect()), mode);
}

// ---- 6c. alpha blending ----

void TCanvas::AlphaBlend(const TRect& destination, const QImage& source, const TRect& sourceRect, uint8_t alpha) {
  if (!image_ || image_->isNull() || source.isNull() || destination.IsEmpty() || sourceRect.IsEmpty()) return;
  const QImage src = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                         ? source
                         : source.convertToFormat(QImage::Format_RGB32);
  const QRect target = ToQRect(destination) & image_->rect();
  if (target.isEmpty()) return;
  const QRegion region = state_.clip ? (*state_.clip & target) : QRegion(target);
  const int64_t dw = int64_t{destination.Right} - destination.Left, dh = int64_t{destination.Bottom} - destination.Top;
  const int64_t sw = int64_t{sourceRect.Right} - sourceRect.Left, sh = int64_t{sourceRect.Bottom} - sourceRect.Top;
  const uint32_t a = alpha;
  for (const QRect& r : region) {
    for (int32_t y = r.top(); y <= r.bottom(); ++y) {
      const int64_t sy = sourceRect.Top + (int64_t{y} - destination.Top) * sh / dh;
      if (sy < 0 || sy >= src.height()) continue;
      const auto* srow = reinterpret_cast<const uint32_t*>(src.constScanLine(static_cast<int>(sy)));
      uint32_t* drow = reinterpret_cast<uint32_t*>(image_->scanLine(y));
      for (int32_t x = r.left(); x <= r.right(); ++x) {
        const int64_t sx = sourceRect.Left + (int64_t{x} - destination.Left) * sw / dw;
        if (sx < 0 || sx >= src.width()) continue;
        const uint32_t s = srow[sx], d = drow[x];
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
          const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
          out |= ((sc * a + dc * (255 - a) + 127) / 255) << shift;
        }
        drow[x] = out;
      }
    }
  }
}

void TCanvas::FillRect(const TRect& r) { TCanvasPainter(*this).BrushRect(r, false); }
void TCanvas::FrameRect(const TRect& r) { TCanvasPainter(*this).BrushRect(r, true); }

TColor TCanvas::Pixel(int32_t x, int32_t y) const {
  if (!image_ || !image_->valid(x, y)) return CLR_INVALID;
  return PixelToColor(reinterpret_cast<const uint32_t*>(image_->constScanLine(y))[x]);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor c) {
  if (!image_ || !image_->valid(x, y)) return;
  if (state_.clip && !state_.clip->contains(QPoint(x, y))) return;
  reinterpret_cast<uint32_t*>(image_->scanLine(y))[x] = ColorToPixel(c);
}

void TCanvas::Draw(int32_t x, int32_t y, const QImage& image) {
  if (image.isNull()) return;
  StretchDraw({x, y, x + image.width(), y + image.height()}, image);
}

void TCanvas::StretchDraw(const TRect& r, const QImage& image) {
  if (image.isNull() || r.IsEmpty() || !image_ || image_->isNull()) return;
  QPainter p(image_);
  if (state_.clip) p.setClipRegion(*state_.clip);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QRect target = ToQRect(r);
  if (target.size() == image.size()) p.drawImage(target.topLeft(), image);
  else p.drawImage(target, image);
}

TSize TCanvas::TextExtent(std::string_view text) const {
  const auto font = TLoadedFont::Load(state_.font);
  const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return {SpacedLayout(*font, string, state_.charExtra).Width, font->Ascent() + font->Descent()};
}

TTextMetric TCanvas::TextMetrics() const {
  const auto font = TLoadedFont::Load(state_.font);
  return {font->Ascent(), font->Descent(), font->Ascent() + font->Descent()};
}

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
  TCanvasPainter(*this).Text(ClampCoord(x), ClampCoord(y), text);
}

// ---- 7. TBitmap ----

TBitmap::TBitmap() = default;
TBitmap::TBitmap(int32_t width, int32_t height) { SetSize(width, height); }
TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    image_ = QImage();
    return;
  }
  if (width == image_.width() && height == image_.height()) return;
  QImage grown(width, height, QImage::Format_RGB32);
  if (grown.isNull()) {
    image_ = QImage();
    return;
  }
  grown.fill(0xFFFFFFFFu);
  const int32_t keepWidth = std::min(width, image_.width());
  const int32_t keepHeight = std::min(height, image_.height());
  for (int32_t y = 0; y < keepHeight; ++y)
    std::memcpy(grown.scanLine(y), image_.constScanLine(y), static_cast<size_t>(keepWidth) * 4);
  image_ = std::move(grown);
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  image_ = source.image_.copy();
}

uint32_t* TBitmap::ScanLine(int32_t y) {
  if (y < 0 || y >= image_.height()) return nullptr;
  return reinterpret_cast<uint32_t*>(image_.scanLine(y));
}

const uint32_t* TBitmap::ScanLine(int32_t y) const {
  if (y < 0 || y >= image_.height()) return nullptr;
  return reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
}

TColor TBitmap::Pixel(int32_t x, int32_t y) const {
  if (!image_.valid(x, y)) return CLR_INVALID;
  return PixelToColor(ScanLine(y)[x]);
}

void TBitmap::SetPixel(int32_t x, int32_t y, TColor c) {
  if (image_.valid(x, y)) ScanLine(y)[x] = ColorToPixel(c);
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(&image_);
  return *canvas_;
}

}  // namespace qira

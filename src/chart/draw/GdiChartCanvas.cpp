#include "chart/draw/GdiChartCanvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <QString>

#include "chart/draw/ChartGradients.h"  // Reaches up: faces are darkened with the fills' DarkenColor.
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

namespace qira {

// Sections:
//   [SECTION] Helpers
//   [SECTION] Device-context state and pens
//   [SECTION] Buffer
//   [SECTION] 2D shapes
//   [SECTION] Text
//   [SECTION] Clipping
//   [SECTION] 3D lines, planes and polygons
//   [SECTION] Solids

// ============================================================= [SECTION] Helpers

namespace {

constexpr int32_t kRoundSides = 16;
constexpr int32_t kDarkSides = 128;
constexpr int32_t kDarkTops = 64;
constexpr int32_t kDarkCaps = 64;
constexpr int32_t kDarkPieSides = 32;
constexpr double kTwoPi = 2 * std::numbers::pi;

// Twice the signed area of a projected polygon: positive when its points run
// clockwise on the screen (y down). 64-bit: coordinates stay within ±2^27.
int64_t ScreenArea2(std::span<const TPoint> p) {
  int64_t sum = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const TPoint& a = p[i];
    const TPoint& b = p[(i + 1) % p.size()];
    sum += int64_t{a.X} * b.Y - int64_t{b.X} * a.Y;
  }
  return sum;
}

int32_t Half(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} + b) / 2); }
int32_t HalfSpan(int32_t from, int32_t to) { return static_cast<int32_t>((int64_t{to} - from) / 2); }

std::string Utf8(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

}  // namespace

TChartCanvas3D::TChartCanvas3D(TCanvas* reference) : reference_(reference) {}
TChartCanvas3D::~TChartCanvas3D() = default;

TCanvas& TChartCanvas3D::Ref() {
  if (reference_) return *reference_;
  if (!scratch_) scratch_ = std::make_unique<TBitmap>(1, 1);
  return scratch_->Canvas();
}

// ============================================== [SECTION] Device-context state and pens

TColor TChartCanvas3D::GetBackColor() const { return reference_ ? reference_->BkColor() : clWhite; }
TBkMode TChartCanvas3D::GetBackMode() const { return reference_ ? reference_->BkMode() : bkOpaque; }
uint32_t TChartCanvas3D::GetTextAlign() const { return reference_ ? reference_->TextAlign() : 0; }
void TChartCanvas3D::SetPenPos(int32_t x, int32_t y) { Ref().MoveTo(x, y); }
void TChartCanvas3D::SetBackColor(TColor color) { Ref().SetBkColor(SystemColorToRGB(color)); }
void TChartCanvas3D::SetBackMode(TBkMode mode) { Ref().SetBkMode(mode); }
void TChartCanvas3D::SetTextAlign(uint32_t align) { Ref().SetTextAlign(align); }
void TChartCanvas3D::SetPixel(int32_t x, int32_t y, TColor color) { Ref().SetPixel(x, y, SystemColorToRGB(color)); }

void TChartCanvas3D::SetMonochrome(bool value) {
  if (monochrome_ == value) return;
  monochrome_ = value;
  bufferDirty_ = true;
  if (view3DOptions_ && view3DOptions_->Parent()) view3DOptions_->Parent()->Invalidate();
}

void TChartCanvas3D::AssignPenColor(const TChartPen& pen, TColor color) {
  if (monochrome_) color = clBlack;
  TCanvas& c = Ref();
  if (!pen.Visible()) {
    c.SetPenStyle(psClear);
    return;
  }
  color = SystemColorToRGB(color);
  if (pen.SmallDots()) {
    c.SetPen(TPen{color, 1, psSolid, pen.Mode()});
    c.SetPenDots(pen.SmallSpace() < 1 ? 1 : pen.SmallSpace() + 1);
    return;
  }
  TPen p = pen.PlatformPen();
  p.Color = color;
  c.SetPen(p);
  if (p.Width >= 2) {
    switch (pen.EndStyle()) {
      case esRound: c.SetPenGeometry(TPenCap::Round, TPenJoin::Round); break;
      case esSquare: c.SetPenGeometry(TPenCap::Square, TPenJoin::Bevel); break;
      case esFlat: c.SetPenGeometry(TPenCap::Flat, TPenJoin::Miter); break;
    }
  }
}

void TChartCanvas3D::AssignPenColor(const TPen& pen, TColor color) {
  if (monochrome_) color = clBlack;
  TPen p = pen;
  p.Color = SystemColorToRGB(color);
  Ref().SetPen(p);
}

std::unique_ptr<IChartBlend> TChartCanvas3D::BeginBlending(const TRect& rect, int32_t transparency) {
  SetBlendTransparency(transparency);
  const auto create = ChartCanvasRoutines().CreateBlend;
  return create ? create(*this, rect) : nullptr;
}

void TChartCanvas3D::EndBlending(std::unique_ptr<IChartBlend> blend) {
  if (blend) blend->DoBlend(blendTransparency_);
}

void TChartCanvas3D::GradientFillRect(const TRect& rect, TColor first, TColor second, TGradientDirection direction,
                                      int32_t balance, int32_t radialX, int32_t radialY) {
  if (const auto fill = ChartCanvasRoutines().GradientFillRect) {
    fill(*this, rect, first, second, direction, balance, radialX, radialY);
    return;
  }
  TCanvas& c = Ref();
  const TBrush saved = c.Brush();
  const TColor bk = c.BkColor();
  const TBkMode mode = c.BkMode();
  c.SetBrush(TBrush{SystemColorToRGB(first), bsSolid});
  c.FillRect(OrientRectangle(rect));
  c.SetBrush(saved);
  c.SetBkColor(bk);
  c.SetBkMode(mode);
}

// ============================================================== [SECTION] Buffer

TRect TChartCanvas3D::InitWindow(TCanvas& destination, TView3DOptions* options, const TRect& bounds, bool is3D) {
  view3DOptions_ = options;
  projection_.Setup(options, bounds, is3D);
  fontZoom_ = options ? options->FontZoom() : 100;
  if (!useBuffer_) {
    reference_ = &destination;
    return bounds;
  }
  if (!buffer_) buffer_ = std::make_unique<TBitmap>();
  // A zero or negative size gives an empty bitmap on which nothing draws.
  buffer_->SetSize(std::max(bounds.Width(), 0), std::max(bounds.Height(), 0));
  reference_ = &buffer_->Canvas();
  return {0, 0, buffer_->Width(), buffer_->Height()};
}

void TChartCanvas3D::Assign(const TCanvas3D& source) {
  monochrome_ = source.GetMonochrome();
  view3DOptions_ = source.View3DOptions();
}

void TChartCanvas3D::Projection(int32_t depth, const TRect& rect) { projection_.Project(view3DOptions_, depth, rect); }

void TChartCanvas3D::ShowImage(TCanvas& destination, const TRect& rect) {
  if (useBuffer_ && buffer_) {
    BitBltBuffer(destination, rect.Left, rect.Top);
    bufferDirty_ = false;
  }
  reference_ = &destination;
}

bool TChartCanvas3D::ReDrawBitmap() {
  if (bufferDirty_ || !buffer_) return false;
  BitBltBuffer(Ref(), 0, 0);
  return true;
}

void TChartCanvas3D::SetUseBuffer(bool value) {
  if (useBuffer_ == value) return;
  useBuffer_ = value;
  if (!buffer_) return;
  if (!value) {
    if (holdBuffer_) return;
    if (reference_ == &buffer_->Canvas()) reference_ = nullptr;
    buffer_.reset();
    bufferDirty_ = true;
  } else {
    reference_ = &buffer_->Canvas();
  }
}

void TChartCanvas3D::SetBitmap(std::unique_ptr<TBitmap> bitmap) {
  if (buffer_ && reference_ == &buffer_->Canvas()) reference_ = bitmap ? &bitmap->Canvas() : nullptr;
  buffer_ = std::move(bitmap);
}

void TChartCanvas3D::FreeBuffer() { SetBitmap(nullptr); }

void TChartCanvas3D::BitBltBuffer(TCanvas& destination, int32_t x, int32_t y) {
  if (!buffer_ || buffer_->Empty() || &destination == &buffer_->Canvas()) return;
  destination.Draw(x, y, buffer_->Image());
}

// ============================================================ [SECTION] 2D shapes

void TChartCanvas3D::Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                         int32_t y4) {
  Ref().Arc(x1, y1, x2, y2, x3, y3, x4, y4);
}

void TChartCanvas3D::ArcAngles(int32_t left, int32_t top, int32_t right, int32_t bottom, double startAngle,
                               double endAngle) {
  if (!std::isfinite(startAngle) || !std::isfinite(endAngle)) return;
  const int32_t rx = HalfSpan(left, right), ry = HalfSpan(top, bottom);
  const int64_t cx = int64_t{left} + rx, cy = int64_t{top} + ry;
  const auto point = [&](double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    return TPoint{ClampChartCoord(cx + RoundToInt64(rx * std::cos(a))),
                  ClampChartCoord(cy - RoundToInt64(ry * std::sin(a)))};
  };
  const TPoint a = point(startAngle), b = point(endAngle);
  Ref().Arc(left, top, right, bottom, a.X, a.Y, b.X, b.Y);
}

void TChartCanvas3D::Donut(const TRect& box, double startAngle, double endAngle, double holePercent) {
  if (!std::isfinite(startAngle) || !std::isfinite(endAngle) || !std::isfinite(holePercent)) return;
  const double cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Top) + box.Bottom) / 2;
  const double rx = (double(box.Right) - box.Left) / 2, ry = (double(box.Bottom) - box.Top) / 2;
  const double hole = std::clamp(holePercent, 0.0, 100.0) / 100.0;
  const double sweep = std::clamp(endAngle - startAngle, -360.0, 360.0);
  const int32_t steps = std::max(2, static_cast<int32_t>(std::ceil(std::abs(sweep))) + 1);
  std::vector<TPoint> ring;
  ring.reserve(2 * static_cast<size_t>(steps));
  const auto at = [&](double degrees, double scale) {
    const double a = degrees * std::numbers::pi / 180.0;
    return TPoint{RoundChartCoord(cx + std::cos(a) * rx * scale), RoundChartCoord(cy - std::sin(a) * ry * scale)};
  };
  for (int32_t i = 0; i < steps; ++i) ring.push_back(at(startAngle + sweep * i / (steps - 1), 1.0));
  for (int32_t i = steps - 1; i >= 0; --i) ring.push_back(at(startAngle + sweep * i / (steps - 1), hole));
  Ref().Polygon(ring);
}

void TChartCanvas3D::Draw(int32_t x, int32_t y, const TGraphic* graphic) {
  if (graphic && !graphic->Empty()) Ref().Draw(x, y, graphic->DrawnImage());
}

void TChartCanvas3D::StretchDraw(const TRect& rect, const TGraphic* graphic) {
  if (graphic && !graphic->Empty()) Ref().StretchDraw(rect, graphic->DrawnImage());
}

void TChartCanvas3D::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Ref().Ellipse(left, top, right, bottom);
}
void TChartCanvas3D::FillRect(const TRect& rect) { Ref().FillRect(rect); }
void TChartCanvas3D::LineTo(int32_t x, int32_t y) { Ref().LineTo(x, y); }
void TChartCanvas3D::MoveTo(int32_t x, int32_t y) { Ref().MoveTo(x, y); }
void TChartCanvas3D::Pie(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                         int32_t y4) {
  Ref().Pie(x1, y1, x2, y2, x3, y3, x4, y4);
}
void TChartCanvas3D::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Ref().Rectangle(left, top, right, bottom);
}
void TChartCanvas3D::RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                               int32_t cornerHeight) {
  Ref().RoundRect(left, top, right, bottom, cornerWidth, cornerHeight);
}
void TChartCanvas3D::Polyline(std::span<const TPoint> points) { Ref().Polyline(points); }
void TChartCanvas3D::Polygon(std::span<const TPoint> points) { Ref().Polygon(points); }
void TChartCanvas3D::DoHorizLine(int32_t x0, int32_t x1, int32_t y) {
  MoveTo(x0, y);
  LineTo(x1, y);
}
void TChartCanvas3D::DoVertLine(int32_t x, int32_t y0, int32_t y1) {
  MoveTo(x, y0);
  LineTo(x, y1);
}
void TChartCanvas3D::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  MoveTo(x0, y0);
  LineTo(x1, y1);
}

void TChartCanvas3D::Frame3D(TRect& rect, TColor topColor, TColor bottomColor, int32_t width) {
  TCanvas& c = Ref();
  c.SetPen(TPen{c.Pen().Color, 1, psSolid, c.Pen().Mode});
  int32_t l = rect.Left, t = rect.Top, r = rect.Right - 1, b = rect.Bottom - 1;
  // A width beyond half the rectangle has nothing left to frame.
  for (int32_t i = 0; i < width && l <= r && t <= b; ++i) {
    c.SetPenColor(SystemColorToRGB(topColor));
    const TPoint top[3] = {{l, b}, {l, t}, {r, t}};
    c.Polyline(top);
    c.SetPenColor(SystemColorToRGB(bottomColor));
    const TPoint bottom[3] = {{r, t}, {r, b}, {l - 1, b}};
    c.Polyline(bottom);
    ++l, ++t, --r, --b;
  }
  rect = {l, t, r + 1, b + 1};
}

void TChartCanvas3D::PolygonGradient(std::span<const TPoint> points, IChartGradient& gradient) {
  ClipPolygon(points, false);
  gradient.Draw(*this, PointsBoundingRect(points), 0);
  UnClipRectangle();
  TCanvas& c = Ref();
  if (c.Pen().Style == psClear) return;
  const TBrush saved = c.Brush();
  const TColor bk = c.BkColor();
  const TBkMode mode = c.BkMode();
  c.SetBrushStyle(bsClear);
  c.Polygon(points);
  c.SetBrush(saved);
  c.SetBkColor(bk);
  c.SetBkMode(mode);
}

// ================================================================= [SECTION] Text

void TChartCanvas3D::PlainTextOut(int32_t x, int32_t y, std::string_view text) { Ref().TextOut(x, y, text); }

int32_t TChartCanvas3D::TextWidth(std::string_view text) {
  int64_t w = Ref().TextWidth(text);
  if (const TChartTextShadow* s = font_ ? font_->Shadow() : nullptr; s && s->Visible) w += std::abs(int64_t{s->HorizSize});
  return ClampChartCoord(w);
}

int32_t TChartCanvas3D::TextHeight(std::string_view text) {
  int64_t h = Ref().TextHeight(text);
  if (const TChartTextShadow* s = font_ ? font_->Shadow() : nullptr; s && s->Visible) h += std::abs(int64_t{s->VertSize});
  return ClampChartCoord(h);
}

int32_t TChartCanvas3D::TextWidthWide(std::u16string_view text) { return TextWidth(Utf8(text)); }
int32_t TChartCanvas3D::TextHeightWide(std::u16string_view text) { return TextHeight(Utf8(text)); }

void TChartCanvas3D::TextOut(int32_t x, int32_t y, std::string_view text) {
  TCanvas& c = Ref();
  const TColor textColor = c.TextColor();
  // 1. The shadow, offset from the text; a negative size moves the text instead.
  if (const TChartTextShadow* s = font_ ? font_->Shadow() : nullptr;
      s && s->Visible && (s->HorizSize != 0 || s->VertSize != 0)) {
    int32_t sx = x, sy = y;
    if (s->HorizSize < 0) x = ClampChartCoord(int64_t{x} - s->HorizSize);
    else sx = ClampChartCoord(int64_t{x} + s->HorizSize);
    if (s->VertSize < 0) y = ClampChartCoord(int64_t{y} - s->VertSize);
    else sy = ClampChartCoord(int64_t{y} + s->VertSize);
    const TRect shadowRect = TextRect(sx, sy, text);
    std::unique_ptr<IChartBlend> blend;
    if (s->Transparency > 0) blend = BeginBlending(shadowRect, s->Transparency);
    c.SetTextColor(SystemColorToRGB(s->Color));
    PlainTextOut(sx, sy, text);
    if (s->Smooth && s->SmoothBlur > 0 && buffer_ && !buffer_->Empty() && !noReadBack_) {
      const TRect inside{std::max(shadowRect.Left, 0), std::max(shadowRect.Top, 0),
                         std::min(shadowRect.Right, buffer_->Width()), std::min(shadowRect.Bottom, buffer_->Height())};
      if (const auto blur = ChartCanvasRoutines().BlurBitmap; blur && !inside.IsEmpty())
        blur(*buffer_, inside, s->SmoothBlur);
    }
    c.SetBkMode(bkTransparent);
    if (blend) EndBlending(std::move(blend));
  }
  // 2. The text colour is the font's.
  c.SetTextColor(textColor);
  const TChartPen* outline = font_ ? font_->OutLine() : nullptr;
  const bool outlined = outline && outline->Visible();
  IChartGradient* gradient = font_ ? font_->Gradient() : nullptr;
  const bool graded = gradient && gradient->Visible();
  const TGraphic* picture = font_ ? font_->PictureGraphic() : nullptr;
  const bool pictured = picture && !picture->Empty();
  // 3. Plain text.
  if (!outlined && !graded && !pictured) {
    PlainTextOut(x, y, text);
    return;
  }
  // 4. The text as a path: filled by a gradient or a picture, and outlined.
  if (outlined) AssignPen(*outline);
  else c.SetPenStyle(psClear);
  c.SetBrush(TBrush{textColor, bsSolid});
  c.SetBkMode(bkTransparent);
  const auto buildPath = [&] {
    c.BeginPath();
    PlainTextOut(x, y, text);
    c.EndPath();
  };
  const auto clearBrush = [&] {
    c.SetBrushStyle(bsClear);
    c.SetBkMode(bkTransparent);
  };
  buildPath();
  if (graded) {
    if (gradient->Outline()) c.WidenPath();
    SaveClip();
    c.SelectClipPath(RGN_AND);
    gradient->Draw(*this, TextRect(x, y, text), 0);
    UnClipRectangle();
    if (gradient->Outline()) return;
    if (outlined) {
      buildPath();
      clearBrush();
    }
  } else if (pictured) {
    SaveClip();
    c.SelectClipPath(RGN_AND);
    c.StretchDraw(TextRect(x, y, text), picture->ToImage());
    UnClipRectangle();
    if (outlined) {
      buildPath();
      clearBrush();
    }
  }
  if (!outlined) {
    c.AbortPath();
    return;
  }
  if (font_->PlatformFont().Color == clNone) {
    clearBrush();
    c.StrokePath();
  } else {
    c.StrokeAndFillPath();
  }
}

void TChartCanvas3D::SelectZoomedFont(int32_t zoomedSize) {
  TCanvas& c = Ref();
  TFont f = c.Font();
  f.Height = -MulDiv(zoomedSize, f.PixelsPerInch, 72);
  c.SetFont(f);
}

void TChartCanvas3D::RotateLabel(int32_t x, int32_t y, std::string_view text, double angle) {
  // A non-finite angle has no direction: nothing is written.
  if (!std::isfinite(angle)) return;
  if (angle >= 360) angle = std::fmod(angle, 360.0);
  TCanvas& c = Ref();
  c.SetBrushStyle(bsClear);
  const TFont saved = c.Font();
  TFont turned = saved;
  turned.Escapement = RoundToInt(angle * 10);
  turned.Quality = ANTIALIASED_QUALITY;
  if (projection_.TextZoom && projection_.Scale != 1)
    turned.Height = -MulDiv(std::max(RoundToInt(saved.Size() * projection_.Scale), 1), saved.PixelsPerInch, 72);
  c.SetFont(turned);
  TextOut(x, y, text);
  c.SetFont(saved);
}

void TChartCanvas3D::TextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text) {
  const TPoint p = Calculate3DPosition(x, y, z);
  TCanvas& c = Ref();
  const int32_t size = c.Font().Size();
  const int32_t zoomed = std::max(RoundToInt(size * projection_.Scale), 1);
  if (projection_.TextZoom && projection_.Scale != 1 && zoomed != size) {
    const TFont saved = c.Font();
    SelectZoomedFont(zoomed);
    TextOut(p.X, p.Y, text);
    c.SetFont(saved);
  } else {
    TextOut(p.X, p.Y, text);
  }
}

void TChartCanvas3D::RotatedTextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text, double angle) {
  const TPoint p = Calculate3DPosition(x, y, z);
  RotateLabel(p.X, p.Y, text, angle);
}

// ============================================================= [SECTION] Clipping

void TChartCanvas3D::SaveClip() {
  savedClip_ = Ref().ClipRegion();
  hasSavedClip_ = savedClip_.has_value();
}

void TChartCanvas3D::ClipRectangle(const TRect& rect) {
  SaveClip();
  Ref().IntersectClipRect(OrientRectangle(rect));
}

void TChartCanvas3D::ClipRoundRectangle(const TRect& rect, int32_t size) {
  SaveClip();
  Ref().CombineClipRegion(RoundRectRegion(OrientRectangle(rect), size, size), RGN_AND);
}

void TChartCanvas3D::ClipEllipse(const TRect& rect, bool inverted) {
  const QRegion ellipse = EllipseRegion(OrientRectangle(rect));
  if (inverted) {
    // Cuts the ellipse out of what may be drawn; UnClipRectangle undoes the clip
    // saved before it.
    Ref().CombineClipRegion(ellipse, RGN_XOR);
    return;
  }
  SaveClip();
  Ref().CombineClipRegion(ellipse, RGN_AND);
}

void TChartCanvas3D::ClipPolygon(std::span<const TPoint> points, bool inverted) {
  SaveClip();
  Ref().CombineClipRegion(PolygonRegion(points), inverted ? RGN_DIFF : RGN_AND);
}

void TChartCanvas3D::UnClipRectangle() {
  if (hasSavedClip_) Ref().SelectClipRegion(*savedClip_);
  else Ref().RemoveClip();
  hasSavedClip_ = false;
  savedClip_.reset();
}

void TChartCanvas3D::ClipCube(const TRect& rect, int32_t z0, int32_t z1) {
  if (!projection_.Is3D) {
    ClipRectangle({ClampChartCoord(int64_t{rect.Left} + 1), ClampChartCoord(int64_t{rect.Top} + 1), rect.Right,
                   ClampChartCoord(int64_t{rect.Bottom} - 1)});
    return;
  }
  std::vector<TPoint> corners;
  for (int32_t z : {z0, z1})
    for (const TPoint& p : RectCorners3D(rect, z)) corners.push_back(p);
  // Convex hull (monotone chain).
  std::sort(corners.begin(), corners.end(), [](const TPoint& a, const TPoint& b) {
    return a.X != b.X ? a.X < b.X : a.Y < b.Y;
  });
  const auto cross = [](const TPoint& o, const TPoint& a, const TPoint& b) {
    return (int64_t{a.X} - o.X) * (int64_t{b.Y} - o.Y) - (int64_t{a.Y} - o.Y) * (int64_t{b.X} - o.X);
  };
  std::vector<TPoint> hull(2 * corners.size());
  size_t k = 0;
  for (const TPoint& p : corners) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (size_t i = corners.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], corners[i]) <= 0) --k;
    hull[k++] = corners[i];
  }
  hull.resize(k > 1 ? k - 1 : k);
  ClipPolygon(hull, false);
}

// =========================================== [SECTION] 3D lines, planes and polygons

TPoint TChartCanvas3D::Calculate3DPosition(int32_t x, int32_t y, int32_t z) const {
  return projection_.Calculate3DPosition(x, y, z);
}
TPoint TChartCanvas3D::Calculate3DPosition(double x, double y, double z) const {
  return projection_.Calculate3DPosition(x, y, z);
}
void TChartCanvas3D::Calculate2DPosition(int32_t& x, int32_t& y, int32_t z) const {
  projection_.Calculate2DPosition(x, y, z);
}

void TChartCanvas3D::SetPenPos3D(int32_t x, int32_t y, int32_t z) {
  const TPoint p = Calculate3DPosition(x, y, z);
  SetPenPos(p.X, p.Y);
}

void TChartCanvas3D::Pixel3D(int32_t x, int32_t y, int32_t z, TColor color) {
  const TPoint p = Calculate3DPosition(x, y, z);
  TCanvas& c = Ref();
  if (c.Pen().Width != 1) {
    c.SetPenColor(SystemColorToRGB(color));
    c.MoveTo(p.X, p.Y);
    c.LineTo(p.X, p.Y);
  } else {
    c.SetPixel(p.X, p.Y, SystemColorToRGB(color));
  }
}

void TChartCanvas3D::Suspend3D() {
  savedIs3D_ = projection_.Is3D;
  projection_.Is3D = false;
}
void TChartCanvas3D::Resume3D() { projection_.Is3D = savedIs3D_; }

void TChartCanvas3D::MoveTo3D(int32_t x, int32_t y, int32_t z) {
  const TPoint p = Calculate3DPosition(x, y, z);
  MoveTo(p.X, p.Y);
}
void TChartCanvas3D::LineTo3D(int32_t x, int32_t y, int32_t z) {
  const TPoint p = Calculate3DPosition(x, y, z);
  LineTo(p.X, p.Y);
}
void TChartCanvas3D::HorizLine3D(int32_t x0, int32_t x1, int32_t y, int32_t z) {
  MoveTo3D(x0, y, z);
  LineTo3D(x1, y, z);
}
void TChartCanvas3D::VertLine3D(int32_t x, int32_t y0, int32_t y1, int32_t z) {
  MoveTo3D(x, y0, z);
  LineTo3D(x, y1, z);
}
void TChartCanvas3D::ZLine3D(int32_t x, int32_t y, int32_t z0, int32_t z1) {
  MoveTo3D(x, y, z0);
  LineTo3D(x, y, z1);
}
void TChartCanvas3D::LineWithZ(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z) {
  MoveTo3D(x0, y0, z);
  LineTo3D(x1, y1, z);
}

void TChartCanvas3D::PolygonFour() { Polygon(iPoints_); }

void TChartCanvas3D::DrawFace(const TPoint& a, const TPoint& b, const TPoint& c, const TPoint& d) {
  iPoints_ = {a, b, c, d};
  PolygonFour();
}

void TChartCanvas3D::PlaneFour3D(const TPoint& p1, const TPoint& p2, int32_t z0, int32_t z1) {
  DrawFace(Calculate3DPosition(p1.X, p1.Y, z0), Calculate3DPosition(p2.X, p2.Y, z0),
           Calculate3DPosition(p2.X, p2.Y, z1), Calculate3DPosition(p1.X, p1.Y, z1));
}

void TChartCanvas3D::PlaneWithZ(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z) {
  DrawFace(Calculate3DPosition(p1.X, p1.Y, z), Calculate3DPosition(p2.X, p2.Y, z),
           Calculate3DPosition(p3.X, p3.Y, z), Calculate3DPosition(p4.X, p4.Y, z));
}

void TChartCanvas3D::Plane3D(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z0,
                             int32_t z1) {
  const auto at = [&](const TPoint& p, int32_t z) { return Calculate3DPosition(double(p.X), double(p.Y), double(z)); };
  DrawFace(at(p1, z0), at(p2, z0), at(p3, z1), at(p4, z1));
}

void TChartCanvas3D::Polygon3D(std::span<const TPoint3D> points) {
  std::vector<TPoint> projected;
  projected.reserve(points.size());
  for (const TPoint3D& p : points) projected.push_back(Calculate3DPosition(p.X, p.Y, p.Z));
  Polygon(projected);
}

void TChartCanvas3D::PolygonWithZ(std::span<const TPoint> points, int32_t z) {
  std::vector<TPoint> projected;
  projected.reserve(points.size());
  for (const TPoint& p : points) projected.push_back(Calculate3DPosition(p.X, p.Y, z));
  Polygon(projected);
}

void TChartCanvas3D::PolylineWithZ(std::span<const TPoint> points, int32_t z) {
  std::vector<TPoint> projected;
  projected.reserve(points.size());
  for (const TPoint& p : points) projected.push_back(Calculate3DPosition(p.X, p.Y, z));
  Polyline(projected);
}

void TChartCanvas3D::RectangleWithZ(const TRect& rect, int32_t z) {
  const TFourPoints p = RectCorners3D(rect, z);
  DrawFace(p[0], p[1], p[2], p[3]);
}

void TChartCanvas3D::RectangleY(int32_t left, int32_t top, int32_t right, int32_t z0, int32_t z1) {
  DrawFace(Calculate3DPosition(left, top, z0), Calculate3DPosition(right, top, z0),
           Calculate3DPosition(right, top, z1), Calculate3DPosition(left, top, z1));
}

void TChartCanvas3D::RectangleZ(int32_t left, int32_t top, int32_t bottom, int32_t z0, int32_t z1) {
  DrawFace(Calculate3DPosition(left, top, z0), Calculate3DPosition(left, top, z1),
           Calculate3DPosition(left, bottom, z1), Calculate3DPosition(left, bottom, z0));
}

void TChartCanvas3D::TriangleWithZ(const TPoint& p0, const TPoint& p1, const TPoint& p2, int32_t z) {
  const TPoint t[3] = {Calculate3DPosition(p0.X, p0.Y, z), Calculate3DPosition(p1.X, p1.Y, z),
                       Calculate3DPosition(p2.X, p2.Y, z)};
  Polygon(t);
}

void TChartCanvas3D::Triangle3D(const TPoint3D& p0, const TPoint3D& p1, const TPoint3D& p2, TColor color0, TColor,
                                TColor) {
  TCanvas& c = Ref();
  if (c.Brush().Style != bsClear) {
    const TColor bk = c.BkColor();
    const TBkMode mode = c.BkMode();
    c.SetBrushColor(SystemColorToRGB(color0));
    c.SetBkColor(bk);
    c.SetBkMode(mode);
  }
  const TPoint t[3] = {Calculate3DPosition(p0), Calculate3DPosition(p1), Calculate3DPosition(p2)};
  Polygon(t);
}

void TChartCanvas3D::Arrow(bool filled, const TPoint& from, const TPoint& to, int32_t headWidth, int32_t headHeight,
                           int32_t z, int32_t bodyPercent) {
  const double dx = double(to.X) - from.X, dy = double(from.Y) - to.Y;
  const double length = std::hypot(dx, dy);
  if (length == 0) return;
  const double head = std::min<double>(headHeight, RoundHalfEven(length));
  // Unit vectors along the arrow and across it, in screen coordinates.
  const double ux = dx / length, uy = -dy / length;
  const double nx = -uy, ny = ux;
  const double neckX = to.X - ux * head, neckY = to.Y - uy * head;
  const double halfHead = headWidth / 2.0;
  const auto at = [&](double x, double y) { return Calculate3DPosition(x, y, double(z)); };
  if (filled) {
    const double body = headWidth * bodyPercent * 0.005;
    const TPoint p[7] = {at(from.X + nx * body, from.Y + ny * body), at(neckX + nx * body, neckY + ny * body),
                         at(neckX + nx * halfHead, neckY + ny * halfHead), at(to.X, to.Y),
                         at(neckX - nx * halfHead, neckY - ny * halfHead), at(neckX - nx * body, neckY - ny * body),
                         at(from.X - nx * body, from.Y - ny * body)};
    Polygon(p);
    return;
  }
  const TPoint tip = at(to.X, to.Y);
  const TPoint tail = at(from.X, from.Y);
  const TPoint c1 = at(neckX + nx * halfHead, neckY + ny * halfHead);
  const TPoint c2 = at(neckX - nx * halfHead, neckY - ny * halfHead);
  Line(tail.X, tail.Y, tip.X, tip.Y);
  Line(c1.X, c1.Y, tip.X, tip.Y);
  Line(c2.X, c2.Y, tip.X, tip.Y);
}

// =============================================================== [SECTION] Solids

void TChartCanvas3D::DarkenFace(int32_t amount) {
  TCanvas& c = Ref();
  faceBrushColor_ = c.Brush().Color;
  faceBackColor_ = c.BkColor();
  const TBkMode mode = c.BkMode();
  if (c.Brush().Style == bsSolid) {
    c.SetBrushColor(DarkenColor(faceBrushColor_, amount));
    c.SetBkColor(faceBackColor_);
    c.SetBkMode(mode);
  } else {
    c.SetBkColor(DarkenColor(faceBackColor_, amount));
  }
}

void TChartCanvas3D::RestoreFaceColor() {
  TCanvas& c = Ref();
  const TBkMode mode = c.BkMode();
  if (c.Brush().Style == bsSolid) c.SetBrushColor(faceBrushColor_);
  c.SetBkColor(faceBackColor_);
  c.SetBkMode(mode);
}

void TChartCanvas3D::Cube(int32_t left, int32_t right, int32_t top, int32_t bottom, int32_t z0, int32_t z1,
                          bool darkSides) {
  const auto P = [&](int32_t x, int32_t y, int32_t z) { return Calculate3DPosition(x, y, z); };
  // Each face lists its corners clockwise on the screen as seen from outside.
  const TFourPoints front = {P(left, top, z0), P(right, top, z0), P(right, bottom, z0), P(left, bottom, z0)};
  const TFourPoints back = {P(right, top, z1), P(left, top, z1), P(left, bottom, z1), P(right, bottom, z1)};
  const TFourPoints rightFace = {P(right, top, z0), P(right, top, z1), P(right, bottom, z1), P(right, bottom, z0)};
  const TFourPoints leftFace = {P(left, top, z1), P(left, top, z0), P(left, bottom, z0), P(left, bottom, z1)};
  const TFourPoints topFace = {P(left, top, z1), P(right, top, z1), P(right, top, z0), P(left, top, z0)};
  const TFourPoints bottomFace = {P(left, bottom, z0), P(right, bottom, z0), P(right, bottom, z1),
                                  P(left, bottom, z1)};
  // A box turned inside out (right < left and so on) shows its inner faces.
  const bool mirrored = (int64_t{right} - left) * (int64_t{bottom} - top) * (int64_t{z1} - z0) < 0;
  const bool clear = Ref().Brush().Style == bsClear;
  const auto facing = [&](const TFourPoints& f) { return clear || ((ScreenArea2(f) > 0) != mirrored); };
  const auto draw = [&](const TFourPoints& f, int32_t dark) {
    if (!facing(f)) return;
    if (darkSides && dark > 0) DarkenFace(dark);
    DrawFace(f[0], f[1], f[2], f[3]);
    if (darkSides && dark > 0) RestoreFaceColor();
  };
  if (clear) draw(front, 0);
  else if (facing(front)) draw(front, 0);
  else if (facing(back)) draw(back, 0);
  draw(rightFace, kDarkSides);
  draw(leftFace, kDarkSides);
  draw(topFace, kDarkTops);
  draw(bottomFace, kDarkTops);
}

void TChartCanvas3D::Cone(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                          int32_t z1, bool darkSides, int32_t topPercent) {
  const double step = kTwoPi / kRoundSides;
  const int32_t radiusA = vertical ? HalfSpan(left, right) : HalfSpan(top, bottom);
  const int32_t centreA = vertical ? Half(left, right) : Half(top, bottom);
  const int32_t radiusZ = HalfSpan(z0, z1);
  const int32_t centreZ = Half(z0, z1);
  const int32_t firstK = vertical ? -4 : -5;
  const double topScale = std::clamp(topPercent, 0, 100) * 0.01;
  const int32_t baseLevel = vertical ? bottom : left;
  const int32_t topLevel = vertical ? top : right;
  const auto ring = [&](int32_t level, double scale) {
    std::vector<TPoint> points;
    const int32_t a = RoundToInt(radiusA * scale), rz = RoundToInt(radiusZ * scale);
    for (int32_t i = 0; i <= kRoundSides; ++i) {
      const double angle = (firstK + i) * step;
      const int32_t along = ClampChartCoord(centreA + int64_t{RoundToInt(a * std::sin(angle))});
      const int32_t z = ClampChartCoord(centreZ - int64_t{RoundToInt(rz * std::cos(angle))});
      points.push_back(vertical ? Calculate3DPosition(along, level, z) : Calculate3DPosition(level, along, z));
    }
    return points;
  };
  const std::vector<TPoint> base = ring(baseLevel, 1.0);
  const std::vector<TPoint> cap = ring(topLevel, topScale);
  // The ring's turn on the screen tells which side of the solid faces the viewer;
  // a solid whose top lies beyond its base (or a horizontal one turned over) mirrors it.
  const bool flipped = vertical ? bottom < top : left > right;
  for (int32_t i = 0; i < kRoundSides; ++i) {
    const TPoint quad[4] = {cap[i], cap[i + 1], base[i + 1], base[i]};
    if ((ScreenArea2(quad) < 0) != flipped) continue;
    const int32_t dark = darkSides ? 8 * i : 0;
    if (dark > 0) DarkenFace(dark);
    DrawFace(quad[0], quad[1], quad[2], quad[3]);
    if (dark > 0) RestoreFaceColor();
  }
  const std::span<const TPoint> baseRing(base.data(), kRoundSides);
  const bool baseFaces = (ScreenArea2(baseRing) > 0) != flipped;
  const std::vector<TPoint>& end = baseFaces ? base : cap;
  if (darkSides) DarkenFace(kDarkCaps);
  Polygon(std::span<const TPoint>(end.data(), kRoundSides));
  if (darkSides) RestoreFaceColor();
}

void TChartCanvas3D::Cylinder(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                              int32_t z1, bool darkSides) {
  Cone(vertical, left, top, right, bottom, z0, z1, darkSides, 100);
}

void TChartCanvas3D::Pyramid(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                             int32_t z1, bool darkSides) {
  if (vertical ? top == bottom : left == right) return;
  const int32_t cz = Half(z0, z1);
  // In the vertical frame: a runs across (x), level is the base's y, apex's y at tip.
  const auto P = [&](int32_t across, int32_t level, int32_t z) {
    return vertical ? Calculate3DPosition(across, level, z) : Calculate3DPosition(level, across, z);
  };
  const int32_t lo = vertical ? left : top, hi = vertical ? right : bottom;
  const int32_t baseLevel = vertical ? bottom : left, tipLevel = vertical ? top : right;
  const TPoint apex = P(Half(lo, hi), tipLevel, cz);
  // Faces listed counter-clockwise seen from outside while the apex lies above the base.
  const TPoint front[3] = {P(lo, baseLevel, z0), P(hi, baseLevel, z0), apex};
  const TPoint back[3] = {P(hi, baseLevel, z1), P(lo, baseLevel, z1), apex};
  const TPoint leftSide[3] = {P(lo, baseLevel, z1), P(lo, baseLevel, z0), apex};
  const TPoint rightSide[3] = {P(hi, baseLevel, z0), P(hi, baseLevel, z1), apex};
  bool reversed = tipLevel > baseLevel;
  if (!vertical) reversed = !reversed;
  if ((int64_t{hi} - lo) * (int64_t{z1} - z0) < 0) reversed = !reversed;
  if (vertical) RectangleY(left, bottom, right, z0, z1);
  else RectangleZ(left, top, bottom, z0, z1);
  Polygon(front);
  for (const auto* face : {back, leftSide, rightSide}) {
    const std::span<const TPoint> f(face, 3);
    if ((ScreenArea2(f) < 0) == reversed) continue;
    if (darkSides) DarkenFace(kDarkSides);
    Polygon(f);
    if (darkSides) RestoreFaceColor();
  }
}

void TChartCanvas3D::PyramidTrunc(const TRect& rect, int32_t z0, int32_t z1, int32_t truncX, int32_t truncZ) {
  const int32_t l = rect.Left, t = rect.Top, r = rect.Right, b = rect.Bottom;
  const int32_t cx = Half(l, r), cz = Half(z0, z1);
  const double tl = double(cx) - truncX, tr = double(cx) + truncX;
  const double tf = double(cz) - truncZ, tb = double(cz) + truncZ;
  const auto P = [&](double x, double y, double z) { return Calculate3DPosition(x, y, z); };
  const auto baseCap = [&] { RectangleY(l, b, r, z0, z1); };
  const auto topCap = [&] {
    if (truncX != 0)
      RectangleY(ClampChartCoord(int64_t{cx} - truncX), t, ClampChartCoord(int64_t{cx} + truncX),
                 ClampChartCoord(int64_t{cz} - truncZ), ClampChartCoord(int64_t{cz} + truncZ));
  };
  if (b > t) baseCap();
  else topCap();
  // Counter-clockwise seen from outside while the top lies above the base.
  const TFourPoints sides[4] = {
      {P(r, b, z1), P(l, b, z1), P(tl, t, tb), P(tr, t, tb)},  // back
      {P(l, b, z1), P(l, b, z0), P(tl, t, tf), P(tl, t, tb)},  // left
      {P(l, b, z0), P(r, b, z0), P(tr, t, tf), P(tl, t, tf)},  // front
      {P(r, b, z0), P(r, b, z1), P(tr, t, tb), P(tr, t, tf)},  // right
  };
  bool reversed = t > b;
  if ((int64_t{r} - l) * (int64_t{z1} - z0) < 0) reversed = !reversed;
  for (const TFourPoints& f : sides)
    if ((ScreenArea2(f) < 0) != reversed) DrawFace(f[0], f[1], f[2], f[3]);
  if (b > t) topCap();
  else baseCap();
}

void TChartCanvas3D::EllipseWithZ(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z) {
  if (projection_.IsOrthogonal) {
    const TPoint a = Calculate3DPosition(left, top, z), b = Calculate3DPosition(right, bottom, z);
    Ellipse(a.X, a.Y, b.X, b.Y);
    return;
  }
  if (!projection_.Is3D) {
    Ellipse(left, top, ClampChartCoord(int64_t{right} + 1), ClampChartCoord(int64_t{bottom} + 1));
    return;
  }
  const double cx = (double(left) + right) / 2, cy = (double(top) + bottom) / 2;
  const double rx = (double(right) - left) / 2, ry = (double(bottom) - top) / 2;
  std::array<TPoint, 64> ring;
  for (size_t i = 0; i < ring.size(); ++i) {
    const double a = kTwoPi * double(i) / 63.0;
    ring[i] = Calculate3DPosition(cx + rx * std::cos(a), cy + ry * std::sin(a), double(z));
  }
  TCanvas& c = Ref();
  if (c.Brush().Style != bsClear) {
    // The fan of triangles from the centre covers exactly the convex ring.
    const TPen saved = c.Pen();
    c.SetPenStyle(psClear);
    c.Polygon(std::span<const TPoint>(ring.data(), 63));
    c.SetPen(saved);
  }
  if (c.Pen().Style != psClear) c.Polyline(ring);
}

void TChartCanvas3D::Circle3D(int32_t xCenter, int32_t yCenter, int32_t z, double radius) {
  if (!std::isfinite(radius)) return;
  const int64_t r = RoundChartCoord(radius);
  EllipseWithZ(ClampChartCoord(xCenter - r), ClampChartCoord(yCenter - r), ClampChartCoord(xCenter + r),
               ClampChartCoord(yCenter + r), z);
}

void TChartCanvas3D::Pie3D(int32_t xCenter, int32_t yCenter, int32_t xRadius, int32_t yRadius, int32_t z0, int32_t z1,
                           double startAngle, double endAngle, bool darkSides, bool drawSides, int32_t donutPercent,
                           IChartGradient* gradient) {
  if (!std::isfinite(startAngle) || !std::isfinite(endAngle)) return;
  const double sweepDegrees = std::abs(endAngle - startAngle) * 180.0 / std::numbers::pi / 2.0;
  const int32_t n = static_cast<int32_t>(std::min(94.0, RoundHalfEven(std::min(sweepDegrees, 1e6)))) + 2;
  const double hole = donutPercent > 0 ? std::min(donutPercent, 100) * 0.01 : 0.0;
  std::vector<TPoint> outer0, outer1, inner0, inner1;
  for (int32_t i = 0; i < n; ++i) {
    const double a = startAngle + i * (endAngle - startAngle) / (n - 1);
    const double c = std::cos(a), s = std::sin(a);
    const double x = xCenter + c * xRadius, y = yCenter - s * yRadius;
    outer0.push_back(Calculate3DPosition(x, y, double(z0)));
    outer1.push_back(Calculate3DPosition(x, y, double(z1)));
    if (hole > 0) {
      const double ix = xCenter + c * xRadius * hole, iy = yCenter - s * yRadius * hole;
      inner0.push_back(Calculate3DPosition(ix, iy, double(z0)));
      inner1.push_back(Calculate3DPosition(ix, iy, double(z1)));
    }
  }
  const TPoint centre0 = Calculate3DPosition(xCenter, yCenter, z0);
  const TPoint centre1 = Calculate3DPosition(xCenter, yCenter, z1);
  if (drawSides) {
    const TPoint screenCentre{projection_.XCenterOffset, projection_.YCenterOffset};
    if (darkSides) DarkenFace(kDarkPieSides);
    // The straight ends: from the centre (or the inner ring) to the outer ring.
    for (const int32_t i : {0, n - 1}) {
      const TPoint in0 = hole > 0 ? inner0[i] : centre0, in1 = hole > 0 ? inner1[i] : centre1;
      const bool near = i == 0 ? outer0[i].X <= screenCentre.X : outer0[i].X >= screenCentre.X;
      if (near) DrawFace(in0, outer0[i], outer1[i], in1);
    }
    // The outer wall where the ring runs left to right on the screen.
    for (int32_t i = 0; i + 1 < n;) {
      if (outer0[i + 1].X <= outer0[i].X) {
        ++i;
        continue;
      }
      int32_t j = i + 1;
      while (j + 1 < n && outer0[j + 1].X > outer0[j].X) ++j;
      std::vector<TPoint> band(outer0.begin() + i, outer0.begin() + j + 1);
      band.insert(band.end(), std::make_reverse_iterator(outer1.begin() + j + 1),
                  std::make_reverse_iterator(outer1.begin() + i));
      Polygon(band);
      i = j;
    }
    if (darkSides) RestoreFaceColor();
  }
  std::vector<TPoint> face = outer0;
  if (hole > 0) face.insert(face.end(), inner0.rbegin(), inner0.rend());
  else face.push_back(centre0);
  if (gradient) PolygonGradient(face, *gradient);
  else Polygon(face);
}

}  // namespace qira

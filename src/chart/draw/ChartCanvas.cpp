#include "chart/draw/ChartCanvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLocale>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartText.h"
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

namespace qira {

// ============================================================ [SECTION] Geometry

int32_t RoundChartCoord(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int32_t>(std::clamp(RoundHalfEven(v), -double(kChartCoordLimit), double(kChartCoordLimit)));
}

int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  // The operands here are pixel sizes and resolutions: the product stays in 64 bits.
  const int64_t p = a * b;
  const int64_t ap = p < 0 ? -p : p, ac = c < 0 ? -c : c;
  const int64_t q = (ap + ac / 2) / ac;
  return static_cast<int32_t>(std::clamp<int64_t>((p < 0) != (c < 0) ? -q : q, INT32_MIN, INT32_MAX));
}

bool PointInRect(const TRect& rect, int32_t x, int32_t y) {
  return x >= rect.Left && x <= rect.Right && y >= rect.Top && y <= rect.Bottom;
}

TRect PolygonBounds(std::span<const TPoint> points) {
  if (points.empty()) return {};
  TRect r{points[0].X, points[0].Y, points[0].X, points[0].Y};
  for (const TPoint& p : points.subspan(1)) {
    r.Left = std::min(r.Left, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Right = std::max(r.Right, p.X);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  return r;
}

TRect PointsBoundingRect(std::span<const TPoint> points) {
  if (points.empty()) return {};
  if (points.size() < 2) return {points[0].X, points[0].Y, ClampChartCoord(int64_t{points[0].X} + 1),
                                  ClampChartCoord(int64_t{points[0].Y} + 1)};
  TRect r = PolygonBounds(points);
  r.Right = ClampChartCoord(int64_t{r.Right} + 1);
  r.Bottom = ClampChartCoord(int64_t{r.Bottom} + 1);
  return r;
}

bool TriangleCrossProductNegative(const TPoint& p0, const TPoint& p1, const TPoint& p2) {
  const int64_t ax = int64_t{p0.X} - p1.X, ay = int64_t{p0.Y} - p1.Y;
  const int64_t bx = int64_t{p2.X} - p1.X, by = int64_t{p2.Y} - p1.Y;
  // Each factor is below 2^33 in magnitude, so each product fits in 64 bits.
  return ax * by - ay * bx < 0;
}

TRect OrientRectangle(const TRect& r) {
  return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
          std::max(r.Top, r.Bottom)};
}

TSize RectSize(const TRect& r) { return {r.Width(), r.Height()}; }

TPoint RectCenter(const TRect& r) {
  return {static_cast<int32_t>((int64_t{r.Left} + r.Right) / 2), static_cast<int32_t>((int64_t{r.Top} + r.Bottom) / 2)};
}

TChartCanvasRoutines& ChartCanvasRoutines() {
  static TChartCanvasRoutines routines;
  return routines;
}

// =========================================================== [SECTION] Projection

namespace {

constexpr long double kDegree = std::numbers::pi_v<long double> / 180.0L;
// A perspective divisor at or below this (a point at or behind the eye) is taken as
// this; the point then lands far out and is clamped.
constexpr long double kMinPerspectiveDivisor = 1.0L / 1024.0L;

int32_t AddOffset(int64_t a, int64_t b) { return ClampChartCoord(a + b); }
int32_t RoundToCoord(long double v) { return RoundChartCoord(static_cast<double>(v)); }

}  // namespace

void TChartProjection::Setup(const TView3DOptions* options, const TRect& bounds, bool is3D) {
  Bounds = bounds;
  Is3D = is3D;
  IsOrthogonal = false;
  Scale = 1.0;
  if (Is3D && options) {
    IsOrthogonal = options->Orthogonal();
    if (IsOrthogonal) {
      double a = options->OrthoAngle();
      if (a <= 90) {
        FX = 1.0;
      } else {
        FX = -1.0;
        a = 180 - a;
      }
      const double radians = a * std::numbers::pi / 180.0;
      FY = std::cos(radians) >= 0.01 ? std::sin(radians) / std::cos(radians) : 1.0;
    }
  }
  if (Is3D && !IsOrthogonal) {
    const long double e = options ? -static_cast<long double>(options->Elevation()) * kDegree : 0;
    const long double r = options ? -static_cast<long double>(options->Rotation()) * kDegree : 0;
    const long double t = options ? static_cast<long double>(options->Tilt()) * kDegree : 0;
    Se = std::sin(e);
    Ce = std::cos(e);
    Sr = std::sin(r);
    Cr = std::cos(r);
    St = std::sin(t);
    Ct = std::cos(t);
    HasTilt = t != 0;
    HasPerspective = false;
    PerspectiveFactor = 0;
    D0 = static_cast<double>(Cr * St);
    D1 = std::max(static_cast<double>(Cr * Ct), 0.00001);
    D2 = std::max(static_cast<double>(Se * Sr * St + Ce * Ct), 0.00001);
    D3 = static_cast<double>(Ct * Se * Sr - Ce * St);
    D4 = static_cast<double>(Ce * Sr * St - Ct * Se);
    D5 = static_cast<double>(Ce * Ct * Sr + Se * St);
  }
}

void TChartProjection::Project(const TView3DOptions* options, int32_t depth, const TRect& rect) {
  const TPoint centre = RectCenter(rect);
  XCenter = AddOffset(centre.X, RoundToInt64(RotationCenterX));
  YCenter = AddOffset(centre.Y, RoundToInt64(RotationCenterY));
  ZCenter = RoundChartCoord(depth * 0.5 + RotationCenterZ);
  XCenterOffset = XCenter;
  YCenterOffset = YCenter;
  if (options) {
    XCenterOffset = AddOffset(XCenterOffset, options->HorizOffset());
    YCenterOffset = AddOffset(YCenterOffset, options->VertOffset());
    if (Is3D) {
      Scale = RoundHalfEven(options->ZoomFloat()) * 0.01;
      TextZoom = options->ZoomText();
    }
  }
  HasPerspective = options && options->Perspective() > 0;
  if (HasPerspective) {
    const double width = std::max<int64_t>(int64_t{rect.Right} - rect.Left, 1);
    PerspectiveFactor = options->Perspective() * Scale * (1.0 / 150.0) / width;
  } else {
    PerspectiveFactor = 0;
  }
}

TPoint TChartProjection::Calculate3DPosition(int32_t x, int32_t y, int32_t z) const {
  if (IsOrthogonal) {
    const double px = ((double(x) - XCenter) + z * FX) * Scale;
    const double py = ((double(y) - YCenter) - z * FY) * Scale;
    return {AddOffset(RoundChartCoord(px), XCenterOffset), AddOffset(RoundChartCoord(py), YCenterOffset)};
  }
  if (!Is3D) return {x, y};
  return Calculate3DPosition(double(x), double(y), double(z));
}

TPoint TChartProjection::Calculate3DPosition(double x, double y, double z) const {
  if (IsOrthogonal) {
    const double px = ((x - XCenter) + z * FX) * Scale;
    const double py = ((y - YCenter) - z * FY) * Scale;
    return {AddOffset(RoundChartCoord(px), XCenterOffset), AddOffset(RoundChartCoord(py), YCenterOffset)};
  }
  if (!Is3D) return {RoundChartCoord(x), RoundChartCoord(y)};
  const long double dx = x - XCenter, dy = y - YCenter, dz = z - ZCenter;
  const long double u = dz * Cr - dx * Sr;
  long double s = Scale;
  if (HasPerspective) {
    const long double divisor = (Ce * u + dy * Se) * PerspectiveFactor + 1;
    s = Scale / std::max(divisor, kMinPerspectiveDivisor);
  }
  const long double xr = dx * Cr + dz * Sr;
  const long double yr = dy * Ce - Se * u;
  if (!HasTilt)
    return {AddOffset(RoundToCoord(xr * s), XCenterOffset), AddOffset(RoundToCoord(yr * s), YCenterOffset)};
  return {AddOffset(RoundToCoord((Ct * xr - St * yr) * s), XCenterOffset),
          AddOffset(RoundToCoord((Ct * yr + St * xr) * s), YCenterOffset)};
}

void TChartProjection::Calculate2DPosition(int32_t& x, int32_t& y, int32_t z) const {
  if (Scale == 0) return;
  const double k = 1.0 / Scale;
  if (IsOrthogonal) {
    const int32_t nx = AddOffset(RoundChartCoord((double(x) - XCenterOffset) * k - z * FX), XCenter);
    const int32_t ny = AddOffset(RoundChartCoord((double(y) - YCenterOffset) * k + z * FY), YCenter);
    x = nx;
    y = ny;
    return;
  }
  if (!Is3D || D1 == 0 || D2 == 0) return;
  const double dz = double(z) - ZCenter;
  const double x0 = x, y0 = y;
  x = AddOffset(RoundChartCoord(((x0 - XCenterOffset) * k - dz * D4 - (y0 - YCenter) * D0) / D2), XCenter);
  y = AddOffset(RoundChartCoord(((y0 - YCenterOffset) * k - dz * D5 - (x0 - XCenter) * D3) / D1), YCenter);
}

// ===================================================== [SECTION] Default chart font

TChartFontDefaults ChartFontDefaultsFor(bool japanese, const std::string& desktopFontName, int32_t desktopFontHeight,
                                        int32_t pixelsPerInch) {
  TChartFontDefaults defaults{std::string(ChartMsg::DefaultFontName), 0};
  for (char c : ChartMsg::DefaultFontSize) defaults.Size = defaults.Size * 10 + (c - '0');
  if (!japanese) return defaults;
  if (!desktopFontName.empty()) defaults.Name = desktopFontName;
  // Without a resolution the size cannot be converted: it stays.
  if (defaults.Size == 8 && pixelsPerInch > 0) defaults.Size = -MulDiv(desktopFontHeight, 72, pixelsPerInch);
  return defaults;
}

const TChartFontDefaults& ChartFontDefaults() {
  static TChartFontDefaults decided;
  static bool isDecided = false;
  static const TChartFontDefaults plain = ChartFontDefaultsFor(false, {}, 0, 0);
  if (isDecided) return decided;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return plain;
  const QFont desktop = QGuiApplication::font();
  const int32_t ppi = DefaultPixelsPerInch();
  const int32_t pixels =
      desktop.pixelSize() > 0 ? desktop.pixelSize() : RoundToInt(desktop.pointSizeF() * ppi / 72.0);
  decided = ChartFontDefaultsFor(QLocale::system().language() == QLocale::Japanese, desktop.family().toStdString(),
                                 -pixels, ppi);
  isDecided = true;
  return decided;
}

// ========================================================== [SECTION] TChartCanvas

TChartCanvas::TChartCanvas() = default;
TChartCanvas::~TChartCanvas() = default;

void TChartCanvas::ResetState() {
  font_ = nullptr;
  TCanvas* c = GetHandle();
  if (!c) return;
  c->SetPen(TPen{});
  c->SetBrush(TBrush{clWhite, bsSolid});
  TFont font;
  font.Name = ChartDefaultFontName();
  font.SetSize(ChartDefaultFontSize());
  font.Color = clBlack;
  font.Style = 0;
  c->SetFont(font);
  SetBackColor(clWhite);
  SetBackMode(bkTransparent);
  SetTextAlign(TA_LEFT | TA_TOP);
}

void TChartCanvas::AssignBrush(const TChartBrush& brush, TColor backColor) {
  AssignBrushColor(brush, brush.Color(), backColor);
}

void TChartCanvas::AssignBrushColor(const TChartBrush& brush, TColor color, TColor backColor) {
  TCanvas* c = GetHandle();
  if (!c) return;
  if (GetMonochrome()) color = clWhite;
  color = SystemColorToRGB(color);
  if (brush.HasImageGraphic()) {
    c->SetBrush(TBrush{color, bsSolid});
    c->SetBrushPattern(std::make_shared<const QImage>(
        brush.ImageIfAny()->Graphic()->ToImage().convertToFormat(QImage::Format_RGB32)));
    c->SetTextColor(color);
    SetBackMode(bkOpaque);
    SetBackColor(SystemColorToRGB(backColor));
    return;
  }
  const TBrush wanted{color, brush.Style()};
  if (!(c->Brush() == wanted) || c->BrushPattern()) c->SetBrush(wanted);
  if (backColor == clNone) {
    SetBackMode(bkTransparent);
  } else {
    SetBackMode(bkOpaque);
    SetBackColor(SystemColorToRGB(backColor));
  }
}

void TChartCanvas::AssignFont(IChartFont& font) {
  TCanvas* c = GetHandle();
  if (c) {
    TFont f = font.PlatformFont();
    f.Color = SystemColorToRGB(f.Color);
    if (fontZoom_ != 100) f.SetSize(RoundToInt(f.Size() * fontZoom_ * 0.01));
    if (GetMonochrome()) f.Color = clBlack;
    c->SetFont(f);
    c->SetTextCharacterExtra(font.InterCharSize());
  }
  font_ = &font;
  font.SetCanvas(this);
}

void TChartCanvas::TextOutHtml(int32_t x, int32_t y, std::string_view text) { HtmlTextOut(*this, x, y, text); }

TRect TChartCanvas::TextRect(int32_t x, int32_t y, std::string_view text) {
  const int64_t w = TextWidth(text);
  const int64_t h = TextHeight(text);
  const uint32_t horizontal = GetTextAlign() & TA_CENTER;
  if (horizontal == TA_RIGHT) return {ClampChartCoord(x - w), y, x, ClampChartCoord(y + h)};
  if (horizontal == TA_CENTER)
    return {ClampChartCoord(x - w / 2), y, ClampChartCoord(x + w / 2), ClampChartCoord(y + h)};
  return {x, y, ClampChartCoord(x + w), ClampChartCoord(y + h)};
}

// ============================================================= [SECTION] TCanvas3D

TCanvas3D::TCanvas3D() = default;
TCanvas3D::~TCanvas3D() = default;

void TCanvas3D::Begin3DSuspension() {
  if (suspensionCount_ == 0) Suspend3D();
  ++suspensionCount_;
}

void TCanvas3D::End3DSuspension() {
  if (suspensionCount_ == 0) return;  // unmatched: nothing to resume
  if (--suspensionCount_ == 0) Resume3D();
}

TRect TCanvas3D::ProjectRect(const TRect& r, int32_t z) const {
  const TPoint a = Calculate3DPosition(r.Left, r.Top, z);
  const TPoint b = Calculate3DPosition(r.Right, r.Bottom, z);
  return {a.X, a.Y, b.X, b.Y};
}

TRect TCanvas3D::ProjectRectBounds(const TRect& r, int32_t z) const {
  const TFourPoints p = RectCorners3D(r, z);
  return PolygonBounds(p);
}

TFourPoints TCanvas3D::RectCorners3D(const TRect& r, int32_t z) const {
  return {Calculate3DPosition(r.Left, r.Top, z), Calculate3DPosition(r.Right, r.Top, z),
          Calculate3DPosition(r.Right, r.Bottom, z), Calculate3DPosition(r.Left, r.Bottom, z)};
}

void TCanvas3D::DrawGraphicInRect3D(const TRect& rect, const TGraphic& graphic, int32_t depth, int32_t mode) {
  TCanvas* c = GetHandle();
  if (!c || graphic.Empty()) return;
  c->SetPenStyle(psClear);
  const QImage image = graphic.ToImage().convertToFormat(QImage::Format_RGB32);
  const int32_t rows = image.height(), columns = image.width();
  if (rows <= 0 || columns <= 0) return;
  const auto boundary = [](int32_t from, int32_t to, int32_t i, int32_t n) {
    return ClampChartCoord(from + int64_t{RoundToInt(double(i) * (double(to) - from) / n)});
  };
  const auto corner = [&](int32_t u, int32_t v) {
    switch (mode) {
      case 0: return Calculate3DPosition(depth, v, u);
      case 1: return Calculate3DPosition(u, depth, v);
      default: return Calculate3DPosition(u, v, depth);
    }
  };
  for (int32_t row = 0; row < rows; ++row) {
    const int32_t v0 = boundary(rect.Top, rect.Bottom, row, rows);
    const int32_t v1 = boundary(rect.Top, rect.Bottom, row + 1, rows);
    const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(row));
    for (int32_t column = 0; column < columns; ++column) {
      const int32_t u0 = boundary(rect.Left, rect.Right, column, columns);
      const int32_t u1 = boundary(rect.Left, rect.Right, column + 1, columns);
      c->SetBrush(TBrush{PixelToColor(line[column]), bsSolid});
      const TPoint cell[4] = {corner(u0, v0), corner(u1, v0), corner(u1, v1), corner(u0, v1)};
      Polygon(cell);
    }
  }
}

}  // namespace qira

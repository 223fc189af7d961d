#include "chart/engine/SeriesPointer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "chart/draw/ChartMessages.h"

namespace qira {

// ==================================================== [SECTION] Series groups

TSeriesGroupActive TSeriesGroup::Active() const {
  const auto active = std::count_if(Series.begin(), Series.end(), [](const TChartSeries* s) { return s->Active(); });
  if (active == static_cast<long>(Series.size())) return gaYes;
  return active == 0 ? gaNo : gaSome;
}

void TSeriesGroup::SetActive(TSeriesGroupActive value) {
  if (value == gaSome || value == Active()) return;
  for (TChartSeries* s : Series) s->SetActive(value == gaYes);
}

TSeriesGroup& TSeriesGroups::Add() {
  // The new group already counts as a member when it takes its name.
  fItems.push_back(std::make_unique<TSeriesGroup>("Group" + std::to_string(fItems.size() + 1)));
  return *fItems.back();
}

// ==================================================== [SECTION] Series pointer

TSeriesPointer::TSeriesPointer(IPointerSeries* series)
    : TChartCustomShapeBrushPen(nullptr), fSeries(series),
      fShadow(std::make_unique<TChartShadow>()), fGradient(std::make_unique<TChartGradient>()) {
  fShadow->SetDefaults(clBlack, 3);
  fShadow->SetVisible(false);
}

void TSeriesPointer::SetHorizSize(int32_t value) {
  if (value < 1) throw ChartException(std::string(ChartMsg::PointerSize));
  Change(fHorizSize, value);
}

void TSeriesPointer::SetVertSize(int32_t value) {
  if (value < 1) throw ChartException(std::string(ChartMsg::PointerSize));
  Change(fVertSize, value);
}

void TSeriesPointer::Assign(const TSeriesPointer& source) {
  Style = source.Style;
  InflateMargins = source.InflateMargins;
  Draw3D = source.Draw3D;
  Dark3D = source.Dark3D;
  Transparency = source.Transparency;
  fHorizSize = source.fHorizSize;
  fVertSize = source.fVertSize;
  fShadow->Assign(*source.fShadow);
  fGradient->Assign(*source.fGradient);
  Brush().Assign(source.Brush());
  Pen().Assign(source.Pen());
  SetVisible(source.Visible());
}

void TSeriesPointer::PrepareCanvas(TCanvas3D& canvas, TColor colour) const {
  if (!Pen().Visible())
    canvas.AssignPenColor(Pen(), Pen().Color());  // a hidden chart pen selects a clear pen
  else
    canvas.AssignPenColor(Pen(), Pen().Color() == clChartDefault ? colour : Pen().Color());
  TColor fill = Brush().Color();
  if (fill == clChartDefault) fill = Brush().Style() == bsSolid ? colour : Brush().Color();
  canvas.AssignBrushColor(Brush(), fill, clNone);
}

void TSeriesPointer::CalcHorizMargins(int32_t& a, int32_t& b) const {
  if (!Visible() || !InflateMargins) return;
  a = std::max(a, fHorizSize + 1);
  b = std::max(b, fHorizSize + 1);
}

void TSeriesPointer::CalcVerticalMargins(int32_t& a, int32_t& b) const {
  if (!Visible() || !InflateMargins) return;
  a = std::max(a, fVertSize + 1);
  b = std::max(b, fVertSize + 1);
}

void TSeriesPointer::DrawPointer(int32_t x, int32_t y, TColor colour, TSeriesPointerStyle style) {
  IAxisPanel* chart = fSeries ? fSeries->PointerChart() : nullptr;
  TCanvas3D* canvas = chart ? chart->Canvas() : nullptr;
  if (canvas == nullptr) return;
  PrepareCanvas(*canvas, colour);
  Draw(*canvas, chart->View3D(), x, y, fHorizSize, fVertSize, colour, style);
}

void TSeriesPointer::Draw(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t horizSize, int32_t vertSize,
                          TColor colour, TSeriesPointerStyle style) {
  if (style == psNothing) return;
  // Keeps every corner inside the canvas range, whatever pixel the series computed.
  x = ClampChartCoord(x);
  y = ClampChartCoord(y);
  const int32_t h = std::clamp(horizSize, 0, kChartCoordLimit);
  const int32_t v = std::clamp(vertSize, 0, kChartCoordLimit);
  const int32_t z0 = fSeries ? fSeries->StartZ() : 0;
  const int32_t z1 = fSeries ? fSeries->EndZ() : 0;

  if (fShadow->Visible() && fShadow->Size() != 0) {
    canvas.AssignPenColor(Pen(), fShadow->Color());
    canvas.AssignBrushColor(Brush(), fShadow->Color(), clNone);
    DrawShape(canvas, is3D, x + fShadow->HorizSize(), y + fShadow->VertSize(), h, v, style, z0, z1);
    PrepareCanvas(canvas, colour);
  }
  std::unique_ptr<IChartBlend> blend;
  if (Transparency > 0) {
    TRect bounds{x - h, y - v, x + h + 1, y + v + 1};
    if (is3D && Draw3D) bounds = canvas.ProjectRectBounds(bounds, z0);
    blend = canvas.BeginBlending(bounds, Transparency);
  }
  DrawShape(canvas, is3D, x, y, h, v, style, z0, z1);
  if (fGradient->Visible()) FillGradient(canvas, is3D, x, y, h, v, style, z0);
  if (blend) canvas.EndBlending(std::move(blend));
}

void TSeriesPointer::FillGradient(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t h, int32_t v,
                                  TSeriesPointerStyle style, int32_t z) {
  const int32_t l = x - h, t = y - v, r = x + h, b = y + v;
  const TRect box{l, t, r + 1, b + 1};
  // In 3D the shape's front face lies at the series' start depth: the gradient
  // fills its projected bounds, clipped to the projected outline.
  const TRect fill = is3D ? canvas.ProjectRectBounds(box, z) : box;
  auto clipPolygon = [&](std::initializer_list<TPoint> points) {
    std::vector<TPoint> p(points);
    if (is3D)
      for (TPoint& q : p) q = canvas.Calculate3DPosition(q.X, q.Y, z);
    canvas.ClipPolygon(p);
  };
  switch (style) {
    case psRectangle: canvas.ClipRectangle(fill); break;
    case psCircle: canvas.ClipEllipse(fill); break;
    case psTriangle: clipPolygon({{l, b}, {r, b}, {x, t}}); break;
    case psDownTriangle: clipPolygon({{l, t}, {r, t}, {x, b}}); break;
    case psLeftTriangle: clipPolygon({{l, y}, {r, t}, {r, b}}); break;
    case psRightTriangle: clipPolygon({{r, y}, {l, t}, {l, b}}); break;
    case psDiamond: clipPolygon({{l, y}, {x, t}, {r, y}, {x, b}}); break;
    case psHexagon: clipPolygon({{x, t}, {l, y - v / 2}, {l, y + v / 2}, {x, b}, {r, y + v / 2}, {r, y - v / 2}}); break;
    default: return;
  }
  fGradient->Draw(canvas, fill);
  canvas.UnClipRectangle();
}

void TSeriesPointer::DrawShape(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t h, int32_t v,
                               TSeriesPointerStyle style, int32_t z0, int32_t z1) {
  const int32_t l = x - h, t = y - v, r = x + h, b = y + v;
  auto polygon = [&](std::span<const TPoint> p) {
    if (is3D)
      canvas.PolygonWithZ(p, z0);
    else
      canvas.Polygon(p);
  };
  auto cross = [&] {
    if (is3D) {
      canvas.HorizLine3D(l, r + 1, y, z0);
      canvas.VertLine3D(x, t, b + 1, z0);
    } else {
      canvas.DoHorizLine(l, r + 1, y);
      canvas.DoVertLine(x, t, b + 1);
    }
  };
  auto diagonals = [&] {
    if (is3D) {
      canvas.LineWithZ(l, t, r + 1, b + 1, z0);
      canvas.LineWithZ(r, t, l - 1, b + 1, z0);
    } else {
      canvas.Line(l, t, r + 1, b + 1);
      canvas.Line(r, t, l - 1, b + 1);
    }
  };
  switch (style) {
    case psRectangle:
      if (!is3D)
        canvas.Rectangle(l, t, r + 1, b + 1);
      else if (Draw3D)
        canvas.Cube(l, r, t, b, z0, z1, Dark3D);
      else
        canvas.RectangleWithZ({l, t, r + 1, b + 1}, z0);
      break;
    case psCircle:
      if (!is3D)
        canvas.Ellipse(l, t, r + 1, b + 1);
      else if (Draw3D && canvas.SupportsFullRotation())
        canvas.Circle3D(x, y, z0, h);
      else
        canvas.EllipseWithZ(l, t, r + 1, b + 1, z0);
      break;
    case psTriangle:
    case psDownTriangle:
      if (is3D && Draw3D) {
        canvas.Pyramid(true, l, style == psTriangle ? t : b, r, style == psTriangle ? b : t, z0, z1, Dark3D);
      } else if (style == psTriangle) {
        polygon(std::array<TPoint, 3>{{{l, b}, {r, b}, {x, t}}});
      } else {
        polygon(std::array<TPoint, 3>{{{l, t}, {r, t}, {x, b}}});
      }
      break;
    case psLeftTriangle: polygon(std::array<TPoint, 3>{{{l, y}, {r, t}, {r, b}}}); break;
    case psRightTriangle: polygon(std::array<TPoint, 3>{{{r, y}, {l, t}, {l, b}}}); break;
    case psCross: cross(); break;
    case psDiagCross: diagonals(); break;
    case psStar:
      cross();
      diagonals();
      break;
    case psDiamond: polygon(std::array<TPoint, 4>{{{l, y}, {x, t}, {r, y}, {x, b}}}); break;
    case psSmallDot:
      if (TCanvas* dc = canvas.GetHandle()) {
        if (is3D)
          canvas.Pixel3D(x, y, z0, dc->Brush().Color);
        else
          canvas.SetPixel(x, y, dc->Brush().Color);
      }
      break;
    case psHexagon:
      polygon(std::array<TPoint, 6>{{{x, t}, {l, y - v / 2}, {l, y + v / 2}, {x, b}, {r, y + v / 2}, {r, y - v / 2}}});
      break;
    case psNothing: break;
  }
}

// =========================================================== [SECTION] Callout

TCallout::TCallout(IPointerSeries* series) : TSeriesPointer(series) {
  Style = psRectangle;
  Draw3D = false;
  InflateMargins = true;
}

TMarksCallout::TMarksCallout(IPointerSeries* series) : TCallout(series) { SetVisible(false); }

}  // namespace qira

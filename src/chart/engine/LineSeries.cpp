#include "chart/engine/LineSeries.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "chart/draw/ChartGradients.h"
#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/engine/AxisPanel.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/SeriesDrawing.h"  // Reaches up: a line series walks the visible points to draw them.
#include "platform/Rounding.h"

namespace qira {

namespace {
// Every darkening of a ribbon's side.
constexpr int32_t kDarken = 64;
}  // namespace

// ================================== [SECTION] TCustomLineSeries and TCustomSeries

TCustomSeries::TCustomSeries() : Pointer(this) {
  DrawBetweenPoints = true;
  Shadow.SetDefaults(clGray, 0);
  Shadow.SetVisible(false);
  Gradient.SetVisible(false);
}

TCustomSeries::~TCustomSeries() = default;

void TCustomSeries::Assign(const TCustomSeries& source) {
  TChartSeries::Assign(source);
  TreatNulls = source.TreatNulls;
  DrawArea = source.DrawArea;
  DrawLine = source.DrawLine;
  ClickableLine = source.ClickableLine;
  ColorEachLine = source.ColorEachLine;
  Dark3D = source.Dark3D;
  Stairs = source.Stairs;
  InvertedStairs = source.InvertedStairs;
  LineHeight = source.LineHeight;
  SetLineBrush(source.LineBrush());
  LinePen().Assign(source.LinePen());
  AreaColor = source.AreaColor;
  AreaBrush.Assign(source.AreaBrush);
  AreaLinesPen.Assign(source.AreaLinesPen);
  OutLine.Assign(source.OutLine);
  Pointer.Assign(source.Pointer);
  Shadow.Assign(source.Shadow);
  Gradient.Assign(source.Gradient);
  Transparency = source.Transparency;
  fStacked = source.fStacked;
}

void TCustomSeries::SetStacked(TCustomSeriesStack value) {
  if (value == fStacked) return;
  fStacked = value;
  if (IAxisPanel* chart = ParentChart())
    for (int32_t i = 0; i < chart->SeriesCount(); ++i)
      if (auto* s = dynamic_cast<TCustomSeries*>(&chart->SeriesAt(i)); s && s != this && SameClass(*s))
        s->fStacked = value;
  Repaint();
}

bool TCustomSeries::SameClass(const TChartSeries& other) const {
  if (IsOfThisClass(other)) return true;
  const auto* series = dynamic_cast<const TCustomSeries*>(&other);
  return series != nullptr && series->IsOfThisClass(*this);
}

// Sum of the values at index of the active series of the same class before this one
// (every one for the 100% total) whose value has the same sign.
double TCustomSeries::OriginSum(int32_t index, double& total) const {
  double sum = 0;
  total = 0;
  IAxisPanel* chart = ParentChart();
  if (chart == nullptr) return 0;
  const double own = MandatoryValueList().Value(index);
  bool before = true;
  for (int32_t i = 0; i < chart->SeriesCount(); ++i) {
    auto* s = dynamic_cast<TCustomSeries*>(&chart->SeriesAt(i));
    if (s == this) {
      before = false;
      total += std::fabs(own);
      continue;
    }
    if (s == nullptr || !s->Active() || !SameClass(*s) || index >= s->Count()) continue;
    const double v = s->MandatoryValueList().Value(index);
    total += std::fabs(v);
    if (before && ((own >= 0 && v > 0) || (own < 0 && v < 0))) sum += v;
  }
  return sum;
}

int32_t TCustomSeries::CalcValuePos(int32_t index) const {
  const TChartAxis* axis = YMandatory() ? GetVertAxis() : GetHorizAxis();
  if (axis == nullptr) return 0;
  const double value = MandatoryValueList().Value(index);
  if (fStacked != cssStack && fStacked != cssStack100) return axis->CalcPosValue(value);
  double total = 0;
  const double sum = OriginSum(index, total) + value;
  if (fStacked == cssStack) {
    const int32_t p = axis->CalcPosValue(sum);
    return YMandatory() ? std::max(p, axis->IStartPos()) : std::min(p, axis->IEndPos());
  }
  return total == 0 ? axis->IEndPos() : axis->CalcPosValue(sum * 100 / total);
}

int32_t TCustomSeries::CalcZeroPos(int32_t index) const {
  const TChartAxis* axis = YMandatory() ? GetVertAxis() : GetHorizAxis();
  if (axis == nullptr) return 0;
  if (fStacked == cssStack || fStacked == cssStack100) {
    double total = 0;
    const double sum = OriginSum(index, total);
    if (fStacked == cssStack100) return total == 0 ? axis->IEndPos() : axis->CalcPosValue(sum * 100 / total);
    return axis->CalcPosValue(sum);
  }
  const bool startSide = YMandatory() ? axis->Inverted() : !axis->Inverted();
  return startSide ? axis->IStartPos() : axis->IEndPos();
}

int32_t TCustomSeries::CalcXPos(int32_t index) const {
  return YMandatory() ? TChartSeries::CalcXPos(index) : CalcValuePos(index);
}

int32_t TCustomSeries::CalcYPos(int32_t index) const {
  return YMandatory() ? CalcValuePos(index) : TChartSeries::CalcYPos(index);
}

TPoint TCustomSeries::PointPixel(int32_t index) const {
  TPoint p;
  CalcPosition(index, p.X, p.Y);
  return p;
}

void TCustomSeries::CalcZOrder() {
  TCustomAxisPanel* chart = ChartPanel();
  if (chart != nullptr && chart->View3D() && ZOrder() == -1 && (fStacked == cssStack || fStacked == cssStack100)) {
    for (int32_t i = 0; i < chart->SeriesCount(); ++i) {
      TChartSeries& s = chart->Series(i);
      if (&s == this) break;
      if (s.Active() && SameClass(s)) {
        // Not the stack's first series: on the stack's Z order.
        SetComputedZOrder(std::max(chart->MaxZOrder(), 0));
        return;
      }
    }
  }
  TChartSeries::CalcZOrder();
}

double TCustomSeries::StackedMax(bool isMax) const {
  if (fStacked == cssStack100) return isMax ? 100 : 0;
  TChartValueList& list = MandatoryValueList();
  bool first = true;
  double result = 0;
  for (int32_t i = 0; i < Count(); ++i) {
    if (IsNull(i) && TreatNulls != tnIgnore) continue;
    double v = list.Value(i);
    if (fStacked == cssStack) {
      double total = 0;
      v += OriginSum(i, total);
    }
    if (first || (isMax ? v > result : v < result)) result = v;
    first = false;
  }
  return result;
}

double TCustomSeries::MaxXValue() const { return YMandatory() ? TChartSeries::MaxXValue() : StackedMax(true); }
double TCustomSeries::MinXValue() const { return YMandatory() ? TChartSeries::MinXValue() : StackedMax(false); }
double TCustomSeries::MaxYValue() const { return YMandatory() ? StackedMax(true) : TChartSeries::MaxYValue(); }
double TCustomSeries::MinYValue() const { return YMandatory() ? StackedMax(false) : TChartSeries::MinYValue(); }

int32_t TCustomSeries::MarksArrowSpace() const {
  const TMarksCallout* callout = Marks().CalloutIfAny();
  return callout ? callout->Length + callout->Distance : kMarksArrowLength;
}

void TCustomSeries::CalcHorizMargins(int32_t& left, int32_t& right) const {
  left = right = 0;
  Pointer.CalcHorizMargins(left, right);
  if (DrawLine && Stairs) left = std::max(left, LinePen().Width()), right = std::max(right, LinePen().Width());
  if (OutLine.Visible()) left = std::max(left, OutLine.Width()), right = std::max(right, OutLine.Width());
  if (Marks().Visible() && !YMandatory()) right = std::max(left, MarksArrowSpace());
}

void TCustomSeries::CalcVerticalMargins(int32_t& top, int32_t& bottom) const {
  top = bottom = 0;
  Pointer.CalcVerticalMargins(top, bottom);
  if (DrawLine && Stairs) top = std::max(top, LinePen().Width()), bottom = std::max(bottom, LinePen().Width());
  if (OutLine.Visible()) top = std::max(top, OutLine.Width()), bottom = std::max(bottom, OutLine.Width());
  if (Marks().Visible() && YMandatory()) top = std::max(bottom, MarksArrowSpace());
  if (ParentChart() && ParentChart()->View3D() && !DrawArea) bottom = std::max(bottom, LineHeight);
}

// [SECTION] drawing

TColor TCustomSeries::LineColour(TColor pointColour) const {
  if (fPassColour != clNone || (Pointer.Visible() && !ColorEachLine)) return DrawColour();
  return pointColour;
}

TColor TCustomSeries::AreaFill(TColor pointColour) const {
  if (AreaColor != clChartDefault && !ColorEachPoint()) return AreaColor;
  return fPassColour != clNone ? fPassColour : pointColour;
}

void TCustomSeries::StartPass() {
  const bool forward = DrawValuesForward();
  fFirstDrawn = forward ? FirstVisibleIndex() : LastVisibleIndex();
  fLastDrawn = forward ? LastVisibleIndex() : FirstVisibleIndex();
  fPrevious = {};
}

void TCustomSeries::DoBeforeDrawValues() {
  TChartSeries::DoBeforeDrawValues();
  StartPass();
}

void TCustomSeries::DrawAllValues() {
  IAxisPanel* chart = ParentChart();
  if (chart == nullptr || chart->Canvas() == nullptr) return;
  auto pass = [&] {
    StartPass();
    if (fFirstDrawn < 0) return;
    ForEachVisibleIndex(*this, [&](int32_t i) { DrawValue(i); });
  };
  if (Shadow.Visible() && Shadow.Size() != 0) {
    const bool pointer = Pointer.Visible();
    fPassColour = Shadow.Color();
    Pointer.SetVisible(false);
    TChartAxis* h = GetHorizAxis();
    TChartAxis* v = GetVertAxis();
    const TScopeExit restore([&] {
      if (h) h->SetPositions(h->IStartPos() - Shadow.HorizSize(), h->IEndPos() - Shadow.HorizSize());
      if (v) v->SetPositions(v->IStartPos() - Shadow.VertSize(), v->IEndPos() - Shadow.VertSize());
      fPassColour = clNone;
      Pointer.SetVisible(pointer);
    });
    if (h) h->SetPositions(h->IStartPos() + Shadow.HorizSize(), h->IEndPos() + Shadow.HorizSize());
    if (v) v->SetPositions(v->IStartPos() + Shadow.VertSize(), v->IEndPos() + Shadow.VertSize());
    pass();
  }
  if (OutLine.Visible()) {
    TChartPen saved;
    saved.Assign(LinePen());
    const bool pointer = Pointer.Visible();
    LinePen().Assign(OutLine);
    LinePen().SetWidth(saved.Width() * 2 + OutLine.Width() + 1);
    fPassColour = OutLine.Color();
    Pointer.SetVisible(false);
    const TScopeExit restore([&] {
      LinePen().Assign(saved);
      fPassColour = clNone;
      Pointer.SetVisible(pointer);
    });
    pass();
  }
  pass();
}

// The previous point of the first drawn point when points lie before the axis start:
// on the chart rectangle's edge at the interpolated height.
TPoint TCustomSeries::EdgePoint(int32_t index) const {
  const TPoint c = PointPixel(index);
  const TChartAxis* h = GetHorizAxis();
  const TChartAxis* v = GetVertAxis();
  if (h == nullptr || v == nullptr || !YMandatory()) return c;
  const TRect r = ParentChart()->ChartRect();
  const int32_t edgeX = h->Inverted() ? r.Right : r.Left;
  if (Stairs) return {edgeX, c.Y};
  const double edge = h->CalcPosPoint(edgeX);
  const double x0 = XValue(index - 1), x1 = XValue(index);
  double y0 = YValue(index - 1), y1 = YValue(index);
  double y = y1;
  if (x1 != x0 && std::isfinite(x1 - x0)) {
    const double t = (edge - x0) / (x1 - x0);
    if (v->Logarithmic()) {
      y = y0 > 0 && y1 > 0 ? std::exp(std::log(y0) + t * (std::log(y1) - std::log(y0))) : 0;
    } else {
      y = y0 + t * (y1 - y0);
    }
  }
  // A non-finite neighbour leaves no height to interpolate: the current point's.
  if (!std::isfinite(y)) return {edgeX, c.Y};
  return {edgeX, v->CalcYPosValue(y)};
}

void TCustomSeries::DrawValue(int32_t index) {
  IAxisPanel* chart = ParentChart();
  if (chart == nullptr || chart->Canvas() == nullptr) return;
  TCanvas3D& canvas = *chart->Canvas();
  const TColor colour = ValueColor(index);
  const bool null = colour == clNone;
  TPoint c = PointPixel(index);
  if (null && TreatNulls == tnSkip) {
    if (fPrevious.Index >= 0) {
      c = fPrevious.Pixel;
    } else {
      for (int32_t i = index; i <= LastVisibleIndex(); ++i)
        if (!IsNull(i)) {
          c = PointPixel(i);
          break;
        }
    }
  }
  if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushColor(colour == clNone ? DrawColour() : colour);
  const int32_t origin = CalcZeroPos(index);

  if (index == fFirstDrawn) {
    if (Dark3D) {
      // How steeply the depth runs on screen: ribbons rising more steeply show
      // their underside.
      const TCustomAxisPanel* panel = ChartPanel();
      const int32_t depth = panel ? panel->SeriesDepth() : 0;
      fDarkSlope = depth == 0 ? 1 : std::fabs(static_cast<double>(panel->SeriesHeight()) / depth);
    }
    TPrevious start{-1, c, origin, colour};
    if (FirstVisibleIndex() > 0 && index == FirstVisibleIndex() && !DrawArea) start.Pixel = EdgePoint(index);
    if (!null) DrawSegment(start, index, c, origin, colour);
    // Seen from any side, an area's first point needs its side closed too.
    if (DrawArea && chart->View3D() && canvas.SupportsFullRotation()) {
      if (YMandatory())
        canvas.RectangleZ(c.X, std::min(c.Y, origin), std::max(c.Y, origin), StartZ(), EndZ());
      else
        canvas.RectangleY(std::min(c.X, origin), c.Y, std::max(c.X, origin), StartZ(), EndZ());
    }
  } else {
    DrawSegment(fPrevious, index, c, origin, colour);
  }
  if (!(null && TreatNulls == tnSkip) || fPrevious.Index < 0) fPrevious = {index, c, origin, colour};
}

std::vector<TPoint> TCustomSeries::SegmentPolygon(const TPoint& p, const TPoint& c, int32_t p0, int32_t c0) const {
  if (YMandatory()) return {p, c, {c.X, c0}, {p.X, p0}};
  return {p, c, {c0, c.Y}, {p0, p.Y}};
}

TColor TCustomSeries::DrawColour() const { return fPassColour != clNone ? fPassColour : SeriesColor(); }

// A ribbon from P to C across the series' depth, with the band below it.
void TCustomSeries::DrawRibbon3D(const TPoint& p, const TPoint& c, int32_t index, TColor ribbon) {
  TCanvas3D& canvas = *ParentChart()->Canvas();
  TCanvas* dc = canvas.GetHandle();
  const int32_t z0 = StartZ(), z1 = EndZ();
  auto blended = [&](std::span<const TPoint> corners, auto&& draw) {
    std::unique_ptr<IChartBlend> blend;
    if (Transparency > 0) blend = canvas.BeginBlending(PointsBoundingRect(corners), Transparency);
    draw();
    if (blend) canvas.EndBlending(std::move(blend));
  };
  if (LineHeight != 0 && !DrawArea) {
    const std::array<TPoint, 4> band{{p, c, {c.X, c.Y + LineHeight}, {p.X, p.Y + LineHeight}}};
    std::array<TPoint, 4> front;
    for (size_t i = 0; i < 4; ++i) front[i] = canvas.Calculate3DPosition(band[i].X, band[i].Y, z0);
    blended(front, [&] { canvas.PolygonWithZ(band, z0); });
    if (index == fLastDrawn) {
      // The band's end: a plane across the depth closes it.
      const std::array<TPoint, 4> end{{canvas.Calculate3DPosition(c.X, c.Y, z0),
                                       canvas.Calculate3DPosition(c.X, c.Y, z1),
                                       canvas.Calculate3DPosition(c.X, c.Y + LineHeight, z1),
                                       canvas.Calculate3DPosition(c.X, c.Y + LineHeight, z0)}};
      blended(end, [&] { canvas.RectangleZ(c.X, c.Y, c.Y + LineHeight, z0, z1); });
    }
  }
  if (Dark3D && !canvas.SupportsFullRotation() && c.X != p.X && fDarkSlope != 0 &&
      fDarkSlope < static_cast<double>(p.Y - c.Y) / (c.X - p.X))
    if (dc) dc->SetBrushColor(DarkenColor(ribbon, kDarken));
  const std::array<TPoint, 4> corners{{canvas.Calculate3DPosition(p.X, p.Y, z0),
                                       canvas.Calculate3DPosition(c.X, c.Y, z0),
                                       canvas.Calculate3DPosition(c.X, c.Y, z1),
                                       canvas.Calculate3DPosition(p.X, p.Y, z1)}};
  blended(corners, [&] {
    if (GetGradient().Visible())
      canvas.PolygonGradient(corners, GetGradient());
    else
      canvas.PlaneFour3D(p, c, z0, z1);
  });
}

void TCustomSeries::DrawStairs3D(const TPoint& p, const TPoint& c, TColor ribbon) {
  TCanvas3D& canvas = *ParentChart()->Canvas();
  TCanvas* dc = canvas.GetHandle();
  const int32_t z0 = StartZ(), z1 = EndZ();
  // The riser across the depth (darkened) and the tread; exchanged for a series
  // whose values run along X.
  const auto riser = [&](int32_t at, int32_t from, int32_t to) {
    if (Dark3D && dc) dc->SetBrushColor(DarkenColor(ribbon, kDarken));
    if (YMandatory())
      canvas.RectangleZ(at, from, to, z0, z1);
    else
      canvas.RectangleY(from, at, to, z0, z1);
    if (dc) dc->SetBrushColor(ribbon);
  };
  const auto tread = [&](int32_t level, int32_t from, int32_t to) {
    if (YMandatory())
      canvas.RectangleY(from, level, to, z0, z1);
    else
      canvas.RectangleZ(level, from, to, z0, z1);
  };
  const bool yMandatory = YMandatory();
  const int32_t pa = yMandatory ? p.X : p.Y, pb = yMandatory ? p.Y : p.X;
  const int32_t ca = yMandatory ? c.X : c.Y, cb = yMandatory ? c.Y : c.X;
  if (InvertedStairs) {
    riser(pa, pb, cb);
    tread(cb, pa, ca);
  } else {
    tread(pb, pa, ca);
    riser(ca, pb, cb);
  }
}

bool TCustomSeries::EndOfRun(int32_t index) const {
  if (index == fLastDrawn) return true;
  if (TreatNulls != tnDontPaint) return false;
  return (index + 1 < Count() && IsNull(index + 1)) || (index > 0 && IsNull(index - 1));
}

void TCustomSeries::DrawAreaSegment(const TPrevious& prev, int32_t index, const TPoint& c, int32_t origin, TColor colour) {
  IAxisPanel* chart = ParentChart();
  TCanvas3D& canvas = *chart->Canvas();
  TCanvas* dc = canvas.GetHandle();
  const bool is3D = chart->View3D();
  const TPoint p = prev.Pixel;
  const TColor fill = AreaFill(colour);
  canvas.AssignBrushColor(AreaBrush, fill, clWhite);
  if (AreaLinesPen.Visible() && AreaLinesPen.Color() != clChartDefault)
    canvas.AssignPen(AreaLinesPen);
  else
    canvas.AssignPenColor(LinePen(), LineColour(colour));
  const int32_t p0 = prev.Index >= 0 ? prev.Origin : origin;
  const int32_t z0 = StartZ(), z1 = EndZ();
  if (is3D && EndOfRun(index)) {
    if (Dark3D && dc) dc->SetBrushColor(DarkenColor(fill, kDarken));
    if (YMandatory())
      canvas.RectangleZ(c.X, std::min(c.Y, origin), std::max(c.Y, origin), z0, z1);
    else
      canvas.RectangleY(std::min(c.X, origin), c.Y, std::max(c.X, origin), z0, z1);
    if (dc) dc->SetBrushColor(fill);
  }
  // The front face stands at the depth the view looks at.
  const TCustomAxisPanel* panel = ChartPanel();
  const int32_t rotation = panel ? const_cast<TCustomAxisPanel*>(panel)->View3DOptions().Rotation() : 0;
  const int32_t front = rotation < 91 || rotation > 269 ? z0 : z1;
  const bool bothDepths = canvas.SupportsFullRotation();
  std::unique_ptr<IChartBlend> blend;
  if (Stairs) {
    TRect box;
    if (YMandatory()) {
      const int32_t level = InvertedStairs ? c.Y : p.Y;
      const int32_t base = InvertedStairs ? origin : p0;
      box = {p.X, std::min(level, base), c.X + 1, std::max(level, base) + 1};
    } else {
      const int32_t level = InvertedStairs ? c.X : p.X;
      const int32_t base = InvertedStairs ? origin : p0;
      box = {std::min(level, base), p.Y + 1, std::max(level, base) + 1, c.Y};
    }
    if (Transparency > 0) blend = canvas.BeginBlending(is3D ? canvas.ProjectRectBounds(box, z0) : box, Transparency);
    if (is3D) {
      canvas.RectangleWithZ(box, z0);
      if (bothDepths) canvas.RectangleWithZ(box, z1);
    } else if (GetGradient().Visible()) {
      GetGradient().Draw(canvas, box, 0);
      if (dc && dc->Pen().Style != psClear) {
        dc->SetBrushStyle(bsClear);
        canvas.RectangleRect(box);
      }
    } else {
      canvas.RectangleRect(box);
    }
    if (blend) canvas.EndBlending(std::move(blend));
    if (LinePen().Visible()) {
      // The step's outline; normal stairs redraw the riser into P, which this
      // segment's fill has covered. Drawn in (along, across) pixels: a series whose
      // values run along X steps across, with the two coordinates exchanged.
      canvas.AssignPen(LinePen());
      const bool alongX = YMandatory();
      auto along = [alongX](const TPoint& q) { return alongX ? q.X : q.Y; };
      auto across = [alongX](const TPoint& q) { return alongX ? q.Y : q.X; };
      auto line = [&](int32_t a0, int32_t c0, int32_t a1, int32_t c1) {
        if (alongX)
          canvas.LineWithZ(a0, c0, a1, c1, z0);
        else
          canvas.LineWithZ(c0, a0, c1, a1, z0);
      };
      if (InvertedStairs) {
        line(along(p), across(c), along(c), across(c));
        if (index >= FirstVisibleIndex() + 2) line(along(p), across(p), along(p), across(c));
      } else {
        line(along(p), across(p), along(c), across(p));
        if (index < LastVisibleIndex()) line(along(c), across(p), along(c), across(c));
        if (index >= fFirstDrawn + 2) line(along(p), across(p), along(p), across(PointPixel(index - 2)));
      }
    }
    return;
  }
  const auto poly = SegmentPolygon(p, c, p0, origin);
  if (!is3D) {
    if (Transparency > 0) blend = canvas.BeginBlending(PointsBoundingRect(poly), Transparency);
    if (GetGradient().Visible())
      canvas.PolygonGradient(poly, GetGradient());
    else
      canvas.Polygon(poly);
    if (blend) canvas.EndBlending(std::move(blend));
    return;
  }
  auto face = [&](int32_t z) {
    std::array<TPoint, 4> projected;
    for (size_t i = 0; i < 4; ++i) projected[i] = canvas.Calculate3DPosition(poly[i].X, poly[i].Y, z);
    if (Transparency > 0) blend = canvas.BeginBlending(PointsBoundingRect(projected), Transparency);
    if (GetGradient().Visible())
      canvas.PolygonGradient(projected, GetGradient());
    else
      canvas.PolygonWithZ(poly, z);
    if (blend) canvas.EndBlending(std::move(blend));
  };
  face(front);
  if (bothDepths) face(front == z0 ? z1 : z0);
  if (LinePen().Visible()) {
    canvas.AssignPen(LinePen());
    canvas.LineWithZ(p.X, p.Y, c.X, c.Y, z0);
  }
}

void TCustomSeries::DrawSegment(const TPrevious& prev, int32_t index, const TPoint& c, int32_t origin,
                                TColor colour) {
  IAxisPanel* chart = ParentChart();
  TCanvas3D& canvas = *chart->Canvas();
  TCanvas* dc = canvas.GetHandle();
  const bool cNull = colour == clNone;
  // A null point drawn through (tnIgnore) takes the series colour.
  if (cNull) colour = DrawColour();
  if (fPassColour != clNone) colour = fPassColour;
  const bool pNull = prev.Index >= 0 && prev.Color == clNone;
  const TPoint p = prev.Pixel;
  const bool skipNulls = TreatNulls != tnIgnore;
  const bool nothing = (p.X == c.X && p.Y == c.Y) || (cNull && skipNulls) || (pNull && TreatNulls == tnDontPaint);

  if (!nothing) {
    const bool is3D = chart->View3D();
    if (is3D && (DrawLine || DrawArea)) {
      const TColor ribbon = (ColorEachLine || DrawArea) ? AreaFill(colour) : DrawColour();
      canvas.AssignBrushColor(AreaBrush, ribbon, clWhite);
      if (dc) dc->SetBrushStyle(LineBrush());
      canvas.AssignPen(LinePen());
      if (Stairs)
        DrawStairs3D(p, c, ribbon);
      else
        DrawRibbon3D(p, c, index, ribbon);
    } else if (DrawLine && !DrawArea) {
      canvas.AssignPenColor(LinePen(), LineColour(colour));
      if (dc) dc->SetBrushStyle(bsClear);
      std::unique_ptr<IChartBlend> blend;
      if (Transparency > 0) {
        const int32_t w = LinePen().Width();
        blend = canvas.BeginBlending({std::min(p.X, c.X) - w, std::min(p.Y, c.Y) - w, std::max(p.X, c.X) + w + 1,
                                      std::max(p.Y, c.Y) + w + 1},
                                     Transparency);
      }
      canvas.MoveTo(p.X, p.Y);
      if (Stairs) {
        if (InvertedStairs)
          canvas.LineTo(p.X, c.Y);
        else
          canvas.LineTo(c.X, p.Y);
      }
      canvas.LineTo(c.X, c.Y);
      if (blend) canvas.EndBlending(std::move(blend));
    }
    if (DrawArea) DrawAreaSegment(prev, index, c, origin, colour);
  }

  // Pointers: the previous point's after its segment, the last point's too.
  if (prev.Index >= 0 && prev.Index != index && (!pNull || TreatNulls != tnDontPaint))
    DrawPointerAt(prev.Index, p, pNull ? colour : prev.Color);
  if (index == fLastDrawn && !cNull) DrawPointerAt(index, c, colour);
}

void TCustomSeries::DrawMark(int32_t index, const std::string& text, TSeriesMarkPosition& position) {
  Marks().ZPosition = StartZ();
  if (YMandatory()) Marks().ApplyArrowLength(position);
  TChartSeries::DrawMark(index, text, position);
}

TSeriesPointerStyle TCustomSeries::PointerStyle(int32_t index) {
  return OnGetPointerStyle ? OnGetPointerStyle(*this, index) : Pointer.Style;
}

void TCustomSeries::DrawPointerAt(int32_t index, const TPoint& p, TColor colour) {
  if (!Pointer.Visible()) return;
  const TColor c = colour == clNone ? DrawColour() : colour;
  const TSeriesPointerStyle style = PointerStyle(index);
  Pointer.DrawPointer(p.X, p.Y, c, style);
}

void TCustomSeries::DrawLegendShape(int32_t index, const TRect& rect) {
  IAxisPanel* chart = ParentChart();
  TCanvas3D* canvas = chart ? chart->Canvas() : nullptr;
  if (canvas == nullptr) return;
  const TColor colour = index < 0 ? SeriesColor() : ValueColor(index);
  const int32_t midX = (rect.Left + rect.Right) / 2, midY = (rect.Top + rect.Bottom) / 2;
  if (Pointer.Visible()) {
    if (DrawLine) {
      canvas->AssignPenColor(LinePen(), colour);
      canvas->DoHorizLine(rect.Left, rect.Right, midY);
    }
    // Framed by the legend's own visible pen the symbol takes a third of the
    // rectangle, else half of it and a pixel; never more than the pointer's sizes.
    const TCustomAxisPanel* panel = ChartPanel();
    const bool framed = panel != nullptr && panel->LegendSymbolPen != nullptr && panel->LegendSymbolPen->Visible();
    const int32_t w = rect.Right - rect.Left, ht = rect.Bottom - rect.Top;
    const int32_t h = std::min(framed ? w / 3 : w / 2 + 1, Pointer.HorizSize());
    const int32_t v = std::min(framed ? ht / 3 : ht / 2 + 1, Pointer.VertSize());
    Pointer.PrepareCanvas(*canvas, colour);
    Pointer.Draw(*canvas, false, midX, midY, std::max(h, 1), std::max(v, 1), colour,
                 index >= 0 ? PointerStyle(index) : Pointer.Style);
  } else if (DrawLine && !DrawArea && chart->View3D()) {
    // In 3D a line stands for a ribbon: the whole rectangle, in the brush
    // DrawSeriesLegend prepared.
    canvas->RectangleRect(rect);
  } else if (DrawLine && !DrawArea) {
    canvas->AssignPenColor(LinePen(), colour);
    canvas->DoHorizLine(rect.Left, rect.Right, midY);
  } else {
    TChartSeries::DrawLegendShape(index, rect);
  }
}

// ------------------------------------------------------------ clicks and hover

bool TCustomSeries::HasClickEvents() const {
  return TChartSeries::HasClickEvents() || (Pointer.Visible() && OnClickPointer != nullptr);
}

bool TCustomSeries::ClickedPointer(int32_t index, int32_t x, int32_t y, int32_t pointX, int32_t pointY) {
  return Pointer.Visible() && PointerStyle(index) != psNothing && std::abs(pointX - x) < Pointer.HorizSize() &&
         std::abs(pointY - y) < Pointer.VertSize();
}

int32_t TCustomSeries::Clicked(int32_t x, int32_t y) {
  IAxisPanel* chart = ParentChart();
  TCanvas3D* canvas = chart != nullptr ? chart->Canvas() : nullptr;
  const bool ribbon = canvas != nullptr && chart->View3D();
  const TPoint screen{x, y};
  if (ribbon) canvas->Calculate2DPosition(x, y, StartZ());
  // The visible range is that of the last frame: points deleted since then are
  // not looked at, and a series without points is never hit.
  const int32_t first = FirstVisibleIndex(), last = std::min(LastVisibleIndex(), Count() - 1);
  if (first < 0 || first > last) return -1;
  const TPoint click{x, y};
  const int32_t from = ClickableLine ? std::max(first - 1, 0) : first;
  TPoint previous{};
  int32_t previousOrigin = 0;
  for (int32_t i = from; i <= last; ++i) {
    const TPoint p = PointPixel(i);
    if (ClickedPointer(i, x, y, p.X, p.Y)) {
      if (OnClickPointer) OnClickPointer(*this, i, p.X, p.Y);
      return i;
    }
    if (p.X == x && p.Y == y) return i;
    const int32_t origin = CalcZeroPos(i);
    if (ClickableLine && i > from) {
      bool hit = false;
      if (Stairs) {
        const TPoint corner = InvertedStairs ? TPoint{previous.X, p.Y} : TPoint{p.X, previous.Y};
        hit = PointInLine(click, previous, corner) || PointInLine(click, corner, p);
      } else if (ribbon && DrawLine) {
        const TPoint plane[4] = {canvas->Calculate3DPosition(previous.X, previous.Y, StartZ()),
                                 canvas->Calculate3DPosition(p.X, p.Y, StartZ()),
                                 canvas->Calculate3DPosition(p.X, p.Y, EndZ()),
                                 canvas->Calculate3DPosition(previous.X, previous.Y, EndZ())};
        hit = PointInPolygon(screen, plane, 3) || PointInLine(click, previous, p);
      } else {
        hit = PointInLine(click, previous, p);
      }
      if (!hit && DrawArea) {
        const auto poly = SegmentPolygon(previous, p, previousOrigin, origin);
        hit = PointInPolygon(click, poly, 3);
      }
      if (hit) return i - 1;
    }
    previous = p;
    previousOrigin = origin;
  }
  return -1;
}

// ============================================================ [SECTION] TLineSeries

TLineSeries::TLineSeries() {
  DrawLine = true;
  FunctionCentre = false;
  Pointer.SetVisible(false);
}

void TLineSeries::PrepareLegendCanvas(int32_t index, TColor& backColor, TBrushStyle& brushStyle) {
  (void)index, (void)backColor;
  if (TCanvas3D* canvas = ParentChart() ? ParentChart()->Canvas() : nullptr) canvas->AssignPen(LinePen());
  brushStyle = LineBrush();
}

std::vector<std::string> TLineSeries::GallerySubTypes() const {
  std::vector<std::string> types = TCustomSeries::GallerySubTypes();
  for (const std::string_view type : {ChartMsg::StyleStairs, ChartMsg::StylePoints, ChartMsg::StyleHeight,
                                      ChartMsg::StyleHollow, ChartMsg::StyleColors, ChartMsg::StyleMarks,
                                      ChartMsg::StyleNoBorder, ChartMsg::StyleOutline})
    types.emplace_back(type);
  return types;
}

void TLineSeries::ApplySubType(int32_t index) {
  switch (index) {
    case 1: Stairs = true; break;
    case 2: Pointer.SetVisible(true); break;
    case 3: LineHeight = 5; break;
    case 4: SetLineBrush(bsClear); break;
    case 5: SetColorEachPoint(true); break;
    case 6: Marks().SetVisible(true); break;
    case 7: LinePen().Hide(); break;
    case 8: OutLine.Show(); break;
    default: return;
  }
  Repaint();
}

void TLineSeries::Assign(const TCustomSeries& source) {
  TCustomSeries::Assign(source);
  if (dynamic_cast<const TLineSeries*>(&source) == nullptr) Pointer.SetVisible(false);
  DrawArea = false;
  DrawLine = true;
}

}  // namespace qira

#include "chart/LineSeries.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "chart/ChartAxis.h"
#include "chart/ChartGradients.h"
#include "chart/ChartMessages.h"
#include "chart/ChartRoutines.h"
#include "platform/Rounding.h"

namespace qira {

namespace {
// The ratio of the 3D frame's height to its depth (equal in this program's views).
constexpr double kDarkSlope = 1;
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
  LineBrush = source.LineBrush;
  LinePen.Assign(source.LinePen);
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

bool TCustomSeries::SameClass(const TChartSeries& other) const { return typeid(other) == typeid(*this); }

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

TPoint TCustomSeries::PointPixel(int32_t index) const {
  return YMandatory() ? TPoint{CalcXPos(index), CalcValuePos(index)} : TPoint{CalcValuePos(index), CalcYPos(index)};
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

void TCustomSeries::CalcHorizMargins(int32_t& left, int32_t& right) const {
  left = right = 0;
  Pointer.CalcHorizMargins(left, right);
  if (DrawLine && Stairs) left = std::max(left, LinePen.Width()), right = std::max(right, LinePen.Width());
  if (OutLine.Visible()) left = std::max(left, OutLine.Width()), right = std::max(right, OutLine.Width());
}

void TCustomSeries::CalcVerticalMargins(int32_t& top, int32_t& bottom) const {
  top = bottom = 0;
  Pointer.CalcVerticalMargins(top, bottom);
  if (DrawLine && Stairs) top = std::max(top, LinePen.Width()), bottom = std::max(bottom, LinePen.Width());
  if (OutLine.Visible()) top = std::max(top, OutLine.Width()), bottom = std::max(bottom, OutLine.Width());
  if (ParentChart() && ParentChart()->View3D() && !DrawArea) bottom = std::max(bottom, LineHeight);
}

void TCustomSeries::CalcDepthPositions() {
  IAxisPanel* chart = ParentChart();
  fStartZ = 0;
  fEndZ = chart && chart->View3D() ? chart->Depth3D() : 0;
}

// [SECTION] drawing

TColor TCustomSeries::LineColour(TColor pointColour) const {
  if (fHideLineColour || (Pointer.Visible() && !ColorEachLine)) return SeriesColor();
  return pointColour;
}

TColor TCustomSeries::AreaFill(TColor pointColour) const {
  if (AreaColor != clChartDefault && !ColorEachPoint) return AreaColor;
  return fHideLineColour ? SeriesColor() : pointColour;
}

void TCustomSeries::DrawAllValues() {
  IAxisPanel* chart = ParentChart();
  if (chart == nullptr || chart->Canvas() == nullptr) return;
  CalcDepthPositions();
  auto pass = [&] {
    fFirstDrawn = FirstVisibleIndex();
    fLastDrawn = LastVisibleIndex();
    fPrevious = {};
    if (fFirstDrawn < 0) return;
    ForEachVisibleIndex(*this, [&](int32_t i) { DrawValue(i); });
  };
  if (Shadow.Visible() && Shadow.Size() != 0) {
    const TColor saved = StoredColor();
    const bool pointer = Pointer.Visible();
    SetSeriesColor(Shadow.Color());
    Pointer.SetVisible(false);
    fHideLineColour = true;
    TChartAxis* h = GetHorizAxis();
    TChartAxis* v = GetVertAxis();
    const TScopeExit restore([&] {
      if (h) h->SetPositions(h->IStartPos() - Shadow.HorizSize(), h->IEndPos() - Shadow.HorizSize());
      if (v) v->SetPositions(v->IStartPos() - Shadow.VertSize(), v->IEndPos() - Shadow.VertSize());
      fHideLineColour = false;
      Pointer.SetVisible(pointer);
      SetSeriesColor(saved);
    });
    if (h) h->SetPositions(h->IStartPos() + Shadow.HorizSize(), h->IEndPos() + Shadow.HorizSize());
    if (v) v->SetPositions(v->IStartPos() + Shadow.VertSize(), v->IEndPos() + Shadow.VertSize());
    pass();
  }
  if (OutLine.Visible()) {
    TChartPen saved;
    saved.Assign(LinePen);
    const TColor savedColour = StoredColor();
    const bool pointer = Pointer.Visible();
    LinePen.Assign(OutLine);
    LinePen.SetWidth(saved.Width() * 2 + OutLine.Width() + 1);
    SetSeriesColor(OutLine.Color());
    fHideLineColour = true;
    Pointer.SetVisible(false);
    const TScopeExit restore([&] {
      LinePen.Assign(saved);
      fHideLineColour = false;
      Pointer.SetVisible(pointer);
      SetSeriesColor(savedColour);
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
  TCanvas3D& canvas = *ParentChart()->Canvas();
  const TColor colour = ValueColor(index);
  const bool null = colour == clNone;
  TPoint c = PointPixel(index);
  if (null && TreatNulls == tnSkip) {
    if (fPrevious.Index >= 0) {
      c = fPrevious.Pixel;
    } else {
      for (int32_t i = index; i <= fLastDrawn; ++i)
        if (!IsNull(i)) {
          c = PointPixel(i);
          break;
        }
    }
  }
  if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushColor(colour == clNone ? SeriesColor() : colour);
  const int32_t origin = CalcZeroPos(index);

  if (index == fFirstDrawn) {
    TPrevious start{-1, c, origin, colour};
    if (FirstVisibleIndex() > 0 && !DrawArea) start.Pixel = EdgePoint(index);
    if (!null) DrawSegment(start, index, c, origin, colour);
  } else {
    DrawSegment(fPrevious, index, c, origin, colour);
  }
  if (!(null && TreatNulls == tnSkip) || fPrevious.Index < 0) fPrevious = {index, c, origin, colour};
}

std::vector<TPoint> TCustomSeries::SegmentPolygon(const TPoint& p, const TPoint& c, int32_t p0, int32_t c0) const {
  if (YMandatory()) return {p, c, {c.X, c0}, {p.X, p0}};
  return {p, c, {c0, c.Y}, {p0, p.Y}};
}

void TCustomSeries::DrawSegment(const TPrevious& prev, int32_t index, const TPoint& c, int32_t origin,
                                TColor colour) {
  IAxisPanel* chart = ParentChart();
  TCanvas3D& canvas = *chart->Canvas();
  TCanvas* dc = canvas.GetHandle();
  const bool cNull = colour == clNone;
  // A null point drawn through (tnIgnore) takes the series colour.
  if (cNull) colour = SeriesColor();
  const bool pNull = prev.Index >= 0 && prev.Color == clNone;
  const TPoint p = prev.Pixel;
  const bool skipNulls = TreatNulls != tnIgnore;
  const bool nothing = (p.X == c.X && p.Y == c.Y) || (cNull && skipNulls) || (pNull && TreatNulls == tnDontPaint);

  if (!nothing) {
    std::unique_ptr<IChartBlend> blend;
    const bool is3D = chart->View3D();
    if (DrawLine && !DrawArea && !is3D) {
      canvas.AssignPenColor(LinePen, LineColour(colour));
      if (dc) dc->SetBrushStyle(bsClear);
      if (Transparency > 0) {
        const int32_t w = LinePen.Width();
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
    } else if (is3D && (DrawLine || DrawArea)) {
      const TColor ribbon = (ColorEachLine || DrawArea) ? AreaFill(colour) : SeriesColor();
      canvas.AssignBrushColor(AreaBrush, ribbon, clWhite);
      if (dc) dc->SetBrushStyle(LineBrush);
      canvas.AssignPenColor(LinePen, LinePen.Color());
      if (Stairs) {
        const auto riser = [&](int32_t x) {
          if (Dark3D && dc) dc->SetBrushColor(DarkenColor(ribbon, 64));
          canvas.RectangleZ(x, p.Y, c.Y, fStartZ, fEndZ);
          if (dc) dc->SetBrushColor(ribbon);
        };
        if (InvertedStairs) {
          riser(p.X);
          canvas.RectangleY(p.X, c.Y, c.X, fStartZ, fEndZ);
        } else {
          canvas.RectangleY(p.X, p.Y, c.X, fStartZ, fEndZ);
          riser(c.X);
        }
      } else {
        if (LineHeight != 0 && !DrawArea) {
          const std::array<TPoint, 4> band{{p, c, {c.X, c.Y + LineHeight}, {p.X, p.Y + LineHeight}}};
          canvas.PolygonWithZ(band, fStartZ);
        }
        // A segment rising more steeply than the depth runs on screen shows its
        // underside: darker.
        if (Dark3D && !canvas.SupportsFullRotation() && c.X != p.X &&
            kDarkSlope < static_cast<double>(p.Y - c.Y) / (c.X - p.X))
          if (dc) dc->SetBrushColor(DarkenColor(ribbon, 64));
        canvas.PlaneFour3D(p, c, fStartZ, fEndZ);
      }
    }
    if (DrawArea && !is3D) {
      const TColor fill = AreaFill(colour);
      canvas.AssignBrushColor(AreaBrush, fill, clWhite);
      if (AreaLinesPen.Visible() && AreaLinesPen.Color() != clChartDefault)
        canvas.AssignPen(AreaLinesPen);
      else
        canvas.AssignPenColor(LinePen, LineColour(colour));
      const int32_t p0 = prev.Index >= 0 ? prev.Origin : origin;
      if (Transparency > 0) {
        const auto poly = SegmentPolygon(p, c, p0, origin);
        blend = canvas.BeginBlending(PointsBoundingRect(poly), Transparency);
      }
      if (Stairs) {
        if (YMandatory()) {
          const int32_t level = InvertedStairs ? c.Y : p.Y;
          const int32_t base = InvertedStairs ? origin : p0;
          canvas.Rectangle(p.X, std::min(level, base), c.X + 1, std::max(level, base) + 1);
          if (LinePen.Visible()) {
            // The step's outline; normal stairs redraw the riser into P, which
            // this segment's fill has covered.
            canvas.AssignPen(LinePen);
            if (InvertedStairs) {
              canvas.LineWithZ(p.X, c.Y, c.X, c.Y, fStartZ);
              if (index >= FirstVisibleIndex() + 2) canvas.LineWithZ(p.X, p.Y, p.X, c.Y, fStartZ);
            } else {
              canvas.LineWithZ(p.X, p.Y, c.X, p.Y, fStartZ);
              if (index < LastVisibleIndex()) canvas.LineWithZ(c.X, p.Y, c.X, c.Y, fStartZ);
              if (index >= fFirstDrawn + 2) canvas.LineWithZ(p.X, p.Y, p.X, PointPixel(index - 2).Y, fStartZ);
            }
          }
        } else {
          const int32_t level = InvertedStairs ? c.X : p.X;
          const int32_t base = InvertedStairs ? origin : p0;
          canvas.Rectangle(std::min(level, base), p.Y + 1, std::max(level, base) + 1, c.Y);
        }
      } else {
        const auto poly = SegmentPolygon(p, c, p0, origin);
        if (Gradient.Visible())
          canvas.PolygonGradient(poly, Gradient);
        else
          canvas.Polygon(poly);
      }
    }
    if (blend) canvas.EndBlending(std::move(blend));
  }

  // Pointers: the previous point's after its segment, the last point's too.
  if (prev.Index >= 0 && prev.Index != index && (!pNull || TreatNulls != tnDontPaint))
    DrawPointerAt(prev.Index, p, pNull ? colour : prev.Color);
  if (index == fLastDrawn && !cNull) DrawPointerAt(index, c, colour);
}

TSeriesPointerStyle TCustomSeries::PointerStyle(int32_t index) {
  return OnGetPointerStyle ? OnGetPointerStyle(*this, index) : Pointer.Style;
}

void TCustomSeries::DrawPointerAt(int32_t index, const TPoint& p, TColor colour) {
  if (!Pointer.Visible()) return;
  const TColor c = colour == clNone ? SeriesColor() : colour;
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
      canvas->AssignPenColor(LinePen, colour);
      canvas->DoHorizLine(rect.Left, rect.Right, midY);
    }
    const int32_t h = std::min((rect.Right - rect.Left) / 2 + 1, Pointer.HorizSize());
    const int32_t v = std::min((rect.Bottom - rect.Top) / 2 + 1, Pointer.VertSize());
    Pointer.PrepareCanvas(*canvas, colour);
    Pointer.Draw(*canvas, false, midX, midY, std::max(h, 1), std::max(v, 1), colour,
                 index >= 0 ? PointerStyle(index) : Pointer.Style);
  } else if (DrawLine && !DrawArea) {
    canvas->AssignPenColor(LinePen, colour);
    canvas->DoHorizLine(rect.Left, rect.Right, midY);
  } else {
    canvas->AssignPenColor(LinePen, LinePen.Color());
    if (TCanvas* dc = canvas->GetHandle()) dc->SetBrush(TBrush{colour, bsSolid});
    canvas->Rectangle(rect.Left, rect.Top, rect.Right + 1, rect.Bottom + 1);
  }
}

int32_t TCustomSeries::Clicked(int32_t x, int32_t y) {
  IAxisPanel* chart = ParentChart();
  if (chart != nullptr && chart->Canvas() != nullptr && chart->View3D()) chart->Canvas()->Calculate2DPosition(x, y, fStartZ);
  const int32_t first = FirstVisibleIndex(), last = LastVisibleIndex();
  if (first < 0) return -1;
  const TPoint click{x, y};
  TPoint previous{};
  int32_t previousOrigin = 0;
  for (int32_t i = ClickableLine ? std::max(first - 1, 0) : first; i <= last; ++i) {
    const TPoint p = PointPixel(i);
    if (Pointer.Visible() && PointerStyle(i) != psNothing && std::abs(p.X - x) < Pointer.HorizSize() &&
        std::abs(p.Y - y) < Pointer.VertSize()) {
      if (OnClickPointer) OnClickPointer(*this, i, p.X, p.Y);
      return i;
    }
    if (p.X == x && p.Y == y) return i;
    const int32_t origin = CalcZeroPos(i);
    if (ClickableLine && i > 0 && i > (ClickableLine ? std::max(first - 1, 0) : first)) {
      bool hit = false;
      if (Stairs) {
        const TPoint corner = InvertedStairs ? TPoint{previous.X, p.Y} : TPoint{p.X, previous.Y};
        hit = PointInLine(click, previous, corner) || PointInLine(click, corner, p);
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

void TLineSeries::PrepareLegendCanvas(TCanvas3D& canvas) const {
  canvas.AssignPen(LinePen);
  if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(LineBrush);
}

std::vector<std::string> TLineSeries::GallerySubTypes() {
  return {std::string(ChartMsg::StyleStairs),  std::string(ChartMsg::StylePoints),
          std::string(ChartMsg::StyleHeight),  std::string(ChartMsg::StyleHollow),
          std::string(ChartMsg::StyleColors),  std::string(ChartMsg::StyleMarks),
          std::string(ChartMsg::StyleNoBorder), std::string(ChartMsg::StyleOutline)};
}

void TLineSeries::ApplySubType(int32_t index) {
  switch (index) {
    case 1: Stairs = true; break;
    case 2: Pointer.SetVisible(true); break;
    case 3: LineHeight = 5; break;
    case 4: LineBrush = bsClear; break;
    case 5: ColorEachPoint = true; break;
    case 6: Marks().Visible = true; break;
    case 7: LinePen.Hide(); break;
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

#include "chart/engine/SeriesMarks.h"

#include <algorithm>
#include <cmath>

#include "chart/draw/ChartRoutines.h"
#include "chart/draw/GdiChartCanvas.h"
#include "chart/engine/SeriesPointer.h"  // Reaches up: the marks' callout is a series pointer.
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

namespace qira {

// [SECTION] Marks, items and symbol

TMarksItem::TMarksItem(TCustomChartPanel* parent) : TChartCustomShape(parent) {
  SetDefaultColor(clInfoBk);
  Shadow().SetDefaults(clGray, 3);
}

void TMarksItem::Assign(const TChartCustomShape& source) {
  if (const auto* item = dynamic_cast<const TMarksItem*>(&source)) Text = item->Text;
  TChartCustomShape::Assign(source);
}

TSeriesMarksSymbol::TSeriesMarksSymbol(TCustomChartPanel* parent) : TChartCustomShape(parent) {
  SetDefaultVisible(false);
}

TSeriesMarks::TSeriesMarks(TChartSeries& series) : TChartCustomShape(nullptr), fSeries(series) {
  SetDefaultVisible(false);
  SetDefaultColor(clInfoBk);
}

void TSeriesMarks::Assign(const TChartCustomShape& source) {
  if (&source == this) return;
  if (const auto* marks = dynamic_cast<const TSeriesMarks*>(&source)) {
    Style = marks->Style;
    MultiLine = marks->MultiLine;
    fClip = marks->fClip;
    Angle = marks->Angle;
    TextAlign = marks->TextAlign;
    Margins.Assign(marks->Margins);
    fDrawEvery = marks->fDrawEvery;
    // Callout and symbol exist here exactly when they exist in the source.
    if (const TMarksCallout* from = marks->fCallout.get()) {
      TMarksCallout& to = Callout();
      to.TSeriesPointer::Assign(*from);
      to.Arrow.Assign(from->Arrow);
      to.ArrowHead = from->ArrowHead;
      to.ArrowHeadSize = from->ArrowHeadSize;
      to.Distance = from->Distance;
      to.Length = from->Length;
    } else {
      fCallout.reset();
    }
    if (marks->fSymbol)
      Symbol().Assign(*marks->fSymbol);
    else
      fSymbol.reset();
    fItems.clear();
    fItems.resize(marks->fItems.size());
    for (size_t i = 0; i < marks->fItems.size(); ++i)
      if (const TMarksItem* item = marks->fItems[i].get()) MarkItem(static_cast<int32_t>(i)).Assign(*item);
  }
  TChartCustomShape::Assign(source);
}

TSeriesMarksGradient::TSeriesMarksGradient(TNotifyEvent onChange) : TChartGradient(std::move(onChange)) {
  SetDirection(gdRightLeft);
  SetStartColor(clSilver);
  SetEndColor(clWhite);
}

std::unique_ptr<TChartGradient> TSeriesMarks::CreateGradient(TNotifyEvent onChange) const {
  return std::make_unique<TSeriesMarksGradient>(std::move(onChange));
}

TSeriesMarks::~TSeriesMarks() = default;

void TSeriesMarks::SetParentChart(TCustomChartPanel* chart) {
  TChartCustomShape::SetParentChart(chart);
  for (const auto& item : fItems)
    if (item) item->SetParentChart(chart);
  if (fSymbol) fSymbol->SetParentChart(chart);
}

TMarksCallout& TSeriesMarks::Callout() {
  if (!fCallout) fCallout = std::make_unique<TMarksCallout>(dynamic_cast<IPointerSeries*>(&fSeries));
  return *fCallout;
}

TSeriesMarksSymbol& TSeriesMarks::Symbol() {
  if (!fSymbol) fSymbol = std::make_unique<TSeriesMarksSymbol>(ParentChart());
  return *fSymbol;
}

TChartPen& TSeriesMarks::Arrow() { return Callout().Arrow; }
int32_t TSeriesMarks::ArrowLength() { return Callout().Length; }
void TSeriesMarks::SetArrowLength(int32_t value) { Change(Callout().Length, value); }

TMargins::TMargins(TNotifyEvent onChange, int32_t defaultLeftRight)
    : OnChange(std::move(onChange)), fLeft(defaultLeftRight), fRight(defaultLeftRight),
      fDefaultLeftRight(defaultLeftRight) {}

void TMargins::Assign(const TMargins& source) {
  SetLeft(source.fLeft);
  SetTop(source.fTop);
  SetRight(source.fRight);
  SetBottom(source.fBottom);
  SetUnits(source.fUnits);
}

TRect TMargins::Pixels(int32_t w, int32_t h, int32_t f) {
  switch (fUnits) {
    case maPercentFont:
      fPixels = {RoundToInt(fLeft * 0.02 * f), RoundToInt(fTop * 0.02 * f), RoundToInt(fRight * 0.02 * f),
                 RoundToInt(fBottom * 0.02 * f)};
      break;
    case maPercentSize:
      fPixels = {RoundToInt(fLeft * 0.01 * w), RoundToInt(fTop * 0.01 * h), RoundToInt(fRight * 0.01 * w),
                 RoundToInt(fBottom * 0.01 * h)};
      break;
    case maPixels:
      fPixels = {fLeft, fTop, fRight, fBottom};
      break;
  }
  return fPixels;
}

TMarksItem& TSeriesMarks::MarkItem(int32_t index) {
  if (static_cast<size_t>(index) >= fItems.size()) fItems.resize(static_cast<size_t>(index) + 1);
  auto& item = fItems[static_cast<size_t>(index)];
  if (!item) item = std::make_unique<TMarksItem>(ParentChart());
  return *item;
}

const TMarksItem* TSeriesMarks::ItemAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= fItems.size()) return nullptr;
  return fItems[static_cast<size_t>(index)].get();
}

TMarksItem* TSeriesMarks::ItemAt(int32_t index) {
  return const_cast<TMarksItem*>(static_cast<const TSeriesMarks&>(*this).ItemAt(index));
}

const TSeriesMarkPosition* TSeriesMarks::PositionAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= fPositions.size()) return nullptr;
  return fPositions[static_cast<size_t>(index)].get();
}

TSeriesMarkPosition& TSeriesMarks::CustomPosition(int32_t index) {
  if (static_cast<size_t>(index) >= fPositions.size()) fPositions.resize(static_cast<size_t>(index) + 1);
  auto& p = fPositions[static_cast<size_t>(index)];
  if (!p) p = std::make_unique<TSeriesMarkPosition>();
  p->Custom = true;
  return *p;
}

void TSeriesMarks::StorePosition(int32_t index, TSeriesMarkPosition& position) {
  if (static_cast<size_t>(index) >= fPositions.size()) fPositions.resize(static_cast<size_t>(index) + 1);
  auto& stored = fPositions[static_cast<size_t>(index)];
  if (stored && stored->Custom) {
    const TPoint computedFrom = position.ArrowFrom;
    const bool keepFrom = position.ArrowFix && stored->ArrowFix;
    position = *stored;
    if (keepFrom) position.ArrowFrom = computedFrom;
  } else {
    if (!stored) stored = std::make_unique<TSeriesMarkPosition>();
    *stored = position;
  }
}

bool TSeriesMarks::HasCustomPositions() const {
  return std::any_of(fPositions.begin(), fPositions.end(), [](const auto& p) { return p && p->Custom; });
}

void TSeriesMarks::ApplyArrowLength(TSeriesMarkPosition& position) {
  // In 64 bits and clamped: a streamed length or distance may be any integer.
  const int64_t distance = fCallout ? fCallout->Distance : 0;
  const int64_t d = int64_t{fCallout ? fCallout->Length : kMarksArrowLength} + distance;
  position.LeftTop.Y = ClampChartCoord(position.LeftTop.Y - d);
  position.ArrowTo.Y = ClampChartCoord(position.ArrowTo.Y - d);
  position.ArrowFrom.Y = ClampChartCoord(position.ArrowFrom.Y - distance);
}

int32_t TSeriesMarks::Clicked(int32_t x, int32_t y) const {
  // The boxes stand where DrawItem drew them: projected at the marks' depth in 3D.
  TCustomChartPanel* chart = ParentChart();
  const bool project = chart && chart->View3D() && !chart->ChartCanvas().SupportsFullRotation();
  for (int32_t i = static_cast<int32_t>(fPositions.size()) - 1; i >= 0; --i) {
    const TSeriesMarkPosition* p = fPositions[static_cast<size_t>(i)].get();
    if (!p || !DrawsMark(i)) continue;
    const TRect r = project ? chart->ChartCanvas().ProjectRect(p->Bounds(), ZPosition) : p->Bounds();
    if (Angle > 0) {
      const auto corners = RectRotatedPoints(r, Angle % 360);
      if (PointInPolygon({x, y}, corners, 3)) return i;
    } else if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) {
      return i;
    }
  }
  return -1;
}

void TSeriesMarks::DeletePoint(int32_t index, int32_t quantity) {
  auto drop = [&](auto& list) {
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
    const size_t end = std::min(list.size(), static_cast<size_t>(index) + static_cast<size_t>(quantity));
    list.erase(list.begin() + index, list.begin() + static_cast<std::ptrdiff_t>(end));
  };
  drop(fItems);
  drop(fPositions);
}

void TSeriesMarks::Clear() {
  fPositions.clear();
  fItems.clear();
}

// [SECTION] Drawing

int32_t TSeriesMarks::TextWidth(int32_t index) {
  IAxisPanel* chart = fSeries.ParentChart();
  if (chart == nullptr || ParentChart() == nullptr) return 0;
  int32_t lines = 0;
  return chart->MultiLineTextWidth(fSeries.GetMarkText(index), lines);
}

void TSeriesMarks::DrawCallout(TColor colour, TSeriesMarkPosition& position) {
  TCustomChartPanel& chart = *ParentChart();
  TChartCanvas3D& canvas = chart.ChartCanvas();
  TMarksCallout& callout = *fCallout;
  TPoint from = position.ArrowFrom, to = position.ArrowTo, corner = position.Corner;
  const TRect& bounds = chart.DrawBounds();
  if (bounds.Left != 0 || bounds.Top != 0)
    for (TPoint* p : {&from, &to, &corner}) {
      p->X = ClampChartCoord(int64_t{p->X} + bounds.Left);
      p->Y = ClampChartCoord(int64_t{p->Y} + bounds.Top);
    }
  const bool is3D = chart.View3D();
  if (callout.Arrow.Visible()) {
    canvas.AssignPen(callout.Arrow);
    if (callout.ArrowHead != ahNone) {
      // An arrow of length 0 has no direction to point its head in: nothing to draw.
      if (from.X != to.X || from.Y != to.Y) {
        if (TCanvas* dc = canvas.GetHandle()) dc->SetBrush(TBrush{SystemColorToRGB(callout.Arrow.Color()), bsSolid});
        const int32_t head = callout.ArrowHeadSize;
        canvas.Arrow(callout.ArrowHead == ahSolid, from, to, head, head, is3D ? ZPosition : 0);
      }
    } else if (position.HasCorner) {
      canvas.LineWithZ(from.X, from.Y, corner.X, corner.Y, ZPosition);
      canvas.LineWithZ(corner.X, corner.Y, to.X, to.Y, ZPosition);
    } else {
      canvas.LineWithZ(from.X, from.Y, to.X, to.Y, ZPosition);
    }
  }
  if (callout.ArrowHead == ahNone && callout.Visible()) {
    const TPoint at = is3D ? canvas.Calculate3DPosition(from.X, from.Y, ZPosition) : from;
    callout.PrepareCanvas(canvas, colour);
    callout.Draw(canvas, false, at.X, at.Y, callout.HorizSize(), callout.VertSize(), colour, callout.Style);
  }
}

void TSeriesMarks::DrawText(TChartCustomShape& look, const TRect& box, int32_t textLeft, const std::string& text) {
  TCustomChartPanel& chart = *ParentChart();
  TChartCanvas3D& canvas = chart.ChartCanvas();
  canvas.SetBackMode(bkTransparent);
  if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
  canvas.AssignFont(look.Font());
  const int32_t fontHeight = canvas.FontHeight();
  const TRect margin = Margins.Pixels(box.Right - box.Left, box.Bottom - box.Top, fontHeight);
  int32_t x = textLeft + margin.Left;
  uint32_t align = TA_LEFT;
  if (TextAlign == taCenter) {
    x = (textLeft + margin.Left + box.Right - margin.Right) / 2;
    align = TA_CENTER;
  } else if (TextAlign == taRightJustify) {
    x = box.Right - margin.Right;
    align = TA_RIGHT;
  }
  canvas.SetTextAlign(align | TA_TOP);
  const int32_t top = box.Top + margin.Top;
  if (look.TextFormat() == ttfHtml) {
    canvas.TextOutHtml(textLeft + margin.Left, top, text);
    return;
  }
  const int32_t angle = Angle % 360;
  // The box was projected already unless the canvas turns everything itself.
  const bool depth = chart.View3D() && canvas.SupportsFullRotation();
  const TPoint centre = RectCenter(box);
  size_t start = 0;
  for (int32_t line = 0; start <= text.size(); ++line) {
    const size_t end = std::min(text.find('\r', start), text.size());
    const std::string_view part = std::string_view(text).substr(start, end - start);
    start = end + 1;
    int32_t lx = x, ly = top + line * fontHeight;
    if (angle != 0) {
      // The line's anchor turned with the box about its centre.
      const double a = angle * 0.017453292519943295;
      const double dx = lx - centre.X, dy = ly - centre.Y;
      lx = RoundChartCoord(centre.X + dx * std::cos(a) + dy * std::sin(a));
      ly = RoundChartCoord(centre.Y - dx * std::sin(a) + dy * std::cos(a));
      if (angle == 90) ++lx;
      if (depth)
        canvas.RotatedTextOut3D(lx, ly, ZPosition, part, angle);
      else
        canvas.RotateLabel(lx, ly, part, angle);
    } else if (depth) {
      canvas.TextOut3D(lx, ly, ZPosition, part);
    } else {
      canvas.RotateLabel(lx, ly, part, 0);
    }
  }
}

void TSeriesMarks::DrawItem(int32_t index, TColor colour, const std::string& text, TSeriesMarkPosition& position) {
  StorePosition(index, position);
  TCustomChartPanel* chart = ParentChart();
  if (chart == nullptr || chart->ChartCanvas().GetHandle() == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  TChartCustomShape& look = ItemAt(index) ? static_cast<TChartCustomShape&>(*ItemAt(index)) : *this;

  if (fCallout && (fCallout->Visible() || fCallout->Arrow.Visible())) DrawCallout(colour, position);

  TRect box = position.Bounds();
  if (chart->View3D() && !canvas.SupportsFullRotation()) box = canvas.ProjectRect(box, ZPosition);
  if (position.Custom) {
    const TRect& bounds = chart->DrawBounds();
    box = {ClampChartCoord(int64_t{box.Left} + bounds.Left), ClampChartCoord(int64_t{box.Top} + bounds.Top),
           ClampChartCoord(int64_t{box.Right} + bounds.Left), ClampChartCoord(int64_t{box.Bottom} + bounds.Top)};
  }
  const int32_t angle = Angle % 360;
  look.DrawRectRotated(box, angle, ZPosition + 1);

  int32_t textLeft = box.Left + 2;
  if (fSymbol && fSymbol->ShouldDraw()) {
    canvas.AssignFont(look.Font());
    const int32_t f = canvas.FontHeight();
    fSymbol->SetColor(colour);
    fSymbol->SetTransparent(false);
    const TRect square{box.Left + 4, box.Top + 3, box.Left + f - 1, box.Top + f - 2};
    fSymbol->DrawRectRotated(square, angle, ZPosition + 1);
    textLeft += (square.Right - square.Left) + 4;
  }
  DrawText(look, box, textLeft, text);
}

}  // namespace qira

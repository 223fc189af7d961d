#include "chart/engine/SeriesDrawing.h"

#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/AxisLabels.h"
#include "chart/engine/AxisPanel.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/LineSeries.h"

namespace qira {

// [SECTION] Texts

std::string LegendString(const TChartSeries& series, int32_t legendIndex, TLegendTextStyle style) {
  const int32_t index = series.LegendToValueIndex(legendIndex);
  const std::string label = series.Label(index);
  const double v = series.GetMarkValue(index);
  TChartValueList& values = series.MandatoryValueList();
  const std::string sep(1, kColumnSeparator);
  auto value = [&] {
    return values.DateTime() ? FormatDateTimeValue(DateTimeFormatForStep(v), v) : FormatFloat(series.ValueFormat(), v);
  };
  auto percent = [&] {
    const double total = values.AbsoluteTotal();
    return FormatFloat(series.PercentFormat, total == 0 ? 100 : v * 100 / total);
  };
  auto xText = [&] {
    const double x = series.XValue(index);
    return series.GetHorizAxis() ? series.GetHorizAxis()->LabelValue(x) : FormatFloat(series.ValueFormat(), x);
  };
  switch (style) {
    case ltsPlain: return label;
    case ltsLeftValue: return value() + (label.empty() ? "" : sep + label);
    case ltsRightValue: return (label.empty() ? "" : label + sep) + value();
    case ltsLeftPercent: return percent() + (label.empty() ? "" : sep + label);
    case ltsRightPercent: return (label.empty() ? "" : label + sep) + percent();
    case ltsXValue: return xText();
    case ltsValue: return value();
    case ltsPercent: return percent();
    case ltsXAndValue: return xText() + sep + value();
    case ltsXAndPercent: return xText() + sep + percent();
  }
  return label;
}

// [SECTION] Drawing order

void ForEachVisibleIndex(const TChartSeries& series, const std::function<void(int32_t)>& draw) {
  const int32_t first = series.FirstVisibleIndex(), last = series.LastVisibleIndex();
  if (first < 0 || last < first) return;
  TCanvas3D* canvas = series.ParentChart() ? series.ParentChart()->Canvas() : nullptr;
  const bool grouping = canvas != nullptr && canvas->GroupingEnabled();
  auto one = [&](int32_t i) {
    if (grouping) canvas->BeginGroup();
    draw(i);
    if (grouping) canvas->EndGroup();
  };
  if (series.DrawValuesForward())
    for (int32_t i = first; i <= last; ++i) one(i);
  else
    for (int32_t i = last; i >= first; --i) one(i);
}

// [SECTION] Legend symbol

void DrawSeriesLegend(TChartSeries& series, int32_t index, const TRect& rect) {
  if (index == -1 && series.ColorEachPoint()) return;
  IAxisPanel* parent = series.ParentChart();
  TCanvas3D* canvas = parent != nullptr ? parent->Canvas() : nullptr;
  if (canvas == nullptr) return;
  const TColor colour = index == -1 ? series.SeriesColor() : series.LegendItemColor(index);
  if (colour == clNone) return;
  // The brush style lent below is the drawing's own: it asks for no repaint.
  TCustomAxisPanel* chart = series.ChartPanel();
  const bool repaint = chart != nullptr && chart->RepaintEnabled();
  if (chart != nullptr) chart->SetRepaintEnabled(false);
  const TScopeExit restoreRepaint([&] {
    if (chart != nullptr) chart->SetRepaintEnabled(repaint);
  });

  canvas->AssignPen(series.Pen());
  TColor back = clChartDefault;
  TChartBrush& brush = series.Brush();
  const TBrushStyle savedStyle = brush.Style();
  TBrushStyle style = savedStyle;
  series.PrepareLegendCanvas(index, back, style);
  if (chart != nullptr && chart->LegendSymbolPen != nullptr) canvas->AssignPen(*chart->LegendSymbolPen);
  if (back == clChartDefault) {
    if (chart == nullptr)
      back = clWhite;
    else
      back = chart->LegendColor != clNone ? chart->LegendColor : chart->Color();
  }
  const bool restyle = style != savedStyle && !brush.HasImageGraphic();
  if (restyle) brush.SetStyle(style);
  const TScopeExit restoreStyle([&] {
    if (restyle) brush.SetStyle(savedStyle);
  });
  if (chart != nullptr)
    chart->ApplyBrush(brush, colour, back);
  else
    canvas->AssignBrushColor(brush, colour, back);
  series.DrawLegendShape(index, rect);
}

}  // namespace qira

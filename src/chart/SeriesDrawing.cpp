#include "chart/SeriesDrawing.h"

#include "chart/AxisLabels.h"
#include "chart/AxisPanel.h"
#include "chart/ChartAxis.h"
#include "chart/DateTimeSteps.h"
#include "chart/LineSeries.h"

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
  const TColor colour = index == -1 ? series.SeriesColor() : series.LegendItemColor(index);
  if (colour == clNone) return;
  if (auto* drawing = dynamic_cast<TCustomSeries*>(&series)) {
    drawing->DrawLegendShape(index, rect);
    return;
  }
  TCustomAxisPanel* chart = series.ChartPanel();
  if (chart == nullptr) return;
  if (TCanvas* dc = chart->ChartCanvas().GetHandle()) {
    dc->SetBrush(TBrush{colour, bsSolid});
    dc->SetPen(TPen{});
  }
  chart->PaintLegendSymbolBack(rect);
}

}  // namespace qira

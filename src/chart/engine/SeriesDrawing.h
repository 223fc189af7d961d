#pragma once
// The series operations that turn points into texts and pixels, written as free
// functions over TChartSeries: legend texts, the walk over the visible points and
// the legend symbol. Series kinds that draw (TCustomSeries, LineSeries.h) supply
// the per-point step by overriding DrawValue.
#include <cstdint>
#include <functional>
#include <string>

#include "chart/engine/ChartSeries.h"

namespace qira {

// Splits a legend text into columns (character 6).
inline constexpr char kColumnSeparator = '\x06';
// Separates the lines of a mark text (character 13).
inline constexpr char kLineSeparator = '\r';

enum TLegendTextStyle : uint8_t {
  ltsPlain, ltsLeftValue, ltsRightValue, ltsLeftPercent, ltsRightPercent,
  ltsXValue, ltsValue, ltsPercent, ltsXAndValue, ltsXAndPercent
};

// The legend text of point index by style: value (a date-time text for date-time
// values), percent of the absolute total (signed), label and X text, joined by the
// column separator.
std::string LegendString(const TChartSeries& series, int32_t index, TLegendTextStyle style);

// [SECTION] Drawing order

// Calls draw for each visible index in drawing order, bracketed by the canvas's
// BeginGroup/EndGroup while its grouping flag is set (the order: DrawValuesForward).
void ForEachVisibleIndex(const TChartSeries& series, const std::function<void(int32_t)>& draw);

// [SECTION] Legend symbol

// The legend symbol of point index (-1: the series' own entry) in rect. Prepares
// the canvas (the series' pen, or the pen the legend lends; the brush in the
// point's colour over the legend's or the chart's colour, in the brush style the
// series asks for through PrepareLegendCanvas), then the series' DrawLegendShape
// draws. Nothing for the series' own entry with ColorEachPoint, or for a null
// colour. The chart asks for no repaint meanwhile.
void DrawSeriesLegend(TChartSeries& series, int32_t index, const TRect& rect);

}  // namespace qira

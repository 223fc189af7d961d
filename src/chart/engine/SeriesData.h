#pragma once
// The "Data" property of a series: its points as one binary value of the form
// stream, so a series filled at design time keeps its points. Little-endian:
//
//   uint8   flags: 1 X values, 2 colours, 4 labels, 8 mark positions
//   int32   number of points N
//   per point:
//     double  X                      (flag 1; absent: X = the point's index)
//     double  Y
//     uint32  colour                 (flag 2; absent: clChartDefault)
//     uint8 n, n bytes  label        (flag 4; Windows-1252)
//     double  per extra value list (lists 2 and up, in list order)
//     34 bytes mark position         (flag 8)
//
// X and Y are the independent and the mandatory list's values; the reader swaps
// them back for a series whose X is mandatory.
#include <cstdint>
#include <string>
#include <string_view>

#include "chart/draw/ChartStreaming.h"
#include "chart/engine/ChartSeries.h"

namespace qira {

enum TSeriesDataFlag : uint8_t { sdXValues = 1, sdColors = 2, sdLabels = 4, sdMarkPositions = 8 };

// A label keeps at most this many bytes (its Windows-1252 form) in the record.
inline constexpr size_t kSeriesDataLabelLimit = 255;

// The fields the writer includes, judged over every point.
uint8_t SeriesDataFlags(const TChartSeries& series);
// The record of every point of the series.
std::string WriteSeriesData(const TChartSeries& series);
// Replaces the series' points by the record's. Every count is checked against the
// bytes that remain before anything is allocated; a short, oversized or otherwise
// damaged record raises EChartStreamError and leaves the series as it was.
void ReadSeriesData(TChartSeries& series, std::string_view record);

// [SECTION] Sample values

// Points made up for a series without data (a gallery or a design-time preview).
inline constexpr int32_t kNumSampleValues = 25;
// Clears the series and adds n random points (n 0: the series' SampleCount, else
// kNumSampleValues) between the ranges of the chart's axes in use, or X 0..n-1
// (today .. today + n-1 for date-time X values) and Y 0..1000, then puts them in
// order; the points are no longer stored ones. Raises ChartException
// "FillSampleValues NumValues must be > 0" for a negative n and leaves the series
// unchanged.
void FillSampleValues(TChartSeries& series, int32_t n = 0);
// Adds n random points (nothing for n below 1) as FillSampleValues does, without
// clearing or sorting; with onlyMandatory only values (X from the point count).
void AddSampleValues(TChartSeries& series, int32_t n, bool onlyMandatory);
// Sorts the points by the mandatory list when it has an order, renumbering the
// other list unless it has a value source.
void CheckOrder(TChartSeries& series);
// Four sample points for a gallery picture: marks hidden and every second one,
// a colour per point, the series in the chart's first palette colour (the fourth
// for any but the chart's first series), or silver when not enabled.
void PrepareForGallery(TChartSeries& series, bool enabled);
// The platform generator's integer below n (a multiplicative congruential
// generator on one 32-bit seed, reseeded from itself by FillSampleValues).
int32_t ChartRandom(int32_t n);

// The record as the binary property "Data" of a property block.
void WriteSeriesDataProperty(TStreamedProperties& block, const TChartSeries& series);
// Reads "Data" when the block has it; true when it did.
bool ReadSeriesDataProperty(const TStreamedProperties& block, TChartSeries& series);

}  // namespace qira

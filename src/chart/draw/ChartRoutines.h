#pragma once
// Free routines that axes, series, marks and the legend share: hit tests for
// segments and polygons, an index quicksort driven by callbacks, character
// replacement, the check-box drawing, the default colour palette and the hand cursor.
#include <QCursor>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "chart/draw/ChartInterfaces.h"
#include "platform/Canvas.h"

namespace qira {

// True when P is A or B, or lies within Tolerance + 1 pixels of the segment AB.
// Products are taken in 64 bits, so far-apart points do not overflow.
bool PointInLineTolerance(const TPoint& p, const TPoint& a, const TPoint& b, int32_t tolerance);
inline bool PointInLine(const TPoint& p, const TPoint& a, const TPoint& b) {
  return PointInLineTolerance(p, a, b, 0);
}
// Crossing-number test over points[0 .. highIndex]; false when highIndex < 0 or beyond
// the points given.
bool PointInPolygon(const TPoint& p, std::span<const TPoint> points, int32_t highIndex);

// Sorts the index range low .. high through Compare(a, b) (negative, zero, positive)
// and Exchange(a, b).
using TChartCompareIndex = std::function<int32_t(int32_t, int32_t)>;
using TChartExchangeIndex = std::function<void(int32_t, int32_t)>;
void QuickSortIndices(int32_t low, int32_t high, const TChartCompareIndex& compare,
                      const TChartExchangeIndex& exchange);

// S with every Old character replaced by New; with New = '\0' every Old is deleted.
std::string ReplaceChar(std::string s, char oldChar, char newChar);

// A 13 × 13 check box (CheckStyle) or radio button at (X, Y), checked or not, drawn as
// the platform's classic frame control.
void DrawCheckBox(int32_t x, int32_t y, TCanvas& canvas, bool checked, bool checkStyle);

// The default series colours, in order (20).
extern const TColorArray ColorPalette;
// Entry Index mod 20 of the default palette (negative indices count from the end).
TColor GetDefaultColor(int32_t index);
std::string IntegerToText(int64_t value);

// The screen cursor number of the chart's hand cursor, and the cursor it stands for.
inline constexpr int32_t crChartHand = 2020;
QCursor ChartHandCursor();

}  // namespace qira

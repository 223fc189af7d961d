#include "chart/draw/ChartRoutines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace qira {
namespace {

TEST(ChartRoutines, PointInLineAllowsOnePixel) {
  const TPoint a{0, 0}, b{100, 0};
  EXPECT_TRUE(PointInLine({50, 1}, a, b));
  EXPECT_FALSE(PointInLine({50, 2}, a, b));
  EXPECT_TRUE(PointInLine({0, 0}, a, b));
  EXPECT_FALSE(PointInLine({103, 0}, a, b));
  EXPECT_TRUE(PointInLineTolerance({50, 4}, a, b, 3));
  EXPECT_TRUE(PointInLine({5, 5}, {5, 5}, {5, 5}));
}

TEST(ChartRoutines, PointInLineOfFarApartPointsDoesNotOverflow) {
  const TPoint a{-2000000000, -2000000000}, b{2000000000, 2000000000};
  EXPECT_TRUE(PointInLine({0, 0}, a, b));
  EXPECT_FALSE(PointInLine({0, 10}, a, b));
}

TEST(ChartRoutines, PointInPolygonCountsCrossings) {
  const std::vector<TPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(PointInPolygon({5, 5}, square, 3));
  EXPECT_FALSE(PointInPolygon({15, 5}, square, 3));
  EXPECT_FALSE(PointInPolygon({5, 5}, square, -1));
  EXPECT_FALSE(PointInPolygon({5, 5}, square, 7));
  // Coordinates whose products pass 2^31.
  const std::vector<TPoint> wide = {{-1000000000, -1000000000}, {1000000000, -1000000000}, {0, 1000000000}};
  EXPECT_TRUE(PointInPolygon({0, 0}, wide, 2));
  EXPECT_FALSE(PointInPolygon({900000000, 900000000}, wide, 2));
}

TEST(ChartRoutines, QuickSortIndicesSortsThroughCallbacks) {
  std::vector<int> values = {5, 3, 9, 1, 5, 7, 2, 8, 0, 6, 4, 5};
  QuickSortIndices(
      0, static_cast<int32_t>(values.size()) - 1, [&](int32_t a, int32_t b) { return values[a] - values[b]; },
      [&](int32_t a, int32_t b) { std::swap(values[a], values[b]); });
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  std::vector<int> single = {1};
  QuickSortIndices(0, 0, [](int32_t, int32_t) { return 0; }, [](int32_t, int32_t) { FAIL(); });
}

TEST(ChartRoutines, ReplaceCharReplacesOrDeletes) {
  EXPECT_EQ(ReplaceChar("a,b,c", ',', '\0'), "abc");
  EXPECT_EQ(ReplaceChar("a,b,c", ',', ';'), "a;b;c");
}

TEST(ChartRoutines, DefaultColorsWrapAroundThePalette) {
  EXPECT_EQ(GetDefaultColor(0), 0x0000FFu);
  EXPECT_EQ(GetDefaultColor(20), 0x0000FFu);
  EXPECT_EQ(GetDefaultColor(19), 0xA4A0A0u);
  EXPECT_EQ(GetDefaultColor(-1), 0xA4A0A0u);
}

TEST(ChartRoutines, CheckBoxIsThirteenPixelsWithAMarkWhenChecked) {
  TBitmap bitmap(20, 20);
  bitmap.Canvas().SetBrush(TBrush{0x00FF00, bsSolid});
  bitmap.Canvas().FillRect(TRect{0, 0, 20, 20});
  DrawCheckBox(2, 2, bitmap.Canvas(), true, true);
  EXPECT_EQ(bitmap.Pixel(2, 2), 0x808080u);    // outer shadow edge
  EXPECT_EQ(bitmap.Pixel(14, 14), clWhite);     // outer light edge
  EXPECT_EQ(bitmap.Pixel(15, 15), 0x00FF00u);   // outside the box
  EXPECT_EQ(bitmap.Pixel(2 + 5, 2 + 7), clBlack);  // the check mark
  DrawCheckBox(2, 2, bitmap.Canvas(), false, true);
  EXPECT_EQ(bitmap.Pixel(2 + 5, 2 + 7), clWhite);
}

}  // namespace
}  // namespace qira

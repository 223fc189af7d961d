#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "chart/draw/ChartCanvas.h"

namespace qira {
namespace {

TChartProjection Oblique(int32_t orthoAngle, const TRect& rect = {0, 0, 200, 100}, int32_t depth = 40) {
  TView3DOptions v;
  v.SetOrthogonal(true);
  v.SetOrthoAngle(orthoAngle);
  TChartProjection p;
  p.Setup(&v, rect, true);
  p.Project(&v, depth, rect);
  return p;
}

TChartProjection Rotated(int32_t elevation, int32_t rotation, int32_t perspective, int32_t tilt = 0,
                         const TRect& rect = {0, 0, 200, 100}, int32_t depth = 40) {
  TView3DOptions v;
  v.SetOrthogonal(false);
  v.SetElevation(elevation);
  v.SetRotation(rotation);
  v.SetPerspective(perspective);
  v.SetTilt(tilt);
  TChartProjection p;
  p.Setup(&v, rect, true);
  p.Project(&v, depth, rect);
  return p;
}

TEST(ChartProjection, ObliqueViewMovesDepthAlongTheOrthoAngle) {
  const struct {
    int32_t angle;
    int32_t z;
    TPoint offset;  // from the centre
  } table[] = {
      {45, 10, {10, -10}},   // up and to the right
      {135, 10, {-10, -10}}, // mirrored to the left with the slope of 45
      {90, 10, {10, -10}},   // cosine below 0.01: vertical factor 1.0
      {0, 10, {10, 0}},
  };
  for (const auto& row : table) {
    const TChartProjection p = Oblique(row.angle);
    const TPoint q = p.Calculate3DPosition(p.XCenter, p.YCenter, row.z);
    EXPECT_EQ(q, (TPoint{p.XCenterOffset + row.offset.X, p.YCenterOffset + row.offset.Y})) << row.angle;
  }
}

TEST(ChartProjection, FlatViewReturnsThePointUnchanged) {
  TView3DOptions v;
  v.SetHorizOffset(30);
  TChartProjection p;
  p.Setup(&v, {0, 0, 100, 100}, false);
  p.Project(&v, 20, {0, 0, 100, 100});
  EXPECT_EQ(p.Calculate3DPosition(7, 9, 500), (TPoint{7, 9}));
}

TEST(ChartProjection, NoTurnReducesToScaledOffsets) {
  const TChartProjection p = Rotated(0, 0, 0);
  EXPECT_EQ(p.Calculate3DPosition(150, 20, 77), (TPoint{150, 20}));
}

// The corners of a cube seen at a known elevation and rotation land where the
// rotation formulas, evaluated here independently, put them.
TEST(ChartProjection, CubeCornersLandWhereElevationAndRotationPutThem) {
  const TRect rect{0, 0, 200, 100};
  const int32_t depth = 40;
  const double e = -20 * std::numbers::pi / 180, r = -30 * std::numbers::pi / 180;
  const TChartProjection p = Rotated(20, 30, 0, 0, rect, depth);
  ASSERT_EQ(p.XCenter, 100);
  ASSERT_EQ(p.YCenter, 50);
  ASSERT_EQ(p.ZCenter, 20);
  for (int32_t x : {60, 140})
    for (int32_t y : {30, 70})
      for (int32_t z : {0, 40}) {
        const double dx = x - 100, dy = y - 50, dz = z - 20;
        const double u = dz * std::cos(r) - dx * std::sin(r);
        const double xs = dx * std::cos(r) + dz * std::sin(r);
        const double ys = dy * std::cos(e) - std::sin(e) * u;
        const TPoint expected{static_cast<int32_t>(std::nearbyint(xs)) + 100,
                              static_cast<int32_t>(std::nearbyint(ys)) + 50};
        EXPECT_EQ(p.Calculate3DPosition(x, y, z), expected) << x << "," << y << "," << z;
      }
}

TEST(ChartProjection, InverseProjectionFindsTheSourceOfAnUnturnedOrObliquePoint) {
  for (const TChartProjection& p : {Rotated(0, 0, 0), Oblique(45), Oblique(135)}) {
    for (const TPoint& src : {TPoint{40, 20}, TPoint{160, 90}, TPoint{100, 50}}) {
      const TPoint screen = p.Calculate3DPosition(src.X, src.Y, 20);
      int32_t x = screen.X, y = screen.Y;
      p.Calculate2DPosition(x, y, 20);
      EXPECT_EQ((TPoint{x, y}), src);
    }
  }
}

// A point at or behind the eye (perspective divisor ≤ 0) and coordinates whose
// projection passes int32: defined, clamped results, never a wrap or a division by zero.
TEST(ChartProjectionFaults, ExtremeInputsClampToTheCanvasRange) {
  const TChartProjection strong = Rotated(0, 90, 10000, 0, {0, 0, 2, 2}, 0);
  const TPoint behind = strong.Calculate3DPosition(-100000, 100000, 0);
  EXPECT_LE(std::abs(behind.X), kChartCoordLimit);
  EXPECT_LE(std::abs(behind.Y), kChartCoordLimit);

  const TChartProjection oblique = Oblique(45);
  const TPoint far = oblique.Calculate3DPosition(INT32_MAX, INT32_MIN, INT32_MAX);
  EXPECT_EQ(far.X, kChartCoordLimit);
  EXPECT_LT(far.Y, -kChartCoordLimit + 1000);

  const TChartProjection rotated = Rotated(345, 345, 100);
  const TPoint huge = rotated.Calculate3DPosition(INT32_MAX, INT32_MAX, INT32_MIN);
  EXPECT_LE(std::abs(huge.X), kChartCoordLimit);
  EXPECT_LE(std::abs(huge.Y), kChartCoordLimit);
  const TPoint nan = rotated.Calculate3DPosition(std::nan(""), 0.0, 0.0);
  EXPECT_EQ(nan.X, rotated.XCenterOffset);
}

TEST(ChartGeometry, BoundsOfPointSets) {
  const TPoint one[] = {{5, 7}};
  EXPECT_EQ(PolygonBounds(one), (TRect{5, 7, 5, 7}));
  EXPECT_EQ(PointsBoundingRect(one), (TRect{5, 7, 6, 8}));
  EXPECT_EQ(PolygonBounds({}), (TRect{}));
  const TPoint three[] = {{5, 7}, {-3, 9}, {4, 1}};
  EXPECT_EQ(PolygonBounds(three), (TRect{-3, 1, 5, 9}));
  EXPECT_EQ(PointsBoundingRect(three), (TRect{-3, 1, 6, 10}));
  EXPECT_EQ(RectCenter({INT32_MAX - 1, 0, INT32_MAX, 2}), (TPoint{INT32_MAX - 1, 1}));
}

TEST(ChartGeometry, CrossProductSignDoesNotOverflow) {
  EXPECT_TRUE(TriangleCrossProductNegative({0, 0}, {10, 0}, {10, 10}));
  EXPECT_FALSE(TriangleCrossProductNegative({10, 10}, {10, 0}, {0, 0}));
  // In 32 bits this product wraps and flips its sign.
  EXPECT_TRUE(TriangleCrossProductNegative({INT32_MIN, 0}, {INT32_MAX, 0}, {INT32_MAX, INT32_MAX}));
}

TEST(ChartGeometry, MulDivRoundsHalvesAwayFromZeroAndRefusesZero) {
  const struct {
    int64_t a, b, c;
    int32_t expected;
  } table[] = {{5, 3, 2, 8},    {-5, 3, 2, -8},  {5, -3, 2, -8},  {-5, 3, -2, 8},
               {7, 1, 3, 2},    {12, 72, 96, 9}, {1, 1, 0, -1},   {INT32_MAX, INT32_MAX, 1, INT32_MAX},
               {INT32_MIN, INT32_MAX, 1, INT32_MIN}};
  for (const auto& row : table) EXPECT_EQ(MulDiv(row.a, row.b, row.c), row.expected) << row.a << "*" << row.b << "/" << row.c;
}

TEST(ChartDefaultFont, AJapaneseSystemTakesTheDesktopFont) {
  const struct {
    const char* name;
    bool japanese;
    const char* desktopName;
    int32_t desktopHeight, pixelsPerInch;
    TChartFontDefaults expected;
  } table[] = {
      {"another language keeps Arial 8", false, "MS UI Gothic", -12, 96, {"Arial", 8}},
      {"Japanese: the desktop font's name and size", true, "MS UI Gothic", -12, 96, {"MS UI Gothic", 9}},
      {"Japanese: the size rounds half away from zero", true, "Meiryo UI", -14, 96, {"Meiryo UI", 11}},
      {"Japanese at 120 pixels per inch", true, "Meiryo UI", -16, 120, {"Meiryo UI", 10}},
      {"Japanese without a resolution keeps size 8", true, "Meiryo UI", -12, 0, {"Meiryo UI", 8}},
      {"Japanese without a desktop font name keeps Arial", true, "", -12, 96, {"Arial", 9}},
  };
  for (const auto& row : table)
    EXPECT_EQ(ChartFontDefaultsFor(row.japanese, row.desktopName, row.desktopHeight, row.pixelsPerInch), row.expected)
        << row.name;
}

}  // namespace
}  // namespace qira

// Regions traced into polygon sets and back, and the polygon operations the shaped
// button builds its rims with.
#include "widgets/RegionRotation.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qira {
namespace {

TRegion Rects(std::initializer_list<TRect> rects) {
  QRegion area;
  for (const TRect& r : rects) area += RectRegion(r);
  return TRegion(area);
}

struct TTraced {
  Tpoints points;
  Tintegers counts;
  Tintegers levels;
};

TTraced Trace(const TRegion& region) {
  TTraced t;
  RegionToPolygons(region, t.points, t.counts, t.levels);
  return t;
}

TRect Bounds(const Tpoints& points) {
  TRect b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const TPoint& p : points) {
    b.Left = std::min(b.Left, p.X);
    b.Top = std::min(b.Top, p.Y);
    b.Right = std::max(b.Right, p.X);
    b.Bottom = std::max(b.Bottom, p.Y);
  }
  return b;
}

// ---- tracing

TEST(RegionTracing, RectangleGivesOneClockwiseOutlineOfFourCorners) {
  const TTraced t = Trace(TRegion::FromRect({10, 20, 50, 40}));
  ASSERT_EQ(t.counts, Tintegers({4}));
  EXPECT_EQ(t.levels, Tintegers({0}));
  EXPECT_EQ(t.points, Tpoints({{10, 20}, {50, 20}, {50, 40}, {10, 40}}));
}

TEST(RegionTracing, RectangularHoleIsASecondPolygonAtLevelOne) {
  const TRegion ring = TRegion(RectRegion({0, 0, 30, 30}) - RectRegion({10, 10, 20, 20}));
  const TTraced t = Trace(ring);
  ASSERT_EQ(t.counts, Tintegers({4, 4}));
  EXPECT_EQ(t.levels, Tintegers({0, 1}));
  EXPECT_EQ(Bounds(Tpoints(t.points.begin() + 4, t.points.end())), (TRect{10, 10, 20, 20}));
  const std::optional<TRegion> back = PolygonsToRegion(t.points, t.counts, t.levels);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, ring);
  EXPECT_FALSE(back->Contains(15, 15));
}

TEST(RegionTracing, RectanglesTouchingAtOneCornerGiveOneOutlineThroughItTwice) {
  const TTraced t = Trace(Rects({{0, 0, 10, 10}, {10, 10, 20, 20}}));
  ASSERT_EQ(t.counts, Tintegers({8}));
  EXPECT_EQ(std::count(t.points.begin(), t.points.end(), TPoint{10, 10}), 2);
}

TEST(RegionTracing, StepsOfTheBandsBecomeOneOutline) {
  // A cross of three bands whose rectangles share no corner as the platform stores them.
  const TRegion cross = Rects({{10, 0, 20, 10}, {0, 10, 30, 20}, {10, 20, 20, 30}});
  const TTraced t = Trace(cross);
  ASSERT_EQ(t.counts, Tintegers({12}));
  EXPECT_EQ(t.levels, Tintegers({0}));
  EXPECT_EQ(*PolygonsToRegion(t.points, t.counts, t.levels), cross);
}

TEST(RegionTracing, PixelStaircaseOfAnEllipseIsSmoothedIntoFewerPoints) {
  const TRegion ellipse(EllipseRegion({0, 0, 80, 50}));
  const TTraced t = Trace(ellipse);
  ASSERT_EQ(t.counts.size(), 1u);
  EXPECT_LT(t.counts[0], 4 * ellipse.RectCount());
  EXPECT_GE(t.counts[0], 8);
  // Ends one pixel deep are smoothed away like any other step.
  const TRect b = Bounds(t.points);
  EXPECT_LE(b.Left, 1);
  EXPECT_LE(b.Top, 1);
  EXPECT_GE(b.Right, 79);
  EXPECT_GE(b.Bottom, 49);
  // The outline still covers the ellipse up to its staircase.
  const TRegion back = *PolygonsToRegion(t.points, t.counts, t.levels);
  const QRegion differ = back.Area() ^ ellipse.Area();
  int64_t pixels = 0;
  for (const QRect& r : differ) pixels += static_cast<int64_t>(r.width()) * r.height();
  EXPECT_LT(pixels, 200);  // of 3100 pixels
}

TEST(RegionTracing, EmptyRegionWritesNothing) {
  Tpoints points{{1, 2}};
  Tintegers counts{1}, levels{0};
  RegionToPolygons(TRegion(), points, counts, levels);
  EXPECT_EQ(points, Tpoints({{1, 2}}));
  EXPECT_EQ(counts, Tintegers({1}));
}

// ---- region data

TEST(RegionData, RoundTripsThroughThePlatformLayout) {
  const TRegion region = Rects({{0, 0, 10, 5}, {2, 5, 8, 9}});
  const std::vector<uint8_t> data = region.RegionData();
  ASSERT_EQ(data.size(), 32u + 2 * 16u);
  EXPECT_EQ(data[0], 32);
  EXPECT_EQ(data[4], 1);
  EXPECT_EQ(data[8], 2);
  EXPECT_EQ(TRegion::FromRegionData(data), region);
}

TEST(RegionData, HeaderPromisingMoreRectanglesThanTheBytesIsRefused) {
  std::vector<uint8_t> data = Rects({{0, 0, 10, 5}}).RegionData();
  data[8] = 2;
  EXPECT_FALSE(TRegion::FromRegionData(data).has_value());
  EXPECT_FALSE(TRegion::FromRegionData(std::vector<uint8_t>(31, 0)).has_value());
  data[8] = 1;
  data[0] = 40;
  EXPECT_FALSE(TRegion::FromRegionData(data).has_value());
}

// ---- polygons to a region

TEST(PolygonsToRegion, EvenLevelsAddAndOddLevelsCut) {
  const Tpoints points{{0, 0}, {40, 0}, {40, 40}, {0, 40},      // outline
                       {10, 10}, {30, 10}, {30, 30}, {10, 30},  // hole
                       {15, 15}, {25, 15}, {25, 25}, {15, 25}};  // island
  const std::optional<TRegion> r = PolygonsToRegion(points, {4, 4, 4}, {0, 1, 2});
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->Contains(5, 5));
  EXPECT_FALSE(r->Contains(12, 12));
  EXPECT_TRUE(r->Contains(20, 20));
}

TEST(PolygonsToRegion, EmptySetHasNoRegion) { EXPECT_FALSE(PolygonsToRegion({}, {}, {}).has_value()); }

TEST(PolygonsToRegion, CountsRunningPastThePointsAreReadAsFarAsWhole) {
  const Tpoints points{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {3, 3}};
  const std::optional<TRegion> r = PolygonsToRegion(points, {4, 9}, {0, 1});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->BoundingBox(), (TRect{0, 0, 10, 10}));
}

// ---- rotation

TEST(RotatePolygons, ZeroAndWholeTurnsLeaveThePoints) {
  const Tpoints original{{0, 0}, {13, 7}, {-5, 22}, {100, -3}};
  for (int32_t angle : {0, 3600, -3600}) {
    Tpoints p = original;
    RotatePolygons(p, 4, 9, angle);
    EXPECT_EQ(p, original) << angle;
  }
}

TEST(RotatePolygons, QuarterTurnIsCounterClockwiseOnTheScreen) {
  Tpoints p{{10, 0}, {0, 10}};
  RotatePolygons(p, 0, 0, 900);
  EXPECT_EQ(p, Tpoints({{0, -10}, {10, 0}}));
  Tpoints q{{10, 5}, {5, 5}, {5, 15}};
  RotatePolygons(q, 5, 5, 900);
  EXPECT_EQ(q, Tpoints({{5, 0}, {5, 5}, {15, 5}}));
  Tpoints r{{10, 5}};
  RotatePolygons(r, 5, 5, -900);
  EXPECT_EQ(r, Tpoints({{5, 10}}));
}

// ---- inset

TEST(InsetPolygons, RectangleShrinksByTheDistance) {
  Tpoints p{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  InsetPolygons(p, {4}, {0}, true, true, 2);
  EXPECT_EQ(p, Tpoints({{2, 2}, {8, 2}, {8, 8}, {2, 8}}));
}

TEST(InsetPolygons, HoleGrowsAwayFromItsOutline) {
  Tpoints p{{10, 10}, {20, 10}, {20, 20}, {10, 20}};
  InsetPolygons(p, {4}, {1}, true, true, 2);
  EXPECT_EQ(p, Tpoints({{8, 8}, {22, 8}, {22, 22}, {8, 22}}));
}

TEST(InsetPolygons, DirectionDoesNotDependOnTheWinding) {
  Tpoints p{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
  InsetPolygons(p, {4}, {0}, true, true, 2);
  EXPECT_EQ(p, Tpoints({{2, 2}, {2, 8}, {8, 8}, {8, 2}}));
}

TEST(InsetPolygons, FlagsHoldBackVerticesWhoseTestPointIsInside) {
  Tpoints p{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  InsetPolygons(p, {4}, {0}, true, false, 2);
  // The averaged edge angles point the bisector inside at three corners (held) and
  // outside at the top-right one, which moves.
  EXPECT_EQ(p, Tpoints({{0, 0}, {8, 2}, {10, 10}, {0, 10}}));
}

TEST(InsetPolygons, PolygonOfOneRepeatedPointIsUnchanged) {
  Tpoints p{{5, 5}, {5, 5}, {5, 5}};
  InsetPolygons(p, {3}, {0}, true, true, 2);
  EXPECT_EQ(p, Tpoints({{5, 5}, {5, 5}, {5, 5}}));
}

// ---- bands

TEST(SplitRimBands, TopAndLeftAreLitBottomAndRightShaded) {
  const Tpoints outer{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const Tpoints inner{{2, 2}, {8, 2}, {8, 8}, {2, 8}};
  Tpoints b1, b2;
  Tintegers c1, c2;
  SplitRimBands(outer, inner, {4}, {0}, b1, c1, b2, c2);
  EXPECT_EQ(c1, Tintegers({4, 4}));
  EXPECT_EQ(c2, Tintegers({4, 4}));
  EXPECT_EQ(b1, Tpoints({{0, 0}, {2, 2}, {8, 2}, {10, 0}, {0, 10}, {2, 8}, {2, 2}, {0, 0}}));
  EXPECT_EQ(b2, Tpoints({{10, 0}, {8, 2}, {8, 8}, {10, 10}, {10, 10}, {8, 8}, {2, 8}, {0, 10}}));
}

TEST(SplitRimBands, HoleIsLitOnTheOppositeSides) {
  const Tpoints outer{{10, 10}, {20, 10}, {20, 20}, {10, 20}};
  const Tpoints inner{{8, 8}, {22, 8}, {22, 22}, {8, 22}};
  Tpoints b1, b2;
  Tintegers c1, c2;
  SplitRimBands(outer, inner, {4}, {1}, b1, c1, b2, c2);
  // The walls of a hole's top and left edges face away from the light.
  EXPECT_EQ(c2.size(), 2u);
  EXPECT_EQ(c1.size(), 2u);
  EXPECT_EQ(b2[0], (TPoint{10, 10}));
  EXPECT_EQ(b1[0], (TPoint{20, 10}));
}

// ---- thinning

TEST(SimplifyPolygons, DropsPolygonsThatShrinkBelowThreePoints) {
  Tpoints p{{0, 0}, {1, 1}, {2, 0}, {1, 2},              // all within 2 of the first
            {0, 0}, {1, 0}, {10, 0}, {10, 10}, {0, 10}};  // keeps 4
  Tintegers counts{4, 5}, levels{0, 1};
  SimplifyPolygons(p, counts, levels, 1);
  EXPECT_EQ(counts, Tintegers({4}));
  EXPECT_EQ(levels, Tintegers({1}));
  EXPECT_EQ(p, Tpoints({{0, 0}, {10, 0}, {10, 10}, {0, 10}}));
}

TEST(SimplifyPolygons, DistanceAboveTwoThinsMore) {
  Tpoints p{{0, 0}, {3, 0}, {6, 0}, {6, 6}, {0, 6}};
  Tintegers counts{5}, levels{0};
  SimplifyPolygons(p, counts, levels, 4);
  EXPECT_EQ(p, Tpoints({{0, 0}, {6, 0}, {6, 6}, {0, 6}}));
}

TEST(IndexWalking, WrapsAtBothEnds) {
  EXPECT_EQ(NextIndex(3, 4), 0);
  EXPECT_EQ(NextIndex(1, 4), 2);
  EXPECT_EQ(PrevIndex(0, 4), 3);
  EXPECT_EQ(PrevIndex(2, 4), 1);
}

}  // namespace
}  // namespace qira

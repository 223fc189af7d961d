#include "scene/math/BoundingBox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "scene/math/VectorGeometry.h"

namespace qira {
namespace {

const TAABB kUnitBox{{-1, -2, -3}, {1, 2, 3}};

void ExpectBoxNear(const TAABB& actual, const TAABB& expected, float tolerance = 1e-6f) {
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(actual.min[i], expected.min[i], tolerance) << "min " << i;
    EXPECT_NEAR(actual.max[i], expected.max[i], tolerance) << "max " << i;
  }
}

TEST(BoundingBoxCorners, CornerNumberingFollowsTheSignTable) {
  // (x, y, z) signs of corners 0..7: + = maximum, - = minimum.
  const char* signs[8] = {"+++", "+-+", "+--", "++-", "-++", "--+", "---", "-+-"};
  const THmgBoundingBox box = AxisBoxToBox(kUnitBox);
  for (std::size_t c = 0; c < 8; ++c) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const float expected = signs[c][axis] == '+' ? kUnitBox.max[axis] : kUnitBox.min[axis];
      EXPECT_EQ(box[c][axis], expected) << "corner " << c << " axis " << axis;
    }
    EXPECT_EQ(box[c].w, 1.0f);
  }
}

TEST(BoundingBoxCorners, SetBoxPlaneMovesOnlyThatFace) {
  THmgBoundingBox box = AxisBoxToBox(kUnitBox);
  SetBoxPlane(box, 3, -10);  // y-min
  ExpectBoxNear(BoxToAxisBox(box), TAABB{{-1, -10, -3}, {1, 2, 3}});
  EXPECT_TRUE(BoxesEqual(box, box));
  EXPECT_FALSE(BoxesEqual(box, AxisBoxToBox(kUnitBox)));
}

TEST(BoundingBoxCorners, GrowBoxReachesEveryCornerOfTheOther) {
  THmgBoundingBox a = AxisBoxToBox(kUnitBox);
  const THmgBoundingBox b = AxisBoxToBox(TAABB{{0, -5, 0}, {4, 0, 1}});
  GrowBox(a, b);
  ExpectBoxNear(BoxToAxisBox(a), TAABB{{-1, -5, -3}, {4, 2, 3}});
  // Growing by a box inside changes nothing.
  const THmgBoundingBox before = a;
  GrowBox(a, AxisBoxToBox(TAABB{{0, 0, 0}, {0.5f, 0.5f, 0.5f}}));
  EXPECT_TRUE(BoxesEqual(a, before));
}

TEST(BoundingBoxCorners, TransformAndOffsetMoveEveryCorner) {
  THmgBoundingBox box = AxisBoxToBox(kUnitBox);
  TransformBox(box, ScaleTranslationMatrix(VectorMake(2, 2, 2), VectorMake(10, 0, 0)));
  ExpectBoxNear(BoxToAxisBox(box), TAABB{{8, -4, -6}, {12, 4, 6}});
  OffsetBox(box, AffineVectorMake(0, 1, 0));
  ExpectBoxNear(BoxToAxisBox(box), TAABB{{8, -3, -6}, {12, 5, 6}});
  EXPECT_EQ(box[5].w, 1.0f);
}

TEST(BoundingBoxAxis, TransformTakesTheBoxOfTheRotatedCorners) {
  TAABB box{{0, 0, 0}, {2, 1, 1}};
  // 90 degrees about Z with row vectors: (x, y) -> (y, -x).
  TransformAxisBox(box, CreateRotationMatrix(ZVector, DegToRad(90.0f)));
  ExpectBoxNear(box, TAABB{{0, -2, 0}, {1, 0, 1}});
  TAABB tilted{{-1, -1, -1}, {1, 1, 1}};
  TransformAxisBox(tilted, CreateRotationMatrix(ZVector, DegToRad(45.0f)));
  const float r = std::sqrt(2.0f);
  ExpectBoxNear(tilted, TAABB{{-r, -r, -1}, {r, r, 1}}, 1e-5f);
}

struct PointCase {
  TAffineVector point;
  bool inside;
};

class PointInAxisBoxTest : public testing::TestWithParam<PointCase> {};

TEST_P(PointInAxisBoxTest, BoundsAreInclusive) {
  EXPECT_EQ(PointInAxisBox(GetParam().point, kUnitBox), GetParam().inside);
}

INSTANTIATE_TEST_SUITE_P(BoundingBox, PointInAxisBoxTest,
                         testing::Values(PointCase{{0, 0, 0}, true}, PointCase{{1, 0, 0}, true},
                                         PointCase{{-1, -2, -3}, true}, PointCase{{1, 2, 3}, true},
                                         PointCase{{1.0001f, 0, 0}, false},
                                         PointCase{{0, -2.0001f, 0}, false},
                                         PointCase{{0, 0, 3.0001f}, false},
                                         PointCase{{NAN, 0, 0}, false}));

TEST(BoundingBoxRay, RayFromInsideHasNegativeNearAndPositiveFar) {
  float tNear = 0, tFar = 0;
  ASSERT_TRUE(RayAxisBoxIntersect(NullVector, XVector, kUnitBox, tNear, tFar));
  EXPECT_FLOAT_EQ(tNear, -1);
  EXPECT_FLOAT_EQ(tFar, 1);
}

TEST(BoundingBoxRay, RayFromOutsideEntersAndLeaves) {
  float tNear = 0, tFar = 0;
  ASSERT_TRUE(RayAxisBoxIntersect(AffineVectorMake(-5, 0, 0), AffineVectorMake(2, 0, 0), kUnitBox,
                                  tNear, tFar));
  EXPECT_FLOAT_EQ(tNear, 2);
  EXPECT_FLOAT_EQ(tFar, 3);
  ASSERT_TRUE(RayAxisBoxIntersect(AffineVectorMake(5, 5, 0), AffineVectorMake(-1, -1, 0), kUnitBox,
                                  tNear, tFar));
  EXPECT_FLOAT_EQ(tNear, 4);
  EXPECT_FLOAT_EQ(tFar, 6);
}

TEST(BoundingBoxRay, MissesAndBoxesBehind) {
  float tNear = 7, tFar = 7;
  // Direction x = 0 and origin x outside the slab.
  EXPECT_FALSE(RayAxisBoxIntersect(AffineVectorMake(2, 0, 0), YVector, kUnitBox, tNear, tFar));
  // Passing beside the box.
  EXPECT_FALSE(RayAxisBoxIntersect(AffineVectorMake(-5, 3, 0), XVector, kUnitBox, tNear, tFar));
  // Box behind the origin.
  EXPECT_FALSE(RayAxisBoxIntersect(AffineVectorMake(5, 0, 0), XVector, kUnitBox, tNear, tFar));
  EXPECT_EQ(tNear, 7);
  EXPECT_EQ(tFar, 7);
}

}  // namespace
}  // namespace qira

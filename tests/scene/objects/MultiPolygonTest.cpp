#include "scene/objects/MultiPolygon.h"

#include <gtest/gtest.h>

#include "support/ObjectRenderSupport.h"

namespace qira {
namespace {

void AddSquare(TGLNodes& nodes, float half, bool counterClockwise) {
  const float xs[4] = {-half, half, half, -half};
  for (int i = 0; i < 4; ++i) {
    const int k = counterClockwise ? i : 3 - i;
    nodes.Add().SetAsVector({xs[k], k < 2 ? -half : half, 0.0f, 0.0f});
  }
}

TEST(Contour, DivisionBelowOneIsStoredAsOneAndTheNameCountsNodes) {
  TGLMultiPolygon polygon;
  TGLContour& contour = polygon.Contours().Add();
  contour.SetDivision(0);
  EXPECT_EQ(contour.Division(), 1);
  AddSquare(contour.Nodes(), 1.0f, true);
  EXPECT_EQ(contour.GetDisplayName(), "GLContour: 4 nodes");
  contour.SetDescription("rim");
  EXPECT_EQ(contour.GetDisplayName(), "rim");
}

TEST(Contour, SplineOfFourNodesAtTenDivisionsGivesThirtyOneVertices) {
  TGLMultiPolygon polygon;
  TGLContour& contour = polygon.Contours().Add();
  AddSquare(contour.Nodes(), 1.0f, true);
  EXPECT_EQ(contour.Vertices().size(), 4u);
  contour.SetSplineMode(TLineSplineMode::lsmCubicSpline);
  const auto points = contour.Vertices(true);
  ASSERT_EQ(points.size(), 31u);
  EXPECT_FLOAT_EQ(points.front().y, 1.0f);  // reversed: the last node first
}

TEST(MultiPolygon, HalfExtentsTakeTheLargerMagnitudeAndNodeChangesRestructure) {
  TGLMultiPolygon polygon;
  EXPECT_EQ(polygon.AxisAlignedDimensionsUnscaled()[0], 0.0f);
  TGLNodes& path = polygon.Path(1);  // adds two contours
  EXPECT_EQ(polygon.Contours().Count(), 2);
  path.Add().SetAsVector({-3.0f, 1.0f, 0.5f, 0.0f});
  path.Add().SetAsVector({2.0f, -4.0f, 0.0f, 0.0f});
  const TVector half = polygon.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(half[0], 3.0f);
  EXPECT_EQ(half[1], 4.0f);
  EXPECT_EQ(half[2], 0.5f);
  path[0].SetX(-5.0f);
  EXPECT_EQ(polygon.AxisAlignedDimensionsUnscaled()[0], 5.0f);
}

class MultiPolygonRenderGL : public testing::TObjectPixelTest {};

TEST_F(MultiPolygonRenderGL, InnerContourWoundTheOtherWayIsAHole) {
  TGLMultiPolygon& polygon = AddRed<TGLMultiPolygon>();
  AddSquare(polygon.Path(0), 0.9f, true);
  AddSquare(polygon.Path(1), 0.4f, false);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.65f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(1.1f, 0.0f));
  EXPECT_EQ(polygon.Outlines().size(), 2u);
}

TEST_F(MultiPolygonRenderGL, NestedContoursWoundAlikeFillTheOuterSquareFromBothSides) {
  TGLMultiPolygon& polygon = AddRed<TGLMultiPolygon>();
  AddSquare(polygon.Path(0), 0.9f, true);
  AddSquare(polygon.Path(1), 0.4f, true);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_EQ(polygon.Outlines().size(), 1u);
  polygon.SetTurnAngle(180.0f);  // the bottom face towards the camera
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  polygon.SetParts({TPolygonPart::ppTop});
  s_->buffer->Render();
  EXPECT_TRUE(Background(0.0f, 0.0f));
}

}  // namespace
}  // namespace qira

#include "scene/objects/ExtrusionSolids.h"

#include <gtest/gtest.h>

#include "support/ObjectRenderSupport.h"

namespace qira {
namespace {

// A cylinder wall of radius 0.5 from y = -0.5 to 0.5, profile running down.
void AddWallProfile(TGLRevolutionSolid& solid) {
  solid.AddNode({0.5f, 0.5f, 0.0f});
  solid.AddNode({0.5f, -0.5f, 0.0f});
}

void AddSquare(TGLNodes& nodes, float x0, float y0, float x1, float y1) {
  nodes.Add().SetAsVector({x0, y0, 0.0f, 0.0f});
  nodes.Add().SetAsVector({x1, y0, 0.0f, 0.0f});
  nodes.Add().SetAsVector({x1, y1, 0.0f, 0.0f});
  nodes.Add().SetAsVector({x0, y1, 0.0f, 0.0f});
}

TEST(RevolutionSolid, AnglesKeepStartNotAboveStopAndSlicesIgnoreZero) {
  TGLRevolutionSolid solid;
  solid.SetStartAngle(400.0f);
  EXPECT_EQ(solid.StopAngle(), 400.0f);
  EXPECT_EQ(solid.SweepSteps(), 0);
  solid.SetStopAngle(-10.0f);
  EXPECT_EQ(solid.StartAngle(), -10.0f);
  solid.SetSlices(0);
  EXPECT_EQ(solid.Slices(), 16);
}

TEST(RevolutionSolid, HalfExtentsAreTheLargestRadiusAndHeightOfTheProfile) {
  TGLRevolutionSolid solid;
  solid.AddNode({0.3f, 2.0f, 0.4f});
  solid.AddNode({0.2f, -3.0f, 0.0f});
  const TVector half = solid.AxisAlignedDimensionsUnscaled();
  EXPECT_FLOAT_EQ(half[0], 0.5f);
  EXPECT_FLOAT_EQ(half[1], 3.0f);
  EXPECT_FLOAT_EQ(half[2], 0.5f);
  solid.Nodes()[1].SetY(-1.0f);
  EXPECT_FLOAT_EQ(solid.AxisAlignedDimensionsUnscaled()[1], 2.0f);
}

TEST(ExtrusionSolid, HalfExtentsReachTheExtrudedFaceAndHeightIsNotAssigned) {
  TGLExtrusionSolid solid;
  AddSquare(solid.Path(0), -1.0f, -0.5f, 2.0f, 0.5f);
  solid.SetHeight(-3.0f);
  const TVector half = solid.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(half[0], 2.0f);
  EXPECT_EQ(half[1], 0.5f);
  EXPECT_EQ(half[2], 3.0f);
  TGLExtrusionSolid copy;
  copy.SetStacks(0);
  EXPECT_EQ(copy.Stacks(), 1);
  solid.SetStacks(4);
  copy.Assign(&solid);
  EXPECT_EQ(copy.Stacks(), 4);
  EXPECT_EQ(copy.Height(), 1.0f);
  EXPECT_EQ(copy.Contours().Count(), 1);
}

class ExtrusionSolidsRenderGL : public testing::TObjectPixelTest {};

TEST_F(ExtrusionSolidsRenderGL, RevolvedWallShowsItsSilhouette) {
  TGLRevolutionSolid& solid = AddRed<TGLRevolutionSolid>();
  AddWallProfile(solid);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Red(0.4f, 0.4f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 0.7f));
}

TEST_F(ExtrusionSolidsRenderGL, ASweepNarrowerThanHalfASliceDrawsNothing) {
  TGLRevolutionSolid& solid = AddRed<TGLRevolutionSolid>();
  AddWallProfile(solid);
  solid.SetParts({TRevolutionSolidPart::rspOutside, TRevolutionSolidPart::rspInside,
                  TRevolutionSolidPart::rspStartPolygon, TRevolutionSolidPart::rspStopPolygon});
  solid.SetStopAngle(10.0f);
  EXPECT_EQ(solid.SweepSteps(), 0);
  s_->buffer->Render();
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.05f, 0.0f));
}

TEST_F(ExtrusionSolidsRenderGL, ExtrudedSquareShowsItsTopAndItsSidesFromTheSide) {
  TGLExtrusionSolid& solid = AddRed<TGLExtrusionSolid>();
  AddSquare(solid.Path(0), -0.5f, -0.5f, 0.5f, 0.5f);
  solid.SetParts({TExtrusionSolidPart::espOutside, TExtrusionSolidPart::espStopPolygon});
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.8f, 0.0f));
  solid.SetParts({TExtrusionSolidPart::espOutside});
  solid.SetPitchAngle(-90.0f);  // the extrusion now runs down from y = 0 to -1, a side towards the camera
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, -0.5f));
  EXPECT_TRUE(Red(0.4f, -0.9f));
  EXPECT_TRUE(Background(0.0f, 0.3f));
}

TEST_F(ExtrusionSolidsRenderGL, HeightZeroDrawsOnlyTheCapsInThePlaneZZero) {
  TGLExtrusionSolid& solid = AddRed<TGLExtrusionSolid>();
  AddSquare(solid.Path(0), -0.5f, -0.5f, 0.5f, 0.5f);
  solid.SetParts({TExtrusionSolidPart::espOutside, TExtrusionSolidPart::espStopPolygon});
  solid.SetHeight(0.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
}

}  // namespace
}  // namespace qira

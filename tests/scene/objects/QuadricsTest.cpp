#include "scene/objects/Quadrics.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Rounding.h"
#include "scene/materials/Materials.h"
#include "scene/components/Persistence.h"
#include "support/SceneRenderSupport.h"
#include "support/HeadlessGL.h"
#include "support/ObjectRenderSupport.h"

namespace qira {
namespace {

using testing::Near;
using testing::TRenderedScene;

void ExpectVector(const TVector& v, float x, float y, float z, float tolerance = 1e-4f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

TVector P(float x, float y, float z) { return {x, y, z, 1.0f}; }
TVector D(float x, float y, float z) { return {x, y, z, 0.0f}; }

// ------------------------------------------------------------ properties

TEST(QuadricProperties, SettersWithLimitsStoreTheLimitedValue) {
  TGLCylinder cylinder;
  cylinder.SetLoops(0);
  EXPECT_EQ(cylinder.Loops(), 1);
  cylinder.SetLoops(3);
  EXPECT_EQ(cylinder.Loops(), 3);
  TGLTorus torus;
  torus.SetRings(1);
  EXPECT_EQ(torus.Rings(), 2u);
  torus.SetSides(0);
  EXPECT_EQ(torus.Sides(), 3u);
}

TEST(QuadricProperties, FrustumHeightAndApexHeightKeepEachOtherInOrder) {
  TGLFrustrum frustum;
  frustum.SetHeight(2.0f);
  EXPECT_EQ(frustum.ApexHeight(), 2.0f);
  frustum.SetApexHeight(0.75f);
  EXPECT_EQ(frustum.Height(), 0.75f);
  frustum.SetHeight(-1.0f);
  frustum.SetApexHeight(-1.0f);
  frustum.SetBaseWidth(-1.0f);
  frustum.SetBaseDepth(-1.0f);
  EXPECT_EQ(frustum.Height(), 0.75f);
  EXPECT_EQ(frustum.ApexHeight(), 0.75f);
  EXPECT_EQ(frustum.BaseWidth(), 1.0f);
  EXPECT_EQ(frustum.BaseDepth(), 1.0f);
}

TEST(QuadricProperties, HalfExtentsUseAbsoluteRadii) {
  TGLDisk disk;
  disk.SetOuterRadius(-2.0f);
  ExpectVector(disk.AxisAlignedDimensionsUnscaled(), 2.0f, 2.0f, 0.0f);
  TGLCylinder cylinder;
  cylinder.SetTopRadius(-3.0f);
  cylinder.SetAlignment(TCylinderAlignment::caBottom);
  ExpectVector(cylinder.AxisAlignedDimensionsUnscaled(), 3.0f, 0.5f, 3.0f);
  TGLTorus torus;
  torus.SetMajorRadius(-1.0f);
  ExpectVector(torus.AxisAlignedDimensionsUnscaled(), 1.1f, 1.1f, 0.1f);
}

// ------------------------------------------------------------ stored form

TEST(FrustumSize, SixteenLittleEndianSinglesInApexDepthWidthHeightOrder) {
  TGLFrustrum frustum;
  frustum.SetApexHeight(2.0f);
  frustum.SetBaseDepth(3.0f);
  frustum.SetBaseWidth(4.0f);
  frustum.SetHeight(0.5f);
  TMemoryStream stream;
  frustum.WriteFrustrumSize(stream);
  // 2.0 = 0x40000000, 3.0 = 0x40400000, 4.0 = 0x40800000, 0.5 = 0x3F000000.
  const std::array<uint8_t, 16> expected{0, 0, 0, 0x40, 0, 0, 0x40, 0x40, 0, 0, 0x80, 0x40, 0, 0, 0, 0x3F};
  EXPECT_EQ(frustum.FrustrumSizeData(), expected);
  ASSERT_TRUE(stream.Seek(0));
  TGLFrustrum copy;
  copy.ReadFrustrumSize(stream);
  EXPECT_EQ(copy.ApexHeight(), 2.0f);
  EXPECT_EQ(copy.BaseDepth(), 3.0f);
  EXPECT_EQ(copy.BaseWidth(), 4.0f);
  EXPECT_EQ(copy.Height(), 0.5f);
}

TEST(FrustumSize, AShortRecordOrOneThatIsNoNumberIsRefusedAndOthersGoThroughTheSetters) {
  TGLFrustrum frustum;
  const std::array<uint8_t, 8> shortData{0, 0, 0, 0x40, 0, 0, 0x40, 0x40};
  TMemoryStream shortStream(shortData.data(), shortData.size());
  EXPECT_THROW(frustum.ReadFrustrumSize(shortStream), EReadError);
  // A NaN width.
  const std::array<uint8_t, 16> nan{0, 0, 0, 0x40, 0, 0, 0x40, 0x40, 0, 0, 0xC0, 0x7F, 0, 0, 0, 0x3F};
  EXPECT_FALSE(frustum.SetFrustrumSizeData(nan));
  EXPECT_FALSE(frustum.StoreFrustrumSize());
  // Height 4 above ApexHeight 2 raises the apex; a negative depth is ignored.
  const std::array<uint8_t, 16> inverted{0, 0, 0, 0x40, 0, 0, 0x40, 0xC0, 0, 0, 0x80, 0x40, 0, 0, 0x80, 0x40};
  TMemoryStream invertedStream(inverted.data(), inverted.size());
  frustum.ReadFrustrumSize(invertedStream);
  EXPECT_EQ(frustum.ApexHeight(), 4.0f);
  EXPECT_EQ(frustum.BaseDepth(), 1.0f);
  EXPECT_EQ(frustum.BaseWidth(), 4.0f);
  EXPECT_EQ(frustum.Height(), 4.0f);
}

// ------------------------------------------------------------- ray casts

TEST(DiskRayCast, HitsInsideTheSweptRingOnly) {
  TGLDisk disk;
  TVector point;
  TVector normal;
  ASSERT_TRUE(disk.RayCastIntersect(P(0.2f, 0.1f, 5.0f), D(0, 0, -1), &point, &normal));
  ExpectVector(point, 0.2f, 0.1f, 0.0f);
  ExpectVector(normal, 0.0f, 0.0f, 1.0f);
  EXPECT_FALSE(disk.RayCastIntersect(P(0.6f, 0.0f, 5.0f), D(0, 0, -1)));
  disk.SetInnerRadius(0.2f);
  EXPECT_FALSE(disk.RayCastIntersect(P(0.1f, 0.0f, 5.0f), D(0, 0, -1)));
  // A quarter from +Y (0 degrees) to +X (90 degrees).
  disk.SetSweepAngle(90.0f);
  EXPECT_TRUE(disk.RayCastIntersect(P(0.25f, 0.25f, 5.0f), D(0, 0, -1)));
  EXPECT_FALSE(disk.RayCastIntersect(P(-0.25f, 0.25f, 5.0f), D(0, 0, -1)));
  EXPECT_FALSE(disk.RayCastIntersect(P(0.25f, -0.25f, 5.0f), D(0, 0, -1)));
  // A sweep across 0: from 300 to 30 degrees.
  disk.SetStartAngle(300.0f);
  EXPECT_TRUE(disk.RayCastIntersect(P(-0.05f, 0.3f, 5.0f), D(0, 0, -1)));
  EXPECT_FALSE(disk.RayCastIntersect(P(0.3f, 0.0f, 5.0f), D(0, 0, -1)));
}

TEST(DiskRayCast, AZeroSweepNeverHits) {
  TGLDisk disk;
  disk.SetSweepAngle(0.0f);
  EXPECT_FALSE(disk.RayCastIntersect(P(0.1f, 0.1f, 5.0f), D(0, 0, -1)));
}

TEST(CylinderRayCast, CapsSidesAndAlignment) {
  TGLCylinder cylinder;
  TVector point;
  TVector normal;
  ASSERT_TRUE(cylinder.RayCastIntersect(P(0.1f, 5.0f, 0.0f), D(0, -1, 0), &point, &normal));
  ExpectVector(point, 0.1f, 0.5f, 0.0f);
  ExpectVector(normal, 0.0f, 1.0f, 0.0f);
  ASSERT_TRUE(cylinder.RayCastIntersect(P(0.0f, -5.0f, 0.1f), D(0, 1, 0), &point, &normal));
  ExpectVector(point, 0.0f, -0.5f, 0.1f);
  ExpectVector(normal, 0.0f, -1.0f, 0.0f);
  ASSERT_TRUE(cylinder.RayCastIntersect(P(5.0f, 0.2f, 0.0f), D(-2, 0, 0), &point, &normal));
  ExpectVector(point, 0.5f, 0.2f, 0.0f);
  ExpectVector(normal, 0.5f, 0.0f, 0.0f);
  EXPECT_FALSE(cylinder.RayCastIntersect(P(5.0f, 0.7f, 0.0f), D(-1, 0, 0)));
  EXPECT_TRUE(cylinder.RayCastIntersect(P(5.0f, 0.5f, 0.0f), D(-1, 0, 0)));
  cylinder.SetAlignment(TCylinderAlignment::caBottom);
  EXPECT_TRUE(cylinder.RayCastIntersect(P(5.0f, 0.7f, 0.0f), D(-1, 0, 0)));
  EXPECT_FALSE(cylinder.RayCastIntersect(P(5.0f, -0.2f, 0.0f), D(-1, 0, 0)));
  // Without its top cap a ray down the axis meets the bottom cap.
  cylinder.SetParts({TCylinderPart::cySides, TCylinderPart::cyBottom});
  ASSERT_TRUE(cylinder.RayCastIntersect(P(0.0f, 5.0f, 0.0f), D(0, -1, 0), &point, &normal));
  ExpectVector(point, 0.0f, 0.0f, 0.0f);
}

TEST(ConeRayCast, BaseFromBelowAndSlantedSide) {
  TGLCone cone;
  TVector point;
  TVector normal;
  ASSERT_TRUE(cone.RayCastIntersect(P(0.1f, -5.0f, 0.0f), D(0, 1, 0), &point, &normal));
  ExpectVector(point, 0.1f, -0.5f, 0.0f);
  ExpectVector(normal, 0.0f, -1.0f, 0.0f);
  // Radius 0.25 at mid height; the normal leans up by atan(1/2).
  ASSERT_TRUE(cone.RayCastIntersect(P(5.0f, 0.0f, 0.0f), D(-1, 0, 0), &point, &normal));
  ExpectVector(point, 0.25f, 0.0f, 0.0f);
  ExpectVector(normal, 2.0f / std::sqrt(5.0f), 1.0f / std::sqrt(5.0f), 0.0f);
  EXPECT_FALSE(cone.RayCastIntersect(P(5.0f, 0.6f, 0.0f), D(-1, 0, 0)));
  cone.SetParts({TConePart::coBottom});
  EXPECT_FALSE(cone.RayCastIntersect(P(5.0f, 0.0f, 0.0f), D(-1, 0, 0)));
}

TEST(TorusRayCast, HitsTheTubeAndMissesTheHole) {
  TGLTorus torus;
  TVector point;
  TVector normal;
  EXPECT_FALSE(torus.RayCastIntersect(P(0.0f, 0.0f, 5.0f), D(0, 0, -1)));
  ASSERT_TRUE(torus.RayCastIntersect(P(0.4f, 0.0f, 5.0f), D(0, 0, -1), &point, &normal));
  ExpectVector(point, 0.4f, 0.0f, 0.1f, 1e-3f);
  ExpectVector(normal, 0.0f, 0.0f, 0.1f, 1e-3f);
  ASSERT_TRUE(torus.RayCastIntersect(P(5.0f, 0.0f, 0.0f), D(-1, 0, 0), &point, &normal));
  ExpectVector(point, 0.5f, 0.0f, 0.0f, 1e-3f);
  ExpectVector(normal, 0.1f, 0.0f, 0.0f, 1e-3f);
  EXPECT_FALSE(torus.RayCastIntersect(P(0.7f, 0.0f, 5.0f), D(0, 0, -1)));
}

// --------------------------------------------------------------- drawing

// Each primitive drawn unlit in its red diffuse colour on the blue
// background, seen from +Z; world (x, y) on the z = 0 plane maps to pixels.
class QuadricRenderGL : public testing::TObjectPixelTest {
 protected:
  template <typename T>
  T& Add() {
    return AddRed<T>();
  }
};

TEST_F(QuadricRenderGL, DiskDrawsItsSweptPart) {
  TGLDisk& disk = Add<TGLDisk>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Red(-0.3f, -0.3f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
  disk.SetSweepAngle(90.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.25f, 0.25f));
  EXPECT_TRUE(Background(-0.25f, 0.25f));
  EXPECT_TRUE(Background(0.25f, -0.25f));
}

TEST_F(QuadricRenderGL, CylinderFollowsItsAlignment) {
  TGLCylinder& cylinder = Add<TGLCylinder>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.35f));
  EXPECT_TRUE(Red(0.35f, -0.35f));
  EXPECT_TRUE(Background(0.0f, 0.7f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
  cylinder.SetAlignment(TCylinderAlignment::caBottom);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.85f));
  EXPECT_TRUE(Background(0.0f, -0.3f));
}

TEST_F(QuadricRenderGL, ConeNarrowsTowardsItsApexAtTheTop) {
  Add<TGLCone>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.3f, -0.35f));
  EXPECT_TRUE(Background(0.3f, 0.35f));
  EXPECT_TRUE(Red(0.0f, 0.3f));
}

TEST_F(QuadricRenderGL, AnnulusSeenFromAboveShowsItsHole) {
  TGLAnnulus& annulus = Add<TGLAnnulus>();
  annulus.SetPitchAngle(90.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.4f, 0.0f));
  EXPECT_TRUE(Red(0.0f, -0.4f));
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
}

TEST_F(QuadricRenderGL, TorusIsARingAroundTheViewAxis) {
  Add<TGLTorus>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.4f, 0.0f));
  EXPECT_TRUE(Red(0.0f, -0.4f));
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.7f, 0.0f));
}

TEST_F(QuadricRenderGL, FrustumIsATrapezoidFromTheFront) {
  Add<TGLFrustrum>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Red(0.4f, -0.15f));
  EXPECT_TRUE(Background(0.4f, 0.15f));
  EXPECT_TRUE(Background(0.0f, 0.4f));
}

TEST_F(QuadricRenderGL, CapsuleDrawsAroundTheCentre) {
  Add<TGLCapsule>();
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.0f));
  EXPECT_TRUE(Background(0.8f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 0.8f));
}

TEST_F(QuadricRenderGL, CapsuleWithoutStacksDrawsNothing) {
  TGLCapsule& capsule = Add<TGLCapsule>();
  capsule.SetStacks(0);
  s_->buffer->Render();
  EXPECT_TRUE(Background(0.0f, 0.0f));
}

TEST_F(QuadricRenderGL, PolygonFillsItsOutline) {
  TGLPolygon& polygon = Add<TGLPolygon>();
  polygon.AddNode({-0.5f, -0.5f, 0.0f});
  polygon.AddNode({0.5f, -0.5f, 0.0f});
  polygon.AddNode({0.0f, 0.5f, 0.0f});
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, -0.2f));
  EXPECT_TRUE(Background(0.4f, 0.3f));
}

// The arrow turned so that its local Z runs along world +X, with heads wide
// enough to tell from the line.
class ArrowLineRenderGL : public QuadricRenderGL {
 protected:
  void SetUp() override {
    QuadricRenderGL::SetUp();
    if (s_ == nullptr) return;
    arrow_ = &Add<TGLArrowLine>();
    arrow_->Direction().SetVector(1.0f, 0.0f, 0.0f);
    arrow_->SetTopArrowHeadRadius(0.4f);
    arrow_->SetBottomArrowHeadRadius(0.4f);
  }
  TGLArrowLine* arrow_ = nullptr;
};

TEST_F(ArrowLineRenderGL, StackedHeadSitsBeyondTheLine) {
  s_->buffer->Render();
  EXPECT_TRUE(Red(-0.4f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 0.25f));
  EXPECT_TRUE(Red(0.55f, 0.25f));
  EXPECT_TRUE(Red(0.85f, 0.0f));
  EXPECT_TRUE(Background(-0.7f, 0.0f));
  EXPECT_TRUE(Background(1.15f, 0.0f));
}

// Polygons the arrow emits, counted in feedback mode with the whole arrow
// inside the clip volume.
int ArrowPolygonCount(TRenderedScene& scene, TGLArrowLine& arrow) {
  TGLContext& context = *scene.buffer->RenderingContext();
  context.Activate();
  std::vector<GLfloat> feedback(1 << 20);
  glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D, feedback.data());
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glScalef(0.3f, 0.3f, 0.3f);
  glDisable(GL_CULL_FACE);
  glRenderMode(GL_FEEDBACK);
  TRenderContextInfo rci;
  arrow.BuildList(rci);
  const GLint size = glRenderMode(GL_RENDER);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  context.Deactivate();
  int polygons = 0;
  for (GLint i = 0; i < size;) {
    const auto token = static_cast<GLint>(feedback[static_cast<size_t>(i)]);
    if (token != GL_POLYGON_TOKEN) return -1;
    const auto n = static_cast<GLint>(feedback[static_cast<size_t>(i) + 1]);
    i += 2 + 3 * n;
    ++polygons;
  }
  return polygons;
}

TEST_F(ArrowLineRenderGL, IncludedHeadsLongerThanTheLineLeaveNoLine) {
  arrow_->SetParts(TArrowLineParts::All());
  arrow_->SetHeadStackingStyle(TArrowHeadStackingStyle::ahssIncluded);
  arrow_->SetTopArrowHeadHeight(0.4f);
  arrow_->SetBottomArrowHeadHeight(0.4f);
  const int withLine = ArrowPolygonCount(*s_, *arrow_);
  arrow_->SetTopArrowHeadHeight(0.6f);
  arrow_->SetBottomArrowHeadHeight(0.6f);
  const int withoutLine = ArrowPolygonCount(*s_, *arrow_);
  ASSERT_GT(withoutLine, 0);
  // The line is one gluCylinder of Slices x Stacks quads (two triangles or
  // one quad each), and draws no end caps while both heads are there.
  EXPECT_GE(withLine - withoutLine, arrow_->Slices() * arrow_->Stacks());
  EXPECT_LE(withLine - withoutLine, 2 * arrow_->Slices() * arrow_->Stacks());
}

}  // namespace
}  // namespace qira

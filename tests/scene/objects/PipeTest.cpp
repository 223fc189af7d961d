#include "scene/objects/Pipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Rounding.h"
#include "scene/materials/Materials.h"
#include "support/SceneRenderSupport.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"
#include "scene/objects/BasicSolids.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/objects/Mesh.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "support/TestApplication.h"
#include "scene/objects/PointsLines.h"
#include "support/HeadlessGL.h"
#include "support/ScopedMemoryProbe.h"

namespace qira {
namespace {

constexpr TVector kRed{1.0f, 0.0f, 0.0f, 1.0f};
constexpr TVector kGreen{0.0f, 1.0f, 0.0f, 1.0f};
constexpr TVector kBlueColor{0.0f, 0.0f, 1.0f, 1.0f};

// Counts the structure changes a pipe signals.
class TCountingPipe : public TGLPipe {
 public:
  int structureChanges = 0;
  void StructureChanged() override {
    ++structureChanges;
    TGLPipe::StructureChanged();
  }
};

TGLPipeNode& AddColoredNode(TGLPipe& pipe, const TAffineVector& p, const TVector& color, float factor = 1.0f) {
  TGLPipeNode& node = pipe.AddNode(p);
  node.Color().SetColor(color);
  node.SetRadiusFactor(factor);
  return node;
}

float Distance(const TAffineVector& a, const TAffineVector& b) { return VectorDistance(a, b); }

bool SameColor(const TVector& a, const TVector& b, float tolerance = 1e-5f) {
  for (size_t i = 0; i < 4; ++i) {
    if (std::fabs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

// The bands of a geometry, in order.
std::vector<const TPipePrimitive*> Bands(const TPipeGeometry& g) {
  std::vector<const TPipePrimitive*> bands;
  for (const TPipePrimitive& p : g.primitives) {
    if (p.kind == TPipePrimitiveKind::pkBand) bands.push_back(&p);
  }
  return bands;
}

// Normal of the triangle (a, b, c) by its winding.
TAffineVector Winding(const TPipeVertex& a, const TPipeVertex& b, const TPipeVertex& c) {
  return AffineVectorCrossProduct(AffineVectorSubtract(b.position, a.position),
                                  AffineVectorSubtract(c.position, a.position));
}

// ------------------------------------------------------------- nodes

TEST(PipeNode, StartsWithFactorOneInOpaqueBlackAndNamesItsFactor) {
  TGLPipe pipe;
  TGLPipeNode& node = pipe.AddNode({1.0f, 2.0f, 3.0f});
  EXPECT_EQ(node.RadiusFactor(), 1.0f);
  EXPECT_FALSE(node.IsRadiusFactorStored());
  EXPECT_TRUE(SameColor(node.Color().Color(), {0.0f, 0.0f, 0.0f, 1.0f}));
  node.SetRadiusFactor(0.25f);
  EXPECT_TRUE(node.IsRadiusFactorStored());
  EXPECT_EQ(node.GetDisplayName(), "1.0000; 2.0000; 3.0000 / rf = 0.250");
  EXPECT_EQ(&pipe.Nodes()[0], &node);
  EXPECT_STREQ(pipe.Nodes().ItemClass().ClassName(), "TGLPipeNode");
}

TEST(PipeNode, FactorColourAndCoordinateChangesRebuildThePipe) {
  TCountingPipe pipe;
  TGLPipeNode& node = pipe.AddNode({0.0f, 0.0f, 0.0f});
  int before = pipe.structureChanges;
  node.SetRadiusFactor(1.0f);  // unchanged
  EXPECT_EQ(pipe.structureChanges, before);
  node.SetRadiusFactor(2.0f);
  EXPECT_GT(pipe.structureChanges, before);
  before = pipe.structureChanges;
  node.Color().SetColor(kRed);
  EXPECT_GT(pipe.structureChanges, before);
  before = pipe.structureChanges;
  TGLColor green(nullptr, kGreen);
  node.SetColor(green);
  EXPECT_GT(pipe.structureChanges, before);
  EXPECT_TRUE(SameColor(node.Color().Color(), kGreen));
  before = pipe.structureChanges;
  node.SetX(4.0f);
  EXPECT_GT(pipe.structureChanges, before);
}

// ------------------------------------------------------------- properties

TEST(PipeProperties, DefaultsAndSettersThatSignalOnlyRealChanges) {
  TCountingPipe pipe;
  EXPECT_EQ(pipe.Slices(), 16);
  EXPECT_EQ(pipe.Parts(), TPipeParts{TPipePart::ppOutside});
  EXPECT_EQ(pipe.Radius(), 1.0f);
  EXPECT_EQ(pipe.NodesColorMode(), TPipeNodesColorMode::pncmNone);
  EXPECT_EQ(pipe.Division(), 10);
  EXPECT_EQ(pipe.SplineMode(), TLineSplineMode::lsmLines);
  const int before = pipe.structureChanges;
  pipe.SetSlices(16);
  pipe.SetParts({TPipePart::ppOutside});
  pipe.SetRadius(1.0f);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmNone);
  EXPECT_EQ(pipe.structureChanges, before);
  pipe.SetSlices(8);
  pipe.SetParts({TPipePart::ppInside});
  pipe.SetRadius(2.0f);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmDiffuse);
  EXPECT_EQ(pipe.structureChanges, before + 4);
}

TEST(PipeProperties, SlicesBelowOneLeaveSlicesUnchanged) {
  TGLPipe pipe;
  pipe.SetSlices(0);
  EXPECT_EQ(pipe.Slices(), 16);
  pipe.SetSlices(-5);
  EXPECT_EQ(pipe.Slices(), 16);
  pipe.SetSlices(1);
  EXPECT_EQ(pipe.Slices(), 1);
}

TEST(PipeProperties, AssignCopiesTheTubeTheNodesAndTheirFactorsAndColours) {
  TGLPipe source;
  source.SetSlices(7);
  source.SetParts({TPipePart::ppInside, TPipePart::ppStopDisk});
  source.SetRadius(0.5f);
  source.SetNodesColorMode(TPipeNodesColorMode::pncmEmission);
  source.SetDivision(4);
  source.SetSplineMode(TLineSplineMode::lsmCubicSpline);
  AddColoredNode(source, {1.0f, 2.0f, 3.0f}, kRed, 0.5f);
  AddColoredNode(source, {4.0f, 5.0f, 6.0f}, kGreen, 2.0f);
  TGLPipe target;
  target.Assign(&source);
  EXPECT_EQ(target.Slices(), 7);
  EXPECT_EQ(target.Parts(), source.Parts());
  EXPECT_EQ(target.Radius(), 0.5f);
  EXPECT_EQ(target.NodesColorMode(), TPipeNodesColorMode::pncmEmission);
  EXPECT_EQ(target.Division(), 4);
  EXPECT_EQ(target.SplineMode(), TLineSplineMode::lsmCubicSpline);
  ASSERT_EQ(target.Nodes().Count(), 2);
  EXPECT_EQ(target.Nodes()[1].X(), 4.0f);
  EXPECT_EQ(target.Nodes()[0].RadiusFactor(), 0.5f);
  EXPECT_EQ(target.Nodes()[1].RadiusFactor(), 2.0f);
  EXPECT_TRUE(SameColor(target.Nodes()[1].Color().Color(), kGreen));
  // A copy of the nodes keeps their class.
  std::unique_ptr<TGLNodes> copy = source.Nodes().CreateCopy(nullptr);
  ASSERT_NE(dynamic_cast<TGLPipeNodes*>(copy.get()), nullptr);
  EXPECT_EQ(static_cast<TGLPipeNodes&>(*copy)[0].RadiusFactor(), 0.5f);
}

TEST(PipeProperties, RegistrationFindsThePipeAndItsNodeByName) {
  RegisterPipeClasses();
  EXPECT_EQ(GetClass("TGLPipe"), &TGLPipe::StaticClass());
  EXPECT_EQ(GetClass("tglpipenode"), &TGLPipeNode::StaticClass());
}

// ----------------------------------------------------------------- bounds

TEST(PipeBounds, HalfExtentsHoldEveryNodeWithItsOwnRadius) {
  TGLPipe pipe;
  EXPECT_EQ(pipe.AxisAlignedDimensionsUnscaled().x, 0.0f);
  pipe.SetRadius(0.5f);
  AddColoredNode(pipe, {0.0f, 0.0f, 0.0f}, kRed, 1.0f);
  AddColoredNode(pipe, {4.0f, -1.0f, 0.0f}, kRed, 3.0f);
  const TVector dims = pipe.AxisAlignedDimensionsUnscaled();
  EXPECT_FLOAT_EQ(dims.x, 5.5f);
  EXPECT_FLOAT_EQ(dims.y, 2.5f);
  EXPECT_FLOAT_EQ(dims.z, 1.5f);
  EXPECT_EQ(dims.w, 0.0f);
}

TEST(PipeBounds, ASplineSwingingOutsideItsNodesStaysInsideTheBox) {
  TGLPipe pipe;
  pipe.SetRadius(0.1f);
  pipe.SetSplineMode(TLineSplineMode::lsmCubicSpline);
  for (const TAffineVector& p : {TAffineVector{0, 0, 0}, TAffineVector{1, 2, 0}, TAffineVector{2, 2, 0},
                                 TAffineVector{3, 0, 0}}) {
    pipe.AddNode(p);
  }
  const TVector dims = pipe.AxisAlignedDimensionsUnscaled();
  const TPipeGeometry g = pipe.ComputeGeometry();
  for (const TPipePrimitive& p : g.primitives) {
    for (const TPipeVertex& v : p.vertices) {
      EXPECT_LE(std::fabs(v.position.x), dims.x + 1e-5f);
      EXPECT_LE(std::fabs(v.position.y), dims.y + 1e-5f);
      EXPECT_LE(std::fabs(v.position.z), dims.z + 1e-5f);
    }
  }
  EXPECT_GT(dims.y, 2.3f);  // the spline bulges above the nodes' y of 2
}

// --------------------------------------------------------------- geometry

TEST(PipeGeometry, NoNodesGiveNothingAndOneNodeOnlyItsDisksInTheXZPlane) {
  TGLPipe pipe;
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});
  EXPECT_TRUE(pipe.ComputeGeometry().primitives.empty());
  pipe.SetSplineMode(TLineSplineMode::lsmCubicSpline);
  pipe.AddNode({1.0f, 2.0f, 3.0f});
  const TPipeGeometry g = pipe.ComputeGeometry();
  ASSERT_EQ(g.primitives.size(), 2u);
  EXPECT_EQ(g.bodyRings, 0);
  for (const TPipePrimitive& disk : g.primitives) {
    EXPECT_EQ(disk.kind, TPipePrimitiveKind::pkDisk);
    ASSERT_EQ(disk.vertices.size(), 18u);
    for (size_t i = 1; i < disk.vertices.size(); ++i) {
      EXPECT_NEAR(disk.vertices[i].position.y, 2.0f, 1e-6f);
      EXPECT_NEAR(Distance(disk.vertices[i].position, {1.0f, 2.0f, 3.0f}), 1.0f, 1e-5f);
    }
  }
}

TEST(PipeGeometry, TwoNodesWithDefaultsGiveOneBandOfSixteenFacetsAndNoDisks) {
  TGLPipe pipe;
  pipe.AddNode({0.0f, 0.0f, 0.0f});
  pipe.AddNode({2.0f, 0.0f, 0.0f});
  const TPipeGeometry g = pipe.ComputeGeometry();
  ASSERT_EQ(g.primitives.size(), 1u);
  EXPECT_EQ(g.primitives[0].kind, TPipePrimitiveKind::pkBand);
  EXPECT_EQ(g.primitives[0].vertices.size(), 34u);
  EXPECT_EQ(g.bodyRings, 1);
  EXPECT_FALSE(g.nodeColors);
  // Counter-clockwise seen from outside: the first triangle faces away from the axis.
  const auto& v = g.primitives[0].vertices;
  EXPECT_GT(AffineVectorDotProduct(Winding(v[0], v[1], v[2]), v[0].normal), 0.0f);
}

TEST(PipeGeometry, EveryRingHasItsNodesRadiusAndNormalsOfLengthRadius) {
  TGLPipe pipe;
  pipe.SetRadius(0.5f);
  pipe.SetSlices(12);
  AddColoredNode(pipe, {0.0f, 0.0f, 0.0f}, kRed, 1.0f);
  AddColoredNode(pipe, {3.0f, 0.0f, 0.0f}, kRed, 2.0f);
  AddColoredNode(pipe, {6.0f, 0.0f, 0.0f}, kRed, 0.0f);
  const TPipeGeometry g = pipe.ComputeGeometry();
  const std::vector<const TPipePrimitive*> bands = Bands(g);
  ASSERT_EQ(bands.size(), 2u);
  const TAffineVector centres[] = {{0, 0, 0}, {3, 0, 0}, {6, 0, 0}};
  const float radii[] = {0.5f, 1.0f, 0.0f};  // a factor of 0 pinches the tube to a point
  for (size_t b = 0; b < 2; ++b) {
    const auto& v = bands[b]->vertices;
    ASSERT_EQ(v.size(), 26u);
    for (size_t i = 0; i < v.size(); ++i) {
      // Even indices (and the last) alternate: B_0, A_0, B_1, A_1, ..., A_12.
      const bool onA = i % 2 == 1;
      const size_t ring = onA ? b : b + 1;
      EXPECT_NEAR(Distance(v[i].position, centres[ring]), radii[ring], 1e-5f) << "band " << b << " vertex " << i;
      EXPECT_NEAR(AffineVectorLength(v[i].normal), 0.5f, 1e-5f);
      EXPECT_NEAR(v[i].normal.x, 0.0f, 1e-6f);  // perpendicular to the path
    }
  }
}

TEST(PipeGeometry, NodeColoursAreCarriedAndSentOnlyWhenAColourModeIsSet) {
  TGLPipe pipe;
  AddColoredNode(pipe, {0.0f, 0.0f, 0.0f}, kRed);
  AddColoredNode(pipe, {0.0f, 2.0f, 0.0f}, kGreen);
  AddColoredNode(pipe, {0.0f, 4.0f, 0.0f}, kBlueColor);
  EXPECT_FALSE(pipe.ComputeGeometry().nodeColors);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  const TPipeGeometry g = pipe.ComputeGeometry();
  EXPECT_TRUE(g.nodeColors);
  const std::vector<const TPipePrimitive*> bands = Bands(g);
  ASSERT_EQ(bands.size(), 2u);
  const TVector expected[] = {kRed, kGreen, kBlueColor};
  for (size_t b = 0; b < 2; ++b) {
    const auto& v = bands[b]->vertices;
    for (size_t i = 0; i < v.size(); ++i) {
      const size_t ring = i % 2 == 1 ? b : b + 1;
      EXPECT_TRUE(SameColor(v[i].color, expected[ring])) << "band " << b << " vertex " << i;
    }
  }
}

TEST(PipeGeometry, CubicSplineOfThreeNodesSamplesTwentyRingsAndBlendsTheColours) {
  TGLPipe pipe;
  pipe.SetSplineMode(TLineSplineMode::lsmCubicSpline);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmDiffuse);
  AddColoredNode(pipe, {0.0f, 0.0f, 0.0f}, kRed);
  AddColoredNode(pipe, {1.0f, 1.0f, 0.0f}, kGreen);
  AddColoredNode(pipe, {2.0f, 0.0f, 0.0f}, kBlueColor);
  const TPipeGeometry g = pipe.ComputeGeometry();
  EXPECT_EQ(g.bodyRings, 20);
  const std::vector<const TPipePrimitive*> bands = Bands(g);
  ASSERT_EQ(bands.size(), 20u);
  for (size_t i = 1; i <= 20; ++i) {
    const float t = static_cast<float>(i) / 10.0f;
    const TVector want = t <= 1.0f ? VectorLerp(kRed, kGreen, t) : VectorLerp(kGreen, kBlueColor, t - 1.0f);
    // B (the current ring) is vertex 0 of band i.
    EXPECT_TRUE(SameColor(bands[i - 1]->vertices[0].color, want, 1e-4f)) << "sample " << i;
  }
  EXPECT_TRUE(SameColor(bands.back()->vertices[0].color, kBlueColor, 0.0f));
  // The last ring lies around the last node.
  EXPECT_NEAR(Distance(bands.back()->vertices[0].position, {2.0f, 0.0f, 0.0f}), 1.0f, 1e-4f);
}

TEST(PipeGeometry, OutsideAndInsideDrawEachBandTwiceInOppositeOrderWithOutwardNormals) {
  TGLPipe pipe;
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppInside});
  pipe.AddNode({0.0f, 0.0f, 0.0f});
  pipe.AddNode({0.0f, 0.0f, 3.0f});
  const TPipeGeometry g = pipe.ComputeGeometry();
  const std::vector<const TPipePrimitive*> bands = Bands(g);
  ASSERT_EQ(bands.size(), 2u);
  const auto& outside = bands[0]->vertices;
  const auto& inside = bands[1]->vertices;
  ASSERT_EQ(inside.size(), outside.size());
  for (size_t i = 0; i + 1 < outside.size(); i += 2) {
    EXPECT_EQ(Distance(inside[i].position, outside[i + 1].position), 0.0f);
    EXPECT_EQ(Distance(inside[i + 1].position, outside[i].position), 0.0f);
  }
  for (const TPipeVertex& v : inside) {
    const TAffineVector radial{v.position.x, v.position.y, 0.0f};
    EXPECT_GT(AffineVectorDotProduct(v.normal, radial), 0.0f);
  }
  EXPECT_GT(AffineVectorDotProduct(Winding(outside[0], outside[1], outside[2]), outside[0].normal), 0.0f);
  EXPECT_LT(AffineVectorDotProduct(Winding(inside[0], inside[1], inside[2]), inside[0].normal), 0.0f);
}

TEST(PipeGeometry, DisksCloseBothEndsFacingOutwardInTheirNodesColours) {
  TGLPipe pipe;
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});
  pipe.SetRadius(0.5f);
  AddColoredNode(pipe, {0.0f, 0.0f, 0.0f}, kRed, 2.0f);
  AddColoredNode(pipe, {4.0f, 0.0f, 0.0f}, kGreen, 1.0f);
  const TPipeGeometry g = pipe.ComputeGeometry();
  ASSERT_EQ(g.primitives.size(), 3u);
  const TPipePrimitive& start = g.primitives.front();
  const TPipePrimitive& stop = g.primitives.back();
  ASSERT_EQ(start.kind, TPipePrimitiveKind::pkDisk);
  ASSERT_EQ(stop.kind, TPipePrimitiveKind::pkDisk);
  EXPECT_EQ(start.vertices.size(), 18u);
  EXPECT_NEAR(start.vertices[0].normal.x, -1.0f, 1e-6f);
  EXPECT_NEAR(stop.vertices[0].normal.x, 1.0f, 1e-6f);
  EXPECT_EQ(Distance(start.vertices[0].position, {0, 0, 0}), 0.0f);
  EXPECT_NEAR(Distance(start.vertices[1].position, {0, 0, 0}), 1.0f, 1e-5f);
  EXPECT_NEAR(Distance(stop.vertices[1].position, {4, 0, 0}), 0.5f, 1e-5f);
  EXPECT_TRUE(SameColor(start.vertices[0].color, kRed));
  EXPECT_TRUE(SameColor(stop.vertices[0].color, kGreen));
  for (const TPipePrimitive* disk : {&start, &stop}) {
    const auto& v = disk->vertices;
    EXPECT_GT(AffineVectorDotProduct(Winding(v[0], v[1], v[2]), v[0].normal), 0.0f);
  }
}

TEST(PipeGeometry, RingsTurnedAgainstEachOtherAreRealignedBeforeTheBand) {
  // The ring frame follows the path's heading: node 0 faces (0.01, 0, 1),
  // node 1 (0, 0.02, 2), which turns its ring by a quarter turn.
  TGLPipe pipe;
  pipe.AddNode({0.0f, 0.0f, 0.0f});
  pipe.AddNode({0.01f, 0.0f, 1.0f});
  pipe.AddNode({0.0f, 0.02f, 2.0f});
  const TPipeGeometry g = pipe.ComputeGeometry();
  const std::vector<const TPipePrimitive*> bands = Bands(g);
  ASSERT_EQ(bands.size(), 2u);
  const auto& v = bands[0]->vertices;
  float worst = 0.0f;
  for (size_t j = 0; j <= 16; ++j) {
    // A_j (vertex 2j+1) is drawn against B_j (vertex 2j): their radial vectors agree.
    worst = std::max(worst, AffineVectorSpacing(v[2 * j + 1].normal, v[2 * j].normal));
  }
  EXPECT_LT(worst, 0.1f);
}

// ---------------------------------------------------------------- drawing

// A pipe along x drawn unlit on the blue background, seen from +z; world
// (x, y) on the z = 0 plane maps to pixels.
class PipeRenderGL : public testing::TUnlitSceneTest {
 protected:
  TGLPipe& AddPipe() {
    TGLPipe& pipe = AddColoured<TGLPipe>(s_->scene->Objects(), {1, 0, 0, 1}, true);
    pipe.SetRadius(0.2f);
    return pipe;
  }

  // Pixels per unit at z = 0 for the test camera 30 units away.
  static constexpr float kScale = 16.0f * (50.0f * 2.0f * 96.0f / (25.4f * 32.0f)) / 15.0f;
  std::array<int, 3> At(float x, float y) const {
    return s_->Pixel(FloorToInt(16.0f + x * kScale), FloorToInt(16.0f + y * kScale));
  }
  bool Is(float x, float y, const std::array<int, 3>& rgb) const { return testing::Near(At(x, y), rgb, 12); }
};

TEST_F(PipeRenderGL, WithoutNodeColoursThePipeShowsInItsMaterialColour) {
  TGLPipe& pipe = AddPipe();
  AddColoredNode(pipe, {-1.5f, 0.0f, 0.0f}, kGreen);
  AddColoredNode(pipe, {1.5f, 0.0f, 0.0f}, kGreen);
  s_->buffer->Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, testing::kRedRgb));
  EXPECT_TRUE(Is(-1.0f, 0.1f, testing::kRedRgb));
  EXPECT_TRUE(Is(0.0f, 0.45f, testing::kBlueRgb));
  EXPECT_TRUE(Is(0.0f, -0.45f, testing::kBlueRgb));
}

TEST_F(PipeRenderGL, NodeColoursAndRadiiShowWhereTheNodesAre) {
  TGLPipe& pipe = AddPipe();
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});
  // Red and thin on the left, green and three times as thick on the right.
  AddColoredNode(pipe, {-1.6f, 0.0f, 0.0f}, kRed, 1.0f);
  AddColoredNode(pipe, {-0.2f, 0.0f, 0.0f}, kRed, 1.0f);
  AddColoredNode(pipe, {0.2f, 0.0f, 0.0f}, kGreen, 3.0f);
  AddColoredNode(pipe, {1.6f, 0.0f, 0.0f}, kGreen, 3.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Is(-0.8f, 0.0f, testing::kRedRgb));
  EXPECT_TRUE(Is(-0.8f, 0.35f, testing::kBlueRgb));
  EXPECT_TRUE(Is(0.8f, 0.0f, testing::kGreenRgb));
  EXPECT_TRUE(Is(0.8f, 0.45f, testing::kGreenRgb));
  EXPECT_TRUE(Is(0.8f, 0.8f, testing::kBlueRgb));
  EXPECT_TRUE(Is(0.0f, 1.0f, testing::kBlueRgb));
}

TEST_F(PipeRenderGL, LitNodeColoursReachTheMaterialAndLeaveNoColourMaterialBehind) {
  s_->buffer->SetLighting(true);
  TGLPipe& pipe = AddPipe();
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  AddColoredNode(pipe, {-1.5f, 0.0f, 0.0f}, kGreen);
  AddColoredNode(pipe, {1.5f, 0.0f, 0.0f}, kGreen);
  bool enabledAfter = true;
  bool cachedAfter = true;
  s_->buffer->PostRender = [&](TObject*) {
    enabledAfter = glIsEnabled(GL_COLOR_MATERIAL) != 0;
    cachedAfter = s_->buffer->StateCache().States().Contains(TGLState::stColorMaterial);
  };
  for (int frame = 0; frame < 2; ++frame) {  // compiled, then replayed
    s_->buffer->Render();
    const std::array<int, 3> centre = At(0.0f, 0.0f);
    EXPECT_GT(centre[1], 100) << "frame " << frame;
    EXPECT_LT(centre[0], 40) << "frame " << frame;
    EXPECT_FALSE(enabledAfter) << "frame " << frame;
    EXPECT_FALSE(cachedAfter) << "frame " << frame;
  }
  // Without node colours the material's red shows under the light.
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmNone);
  s_->buffer->Render();
  const std::array<int, 3> centre = At(0.0f, 0.0f);
  EXPECT_GT(centre[0], 100);
  EXPECT_LT(centre[1], 40);
}

// Drawn every frame outside a list, a pipe with node colours changes the material
// behind the state cache's back: the next object of the material colours the cache
// believes current must still show its own, on the first frame and after.
TEST_F(PipeRenderGL, ThePipeAfterOneWithNodeColoursShowsItsOwnMaterial) {
  const TPipeNodesColorMode modes[] = {TPipeNodesColorMode::pncmAmbientAndDiffuse, TPipeNodesColorMode::pncmDiffuse,
                                       TPipeNodesColorMode::pncmAmbient, TPipeNodesColorMode::pncmEmission};
  s_->buffer->SetLighting(true);
  TGLPipe& first = AddPipe();
  AddColoredNode(first, {-1.5f, 0.6f, 0.0f}, kGreen);
  AddColoredNode(first, {1.5f, 0.6f, 0.0f}, kGreen);
  TGLPipe& second = AddPipe();
  AddColoredNode(second, {-1.5f, -0.6f, 0.0f}, kGreen);
  AddColoredNode(second, {1.5f, -0.6f, 0.0f}, kGreen);
  for (TPipeNodesColorMode mode : modes) {
    first.SetNodesColorMode(mode);
    for (int frame = 0; frame < 2; ++frame) {
      s_->buffer->Render();
      const std::array<int, 3> centre = At(0.0f, -0.6f);
      EXPECT_GT(centre[0], 100) << static_cast<int>(mode) << " frame " << frame;
      EXPECT_LT(centre[1], 40) << static_cast<int>(mode) << " frame " << frame;
      EXPECT_GT(At(0.0f, 0.6f)[1], 40) << static_cast<int>(mode) << " frame " << frame;  // the first in green
    }
  }
}


// The fences a frame makes and the waits for them, seen where the engine calls OpenGL:
// what the renderer's queue really waited for, beside what the accountant was told.
class TFenceCalls {
 public:
  TFenceCalls() : make_(std::exchange(glFenceSync, &Make)), wait_(std::exchange(glClientWaitSync, &Wait)) {
    calls_ = this;
  }
  ~TFenceCalls() {
    glFenceSync = make_;
    glClientWaitSync = wait_;
    calls_ = nullptr;
  }
  TFenceCalls(const TFenceCalls&) = delete;
  TFenceCalls& operator=(const TFenceCalls&) = delete;

  int made = 0;
  // Waits that ended with the fence signalled, each for the stretch before the last
  // fence made or a later one: all but the newest stretch done when the frame goes on.
  int waited = 0;
  int waitedForOlder = 0;  // waits for a fence older than that

 private:
  static GLsync APIENTRY Make(GLenum condition, GLbitfield flags) {
    const GLsync fence = calls_->make_(condition, flags);
    calls_->fences_[calls_->made++ % 2] = fence;
    return fence;
  }
  static GLenum APIENTRY Wait(GLsync fence, GLbitfield flags, GLuint64 timeout) {
    const GLenum result = calls_->wait_(fence, flags, timeout);
    if (result == GL_ALREADY_SIGNALED || result == GL_CONDITION_SATISFIED) {
      const bool recent = fence == calls_->fences_[0] || fence == calls_->fences_[1];
      ++(recent ? calls_->waited : calls_->waitedForOlder);
    }
    return result;
  }
  static inline TFenceCalls* calls_ = nullptr;
  PFNGLFENCESYNCPROC make_;
  PFNGLCLIENTWAITSYNCPROC wait_;
  std::array<GLsync, 2> fences_{};
};

// A strip of `triangles` triangles across the view in one colour, drawn from a shared sheet.
TGLBaseSceneObject& SharedMeshOfTriangles(TGLBaseSceneObject& parent, int triangles, uint8_t red, uint8_t blue) {
  auto& mesh = parent.AddNewChild<TGLMesh>();
  mesh.SetMode(TMeshMode::mmTriangles);
  auto sheet = std::make_shared<TSharedVertices>();
  for (int i = 0; i <= triangles; ++i) {
    const float x = -1.5f + 3.0f * i / triangles;
    sheet->Vertices.push_back({{x, -0.2f, 0}, {red, 0, blue, 255}, {}, {}});
    sheet->Vertices.push_back({{x, 0.2f, 0}, {red, 0, blue, 255}, {}, {}});
  }
  for (uint32_t i = 0; i < static_cast<uint32_t>(triangles); ++i)
    sheet->Indices.insert(sheet->Indices.end(), {2 * i, 2 * i + 1, 2 * i + 2});
  sheet->CalcNormals();
  mesh.SetSharedVertices(sheet, false);
  return mesh;
}

// A frame's draw queues no more in the renderer than the bound while the frame waits
// for it (a whole primitive beyond each stretch at most), also when the frame holds no
// other object: a pipe of many nodes (bands of 34 vertices), a point set and a mesh
// of shared triangles, each sending several bounds' worth in one frame; and many
// objects each below the bound, fewer than the objects between two full waits (meshes,
// and labels of a quad a character), the stretches running on from one to the next.
// The frame really waits: a fence after every stretch, and each but the first waited
// for before the next is sent. A point set kept in a display list cannot be cut: its
// call tells the whole list, after which the renderer is given a fence; so does each
// sphere's, its strips sent whole. A label longer than a stretch ends its batch at the
// full stretch. The stretch follows the room the frame meets: with little room, or
// none, the least stretch; with much room fewer waits, each bounding the queue at the
// stretch that room gives.
TEST_F(PipeRenderGL, AFrameQueuesNoMoreThanTheBoundBetweenTwoWaitsOneLargeObjectOrMany) {
  constexpr int64_t kLittleRoom = int64_t{64} << 20;
  struct TRow {
    const char* Kind;
    std::function<TGLBaseSceneObject&(TGLBaseSceneObject& parent)> Make;
    int64_t Sent;   // vertices one frame sends
    int64_t Piece;  // the largest primitive sent whole
    int64_t Room = kLittleRoom;  // the memory the frame finds left
    // The stretch that room gives: the least up to 256 MB, beyond it two stretches an
    // eighth of the room at 128 B a vertex.
    int64_t Stretch = VerticesInRenderStretch;
    // The room after the frame's first look at it (-1: Room throughout).
    int64_t RoomLater = -1;
  };
  constexpr int64_t kMuchRoom = int64_t{1} << 30;
  constexpr int kNodes = 20000;
  constexpr int kPoints = 700000;
  constexpr int kTriangles = 300000;
  constexpr int kListed = VerticesInRenderStretch * 3 / 2;
  constexpr int kObjects = ObjectsBetweenRenderWaits / 2;
  constexpr int kEachTriangles = 3000;
  constexpr int kEachCharacters = 4096;
  constexpr int kSpheres = 3;
  constexpr int kSlices = 300;
  constexpr int kLongLabel = 100000;
  EnsureTestApplication();
  static TGLWindowsBitmapFont font;
  const TRow rows[] = {
      {"pipe",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& pipe = parent.AddNewChild<TGLPipe>();
         pipe.Nodes().BeginUpdate();
         for (int i = 0; i < kNodes; ++i) pipe.AddNode({-1.5f + 3.0f * i / kNodes, 0.0f, 0.0f});
         pipe.Nodes().EndUpdate();
         return pipe;
       },
       int64_t{kNodes - 1} * 34, 34},
      {"points",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& points = parent.AddNewChild<TGLPoints>();
         points.Positions().Clear();
         points.Positions().SetCapacity(kPoints);
         for (int i = 0; i < kPoints; ++i) points.Positions().Add(-1.5f + 3.0f * i / kPoints, 0.0f, 0.0f);
         return points;
       },
       kPoints, 1},
      {"shared mesh",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& { return SharedMeshOfTriangles(parent, kTriangles, 255, 0); },
       int64_t{kTriangles} * 3, 3},
      {"listed points",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& points = parent.AddNewChild<TGLPoints>();
         points.SetStatic(true);
         points.Positions().Clear();
         points.Positions().SetCapacity(kListed);
         for (int i = 0; i < kListed; ++i) points.Positions().Add(-1.5f + 3.0f * i / kListed, 0.0f, 0.0f);
         return points;
       },
       kListed, kListed},
      {"many meshes",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& group = parent.AddNewChild<TGLDummyCube>();
         for (int m = 0; m < kObjects; ++m) {
           auto& mesh = group.AddNewChild<TGLMesh>();
           mesh.SetMode(TMeshMode::mmTriangles);
           auto sheet = std::make_shared<TSharedVertices>();
           for (uint32_t i = 0; i < kEachTriangles; ++i) {
             const float x = -1.5f + 3.0f * i / kEachTriangles;
             sheet->Vertices.push_back({{x, -0.2f, 0}, {0, 255, 0, 255}, {}, {}});
             sheet->Vertices.push_back({{x, 0.2f, 0}, {0, 255, 0, 255}, {}, {}});
             sheet->Indices.insert(sheet->Indices.end(), {2 * i, 2 * i + 1, 2 * i + 2});
           }
           sheet->Vertices.push_back({{1.5f, 0, 0}, {0, 255, 0, 255}, {}, {}});
           sheet->CalcNormals();
           mesh.SetSharedVertices(sheet, false);
         }
         return group;
       },
       int64_t{kObjects} * kEachTriangles * 3, 3},
      {"many labels",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& group = parent.AddNewChild<TGLDummyCube>();
         for (int m = 0; m < kObjects; ++m) {
           auto& text = group.AddNewChild<TGLFlatText>();
           text.SetBitmapFont(&font);
           text.SetText(std::string(kEachCharacters, 'W'));
         }
         return group;
       },
       int64_t{kObjects} * kEachCharacters * 4, 4},
      // Each sphere's list sent whole, more than a stretch.
      {"spheres of many slices",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& group = parent.AddNewChild<TGLDummyCube>();
         for (int m = 0; m < kSpheres; ++m) {
           auto& sphere = group.AddNewChild<TGLSphere>();
           sphere.SetSlices(kSlices);
           sphere.SetStacks(kSlices);
         }
         return group;
       },
       kSpheres * SphereStripsOf(kSlices, kSlices).Vertices(), SphereStripsOf(kSlices, kSlices).Vertices()},
      {"a label longer than a stretch",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& text = parent.AddNewChild<TGLFlatText>();
         text.SetBitmapFont(&font);
         text.SetText(std::string(kLongLabel, 'W'));
         return text;
       },
       int64_t{kLongLabel} * 4, 4},
      {"shared mesh, much room",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& { return SharedMeshOfTriangles(parent, kTriangles, 0, 255); },
       int64_t{kTriangles} * 3, 3, kMuchRoom, kMuchRoom / (2 * 8 * 128)},
      {"points, no room left",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& {
         auto& points = parent.AddNewChild<TGLPoints>();
         points.Positions().Clear();
         points.Positions().SetCapacity(kPoints);
         for (int i = 0; i < kPoints; ++i) points.Positions().Add(-1.5f + 3.0f * i / kPoints, 0.1f, 0.0f);
         return points;
       },
       kPoints, 1, 0},
      // Much room as the frame starts, none once it has begun: the frame looks again
      // within the least stretch and bounds the queue at it.
      {"shared mesh, the room gone as the frame draws",
       [](TGLBaseSceneObject& parent) -> TGLBaseSceneObject& { return SharedMeshOfTriangles(parent, kTriangles, 0, 0); },
       int64_t{kTriangles} * 3, 3, kMuchRoom, VerticesInRenderStretch, 0},
  };
  ASSERT_TRUE(GL.VERSION_3_2 || GL.ARB_sync) << "the test's context has no fences";
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Kind);
    TGLBaseSceneObject& made = row.Make(s_->scene->Objects());
    std::vector<int64_t> stretches;
    SetRenderWaitHook([&](int64_t vertices) { stretches.push_back(vertices); });
    TFenceCalls fences;
    {
      int looks = 0;
      const TScopedMemoryProbe room([&row, &looks] { return looks++ == 0 || row.RoomLater < 0 ? row.Room : row.RoomLater; });
      s_->buffer->Render();
    }
    SetRenderWaitHook({});
    made.SetVisible(false);
    // Each stretch takes a whole primitive beyond its share at most, and two are queued.
    const int64_t stretch = row.Stretch;
    ASSERT_GE(static_cast<int64_t>(stretches.size()), std::max<int64_t>(1, row.Sent / (stretch + row.Piece)));
    EXPECT_LT(*std::max_element(stretches.begin(), stretches.end()), 2 * stretch + 2 * row.Piece);
    // And no stretch is shorter than the room gives (the objects' own wait aside).
    EXPECT_LE(static_cast<int64_t>(stretches.size()), row.Sent / stretch + 2);
    // A wait for all (the objects' own bound, which runs on from the frames before)
    // takes the place of a fence once at most, and the fence after it has none before.
    const int full = static_cast<int>(stretches.size()) - fences.made;
    EXPECT_TRUE(full == 0 || full == 1) << full;
    EXPECT_EQ(fences.waited, fences.made - 1 - full);
    EXPECT_EQ(fences.waitedForOlder, 0);
  }
}

}  // namespace
}  // namespace qira

#include "scene/objects/BasicSolids.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/materials/Materials.h"
#include "scene/components/Persistence.h"
#include "support/SceneObjectTestSupport.h"
#include "support/VertexCalls.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {
namespace {

using testing::MakeRci;
using testing::OrthoGL;

void ExpectVec(const TVector& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

// ---------------------------------------------------------------- cube

TEST(CubeStoredForm, CubeSizeIsTwelveLittleEndianSinglesStoredWhenNotUnit) {
  TGLCube cube;
  EXPECT_FALSE(cube.StoreCubeSize());
  cube.SetCubeWidth(2.0f);
  cube.SetCubeDepth(0.5f);
  EXPECT_TRUE(cube.StoreCubeSize());
  const std::array<uint8_t, 12> expected{0, 0, 0, 0x40, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x3F};
  EXPECT_EQ(cube.CubeSizeData(), expected);
  TMemoryStream stream;
  cube.WriteCubeSize(stream);
  stream.Seek(0);
  TGLCube read;
  read.ReadCubeSize(stream);
  EXPECT_EQ(read.CubeWidth(), 2.0f);
  EXPECT_EQ(read.CubeHeight(), 1.0f);
  EXPECT_EQ(read.CubeDepth(), 0.5f);
}

TEST(CubeStoredForm, AShortReadFailsAndChangesNothing) {
  TMemoryStream stream;
  const uint8_t bytes[8] = {0, 0, 0, 0x40, 0, 0, 0, 0x40};
  stream.Write(bytes, 8);
  stream.Seek(0);
  TGLCube cube;
  EXPECT_THROW(cube.ReadCubeSize(stream), EReadError);
  EXPECT_EQ(cube.CubeWidth(), 1.0f);
}

struct CubeRay {
  const char* name;
  TVector start;
  TVector direction;
  bool hits;
  TVector point;
  TVector normal;
};

class CubeRayCast : public ::testing::TestWithParam<CubeRay> {};

TEST_P(CubeRayCast, FindsTheFaceTheRayEnters) {
  const CubeRay& c = GetParam();
  TGLCube cube;
  cube.SetCubeWidth(2.0f);  // x in -1..1, y and z in -0.5..0.5
  TVector point;
  TVector normal;
  ASSERT_EQ(cube.RayCastIntersect(c.start, c.direction, &point, &normal), c.hits);
  if (!c.hits) return;
  ExpectVec(point, c.point.x, c.point.y, c.point.z);
  ExpectVec(normal, c.normal.x, c.normal.y, c.normal.z);
}

INSTANTIATE_TEST_SUITE_P(
    Rays, CubeRayCast,
    ::testing::Values(
        CubeRay{"FromFront", PointMake(0.2f, 0.1f, 5.0f), VectorMake(0, 0, -3), true, PointMake(0.2f, 0.1f, 0.5f),
                VectorMake(0, 0, 1)},
        CubeRay{"FromRight", PointMake(5.0f, 0.0f, 0.0f), VectorMake(-1, 0, 0), true, PointMake(1.0f, 0.0f, 0.0f),
                VectorMake(1, 0, 0)},
        CubeRay{"FromBelow", PointMake(0.5f, -4.0f, 0.0f), VectorMake(0, 1, 0), true, PointMake(0.5f, -0.5f, 0.0f),
                VectorMake(0, -1, 0)},
        CubeRay{"Beside", PointMake(1.5f, 0.0f, 5.0f), VectorMake(0, 0, -1), false, {}, {}},
        CubeRay{"AwayFromIt", PointMake(0.0f, 0.0f, 5.0f), VectorMake(0, 0, 1), false, {}, {}},
        CubeRay{"FromInside", PointMake(0.0f, 0.0f, 0.0f), VectorMake(0, 0, -1), false, {}, {}}),
    [](const ::testing::TestParamInfo<CubeRay>& info) { return std::string(info.param.name); });

TEST(CubeQueries, RayCastWorksInTheCubesFrameAndIgnoresParts) {
  TGLBaseSceneObject root;
  TGLCube& cube = root.AddNewChild<TGLCube>();
  cube.Position().SetPoint(10.0f, 0.0f, 0.0f);
  cube.SetParts({});
  TVector point;
  TVector normal;
  ASSERT_TRUE(cube.RayCastIntersect(PointMake(10.0f, 0.0f, 5.0f), VectorMake(0, 0, -1), &point, &normal));
  ExpectVec(point, 10.0f, 0.0f, 0.5f);
  ExpectVec(normal, 0.0f, 0.0f, 1.0f);
  EXPECT_FALSE(cube.RayCastIntersect(PointMake(0.0f, 0.0f, 5.0f), VectorMake(0, 0, -1)));
}

// -------------------------------------------------------------- sphere

TEST(SphereProperties, CountsBelowOneBecomeOneAndAnglesStayInTheirRanges) {
  TGLSphere sphere;
  sphere.SetSlices(0);
  sphere.SetStacks(-4);
  EXPECT_EQ(sphere.Slices(), 1);
  EXPECT_EQ(sphere.Stacks(), 1);
  sphere.SetTop(120);
  sphere.SetBottom(-300);
  sphere.SetStart(-10);
  sphere.SetStop(1000);
  EXPECT_EQ(sphere.Top(), 90);
  EXPECT_EQ(sphere.Bottom(), -90);
  EXPECT_EQ(sphere.Start(), 0);
  EXPECT_EQ(sphere.Stop(), 360);
}

TEST(SphereQueries, HalfExtentsUseTheRadiusMagnitude) {
  TGLSphere sphere;
  sphere.SetRadius(-2.0f);
  ExpectVec(sphere.AxisAlignedDimensionsUnscaled(), 2.0f, 2.0f, 2.0f);
}

TEST(SphereQueries, RayCastGivesTheNearPointAndTheUnnormalisedNormal) {
  TGLBaseSceneObject root;
  TGLSphere& sphere = root.AddNewChild<TGLSphere>();
  sphere.SetRadius(2.0f);
  sphere.Position().SetPoint(5.0f, 0.0f, 0.0f);
  TVector point;
  TVector normal;
  ASSERT_TRUE(sphere.RayCastIntersect(PointMake(5.0f, 0.0f, 10.0f), VectorMake(0, 0, -4), &point, &normal));
  ExpectVec(point, 5.0f, 0.0f, 2.0f);
  ExpectVec(normal, 0.0f, 0.0f, 2.0f);
  EXPECT_EQ(normal.w, 0.0f);
  EXPECT_FALSE(sphere.RayCastIntersect(PointMake(0.0f, 0.0f, 10.0f), VectorMake(0, 0, -1)));
}

// ------------------------------------------------------- rendering (GL)

class BasicSolidsRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip<OrthoGL>();
    if (!gl_) return;
    RegisterMaterialClasses();
  }
  void TearDown() override {
    if (gl_) {
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    root_.reset();
    cache_.reset();
    gl_.reset();
  }
  template <class T>
  T& Add(const std::array<float, 3>& color) {
    T& node = root_->AddNewChild<T>();
    auto* material = dynamic_cast<TGLMaterial*>(&node.Material());
    EXPECT_NE(material, nullptr);
    if (material != nullptr) material->FrontProperties().Diffuse().SetColor({color[0], color[1], color[2], 1.0f});
    return node;
  }
  void Render() {
    OrthoGL::Clear();
    TRenderContextInfo rci = MakeRci(*cache_);
    root_->Render(rci);
  }
  bool Is(float x, float y, const std::array<int, 3>& rgb) const { return NearRgb(gl_->PixelAt(x, y), rgb, 2); }

  static constexpr std::array<float, 3> kRed{1.0f, 0.0f, 0.0f};
  static constexpr std::array<int, 3> kRedRgb{255, 0, 0};
  static constexpr std::array<int, 3> kBlack{0, 0, 0};

  std::unique_ptr<OrthoGL> gl_;
  std::unique_ptr<TGLBaseSceneObject> root_ = std::make_unique<TGLBaseSceneObject>();
  std::unique_ptr<TGLStateCache> cache_ = std::make_unique<TGLStateCache>();
};

TEST_F(BasicSolidsRenderGL, CubeCoversItsFootprintInItsMaterialColour) {
  if (!gl_) return;
  TGLCube& cube = Add<TGLCube>(kRed);
  cube.SetCubeWidth(2.0f);
  cube.Position().SetPoint(0.5f, 0.0f, 0.0f);
  Render();
  EXPECT_TRUE(Is(-0.3f, 0.0f, kRedRgb));
  EXPECT_TRUE(Is(1.3f, 0.3f, kRedRgb));
  EXPECT_TRUE(Is(-0.7f, 0.0f, kBlack));
  EXPECT_TRUE(Is(0.5f, 0.7f, kBlack));
}

TEST_F(BasicSolidsRenderGL, InwardCubeFacesTurnTheirFrontsAway) {
  if (!gl_) return;
  TGLCube& cube = Add<TGLCube>(kRed);
  cube.SetParts({TCubePart::cpFront});
  Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, kRedRgb));
  cube.SetNormalDirection(TNormalDirection::ndInside);
  Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, kBlack));
  cube.SetParts({});
  Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, kBlack));
}

TEST_F(BasicSolidsRenderGL, SphereIsADiscOfItsRadius) {
  if (!gl_) return;
  TGLSphere& sphere = Add<TGLSphere>(kRed);
  sphere.SetRadius(1.5f);
  Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, kRedRgb));
  EXPECT_TRUE(Is(1.2f, 0.0f, kRedRgb));
  EXPECT_TRUE(Is(0.0f, -1.2f, kRedRgb));
  EXPECT_TRUE(Is(1.2f, 1.2f, kBlack));
  EXPECT_TRUE(Is(1.8f, 0.0f, kBlack));
}

TEST_F(BasicSolidsRenderGL, StartAndStopLimitTheLongitudes) {
  if (!gl_) return;
  TGLSphere& sphere = Add<TGLSphere>(kRed);
  sphere.SetRadius(1.5f);
  sphere.SetStop(180);  // sin theta >= 0: the half with x >= 0
  Render();
  EXPECT_TRUE(Is(0.7f, 0.0f, kRedRgb));
  EXPECT_TRUE(Is(-0.7f, 0.0f, kBlack));
}

// Caps seen along the pole axis: without a cap the eye looks into the open
// shell, whose inner side faces away and is culled; a cap closes it.
struct CapCase {
  const char* name;
  bool topView;  // looking down onto the top (else up onto the bottom)
  int top;
  int bottom;
  TCapType cap;
  bool centreDrawn;
};

class SphereCapsGL : public BasicSolidsRenderGL, public ::testing::WithParamInterface<CapCase> {};

TEST_P(SphereCapsGL, CloseTheOpeningOnlyWhereTheLimitLeavesOne) {
  if (!gl_) return;
  const CapCase& c = GetParam();
  TGLSphere& sphere = Add<TGLSphere>(kRed);
  sphere.SetRadius(1.5f);
  sphere.SetTop(c.top);
  sphere.SetBottom(c.bottom);
  if (c.topView) {
    sphere.SetTopCap(c.cap);
  } else {
    sphere.SetBottomCap(c.cap);
  }
  // Local +y toward the eye (+z) for the top view, away from it for the bottom view.
  const float s = c.topView ? 1.0f : -1.0f;
  TMatrix m = IdentityHmgMatrix;
  m[1] = VectorMake(0.0f, 0.0f, s);
  m[2] = VectorMake(0.0f, -s, 0.0f);
  sphere.SetMatrix(m);
  Render();
  EXPECT_EQ(Is(0.0f, 0.0f, kRedRgb), c.centreDrawn);
  EXPECT_EQ(Is(0.0f, 0.0f, kBlack), !c.centreDrawn);
}

INSTANTIATE_TEST_SUITE_P(
    Caps, SphereCapsGL,
    ::testing::Values(CapCase{"TopOpenWithoutCap", true, 60, -90, TCapType::ctNone, false},
                      CapCase{"TopFlatCap", true, 60, -90, TCapType::ctFlat, true},
                      CapCase{"TopCentreCap", true, 60, -90, TCapType::ctCenter, true},
                      CapCase{"FullSphereTopNeedsNoCap", true, 90, -90, TCapType::ctNone, true},
                      CapCase{"HemisphereOpenBelow", false, 90, 0, TCapType::ctNone, false},
                      CapCase{"HemisphereFlatCap", false, 90, 0, TCapType::ctFlat, true},
                      CapCase{"HemisphereCentreCap", false, 90, 0, TCapType::ctCenter, true}),
    [](const ::testing::TestParamInfo<CapCase>& info) { return std::string(info.param.name); });

TEST_F(BasicSolidsRenderGL, AnInwardSphereKeepsItsFrontFaceWindingAfterDrawing) {
  if (!gl_) return;
  TGLSphere& sphere = Add<TGLSphere>(kRed);
  sphere.SetRadius(1.5f);
  sphere.SetNormalDirection(TNormalDirection::ndInside);
  Render();
  EXPECT_TRUE(Is(0.0f, 0.0f, kRedRgb));  // the far inner side faces the eye
  EXPECT_TRUE(cache_->FrontFaceCCW());
  GLint frontFace = 0;
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  EXPECT_EQ(frontFace, GL_CCW);
}

// What a sphere's draw sends is what its strips say (the figure an open's count takes),
// at every tessellation a sphere is built with: every slice count from 4 to 1,024 (the
// spheres dialog's least, the most a node is built with), every stack count, with the
// caps closed or not, and the spheres of the spheres object (slices x slices).
TEST_F(BasicSolidsRenderGL, ASphereSendsWhatItsStripsSayAtEveryTessellation) {
  if (!gl_) return;
  struct TRow {
    const char* Shape;
    std::vector<std::array<int32_t, 2>> Tessellations;  // slices, stacks
    int Top;
    int Bottom;
    TCapType Cap;
    int64_t Caps;
  };
  std::vector<std::array<int32_t, 2>> slicesOfOneStack;
  std::vector<std::array<int32_t, 2>> slicesOfThreeStacks;
  std::vector<std::array<int32_t, 2>> stacks;
  std::vector<std::array<int32_t, 2>> square;
  for (int32_t n = 4; n <= 1024; ++n) {
    slicesOfOneStack.push_back({n, 1});
    slicesOfThreeStacks.push_back({n, 3});
    stacks.push_back({4, n});
  }
  for (int32_t n = 1; n <= 64; ++n) square.push_back({n, n});
  for (int32_t n : {220, 300, 720, 1024}) square.push_back({n, n});
  const TRow rows[] = {
      {"whole, one stack", slicesOfOneStack, 90, -90, TCapType::ctNone, 0},
      {"whole, three stacks", slicesOfThreeStacks, 90, -90, TCapType::ctFlat, 0},
      {"flat caps", slicesOfThreeStacks, 60, -60, TCapType::ctFlat, 2},
      {"centre caps", slicesOfOneStack, 60, -60, TCapType::ctCenter, 2},
      {"one cap", stacks, 90, -30, TCapType::ctCenter, 1},
      {"stacks", stacks, 90, -90, TCapType::ctNone, 0},
      {"the spheres object's", square, 90, -90, TCapType::ctNone, 0},
  };
  TGLSphere& sphere = Add<TGLSphere>(kRed);
  TRenderContextInfo rci = MakeRci(*cache_);
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Shape);
    sphere.SetTop(row.Top);
    sphere.SetBottom(row.Bottom);
    sphere.SetTopCap(row.Cap);
    sphere.SetBottomCap(row.Cap);
    for (const auto& [slices, stackCount] : row.Tessellations) {
      sphere.SetSlices(slices);
      sphere.SetStacks(stackCount);
      const TSphereStrips strips = sphere.Strips();
      TVertexCalls calls;
      sphere.BuildList(rci);
      ASSERT_EQ(calls.Vertices(), strips.Vertices()) << slices << " x " << stackCount;
      ASSERT_EQ(calls.Triangles(), strips.Triangles()) << slices << " x " << stackCount;
      ASSERT_EQ(strips.Caps, row.Caps);
    }
  }
}

TEST_F(BasicSolidsRenderGL, AddingANodeMakesTheNextFrameRebuildTheGeometry) {
  if (!gl_) return;
  TGLPolygonBase& polygon = Add<TGLPolygonBase>(kRed);
  Render();
  EXPECT_FALSE(polygon.Changes().Contains(TGLObjectChange::ListStale));
  const int compiled = polygon.ListCompileCount();
  polygon.AddNode({1.0f, 0.0f, 0.0f});
  EXPECT_TRUE(polygon.Changes().Contains(TGLObjectChange::ListStale));
  Render();
  EXPECT_EQ(polygon.ListCompileCount(), compiled + 1);
}

}  // namespace
}  // namespace qira

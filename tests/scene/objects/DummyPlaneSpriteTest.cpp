#include "scene/objects/DummyPlaneSprite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/materials/Materials.h"
#include "support/SceneRenderSupport.h"
#include "scene/math/VectorGeometry.h"
#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

using testing::Near;
using testing::TRenderedScene;
using testing::WindowX;

// ------------------------------------------------------------ dummy cube

TEST(DummyCube, HalfExtentsFollowTheAbsoluteCubeSizeAndRaysNeverHit) {
  TGLDummyCube cube;
  cube.SetCubeSize(-3.0f);
  const TVector d = cube.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(d.x, 1.5f);
  EXPECT_EQ(d.y, 1.5f);
  EXPECT_EQ(d.z, 1.5f);
  EXPECT_EQ(d.w, 0.0f);
  EXPECT_FALSE(cube.RayCastIntersect(PointMake(0, 0, 5), VectorMake(0, 0, -1)));
}

// ------------------------------------------------------------ dodecahedron

TEST(Dodecahedron, EveryVertexLiesOnOneSphereAndEveryFaceTurnsOutward) {
  const float r = AffineVectorLength(kDodecahedronVertices[0]);
  for (const TAffineVector& v : kDodecahedronVertices) EXPECT_NEAR(AffineVectorLength(v), r, 1e-4f);
  for (const auto& face : kDodecahedronFaces) {
    const TAffineVector n = CalcPlaneNormal(kDodecahedronVertices[face[0]], kDodecahedronVertices[face[1]],
                                            kDodecahedronVertices[face[2]]);
    TAffineVector centre{};
    for (uint8_t i : face) centre = AffineVectorAdd(centre, kDodecahedronVertices[i]);
    EXPECT_GT(AffineVectorDotProduct(n, centre), 0.0f) << int(face[0]);
    // The five vertices are coplanar.
    for (uint8_t i : face) {
      const TAffineVector d = AffineVectorSubtract(kDodecahedronVertices[i], kDodecahedronVertices[face[0]]);
      EXPECT_NEAR(AffineVectorDotProduct(n, d), 0.0f, 1e-4f);
    }
  }
}

// ------------------------------------------------------------------ plane

TEST(Plane, ScopesAboveOneAndTilesBelowOneAreClamped) {
  TGLPlane plane;
  plane.SetXScope(2.5f);
  plane.SetYScope(0.25f);
  EXPECT_EQ(plane.XScope(), 1.0f);
  EXPECT_EQ(plane.YScope(), 0.25f);
  plane.SetXTiles(0);
  plane.SetYTiles(-4);
  EXPECT_EQ(plane.XTiles(), 1);
  EXPECT_EQ(plane.YTiles(), 1);
  plane.SetWidth(-4.0f);
  plane.SetHeight(2.0f);
  const TVector d = plane.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(d.x, 2.0f);
  EXPECT_EQ(d.y, 1.0f);
  EXPECT_EQ(d.z, 0.0f);
}

// Every vertex the grid build sends, with its texture coordinate, and where
// each strip begins.
struct TPlaneVertex {
  float s, t, x, y;
};
std::vector<TPlaneVertex> gPlaneVertices;
std::vector<size_t> gPlaneStripStarts;
float gPlaneS = 0.0f;
float gPlaneT = 0.0f;

TEST(Plane, AGridOfThreeByTwoTilesIsTwoStripsOfEightVerticesRunningUpTheTiles) {
  gPlaneVertices.clear();
  gPlaneStripStarts.clear();
  TScopedEntryPoint<decltype(glBegin)> begin(glBegin, [](GLenum mode) {
    EXPECT_EQ(mode, static_cast<GLenum>(GL_TRIANGLE_STRIP));
    gPlaneStripStarts.push_back(gPlaneVertices.size());
  });
  TScopedEntryPoint<decltype(glEnd)> end(glEnd, [] {});
  TScopedEntryPoint<decltype(glNormal3f)> normal(glNormal3f, [](GLfloat, GLfloat, GLfloat) {});
  TScopedEntryPoint<decltype(glDepthMask)> depthMask(glDepthMask, [](GLboolean) {});
  TScopedEntryPoint<decltype(glTexCoord2f)> texCoord(glTexCoord2f, [](GLfloat s, GLfloat t) {
    gPlaneS = s;
    gPlaneT = t;
  });
  TScopedEntryPoint<decltype(glVertex2f)> vertex(glVertex2f, [](GLfloat x, GLfloat y) {
    gPlaneVertices.push_back({gPlaneS, gPlaneT, x, y});
  });
  MapToUnit0();
  TGLPlane plane;
  plane.SetStyle({TPlaneStyle::psTileTexture});
  plane.SetXTiles(3);
  plane.SetYTiles(2);
  TRenderContextInfo rci{};
  plane.BuildList(rci);
  MapToNoUnit();

  ASSERT_EQ(gPlaneStripStarts, (std::vector<size_t>{0, 8}));
  ASSERT_EQ(gPlaneVertices.size(), 16u);
  // Each column gives the upper vertex, then the lower one; texture
  // coordinates count tiles (3 across, 2 up).
  const struct {
    size_t index;
    TPlaneVertex expected;
  } cases[] = {
      {0, {0.0f, 1.0f, -0.5f, 0.0f}},   // first strip, upper left
      {1, {0.0f, 0.0f, -0.5f, -0.5f}},  // first strip, lower left
      {7, {3.0f, 0.0f, 0.5f, -0.5f}},   // first strip, lower right
      {8, {0.0f, 2.0f, -0.5f, 0.5f}},   // second strip, upper left
      {15, {3.0f, 1.0f, 0.5f, 0.0f}},   // second strip, lower right
  };
  for (const auto& c : cases) {
    const TPlaneVertex& v = gPlaneVertices[c.index];
    EXPECT_FLOAT_EQ(v.s, c.expected.s) << c.index;
    EXPECT_FLOAT_EQ(v.t, c.expected.t) << c.index;
    EXPECT_FLOAT_EQ(v.x, c.expected.x) << c.index;
    EXPECT_FLOAT_EQ(v.y, c.expected.y) << c.index;
  }
}

struct RayCase {
  const char* name;
  TVector start;
  TVector vector;
  bool hit;
  float normalZ;
  float hitX;
};

TEST(Plane, RayCastsHitTheRectangleFromEitherSide) {
  const RayCase cases[] = {
      {"from above", PointMake(0, 0, 5), VectorMake(0, 0, -1), true, 1.0f, 0.0f},
      {"from below", PointMake(0, 0, -5), VectorMake(0, 0, 1), true, -1.0f, 0.0f},
      {"slanted", PointMake(0, 0, 2), VectorMake(0.25f, 0, -1), true, 1.0f, 0.5f},
      {"edge included", PointMake(1, 1, 2), VectorMake(0, 0, -1), true, 1.0f, 1.0f},
      {"outside", PointMake(1.01f, 0, 2), VectorMake(0, 0, -1), false, 0.0f, 0.0f},
      {"parallel", PointMake(0, 0, 1), VectorMake(1, 0, 0), false, 0.0f, 0.0f},
      {"away from the plane", PointMake(0, 0, 1), VectorMake(0, 0, 1), false, 0.0f, 0.0f},
  };
  TGLPlane plane;
  plane.SetWidth(2.0f);
  plane.SetHeight(2.0f);
  for (const RayCase& c : cases) {
    TVector point;
    TVector normal;
    EXPECT_EQ(plane.RayCastIntersect(c.start, c.vector, &point, &normal), c.hit) << c.name;
    if (!c.hit) continue;
    EXPECT_FLOAT_EQ(normal.z, c.normalZ) << c.name;
    EXPECT_FLOAT_EQ(point.x, c.hitX) << c.name;
    EXPECT_FLOAT_EQ(point.z, 0.0f) << c.name;
    EXPECT_EQ(point.w, 1.0f) << c.name;
  }
}

// ----------------------------------------------------------------- sprite

TEST(Sprite, AlphaChannelIsClampedAndMirrorsSwapTheTextureCorners) {
  TGLSprite sprite;
  sprite.SetAlphaChannel(-0.3f);
  EXPECT_EQ(sprite.AlphaChannel(), 0.0f);
  sprite.SetAlphaChannel(1.7f);
  EXPECT_EQ(sprite.AlphaChannel(), 1.0f);
  EXPECT_EQ(sprite.CornerTexPoints()[0].s, 1.0f);
  EXPECT_EQ(sprite.CornerTexPoints()[0].t, 1.0f);
  sprite.SetMirrorU(true);
  sprite.SetMirrorV(true);
  EXPECT_EQ(sprite.CornerTexPoints()[0].s, 0.0f);
  EXPECT_EQ(sprite.CornerTexPoints()[0].t, 0.0f);
  EXPECT_EQ(sprite.CornerTexPoints()[2].s, 1.0f);
  sprite.SetWidth(-2.0f);
  sprite.SetHeight(6.0f);
  const TVector d = sprite.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(d.x, 1.0f);
  EXPECT_EQ(d.y, 3.0f);
  EXPECT_EQ(d.z, 1.0f);
  EXPECT_TRUE(sprite.ObjectStyle().Contains(TGLObjectStyle::NoVisibilityCulling));
}

// ----------------------------------------------------------- drawing (GL)

constexpr std::array<int, 3> kYellowRgb{255, 255, 0};

// The scene of the buffer tests with its quad hidden and lighting off, so a
// node shows in its material's diffuse colour.
class DummyPlaneSpriteRenderGL : public testing::TUnlitSceneTest {
 protected:
  // Pixels of the last frame whose red channel exceeds `threshold`.
  int RedPixels(int threshold) const {
    int count = 0;
    for (int y = 0; y < testing::kViewSize; ++y) {
      for (int x = 0; x < testing::kViewSize; ++x) count += s_->Pixel(x, y)[0] > threshold ? 1 : 0;
    }
    return count;
  }
};

TEST_F(DummyPlaneSpriteRenderGL, APlaneDrawsWhereItStandsInItsMaterialColour) {
  TGLPlane& plane = AddColoured<TGLPlane>(s_->scene->Objects(), {1, 0, 0, 1});
  plane.Position().SetPoint(0.6f, 0.0f, 0.0f);
  plane.SetWidth(0.5f);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kBlueRgb));
  // The tiled grid covers the same rectangle.
  plane.SetStyle({});
  plane.SetXTiles(3);
  plane.SetYTiles(2);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.7f), 18), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kBlueRgb));
}

TEST_F(DummyPlaneSpriteRenderGL, ASpriteFacesTheCameraEvenWhenItsNodeIsTurned) {
  TGLSprite& sprite = AddColoured<TGLSprite>(s_->scene->Objects(), {0, 1, 0, 1});
  sprite.Position().SetPoint(-0.6f, 0.0f, 0.0f);
  sprite.SetWidth(0.5f);
  sprite.SetTurnAngle(90.0f);  // a plane would be seen edge-on
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(-0.6f), 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kBlueRgb));
  // Turned 90 degrees about the viewing axis, a wide flat sprite becomes tall.
  sprite.SetWidth(2.0f);
  sprite.SetHeight(0.2f);
  sprite.SetRotation(90.0f);
  sprite.Position().SetPoint(0.0f, 0.0f, 0.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(16, 28), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kBlueRgb));
}

TEST_F(DummyPlaneSpriteRenderGL, ADummyCubeShowsItsEdgesOnlyWhenVisibleAtRunTime) {
  TGLDummyCube& cube = s_->scene->Objects().AddNewChild<TGLDummyCube>();
  cube.SetCubeSize(1.6f);
  cube.EdgeColor().SetColor({1, 1, 0, 1});
  TGLPlane& plane = AddColoured<TGLPlane>(cube, {1, 0, 0, 1});
  plane.SetWidth(0.2f);
  plane.SetHeight(0.2f);
  s_->buffer->Render();
  // Only the child: a few red pixels at the centre.
  EXPECT_TRUE(Near(s_->Pixel(16, 16), testing::kRedRgb));
  const int childOnly = RedPixels(100);
  cube.SetVisibleAtRunTime(true);
  s_->buffer->Render();
  EXPECT_GT(RedPixels(100), childOnly + 10);
  int yellow = 0;
  for (int y = 0; y < testing::kViewSize; ++y) {
    for (int x = 0; x < testing::kViewSize; ++x) yellow += Near(s_->Pixel(x, y), kYellowRgb, 40) ? 1 : 0;
  }
  EXPECT_GT(yellow, 4);
}

TEST_F(DummyPlaneSpriteRenderGL, AnAmalgamatedCubeReplaysItsSubtreeUntilItsStructureChanges) {
  TGLDummyCube& cube = s_->scene->Objects().AddNewChild<TGLDummyCube>();
  TGLDummyCube& inner = cube.AddNewChild<TGLDummyCube>();
  cube.SetAmalgamate(true);
  inner.SetAmalgamate(true);
  TGLPlane& plane = AddColoured<TGLPlane>(inner, {1, 0, 0, 1});
  plane.SetWidth(0.5f);
  s_->buffer->Render();
  s_->buffer->Render();
  EXPECT_TRUE(cube.HasAmalgamatedList());
  EXPECT_FALSE(inner.HasAmalgamatedList());
  EXPECT_TRUE(Near(s_->Pixel(16, 16), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kBlueRgb));
  // A change below the cube is not seen until the cube's structure changes.
  plane.SetWidth(1.6f);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kBlueRgb));
  cube.StructureChanged();
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kRedRgb));
  // Hidden by the visibility event: neither the cube nor its subtree.
  cube.OnVisibilityDetermination = [](TObject*, TRenderContextInfo&) { return false; };
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(16, 16), testing::kBlueRgb));
}

}  // namespace
}  // namespace qira

#include "scene/objects/Nodes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "support/SceneObjectTestSupport.h"
#include "support/CountingComponent.h"
#include "support/HeadlessGL.h"

namespace qira {
namespace {

using testing::OrthoGL;

void ExpectAffine(const TAffineVector& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

void AddAt(TGLNodes& nodes, float x, float y, float z) { nodes.Add().SetAsVector({x, y, z, 0.0f}); }

// ------------------------------------------------------------ notification

TEST(NodesNotification, EveryChangeReachesTheOwnerWithTheCollectionAsSender) {
  TCountingComponent owner;
  TGLNodes nodes(&owner);
  TGLNode& node = nodes.Add();
  EXPECT_GE(owner.notified, 1);
  EXPECT_EQ(owner.lastSender, &nodes);
  owner.notified = 0;
  node.SetX(0.0f);  // unchanged value still notifies
  EXPECT_EQ(owner.notified, 1);
  node.SetAsVector({1.0f, 2.0f, 3.0f, 4.0f});
  EXPECT_EQ(owner.notified, 2);
  EXPECT_EQ(node.W(), 4.0f);
}

TEST(NodesNotification, AnOpenUpdateHoldsNotificationsBackUntilItsEnd) {
  TCountingComponent owner;
  TGLNodes nodes(&owner);
  nodes.BeginUpdate();
  AddAt(nodes, 1.0f, 0.0f, 0.0f);
  AddAt(nodes, 2.0f, 0.0f, 0.0f);
  nodes.Translate({1.0f, 0.0f, 0.0f});
  EXPECT_EQ(owner.notified, 0);
  nodes.EndUpdate();
  EXPECT_GE(owner.notified, 1);
}

// ------------------------------------------------------------ node values

TEST(NodeValues, DisplayNameHasFourDecimalsWithAPoint) {
  TGLNodes nodes(nullptr);
  TGLNode& node = nodes.Add();
  node.SetAsVector({1.0f, 2.5f, -3.0f, 0.0f});
  EXPECT_EQ(node.GetDisplayName(), "1.0000; 2.5000; -3.0000");
}

TEST(NodeValues, OnlyNonZeroCoordinatesAreStored) {
  TGLNode node;
  node.SetAsVector({0.0f, -1.0f, 0.0f, 7.0f});
  EXPECT_FALSE(node.IsCoordinateStored(0));
  EXPECT_TRUE(node.IsCoordinateStored(1));
  EXPECT_FALSE(node.IsCoordinateStored(2));
  EXPECT_FALSE(node.IsCoordinateStored(3));  // w is not published
}

// ---------------------------------------------------------------- geometry

TEST(NodesGeometry, DirectionIsOneSidedAtTheEndsAndCentralInside) {
  TGLNodes nodes(nullptr);
  AddAt(nodes, 0.0f, 0.0f, 0.0f);
  ExpectAffine(nodes.DirectionAt(0), 0.0f, 0.0f, 0.0f);
  AddAt(nodes, 2.0f, 0.0f, 0.0f);
  AddAt(nodes, 2.0f, 2.0f, 0.0f);
  ExpectAffine(nodes.DirectionAt(0), 1.0f, 0.0f, 0.0f);
  ExpectAffine(nodes.DirectionAt(1), std::sqrt(0.5f), std::sqrt(0.5f), 0.0f, 1e-6f);
  ExpectAffine(nodes.DirectionAt(2), 0.0f, 1.0f, 0.0f);
  EXPECT_THROW(nodes.DirectionAt(3), EListError);
}

TEST(NodesGeometry, DirectionOfNodesCloserThanTheThresholdIsZero) {
  TGLNodes nodes(nullptr);
  AddAt(nodes, 0.0f, 0.0f, 0.0f);
  AddAt(nodes, 1e-3f, 0.0f, 0.0f);  // squared length 1e-6 is not above 1e-5
  ExpectAffine(nodes.DirectionAt(0), 0.0f, 0.0f, 0.0f);
  ExpectAffine(nodes.DirectionAt(1), 0.0f, 0.0f, 0.0f);
}

// --------------------------------------------------- tessellated polygon (GL)

class NodesPolygonRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip<OrthoGL>();
    if (!gl_) return;
    glColor3f(1.0f, 0.0f, 0.0f);
  }
  void TearDown() override {
    if (gl_) {
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    gl_.reset();
  }
  bool Red(float x, float y) const { return gl_->PixelAt(x, y) == std::array<int, 3>{255, 0, 0}; }

  std::unique_ptr<OrthoGL> gl_;
  TGLNodes nodes_{nullptr};
};

TEST_F(NodesPolygonRenderGL, AConcaveOutlineLeavesItsNotchEmpty) {
  if (!gl_) return;
  // An L: the upper right quarter of the square -1.5..1.5 is cut away.
  AddAt(nodes_, -1.5f, -1.5f, 0.0f);
  AddAt(nodes_, 1.5f, -1.5f, 0.0f);
  AddAt(nodes_, 1.5f, 0.0f, 0.0f);
  AddAt(nodes_, 0.0f, 0.0f, 0.0f);
  AddAt(nodes_, 0.0f, 1.5f, 0.0f);
  AddAt(nodes_, -1.5f, 1.5f, 0.0f);
  nodes_.RenderTessellatedPolygon(false);
  EXPECT_TRUE(Red(-1.0f, -1.0f));
  EXPECT_TRUE(Red(1.0f, -1.0f));
  EXPECT_TRUE(Red(-1.0f, 1.0f));
  EXPECT_FALSE(Red(1.0f, 1.0f));
}

TEST_F(NodesPolygonRenderGL, TwoNodesDrawNothing) {
  if (!gl_) return;
  AddAt(nodes_, -1.5f, -1.5f, 0.0f);
  AddAt(nodes_, 1.5f, 1.5f, 0.0f);
  nodes_.RenderTessellatedPolygon(false);
  EXPECT_FALSE(Red(0.0f, 0.0f));
}

TEST_F(NodesPolygonRenderGL, ReversedOrderFlipsTheFrontSide) {
  if (!gl_) return;
  AddAt(nodes_, -1.0f, -1.0f, 0.0f);
  AddAt(nodes_, 1.0f, -1.0f, 0.0f);
  AddAt(nodes_, 1.0f, 1.0f, 0.0f);
  AddAt(nodes_, -1.0f, 1.0f, 0.0f);
  // Without a given normal the tessellator takes the outline's own turning sense.
  glEnable(GL_CULL_FACE);
  nodes_.RenderTessellatedPolygon(false, nullptr, 1, false);
  EXPECT_TRUE(Red(0.0f, 0.0f));
  OrthoGL::Clear();
  nodes_.RenderTessellatedPolygon(false, nullptr, 1, true);
  EXPECT_FALSE(Red(0.0f, 0.0f));
  glDisable(GL_CULL_FACE);
}

// A star of 2k+1 points drawn by joining every `step`-th point of a circle.
void AddStar(TGLNodes& nodes, int points, int step) {
  for (int k = 0; k < points; ++k) {
    const double a = (90.0 + 360.0 * step * k / points) * 3.14159265358979 / 180.0;
    AddAt(nodes, static_cast<float>(1.8 * std::cos(a)), static_cast<float>(1.8 * std::sin(a)), 0.0f);
  }
}

TEST_F(NodesPolygonRenderGL, ASelfCrossingStarFollowsTheOddWindingRule) {
  if (!gl_) return;
  AddStar(nodes_, 5, 2);
  nodes_.RenderTessellatedPolygon(false);
  EXPECT_TRUE(Red(0.0f, 1.2f));   // the top point
  EXPECT_FALSE(Red(0.0f, 0.0f));  // the pentagon inside winds twice
}

// The seven-pointed star's edges cross 14 times: the tessellator asks for
// twice as many new vertices as the outline has nodes, and gets every one.
TEST_F(NodesPolygonRenderGL, MoreCrossingsThanNodesAreAllServed) {
  if (!gl_) return;
  AddStar(nodes_, 7, 3);
  nodes_.RenderTessellatedPolygon(false);
  EXPECT_TRUE(Red(0.0f, 1.2f));
  EXPECT_TRUE(Red(0.0f, 0.0f));  // winds three times
  OrthoGL::Clear();
  nodes_.RenderTessellatedPolygon(false, nullptr, 2);  // through the spline as well
  EXPECT_TRUE(Red(0.0f, 0.0f));
}

TEST_F(NodesPolygonRenderGL, TexturedVerticesCarryTheirPositionAsTextureCoordinates) {
  if (!gl_) return;
  MapToNoUnit();
  MapToUnit0();
  AddAt(nodes_, -1.0f, -1.0f, 0.25f);
  AddAt(nodes_, 1.0f, -1.0f, 0.25f);
  AddAt(nodes_, 1.0f, 1.0f, 0.25f);
  nodes_.RenderTessellatedPolygon(true);
  GLfloat tex[4] = {};
  glGetFloatv(GL_CURRENT_TEXTURE_COORDS, tex);
  // The last vertex drawn is one of the nodes: its texture coordinate is its position.
  EXPECT_EQ(tex[2], 0.25f);
  EXPECT_TRUE(std::fabs(tex[0]) == 1.0f && std::fabs(tex[1]) == 1.0f);
}

}  // namespace
}  // namespace qira

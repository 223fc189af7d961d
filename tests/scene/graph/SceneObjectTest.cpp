#include "scene/graph/SceneObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "support/SceneObjectTestSupport.h"
#include "scene/math/VectorGeometry.h"

namespace qira {
namespace {

using testing::DrawLog;
using testing::OrthoGL;
using testing::MakeRci;
using testing::TTestQuad;

constexpr float kTol = 1e-5f;

void ExpectVec(const TVector& v, float x, float y, float z, float tol = kTol) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

bool MatrixFinite(const TMatrix& m) {
  for (int i = 0; i < 16; ++i) {
    if (!std::isfinite(m.data()[i])) return false;
  }
  return true;
}

void ExpectIdentity(const TMatrix& m, float tol = 1e-4f) {
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < 4; ++j) EXPECT_NEAR(m[i][j], i == j ? 1.0f : 0.0f, tol) << i << "," << j;
  }
}

// Counts destructions, so that tests can see which nodes were freed.
class TCountedNode : public TGLBaseSceneObject {
  QIRA_CLASS(TCountedNode, TGLBaseSceneObject)
  TCountedNode() = default;
  ~TCountedNode() override { ++Destroyed(); }
  static int& Destroyed() {
    static int count = 0;
    return count;
  }
};

// A root that owns the whole test tree (AddNewChild makes children owned by
// the root when it has no owner).
struct Tree {
  std::unique_ptr<TGLBaseSceneObject> root = std::make_unique<TGLBaseSceneObject>();
  TGLBaseSceneObject& Add(TGLBaseSceneObject& parent, const std::string& name) {
    TGLBaseSceneObject& n = parent.AddNewChild<TGLBaseSceneObject>();
    n.SetName(name);
    return n;
  }
};

std::vector<std::string> ChildNames(const TGLBaseSceneObject& node) {
  std::vector<std::string> names;
  for (int i = 0; i < node.ChildCount(); ++i) names.push_back(node.Children(i)->Name());
  return names;
}

// ------------------------------------------------------------- transform

TEST(SceneObjectTransform, LocalMatrixRowsComeFromUpCrossDirectionUpDirectionAndPosition) {
  TGLBaseSceneObject node;
  node.Position().SetPoint(1.0f, 2.0f, 3.0f);
  node.Scale().SetVector(2.0f, 3.0f, 4.0f);
  const TMatrix& m = node.LocalMatrix();
  ExpectVec(m[0], 2.0f, 0.0f, 0.0f);
  ExpectVec(m[1], 0.0f, 3.0f, 0.0f);
  ExpectVec(m[2], 0.0f, 0.0f, 4.0f);
  ExpectVec(m[3], 1.0f, 2.0f, 3.0f);
  EXPECT_FLOAT_EQ(m[3].w, 1.0f);
  EXPECT_FLOAT_EQ(m[0].w, 0.0f);
}

struct ParallelCase {
  const char* what;
  TVector up;         // set first (the rule may turn Direction)
  TVector direction;  // then set parallel to Up
  TVector expectedUp;
};

TEST(SceneObjectTransform, DirectionParallelToUpTakesTheRightAxisFromTheFallbacks) {
  const ParallelCase cases[] = {
      // right = (0,0,1) x Up = (-1,0,0); Up := right x Direction.
      {"first fallback", {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}},
      // (0,0,1) x Up is null too: right = (1,0,0) x Up = (0,-1,0).
      {"second fallback", {0, 0, 1, 0}, {0, 0, 1, 0}, {-1, 0, 0, 0}},
  };
  for (const ParallelCase& c : cases) {
    SCOPED_TRACE(c.what);
    TGLBaseSceneObject node;
    node.Direction().SetVector(1.0f, 0.0f, 0.0f);
    node.Up().SetVector(c.up.x, c.up.y, c.up.z);
    ExpectVec(node.Up().AsVector(), c.up.x, c.up.y, c.up.z);
    node.Direction().SetVector(c.direction.x, c.direction.y, c.direction.z);
    ExpectVec(node.Direction().AsVector(), c.direction.x, c.direction.y, c.direction.z);
    ExpectVec(node.Up().AsVector(), c.expectedUp.x, c.expectedUp.y, c.expectedUp.z);
    EXPECT_TRUE(MatrixFinite(node.AbsoluteMatrix()));
  }
}

TEST(SceneObjectTransform, NullDirectionOrUpThroughThePropertySetterIsIgnored) {
  TGLBaseSceneObject node;
  TGLCoordinates3 zero(nullptr, NullHmgVector, TGLCoordinatesStyle::cstVector);
  node.SetDirection(zero);
  node.SetUp(zero);
  ExpectVec(node.Direction().AsVector(), 0.0f, 0.0f, 1.0f);
  ExpectVec(node.Up().AsVector(), 0.0f, 1.0f, 0.0f);
}

struct AngleCase {
  const char* what;
  void (TGLBaseSceneObject::*set)(float);
  TVector direction;
  TVector up;
};

TEST(SceneObjectTransform, PitchTurnAndRollRotateAboutTheNodesOwnAxes) {
  const AngleCase cases[] = {
      {"pitch 90 lifts the nose", &TGLBaseSceneObject::SetPitchAngle, {0, 1, 0, 0}, {0, 0, -1, 0}},
      {"turn 90 faces +x", &TGLBaseSceneObject::SetTurnAngle, {1, 0, 0, 0}, {0, 1, 0, 0}},
      {"roll 90 tips up to -x", &TGLBaseSceneObject::SetRollAngle, {0, 0, 1, 0}, {-1, 0, 0, 0}},
  };
  for (const AngleCase& c : cases) {
    SCOPED_TRACE(c.what);
    TGLBaseSceneObject node;
    (node.*c.set)(90.0f);
    ExpectVec(node.Direction().AsVector(), c.direction.x, c.direction.y, c.direction.z);
    ExpectVec(node.Up().AsVector(), c.up.x, c.up.y, c.up.z);
  }
}

TEST(SceneObjectTransform, AnglesAreStoredNormalisedAndARepeatedValueChangesNothing) {
  TGLBaseSceneObject node;
  node.SetPitchAngle(190.0f);
  EXPECT_FLOAT_EQ(node.PitchAngle(), -170.0f);
  const TVector direction = node.Direction().AsVector();
  node.SetPitchAngle(190.0f);  // differs from the stored -170: turns by 360
  ExpectVec(node.Direction().AsVector(), direction.x, direction.y, direction.z, 1e-4f);
  node.SetTurnAngle(-540.0f);
  EXPECT_FLOAT_EQ(node.TurnAngle(), -180.0f);
  node.SetRollAngle(45.0f);
  const TVector up = node.Up().AsVector();
  node.SetRollAngle(45.0f);
  EXPECT_TRUE(VectorEquals(node.Up().AsVector(), up));
}

TEST(SceneObjectTransform, AbsoluteMatrixIsLocalTimesTheParentsAbsolute) {
  Tree t;
  TGLBaseSceneObject& parent = t.Add(*t.root, "parent");
  parent.Position().SetPoint(10.0f, 0.0f, 0.0f);
  parent.SetTurnAngle(90.0f);
  TGLBaseSceneObject& child = t.Add(parent, "child");
  child.Position().SetPoint(0.0f, 0.0f, 1.0f);
  ExpectVec(child.GetAbsolutePosition(), 11.0f, 0.0f, 0.0f);
  const TMatrix expected = MatrixMultiply(child.LocalMatrix(), MatrixMultiply(parent.LocalMatrix(), t.root->LocalMatrix()));
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(child.AbsoluteMatrix().data()[i], expected.data()[i], kTol);
  ExpectVec(child.GetAbsoluteDirection(), 1.0f, 0.0f, 0.0f);
  ExpectVec(child.LocalToAbsolute(PointMake(0.0f, 0.0f, 1.0f)), 12.0f, 0.0f, 0.0f);
  ExpectVec(child.AbsoluteToLocal(PointMake(12.0f, 0.0f, 0.0f)), 0.0f, 0.0f, 1.0f);
}

TEST(SceneObjectTransform, InverseAbsoluteInvertsBothRigidAndScaledNodes) {
  for (bool scaled : {false, true}) {
    SCOPED_TRACE(scaled ? "general inversion" : "rigid inversion");
    Tree t;
    TGLBaseSceneObject& parent = t.Add(*t.root, "parent");
    parent.Position().SetPoint(1.0f, -2.0f, 3.0f);
    parent.SetRollAngle(30.0f);
    TGLBaseSceneObject& child = t.Add(parent, "child");
    child.Position().SetPoint(0.5f, 4.0f, -1.0f);
    child.SetTurnAngle(-70.0f);
    if (scaled) child.Scale().SetVector(2.0f, 0.5f, 3.0f);
    ExpectIdentity(MatrixMultiply(child.AbsoluteMatrix(), child.InvAbsoluteMatrix()));
  }
}

// --------------------------------------------------------------- PointTo

TEST(SceneObjectPointTo, TurnsDirectionToTheTargetWithUpInThePlaneOfTheUpVector) {
  TGLBaseSceneObject node;
  node.Position().SetPoint(1.0f, 0.0f, 0.0f);
  node.PointTo(PointMake(1.0f, 5.0f, 5.0f), YHmgVector);
  const float s = std::sqrt(0.5f);
  ExpectVec(node.Direction().AsVector(), 0.0f, s, s);
  ExpectVec(node.Up().AsVector(), 0.0f, s, -s);
  ExpectVec(node.GetAbsoluteDirection(), 0.0f, s, s);
}

TEST(SceneObjectPointTo, UnderATurnedParentTheDirectionIsExpressedInTheParentsFrame) {
  Tree t;
  TGLBaseSceneObject& parent = t.Add(*t.root, "parent");
  parent.SetTurnAngle(90.0f);  // parent's +z is world +x
  TGLBaseSceneObject& node = t.Add(parent, "node");
  node.PointTo(PointMake(0.0f, 0.0f, 10.0f), YHmgVector);  // world +z
  ExpectVec(node.GetAbsoluteDirection(), 0.0f, 0.0f, 1.0f);
  ExpectVec(node.Direction().AsVector(), -1.0f, 0.0f, 0.0f);
}

TEST(SceneObjectPointTo, DegenerateTargetsKeepThePreviousOrientation) {
  struct Case {
    const char* what;
    TVector target;
    TVector up;
  } cases[] = {
      {"target at the node's own position", PointMake(2.0f, 3.0f, 4.0f), YHmgVector},
      {"direction parallel to up", PointMake(2.0f, 13.0f, 4.0f), YHmgVector},
      {"null up vector", PointMake(9.0f, 3.0f, 4.0f), NullHmgVector},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGLBaseSceneObject node;
    node.Position().SetPoint(2.0f, 3.0f, 4.0f);
    node.SetTurnAngle(30.0f);
    const TVector direction = node.Direction().AsVector();
    const TVector up = node.Up().AsVector();
    node.PointTo(c.target, c.up);
    EXPECT_TRUE(VectorEquals(node.Direction().AsVector(), direction));
    EXPECT_TRUE(VectorEquals(node.Up().AsVector(), up));
    EXPECT_TRUE(MatrixFinite(node.AbsoluteMatrix()));
    EXPECT_TRUE(MatrixFinite(node.InvAbsoluteMatrix()));
  }
}

// ------------------------------------------------------------ tree editing

TEST(SceneObjectTree, AddNewChildRefusesAClassThatIsNoSceneObject) {
  TGLBaseSceneObject root;
  EXPECT_THROW(root.AddNewChild(TComponent::StaticClass()), EConvertError);
  EXPECT_EQ(root.ChildCount(), 0);
}

TEST(SceneObjectTree, RemoveKeepingChildrenAppendsThemInReverseOrder) {
  Tree t;
  t.Add(*t.root, "x");
  TGLBaseSceneObject& mid = t.Add(*t.root, "mid");
  t.Add(mid, "g1");
  t.Add(mid, "g2");
  t.Add(mid, "g3");
  t.root->Remove(mid, true);
  EXPECT_EQ(ChildNames(*t.root), (std::vector<std::string>{"x", "g3", "g2", "g1"}));
  EXPECT_EQ(mid.ChildCount(), 0);
  EXPECT_EQ(mid.Parent(), nullptr);
  // Not freed: it can go back.
  t.root->AddChild(mid);
  EXPECT_EQ(mid.Index(), 4);
}

TEST(SceneObjectTree, DeleteChildrenAndTheOwnerFreeEveryNodeOnce) {
  TCountedNode::Destroyed() = 0;
  {
    auto root = std::make_unique<TGLBaseSceneObject>();
    TGLBaseSceneObject& a = root->AddNewChild<TCountedNode>();
    a.AddNewChild<TCountedNode>();
    a.AddNewChild<TCountedNode>();
    root->AddNewChild<TCountedNode>();
    a.DeleteChildren();
    EXPECT_EQ(TCountedNode::Destroyed(), 2);
    EXPECT_EQ(a.ChildCount(), 0);
    // A removed node stays owned and is freed with its owner.
    TGLBaseSceneObject& loose = *root->Children(1);
    root->Remove(loose, false);
    EXPECT_EQ(TCountedNode::Destroyed(), 2);
  }
  EXPECT_EQ(TCountedNode::Destroyed(), 4);
}

TEST(SceneObjectTree, FreeingAChildTakesItOutOfItsParent) {
  TGLBaseSceneObject root;
  TGLBaseSceneObject& a = root.AddNewChild<TGLBaseSceneObject>();
  root.AddNewChild<TGLBaseSceneObject>();
  root.DestroyComponent(a);
  EXPECT_EQ(root.ChildCount(), 1);

  // Many children freed last first, as a closing document frees its nodes: each
  // leaves its parent and its owner at once.
  TGLBaseSceneObject many;
  constexpr int kMany = 100000;
  std::vector<TGLBaseSceneObject*> children;
  for (int i = 0; i < kMany; ++i) children.push_back(&many.AddNewChild<TGLBaseSceneObject>());
  for (int i = kMany; i-- > 1;) many.DestroyComponent(*children[static_cast<size_t>(i)]);
  ASSERT_EQ(many.ChildCount(), 1);
  EXPECT_EQ(many.Children(0), children[0]);
  EXPECT_EQ(many.ComponentCount(), 1);
}

TEST(SceneObjectTree, ProgressVisitsChildrenLastToFirstBeforeTheNodesOwnEvent) {
  Tree t;
  std::vector<std::string> order;
  auto hook = [&order](const std::string& name) {
    return [&order, name](TObject*, double, double) { order.push_back(name); };
  };
  t.root->OnProgress = hook("root");
  t.Add(*t.root, "a").OnProgress = hook("a");
  t.Add(*t.root, "b").OnProgress = hook("b");
  t.root->DoProgress({0.1, 1.0});
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "root"}));
}

TEST(SceneObjectInScene, NodesUnderTheRootTakeTheSceneAndIgnoreTheRootsTransform) {
  TGL3DScene scene;
  TGLBaseSceneObject& root = scene.Objects();
  root.Position().SetPoint(100.0f, 0.0f, 0.0f);
  TGLBaseSceneObject& a = root.AddNewChild<TGLBaseSceneObject>();
  EXPECT_EQ(a.Scene(), &scene);
  EXPECT_EQ(a.Owner(), &scene);
  a.Position().SetPoint(1.0f, 0.0f, 0.0f);
  ExpectVec(a.GetAbsolutePosition(), 1.0f, 0.0f, 0.0f);
  ExpectVec(a.AbsoluteToLocal(PointMake(1.0f, 0.0f, 0.0f)), 0.0f, 0.0f, 0.0f);
  TGLBaseSceneObject& b = a.AddNewChild<TGLBaseSceneObject>();
  EXPECT_EQ(b.Scene(), &scene);
  b.SetParent(nullptr);
  EXPECT_EQ(b.Scene(), nullptr);
}

TEST(SceneObjectInScene, DeleteChildrenFreesCamerasAndHandsTheirChildrenToTheirParent) {
  TCountedNode::Destroyed() = 0;
  TGL3DScene scene;
  TGLBaseSceneObject& group = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  TGLBaseSceneObject& holder = group.AddNewChild<TGLBaseSceneObject>();
  TGLCamera& camera = holder.AddNewChild<TGLCamera>();
  camera.AddNewChild<TCountedNode>();
  camera.AddNewChild<TCountedNode>();
  scene.SetCurrentCamera(&camera);
  group.DeleteChildren();
  EXPECT_EQ(group.ChildCount(), 0);
  EXPECT_EQ(TCountedNode::Destroyed(), 2);
}

// ------------------------------------------------- boxes and geometry queries

TEST(SceneObjectBoxes, TheBoxIncludingChildrenCoversChildrenInTheNodesFrame) {
  Tree t;
  TGLBaseSceneObject& node = t.Add(*t.root, "node");
  TGLBaseSceneObject& child = t.Add(node, "child");
  child.Position().SetPoint(2.0f, 0.0f, 0.0f);
  TAABB box = BoxToAxisBox(node.BoundingBoxIncludingChildren());
  EXPECT_NEAR(box.min.x, -0.5f, kTol);
  EXPECT_NEAR(box.max.x, 2.5f, kTol);
  EXPECT_NEAR(box.min.y, -0.5f, kTol);
  EXPECT_NEAR(box.max.z, 0.5f, kTol);

  child.Scale().SetVector(1.0f, 4.0f, 1.0f);
  box = node.AxisAlignedBoundingBox(true);
  EXPECT_NEAR(box.max.y, 2.0f, kTol);
  node.Scale().SetVector(2.0f, 1.0f, 1.0f);
  box = node.AxisAlignedBoundingBox(false);
  EXPECT_NEAR(box.max.x, 1.0f, kTol);
  EXPECT_NEAR(box.max.y, 0.5f, kTol);
}

// A drawn-every-frame node (no display list) whose size a property sets.
class TResizableNode : public TGLBaseSceneObject {
  QIRA_CLASS(TResizableNode, TGLBaseSceneObject)
  TResizableNode() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }
  void SetHalfSize(float value) {
    halfSize_ = value;
    StructureChanged();
  }
  TVector AxisAlignedDimensionsUnscaled() const override { return {halfSize_, halfSize_, halfSize_, 0.0f}; }

 private:
  float halfSize_ = 0.5f;
};

TEST(SceneObjectBoxes, CachedBoxesFollowMovedDescendantsAndResizedNodes) {
  Tree t;
  TGLBaseSceneObject& node = t.Add(*t.root, "node");
  TGLBaseSceneObject& child = t.Add(node, "child");
  TGLBaseSceneObject& grandchild = t.Add(child, "grandchild");
  EXPECT_NEAR(BoxToAxisBox(node.BoundingBoxIncludingChildren()).max.x, 0.5f, kTol);

  child.Position().SetPoint(4.0f, 0.0f, 0.0f);
  EXPECT_NEAR(BoxToAxisBox(node.BoundingBoxIncludingChildren()).max.x, 4.5f, kTol);
  grandchild.Position().SetPoint(0.0f, -3.0f, 0.0f);
  EXPECT_NEAR(BoxToAxisBox(node.BoundingBoxIncludingChildren()).min.y, -3.5f, kTol);

  auto& sized = node.AddNewChild<TResizableNode>();
  EXPECT_NEAR(BoxToAxisBox(node.BoundingBoxIncludingChildren()).max.z, 0.5f, kTol);
  sized.SetHalfSize(2.0f);
  EXPECT_NEAR(BoxToAxisBox(sized.BoundingBoxIncludingChildren()).max.z, 2.0f, kTol);
  EXPECT_NEAR(BoxToAxisBox(node.BoundingBoxIncludingChildren()).max.z, 2.0f, kTol);
}

// ------------------------------------------------------------ rendering (GL)

class SceneObjectRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip<OrthoGL>();
    if (!gl_) return;
    DrawLog().clear();
  }
  void TearDown() override {
    root_.reset();
    cache_.reset();
    gl_.reset();
  }
  TTestQuad& Quad(TGLBaseSceneObject& parent, const std::string& name, float x, float y, float z) {
    auto& q = parent.AddNewChild<TTestQuad>();
    q.SetName(name);
    q.Position().SetPoint(x, y, z);
    return q;
  }

  std::unique_ptr<OrthoGL> gl_;
  std::unique_ptr<TGLBaseSceneObject> root_ = std::make_unique<TGLBaseSceneObject>();
  std::unique_ptr<TGLStateCache> cache_ = std::make_unique<TGLStateCache>();
};

TEST_F(SceneObjectRenderGL, TheDisplayListIsCompiledOnceAndAgainAfterStructureChanged) {
  TTestQuad& q = Quad(*root_, "", 0.0f, 0.0f, 0.0f);
  TRenderContextInfo rci = MakeRci(*cache_);
  for (int i = 0; i < 3; ++i) root_->Render(rci);
  EXPECT_EQ(q.ListCompileCount(), 1);
  EXPECT_EQ(q.BuildCount, 1);
  // A change of what the list draws shows only after StructureChanged.
  q.Color = {0.0f, 1.0f, 0.0f};
  gl_->Clear();
  root_->Render(rci);
  EXPECT_EQ(gl_->PixelAt(0.0f, 0.0f), (std::array<int, 3>{255, 255, 255}));
  q.StructureChanged();
  gl_->Clear();
  root_->Render(rci);
  root_->Render(rci);
  EXPECT_EQ(q.ListCompileCount(), 2);
  EXPECT_EQ(gl_->PixelAt(0.0f, 0.0f), (std::array<int, 3>{0, 255, 0}));
  // Moving the node needs no new list.
  q.Position().SetPoint(1.0f, 0.0f, 0.0f);
  root_->Render(rci);
  EXPECT_EQ(q.ListCompileCount(), 2);
}

TEST_F(SceneObjectRenderGL, InvisibleNodesAndTheirSubtreesAreNotDrawn) {
  TTestQuad& hidden = Quad(*root_, "hidden", 0.0f, 0.0f, 0.0f);
  TTestQuad& inner = Quad(hidden, "inner", 1.0f, 0.0f, 0.0f);
  Quad(*root_, "shown", -1.0f, 0.0f, 0.0f);
  hidden.SetVisible(false);
  TRenderContextInfo rci = MakeRci(*cache_);
  root_->Render(rci);
  EXPECT_EQ(DrawLog(), std::vector<std::string>{"shown"});
  EXPECT_EQ(inner.BuildCount, 0);
}

struct SortCase {
  const char* what;
  TGLObjectsSorting sorting;
  std::vector<std::string> order;
};

TEST_F(SceneObjectRenderGL, ChildrenDrawInTheOrderOfTheSortingMode) {
  // Camera at z = 10: "far" is farthest, "near" nearest; "mid" is blended.
  const SortCase cases[] = {
      {"none: list order", TGLObjectsSorting::osNone, {"mid", "far", "near"}},
      {"farthest first", TGLObjectsSorting::osRenderFarthestFirst, {"far", "mid", "near"}},
      {"nearest first", TGLObjectsSorting::osRenderNearestFirst, {"near", "mid", "far"}},
      {"blended last", TGLObjectsSorting::osRenderBlendedLast, {"far", "near", "mid"}},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.what);
    root_ = std::make_unique<TGLBaseSceneObject>();
    Quad(*root_, "mid", 0.0f, 0.0f, 0.0f).IsBlended = true;
    Quad(*root_, "far", 0.0f, 0.0f, -5.0f);
    Quad(*root_, "near", 0.0f, 0.0f, 5.0f);
    for (int i = 0; i < root_->ChildCount(); ++i) static_cast<TTestQuad*>(root_->Children(i))->SetDirectDraw(true);
    root_->SetObjectsSorting(c.sorting);
    TRenderContextInfo rci = MakeRci(*cache_);
    DrawLog().clear();
    root_->Render(rci);
    EXPECT_EQ(DrawLog(), c.order);
    EXPECT_EQ(rci.objectsSorting, TGLObjectsSorting::osNone);  // restored
  }
}

TEST_F(SceneObjectRenderGL, ObjectBasedCullingSkipsNodesOutsideTheFrustum) {
  TTestQuad& inside = Quad(*root_, "inside", 0.0f, 0.0f, 0.0f);
  TTestQuad& outside = Quad(*root_, "outside", 50.0f, 0.0f, 0.0f);
  TTestQuad& forced = Quad(*root_, "forced", -50.0f, 0.0f, 0.0f);
  forced.SetNoCulling();
  root_->SetVisibilityCulling(TGLVisibilityCulling::vcObjectBased);
  TRenderContextInfo rci = MakeRci(*cache_);
  rci.rcci.frustum = OrthoGL::Frustum();
  root_->Render(rci);
  EXPECT_EQ(inside.BuildCount, 1);
  EXPECT_EQ(outside.BuildCount, 0);
  EXPECT_EQ(forced.BuildCount, 1);
  EXPECT_EQ(rci.visibilityCulling, TGLVisibilityCulling::vcNone);  // restored
}

TEST_F(SceneObjectRenderGL, HierarchicalCullingSkipsAWholeSubtreeOutsideTheFrustum) {
  TTestQuad& group = Quad(*root_, "group", 50.0f, 0.0f, 0.0f);
  TTestQuad& child = Quad(group, "child", 1.0f, 0.0f, 0.0f);
  TTestQuad& back = Quad(*root_, "back", 0.0f, 0.0f, 0.0f);
  TTestQuad& reaching = Quad(back, "reaching", 0.5f, 0.0f, 0.0f);
  root_->SetVisibilityCulling(TGLVisibilityCulling::vcHierarchical);
  TRenderContextInfo rci = MakeRci(*cache_);
  rci.rcci.frustum = OrthoGL::Frustum();
  root_->Render(rci);
  EXPECT_EQ(group.BuildCount, 0);
  EXPECT_EQ(child.BuildCount, 0);
  EXPECT_EQ(back.BuildCount, 1);
  EXPECT_EQ(reaching.BuildCount, 1);
}

TEST_F(SceneObjectRenderGL, RenderLeavesTheModelViewMatrixAsItFoundIt) {
  Quad(*root_, "", 1.0f, 2.0f, 3.0f).SetTurnAngle(30.0f);
  root_->Position().SetPoint(0.5f, 0.0f, 0.0f);
  TRenderContextInfo rci = MakeRci(*cache_);
  root_->Render(rci);
  TMatrix m;
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  ExpectIdentity(m, 1e-6f);
}

// Replaying a list that changed cached state must not leave the cache out of
// step: the next object's state requests must still reach OpenGL.
class TStateMaterial : public TGLAbstractMaterial {
  QIRA_CLASS(TStateMaterial, TGLAbstractMaterial)
  using TGLAbstractMaterial::TGLAbstractMaterial;
  void Apply(TRenderContextInfo& rci) override {
    const TVector black = VectorMake(0, 0, 0, 1);
    rci.GLStates->SetMaterialColors(GL_FRONT, black, black, VectorMake(1, 1, 1, 1), black, 0);
    rci.GLStates->DisableState(TGLState::stCullFace);
  }
};

class TMaterialProbe : public TGLCustomSceneObject {
  QIRA_CLASS(TMaterialProbe, TGLCustomSceneObject)
  TMaterialProbe() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }
  std::array<float, 4> Diffuse{};
  bool CullFace = true;
  void BuildList(TRenderContextInfo&) override {
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, Diffuse.data());
    CullFace = glIsEnabled(GL_CULL_FACE) != 0;
  }
};

TEST_F(SceneObjectRenderGL, ReplayedListsThatChangeCachedStateLeaveTheCacheInStep) {
  SetSceneObjectMaterialFactory(
      [](TGLCustomSceneObject& owner) { return std::make_unique<TStateMaterial>(&owner); });
  TTestQuad& lister = Quad(*root_, "", 0.0f, 0.0f, 0.0f);
  lister.OnBuild = [](TRenderContextInfo& rci) {
    const TVector black = VectorMake(0, 0, 0, 1);
    rci.GLStates->SetMaterialColors(GL_FRONT, black, black, VectorMake(1, 0, 0, 1), black, 0);
    rci.GLStates->EnableState(TGLState::stCullFace);
  };
  TMaterialProbe& probe = root_->AddNewChild<TMaterialProbe>();
  SetSceneObjectMaterialFactory(nullptr);
  TRenderContextInfo rci = MakeRci(*cache_);
  for (int frame = 0; frame < 3; ++frame) {
    SCOPED_TRACE(frame);
    root_->Render(rci);
    EXPECT_FLOAT_EQ(probe.Diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(probe.Diffuse[1], 1.0f);
    EXPECT_FALSE(probe.CullFace);
  }
  EXPECT_EQ(lister.ListCompileCount(), 1);
}

TEST_F(SceneObjectRenderGL, AListUsingColourMaterialDoesNotHideTheNextMaterial) {
  SetSceneObjectMaterialFactory(
      [](TGLCustomSceneObject& owner) { return std::make_unique<TStateMaterial>(&owner); });
  TMaterialProbe& first = root_->AddNewChild<TMaterialProbe>();
  TTestQuad& lister = Quad(*root_, "", 0.0f, 0.0f, 0.0f);
  lister.OnBuild = [](TRenderContextInfo&) {
    glColorMaterial(GL_FRONT, GL_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.0f, 0.0f, 1.0f, 1.0f);
    glDisable(GL_COLOR_MATERIAL);
  };
  TMaterialProbe& probe = root_->AddNewChild<TMaterialProbe>();
  SetSceneObjectMaterialFactory(nullptr);
  TRenderContextInfo rci = MakeRci(*cache_);
  for (int frame = 0; frame < 2; ++frame) {
    root_->Render(rci);
    EXPECT_FLOAT_EQ(first.Diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(probe.Diffuse[0], 1.0f) << "frame " << frame;
  }
}

}  // namespace
}  // namespace qira

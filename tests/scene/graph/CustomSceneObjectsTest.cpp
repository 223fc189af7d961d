#include "scene/graph/CustomSceneObjects.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/SceneObjectTestSupport.h"
#include "scene/gl/StateCache.h"

namespace qira {
namespace {

using testing::OrthoGL;
using testing::MakeRci;
using testing::TTestQuad;

// ---------------------------------------------------- behaviours and effects

class TTestBehaviour : public TGLBehaviour {
  QIRA_CLASS(TTestBehaviour, TGLBehaviour)
  TTestBehaviour() = default;
  static std::string FriendlyName() { return "Test behaviour"; }
  void DoProgress(const TProgressTimes& t) override { Ticks.push_back(t.newTime); }
  std::vector<double> Ticks;
};

class TTestEffect : public TGLObjectEffect {
  QIRA_CLASS(TTestEffect, TGLObjectEffect)
  TTestEffect() = default;
  static std::string FriendlyName() { return "Test effect"; }
  void DoProgress(const TProgressTimes&) override { ++Ticks; }
  int Ticks = 0;
};

TEST(SceneObjectBehaviours, EachListRefusesTheOtherKind) {
  TGLBaseSceneObject node;
  EXPECT_TRUE(node.Behaviours().CanAdd(TTestBehaviour::StaticClass()));
  EXPECT_FALSE(node.Behaviours().CanAdd(TTestEffect::StaticClass()));
  EXPECT_TRUE(node.Effects().CanAdd(TTestEffect::StaticClass()));
  EXPECT_FALSE(node.Effects().CanAdd(TTestBehaviour::StaticClass()));
}

TEST(SceneObjectBehaviours, ListsAreMadeOnFirstAccessAndTickWithTheNode) {
  TGLBaseSceneObject node;
  node.SetName("Cube");
  EXPECT_EQ(node.BehavioursIfAny(), nullptr);
  EXPECT_FALSE(node.HasBehaviours());
  auto& b = node.Behaviours().Add<TTestBehaviour>();
  auto& e = node.Effects().Add<TTestEffect>();
  EXPECT_TRUE(node.HasBehaviours());
  EXPECT_TRUE(node.HasEffects());
  EXPECT_EQ(b.OwnerBaseSceneObject(), &node);
  EXPECT_EQ(node.Behaviours().GetNamePath(), "Cube.Behaviours");
  EXPECT_EQ(node.Effects().GetNamePath(), "Cube.Effects");
  node.DoProgress({0.5, 2.0});
  EXPECT_EQ(b.Ticks, std::vector<double>{2.0});
  EXPECT_EQ(e.Ticks, 1);
}

// ------------------------------------------- lighting-off and fog-off nesting

struct GLCalls {
  static std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
  }
  static const char* Name(GLenum cap) { return cap == GL_LIGHTING ? "lighting" : cap == GL_FOG ? "fog" : "other"; }
  static TGLStateFunctions Table() {
    TGLStateFunctions f{};
    f.Enable = [](GLenum cap) { Log().push_back(std::string("on ") + Name(cap)); };
    f.Disable = [](GLenum cap) { Log().push_back(std::string("off ") + Name(cap)); };
    f.PolygonMode = [](GLenum, GLenum) {};
    f.Materiali = [](GLenum, GLenum, GLint) {};
    f.Materialfv = [](GLenum, GLenum, const GLfloat*) {};
    f.BindTexture = [](GLenum, GLuint) {};
    f.MatrixMode = [](GLenum) {};
    f.LoadMatrixf = [](const GLfloat*) {};
    f.LoadIdentity = [] {};
    f.FrontFace = [](GLenum) {};
    return f;
  }
};

class StateNesting : public ::testing::Test {
 protected:
  void SetUp() override { GLCalls::Log().clear(); }
  TGLStateFunctions table_ = GLCalls::Table();
  TGLStateCache cache_{table_};
  TRenderContextInfo rci_ = MakeRci(cache_);
};

TEST_F(StateNesting, NestedLightingOffSwitchesBackOnlyAfterTheOutermostEnd) {
  cache_.EnableState(TGLState::stLighting);
  GLCalls::Log().clear();
  BeginLightingOff(rci_);
  BeginLightingOff(rci_);
  EXPECT_EQ(rci_.lightingDisabledCounter, 2);
  EndLightingOff(rci_);  // the inner object is done: lighting must stay off
  EXPECT_FALSE(cache_.States().Contains(TGLState::stLighting));
  EXPECT_EQ(rci_.lightingDisabledCounter, 1);
  EndLightingOff(rci_);
  EXPECT_TRUE(cache_.States().Contains(TGLState::stLighting));
  EXPECT_EQ(GLCalls::Log(), (std::vector<std::string>{"off lighting", "on lighting"}));
}

TEST_F(StateNesting, LightingThatWasOffBeforeIsNeverSwitchedOn) {
  BeginLightingOff(rci_);
  EXPECT_EQ(rci_.lightingDisabledCounter, 0);
  EndLightingOff(rci_);
  EndLightingOff(rci_);  // unbalanced: the counter never goes below 0
  EXPECT_EQ(rci_.lightingDisabledCounter, 0);
  EXPECT_FALSE(cache_.States().Contains(TGLState::stLighting));
  EXPECT_TRUE(GLCalls::Log().empty());
}

TEST_F(StateNesting, FogNestsTheSameWayIndependentlyOfLighting) {
  cache_.EnableState(TGLState::stFog);
  cache_.EnableState(TGLState::stLighting);
  GLCalls::Log().clear();
  BeginFogOff(rci_);
  BeginLightingOff(rci_);
  BeginFogOff(rci_);
  EndFogOff(rci_);
  EXPECT_FALSE(cache_.States().Contains(TGLState::stFog));
  EndLightingOff(rci_);
  EndFogOff(rci_);
  EXPECT_EQ(GLCalls::Log(),
            (std::vector<std::string>{"off fog", "off lighting", "on lighting", "on fog"}));
}

// ------------------------------------------------------- drawing (OpenGL)

class TCountingMaterial : public TGLAbstractMaterial {
  QIRA_CLASS(TCountingMaterial, TGLAbstractMaterial)
  using TGLAbstractMaterial::TGLAbstractMaterial;
  void Apply(TRenderContextInfo&) override { ++Applies; }
  bool UnApply(TRenderContextInfo&) override {
    ++UnApplies;
    return UnApplies % (ExtraPasses + 1) != 0;
  }
  int Applies = 0;
  int UnApplies = 0;
  int ExtraPasses = 0;
};

class TCountedSolid : public TGL3DSceneObject {
  QIRA_CLASS(TCountedSolid, TGL3DSceneObject)
  TCountedSolid() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }
  void BuildList(TRenderContextInfo&) override { ++Draws; }
  TCountingMaterial& Counting() { return static_cast<TCountingMaterial&>(Material()); }
  int Draws = 0;
};

class CustomObjectRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip<OrthoGL>();
    if (!gl_) return;
  }
  void TearDown() override {
    root_.reset();
    gl_.reset();
  }
  TCountedSolid& Solid() {
    SetSceneObjectMaterialFactory(
        [](TGLCustomSceneObject& owner) { return std::make_unique<TCountingMaterial>(&owner); });
    TCountedSolid& s = root_->AddNewChild<TCountedSolid>();
    SetSceneObjectMaterialFactory(nullptr);
    return s;
  }

  std::unique_ptr<OrthoGL> gl_;
  TGLStateCache cache_;
  std::unique_ptr<TGLBaseSceneObject> root_ = std::make_unique<TGLBaseSceneObject>();
};

TEST_F(CustomObjectRenderGL, AMultiPassMaterialDrawsUntilUnApplyAnswersFalse) {
  TCountedSolid& s = Solid();
  s.Counting().ExtraPasses = 2;
  TRenderContextInfo rci = MakeRci(cache_);
  root_->Render(rci);
  EXPECT_EQ(s.Draws, 3);
  EXPECT_EQ(s.Counting().Applies, 1);
}

TEST_F(CustomObjectRenderGL, WithoutColourWritesTheMaterialIsLeftOut) {
  TCountedSolid& s = Solid();
  TRenderContextInfo rci = MakeRci(cache_);
  rci.noColorWrites = true;
  root_->Render(rci);
  EXPECT_EQ(s.Draws, 1);
  EXPECT_EQ(s.Counting().Applies, 0);
}

TEST_F(CustomObjectRenderGL, DirectOpenGLWithoutAnEventDrawsNothingButItsChildren) {
  TGLDirectOpenGL& direct = root_->AddNewChild<TGLDirectOpenGL>();
  TTestQuad& child = direct.AddNewChild<TTestQuad>();
  child.Color = {0.0f, 0.0f, 1.0f};
  TRenderContextInfo rci = MakeRci(cache_);
  root_->Render(rci);
  EXPECT_EQ(child.BuildCount, 1);
  EXPECT_EQ(gl_->PixelAt(0.0f, 0.0f), (std::array<int, 3>{0, 0, 255}));
}

TEST_F(CustomObjectRenderGL, DirectOpenGLDrawsEveryFrameOrOnceWithUseBuildList) {
  TGLDirectOpenGL& direct = root_->AddNewChild<TGLDirectOpenGL>();
  int calls = 0;
  direct.OnRender = [&calls](TObject*, TRenderContextInfo&) { ++calls; };
  TRenderContextInfo rci = MakeRci(cache_);
  root_->Render(rci);
  root_->Render(rci);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(direct.ObjectStyle().Contains(TGLObjectStyle::DirectDraw));

  direct.SetUseBuildList(true);
  calls = 0;
  for (int i = 0; i < 3; ++i) root_->Render(rci);
  EXPECT_EQ(calls, 1);
  direct.StructureChanged();
  root_->Render(rci);
  EXPECT_EQ(calls, 2);
  direct.SetUseBuildList(false);
  EXPECT_TRUE(direct.ObjectStyle().Contains(TGLObjectStyle::DirectDraw));
}

TEST_F(CustomObjectRenderGL, RenderPointCallsItsCallbacksAndTellsThemWhenFreed) {
  std::vector<std::string> log;
  {
    TGLRenderPoint& point = root_->AddNewChild<TGLRenderPoint>();
    point.RegisterCallBack([&log](TObject*, TRenderContextInfo&) { log.push_back("render 1"); },
                           [&log](TObject*) { log.push_back("freed 1"); });
    point.RegisterCallBack([&log](TObject*, TRenderContextInfo&) { log.push_back("render 2"); },
                           [&log](TObject*) { log.push_back("freed 2"); });
    TRenderContextInfo rci = MakeRci(cache_);
    root_->Render(rci);
    root_.reset();
  }
  EXPECT_EQ(log, (std::vector<std::string>{"render 1", "render 2", "freed 2", "freed 1"}));
}

// The model-view matrix a child of a camera-invariant node is drawn with.
class TMatrixProbe : public TGLImmaterialSceneObject {
  QIRA_CLASS(TMatrixProbe, TGLImmaterialSceneObject)
  TMatrixProbe() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }
  void BuildList(TRenderContextInfo& rci) override {
    glGetFloatv(GL_MODELVIEW_MATRIX, Seen.data());
    if (rci.modelViewMatrix != nullptr) Reported = *rci.modelViewMatrix;
  }
  TMatrix Seen;
  TMatrix Reported;
};

TEST_F(CustomObjectRenderGL, CameraInvariantOrientationDrawsInAFixedFrame) {
  auto& invariant = root_->AddNewChild<TGLCameraInvariantObject>();
  invariant.SetCamInvarianceMode(TGLCameraInvarianceMode::cimOrientation);
  invariant.Position().SetPoint(1.0f, 2.0f, 3.0f);
  auto& probe = invariant.AddNewChild<TMatrixProbe>();
  TRenderContextInfo rci = MakeRci(cache_);
  glTranslatef(5.0f, 0.0f, 0.0f);  // the camera's matrix is discarded
  root_->Render(rci);
  EXPECT_FLOAT_EQ(probe.Seen[3].x, 1.0f);
  EXPECT_FLOAT_EQ(probe.Seen[3].y, -2.0f);
  EXPECT_FLOAT_EQ(probe.Seen[3].z, -3.0f);
  EXPECT_FLOAT_EQ(probe.Seen[1].y, -1.0f);
  EXPECT_FLOAT_EQ(probe.Reported[3].z, -3.0f);
  EXPECT_EQ(rci.modelViewMatrix, nullptr);
}

TEST_F(CustomObjectRenderGL, CameraInvariantPositionFollowsTheCamera) {
  auto& invariant = root_->AddNewChild<TGLCameraInvariantObject>();
  invariant.SetCamInvarianceMode(TGLCameraInvarianceMode::cimPosition);
  invariant.Position().SetPoint(1.0f, 2.0f, 3.0f);
  auto& probe = invariant.AddNewChild<TMatrixProbe>();
  TRenderContextInfo rci = MakeRci(cache_);
  TMatrix view = IdentityHmgMatrix;
  view[3] = PointMake(0.0f, 0.0f, -10.0f);  // camera at z = 10
  rci.modelViewMatrix = &view;
  root_->Render(rci);
  EXPECT_FLOAT_EQ(probe.Seen[3].x, 1.0f);
  EXPECT_FLOAT_EQ(probe.Seen[3].y, 2.0f);
  EXPECT_FLOAT_EQ(probe.Seen[3].z, 3.0f);
  EXPECT_EQ(rci.modelViewMatrix, &view);
}

}  // namespace
}  // namespace qira

#include "scene/graph/Scene.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/SceneRenderSupport.h"
#include "scene/math/VectorGeometry.h"

namespace qira {
namespace {

using testing::TRenderedScene;

// ----------------------------------------------------------------- lights

TEST(SceneLights, LightsTakeTheFirstFreeSlotAndANinthNeverShines) {
  TGL3DScene scene;
  std::vector<TGLLightSource*> lights;
  for (int i = 0; i < 9; ++i) {
    TGLLightSource& light = scene.Objects().AddNewChild<TGLLightSource>();
    if (i == 8) {
      EXPECT_EQ(light.LightID(), 0u);  // never given a unit
    }
    lights.push_back(&light);
  }
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(scene.Light(i), lights[static_cast<size_t>(i)]);
    EXPECT_EQ(lights[static_cast<size_t>(i)]->LightID(), GL_LIGHT0 + static_cast<uint32_t>(i));
  }
  // A ninth light keeps its unit; freeing slot 2 lets a new light take it.
  scene.Objects().Remove(*lights[2], false);
  EXPECT_EQ(scene.Light(2), nullptr);
  TGLLightSource& late = scene.Objects().AddNewChild<TGLLightSource>();
  EXPECT_EQ(scene.Light(2), &late);
  EXPECT_EQ(late.LightID(), static_cast<uint32_t>(GL_LIGHT2));
  scene.RegisterLight(late);  // already registered: stays
  EXPECT_EQ(scene.Light(3), lights[3]);
  scene.DestroyComponent(*lights[2]);
}

TEST(SceneLights, LightsOfAnAddedSubtreeAreRegisteredAndAFreedLightLeavesItsSlot) {
  TGL3DScene scene;
  TGLBaseSceneObject& group = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  TGLLightSource& inner = group.AddNewChild<TGLLightSource>();
  EXPECT_EQ(scene.Light(0), &inner);
  scene.DestroyComponent(inner);
  EXPECT_EQ(scene.Light(0), nullptr);
}

// The OpenGL state of light units after SetupLights in the test scene.
struct TLightUnitState {
  bool enabled;
  TVector spotDirection;
  float cutoff;
};

TLightUnitState ReadLightUnit(GLenum unit) {
  TLightUnitState state{};
  state.enabled = glIsEnabled(unit) == GL_TRUE;
  glGetLightfv(unit, GL_SPOT_DIRECTION, state.spotDirection.data());
  glGetLightfv(unit, GL_SPOT_CUTOFF, &state.cutoff);
  return state;
}

TEST(SceneLightsGL, SetupLightsDrivesTheRegisteredUnitsAndSwitchesOffTheOthers) {
  TRenderedScene s;
  // Slot 0: the camera's light (spot, cutoff 180). Slot 1: a spot of 45 degrees.
  TGLLightSource& spot = s.scene->Objects().AddNewChild<TGLLightSource>();
  spot.SetSpotCutOff(45.0f);
  spot.SpotDirection().SetVector(1.0f, 0.0f, 0.0f);
  s.light->SpotDirection().SetVector(0.0f, 1.0f, 0.0f);
  s.buffer->Render();
  TGLContext& context = *s.buffer->RenderingContext();
  context.Activate();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  s.scene->SetupLights(8);
  const TLightUnitState unit0 = ReadLightUnit(GL_LIGHT0);
  const TLightUnitState unit1 = ReadLightUnit(GL_LIGHT1);
  std::vector<bool> others;
  for (GLenum u = GL_LIGHT2; u <= GL_LIGHT7; ++u) others.push_back(glIsEnabled(u) == GL_TRUE);
  context.Deactivate();
  EXPECT_TRUE(unit0.enabled);
  EXPECT_EQ(unit0.cutoff, 180.0f);
  // Cutoff 180: neither direction nor exponent is sent; OpenGL's default stays.
  EXPECT_EQ(unit0.spotDirection.y, 0.0f);
  EXPECT_EQ(unit0.spotDirection.z, -1.0f);
  EXPECT_TRUE(unit1.enabled);
  EXPECT_EQ(unit1.cutoff, 45.0f);
  EXPECT_NEAR(unit1.spotDirection.x, 1.0f, 1e-6);
  for (bool on : others) EXPECT_FALSE(on);
}

// ------------------------------------------------------------- ray casts

TEST(SceneRayCast, TheNearestVisibleObjectIsHitAndInvisibleGroupsAreSkippedWhole) {
  TGL3DScene scene;
  TGLBaseSceneObject& hidden = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  hidden.Position().SetPoint(0.0f, 0.0f, 5.0f);
  TGLBaseSceneObject& underHidden = hidden.AddNewChild<TGLBaseSceneObject>();  // at z = 5
  hidden.SetVisible(false);
  TGLBaseSceneObject& far = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  far.Position().SetPoint(0.0f, 0.0f, -5.0f);
  TGLBaseSceneObject& near = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  near.Position().SetPoint(0.0f, 0.0f, 0.0f);
  TGLBaseSceneObject& aside = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  aside.Position().SetPoint(10.0f, 0.0f, 0.0f);
  (void)underHidden;

  TVector point{};
  TVector normal{};
  const TVector start = PointMake(0.0f, 0.0f, 20.0f);
  const TVector down = VectorMake(0.0f, 0.0f, -1.0f);
  EXPECT_EQ(scene.RayCastIntersect(start, down, &point, &normal), &near);
  EXPECT_GT(point.z, 0.0f);
  EXPECT_NEAR(normal.z, 1.0f, 1e-5);
  // The outputs are optional.
  EXPECT_EQ(scene.RayCastIntersect(start, down), &near);
  hidden.SetVisible(true);
  EXPECT_EQ(scene.RayCastIntersect(start, down), &hidden);
  EXPECT_EQ(scene.RayCastIntersect(PointMake(0.0f, 20.0f, 20.0f), down), nullptr);
}

TEST(SceneRayCast, AnObjectMovedAfterACastIsFoundWhereItNowIs) {
  TGL3DScene scene;
  TGLBaseSceneObject& group = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  TGLBaseSceneObject& item = group.AddNewChild<TGLBaseSceneObject>();
  const TVector down = VectorMake(0.0f, 0.0f, -1.0f);
  EXPECT_EQ(scene.RayCastIntersect(PointMake(0.0f, 0.0f, 20.0f), down), &group);

  item.Position().SetPoint(10.0f, 0.0f, 0.0f);
  EXPECT_EQ(scene.RayCastIntersect(PointMake(10.0f, 0.0f, 20.0f), down), &item);
}

// --------------------------------------------------------------- buffers

TEST(SceneBuffersGL, TheBaseContextFollowsTheFirstBufferAndLaterOnesShareWithIt) {
  TRenderedScene s;
  TGL3DSceneBuffer second;
  second.Resize(8, 8);
  second.CreateRC(0, true, 1);
  second.SetCamera(s.camera);
  s.buffer->Render();
  second.Render();
  second.Render();  // registration is idempotent
  ASSERT_EQ(s.scene->BufferCount(), 2);
  EXPECT_EQ(s.scene->BaseContext(), s.buffer->RenderingContext());
  const auto& group = s.buffer->RenderingContext()->SharedContexts();
  EXPECT_NE(std::find(group.begin(), group.end(), second.RenderingContext()), group.end());
  s.buffer->DestroyRC();
  EXPECT_EQ(s.scene->BufferCount(), 1);
  EXPECT_EQ(s.scene->BaseContext(), second.RenderingContext());
  second.SetCamera(nullptr);
  EXPECT_EQ(s.scene->BufferCount(), 0);
  EXPECT_EQ(s.scene->BaseContext(), nullptr);
}

TEST(SceneBuffersGL, ABaseContextWhosePlatformContextIsGoneDoesNotStopOtherBuffers) {
  TRenderedScene s;
  s.buffer->Render();
  // As when the first viewer's window is destroyed before its buffer.
  s.buffer->RenderingContext()->DestroyContext();
  TGL3DSceneBuffer second;
  second.SetBackgroundColor(testing::kBlue);
  second.Resize(8, 8);
  second.CreateRC(0, true, 1);
  second.SetCamera(s.camera);
  EXPECT_NO_THROW(second.Render());
  EXPECT_EQ(s.scene->BufferCount(), 2);
  TGLContext& context = *second.RenderingContext();
  context.Activate();
  EXPECT_TRUE(testing::Near(ReadRgb(0, 0), testing::kBlueRgb));
  context.Deactivate();
  second.SetCamera(nullptr);
}

TEST(SceneBuffersGL, ChangesReachEveryBufferUnlessTheSceneIsUpdating) {
  TRenderedScene s;
  s.buffer->Render();
  int changes = 0;
  s.buffer->OnChange = [&](TObject*) { ++changes; };
  s.scene->BeginUpdate();
  s.quad->SetVisible(false);
  s.scene->SetObjectsSorting(TGLObjectsSorting::osNone);
  EXPECT_EQ(changes, 0);
  s.scene->EndUpdate();
  EXPECT_EQ(changes, 1);
  s.scene->EndUpdate();  // unmatched: the count stays at 0
  EXPECT_FALSE(s.scene->IsUpdating());
  s.quad->SetVisible(true);
  EXPECT_EQ(changes, 2);
}

// ------------------------------------------------------------ time and init

struct TWaitingObject final : IGLInitializable {
  std::vector<std::string>* log;
  std::string name;
  void InitializeObject(TObject*, const TRenderContextInfo& rci) override {
    log->push_back(name + (rci.buffer != nullptr ? "+" : "-"));
  }
};

TEST(SceneProgressGL, WaitingObjectsAreInitialisedLastFirstWithTheFramesRecord) {
  TRenderedScene s;
  std::vector<std::string> log;
  TWaitingObject a;
  a.log = &log;
  a.name = "a";
  TWaitingObject b;
  b.log = &log;
  b.name = "b";
  s.scene->AddInitializableObject(a);
  s.scene->AddInitializableObject(b);
  s.scene->AddInitializableObject(a);  // once
  s.buffer->Render();
  EXPECT_EQ(log, (std::vector<std::string>{"b+", "a+"}));
  EXPECT_EQ(s.scene->InitializableObjectCount(), 0);
}

}  // namespace
}  // namespace qira

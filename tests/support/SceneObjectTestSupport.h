#pragma once
// Support of the scene object tests: a small headless OpenGL target with an
// orthographic view, a render-context record wired to a state cache, and test
// node classes that draw a coloured unit quad and log when they are drawn.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Rounding.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/graph/SceneObject.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"
#include "support/HeadlessGL.h"

namespace qira::testing {

inline constexpr int kViewSize = 32;

// A 32x32 headless context with depth, current for the test's lifetime; the
// view is orthographic over x, y in [-2, 2] looking down -z, with lighting and
// depth test off, cleared to black.
class OrthoGL : public HeadlessGL {
 public:
  OrthoGL() : HeadlessGL(kViewSize, kViewSize, 24) {
    LoadOrthoView(2.0, -10.0, 10.0);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    Clear();
  }

  static void Clear() { HeadlessGL::Clear(0.0f, 0.0f, 0.0f); }
  // The pixel under the scene point (x, y) of the orthographic view.
  std::array<int, 3> PixelAt(float x, float y) const {
    return ReadRgb(TruncToInt((x + 2.0f) / 4.0f * kViewSize), TruncToInt((y + 2.0f) / 4.0f * kViewSize));
  }
  // The frustum of the orthographic view with an identity model-view.
  static TFrustum Frustum() {
    TMatrix projection;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    return FrustumFromMatrix(projection);
  }
};

// A render-context record for drawing with `cache`, seen from the camera
// position (0, 0, 10).
inline TRenderContextInfo MakeRci(TGLStateCache& cache) {
  TRenderContextInfo rci;
  rci.GLStates = &cache;
  rci.cameraPosition = PointMake(0.0f, 0.0f, 10.0f);
  rci.cameraDirection = VectorMake(0.0f, 0.0f, -1.0f);
  rci.objectsSorting = TGLObjectsSorting::osNone;
  rci.visibilityCulling = TGLVisibilityCulling::vcNone;
  rci.rcci.nearClippingDistance = 1.0f;
  rci.rcci.farClippingDistance = 20.0f;
  return rci;
}

// Shared log of the order in which nodes were drawn (BuildList calls).
inline std::vector<std::string>& DrawLog() {
  static std::vector<std::string> log;
  return log;
}

// Draws a flat unit quad in its colour, counts its BuildList calls and logs
// its name when drawn. Optionally blended, direct-drawn or hooked.
class TTestQuad : public TGLImmaterialSceneObject {
  QIRA_CLASS(TTestQuad, TGLImmaterialSceneObject)

  TTestQuad() = default;
  std::array<float, 3> Color{1.0f, 1.0f, 1.0f};
  int BuildCount = 0;
  bool IsBlended = false;
  std::function<void(TRenderContextInfo&)> OnBuild;
  void SetDirectDraw(bool value) {
    if (value) {
      IncludeObjectStyle(TGLObjectStyle::DirectDraw);
    } else {
      ExcludeObjectStyle(TGLObjectStyle::DirectDraw);
    }
  }
  void SetNoCulling() { IncludeObjectStyle(TGLObjectStyle::NoVisibilityCulling); }
  bool Blended() const override { return IsBlended; }
  void BuildList(TRenderContextInfo& rci) override {
    ++BuildCount;
    if (!Name().empty()) DrawLog().push_back(Name());
    if (OnBuild) OnBuild(rci);
    glColor3f(Color[0], Color[1], Color[2]);
    glBegin(GL_QUADS);
    glVertex3f(-0.5f, -0.5f, 0.0f);
    glVertex3f(0.5f, -0.5f, 0.0f);
    glVertex3f(0.5f, 0.5f, 0.0f);
    glVertex3f(-0.5f, 0.5f, 0.0f);
    glEnd();
  }
};

}  // namespace qira::testing

#pragma once
// Support of the scene, buffer and camera tests: a scene with a camera (on
// the +z axis looking down -z) and a light, a buffer rendering it into a
// small headless memory context, and a flat-coloured quad node.
#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/CanvasTypes.h"
#include "platform/Rounding.h"
#include "scene/graph/CameraLight.h"
#include "scene/gl/EglRenderingContext.h"
#include "scene/materials/Materials.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/graph/SceneObject.h"
#include "scene/gl/StateCache.h"
#include "support/HeadlessGL.h"
#include "support/MissingPeer.h"

namespace qira::testing {

// A square in the z = 0 plane of its own frame, drawn unlit in one colour
// every frame.
class TFlatQuad : public TGLBaseSceneObject {
  QIRA_CLASS(TFlatQuad, TGLBaseSceneObject)

  TFlatQuad() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }
  std::array<uint8_t, 3> Color{255, 0, 0};
  float HalfSize = 0.5f;
  int DrawCount = 0;
  std::function<void(TRenderContextInfo&)> OnDraw;

  void BuildList(TRenderContextInfo& rci) override {
    ++DrawCount;
    if (OnDraw) OnDraw(rci);
    rci.GLStates->DisableState(TGLState::stLighting);
    glColor3ub(Color[0], Color[1], Color[2]);
    glBegin(GL_QUADS);
    glVertex3f(-HalfSize, -HalfSize, 0.0f);
    glVertex3f(HalfSize, -HalfSize, 0.0f);
    glVertex3f(HalfSize, HalfSize, 0.0f);
    glVertex3f(-HalfSize, HalfSize, 0.0f);
    glEnd();
    rci.GLStates->EnableState(TGLState::stLighting);
  }
};

inline bool Near(const std::array<int, 3>& a, const std::array<int, 3>& b, int tolerance = 3) {
  return NearRgb(a, b, tolerance);
}

// Pixel (x from the left, y from the bottom) of a picture whose rows run top-down.
inline std::array<int, 3> ImagePixel(const QImage& image, int x, int y) {
  const QRgb rgb = image.pixel(x, image.height() - 1 - y);
  return {qRed(rgb), qGreen(rgb), qBlue(rgb)};
}

inline constexpr TColor kBlue = MakeColor(0, 0, 255);
inline constexpr std::array<int, 3> kRedRgb{255, 0, 0};
inline constexpr std::array<int, 3> kGreenRgb{0, 255, 0};
inline constexpr std::array<int, 3> kBlueRgb{0, 0, 255};
inline constexpr int kViewSize = 32;
// Where the line of sight meets the kViewSize viewport (window coordinates from
// the bottom left): an even size has it on the middle of the pixel left of and
// above the centre.
inline constexpr float kSightX = kViewSize / 2 - 0.5f;
inline constexpr float kSightY = kViewSize / 2 + 0.5f;

// Window x of a point of the z = 0 plane for the camera at (0, 0, 30) of a
// kViewSize square viewport.
inline int WindowX(float worldX) {
  const float size = static_cast<float>(kViewSize);
  const float nearPlane = 50.0f * 2.0f * 96.0f / (25.4f * size);
  return FloorToInt(kSightX + size * worldX * nearPlane / 30.0f);
}

// Scene + camera at (0, 0, 30) + light under the camera + one red quad at
// the origin (or where the test moves it) + a buffer of 32 x 32 pixels with
// a memory context and blue background.
struct TRenderedScene {
  std::unique_ptr<TGL3DScene> scene;
  TGLCamera* camera = nullptr;
  TGLLightSource* light = nullptr;
  TFlatQuad* quad = nullptr;
  std::unique_ptr<TGL3DSceneBuffer> buffer;

  explicit TRenderedScene(int width = kViewSize, int height = kViewSize) {
    RegisterEglRenderingContext();
    scene = std::make_unique<TGL3DScene>();
    TGL3DSceneRootObject& root = scene->Objects();
    camera = &root.AddNewChild<TGLCamera>();
    camera->Position().SetPoint(0.0f, 0.0f, 30.0f);
    light = &camera->AddNewChild<TGLLightSource>();
    quad = &root.AddNewChild<TFlatQuad>();
    buffer = std::make_unique<TGL3DSceneBuffer>();
    buffer->SetBackgroundColor(kBlue);
    buffer->Resize(width, height);
    buffer->CreateRC(0, true, 1);
    buffer->SetCamera(camera);
  }
  ~TRenderedScene() {
    buffer.reset();
    scene.reset();
  }

  // Pixel of the buffer's last frame.
  std::array<int, 3> Pixel(int x, int y) const {
    TGLContext& context = *buffer->RenderingContext();
    context.Activate();
    const auto rgb = ReadRgb(x, y);
    context.Deactivate();
    return rgb;
  }
};

// The rendered scene with its quad hidden and lighting off, so a node shows in its
// material's diffuse colour; the test is skipped where no headless OpenGL exists.
class TUnlitSceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterMaterialClasses();
    try {
      s_ = std::make_unique<TRenderedScene>();
    } catch (const std::exception& error) {
      QIRA_SKIP_OR_FAIL_IN_CI("no headless OpenGL: " << error.what());
    }
    s_->quad->SetVisible(false);
    s_->buffer->SetLighting(false);
  }
  void TearDown() override { s_.reset(); }

  // A new child of parent whose front (and, with backToo, back) diffuse colour is diffuse.
  template <class T>
  T& AddColoured(TGLBaseSceneObject& parent, const TVector& diffuse, bool backToo = false) {
    T& node = parent.AddNewChild<T>();
    auto& material = dynamic_cast<TGLMaterial&>(node.Material());
    material.FrontProperties().Diffuse().SetColor(diffuse);
    if (backToo) material.BackProperties().Diffuse().SetColor(diffuse);
    return node;
  }

  std::unique_ptr<TRenderedScene> s_;
};

}  // namespace qira::testing

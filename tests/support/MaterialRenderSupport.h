#pragma once
// Support of the material and texture tests: a small headless context with an
// orthographic view of the square -1..1, its own state cache and a
// render-context record pointing at it, a quad that fills the view, and an
// owner that counts the notifications it receives.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>

#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/gl/StateCache.h"
#include "scene/materials/Textures.h"
#include "scene/components/UpdateAbleObjects.h"
#include "support/HeadlessGL.h"

namespace qira::testing {

// Counts plain and texture-map notifications.
class TCountingOwner : public TGLUpdateAbleObject, public IGLTextureNotifyAble {
 public:
  TCountingOwner() : TGLUpdateAbleObject(nullptr) {}
  void NotifyChange(TObject* sender) override {
    ++changes;
    lastSender = sender;
  }
  void NotifyTexMapChange(TObject* sender) override {
    ++texMapChanges;
    lastSender = sender;
  }
  int changes = 0;
  int texMapChanges = 0;
  TObject* lastSender = nullptr;
};

// Counts only plain notifications (offers no texture-map interface).
class TPlainOwner : public TGLUpdateAbleObject {
 public:
  TPlainOwner() : TGLUpdateAbleObject(nullptr) {}
  void NotifyChange(TObject* sender) override {
    (void)sender;
    ++changes;
  }
  int changes = 0;
};

inline constexpr int kGLViewSize = 16;

class GLFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip(kGLViewSize, kGLViewSize, 24, 8);
    if (!gl_) return;
    HeadlessGL::LoadOrthoView(1.0, -1.0, 1.0);
    MapToNoUnit();
    MapToUnit0();
    cache_ = std::make_unique<TGLStateCache>();
    rci_.GLStates = cache_.get();
    rci_.modelViewMatrix = &modelView_;
    rci_.bufferFaceCull = true;
  }

  void TearDown() override {
    if (!gl_) return;
    CheckNoGLError();
    ReleaseGLObjects();
    gl_.reset();
  }

  // Tests free what holds OpenGL names here, while the context is current.
  virtual void ReleaseGLObjects() {}

  void CheckNoGLError() { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

  static void Clear(float r, float g, float b) { HeadlessGL::Clear(r, g, b); }

  // A quad over the whole view, texture coordinates 0..1 from the bottom left.
  static void DrawQuad() {
    glNormal3f(0.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
  }

  // (x from the left, y from the bottom)
  static std::array<int, 4> Pixel(int x, int y) { return ReadRgba(x, y); }

  static bool NearRgb(const std::array<int, 4>& pixel, int r, int g, int b, int tolerance = 2) {
    return ::qira::NearRgb(pixel, {r, g, b}, tolerance);
  }

  std::unique_ptr<HeadlessGL> gl_;
  std::unique_ptr<TGLStateCache> cache_;
  TMatrix modelView_ = IdentityHmgMatrix;
  TRenderContextInfo rci_;
};

}  // namespace qira::testing

#pragma once
// Support of the material and texture tests: a small headless memory context
// with an orthographic view of the square -1..1, its own state cache and a
// render-context record pointing at it, a quad that fills the view, pixel
// reads, and an owner that counts the notifications it receives.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "scene/EglRenderingContext.h"
#include "scene/MultitextureCoords.h"
#include "scene/OpenGLBinding.h"
#include "scene/RenderContextInfo.h"
#include "scene/StateCache.h"
#include "scene/Textures.h"
#include "scene/UpdateAbleObjects.h"

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
    RegisterEglRenderingContext();
    std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
    ASSERT_NE(context, nullptr);
    context->SetDepthBits(24);
    context->SetAlphaBits(8);
    try {
      context->CreateMemoryContext(0, kGLViewSize, kGLViewSize, 1);
    } catch (const std::exception& error) {
      GTEST_SKIP() << "no EGL display: " << error.what();
    }
    context_ = std::move(context);
    context_->Activate();
    glViewport(0, 0, kGLViewSize, kGLViewSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    MapToNoUnit();
    MapToUnit0();
    cache_ = std::make_unique<TGLStateCache>();
    rci_.GLStates = cache_.get();
    rci_.modelViewMatrix = &modelView_;
    rci_.bufferFaceCull = true;
  }

  void TearDown() override {
    if (!context_) return;
    CheckNoGLError();
    ReleaseGLObjects();
    context_->Deactivate();
    context_->DestroyContext();
    context_.reset();
  }

  // Tests free what holds OpenGL names here, while the context is current.
  virtual void ReleaseGLObjects() {}

  void CheckNoGLError() { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

  void Clear(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

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
  static std::array<int, 4> Pixel(int x, int y) {
    uint8_t rgba[4] = {};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
  }

  static bool NearRgb(const std::array<int, 4>& pixel, int r, int g, int b, int tolerance = 2) {
    return std::abs(pixel[0] - r) <= tolerance && std::abs(pixel[1] - g) <= tolerance &&
           std::abs(pixel[2] - b) <= tolerance;
  }

  std::unique_ptr<TGLContext> context_;
  std::unique_ptr<TGLStateCache> cache_;
  TMatrix modelView_ = IdentityHmgMatrix;
  TRenderContextInfo rci_;
};

}  // namespace qira::testing

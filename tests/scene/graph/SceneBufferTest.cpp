#include "scene/graph/SceneBuffer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "scene/components/PlatformUtilities.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/math/VectorGeometry.h"
#include "support/SceneRenderSupport.h"
#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

using testing::ImagePixel;
using testing::kBlueRgb;
using testing::kRedRgb;
using testing::Near;
using testing::TRenderedScene;

// Window x of a world point on the z = 0 plane for the test camera (0, 0, 30)
// of the square test viewport: the frustum's half width at the near plane is 0.5
// and the near plane lies at FocalLength * 2 * 96 / (25.4 * size).
float ExpectedWindowX(float worldX, float sight = testing::kSightX) {
  const auto size = static_cast<float>(testing::kViewSize);
  const float nearPlane = 50.0f * 2.0f * 96.0f / (25.4f * size);
  const float ndc = worldX * nearPlane / (30.0f * 0.5f);
  return sight + size * ndc / 2.0f;
}

// ------------------------------------------------------------ one frame

TEST(SceneBufferFrameGL, BackgroundAndQuadAppearWhereTheCameraProjectsThem) {
  TRenderedScene s;
  s.quad->Position().SetPoint(0.5f, 0.0f, 0.0f);
  s.buffer->Render();
  const float x = ExpectedWindowX(0.5f);
  EXPECT_TRUE(Near(s.Pixel(FloorToInt(x), 16), kRedRgb)) << x;
  EXPECT_TRUE(Near(s.Pixel(2, 2), kBlueRgb));
  EXPECT_TRUE(Near(s.Pixel(2, 29), kBlueRgb));
  EXPECT_EQ(s.quad->DrawCount, 1);
  EXPECT_EQ(s.buffer->FrameCount(), 1);
  EXPECT_FALSE(s.buffer->Rendering());
  EXPECT_EQ(s.scene->BaseContext(), s.buffer->RenderingContext());
}

TEST(SceneBufferFrameGL, WithoutCameraOnlyClearsAndWorldToScreenReturnsItsInput) {
  TRenderedScene s;
  s.buffer->SetCamera(nullptr);
  s.buffer->Render();
  EXPECT_TRUE(Near(s.Pixel(16, 16), kBlueRgb));
  EXPECT_EQ(s.quad->DrawCount, 0);
  const TAffineVector p{1.0f, 2.0f, 3.0f};
  const TAffineVector q = s.buffer->WorldToScreen(p);
  EXPECT_EQ(q.x, 1.0f);
  EXPECT_EQ(q.y, 2.0f);
  EXPECT_EQ(q.z, 3.0f);
}

TEST(SceneBufferFrameGL, ARenderRequestedWhileRenderingDoesNothing) {
  TRenderedScene s;
  int inner = 0;
  s.quad->OnDraw = [&](TRenderContextInfo&) {
    s.buffer->Render();
    ++inner;
  };
  s.buffer->Render();
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(s.buffer->FrameCount(), 1);
}

TEST(SceneBufferFrameGL, ChangesAreSwallowedWhileRenderingAndReportedOtherwise) {
  TRenderedScene s;
  int changes = 0;
  s.buffer->OnChange = [&](TObject*) { ++changes; };
  s.quad->OnDraw = [&](TRenderContextInfo&) { s.buffer->SetLighting(!s.buffer->Lighting()); };
  s.buffer->Render();
  EXPECT_EQ(changes, 0);
  s.quad->Position().SetPoint(0.1f, 0.0f, 0.0f);  // through the scene
  EXPECT_GE(changes, 1);
}

TEST(SceneBufferFrame, ResizeClampsToOnePixel) {
  TGL3DSceneBuffer buffer;
  buffer.Resize(0, -5);
  EXPECT_EQ(buffer.Width(), 1);
  EXPECT_EQ(buffer.Height(), 1);
}

GLbitfield gClearMask = 0xFFFFFFFFu;

TEST(SceneBufferFrame, ClearBuffersClearsWhatTheOptionsLeaveToClear) {
  TScopedEntryPoint<decltype(glClear)> clear(glClear, [](GLbitfield mask) { gClearMask = mask; });
  using O = TContextOption;
  const struct {
    const char* name;
    TContextOptions options;
    GLbitfield mask;
  } cases[] = {
      {"defaults", {O::roDoubleBuffer, O::roRenderToWindow}, GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT},
      {"no colour clear", {O::roNoColorBufferClear}, GL_DEPTH_BUFFER_BIT},
      {"no depth clear, no colour buffer", {O::roNoDepthBufferClear, O::roNoColorBuffer}, 0},
      {"stencil alone", {O::roNoDepthBufferClear, O::roNoColorBuffer, O::roStencilBuffer}, GL_STENCIL_BUFFER_BIT},
      {"everything", {O::roStencilBuffer}, GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT},
  };
  for (const auto& c : cases) {
    TGL3DSceneBuffer buffer;
    buffer.SetContextOptions(c.options);
    gClearMask = 0xFFFFFFFFu;
    buffer.ClearBuffers();
    EXPECT_EQ(gClearMask, c.mask) << c.name;
  }
}

// ---------------------------------------------------------- statistics

struct TScriptedClock {
  std::vector<int64_t> values;
  size_t next = 0;
  int64_t Read() { return next < values.size() ? values[next++] : values.back(); }
};

TEST(SceneBufferStatisticsGL, FramesPerSecondFollowsTheInjectedClock) {
  TRenderedScene s;
  static TScriptedClock clock;
  // Frame 1: start 100, first-frame counter 110 (after activation), end 150.
  // Frame 2: start 200, end 260.
  clock = TScriptedClock{{100, 110, 150, 200, 260}};
  SetPerformanceClock(TPerformanceClock{[] { return clock.Read(); }, 1000});
  s.buffer->Render();
  EXPECT_FLOAT_EQ(s.buffer->FrameTime(), 0.05f);
  EXPECT_FLOAT_EQ(s.buffer->FramesPerSecond(), 25.0f);
  s.buffer->Render();
  SetPerformanceClock(TPerformanceClock{});
  EXPECT_EQ(clock.next, 5u);
  EXPECT_EQ(s.buffer->FrameCount(), 2);
  EXPECT_FLOAT_EQ(s.buffer->FrameTime(), 0.06f);
  EXPECT_FLOAT_EQ(s.buffer->FramesPerSecond(), 2.0f * 1000.0f / 150.0f);
  s.buffer->ResetStatistics();
  EXPECT_EQ(s.buffer->FrameCount(), 0);
  EXPECT_EQ(s.buffer->FramesPerSecond(), 0.0f);
}

// ------------------------------------------------------ projection queries

TEST(SceneBufferProjectionGL, WorldToScreenMatchesThePixelsAndScreenToWorldInvertsIt) {
  TRenderedScene s;
  s.quad->Position().SetPoint(-0.6f, 0.4f, 0.0f);
  s.buffer->Render();
  const TAffineVector world{-0.6f, 0.4f, 0.0f};
  const TAffineVector screen = s.buffer->WorldToScreen(world);
  EXPECT_NEAR(screen.x, ExpectedWindowX(-0.6f), 1e-3);
  EXPECT_NEAR(screen.y, ExpectedWindowX(0.4f, testing::kSightY), 1e-3);
  EXPECT_GT(screen.z, 0.0f);
  EXPECT_LT(screen.z, 1.0f);
  EXPECT_TRUE(Near(s.Pixel(FloorToInt(screen.x), FloorToInt(screen.y)), kRedRgb));
  const TAffineVector back = s.buffer->ScreenToWorld(screen);
  EXPECT_NEAR(back.x, world.x, 1e-3);
  EXPECT_NEAR(back.y, world.y, 1e-3);
  EXPECT_NEAR(back.z, world.z, 1e-3);
}

// -------------------------------------------------------------- pictures

TEST(SceneBufferPictureGL, RenderToBitmapGivesTheScreenPicture) {
  TRenderedScene s;
  s.quad->Position().SetPoint(0.5f, -0.3f, 0.0f);
  s.buffer->Render();
  QImage picture(testing::kViewSize, testing::kViewSize, QImage::Format_RGB32);
  s.buffer->RenderToBitmap(picture, 96);
  int differences = 0;
  for (int y = 0; y < testing::kViewSize; ++y) {
    for (int x = 0; x < testing::kViewSize; ++x) {
      if (!Near(ImagePixel(picture, x, y), s.Pixel(x, y))) ++differences;
    }
  }
  EXPECT_EQ(differences, 0);
  // Orientation: the quad lies right of the centre and below it.
  const TAffineVector screen = s.buffer->WorldToScreen({0.5f, -0.3f, 0.0f});
  EXPECT_TRUE(Near(ImagePixel(picture, FloorToInt(screen.x), FloorToInt(screen.y)), kRedRgb));
  EXPECT_TRUE(Near(ImagePixel(picture, 3, 28), kBlueRgb));
  EXPECT_FALSE(s.buffer->Rendering());
}

TEST(SceneBufferPictureGL, AFailedPictureLeavesTheBufferWorking) {
  TRenderedScene s;
  s.buffer->Render();
  TGLStateCache* cacheBefore = &s.buffer->StateCache();
  s.buffer->InitiateRendering = [](TObject*, TRenderContextInfo& rci) {
    if (rci.drawState == TDrawState::dsPrinting) throw std::runtime_error("forced failure");
  };
  // Another context is current when the export starts; it must be again after.
  TGLContext& screen = *s.buffer->RenderingContext();
  screen.Activate();
  QImage picture(20, 20, QImage::Format_RGB32);
  EXPECT_THROW(s.buffer->RenderToBitmap(picture, 96), std::runtime_error);
  EXPECT_EQ(CurrentGLContext(), &screen);
  EXPECT_EQ(screen.ActivationCount(), 1);
  screen.Deactivate();
  EXPECT_EQ(CurrentGLContext(), nullptr);
  EXPECT_FALSE(s.buffer->Rendering());
  EXPECT_EQ(&s.buffer->StateCache(), cacheBefore);
  EXPECT_EQ(s.buffer->Width(), testing::kViewSize);
  // Later frames still render.
  s.quad->Position().SetPoint(0.0f, 0.0f, 0.0f);
  s.buffer->SetBackgroundColor(MakeColor(0, 255, 0));
  const int drawsBefore = s.quad->DrawCount;
  s.buffer->Render();
  EXPECT_EQ(s.quad->DrawCount, drawsBefore + 1);
  EXPECT_TRUE(Near(s.Pixel(2, 2), {0, 255, 0}));
  EXPECT_TRUE(Near(s.Pixel(16, 16), kRedRgb));
  // And a picture after the failure works too.
  s.buffer->InitiateRendering = nullptr;
  s.buffer->RenderToBitmap(picture, 96);
  EXPECT_TRUE(Near(ImagePixel(picture, 2, 2), {0, 255, 0}));
}

TEST(SceneBufferPictureGL, TiledPictureMatchesTheUntiledOne) {
  TRenderedScene s;
  s.quad->Position().SetPoint(0.3f, -0.2f, 0.0f);
  s.quad->HalfSize = 0.7f;
  constexpr int kWidth = 50;
  constexpr int kHeight = 38;
  QImage whole(kWidth, kHeight, QImage::Format_RGB32);
  s.buffer->RenderToBitmap(whole, 120);
  s.buffer->SetPictureTileLimit(16);  // 4 x 3 tiles, the last ones partial
  QImage tiled(kWidth, kHeight, QImage::Format_RGB888);
  s.buffer->RenderToBitmap(tiled, 120);
  int red = 0;
  int differences = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto a = ImagePixel(whole, x, y);
      if (Near(a, kRedRgb)) ++red;
      if (!Near(a, ImagePixel(tiled, x, y))) ++differences;
    }
  }
  EXPECT_GT(red, 100);          // the quad crosses several tile seams
  EXPECT_LE(differences, 2);    // at most an edge pixel rounded the other way
}

TEST(SceneBufferPicture, OversizedAndEmptyPicturesAreRefusedBeforeAllocation) {
  TGL3DSceneBuffer buffer;
  buffer.SetPictureMemoryLimit(1000000);
  EXPECT_NO_THROW(buffer.CheckPictureSize(500, 500, 4));
  EXPECT_THROW(buffer.CheckPictureSize(501, 500, 4), EGLPictureSize);
  EXPECT_THROW(buffer.CheckPictureSize(0, 10, 4), EGLPictureSize);
  EXPECT_THROW(buffer.CheckPictureSize(int64_t{1} << 40, int64_t{1} << 40, 4), EGLPictureSize);
  try {
    buffer.RenderToNewBitmap(2000, 1000, 300);
    FAIL() << "no exception";
  } catch (const EGLPictureSize& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  TGL3DSceneBuffer unlimited;
  EXPECT_THROW(unlimited.RenderToNewBitmap(200000, 200000, 96), EGLPictureSize);
  QImage empty;
  EXPECT_THROW(unlimited.RenderToBitmap(empty, 96), EGLPictureSize);
}

// ----------------------------------------------------------------- fog

TEST(SceneBufferFogGL, ExponentialFogTakesItsDensityFromTheColourAlpha) {
  TRenderedScene s;
  TGLFogEnvironment& fog = s.buffer->FogEnvironment();
  EXPECT_TRUE(fog.HasDefaultValues());
  fog.SetFogMode(TFogMode::fmExp);
  fog.FogColor().SetColor(VectorMake(0.1f, 0.2f, 0.3f, 0.5f));
  fog.SetFogStart(5.0f);
  EXPECT_FALSE(fog.HasDefaultValues());
  fog.ApplyFog();
  TGLContext& context = *s.buffer->RenderingContext();
  EXPECT_FALSE(context.Active());
  context.Activate();
  GLfloat density = 0.0f;
  GLint mode = 0;
  GLfloat start = 0.0f;
  glGetFloatv(GL_FOG_DENSITY, &density);
  glGetIntegerv(GL_FOG_MODE, &mode);
  glGetFloatv(GL_FOG_START, &start);
  context.Deactivate();
  EXPECT_FLOAT_EQ(density, 0.5f);
  EXPECT_EQ(mode, GL_EXP);
  EXPECT_FLOAT_EQ(start, 5.0f);
}

// ------------------------------------------------------ copy to texture

// A plain RGBA texture for the copy tests.
class TCopyTexture final : public IGLFrameCopyTexture {
 public:
  ~TCopyTexture() {
    if (name_ != 0) glDeleteTextures(1, &name_);
  }
  GLenum ImageTarget() const override { return GL_TEXTURE_2D; }
  bool IsFloatFormat() const override { return false; }
  bool HasHandle() const override { return name_ != 0; }
  GLuint AllocateBareHandle() override {
    glGenTextures(1, &name_);
    return name_;
  }
  GLuint GetHandle() override {
    if (name_ == 0) AllocateBareHandle();
    return name_;
  }
  bool UsesMipmaps() const override { return false; }
  GLint InternalFormat() const override { return GL_RGBA8; }

  // The texture's texel (x, y) as RGB.
  std::array<int, 3> Texel(int x, int y, int width, int height) const {
    return ReadTexel(name_, x, y, width, height);
  }

 private:
  GLuint name_ = 0;
};

TEST(SceneBufferCopyGL, CopyToTextureReadsFromTheSourcePosition) {
  TRenderedScene s;
  s.quad->Position().SetPoint(0.8f, 0.8f, 0.0f);
  s.buffer->Render();
  const TAffineVector at = s.buffer->WorldToScreen({0.8f, 0.8f, 0.0f});
  const int xSrc = FloorToInt(at.x) - 2;
  const int ySrc = FloorToInt(at.y) - 2;
  ASSERT_TRUE(Near(s.Pixel(xSrc + 2, ySrc + 2), kRedRgb));
  ASSERT_TRUE(Near(s.Pixel(2, 2), kBlueRgb));
  TCopyTexture texture;
  // First copy: no name yet, a full upload of the 4 x 4 block at the source.
  s.buffer->CopyToTexture(texture, xSrc, ySrc, 4, 4, 0, 0);
  ASSERT_TRUE(texture.HasHandle());
  TGLContext& context = *s.buffer->RenderingContext();
  context.Activate();
  EXPECT_TRUE(Near(texture.Texel(2, 2, 4, 4), kRedRgb));
  context.Deactivate();
  // Second copy: into the existing texture from the corner (background).
  s.buffer->CopyToTexture(texture, 0, 0, 4, 4, 0, 0);
  context.Activate();
  EXPECT_TRUE(Near(texture.Texel(2, 2, 4, 4), kBlueRgb));
  context.Deactivate();
}

TEST(SceneBufferCopyGL, BufferIndicesOutsideTheContextsBuffersAreRejected) {
  TRenderedScene s;
  s.buffer->Render();
  TCopyTexture texture;
  EXPECT_FALSE(s.buffer->CopyBufferToTexture(texture, 1, 0, 8, 8));
  EXPECT_FALSE(s.buffer->CopyBufferToTexture(texture, -1, 0, 8, 8));
  EXPECT_FALSE(s.buffer->CopyBufferToTexture(texture, 0, 6, 8, 8));
  EXPECT_FALSE(texture.HasHandle());
  EXPECT_TRUE(s.buffer->CopyBufferToTexture(texture, 0, 0, 8, 8));
  EXPECT_TRUE(texture.HasHandle());
  TGLContext& context = *s.buffer->RenderingContext();
  context.Activate();
  EXPECT_TRUE(Near(texture.Texel(1, 1, 8, 8), kBlueRgb));
  context.Deactivate();
  TGL3DSceneBuffer withoutContext;
  EXPECT_FALSE(withoutContext.CopyBufferToTexture(texture, 0, 0, 8, 8));
}

// --------------------------------------------------------------- camera

TEST(SceneBufferCameraGL, AFreedCameraLeavesNoBufferPointingAtIt) {
  TRenderedScene s;
  s.buffer->Render();
  EXPECT_EQ(s.scene->BufferCount(), 1);
  s.scene->Objects().Remove(*s.camera, false);
  s.scene->DestroyComponent(*s.camera);
  EXPECT_EQ(s.buffer->Camera(), nullptr);
  EXPECT_EQ(s.scene->BufferCount(), 0);
  s.buffer->Render();  // only clears
  EXPECT_TRUE(Near(s.Pixel(16, 16), kBlueRgb));
}

TEST(SceneBufferCameraGL, ACameraTakenOutOfTheSceneTakesItsBuffersOut) {
  TRenderedScene s;
  s.buffer->Render();
  ASSERT_EQ(s.scene->BufferCount(), 1);
  s.camera->SetParent(nullptr);
  EXPECT_EQ(s.scene->BufferCount(), 0);
  EXPECT_EQ(s.scene->BaseContext(), nullptr);
  // A freed buffer is no longer reached by the scene's notifications.
  s.buffer.reset();
  s.quad->SetVisible(false);
}

}  // namespace
}  // namespace qira

#include "scene/viewers/MemoryViewer.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "scene/gl/EglRenderingContext.h"
#include "support/SceneRenderSupport.h"

namespace qira {
namespace {

using testing::kGreenRgb;
using testing::kRedRgb;
using testing::Near;
using testing::TFlatQuad;

// A texture that only holds an OpenGL name, for the frame copies.
class TFrameTexture final : public IGLFrameCopyTexture {
 public:
  ~TFrameTexture() {
    if (name_ == 0 || context_ == nullptr) return;
    context_->Activate();
    glDeleteTextures(1, &name_);
    context_->Deactivate();
  }
  GLenum ImageTarget() const override { return GL_TEXTURE_2D; }
  bool IsFloatFormat() const override { return false; }
  bool HasHandle() const override { return name_ != 0; }
  GLuint AllocateBareHandle() override {
    context_ = CurrentGLContext();
    glGenTextures(1, &name_);
    return name_;
  }
  GLuint GetHandle() override { return name_; }
  bool UsesMipmaps() const override { return false; }
  GLint InternalFormat() const override { return GL_RGBA8; }

  // Texel (x, y from the bottom) of a texture of that width.
  std::array<int, 3> Texel(int x, int y, int width, int height) const {
    context_->Activate();
    const auto rgb = ReadTexel(name_, x, y, width, height);
    context_->Deactivate();
    return rgb;
  }
  GLuint Name() const { return name_; }

 private:
  GLuint name_ = 0;
  TGLContext* context_ = nullptr;
};

// A memory viewer that counts the prepare-context calls.
class TCountingMemoryViewer : public TGLMemoryViewer {
 public:
  int prepared = 0;

 protected:
  void PrepareGLContext() override { ++prepared; }
};

// A scene with a camera on +z looking at a red quad at the origin, seen by a
// small memory viewer with a green background.
struct TViewedScene {
  std::unique_ptr<TGL3DScene> scene;
  TGLCamera* camera = nullptr;
  TFlatQuad* quad = nullptr;
  std::unique_ptr<TCountingMemoryViewer> viewer;

  TViewedScene() {
    RegisterEglRenderingContext();
    scene = std::make_unique<TGL3DScene>();
    camera = &scene->Objects().AddNewChild<TGLCamera>();
    camera->Position().SetPoint(0.0f, 0.0f, 30.0f);
    quad = &scene->Objects().AddNewChild<TFlatQuad>();
    viewer = std::make_unique<TCountingMemoryViewer>();
    viewer->SetWidth(24);
    viewer->SetHeight(16);
    viewer->SetCamera(camera);
    viewer->Buffer().SetBackgroundColor(MakeColor(0, 255, 0));
  }
  ~TViewedScene() {
    viewer.reset();
    scene.reset();
  }

  std::array<int, 3> Pixel(int x, int y, int bufferIndex = 0) const {
    auto& context = dynamic_cast<TGLEglContext&>(*viewer->Buffer().RenderingContext());
    context.Activate();
    glReadBuffer(context.ColorBuffer(bufferIndex));
    const auto rgb = ReadRgb(x, y);
    glReadBuffer(context.ColorBuffer(0));
    context.Deactivate();
    return rgb;
  }
};

TEST(MemoryViewer, SettingsAreClampedToTheirRanges) {
  TGLMemoryViewer viewer;
  viewer.SetBufferCount(7);
  EXPECT_EQ(viewer.BufferCount(), 4);
  viewer.SetBufferCount(0);
  EXPECT_EQ(viewer.BufferCount(), 1);
  viewer.SetWidth(-3);
  viewer.SetHeight(0);
  EXPECT_EQ(viewer.Width(), 1);
  EXPECT_EQ(viewer.Height(), 1);
  viewer.SetCubeMapFace(6);
  EXPECT_EQ(viewer.CubeMapFace(), 0);
  viewer.SetCubeMapFace(5);
  EXPECT_EQ(viewer.CubeMapFace(), 5);
}

TEST(MemoryViewerGL, RendersTheSceneHeadlessAndTheBackgroundReadsBack) {
  TViewedScene s;
  EXPECT_FALSE(s.viewer->Buffer().HasContext());
  s.viewer->Render();
  ASSERT_TRUE(s.viewer->Buffer().HasContext());
  EXPECT_EQ(s.viewer->prepared, 1);
  EXPECT_EQ(s.viewer->Buffer().Width(), 24);
  EXPECT_EQ(s.viewer->Buffer().Height(), 16);
  EXPECT_TRUE(Near(s.Pixel(1, 1), kGreenRgb));
  EXPECT_TRUE(Near(s.Pixel(23, 15), kGreenRgb));
  EXPECT_TRUE(Near(s.Pixel(12, 8), kRedRgb));
  EXPECT_EQ(s.quad->DrawCount, 1);
  // The context stays for the next frame.
  TGLContext* context = s.viewer->Buffer().RenderingContext();
  s.viewer->Render();
  EXPECT_EQ(s.viewer->Buffer().RenderingContext(), context);
  EXPECT_EQ(s.viewer->prepared, 1);
}

TEST(MemoryViewerGL, WidthZeroMakesTheNextContextOnePixelWide) {
  TViewedScene s;
  s.viewer->Render();
  s.viewer->SetWidth(0);
  EXPECT_EQ(s.viewer->Width(), 1);
  EXPECT_FALSE(s.viewer->Buffer().HasContext());
  s.viewer->Render();
  ASSERT_TRUE(s.viewer->Buffer().HasContext());
  EXPECT_EQ(s.viewer->Buffer().Width(), 1);
  EXPECT_EQ(s.viewer->Buffer().Height(), 16);
  EXPECT_EQ(s.viewer->prepared, 2);
}

TEST(MemoryViewerGL, ChangingTheBufferCountOrAContextOptionDropsTheContext) {
  TViewedScene s;
  s.viewer->Render();
  s.viewer->SetBufferCount(1);  // unchanged
  EXPECT_TRUE(s.viewer->Buffer().HasContext());
  s.viewer->SetBufferCount(3);
  EXPECT_FALSE(s.viewer->Buffer().HasContext());
  s.viewer->Render();
  ASSERT_TRUE(s.viewer->Buffer().HasContext());
  EXPECT_EQ(dynamic_cast<TGLEglContext&>(*s.viewer->Buffer().RenderingContext()).BufferCount(), 3);
  EXPECT_TRUE(Near(s.Pixel(1, 1, 2), kGreenRgb));
  TContextOptions options = s.viewer->Buffer().ContextOptions();
  options.Include(TContextOption::roStencilBuffer);
  s.viewer->Buffer().SetContextOptions(options);
  EXPECT_FALSE(s.viewer->Buffer().HasContext());
}

TEST(MemoryViewer, CopyToTextureBeforeAnyRenderDoesNothing) {
  TGLMemoryViewer viewer;
  TFrameTexture texture;
  viewer.CopyToTexture(texture);
  EXPECT_FALSE(viewer.CopyToTexture(texture, 0));
  EXPECT_EQ(texture.Name(), 0u);
}

TEST(MemoryViewerGL, CopiesAColourBufferIntoATextureAndRefusesOthers) {
  TViewedScene s;
  s.viewer->SetBufferCount(2);
  s.viewer->Render();
  TFrameTexture texture;
  EXPECT_FALSE(s.viewer->CopyToTexture(texture, 2));
  EXPECT_FALSE(s.viewer->CopyToTexture(texture, -1));
  EXPECT_EQ(texture.Name(), 0u);
  ASSERT_TRUE(s.viewer->CopyToTexture(texture, 0));
  ASSERT_NE(texture.Name(), 0u);
  EXPECT_TRUE(Near(texture.Texel(1, 1, 24, 16), kGreenRgb));
  EXPECT_TRUE(Near(texture.Texel(12, 8, 24, 16), kRedRgb));
  EXPECT_TRUE(s.viewer->CopyToTexture(texture, 1));
}

TEST(MemoryViewerGL, FreedCameraLeavesAViewerThatOnlyClears) {
  TViewedScene s;
  s.viewer->Render();
  EXPECT_EQ(s.quad->DrawCount, 1);
  s.scene->DestroyComponent(*s.camera);
  EXPECT_EQ(s.viewer->Camera(), nullptr);
  s.viewer->Render();
  EXPECT_EQ(s.quad->DrawCount, 1);
  EXPECT_TRUE(Near(s.Pixel(12, 8), kGreenRgb));
}

}  // namespace
}  // namespace qira

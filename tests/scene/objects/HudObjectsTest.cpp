#include "scene/objects/HudObjects.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "platform/Picture.h"
#include "support/ObjectRenderSupport.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

using testing::kBlueRgb;
using testing::kGreenRgb;
using testing::kRedRgb;
using testing::Near;

constexpr int kTop = testing::kViewSize - 1;

// HUD objects over the 32 x 32 test scene; `Screen` reads pixels with y from the top.
class HudObjectsGL : public testing::TObjectPixelTest {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    TObjectPixelTest::SetUp();
    if (s_ == nullptr) return;
    // One 16 x 16 glyph for 'A', filled: the text is a green square.
    font_ = std::make_unique<TGLBitmapFont>();
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    font_->Glyphs().SetGraphic(std::make_unique<TBitmapGraphic>(image));
    font_->Ranges().Add('A', 'A');
    font_->SetGlyphsAlpha(TGLTextureImageAlpha::tiaOpaque);
    font_->SetMagFilter(TGLMagFilter::maNearest);
    font_->SetMinFilter(miNearest);
  }
  void TearDown() override {
    s_.reset();
    font_.reset();
  }
  template <class T>
  T& AddText(float x, float y) {
    T& text = s_->scene->Objects().AddNewChild<T>();
    text.SetBitmapFont(font_.get());
    text.SetText("A");
    text.ModulateColor().SetColor({0.0f, 1.0f, 0.0f, 1.0f});
    text.Position().SetPoint(x, y, 0.0f);
    return text;
  }
  std::array<int, 3> Screen(int x, int y) const { return s_->Pixel(x, kTop - y); }

  std::unique_ptr<TGLBitmapFont> font_;
};

TEST_F(HudObjectsGL, TextStaysAtItsPixelPositionWhateverTheCameraDoes) {
  if (s_ == nullptr) return;
  AddText<TGLHUDText>(4.0f, 6.0f);
  for (float cameraX : {0.0f, 7.0f}) {
    s_->camera->Position().SetPoint(cameraX, 3.0f, 30.0f);
    s_->buffer->Render();
    EXPECT_TRUE(Near(Screen(5, 7), kGreenRgb, 8));  // the glyph spans x 4..20, y 6..22
    EXPECT_TRUE(Near(Screen(19, 21), kGreenRgb, 8));
    EXPECT_TRUE(Near(Screen(2, 7), kBlueRgb, 8));
    EXPECT_TRUE(Near(Screen(5, 4), kBlueRgb, 8));
    EXPECT_TRUE(Near(Screen(22, 12), kBlueRgb, 8));
  }
}

TEST_F(HudObjectsGL, AtDoubleResolutionTextMovesAndGrowsTwofold) {
  if (s_ == nullptr) return;
  AddText<TGLHUDText>(2.0f, 3.0f);
  const QImage picture = s_->buffer->RenderToNewBitmap(64, 64, 192);
  const auto at = [&](int x, int y) { return testing::ImagePixel(picture, x, 63 - y); };
  EXPECT_TRUE(Near(at(5, 7), kGreenRgb, 8));    // spans x 4..36, y 6..38
  EXPECT_TRUE(Near(at(35, 37), kGreenRgb, 8));
  EXPECT_TRUE(Near(at(2, 10), kBlueRgb, 8));
  EXPECT_TRUE(Near(at(38, 20), kBlueRgb, 8));
}

TEST_F(HudObjectsGL, ResolutionIndependentTextStartsCentred) {
  if (s_ == nullptr) return;
  TGLResolutionIndependantHUDText& text = AddText<TGLResolutionIndependantHUDText>(0.0f, 0.0f);
  text.Position().SetPoint(0.5f, 0.5f, 0.0f);
  text.SetAlignment(TAlignment::taCenter);
  text.SetLayout(TTextLayout::tlCenter);
  s_->buffer->Render();
  EXPECT_TRUE(Near(Screen(9, 9), kGreenRgb, 8));  // spans 8..24 both ways
  EXPECT_TRUE(Near(Screen(22, 22), kGreenRgb, 8));
  EXPECT_TRUE(Near(Screen(6, 16), kBlueRgb, 8));
  EXPECT_TRUE(Near(Screen(16, 26), kBlueRgb, 8));
  const QImage picture = s_->buffer->RenderToNewBitmap(64, 64, 192);
  EXPECT_TRUE(Near(testing::ImagePixel(picture, 32, 32), kGreenRgb, 8));
  EXPECT_TRUE(Near(testing::ImagePixel(picture, 12, 32), kBlueRgb, 8));
}

TEST_F(HudObjectsGL, AbsoluteTextStartsWhereItsScenePositionIsSeen) {
  if (s_ == nullptr) return;
  AddText<TGLAbsoluteHUDText>(0.0f, 0.0f);  // the world origin: the middle of the view
  s_->buffer->Render();
  EXPECT_TRUE(Near(Screen(17, 17), kGreenRgb, 8));
  EXPECT_TRUE(Near(Screen(14, 17), kBlueRgb, 8));
  EXPECT_TRUE(Near(Screen(17, 14), kBlueRgb, 8));
}

TEST_F(HudObjectsGL, SpriteCoversItsPixelsOverTheSceneAndIgnoresDepth) {
  if (s_ == nullptr) return;
  TGLPlane& plane = AddColoured<TGLPlane>(s_->scene->Objects(), {0, 1, 0, 1});
  plane.SetWidth(5.0f);
  plane.SetHeight(5.0f);
  plane.Position().SetPoint(0.0f, 0.0f, 5.0f);  // near the camera, covering the view
  TGLHUDSprite& sprite = AddRed<TGLHUDSprite>();
  sprite.Position().SetPoint(16.0f, 16.0f, 0.9f);
  sprite.SetWidth(8.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Near(Screen(13, 9), kRedRgb, 8));  // x 12..20, y 8..24
  EXPECT_TRUE(Near(Screen(19, 23), kRedRgb, 8));
  EXPECT_TRUE(Near(Screen(10, 16), kGreenRgb, 8));
  EXPECT_TRUE(Near(Screen(16, 26), kGreenRgb, 8));
}

}  // namespace
}  // namespace qira

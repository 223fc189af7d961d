#include "scene/objects/SpaceText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "support/ObjectRenderSupport.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

TEST(SpaceText, NegativeDeviationIsStoredAsZeroAndTextSplitsIntoLines) {
  TGLSpaceText text;
  text.SetAllowedDeviation(-1.0f);
  EXPECT_EQ(text.AllowedDeviation(), 0.0f);
  EXPECT_EQ(text.Font().Name, "Arial");
  text.SetText("one\r\ntwo\nthree");
  ASSERT_EQ(text.Lines().size(), 3u);
  EXPECT_EQ(text.Lines()[2], "three");
  EXPECT_EQ(text.Text(), "one\r\ntwo\r\nthree\r\n");
  text.SetText("single");
  EXPECT_EQ(text.Text(), "single");
}

// Outline texts in the pinned font, drawn unlit in red.
class SpaceTextGL : public testing::TObjectPixelTest {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    TObjectPixelTest::SetUp();
  }
  TGLSpaceText& AddText(const std::string& s) {
    TGLSpaceText& text = AddRed<TGLSpaceText>();
    TFont font = text.Font();
    font.Name = PinnedFontFace();
    text.SetFont(font);
    text.SetText(s);
    return text;
  }
};

TEST_F(SpaceTextGL, CentredLetterOShowsItsRingAndItsHole) {
  if (s_ == nullptr) return;
  TGLSpaceText& text = AddText("O");
  text.SetTextHeight(2.0f);
  text.Adjust().SetHorz(TGLTextHorzAdjust::haCenter);
  text.Adjust().SetVert(TGLTextVertAdjust::vaCenter);
  s_->buffer->Render();
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Red(0.0f, 0.9f));
  EXPECT_TRUE(Red(0.0f, -0.9f));
  EXPECT_TRUE(Red(-0.8f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 1.15f));
  // From behind only an extruded text shows its back face.
  text.SetTurnAngle(180.0f);
  s_->buffer->Render();
  EXPECT_TRUE(Background(0.0f, 0.9f));
  text.SetExtrusion(0.2f);
  s_->buffer->Render();
  EXPECT_TRUE(Red(0.0f, 0.9f));
  EXPECT_TRUE(Background(0.0f, 0.0f));
}

TEST_F(SpaceTextGL, TextsWithTheSameSettingsShareOneEntryUntilTheLastIsFreed) {
  if (s_ == nullptr) return;
  TFontManager& manager = TFontManager::Instance();
  const int before = manager.Count();
  TGLSpaceText& a = AddText("1");
  auto* b = &AddText("2");
  auto* c = &AddText("3");
  s_->buffer->Render();
  ASSERT_NE(a.FontEntry(), nullptr);
  EXPECT_EQ(a.FontEntry(), b->FontEntry());
  EXPECT_EQ(a.FontEntry()->RefCount, 3);
  EXPECT_EQ(manager.Count(), before + 1);
  c->SetExtrusion(0.5f);  // a new entry on the next render; the old one is released
  s_->buffer->Render();
  EXPECT_NE(c->FontEntry(), a.FontEntry());
  EXPECT_EQ(a.FontEntry()->RefCount, 2);
  EXPECT_EQ(manager.Count(), before + 2);
  s_->scene->DestroyComponent(*c);
  s_->scene->DestroyComponent(*b);
  EXPECT_EQ(manager.Count(), before + 1);
  EXPECT_NE(a.FontEntry()->VirtualHandle->Handle(), 0u);
  s_->scene->DestroyComponent(a);
  EXPECT_EQ(manager.Count(), before);
}

TEST_F(SpaceTextGL, CharactersOutsideTheRangeAreSkipped) {
  if (s_ == nullptr) return;
  TGLSpaceText& digits = AddText(" A1");
  digits.SetCharacterRange(TSpaceTextCharRange::stcrNumbers);
  TGLSpaceText& one = AddText("1");
  one.SetCharacterRange(TSpaceTextCharRange::stcrNumbers);
  s_->buffer->Render();
  const float width = one.AxisAlignedDimensionsUnscaled()[0];
  EXPECT_GT(width, 0.1f);
  EXPECT_FLOAT_EQ(digits.AxisAlignedDimensionsUnscaled()[0], width);
}

TEST_F(SpaceTextGL, AHeightForALineWithNothingAboveTheBaseLineDrawsNothing) {
  if (s_ == nullptr) return;
  TGLSpaceText& text = AddText("_");
  text.SetTextHeight(1.0f);
  s_->buffer->Render();
  const TVector half = text.AxisAlignedDimensionsUnscaled();
  EXPECT_EQ(half[0], 0.0f);
  EXPECT_EQ(half[1], 0.0f);
  for (float x : {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f}) EXPECT_TRUE(Background(x, -0.05f));
}

}  // namespace
}  // namespace qira

// The shaped button: outlines of every kind, the mask and hit test that follow the
// shape, turning about a centre, property limits, and the face's pixels.
#include "widgets/ShapedButton.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <numbers>

#include "support/QtTestEnvironment.h"
#include "widgets/FormattedText.h"

namespace qira {
namespace {

TRect Bounds(const Tpoints& points) {
  TRect b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const TPoint& p : points) {
    b.Left = std::min(b.Left, p.X);
    b.Top = std::min(b.Top, p.Y);
    b.Right = std::max(b.Right, p.X);
    b.Bottom = std::max(b.Bottom, p.Y);
  }
  return b;
}

// ---- outlines

struct TOutlineCase {
  TShapedButtonKind kind;
  Tintegers counts;
  TRect bounds;
};

TEST(ButtonOutline, EveryKindHasItsVertexCountAndFillsItsFace) {
  // A 90 × 60 face with the default rim of 2 (D = 2).
  const TOutlineCase cases[] = {
      {bkRect, {4}, {0, 0, 90, 60}},
      {bkRoundRect, {20}, {0, 0, 90, 60}},
      {bkElliptic, {86}, {0, 0, 90, 60}},
      {bkPoly, {6}, {6, 0, 84, 60}},
      {bkPolyStar, {12}, {6, 0, 84, 60}},
      {bkDonut, {82, 82}, {0, 0, 90, 60}},
      {bkUser, {4}, {0, 0, 90, 60}},  // no user region yet: a rectangle
      {bkArrow, {7}, {0, 0, 90, 60}},
      {bkArrow1, {11}, {0, 0, 90, 60}},
      {bkArrow2, {11}, {0, 0, 90, 60}},
      {bkCross, {24}, {0, 0, 90, 60}},
      {bkCutRect, {6}, {0, 0, 90, 60}},
      {bkCross1, {20}, {0, 0, 90, 60}},
      {bkOval, {116}, {0, 0, 90, 60}},
  };
  for (const TOutlineCase& c : cases) {
    TShapeParams params;
    params.Kind = c.kind;
    params.Width = 90;
    params.Height = 60;
    const TShapeOutline out = ButtonOutline(params);
    EXPECT_EQ(out.Set.Counts, c.counts) << int(c.kind);
    EXPECT_EQ(Bounds(out.Set.Points), c.bounds) << int(c.kind);
    EXPECT_FALSE(out.ArcHeight.has_value()) << int(c.kind);
  }
}

TEST(ButtonOutline, DonutHoleIsAtLevelOne) {
  TShapeParams params{bkDonut, 90, 60};
  const TShapeOutline out = ButtonOutline(params);
  EXPECT_EQ(out.Set.Levels, Tintegers({0, 1}));
  EXPECT_EQ(Bounds(Tpoints(out.Set.Points.begin() + 82, out.Set.Points.end())), (TRect{23, 15, 67, 45}));
}

TEST(ButtonOutline, FourPointStarUsesInnerRatioOneThird) {
  TShapeParams params{bkPolyStar, 90, 60};
  params.PeaksNumber = 4;
  const TShapeOutline out = ButtonOutline(params);
  ASSERT_EQ(out.Set.Points.size(), 8u);
  EXPECT_EQ(out.Set.Points[0], (TPoint{45, 0}));
  // At 45 degrees on the ellipse scaled by 1/3: 45 + 45·0.707/3, 30 − 30·0.707/3.
  EXPECT_EQ(out.Set.Points[1], (TPoint{56, 23}));
}

TEST(ButtonOutline, ArcBandSetsItsHeight) {
  TShapeParams params{bkArc, 90, 60};
  const TShapeOutline out = ButtonOutline(params);
  // R = round(90 / (2 sin 60°)) = 52; height = round((1 − cos 60° · 0.5) · 52) = 39.
  ASSERT_TRUE(out.ArcHeight.has_value());
  EXPECT_EQ(*out.ArcHeight, 39);
  EXPECT_EQ(out.Set.Counts, Tintegers({45 + 22}));
}

TEST(ButtonOutline, NarrowArcIsARectangle) {
  TShapeParams params{bkArc, 90, 60};
  params.ArcAngle = 0.1;
  const TShapeOutline out = ButtonOutline(params);
  EXPECT_EQ(out.Set.Points, Tpoints({{0, 0}, {90, 0}, {90, 60}, {0, 60}}));
  EXPECT_FALSE(out.ArcHeight.has_value());
}

TEST(ButtonOutline, UserRegionIsScaledToTheFace) {
  TPolygonSet user{{{10, 10}, {30, 10}, {30, 20}, {10, 20}}, {4}, {0}};
  TShapeParams params{bkUser, 90, 60};
  params.User = &user;
  params.UserLeft = 10;
  params.UserTop = 10;
  params.UserWidth = 20;
  params.UserHeight = 10;
  EXPECT_EQ(ButtonOutline(params).Set.Points, Tpoints({{0, 0}, {90, 0}, {90, 60}, {0, 60}}));
}

TEST(ButtonGeometry, QuarterTurnSwapsTheBox) {
  EXPECT_EQ(RotatedExtent(90, 60, 900), (TSize{60, 90}));
  EXPECT_EQ(RotatedExtent(90, 60, 0), (TSize{90, 60}));
  EXPECT_EQ(RotatedExtent(100, 0, 450), (TSize{71, 71}));
}

// ---- the button

class ShapedButton : public ::testing::Test {
 protected:
  void SetUp() override {
    parent.resize(400, 400);
    button = new TShapedButton(&parent);
    button->move(100, 100);
    button->SetButtonWidth(90);
    button->SetButtonHeight(60);
  }
  TColor Pixel(int x, int y) { return PixelToColor(button->Render().pixel(x, y)); }

  QWidget parent;
  TShapedButton* button = nullptr;
};

TEST_F(ShapedButton, StartsWithTheDocumentedDefaults) {
  TShapedButton b;
  EXPECT_EQ(b.ButtonKind(), bkRect);
  EXPECT_EQ(b.Button3DKind(), dk3D);
  EXPECT_EQ(b.ButtonDepth(), 2);
  EXPECT_EQ(b.PeaksNumber(), 6);
  EXPECT_EQ(b.GradientAngle(), 450);
  EXPECT_EQ(b.ButtonColor(), clBtnFace);
  EXPECT_EQ(b.CaptionHAlign(), haCenter);
  EXPECT_EQ(b.BitmapHAlign(), haLeft);
  EXPECT_TRUE(b.ShowFocusRGN());
  EXPECT_TRUE(b.UserRGNAUTO());
  EXPECT_EQ(b.Font().Name, "Times New Roman");
  EXPECT_EQ(b.ButtonWidth(), b.width());
  EXPECT_EQ(b.ButtonHeight(), b.height());
}

TEST_F(ShapedButton, MaskAndHitTestFollowTheShape) {
  button->Render();
  EXPECT_TRUE(button->HitTest(1, 1));
  button->SetButtonKind(bkElliptic);
  button->Render();
  EXPECT_TRUE(button->HitTest(45, 30));
  EXPECT_FALSE(button->HitTest(2, 2));
  EXPECT_FALSE(button->HitTest(87, 57));
  EXPECT_TRUE(button->mask().contains(QPoint(45, 30)));
  EXPECT_FALSE(button->mask().contains(QPoint(2, 2)));
  button->SetButtonKind(bkDonut);
  button->Render();
  EXPECT_FALSE(button->HitTest(45, 30));  // the hole
  EXPECT_TRUE(button->HitTest(45, 5));
}

TEST_F(ShapedButton, UserRegionUsedAsIsBecomesTheMask) {
  button->SetButtonKind(bkUser);
  button->SetUserRGNAUTO(false);
  QRegion l = RectRegion({0, 0, 20, 60}) + RectRegion({0, 40, 90, 60});
  button->SetUserRegion(TRegion(l));
  button->Render();
  EXPECT_TRUE(button->HitTest(5, 5));
  EXPECT_FALSE(button->HitTest(50, 5));
  EXPECT_TRUE(button->HitTest(50, 50));
}

TEST_F(ShapedButton, StringRegionOfOddLengthIgnoresItsLastCharacter) {
  EXPECT_EQ(DecodeRegionString("Ax!\x01" "B"), std::vector<uint8_t>({'A', 129}));
  // A region whose bytes are all below 128, written with a filler character each.
  const std::vector<uint8_t> data = TRegion::FromRect({0, 0, 30, 20}).RegionData();
  std::string text;
  for (uint8_t b : data) {
    text.push_back(static_cast<char>(b));
    text.push_back('.');
  }
  button->SetButtonKind(bkUser);
  button->SetUserRGNAUTO(false);
  button->SetStringButtonRegion(text + "Z");
  button->Render();
  EXPECT_TRUE(button->HitTest(29, 19));
  EXPECT_FALSE(button->HitTest(31, 19));
}

TEST_F(ShapedButton, BrokenStringRegionHidesTheButtonInsteadOfFailing) {
  button->SetButtonKind(bkUser);
  button->SetUserRGNAUTO(false);
  button->SetStringButtonRegion("!!!!");
  button->Render();
  EXPECT_FALSE(button->HitTest(10, 10));
}

TEST_F(ShapedButton, TurningAboutTheFixedCentreKeepsTheControlCentre) {
  button->SetRotationCenterFixed(true);
  const QPoint centre = button->geometry().center();
  button->SetButtonAngle(900);
  EXPECT_EQ(button->width(), 60);
  EXPECT_EQ(button->height(), 90);
  EXPECT_NEAR(button->geometry().center().x(), centre.x(), 1);
  EXPECT_NEAR(button->geometry().center().y(), centre.y(), 1);
  EXPECT_TRUE(button->HitTest(30, 80));
}

TEST_F(ShapedButton, TurningAboutTheDefaultPointKeepsTheFaceCorner) {
  button->SetButtonAngle(900);
  // Where the face's top-left corner lies in the turned control.
  Tpoints corner{{0, 0}};
  RotatePolygons(corner, 45, 30, 900);
  const int x = button->x() + corner[0].X + (60 - 90) / 2;
  const int y = button->y() + corner[0].Y + (90 - 60) / 2;
  EXPECT_NEAR(x, 100, 1);
  EXPECT_NEAR(y, 100, 1);
}

TEST_F(ShapedButton, AnglesAreKeptInOneTurn) {
  const std::pair<int32_t, int32_t> cases[] = {{1900, -1700}, {1800, 1800}, {-1800, 1800}, {-1799, -1799}, {3700, 100}};
  for (auto [set, stored] : cases) {
    button->SetButtonAngle(0);
    button->SetButtonAngle(set);
    EXPECT_EQ(button->ButtonAngle(), stored) << set;
  }
}

TEST_F(ShapedButton, CaptionAndGradientTurnWithTheButtonWhenFixed) {
  button->SetCaptionFixed(true);
  button->SetGradientFixed(true);
  button->SetButtonAngle(300);
  EXPECT_EQ(button->CaptionAngle(), 300);
  EXPECT_EQ(button->GradientAngle(), 750);
}

TEST_F(ShapedButton, OutOfRangeValuesAreRefused) {
  button->SetPeaksNumber(2);
  button->SetPeaksNumber(21);
  EXPECT_EQ(button->PeaksNumber(), 6);
  button->SetPeaksNumber(20);
  EXPECT_EQ(button->PeaksNumber(), 20);
  button->SetMainBitmapGlyphs(0);
  button->SetMainBitmapGlyphs(5);
  EXPECT_EQ(button->MainBitmapGlyphs(), 1);
  button->SetRotatedAngle(1800);
  EXPECT_EQ(button->RotatedAngle(), 40);
  button->SetRotatedAngle(-1799);
  EXPECT_EQ(button->RotatedAngle(), -1799);
  button->SetArcAngle(0.01);
  EXPECT_DOUBLE_EQ(button->ArcAngle(), 2.0943951023931957);
  button->SetArcAngle(2 * std::numbers::pi);
  EXPECT_DOUBLE_EQ(button->ArcAngle(), 2 * std::numbers::pi);
  button->SetRadiusRatio(1.5);
  EXPECT_DOUBLE_EQ(button->RadiusRatio(), 0.5);
  button->SetButtonWidth(-1);
  EXPECT_EQ(button->ButtonWidth(), 90);
}

TEST_F(ShapedButton, CaptionTopSwitchesAlignmentOnlyAfterLoading) {
  button->SetCaptionTop(9);
  EXPECT_EQ(button->CaptionVAlign(), vaCenter);
  button->Loaded();
  button->SetCaptionTop(12);
  EXPECT_EQ(button->CaptionVAlign(), vaNone);
  button->SetCaptionLeft(3);
  EXPECT_EQ(button->CaptionHAlign(), haNone);
}

TEST_F(ShapedButton, EachAnimationKeepsItsOwnStripGlyphCountAndInterval) {
  using TStrip = const TBitmap& (TShapedButton::*)() const;
  using TNumber = int32_t (TShapedButton::*)() const;
  struct {
    void (TShapedButton::*setBitmap)(const TBitmap*);
    TStrip bitmap;
    void (TShapedButton::*setGlyphs)(int32_t);
    TNumber glyphs;
    void (TShapedButton::*setInterval)(int32_t);
    TNumber interval;
  } const animations[] = {
      {&TShapedButton::SetOnEnterBitmap, &TShapedButton::OnEnterBitmap, &TShapedButton::SetOnEnterGlyphs,
       &TShapedButton::OnEnterGlyphs, &TShapedButton::SetOnEnterInterval, &TShapedButton::OnEnterInterval},
      {&TShapedButton::SetOnExitBitmap, &TShapedButton::OnExitBitmap, &TShapedButton::SetOnExitGlyphs,
       &TShapedButton::OnExitGlyphs, &TShapedButton::SetOnExitInterval, &TShapedButton::OnExitInterval},
      {&TShapedButton::SetOnClickBitmap, &TShapedButton::OnClickBitmap, &TShapedButton::SetOnClickGlyphs,
       &TShapedButton::OnClickGlyphs, &TShapedButton::SetOnClickInterval, &TShapedButton::OnClickInterval},
  };
  TBitmap strip;
  strip.SetSize(30, 10);
  for (size_t i = 0; i < std::size(animations); ++i) {
    const auto& a = animations[i];
    EXPECT_TRUE((button->*a.bitmap)().Empty()) << i;
    EXPECT_EQ((button->*a.glyphs)(), 1) << i;
    EXPECT_EQ((button->*a.interval)(), 40) << i;
    (button->*a.setBitmap)(&strip);
    (button->*a.setGlyphs)(3);
    (button->*a.setGlyphs)(0);  // refused
    (button->*a.setInterval)(25 + static_cast<int32_t>(i));
    EXPECT_EQ((button->*a.bitmap)().Width(), 30) << i;
    EXPECT_EQ((button->*a.glyphs)(), 3) << i;
    EXPECT_EQ((button->*a.interval)(), 25 + static_cast<int32_t>(i)) << i;
    (button->*a.setBitmap)(nullptr);
    EXPECT_TRUE((button->*a.bitmap)().Empty()) << i;
  }
}

TEST_F(ShapedButton, TheRotateTimerRunsOnlyWhileRotatedAndTakesTheRotatedTime) {
  EXPECT_TRUE(button->RotateTimer().Suspended());
  EXPECT_EQ(button->RotateTimer().Interval(), 40);
  button->SetRotated(true);
  EXPECT_FALSE(button->RotateTimer().Suspended());
  button->SetRotatedTime(500);
  EXPECT_EQ(button->RotateTimer().Interval(), 500);
  EXPECT_FALSE(button->RotateTimer().Suspended());
  button->SetRotated(false);
  EXPECT_TRUE(button->RotateTimer().Suspended());
  button->SetRotatedTime(-1);  // refused
  EXPECT_EQ(button->RotateTimer().Interval(), 500);
}

TEST_F(ShapedButton, RotationTickAddsTheRotatedAngle) {
  button->SetRotatedAngle(100);
  button->RotationTick();
  button->RotationTick();
  EXPECT_EQ(button->ButtonAngle(), 200);
}

// Runs the event loop until done() holds or two seconds pass.
bool SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST_F(ShapedButton, RotatedTurnsTheButtonOnTheTimerUntilSwitchedOff) {
  button->SetRotatedAngle(100);
  button->SetRotatedTime(1);
  button->SetRotated(true);
  EXPECT_TRUE(SpinUntil([&] { return button->ButtonAngle() >= 300; }));
  button->SetRotated(false);
  const int32_t stopped = button->ButtonAngle();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 30) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(button->ButtonAngle(), stopped);
}

TEST_F(ShapedButton, ARotatingButtonIsDestroyedWithoutWaiting) {
  auto* turning = new TShapedButton(&parent);
  turning->SetRotatedTime(0);
  turning->SetRotated(true);
  EXPECT_TRUE(SpinUntil([&] { return turning->ButtonAngle() != 0; }));
  delete turning;
  QCoreApplication::processEvents();
}

TEST_F(ShapedButton, ArcKindTakesItsOwnHeight) {
  button->SetButtonKind(bkArc);
  EXPECT_EQ(button->ButtonHeight(), 39);
  EXPECT_EQ(button->height(), 39);
}

TEST_F(ShapedButton, UserResizeAtRestBecomesTheFaceSize) {
  parent.show();
  button->resize(120, 40);
  EXPECT_EQ(button->ButtonWidth(), 120);
  EXPECT_EQ(button->ButtonHeight(), 40);
}

// ---- face colours

TEST(FaceColours, LighterDarkerAndBlendSaturate) {
  EXPECT_EQ(LighterColor(MakeColor(10, 224, 223)), MakeColor(42, 255, 255));
  EXPECT_EQ(DarkerColor(MakeColor(31, 32, 200)), MakeColor(0, 0, 168));
  EXPECT_EQ(ColorBrightness(MakeColor(120, 120, 120)), 360);
  EXPECT_EQ(BlendColor(MakeColor(0, 100, 200), MakeColor(100, 0, 200), 4, 1), MakeColor(25, 75, 200));
  EXPECT_EQ(BlendColor(MakeColor(0, 100, 200), MakeColor(100, 0, 200), 0, 3), MakeColor(0, 100, 200));
  EXPECT_EQ(LighterColor(clBtnFace), LighterColor(ColorToRGB(clBtnFace)));
}

TEST_F(ShapedButton, RimIsLitTopLeftAndShadedBottomRight) {
  const TColor b = MakeColor(200, 0, 0);
  button->SetButtonColor(b);
  // A dark face (brightness 200): the frame is lighter twice.
  EXPECT_EQ(Pixel(45, 30), b);
  EXPECT_EQ(Pixel(1, 30), LighterColor(b));
  EXPECT_EQ(Pixel(45, 1), LighterColor(b));
  EXPECT_EQ(Pixel(88, 30), DarkerColor(b));
  EXPECT_EQ(Pixel(45, 58), DarkerColor(b));
  EXPECT_EQ(Pixel(0, 30), LighterColor(LighterColor(b)));
  EXPECT_EQ(Pixel(89, 30), LighterColor(LighterColor(b)));
}

TEST_F(ShapedButton, PressedButtonSwapsItsRimAndDisabledOneIsPaler) {
  const TColor b = MakeColor(100, 150, 200);  // light face: frames darker twice
  button->SetButtonColor(b);
  button->setDown(true);
  EXPECT_EQ(Pixel(1, 30), DarkerColor(b));
  EXPECT_EQ(Pixel(88, 30), LighterColor(b));
  EXPECT_EQ(Pixel(0, 30), DarkerColor(DarkerColor(b)));
  button->setDown(false);
  button->setEnabled(false);
  EXPECT_EQ(Pixel(45, 30), LighterColor(b));
  EXPECT_EQ(Pixel(1, 30), LighterColor(LighterColor(b)));
  EXPECT_EQ(Pixel(0, 30), DarkerColor(b));
}

TEST_F(ShapedButton, FlatKindDrawsNoRimUntilHot) {
  const TColor b = MakeColor(100, 150, 200);
  button->SetButtonColor(b);
  button->SetButton3DKind(dkFlatten);
  EXPECT_EQ(Pixel(1, 30), b);
  EXPECT_EQ(Pixel(0, 30), b);
}

TEST_F(ShapedButton, FocusFrameIsDrawnForTheFocusedButtonOnly) {
  const TColor b = MakeColor(100, 150, 200);
  button->SetButtonColor(b);
  button->SetButton3DKind(dkNone);
  EXPECT_EQ(Pixel(6, 30), b);
  button->SetButtonStyle(true);
  EXPECT_EQ(Pixel(6, 30), DarkerColor(DarkerColor(b)));  // inset by depth + 4
  button->SetShowFocusRGN(false);
  EXPECT_EQ(Pixel(6, 30), b);
}

TEST_F(ShapedButton, LinearGradientRunsFromTheFirstColourToTheSecond) {
  button->SetButton3DKind(dkNone);
  button->SetButtonColor(MakeColor(0, 0, 0));
  button->SetButtonColor1(MakeColor(240, 240, 240));
  button->SetGradientKind(gkLinear);
  button->SetGradientAngle(0);  // bands run across, first colour at the top
  const TColor top = Pixel(45, 1), bottom = Pixel(45, 58);
  EXPECT_LT(ColorRed(top), 20);
  EXPECT_GT(ColorRed(bottom), 220);
  EXPECT_EQ(Pixel(5, 30), Pixel(80, 30));
}

class ShapedButtonGlyph : public ShapedButton {
 protected:
  void SetUp() override {
    ShapedButton::SetUp();
    button->SetButton3DKind(dkNone);
    button->SetButtonColor(MakeColor(200, 200, 200));
    TBitmap glyph(4, 4);
    glyph.Canvas().SetBrush({MakeColor(0, 0, 255), bsSolid});
    glyph.Canvas().FillRect({0, 0, 4, 4});
    button->SetBitmapHAlign(haNone);
    button->SetBitmapVAlign(vaNone);
    button->SetBitmapLeft(10);
    button->SetBitmapTop(10);
    button->SetMainBitmap(&glyph);
  }
};

TEST_F(ShapedButtonGlyph, ShowsFrameZeroAtItsPlace) {
  EXPECT_EQ(Pixel(10, 10), MakeColor(0, 0, 255));
  EXPECT_EQ(Pixel(13, 13), MakeColor(0, 0, 255));
  EXPECT_EQ(Pixel(14, 14), MakeColor(200, 200, 200));
}

TEST_F(ShapedButtonGlyph, PressedButtonWithOneGlyphShiftsItByOnePixel) {
  button->setDown(true);
  // The frame's place stays; its content moves down and right within it.
  EXPECT_EQ(Pixel(10, 10), MakeColor(200, 200, 200));
  EXPECT_EQ(Pixel(11, 11), MakeColor(0, 0, 255));
  EXPECT_EQ(Pixel(13, 10), MakeColor(200, 200, 200));
}

TEST_F(ShapedButtonGlyph, DisabledButtonWithOneGlyphMergesItWithTheFace) {
  button->setEnabled(false);
  // Blue and-ed with the paler face colour (232, 232, 232).
  EXPECT_EQ(Pixel(11, 11), MakeColor(0, 0, 232));
}

TEST_F(ShapedButtonGlyph, TransparentGlyphLeavesOutItsKeyColour) {
  TBitmap glyph(4, 4);
  glyph.Canvas().SetBrush({MakeColor(0, 255, 0), bsSolid});
  glyph.Canvas().FillRect({0, 0, 4, 4});
  glyph.SetPixel(2, 2, MakeColor(255, 0, 0));
  button->SetMainBitmap(&glyph);
  button->SetTransparent(true);
  EXPECT_EQ(Pixel(10, 10), MakeColor(200, 200, 200));
  EXPECT_EQ(Pixel(12, 12), MakeColor(255, 0, 0));
}

TEST_F(ShapedButton, CaptionIsDrawnInTheFontColour) {
  button->SetButton3DKind(dkNone);
  button->SetButtonColor(MakeColor(255, 255, 255));
  TFont font = button->Font();
  font.Name = PinnedFontFace();
  font.Height = -20;
  font.Color = MakeColor(0, 0, 0);
  button->SetFont(font);
  button->setText(QStringLiteral("MM"));
  const QImage& image = button->Render();
  int dark = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) dark += PixelToColor(image.pixel(x, y)) == clBlack ? 1 : 0;
  }
  EXPECT_GT(dark, 20);
  // "&&" shows one ampersand, as a caption of just "&" would not.
  button->setText(QStringLiteral("&&"));
  const QImage doubled = button->Render().copy();
  button->setText(QStringLiteral("&"));
  const QImage single = button->Render().copy();
  EXPECT_NE(doubled, single);
}

}  // namespace
}  // namespace qira

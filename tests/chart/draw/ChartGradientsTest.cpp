#include "chart/draw/ChartGradients.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "chart/draw/ChartTestSupport.h"

namespace qira {
namespace {

using test::ChartSurface;

TColor Gray(int v) { return MakeColor(v, v, v); }

TEST(ChartColorHelpers, DarkenAndBrightenClampEachChannel) {
  EXPECT_EQ(DarkenColor(MakeColor(10, 200, 255), 64), MakeColor(0, 136, 191));
  EXPECT_EQ(ApplyBright(MakeColor(10, 200, 255), 64), MakeColor(74, 255, 255));
  EXPECT_EQ(GrayColor(MakeColor(30, 60, 90)), Gray(60));
}

TEST(ChartGradientFill, BandsLandOnTheExpectedPixels) {
  struct Row {
    const char* name;
    TRect rect;
    TGradientDirection direction;
    int32_t balance;
    int32_t x, y;
    TColor expected;
  } rows[] = {
      {"top-bottom: first colour in the bottom row", {0, 0, 10, 300}, gdTopBottom, 50, 5, 299, Gray(0)},
      {"top-bottom: second colour in the top band", {0, 0, 10, 300}, gdTopBottom, 50, 5, 0, Gray(255)},
      {"top-bottom: band 128 halfway", {0, 0, 10, 300}, gdTopBottom, 50, 5, 149, Gray(128)},
      {"bottom-top: colours exchanged", {0, 0, 10, 300}, gdBottomTop, 50, 5, 299, Gray(255)},
      {"left-right: first colour at the right edge", {0, 0, 256, 4}, gdLeftRight, 50, 255, 1, Gray(0)},
      {"left-right: second colour at the left edge", {0, 0, 256, 4}, gdLeftRight, 50, 0, 1, Gray(255)},
      {"balance 80 bends the ramp", {0, 0, 10, 256}, gdTopBottom, 80, 5, 127, Gray(80)},
      {"diagonal down: first colour top-left", {0, 0, 20, 20}, gdDiagonalDown, 50, 0, 0, Gray(0)},
      {"diagonal up: first colour bottom-left", {0, 0, 20, 20}, gdDiagonalUp, 50, 0, 19, Gray(0)},
      {"from centre: first colour in the middle", {0, 0, 21, 21}, gdFromCenter, 50, 10, 10, Gray(0)},
      {"from centre: second colour at the edge", {0, 0, 21, 21}, gdFromCenter, 50, 0, 0, Gray(255)},
      {"from top-left: second colour at the corner", {0, 0, 20, 20}, gdFromTopLeft, 50, 0, 0, Gray(255)},
      {"radial: the smallest ring at the centre", {0, 0, 41, 41}, gdRadial, 50, 21, 21, Gray(12)},
      {"radial: end colour in the corner", {0, 0, 41, 41}, gdRadial, 50, 0, 0, Gray(255)},
  };
  for (const Row& row : rows) {
    TBitmap bitmap(row.rect.Right, row.rect.Bottom);
    FillGradientRect(bitmap.Canvas(), row.rect, Gray(0), Gray(255), row.direction, row.balance);
    EXPECT_EQ(bitmap.Pixel(row.x, row.y), row.expected) << row.name;
  }
}

TEST(ChartGradientFill, DegenerateRectanglesAndBalancesGiveADefinedResult) {
  TBitmap bitmap(4, 4);
  FillGradientRect(bitmap.Canvas(), TRect{0, 0, 4, 1}, clBlack, clBlack, gdTopBottom);  // one band: nothing
  EXPECT_EQ(bitmap.Pixel(0, 0), clWhite);
  FillGradientRect(bitmap.Canvas(), TRect{1, 1, 2, 2}, clBlack, clRed, gdRadial);  // zero steps
  EXPECT_EQ(bitmap.Pixel(1, 1), clRed);
  FillGradientRect(bitmap.Canvas(), TRect{0, 0, 0, 0}, clBlack, clRed, gdFromCenter);
  EXPECT_EQ(GradientStepColor(clBlack, clWhite, 0, 0, 50), clBlack);
  // Extreme balances bend the ramp to one end or the other; the channels saturate
  // instead of wrapping. Four bands, the first colour at the bottom.
  struct Row {
    int32_t balance;
    TColor step3of10, topBand, bottomBand;
  } rows[] = {
      {-1000, clWhite, clWhite, clWhite},
      {1000, clBlack, clWhite, clBlack},
      {INT32_MIN, clWhite, clWhite, clWhite},
      {INT32_MAX, clBlack, clWhite, clBlack},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(GradientStepColor(clBlack, clWhite, 3, 10, row.balance), row.step3of10) << row.balance;
    FillGradientRect(bitmap.Canvas(), TRect{0, 0, 4, 4}, clBlack, clWhite, gdTopBottom, row.balance);
    EXPECT_EQ(bitmap.Pixel(2, 0), row.topBand) << row.balance;
    EXPECT_EQ(bitmap.Pixel(2, 3), row.bottomBand) << row.balance;
  }
}

// The corner gradients: round k paints an L of column k and row k (counted from the
// corner); the column counter stops at the last column, the row counter at the last
// row, and the colour step is their sum out of N = w + h.
TEST(ChartGradientFill, CornerGradientsRampOverTheWholeRectangle) {
  struct Row {
    int32_t w, h;
    TGradientDirection direction;
  } rows[] = {{40, 10, gdFromTopLeft}, {40, 10, gdFromBottomLeft}, {10, 40, gdFromTopLeft}, {10, 40, gdFromBottomLeft}};
  for (const Row& row : rows) {
    TBitmap bitmap(row.w, row.h);
    // The colours are exchanged for these directions: the corner shows the second one.
    // Second 250, first 0: step s of N is 250 − 250 · s div N.
    FillGradientRect(bitmap.Canvas(), TRect{0, 0, row.w, row.h}, Gray(0), Gray(250), row.direction);
    const int32_t n = row.w + row.h;
    for (int32_t y = 0; y < row.h; ++y) {
      const int32_t fromCorner = row.direction == gdFromTopLeft ? y : row.h - 1 - y;
      for (int32_t x = 0; x < row.w; ++x) {
        const int32_t round = std::max(x, fromCorner);
        const int32_t step = std::min(round, row.w - 1) + std::min(round, row.h - 1);
        ASSERT_EQ(bitmap.Pixel(x, y), Gray(250 - 250 * step / n))
            << row.w << "x" << row.h << " direction " << row.direction << " at " << x << "," << y;
      }
    }
  }
}

TEST(ChartGradient, MiddleColourSplitsTheRampInTwoHalves) {
  ChartSurface s(10, 100);
  TChartGradient g;
  g.SetVisible(true);
  g.SetStartColor(clRed);
  g.SetMidColor(clLime);
  g.SetEndColor(clBlue);
  g.Draw(s.canvas, TRect{0, 0, 10, 100});
  EXPECT_EQ(s.At(5, 99), clRed);
  EXPECT_EQ(s.At(5, 50), clLime);
  EXPECT_EQ(s.At(5, 0), clBlue);
}

TEST(ChartGradient, MidColorNoneSwitchesTheMiddleOff) {
  TChartGradient g;
  g.SetMidColor(clRed);
  EXPECT_TRUE(g.HasMidColor());
  g.SetMidColor(clNone);
  EXPECT_FALSE(g.HasMidColor());
  EXPECT_EQ(g.MidColor(), clNone);
  TStreamedProperties block;
  g.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "MidColor"), nullptr);
}

TEST(ChartGradient, AssignFreesASubGradientTheSourceLacks) {
  TChartGradient withSub, without;
  withSub.SubGradient().SetTransparency(70);
  TChartGradient target;
  target.Assign(withSub);
  ASSERT_NE(target.SubGradientIfAny(), nullptr);
  EXPECT_EQ(target.SubGradientIfAny()->Transparency(), 70);
  target.Assign(without);
  EXPECT_EQ(target.SubGradientIfAny(), nullptr);
}

// Visible, at the angle, from start to end.
void Show(TCustomChartGradient& g, int32_t angle, TColor start, TColor end) {
  g.SetVisible(true);
  g.SetAngle(angle);
  g.SetStartColor(start);
  g.SetEndColor(end);
}

TEST(ChartGradient, AnAngledGradientStaysInsideItsRectangle) {
  InstallChartFills();
  ChartSurface s(60, 60);
  TChartGradient g;
  Show(g, 30, clRed, clBlue);
  s.Device().SetPenStyle(psClear);
  g.Draw(s.canvas, TRect{10, 10, 50, 50});
  EXPECT_EQ(s.Ink(), (TRect{10, 10, 50, 50}));
  EXPECT_NE(s.At(30, 30), clWhite);
}

// The sub-gradient is part of the gradient: an angle turns both together.
TEST(ChartGradient, AnAngleTurnsTheSubGradientWithTheGradient) {
  InstallChartFills();
  const struct {
    int32_t angle;
    bool redAtTop;  // the opaque sub-gradient runs red (bottom) to blue (top) unturned
  } table[] = {{0, false}, {180, true}};
  for (const auto& row : table) {
    ChartSurface s(60, 60);
    TChartGradient g;
    Show(g, row.angle, clLime, clLime);
    Show(g.SubGradient(), 0, clRed, clBlue);
    g.SubGradient().SetTransparency(0);
    s.Device().SetPenStyle(psClear);
    g.Draw(s.canvas, TRect{10, 10, 50, 50});
    const TColor top = s.At(30, 13), bottom = s.At(30, 46);
    EXPECT_EQ(ColorRed(top) > ColorBlue(top), row.redAtTop) << row.angle;
    EXPECT_EQ(ColorRed(bottom) > ColorBlue(bottom), !row.redAtTop) << row.angle;
    EXPECT_LT(ColorGreen(top), 128) << row.angle;  // the sub-gradient covers the lime
  }
}

TEST(ChartBlend, TransparencyMixesTheNewDrawingWithTheOld) {
  struct Row {
    int32_t transparency;
    TColor expected;
  } rows[] = {{0, Gray(0)}, {100, Gray(200)}, {50, Gray(100)}};
  for (const Row& row : rows) {
    ChartSurface s(20, 20);
    s.Device().SetBrush(TBrush{Gray(200), bsSolid});
    s.Device().FillRect(TRect{0, 0, 20, 20});
    TChartBlend blend(s.canvas, TRect{2, 2, 12, 12});
    s.Device().SetBrush(TBrush{Gray(0), bsSolid});
    s.Device().FillRect(TRect{0, 0, 20, 20});
    blend.DoBlend(row.transparency);
    EXPECT_EQ(s.At(5, 5), row.expected) << row.transparency;
    EXPECT_EQ(s.At(15, 15), Gray(0));
  }
}

TEST(ChartBlend, ARectangleLargerThanTheSurfaceIsClipped) {
  ChartSurface s(20, 20);
  s.Device().SetBrush(TBrush{Gray(200), bsSolid});
  s.Device().FillRect(TRect{0, 0, 20, 20});
  TChartBlend huge(s.canvas, TRect{-50, -50, 5000, 5000});
  EXPECT_TRUE(huge.Valid());
  EXPECT_EQ(huge.Rect(), (TRect{0, 0, 20, 20}));
  s.Device().SetBrush(TBrush{Gray(0), bsSolid});
  s.Device().FillRect(TRect{0, 0, 20, 20});
  huge.DoBlend(50);
  EXPECT_EQ(s.At(0, 0), Gray(100));
  EXPECT_EQ(s.At(19, 19), Gray(100));

  TChartBlend outside(s.canvas, TRect{30, 30, 40, 40});
  EXPECT_FALSE(outside.Valid());
  outside.DoBlend(50);
  EXPECT_EQ(s.Count(Gray(100)), 400);

  // A saved picture larger than the room left in the target covers only that room.
  QImage saved(10, 10, QImage::Format_RGB32);
  saved.fill(QColor(200, 200, 200));
  QImage target(4, 4, QImage::Format_RGB32);
  target.fill(QColor(0, 0, 0));
  BlendImages(saved, target, 2, 2, 50);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x)
      EXPECT_EQ(qGray(target.pixel(x, y)), x >= 2 && y >= 2 ? 100 : 0) << x << "," << y;
}

TEST(ChartBlend, APureWhiteTargetPixelLosesOneStepOfRedFirst) {
  struct Row {
    const char* name;
    QColor saved, target;
    int32_t transparency;
    QColor expected;
  } rows[] = {
      {"white over white, 50 %", Qt::white, Qt::white, 50, QColor(254, 255, 255)},
      {"white over white, 0 %", Qt::white, Qt::white, 0, QColor(254, 255, 255)},
      {"black over white, 50 %", Qt::black, Qt::white, 50, QColor(127, 128, 128)},
      {"white over a near white, 50 %", Qt::white, QColor(255, 255, 254), 50, QColor(255, 255, 254)},
      {"black over black, 50 %", Qt::black, Qt::black, 50, QColor(0, 0, 0)},
  };
  for (const Row& row : rows) {
    QImage saved(2, 2, QImage::Format_RGB32);
    saved.fill(row.saved);
    QImage target(2, 2, QImage::Format_RGB32);
    target.fill(row.target);
    BlendImages(saved, target, 0, 0, row.transparency);
    EXPECT_EQ(QColor(target.pixel(1, 1)), row.expected) << row.name;
  }
}

TEST(ChartShadow, ShadowOfSizeZeroDrawsNothing) {
  ChartSurface s(30, 30);
  TChartShadow shadow;
  shadow.SetColor(clBlack);
  shadow.DrawRect(s.canvas, TRect{5, 5, 20, 20});
  shadow.DrawEllipse(s.canvas, TRect{5, 5, 20, 20});
  EXPECT_EQ(s.Ink(), TRect{});
}

TEST(ChartShadow, FadingBandGrowsLighterAndABandOfNoLinesIsSkipped) {
  ChartSurface s(40, 40);
  TChartShadow shadow;
  shadow.SetColor(clBlack);
  shadow.SetVertSize(3);  // HorizSize 0: a right band of no lines
  shadow.DrawRect(s.canvas, TRect{5, 5, 20, 20});
  EXPECT_EQ(s.At(10, 20), clBlack);
  EXPECT_EQ(s.At(10, 21), Gray(85));
  EXPECT_EQ(s.At(10, 22), Gray(170));
  EXPECT_EQ(s.At(20, 10), clWhite);
}

TEST(ChartShadow, PlainShadowIsTheShapeMoved) {
  ChartSurface s(40, 40);
  TChartShadow shadow;
  shadow.SetColor(clBlack);
  shadow.SetSmooth(false);
  shadow.SetSize(4);
  shadow.DrawRect(s.canvas, TRect{5, 5, 20, 20});
  EXPECT_EQ(s.Ink().Left, 9);
  EXPECT_EQ(s.Ink().Top, 9);
}

TEST(ChartShadow, SmoothShadowOnABufferedCanvasIsBlurred) {
  EnsureTestApplication();
  TBitmap screen(60, 60);
  TChartCanvas3D canvas(&screen.Canvas());
  const TRect drawing = canvas.InitWindow(screen.Canvas(), nullptr, TRect{0, 0, 60, 60}, false);
  ASSERT_EQ(drawing, (TRect{0, 0, 60, 60}));
  canvas.Buffer()->Canvas().SetBrush(TBrush{clWhite, bsSolid});
  canvas.Buffer()->Canvas().FillRect(drawing);
  TChartShadow shadow;
  shadow.SetColor(clBlack);
  shadow.SetSize(4);
  shadow.DrawRect(canvas, TRect{10, 10, 40, 40});
  const TBitmap& buffer = *canvas.Buffer();
  EXPECT_EQ(buffer.Pixel(30, 30), clBlack);  // deep inside the moved shape
  const int edge = ColorRed(buffer.Pixel(44, 30));
  EXPECT_GT(edge, 0);  // the edge is soft
  EXPECT_LT(edge, 255);
  EXPECT_EQ(buffer.Pixel(2, 2), clWhite);
}

TEST(ChartFont, TheShadowTheCanvasReadsFollowsSettingsReadBack) {
  TChartFont font;
  const IChartFont& asCanvasSees = font;
  EXPECT_EQ(asCanvasSees.Shadow(), nullptr);  // asking does not make one
  font.Shadow().SetHorizSize(2);
  EXPECT_EQ(asCanvasSees.Shadow()->HorizSize, 2);
  TStreamedProperties block;
  AddInteger(block, "Shadow.HorizSize", 5);
  AddInteger(block, "Shadow.Transparency", 40);
  font.ReadProperties(block);
  EXPECT_EQ(asCanvasSees.Shadow()->HorizSize, 5);
  EXPECT_EQ(asCanvasSees.Shadow()->Transparency, 40);
  TStreamedProperties bad;
  AddInteger(bad, "Shadow.Transparency", 400);
  EXPECT_THROW(font.ReadProperties(bad), EChartStreamError);
  EXPECT_EQ(asCanvasSees.Shadow()->Transparency, 40);
}

TEST(ChartFont, AssignCopiesPartsAndFreesThoseTheSourceLacks) {
  TChartFont source, target;
  source.SetColor(clRed);
  source.Gradient().SetVisible(true);
  source.SetInterCharSize(2);
  target.Shadow().SetSize(3);
  target.Assign(source);
  EXPECT_EQ(target.Color(), clRed);
  EXPECT_EQ(target.InterCharSize(), 2);
  const IChartFont& t = target;
  ASSERT_NE(t.Gradient(), nullptr);
  EXPECT_TRUE(t.Gradient()->Visible());
  EXPECT_EQ(t.Shadow(), nullptr);
  EXPECT_EQ(target.Name(), "Arial");
  EXPECT_EQ(target.Size(), 8);
}

}  // namespace
}  // namespace qira

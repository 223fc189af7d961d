#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "chart/draw/ChartTestSupport.h"

namespace qira {
namespace {

using test::ChartSurface;
using test::FakeChartFont;
using test::PinnedChartFont;

constexpr TColor kRed = clRed;

// Whether a pixel of that colour lies within one pixel of (x, y).
bool Near(const ChartSurface& s, int32_t x, int32_t y, TColor c) {
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx)
      if (s.At(x + dx, y + dy) == c) return true;
  return false;
}

// ---- GDI pixel rules through the chart canvas ----

struct PixelCase {
  const char* shape;
  int32_t x, y;
  TColor expected;
};

void CheckPixels(const ChartSurface& s, std::initializer_list<PixelCase> cases) {
  for (const PixelCase& c : cases) EXPECT_EQ(s.At(c.x, c.y), c.expected) << c.shape << " at " << c.x << "," << c.y;
}

TEST(GdiChartCanvasPixels, LinesSkipTheirLastPixel) {
  ChartSurface s(20, 20);
  s.canvas.Line(2, 5, 8, 5);
  s.canvas.DoVertLine(12, 2, 6);
  s.canvas.Line(0, 10, 4, 14);
  CheckPixels(s, {{"horizontal first", 2, 5, clBlack}, {"horizontal", 7, 5, clBlack}, {"horizontal end", 8, 5, clWhite},
                  {"vertical", 12, 5, clBlack},        {"vertical end", 12, 6, clWhite},
                  {"diagonal", 3, 13, clBlack},        {"diagonal end", 4, 14, clWhite}});
}

TEST(GdiChartCanvasPixels, PolygonsAndRectanglesFillInsideTheirOutline) {
  ChartSurface s(30, 30);
  s.Device().SetBrush(TBrush{kRed, bsSolid});
  const TPoint triangle[] = {{0, 0}, {20, 0}, {0, 20}};
  s.canvas.Polygon(triangle);
  s.canvas.Rectangle(22, 22, 28, 28);
  CheckPixels(s, {{"triangle edge", 10, 0, clBlack}, {"triangle inside", 4, 4, kRed}, {"triangle outside", 15, 15, clWhite},
                  {"rectangle corner", 22, 22, clBlack}, {"rectangle right edge", 27, 25, clBlack},
                  {"rectangle right excluded", 28, 25, clWhite}, {"rectangle inside", 25, 25, kRed}});
}

// Ellipse box (0, 0, 21, 21): centre (10, 10), radius 10. Rays at 0 and 90 degrees.
TEST(GdiChartCanvasPixels, ArcsAndPiesRunCounterClockwiseBetweenTheirRays) {
  ChartSurface arc(24, 24), pie(24, 24), chord(24, 24), angles(24, 24);
  arc.canvas.Arc(0, 0, 21, 21, 25, 10, 10, -5);
  pie.Device().SetBrush(TBrush{kRed, bsSolid});
  pie.canvas.Pie(0, 0, 21, 21, 25, 10, 10, -5);
  chord.Device().SetBrush(TBrush{kRed, bsSolid});
  chord.Device().Chord(0, 0, 21, 21, 25, 10, 10, -5);
  angles.canvas.ArcAngles(0, 0, 21, 21, 0, 90);
  for (ChartSurface* s : {&arc, &angles}) {
    CheckPixels(*s, {{"arc start", 20, 10, clBlack}, {"arc end", 10, 0, clBlack}, {"opposite side", 0, 10, clWhite},
                     {"lower half", 17, 17, clWhite}, {"centre", 10, 10, clWhite}});
    EXPECT_TRUE(Near(*s, 17, 3, clBlack)) << "the arc passes 45 degrees";
  }
  CheckPixels(pie, {{"pie centre on its radii", 10, 10, clBlack}, {"pie inside", 14, 6, kRed},
                    {"pie other quadrant", 6, 6, clWhite}, {"pie lower half", 14, 14, clWhite}});
  CheckPixels(chord, {{"chord segment", 16, 4, kRed}, {"chord cut off", 13, 8, clWhite},
                      {"chord start", 20, 10, clBlack}});
}

TEST(GdiChartCanvasPixels, RoundRectanglesCutTheirCorners) {
  ChartSurface s(30, 20);
  s.Device().SetBrush(TBrush{kRed, bsSolid});
  s.canvas.RoundRect(0, 0, 30, 16, 10, 10);
  CheckPixels(s, {{"corner cut", 0, 0, clWhite}, {"corner cut", 29, 15, clWhite}, {"top edge", 15, 0, clBlack},
                  {"left edge", 0, 8, clBlack}, {"right edge", 29, 8, clBlack}, {"bottom edge", 15, 15, clBlack},
                  {"inside", 15, 8, kRed}, {"below", 15, 16, clWhite}});
}

TEST(GdiChartCanvasText, TurnedTextRunsUpwardFromItsPoint) {
  ChartSurface flat(200, 200), turned(200, 200), reduced(200, 200), infinite(200, 200);
  const std::string text = "HHHHHH";
  flat.canvas.RotateLabel(60, 100, text, 0);
  turned.canvas.RotateLabel(60, 100, text, 90);
  reduced.canvas.RotateLabel(60, 100, text, 450);
  infinite.canvas.RotateLabel(60, 100, text, std::numeric_limits<double>::infinity());
  const int32_t w = flat.canvas.TextWidth(text), h = flat.canvas.TextHeight(text);
  const TRect f = flat.Ink(), t = turned.Ink();
  EXPECT_GE(f.Left, 60);
  EXPECT_LE(f.Right, 60 + w + 1);
  EXPECT_GE(f.Top, 100);
  EXPECT_LE(f.Bottom, 100 + h + 1);
  // Turned by 90 degrees counter-clockwise: the advance runs up, the cell's depth right.
  EXPECT_GE(t.Left, 59);
  EXPECT_LE(t.Right, 60 + h + 1);
  EXPECT_GE(t.Top, 100 - w - 1);
  EXPECT_LE(t.Bottom, 101);
  EXPECT_GT(t.Bottom - t.Top, 3 * (t.Right - t.Left) / 2);
  EXPECT_EQ(reduced.bitmap.Image(), turned.bitmap.Image());
  EXPECT_EQ(infinite.Ink(), TRect{});
}

TEST(GdiChartCanvasText, ANegativeShadowMovesTheTextAndLeavesTheShadowAtThePoint) {
  ChartSurface s(200, 100);
  FakeChartFont font(PinnedChartFont(-20));
  font.shadow = TChartTextShadow{true, clBlue, -2, -2, 0, false, 0};
  s.canvas.AssignFont(font);
  s.canvas.TextOut(20, 20, "I");
  const TRect shadow = s.Ink(test::kAll, clBlue), text = s.Ink(test::kAll, clBlack);
  ASSERT_FALSE(text.IsEmpty());
  EXPECT_EQ(text.Left - shadow.Left, 2);
  EXPECT_EQ(text.Top - shadow.Top, 2);
  EXPECT_EQ(s.canvas.TextWidth("I"), s.Device().TextWidth("I") + 2);
}

TEST(GdiChartCanvasText, AFontWithoutColourAndWithAnOutlineDrawsOnlyTheOutline) {
  const auto draw = [](ChartSurface& s, TColor colour) {
    TFont f = PinnedChartFont(-60);
    f.Style = fsBold;
    f.Color = colour;
    FakeChartFont font(f);
    font.outline.emplace();
    font.outline->SetColor(kRed);
    s.canvas.AssignFont(font);
    s.canvas.TextOut(10, 10, "I");
  };
  ChartSurface filled(100, 100), outlined(100, 100);
  draw(filled, clBlack);
  draw(outlined, clNone);
  const TRect ink = outlined.Ink();
  ASSERT_FALSE(ink.IsEmpty());
  const TPoint middle{(ink.Left + ink.Right) / 2, (ink.Top + ink.Bottom) / 2};
  EXPECT_EQ(filled.At(middle.X, middle.Y), clBlack);
  EXPECT_EQ(outlined.At(middle.X, middle.Y), clWhite);
  EXPECT_GT(outlined.Count(kRed), 20);
  EXPECT_EQ(outlined.Count(clBlack), 0);
}

// A gradient stand-in that fills its rectangle in one colour.
struct FlatGradient : IChartGradient {
  bool Visible() const override { return true; }
  void Draw(TChartCanvas& canvas, const TRect& rect, int32_t) override {
    canvas.GetHandle()->SetBrush(TBrush{clBlue, bsSolid});
    canvas.FillRect(rect);
  }
};

struct GradientFont : FakeChartFont {
  using FakeChartFont::FakeChartFont;
  IChartGradient* Gradient() const override { return &gradient; }
  mutable FlatGradient gradient;
};

TEST(GdiChartCanvasText, AGradientFillsOnlyTheLetters) {
  TFont f = PinnedChartFont(-60);
  f.Style = fsBold;
  ChartSurface plain(100, 100), graded(100, 100);
  FakeChartFont plainFont(f);
  GradientFont gradientFont(f);
  plain.canvas.AssignFont(plainFont);
  plain.canvas.TextOut(10, 10, "T");
  graded.canvas.AssignFont(gradientFont);
  graded.canvas.TextOut(10, 10, "T");
  EXPECT_GT(graded.Count(clBlue), plain.Count(clBlack) * 3 / 4);
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x)
      if (graded.At(x, y) == clBlue) {
        EXPECT_TRUE(Near(plain, x, y, clBlack)) << x << "," << y;
      }
}

TEST(GdiChartCanvasBrushes, ABrushPictureTilesFromTheOrigin) {
  ChartSurface s(10, 10);
  QImage tile(2, 2, QImage::Format_RGB32);
  tile.fill(ColorToPixel(kRed));
  tile.setPixel(1, 1, ColorToPixel(clBlue));
  TChartBrush brush;
  brush.Image().SetGraphic(std::make_unique<TBitmapGraphic>(tile));
  s.canvas.AssignBrush(brush, clNone);
  s.canvas.FillRect({1, 1, 9, 9});
  CheckPixels(s, {{"tile", 2, 2, kRed}, {"tile", 3, 3, clBlue}, {"tile", 4, 7, kRed}, {"outside", 0, 0, clWhite}});
}

// ---- pens ----

TEST(GdiChartCanvasPens, HiddenPenIsClearAndKeepsItsColour) {
  ChartSurface s(10, 10);
  s.Device().SetPen(TPen{kRed, 1, psSolid, pmCopy});
  TChartHiddenPen hidden;
  hidden.SetColor(clBlue);
  s.canvas.AssignPen(hidden);
  EXPECT_EQ(s.Device().Pen().Style, psClear);
  EXPECT_EQ(s.Device().Pen().Color, kRed);
}

TEST(GdiChartCanvasPens, SmallDotsLeaveTheirGaps) {
  const struct {
    int32_t space;
    int32_t period;
  } table[] = {{0, 2}, {1, 3}, {2, 4}};
  for (const auto& row : table) {
    ChartSurface s(40, 3);
    TChartPen pen;
    pen.SetSmallDots(true);
    pen.SetSmallSpace(row.space);
    s.canvas.AssignPen(pen);
    s.canvas.Line(0, 1, 40, 1);
    for (int32_t x = 0; x < 24; ++x)
      EXPECT_EQ(s.At(x, 1), x % row.period == 0 ? clBlack : clWhite) << "space " << row.space << " x " << x;
  }
}

// A line of width 8 from (10, 10) to (30, 10): its ends by the pen's end style.
TEST(GdiChartCanvasPens, WidePenEndsFollowTheEndStyle) {
  const struct {
    TPenEndStyle style;
    TColor beforeStart;   // (8, 10): inside a round or square end, not a flat one
    TColor outerCorner;   // (7, 7): only a square end reaches it
  } table[] = {{esRound, clBlack, clWhite}, {esSquare, clBlack, clBlack}, {esFlat, clWhite, clWhite}};
  for (const auto& row : table) {
    ChartSurface s(40, 20);
    TChartPen pen;
    pen.SetWidth(8);
    pen.SetEndStyle(row.style);
    s.canvas.AssignPen(pen);
    s.canvas.Line(10, 10, 30, 10);
    EXPECT_EQ(s.At(8, 10), row.beforeStart) << int(row.style);
    EXPECT_EQ(s.At(7, 7), row.outerCorner) << int(row.style);
    EXPECT_EQ(s.At(20, 7), clBlack) << int(row.style);
  }
  // Mitred corners (flat ends) reach the corner point; bevelled ones (square ends) cut it.
  for (const auto& [style, corner] : {std::pair{esFlat, clBlack}, std::pair{esSquare, clWhite}}) {
    ChartSurface s(60, 60);
    TChartPen pen;
    pen.SetWidth(8);
    pen.SetEndStyle(style);
    s.canvas.AssignPen(pen);
    const TPoint path[] = {{10, 40}, {40, 40}, {40, 10}};
    s.canvas.Polyline(path);
    EXPECT_EQ(s.At(43, 43), corner) << int(style);
  }
}

// ---- clipping ----

TEST(GdiChartCanvasClipping, UnclipRestoresTheRegionBeforeTheLastClip) {
  ChartSurface s(20, 20);
  s.canvas.ClipRectangle({0, 0, 10, 20});
  s.canvas.ClipRectangle({0, 0, 20, 5});
  s.canvas.UnClipRectangle();
  s.Device().SetBrush(TBrush{kRed, bsSolid});
  s.canvas.FillRect({0, 0, 20, 20});
  EXPECT_EQ(s.Ink(), (TRect{0, 0, 10, 20}));
  s.canvas.UnClipRectangle();
  s.canvas.FillRect({0, 0, 20, 20});
  EXPECT_EQ(s.Ink(), (TRect{0, 0, 20, 20}));
}

TEST(GdiChartCanvasClipping, InvertedShapesCutThemselvesOut) {
  const struct {
    const char* name;
    TRect ellipse;  // as given, corners possibly reversed
    TColor centre;
  } table[] = {
      {"inverted ellipse", {4, 4, 16, 16}, clWhite},
      {"inverted ellipse with reversed corners", {16, 16, 4, 4}, clWhite},
      {"inverted empty ellipse cuts nothing", {8, 8, 8, 8}, kRed},
  };
  for (const auto& row : table) {
    ChartSurface s(20, 20);
    s.canvas.ClipEllipse(row.ellipse, true);
    s.Device().SetBrush(TBrush{kRed, bsSolid});
    s.canvas.FillRect({0, 0, 20, 20});
    EXPECT_EQ(s.At(10, 10), row.centre) << row.name;
    EXPECT_EQ(s.At(0, 0), kRed) << row.name;
  }
  ChartSurface p(20, 20);
  const TPoint square[] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
  p.canvas.ClipPolygon(square, true);
  p.Device().SetBrush(TBrush{kRed, bsSolid});
  p.canvas.FillRect({0, 0, 20, 20});
  EXPECT_EQ(p.At(10, 10), clWhite);
  EXPECT_EQ(p.At(2, 2), kRed);
}

// ---- buffer ----

TEST(GdiChartCanvasBuffer, ARepaintDrawsIntoTheBufferAndReusesItUntilInvalidated) {
  EnsureTestApplication();
  TBitmap window(50, 40);
  TChartCanvas3D canvas;
  const TRect drawing = canvas.InitWindow(window.Canvas(), nullptr, {10, 5, 40, 25}, false);
  EXPECT_EQ(drawing, (TRect{0, 0, 30, 20}));
  EXPECT_FALSE(canvas.ReDrawBitmap());
  canvas.GetHandle()->SetBrush(TBrush{kRed, bsSolid});
  canvas.FillRect(drawing);
  EXPECT_EQ(window.Pixel(15, 10), clWhite);
  canvas.ShowImage(window.Canvas(), {10, 5, 40, 25});
  EXPECT_EQ(window.Pixel(10, 5), kRed);
  EXPECT_EQ(window.Pixel(39, 24), kRed);
  EXPECT_EQ(window.Pixel(40, 25), clWhite);

  window.Canvas().SetBrush(TBrush{clWhite, bsSolid});
  window.Canvas().FillRect({0, 0, 50, 40});
  EXPECT_TRUE(canvas.ReDrawBitmap());
  EXPECT_EQ(window.Pixel(0, 0), kRed);
  canvas.Invalidate();
  EXPECT_FALSE(canvas.ReDrawBitmap());
}

TEST(GdiChartCanvasBuffer, AnEmptyChartRectangleDrawsNothing) {
  EnsureTestApplication();
  TBitmap window(20, 20);
  TChartCanvas3D canvas;
  for (const TRect bounds : {TRect{5, 5, 5, 5}, TRect{10, 10, 2, 2}}) {
    const TRect drawing = canvas.InitWindow(window.Canvas(), nullptr, bounds, true);
    EXPECT_TRUE(drawing.IsEmpty());
    canvas.Projection(0, drawing);
    canvas.Cube(0, 10, 0, 10, 0, 10, true);
    canvas.TextOut(0, 0, "x");
    canvas.ShowImage(window.Canvas(), bounds);
  }
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(window.Pixel(x, y), clWhite);
}

// ---- 3D ----

// Oblique view at 45 degrees, zoom 100: (x, y, z) lands on (x + z, y − z).
class GdiChartCanvasOblique : public ::testing::Test {
 protected:
  GdiChartCanvasOblique() : s(120, 120) {
    view.SetOrthogonal(true);
    s.canvas.SetUseBuffer(false);
    s.canvas.InitWindow(s.Device(), &view, {0, 0, 120, 120}, true);
    s.canvas.Projection(20, {0, 0, 120, 120});
    s.Device().SetBrush(TBrush{kRed, bsSolid});
  }
  TView3DOptions view;
  ChartSurface s;
};

TEST_F(GdiChartCanvasOblique, CubeDrawsItsVisibleFacesDarkenedBySide) {
  s.canvas.Cube(30, 70, 40, 80, 0, 20, true);
  CheckPixels(s, {{"front face", 50, 60, kRed},
                  {"right face darkened by 128", 80, 50, MakeColor(127, 0, 0)},
                  {"top face darkened by 64", 60, 30, MakeColor(191, 0, 0)},
                  {"left of the cube", 20, 60, clWhite},
                  {"below the cube", 50, 90, clWhite},
                  {"front corner", 30, 40, clBlack}});
}

TEST_F(GdiChartCanvasOblique, RoundSolidsAndPiesDrawWithinTheirProjectedBounds) {
  s.canvas.Cylinder(true, 20, 20, 60, 90, 0, 20, false);
  s.canvas.Cone(false, 70, 10, 110, 50, 0, 20, false);
  s.canvas.Pyramid(true, 70, 60, 110, 100, 0, 20, false);
  const TRect ink = s.Ink();
  EXPECT_GE(ink.Left, 19);
  EXPECT_LE(ink.Right, 112 + 20);
  EXPECT_EQ(s.At(35, 60), kRed);
  const int32_t before = s.Count(kRed);
  s.canvas.Pie3D(60, 60, 20, 20, 0, 10, 0, std::numeric_limits<double>::infinity(), true, true, 0, nullptr);
  s.canvas.Cone(true, 5, 5, 5, 5, 0, 0, true);
  EXPECT_EQ(s.Count(kRed), before);
}

TEST_F(GdiChartCanvasOblique, ClipCubeKeepsDrawingInsideTheProjectedBox) {
  s.canvas.ClipCube({30, 40, 70, 80}, 0, 20);
  s.canvas.FillRect({0, 0, 120, 120});
  s.canvas.UnClipRectangle();
  CheckPixels(s, {{"front", 50, 60, kRed}, {"right side", 80, 50, kRed}, {"top side", 60, 30, kRed},
                  {"above the top-left corner", 32, 25, clWhite}, {"below the bottom-right corner", 85, 75, clWhite},
                  {"left", 25, 60, clWhite}});
}

TEST_F(GdiChartCanvasOblique, APictureInAPlaneIsCutIntoOneProjectedCellPerPixel) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, ColorToPixel(kRed));
  image.setPixel(1, 0, ColorToPixel(clBlue));
  image.setPixel(0, 1, ColorToPixel(clLime));
  image.setPixel(1, 1, ColorToPixel(clGray));
  const TBitmapGraphic picture(image);
  s.canvas.DrawGraphicInRect3D({20, 40, 60, 80}, picture, 10, 2);  // front plane z = 10: moved by (10, −10)
  CheckPixels(s, {{"top-left cell", 40, 40, kRed}, {"top-right cell", 60, 40, clBlue},
                  {"bottom-left cell", 40, 60, clLime}, {"bottom-right cell", 60, 60, clGray},
                  {"outside", 25, 75, clWhite}});
}

TEST_F(GdiChartCanvasOblique, TheReservedSlotsDrawNothingAndAnswerZero) {
  s.canvas.MoveTo(7, 9);
  s.canvas.ReservedDraw3D(10, 10, 100, 100, 0, 20, 1, 1);
  EXPECT_EQ(s.Ink(), TRect{});
  EXPECT_EQ(s.Device().PenPos(), (TPoint{7, 9}));
  EXPECT_EQ(s.canvas.ReservedQuery(5, 6), 0);
}

TEST_F(GdiChartCanvasOblique, SuspensionNestsAndOnlyTheOutermostResumes) {
  s.canvas.Begin3DSuspension();
  s.canvas.Begin3DSuspension();
  s.canvas.End3DSuspension();
  EXPECT_FALSE(s.canvas.Is3D());
  s.canvas.End3DSuspension();
  EXPECT_TRUE(s.canvas.Is3D());
  s.canvas.End3DSuspension();
  EXPECT_TRUE(s.canvas.Is3D());
}

TEST(GdiChartCanvasFrame, BevelsEachRoundAndStopsWhenNothingIsLeft) {
  ChartSurface s(30, 30);
  TRect r{5, 5, 15, 15};
  s.canvas.Frame3D(r, clBlue, kRed, 1);
  CheckPixels(s, {{"top-left", 5, 5, clBlue}, {"top", 10, 5, clBlue}, {"left", 5, 10, clBlue},
                  {"right", 14, 10, kRed}, {"bottom", 10, 14, kRed}, {"inside", 10, 10, clWhite}});
  EXPECT_EQ(r, (TRect{6, 6, 14, 14}));
  TRect big{0, 0, 30, 30};
  s.canvas.Frame3D(big, clBlue, kRed, INT32_MAX);
  EXPECT_GE(big.Right - big.Left, -1);
}

}  // namespace
}  // namespace qira

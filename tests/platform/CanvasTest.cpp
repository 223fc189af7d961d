#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Canvas.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;
constexpr TColor kBlue = 0xFF0000;

// A white bitmap whose canvas has a thin black solid pen and a red solid brush.
struct Surface {
  TBitmap bitmap;
  TCanvas& canvas;
  Surface(int w, int h) : bitmap(w, h), canvas(bitmap.Canvas()) {
    canvas.SetPen({clBlack, 1, psSolid, pmCopy});
    canvas.SetBrush({kRed, bsSolid});
  }
  TColor At(int x, int y) const { return bitmap.Pixel(x, y); }
  // One character per pixel of a row: '#' pen black, 'r' red, '.' white, '?' other.
  std::string Row(int y, int x0, int x1) const {
    std::string s;
    for (int x = x0; x < x1; ++x) s += Symbol(At(x, y));
    return s;
  }
  std::string Column(int x, int y0, int y1) const {
    std::string s;
    for (int y = y0; y < y1; ++y) s += Symbol(At(x, y));
    return s;
  }
  static char Symbol(TColor c) { return c == clBlack ? '#' : c == kRed ? 'r' : c == clWhite ? '.' : '?'; }
};

// ---- pen modes ----

TEST(CanvasPenModes, EachModeCombinesPenAndDestinationByItsBitwiseFormula) {
  const uint32_t P = 0x96C30F;  // pen colour
  const uint32_t D = 0x3C5AA5;  // destination colour
  const uint32_t M = 0xFFFFFF;
  const struct {
    int rop2;
    uint32_t expected;
  } table[] = {
      {R2_BLACK, 0},
      {R2_NOTMERGEPEN, ~(D | P) & M},
      {R2_MASKNOTPEN, D & ~P & M},
      {R2_NOTCOPYPEN, ~P & M},
      {R2_MASKPENNOT, P & ~D & M},
      {R2_NOT, ~D & M},
      {R2_XORPEN, P ^ D},
      {R2_NOTMASKPEN, ~(P & D) & M},
      {R2_MASKPEN, P & D},
      {R2_NOTXORPEN, ~(P ^ D) & M},
      {R2_NOP, D},
      {R2_MERGENOTPEN, (D | ~P) & M},
      {R2_COPYPEN, P},
      {R2_MERGEPENNOT, (P | ~D) & M},
      {R2_MERGEPEN, P | D},
      {R2_WHITE, M},
  };
  for (const auto& row : table) {
    Surface s(8, 8);
    s.canvas.SetBrush({D, bsSolid});
    s.canvas.FillRect({0, 0, 8, 8});
    s.canvas.SetPen({P, 1, psSolid, pmCopy});
    s.canvas.SetROP2(row.rop2);
    EXPECT_EQ(s.canvas.ROP2(), row.rop2);
    s.canvas.MoveTo(1, 4);
    s.canvas.LineTo(6, 4);
    EXPECT_EQ(s.At(3, 4), row.expected) << "R2 code " << row.rop2;
    EXPECT_EQ(s.At(3, 3), D) << "R2 code " << row.rop2;
    EXPECT_EQ(s.bitmap.ScanLine(4)[3] >> 24, 0xFFu) << "the image stays opaque, R2 code " << row.rop2;
  }
}

TEST(CanvasPenModes, WindowingLibraryModesSelectTheirRasterOperations) {
  const std::pair<int, int> modes[] = {
      {pmBlack, R2_BLACK}, {pmWhite, R2_WHITE},          {pmNop, R2_NOP},       {pmNot, R2_NOT},
      {pmCopy, R2_COPYPEN}, {pmMaskPenNot, R2_MASKPENNOT}, {pmXor, R2_XORPEN},    {pmNotXor, R2_NOTXORPEN},
      {99, R2_COPYPEN},
  };
  for (auto [mode, rop2] : modes) EXPECT_EQ(PenModeToRop2(mode), rop2) << mode;
  for (int rop2 = R2_BLACK; rop2 <= R2_WHITE; ++rop2) EXPECT_EQ(PenModeToRop2(Rop2ToPenMode(rop2)), rop2);
}

TEST(CanvasPenModes, XorFigureTouchesEachPixelOnceSoDrawingTwiceRestores) {
  Surface s(40, 40);
  s.canvas.SetBrush({kBlue, bsSolid});
  s.canvas.FillRect({0, 0, 40, 40});
  const QImage before = s.bitmap.Image().copy();
  s.canvas.SetPen({0xFFFFFF, 1, psSolid, pmXor});
  s.canvas.SetBrush({kRed, bsSolid});
  const TPoint star[] = {{20, 2}, {30, 35}, {3, 14}, {37, 14}, {10, 35}};
  s.canvas.Polygon(star);
  EXPECT_EQ(s.At(20, 2), 0x00FFFF) << "a vertex is inverted once, not twice";
  EXPECT_EQ(s.At(20, 10), 0xFF00FF) << "fill colour xor destination";
  s.canvas.Polygon(star);
  EXPECT_EQ(s.bitmap.Image(), before);
}

// ---- pixel rules ----

TEST(CanvasPixelRules, FillRectExcludesRightAndBottomEdges) {
  Surface s(12, 12);
  s.canvas.FillRect({2, 3, 7, 9});
  EXPECT_EQ(s.Row(3, 0, 9), "..rrrrr..");
  EXPECT_EQ(s.Column(6, 0, 11), "...rrrrrr..");
  s.canvas.FillRect({5, 5, 5, 9});  // empty: nothing
  s.canvas.FillRect({9, 9, 8, 8});  // inverted: nothing
  EXPECT_EQ(s.At(8, 8), clWhite);
}

TEST(CanvasPixelRules, RectangleOutlinesThroughTheLastInsidePixel) {
  Surface s(12, 10);
  s.canvas.Rectangle(2, 2, 8, 6);
  EXPECT_EQ(s.Row(2, 0, 10), "..######..");
  EXPECT_EQ(s.Row(3, 0, 10), "..#rrrr#..");
  EXPECT_EQ(s.Row(5, 0, 10), "..######..");
  EXPECT_EQ(s.Row(6, 0, 10), "..........");
  Surface clear(12, 10);  // a clear pen fills one pixel less
  clear.canvas.SetPenStyle(psClear);
  clear.canvas.Rectangle(2, 2, 8, 6);
  EXPECT_EQ(clear.Row(2, 0, 10), "..rrrrr...");
  EXPECT_EQ(clear.Column(3, 0, 8), "..rrr...");
}

TEST(CanvasPixelRules, LineToLeavesItsLastPixelUnpainted) {
  Surface s(10, 10);
  s.canvas.MoveTo(1, 1);
  s.canvas.LineTo(6, 1);
  EXPECT_EQ(s.Row(1, 0, 8), ".#####..");
  s.canvas.MoveTo(1, 3);
  s.canvas.LineTo(5, 7);
  EXPECT_EQ(s.At(4, 6), clBlack);
  EXPECT_EQ(s.At(5, 7), clWhite);
  EXPECT_EQ(s.canvas.PenPos(), (TPoint{5, 7}));
  s.canvas.MoveTo(8, 8);
  s.canvas.LineTo(8, 2);
  EXPECT_EQ(s.Column(8, 0, 10), "...######.");
  Surface poly(10, 10);  // a polyline omits only its final point
  const TPoint points[] = {{1, 1}, {5, 1}, {5, 5}};
  poly.canvas.Polyline(points);
  EXPECT_EQ(poly.Column(5, 0, 7), ".####..");
}

TEST(CanvasPixelRules, WidePenIsCentredOnThePathWithRoundCaps) {
  Surface s(30, 20);
  s.canvas.SetPenWidth(3);
  s.canvas.MoveTo(5, 10);
  s.canvas.LineTo(20, 10);
  EXPECT_EQ(s.Column(12, 7, 14), "..###..");
  EXPECT_EQ(s.Row(10, 2, 24), "..##################..");
}

TEST(CanvasPixelRules, InsideFramePenKeepsTheWholeStrokeInsideTheRectangle) {
  Surface inside(40, 40);
  inside.canvas.SetPen({clBlack, 5, psInsideFrame, pmCopy});
  inside.canvas.Rectangle(10, 10, 30, 30);
  EXPECT_EQ(inside.Row(20, 8, 32), "..#####rrrrrrrrrr#####..");
  EXPECT_EQ(inside.Column(20, 8, 32), "..#####rrrrrrrrrr#####..");

  Surface solid(40, 40);
  solid.canvas.SetPen({clBlack, 5, psSolid, pmCopy});
  solid.canvas.Rectangle(10, 10, 30, 30);
  EXPECT_EQ(solid.Row(20, 6, 34), "..#####rrrrrrrrrrrrrr#####..");

  Surface ellipse(40, 40);
  ellipse.canvas.SetPen({clBlack, 6, psInsideFrame, pmCopy});
  ellipse.canvas.Ellipse(10, 10, 30, 30);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      if (x < 10 || x >= 30 || y < 10 || y >= 30) {
        ASSERT_EQ(ellipse.At(x, y), clWhite) << x << "," << y;
      }
  EXPECT_EQ(ellipse.At(10, 20), clBlack);
  EXPECT_EQ(ellipse.At(20, 20), kRed);
}

TEST(CanvasPixelRules, EllipseFitsItsRectangleWithoutGapsBetweenOutlineAndFill) {
  Surface s(16, 16);
  s.canvas.Ellipse(2, 2, 13, 13);
  EXPECT_EQ(s.Row(7, 0, 15), "..#rrrrrrrrr#..");
  EXPECT_EQ(s.Column(7, 0, 15), "..#rrrrrrrrr#..");
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (x < 2 || x >= 13 || y < 2 || y >= 13) {
        ASSERT_EQ(s.At(x, y), clWhite) << x << "," << y;
      }
  // Every row meets the outline on both sides with only red between.
  for (int y = 3; y < 12; ++y) {
    const std::string row = s.Row(y, 0, 16);
    const auto first = row.find_first_not_of('.');
    const auto last = row.find_last_not_of('.');
    ASSERT_EQ(row.substr(first, last - first + 1).find('.'), std::string::npos) << row;
  }
}

TEST(CanvasPixelRules, PolygonFillsByAlternateRule) {
  Surface s(80, 80);
  s.canvas.SetPenStyle(psClear);
  s.canvas.SetBrush({clBlack, bsSolid});
  // A five-pointed star drawn in one stroke: its centre is enclosed twice.
  const TPoint star[] = {{40, 2}, {62, 70}, {4, 28}, {76, 28}, {18, 70}};
  s.canvas.Polygon(star);
  EXPECT_EQ(s.At(40, 40), clWhite) << "centre, inside twice";
  EXPECT_EQ(s.At(40, 15), clBlack) << "top point, inside once";
  EXPECT_EQ(s.At(12, 29), clBlack) << "left point, inside once";
  EXPECT_EQ(s.At(2, 2), clWhite) << "outside";
}

TEST(CanvasPixelRules, CoordinatesFarOutsideTheImageStillDrawTheVisiblePart) {
  Surface s(20, 20);
  s.canvas.SetPenStyle(psClear);
  s.canvas.Rectangle(-100000000, 2, 100000000, 5);
  EXPECT_EQ(s.Row(3, 0, 20), std::string(20, 'r'));
  EXPECT_EQ(s.Row(4, 0, 20), std::string(20, '.'));
  s.canvas.SetPenStyle(psSolid);
  s.canvas.MoveTo(-2000000000, 10);
  s.canvas.LineTo(2000000000, 10);
  EXPECT_EQ(s.Row(10, 0, 20), std::string(20, '#'));
}

TEST(CanvasPixelRules, FiguresShrunkToOnePixelPaintThatPixel) {
  Surface s(10, 10);
  s.canvas.Rectangle(2, 2, 3, 3);
  s.canvas.Ellipse(5, 5, 6, 6);
  EXPECT_EQ(s.Row(2, 0, 5), "..#..");
  EXPECT_EQ(s.Row(5, 3, 8), "..#..");
  s.canvas.MoveTo(8, 8);
  s.canvas.LineTo(8, 8);  // a line of no length paints nothing
  EXPECT_EQ(s.At(8, 8), clWhite);
}

TEST(CanvasPixelRules, ExtremeRectanglesAndWidePensStayWithinTheImage) {
  Surface s(10, 10);
  s.canvas.FillRect({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  EXPECT_EQ(s.At(0, 0), kRed);
  EXPECT_EQ(s.At(9, 9), kRed);
  s.canvas.SetPen({clBlack, 1000, psInsideFrame, pmCopy});
  s.canvas.Rectangle(2, 2, 8, 8);  // a frame wider than the rectangle fills it
  EXPECT_EQ(s.Row(5, 0, 10), "rr######rr");
  s.canvas.SetPen({clBlack, INT32_MAX, psSolid, pmCopy});
  s.canvas.MoveTo(-5, -5);
  s.canvas.LineTo(20, 20);
  EXPECT_EQ(s.At(9, 0), clBlack);
}

// ---- hatches, dashes and background ----

TEST(CanvasBackground, HatchGapsTakeBackgroundColourOnlyWhenOpaque) {
  const struct {
    TBrushStyle style;
    TPoint on;
    TPoint off;
  } table[] = {
      {bsHorizontal, {3, 8}, {3, 9}},  {bsVertical, {8, 3}, {9, 3}},   {bsFDiagonal, {5, 5}, {5, 6}},
      {bsBDiagonal, {2, 5}, {2, 6}},   {bsCross, {8, 3}, {3, 3}},      {bsDiagCross, {5, 5}, {3, 5}},
  };
  for (const auto& row : table) {
    for (TBkMode mode : {bkOpaque, bkTransparent}) {
      Surface s(16, 16);
      s.canvas.SetBrush({kGreen, bsSolid});
      s.canvas.FillRect({0, 0, 16, 16});
      s.canvas.SetBrush({kBlue, row.style});
      s.canvas.SetBkColor(kRed);
      s.canvas.SetBkMode(mode);
      s.canvas.FillRect({0, 0, 16, 16});
      EXPECT_EQ(s.At(row.on.X, row.on.Y), kBlue) << "style " << int(row.style);
      EXPECT_EQ(s.At(row.off.X, row.off.Y), mode == bkOpaque ? kRed : kGreen) << "style " << int(row.style);
    }
  }
}

TEST(CanvasBackground, DashedPenGapsTakeBackgroundColourOnlyWhenOpaque) {
  const struct {
    TPenStyle style;
    std::string pattern;  // '#' on, '-' gap, from the line's first pixel
  } table[] = {
      {psDash, "##################------##"},
      {psDot, "###---###---"},
      {psDashDot, "#########------###------###"},
      {psDashDotDot, "#########---###---###---####"},
  };
  for (const auto& row : table) {
    for (TBkMode mode : {bkOpaque, bkTransparent}) {
      Surface s(40, 4);
      s.canvas.SetBrush({kGreen, bsSolid});
      s.canvas.FillRect({0, 0, 40, 4});
      s.canvas.SetPen({clBlack, 0, row.style, pmCopy});
      s.canvas.SetBkColor(kRed);
      s.canvas.SetBkMode(mode);
      s.canvas.MoveTo(0, 1);
      s.canvas.LineTo(39, 1);
      std::string expected;
      for (char c : row.pattern) expected += c == '#' ? '#' : mode == bkOpaque ? 'r' : '?';
      std::string got = s.Row(1, 0, static_cast<int>(row.pattern.size()));
      EXPECT_EQ(got, expected) << "style " << int(row.style) << (mode == bkOpaque ? " opaque" : " transparent");
    }
  }
}

TEST(CanvasBackground, DashPatternContinuesFromOneLineToToTheNext) {
  Surface s(40, 4);
  s.canvas.SetPen({clBlack, 1, psDot, pmCopy});
  s.canvas.MoveTo(0, 1);
  s.canvas.LineTo(4, 1);
  s.canvas.LineTo(12, 1);
  EXPECT_EQ(s.Row(1, 0, 12), "###rrr###rrr");
  s.canvas.MoveTo(20, 1);  // a move starts the pattern again
  s.canvas.LineTo(26, 1);
  EXPECT_EQ(s.Row(1, 20, 26), "###rrr");
}

// ---- clipping ----

TEST(CanvasClipping, DrawingStaysInsideTheClipRegion) {
  Surface s(20, 20);
  s.canvas.SelectClipRect({5, 5, 10, 10});
  s.canvas.FillRect({0, 0, 20, 20});
  s.canvas.MoveTo(0, 7);
  s.canvas.LineTo(19, 7);
  EXPECT_EQ(s.Row(6, 0, 12), ".....rrrrr..");
  EXPECT_EQ(s.Row(7, 0, 12), ".....#####..");
  s.canvas.SetPixel(2, 2, kBlue);
  EXPECT_EQ(s.At(2, 2), clWhite);
}

TEST(CanvasClipping, ClippedLinesPaintTheSamePixelsAsUnclippedOnes) {
  uint32_t seed = 12345;
  auto next = [&seed](int range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<uint32_t>(range)) - range / 2;
  };
  for (int i = 0; i < 300; ++i) {
    const TPoint a{next(200) + 30, next(200) + 30};
    const TPoint b{next(200) + 30, next(200) + 30};
    Surface whole(60, 60);
    whole.canvas.MoveTo(a.X, a.Y);
    whole.canvas.LineTo(b.X, b.Y);
    Surface clipped(60, 60);
    clipped.canvas.SelectClipRect({20, 25, 40, 35});
    clipped.canvas.MoveTo(a.X, a.Y);
    clipped.canvas.LineTo(b.X, b.Y);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const bool inside = x >= 20 && x < 40 && y >= 25 && y < 35;
        ASSERT_EQ(clipped.At(x, y), inside ? whole.At(x, y) : clWhite)
            << "line " << a.X << "," << a.Y << " to " << b.X << "," << b.Y << " at " << x << "," << y;
      }
  }
}

TEST(CanvasClipping, IntersectAndExcludeNarrowTheRegion) {
  Surface s(20, 20);
  s.canvas.ExcludeClipRect({8, 0, 12, 20});  // no region yet: the whole image less a band
  s.canvas.IntersectClipRect({4, 0, 16, 20});
  s.canvas.FillRect({0, 0, 20, 20});
  EXPECT_EQ(s.Row(3, 0, 20), "....rrrr....rrrr....");
}

TEST(CanvasClipping, SaveAndRestoreBringBackTheRegionAndTheObjects) {
  Surface s(20, 20);
  s.canvas.SelectClipRect({0, 0, 5, 20});
  EXPECT_EQ(s.canvas.SaveDC(), 1);
  s.canvas.SelectClipRect({10, 0, 20, 20});
  s.canvas.SetBrush({kBlue, bsSolid});
  EXPECT_EQ(s.canvas.SaveDC(), 2);
  s.canvas.RemoveClip();
  EXPECT_FALSE(s.canvas.RestoreDC(3));
  EXPECT_TRUE(s.canvas.RestoreDC(1));
  EXPECT_FALSE(s.canvas.RestoreDC(-1)) << "the save at depth 2 went with the restore";
  s.canvas.FillRect({0, 0, 20, 20});
  EXPECT_EQ(s.Row(0, 0, 20), "rrrrr...............");
}

TEST(CanvasClipping, RegionsCombineByMode) {
  Surface s(20, 4);
  s.canvas.SelectClipRect({0, 0, 10, 4});
  s.canvas.CombineClipRegion(RectRegion({5, 0, 15, 4}), RGN_XOR);
  s.canvas.FillRect({0, 0, 20, 4});
  EXPECT_EQ(s.Row(1, 0, 20), "rrrrr.....rrrrr.....");
  s.canvas.CombineClipRegion(RectRegion({16, 0, 18, 4}), RGN_COPY);
  s.canvas.SetBrushColor(kBlue);
  s.canvas.FillRect({0, 0, 20, 4});
  EXPECT_EQ(s.At(17, 1), kBlue);
  EXPECT_EQ(s.At(12, 1), kRed);
}

// ---- bitmaps, pixels and images ----

TEST(CanvasBitmap, NewBitmapIsWhiteAndScanLinesHoldQtPixels) {
  TBitmap b(5, 3);
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Pixel(4, 2), clWhite);
  b.SetPixel(1, 2, 0x123456);
  EXPECT_EQ(b.ScanLine(2)[1], 0xFF563412u);
  EXPECT_EQ(b.Canvas().Pixel(1, 2), 0x123456u);
  EXPECT_EQ(b.Pixel(5, 0), CLR_INVALID);
  EXPECT_EQ(b.ScanLine(3), nullptr);
  b.SetPixel(-1, 0, 0);  // ignored
}

TEST(CanvasBitmap, ResizingKeepsThePixelsAndTheCanvasFollows) {
  TBitmap b(4, 4);
  b.Canvas().SetBrush({kRed, bsSolid});
  b.Canvas().FillRect({0, 0, 4, 4});
  b.SetSize(8, 6);
  EXPECT_EQ(b.Pixel(3, 3), kRed);
  EXPECT_EQ(b.Pixel(7, 5), clWhite);
  b.Canvas().FillRect({0, 0, 8, 6});
  EXPECT_EQ(b.Pixel(7, 5), kRed);
  b.SetSize(-1, 5);
  EXPECT_TRUE(b.Empty());
  b.Canvas().FillRect({0, 0, 8, 6});  // nothing to draw on, no fault
}

TEST(CanvasBitmap, CanvasOnAForeignImageConvertsItTo32Bits) {
  QImage image(6, 6, QImage::Format_RGB888);
  image.fill(Qt::white);
  TCanvas canvas(&image);
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  canvas.SetBrush({kRed, bsSolid});
  canvas.FillRect({1, 1, 3, 3});
  EXPECT_EQ(canvas.Pixel(2, 2), kRed);
  EXPECT_EQ(canvas.Pixel(3, 3), clWhite);
}

// ---- arcs, round rectangles, polygon sets, paths and blending

TEST(CanvasPolygonSets, AnInnerPolygonIsAHole) {
  Surface s(30, 30);
  const TPoint points[] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}, {5, 5}, {15, 5}, {15, 15}, {5, 15}};
  const int32_t counts[] = {4, 4, 99};  // a count past the points ends the list
  s.canvas.PolyPolygon(points, counts);
  EXPECT_EQ(s.At(2, 10), kRed);
  EXPECT_EQ(s.At(10, 10), clWhite);
  EXPECT_EQ(s.At(5, 10), clBlack);   // the hole's outline
  EXPECT_EQ(s.At(20, 10), clBlack);  // closing edge of the outer outline
}

TEST(CanvasPaths, FiguresCollectedInAPathAreFilledOrClippedLater) {
  Surface s(30, 30);
  s.canvas.BeginPath();
  s.canvas.Rectangle(2, 2, 12, 12);
  s.canvas.EndPath();
  EXPECT_EQ(s.At(5, 5), clWhite);  // nothing drawn while collecting
  s.canvas.FillPath();
  EXPECT_EQ(s.At(5, 5), kRed);
  EXPECT_EQ(s.At(2, 2), kRed);  // no outline: filled only
  EXPECT_FALSE(s.canvas.Path().has_value());

  s.canvas.BeginPath();
  const TPoint triangle[] = {{15, 15}, {29, 15}, {15, 29}};
  s.canvas.Polygon(triangle);
  s.canvas.EndPath();
  s.canvas.SelectClipPath(RGN_AND);
  s.canvas.SetBrush({clLime, bsSolid});
  s.canvas.FillRect({0, 0, 30, 30});
  EXPECT_EQ(s.At(17, 17), clLime);
  EXPECT_EQ(s.At(27, 27), clWhite);
  EXPECT_EQ(s.At(5, 5), kRed);
}

TEST(CanvasPaths, TextOutlinesStrokeWhereTheTextWouldBeWritten) {
  EnsureTestApplication();
  Surface written(120, 60), stroked(120, 60);
  for (Surface* s : {&written, &stroked}) {
    TFont f;
    f.Name = PinnedFontFace();
    f.Height = -40;
    s->canvas.SetFont(f);
    s->canvas.SetBkMode(bkTransparent);
  }
  written.canvas.TextOut(10, 5, "L");
  stroked.canvas.BeginPath();
  stroked.canvas.TextOut(10, 5, "L");
  stroked.canvas.EndPath();
  stroked.canvas.SetBrush({clBlack, bsSolid});
  stroked.canvas.StrokeAndFillPath();
  // Every written pixel is covered, and the outline adds only pixels next to the glyph.
  const auto inkNear = [&](int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (written.At(x + dx, y + dy) == clBlack) return true;
    return false;
  };
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) {
      if (written.At(x, y) == clBlack) {
        EXPECT_EQ(stroked.At(x, y), clBlack) << x << "," << y;
      }
      if (stroked.At(x, y) == clBlack) {
        EXPECT_TRUE(inkNear(x, y)) << x << "," << y;
      }
    }
  EXPECT_EQ(stroked.At(13, 40), clBlack);
}

TEST(CanvasAlphaBlend, ConstantOpacityMixesSourceOverDestination) {
  Surface s(10, 10);
  s.canvas.FillRect({0, 0, 10, 10});  // red
  QImage blue(4, 4, QImage::Format_RGB32);
  blue.fill(ColorToPixel(clBlue));
  const struct {
    uint8_t alpha;
    TColor expected;
  } table[] = {{0, kRed}, {255, clBlue}, {128, MakeColor(127, 0, 128)}};
  for (const auto& row : table) {
    s.canvas.FillRect({0, 0, 10, 10});
    s.canvas.AlphaBlend({2, 2, 6, 6}, blue, {0, 0, 4, 4}, row.alpha);
    EXPECT_EQ(s.At(3, 3), row.expected) << int(row.alpha);
    EXPECT_EQ(s.At(6, 6), kRed);
  }
}

TEST(CanvasRoundRect, ClearPenFillMatchesItsRegion) {
  Surface s(30, 20);
  s.canvas.SetPenStyle(psClear);
  s.canvas.RoundRect(0, 0, 30, 16, 10, 10);
  const QRegion region = RoundRectRegion({0, 0, 30, 16}, 10, 10);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) EXPECT_EQ(s.At(x, y) == kRed, region.contains(QPoint(x, y))) << x << "," << y;
}

}  // namespace
}  // namespace qira

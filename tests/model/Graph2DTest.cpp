#include "model/Graph2D.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/Palette.h"
#include "platform/Rounding.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kGreen = MakeColor(0, 255, 0);
constexpr TColor kBlue = MakeColor(0, 0, 255);

class Graph2DDrawing : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }

  TBitmap bitmap{60, 30};
  TGraph2DCanvas graph{bitmap.Canvas()};

  TColor At(int x, int y) const { return bitmap.Pixel(x, y); }
};

// ---- gradients -------------------------------------------------------------------

TEST_F(Graph2DDrawing, HorizontalGradientRunsFromFirstToSecondEdgeWithBothEdgeLines) {
  graph.GradientRect({10, 5, 20, 15}, true, kRed, kBlue);
  // Line i of 10: red 255 + Round(-255 i / 10), blue Round(255 i / 10), halves to even.
  const struct {
    int x;
    TColor colour;
  } columns[] = {
      {10, kRed},
      {11, MakeColor(229, 0, 26)},   // -25.5 -> -26, 25.5 -> 26
      {15, MakeColor(127, 0, 128)},  // -127.5 -> -128, 127.5 -> 128
      {19, MakeColor(25, 0, 230)},   // -229.5 -> -230, 229.5 -> 230
      {20, kBlue},
  };
  for (const auto& c : columns) {
    SCOPED_TRACE(c.x);
    EXPECT_EQ(At(c.x, 5), c.colour);
    EXPECT_EQ(At(c.x, 14), c.colour);
    // The line's last point is not painted.
    EXPECT_EQ(At(c.x, 15), clWhite);
    EXPECT_EQ(At(c.x, 4), clWhite);
  }
  EXPECT_EQ(At(9, 10), clWhite);
  EXPECT_EQ(At(21, 10), clWhite);
}

TEST_F(Graph2DDrawing, VerticalGradientPaintsRows) {
  graph.GradientRect({2, 4, 12, 8}, false, clBlack, clWhite);
  EXPECT_EQ(At(2, 4), clBlack);
  EXPECT_EQ(At(11, 4), clBlack);
  EXPECT_EQ(At(5, 6), MakeColor(128, 128, 128));  // 127.5 -> 128
  EXPECT_EQ(At(5, 5), MakeColor(64, 64, 64));     // 63.75 -> 64
  EXPECT_EQ(At(5, 8), clWhite);
  EXPECT_EQ(At(12, 6), clWhite);  // right end not painted
  EXPECT_EQ(At(5, 7), MakeColor(191, 191, 191));  // 191.25 -> 191
}

TEST_F(Graph2DDrawing, ReversedSpanStillStartsWithColorAAtTheFirstEdge) {
  graph.GradientRect({20, 5, 10, 15}, true, kRed, kBlue);
  EXPECT_EQ(At(20, 8), kRed);
  EXPECT_EQ(At(10, 8), kBlue);
  EXPECT_EQ(At(15, 8), MakeColor(127, 0, 128));
}

TEST_F(Graph2DDrawing, ZeroSpanDrawsOneLineInColorA) {
  graph.GradientRect({10, 5, 10, 15}, true, kRed, kBlue);
  EXPECT_EQ(At(10, 5), kRed);
  EXPECT_EQ(At(10, 14), kRed);
  EXPECT_EQ(At(9, 10), clWhite);
  EXPECT_EQ(At(11, 10), clWhite);
}

TEST_F(Graph2DDrawing, CoordinatesRoundHalvesToEven) {
  EXPECT_EQ(graph.XToPixel(2.5), 2);
  EXPECT_EQ(graph.XToPixel(3.5), 4);
  EXPECT_EQ(graph.YToPixel(-0.5), 0);
  graph.GradientRect({10.5, 5, 20.5, 15}, true, kRed, kBlue);  // pixels 10 .. 20
  EXPECT_EQ(At(10, 8), kRed);
  EXPECT_EQ(At(20, 8), kBlue);
  EXPECT_EQ(At(21, 8), clWhite);
}

TEST_F(Graph2DDrawing, HugeGradientVisitsOnlyTheImageAndKeepsItsColours) {
  // Saturated to the whole int32 range: billions of lines if every one were drawn.
  graph.GradientRect({-1e15, 0, 1e15, 10}, true, kRed, kBlue);
  EXPECT_EQ(At(0, 5), MakeColor(127, 0, 128));
  EXPECT_EQ(At(59, 5), MakeColor(127, 0, 128));
  EXPECT_EQ(At(30, 10), clWhite);
}

// ---- palette bars ----------------------------------------------------------------

TEST_F(Graph2DDrawing, BarWithoutStopsIsOneGradient) {
  TBitmap reference(60, 30);
  TGraph2DCanvas referenceGraph(reference.Canvas());
  referenceGraph.GradientRect({5, 5, 55, 20}, true, kGreen, kRed);
  graph.DrawPaletteBar({5, 5, 55, 20}, true, kGreen, kRed, {}, {});
  for (int x = 0; x < 60; ++x) {
    for (int y = 0; y < 30; y += 7) ASSERT_EQ(At(x, y), reference.Pixel(x, y)) << x << "," << y;
  }
}

TEST_F(Graph2DDrawing, StopsSplitTheBarAtTheirPercentPositions) {
  // Bar 10 .. 50: the stop at 25 percent falls on x = 20, the one at 75 on x = 40.
  const std::vector<TColor> colours{kGreen, kBlue};
  const std::vector<uint8_t> positions{25, 75};
  graph.DrawPaletteBar({10, 2, 50, 12}, true, kRed, clBlack, colours, positions);
  EXPECT_EQ(At(10, 5), kRed);
  EXPECT_EQ(At(15, 5), MakeColor(127, 128, 0));  // red -> green, i = 5 of 10: ±127.5 -> ±128
  EXPECT_EQ(At(20, 5), kGreen);                  // the boundary line has the stop's colour
  EXPECT_EQ(At(30, 5), MakeColor(0, 127, 128));  // green -> blue, i = 10 of 20
  EXPECT_EQ(At(40, 5), kBlue);
  EXPECT_EQ(At(45, 5), MakeColor(0, 0, 127));    // blue -> black, i = 5 of 10: 255 - 128
  EXPECT_EQ(At(50, 5), clBlack);
  EXPECT_EQ(At(51, 5), clWhite);
}

TEST_F(Graph2DDrawing, VerticalBarRunsDownTheRows) {
  const std::vector<TColor> colours{kGreen};
  const std::vector<uint8_t> positions{50};
  graph.DrawPaletteBar({5, 4, 15, 24}, false, kRed, kBlue, colours, positions);
  EXPECT_EQ(At(8, 4), kRed);
  EXPECT_EQ(At(8, 14), kGreen);
  EXPECT_EQ(At(8, 24), kBlue);
  EXPECT_EQ(At(15, 14), clWhite);
  EXPECT_EQ(At(8, 25), clWhite);
}

TEST_F(Graph2DDrawing, UnequalStopArraysUseOnlyTheCommonEntries) {
  const std::vector<TColor> colours{kGreen, kBlue, kBlue};
  const std::vector<uint8_t> positions{50};
  graph.DrawPaletteBar({10, 2, 50, 12}, true, kRed, clBlack, colours, positions);
  EXPECT_EQ(At(30, 5), kGreen);
  EXPECT_EQ(At(50, 5), clBlack);
}

TEST_F(Graph2DDrawing, PaletteDrawsItsBarWithTheIntensityApplied) {
  TZBPalette palette;
  palette.SetColor(0, clBlack);
  palette.SetColor(1, clWhite);
  palette.AddStop(50, kRed);
  palette.SetIntensity(50);
  palette.DrawBar(graph, TRect2D{10, 2, 50, 12}, 1);
  EXPECT_EQ(At(10, 5), MakeColor(128, 128, 128));  // 0 + Round(127.5)
  EXPECT_EQ(At(30, 5), MakeColor(255, 128, 128));
  EXPECT_EQ(At(50, 5), clWhite);
}

// ---- shapes, conversions and text -------------------------------------------------

TEST_F(Graph2DDrawing, RectangleFramesWithThePenAndFillsWithTheBrush) {
  TLineParams pen;
  TBrushParams noFill;
  noFill.Back = false;
  graph.Rectangle(pen, noFill, 5, 5, 15, 12);
  EXPECT_EQ(At(5, 5), clBlack);
  EXPECT_EQ(At(14, 5), clBlack);
  EXPECT_EQ(At(5, 11), clBlack);
  EXPECT_EQ(At(14, 11), clBlack);
  EXPECT_EQ(At(10, 8), clWhite);
  EXPECT_EQ(At(15, 5), clWhite);
  EXPECT_EQ(At(10, 12), clWhite);

  TBrushParams fill;  // solid blue background by default
  graph.Rectangle(pen, fill, 20, 5, 30, 12);
  EXPECT_EQ(At(25, 8), kBlue);
  EXPECT_EQ(At(20, 8), clBlack);
}

TEST_F(Graph2DDrawing, ParameterSetsApplyInTheOrderGiven) {
  TLineParams first;
  first.Color = kRed;
  TLineParams second;
  second.Color = kGreen;
  TBrushParams noFill;
  noFill.Back = false;
  graph.Polygon(std::vector<TPoint2D>{{5, 5}, {25, 5}, {25, 20}}, first, second);
  EXPECT_EQ(At(15, 5), kGreen);
  graph.Ellipse(noFill, first, 30, 2, 50, 22);
  EXPECT_TRUE(At(39, 2) == kRed || At(40, 2) == kRed);
  EXPECT_EQ(At(40, 12), clWhite);
}

TEST_F(Graph2DDrawing, ConversionsMapEveryCoordinate) {
  graph.SetConversions([](double x) { return RoundToInt(x * 10); }, [](double y) { return RoundToInt(y * 10) + 1; },
                       [] { return 2.0; });
  TLineParams pen;
  graph.Polyline(std::vector<TPoint2D>{{1, 1}, {3, 1}, {3, 2}}, pen);
  EXPECT_EQ(At(10, 11), clBlack);
  EXPECT_EQ(At(29, 11), clBlack);
  EXPECT_EQ(At(30, 20), clBlack);
  EXPECT_EQ(At(30, 21), clWhite);  // the last point is not painted
  EXPECT_EQ(At(9, 11), clWhite);
  EXPECT_EQ(graph.FontScale(), 2.0);

  graph.SetConversions(nullptr, nullptr, nullptr);
  EXPECT_EQ(graph.XToPixel(2.5), 2);
  EXPECT_EQ(graph.FontScale(), 1.0);
}

TEST_F(Graph2DDrawing, TextTakesTheFontScaleAndIsCentredOnItsPoint) {
  TFontParams font;
  font.Face = PinnedFontFace();
  font.Size = 12;
  graph.SetConversions(nullptr, nullptr, [] { return 1.5; });
  graph.TextOutP(font, {30, 15}, "H");
  EXPECT_EQ(font.ScaleDivisor, 1.5);
  int darkLeft = 0, darkRight = 0, darkFar = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 60; ++x) {
      if (At(x, y) == clWhite) continue;
      if (x < 22 || x > 38 || y < 5 || y > 25) {
        ++darkFar;
      } else if (x < 30) {
        ++darkLeft;
      } else {
        ++darkRight;
      }
    }
  }
  EXPECT_GT(darkLeft, 0);
  EXPECT_GT(darkRight, 0);
  EXPECT_EQ(darkFar, 0);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "FakeAxisPanel.h"
#include "chart/draw/ChartTestSupport.h"
#include "chart/engine/LineSeries.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

using test::ChartSurface;
using test::FakeAxisPanel;

constexpr TColor kLine = clRed;
constexpr double Inf = std::numeric_limits<double>::infinity();

// A 2D chart of 200 × 100 pixels drawing on a white bitmap: X 0..10 maps to
// pixels 0..200 (20 per unit), Y 0..100 to rows 100..0.
struct LineChart : ::testing::Test {
  ChartSurface surface{220, 120};
  FakeAxisPanel chart;
  TChartAxis bottom{chart, true}, top{chart, true, true}, left{chart}, right{chart, false, true};
  TLineSeries series;

  void SetUp() override {
    chart.canvas = &surface.canvas;
    chart.rect = {0, 0, 200, 100};
    Scale(bottom, 0, 10);
    Scale(left, 0, 100);
    series.SetSeriesColor(kLine);
    series.SetParentChart(&chart);
    chart.series.push_back(&series);
  }
  static void Scale(TChartAxis& axis, double min, double max) {
    axis.SetMinMax(min, max);
    axis.CalcAxisPositions();
    axis.AdjustMaxMin();
  }
  void Draw(TCustomSeries& s) {
    s.CalcFirstLastVisibleIndex();
    s.DrawAllValues();
  }
  bool Inked(int32_t x, int32_t y) const { return surface.At(x, y) != clWhite; }
};

TEST_F(LineChart, ALineRunsThroughThePixelsOfItsPoints) {
  series.AddXY(0, 50);
  series.AddXY(5, 50);
  series.AddXY(10, 0);
  Draw(series);
  EXPECT_EQ(surface.At(0, 50), kLine);
  EXPECT_EQ(surface.At(50, 50), kLine);
  EXPECT_EQ(surface.At(150, 75), kLine);
  EXPECT_FALSE(Inked(50, 45));
  EXPECT_FALSE(Inked(150, 60));
  EXPECT_EQ(surface.Ink(), (TRect{0, 50, 200, 100}));  // the last pixel is left out
}

TEST_F(LineChart, StairsStepHorizontallyFirstAndInvertedStairsVertically) {
  series.AddXY(0, 50);
  series.AddXY(5, 0);
  series.Stairs = true;
  Draw(series);
  EXPECT_TRUE(Inked(50, 50));
  EXPECT_FALSE(Inked(0, 75));
  EXPECT_TRUE(Inked(100, 75));
  surface.Device().SetBrush(TBrush{clWhite, bsSolid});
  surface.Device().FillRect({0, 0, 220, 120});
  series.InvertedStairs = true;
  Draw(series);
  EXPECT_TRUE(Inked(0, 75));
  EXPECT_FALSE(Inked(50, 50));
  EXPECT_TRUE(Inked(50, 100));
}

TEST_F(LineChart, AnAreaFillsDownToTheAxisOrigin) {
  series.AddXY(0, 50);
  series.AddXY(10, 50);
  series.DrawArea = true;
  series.AreaLinesPen.Hide();
  Draw(series);
  EXPECT_EQ(surface.At(100, 75), kLine);
  EXPECT_EQ(surface.At(100, 98), kLine);
  EXPECT_FALSE(Inked(100, 40));
}

TEST_F(LineChart, TheLegendSymbolOfALineIsALineThroughItsMiddle) {
  series.DrawLegendShape(-1, {10, 10, 30, 20});
  EXPECT_EQ(surface.Ink(), (TRect{10, 15, 30, 16}));
  series.Pointer.SetVisible(true);
  series.DrawLegendShape(-1, {50, 10, 70, 20});
  EXPECT_EQ(surface.Ink({40, 0, 100, 40}).Height(), 9);  // the pointer's full height
}

struct NullCase {
  const char* name;
  TTreatNullsStyle treat;
  bool leftHalf, rightHalf;  // ink at (50, 50) and (150, 50)
  bool throughZero;          // ink at (50, 75): a line down to the null's 0
};

TEST_F(LineChart, NullPointsAreLeftOutSkippedOrDrawnByTreatNulls) {
  const NullCase cases[] = {
      {"dont paint: no segment to or from the null", tnDontPaint, false, false, false},
      {"skip: one segment from the first to the third", tnSkip, true, true, false},
      {"ignore: two segments through the null's value", tnIgnore, false, false, true},
  };
  for (const NullCase& c : cases) {
    SCOPED_TRACE(c.name);
    TLineSeries s;
    s.SetSeriesColor(kLine);
    s.SetParentChart(&chart);
    s.AddXY(0, 50);
    s.AddNullXY(5, 0);
    s.AddXY(10, 50);
    s.TreatNulls = c.treat;
    surface.Device().SetBrush(TBrush{clWhite, bsSolid});
    surface.Device().FillRect({0, 0, 220, 120});
    Draw(s);
    EXPECT_EQ(Inked(50, 50), c.leftHalf);
    EXPECT_EQ(Inked(150, 50), c.rightHalf);
    EXPECT_EQ(Inked(50, 75), c.throughZero);
  }
}

TEST_F(LineChart, ALineStartingBeforeTheAxisEntersAtTheInterpolatedHeight) {
  for (int32_t i = 0; i < 10; ++i) series.AddXY(i, i * 10);
  series.XValues().SetOrder(loAscending);
  Scale(bottom, 4.5, 9.5);  // 40 pixels per unit
  Draw(series);
  EXPECT_EQ(series.FirstVisibleIndex(), 5);
  EXPECT_EQ(surface.At(0, 55), kLine);  // value 45 on the left edge
  EXPECT_EQ(surface.At(20, 50), kLine);  // point 5
}

TEST_F(LineChart, NonFiniteValuesDrawInsideTheCanvasRange) {
  series.Pointer.SetVisible(true);
  series.AddXY(0, 50);
  series.AddXY(2, Inf);
  series.AddXY(4, std::nan(""));
  series.AddXY(6, -Inf);
  series.AddXY(Inf, 20);
  series.AddXY(8, 1e300);
  series.TreatNulls = tnIgnore;
  Draw(series);
  EXPECT_EQ(surface.At(0, 50), kLine);  // the finite point still has its pointer
  for (int32_t x = 0; x < 220; x += 7) EXPECT_LT(series.Clicked(x, 60), series.Count());
}

TEST_F(LineChart, PointerClicksHitWithinThePointersHalfSize) {
  series.AddXY(5, 50);
  series.Pointer.SetVisible(true);
  series.CalcFirstLastVisibleIndex();
  EXPECT_EQ(series.Clicked(103, 50), 0);
  EXPECT_EQ(series.Clicked(104, 50), -1);
  series.Pointer.Style = psNothing;
  EXPECT_EQ(series.Clicked(103, 50), -1);
  EXPECT_EQ(series.Clicked(100, 50), 0);
}

TEST_F(LineChart, ASegmentClickCountsForItsFirstPoint) {
  series.AddXY(0, 50);
  series.AddXY(10, 50);
  series.CalcFirstLastVisibleIndex();
  EXPECT_EQ(series.Clicked(70, 50), 0);
  series.ClickableLine = false;
  EXPECT_EQ(series.Clicked(70, 50), -1);
}

TEST_F(LineChart, StackedSeriesAddOnlyValuesOfTheSameSign) {
  TLineSeries second;
  second.SetParentChart(&chart);
  chart.series.push_back(&second);
  series.AddXY(5, 10);
  second.AddXY(5, -2);
  series.SetStacked(cssStack);
  EXPECT_EQ(second.Stacked(), cssStack);
  Scale(left, -10, 90);
  EXPECT_EQ(second.CalcValuePos(0), left.CalcYPosValue(-2));
  second.YValues().SetValue(0, 5);
  EXPECT_EQ(second.CalcValuePos(0), left.CalcYPosValue(15));
  second.SetStacked(cssStack100);
  series.YValues().SetValue(0, 0);
  second.YValues().SetValue(0, 0);
  EXPECT_EQ(second.CalcValuePos(0), left.IEndPos());
}

// A stairs area whose values run along X outlines each step across: the tread at
// the previous point's value, then the riser into the next point.
TEST_F(LineChart, AStairsAreaAlongXOutlinesItsStepsInTheLinePen) {
  TLineSeries s;
  s.SetYMandatory(false);
  s.SetSeriesColor(kLine);
  s.SetParentChart(&chart);
  s.DrawArea = true;
  s.Stairs = true;
  s.AreaLinesPen.Hide();
  s.LinePen().SetColor(clBlue);
  s.AddXY(2, 10);  // pixel (40, 90)
  s.AddXY(4, 50);  // (80, 50)
  s.AddXY(6, 90);  // (120, 10)
  Draw(s);
  EXPECT_EQ(surface.At(40, 70), clBlue);  // the first step's tread at x 40
  EXPECT_EQ(surface.At(60, 50), clBlue);  // its riser across to the second point
  EXPECT_EQ(surface.At(80, 30), clBlue);  // the last step's tread
  EXPECT_EQ(surface.At(20, 70), kLine);   // filled towards the origin
}

// A series of a derived class stacks with one of its base class and the other way
// round; unrelated kinds do not.
TEST_F(LineChart, SeriesOfRelatedClassesStackTogether) {
  class TDashedLineSeries : public TLineSeries {
    bool IsOfThisClass(const TChartSeries& other) const override {
      return dynamic_cast<const TDashedLineSeries*>(&other) != nullptr;
    }
  };
  class TDottedLineSeries : public TLineSeries {
    bool IsOfThisClass(const TChartSeries& other) const override {
      return dynamic_cast<const TDottedLineSeries*>(&other) != nullptr;
    }
  };
  struct Case {
    const char* name;
    std::unique_ptr<TCustomSeries> first;
    bool stacks;
  };
  Case cases[] = {
      {"a line series under a derived one", std::make_unique<TLineSeries>(), true},
      {"a base series under a line series", std::make_unique<TCustomSeries>(), true},
      {"a series of its own class", std::make_unique<TDashedLineSeries>(), true},
      {"a sibling class", std::make_unique<TDottedLineSeries>(), false},
  };
  chart.series.clear();
  Scale(left, 0, 100);
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDashedLineSeries second;
    for (TCustomSeries* s : {c.first.get(), static_cast<TCustomSeries*>(&second)}) {
      s->SetParentChart(&chart);
      chart.series.push_back(s);
    }
    c.first->AddXY(5, 10);
    second.AddXY(5, 20);
    second.SetStacked(cssStack);
    EXPECT_EQ(c.first->Stacked(), c.stacks ? cssStack : cssNone);
    EXPECT_EQ(second.CalcValuePos(0), left.CalcYPosValue(c.stacks ? 30 : 20));
    chart.series.clear();
  }
}

// [SECTION] Pointer

struct PointerFixture : ::testing::Test {
  ChartSurface surface{30, 30};
  TSeriesPointer pointer;
  void Draw(TSeriesPointerStyle style) {
    pointer.PrepareCanvas(surface.canvas, clBlue);
    pointer.Draw(surface.canvas, false, 10, 10, 4, 4, clBlue, style);
  }
};

TEST_F(PointerFixture, ARectanglePointerCoversItsFullHalfSizes) {
  Draw(psRectangle);
  EXPECT_EQ(surface.Ink(), (TRect{6, 6, 15, 15}));
}

TEST_F(PointerFixture, ACrossPointerSpansTheRectanglesWidthAndHeight) {
  Draw(psCross);
  EXPECT_EQ(surface.Ink({0, 10, 30, 11}), (TRect{6, 10, 15, 11}));
  EXPECT_EQ(surface.Ink({10, 0, 11, 30}), (TRect{10, 6, 11, 15}));
  EXPECT_FALSE(surface.At(7, 7) != clWhite);
}

TEST_F(PointerFixture, ASmallDotIsOnePixelInTheFillColour) {
  Draw(psSmallDot);
  EXPECT_EQ(surface.Ink(), (TRect{10, 10, 11, 11}));
  EXPECT_EQ(surface.At(10, 10), clBlue);
}

TEST_F(PointerFixture, NothingDrawsNothing) {
  Draw(psNothing);
  EXPECT_EQ(surface.Ink(), TRect{});
}

TEST_F(PointerFixture, APointerFarOutsideTheCanvasIsClampedNotWrapped) {
  pointer.PrepareCanvas(surface.canvas, clBlue);
  pointer.Draw(surface.canvas, false, INT32_MAX, INT32_MIN, 4, 4, clBlue, psDiamond);
  EXPECT_EQ(surface.Ink(), TRect{});
}

TEST_F(PointerFixture, ASizeBelowOneIsRefusedAndTheOldSizeKept) {
  EXPECT_EQ(ThrownMessage<ChartException>([&] { pointer.SetVertSize(0); }), "Pointer size must be greater than zero");
  EXPECT_EQ(pointer.VertSize(), 4);
}

TEST_F(PointerFixture, OnlyAVisibleInflatingPointerWidensMargins) {
  int32_t a = 0, b = 0;
  pointer.CalcHorizMargins(a, b);
  EXPECT_EQ(a, 5);
  pointer.InflateMargins = false;
  a = b = 0;
  pointer.CalcHorizMargins(a, b);
  EXPECT_EQ(a, 0);
  pointer.InflateMargins = true;
  pointer.SetVisible(false);
  pointer.CalcVerticalMargins(a, b);
  EXPECT_EQ(b, 0);
}

TEST(SeriesGroups, GroupsAreNamedByCountAndReportACombinedActiveState) {
  TSeriesGroups groups;
  groups.Add();
  groups.Add();
  TSeriesGroup& g = groups.Add();
  EXPECT_EQ(g.Name, "Group3");
  TChartSeries a, b, c;
  g.Series = {&a, &b, &c};
  c.SetActive(false);
  EXPECT_EQ(g.Active(), gaSome);
  g.SetActive(gaSome);
  EXPECT_FALSE(c.Active());
  g.SetActive(gaNo);
  EXPECT_EQ(g.Active(), gaNo);
}

// A gallery offers "Normal" first for every kind; a line series' sub-types follow
// it, each applied by its index in the list.
TEST(SeriesGallery, SubTypesStartWithNormalAndApplyByTheirIndex) {
  EXPECT_EQ(TChartSeries().GallerySubTypes(), std::vector<std::string>{"Normal"});
  const std::vector<std::string> types = TLineSeries().GallerySubTypes();
  using TCheck = bool (*)(TLineSeries&);
  const struct {
    const char* name;
    TCheck applied;
  } table[] = {
      {"Normal", [](TLineSeries& s) { return !s.Stairs && !s.Pointer.Visible() && s.LinePen().Visible(); }},
      {"Stairs", [](TLineSeries& s) { return s.Stairs; }},
      {"Points", [](TLineSeries& s) { return s.Pointer.Visible(); }},
      {"Height", [](TLineSeries& s) { return s.LineHeight == 5; }},
      {"Hollow", [](TLineSeries& s) { return s.LineBrush() == bsClear; }},
      {"Colors", [](TLineSeries& s) { return s.ColorEachPoint(); }},
      {"Marks", [](TLineSeries& s) { return s.Marks().Visible(); }},
      {"No Border", [](TLineSeries& s) { return !s.LinePen().Visible(); }},
      {"Outline", [](TLineSeries& s) { return s.OutLine.Visible(); }},
  };
  ASSERT_EQ(types.size(), std::size(table));
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(types[i], table[i].name);
    TLineSeries series;
    series.ApplySubType(static_cast<int32_t>(i));
    EXPECT_TRUE(table[i].applied(series)) << table[i].name;
  }
  TChartSeries plain;  // the base kind has nothing to apply
  plain.ApplySubType(1);
  EXPECT_FALSE(plain.ColorEachPoint());
}

}  // namespace
}  // namespace qira

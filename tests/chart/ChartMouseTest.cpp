#include <gtest/gtest.h>

#include "chart/Chart.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A 2D chart of 300 × 200 pixels whose series spans 0..100 on both axes, laid out.
struct ChartMouseFixture : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  TChartSeries series;
  TChart chart;
  int zooms = 0;

  void SetUp() override {
    chart.SetView3D(false);
    chart.resize(300, 200);
    series.AddXY(0, 0);
    series.AddXY(100, 100);
    chart.AddSeries(series);
    chart.BottomAxis().SetMinMax(0, 100);
    chart.LeftAxis().SetMinMax(0, 100);
    chart.OnZoom = [this] { ++zooms; };
    chart.CalcChartLayout();
  }
  TAxisRange Bottom() const { return {chart.BottomAxis().Minimum(), chart.BottomAxis().Maximum()}; }
  TAxisRange Left() const { return {chart.LeftAxis().Minimum(), chart.LeftAxis().Maximum()}; }
  void Drag(TMouseButton button, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    chart.MouseDown(button, 0, x0, y0);
    chart.MouseMove(0, x1, y1);
    chart.MouseUp(button, 0, x1, y1);
  }
};

struct PercentCase {
  const char* name;
  double percent;
  double min, max;  // of a 0..90 range
};

class ZoomPercentRangeTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(ZoomPercentRangeTest, MovesEachEndBySharesOfTheSpanWithoutCrossing) {
  const PercentCase& c = GetParam();
  const TAxisRange r = ZoomPercentRange(0, 90, c.percent);
  EXPECT_NEAR(r.Min, c.min, 1e-6);
  EXPECT_NEAR(r.Max, c.max, 1e-6);
  EXPECT_LT(r.Min, r.Max);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZoomPercentRangeTest,
    ::testing::Values(PercentCase{"ZoomInKeepsTheMiddleThird", 133.333333333, 30, 60},
                      PercentCase{"ZoomOutWidensToOneAndAHalf", 75, -22.5, 112.5},
                      PercentCase{"HundredKeepsTheRange", 100, 0, 90},
                      PercentCase{"HundredFiftyKeepsTwoPercent", 150, 44.1, 45.9},
                      PercentCase{"FarAboveHundredFiftyKeepsTwoPercent", 1000, 44.1, 45.9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartMouseFixture, ZoomPercentZoomsBothSideAxesAboutTheirCentresAndSavesTheScales) {
  chart.ZoomPercent(133.333333333);
  EXPECT_NEAR(Bottom().Min, 100.0 / 3, 1e-6);
  EXPECT_NEAR(Bottom().Max, 200.0 / 3, 1e-6);
  EXPECT_NEAR(Left().Min, 100.0 / 3, 1e-6);
  EXPECT_FALSE(chart.ScalesUnsaved());
  EXPECT_TRUE(chart.ZoomedState);
  EXPECT_EQ(zooms, 1);
  chart.UndoZoom();
  EXPECT_EQ(Bottom().Min, 0);
  EXPECT_EQ(Bottom().Max, 100);
  EXPECT_TRUE(chart.ScalesUnsaved());
  EXPECT_FALSE(chart.ZoomedState);
}

TEST_F(ChartMouseFixture, ZoomPercentOfHundredKeepsTheRangesButCountsAsAZoom) {
  chart.ZoomPercent(100);
  EXPECT_EQ(Bottom().Min, 0);
  EXPECT_EQ(Bottom().Max, 100);
  EXPECT_FALSE(chart.ScalesUnsaved());
  EXPECT_EQ(zooms, 1);
}

TEST_F(ChartMouseFixture, ARubberBandZoomsToTheValuesUnderItsCorners) {
  const TRect r = chart.ChartRect();
  const int32_t x0 = r.Left + 20, x1 = r.Left + 80, y0 = r.Top + 10, y1 = r.Top + 70;
  const double bMin = chart.BottomAxis().CalcPosPoint(x0), bMax = chart.BottomAxis().CalcPosPoint(x1);
  const double lMin = chart.LeftAxis().CalcPosPoint(y1), lMax = chart.LeftAxis().CalcPosPoint(y0);
  Drag(mbLeft, x0, y0, x1, y1);
  EXPECT_DOUBLE_EQ(Bottom().Min, bMin);
  EXPECT_DOUBLE_EQ(Bottom().Max, bMax);
  EXPECT_DOUBLE_EQ(Left().Min, lMin);
  EXPECT_DOUBLE_EQ(Left().Max, lMax);
  EXPECT_EQ(zooms, 1);
}

TEST_F(ChartMouseFixture, ADragOfMinimumPixelsDoesNothingOneMoreZooms) {
  const TRect r = chart.ChartRect();
  const int32_t m = chart.Zoom().MinimumPixels;
  Drag(mbLeft, r.Left + 10, r.Top + 10, r.Left + 10 + m, r.Top + 10 + m);
  EXPECT_EQ(zooms, 0);
  Drag(mbLeft, r.Left + 10, r.Top + 10, r.Left + 11 + m, r.Top + 11 + m);
  EXPECT_EQ(zooms, 1);
}

TEST_F(ChartMouseFixture, ADragToTheLeftUndoesUnlessUpLeftZooms) {
  chart.ZoomPercent(133.333333333);
  const TRect r = chart.ChartRect();
  Drag(mbLeft, r.Left + 80, r.Top + 10, r.Left + 20, r.Top + 70);
  EXPECT_EQ(Bottom().Min, 0);
  EXPECT_EQ(Bottom().Max, 100);
  chart.Zoom().UpLeftZooms = true;
  chart.CalcChartLayout();
  Drag(mbLeft, r.Left + 80, r.Top + 10, r.Left + 20, r.Top + 70);
  EXPECT_GT(Bottom().Min, 0);
}

TEST_F(ChartMouseFixture, AHorizontalZoomChangesOnlyTheTopAndBottomAxes) {
  chart.Zoom().Direction = tzdHorizontal;
  const TRect r = chart.ChartRect();
  Drag(mbLeft, r.Left + 20, r.Top + 30, r.Left + 80, r.Top + 31);
  EXPECT_GT(Bottom().Min, 0);
  EXPECT_EQ(Left().Min, 0);
  EXPECT_EQ(Left().Max, 100);
}

TEST_F(ChartMouseFixture, PanningMovesTheRangeWithTheMouse) {
  const TRect r = chart.ChartRect();
  const int32_t x = r.Left + 100, y = r.Top + 50;
  const double moved = chart.BottomAxis().CalcPosPoint(x) - chart.BottomAxis().CalcPosPoint(x + 40);
  chart.MouseDown(mbRight, 0, x, y);
  chart.MouseMove(0, x + 40, y);
  chart.MouseUp(mbRight, 0, x + 40, y);
  EXPECT_DOUBLE_EQ(Bottom().Min, moved);
  EXPECT_DOUBLE_EQ(Bottom().Max, 100 + moved);
  EXPECT_LT(moved, 0);
  EXPECT_EQ(Left().Min, 0);  // the pointer did not move vertically
  EXPECT_FALSE(chart.ScalesUnsaved());
}

TEST_F(ChartMouseFixture, HorizontalPanningNeverMovesTheVerticalAxes) {
  chart.AllowPanning = pmHorizontal;
  const TRect r = chart.ChartRect();
  chart.MouseDown(mbRight, 0, r.Left + 50, r.Top + 20);
  chart.MouseMove(0, r.Left + 70, r.Top + 60);
  EXPECT_EQ(Left().Min, 0);
  EXPECT_EQ(Left().Max, 100);
  EXPECT_NE(Bottom().Min, 0);
}

TEST_F(ChartMouseFixture, UndoAfterAPanBeyondTheOldRangeRestoresBothEnds) {
  // An automatic axis panned further than its span: its saved minimum lies above the
  // panned range's maximum on the way back.
  chart.BottomAxis().SetAutomatic(true);
  chart.CalcChartLayout();
  const double autoMin = chart.BottomAxis().MinAxis(), autoMax = chart.BottomAxis().MaxAxis();
  const int32_t width = chart.ChartRect().Width();
  const TRect r = chart.ChartRect();
  for (int i = 0; i < 3; ++i) Drag(mbRight, r.Left + width - 1, r.Top + 5, r.Left, r.Top + 5);
  ASSERT_GT(chart.BottomAxis().Minimum(), autoMax);
  chart.UndoZoom();
  EXPECT_TRUE(chart.BottomAxis().Automatic());
  chart.CalcChartLayout();
  EXPECT_EQ(chart.BottomAxis().MinAxis(), autoMin);
  EXPECT_EQ(chart.BottomAxis().MaxAxis(), autoMax);
  EXPECT_EQ(Left().Max, 100);
}

TEST_F(ChartMouseFixture, AScrollVetoKeepsTheAxis) {
  chart.OnAllowScroll = [](TCustomChart&, TChartAxis&, double&, double&, bool& allow) { allow = false; };
  EXPECT_FALSE(chart.PanAxes(true, 10, 50));
  EXPECT_EQ(Bottom().Min, 0);
}

TEST_F(ChartMouseFixture, AWheelNotchScrollsTheVerticalAxesByThreePercent) {
  chart.DoMouseWheelDown();
  EXPECT_DOUBLE_EQ(Left().Min, 3);
  EXPECT_DOUBLE_EQ(Left().Max, 103);
  chart.DoMouseWheelUp();
  EXPECT_NEAR(Left().Min, 0, 1e-9);
  EXPECT_EQ(Bottom().Min, 0);
}

TEST(ChartMouse, APressInTheChartRectangleWithoutSeriesOnlyReachesTheBackground) {
  EnsureTestApplication();
  TChart chart;
  chart.SetView3D(false);
  chart.resize(300, 200);
  chart.CalcChartLayout();
  int clicks = 0;
  chart.OnClickBackground = [&](TCustomChart&, TMouseButton, TShiftState, int32_t, int32_t) { ++clicks; };
  const TRect r = chart.ChartRect();
  chart.MouseDown(mbLeft, 0, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(chart.Zoom().Active);
}

}  // namespace
}  // namespace qira

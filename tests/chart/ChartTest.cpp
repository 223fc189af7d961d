#include <gtest/gtest.h>

#include <vector>

#include "chart/Chart.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

struct ChartFixture : ::testing::Test {
  void SetUp() override { EnsureTestApplication(); }
};

TEST_F(ChartFixture, ATransparentBackWallShowsThePanelColour) {
  TChart chart;
  chart.SetColor(clWhite);
  EXPECT_EQ(chart.BackgroundColor(), clWhite);
  chart.BackWall().SetTransparent(false);
  chart.BackWall().SetColor(clRed);
  EXPECT_EQ(chart.BackgroundColor(), clRed);
}

TEST_F(ChartFixture, RemoveAllSeriesDetachesTheFirstSeriesEachTimeWithoutFreeing) {
  TChartSeries a, b, c;
  TChart chart;
  std::vector<TChartSeries*> removed;
  chart.OnRemoveSeries = [&](TChartSeries& s) { removed.push_back(&s); };
  chart.RemoveAllSeries();
  EXPECT_TRUE(removed.empty());
  for (TChartSeries* s : {&a, &b, &c}) chart.AddSeries(*s);
  chart.RemoveAllSeries();
  EXPECT_EQ(removed, (std::vector<TChartSeries*>{&a, &b, &c}));
  EXPECT_EQ(chart.SeriesCount(), 0);
  EXPECT_EQ(a.ParentChart(), nullptr);
  EXPECT_EQ(c.Count(), 0);  // still a live object
}

TEST_F(ChartFixture, A2DChartHasNoWallThickness) {
  TChart chart;
  chart.SetView3D(false);
  chart.LeftWall().SetSize(8);
  chart.BackWall().SetSize(8);
  for (TChartAxis* axis : chart.AxesList()) EXPECT_EQ(chart.WallThicknessFor(*axis), 0);
  chart.SetView3D(true);
  EXPECT_EQ(chart.WallThicknessFor(chart.LeftAxis()), 8);
}

TEST_F(ChartFixture, TheLayoutLeavesTheAxesRoomAndMapsTheirRangesOntoTheChartRectangle) {
  TChartSeries series;
  TChart chart;
  chart.SetView3D(false);
  chart.resize(400, 300);
  series.AddXY(0, 0);
  series.AddXY(10, 20);
  chart.AddSeries(series);
  chart.BottomAxis().SetMinMax(0, 10);
  chart.LeftAxis().SetMinMax(0, 20);
  chart.CalcChartLayout();
  const TRect r = chart.ChartRect();
  EXPECT_GT(r.Left, 0);
  EXPECT_LT(r.Bottom, 300);
  EXPECT_EQ(chart.BottomAxis().CalcXPosValue(0), r.Left);
  EXPECT_EQ(chart.LeftAxis().CalcYPosValue(0), r.Bottom);
  EXPECT_EQ(chart.LeftAxis().CalcYPosValue(20), r.Top);
}

TEST_F(ChartFixture, AVisibleLegendTakesItsRoomAndAnswersTheHitTest) {
  TChartSeries series;
  TChart chart;
  chart.SetView3D(false);
  chart.resize(400, 300);
  series.SetTitle("Hole");
  series.AddXY(0, 0);
  series.AddXY(10, 20);
  chart.AddSeries(series);
  chart.Legend.SetVisible(false);
  chart.CalcChartLayout();
  const TRect without = chart.ChartRect();
  chart.Legend.SetVisible(true);
  chart.CalcChartLayout();
  const TRect with = chart.ChartRect();
  EXPECT_LT(with.Right, without.Right);  // the legend stands at the right by default
  const TRect legend = chart.Legend.ShapeBounds;
  EXPECT_EQ(chart.HitTestPart((legend.Left + legend.Right) / 2, (legend.Top + legend.Bottom) / 2, false).Part,
            cpLegend);
}

}  // namespace
}  // namespace qira

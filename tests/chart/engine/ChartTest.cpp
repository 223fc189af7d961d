#include <gtest/gtest.h>

#include <vector>

#include <clocale>
#include <string>

#include "chart/draw/ChartRoutines.h"
#include "chart/engine/Chart.h"
#include "chart/engine/ChartPalettes.h"
#include "support/CommaDecimalLocale.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

struct ChartFixture : ::testing::Test {
  void SetUp() override { EnsureTestApplication(); }
};

// A 2D chart of the given size with one series from (0, 0) to (xMax, yMax).
struct TwoPointChart {
  TChart chart;
  TChartSeries& series = chart.AddSeries(std::make_unique<TChartSeries>());
  TwoPointChart(int32_t width, int32_t height, double xMax, double yMax) {
    chart.SetView3D(false);
    chart.resize(width, height);
    series.AddXY(0, 0);
    series.AddXY(xMax, yMax);
  }
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
  TChart chart;
  std::vector<TChartSeries*> removed;
  chart.OnRemoveSeries = [&](TChartSeries& s) { removed.push_back(&s); };
  EXPECT_TRUE(chart.RemoveAllSeries().empty());
  EXPECT_TRUE(removed.empty());
  std::vector<TChartSeries*> added;
  for (int i = 0; i < 3; ++i) added.push_back(&chart.AddSeries(std::make_unique<TChartSeries>()));
  const std::vector<std::unique_ptr<TChartSeries>> back = chart.RemoveAllSeries();
  EXPECT_EQ(removed, added);
  EXPECT_EQ(chart.SeriesCount(), 0);
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].get(), added[i]);  // handed back in order, not freed
    EXPECT_EQ(back[i]->ParentChart(), nullptr);
  }
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
  TwoPointChart c(400, 300, 10, 20);
  TChart& chart = c.chart;
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
  TChart chart;
  chart.SetView3D(false);
  chart.resize(400, 300);
  auto owned = std::make_unique<TChartSeries>();
  owned->SetTitle("Hole");
  owned->AddXY(0, 0);
  owned->AddXY(10, 20);
  chart.AddSeries(std::move(owned));
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

TEST_F(ChartFixture, ChoosingAPaletteRecoloursTheSeriesWithoutAColourOfTheirOwn) {
  TChart chart;
  auto red = std::make_unique<TChartSeries>();
  red->SetSeriesColor(clRed);
  TChartSeries& first = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartSeries& fixed = chart.AddSeries(std::move(red));
  TChartSeries& second = chart.AddSeries(std::make_unique<TChartSeries>());
  const std::span<const TColor> solid = ColorPaletteColors(4);
  chart.SetColorPaletteIndex(4);
  EXPECT_EQ(chart.ColorPaletteIndex, 4);
  EXPECT_EQ(first.SeriesColor(), solid[0]);
  ASSERT_EQ(solid[1], clRed);
  EXPECT_EQ(second.SeriesColor(), solid[2]);  // red is the fixed series' already
  EXPECT_EQ(fixed.SeriesColor(), clRed);
  chart.SetColorPaletteIndex(0);  // back to the library's default sequence, red first
  EXPECT_TRUE(chart.ColorPalette.empty());
  EXPECT_EQ(first.SeriesColor(), GetDefaultColor(1));
  EXPECT_EQ(second.SeriesColor(), GetDefaultColor(2));
}

// The texts a chart's left axis draws for values 0 .. 2000 by 500 with decimals.
std::vector<std::string> LeftAxisTexts() {
  TwoPointChart c(300, 400, 1, 2000);
  TChart& chart = c.chart;
  chart.LeftAxis().SetMinMax(0, 2000);
  chart.LeftAxis().SetIncrement(500);
  chart.LeftAxis().SetAxisValuesFormat("#,##0.0");
  chart.CalcChartLayout();
  std::vector<std::string> texts;
  for (int32_t i = 0; i < chart.LeftAxis().Items.Count(); ++i) texts.push_back(chart.LeftAxis().Items[i].Text());
  return texts;
}

TEST_F(ChartFixture, AxisLabelsFollowTheUsersDecimalAndThousandsSeparators) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  const std::vector<std::string> plain = LeftAxisTexts();
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(plain, (std::vector<std::string>{"2,000.0", "1,500.0", "1,000.0", "500.0", "0.0"}));
  const TCommaDecimalLocale comma;
  ASSERT_TRUE(comma.CLocaleSwitched()) << "no decimal-comma locale; run scripts/setup";
  EXPECT_EQ(LeftAxisTexts(), (std::vector<std::string>{"2.000,0", "1.500,0", "1.000,0", "500,0", "0,0"}));
}

TEST_F(ChartFixture, AnAxisItemDrawsItsOwnFrameUnderItsText) {
  TwoPointChart c(300, 200, 100, 100);
  TChart& chart = c.chart;
  chart.BottomAxis().SetMinMax(0, 100);
  TAxisItem& item = chart.BottomAxis().Items.Add(50, "fifty");
  constexpr TColor Frame = 0x3366CC;  // a colour nothing else of the chart has
  auto framePixels = [&] {
    chart.CalcChartLayout();
    const TBitmap& shown = chart.ControlCanvas();
    int32_t n = 0;
    for (int32_t y = 0; y < shown.Height(); ++y)
      for (int32_t x = 0; x < shown.Width(); ++x) n += shown.Pixel(x, y) == Frame;
    return n;
  };
  item.SetColor(Frame);
  item.Brush().SetColor(Frame);
  EXPECT_EQ(framePixels(), 0);  // transparent by default
  item.SetTransparent(false);
  EXPECT_GT(framePixels(), 50);
  // The frame lies around the label, below the axis line, centred on its value.
  const TRect frame = item.ShapeBounds;
  const int32_t p = chart.BottomAxis().CalcPosValue(50);
  EXPECT_LT(frame.Left, p);
  EXPECT_GT(frame.Right, p);
  EXPECT_GT(frame.Top, chart.BottomAxis().PosAxis());
}

TEST_F(ChartFixture, TheGridSuppressionFlagsLeaveOutTheBackWallOrTheFloorPartOfTheGrid) {
  TwoPointChart c(400, 300, 100, 100);
  TChart& chart = c.chart;
  chart.SetView3D(true);
  chart.BottomAxis().SetMinMax(0, 100);
  chart.CalcChartLayout();
  const TRect r = chart.ChartRect();
  const int32_t rise = chart.Canvas()->Calculate3DPosition(r.Left, r.Bottom, chart.DepthWidth).Y;
  ASSERT_LT(rise, r.Bottom - 8);  // the back of the floor lies well above its front
  struct Ink {
    int32_t wall, floor;
  };
  auto grid = [&](bool hideBack, bool hideSide) {
    TBitmap& shown = chart.ControlCanvas();
    shown.Canvas().SetBrush(TBrush{clWhite, bsSolid});
    shown.Canvas().FillRect({0, 0, shown.Width(), shown.Height()});
    TChartAxis& axis = chart.BottomAxis();
    axis.HideBackGrid = hideBack;
    axis.HideSideGrid = hideSide;
    axis.DrawGrid();
    axis.HideBackGrid = axis.HideSideGrid = false;
    Ink ink{0, 0};
    for (int32_t y = 0; y < shown.Height(); ++y)
      for (int32_t x = 0; x < shown.Width(); ++x) {
        if (shown.Pixel(x, y) == clWhite) continue;
        if (y < rise - 1) ++ink.wall;  // only back-wall lines reach above the floor
        if (y > (rise + r.Bottom) / 2) ++ink.floor;
      }
    return ink;
  };
  const Ink all = grid(false, false), noBack = grid(true, false), noSide = grid(false, true);
  EXPECT_GT(all.wall, 0);
  EXPECT_GT(all.floor, 0);
  EXPECT_EQ(noBack.wall, 0);
  EXPECT_EQ(noBack.floor, all.floor);
  EXPECT_EQ(noSide.wall, all.wall);
  EXPECT_EQ(noSide.floor, 0);
}

TEST_F(ChartFixture, DepthLabelsSeenFromTheFrontSitHalfALineDeeperThanTheirTicks) {
  TwoPointChart c(400, 300, 100, 100);
  TChart& chart = c.chart;
  chart.SetView3D(true);
  chart.DepthAxis().SetVisible(true);
  std::vector<int32_t> depths;
  int32_t half = 0;
  chart.DepthAxis().OnDrawLabel = [&](TChartAxis&, int32_t&, int32_t&, int32_t& z, std::string&, bool&) {
    depths.push_back(z);
    half = chart.Canvas()->FontHeight() / 2;
  };
  auto offsets = [&] {
    depths.clear();
    chart.CalcChartLayout();
    const std::vector<int32_t>& ticks = chart.DepthAxis().TickPositions();
    std::vector<int32_t> result;
    for (size_t i = 0; i < depths.size() && i < ticks.size(); ++i) result.push_back(depths[i] - ticks[i]);
    return result;
  };
  const std::vector<int32_t> front = offsets();  // orthogonal by default
  ASSERT_FALSE(front.empty());
  EXPECT_GT(half, 0);
  for (int32_t d : front) EXPECT_EQ(d, half);
  chart.View3DOptions().SetOrthogonal(false);
  chart.View3DOptions().SetRotation(345);
  for (int32_t d : offsets()) EXPECT_EQ(d, 0);
}

}  // namespace
}  // namespace qira

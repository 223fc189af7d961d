#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>

#include "TwoPointChart.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A 2D chart of 300 × 200 pixels whose series spans 0..100 on both axes, laid out.
struct ChartMouseFixture : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  TChart chart;
  TChartSeries& series = test::SetUpTwoPointChart<TChartSeries>(chart);
  int zooms = 0;

  void SetUp() override {
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

// A 2D chart with a line series through (0, 0), (50, 50) and (100, 100), laid out.
struct SeriesClickFixture : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  TChart chart;
  TLineSeries& series = chart.AddSeries(std::make_unique<TLineSeries>());

  void SetUp() override {
    chart.SetView3D(false);
    chart.resize(300, 200);
    for (double v : {0.0, 50.0, 100.0}) series.AddXY(v, v);
    chart.CalcChartLayout();
  }
  TPoint Pixel(int32_t index) const { return {series.CalcXPos(index), series.CalcYPos(index)}; }
  // A pixel of the chart rectangle far from the diagonal line.
  TPoint Away() const { return {chart.BottomAxis().CalcPosValue(90), chart.LeftAxis().CalcPosValue(10)}; }
};

TEST_F(SeriesClickFixture, AClickOnAPointReachesOnClickSeriesWithTheSeriesAndThePointIndex) {
  TChartSeries* clicked = nullptr;
  int32_t index = -1, seriesClicks = 0;
  chart.OnClickSeries = [&](TCustomChart&, TChartSeries& s, int32_t valueIndex, TMouseButton, TShiftState, int32_t,
                            int32_t) {
    clicked = &s;
    index = valueIndex;
  };
  series.OnClick = [&](TChartSeries&, int32_t valueIndex, TMouseButton, TShiftState, int32_t, int32_t) {
    EXPECT_EQ(valueIndex, 1);
    ++seriesClicks;
  };
  const TPoint p = Pixel(1);
  EXPECT_EQ(chart.HitTestPart(p.X, p.Y, true).Part, cpSeries);
  chart.MouseDown(mbLeft, 0, p.X, p.Y);
  EXPECT_EQ(clicked, &series);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(seriesClicks, 1);
  // The click was the series': no rubber band started under it.
  EXPECT_FALSE(chart.Zoom().Active);
}

TEST_F(SeriesClickFixture, ADoubleClickFiresOnDblClickNotOnClick) {
  int clicks = 0, doubleClicks = 0;
  series.OnClick = [&](TChartSeries&, int32_t, TMouseButton, TShiftState, int32_t, int32_t) { ++clicks; };
  series.OnDblClick = [&](TChartSeries&, int32_t, TMouseButton, TShiftState, int32_t, int32_t) { ++doubleClicks; };
  const TPoint p = Pixel(1);
  chart.MouseDown(mbLeft, ssDouble, p.X, p.Y);
  chart.MouseUp(mbLeft, 0, p.X, p.Y);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(doubleClicks, 1);
  // The window system's double click arrives the same way.
  const QPoint at(p.X, p.Y);
  QMouseEvent event(QEvent::MouseButtonDblClick, at, chart.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&chart, &event);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(doubleClicks, 2);
}

TEST_F(SeriesClickFixture, ASeriesIsHitTestedOnlyWhenSomeoneListens) {
  const TPoint p = Pixel(1);
  // Nobody listens to series clicks: the press belongs to the chart rectangle.
  EXPECT_EQ(chart.HitTestPart(p.X, p.Y, true).Part, cpChartRect);
  const TChartClickedPart part = chart.HitTestPart(p.X, p.Y, false);
  EXPECT_EQ(part.Part, cpSeries);
  EXPECT_EQ(part.ASeries, &series);
  EXPECT_EQ(part.PointIndex, 1);
  const TPoint away = Away();
  EXPECT_EQ(chart.HitTestPart(away.X, away.Y, false).Part, cpChartRect);
  // A visible pointer with its own click event listens too.
  series.Pointer.SetVisible(true);
  series.OnClickPointer = [](TCustomSeries&, int32_t, int32_t, int32_t) {};
  EXPECT_EQ(chart.HitTestPart(p.X, p.Y, true).Part, cpSeries);
}

TEST_F(SeriesClickFixture, In3DAClickOnTheRibbonBetweenTwoPointsHitsTheFirstOfThem) {
  chart.SetView3D(true);
  chart.CalcChartLayout();
  ASSERT_GT(series.EndZ(), series.StartZ() + 2);
  const TPoint a = Pixel(0), b = Pixel(1);
  const TPoint onRibbon =
      chart.Canvas()->Calculate3DPosition((a.X + b.X) / 2, (a.Y + b.Y) / 2, (series.StartZ() + series.EndZ()) / 2);
  EXPECT_EQ(series.Clicked(onRibbon.X, onRibbon.Y), 0);
  const TPoint away = Away();
  EXPECT_EQ(series.Clicked(away.X, away.Y), -1);
}

TEST_F(SeriesClickFixture, AHitTestOnASeriesWithoutItsPointsFindsNothing) {
  const TPoint middle = Pixel(1), last = Pixel(2);
  // Deleted after the frame that computed the visible points: never looked at.
  series.Delete(2);
  EXPECT_EQ(series.Clicked(last.X, last.Y), -1);
  series.Clear();
  EXPECT_EQ(series.Clicked(middle.X, middle.Y), -1);
  EXPECT_EQ(chart.HitTestPart(middle.X, middle.Y, false).Part, cpChartRect);
  TChartSeries plain;  // a kind without points of its own to hit
  EXPECT_EQ(plain.Clicked(0, 0), -1);
}

TEST_F(SeriesClickFixture, HoveringShowsTheSeriesCursorAndFiresEnterAndLeaveOnceEach) {
  int enters = 0, leaves = 0;
  series.Cursor = crChartHand;
  series.OnMouseEnter = [&](TChartSeries&) { ++enters; };
  series.OnMouseLeave = [&](TChartSeries&) { ++leaves; };
  const TPoint a = Pixel(1), b = Pixel(2), away = Away();
  chart.MouseMove(0, a.X, a.Y);
  EXPECT_EQ(chart.cursor().shape(), Qt::PointingHandCursor);
  chart.MouseMove(0, b.X, b.Y);  // still over the series
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(leaves, 0);
  chart.MouseMove(0, away.X, away.Y);
  chart.MouseMove(0, away.X + 1, away.Y);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(chart.cursor().shape(), Qt::ArrowCursor);
}

// Pixels of two frames that differ, within a rectangle (right and bottom exclusive).
int32_t Changed(const QImage& a, const QImage& b, const TRect& r) {
  int32_t n = 0;
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

TEST_F(SeriesClickFixture, AFrameGrabbedDuringADragShowsTheRubberBandAndTheReleaseTakesItAway) {
  const QImage before = chart.grab().toImage();
  // In the upper left of the chart rectangle, away from the rising line.
  const TRect r = chart.ChartRect();
  const int32_t x0 = r.Left + 20, y0 = r.Top + 10, x1 = r.Left + 60, y1 = r.Top + 50;
  chart.MouseDown(mbLeft, 0, x0, y0);
  chart.MouseMove(0, x1, y1);
  const QImage during = chart.grab().toImage();
  // The band's top and left edges are drawn (inverted) over most of their length...
  EXPECT_GT(Changed(before, during, {x0, y0, x1, y0 + 1}), (x1 - x0) / 2);
  EXPECT_GT(Changed(before, during, {x0, y0, x0 + 1, y1}), (y1 - y0) / 2);
  // ...and nothing inside or outside it changed.
  EXPECT_EQ(Changed(before, during, {x0 + 2, y0 + 2, x1 - 2, y1 - 2}), 0);
  EXPECT_EQ(Changed(before, during, {0, 0, 300, y0 - 1}), 0);
  // A second move draws the band at the new corner only.
  chart.MouseMove(0, x1 + 10, y1);
  const QImage moved = chart.grab().toImage();
  EXPECT_EQ(Changed(before, moved, {x1 - 1, y0 + 2, x1 + 2, y1 - 2}), 0);
  // (The right edge lies on the last column before the corner, as every rectangle's.)
  EXPECT_GT(Changed(before, moved, {x1 + 9, y0, x1 + 10, y1}), (y1 - y0) / 2);
  // Released short of MinimumPixels, nothing zooms and the band is gone.
  chart.MouseMove(0, x0 + 5, y0 + 5);
  chart.MouseUp(mbLeft, 0, x0 + 5, y0 + 5);
  EXPECT_EQ(Changed(before, chart.grab().toImage(), {0, 0, 300, 200}), 0);
}

TEST(ChartMouse, In3DTheRightAxisIsHitWhereItIsDrawnAtTheBack) {
  EnsureTestApplication();
  TChart chart;
  chart.resize(300, 200);
  TLineSeries& series = chart.AddSeries(std::make_unique<TLineSeries>());
  series.AddXY(0, 0);
  series.AddXY(100, 100);
  series.SetVertAxis(aRightAxis);
  chart.CalcChartLayout();
  TChartAxis& right = chart.RightAxis();
  ASSERT_TRUE(right.Shown());
  ASSERT_GT(chart.DepthWidth, 4);
  const TPoint drawn = chart.Canvas()->Calculate3DPosition(right.PosAxis(), right.ICenterPos(), chart.DepthWidth);
  const TChartClickedPart part = chart.HitTestPart(drawn.X, drawn.Y, false);
  EXPECT_EQ(part.Part, cpAxis);
  EXPECT_EQ(part.AAxis, &right);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <memory>

#include "chart/draw/ChartGradients.h"
#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

constexpr TColor kBlue = 0xC00000;
constexpr TColor kGreen = 0x00A000;

// A white 3D chart of 320 × 240 pixels without walls; its line series are painted
// with a fixed projection read back from the chart's canvas.
struct Line3DChart : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  // Made here and handed to the chart (Add), which owns them then.
  std::unique_ptr<TLineSeries> frontOwner = std::make_unique<TLineSeries>();
  std::unique_ptr<TLineSeries> backOwner = std::make_unique<TLineSeries>();
  TLineSeries& front = *frontOwner;
  TLineSeries& back = *backOwner;
  TChart chart;
  std::unique_ptr<TBitmap> picture;

  void SetUp() override {
    chart.SetColor(clWhite);
    chart.Legend.SetVisible(false);
    chart.SetView3DWalls(false);
    chart.SetChart3DPercent(30);
    chart.resize(320, 240);
    back.SetSeriesColor(kGreen);
    front.SetSeriesColor(kBlue);
    front.Dark3D = back.Dark3D = false;
  }
  void Add(TLineSeries& s, std::initializer_list<std::pair<double, double>> points) {
    for (const auto& [x, y] : points) s.AddXY(x, y);
    chart.AddSeries(std::move(&s == &front ? frontOwner : backOwner));
  }
  void Draw() {
    picture = chart.CreateChartBitmap(clWhite, {0, 0, 320, 240});
    // The projection stays as the frame left it.
  }
  // The pixel of a 3D point of the chart.
  TColor At3D(int32_t x, int32_t y, int32_t z) {
    const TPoint p = chart.ChartCanvas().Calculate3DPosition(x, y, z);
    return picture->Pixel(p.X, p.Y);
  }
  TPoint Pixel(const TLineSeries& s, int32_t i) const { return {s.CalcXPos(i), s.CalcYPos(i)}; }
};

TEST_F(Line3DChart, EachSeriesTakesItsOwnSliceOfTheDepthByItsZOrder) {
  Add(back, {{0, 10}, {10, 10}});
  Add(front, {{0, 30}, {10, 30}});
  Draw();
  const int32_t d = chart.SeriesDepth();
  ASSERT_GT(d, 4);
  EXPECT_EQ(front.StartZ(), 0);
  EXPECT_EQ(front.EndZ(), d);
  EXPECT_EQ(back.StartZ(), d);
  EXPECT_EQ(back.EndZ(), 2 * d);
  const int32_t x = (Pixel(front, 0).X + Pixel(front, 1).X) / 2;
  EXPECT_EQ(At3D(x, Pixel(front, 0).Y, d / 2), kBlue);
  EXPECT_EQ(At3D(x, Pixel(back, 0).Y, d + d / 2), kGreen);
  // Nothing of the back series in the front slice.
  EXPECT_NE(At3D(x, Pixel(back, 0).Y, d / 2), kGreen);
}

TEST_F(Line3DChart, StackedSeriesShareOneSliceOfTheDepth) {
  Add(back, {{0, 10}, {10, 10}});
  Add(front, {{0, 30}, {10, 30}});
  front.SetStacked(cssStack);
  EXPECT_EQ(back.Stacked(), cssStack);
  Draw();
  EXPECT_EQ(front.ZOrderInUse(), back.ZOrderInUse());
  EXPECT_EQ(front.StartZ(), back.StartZ());
  EXPECT_EQ(chart.Depth3D(), chart.SeriesDepth());
  EXPECT_TRUE(front.MoreSameZOrder());
}

TEST_F(Line3DChart, ABandHangsBelowTheLineAndAPlaneClosesItsEnd) {
  front.LineHeight = 12;
  Add(front, {{0, 30}, {10, 30}});
  Draw();
  const TPoint last = Pixel(front, 1);
  const int32_t middleZ = (front.StartZ() + front.EndZ()) / 2;
  // The band's front face, at the series' front.
  EXPECT_EQ(At3D((Pixel(front, 0).X + last.X) / 2, last.Y + 6, front.StartZ()), kBlue);
  // The closing plane: right of the ribbon's end, below its edge.
  EXPECT_EQ(At3D(last.X, last.Y + 6, middleZ), kBlue);
  front.LineHeight = 0;
  Draw();
  EXPECT_NE(At3D(last.X, last.Y + 6, middleZ), kBlue);
}

TEST_F(Line3DChart, ABandOfDepthZeroStillShowsItsFrontFace) {
  front.LineHeight = 12;
  front.Depth = 0;
  Add(front, {{0, 30}, {10, 30}});
  Draw();
  EXPECT_EQ(front.EndZ(), front.StartZ());
  EXPECT_EQ(At3D((Pixel(front, 0).X + Pixel(front, 1).X) / 2, Pixel(front, 1).Y + 6, front.StartZ()), kBlue);
}

TEST_F(Line3DChart, AVisibleGradientFillsTheRibbonAndTransparencyBlendsIt) {
  Add(front, {{0, 30}, {10, 30}});
  Draw();
  const int32_t x = (Pixel(front, 0).X + Pixel(front, 1).X) / 2, y = Pixel(front, 0).Y;
  const int32_t z = (front.StartZ() + front.EndZ()) / 2;
  ASSERT_EQ(At3D(x, y, z), kBlue);
  front.Gradient.SetVisible(true);
  front.Gradient.SetStartColor(clRed);
  front.Gradient.SetEndColor(clRed);
  Draw();
  EXPECT_EQ(At3D(x, y, z), clRed);
  front.Gradient.SetVisible(false);
  front.Transparency = 50;
  // On screen (a picture for printing is drawn without reading pixels back).
  chart.CalcChartLayout();
  const TPoint at = chart.ChartCanvas().Calculate3DPosition(x, y, z);
  const TColor mixed = chart.ControlCanvas().Pixel(at.X, at.Y);
  EXPECT_NE(mixed, kBlue);
  EXPECT_NE(mixed, clWhite);
}

TEST_F(Line3DChart, RibbonsRisingMoreSteeplyThanTheDepthRunsAreDarkened) {
  front.Dark3D = true;
  Add(front, {{0, 0}, {1, 100}, {10, 100}});
  chart.BottomAxis().SetMinMax(0, 10);
  Draw();
  EXPECT_GT(chart.SeriesHeight(), 0);
  const int32_t z = (front.StartZ() + front.EndZ()) / 2;
  const TPoint p0 = Pixel(front, 0), p1 = Pixel(front, 1), p2 = Pixel(front, 2);
  EXPECT_EQ(At3D((p0.X + p1.X) / 2, (p0.Y + p1.Y) / 2, z), DarkenColor(kBlue, 64));
  EXPECT_EQ(At3D((p1.X + p2.X) / 2, p2.Y, z), kBlue);  // flat: not darkened
}

TEST_F(Line3DChart, AnAreaShowsItsFrontFaceAndADarkSidePlaneAtTheEndOfEachRun) {
  front.DrawArea = true;
  front.Dark3D = true;
  front.AddXY(0, 50);
  front.AddXY(1, 60);
  front.AddNullXY(2, 0);
  front.AddXY(3, 40);
  front.AddXY(4, 50);
  chart.AddSeries(std::move(frontOwner));
  chart.LeftAxis().SetMinMax(0, 100);
  Draw();
  ASSERT_TRUE(front.IsNull(2));
  const int32_t z0 = front.StartZ(), zMiddle = (front.StartZ() + front.EndZ()) / 2;
  const TPoint p0 = Pixel(front, 0), p1 = Pixel(front, 1), p4 = Pixel(front, 4);
  const int32_t origin = front.CalcZeroPos(0);
  EXPECT_EQ(At3D((p0.X + p1.X) / 2, (p0.Y + origin) / 2, z0), kBlue);  // front face
  // The run ends before the null point and at the last point.
  EXPECT_EQ(At3D(p1.X, (p1.Y + origin) / 2, zMiddle), DarkenColor(kBlue, 64));
  EXPECT_EQ(At3D(p4.X, (p4.Y + origin) / 2, zMiddle), DarkenColor(kBlue, 64));
}

// A pointer's gradient covers its front face in 3D as in 2D, on orthogonal and on
// turned views.
TEST_F(Line3DChart, APointersGradientFillsItsFrontFaceIn3D) {
  constexpr TColor kGradient = 0x00C0FF;
  front.Pointer.SetVisible(true);
  front.Pointer.Draw3D = false;
  front.Pointer.SetHorizSize(6);
  front.Pointer.SetVertSize(6);
  front.Pointer.Gradient().SetStartColor(kGradient);
  front.Pointer.Gradient().SetEndColor(kGradient);
  front.Pointer.Gradient().SetVisible(true);
  front.LinePen().Hide();
  Add(front, {{0, 20}, {5, 25}, {10, 30}});
  for (const bool orthogonal : {true, false}) {
    SCOPED_TRACE(orthogonal ? "orthogonal" : "turned");
    chart.View3DOptions().SetOrthogonal(orthogonal);
    Draw();
    for (const TSeriesPointerStyle style : {psRectangle, psDiamond}) {
      front.Pointer.Style = style;
      Draw();
      const TPoint p = Pixel(front, 1);
      EXPECT_EQ(At3D(p.X, p.Y, front.StartZ()), kGradient) << style;
      const bool corner = At3D(p.X - 5, p.Y - 5, front.StartZ()) == kGradient;
      EXPECT_EQ(corner, style == psRectangle) << style;
    }
  }
}

}  // namespace
}  // namespace qira

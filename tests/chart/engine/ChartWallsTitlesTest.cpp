#include <gtest/gtest.h>

#include <memory>

#include "chart/draw/ChartFilters.h"
#include "chart/engine/ChartTitles.h"
#include "chart/engine/ChartWalls.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// The chart component's wall and title steps, on an axis panel.
class WalledChart : public TCustomAxisPanel {
 public:
  WalledChart() : walls(this), title(this), foot(this) {}
  TChartWalls walls;
  TChartTitle title;
  TChartFootTitle foot;
  TRect rectBeforeTitles, rectAfterTitles;

 protected:
  void PaintTitlesAndLegend(bool beforeSeries) override {
    if (!beforeSeries) return;
    rectBeforeTitles = ChartRect();
    title.DrawTitle();
    foot.DrawTitle();
    rectAfterTitles = ChartRect();
  }
  void PaintWalls() override {
    if (walls.Back.Visible()) walls.Back.DrawWall();
    if (View3D() && walls.Left.Visible()) walls.Left.DrawWall();
    if (View3D() && walls.Bottom.Visible()) walls.Bottom.DrawWall();
  }
};

struct ApplicationFirst {
  ApplicationFirst() { EnsureTestApplication(); }
};

struct WallsTitlesFixture : ::testing::Test, ApplicationFirst {
  void SetUp() override {
    chart.SetView3D(false);
    chart.resize(300, 200);
    chart.SetColor(clWhite);
    chart.Border().Hide();
    chart.SetBevelOuter(bvNone);
    chart.Shadow().SetVisible(false);
  }
  std::unique_ptr<TBitmap> Render() { return chart.CreateChartBitmap(clWhite, {0, 0, 300, 200}); }
  WalledChart chart;
};

TEST_F(WallsTitlesFixture, KindsStartWithTheirOwnColoursAndStoreOnlyOthers) {
  EXPECT_EQ(chart.walls.Back.Color(), clSilver);
  EXPECT_TRUE(chart.walls.Back.Transparent());
  EXPECT_EQ(chart.walls.Left.Color(), 0x80FFFFu);
  EXPECT_FALSE(chart.walls.Left.ColorStored());
  chart.walls.Left.SetColor(clRed);
  EXPECT_TRUE(chart.walls.Left.ColorStored());
  EXPECT_EQ(chart.walls.Bottom.Color(), clWhite);
  EXPECT_FALSE(chart.walls.Right.Visible());
}

TEST_F(WallsTitlesFixture, WallsStreamTheirColourOnlyWhenItDiffersFromTheirKinds) {
  TStreamedProperties block;
  chart.walls.Left.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "Color"), nullptr);
  chart.walls.Bottom.SetColor(clRed);
  chart.walls.Bottom.SetSize(4);
  block.clear();
  chart.walls.Bottom.WriteProperties(block);
  TChartBottomWall copy(nullptr);
  copy.ReadProperties(block);
  EXPECT_EQ(copy.Color(), clRed);
  EXPECT_EQ(copy.Size(), 4);
  block.clear();
  AddString(block, "Size", "thick");
  EXPECT_THROW(copy.ReadProperties(block), EChartStreamError);
  EXPECT_EQ(copy.Size(), 4);
}

TEST_F(WallsTitlesFixture, AnOpaqueBackWallFillsTheChartRectangleInsideItsFrame) {
  chart.walls.Back.SetTransparent(false);
  chart.walls.Back.SetColor(TColor{0x00FFFF});
  const auto picture = Render();
  const TRect r = chart.ChartRect();
  EXPECT_EQ(picture->Pixel((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), TColor{0x00FFFF});
  EXPECT_EQ(picture->Pixel(r.Left, (r.Top + r.Bottom) / 2), clBlack);  // frame pen
  EXPECT_EQ(picture->Pixel(r.Right, (r.Top + r.Bottom) / 2), clBlack);
  EXPECT_EQ(picture->Pixel(r.Left - 2, (r.Top + r.Bottom) / 2), clWhite);
}

TEST_F(WallsTitlesFixture, In3DTheLeftWallStandsBehindTheSeriesAndIsDrawnInItsColour) {
  chart.SetView3D(true);
  const TColor wall = 0x00FFFF;
  chart.walls.Left.SetColor(wall);
  const auto picture = Render();
  ASSERT_GT(chart.DepthWidth, 0);
  EXPECT_FALSE(WallSideTest(chart, chart.ChartRect().Left, 0));  // behind: drawn before the series
  EXPECT_FALSE(IsDepthReversed(chart, chart.DepthWidth));
  int32_t inWallColour = 0;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) inWallColour += picture->Pixel(x, y) == wall;
  EXPECT_GT(inWallColour, chart.ChartRect().Height());  // a face, not a line
  chart.walls.Left.SetAutoHide(true);
  EXPECT_FALSE(chart.walls.Left.WallShouldDraw());
}

TEST_F(WallsTitlesFixture, SidePercentsNarrowTheWallsVerticalRange) {
  chart.SetChartRect({10, 20, 110, 220});
  int32_t top = 0, bottom = 0;
  chart.walls.Left.WallVerticalRange(top, bottom);
  EXPECT_EQ(top, 20);
  EXPECT_EQ(bottom, 220);
  chart.walls.Left.SetStartPosition(10);
  chart.walls.Left.SetEndPosition(50);
  chart.walls.Left.WallVerticalRange(top, bottom);
  EXPECT_EQ(top, 40);
  EXPECT_EQ(bottom, 120);
}

TEST_F(WallsTitlesFixture, TitlesTakeTheirRoomFromTheChartRectangleAndDrawInsideIt) {
  chart.title.Text = {"Top", "Two", "Three"};
  chart.foot.Text = {"Foot"};
  chart.title.Pen().Hide();
  chart.foot.Pen().Hide();
  const auto picture = Render();
  const int32_t h = chart.ChartCanvas().FontHeight();  // the foot's font is still selected
  const TRect before = chart.rectBeforeTitles, after = chart.rectAfterTitles;
  EXPECT_EQ(after.Top, before.Top + 3 * h + chart.title.VertMargin);
  EXPECT_EQ(after.Bottom, before.Bottom - h - chart.foot.VertMargin);
  EXPECT_EQ(chart.title.ShapeBounds.Top, before.Top);
  EXPECT_EQ(chart.foot.ShapeBounds.Bottom, before.Bottom);
  // The title's blue ink is centred over the chart; the foot's red ink sits below.
  int32_t blueLeft = INT32_MAX, blueRight = -1, redTop = INT32_MAX;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) {
      const TColor c = picture->Pixel(x, y);
      if (c == clBlue) blueLeft = std::min(blueLeft, x), blueRight = std::max(blueRight, x);
      if (c == clRed) redTop = std::min(redTop, y);
    }
  ASSERT_GE(blueRight, 0);
  EXPECT_NEAR((blueLeft + blueRight) / 2, (before.Left + before.Right) / 2, 3);
  EXPECT_GE(redTop, after.Bottom);
}

TEST_F(WallsTitlesFixture, ACustomPositionedTitleLeavesTheChartRectangleAlone) {
  chart.title.Text = {"Here"};
  chart.title.SetLeft(5);
  chart.title.SetTop(5);
  Render();
  EXPECT_EQ(chart.rectAfterTitles, chart.rectBeforeTitles);
  EXPECT_TRUE(chart.title.Clicked(6, 6));
  EXPECT_FALSE(chart.title.Clicked(299, 199));
}

// A side or floor wall shows its picture as its filters leave it.
TEST_F(WallsTitlesFixture, In3DAWallsPictureIsDrawnThroughItsFilters) {
  struct Case {
    const char* name;
    TCustomChartWall& (*wall)(TChartWalls&);
  };
  const Case cases[] = {
      {"left wall", [](TChartWalls& w) -> TCustomChartWall& { return w.Left; }},
      {"bottom wall", [](TChartWalls& w) -> TCustomChartWall& { return w.Bottom; }},
  };
  chart.SetView3D(true);
  TBitmap red(8, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) red.SetPixel(x, y, clRed);
  constexpr TColor kInverted = 0xFFFF00;  // red through the invert filter
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomChartWall& wall = c.wall(chart.walls);
    wall.Picture().SetGraphic(std::make_unique<TBitmapGraphic>(red.Image()));
    wall.Picture().Filters().Add(TInvertFilter::StaticClass());
    const auto picture = Render();
    int32_t inverted = 0, plain = 0;
    for (int32_t y = 0; y < 200; ++y)
      for (int32_t x = 0; x < 300; ++x) {
        inverted += picture->Pixel(x, y) == kInverted;
        plain += picture->Pixel(x, y) == clRed;
      }
    EXPECT_GT(inverted, 20);
    EXPECT_EQ(plain, 0);
    wall.Picture().SetGraphic(static_cast<const TGraphic*>(nullptr));
  }
}

}  // namespace
}  // namespace qira

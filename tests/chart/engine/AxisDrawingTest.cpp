#include <gtest/gtest.h>

#include "FakeAxisPanel.h"
#include "chart/draw/GdiChartCanvas.h"
#include "chart/engine/ChartAxis.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

using test::FakeAxisPanel;

constexpr TColor White = 0xFFFFFF;
constexpr TColor Grey = 0x808080;

// A 300 × 200 white bitmap and a 2D chart canvas drawing straight onto it.
struct AxisDrawingFixture : ::testing::Test {
  TBitmap bitmap{300, 200};
  TChartCanvas3D canvas;
  FakeAxisPanel chart;
  void SetUp() override {
    EnsureTestApplication();
    canvas.SetUseBuffer(false);
    canvas.InitWindow(bitmap.Canvas(), nullptr, {0, 0, 300, 200}, false);
    canvas.ResetState();
    chart.canvas = &canvas;
    chart.rect = {40, 10, 290, 160};
  }
  // The frame's layout for one axis: range, room taken from the chart rectangle,
  // positions in the rectangle that remains.
  void LayOut(TChartAxis& axis) {
    axis.CalcAxisPositions();
    axis.AdjustMaxMin();
    TRect r = chart.rect;
    axis.CalcRect(r, true);
    chart.rect = r;
    axis.CalcAxisPositions();
    axis.AdjustMaxMin();
  }
  bool InkIn(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x)
        if (bitmap.Pixel(x, y) != White) return true;
    return false;
  }
};

TEST_F(AxisDrawingFixture, ABottomAxisTakesRoomForLabelsAndTicks) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.SetMinMax(0, 100);
  axis.CalcAxisPositions();
  axis.AdjustMaxMin();
  canvas.AssignFont(axis.LabelsFont);
  const int32_t fontHeight = canvas.FontHeight();
  TRect r = chart.rect;
  axis.CalcRect(r, true);
  EXPECT_EQ(axis.CalcTicksSize(), 2 + 1 + 4);  // line width + 1, tick length
  EXPECT_EQ(axis.PosLabels(), 160 - fontHeight);
  EXPECT_EQ(r.Bottom, 160 - fontHeight - 7);
  EXPECT_EQ(r.Top, 10);
  // The axes list's size callback, when set, has the last word on the labels' room.
  int32_t asked = -1;
  chart.axes.AxisSizeCallback = [&](const TChartAxis&, int32_t size) {
    asked = size;
    return 30;
  };
  r = chart.rect;
  axis.CalcRect(r, true);
  EXPECT_EQ(asked, fontHeight);
  EXPECT_EQ(axis.PosLabels(), 160 - 30);
  EXPECT_EQ(r.Bottom, 160 - 30 - 7);
}

TEST_F(AxisDrawingFixture, ABottomAxisDrawsItsLineTicksGridAndLabels) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.SetMinMax(0, 100);
  axis.SetIncrement(25);
  LayOut(axis);
  axis.Draw(true);
  const int32_t line = chart.rect.Bottom;
  // Ticks at 100, 75, 50, 25, 0 from the right end to the left.
  EXPECT_EQ(axis.TickPositions(), (std::vector<int32_t>{290, 228, 165, 102, 40}));
  EXPECT_EQ(bitmap.Pixel(150, line), clBlack);   // the axis line
  EXPECT_EQ(bitmap.Pixel(165, line + 3), Grey);  // a tick below it
  bool gridSeen = false;
  for (int32_t y = 20; y < line - 5; ++y) gridSeen |= bitmap.Pixel(165, y) == Grey;
  EXPECT_TRUE(gridSeen);                                // the dotted grid line above
  EXPECT_FALSE(InkIn(150, 20, 160, line - 2));          // nothing between grid lines
  EXPECT_TRUE(InkIn(155, axis.PosLabels(), 176, 200));  // "50" below the ticks
  EXPECT_FALSE(InkIn(140, axis.PosLabels(), 150, 200));
}

TEST_F(AxisDrawingFixture, ALeftAxisLabelsItsStepsBesideTheLine) {
  TChartAxis bottom(chart, true);
  TChartAxis top(chart, true, true);
  TChartAxis left(chart);
  left.SetLabelStyle(talValue);
  left.Grid.Hide();
  left.SetMinMax(0, 10);
  left.SetIncrement(5);
  LayOut(left);
  left.Draw(true);
  const int32_t line = chart.rect.Left;
  EXPECT_EQ(left.TickPositions(), (std::vector<int32_t>{10, 85, 160}));
  EXPECT_EQ(bitmap.Pixel(line, 100), clBlack);
  EXPECT_EQ(bitmap.Pixel(line - 4, 85), Grey);
  EXPECT_TRUE(InkIn(left.PosLabels() - 20, 75, left.PosLabels(), 95));  // "5" left of the tick
  EXPECT_FALSE(InkIn(line + 5, 20, 280, 150));                          // no grid
}

TEST_F(AxisDrawingFixture, MinorTicksSplitEachStepAndANonPositiveCountDrawsNone) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.Grid.Hide();
  axis.Ticks.Hide();
  axis.AxisPen.Hide();
  axis.SetMinMax(0, 100);
  axis.SetIncrement(50);
  axis.SetLabels(false);
  axis.TickOnLabelsOnly = false;  // ticks without labels
  LayOut(axis);
  axis.SetMinorTickCount(1);
  axis.Draw(true);
  EXPECT_EQ(bitmap.Pixel(102, chart.rect.Bottom + 1), Grey);  // halfway between 0 and 50
  for (int32_t count : {0, -1}) {
    bitmap.Image().fill(0xFFFFFFFFu);
    axis.SetMinorTickCount(count);
    axis.Draw(true);
    EXPECT_FALSE(InkIn(0, 0, 300, 200)) << count;
  }
}

TEST_F(AxisDrawingFixture, ALogarithmicAxisWithAMinorGridTicksBeyondItsLabels) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.SetMinMax(4, 8);
  axis.SetLogarithmic(true);
  axis.MinorGrid.Show();
  LayOut(axis);
  axis.Draw(true);
  // No power of ten lies in 4 .. 8: the ticks are a power below the minimum and the
  // first power, above the maximum.
  EXPECT_EQ(axis.TickPositions(), (std::vector<int32_t>{axis.CalcPosValue(0.4), axis.CalcPosValue(10)}));
}

TEST_F(AxisDrawingFixture, CustomItemsReplaceTheComputedLabels) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.SetMinMax(0, 100);
  axis.SetIncrement(50);
  LayOut(axis);
  axis.Draw(true);
  ASSERT_EQ(axis.Items.Count(), 3);  // the computed labels, recorded
  EXPECT_EQ(axis.Items[0].Text(), "100");
  EXPECT_TRUE(axis.Items.Automatic());
  axis.Items.Clear();
  axis.Items.Add(10, "ten");
  axis.Items.Add(500, "beyond");
  axis.Draw(true);
  EXPECT_FALSE(axis.Items.Automatic());
  EXPECT_EQ(axis.TickPositions(), (std::vector<int32_t>{axis.CalcPosValue(10)}));
}

// Lowest inked row in a column range of the label band, or -1.
int32_t InkBottom(const TBitmap& bitmap, int32_t left, int32_t right, int32_t top) {
  int32_t bottom = -1;
  for (int32_t y = top; y < bitmap.Height(); ++y)
    for (int32_t x = left; x < right; ++x)
      if (bitmap.Pixel(x, y) != White) bottom = y;
  return bottom;
}

TEST_F(AxisDrawingFixture, WithLabelsExponentTheExponentIsDrawnSmallerAndRaisedAfterTheMantissa) {
  struct Ink {
    TRect box;
    int32_t mantissaBottom, lastBottom;
  };
  auto drawLabel = [&](bool exponent) {
    bitmap.Canvas().SetBrush(TBrush{White, bsSolid});
    bitmap.Canvas().FillRect({0, 0, 300, 200});
    TChartAxis axis(chart, true);
    chart.rect = {40, 10, 290, 160};
    axis.SetLabelStyle(talValue);
    axis.SetMinMax(0, 10000);
    axis.SetAxisValuesFormat("0E+0");
    axis.SetLabelsExponent(exponent);
    axis.Items.Add(5000);  // "5E+3"
    axis.Ticks.SetVisible(false);
    axis.Grid.SetVisible(false);
    LayOut(axis);
    axis.Draw(true);
    const int32_t top = axis.PosLabels();
    TRect box{300, 0, 0, 0};
    for (int32_t y = top; y < 200; ++y)
      for (int32_t x = 0; x < 300; ++x)
        if (bitmap.Pixel(x, y) != White) box = {std::min(box.Left, x), 0, std::max(box.Right, x + 1), 0};
    const int32_t quarter = std::max(1, (box.Right - box.Left) / 4);
    return Ink{box, InkBottom(bitmap, box.Left, box.Left + quarter, top),
               InkBottom(bitmap, box.Right - quarter, box.Right, top)};
  };
  const Ink plain = drawLabel(false);
  const Ink raised = drawLabel(true);
  ASSERT_GT(plain.box.Right, plain.box.Left);
  // Without the option "5E+3" stands on one base line.
  EXPECT_EQ(plain.lastBottom, plain.mantissaBottom);
  // With it the "E" is gone (a narrower text) and the exponent's digits end higher.
  EXPECT_LT(raised.box.Right - raised.box.Left, plain.box.Right - plain.box.Left);
  EXPECT_EQ(raised.mantissaBottom, plain.mantissaBottom);
  EXPECT_LT(raised.lastBottom, raised.mantissaBottom - 1);
}

TEST_F(AxisDrawingFixture, TextLabelsThatWouldOverlapAreLeftOut) {
  TChartAxis axis(chart, true);
  TChartAxis top(chart, true, true), left(chart), right(chart, false, true);
  TChartSeries series;
  chart.series.push_back(&series);
  series.SetParentChart(&chart);
  for (const char* name : {"alpha", "beta", "gamma", "delta"}) series.Add(1, name);
  series.AddXY(3.2, 1, "epsilon");  // close to "delta": left out
  EXPECT_EQ(axis.LabelStyleInForce(), talText);
  axis.SetMinMax(0, 4);
  axis.TickOnLabelsOnly = false;
  LayOut(axis);
  series.CalcFirstLastVisibleIndex();
  axis.Draw(true);
  std::vector<std::string> texts;
  for (int32_t i = 0; i < axis.Items.Count(); ++i) texts.push_back(axis.Items[i].Text());
  EXPECT_EQ(texts, (std::vector<std::string>{"alpha", "beta", "gamma", "delta"}));
  EXPECT_EQ(axis.TickPositions().size(), 5u);  // a tick also where a label was left out (ticks not only on labels)
}

TEST_F(AxisDrawingFixture, AClickOnTheLabelsBandHitsTheAxis) {
  TChartAxis axis(chart, true);
  axis.SetLabelStyle(talValue);
  axis.SetMinMax(0, 100);
  LayOut(axis);
  axis.Draw(true);
  const int32_t line = chart.rect.Bottom;
  EXPECT_TRUE(axis.Clicked(100, line));
  EXPECT_TRUE(axis.Clicked(100, axis.PosLabels() + 2));
  EXPECT_FALSE(axis.Clicked(100, 100));
  EXPECT_FALSE(axis.Clicked(20, line));
}

}  // namespace
}  // namespace qira

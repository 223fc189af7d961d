#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "platform/CanvasColors.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A white 2D chart of 300 × 220 pixels with a blue line through a peak at its
// middle point (50, 20) of a 0 .. 30 axis, its marks shown with their values.
struct MarksChart : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  TChart chart;
  TLineSeries& series = chart.AddSeries(std::make_unique<TLineSeries>());
  std::unique_ptr<TBitmap> picture;

  void SetUp() override {
    chart.SetView3D(false);
    chart.SetColor(clWhite);
    chart.Legend.SetVisible(false);
    chart.resize(300, 220);
    series.SetSeriesColor(clBlue);
    series.AddXY(0, 10);
    series.AddXY(50, 20);
    series.AddXY(100, 10);
    series.Marks().SetVisible(true);
    series.Marks().Style = smsValue;
    series.Marks().Shadow().SetVisible(false);
    // Room above the peak for its mark.
    chart.LeftAxis().SetMinMax(0, 30);
  }
  void Draw() { picture = chart.CreateChartBitmap(clWhite, {0, 0, 300, 220}); }
  TColor At(int32_t x, int32_t y) const { return picture->Pixel(x, y); }
  TPoint PointPixel(int32_t i) const { return {series.CalcXPos(i), series.CalcYPos(i)}; }
  int32_t Count(const TRect& r, TColor colour) const {
    int32_t n = 0;
    for (int32_t y = r.Top; y < r.Bottom; ++y)
      for (int32_t x = r.Left; x < r.Right; ++x) n += At(x, y) == colour;
    return n;
  }
  // The first and last column inside the box's frame, between two rows, where the
  // text left ink on the box's fill.
  std::pair<int32_t, int32_t> InkColumns(const TRect& box, int32_t top, int32_t bottom) const {
    const TColor fill = SystemColorToRGB(clInfoBk);
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = box.Left + 1; x < box.Right - 1; ++x)
        if (At(x, y) != fill) lo = std::min(lo, x), hi = std::max(hi, x);
    return {lo, hi};
  }
};

TEST_F(MarksChart, AMarkStandsAboveItsPointByTheCalloutsLengthWithTheArrowBetween) {
  series.Marks().Arrow().SetColor(clRed);
  Draw();
  const TSeriesMarkPosition* p = series.Marks().PositionAt(1);
  ASSERT_NE(p, nullptr);
  const TPoint point = PointPixel(1);
  EXPECT_EQ(p->ArrowFrom, point);
  EXPECT_EQ(p->ArrowTo, (TPoint{point.X, point.Y - 8}));
  EXPECT_EQ(p->LeftTop.X, point.X - p->Width / 2);
  EXPECT_EQ(p->LeftTop.Y + p->Height - 1, point.Y - 8);
  // The box: framed in black, filled with the info-background colour.
  const TRect box = p->Bounds();
  EXPECT_EQ(At(box.Left, (box.Top + box.Bottom) / 2), clBlack);
  EXPECT_EQ(At((box.Left + box.Right) / 2, box.Top), clBlack);
  EXPECT_EQ(At(box.Left + 1, box.Top + 1), SystemColorToRGB(clInfoBk));
  // The arrow from the point up to the box.
  EXPECT_EQ(At(point.X, point.Y - 4), clRed);
  // The value's text inside the box.
  EXPECT_NE(InkColumns(box, box.Top + 1, box.Bottom - 1).first, INT32_MAX);
}

// The marks' clip flag and margins repaint the chart when they change, and only then.
TEST_F(MarksChart, ClipAndMarginsRepaintTheChartOnlyWhenChanged) {
  using TSet = void (*)(TSeriesMarks&, int32_t);
  const struct {
    const char* name;
    TSet set;
    int32_t current, other;
  } table[] = {
      {"Clip", [](TSeriesMarks& m, int32_t v) { m.SetClip(v != 0); }, 0, 1},
      {"Margins.Left", [](TSeriesMarks& m, int32_t v) { m.Margins.SetLeft(v); }, 20, 3},
      {"Margins.Top", [](TSeriesMarks& m, int32_t v) { m.Margins.SetTop(v); }, 5, 3},
      {"Margins.Right", [](TSeriesMarks& m, int32_t v) { m.Margins.SetRight(v); }, 20, 3},
      {"Margins.Bottom", [](TSeriesMarks& m, int32_t v) { m.Margins.SetBottom(v); }, 5, 3},
      {"Margins.Units",
       [](TSeriesMarks& m, int32_t v) { m.Margins.SetUnits(static_cast<TMarginUnits>(v)); }, maPercentFont,
       maPixels},
  };
  for (const auto& row : table) {
    chart.grab();
    ASSERT_FALSE(chart.ChartCanvas().BufferDirty()) << row.name;
    row.set(series.Marks(), row.current);
    EXPECT_FALSE(chart.ChartCanvas().BufferDirty()) << row.name;
    row.set(series.Marks(), row.other);
    EXPECT_TRUE(chart.ChartCanvas().BufferDirty()) << row.name;
  }
  Draw();  // the drawn marks keep the margins' pixels
  EXPECT_EQ(series.Marks().Margins.LastPixels(), (TRect{3, 3, 3, 3}));
}

TEST_F(MarksChart, ASolidArrowHeadFillsMoreThanAPlainLine) {
  series.Marks().Arrow().SetColor(clRed);
  series.Marks().SetArrowLength(20);
  Draw();
  const TPoint point = PointPixel(1);
  const TRect around{point.X - 10, point.Y - 21, point.X + 11, point.Y + 1};
  const int32_t line = Count(around, clRed);
  series.Marks().Callout().ArrowHead = ahSolid;
  Draw();
  EXPECT_GT(Count(around, clRed), line + 10);
}

TEST_F(MarksChart, AnArrowOfLengthZeroDrawsNoArrowAndPutsTheBoxOnThePoint) {
  series.Marks().Arrow().SetColor(clRed);
  series.Marks().Callout().ArrowHead = ahSolid;
  series.Marks().SetArrowLength(0);
  Draw();
  const TSeriesMarkPosition* p = series.Marks().PositionAt(1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->LeftTop.Y + p->Height - 1, PointPixel(1).Y);
  EXPECT_EQ(Count({0, 0, 300, 220}, clRed), 0);
}

TEST_F(MarksChart, AMarkWithAnEmptyTextIsLeftOutAndOnlyEveryNthMarkDraws) {
  series.OnGetMarkText = [](const TChartSeries&, int32_t index, std::string& text) {
    if (index == 1) text.clear();
  };
  Draw();
  EXPECT_NE(series.Marks().PositionAt(0), nullptr);
  EXPECT_EQ(series.Marks().PositionAt(1), nullptr);
  EXPECT_NE(series.Marks().PositionAt(2), nullptr);

  series.OnGetMarkText = nullptr;
  series.Marks().Clear();
  series.Marks().SetDrawEvery(2);
  Draw();
  EXPECT_NE(series.Marks().PositionAt(0), nullptr);
  EXPECT_EQ(series.Marks().PositionAt(1), nullptr);
  EXPECT_NE(series.Marks().PositionAt(2), nullptr);
}

TEST_F(MarksChart, TheSymbolShowsThePointsColourBesideTheText) {
  series.Marks().Symbol().SetVisible(true);
  Draw();
  const TSeriesMarkPosition* p = series.Marks().PositionAt(1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p->LeftTop.X + 6, p->LeftTop.Y + 5), clBlue);
}

struct AlignCase {
  const char* name;
  TChartAlignment align;
  bool shortLineAtLeft;
};

class MarkTextAlign : public MarksChart, public ::testing::WithParamInterface<AlignCase> {};

TEST_P(MarkTextAlign, AShortLineFollowsTheMarksAlignmentInsideTheBox) {
  series.Marks().TextAlign = GetParam().align;
  series.Marks().MarkItem(1).Text = {"i", "WWWWWW"};
  Draw();
  const TSeriesMarkPosition* p = series.Marks().PositionAt(1);
  ASSERT_NE(p, nullptr);
  const TRect box = p->Bounds();
  const int32_t middle = (box.Top + box.Bottom) / 2;
  const auto [left, right] = InkColumns(box, box.Top + 1, middle);
  ASSERT_NE(left, INT32_MAX);
  const int32_t centre = (box.Left + box.Right) / 2;
  if (GetParam().shortLineAtLeft)
    EXPECT_LT(right, centre - 5);
  else
    EXPECT_GT(left, centre + 5);
  // Two lines: the long one below fills the box's width.
  const auto [longLeft, longRight] = InkColumns(box, middle, box.Bottom - 1);
  EXPECT_LT(longLeft, centre - 5);
  EXPECT_GT(longRight, centre + 5);
}

INSTANTIATE_TEST_SUITE_P(Table, MarkTextAlign,
                         ::testing::Values(AlignCase{"Left", taLeftJustify, true},
                                           AlignCase{"Right", taRightJustify, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MarksChart, In3DTheBoxStandsAtTheSeriesFrontDepth) {
  chart.SetView3D(true);
  chart.SetView3DWalls(false);
  // In front: the marked series stands behind it.
  TLineSeries& before = chart.AddSeries(std::make_unique<TLineSeries>());
  before.AddXY(0, 1);
  before.AddXY(100, 2);
  Draw();
  const TSeriesMarkPosition* p = series.Marks().PositionAt(1);
  ASSERT_NE(p, nullptr);
  ASSERT_GT(series.StartZ(), 0);
  EXPECT_EQ(series.Marks().ZPosition, series.StartZ());
  // The position is kept flat; the box is drawn where its corner projects.
  EXPECT_EQ(p->ArrowFrom, PointPixel(1));
  const TPoint corner = chart.ChartCanvas().Calculate3DPosition(p->LeftTop.X, p->LeftTop.Y, series.StartZ());
  EXPECT_NE(corner, p->LeftTop);
  EXPECT_EQ(At(corner.X + 1, corner.Y + 1), SystemColorToRGB(clInfoBk));
  // A click finds the box where it was drawn.
  EXPECT_EQ(series.Marks().Clicked(corner.X + 1, corner.Y + 1), 1);
}

TEST(SeriesMarksLook, MarksAreHiddenInfoColouredBoxesWithASilverToWhiteGradientWhenMade) {
  TChartSeries series;
  TSeriesMarks& marks = series.Marks();
  EXPECT_FALSE(marks.Visible());
  EXPECT_EQ(marks.BackColor(), clInfoBk);
  EXPECT_EQ(marks.GradientIfAny(), nullptr);
  EXPECT_EQ(marks.Gradient().Direction(), gdRightLeft);
  EXPECT_EQ(marks.Gradient().StartColor(), clSilver);
  EXPECT_EQ(marks.Gradient().EndColor(), clWhite);
  EXPECT_FALSE(marks.Gradient().Visible());
  // A point's own mark: its own look, with a grey shadow.
  TMarksItem& item = marks.MarkItem(5);
  EXPECT_EQ(marks.ItemCount(), 6);
  EXPECT_EQ(marks.ItemAt(4), nullptr);
  EXPECT_EQ(item.Color(), clInfoBk);
  EXPECT_EQ(item.Shadow().Color(), clGray);
  EXPECT_EQ(item.Shadow().Size(), 3);
}

TEST_F(MarksChart, LegendStyleMarksShowTheLegendsTextOfTheValue) {
  series.Marks().Style = smsLegend;
  chart.Legend.TextStyle = ltsValue;
  EXPECT_EQ(series.GetMarkText(1), "20");
  chart.Legend.TextStyle = ltsXAndValue;
  EXPECT_EQ(series.GetMarkText(1), "50 20");  // columns become blanks on one line
  series.Marks().MultiLine = true;
  EXPECT_EQ(series.GetMarkText(1), "50\x06" "20");
}

TEST_F(MarksChart, TheWidestMarkIsTheWidestTextOfTheActiveSeries) {
  series.Marks().MarkItem(2).Text = {"a much longer text"};
  Draw();
  const int32_t widest = chart.MaxMarkWidth();
  EXPECT_EQ(widest, series.Marks().TextWidth(2));
  EXPECT_GT(widest, series.Marks().TextWidth(1));
  series.SetActive(false);
  EXPECT_EQ(chart.MaxMarkWidth(), 0);
}

TEST_F(MarksChart, VisibleMarksKeepRoomForTheirCalloutAboveTheHighestPoint) {
  int32_t top = 0, bottom = 0;
  series.CalcVerticalMargins(top, bottom);
  EXPECT_EQ(top, 8);
  series.Marks().Callout().Distance = 4;
  series.CalcVerticalMargins(top, bottom);
  EXPECT_EQ(top, 12);
  series.Marks().SetVisible(false);
  series.CalcVerticalMargins(top, bottom);
  EXPECT_EQ(top, 0);
}

}  // namespace
}  // namespace qira

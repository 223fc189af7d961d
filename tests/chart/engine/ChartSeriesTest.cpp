#include <gtest/gtest.h>

#include <vector>

#include "FakeAxisPanel.h"
#include "chart/engine/ChartPalettes.h"
#include "chart/engine/ChartRegistry.h"
#include "chart/engine/ChartSeries.h"
#include "chart/engine/SeriesFunctions.h"
#include "chart/engine/SeriesMarks.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

using test::Values;

TEST(ChartSeriesPoints, PointsKeepXOrderAfterEqualX) {
  TChartSeries s;
  s.AddXY(5, 1);
  s.AddXY(2, 7);
  s.AddXY(5, 3);
  EXPECT_EQ(Values(s.XValues()), (std::vector<double>{2, 5, 5}));
  EXPECT_EQ(Values(s.YValues()), (std::vector<double>{7, 1, 3}));
  TChartSeries counted;
  for (int i = 0; i < 3; ++i) counted.Add(10);
  EXPECT_EQ(Values(counted.XValues()), (std::vector<double>{0, 1, 2}));
}

TEST(ChartSeriesPoints, ColoursAreKeptOnlyOnceAPointHasOne) {
  TChartSeries s;
  s.SetSeriesColor(clRed);
  s.Add(1);
  EXPECT_FALSE(s.HasColorList());
  s.Add(2, "", clBlue);
  ASSERT_TRUE(s.HasColorList());
  EXPECT_EQ(s.ValueColor(0), clRed);
  EXPECT_EQ(s.ValueColor(1), clBlue);
  s.AddNull();
  EXPECT_TRUE(s.IsNull(2));
  EXPECT_EQ(s.YValue(2), 0);
}

TEST(ChartSeriesPoints, DeleteOutsideThePointsRaisesAndChangesNothing) {
  TChartSeries s;
  s.Add(1);
  s.Add(2);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { s.Delete(2); }), "Series Delete: ValueIndex 2 out of bounds (0 to 1).");
  EXPECT_EQ(ThrownMessage<ChartException>([&] { s.Delete(-1); }),
            "Series Delete: ValueIndex -1 out of bounds (0 to 1).");
  EXPECT_EQ(s.Count(), 2);
}

TEST(ChartSeriesPoints, ARefusedPointLeavesTheSeriesUnchanged) {
  TChartSeries s;
  s.OnBeforeAdd = [](TChartSeries&) { return false; };
  EXPECT_EQ(s.AddXY(1, 2), -1);
  EXPECT_EQ(s.Count(), 0);
}

TEST(ChartSeriesPoints, TitleShowsColumnSeparatorsAsBlanks) {
  TChartSeries s;
  s.SetTitle(
      "a\x06"
      "b");
  EXPECT_EQ(s.TitleForDisplay(), "a b");
}

TEST(ChartSeriesSources, DependentSeriesFollowTheirSourceAndCyclesAreRefused) {
  test::FakeAxisPanel chart;  // a series refreshes from a new source only in a chart
  TChartSeries source, copy;
  copy.SetParentChart(&chart);
  source.Add(4);
  copy.AddDataSource(source);
  source.Add(5);
  EXPECT_EQ(Values(copy.YValues()), (std::vector<double>{4, 5}));
  source.Delete(0);
  EXPECT_EQ(Values(copy.YValues()), (std::vector<double>{5}));
  EXPECT_EQ(ThrownMessage<ChartException>([&] { source.AddDataSource(copy); }),
            "Circular Series dependences are not allowed");
}

TEST(SeriesMarkTexts, MarksShowTheStyleOrTheirItemText) {
  TChartSeries s;
  s.Add(25, "first");
  s.Add(75);
  s.Marks().Style = smsLabelPercent;
  EXPECT_EQ(s.GetMarkText(0), "first 25 %");
  s.Marks().Style = smsLabel;
  EXPECT_EQ(s.GetMarkText(1), "75");
  s.Marks().MarkItem(1).Text = {"a", "b"};
  EXPECT_EQ(s.GetMarkText(1), "a\rb");
}

TEST(SeriesMarkTexts, APercentRelativeToAFirstValueOfZeroDoesNotDivideByIt) {
  TChartSeries s;
  s.Add(0);
  s.Add(75);
  s.Marks().Style = smsPercentRelative;
  EXPECT_EQ(s.GetMarkText(0), "100 %");
  EXPECT_EQ(s.GetMarkText(1), "0 %");
}

TEST(SeriesMarkTexts, MarginsInPercentOfTheFontAreKeptOnceComputed) {
  TMargins m;
  EXPECT_EQ(m.LastPixels(), TRect{});
  EXPECT_EQ(m.Pixels(100, 30, 10), (TRect{4, 1, 4, 1}));
  EXPECT_EQ(m.LastPixels(), (TRect{4, 1, 4, 1}));
  m.SetUnits(maPixels);
  EXPECT_EQ(m.LastPixels(), (TRect{4, 1, 4, 1}));  // until computed again
  EXPECT_EQ(m.Pixels(100, 30, 10), (TRect{20, 5, 20, 5}));
}

TEST(SeriesMarkTexts, DrawEveryZeroDrawsEveryMark) {
  TChartSeries series;
  TSeriesMarks& marks = series.Marks();
  marks.SetDrawEvery(0);
  TSeriesMarkPosition p;
  p.LeftTop = {10, 10};
  p.Width = 20;
  p.Height = 10;
  marks.StorePosition(3, p);
  EXPECT_TRUE(marks.DrawsMark(3));
  EXPECT_EQ(marks.Clicked(15, 15), 3);
  EXPECT_EQ(marks.Clicked(50, 50), -1);
}

// Sums its period's Y values.
class SumFunction : public TChartFunction {
 public:
  using TChartFunction::TChartFunction;
  double Calculate(TChartSeries& source, int32_t first, int32_t last) override {
    double sum = 0;
    for (int32_t i = first; i <= last; ++i) sum += source.YValue(i);
    return sum;
  }
};

TEST(SeriesFunctions, PeriodsOfPointsStopAtTheLastFullPeriod) {
  test::FakeAxisPanel chart;
  TChartSeries source, result;
  result.SetParentChart(&chart);
  for (int i = 1; i <= 5; ++i) source.Add(i);
  result.SetFunction(std::make_unique<SumFunction>());
  result.Function()->SetPeriod(2);
  result.AddDataSource(source);
  EXPECT_EQ(Values(result.YValues()), (std::vector<double>{3, 7}));
}

TEST(SeriesFunctions, APeriodBelowOnePointStillMovesOn) {
  test::FakeAxisPanel chart;
  TChartSeries source, result;
  result.SetParentChart(&chart);
  for (int i = 1; i <= 5; ++i) source.Add(i);
  result.SetFunction(std::make_unique<SumFunction>());
  result.Function()->SetPeriod(0.3);
  result.AddDataSource(source);
  EXPECT_EQ(result.Count(), 5);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { result.Function()->SetPeriod(-1); }), "Function Period should be >= 0");
  EXPECT_EQ(result.Function()->Period(), 0.3);
}

struct PaletteCase {
  int32_t index;
  size_t count;
};

TEST(ChartPalettes, PalettesGiveTheirColoursToTheChart) {
  test::FakeAxisPanel chart;
  const PaletteCase cases[] = {{8, 25}, {4, 8}, {0, 0}, {16, 0}, {12, 15}};
  for (const auto& c : cases) {
    SetColorPalette(chart, c.index);
    EXPECT_EQ(chart.ColorPalette.size(), c.count) << c.index;
  }
  SetColorPalette(chart, 12);
  EXPECT_EQ(chart.GetDefaultColor(0), 0xF0F0F0u);
  EXPECT_EQ(chart.GetDefaultColor(16), 0xE0E0E0u);
  EXPECT_EQ(ColorPaletteName(9), "Win. XP");
}

TEST(ChartPalettes, TheNamedListHoldsTheSixteenPalettesInIndexOrder) {
  const TColorPalettes& palettes = ColorPalettes();
  EXPECT_EQ(&palettes, &ColorPalettes());
  ASSERT_EQ(palettes.Count(), 16);
  EXPECT_EQ(palettes[0], "ZedUrori");
  EXPECT_EQ(palettes[15], "Cool");
  EXPECT_EQ(palettes.IndexOf("Win. Vista"), 11);
  EXPECT_EQ(palettes.IndexOf("Sepia"), -1);
  EXPECT_EQ(ColorPaletteColors(palettes.IndexOf("Warm")).size(), 8u);
}

TEST(ChartRegistries, ClearingFreesEveryRecord) {
  TChartToolTypes& tools = ChartToolTypes();
  tools.Add({"TMarksTipTool", "Marks tip"});
  EXPECT_EQ(&tools, &ChartToolTypes());
  tools.Clear();
  EXPECT_EQ(ChartToolTypes().Count(), 0);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "FakeAxisPanel.h"
#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/ChartAxis.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

using test::FakeAxisPanel;
using test::RangeSeries;

constexpr double Inf = std::numeric_limits<double>::infinity();

// A bottom axis 500 pixels long over a fixed range.
struct AxisFixture : ::testing::Test {
  FakeAxisPanel chart;
  TChartAxis axis{chart, true};
  void Layout(double min, double max) {
    axis.SetMinMax(min, max);
    axis.CalcAxisPositions();
    axis.AdjustMaxMin();
  }
};

// [SECTION] Range

TEST_F(AxisFixture, SetMinMaxKeepsAMinimumSpanAndOrder) {
  axis.SetMinMax(5, 5);
  EXPECT_EQ(axis.Minimum(), 5);
  EXPECT_EQ(axis.Maximum(), 5 + 1e-10);
  axis.SetMinMax(10, 0);
  EXPECT_EQ(axis.Minimum(), 0);
  EXPECT_EQ(axis.Maximum(), 10);
  EXPECT_FALSE(axis.Automatic() || axis.AutomaticMaximum() || axis.AutomaticMinimum());
}

TEST_F(AxisFixture, NonFiniteRangesBecomeDefinedRanges) {
  axis.SetMinMax(std::nan(""), Inf);
  EXPECT_EQ(axis.Minimum(), 0);
  EXPECT_EQ(axis.Maximum(), AxisValueLimit);
  axis.SetMinMax(-Inf, -Inf);
  EXPECT_EQ(axis.Minimum(), -AxisValueLimit);
  EXPECT_TRUE(std::isfinite(axis.Maximum()));
}

// The labels' and the title's angles keep their value modulo 360, sign and all.
TEST_F(AxisFixture, AnglesAreKeptModulo360) {
  const struct {
    int32_t set, kept;
  } cases[] = {{90, 90}, {450, 90}, {360, 0}, {-450, -90}, {-30, -30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    axis.SetLabelsAngle(c.set);
    axis.Title.SetAngle(c.set);
    EXPECT_EQ(axis.LabelsAngle(), c.kept);
    EXPECT_EQ(axis.Title.Angle(), c.kept);
  }
}

// The four side axes in the chart's order (bottom first), so series find theirs.
struct SideAxesFixture : AxisFixture {
  TChartAxis top{chart, true, true}, left{chart}, right{chart, false, true};
};

TEST_F(SideAxesFixture, AnInfiniteSeriesRangeGivesBoundedLabelsAndClampedPixels) {
  RangeSeries s;
  chart.series.push_back(&s);
  s.SetParentChart(&chart);
  s.maxX = Inf;
  s.minX = -Inf;
  axis.CalcAxisPositions();
  axis.AdjustMaxMin();
  EXPECT_TRUE(std::isfinite(axis.Range()));
  EXPECT_LE(axis.LabelValues().size(), static_cast<size_t>(AxisMaxLabels));
  EXPECT_EQ(axis.CalcPosValue(AxisValueLimit), 500);
  EXPECT_EQ(axis.CalcPosValue(Inf), AxisPixelLimit);
  s.maxX = std::nan("");
  s.minX = std::nan("");
  axis.AdjustMaxMin();
  EXPECT_EQ(axis.Range(), 0);
  EXPECT_EQ(axis.LabelValues().size(), 1u);
}

TEST_F(AxisFixture, FollowingAxesRepeatTheRangeAndRefuseCycles) {
  TChartAxis follower(chart, true);
  TChartAxis second(chart, true);
  ASSERT_TRUE(follower.SetFollowedAxis(&axis));
  ASSERT_TRUE(second.SetFollowedAxis(&follower));
  EXPECT_FALSE(axis.SetFollowedAxis(&second));
  EXPECT_FALSE(axis.SetFollowedAxis(&axis));
  EXPECT_EQ(axis.FollowedAxis(), nullptr);
  axis.SetMinMax(3, 7);
  EXPECT_EQ(second.Minimum(), 3);
  EXPECT_EQ(second.Maximum(), 7);
}

TEST_F(AxisFixture, ValidationKeepsTheOldValue) {
  axis.SetMinMax(0, 10);
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetIncrement(-1); }), "Axis increment must be >= 0");
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetIncrement(std::nan("")); }), "Axis increment must be >= 0");
  EXPECT_EQ(axis.Increment(), 0);
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetMinimum(11); }), "Axis Minimum Value must be <= Maximum");
  for (double base : {1.0, 0.0, -2.0, std::nan(""), Inf})
    EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetLogarithmicBase(base); }),
              "Axis Logarithmic Base should be <> 1 and > 0");
  EXPECT_EQ(axis.LogarithmicBase(), 10);
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetLabelsSeparation(-1); }),
            "Labels Separation % must be greater than 0");
  axis.SetMinMax(-5, 10);
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetLogarithmic(true); }),
            "Logarithmic Axis Min and Max values should be >= 0");
  EXPECT_FALSE(axis.Logarithmic());
}

// [SECTION] Increment

struct IncrementCase {
  const char* behaviour;
  int32_t axisLength;
  double min, max;
  double expected;
};

TEST_F(AxisFixture, CalcIncrementFitsLabelsOfTheGivenSize) {
  chart.fixedLabelWidth = 40;  // 44 pixels with the 10 % separation
  const IncrementCase cases[] = {
      {"eleven labels fit: the second run settles on 10", 500, 0, 100, 10},
      {"two labels fit", 100, 0, 100, 50},
      {"no room: one label", 0, 0, 100, 100},
  };
  for (const auto& c : cases) {
    axis.SetMinMax(c.min, c.max);
    chart.rect = {0, 0, c.axisLength, 400};
    axis.CalcAxisPositions();
    axis.AdjustMaxMin();
    EXPECT_DOUBLE_EQ(axis.CalcIncrement(), c.expected) << c.behaviour;
    EXPECT_EQ(axis.Increment(), 0) << c.behaviour;
  }
}

TEST_F(AxisFixture, AZeroRangeMapsToTheCentreAndStepsByOne) {
  axis.SetAutomatic(true);  // no series: 0 to 0
  axis.CalcAxisPositions();
  axis.AdjustMaxMin();
  EXPECT_EQ(axis.Range(), 0);
  EXPECT_EQ(axis.CalcPosValue(123), 250);
  EXPECT_EQ(axis.CalcIncrement(), 1);
}

TEST_F(AxisFixture, TheTemporaryIncrementIsRestoredWhenALabelHandlerThrows) {
  chart.fixedLabelWidth = 40;
  Layout(0, 100);
  chart.OnGetAxisLabel = [&](TChartAxis& a, IChartSeries*, int32_t, std::string&) {
    if (a.Increment() == 1) throw std::runtime_error("handler");
  };
  EXPECT_THROW(axis.CalcIncrement(), std::runtime_error);
  EXPECT_EQ(axis.Increment(), 0);
}

TEST_F(SideAxesFixture, StepsGrowFromAVanishingRange) {
  RangeSeries s;
  chart.series.push_back(&s);
  s.SetParentChart(&chart);
  s.minX = 0;
  s.maxX = std::numeric_limits<double>::denorm_min();
  axis.CalcAxisPositions();
  axis.AdjustMaxMin();
  const double step = axis.CalcIncrement();
  EXPECT_GT(step, 0);
  EXPECT_TRUE(std::isfinite(step));
}

TEST_F(AxisFixture, ALogarithmicBaseBelowOneGivesBoundedStepsAndNoLogLabels) {
  Layout(1, 1000);
  axis.SetLogarithmicBase(0.5);
  axis.SetLogarithmic(true);
  axis.AdjustMaxMin();
  const double step = axis.CalcIncrement();
  EXPECT_TRUE(std::isfinite(step) && step > 0);
  EXPECT_TRUE(axis.LabelValues().empty());
}

// [SECTION] Label values

struct LabelCase {
  const char* behaviour;
  double min, max, increment;
  std::vector<double> values;
};

TEST_F(AxisFixture, ValueLabelsStepDownFromTheRoundedMaximum) {
  const LabelCase cases[] = {
      {"multiples of the step", 0, 100, 20, {100, 80, 60, 40, 20, 0}},
      {"first label truncated to the step", 0.5, 9.5, 2, {8, 6, 4, 2}},
      {"through zero", -10, 10, 5, {10, 5, 0, -5, -10}},
  };
  for (const auto& c : cases) {
    Layout(c.min, c.max);
    axis.SetIncrement(c.increment);
    EXPECT_EQ(axis.LabelValues(), c.values) << c.behaviour;
  }
}

TEST_F(AxisFixture, AStepBelowThePrintedDigitsGivesOneLabel) {
  Layout(1e6, 1e6 + 1e-7);
  axis.SetLabelsSeparation(0);  // the step is not grown to fit
  axis.SetIncrement(1e-10);
  EXPECT_EQ(axis.LabelValues().size(), 1u);
}

TEST_F(AxisFixture, LabelsThatWouldReachTenThousandAreNotDrawn) {
  Layout(0, 1);
  axis.SetLabelsSeparation(0);  // the step is not grown to fit
  axis.SetIncrement(1e-5);
  EXPECT_TRUE(axis.LabelValues().empty());
}

TEST_F(AxisFixture, ValueLabelTextsUseTheAxisFormat) {
  Layout(1000, 5000);
  axis.SetIncrement(2000);
  std::vector<std::string> texts;
  for (double v : axis.LabelValues()) texts.push_back(axis.LabelValue(v));
  EXPECT_EQ(texts, (std::vector<std::string>{"4,000", "2,000"}));
  axis.SetLabelsMultiLine(true);
  chart.OnGetAxisLabel = [](TChartAxis&, IChartSeries*, int32_t, std::string& t) { t = "a b"; };
  EXPECT_EQ(axis.LabelValue(1), "a\rb");
}

TEST_F(AxisFixture, LogarithmicLabelsArePowersOfTheBase) {
  Layout(1, 1000);
  axis.SetLogarithmic(true);
  axis.AdjustMaxMin();
  EXPECT_EQ(axis.LabelValues(), (std::vector<double>{1, 10, 100, 1000}));
  Layout(0, 100);
  axis.AdjustMaxMin();
  EXPECT_DOUBLE_EQ(axis.LabelValues().front(), 0.1);
}

// With the minor grid visible, logarithmic labels add a tick below the minimum and
// one at a first power that lies above the maximum.
TEST_F(AxisFixture, LogarithmicLabelsAddTicksForTheMinorGrid) {
  const struct {
    double min, max;
    bool minorGrid;
    std::optional<double> below, above;
  } table[] = {
      {2, 1000, true, 1, {}},       // the start power lies below the minimum
      {1, 1000, true, 0.1, {}},     // the minimum is a power: one power lower
      {4, 8, true, 0.4, 10},        // the start power rounds up, past the maximum
      {2, 1000, false, {}, {}},     // no minor grid: no extra ticks
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.min);
    axis.SetLogarithmic(false);
    Layout(row.min, row.max);
    axis.SetLogarithmic(true);
    axis.AdjustMaxMin();
    axis.MinorGrid.SetVisible(row.minorGrid);
    TChartAxis::TExtraTicks extra;
    axis.LabelValues(&extra);
    EXPECT_EQ(extra.Below.has_value(), row.below.has_value());
    if (extra.Below && row.below) EXPECT_DOUBLE_EQ(*extra.Below, *row.below);
    EXPECT_EQ(extra.Above, row.above);
  }
}

TEST_F(AxisFixture, TheLogarithmicFallbackWalkIsBounded) {
  Layout(2, 8);
  axis.SetLogarithmic(true);
  axis.AdjustMaxMin();
  const std::vector<double> fine = axis.LabelValues();  // no power of 10 inside: steps of 0.1
  ASSERT_GE(fine.size(), 60u);
  EXPECT_LE(fine.size(), 62u);
  EXPECT_NEAR(fine.front(), 2, 0.11);
  Layout(2, 900000);
  axis.SetLogarithmicBase(1e6);
  axis.AdjustMaxMin();
  EXPECT_LE(axis.LabelValues().size(), static_cast<size_t>(AxisMaxLabels));
}

TEST_F(AxisFixture, EventLabelsReplaceOrFallBackToValueLabels) {
  Layout(0, 100);
  axis.SetIncrement(50);
  chart.OnGetNextAxisLabel = [](TChartAxis&, int32_t, double&, bool&) {};
  EXPECT_EQ(axis.LabelValues(), (std::vector<double>{100, 50, 0}));
  chart.OnGetNextAxisLabel = [](TChartAxis&, int32_t index, double& value, bool& stop) {
    value = index * 10.0;
    stop = index == 3;
  };
  EXPECT_EQ(axis.LabelValues(), (std::vector<double>{0, 10, 20}));
  chart.OnGetNextAxisLabel = [](TChartAxis&, int32_t, double& value, bool& stop) {
    value = std::nan("");
    stop = false;
  };
  EXPECT_TRUE(axis.LabelValues().empty());
  chart.OnGetNextAxisLabel = [](TChartAxis&, int32_t, double& value, bool& stop) {
    value = 50;
    stop = false;
  };
  EXPECT_EQ(axis.LabelValues().size(), static_cast<size_t>(AxisMaxEventLabels));
}

TEST_F(AxisFixture, APlanWindowLabelsItsLeftAxisAtTheBottomStep) {
  TChartAxis left(chart);
  left.SetMinMax(3, 97);
  left.CalcAxisPositions();
  left.AdjustMaxMin();
  const double d = 20;  // the bottom axis's step
  chart.OnGetNextAxisLabel = [&](TChartAxis& sender, int32_t index, double& value, bool& stop) {
    if (&sender != &left) return;
    if (index == 0) {
      value = d * (std::nearbyint(value / d) - 1);
      while (value < left.Minimum()) value += d;
    } else {
      value += d;
    }
    stop = false;
  };
  EXPECT_EQ(left.LabelValues(), (std::vector<double>{20, 40, 60, 80}));
}

// Date-time axes: a series whose X values are dates.
struct DateAxisFixture : SideAxesFixture {
  TChartSeries series;
  void SetUp() override {
    chart.series.push_back(&series);
    series.SetParentChart(&chart);
    series.XValues().SetDateTime(true);
    series.AddXY(36526, 0);
    axis.SetDateTimeFormat("dd.MM.yyyy");
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (double v : axis.LabelValues()) texts.push_back(axis.LabelValue(v));
    return texts;
  }
};

TEST_F(DateAxisFixture, DailyLabelsStepBackFromTheLastDay) {
  Layout(36526, 36529.5);  // 1 to 4.5 January 2000
  axis.SetIncrement(DateTimeStep[dtOneDay]);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"04.01.2000", "03.01.2000", "02.01.2000", "01.01.2000"}));
}

TEST_F(DateAxisFixture, MonthlyLabelsFallOnTheFirstOfEachMonth) {
  double jan15 = 0, jun15 = 0;
  ASSERT_TRUE(TryEncodeDate(2000, 1, 15, jan15) && TryEncodeDate(2000, 6, 15, jun15));
  chart.rect = {0, 0, 1000, 400};
  Layout(jan15, jun15);
  axis.SetIncrement(DateTimeStep[dtOneMonth]);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"01.06.2000", "01.05.2000", "01.04.2000", "01.03.2000", "01.02.2000"}));
}

TEST_F(DateAxisFixture, YearsWithFewLabelsStepByMultiplesOfAYear) {
  Layout(36526, 36526 + 3650);
  axis.AdjustMaxMin();
  const double step = axis.CalcLabelsIncrement(2);
  EXPECT_GT(step, 365);
  EXPECT_EQ(std::fmod(step, 365), 0);
}

TEST_F(DateAxisFixture, NegativeDatesHaveNoText) {
  Layout(0, 10);
  EXPECT_EQ(axis.LabelValue(-1), "");
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetLogarithmic(true); }), "DateTime Axis cannot be Logarithmic");
}

TEST_F(DateAxisFixture, AStepThatIsNoDateTimeIsRefusedAndTheOldOneKept) {
  axis.SetIncrement(DateTimeStep[dtOneDay]);
  EXPECT_EQ(ThrownMessage<AxisException>([&] { axis.SetIncrement(1e9); }), "Invalid argument to date encode");
  EXPECT_EQ(axis.Increment(), DateTimeStep[dtOneDay]);
  axis.SetIncrement(365000);  // about a thousand years: still a date
  EXPECT_EQ(axis.Increment(), 365000);
}

TEST_F(DateAxisFixture, ACalendarStepThatCannotMoveEndsTheLabels) {
  Layout(-693593, -693593 + 400);  // from 1 January of year 1: a year back cannot be taken
  axis.SetIncrement(DateTimeStep[dtOneYear]);
  EXPECT_LE(axis.LabelValues().size(), 2u);
}

// [SECTION] Pixel mapping

TEST_F(AxisFixture, PixelsMapBothWays) {
  Layout(0, 100);
  EXPECT_EQ(axis.CalcPosValue(25), 125);
  EXPECT_DOUBLE_EQ(axis.CalcPosPoint(125), 25);
  axis.SetInverted(true);
  axis.AdjustMaxMin();
  EXPECT_EQ(axis.CalcPosValue(25), 375);
  EXPECT_DOUBLE_EQ(axis.CalcPosPoint(375), 25);
  TChartAxis left(chart);
  left.SetMinMax(0, 100);
  left.CalcAxisPositions();
  left.AdjustMaxMin();
  EXPECT_EQ(left.CalcPosValue(25), 300);
  EXPECT_DOUBLE_EQ(left.CalcPosPoint(300), 25);
}

TEST_F(AxisFixture, FastMappingAddsTheRoundedOffsetAndTakesEffectWhenChosen) {
  // Starting at pixel 1, 5 pixels a unit: 0.5 lies on a half pixel (3.5), which
  // the exact mapping rounds to even and the fast one reaches as 1 + round(2.5).
  chart.rect = {1, 0, 501, 400};
  Layout(0, 100);
  struct Case {
    bool fast;
    bool chosen;
    int32_t pixel;
  };
  for (const Case c : {Case{false, true, 4}, Case{true, false, 4}, Case{true, true, 3}}) {
    chart.axes.FastCalc = c.fast;
    if (c.chosen) axis.SetCalcPosValue();
    EXPECT_EQ(axis.CalcPosValue(0.5), c.pixel) << c.fast << c.chosen;
  }
}

TEST_F(AxisFixture, ExtremeValuesClampToThePixelLimit) {
  Layout(0, 100);
  EXPECT_EQ(axis.CalcPosValue(1e300), AxisPixelLimit);
  EXPECT_EQ(axis.CalcPosValue(-Inf), -AxisPixelLimit);
  EXPECT_EQ(axis.CalcPosValue(std::nan("")), 0);
}

TEST_F(AxisFixture, LogarithmicAxesMapNonPositiveValuesToTheirLowEnd) {
  Layout(1, 1000);
  axis.SetLogarithmic(true);
  axis.AdjustMaxMin();
  EXPECT_EQ(axis.CalcPosValue(0), 0);
  EXPECT_EQ(axis.CalcPosValue(-5), 0);
  EXPECT_EQ(axis.CalcPosValue(std::nan("")), 0);
  EXPECT_EQ(axis.CalcPosValue(Inf), AxisPixelLimit);
  EXPECT_NEAR(axis.CalcPosPoint(250), std::sqrt(1000.0), 1e-9);
  TChartAxis left(chart);
  left.SetMinMax(1, 1000);
  left.SetLogarithmic(true);
  left.CalcAxisPositions();
  left.AdjustMaxMin();
  EXPECT_EQ(left.CalcPosValue(0), 400);
}

TEST_F(AxisFixture, AMinorTickCountBelowOneDrawsNoMinorMarks) {
  axis.SetMinorTickCount(0);
  EXPECT_EQ(axis.MinorTicksBetween(), 0);
  axis.SetMinorTickCount(-4);
  EXPECT_EQ(axis.MinorTicksBetween(), 0);
}

TEST_F(AxisFixture, ZPositionZeroReadsBackAsAHundredth) {
  axis.SetZPosition(0);
  EXPECT_EQ(axis.ZPosition(), 0.01);
}

}  // namespace
}  // namespace qira

#include "model/PaletteAxis.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/Palette.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void ExpectValues(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], 1e-9 * std::max(1.0, std::fabs(expected[i]))) << "entry " << i;
  }
}

void ExpectPoint(TPoint2D actual, TPoint2D expected) {
  EXPECT_NEAR(actual.X, expected.X, 1e-9);
  EXPECT_NEAR(actual.Y, expected.Y, 1e-9);
}

// Records what an axis draws instead of drawing it.
class TRecordingGraph : public TGraph2D {
 public:
  struct TLineCall {
    const TLineParams* Params;
    TPoint2D From, To;
  };
  struct TTextCall {
    std::string Text;
    TPoint2D At;
    uint8_t VAlign, HAlign;
  };
  std::vector<TLineCall> Lines;
  std::vector<TTextCall> Texts;

  void Line(const TLineParams& p, double x1, double y1, double x2, double y2) override {
    Lines.push_back({&p, {x1, y1}, {x2, y2}});
  }
  void Polyline(std::span<const TPoint2D>, const TLineParams&) override { ADD_FAILURE(); }
  void Polygon(std::span<const TPoint2D>, const TGraphParams&, const TGraphParams&) override { ADD_FAILURE(); }
  void TextOut(TFontParams& f, double x, double y, std::string_view text) override {
    Texts.push_back({std::string(text), {x, y}, f.VAlign, f.HAlign});
  }
  void Rectangle(const TGraphParams&, const TGraphParams&, double, double, double, double) override { ADD_FAILURE(); }
  void Ellipse(const TGraphParams&, const TGraphParams&, double, double, double, double) override { ADD_FAILURE(); }
  void GradientRect(const TRect2D&, bool, TColor, TColor) override { ADD_FAILURE(); }

  std::vector<const TLineCall*> LinesWith(const TLineParams& p) const {
    std::vector<const TLineCall*> out;
    for (const auto& l : Lines) {
      if (l.Params == &p) out.push_back(&l);
    }
    return out;
  }
};

// ---- nice step and linear ticks ----------------------------------------------------

TEST(AxisNiceStep, LargestOneTwoFiveStepGivingMoreThanFiveIntervals) {
  const struct {
    double min, max, step;
  } table[] = {
      {0, 100, 10}, {0, 12, 2}, {0, 1000, 100}, {0, 10, 1},     {0, 4, 0.5},
      {0, 24.9, 2}, {0, 49.9, 5}, {100, 0, 10}, {-3, 3, 1},     {0, 2.49, 0.2},
      {0, 0, 0},    {7, 7, 0},   {kNaN, 1, 0}, {0, kInf, 0},   {-kInf, kInf, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.min) + " .. " + std::to_string(row.max));
    EXPECT_NEAR(NiceStep(row.min, row.max), row.step, 1e-12);
  }
}

TEST(AxisLinearTicks, MultiplesOfTheStepWithinTheRange) {
  const struct {
    double min, max, step;
    int32_t minors;
    std::vector<double> major, minor;
  } table[] = {
      {-7, 23, 5, 0, {-5, 0, 5, 10, 15, 20}, {}},
      {0.5, 3.2, 1, 1, {1, 2, 3}, {0.5, 1.5, 2.5}},
      {-1, 1, 0.5, 1, {-1, -0.5, 0, 0.5, 1}, {-0.75, -0.25, 0.25, 0.75}},
      {0.1, 0.35, 0.1, 0, {0.1, 0.2, 0.3}, {}},
      {3, 4, 10, 4, {}, {4}},  // a step wider than the range: no major inside
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.min) + " .. " + std::to_string(row.max));
    const TAxisTicks ticks = LinearTicks(row.min, row.max, row.step, row.minors, 100);
    ExpectValues(ticks.Major, row.major);
    ExpectValues(ticks.Minor, row.minor);
  }
}

TEST(AxisLinearTicks, DegenerateRangesAndStepsGiveNoTicks) {
  const struct {
    double min, max, step;
  } table[] = {
      {5, 5, 1},   {10, 0, 1},  {kNaN, 10, 1}, {0, kNaN, 1},   {0, kInf, 1},  {-kInf, 0, 1},
      {0, 10, 0},  {0, 10, -1}, {0, 10, kNaN}, {0, 10, kInf},  {0, 10, 1e-9}, {0, 10, 0.05},
      {-1e308, 1e308, 1e300},  // the range itself overflows
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.min) + " .. " + std::to_string(row.max) + " by " + std::to_string(row.step));
    const TAxisTicks ticks = LinearTicks(row.min, row.max, row.step, 4, 100);
    EXPECT_TRUE(ticks.Major.empty());
    EXPECT_TRUE(ticks.Minor.empty());
  }
}

TEST(AxisLinearTicks, TooManyMinorTicksDropOnlyTheMinors) {
  const TAxisTicks ticks = LinearTicks(0, 100, 10, INT32_MAX, 100);
  EXPECT_EQ(ticks.Major.size(), 11u);
  EXPECT_TRUE(ticks.Minor.empty());
  EXPECT_TRUE(LinearTicks(0, 100, 10, 10, 100).Minor.empty());  // 10 * 11 > 100
  EXPECT_EQ(LinearTicks(0, 100, 10, 9, 100).Minor.size(), 90u);
}

TEST(AxisLinearTicks, FarFromZeroTheLoopStillEnds) {
  // Floor(min / step) is 1e16, where adding one to a double changes nothing.
  const double min = 1e20;
  const double max = 1e20 + 262144;
  const TAxisTicks ticks = LinearTicks(min, max, 1e4, 4, 100);
  EXPECT_LE(ticks.Major.size(), 31u);
  EXPECT_LE(ticks.Minor.size(), 4u * 31u);
  for (double v : ticks.Major) {
    EXPECT_GE(v, min);
    EXPECT_LE(v, max);
  }
}

// ---- logarithmic ticks -------------------------------------------------------------

TEST(AxisLogarithmicTicks, ModeFollowsTheNumberOfDecades) {
  const struct {
    double min, max;
    int mode;
  } table[] = {
      {1, 1e10, 0}, {1, 1e9, 0}, {1, 1e8, 1}, {1, 1e6, 1}, {1, 1e4, 2}, {1, 1000, 2}, {1, 100, 3},
      {2, 20, 4},   {1, 10, 4},  {1, 5, -1},  {1, 1, -1},  {10, 1, -1}, {0, 10, -1}, {-1, 10, -1},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.min) + " .. " + std::to_string(row.max));
    EXPECT_EQ(LogarithmicMode(row.min, row.max), row.mode);
  }
}

TEST(AxisLogarithmicTicks, FourDecadesHaveMajorsAtOneAndThreeOfEach) {
  const TAxisTicks ticks = LogarithmicTicks(1, 10000, 2);
  ExpectValues(ticks.Major, {1, 3, 10, 30, 100, 300, 1000, 3000, 10000});
  // j = 2, 4 .. 10 in each of four decades; 1.5, 15, ... never.
  ExpectValues(std::vector<double>(ticks.Minor.begin(), ticks.Minor.begin() + 8), {2, 4, 5, 6, 7, 8, 9, 10});
  EXPECT_EQ(ticks.Minor.size(), 32u);
  EXPECT_NEAR(ticks.Minor.back(), 10000, 1e-9);  // 10 * 10^3, beside the major 1 * 10^4
}

TEST(AxisLogarithmicTicks, OneAndTwoDecadesMarkMoreValuesAsMajorAndKeepBothTens) {
  const TAxisTicks one = LogarithmicTicks(1, 10, 4);
  ExpectValues(one.Major, {1, 1.5, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10});
  EXPECT_TRUE(one.Minor.empty());
  const TAxisTicks two = LogarithmicTicks(1, 100, 3);
  ExpectValues(two.Major, {1, 1.5, 2, 3, 5, 7, 10, 15, 20, 30, 50, 70, 100});
  ExpectValues(two.Minor, {4, 6, 8, 9, 10, 40, 60, 80, 90, 100});
}

TEST(AxisLogarithmicTicks, ManyDecadesMarkPowersOfTenOrNothing) {
  const TAxisTicks six = LogarithmicTicks(1, 1e6, 1);
  ExpectValues(six.Major, {1, 10, 100, 1000, 1e4, 1e5, 1e6});
  EXPECT_EQ(six.Minor.size(), 6u * 9u);

  const TAxisTicks ten = LogarithmicTicks(1e-5, 1e5, 0);
  EXPECT_TRUE(ten.Major.empty());
  EXPECT_EQ(ten.Minor.size(), 10u * 10u + 1u);
  for (double v : ten.Minor) {
    const double mantissa = v / std::pow(10.0, std::floor(std::log10(v)));
    EXPECT_GT(std::fabs(mantissa - 1.5), 1e-6) << v;
  }
}

TEST(AxisLogarithmicTicks, TheWholeDoubleRangeStaysBounded) {
  const TAxisTicks ticks = LogarithmicTicks(std::numeric_limits<double>::denorm_min(),
                                            std::numeric_limits<double>::max(), 0);
  EXPECT_LT(ticks.Minor.size(), 7000u);
  EXPECT_GT(ticks.Minor.size(), 6000u);
}

// ---- the axis object ------------------------------------------------------------------

TEST(AxisLabels, GeneralFormatWithTwelveSignificantDigits) {
  const struct {
    double value;
    const char* text;
  } table[] = {
      {0, "0"},          {-0.0, "0"},       {100, "100"},          {2.5, "2.5"},
      {-7.25, "-7.25"},  {3 * 0.1, "0.3"},  {1e-7, "1E-7"},        {123456789012345.0, "1.23456789012E14"},
      {10000, "10000"},  {0.001, "0.001"},  {1.0 / 3, "0.333333333333"},
      // Fixed notation reaches down to 0.00001 and up to twelve integer digits.
      {0.00001, "0.00001"},  {-1.5e-5, "-0.000015"},  {1.23456789012345e-5, "0.0000123456789012"},
      {9.99999999999999e-6, "0.00001"},  {999999999999.0, "999999999999"},  {1e12, "1E12"},
      {-2.5e20, "-2.5E20"},  {1e-300, "1E-300"},
  };
  for (const auto& row : table) EXPECT_EQ(AxisLabelText(row.value), row.text) << row.value;
}

TEST(AxisObject, ValueToPointAndLabelAlignmentBySide) {
  const struct {
    uint8_t side;
    TPoint2D linear, logarithmic;
    uint8_t vAlign, hAlign;
  } table[] = {
      {0, {5, 32.5}, {5, 45}, 2, 1},
      {1, {115, 32.5}, {115, 45}, 2, 0},
      {2, {35, 15}, {60, 15}, 1, 2},
      {3, {35, 75}, {60, 75}, 0, 2},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(int(row.side));
    TAxis axis;
    axis.SetBounds(10, 110, 20, 70);
    axis.SetOrientation(row.side);
    axis.SetRange(0, 100);
    ExpectPoint(axis.ValueToPoint(5, 25), row.linear);
    EXPECT_EQ(axis.LabelFont.VAlign, row.vAlign);
    EXPECT_EQ(axis.LabelFont.HAlign, row.hAlign);
    axis.SetRange(1, 100);
    axis.SetLogarithmic(true);
    ExpectPoint(axis.ValueToPoint(5, 10), row.logarithmic);
  }
}

TEST(AxisObject, AnUnknownSideChangesOnlyTheSide) {
  TAxis axis;
  axis.SetBounds(10, 110, 20, 70);
  axis.SetOrientation(1);
  axis.CalcTicks();
  axis.SetOrientation(7);
  EXPECT_EQ(axis.Side(), 7);
  EXPECT_FALSE(axis.NeedsTicks);
  EXPECT_EQ(axis.LabelFont.HAlign, 0);
  EXPECT_NEAR(axis.ValueToPoint(5, 50).X, 115, 1e-9);
}

TEST(AxisObject, AutomaticStepFollowsTheRange) {
  TAxis axis;
  axis.SetRange(0, 12);
  axis.CalcTicks();
  EXPECT_EQ(axis.Step, 2);
  EXPECT_EQ(axis.MajorTicks().size(), 7u);
  axis.SetRange(5, 5);  // no nice step: the last one stays
  axis.CalcTicks();
  EXPECT_EQ(axis.Step, 2);
  EXPECT_TRUE(axis.MajorTicks().empty());
}

TEST(AxisObject, ALogarithmicAxisUnderOneDecadeUsesLinearTicks) {
  TAxis axis;
  axis.SetRange(1, 5);
  axis.SetLogarithmic(true);
  axis.CalcTicks();
  EXPECT_EQ(axis.Step, 0.5);
  ExpectValues(axis.MajorTicks(), {1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5});
}

TEST(AxisObject, DegenerateRangesDrawNothing) {
  const struct {
    double min, max;
    bool logarithmic;
  } table[] = {
      {5, 5, false},   {10, 0, false}, {kNaN, 10, false}, {0, kInf, false}, {-kInf, kInf, false},
      {5, 5, true},    {10, 1, true},  {0, 100, true},    {-1, 100, true},  {1, kInf, true},
      {kNaN, kNaN, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.min) + " .. " + std::to_string(row.max) + (row.logarithmic ? " log" : ""));
    TAxis axis;
    axis.SetBounds(0, 200, 0, 30);
    axis.ShowGrid = true;
    axis.SetRange(row.min, row.max);
    axis.SetLogarithmic(row.logarithmic);
    TRecordingGraph graph;
    axis.Draw(graph);
    EXPECT_TRUE(graph.Lines.empty());
    EXPECT_TRUE(graph.Texts.empty());
    EXPECT_EQ(axis.Graph, &graph);
  }
}

TEST(AxisObject, AFixedStepWithMoreTicksThanPixelsIsRefused) {
  const struct {
    double length, step;
    size_t majors, minors;
  } table[] = {
      {200, 10, 11, 40},   // usual
      {200, 1, 101, 0},    // 100 intervals fit; 500 with minors do not
      {50, 1, 101, 0},     // a short axis still allows 100
      {50, 0.5, 0, 0},     // 200 intervals on 100
      {2000, 0.1, 1001, 0},
      {1e12, 1e-6, 0, 0},  // a claimed length does not lift the bound without limit
      {200, 0, 0, 0},
      {200, -10, 0, 0},
      {200, kNaN, 0, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.length) + " by " + std::to_string(row.step));
    TAxis axis;
    axis.AutoStep = false;
    axis.Step = row.step;
    axis.SetBounds(0, row.length, 0, 30);
    axis.CalcTicks();
    EXPECT_EQ(axis.MajorTicks().size(), row.majors);
    EXPECT_EQ(axis.MinorTicks().size(), row.minors);
  }
}

TEST(AxisObject, DrawsTicksLabelsGridAndMinorsAtTheirPoints) {
  TAxis axis;
  axis.SetBounds(10, 210, 10, 40);
  axis.SetRange(0, 100);
  axis.ShowGrid = true;
  TRecordingGraph graph;
  axis.Draw(graph);

  const auto ticks = graph.LinesWith(axis.TickLine);
  ASSERT_EQ(ticks.size(), 11u);
  for (size_t i = 0; i < ticks.size(); ++i) {
    const double x = 10 + 20.0 * i;
    ExpectPoint(ticks[i]->From, TPoint2D{x, 40});
    ExpectPoint(ticks[i]->To, TPoint2D{x, 45});
  }
  ASSERT_EQ(graph.Texts.size(), 11u);
  EXPECT_EQ(graph.Texts[0].Text, "0");
  EXPECT_EQ(graph.Texts[5].Text, "50");
  EXPECT_EQ(graph.Texts[10].Text, "100");
  ExpectPoint(graph.Texts[5].At, TPoint2D{110, 45});
  EXPECT_EQ(graph.Texts[5].VAlign, 0);
  EXPECT_EQ(graph.Texts[5].HAlign, 2);

  const auto grid = graph.LinesWith(axis.GridLine);
  ASSERT_EQ(grid.size(), 11u);
  ExpectPoint(grid[3]->From, TPoint2D{70, 40});
  ExpectPoint(grid[3]->To, TPoint2D{70, 10});

  const auto minors = graph.LinesWith(axis.MinorLine);
  ASSERT_EQ(minors.size(), 40u);
  EXPECT_NEAR(minors[0]->From.X, 14, 1e-9);
  EXPECT_NEAR(minors[0]->To.Y, 43, 1e-9);

  // Ticks first, then labels, grid and minor ticks.
  EXPECT_EQ(graph.Lines.front().Params, &axis.TickLine);
  EXPECT_EQ(graph.Lines.back().Params, &axis.MinorLine);
}

TEST(AxisObject, LabelOffsetOnTheLeftAddsAFifthOfTheFontSize) {
  TAxis axis;
  axis.SetBounds(50, 80, 10, 110);
  axis.SetOrientation(0);
  axis.LabelFont.Size = 10;
  axis.ShowMinorTicks = false;
  TRecordingGraph graph;
  axis.Draw(graph);
  ASSERT_EQ(graph.Texts.size(), 11u);
  ExpectPoint(graph.Texts[2].At, TPoint2D{50 - 5 - 2, 30});
  EXPECT_EQ(graph.Texts[2].HAlign, 1);

  axis.ShowTicks = false;
  axis.SetOrientation(3);
  TRecordingGraph bottom;
  axis.Draw(bottom);
  EXPECT_TRUE(bottom.Lines.empty());
  ASSERT_EQ(bottom.Texts.size(), 11u);
  ExpectPoint(bottom.Texts[0].At, TPoint2D{50, 110});
}

TEST(AxisObject, LogarithmicLabelsAreTheMajorValues) {
  TAxis axis;
  axis.SetBounds(20, 220, 10, 40);
  axis.SetRange(1, 10000);
  axis.SetLogarithmic(true);
  TRecordingGraph graph;
  axis.Draw(graph);
  std::vector<std::string> labels;
  for (const auto& t : graph.Texts) labels.push_back(t.Text);
  EXPECT_EQ(labels, (std::vector<std::string>{"1", "3", "10", "30", "100", "300", "1000", "3000", "10000"}));
  EXPECT_NEAR(graph.Texts[1].At.X, 20 + 50 * std::log10(3.0), 1e-9);
}

// ---- the palette bar with its axis, rendered ----------------------------------------

class PaletteBarRendering : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    palette.SetColor(0, MakeColor(0, 0, 255));
    palette.SetColor(1, MakeColor(255, 0, 0));
    palette.AddStop(50, MakeColor(0, 255, 0));
    palette.SetIntensity(100);
  }

  // As the palette editor draws it: a frame, the bar, the axis under the bar.
  void Render() {
    TGraph2DCanvas graph(bitmap.Canvas());
    TLineParams framePen;
    TBrushParams noFill;
    noFill.Back = false;
    graph.Rectangle(framePen, noFill, 19, 9, 222, 41);
    palette.DrawBar(graph, TRect2D{20, 10, 220, 40}, 1);
    TAxis axis;
    axis.SetRange(palette.Min(), palette.Max());
    axis.SetBounds(20, 220, 10, 40);
    axis.SetOrientation(3);
    axis.LabelFont.Size = 6;
    axis.Draw(graph);
  }

  // The pixel rows 40 .. 44 of a major tick and 40 .. 42 of a minor one are black;
  // the bar ends at row 39.
  void ExpectTickAt(int x, int length) {
    SCOPED_TRACE("tick at x = " + std::to_string(x));
    for (int y = 40; y < 40 + length; ++y) EXPECT_EQ(bitmap.Pixel(x, y), clBlack) << "row " << y;
    EXPECT_NE(bitmap.Pixel(x, 40 + length), clBlack);
  }

  // Some label pixel below the ticks near x.
  bool LabelInkNear(int x) const {
    for (int y = 45; y < 70; ++y) {
      for (int dx = -6; dx <= 6; ++dx) {
        if (bitmap.Pixel(x + dx, y) != clWhite) return true;
      }
    }
    return false;
  }

  TZBPalette palette;
  TBitmap bitmap{240, 80};
};

// A logarithmic axis differs only in its tick values, which the tests above check.
TEST_F(PaletteBarRendering, LinearPaletteBarWithItsFrameAndAxis) {
  palette.SetRange(0, 100);
  Render();
  EXPECT_EQ(bitmap.Pixel(20, 25), MakeColor(0, 0, 255));
  EXPECT_EQ(bitmap.Pixel(70, 25), MakeColor(0, 128, 127));  // half way from blue to green
  EXPECT_EQ(bitmap.Pixel(120, 25), MakeColor(0, 255, 0));
  EXPECT_EQ(bitmap.Pixel(170, 10), MakeColor(128, 127, 0));
  EXPECT_EQ(bitmap.Pixel(220, 39), MakeColor(255, 0, 0));
  EXPECT_EQ(bitmap.Pixel(19, 25), clBlack);   // frame, left
  EXPECT_EQ(bitmap.Pixel(221, 25), clBlack);  // frame, right
  EXPECT_EQ(bitmap.Pixel(100, 9), clBlack);   // frame, top
  EXPECT_EQ(bitmap.Pixel(100, 8), clWhite);
  EXPECT_EQ(bitmap.Pixel(222, 25), clWhite);
  for (int v = 0; v <= 100; v += 10) ExpectTickAt(20 + 2 * v, 5);
  ExpectTickAt(24, 3);   // minor at 2
  ExpectTickAt(216, 3);  // minor at 98
  EXPECT_EQ(bitmap.Pixel(22, 41), clWhite);
  EXPECT_TRUE(LabelInkNear(20));
  EXPECT_TRUE(LabelInkNear(120));
  for (int y = 45; y < 80; ++y) EXPECT_EQ(bitmap.Pixel(30, y), clWhite) << "between labels, row " << y;
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "chart/engine/AxisLabels.h"
#include "support/CommaDecimalLocale.h"

namespace qira {
namespace {

struct FormatCase {
  const char* format;
  double value;
  const char* text;
};

TEST(AxisLabelTexts, NumbersFollowThePictureFormat) {
  const FormatCase cases[] = {
      {"#,##0.###", 1234.5678, "1,234.568"},
      {"#,##0.###", 9.5, "9.5"},
      {"#,##0.###", 0, "0"},
      {"#,##0.###", -0.5, "-0.5"},
      {"#,##0.###", 1000000, "1,000,000"},
      {"#,##0.###", -0.0001, "0"},
      {"0.00", 2.5, "2.50"},
      {"0.00E+00", 1234.5, "1.23E+03"},
      {"0.00E+00", 0.000995, "9.95E-04"},
      {"##0.## %", 50, "50 %"},
      {"#,##0.###", 1e20, "1E20"},
      {"0;(0);'zero'", -3, "(3)"},
      {"0;(0);'zero'", 0, "zero"},
      {"#,##0.###", std::numeric_limits<double>::infinity(), "INF"},
      {"#,##0.###", std::nan(""), "NAN"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST(AxisLabelTexts, TheUsersSeparatorsReplaceThePointAndTheGroupsButNotLiterals) {
  const TNumberSeparators comma{",", "."};
  EXPECT_EQ(FormatFloat("#,##0.###", 1234.5678, comma), "1.234,568");
  EXPECT_EQ(FormatFloat("0.00E+00", 1234.5, comma), "1,23E+03");
  EXPECT_EQ(FormatFloat("0.0' m.'", 2.5, comma), "2,5 m.");
  EXPECT_EQ(FormatFloat("#,##0.###", 1.5e20, comma), "1,5E20");
}

TEST(AxisLabelTexts, TheSeparatorsComeFromTheNumericLocale) {
  const TCommaDecimalLocale comma;
  ASSERT_TRUE(comma.CLocaleSwitched()) << "no decimal-comma locale; run scripts/setup";
  const TNumberSeparators separators = UserNumberSeparators();
  EXPECT_EQ(separators.Decimal, ",");
  EXPECT_EQ(separators.Thousands, ".");
  // The plain form stays free of the locale: it is the one files use.
  EXPECT_EQ(FormatFloat("#,##0.###", 1234.5), "1,234.5");
}

TEST(AxisLabelTexts, FloatToStrWritesFifteenSignificantDigits) {
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
}

TEST(AxisLabelTexts, DateValuesFollowTheFormatAndRefuseImpossibleDates) {
  EXPECT_EQ(FormatDateTimeValue("dd.MM.yyyy HH:mm", 36526.5), "01.01.2000 12:00");
  EXPECT_EQ(FormatDateTimeValue("dd.MM.yyyy", 2), "01.01.1900");
  EXPECT_EQ(FormatDateTimeValue("dd.MM.yyyy", 1e300), "");
  EXPECT_EQ(FormatDateTimeValue("dd.MM.yyyy", std::nan("")), "");
}

TEST(AxisLabelTexts, LineCountIgnoresATrailingSeparator) {
  EXPECT_EQ(LineCount(""), 0);
  EXPECT_EQ(LineCount("a"), 1);
  EXPECT_EQ(LineCount("a\rb"), 2);
  EXPECT_EQ(LineCount("a\r"), 1);
}

TEST(AxisSteps, NextNiceStepClimbsTheOneTwoFiveSeries) {
  const double cases[][2] = {{1, 2}, {2, 5}, {5, 10}, {7, 10}, {0.3, 0.5}, {10, 20}, {450, 500}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(NextNiceStep(c[0]), c[1]) << c[0];
}

TEST(AxisSteps, NextNiceStepOfADegenerateValueIsOne) {
  EXPECT_EQ(NextNiceStep(std::numeric_limits<double>::infinity()), 1);
  EXPECT_EQ(NextNiceStep(0), 1);
  EXPECT_EQ(NextNiceStep(-3), 1);
  EXPECT_EQ(NextNiceStep(std::nan("")), 1);
  // The smallest subnormal: hundreds of decades, no stack overflow.
  const double tiny = NextNiceStep(std::numeric_limits<double>::denorm_min());
  EXPECT_GT(tiny, 0);
  EXPECT_TRUE(std::isfinite(tiny));
}

}  // namespace
}  // namespace qira

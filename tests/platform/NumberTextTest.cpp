#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "support/CommaDecimalLocale.h"

namespace qira {
namespace {

// Every test here runs under a decimal-comma locale, which the number text must ignore.
class NumberText : public ::testing::Test {
 protected:
  TCommaDecimalLocale comma_;
};

// The C library writes a comma here, so a point in our text is our own doing.
// scripts/setup makes the locale; without it the other tests here would prove nothing.
TEST_F(NumberText, WritesAndReadsAPointWhereTheCLibraryWritesAComma) {
  ASSERT_TRUE(comma_.CLocaleSwitched()) << "no decimal-comma locale; run scripts/setup";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", 2.5);
  ASSERT_STREQ(buf, "2,5");
  EXPECT_EQ(FormatFixed(2.5, 1), "2.5");
  EXPECT_EQ(FormatShortest(2.5), "2.5");
  EXPECT_EQ(FormatExponent(2.5, 1), "2.5e+00");
  double back = 0;
  EXPECT_TRUE(ParseDouble("2.5", back, false));
  EXPECT_EQ(back, 2.5);
}

TEST_F(NumberText, FormatsWithAPoint) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {FormatShortest(0.1), "0.1"},
      {FormatShortest(-2.5), "-2.5"},
      {FormatShortest(1e20), "1e+20"},
      {FormatShortest(-0.0), "-0"},
      {FormatShortest(1.0 / 3.0), "0.3333333333333333"},
      {FormatFixed(2.5, 2), "2.50"},
      {FormatFixed(-1234.5678, 1), "-1234.6"},
      {FormatFixed(0.125, 2), "0.12"},  // an exact tie goes to even
      {FormatFixed(0.375, 2), "0.38"},
      {FormatFixed(7.0, -3), "7"},
      {FormatExponent(1234.5, 2), "1.23e+03"},
      {FormatExponent(-0.00012345, 3), "-1.234e-04"},
      {FormatExponent(1e300, 0), "1e+300"},
      {FormatInteger(-9223372036854775807LL - 1), "-9223372036854775808"},
      {FormatInteger(42), "42"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST_F(NumberText, ShortestTextReadsBackToTheSameValue) {
  for (double x : {0.1, 1.0 / 3.0, 6.02214076e23, 5e-324, std::numeric_limits<double>::max(), -123.456}) {
    double back = 0;
    ASSERT_TRUE(ParseDouble(FormatShortest(x), back, false)) << x;
    EXPECT_EQ(back, x);
  }
}

TEST_F(NumberText, ParsesWholeTextsOnly) {
  struct Case {
    const char* text;
    bool comma;
    bool ok;
    double value;
  } cases[] = {
      {"2.5", true, true, 2.5},
      {"2,5", true, true, 2.5},
      {"2,5", false, false, 0},
      {"  -1.5e3\t", true, true, -1500},
      {"+7", true, true, 7},
      {".5", true, true, 0.5},
      {"-,25", true, true, -0.25},
      {"1.5x", true, false, 0},
      {"1,234.5", true, false, 0},
      {"1 2", true, false, 0},
      {"", true, false, 0},
      {"   ", true, false, 0},
      {"-", true, false, 0},
      {"+-1", true, false, 0},
      {"--1", true, false, 0},
      {"inf", true, false, 0},
      {"nan", true, false, 0},
      {"0x10", true, false, 0},
      {"1e400", true, false, 0},
      {"e5", true, false, 0},
  };
  for (const Case& c : cases) {
    double v = -999;
    EXPECT_EQ(ParseDouble(c.text, v, c.comma), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(v, c.ok ? c.value : -999) << c.text;
  }
}

TEST_F(NumberText, IntegersAreRangeChecked) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", true, 0},       {" -2147483648 ", true, INT32_MIN}, {"2147483647", true, INT32_MAX},
      {"+12", true, 12},    {"2147483648", false, 0},           {"-2147483649", false, 0},
      {"12a", false, 0},    {"1.0", false, 0},                  {"", false, 0},
      {"+-1", false, 0},    {"0x1F", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = -7;
    EXPECT_EQ(ParseInt32(c.text, v), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.value : -7) << c.text;
  }
  int64_t big = 0;
  EXPECT_TRUE(ParseInt64("9223372036854775807", big));
  EXPECT_EQ(big, INT64_MAX);
  EXPECT_FALSE(ParseInt64("9223372036854775808", big));
}

}  // namespace
}  // namespace qira

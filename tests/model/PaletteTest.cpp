#include "model/Palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/NumberText.h"
#include "support/CommaDecimalLocale.h"
#include "support/FakeServices.h"
#include "support/HeapPeak.h"
#include "support/NamedRows.h"
#include "support/PaletteFixtures.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kGreen = MakeColor(0, 255, 0);
constexpr TColor kBlue = MakeColor(0, 0, 255);
constexpr TColor kGray = MakeColor(128, 128, 128);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Start red, a green stop at 40, end blue; intensity 100, range 0..100.
TZBPalette RedGreenBlue() {
  TZBPalette p;
  p.SetColor(0, kRed);
  p.SetColor(1, kBlue);
  p.AddStop(40, kGreen);
  p.SetIntensity(100);
  p.SetRange(0, 100);
  return p;
}

TZBPalette TwoColours(TColor start, TColor end) {
  TZBPalette p;
  p.SetColor(0, start);
  p.SetColor(1, end);
  p.SetIntensity(100);
  return p;
}

std::string Hex(TColor c) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", ColorRed(c), ColorGreen(c), ColorBlue(c));
  return text;
}

// The scale in one line: start colour, "position:colour" per stop, end colour (RRGGBB).
std::string Scale(const TZBPalette& p) {
  std::string s = Hex(p.StartColor());
  for (size_t i = 0; i < p.StopColors().size(); ++i)
    s += " " + std::to_string(p.StopPositions().at(i)) + ":" + Hex(p.StopColors()[i]);
  return s + " " + Hex(p.EndColor());
}

// Everything a palette holds: the scale, "I" and the intensity, the range, the flags.
std::string Describe(const TZBPalette& p) {
  return Scale(p) + " I" + std::to_string(p.Intensity()) + " " + FormatShortest(p.Min()) + ".." +
         FormatShortest(p.Max()) + (p.Logarithmic() ? " log" : "") + (p.AutoRange() ? " auto" : "");
}

// ---- stops and indices ---------------------------------------------------------

TEST(PaletteStops, IndicesBelowAndAboveAddressTheEnds) {
  TZBPalette p = RedGreenBlue();
  EXPECT_EQ(p.Count(), 3);
  EXPECT_EQ(p.GetColor(-5), kRed);
  EXPECT_EQ(p.GetColor(1), kGreen);
  EXPECT_EQ(p.GetColor(2), kBlue);
  EXPECT_EQ(p.GetColor(99), kBlue);
  EXPECT_EQ(p.GetPosition(-1), 0);
  EXPECT_EQ(p.GetPosition(1), 40);
  EXPECT_EQ(p.GetPosition(7), 100);
  p.SetColor(-3, kGray);
  p.SetColor(50, clBlack);
  EXPECT_EQ(Scale(p), "808080 40:00FF00 000000");
}

TEST(PaletteStops, EditsKeepTheStopsInsideAndSortedAndTheEndsInPlace) {
  const struct {
    const char* edit;
    std::function<void(TZBPalette&)> apply;
    const char* scale;  // starting from "FF0000 40:00FF00 0000FF"
  } table[] = {
      {"stops are added in order, never at the ends",
       [](TZBPalette& p) {
         const std::pair<int, TColor> stops[] = {{70, kGray}, {10, kBlue}, {0, kGray}, {100, kGray}};
         for (auto [at, colour] : stops) p.AddStop(at, colour);
       },
       "FF0000 10:0000FF 40:00FF00 70:808080 0000FF"},
      {"equal positions keep their order",
       [](TZBPalette& p) {
         p.AddStop(40, kGray);
         p.AddStop(40, kBlue);
       },
       "FF0000 40:00FF00 40:808080 40:0000FF 0000FF"},
      {"a stop moved to 0 becomes the start colour", [](TZBPalette& p) { p.SetPosition(1, 0); }, "00FF00 0000FF"},
      {"a stop moved to 100 becomes the end colour", [](TZBPalette& p) { p.SetPosition(1, 100); }, "FF0000 00FF00"},
      {"a moved stop is resorted; the ends cannot move",
       [](TZBPalette& p) {
         p.AddStop(60, kGray);
         p.SetPosition(1, 80);
         p.SetPosition(0, 30);
         p.SetPosition(3, 30);
       },
       "FF0000 60:808080 80:00FF00 0000FF"},
      {"the ends cannot be deleted",
       [](TZBPalette& p) {
         p.DeleteStop(0);
         p.DeleteStop(2);
       },
       "FF0000 40:00FF00 0000FF"},
      {"a stop can", [](TZBPalette& p) { p.DeleteStop(1); }, "FF0000 0000FF"},
  };
  for (const auto& row : table) {
    TZBPalette p = RedGreenBlue();
    row.apply(p);
    EXPECT_EQ(Scale(p), row.scale) << row.edit;
    EXPECT_EQ(p.Count(), static_cast<int>(p.StopColors().size()) + 2) << row.edit;
  }
}

// ---- intensity, range, logarithmic flag ----------------------------------------

TEST(PaletteSettings, OutOfRangeIntensitiesAndRangesThatDoNotAscendAreIgnored) {
  TZBPalette p;
  p.SetIntensity(70);
  for (int ignored : {101, -1, 300}) p.SetIntensity(ignored);
  p.SetRange(1, 5);
  p.SetRange(5, 5);
  p.SetRange(6, 2);
  p.SetRange(kNaN, 9);
  EXPECT_EQ(Describe(p), "000000 000000 I70 1..5");
}

TEST(PaletteSettings, LogarithmicNeedsAPositiveRangeAndKeepsIt) {
  TZBPalette p;
  p.SetRange(-1, 10);
  p.SetLogarithmic(true);
  EXPECT_FALSE(p.Logarithmic());
  p.SetRange(0.5, 10);
  p.SetLogarithmic(true);
  EXPECT_TRUE(p.Logarithmic());
  p.SetRange(0, 20);
  p.SetRange(-2, 20);
  EXPECT_EQ(p.Min(), 0.5);
  p.SetLogarithmic(false);
  EXPECT_FALSE(p.Logarithmic());
  p.SetRange(0, 20);
  EXPECT_EQ(p.Min(), 0);
}

TEST(PaletteSettings, IntensityBrightensTowardWhite) {
  TZBPalette p;
  p.SetIntensity(100);
  EXPECT_EQ(p.AdjustColor(MakeColor(10, 20, 30)), MakeColor(10, 20, 30));
  p.SetIntensity(0);
  EXPECT_EQ(p.AdjustColor(MakeColor(10, 20, 30)), clWhite);
  p.SetIntensity(50);
  // 255 * 0.5 = 127.5 -> 128 (even); 254 * 0.5 = 127; 155 * 0.5 = 77.5 -> 78.
  EXPECT_EQ(p.AdjustColor(MakeColor(0, 1, 100)), MakeColor(128, 128, 178));
}

// ---- colour at a percent and of a value ----------------------------------------

TEST(PaletteMapping, ColourAtPercentOfTwoEndsRoundsHalvesToEven) {
  EXPECT_EQ(TwoColours(clBlack, clWhite).ColorAtPercent(50), MakeColor(128, 128, 128));  // 127.5 -> 128
  // 126.5 -> 126, 0.5 -> 0, 1.5 -> 2
  EXPECT_EQ(TwoColours(clBlack, MakeColor(253, 1, 3)).ColorAtPercent(50), MakeColor(126, 0, 2));
}

TEST(PaletteMapping, ColourAtPercentTable) {
  const TZBPalette p = RedGreenBlue();
  struct Case {
    double percent;
    TColor colour;
  } cases[] = {
      {-10, kRed},  {0, kRed},   {kNaN, kRed}, {-kInf, kRed},
      {40, kGreen}, {100, kBlue}, {150, kBlue}, {kInf, kBlue},
      {20, MakeColor(128, 128, 0)},  // 127.5 both ways
      {10, MakeColor(191, 64, 0)},   // 191.25, 63.75
      {70, MakeColor(0, 128, 128)},
  };
  for (const Case& c : cases) EXPECT_EQ(p.ColorAtPercent(c.percent), c.colour) << c.percent;
}

TEST(PaletteMapping, LinearValuesClampToTheRange) {
  TZBPalette p = RedGreenBlue();
  p.SetRange(100, 300);
  const std::pair<double, TColor> cases[] = {
      {100, kRed}, {-1e300, kRed}, {kNaN, kRed}, {180, kGreen}, {300, kBlue}, {1e300, kBlue},
      {140, MakeColor(128, 128, 0)},
  };
  for (auto [value, colour] : cases) EXPECT_EQ(p.ColorOfValue(value), colour) << value;
}

TEST(PaletteMapping, LogarithmicValuesMapThroughLogarithms) {
  TZBPalette p = RedGreenBlue();
  p.SetRange(1, 10000);
  p.SetLogarithmic(true);
  ASSERT_TRUE(p.Logarithmic());
  EXPECT_EQ(p.ColorOfValue(1), kRed);
  EXPECT_EQ(p.ColorOfValue(10000), kBlue);
  EXPECT_EQ(p.ColorOfValue(1e9), kBlue);
  // 10 is 25 percent of four decades: halfway from red to green at 40 is 20.
  EXPECT_EQ(p.ColorOfValue(10), p.ColorAtPercent(25));
  EXPECT_EQ(p.ColorOfValue(1000), MakeColor(0, 106, 149));  // 75 percent: 106.25, 148.75
  // Zero and negative values clamp to Min before the logarithm.
  for (double v : {0.0, -5.0, 0.5}) EXPECT_EQ(p.ColorOfValue(v), kRed) << v;
}

TEST(PaletteMapping, EqualEndsOfTheRangeGiveTheStartColour) {
  TZBPalette p = RedGreenBlue();
  p.SetRange(5, 6);
  // A range of one value cannot be set; it arrives from stored palettes.
  TMemoryStream s;
  p.SaveToStream(s);
  std::vector<uint8_t> bytes = s.TakeData();
  const double five = 5;
  std::memcpy(&bytes[bytes.size() - 10], &five, 8);  // Max := 5
  TMemoryStream in(bytes);
  ASSERT_TRUE(p.LoadFromStream(in));
  ASSERT_EQ(p.Max(), 5);
  for (double v : {-1.0, 5.0, 7.0}) EXPECT_EQ(p.ColorOfValue(v), kRed) << v;
}

// ---- colours laid out over the values ------------------------------------------

// The palette as a stored chunk may hold it: these stop positions (in the stops'
// order), this range and this flag, none of them checked.
TZBPalette Stored(const TZBPalette& source, std::vector<uint8_t> positions, double min, double max, bool log) {
  TMemoryStream s;
  source.SaveToStream(s);
  std::vector<uint8_t> bytes = s.TakeData();
  // The chunk ends: positions, intensity, Min, Max, automatic range, logarithmic.
  const size_t end = bytes.size();
  EXPECT_EQ(positions.size(), source.StopPositions().size());
  std::copy(positions.begin(), positions.end(), bytes.end() - 19 - static_cast<ptrdiff_t>(positions.size()));
  std::memcpy(&bytes[end - 18], &min, 8);
  std::memcpy(&bytes[end - 10], &max, 8);
  bytes[end - 1] = log ? 1 : 0;
  TMemoryStream in(bytes);
  TZBPalette p;
  EXPECT_TRUE(p.LoadFromStream(in));
  return p;
}

// Values to colour: beside the odd ones, sweeps over the range and beyond it, evenly
// in the logarithm and evenly in the value (as data with three decimals lie).
std::vector<double> ValuesOver(double lo, double hi) {
  std::vector<double> values = {kNaN, -kInf, kInf, 0.0, -0.0, -1.0, -1e300, 1e300,
                                std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::max()};
  for (double end : {lo, hi}) {
    double below = end, above = end;
    for (int k = 0; k < 8; ++k) {
      values.push_back(below = std::nextafter(below, -kInf));
      values.push_back(above = std::nextafter(above, kInf));
    }
    values.push_back(end);
  }
  constexpr int kSweep = 40000;
  const double wide = std::max(hi - lo, 1e-300);
  for (int k = 0; k <= kSweep; ++k) {
    const double t = static_cast<double>(k) / kSweep;
    if (lo > 0) values.push_back(std::exp(std::log(lo / 2) + t * (std::log(2 * hi) - std::log(lo / 2))));
    values.push_back(lo - wide / 10 + 1.2 * wide * t);
  }
  return values;
}

// Where the colour of the value changes (found with ColorOfValue itself): each
// change between neighbouring values of a sweep narrowed to the last unit in the
// last place, and the values a few units around it.
std::vector<double> ValuesAtSteps(const TZBPalette& p, std::vector<double> sweep) {
  std::erase_if(sweep, [](double v) { return !std::isfinite(v); });
  std::sort(sweep.begin(), sweep.end());
  std::vector<double> values;
  for (size_t k = 1; k < sweep.size(); ++k) {
    double before = sweep[k - 1], after = sweep[k];
    const TColor first = p.ColorOfValue(before);
    if (p.ColorOfValue(after) == first) continue;
    for (double middle; (middle = before + (after - before) / 2) != before && middle != after;)
      (p.ColorOfValue(middle) == first ? before : after) = middle;
    double v = after;
    for (int n = 0; n < 12; ++n) v = std::nextafter(v, -kInf);
    for (int n = 0; n < 24; ++n, v = std::nextafter(v, kInf)) values.push_back(v);
  }
  return values;
}

// ColorOfValue as a walk of the stops from the first for each value would give it.
TColor WalkedColorOfValue(const TZBPalette& p, double v) {
  const TZBPalette::TValueScale s = p.ValueScale();
  if (!(v > s.Min)) v = s.Min;
  if (!(v < s.Max)) v = s.Max;
  const double at = s.Logarithmic ? (std::log(v) - s.LogMin) / s.LogSpan * 100 : (v - s.Min) / (s.Max - s.Min) * 100;
  if (!(at > 0) || at >= 100) return at >= 100 ? p.EndColor() : p.StartColor();
  int i = 1;
  while (i < p.Count() - 1 && p.GetPosition(i) < at) ++i;
  uint8_t c[3];
  for (int k = 0; k < 3; ++k) {
    const double lo = (p.GetColor(i - 1) >> 8 * k) & 255, hi = (p.GetColor(i) >> 8 * k) & 255;
    const double x = (at - p.GetPosition(i - 1)) * (hi - lo) / (p.GetPosition(i) - p.GetPosition(i - 1)) + lo;
    c[k] = static_cast<uint8_t>(std::clamp(std::nearbyint(x), 0.0, 255.0));
  }
  return MakeColor(c[0], c[1], c[2]);
}

// The palette over 0 .. 100, linear, once it has coloured every whole percent, then
// changed: what it colours after must follow the change (no copy in between, which
// would start afresh).
TZBPalette ColouredThen(TZBPalette p, const std::function<void(TZBPalette&)>& change) {
  p.SetLogarithmic(false);
  p.SetRange(0, 100);
  for (int k = 0; k <= 100; ++k) (void)p.ColorAtPercent(k);
  change(p);
  return p;
}

struct TValueColorsCase {
  const char* name;
  TZBPalette palette;
};

std::vector<TValueColorsCase> ValueColorsCases() {
  TZBPalette example;  // the bundled example's sections
  example.SetColor(0, kRed);
  example.SetColor(1, kBlue);
  example.AddStop(50, kGreen);
  example.SetIntensity(100);
  example.SetRange(2, 50);
  example.SetLogarithmic(true);

  auto logarithmic = [](TZBPalette p, double min, double max, int intensity) {
    p.SetLogarithmic(false);
    p.SetRange(min, max);
    p.SetLogarithmic(true);
    p.SetIntensity(intensity);
    return p;
  };
  TZBPalette grey = RedGreenBlue();
  grey.AddStop(75, kGray);
  TZBPalette many = TwoColours(MakeColor(10, 250, 3), MakeColor(0, 0, 0));
  for (auto [at, colour] : {std::pair{1, MakeColor(255, 255, 255)}, {2, MakeColor(3, 0, 200)},
                            {3, MakeColor(90, 91, 92)}, {50, MakeColor(255, 0, 255)},
                            {51, MakeColor(0, 255, 0)}, {99, MakeColor(128, 7, 64)}})
    many.AddStop(at, colour);
  TZBPalette linear = RedGreenBlue();
  linear.SetRange(100, 300);
  TZBPalette crowded = TwoColours(kRed, kBlue);
  std::vector<uint8_t> scattered;  // 0 .. 130, out of order
  for (int k = 0; k < 3000; ++k) {
    crowded.AddStop(1 + k / 31, MakeColor(static_cast<uint8_t>(k * 7), static_cast<uint8_t>(k * 13), 99));
    scattered.push_back(static_cast<uint8_t>((k * 37 + 11) % 131));
  }

  // Stops enough for a table of the percents, all at one place: reversed, still in order.
  TZBPalette gathered = TwoColours(kRed, kBlue);
  for (int k = 0; k < 40; ++k) gathered.AddStop(30, MakeColor(static_cast<uint8_t>(k * 6), 200, 0));

  return {
      {"the bundled example's", example},
      {"four stops, dimmed", logarithmic(grey, 1, 10000, 37)},
      {"stops one percent apart", logarithmic(many, 1e-3, 1e6, 80)},
      {"a range below 1", logarithmic(grey, 0.001, 0.5, 100)},
      {"a narrow range", logarithmic(example, 1000, 1000.0001, 100)},
      {"a wide range", logarithmic(example, 1e-250, 1e250, 100)},
      {"a range from a subnormal", logarithmic(example, 1e-310, 1, 100)},
      {"stops at 0 and 100", Stored(grey, {0, 100}, 0.5, 2, true)},
      {"stops out of order and past 100", Stored(many, {60, 30, 200, 10, 10, 0}, 3, 7, true)},
      {"linear", linear},
      {"3000 stops out of order, linear", Stored(crowded, scattered, 0, 100, false)},
      {"3000 stops out of order, logarithmic", Stored(crowded, scattered, 1, 1e4, true)},
      {"logarithmic, Min = Max", Stored(example, {50}, 5, 5, true)},
      {"logarithmic, Min = 0", Stored(example, {50}, 0, 10, true)},
      {"logarithmic, Min < 0", Stored(example, {50}, -1, 10, true)},
      {"logarithmic, Min > Max", Stored(example, {50}, 3, 2, true)},
      {"many stops, coloured, a stop added last",
       ColouredThen(crowded, [](TZBPalette& p) { p.AddStop(99, MakeColor(1, 2, 3)); })},
      {"many stops, coloured, the last moved on",
       ColouredThen(crowded, [](TZBPalette& p) { p.SetPosition(p.Count() - 2, 99); })},
      {"many stops, coloured, the first deleted", ColouredThen(crowded, [](TZBPalette& p) { p.DeleteStop(1); })},
      {"many stops at one place, coloured, reversed", ColouredThen(gathered, [](TZBPalette& p) { p.Reverse(); })},
  };
}

constexpr const char* kValueColorsCases[] = {"the bundled example's",
                                             "four stops, dimmed",
                                             "stops one percent apart",
                                             "a range below 1",
                                             "a narrow range",
                                             "a wide range",
                                             "a range from a subnormal",
                                             "stops at 0 and 100",
                                             "stops out of order and past 100",
                                             "linear",
                                             "3000 stops out of order, linear",
                                             "3000 stops out of order, logarithmic",
                                             "logarithmic, Min = Max",
                                             "logarithmic, Min = 0",
                                             "logarithmic, Min < 0",
                                             "logarithmic, Min > Max",
                                             "many stops, coloured, a stop added last",
                                             "many stops, coloured, the last moved on",
                                             "many stops, coloured, the first deleted",
                                             "many stops at one place, coloured, reversed"};

const char* NameOf(const TValueColorsCase& c) { return c.name; }

TEST(PaletteValueColors, EveryCaseRuns) { test::ExpectEveryRowListed(ValueColorsCases(), NameOf, kValueColorsCases); }

// One case a palette, so that the palettes spread over the test shards.
class PaletteValueColorsCases : public ::testing::TestWithParam<const char*> {};

TEST_P(PaletteValueColorsCases, GiveEachValueTheColourOfColorOfValueByteForByte) {
  const std::vector<TValueColorsCase> cases = ValueColorsCases();
  const TValueColorsCase* found = test::RowNamed(cases, NameOf, GetParam());
  ASSERT_NE(found, nullptr);
  const TValueColorsCase& c = *found;
  const TZBPalette& p = c.palette;
  std::vector<double> values = ValuesOver(std::min(p.Min(), p.Max()), std::max(p.Min(), p.Max()));
  const std::vector<double> steps = ValuesAtSteps(p, values);
  values.insert(values.end(), steps.begin(), steps.end());
  for (int k = 0; k <= 200; ++k) values.push_back(p.Min() + (p.Max() - p.Min()) * k / 200);  // whole percents
  // The stops are gone through once per palette, not once per value.
  const int64_t before = PaletteStretchStepsForTesting();
  const TValueColors colours(p);
  int wrong = 0;
  for (double v : values) {
    if (colours.ColorOf(v) == p.ColorOfValue(v) && colours.DisplayColorOf(v) == p.DisplayColorOfValue(v) &&
        colours.ColorOf(v) == WalkedColorOfValue(p, v))
      continue;
    if (++wrong <= 3)
      ADD_FAILURE() << c.name << ": " << FormatShortest(v) << " gives " << Hex(colours.ColorOf(v)) << "/"
                    << Hex(colours.DisplayColorOf(v)) << ", not " << Hex(p.ColorOfValue(v)) << "/"
                    << Hex(p.DisplayColorOfValue(v));
  }
  EXPECT_EQ(wrong, 0) << c.name << " (" << values.size() << " values, " << steps.size() / 24 << " steps)";
  EXPECT_LE(PaletteStretchStepsForTesting() - before, 2 * static_cast<int64_t>(p.StopPositions().size())) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Palettes, PaletteValueColorsCases, ::testing::ValuesIn(kValueColorsCases));

// ---- inverse mapping -----------------------------------------------------------

TEST(PaletteInverse, PercentOfAColourIsTheLowestNearestOne) {
  const TZBPalette p = RedGreenBlue();
  EXPECT_EQ(p.PercentOfColor(kRed), 0);
  EXPECT_EQ(p.PercentOfColor(kGreen), 40);
  EXPECT_EQ(p.PercentOfColor(kBlue), 100);
  EXPECT_EQ(p.PercentOfColor(p.ColorAtPercent(73)), 73);

  TZBPalette twice = TwoColours(kRed, kBlue);
  twice.AddStop(30, kRed);
  twice.AddStop(60, kGreen);
  EXPECT_EQ(twice.PercentOfColor(kRed), 0);
  twice.SetIntensity(10);  // intensity plays no part
  EXPECT_EQ(twice.PercentOfColor(kGreen), 60);
  EXPECT_DOUBLE_EQ(RGBDistance(MakeColor(0, 0, 0), MakeColor(3, 4, 0)), 5);
}

TEST(PaletteInverse, ValueOfAColourLinearAndLogarithmic) {
  TZBPalette p = RedGreenBlue();
  p.SetRange(100, 300);
  EXPECT_DOUBLE_EQ(p.ValueOfColor(kGreen), 180);
  p.SetRange(1, 10000);
  p.SetLogarithmic(true);
  EXPECT_NEAR(p.ValueOfColor(p.ColorAtPercent(50)), 100, 1e-9);
  EXPECT_NEAR(p.ValueOfColor(kBlue), 10000, 1e-9);
}

// ---- invert, reverse, compare --------------------------------------------------

TEST(PaletteTransforms, InvertAndReverseChangeTheScaleAndTwiceRestoreIt) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(75, MakeColor(1, 2, 3));
  const TZBPalette original = p;
  p.InvertColors();
  EXPECT_EQ(Scale(p), "00FFFF 40:FF00FF 75:FEFDFC FFFF00");
  p.InvertColors();
  EXPECT_EQ(Describe(p), Describe(original));

  p.Reverse();
  EXPECT_EQ(Scale(p), "0000FF 25:010203 60:00FF00 FF0000");
  EXPECT_EQ(p.ColorAtPercent(30), original.ColorAtPercent(70));
  p.Reverse();
  EXPECT_EQ(Describe(p), Describe(original));
}

TEST(PaletteTransforms, SameAsComparesTheRangeOnlyWithoutAutomaticRange) {
  TZBPalette a = RedGreenBlue();
  TZBPalette b = RedGreenBlue();
  b.SetRange(3, 4);
  EXPECT_FALSE(a.SameAs(b));
  a.SetAutoRange(true);
  EXPECT_FALSE(a.SameAs(b));
  b.SetAutoRange(true);
  EXPECT_TRUE(a.SameAs(b));
  b.SetIntensity(99);
  EXPECT_FALSE(a.SameAs(b));
  TZBPalette c = RedGreenBlue();
  c.SetAutoRange(true);
  c.SetPosition(1, 41);
  EXPECT_FALSE(a.SameAs(c));
  TZBPalette d;
  d.Assign(a);
  EXPECT_TRUE(d.SameAs(a));
}

// ---- stored forms read from an independent generator ---------------------------

class StoredPalettes : public TPaletteFixtures {
 protected:
  // Something to see unchanged after a failure.
  static TZBPalette Marked() {
    TZBPalette p = RedGreenBlue();
    p.SetAutoRange(true);
    return p;
  }
};

TEST_F(StoredPalettes, ChunkReadsEveryFieldAndIsWrittenByteForByte) {
  TMemoryStream s = Fixture("palette_chunk.bin");
  TZBPalette p;
  ASSERT_TRUE(p.LoadFromStream(s));
  EXPECT_EQ(Describe(p), "FF0000 40:00FF00 75:808080 0000FF I80 1.5..250 log");
  EXPECT_EQ(Sentinel(s), kSentinel);
  TMemoryStream out;
  ASSERT_TRUE(p.SaveToStream(out));
  EXPECT_EQ(std::string(out.Data().begin(), out.Data().end()) + "ZZZZ", Bytes("palette_chunk.bin"));
}

TEST_F(StoredPalettes, ChunkWithoutStopsClearsThePalettesStops) {
  TMemoryStream s = Fixture("palette_chunk_no_stops.bin");
  TZBPalette p = RedGreenBlue();
  ASSERT_TRUE(p.LoadFromStream(s));
  EXPECT_EQ(Describe(p), "030201 060504 I100 -3..3 auto");
}

TEST_F(StoredPalettes, NewerOrDamagedChunksChangeNothing) {
  TMemoryStream newer = Fixture("palette_chunk_v1.bin");
  TZBPalette p = Marked();
  EXPECT_FALSE(p.LoadFromStream(newer));
  EXPECT_EQ(Describe(p), Describe(Marked()));
  EXPECT_EQ(Sentinel(newer), kSentinel);  // skipped whole
  for (const char* name : {"palette_chunk_huge_count.bin", "palette_chunk_negative_count.bin",
                           "palette_chunk_count_past_end.bin", "palette_chunk_short.bin",
                           "palette_chunk_count_past_end_8mb.bin"}) {
    TMemoryStream s = Fixture(name);
#if defined(QIRA_HEAP_HOOKS)
    test::THeapPeak::Start();
#endif
    EXPECT_THROW(p.LoadFromStream(s), EStreamError) << name;
#if defined(QIRA_HEAP_HOOKS)
    // The stops past the chunk's end are not made.
    EXPECT_LT(test::THeapPeak::Stop(), int64_t{1} << 20) << name;
#endif
    EXPECT_EQ(Describe(p), Describe(Marked())) << name;
  }
}

TEST_F(StoredPalettes, ValueTablesGiveTheScaleAndKeepTheAutomaticRangeFlag) {
  TMemoryStream positive = Fixture("table_positive.bin");
  TZBPalette p = Marked();
  p.LoadValueTable(positive);
  EXPECT_EQ(Describe(p), "FF0000 33:00FF00 67:808080 0000FF I80 1..1000 log auto");
  EXPECT_EQ(Sentinel(positive), kSentinel);

  // A zero among the values gives a linear scale, positions rounded halves to even.
  TMemoryStream withZero = Fixture("table_with_zero.bin");
  p.LoadValueTable(withZero);
  EXPECT_EQ(Describe(p), "FF0000 12:111111 25:222222 38:333333 0000FF I100 -10..30 auto");
  EXPECT_EQ(Sentinel(withZero), kSentinel);

  TMemoryStream equalEnds = Fixture("table_equal_ends.bin");
  TZBPalette q;
  q.LoadValueTable(equalEnds);
  EXPECT_EQ(Scale(q), "FF0000 33:00FF00 67:808080 0000FF");  // spread evenly
  EXPECT_EQ(q.Min(), 5);
  EXPECT_EQ(q.Max(), 5);
  EXPECT_EQ(q.ColorOfValue(5), kRed);
}

TEST_F(StoredPalettes, ValueTableIntensityIsHeldTo0Through100) {
  TZBPalette p;
  TMemoryStream high = Fixture("table_intensity_high.bin");
  p.LoadValueTable(high);
  EXPECT_EQ(p.Intensity(), 100);
  TMemoryStream negative = Fixture("table_intensity_negative.bin");
  p.LoadValueTable(negative);
  EXPECT_EQ(p.Intensity(), 0);
}

TEST_F(StoredPalettes, ValueTableTooSmallOrShortIsWrongFormat) {
  for (const char* name : {"table_one_entry.bin", "table_no_entries.bin", "table_short.bin"}) {
    TMemoryStream s = Fixture(name);
    TZBPalette p = Marked();
    try {
      p.LoadValueTable(s);
      ADD_FAILURE() << name << " was accepted";
    } catch (const EStreamError& e) {
      EXPECT_STREQ(e.what(), "File has wrong format") << name;
    }
    EXPECT_EQ(Describe(p), Describe(Marked())) << name;
  }
}

// ---- palette files -------------------------------------------------------------

TEST(PaletteFileText, IsTheFixedColumnLayoutWithCrLfWhateverTheLocale) {
  TCommaDecimalLocale comma;
  TZBPalette p = RedGreenBlue();
  p.AddStop(5, MakeColor(7, 80, 200));
  EXPECT_EQ(p.ClrText(),
            "ColorMap 1 1\r\n"
            "    0.000000 255   0   0\r\n"
            "    5.000000   7  80 200\r\n"
            "   40.000000   0 255   0\r\n"
            "  100.000000   0   0 255\r\n");
  EXPECT_EQ(p.ReadClrText("ColorMap 1 1\r\n0.0 0 0 0\r\n50.4 1 1 1\r\n100.0 2 2 2\r\n"), TClrRead::Ok);
  EXPECT_EQ(Scale(p), "000000 50:010101 020202");
}

TEST(PaletteFileText, ReadingTakesColoursStopsAndIntensityOnly) {
  TZBPalette p = RedGreenBlue();
  p.SetRange(2, 9);
  p.SetAutoRange(true);
  ASSERT_EQ(p.ReadClrText("ColorMap 1 1\n"
                          "  0 10 20 30 anything after the channels\n"
                          " 25.4 0 0 0\n"
                          " 74.6 5 5 5\n"
                          "100 255 255 255\n"
                          "\n"),
            TClrRead::Ok);
  EXPECT_EQ(Describe(p), "0A141E 25:000000 75:050505 FFFFFF I100 2..9 auto");

  // Many stops in falling order (a sort by swapping neighbours took hours): sorted by
  // position, those at one position in the order of the file.
  constexpr int kPerPosition = 5000;
  std::string many = "ColorMap 1 1\n0 0 0 0\n";
  for (int i = 0; i < 99 * kPerPosition; ++i)
    many += std::to_string(99 - i % 99) + " " + std::to_string(i / 99 % 256) + " 0 0\n";
  ASSERT_EQ(p.ReadClrText(many + "100 0 0 0\n"), TClrRead::Ok);
  ASSERT_EQ(p.StopPositions().size(), static_cast<size_t>(99 * kPerPosition));
  int wrong = 0;
  for (size_t j = 0; j < p.StopPositions().size(); ++j) {
    const int k = static_cast<int>(j) % kPerPosition;
    if (p.StopPositions()[j] != 1 + static_cast<int>(j) / kPerPosition || p.StopColors()[j] != MakeColor(k % 256, 0, 0))
      ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

TEST(PaletteFileText, MalformedFilesAreInvalidAndChangeNothing) {
  const char* texts[] = {
      "",
      "ColorMap 1 2\r\n0 0 0 0\r\n100 1 1 1\r\n",
      "colormap 1 1\r\n0 0 0 0\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n",
      "ColorMap 1 1\r\n1 0 0 0\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n99.5 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n50 1 1\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n50 a 1 1\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n50 1.5 1 1\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n50,5 1 1 1\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\nnan 1 1 1\r\n100 1 1 1\r\n",
      "ColorMap 1 1\r\n0 0 0 0\r\n50 99999999999 1 1\r\n100 1 1 1\r\n",
  };
  for (const char* text : texts) {
    TZBPalette p = RedGreenBlue();
    EXPECT_EQ(p.ReadClrText(text), TClrRead::InvalidFormat) << text;
    EXPECT_EQ(Describe(p), Describe(RedGreenBlue())) << text;
  }
}

TEST(PaletteFileText, ChannelsAreHeldTo0Through255AndTheIntensityIsInferred) {
  const struct {
    const char* colours;  // the two lines behind the signature
    const char* scaleAndIntensity;
  } table[] = {
      {"0 300 -20 0\r\n100 256 0 511\r\n", "FF0000 FF00FF I100"},
      // Darkest channel 252: intensity Round(3 / 2.55) = 1, and 255 - 3 / 0.01 = -45 is held at 0.
      {"0 252 253 255\r\n100 254 255 255\r\n", "0037FF 9BFFFF I1"},
      {"0 255 255 255\r\n100 255 255 255\r\n", "FFFFFF FFFFFF I0"},
  };
  for (const auto& row : table) {
    TZBPalette p;
    ASSERT_EQ(p.ReadClrText(std::string("ColorMap 1 1\r\n") + row.colours), TClrRead::Ok) << row.colours;
    EXPECT_EQ(Scale(p) + " I" + std::to_string(p.Intensity()), row.scaleAndIntensity);
  }
}

class PaletteFiles : public ::testing::Test {
 protected:
  void SetUp() override { LoadSettings(folder_.File("qira3d.ini"), folder_.Path()); }
  TScratchFolder folder_;
};

TEST_F(PaletteFiles, HalfIntensityRoundTripKeepsTheIntensity) {
  TZBPalette p = RedGreenBlue();
  p.SetIntensity(50);
  const std::string file = folder_.File("half.clr");
  ASSERT_TRUE(p.WriteClrFile(file));
  EXPECT_EQ(folder_.Get("half.clr"),
            "ColorMap 1 1\r\n"
            "    0.000000 255 128 128\r\n"
            "   40.000000 128 255 128\r\n"
            "  100.000000 128 128 255\r\n");
  TZBPalette q;
  ASSERT_EQ(q.ReadClrFile(file), TClrRead::Ok);
  EXPECT_EQ(q.Intensity(), 50);
  EXPECT_EQ(Scale(q), "FF0101 40:01FF01 0101FF");  // a channel of 0 comes back as 1
}

TEST_F(PaletteFiles, SaveAsksForANameAndRemembersTheFolder) {
  TFakeServices fake;
  const std::string file = folder_.File("chosen.clr");
  fake.FileAnswers.push_back(file);
  TZBPalette p = RedGreenBlue();
  ASSERT_TRUE(p.SaveToClrFile());
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  const TFileRequest& r = fake.FileCalls[0].Request;
  EXPECT_TRUE(fake.FileCalls[0].Save);
  EXPECT_EQ(r.Title, "Save palette");
  EXPECT_EQ(r.Filter, "Color palette (*.clr)|*.clr|All files (*.*)|*.*");
  EXPECT_EQ(r.InitialDir, std::filesystem::current_path().string());  // nothing remembered yet
  EXPECT_EQ(ReadSetting(SettingKeys::PalettePath, ""), folder_.Path());
  EXPECT_EQ(folder_.Get("chosen.clr"), p.ClrText());
  EXPECT_TRUE(fake.Messages.empty());

  fake.FileAnswers.push_back(folder_.File("no-such-folder/x.clr"));
  EXPECT_FALSE(p.SaveToClrFile());
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"File can not be written\n" + folder_.File("no-such-folder/x.clr") +
                                                     ": No such file or directory"}));
}

TEST_F(PaletteFiles, LoadStartsInTheRememberedFolderAndReportsBadFiles) {
  WriteSetting(SettingKeys::PalettePath, "/some/palettes");
  TZBPalette source = RedGreenBlue();
  source.SetIntensity(70);
  ASSERT_TRUE(source.WriteClrFile(folder_.File("good.clr")));
  folder_.Put("bad.clr", "ColorMap 2\r\n");
  folder_.Put("big.clr", std::string(1 << 20, ' '));
  TFakeServices fake;
  fake.FileAnswers = {std::nullopt, folder_.File("bad.clr"), folder_.File("missing.clr"), folder_.File("big.clr"),
                      folder_.File("good.clr")};
  TZBPalette p = RedGreenBlue();
  EXPECT_FALSE(p.LoadFromClrFile());  // cancelled
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  EXPECT_FALSE(fake.FileCalls[0].Save);
  EXPECT_EQ(fake.FileCalls[0].Request.Title, "Open palette");
  EXPECT_EQ(fake.FileCalls[0].Request.InitialDir, "/some/palettes");
  EXPECT_TRUE(fake.Messages.empty());

  EXPECT_FALSE(p.LoadFromClrFile());
  EXPECT_FALSE(p.LoadFromClrFile());
  {
    const TScopedMemoryProbe probe([] { return int64_t{0}; });
    EXPECT_FALSE(p.LoadFromClrFile());
  }
  // A file too large for the memory is told so, as every reader tells it: its bytes
  // and what its reading holds besides them.
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid file format", "Can not open file",
                                                    "The file \"" + folder_.File("big.clr") +
                                                        "\" is too large to be read: it needs 2 MB of memory, "
                                                        "more than the 0 MB available now."}));
  EXPECT_EQ(fake.Messages.at(0).Kind, TMessageKind::Error);
  EXPECT_EQ(Describe(p), Describe(RedGreenBlue()));

  EXPECT_TRUE(p.LoadFromClrFile());
  EXPECT_EQ(p.Intensity(), 70);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{40}));
  EXPECT_EQ(fake.Messages.size(), 3u);
}

}  // namespace
}  // namespace qira

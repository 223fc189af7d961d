#include "model/Palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "support/CommaDecimalLocale.h"
#include "support/FakeServices.h"
#include "support/PaletteFixtures.h"
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

void ExpectSamePalette(const TZBPalette& a, const TZBPalette& b) {
  EXPECT_EQ(a.StartColor(), b.StartColor());
  EXPECT_EQ(a.EndColor(), b.EndColor());
  EXPECT_EQ(a.StopColors(), b.StopColors());
  EXPECT_EQ(a.StopPositions(), b.StopPositions());
  EXPECT_EQ(a.Intensity(), b.Intensity());
  EXPECT_EQ(a.Min(), b.Min());
  EXPECT_EQ(a.Max(), b.Max());
  EXPECT_EQ(a.AutoRange(), b.AutoRange());
  EXPECT_EQ(a.Logarithmic(), b.Logarithmic());
}

// ---- a new palette, stops, indices ---------------------------------------------

TEST(PaletteStops, NewPaletteHoldsZeros) {
  TZBPalette p;
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.StartColor(), 0u);
  EXPECT_EQ(p.EndColor(), 0u);
  EXPECT_EQ(p.Intensity(), 0);
  EXPECT_EQ(p.Min(), 0);
  EXPECT_EQ(p.Max(), 0);
  EXPECT_FALSE(p.AutoRange());
  EXPECT_FALSE(p.Logarithmic());
}

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
  EXPECT_EQ(p.StartColor(), kGray);
  p.SetColor(50, kGray);
  EXPECT_EQ(p.EndColor(), kGray);
}

TEST(PaletteStops, AddStopKeepsPositionsAscendingAndRefusesTheEnds) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(70, kGray);
  p.AddStop(10, kBlue);
  p.AddStop(0, kGray);
  p.AddStop(100, kGray);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{10, 40, 70}));
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kBlue, kGreen, kGray}));
}

TEST(PaletteStops, EqualPositionsKeepTheirOrder) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(40, kGray);
  p.AddStop(40, kBlue);
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kGreen, kGray, kBlue}));
}

TEST(PaletteStops, MovingAStopToZeroMakesItTheStartColour) {
  TZBPalette p = RedGreenBlue();
  p.SetPosition(1, 0);
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.StartColor(), kGreen);
  EXPECT_EQ(p.EndColor(), kBlue);
}

TEST(PaletteStops, MovingAStopToHundredMakesItTheEndColour) {
  TZBPalette p = RedGreenBlue();
  p.SetPosition(1, 100);
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kGreen);
}

TEST(PaletteStops, MovingAStopResorts) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(60, kGray);
  p.SetPosition(1, 80);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{60, 80}));
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kGray, kGreen}));
  // Ends cannot be moved.
  p.SetPosition(0, 30);
  p.SetPosition(3, 30);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{60, 80}));
}

TEST(PaletteStops, EndsCannotBeDeleted) {
  TZBPalette p = RedGreenBlue();
  p.DeleteStop(0);
  p.DeleteStop(2);
  EXPECT_EQ(p.Count(), 3);
  p.DeleteStop(1);
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kBlue);
}

// ---- intensity, range, logarithmic flag ----------------------------------------

TEST(PaletteSettings, IntensityAbove100OrNegativeIsIgnored) {
  TZBPalette p;
  p.SetIntensity(70);
  p.SetIntensity(101);
  p.SetIntensity(-1);
  p.SetIntensity(300);
  EXPECT_EQ(p.Intensity(), 70);
}

TEST(PaletteSettings, RangeMustAscend) {
  TZBPalette p;
  p.SetRange(1, 5);
  p.SetRange(5, 5);
  p.SetRange(6, 2);
  p.SetRange(kNaN, 9);
  EXPECT_EQ(p.Min(), 1);
  EXPECT_EQ(p.Max(), 5);
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

TEST(PaletteMapping, ColourAtPercentOfTwoEnds) {
  TZBPalette p = TwoColours(clBlack, clWhite);
  EXPECT_EQ(p.ColorAtPercent(50), MakeColor(128, 128, 128));  // 127.5 -> 128
  TZBPalette q = TwoColours(clBlack, MakeColor(253, 1, 3));
  EXPECT_EQ(q.ColorAtPercent(50), MakeColor(126, 0, 2));  // 126.5 -> 126, 0.5 -> 0, 1.5 -> 2
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
  EXPECT_EQ(p.ColorOfValue(100), kRed);
  EXPECT_EQ(p.ColorOfValue(-1e300), kRed);
  EXPECT_EQ(p.ColorOfValue(180), kGreen);
  EXPECT_EQ(p.ColorOfValue(300), kBlue);
  EXPECT_EQ(p.ColorOfValue(1e300), kBlue);
  EXPECT_EQ(p.ColorOfValue(140), MakeColor(128, 128, 0));
  EXPECT_EQ(p.ColorOfValue(kNaN), kRed);
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
  EXPECT_EQ(p.ColorOfValue(0), kRed);
  EXPECT_EQ(p.ColorOfValue(-5), kRed);
  EXPECT_EQ(p.ColorOfValue(0.5), kRed);
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

TEST(PaletteMapping, DisplayColourAppliesTheIntensity) {
  TZBPalette p = RedGreenBlue();
  p.SetIntensity(50);
  EXPECT_EQ(p.ColorOfValue(40), kGreen);
  EXPECT_EQ(p.DisplayColorOfValue(40), MakeColor(128, 255, 128));
}

// ---- inverse mapping -----------------------------------------------------------

TEST(PaletteInverse, PercentOfAColourOnTheScale) {
  const TZBPalette p = RedGreenBlue();
  EXPECT_EQ(p.PercentOfColor(kRed), 0);
  EXPECT_EQ(p.PercentOfColor(kGreen), 40);
  EXPECT_EQ(p.PercentOfColor(kBlue), 100);
  EXPECT_EQ(p.PercentOfColor(p.ColorAtPercent(73)), 73);
}

TEST(PaletteInverse, AColourAtSeveralPercentsGivesTheLowest) {
  TZBPalette p = TwoColours(kRed, kBlue);
  p.AddStop(30, kRed);
  p.AddStop(60, kGreen);
  EXPECT_EQ(p.PercentOfColor(kRed), 0);
  // Intensity plays no part.
  p.SetIntensity(10);
  EXPECT_EQ(p.PercentOfColor(kGreen), 60);
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

TEST(PaletteInverse, DistanceIsEuclideanOverTheChannels) {
  EXPECT_DOUBLE_EQ(RGBDistance(MakeColor(0, 0, 0), MakeColor(3, 4, 0)), 5);
  EXPECT_DOUBLE_EQ(RGBDistance(MakeColor(10, 0, 12), MakeColor(10, 0, 12)), 0);
}

// ---- invert, reverse, compare --------------------------------------------------

TEST(PaletteTransforms, InvertTwiceRestores) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(75, MakeColor(1, 2, 3));
  const TZBPalette original = p;
  p.InvertColors();
  EXPECT_EQ(p.StartColor(), MakeColor(0, 255, 255));
  EXPECT_EQ(p.StopColors()[1], MakeColor(254, 253, 252));
  EXPECT_EQ(p.EndColor(), MakeColor(255, 255, 0));
  p.InvertColors();
  ExpectSamePalette(p, original);
}

TEST(PaletteTransforms, ReverseRunsTheScaleTheOtherWayAndTwiceRestores) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(75, kGray);
  const TZBPalette original = p;
  p.Reverse();
  EXPECT_EQ(p.StartColor(), kBlue);
  EXPECT_EQ(p.EndColor(), kRed);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{25, 60}));
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kGray, kGreen}));
  EXPECT_EQ(p.ColorAtPercent(30), original.ColorAtPercent(70));
  p.Reverse();
  ExpectSamePalette(p, original);
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

TEST_F(StoredPalettes, ChunkReadsEveryField) {
  TMemoryStream s = Fixture("palette_chunk.bin");
  TZBPalette p;
  ASSERT_TRUE(p.LoadFromStream(s));
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kBlue);
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kGreen, kGray}));
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{40, 75}));
  EXPECT_EQ(p.Intensity(), 80);
  EXPECT_EQ(p.Min(), 1.5);
  EXPECT_EQ(p.Max(), 250.0);
  EXPECT_FALSE(p.AutoRange());
  EXPECT_TRUE(p.Logarithmic());
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredPalettes, ChunkWrittenMatchesTheLayoutByteForByte) {
  TMemoryStream in = Fixture("palette_chunk.bin");
  TZBPalette p;
  ASSERT_TRUE(p.LoadFromStream(in));
  TMemoryStream out;
  ASSERT_TRUE(p.SaveToStream(out));
  const std::string expected = Bytes("palette_chunk.bin");
  const std::vector<uint8_t>& written = out.Data();
  ASSERT_EQ(written.size() + 4, expected.size());  // the fixture ends with a sentinel
  EXPECT_EQ(std::string(written.begin(), written.end()), expected.substr(0, written.size()));
}

TEST_F(StoredPalettes, ChunkRoundTripInsideALargerStream) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(75, kGray);
  p.SetIntensity(35);
  p.SetRange(2, 8);
  p.SetLogarithmic(true);
  p.SetAutoRange(true);
  TMemoryStream s;
  s.WriteInt32(77);
  ASSERT_TRUE(p.SaveToStream(s));
  EXPECT_EQ(s.Size(), 4 + 39 + 5 * 2);
  s.WriteInt32(78);
  s.Seek(4);
  TZBPalette q;
  ASSERT_TRUE(q.LoadFromStream(s));
  ExpectSamePalette(q, p);
  int32_t after = 0;
  EXPECT_TRUE(s.ReadInt32(after));
  EXPECT_EQ(after, 78);
}

TEST_F(StoredPalettes, ChunkWithoutStopsClearsThePalettesStops) {
  TMemoryStream s = Fixture("palette_chunk_no_stops.bin");
  TZBPalette p = RedGreenBlue();
  ASSERT_TRUE(p.LoadFromStream(s));
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.StartColor(), MakeColor(3, 2, 1));
  EXPECT_EQ(p.Min(), -3.0);
  EXPECT_TRUE(p.AutoRange());
  EXPECT_FALSE(p.Logarithmic());
}

TEST_F(StoredPalettes, NewerChunkIsSkippedWholeAndChangesNothing) {
  TMemoryStream s = Fixture("palette_chunk_v1.bin");
  TZBPalette p = Marked();
  EXPECT_FALSE(p.LoadFromStream(s));
  ExpectSamePalette(p, Marked());
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredPalettes, DamagedChunksFailAndChangeNothing) {
  for (const char* name : {"palette_chunk_huge_count.bin", "palette_chunk_negative_count.bin",
                           "palette_chunk_count_past_end.bin", "palette_chunk_short.bin"}) {
    TMemoryStream s = Fixture(name);
    TZBPalette p = Marked();
    EXPECT_THROW(p.LoadFromStream(s), EStreamError) << name;
    ExpectSamePalette(p, Marked());
  }
}

TEST_F(StoredPalettes, PositiveValueTableGivesALogarithmicScale) {
  TMemoryStream s = Fixture("table_positive.bin");
  TZBPalette p = Marked();
  p.LoadValueTable(s);
  EXPECT_TRUE(p.Logarithmic());
  EXPECT_TRUE(p.AutoRange());  // not touched
  EXPECT_EQ(p.Min(), 1);
  EXPECT_EQ(p.Max(), 1000);
  EXPECT_EQ(p.Intensity(), 80);
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kBlue);
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{kGreen, kGray}));
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{33, 67}));
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredPalettes, ValueTableWithZeroGivesALinearScaleRoundedHalfToEven) {
  TMemoryStream s = Fixture("table_with_zero.bin");
  TZBPalette p = Marked();
  p.SetLogarithmic(false);
  p.SetRange(1, 2);
  p.SetLogarithmic(true);
  p.LoadValueTable(s);
  EXPECT_FALSE(p.Logarithmic());
  EXPECT_EQ(p.Min(), -10);
  EXPECT_EQ(p.Max(), 30);
  EXPECT_EQ(p.Intensity(), 100);
  // 12.5 -> 12, 25, 37.5 -> 38.
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{12, 25, 38}));
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredPalettes, ValueTableWithEqualEndsSpreadsItsStopsEvenly) {
  TMemoryStream s = Fixture("table_equal_ends.bin");
  TZBPalette p;
  p.LoadValueTable(s);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{33, 67}));
  EXPECT_EQ(p.Min(), 5);
  EXPECT_EQ(p.Max(), 5);
  EXPECT_EQ(p.ColorOfValue(5), kRed);
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
    ExpectSamePalette(p, Marked());
  }
}

// ---- palette files -------------------------------------------------------------

TEST(PaletteFileText, IsTheFixedColumnLayoutWithCrLf) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(5, MakeColor(7, 80, 200));
  EXPECT_EQ(p.ClrText(),
            "ColorMap 1 1\r\n"
            "    0.000000 255   0   0\r\n"
            "    5.000000   7  80 200\r\n"
            "   40.000000   0 255   0\r\n"
            "  100.000000   0   0 255\r\n");
}

TEST(PaletteFileText, HoldsTheColoursWithTheIntensityApplied) {
  TZBPalette p = TwoColours(clBlack, MakeColor(100, 255, 0));
  p.SetIntensity(50);
  EXPECT_EQ(p.ClrText(),
            "ColorMap 1 1\r\n"
            "    0.000000 128 128 128\r\n"
            "  100.000000 178 255 128\r\n");
}

TEST(PaletteFileText, NeverFollowsTheLocale) {
  TCommaDecimalLocale comma;
  TZBPalette p = TwoColours(clBlack, clWhite);
  EXPECT_EQ(p.ClrText(), "ColorMap 1 1\r\n    0.000000   0   0   0\r\n  100.000000 255 255 255\r\n");
  EXPECT_EQ(p.ReadClrText("ColorMap 1 1\r\n0.0 0 0 0\r\n50.4 1 1 1\r\n100.0 2 2 2\r\n"), TClrRead::Ok);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{50}));
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
  EXPECT_EQ(p.Intensity(), 100);
  EXPECT_EQ(p.StartColor(), MakeColor(10, 20, 30));
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{25, 75}));
  EXPECT_EQ(p.StopColors(), (std::vector<TColor>{clBlack, MakeColor(5, 5, 5)}));
  EXPECT_EQ(p.EndColor(), clWhite);
  EXPECT_EQ(p.Min(), 2);
  EXPECT_EQ(p.Max(), 9);
  EXPECT_TRUE(p.AutoRange());
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
    ExpectSamePalette(p, RedGreenBlue());
  }
}

TEST(PaletteFileText, ChannelsAreHeldTo0Through255) {
  TZBPalette p;
  ASSERT_EQ(p.ReadClrText("ColorMap 1 1\r\n0 300 -20 0\r\n100 256 0 511\r\n"), TClrRead::Ok);
  EXPECT_EQ(p.StartColor(), MakeColor(255, 0, 0));
  EXPECT_EQ(p.EndColor(), MakeColor(255, 0, 255));
  EXPECT_EQ(p.Intensity(), 100);
}

TEST(PaletteFileText, InferredIntensityNeverGivesANegativeChannel) {
  // Darkest channel 252: intensity Round(3 / 2.55) = 1, and 255 - 3 / 0.01 = -45.
  TZBPalette p;
  ASSERT_EQ(p.ReadClrText("ColorMap 1 1\r\n0 252 253 255\r\n100 254 255 255\r\n"), TClrRead::Ok);
  EXPECT_EQ(p.Intensity(), 1);
  EXPECT_EQ(p.StartColor(), MakeColor(0, 55, 255));
  EXPECT_EQ(p.EndColor(), MakeColor(155, 255, 255));
}

TEST(PaletteFileText, AllWhiteFileHasIntensityZero) {
  TZBPalette p;
  ASSERT_EQ(p.ReadClrText("ColorMap 1 1\r\n0 255 255 255\r\n100 255 255 255\r\n"), TClrRead::Ok);
  EXPECT_EQ(p.Intensity(), 0);
  EXPECT_EQ(p.StartColor(), clWhite);
}

class PaletteFiles : public ::testing::Test {
 protected:
  void SetUp() override { LoadSettings(folder_.File("qira3d.ini"), folder_.Path()); }
  TScratchFolder folder_;
};

TEST_F(PaletteFiles, FullIntensityRoundTripRestoresTheScale) {
  TZBPalette p = RedGreenBlue();
  p.AddStop(75, MakeColor(12, 34, 56));
  const std::string file = folder_.File("scale.clr");
  ASSERT_TRUE(p.WriteClrFile(file));
  EXPECT_EQ(folder_.Get("scale.clr"), p.ClrText());
  TZBPalette q = TwoColours(clWhite, clWhite);
  ASSERT_EQ(q.ReadClrFile(file), TClrRead::Ok);
  EXPECT_EQ(q.Intensity(), 100);
  EXPECT_EQ(q.StartColor(), p.StartColor());
  EXPECT_EQ(q.EndColor(), p.EndColor());
  EXPECT_EQ(q.StopColors(), p.StopColors());
  EXPECT_EQ(q.StopPositions(), p.StopPositions());
}

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
  EXPECT_EQ(q.StartColor(), MakeColor(255, 1, 1));  // a channel of 0 comes back as 1
  EXPECT_EQ(q.StopColors(), (std::vector<TColor>{MakeColor(1, 255, 1)}));
}

TEST_F(PaletteFiles, MissingFileCannotBeOpened) {
  TZBPalette p;
  EXPECT_EQ(p.ReadClrFile(folder_.File("none.clr")), TClrRead::CannotOpen);
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
  EXPECT_EQ(r.DefaultExt, "clr");
  EXPECT_EQ(r.InitialDir, std::filesystem::current_path().string());  // nothing remembered yet
  EXPECT_EQ(ReadSetting(SettingKeys::PalettePath, ""), folder_.Path());
  EXPECT_EQ(folder_.Get("chosen.clr"), p.ClrText());
  EXPECT_TRUE(fake.Messages.empty());
}

TEST_F(PaletteFiles, DialogsStartInTheRememberedFolder) {
  WriteSetting(SettingKeys::PalettePath, "/some/palettes");
  TFakeServices fake;
  TZBPalette p;
  EXPECT_FALSE(p.LoadFromClrFile());  // cancelled
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  EXPECT_FALSE(fake.FileCalls[0].Save);
  EXPECT_EQ(fake.FileCalls[0].Request.Title, "Open palette");
  EXPECT_EQ(fake.FileCalls[0].Request.InitialDir, "/some/palettes");
  EXPECT_TRUE(fake.Messages.empty());
}

TEST_F(PaletteFiles, LoadReportsInvalidAndUnreadableFiles) {
  folder_.Put("bad.clr", "ColorMap 2\r\n");
  TFakeServices fake;
  fake.FileAnswers.push_back(folder_.File("bad.clr"));
  fake.FileAnswers.push_back(folder_.File("missing.clr"));
  TZBPalette p = RedGreenBlue();
  EXPECT_FALSE(p.LoadFromClrFile());
  EXPECT_FALSE(p.LoadFromClrFile());
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid file format", "Can not open file"}));
  EXPECT_EQ(fake.Messages.at(0).Kind, TMessageKind::Error);
  ExpectSamePalette(p, RedGreenBlue());
}

TEST_F(PaletteFiles, LoadTakesAGoodFile) {
  TZBPalette source = RedGreenBlue();
  source.SetIntensity(70);
  ASSERT_TRUE(source.WriteClrFile(folder_.File("good.clr")));
  TFakeServices fake;
  fake.FileAnswers.push_back(folder_.File("good.clr"));
  TZBPalette p;
  EXPECT_TRUE(p.LoadFromClrFile());
  EXPECT_EQ(p.Intensity(), 70);
  EXPECT_EQ(p.StopPositions(), (std::vector<uint8_t>{40}));
  EXPECT_TRUE(fake.Messages.empty());
}

TEST_F(PaletteFiles, SaveReportsAFileThatCannotBeWritten) {
  TFakeServices fake;
  fake.FileAnswers.push_back(folder_.File("no-such-folder/x.clr"));
  TZBPalette p = RedGreenBlue();
  EXPECT_FALSE(p.SaveToClrFile());
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"File can not be written"}));
}

TEST(PaletteEditorHook, WithoutAnEditorNothingOpens) {
  TZBPalette p = RedGreenBlue();
  EXPECT_FALSE(EditPalette(p, kInf, 0));
  int calls = 0;
  SetPaletteEditor([&](TZBPalette& palette, double dataMin, double dataMax) {
    ++calls;
    EXPECT_EQ(dataMin, 1);
    EXPECT_EQ(dataMax, 2);
    palette.SetIntensity(5);
    return true;
  });
  EXPECT_TRUE(EditPalette(p, 1, 2));
  EXPECT_EQ(p.Intensity(), 5);
  EXPECT_EQ(calls, 1);
  SetPaletteEditor(nullptr);
}

}  // namespace
}  // namespace qira

// Geology intervals merged into a borehole path: the same points, rocks and legend as
// inserting and matching one interval at a time, for any number of intervals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/Borehole.h"
#include "model/BoreholeCollections.h"
#include "model/GeologyList.h"
#include "platform/BinaryStream.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

struct TInterval {
  float Top, Bottom;
  const char* Full;
  const char* Short;
  bool Filling;
  TColor Color;
};

struct TCase {
  const char* Name;
  std::vector<double> Stations;  // depths from 0, ascending
  std::vector<TInterval> Intervals;
};

class GeologyMerge : public ::testing::Test {
 protected:
  // Writes the inclination and geology files of a case.
  void Put(const std::vector<double>& stations, const std::vector<TInterval>& intervals) {
    std::string ink = std::to_string(stations.size()) + " 100 200 50\r\n0\r\n";
    char line[96];
    for (size_t i = 1; i < stations.size(); ++i) {
      std::snprintf(line, sizeof line, "%.17g %d %d\r\n", stations[i], static_cast<int>(i * 7 % 30),
                    static_cast<int>(i * 53 % 360));
      ink += line;
    }
    dir_.Put("h.ink", ink);
    TBHCollectionList list(true);
    for (const TInterval& in : intervals) {
      auto item = std::make_unique<TBHDepthCollectionItem>();
      item->Top = in.Top;
      item->Bottom = in.Bottom;
      item->FullName = in.Full;
      item->ShortName = in.Short;
      item->Filling = in.Filling;
      item->Color = in.Color;
      list.Add(std::move(item));
    }
    TMemoryStream bytes;
    ASSERT_TRUE(list.SaveToStream(bytes));
    ASSERT_TRUE(WriteWholeFileAtomic(dir_.File("h.bgd"), bytes.Data().data(), bytes.Data().size()));
  }

  std::unique_ptr<TGraphBorehole> Merged(TGeologyList& legend) {
    return TGraphBorehole::LoadInclinationFile(&legend, dir_.File("h.ink"), dir_.File("h.bgd"), "BH", 100, 200, 50);
  }

  // The path without geology, then each interval's ends inserted and every point
  // matched against every interval, one at a time.
  std::unique_ptr<TGraphBorehole> OneByOne(TGeologyList& legend, const std::vector<TInterval>& intervals) {
    auto b = TGraphBorehole::LoadInclinationFile(&legend, dir_.File("h.ink"), "", "BH", 100, 200, 50);
    for (const TInterval& in : intervals) {
      b->InsertPointAtDepth(in.Top);
      b->InsertPointAtDepth(in.Bottom);
    }
    for (TBoreholeItem& p : b->Points)
      for (const TInterval& in : intervals)
        if (in.Filling && in.Top < p.Depth && p.Depth <= in.Bottom)
          p.GeologyIndex = legend.FindOrAdd(in.Full, in.Short, static_cast<int32_t>(in.Color));
    return b;
  }

  void ExpectSame(const TGraphBorehole& a, const TGeologyList& legendA, const TGraphBorehole& b,
                  const TGeologyList& legendB) {
    ASSERT_EQ(a.Points.size(), b.Points.size());
    for (size_t i = 0; i < a.Points.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(a.Points[i].Depth, b.Points[i].Depth);
      EXPECT_EQ(a.Points[i].X, b.Points[i].X);
      EXPECT_EQ(a.Points[i].Y, b.Points[i].Y);
      EXPECT_EQ(a.Points[i].Z, b.Points[i].Z);
      EXPECT_EQ(a.Points[i].GeologyIndex, b.Points[i].GeologyIndex);
    }
    ASSERT_EQ(legendA.Count(), legendB.Count());
    for (int i = 0; i < legendA.Count(); ++i) {
      EXPECT_EQ(legendA.Entry(i).FullName, legendB.Entry(i).FullName);
      EXPECT_EQ(legendA.Entry(i).ShortName, legendB.Entry(i).ShortName);
      EXPECT_EQ(legendA.Entry(i).EntryColor, legendB.Entry(i).EntryColor);
    }
  }

  TScratchFolder dir_;
  TFakeServices fake_;
};

std::vector<TInterval> RandomIntervals(std::mt19937& random, int count, float deepest) {
  static const char* const kRocks[][2] = {{"Sand", "Sd"}, {"SAND", "sd"}, {"Ton", "T"}, {"Kies", "Ks"},
                                          {"Grès", "G"},  {"GRÈS", "g"}, {"Schluff", "U"}};
  std::uniform_int_distribution<int> quarter(-8, static_cast<int>(deepest * 4) + 8);
  std::uniform_int_distribution<int> rock(0, 6);
  std::vector<TInterval> out;
  for (int i = 0; i < count; ++i) {
    float a = quarter(random) / 4.0f, b = quarter(random) / 4.0f;
    const int r = rock(random);
    out.push_back({std::min(a, b), std::max(a, b), kRocks[r][0], kRocks[r][1], random() % 5 != 0,
                   static_cast<TColor>(random() & 0xFFFFFF)});
  }
  return out;
}

TEST_F(GeologyMerge, GivesTheSamePathRocksAndLegendAsOneIntervalAtATime) {
  const std::vector<TCase> cases = {
      {"ends on stations and between them", {0, 10, 20, 30}, {{0, 10, "Sand", "Sd", true, 1}, {12.5f, 17, "Ton", "T", true, 2}}},
      {"ends above the collar and below the last station", {0, 10, 20}, {{-5, 3, "Sand", "Sd", true, 1}, {15, 40, "Kies", "Ks", true, 2}}},
      {"later overlapping intervals win", {0, 10, 20, 30}, {{0, 30, "Sand", "Sd", true, 1}, {5, 15, "Ton", "T", true, 2}, {8, 25, "sand", "SD", true, 3}}},
      {"an unfilled interval adds ends only", {0, 10, 20}, {{2, 8, "Ton", "T", false, 1}, {4, 6, "Ton", "T", true, 2}}},
      {"a rock first met deeper comes later in the legend", {0, 50}, {{30, 40, "Kies", "Ks", true, 1}, {0, 10, "Sand", "Sd", true, 2}}},
      {"equal station depths", {0, 10, 10, 20}, {{5, 10, "Sand", "Sd", true, 1}, {10, 15, "Ton", "T", true, 2}}},
      {"an empty interval", {0, 10}, {{5, 5, "Sand", "Sd", true, 1}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Put(c.Stations, c.Intervals);
    TGeologyList legend, expectedLegend;
    legend.FindOrAdd("Ton", "t", 9);  // a legend that already knows a rock
    expectedLegend.FindOrAdd("Ton", "t", 9);
    auto merged = Merged(legend);
    auto expected = OneByOne(expectedLegend, c.Intervals);
    ASSERT_TRUE(merged && expected);
    ExpectSame(*merged, legend, *expected, expectedLegend);
  }
  std::mt19937 random(11);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    std::vector<double> stations{0};
    for (int i = 0; i < 20; ++i) stations.push_back(stations.back() + (random() % 8) * 1.5);
    const std::vector<TInterval> intervals = RandomIntervals(random, 150, static_cast<float>(stations.back()));
    Put(stations, intervals);
    TGeologyList legend, expectedLegend;
    auto merged = Merged(legend);
    auto expected = OneByOne(expectedLegend, intervals);
    ASSERT_TRUE(merged && expected);
    ExpectSame(*merged, legend, *expected, expectedLegend);
  }
}

TEST_F(GeologyMerge, TwentyThousandIntervalsMergeIntoAnOrderedPathWithTheLastRockOfEachPoint) {
  std::vector<double> stations;
  for (int i = 0; i <= 500; ++i) stations.push_back(i * 10.0);
  std::mt19937 random(5);
  const std::vector<TInterval> intervals = RandomIntervals(random, 20000, 5000);
  Put(stations, intervals);
  TGeologyList legend;
  auto b = Merged(legend);
  ASSERT_NE(b, nullptr);
  std::vector<double> depths = stations;
  for (const TInterval& in : intervals) depths.insert(depths.end(), {in.Top, in.Bottom});
  std::sort(depths.begin(), depths.end());
  depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
  ASSERT_EQ(b->Points.size(), depths.size());
  std::map<std::string, int> entryOf;
  for (int i = legend.Count() - 1; i >= 0; --i)
    entryOf[TGeologyList::MatchKey(legend.Entry(i).FullName, legend.Entry(i).ShortName)] = i;
  for (size_t i = 0; i < depths.size(); i += 97) {
    const TBoreholeItem& p = b->Points[i];
    EXPECT_EQ(p.Depth, depths[i]);
    int expected = -1;
    for (const TInterval& in : intervals)
      if (in.Filling && in.Top < p.Depth && p.Depth <= in.Bottom) expected = entryOf.at(TGeologyList::MatchKey(in.Full, in.Short));
    EXPECT_EQ(p.GeologyIndex, expected) << p.Depth;
  }
}

}  // namespace
}  // namespace qira

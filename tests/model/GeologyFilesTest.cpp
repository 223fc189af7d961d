// Inclination (*.ink) and geology (*.bgd) files written by an independent Python
// generator (tests/fixtures/make_geology.py) and read back.
#include "model/GeologyFiles.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "model/BoreholeCollections.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

class GeologyFixtures : public ::testing::Test {
 protected:
  static std::string Fixture(const std::string& name) {
    return TGeneratedFixtures::Of("make_geology.py").File(name);
  }
};

// ---- collar line -------------------------------------------------------------------

using InkCollarLine = GeologyFixtures;

TEST_F(InkCollarLine, ReadsTheCollarWhateverTheLineEndingOrDecimalSeparator) {
  for (const char* name : {"crlf.ink", "lf.ink", "cr.ink", "no_final_ending.ink", "tabs.ink", "comma_collar.ink"}) {
    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(ReadInkCollarLine(Fixture(name), x, y, z)) << name;
    EXPECT_EQ(x, 1000.5) << name;
    EXPECT_EQ(y, 2000.25) << name;
    EXPECT_EQ(z, 150) << name;
  }
}

TEST_F(InkCollarLine, LeavesTheDefaultsSilentlyWhenTheLineIsNotACollar) {
  TFakeServices fake;
  for (const char* name : {"five_words.ink", "collar_not_number.ink", "long_collar.ink", "empty.ink",
                           "no_such_file.ink"}) {
    double x = 1, y = 2, z = 3;
    EXPECT_FALSE(ReadInkCollarLine(Fixture(name), x, y, z)) << name;
    EXPECT_EQ(x, 1) << name;
    EXPECT_EQ(y, 2) << name;
    EXPECT_EQ(z, 3) << name;
  }
  EXPECT_TRUE(fake.Messages.empty());
}

// ---- stations ----------------------------------------------------------------------

using InkStations = GeologyFixtures;

void ExpectTheFourStations(const std::vector<TInkStation>& s, const std::string& name) {
  ASSERT_EQ(s.size(), 4u) << name;
  EXPECT_EQ(s[0].Depth, 0) << name;
  EXPECT_EQ(s[1].Depth, 10) << name;
  EXPECT_EQ(s[1].Inclination, 0) << name;
  EXPECT_EQ(s[2].Depth, 20) << name;
  EXPECT_EQ(s[2].Inclination, 90) << name;
  EXPECT_EQ(s[2].Azimuth, 90) << name;
  EXPECT_EQ(s[3].Depth, 30) << name;
  EXPECT_EQ(s[3].Inclination, 45.5) << name;
  EXPECT_EQ(s[3].Azimuth, 180) << name;
}

TEST_F(InkStations, ReadWithEveryLineEnding) {
  TFakeServices fake;
  for (const char* name : {"crlf.ink", "lf.ink", "cr.ink", "no_final_ending.ink", "tabs.ink"}) {
    std::optional<std::vector<TInkStation>> stations = LoadInclinationStations(Fixture(name));
    ASSERT_TRUE(stations) << name;
    ExpectTheFourStations(*stations, name);
  }
  EXPECT_TRUE(fake.Messages.empty());
}

TEST_F(InkStations, PassOverBlankLinesAndOneStationIsTheCollarAlone) {
  const struct {
    const char* name;
    size_t count;
    double lastDepth;
  } table[] = {{"blank_lines.ink", 3, 20}, {"collar_only.ink", 1, 0}};
  for (const auto& row : table) {
    std::optional<std::vector<TInkStation>> stations = LoadInclinationStations(Fixture(row.name));
    ASSERT_TRUE(stations) << row.name;
    ASSERT_EQ(stations->size(), row.count) << row.name;
    EXPECT_EQ(stations->back().Depth, row.lastDepth) << row.name;
  }
}

TEST_F(InkStations, UnreadableFilesAreReportedToTheUser) {
  const std::pair<const char*, const char*> cases[] = {
      {"fewer_stations.ink", " has invalid format"}, {"bad_station.ink", " has invalid format"},
      {"short_station.ink", " has invalid format"},
      {"comma_station.ink", " has invalid format"},  // '.' only in stations
      {"nan_station.ink", " has invalid format"},      {"n_zero.ink", " has invalid format"},
      {"n_negative.ink", " has invalid format"},       {"n_not_integer.ink", " has invalid format"},
      {"huge_n.ink", " has invalid format"},           {"empty.ink", " has invalid format"},
      {"first_not_zero.ink", ". First point must be 0"}, {"no_such_file.ink", " not found"},
  };
  for (auto [file, problem] : cases) {
    TFakeServices fake;
    EXPECT_FALSE(LoadInclinationStations(Fixture(file))) << file;
    ASSERT_EQ(fake.Messages.size(), 1u) << file;
    EXPECT_EQ(fake.Messages[0].Text, std::string("File ") + file + problem);
    EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
  }
}

TEST(InkText, NumbersDoNotFollowTheLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool switched = std::setlocale(LC_ALL, "de_DE.utf8") != nullptr;
  std::vector<TInkStation> stations = ParseInclinationText("2 0 0 0\n0\n12.5 1.5 2.5\n", "a.ink");
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_EQ(stations.size(), 2u);
  EXPECT_EQ(stations[1].Depth, 12.5);
  EXPECT_EQ(stations[1].Inclination, 1.5);
  EXPECT_EQ(stations[1].Azimuth, 2.5);
  EXPECT_TRUE(switched) << "de_DE.utf8 not installed (scripts/setup makes it); read under the C locale only";
}

// ---- geology depth lists -------------------------------------------------------------

using GeologyDepthFile = GeologyFixtures;

TEST_F(GeologyDepthFile, ReadsEveryIntervalField) {
  TBHCollectionList list(true);
  ASSERT_TRUE(list.LoadFromFile(Fixture("valid.bgd")));
  ASSERT_EQ(list.Count(), 3);

  const TBHDepthCollectionItem* sand = list.Interval(0);
  ASSERT_NE(sand, nullptr);
  EXPECT_EQ(sand->Top, 10.0f);
  EXPECT_EQ(sand->Bottom, 20.5f);
  EXPECT_EQ(sand->ShortName, "Sd");
  EXPECT_EQ(sand->FullName, "Sand");
  EXPECT_TRUE(sand->Filling);
  EXPECT_EQ(sand->Color, 0x0000FFu);
  EXPECT_FALSE(sand->Texture);
  EXPECT_EQ(sand->HatchStyle, 7);
  EXPECT_TRUE(sand->Border);

  const TBHDepthCollectionItem* clay = list.Interval(1);
  EXPECT_EQ(clay->Top, 20.5f);
  EXPECT_EQ(clay->Bottom, 35.25f);
  EXPECT_EQ(clay->FullName, "Ton\xC3\xA4");  // Windows-1252 0xE4 read as UTF-8
  EXPECT_EQ(clay->Color, 0x00FF00u);
  EXPECT_TRUE(clay->Texture);
  EXPECT_EQ(clay->HatchStyle, 4);
  EXPECT_FALSE(clay->Border);

  const TBHDepthCollectionItem* gravel = list.Interval(2);
  EXPECT_FALSE(gravel->Filling);
  EXPECT_EQ(gravel->HatchStyle, 2);
  EXPECT_EQ(gravel->Bottom, 50.0f);
}

TEST_F(GeologyDepthFile, CountZeroIsAnEmptyList) {
  TBHCollectionList list(true);
  list.Add(std::make_unique<TBHDepthCollectionItem>());
  EXPECT_TRUE(list.LoadFromFile(Fixture("count0.bgd")));
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(GeologyDepthFile, DamagedOrNewerFilesFailAndLeaveTheListAsItWas) {
  const char* files[] = {
      "newer_list.bgd",     "newer_interval.bgd",  "newer_style.bgd",  "truncated.bgd",
      "truncated_header.bgd", "huge_count.bgd",    "count_beyond.bgd", "negative_count.bgd",
      "long_string.bgd",    "negative_string.bgd", "nan_depth.bgd",    "bad_hatch.bgd",
      "wrong_header.bgd",   "empty.bgd",           "styles.bgd",       "no_such_file.bgd",
  };
  for (const char* name : files) {
    TBHCollectionList list(true);
    auto kept = std::make_unique<TBHDepthCollectionItem>();
    kept->FullName = "kept";
    list.Add(std::move(kept));
    EXPECT_FALSE(list.LoadFromFile(Fixture(name))) << name;
    ASSERT_EQ(list.Count(), 1) << name;
    EXPECT_EQ(list.Items[0]->FullName, "kept") << name;
  }
}

TEST_F(GeologyDepthFile, AStyleListTakesEachStyleOnce) {
  TBHCollectionList list(false);
  ASSERT_TRUE(list.LoadFromFile(Fixture("styles.bgd")));
  // Sd/Sand, Cl/Clay, Sd/Sand again (dropped), sd/Sand (differs in case: kept).
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items[0]->ShortName, "Sd");
  EXPECT_EQ(list.Items[1]->ShortName, "Cl");
  EXPECT_EQ(list.Items[2]->ShortName, "sd");
  EXPECT_EQ(list.Interval(0), nullptr);

  ASSERT_TRUE(list.LoadFromFile(Fixture("styles.bgd")));
  EXPECT_EQ(list.Count(), 3);

  // Many styles, each twice: every style read was compared with all held.
  TBHCollectionList many(false);
  ASSERT_TRUE(many.LoadFromFile(Fixture("many_styles.bgd")));
  ASSERT_GT(many.Count(), 2);
  for (int i : {0, 1, many.Count() - 1}) EXPECT_EQ(many.Items[static_cast<size_t>(i)]->Color, static_cast<TColor>(i));
}

TEST_F(GeologyDepthFile, ADamagedStyleListAddsNothing) {
  for (const char* name : {"styles_newer.bgd", "styles_truncated.bgd", "valid.bgd"}) {
    TBHCollectionList list(false);
    EXPECT_FALSE(list.LoadFromFile(Fixture(name))) << name;
    EXPECT_EQ(list.Count(), 0) << name;
  }
}

}  // namespace
}  // namespace qira

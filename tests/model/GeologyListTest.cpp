#include "model/GeologyList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/GraphRecord.h"
#include "model/RecordFixtures.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"

namespace qira {
namespace {

void ExpectSameEntries(const TGeologyList& a, const TGeologyList& b) {
  ASSERT_EQ(a.Count(), b.Count());
  for (int i = 0; i < a.Count(); ++i) {
    EXPECT_EQ(a.Entry(i).FullName, b.Entry(i).FullName) << i;
    EXPECT_EQ(a.Entry(i).ShortName, b.Entry(i).ShortName) << i;
    EXPECT_EQ(a.Entry(i).EntryColor, b.Entry(i).EntryColor) << i;
  }
}

TEST(GeologyLegend, ARockRegisteredAgainInOtherCaseTakesTheNewColour) {
  TGeologyList legend;
  EXPECT_EQ(legend.FindOrAdd("Sand", "Sd", 0x0000FF), 0);
  EXPECT_EQ(legend.FindOrAdd("SAND", "sd", 0xFF0000), 0);
  ASSERT_EQ(legend.Count(), 1);
  EXPECT_EQ(legend.Entry(0).EntryColor, 0xFF0000);
  EXPECT_EQ(legend.Entry(0).FullName, "Sand");
  // Accented letters of the stored code page compare without case too.
  EXPECT_EQ(legend.FindOrAdd("Grès à œil", "G", 1), 1);
  EXPECT_EQ(legend.FindOrAdd("GRÈS À ŒIL", "g", 2), 1);
  // Both names must match.
  EXPECT_EQ(legend.FindOrAdd("Sand", "S", 3), 2);
  // Names the code page lacks stay apart, however alike they are stored.
  EXPECT_EQ(legend.FindOrAdd("\u0413\u043b\u0438\u043d\u0430", "\u0413\u043b", 4), 3);
  EXPECT_EQ(legend.FindOrAdd("\u041f\u0435\u0441\u043e\u043a", "\u041f\u0435", 5), 4);
  EXPECT_EQ(legend.FindOrAdd("\u0413\u043b\u0438\u043d\u0430", "\u0413\u043b", 6), 3);
  EXPECT_EQ(legend.Count(), 5);
}

TEST(GeologyLegend, ColourOfAnIndexOutsideTheLegendIsTheDefault) {
  TGeologyList legend;
  legend.FindOrAdd("a", "a", 10);
  legend.FindOrAdd("b", "b", 11);
  legend.FindOrAdd("c", "c", 12);
  EXPECT_EQ(legend.ColorOf(5, 99, false), 99);
  EXPECT_EQ(legend.ColorOf(3, 99, false), 99);
  EXPECT_EQ(legend.ColorOf(-1, 99, false), 99);
  EXPECT_EQ(legend.ColorOf(1, 99, true), 99);
  EXPECT_EQ(legend.ColorOf(1, 99, false), 11);
}

TEST(GeologyLegend, BlockMatchesTheIndependentLayoutAndReadsBack) {
  TMemoryStream s;
  ASSERT_TRUE(SampleLegend().SaveToStream(s));
  EXPECT_EQ(s.Data(), FixtureBytes("legend.bin"));
  TMemoryStream in(FixtureBytes("legend.bin"));
  TGeologyList read;
  ASSERT_TRUE(read.LoadFromStream(in));
  EXPECT_EQ(in.Position(), in.Size());
  ExpectSameEntries(read, SampleLegend());
}

TEST(GeologyLegend, AnEmptyLegendStoresCountZeroAndReadsBackEmpty) {
  TMemoryStream s;
  ASSERT_TRUE(TGeologyList().SaveToStream(s));
  EXPECT_EQ(s.Data(), FixtureBytes("legend_empty.bin"));
  TGeologyList read = SampleLegend();
  ASSERT_TRUE(s.Seek(0));
  ASSERT_TRUE(read.LoadFromStream(s));
  EXPECT_EQ(read.Count(), 0);
}

// A newer block, or one with a wrong name, is skipped to its end, leaving the legend
// as it was.
TEST(GeologyLegend, ABlockItCannotReadIsSkippedWholeAndTheTreeBehindItStillReads) {
  for (const char* name : {"legend_newer_then_tree.bin", "legend_bad_magic_then_tree.bin"}) {
    SCOPED_TRACE(name);
    TMemoryStream s(FixtureBytes(name));
    TGeologyList legend;
    legend.FindOrAdd("kept", "k", 1);
    EXPECT_FALSE(legend.LoadFromStream(s));
    EXPECT_EQ(legend.Count(), 1);
    TGraphMain root;
    EXPECT_EQ(LoadGraphTree(s, root), TGraphLoadResult::Loaded);
    EXPECT_EQ(root.ChildCount(), 3);
  }
}

class GeologyLegendDamage : public testing::TestWithParam<const char*> {};

TEST_P(GeologyLegendDamage, RaisesAndLeavesTheLegendAsItWas) {
  TMemoryStream s(FixtureBytes(GetParam()));
  TGeologyList legend;
  legend.FindOrAdd("kept", "k", 1);
  EXPECT_THROW(legend.LoadFromStream(s), EStreamError);
  ASSERT_EQ(legend.Count(), 1);
  EXPECT_EQ(legend.Entry(0).FullName, "kept");
}

INSTANTIATE_TEST_SUITE_P(Table, GeologyLegendDamage,
                         testing::Values("legend_count_huge.bin", "legend_count_negative.bin",
                                         "legend_string_huge.bin", "legend_end_backward.bin",
                                         "legend_newer_end_beyond.bin"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

TEST(GeologyLegend, EveryTruncationRaises) {
  const std::vector<uint8_t> whole = FixtureBytes("legend.bin");
  for (size_t n = 0; n < whole.size(); ++n) {
    TMemoryStream s(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)));
    TGeologyList legend;
    EXPECT_THROW(legend.LoadFromStream(s), EStreamError) << n;
    EXPECT_EQ(legend.Count(), 0);
  }
}

}  // namespace
}  // namespace qira

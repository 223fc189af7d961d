#include <gtest/gtest.h>

#include <vector>

#include "FakeAxisPanel.h"
#include "chart/engine/ChartSeries.h"
#include "chart/engine/ChartValueList.h"

namespace qira {
namespace {

using test::Values;

struct OrderCase {
  const char* behaviour;
  TChartListOrder order;
  std::vector<double> held;
  double added;
  int32_t index;
};

TEST(ChartValueLists, ValuesGoInByTheListOrderAfterEqualOnes) {
  const OrderCase cases[] = {
      {"ascending after equal values", loAscending, {1, 2, 2, 3}, 2, 3},
      {"ascending below all", loAscending, {1, 2, 2, 3}, 0, 0},
      {"ascending above all", loAscending, {1, 2, 2, 3}, 5, 4},
      {"descending after equal values", loDescending, {3, 2, 1}, 2, 2},
      {"descending above all", loDescending, {3, 2, 1}, 4, 0},
      {"unordered appends", loNone, {3, 1, 2}, 0, 3},
  };
  for (const auto& c : cases) {
    TChartValueList list(nullptr, "X");
    for (double v : c.held) list.AddValue(v);
    list.SetOrder(c.order);
    EXPECT_EQ(list.AddValue(c.added), c.index) << c.behaviour;
  }
}

TEST(ChartValueLists, StorageGrowsInThousands) {
  TChartValueList list(nullptr, "Y");
  for (int i = 0; i < 1001; ++i) list.AddValue(i);
  EXPECT_EQ(list.Count(), 1001);
  EXPECT_EQ(list.Capacity(), 2000);
}

TEST(ChartValueLists, StatisticsFollowEveryChange) {
  TChartValueList list(nullptr, "Y");
  EXPECT_EQ(list.MaxValue(), 0);
  EXPECT_EQ(list.Range(), 0);
  for (double v : {-3.0, 1.0, 2.0}) list.AddValue(v);
  EXPECT_EQ(list.MinValue(), -3);
  EXPECT_EQ(list.MaxValue(), 2);
  EXPECT_EQ(list.AbsoluteTotal(), 6);
  list.DeleteValue(0);
  EXPECT_EQ(list.MinValue(), 1);
  list.ClearValues();
  EXPECT_EQ(list.AbsoluteTotal(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(ChartValueLists, RotateMovesTheFirstValueToTheEnd) {
  TChartValueList list(nullptr, "Y");
  for (double v : {1.0, 2.0, 3.0}) list.AddValue(v);
  list.RotateValues();
  EXPECT_EQ(Values(list), (std::vector<double>{2, 3, 1}));
}

TEST(ChartValueLists, SortingASeriesListMovesWholePoints) {
  TChartSeries series;
  series.XValues().SetOrder(loNone);
  series.AddXY(3, 30, "c");
  series.AddXY(1, 10, "a");
  series.AddXY(2, 20, "b");
  series.XValues().SetOrder(loAscending);
  series.XValues().SortValues();
  EXPECT_EQ(Values(series.XValues()), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Values(series.YValues()), (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(series.Label(0), "a");
  EXPECT_EQ(series.Label(2), "c");
}

}  // namespace
}  // namespace qira

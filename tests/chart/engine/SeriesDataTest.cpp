#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chart/engine/SeriesData.h"
#include "support/GeneratedFixtures.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

std::string Fixture(const std::string& name) { return TGeneratedFixtures::Of("make_series_data.py").Bytes(name); }

TEST(SeriesData, ARecordWrittenByAnIndependentGeneratorReadsBack) {
  TChartSeries series;
  series.SetSeriesColor(clLime);
  ReadSeriesData(series, Fixture("full.bin"));
  ASSERT_EQ(series.Count(), 3);
  EXPECT_EQ(series.XValue(2), 4);
  EXPECT_EQ(series.YValue(1), 20);
  EXPECT_EQ(series.ValueColor(0), clRed);
  EXPECT_EQ(series.ValueColor(1), clLime);  // the automatic marker
  EXPECT_EQ(series.Label(2), "Grüße");
  // Our writer gives the generator's bytes back.
  EXPECT_EQ(WriteSeriesData(series), Fixture("full.bin"));
}

TEST(SeriesData, WithoutFlagsXIsTheIndexAndColoursAreAutomatic) {
  TChartSeries series;
  ReadSeriesData(series, Fixture("y_only.bin"));
  ASSERT_EQ(series.Count(), 2);
  EXPECT_EQ(series.XValue(1), 1);
  EXPECT_EQ(series.ValueColor(1), series.SeriesColor());
  EXPECT_EQ(SeriesDataFlags(series), 0);
}

// The series' X-values switch decides whether its X values may be written at all.
TEST(SeriesData, XValuesAreWrittenOnlyWhenTheSeriesAllowsIt) {
  const struct {
    bool allowed;
    std::vector<double> xs;
    bool written;
    std::vector<double> readBack;
  } table[] = {
      {true, {1, 2, 5}, true, {1, 2, 5}},
      {false, {1, 2, 5}, false, {0, 1, 2}},
      {true, {0, 1, 2}, false, {0, 1, 2}},  // the indexes: nothing to write
  };
  for (const auto& row : table) {
    TChartSeries series;
    series.XValuesInData = row.allowed;
    for (double x : row.xs) series.AddXY(x, 10 * x);
    EXPECT_EQ((SeriesDataFlags(series) & sdXValues) != 0, row.written) << row.allowed;
    TChartSeries read;
    ReadSeriesData(read, WriteSeriesData(series));
    std::vector<double> xs;
    for (int32_t i = 0; i < read.Count(); ++i) xs.push_back(read.XValue(i));
    EXPECT_EQ(xs, row.readBack) << row.allowed;
  }
}

TEST(SeriesData, DamagedRecordsAreRefusedWholeAndTheSeriesKept) {
  for (const char* name : {"huge_count.bin", "negative_count.bin", "long_label.bin", "truncated.bin"}) {
    SCOPED_TRACE(name);
    TChartSeries series;
    series.AddXY(7, 8);
    EXPECT_THROW(ReadSeriesData(series, Fixture(name)), EChartStreamError);
    ASSERT_EQ(series.Count(), 1);
    EXPECT_EQ(series.XValue(0), 7);
  }
}

TEST(SeriesData, EveryValueAndLabelIsWrittenBeyondTheOldScanLimits) {
  TChartSeries series;
  for (int32_t i = 0; i < 10005; ++i) series.AddXY(i, i);
  series.XValues().SetValue(10003, 10003.5);  // the only X that is not its index
  series.SetLabel(150, "late");         // the only label
  series.SetLabel(151, std::string(300, 'x'));
  EXPECT_EQ(SeriesDataFlags(series), sdXValues | sdLabels);
  TChartSeries copy;
  ReadSeriesData(copy, WriteSeriesData(series));
  ASSERT_EQ(copy.Count(), series.Count());
  EXPECT_EQ(copy.XValue(10003), 10003.5);
  EXPECT_EQ(copy.Label(150), "late");
  EXPECT_EQ(copy.Label(151), std::string(kSeriesDataLabelLimit, 'x'));  // cut to the stored limit
}

TEST(SeriesData, ExtraListsAndCustomMarkPositionsRoundTrip) {
  TChartSeries series;
  TChartValueList& size = series.AddValueList("Size");
  series.AddXY(0, 1);
  series.AddXY(1, 2);
  size.SetValue(1, 9.5);
  TSeriesMarkPosition& p = series.Marks().CustomPosition(1);
  p.LeftTop = {11, 12};
  p.Width = 30;
  TStreamedProperties block;
  WriteSeriesDataProperty(block, series);
  TChartSeries copy;
  copy.AddValueList("Size");
  ASSERT_TRUE(ReadSeriesDataProperty(block, copy));
  EXPECT_EQ(copy.GetYValueList("Size").Value(1), 9.5);
  const TSeriesMarkPosition* q = copy.Marks().PositionAt(1);
  ASSERT_NE(q, nullptr);
  EXPECT_TRUE(q->Custom);
  EXPECT_EQ(q->LeftTop.Y, 12);
  EXPECT_EQ(q->Width, 30);
}

TEST(SampleValues, ZeroMeansTheDefaultCountAndANegativeCountIsRefused) {
  TChartSeries series;
  FillSampleValues(series, 0);
  EXPECT_EQ(series.Count(), kNumSampleValues);
  for (int32_t i = 0; i < series.Count(); ++i) EXPECT_GE(series.YValue(i), 0);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { FillSampleValues(series, -1); }),
            "FillSampleValues NumValues must be > 0");
  EXPECT_EQ(series.Count(), kNumSampleValues);
}

}  // namespace
}  // namespace qira

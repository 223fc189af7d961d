#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "chart/engine/AxisPanel.h"
#include "support/TestApplication.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

// An axis panel that records the order in which it paints series.
class RecordingPanel : public TCustomAxisPanel {
 public:
  std::vector<TChartSeries*> painted;

 protected:
  void DrawSeriesValues(TChartSeries& series) override { painted.push_back(&series); }
};

struct AxisPanelFixture : ::testing::Test {
  void SetUp() override { EnsureTestApplication(); }
  // A 2D chart of 300 × 200 pixels showing a series (the chart's) through two points.
  static TChartSeries& ShowTwoPoints(RecordingPanel& chart, double x1, double y1, double y2) {
    chart.SetView3D(false);
    chart.resize(300, 200);
    auto series = std::make_unique<TChartSeries>();
    series->AddXY(0, y1);
    series->AddXY(x1, y2);
    return chart.AddSeries(std::move(series));
  }
};

TEST_F(AxisPanelFixture, AChartWithoutSeriesHidesItsSideAxesAndTakesNoRoom) {
  RecordingPanel chart;
  chart.SetView3D(false);
  chart.resize(300, 200);
  EXPECT_EQ(chart.MaxValueOfAxis(chart.BottomAxis(), false, true), 0);
  EXPECT_FALSE(chart.IsAxisVisible(chart.LeftAxis()));
  chart.CalcChartRect();
  const TRect before = chart.ChartRect();
  chart.LayoutAxes();
  EXPECT_EQ(chart.ChartRect(), before);
}

TEST_F(AxisPanelFixture, SeriesScaleTheirAxesWhichTakeRoomAndDraw) {
  RecordingPanel chart;
  TChartSeries& series = ShowTwoPoints(chart, 100, 10, 30);
  EXPECT_TRUE(chart.IsAxisVisible(chart.BottomAxis()));
  EXPECT_FALSE(chart.IsAxisVisible(chart.TopAxis()));
  const std::unique_ptr<TBitmap> picture = chart.CreateChartBitmap(clWhite, {0, 0, 300, 200});
  EXPECT_EQ(chart.BottomAxis().MinAxis(), 0);
  EXPECT_EQ(chart.BottomAxis().MaxAxis(), 100);
  EXPECT_EQ(chart.LeftAxis().MaxAxis(), 30);
  const TRect r = chart.ChartRect();
  EXPECT_GT(r.Left, chart.LeftAxis().PosLabels() - 1);
  EXPECT_LT(r.Bottom, chart.BottomAxis().PosLabels() + 1);
  EXPECT_EQ(picture->Pixel((r.Left + r.Right) / 2, r.Bottom), clBlack);  // bottom axis line
  EXPECT_EQ(picture->Pixel(r.Left, (r.Top + r.Bottom) / 2), clBlack);    // left axis line
  EXPECT_EQ(chart.painted, (std::vector<TChartSeries*>{&series}));
}

TEST_F(AxisPanelFixture, AnAxisTitleTakesRoomAndDrawsItsFrameWhenNotTransparent) {
  RecordingPanel chart;
  ShowTwoPoints(chart, 100, 0, 10);
  TChartAxis& bottom = chart.BottomAxis();
  bottom.Title.Caption = "Distance";
  bottom.Title.SetTransparent(false);
  bottom.Title.SetColor(clRed);
  const std::unique_ptr<TBitmap> picture = chart.CreateChartBitmap(clWhite, {0, 0, 300, 200});
  EXPECT_GT(bottom.PosTitle(), bottom.PosLabels());
  const TRect frame = bottom.Title.ShapeBounds;
  EXPECT_FALSE(frame.IsEmpty());
  const TPoint centre{(frame.Left + frame.Right) / 2, (frame.Top + frame.Bottom) / 2};
  EXPECT_TRUE(bottom.Title.Clicked(centre.X, centre.Y));
  EXPECT_FALSE(bottom.Title.Clicked(frame.Right + 5, centre.Y));
  EXPECT_EQ(picture->Pixel(frame.Left + 2, centre.Y), clRed);  // the frame's fill beside the text
}

TEST_F(AxisPanelFixture, AxisOffsetsKeepPixelsFreeAtTheEnds) {
  RecordingPanel chart;
  ShowTwoPoints(chart, 100, 0, 10);
  chart.BottomAxis().MinimumOffset = 10;
  chart.BottomAxis().MaximumOffset = 10;
  chart.CreateChartBitmap(clWhite, {0, 0, 300, 200});
  const TChartAxis& bottom = chart.BottomAxis();
  EXPECT_EQ(bottom.CalcPosValue(0), bottom.IStartPos() + 10);
  EXPECT_EQ(bottom.CalcPosValue(100), bottom.IEndPos() - 10);
}

TEST_F(AxisPanelFixture, TheRepaintFlagIsOffDuringAFrameAndBackAfterAFailure) {
  RecordingPanel chart;
  chart.resize(200, 150);
  bool seenDuring = true;
  chart.OnBeforeDrawChart = [&] {
    seenDuring = chart.RepaintEnabled();
    throw std::runtime_error("handler");
  };
  EXPECT_THROW(chart.CreateChartBitmap(clWhite, {0, 0, 200, 150}), std::runtime_error);
  EXPECT_FALSE(seenDuring);
  EXPECT_TRUE(chart.RepaintEnabled());
}

TEST_F(AxisPanelFixture, InvertingTheDepthAxisReversesThePaintOrder) {
  RecordingPanel chart;
  chart.resize(200, 150);
  TChartSeries& a = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartSeries& b = chart.AddSeries(std::make_unique<TChartSeries>());
  a.Add(1);
  b.Add(2);
  chart.CreateChartBitmap(clWhite, {0, 0, 200, 150});
  EXPECT_EQ(chart.painted, (std::vector<TChartSeries*>{&a, &b}));
  chart.painted.clear();
  chart.DepthAxis().SetInverted(true);
  EXPECT_TRUE(chart.DepthTopAxis().Inverted());
  chart.CreateChartBitmap(clWhite, {0, 0, 200, 150});
  EXPECT_EQ(chart.painted, (std::vector<TChartSeries*>{&b, &a}));
}

// A paint finds each series it draws at once: four times the series take four times
// the looks, not sixteen.
TEST_F(AxisPanelFixture, APaintFindsEachSeriesAtOnceHoweverManyTheChartHolds) {
  const auto steps = [](int count) {
    RecordingPanel chart;
    chart.resize(200, 150);
    for (int i = 0; i < count; ++i) chart.AddSeries(std::make_unique<TChartSeries>()).Add(i);
    const int64_t before = SeriesListStepsForTesting();
    chart.CreateChartBitmap(clWhite, {0, 0, 200, 150});
    return SeriesListStepsForTesting() - before;
  };
  const int64_t few = steps(10);
  ASSERT_GE(few, 10);
  EXPECT_LE(steps(40), 5 * few);
}

// Counts the series events a chart sends.
struct SeriesEventCounter : IChartEventListener {
  int added = 0, removed = 0, coloured = 0;
  void Notify(TChartEvent& event) override {
    auto* e = dynamic_cast<TChartSeriesEvent*>(&event);
    if (e == nullptr) return;
    if (e->Event == TChartSeriesEvent::seAdd) ++added;
    if (e->Event == TChartSeriesEvent::seRemove) ++removed;
    if (e->Event == TChartSeriesEvent::seChangeColor) ++coloured;
  }
};

TEST_F(AxisPanelFixture, In3DEachSeriesGetsItsOwnDepthFrontToBack) {
  RecordingPanel chart;
  chart.resize(300, 200);
  TChartSeries& a = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartSeries& b = chart.AddSeries(std::make_unique<TChartSeries>());
  a.Add(1);
  b.Add(2);
  chart.CreateChartBitmap(clWhite, {0, 0, 300, 200});
  EXPECT_EQ(a.ZOrderInUse(), 1);  // the first series lies at the back
  EXPECT_EQ(b.ZOrderInUse(), 0);
  EXPECT_GT(chart.SeriesDepth(), 0);
  EXPECT_EQ(a.StartZ(), chart.SeriesDepth());
  EXPECT_EQ(a.EndZ(), 2 * chart.SeriesDepth());
  EXPECT_EQ(chart.Depth3D(), 2 * chart.SeriesDepth());
}

TEST_F(AxisPanelFixture, TheDepthAxisShowsTheSeriesTitles) {
  RecordingPanel chart;
  chart.resize(300, 200);
  TChartSeries& a = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartSeries& b = chart.AddSeries(std::make_unique<TChartSeries>());
  a.SetTitle("first");
  b.SetTitle("second");
  a.Add(1);
  b.Add(2);
  chart.DepthAxis().SetVisible(true);
  chart.CreateChartBitmap(clWhite, {0, 0, 300, 200});
  std::vector<std::string> texts;
  for (int32_t i = 0; i < chart.DepthAxis().Items.Count(); ++i) texts.push_back(chart.DepthAxis().Items[i].Text());
  EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
}

TEST_F(AxisPanelFixture, SeriesJoiningAChartTakeFreeColoursAndAreAnnounced) {
  RecordingPanel chart;
  SeriesEventCounter listener;
  chart.AddListener(&listener);
  TChartSeries& a = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartSeries& b = chart.AddSeries(std::make_unique<TChartSeries>());
  chart.AddSeries(chart.RemoveSeries(b));
  EXPECT_EQ(listener.added, 3);
  EXPECT_EQ(listener.removed, 1);
  EXPECT_EQ(listener.coloured, 3);  // each join gives an automatic colour
  chart.RemoveListener(&listener);
  EXPECT_EQ(a.SeriesColor(), chart.GetDefaultColor(0));
  EXPECT_EQ(b.SeriesColor(), chart.GetDefaultColor(1));
}

TEST_F(AxisPanelFixture, PagesClampAndTheLastPageKeepsAFullPageScale) {
  RecordingPanel chart;
  TChartSeries& s = chart.AddSeries(std::make_unique<TChartSeries>());
  for (int i = 0; i < 15; ++i) s.Add(i);
  EXPECT_EQ(chart.Pages().NumPages(), 1);  // no paging
  chart.Pages().SetMaxPointsPerPage(10);
  EXPECT_EQ(chart.Pages().NumPages(), 2);
  chart.Pages().SetCurrent(0);
  EXPECT_EQ(chart.Pages().Current(), 1);
  chart.Pages().SetCurrent(7);
  EXPECT_EQ(chart.Pages().Current(), 2);
  int32_t first = 0, last = 0;
  s.CalcFirstLastPage(first, last);
  EXPECT_EQ(first, 10);
  EXPECT_EQ(last, 14);
  EXPECT_EQ(chart.MaxValueOfAxis(chart.BottomAxis(), true, true), 10);
  EXPECT_EQ(chart.MaxValueOfAxis(chart.BottomAxis(), false, true), 14);
  chart.Pages().SetScaleLastPage(false);  // 5 of 10 points: the scale of a full page
  EXPECT_DOUBLE_EQ(chart.MaxValueOfAxis(chart.BottomAxis(), false, true), 10 + 10.0 * 4 / 5);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { chart.Pages().SetMaxPointsPerPage(-1); }),
            "MaxPointsPerPage must be >= 0");
  EXPECT_EQ(chart.Pages().MaxPointsPerPage(), 10);
}

TEST_F(AxisPanelFixture, ChartPercentOutsideItsRangeIsRefused) {
  RecordingPanel chart;
  for (int32_t bad : {0, 101})
    EXPECT_EQ(ThrownMessage<ChartException>([&] { chart.SetChart3DPercent(bad); }),
              "3D effect percent must be between 1 and 100");
  chart.SetChart3DPercent(1);
  chart.SetChart3DPercent(100);
  EXPECT_EQ(chart.Chart3DPercent(), 100);
}

TEST_F(AxisPanelFixture, ARemovedCustomAxisSendsItsSeriesBackToTheBottomAxis) {
  RecordingPanel chart;
  TChartSeries& s = chart.AddSeries(std::make_unique<TChartSeries>());
  TChartAxis& custom = chart.AddCustomAxis(true);
  s.SetCustomHorizAxis(&custom);
  EXPECT_EQ(s.GetHorizAxis(), &custom);
  chart.RemoveCustomAxis(custom);
  EXPECT_EQ(s.HorizAxis(), aBottomAxis);
  EXPECT_EQ(s.GetHorizAxis(), &chart.BottomAxis());
}

// A series kind that tells when it is freed.
class CountedSeries : public TChartSeries {
 public:
  explicit CountedSeries(int& freed) : freed_(freed) {}
  ~CountedSeries() override { ++freed_; }

 private:
  int& freed_;
};
class CountedLineSeries : public CountedSeries {
 public:
  using CountedSeries::CountedSeries;
};

// The chart owns its series: removing one hands it back, removing all of a class
// frees those, last first (none walks past the others), and the chart frees the rest
// when it goes.
TEST_F(AxisPanelFixture, TheChartOwnsAndFreesItsSeries) {
  const struct {
    const char* behaviour;
    TChartSeriesClass ofClass;
    int freed, left;  // of two plain and one derived series
    int64_t steps;    // entries of the list looked at or moved
  } table[] = {
      {"every series", nullptr, 3, 0, 3},
      {"a class and those derived from it", SeriesOfClass<CountedSeries>, 3, 0, 3},
      {"only the derived class", SeriesOfClass<CountedLineSeries>, 1, 2, 2},
  };
  for (const auto& row : table) {
    int freed = 0;
    {
      RecordingPanel chart;
      chart.AddSeries(std::make_unique<CountedSeries>(freed));
      chart.AddSeries(std::make_unique<CountedLineSeries>(freed));
      chart.AddSeries(std::make_unique<CountedSeries>(freed));
      const int64_t before = SeriesListStepsForTesting();
      chart.RemoveAllSeries(row.ofClass);
      EXPECT_EQ(SeriesListStepsForTesting() - before, row.steps) << row.behaviour;
      EXPECT_EQ(freed, row.freed) << row.behaviour;
      EXPECT_EQ(chart.SeriesCount(), row.left) << row.behaviour;
    }
    EXPECT_EQ(freed, 3) << row.behaviour << ": the chart frees what it still holds";
  }
  int freed = 0;
  RecordingPanel chart;
  TChartSeries& kept = chart.AddSeries(std::make_unique<CountedSeries>(freed));
  std::unique_ptr<TChartSeries> back = chart.RemoveSeries(kept);
  EXPECT_EQ(back.get(), &kept);
  EXPECT_EQ(back->ParentChart(), nullptr);
  EXPECT_EQ(chart.RemoveSeries(kept), nullptr);  // no longer the chart's
  EXPECT_EQ(freed, 0);
}

}  // namespace
}  // namespace qira

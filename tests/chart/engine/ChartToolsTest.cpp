#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <functional>
#include <vector>

#include "TwoPointChart.h"
#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A tool that writes down what it hears; a hook may act on the chart meanwhile.
class RecordingTool : public TChartTool {
 public:
  explicit RecordingTool(std::vector<int>& heard, TChartSeries* series = nullptr)
      : fHeard(heard), fSeries(series) {}
  TChartSeries* Series() const override { return fSeries; }
  void ChartEvent(TChartToolEvent event) override {
    fHeard.push_back(event);
    if (OnEvent) OnEvent(event);
  }
  void ChartMouseEvent(TChartToolMouseKind kind, TMouseButton, TShiftState, int32_t, int32_t) override {
    fHeard.push_back(100 + kind);
    if (Consume) ParentChart()->MouseHandled = true;
  }
  void ChartWheelEvent(TChartToolWheelKind kind, int32_t delta, int32_t, int32_t) override {
    fHeard.push_back(200 + kind);
    lastDelta = delta;
  }
  std::function<void(TChartToolEvent)> OnEvent;
  bool Consume = false;
  int32_t lastDelta = 0;

 private:
  std::vector<int>& fHeard;
  TChartSeries* fSeries;
};

struct ChartToolsFixture : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  TChart chart;
  TLineSeries& series = test::SetUpTwoPointChart<TLineSeries>(chart);
  std::vector<int> heard;

  RecordingTool& AddTool(TChartSeries* bound = nullptr) {
    return static_cast<RecordingTool&>(chart.Tools().Add(std::make_unique<RecordingTool>(heard, bound)));
  }
  void Repaint() { chart.CreateChartBitmap(clWhite, {0, 0, 300, 200}); }
};

struct OrderCase {
  const char* name;
  bool axisBehind;
  std::vector<int> heard;
};

class ToolOrder : public ChartToolsFixture, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ToolOrder, AToolHearsTheRepaintStepsInTheirOrder) {
  chart.SetAxisBehind(GetParam().axisBehind);
  AddTool();
  Repaint();
  EXPECT_EQ(heard, GetParam().heard);
}

INSTANTIATE_TEST_SUITE_P(Table, ToolOrder,
                         ::testing::Values(OrderCase{"AxesBehind", true, {2, 3, 1, 4, 0}},
                                           OrderCase{"AxesInFront", false, {2, 1, 4, 3, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartToolsFixture, TheChartEventsRunBetweenTheToolsSteps) {
  AddTool();
  chart.OnBeforeDrawChart = [&] { heard.push_back(-1); };
  chart.OnBeforeDrawSeries = [&] { heard.push_back(-2); };
  chart.OnAfterDraw = [&] { heard.push_back(-3); };
  Repaint();
  EXPECT_EQ(heard, (std::vector<int>{2, -1, 3, 1, -2, 4, 0, -3}));
}

TEST_F(ChartToolsFixture, AnInactiveToolHearsNothing) {
  AddTool().Active = false;
  Repaint();
  EXPECT_TRUE(heard.empty());
}

TEST_F(ChartToolsFixture, ASeriesToolAlsoHearsItsSeriesDraw) {
  auto other = std::make_unique<TLineSeries>();
  other->AddXY(0, 50);
  other->AddXY(100, 60);
  chart.AddSeries(std::move(other));
  AddTool(&series);
  Repaint();
  // Around its own series only (the other series draws without telling it).
  EXPECT_EQ(heard, (std::vector<int>{2, 3, 1, 1, 4, 4, 0}));
}

TEST_F(ChartToolsFixture, AToolRemovingItselfWhileNotifiedIsFreedAfterTheNotification) {
  RecordingTool& first = AddTool();
  RecordingTool& second = AddTool();
  bool removed = false;
  first.OnEvent = [&](TChartToolEvent event) {
    if (event != cteBeforeDrawAxes || removed) return;
    removed = true;
    // Itself and the tool after it: neither hears anything more.
    chart.Tools().Remove(second);
    chart.Tools().Remove(first);
  };
  Repaint();
  EXPECT_EQ(chart.Tools().Count(), 0);
  // First: 2 and 3; second: 2 only (removed before its turn for 3).
  EXPECT_EQ(heard, (std::vector<int>{2, 2, 3}));
}

TEST_F(ChartToolsFixture, LeavingThePanelIsEventFive) {
  AddTool();
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&chart, &leave);
  EXPECT_EQ(heard, (std::vector<int>{5}));
}

TEST_F(ChartToolsFixture, ToolsHearTheMouseAndAConsumingToolStopsThePress) {
  RecordingTool& first = AddTool();
  AddTool();
  int clicks = 0;
  chart.OnClickBackground = [&](TCustomChart&, TMouseButton, TShiftState, int32_t, int32_t) { ++clicks; };
  chart.CalcChartLayout();
  heard.clear();  // the layout's own repaint
  const TRect r = chart.ChartRect();
  const int32_t x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2 + 20;
  chart.MouseDown(mbLeft, 0, x, y);
  chart.MouseMove(0, x + 1, y);
  chart.MouseUp(mbLeft, 0, x + 1, y);
  EXPECT_EQ(heard, (std::vector<int>{100, 100, 101, 101, 102, 102}));
  EXPECT_EQ(clicks, 1);

  heard.clear();
  first.Consume = true;
  chart.MouseDown(mbLeft, 0, x, y);
  EXPECT_EQ(heard, (std::vector<int>{100}));  // the second tool is not asked
  EXPECT_EQ(clicks, 1);                       // nor is the chart
  EXPECT_FALSE(chart.MouseHandled);
}

TEST_F(ChartToolsFixture, WheelNotchesReachTheTools) {
  AddTool();
  chart.DoMouseWheelDown();
  chart.DoMouseWheelUp();
  EXPECT_EQ(heard, (std::vector<int>{200, 202}));
}

TEST_F(ChartToolsFixture, ClearingFreesEveryToolAndAToolKnowsItsChartOnlyWhileListed) {
  RecordingTool& tool = AddTool();
  EXPECT_EQ(tool.ParentChart(), &chart);
  AddTool();
  chart.Tools().Clear();
  EXPECT_EQ(chart.Tools().Count(), 0);
  Repaint();
  EXPECT_TRUE(heard.empty());
}

}  // namespace
}  // namespace qira

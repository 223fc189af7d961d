#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chart/engine/Chart.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A series that writes down each point it is asked to draw, tagged with its own letter.
class TracingSeries : public TChartSeries {
 public:
  TracingSeries(char tag, std::vector<std::string>& trace) : fTag(tag), fTrace(trace) {}
  void DrawValue(int32_t index) override { fTrace.push_back(std::string(1, fTag) + std::to_string(index)); }

 private:
  char fTag;
  std::vector<std::string>& fTrace;
};

struct PipelineFixture : ::testing::Test {
  const bool app = (EnsureTestApplication(), true);
  std::vector<std::string> trace;
  TChart chart;
  TracingSeries& a = chart.AddSeries(std::make_unique<TracingSeries>('a', trace));
  TracingSeries& b = chart.AddSeries(std::make_unique<TracingSeries>('b', trace));

  void SetUp() override {
    chart.resize(300, 200);
    for (TracingSeries* s : {&a, &b})
      for (int i = 0; i < 3; ++i) s->AddXY(i, i);
  }
  void Repaint() {
    trace.clear();
    chart.CalcChartLayout();
  }
};

TEST_F(PipelineFixture, SeriesOfOneZOrderDrawTheirPointsInterleavedIn3D) {
  a.SetZOrder(0);
  b.SetZOrder(0);
  EXPECT_TRUE(a.MoreSameZOrder());
  Repaint();
  EXPECT_EQ(trace, (std::vector<std::string>{"a0", "b0", "a1", "b1", "a2", "b2"}));
  chart.SetView3D(false);
  Repaint();
  EXPECT_EQ(trace, (std::vector<std::string>{"a0", "a1", "a2", "b0", "b1", "b2"}));
}

TEST_F(PipelineFixture, EachSeriesIsBracketedByItsDrawEventsOnlyWhenItHasPointsInView) {
  for (TracingSeries* s : {&a, &b}) {
    s->BeforeDrawValues = [&](TChartSeries& x) { trace.push_back(std::string("before ") + (&x == &a ? "a" : "b")); };
    s->AfterDrawValues = [&](TChartSeries& x) { trace.push_back(std::string("after ") + (&x == &a ? "a" : "b")); };
  }
  chart.SetView3D(false);
  chart.BottomAxis().SetMinMax(0.5, 1.5);
  b.Clear();
  Repaint();
  EXPECT_EQ(trace, (std::vector<std::string>{"before a", "a1", "after a"}));
}

TEST_F(PipelineFixture, AViewFromBehindReversesTheDepthAndThePointOrder) {
  TView3DOptions& view = chart.View3DOptions();
  view.SetOrthogonal(false);
  view.SetRotation(100);
  Repaint();
  EXPECT_TRUE(chart.DepthReversed());
  EXPECT_FALSE(a.DrawValuesForward());
  EXPECT_FALSE(a.DrawSeriesForward());
  view.SetOrthogonal(true);
  view.SetOrthoAngle(45);
  Repaint();
  EXPECT_FALSE(chart.DepthReversed());
  EXPECT_TRUE(a.DrawValuesForward());
  EXPECT_EQ(trace.front(), "a0");  // the back series first: a stands behind b
}

// The kinds of series events a chart sends, in order.
struct SeriesEventLog : IChartEventListener {
  std::vector<int> kinds;
  void Notify(TChartEvent& event) override {
    if (auto* e = dynamic_cast<TChartSeriesEvent*>(&event)) kinds.push_back(e->Event);
  }
};

struct EventCase {
  const char* name;
  std::function<void(TChartSeries&)> change;
  std::vector<int> kinds;
};

class SeriesEvents : public PipelineFixture, public ::testing::WithParamInterface<EventCase> {};

TEST_P(SeriesEvents, AChangeOfASeriesReachesTheChartsListeners) {
  SeriesEventLog log;
  chart.AddListener(&log);
  GetParam().change(a);
  chart.RemoveListener(&log);
  EXPECT_EQ(log.kinds, GetParam().kinds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeriesEvents,
    ::testing::Values(EventCase{"Title", [](TChartSeries& s) { s.SetTitle("depth"); }, {2}},
                      EventCase{"SameTitle", [](TChartSeries& s) { s.SetTitle(""); }, {}},
                      EventCase{"Active", [](TChartSeries& s) { s.SetActive(false); }, {5}},
                      EventCase{"SameActive", [](TChartSeries& s) { s.SetActive(true); }, {}},
                      EventCase{"Colour", [](TChartSeries& s) { s.SetSeriesColor(0x123456); }, {3}},
                      EventCase{"DataAfterNestedUpdate",
                                [](TChartSeries& s) {
                                  s.BeginUpdate();
                                  s.BeginUpdate();
                                  s.AddXY(5, 5);
                                  s.EndUpdate();
                                  s.EndUpdate();
                                },
                                {6}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PipelineFixture, ASeriesWithoutTitleOrNameIsCalledByItsPlaceInTheChart) {
  EXPECT_EQ(b.TitleForDisplay(), "Series2");
  b.Name = "LineB";
  EXPECT_EQ(b.TitleForDisplay(), "LineB");
  TChartSeries alone;
  EXPECT_EQ(alone.TitleForDisplay(), "");
}

TEST_F(PipelineFixture, TheLegendsSeriesAreTheActiveOnesItShows) {
  TChartSeries& c = chart.AddSeries(std::make_unique<TChartSeries>());
  a.ShowInLegend = false;
  b.SetActive(false);
  EXPECT_EQ(chart.ActiveSeriesLegend(0), &c);
  EXPECT_EQ(chart.ActiveSeriesLegend(1), nullptr);
  // Titles count the hidden series too unless only active ones are asked for.
  b.SetTitle("inactive");
  c.SetTitle("third");
  EXPECT_EQ(chart.SeriesTitleLegend(0, false), "inactive");
  EXPECT_EQ(chart.SeriesTitleLegend(1, false), "third");
  EXPECT_EQ(chart.SeriesTitleLegend(0, true), "third");
  EXPECT_EQ(chart.SeriesTitleLegend(2, false), "");
}

TEST_F(PipelineFixture, FreeColoursGoToEverySeriesWithoutItsOwn) {
  TChartSeries& c = chart.AddSeries(std::make_unique<TChartSeries>());
  // b takes a's automatic colour as its own: a must move to a free one.
  b.SetSeriesColor(chart.GetDefaultColor(0));
  chart.AssignFreeColors();
  std::set<TColor> colours;
  for (TChartSeries* s : {static_cast<TChartSeries*>(&a), static_cast<TChartSeries*>(&b), &c})
    colours.insert(s->SeriesColor());
  EXPECT_EQ(colours.size(), 3u);
  EXPECT_EQ(a.SeriesColor(), chart.GetDefaultColor(1));
  EXPECT_EQ(b.SeriesColor(), chart.GetDefaultColor(0));  // its own colour stays
}

TEST_F(PipelineFixture, TheWidestTextLabelIsTheWidestLineOfAnyLabel) {
  a.SetLabel(0, "ab");
  b.SetLabel(2, "abcdefgh\rxy");
  Repaint();
  int32_t lines = 0;
  EXPECT_EQ(chart.MaxXLabelsWidth(), chart.MultiLineTextWidth("abcdefgh", lines));
  EXPECT_GT(chart.MaxXLabelsWidth(), chart.MultiLineTextWidth("ab", lines));
}

TEST_F(PipelineFixture, AHiddenAxisTakesTheRoomTheSizeCallbackAsksFor) {
  chart.SetView3D(false);
  Repaint();
  const TRect before = chart.ChartRect();
  // Shown axes keep the room their labels measure.
  chart.AxesList().AxisSizeCallback = [&](const TChartAxis& axis, int32_t size) {
    return &axis == &chart.RightAxis() ? 30 : size;
  };
  Repaint();
  EXPECT_EQ(chart.ChartRect().Right, before.Right - 30);
  EXPECT_EQ(chart.ChartRect().Left, before.Left);
}

TEST_F(PipelineFixture, ALegendSymbolInTheLegendsOwnColourShowsOnlyItsFrame) {
  Repaint();
  TCanvas& dc = chart.ControlCanvas().Canvas();
  const TRect symbol{10, 10, 30, 20};
  chart.LegendColor = clLime;
  dc.SetBrush(TBrush{clLime, bsSolid});
  dc.SetPen(TPen{});
  dc.SetPenColor(clBlack);
  chart.PaintLegendSymbolBack(symbol);
  EXPECT_EQ(chart.ControlCanvas().Pixel(10, 15), clBlack);  // the frame
  EXPECT_EQ(chart.ControlCanvas().Pixel(20, 15), clLime);  // the fill came first
  chart.LegendColor = clBlack;
  dc.SetBrush(TBrush{clBlack, bsSolid});
  chart.PaintLegendSymbolBack({40, 10, 60, 20});
  EXPECT_EQ(chart.ControlCanvas().Pixel(40, 15), clWhite);  // a black symbol framed in white
}

}  // namespace
}  // namespace qira

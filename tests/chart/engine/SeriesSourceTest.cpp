// Series fed from sources, copied, filled with sample points and streamed as the
// children of their chart.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartRoutines.h"
#include "chart/engine/Chart.h"
#include "chart/engine/ChartObjectStreaming.h"
#include "chart/engine/SeriesData.h"
#include "chart/engine/SeriesFunctions.h"
#include "chart/engine/SeriesSource.h"
#include "support/GeneratedFixtures.h"
#include "support/TestApplication.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

std::vector<double> Ys(const TChartSeries& s) {
  std::vector<double> ys;
  for (int32_t i = 0; i < s.Count(); ++i) ys.push_back(s.YValue(i));
  return ys;
}
std::vector<double> Xs(const TChartSeries& s) {
  std::vector<double> xs;
  for (int32_t i = 0; i < s.Count(); ++i) xs.push_back(s.XValue(i));
  return xs;
}

// A source component that fills its series with a fixed set of points.
class TThreePointSource : public TChartSeriesSource {
 public:
  std::string ClassName() const override { return "TThreePointSource"; }
  void Load() override {
    Series()->Clear();
    for (double y : {4.0, 5.0, 6.0}) Series()->Add(y);
  }
};

TEST(ChartSeriesSource, TheBaseKindAnswersItsQueriesPlainly) {
  const TChartSeriesSource base;
  EXPECT_TRUE(base.Available());
  EXPECT_EQ(base.EditorName(), "");
  EXPECT_EQ(base.ReservedQuery1(), 0);
  EXPECT_EQ(base.ReservedQuery2(), 0);
  EXPECT_FALSE(base.Active());
}

class SeriesSourceFixture : public ::testing::Test {
 protected:
  struct TApplicationFirst {
    TApplicationFirst() { EnsureTestApplication(); }
  } application;
  TChart chart;
  // Made here; a test hands them to the chart (Join), which then owns them, and may
  // take them back (Leave).
  std::unique_ptr<TLineSeries> sourceOwner = std::make_unique<TLineSeries>();
  std::unique_ptr<TLineSeries> fedOwner = std::make_unique<TLineSeries>();
  TLineSeries& source = *sourceOwner;
  TLineSeries& fed = *fedOwner;
  void Join(TLineSeries& series) { chart.AddSeries(std::move(OwnerOf(series))); }
  void Leave(TLineSeries& series) {
    OwnerOf(series).reset(static_cast<TLineSeries*>(chart.RemoveSeries(series).release()));
  }

 private:
  std::unique_ptr<TLineSeries>& OwnerOf(const TLineSeries& series) {
    return &series == &source ? sourceOwner : fedOwner;
  }
};

TEST_F(SeriesSourceFixture, ASeriesFedFromASourceSeriesShowsItsPointsAndFollowsThem) {
  Join(fed);
  source.AddXY(1, 10, "a");
  source.AddXY(2, 20, "b", clRed);
  SetDataSource(fed, &source);
  EXPECT_EQ(Xs(fed), (std::vector<double>{1, 2}));
  EXPECT_EQ(Ys(fed), (std::vector<double>{10, 20}));
  EXPECT_EQ(fed.Label(1), "b");
  EXPECT_EQ(fed.ValueColor(1), clRed);
  source.AddXY(3, 30);
  EXPECT_EQ(Ys(fed), (std::vector<double>{10, 20, 30}));
  SetDataSource(fed, static_cast<TChartSeries*>(nullptr));
  EXPECT_TRUE(fed.DataSources().empty());
  EXPECT_EQ(fed.Count(), 0);  // the points were the source's
}

// A new source refreshes the series' points only in a chart and not while the series
// is being updated.
TEST_F(SeriesSourceFixture, ASourceRefreshesTheSeriesOnlyInAChartAndNotWhileUpdating) {
  const struct {
    bool inChart, updating;
    size_t points;
  } table[] = {{true, false, 2}, {true, true, 0}, {false, false, 0}, {false, true, 0}};
  source.Add(1);
  source.Add(2);
  for (const auto& row : table) {
    SCOPED_TRACE(testing::Message() << "in chart " << row.inChart << ", updating " << row.updating);
    if (row.inChart) Join(fed);
    if (row.updating) fed.BeginUpdate();
    SetDataSource(fed, &source);
    EXPECT_EQ(Ys(fed).size(), row.points);
    if (row.updating) fed.EndUpdate();
    SetDataSource(fed, static_cast<TChartSeries*>(nullptr));
    fed.Clear();
    if (row.inChart) Leave(fed);
  }
}

TEST_F(SeriesSourceFixture, AnEditorListsTheValueListsOfTheSeriesThatFeedsASeries) {
  std::vector<std::string> names;
  const auto list = [&](const std::string& name) { names.push_back(name); };
  chart.FillValueSourceItems(fed, list);
  EXPECT_TRUE(names.empty());  // no data source
  source.AddValueList("Depth");
  SetDataSource(fed, &source);
  chart.FillValueSourceItems(fed, list);
  EXPECT_EQ(names, (std::vector<std::string>{"X", "Y", "Depth"}));
  names.clear();
  TThreePointSource component;  // a source that is no series
  SetDataSource(fed, static_cast<TChartSeries*>(nullptr));
  Join(fed);
  SetDataSource(fed, &component);
  chart.FillValueSourceItems(fed, list);
  EXPECT_TRUE(names.empty());
  Leave(fed);
}

TEST_F(SeriesSourceFixture, InvalidSourcesRaiseTheirMessagesAndLeaveTheSeriesAsItWas) {
  fed.AddXY(1, 1);
  fed.Name = "Wells";
  // Without a chart nothing but another series can be checked.
  EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &fed); }), "No ParentChart to validate DataSource");
  TThreePointSource component;
  EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &component); }),
            "No ParentChart to validate DataSource");
  EXPECT_EQ(component.Series(), nullptr);
  // With a chart the chart refuses the series as its own source, by name or class.
  Join(fed);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &fed); }), "No valid DataSource: Wells");
  fed.Name.clear();
  EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &fed); }), "No valid DataSource: TLineSeries");
  // A chain back to the series.
  SetDataSource(source, &fed);
  EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &source); }),
            "Circular Series dependences are not allowed");
  EXPECT_EQ(Ys(fed), (std::vector<double>{1}));
  EXPECT_TRUE(fed.DataSources().empty());
  Leave(fed);
}

// A series that feeds no other series.
class TClosedSeries : public TLineSeries {
 public:
  bool IsValidSourceOf(const TChartSeries&) const override { return false; }
};

TEST_F(SeriesSourceFixture, ASourceThatOffersItselfToNoSeriesIsRefusedWithOrWithoutAChart) {
  TClosedSeries closed;
  closed.Name = "Closed";
  closed.Add(1);
  EXPECT_FALSE(fed.IsValidSource(closed));
  EXPECT_TRUE(fed.IsValidSource(source));
  struct Case {
    bool withChart;
    const char* message;
  };
  for (const Case c : {Case{false, "No ParentChart to validate DataSource"}, Case{true, "No valid DataSource: Closed"}}) {
    if (c.withChart) Join(fed);
    EXPECT_EQ(ThrownMessage<ChartException>([&] { SetDataSource(fed, &closed); }), c.message);
    EXPECT_TRUE(fed.DataSources().empty());
  }
  Leave(fed);
}

// The colour changes a chart announces to its listeners.
struct ColourEventCount : IChartEventListener {
  int count = 0;
  void Notify(TChartEvent& event) override {
    if (auto* e = dynamic_cast<TChartSeriesEvent*>(&event); e && e->Event == TChartSeriesEvent::seChangeColor) ++count;
  }
};

TEST_F(SeriesSourceFixture, ASeriesTakesAFreeColourAndItsAxesOnJoiningAChartAndForgetsTheAxesOnLeaving) {
  ColourEventCount colours;
  chart.AddListener(&colours);
  source.SetSeriesColor(clRed);
  source.Add(7);
  SetDataSource(fed, &source);
  fed.Clear();  // joining refreshes the points from the source
  Join(fed);
  EXPECT_EQ(colours.count, 1);
  Join(source);  // a colour of its own: nothing to announce
  EXPECT_EQ(colours.count, 1);
  chart.RemoveListener(&colours);
  EXPECT_EQ(Ys(fed), (std::vector<double>{7}));
  EXPECT_EQ(fed.StoredColor(), clChartDefault);
  EXPECT_EQ(fed.SeriesColor(), chart.GetDefaultColor(0));
  EXPECT_EQ(fed.GetHorizAxis(), &chart.BottomAxis());
  EXPECT_EQ(fed.GetVertAxis(), &chart.LeftAxis());
  Leave(fed);
  EXPECT_EQ(fed.ParentChart(), nullptr);
  EXPECT_EQ(fed.GetHorizAxis(), nullptr);
  EXPECT_EQ(fed.GetVertAxis(), nullptr);
  Leave(source);
}

TEST_F(SeriesSourceFixture, ASeriesLeavingTheChartTakesTheCursorItPutUpWithIt) {
  fed.Cursor = crChartHand;  // the chart's own cursor is the arrow it was made with
  Join(fed);
  chart.setCursor(Qt::PointingHandCursor);  // what hovering over the series shows
  Leave(fed);
  EXPECT_EQ(chart.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(SeriesSourceFixture, ASourceComponentLoadsWhenOpenAndClearsWhenClosedUnlessToldToKeepThePoints) {
  Join(fed);
  TThreePointSource component;
  component.Name = "Three";
  component.Open();  // no series yet: nothing to load
  SetDataSource(fed, &component);
  EXPECT_EQ(fed.SourceComponent(), &component);
  EXPECT_EQ(Ys(fed), (std::vector<double>{4, 5, 6}));  // reopened: it was active
  EXPECT_TRUE(component.IsSourceOfSeries(fed));
  EXPECT_FALSE(TChartSeriesSource().IsSourceOfSeries(fed));
  EXPECT_EQ(DataSourceNames(fed), std::vector<std::string>{"Three"});
  component.Close();
  EXPECT_EQ(fed.Count(), 0);
  component.KeepSeriesPoints = true;
  component.Open();
  component.Close();
  EXPECT_EQ(fed.Count(), 3);
  // A source series replaces the component.
  source.Add(9);
  SetDataSource(fed, &source);
  EXPECT_EQ(component.Series(), nullptr);
  EXPECT_EQ(fed.SourceComponent(), nullptr);
  Leave(fed);
}

TEST_F(SeriesSourceFixture, ASourceComponentBeingReadLoadsOnlyOnceItIsLoaded) {
  Join(fed);
  TThreePointSource component;
  component.Loading = true;
  SetDataSource(fed, &component);
  component.Open();
  EXPECT_EQ(fed.Count(), 0);
  component.Loaded();
  EXPECT_EQ(Ys(fed), (std::vector<double>{4, 5, 6}));
  Leave(fed);
}

TEST_F(SeriesSourceFixture, ASeriesGoingAwayUnbindsItsSourceComponent) {
  TThreePointSource component;
  {
    TChartSeries& series = chart.AddSeries(std::make_unique<TLineSeries>());
    SetDataSource(series, &component);
    EXPECT_EQ(component.Series(), &series);
    chart.RemoveSeries(series);  // handed back and dropped
  }
  EXPECT_EQ(component.Series(), nullptr);
  component.Open();  // nothing bound: nothing to load into
}

TEST_F(SeriesSourceFixture, AssignCopiesTheSettingsAndThePoints) {
  source.SetTitle("Wells");
  source.SetValueFormat("0.0");
  source.SetSeriesColor(clRed);
  source.SetVertAxis(aRightAxis);
  source.Depth = 7;
  source.Cursor = -21;
  source.ShowInEditor = false;
  source.Marks().SetVisible(true);
  source.Stairs = true;
  source.SetColorSource("Colours");
  source.AddXY(1, 10, "a", clBlue);
  source.AddXY(2, 20);
  source.Marks().MarkItem(1).Text = {"second"};
  TLineSeries copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Title(), "Wells");
  EXPECT_EQ(copy.ValueFormat(), "0.0");
  EXPECT_EQ(copy.SeriesColor(), clRed);
  EXPECT_EQ(copy.VertAxis(), aRightAxis);
  EXPECT_EQ(copy.Depth, 7);
  EXPECT_TRUE(copy.Marks().Visible());
  EXPECT_EQ(copy.Cursor, -21);
  EXPECT_FALSE(copy.ShowInEditor);
  EXPECT_TRUE(copy.Stairs);
  EXPECT_EQ(copy.ColorSource(), "Colours");
  EXPECT_EQ(Ys(copy), (std::vector<double>{10, 20}));
  EXPECT_EQ(copy.Label(0), "a");
  EXPECT_EQ(copy.ValueColor(0), clBlue);
  ASSERT_NE(copy.Marks().ItemAt(1), nullptr);
  EXPECT_EQ(copy.Marks().ItemAt(1)->Text, std::vector<std::string>{"second"});
  EXPECT_TRUE(copy.DataSources().empty());
}

TEST_F(SeriesSourceFixture, AssignCopiesTheMarksWholeAndDropsACalloutTheSourceHasNot) {
  TLineSeries source;
  source.AddXY(1, 10);
  source.AddXY(2, 20);
  TSeriesMarks& marks = source.Marks();
  marks.SetColor(TColor{0x00FFFF});
  marks.Font().SetSize(15);
  marks.Pen().SetColor(clRed);
  marks.Gradient().SetVisible(true);
  marks.Shadow().SetSize(5);
  marks.TextAlign = taLeftJustify;
  marks.SetArrowLength(20);
  marks.Arrow().SetColor(clBlue);
  marks.Callout().ArrowHead = ahLine;
  marks.Callout().Distance = 6;
  marks.Symbol().SetVisible(true);
  marks.MarkItem(1).Text = {"own"};
  marks.MarkItem(1).SetColor(clLime);

  TLineSeries copy;
  copy.Assign(source);
  TSeriesMarks& copied = copy.Marks();
  EXPECT_EQ(copied.Color(), TColor{0x00FFFF});
  EXPECT_EQ(copied.Font().Size(), 15);
  EXPECT_EQ(copied.Pen().Color(), clRed);
  ASSERT_NE(copied.GradientIfAny(), nullptr);
  EXPECT_TRUE(copied.GradientIfAny()->Visible());
  EXPECT_EQ(copied.Shadow().Size(), 5);
  EXPECT_EQ(copied.TextAlign, taLeftJustify);
  ASSERT_NE(copied.CalloutIfAny(), nullptr);
  EXPECT_EQ(copied.ArrowLength(), 20);
  EXPECT_EQ(copied.Arrow().Color(), clBlue);
  EXPECT_EQ(copied.CalloutIfAny()->ArrowHead, ahLine);
  EXPECT_EQ(copied.CalloutIfAny()->Distance, 6);
  ASSERT_NE(copied.SymbolIfAny(), nullptr);
  EXPECT_TRUE(copied.SymbolIfAny()->Visible());
  ASSERT_NE(copied.ItemAt(1), nullptr);
  EXPECT_EQ(copied.ItemAt(1)->Text, std::vector<std::string>{"own"});
  EXPECT_EQ(copied.ItemAt(1)->Color(), clLime);
  EXPECT_EQ(copied.ItemAt(0), nullptr);
  // Everything the marks publish is the same.
  TStreamedProperties a, b;
  WriteMarksProperties(marks, a);
  WriteMarksProperties(copied, b);
  EXPECT_EQ(PropertiesToBytes(a), PropertiesToBytes(b));

  TLineSeries plain;
  copy.Assign(plain);
  EXPECT_EQ(copy.Marks().CalloutIfAny(), nullptr);
  EXPECT_EQ(copy.Marks().SymbolIfAny(), nullptr);
  EXPECT_EQ(copy.Marks().ItemCount(), 0);
  EXPECT_EQ(copy.Marks().Color(), clInfoBk);
}

TEST_F(SeriesSourceFixture, RemovingTheFirstSourceRemovesEveryOneAndThePointsUnlessStored) {
  TLineSeries other;
  source.Add(1);
  other.Add(2);
  Join(fed);
  for (const bool stored : {false, true}) {
    SCOPED_TRACE(stored);
    AddDataSource(fed, source, false);
    AddDataSource(fed, other, false);
    fed.StoredData = stored;
    fed.RemoveDataSource(other);  // not the first: only that one goes
    ASSERT_EQ(fed.DataSources().size(), 1u);
    fed.RemoveDataSource(source);
    EXPECT_TRUE(fed.DataSources().empty());
    EXPECT_TRUE(source.DependentSeries().empty());
    EXPECT_EQ(fed.Count(), stored ? 1 : 0);
    fed.Clear();
  }
}

TEST_F(SeriesSourceFixture, AssignFromASeriesFedBySourcesTakesTheSameSources) {
  TLineSeries origin;
  origin.Add(3);
  origin.Add(4);
  Join(source);
  Join(fed);
  SetDataSource(source, &origin);
  fed.Assign(source);
  ASSERT_EQ(fed.DataSources().size(), 1u);
  EXPECT_EQ(fed.DataSources().front(), &origin);
  EXPECT_EQ(Ys(fed), (std::vector<double>{3, 4}));
}

// Sums each period's Y values; `Renewable` kinds can be made anew by a copy.
template <bool Renewable>
class TSumKind : public TChartFunction {
 public:
  double Calculate(TChartSeries& from, int32_t first, int32_t last) override {
    double sum = 0;
    for (int32_t i = first < 0 ? 0 : first; i <= (last < 0 ? from.Count() - 1 : last); ++i) sum += from.YValue(i);
    return sum;
  }
  std::unique_ptr<TChartFunction> NewOfSameKind() const override {
    return Renewable ? std::make_unique<TSumKind>() : TChartFunction::NewOfSameKind();
  }
};

TEST_F(SeriesSourceFixture, AssignTakesTheSourcesFunctionAsANewOneOfItsKindWhenItHasNone) {
  struct Case {
    const char* Name;
    bool Renewable;
    bool OwnFunction;  // copy has a function (period 0: the sum of all, at the first and last X) before
    std::vector<double> Ys;
  };
  for (const Case& c : {Case{"copied", true, false, {3, 7}}, Case{"own kept", true, true, {10, 10}},
                        Case{"kind that cannot be made anew", false, false, {1, 2, 3, 4}}}) {
    SCOPED_TRACE(c.Name);
    TLineSeries origin;
    TLineSeries& computed = chart.AddSeries(std::make_unique<TLineSeries>());
    TLineSeries& copy = chart.AddSeries(std::make_unique<TLineSeries>());
    for (double y : {1.0, 2.0, 3.0, 4.0}) origin.Add(y);
    if (c.Renewable)
      computed.SetFunction(std::make_unique<TSumKind<true>>());
    else
      computed.SetFunction(std::make_unique<TSumKind<false>>());
    computed.Function()->SetPeriod(2);
    SetDataSource(computed, &origin);
    TChartFunction* own = nullptr;
    if (c.OwnFunction) {
      copy.StoredData = true;
      copy.SetFunction(std::make_unique<TSumKind<true>>());
      EXPECT_FALSE(copy.StoredData);  // a function's points are computed, not stored
      own = copy.Function();
    }
    copy.Assign(computed);
    EXPECT_EQ(Ys(copy), c.Ys);
    if (c.OwnFunction) {
      EXPECT_EQ(copy.Function(), own);
    } else if (c.Renewable) {
      ASSERT_NE(copy.Function(), nullptr);
      EXPECT_NE(copy.Function(), computed.Function());
      EXPECT_NE(dynamic_cast<TSumKind<true>*>(copy.Function()), nullptr);
      EXPECT_EQ(copy.Function()->Period(), 2);
    } else {
      EXPECT_EQ(copy.Function(), nullptr);
    }
    chart.RemoveAllSeries(nullptr);
  }
}

TEST_F(SeriesSourceFixture, SampleValuesFillAndOrderThePoints) {
  struct Case {
    const char* Name;
    bool OnlyMandatory;
  };
  for (const Case c : {Case{"with X", false}, Case{"values only", true}}) {
    SCOPED_TRACE(c.Name);
    TLineSeries s;
    AddSampleValues(s, 6, c.OnlyMandatory);
    ASSERT_EQ(s.Count(), 6);
    EXPECT_EQ(Xs(s), (std::vector<double>{0, 1, 2, 3, 4, 5}));
    for (double y : Ys(s)) EXPECT_GE(y, 0);
  }
  TLineSeries none;
  AddSampleValues(none, 0, false);
  EXPECT_EQ(none.Count(), 0);

  // A mandatory list with an order is sorted, and X renumbered.
  TChartSeries s;
  s.YValues().SetOrder(loDescending);
  s.XValues().SetOrder(loNone);
  for (double y : {2.0, 9.0, 5.0}) s.Add(y);
  CheckOrder(s);
  EXPECT_EQ(Ys(s), (std::vector<double>{9, 5, 2}));
  EXPECT_EQ(Xs(s), (std::vector<double>{0, 1, 2}));

  TChartSeries sampled;
  sampled.SampleCount = 7;
  sampled.StoredData = true;
  FillSampleValues(sampled, 0);
  EXPECT_EQ(sampled.Count(), 7);
  EXPECT_FALSE(sampled.StoredData);
}

TEST_F(SeriesSourceFixture, AGalleryPictureHasFourPointsInThePaletteOrSilverWhenDisabled) {
  TLineSeries& first = chart.AddSeries(std::make_unique<TLineSeries>());
  TLineSeries& second = chart.AddSeries(std::make_unique<TLineSeries>());
  PrepareForGallery(first, true);
  PrepareForGallery(second, true);
  EXPECT_EQ(first.Count(), 4);
  EXPECT_FALSE(first.Marks().Visible());
  EXPECT_EQ(first.Marks().DrawEvery(), 2);
  EXPECT_EQ(first.Marks().Font().Size(), 7);
  EXPECT_EQ(first.Marks().ArrowLength(), 4);
  EXPECT_TRUE(first.ColorEachPoint());
  EXPECT_EQ(first.SeriesColor(), chart.GetDefaultColor(0));
  EXPECT_EQ(second.SeriesColor(), chart.GetDefaultColor(3));
  PrepareForGallery(second, false);
  EXPECT_EQ(second.SeriesColor(), clSilver);
}

TEST_F(SeriesSourceFixture, TheChartsSeriesStreamAsChildrenWithTheirSourcesAndCustomAxes) {
  TChartAxis& axis = chart.AddCustomAxis(false);
  source.Name = "Measured";
  source.AddXY(1, 10);
  source.AddXY(2, 20);
  source.StoredData = true;
  fed.Name = "Copy";
  Join(source);
  Join(fed);
  SetDataSource(fed, &source);
  fed.SetCustomVertAxis(&axis);
  TStreamedProperties block;
  chart.WriteProperties(block);
  WriteChartSeries(chart, block);
  // One source is carried by "DataSource" alone.
  const auto& items = PropertyCollection(block, "Series");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(PropertyString(items[1], "DataSource", ""), "Measured");
  EXPECT_EQ(FindProperty(items[1], "DataSources"), nullptr);
  EXPECT_EQ(FindProperty(items[1], "Data"), nullptr);  // its points come from its source

  TChart read;
  read.ReadProperties(PropertiesFromBytes(PropertiesToBytes(block)));
  const auto series = ReadChartSeries(read, block);
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(Ys(*series[0]), (std::vector<double>{10, 20}));
  ASSERT_EQ(series[1]->DataSources().size(), 1u);
  EXPECT_EQ(series[1]->DataSources().front(), series[0]);
  EXPECT_EQ(Ys(*series[1]), (std::vector<double>{10, 20}));
  ASSERT_EQ(read.AxesList().size(), 7u);
  EXPECT_EQ(series[1]->CustomVertAxis(), read.AxesList()[6]);
  read.RemoveAllSeries();
  chart.RemoveAllSeries();
}

TEST_F(SeriesSourceFixture, SeriesGroupsReadBackWithTheirSeriesOnceTheSeriesAreRead) {
  TLineSeries& wells = chart.AddSeries(std::make_unique<TLineSeries>());
  TLineSeries& faults = chart.AddSeries(std::make_unique<TLineSeries>());
  wells.Name = "Wells";
  faults.Name = "Faults";
  TSeriesGroup& both = chart.SeriesGroups().Add();
  both.Name = "Both";
  both.Series = {&wells, &faults};
  chart.SeriesGroups().Add().Series = {&faults};
  TStreamedProperties block;
  chart.WriteProperties(block);
  WriteChartSeries(chart, block);

  TChart read;
  read.ReadProperties(block);
  ASSERT_EQ(read.SeriesGroups().Count(), 2);  // named, their series still to come
  EXPECT_EQ(read.SeriesGroups()[0].Name, "Both");
  EXPECT_TRUE(read.SeriesGroups()[0].Series.empty());
  const auto series = ReadChartSeries(read, block);
  ASSERT_EQ(series.size(), 2u);
  ASSERT_EQ(read.SeriesGroups().Count(), 2);
  EXPECT_EQ(read.SeriesGroups()[0].Series, (std::vector<TChartSeries*>{series[0], series[1]}));
  EXPECT_EQ(read.SeriesGroups()[1].Name, "Group2");
  EXPECT_EQ(read.SeriesGroups()[1].Series, std::vector<TChartSeries*>{series[1]});

  // A series that leaves the chart leaves its groups.
  read.RemoveSeries(*series[1]);
  EXPECT_EQ(read.SeriesGroups()[0].Series, std::vector<TChartSeries*>{series[0]});
  EXPECT_TRUE(read.SeriesGroups()[1].Series.empty());
  read.RemoveAllSeries();

  // A group naming a series the chart does not have refuses the series, groups kept.
  TStreamedProperties group;
  AddString(group, "Name", "Lost");
  AddStrings(group, "Series", {"Nowhere"});
  TStreamedProperties damaged;
  AddCollection(damaged, "SeriesGroups", {group});
  TChart other;
  other.SeriesGroups().Add().Name = "Kept";
  EXPECT_THROW(ReadChartSeries(other, damaged), EChartStreamError);
  ASSERT_EQ(other.SeriesGroups().Count(), 1);
  EXPECT_EQ(other.SeriesGroups()[0].Name, "Kept");
  chart.RemoveAllSeries();
}

TEST_F(SeriesSourceFixture, TwoSourcesAreWrittenAsDataSourcesAndAnUnknownOneRefusesTheSeries) {
  Join(source);
  TLineSeries& other = chart.AddSeries(std::make_unique<TLineSeries>());
  Join(fed);
  source.Name = "A";
  other.Name = "B";
  fed.Name = "Sum";
  AddDataSource(fed, source, false);
  AddDataSource(fed, other, false);
  TStreamedProperties block;
  WriteChartSeries(chart, block);
  const auto& items = PropertyCollection(block, "Series");
  EXPECT_EQ(PropertyStrings(items[2], "DataSources", {}), (std::vector<std::string>{"A", "B"}));

  TStreamedProperties unknown;
  TStreamedProperties item;
  AddIdent(item, "ClassName", "TLineSeries");
  AddString(item, "DataSource", "Nowhere");
  AddCollection(unknown, "Series", {item});
  TChart read;
  EXPECT_THROW(ReadChartSeries(read, unknown), EChartStreamError);
  EXPECT_EQ(read.SeriesCount(), 0);
  chart.RemoveAllSeries();
}

TEST_F(SeriesSourceFixture, AChartBlockWrittenByAnIndependentGeneratorReadsIntoTheChartAndItsSeries) {
  const TGeneratedFixtures& fixtures = TGeneratedFixtures::Of("make_chart_properties.py");
  const TStreamedProperties block = PropertiesFromBytes(fixtures.Bytes("chart.bin"));
  chart.ReadProperties(block);
  EXPECT_EQ(chart.Chart3DPercent(), 30);
  EXPECT_FALSE(chart.AxisVisible());
  EXPECT_FALSE(chart.LeftAxis().Automatic());
  EXPECT_EQ(chart.LeftAxis().Minimum(), 20);
  EXPECT_EQ(chart.LeftAxis().Maximum(), 80);
  EXPECT_EQ(chart.LeftAxis().Title.Caption, "Depth");
  EXPECT_TRUE(chart.LeftAxis().LabelsExponent());
  ASSERT_EQ(chart.LeftAxis().Items.Count(), 2);
  EXPECT_FALSE(chart.LeftAxis().Items.Automatic());
  EXPECT_EQ(chart.LeftAxis().Items[0].Value(), 12.5);
  EXPECT_EQ(chart.LeftAxis().Items[0].Text(), "casing");
  EXPECT_EQ(chart.LeftAxis().Items[0].Font().Color(), clRed);
  EXPECT_EQ(chart.LeftAxis().Items[1].Value(), -3);
  EXPECT_EQ(chart.BottomAxis().Grid.Color(), clRed);
  ASSERT_EQ(chart.AxesList().size(), 7u);
  EXPECT_TRUE(chart.AxesList()[6]->OtherSide());
  EXPECT_EQ(chart.Pages().MaxPointsPerPage(), 7);
  EXPECT_EQ(chart.ColorPaletteIndex, 3);
  EXPECT_EQ(chart.BackWall().Color(), TColor{0xFFFF00});
  EXPECT_EQ(chart.Title.Text, (std::vector<std::string>{"Plan", "of the wells"}));
  EXPECT_EQ(chart.Legend.Alignment, laBottom);
  EXPECT_EQ(chart.LeftWall().Size(), 4);

  const auto series = ReadChartSeries(chart, block);
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(series[0]->Title(), "Wells");
  EXPECT_EQ(series[0]->VertAxis(), aRightAxis);
  EXPECT_EQ(Xs(*series[0]), (std::vector<double>{1, 3}));
  EXPECT_TRUE(series[0]->StoredData);
  ASSERT_NE(series[0]->Marks().ItemAt(1), nullptr);
  EXPECT_EQ(series[0]->Marks().ItemAt(1)->Text, (std::vector<std::string>{"a", "b"}));
  ASSERT_NE(series[0]->Marks().ItemAt(2), nullptr);
  EXPECT_EQ(series[0]->Marks().ItemAt(2)->Color(), clRed);
  EXPECT_EQ(series[0]->Marks().ItemAt(2)->Font().Color(), clBlue);
  EXPECT_EQ(series[0]->Cursor, -21);
  TSeriesMarks& marks = series[0]->Marks();
  EXPECT_EQ(marks.ArrowLength(), 12);
  EXPECT_EQ(marks.Arrow().Color(), clRed);
  ASSERT_NE(marks.CalloutIfAny(), nullptr);
  EXPECT_TRUE(marks.CalloutIfAny()->Visible());
  EXPECT_EQ(marks.CalloutIfAny()->ArrowHead, ahSolid);
  EXPECT_EQ(marks.CalloutIfAny()->Distance, 3);
  ASSERT_NE(marks.SymbolIfAny(), nullptr);
  EXPECT_TRUE(marks.SymbolIfAny()->Visible());
  EXPECT_EQ(marks.TextAlign, taRightJustify);
  EXPECT_EQ(marks.Color(), TColor{0x00FFFF});
  EXPECT_EQ(marks.Font().Height(), -20);
  ASSERT_EQ(chart.SeriesGroups().Count(), 2);
  EXPECT_EQ(chart.SeriesGroups()[0].Name, "Both");
  EXPECT_EQ(chart.SeriesGroups()[0].Series, (std::vector<TChartSeries*>{series[0], series[1]}));
  EXPECT_EQ(chart.SeriesGroups()[1].Name, "None");
  EXPECT_TRUE(chart.SeriesGroups()[1].Series.empty());
  EXPECT_EQ(Ys(*series[1]), (std::vector<double>{10, 30}));
  EXPECT_EQ(series[1]->CustomVertAxis(), chart.AxesList()[6]);
  chart.RemoveAllSeries();
}

TEST_F(SeriesSourceFixture, DamagedChartBlocksAreRefusedAndTheChartKept) {
  const TGeneratedFixtures& fixtures = TGeneratedFixtures::Of("make_chart_properties.py");
  for (const char* name : {"long_string.bin", "unknown_type.bin", "deep_nesting.bin"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(PropertiesFromBytes(fixtures.Bytes(name)), EChartStreamError);
  }
  TStreamedProperties before;
  chart.WriteProperties(before);
  EXPECT_THROW(chart.ReadProperties(PropertiesFromBytes(fixtures.Bytes("wrong_type.bin"))), EChartStreamError);
  EXPECT_EQ(ThrownMessage<AxisException>(
                [&] { chart.ReadProperties(PropertiesFromBytes(fixtures.Bytes("negative_increment.bin"))); }),
            "Axis increment must be >= 0");
  TStreamedProperties after;
  chart.WriteProperties(after);
  EXPECT_EQ(PropertiesToBytes(after), PropertiesToBytes(before));
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <memory>

#include "chart/engine/ChartLegend.h"
#include "chart/engine/LineSeries.h"
#include "platform/Rounding.h"
#include "support/TestApplication.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

struct ApplicationFirst {
  ApplicationFirst() { EnsureTestApplication(); }
};

// The chart component's legend step, on an axis panel.
class LegendChart : public TCustomAxisPanel {
 public:
  LegendChart() : legend(this) {}
  TChartLegend legend;
  TRect rectBefore, rectAfter;

 protected:
  void PaintTitlesAndLegend(bool beforeSeries) override {
    if (!beforeSeries) return;
    rectBefore = ChartRect();
    if (legend.ShouldDraw()) legend.Draw();
    rectAfter = ChartRect();
  }
};

struct LegendFixture : ::testing::Test, ApplicationFirst {
  void SetUp() override {
    chart.SetView3D(false);
    chart.resize(400, 300);
    chart.SetColor(clWhite);
    chart.Border().Hide();
    chart.SetBevelOuter(bvNone);
    chart.Shadow().SetVisible(false);
    chart.legend.Shadow().SetVisible(false);
  }
  // Hands the series, with its points and colour, to the chart, which owns it then.
  template <class Series>
  Series& AddSeries(std::unique_ptr<Series> s, int32_t points, TColor colour) {
    for (int32_t i = 0; i < points; ++i) s->AddXY(i, i * 10);
    s->SetSeriesColor(colour);
    return chart.AddSeries(std::move(s));
  }
  std::unique_ptr<TBitmap> Render() { return chart.CreateChartBitmap(clWhite, {0, 0, 400, 300}); }
  LegendChart chart;
};

TEST_F(LegendFixture, AutomaticStyleListsValuesOfOneSeriesAndSeriesOfMany) {
  AddSeries(std::make_unique<TChartSeries>(), 3, clRed);
  EXPECT_EQ(chart.legend.ResolvedStyle(), lsValues);
  chart.legend.CheckBoxes = true;
  EXPECT_EQ(chart.legend.ResolvedStyle(), lsSeries);
  chart.legend.CheckBoxes = false;
  AddSeries(std::make_unique<TChartSeries>(), 3, clBlue);
  EXPECT_EQ(chart.legend.ResolvedStyle(), lsSeries);
}

TEST_F(LegendFixture, ARightLegendStandsRightOfTheShrunkChartWithItsSymbolsInSeriesColours) {
  auto aOwner = std::make_unique<TChartSeries>();
  TChartSeries& a = *aOwner;
  auto bOwner = std::make_unique<TChartSeries>();
  TChartSeries& b = *bOwner;
  a.SetTitle("Alpha");
  b.SetTitle("Beta");
  AddSeries(std::move(aOwner), 3, clRed);
  AddSeries(std::move(bOwner), 3, clBlue);
  const auto picture = Render();
  const TRect box = chart.legend.ShapeBounds;
  EXPECT_EQ(chart.legend.ItemCount(), 2);
  EXPECT_EQ(box.Right, chart.rectBefore.Right - chart.legend.Pen().Width() - 1);
  EXPECT_LT(chart.rectAfter.Right, box.Left);
  EXPECT_EQ(chart.rectAfter.Right, box.Left - RoundToInt(3 * (chart.rectBefore.Right - chart.rectBefore.Left) * 0.01));
  const TRect red = chart.legend.Items(0).SymbolRect, blue = chart.legend.Items(1).SymbolRect;
  EXPECT_EQ(picture->Pixel((red.Left + red.Right) / 2, (red.Top + red.Bottom) / 2), clRed);
  EXPECT_EQ(picture->Pixel((blue.Left + blue.Right) / 2, (blue.Top + blue.Bottom) / 2), clBlue);
  EXPECT_EQ(blue.Top - red.Top, chart.legend.LineHeight());
  EXPECT_EQ(chart.legend.Items(1).Text(), "Beta");
  // Clicks find the line; Inverted turns the order round.
  EXPECT_EQ(chart.legend.Clicked(box.Left + 5, red.Top + 1), 0);
  EXPECT_EQ(chart.legend.Clicked(box.Left + 5, blue.Top + 1), 1);
  EXPECT_EQ(chart.legend.Clicked(box.Left - 5, blue.Top + 1), -1);
  chart.legend.Inverted = true;
  Render();
  EXPECT_EQ(chart.legend.Clicked(box.Left + 5, red.Top + 1), 1);
}

// A series whose legend lists its points last first, the first line in lime.
class TReversedLegendSeries : public TChartSeries {
 public:
  int32_t LegendToValueIndex(int32_t index) const override { return Count() - 1 - index; }
  TColor LegendItemColor(int32_t index) const override { return index == 0 ? clLime : clBlue; }
};

TEST_F(LegendFixture, ValueLinesTakeTheirPointAndSymbolColourFromTheSeries) {
  TReversedLegendSeries& a = AddSeries(std::make_unique<TReversedLegendSeries>(), 3, clRed);
  const auto picture = Render();
  ASSERT_EQ(chart.legend.ItemCount(), 3);
  struct Line {
    int32_t item;
    const char* text;
    TColor symbol;
  };
  for (const Line l : {Line{0, "20", clLime}, Line{1, "10", clBlue}, Line{2, "0", clBlue}}) {
    EXPECT_EQ(chart.legend.Items(l.item).Text(), l.text) << l.item;
    const TRect r = chart.legend.Items(l.item).SymbolRect;
    EXPECT_EQ(picture->Pixel((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), l.symbol) << l.item;
  }
}

TEST(ChartGradientDefaults, TheLegendAndTheMarksGradientsRunFromSilverAtTheRightToWhite) {
  EnsureTestApplication();
  TChartLegend legend(nullptr);
  TChartSeries series;
  for (TChartGradient* g : {&legend.Gradient(), &series.Marks().Gradient()}) {
    EXPECT_EQ(g->Direction(), gdRightLeft);
    EXPECT_EQ(g->StartColor(), clSilver);
    EXPECT_EQ(g->EndColor(), clWhite);
    EXPECT_FALSE(g->Visible());
  }
}

TEST_F(LegendFixture, TheColumnSeparatorSplitsATextIntoTwoColumns) {
  TChartSeries& a = AddSeries(std::make_unique<TChartSeries>(), 2, clRed);
  a.SetLabel(0, "first");
  Render();
  EXPECT_EQ(chart.legend.Items(0).Text(), "0");
  EXPECT_EQ(chart.legend.Items(0).Text2(), "first");
  EXPECT_EQ(chart.legend.Items(0).Align, TA_RIGHT);
}

TEST_F(LegendFixture, AnItemTextSetByTheUserSurvivesTheNextDraw) {
  TChartSeries& a = AddSeries(std::make_unique<TChartSeries>(), 2, clRed);
  Render();
  ASSERT_EQ(chart.legend.Items(1).Text(), "10");
  chart.legend.Items(0).SetText("mine");
  chart.legend.Items(1).SetText2("second column");
  Render();
  EXPECT_EQ(chart.legend.Items(0).Text(), "mine");
  EXPECT_EQ(chart.legend.Items(1).Text(), "10");
  EXPECT_EQ(chart.legend.Items(1).Text2(), "second column");
}

TEST_F(LegendFixture, ANegativeFirstValueIsRefusedAndNotStored) {
  chart.legend.SetFirstValue(0);
  EXPECT_EQ(ThrownMessage<LegendException>([&] { chart.legend.SetFirstValue(-1); }),
            "First Legend Value must be > 0");
  EXPECT_EQ(chart.legend.FirstValue(), 0);
}

TEST_F(LegendFixture, CheckBoxesToggleOrSelectSeries) {
  TChartSeries& a = AddSeries(std::make_unique<TChartSeries>(), 1, clRed);
  TChartSeries& b = AddSeries(std::make_unique<TChartSeries>(), 1, clBlue);
  TChartSeries& c = AddSeries(std::make_unique<TChartSeries>(), 1, clLime);
  chart.legend.CheckBoxes = true;
  Render();
  EXPECT_TRUE(chart.legend.DoCheck(1));
  EXPECT_FALSE(b.Active());
  chart.legend.SetCheckBoxesStyle(cbsRadio);
  EXPECT_TRUE(chart.legend.DoCheck(2));
  EXPECT_FALSE(a.Active());
  EXPECT_TRUE(c.Active());
  EXPECT_FALSE(chart.legend.DoCheck(-1));
}

// Degenerate layouts give defined results: no division by zero, nothing listed
// beyond the rows.
struct DegenerateLayout {
  const char* name;
  TLegendAlignment alignment;
  int32_t vertSpacing;
  int32_t maxNumRows;
};

TEST_F(LegendFixture, DegenerateLayoutsStayDefined) {
  const DegenerateLayout cases[] = {
      {"negative spacing leaves a one-pixel line", laRight, -100, 10},
      {"no rows allowed in a horizontal legend", laBottom, 0, 0},
      {"items wider than the chart take one column", laTop, 0, 10},
  };
  TChartSeries& a = AddSeries(std::make_unique<TChartSeries>(), 4, clRed);
  a.SetLabel(0, std::string(300, 'W'));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chart.legend.Alignment = c.alignment;
    chart.legend.VertSpacing = c.vertSpacing;
    chart.legend.MaxNumRows = c.maxNumRows;
    Render();
    EXPECT_GE(chart.legend.LineHeight(), 1);
    EXPECT_GE(chart.legend.Columns(), 1);
    EXPECT_LE(chart.legend.LastValue() - chart.legend.FirstValue() + 1,
              chart.legend.Rows() * chart.legend.Columns());
    const TRect box = chart.legend.ShapeBounds;
    const int32_t hit = chart.legend.Clicked(box.Left + 2, box.Bottom - 2);
    EXPECT_GE(hit, -1);
    EXPECT_LE(hit, 3);
  }
}

TEST_F(LegendFixture, APagePastTheEndAfterTheDataShrankListsTheLastPage) {
  TChartSeries& a = AddSeries(std::make_unique<TChartSeries>(), 10, clRed);
  chart.Pages().SetMaxPointsPerPage(4);
  chart.Pages().SetCurrent(3);
  ASSERT_EQ(chart.Pages().Current(), 3);
  a.DeleteRange(5, 5);
  ASSERT_EQ(a.Count(), 5);
  ASSERT_EQ(chart.Pages().MaxPointsPerPage(), 4);
  Render();
  EXPECT_EQ(chart.legend.FirstValue(), 4);
  EXPECT_EQ(chart.legend.ItemCount(), 1);
  EXPECT_EQ(chart.legend.Items(0).Text(), "40");
}

// A line series' legend symbol, drawn on the canvas the series prepares: its own
// pen or the legend's, its brush style over the legend's colour.
struct SymbolCase {
  const char* name;
  bool area, hollow, view3D, legendPen;
  TColor centre;  // at the middle of the symbol, off its middle row
  TColor frame;   // at the symbol's left edge
};

TEST_F(LegendFixture, ALineSeriesSymbolIsDrawnWithThePenAndBrushItsSeriesPrepares) {
  const SymbolCase cases[] = {
      {"an area fills its rectangle inside its own pen", true, false, false, false, clRed, clBlack},
      {"the legend's own pen frames an area", true, false, false, true, clRed, clLime},
      {"a hollow area shows the legend's colour inside its frame", true, true, false, false, clWhite, clBlack},
      {"a 2D line is a line through the middle", false, false, false, false, clWhite, clRed},
      {"a 3D line fills the rectangle", false, false, true, false, clRed, clBlack},
  };
  for (const SymbolCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto sOwner = std::make_unique<TLineSeries>();
    TLineSeries& s = *sOwner;
    s.DrawArea = c.area;
    if (c.hollow) s.SetLineBrush(bsClear);
    chart.SetView3D(c.view3D);
    chart.legend.Symbol.DefaultPen = !c.legendPen;
    chart.legend.Symbol.Pen.SetColor(clLime);
    AddSeries(std::move(sOwner), 2, clRed);
    const auto picture = Render();
    const TRect r = chart.legend.Items(0).SymbolRect;
    const int32_t midX = (r.Left + r.Right) / 2, midY = (r.Top + r.Bottom) / 2;
    EXPECT_EQ(picture->Pixel(midX, r.Top + 1), c.centre);
    EXPECT_EQ(picture->Pixel(r.Left, midY), c.frame);
    EXPECT_EQ(s.Brush().Style(), c.hollow ? bsClear : bsSolid);
    chart.RemoveSeries(s);
  }
}

TEST_F(LegendFixture, APointerFramedByTheLegendsOwnPenTakesAThirdOfTheSymbol) {
  auto sOwner = std::make_unique<TLineSeries>();
  TLineSeries& s = *sOwner;
  s.Pointer.SetVisible(true);
  s.Pointer.Pen().SetColor(clBlue);
  s.LinePen().Hide();
  AddSeries(std::move(sOwner), 1, clRed);
  auto pointerHeight = [&] {
    const auto picture = Render();
    const TRect r = chart.legend.Items(0).SymbolRect;
    const int32_t midX = (r.Left + r.Right) / 2;
    int32_t top = -1, bottom = -1;
    for (int32_t y = r.Top - 5; y < r.Bottom + 5; ++y)
      if (picture->Pixel(midX, y) == clBlue) {
        if (top < 0) top = y;
        bottom = y;
      }
    return std::pair{bottom - top + 1, r.Bottom - r.Top};
  };
  const auto [ownPen, height] = pointerHeight();
  EXPECT_EQ(ownPen, 2 * std::min(height / 2 + 1, 4) + 1);
  chart.legend.Symbol.DefaultPen = false;
  const auto [legendPen, sameHeight] = pointerHeight();
  EXPECT_EQ(legendPen, 2 * std::min(sameHeight / 3, 4) + 1);
  EXPECT_LT(legendPen, ownPen);
}

}  // namespace
}  // namespace qira

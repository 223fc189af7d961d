#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "ProjectTestSupport.h"
#include "model/Borehole.h"
#include "support/HeapPeak.h"
#include "support/ScopedMemoryProbe.h"
#include "ui/PlanForm.h"
#include "ui/ProjectFile.h"
#include "ViewTestSupport.h"

namespace qira {
namespace {

using view_testing::TViewWindowTest;

struct ScaleCase {
  const char* name;
  int32_t width, height;
  TPlanRanges given, expected;
};

class EqualScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(EqualScaleTest, WidensTheAxisWithMorePixelsPerUnit) {
  const ScaleCase& c = GetParam();
  const TPlanRanges r = EqualScaleRanges(c.width, c.height, c.given);
  EXPECT_NEAR(r.Bottom.Min, c.expected.Bottom.Min, 1e-9);
  EXPECT_NEAR(r.Bottom.Max, c.expected.Bottom.Max, 1e-9);
  EXPECT_NEAR(r.Left.Min, c.expected.Left.Min, 1e-9);
  EXPECT_NEAR(r.Left.Max, c.expected.Left.Max, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EqualScaleTest,
    ::testing::Values(
        ScaleCase{"WideRectangleWidensTheBottomAxis", 800, 400, {{0, 100}, {0, 100}}, {{-50, 150}, {0, 100}}},
        ScaleCase{"TallRectangleWidensTheLeftAxis", 400, 800, {{0, 100}, {0, 100}}, {{0, 100}, {-50, 150}}},
        ScaleCase{"EqualScalesKeepBothRanges", 400, 200, {{0, 100}, {0, 50}}, {{0, 100}, {0, 50}}},
        ScaleCase{"EmptyRangesStayEmpty", 300, 200, {{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
        ScaleCase{"ARectangleWithoutAreaChangesNothing", 0, 200, {{0, 10}, {0, 100}}, {{0, 10}, {0, 100}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlanLabels, TheLeftAxisIsLabelledAtTheBottomStepFromItsMinimum) {
  std::vector<double> labels;
  double value = 3;  // the left axis' minimum; its maximum is 97
  for (int32_t i = 0; NextPlanLabel(20, 3, i, value) && value <= 97; ++i) labels.push_back(value);
  EXPECT_EQ(labels, (std::vector<double>{20, 40, 60, 80}));
  value = 3;
  EXPECT_FALSE(NextPlanLabel(0, 3, 0, value));  // no step: the default labels
}

class PlanWindow : public TViewWindowTest {
 protected:
  // A new view of that many vertical boreholes, a metre apart.
  std::unique_ptr<TForm3D> WithBoreholes(int count) {
    std::unique_ptr<TForm3D> form = NewDocument();
    for (int i = 0; i < count; ++i) {
      auto hole = std::make_unique<TGraphBorehole>();
      hole->SetName("B" + std::to_string(i));
      hole->Points = {{static_cast<double>(i), 0, 0, 0, -1}, {static_cast<double>(i), 0, -100, 100, -1}};
      form->Root().AddChild(std::move(hole), false);
    }
    return form;
  }
  static void Settle() { QCoreApplication::processEvents(); }
  // Pixels per unit along both axes of the chart's last layout.
  static std::pair<double, double> Scales(const TPlanForm& plan) {
    const TRect r = plan.ChartRect();
    const TPlanRanges ranges = plan.Ranges();
    return {r.Width() / (ranges.Bottom.Max - ranges.Bottom.Min), r.Height() / (ranges.Left.Max - ranges.Left.Min)};
  }
};

TEST_F(PlanWindow, TheSceneMenuOpensPlansThatTheListKeepsAndTheViewFreesFirst) {
  std::unique_ptr<TForm3D> form = NewDocument();
  QAction* item = view_testing::ActionOf(*form->SceneMenu, "Horizontal plan");
  ASSERT_NE(item, nullptr);
  item->trigger();
  form->Createplan1Click();
  ASSERT_EQ(form->PlanForms.size(), 2u);
  EXPECT_EQ(form->PlanForms[0]->windowTitle().toStdString(), "Horizontal plan");
  QPointer<TPlanForm> first = form->PlanForms[0], second = form->PlanForms[1];
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  ASSERT_EQ(form->PlanForms.size(), 2u);  // the list only grows
  EXPECT_EQ(form->PlanForms[0], nullptr);
  EXPECT_EQ(form->PlanForms[1], second.data());
  form.reset();
  EXPECT_TRUE(second.isNull());
}

TEST_F(PlanWindow, ItsCloseHandlerAsksForTheWindowToBeDestroyed) {
  std::unique_ptr<TForm3D> form = NewDocument();
  form->Createplan1Click();
  TCloseAction action = TCloseAction::caHide;
  form->PlanForms[0]->FormClose(action);
  EXPECT_EQ(action, TCloseAction::caFree);
}

TEST_F(PlanWindow, TheResizeHandlerEqualisesTheScalesWithoutRunningPendingEvents) {
  std::unique_ptr<TForm3D> form = NewDocument();
  form->Createplan1Click();
  TPlanForm& plan = *form->PlanForms[0];
  for (const QSize size : {QSize(700, 300), QSize(300, 700)}) {
    plan.resize(size);
    plan.SetRanges({{0, 100}, {0, 100}});
    bool ran = false;
    QTimer::singleShot(0, &plan, [&] { ran = true; });
    plan.ChartResize();
    EXPECT_FALSE(ran);  // the chart rectangle was computed, not waited for
    plan.CalcLayout();
    const auto [sx, sy] = Scales(plan);
    EXPECT_NEAR(sx / sy, 1, 0.02) << size.width() << "x" << size.height();
    Settle();
  }
}

TEST_F(PlanWindow, AZoomInKeepsTheMiddleThirdThenEqualisesTheScales) {
  std::unique_ptr<TForm3D> form = NewDocument();
  form->Createplan1Click();
  TPlanForm& plan = *form->PlanForms[0];
  plan.resize(500, 400);
  Settle();
  plan.SetRanges({{0, 90}, {0, 90}});
  plan.SpeedButton1->click();
  // A wide chart has fewer pixels per unit on the left axis: it keeps 30..60, and the
  // bottom axis widens about its centre until the scales are equal.
  TPlanRanges r = plan.Ranges();
  EXPECT_NEAR(r.Left.Min, 30, 1e-3);
  EXPECT_NEAR(r.Left.Max, 60, 1e-3);
  EXPECT_NEAR((r.Bottom.Min + r.Bottom.Max) / 2, 45, 1e-3);
  EXPECT_GT(r.Bottom.Max - r.Bottom.Min, 30);
  const auto [sx, sy] = Scales(plan);
  EXPECT_NEAR(sx / sy, 1, 1e-9);
  plan.SpeedButton2->click();
  r = plan.Ranges();
  EXPECT_NEAR(r.Left.Max - r.Left.Min, 45, 1e-3);
}

TEST_F(PlanWindow, TheExampleShowsBothCollarsWhereTheirCoordinatesPutThemAtEqualScales) {
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, project_testing::BundledExamplePath()));
  ASSERT_NE(form, nullptr);
  view_testing::ActionOf(*form->SceneMenu, "Horizontal plan")->trigger();
  ASSERT_EQ(form->PlanForms.size(), 1u);
  TPlanForm& plan = *form->PlanForms[0];
  plan.resize(600, 450);
  Settle();
  plan.CalcLayout();
  const auto [sx, sy] = Scales(plan);
  EXPECT_NEAR(sx / sy, 1, 0.02);

  const TPlanData data = CollectPlanData(form->Root());
  ASSERT_EQ(data.Boreholes.size(), 2u);
  ASSERT_EQ(data.Sections.size(), 2u);
  const TRect r = plan.ChartRect();
  const TPlanRanges ranges = plan.Ranges();
  for (const TPlanBorehole& hole : data.Boreholes) {
    SCOPED_TRACE(hole.Name);
    // East along the bottom axis, north up the left one, at the bottom axis' scale.
    const int32_t x = static_cast<int32_t>(std::lround(r.Left + (hole.Collar.Y - ranges.Bottom.Min) * sx));
    const int32_t y = static_cast<int32_t>(std::lround(r.Bottom - (hole.Collar.X - ranges.Left.Min) * sx));
    const TColor colour = plan.BoreholeColor(hole.Name);
    ASSERT_NE(colour, clNone);
    int found = 0;
    for (int32_t dy = -2; dy <= 2; ++dy)
      for (int32_t dx = -2; dx <= 2; ++dx) found += plan.ChartPixel(x + dx, y + dy) == colour;
    EXPECT_GE(found, 4) << "at " << x << "," << y;
  }
}

TEST_F(PlanWindow, APlanTakesTheViewsObjectsAgainWhenTheyChange) {
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, project_testing::BundledExamplePath()));
  ASSERT_NE(form, nullptr);
  form->Createplan1Click();
  TPlanForm& plan = *form->PlanForms[0];
  ASSERT_NE(plan.BoreholeColor("BH2"), clNone);
  TGraphMain& boreholes = *form->Root().GetChild(0);
  ASSERT_EQ(boreholes.ChildCount(), 2);
  boreholes.RemoveChild(1);
  form->SetModified(true);
  Settle();
  EXPECT_EQ(plan.BoreholeColor("BH2"), clNone);
  EXPECT_NE(plan.BoreholeColor("BH1"), clNone);
}

// A paint finds whether a series marks a collar at once: four times the boreholes take
// four times the looks of a paint, not sixteen.
TEST_F(PlanWindow, APaintFindsEachCollarAtOnceHoweverManyThePlanHolds) {
  const auto steps = [this](int boreholes) -> int64_t {
    std::unique_ptr<TForm3D> form = WithBoreholes(boreholes);
    const int64_t before = PlanCollarStepsForTesting();
    form->Createplan1Click();
    Settle();  // its first paint
    return PlanCollarStepsForTesting() - before;
  };
  const int64_t few = steps(250);
  ASSERT_GE(few, 250);
  EXPECT_LE(steps(1000), 5 * few);
}

// The plan's count against what it takes, its first paint included, on the heap; a
// plan that does not fit is refused with nothing shown: by the count, and as its lines
// are built when the memory runs out meanwhile (a count that fell short).
TEST_F(PlanWindow, APlanIsCountedAsItTakesTheMemoryAndOneThatDoesNotFitIsRefused) {
#if defined(QIRA_HEAP_HOOKS)
  for (int boreholes : {500, 2000}) {
    std::unique_ptr<TForm3D> form = WithBoreholes(boreholes);
    test::THeapPeak::Start();
    form->Createplan1Click();
    ASSERT_EQ(form->PlanForms.size(), 1u);
    TPlanForm& plan = *form->PlanForms[0];
    plan.FrameWidget()->repaint();
    const int64_t peak = test::THeapPeak::Stop();
    const QSize size = plan.FrameWidget()->size();
    const int64_t counted = PlanMemoryNeeded(CollectPlanData(form->Root()), size.width(), size.height());
    EXPECT_GE(counted, peak) << boreholes << " boreholes";
    EXPECT_LE(counted, 2 * peak) << boreholes << " boreholes";
  }
#endif
  std::unique_ptr<TForm3D> form = WithBoreholes(2000);
  const int64_t needed = PlanMemoryNeeded(CollectPlanData(form->Root()), 551, 443);
  const struct {
    const char* what;
    std::function<int64_t(int call)> room;
    std::string told;  // the start of the refusal
  } rows[] = {
      {"by the count", [&](int) { return needed - 1; },
       PlanMemoryText(2000, needed, needed - 1)},
      {"as it is built", [&](int call) { return call < 2 ? needed + (int64_t{1} << 20) : int64_t{1} << 20; },
       "The horizontal plan of 2000 boreholes is too large to be shown: it needs "},
  };
  for (const auto& row : rows) {
    services_.Messages.clear();
    int calls = 0;
    {
      const TScopedMemoryProbe probe([&] { return row.room(calls++); });
      form->Createplan1Click();
    }
    EXPECT_TRUE(form->PlanForms.empty()) << row.what;
    for (QWidget* widget : QApplication::allWidgets()) EXPECT_EQ(dynamic_cast<TPlanForm*>(widget), nullptr) << row.what;
    ASSERT_EQ(services_.Messages.size(), 1u) << row.what;
    EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error) << row.what;
    EXPECT_EQ(services_.Messages[0].Text.rfind(row.told, 0), 0u) << row.what << ": " << services_.Messages[0].Text;
  }
  EXPECT_EQ(PlanMemoryText(2000, needed, needed - 1),
            "The horizontal plan of 2000 boreholes is too large to be shown: it needs " +
                std::to_string((needed + (1 << 20) - 1) >> 20) + " MB of memory, more than the " +
                std::to_string((needed - 1) >> 20) + " MB available now.");
  // With the memory there, the plan is shown.
  form->Createplan1Click();
  EXPECT_EQ(form->PlanForms.size(), 1u);
}

}  // namespace
}  // namespace qira

// The distance table between two boreholes against hand-computed values, and the
// "Distances" dialog driven without a user.
#include "ui/DistanceDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "support/CommaDecimalLocale.h"
#include "support/QtTestEnvironment.h"
#include "ui/ViewWindow.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

// A vertical hole at (north, east) from elevation 0 down to `bottom`, starting at depth `top`.
std::unique_ptr<TGraphBorehole> Vertical(const std::string& name, double north, double east, double top,
                                         double bottom) {
  auto b = std::make_unique<TGraphBorehole>();
  b->SetName(name);
  b->Points = {{north, east, -top, top, -1}, {north, east, -bottom, bottom, -1}};
  return b;
}

std::vector<std::string> Column(const std::vector<TDistanceRow>& rows, int column) {
  std::vector<std::string> out;
  for (const TDistanceRow& r : rows) out.push_back(column == 0 ? r.Depth1 : column == 1 ? r.Depth2 : r.Distance);
  return out;
}

std::vector<std::string> Column(const QTreeWidget& table, int column) {
  std::vector<std::string> out;
  for (int i = 0; i < table.topLevelItemCount(); ++i)
    out.push_back(table.topLevelItem(i)->text(column).toStdString());
  return out;
}

// ---- The table --------------------------------------------------------------------------

TEST(DistanceTable, IdenticalHolesWithoutShiftAreZeroApartInEveryRow) {
  auto a = Vertical("A", 0, 0, 0, 600);
  auto b = Vertical("B", 0, 0, 0, 600);
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, *b, 0, 200);
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"0.0", "200.0", "400.0", "600.0"}));
  EXPECT_EQ(Column(rows, 1), Column(rows, 0));
  EXPECT_EQ(Column(rows, 2), (std::vector<std::string>{"0.0", "0.0", "0.0", "0.0"}));
  EXPECT_EQ(CalculateDistanceTable(*a, *a, 0, 200).size(), 4u);
}

TEST(DistanceTable, RowsStopAtTheLastStepAboveTheBottom) {
  auto a = Vertical("A", 0, 0, 10, 500);
  auto b = Vertical("B", 30, 40, 0, 1000);
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, *b, 0, 200);
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"10.0", "210.0", "410.0"}));
  EXPECT_EQ(Column(rows, 2), (std::vector<std::string>{"50.0", "50.0", "50.0"}));
}

// B lies 30 north and 40 east of A; a shift of -100 looks 100 m above B's collar,
// where B's first segment is extrapolated: sqrt(30² + 40² + 100²) = 111.80.
TEST(DistanceTable, AShiftAboveTheSecondHolesTopShowsADashButStillADistance) {
  auto a = Vertical("A", 0, 0, 0, 300);
  auto b = Vertical("B", 30, 40, 0, 300);
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, *b, -100, 100);
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"0.0", "100.0", "200.0", "300.0"}));
  EXPECT_EQ(Column(rows, 1), (std::vector<std::string>{"-", "0.0", "100.0", "200.0"}));
  EXPECT_EQ(Column(rows, 2), (std::vector<std::string>{"111.8", "111.8", "111.8", "111.8"}));
  // A shift below B's bottom: the last segment extrapolated.
  const std::vector<TDistanceRow> below = CalculateDistanceTable(*a, *b, 250, 100);
  EXPECT_EQ(Column(below, 1), (std::vector<std::string>{"250.0", "-", "-", "-"}));
  EXPECT_EQ(below[0].Distance, "255.0");  // sqrt(50² + 250²) = 254.95
}

TEST(DistanceTable, AStepOfZeroEndsAfterTheFirstRow) {
  auto a = Vertical("A", 0, 0, 0, 300);
  auto b = Vertical("B", 3, 4, 0, 300);
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, *b, 0, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Distance, "5.0");
}

TEST(DistanceTable, ALongHoleAtStepOneIsCutAtTheRowLimit) {
  auto a = Vertical("A", 0, 0, 0, 1e9);
  EXPECT_EQ(CalculateDistanceTable(*a, *a, 0, 1).size(), static_cast<size_t>(MaxDistanceRows));
}

TEST(DistanceTable, NumbersKeepTheirPointUnderADecimalCommaLocale) {
  TCommaDecimalLocale comma;
  auto a = Vertical("A", 0, 0, 1.5, 2);
  auto b = Vertical("B", 0, 0.5, 0, 2);
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, *b, 0, 1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Depth1, "1.5");
  EXPECT_EQ(rows[0].Depth2, "1.5");
  EXPECT_EQ(rows[0].Distance, "0.5");
}

TEST(DistanceTable, AHoleWithoutPointsGivesNoRowsAndAHoleOfOneIsMeasuredFromItsStation) {
  TGraphBorehole empty;
  auto a = Vertical("A", 0, 0, 0, 100);
  EXPECT_TRUE(CalculateDistanceTable(empty, *a, 0, 10).empty());
  const std::vector<TDistanceRow> rows = CalculateDistanceTable(*a, empty, 0, 100);
  EXPECT_EQ(Column(rows, 1), (std::vector<std::string>{"-", "-"}));
  // One station 30 north and 40 east of A's collar: sqrt(30² + 40² + 100²) = 111.8 at 100.
  TGraphBorehole one;
  one.Points = {{30, 40, 0, 0, -1}};
  EXPECT_EQ(Column(CalculateDistanceTable(*a, one, 0, 100), 2), (std::vector<std::string>{"50.0", "111.8"}));
}

// ---- The dialog -------------------------------------------------------------------------

class DistanceDialog : public ::testing::Test {
 protected:
  DistanceDialog()
      : a_(Vertical("Nord", 0, 0, 0, 400)), b_(Vertical("Süd", 30, 40, 0, 400)), c_(Vertical("C", 0, 0, 0, 400)) {}
  std::vector<TGraphBorehole*> List() { return {a_.get(), b_.get(), c_.get()}; }
  std::unique_ptr<TGraphBorehole> a_, b_, c_;
};

TEST_F(DistanceDialog, StartListsTheHolesAndTabulatesTheFirstAgainstTheSecond) {
  TCanculateDistForm form;
  form.Start(List());
  EXPECT_EQ(form.windowTitle(), "Distances");
  ASSERT_EQ(form.FirstBox()->count(), 3);
  EXPECT_EQ(form.SecondBox()->itemText(1), "Süd");
  EXPECT_EQ(form.FirstBox()->currentIndex(), 0);
  EXPECT_EQ(form.SecondBox()->currentIndex(), 1);
  EXPECT_EQ(form.ShiftEdit()->text(), "0");
  EXPECT_EQ(form.StepEdit()->text(), "200");
  EXPECT_EQ(form.Table()->headerItem()->text(0), "Nord");
  EXPECT_EQ(form.Table()->headerItem()->text(1), "Süd");
  EXPECT_EQ(form.Table()->headerItem()->text(2), "Distance");
  EXPECT_EQ(Column(*form.Table(), 0), (std::vector<std::string>{"0.0", "200.0", "400.0"}));
  EXPECT_EQ(Column(*form.Table(), 2), (std::vector<std::string>{"50.0", "50.0", "50.0"}));
}

TEST_F(DistanceDialog, EveryChangeRecomputesTheTable) {
  TCanculateDistForm form;
  form.Start(List());
  form.StepEdit()->setText("100");
  EXPECT_EQ(form.Table()->topLevelItemCount(), 5);
  form.ShiftEdit()->UpClick();  // +10
  EXPECT_EQ(Column(*form.Table(), 1).front(), "10.0");
  EXPECT_EQ(Column(*form.Table(), 1).back(), "-");
  form.SecondBox()->setCurrentIndex(2);
  EXPECT_EQ(form.Table()->headerItem()->text(1), "C");
  EXPECT_EQ(Column(*form.Table(), 2).front(), "10.0");
  form.ShiftEdit()->DownClick();
  // The same hole in both lists is allowed.
  form.SecondBox()->setCurrentIndex(0);
  EXPECT_EQ(Column(*form.Table(), 2), (std::vector<std::string>(5, "0.0")));
  form.StepEdit()->setText("0");
  EXPECT_EQ(form.Table()->topLevelItemCount(), 1);
}

// The view's "Distance calculation" hands every borehole of the scene (and only
// calls with two or more).
TEST_F(DistanceDialog, TheViewsDistanceCommandOpensTheDialogOnTheBoreholes) {
  const TDistanceDialog previous = ViewWindowHooks().DistanceDialog;
  RegisterDistanceDialog();
  ASSERT_TRUE(ViewWindowHooks().DistanceDialog);
  TGraphMain root;
  root.AddChild(Vertical("A", 0, 0, 0, 100), false);
  root.AddChild(std::make_unique<TGraphMain>(), false);
  root.AddChild(Vertical("B", 6, 8, 0, 100), false);
  bool seen = false;
  std::vector<std::string> distances;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* form = dynamic_cast<TCanculateDistForm*>(w); form && form->isVisible()) {
        seen = true;
        distances = Column(*form->Table(), 2);
        form->CloseButton()->click();
      }
    }
  });
  ViewWindowHooks().DistanceDialog(nullptr, root.GetBoreholes());
  EXPECT_TRUE(seen);
  EXPECT_EQ(distances, (std::vector<std::string>{"10.0"}));
  ViewWindowHooks().DistanceDialog = previous;
}

}  // namespace
}  // namespace qira

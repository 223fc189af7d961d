// The point dialog and the point list editor, driven without a user: filled,
// clicked and read back; modal runs are answered from the event loop; point list
// files go through recorded file dialogs into a scratch folder.
#include "ui/CoordinateDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

#include "support/FakeServices.h"
#include "support/ScratchFolder.h"
#include "ui/PropertyDialogTestSupport.h"

namespace qira {
namespace {

using namespace dialog_testing;

// The three texts of a row.
std::vector<std::string> RowTexts(const TCoordsEditForm& form, int row) {
  const QTreeWidgetItem* item = form.ListView1->topLevelItem(row);
  return {item->text(0).toStdString(), item->text(1).toStdString(), item->text(2).toStdString()};
}

const std::vector<TSurveyPoint> kThree{{1, 2, 3}, {10, 20, 30}, {100, 200, 300}};

// ---- One point ----------------------------------------------------------------------

TEST(CoordDialog, ShowsTheValuesWithTwoDecimals) {
  TCoordDlgForm dialog;
  dialog.Start(6543210.126, -0.5, 12);
  EXPECT_EQ(dialog.windowTitle(), "Coordinates");
  EXPECT_EQ(dialog.Edit1->text(), "6543210.13");
  EXPECT_EQ(dialog.Edit2->text(), "-0.50");
  EXPECT_EQ(dialog.Edit3->text(), "12.00");
}

// The shared number check is wired: the first invalid value is told, focused and keeps
// the dialog open; fixed with either decimal separator, Ok hands the numbers back.
TEST(CoordDialog, TheFirstInvalidValueIsToldThenEitherDecimalSeparatorIsTaken) {
  TFakeServices fake;
  double n = 1, e = 2, z = 3;
  bool seen = false;
  TCoordDlgForm dialog;
  AnswerDialog<TCoordDlgForm>([&fake](TCoordDlgForm& d) {
    d.Edit2->setText("12a");
    d.Edit3->setText("");
    d.BitBtn1->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid value: 12a"}));
    EXPECT_EQ(fake.Messages.at(0).Kind, TMessageKind::Error);
    EXPECT_EQ(d.focusWidget(), d.Edit2);
    d.Edit2->setText("4");
    d.BitBtn1->click();
    EXPECT_EQ(fake.Texts().back(), "Invalid value: ");
    fake.Messages.clear();
    d.Edit1->setText("12,5");
    d.Edit2->setText(" -7.25 ");
    d.Edit3->setText("1e3");
    d.BitBtn1->click();
  }, &seen);
  EXPECT_TRUE(dialog.Execute(n, e, z));
  EXPECT_TRUE(seen);
  EXPECT_TRUE(fake.Messages.empty());
  EXPECT_EQ(n, 12.5);
  EXPECT_EQ(e, -7.25);
  EXPECT_EQ(z, 1000);
}

TEST(CoordDialog, CancelLeavesTheValues) {
  double n = 1, e = 2, z = 3;
  bool seen = false;
  TCoordDlgForm dialog;
  AnswerDialog<TCoordDlgForm>([](TCoordDlgForm& d) {
    d.Edit1->setText("99");
    d.BitBtn2->click();
  }, &seen);
  EXPECT_FALSE(dialog.Execute(n, e, z));
  EXPECT_TRUE(seen);
  EXPECT_EQ(n, 1);
}

// ---- Point list file ----------------------------------------------------------------

struct TLineCase {
  const char* Line;
  bool Gives;
  TSurveyPoint Point;
};

class PointListLine : public ::testing::TestWithParam<TLineCase> {};

TEST_P(PointListLine, GivesAPointOnlyForThreeLeadingNumbers) {
  TSurveyPoint point{-1, -1, -1};
  EXPECT_EQ(ParsePointLine(GetParam().Line, point), GetParam().Gives);
  if (GetParam().Gives) {
    EXPECT_EQ(point, GetParam().Point);
  } else {
    EXPECT_EQ(point, (TSurveyPoint{-1, -1, -1}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PointListLine,
    ::testing::Values(TLineCase{"1 2 3", true, {1, 2, 3}},
                      TLineCase{"  6543210.50\t  -12.25   300  ", true, {6543210.5, -12.25, 300}},
                      TLineCase{"1,5 2,25 -3,125", true, {1.5, 2.25, -3.125}},
                      TLineCase{"1 2 3 borehole A", true, {1, 2, 3}},
                      TLineCase{"1 2", false, {}},
                      TLineCase{"", false, {}},
                      TLineCase{"North East Elevation", false, {}},
                      TLineCase{"1 2 x3", false, {}},
                      TLineCase{"1 2 inf", false, {}},
                      TLineCase{"1;2;3", false, {}}));

TEST(PointListFile, IsWrittenAsThreeRightAlignedFieldsPerLine) {
  TScratchFolder folder;
  const std::string path = folder.File("points.dat");
  ASSERT_TRUE(WritePointListFile(path, {{1, 2.5, -3.126}, {1234567.891, -0.004, 0}}));
  EXPECT_EQ(folder.Get("points.dat"),
            "            1.00              2.50             -3.13\r\n"
            "      1234567.89              0.00              0.00\r\n");
}

TEST(PointListFile, ATextWithMixedEndingsAndCommentsKeepsItsPointsInOrder) {
  const std::string text = "Points of plane 7\r\n1 2 3\r\n4,5 5,5 6,5 # note\n7 8\r9 10 11";
  EXPECT_EQ(ParsePointList(text), (std::vector<TSurveyPoint>{{1, 2, 3}, {4.5, 5.5, 6.5}, {9, 10, 11}}));
}

TEST(PointListFile, AMissingFileCannotBeOpened) {
  TScratchFolder folder;
  std::vector<TSurveyPoint> points{{1, 1, 1}};
  std::string error;
  EXPECT_EQ(ReadPointListFile(folder.File("none.dat"), points, &error), TPointListRead::CannotOpen);
  EXPECT_TRUE(points.empty());
  EXPECT_FALSE(error.empty());
}

// ---- The list editor: buttons -------------------------------------------------------

struct TButtonCase {
  int Rows;
  int Selected;  // -1 none
  bool Up, Down, Delete, Edit;
};

class CoordsEditButtons : public ::testing::TestWithParam<TButtonCase> {};

TEST_P(CoordsEditButtons, FollowTheSelection) {
  const TButtonCase& c = GetParam();
  TCoordsEditForm form;
  form.Start(std::vector<TSurveyPoint>(static_cast<size_t>(c.Rows)));
  form.SelectRow(c.Selected);
  EXPECT_EQ(form.SelectedRow(), c.Selected);
  EXPECT_EQ(form.BitBtn1->isEnabled(), c.Up);
  EXPECT_EQ(form.BitBtn2->isEnabled(), c.Down);
  EXPECT_EQ(form.BitBtn4->isEnabled(), c.Delete);
  EXPECT_EQ(form.BitBtn5->isEnabled(), c.Edit);
}

INSTANTIATE_TEST_SUITE_P(Selections, CoordsEditButtons,
                         ::testing::Values(TButtonCase{0, -1, false, false, false, false},
                                           TButtonCase{3, -1, false, false, false, false},
                                           TButtonCase{1, 0, false, false, true, true},
                                           TButtonCase{3, 0, false, true, true, true},
                                           TButtonCase{3, 1, true, true, true, true},
                                           TButtonCase{3, 2, true, false, true, true}));

TEST(CoordsEdit, ShowsItsCaptionColumnsAndRowsWithTwoDecimals) {
  TCoordsEditForm form;
  form.Start({{6543210.126, -0.5, 12}});
  EXPECT_EQ(form.windowTitle(), "Edit coordinates");
  const QTreeWidgetItem* header = form.ListView1->headerItem();
  EXPECT_EQ(header->text(0), "Northing");
  EXPECT_EQ(header->text(1), "Easting");
  EXPECT_EQ(header->text(2), "Elevation");
  EXPECT_EQ(form.ListView1->columnWidth(1), 100);
  EXPECT_EQ(RowTexts(form, 0), (std::vector<std::string>{"6543210.13", "-0.50", "12.00"}));
}

TEST(CoordsEdit, UpAndDownExchangeWithTheNeighbourAndFollowTheMovedRow) {
  TCoordsEditForm form;
  form.Start(kThree);
  form.SelectRow(2);
  form.BitBtn1->click();
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{1, 2, 3}, {100, 200, 300}, {10, 20, 30}}));
  EXPECT_EQ(form.SelectedRow(), 1);
  EXPECT_EQ(RowTexts(form, 1)[0], "100.00");
  EXPECT_EQ(RowTexts(form, 2)[0], "10.00");
  form.BitBtn1->click();
  EXPECT_EQ(form.SelectedRow(), 0);
  EXPECT_FALSE(form.BitBtn1->isEnabled());
  form.BitBtn2->click();
  form.BitBtn2->click();
  EXPECT_EQ(form.SelectedRow(), 2);
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{1, 2, 3}, {10, 20, 30}, {100, 200, 300}}));
  EXPECT_FALSE(form.BitBtn2->isEnabled());
}

TEST(CoordsEdit, CreateOnAnEmptyListOffersTheOriginInThePointDialog) {
  TFakeServices fake;
  TCoordsEditForm form;
  form.EditPoint = EditPointWithDialog;
  form.Start({});
  bool seen = false;
  std::vector<std::string> offered;
  AnswerDialog<TCoordDlgForm>([&](TCoordDlgForm& d) {
    offered = {d.Edit1->text().toStdString(), d.Edit2->text().toStdString(), d.Edit3->text().toStdString()};
    d.Edit3->setText("-5,5");
    d.BitBtn1->click();
  }, &seen);
  form.BitBtn3->click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(offered, (std::vector<std::string>{"0.00", "0.00", "0.00"}));
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{0, 0, -5.5}}));
  EXPECT_EQ(form.SelectedRow(), 0);
}

TEST(CoordsEdit, CreateStartsFromTheSelectedOrFirstRowAndInsertsAfterTheSelection) {
  TCoordsEditForm form;
  form.Start(kThree);
  std::vector<TSurveyPoint> offered;
  bool answer = true;
  form.EditPoint = [&](QWidget*, TSurveyPoint& p) {
    offered.push_back(p);
    p.Z = -1;
    return answer;
  };
  form.SelectRow(1);
  form.CreateClick();
  EXPECT_EQ(form.Points().at(2), (TSurveyPoint{10, 20, -1}));
  EXPECT_EQ(form.SelectedRow(), 2);

  form.SelectRow(-1);
  form.CreateClick();
  EXPECT_EQ(form.Points().back(), (TSurveyPoint{1, 2, -1}));
  EXPECT_EQ(form.SelectedRow(), 4);
  EXPECT_EQ(offered, (std::vector<TSurveyPoint>{{10, 20, 30}, {1, 2, 3}}));

  answer = false;
  form.CreateClick();
  EXPECT_EQ(form.Points().size(), 5u);
  EXPECT_EQ(form.ListView1->topLevelItemCount(), 5);
}

TEST(CoordsEdit, CopyDuplicatesTheSelectedRowWithoutAsking) {
  TCoordsEditForm form;
  form.Start(kThree);
  int asked = 0;
  form.EditPoint = [&](QWidget*, TSurveyPoint&) { return ++asked, true; };
  form.CopyClick();  // nothing selected: nothing happens
  EXPECT_EQ(form.Points().size(), 3u);
  form.SelectRow(0);
  form.BitBtn10->click();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{1, 2, 3}, {1, 2, 3}, {10, 20, 30}, {100, 200, 300}}));
  EXPECT_EQ(form.SelectedRow(), 1);
  EXPECT_EQ(RowTexts(form, 1), RowTexts(form, 0));
}

TEST(CoordsEdit, DeleteRemovesTheSelectedRow) {
  TCoordsEditForm form;
  form.Start(kThree);
  form.SelectRow(1);
  form.BitBtn4->click();
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{1, 2, 3}, {100, 200, 300}}));
  EXPECT_EQ(form.ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(RowTexts(form, 1)[0], "100.00");
}

TEST(CoordsEdit, EditAndADoubleClickChangeTheSelectedPoint) {
  TCoordsEditForm form;
  form.Start(kThree);
  form.EditPoint = [](QWidget*, TSurveyPoint& p) {
    p.Y += 0.125;
    return true;
  };
  form.SelectRow(2);
  form.BitBtn5->click();
  EXPECT_EQ(form.Points().at(2), (TSurveyPoint{100, 200.125, 300}));
  EXPECT_EQ(RowTexts(form, 2)[1], "200.12");
  QTreeWidgetItem* row0 = form.ListView1->topLevelItem(0);
  form.SelectRow(0);
  Q_EMIT form.ListView1->itemDoubleClicked(row0, 0);
  EXPECT_EQ(form.Points().at(0), (TSurveyPoint{1, 2.125, 3}));

  form.EditPoint = [](QWidget*, TSurveyPoint& p) {
    p.X = 7;
    return false;
  };
  form.EditClick();
  EXPECT_EQ(form.Points().at(0).X, 1);
}

// ---- The list editor: files ---------------------------------------------------------

TEST(CoordsEdit, SaveWritesTheRowsAndOpenReadsThemBackRoundedToTwoDecimals) {
  TScratchFolder folder;
  TFakeServices fake;
  const std::string path = folder.File("list.dat");
  fake.FileAnswers = {path, path};
  TCoordsEditForm form;
  form.Start({{6543210.556, -12.344, 0.5}, {1, 2, 3}});
  form.BitBtn7->click();
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  EXPECT_TRUE(fake.FileCalls[0].Save);
  EXPECT_EQ(fake.FileCalls[0].Request.Filter, "Data files (*.dat)|*.dat|All files|*.*");
  EXPECT_EQ(fake.FileCalls[0].Request.DefaultExt, "dat");
  EXPECT_TRUE(fake.Messages.empty());

  form.Start({});
  form.BitBtn6->click();
  ASSERT_EQ(fake.FileCalls.size(), 2u);
  EXPECT_FALSE(fake.FileCalls[1].Save);
  EXPECT_EQ(fake.FileCalls[1].Request.Filter, "Data files (*.dat)|*.dat|All files|*.*");
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{6543210.56, -12.34, 0.5}, {1, 2, 3}}));
  EXPECT_EQ(RowTexts(form, 0), (std::vector<std::string>{"6543210.56", "-12.34", "0.50"}));
}

TEST(CoordsEdit, OpenReplacesEveryRowWithThePointsOfTheFile) {
  TScratchFolder folder;
  TFakeServices fake;
  folder.Put("commas.dat", "N E Z\r\n1,5 2,5 3,5 first\r\n4 5\r\n6 7 8\r\n");
  fake.FileAnswers = {folder.File("commas.dat")};
  TCoordsEditForm form;
  form.Start(kThree);
  form.SelectRow(2);
  form.OpenClick();
  EXPECT_TRUE(fake.Messages.empty());
  EXPECT_EQ(form.Points(), (std::vector<TSurveyPoint>{{1.5, 2.5, 3.5}, {6, 7, 8}}));
  EXPECT_EQ(form.ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(form.SelectedRow(), -1);
  EXPECT_FALSE(form.BitBtn4->isEnabled());
}

TEST(CoordsEdit, AFileWithoutUsableLinesIsToldAndTheRowsStay) {
  TScratchFolder folder;
  TFakeServices fake;
  folder.Put("empty.dat", "North East\r\n1 2\r\n\r\n");
  fake.FileAnswers = {folder.File("empty.dat")};
  TCoordsEditForm form;
  form.Start(kThree);
  form.OpenClick();
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"No data loaded"}));
  EXPECT_EQ(form.Points(), kThree);
}

TEST(CoordsEdit, AnUnreadableFileIsToldAndTheRowsStay) {
  TScratchFolder folder;
  TFakeServices fake;
  fake.FileAnswers = {folder.File("missing.dat")};
  TCoordsEditForm form;
  form.Start(kThree);
  form.OpenClick();
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text.rfind("Cannot open file \"" + folder.File("missing.dat") + "\". ", 0), 0u);
  EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(form.Points(), kThree);
}

TEST(CoordsEdit, AFailedSaveIsToldAndLeavesNoFile) {
  TScratchFolder folder;
  TFakeServices fake;
  const std::string path = folder.File("no-such-folder/list.dat");
  fake.FileAnswers = {path};
  TCoordsEditForm form;
  form.Start(kThree);
  form.SaveClick();
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text.rfind("Cannot create file \"" + path + "\". ", 0), 0u);
  EXPECT_TRUE(folder.Entries().empty());
}

// ---- The list editor: modal runs ----------------------------------------------------

TEST(CoordsEdit, OkHandsBackTheRowsAndCancelLeavesTheList) {
  std::vector<TSurveyPoint> points = kThree;
  bool seen = false;
  {
    TCoordsEditForm form;
    AnswerDialog<TCoordsEditForm>([](TCoordsEditForm& d) {
      d.SelectRow(0);
      d.DeleteClick();
      d.BitBtn9->click();
    }, &seen);
    EXPECT_FALSE(form.Execute(points));
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(points, kThree);

  seen = false;
  TCoordsEditForm form;
  AnswerDialog<TCoordsEditForm>([](TCoordsEditForm& d) {
    d.SelectRow(0);
    d.DownClick();
    d.BitBtn8->click();
  }, &seen);
  EXPECT_TRUE(form.Execute(points));
  EXPECT_TRUE(seen);
  EXPECT_EQ(points, (std::vector<TSurveyPoint>{{10, 20, 30}, {1, 2, 3}, {100, 200, 300}}));
}

}  // namespace
}  // namespace qira

// The collar and settings dialogs of the borehole, driven without a user: built,
// filled, clicked and read back; the modal runs answered from the event loop.
#include "ui/BoreholeDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <functional>
#include <memory>

#include "model/Settings.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/QtTestEnvironment.h"
#include "ui/PropertyDialogTestSupport.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

using dialog_testing::AnswerDialog;

// ---- Collar dialog ----------------------------------------------------------------------

TEST(CollarDialog, ShowsTheNameAndTheCollarWithTwoDecimals) {
  TBhCoordsDlgForm dialog;
  dialog.Start("BH 1", 1000.5, -2.125, 150);
  EXPECT_EQ(dialog.windowTitle(), "Borehole");
  EXPECT_EQ(dialog.NameEdit()->text(), "BH 1");
  EXPECT_EQ(dialog.NorthEdit()->text(), "1000.50");
  EXPECT_EQ(dialog.EastEdit()->text(), "-2.12");
  EXPECT_EQ(dialog.ElevationEdit()->text(), "150.00");
}

// The shared number check is wired: the first invalid field is told and keeps the
// dialog open; fixed with a decimal comma, the dialog accepts.
TEST(CollarDialog, TheFirstInvalidFieldIsToldThenADecimalCommaIsAccepted) {
  TFakeServices fake;
  TBhCoordsDlgForm dialog;
  dialog.Start("BH", 0, 0, 0);
  dialog.EastEdit()->setText("12a");
  dialog.ElevationEdit()->setText("");
  dialog.OkButton()->click();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid value: 12a"}));
  EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
  fake.Messages.clear();
  dialog.NameEdit()->setText("Neu");
  dialog.NorthEdit()->setText("12,5");
  dialog.EastEdit()->setText(" 7.25 ");
  dialog.ElevationEdit()->setText("0");
  dialog.OkButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(fake.Messages.empty());
  std::string name;
  double x = 0, y = 0, z = 1;
  dialog.Finish(name, x, y, z);
  EXPECT_EQ(name, "Neu");
  EXPECT_EQ(x, 12.5);
  EXPECT_EQ(y, 7.25);
  EXPECT_EQ(z, 0);
}

TEST(CollarDialog, CancelWritesNothingBack) {
  std::string name = "BH";
  double x = 1, y = 2, z = 3;
  bool seen = false;
  TBhCoordsDlgForm dialog;
  AnswerDialog<TBhCoordsDlgForm>([](TBhCoordsDlgForm& d) {
    d.NameEdit()->setText("Other");
    d.NorthEdit()->setText("9");
    d.CancelButton()->click();
  }, &seen);
  EXPECT_FALSE(dialog.Execute(name, x, y, z));
  EXPECT_TRUE(seen);
  EXPECT_EQ(name, "BH");
  EXPECT_EQ(x, 1);
}

// The "&Borehole" command's road: two file choices, then the collar dialog offering
// the inclination file's collar line.
TEST(CollarDialog, CreationOffersTheFilesCollarAndTakesTheAnswer) {
  RegisterBoreholeDialogs();
  const std::string savedPath = InclinationPath;
  TFakeServices fake;
  fake.FileAnswers = {TGeneratedFixtures::Of("make_boreholes.py").File("vertical.ink"), std::nullopt};
  bool seen = false;
  QString offeredNorth, offeredName;
  AnswerDialog<TBhCoordsDlgForm>([&](TBhCoordsDlgForm& d) {
    offeredName = d.NameEdit()->text();
    offeredNorth = d.NorthEdit()->text();
    d.NameEdit()->setText("Zwei");
    d.ElevationEdit()->setText("-4,5");
    d.OkButton()->click();
  }, &seen);
  std::unique_ptr<TGraphBorehole> b = TGraphBorehole::CreateFromFiles(nullptr);
  EXPECT_TRUE(seen);
  EXPECT_EQ(offeredName, "vertical");
  EXPECT_EQ(offeredNorth, "100.00");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Name(), "Zwei");
  EXPECT_EQ(b->Collar, (TSurveyPoint{100, 200, -4.5}));
  EXPECT_EQ(b->Points.back().Z, -34.5);
  InclinationPath = savedPath;
  SetBoreholeDialogs(nullptr, nullptr);
}

// ---- Colour box -------------------------------------------------------------------------

TEST(BoreholeColorBox, ListedColoursAreSelectedAndOthersShownAsCustom) {
  TBoreholeColorBox box;
  EXPECT_EQ(box.count(), 21);
  EXPECT_EQ(box.itemText(0), "Custom...");
  box.SetSelected(0x808080);
  EXPECT_EQ(box.currentText(), "Gray");
  box.SetSelected(0xF0CAA6);
  EXPECT_EQ(box.currentText(), "Sky Blue");
  box.SetSelected(0x123456);
  EXPECT_EQ(box.currentIndex(), 0);
  EXPECT_EQ(box.Selected(), 0x123456u);
}

TEST(BoreholeColorBox, CustomAsksForAColourAndCancelKeepsTheOldOne) {
  TBoreholeColorBox box;
  box.SetSelected(0x0000FF);
  std::optional<TColor> answer = 0x010203;
  TColor offered = 0;
  box.ChooseColor = [&](TColor initial, QWidget*) {
    offered = initial;
    return answer;
  };
  box.activated(0);
  EXPECT_EQ(offered, 0x0000FFu);
  EXPECT_EQ(box.Selected(), 0x010203u);
  answer.reset();
  box.activated(0);
  EXPECT_EQ(box.Selected(), 0x010203u);
  box.setCurrentIndex(3);
  box.activated(3);
  EXPECT_EQ(box.Selected(), 0x008000u);  // "Green"
}

// ---- Settings dialog --------------------------------------------------------------------

TEST(BoreholeSettingsDialog, ARadiusOf5ShowsADiameterOf10AndEntering3StoresRadius1Point5) {
  TGraphBoreholeForm form;
  TBoreholeSettings s;
  TTransparencyParams base{200, true};
  form.Start(s, base);
  EXPECT_EQ(form.DiameterEdit()->text(), "10.0");
  EXPECT_EQ(form.ScaleEdit()->text(), "1.0");
  EXPECT_TRUE(form.GeologyButton()->isChecked());
  EXPECT_FALSE(form.OneColorButton()->isChecked());
  EXPECT_EQ(form.PipeColorBox()->currentText(), "Gray");
  EXPECT_EQ(form.LabelColorBox()->currentText(), "White");
  EXPECT_EQ(form.TransparencyBar()->value(), 200);
  EXPECT_TRUE(form.TransparencyAcceptBox()->isChecked());
  EXPECT_FALSE(form.CollarBox()->isChecked());
  EXPECT_TRUE(form.EndOfHoleBox()->isChecked());

  form.DiameterEdit()->setText("3");
  TBoreholeSettings out;
  TTransparencyParams outBase;
  form.Finish(out, outBase);
  EXPECT_EQ(out.Radius, 1.5);
  EXPECT_EQ(outBase.Transparency, 200);
  EXPECT_TRUE(outBase.AcceptForAll);
}

TEST(BoreholeSettingsDialog, HiddenLabelsDisableTheirControlsButTheirValuesAreStillWritten) {
  TGraphBoreholeForm form;
  TBoreholeSettings s;
  s.ShowLabels = false;
  s.LabelColor = 0x00FFFF;
  s.LabelSize = 2.5;
  s.ShowTopLabel = true;
  form.Start(s, {});
  for (QWidget* w : std::initializer_list<QWidget*>{form.ScaleLabel(), form.ScaleEdit(), form.LabelColorBox(),
                                                    form.PositionLabel(), form.CollarBox(), form.EndOfHoleBox()})
    EXPECT_FALSE(w->isEnabled());
  EXPECT_TRUE(form.LabelAcceptBox()->isEnabled());

  form.ScaleEdit()->setText("4.5");
  form.EndOfHoleBox()->setChecked(false);
  TBoreholeSettings out;
  TTransparencyParams base;
  form.Finish(out, base);
  EXPECT_FALSE(out.ShowLabels);
  EXPECT_EQ(out.LabelColor, 0x00FFFFu);
  EXPECT_EQ(out.LabelSize, 4.5);
  EXPECT_TRUE(out.ShowTopLabel);
  EXPECT_FALSE(out.ShowBottomLabel);

  form.VisibleBox()->click();
  EXPECT_TRUE(form.ScaleEdit()->isEnabled());
  EXPECT_TRUE(form.CollarBox()->isEnabled());
}

TEST(BoreholeSettingsDialog, EveryControlWritesItsField) {
  TGraphBoreholeForm form;
  form.Start({}, {});
  form.PipeAcceptBox()->setChecked(false);
  form.OneColorButton()->setChecked(true);
  form.PipeColorBox()->SetSelected(0x0000FF);
  form.ColorAcceptBox()->setChecked(false);
  form.LabelAcceptBox()->setChecked(false);
  form.TransparencyBar()->setValue(17);
  form.DiameterEdit()->setText("5000");  // beyond the range: the largest diameter
  TBoreholeSettings out;
  TTransparencyParams base;
  form.Finish(out, base);
  EXPECT_FALSE(out.ApplyPipeToAll);
  EXPECT_FALSE(out.UseGeologyColors);
  EXPECT_EQ(out.PipeColor, 0x0000FFu);
  EXPECT_FALSE(out.ApplyColorToAll);
  EXPECT_FALSE(out.ApplyLabelsToAll);
  EXPECT_EQ(base.Transparency, 17);
  EXPECT_EQ(out.Radius, 500);
}

TEST(BoreholeSettingsDialog, EditOpensTheFormWithItsCaptionAndTakesTheAnswer) {
  RegisterBoreholeDialogs();
  TGraphBorehole b;
  b.SetName("B-7");
  bool seen = false;
  QString caption;
  AnswerDialog<TGraphBoreholeForm>([&caption](TGraphBoreholeForm& f) {
    caption = f.windowTitle();
    f.DiameterEdit()->setText("3");
    f.OkButton()->click();
  }, &seen);
  EXPECT_TRUE(b.Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(caption, "Borehole B-7");
  EXPECT_EQ(b.Settings.Radius, 1.5);

  seen = false;
  AnswerDialog<TGraphBoreholeForm>([](TGraphBoreholeForm& f) {
    f.DiameterEdit()->setText("8");
    f.CancelButton()->click();
  }, &seen);
  EXPECT_FALSE(b.Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(b.Settings.Radius, 1.5);
  SetBoreholeDialogs(nullptr, nullptr);
}

}  // namespace
}  // namespace qira

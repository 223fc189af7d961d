// The property dialogs of the graphics objects, driven without a user: each shows
// its object's values, OK writes the controls back and the object applies them
// (reaching the other objects of its kind where "Accept for all" is checked),
// Cancel changes nothing. The objects here have no scene; what they rebuild is
// checked in PropertyDialogRebuildTest.cpp.
#include "ui/PropertyDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphMain.h"
#include "support/FakeServices.h"
#include "ui/BoreholeDialogs.h"
#include "ui/GeologyDialogs.h"
#include "ui/PropertyDialogTestSupport.h"
#include "ui/QtServices.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

using namespace dialog_testing;

// A root without a scene, and the dialogs installed as the objects' editors.
class PropertyDialogs : public ::testing::Test {
 protected:
  void SetUp() override { RegisterPropertyDialogs(); }

  template <class T>
  T& Add(const std::string& name) {
    auto* object = static_cast<T*>(root_.AddChild(std::make_unique<T>(), false));
    object->SetName(name);
    return *object;
  }

  TGraphMain root_;
  TFakeServices services_;
};

// ---- Common frame -------------------------------------------------------------------

TEST_F(PropertyDialogs, FieldValuesAreLimitedToTheRangeAndReadWithEitherSeparator) {
  TGraphPointsForm form;
  form.SpinEditEx1->setText("250");
  EXPECT_EQ(FieldValue(*form.SpinEditEx1), 100);
  form.SpinEditEx1->setText("-3");
  EXPECT_EQ(FieldValue(*form.SpinEditEx1), 0);
  form.SpinEditEx1->setText("7,5");
  EXPECT_EQ(FieldValue(*form.SpinEditEx1), 7.5);
}

// The warnings a dialog shows under its fields, as the user sees them.
std::vector<std::string> ShownLostTextWarnings(const QWidget& dialog) {
  std::vector<std::string> shown;
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    if (!label->isHidden() && label->text().startsWith(QStringLiteral("A project file")))
      shown.push_back(label->text().toStdString());
  return shown;
}

// Every field whose text a project stores says, as it is typed, which characters
// the project file has no place for; a text of Windows-1252 alone shows nothing.
TEST_F(PropertyDialogs, EveryFieldAProjectStoresNamesTheCharactersItCannotHold) {
  const auto check = [](const QWidget& dialog, QLineEdit& field) {
    field.setText(QString::fromUtf8("\u0413\u043B\u0438\u043D\u0430 \u03C1=100 \u03A9\u00B7m"));
    EXPECT_EQ(ShownLostTextWarnings(dialog),
              std::vector<std::string>{
                  "A project file has no place for \u0413 \u043B \u0438 \u043D \u0430 \u03C1 \u03A9: saved as \"?\"."});
    field.setText(QString::fromUtf8("M\u00E4\u00DFig \u20AC"));
    EXPECT_TRUE(ShownLostTextWarnings(dialog).empty());
  };
  TBHCollectionItem sand;
  sand.ShortName = "Sd";
  sand.FullName = "Sand";
  const struct {
    const char* What;
    std::function<void()> Run;
  } rows[] = {
      {"a label's text",
       [&] {
         TGraphLabelForm form;
         check(form, *form.Edit1);
       }},
      {"a borehole's name",
       [&] {
         TBhCoordsDlgForm form;
         check(form, *form.NameEdit());
       }},
      {"a legend entry's short name",
       [&] {
         TBHCollEdit form(sand);
         check(form, *form.ShortNameEdit());
       }},
      {"a legend entry's full name",
       [&] {
         TBHCollEdit form(sand);
         check(form, *form.FullNameEdit());
       }},
      {"the input box of a new name",
       [&] {
         const TQtServices qt;
         bool seen = false;
         AnswerDialog<QDialog>([&](QDialog& box) {
           check(box, *box.findChild<QLineEdit*>());
           box.reject();
         }, &seen);
         std::string name = "Group";
         EXPECT_FALSE(Services().Input->InputQuery("Rename", "Enter new name:", name));
         EXPECT_TRUE(seen);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    row.Run();
  }
}

TEST_F(PropertyDialogs, AFieldWithoutANumberIsToldAndKeepsTheDialogOpen) {
  TGraphLabelForm form;
  TLabelParams params;
  TGraphLabel::DefaultParams(params);
  form.Start(params, 255);
  form.show();
  form.SpinEditEx2->setText("12-");
  form.SpinEditEx4->setText("");
  form.OkButton->click();
  EXPECT_TRUE(form.isVisible());
  EXPECT_NE(form.result(), QDialog::Accepted);
  EXPECT_EQ(services_.Texts(), (std::vector<std::string>{"Invalid value: 12-"}));
  EXPECT_EQ(form.focusWidget(), form.SpinEditEx2);
  form.SpinEditEx2->setText("12");
  form.SpinEditEx4->setText("2");
  form.OkButton->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(services_.Messages.size(), 1u);
}

TEST_F(PropertyDialogs, EveryAcceptForAllBoxCarriesItsCaptionWithTwoBlanks) {
  TGraphSurfaceForm surface;
  TGraphPointsForm points;
  TGraphLinesForm lines;
  for (QCheckBox* box : {surface.CheckBox1, surface.CheckBox2, surface.CheckBox7, points.CheckBox1,
                         points.CheckBox4, points.CheckBox2, points.CheckBox7, lines.CheckBox4, lines.CheckBox2,
                         lines.CheckBox7})
    EXPECT_EQ(box->text(), "Accept for all  ");
  EXPECT_EQ(surface.CheckBox3->text(), "Use primary colors");
  EXPECT_EQ(surface.TrackBar1->minimum(), 0);
  EXPECT_EQ(surface.TrackBar1->maximum(), 255);
  EXPECT_EQ(static_cast<QGroupBox*>(surface.TrackBar1->parentWidget())->title(), " Transparency: ");
}

// ---- Surfaces -----------------------------------------------------------------------

struct TFillCase {
  uint8_t FillMode;
  bool Solid, Lines, Points;
};

class SurfaceFillMode : public ::testing::TestWithParam<TFillCase> {};

TEST_P(SurfaceFillMode, ChecksTheButtonOfTheStoredModeAndReadsItBack) {
  TGraphSurfaceForm form;
  TSurfaceSettings settings;
  settings.FillMode = GetParam().FillMode;
  form.Start(settings, {});
  EXPECT_EQ(form.RadioButton3->isChecked(), GetParam().Solid);
  EXPECT_EQ(form.RadioButton4->isChecked(), GetParam().Lines);
  EXPECT_EQ(form.RadioButton5->isChecked(), GetParam().Points);
  TSurfaceSettings out;
  out.FillMode = 9;
  TTransparencyParams base;
  form.Finish(out, base);
  EXPECT_EQ(out.FillMode, GetParam().FillMode);
}

INSTANTIATE_TEST_SUITE_P(Modes, SurfaceFillMode,
                         ::testing::Values(TFillCase{0, true, false, false}, TFillCase{1, false, true, false},
                                           TFillCase{2, false, false, true}, TFillCase{7, false, false, false}));

TEST_F(PropertyDialogs, TheSurfaceDialogShowsTheSurfaceAndPrimaryColoursAreTheInverseOfIgnoring) {
  TGraphSurfaceForm form;
  TSurfaceSettings settings;
  settings.Color = kSkyBlue;
  settings.IgnoreFaceColors = true;
  settings.FillForAll = true;
  form.Start(settings, {77, true});
  EXPECT_EQ(form.ColorBox1->currentText(), "Sky Blue");
  EXPECT_FALSE(form.CheckBox3->isChecked());
  EXPECT_TRUE(form.CheckBox1->isChecked());
  EXPECT_FALSE(form.CheckBox2->isChecked());
  EXPECT_EQ(form.TrackBar1->value(), 77);
  EXPECT_TRUE(form.CheckBox7->isChecked());

  form.CheckBox3->setChecked(true);
  TSurfaceSettings out;
  TTransparencyParams base;
  form.Finish(out, base);
  EXPECT_FALSE(out.IgnoreFaceColors);
  EXPECT_EQ(out.Color, kSkyBlue);
  EXPECT_EQ(base.Transparency, 77);
  EXPECT_TRUE(base.AcceptForAll);
}

TEST_F(PropertyDialogs, SurfaceOkTakesTheControlsAndTheColourAcceptedForAllReachesTheOtherSurface) {
  TGraphSurface& first = Add<TGraphSurface>("first");
  TGraphSurface& second = Add<TGraphSurface>("second");
  bool seen = false;
  QString caption;
  AnswerDialog<TGraphSurfaceForm>([&](TGraphSurfaceForm& d) {
    caption = d.windowTitle();
    Pick(*d.ColorBox1, kRed);
    d.CheckBox2->setChecked(true);
    d.RadioButton4->setChecked(true);  // fill mode, not for all
    d.OkButton->click();
  }, &seen);
  ASSERT_TRUE(first.Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(caption, "first");
  EXPECT_EQ(first.Color, kRed);
  EXPECT_EQ(first.FillMode, 1);
  EXPECT_EQ(second.Color, kRed);
  EXPECT_EQ(second.FillMode, 0);
}

TEST_F(PropertyDialogs, SurfaceCancelChangesNothing) {
  TGraphSurface& first = Add<TGraphSurface>("first");
  bool seen = false;
  AnswerDialog<TGraphSurfaceForm>([](TGraphSurfaceForm& d) {
    Pick(*d.ColorBox1, kRed);
    d.TrackBar1->setValue(3);
    d.CancelButton->click();
  }, &seen);
  EXPECT_FALSE(first.Edit());
  EXPECT_TRUE(seen) << "the dialog was shown and cancelled";
  EXPECT_EQ(first.Color, MakeColor(128, 128, 128));
  EXPECT_EQ(first.Transparency, 255);
}

// ---- Points and lines ---------------------------------------------------------------

TEST_F(PropertyDialogs, PointsShowTheirStyleAndTheSizeAcceptedForAllReachesTheOthers) {
  TGraphPoints& first = Add<TGraphPoints>("first");
  TGraphPoints& second = Add<TGraphPoints>("second");
  bool seen = false;
  bool round = false, styleForAll = false;
  QString size;
  AnswerDialog<TGraphPointsForm>([&](TGraphPointsForm& d) {
    round = d.RadioButton1->isChecked() && !d.RadioButton2->isChecked();
    styleForAll = d.CheckBox1->isChecked();
    size = d.SpinEditEx1->text();
    d.RadioButton2->setChecked(true);
    d.CheckBox1->setChecked(false);
    d.SpinEditEx1->setText("6,5");
    d.CheckBox4->setChecked(true);
    d.TrackBar1->setValue(128);
    d.OkButton->click();
  }, &seen);
  ASSERT_TRUE(first.Edit());
  EXPECT_TRUE(seen);
  EXPECT_TRUE(round);
  EXPECT_TRUE(styleForAll);
  EXPECT_EQ(size, "2.00");
  EXPECT_FALSE(first.Round);
  EXPECT_EQ(first.Transparency, 128);
  EXPECT_EQ(second.PointSize, 6.5f);
  EXPECT_TRUE(second.Round);  // the style was not accepted for all
  EXPECT_EQ(second.Transparency, 255);
}

TEST_F(PropertyDialogs, LinesTakeTheDiameterAndTheOpacityAcceptedForAll) {
  TGraphLines& first = Add<TGraphLines>("first");
  TGraphLines& second = Add<TGraphLines>("second");
  AnswerDialog<TGraphLinesForm>([](TGraphLinesForm& d) {
    d.SpinEditEx1->setText("4");
    d.CheckBox3->setChecked(false);
    d.CheckBox2->setChecked(false);
    Pick(*d.ColorBox1, kBlue);
    d.TrackBar1->setValue(60);
    d.CheckBox7->setChecked(true);
    d.OkButton->click();
  });
  ASSERT_TRUE(first.Edit());
  EXPECT_EQ(first.LineWidth, 4.0f);
  EXPECT_TRUE(first.IgnoreSegmentColors);
  EXPECT_EQ(second.LineWidth, 4.0f);  // the diameter is accepted for all by default
  EXPECT_EQ(second.Color, MakeColor(255, 255, 0));  // the colour is not
  EXPECT_EQ(second.Transparency, 60);
}

// ---- Axis cross ---------------------------------------------------------------------

TEST_F(PropertyDialogs, TheAxisDialogShowsTheFieldsWithOneDecimalAndVisibleSwitchesTheLabelControls) {
  TGraphAxisForm form;
  TAxisFields fields;
  fields.ShowLabels = false;
  fields.Origin = {1.5, -2, 3};
  form.Start(fields, 200);
  EXPECT_EQ(form.SpinEditEx1->text(), "200.0");
  EXPECT_EQ(form.SpinEditEx3->text(), "1.0");
  EXPECT_EQ(form.SpinEditEx5->text(), "-2.0");
  EXPECT_EQ(form.ColorBox1->currentText(), "Aqua");
  EXPECT_EQ(form.SizeScaleLabel->text(), "Size scale:");
  EXPECT_FALSE(form.SizeScaleLabel->isEnabled());
  EXPECT_FALSE(form.SpinEditEx3->isEnabled());
  EXPECT_FALSE(form.ColorBox2->isEnabled());
  form.CheckBox2->click();
  EXPECT_TRUE(form.SpinEditEx3->isEnabled());
  EXPECT_TRUE(form.ColorBox2->isEnabled());

  form.SpinEditEx1->setText("5");        // below 10
  form.SpinEditEx3->setText("0,5");
  form.SpinEditEx6->setText("2e9");      // beyond the range
  TAxisFields out;
  uint8_t transparency = 0;
  form.Finish(out, transparency);
  EXPECT_EQ(out.AxisLength, 10.0f);
  EXPECT_EQ(out.LabelSize, 0.5f);
  EXPECT_TRUE(out.ShowLabels);
  EXPECT_EQ(out.Origin, (std::array<double, 3>{1.5, -2, 1000000000}));
  EXPECT_EQ(transparency, 200);
}

// ---- Spheres, polyline and planes ---------------------------------------------------

TEST_F(PropertyDialogs, SpheresTakeRadiusSegmentsAndTheCentresEditedInTheList) {
  TGraphSpheres& spheres = Add<TGraphSpheres>("Spheres");
  TGraphSpheres::DefaultParams(spheres.Params);
  QString slices;
  AnswerDialog<TGraphSpheresForm>([&](TGraphSpheresForm& d) {
    slices = d.SpinEditEx1->text();
    d.EditPoints = [](QWidget*, std::vector<TSurveyPoint>& points) {
      points.push_back({10, 20, 30});
      return true;
    };
    d.BitBtn3->click();
    d.SpinEditEx4->setText("2,5");
    d.SpinEditEx1->setText("2");  // below 4
    d.OkButton->click();
  });
  ASSERT_TRUE(spheres.Edit());
  EXPECT_EQ(slices, "16");
  EXPECT_EQ(spheres.Params.Centres, (std::vector<TSurveyPoint>{{0, 0, 0}, {10, 20, 30}}));
  EXPECT_EQ(spheres.Params.Radius, 2.5);
  EXPECT_EQ(spheres.Params.Slices, 4);
}

TEST_F(PropertyDialogs, CancelAfterChangingTheCoordinatesLeavesThePointsUnchanged) {
  TGraphLine& line = Add<TGraphLine>("Lines");
  TGraphLine::DefaultParams(line.Params);
  const std::vector<TSurveyPoint> before = line.Params.Points;
  bool seen = false;
  bool edited = false;
  AnswerDialog<TGraphLineForm>([&edited](TGraphLineForm& d) {
    d.EditPoints = [&edited](QWidget*, std::vector<TSurveyPoint>& points) {
      points.clear();
      edited = true;
      return true;
    };
    d.BitBtn3->click();
    d.CancelButton->click();
  }, &seen);
  EXPECT_FALSE(line.Edit());
  EXPECT_TRUE(seen) << "the dialog was shown and cancelled";
  EXPECT_TRUE(edited) << "the coordinates were changed before the cancel";
  EXPECT_EQ(line.Params.Points, before);
}

TEST_F(PropertyDialogs, PolylineOkTakesThePointsDiameterAndEnds) {
  TGraphLine& line = Add<TGraphLine>("Lines");
  TGraphLine::DefaultParams(line.Params);
  bool roundEnds = false;
  AnswerDialog<TGraphLineForm>([&](TGraphLineForm& d) {
    roundEnds = d.CheckBox2->isChecked();
    d.EditPoints = [](QWidget*, std::vector<TSurveyPoint>& points) {
      points.pop_back();
      return true;
    };
    d.BitBtn3->click();
    d.SpinEditEx4->setText("8");
    d.CheckBox2->setChecked(false);
    d.OkButton->click();
  });
  ASSERT_TRUE(line.Edit());
  EXPECT_TRUE(roundEnds);
  EXPECT_EQ(line.Params.Points.size(), 3u);
  EXPECT_EQ(line.Params.Diameter, 8);
  EXPECT_FALSE(line.Params.RoundEnds);
}

TEST_F(PropertyDialogs, PlanesCoordinatesGoThroughTheListEditorAndItsPointDialog) {
  TGraphPlanes& planes = Add<TGraphPlanes>("Planes");
  TGraphPlanes::DefaultParams(planes.Params);
  bool listSeen = false, pointSeen = false;
  AnswerDialog<TGraphPlanesForm>([&](TGraphPlanesForm& d) {
    AnswerDialog<TCoordsEditForm>([&](TCoordsEditForm& list) {
      AnswerDialog<TCoordDlgForm>([&](TCoordDlgForm& point) {
        point.Edit3->setText("50");
        point.BitBtn1->click();
      }, &pointSeen);
      list.SelectRow(3);
      list.BitBtn5->click();
      list.BitBtn8->click();
    }, &listSeen);
    d.BitBtn3->click();
    Pick(*d.ColorBox1, kRed);
    d.OkButton->click();
  });
  ASSERT_TRUE(planes.Edit());
  EXPECT_TRUE(listSeen);
  EXPECT_TRUE(pointSeen);
  EXPECT_EQ(planes.Params.Points.back(), (TSurveyPoint{0, 100, 50}));
  EXPECT_EQ(planes.Params.Color, kRed);
}

// ---- Label --------------------------------------------------------------------------

TEST_F(PropertyDialogs, ALabelWhoseHorizontalChoiceIsCenterStoresAlignment2) {
  TGraphLabel& label = Add<TGraphLabel>("Label");
  TGraphLabel::DefaultParams(label.Params);
  label.Params.Position = {100, 200, -5};
  QStringList horizontal, vertical;
  QString north, text;
  AnswerDialog<TGraphLabelForm>([&](TGraphLabelForm& d) {
    for (int i = 0; i < d.ComboBox1->count(); ++i) horizontal << d.ComboBox1->itemText(i);
    for (int i = 0; i < d.ComboBox2->count(); ++i) vertical << d.ComboBox2->itemText(i);
    north = d.SpinEditEx1->text();
    text = d.Edit1->text();
    d.ComboBox1->setCurrentIndex(2);
    d.ComboBox2->setCurrentIndex(2);
    d.Edit1->setText("Well 7");
    d.SpinEditEx4->setText("3");
    d.OkButton->click();
  });
  ASSERT_TRUE(label.Edit());
  EXPECT_EQ(horizontal, (QStringList{"Left", "Right", "Center"}));
  EXPECT_EQ(vertical, (QStringList{"Top", "Center", "Bottom"}));
  EXPECT_EQ(north, "100.00");
  EXPECT_EQ(text, "Text");
  EXPECT_EQ(label.Params.Alignment, 2);
  EXPECT_EQ(label.Params.Layout, 2);
  EXPECT_EQ(label.Params.Text, "Well 7");
  EXPECT_EQ(label.Params.TextScale, 3.0f);
  EXPECT_EQ(label.Params.Position, (TSurveyPoint{100, 200, -5}));
}

TEST_F(PropertyDialogs, AnAlignmentTheListsDoNotOfferIsKeptUnlessTheUserChoosesOne) {
  TGraphLabelForm form;
  EXPECT_EQ(form.windowTitle(), "Label");
  TLabelParams params;
  TGraphLabel::DefaultParams(params);
  params.Alignment = 7;
  params.Layout = 1;
  form.Start(params, 255);
  EXPECT_EQ(form.ComboBox1->currentIndex(), -1);
  TLabelParams out;
  uint8_t transparency = 0;
  form.Finish(out, transparency);
  EXPECT_EQ(out.Alignment, 7);
  EXPECT_EQ(out.Layout, 1);
  form.ComboBox1->setCurrentIndex(1);
  form.Finish(out, transparency);
  EXPECT_EQ(out.Alignment, 1);
}

TEST_F(PropertyDialogs, ALabelTextOfSeveralLinesComesBackUnchanged) {
  TGraphLabelForm form;
  TLabelParams params;
  TGraphLabel::DefaultParams(params);
  params.Text = "Well 7\rdepth 120 m";
  form.Start(params, 255);
  TLabelParams out;
  uint8_t transparency = 0;
  form.Finish(out, transparency);
  EXPECT_EQ(out.Text, params.Text);
}

}  // namespace
}  // namespace qira

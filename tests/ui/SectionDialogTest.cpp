// The section property dialog driven without a user: filled from a section's
// settings, clicked and read back; the modal runs answered from the event loop, the
// palette editor replaced by a fake that records what it was handed.
#include "ui/SectionDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "model/SectionGroup.h"
#include "support/QtTestEnvironment.h"
#include "ui/PropertyDialogTestSupport.h"

namespace qira {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using dialog_testing::AnswerDialog;

// A palette editor that records its arguments and, when it accepts, sets the
// palette's intensity to `Intensity`.
struct TFakePaletteEditor {
  int Calls = 0;
  double DataMin = 0;
  double DataMax = 0;
  bool Accept = true;
  int Intensity = 40;

  TFakePaletteEditor() {
    SetPaletteEditor([this](TZBPalette& palette, double dataMin, double dataMax) {
      ++Calls;
      DataMin = dataMin;
      DataMax = dataMax;
      if (Accept) palette.SetIntensity(Intensity);
      return Accept;
    });
  }
  ~TFakePaletteEditor() { SetPaletteEditor(nullptr); }
};

TSectionSettings SampleSettings() {
  TSectionSettings s;
  s.Palette.SetIntensity(70);
  s.ShowAboveMax = false;
  s.ShowBelowMin = true;
  s.ImageStyle = 1;
  s.FillMode = 2;
  s.PaletteForAll = false;
  s.StyleForAll = true;
  s.FillForAll = false;
  return s;
}

// ---- Controls -------------------------------------------------------------------------

TEST(SectionDialogControls, StartShowsTheRecordAndThePair) {
  TGraphSectionForm form;
  form.Start(SampleSettings(), {120, true});
  EXPECT_FALSE(form.ShowAboveMaxBox()->isChecked());
  EXPECT_TRUE(form.ShowBelowMinBox()->isChecked());
  EXPECT_FALSE(form.PaletteForAllBox()->isChecked());
  EXPECT_FALSE(form.GradientButton()->isChecked());
  EXPECT_TRUE(form.CellsButton()->isChecked());
  EXPECT_TRUE(form.StyleForAllBox()->isChecked());
  EXPECT_FALSE(form.SolidButton()->isChecked());
  EXPECT_FALSE(form.LinesButton()->isChecked());
  EXPECT_TRUE(form.PointsButton()->isChecked());
  EXPECT_FALSE(form.FillForAllBox()->isChecked());
  EXPECT_EQ(form.TransparencyBar()->value(), 120);
  EXPECT_TRUE(form.TransparencyForAllBox()->isChecked());
  ASSERT_NE(form.WorkingPalette(), nullptr);
  EXPECT_EQ(form.WorkingPalette()->Intensity(), 70);
}

struct TRadioCase {
  int Style;  // 0 Gradient, 1 Cells
  int Fill;   // 0 Solid, 1 Lines, 2 Points
};

class SectionDialogRadios : public ::testing::TestWithParam<TRadioCase> {};

TEST_P(SectionDialogRadios, TheCheckedButtonsGiveStyleAndFillMode) {
  TGraphSectionForm form;
  form.Start(SampleSettings(), {});
  (GetParam().Style == 0 ? form.GradientButton() : form.CellsButton())->click();
  QRadioButton* fill[] = {form.SolidButton(), form.LinesButton(), form.PointsButton()};
  fill[GetParam().Fill]->click();
  TSectionSettings out;
  TTransparencyParams pair;
  form.Finish(out, pair);
  EXPECT_EQ(out.ImageStyle, GetParam().Style);
  EXPECT_EQ(out.FillMode, GetParam().Fill);
  // One button per set stays checked.
  EXPECT_NE(form.GradientButton()->isChecked(), form.CellsButton()->isChecked());
  EXPECT_EQ(fill[0]->isChecked() + fill[1]->isChecked() + fill[2]->isChecked(), 1);
}

INSTANTIATE_TEST_SUITE_P(EveryChoice, SectionDialogRadios,
                         ::testing::Values(TRadioCase{0, 0}, TRadioCase{0, 1}, TRadioCase{0, 2}, TRadioCase{1, 0},
                                           TRadioCase{1, 1}, TRadioCase{1, 2}));

TEST(SectionDialogControls, FinishReadsFlagsAndThePairFromTheControls) {
  TGraphSectionForm form;
  form.Start(SampleSettings(), {120, true});
  form.ShowAboveMaxBox()->click();
  form.ShowBelowMinBox()->click();
  form.PaletteForAllBox()->click();
  form.StyleForAllBox()->click();
  form.FillForAllBox()->click();
  form.TransparencyForAllBox()->click();
  form.TransparencyBar()->setValue(33);
  TSectionSettings out;
  TTransparencyParams pair;
  form.Finish(out, pair);
  EXPECT_TRUE(out.ShowAboveMax);
  EXPECT_FALSE(out.ShowBelowMin);
  EXPECT_TRUE(out.PaletteForAll);
  EXPECT_FALSE(out.StyleForAll);
  EXPECT_TRUE(out.FillForAll);
  EXPECT_EQ(pair.Transparency, 33);
  EXPECT_FALSE(pair.AcceptForAll);
  EXPECT_EQ(out.Palette.Intensity(), 70);
}

// ---- Data range and the palette button -------------------------------------------------

struct TRangeCase {
  double Min;
  double Max;
  bool Kept;
};

class SectionDialogDataRange : public ::testing::TestWithParam<TRangeCase> {};

TEST_P(SectionDialogDataRange, OnlyAnIncreasingFiniteRangeIsKeptAndHandedToTheEditor) {
  TFakePaletteEditor editor;
  TGraphSectionForm form;
  form.SetDataRange(GetParam().Min, GetParam().Max);
  EXPECT_EQ(form.HasDataRange(), GetParam().Kept);
  form.Start(TSectionSettings{}, {});
  form.EditButton()->click();
  ASSERT_EQ(editor.Calls, 1);
  if (GetParam().Kept) {
    EXPECT_EQ(editor.DataMin, GetParam().Min);
    EXPECT_EQ(editor.DataMax, GetParam().Max);
  } else {
    EXPECT_EQ(editor.DataMin, kInf);  // the editor's "no data range"
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, SectionDialogDataRange,
                         ::testing::Values(TRangeCase{1.5, 60, true}, TRangeCase{-3, -1, true},
                                           TRangeCase{60, 1.5, false}, TRangeCase{2, 2, false},
                                           TRangeCase{0, 0, false}, TRangeCase{kInf, 0, false},
                                           TRangeCase{-kInf, 5, false}, TRangeCase{std::nan(""), 5, false}));

TEST(SectionDialogPalette, TheEditorChangesTheWorkingPaletteOnlyWhenAccepted) {
  TFakePaletteEditor editor;
  TGraphSectionForm form;
  form.Start(SampleSettings(), {});
  editor.Accept = false;
  form.EditButton()->click();
  EXPECT_EQ(form.WorkingPalette()->Intensity(), 70);
  editor.Accept = true;
  form.EditButton()->click();
  EXPECT_EQ(form.WorkingPalette()->Intensity(), 40);
  TSectionSettings out = SampleSettings();
  TTransparencyParams pair;
  form.Finish(out, pair);
  EXPECT_EQ(out.Palette.Intensity(), 40);
}

// ---- Through the objects' Edit ---------------------------------------------------------

class SectionDialogEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSectionDialog();
    auto group = std::make_unique<TGraphSectionGroup>();
    group->SetName("B-1 - B-2");
    group_ = static_cast<TGraphSectionGroup*>(root_.AddChild(std::move(group), false));
    a_ = AddSection(*group_, 12500);
    b_ = AddSection(*group_, 5000);
    // A section of another pair elsewhere in the tree.
    TGraphMain* other = root_.AddChild(std::make_unique<TGraphMain>(), false);
    c_ = AddSection(*other, 1000);
  }
  void TearDown() override { SetSectionEditor(nullptr); }

  static TGraphSection* AddSection(TGraphMain& parent, float frequency) {
    auto s = std::make_unique<TGraphSection>();
    s->Borehole1 = "B-1";
    s->Borehole2 = "B-2";
    s->Frequency = frequency;
    s->Palette.SetIntensity(100);
    s->DataMin = 1.5;
    s->DataMax = 60;
    return static_cast<TGraphSection*>(parent.AddChild(std::move(s), false));
  }

  TGraphMain root_;
  TGraphSectionGroup* group_ = nullptr;
  TGraphSection* a_ = nullptr;
  TGraphSection* b_ = nullptr;
  TGraphSection* c_ = nullptr;
};

TEST_F(SectionDialogEdit, OkAppliesToTheSectionAndAcceptedGroupsReachTheOthers) {
  TFakePaletteEditor editor;
  bool seen = false;
  QString caption;
  AnswerDialog<TGraphSectionForm>([&caption](TGraphSectionForm& f) {
    caption = f.windowTitle();
    f.EditButton()->click();            // palette, accepted for all
    f.CellsButton()->click();           // style, accepted for all
    f.StyleForAllBox()->setChecked(true);
    f.PointsButton()->click();          // fill, this section only
    f.FillForAllBox()->setChecked(false);
    f.TransparencyBar()->setValue(90);  // transparency, for all
    f.TransparencyForAllBox()->setChecked(true);
    f.OkButton()->click();
  }, &seen);
  ASSERT_TRUE(a_->Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(caption, "B-1 - B-2, 12.5 kHz");
  EXPECT_EQ(editor.DataMin, 1.5);
  EXPECT_EQ(editor.DataMax, 60.0);

  EXPECT_EQ(a_->Palette.Intensity(), 40);
  EXPECT_EQ(a_->ImageStyle, 1);
  EXPECT_EQ(a_->FillMode, 2);
  EXPECT_EQ(a_->Transparency, 90);
  EXPECT_FALSE(a_->FillForAll);
  for (TGraphSection* other : {b_, c_}) {
    EXPECT_EQ(other->Palette.Intensity(), 40);
    EXPECT_EQ(other->ImageStyle, 1);
    EXPECT_EQ(other->FillMode, 0);
    EXPECT_EQ(other->Transparency, 90);
  }
}

TEST_F(SectionDialogEdit, CancelLeavesEverySectionUnchanged) {
  TFakePaletteEditor editor;
  bool seen = false;
  AnswerDialog<TGraphSectionForm>([](TGraphSectionForm& f) {
    f.EditButton()->click();
    f.CellsButton()->click();
    f.TransparencyBar()->setValue(3);
    f.CancelButton()->click();
  }, &seen);
  EXPECT_FALSE(a_->Edit());
  EXPECT_TRUE(seen);
  for (TGraphSection* s : {a_, b_, c_}) {
    EXPECT_EQ(s->Palette.Intensity(), 100);
    EXPECT_EQ(s->ImageStyle, 0);
    EXPECT_EQ(s->Transparency, 255);
  }
}

TEST_F(SectionDialogEdit, AGroupsDialogHasNoDataRangeAndEditsAllItsSections) {
  TFakePaletteEditor editor;
  bool seen = false;
  QString caption;
  AnswerDialog<TGraphSectionForm>([&caption](TGraphSectionForm& f) {
    caption = f.windowTitle();
    EXPECT_FALSE(f.HasDataRange());
    f.EditButton()->click();
    f.PaletteForAllBox()->setChecked(false);
    f.LinesButton()->click();
    f.FillForAllBox()->setChecked(false);
    f.OkButton()->click();
  }, &seen);
  ASSERT_TRUE(group_->Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(caption, "B-1 - B-2");
  EXPECT_EQ(editor.DataMin, kInf);
  for (TGraphSection* s : {a_, b_}) {
    EXPECT_EQ(s->Palette.Intensity(), 40);
    EXPECT_EQ(s->FillMode, 1);
  }
  // Not accepted for all: the section of the other group keeps its own.
  EXPECT_EQ(c_->Palette.Intensity(), 100);
  EXPECT_EQ(c_->FillMode, 0);
}

}  // namespace
}  // namespace qira

// The colour-class and preview dialogs of the blocks export, driven without a user:
// built, filled, clicked and read back; the one modal run is closed by a timer.
#include "ui/ExportColourDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <string>
#include <vector>

#include "model/Settings.h"
#include "platform/Canvas.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// The dialogs need the application, and the preview's settings a file of their own.
class TDialogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    EnsureTestApplication();
    LoadSettings(folder_.File("qira.ini"), folder_.Path());
  }

 private:
  TScratchFolder folder_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TDialogEnvironment);

// L[k] = k + 1.
TClassLimits Ascending() {
  TClassLimits limits{};
  for (size_t k = 0; k < limits.size(); ++k) limits[k] = static_cast<double>(k + 1);
  return limits;
}

// A callback that fills its rectangle with one colour and reports frequency.
TPreviewCallback Filler(TColor colour, double frequency, std::vector<int>* rect = nullptr) {
  return [=](TCanvas& canvas, const TClassLimits&, int left, int top, int right, int bottom, double& f) {
    if (rect) *rect = {left, top, right, bottom};
    canvas.SetBrushColor(colour);
    canvas.FillRect({left + 10, top + 10, right - 10, bottom - 10});
    f = frequency;
  };
}

TColor PixelAt(const QImage& image, int x, int y) { return PixelToColor(image.pixel(x, y)); }

bool HasWhite(const QImage& image, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (PixelAt(image, x, y) == clWhite) return true;
  return false;
}

// ---- colour classes ----------------------------------------------------------------------

TEST(ExportColorForm, RowsAndEditsFollowTheClassesAndLimits) {
  TExportColorForm form;
  EXPECT_EQ(form.windowTitle(), "Export");
  form.Start(Ascending(), false, {});
  // Edit1 the upper limit of red, Edit2..9 the left edits, Edit10..16 the right ones.
  const struct {
    int edit;
    const char* text;
  } cases[] = {{1, "1.000"}, {2, "2.00"}, {10, "3.00"}, {3, "4.00"}, {11, "5.00"},
               {8, "14.0"},  {16, "15.0"}, {9, "16.0"}};
  for (const auto& c : cases) EXPECT_EQ(form.Edit(c.edit)->text().toStdString(), c.text) << c.edit;
  EXPECT_EQ(form.Edit(5)->objectName(), "Edit5");
}

TEST(ExportColorForm, OpenEndsSayAndMoreOrAndLessByTheOrderOfTheLimits) {
  TExportColorForm form;
  form.Start(Ascending(), false, {});
  EXPECT_EQ(form.RedEndLabel()->text(), "and less");
  EXPECT_EQ(form.BlueEndLabel()->text(), "and more");
  TClassLimits descending{};
  for (size_t k = 0; k < 16; ++k) descending[k] = 16.0 - static_cast<double>(k);
  form.Start(descending, false, {});
  EXPECT_EQ(form.RedEndLabel()->text(), "and more");
  EXPECT_EQ(form.BlueEndLabel()->text(), "and less");
  form.Edit(1)->setText("0,5");  // now below Blue's 1: ascending again
  EXPECT_EQ(form.RedEndLabel()->text(), "and less");
  form.Edit(9)->setText("x");  // no number: the texts stay
  EXPECT_EQ(form.BlueEndLabel()->text(), "and more");
}

TEST(ExportColorForm, LimitsShowThreeSignificantDigitsWithoutBlanks) {
  TClassLimits limits = Ascending();
  limits[0] = 0.05;
  limits[1] = 123456789;
  limits[2] = -2.5;
  TExportColorForm form;
  form.Start(limits, false, {});
  EXPECT_EQ(form.Edit(1)->text(), "0.0500");
  EXPECT_EQ(form.Edit(2)->text(), "123456789");
  EXPECT_EQ(form.Edit(10)->text(), "-2.50");
}

// The shared number check is wired: the first invalid edit is told and focused and the
// limits stay; fixed with either decimal separator, Ok reads every limit.
TEST(ExportColorForm, AnInvalidEditIsToldThenEveryLimitIsReadWithEitherSeparator) {
  TFakeServices services;
  TExportColorForm form;
  form.Start(Ascending(), true, {});
  form.show();
  const QString shown3 = form.Edit(3)->text(), shown12 = form.Edit(12)->text();
  form.Edit(3)->setText("");
  form.Edit(12)->setText("abc");
  form.OkButton()->click();
  EXPECT_TRUE(form.isVisible());
  ASSERT_EQ(services.Messages.size(), 1u);  // the first invalid edit only
  EXPECT_EQ(services.Messages[0].Text, "Invalid value: ");
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(form.focusWidget(), form.Edit(3));
  EXPECT_EQ(form.Limits(), Ascending());
  services.Messages.clear();
  form.Edit(3)->setText(shown3);
  form.Edit(12)->setText(shown12);
  form.Edit(1)->setText("0,5");
  form.Edit(16)->setText(" 99.25 ");
  form.Edit(9)->setText("3");  // out of order: accepted
  form.OkButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isVisible());
  TClassLimits expected = Ascending();
  expected[0] = 0.5;
  expected[14] = 99.25;
  expected[15] = 3;
  EXPECT_EQ(form.Limits(), expected);
  EXPECT_TRUE(services.Messages.empty());
}

TEST(ExportColorForm, PositiveLimitsAreRequiredOnlyWhenAsked) {
  for (bool mustBePositive : {true, false}) {
    TFakeServices services;
    TExportColorForm form;
    form.Start(Ascending(), mustBePositive, {});
    form.show();
    form.Edit(5)->setText("0");
    form.OkButton()->click();
    EXPECT_EQ(form.isVisible(), mustBePositive);
    if (mustBePositive) {
      ASSERT_EQ(services.Messages.size(), 1u);
      EXPECT_EQ(services.Messages[0].Text, "Value must be more then 0");
      EXPECT_EQ(form.focusWidget(), form.Edit(5));
    } else {
      EXPECT_TRUE(services.Messages.empty());
      EXPECT_EQ(form.Limits()[7], 0);
    }
    form.close();
  }
}

TEST(ExportColorForm, PreviewShowsTheEnteredLimitsUnderTheFormsCaption) {
  TFakeServices services;
  TExportColorForm form;
  form.setWindowTitle("B-1 - B 2 12.5 kHz");
  form.Start(Ascending(), false, {Filler(clRed, 1000), Filler(clBlue, 2000)});
  int shown = 0;
  form.ShowPreview = [&](const std::string& caption, const std::vector<TPreviewCallback>& callbacks,
                         const TClassLimits& limits, QWidget*) {
    ++shown;
    EXPECT_EQ(caption, "B-1 - B 2 12.5 kHz");
    EXPECT_EQ(callbacks.size(), 2u);
    EXPECT_EQ(limits[0], 7.5);
  };
  form.Edit(1)->setText("7.5");
  form.PreviewButton()->click();
  EXPECT_EQ(shown, 1);
  form.Edit(2)->setText("x");
  form.PreviewButton()->click();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(services.Messages.size(), 1u);
}

TEST(ExportColorForm, RegisteredDialogRunsModallyAndReturnsTheLimits) {
  RegisterExportDialogs();
  QTimer::singleShot(0, [] {
    auto* form = dynamic_cast<TExportColorForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Caption");
    form->Edit(1)->setText("0.25");
    form->OkButton()->click();
  });
  TClassLimits limits = Ascending();
  EXPECT_TRUE(ExecuteExportColorDialog("Caption", limits, false, {}));
  EXPECT_EQ(limits[0], 0.25);
  EXPECT_EQ(limits[1], 2);

  QTimer::singleShot(0, [] {
    auto* form = dynamic_cast<TExportColorForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    form->Edit(1)->setText("0.75");
    form->CancelButton()->click();
  });
  EXPECT_FALSE(ExecuteExportColorDialog("Caption", limits, false, {}));
  EXPECT_EQ(limits[0], 0.25);
  SetExportColorDialog({});
}

// ---- preview ------------------------------------------------------------------------------

TEST(ExportPreviewForm, SingleSectionShowsNoButtonsAndNoFrequency) {
  WriteSetting(SettingKeys::ColorPreviewHeightWidth, 120);
  WriteSetting(SettingKeys::ColorPreviewFormWidth, 160);
  TExportPreviewForm form;
  EXPECT_EQ(form.windowTitle(), "Preview");
  std::vector<int> rect;
  form.Start({Filler(clRed, 12500, &rect)}, Ascending());
  EXPECT_EQ(form.width(), 160);
  EXPECT_EQ(form.height(), 120);
  EXPECT_FALSE(form.NextButton()->isVisibleTo(&form));
  EXPECT_FALSE(form.PreviousButton()->isVisibleTo(&form));
  const QImage image = form.Render();
  EXPECT_EQ(rect, (std::vector<int>{0, 0, 159, 119}));
  EXPECT_EQ(PixelAt(image, 80, 60), clRed);
  EXPECT_EQ(PixelAt(image, 2, 2), clBlack);
  EXPECT_FALSE(HasWhite(image, 60, 20));
}

TEST(ExportPreviewForm, BrowsesSectionsWrappingAtBothEnds) {
  TExportPreviewForm form;
  form.Start({Filler(clRed, 12500), Filler(clLime, 25000), Filler(clBlue, 50000)}, Ascending());
  EXPECT_TRUE(form.NextButton()->isVisibleTo(&form));
  EXPECT_TRUE(form.PreviousButton()->isVisibleTo(&form));
  EXPECT_EQ(form.NextButton()->focusPolicy(), Qt::NoFocus);
  const int middleX = form.width() / 2, middleY = form.height() / 2;
  EXPECT_EQ(PixelAt(form.Render(), middleX, middleY), clRed);
  EXPECT_TRUE(HasWhite(form.Render(), 60, 20));  // "12.5 kHz" in the top left corner
  form.PreviousButton()->click();
  EXPECT_EQ(form.Index(), 2);
  EXPECT_EQ(PixelAt(form.Render(), middleX, middleY), clBlue);
  form.NextButton()->click();
  form.NextButton()->click();
  EXPECT_EQ(form.Index(), 1);
  EXPECT_EQ(PixelAt(form.Render(), middleX, middleY), clLime);
}

TEST(ExportPreviewForm, ButtonsSitInTheBottomRightCorner) {
  TExportPreviewForm form;
  form.Start({Filler(clRed, 1), Filler(clBlue, 2)}, Ascending());
  form.show();
  form.resize(300, 200);
  RunEventLoopFor(1000, [&] { return form.PreviousButton()->geometry().right() == 299; });
  QPushButton* previous = form.PreviousButton();
  QPushButton* next = form.NextButton();
  EXPECT_EQ(previous->geometry().right(), 299);
  EXPECT_EQ(previous->geometry().bottom(), 199);
  EXPECT_EQ(next->geometry().right() + 1, previous->x());
  EXPECT_EQ(next->geometry().bottom(), 199);
}

TEST(ExportPreviewForm, SizeGoesBackToTheSettings) {
  TExportPreviewForm form;
  form.Start({Filler(clRed, 1)}, Ascending());
  form.resize(333, 222);
  form.StoreSize();
  EXPECT_EQ(ReadSetting(SettingKeys::ColorPreviewFormWidth, 0), 333);
  EXPECT_EQ(ReadSetting(SettingKeys::ColorPreviewHeightWidth, 0), 222);
  WriteSetting(SettingKeys::ColorPreviewFormWidth, -5);  // a damaged setting
  TExportPreviewForm other;
  other.Start({Filler(clRed, 1)}, Ascending());
  EXPECT_GE(other.width(), 100);
  // Its picture is drawn at its size: a huge one stays within the screen.
  WriteSetting(SettingKeys::ColorPreviewFormWidth, 99999999);
  WriteSetting(SettingKeys::ColorPreviewHeightWidth, 99999999);
  TExportPreviewForm huge;
  huge.Start({Filler(clRed, 1)}, Ascending());
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  EXPECT_LE(huge.width(), screen.width());
  EXPECT_LE(huge.height(), screen.height());
}

TEST(ExportPreviewForm, FrequencyTextUsesTheGeneralFormat) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{12.5, "12.5"}, {25, "25"}, {0, "0"}, {0.00001, "0.00001"}, {1e-7, "1E-7"},
               {1.5e20, "1.5E20"}, {-3.25, "-3.25"}, {12.345599609375, "12.345599609375"}};
  for (const auto& c : cases) EXPECT_EQ(FloatToStrGeneral(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace qira

// The "Image" dialog of "Save picture".
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "support/TestApplication.h"
#include "ui/Pictures.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

// Runs `answer` on the visible picture options dialog once its modal loop runs.
void AnswerOptions(std::function<void(TSaveImageForm&)> answer, bool* seen = nullptr) {
  QTimer::singleShot(0, [answer, seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = dynamic_cast<TSaveImageForm*>(w); d && d->isVisible()) {
        if (seen) *seen = true;
        answer(*d);
        return;
      }
    }
  });
}

// ---- the options dialog ----------------------------------------------------------------------

class PictureOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
  }
};

TEST_F(PictureOptions, DialogIsImageWithItsControlsAndRange) {
  TSaveImageForm form;
  form.Start(300, true);
  EXPECT_EQ(form.windowTitle(), "Image");
  EXPECT_EQ(form.TransparentBox()->text(), "Transparent back");
  EXPECT_EQ(form.DpiEdit()->MinValue(), 10);
  EXPECT_EQ(form.DpiEdit()->MaxValue(), 10000);
  EXPECT_EQ(form.DpiEdit()->text(), "300");
  EXPECT_TRUE(form.TransparentBox()->isChecked());
  bool hasLabel = false;
  for (QLabel* label : form.findChildren<QLabel*>()) hasLabel |= label->text() == "Dots per inch:";
  EXPECT_TRUE(hasLabel);
}

TEST_F(PictureOptions, OkReturnsTheResolutionKeptInRangeAndTheCheckBox) {
  struct TCase {
    QString typed;
    int32_t expected;
  };
  const TCase cases[] = {{"600", 600}, {"5", 10}, {"20000", 10000}, {"10", 10}};
  for (const TCase& c : cases) {
    TSaveImageForm form;
    int32_t dpi = 300;
    bool transparent = true;
    bool seen = false;
    AnswerOptions(
        [&](TSaveImageForm& d) {
          d.DpiEdit()->setText(c.typed);
          d.TransparentBox()->setChecked(false);
          d.OkButton()->click();
        },
        &seen);
    ASSERT_TRUE(form.Execute(dpi, transparent));
    ASSERT_TRUE(seen);
    EXPECT_EQ(dpi, c.expected) << c.typed.toStdString();
    EXPECT_FALSE(transparent);
  }
}

TEST_F(PictureOptions, CancelLeavesTheArgumentsAsTheyWere) {
  TSaveImageForm form;
  int32_t dpi = 250;
  bool transparent = false;
  AnswerOptions([](TSaveImageForm& d) {
    d.DpiEdit()->SetValue(700);
    d.CancelButton()->click();
  });
  EXPECT_FALSE(form.Execute(dpi, transparent));
  EXPECT_EQ(dpi, 250);
  EXPECT_FALSE(transparent);
}

}  // namespace
}  // namespace qira

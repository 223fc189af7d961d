// The "Image" dialog of "Save picture".
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "support/FakeServices.h"
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

TEST_F(PictureOptions, ThePictureSizeInPixelsFollowsTheResolutionAndATooLargeOneIsRefused) {
  SetAvailableMemoryProbe([] { return int64_t{16} << 30; });
  TFakeServices services;
  TSaveImageForm form;
  EXPECT_FALSE(form.SizeLabel()->isVisibleTo(&form));  // no geometry, nothing to say
  form.SetPictureGeometry(800, 768, 96, pftJpeg, {});
  form.Start(300, true);
  EXPECT_TRUE(form.SizeLabel()->isVisibleTo(&form));
  EXPECT_EQ(form.SizeLabel()->text(), "Picture: 3250 x 3120 pixels");
  form.DpiEdit()->setText("10000");
  EXPECT_EQ(form.SizeLabel()->text(),
            "Picture: 108333 x 104000 pixels\nThe picture of 108333 x 104000 pixels is too large for a JPEG "
            "file: its sides can be at most 65535 pixels. Choose a lower resolution.");
  form.OkButton()->click();
  EXPECT_NE(form.result(), QDialog::Accepted);
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(services.Messages[0].Text.rfind("The picture of 108333 x 104000 pixels is too large for a JPEG", 0), 0u);
  form.DpiEdit()->setText("600");
  EXPECT_EQ(form.SizeLabel()->text(), "Picture: 6500 x 6240 pixels");
  form.OkButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(services.Messages.size(), 1u);

  // The scene the picture draws again counts too: memory that holds the picture of an
  // empty scene, not that of thousands of boreholes, is told before the save.
  const TPictureSize size{6500, 6240};
  TPictureScene boreholes;
  boreholes.DrawnBytes = int64_t{5000} * 10240;
  boreholes.Objects = 5000;
  boreholes.LargestDrawBytes = 16384;
  const int64_t room = PictureMemoryNeeded(size, pftJpeg, true, {}) + (int64_t{1} << 20);
  SetAvailableMemoryProbe([room] { return room; });
  form.SetPictureGeometry(800, 768, 96, pftJpeg, {});
  EXPECT_EQ(form.SizeLabel()->text(), "Picture: 6500 x 6240 pixels");
  form.SetPictureGeometry(800, 768, 96, pftJpeg, boreholes);
  EXPECT_EQ(form.SizeLabel()->text().toStdString().rfind(
                "Picture: 6500 x 6240 pixels\nThe picture of 6500 x 6240 pixels needs about ", 0),
            0u)
      << form.SizeLabel()->text().toStdString();
  form.OkButton()->click();
  ASSERT_EQ(services.Messages.size(), 2u);
  EXPECT_EQ(services.Messages[1].Text.rfind("The picture of 6500 x 6240 pixels needs about ", 0), 0u);
  SetAvailableMemoryProbe({});
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <string>

#include "model/Settings.h"
#include "scene/viewers/FullScreenViewer.h"
#include "ui/ViewTestSupport.h"
#include "support/TestApplication.h"
#include "ui/ViewWindow.h"

namespace qira {
namespace {

using view_testing::TViewWindowTest;

// How a user goes in and out of full screen.
struct TFullScreenRoundTrip {
  const char* name;
  bool independentViewer;  // "Use independent full screen viewer"
  bool leaveByEsc;         // else the popup's "Full screen"
};

class FullScreenWithTwoDocuments : public TViewWindowTest,
                                   public ::testing::WithParamInterface<TFullScreenRoundTrip> {};

TEST_P(FullScreenWithTwoDocuments, TheDocumentThatWentFullScreenIsStillTheActiveOneAfterwards) {
  const TFullScreenRoundTrip& trip = GetParam();
  Win7FullScreenMode = trip.independentViewer;
  QMdiArea area;
  area.resize(900, 700);
  TForm3D* first = TForm3D::CreateNewDocument(&area);
  TForm3D* second = TForm3D::CreateNewDocument(&area);
  area.show();
  auto* firstSub = qobject_cast<QMdiSubWindow*>(first->FrameWidget());
  auto* secondSub = qobject_cast<QMdiSubWindow*>(second->FrameWidget());
  ASSERT_NE(firstSub, nullptr);
  ASSERT_NE(secondSub, nullptr);
  firstSub->setGeometry(0, 0, 500, 400);
  secondSub->setGeometry(100, 80, 500, 400);
  firstSub->show();
  secondSub->show();
  area.setActiveSubWindow(secondSub);
  ASSERT_EQ(area.activeSubWindow(), secondSub);

  second->FullScreenItem->trigger();
  if (!second->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
  if (trip.leaveByEsc) {
    int key = Qt::Key_Escape;
    second->FormKeyDown(key, Qt::NoModifier);
  } else {
    second->FullScreenItem->trigger();
  }
  ASSERT_FALSE(second->FullScreen());
  EXPECT_EQ(area.activeSubWindow(), secondSub);
  EXPECT_EQ(area.currentSubWindow(), secondSub);
  // In front of the other document.
  EXPECT_EQ(area.subWindowList(QMdiArea::StackingOrder).back(), secondSub);
  EXPECT_EQ(secondSub->geometry(), QRect(100, 80, 500, 400));
  Win7FullScreenMode = false;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FullScreenWithTwoDocuments,
    ::testing::Values(TFullScreenRoundTrip{"TheWindowItselfLeftByEsc", false, true},
                      TFullScreenRoundTrip{"TheWindowItselfLeftByThePopup", false, false},
                      TFullScreenRoundTrip{"TheIndependentViewerLeftByEsc", true, true},
                      TFullScreenRoundTrip{"TheIndependentViewerLeftByThePopup", true, false}),
    [](const ::testing::TestParamInfo<TFullScreenRoundTrip>& info) { return std::string(info.param.name); });

// One document in a frame's area, taken full screen the window's own way.
class FullScreenTheWindowsOwnWay : public TViewWindowTest {
 protected:
  void SetUp() override {
    TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    area_.resize(900, 700);
    form_ = TForm3D::CreateNewDocument(&area_);
    sub_ = qobject_cast<QMdiSubWindow*>(form_->FrameWidget());
    ASSERT_NE(sub_, nullptr);
    area_.show();
    sub_->setGeometry(10, 20, 500, 400);
    sub_->show();
    form_->ToggleFullScreen();
    ASSERT_TRUE(form_->FullScreen());
    ASSERT_NE(form_->window(), &area_);  // out of the frame
  }
  QMdiArea area_;
  QPointer<TForm3D> form_;
  QPointer<QMdiSubWindow> sub_;
};

TEST_F(FullScreenTheWindowsOwnWay, ClosingTheWindowClosesItsDocumentAskingOnce) {
  form_->SetModified(true);
  services_.BoxAnswers.push_back(TMessageResult::Discard);
  form_->window()->close();
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form_.isNull() && sub_.isNull(); }));
  EXPECT_TRUE(area_.subWindowList().isEmpty());
  EXPECT_EQ(services_.Texts(), (std::vector<std::string>{"Save changes to Document?"}));
}

TEST_F(FullScreenTheWindowsOwnWay, ClosingCancelledLeavesTheDocumentOpen) {
  form_->SetModified(true);
  services_.BoxAnswers.push_back(TMessageResult::Cancel);
  form_->window()->close();
  RunEventLoopFor(50);
  ASSERT_FALSE(form_.isNull());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->FullScreen());
  form_->ToggleFullScreen();
  form_->SetModified(false);
}

TEST_F(FullScreenTheWindowsOwnWay, ExitPutsTheWindowBackIntoTheFrameBeforeTheFrameCloses) {
  form_->ExitClick();
  EXPECT_EQ(frameCloses_, 1);
  EXPECT_FALSE(form_->FullScreen());
  EXPECT_EQ(form_->parentWidget(), sub_.data());
  EXPECT_EQ(sub_->geometry(), QRect(10, 20, 500, 400));
}

using FullScreenThroughTheIndependentViewer = TViewWindowTest;

TEST_F(FullScreenThroughTheIndependentViewer, ClosingItsWindowGivesTheViewWindowBack) {
  Win7FullScreenMode = true;
  std::unique_ptr<TForm3D> form = NewDocument();
  form->ToggleFullScreen();
  if (!form->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
  ASSERT_NE(form->GLFullScreenViewer1->FullScreenWindow(), nullptr);
  form->GLFullScreenViewer1->FullScreenWindow()->close();
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return !form->FullScreen(); }));
  EXPECT_FALSE(form->GLFullScreenViewer1->Active());
  EXPECT_TRUE(form->isEnabled());
  EXPECT_TRUE(form->GL3DSceneViewer1->isEnabled());
  EXPECT_FALSE(form->FullScreenItem->isChecked());
  Win7FullScreenMode = false;
}

}  // namespace
}  // namespace qira

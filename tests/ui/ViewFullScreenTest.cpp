#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <string>

#include "model/Settings.h"
#include "platform/DisplayModes.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/viewers/SceneViewer.h"
#include "ui/MainFrame.h"
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

TEST_F(FullScreenTheWindowsOwnWay, ExitLeavesTheFullScreenToTheClosingFrame) {
  // The frame takes the window out of full screen, and back when it stays open.
  form_->ExitClick();
  EXPECT_EQ(frameCloses_, 1);
  EXPECT_TRUE(form_->FullScreen());
  form_->ToggleFullScreen();
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

// A display at 1280 x 1024 that also offers 800 x 600; it counts the returns to
// its desktop mode.
class TTwoModeDisplay : public TDisplayModeSource {
 public:
  explicit TTwoModeDisplay(int& restores) : restores_(restores) {}
  TDisplayMode CurrentMode() override { return {1280, 1024, 32, 60}; }
  bool EnumMode(int32_t index, TDisplayMode& mode) override {
    if (index == 0) mode = {800, 600, 32, 60};
    if (index == 1) mode = {1280, 1024, 32, 60};
    return index == 0 || index == 1;
  }
  bool TestMode(const TDisplayMode& mode) override { return mode.Width != 42; }
  bool ChangeMode(const TDisplayMode&) override { return true; }
  void RestoreMode() override { ++restores_; }

 private:
  int& restores_;
};

TEST_F(FullScreenThroughTheIndependentViewer, ASwitchedModeIsRestoredWhenItsWindowOrTheDocumentCloses) {
  for (const bool closeDocument : {false, true}) {
    SCOPED_TRACE(closeDocument ? "the document closes" : "the full-screen window closes");
    int restores = 0;
    TVideoModeTable modes(std::make_unique<TTwoModeDisplay>(restores));
    std::unique_ptr<TForm3D> form = NewDocument();
    TGLFullScreenViewer& viewer = *form->GLFullScreenViewer1;
    viewer.SetVideoModeTable(&modes);
    viewer.SetWidth(800);
    viewer.SetHeight(600);
    viewer.SetActive(true);
    ASSERT_TRUE(viewer.ModeSwitched());
    if (closeDocument) {
      form.reset();
    } else {
      viewer.FullScreenWindow()->close();
      RunEventLoopFor(50);
      EXPECT_FALSE(viewer.Active());
    }
    EXPECT_EQ(restores, 1);
    EXPECT_EQ(modes.CurrentVideoMode(), 0);
  }
}

// ------------------------------------------------------------ real X display

class FullScreenInTheFrameX11 : public TViewWindowTest, public ::testing::WithParamInterface<TFullScreenRoundTrip> {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    if (QCoreApplication::instance() == nullptr) qputenv("QT_QPA_PLATFORM", "xcb");
    TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    if (!WindowContextsAvailable()) GTEST_SKIP() << "the application of this process does not run on X11";
  }

  // A new document of the shown frame, taken full screen the row's way.
  TForm3D* NewDocumentFullScreen(TMainForm& frame) {
    Win7FullScreenMode = GetParam().independentViewer;
    frame.setGeometry(0, 0, 1000, 800);
    frame.show();
    frame.New1Click();
    TForm3D* form = frame.Forms().front();
    form->FullScreenItem->trigger();
    return form;
  }
};

TEST_P(FullScreenInTheFrameX11, TheDocumentThatWentFullScreenIsStillTheActiveOneAfterwards) {
  const TFullScreenRoundTrip& trip = GetParam();
  Win7FullScreenMode = trip.independentViewer;
  TMainForm frame;
  frame.setGeometry(0, 0, 1000, 800);
  frame.show();
  frame.activateWindow();
  frame.New1Click();
  frame.New1Click();
  ASSERT_EQ(frame.Forms().size(), 2u);
  TForm3D* second = frame.Forms()[1];
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return frame.ActiveForm() == second && second->GL3DSceneViewer1->Buffer().FrameCount() > 0; }));
  second->GL3DSceneViewer1->setFocus();
  RunEventLoopFor(100);

  second->FullScreenItem->trigger();
  ASSERT_TRUE(second->FullScreen());
  RunEventLoopFor(300);
  if (trip.leaveByEsc) {
    int key = Qt::Key_Escape;
    second->FormKeyDown(key, Qt::NoModifier);
  } else {
    second->FullScreenItem->trigger();
  }
  ASSERT_FALSE(second->FullScreen());
  RunEventLoopFor(300);
  EXPECT_EQ(frame.ActiveForm(), second);
  EXPECT_EQ(frame.MdiArea->subWindowList(QMdiArea::StackingOrder).back(), second->FrameWidget());
  // The keyboard is back with it.
  EXPECT_TRUE(frame.isActiveWindow());
  QWidget* focus = QApplication::focusWidget();
  EXPECT_TRUE(focus != nullptr && second->isAncestorOf(focus));
  Win7FullScreenMode = false;
}

// The windows shown with the stay-on-top flag.
std::vector<QWidget*> ShownOnTop() { return view_testing::ShownWindows(true); }

TEST_P(FullScreenInTheFrameX11, TheFrameAndItsDialogsAreSeenOnceActiveAndTheViewCoversTheScreenAgainAfterwards) {
  TMainForm frame;
  TForm3D* form = NewDocumentFullScreen(frame);
  ASSERT_TRUE(form->FullScreen());
  QWidget* view = view_testing::FullScreenWindowOf(*form);
  const WId native = view->winId();
  ASSERT_TRUE(view_testing::Activate(*view));
  EXPECT_EQ(ShownOnTop(), std::vector<QWidget*>{view});

  // Alt+Tab to the frame, then File > Parameters.
  ASSERT_TRUE(view_testing::Activate(frame));
  EXPECT_EQ(ShownOnTop(), std::vector<QWidget*>{});
  bool dialogSeen = false;
  QTimer::singleShot(0, &frame, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    dialogSeen = dialog->isVisible() && RunEventLoopFor(2000, [&] { return dialog->isActiveWindow(); });
    EXPECT_EQ(ShownOnTop(), std::vector<QWidget*>{});
    dialog->close();
  });
  frame.Parameters1->trigger();
  EXPECT_TRUE(dialogSeen);

  // Back to the view: on top again, still full screen on the same native window.
  ASSERT_TRUE(view_testing::Activate(*view));
  EXPECT_EQ(ShownOnTop(), std::vector<QWidget*>{view});
  EXPECT_TRUE(view->isFullScreen());
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(view->winId(), native);
  if (GetParam().leaveByEsc) {
    int key = Qt::Key_Escape;
    form->FormKeyDown(key, Qt::NoModifier);
  } else {
    form->FullScreenItem->trigger();
  }
  EXPECT_FALSE(form->FullScreen());
  Win7FullScreenMode = false;
}

// The frame's keys typed in the view that covers the screen: File > New's opens a
// document, seen at once (the view goes back into the frame first); the
// sub-window's Close (Ctrl+W) closes the document shown, asking first.
TEST_P(FullScreenInTheFrameX11, TheFramesKeysWorkInTheView) {
  TMainForm frame;
  QPointer<TForm3D> form = NewDocumentFullScreen(frame);
  ASSERT_TRUE(form->FullScreen());
  view_testing::TypeIn(*view_testing::FullScreenWindowOf(*form), frame.New1->shortcut());
  ASSERT_EQ(frame.Forms().size(), 2u);
  EXPECT_FALSE(form->FullScreen());
  EXPECT_EQ(frame.ActiveForm(), frame.Forms().back());
  form->FullScreenItem->trigger();
  ASSERT_TRUE(form->FullScreen());
  // Save acts on the document shown full screen, not on the frame's current one.
  services_.FileAnswers.push_back(scratch_.File("shown.q3d"));
  view_testing::TypeIn(*view_testing::FullScreenWindowOf(*form), frame.Save1->shortcut());
  EXPECT_EQ(form->FileName(), scratch_.File("shown.q3d"));

  form->SetModified(true);
  services_.BoxAnswers.push_back(TMessageResult::Discard);
  view_testing::TypeIn(*view_testing::FullScreenWindowOf(*form), QKeySequence(QKeySequence::Close));
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form.isNull(); }));
  EXPECT_EQ(services_.Texts(), (std::vector<std::string>{"Save changes to shown.q3d?"}));
  EXPECT_EQ(frame.Forms().size(), 1u);
  EXPECT_EQ(frame.MdiArea->subWindowList().size(), 1);
  if (!form.isNull() && form->FullScreen()) form->ToggleFullScreen();
  Win7FullScreenMode = false;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FullScreenInTheFrameX11,
    ::testing::Values(TFullScreenRoundTrip{"TheWindowItselfLeftByEsc", false, true},
                      TFullScreenRoundTrip{"TheWindowItselfLeftByThePopup", false, false},
                      TFullScreenRoundTrip{"TheIndependentViewerLeftByEsc", true, true},
                      TFullScreenRoundTrip{"TheIndependentViewerLeftByThePopup", true, false}),
    [](const ::testing::TestParamInfo<TFullScreenRoundTrip>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qira

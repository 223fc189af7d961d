// Quitting the program with windows of a document still open: the main frame goes
// with every window a document owns (plans, the full-screen windows) without
// freeing any of them twice, and the settings of the session are written.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/IniFile.h"
#include "scene/viewers/SceneViewer.h"
#include "ui/MainFrame.h"
#include "ui/PlanForm.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using project_testing::Projects;
using project_testing::WithVersion;

// What the user leaves open before quitting: given an opener of project files, it
// opens documents and their windows and may close some again.
struct TQuitCase {
  const char* name;
  std::function<void(const std::function<TForm3D*()>& open)> leaveOpen;
  int plansLeft;  // plan windows still open when the frame closes
};

TPlanForm* PlanOf(TForm3D& form) {
  form.Createplan1Click();
  return form.PlanForms.back();
}

// A document with a plan, then full screen the given way.
void PlanThenFullScreen(const std::function<TForm3D*()>& open, bool independentViewer) {
  Win7FullScreenMode = independentViewer;
  TForm3D* form = open();
  PlanOf(*form);
  form->ToggleFullScreen();
  if (independentViewer && !form->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
  ASSERT_TRUE(form->FullScreen());
}

// Closes a window as its close button does and waits until it is gone.
void CloseAndWait(QWidget* window) {
  QPointer<QWidget> watched(window);
  window->close();
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return watched.isNull(); }));
}

int OpenPlans(const TMainForm& frame) {
  int plans = 0;
  for (QMdiSubWindow* sub : frame.MdiArea->subWindowList())
    if (dynamic_cast<TPlanForm*>(sub->widget()) != nullptr) ++plans;
  return plans;
}

const std::vector<TQuitCase>& QuitCases() {
  static const std::vector<TQuitCase> cases{
      {"APlanOpen", [](const auto& open) { PlanOf(*open()); }, 1},
      {"TwoPlansOfOneDocument",
       [](const auto& open) {
         TForm3D* form = open();
         PlanOf(*form);
         PlanOf(*form);
       },
       2},
      {"TwoDocumentsEachWithAPlan",
       [](const auto& open) {
         PlanOf(*open());
         PlanOf(*open());
       },
       2},
      {"TheDocumentClosedWhileItsPlanIsOpen",
       [](const auto& open) {
         TForm3D* form = open();
         QPointer<TPlanForm> plan = PlanOf(*form);
         TForm3D* other = open();
         PlanOf(*other);
         CloseAndWait(form->FrameWidget());
         EXPECT_TRUE(plan.isNull());
       },
       1},
      {"ThePlanClosedFirst",
       [](const auto& open) {
         TForm3D* form = open();
         CloseAndWait(PlanOf(*form)->FrameWidget());
         PlanOf(*form);
         CloseAndWait(PlanOf(*form)->FrameWidget());
       },
       1},
      {"ThePlanThenItsDocumentClosed",
       [](const auto& open) {
         TForm3D* form = open();
         CloseAndWait(PlanOf(*form)->FrameWidget());
         CloseAndWait(form->FrameWidget());
         open();
       },
       0},
      {"FullScreenTheWindowsOwnWayWithAPlanOpen", [](const auto& open) { PlanThenFullScreen(open, false); }, 1},
      {"FullScreenThroughTheIndependentViewerWithAPlanOpen",
       [](const auto& open) { PlanThenFullScreen(open, true); }, 1},
      {"APlanOpenedWhileTheWindowCoversTheScreen",
       [](const auto& open) {
         Win7FullScreenMode = false;
         TForm3D* form = open();
         form->ToggleFullScreen();
         PlanOf(*form);
       },
       1},
  };
  return cases;
}

// What would keep the program running once its frame has closed: a shown window
// of its own that takes part in the program's end.
std::vector<std::string> WindowsKeepingTheProgramOpen() {
  std::vector<std::string> titles;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && window->testAttribute(Qt::WA_QuitOnClose))
      titles.push_back(window->windowTitle().toStdString());
  return titles;
}

class QuitWithWindowsOpen : public view_testing::TViewWindowTest,
                            public ::testing::WithParamInterface<TQuitCase> {
 protected:
  void TearDown() override {
    Win7FullScreenMode = false;
    view_testing::TViewWindowTest::TearDown();
  }

  // As the program ends: the frame closes (File > Exit), is destroyed once the
  // event loop has returned, and then the settings are written.
  void LeaveOpenAndQuit() {
    const std::string ini = scratch_.File("QIRA3D.ini");
    scratch_.Put("p.q3d", WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
    auto frame = std::make_unique<TMainForm>();
    frame->setGeometry(0, 0, 1000, 800);
    frame->show();
    // The same file opened again only brings its window forward: each opening
    // takes a document of its own, from a copy.
    int copies = 0;
    const auto open = [&]() -> TForm3D* {
      const std::string name = "p" + std::to_string(++copies) + ".q3d";
      scratch_.Put(name, scratch_.Get("p.q3d"));
      TForm3D* form = frame->OpenProject(scratch_.File(name));
      EXPECT_NE(form, nullptr);
      return form;
    };
    GetParam().leaveOpen(open);
    if (HasFatalFailure() || IsSkipped()) return;
    EXPECT_EQ(OpenPlans(*frame), GetParam().plansLeft);
    const bool independentViewer = Win7FullScreenMode;
    const std::string newest = frame->Recent()[0];
    ASSERT_FALSE(newest.empty());

    frame->Exit1->trigger();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(WindowsKeepingTheProgramOpen(), std::vector<std::string>{});
    frame.reset();
    ASSERT_TRUE(SaveSettings());

    TIniFile written(ini);
    EXPECT_EQ(written.ReadString("Main Section", "FName1", ""), newest);
    EXPECT_EQ(written.ReadBool("Parameters", "Win7FullScreenMode", !independentViewer), independentViewer);
    EXPECT_TRUE(written.ValueExists("Form3D", "Panel width"));
  }
};

TEST_P(QuitWithWindowsOpen, EndsWithTheSettingsWritten) { LeaveOpenAndQuit(); }

INSTANTIATE_TEST_SUITE_P(Table, QuitWithWindowsOpen, ::testing::ValuesIn(QuitCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The same with real windows, each full-screen way with its own native windows.
class QuitWithWindowsOpenX11 : public QuitWithWindowsOpen {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    if (QCoreApplication::instance() == nullptr) qputenv("QT_QPA_PLATFORM", "xcb");
    QuitWithWindowsOpen::SetUp();
    if (IsSkipped()) return;
    if (!WindowContextsAvailable()) GTEST_SKIP() << "the application of this process does not run on X11";
  }
};

TEST_P(QuitWithWindowsOpenX11, EndsWithTheSettingsWritten) { LeaveOpenAndQuit(); }

INSTANTIATE_TEST_SUITE_P(Table, QuitWithWindowsOpenX11, ::testing::ValuesIn(QuitCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qira

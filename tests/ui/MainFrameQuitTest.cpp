// Quitting the program with windows of a document still open: the main frame goes
// with every window a document owns (plans, the full-screen windows) without
// freeing any of them twice, the program's event loop ends with status 0, and the
// settings of the session are written. No question opens while a window kept on
// top of all others is shown, where it would be hidden.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/IniFile.h"
#include "scene/viewers/SceneViewer.h"
#include "support/ScopedMemoryProbe.h"
#include "ui/MainFrame.h"
#include "ui/PlanForm.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using project_testing::Projects;
using project_testing::WithVersion;

// The shown windows, by title; those kept on top of all others alone when asked.
std::vector<std::string> ShownWindows(bool onTopOnly = false) {
  std::vector<std::string> titles;
  for (QWidget* window : view_testing::ShownWindows(onTopOnly)) titles.push_back(window->windowTitle().toStdString());
  return titles;
}

// A command's key typed in the window; a platform without one (offscreen) has
// only the menu item, chosen once the window is active.
void KeyIn(QAction& command, QWidget& window) {
  const QKeySequence key = command.shortcut();
  if (!key.isEmpty()) return view_testing::TypeIn(window, key);
  ASSERT_TRUE(view_testing::Activate(window));
  command.trigger();
}

// Ways of leaving the program, on its frame.
void ExitMenu(TMainForm& frame) { frame.Exit1->trigger(); }
// File > Exit's key (Ctrl+Q) typed in the window.
void ExitKeyIn(TMainForm& frame, QWidget& window) { KeyIn(*frame.Exit1, window); }
// Alt+Tab back to the frame, then Ctrl+Q.
void CtrlQ(TMainForm& frame) { ExitKeyIn(frame, frame); }
// Ctrl+Q typed in the view that covers the screen, either way.
void CtrlQInTheView(TMainForm& frame) {
  for (TForm3D* form : frame.Forms())
    if (QWidget* view = view_testing::FullScreenWindowOf(*form)) return ExitKeyIn(frame, *view);
  ADD_FAILURE() << "no view covers the screen";
  ExitMenu(frame);
}
// Alt+Tab back to the frame and File > Parameters: the dialog is seen, no window
// kept on top over it; then File > Exit.
void ADialogOfTheFrameThenExit(TMainForm& frame) {
  ASSERT_TRUE(view_testing::Activate(frame));
  QTimer::singleShot(0, &frame, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Parameters");
    EXPECT_EQ(ShownWindows(true), std::vector<std::string>{});
    dialog->close();
  });
  frame.Parameters1->trigger();
  ExitMenu(frame);
}
// The frame's close button (Alt+F4): the window system's close.
void CloseButton(TMainForm& frame) { frame.windowHandle()->close(); }
// "Exit" of the first document's viewer menu.
void PopupExit(TMainForm& frame) { view_testing::ActionOf(*frame.Forms().front()->PopupMenu, "Exit")->trigger(); }

// What the user leaves open before quitting: given an opener of project files, it
// opens documents and their windows and may close some again; then the program is
// left the row's way, the questions answered in order. A Cancel keeps the program
// as it was, and it is left again the same way.
struct TQuitCase {
  std::string name;
  std::function<void(const std::function<TForm3D*()>& open)> leaveOpen;
  int plansLeft;  // plan windows still open when the frame closes
  void (*way)(TMainForm& frame) = ExitMenu;
  std::vector<TMessageResult> answers = {};
};

TPlanForm* PlanOf(TForm3D& form) {
  form.Createplan1Click();
  return form.PlanForms.back();
}

TForm3D* Document(const std::function<TForm3D*()>& open, bool plan, bool unsaved) {
  TForm3D* form = open();
  if (plan) PlanOf(*form);
  if (unsaved) form->ShiftModel(1, 0, 0);
  return form;
}

void FullScreen(TForm3D* form, bool independentViewer) {
  Win7FullScreenMode = independentViewer;
  form->ToggleFullScreen();
  if (independentViewer && !form->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
  ASSERT_TRUE(form->FullScreen());
}

// A document (with a plan, with an unsaved change) full screen the given way.
auto FullScreenDocument(bool independentViewer, bool plan, bool unsaved) {
  return [=](const std::function<TForm3D*()>& open) { FullScreen(Document(open, plan, unsaved), independentViewer); };
}

// Closes a window as its close button does and waits until `gone` (the window
// itself when not given) is gone.
void CloseAndWait(QWidget* window, QObject* gone = nullptr) {
  QPointer<QObject> watched(gone != nullptr ? gone : window);
  window->close();
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return watched.isNull(); }));
}

TMainForm& FrameOf(TForm3D& form) { return *dynamic_cast<TMainForm*>(form.FrameArea()->window()); }

// A title as Qt itself shows it: a window of its own as its platform window holds it;
// an area's sub-window as it paints it, which, marked, shows each "[*]" as the mark
// and, unmarked, as a window of its own would.
std::string Shown(const QWidget& window) {
  if (window.isWindow() && window.windowHandle() != nullptr) return window.windowHandle()->title().toStdString();
  QString title = window.windowTitle();
  if (qobject_cast<const QMdiSubWindow*>(&window) != nullptr && window.isWindowModified())
    return title.replace(QStringLiteral("[*]"), QStringLiteral("*")).toStdString();
  QWidget own;
  own.winId();
  own.setWindowTitle(title);
  own.setWindowModified(window.isWindowModified());
  return own.windowHandle()->title().toStdString();
}

// After Alt+Tab to the frame: the sub-window current there names the document, the
// menu bar holds its menus, and the frame's commands act on it.
void ExpectTheFrameShows(TForm3D& form, QMdiSubWindow* itsSubWindow) {
  TMainForm& frame = FrameOf(form);
  ASSERT_TRUE(view_testing::Activate(frame));
  QMdiSubWindow* current = frame.MdiArea->currentSubWindow();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current, itsSubWindow);
  EXPECT_TRUE(current->isVisible());
  // On top of the others too, once the frame's activation has settled.
  EXPECT_TRUE(RunEventLoopFor(2000, [&] {
    return frame.MdiArea->subWindowList(QMdiArea::StackingOrder).last() == current;
  }));
  EXPECT_EQ(Shown(*current), Shown(form));
  EXPECT_EQ(frame.ActiveForm(), &form);
  const QList<QAction*> bar = frame.menuBar()->actions();
  EXPECT_TRUE(bar.contains(form.SceneMenu->menuAction()) && bar.contains(form.ObjectsMenu->menuAction()));
  EXPECT_TRUE(form.SceneMenu->isEnabled() && form.ObjectsMenu->isEnabled());
}

QMdiSubWindow* SubWindowOf(TForm3D& form) { return qobject_cast<QMdiSubWindow*>(form.FrameWidget()); }

TFakeServices& Fakes() { return *dynamic_cast<TFakeServices*>(Services().Files); }

// An unsaved document, a second one, the first made current and full screen,
// Alt+Tab to the frame, then its emptied sub-window closed the given way.
auto TheEmptiedSubWindowClosed(void (*close)(TMainForm& frame, QMdiSubWindow& sub)) {
  return [close](const std::function<TForm3D*()>& open) {
    QPointer<TForm3D> form = Document(open, false, true);
    open();
    QMdiSubWindow* sub = SubWindowOf(*form);
    TMainForm& frame = FrameOf(*form);
    frame.MdiArea->setActiveSubWindow(sub);
    FullScreen(form, false);
    ASSERT_TRUE(view_testing::Activate(frame));
    close(frame, *sub);
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form.isNull(); }));
    EXPECT_EQ(frame.Forms().size(), 1u);
    EXPECT_EQ(frame.MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(ShownWindows(true), std::vector<std::string>{});
    EXPECT_EQ(Fakes().Messages.size(), 1u);
  };
}

// An unsaved document (after an unsaved other one, when asked) full screen in the
// independent viewer, Alt+Tab, then Ctrl+S in the frame: it is the one saved.
auto SaveInTheFrameAfterAltTabFromTheIndependentViewer(bool otherFirst) {
  return [otherFirst](const std::function<TForm3D*()>& open) {
    TForm3D* other = otherFirst ? Document(open, false, true) : nullptr;
    TForm3D* form = Document(open, false, true);
    FullScreen(form, true);
    ExpectTheFrameShows(*form, SubWindowOf(*form));
    KeyIn(*FrameOf(*form).Save1, FrameOf(*form));
    EXPECT_FALSE(form->Modified());
    if (other != nullptr) {
      EXPECT_TRUE(other->Modified());
    }
  };
}

// A click in the middle of a widget of the frame, as the user makes it: the frame
// active first, the click given to its window.
void ClickIn(QWidget& widget) {
  QWidget& window = *widget.window();
  ASSERT_TRUE(view_testing::Activate(window));
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, widget.mapTo(&window, widget.rect().center()));
}

// Ctrl+W where the platform closes with it (X11), else the platform's close key.
QKeySequence CtrlW() {
  const QKeySequence ctrlW(Qt::CTRL | Qt::Key_W);
  const QList<QKeySequence> keys = DocumentCloseKeys();
  return keys.contains(ctrlW) ? ctrlW : keys.front();
}

// The titles the Window list ticks, without their numbers.
std::vector<std::string> TickedInTheWindowList(TMainForm& frame) {
  Q_EMIT frame.WindowMenu->aboutToShow();
  std::vector<std::string> ticked;
  for (QAction* action : frame.WindowMenu->actions()) {
    if (!action->isChecked()) continue;
    const std::string text = action->text().toStdString();
    ticked.push_back(text.substr(text.find(' ') + 1));
  }
  return ticked;
}

// Objects > Create > Axis from the frame's menu bar.
void CreateAnAxisFromTheFrame(TMainForm& frame) {
  QMenu* objects = nullptr;
  for (QAction* action : frame.menuBar()->actions())
    if (action->text() == QStringLiteral("Objects")) objects = action->menu();
  ASSERT_NE(objects, nullptr);
  QAction* create = view_testing::ActionOf(*objects, "&Create");
  ASSERT_NE(create, nullptr);
  QAction* axis = view_testing::ActionOf(*create->menu(), "&Axis");
  ASSERT_NE(axis, nullptr);
  axis->trigger();
}

// How the unsaved document's view comes to cover the screen (the setting already
// chosen); it covers the screen afterwards.
struct TWayIntoFullScreen {
  std::string name;
  std::function<void(TForm3D& form)> enter;
  bool independentViewerToo = true;
};

// The view's menu takes it full screen, the user asks to close the document the
// given way and answers Cancel to the question: the view covers the screen again.
TWayIntoFullScreen ReturnAfterCancel(const std::string& way, void (*ask)(TForm3D& form), bool independentViewerToo) {
  return {"TheReturnAfterCancelOf" + way,
          [ask](TForm3D& form) {
            form.FullScreenItem->trigger();
            ASSERT_TRUE(form.FullScreen());
            Fakes().BoxAnswers.push_front(TMessageResult::Cancel);
            const size_t answers = Fakes().BoxAnswers.size();
            ask(form);
            if (::testing::Test::IsSkipped()) return;
            // The window system's close asks once its event is done.
            EXPECT_TRUE(RunEventLoopFor(5000, [&] { return Fakes().BoxAnswers.size() < answers && form.FullScreen(); }));
          },
          independentViewerToo};
}

const std::vector<TWayIntoFullScreen>& WaysIntoFullScreen() {
  static const std::vector<TWayIntoFullScreen> ways{
      {"ADoubleClick", [](TForm3D& form) { QTest::mouseDClick(form.GL3DSceneViewer1, Qt::LeftButton); }},
      {"TheViewsMenu", [](TForm3D& form) { form.FullScreenItem->trigger(); }},
      ReturnAfterCancel("CtrlWInTheFrame", [](TForm3D& form) {
        view_testing::TypeIn(FrameOf(form), CtrlW());
      }, true),
      ReturnAfterCancel("CtrlF4InTheFrame", [](TForm3D& form) {
        view_testing::TypeIn(FrameOf(form), QKeySequence(Qt::CTRL | Qt::Key_F4));
      }, true),
      ReturnAfterCancel("TheXOfItsSubWindow", [](TForm3D& form) {
        // Qt's offscreen backing store faults freeing the window the view covered the
        // screen in before this return; the X11 table runs the row.
        if (QGuiApplication::platformName() == QStringLiteral("offscreen")) GTEST_SKIP() << "offscreen backing store";
        ASSERT_TRUE(view_testing::Activate(FrameOf(form)));
        form.SubWindow()->close();
      }, true),
      ReturnAfterCancel("CtrlWInTheView", [](TForm3D& form) {
        view_testing::TypeIn(*form.FullScreenWindow(), CtrlW());
      }, true),
      // The independent viewer's window closed leaves full screen without a question.
      ReturnAfterCancel("AltF4InTheView", [](TForm3D& form) { form.FullScreenWindow()->close(); }, false),
      ReturnAfterCancel("CtrlQInTheView", [](TForm3D& form) { ExitKeyIn(FrameOf(form), *form.FullScreenWindow()); },
                        true),
      ReturnAfterCancel("CtrlQInTheFrame", [](TForm3D& form) { CtrlQ(FrameOf(form)); }, true),
      {"TheReturnAfterACancelledOpen",
       [](TForm3D& form) {
         form.FullScreenItem->trigger();
         ASSERT_TRUE(form.FullScreen());
         KeyIn(*FrameOf(form).Open1, *form.FullScreenWindow());
       }},
  };
  return ways;
}

// The unsaved document full screen the given way, beside another unsaved one opened
// before or after it; then Alt+Tab: the Window list ticks it, Objects > Create adds
// to it, Ctrl+S saves it alone and Ctrl+F4 closes it.
auto TheFrameActsOnTheFullScreenDocument(const TWayIntoFullScreen& way, bool independentViewer, bool otherFirst) {
  return [=](const std::function<TForm3D*()>& open) {
    TForm3D* other = otherFirst ? Document(open, false, true) : nullptr;
    QPointer<TForm3D> form = Document(open, false, true);
    if (other == nullptr) other = Document(open, false, true);
    TMainForm& frame = FrameOf(*form);
    QMdiSubWindow* sub = SubWindowOf(*form);
    frame.MdiArea->setActiveSubWindow(sub);
    Win7FullScreenMode = independentViewer;
    way.enter(*form);
    if (::testing::Test::HasFailure() || ::testing::Test::IsSkipped()) return;
    if (independentViewer && !form->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
    ASSERT_TRUE(form->FullScreen());

    ExpectTheFrameShows(*form, sub);
    EXPECT_EQ(TickedInTheWindowList(frame), std::vector<std::string>{Shown(*sub)});
    const int objects = form->Root().ChildCount();
    const int othersObjects = other->Root().ChildCount();
    CreateAnAxisFromTheFrame(frame);
    EXPECT_EQ(form->Root().ChildCount(), objects + 1);
    EXPECT_EQ(other->Root().ChildCount(), othersObjects);
    KeyIn(*frame.Save1, frame);
    EXPECT_FALSE(form->Modified());
    EXPECT_TRUE(other->Modified());
    view_testing::TypeIn(frame, QKeySequence(Qt::CTRL | Qt::Key_F4));
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form.isNull(); }));
    EXPECT_EQ(frame.Forms(), std::vector<TForm3D*>{other});
  };
}

// Every way into full screen, either way, the other document opened before or after.
std::vector<TQuitCase> TheFrameActsOnTheFullScreenDocumentCases() {
  std::vector<TQuitCase> cases;
  for (const TWayIntoFullScreen& way : WaysIntoFullScreen())
    for (const bool independentViewer : {false, true})
      for (const bool otherFirst : {false, true}) {
        if (independentViewer && !way.independentViewerToo) continue;
        cases.push_back({"TheFrameActsOnTheDocumentFullScreenBy" + way.name +
                             (independentViewer ? "InTheIndependentViewer" : "TheWindowsOwnWay") +
                             (otherFirst ? "TheOtherOpenedFirst" : "TheOtherOpenedAfter"),
                         TheFrameActsOnTheFullScreenDocument(way, independentViewer, otherFirst), 0, CtrlQ,
                         {TMessageResult::Discard}});
      }
  return cases;
}

// The Window menu opened and closed with Esc, as one does to look at the list: the
// focus stays on the menu bar.
void TheWindowMenuClosedByEsc(TMainForm& frame) {
  ASSERT_TRUE(view_testing::Activate(frame));
  frame.menuBar()->setActiveAction(frame.WindowMenu->menuAction());
  ASSERT_TRUE(RunEventLoopFor(2000, [&] { return frame.WindowMenu->isVisible(); }));
  QTest::keyClick(frame.WindowMenu->windowHandle(), Qt::Key_Escape);
  ASSERT_TRUE(RunEventLoopFor(2000, [&] { return !frame.WindowMenu->isVisible(); }));
}

// A pick the user makes in the frame while a document is full screen; it returns
// the window picked.
struct TPickInTheFrame {
  std::string name;
  std::function<QMdiSubWindow*(TMainForm& frame, TForm3D& fullScreen, TForm3D& other)> pick;
  // Ctrl+S then saves the other document, picked, and not the full-screen one.
  bool savesTheOther = false;
};

// A click as the window system delivers it: to the native window under the point,
// which gives the focus to the widget there before the widget sees the press.
void ClickAsTheWindowSystemDoes(QWidget& widget, QPoint at) {
  QWidget* native = &widget;
  while (native->windowHandle() == nullptr && native->parentWidget() != nullptr) native = native->parentWidget();
  ASSERT_NE(native->windowHandle(), nullptr);
  QTest::mouseClick(native->windowHandle(), Qt::LeftButton, {}, widget.mapTo(native, at));
}

const std::vector<TPickInTheFrame>& PicksInTheFrame() {
  static const std::vector<TPickInTheFrame> picks{
      {"CtrlTab",
       [](TMainForm& frame, TForm3D&, TForm3D& other) {
         view_testing::TypeIn(frame, QKeySequence(Qt::CTRL | Qt::Key_Tab));
         return SubWindowOf(other);
       }},
      {"CtrlShiftTab",
       [](TMainForm& frame, TForm3D&, TForm3D& other) {
         view_testing::TypeIn(frame, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab));
         return SubWindowOf(other);
       }},
      {"APlanOpened",
       [](TMainForm&, TForm3D& fullScreen, TForm3D&) {
         view_testing::ActionOf(*fullScreen.SceneMenu, "Horizontal plan")->trigger();
         return qobject_cast<QMdiSubWindow*>(fullScreen.PlanForms.back()->FrameWidget());
       }},
      {"APressInTheOthersTree",
       [](TMainForm& frame, TForm3D&, TForm3D& other) {
         frame.TileVertical1->trigger();
         EXPECT_TRUE(view_testing::Activate(frame));
         QTreeWidgetItem* item = other.TreeView->topLevelItem(0);
         EXPECT_NE(item, nullptr);
         if (item != nullptr)
           ClickAsTheWindowSystemDoes(*other.TreeView->viewport(),
                                      other.TreeView->visualItemRect(item).center());
         EXPECT_EQ(other.TreeView->currentItem(), item);
         return SubWindowOf(other);
       },
       true},
  };
  return picks;
}

// An unsaved document, another unsaved one opened after it and made full screen,
// Alt+Tab, the Window menu looked at; then the pick: the frame shows the window
// picked, and Ctrl+W closes it, not the full-screen document.
auto APickWhileADocumentIsFullScreen(const TPickInTheFrame& pick, bool independentViewer) {
  return [=](const std::function<TForm3D*()>& open) {
    TForm3D* other = Document(open, false, true);
    QPointer<TForm3D> form = Document(open, false, true);
    FullScreen(form, independentViewer);
    if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped()) return;
    TMainForm& frame = FrameOf(*form);
    TheWindowMenuClosedByEsc(frame);
    if (::testing::Test::HasFatalFailure()) return;
    QPointer<QMdiSubWindow> picked = pick.pick(frame, *form, *other);
    ASSERT_NE(picked, nullptr);
    EXPECT_EQ(frame.MdiArea->currentSubWindow(), picked.data());
    EXPECT_EQ(TickedInTheWindowList(frame), std::vector<std::string>{Shown(*picked)});
    if (pick.savesTheOther) {
      KeyIn(*frame.Save1, frame);
      EXPECT_FALSE(other->Modified());
      EXPECT_TRUE(form->Modified());
    }
    view_testing::TypeIn(frame, CtrlW());
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return picked.isNull(); }));
    ASSERT_FALSE(form.isNull());
    EXPECT_TRUE(form->FullScreen());
    EXPECT_TRUE(form->Modified());
    ExpectTheFrameShows(*form, form->SubWindow());
  };
}

// Each pick, either way.
std::vector<TQuitCase> APickWhileADocumentIsFullScreenCases() {
  std::vector<TQuitCase> cases;
  for (const TPickInTheFrame& pick : PicksInTheFrame())
    for (const bool independentViewer : {false, true})
      cases.push_back({pick.name + "AfterTheWindowMenuPicksWhileADocumentIsFullScreen" +
                           (independentViewer ? "InTheIndependentViewer" : "TheWindowsOwnWay"),
                       APickWhileADocumentIsFullScreen(pick, independentViewer), 0, CtrlQ,
                       pick.savesTheOther ? std::vector<TMessageResult>{TMessageResult::Discard}
                                          : std::vector<TMessageResult>{TMessageResult::Discard,
                                                                        TMessageResult::Discard}});
  return cases;
}

// An unsaved document maximised in the frame, then a window or dialog opened and
// closed: once that is handled the frame's title carries the document's mark.
auto TheFrameTitleMarksTheMaximisedDocumentAfter(void (*step)(TMainForm& frame, TForm3D& form)) {
  return [step](const std::function<TForm3D*()>& open) {
    TForm3D* form = open();
    TMainForm& frame = FrameOf(*form);
    ASSERT_TRUE(view_testing::Activate(frame));
    form->FrameWidget()->showMaximized();
    form->ShiftModel(1, 0, 0);
    step(frame, *form);
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return Shown(frame) == "QIRA 3D Viewer - [p1.q3d*]"; })) << Shown(frame);
  };
}

// Two documents, the first changed and the second maximised in the frame: once the
// step is handled, the frame's title names the document as it stands.
auto TheFrameTitleFollows(void (*step)(TMainForm& frame, TForm3D& first, TForm3D& second), const char* expected) {
  return [step, expected](const std::function<TForm3D*()>& open) {
    TForm3D* first = open();
    TForm3D* second = open();
    TMainForm& frame = FrameOf(*first);
    ASSERT_TRUE(view_testing::Activate(frame));
    first->ShiftModel(1, 0, 0);
    second->FrameWidget()->showMaximized();
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return Shown(frame) == "QIRA 3D Viewer - [p2.q3d]"; })) << Shown(frame);
    step(frame, *first, *second);
    EXPECT_TRUE(RunEventLoopFor(2000, [&] { return Shown(frame) == expected; })) << Shown(frame);
  };
}

// Ctrl+O of a project that needs far more than the largest view and 4 MB.
void CtrlOOfAProjectRefusedForMemory(TMainForm& frame, TForm3D& form) {
  const std::string path = std::filesystem::path(form.FileName()).replace_filename("large.q3d").string();
  std::ofstream(path, std::ios::binary) << WithVersion(Projects().Bytes("legacy_v3_many_boreholes.q3d"), 3);
  Fakes().FileAnswers.push_back(path);
  const int64_t room = NewWindowDrawBytes(form, true) + (int64_t{4} << 20);
  const TScopedMemoryProbe probe([room] { return room; });
  KeyIn(*frame.Open1, frame);
  EXPECT_EQ(Fakes().Messages.size(), 1u);
}

int OpenPlans(const TMainForm& frame) {
  int plans = 0;
  for (QMdiSubWindow* sub : frame.MdiArea->subWindowList())
    if (dynamic_cast<TPlanForm*>(sub->widget()) != nullptr) ++plans;
  return plans;
}

const std::vector<TQuitCase>& QuitCases() {
  static const std::vector<TQuitCase> cases = [] {
  std::vector<TQuitCase> cases{
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
      {"FullScreenTheWindowsOwnWayWithAPlanOpen", FullScreenDocument(false, true, false), 1},
      {"FullScreenThroughTheIndependentViewerWithAPlanOpen", FullScreenDocument(true, true, false), 1},
      {"APlanOpenedWhileTheWindowCoversTheScreen",
       [](const auto& open) {
         Win7FullScreenMode = false;
         TForm3D* form = open();
         form->ToggleFullScreen();
         PlanOf(*form);
       },
       1},
      {"CtrlQWhileTheWindowCoversTheScreen", FullScreenDocument(false, false, false), 0, CtrlQ},
      {"CloseButtonWhileTheWindowCoversTheScreenWithAPlanOpen", FullScreenDocument(false, true, false), 1,
       CloseButton},
      {"CtrlQWhileTheIndependentViewerShowsWithAPlanOpen", FullScreenDocument(true, true, false), 1, CtrlQ},
      {"CloseButtonWhileTheIndependentViewerShows", FullScreenDocument(true, false, false), 0, CloseButton},
      {"UnsavedWhileTheWindowCoversTheScreenSaved", FullScreenDocument(false, false, true), 0, CtrlQ,
       {TMessageResult::Save}},
      {"UnsavedWhileTheWindowCoversTheScreenWithAPlanDiscarded", FullScreenDocument(false, true, true), 1,
       CloseButton, {TMessageResult::Discard}},
      {"UnsavedWhileTheWindowCoversTheScreenCancelled", FullScreenDocument(false, false, true), 0, CtrlQ,
       {TMessageResult::Cancel, TMessageResult::Discard}},
      {"UnsavedWhileTheIndependentViewerShowsSaved", FullScreenDocument(true, false, true), 0, CloseButton,
       {TMessageResult::Save}},
      {"UnsavedWhileTheIndependentViewerShowsWithAPlanCancelled", FullScreenDocument(true, true, true), 1, CtrlQ,
       {TMessageResult::Cancel, TMessageResult::Discard}},
      {"PopupExitWhileTheWindowCoversTheScreenCancelled", FullScreenDocument(false, false, true), 0, PopupExit,
       {TMessageResult::Cancel, TMessageResult::Discard}},
      {"PopupExitFromTheIndependentViewerCancelled", FullScreenDocument(true, false, true), 0, PopupExit,
       {TMessageResult::Cancel, TMessageResult::Discard}},
      {"TheUnsavedDocumentClosedWhileItCoversTheScreen",
       [](const auto& open) {
         TForm3D* form = Document(open, true, true);
         FullScreen(form, false);
         open();
         CloseAndWait(form->window(), form);
       },
       0, CtrlQ, {TMessageResult::Discard}},
      {"TheUnsavedDocumentClosedWhileTheIndependentViewerShows",  // Ctrl+W on its sub-window
       [](const auto& open) {
         TForm3D* form = Document(open, false, true);
         FullScreen(form, true);
         CloseAndWait(form->parentWidget(), form);
       },
       0, CtrlQ, {TMessageResult::Discard}},
      // Alt+Tab to the frame, then the X of the sub-window the view left empty: the
      // question once, with the document in front; after Discard nothing of it is
      // left, and Ctrl+Q does not ask about it again.
      {"TheEmptiedSubWindowOfAnUnsavedDocumentClosedFromTheFrame",
       TheEmptiedSubWindowClosed([](TMainForm&, QMdiSubWindow& sub) { sub.close(); }), 0, CtrlQ,
       {TMessageResult::Discard}},
      {"TheEmptiedSubWindowOfAnUnsavedDocumentClosedByCtrlF4InTheFrame",
       TheEmptiedSubWindowClosed(
           [](TMainForm& frame, QMdiSubWindow&) { view_testing::TypeIn(frame, QKeySequence(Qt::CTRL | Qt::Key_F4)); }),
       0, CtrlQ, {TMessageResult::Discard}},
      {"CtrlQInTheWindowThatCoversTheScreen", FullScreenDocument(false, false, false), 0, CtrlQInTheView},
      {"CtrlQInTheIndependentViewerWithAPlanOpen", FullScreenDocument(true, true, false), 1, CtrlQInTheView},
      {"UnsavedCtrlQInTheWindowThatCoversTheScreenCancelled", FullScreenDocument(false, false, true), 0,
       CtrlQInTheView, {TMessageResult::Cancel, TMessageResult::Discard}},
      {"UnsavedCtrlQInTheIndependentViewerCancelled", FullScreenDocument(true, false, true), 0, CtrlQInTheView,
       {TMessageResult::Cancel, TMessageResult::Discard}},
      {"ADialogOfTheFrameOverTheWindowThatCoversTheScreen", FullScreenDocument(false, false, false), 0,
       ADialogOfTheFrameThenExit},
      {"ADialogOfTheFrameOverTheIndependentViewer", FullScreenDocument(true, false, false), 0,
       ADialogOfTheFrameThenExit},
      {"ASecondDocumentOpenedWhileTheFirstCoversTheScreen",
       [](const auto& open) {
         FullScreen(Document(open, false, false), false);
         Document(open, true, true);
       },
       1, CtrlQ, {TMessageResult::Save}},
      // Each question with its own document in front, the one that covered the
      // screen and the other.
      {"TwoUnsavedDocumentsTheFirstCoveringTheScreen",
       [](const auto& open) {
         TForm3D* first = Document(open, false, true);
         Document(open, false, true);
         FullScreen(first, false);
       },
       0, CtrlQInTheView, {TMessageResult::Discard, TMessageResult::Discard}},
      // The covering document made current in the frame, its view full screen, then
      // Alt+Tab: the frame names it, Ctrl+S there saves it, and the view's title
      // follows.
      {"SaveInTheFrameAfterAltTabFromTheWindowThatCoversTheScreen",
       [](const auto& open) {
         TForm3D* form = Document(open, false, true);
         QMdiSubWindow* sub = SubWindowOf(*form);
         open();
         FrameOf(*form).MdiArea->setActiveSubWindow(sub);
         FullScreen(form, false);
         QWidget* view = form->FullScreenWindow();
         EXPECT_EQ(Shown(*view), "p1.q3d*");
         ExpectTheFrameShows(*form, sub);
         KeyIn(*FrameOf(*form).Save1, FrameOf(*form));
         EXPECT_FALSE(form->Modified());
         EXPECT_EQ(Shown(*view), "p1.q3d");
       },
       0, CtrlQ},
      {"SaveInTheFrameAfterAltTabFromTheIndependentViewer", SaveInTheFrameAfterAltTabFromTheIndependentViewer(false),
       0, CtrlQ},
      // The other document opened first: disabling the view for the independent
      // viewer must not hand the frame's focus, and so its current document, to it.
      {"SaveInTheFrameAfterAltTabFromTheIndependentViewerTheOtherOpenedFirst",
       SaveInTheFrameAfterAltTabFromTheIndependentViewer(true), 0, CtrlQ, {TMessageResult::Discard}},
      {"CtrlWInTheFrameAfterAltTabFromTheIndependentViewerTheOtherOpenedFirst",
       [](const auto& open) {
         TForm3D* other = Document(open, false, false);
         QPointer<TForm3D> form = Document(open, false, true);
         FullScreen(form, true);
         TMainForm& frame = FrameOf(*form);
         ExpectTheFrameShows(*form, SubWindowOf(*form));
         view_testing::TypeIn(frame, QKeySequence(Qt::CTRL | Qt::Key_W));
         EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form.isNull(); }));
         EXPECT_EQ(frame.Forms(), std::vector<TForm3D*>{other});
       },
       0, CtrlQ, {TMessageResult::Discard}},
      {"APlanOpenedAndClosedFromTheFrameWhileTheWindowCoversTheScreen",
       [](const auto& open) {
         TForm3D* form = open();
         QMdiSubWindow* sub = SubWindowOf(*form);
         FullScreen(form, false);
         ASSERT_TRUE(view_testing::Activate(FrameOf(*form)));
         view_testing::ActionOf(*form->SceneMenu, "Horizontal plan")->trigger();
         CloseAndWait(form->PlanForms.back()->FrameWidget());
         ExpectTheFrameShows(*form, sub);
       },
       0, CtrlQ},
      // The Window list names the covering document, and its entry brings the view
      // forward.
      {"TheWindowListBringsTheWindowThatCoversTheScreenForward",
       [](const auto& open) {
         TForm3D* form = open();
         QMdiSubWindow* sub = SubWindowOf(*form);
         TForm3D* other = open();
         FullScreen(form, false);
         TMainForm& frame = FrameOf(*form);
         // Side by side, where the other can be clicked.
         frame.TileVertical1->trigger();
         ClickIn(*other);
         ExpectTheFrameShows(*other, SubWindowOf(*other));
         Q_EMIT frame.WindowMenu->aboutToShow();
         QAction* entry = view_testing::ActionOf(*frame.WindowMenu, "1 p1.q3d");
         ASSERT_NE(entry, nullptr);
         entry->trigger();
         EXPECT_EQ(frame.MdiArea->currentSubWindow(), sub);
         EXPECT_TRUE(RunEventLoopFor(5000, [&] { return QApplication::activeWindow() == form->FullScreenWindow(); }));
       },
       0, CtrlQ},
      {"TheRecentEntryBringsTheIndependentViewerForward",
       [](const auto& open) {
         TForm3D* form = open();
         QMdiSubWindow* sub = SubWindowOf(*form);
         open();
         FullScreen(form, true);
         TMainForm& frame = FrameOf(*form);
         ASSERT_TRUE(view_testing::Activate(frame));
         QAction* entry = frame.RecentItems[1];
         ASSERT_EQ(entry->text().toStdString(), "2 p1.q3d");
         entry->trigger();
         EXPECT_EQ(frame.MdiArea->currentSubWindow(), sub);
         EXPECT_TRUE(RunEventLoopFor(5000, [&] { return QApplication::activeWindow() == form->FullScreenWindow(); }));
       },
       0, CtrlQ},
      // Open typed in the view: the view goes back into the frame, where the opened
      // document is seen.
      {"OpenTypedInTheWindowThatCoversTheScreen",
       [](const auto& open) {
         TForm3D* other = open();
         const std::string name = other->FileName();
         CloseAndWait(other->FrameWidget(), other);
         TForm3D* form = open();
         FullScreen(form, false);
         TMainForm& frame = FrameOf(*form);
         Fakes().FileAnswers.push_back(name);
         KeyIn(*frame.Open1, *form->FullScreenWindow());
         EXPECT_FALSE(form->FullScreen());
         ASSERT_NE(frame.ActiveForm(), nullptr);
         EXPECT_EQ(frame.ActiveForm()->FileName(), name);
       },
       0, CtrlQ},
      {"TheFrameTitleMarksTheMaximisedUnsavedDocumentAfterAPlanOpenedAndClosed",
       TheFrameTitleMarksTheMaximisedDocumentAfter(
           [](TMainForm&, TForm3D& form) { CloseAndWait(PlanOf(form)->FrameWidget()); }),
       0, CtrlQ, {TMessageResult::Discard}},
      {"TheFrameTitleMarksTheMaximisedUnsavedDocumentAfterCtrlOOfAProjectRefusedForMemory",
       TheFrameTitleMarksTheMaximisedDocumentAfter(CtrlOOfAProjectRefusedForMemory), 0, CtrlQ,
       {TMessageResult::Discard}},
      {"TheFrameTitleMarksTheMaximisedUnsavedDocumentAfterANewDocumentOpenedAndClosed",
       TheFrameTitleMarksTheMaximisedDocumentAfter(
           [](TMainForm& frame, TForm3D&) {
             frame.New1->trigger();
             CloseAndWait(frame.Forms().back()->FrameWidget(), frame.Forms().back());
           }),
       0, CtrlQ, {TMessageResult::Discard}},
      // The frame's title follows each change of what it names, whoever writes it.
      {"TheFrameTitleFollowsTheActiveWindow",
       TheFrameTitleFollows([](TMainForm& frame, TForm3D& first, TForm3D&) {
         frame.MdiArea->setActiveSubWindow(SubWindowOf(first));
       }, "QIRA 3D Viewer - [p1.q3d*]"),
       0, CtrlQ, {TMessageResult::Discard}},
      {"TheFrameTitleFollowsTheFocusBackFromAViewCoveringTheScreen",
       TheFrameTitleFollows([](TMainForm& frame, TForm3D&, TForm3D& second) {
         FullScreen(&second, false);
         second.ShiftModel(1, 0, 0);
         ASSERT_TRUE(view_testing::Activate(frame));
       }, "QIRA 3D Viewer - [p2.q3d*]"),
       0, CtrlQ, {TMessageResult::Discard, TMessageResult::Discard}},
      {"TheFrameTitleFollowsACaption",
       TheFrameTitleFollows([](TMainForm&, TForm3D&, TForm3D& second) { second.ShiftModel(1, 0, 0); },
                            "QIRA 3D Viewer - [p2.q3d*]"),
       0, CtrlQ, {TMessageResult::Discard, TMessageResult::Discard}},
      {"TheFrameTitleFollowsTheWindowRestored",
       TheFrameTitleFollows([](TMainForm&, TForm3D&, TForm3D& second) { SubWindowOf(second)->showNormal(); },
                            "QIRA 3D Viewer"),
       0, CtrlQ, {TMessageResult::Discard}},
      {"TheFrameTitleIsPutRightAfterAnotherWritesIt",
       TheFrameTitleFollows([](TMainForm& frame, TForm3D&, TForm3D&) { frame.setWindowTitle(QStringLiteral("x")); },
                            "QIRA 3D Viewer - [p2.q3d]"),
       0, CtrlQ, {TMessageResult::Discard}},
      // A name that holds Qt's placeholder of the mark: the frame's title, the
      // window's and the Window list name the document as it is, unchanged and changed.
      {"ANameHoldingTheMarksPlaceholderIsShownAsItIs",
       [](const auto& open) {
         TForm3D* first = open();
         TMainForm& frame = FrameOf(*first);
         const std::string path =
             std::filesystem::path(first->FileName()).replace_filename("x[*]y.q3d").string();
         std::filesystem::copy_file(first->FileName(), path);
         TForm3D* form = frame.OpenProject(path);
         ASSERT_NE(form, nullptr);
         ASSERT_TRUE(view_testing::Activate(frame));
         QMdiSubWindow* sub = SubWindowOf(*form);
         for (const std::string mark : {"", "*"}) {
           if (!mark.empty()) form->ShiftModel(1, 0, 0);
           sub->showNormal();
           EXPECT_TRUE(RunEventLoopFor(2000, [&] { return Shown(*sub) == "x[*]y.q3d" + mark; }))
               << Shown(*sub);
           EXPECT_EQ(TickedInTheWindowList(frame), std::vector<std::string>{"x[*]y.q3d" + mark});
           sub->showMaximized();
           EXPECT_TRUE(RunEventLoopFor(2000, [&] { return Shown(frame) == "QIRA 3D Viewer - [x[*]y.q3d" + mark + "]"; }))
               << Shown(frame);
         }
         // The view that covers the screen, a window of its own, the same.
         FullScreen(form, false);
         EXPECT_EQ(Shown(*form->FullScreenWindow()), "x[*]y.q3d*");
       },
       0, CtrlQ, {TMessageResult::Discard}},
      // No full screen: a menu of the frame opened and closed with Esc leaves the
      // focus on the menu bar, and Ctrl+W still asks about the current document.
      {"CtrlWInTheFrameAfterAMenuClosedByEscAsksAboutTheCurrentDocument",
       [](const auto& open) {
         Document(open, false, true);
         QPointer<TForm3D> form = Document(open, false, true);
         TMainForm& frame = FrameOf(*form);
         ASSERT_TRUE(view_testing::Activate(frame));
         frame.menuBar()->setActiveAction(frame.FileMenu->menuAction());
         ASSERT_TRUE(RunEventLoopFor(2000, [&] { return frame.FileMenu->isVisible(); }));
         QTest::keyClick(frame.FileMenu->windowHandle(), Qt::Key_Escape);
         ASSERT_TRUE(RunEventLoopFor(2000, [&] { return !frame.FileMenu->isVisible(); }));
         view_testing::TypeIn(frame, CtrlW());
         EXPECT_TRUE(RunEventLoopFor(2000, [&] { return form.isNull(); }));
         EXPECT_EQ(Fakes().Texts(), std::vector<std::string>{"Save changes to p2.q3d?"});
       },
       0, CtrlQ, {TMessageResult::Discard, TMessageResult::Discard}},
  };
  for (const auto& generated : {TheFrameActsOnTheFullScreenDocumentCases(), APickWhileADocumentIsFullScreenCases()})
    cases.insert(cases.end(), generated.begin(), generated.end());
  return cases;
  }();
  return cases;
}

// Records each question asked while a window kept on top is shown, and each asked
// about a document other than the one whose sub-window is current in the frame.
class TWatchedQuestions : public TFakeServices {
 public:
  std::vector<std::string> Hidden;
  std::vector<std::string> NotInFront;
  const TMainForm* Frame = nullptr;
  TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                            int defaultButton) override {
    if (!ShownWindows(true).empty()) Hidden.push_back(text);
    QMdiSubWindow* current = Frame != nullptr ? Frame->MdiArea->currentSubWindow() : nullptr;
    const std::string inFront = current != nullptr ? WithoutMark(Shown(*current)) : std::string();
    if (text.starts_with("Save changes to ") && text != "Save changes to " + inFront + "?") NotInFront.push_back(text);
    return TFakeServices::MessageBox(text, kind, buttons, defaultButton);
  }

 private:
  static std::string WithoutMark(std::string title) {
    if (!title.empty() && title.back() == '*') title.pop_back();
    return title;
  }
};

class QuitWithWindowsOpen : public view_testing::TViewWindowTest,
                            public ::testing::WithParamInterface<TQuitCase> {
 protected:
  void TearDown() override {
    Win7FullScreenMode = false;
    view_testing::TViewWindowTest::TearDown();
  }

  static constexpr int kStillRunning = 99;
  TWatchedQuestions questions_;  // in place of the fixture's services

  // As the program ends (src/app/main.cpp): the frame closes, the application's
  // event loop returns, the frame is destroyed, and then the settings are written.
  void LeaveOpenAndQuit() {
    // One left shown by an earlier test would keep the event loop running.
    ASSERT_EQ(ShownWindows(), std::vector<std::string>{});
    const std::string ini = scratch_.File("QIRA3D.ini");
    scratch_.Put("p.q3d", WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
    auto frame = std::make_unique<TMainForm>();
    frame->setGeometry(0, 0, 1000, 800);
    frame->show();
    questions_.Frame = frame.get();
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
    questions_.BoxAnswers.assign(GetParam().answers.begin(), GetParam().answers.end());
    GetParam().leaveOpen(open);
    if (HasFatalFailure() || IsSkipped()) return;
    EXPECT_EQ(OpenPlans(*frame), GetParam().plansLeft);
    const bool independentViewer = Win7FullScreenMode;
    const std::vector<TForm3D*> forms = frame->Forms();
    const auto covering = std::count_if(forms.begin(), forms.end(), [](TForm3D* f) { return f->FullScreen(); });

    QTimer leave;
    leave.setSingleShot(true);
    QObject::connect(&leave, &QTimer::timeout, frame.get(), [&] {
      GetParam().way(*frame);
      if (GetParam().answers.empty() || GetParam().answers.front() != TMessageResult::Cancel) return;
      // Cancelled: each view that covered the screen covers it again.
      EXPECT_EQ(static_cast<std::ptrdiff_t>(ShownWindows(true).size()), covering);
      GetParam().way(*frame);
    });
    leave.start(0);
    // A guard against a loop left running, not a time limit: far beyond what a
    // slow, loaded machine needs to close everything.
    QTimer stuck;
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(kStillRunning); });
    stuck.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(ShownWindows(), std::vector<std::string>{});
    EXPECT_EQ(questions_.Hidden, std::vector<std::string>{});
    EXPECT_EQ(questions_.NotInFront, std::vector<std::string>{});
    questions_.Frame = nullptr;
    EXPECT_TRUE(questions_.BoxAnswers.empty());
    const std::string newest = frame->Recent()[0];
    ASSERT_FALSE(newest.empty());
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

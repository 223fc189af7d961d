#pragma once
// What the view window tests share: the application, the program's registrations,
// settings in a scratch file (the user's own are never read), recorded user
// services, and helpers to reach the window's tree and menus.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QTreeWidgetItem>

#include <memory>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "model/GraphMain.h"
#include "model/Settings.h"
#include "scene/viewers/FullScreenViewer.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"
#include "ui/ProgramStart.h"
#include "ui/ViewObjectTree.h"
#include "ui/ViewWindow.h"

namespace qira::view_testing {

class TViewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
    RegisterProgramClasses();
    LoadSettings(scratch_.File("QIRA3D.ini"), scratch_.Path());
    Win7FullScreenMode = false;
    IgnoreNextMouseMove = false;
    savedHooks_ = ViewWindowHooks();
    ViewWindowHooks() = TViewWindowHooks{};
    // Closing the frame is never the test program's end.
    ViewWindowHooks().CloseMainFrame = [this] { ++frameCloses_; };
  }
  // The hooks that start-up registered are there again for the tests that follow.
  void TearDown() override { ViewWindowHooks() = savedHooks_; }

  std::unique_ptr<TForm3D> NewDocument() { return std::unique_ptr<TForm3D>(TForm3D::CreateNewDocument()); }

  TScratchFolder scratch_;
  TFakeServices services_;
  TViewWindowHooks savedHooks_;
  int frameCloses_ = 0;
};

// Captions of a menu's actions, in order.
inline std::vector<std::string> Captions(const QMenu& menu) {
  std::vector<std::string> out;
  for (const QAction* action : menu.actions()) out.push_back(action->text().toStdString());
  return out;
}

inline QAction* ActionOf(const QMenu& menu, const std::string& caption) {
  for (QAction* action : menu.actions())
    if (action->text().toStdString() == caption) return action;
  return nullptr;
}

// The top-level node with this text, or null.
inline QTreeWidgetItem* TopNode(const TForm3D& form, const std::string& text) {
  for (int i = 0; i < form.TreeView->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = form.TreeView->topLevelItem(i);
    if (TFormattedTreeView::NodeText(item) == text) return item;
  }
  return nullptr;
}

inline QTreeWidgetItem* NodeOf(const TForm3D& form, const TGraphMain& object) {
  return form.TreeAdapter().Item(object.GetTreeNode());
}

// A mouse press on the tree's viewport at (x, y), as the user makes it.
inline void PressTree(TForm3D& form, Qt::MouseButton button, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), form.TreeView->viewport()->mapToGlobal(QPointF(at)),
                    button, button, Qt::NoModifier);
  QCoreApplication::sendEvent(form.TreeView->viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at),
                      form.TreeView->viewport()->mapToGlobal(QPointF(at)), button, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(form.TreeView->viewport(), &release);
}

// The middle of a node's text, and the middle of its mark.
inline QPoint TextPoint(TForm3D& form, QTreeWidgetItem* node) {
  const TRect r = form.TreeView->NodeTextRect(node);
  return QPoint(r.Left + 40, (r.Top + r.Bottom) / 2);
}
inline QPoint MarkPoint(TForm3D& form, QTreeWidgetItem* node) {
  const TRect r = form.TreeView->NodeTextRect(node);
  return QPoint(r.Left + 8, (r.Top + r.Bottom) / 2);
}

// Makes the window the active one, as the user's Alt+Tab or click does; false when
// the window system does not hand it over.
inline bool Activate(QWidget& window) {
  // A window that has just been shown may still take the activation.
  for (int tries = 0; tries < 5 && QApplication::activeWindow() != &window; ++tries) {
    window.activateWindow();
    RunEventLoopFor(400, [&] { return QApplication::activeWindow() == &window; });
  }
  return QApplication::activeWindow() == &window;
}

// The key's first chord typed in the window once it is active, as the user types it:
// the modifiers go down, the key goes down and up, the modifiers go up, each an
// event of its own. The key may close the window: no event goes to a window that
// is gone (QTest's own press and release send the modifiers' events to the window
// they were given, gone or not). The keys are typed from inside an event loop, as
// the program receives them: what a key leaves to the event loop (a window freed
// once the event is done) happens when that loop gets to it, not halfway through
// the chord, and the next wait of the test sees it done.
inline void TypeIn(QWidget& window, const QKeySequence& key) {
  ASSERT_FALSE(key.isEmpty());
  ASSERT_TRUE(Activate(window));
  QPointer<QWindow> typedIn = window.windowHandle();
  const auto code = static_cast<int>(key[0].key());
  const Qt::KeyboardModifiers chord = key[0].keyboardModifiers();
  const std::pair<Qt::KeyboardModifier, int> modifiers[] = {{Qt::ShiftModifier, Qt::Key_Shift},
                                                            {Qt::ControlModifier, Qt::Key_Control},
                                                            {Qt::AltModifier, Qt::Key_Alt},
                                                            {Qt::MetaModifier, Qt::Key_Meta}};
  const auto send = [&](bool press, int k, Qt::KeyboardModifiers held) {
    if (typedIn) QTest::simulateEvent(typedIn, press, k, held, QString(), false);
  };
  bool typed = false;
  QTimer::singleShot(0, [&] {
    Qt::KeyboardModifiers held;
    for (const auto& [modifier, modifierKey] : modifiers) {
      if (!chord.testFlag(modifier)) continue;
      send(true, modifierKey, held);
      held |= modifier;
    }
    send(true, code, held);
    send(false, code, held);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
      if (!chord.testFlag(it->first)) continue;
      send(false, it->second, held);
      held &= ~it->first;
    }
    typed = true;
  });
  // Not a time limit: the chord is typed at the loop's first turn.
  ASSERT_TRUE(RunEventLoopFor(60000, [&] { return typed; }));
}

// The shown top-level windows; those kept on top of all others alone when asked
// (the flag on the widget or on its native window).
inline std::vector<QWidget*> ShownWindows(bool onTopOnly = false) {
  std::vector<QWidget*> shown;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && (!onTopOnly || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ||
                                (window->windowHandle() != nullptr &&
                                 window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint))))
      shown.push_back(window);
  return shown;
}

// The window that covers the screen while the view is full screen, either way.
inline QWidget* FullScreenWindowOf(TForm3D& form) { return form.FullScreenWindow(); }

}  // namespace qira::view_testing

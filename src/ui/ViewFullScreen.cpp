#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "model/GraphMain.h"
#include "model/Settings.h"
#include "platform/HandlerGuard.h"
#include "platform/WindowStacking.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "ui/CurrentSubWindowHold.h"
#include "ui/ViewObjectTree.h"
#include "ui/ViewWindow.h"

// Full-screen mode of the view window: either the independent full-screen viewer
// (Win7FullScreenMode) or the window itself, borderless and on top of everything
// while it is the active window.

namespace qira {

// The top-level window the view window stands in while it covers the screen.
//
// Qt makes a widget's native window anew whenever the widget turns from a child
// into a top-level window or back, and destroys the old one together with every
// native window inside it, the viewer's among them, while their widgets still
// hold them. Moving the view window from its sub-window into a top-level window
// that already has its native window keeps them all: the viewer's context goes on
// drawing on its own window.
//
// It stays on top of the other windows only while it is active: once the user
// turns to the main frame (Alt+Tab), its menus and dialogs are seen over it, and
// coming back covers the screen again.
class TFullScreenHolder : public QWidget {
 public:
  explicit TFullScreenHolder(TForm3D& form)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), form_(&form) {
    // The program ends with its main frame, not with this window.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
  }
  void Take(TForm3D& form) { layout()->addWidget(&form); }
  // After this the window closes without a word to the view window.
  void Detach() { form_ = nullptr; }

 protected:
  bool event(QEvent* event) override {
    KeepOnTopWhileActive(*this, *event);
    return QWidget::event(event);
  }

  // Closing it closes the document the one way (which leaves full screen and asks).
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (form_ == nullptr) {
      event->accept();
      return;
    }
    QTimer::singleShot(0, form_, [form = form_] { form->close(); });
  }

 private:
  QPointer<TForm3D> form_;
};

void TForm3D::ToggleFullScreen() { SwitchFullScreen(Win7FullScreenMode); }

void TForm3D::ReturnToFullScreen() {
  if (!fullScreen_) SwitchFullScreen(usedFullScreenViewer_);
}

void TForm3D::SwitchFullScreen(bool independentViewer) {
  IgnoreNextMouseMove = true;
  try {
    if (!fullScreen_) {
      EnterFullScreen(independentViewer);
    } else {
      LeaveFullScreen();
    }
  } catch (...) {
    FullScreenSettled();
    throw;
  }
  FullScreenSettled();
}

void TForm3D::FullScreenSettled() {
  FullScreenItem->setChecked(fullScreen_);
  RelinkTreeNodes();
  if (QMdiSubWindow* sub = SubWindow(); sub != nullptr && !fullScreen_) EndHoldWhileFullScreen(*sub);
}

void TForm3D::EnterFullScreen(bool independentViewer) {
  // Leaving must undo the way that was entered, whatever the setting says by then.
  usedFullScreenViewer_ = independentViewer;
  // Moving or disabling the view hands the frame's focus on, and with it the frame's
  // current document: the frame holds this one, whatever path led here.
  if (QMdiSubWindow* sub = SubWindow()) HoldWhileFullScreen(*sub);
  if (usedFullScreenViewer_) {
    GLFullScreenViewer1->UseCurrentResolution();
    GL3DSceneViewer1->setEnabled(false);
    setEnabled(false);
    // The viewers' menu is a child of this window, which has just disabled it with
    // itself; the full-screen viewer shows it, so it must stay usable there. So
    // must the Scene and Objects menus, which the frame shows for this document.
    for (QMenu* menu : {PopupMenu, SceneMenu, ObjectsMenu}) menu->setEnabled(true);
    try {
      GLFullScreenViewer1->SetActive(true);
    } catch (...) {
      GL3DSceneViewer1->setEnabled(true);
      setEnabled(true);
      BringForward();
      throw;
    }
    if (QWidget* window = GLFullScreenViewer1->FullScreenWindow()) window->addAction(CloseDocumentKey);
    fullScreen_ = true;
    UpdateCaption();
    return;
  }
  QWidget* frame = FrameWidget();
  savedWindowState_ = frame->windowState();
  savedGeometry_ = frame->geometry();
  // The screen the frame is on, not the primary one a new window would start on.
  QScreen* target = frame->screen();
  auto holder = std::make_unique<TFullScreenHolder>(*this);
  // Without a window manager a full-screen request changes nothing: the window is
  // given its screen's size outright (with one, it would get that size anyway).
  if (target != nullptr) holder->setGeometry(target->geometry());
  (void)holder->winId();
  holder->Take(*this);  // out of the main frame
  holder->addAction(CloseDocumentKey);
  // The emptied sub-window stays where it was and keeps naming the document: the
  // frame's commands and its Window list reach the document through it, and
  // closing it closes the document the one way (the view window watches its close).
  if (QMdiSubWindow* sub = SubWindow()) sub->setWidget(nullptr);
  fullScreen_ = true;
  // The splitter's handle hides with the tree.
  TreeView->hide();
  show();
  holder->showFullScreen();
  holder->activateWindow();
  GL3DSceneViewer1->setFocus();
  fullScreenHolder_ = holder.release();
  UpdateCaption();
}

void TForm3D::LeaveFullScreen() {
  fullScreen_ = false;
  if (usedFullScreenViewer_) {
    GLFullScreenViewer1->SetActive(false);
    GL3DSceneViewer1->setEnabled(true);
    setEnabled(true);
    BringForward();
    return;
  }
  if (QMdiSubWindow* sub = SubWindow()) {
    sub->setWidget(this);
  } else {
    setParent(nullptr);
  }
  TreeView->show();
  QWidget* frame = FrameWidget();
  frame->setWindowState(savedWindowState_);
  if ((savedWindowState_ & (Qt::WindowMaximized | Qt::WindowFullScreen)) == 0) frame->setGeometry(savedGeometry_);
  show();
  ReleaseFullScreenHolder();
  BringForward();
}

QWidget* TForm3D::FullScreenWindow() const {
  if (!fullScreen_) return nullptr;
  return usedFullScreenViewer_ ? GLFullScreenViewer1->FullScreenWindow() : fullScreenHolder_.data();
}

void TForm3D::ReleaseFullScreenHolder() {
  if (fullScreenHolder_ == nullptr) return;
  TFullScreenHolder* holder = static_cast<TFullScreenHolder*>(fullScreenHolder_.data());
  fullScreenHolder_ = nullptr;
  holder->Detach();
  holder->hide();
  // Its event handler may be running: it goes once that has returned.
  holder->deleteLater();
}

void TForm3D::BringForward() {
  // The frame's current document is the one whose sub-window is current, also
  // while its view covers the screen.
  QMdiSubWindow* sub = SubWindow();
  if (sub != nullptr && sub->isMinimized() && !fullScreen_) sub->showNormal();
  if (sub != nullptr) MakeCurrentSubWindow(*sub);
  QWidget* front = FullScreenWindow();
  if (front == nullptr) front = window();
  front->raise();
  front->activateWindow();
  if (GL3DSceneViewer1->isVisible()) GL3DSceneViewer1->setFocus();
}

}  // namespace qira

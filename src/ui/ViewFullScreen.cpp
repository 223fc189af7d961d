#include <QMdiSubWindow>

#include "model/GraphMain.h"
#include "model/Settings.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "ui/ViewObjectTree.h"
#include "ui/ViewWindow.h"

// Full-screen mode of the view window: either the independent full-screen viewer
// (Win7FullScreenMode) or the window itself, borderless and on top of everything.

namespace qira {

void TForm3D::ToggleFullScreen() {
  IgnoreNextMouseMove = true;
  try {
    if (!fullScreen_) {
      EnterFullScreen();
    } else {
      LeaveFullScreen();
    }
  } catch (...) {
    FullScreenItem->setChecked(fullScreen_);
    RelinkTreeNodes();
    throw;
  }
  FullScreenItem->setChecked(fullScreen_);
  RelinkTreeNodes();
}

void TForm3D::EnterFullScreen() {
  // Leaving must undo the way that was entered, whatever the setting says by then.
  // Where the viewer draws on a window-system surface (X11), the surface cannot
  // follow the window out of the frame: the full-screen viewer shows the scene.
  usedFullScreenViewer_ = Win7FullScreenMode || WindowContextsAvailable();
  if (usedFullScreenViewer_) {
    GLFullScreenViewer1->UseCurrentResolution();
    GL3DSceneViewer1->setEnabled(false);
    setEnabled(false);
    // The viewers' menu is a child of this window, which has just disabled it with
    // itself; the full-screen viewer shows it, so it must stay usable there.
    PopupMenu->setEnabled(true);
    try {
      GLFullScreenViewer1->SetActive(true);
    } catch (...) {
      GL3DSceneViewer1->setEnabled(true);
      setEnabled(true);
      throw;
    }
    fullScreen_ = true;
    return;
  }
  QWidget* frame = FrameWidget();
  savedWindowState_ = frame->windowState();
  savedGeometry_ = frame->geometry();
  if (QMdiSubWindow* sub = SubWindow()) {
    sub->setWidget(nullptr);  // the window leaves the main frame
    sub->hide();
  }
  fullScreen_ = true;
  TreeView->hide();
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  showFullScreen();
}

void TForm3D::LeaveFullScreen() {
  fullScreen_ = false;
  if (usedFullScreenViewer_) {
    GLFullScreenViewer1->SetActive(false);
    GL3DSceneViewer1->setEnabled(true);
    setEnabled(true);
    return;
  }
  setWindowFlags(Qt::Window);
  if (QMdiSubWindow* sub = SubWindow()) {
    sub->setWidget(this);
    sub->show();
  }
  TreeView->show();
  QWidget* frame = FrameWidget();
  frame->setWindowState(savedWindowState_);
  if ((savedWindowState_ & (Qt::WindowMaximized | Qt::WindowFullScreen)) == 0) frame->setGeometry(savedGeometry_);
  show();
}

}  // namespace qira

#include "platform/WindowStacking.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace qira {

void SetStaysOnTopInPlace(QWidget& window, bool onTop) {
  Qt::WindowFlags flags = window.windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
  if (flags == window.windowFlags()) return;
  // The widget's own record of its flags, without telling the window system...
  window.overrideWindowFlags(flags);
  // ...which learns it from the native window, changed as it stands (a window
  // state message to the window manager on X11).
  if (QWindow* handle = window.windowHandle()) handle->setFlags(flags);
}

void KeepOnTopWhileActive(QWidget& window, const QEvent& event) {
  if (event.type() == QEvent::WindowActivate) {
    SetStaysOnTopInPlace(window, true);
    window.raise();
  } else if (event.type() == QEvent::WindowDeactivate) {
    SetStaysOnTopInPlace(window, false);
  }
}

}  // namespace qira

#pragma once
// A window kept on top of the program's other windows only while it is the active
// one: activation puts it on top, deactivation back among the others, so a window
// of the program the user makes active (the main frame, a dialog, a menu) is seen.
class QEvent;
class QWidget;

namespace qira {

// Sets or clears the window's stay-on-top flag on its native window in place.
// Expects a top-level window. QWidget::setWindowFlags would hide the window and
// make it a new native window, losing full screen and whatever draws on the old one.
void SetStaysOnTopInPlace(QWidget& window, bool onTop);

// Call from the window's event handler with each event it receives: on activation
// the window goes on top (and is raised), on deactivation it goes back among the
// others. Other events change nothing.
void KeepOnTopWhileActive(QWidget& window, const QEvent& event);

}  // namespace qira

#pragma once
// The frame's current document while a document of it stands full screen.
//
// QMdiArea makes current whichever sub-window takes the frame's keyboard focus.
// While a view stands outside its sub-window (full screen, either way) the frame's
// focus moves by itself: the view leaving the frame takes the focus with it, a
// disabled view hands it on, the frame activated again gives it to the next widget
// it finds, and each of those would make another document current; the frame's
// commands would then act on a document the user does not see.
//
// So from the moment a document of an area goes full screen until the last one of
// that area comes back, the area's current sub-window is held here: it changes
// only by the program's own picks (MakeCurrentSubWindow: the Window list, a
// document brought forward or opened, a plan opened) and by the user's within the
// area (a mouse press anywhere inside another sub-window: its view, tree, panel or
// any child; Ctrl+Tab / Ctrl+Shift+Tab). Any other activation puts the held
// sub-window back, with the frame's focus on it, so that the next activation of
// the frame starts from it.
class QMdiSubWindow;

namespace qira {

// Makes sub the current sub-window of its area (nothing without one); while a
// document of the area is full screen, it is the one held from now on.
void MakeCurrentSubWindow(QMdiSubWindow& sub);
// A document's view is about to leave its sub-window for full screen: the
// sub-window is made current, takes the frame's focus from the view, and is held
// until every full-screen document of the area has come back. Call before the view
// is moved or disabled.
void HoldWhileFullScreen(QMdiSubWindow& sub);
// The document is back in its sub-window (or did not get to full screen).
void EndHoldWhileFullScreen(QMdiSubWindow& sub);

}  // namespace qira

#pragma once
// A left click (press and release) sent straight to a widget, as the user makes it.
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace qira {

inline void LeftClick(QWidget& widget, const QPointF& at = QPointF(1, 1)) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&widget, &press);
  QApplication::sendEvent(&widget, &release);
}

}  // namespace qira

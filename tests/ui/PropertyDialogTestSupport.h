#pragma once
// What the tests of the property and coordinate dialogs share: the application,
// answering a modal dialog from the event loop, and picking a listed colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>

#include "support/QtTestEnvironment.h"
#include "ui/BoreholeDialogs.h"

namespace qira::dialog_testing {

// Queues `answer` for the first visible dialog of type D: it runs once a modal loop
// (the dialog's own, or one it opens) turns the event loop; seen tells whether it ran.
template <class D>
void AnswerDialog(std::function<void(D&)> answer, bool* seen = nullptr) {
  QTimer::singleShot(0, [answer, seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = dynamic_cast<D*>(w); d && d->isVisible()) {
        if (seen) *seen = true;
        answer(*d);
        return;
      }
    }
  });
}

inline constexpr TColor kRed = 0x0000FF;
inline constexpr TColor kBlue = 0xFF0000;
inline constexpr TColor kSkyBlue = 0xF0CAA6;

// Picks a listed colour the way the user does.
inline void Pick(TBoreholeColorBox& box, TColor color) {
  for (int i = 1; i < box.count(); ++i) {
    if (box.itemData(i).toUInt() == color) {
      box.setCurrentIndex(i);
      Q_EMIT box.activated(i);
      return;
    }
  }
  ADD_FAILURE() << "colour not listed";
}

}  // namespace qira::dialog_testing

#pragma once
// The application object that fonts need, created on first use by any test of this
// program that draws text, and shared with every other test that wants one. It is
// never destroyed: destroyed among the exit handlers, it would tear down Qt's font
// engines after Qt's per-thread data.
#include <QApplication>
#include <QCoreApplication>

namespace qira {

inline void EnsureTestApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "platform_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

}  // namespace qira

#pragma once
// The one Qt application of a test program, for the tests that need fonts,
// widgets or an event loop: created on first use on the platform that
// QT_QPA_PLATFORM names (offscreen when unset, or xcb without a display), shared with every later test
// of the program and never destroyed. Destroyed among the exit handlers, it
// would tear down Qt's font engines and window-system state after Qt's
// per-thread data.
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

namespace qira {

// The application, made when the program has none yet; null when the
// program's application is a QCoreApplication without widgets.
inline QApplication* EnsureTestApplication() {
  if (QCoreApplication::instance() == nullptr) {
    // The window tests ask for xcb; without a display they fall back and skip.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY"))) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "qira_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qobject_cast<QApplication*>(QCoreApplication::instance());
}

// Runs the event loop until `done` (checked every `pollMs`) or `timeoutMs`
// has passed. Returns whether `done` became true.
inline bool RunEventLoopFor(int timeoutMs, const std::function<bool()>& done = {}, int pollMs = 1) {
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  QTimer poll;
  bool finished = false;
  if (done) {
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
      if (done()) {
        finished = true;
        loop.quit();
      }
    });
    poll.start(pollMs);
  }
  deadline.start(timeoutMs);
  if (done && done()) return true;
  loop.exec();
  return finished || (done && done());
}

}  // namespace qira

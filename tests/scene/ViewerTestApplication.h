#pragma once
// The application object of the viewer and cadencer tests: one QApplication
// for the whole test program, created on first use on the platform that
// QT_QPA_PLATFORM names (offscreen when unset) and never destroyed, as Qt's
// font and window-system state must outlive it. RunEventLoopFor runs the
// event loop for a bounded time, or until `done` returns true.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace qira {

inline QApplication* EnsureViewerTestApplication() {
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "scene_tests";
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

#include "platform/HandlerGuard.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/Services.h"

namespace qira {

void ReportHandlerError(const std::string& text, TReportTime when) {
  auto show = [text]() { Services().Messages->ShowMessage(text, TMessageKind::Error); };
  QCoreApplication* app = QCoreApplication::instance();
  if (when == TReportTime::rtAfterHandler && app != nullptr) {
    QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
  } else {
    show();
  }
}

}  // namespace qira

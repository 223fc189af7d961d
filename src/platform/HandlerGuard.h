#pragma once
// Nothing a handler raises may cross a Qt event handler: the handler's work runs
// guarded, and what it raised is shown to the user as an error message.
#include <exception>
#include <string>

namespace qira {

// When the message is shown: at once (clicks and keys of dialogs and controls),
// or once the handler has returned (paint, resize and tick handlers, inside
// which a modal message must not run).
enum class TReportTime { rtNow, rtAfterHandler };

void ReportHandlerError(const std::string& text, TReportTime when);

// Runs work; false when it raised, after reporting what it raised.
template <class F>
bool Guarded(F&& work, TReportTime when = TReportTime::rtNow) noexcept {
  try {
    work();
    return true;
  } catch (const std::exception& e) {
    ReportHandlerError(e.what(), when);
  } catch (...) {
    ReportHandlerError("Unknown error", when);
  }
  return false;
}

}  // namespace qira

#include "widgets/RotateTimer.h"

#include "platform/HandlerGuard.h"
#include "widgets/ShapedButton.h"

namespace qira {

TRotateTimer::TRotateTimer(TShapedButton& button, int32_t intervalMs) : button_(button), interval_(intervalMs) {
  QObject::connect(&timer_, &QTimer::timeout, &timer_,
                   [this] { Guarded([this] { button_.RotationTick(); }, TReportTime::rtAfterHandler); });
}

void TRotateTimer::SetInterval(int32_t ms) {
  interval_ = ms;
  if (!Suspended()) timer_.start(ms);
}

}  // namespace qira

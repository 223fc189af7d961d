#pragma once
// TRotateTimer: what turns a shaped button continuously. While resumed it asks
// its button for one rotation step (ButtonAngle += RotatedAngle) every Interval
// milliseconds.
//
// It ticks on the user-interface thread (a QTimer), not on a worker thread: a
// thread sending its ticks synchronously to the button deadlocks against the
// button's destructor, which waits for the thread to end.
#include <QTimer>

#include <cstdint>

namespace qira {

class TShapedButton;

class TRotateTimer {
 public:
  // Created suspended; the button outlives the timer (it owns it).
  TRotateTimer(TShapedButton& button, int32_t intervalMs);
  TRotateTimer(const TRotateTimer&) = delete;
  TRotateTimer& operator=(const TRotateTimer&) = delete;

  int32_t Interval() const { return interval_; }
  // A running timer takes the new interval at once.
  void SetInterval(int32_t ms);
  bool Suspended() const { return !timer_.isActive(); }
  void Resume() { timer_.start(interval_); }
  void Suspend() { timer_.stop(); }

 private:
  TShapedButton& button_;
  int32_t interval_;
  QTimer timer_;
};

}  // namespace qira

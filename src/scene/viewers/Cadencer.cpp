#include "scene/viewers/Cadencer.h"

// Sections: wall clock; error reports; ASAP ticking; idle ticking;
// TGLCadencer; component streams.

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "platform/Services.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/Scene.h"

namespace qira {

// ================================================================ wall clock

namespace {

TDateTimeSource& DateTimeSourceSlot() {
  static TDateTimeSource source;
  return source;
}

// Days from the class library's day 0 (1899-12-30) to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

double SystemDateTime() {
  using namespace std::chrono;
  const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return kUnixEpochDays + seconds / 86400.0;
}

}  // namespace

void SetDateTimeSource(TDateTimeSource source) { DateTimeSourceSlot() = std::move(source); }

double DateTimeNow() {
  const TDateTimeSource& source = DateTimeSourceSlot();
  return source ? source() : SystemDateTime();
}

// ============================================================= error reports

namespace {

// A tick runs inside an event handler: its error is shown once the handler
// has returned, so that a modal message does not run inside the tick.
void ReportTickError(const std::string& text) {
  auto show = [text]() { Services().Messages->ShowMessage(text, TMessageKind::Error); };
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
  } else {
    show();
  }
}

// Runs one cadencer's tick for a handler. A cadencer whose tick raised is
// disabled (when it still exists) and the error reported once, so that a
// failing handler does not raise again on every following tick.
void TickGuarded(TGLCadencer& cadencer, const std::weak_ptr<int>& alive) {
  std::string error;
  try {
    cadencer.Progress();
    return;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  if (!alive.expired()) {
    try {
      cadencer.SetEnabled(false);
    } catch (...) {
      // Disabling only unregisters; nothing left to report.
    }
  }
  ReportTickError(error);
}

}  // namespace

// ============================================================= ASAP ticking

namespace {

QEvent::Type TickEventType() {
  // Stands in for the registered window message "TickGLCadencer".
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// A tick carries the tick count at which it was posted, so its delivery
// tells how long it waited in the queue.
class TTickEvent final : public QEvent {
 public:
  explicit TTickEvent(uint32_t postedAt) : QEvent(TickEventType()), postedAt_(postedAt) {}
  uint32_t PostedAt() const { return postedAt_; }

 private:
  uint32_t postedAt_;
};

}  // namespace

// The hidden receiver of the ASAP ticks, with the pending fallback timer and
// the count of flooded deliveries. Invariant: while `tickInFlight` is set,
// exactly one tick event or the fallback timer is pending (or a dispatch runs
// and will post the next one).
class TASAPHandler final : public QObject {
 public:
  static TASAPHandler& Instance() {
    // Lives for the process: it may still be the receiver of a queued tick
    // when the last cadencer goes, and it must not be freed inside its own
    // event handler.
    static TASAPHandler* handler = new TASAPHandler();
    return *handler;
  }

  void Register(TGLCadencer& cadencer) {
    if (std::find(list_.begin(), list_.end(), &cadencer) != list_.end()) return;
    list_.push_back(&cadencer);
    if (!tickInFlight_ && !dispatching_) PostTick();
  }

  void Unregister(TGLCadencer& cadencer) {
    auto it = std::find(list_.begin(), list_.end(), &cadencer);
    if (it == list_.end()) return;
    // The dispatch walks the list by index: it is packed afterwards.
    if (dispatching_) {
      *it = nullptr;
    } else {
      list_.erase(it);
    }
  }

  TASAPTickingState State() const {
    TASAPTickingState state;
    state.handlerExists = true;
    state.registered = static_cast<int>(std::count_if(list_.begin(), list_.end(),
                                                      [](TGLCadencer* c) { return c != nullptr; }));
    state.floodedCount = floodedCount_;
    state.timerPending = timerId_ != 0;
    state.timerFallbacks = timerFallbacks_;
    state.ticksDispatched = ticksDispatched_;
    return state;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != TickEventType()) return QObject::event(event);
    NoteDelivery(static_cast<TTickEvent*>(event)->PostedAt());
    if (timerId_ == 0 && !dispatching_) Dispatch();
    return true;
  }

  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() != timerId_) {
      QObject::timerEvent(event);
      return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    floodedCount_ = 0;
    if (!dispatching_) Dispatch();
  }

 private:
  TASAPHandler() = default;

  void PostTick() {
    tickInFlight_ = true;
    QCoreApplication::postEvent(this, new TTickEvent(GetTickCount()));
  }

  // A tick delivered in the millisecond it was posted in means the queue
  // holds nothing but ticks; after more than kASAPFloodLimit of them in a
  // row the next tick waits for a 1 ms timer, which lets everything else
  // that waits (input, paint) through.
  void NoteDelivery(uint32_t postedAt) {
    if (GetTickCount() != postedAt) {
      floodedCount_ = 0;
      return;
    }
    if (++floodedCount_ <= kASAPFloodLimit) return;
    if (timerId_ == 0) {
      timerId_ = startTimer(1, Qt::PreciseTimer);
      ++timerFallbacks_;
    }
    floodedCount_ = 0;
  }

  static bool ApplicationTerminating() {
    return QCoreApplication::instance() == nullptr || QCoreApplication::closingDown();
  }

  void Dispatch() {
    dispatching_ = true;
    ++ticksDispatched_;
    // Last to first; ticks may free any cadencer (its slot becomes null) or
    // register new ones (appended, first ticked next time).
    for (size_t i = list_.size(); i-- > 0;) {
      TGLCadencer* cadencer = list_[i];
      if (cadencer == nullptr || cadencer->Mode() != TGLCadencerMode::cmASAP || !cadencer->Enabled() ||
          cadencer->IsBusy()) {
        continue;
      }
      if (ApplicationTerminating()) {
        cadencer->SetEnabled(false);
        continue;
      }
      TickGuarded(*cadencer, cadencer->alive_);
    }
    list_.erase(std::remove(list_.begin(), list_.end(), nullptr), list_.end());
    dispatching_ = false;
    if (!list_.empty()) {
      PostTick();
    } else {
      tickInFlight_ = false;
    }
  }

  std::vector<TGLCadencer*> list_;
  bool dispatching_ = false;
  bool tickInFlight_ = false;
  int timerId_ = 0;
  int floodedCount_ = 0;
  int64_t timerFallbacks_ = 0;
  int64_t ticksDispatched_ = 0;
};

namespace {
bool gTickHandlerUsed = false;

TASAPHandler& TickHandler() {
  gTickHandlerUsed = true;
  return TASAPHandler::Instance();
}
}  // namespace

TASAPTickingState ASAPTickingState() {
  if (!gTickHandlerUsed) return TASAPTickingState{};
  return TASAPHandler::Instance().State();
}

// ============================================================= idle ticking

// Stands in for the application's idle event: a zero-interval timer runs
// whenever the event loop has nothing else to do. Every idle cadencer is
// ticked (not only the last one registered), and unregistering one leaves
// the others ticking.
class TCadencerIdleHandler final : public QObject {
 public:
  static TCadencerIdleHandler& Instance() {
    static TCadencerIdleHandler* handler = new TCadencerIdleHandler();
    return *handler;
  }

  void Register(TGLCadencer& cadencer) {
    if (std::find(list_.begin(), list_.end(), &cadencer) != list_.end()) return;
    list_.push_back(&cadencer);
    if (timerId_ == 0) timerId_ = startTimer(0);
  }

  void Unregister(TGLCadencer& cadencer) {
    auto it = std::find(list_.begin(), list_.end(), &cadencer);
    if (it == list_.end()) return;
    if (running_) {
      *it = nullptr;
    } else {
      list_.erase(it);
      StopWhenEmpty();
    }
  }

 protected:
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() != timerId_ || running_) {
      QObject::timerEvent(event);
      return;
    }
    running_ = true;
    for (size_t i = 0; i < list_.size(); ++i) {
      TGLCadencer* cadencer = list_[i];
      if (cadencer == nullptr) continue;
      TickGuarded(*cadencer, cadencer->alive_);
    }
    list_.erase(std::remove(list_.begin(), list_.end(), nullptr), list_.end());
    running_ = false;
    StopWhenEmpty();
  }

 private:
  TCadencerIdleHandler() = default;

  void StopWhenEmpty() {
    if (list_.empty() && timerId_ != 0) {
      killTimer(timerId_);
      timerId_ = 0;
    }
  }

  std::vector<TGLCadencer*> list_;
  int timerId_ = 0;
  bool running_ = false;
};

namespace {
bool gIdleHandlerUsed = false;

TCadencerIdleHandler& IdleHandler() {
  gIdleHandlerUsed = true;
  return TCadencerIdleHandler::Instance();
}
}  // namespace

// ================================================================ TGLCadencer

TGLCadencer::TGLCadencer() {
  downTime_ = GetRawReferenceTime();
  originTime_ = downTime_;
}

TGLCadencer::~TGLCadencer() {
  if (gTickHandlerUsed) TASAPHandler::Instance().Unregister(*this);
  if (gIdleHandlerUsed) TCadencerIdleHandler::Instance().Unregister(*this);
}

double TGLCadencer::GetRawReferenceTime() const {
  switch (timeReference_) {
    case TGLCadencerTimeReference::cmRTC:
      return DateTimeNow() * 86400.0;
    case TGLCadencerTimeReference::cmPerformanceCounter: {
      int64_t frequency = 0;
      if (!QueryPerformanceFrequency(frequency) || frequency <= 0) return 0.0;
      int64_t counter = 0;
      QueryPerformanceCounter(counter);
      return static_cast<double>(counter) / static_cast<double>(frequency);
    }
    case TGLCadencerTimeReference::cmExternal:
      return externalTime_;
  }
  return 0.0;
}

double TGLCadencer::GetCurrentTime() {
  currentTime_ = (GetRawReferenceTime() - originTime_) * timeMultiplier_;
  return currentTime_;
}

void TGLCadencer::Reset() {
  lastTime_ = 0.0;
  downTime_ = GetRawReferenceTime();
  originTime_ = downTime_;
}

void TGLCadencer::Progress() {
  if (progressing_ < 0) return;
  if (enabled_ && sleepLength_ >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleepLength_));

  // Every handler below may free this cadencer: after each one, `alive`
  // says whether any member may still be touched.
  const std::weak_ptr<int> alive = alive_;
  struct TDepth {
    TGLCadencer& self;
    const std::weak_ptr<int>& alive;
    ~TDepth() {
      if (!alive.expired()) --self.progressing_;
    }
  };
  ++progressing_;
  TDepth depth{*this, alive};
  if (!enabled_) return;

  double newTime = GetCurrentTime();
  double delta = newTime - lastTime_;
  // Too short a span is not consumed: it adds up to the next tick.
  if (delta < minDeltaTime_ || delta < fixedDeltaTime_) return;
  if (maxDeltaTime_ > 0.0 && delta > maxDeltaTime_) {
    // A stall is cut: the scene loses the excess instead of jumping.
    if (timeMultiplier_ != 0.0) originTime_ += (delta - maxDeltaTime_) / timeMultiplier_;
    delta = maxDeltaTime_;
    newTime = lastTime_ + delta;
  }
  double total = delta;
  const double step = fixedDeltaTime_ > 0.0 ? fixedDeltaTime_ : delta;
  while (total >= step) {
    lastTime_ += step;
    if (scene_ != nullptr && step != 0.0) {
      struct TSceneProgressing {
        TGLCadencer& self;
        const std::weak_ptr<int>& alive;
        ~TSceneProgressing() {
          if (!alive.expired()) self.progressing_ = -self.progressing_;
        }
      };
      progressing_ = -progressing_;
      TSceneProgressing flip{*this, alive};
      scene_->Progress(step, lastTime_);
    }
    if (alive.expired()) return;
    const TProgressTimes times{step, lastTime_};
    for (size_t i = 0; i < subscribers_.size(); ++i) {
      subscribers_[i]->DoProgress(times);
      if (alive.expired()) return;
    }
    if (OnProgress) {
      // A copy: the handler may free the cadencer and with it OnProgress.
      const TGLCadencerProgressEvent handler = OnProgress;
      handler(this, step, newTime);
      if (alive.expired()) return;
    }
    if (step <= 0.0) break;
    total -= step;
  }
}

void TGLCadencer::Subscribe(TGLCadenceAbleComponent& component) {
  if (std::find(subscribers_.begin(), subscribers_.end(), &component) != subscribers_.end()) return;
  subscribers_.push_back(&component);
  FreeNotification(component);
}

void TGLCadencer::UnSubscribe(TGLCadenceAbleComponent& component) {
  auto it = std::find(subscribers_.begin(), subscribers_.end(), &component);
  if (it == subscribers_.end()) return;
  subscribers_.erase(it);
  RemoveFreeNotification(component);
}

void TGLCadencer::SetScene(TGL3DScene* value) {
  if (scene_ == value) return;
  if (scene_ != nullptr) RemoveFreeNotification(*scene_);
  scene_ = value;
  if (scene_ != nullptr) FreeNotification(*scene_);
  UpdateRegistration();
}

void TGLCadencer::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  if (enabled_) {
    // The paused span does not count.
    originTime_ = GetRawReferenceTime() + originTime_ - downTime_;
  } else {
    downTime_ = GetRawReferenceTime();
  }
  UpdateRegistration();
}

void TGLCadencer::SetTimeReference(TGLCadencerTimeReference value) {
  if (timeReference_ == value) return;
  const double oldRaw = GetRawReferenceTime();
  timeReference_ = value;
  const double shift = GetRawReferenceTime() - oldRaw;
  originTime_ += shift;
  downTime_ += shift;
}

void TGLCadencer::SetTimeMultiplier(double value) {
  if (value == timeMultiplier_) return;
  if (value == 0.0) {
    lastMultiplier_ = timeMultiplier_;
    SetEnabled(false);
  } else {
    double sceneTime = 0.0;
    if (timeMultiplier_ == 0.0) {
      SetEnabled(true);
      sceneTime = (GetRawReferenceTime() - originTime_) * lastMultiplier_;
    } else {
      sceneTime = (GetRawReferenceTime() - originTime_) * timeMultiplier_;
    }
    originTime_ = GetRawReferenceTime() - sceneTime / value;
  }
  timeMultiplier_ = value;
}

void TGLCadencer::SetMode(TGLCadencerMode value) {
  if (mode_ == value) return;
  mode_ = value;
  UpdateRegistration();
}

void TGLCadencer::Loaded() {
  TComponent::Loaded();
  UpdateRegistration();
}

void TGLCadencer::UpdateRegistration() {
  const bool ticking = !IsLoading() && !IsDestroying() && scene_ != nullptr && enabled_;
  const bool asap = ticking && mode_ == TGLCadencerMode::cmASAP;
  const bool idle = ticking && mode_ == TGLCadencerMode::cmApplicationIdle;
  if (asap) {
    TickHandler().Register(*this);
  } else if (gTickHandlerUsed) {
    TASAPHandler::Instance().Unregister(*this);
  }
  if (idle) {
    IdleHandler().Register(*this);
  } else if (gIdleHandlerUsed) {
    TCadencerIdleHandler::Instance().Unregister(*this);
  }
}

void TGLCadencer::Notification(TComponent& component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (&component == static_cast<TComponent*>(scene_)) {
    scene_ = nullptr;
    UpdateRegistration();
  }
  auto it = std::find_if(subscribers_.begin(), subscribers_.end(),
                         [&](TGLCadenceAbleComponent* s) { return static_cast<TComponent*>(s) == &component; });
  if (it != subscribers_.end()) subscribers_.erase(it);
}

void RegisterCadencerClasses() { RegisterClass(TGLCadencer::StaticClass()); }

// =========================================================== component streams

void TGLCadencer::DefinePublished(TFiler& filer) {
  TComponent::DefinePublished(filer);
  DefineReference(filer, "Scene", scene_, [this](TComponent& c) {
    if (auto* scene = dynamic_cast<TGL3DScene*>(&c)) SetScene(scene);
  });
  DefineBoolean(filer, "Enabled", enabled_, !enabled_, [this](bool v) { SetEnabled(v); });
  DefineOrdinal(filer, "TimeReference", timeReference_, TGLCadencerTimeReference::cmExternal,
                TGLCadencerTimeReference::cmPerformanceCounter,
                [this](TGLCadencerTimeReference v) { SetTimeReference(v); });
  DefineDouble(filer, "TimeMultiplier", timeMultiplier_, timeMultiplier_ != 1.0,
               [this](double v) { SetTimeMultiplier(v); });
  DefineDouble(filer, "MaxDeltaTime", maxDeltaTime_, true, [this](double v) { SetMaxDeltaTime(v); });
  DefineDouble(filer, "MinDeltaTime", minDeltaTime_, true, [this](double v) { SetMinDeltaTime(v); });
  DefineDouble(filer, "FixedDeltaTime", fixedDeltaTime_, true,
               [this](double v) { SetFixedDeltaTime(v); });
  DefineOrdinal(filer, "Mode", mode_, TGLCadencerMode::cmApplicationIdle, TGLCadencerMode::cmASAP,
                [this](TGLCadencerMode v) { SetMode(v); });
  DefineInteger(filer, "SleepLength", sleepLength_, sleepLength_ != -1, [this](int32_t v) { SetSleepLength(v); });
}

}  // namespace qira

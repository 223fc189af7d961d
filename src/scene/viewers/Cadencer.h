#pragma once
// The time source that drives a scene forward. On each tick the cadencer
// computes the elapsed scene time, advances the scene and its subscribers and
// raises OnProgress. Ticks come from the program (cmManual), from events the
// cadencer's handler posts to itself on the Qt event loop, one per tick
// (cmASAP), or from a zero-interval timer that runs whenever the event loop
// has nothing else to do (cmApplicationIdle).
//
// All of it runs on the user-interface thread. A tick never pumps the event
// queue, and a cadencer (or anything else) may be freed from inside its own
// tick: the tick notices and touches nothing of it afterwards.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scene/components/UpdateAbleObjects.h"

namespace qira {

class TGL3DScene;

enum class TGLCadencerMode : uint8_t { cmManual, cmASAP, cmApplicationIdle };
enum class TGLCadencerTimeReference : uint8_t { cmRTC, cmPerformanceCounter, cmExternal };

using TGLCadencerProgressEvent = std::function<void(TObject* sender, double deltaTime, double newTime)>;

// The wall clock behind cmRTC: the current date and time in days (the class
// library's date-time count, days since 1899-12-30, fractions for the time).
using TDateTimeSource = std::function<double()>;
// Installs the wall clock; an empty function restores the system clock.
void SetDateTimeSource(TDateTimeSource source);
double DateTimeNow();

// Consecutive ticks delivered within the millisecond they were posted in,
// beyond which the next tick waits for a 1 ms timer.
inline constexpr int kASAPFloodLimit = 5000;

class TGLCadencer : public TComponent {
  QIRA_CLASS(TGLCadencer, TComponent)

  // Enabled, cmPerformanceCounter, multiplier 1, cmASAP, no sleep; scene
  // time 0 lies now.
  TGLCadencer();
  // Unregisters from the ASAP or idle ticking.
  ~TGLCadencer() override;

  // ---- ticking
  // One tick: the scene time since the last tick is handed to the scene, the
  // subscribers and OnProgress, in steps of FixedDeltaTime when that is set.
  // Nothing while the scene is progressing (re-entry from the scene) or while
  // disabled. Exceptions of the handlers pass on, with the cadencer's state
  // restored.
  void Progress();
  // True while a tick runs.
  bool IsBusy() const { return progressing_ != 0; }
  // Scene time now, (raw time - OriginTime) * TimeMultiplier; remembered as CurrentTime.
  double GetCurrentTime();
  // The raw time of the time reference, in seconds.
  double GetRawReferenceTime() const;
  // Scene time starts again from 0 now.
  void Reset();

  // ---- subscribers (not owned; a freed subscriber leaves by itself)
  void Subscribe(TGLCadenceAbleComponent& component);
  void UnSubscribe(TGLCadenceAbleComponent& component);
  int SubscriberCount() const { return static_cast<int>(subscribers_.size()); }

  // ---- published properties
  TGL3DScene* Scene() const { return scene_; }
  void SetScene(TGL3DScene* value);
  bool Enabled() const { return enabled_; }
  // Pausing: the span while disabled does not count as scene time.
  void SetEnabled(bool value);
  TGLCadencerTimeReference TimeReference() const { return timeReference_; }
  // The scene time runs on continuously across a change of reference.
  void SetTimeReference(TGLCadencerTimeReference value);
  double TimeMultiplier() const { return timeMultiplier_; }
  // 0 pauses (disables) the cadencer; any other value lets the scene time run
  // on continuously at the new rate (and re-enables a cadencer paused by 0).
  void SetTimeMultiplier(double value);
  double MaxDeltaTime() const { return maxDeltaTime_; }
  void SetMaxDeltaTime(double value) { maxDeltaTime_ = value; }
  double MinDeltaTime() const { return minDeltaTime_; }
  void SetMinDeltaTime(double value) { minDeltaTime_ = value; }
  double FixedDeltaTime() const { return fixedDeltaTime_; }
  void SetFixedDeltaTime(double value) { fixedDeltaTime_ = value; }
  TGLCadencerMode Mode() const { return mode_; }
  void SetMode(TGLCadencerMode value);
  // Milliseconds to sleep at the start of each enabled tick; below 0, none.
  int32_t SleepLength() const { return sleepLength_; }
  void SetSleepLength(int32_t value) { sleepLength_ = value; }

  // ---- state
  // The scene time of the last step.
  double LastTime() const { return lastTime_; }
  double OriginTime() const { return originTime_; }
  void SetOriginTime(double value) { originTime_ = value; }
  // The last computed scene time.
  double CurrentTime() const { return currentTime_; }
  // The raw time of cmExternal, set from outside (seconds).
  double ExternalTime() const { return externalTime_; }
  void SetExternalTime(double value) { externalTime_ = value; }

  TGLCadencerProgressEvent OnProgress;

  void Loaded() override;
  // Scene, Enabled, TimeReference, Mode and SleepLength when not their
  // defaults, TimeMultiplier only when not 1, the delta times always.
  void DefinePublished(TFiler& filer) override;

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  friend class TASAPHandler;
  friend class TCadencerIdleHandler;
  void UpdateRegistration();

  std::vector<TGLCadenceAbleComponent*> subscribers_;
  TGL3DScene* scene_ = nullptr;
  bool enabled_ = true;
  TGLCadencerTimeReference timeReference_ = TGLCadencerTimeReference::cmPerformanceCounter;
  double timeMultiplier_ = 1.0;
  double maxDeltaTime_ = 0.0;
  double minDeltaTime_ = 0.0;
  double fixedDeltaTime_ = 0.0;
  TGLCadencerMode mode_ = TGLCadencerMode::cmASAP;
  int32_t sleepLength_ = -1;
  double lastTime_ = 0.0;
  double downTime_ = 0.0;
  double lastMultiplier_ = 1.0;
  double currentTime_ = 0.0;
  double externalTime_ = 0.0;
  double originTime_ = 0.0;
  // Depth of nested ticks, negated while the scene progresses.
  int32_t progressing_ = 0;
  // Expires with the cadencer, so a tick can tell that a handler freed it.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// What the ASAP ticking is doing, for diagnostics and tests.
struct TASAPTickingState {
  bool handlerExists = false;
  int registered = 0;          // cadencers in the ASAP list
  int floodedCount = 0;        // consecutive ticks delivered in their posting millisecond
  bool timerPending = false;   // the next tick waits for the 1 ms timer
  int64_t timerFallbacks = 0;  // times the timer was armed since start
  int64_t ticksDispatched = 0; // ticks dispatched since start
};
TASAPTickingState ASAPTickingState();

// Registers TGLCadencer with the class registry.
void RegisterCadencerClasses();

}  // namespace qira

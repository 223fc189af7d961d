#include "scene/viewers/Cadencer.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Rounding.h"
#include "scene/graph/CameraLight.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/graph/Scene.h"
#include "support/FakeServices.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A performance counter in microseconds that moves only when told, or by
// `stepPerRead` on every read.
struct TFakeClock {
  static inline int64_t now = 0;
  static inline int64_t stepPerRead = 0;
  static void Install() {
    now = 1'000'000'000;  // far from 0, so origins are not accidentally 0
    stepPerRead = 0;
    SetPerformanceClock(TPerformanceClock{[] {
                                            now += stepPerRead;
                                            return now;
                                          },
                                          1'000'000});
  }
  static void Advance(double seconds) { now += RoundToInt64(seconds * 1e6); }
};

struct TStep {
  double delta;
  double newTime;
};

class Cadencer : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    TFakeClock::Install();
  }
  void TearDown() override {
    SetPerformanceClock(TPerformanceClock{});
    SetDateTimeSource({});
  }

  // A manual cadencer that records its steps.
  std::unique_ptr<TGLCadencer> Manual() {
    auto cadencer = std::make_unique<TGLCadencer>();
    cadencer->SetMode(TGLCadencerMode::cmManual);
    cadencer->OnProgress = [this](TObject*, double delta, double newTime) {
      steps.push_back({delta, newTime});
    };
    return cadencer;
  }

  std::vector<TStep> steps;
};

// ------------------------------------------------------------- time sources

TEST_F(Cadencer, PerformanceCounterIsTheDefaultReferenceAndCountsSeconds) {
  TGLCadencer cadencer;
  EXPECT_EQ(cadencer.TimeReference(), TGLCadencerTimeReference::cmPerformanceCounter);
  EXPECT_DOUBLE_EQ(cadencer.GetRawReferenceTime(), 1000.0);
  EXPECT_DOUBLE_EQ(cadencer.GetCurrentTime(), 0.0);
  TFakeClock::Advance(1.25);
  EXPECT_DOUBLE_EQ(cadencer.GetCurrentTime(), 1.25);
  EXPECT_DOUBLE_EQ(cadencer.CurrentTime(), 1.25);
}

TEST_F(Cadencer, ClockWithoutFrequencyGivesZeroRawTime) {
  SetPerformanceClock(TPerformanceClock{[] { return int64_t{123}; }, 0});
  TGLCadencer cadencer;
  EXPECT_EQ(cadencer.GetRawReferenceTime(), 0.0);
}

// ------------------------------------------------------------- progress rules

TEST_F(Cadencer, FixedStepAtOneFifthSpeedRunsSixtyStepsPerRealSecond) {
  auto cadencer = Manual();
  cadencer->SetTimeMultiplier(0.2);
  cadencer->SetFixedDeltaTime(0.0033333333);
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  ASSERT_EQ(steps.size(), 60u);
  for (const TStep& s : steps) {
    EXPECT_DOUBLE_EQ(s.delta, 0.0033333333);
    EXPECT_NEAR(s.newTime, 0.2, 1e-9);  // every step of one tick reports the tick's time
  }
  EXPECT_NEAR(cadencer->LastTime(), 60 * 0.0033333333, 1e-12);
}

TEST_F(Cadencer, FixedStepCarriesTheRemainderToTheNextTick) {
  auto cadencer = Manual();
  // Binary fractions, so that the sums are exact.
  cadencer->SetFixedDeltaTime(0.125);
  TFakeClock::Advance(0.3125);
  cadencer->Progress();
  EXPECT_EQ(steps.size(), 2u);
  EXPECT_EQ(cadencer->LastTime(), 0.25);
  TFakeClock::Advance(0.0625);
  cadencer->Progress();
  EXPECT_EQ(steps.size(), 3u);
  EXPECT_EQ(cadencer->LastTime(), 0.375);
}

TEST_F(Cadencer, TickShorterThanMinDeltaTimeIsNotConsumed) {
  auto cadencer = Manual();
  cadencer->SetMinDeltaTime(0.02);
  TFakeClock::Advance(0.015);
  cadencer->Progress();
  EXPECT_TRUE(steps.empty());
  TFakeClock::Advance(0.015);
  cadencer->Progress();
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_NEAR(steps[0].delta, 0.03, 1e-12);
}

TEST_F(Cadencer, StallBeyondMaxDeltaTimeAdvancesOnlyByTheMaximum) {
  auto cadencer = Manual();
  cadencer->SetMaxDeltaTime(0.1);
  TFakeClock::Advance(2.0);
  cadencer->Progress();
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_NEAR(steps[0].delta, 0.1, 1e-12);
  EXPECT_NEAR(steps[0].newTime, 0.1, 1e-12);
  // The stall is dropped, not owed: the next tick sees only its own time.
  TFakeClock::Advance(0.05);
  cadencer->Progress();
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_NEAR(steps[1].delta, 0.05, 1e-9);
}

TEST_F(Cadencer, MultiplierZeroPausesAndAnotherValueResumesWhereItStopped) {
  auto cadencer = Manual();
  TFakeClock::Advance(1.0);
  cadencer->SetTimeMultiplier(0.0);
  EXPECT_FALSE(cadencer->Enabled());
  TFakeClock::Advance(5.0);
  cadencer->Progress();
  EXPECT_TRUE(steps.empty());
  cadencer->SetTimeMultiplier(2.0);
  EXPECT_TRUE(cadencer->Enabled());
  EXPECT_NEAR(cadencer->GetCurrentTime(), 1.0, 1e-9);
  TFakeClock::Advance(0.5);
  EXPECT_NEAR(cadencer->GetCurrentTime(), 2.0, 1e-9);
}

TEST_F(Cadencer, TenSecondsDisabledDoNotCountInTheNextDelta) {
  auto cadencer = Manual();
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  cadencer->SetEnabled(false);
  TFakeClock::Advance(10.0);
  cadencer->Progress();
  EXPECT_EQ(steps.size(), 1u);
  cadencer->SetEnabled(true);
  TFakeClock::Advance(0.5);
  cadencer->Progress();
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_NEAR(steps[1].delta, 0.5, 1e-9);
  EXPECT_NEAR(steps[1].newTime, 1.5, 1e-9);
}

// A subscriber that records the times it is given.
class TRecordingSubscriber : public TGLCadenceAbleComponent {
 public:
  void DoProgress(const TProgressTimes& times) override { seen.push_back(times.newTime); }
  std::vector<double> seen;
};

TEST_F(Cadencer, SceneAndSubscribersProgressWithEveryStepInThatOrder) {
  TGL3DScene scene;
  auto cadencer = Manual();
  cadencer->SetScene(&scene);
  std::vector<std::string> order;
  scene.Objects().OnProgress = [&](TObject*, double delta, double newTime) {
    order.push_back("scene " + std::to_string(delta) + " " + std::to_string(newTime));
  };
  auto subscriber = std::make_unique<TRecordingSubscriber>();
  cadencer->Subscribe(*subscriber);
  cadencer->Subscribe(*subscriber);  // once only
  cadencer->OnProgress = [&](TObject*, double, double) { order.push_back("event"); };
  cadencer->SetFixedDeltaTime(0.5);
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  EXPECT_EQ(order, (std::vector<std::string>{"scene 0.500000 0.500000", "event",
                                             "scene 0.500000 1.000000", "event"}));
  EXPECT_EQ(subscriber->seen, (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(cadencer->SubscriberCount(), 1);
  subscriber.reset();
  EXPECT_EQ(cadencer->SubscriberCount(), 0);
  TFakeClock::Advance(1.0);
  cadencer->Progress();  // no freed subscriber is called
}

TEST_F(Cadencer, ProgressFromInsideTheScenesProgressDoesNothing) {
  TGL3DScene scene;
  auto cadencer = Manual();
  cadencer->SetScene(&scene);
  int sceneSteps = 0;
  scene.Objects().OnProgress = [&](TObject*, double, double) {
    ++sceneSteps;
    EXPECT_TRUE(cadencer->IsBusy());
    TFakeClock::Advance(1.0);
    cadencer->Progress();
  };
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  EXPECT_EQ(sceneSteps, 1);
  EXPECT_EQ(steps.size(), 1u);
  EXPECT_FALSE(cadencer->IsBusy());
}

TEST_F(Cadencer, FreedSceneIsForgotten) {
  auto scene = std::make_unique<TGL3DScene>();
  auto cadencer = Manual();
  cadencer->SetScene(scene.get());
  scene.reset();
  EXPECT_EQ(cadencer->Scene(), nullptr);
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  EXPECT_EQ(steps.size(), 1u);
}

TEST_F(Cadencer, ExceptionOfAHandlerPassesOnAndLeavesTheCadencerUsable) {
  auto cadencer = Manual();
  cadencer->OnProgress = [](TObject*, double, double) { throw std::runtime_error("boom"); };
  TFakeClock::Advance(1.0);
  EXPECT_THROW(cadencer->Progress(), std::runtime_error);
  EXPECT_FALSE(cadencer->IsBusy());
  int calls = 0;
  cadencer->OnProgress = [&](TObject*, double, double) { ++calls; };
  TFakeClock::Advance(1.0);
  cadencer->Progress();
  EXPECT_EQ(calls, 1);
}

TEST_F(Cadencer, CadencerFreedByItsOwnManualTickIsNotTouchedAgain) {
  auto cadencer = Manual();
  cadencer->SetFixedDeltaTime(0.1);
  int calls = 0;
  cadencer->OnProgress = [&](TObject*, double, double) {
    ++calls;
    cadencer.reset();
  };
  TFakeClock::Advance(1.0);
  TGLCadencer* raw = cadencer.get();
  raw->Progress();  // ten steps were due; the first frees it
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cadencer, nullptr);
}

// --------------------------------------------------------------- ASAP ticking

class CadencerTicking : public Cadencer {
 protected:
  void SetUp() override {
    Cadencer::SetUp();
    TFakeClock::stepPerRead = 1000;  // 1 ms per read: never flooded
  }
  TGL3DScene scene;
};

TEST_F(CadencerTicking, AsapTicksArriveThroughTheEventLoopNotAtRegistration) {
  TGLCadencer cadencer;
  int ticks = 0;
  cadencer.OnProgress = [&](TObject*, double, double) { ++ticks; };
  cadencer.SetScene(&scene);
  EXPECT_EQ(ASAPTickingState().registered, 1);
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return ticks >= 50; }));
  cadencer.SetEnabled(false);
  EXPECT_EQ(ASAPTickingState().registered, 0);
  const int stopped = ticks;
  RunEventLoopFor(30);
  EXPECT_EQ(ticks, stopped);
}

TEST_F(CadencerTicking, IdleModeTicksWhileTheLoopIsIdleAndEachCadencerLeavesAlone) {
  TGLCadencer first;
  TGLCadencer second;
  int counts[2] = {0, 0};
  first.OnProgress = [&](TObject*, double, double) { ++counts[0]; };
  second.OnProgress = [&](TObject*, double, double) { ++counts[1]; };
  for (TGLCadencer* c : {&first, &second}) {
    c->SetMode(TGLCadencerMode::cmApplicationIdle);
    c->SetScene(&scene);
  }
  EXPECT_EQ(ASAPTickingState().registered, 0);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return counts[0] >= 10 && counts[1] >= 10; }));
  first.SetMode(TGLCadencerMode::cmManual);
  const int firstStopped = counts[0];
  const int secondBefore = counts[1];
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return counts[1] >= secondBefore + 10; }));
  EXPECT_EQ(counts[0], firstStopped);
}

TEST_F(CadencerTicking, CadencerFreedInsideItsTickDoesNotCrashAndTheOthersTickOn) {
  auto doomed = std::make_unique<TGLCadencer>();
  auto victim = std::make_unique<TGLCadencer>();
  TGLCadencer survivor;
  int survivorTicks = 0;
  int doomedTicks = 0;
  survivor.OnProgress = [&](TObject*, double, double) { ++survivorTicks; };
  victim->OnProgress = [&](TObject*, double, double) { ADD_FAILURE() << "a freed cadencer ticked"; };
  // Ticks run last to first: the doomed one (registered last) frees itself
  // and the one registered before it in the same dispatch.
  doomed->OnProgress = [&](TObject*, double, double) {
    ++doomedTicks;
    victim.reset();
    doomed.reset();
  };
  survivor.SetScene(&scene);
  victim->SetScene(&scene);
  doomed->SetScene(&scene);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return survivorTicks >= 20; }));
  EXPECT_EQ(doomedTicks, 1);
  EXPECT_EQ(doomed, nullptr);
  EXPECT_EQ(ASAPTickingState().registered, 1);
}

TEST_F(CadencerTicking, LastCadencerFreedInsideItsTickStopsTheTicking) {
  auto cadencer = std::make_unique<TGLCadencer>();
  cadencer->OnProgress = [&](TObject*, double, double) { cadencer.reset(); };
  cadencer->SetScene(&scene);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return cadencer == nullptr; }));
  RunEventLoopFor(20);
  EXPECT_EQ(ASAPTickingState().registered, 0);
  // A new cadencer starts the ticking again.
  TGLCadencer next;
  int ticks = 0;
  next.OnProgress = [&](TObject*, double, double) { ++ticks; };
  next.SetScene(&scene);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return ticks >= 5; }));
}

TEST_F(CadencerTicking, FailingTickIsReportedOnceAndItsCadencerStops) {
  TFakeServices services;
  TGLCadencer failing;
  TGLCadencer healthy;
  int failures = 0;
  int healthyTicks = 0;
  failing.OnProgress = [&](TObject*, double, double) {
    ++failures;
    throw std::runtime_error("tick failed");
  };
  healthy.OnProgress = [&](TObject*, double, double) { ++healthyTicks; };
  failing.SetScene(&scene);
  healthy.SetScene(&scene);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return healthyTicks >= 20 && !services.Messages.empty(); }));
  EXPECT_EQ(failures, 1);
  EXPECT_FALSE(failing.Enabled());
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Text, "tick failed");
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
}

TEST_F(CadencerTicking, TicksDeliveredInTheirPostingMillisecondFallBackToATimer) {
  TFakeClock::stepPerRead = 0;  // every tick is delivered in the millisecond it was posted
  const TASAPTickingState before = ASAPTickingState();
  TGLCadencer cadencer;
  int ticks = 0;
  TASAPTickingState first;
  int64_t dispatchedAtFallback = -1;
  cadencer.OnProgress = [&](TObject*, double, double) {
    const TASAPTickingState now = ASAPTickingState();
    if (ticks++ == 0) first = now;
    if (dispatchedAtFallback < 0 && now.timerFallbacks > before.timerFallbacks) {
      dispatchedAtFallback = now.ticksDispatched;
    }
  };
  cadencer.SetScene(&scene);
  EXPECT_TRUE(RunEventLoopFor(20000, [&] { return dispatchedAtFallback >= 0 && ticks > kASAPFloodLimit + 10; }));
  const TASAPTickingState after = ASAPTickingState();
  EXPECT_EQ(after.timerFallbacks, before.timerFallbacks + 1);
  // Ticks were dispatched while the flood count ran up to the limit; the
  // tick beyond it was not: the timer's tick was.
  EXPECT_EQ(dispatchedAtFallback - first.ticksDispatched, kASAPFloodLimit + 1 - first.floodedCount);
  EXPECT_FALSE(after.timerPending);
}

}  // namespace
}  // namespace qira

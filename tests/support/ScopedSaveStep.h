#pragma once
// Runs `act` at the steps of every save (TSaveStep) for the object's lifetime: a
// test acts between a save's checks and its open, or before it puts back.
#include <functional>
#include <string>
#include <utility>

#include "platform/BinaryStream.h"

namespace qira {

// The two ways a save goes: a file of one name by rename, one with a second name
// (hard-linked) in place.
struct TSaveWay {
  const char* Way;
  bool Linked;
};
inline constexpr TSaveWay kSaveWays[] = {{"by rename", false}, {"in place", true}};

class TScopedSaveStep {
 public:
  explicit TScopedSaveStep(std::function<void(TSaveStep step, const std::string& target)> act) {
    SetSaveStepHookForTesting(std::move(act));
  }
  ~TScopedSaveStep() { SetSaveStepHookForTesting(nullptr); }
  TScopedSaveStep(const TScopedSaveStep&) = delete;
  TScopedSaveStep& operator=(const TScopedSaveStep&) = delete;
};

}  // namespace qira

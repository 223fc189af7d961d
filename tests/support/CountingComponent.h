#pragma once
// A component that stands at the top of an ownership chain and counts the
// change notifications that reach it.
#include "scene/components/UpdateAbleObjects.h"

namespace qira {

class TCountingComponent : public TGLUpdateAbleComponent {
 public:
  void NotifyChange(TObject* sender) override {
    ++notified;
    lastSender = sender;
  }
  int notified = 0;
  TObject* lastSender = nullptr;
};

}  // namespace qira

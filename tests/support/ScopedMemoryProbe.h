#pragma once
// The memory the program may use, told by a probe for as long as this lives; the
// system's own figures again afterwards, however the test leaves.
#include <utility>

#include "platform/AvailableMemory.h"

namespace qira {

class TScopedMemoryProbe {
 public:
  explicit TScopedMemoryProbe(TAvailableMemoryProbe probe) { SetAvailableMemoryProbe(std::move(probe)); }
  ~TScopedMemoryProbe() { SetAvailableMemoryProbe({}); }
  TScopedMemoryProbe(const TScopedMemoryProbe&) = delete;
  TScopedMemoryProbe& operator=(const TScopedMemoryProbe&) = delete;
};

}  // namespace qira

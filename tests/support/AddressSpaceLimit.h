#pragma once
// An address-space limit (RLIMIT_AS) set `room` bytes above what the process holds
// now, for the child processes of death tests. False when it cannot be set.
#include <sys/resource.h>

#include <cstdint>

#include "platform/AvailableMemory.h"

namespace qira {

inline bool LimitAddressSpace(int64_t room) {
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = static_cast<rlim_t>(ReadMemoryFigures().AddressSpaceUsed + room);
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

}  // namespace qira

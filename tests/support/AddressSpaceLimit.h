#pragma once
// An address-space limit (RLIMIT_AS) set `room` bytes above what the process holds
// now, for the child processes of death tests. False when it cannot be set.
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/AvailableMemory.h"

namespace qira {

inline bool LimitAddressSpace(int64_t room) {
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = static_cast<rlim_t>(ReadMemoryFigures().AddressSpaceUsed + room);
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

// LimitAddressSpace, then every block of `room` bytes or more that the allocator
// can still give is taken and kept: an allocation of more than twice `room` then
// fails whatever the allocator kept from what was freed before (a freed render's
// buffers), with or without the sanitizer's quarantine. Smaller ones are still had.
inline bool LimitAddressSpaceAndTakeFreeBlocks(int64_t room) {
  static auto* held = new std::vector<void*>();  // the child ends with them
  held->reserve(4096);
  if (!LimitAddressSpace(room)) return false;
  for (size_t size = size_t{1} << 30; size >= static_cast<size_t>(room); size /= 2) {
    while (held->size() < held->capacity()) {
      void* block = std::malloc(size);
      if (block == nullptr) break;
      held->push_back(block);
    }
  }
  return true;
}

}  // namespace qira

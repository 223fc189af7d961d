#pragma once
// How much physical memory the program may still take, asked before a large
// allocation so that it can be refused with a message instead of the program
// being killed.
#include <cstdint>
#include <functional>

namespace qira {

// Bytes of physical memory available now: MemAvailable of /proc/meminfo, else
// the available pages the system reports. Replaceable so tests can pretend.
using TAvailableMemoryProbe = std::function<int64_t()>;
int64_t AvailableMemory();
// An empty probe brings back the system's.
void SetAvailableMemoryProbe(TAvailableMemoryProbe probe);

}  // namespace qira

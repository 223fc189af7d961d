#pragma once
// How much memory the program may still take, asked before a large allocation so
// that it can be refused with a message instead of failing half-way or the program
// being killed. A process meets more limits than the machine's free memory: its
// address-space limit (RLIMIT_AS) and the memory limit of its control group and of
// every group above it (memory.max).
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

namespace qira {

// What the limits are made of, in bytes; -1 where a figure is unknown or there is
// no limit.
struct TMemoryFigures {
  int64_t SystemAvailable = -1;    // MemAvailable of /proc/meminfo
  int64_t AddressSpaceLimit = -1;  // soft RLIMIT_AS; -1 unlimited
  int64_t AddressSpaceUsed = -1;   // VmSize of /proc/self/status (read with or without a limit)
  int64_t GroupRoom = -1;          // least memory.max - memory.current of the process's groups
};

// The least room the figures leave (never negative); 1 GB when none is known.
int64_t AvailableMemoryOf(const TMemoryFigures& figures);

// The soft address-space limit (RLIMIT_AS) in bytes; -1 without one.
int64_t AddressSpaceLimit();

// The figures of this process now. The roots are replaceable for tests.
TMemoryFigures ReadMemoryFigures(const std::string& procRoot = "/proc", const std::string& cgroupRoot = "/sys/fs/cgroup");

// The least room of the process's group and its ancestors under cgroupRoot, given
// the lines of /proc/self/cgroup (version 2 "0::/path", or version 1 with a
// "memory" controller); -1 without a limit.
int64_t ControlGroupRoom(const std::string& selfCgroup, const std::string& cgroupRoot);

// Bytes available now: AvailableMemoryOf(ReadMemoryFigures()). Replaceable so
// tests can pretend.
using TAvailableMemoryProbe = std::function<int64_t()>;
int64_t AvailableMemory();
// An empty probe brings back the system's.
void SetAvailableMemoryProbe(TAvailableMemoryProbe probe);

// True when `bytes` more fit in what the program may take. Reading the limits
// costs tens of microseconds, more than decoding a small picture, so a need under
// a sixteenth of the room read less than a second ago is taken as fitting without
// reading them again; a larger need always reads them. A test's probe is always
// asked.
bool MemoryFits(int64_t bytes);

// ---- What a count takes for containers that grow as a reader fills them
// A count taken as a reader reads, each element counted before it is added, covers the
// next growth of the container the element goes into before that growth happens: a
// growth takes the new array while the old one is still alive. So each element is
// counted at its share of that moment, not of the container at rest.

// The heap block a request of `bytes` takes: with its 8-byte header, in steps of 16,
// 32 at the least (glibc's allocator on 64-bit machines).
constexpr int64_t HeapBlockBytes(int64_t bytes) { return std::max<int64_t>(32, (bytes + 8 + 15) / 16 * 16); }

// An element of `elementBytes` in an array that doubles as it grows (a vector): at a
// growth the n elements held stand in the old array and in the new one of 2n, three
// places each.
constexpr int64_t GrowingArrayElementBytes(int64_t elementBytes) { return 3 * elementBytes; }

// An entry holding `valueBytes` in a hash table of nodes (std::unordered_set, _map):
// its node (the value with its link and its cached hash) and its share of the bucket
// arrays at a growth (one bucket an entry before it, the old array beside the new of
// twice as many, rounded up to a prime: four pointers an entry).
constexpr int64_t GrowingHashEntryBytes(int64_t valueBytes) {
  return HeapBlockBytes(valueBytes + 2 * static_cast<int64_t>(sizeof(void*))) + 4 * static_cast<int64_t>(sizeof(void*));
}

// The clause of a refusal that weighs what was needed against the memory available
// now (whole megabytes, rounded down): "more than the <m> MB available now" when
// it is more. Otherwise an allocation failed though the count let it through (memory
// taken meanwhile, a driver's buffer): "which could not be had with the <m> MB
// available now", never a claim that more could be used than was asked for.
std::string MemoryShortfallClause(int64_t neededBytes, int64_t availableBytes);

}  // namespace qira

#pragma once
// How much memory the program may still take, asked before a large allocation so
// that it can be refused with a message instead of failing half-way or the program
// being killed. A process meets more limits than the machine's free memory: its
// address-space limit (RLIMIT_AS) and the memory limit of its control group and of
// every group above it (memory.max).
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

// The clause of a refusal that weighs what was needed against the memory available
// now (whole megabytes, rounded down): "more than the <m> MB available now" when
// it is more. Otherwise an allocation failed though the count let it through (memory
// taken meanwhile, a driver's buffer): "which could not be had with the <m> MB
// available now", never a claim that more could be used than was asked for.
std::string MemoryShortfallClause(int64_t neededBytes, int64_t availableBytes);

}  // namespace qira

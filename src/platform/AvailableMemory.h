#pragma once
// How much memory the program may still take, asked before a large allocation so
// that it can be refused with a message instead of failing half-way or the program
// being killed. A process meets more limits than the machine's free memory: its
// address-space limit (RLIMIT_AS) and the memory limit of its control group and of
// every group above it (memory.max).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qira {

// What the limits are made of, in bytes; -1 where a figure is unknown or there is
// no limit.
struct TMemoryFigures {
  int64_t SystemAvailable = -1;    // MemAvailable of /proc/meminfo
  int64_t AddressSpaceLimit = -1;  // soft RLIMIT_AS; -1 unlimited
  int64_t AddressSpaceUsed = -1;   // VmSize of /proc/self/status (read with or without a limit)
  int64_t GroupRoom = -1;          // least memory.max - memory.current of the process's groups,
                                   // each group's clean file pages counted as room
};

// The least room the figures leave (never negative); 1 GB when none is known.
int64_t AvailableMemoryOf(const TMemoryFigures& figures);

// The soft address-space limit (RLIMIT_AS) in bytes; -1 without one.
int64_t AddressSpaceLimit();

// The figures of this process now. The roots are replaceable for tests.
TMemoryFigures ReadMemoryFigures(const std::string& procRoot = "/proc", const std::string& cgroupRoot = "/sys/fs/cgroup");

// The least room of the process's group and its ancestors under cgroupRoot, given
// the lines of /proc/self/cgroup (version 2 "0::/path", or version 1 with a
// "memory" controller); -1 without a limit. A group's clean file pages (memory.stat:
// active and inactive file pages less those dirty or being written) are room: the group
// reclaims them before it kills.
int64_t ControlGroupRoom(const std::string& selfCgroup, const std::string& cgroupRoot);

// Bytes available now: AvailableMemoryOf(ReadMemoryFigures()), read at less cost: the
// groups and which of them have a limit are kept for a second, a group without one is
// not read, a group's page cache (memory.stat) only where it could be the least room,
// the address space's use only under its limit. A reading opens /proc/meminfo and two
// files of each limited group at the most: some 15 microseconds measured, 45 in a
// memory group whose limit binds (its memory.stat). Replaceable so tests can pretend.
using TAvailableMemoryProbe = std::function<int64_t()>;
int64_t AvailableMemory();
// An empty probe brings back the system's.
void SetAvailableMemoryProbe(TAvailableMemoryProbe probe);
// For tests of the system's reading: its files read under procRoot and cgroupRoot in
// place of "/proc" and "/sys/fs/cgroup" (empty: those again), nothing read before kept;
// and the clock its kept figures age by moved on by `later`, as if that time had passed.
void SetMemoryFilesForTesting(const std::string& procRoot, const std::string& cgroupRoot);
void AdvanceMemoryClockForTesting(std::chrono::nanoseconds later);

// True when `bytes` more fit in what the program may take. A reading of the limits
// costs more than decoding a small picture, so a need under a sixteenth of the room
// read less than a second ago is taken as fitting without reading them again; a
// larger need always reads them. A test's probe is always asked.
bool MemoryFits(int64_t bytes);

// The room for one of many steps weighed object by object (a section's sheet as a
// project's tree is built, a section file's grid): what the last reading of this
// thread left, less the steps weighed with it since, while they stay within what a
// TMemoryWatch lets through unlooked (an eighth of that room, 256 KB to 4 MB) and the
// reading is less than a second old; AvailableMemory() read afresh otherwise. So a
// step of that size or more, and one the room left cannot hold, always reads, and many
// small ones read once per 256 KB at the most. `bytes` is the step's need, less what
// it frees first. A test's probe is read the same way (its figures do not age), and
// afresh once it is replaced.
int64_t AvailableMemoryForStep(int64_t bytes);

// ---- A reading's look at what the process really holds
// A count is a model of the allocator and may fall short (a name's block larger than
// counted, a kind that holds more than its cost says). A reading that counts as it
// reads therefore also looks at the limits' own figures (AvailableMemory) as it goes:
// whenever the bytes counted since the last look pass an eighth of the room left then
// (between 256 KB and 4 MB), and before any step of its own size (an array whose size
// was read from a file). Between looks the room is taken to fall at the rate measured
// (what the room fell by, for what was counted), and by twice the count where the
// figures saw more taken than counted, so that a count short by half is caught before
// the limit. A look costs what AvailableMemory does: a reading of N MB makes some N / 4
// of them, more only within its last few megabytes, and a step between looks costs a
// few integer comparisons.
class TMemoryWatch {
 public:
  // room: the memory there was as the reading began (AvailableMemory()). With no limit
  // (INT64_MAX, a count taken for its own sake) it never looks.
  explicit TMemoryWatch(int64_t room);
  int64_t Room() const { return room_; }
  // Whether a step of `next` bytes may be taken now, `counted` being what the reading's
  // count has taken so far, the step aside: the count within the room it began with,
  // and the figures' own room (Holds).
  bool Fits(int64_t counted, int64_t next = 0) { return counted <= room_ - next && Holds(counted, next); }
  // The figures' side of Fits alone: where they saw more taken than counted, `next`
  // (at the rate measured) and what the reading may take until its next look must
  // stay within the room they leave. The first refusal is kept for NeedOf.
  bool Holds(int64_t counted, int64_t next = 0) {
    // Between looks, the step on every step of a reading: integer bounds of Weigh's
    // check (at the rate measured rounded up), which weighs exactly only near the room.
    if (shortcut_ && counted >= countedAtLook_ && counted < lookAt_ && next <= unlookedStep_ &&
        (counted - countedAtLook_ + next) * wholeRate_ <= budget_)
      return true;
    return Weigh(counted, next);
  }
  // The need to tell of a reading whose count reached `counted`: the count, or what the
  // figures measured where they saw more (the count at the rate measured; after a look
  // stopped the reading, what it lacked there and the rest of the count at that rate).
  int64_t NeedOf(int64_t counted) const;

 private:
  void Look(int64_t counted);
  // Holds in full: looks when it is time, weighs the step at the rate measured.
  bool Weigh(int64_t counted, int64_t next);
  // Sets what Holds' shortcut compares with after a look.
  void Settle();
  // Kept free beside a step once the figures saw more taken than counted.
  int64_t Margin() const;
  int64_t Scaled(int64_t bytes) const;

  int64_t room_;
  int64_t roomAtLook_;
  int64_t countedAtLook_ = 0;
  int64_t nextAtLook_ = 0;
  int64_t betweenLooks_;
  // What the figures saw taken for each byte counted, when more than one.
  double rate_ = 1;
  // The figures saw more taken than the count: the margins apply.
  bool short_ = false;
  // Where a look first stopped the reading: the count then, and the bytes it lacked.
  int64_t stopCounted_ = -1;
  int64_t stopLacked_ = 0;
  // Holds' shortcut, where there is a limit: the count before the next look (lookAt_),
  // the largest step weighed without one, the rate rounded up, and what the room at the
  // last look leaves for the count since and the step, its margins aside (budget_).
  bool shortcut_ = false;
  int64_t lookAt_ = 0;
  int64_t unlookedStep_ = 0;
  int64_t wholeRate_ = 1;
  int64_t budget_ = 0;
};

// ---- What a count takes for containers that grow as a reader fills them
// A count taken as a reader reads covers each container's next growth at the moment
// it happens: a growth takes the new array while the old one is still alive, a need
// of that moment alone (checked with the room, not added to the count), after which
// the container holds its new array at rest. The count is kept from the container's
// size alone, so a reading that keeps nothing (past its room) counts the same; the
// container is grown when the count says (GrowAsCounted), never by itself.

// The heap block a request of `bytes` takes: with its 8-byte header, in steps of 16,
// 32 at the least (glibc's allocator on 64-bit machines).
constexpr int64_t HeapBlockBytes(int64_t bytes) { return std::max<int64_t>(32, (bytes + 8 + 15) / 16 * 16); }

// An element of `elementBytes` in an array that doubles as it grows (a vector): at a
// growth the n elements held stand in the old array and in the new one of 2n, three
// places each.
constexpr int64_t GrowingArrayElementBytes(int64_t elementBytes) { return 3 * elementBytes; }

class TContainerCount {
 public:
  // A vector of elements of elementBytes: it doubles from one element.
  static TContainerCount Array(int64_t elementBytes) { return {elementBytes, 0, 1}; }
  // An unordered set or map whose values take valueBytes: a node each (the value, its
  // link and its cached hash) and a bucket array that doubles from kFirstBuckets.
  static TContainerCount HashTable(int64_t valueBytes) {
    return {kBucketBytes, HeapBlockBytes(valueBytes + 2 * static_cast<int64_t>(sizeof(void*))), kFirstBuckets};
  }

  // What the next Add's growth allocates beside what is held; 0 when it does not grow.
  int64_t GrowthBytes() const { return size_ < slots_ ? 0 : ArrayBytes(NextSlots()); }
  // Counts one more entry: the change in what the container holds at rest.
  int64_t Add() {
    int64_t added = nodeBytes_;
    if (size_ == slots_) {
      added += ArrayBytes(NextSlots()) - (slots_ == 0 ? 0 : ArrayBytes(slots_));
      slots_ = NextSlots();
    }
    ++size_;
    return added;
  }
  // Empty, as the container cleared and its memory released.
  void Clear() { size_ = slots_ = 0; }
  // The elements or buckets the container is to have room for.
  size_t Slots() const { return slots_; }
  // The entries counted.
  size_t Size() const { return size_; }

 private:
  // A bucket array asked for n buckets has the prime of the library's list at or
  // above n: at most 8 % more from 1024 on.
  static constexpr int64_t kBucketBytes = sizeof(void*) * 9 / 8;
  static constexpr size_t kFirstBuckets = 1024;

  TContainerCount(int64_t slotBytes, int64_t nodeBytes, size_t firstSlots)
      : slotBytes_(slotBytes), nodeBytes_(nodeBytes), firstSlots_(firstSlots) {}
  size_t NextSlots() const { return slots_ == 0 ? firstSlots_ : 2 * slots_; }
  int64_t ArrayBytes(size_t slots) const { return HeapBlockBytes(static_cast<int64_t>(slots) * slotBytes_); }

  int64_t slotBytes_;
  int64_t nodeBytes_;
  size_t firstSlots_;
  size_t size_ = 0;
  size_t slots_ = 0;
};

// Grows the container to what its count holds, before the entry counted is added, so
// it grows when and as counted (it has room for the entry then, and does not grow by
// itself).
template <class T>
void GrowAsCounted(std::vector<T>& container, const TContainerCount& count) {
  if (container.capacity() < count.Slots()) container.reserve(count.Slots());
}
template <class Container>
  requires requires(Container& c) { c.rehash(size_t{1}); }
void GrowAsCounted(Container& container, const TContainerCount& count) {
  if (container.bucket_count() < count.Slots()) container.rehash(count.Slots());
}

// Gives back to the system what the process freed and its allocator still holds
// (small blocks of freed objects are otherwise kept for reuse): before one large
// array is made of memory just freed in many small pieces.
void ReturnFreedMemoryToSystem();

// The clause of a refusal that weighs what was needed against the memory available
// now (whole megabytes, rounded down): "more than the <m> MB available now" when
// it is more. Otherwise an allocation failed though the count let it through (memory
// taken meanwhile, a driver's buffer): "which could not be had with the <m> MB
// available now", never a claim that more could be used than was asked for.
std::string MemoryShortfallClause(int64_t neededBytes, int64_t availableBytes);

}  // namespace qira

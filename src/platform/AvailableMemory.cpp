#include "platform/AvailableMemory.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace qira {

// Sections: [SECTION] Small files, [SECTION] Control groups, [SECTION] The figures,
// [SECTION] Steps weighed between readings, [SECTION] TMemoryWatch.

namespace {

// ---- [SECTION] Small files ----------------------------------------------------------------

// A /proc or cgroup file of a few lines, read whole with one open and a read or two
// into a fixed buffer: a reading of the figures is a handful of these, and a stream's
// buffers and locale would cost more than the kernel's own work. Text past the buffer
// is cut (no figure read here stands that far).
template <size_t N>
class TSmallFile {
 public:
  explicit TSmallFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    while (size_ < N) {
      const ssize_t got = ::read(fd, buffer_.data() + size_, N - size_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      size_ += static_cast<size_t>(got);
    }
    ::close(fd);
  }
  explicit TSmallFile(const std::string& path) : TSmallFile(path.c_str()) {}
  std::string_view Text() const { return {buffer_.data(), size_}; }

 private:
  std::array<char, N> buffer_;
  size_t size_ = 0;
};

// One number or a few lines; memory.stat of version 2 holds some sixty lines.
using TNumberFile = TSmallFile<64>;
using TProcFile = TSmallFile<4096>;
using TStatFile = TSmallFile<8192>;

// The number at the start of `text` (after blanks); -1 when there is none.
int64_t LeadingNumber(std::string_view text) {
  size_t from = 0;
  while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
  int64_t value = -1;
  const auto done = std::from_chars(text.data() + from, text.data() + text.size(), value);
  return done.ec == std::errc() ? value : -1;
}

// The number after "key" at the start of a line of a /proc file, times `unit`.
int64_t KeyedNumber(std::string_view text, std::string_view key, int64_t unit) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    if (text.compare(at, key.size(), key) == 0) {
      const int64_t value = LeadingNumber(text.substr(at + key.size(), end - at - key.size()));
      if (value < 0 || value > std::numeric_limits<int64_t>::max() / unit) return -1;
      return value * unit;
    }
    at = end + 1;
  }
  return -1;
}

int64_t SystemAvailableOf(std::string_view meminfo) {
  const int64_t available = KeyedNumber(meminfo, "MemAvailable:", 1024);
  if (available >= 0) return available;
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : -1;
}

// ---- [SECTION] Control groups -------------------------------------------------------------

// Where the process's memory groups stand and what their files are called. Version 2
// keeps one tree ("0::/path"); version 1 a tree per controller ("4:memory:/path") with
// its own file names. Where both are mounted, memory is limited through version 1.
struct TGroupTree {
  // The group's folder and every folder above it up to the root, the group first.
  std::vector<std::string> Levels;
  const char* LimitFile = "memory.max";
  const char* UsageFile = "memory.current";
  // The group's file pages count in its usage, and it reclaims the clean ones before
  // it kills: room still (its dirty pages and those being written aside).
  std::array<std::string_view, 2> CachedKeys{"active_file ", "inactive_file "};
  std::array<std::string_view, 2> UnwrittenKeys{"file_dirty ", "file_writeback "};
};

TGroupTree GroupTreeOf(std::string_view selfCgroup, const std::string& cgroupRoot) {
  TGroupTree tree;
  std::string_view path;
  std::string_view version1Path;
  while (!selfCgroup.empty()) {
    const size_t end = std::min(selfCgroup.find('\n'), selfCgroup.size());
    const std::string_view line = selfCgroup.substr(0, end);
    selfCgroup.remove_prefix(std::min(end + 1, selfCgroup.size()));
    const size_t first = line.find(':');
    const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    if (controllers.empty() && line.substr(0, first) == "0") path = line.substr(second + 1);
    while (!controllers.empty()) {
      const size_t comma = std::min(controllers.find(','), controllers.size());
      if (controllers.substr(0, comma) == "memory") version1Path = line.substr(second + 1);
      controllers.remove_prefix(std::min(comma + 1, controllers.size()));
    }
  }
  std::string folder = cgroupRoot;
  if (!version1Path.empty()) {
    path = version1Path;
    folder = cgroupRoot + "/memory";
    tree.LimitFile = "memory.limit_in_bytes";
    tree.UsageFile = "memory.usage_in_bytes";
    tree.CachedKeys = {"total_active_file ", "total_inactive_file "};
    tree.UnwrittenKeys = {"total_dirty ", "total_writeback "};
  }
  if (path.empty() || path.find("..") != std::string_view::npos) return tree;
  while (true) {
    tree.Levels.push_back(folder + std::string(path == "/" ? std::string_view() : path));
    if (path == "/") break;
    const size_t slash = path.find_last_of('/');
    path = slash == 0 || slash == std::string_view::npos ? std::string_view("/") : path.substr(0, slash);
  }
  return tree;
}

// A level's room: its limit less its usage, its clean file pages counted as room.
int64_t LevelRoom(const TGroupTree& tree, const std::string& level, int64_t limit, int64_t usage) {
  const TStatFile stat(level + "/memory.stat");
  int64_t reclaimable = 0;
  for (const std::string_view key : tree.CachedKeys)
    reclaimable += std::max<int64_t>(KeyedNumber(stat.Text(), key, 1), 0);
  for (const std::string_view key : tree.UnwrittenKeys)
    reclaimable -= std::max<int64_t>(KeyedNumber(stat.Text(), key, 1), 0);
  return std::max<int64_t>(limit - usage + std::clamp<int64_t>(reclaimable, 0, usage), 0);
}

}  // namespace

namespace {

// The least room the known figures leave; the largest int64 when none is known.
int64_t LeastKnownRoom(const TMemoryFigures& figures) {
  int64_t room = std::numeric_limits<int64_t>::max();
  auto take = [&](int64_t value) {
    if (value >= 0) room = std::min(room, value);
  };
  take(figures.SystemAvailable);
  if (figures.AddressSpaceLimit >= 0 && figures.AddressSpaceUsed >= 0)
    take(std::max<int64_t>(figures.AddressSpaceLimit - figures.AddressSpaceUsed, 0));
  take(figures.GroupRoom);
  return room;
}

}  // namespace

int64_t AvailableMemoryOf(const TMemoryFigures& figures) {
  const int64_t room = LeastKnownRoom(figures);
  return room != std::numeric_limits<int64_t>::max() ? room : int64_t{1} << 30;
}

int64_t ControlGroupRoom(const std::string& selfCgroup, const std::string& cgroupRoot) {
  const TGroupTree tree = GroupTreeOf(selfCgroup, cgroupRoot);
  int64_t room = -1;
  for (const std::string& level : tree.Levels) {
    const int64_t limit = LeadingNumber(TNumberFile(level + "/" + tree.LimitFile).Text());  // "max": no number
    const int64_t usage = LeadingNumber(TNumberFile(level + "/" + tree.UsageFile).Text());
    if (limit < 0 || usage < 0) continue;
    const int64_t here = LevelRoom(tree, level, limit, usage);
    room = room < 0 ? here : std::min(room, here);
  }
  return room;
}

int64_t AddressSpaceLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(std::numeric_limits<int64_t>::max()))
    return -1;
  return static_cast<int64_t>(limit.rlim_cur);
}

TMemoryFigures ReadMemoryFigures(const std::string& procRoot, const std::string& cgroupRoot) {
  TMemoryFigures figures;
  figures.SystemAvailable = SystemAvailableOf(TProcFile(procRoot + "/meminfo").Text());
  figures.AddressSpaceLimit = AddressSpaceLimit();
  figures.AddressSpaceUsed = KeyedNumber(TProcFile(procRoot + "/self/status").Text(), "VmSize:", 1024);
  figures.GroupRoom = ControlGroupRoom(std::string(TProcFile(procRoot + "/self/cgroup").Text()), cgroupRoot);
  return figures;
}

// ---- [SECTION] The figures ----------------------------------------------------------------

namespace {

TAvailableMemoryProbe& MemoryProbe() {
  static TAvailableMemoryProbe probe;
  return probe;
}
// Raised whenever the probe is replaced: figures read from the one before are not
// taken for the new one's.
std::atomic<uint64_t> probeGeneration{0};

// The last room read from the system and when (steady clock, nanoseconds); pictures
// are decoded on download threads too.
std::atomic<int64_t> lastRoom{-1};
std::atomic<int64_t> lastReadAt{0};

// Moved on by tests, so that kept figures age without a wait.
std::atomic<int64_t> clockAdvance{0};

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() +
         clockAdvance.load(std::memory_order_relaxed);
}

constexpr int64_t kSecond = 1'000'000'000;

// Version 1 writes "no limit" as the largest page-aligned count: no real limit comes near.
constexpr int64_t kNoGroupLimit = int64_t{1} << 62;

// What a reading of this process's figures keeps from one reading to the next: where
// its groups stand and which of them have a limit, read again once a second (a limit
// may be set meanwhile). A group without one ("max") is not read at all.
class TThisProcess {
 public:
  int64_t Room() {
    const std::lock_guard lock(mutex_);
    TMemoryFigures figures;
    figures.SystemAvailable = SystemAvailableOf(TProcFile(meminfo_).Text());
    // Its use counts only against a limit.
    figures.AddressSpaceLimit = AddressSpaceLimit();
    if (figures.AddressSpaceLimit >= 0)
      figures.AddressSpaceUsed = KeyedNumber(TProcFile(status_).Text(), "VmSize:", 1024);
    int64_t least = LeastKnownRoom(figures);
    const int64_t now = SteadyNanoseconds();
    if (limitsReadAt_ < 0 || now - limitsReadAt_ >= kSecond) ReadLimits(now);
    for (const TLimited& level : limited_) {
      const int64_t usage = LeadingNumber(TNumberFile(level.UsageFile).Text());
      if (usage < 0) continue;
      // A group that leaves more room than another figure without its file pages cannot
      // be the least: its memory.stat, the dearest file of a reading, is not read.
      const int64_t unreclaimed = std::max<int64_t>(level.Limit - usage, 0);
      const int64_t here = unreclaimed >= least ? unreclaimed : LevelRoom(tree_, level.Folder, level.Limit, usage);
      figures.GroupRoom = figures.GroupRoom < 0 ? here : std::min(figures.GroupRoom, here);
      least = std::min(least, here);
    }
    return AvailableMemoryOf(figures);
  }

  // Reads the figures under other roots from now on, the limits afresh.
  void SetRoots(const std::string& procRoot, const std::string& cgroupRoot) {
    const std::lock_guard lock(mutex_);
    meminfo_ = procRoot + "/meminfo";
    status_ = procRoot + "/self/status";
    selfCgroup_ = procRoot + "/self/cgroup";
    cgroupRoot_ = cgroupRoot;
    limitsReadAt_ = -1;
  }

 private:
  struct TLimited {
    std::string Folder;
    std::string UsageFile;
    int64_t Limit;
  };

  void ReadLimits(int64_t now) {
    limitsReadAt_ = now;
    tree_ = GroupTreeOf(TProcFile(selfCgroup_).Text(), cgroupRoot_);
    limited_.clear();
    for (const std::string& level : tree_.Levels) {
      const int64_t limit = LeadingNumber(TNumberFile(level + "/" + tree_.LimitFile).Text());
      if (limit >= 0 && limit < kNoGroupLimit) limited_.push_back({level, level + "/" + tree_.UsageFile, limit});
    }
  }

  std::mutex mutex_;
  std::string meminfo_ = "/proc/meminfo";
  std::string status_ = "/proc/self/status";
  std::string selfCgroup_ = "/proc/self/cgroup";
  std::string cgroupRoot_ = "/sys/fs/cgroup";
  int64_t limitsReadAt_ = -1;
  TGroupTree tree_;
  std::vector<TLimited> limited_;
};

TThisProcess& ThisProcess() {
  static TThisProcess process;
  return process;
}

}  // namespace

int64_t AvailableMemory() {
  const TAvailableMemoryProbe& probe = MemoryProbe();
  if (probe) return probe();
  const int64_t room = ThisProcess().Room();
  lastReadAt.store(SteadyNanoseconds(), std::memory_order_relaxed);
  lastRoom.store(room, std::memory_order_relaxed);
  return room;
}

bool MemoryFits(int64_t bytes) {
  if (bytes <= 0) return true;
  if (!MemoryProbe()) {
    const int64_t room = lastRoom.load(std::memory_order_relaxed);
    const int64_t age = SteadyNanoseconds() - lastReadAt.load(std::memory_order_relaxed);
    if (room >= 0 && age >= 0 && age < kSecond && bytes <= room / 16) return true;
  }
  return bytes <= AvailableMemory();
}

void SetAvailableMemoryProbe(TAvailableMemoryProbe probe) {
  MemoryProbe() = std::move(probe);
  probeGeneration.fetch_add(1, std::memory_order_relaxed);
}

void SetMemoryFilesForTesting(const std::string& procRoot, const std::string& cgroupRoot) {
  ThisProcess().SetRoots(procRoot.empty() ? "/proc" : procRoot, cgroupRoot.empty() ? "/sys/fs/cgroup" : cgroupRoot);
  // Nothing read under the roots before is taken for a reading under these.
  lastRoom.store(-1, std::memory_order_relaxed);
  probeGeneration.fetch_add(1, std::memory_order_relaxed);
}

void AdvanceMemoryClockForTesting(std::chrono::nanoseconds later) {
  clockAdvance.fetch_add(later.count(), std::memory_order_relaxed);
}

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr int64_t kLeastBytesBetweenLooks = int64_t{256} << 10;
constexpr int64_t kMostBytesBetweenLooks = int64_t{4} << 20;

int64_t BytesBetweenLooks(int64_t room) {
  return std::clamp(room / 8, kLeastBytesBetweenLooks, kMostBytesBetweenLooks);
}

}  // namespace

// ---- [SECTION] Steps weighed between readings ---------------------------------------------

namespace {

// The last reading a thread's steps were weighed with, and what they took of it since.
struct TGlance {
  int64_t Room = -1;
  int64_t Weighed = 0;
  int64_t Between = 0;
  int64_t ReadAt = 0;
  uint64_t Generation = 0;
};
thread_local TGlance glance;

}  // namespace

int64_t AvailableMemoryForStep(int64_t bytes) {
  bytes = std::max<int64_t>(bytes, 0);
  TGlance& g = glance;
  const bool probed = static_cast<bool>(MemoryProbe());
  const uint64_t generation = probeGeneration.load(std::memory_order_relaxed);
  const int64_t left = g.Room - g.Weighed;
  if (g.Room >= 0 && g.Generation == generation && bytes <= g.Between - g.Weighed && bytes <= left &&
      (probed || SteadyNanoseconds() - g.ReadAt < kSecond)) {
    g.Weighed += bytes;
    return left;
  }
  const int64_t room = AvailableMemory();
  g = {room, bytes, BytesBetweenLooks(room), probed ? 0 : SteadyNanoseconds(), generation};
  return room;
}

// ---- [SECTION] TMemoryWatch ---------------------------------------------------------------

namespace {

// Below this much counted what a reading took is mostly what any reading takes (its
// file's buffers): no rate is drawn from it.
constexpr int64_t kLeastCountedForRate = int64_t{1} << 20;
// Kept free beside a step once the figures saw more taken than counted: what the
// reading's end takes before its own count does (a refusal's message).
constexpr int64_t kReserveBytes = int64_t{512} << 10;
// The rate the growth until the next look is allowed at, at the least, once the figures
// saw more taken than counted: a count short by half.
constexpr double kLeastRateBetweenLooks = 2;

int64_t SaturatedSum(int64_t a, int64_t b) { return a > kNoLimit - b ? kNoLimit : a + b; }

}  // namespace

TMemoryWatch::TMemoryWatch(int64_t room) : room_(room), roomAtLook_(room), betweenLooks_(BytesBetweenLooks(room)) {
  Settle();
}

int64_t TMemoryWatch::Scaled(int64_t bytes) const {
  const double scaled = static_cast<double>(bytes) * rate_;
  return scaled >= 9.0e18 ? kNoLimit : static_cast<int64_t>(scaled);
}

void TMemoryWatch::Look(int64_t counted) {
  const int64_t now = AvailableMemory();
  const int64_t taken = room_ - now;
  short_ = taken > counted;
  rate_ = short_ && counted >= kLeastCountedForRate ? static_cast<double>(taken) / static_cast<double>(counted) : 1;
  roomAtLook_ = now;
  countedAtLook_ = counted;
  betweenLooks_ = BytesBetweenLooks(now);
}

int64_t TMemoryWatch::Margin() const {
  if (!short_) return 0;
  const auto untilNextLook =
      static_cast<int64_t>(std::max(rate_, kLeastRateBetweenLooks) * static_cast<double>(betweenLooks_));
  return SaturatedSum(kReserveBytes, untilNextLook);
}

void TMemoryWatch::Settle() {
  // Bounded so that the shortcut's product stays far within 64 bits.
  constexpr int64_t kMostShortcutStep = int64_t{1} << 40;
  constexpr double kMostShortcutRate = 1024;
  shortcut_ = room_ != kNoLimit && rate_ <= kMostShortcutRate;
  lookAt_ = SaturatedSum(countedAtLook_, betweenLooks_);
  unlookedStep_ = std::min(std::max(nextAtLook_, betweenLooks_ - 1), kMostShortcutStep);
  wholeRate_ = static_cast<int64_t>(std::ceil(rate_));
  budget_ = shortcut_ ? std::max(roomAtLook_, -kMostShortcutStep) - Margin() : 0;
}

bool TMemoryWatch::Weigh(int64_t counted, int64_t next) {
  if (room_ == kNoLimit) return true;
  // A step no larger than one the last look weighed is weighed by its projection.
  if (counted - countedAtLook_ >= betweenLooks_ || next > std::max(nextAtLook_, betweenLooks_ - 1)) {
    Look(counted);
    nextAtLook_ = next;
    Settle();
  }
  // While the figures agree with the count, this is the count's own check.
  const int64_t left = roomAtLook_ - Scaled(std::max<int64_t>(counted - countedAtLook_, 0));
  // Once the figures saw more taken than counted: a reserve, and what the reading may
  // take until its next look.
  const int64_t wanted = SaturatedSum(Scaled(next), Margin());
  if (wanted <= left) return true;
  if (stopCounted_ < 0) {
    stopCounted_ = counted;
    stopLacked_ = wanted - left;
  }
  return false;
}

int64_t TMemoryWatch::NeedOf(int64_t counted) const {
  int64_t need = std::max(counted, Scaled(counted));
  if (stopCounted_ >= 0)
    need = std::max(need, SaturatedSum(SaturatedSum(room_, stopLacked_),
                                       Scaled(std::max<int64_t>(counted - stopCounted_, 0))));
  return need;
}

std::string MemoryShortfallClause(int64_t neededBytes, int64_t availableBytes) {
  const std::string available = std::to_string(std::max<int64_t>(availableBytes, 0) >> 20) + " MB available now";
  return neededBytes > availableBytes ? "more than the " + available : "which could not be had with the " + available;
}

void ReturnFreedMemoryToSystem() { malloc_trim(0); }

}  // namespace qira

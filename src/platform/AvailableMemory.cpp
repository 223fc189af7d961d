#include "platform/AvailableMemory.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>
#include <vector>

namespace qira {

namespace {

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The number at the start of `text` (after blanks); -1 when there is none.
int64_t LeadingNumber(const std::string& text, size_t from = 0) {
  while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
  int64_t value = -1;
  const auto done = std::from_chars(text.data() + from, text.data() + text.size(), value);
  return done.ec == std::errc() ? value : -1;
}

// The number after "key" at the start of a line of a /proc file, times `unit`.
int64_t KeyedNumber(const std::string& text, const std::string& key, int64_t unit) {
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

TAvailableMemoryProbe& MemoryProbe() {
  static TAvailableMemoryProbe probe;
  return probe;
}

// The last room read from the system and when (steady clock, nanoseconds); pictures
// are decoded on download threads too.
std::atomic<int64_t> lastRoom{-1};
std::atomic<int64_t> lastReadAt{0};

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int64_t AvailableMemoryOf(const TMemoryFigures& figures) {
  int64_t room = std::numeric_limits<int64_t>::max();
  bool known = false;
  auto take = [&](int64_t value) {
    if (value < 0) return;
    room = std::min(room, value);
    known = true;
  };
  take(figures.SystemAvailable);
  if (figures.AddressSpaceLimit >= 0 && figures.AddressSpaceUsed >= 0)
    take(std::max<int64_t>(figures.AddressSpaceLimit - figures.AddressSpaceUsed, 0));
  take(figures.GroupRoom);
  return known ? room : int64_t{1} << 30;
}

int64_t ControlGroupRoom(const std::string& selfCgroup, const std::string& cgroupRoot) {
  // Version 2 keeps one tree ("0::/path"); version 1 a tree per controller
  // ("4:memory:/path") with its own file names. Where both are mounted, memory is
  // limited through version 1.
  std::string path;
  std::string version1Path;
  std::istringstream lines(selfCgroup);
  for (std::string line; std::getline(lines, line);) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    if (controllers.empty() && line.compare(0, first, "0") == 0) path = line.substr(second + 1);
    std::istringstream names(controllers);
    for (std::string name; std::getline(names, name, ',');)
      if (name == "memory") version1Path = line.substr(second + 1);
  }
  std::string folder = cgroupRoot;
  const char* limitFile = "memory.max";
  const char* usageFile = "memory.current";
  // The group's file pages count in its usage, and it reclaims the clean ones before it
  // kills: room still (its dirty pages and those being written aside).
  std::array<const char*, 2> cachedKeys{"active_file ", "inactive_file "};
  std::array<const char*, 2> unwrittenKeys{"file_dirty ", "file_writeback "};
  if (!version1Path.empty()) {
    path = version1Path;
    folder = cgroupRoot + "/memory";
    limitFile = "memory.limit_in_bytes";
    usageFile = "memory.usage_in_bytes";
    cachedKeys = {"total_active_file ", "total_inactive_file "};
    unwrittenKeys = {"total_dirty ", "total_writeback "};
  }
  if (path.empty() || path.find("..") != std::string::npos) return -1;
  int64_t room = -1;
  // The group and every group above it, up to the root.
  while (true) {
    const std::string group = folder + (path == "/" ? "" : path);
    const int64_t limit = LeadingNumber(FileText(group + "/" + limitFile));  // "max": no number
    const int64_t usage = LeadingNumber(FileText(group + "/" + usageFile));
    if (limit >= 0 && usage >= 0) {
      const std::string stat = FileText(group + "/memory.stat");
      int64_t reclaimable = 0;
      for (const char* key : cachedKeys) reclaimable += std::max<int64_t>(KeyedNumber(stat, key, 1), 0);
      for (const char* key : unwrittenKeys) reclaimable -= std::max<int64_t>(KeyedNumber(stat, key, 1), 0);
      const int64_t here = std::max<int64_t>(limit - usage + std::clamp<int64_t>(reclaimable, 0, usage), 0);
      room = room < 0 ? here : std::min(room, here);
    }
    if (path == "/" || path.empty()) break;
    const size_t slash = path.find_last_of('/');
    path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
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
  figures.SystemAvailable = KeyedNumber(FileText(procRoot + "/meminfo"), "MemAvailable:", 1024);
  if (figures.SystemAvailable < 0) {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) figures.SystemAvailable = static_cast<int64_t>(pages) * pageSize;
  }
  figures.AddressSpaceLimit = AddressSpaceLimit();
  figures.AddressSpaceUsed = KeyedNumber(FileText(procRoot + "/self/status"), "VmSize:", 1024);
  figures.GroupRoom = ControlGroupRoom(FileText(procRoot + "/self/cgroup"), cgroupRoot);
  return figures;
}

int64_t AvailableMemory() {
  const TAvailableMemoryProbe& probe = MemoryProbe();
  if (probe) return probe();
  const int64_t room = AvailableMemoryOf(ReadMemoryFigures());
  lastReadAt.store(SteadyNanoseconds(), std::memory_order_relaxed);
  lastRoom.store(room, std::memory_order_relaxed);
  return room;
}

bool MemoryFits(int64_t bytes) {
  if (bytes <= 0) return true;
  if (!MemoryProbe()) {
    const int64_t room = lastRoom.load(std::memory_order_relaxed);
    const int64_t age = SteadyNanoseconds() - lastReadAt.load(std::memory_order_relaxed);
    if (room >= 0 && age >= 0 && age < 1'000'000'000 && bytes <= room / 16) return true;
  }
  return bytes <= AvailableMemory();
}

void SetAvailableMemoryProbe(TAvailableMemoryProbe probe) { MemoryProbe() = std::move(probe); }

// ---- TMemoryWatch -----------------------------------------------------------------------

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr int64_t kLeastBytesBetweenLooks = int64_t{256} << 10;
constexpr int64_t kMostBytesBetweenLooks = int64_t{4} << 20;
// Below this much counted what a reading took is mostly what any reading takes (its
// file's buffers): no rate is drawn from it.
constexpr int64_t kLeastCountedForRate = int64_t{1} << 20;
// Kept free beside a step once the figures saw more taken than counted: what the
// reading's end takes before its own count does (a refusal's message).
constexpr int64_t kReserveBytes = int64_t{512} << 10;
// The rate the growth until the next look is allowed at, at the least, once the figures
// saw more taken than counted: a count short by half.
constexpr double kLeastRateBetweenLooks = 2;

int64_t BytesBetweenLooks(int64_t room) {
  return std::clamp(room / 8, kLeastBytesBetweenLooks, kMostBytesBetweenLooks);
}

int64_t SaturatedSum(int64_t a, int64_t b) { return a > kNoLimit - b ? kNoLimit : a + b; }

}  // namespace

TMemoryWatch::TMemoryWatch(int64_t room) : room_(room), roomAtLook_(room), betweenLooks_(BytesBetweenLooks(room)) {}

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

bool TMemoryWatch::Holds(int64_t counted, int64_t next) {
  if (room_ == kNoLimit) return true;
  // A step no larger than one the last look weighed is weighed by its projection.
  if (counted - countedAtLook_ >= betweenLooks_ || next > std::max(nextAtLook_, betweenLooks_ - 1)) {
    Look(counted);
    nextAtLook_ = next;
  }
  // While the figures agree with the count, this is the count's own check.
  const int64_t left = roomAtLook_ - Scaled(std::max<int64_t>(counted - countedAtLook_, 0));
  int64_t wanted = Scaled(next);
  if (short_) {
    const auto untilNextLook =
        static_cast<int64_t>(std::max(rate_, kLeastRateBetweenLooks) * static_cast<double>(betweenLooks_));
    wanted = SaturatedSum(wanted, kReserveBytes + untilNextLook);
  }
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

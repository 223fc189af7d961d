#include "platform/AvailableMemory.h"

#include <unistd.h>

#include <fstream>
#include <limits>
#include <locale>
#include <string>
#include <utility>

namespace qira {

namespace {

int64_t SystemAvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  meminfo.imbue(std::locale::classic());
  std::string key;
  while (meminfo >> key) {
    if (key == "MemAvailable:") {
      int64_t kilobytes = 0;
      if (meminfo >> kilobytes && kilobytes > 0) return kilobytes * 1024;
      break;
    }
    meminfo.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) return static_cast<int64_t>(pages) * static_cast<int64_t>(pageSize);
  return int64_t{1} << 30;
}

TAvailableMemoryProbe& MemoryProbe() {
  static TAvailableMemoryProbe probe;
  return probe;
}

}  // namespace

int64_t AvailableMemory() {
  const TAvailableMemoryProbe& probe = MemoryProbe();
  return probe ? probe() : SystemAvailableMemory();
}

void SetAvailableMemoryProbe(TAvailableMemoryProbe probe) { MemoryProbe() = std::move(probe); }

}  // namespace qira

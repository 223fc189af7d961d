#include "platform/AvailableMemory.h"

#include <gtest/gtest.h>
#include <QThreadPool>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "platform/ThreadReserves.h"
#include "support/AddressSpaceLimit.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

constexpr int64_t MB = int64_t{1} << 20;

TEST(AvailableMemory, TheLeastRoomOfTheMachineTheAddressSpaceAndTheGroupCounts) {
  struct TCase {
    const char* name;
    TMemoryFigures figures;
    int64_t expected;
  };
  const TCase cases[] = {
      {"machine only", {800 * MB, -1, -1, -1}, 800 * MB},
      {"address space below the machine", {800 * MB, 1000 * MB, 700 * MB, -1}, 300 * MB},
      {"address space used up", {800 * MB, 1000 * MB, 1200 * MB, -1}, 0},
      {"address space limit without its use is no figure", {800 * MB, 1000 * MB, -1, -1}, 800 * MB},
      {"group below both", {800 * MB, 1000 * MB, 100 * MB, 50 * MB}, 50 * MB},
      {"group above the machine", {800 * MB, -1, -1, 4000 * MB}, 800 * MB},
      {"nothing known", {-1, -1, -1, -1}, 1024 * MB},
  };
  for (const TCase& c : cases) EXPECT_EQ(AvailableMemoryOf(c.figures), c.expected) << c.name;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

TEST(AvailableMemory, TheGroupAndEveryGroupAboveItLimit) {
  TScratchFolder folder;
  const std::string root = folder.Path();
  // Version 2: the group has no limit of its own ("max"), its parent 300 MB of which
  // 100 MB are used, the root none.
  WriteFile(root + "/memory.max", "max\n");
  WriteFile(root + "/memory.current", "900000000\n");
  WriteFile(root + "/user.slice/memory.max", std::to_string(300 * MB) + "\n");
  WriteFile(root + "/user.slice/memory.current", std::to_string(100 * MB) + "\n");
  WriteFile(root + "/user.slice/app/memory.max", "max\n");
  WriteFile(root + "/user.slice/app/memory.current", std::to_string(20 * MB) + "\n");
  EXPECT_EQ(ControlGroupRoom("0::/user.slice/app\n", root), 200 * MB);
  // The group itself tighter than its parent.
  WriteFile(root + "/user.slice/app/memory.max", std::to_string(50 * MB) + "\n");
  EXPECT_EQ(ControlGroupRoom("0::/user.slice/app\n", root), 30 * MB);
  // Its clean file pages are room, reclaimed before it kills; its dirty ones and those
  // being written are not.
  WriteFile(root + "/user.slice/app/memory.stat",
            "anon 1000\nfile " + std::to_string(12 * MB) + "\nactive_file " + std::to_string(8 * MB) +
                "\ninactive_file " + std::to_string(4 * MB) + "\nfile_dirty " + std::to_string(1 * MB) +
                "\nfile_writeback " + std::to_string(1 * MB) + "\n");
  EXPECT_EQ(ControlGroupRoom("0::/user.slice/app\n", root), 40 * MB);

  // Version 1 (beside a version 2 line, as hybrid systems list them).
  WriteFile(root + "/memory/box/memory.limit_in_bytes", std::to_string(64 * MB) + "\n");
  WriteFile(root + "/memory/box/memory.usage_in_bytes", std::to_string(60 * MB) + "\n");
  EXPECT_EQ(ControlGroupRoom("4:memory:/box\n1:cpu:/\n0::/\n", root), 4 * MB);
  // There the group's own and its descendants' pages stand under total_.
  WriteFile(root + "/memory/box/memory.stat", "inactive_file 999\ntotal_inactive_file " + std::to_string(2 * MB) +
                                                  "\ntotal_active_file 0\ntotal_dirty 0\n");
  EXPECT_EQ(ControlGroupRoom("4:memory:/box\n1:cpu:/\n0::/\n", root), 6 * MB);

  // No group line, or one leading out of the tree: no limit.
  EXPECT_EQ(ControlGroupRoom("", root), -1);
  EXPECT_EQ(ControlGroupRoom("0::/../etc\n", root), -1);
}

TEST(AvailableMemory, FiguresComeFromTheProcessFiles) {
  TScratchFolder folder;
  const std::string proc = folder.Path() + "/proc";
  WriteFile(proc + "/meminfo", "MemTotal:       16000000 kB\nMemFree:  100 kB\nMemAvailable:    2048 kB\n");
  WriteFile(proc + "/self/status", "Name:\tqira\nVmSize:\t  4096 kB\n");
  WriteFile(proc + "/self/cgroup", "0::/\n");
  WriteFile(folder.Path() + "/cg/memory.max", "3000000\n");
  WriteFile(folder.Path() + "/cg/memory.current", "1000000\n");
  const TMemoryFigures figures = ReadMemoryFigures(proc, folder.Path() + "/cg");
  EXPECT_EQ(figures.SystemAvailable, 2048 * 1024);
  EXPECT_EQ(figures.AddressSpaceUsed, 4096 * 1024);
  EXPECT_EQ(figures.GroupRoom, 2000000);
}

// In a child process, so that the limit binds nothing else.
TEST(AvailableMemoryDeathTest, AnAddressSpaceLimitLeavesOnlyTheRoomBelowIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (!LimitAddressSpace(96 * MB)) _exit(2);
        const int64_t room = AvailableMemory();
        _exit(room <= 96 * MB && room > 64 * MB ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A small need is answered from the last reading; a larger one reads the limits
// again, so a limit raised or lowered since then counts at once.
TEST(AvailableMemoryDeathTest, ANeedBeyondASixteenthOfTheLastRoomReadsTheLimitsAgain) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlimit unlimited = limit;
        limit.rlim_cur = static_cast<rlim_t>(ReadMemoryFigures().AddressSpaceUsed + 96 * MB);
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        const bool refused = !MemoryFits(128 * MB);
        const bool smallFits = MemoryFits(2 * MB);
        if (setrlimit(RLIMIT_AS, &unlimited) != 0) _exit(3);
        const bool fitsAgain = MemoryFits(128 * MB);
        _exit(refused && smallFits && fitsAgain ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Under an address-space limit the threads' reserves are bounded from the start:
// the driver's thread count unless the user chose one, and the pooled threads,
// which are there already and stay.
TEST(AvailableMemoryDeathTest, AnAddressSpaceLimitBoundsTheThreadsAndStartsThePooledOnes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto threads = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
  };
  for (const char* chosen : {static_cast<const char*>(nullptr), "5"}) {
    EXPECT_EXIT(
        {
          if (chosen != nullptr) setenv("LP_NUM_THREADS", chosen, 1);
          else unsetenv("LP_NUM_THREADS");
          if (BoundThreadReservesUnderAddressLimit()) _exit(2);  // no limit: nothing changes
          if (std::getenv("LP_NUM_THREADS") != nullptr && chosen == nullptr) _exit(3);
          if (!LimitAddressSpace(1024 * MB)) _exit(4);
          const int before = threads();
          if (!BoundThreadReservesUnderAddressLimit()) _exit(5);
          const char* set = std::getenv("LP_NUM_THREADS");
          const std::string expected = chosen != nullptr ? chosen : std::to_string(kLimitedThreads);
          const QThreadPool& pool = *QThreadPool::globalInstance();
          _exit(set != nullptr && set == expected && pool.maxThreadCount() == kLimitedThreads &&
                        pool.expiryTimeout() < 0 && threads() == before + kLimitedThreads
                    ? 0
                    : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

// A reading watched as it counts (TMemoryWatch), the figures telling `rate` times what
// it counted taken: it goes on while they leave room, never past it, and, stopped, tells
// a need at which (and 5 % more) it reads through.
TEST(AvailableMemory, AWatchedReadingWhoseCountFallsShortStopsBeforeTheLimitAndTellsWhatItTakes) {
  struct TCase {
    const char* name;
    double rate;       // taken for each byte counted, as the figures tell it
    int64_t step;      // counted at each step of the reading
    int64_t largeAt;   // counted when a step of its own size comes (an array), or -1
  };
  const TCase cases[] = {
      {"the count exact", 1.0, 64 << 10, -1},
      {"a count short by a third", 1.5, 64 << 10, -1},
      {"a count short by half", 2.0, 64 << 10, -1},
      {"a count short by half, in large steps", 2.0, 1 * MB, -1},
      {"a count short by two thirds", 3.0, 16 << 10, -1},
      {"a count short by half, then an array", 2.0, 64 << 10, 40 * MB},
  };
  constexpr int64_t kTotal = 100 * MB;
  constexpr int64_t kArray = 8 * MB;
  struct TRun {
    bool whole = true;
    int64_t lowest = std::numeric_limits<int64_t>::max();  // of the figures' room
    int64_t need = 0;
  };
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  const auto read = [](const TCase& c, int64_t room) {
    TRun run;
    int64_t taken = 0;
    SetAvailableMemoryProbe([&] { return room - taken; });
    TMemoryWatch watch(room);
    for (int64_t counted = 0; counted < kTotal;) {
      const bool large = c.largeAt >= 0 && counted == c.largeAt;
      const int64_t next = large ? kArray : c.step;
      if (run.whole && !watch.Fits(counted, next)) run.whole = false;
      if (run.whole) {
        // A step the count says takes `next` takes `rate` times as much, an array alike.
        taken += large ? next : static_cast<int64_t>(c.rate * static_cast<double>(next));
        run.lowest = std::min(run.lowest, room - taken);
      }
      counted += next;
    }
    run.need = watch.NeedOf(kTotal);
    return run;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const int64_t room : {30 * MB, 90 * MB}) {
      SCOPED_TRACE(room);
      const TRun refused = read(c, room);
      EXPECT_FALSE(refused.whole);
      EXPECT_GE(refused.lowest, 0);
      EXPECT_GT(refused.need, room);
      const TRun again = read(c, refused.need + refused.need / 20);
      EXPECT_TRUE(again.whole) << refused.need;
      EXPECT_GE(again.lowest, 0);
      // Not more than twice what the reading was seen to take.
      EXPECT_LE(refused.need, 2 * static_cast<int64_t>(c.rate * kTotal));
    }
  }
}

// The rate the figures measured is the whole reading's, and lags where the count falls
// short only late: what the reading may take until its next look is kept free at twice
// its count at the least, so even a count that falls short by four fifths after 60 MB
// stops before the limit.
TEST(AvailableMemory, AWatchedReadingWhoseCountFallsShortLateStillStopsBeforeTheLimit) {
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  constexpr int64_t kRoom = 90 * MB;
  constexpr int64_t kStep = 64 << 10;
  constexpr int64_t kExactTo = 60 * MB;
  int64_t taken = 0;
  SetAvailableMemoryProbe([&] { return kRoom - taken; });
  TMemoryWatch watch(kRoom);
  int64_t counted = 0;
  while (counted < 200 * MB && watch.Fits(counted, kStep)) {
    taken += counted < kExactTo ? kStep : 5 * kStep;
    counted += kStep;
  }
  EXPECT_LT(counted, 200 * MB);
  EXPECT_LT(taken, kRoom);
}

// Steps weighed one by one are weighed with the last reading less the steps weighed
// since it; a step past what goes unread between readings reads the figures again.
TEST(AvailableMemory, AStepIsWeighedWithTheRoomTheStepsSinceTheLastReadingLeft) {
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  constexpr int64_t kRoom = 100 * MB;  // read unlooked up to 4 MB of steps
  int reads = 0;
  SetAvailableMemoryProbe([&] {
    ++reads;
    return kRoom;
  });
  const struct {
    int64_t Step;
    int64_t Room;  // what the step is weighed with
    int Reads;     // of the figures so far
  } steps[] = {
      {1 * MB, kRoom, 1},
      {1 * MB, kRoom - 1 * MB, 1},
      {1 * MB, kRoom - 2 * MB, 1},
      {0, kRoom - 3 * MB, 1},
      {2 * MB, kRoom, 2},  // past 4 MB since the reading
      {1 * MB, kRoom - 2 * MB, 2},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(AvailableMemoryForStep(step.Step), step.Room) << step.Step << " after " << reads << " readings";
    EXPECT_EQ(reads, step.Reads);
  }
}

// The system's own figures, from files laid out as /proc and the memory groups' tree.
class SystemMemoryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Put("proc/self/status", "Name:\tqira\nVmSize:\t  4096 kB\n");
    Put("proc/self/cgroup", "0::/app\n");
    Machine(1000 * MB);
    Put("cg/app/memory.max", "max\n");
    Put("cg/app/memory.current", std::to_string(100 * MB) + "\n");
    SetMemoryFilesForTesting(folder_.Path() + "/proc", folder_.Path() + "/cg");
  }
  void TearDown() override { SetMemoryFilesForTesting("", ""); }

  void Put(const std::string& name, const std::string& text) { WriteFile(folder_.Path() + "/" + name, text); }
  void Machine(int64_t available) { Put("proc/meminfo", "MemAvailable: " + std::to_string(available >> 10) + " kB\n"); }
  void Group(int64_t limit, int64_t usage) {
    Put("cg/app/memory.max", std::to_string(limit) + "\n");
    Put("cg/app/memory.current", std::to_string(usage) + "\n");
  }

  TScratchFolder folder_;
};

// Which groups have a limit is kept for a second of readings, not longer: a limit set
// meanwhile binds once it has passed. A step weighed with a reading a second old
// reads the figures again.
TEST_F(SystemMemoryFiles, WhatIsKeptOfTheFiguresIsReadAgainAfterASecond) {
  ASSERT_EQ(AvailableMemory(), 1000 * MB);
  Group(300 * MB, 100 * MB);
  AdvanceMemoryClockForTesting(std::chrono::seconds(2));
  EXPECT_EQ(AvailableMemory(), 200 * MB) << "the limit set since";

  ASSERT_EQ(AvailableMemoryForStep(64 << 10), 200 * MB);
  Group(300 * MB, 250 * MB);
  AdvanceMemoryClockForTesting(std::chrono::seconds(2));
  EXPECT_EQ(AvailableMemoryForStep(64 << 10), 50 * MB) << "weighed with a reading a second old";
}

// A group near its limit has its clean file pages as room (its memory.stat read):
// it reclaims them before it kills; dirty ones and those being written are not.
TEST_F(SystemMemoryFiles, AGroupNearItsLimitCountsItsCleanFilePages) {
  const struct {
    const char* What;
    int64_t Usage;  // of a limit of 300 MB, the machine leaving 1000 MB
    const char* Stat;
    int64_t Room;
  } rows[] = {
      {"no file pages", 290 * MB, "anon 1\n", 10 * MB},
      {"clean file pages", 290 * MB, "active_file 41943040\ninactive_file 10485760\n", 60 * MB},
      {"some of them dirty", 290 * MB, "active_file 41943040\ninactive_file 10485760\nfile_dirty 20971520\n", 40 * MB},
      {"farther from its limit", 100 * MB, "active_file 41943040\n", 240 * MB},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    Group(300 * MB, row.Usage);
    Put("cg/app/memory.stat", row.Stat);
    SetMemoryFilesForTesting(folder_.Path() + "/proc", folder_.Path() + "/cg");
    EXPECT_EQ(AvailableMemory(), row.Room);
  }
}

TEST(AvailableMemory, AProbeIsAskedForEveryNeed) {
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  int asked = 0;
  SetAvailableMemoryProbe([&] {
    ++asked;
    return int64_t{1000};
  });
  EXPECT_TRUE(MemoryFits(1));
  EXPECT_TRUE(MemoryFits(1000));
  EXPECT_FALSE(MemoryFits(1001));
  EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace qira

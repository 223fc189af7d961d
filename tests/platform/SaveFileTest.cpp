// Saves killed at any moment, stale temporaries, and the reason of a failed write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

constexpr int32_t kFileSize = 2 * 1024 * 1024;

// Every version of the file is kFileSize bytes of one value.
bool SaveVersion(const std::string& path, char value) {
  auto save = TSaveFile::Create(path);
  if (!save) return false;
  const std::string chunk(64 * 1024, value);
  for (int32_t done = 0; done < kFileSize; done += static_cast<int32_t>(chunk.size()))
    if (!save->Stream().Write(chunk.data(), static_cast<int32_t>(chunk.size()))) return false;
  return save->Commit();
}

bool IsWholeVersion(const std::string& bytes) {
  return bytes.size() == static_cast<size_t>(kFileSize) &&
         std::all_of(bytes.begin(), bytes.end(), [&](char c) { return c == bytes[0]; });
}

// A process id that is certainly not running.
pid_t EndedProcess() {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

// Only a kill in the microseconds between naming the finished file and renaming it
// over the target leaves a temporary, which the next save removes.
TEST(SaveFileKilled, ASaveKilledAtAnyMomentLeavesAWholeFileAndNoTemporary) {
  TScratchFolder dir;
  ASSERT_TRUE(SaveVersion(dir.File("t.bin"), 'a'));
  std::mt19937 random(7);
  int leftovers = 0;
  for (int kill = 0; kill < 30; ++kill) {
    SCOPED_TRACE(kill);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (char v = 'b';; v = v == 'z' ? 'b' : static_cast<char>(v + 1)) SaveVersion(dir.File("t.bin"), v);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 40000)(random));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(IsWholeVersion(dir.Get("t.bin")));
    leftovers += static_cast<int>(dir.Entries().size()) - 1;
  }
  EXPECT_LE(leftovers, 2);
  ASSERT_TRUE(SaveVersion(dir.File("t.bin"), 'a'));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.bin"});
}

TEST(SaveFileKilled, TemporariesOfEndedSavesOfTheTargetGoAtItsNextSave) {
  TScratchFolder dir;
  const std::string ended = std::to_string(EndedProcess());
  const std::string living = std::to_string(::getpid());
  for (const std::string& name : {".t.bin.tmp" + ended + "-0-1", ".t.bin.tmp" + living + "-0-1",
                                  ".other.tmp" + ended + "-0-1", std::string(".t.bin.tmpnotes")})
    dir.Put(name, "x");
  ASSERT_TRUE(WriteWholeFileAtomic(dir.File("t.bin"), "new", 3));
  std::vector<std::string> entries = dir.Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{".other.tmp" + ended + "-0-1", ".t.bin.tmp" + living + "-0-1",
                                               ".t.bin.tmpnotes", "t.bin"}));
}

TEST(SaveFileErrors, AFailedWriteReportsTheSystemsReasonAndKeepsTheOldFile) {
  TScratchFolder dir;
  dir.Put("t.bin", "old");
  std::string error;
  {
    TScopedWriteFailure full(ENOSPC);
    EXPECT_FALSE(WriteWholeFileAtomic(dir.File("t.bin"), "new", 3, &error));
  }
  EXPECT_EQ(error, "No space left on device");
  EXPECT_EQ(dir.Get("t.bin"), "old");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.bin"});
}

}  // namespace
}  // namespace qira

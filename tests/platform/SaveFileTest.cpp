// Saves killed at any moment, stale temporaries, and the reason of a failed write.
#include <fcntl.h>
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

// Whether the folder's file system has unnamed files (O_TMPFILE).
bool HasUnnamedFiles(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// A kill leaves at most the one temporary of the save it stopped (named between
// naming the finished file and renaming it over the target, or all along where the
// file system has no unnamed files), and the next save removes it: wherever the
// kills fall, never two. Where files can be unnamed, a save being written has no
// name to leave.
TEST(SaveFileKilled, ASaveKilledAtAnyMomentLeavesAWholeFileAndNoTemporary) {
  TScratchFolder dir;
  ASSERT_TRUE(SaveVersion(dir.File("t.bin"), 'a'));
  if (HasUnnamedFiles(dir.Path())) {
    auto save = TSaveFile::Create(dir.File("t.bin"));
    ASSERT_TRUE(save);
    ASSERT_TRUE(save->Stream().Write("b", 1));
    EXPECT_EQ(save->TemporaryPath(), "");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.bin"});
  }
  std::mt19937 random(7);
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
    EXPECT_LE(dir.Entries().size(), 2u) << "the target and at most one temporary";
  }
  ASSERT_TRUE(SaveVersion(dir.File("t.bin"), 'a'));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.bin"});
}

// A long name's temporaries hold its start, cut at a character's boundary where the
// whole name would pass the folder's limit of a name (255 bytes); those named by the
// whole of it, as before names were cut, go too.
TEST(SaveFileKilled, TemporariesOfEndedSavesOfTheTargetGoAtItsNextSave) {
  std::string umlauts;
  for (int i = 0; i < 125; ++i) umlauts += "\xC3\xA4";
  const std::string ended = std::to_string(EndedProcess());
  const std::string living = std::to_string(::getpid());
  for (const std::string& target :
       {std::string("t.bin"), std::string(226, 't') + ".bin", std::string(251, 't') + ".bin", umlauts + "t.bin"}) {
    SCOPED_TRACE(target.size());
    TScratchFolder dir;
    // The start of the target's temporaries, from the name a save gave its own.
    auto save = TSaveFile::Create(dir.File(target));
    ASSERT_TRUE(save);
    ASSERT_TRUE(save->Commit());
    const std::string used = save->TemporaryPath().substr(dir.Path().size() + 1);
    const size_t end = used.find(".tmp" + living + "-");
    ASSERT_NE(end, std::string::npos) << used;
    const std::string prefix = used.substr(0, end + 4);
    const std::string part = used.substr(1, end - 1);
    EXPECT_EQ(target.compare(0, part.size(), part), 0) << used;
    if (part.size() < target.size()) EXPECT_NE(static_cast<unsigned char>(target[part.size()]) & 0xC0, 0x80) << used;
    std::vector<std::string> names = {prefix + ended + "-0-1", prefix + living + "-0-1", ".other.tmp" + ended + "-0-1",
                                      prefix + "notes"};
    const std::string whole = "." + target + ".tmp" + ended + "-0-1";
    if (whole.size() <= 255) names.push_back(whole);
    for (const std::string& name : names) dir.Put(name, "x");
    ASSERT_TRUE(WriteWholeFileAtomic(dir.File(target), "new", 3));
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> kept = {".other.tmp" + ended + "-0-1", prefix + living + "-0-1", prefix + "notes", target};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries, kept);
  }
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

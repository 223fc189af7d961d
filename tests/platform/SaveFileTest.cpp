// Saves killed at any moment, two saves of one file at once, stale temporaries, the
// reason of a failed write, and the file a save keeps (its owner, group, mode, ACL,
// extended attributes and links) and writes (only the one it checked).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/EarlierContent.h"
#include "platform/FileAttributes.h"
#include "support/EnvVar.h"
#include "support/ScopedSaveStep.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"
#include "support/Unprivileged.h"

namespace qira {
namespace {

constexpr int32_t kFileSize = 2 * 1024 * 1024;

// Every version of the file is kFileSize bytes of one value, written in pieces
// `pause` microseconds apart.
bool SaveVersion(const std::string& path, char value, std::string* error = nullptr, useconds_t pause = 0) {
  auto save = TSaveFile::Create(path, error);
  if (!save) return false;
  const std::string chunk(64 * 1024, value);
  for (int32_t done = 0; done < kFileSize; done += static_cast<int32_t>(chunk.size())) {
    if (!save->Stream().Write(chunk.data(), static_cast<int32_t>(chunk.size()))) return false;
    if (pause != 0) ::usleep(pause);
  }
  return save->Commit(error);
}

// The first version ('a') of `target`, given a second name beside it ("t.link")
// where the way is in place.
bool FirstSave(const std::string& target, const TSaveWay& way) {
  if (!SaveVersion(target, 'a')) return false;
  const std::string other = std::filesystem::path(target).parent_path() / "t.link";
  return !way.Linked || ::link(target.c_str(), other.c_str()) == 0;
}

bool IsWholeVersion(const std::string& bytes) {
  return bytes.size() == static_cast<size_t>(kFileSize) && bytes == std::string(bytes.size(), bytes[0]);
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

// The bytes of the file at `path`, read in one piece: the kills' rounds read
// megabytes each.
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// The save folders in the state folder that hold no finished earlier content.
std::vector<std::string> SaveFoldersWithoutWholeContent() {
  std::vector<std::string> without;
  std::error_code ec;
  for (const auto& folder : std::filesystem::directory_iterator(InterruptedSavesFolder(), ec)) {
    bool finished = false;
    for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
      const std::string name = file.path().filename().string();
      finished = finished || (name.starts_with("earlier") && !name.ends_with(".part"));
    }
    if (!finished) without.push_back(folder.path().filename().string());
  }
  return without;
}

// A kill, by rename, leaves at most the one temporary of the save it stopped (named
// between naming the finished file and renaming it over the target, or all along
// where the file system has no unnamed files), and the next save removes it:
// wherever the kills fall, never two. Where files can be unnamed, a save being
// written has no name to leave. In place (a hard-linked file), a kill leaves the
// file whole or its earlier content whole where the next start tells the user;
// a copy of it the kill left unfinished goes without a word.
TEST(SaveFileKilled, ASaveKilledAtAnyMomentLeavesAWholeFileOrItsEarlierContentWhereTheUserIsTold) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  for (const TSaveWay& way : kSaveWays) {
    SCOPED_TRACE(way.Way);
    TScratchFolder dir;
    const std::string target = dir.File("t.bin");
    ASSERT_TRUE(FirstSave(target, way));
    const size_t names = way.Linked ? 2 : 1;
    if (HasUnnamedFiles(dir.Path())) {
      auto save = TSaveFile::Create(target);
      ASSERT_TRUE(save);
      ASSERT_TRUE(save->Stream().Write("b", 1));
      EXPECT_EQ(save->TemporaryPath(), "");
      EXPECT_EQ(dir.Entries().size(), names);
    }
    std::mt19937 random(7);
    for (int kill = 0; kill < 50; ++kill) {
      SCOPED_TRACE(kill);
      pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        for (char v = 'b';; v = v == 'z' ? 'b' : static_cast<char>(v + 1)) SaveVersion(target, v);
      }
      ::usleep(std::uniform_int_distribution<useconds_t>(0, 40000)(random));
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      const std::vector<TInterruptedSave> told = TakeInterruptedSaves();
      if (!way.Linked) {
        EXPECT_TRUE(told.empty());
      }
      for (const TInterruptedSave& save : told) {
        EXPECT_EQ(save.Target, target);
        EXPECT_TRUE(IsWholeVersion(Contents(save.EarlierContent))) << save.EarlierContent;
      }
      if (!IsWholeVersion(Contents(target))) {
        ASSERT_EQ(told.size(), 1u) << "a torn file whose earlier content the user is not told of";
        // What the user does when told: the earlier content back, in place.
        std::ofstream(target, std::ios::binary) << Contents(told[0].EarlierContent);
      }
      EXPECT_TRUE(TakeInterruptedSaves().empty()) << "told once";
      EXPECT_EQ(SaveFoldersWithoutWholeContent(), std::vector<std::string>{});
      EXPECT_LE(dir.Entries().size(), names + 1) << "the target and at most one temporary";
      if (way.Linked) {
        EXPECT_EQ(Contents(dir.File("t.link")), Contents(target));
      }
    }
    ASSERT_TRUE(SaveVersion(target, 'a'));
    EXPECT_EQ(dir.Entries().size(), names);
    if (way.Linked) {
      EXPECT_TRUE(IsWholeVersion(Contents(dir.File("t.link"))));
    }
  }
}

// This boot's id and this process's start time (clock ticks since the boot), read
// as proc(5) documents them.
std::string BootId() {
  std::string id;
  std::ifstream("/proc/sys/kernel/random/boot_id") >> id;
  return id;
}

unsigned long long OwnStartTime() {
  std::ifstream in("/proc/self/stat");  // tells no size: read to its end
  const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string field;
  for (int number = 3; number <= 22; ++number) fields >> field;
  return std::stoull(field);
}

// A save's folder as a save in place leaves it, made by hand: its "target" and
// the files named.
std::string PutSaveFolder(const std::string& stamp, const std::vector<std::pair<std::string, std::string>>& files) {
  const std::string folder = InterruptedSavesFolder() + "/" + stamp;
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/target") << "/home/user/project.q3d";
  for (const auto& [name, bytes] : files) std::ofstream(folder + "/" + name) << bytes;
  return folder;
}

// Another user's save folder in the state folder (one the user may share).
constexpr uid_t kOtherUser = 1;

// The start tells a save only while the target may be incomplete: a kill of the
// program keeps every byte it handed to the system, so a save that marked them all
// written in this boot is whole; one the machine stopped in may be. A process id
// counts as a living save's only while its process started when the save's did.
TEST(SaveFileKilled, TheStartTellsOnlySavesThatMayBeIncompleteOnceEach) {
  enum class TStart { None, Same, Later, OtherBoot };  // the folder's "process", None: an older build's
  const struct {
    const char* What;
    bool Living;  // the stamp's process id: this test's process, or one that ended
    TStart Start;
    bool Written;
    bool Whole;  // "earlier.q3d", else only "earlier.q3d.part"
    bool Told;
    bool MayBeWhole;
    bool Stays;
    const char* Stranger = nullptr;  // a name no save makes, in the folder
    bool Others = false;             // the folder belongs to another user (needs root)
  } rows[] = {
      {"an ended save", false, TStart::Same, false, true, true, false, true},
      {"an older build's ended save", false, TStart::None, false, true, true, false, true},
      {"a save all written in this boot", false, TStart::Same, true, true, false, false, false},
      {"a save all written before the machine stopped", false, TStart::OtherBoot, true, true, true, true, true},
      {"a copy the kill left unfinished", false, TStart::Same, false, false, false, false, false},
      {"an unfinished copy beside a file no save made", false, TStart::Same, false, false, false, false, true,
       "notes.txt"},
      {"a living save", true, TStart::Same, false, true, false, false, true},
      {"a living save all written", true, TStart::Same, true, true, false, false, true},
      {"an older build's living save", true, TStart::None, false, true, false, false, true},
      {"a process id another process took", true, TStart::Later, false, true, true, false, true},
      {"a process id another boot's process took", true, TStart::OtherBoot, false, true, true, false, true},
      {"another user's ended save", false, TStart::Same, false, true, false, false, true, nullptr, true},
      {"another user's save all written in this boot", false, TStart::Same, true, true, false, false, true, nullptr,
       true},
  };
  const std::string ended = std::to_string(EndedProcess());
  const std::string living = std::to_string(::getpid());
  const unsigned long long start = OwnStartTime();
  const std::string boot = BootId();
  ASSERT_EQ(boot.size(), 36u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    if (row.Others && ::geteuid() != 0) {
      std::printf("needs root to set up: %s\n", row.What);
      continue;
    }
    TScratchFolder state;
    TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
    std::vector<std::pair<std::string, std::string>> files = {{row.Whole ? "earlier.q3d" : "earlier.q3d.part", "old"}};
    if (row.Start == TStart::Same) files.push_back({"process", std::to_string(start) + " " + boot + "\n"});
    if (row.Start == TStart::Later) files.push_back({"process", std::to_string(start + 1) + " " + boot + "\n"});
    if (row.Start == TStart::OtherBoot)
      files.push_back({"process", std::to_string(start) + " 00000000-1111-2222-3333-444444444444\n"});
    if (row.Written) files.push_back({"written", ""});
    if (row.Stranger) files.push_back({row.Stranger, "mine"});
    const std::string folder = PutSaveFolder((row.Living ? living : ended) + "-0-1", files);
    if (row.Others) {
      ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherUser), 0);
    }
    const std::vector<TInterruptedSave> told = TakeInterruptedSaves();
    ASSERT_EQ(told.size(), row.Told ? 1u : 0u);
    if (row.Told) {
      EXPECT_EQ(told[0].Target, "/home/user/project.q3d");
      EXPECT_EQ(told[0].EarlierContent, folder + "/earlier.q3d");
      EXPECT_EQ(told[0].MayBeWhole, row.MayBeWhole);
    }
    EXPECT_EQ(std::filesystem::exists(folder), row.Stays);
    if (row.Stranger) {
      EXPECT_EQ(Contents(folder + "/" + row.Stranger), "mine");
      EXPECT_FALSE(std::filesystem::exists(folder + "/target"));
    }
    if (row.Others) {
      EXPECT_EQ(Contents(folder + "/earlier.q3d"), "old");
      EXPECT_FALSE(std::filesystem::exists(folder + "/told")) << "untouched";
    }
    // A second start, or one started at the same time: the first one told it.
    EXPECT_TRUE(TakeInterruptedSaves().empty()) << "told once";
  }
}

// A stamp-named link in the state folder to a folder that holds what a save keeps
// is neither followed, emptied nor marked.
TEST(SaveFileKilled, TheStartFollowsNoLinkOutOfItsFolder) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  TScratchFolder outside;
  const std::vector<std::string> names = {"earlier.txt", "notes.txt", "target"};
  for (const std::string& name : names) outside.Put(name, name == "target" ? outside.File("t.txt") : "mine");
  std::filesystem::create_directories(InterruptedSavesFolder());
  const std::string link = InterruptedSavesFolder() + "/" + std::to_string(EndedProcess()) + "-0-1";
  ASSERT_EQ(::symlink(outside.Path().c_str(), link.c_str()), 0);
  EXPECT_TRUE(TakeInterruptedSaves().empty());
  std::vector<std::string> entries = outside.Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, names);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// The newest save first, each with the time it began, whatever order the folders
// were made or named in.
TEST(SaveFileKilled, TheStartListsTheNewestSaveFirstWithItsTime) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  const std::string ended = std::to_string(EndedProcess());
  const std::time_t began[] = {1700000200, 1700000300, 1700000100, 1700000400};
  for (int i = 0; i < 4; ++i) {
    const std::string folder = PutSaveFolder(ended + "-" + std::to_string(i) + "-1", {{"earlier.q3d", "old"}});
    std::ofstream(folder + "/target") << "/home/user/" << i << ".q3d";
    const timespec times[2] = {{began[i], 0}, {began[i], 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/target").c_str(), times, 0), 0);
  }
  std::vector<std::string> targets;
  for (const TInterruptedSave& save : TakeInterruptedSaves()) {
    targets.push_back(save.Target);
    EXPECT_EQ(std::chrono::system_clock::to_time_t(save.Time), began[save.Target[11] - '0']) << save.Target;
  }
  EXPECT_EQ(targets, (std::vector<std::string>{"/home/user/3.q3d", "/home/user/1.q3d", "/home/user/0.q3d",
                                               "/home/user/2.q3d"}));
}

// Two programs saving one file at once, many times each. In place (a hard-linked
// file) a save waits for the other to end, or is refused when it does not end soon;
// by rename the last rename wins, and a save whose target another rename replaced
// after its checks is refused. The file is always the whole of one save, never a
// mix of two, and every save is done or refused.
TEST(SaveFileAtOnce, TwoProgramsSavingOneFileLeaveItWholeEachSaveDoneOrRefused) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  for (const TSaveWay& way : kSaveWays) {
    SCOPED_TRACE(way.Way);
    TScratchFolder dir;
    const std::string target = dir.File("t.bin");
    ASSERT_TRUE(FirstSave(target, way));
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(round);
      // The two programs meet once both have checked the file, so each save runs
      // beside one of the other's, one of them slowly (unlocked, the quick one would
      // write between the slow one's pieces); and again once both saves ended, when
      // the file must be whole. Saver s waits on meet[s].
      int meet[2][2];
      ASSERT_EQ(::pipe(meet[0]), 0);
      ASSERT_EQ(::pipe(meet[1]), 0);
      pid_t savers[2];
      for (int saver = 0; saver < 2; ++saver) {
        savers[saver] = ::fork();
        ASSERT_GE(savers[saver], 0);
        if (savers[saver] == 0) {
          // Only its own end to wait on and the other's to call: once the other
          // has ended, the wait ends too.
          ::close(meet[saver][1]);
          ::close(meet[1 - saver][0]);
          const auto meetTheOther = [&] {
            char byte = 0;
            (void)::write(meet[1 - saver][1], &byte, 1);
            (void)::read(meet[saver][0], &byte, 1);
          };
          TScopedSaveStep sideBySide([&](TSaveStep step, const std::string&) {
            if (step == TSaveStep::ssChecked) meetTheOther();
          });
          int seen = 0;  // 1: a save neither done nor refused, 2: a mixed file
          for (int save = 0; save < 10; ++save) {
            std::string error;
            const char value = static_cast<char>('b' + saver * 12 + save % 12);
            if (!SaveVersion(target, value, &error, saver == 0 ? 1000 : 0) &&
                error != "it is being saved by another program" &&
                error != "another file took its place while it was being saved")
              seen |= 1;
            meetTheOther();
            if (!IsWholeVersion(Contents(target))) seen |= 2;
          }
          ::_exit(seen);
        }
      }
      for (auto& ends : meet) {
        ::close(ends[0]);
        ::close(ends[1]);
      }
      for (const pid_t saver : savers) {
        int status = 0;
        ::waitpid(saver, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "a save neither done nor refused";
        EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "a mixed file";
      }
      EXPECT_TRUE(IsWholeVersion(Contents(target)));
      if (way.Linked) {
        EXPECT_EQ(Contents(dir.File("t.link")), Contents(target));
      }
      EXPECT_TRUE(TakeInterruptedSaves().empty());
      EXPECT_EQ(dir.Entries().size(), way.Linked ? 2u : 1u);
    }
  }
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
    if (part.size() < target.size()) {
      EXPECT_NE(static_cast<unsigned char>(target[part.size()]) & 0xC0, 0x80) << used;
    }
    // The user's own files that only look like temporaries stay.
    std::vector<std::string> kept = {".other.tmp" + ended + "-0-1", prefix + living + "-0-1", prefix + "notes",
                                     prefix + ended + "-my-backup", prefix + ended + "-0-1-old", prefix + ended + "-0-1.bak",
                                     prefix + ended + "-0", prefix + ended + "-0-123456", prefix + ended,
                                     prefix + ended + "--1", prefix + "x" + ended + "-0-1", target};
    kept.erase(std::remove_if(kept.begin(), kept.end(), [](const std::string& name) { return name.size() > 255; }),
               kept.end());
    std::vector<std::string> names = kept;
    names.pop_back();
    names.push_back(prefix + ended + "-0-1");
    names.push_back(prefix + ended + "-4294967295-65535");
    const std::string whole = "." + target + ".tmp" + ended + "-0-1";
    if (whole.size() <= 255) names.push_back(whole);
    for (const std::string& name : names) dir.Put(name, "x");
    ASSERT_TRUE(WriteWholeFileAtomic(dir.File(target), "new", 3));
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries, kept);
  }
}

constexpr uid_t kDaemon = 1;
constexpr uid_t kNobody = 65534;
constexpr gid_t kUsers = 100;
constexpr gid_t kNogroup = 65534;

// What makes the file the user's besides its bytes, as independent readers see it:
// stat, getfacl and the kernel's extended attributes.
struct TFileIdentity {
  uid_t Owner = 0;
  gid_t Group = 0;
  mode_t Mode = 0;
  nlink_t Links = 0;
  std::string Acl;
  std::string Comment;  // the attribute "user.comment"

  bool operator==(const TFileIdentity&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TFileIdentity& id) {
  return out << id.Owner << ":" << id.Group << " " << std::oct << id.Mode << std::dec << " links " << id.Links
             << " acl [" << id.Acl << "] comment [" << id.Comment << "]";
}

// What `command` printed.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

TFileIdentity IdentityOf(const std::string& path) {
  TFileIdentity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return id;
  id.Owner = st.st_uid;
  id.Group = st.st_gid;
  id.Mode = st.st_mode & 07777;
  id.Links = st.st_nlink;
  id.Acl = Output("getfacl --omit-header --absolute-names --numeric '" + path + "' 2>&1");
  char value[64];
  const ssize_t n = ::getxattr(path.c_str(), "user.comment", value, sizeof value);
  if (n > 0) id.Comment.assign(value, static_cast<size_t>(n));
  return id;
}

// A file saved by another user than its owner, by root, through an ACL, under
// another name too, or in a folder that takes no new file is still the file it
// was: its owner, group, mode, ACL, attributes and links, and the same user saves
// it again. "u" is "nobody" in the group "users" (or, when the tests do not run as
// root, the test's own user), "r" is root.
TEST(SaveFileKeeps, TheOwnerGroupModeAclAttributesAndLinksOfTheFileTheUserHad) {
  const bool root = ::geteuid() == 0;
  if (Output("getfacl --version 2>/dev/null").empty()) GTEST_SKIP() << "getfacl is missing (package acl)";
  const struct {
    const char* What;
    const char* Savers;
    uid_t Owner;
    gid_t Group;
    mode_t Mode;
    const char* Acl;  // for setfacl -m
    bool Comment;
    bool Linked;
    bool LockedFolder;  // the saver may not add a file to it
    // The file system takes no mode and says nothing (as some FAT or SMB mounts):
    // only the read-back sees that the new file's is not the file's.
    bool ModeIgnored = false;
  } cases[] = {
      {"a colleague's project in a shared folder", "uu", kDaemon, kUsers, 0664, nullptr, false, false, false},
      {"a project with an ACL", "uu", kNobody, kUsers, 0644, "u:daemon:rw-,g::r--,m::rw-", false, false, false},
      {"a file writable only through an ACL", "uu", kDaemon, kUsers, 0644, "u:nobody:rw-", false, false, false},
      {"root saving the user's project", "ru", kNobody, kUsers, 0640, nullptr, false, false, false},
      {"root saving a colleague's project with an ACL", "ru", kDaemon, kUsers, 0664, "u:nobody:rw-", true, false,
       false},
      {"a hard-linked project", "uu", kNobody, kUsers, 0644, nullptr, false, true, false},
      {"a set-group-id project with an attribute", "uu", kNobody, kUsers, 02664, nullptr, true, false, false},
      {"the user's project in a folder the user may not write", "uu", kNobody, kNogroup, 0644, nullptr, false, false,
       true},
      {"another's project in a folder the user may not write", "uu", kDaemon, kUsers, 0664, nullptr, true, false,
       true},
      {"a project on a file system that silently takes no mode", "uu", kNobody, kUsers, 0604, nullptr, false, false,
       false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const bool setUp = root || (c.Owner == kNobody && std::string(c.Savers).find('r') == std::string::npos);
    if (!setUp) {
      std::printf("needs root to set up: %s\n", c.What);
      continue;
    }
    TScratchFolder dir;
    TScratchFolder state;
    ::chmod(state.Path().c_str(), 0777);
    const std::string folder = dir.File("folder");
    // The umask would take the group's right to add a file, and with it the rename way.
    ASSERT_EQ(::mkdir(folder.c_str(), 0775), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0775), 0);
    const std::string path = folder + "/project.q3d";
    { std::ofstream(path, std::ios::binary) << "old"; }
    if (root) {
      ASSERT_EQ(::chown(folder.c_str(), 0, kUsers), 0);
      ASSERT_EQ(::chown(path.c_str(), c.Owner, c.Group), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), c.Mode), 0);
    if (c.Acl) {
      ASSERT_EQ(Output("setfacl -m " + std::string(c.Acl) + " '" + path + "' 2>&1"), "");
    }
    if (c.Comment) {
      ASSERT_EQ(::setxattr(path.c_str(), "user.comment", "mine", 4, 0), 0);
    }
    if (c.Linked) {
      ASSERT_EQ(::link(path.c_str(), dir.File("other-name.q3d").c_str()), 0);
    }
    if (c.LockedFolder) ::chmod(folder.c_str(), 0555);
    const TFileIdentity before = IdentityOf(path);
    SetModeIgnoredForTesting(c.ModeIgnored);
    int round = 0;
    for (const char saver : std::string(c.Savers)) {
      const std::string content = "new " + std::to_string(++round);
      const auto save = [&] {
        TEnvVar stateHome("XDG_STATE_HOME", state.File(saver == 'r' ? "root" : "user").c_str());
        std::string error;
        if (!WriteWholeFileAtomic(path, content.data(), content.size(), &error)) return error.empty() ? "?" : error;
        return TakeInterruptedSaves().empty() ? std::string() : std::string("an earlier content left behind");
      };
      EXPECT_EQ(saver == 'r' ? save() : AsUnprivilegedUser(dir, save, {kUsers}), "") << saver;
      EXPECT_EQ(Contents(path), content) << saver;
      EXPECT_EQ(IdentityOf(path), before) << saver;
      if (c.Linked) {
        EXPECT_EQ(Contents(dir.File("other-name.q3d")), content);
      }
    }
    SetModeIgnoredForTesting(false);
    ::chmod(folder.c_str(), 0775);
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    const std::vector<std::string> names =
        c.Linked ? std::vector<std::string>{"folder", "other-name.q3d"} : std::vector<std::string>{"folder"};
    EXPECT_EQ(entries, names);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
        << "no temporary left";
  }
}

// A pipe, a device or a link to nothing is never opened (a pipe would wait for a
// writer) nor replaced by a regular file: the save is refused and names why.
TEST(SaveFileKeeps, AFileThatIsNotARegularFileIsRefusedAndLeft) {
  TScratchFolder dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0666), 0);
  ASSERT_EQ(::symlink(dir.File("missing").c_str(), dir.File("dangling").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("pipe").c_str(), dir.File("to-pipe").c_str()), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::mknod(dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
  }
  const struct {
    std::string Path;
    mode_t Type;  // of the entry itself, which stays
    const char* Reason;
  } cases[] = {
      {dir.File("pipe"), S_IFIFO, "it is not a regular file"},
      {dir.File("to-pipe"), S_IFLNK, "it is not a regular file"},
      {dir.File("dangling"), S_IFLNK, "it is a symbolic link to a file that does not exist"},
      {dir.File("null"), S_IFCHR, "it is not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    struct stat st {};
    if (::lstat(c.Path.c_str(), &st) != 0) continue;  // the device node needs root
    std::string error;
    EXPECT_FALSE(TSaveFile::Create(c.Path, &error));
    EXPECT_EQ(error, c.Reason);
    EXPECT_FALSE(WriteWholeFileAtomic(c.Path, "x", 1, &error));
    ASSERT_EQ(::lstat(c.Path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, c.Type);
  }
  std::vector<std::string> entries = dir.Entries();
  std::sort(entries.begin(), entries.end());
  std::vector<std::string> made = {"dangling", "pipe", "to-pipe"};
  if (root) made.insert(made.begin() + 1, "null");
  EXPECT_EQ(entries, made);
}

// A file put in the target's place after the save checked it, a link to another
// file or another file renamed there, is neither written nor lends its attributes
// to the save, by rename or in place: the save is refused and every file left.
TEST(SaveFileKeeps, AFileThatTookTheTargetsPlaceSinceItWasCheckedIsRefusedAndLeft) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  const struct {
    const char* What;
    bool Linked;  // saved in place
    bool Link;    // what takes the place: a link to "other", else "other" itself
  } cases[] = {
      {"a link, by rename", false, true},
      {"a link, in place", true, true},
      {"another file, by rename", false, false},
      {"another file, in place", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TScratchFolder dir;
    dir.Put("t.bin", "mine");
    dir.Put("other", "other's");
    std::vector<std::string> names = {"t.bin"};
    if (c.Linked) {
      ASSERT_EQ(::link(dir.File("t.bin").c_str(), dir.File("kept").c_str()), 0);
      names.push_back("kept");
    }
    if (c.Link) {
      names.push_back("other");
      ASSERT_EQ(::symlink(dir.File("other").c_str(), dir.File("swap").c_str()), 0);
    }
    std::string error;
    {
      TScopedSaveStep swap([&](TSaveStep step, const std::string& target) {
        if (step == TSaveStep::ssChecked) ::rename(dir.File(c.Link ? "swap" : "other").c_str(), target.c_str());
      });
      EXPECT_FALSE(WriteWholeFileAtomic(dir.File("t.bin"), "new", 3, &error));
    }
    EXPECT_EQ(error, "another file took its place while it was being saved");
    EXPECT_EQ(dir.Get("t.bin"), "other's");
    if (c.Linked) {
      EXPECT_EQ(dir.Get("kept"), "mine");
    }
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(entries, names) << "no temporary left";
  }
}

// In place, a writer that fails or gives up puts the earlier content back; where
// even that fails (the disk still full), the reason says where it is kept, whole.
TEST(SaveFileErrors, AFailedSaveInPlacePutsTheEarlierContentBackOrSaysWhereItIs) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  const struct {
    const char* What;
    bool FullWhileWriting;
    bool FullWhilePuttingBack;
    bool Commits;
    const char* Reason;  // what FailureReason or Commit gives, up to the kept path
    bool LongerFirst = false;  // more than the earlier content reached the file first
  } cases[] = {
      {"a full disk", true, false, false, "No space left on device"},
      {"a full disk at the commit", true, false, true, "No space left on device"},
      {"a writer that gives up", false, false, false, "the writer's reason"},
      {"a save dropped unfinished", false, false, false, nullptr},
      {"a writer that gives up after more than the earlier content", false, false, false, "the writer's reason",
       true},
      {"a disk full to the end", true, true, false,
       "No space left on device. Its earlier content is kept in \""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TScratchFolder dir;
    dir.Put("t.bin", "old content");
    ASSERT_EQ(::link(dir.File("t.bin").c_str(), dir.File("t.link").c_str()), 0);
    std::string reason;
    std::optional<qira::TFileIdentity> restored;
    std::optional<qira::TFileIdentity> kept;
    {
      auto save = TSaveFile::Create(dir.File("t.bin"));
      ASSERT_TRUE(save);
      EXPECT_EQ(save->TemporaryPath(), "");
      kept = save->KeptIdentity();
      if (c.LongerFirst) {
        ASSERT_TRUE(save->Stream().Write(std::string(70000, 'n').data(), 70000));  // unbuffered
      }
      {
        TScopedWriteFailure full(c.FullWhileWriting ? ENOSPC : 0);
        EXPECT_TRUE(save->Stream().Write("new", 3));  // buffered
        if (c.FullWhileWriting) {
          EXPECT_FALSE(save->Stream().Write(std::string(70000, 'n').data(), 70000));
        }
      }
      TScopedWriteFailure full(c.FullWhilePuttingBack ? ENOSPC : 0);
      if (c.Commits) {
        EXPECT_FALSE(save->Commit(&reason));
      }
      else if (c.Reason) reason = save->FailureReason("the writer's reason");
      restored = save->RestoredIdentity();
    }
    if (!c.Reason) {
      EXPECT_EQ(reason, "");
    } else if (c.FullWhilePuttingBack) {
      ASSERT_EQ(reason.compare(0, std::strlen(c.Reason), c.Reason), 0) << reason;
      const std::string kept = reason.substr(std::strlen(c.Reason), reason.size() - std::strlen(c.Reason) - 1);
      EXPECT_EQ(Contents(kept), "old content") << kept;
      continue;
    } else {
      EXPECT_EQ(reason, c.Reason);
    }
    EXPECT_EQ(dir.Get("t.bin"), "old content");
    EXPECT_EQ(dir.Get("t.link"), "old content");
    // What the save tells of the file put back: the one it kept, with its content.
    if (c.Reason) {
      ASSERT_TRUE(restored && kept);
      EXPECT_EQ(*restored, qira::FileIdentityOf(dir.File("t.bin")));
      EXPECT_EQ(std::make_pair(restored->Inode, restored->Size), std::make_pair(kept->Inode, kept->Size));
    }
    EXPECT_EQ(SaveFoldersWithoutWholeContent(), std::vector<std::string>{});
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(InterruptedSavesFolder(), ec)) << "nothing kept once put back";
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

// A save in place is done only when the file's name leads to what it wrote: another
// program's rename over the target meanwhile (at its truncation, between its writes,
// after its last one) fails the save, and the file it wrote, still named by its
// other name, gets its earlier content back.
TEST(SaveFileErrors, ASaveInPlaceWhoseFileAnotherProgramRenamedOverIsNotDone) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  const struct {
    const char* What;
    std::optional<TSaveStep> Step;  // none: between two writes
  } cases[] = {
      {"at the truncation", TSaveStep::ssTruncated},
      {"between its writes", std::nullopt},
      {"after its last write", TSaveStep::ssWritten},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TScratchFolder dir;
    dir.Put("t.bin", "old content");
    dir.Put("other", "other's");
    ASSERT_EQ(::link(dir.File("t.bin").c_str(), dir.File("t.link").c_str()), 0);
    const auto replace = [&] { ASSERT_EQ(::rename(dir.File("other").c_str(), dir.File("t.bin").c_str()), 0); };
    std::string error;
    std::unique_ptr<TSaveFile> save;
    {
      TScopedSaveStep swap([&](TSaveStep step, const std::string&) {
        if (step == c.Step) replace();
      });
      save = TSaveFile::Create(dir.File("t.bin"));
      ASSERT_TRUE(save);
      ASSERT_TRUE(save->Stream().Write(std::string(70000, 'n').data(), 70000));
      if (!c.Step) replace();
      ASSERT_TRUE(save->Stream().Write("new", 3));
      EXPECT_FALSE(save->Commit(&error));
    }
    EXPECT_EQ(error, "another program replaced it while it was being saved");
    EXPECT_EQ(CannotFileText("create", "t.bin", error),
              "Cannot create file \"t.bin\". Another program replaced it while it was being saved.");
    EXPECT_FALSE(save->WrittenIdentity());
    EXPECT_FALSE(save->RestoredIdentity()) << "the name leads to another file";
    EXPECT_EQ(dir.Get("t.bin"), "other's");
    EXPECT_EQ(dir.Get("t.link"), "old content");
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(InterruptedSavesFolder(), ec)) << "nothing kept once put back";
  }
  // Untouched, the save is done and tells the file it wrote, either way.
  for (const TSaveWay& way : kSaveWays) {
    SCOPED_TRACE(way.Way);
    TScratchFolder dir;
    const std::string target = dir.File("t.bin");
    ASSERT_TRUE(FirstSave(target, way));
    auto save = TSaveFile::Create(target);
    ASSERT_TRUE(save);
    ASSERT_TRUE(save->Stream().Write("new", 3));
    ASSERT_TRUE(save->Commit());
    EXPECT_EQ(save->WrittenIdentity(), qira::FileIdentityOf(target));
  }
}

// The mark that every byte was written comes only once the last flush succeeded: a
// save killed while it puts back after a failed flush is told at the next start.
TEST(SaveFileKilled, ASaveWhoseLastFlushFailedIsToldWhenKilledPuttingBack) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  TScratchFolder dir;
  dir.Put("t.bin", "old content");
  ASSERT_EQ(::link(dir.File("t.bin").c_str(), dir.File("t.link").c_str()), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TScopedSaveStep killed([](TSaveStep step, const std::string&) {
      if (step == TSaveStep::ssPuttingBack) ::_exit(0);
    });
    auto save = TSaveFile::Create(dir.File("t.bin"));
    if (!save || !save->Stream().Write("new", 3)) ::_exit(1);  // buffered: the commit's flush fails
    SetFileWriteFailureForTesting(ENOSPC);
    save->Commit();
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "killed putting back";
  const std::vector<TInterruptedSave> told = TakeInterruptedSaves();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(Contents(told[0].EarlierContent), "old content");
  EXPECT_FALSE(told[0].MayBeWhole);
}

// A lock in the way is told by what holds it: another save (a write lock) or a
// reader (a read lock). A file system without record locks is saved in place
// unlocked, whole.
TEST(SaveFileAtOnce, ALockInTheWayIsToldByItsKindAndAFileSystemWithoutLocksIsSavedUnlocked) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  SetLockWaitForTesting(std::chrono::milliseconds(100));
  const struct {
    const char* What;
    short Held;        // the lock another open of the file holds; F_UNLCK: none
    int LockFailure;   // what the lock call answers
    const char* Error; // empty: saved
  } cases[] = {
      {"another save's lock", F_WRLCK, 0, "it is being saved by another program"},
      {"a reader's lock", F_RDLCK, 0, "another program holds it locked"},
      {"no record locks", F_UNLCK, ENOLCK, ""},
      {"locks not supported", F_UNLCK, EOPNOTSUPP, ""},
      {"locks refused as invalid", F_UNLCK, EINVAL, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TScratchFolder dir;
    dir.Put("t.bin", "old content");
    ASSERT_EQ(::link(dir.File("t.bin").c_str(), dir.File("t.link").c_str()), 0);
    const int other = ::open(dir.File("t.bin").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    struct flock lock {};
    lock.l_type = c.Held;
    lock.l_whence = SEEK_SET;
    if (c.Held != F_UNLCK) {
      ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &lock), 0);
    }
    SetLockFailureForTesting(c.LockFailure);
    std::string error;
    const bool saved = WriteWholeFileAtomic(dir.File("t.bin"), "new", 3, &error);
    SetLockFailureForTesting(0);
    ::close(other);
    EXPECT_EQ(error, c.Error);
    EXPECT_EQ(saved, std::string(c.Error).empty());
    EXPECT_EQ(dir.Get("t.bin"), saved ? "new" : "old content");
    EXPECT_EQ(dir.Get("t.link"), dir.Get("t.bin"));
  }
  SetLockWaitForTesting(std::chrono::milliseconds(-1));
}

// A shorter content leaves exactly itself, either way: no tail of the old one.
TEST(SaveFileKeeps, AShorterSaveLeavesExactlyTheNewContent) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  for (const TSaveWay& way : kSaveWays) {
    SCOPED_TRACE(way.Way);
    TScratchFolder dir;
    const std::string target = dir.File("t.bin");
    ASSERT_TRUE(FirstSave(target, way));
    ASSERT_TRUE(WriteWholeFileAtomic(target, "new", 3));
    EXPECT_EQ(Contents(target), "new");
  }
}

// The attributes a save by rename gives its file are read from the file it checked,
// through its descriptor: a file another program renamed to the name meanwhile
// lends none of its own.
TEST(SaveFileKeeps, TheAttributesGivenAreThoseOfTheFileCheckedNotOfOneRenamedThereSince) {
  TScratchFolder dir;
  dir.Put("t.bin", "mine");
  dir.Put("other", "other's");
  ASSERT_EQ(::setxattr(dir.File("t.bin").c_str(), "user.comment", "mine", 4, 0), 0);
  ASSERT_EQ(::setxattr(dir.File("other").c_str(), "user.comment", "other's", 7, 0), 0);
  std::string error;
  {
    TScopedSaveStep swap([&](TSaveStep step, const std::string& target) {
      if (step == TSaveStep::ssOpened) ::rename(dir.File("other").c_str(), target.c_str());
    });
    EXPECT_TRUE(WriteWholeFileAtomic(dir.File("t.bin"), "new", 3, &error)) << error;
  }
  EXPECT_EQ(dir.Get("t.bin"), "new");
  char value[16] = {};
  EXPECT_EQ(std::string(value, std::max<ssize_t>(0, ::getxattr(dir.File("t.bin").c_str(), "user.comment", value,
                                                                 sizeof value))),
            "mine");
}

}  // namespace
}  // namespace qira

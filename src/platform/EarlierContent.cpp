#include "platform/EarlierContent.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/ConfigPaths.h"
#include "platform/ProgramVersion.h"

namespace qira {

namespace {

constexpr char kTargetFile[] = "target";
// The saving process's start: a process id alone may be another process's by the
// time a start looks at it.
constexpr char kProcessFile[] = "process";
// Marks a folder whose save handed every byte of its new content to the system.
constexpr char kWrittenFile[] = "written";
constexpr char kPartEnding[] = ".part";
// Marks a folder whose save the user was told about.
constexpr char kToldFile[] = "told";

// "earlier" and the target's extension, so the kept copy opens as the file did.
std::string ContentName(const std::string& target) {
  std::string extension = std::filesystem::path(target).extension().string();
  if (extension.size() > 16) extension.clear();
  return "earlier" + extension;
}

int OpenNew(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Copies all of `from` over `to`, both from their start; false with errno.
bool CopyContent(int from, int to) {
  std::vector<uint8_t> buffer(256 * 1024);
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(from, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAllAt(to, buffer.data(), static_cast<size_t>(n), at)) return false;
    at += n;
  }
}

// Writes the whole of `bytes` into a new file and syncs it; false with errno.
bool WriteNewFile(const std::string& path, const std::string& bytes) {
  const int fd = OpenNew(path);
  if (fd < 0) return false;
  const bool written = WriteAllAt(fd, bytes.data(), bytes.size(), 0) && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  errno = err;
  return written;
}

// The bytes of the file `name` in the folder `dir` (AT_FDCWD: a path), no link
// followed; none when it cannot be read or holds more than `most` bytes. Files of
// /proc tell no size before they are read.
std::optional<std::string> ReadSmallFile(int dir, const std::string& name, size_t most) {
  int fd;
  do {
    fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  struct stat st;
  std::string bytes(most + 1, '\0');
  size_t got = 0;
  bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  while (read && got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      read = n == 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!read || got > most) return std::nullopt;
  bytes.resize(got);
  return bytes;
}

// This boot's id; empty where the system does not tell it.
const std::string& ThisBoot() {
  static const std::string boot = [] {
    std::string id = ReadSmallFile(AT_FDCWD, "/proc/sys/kernel/random/boot_id", 64).value_or("");
    if (!id.empty() && id.back() == '\n') id.pop_back();
    return id.find_first_of(" \n") == std::string::npos ? id : std::string();
  }();
  return boot;
}

// The start time of the process `pid` in clock ticks since the boot (field 22 of
// /proc/<pid>/stat, counted after the name, which may hold anything); empty when
// there is no such process or the system does not tell.
std::string ProcessStart(long pid) {
  const std::optional<std::string> stat = ReadSmallFile(AT_FDCWD, "/proc/" + std::to_string(pid) + "/stat", 4096);
  const size_t nameEnd = stat ? stat->rfind(')') : std::string::npos;
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat->substr(nameEnd + 1));
  std::string field;
  for (int number = 3; number <= 22 && fields >> field; ++number)
    if (number == 22) return field.find_first_not_of("0123456789") == std::string::npos ? field : std::string();
  return {};
}

// What a save's folder holds about the process that made it.
struct TSavingProcess {
  std::string Start;
  std::string Boot;
};

// "<start> <boot>\n", empty where the system does not tell them.
std::string ProcessFileText() {
  const std::string start = ProcessStart(::getpid());
  if (start.empty() || ThisBoot().empty()) return {};
  return start + " " + ThisBoot() + "\n";
}

// The saving process a folder names; none for a folder of an older build, or one
// whose file is not (yet) whole.
std::optional<TSavingProcess> ReadSavingProcess(int folder) {
  const std::optional<std::string> text = ReadSmallFile(folder, kProcessFile, 128);
  if (!text || text->empty() || text->back() != '\n') return std::nullopt;
  const size_t space = text->find(' ');
  if (space == std::string::npos) return std::nullopt;
  TSavingProcess process{text->substr(0, space), text->substr(space + 1, text->size() - space - 2)};
  if (process.Start.empty() || process.Boot.empty()) return std::nullopt;
  return process;
}

// True once the save's process has ended: no process has its id, or the one that
// has it started at another time or in another boot. Folders without the process's
// start keep the rule of the id alone.
bool SaveEnded(long pid, const std::optional<TSavingProcess>& process) {
  if (ProcessEnded(pid)) return true;
  if (!process || ThisBoot().empty()) return false;
  if (process->Boot != ThisBoot()) return true;
  const std::string start = ProcessStart(pid);
  return !start.empty() && start != process->Start;
}

// Removes the names a save makes in its open folder `folder`, then the folder, the
// entry `name` of `parent` (AT_FDCWD: a path). Whatever else a folder holds stays,
// and so does the folder then.
void RemoveSaveFolder(int parent, const std::string& name, int folder, const std::string& content) {
  // The content first: a folder without it is an unfinished one, removed silently.
  for (const std::string& file : {content, content + kPartEnding, std::string(kTargetFile), std::string(kProcessFile),
                                  std::string(kWrittenFile), std::string(kToldFile)})
    ::unlinkat(folder, file.c_str(), 0);
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// RemoveSaveFolder for a folder this process made, by its path.
void RemoveSaveFolder(const std::string& path, const std::string& content) {
  const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  RemoveSaveFolder(AT_FDCWD, path, folder, content);
  ::close(folder);
}

// When a save began: the time its folder's "target" was written.
std::chrono::system_clock::time_point SaveTime(int folder, const struct stat& folderStat) {
  struct stat st;
  const timespec time = ::fstatat(folder, kTargetFile, &st, AT_SYMLINK_NOFOLLOW) == 0 ? st.st_mtim : folderStat.st_mtim;
  return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
}

// The save in the open folder `folder`, the entry `name` of `root`, when it is one
// to tell: of a process that has ended, holding a whole content. Folders of ended
// saves that need no word are removed.
std::optional<TInterruptedSave> TakeSave(int root, const std::string& rootPath, const std::string& name, int folder,
                                         const struct stat& folderStat) {
  const std::optional<TSavingProcess> process = ReadSavingProcess(folder);
  if (!SaveEnded(ProcessStampOwner(name), process)) return std::nullopt;
  const std::string target = ReadSmallFile(folder, kTargetFile, PATH_MAX).value_or("");
  const std::string content = ContentName(target);
  struct stat st;
  const bool whole = ::fstatat(folder, content.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
  const bool written = ::faccessat(folder, kWrittenFile, F_OK, AT_SYMLINK_NOFOLLOW) == 0;
  // A kill of the program keeps every byte handed to the system: only the
  // machine's stop can have lost them.
  if (!whole || (written && process && process->Boot == ThisBoot())) {
    RemoveSaveFolder(root, name, folder, content);
    return std::nullopt;
  }
  // Two starts at once: only the one that makes the mark lists the save. A mark
  // that cannot be made (a full disk) has the save told again at the next start.
  const int mark = ::openat(folder, kToldFile, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (mark < 0 && errno == EEXIST) return std::nullopt;
  if (mark >= 0) ::close(mark);
  return TInterruptedSave{target, rootPath + "/" + name + "/" + content, SaveTime(folder, folderStat), written};
}

}  // namespace

std::string InterruptedSavesFolder() { return StateFolder() + "/" + ProgramName() + "/interrupted-saves"; }

std::unique_ptr<TEarlierContent> TEarlierContent::Keep(int fd, const std::string& target, std::string* error) {
  const std::string root = InterruptedSavesFolder();
  const std::string contentName = ContentName(target);
  std::string folder;
  const auto fail = [&](int err) {
    if (!folder.empty()) RemoveSaveFolder(folder, contentName);
    if (error) *error = "its earlier content cannot be kept in \"" + root + "\": " + ErrnoText(err);
    return nullptr;
  };
  std::string reason;
  if (!EnsureFolderExists(root, &reason)) {
    if (error) *error = "its earlier content cannot be kept in \"" + root + "\": " + reason;
    return nullptr;
  }
  for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
    const std::string name = root + "/" + ProcessStamp();
    if (::mkdir(name.c_str(), 0700) == 0) folder = name;
    else if (errno != EEXIST) return fail(errno);
  }
  if (folder.empty()) return fail(EEXIST);
  if (!WriteNewFile(folder + "/" + kTargetFile, target)) return fail(errno);
  // Where the system does not tell the process's start, the folder is an older
  // build's: its process id alone says whether the save still runs.
  const std::string process = ProcessFileText();
  if (!process.empty() && !WriteNewFile(folder + "/" + kProcessFile, process)) return fail(errno);
  const std::string content = folder + "/" + contentName;
  const std::string part = content + kPartEnding;
  const int copy = OpenNew(part);
  if (copy < 0) return fail(errno);
  const bool copied = CopyContent(fd, copy) && ::fsync(copy) == 0;
  const int err = errno;
  ::close(copy);
  if (!copied) return fail(err);
  if (::rename(part.c_str(), content.c_str()) != 0 || !SyncFolder(folder) || !SyncFolder(root)) return fail(errno);
  return std::unique_ptr<TEarlierContent>(new TEarlierContent(folder, contentName));
}

void TEarlierContent::MarkWritten() {
  if (const int mark = OpenNew(folder_ + "/" + kWrittenFile); mark >= 0) ::close(mark);
}

bool TEarlierContent::PutBack(int fd) {
  // The target is torn while the content goes back: the copy is the whole one again.
  if (::unlink((folder_ + "/" + kWrittenFile).c_str()) != 0 && errno != ENOENT) return false;
  const int from = ::open(content_.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  const bool back = ::ftruncate(fd, 0) == 0 && CopyContent(from, fd) && ::fsync(fd) == 0;
  ::close(from);
  if (back) Drop();
  return back;
}

void TEarlierContent::Drop() { RemoveSaveFolder(folder_, contentName_); }

namespace {

// Calls `visit` with each real folder of the user's in the state folder named as a
// save names its folder, open: a link or a folder swapped in is not followed out of
// the state folder.
void ForEachSaveFolder(const std::function<void(int root, const std::string& rootPath, const std::string& name,
                                                int folder, const struct stat& folderStat)>& visit) {
  const std::string root = InterruptedSavesFolder();
  DIR* dir = ::opendir(root.c_str());
  if (!dir) return;
  // Named first: the walk would not be sure to see each name once while folders go.
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir))
    if (ProcessStampOwner(entry->d_name) > 0) names.push_back(entry->d_name);
  for (const std::string& name : names) {
    const int folder =
        ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (folder < 0) continue;
    struct stat st;
    if (::fstat(folder, &st) == 0 && st.st_uid == ::geteuid()) visit(::dirfd(dir), root, name, folder, st);
    ::close(folder);
  }
  ::closedir(dir);
}

}  // namespace

std::vector<TInterruptedSave> TakeInterruptedSaves() {
  std::vector<TInterruptedSave> saves;
  ForEachSaveFolder([&](int root, const std::string& rootPath, const std::string& name, int folder,
                        const struct stat& folderStat) {
    if (std::optional<TInterruptedSave> save = TakeSave(root, rootPath, name, folder, folderStat))
      saves.push_back(std::move(*save));
  });
  std::stable_sort(saves.begin(), saves.end(),
                   [](const TInterruptedSave& a, const TInterruptedSave& b) { return a.Time > b.Time; });
  return saves;
}

std::string KeptEarlierContentOf(const std::string& utf8Path) {
  struct stat file;
  if (utf8Path.empty() || ::stat(utf8Path.c_str(), &file) != 0) return {};
  std::string newest;
  std::chrono::system_clock::time_point newestTime;
  ForEachSaveFolder([&](int, const std::string& rootPath, const std::string& name, int folder,
                        const struct stat& folderStat) {
    // The same file, however it was named when it was saved.
    const std::string target = ReadSmallFile(folder, kTargetFile, PATH_MAX).value_or("");
    struct stat st;
    if (target.empty() || ::stat(target.c_str(), &st) != 0 || st.st_dev != file.st_dev || st.st_ino != file.st_ino)
      return;
    const std::string content = ContentName(target);
    if (::fstatat(folder, content.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return;
    const auto time = SaveTime(folder, folderStat);
    if (newest.empty() || time > newestTime) {
      newest = rootPath + "/" + name + "/" + content;
      newestTime = time;
    }
  });
  return newest;
}

}  // namespace qira

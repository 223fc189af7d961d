#include "platform/EarlierContent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/ConfigPaths.h"
#include "platform/ProcessFolders.h"
#include "platform/ProgramVersion.h"

namespace qira {

namespace {

constexpr char kTargetFile[] = "target";
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

// Removes the names a save makes in its open folder `folder`, then the folder, the
// entry `name` of `parent` (AT_FDCWD: a path). Whatever else a folder holds stays,
// and so does the folder then.
void RemoveSaveFolder(int parent, const std::string& name, int folder, const std::string& content) {
  // The content first: a folder without it is an unfinished one, removed silently.
  for (const std::string& file : {content, content + kPartEnding, std::string(kTargetFile),
                                  std::string(kProcessIdentityFile), std::string(kWrittenFile), std::string(kToldFile)})
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
  const std::optional<TProcessIdentity> process = ReadProcessIdentity(folder);
  if (!ProcessIdentityEnded(ProcessStampOwner(name), process)) return std::nullopt;
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
  int err = 0;
  folder = MakeStampFolder(root, err);
  if (folder.empty()) return fail(err);
  if (!WriteNewFile(folder + "/" + kTargetFile, target)) return fail(errno);
  const std::string content = folder + "/" + contentName;
  const std::string part = content + kPartEnding;
  const int copy = OpenNewFile(part);
  if (copy < 0) return fail(errno);
  const bool copied = CopyContent(fd, copy) && ::fsync(copy) == 0;
  err = errno;
  ::close(copy);
  if (!copied) return fail(err);
  if (::rename(part.c_str(), content.c_str()) != 0 || !SyncFolder(folder) || !SyncFolder(root)) return fail(errno);
  return std::unique_ptr<TEarlierContent>(new TEarlierContent(folder, contentName));
}

void TEarlierContent::MarkWritten() {
  if (const int mark = OpenNewFile(folder_ + "/" + kWrittenFile); mark >= 0) ::close(mark);
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


std::vector<TInterruptedSave> TakeInterruptedSaves() {
  std::vector<TInterruptedSave> saves;
  ForEachStampFolder(InterruptedSavesFolder(), [&](int root, const std::string& rootPath, const std::string& name, int folder,
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
  ForEachStampFolder(InterruptedSavesFolder(), [&](int, const std::string& rootPath, const std::string& name, int folder,
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

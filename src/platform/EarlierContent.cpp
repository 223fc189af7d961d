#include "platform/EarlierContent.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/ConfigPaths.h"
#include "platform/ProgramVersion.h"

namespace qira {

namespace {

constexpr char kTargetFile[] = "target";
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

// Removes a save's folder and whatever it holds (no subfolders).
void RemoveSaveFolder(const std::string& folder) {
  if (DIR* dir = ::opendir(folder.c_str())) {
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
      if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..") names.push_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : names) ::unlink((folder + "/" + name).c_str());
  }
  ::rmdir(folder.c_str());
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The saved file's path as a save's folder holds it; empty when it cannot be read.
std::string ReadTarget(const std::string& folder) {
  std::vector<uint8_t> bytes;
  struct stat st;
  const std::string path = folder + "/" + kTargetFile;
  if (::stat(path.c_str(), &st) != 0 || st.st_size > PATH_MAX || !ReadWholeFile(path, bytes)) return {};
  return std::string(bytes.begin(), bytes.end());
}

// The whole kept content in a save's folder, empty when there is none.
std::string WholeContent(const std::string& folder) {
  std::string found;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name.starts_with("earlier") && !name.ends_with(kPartEnding)) found = folder + "/" + std::string(name);
    }
    ::closedir(dir);
  }
  return found;
}

}  // namespace

std::string InterruptedSavesFolder() { return StateFolder() + "/" + ProgramName() + "/interrupted-saves"; }

std::unique_ptr<TEarlierContent> TEarlierContent::Keep(int fd, const std::string& target, std::string* error) {
  const std::string root = InterruptedSavesFolder();
  std::string folder;
  const auto fail = [&](int err) {
    if (!folder.empty()) RemoveSaveFolder(folder);
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
  const std::string content = folder + "/" + ContentName(target);
  const std::string part = content + kPartEnding;
  const int copy = OpenNew(part);
  if (copy < 0) return fail(errno);
  const bool copied = CopyContent(fd, copy) && ::fsync(copy) == 0;
  const int err = errno;
  ::close(copy);
  if (!copied) return fail(err);
  if (::rename(part.c_str(), content.c_str()) != 0 || !SyncFolder(folder) || !SyncFolder(root)) return fail(errno);
  return std::unique_ptr<TEarlierContent>(new TEarlierContent(folder, content));
}

bool TEarlierContent::PutBack(int fd) {
  const int from = ::open(content_.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  const bool back = ::ftruncate(fd, 0) == 0 && CopyContent(from, fd) && ::fsync(fd) == 0;
  ::close(from);
  if (back) Drop();
  return back;
}

void TEarlierContent::Drop() {
  // The content first: a folder without it is an unfinished one, removed silently.
  ::unlink(content_.c_str());
  RemoveSaveFolder(folder_);
}

std::vector<TInterruptedSave> TakeInterruptedSaves() {
  const std::string root = InterruptedSavesFolder();
  std::vector<std::string> ended;
  if (DIR* dir = ::opendir(root.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const long pid = ProcessStampOwner(entry->d_name);
      if (pid > 0 && pid != ::getpid() && ProcessEnded(pid)) ended.push_back(root + "/" + entry->d_name);
    }
    ::closedir(dir);
  }
  std::vector<TInterruptedSave> saves;
  for (const std::string& folder : ended) {
    if (Exists(folder + "/" + kToldFile)) continue;
    TInterruptedSave save{ReadTarget(folder), WholeContent(folder)};
    if (save.EarlierContent.empty()) {
      RemoveSaveFolder(folder);
      continue;
    }
    if (const int told = OpenNew(folder + "/" + kToldFile); told >= 0) ::close(told);
    saves.push_back(std::move(save));
  }
  return saves;
}

}  // namespace qira

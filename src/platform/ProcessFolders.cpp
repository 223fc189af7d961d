#include "platform/ProcessFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

#include "platform/BinaryStream.h"

namespace qira {

namespace {

// Field `wanted` (3 or more) of /proc/<pid>/stat, counted after the name, which may
// hold anything; empty when there is no such process or the system does not tell.
std::string ProcessStatField(long pid, int wanted) {
  const std::optional<std::string> stat = ReadSmallFile(AT_FDCWD, "/proc/" + std::to_string(pid) + "/stat", 4096);
  const size_t nameEnd = stat ? stat->rfind(')') : std::string::npos;
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat->substr(nameEnd + 1));
  std::string field;
  for (int number = 3; number <= wanted && fields >> field; ++number)
    if (number == wanted) return field;
  return {};
}

// The start time of the process `pid` in clock ticks since the boot.
std::string ProcessStart(long pid) {
  const std::string field = ProcessStatField(pid, 22);
  return field.find_first_not_of("0123456789") == std::string::npos ? field : std::string();
}

// A killed process its parent has not reaped yet still has an id, but has ended.
bool ProcessIsZombie(long pid) {
  const std::string state = ProcessStatField(pid, 3);
  return state == "Z" || state == "X";
}

}  // namespace

std::optional<std::string> ReadSmallFile(int dir, const std::string& name, size_t most) {
  // Files of /proc tell no size before they are read.
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

const std::string& ThisBoot() {
  static const std::string boot = [] {
    std::string id = ReadSmallFile(AT_FDCWD, "/proc/sys/kernel/random/boot_id", 64).value_or("");
    if (!id.empty() && id.back() == '\n') id.pop_back();
    return id.find_first_of(" \n") == std::string::npos ? id : std::string();
  }();
  return boot;
}

std::string ProcessIdentityText() {
  const std::string start = ProcessStart(::getpid());
  if (start.empty() || ThisBoot().empty()) return {};
  return start + " " + ThisBoot() + "\n";
}

std::optional<TProcessIdentity> ReadProcessIdentity(int folder) {
  const std::optional<std::string> text = ReadSmallFile(folder, kProcessIdentityFile, 128);
  if (!text || text->empty() || text->back() != '\n') return std::nullopt;
  const size_t space = text->find(' ');
  if (space == std::string::npos) return std::nullopt;
  TProcessIdentity identity{text->substr(0, space), text->substr(space + 1, text->size() - space - 2)};
  if (identity.Start.empty() || identity.Boot.empty()) return std::nullopt;
  return identity;
}

bool ProcessIdentityEnded(long pid, const std::optional<TProcessIdentity>& identity) {
  if (ProcessEnded(pid) || ProcessIsZombie(pid)) return true;
  if (!identity || ThisBoot().empty()) return false;
  if (identity->Boot != ThisBoot()) return true;
  const std::string start = ProcessStart(pid);
  return !start.empty() && start != identity->Start;
}

bool FolderProcessEnded(const std::string& name, int folder) {
  return ProcessIdentityEnded(ProcessStampOwner(name), ReadProcessIdentity(folder));
}

int OpenNewFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
  const int fd = OpenNewFile(path);
  if (fd < 0) return false;
  const bool written = WriteAllAt(fd, bytes.data(), bytes.size(), 0) && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  errno = err;
  return written;
}

std::string MakeStampFolder(const std::string& root, int& err) {
  std::string folder;
  for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
    const std::string name = root + "/" + ProcessStamp();
    if (::mkdir(name.c_str(), 0700) == 0) {
      folder = name;
    } else if (errno != EEXIST) {
      err = errno;
      return {};
    }
  }
  if (folder.empty()) {
    err = EEXIST;
    return {};
  }
  const std::string identity = ProcessIdentityText();
  if (!identity.empty() && !WriteNewFile(folder + "/" + kProcessIdentityFile, identity)) {
    err = errno;
    ::unlink((folder + "/" + kProcessIdentityFile).c_str());
    ::rmdir(folder.c_str());
    return {};
  }
  return folder;
}

void ForEachStampFolder(const std::string& root, const TStampFolderVisit& visit) {
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

}  // namespace qira

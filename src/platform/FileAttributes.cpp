#include "platform/FileAttributes.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace qira {

namespace {

std::atomic<bool> gModeIgnored{false};

// Extended attributes by name.
using TAttributes = std::map<std::string, std::vector<char>>;

// Fills `out` from a call that takes a buffer and its size (listxattr, getxattr and
// their kin); the value may grow between asking its size and reading it.
bool ReadSized(const std::function<ssize_t(char*, size_t)>& read, std::vector<char>& out) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = read(nullptr, 0);
    if (size < 0) return false;
    out.resize(static_cast<size_t>(size));
    const ssize_t got = read(out.data(), out.size());
    if (got >= 0) {
      out.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

// Every attribute a file shows its reader; none where the file system has none.
std::optional<TAttributes> ReadAttributes(const std::function<ssize_t(char*, size_t)>& list,
                                          const std::function<ssize_t(const char*, char*, size_t)>& get) {
  std::vector<char> names;
  if (!ReadSized(list, names)) {
    if (errno == ENOTSUP) return TAttributes{};
    return std::nullopt;
  }
  TAttributes attributes;
  for (size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    std::vector<char> value;
    if (!ReadSized([&](char* buf, size_t n) { return get(name, buf, n); }, value)) {
      if (errno == ENODATA) continue;  // gone meanwhile
      return std::nullopt;
    }
    attributes.emplace(name, std::move(value));
  }
  return attributes;
}

std::optional<TAttributes> AttributesOf(const std::string& path) {
  return ReadAttributes([&](char* buf, size_t n) { return ::listxattr(path.c_str(), buf, n); },
                        [&](const char* name, char* buf, size_t n) { return ::getxattr(path.c_str(), name, buf, n); });
}

std::optional<TAttributes> AttributesOf(int fd) {
  return ReadAttributes([&](char* buf, size_t n) { return ::flistxattr(fd, buf, n); },
                        [&](const char* name, char* buf, size_t n) { return ::fgetxattr(fd, name, buf, n); });
}

}  // namespace

void SetModeIgnoredForTesting(bool ignored) { gModeIgnored.store(ignored); }

bool GiveFileAttributes(int fd, const struct stat& st, const std::string& utf8Path) {
  const std::optional<TAttributes> wanted = AttributesOf(utf8Path);
  if (!wanted) return false;
  if (::fchown(fd, st.st_uid, st.st_gid) != 0) return false;
  if (!gModeIgnored.load(std::memory_order_relaxed) && ::fchmod(fd, st.st_mode & 07777) != 0) return false;
  const std::optional<TAttributes> own = AttributesOf(fd);
  if (!own) return false;
  // A default ACL of the folder gives the new file an ACL the old one may lack.
  for (const auto& [name, value] : *own)
    if (!wanted->contains(name) && ::fremovexattr(fd, name.c_str()) != 0) return false;
  // Only what differs is set: an equal label needs no right to relabel.
  for (const auto& [name, value] : *wanted) {
    const auto same = own->find(name);
    if (same != own->end() && same->second == value) continue;
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) return false;
  }
  // Some refusals are silent: a set-group-id bit for a group the caller is not in.
  struct stat now;
  if (::fstat(fd, &now) != 0) return false;
  if (now.st_uid != st.st_uid || now.st_gid != st.st_gid || (now.st_mode & 07777) != (st.st_mode & 07777)) return false;
  const std::optional<TAttributes> kept = AttributesOf(fd);
  return kept && *kept == *wanted;
}

}  // namespace qira

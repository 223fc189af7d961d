#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace qira {

TFileIdentity FileIdentityOfStat(const struct stat& st) {
  TFileIdentity identity;
  identity.Device = static_cast<uint64_t>(st.st_dev);
  identity.Inode = static_cast<uint64_t>(st.st_ino);
  identity.Size = static_cast<int64_t>(st.st_size);
  identity.ModifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  identity.ModifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
  return identity;
}

std::optional<TFileIdentity> FileIdentityOf(const std::string& utf8Path) {
  struct stat st {};
  if (utf8Path.empty() || ::stat(utf8Path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentityOfStat(st);
}

}  // namespace qira

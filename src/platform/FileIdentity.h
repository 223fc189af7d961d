#pragma once
// Which file a name leads to and the marks every write leaves on it, as one look
// sees them: two looks that agree saw the same file with no write between them
// (to the file system's time resolution). The change time is left out: a chmod or a
// new link moves it without touching the content.
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qira {

struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedSeconds = 0;
  int64_t ModifiedNanoseconds = 0;

  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
};

// The identity in a stat of the file (by name or by descriptor): the one conversion.
TFileIdentity FileIdentityOfStat(const struct stat& st);
// The file utf8Path leads to (links followed, as opening it does); nothing when no
// file can be looked at there (gone, or a folder on the way is not readable).
std::optional<TFileIdentity> FileIdentityOf(const std::string& utf8Path);

}  // namespace qira

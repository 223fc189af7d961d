#pragma once
// What makes a file the user's own file besides its bytes: its owner, group,
// permission bits and extended attributes (the POSIX ACL among them, as
// "system.posix_acl_access"). A save that replaces a file by a new one carries
// them over, or does not replace it.
#include <sys/stat.h>

#include <string>

namespace qira {

// Gives the open file `fd` the owner, group and permission bits in `st` (the stat
// of the file at `utf8Path`) and exactly the extended attributes of that file (any
// of its own that file lacks go), in that order: a change of owner clears the
// set-id bits, and an ACL sets the group bits. True only when all of it holds as
// read back from `fd`; false when a step was refused or did not take (another
// owner, a group the caller is not in, an attribute it may not read or set).
bool GiveFileAttributes(int fd, const struct stat& st, const std::string& utf8Path);

// Test hook: while true, the mode GiveFileAttributes sets is reported set but left
// as it was, as on a file system that takes no mode and says nothing.
void SetModeIgnoredForTesting(bool ignored);

}  // namespace qira

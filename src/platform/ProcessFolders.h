#pragma once
// Folders a process keeps in the user's state folder while it runs (the earlier
// contents of its saves, the recovery copies of its documents): each named by a
// process stamp ("<pid>-<n>-<ticks>") and holding "process", the process's start
// and the boot it ran in ("<ticks since boot> <boot id>\n"), so a start tells a
// living process's folder from one whose process has ended, even where the process
// id was taken again.
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

namespace qira {

// The name of the file that holds the identity of the folder's process.
inline constexpr char kProcessIdentityFile[] = "process";

// What a folder holds about the process that made it.
struct TProcessIdentity {
  std::string Start;
  std::string Boot;
};

// This boot's id; empty where the system does not tell it.
const std::string& ThisBoot();
// This process's identity as the folder's file holds it: "<start> <boot>\n"; empty
// where the system does not tell them.
std::string ProcessIdentityText();
// The identity the open folder `folder` names; none for a folder of an older build,
// or one whose file is not (yet) whole.
std::optional<TProcessIdentity> ReadProcessIdentity(int folder);
// True once the folder's process has ended: no process has its id, or the one that
// has it started at another time or in another boot. Without an identity, the
// rule of the id alone.
bool ProcessIdentityEnded(long pid, const std::optional<TProcessIdentity>& identity);
// ReadProcessIdentity and ProcessIdentityEnded of the open folder `folder` named
// `name` (a process stamp).
bool FolderProcessEnded(const std::string& name, int folder);

// A new folder in `root` (which exists) named by a new process stamp of this
// process, holding its identity (where the system tells it; else the folder is
// judged by its process id alone); empty, with errno in `err`, when it cannot be
// made (nothing is left behind then).
std::string MakeStampFolder(const std::string& root, int& err);
// Opens a new file (never an existing one) for writing, mode 0600; -1 with errno.
int OpenNewFile(const std::string& path);
// Writes the whole of `bytes` into a new file and syncs it; false with errno.
bool WriteNewFile(const std::string& path, const std::string& bytes);

// The bytes of the file `name` in the folder `dir` (AT_FDCWD: a path), no link
// followed; none when it cannot be read or holds more than `most` bytes.
std::optional<std::string> ReadSmallFile(int dir, const std::string& name, size_t most);

// Calls `visit` with each real folder of the user's in `root` named as a process
// stamp, open: a link or a folder swapped in is not followed out of `root`.
using TStampFolderVisit = std::function<void(int root, const std::string& rootPath, const std::string& name,
                                             int folder, const struct stat& folderStat)>;
void ForEachStampFolder(const std::string& root, const TStampFolderVisit& visit);

}  // namespace qira

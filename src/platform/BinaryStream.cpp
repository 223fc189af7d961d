#include "platform/BinaryStream.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/AvailableMemory.h"
#include "platform/EarlierContent.h"
#include "platform/FileAttributes.h"

namespace qira {

namespace {

constexpr int32_t kMaxStreamSize = INT32_MAX;
constexpr size_t kBufferSize = 64 * 1024;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

constexpr const char* kNotRegularFile = "it is not a regular file";
constexpr const char* kLinkToNothing = "it is a symbolic link to a file that does not exist";
constexpr const char* kReplacedSinceChecked = "another file took its place while it was being saved";
constexpr const char* kBeingSaved = "it is being saved by another program";
constexpr const char* kHeldLocked = "another program holds it locked";
constexpr const char* kReplacedWhileSaving = "another program replaced it while it was being saved";

// A reason that follows a sentence is one: a capital first, a full stop last.
std::string AsSentence(std::string reason) {
  if (!reason.empty() && reason[0] >= 'a' && reason[0] <= 'z') reason[0] = static_cast<char>(reason[0] - 'a' + 'A');
  if (!reason.empty() && reason.back() != '.' && reason.back() != '!' && reason.back() != '?') reason += '.';
  return reason;
}

// True when the stream may grow to pos + n bytes.
bool FitsStream(int32_t pos, int32_t n) {
  return static_cast<int64_t>(pos) + n <= kMaxStreamSize;
}

bool PreadAll(int fd, uint8_t* buf, size_t n, off_t at, size_t& got) {
  got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, buf + got, n - got, at + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return true;
}

std::atomic<int> gWriteFailure{0};
std::atomic<int> gLockFailure{0};
std::function<void(TSaveStep, const std::string&)> gSaveStepHook;

void SaveStepForTesting(TSaveStep step, const std::string& target) {
  if (gSaveStepHook) gSaveStepHook(step, target);
}

template <typename U>
bool ReadLE(TBinaryStream& s, U& out) {
  uint8_t b[sizeof(U)];
  if (!s.Read(b, sizeof(U))) return false;
  U v = 0;
  for (size_t i = 0; i < sizeof(U); ++i) v |= static_cast<U>(static_cast<U>(b[i]) << (8 * i));
  out = v;
  return true;
}

template <typename U>
bool WriteLE(TBinaryStream& s, U v) {
  uint8_t b[sizeof(U)];
  for (size_t i = 0; i < sizeof(U); ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  return s.Write(b, sizeof(U));
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The longest name the folder takes.
size_t NameLimit(const std::string& folder) {
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

// What follows the target's name in a temporary's name at its longest: ".tmp", the
// process id, "-", the counter, "-" and the ticks (at most 65535).
constexpr size_t kTemporaryEnding = 4 + 10 + 1 + 10 + 1 + 5;

// The part of the target's name a temporary's name holds: the whole name, or its
// start cut at a character's boundary where "." + it + the ending would pass the
// folder's limit, so every name the folder takes can be saved.
std::string TemporaryNamePart(const std::string& target) {
  std::string name = NameOf(target);
  const size_t limit = NameLimit(FolderOf(target));
  const size_t room = limit > 1 + kTemporaryEnding ? limit - 1 - kTemporaryEnding : 0;
  if (name.size() <= room) return name;
  size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  name.resize(cut);
  return name;
}

// ".<name>.tmp": the start of every named temporary file of a target; the process id
// and "-" follow.
std::string TemporaryPrefix(const std::string& namePart) {
  // Appended to one string: GCC 12 warns falsely about "." + a temporary string.
  std::string prefix = ".";
  prefix += namePart;
  prefix += ".tmp";
  return prefix;
}

std::string NewTemporaryName(const std::string& target) {
  return FolderOf(target) + "/" + TemporaryPrefix(TemporaryNamePart(target)) + ProcessStamp();
}

// Moves `at` past a run of 1 to `most` digits at `at`, giving their value; false
// when there is no such run.
bool TakeDigits(std::string_view name, size_t& at, size_t most, long long& value) {
  size_t end = at;
  value = 0;
  while (end < name.size() && end - at < most && name[end] >= '0' && name[end] <= '9')
    value = value * 10 + (name[end++] - '0');
  if (end == at || (end < name.size() && name[end] >= '0' && name[end] <= '9')) return false;
  at = end;
  return true;
}

// The process id in a temporary's name, `prefix` followed by exactly a process stamp
// as NewTemporaryName makes it; 0 for any other name, which may be the user's own file.
long TemporaryOwner(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  return ProcessStampOwner(std::string_view(name).substr(prefix.size()));
}

// Removes the named temporary files of the target left by processes that have ended
// (a save killed where no unnamed temporary file could be made, or between link and
// rename). Files of living processes, including this one, may be saves in progress.
// A long name's temporaries hold its cut start; those named by the whole of it
// before names were cut are found too.
void RemoveStaleTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = TemporaryPrefix(TemporaryNamePart(target));
  const std::string wholePrefix = TemporaryPrefix(NameOf(target));
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    long pid = TemporaryOwner(name, prefix);
    if (pid == 0 && wholePrefix != prefix) pid = TemporaryOwner(name, wholePrefix);
    if (pid > 0 && ProcessEnded(pid)) stale.push_back(folder + "/" + name);
  }
  ::closedir(dir);
  for (const std::string& path : stale) ::unlink(path.c_str());
}

}  // namespace

std::string ErrnoText(int err) { return std::generic_category().message(err); }

std::string ProcessStamp() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFF;
  return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" + std::to_string(ticks);
}

long ProcessStampOwner(std::string_view stamp) {
  size_t at = 0;
  long long pid = 0;
  long long counter = 0;
  long long ticks = 0;
  if (!TakeDigits(stamp, at, 10, pid) || pid > INT_MAX || at >= stamp.size() || stamp[at++] != '-' ||
      !TakeDigits(stamp, at, 10, counter) || at >= stamp.size() || stamp[at++] != '-' ||
      !TakeDigits(stamp, at, 5, ticks) || ticks > 0xFFFF || at != stamp.size())
    return 0;
  return static_cast<long>(pid);
}

bool ProcessEnded(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  errno = err;
  return synced;
}

bool WriteAllAt(int fd, const void* bytes, size_t n, int64_t at) {
  if (int injected = gWriteFailure.load(std::memory_order_relaxed)) {
    errno = injected;
    return false;
  }
  const auto* in = static_cast<const uint8_t*>(bytes);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd, in + done, n - done, static_cast<off_t>(at) + static_cast<off_t>(done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

// ---- typed helpers ---------------------------------------------------------

bool TBinaryStream::ReadInt32(int32_t& v) {
  uint32_t u;
  if (!ReadLE(*this, u)) return false;
  v = static_cast<int32_t>(u);
  return true;
}
bool TBinaryStream::ReadUInt32(uint32_t& v) { return ReadLE(*this, v); }
bool TBinaryStream::ReadInt16(int16_t& v) {
  uint16_t u;
  if (!ReadLE(*this, u)) return false;
  v = static_cast<int16_t>(u);
  return true;
}
bool TBinaryStream::ReadUInt8(uint8_t& v) { return Read(&v, 1); }
bool TBinaryStream::ReadBool(bool& v) {
  uint8_t b;
  if (!Read(&b, 1)) return false;
  v = b != 0;
  return true;
}
bool TBinaryStream::ReadDouble(double& v) {
  uint64_t u;
  if (!ReadLE(*this, u)) return false;
  v = std::bit_cast<double>(u);
  return true;
}
bool TBinaryStream::ReadFloat(float& v) {
  uint32_t u;
  if (!ReadLE(*this, u)) return false;
  v = std::bit_cast<float>(u);
  return true;
}

bool TBinaryStream::WriteInt32(int32_t v) { return WriteLE(*this, static_cast<uint32_t>(v)); }
bool TBinaryStream::WriteUInt32(uint32_t v) { return WriteLE(*this, v); }
bool TBinaryStream::WriteInt16(int16_t v) { return WriteLE(*this, static_cast<uint16_t>(v)); }
bool TBinaryStream::WriteUInt8(uint8_t v) { return Write(&v, 1); }
bool TBinaryStream::WriteBool(bool v) { return WriteUInt8(v ? 1 : 0); }
bool TBinaryStream::WriteDouble(double v) { return WriteLE(*this, std::bit_cast<uint64_t>(v)); }
bool TBinaryStream::WriteFloat(float v) { return WriteLE(*this, std::bit_cast<uint32_t>(v)); }

// ---- TBinaryFile -------------------------------------------------------------

std::unique_ptr<TBinaryFile> TBinaryFile::Open(const std::string& utf8Path, Mode mode,
                                               std::string* error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
  }
  // Without O_NONBLOCK, opening a named pipe waits for a writer that may never
  // come; the descriptor blocks again once it is known to be a regular file.
  int fd;
  do {
    fd = ::open(utf8Path.c_str(), flags | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetError(error, ErrnoText(errno));
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    SetError(error, ErrnoText(errno));
    ::close(fd);
    return nullptr;
  }
  // Folders, pipes, sockets and devices have no size to check a read against and may block.
  if (!S_ISREG(st.st_mode)) {
    SetError(error, kNotRegularFile);
    ::close(fd);
    return nullptr;
  }
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    SetError(error, ErrnoText(errno));
    ::close(fd);
    return nullptr;
  }
  if (st.st_size > kMaxStreamSize) {
    SetError(error, ErrnoText(EFBIG));
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TBinaryFile>(new TBinaryFile(
      fd, utf8Path, static_cast<int32_t>(st.st_size), mode != Mode::Read));
}

TBinaryFile::TBinaryFile(int fd, std::string path, int32_t size, bool writable)
    : fd_(fd), path_(std::move(path)), size_(size), writable_(writable) {
  SizeChanged(size_);
}

TBinaryFile::~TBinaryFile() { Close(); }

void TBinaryFile::Fail(int err) {
  if (!failed_) errno_ = err != 0 ? err : EIO;
  failed_ = true;
}

bool TBinaryFile::Close() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  if (::close(fd_) != 0) {
    if (writable_) Fail(errno);
    ok = false;
  }
  fd_ = -1;
  return ok;
}

bool TBinaryFile::Seek(int32_t absolutePos) {
  if (fd_ < 0 || absolutePos < 0 || absolutePos > ReadEnd()) return false;
  pos_ = absolutePos;
  return true;
}

bool TBinaryFile::FillReadCache() {
  rbuf_.resize(kBufferSize);
  size_t want = std::min<size_t>(kBufferSize, static_cast<size_t>(size_ - pos_));
  size_t got = 0;
  bool ok = PreadAll(fd_, rbuf_.data(), want, pos_, got);
  rstart_ = pos_;
  rlen_ = ok ? static_cast<int32_t>(got) : 0;
  return ok;
}

bool TBinaryFile::Read(void* buf, int32_t n) {
  if (fd_ < 0 || n < 0 || n > ReadEnd() - pos_) return false;
  if (n == 0) return true;
  if (!wbuf_.empty() && !Flush()) return false;
  uint8_t* out = static_cast<uint8_t*>(buf);
  bool cached = rlen_ > 0 && pos_ >= rstart_ && static_cast<int64_t>(pos_) + n <= static_cast<int64_t>(rstart_) + rlen_;
  if (!cached) {
    if (static_cast<size_t>(n) >= kBufferSize) {
      size_t got = 0;
      if (!PreadAll(fd_, out, static_cast<size_t>(n), pos_, got) || got != static_cast<size_t>(n))
        return false;
      pos_ += n;
      return true;
    }
    // A file shortened by someone else since opening gives a short fill: a failure.
    if (!FillReadCache() || rlen_ < n) return false;
  }
  std::memcpy(out, rbuf_.data() + (pos_ - rstart_), static_cast<size_t>(n));
  pos_ += n;
  return true;
}

bool TBinaryFile::Write(const void* buf, int32_t n) {
  if (fd_ < 0 || !writable_ || n < 0) return false;
  if (failed_) return false;
  if (!FitsStream(pos_, n)) {
    Fail(EFBIG);
    return false;
  }
  if (n == 0) return true;
  rlen_ = 0;
  const uint8_t* in = static_cast<const uint8_t*>(buf);
  bool appends = !wbuf_.empty() && static_cast<int64_t>(pos_) == wstart_ + static_cast<int64_t>(wbuf_.size()) &&
                 wbuf_.size() + static_cast<size_t>(n) <= kBufferSize;
  if (!appends) {
    if (!Flush()) return false;
    if (static_cast<size_t>(n) >= kBufferSize) {
      if (!WriteAllAt(fd_, in, static_cast<size_t>(n), pos_)) {
        Fail(errno);
        return false;
      }
      WroteBehind(static_cast<size_t>(n));
      pos_ += n;
      size_ = std::max(size_, pos_);
      SizeChanged(size_);
      return true;
    }
    wstart_ = pos_;
  }
  wbuf_.insert(wbuf_.end(), in, in + n);
  pos_ += n;
  size_ = std::max(size_, pos_);
  SizeChanged(size_);
  return true;
}

bool TBinaryFile::Flush() {
  if (fd_ < 0) return false;
  if (!wbuf_.empty()) {
    if (!WriteAllAt(fd_, wbuf_.data(), wbuf_.size(), wstart_)) Fail(errno);
    else WroteBehind(wbuf_.size());
    wbuf_.clear();
  }
  return !failed_;
}

void TBinaryFile::WroteBehind(size_t bytes) {
  constexpr size_t kWriteBehind = 16 * 1024 * 1024;
  unwritten_ += bytes;
  if (unwritten_ < kWriteBehind) return;
  unwritten_ = 0;
  // A failure here only leaves the pages to the system; the commit's sync reports.
  if (::fdatasync(fd_) == 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
}

bool TBinaryFile::Sync() {
  if (!Flush()) return false;
  if (writable_ && ::fsync(fd_) != 0) Fail(errno);
  return !failed_;
}

// ---- TMemoryStream -----------------------------------------------------------

TMemoryStream::TMemoryStream(const void* bytes, size_t n)
    : data_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n) {
  SizeChanged(Size());
}

TMemoryStream::TMemoryStream(TMemoryStream&& other) noexcept
    : TBinaryStream(other), data_(std::move(other.data_)), pos_(std::exchange(other.pos_, 0)) {
  other.data_.clear();
  other.SizeChanged(0);
}

TMemoryStream& TMemoryStream::operator=(TMemoryStream&& other) noexcept {
  if (this == &other) return *this;
  TBinaryStream::operator=(other);
  data_ = std::move(other.data_);
  pos_ = std::exchange(other.pos_, 0);
  other.data_.clear();
  other.SizeChanged(0);
  return *this;
}

bool TDiscardStream::Seek(int32_t absolutePos) {
  if (absolutePos < 0 || absolutePos > ReadEnd()) return false;
  pos_ = absolutePos;
  return true;
}

bool TDiscardStream::Read(void*, int32_t n) { return n == 0; }

bool TDiscardStream::Write(const void*, int32_t n) {
  if (n < 0 || !FitsStream(pos_, n)) return false;
  pos_ += n;
  if (pos_ > size_) {
    size_ = pos_;
    SizeChanged(size_);
  }
  return true;
}

bool TMemoryStream::Seek(int32_t absolutePos) {
  if (absolutePos < 0 || absolutePos > ReadEnd()) return false;
  pos_ = absolutePos;
  return true;
}

bool TMemoryStream::Read(void* buf, int32_t n) {
  if (n < 0 || n > ReadEnd() - pos_) return false;
  if (n == 0) return true;
  std::memcpy(buf, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return true;
}

bool TMemoryStream::Write(const void* buf, int32_t n) {
  if (n < 0 || !FitsStream(pos_, n)) return false;
  if (n == 0) return true;
  // Overwrites what lies under the position, then appends the rest (without
  // zero-filling bytes that are written at once).
  const auto* in = static_cast<const uint8_t*>(buf);
  const size_t at = static_cast<size_t>(pos_);
  const size_t over = std::min(static_cast<size_t>(n), data_.size() - at);
  if (over != 0) std::memcpy(data_.data() + at, in, over);
  data_.insert(data_.end(), in + over, in + n);
  SizeChanged(Size());
  pos_ += n;
  return true;
}

std::vector<uint8_t> TMemoryStream::TakeData() {
  std::vector<uint8_t> out = std::move(data_);
  data_.clear();
  SizeChanged(0);
  pos_ = 0;
  return out;
}

// ---- TSaveFile ---------------------------------------------------------------

void SetFileWriteFailureForTesting(int errorNumber) { gWriteFailure.store(errorNumber); }

void SetSaveStepHookForTesting(std::function<void(TSaveStep step, const std::string& target)> hook) {
  gSaveStepHook = std::move(hook);
}

void SetLockFailureForTesting(int errorNumber) { gLockFailure.store(errorNumber); }

int TBinaryFile::ReleaseDescriptor() {
  wbuf_.clear();
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

namespace {

// A temporary file beside the target, unnamed where the file system allows (`temp`
// stays empty then); -1 with errno when the folder takes no new file.
int OpenTemporary(const std::string& target, std::string& temp) {
  int fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  // Not every file system has unnamed files; the named one reports the real reason
  // when the folder itself is the trouble.
  int err = errno;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = NewTemporaryName(target);
    fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    err = errno;
    if (fd < 0 && err != EEXIST && err != EINTR) break;
  }
  if (fd < 0) temp.clear();
  errno = err;
  return fd;
}

// A name of the open file `fd` that leads to it and nothing else.
std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Opens the file the checks saw at `path` (`checked` is its stat) and nothing else:
// no link followed at the last component, the same device and inode. -1 with the
// reason otherwise. Never waits: a pipe put there since opens without a writer.
int OpenChecked(const std::string& path, const struct stat& checked, int flags, std::string& reason) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = errno == ELOOP ? kReplacedSinceChecked : ErrnoText(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) reason = ErrnoText(errno);
  else if (st.st_dev != checked.st_dev || st.st_ino != checked.st_ino) reason = kReplacedSinceChecked;
  else return fd;
  ::close(fd);
  return -1;
}

// How long a save in place waits for another one of the same file to end.
constexpr std::chrono::milliseconds kLockWait = std::chrono::seconds(3);
std::atomic<std::chrono::milliseconds::rep> gLockWait{kLockWait.count()};

// Why the lock of `fd` was not had after the wait: another save holds it (a write
// lock), or a reader does (a read lock), as the lock in the way tells.
std::string LockHolderText(int fd) {
  struct flock held {};
  held.l_type = F_WRLCK;
  held.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_GETLK, &held) == 0 && held.l_type == F_RDLCK) return kHeldLocked;
  return kBeingSaved;
}

// Takes the exclusive lock of a save in place on the whole of the open file `fd`,
// waiting up to kLockWait for another that holds one; the reason when it cannot be
// had, else empty (also where the file system has no record locks: the save goes
// on unlocked, as before there were locks). The lock belongs to the open file
// description: it goes with the last descriptor of it, or with the process.
std::string LockForSave(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;  // from 0 to the end, however far the file grows
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(gLockWait.load());
  for (;;) {
    const int injected = gLockFailure.load(std::memory_order_relaxed);
    if (injected == 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0) return {};
    if (injected != 0) errno = injected;
    if (errno == EINTR) continue;
    // Some network and FUSE file systems: the lock keeps our saves apart, it is
    // no reason to refuse one.
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return {};
    if (errno != EAGAIN && errno != EACCES) return ErrnoText(errno);
    if (std::chrono::steady_clock::now() >= until) return LockHolderText(fd);
    ::usleep(20000);
  }
}

// True when the name `path` leads to the file `st` is the stat of (no link followed).
bool NameLeadsTo(const std::string& path, const struct stat& st) {
  struct stat named;
  return ::lstat(path.c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

}  // namespace

void SetLockWaitForTesting(std::chrono::milliseconds wait) {
  gLockWait.store(wait.count() < 0 ? kLockWait.count() : wait.count());
}

std::unique_ptr<TSaveFile> TSaveFile::Create(const std::string& utf8TargetPath,
                                             std::string* error) {
  std::string target = utf8TargetPath;
  // Saving through a symbolic link replaces the file it names, not the link; a
  // link to nothing is not made a file.
  struct stat lst;
  if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real) {
      SetError(error, errno == ENOENT ? kLinkToNothing : ErrnoText(errno));
      return nullptr;
    }
    target = real;
    std::free(real);
  }
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    SetError(error, ErrnoText(EISDIR));
    return nullptr;
  }
  // A pipe or a device is neither opened (which could wait for ever) nor replaced.
  if (exists && !S_ISREG(st.st_mode)) {
    SetError(error, kNotRegularFile);
    return nullptr;
  }
  // The rename would take a file the user may not write, which a writer in place is
  // refused: the same refusal, before anything is made.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    SetError(error, ErrnoText(errno));
    return nullptr;
  }
  RemoveStaleTemporaries(target);
  SaveStepForTesting(TSaveStep::ssChecked, target);
  // A rename would part the target from its other names.
  if (exists && st.st_nlink > 1) return CreateInPlace(target, st, error);
  // The attributes given are those of the file checked, read through a descriptor
  // of it: a link put in its place meanwhile would lend another file's.
  int checked = -1;
  if (exists) {
    std::string reason;
    checked = OpenChecked(target, st, O_PATH, reason);
    if (checked < 0) {
      SetError(error, reason);
      return nullptr;
    }
  }
  std::string temp;
  int fd = OpenTemporary(target, temp);
  if (fd < 0 && !exists) {
    SetError(error, ErrnoText(errno));
    return nullptr;
  }
  SaveStepForTesting(TSaveStep::ssOpened, target);
  if (fd >= 0 && exists && !GiveFileAttributes(fd, st, DescriptorPath(checked))) {
    ::close(fd);
    if (!temp.empty()) ::unlink(temp.c_str());
    fd = -1;
  }
  if (checked >= 0) ::close(checked);
  if (fd < 0) return CreateInPlace(target, st, error);
  std::unique_ptr<TBinaryFile> file(new TBinaryFile(fd, temp, 0, true));
  return std::unique_ptr<TSaveFile>(new TSaveFile(std::move(file), target, temp));
}

std::unique_ptr<TSaveFile> TSaveFile::CreateInPlace(const std::string& target, const struct stat& checked,
                                                     std::string* error) {
  std::string reason;
  const int fd = OpenChecked(target, checked, O_RDWR, reason);
  if (fd < 0) {
    SetError(error, reason);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) reason = ErrnoText(errno);
  else if (!S_ISREG(st.st_mode)) reason = kNotRegularFile;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) reason = ErrnoText(errno);
  // Held until the descriptor closes: after the commit's sync or the put-back's.
  else reason = LockForSave(fd);
  // The file as its content is kept: what a put-back gives back.
  struct stat kept {};
  if (reason.empty() && ::fstat(fd, &kept) != 0) reason = ErrnoText(errno);
  std::unique_ptr<TEarlierContent> earlier;
  if (reason.empty()) earlier = TEarlierContent::Keep(fd, target, &reason);
  // Only now, with the earlier content whole elsewhere, may the target lose it.
  if (earlier && ::ftruncate(fd, 0) != 0) {
    reason = ErrnoText(errno);
    earlier->Drop();
    earlier.reset();
  }
  if (!earlier) {
    ::close(fd);
    SetError(error, reason);
    return nullptr;
  }
  SaveStepForTesting(TSaveStep::ssTruncated, target);
  std::unique_ptr<TBinaryFile> file(new TBinaryFile(fd, target, 0, true));
  std::unique_ptr<TSaveFile> save(new TSaveFile(std::move(file), target, {}, std::move(earlier)));
  save->keptIdentity_ = FileIdentityOfStat(kept);
  return save;
}

TSaveFile::TSaveFile(std::unique_ptr<TBinaryFile> file, std::string target, std::string temp,
                     std::unique_ptr<TEarlierContent> earlier)
    : file_(std::move(file)), target_(std::move(target)), temp_(std::move(temp)), earlier_(std::move(earlier)) {}

TSaveFile::~TSaveFile() {
  if (!done_) Discard();
}

void TSaveFile::Discard() {
  if (earlier_) {
    PutBack();
    return;
  }
  if (file_) file_->Close();
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TSaveFile::PutBack() {
  if (!earlier_) return;
  // What the saver holds on the same disk goes first: the earlier content needs the room.
  if (releaseBeforePutBack_) std::exchange(releaseBeforePutBack_, nullptr)();
  SaveStepForTesting(TSaveStep::ssPuttingBack, target_);
  const int fd = file_->ReleaseDescriptor();
  if (fd < 0 || !earlier_->PutBack(fd)) {
    keptNote_ = "Its earlier content is kept in \"" + earlier_->Path() + "\"";
  } else {
    // The file holds what it held when the save began, under a newer time.
    struct stat st;
    if (::fstat(fd, &st) == 0 && NameLeadsTo(target_, st)) restoredIdentity_ = FileIdentityOfStat(st);
  }
  if (fd >= 0) ::close(fd);
  earlier_.reset();
}

std::string TSaveFile::WithKeptNote(const std::string& reason) const {
  if (keptNote_.empty()) return reason;
  if (reason.empty()) return keptNote_;
  return AsSentence(reason) + " " + keptNote_;
}

std::string TSaveFile::FailureReason(const std::string& otherwise) {
  const std::string reason = file_->ErrorNumber() != 0 ? ErrnoText(file_->ErrorNumber()) : otherwise;
  // The saver gives up: the target gets its earlier content back now, so the
  // message can say where it is if it could not.
  if (!done_) {
    done_ = true;
    Discard();
  }
  return WithKeptNote(reason);
}

bool TSaveFile::LinkTemporary() {
  const std::string fdPath = DescriptorPath(file_->fd_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = NewTemporaryName(target_);
    int r = ::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW);
    // Without /proc the descriptor links directly, where the process may.
    if (r != 0 && errno == ENOENT) r = ::linkat(file_->fd_, "", AT_FDCWD, temp.c_str(), AT_EMPTY_PATH);
    if (r == 0) {
      temp_ = std::move(temp);
      return true;
    }
    if (errno != EEXIST && errno != EINTR) return false;
  }
  return false;
}

bool TSaveFile::Commit(std::string* error) {
  if (done_) {
    SetError(error, "already committed");
    return false;
  }
  done_ = true;
  const bool handed = !file_->Failed() && file_->Flush();
  // In place, a kill of the program from here on leaves the new content whole.
  if (handed && earlier_) earlier_->MarkWritten();
  if (!handed || !file_->Sync()) {
    Discard();
    SetError(error, FailureReason(ErrnoText(EIO)));
    return false;
  }
  SaveStepForTesting(TSaveStep::ssWritten, target_);
  struct stat written;
  if (::fstat(file_->fd_, &written) != 0) {
    const int err = errno;
    Discard();
    SetError(error, FailureReason(ErrnoText(err)));
    return false;
  }
  if (earlier_) {
    // Written in place, the new content is the file's only while the name leads to
    // it: a rename by another program left it under other names or none.
    if (!NameLeadsTo(target_, written)) {
      Discard();
      SetError(error, FailureReason(kReplacedWhileSaving));
      return false;
    }
    writtenIdentity_ = FileIdentityOfStat(written);
    // The new content is on the disk: the kept one has done its work.
    ::close(file_->ReleaseDescriptor());
    earlier_->Drop();
    earlier_.reset();
    return true;
  }
  const bool unnamed = temp_.empty();
  if (!unnamed && !file_->Close()) {
    Discard();
    SetError(error, FailureReason(ErrnoText(EIO)));
    return false;
  }
  // The unnamed file gets a name only here and hands it to the target at once: a
  // save killed in between leaves a temporary that the next save removes.
  if (unnamed && !LinkTemporary()) {
    SetError(error, ErrnoText(errno));
    Discard();
    return false;
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    SetError(error, ErrnoText(errno));
    Discard();
    return false;
  }
  if (unnamed) file_->Close();  // its bytes were synced: the target is whole already
  // By construction the file renamed in is the one written.
  writtenIdentity_ = FileIdentityOfStat(written);
  // Makes the rename itself durable; some file systems cannot sync a folder, which
  // does not undo the save.
  (void)SyncFolder(FolderOf(target_));
  return true;
}

// ---- whole files ---------------------------------------------------------------

namespace {

// What `size` bytes need that the memory could not give.
std::string MemoryNeededText(int64_t size, int64_t available = AvailableMemory()) {
  return "it needs " + std::to_string((size + (1 << 20) - 1) >> 20) + " MB of memory, " +
         MemoryShortfallClause(size, available);
}

TWholeFileRead ReadWhole(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& reason) {
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(utf8Path, TBinaryFile::Mode::Read, &reason);
  if (!file) return TWholeFileRead::wrNotOpened;
  // A wrong choice of file (a disk image, a video) is refused before its size is
  // taken from memory, not read until the program is killed.
  const int64_t size = file->Size();
  std::vector<uint8_t> out;
  if (!ResizeCounted(out, size)) {
    reason = MemoryNeededText(size);
    return TWholeFileRead::wrNoMemory;
  }
  if (!file->Read(out.data(), size)) {
    reason = ErrnoText(EIO);
    return TWholeFileRead::wrNotRead;
  }
  bytes = std::move(out);
  return TWholeFileRead::wrDone;
}

// `reason` says what the memory could not give.
std::string TooLargeSentence(const std::string& what, std::string_view done, const std::string& reason) {
  return what + " is too large to be " + std::string(done) + ": " + reason + ".";
}

// The refusal of a whole file the memory cannot hold, `reason` from ReadWhole.
std::string FileTooLargeText(const std::string& utf8Path, const std::string& reason) {
  return TooLargeSentence("The file \"" + utf8Path + "\"", "read", reason);
}


}  // namespace

bool ResizeCounted(std::vector<uint8_t>& bytes, int64_t n) {
  if (n < 0 || !MemoryFits(n)) return false;
  // The count let it through, but the memory may have gone meanwhile.
  try {
    bytes.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string* error) {
  std::string reason;
  if (ReadWhole(utf8Path, bytes, reason) == TWholeFileRead::wrDone) return true;
  SetError(error, reason);
  return false;
}

std::string TooLargeText(const std::string& what, std::string_view done, int64_t neededBytes,
                         std::optional<int64_t> availableBytes) {
  return TooLargeSentence(what, done, MemoryNeededText(neededBytes, availableBytes.value_or(AvailableMemory())));
}

std::string ImportMemoryProblem(const std::string& utf8Path, int64_t neededBytes,
                                std::optional<int64_t> availableBytes) {
  if (availableBytes ? neededBytes <= *availableBytes : MemoryFits(neededBytes)) return {};
  return TooLargeText("The file \"" + utf8Path + "\"", "imported", neededBytes, availableBytes);
}

std::string CannotFileText(std::string_view action, const std::string& utf8Path, const std::string& reason) {
  return "Cannot " + std::string(action) + " file \"" + utf8Path + "\". " + AsSentence(reason);
}

TWholeFileRead ReadWholeFileTold(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& message) {
  std::string reason;
  const TWholeFileRead result = ReadWhole(utf8Path, bytes, reason);
  switch (result) {
    case TWholeFileRead::wrDone:
      break;
    case TWholeFileRead::wrNotOpened:
      message = CannotFileText("open", utf8Path, reason);
      break;
    case TWholeFileRead::wrNoMemory:
      message = FileTooLargeText(utf8Path, reason);
      break;
    case TWholeFileRead::wrNotRead:
      message = CannotFileText("read", utf8Path, reason);
      break;
  }
  return result;
}

bool ReadWholeFileOrTell(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& message) {
  return ReadWholeFileTold(utf8Path, bytes, message) == TWholeFileRead::wrDone;
}

std::string FileReadFailureText(const std::string& utf8Path, const std::string& shownName,
                                const std::string& reason) {
  struct stat st;
  if (::stat(utf8Path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "File " + shownName + " not found";
    return "File " + shownName + " can not be read: " + ErrnoText(errno);
  }
  if (!S_ISREG(st.st_mode)) return "File " + shownName + " can not be read: " + kNotRegularFile;
  return "File " + shownName + " can not be read: " + (reason.empty() ? ErrnoText(EIO) : reason);
}

TWholeFileRead ReadWholeFileToldAs(const std::string& utf8Path, const std::string& shownName,
                                   std::vector<uint8_t>& bytes, std::string& message) {
  std::string reason;
  const TWholeFileRead result = ReadWhole(utf8Path, bytes, reason);
  switch (result) {
    case TWholeFileRead::wrDone:
      break;
    case TWholeFileRead::wrNoMemory:
      message = FileTooLargeText(utf8Path, reason);
      break;
    case TWholeFileRead::wrNotOpened:
    case TWholeFileRead::wrNotRead:
      message = FileReadFailureText(utf8Path, shownName, reason);
      break;
  }
  return result;
}

bool ReadWholeFileOrTellAs(const std::string& utf8Path, const std::string& shownName, std::vector<uint8_t>& bytes,
                           std::string& message) {
  return ReadWholeFileToldAs(utf8Path, shownName, bytes, message) == TWholeFileRead::wrDone;
}

bool WriteWholeFileAtomic(const std::string& utf8Path, const void* bytes, size_t n,
                          std::string* error) {
  if (n > static_cast<size_t>(kMaxStreamSize)) {
    SetError(error, ErrnoText(EFBIG));
    return false;
  }
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(utf8Path, error);
  if (!save) return false;
  if (!save->Stream().Write(bytes, static_cast<int32_t>(n))) {
    SetError(error, save->FailureReason(ErrnoText(EIO)));
    return false;
  }
  return save->Commit(error);
}

bool WriteFileAtomicAsItGoes(const std::string& utf8Path, const std::function<bool(const TTextSink&)>& write,
                             std::string* error) {
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(utf8Path, error);
  if (!save) return false;
  TBinaryStream& file = save->Stream();
  const bool written = write([&file](std::string_view piece) {
    return piece.size() <= static_cast<size_t>(kMaxStreamSize) &&
           file.Write(piece.data(), static_cast<int32_t>(piece.size()));
  });
  if (!written) {
    SetError(error, save->FailureReason(ErrnoText(EIO)));
    return false;
  }
  return save->Commit(error);
}

}  // namespace qira

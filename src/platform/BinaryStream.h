#pragma once
// Byte streams with absolute 32-bit positions and checked, little-endian reads.
//
// Every stored file of the program is addressed by absolute int32 positions, so a
// stream never grows past 2^31-1 bytes: such a write or seek fails instead of
// wrapping. A read of more bytes than remain fails as a whole and leaves the
// position where it was; callers therefore never see a partly filled value.
// While a TReadBound is in force, "what remains" ends at its end: a reader of one
// chunk cannot read or seek past the chunk, whatever length the chunk stores.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileIdentity.h"

namespace qira {

class TBinaryStream {
 public:
  virtual ~TBinaryStream() = default;

  virtual int32_t Position() const = 0;
  virtual int32_t Size() const = 0;
  // Moves to an absolute position in 0..ReadEnd(); false (position unchanged) outside.
  virtual bool Seek(int32_t absolutePos) = 0;
  // True only when all n bytes were read; n < 0 or n > Remaining() fails and consumes nothing.
  virtual bool Read(void* buf, int32_t n) = 0;
  // Writes n bytes at the position (overwriting, then extending). False on an I/O
  // error or when the stream would pass 2^31-1 bytes. A read bound does not apply.
  virtual bool Write(const void* buf, int32_t n) = 0;

  // Where reads and seeks stop: the stream's end, or the innermost TReadBound's
  // end where that comes first.
  int32_t ReadEnd() const { return readEnd_; }
  int32_t Remaining() const { return readEnd_ - Position(); }

  // Little-endian typed reads; the value is untouched on failure.
  bool ReadInt32(int32_t& v);
  bool ReadUInt32(uint32_t& v);
  bool ReadInt16(int16_t& v);
  bool ReadUInt8(uint8_t& v);
  bool ReadBool(bool& v);  // one byte, any non-zero value is true
  bool ReadDouble(double& v);
  bool ReadFloat(float& v);

  bool WriteInt32(int32_t v);
  bool WriteUInt32(uint32_t v);
  bool WriteInt16(int16_t v);
  bool WriteUInt8(uint8_t v);
  bool WriteBool(bool v);  // one byte, 0 or 1
  bool WriteDouble(double v);
  bool WriteFloat(float v);

 protected:
  // A stream calls it whenever its size changes (and once it has one), so that a
  // read checks one end, kept here.
  void SizeChanged(int32_t size) { readEnd_ = std::min(size, bound_); }

 private:
  friend class TReadBound;
  int32_t bound_ = INT32_MAX;  // the innermost TReadBound's end; INT32_MAX while none is in force
  int32_t readEnd_ = 0;        // the size, or bound_ where that comes first
};

// For its lifetime, reads and seeks of `stream` stop at the absolute position `end`
// as at the end of a shorter stream (Remaining, Read, Seek and every typed read), so
// that a length read inside a chunk is checked against the chunk's end by the
// checks every reader already makes against Remaining(). A bound inside another
// only narrows it; the outer one is back when the inner one's scope ends. Costs
// nothing per read but the one comparison a read makes anyway.
class TReadBound {
 public:
  TReadBound(TBinaryStream& stream, int32_t end) : stream_(stream), outer_(stream.bound_) {
    stream.bound_ = std::min(outer_, end);
    stream.readEnd_ = std::min(stream.readEnd_, end);
  }
  ~TReadBound() {
    stream_.bound_ = outer_;
    stream_.SizeChanged(stream_.Size());
  }
  TReadBound(const TReadBound&) = delete;
  TReadBound& operator=(const TReadBound&) = delete;

 private:
  TBinaryStream& stream_;
  int32_t outer_;
};

// A file on disk. Reads and writes are buffered; a write error is sticky: once one
// happened every later Write, Flush and Sync fails.
class TBinaryFile : public TBinaryStream {
 public:
  enum class Mode {
    Read,       // existing file, read only
    Create,     // create or truncate, read and write
    ReadWrite,  // existing file, read and write
  };

  // Null on failure, with the system's reason in *error when given. A file longer
  // than 2^31-1 bytes cannot be opened.
  static std::unique_ptr<TBinaryFile> Open(const std::string& utf8Path, Mode mode,
                                           std::string* error = nullptr);
  ~TBinaryFile() override;  // flushes (errors are lost: call Flush first to see them)

  TBinaryFile(const TBinaryFile&) = delete;
  TBinaryFile& operator=(const TBinaryFile&) = delete;

  int32_t Position() const override { return pos_; }
  int32_t Size() const override { return size_; }
  bool Seek(int32_t absolutePos) override;
  bool Read(void* buf, int32_t n) override;
  bool Write(const void* buf, int32_t n) override;

  // Hands buffered bytes to the system.
  bool Flush();
  // Flush, then forces the bytes to the disk (fsync).
  bool Sync();
  // Flushes and closes; every later call fails. False when the flush or close failed.
  bool Close();
  // True once any write was refused or failed.
  bool Failed() const { return failed_; }
  // The system's error number of the first failed write, flush or sync (EFBIG for a
  // write past 2^31-1 bytes); 0 while none failed.
  int ErrorNumber() const { return errno_; }
  const std::string& Path() const { return path_; }

 private:
  friend class TSaveFile;
  // Hands the descriptor over, its pending bytes dropped; the file is closed for
  // every later call. -1 when it was closed already.
  int ReleaseDescriptor();
  TBinaryFile(int fd, std::string path, int32_t size, bool writable);
  bool FillReadCache();
  void Fail(int err);
  // Counts bytes handed to the system and, every few megabytes, writes them to the
  // disk and drops them from the page cache: a memory limit of a control group
  // counts a file's unwritten pages, which would otherwise grow with the file.
  void WroteBehind(size_t bytes);

  int fd_ = -1;
  std::string path_;
  int32_t pos_ = 0;
  int32_t size_ = 0;
  bool writable_ = false;
  bool failed_ = false;
  int errno_ = 0;
  std::vector<uint8_t> rbuf_;  // bytes [rstart_, rstart_ + rlen_) of the file
  int32_t rstart_ = 0;
  int32_t rlen_ = 0;
  std::vector<uint8_t> wbuf_;  // pending bytes for [wstart_, wstart_ + wbuf_.size())
  int32_t wstart_ = 0;
  size_t unwritten_ = 0;  // bytes handed to the system since they were last written to the disk
};

// A growable stream over bytes in memory.
class TMemoryStream : public TBinaryStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) { SizeChanged(Size()); }
  TMemoryStream(const void* bytes, size_t n);
  TMemoryStream(const TMemoryStream&) = default;
  TMemoryStream& operator=(const TMemoryStream&) = default;
  // The stream moved from is left empty at position 0, its end with it.
  TMemoryStream(TMemoryStream&& other) noexcept;
  TMemoryStream& operator=(TMemoryStream&& other) noexcept;

  int32_t Position() const override { return pos_; }
  int32_t Size() const override { return static_cast<int32_t>(data_.size()); }
  bool Seek(int32_t absolutePos) override;
  bool Read(void* buf, int32_t n) override;
  bool Write(const void* buf, int32_t n) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t> TakeData();  // leaves the stream empty at position 0
  // Room for `bytes` in all, so a writer that knows its output size grows the
  // stream once; size and position stay.
  void Reserve(size_t bytes) { data_.reserve(bytes); }

 private:
  std::vector<uint8_t> data_;
  int32_t pos_ = 0;
};

// A stream that keeps no byte: writes and seeks move the position and grow the
// size as a file's would (past 2^31-1 bytes a write fails the same), reads fail.
// For running a writer dry, to see what it would do (the texts it converts).
class TDiscardStream : public TBinaryStream {
 public:
  int32_t Position() const override { return pos_; }
  int32_t Size() const override { return size_; }
  bool Seek(int32_t absolutePos) override;
  bool Read(void* buf, int32_t n) override;
  bool Write(const void* buf, int32_t n) override;

 private:
  int32_t pos_ = 0;
  int32_t size_ = 0;
};

// Test hook: while non-zero, every write of a TBinaryFile to the system fails with
// this error number (as a full disk would with ENOSPC), and so does every WriteAllAt.
void SetFileWriteFailureForTesting(int errorNumber);
// The steps of a save a test may act between.
enum class TSaveStep : uint8_t {
  ssChecked,      // the target's path was checked; nothing of it opened yet
  ssOpened,       // by rename, the file checked and the temporary are open; no attribute read yet
  ssTruncated,    // in place, the target was emptied; nothing new written yet
  ssWritten,      // every byte is on the disk; the name not yet checked nor renamed over
  ssPuttingBack,  // in place, the earlier content is about to go back
};
// Test hook: while set, called with the target's path at each step of every save.
void SetSaveStepHookForTesting(std::function<void(TSaveStep step, const std::string& target)> hook);
// Test hook: while non-zero, the lock call of a save in place fails with this
// error number (ENOLCK: a file system without record locks).
void SetLockFailureForTesting(int errorNumber);
// Test hook: how long a save in place waits for a lock another holds (3 s when
// not set; a negative value restores that).
void SetLockWaitForTesting(std::chrono::milliseconds wait);
// Writes all n bytes at offset `at` of an open file; false, with errno set, when
// the system refused one.
bool WriteAllAt(int fd, const void* bytes, size_t n, int64_t at);
// The system's text for an error number.
std::string ErrnoText(int err);
// What names a file or folder a save makes for a while: "<pid>-<counter>-<ticks>",
// so what a killed process left can be told from what a living one is writing.
std::string ProcessStamp();
// The process id of `stamp` when it is exactly of that form; 0 for any other text,
// which may name the user's own file.
long ProcessStampOwner(std::string_view stamp);
// True once the process `pid` has ended.
bool ProcessEnded(long pid);
// Makes a rename or a new name in the folder durable; false with errno.
bool SyncFolder(const std::string& folder);

class TEarlierContent;

// The save every writer of the program goes through, so a saved file is still the
// file the user had.
//
// Its usual way: everything is written into a temporary file beside the target,
// given the target's owner, group, mode and extended attributes (its ACL), and
// Commit() flushes, fsyncs and renames it over the target. Where the file system
// allows, the temporary file has no name until the commit links it (O_TMPFILE), so
// a killed save leaves nothing behind; elsewhere a named
// ".<target name>.tmp<pid>-<counter>-<ticks>" is used, and Create removes those of
// the same target, of exactly that form, whose process has ended. A target name too
// long for that within the folder's limit of a name gives its start, cut at a
// character's boundary.
//
// Where a rename would not keep the file (another owner, a group the saver is not
// in, an attribute it cannot set, hard links, a folder that takes no new file), the
// target is written in place, as a writer in place does, after its earlier content
// was kept whole in the user's state folder (TEarlierContent): a kill at any
// moment leaves the target whole or that content whole where the next start of the
// program tells the user (TakeInterruptedSaves).
//
// In place, the save holds an exclusive lock (an open file description's lock) on
// the target from before its content is kept until after the new content or the
// earlier one is synced: a second save in place waits a moment for it, then is
// refused, so the file is never a mix of two. A file system without record locks
// is saved in place unlocked: the lock keeps saves apart, it is no reason to
// refuse one. The file written, by either way, is the one checked: no link
// followed, the same device and inode; one that took its place since is refused
// and left alone. In place, the save is done only when the name still leads to the
// file written: another program's rename over it meanwhile fails the save.
//
// Destroyed without a successful Commit(), the temporary file is removed and the
// old target is untouched, or, in place, the earlier content is put back.
class TSaveFile {
 public:
  // Null, with the reason in *error, when the target exists and the user may not
  // write it (a read-only file is refused as a writer in place is, not replaced),
  // when it is not a regular file (a pipe, a device, a symbolic link to nothing:
  // never opened, never replaced), when another file took its place since it was
  // checked, when, in place, another save holds it past the wait, or when neither
  // a temporary file nor, in place, a kept copy of its content can be made.
  static std::unique_ptr<TSaveFile> Create(const std::string& utf8TargetPath,
                                           std::string* error = nullptr);
  ~TSaveFile();

  TSaveFile(const TSaveFile&) = delete;
  TSaveFile& operator=(const TSaveFile&) = delete;

  TBinaryStream& Stream() { return *file_; }
  // False (temporary removed, target untouched, or in place its earlier content
  // put back) when any write failed or the flush, sync or rename fails, or, in
  // place, when the name no longer leads to the file written, with the reason in
  // *error (for a failed write the system's reason of the first one).
  // Calling it twice fails the second time.
  bool Commit(std::string* error = nullptr);
  // After a successful Commit: the file written, as its descriptor saw it before it
  // closed; what a caller remembers of its file (never looked up by name again).
  const std::optional<TFileIdentity>& WrittenIdentity() const { return writtenIdentity_; }
  // In place: the target as it was when its earlier content was kept.
  const std::optional<TFileIdentity>& KeptIdentity() const { return keptIdentity_; }
  // In place, after a failure whose earlier content went back whole into the file
  // the name still leads to: that file as the put-back left it (the same content as
  // KeptIdentity, a newer modification time). Empty otherwise.
  const std::optional<TFileIdentity>& RestoredIdentity() const { return restoredIdentity_; }
  // What a saver reports when its writer gave up: the system's reason of the first
  // failed write, or `otherwise` while none failed. In place, the earlier content
  // is put back first; where it could not be, the text also says where it is kept.
  std::string FailureReason(const std::string& otherwise);
  const std::string& TargetPath() const { return target_; }
  // Empty while the temporary file has no name, and for a save in place.
  const std::string& TemporaryPath() const { return temp_; }
  // What the saver holds on the disk besides this file (a spill of its own),
  // released by `release` before a save in place puts the earlier content back,
  // which needs the room. Called at most once, while the save file lives.
  void ReleaseBeforePutBack(std::function<void()> release) { releaseBeforePutBack_ = std::move(release); }

 private:
  TSaveFile(std::unique_ptr<TBinaryFile> file, std::string target, std::string temp,
            std::unique_ptr<TEarlierContent> earlier = nullptr);
  // The target written in place, its content kept first; `checked` is its stat.
  static std::unique_ptr<TSaveFile> CreateInPlace(const std::string& target, const struct stat& checked,
                                                  std::string* error);
  void Discard();
  // Gives the unnamed temporary file a name beside the target; errno on failure.
  bool LinkTemporary();
  // In place: the earlier content back in the target; where it could not be put
  // back, keptNote_ says where it is.
  void PutBack();
  // `reason` followed by keptNote_.
  std::string WithKeptNote(const std::string& reason) const;

  std::unique_ptr<TBinaryFile> file_;
  std::string target_;
  std::string temp_;
  std::unique_ptr<TEarlierContent> earlier_;  // while a save in place may put it back
  std::function<void()> releaseBeforePutBack_;
  std::string keptNote_;
  std::optional<TFileIdentity> writtenIdentity_;
  std::optional<TFileIdentity> keptIdentity_;
  std::optional<TFileIdentity> restoredIdentity_;
  bool done_ = false;
};

// `bytes` made `n` long when the memory the program may take can hold them
// (MemoryFits), counted before they are taken; false, `bytes` as it was, when
// they do not fit or their allocation fails all the same.
bool ResizeCounted(std::vector<uint8_t>& bytes, int64_t n);
// Whole-file helpers; false (with the reason) on any failure. A file the memory
// cannot hold is refused before it is read, or when its bytes could not be had
// all the same: "it needs <n> MB of memory, " and MemoryShortfallClause.
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes,
                   std::string* error = nullptr);
// ReadWholeFile for a caller that shows its failure: false with the sentence that
// names the file and says what failed: CannotFileText("open", ...) for a file that
// could not be opened, TooLargeText("The file "<path>"", "read", ...) for one the
// memory cannot hold, CannotFileText("read", ...) for one whose bytes
// could not be read.
bool ReadWholeFileOrTell(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& message);
// Which step of reading a whole file failed.
enum class TWholeFileRead : uint8_t { wrDone, wrNotOpened, wrNoMemory, wrNotRead };
// ReadWholeFileOrTell, saying which step failed: a reader with texts of its own for
// a file it cannot open tells one the memory cannot hold by `message` all the same.
TWholeFileRead ReadWholeFileTold(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& message);
// "<what> is too large to be <done>: it needs <n> MB of memory, " and
// MemoryShortfallClause, with its full stop: the one refusal of a file or table
// that the memory cannot hold (`what` names it: "The file "<path>"", `done` says
// what was refused: "read", "written").
// `availableBytes`, when given, is what can be used instead of AvailableMemory()
// (memory the caller would free first counted in).
std::string TooLargeText(const std::string& what, std::string_view done, int64_t neededBytes,
                         std::optional<int64_t> availableBytes = std::nullopt);
// The refusal of an import of the file at `utf8Path` counted at `neededBytes`
// before anything is built: TooLargeText("The file "<path>"", "imported", ...);
// empty when the bytes fit (MemoryFits, or `availableBytes` when given: the memory
// an import counted as it read had when it began).
std::string ImportMemoryProblem(const std::string& utf8Path, int64_t neededBytes,
                                std::optional<int64_t> availableBytes = std::nullopt);
// "Cannot <action> file "<path>". <Reason>." The reason (the system's, or a
// writer's) becomes a sentence of its own, with its capital and full stop.
std::string CannotFileText(std::string_view action, const std::string& utf8Path, const std::string& reason);
// What a reader tells the user when a file cannot be read: "File <name> not found"
// for a missing one, else the name and why ("it is not a regular file" for a
// folder, pipe or device; otherwise `reason`, what the failed open or read said).
std::string FileReadFailureText(const std::string& utf8Path, const std::string& shownName,
                                const std::string& reason = {});
// ReadWholeFile for a reader that names its file `shownName`: false with
// FileReadFailureText, or, for a file the memory cannot hold, the refusal
// ReadWholeFileOrTell gives ("The file "<path>" is too large to be read: ...").
bool ReadWholeFileOrTellAs(const std::string& utf8Path, const std::string& shownName, std::vector<uint8_t>& bytes,
                           std::string& message);
// ReadWholeFileOrTellAs, saying which step failed: a reader that can do without the
// whole file (a count taken as it streams) tells one the memory cannot hold its own way.
TWholeFileRead ReadWholeFileToldAs(const std::string& utf8Path, const std::string& shownName,
                                   std::vector<uint8_t>& bytes, std::string& message);
// Writes through TSaveFile, so a failure keeps the old file.
bool WriteWholeFileAtomic(const std::string& utf8Path, const void* bytes, size_t n,
                          std::string* error = nullptr);
// Where a file's text goes as it is made, a piece at a time: false once a write failed.
using TTextSink = std::function<bool(std::string_view)>;
// Writes through TSaveFile the pieces `write` gives its sink as it makes them, so a
// file is never held whole in memory; `write` returns false once the sink did. A
// failure keeps the old file and gives its reason.
bool WriteFileAtomicAsItGoes(const std::string& utf8Path, const std::function<bool(const TTextSink&)>& write,
                             std::string* error = nullptr);

}  // namespace qira

#pragma once
// The compound file (OLE structured storage) that holds the workbook stream: a
// tree of storages and streams under "Root Entry", written and read by our own
// code in the compound-file format version 3 (512-byte sectors, FAT, directory,
// 64-byte mini sectors for streams below 4096 bytes in the mini stream, mini FAT).
//
// Streams live in memory while the file is open, except that a stream growing
// past kCFileStreamSpillSize moves into an unnamed temporary file (in the target's
// folder, or the system's temporary folder for a file in memory), so a large
// stream costs no memory while its size is still unknown. That move is tried
// once: where it fails (a disk without room for the stream has none for the file
// either) the stream keeps the system's reason and takes no more writes, so the
// save fails at once with it. Commit() lays the whole tree out and writes it
// piece by piece. On disk the write is atomic: the file appears (or replaces
// an older one) only when everything was written. Destroying a TCFile without
// Commit() discards what was written to it and leaves any older file as it was,
// so a save that was interrupted by an exception never leaves half a file.
//
// Opening (mode 1, CreateFromStream) reads versions 3 and 4. Every count,
// sector number, chain and size is checked against the file before anything is
// allocated; no sector may belong to two chains. Opened files are read only.
//
// Names are UTF-8 inside the program and UTF-16 in the file; a name holds 1 to
// 31 UTF-16 characters and none of '/', '\', ':', '!'. Names compare without
// regard to case, as the format does.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   errors
//   items
//   the file
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qira {

class TBinaryStream;
class TSaveFile;

// [SECTION] errors

// The error codes; their texts are the table of CFileErrorText, in this order.
namespace cferr {
inline constexpr int kCreateFile = 0;     // "Can not create a file"
inline constexpr int kCreateStream = 1;   // "Can not create a stream"
inline constexpr int kCreateStorage = 2;  // "Can not create a storage"
inline constexpr int kOpenFile = 3;       // "Can not open a file (...)"
inline constexpr int kOpenStream = 4;     // "Can not open a stream"
inline constexpr int kOpenStorage = 5;    // "Can not open a storage"
inline constexpr int kSeek = 6;           // "Can not set stream position"
inline constexpr int kCommit = 7;         // "Can not commit a storage"
}  // namespace cferr

// Codes 0 to 7 with their fixed texts; any other code gives an empty text.
const char* CFileErrorText(int code);

class ECFileError : public std::runtime_error {
 public:
  explicit ECFileError(int code);
  // The code with the text shown instead of the code's own ("<file>: <reason>").
  ECFileError(int code, const std::string& text);
  int Code() const { return code_; }

 private:
  int code_;
};

// [SECTION] items

// Test hook: how often, in this process, a stream has tried to move into a
// temporary file.
int64_t CFileSpillAttemptsForTesting();

class TCFile;
class TCFileStorage;
class TCFileStream;

// The largest stream: positions and sizes stay below 2^31, as the files do.
inline constexpr int64_t kMaxCFileStreamSize = 0x7FFFFFFF;
// What a file too large for that is told: "<what> is larger than a workbook file
// can hold (2 GB)."
inline std::string WorkbookFileLimitText(const std::string& what) {
  return what + " is larger than a workbook file can hold (2 GB).";
}
// A stream larger than this is kept in a temporary file.
inline constexpr int64_t kCFileStreamSpillSize = 1 << 20;

// What a storage's items share with their file: whether it may be changed,
// and whether it was changed since the last commit.
struct TCFileState {
  bool writable = false;
  bool modified = false;
  // Where a large stream waits: the target's folder, which must take the file
  // anyway; empty for the system's temporary folder.
  std::string spillFolder;
  // The target as failures name it; empty for a file in memory.
  std::string fileName;
};

class TCFileItem {
 public:
  virtual ~TCFileItem() = default;
  TCFileItem(const TCFileItem&) = delete;
  TCFileItem& operator=(const TCFileItem&) = delete;

  const std::string& Name() const { return name_; }
  virtual bool IsStorage() const = 0;

 protected:
  TCFileItem(std::string name, TCFileState* state) : name_(std::move(name)), state_(state) {}
  std::string name_;
  TCFileState* state_;  // owned by the file, which outlives its items
};

enum TCFileSeekOrigin : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TCFileStream : public TCFileItem {
 public:
  bool IsStorage() const override { return false; }

  // The number of bytes transferred. A read stops at the end of the stream; a
  // write past the end fills the gap with zeros. A write to an opened (read-only)
  // file, or one that would pass kMaxCFileStreamSize, transfers nothing; so does
  // every write once the temporary file of a large stream could not be made or
  // written (FailureReason() then says why; the move is not tried again).
  int32_t Read(void* buffer, int32_t count);
  int32_t Write(const void* buffer, int32_t count);
  // The new position. A target before 0 or beyond kMaxCFileStreamSize leaves the
  // position as it was (and returns it). The position may pass the end.
  int64_t Seek(int64_t offset, TCFileSeekOrigin origin);
  int64_t Position() const { return position_; }
  int64_t GetSize() const { return size_; }
  // ECFileError 6 when the position cannot be set.
  void SetPosition(int64_t position);

  // True when every byte was written (a null buffer writes nothing: false).
  bool WriteByte(uint8_t value);
  bool WriteWord(uint16_t value);
  bool WriteDWord(uint32_t value);
  bool WriteBuffer(const void* buffer, int32_t count);
  // True only when every byte was read; a short read moves the position on by
  // what was there and leaves the value untouched.
  bool ReadByte(uint8_t& value);
  bool ReadWord(uint16_t& value);
  bool ReadDWord(uint32_t& value);
  bool ReadBuffer(void* buffer, int32_t count);

  // The system's reason why the stream's temporary file could not be made or
  // written; empty while none failed.
  std::string FailureReason() const;
  // What a writer raises for a write the stream refused: ECFileError 7, its text
  // "<file>: <reason>" after a failure of the temporary file (the reason alone
  // for a file in memory), the code's own text otherwise.
  [[noreturn]] void RaiseWriteFailure() const;

  // A copy of the whole stream.
  std::vector<uint8_t> Data() const;
  // Copies n bytes from pos, which the caller keeps inside the stream. False when
  // the temporary file cannot be read.
  bool ReadAt(int64_t pos, void* buffer, size_t n) const;
  ~TCFileStream() override;

 private:
  friend class TCFileStorage;
  friend class TCFileReader;
  friend class TCFile;
  TCFileStream(std::string name, TCFileState* state) : TCFileItem(std::move(name), state) {}
  // Moves the bytes into a temporary file; false, with errno set and the bytes
  // still in memory, when none can be made or written.
  bool Spill();
  // Keeps the first failure of the temporary file: the stream is lost.
  void Fail(int err) const;
  // Closes the temporary file, which frees its blocks: the stream is lost, as
  // after a failed write to it.
  void ReleaseSpill();
  // Writes the buffered bytes of the temporary file; false (and failed) when that fails.
  bool Flush() const;

  std::vector<uint8_t> data_;  // the bytes while in memory
  int64_t size_ = 0;
  int64_t position_ = 0;
  int fd_ = -1;  // the temporary file, once spilled
  // Bytes of [bufferStart_, bufferStart_ + buffer_.size()) not yet in the temporary file.
  mutable std::vector<uint8_t> buffer_;
  mutable int64_t bufferStart_ = 0;
  // The temporary file could not be made or written, or was released: the stream is lost.
  mutable bool failed_ = false;
  mutable int failure_ = 0;  // the error number of that failure; 0 for a release
};

class TCFileStorage : public TCFileItem {
 public:
  ~TCFileStorage() override;
  bool IsStorage() const override { return true; }

  // A new empty stream in this storage. ECFileError 1 when the file is read
  // only, the name is not valid, or an item of that name exists.
  TCFileStream& CreateStream(const std::string& name);
  // A new empty storage in this storage; ECFileError 2 in the same cases.
  TCFileStorage& CreateStorage(const std::string& name);

  // Children in the order they were created or found in the file.
  int Count() const { return static_cast<int>(items_.size()); }
  TCFileItem& Item(int index) const { return *items_.at(static_cast<size_t>(index)); }
  // The child of that name (without regard to case) and kind, or null.
  TCFileStream* FindStream(const std::string& name) const;
  TCFileStorage* FindStorage(const std::string& name) const;

 private:
  friend class TCFile;
  friend class TCFileReader;
  TCFileStorage(std::string name, TCFileState* state) : TCFileItem(std::move(name), state) {}
  TCFileItem* Find(const std::string& name) const;
  // Checks the name and that no child holds it; throws `code` otherwise.
  void CheckNewName(const std::string& name, int code) const;

  std::vector<std::unique_ptr<TCFileItem>> items_;
};

// [SECTION] the file

enum TCFileMode : int {
  cfmCreate = 0,          // create on disk (replacing an older file at Commit)
  cfmOpen = 1,            // open on disk, read only
  cfmCreateInMemory = 2,  // create in memory; Commit() keeps the image in MemoryImage()
};

class TCFile {
 public:
  // Mode 0: ECFileError 0 when no file can be created at that name. Mode 1:
  // ECFileError 3 when the file is missing or is not a readable compound file,
  // 4 or 5 when one of its streams or storages cannot be read. Mode 2 ignores
  // the name.
  TCFile(TCFileMode mode, const std::string& fileName);
  // A read-only compound file from the whole of `stream` (read from its start);
  // ECFileError 0 when it is not a readable compound file, 4 or 5 as above.
  static std::unique_ptr<TCFile> CreateFromStream(TBinaryStream& stream);
  // Without Commit(), nothing is written (see the file comment).
  ~TCFile();

  TCFile(const TCFile&) = delete;
  TCFile& operator=(const TCFile&) = delete;

  TCFileStorage& Root() { return *root_; }
  const std::string& FileName() const { return fileName_; }
  bool ReadOnly() const { return !state_.writable; }

  // Writes the whole tree: to the file (mode 0) or to MemoryImage() (mode 2);
  // nothing for an opened file. ECFileError 7 when it cannot be written (the
  // older file then stays). May be called again after further changes, except
  // after a failure in place: the large streams' temporary files are closed
  // before the older content goes back, which may need their room.
  void Commit();
  // The compound file image of the tree as it stands now.
  std::vector<uint8_t> Bytes() const;
  // Mode 2: the image of the last Commit().
  const std::vector<uint8_t>& MemoryImage() const { return memoryImage_; }

 private:
  TCFile() = default;
  // The save file of the target, which releases the streams' temporary files
  // before it puts an earlier content back in place.
  std::unique_ptr<TSaveFile> CreateSaveFile(std::string& reason);
  void ReleaseSpills(TCFileStorage& storage);

  TCFileMode mode_ = cfmCreateInMemory;
  std::string fileName_;
  TCFileState state_;
  std::unique_ptr<TCFileStorage> root_;
  std::unique_ptr<TSaveFile> saveFile_;
  std::vector<uint8_t> memoryImage_;
};

}  // namespace qira

// Sections (each begins at a line "// [SECTION] <name>"):
//   errors
//   names
//   TCFileStream
//   TCFileStorage
//   TCFile
#include "xls/CompoundFile.h"

#include <QChar>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "xls/CompoundFileFormat.h"

namespace qira {

// [SECTION] errors

const char* CFileErrorText(int code) {
  static const char* const texts[] = {
      "Can not create a file",
      "Can not create a stream",
      "Can not create a storage",
      "Can not open a file (probably it is already opened or does not exist)",
      "Can not open a stream",
      "Can not open a storage",
      "Can not set stream position",
      "Can not commit a storage",
  };
  return code >= 0 && code < 8 ? texts[code] : "";
}

ECFileError::ECFileError(int code) : std::runtime_error(CFileErrorText(code)), code_(code) {}
ECFileError::ECFileError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}

// [SECTION] names

namespace cfb {

namespace {
char16_t Upper(char16_t c) { return static_cast<char16_t>(QChar(c).toUpper().unicode()); }
}  // namespace

std::u16string EntryNameKey(const std::u16string& name) {
  std::u16string key(name.size(), u'\0');
  std::transform(name.begin(), name.end(), key.begin(), Upper);
  return key;
}

int CompareEntryNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char16_t ua = Upper(a[i]);
    const char16_t ub = Upper(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return 0;
}

std::u16string NameToUtf16(const std::string& utf8) {
  const QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  // Qt replaces malformed bytes; a name that does not survive the round trip was not UTF-8.
  if (s.toUtf8() != QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size()))) return {};
  return s.toStdU16String();
}

std::string NameToUtf8(const std::u16string& utf16) {
  return QString::fromStdU16String(utf16).toStdString();
}

}  // namespace cfb

namespace {

bool ValidName(const std::u16string& name) {
  if (name.empty() || name.size() > cfb::kMaxNameChars) return false;
  return std::none_of(name.begin(), name.end(), [](char16_t c) {
    return c == u'/' || c == u'\\' || c == u':' || c == u'!' || c == 0;
  });
}

}  // namespace

// [SECTION] TCFileStream

namespace {
// Writes to a spilled stream gather in a buffer of this size.
constexpr size_t kSpillBuffer = 1 << 16;

std::atomic<int64_t> gSpillAttempts{0};

bool ReadAllAt(int fd, uint8_t* data, size_t n, int64_t at) {
  while (n > 0) {
    const ssize_t done = ::pread(fd, data, n, static_cast<off_t>(at));
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return false;
    // A hole at the end of the file reads as zeros.
    if (done == 0) {
      std::memset(data, 0, n);
      return true;
    }
    data += done;
    n -= static_cast<size_t>(done);
    at += done;
  }
  return true;
}

int OpenUnnamedTemporary(std::string folder) {
  if (folder.empty()) {
    const char* dir = std::getenv("TMPDIR");
    folder = dir && *dir ? dir : "/tmp";
  }
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = folder + "/qira-stream-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}
}  // namespace

int64_t CFileSpillAttemptsForTesting() { return gSpillAttempts.load(); }

TCFileStream::~TCFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

bool TCFileStream::Spill() {
  gSpillAttempts.fetch_add(1, std::memory_order_relaxed);
  int fd = OpenUnnamedTemporary(state_->spillFolder);
  if (fd < 0 && !state_->spillFolder.empty()) fd = OpenUnnamedTemporary({});
  if (fd < 0) return false;
  if (!WriteAllAt(fd, data_.data(), data_.size(), 0)) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return false;
  }
  fd_ = fd;
  std::vector<uint8_t>().swap(data_);
  buffer_.reserve(kSpillBuffer);
  return true;
}

void TCFileStream::ReleaseSpill() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  std::vector<uint8_t>().swap(buffer_);
  failed_ = true;
}

void TCFileStream::Fail(int err) const {
  if (!failed_) failure_ = err != 0 ? err : EIO;
  failed_ = true;
}

std::string TCFileStream::FailureReason() const { return failure_ != 0 ? ErrnoText(failure_) : std::string(); }

void TCFileStream::RaiseWriteFailure() const {
  if (failure_ == 0) throw ECFileError(cferr::kCommit);
  const std::string& file = state_->fileName;
  throw ECFileError(cferr::kCommit, file.empty() ? FailureReason() : file + ": " + FailureReason());
}

bool TCFileStream::Flush() const {
  if (fd_ < 0 || buffer_.empty()) return true;
  const bool ok = WriteAllAt(fd_, buffer_.data(), buffer_.size(), bufferStart_);
  if (!ok) Fail(errno);
  buffer_.clear();
  return ok;
}

bool TCFileStream::ReadAt(int64_t pos, void* buffer, size_t n) const {
  if (n == 0) return true;
  if (fd_ < 0) {
    std::memcpy(buffer, data_.data() + pos, n);
    return true;
  }
  return !failed_ && Flush() && ReadAllAt(fd_, static_cast<uint8_t*>(buffer), n, pos);
}

std::vector<uint8_t> TCFileStream::Data() const {
  if (fd_ < 0) return data_;
  std::vector<uint8_t> bytes(static_cast<size_t>(size_));
  if (!ReadAt(0, bytes.data(), bytes.size())) throw ECFileError(cferr::kOpenStream);
  return bytes;
}

int32_t TCFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || buffer == nullptr || position_ >= GetSize()) return 0;
  const int64_t n = std::min<int64_t>(count, GetSize() - position_);
  if (!ReadAt(position_, buffer, static_cast<size_t>(n))) return 0;
  position_ += n;
  return static_cast<int32_t>(n);
}

int32_t TCFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || buffer == nullptr || !state_->writable || failed_) return 0;
  const int64_t end = position_ + count;
  if (end > kMaxCFileStreamSize) return 0;
  // Tried once: writing the whole stream again at every later write would take
  // minutes on a full disk before the save failed all the same.
  if (fd_ < 0 && end > kCFileStreamSpillSize && !Spill()) {
    Fail(errno);
    return 0;
  }
  if (fd_ < 0) {
    if (end > GetSize()) data_.resize(static_cast<size_t>(end), 0);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  } else {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (static_cast<size_t>(count) >= kSpillBuffer) {
      // A large write goes straight to the file, after what is buffered before it.
      if (!Flush()) return 0;
      if (!WriteAllAt(fd_, bytes, static_cast<size_t>(count), position_)) {
        Fail(errno);
        return 0;
      }
      size_ = std::max(size_, end);
      position_ = end;
      state_->modified = true;
      return count;
    }
    const bool joins = !buffer_.empty() && position_ >= bufferStart_ &&
                       position_ <= bufferStart_ + static_cast<int64_t>(buffer_.size()) &&
                       end - bufferStart_ <= static_cast<int64_t>(kSpillBuffer);
    if (!joins) {
      if (!Flush()) return 0;
      bufferStart_ = position_;
    }
    const auto at = static_cast<size_t>(position_ - bufferStart_);
    if (at + static_cast<size_t>(count) > buffer_.size()) buffer_.resize(at + static_cast<size_t>(count));
    std::memcpy(buffer_.data() + at, bytes, static_cast<size_t>(count));
    // Bytes between the old end and a write beyond it read as zeros from the file's hole.
    if (buffer_.size() >= kSpillBuffer && !Flush()) return 0;
  }
  size_ = std::max(size_, end);
  position_ = end;
  state_->modified = true;
  return count;
}

int64_t TCFileStream::Seek(int64_t offset, TCFileSeekOrigin origin) {
  int64_t from = 0;
  switch (origin) {
    case soFromBeginning: from = 0; break;
    case soFromCurrent: from = position_; break;
    case soFromEnd: from = GetSize(); break;
    default: return position_;
  }
  // Both terms are far below 2^62 in magnitude only when the offset is sane.
  if (offset < -kMaxCFileStreamSize - 1 || offset > kMaxCFileStreamSize) return position_;
  const int64_t target = from + offset;
  if (target < 0 || target > kMaxCFileStreamSize) return position_;
  position_ = target;
  return position_;
}

void TCFileStream::SetPosition(int64_t position) {
  if (Seek(position, soFromBeginning) != position) throw ECFileError(cferr::kSeek);
}

bool TCFileStream::WriteByte(uint8_t value) { return Write(&value, 1) == 1; }

bool TCFileStream::WriteWord(uint16_t value) {
  const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  return Write(b, 2) == 2;
}

bool TCFileStream::WriteDWord(uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return Write(b, 4) == 4;
}

bool TCFileStream::WriteBuffer(const void* buffer, int32_t count) {
  if (buffer == nullptr) return false;
  return count == 0 || Write(buffer, count) == count;
}

bool TCFileStream::ReadByte(uint8_t& value) {
  uint8_t b;
  if (Read(&b, 1) != 1) return false;
  value = b;
  return true;
}

bool TCFileStream::ReadWord(uint16_t& value) {
  uint8_t b[2];
  if (Read(b, 2) != 2) return false;
  value = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool TCFileStream::ReadDWord(uint32_t& value) {
  uint8_t b[4];
  if (Read(b, 4) != 4) return false;
  value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  return true;
}

bool TCFileStream::ReadBuffer(void* buffer, int32_t count) {
  if (buffer == nullptr || count < 0) return false;
  return Read(buffer, count) == count;
}

// [SECTION] TCFileStorage

TCFileStorage::~TCFileStorage() = default;

TCFileItem* TCFileStorage::Find(const std::string& name) const {
  const std::u16string wanted = cfb::NameToUtf16(name);
  if (wanted.empty()) return nullptr;
  for (const auto& item : items_) {
    if (cfb::CompareEntryNames(cfb::NameToUtf16(item->Name()), wanted) == 0) return item.get();
  }
  return nullptr;
}

TCFileStream* TCFileStorage::FindStream(const std::string& name) const {
  TCFileItem* item = Find(name);
  return item && !item->IsStorage() ? static_cast<TCFileStream*>(item) : nullptr;
}

TCFileStorage* TCFileStorage::FindStorage(const std::string& name) const {
  TCFileItem* item = Find(name);
  return item && item->IsStorage() ? static_cast<TCFileStorage*>(item) : nullptr;
}

void TCFileStorage::CheckNewName(const std::string& name, int code) const {
  if (!state_->writable || !ValidName(cfb::NameToUtf16(name)) || Find(name) != nullptr) throw ECFileError(code);
}

TCFileStream& TCFileStorage::CreateStream(const std::string& name) {
  CheckNewName(name, cferr::kCreateStream);
  auto* stream = new TCFileStream(name, state_);
  items_.emplace_back(stream);
  state_->modified = true;
  return *stream;
}

TCFileStorage& TCFileStorage::CreateStorage(const std::string& name) {
  CheckNewName(name, cferr::kCreateStorage);
  auto* storage = new TCFileStorage(name, state_);
  items_.emplace_back(storage);
  state_->modified = true;
  return *storage;
}

// [SECTION] TCFile

namespace {

// Reads the tree of an image. The streams' bytes are copied out of it, together at
// most its size: they are counted before, and refused as the image would be.
void ReadImage(const std::vector<uint8_t>& image, TCFileStorage& root, int errorCode, const std::string& what) {
  const auto size = static_cast<int64_t>(image.size());
  if (!MemoryFits(size)) throw ECFileError(errorCode, TooLargeText(what, "read", size));
  try {
    TCFileReader::Read(image, root, errorCode);
  } catch (const std::bad_alloc&) {
    throw ECFileError(errorCode, TooLargeText(what, "read", size));
  }
}

// The first stream below `storage` whose temporary file failed with a reason, or null.
const TCFileStream* FailedStream(const TCFileStorage& storage) {
  for (int i = 0; i < storage.Count(); ++i) {
    const TCFileItem& item = storage.Item(i);
    const TCFileStream* failed = nullptr;
    if (item.IsStorage()) failed = FailedStream(static_cast<const TCFileStorage&>(item));
    else if (!static_cast<const TCFileStream&>(item).FailureReason().empty())
      failed = &static_cast<const TCFileStream&>(item);
    if (failed) return failed;
  }
  return nullptr;
}

}  // namespace

TCFile::TCFile(TCFileMode mode, const std::string& fileName) : mode_(mode), fileName_(fileName) {
  root_.reset(new TCFileStorage("Root Entry", &state_));
  switch (mode) {
    case cfmCreate: {
      std::string reason;
      saveFile_ = CreateSaveFile(reason);
      // Like every saver, name the file and the system's reason.
      if (!saveFile_)
        throw ECFileError(cferr::kCreateFile,
                          std::string(CFileErrorText(cferr::kCreateFile)) + " " + fileName + ": " + reason);
      state_.writable = true;
      state_.modified = true;
      state_.fileName = fileName;
      state_.spillFolder = std::filesystem::path(fileName).parent_path().string();
      if (state_.spillFolder.empty()) state_.spillFolder = ".";
      break;
    }
    case cfmOpen: {
      std::vector<uint8_t> image;
      std::string message;
      switch (ReadWholeFileTold(fileName, image, message)) {
        case TWholeFileRead::wrDone:
          break;
        case TWholeFileRead::wrNoMemory:
          throw ECFileError(cferr::kOpenFile, message);
        case TWholeFileRead::wrNotOpened:
        case TWholeFileRead::wrNotRead:
          throw ECFileError(cferr::kOpenFile);
      }
      ReadImage(image, *root_, cferr::kOpenFile, "The file \"" + fileName + "\"");
      break;
    }
    case cfmCreateInMemory:
      state_.writable = true;
      state_.modified = true;
      break;
    default:
      throw ECFileError(cferr::kCreateFile);
  }
}

std::unique_ptr<TCFile> TCFile::CreateFromStream(TBinaryStream& stream) {
  std::unique_ptr<TCFile> file(new TCFile());
  file->mode_ = cfmOpen;
  file->root_.reset(new TCFileStorage("Root Entry", &file->state_));
  const std::string what = "The compound file";
  // Its image and, in all, as much again for the streams' bytes.
  if (!MemoryFits(int64_t{2} * stream.Size()))
    throw ECFileError(cferr::kCreateFile, TooLargeText(what, "read", int64_t{2} * stream.Size()));
  std::vector<uint8_t> image;
  if (!ResizeCounted(image, stream.Size()))
    throw ECFileError(cferr::kCreateFile, TooLargeText(what, "read", stream.Size()));
  if (!stream.Seek(0) || !stream.Read(image.data(), stream.Size())) throw ECFileError(cferr::kCreateFile);
  ReadImage(image, *file->root_, cferr::kCreateFile, what);
  return file;
}

// The items hold a pointer to state_, so they go first; an uncommitted save file
// removes its temporary and leaves any older file alone.
TCFile::~TCFile() {
  root_.reset();
  saveFile_.reset();
}

std::vector<uint8_t> TCFile::Bytes() const { return cfb::LayOutCompoundFile(*root_); }

std::unique_ptr<TSaveFile> TCFile::CreateSaveFile(std::string& reason) {
  std::unique_ptr<TSaveFile> file = TSaveFile::Create(fileName_, &reason);
  // On a full disk the streams' temporaries in the target's folder hold the room
  // the earlier content needs; the tree is not saved then anyway.
  if (file) file->ReleaseBeforePutBack([this] {
    if (root_) ReleaseSpills(*root_);
  });
  return file;
}

void TCFile::ReleaseSpills(TCFileStorage& storage) {
  for (const auto& item : storage.items_) {
    if (item->IsStorage()) ReleaseSpills(static_cast<TCFileStorage&>(*item));
    else static_cast<TCFileStream&>(*item).ReleaseSpill();
  }
}

void TCFile::Commit() {
  if (!state_.writable) return;
  // A stream that lost its bytes is told with the system's reason, before anything is written.
  if (const TCFileStream* failed = FailedStream(*root_)) failed->RaiseWriteFailure();
  if (mode_ == cfmCreateInMemory) {
    try {
      memoryImage_ = Bytes();
    } catch (const ECFileError&) {
      throw ECFileError(cferr::kCommit);
    }
    state_.modified = false;
    return;
  }
  std::string reason;
  if (!saveFile_) saveFile_ = CreateSaveFile(reason);
  if (!saveFile_) throw ECFileError(cferr::kCommit, fileName_ + ": " + reason);
  // Dropped on any failure below, which removes the temporary and keeps an older file.
  std::unique_ptr<TSaveFile> file = std::move(saveFile_);
  bool written = true;
  try {
    cfb::WriteCompoundFile(*root_, [&](const uint8_t* data, size_t n) {
      if (!file->Stream().Write(data, static_cast<int32_t>(n))) {
        written = false;
        throw ECFileError(cferr::kCommit);
      }
    });
  } catch (const ECFileError&) {
    if (written) {
      // A stream's temporary file that failed while it was read: its last bytes could not be written.
      if (const TCFileStream* failed = FailedStream(*root_)) failed->RaiseWriteFailure();
      throw;  // with the text of what failed: the file's limit, a stream that could not be read
    }
    reason = file->FailureReason(CFileErrorText(cferr::kCommit));
  }
  if (reason.empty()) file->Commit(&reason);
  if (!reason.empty()) throw ECFileError(cferr::kCommit, fileName_ + ": " + reason);
  state_.modified = false;
}

}  // namespace qira

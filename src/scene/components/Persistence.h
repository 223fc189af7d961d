#pragma once
// The engine's own serialisation: objects that write themselves to a writer
// and read themselves back from a reader, the tagged binary encoding of that
// writer and reader, and a growable list of object references that stores its
// items polymorphically by class name.
//
// Tagged encoding (one tag byte, then a little-endian payload):
//   0 end of list, 1 begin of list, 2/3/4 int8/int16/int32, 5 80-bit float,
//   6 string (1-byte length), 8 False, 9 True, 10 bytes (int32 length),
//   12 string (int32 length),
//   18 UTF-16 string (int32 length in units), 20 UTF-8 string (read only).
//
// Byte strings in archives are Windows-1252 (tags 6 and 12); strings in the
// program are UTF-8. The writer converts UTF-8 to Windows-1252 (a character
// that has no Windows-1252 byte becomes '?'); the reader converts back, and
// decodes tags 18 and 20 to UTF-8 (an unpaired surrogate or a malformed UTF-8
// sequence becomes U+FFFD).
//
// Reading never trusts a length: every length is checked against the bytes
// left in the stream before anything is allocated. Every failure raises a
// typed exception (below) at the first bad byte.
//
// Sections:
//   Errors
//   Extended-float layout
//   Writers
//   Readers
//   Persistent objects
//   The object list
//   Owner-keeping bases
//   File streams
//   Registration
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/components/Components.h"

namespace qira {

class TBinaryStream;

// [SECTION] Errors

// A value not readable as asked: "<reader class>, read type error", or a
// stream cut short: "Stream read error".
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// The stream refused bytes: "Stream write error".
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// An archive of an unknown version: "<class> : unknown archive version <n>".
class EFilerException : public Exception {
 public:
  using Exception::Exception;
};

// "Invalid file signature".
class EInvalidFileSignature : public Exception {
 public:
  using Exception::Exception;
};

// [SECTION] Extended-float layout
// The 80-bit extended layout: 64-bit significand with an explicit integer bit,
// then 15-bit biased exponent (bias 16383) and the sign in the top bit, all
// little-endian. Converted bit by bit; long double is not used.

using TExtendedBytes = std::array<uint8_t, 10>;

// Exact: every double (zeros, denormals, infinities, NaN payload top bits) has
// an extended image.
TExtendedBytes EncodeExtended(double value);
// Rounds to nearest, halves to even; too large gives an infinity, too small a
// (signed) zero or denormal. NaN stays NaN (quiet). An "unnormal" (exponent
// not 0 and integer bit clear) is an invalid operand to the processor and
// gives NaN.
double DecodeExtended(const TExtendedBytes& bytes);

// [SECTION] Writers

// The tag before each value of the tagged encoding.
enum class TArchiveValueType : uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaLString = 12,
  vaWString = 18,
  vaUTF8String = 20,
};

// Writes values to a stream it does not own; the stream must outlive it.
class TVirtualWriter : public TObject {
  QIRA_CLASS(TVirtualWriter, TObject)

  explicit TVirtualWriter(TBinaryStream& stream) : stream_(stream) {}
  TBinaryStream& Stream() const { return stream_; }

  // Raw bytes, no tag. EWriteError when the stream refuses them.
  virtual void Write(const void* buffer, int32_t count) = 0;
  virtual void WriteInteger(int32_t value) = 0;
  virtual void WriteBoolean(bool value) = 0;
  // `value` is UTF-8.
  virtual void WriteString(std::string_view value) = 0;
  virtual void WriteFloat(double value) = 0;
  virtual void WriteListBegin() = 0;
  virtual void WriteListEnd() = 0;

 private:
  TBinaryStream& stream_;
};

class TBinaryWriter : public TVirtualWriter {
  QIRA_CLASS(TBinaryWriter, TVirtualWriter)

  using TVirtualWriter::TVirtualWriter;

  void Write(const void* buffer, int32_t count) override;
  // Tag 2 for -128..127, tag 3 for -32768..32767, else tag 4.
  void WriteInteger(int32_t value) override;
  void WriteBoolean(bool value) override;
  // Through WriteAnsiString.
  void WriteString(std::string_view value) override;
  void WriteFloat(double value) override;
  void WriteListBegin() override;
  void WriteListEnd() override;

  // Tag 6 up to 255 bytes, else tag 12; `value` is UTF-8, written as Windows-1252.
  void WriteAnsiString(std::string_view value);
  // Tag 18, length in UTF-16 units.
  void WriteWideString(std::u16string_view value);
  // Tag 10, the int32 byte count, then the bytes as they are.
  void WriteBinary(const std::vector<uint8_t>& bytes);

 private:
  void WriteTag(TArchiveValueType tag);
};

// [SECTION] Readers

// Reads values from a stream it does not own; the stream must outlive it.
class TVirtualReader : public TObject {
  QIRA_CLASS(TVirtualReader, TObject)

  explicit TVirtualReader(TBinaryStream& stream) : stream_(stream) {}
  TBinaryStream& Stream() const { return stream_; }
  // Bytes left between the stream position and its end.
  int64_t Remaining() const;

  // Raw bytes, no tag; EReadError "Stream read error" when fewer remain.
  virtual void Read(void* buffer, int32_t count) = 0;
  // The next tag, not consumed; EReadError at the end of the stream.
  virtual TArchiveValueType NextValue() = 0;
  virtual int32_t ReadInteger() = 0;
  virtual bool ReadBoolean() = 0;
  // UTF-8.
  virtual std::string ReadString() = 0;
  virtual double ReadFloat() = 0;
  virtual void ReadListBegin() = 0;
  virtual void ReadListEnd() = 0;
  virtual bool EndOfList() = 0;

  // Nesting guard for archives that contain archives (an object list holding
  // object lists): a stream that nests deeper than MaxNesting raises
  // EReadError "Stream read error" instead of exhausting the call stack.
  static constexpr int MaxNesting = 64;
  void EnterNested();
  void LeaveNested() { --nesting_; }

 protected:
  // EReadError "Stream read error" unless `count` bytes remain.
  void CheckAvailable(int64_t count) const;

 private:
  TBinaryStream& stream_;
  int nesting_ = 0;
};

class TBinaryReader : public TVirtualReader {
  QIRA_CLASS(TBinaryReader, TVirtualReader)

  using TVirtualReader::TVirtualReader;

  void Read(void* buffer, int32_t count) override;
  TArchiveValueType NextValue() override;
  // Tags 2, 3, 4, sign-extended.
  int32_t ReadInteger() override;
  // Tags 8, 9.
  bool ReadBoolean() override;
  // Tags 6, 12 (Windows-1252), 18 (UTF-16), 20 (UTF-8); the result is UTF-8.
  std::string ReadString() override;
  // Tag 5.
  double ReadFloat() override;
  void ReadListBegin() override;
  void ReadListEnd() override;
  bool EndOfList() override;
  // Tag 10; the count is checked against the bytes left before anything is allocated.
  std::vector<uint8_t> ReadBinary();

 private:
  uint8_t ReadTag();
  [[noreturn]] void ReadTypeError() const;
  int32_t ReadLength();
};

// Constructors of a writer or reader on a stream: the class-reference argument
// of the save and load operations; null means the binary writer or reader.
using TVirtualWriterClass = std::unique_ptr<TVirtualWriter> (*)(TBinaryStream&);
using TVirtualReaderClass = std::unique_ptr<TVirtualReader> (*)(TBinaryStream&);
std::unique_ptr<TVirtualWriter> CreateBinaryWriter(TBinaryStream& stream);
std::unique_ptr<TVirtualReader> CreateBinaryReader(TBinaryStream& stream);

// [SECTION] Persistent objects

class TPersistentObject : public TPersistent {
  QIRA_CLASS(TPersistentObject, TPersistent)

  TPersistentObject() = default;

  // From an object of exactly this class: the source is saved with the
  // default writer into memory and this object loads itself from it. Other
  // sources follow TPersistent's rules.
  void Assign(const TPersistent* source) override;

  // Raw bytes written before the archive; empty (none) here.
  virtual std::string FileSignature() const { return {}; }
  virtual TVirtualWriterClass DefaultWriter() const { return &CreateBinaryWriter; }
  virtual TVirtualReaderClass DefaultReader() const { return &CreateBinaryReader; }

  // An object of the same class (its constructor without arguments) assigned
  // from this one; null when the class has no such constructor.
  virtual std::unique_ptr<TPersistentObject> CreateClone() const;
  // Empty here; every descendant with data writes/reads it after calling the
  // inherited one.
  virtual void WriteToFiler(TVirtualWriter& writer) const { (void)writer; }
  virtual void ReadFromFiler(TVirtualReader& reader) { (void)reader; }

  // Signature (when any), then WriteToFiler. Writer class null: TBinaryWriter.
  virtual void SaveToStream(TBinaryStream& stream, TVirtualWriterClass writerClass = nullptr) const;
  // Signature check (EInvalidFileSignature "Invalid file signature"), then
  // ReadFromFiler. Reader class null: TBinaryReader.
  virtual void LoadFromStream(TBinaryStream& stream, TVirtualReaderClass readerClass = nullptr);
  // Writer/reader class null: DefaultWriter/DefaultReader. The file is written
  // atomically: a failed save leaves the old file and raises EWriteError
  // "<fileName>: <the system's reason>".
  virtual void SaveToFile(const std::string& fileName, TVirtualWriterClass writerClass = nullptr) const;
  virtual void LoadFromFile(const std::string& fileName, TVirtualReaderClass readerClass = nullptr);
  // The archive as a byte string, and back.
  virtual std::string SaveToString(TVirtualWriterClass writerClass = nullptr) const;
  virtual void LoadFromString(const std::string& data, TVirtualReaderClass readerClass = nullptr);

  // EFilerException "<class name> : unknown archive version <version>".
  [[noreturn]] void RaiseFilerException(int32_t archiveVersion) const;
};

[[noreturn]] void RaiseFilerException(const TClassInfo& cls, int32_t archiveVersion);

// A stored Float in single precision: magnitudes beyond float's range become
// infinities (a plain conversion would be undefined), NaN stays NaN.
float ToSingle(double value);

// [SECTION] The object list

// A growable list of object references (indices from 0). Items are references
// the list does not own, except the objects it made itself while reading an
// archive and those handed over with AddOwned: those live as long as the list
// (or until Clean or ReleaseOwned), even after their slot leaves the list, so
// every reference it gave out stays valid while the list exists.
class TPersistentObjectList : public TPersistentObject {
  QIRA_CLASS(TPersistentObjectList, TPersistentObject)

  TPersistentObjectList() = default;
  ~TPersistentObjectList() override;

  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  int GrowthDelta() const { return growthDelta_; }
  void SetGrowthDelta(int delta) { growthDelta_ = delta > 0 ? delta : 1; }

  // Appends; the capacity grows by the growth delta when the list is full.
  int Add(TObject* item);
  // Appends an object the list then owns.
  int AddOwned(std::unique_ptr<TObject> item);
  void Insert(int index, TObject* item);
  void Delete(int index);
  // IndexOf, then Delete when found; -1 when not found.
  int Remove(TObject* item);
  int IndexOf(const TObject* item) const;
  TObject* GetItem(int index) const;
  void PutItem(int index, TObject* item);
  void Exchange(int index1, int index2);
  // The last item, removed; null on an empty list.
  TObject* Pop();
  // Cuts the count when below it; the capacity becomes `capacity`.
  void SetCapacity(int capacity);
  // New slots are null; above the capacity the capacity becomes exactly `count`.
  void SetCount(int count);

  // Frees the objects the list owns, last slot first, and sets their slots
  // (while still inside the list) to null; references owned elsewhere stay.
  void FreeItems();
  // Count 0, capacity 0; no object is freed.
  virtual void Clear();
  // FreeItems, then Clear.
  virtual void Clean();
  // Clean, then frees the list itself; nothing for an empty pointer.
  static void CleanFree(std::unique_ptr<TPersistentObjectList>& list);
  // Gives up ownership of an object the list owns (its slot stays); null
  // when the list does not own it.
  std::unique_ptr<TObject> ReleaseOwned(TObject* item);
  bool Owns(const TObject* item) const;

  // EListError "Invalid list index".
  [[noreturn]] void Error() const;

  // Archive: version 0, list begin, per item (null: False, 0; persistent
  // object: class name the first time its class occurs, later the class's
  // index, then its own archive; any other object: False, 0), list end.
  // The address of an object that is not persistent is never written.
  void WriteToFiler(TVirtualWriter& writer) const override;
  // Clear, then the archive above. A stored reference to a non-persistent
  // object reads as null. Bad tags, class indices outside the class table and
  // classes that are not persistent objects raise the general exception
  // "Broken ObjectList archive"; a class name not registered raises
  // EClassNotFound. On a failure the list keeps the items read so far.
  // Reads through ReadFromFilerWithEvent with AfterObjectCreatedByReader.
  void ReadFromFiler(TVirtualReader& reader) override;
  // The same archive; every object made is handed to afterObjectCreated (when
  // given) before it reads itself.
  void ReadFromFilerWithEvent(TVirtualReader& reader, const std::function<void(TObject& object)>& afterObjectCreated);

 protected:
  // Called with every object made while reading, before it reads itself.
  virtual void AfterObjectCreatedByReader(TObject& object) { (void)object; }

 private:
  void Grow();

  std::vector<TObject*> items_;
  std::vector<std::unique_ptr<TObject>> owned_;
  int capacity_ = 0;
  int growthDelta_ = 16;
};

// [SECTION] Owner-keeping bases

// A persistent object that knows its owner (not owned).
class TGLOwnedPersistent : public TPersistent {
  QIRA_CLASS(TGLOwnedPersistent, TPersistent)

  explicit TGLOwnedPersistent(TPersistent* owner) : owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }

 private:
  TPersistent* owner_;
};

// The base of the property objects and collection items that are asked for
// interfaces (C++: dynamic_cast); nothing is reference-counted.
class TGLInterfacedPersistent : public TPersistent {
  QIRA_CLASS(TGLInterfacedPersistent, TPersistent)

  TGLInterfacedPersistent() = default;
};

// [SECTION] File streams

enum class TFileStreamMode { fmCreate, fmOpenRead, fmOpenReadWrite };

// Opens a file; outside create mode a missing file raises the general
// exception "File not found: \"<name>\"". Other failures raise Exception with
// the system's reason.
std::unique_ptr<TBinaryStream> CreateFileStream(const std::string& fileName, TFileStreamMode mode);
bool FileStreamExists(const std::string& fileName);

// [SECTION] Registration

// Registers TPersistentObjectList with the class registry.
void RegisterPersistenceClasses();

}  // namespace qira

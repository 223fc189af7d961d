// Sections:
//   UTF helpers
//   Extended-float layout
//   Writers
//   Readers
//   Persistent objects
//   The object list
//   File streams
//   Registration

#include "scene/components/Persistence.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/BinaryStream.h"
#include "platform/CodePage.h"

namespace qira {

namespace {

const char kStreamReadError[] = "Stream read error";
const char kStreamWriteError[] = "Stream write error";
const char kBrokenArchive[] = "Broken ObjectList archive";

// [SECTION] UTF helpers

// Well-formed UTF-8 passes unchanged; each byte that does not start a
// well-formed sequence (overlong, surrogate, above U+10FFFF, cut short)
// becomes U+FFFD. Never reads past the end.
std::string SanitizeUtf8(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    char32_t cp = 0;
    const size_t len = Utf8SequenceAt(in, i, cp);
    if (len > 0) {
      out.append(in.substr(i, len));
      i += len;
    } else {
      AppendUtf8(out, kReplacementCharacter);
      ++i;
    }
  }
  return out;
}

void PutLE(uint8_t* p, uint64_t v, int n) {
  for (int k = 0; k < n; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

uint64_t GetLE(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int k = 0; k < n; ++k) v |= static_cast<uint64_t>(p[k]) << (8 * k);
  return v;
}

}  // namespace

// [SECTION] Extended-float layout

TExtendedBytes EncodeExtended(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  uint32_t signExp = 0;
  uint64_t mantissa = 0;
  if (exponent == 0x7FF) {
    signExp = 0x7FFF;
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  } else if (exponent == 0) {
    if (fraction != 0) {
      // A denormal double is a normal extended: value = fraction * 2^-1074.
      const int msb = 63 - std::countl_zero(fraction);
      mantissa = fraction << (63 - msb);
      signExp = static_cast<uint32_t>(msb - 1074 + 16383);
    }
  } else {
    signExp = static_cast<uint32_t>(exponent - 1023 + 16383);
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  }
  if (negative) signExp |= 0x8000;
  TExtendedBytes out{};
  PutLE(out.data(), mantissa, 8);
  PutLE(out.data() + 8, signExp, 2);
  return out;
}

double DecodeExtended(const TExtendedBytes& bytes) {
  const uint64_t mantissa = GetLE(bytes.data(), 8);
  const auto signExp = static_cast<uint32_t>(GetLE(bytes.data() + 8, 2));
  const bool negative = (signExp & 0x8000) != 0;
  const int exponent = static_cast<int>(signExp & 0x7FFF);
  const bool integerBit = (mantissa >> 63) != 0;
  const uint64_t sign = negative ? uint64_t{1} << 63 : 0;
  const double quietNaN = std::bit_cast<double>(sign | 0x7FF8000000000000ull);

  if (exponent == 0x7FFF) {
    if (!integerBit) return quietNaN;  // pseudo-infinity or pseudo-NaN
    if ((mantissa << 1) == 0) return std::bit_cast<double>(sign | 0x7FF0000000000000ull);
    return std::bit_cast<double>(sign | 0x7FF8000000000000ull | ((mantissa >> 11) & 0x000FFFFFFFFFFFFFull));
  }
  if (exponent != 0 && !integerBit) return quietNaN;  // unnormal
  if (mantissa == 0) return std::bit_cast<double>(sign);

  // value = mantissa * 2^scale
  int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
  const int msb = 63 - std::countl_zero(mantissa);
  const int top = msb + scale;  // value lies in [2^top, 2^(top+1))
  if (top > 1023) return std::bit_cast<double>(sign | 0x7FF0000000000000ull);
  const int precision = top >= -1022 ? 53 : 53 - (-1022 - top);
  if (precision < 0) return std::bit_cast<double>(sign);
  uint64_t kept = mantissa;
  const int drop = msb + 1 - precision;  // 64 at most
  if (drop > 0) {
    kept = drop >= 64 ? 0 : mantissa >> drop;
    const uint64_t rest = drop >= 64 ? mantissa : mantissa & ((uint64_t{1} << drop) - 1);
    const uint64_t half = uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
    scale += drop;
  }
  // kept has at most 54 significant bits (2^53 after a carry), so this is exact
  // except for an overflow to infinity, which is the right answer.
  const double magnitude = std::ldexp(static_cast<double>(kept), scale);
  return negative ? -magnitude : magnitude;
}

// [SECTION] Writers

void TBinaryWriter::Write(const void* buffer, int32_t count) {
  if (count < 0 || !Stream().Write(buffer, count)) throw EWriteError(kStreamWriteError);
}

void TBinaryWriter::WriteTag(TArchiveValueType tag) {
  const auto b = static_cast<uint8_t>(tag);
  Write(&b, 1);
}

void TBinaryWriter::WriteInteger(int32_t value) {
  uint8_t buf[5];
  int n;
  if (value >= -128 && value <= 127) {
    buf[0] = static_cast<uint8_t>(TArchiveValueType::vaInt8);
    n = 1;
  } else if (value >= -32768 && value <= 32767) {
    buf[0] = static_cast<uint8_t>(TArchiveValueType::vaInt16);
    n = 2;
  } else {
    buf[0] = static_cast<uint8_t>(TArchiveValueType::vaInt32);
    n = 4;
  }
  PutLE(buf + 1, static_cast<uint32_t>(value), n);
  Write(buf, n + 1);
}

void TBinaryWriter::WriteBoolean(bool value) { WriteTag(value ? TArchiveValueType::vaTrue : TArchiveValueType::vaFalse); }

void TBinaryWriter::WriteString(std::string_view value) { WriteAnsiString(value); }

void TBinaryWriter::WriteAnsiString(std::string_view value) {
  const std::string bytes = Utf8ToCp1252(value);
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EWriteError(kStreamWriteError);
  if (bytes.size() <= 255) {
    const uint8_t head[2] = {static_cast<uint8_t>(TArchiveValueType::vaString), static_cast<uint8_t>(bytes.size())};
    Write(head, 2);
  } else {
    uint8_t head[5] = {static_cast<uint8_t>(TArchiveValueType::vaLString)};
    PutLE(head + 1, bytes.size(), 4);
    Write(head, 5);
  }
  Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TBinaryWriter::WriteWideString(std::u16string_view value) {
  if (value.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2)) throw EWriteError(kStreamWriteError);
  uint8_t head[5] = {static_cast<uint8_t>(TArchiveValueType::vaWString)};
  PutLE(head + 1, value.size(), 4);
  Write(head, 5);
  std::vector<uint8_t> body(value.size() * 2);
  for (size_t i = 0; i < value.size(); ++i) PutLE(body.data() + 2 * i, value[i], 2);
  Write(body.data(), static_cast<int32_t>(body.size()));
}

void TBinaryWriter::WriteFloat(double value) {
  uint8_t buf[11] = {static_cast<uint8_t>(TArchiveValueType::vaExtended)};
  const TExtendedBytes ext = EncodeExtended(value);
  std::memcpy(buf + 1, ext.data(), ext.size());
  Write(buf, 11);
}

void TBinaryWriter::WriteBinary(const std::vector<uint8_t>& bytes) {
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EWriteError(kStreamWriteError);
  uint8_t head[5];
  head[0] = static_cast<uint8_t>(TArchiveValueType::vaBinary);
  PutLE(head + 1, static_cast<uint32_t>(bytes.size()), 4);
  Write(head, 5);
  Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TBinaryWriter::WriteListBegin() { WriteTag(TArchiveValueType::vaList); }
void TBinaryWriter::WriteListEnd() { WriteTag(TArchiveValueType::vaNull); }

std::unique_ptr<TVirtualWriter> CreateBinaryWriter(TBinaryStream& stream) {
  return std::make_unique<TBinaryWriter>(stream);
}

// [SECTION] Readers

int64_t TVirtualReader::Remaining() const { return stream_.Remaining(); }

void TVirtualReader::CheckAvailable(int64_t count) const {
  if (count < 0 || count > Remaining()) throw EReadError(kStreamReadError);
}

void TVirtualReader::EnterNested() {
  if (nesting_ >= MaxNesting) throw EReadError(kStreamReadError);
  ++nesting_;
}

void TBinaryReader::Read(void* buffer, int32_t count) {
  CheckAvailable(count);
  if (!Stream().Read(buffer, count)) throw EReadError(kStreamReadError);
}

uint8_t TBinaryReader::ReadTag() {
  uint8_t tag = 0;
  if (!Stream().ReadUInt8(tag)) throw EReadError(kStreamReadError);
  return tag;
}

void TBinaryReader::ReadTypeError() const { throw EReadError(std::string(ClassName()) + ", read type error"); }

TArchiveValueType TBinaryReader::NextValue() {
  const uint8_t tag = ReadTag();
  Stream().Seek(Stream().Position() - 1);
  return static_cast<TArchiveValueType>(tag);
}

int32_t TBinaryReader::ReadInteger() {
  uint8_t buf[4];
  switch (static_cast<TArchiveValueType>(ReadTag())) {
    case TArchiveValueType::vaInt8:
      Read(buf, 1);
      return static_cast<int8_t>(buf[0]);
    case TArchiveValueType::vaInt16:
      Read(buf, 2);
      return static_cast<int16_t>(GetLE(buf, 2));
    case TArchiveValueType::vaInt32:
      Read(buf, 4);
      return static_cast<int32_t>(GetLE(buf, 4));
    default:
      ReadTypeError();
  }
}

bool TBinaryReader::ReadBoolean() {
  switch (static_cast<TArchiveValueType>(ReadTag())) {
    case TArchiveValueType::vaFalse:
      return false;
    case TArchiveValueType::vaTrue:
      return true;
    default:
      ReadTypeError();
  }
}

float ToSingle(double value) {
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

std::vector<uint8_t> TBinaryReader::ReadBinary() {
  if (static_cast<TArchiveValueType>(ReadTag()) != TArchiveValueType::vaBinary) ReadTypeError();
  const int32_t length = ReadLength();
  CheckAvailable(length);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  Read(bytes.data(), length);
  return bytes;
}

int32_t TBinaryReader::ReadLength() {
  uint8_t buf[4];
  Read(buf, 4);
  const auto length = static_cast<int32_t>(GetLE(buf, 4));
  if (length < 0) throw EReadError(kStreamReadError);
  return length;
}

std::string TBinaryReader::ReadString() {
  const auto tag = static_cast<TArchiveValueType>(ReadTag());
  switch (tag) {
    case TArchiveValueType::vaString:
    case TArchiveValueType::vaLString: {
      int32_t length;
      if (tag == TArchiveValueType::vaString) {
        uint8_t b;
        Read(&b, 1);
        length = b;
      } else {
        length = ReadLength();
      }
      CheckAvailable(length);
      std::string bytes(static_cast<size_t>(length), '\0');
      Read(bytes.data(), length);
      return Cp1252ToUtf8(bytes);
    }
    case TArchiveValueType::vaWString: {
      const int32_t units = ReadLength();
      CheckAvailable(int64_t{units} * 2);
      std::vector<uint8_t> raw(static_cast<size_t>(units) * 2);
      Read(raw.data(), static_cast<int32_t>(raw.size()));
      std::u16string text(static_cast<size_t>(units), u'\0');
      for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(GetLE(raw.data() + 2 * i, 2));
      return Utf16ToUtf8(text);
    }
    case TArchiveValueType::vaUTF8String: {
      const int32_t length = ReadLength();
      CheckAvailable(length);
      std::string bytes(static_cast<size_t>(length), '\0');
      Read(bytes.data(), length);
      return SanitizeUtf8(bytes);
    }
    default:
      ReadTypeError();
  }
}

double TBinaryReader::ReadFloat() {
  if (static_cast<TArchiveValueType>(ReadTag()) != TArchiveValueType::vaExtended) ReadTypeError();
  TExtendedBytes ext;
  Read(ext.data(), static_cast<int32_t>(ext.size()));
  return DecodeExtended(ext);
}

void TBinaryReader::ReadListBegin() {
  if (static_cast<TArchiveValueType>(ReadTag()) != TArchiveValueType::vaList) ReadTypeError();
}

void TBinaryReader::ReadListEnd() {
  if (static_cast<TArchiveValueType>(ReadTag()) != TArchiveValueType::vaNull) ReadTypeError();
}

bool TBinaryReader::EndOfList() { return NextValue() == TArchiveValueType::vaNull; }

std::unique_ptr<TVirtualReader> CreateBinaryReader(TBinaryStream& stream) {
  return std::make_unique<TBinaryReader>(stream);
}

// [SECTION] Persistent objects

void TPersistentObject::Assign(const TPersistent* source) {
  if (source != nullptr && &source->ClassType() == &ClassType()) {
    TMemoryStream buffer;
    static_cast<const TPersistentObject*>(source)->SaveToStream(buffer, DefaultWriter());
    buffer.Seek(0);
    LoadFromStream(buffer, DefaultReader());
    return;
  }
  TPersistent::Assign(source);
}

std::unique_ptr<TPersistentObject> TPersistentObject::CreateClone() const {
  std::unique_ptr<TObject> made = ClassType().CreateInstance();
  auto* clone = dynamic_cast<TPersistentObject*>(made.get());
  if (clone == nullptr) return nullptr;
  made.release();
  std::unique_ptr<TPersistentObject> result(clone);
  result->Assign(this);
  return result;
}

void TPersistentObject::SaveToStream(TBinaryStream& stream, TVirtualWriterClass writerClass) const {
  std::unique_ptr<TVirtualWriter> writer = (writerClass != nullptr ? writerClass : &CreateBinaryWriter)(stream);
  const std::string signature = FileSignature();
  if (!signature.empty()) writer->Write(signature.data(), static_cast<int32_t>(signature.size()));
  WriteToFiler(*writer);
}

void TPersistentObject::LoadFromStream(TBinaryStream& stream, TVirtualReaderClass readerClass) {
  std::unique_ptr<TVirtualReader> reader = (readerClass != nullptr ? readerClass : &CreateBinaryReader)(stream);
  const std::string signature = FileSignature();
  if (!signature.empty()) {
    // A stream shorter than the signature is not that kind of file either.
    if (static_cast<int64_t>(signature.size()) > reader->Remaining()) throw EInvalidFileSignature("Invalid file signature");
    std::string found(signature.size(), '\0');
    reader->Read(found.data(), static_cast<int32_t>(found.size()));
    if (found != signature) throw EInvalidFileSignature("Invalid file signature");
  }
  ReadFromFiler(*reader);
}

void TPersistentObject::SaveToFile(const std::string& fileName, TVirtualWriterClass writerClass) const {
  std::string error;
  std::unique_ptr<TSaveFile> file = TSaveFile::Create(fileName, &error);
  if (!file) throw EWriteError(fileName + ": " + (error.empty() ? kStreamWriteError : error));
  try {
    SaveToStream(file->Stream(), writerClass != nullptr ? writerClass : DefaultWriter());
  } catch (const EWriteError& e) {
    throw EWriteError(fileName + ": " + file->FailureReason(e.what()));
  }
  if (!file->Commit(&error)) throw EWriteError(fileName + ": " + (error.empty() ? kStreamWriteError : error));
}

void TPersistentObject::LoadFromFile(const std::string& fileName, TVirtualReaderClass readerClass) {
  std::unique_ptr<TBinaryStream> stream = CreateFileStream(fileName, TFileStreamMode::fmOpenRead);
  LoadFromStream(*stream, readerClass != nullptr ? readerClass : DefaultReader());
}

std::string TPersistentObject::SaveToString(TVirtualWriterClass writerClass) const {
  TMemoryStream buffer;
  SaveToStream(buffer, writerClass);
  const std::vector<uint8_t>& data = buffer.Data();
  return std::string(data.begin(), data.end());
}

void TPersistentObject::LoadFromString(const std::string& data, TVirtualReaderClass readerClass) {
  if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EReadError(kStreamReadError);
  TMemoryStream buffer(data.data(), data.size());
  LoadFromStream(buffer, readerClass);
}

void TPersistentObject::RaiseFilerException(int32_t archiveVersion) const {
  qira::RaiseFilerException(ClassType(), archiveVersion);
}

void RaiseFilerException(const TClassInfo& cls, int32_t archiveVersion) {
  throw EFilerException(std::string(cls.ClassName()) + " : unknown archive version " + std::to_string(archiveVersion));
}

// [SECTION] The object list

TPersistentObjectList::~TPersistentObjectList() { Clear(); }

void TPersistentObjectList::Error() const { throw EListError("Invalid list index"); }

void TPersistentObjectList::Grow() {
  // The capacity told grows by the delta; the storage is left to grow as a vector
  // does, by a share of its size, so a list read from an archive is not moved whole
  // every few items.
  if (Count() == capacity_) capacity_ += growthDelta_;
}

int TPersistentObjectList::Add(TObject* item) {
  Grow();
  items_.push_back(item);
  return Count() - 1;
}

int TPersistentObjectList::AddOwned(std::unique_ptr<TObject> item) {
  TObject* raw = item.get();
  owned_.push_back(std::move(item));
  return Add(raw);
}

void TPersistentObjectList::Insert(int index, TObject* item) {
  if (index < 0 || index > Count()) Error();
  Grow();
  items_.insert(items_.begin() + index, item);
}

void TPersistentObjectList::Delete(int index) {
  if (index < 0 || index >= Count()) Error();
  items_.erase(items_.begin() + index);
}

int TPersistentObjectList::Remove(TObject* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

int TPersistentObjectList::IndexOf(const TObject* item) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i] == item) return static_cast<int>(i);
  }
  return -1;
}

TObject* TPersistentObjectList::GetItem(int index) const {
  if (index < 0 || index >= Count()) Error();
  return items_[static_cast<size_t>(index)];
}

void TPersistentObjectList::PutItem(int index, TObject* item) {
  if (index < 0 || index >= Count()) Error();
  items_[static_cast<size_t>(index)] = item;
}

void TPersistentObjectList::Exchange(int index1, int index2) {
  if (index1 < 0 || index1 >= Count() || index2 < 0 || index2 >= Count()) Error();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

TObject* TPersistentObjectList::Pop() {
  if (items_.empty()) return nullptr;
  TObject* last = items_.back();
  items_.pop_back();
  return last;
}

void TPersistentObjectList::SetCapacity(int capacity) {
  if (capacity < 0) Error();
  if (capacity == capacity_) return;
  if (Count() > capacity) items_.resize(static_cast<size_t>(capacity));
  capacity_ = capacity;
  items_.shrink_to_fit();
  items_.reserve(static_cast<size_t>(capacity_));
}

void TPersistentObjectList::SetCount(int count) {
  if (count < 0) Error();
  if (count > capacity_) SetCapacity(count);
  items_.resize(static_cast<size_t>(count), nullptr);
}

bool TPersistentObjectList::Owns(const TObject* item) const {
  if (item == nullptr) return false;
  for (const auto& p : owned_) {
    if (p.get() == item) return true;
  }
  return false;
}

std::unique_ptr<TObject> TPersistentObjectList::ReleaseOwned(TObject* item) {
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    if (it->get() == item) {
      std::unique_ptr<TObject> taken = std::move(*it);
      owned_.erase(it);
      return taken;
    }
  }
  return nullptr;
}

void TPersistentObjectList::FreeItems() {
  // An item's destructor may change the list: re-check the index each step.
  for (int i = Count() - 1; i >= 0; --i) {
    if (i >= Count()) continue;
    TObject* item = items_[static_cast<size_t>(i)];
    std::unique_ptr<TObject> taken = ReleaseOwned(item);
    if (taken) {
      for (TObject*& slot : items_) {
        if (slot == item) slot = nullptr;
      }
      taken.reset();
    }
  }
}

void TPersistentObjectList::Clear() {
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
}

void TPersistentObjectList::Clean() {
  FreeItems();
  Clear();
  // Objects that left their slots earlier (Delete, Pop) go now as well.
  while (!owned_.empty()) {
    std::unique_ptr<TObject> last = std::move(owned_.back());
    owned_.pop_back();
  }
}

void TPersistentObjectList::CleanFree(std::unique_ptr<TPersistentObjectList>& list) {
  if (!list) return;
  list->Clean();
  list.reset();
}

namespace {

// Depth of object lists being written inside each other: a list that holds
// itself would otherwise recurse without end.
thread_local int writeNesting = 0;

struct WriteNestingGuard {
  WriteNestingGuard() {
    if (writeNesting >= TVirtualReader::MaxNesting) throw EWriteError(kStreamWriteError);
    ++writeNesting;
  }
  ~WriteNestingGuard() { --writeNesting; }
};

struct ReadNestingGuard {
  explicit ReadNestingGuard(TVirtualReader& r) : reader(r) { reader.EnterNested(); }
  ~ReadNestingGuard() { reader.LeaveNested(); }
  TVirtualReader& reader;
};

}  // namespace

void TPersistentObjectList::WriteToFiler(TVirtualWriter& writer) const {
  WriteNestingGuard guard;
  TPersistentObject::WriteToFiler(writer);
  writer.WriteInteger(0);
  writer.WriteListBegin();
  std::vector<const TClassInfo*> classes;
  for (const TObject* item : items_) {
    const auto* persistent = dynamic_cast<const TPersistentObject*>(item);
    if (persistent == nullptr) {
      // Null, or an object that cannot store itself: its address means nothing
      // to a reader, so a null reference is stored.
      writer.WriteBoolean(false);
      writer.WriteInteger(0);
      continue;
    }
    const TClassInfo* cls = &persistent->ClassType();
    size_t index = 0;
    while (index < classes.size() && classes[index] != cls) ++index;
    if (index == classes.size()) {
      writer.WriteString(cls->ClassName());
      classes.push_back(cls);
    } else {
      writer.WriteInteger(static_cast<int32_t>(index));
    }
    persistent->WriteToFiler(writer);
  }
  writer.WriteListEnd();
}

void TPersistentObjectList::ReadFromFiler(TVirtualReader& reader) {
  ReadFromFilerWithEvent(reader, [this](TObject& object) { AfterObjectCreatedByReader(object); });
}

void TPersistentObjectList::ReadFromFilerWithEvent(TVirtualReader& reader,
                                                   const std::function<void(TObject& object)>& afterObjectCreated) {
  ReadNestingGuard guard(reader);
  Clear();
  TPersistentObject::ReadFromFiler(reader);
  const int32_t version = reader.ReadInteger();
  if (version != 0) RaiseFilerException(version);
  reader.ReadListBegin();
  std::vector<const TClassInfo*> classes;
  auto readItem = [&](const TClassInfo& cls) {
    std::unique_ptr<TObject> made = cls.CreateInstance();
    auto* persistent = dynamic_cast<TPersistentObject*>(made.get());
    if (persistent == nullptr) throw Exception(kBrokenArchive);
    if (afterObjectCreated) afterObjectCreated(*made);
    persistent->ReadFromFiler(reader);
    AddOwned(std::move(made));
  };
  while (!reader.EndOfList()) {
    switch (reader.NextValue()) {
      case TArchiveValueType::vaFalse:
      case TArchiveValueType::vaTrue:
        reader.ReadBoolean();
        // A stored reference is an address of the writing process: never
        // turned back into a pointer.
        reader.ReadInteger();
        Add(nullptr);
        break;
      case TArchiveValueType::vaString:
      case TArchiveValueType::vaLString:
      case TArchiveValueType::vaWString:
      case TArchiveValueType::vaUTF8String: {
        const TClassInfo& cls = FindClass(reader.ReadString());
        if (!cls.InheritsFrom(TPersistentObject::StaticClass())) throw Exception(kBrokenArchive);
        classes.push_back(&cls);
        readItem(cls);
        break;
      }
      case TArchiveValueType::vaInt8:
      case TArchiveValueType::vaInt16:
      case TArchiveValueType::vaInt32: {
        const int32_t index = reader.ReadInteger();
        if (index < 0 || static_cast<size_t>(index) >= classes.size()) throw Exception(kBrokenArchive);
        readItem(*classes[static_cast<size_t>(index)]);
        break;
      }
      default:
        throw Exception(kBrokenArchive);
    }
  }
  reader.ReadListEnd();
}

// [SECTION] File streams

bool FileStreamExists(const std::string& fileName) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::u8path(fileName), ec);
}

std::unique_ptr<TBinaryStream> CreateFileStream(const std::string& fileName, TFileStreamMode mode) {
  if (mode != TFileStreamMode::fmCreate && !FileStreamExists(fileName)) {
    throw Exception("File not found: \"" + fileName + "\"");
  }
  TBinaryFile::Mode fileMode = TBinaryFile::Mode::Read;
  if (mode == TFileStreamMode::fmCreate) fileMode = TBinaryFile::Mode::Create;
  if (mode == TFileStreamMode::fmOpenReadWrite) fileMode = TBinaryFile::Mode::ReadWrite;
  std::string error;
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(fileName, fileMode, &error);
  if (!file) throw Exception(CannotFileText(mode == TFileStreamMode::fmCreate ? "create" : "open", fileName, error));
  return file;
}

// [SECTION] Registration

void RegisterPersistenceClasses() { RegisterClass(TPersistentObjectList::StaticClass()); }

}  // namespace qira

#pragma once
// The building blocks of the workbook writer: its error type with the fixed
// messages, hash tables keyed by byte strings, 8-bit string lists, a pointer
// stack, text conversions between the library-wide code page and UTF-16, cell
// and range references in A1 notation, coordinate and rectangle lists, and a
// memory stream with typed writes.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   errors
//   library-wide settings
//   hash tables
//   string lists
//   stack
//   stream
//   text
//   A1 references
//   coordinates and rectangles
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/LibraryErrors.h"

namespace qira {

// [SECTION] errors

// The error codes; their messages are the table in XlsSupport.cpp, in this order.
namespace xlserr {
inline constexpr uint8_t kBufferTooSmall = 1;      // "Buffer size is too small."
inline constexpr uint8_t kStreamNotFound = 2;      // "Stream not found: %s. ..."
inline constexpr uint8_t kInvalidCellValue = 3;    // "Invalid cell value or type."
inline constexpr uint8_t kInvalidCellProperty = 4; // "Invalid cell property value."
inline constexpr uint8_t kInvalidRowOrColumn = 5;  // "Invalid row or column number."
inline constexpr uint8_t kInvalidSheetName = 6;    // "Invalid or duplicated sheet name."
inline constexpr uint8_t kSheetNameLength = 7;     // "Sheet name must have a length 1..255."
inline constexpr uint8_t kInvalidFormula = 8;      // "Invalid formula."
inline constexpr uint8_t kInvalidFunction = 9;     // "Invalid function in formula: %s."
inline constexpr uint8_t kStringConstantLength = 10;  // "String constants in formula must have a length 0..255."
inline constexpr uint8_t kInvalidRangeName = 11;   // "Invalid range name: %s."
inline constexpr uint8_t kNoSheets = 12;           // "There are no sheets in the workbook."
inline constexpr uint8_t kFormulaNotRecognized = 13;  // "Formula not recognized."
inline constexpr uint8_t kLinkTable = 14;          // "Invalid data. Error in link table."
inline constexpr uint8_t kDrawingStream = 15;      // "Invalid data. Error in drawing stream."
inline constexpr uint8_t kHyperlink = 16;          // "Invalid data. Error in hyperlink."
}  // namespace xlserr

// The message of an error code 1..16; empty for any other code.
std::string XLSErrorMessage(uint8_t code);

// The writer's one failure type: a code and the fixed message of that code.
class EXLSError : public std::runtime_error {
 public:
  // The message as it is.
  explicit EXLSError(uint8_t code);
  // The message as a format string: each "%s" takes the next argument in turn
  // (an argument that is missing gives nothing).
  EXLSError(uint8_t code, const std::vector<std::string>& args);
  // prefix + " " + message (the prefix alone for a code without a message).
  EXLSError(const std::string& prefix, uint8_t code);

  uint8_t Code() const { return code_; }

 private:
  uint8_t code_;
};

// EListError (platform/LibraryErrors.h) for an index outside a list:
// "List index (" + index + ") out of bounds" (with " !" appended by the sheet list).
[[noreturn]] void RaiseListIndexError(int64_t index, bool withMark = false);

// [SECTION] library-wide settings

// The code page of every 8-bit string of the library. Supported: 1252 (the
// default, the system's ANSI code page here), 28591 (Latin-1), 20127 (US-ASCII)
// and 65001 (UTF-8); text in any other code page does not convert (empty result).
uint32_t XLSCodePage();
void SetXLSCodePage(uint32_t codePage);

// The separator the formula parser accepts between function arguments (',').
char XLSListSeparator();
void SetXLSListSeparator(char separator);

// The screen's vertical dots per inch that column widths and row heights follow
// (96 unless set).
int XLSScreenPixelsPerInch();
void SetXLSScreenPixelsPerInch(int dotsPerInch);

// The name of a new font record ("Arial").
const std::u16string& XLSDefaultFontName();

// [SECTION] hash tables

// The bucket hash of a key: CRC-32 (reflected polynomial 0xEDB88320) of the key
// bytes started from 0x0FFFFFFF, without the final inversion.
uint32_t XLSKeyHash(std::string_view key);

// A fixed array of buckets holding int32 entries (list positions); an entry's
// key is asked from the key function. Buckets are allocated on first use.
class TCustomHashTable {
 public:
  // Writes the key of an entry into the second argument.
  using TKeyFunction = std::function<void(int32_t, std::string&)>;

  // A bucket count of 0 raises std::invalid_argument "Bad hash table size !".
  TCustomHashTable(uint32_t bucketCount, TKeyFunction keyOf);
  virtual ~TCustomHashTable() = default;
  TCustomHashTable(const TCustomHashTable&) = delete;
  TCustomHashTable& operator=(const TCustomHashTable&) = delete;

  // The first entry of the key's bucket whose key equals key byte for byte, or
  // -1; sets Found().
  int32_t Find(std::string_view key);
  void GetKey(int32_t entry, std::string& key) const { keyOf_(entry, key); }
  // Appends entry to the bucket of its key.
  void Insert(int32_t entry);
  // Deletes entry from the bucket of its key (nothing when absent).
  void Remove(int32_t entry);

  bool Found() const { return found_; }
  // Starts at the count given at creation and grows with the entries, so a
  // bucket holds about two of them whatever the table's size.
  uint32_t BucketCount() const { return bucketCount_; }
  uint32_t BucketOf(std::string_view key) const { return XLSKeyHash(key) % BucketCount(); }

 private:
  // Chains in pooled nodes, each bucket in insertion order; the key's hash is
  // kept so growing and a miss on a full bucket need no key.
  struct TNode {
    int32_t entry;
    int32_t next;
    uint32_t hash;
  };
  static constexpr int32_t kNone = -1;
  void Grow();
  void Link(int32_t node);

  uint32_t bucketCount_;
  // Empty until the first entry: a sheet's collections that stay empty cost nothing.
  std::vector<int32_t> heads_;
  std::vector<int32_t> tails_;
  std::vector<TNode> nodes_;
  int32_t free_ = kNone;
  uint32_t count_ = 0;
  TKeyFunction keyOf_;
  bool found_ = false;
  std::string scratch_;
};

// The table used with a key function given at creation.
class THashTable : public TCustomHashTable {
 public:
  using TCustomHashTable::TCustomHashTable;
};

// An ordered list of owned items plus a hash of their positions. Items are only
// appended; their keys must not change once they are in the list.
template <class T>
class THashedList : public THashTable {
 public:
  using TItemKey = std::function<void(const T&, std::string&)>;

  THashedList(uint32_t bucketCount, TItemKey itemKey)
      : THashTable(bucketCount, [this](int32_t pos, std::string& key) { itemKey_(*items_[pos], key); }),
        itemKey_(std::move(itemKey)) {}

  // Appends item and hashes its position; returns the position.
  int32_t Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    const auto pos = static_cast<int32_t>(items_.size() - 1);
    Insert(pos);
    return pos;
  }
  // The item with key, or null.
  T* Find(std::string_view key) {
    const int32_t pos = THashTable::Find(key);
    return pos < 0 ? nullptr : items_[pos].get();
  }
  int32_t IndexOf(std::string_view key) { return THashTable::Find(key); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises EListError outside 0..Count-1.
  T& Item(int32_t pos) const {
    if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
    return *items_[pos];
  }

 private:
  std::vector<std::unique_ptr<T>> items_;
  TItemKey itemKey_;
};

// [SECTION] string lists

// A list of 8-bit strings.
class TAnsiStringList {
 public:
  int32_t Add(std::string s);
  int32_t Count() const { return static_cast<int32_t>(strings_.size()); }
  // Raises EListError outside 0..Count-1.
  const std::string& Strings(int32_t pos) const;
  // The first exactly equal string, or -1.
  int32_t IndexOf(std::string_view s) const;
  // Ascending by byte-wise comparison.
  void Sort();

 private:
  std::vector<std::string> strings_;
};

// A string list with a hash of its positions keyed by the strings.
class THashedStringList {
 public:
  explicit THashedStringList(uint32_t bucketCount);
  // Appends s (also when an equal string is present); returns its position.
  int32_t Add(std::string s);
  // The position of an equal string, or -1; sets Found().
  int32_t IndexOf(std::string_view s) { return hash_.Find(s); }
  int32_t Count() const { return list_.Count(); }
  const std::string& Strings(int32_t pos) const { return list_.Strings(pos); }
  bool Found() const { return hash_.Found(); }

 private:
  TAnsiStringList list_;
  THashTable hash_;
};

// [SECTION] stack

// A stack of non-owning pointers, as the formula parser uses it.
template <class T>
class TStack {
 public:
  void Push(T* p) { items_.push_back(p); }
  // Null when empty.
  T* Pop() {
    if (items_.empty()) return nullptr;
    T* p = items_.back();
    items_.pop_back();
    return p;
  }
  T* Peek() const { return items_.empty() ? nullptr : items_.back(); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

 private:
  std::vector<T*> items_;
};
template <class T>
using TOrderedList = TStack<T>;

// [SECTION] stream

// A memory stream with little-endian typed writes.
class TEasyStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  bool WriteByte(uint8_t v) { return WriteUInt8(v); }
  bool WriteWord(uint16_t v);
  bool WriteDWord(uint32_t v) { return WriteUInt32(v); }
  bool WriteBuffer(const void* buf, int32_t n) { return Write(buf, n); }
  // Reads n bytes into s; false (nothing consumed) when fewer remain.
  bool ReadString(std::string& s, int32_t n);
  int32_t BytesRemaining() const { return Remaining(); }
};

// [SECTION] text

// 8-bit text (library code page) to UTF-16; empty when unconvertible.
std::u16string AnsiToWide(std::string_view bytes);
// The same as UTF-16LE bytes, no terminator.
std::string AnsiToUtf16Bytes(std::string_view bytes);
std::string WideToUtf16Bytes(std::u16string_view text);
// Two bytes per character; an odd last byte is dropped.
std::u16string Utf16BytesToWide(std::string_view bytes);
// Byte 0 + the 8-bit bytes when every character's high byte is 0, else byte 1 +
// the UTF-16 bytes.
std::string SharedStringBytes(std::string_view bytes);

// UTF-8 inside the program, UTF-16 in the workbook. Malformed UTF-8 becomes U+FFFD;
// a lone surrogate becomes U+FFFD in UTF-8.
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view text);

// Every occurrence of from, left to right, case-sensitive, without rescanning the
// replacement. An empty from changes nothing.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to);

// Character-wise case conversion of 8-bit text in Windows-1252 (zero bytes stay).
std::string XLSUpperCase(std::string_view text);
std::string XLSLowerCase(std::string_view text);

// The error values of cells: #NULL!, #DIV/0!, #VALUE!, #REF!, #NAME?, #NUM!, #N/A.
inline bool IsXLSErrorCode(uint8_t code) {
  return code == 0x00 || code == 0x07 || code == 0x0F || code == 0x17 || code == 0x1D || code == 0x24 || code == 0x2A;
}

inline bool IsValidRow(int64_t row) { return row >= 0 && row <= 65535; }
inline bool IsValidColumn(int64_t col) { return col >= 0 && col <= 255; }

// [SECTION] A1 references

// A cell position; Flags bit 0 absolute column, bit 1 absolute row.
struct TCellRef {
  uint16_t Row = 0;
  uint8_t Col = 0;
  uint8_t Flags = 0;
};

// A rectangle; Flags bits 0-1 the first cell's flags, bits 2-3 the last cell's.
struct TRangeRect {
  uint16_t Row1 = 0;
  uint16_t Row2 = 0;
  uint8_t Col1 = 0;
  uint8_t Col2 = 0;
  uint8_t Flags = 0;
  bool operator==(const TRangeRect&) const = default;
};

// "A" = 0 .. "IV" = 255 (letters in either case). False for empty text, any
// other character, or a column beyond 255.
bool ColumnLettersToIndex(std::string_view letters, int& col);
// [$]letters[$]digits with the row from 1 to 65536. False otherwise.
bool ParseCellRef(std::string_view text, TCellRef& ref);
// cell[:cell]; without ":" the one cell is both ends.
bool ParseRangeRef(std::string_view text, TRangeRect& rect);

// [SECTION] coordinates and rectangles

// Cell positions packed as row in the low 16 bits, column in bits 16-23.
class TCellCoords {
 public:
  static uint32_t Pack(uint16_t row, uint8_t col) { return row | (static_cast<uint32_t>(col) << 16); }
  // EXLSError 5 for a row outside 0..65535 or a column outside 0..255 (no wrapping).
  int32_t Add(int32_t row, int32_t col);
  int32_t Count() const { return static_cast<int32_t>(coords_.size()); }
  // Raises EListError outside 0..Count-1.
  uint32_t Item(int32_t pos) const;

 private:
  std::vector<uint32_t> coords_;
};

class TRangeRects {
 public:
  // A rectangle added by its coordinates has flags 0 (relative references).
  // EXLSError 5 for a row or column outside the sheet (no wrapping).
  int32_t Add(int32_t row1, int32_t row2, int32_t col1, int32_t col2);
  int32_t Add(const TRangeRect& rect);
  void AddAll(const TRangeRects& other);
  int32_t Count() const { return static_cast<int32_t>(rects_.size()); }
  // Raises EListError outside 0..Count-1.
  const TRangeRect& Item(int32_t pos) const;

 private:
  std::vector<TRangeRect> rects_;
};

}  // namespace qira

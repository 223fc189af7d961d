// Sections (each begins at a line "// [SECTION] <name>"):
//   errors
//   library-wide settings
//   hash tables
//   string lists
//   stream
//   text
//   A1 references
//   coordinates and rectangles
#include "xls/XlsSupport.h"

#include <algorithm>
#include <array>

#include "platform/CodePage.h"
#include "platform/TextReplace.h"

namespace qira {

// [SECTION] errors

namespace {

constexpr std::array<const char*, 16> kErrorMessages = {
    "Buffer size is too small.",
    "Stream not found: %s. File format is not Excel 97 or higher.",
    "Invalid cell value or type.",
    "Invalid cell property value.",
    "Invalid row or column number.",
    "Invalid or duplicated sheet name.",
    "Sheet name must have a length 1..255.",
    "Invalid formula.",
    "Invalid function in formula: %s.",
    "String constants in formula must have a length 0..255.",
    "Invalid range name: %s.",
    "There are no sheets in the workbook.",
    "Formula not recognized.",
    "Invalid data. Error in link table.",
    "Invalid data. Error in drawing stream.",
    "Invalid data. Error in hyperlink.",
};

std::string FormatMessage(const std::string& format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < args.size()) out += args[next];
      ++next;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace

std::string XLSErrorMessage(uint8_t code) {
  if (code < 1 || code > kErrorMessages.size()) return {};
  return kErrorMessages[code - 1];
}

EXLSError::EXLSError(uint8_t code) : std::runtime_error(XLSErrorMessage(code)), code_(code) {}

EXLSError::EXLSError(uint8_t code, const std::vector<std::string>& args)
    : std::runtime_error(FormatMessage(XLSErrorMessage(code), args)), code_(code) {}

EXLSError::EXLSError(const std::string& prefix, uint8_t code)
    : std::runtime_error(XLSErrorMessage(code).empty() ? prefix : prefix + " " + XLSErrorMessage(code)),
      code_(code) {}

void RaiseListIndexError(int64_t index, bool withMark) {
  throw EListError("List index (" + std::to_string(index) + ") out of bounds" + (withMark ? " !" : ""));
}

// [SECTION] library-wide settings

namespace {
uint32_t gCodePage = 1252;
char gListSeparator = ',';
int gPixelsPerInch = 96;
}  // namespace

uint32_t XLSCodePage() { return gCodePage; }
void SetXLSCodePage(uint32_t codePage) { gCodePage = codePage; }
char XLSListSeparator() { return gListSeparator; }
void SetXLSListSeparator(char separator) { gListSeparator = separator; }
int XLSScreenPixelsPerInch() { return gPixelsPerInch; }
void SetXLSScreenPixelsPerInch(int dotsPerInch) { gPixelsPerInch = dotsPerInch; }

const std::u16string& XLSDefaultFontName() {
  static const std::u16string name = u"Arial";
  return name;
}

// [SECTION] hash tables

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t XLSKeyHash(std::string_view key) {
  // Seven F, not eight, and no final inversion: the buckets of stored keys follow it.
  uint32_t crc = 0x0FFFFFFFu;
  for (unsigned char b : key) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

TCustomHashTable::TCustomHashTable(uint32_t bucketCount, TKeyFunction keyOf)
    : bucketCount_(bucketCount), keyOf_(std::move(keyOf)) {
  if (bucketCount == 0) throw std::invalid_argument("Bad hash table size !");
}

int32_t TCustomHashTable::Find(std::string_view key) {
  found_ = false;
  if (heads_.empty()) return -1;
  const uint32_t hash = XLSKeyHash(key);
  for (int32_t n = heads_[hash % BucketCount()]; n != kNone; n = nodes_[n].next) {
    if (nodes_[n].hash != hash) continue;
    keyOf_(nodes_[n].entry, scratch_);
    if (scratch_ == key) {
      found_ = true;
      return nodes_[n].entry;
    }
  }
  return -1;
}

void TCustomHashTable::Link(int32_t node) {
  const uint32_t bucket = nodes_[node].hash % BucketCount();
  nodes_[node].next = kNone;
  if (tails_[bucket] == kNone) heads_[bucket] = node;
  else nodes_[tails_[bucket]].next = node;
  tails_[bucket] = node;
}

void TCustomHashTable::Grow() {
  // Walking the old buckets in order keeps entries of equal keys in insertion
  // order, so Find still returns the first one inserted.
  const uint64_t grown = uint64_t{BucketCount()} * 2 + 1;
  const std::vector<int32_t> oldHeads = std::move(heads_);
  const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(grown, 0x7FFFFFFF));
  bucketCount_ = count;
  heads_.assign(count, kNone);
  tails_.assign(count, kNone);
  for (int32_t head : oldHeads) {
    for (int32_t n = head; n != kNone;) {
      const int32_t next = nodes_[n].next;
      Link(n);
      n = next;
    }
  }
}

void TCustomHashTable::Insert(int32_t entry) {
  if (heads_.empty()) {
    heads_.assign(bucketCount_, kNone);
    tails_.assign(bucketCount_, kNone);
  }
  keyOf_(entry, scratch_);
  int32_t node = free_;
  if (node != kNone) {
    free_ = nodes_[node].next;
  } else {
    node = static_cast<int32_t>(nodes_.size());
    nodes_.push_back({});
  }
  nodes_[node].entry = entry;
  nodes_[node].hash = XLSKeyHash(scratch_);
  Link(node);
  ++count_;
  if (count_ / 2 > BucketCount() && BucketCount() < 0x7FFFFFFF) Grow();
}

void TCustomHashTable::Remove(int32_t entry) {
  if (heads_.empty()) return;
  keyOf_(entry, scratch_);
  const uint32_t hash = XLSKeyHash(scratch_);
  const uint32_t bucket = hash % BucketCount();
  int32_t previous = kNone;
  for (int32_t n = heads_[bucket]; n != kNone; previous = n, n = nodes_[n].next) {
    if (nodes_[n].entry != entry) continue;
    const int32_t next = nodes_[n].next;
    if (previous == kNone) heads_[bucket] = next;
    else nodes_[previous].next = next;
    if (tails_[bucket] == n) tails_[bucket] = previous;
    nodes_[n].next = free_;
    free_ = n;
    --count_;
    return;
  }
}

// [SECTION] string lists

int32_t TAnsiStringList::Add(std::string s) {
  strings_.push_back(std::move(s));
  return Count() - 1;
}

const std::string& TAnsiStringList::Strings(int32_t pos) const {
  if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
  return strings_[pos];
}

int32_t TAnsiStringList::IndexOf(std::string_view s) const {
  for (size_t i = 0; i < strings_.size(); ++i)
    if (strings_[i] == s) return static_cast<int32_t>(i);
  return -1;
}

void TAnsiStringList::Sort() { std::sort(strings_.begin(), strings_.end()); }

THashedStringList::THashedStringList(uint32_t bucketCount)
    : hash_(bucketCount, [this](int32_t pos, std::string& key) { key = list_.Strings(pos); }) {}

int32_t THashedStringList::Add(std::string s) {
  const int32_t pos = list_.Add(std::move(s));
  hash_.Insert(pos);
  return pos;
}

// [SECTION] stream

bool TEasyStream::WriteWord(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
  return Write(b, 2);
}

bool TEasyStream::ReadString(std::string& s, int32_t n) {
  if (n < 0 || n > Remaining()) return false;
  std::string buf(static_cast<size_t>(n), '\0');
  if (!Read(buf.data(), n)) return false;
  s = std::move(buf);
  return true;
}

// [SECTION] text

namespace {

void AppendUtf16(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Decodes UTF-8; malformed sequences give U+FFFD or, when strict, fail.
bool DecodeUtf8(std::string_view s, std::u16string& out, bool strict) {
  out.clear();
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    const size_t len = Utf8SequenceAt(s, i, cp);
    if (len == 0) {
      if (strict) return false;
      out += u'\uFFFD';
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += len;
  }
  return true;
}

}  // namespace

std::u16string AnsiToWide(std::string_view bytes) {
  std::u16string out;
  switch (XLSCodePage()) {
    case 1252:
      DecodeUtf8(Cp1252ToUtf8(bytes), out, false);
      return out;
    case 28591:
      for (unsigned char b : bytes) out += static_cast<char16_t>(b);
      return out;
    case 20127:
      for (unsigned char b : bytes) {
        if (b > 0x7F) return {};
        out += static_cast<char16_t>(b);
      }
      return out;
    case 65001:
      if (!DecodeUtf8(bytes, out, true)) return {};
      return out;
    default:
      return {};
  }
}

std::string WideToUtf16Bytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string AnsiToUtf16Bytes(std::string_view bytes) { return WideToUtf16Bytes(AnsiToWide(bytes)); }

std::u16string Utf16BytesToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return out;
}

std::string SharedStringBytes(std::string_view bytes) {
  const std::u16string wide = AnsiToWide(bytes);
  const bool compressed = std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x100; });
  if (compressed) return std::string(1, '\0') + std::string(bytes);
  return std::string(1, '\1') + WideToUtf16Bytes(wide);
}

std::u16string Utf8ToWide(std::string_view utf8) {
  std::u16string out;
  DecodeUtf8(utf8, out, false);
  return out;
}

std::string WideToUtf8(std::u16string_view text) { return Utf16ToUtf8(text); }

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
  return ReplaceEach(text, from, to);
}

namespace {

// Windows-1252 letters: ASCII, the Latin-1 block (except the multiplication and
// division signs and the sharp s) and the pairs of the 0x80..0x9F block.
unsigned char UpperByte(unsigned char b) {
  if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 32);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<unsigned char>(b - 32);
  if (b == 0x9A || b == 0x9C || b == 0x9E) return static_cast<unsigned char>(b - 16);
  if (b == 0xFF) return 0x9F;
  return b;
}

unsigned char LowerByte(unsigned char b) {
  if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + 32);
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<unsigned char>(b + 32);
  if (b == 0x8A || b == 0x8C || b == 0x8E) return static_cast<unsigned char>(b + 16);
  if (b == 0x9F) return 0xFF;
  return b;
}

}  // namespace

std::string XLSUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(UpperByte(static_cast<unsigned char>(c)));
  return out;
}

std::string XLSLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(LowerByte(static_cast<unsigned char>(c)));
  return out;
}

// [SECTION] A1 references

bool ColumnLettersToIndex(std::string_view letters, int& col) {
  if (letters.empty()) return false;
  int value = 0;
  for (char ch : letters) {
    const char c = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
    if (c < 'A' || c > 'Z') return false;
    value = value * 26 + (c - 'A' + 1);
    // Beyond the last column: stop before the value can overflow.
    if (value - 1 > 255) return false;
  }
  col = value - 1;
  return true;
}

bool ParseCellRef(std::string_view text, TCellRef& ref) {
  size_t i = 0;
  uint8_t flags = 0;
  if (i < text.size() && text[i] == '$') {
    flags |= 1;
    ++i;
  }
  const size_t lettersStart = i;
  while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
  int col = 0;
  if (!ColumnLettersToIndex(text.substr(lettersStart, i - lettersStart), col)) return false;
  if (i < text.size() && text[i] == '$') {
    flags |= 2;
    ++i;
  }
  const std::string_view digits = text.substr(i);
  if (digits.empty() || digits.size() > 5) return false;
  int row = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    row = row * 10 + (c - '0');
  }
  if (row < 1 || row > 65536) return false;
  ref.Row = static_cast<uint16_t>(row - 1);
  ref.Col = static_cast<uint8_t>(col);
  ref.Flags = flags;
  return true;
}

bool ParseRangeRef(std::string_view text, TRangeRect& rect) {
  const size_t colon = text.find(':');
  TCellRef first, last;
  if (colon == std::string_view::npos) {
    if (!ParseCellRef(text, first)) return false;
    last = first;
  } else if (!ParseCellRef(text.substr(0, colon), first) || !ParseCellRef(text.substr(colon + 1), last)) {
    return false;
  }
  rect.Row1 = first.Row;
  rect.Col1 = first.Col;
  rect.Row2 = last.Row;
  rect.Col2 = last.Col;
  rect.Flags = static_cast<uint8_t>(first.Flags | (last.Flags << 2));
  return true;
}

// [SECTION] coordinates and rectangles

int32_t TCellCoords::Add(int32_t row, int32_t col) {
  if (!IsValidRow(row) || !IsValidColumn(col)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  coords_.push_back(Pack(static_cast<uint16_t>(row), static_cast<uint8_t>(col)));
  return Count() - 1;
}

uint32_t TCellCoords::Item(int32_t pos) const {
  if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
  return coords_[pos];
}

int32_t TRangeRects::Add(int32_t row1, int32_t row2, int32_t col1, int32_t col2) {
  if (!IsValidRow(row1) || !IsValidRow(row2) || !IsValidColumn(col1) || !IsValidColumn(col2))
    throw EXLSError(xlserr::kInvalidRowOrColumn);
  return Add(TRangeRect{static_cast<uint16_t>(row1), static_cast<uint16_t>(row2), static_cast<uint8_t>(col1),
                        static_cast<uint8_t>(col2), 0});
}

int32_t TRangeRects::Add(const TRangeRect& rect) {
  rects_.push_back(rect);
  return Count() - 1;
}

void TRangeRects::AddAll(const TRangeRects& other) {
  const std::vector<TRangeRect> copy = other.rects_;  // other may be this list
  rects_.insert(rects_.end(), copy.begin(), copy.end());
}

const TRangeRect& TRangeRects::Item(int32_t pos) const {
  if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
  return rects_[pos];
}

}  // namespace qira

#pragma once
// Cell formats by interning: cells, rows and columns hold an index into the
// workbook's table of distinct cell formats, and each cell format an index into
// the table of distinct fonts. Changing an attribute fetches the record, changes
// a field and interns the result, so equal formats share one index.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   records
//   interning tables
//   number formats
//   palette
//   FONT and XF packing
//   size conversions
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CanvasTypes.h"
#include "xls/XlsSupport.h"

namespace qira {

// [SECTION] records

// Palette numbers 1..56 are the workbook palette's colours; these two stand for
// the automatic colours.
inline constexpr uint8_t kAutoForeground = 57;
inline constexpr uint8_t kAutoBackground = 58;

// Border sides; kBorderAll sets all four, a side above it changes nothing.
inline constexpr uint8_t kBorderLeft = 0;
inline constexpr uint8_t kBorderRight = 1;
inline constexpr uint8_t kBorderTop = 2;
inline constexpr uint8_t kBorderBottom = 3;
inline constexpr uint8_t kBorderAll = 4;

// The 23-byte cell format (XF working record). Byte layout of Pack():
// 0-1 font index | 2-3 number format list index | 4 horizontal alignment |
// 5 vertical alignment | 6 rotation | 7 wrap | 8 fill pattern | 9 pattern colour |
// 10 fill colour | 11 merge | 12 indent | 13-16 border colours L R T B |
// 17-20 border styles L R T B | 21 style-format flag | 22 locked
struct TXFRecord {
  static constexpr int Size = 23;

  uint16_t FontIndex = 0;
  uint16_t NumberFormat = 0;  // list index, 0 = "General"
  uint8_t HorizontalAlignment = 0;
  uint8_t VerticalAlignment = 2;
  uint8_t Rotation = 0;
  uint8_t WrapText = 0;
  uint8_t FillPattern = 0;
  uint8_t PatternColor = kAutoForeground;
  uint8_t FillColor = kAutoBackground;
  uint8_t Merged = 0;
  uint8_t Indent = 0;
  std::array<uint8_t, 4> BorderColor = {kAutoBackground, kAutoBackground, kAutoBackground, kAutoBackground};
  std::array<uint8_t, 4> BorderStyle = {0, 0, 0, 0};
  uint8_t StyleFormat = 0;
  uint8_t Locked = 1;

  std::string Pack() const;
  // bytes must hold Size bytes.
  static TXFRecord Unpack(std::string_view bytes);
  bool operator==(const TXFRecord&) const = default;
};

// The 209-byte font record. Byte layout of Pack(): 0 bold | 1 italic |
// 2 underline | 3 strikeout | 4 underline kind | 5 script | 6 colour |
// 7-8 height in points | 9-208 name, 100 UTF-16LE characters, zero-padded
struct TFontRecord {
  static constexpr int Size = 209;
  static constexpr int NameLength = 100;

  uint8_t Bold = 0;
  uint8_t Italic = 0;
  uint8_t Underline = 0;
  uint8_t Strikeout = 0;
  uint8_t UnderlineKind = 0;  // 0 none, 1 single, 2 double, 3 single accounting, 4 double accounting
  uint8_t Script = 0;         // 0 normal, 1 superscript, 2 subscript
  uint8_t Color = kAutoForeground;
  uint16_t Height = 10;
  std::array<char16_t, NameLength> Name{};

  TFontRecord() { SetName(XLSDefaultFontName()); }
  // The name up to its first zero character.
  std::u16string GetName() const;
  // Zeroes the field, then copies at most NameLength characters (a longer name is cut).
  void SetName(std::u16string_view name);

  std::string Pack() const;
  static TFontRecord Unpack(std::string_view bytes);
  bool operator==(const TFontRecord&) const = default;
};

// [SECTION] interning tables

// Interns byte strings of one fixed length; an index is a position in the list.
// Records are never removed or changed in place.
class TVirtualDataTable {
 public:
  static constexpr uint32_t Buckets = 16383;

  TVirtualDataTable() : list_(Buckets) {}
  // The index of an equal record, appending it when absent.
  int32_t Add(std::string_view record);
  int32_t IndexOf(std::string_view record) { return list_.IndexOf(record); }
  // The index of a record equal to record; the lookup of reference is skipped
  // when the record differs from it.
  int32_t Intern(std::string_view reference, std::string_view record);
  int32_t Count() const { return list_.Count(); }
  // Raises EListError outside 0..Count-1.
  const std::string& Record(int32_t index) const { return list_.Strings(index); }

 private:
  THashedStringList list_;
};

// The cell formats; index 0 is the default format.
class TVirtualXFTable : public TVirtualDataTable {
 public:
  static constexpr int32_t DefaultIndex = 0;

  TVirtualXFTable();
  // Copies the record at index into the working record (the reference for the
  // next StoreRecord) and returns the working record. EListError outside the table.
  TXFRecord& GetRecord(int32_t index);
  // Interns the working record and returns its index. Callers run GetRecord,
  // change fields, then StoreRecord, with no other use of this table between.
  int32_t StoreRecord();
  TXFRecord Item(int32_t index) const { return TXFRecord::Unpack(Record(index)); }

 private:
  TXFRecord working_;
  std::string reference_;
};

// The fonts; index 0 is the default font (Arial, 10 points).
class TVirtualFontTable : public TVirtualDataTable {
 public:
  TVirtualFontTable();
  TFontRecord& GetRecord(int32_t index);
  int32_t StoreRecord();
  TFontRecord Item(int32_t index) const { return TFontRecord::Unpack(Record(index)); }

 private:
  TFontRecord working_;
  std::string reference_;
};

// [SECTION] number formats

struct TFormatString {
  uint16_t Id = 0;
  std::u16string Format;
};

// The number formats: the 36 built-ins, by list index. Cells store the list
// index; the writer replaces it by the format's id.
class TFormatStrings {
 public:
  static constexpr int32_t BuiltInCount = 36;

  TFormatStrings();
  int32_t Count() const { return static_cast<int32_t>(formats_.size()); }
  // A copy; EListError outside 0..Count-1.
  TFormatString GetFormat(int32_t index) const;
  uint16_t MaxId() const { return maxId_; }

 private:
  std::vector<TFormatString> formats_;
  uint16_t maxId_ = 0;
};

// [SECTION] palette

// A colour as RGB: system colours (0xFF000000 + n) become the platform's
// default colour of that element; other values keep their low 24 bits.
TColor XLSColorToRGB(TColor color);

// The workbook palette: the format's 56 default colours (colour indexes 8..63)
// followed by black. Palette numbers are 1-based positions.
class TXLPalette {
 public:
  TXLPalette();
  int32_t Count() const { return static_cast<int32_t>(colors_.size()); }
  // Raises EListError outside 0..Count-1.
  TColor Color(int32_t pos) const;
  // The palette number of the entry nearest to color (rounded Euclidean RGB
  // distance, the first of equals wins); 1 for an empty palette.
  uint8_t NearestColor(TColor color) const;

 private:
  std::vector<TColor> colors_;
};

// The same search over the library's fixed table of 58 entries (the palette and
// one more black), used by rich-text runs.
uint8_t NearestDefaultColor(TColor color);

// The FONT and XF colour index of a palette number: 1..56 give 8..63, 57 gives
// 64 (automatic foreground), 58 gives 65 (automatic background).
inline uint16_t ColorIndexOf(uint8_t paletteNumber) { return static_cast<uint16_t>((paletteNumber & 127) + 7); }

// [SECTION] FONT and XF packing

// FONT record data, 16 + 2n bytes for a name of n characters.
std::string PackFont(const TFontRecord& font);
// XF record data, 20 bytes. The record's font index and number format are
// written as they are: the writer has already mapped them to file values.
std::string PackXF(const TXFRecord& xf);

// [SECTION] size conversions

// The constants follow XLSScreenPixelsPerInch(): 96 gives 7 pixels per character,
// 5 extra pixels, small-width factor 0.0834, 0.75 points per pixel, default
// column 64 and row 17 pixels; any other resolution 9, 7, 0.0626, 0.6, 80, 22.
double ColumnWidthToPixels(double widthChars);
double PixelsToColumnWidth(int32_t pixels);
// The COLINFO width in 1/256 of a character, rounded halves to even.
int32_t ColumnWidthTo256ths(double widthChars);
double RowPixelsToPoints(int32_t pixels);
// The inverse of RowPixelsToPoints.
double RowPointsToPixels(double points);
int32_t DefaultColumnWidthPixels();
int32_t DefaultRowHeightPixels();

}  // namespace qira

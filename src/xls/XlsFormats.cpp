// Sections (each begins at a line "// [SECTION] <name>"):
//   records
//   interning tables
//   number formats
//   palette
//   FONT and XF packing
//   size conversions
#include "xls/XlsFormats.h"

#include <algorithm>
#include <cmath>

#include "platform/Rounding.h"

namespace qira {

// [SECTION] records

namespace {

void PutWord(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void PutDWord(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint8_t ByteAt(std::string_view b, size_t i) { return static_cast<uint8_t>(b[i]); }
uint16_t WordAt(std::string_view b, size_t i) {
  return static_cast<uint16_t>(ByteAt(b, i) | (ByteAt(b, i + 1) << 8));
}

}  // namespace

std::string TXFRecord::Pack() const {
  std::string out;
  out.reserve(Size);
  PutWord(out, FontIndex);
  PutWord(out, NumberFormat);
  for (uint8_t b : {HorizontalAlignment, VerticalAlignment, Rotation, WrapText, FillPattern, PatternColor,
                    FillColor, Merged, Indent})
    out += static_cast<char>(b);
  for (uint8_t b : BorderColor) out += static_cast<char>(b);
  for (uint8_t b : BorderStyle) out += static_cast<char>(b);
  out += static_cast<char>(StyleFormat);
  out += static_cast<char>(Locked);
  return out;
}

TXFRecord TXFRecord::Unpack(std::string_view b) {
  TXFRecord r;
  if (b.size() < static_cast<size_t>(Size)) return r;
  r.FontIndex = WordAt(b, 0);
  r.NumberFormat = WordAt(b, 2);
  r.HorizontalAlignment = ByteAt(b, 4);
  r.VerticalAlignment = ByteAt(b, 5);
  r.Rotation = ByteAt(b, 6);
  r.WrapText = ByteAt(b, 7);
  r.FillPattern = ByteAt(b, 8);
  r.PatternColor = ByteAt(b, 9);
  r.FillColor = ByteAt(b, 10);
  r.Merged = ByteAt(b, 11);
  r.Indent = ByteAt(b, 12);
  for (size_t i = 0; i < 4; ++i) r.BorderColor[i] = ByteAt(b, 13 + i);
  for (size_t i = 0; i < 4; ++i) r.BorderStyle[i] = ByteAt(b, 17 + i);
  r.StyleFormat = ByteAt(b, 21);
  r.Locked = ByteAt(b, 22);
  return r;
}

std::u16string TFontRecord::GetName() const {
  std::u16string name;
  for (char16_t c : Name) {
    if (c == 0) break;
    name += c;
  }
  return name;
}

void TFontRecord::SetName(std::u16string_view name) {
  Name.fill(0);
  for (size_t i = 0; i < name.size() && i < Name.size(); ++i) Name[i] = name[i];
}

std::string TFontRecord::Pack() const {
  std::string out;
  out.reserve(Size);
  for (uint8_t b : {Bold, Italic, Underline, Strikeout, UnderlineKind, Script, Color}) out += static_cast<char>(b);
  PutWord(out, Height);
  for (char16_t c : Name) PutWord(out, c);
  return out;
}

TFontRecord TFontRecord::Unpack(std::string_view b) {
  TFontRecord r;
  if (b.size() < static_cast<size_t>(Size)) return r;
  r.Bold = ByteAt(b, 0);
  r.Italic = ByteAt(b, 1);
  r.Underline = ByteAt(b, 2);
  r.Strikeout = ByteAt(b, 3);
  r.UnderlineKind = ByteAt(b, 4);
  r.Script = ByteAt(b, 5);
  r.Color = ByteAt(b, 6);
  r.Height = WordAt(b, 7);
  for (size_t i = 0; i < r.Name.size(); ++i) r.Name[i] = static_cast<char16_t>(WordAt(b, 9 + 2 * i));
  return r;
}

// [SECTION] interning tables

int32_t TVirtualDataTable::Add(std::string_view record) {
  const int32_t found = list_.IndexOf(record);
  if (found >= 0) return found;
  return list_.Add(std::string(record));
}

int32_t TVirtualDataTable::Intern(std::string_view reference, std::string_view record) {
  if (record != reference) return Add(record);
  const int32_t index = IndexOf(reference);
  return index >= 0 ? index : Add(record);
}

TVirtualXFTable::TVirtualXFTable() { Add(TXFRecord().Pack()); }

TXFRecord& TVirtualXFTable::GetRecord(int32_t index) {
  reference_ = Record(index);
  working_ = TXFRecord::Unpack(reference_);
  return working_;
}

int32_t TVirtualXFTable::StoreRecord() { return Intern(reference_, working_.Pack()); }

TVirtualFontTable::TVirtualFontTable() { Add(TFontRecord().Pack()); }

TFontRecord& TVirtualFontTable::GetRecord(int32_t index) {
  reference_ = Record(index);
  working_ = TFontRecord::Unpack(reference_);
  return working_;
}

int32_t TVirtualFontTable::StoreRecord() { return Intern(reference_, working_.Pack()); }

// [SECTION] number formats

TFormatStrings::TFormatStrings() {
  static const struct {
    uint16_t id;
    const char16_t* format;
  } kBuiltIns[BuiltInCount] = {
      {0, u"General"},
      {1, u"0"},
      {2, u"0.00"},
      {3, u"#,##0"},
      {5, u"($#,##0_);($#,##0)"},
      {6, u"($#,##0_);[Red]($#,##0)"},
      {7, u"($#,##0.00_);($#,##0.00)"},
      {8, u"($#,##0.00_);[Red]($#,##0.00)"},
      {9, u"0%"},
      {10, u"0.00%"},
      {11, u"0.00E+00"},
      {12, u"# ?/?"},
      {13, u"# ??" u"/??"},  // split: "??/" would read as a trigraph
      {14, u"mm/dd/yy"},
      {15, u"dd-mmm-yy"},
      {16, u"dd-mmm"},
      {17, u"mmm-yy"},
      {18, u"h:mm AM/PM"},
      {19, u"h:mm:ss AM/PM"},
      {20, u"h:mm"},
      {21, u"h:mm:ss"},
      {22, u"mm/dd/yy h:mm"},
      {42, u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
      {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
      {44, u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)"},
      {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
      {4, u"#,##0.00"},
      {37, u"(#,##0_);(#,##0)"},
      {38, u"(#,##0_);[Red](#,##0)"},
      {39, u"(#,##0.00_);(#,##0.00)"},
      {40, u"(#,##0.00_);[Red](#,##0.00)"},
      {45, u"mm:ss"},
      {46, u"[h]:mm:ss"},
      {47, u"mm:ss.0"},
      {48, u"##0.0E+0"},
      {49, u"@"},
  };
  for (const auto& f : kBuiltIns) {
    formats_.push_back({f.id, f.format});
    if (f.id > maxId_) maxId_ = f.id;
  }
}

TFormatString TFormatStrings::GetFormat(int32_t index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
  return formats_[index];
}

// [SECTION] palette

namespace {

constexpr TColor Rgb(uint32_t rrggbb) {
  return MakeColor(static_cast<uint8_t>(rrggbb >> 16), static_cast<uint8_t>(rrggbb >> 8),
                   static_cast<uint8_t>(rrggbb));
}

// The format's default colours of indexes 8..63, written as 0xRRGGBB.
constexpr uint32_t kDefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,  //  8..15
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,  // 16..23
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,  // 24..31
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,  // 32..39
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,  // 40..47
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,  // 48..55
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,  // 56..63
};

// Default colours of the platform's display elements 0..30, written as 0xRRGGBB.
constexpr uint32_t kSystemColors[31] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};

uint8_t Nearest(const std::vector<TColor>& colors, TColor color) {
  const TColor c = XLSColorToRGB(color);
  int32_t best = -1;
  int32_t bestDistance = 0;
  for (size_t i = 0; i < colors.size(); ++i) {
    const double dr = ColorRed(c) - ColorRed(colors[i]);
    const double dg = ColorGreen(c) - ColorGreen(colors[i]);
    const double db = ColorBlue(c) - ColorBlue(colors[i]);
    const int32_t d = RoundToInt(std::sqrt(dr * dr + dg * dg + db * db));
    if (best < 0 || d < bestDistance) {
      best = static_cast<int32_t>(i);
      bestDistance = d;
    }
  }
  return static_cast<uint8_t>(best < 0 ? 1 : best + 1);
}

std::vector<TColor> PaletteColors(int trailingBlacks) {
  std::vector<TColor> colors;
  for (uint32_t rgb : kDefaultPalette) colors.push_back(Rgb(rgb));
  for (int i = 0; i < trailingBlacks; ++i) colors.push_back(clBlack);
  return colors;
}

}  // namespace

TColor XLSColorToRGB(TColor color) {
  if ((color & 0xFF000000u) == 0xFF000000u) {
    const uint32_t element = color & 0xFFu;
    return element < std::size(kSystemColors) ? Rgb(kSystemColors[element]) : clBlack;
  }
  return color & 0x00FFFFFFu;
}

TXLPalette::TXLPalette() : colors_(PaletteColors(1)) {}

TColor TXLPalette::Color(int32_t pos) const {
  if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
  return colors_[pos];
}

uint8_t TXLPalette::NearestColor(TColor color) const { return Nearest(colors_, color); }

uint8_t NearestDefaultColor(TColor color) {
  static const std::vector<TColor> table = PaletteColors(2);
  return Nearest(table, color);
}

// [SECTION] FONT and XF packing

std::string PackFont(const TFontRecord& font) {
  const std::u16string name = font.GetName();
  std::string out;
  PutWord(out, static_cast<uint16_t>(std::min<uint32_t>(font.Height * 20u, 0xFFFFu)));
  PutWord(out, static_cast<uint16_t>((font.Italic ? 2 : 0) | (font.Strikeout ? 8 : 0)));
  PutWord(out, ColorIndexOf(font.Color));
  PutWord(out, font.Bold ? 700 : 400);
  PutWord(out, font.Script);
  uint8_t kind = font.UnderlineKind <= 4 ? font.UnderlineKind : 0;
  if (font.Underline && kind == 0) kind = 1;
  static constexpr uint8_t kUnderline[5] = {0x00, 0x01, 0x02, 0x21, 0x22};
  out += static_cast<char>(kUnderline[kind]);
  out += '\0';  // family
  out += '\1';  // character set
  out += '\0';
  out += static_cast<char>(name.size());
  out += '\1';  // UTF-16 name
  out += WideToUtf16Bytes(name);
  return out;
}

std::string PackXF(const TXFRecord& xf) {
  std::string out;
  out.reserve(20);
  PutWord(out, xf.FontIndex);
  PutWord(out, xf.NumberFormat);
  PutWord(out, static_cast<uint16_t>((xf.Locked & 1) | (xf.StyleFormat ? 0x0004 | 0xFFF0 : 0)));
  PutWord(out, static_cast<uint16_t>((xf.HorizontalAlignment & 7) | ((xf.WrapText & 1) << 3) |
                                     ((xf.VerticalAlignment & 7) << 4) | (xf.Rotation << 8)));
  PutWord(out, static_cast<uint16_t>((xf.Indent & 15) | ((xf.Merged & 1) << 5) | 0x0400));
  const auto& s = xf.BorderStyle;
  PutWord(out, static_cast<uint16_t>((s[0] & 15) | ((s[1] & 15) << 4) | ((s[2] & 15) << 8) | ((s[3] & 15) << 12)));
  // A side's colour is written only when the side has a line.
  auto sideColor = [&xf](int side) -> uint32_t {
    return xf.BorderStyle[side] ? (ColorIndexOf(xf.BorderColor[side]) & 127u) : 0u;
  };
  PutWord(out, static_cast<uint16_t>(sideColor(0) | (sideColor(1) << 7)));
  PutDWord(out, sideColor(2) | (sideColor(3) << 7) | (static_cast<uint32_t>(xf.FillPattern & 63) << 26));
  const uint32_t fill = ColorIndexOf(xf.FillColor) & 127u;
  const uint32_t pattern = ColorIndexOf(xf.PatternColor) & 127u;
  // Solid fills put the fill colour first; every other pattern the pattern colour.
  PutWord(out, static_cast<uint16_t>(xf.FillPattern == 1 ? fill | (pattern << 7) : pattern | (fill << 7)));
  return out;
}

// [SECTION] size conversions

namespace {

struct TSizeConstants {
  double PixelsPerChar, ExtraPixels, SmallFactor, PointsPerPixel;
  int32_t DefaultColumn, DefaultRow;
};

TSizeConstants Constants() {
  if (XLSScreenPixelsPerInch() == 96) return {7, 5, 0.0834, 0.75, 64, 17};
  return {9, 7, 0.0626, 0.6, 80, 22};
}

}  // namespace

double ColumnWidthToPixels(double w) {
  const TSizeConstants k = Constants();
  return w >= 1 ? w * k.PixelsPerChar + k.ExtraPixels : w / k.SmallFactor;
}

double PixelsToColumnWidth(int32_t p) {
  const TSizeConstants k = Constants();
  return p <= 11 ? p * k.SmallFactor : (p - k.ExtraPixels) / k.PixelsPerChar;
}

int32_t ColumnWidthTo256ths(double w) { return RoundToInt(ColumnWidthToPixels(w) / Constants().PixelsPerChar * 256); }

double RowPixelsToPoints(int32_t p) { return p * Constants().PointsPerPixel; }
double RowPointsToPixels(double points) { return points / Constants().PointsPerPixel; }
int32_t DefaultColumnWidthPixels() { return Constants().DefaultColumn; }
int32_t DefaultRowHeightPixels() { return Constants().DefaultRow; }

}  // namespace qira

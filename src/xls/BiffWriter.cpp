// The BIFF8 workbook writer.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   record data
//   checks
//   save
//   stream
//   workbook
//   globals
//   shared strings
//   worksheet
//   cells
//   encryption
#include "xls/BiffWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "platform/Rounding.h"
#include "xls/CompoundFile.h"
#include "xls/XlsCellExtras.h"
#include "xls/XlsDrawing.h"
#include "xls/XlsFormula.h"
#include "xls/XlsWorkbook.h"

namespace qira {

namespace {

constexpr uint16_t kBiff8Version = 0x0600;
constexpr uint16_t kBofGlobals = 0x0005;
constexpr uint16_t kBofWorksheet = 0x0010;
constexpr int32_t kBuiltInXFCount = 21;
constexpr int32_t kFileDefaultFonts = 4;
constexpr uint32_t kUnset = 0xFFFFFFFF;
constexpr size_t kMergedPerRecord = 1024;
// Error codes of BOOLERR and of cached formula results.
constexpr uint8_t kErrorNum = 0x24;
// Kinds of a cached formula result that is not a number.
constexpr uint8_t kResultString = 0;  // the text follows in a STRING record
constexpr uint8_t kResultBoolean = 1;
constexpr uint8_t kResultError = 2;
constexpr uint8_t kResultEmptyString = 3;
constexpr int32_t kPaletteRecordColours = 56;
// EXTSST: at least 8 strings per bucket, at most 128 buckets.
constexpr uint32_t kMinStringsPerBucket = 8;
constexpr uint32_t kMaxExtSstBuckets = 128;
constexpr uint32_t kSstBuckets = 4095;
// The longest header or footer text the file format allows.
constexpr size_t kMaxHeaderFooterLength = 255;

// Byte offset of the first character of a shared-string entry: count word, flags byte.
constexpr size_t kSstEntryHeader = 3;

std::u16string HeaderFooterText(std::u16string_view left, std::u16string_view centre, std::u16string_view right) {
  std::u16string text;
  if (!left.empty()) text.append(u"&L").append(left);
  if (!centre.empty()) text.append(u"&C").append(centre);
  if (!right.empty()) text.append(u"&R").append(right);
  return text;
}

// Days since 1899-12-30 as a serial of the 1900 date system, which counts the
// 29th of February 1900 that never was.
double DateSerial(double days) {
  constexpr double kJan1st1900 = 2;
  constexpr double kMarch1st1900 = 61;
  return days - kJan1st1900 + (days >= kMarch1st1900 ? 2 : 1);
}

bool IsNumberKind(uint16_t kind) {
  switch (kind) {
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The entry of one string in the shared-string table: character count, option
// flags (bit 0: UTF-16 characters, bit 3: rich text), for rich text the run
// count, the characters, then the runs.
struct TXLSWriter::TSstEntry {
  static std::u16string TextOf(const TVariant& value) {
    return value.Kind() == varString ? AnsiToWide(value.AsAnsi()) : value.AsWide();
  }
  static std::string Of(const std::u16string& text, const std::string& runs) {
    const bool compressed = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
    TRecordData d;
    d.Word(static_cast<uint16_t>(text.size())).Byte((compressed ? 0 : 1) | (runs.empty() ? 0 : 8));
    if (!runs.empty()) d.Word(static_cast<uint16_t>(runs.size() / 4));
    if (compressed) {
      // The low bytes of the converted characters, not the 8-bit input: in a
      // multi-byte code page the two differ in length.
      std::string bytes(text.size(), '\0');
      std::transform(text.begin(), text.end(), bytes.begin(), [](char16_t c) { return static_cast<char>(c); });
      d.Bytes(bytes);
    } else {
      d.Bytes(WideToUtf16Bytes(text));
    }
    return d.Bytes(runs).Data();
  }
};

// [SECTION] record data

TRecordData& TRecordData::Byte(uint8_t v) {
  data_.push_back(static_cast<char>(v));
  return *this;
}

namespace {
// The n low bytes of v, least significant first.
template <size_t n>
void AppendLittleEndian(std::string& out, uint64_t v) {
  char bytes[n];
  for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<char>(v >> (8 * k));
  out.append(bytes, n);
}
}  // namespace

TRecordData& TRecordData::Word(uint16_t v) {
  AppendLittleEndian<2>(data_, v);
  return *this;
}

TRecordData& TRecordData::DWord(uint32_t v) {
  AppendLittleEndian<4>(data_, v);
  return *this;
}

TRecordData& TRecordData::Double(double v) {
  AppendLittleEndian<8>(data_, std::bit_cast<uint64_t>(v));
  return *this;
}

TRecordData& TRecordData::Bytes(std::string_view bytes) {
  data_.append(bytes);
  return *this;
}

TRecordData& TRecordData::WideString(std::u16string_view text) {
  return Word(static_cast<uint16_t>(text.size())).Byte(1).Bytes(WideToUtf16Bytes(text));
}

// [SECTION] checks

TXLSWriter::TXLSWriter(TXLSFile& file) : file_(file), workbook_(file.Workbook()) {
  CheckPageSetups();
  PrepareNames();
  ParseFormulas();
}

TXLSWriter::~TXLSWriter() = default;

void TXLSWriter::CheckPageSetups() const {
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TSheet& sheet = sheets.Items(s);
    TPageSetup& p = sheet.PageSetup();
    if (HeaderFooterText(p.HeaderLeft, p.HeaderCenter, p.HeaderRight).size() > kMaxHeaderFooterLength ||
        HeaderFooterText(p.FooterLeft, p.FooterCenter, p.FooterRight).size() > kMaxHeaderFooterLength)
      throw EXLSError(xlserr::kInvalidCellProperty);
  }
}

void TXLSWriter::PrepareNames() {
  TXLSLinkTable& links = workbook_.LinkTable();
  links.Clear();
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t i = 0; i < sheets.Count(); ++i) links.AddSheetName(sheets.Items(i).Name());
  for (int32_t i = 0; i < sheets.Count(); ++i) links.XtiOfSheet(sheets.Items(i).Name());

  std::vector<int32_t> order(static_cast<size_t>(sheets.Count()));
  for (int32_t i = 0; i < sheets.Count(); ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return WideToUtf16Bytes(sheets.Items(a).Name()) < WideToUtf16Bytes(sheets.Items(b).Name());
  });
  for (const int32_t s : order) {
    TSheet& sheet = sheets.Items(s);
    TRanges& ranges = sheet.Ranges();
    for (int32_t r = 0; r < ranges.Count(); ++r) {
      const TRange& range = ranges.Item(r);
      if (range.Name.empty()) continue;
      links.AddName(range.Name, range.Rects, range.WorkbookWide ? -1 : s, 0, s);
    }
    const TPageSetup& p = sheet.PageSetup();
    if (p.PrintArea.Count() > 0) links.AddName({}, p.PrintArea, s, kBuiltInPrintArea, s);
    TRangeRects titles;
    if (p.PrintTitleRow1 != kUnset || p.PrintTitleRow2 != kUnset) {
      const int64_t r1 = p.PrintTitleRow1 == kUnset ? p.PrintTitleRow2 : p.PrintTitleRow1;
      const int64_t r2 = p.PrintTitleRow2 == kUnset ? p.PrintTitleRow1 : p.PrintTitleRow2;
      titles.Add(CheckedRect(static_cast<int32_t>(std::min<int64_t>(r1, 0x7FFFFFFF)), 0,
                             static_cast<int32_t>(std::min<int64_t>(r2, 0x7FFFFFFF)), 255));
    }
    if (p.PrintTitleCol1 != kUnset || p.PrintTitleCol2 != kUnset) {
      const int64_t c1 = p.PrintTitleCol1 == kUnset ? p.PrintTitleCol2 : p.PrintTitleCol1;
      const int64_t c2 = p.PrintTitleCol2 == kUnset ? p.PrintTitleCol1 : p.PrintTitleCol2;
      titles.Add(CheckedRect(0, static_cast<int32_t>(std::min<int64_t>(c1, 0x7FFFFFFF)), 65535,
                             static_cast<int32_t>(std::min<int64_t>(c2, 0x7FFFFFFF))));
    }
    if (titles.Count() > 0) links.AddName({}, titles, s, kBuiltInPrintTitles, s);
  }
}

void TXLSWriter::ParseFormulas() {
  parser_ = std::make_unique<TXLSFormulaParser>(workbook_.LinkTable());
  formulaTokens_.clear();
  hyperlinks_.clear();
  validations_.clear();
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TCells& cells = sheets.Items(s).Cells();
    std::vector<std::pair<int32_t, std::string>>& tokens = formulaTokens_.emplace_back();
    std::vector<std::string>& links = hyperlinks_.emplace_back();
    for (const int32_t i : cells.PositionsWithProperties()) {
      const TCell& cell = cells.GetCell(i);
      if (const std::string target = cell.GetProperty("H"); !target.empty()) {
        const std::string kind = cell.GetProperty("L");
        TRecordData d;
        d.Word(cell.Row()).Word(cell.Row()).Word(cell.Col()).Word(cell.Col());
        d.Bytes(HyperlinkData(Utf16BytesToWide(target), kind.empty() ? 0 : static_cast<uint8_t>(kind[0])));
        links.push_back(d.Data());
      }
      const std::string text = cell.GetProperty("F");
      if (text.empty()) continue;
      std::string bytes = parser_->Encode(text);
      // A formula of blanks (or "=" alone) has nothing to write.
      if (bytes.empty()) throw EXLSError(text, xlserr::kInvalidFormula);
      tokens.emplace_back(i, std::move(bytes));
    }
    TCellValidations& validations = sheets.Items(s).Validations();
    std::vector<std::string>& dvs = validations_.emplace_back();
    for (int32_t i = 0; i < validations.Count(); ++i) dvs.push_back(ValidationData(validations.Item(i), *parser_));
  }
}

// [SECTION] save

void TXLSWriter::SaveToFile(const std::string& utf8Path) {
  SaveToFileWithPassword(utf8Path, workbook_.IsProtected() ? kDefaultWriteProtectionPassword : u"");
}

void TXLSWriter::SaveToFileWithPassword(const std::string& utf8Path, std::u16string_view password) {
  CheckPassword(password);
  TCFile file(cfmCreate, utf8Path);
  SaveToCompoundFile(file, password);
  // Only a complete stream is committed; an exception above drops the file
  // object, which leaves any older file as it was.
  file.Commit();
}

void TXLSWriter::SaveToCompoundFile(TCFile& file, std::u16string_view password) {
  CheckPassword(password);
  password_ = password;
  stream_ = &file.Root().CreateStream("Workbook");
  counter_ = 0;
  WriteWorkbook();
  PadStream();
  if (!password_.empty()) EncryptStream();
  stream_ = nullptr;
}

// [SECTION] stream

void TXLSWriter::WriteBytes(std::string_view bytes) {
  const auto n = static_cast<int32_t>(bytes.size());
  // A stream that takes no more fails the save: beyond 2 GB it says the limit,
  // after a failed temporary file the system's reason.
  if (stream_->Write(bytes.data(), n) != n) {
    if (stream_->Position() + n > kMaxWorkbookFileBytes)
      throw ECFileError(cferr::kCommit, WorkbookFileLimitText("The workbook"));
    stream_->RaiseWriteFailure();
  }
  counter_ += static_cast<uint32_t>(n);
}

void TXLSWriter::WriteByte(uint8_t v) { WriteBytes(std::string(1, static_cast<char>(v))); }

void TXLSWriter::WriteWord(uint16_t v) { WriteBytes(TRecordData().Word(v).Data()); }

void TXLSWriter::WriteDWord(uint32_t v) { WriteBytes(TRecordData().DWord(v).Data()); }

void TXLSWriter::WriteRecord(uint16_t id, const TRecordData& data) {
  std::string_view rest = data.Data();
  uint16_t recordId = id;
  do {
    const size_t n = std::min<size_t>(rest.size(), biff::kMaxRecordData);
    // Header and data in one write: most records are a few bytes long.
    record_.clear();
    AppendLittleEndian<2>(record_, recordId);
    AppendLittleEndian<2>(record_, n);
    record_.append(rest.substr(0, n));
    WriteBytes(record_);
    rest.remove_prefix(n);
    recordId = biff::kContinue;
  } while (!rest.empty());
}

void TXLSWriter::PatchWord(int64_t pos, uint16_t v) {
  const int64_t back = stream_->Position();
  stream_->SetPosition(pos);
  if (!stream_->WriteWord(v)) stream_->RaiseWriteFailure();
  stream_->SetPosition(back);
}

void TXLSWriter::PatchDWord(int64_t pos, uint32_t v) {
  const int64_t back = stream_->Position();
  stream_->SetPosition(pos);
  if (!stream_->WriteDWord(v)) stream_->RaiseWriteFailure();
  stream_->SetPosition(back);
}

void TXLSWriter::PadStream() {
  const int64_t size = stream_->GetSize();
  if (size % 512 == 0) return;
  const std::string zeros(static_cast<size_t>(512 - size % 512), '\0');
  stream_->SetPosition(size);
  if (stream_->Write(zeros.data(), static_cast<int32_t>(zeros.size())) != static_cast<int32_t>(zeros.size()))
    stream_->RaiseWriteFailure();
}

void TXLSWriter::DoProgress() {
  if (OnProgress) OnProgress(std::clamp(progress_, 0.0, 1.0));
}

void TXLSWriter::Step() {
  progress_ += step_;
  DoProgress();
}

uint16_t TXLSWriter::XFIndex(int32_t formatIndex) const { return static_cast<uint16_t>(xfBase_ + formatIndex); }

// [SECTION] workbook

void TXLSWriter::WriteWorkbook() {
  progress_ = 0;
  DoProgress();
  TSheets& sheets = workbook_.Sheets();
  bool anySelected = false;
  for (int32_t i = 0; i < sheets.Count(); ++i) anySelected = anySelected || sheets.Items(i).Selected;
  if (!anySelected && sheets.Count() > 0) sheets.Items(0).Selected = true;
  if (sheets.Count() == 0) throw EXLSError(xlserr::kNoSheets);
  xfBase_ = file_.OmitBuiltInFormats() ? 0 : kBuiltInXFCount;

  counter_ = 0;
  BuildSharedStrings();
  progress_ = 0.05;
  DoProgress();
  drawings_ = std::make_unique<TMSOData>();
  drawings_->Build(workbook_);
  progress_ = 0.06;
  DoProgress();

  WriteGlobals();
  progress_ = 0.1;
  DoProgress();

  int64_t cellCount = 0;
  for (int32_t i = 0; i < sheets.Count(); ++i) cellCount += sheets.Items(i).Cells().Count();
  step_ = cellCount > 0 ? (0.9 - progress_) / static_cast<double>(cellCount) : 0;
  for (int32_t i = 0; i < sheets.Count(); ++i) WriteSheet(sheets.Items(i), sstIndexes_[static_cast<size_t>(i)]);

  sst_.reset();
  sstIndexes_.clear();
  drawings_.reset();
  progress_ = 1.0;
  DoProgress();
}

// [SECTION] globals

void TXLSWriter::WriteGlobals() {
  WriteBof(kBofGlobals);
  WriteFilePass();
  WriteInterfaceHdr();
  WriteRecord(biff::kMms);
  WriteRecord(biff::kInterfaceEnd);
  WriteRecord(biff::kExcel9File);
  WriteRecord(biff::kDsf, TRecordData().Word(0));
  WriteTabId();
  WriteWorkbookProtection();
  WriteWindow1();
  WriteRecord(biff::kHideObj, TRecordData().Word(0));
  WriteRecord(biff::kDateMode, TRecordData().Word(0));
  WriteFonts();
  WriteFormats();
  WriteXFs();
  WriteStyles();
  WritePalette();
  boundSheetPatches_.clear();
  for (int32_t i = 0; i < workbook_.Sheets().Count(); ++i) WriteBoundSheet(workbook_.Sheets().Items(i));
  WriteRecord(biff::kCountry, TRecordData().Word(1).Word(1));
  WriteLinkTable();
  if (!drawings_->Empty()) WriteRecord(biff::kMsoDrawingGroup, TRecordData().Bytes(drawings_->GroupBytes()));
  WriteRecalcId();
  WriteSst();
  WriteRecord(biff::kEof);
}

void TXLSWriter::WriteBof(uint16_t type) {
  WriteRecord(biff::kBof, TRecordData()
                              .Word(kBiff8Version)  // BIFF version
                              .Word(type)           // substream type: globals or worksheet
                              .Word(0x1846)         // build identifier
                              .Word(0x07CD)         // build year
                              .DWord(0x000040C1)    // file history flags
                              .DWord(0x00000106));  // lowest version that can read all records
}

void TXLSWriter::WriteFilePass() {
  if (password_.empty()) return;
  encryption_ = CreateEncryptionHeader(password_, SaltSource);
  TRecordData d;
  d.Word(1).Word(1).Word(1);
  d.Bytes(std::string_view(reinterpret_cast<const char*>(encryption_.Salt.data()), 16));
  d.Bytes(std::string_view(reinterpret_cast<const char*>(encryption_.Verifier.data()), 16));
  d.Bytes(std::string_view(reinterpret_cast<const char*>(encryption_.VerifierHash.data()), 16));
  WriteRecord(biff::kFilePass, d);
}

void TXLSWriter::WriteInterfaceHdr() { WriteRecord(biff::kInterfaceHdr, TRecordData().Word(0x04B0)); }

void TXLSWriter::WriteTabId() {
  TRecordData d;
  for (int32_t i = 0; i < workbook_.Sheets().Count(); ++i) d.Word(static_cast<uint16_t>(i));
  WriteRecord(biff::kTabId, d);
}

void TXLSWriter::WriteWorkbookProtection() {
  if (workbook_.Protection != 0) {
    WriteRecord(biff::kProtect, TRecordData().Word(1));
    WriteRecord(biff::kWindowProtect, TRecordData().Word(0));
    WriteRecord(biff::kPassword, TRecordData().Word(workbook_.Protection));
  } else {
    WriteRecord(biff::kWindowProtect, TRecordData().Word(0));
    WriteRecord(biff::kProtect, TRecordData().Word(0));
  }
}

void TXLSWriter::WriteWindow1() {
  const TSheets& sheets = workbook_.Sheets();
  int32_t first = -1;
  int32_t selected = 0;
  for (int32_t i = 0; i < sheets.Count(); ++i) {
    if (!sheets.Items(i).Selected) continue;
    if (first < 0) first = i;
    ++selected;
  }
  if (first < 0) {
    first = 0;
    selected = 1;
  }
  WriteRecord(biff::kWindow1, TRecordData()
                                  .Word(360)     // horizontal position of the window, twips
                                  .Word(15)      // vertical position, twips
                                  .Word(11340)   // width, twips
                                  .Word(6795)    // height, twips
                                  .Word(0x0038)  // options: horizontal and vertical scroll bars, sheet tabs
                                  .Word(static_cast<uint16_t>(first))                   // active sheet
                                  .Word(static_cast<uint16_t>(first < 10 ? 0 : first))  // first visible tab
                                  .Word(static_cast<uint16_t>(selected))                // selected sheet count
                                  .Word(600));  // tab bar width, 1/1000 of the window width
}

void TXLSWriter::WriteFonts() {
  // Fonts 0 to 3 of the file are the default font (the built-in style formats
  // use font 1); the file has no font 4, so the table's further fonts take
  // indexes 5, 6, ... (FileFontIndex).
  const TVirtualFontTable& fonts = workbook_.FontTable();
  const std::string base = PackFont(fonts.Item(0));
  for (int32_t i = 0; i < kFileDefaultFonts; ++i) WriteRecord(biff::kFont, TRecordData().Bytes(base));
  for (int32_t i = 1; i < fonts.Count(); ++i) WriteRecord(biff::kFont, TRecordData().Bytes(PackFont(fonts.Item(i))));
}

void TXLSWriter::WriteFormats() {
  const TFormatStrings& formats = workbook_.FormatStrings();
  for (int32_t i = TFormatStrings::BuiltInCount; i < formats.Count(); ++i) {
    const TFormatString f = formats.GetFormat(i);
    WriteRecord(biff::kFormat, TRecordData().Word(f.Id).WideString(f.Format));
  }
}

void TXLSWriter::WriteXFs() {
  if (xfBase_ != 0) {
    // The built-in formats: 15 style formats, the default cell format and five
    // number-format styles (comma, currency, percent, comma 0, currency 0).
    auto xf = [](uint8_t font, uint8_t format, uint16_t typeAndParent, uint8_t usedAttributes) {
      return TRecordData()
          .Word(font)           // font index
          .Word(format)         // number format id
          .Word(typeAndParent)  // bit 0 locked, bit 2 style format, bits 4-15 parent (0xFFF: none)
          .Word(0x0020)         // alignment: bottom, no wrap, no rotation
          .Byte(0)              // indent, shrink, reading order
          .Byte(usedAttributes) // bits 2-7: attribute groups that differ from the parent (a style: not used)
          .DWord(0)             // border line styles and left/right border colours
          .DWord(0)             // top/bottom border colours, diagonal, fill pattern
          .Word(0x20C0);        // fill colours: pattern 64 (automatic), background 65 (automatic)
    };
    for (int i = 0; i < 15; ++i) WriteRecord(biff::kXF, xf(0, 0, 0xFFF5, 0));
    WriteRecord(biff::kXF, xf(0, 0, 0x0001, 0));
    for (uint8_t format : {0x2C, 0x2A, 0x09, 0x2B, 0x29}) WriteRecord(biff::kXF, xf(1, format, 0xFFF5, 0xF8));
  }
  const TVirtualXFTable& xfs = workbook_.XFTable();
  const TFormatStrings& formats = workbook_.FormatStrings();
  for (int32_t i = 0; i < xfs.Count(); ++i) {
    TXFRecord xf = xfs.Item(i);
    xf.FontIndex = FileFontIndex(xf.FontIndex);
    xf.NumberFormat = formats.GetFormat(xf.NumberFormat).Id;
    WriteRecord(biff::kXF, TRecordData().Bytes(PackXF(xf)));
  }
}

void TXLSWriter::WriteStyles() {
  static constexpr std::pair<uint16_t, uint8_t> kStyles[] = {{16, 4}, {17, 7}, {0, 0}, {18, 5}, {19, 3}, {20, 6}};
  for (const auto& [xf, id] : kStyles)
    WriteRecord(biff::kStyle, TRecordData().Word(static_cast<uint16_t>(xf | 0x8000)).Byte(id).Byte(0xFF));
}

void TXLSWriter::WritePalette() {
  const TXLPalette& palette = workbook_.Palette();
  TRecordData d;
  // The record holds the 56 colours of indexes 8 to 63; the palette's 57th entry
  // (black) is only a matching aid.
  const int32_t n = std::min(palette.Count(), kPaletteRecordColours);
  d.Word(static_cast<uint16_t>(n));
  for (int32_t i = 0; i < n; ++i) d.DWord(palette.Color(i));
  WriteRecord(biff::kPalette, d);
}

void TXLSWriter::WriteBoundSheet(const TSheet& sheet) {
  // The stream offset follows the 4-byte record header; it is patched when the
  // sheet's BOF is written.
  boundSheetPatches_.push_back(static_cast<int64_t>(counter_) + 4);
  const std::u16string& name = sheet.Name();
  WriteRecord(biff::kBoundSheet, TRecordData()
                                     .DWord(0)
                                     .Word(sheet.Visible ? 0 : 1)
                                     .Byte(static_cast<uint8_t>(name.size()))
                                     .Byte(1)
                                     .Bytes(WideToUtf16Bytes(name)));
}

void TXLSWriter::WriteRecalcId() {
  WriteRecord(biff::kRecalcId, TRecordData()
                                   .Word(biff::kRecalcId)  // the record's own id, as the format repeats it
                                   .Word(0)                // reserved
                                   .DWord(0x00016960));    // id of the calculation engine that last calculated
}

void TXLSWriter::WriteLinkTable() {
  const TXLSLinkTable& links = workbook_.LinkTable();
  for (int32_t d = 0; d < links.DocumentCount(); ++d) {
    WriteRecord(biff::kSupBook, TRecordData().Bytes(links.SupBookData(d)));
    const TXLSLinkDocument& doc = links.Document(d);
    if (doc.Own) continue;
    for (const TXLSLinkName& name : doc.Names)
      WriteRecord(biff::kExternName, TRecordData().Bytes(links.ExternNameData(name)));
  }
  WriteRecord(biff::kExternSheet, TRecordData().Bytes(links.ExternSheetData()));
  for (const TXLSLinkName& name : links.Names()) WriteRecord(biff::kName, TRecordData().Bytes(links.NameData(name)));
}

// [SECTION] shared strings

void TXLSWriter::BuildSharedStrings() {
  sst_ = std::make_unique<THashedStringList>(kSstBuckets);
  sstIndexes_.clear();
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TCells& cells = sheets.Items(s).Cells();
    TSheetStrings& indexes = sstIndexes_.emplace_back();
    indexes.Pool.assign(static_cast<size_t>(cells.StringCount()), kUnset);
    auto intern = [this](const std::string& entry) {
      int32_t index = sst_->IndexOf(entry);
      if (index < 0) index = sst_->Add(entry);
      return static_cast<uint32_t>(index);
    };
    const std::vector<int32_t> withProperties = cells.PositionsWithProperties();
    auto next = withProperties.begin();
    for (int32_t i = 0; i < cells.Count(); ++i) {
      const TCellSlot& slot = cells.Slot(i);
      if (!cells.IsString(slot)) continue;
      uint32_t& plain = indexes.Pool[cells.StringIndex(slot)];
      while (next != withProperties.end() && *next < i) ++next;
      const TCell* cell = nullptr;
      std::string runList;
      if (next != withProperties.end() && *next == i) {
        cell = &cells.GetCell(i);
        runList = cell->GetProperty("R");
      }
      if (runList.empty()) {
        if (plain == kUnset) plain = intern(TSstEntry::Of(TSstEntry::TextOf(cells.ValueOf(slot)), {}));
        continue;
      }
      const std::u16string text = TSstEntry::TextOf(cells.ValueOf(slot));
      const std::string runs =
          RichTextRuns(runList, workbook_.XFTable().Item(cell->FormatIndex()).FontIndex, text.size(),
                       workbook_.FontTable());
      indexes.Rich.emplace_back(i, intern(TSstEntry::Of(text, runs)));
    }
  }
}

// A record whose data runs on in CONTINUE records: the length of each record is
// patched when the next one begins or when the writer finishes.
class TXLSWriter::TContinuedRecord {
 public:
  TContinuedRecord(TXLSWriter& writer, uint16_t id) : w_(writer) { Begin(id); }
  int32_t Room() const { return biff::kMaxRecordData - length_; }
  int32_t Length() const { return length_; }
  int64_t LengthPos() const { return lengthPos_; }
  void Put(std::string_view bytes) {
    w_.WriteBytes(bytes);
    length_ += static_cast<int32_t>(bytes.size());
  }
  // Ends the current record and begins a CONTINUE record.
  void Continue() {
    Finish();
    Begin(biff::kContinue);
  }
  void Finish() { w_.PatchWord(lengthPos_, static_cast<uint16_t>(length_)); }

 private:
  void Begin(uint16_t id) {
    w_.WriteWord(id);
    lengthPos_ = w_.counter_;
    w_.WriteWord(0);
    length_ = 0;
  }
  TXLSWriter& w_;
  int64_t lengthPos_ = 0;
  int32_t length_ = 0;
};

void TXLSWriter::WriteSst() {
  const auto unique = static_cast<uint32_t>(sst_->Count());
  const uint32_t perBucket = std::max(kMinStringsPerBucket, (unique + kMaxExtSstBuckets - 1) / kMaxExtSstBuckets);
  TRecordData extSst;
  extSst.Word(static_cast<uint16_t>(perBucket));
  TContinuedRecord sst(*this, biff::kSst);
  sst.Put(TRecordData().DWord(unique).DWord(unique).Data());
  for (uint32_t i = 0; i < unique; ++i) {
    uint32_t start = 0;
    uint16_t offset = 0;
    WriteSstEntry(sst_->Strings(static_cast<int32_t>(i)), sst, start, offset);
    // Every bucket's first string: its stream position and its offset from the
    // start of the record (header included) that holds its first byte.
    if (i % perBucket == 0) extSst.DWord(start).Word(offset).Word(0);
  }
  sst.Finish();
  WriteRecord(biff::kExtSst, extSst);
}

// An entry is header (character count, option flags and, for a rich string, the
// run count), characters, runs. The header is never split from the first
// character (or run); characters split between characters, and a record that
// goes on with characters starts with the width flag; runs split between runs.
void TXLSWriter::WriteSstEntry(const std::string& entry, TContinuedRecord& record, uint32_t& start, uint16_t& offset) {
  const std::string_view e = entry;
  const uint8_t flags = static_cast<uint8_t>(e[2]);
  const size_t width = (flags & 1) != 0 ? 2 : 1;
  const size_t header = (flags & 8) != 0 ? kSstEntryHeader + 2 : kSstEntryHeader;
  const size_t chars = (static_cast<uint8_t>(e[0]) | static_cast<uint8_t>(e[1]) << 8) * width;
  const size_t runs = e.size() - header - chars;
  const size_t first = chars > 0 ? width : std::min<size_t>(runs, 4);
  if (static_cast<size_t>(record.Room()) < header + first) record.Continue();
  start = counter_;
  offset = static_cast<uint16_t>(record.Length() + 4);
  record.Put(e.substr(0, header));
  WriteSplit(record, e.substr(header, chars), width, std::string(1, static_cast<char>(flags & 1)));
  WriteSplit(record, e.substr(header + chars), 4, {});
}

void TXLSWriter::WriteSplit(TContinuedRecord& record, std::string_view bytes, size_t unit, std::string_view lead) {
  while (!bytes.empty()) {
    if (static_cast<size_t>(record.Room()) < unit) {
      record.Continue();
      record.Put(lead);
    }
    const size_t fit = std::min(bytes.size(), static_cast<size_t>(record.Room()) / unit * unit);
    record.Put(bytes.substr(0, fit));
    bytes.remove_prefix(fit);
  }
}

// [SECTION] worksheet

void TXLSWriter::WriteSheet(TSheet& sheet, const TSheetStrings& strings) {
  PatchDWord(boundSheetPatches_[static_cast<size_t>(sheet.Index())], counter_);
  WriteBof(kBofWorksheet);
  WriteIndex();
  WritePageBreaks(sheet);
  WritePageSetup(sheet);
  WriteSheetProtection(sheet);
  WriteColInfos(sheet);
  WriteDimensions(sheet);
  WriteRows(sheet);
  WriteCells(sheet, strings);
  for (const auto& [id, data] : drawings_->SheetRecords(sheet.Index())) WriteRecord(id, TRecordData().Bytes(data));
  WriteWindow2(sheet);
  WritePane(sheet);
  WriteMergedCells(sheet);
  const size_t s = static_cast<size_t>(sheet.Index());
  for (const std::string& link : hyperlinks_[s]) WriteRecord(biff::kHLink, TRecordData().Bytes(link));
  if (!validations_[s].empty()) {
    WriteRecord(biff::kDVal, TRecordData()
                                 .Word(0x0004)      // options: the validations are cached
                                 .DWord(0)          // x of the input window
                                 .DWord(0)          // y of the input window
                                 .DWord(0xFFFFFFFF) // no drop-down object
                                 .DWord(static_cast<uint32_t>(validations_[s].size())));
    for (const std::string& dv : validations_[s]) WriteRecord(biff::kDV, TRecordData().Bytes(dv));
  }
  WriteRecord(biff::kEof);
}

void TXLSWriter::WriteMergedCells(TSheet& sheet) {
  std::vector<TRangeRect> rects;
  TRanges& ranges = sheet.Ranges();
  for (int32_t i = 0; i < ranges.Count(); ++i) {
    const TRange& r = ranges.Item(i);
    if (!r.Merged) continue;
    for (int32_t k = 0; k < r.Rects.Count(); ++k) rects.push_back(r.Rects.Item(k));
  }
  for (size_t first = 0; first < rects.size(); first += kMergedPerRecord) {
    const size_t n = std::min(rects.size() - first, kMergedPerRecord);
    TRecordData d;
    d.Word(static_cast<uint16_t>(n));
    for (size_t k = first; k < first + n; ++k)
      d.Word(rects[k].Row1).Word(rects[k].Row2).Word(rects[k].Col1).Word(rects[k].Col2);
    WriteRecord(biff::kMergedCells, d);
  }
}

void TXLSWriter::WriteIndex() {
  WriteRecord(biff::kIndex, TRecordData().DWord(0).DWord(0).DWord(0xFFFF).DWord(0));
}

void TXLSWriter::WritePageBreaks(TSheet& sheet) {
  const TCellCoords& coords = sheet.CellCoords();
  const auto n = static_cast<uint16_t>(coords.Count());
  TRecordData rows, cols;
  rows.Word(n);
  cols.Word(n);
  for (int32_t i = 0; i < coords.Count(); ++i) {
    const uint32_t c = coords.Item(i);
    rows.Word(static_cast<uint16_t>(c)).Word(0).Word(0xFF);
    cols.Word(static_cast<uint16_t>(c >> 16)).Word(0).Word(0xFFFF);
  }
  WriteRecord(biff::kHorizontalPageBreaks, rows);
  WriteRecord(biff::kVerticalPageBreaks, cols);
}

void TXLSWriter::WritePageSetup(TSheet& sheet) {
  const TPageSetup& p = sheet.PageSetup();
  uint16_t options = 0;
  if (p.PageOrder == 1) options |= 0x01;
  if (p.Orientation == 1) options |= 0x02;
  if (p.NoColor) options |= 0x08;
  if (p.Draft) options |= 0x10;
  if (p.FirstPageNumber < 0xFFFF) options |= 0x80;
  WriteRecord(biff::kSetup, TRecordData()
                                .Word(p.PaperSize)
                                .Word(p.Scale)
                                .Word(p.FirstPageNumber)
                                .Word(p.UseScale ? 1 : p.FitWidth)
                                .Word(p.UseScale ? 1 : p.FitHeight)
                                .Word(options)
                                .Word(0)
                                .Word(0)
                                .Double(p.HeaderMargin)
                                .Double(p.FooterMargin)
                                .Word(0));
  uint16_t wsBool = p.UseScale ? 0x400 : 0x500;
  if (!p.SummaryRowsBelow) wsBool |= 0x40;
  if (!p.SummaryColumnsRight) wsBool |= 0x80;
  WriteRecord(biff::kWsBool, TRecordData().Word(wsBool));
  WriteRecord(biff::kPrintHeaders, TRecordData().Word(p.PrintHeadings ? 1 : 0));
  WriteRecord(biff::kPrintGridlines, TRecordData().Word(p.PrintGridlines ? 1 : 0));
  WriteGuts(sheet);
  WriteRecord(biff::kTopMargin, TRecordData().Double(p.TopMargin));
  WriteRecord(biff::kBottomMargin, TRecordData().Double(p.BottomMargin));
  WriteRecord(biff::kLeftMargin, TRecordData().Double(p.LeftMargin));
  WriteRecord(biff::kRightMargin, TRecordData().Double(p.RightMargin));
  WriteRecord(biff::kHCenter, TRecordData().Word(p.CenterHorizontally ? 1 : 0));
  WriteRecord(biff::kVCenter, TRecordData().Word(p.CenterVertically ? 1 : 0));
  WriteHeaderFooter(biff::kHeader, p.HeaderLeft, p.HeaderCenter, p.HeaderRight);
  WriteHeaderFooter(biff::kFooter, p.FooterLeft, p.FooterCenter, p.FooterRight);
}

void TXLSWriter::WriteHeaderFooter(uint16_t id, std::u16string_view left, std::u16string_view centre,
                                   std::u16string_view right) {
  const std::u16string text = HeaderFooterText(left, centre, right);
  if (text.empty()) return;
  WriteRecord(id, TRecordData().WideString(text));
}

void TXLSWriter::WriteGuts(TSheet& sheet) {
  uint16_t r = 0, c = 0;
  for (int32_t i = 0; i < sheet.Rows().Count(); ++i) r = std::max<uint16_t>(r, sheet.Rows().GetRow(i).OutlineLevel());
  for (int32_t i = 0; i < sheet.Columns().Count(); ++i)
    c = std::max<uint16_t>(c, sheet.Columns().GetColumn(i).OutlineLevel());
  WriteRecord(biff::kGuts, TRecordData()
                               .Word(static_cast<uint16_t>(r * 29))
                               .Word(static_cast<uint16_t>(c * 29))
                               .Word(r == 0 ? 0 : r + 1)
                               .Word(c == 0 ? 0 : c + 1));
}

void TXLSWriter::WriteSheetProtection(const TSheet& sheet) {
  if (sheet.Protection == 0) return;
  WriteRecord(biff::kProtect, TRecordData().Word(1));
  WriteRecord(biff::kScenProtect, TRecordData().Word(1));
  WriteRecord(biff::kObjProtect, TRecordData().Word(1));
  WriteRecord(biff::kPassword, TRecordData().Word(sheet.Protection));
  WriteRecord(biff::kSheetProtection, TRecordData()
                                          .Word(biff::kSheetProtection)
                                          .Word(0)
                                          .DWord(0)
                                          .DWord(0)
                                          .Word(2)
                                          .Byte(1)
                                          .Word(0xFFFF)
                                          .Word(0xFFFF)
                                          .Word(sheet.ProtectionOptions)
                                          .Word(0));
}

void TXLSWriter::WriteColInfos(TSheet& sheet) {
  TColumns& columns = sheet.Columns();
  for (int32_t i = 0; i < columns.Count(); ++i) {
    const TColumn& col = columns.GetColumn(i);
    const auto width = static_cast<uint16_t>(std::clamp(ColumnWidthTo256ths(col.Width()), 0, 0xFFFF));
    WriteRecord(biff::kColInfo, TRecordData()
                                    .Word(col.Index())
                                    .Word(col.Index())
                                    .Word(width)
                                    .Word(XFIndex(col.FormatIndex()))
                                    .Word(static_cast<uint16_t>((col.OutlineLevel() & 7) << 8 | (col.Hidden() ? 1 : 0)))
                                    .Byte(0));
  }
}

void TXLSWriter::WriteDimensions(const TSheet& sheet) {
  uint16_t firstRow, firstCol, lastRow, lastCol;
  if (!sheet.GetUsedRange(firstRow, firstCol, lastRow, lastCol)) return;
  WriteRecord(biff::kDimensions, TRecordData()
                                     .DWord(firstRow)
                                     .DWord(static_cast<uint32_t>(lastRow) + 1)
                                     .Word(firstCol)
                                     .Word(static_cast<uint16_t>(lastCol + 1))
                                     .Word(0));
}

void TXLSWriter::WriteRows(TSheet& sheet) {
  WriteRecord(biff::kDefaultRowHeight, TRecordData().Word(0).Word(0xFF));
  TRows& rows = sheet.Rows();
  for (int32_t i = 0; i < rows.Count(); ++i) {
    const TRow& row = rows.GetRow(i);
    uint16_t options = static_cast<uint16_t>((row.OutlineLevel() & 7) | 0x80 | 0x100);
    if (row.Hidden()) options |= 0x20;
    if (row.CustomSize()) options |= 0x40;
    const auto twips = static_cast<uint16_t>(std::clamp(RoundToInt(row.Height() * 20), 0, 0x7FFF));
    WriteRecord(biff::kRow, TRecordData()
                                .Word(row.Index())
                                .Word(0)
                                .Word(0)
                                .Word(twips)
                                .Word(0)
                                .Word(0)
                                .Word(options)
                                .Word(XFIndex(row.FormatIndex())));
  }
}

// [SECTION] cells

void TXLSWriter::WriteCells(TSheet& sheet, const TSheetStrings& strings) {
  TCells& cells = sheet.Cells();
  const auto& formulas = formulaTokens_[static_cast<size_t>(sheet.Index())];
  auto formula = formulas.begin();
  auto rich = strings.Rich.begin();
  for (int32_t i = 0; i < cells.Count(); ++i) {
    const TCellSlot& cell = cells.Slot(i);
    if (formula != formulas.end() && formula->first == i) {
      WriteFormula(cells.GetCell(i), formula->second);
      ++formula;
      Step();
      continue;
    }
    const TVariant v = cells.ValueOf(cell);
    TRecordData d;
    d.Word(cell.Row).Word(cell.Col).Word(XFIndex(cell.Format));
    if (v.Kind() == varEmpty || v.Kind() == varNull) {
      WriteRecord(biff::kBlank, d);
    } else if (IsNumberKind(v.Kind()) || v.Kind() == varDate) {
      const double x = v.Kind() == varDate ? DateSerial(v.AsDouble()) : v.AsDouble();
      // The format has no NaN or infinity: such a number is the #NUM! error.
      if (std::isfinite(x))
        WriteRecord(biff::kNumber, d.Double(x));
      else
        WriteRecord(biff::kBoolErr, d.Byte(kErrorNum).Byte(1));
    } else if (v.IsString()) {
      uint32_t index = strings.Pool[cells.StringIndex(cell)];
      if (rich != strings.Rich.end() && rich->first == i) index = (rich++)->second;
      WriteRecord(biff::kLabelSst, d.DWord(index));
    } else if (v.Kind() == varBoolean) {
      WriteRecord(biff::kBoolErr, d.Byte(v.AsBoolean() ? 1 : 0).Byte(0));
    } else if (v.Kind() == varError) {
      WriteRecord(biff::kBoolErr, d.Byte(v.AsErrorCode()).Byte(1));
    }
    Step();
  }
}

// The cached result is the cell's value: a number, a string (its text follows in
// a STRING record), a boolean, an error, or an empty string.
void TXLSWriter::WriteFormula(const TCell& cell, const std::string& tokens) {
  const TVariant& v = cell.Value();
  TRecordData d;
  d.Word(cell.Row()).Word(cell.Col()).Word(XFIndex(cell.FormatIndex()));
  auto special = [&d](uint8_t kind, uint8_t value) {
    d.Byte(kind).Byte(0).Byte(value).Byte(0).Word(0).Word(0xFFFF);  // result kind, value, marker 0xFFFF
  };
  std::u16string text;
  const bool number = IsNumberKind(v.Kind()) || v.Kind() == varDate;
  const double x = v.Kind() == varDate ? DateSerial(v.AsDouble()) : v.AsDouble();
  if (number && std::isfinite(x)) {
    d.Double(x);
  } else if (number) {
    special(kResultError, kErrorNum);
  } else if (v.Kind() == varBoolean) {
    special(kResultBoolean, v.AsBoolean() ? 1 : 0);
  } else if (v.Kind() == varError) {
    special(kResultError, v.AsErrorCode());
  } else if (v.IsString()) {
    text = v.Kind() == varString ? AnsiToWide(v.AsAnsi()) : v.AsWide();
    special(text.empty() ? kResultEmptyString : kResultString, 0);
  } else {
    special(kResultEmptyString, 0);
  }
  d.Word(0x0002);  // options: calculate on load
  d.DWord(0);      // reserved
  d.Word(static_cast<uint16_t>(tokens.size())).Bytes(tokens);
  WriteRecord(biff::kFormula, d);
  if (!text.empty()) WriteLongString(biff::kString, text);
}

void TXLSWriter::WriteLongString(uint16_t id, std::u16string_view text) {
  TContinuedRecord record(*this, id);
  record.Put(TRecordData().Word(static_cast<uint16_t>(text.size())).Byte(1).Data());
  WriteSplit(record, WideToUtf16Bytes(text), 2, std::string(1, '\x01'));
  record.Finish();
}

void TXLSWriter::WriteWindow2(const TSheet& sheet) {
  uint16_t options = 0x0080 | 0x0020 | 0x0400;
  if (sheet.FrozenRows != 0 || sheet.FrozenColumns != 0) options |= 0x0108;
  if (sheet.Selected) options |= 0x0200;
  if (sheet.ShowGridlines) options |= 0x0002;
  if (sheet.ShowHeaders) options |= 0x0004;
  if (sheet.ShowZeros) options |= 0x0010;
  if (sheet.RightToLeft) options |= 0x0040;
  if (sheet.PageBreakPreview) options |= 0x0800;
  WriteRecord(biff::kWindow2, TRecordData().Word(options).Word(0).Word(0).DWord(0).Word(0).Word(0).DWord(0));
  if (sheet.Zoom != 100) WriteRecord(biff::kScl, TRecordData().Word(sheet.Zoom).Word(100));
}

void TXLSWriter::WritePane(const TSheet& sheet) {
  if (sheet.FrozenRows == 0 && sheet.FrozenColumns == 0) return;
  const uint16_t active = sheet.FrozenRows != 0 && sheet.FrozenColumns != 0 ? 0 : (sheet.FrozenColumns != 0 ? 1 : 2);
  WriteRecord(biff::kPane, TRecordData()
                               .Word(sheet.FrozenColumns)
                               .Word(sheet.FrozenRows)
                               .Word(sheet.FrozenRows)
                               .Word(sheet.FrozenColumns)
                               .Word(active));
}

// [SECTION] encryption

// Rewrites the padded clear stream in place: every record goes through the
// block stream, and encryption starts after the record that follows FILEPASS.
void TXLSWriter::EncryptStream() {
  const std::vector<uint8_t> clear = stream_->Data();
  stream_->SetPosition(0);
  TBIFFStream out(*stream_);
  size_t pos = 0;
  bool afterFilePass = false;
  bool started = false;
  while (pos + 4 <= clear.size()) {
    const auto id = static_cast<uint16_t>(clear[pos] | clear[pos + 1] << 8);
    const size_t length = static_cast<size_t>(clear[pos + 2] | clear[pos + 3] << 8);
    if (pos + 4 + length > clear.size()) break;
    const TBIFFRecord record{id, std::string_view(reinterpret_cast<const char*>(clear.data() + pos + 4), length)};
    out.WriteRecord(record);
    pos += 4 + length;
    if (afterFilePass && !started) {
      out.StartEncryption(encryption_.Digest);
      started = true;
    }
    if (id == biff::kFilePass) afterFilePass = true;
  }
  out.Flush();
}

}  // namespace qira

// The BIFF8 workbook writer.
//
// Sections: record data | checks | save | stream | workbook | globals |
// shared strings | worksheet | cells | encryption
#include "xls/BiffWriter.h"

#include <algorithm>
#include <bit>

#include "platform/Rounding.h"
#include "xls/CompoundFile.h"
#include "xls/XlsWorkbook.h"

namespace qira {

namespace {

constexpr uint16_t kBiff8Version = 0x0600;
constexpr uint16_t kBofGlobals = 0x0005;
constexpr uint16_t kBofWorksheet = 0x0010;
constexpr int32_t kBuiltInXFCount = 21;
constexpr uint32_t kSstBuckets = 4095;
// The longest header or footer text the file format allows.
constexpr size_t kMaxHeaderFooterLength = 255;

// Byte offset of the first character of a shared-string entry: count word, flags byte.
constexpr size_t kSstEntryHeader = 3;

std::string Hex(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

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
// flags (bit 0: UTF-16 characters) and the characters.
struct TXLSWriter::TSstEntry {
  static std::string Of(const TVariant& value) {
    std::u16string text;
    if (value.Kind() == varString)
      text = AnsiToWide(value.AsAnsi());
    else
      text = value.AsWide();
    const bool compressed = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
    TRecordData d;
    d.Word(static_cast<uint16_t>(text.size())).Byte(compressed ? 0 : 1);
    if (compressed) {
      // The low bytes of the converted characters, not the 8-bit input: in a
      // multi-byte code page the two differ in length.
      std::string bytes(text.size(), '\0');
      std::transform(text.begin(), text.end(), bytes.begin(), [](char16_t c) { return static_cast<char>(c); });
      d.Bytes(bytes);
    } else {
      d.Bytes(WideToUtf16Bytes(text));
    }
    return d.Data();
  }
};

// ---------------------------------------------------------------- record data

TRecordData& TRecordData::Byte(uint8_t v) {
  data_.push_back(static_cast<char>(v));
  return *this;
}

TRecordData& TRecordData::Word(uint16_t v) { return Byte(static_cast<uint8_t>(v)).Byte(static_cast<uint8_t>(v >> 8)); }

TRecordData& TRecordData::DWord(uint32_t v) {
  return Word(static_cast<uint16_t>(v)).Word(static_cast<uint16_t>(v >> 16));
}

TRecordData& TRecordData::Double(double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  return DWord(static_cast<uint32_t>(bits)).DWord(static_cast<uint32_t>(bits >> 32));
}

TRecordData& TRecordData::Bytes(std::string_view bytes) {
  data_.append(bytes);
  return *this;
}

TRecordData& TRecordData::WideString(std::u16string_view text) {
  return Word(static_cast<uint16_t>(text.size())).Byte(1).Bytes(WideToUtf16Bytes(text));
}

// ---------------------------------------------------------------- checks

TXLSWriter::TXLSWriter(TXLSFile& file) : file_(file), workbook_(file.Workbook()) { CheckCells(); }

TXLSWriter::~TXLSWriter() = default;

void TXLSWriter::CheckCells() const {
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TSheet& sheet = sheets.Items(s);
    TPageSetup& p = sheet.PageSetup();
    if (HeaderFooterText(p.HeaderLeft, p.HeaderCenter, p.HeaderRight).size() > kMaxHeaderFooterLength ||
        HeaderFooterText(p.FooterLeft, p.FooterCenter, p.FooterRight).size() > kMaxHeaderFooterLength)
      throw EXLSError(4);
    TCells& cells = sheet.Cells();
    for (int32_t i = 0; i < cells.Count(); ++i) {
      const TCell& cell = cells.GetCell(i);
      if (cell.PropertyString().empty()) continue;
      if (!cell.GetProperty("F").empty()) throw EXLSError(13);
      if (!cell.GetProperty("R").empty() || !cell.GetProperty("H").empty()) throw EXLSError(4);
    }
  }
}

// ---------------------------------------------------------------- save

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

// ---------------------------------------------------------------- stream

void TXLSWriter::WriteBytes(std::string_view bytes) {
  const auto n = static_cast<int32_t>(bytes.size());
  // A stream that takes no more (beyond 2 GB) fails the save.
  if (stream_->Write(bytes.data(), n) != n) throw ECFileError(7);
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
    WriteWord(recordId);
    WriteWord(static_cast<uint16_t>(n));
    WriteBytes(rest.substr(0, n));
    rest.remove_prefix(n);
    recordId = biff::kContinue;
  } while (!rest.empty());
}

void TXLSWriter::PatchWord(int64_t pos, uint16_t v) {
  const int64_t back = stream_->Position();
  stream_->SetPosition(pos);
  if (!stream_->WriteWord(v)) throw ECFileError(7);
  stream_->SetPosition(back);
}

void TXLSWriter::PatchDWord(int64_t pos, uint32_t v) {
  const int64_t back = stream_->Position();
  stream_->SetPosition(pos);
  if (!stream_->WriteDWord(v)) throw ECFileError(7);
  stream_->SetPosition(back);
}

void TXLSWriter::PadStream() {
  const int64_t size = stream_->GetSize();
  if (size % 512 == 0) return;
  const std::string zeros(static_cast<size_t>(512 - size % 512), '\0');
  stream_->SetPosition(size);
  if (stream_->Write(zeros.data(), static_cast<int32_t>(zeros.size())) != static_cast<int32_t>(zeros.size()))
    throw ECFileError(7);
}

void TXLSWriter::DoProgress() {
  if (OnProgress) OnProgress(std::clamp(progress_, 0.0, 1.0));
}

void TXLSWriter::Step() {
  progress_ += step_;
  DoProgress();
}

uint16_t TXLSWriter::XFIndex(int32_t formatIndex) const { return static_cast<uint16_t>(xfBase_ + formatIndex); }

// ---------------------------------------------------------------- workbook

void TXLSWriter::WriteWorkbook() {
  progress_ = 0;
  DoProgress();
  TSheets& sheets = workbook_.Sheets();
  bool anySelected = false;
  for (int32_t i = 0; i < sheets.Count(); ++i) anySelected = anySelected || sheets.Items(i).Selected;
  if (!anySelected && sheets.Count() > 0) sheets.Items(0).Selected = true;
  if (sheets.Count() == 0) throw EXLSError(12);
  xfBase_ = file_.OmitBuiltInFormats() ? 0 : kBuiltInXFCount;

  counter_ = 0;
  BuildSharedStrings();
  progress_ = 0.05;
  DoProgress();
  // The drawing layer has no data in this model: no pictures or comments to build.
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
  progress_ = 1.0;
  DoProgress();
}

// ---------------------------------------------------------------- globals

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
  // Names, links and the drawing group have no data in this model.
  WriteRecalcId();
  WriteSst();
  WriteRecord(biff::kExtSst, TRecordData().Word(0));
  WriteRecord(biff::kEof);
}

void TXLSWriter::WriteBof(uint16_t type) {
  WriteRecord(biff::kBof, TRecordData()
                              .Word(kBiff8Version)
                              .Word(type)
                              .Word(0x1846)
                              .Word(0x07CD)
                              .DWord(0x000040C1)
                              .DWord(0x00000106));
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
                                  .Word(360)
                                  .Word(15)
                                  .Word(11340)
                                  .Word(6795)
                                  .Word(0x0038)
                                  .Word(static_cast<uint16_t>(first))
                                  .Word(static_cast<uint16_t>(first < 10 ? 0 : first))
                                  .Word(static_cast<uint16_t>(selected))
                                  .Word(600));
}

void TXLSWriter::WriteFonts() {
  const TVirtualFontTable& fonts = workbook_.FontTable();
  for (int32_t i = 0; i < fonts.Count(); ++i) WriteRecord(biff::kFont, TRecordData().Bytes(PackFont(fonts.Item(i))));
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
    const std::string style = Hex({0x00, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20});
    for (int i = 0; i < 15; ++i) WriteRecord(biff::kXF, TRecordData().Bytes(style));
    WriteRecord(biff::kXF, TRecordData().Bytes(Hex({0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0x00,
                                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20})));
    for (uint8_t format : {0x2C, 0x2A, 0x09, 0x2B, 0x29})
      WriteRecord(biff::kXF, TRecordData().Bytes(Hex({0x01, 0x00, format, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
                                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20})));
  }
  const TVirtualXFTable& xfs = workbook_.XFTable();
  const TFormatStrings& formats = workbook_.FormatStrings();
  for (int32_t i = 0; i < xfs.Count(); ++i) {
    TXFRecord xf = xfs.Item(i);
    // The file format has no font 4.
    if (xf.FontIndex >= 4) ++xf.FontIndex;
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
  d.Word(static_cast<uint16_t>(palette.Count()));
  for (int32_t i = 0; i < palette.Count(); ++i) d.DWord(palette.Color(i));
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
  WriteRecord(biff::kRecalcId, TRecordData().Bytes(Hex({0xC1, 0x01, 0x00, 0x00, 0x60, 0x69, 0x01, 0x00})));
}

// ---------------------------------------------------------------- shared strings

void TXLSWriter::BuildSharedStrings() {
  sst_ = std::make_unique<THashedStringList>(kSstBuckets);
  sstIndexes_.clear();
  const TSheets& sheets = workbook_.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TCells& cells = sheets.Items(s).Cells();
    std::vector<uint32_t>& indexes = sstIndexes_.emplace_back(static_cast<size_t>(cells.Count()), 0);
    for (int32_t i = 0; i < cells.Count(); ++i) {
      const TVariant& value = cells.GetCell(i).Value();
      if (!value.IsString()) continue;
      const std::string entry = TSstEntry::Of(value);
      int32_t index = sst_->IndexOf(entry);
      if (index < 0) index = sst_->Add(entry);
      indexes[static_cast<size_t>(i)] = static_cast<uint32_t>(index);
    }
  }
}

void TXLSWriter::WriteSst() {
  const auto unique = static_cast<uint32_t>(sst_->Count());
  WriteWord(biff::kSst);
  int64_t lengthPos = counter_;
  WriteWord(0);
  WriteDWord(unique);
  WriteDWord(unique);
  int32_t recordLength = 8;
  for (int32_t i = 0; i < sst_->Count(); ++i) WriteSstEntry(sst_->Strings(i), recordLength, lengthPos);
  PatchWord(lengthPos, static_cast<uint16_t>(recordLength));
}

// An entry goes on in a CONTINUE record when fewer than 4 bytes are left; a
// continued part starts with the entry's character width flag, and a UTF-16
// character is never split between two records.
void TXLSWriter::WriteSstEntry(const std::string& entry, int32_t& recordLength, int64_t& lengthPos) {
  const bool wide = (static_cast<uint8_t>(entry[2]) & 1) != 0;
  size_t written = 0;
  while (written < entry.size()) {
    if (biff::kMaxRecordData - recordLength < 4) {
      PatchWord(lengthPos, static_cast<uint16_t>(recordLength));
      WriteWord(biff::kContinue);
      lengthPos = counter_;
      WriteWord(0);
      recordLength = 0;
      if (written > 0) {
        WriteByte(wide ? 1 : 0);
        recordLength = 1;
      }
    }
    size_t fit = std::min(entry.size() - written, static_cast<size_t>(biff::kMaxRecordData - recordLength));
    const size_t end = written + fit;
    if (wide && end < entry.size() && end > kSstEntryHeader && (end - kSstEntryHeader) % 2 != 0) --fit;
    WriteBytes(std::string_view(entry).substr(written, fit));
    written += fit;
    recordLength += static_cast<int32_t>(fit);
  }
}

// ---------------------------------------------------------------- worksheet

void TXLSWriter::WriteSheet(TSheet& sheet, const std::vector<uint32_t>& sstIndexes) {
  PatchDWord(boundSheetPatches_[static_cast<size_t>(sheet.Index())], counter_);
  WriteBof(kBofWorksheet);
  WriteIndex();
  WritePageBreaks(sheet);
  WritePageSetup(sheet);
  WriteSheetProtection(sheet);
  WriteColInfos(sheet);
  WriteDimensions(sheet);
  WriteRows(sheet);
  WriteCells(sheet, sstIndexes);
  // Drawings, merged cells, hyperlinks and validations have no data in this model.
  WriteWindow2(sheet);
  WritePane(sheet);
  WriteRecord(biff::kEof);
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

// ---------------------------------------------------------------- cells

void TXLSWriter::WriteCells(TSheet& sheet, const std::vector<uint32_t>& sstIndexes) {
  TCells& cells = sheet.Cells();
  for (int32_t i = 0; i < cells.Count(); ++i) {
    const TCell& cell = cells.GetCell(i);
    const TVariant& v = cell.Value();
    TRecordData d;
    d.Word(cell.Row()).Word(cell.Col()).Word(XFIndex(cell.FormatIndex()));
    if (v.Kind() == varEmpty || v.Kind() == varNull) {
      WriteRecord(biff::kBlank, d);
    } else if (IsNumberKind(v.Kind())) {
      WriteRecord(biff::kNumber, d.Double(v.AsDouble()));
    } else if (v.Kind() == varDate) {
      WriteRecord(biff::kNumber, d.Double(DateSerial(v.AsDouble())));
    } else if (v.IsString()) {
      WriteRecord(biff::kLabelSst, d.DWord(sstIndexes[static_cast<size_t>(i)]));
    } else if (v.Kind() == varBoolean) {
      WriteRecord(biff::kBoolErr, d.Byte(v.AsBoolean() ? 1 : 0).Byte(0));
    }
    Step();
  }
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

// ---------------------------------------------------------------- encryption

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
    out.WriteRecord(id, std::string_view(reinterpret_cast<const char*>(clear.data() + pos + 4), length));
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

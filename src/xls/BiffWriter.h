#pragma once
// The BIFF8 workbook writer: turns one workbook of the model into the record
// stream of the Excel 97 file format and stores it as the stream "Workbook" of a
// compound file, encrypted when a password is given.
//
// The records go into the compound file's stream as they are made (a large stream
// waits in an unnamed temporary file) and reach the target only through
// TCFile::Commit(), which replaces it atomically: a save that fails for any reason
// leaves an existing file as it was. Cells are read from the sheets' compact
// records in list order; nothing per cell is held beside them.
//
// Creating the writer prepares the link table (sheet names, defined names,
// print areas and titles), parses every formula once and builds the hyperlink
// and validation records, so that what cannot be written fails before any file
// is touched.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xls/XlsSupport.h"
#include "xls/XlsProtect.h"

namespace qira {

class TCFile;
class TMSOData;
class TXLSFormulaParser;
class TCFileStream;
class TCell;
class TSheet;
class TWorkbook;
class TXLSFile;

// Record ids as the file format numbers them.
namespace biff {
inline constexpr uint16_t kFormula = 0x0006;
inline constexpr uint16_t kEof = 0x000A;
inline constexpr uint16_t kProtect = 0x0012;
inline constexpr uint16_t kPassword = 0x0013;
inline constexpr uint16_t kHeader = 0x0014;
inline constexpr uint16_t kFooter = 0x0015;
inline constexpr uint16_t kWindowProtect = 0x0019;
inline constexpr uint16_t kVerticalPageBreaks = 0x001A;
inline constexpr uint16_t kHorizontalPageBreaks = 0x001B;
inline constexpr uint16_t kDateMode = 0x0022;
inline constexpr uint16_t kLeftMargin = 0x0026;
inline constexpr uint16_t kRightMargin = 0x0027;
inline constexpr uint16_t kTopMargin = 0x0028;
inline constexpr uint16_t kBottomMargin = 0x0029;
inline constexpr uint16_t kPrintHeaders = 0x002A;
inline constexpr uint16_t kPrintGridlines = 0x002B;
inline constexpr uint16_t kFilePass = 0x002F;
inline constexpr uint16_t kFont = 0x0031;
inline constexpr uint16_t kContinue = 0x003C;
inline constexpr uint16_t kWindow1 = 0x003D;
inline constexpr uint16_t kPane = 0x0041;
inline constexpr uint16_t kObjProtect = 0x0063;
inline constexpr uint16_t kColInfo = 0x007D;
inline constexpr uint16_t kGuts = 0x0080;
inline constexpr uint16_t kWsBool = 0x0081;
inline constexpr uint16_t kHCenter = 0x0083;
inline constexpr uint16_t kVCenter = 0x0084;
inline constexpr uint16_t kBoundSheet = 0x0085;
inline constexpr uint16_t kCountry = 0x008C;
inline constexpr uint16_t kHideObj = 0x008D;
inline constexpr uint16_t kPalette = 0x0092;
inline constexpr uint16_t kScl = 0x00A0;
inline constexpr uint16_t kSetup = 0x00A1;
inline constexpr uint16_t kMms = 0x00C1;
inline constexpr uint16_t kScenProtect = 0x00DD;
inline constexpr uint16_t kXF = 0x00E0;
inline constexpr uint16_t kInterfaceHdr = 0x00E1;
inline constexpr uint16_t kInterfaceEnd = 0x00E2;
inline constexpr uint16_t kMergedCells = 0x00E5;
inline constexpr uint16_t kSst = 0x00FC;
inline constexpr uint16_t kLabelSst = 0x00FD;
inline constexpr uint16_t kExtSst = 0x00FF;
inline constexpr uint16_t kTabId = 0x013D;
inline constexpr uint16_t kDsf = 0x0161;
inline constexpr uint16_t kExcel9File = 0x01C0;
inline constexpr uint16_t kRecalcId = 0x01C1;
inline constexpr uint16_t kDimensions = 0x0200;
inline constexpr uint16_t kBlank = 0x0201;
inline constexpr uint16_t kNumber = 0x0203;
inline constexpr uint16_t kBoolErr = 0x0205;
inline constexpr uint16_t kRow = 0x0208;
inline constexpr uint16_t kIndex = 0x020B;
inline constexpr uint16_t kDefaultRowHeight = 0x0225;
inline constexpr uint16_t kWindow2 = 0x023E;
inline constexpr uint16_t kStyle = 0x0293;
inline constexpr uint16_t kFormat = 0x041E;
inline constexpr uint16_t kExternSheet = 0x0017;
inline constexpr uint16_t kName = 0x0018;
inline constexpr uint16_t kNote = 0x001C;
inline constexpr uint16_t kExternName = 0x0023;
inline constexpr uint16_t kObj = 0x005D;
inline constexpr uint16_t kMsoDrawingGroup = 0x00EB;
inline constexpr uint16_t kMsoDrawing = 0x00EC;
inline constexpr uint16_t kSupBook = 0x01AE;
inline constexpr uint16_t kDVal = 0x01B2;
inline constexpr uint16_t kTxo = 0x01B6;
inline constexpr uint16_t kHLink = 0x01B8;
inline constexpr uint16_t kDV = 0x01BE;
inline constexpr uint16_t kString = 0x0207;
inline constexpr uint16_t kBof = 0x0809;
inline constexpr uint16_t kSheetProtection = 0x0867;

// The most data bytes one record carries; longer data goes on in CONTINUE records.
inline constexpr int32_t kMaxRecordData = 8224;
}  // namespace biff

// The data of one record, built little-endian before it is written.
class TRecordData {
 public:
  TRecordData& Byte(uint8_t v);
  TRecordData& Word(uint16_t v);
  TRecordData& DWord(uint32_t v);
  TRecordData& Double(double v);
  TRecordData& Bytes(std::string_view bytes);
  // Character count (word), option byte 1, UTF-16LE text.
  TRecordData& WideString(std::u16string_view text);
  const std::string& Data() const { return data_; }
  size_t Size() const { return data_.size(); }

 private:
  std::string data_;
};

// One writer serves one save.
class TXLSWriter {
 public:
  // Checks that every cell can be written (see the file comment) before any file
  // is touched.
  explicit TXLSWriter(TXLSFile& file);
  ~TXLSWriter();
  TXLSWriter(const TXLSWriter&) = delete;
  TXLSWriter& operator=(const TXLSWriter&) = delete;

  // Called with the fraction of the work done, kept in 0..1.
  std::function<void(double)> OnProgress;
  // The 16 bytes of the encryption salt; random unless replaced.
  TSaltSource SaltSource;

  // A protected workbook is encrypted with the default write-protection password.
  void SaveToFile(const std::string& utf8Path);
  // Encrypted when password is not empty (at most 15 characters).
  void SaveToFileWithPassword(const std::string& utf8Path, std::u16string_view password);
  // The same into the root storage of a compound file that the caller commits.
  void SaveToCompoundFile(TCFile& file, std::u16string_view password);

 private:
  struct TSstEntry;
  class TContinuedRecord;
  // A sheet's shared-string indexes: per entry of its string pool (plain text),
  // and by list position for the few cells whose text has rich-text runs.
  struct TSheetStrings {
    std::vector<uint32_t> Pool;
    std::vector<std::pair<int32_t, uint32_t>> Rich;
  };

  // Headers and footers hold at most 255 characters (EXLSError 4).
  void CheckPageSetups() const;
  // Sheet names, XTI entries and defined names into the link table, then every
  // formula parsed once.
  void PrepareNames();
  void ParseFormulas();

  void WriteByte(uint8_t v);
  void WriteWord(uint16_t v);
  void WriteDWord(uint32_t v);
  void WriteBytes(std::string_view bytes);
  // A whole record; data beyond the limit goes on in CONTINUE records.
  void WriteRecord(uint16_t id, const TRecordData& data);
  void WriteRecord(uint16_t id) { WriteRecord(id, TRecordData()); }
  // Overwrites the dword at pos without moving the position or the counter.
  void PatchDWord(int64_t pos, uint32_t v);
  void PatchWord(int64_t pos, uint16_t v);
  void PadStream();
  void DoProgress();
  void Step();

  void WriteWorkbook();
  void BuildSharedStrings();

  void WriteGlobals();
  void WriteBof(uint16_t type);
  void WriteFilePass();
  void WriteInterfaceHdr();
  void WriteTabId();
  void WriteWorkbookProtection();
  void WriteWindow1();
  void WriteFonts();
  void WriteFormats();
  void WriteXFs();
  void WriteStyles();
  void WritePalette();
  void WriteBoundSheet(const TSheet& sheet);
  void WriteRecalcId();
  void WriteLinkTable();
  void WriteSst();
  void WriteSstEntry(const std::string& entry, TContinuedRecord& record, uint32_t& start, uint16_t& offset);
  // Writes bytes in pieces of whole units; a record begun for the rest starts with lead.
  void WriteSplit(TContinuedRecord& record, std::string_view bytes, size_t unit, std::string_view lead);

  void WriteSheet(TSheet& sheet, const TSheetStrings& strings);
  void WriteIndex();
  void WritePageBreaks(TSheet& sheet);
  void WritePageSetup(TSheet& sheet);
  void WriteHeaderFooter(uint16_t id, std::u16string_view left, std::u16string_view centre,
                         std::u16string_view right);
  void WriteGuts(TSheet& sheet);
  void WriteSheetProtection(const TSheet& sheet);
  void WriteColInfos(TSheet& sheet);
  void WriteDimensions(const TSheet& sheet);
  void WriteRows(TSheet& sheet);
  void WriteCells(TSheet& sheet, const TSheetStrings& strings);
  void WriteFormula(const TCell& cell, const std::string& tokens);
  // A record of a string header and text whose characters run on in CONTINUE
  // records, each of which starts with the width flag.
  void WriteLongString(uint16_t id, std::u16string_view text);
  void WriteMergedCells(TSheet& sheet);
  void WriteWindow2(const TSheet& sheet);
  void WritePane(const TSheet& sheet);

  void EncryptStream();

  uint16_t XFIndex(int32_t formatIndex) const;

  TXLSFile& file_;
  TWorkbook& workbook_;
  std::unique_ptr<TXLSFormulaParser> parser_;
  // Per sheet: the token bytes of each formula by the list position of its cell, ascending.
  std::vector<std::vector<std::pair<int32_t, std::string>>> formulaTokens_;
  // Per sheet: the HLINK and DV record data, built before anything is written.
  std::vector<std::vector<std::string>> hyperlinks_;
  std::vector<std::vector<std::string>> validations_;
  std::unique_ptr<TMSOData> drawings_;
  TCFileStream* stream_ = nullptr;
  std::string record_;  // the record being written
  uint32_t counter_ = 0;
  std::u16string password_;
  TEncryptionHeader encryption_;
  std::vector<int64_t> boundSheetPatches_;
  std::unique_ptr<THashedStringList> sst_;
  std::vector<TSheetStrings> sstIndexes_;
  int32_t xfBase_ = 21;
  double progress_ = 0;
  double step_ = 0;
};

}  // namespace qira

// The workbook writer: what we write is read back by an independent reader
// (Python's xlrd), record layouts are checked on the stream bytes, and encrypted
// workbooks are decrypted by an independent RC4/MD5 reader in Python (hashlib)
// before xlrd reads them.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   peers
//   stream helpers
//   peer: xlrd
//   stream layout
//   failures
//   encryption
#include "xls/BiffWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <filesystem>
#include <string>
#include <vector>

#include "support/BiffRecords.h"
#include "support/PeerRun.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"
#include "xls/CompoundFile.h"
#include "xls/XlsProtect.h"
#include "xls/XlsWorkbook.h"

namespace qira {
namespace {

// [SECTION] peers

// Prints every sheet, its column widths and every cell within the used range
// with its kind, value, number format and horizontal alignment. With a second
// argument the file is a raw workbook stream, not a compound file.
const char* const kXlrdPeer = R"PY(
import sys, xlrd
sys.stdout.reconfigure(encoding="utf-8")
if len(sys.argv) > 2:
    book = xlrd.open_workbook(file_contents=open(sys.argv[1], "rb").read(), formatting_info=True)
else:
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for s in range(book.nsheets):
    sh = book.sheet_by_index(s)
    print("sheet %d %s %d" % (s, sh.name, sh.visibility))
    for c, info in sorted(sh.colinfo_map.items()):
        print("width %d %d %d" % (s, c, info.width))
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                print("cell %d %d %d empty" % (s, r, c))
                continue
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map[xf.format_key].format_str
            print("cell %d %d %d %d %r %s %d" % (s, r, c, cell.ctype, cell.value, fmt, xf.alignment.hor_align))
)PY";

// Decrypts an encrypted workbook stream with the RC4 scheme of the format (MD5
// key derivation, a new key every 1024 bytes), checks the password verifier and
// which bytes were in the clear, then hands the clear stream (FILEPASS turned
// into an ignored record of the same size) to the xlrd peer.
const char* const kDecryptPeer = R"PY(
import hashlib, struct, subprocess, sys, olefile
def rc4(key):
    s = list(range(256)); j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 255; s[i], s[j] = s[j], s[i]
    i = j = 0
    while True:
        i = (i + 1) & 255; j = (j + s[i]) & 255; s[i], s[j] = s[j], s[i]
        yield s[(s[i] + s[j]) & 255]
path, password, peer, out = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
data = bytearray(olefile.OleFileIO(path).openstream("Workbook").read())
print("length %d" % len(data))
recs = []; pos = 0
while pos + 4 <= len(data):
    rid, n = struct.unpack_from("<HH", data, pos); recs.append((rid, pos, n)); pos += 4 + n
assert recs[0][0] == 0x0809 and recs[1][0] == 0x002F, "FILEPASS is not second"
kind, major, minor = struct.unpack_from("<HHH", data, recs[1][1] + 4)
print("filepass %d %d %d" % (kind, major, minor))
salt = bytes(data[recs[1][1] + 10:recs[1][1] + 26])
verifier = bytes(data[recs[1][1] + 26:recs[1][1] + 42])
vhash = bytes(data[recs[1][1] + 42:recs[1][1] + 58])
print("salt is verifier %s" % (salt == verifier))
h0 = hashlib.md5(password.encode("utf-16-le")).digest()
d = hashlib.md5((h0[:5] + salt) * 16).digest()
def key(block):
    return hashlib.md5(d[:5] + struct.pack("<I", block)).digest()
ks = rc4(key(0))
v = bytes(b ^ next(ks) for b in verifier)
h = bytes(b ^ next(ks) for b in vhash)
print("verifier ok %s" % (hashlib.md5(v).digest() == h))
def keystream_at(off):
    ks = rc4(key(off // 1024))
    for _ in range(off % 1024): next(ks)
    return next(ks)
clear = bytearray(data)
for idx, (rid, p, n) in enumerate(recs):
    if idx < 3 or rid in (0x0809, 0x00E1): continue
    for k in range(n):
        if rid == 0x0085 and k < 4: continue
        clear[p + 4 + k] ^= keystream_at(p + 4 + k)
print("interfacehdr clear %s" % (recs[2][0] == 0x00E1 and data[recs[2][1] + 4:recs[2][1] + 6] == b"\xb0\x04"))
print("mms id %04x" % recs[3][0])
for rid, p, n in recs:
    if rid == 0x0085:
        off, = struct.unpack_from("<I", data, p + 4)
        print("boundsheet offset %d names bof %s" % (off, struct.unpack_from("<H", clear, off)[0] == 0x0809))
        print("boundsheet name hidden %s" % (data[p + 12:p + 4 + n] != clear[p + 12:p + 4 + n]))
struct.pack_into("<H", clear, recs[1][1], 0x01AF)
open(out, "wb").write(clear)
r = subprocess.run([sys.executable, peer, out, "raw"], capture_output=True, text=True)
sys.stdout.write(r.stdout); sys.stderr.write(r.stderr)
sys.exit(r.returncode)
)PY";

using test::RunPython;
using test::TPeerOutput;

TPeerOutput ReadWithXlrd(const TScratchFolder& folder, const std::string& path) {
  return RunPython(folder, "xlrd_peer.py", kXlrdPeer, {path});
}

TPeerOutput DecryptAndRead(const TScratchFolder& folder, const std::string& path, const std::string& password) {
  folder.Put("xlrd_peer.py", kXlrdPeer);
  return RunPython(folder, "decrypt_peer.py", kDecryptPeer,
                   {path, password, folder.File("xlrd_peer.py"), folder.File("clear.bin")});
}

// [SECTION] stream helpers

std::string WorkbookStream(TXLSFile& file, std::u16string_view password = u"") {
  TCFile memory(cfmCreateInMemory, "");
  TXLSWriter writer(file);
  writer.SaveToCompoundFile(memory, password);
  const auto& bytes = memory.Root().FindStream("Workbook")->Data();
  return std::string(bytes.begin(), bytes.end());
}

using test::LeDWord;
using test::LeWord;
using test::TBiffRecords;

std::string Bytes(std::initializer_list<uint8_t> b) { return std::string(b.begin(), b.end()); }

// Every test starts at 96 dots per inch in code page 1252.
class BiffWriter : public ::testing::Test {
 protected:
  void SetUp() override { SetXLSScreenPixelsPerInch(96); }
  void TearDown() override {
    SetXLSScreenPixelsPerInch(savedDpi_);
    SetXLSCodePage(savedCodePage_);
  }
  TSheet& Sheet(int i = 0) { return file_.Workbook().Sheets().Items(i); }

  int savedDpi_ = XLSScreenPixelsPerInch();
  uint32_t savedCodePage_ = XLSCodePage();
  TXLSFile file_;
  TScratchFolder folder_;
};

// [SECTION] peer: xlrd

TEST_F(BiffWriter, XlrdReadsTheSectionExportAsWritten) {
  TSheet& sheet = Sheet();
  sheet.SetNameUtf8("12.5 kHz \xC3\xA4");
  for (int c = 0; c < 4; ++c) sheet.Columns().Items(c).SetWidth(14.0);
  for (int c = 0; c < 3; ++c) sheet.Columns().Items(c).SetNumberFormat(2);
  sheet.Columns().Items(3).SetNumberFormat(10);
  for (int c = 0; c < 4; ++c) sheet.Columns().Items(c).SetHorizontalAlignment(3);
  const char* headers[] = {"Nord", "Ost", "H\xC3\xB6he", "\xCE\xA9m"};  // "Höhe", "Ωm"
  for (int c = 0; c < 4; ++c) {
    sheet.Cells().Items(0, c).SetNumberFormat(35);
    sheet.Cells().Items(0, c).SetValueUtf8(headers[c]);
  }
  const double rows[2][4] = {{5600100.25, 3400200.5, -12.75, 0.00015}, {5600101.5, 3400201, -13, 12345.5}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 4; ++c) sheet.Cells().Items(r + 1, c).SetValue(rows[r][c]);
  const std::string path = folder_.File("section.xls");
  file_.SaveAs(path);

  const TPeerOutput peer = ReadWithXlrd(folder_, path);
  ASSERT_EQ(peer.status, 0) << peer.text;
  const std::vector<std::string> expected = {
      "sheet 0 12.5 kHz \xC3\xA4 0",
      "width 0 0 3767",
      "width 0 1 3767",
      "width 0 2 3767",
      "width 0 3 3767",
      "cell 0 0 0 1 'Nord' @ 3",
      "cell 0 0 1 1 'Ost' @ 3",
      "cell 0 0 2 1 'H\xC3\xB6he' @ 3",
      "cell 0 0 3 1 '\xCE\xA9m' @ 3",
      "cell 0 1 0 2 5600100.25 0.00 3",
      "cell 0 1 1 2 3400200.5 0.00 3",
      "cell 0 1 2 2 -12.75 0.00 3",
      "cell 0 1 3 2 0.00015 0.00E+00 3",
      "cell 0 2 0 2 5600101.5 0.00 3",
      "cell 0 2 1 2 3400201.0 0.00 3",
      "cell 0 2 2 2 -13.0 0.00 3",
      "cell 0 2 3 2 12345.5 0.00E+00 3",
  };
  EXPECT_EQ(peer.lines, expected) << peer.text;
}

TEST_F(BiffWriter, XlrdReadsEveryValueKindEmptyCellsAndSeveralSheets) {
  TSheet& first = Sheet();
  first.Cells().Items(0, 0).SetValue(TVariant::Integer(-7));
  first.Cells().Items(0, 2).SetValue(TVariant::Boolean(true));
  first.Cells().Items(1, 1).SetFontBold(true);  // stored without a value: a blank cell
  first.Cells().Items(2, 0).SetValue(TVariant::Date(61.5));  // 1900-03-01 12:00
  first.Cells().Items(2, 1).SetValue(TVariant::AnsiString("caf\xE9 \x80"));  // "café €" in 1252
  first.Cells().Items(2, 2).SetValue(TVariant::Currency(12345));
  TSheet& second = file_.Workbook().Sheets().Add(u"Zweite \u00FC");
  second.Visible = false;
  second.Cells().Items(3, 4).SetValueUtf8("");
  TSheet& third = file_.Workbook().Sheets().Add(u"Empty");
  third.Columns().Items(2).SetWidth(3.5);
  const std::string path = folder_.File("kinds.xls");
  file_.SaveAs(path);

  const TPeerOutput peer = ReadWithXlrd(folder_, path);
  ASSERT_EQ(peer.status, 0) << peer.text;
  const std::vector<std::string> expected = {
      "sheet 0 Sheet1 0",
      "cell 0 0 0 2 -7.0 General 0",
      "cell 0 0 1 empty",
      "cell 0 0 2 4 1 General 0",
      "cell 0 1 0 empty",
      "cell 0 1 1 6 '' General 0",
      "cell 0 1 2 empty",
      // Built-in formats have no FORMAT record: the reader names id 14 its own way.
      "cell 0 2 0 3 61.5 m/d/yy 0",
      "cell 0 2 1 1 'caf\xC3\xA9 \xE2\x82\xAC' General 0",
      "cell 0 2 2 2 1.2345 General 0",
      "sheet 1 Zweite \xC3\xBC 1",
      "cell 1 0 0 empty",
      "cell 1 0 1 empty",
      "cell 1 0 2 empty",
      "cell 1 0 3 empty",
      "cell 1 0 4 empty",
      "cell 1 1 0 empty",
      "cell 1 1 1 empty",
      "cell 1 1 2 empty",
      "cell 1 1 3 empty",
      "cell 1 1 4 empty",
      "cell 1 2 0 empty",
      "cell 1 2 1 empty",
      "cell 1 2 2 empty",
      "cell 1 2 3 empty",
      "cell 1 2 4 empty",
      "cell 1 3 0 empty",
      "cell 1 3 1 empty",
      "cell 1 3 2 empty",
      "cell 1 3 3 empty",
      "cell 1 3 4 1 '' General 0",
      "sheet 2 Empty 0",
      "width 2 2 1079",
  };
  EXPECT_EQ(peer.lines, expected) << peer.text;
}

TEST_F(BiffWriter, XlrdReadsLongStringsThatRunIntoContinueRecords) {
  // Enough text to fill several records: wide and compressed strings of odd and
  // even lengths, so that splits fall at every kind of place.
  std::vector<std::u16string> texts;
  for (int i = 0; i < 12; ++i) {
    std::u16string text;
    const int length = 1500 + i * 701;
    for (int k = 0; k < length; ++k)
      text.push_back(i % 2 ? static_cast<char16_t>(0x0391 + (k + i) % 17) : static_cast<char16_t>(u'a' + (k + i) % 26));
    texts.push_back(text);
    Sheet().Cells().Items(i, 0).SetValue(TVariant::OleStr(text));
  }
  const std::string path = folder_.File("long.xls");
  file_.SaveAs(path);

  const TPeerOutput peer = ReadWithXlrd(folder_, path);
  ASSERT_EQ(peer.status, 0) << peer.text.substr(0, 2000);
  ASSERT_EQ(peer.lines.size(), texts.size() + 1) << peer.text.substr(0, 2000);
  for (size_t i = 0; i < texts.size(); ++i)
    EXPECT_TRUE(peer.lines[i + 1] == "cell 0 " + std::to_string(i) + " 0 1 '" + WideToUtf8(texts[i]) + "' General 0")
        << "string " << i << " differs";
}

// [SECTION] stream layout

TEST_F(BiffWriter, TheGlobalsComeInTheirFixedOrder) {
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  const TBiffRecords g = TBiffRecords(WorkbookStream(file_)).Substream(0);
  const std::vector<uint16_t> order = {
      biff::kBof,       biff::kInterfaceHdr, biff::kMms,         biff::kInterfaceEnd, biff::kExcel9File,
      biff::kDsf,       biff::kTabId,        biff::kWindowProtect, biff::kProtect,    biff::kWindow1,
      biff::kHideObj,   biff::kDateMode,     biff::kFont,        biff::kXF,           biff::kStyle,
      biff::kPalette,   biff::kBoundSheet,   biff::kCountry,     biff::kSupBook,      biff::kExternSheet,
      biff::kRecalcId,  biff::kSst,          biff::kExtSst,      biff::kEof};
  EXPECT_EQ(g.IdSequence(), order);
  EXPECT_EQ(g.Find(biff::kBof).data,
            Bytes({0x00, 0x06, 0x05, 0x00, 0x46, 0x18, 0xCD, 0x07, 0xC1, 0x40, 0, 0, 0x06, 0x01, 0, 0}));
  EXPECT_EQ(g.Find(biff::kWindow1).data,
            Bytes({0x68, 0x01, 0x0F, 0x00, 0x4C, 0x2C, 0x8B, 0x1A, 0x38, 0, 0, 0, 0, 0, 1, 0, 0x58, 0x02}));
  // 21 built-in formats, then the one interned format.
  ASSERT_EQ(g.CountOf(biff::kXF), 22u);
  EXPECT_EQ(g.Find(biff::kXF, 15).data, Bytes({0, 0, 0, 0, 0x01, 0x00, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20}));
  EXPECT_EQ(g.Find(biff::kXF, 16).data,
            Bytes({1, 0, 0x2C, 0, 0xF5, 0xFF, 0x20, 0, 0, 0xF8, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20}));
  EXPECT_EQ(g.Find(biff::kXF, 21).data,
            Bytes({0, 0, 0, 0, 0x01, 0x00, 0x20, 0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20}));
  EXPECT_EQ(g.CountOf(biff::kStyle), 6u);
  EXPECT_EQ(g.Find(biff::kStyle).data, Bytes({0x10, 0x80, 0x04, 0xFF}));
  EXPECT_EQ(g.Find(biff::kRecalcId).data, Bytes({0xC1, 0x01, 0x00, 0x00, 0x60, 0x69, 0x01, 0x00}));
}

TEST_F(BiffWriter, ThePaletteHoldsFiftySixColoursAndEveryFormatsFontIsWritten) {
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  const TBiffRecords g = TBiffRecords(WorkbookStream(file_)).Substream(0);
  const std::string& palette = g.Find(biff::kPalette).data;
  ASSERT_EQ(palette.size(), 2u + 4 * 56);
  EXPECT_EQ(LeWord(palette, 0), 56);
  // The style formats use font 1: fonts 0 to 3 are written (copies of font 0).
  const std::vector<test::TBiffRecord> fonts = g.FindAll(biff::kFont);
  ASSERT_EQ(fonts.size(), 4u);
  for (const auto& f : fonts) EXPECT_EQ(f.data, fonts[0].data);
  for (const auto& xf : g.FindAll(biff::kXF)) EXPECT_LT(LeWord(xf.data, 0), 4);
}

TEST_F(BiffWriter, ExtSstGivesEachBucketsFirstStringItsPositionAndOffset) {
  // 20 strings: buckets of 8 start at strings 0, 8 and 16.
  for (int i = 0; i < 20; ++i) Sheet().Cells().Items(i, 0).SetValueUtf8("s" + std::to_string(i));
  const std::string stream = WorkbookStream(file_);
  const TBiffRecords g = TBiffRecords(stream).Substream(0);
  const std::string& ext = g.Find(biff::kExtSst).data;
  ASSERT_EQ(ext.size(), 2u + 3 * 8);
  EXPECT_EQ(LeWord(ext, 0), 8);
  const test::TBiffRecord& sst = g.Find(biff::kSst);
  for (int b = 0; b < 3; ++b) {
    const uint32_t pos = LeDWord(ext, 2 + 8 * b);
    EXPECT_EQ(pos - sst.offset, LeWord(ext, 6 + 8 * b));
    const std::string expected = "s" + std::to_string(8 * b);
    EXPECT_EQ(stream.substr(pos + 3, expected.size()), expected);
  }
}

TEST_F(BiffWriter, OneNumberCellGivesTheSheetRecordsInOrder) {
  Sheet().Cells().Items(0, 3).SetValue(2.5);
  const std::string stream = WorkbookStream(file_);
  EXPECT_EQ(stream.size() % 512, 0u);
  const TBiffRecords all(stream);
  const TBiffRecords sheet = all.Substream(1);
  const std::vector<uint16_t> expected = {
      biff::kBof,         biff::kIndex,     biff::kHorizontalPageBreaks, biff::kVerticalPageBreaks,
      biff::kSetup,       biff::kWsBool,    biff::kPrintHeaders,         biff::kPrintGridlines,
      biff::kGuts,        biff::kTopMargin, biff::kBottomMargin,         biff::kLeftMargin,
      biff::kRightMargin, biff::kHCenter,   biff::kVCenter,              biff::kDimensions,
      biff::kDefaultRowHeight, biff::kNumber, biff::kWindow2,            biff::kEof};
  EXPECT_EQ(sheet.IdSequence(), expected);
  // The BOUNDSHEET offset points at this BOF.
  const std::string& bound = all.Find(biff::kBoundSheet).data;
  EXPECT_EQ(LeDWord(bound, 0), sheet[0].offset);
  EXPECT_EQ(bound.substr(4), Bytes({0, 0, 6, 1, 'S', 0, 'h', 0, 'e', 0, 'e', 0, 't', 0, '1', 0}));
  EXPECT_EQ(sheet.Find(biff::kDimensions).data, Bytes({0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 4, 0, 0, 0}));
  EXPECT_EQ(sheet.Find(biff::kSetup).data.size(), 34u);
  EXPECT_EQ(LeWord(sheet.Find(biff::kWsBool).data, 0), 0x4C0);
  EXPECT_EQ(sheet.Find(biff::kNumber).data, Bytes({0, 0, 3, 0, 21, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x40}));
  EXPECT_EQ(LeWord(sheet.Find(biff::kWindow2).data, 0), 0x0080 | 0x0020 | 0x0400 | 0x0200 | 0x0002 | 0x0004 | 0x0010);
}

TEST_F(BiffWriter, CellsAreWrittenInTheOrderTheyWereFirstSetWhateverTheirRowsAndColumns) {
  // Rows revisited after others, columns falling, strings and numbers mixed.
  const std::vector<std::pair<int, int>> order = {{5, 3}, {5, 1}, {2, 0}, {5, 2}, {2, 4}, {0, 0}, {2, 1}, {9, 0}};
  TCells& cells = Sheet().Cells();
  for (size_t k = 0; k < order.size(); ++k) {
    TCell& cell = cells.Items(order[k].first, order[k].second);
    if (k % 3 == 2)
      cell.SetValueUtf8("text " + std::to_string(k));
    else
      cell.SetValue(static_cast<double>(k));
  }
  cells.Items(5, 1).SetValue(100.0);  // a stored cell changed again keeps its place
  for (size_t k = 0; k < order.size(); ++k) {
    const TCell* found = cells.Find(order[k].first, order[k].second);
    ASSERT_NE(found, nullptr) << k;
    EXPECT_EQ(cells.IndexOfItem(*found), static_cast<int32_t>(k));
  }
  EXPECT_FALSE(cells.Exists(5, 0));
  EXPECT_FALSE(cells.Exists(2, 2));

  const TBiffRecords sheet = TBiffRecords(WorkbookStream(file_)).Substream(1);
  std::vector<std::pair<int, int>> written;
  for (const auto& r : sheet.All())
    if (r.id == biff::kNumber || r.id == biff::kLabelSst) written.emplace_back(LeWord(r.data, 0), LeWord(r.data, 2));
  EXPECT_EQ(written, order);
  EXPECT_EQ(sheet.Find(biff::kNumber, 1).data.substr(6), TRecordData().Double(100.0).Data());
  EXPECT_EQ(sheet.Find(biff::kDimensions).data, Bytes({0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 5, 0, 0, 0}));
}

TEST_F(BiffWriter, NonFiniteNumbersAreNumErrorCells) {
  Sheet().Cells().Items(0, 0).SetValue(std::numeric_limits<double>::quiet_NaN());
  Sheet().Cells().Items(0, 1).SetValue(-std::numeric_limits<double>::infinity());
  const TBiffRecords sheet = TBiffRecords(WorkbookStream(file_)).Substream(1);
  EXPECT_FALSE(sheet.Has(biff::kNumber));
  EXPECT_EQ(sheet.Find(biff::kBoolErr, 0).data, Bytes({0, 0, 0, 0, 21, 0, 0x24, 1}));
  EXPECT_EQ(sheet.Find(biff::kBoolErr, 1).data, Bytes({0, 0, 1, 0, 21, 0, 0x24, 1}));
}

TEST_F(BiffWriter, ASheetWithoutCellsHasNoDimensions) {
  Sheet().Columns().Items(1).SetWidth(14.0);
  const TBiffRecords sheet = TBiffRecords(WorkbookStream(file_)).Substream(1);
  EXPECT_FALSE(sheet.Has(biff::kDimensions));
  EXPECT_EQ(sheet.Find(biff::kColInfo).data, Bytes({1, 0, 1, 0, 0xB7, 0x0E, 21, 0, 0, 0, 0}));  // 3767 = 0x0EB7
}

TEST_F(BiffWriter, EqualTextsShareOneSharedString) {
  Sheet().Cells().Items(0, 0).SetValue(TVariant::AnsiString("Tiefe"));
  Sheet().Cells().Items(5, 1).SetValue(TVariant::AnsiString("Tiefe"));
  const TBiffRecords r(WorkbookStream(file_));
  EXPECT_EQ(r.Find(biff::kSst).data, Bytes({1, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 'T', 'i', 'e', 'f', 'e'}));
  ASSERT_EQ(r.CountOf(biff::kLabelSst), 2u);
  EXPECT_EQ(LeDWord(r.Find(biff::kLabelSst, 0).data, 6), 0u);
  EXPECT_EQ(LeDWord(r.Find(biff::kLabelSst, 1).data, 6), 0u);
}

TEST_F(BiffWriter, AWideStringSplitsBetweenCharactersAndItsContinuationSaysSo) {
  // 8224 - 8 (counts) - 3 (entry header) leaves an odd number of bytes for the
  // characters, so the split would fall inside a character.
  const std::u16string text(6000, u'\u03A9');
  Sheet().Cells().Items(0, 0).SetValue(TVariant::OleStr(text));
  const TBiffRecords r(WorkbookStream(file_));
  const test::TBiffRecord& next = r.After(biff::kSst);
  ASSERT_EQ(next.id, biff::kContinue);
  EXPECT_EQ(r.Find(biff::kSst).data.size(), 8223u);  // one byte short of the limit
  EXPECT_EQ(static_cast<uint8_t>(next.data[0]), 1);
  EXPECT_EQ(next.data.size(), 1u + 12000 - (8223 - 11));
  EXPECT_EQ(r.After(biff::kSst, 2).id, biff::kExtSst);
}

TEST_F(BiffWriter, AnEntryStartingInTheLastThreeBytesStartsAContinueWithoutFlag) {
  // The first entry leaves exactly 3 bytes of the first record free.
  Sheet().Cells().Items(0, 0).SetValue(TVariant::OleStr(std::u16string(8224 - 8 - 3 - 3, u'x')));
  Sheet().Cells().Items(1, 0).SetValue(TVariant::OleStr(u"yz"));
  const TBiffRecords r(WorkbookStream(file_));
  EXPECT_EQ(r.Find(biff::kSst).data.size(), 8221u);
  ASSERT_EQ(r.After(biff::kSst).id, biff::kContinue);
  EXPECT_EQ(r.After(biff::kSst).data, Bytes({2, 0, 0, 'y', 'z'}));
}

TEST_F(BiffWriter, WithTheSeventhOptionNoBuiltInFormatIsWritten) {
  file_.OptionFlags[6] = 1;
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  Sheet().Cells().Items(0, 1).SetFontItalic(true);
  const TBiffRecords r(WorkbookStream(file_));
  EXPECT_EQ(r.CountOf(biff::kXF), 2u);
  EXPECT_EQ(LeWord(r.Find(biff::kNumber).data, 4), 0);
  EXPECT_EQ(LeWord(r.Find(biff::kBlank).data, 4), 1);
}

TEST_F(BiffWriter, RowsPageSetupProtectionAndPanesAreWrittenAsSet) {
  TSheet& sheet = Sheet();
  sheet.Rows().Items(2).SetHeight(15.0);
  sheet.Rows().Items(2).SetOutlineLevel(2);
  sheet.PageSetup().HeaderCenter = u"Mitte";
  sheet.PageSetup().FooterRight = u"&P";
  sheet.Protection = 0xCC3D;
  sheet.FrozenRows = 1;
  sheet.Zoom = 75;
  sheet.CellCoords().Add(10, 3);
  const TBiffRecords r = TBiffRecords(WorkbookStream(file_)).Substream(1);
  EXPECT_EQ(r.Find(biff::kHorizontalPageBreaks).data, Bytes({1, 0, 10, 0, 0, 0, 0xFF, 0}));
  EXPECT_EQ(r.Find(biff::kVerticalPageBreaks).data, Bytes({1, 0, 3, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(r.Find(biff::kGuts).data, Bytes({58, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_EQ(r.Find(biff::kHeader).data,
            Bytes({7, 0, 1, '&', 0, 'C', 0, 'M', 0, 'i', 0, 't', 0, 't', 0, 'e', 0}));
  EXPECT_EQ(r.Find(biff::kFooter).data, Bytes({4, 0, 1, '&', 0, 'R', 0, '&', 0, 'P', 0}));
  EXPECT_EQ(r.Find(biff::kPassword).data, Bytes({0x3D, 0xCC}));
  EXPECT_EQ(r.Find(biff::kSheetProtection).data,
            Bytes({0x67, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x44, 0, 0}));
  // 15 points = 300 twips; outline 2, custom height, 0x80 and 0x100.
  EXPECT_EQ(r.Find(biff::kRow).data, Bytes({2, 0, 0, 0, 0, 0, 0x2C, 0x01, 0, 0, 0, 0, 0xC2, 0x01, 21, 0}));
  EXPECT_EQ(LeWord(r.Find(biff::kWindow2).data, 0) & 0x0108, 0x0108);
  EXPECT_EQ(r.Find(biff::kScl).data, Bytes({75, 0, 100, 0}));
  EXPECT_EQ(r.Find(biff::kPane).data, Bytes({0, 0, 1, 0, 1, 0, 0, 0, 2, 0}));
}

TEST_F(BiffWriter, ProgressRisesFromZeroToOne) {
  for (int i = 0; i < 20; ++i) Sheet().Cells().Items(i, 0).SetValue(i * 1.0);
  std::vector<double> seen;
  file_.OnProgress = [&](double p) { seen.push_back(p); };
  file_.SaveAs(folder_.File("progress.xls"));
  ASSERT_GE(seen.size(), 25u);
  EXPECT_EQ(seen.front(), 0.0);
  EXPECT_EQ(seen.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_NEAR(seen[seen.size() - 2], 0.9, 1e-9);
}

// [SECTION] failures

TEST_F(BiffWriter, AFailedSaveLeavesAnExistingFileUntouched) {
  const std::string path = folder_.File("kept.xls");
  folder_.Put("kept.xls", "the older file");
  for (int i = 0; i < 10; ++i) Sheet().Cells().Items(i, 0).SetValue(1.0);
  file_.OnProgress = [](double p) {
    if (p > 0.5) throw std::runtime_error("cancelled");
  };
  EXPECT_THROW(file_.SaveAs(path), std::runtime_error);
  EXPECT_EQ(folder_.Get("kept.xls"), "the older file");
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"kept.xls"});

  // A formula the writer cannot write fails before anything is touched.
  file_.OnProgress = nullptr;
  TCell& formula = Sheet().Cells().Items(0, 1);
  formula.SetValue(2.0);
  formula.SetFormula("=A1+");
  try {
    file_.SaveAs(path);
    ADD_FAILURE() << "no EXLSError";
  } catch (const EXLSError& e) {
    EXPECT_EQ(e.Code(), 8);
  }
  EXPECT_EQ(folder_.Get("kept.xls"), "the older file");
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"kept.xls"});
}

// A disk without room for the stream's temporary file: the save fails at its first
// attempt with the system's reason, not after moving the stream again at every write.
TEST_F(BiffWriter, AWorkbookOnAFullDiskFailsAtTheFirstSpillWithTheReason) {
  const std::string path = folder_.File("kept.xls");
  folder_.Put("kept.xls", "the older file");
  // 80,000 numbers of 18 bytes: the stream passes the size kept in memory.
  for (int32_t r = 0; r < 8000; ++r)
    for (int32_t c = 0; c < 10; ++c) Sheet().Cells().Items(r, c).SetValue(r + c * 0.5);
  for (const std::u16string password : {u"", u"secret"}) {
    const int64_t attempts = CFileSpillAttemptsForTesting();
    const TScopedWriteFailure full(ENOSPC);
    EXPECT_EQ(ThrownMessage<ECFileError>([&] { file_.SaveAsWithPassword(path, password); }),
              path + ": " + std::strerror(ENOSPC));
    EXPECT_EQ(CFileSpillAttemptsForTesting() - attempts, 1);
    EXPECT_TRUE(folder_.Get("kept.xls") == "the older file") << "the older file was replaced";
  }
}

TEST_F(BiffWriter, AFormulaTextWithoutAFormulaIsRefusedWhenSetSoTheWorkbookStillSaves) {
  TCell& cell = Sheet().Cells().Items(0, 0);
  cell.SetValue(3.0);
  cell.SetFormula("=1+2");
  for (const char* empty : {"=", " = ", "   "}) {
    EXPECT_EQ(ThrownMessage<EXLSError>([&] { cell.SetFormula(empty); }), std::string(empty) + " Invalid formula.");
    EXPECT_EQ(cell.Formula(), "=1+2") << "a refused text changes nothing";
  }
  EXPECT_NO_THROW(file_.SaveAs(folder_.File("book.xls")));
  EXPECT_EQ(TBiffRecords(WorkbookStream(file_)).Substream(1).CountOf(biff::kFormula), 1u);
  // An empty text is no formula at all: it removes the cell's formula.
  cell.SetFormula("");
  EXPECT_EQ(cell.Formula(), "");
  EXPECT_NO_THROW(file_.SaveAs(folder_.File("book.xls")));
}

TEST_F(BiffWriter, AnUnwritableTargetIsACompoundFileError) {
  try {
    file_.SaveAs(folder_.File("missing/book.xls"));
    ADD_FAILURE() << "no ECFileError";
  } catch (const ECFileError& e) {
    EXPECT_EQ(e.Code(), 0);
  }
}

TEST_F(BiffWriter, TooLongAHeaderIsRefused) {
  Sheet().PageSetup().HeaderLeft = std::u16string(254, u'h');
  try {
    TXLSWriter writer(file_);
    ADD_FAILURE() << "no EXLSError";
  } catch (const EXLSError& e) {
    EXPECT_EQ(e.Code(), 4);
  }
}

// [SECTION] encryption

TEST(XlsProtect, MD5AndRC4MatchTheirPublishedVectors) {
  auto hex = [](const TMD5Digest& d) {
    std::string s;
    for (uint8_t b : d) {
      const char* digits = "0123456789abcdef";
      s += digits[b >> 4];
      s += digits[b & 15];
    }
    return s;
  };
  EXPECT_EQ(hex(TMD5::Of("", 0)), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex(TMD5::Of("abc", 3)), "900150983cd24fb0d6963f7d28e17f72");
  const std::string digits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
  EXPECT_EQ(hex(TMD5::Of(digits.data(), digits.size())), "57edf4a22be3c955ac49da2e2107b67a");
  TRC4 rc4(reinterpret_cast<const uint8_t*>("Key"), 3);
  uint8_t text[] = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
  rc4.Apply(text, sizeof text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), sizeof text),
            Bytes({0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
}

TEST_F(BiffWriter, AnEncryptedWorkbookDecryptsWithItsPassword) {
  Sheet().SetNameUtf8("Geheim");
  Sheet().Cells().Items(0, 0).SetValue(TVariant::OleStr(u"verschl\u00FCsselt"));
  Sheet().Cells().Items(1, 0).SetValue(42.0);
  const std::string path = folder_.File("secret.xls");
  file_.SaveAsWithPassword(path, u"p\u00E4ss");

  const TPeerOutput peer = DecryptAndRead(folder_, path, "p\xC3\xA4ss");
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_TRUE(peer.Has("filepass 1 1 1")) << peer.text;
  EXPECT_TRUE(peer.Has("salt is verifier True")) << peer.text;
  EXPECT_TRUE(peer.Has("verifier ok True")) << peer.text;
  EXPECT_TRUE(peer.Has("interfacehdr clear True")) << peer.text;
  EXPECT_TRUE(peer.Has("mms id 00c1")) << peer.text;
  EXPECT_TRUE(peer.Has("boundsheet name hidden True")) << peer.text;
  EXPECT_TRUE(peer.Has("sheet 0 Geheim 0")) << peer.text;
  EXPECT_TRUE(peer.Has("cell 0 0 0 1 'verschl\xC3\xBCsselt' General 0")) << peer.text;
  EXPECT_TRUE(peer.Has("cell 0 1 0 2 42.0 General 0")) << peer.text;
  bool offsetClear = false;
  for (const std::string& line : peer.lines)
    offsetClear |= line.rfind("boundsheet offset", 0) == 0 && line.ends_with("True");
  EXPECT_TRUE(offsetClear) << peer.text;
  bool lengthSeen = false;
  for (const std::string& line : peer.lines) {
    if (line.rfind("length ", 0) != 0) continue;
    lengthSeen = true;
    EXPECT_EQ(std::stoi(line.substr(7)) % 1024, 0) << line;
  }
  EXPECT_TRUE(lengthSeen);
}

TEST_F(BiffWriter, AProtectedWorkbookIsEncryptedWithTheDefaultPassword) {
  file_.Workbook().Protection = 0x8A3B;
  Sheet().Cells().Items(0, 0).SetValue(7.0);
  const std::string path = folder_.File("protected.xls");
  file_.SaveAs(path);
  const TPeerOutput peer = DecryptAndRead(folder_, path, "VelvetSweatshop");
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_TRUE(peer.Has("verifier ok True")) << peer.text;
  EXPECT_TRUE(peer.Has("cell 0 0 0 2 7.0 General 0")) << peer.text;
}

TEST_F(BiffWriter, ThePasswordHasAtMostFifteenCharacters) {
  const std::string path = folder_.File("long-password.xls");
  EXPECT_EQ(ThrownMessage<EXLSError>([&] { file_.SaveAsWithPassword(path, u"0123456789abcdef"); }),
            "File protection password must have 0-15 characters.");
  EXPECT_FALSE(std::filesystem::exists(path));
  file_.SaveAsWithPassword(path, u"0123456789abcde");
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(BiffWriter, TheSaltComesFromItsSourceAndKeepsHeadersInTheClear) {
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  TCFile memory(cfmCreateInMemory, "");
  TXLSWriter writer(file_);
  writer.SaltSource = [](uint8_t* salt) {
    for (int i = 0; i < 16; ++i) salt[i] = static_cast<uint8_t>(0xA0 + i);
  };
  writer.SaveToCompoundFile(memory, u"abc");
  const auto& data = memory.Root().FindStream("Workbook")->Data();
  const std::string stream(data.begin(), data.end());
  EXPECT_EQ(stream.size() % 1024, 0u);
  const TBiffRecords r(stream);
  ASSERT_GE(r.Count(), 4u);
  EXPECT_EQ(r[1].id, biff::kFilePass);  // the format fixes FILEPASS right after BOF
  EXPECT_EQ(r[1].data.substr(0, 22),
            Bytes({1, 0, 1, 0, 1, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC,
                   0xAD, 0xAE, 0xAF}));
  EXPECT_EQ(r[1].data.substr(6, 16), r[1].data.substr(22, 16));
  // Every header is readable: the record walk reaches the last EOF.
  EXPECT_EQ(r[r.Count() - 1].id, biff::kEof);
  EXPECT_GT(r.Count(), 40u);
}

}  // namespace
}  // namespace qira

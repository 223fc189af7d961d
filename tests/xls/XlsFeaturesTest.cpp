// A workbook using every feature of the writer, read back by independent
// readers: xlrd (names, merged cells, values, links, notes, rich text), olefile
// (the compound file) and gnumeric, whose recalculated formula values must equal
// the results we cached. Record-level checks of names, validations, hyperlinks,
// rich strings and drawings follow.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   peers
//   the workbook
//   independent readers
//   records
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/BiffRecords.h"
#include "support/GeneratedFixtures.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"
#include "xls/BiffWriter.h"
#include "xls/CompoundFile.h"
#include "xls/XlsCellExtras.h"
#include "xls/XlsDrawing.h"
#include "xls/XlsWorkbook.h"

namespace qira {
namespace {

using test::LeDWord;
using test::LeWord;
using test::TBiffRecords;

// [SECTION] peers

const char* const kXlrdPeer = R"PY(
import sys, xlrd
sys.stdout.reconfigure(encoding="utf-8")
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for n in book.name_obj_list:
    try:
        sh, rlo, rhi, clo, chi = n.area2d(clipped=False)
        text = "%s %d %d %d %d" % (sh.name, rlo, rhi, clo, chi)
    except Exception:
        text = "union"
    print("name %s %d %s" % (n.name, n.scope, text))
for s in range(book.nsheets):
    sh = book.sheet_by_index(s)
    print("sheet %d %s" % (s, sh.name))
    for m in sh.merged_cells:
        print("merged %d %d %d %d %d" % ((s,) + tuple(m)))
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY or cell.ctype == xlrd.XL_CELL_BLANK:
                continue
            v = cell.value
            if isinstance(v, str) and len(v) > 40:
                v = "%s...%d" % (v[:4], len(v))
            print("cell %d %d %d %d %r" % (s, r, c, cell.ctype, v))
    for h in sh.hyperlink_list:
        print("link %d %d %d %s %r %r" % (s, h.frowx, h.fcolx, h.type, h.url_or_path, h.textmark))
    for (r, c), note in sorted(sh.cell_note_map.items()):
        print("note %d %d %d %r %r" % (s, r, c, note.text, note.author))
    for (r, c), runs in sorted(sh.rich_text_runlist_map.items()):
        print("runs %d %d %d %r %s" % (s, r, c, runs, ",".join(str(book.font_list[f].weight) for _, f in runs)))
)PY";

const char* const kOlePeer = R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
print("streams %r" % ole.listdir())
print("size %d" % ole.get_size("Workbook"))
)PY";

using test::RunCommand;
using test::RunPython;
using test::TPeerOutput;

// [SECTION] the workbook

// The formulas of sheet "Data", column B, with the results we cache and the text
// gnumeric's CSV gives for them.
struct TFormulaCase {
  const char* formula;
  TVariant cached;
  std::string csv;
};

std::vector<TFormulaCase> FormulaCases() {
  return {
      {"=A1*A2", TVariant::Double(10), "10"},
      {"=SUM(A1:A2)+1", TVariant::Double(7.5), "7.5"},
      {"=\"Depth \"&A2", TVariant::FromUtf8("Depth 4"), "Depth 4"},
      {"=1/0", TVariant::Error(0x07), "#DIV/0!"},
      {"=IF(A1>2,TRUE,FALSE)", TVariant::Boolean(true), "TRUE"},
      {"=Sheet2!A1*2", TVariant::Double(6), "6"},
      {"=SUM(Total)", TVariant::Double(6.5), "6.5"},
      {"=LEN(\"a\"\"b\")", TVariant::Double(3), "3"},
      {"=2*-3", TVariant::Double(-6), "-6"},
      {"=2.5E-1*4", TVariant::Double(1), "1"},
      {"=1+2&3", TVariant::FromUtf8("33"), "33"},
      {"=REPT(\"ab\",3000)", TVariant::FromUtf8(std::string(6000, 'a')), ""},
      {"=IF(,1)", TVariant::Boolean(false), "FALSE"},
  };
}

void MakeEveryFeature(TXLSFile& file) {
  const TGeneratedFixtures& pictures = TGeneratedFixtures::Of("make_pictures.py");
  TWorkbook& book = file.Workbook();
  TSheet& data = book.Sheets().Items(0);
  data.SetName(u"Data");
  TSheet& second = book.Sheets().Add(u"Sheet2");
  second.Cells().Items(0, 0).SetValue(3.0);
  second.Ranges().Add(u"Local", 0, 0, 0, 0);
  second.Comments().Add(0, 0, u"Second note", u"QIRA").Formatting = "1-6(style:b);";

  data.Cells().Items(0, 0).SetValue(2.5);
  data.Cells().Items(1, 0).SetValue(4.0);
  data.Ranges().Add(u"Total", 0, 0, 1, 0).WorkbookWide = true;
  std::vector<TFormulaCase> cases = FormulaCases();
  std::string rept;
  for (int i = 0; i < 3000; ++i) rept += "ab";
  cases[11].cached = TVariant::FromUtf8(rept);
  for (size_t i = 0; i < cases.size(); ++i) {
    TCell& cell = data.Cells().Items(static_cast<int32_t>(i), 1);
    cell.SetValue(cases[i].cached);
    cell.SetFormula(cases[i].formula);
  }
  data.PageSetup().PrintArea.Add(0, 12, 0, 1);
  data.PageSetup().PrintTitleRow1 = 0;
  data.PageSetup().PrintTitleRow2 = 0;
  data.PageSetup().PrintTitleCol1 = 0;
  data.PageSetup().PrintTitleCol2 = 0;
  data.Ranges().Merge(0, 3, 1, 4);  // D1:E2
  data.Cells().Items(0, 3).SetValueUtf8("merged");

  TCellValidation& whole = data.Validations().Add();
  whole.Type = 1;
  whole.Operator = 0;
  whole.Formula1 = "1";
  whole.Formula2 = "10";
  whole.PromptTitle = u"Count";
  whole.Rects.Add(0, 4, 2, 2);
  TCellValidation& list = data.Validations().Add();
  list.Type = 4;
  list.Formula1 = "A,B,C";
  list.Rects.Add(5, 5, 2, 2);

  TCell& web = data.Cells().Items(4, 3);
  web.SetValueUtf8("Example");
  web.SetHyperlink(u"http://example.com/");
  TCell& place = data.Cells().Items(5, 3);
  place.SetValueUtf8("Go");
  place.SetHyperlink(u"Sheet2!A1");
  TCell& rich = data.Cells().Items(7, 3);
  rich.SetValueUtf8("Bold part");
  rich.SetRichText("1-4(style:b);");

  data.Images().AddFile(pictures.File("red.jpg"), 0, 6);
  data.Images().AddBytes(pictures.Bytes("green.png"), 10, 6);
  data.Images().AddFile(pictures.File("noise.png"), 20, 6);  // a drawing group beyond one record
  data.Comments().Add(0, 0, u"Depth in metres", u"QIRA");
}

class XlsFeatures : public ::testing::Test {
 protected:
  void SetUp() override { SetXLSScreenPixelsPerInch(96); }
  void TearDown() override { SetXLSScreenPixelsPerInch(savedDpi_); }
  std::string Stream(std::u16string_view password = u"") {
    TCFile memory(cfmCreateInMemory, "");
    TXLSWriter writer(file_);
    writer.SaveToCompoundFile(memory, password);
    const auto& bytes = memory.Root().FindStream("Workbook")->Data();
    return std::string(bytes.begin(), bytes.end());
  }
  TSheet& Sheet(int i = 0) { return file_.Workbook().Sheets().Items(i); }

  int savedDpi_ = XLSScreenPixelsPerInch();
  TXLSFile file_;
  TScratchFolder folder_;
};

// [SECTION] independent readers

TEST_F(XlsFeatures, XlrdReadsNamesMergedCellsValuesLinksNotesAndRuns) {
  MakeEveryFeature(file_);
  const std::string path = folder_.File("every.xls");
  file_.SaveAs(path);
  const TPeerOutput peer = RunPython(folder_, "xlrd_peer.py", kXlrdPeer, {path});
  ASSERT_EQ(peer.status, 0) << peer.text;
  for (const char* line : {
           "name Local 1 Sheet2 0 1 0 1",
           "name Total -1 Data 0 2 0 1",
           "name Print_Area 0 Data 0 13 0 2",
           "name Print_Titles 0 union",
           "merged 0 0 2 3 5",
           "cell 0 0 1 2 10.0",
           "cell 0 2 1 1 'Depth 4'",
           "cell 0 3 1 5 7",
           "cell 0 4 1 4 1",
           "cell 0 11 1 1 'abab...6000'",
           "link 0 4 3 url 'http://example.com/' None",
           "link 0 5 3 workbook None 'Sheet2!A1'",
           "note 0 0 0 'Depth in metres' 'QIRA'",
           "note 1 0 0 'Second note' 'QIRA'",
           "runs 0 7 3 [(0, 5), (4, 0)] 700,400",
       })
    EXPECT_TRUE(peer.Has(line)) << line << "\n" << peer.text;
}

TEST_F(XlsFeatures, OlefileFindsTheWorkbookStream) {
  MakeEveryFeature(file_);
  const std::string path = folder_.File("every.xls");
  file_.SaveAs(path);
  const TPeerOutput peer = RunPython(folder_, "ole_peer.py", kOlePeer, {path});
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_TRUE(peer.Has("streams [['Workbook']]")) << peer.text;
}

// gnumeric recalculates every formula; its values must be the ones we cached.
// Protected and saved without a password, the file is encrypted with the
// format's default password, which gnumeric knows.
TEST_F(XlsFeatures, GnumericRecalculatesTheCachedResults) {
  ASSERT_EQ(RunCommand("command -v ssconvert").status, 0) << "gnumeric's ssconvert is not installed; run scripts/setup";
  MakeEveryFeature(file_);
  for (const bool protectedBook : {false, true}) {
    file_.Workbook().Protection = protectedBook ? 0xCC3D : 0;
    const std::string path = folder_.File(protectedBook ? "protected.xls" : "every.xls");
    file_.SaveAs(path);
    const std::string csv = folder_.File(protectedBook ? "p_%n.csv" : "e_%n.csv");
    const TPeerOutput run = RunCommand("ssconvert --recalc -S '" + path + "' '" + csv + "'");
    ASSERT_EQ(run.status, 0) << run.text;
    std::vector<std::vector<std::string>> rows;
    const std::string text = folder_.Get(protectedBook ? "p_0.csv" : "e_0.csv");
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> cells;
      std::string cell;
      bool quoted = false;
      for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) cells.push_back(std::exchange(cell, {}));
        else cell += c;
      }
      cells.push_back(cell);
      rows.push_back(cells);
    }
    const std::vector<TFormulaCase> cases = FormulaCases();
    ASSERT_GE(rows.size(), cases.size()) << run.text << text;
    for (size_t i = 0; i < cases.size(); ++i) {
      ASSERT_GE(rows[i].size(), 2u) << i;
      if (i == 11) {
        EXPECT_EQ(rows[i][1].size(), 6000u) << cases[i].formula;
        continue;
      }
      EXPECT_EQ(rows[i][1], cases[i].csv) << cases[i].formula << (protectedBook ? " (protected)" : "");
    }
  }
  // The sheet extras as gnumeric understood them, in its own file format.
  const std::string own = folder_.File("every.gnumeric");
  const TPeerOutput xml =
      RunCommand("ssconvert '" + folder_.File("every.xls") + "' '" + own + "' && zcat '" + own + "'");
  ASSERT_EQ(xml.status, 0) << xml.text.substr(0, 2000);
  for (const char* part : {"<gnm:Merge>D1:E2</gnm:Merge>", "Type=\"GNM_VALIDATION_TYPE_AS_INT\"",
                           "Type=\"GNM_VALIDATION_TYPE_IN_LIST\"",
                           "<gnm:HyperLink type=\"GnmHLinkURL\" target=\"http://example.com/\"/>",
                           "<gnm:HyperLink type=\"GnmHLinkCurWB\" target=\"Sheet2!A1\"/>",
                           "Author=\"QIRA\" Text=\"Depth in metres\"", "TextFormat=\"@[bold=1:0:6]\"",
                           "image-type=\"jpeg\"", "image-type=\"png\"", "width=\"100\" height=\"100\""})
    EXPECT_NE(xml.text.find(part), std::string::npos) << part;
}

// [SECTION] records

TEST_F(XlsFeatures, EveryFileHasItsOwnWorkbookLinkAndNamesCarryTheirSheet) {
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  const TBiffRecords plain = TBiffRecords(Stream()).Substream(0);
  EXPECT_EQ(plain.Find(biff::kSupBook).data, std::string("\x01\x00\x01\x04", 4));
  EXPECT_EQ(plain.Find(biff::kExternSheet).data, std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8));
  EXPECT_FALSE(plain.Has(biff::kName));

  TSheet& second = file_.Workbook().Sheets().Add(u"Zwei");
  second.PageSetup().PrintArea.Add(0, 9, 0, 3);
  second.Ranges().Add(u"Local", 1, 1, 2, 2);
  second.PageSetup().PrintTitleRow1 = 0;
  second.PageSetup().PrintTitleRow2 = 1;
  second.PageSetup().PrintTitleCol1 = 0;
  second.PageSetup().PrintTitleCol2 = 0;
  const TBiffRecords g = TBiffRecords(Stream()).Substream(0);
  ASSERT_EQ(g.CountOf(biff::kName), 3u);
  const std::string local = g.Find(biff::kName, 0).data;
  EXPECT_EQ(LeWord(local, 0), 0);
  EXPECT_EQ(LeWord(local, 8), 2);  // sheet-local on sheet 1: index + 1
  const std::string area = g.Find(biff::kName, 1).data;
  EXPECT_EQ(area.substr(0, 4), std::string("\x20\x00\x00\x01", 4));
  EXPECT_EQ(LeWord(area, 6), 2);
  EXPECT_EQ(LeWord(area, 8), 2);
  EXPECT_EQ(area.substr(14, 2), std::string("\x00\x06", 2));
  EXPECT_EQ(area.substr(16), std::string("\x3B\x01\x00\x00\x00\x09\x00\x00\x00\x03\x00", 11));
  // Two print-title rectangles: memory token, two areas, union.
  const std::string titles = g.Find(biff::kName, 2).data;
  EXPECT_EQ(titles.substr(14, 2), std::string("\x00\x07", 2));
  EXPECT_EQ(titles.substr(16, 3), std::string("\x29\x17\x00", 3));
  EXPECT_EQ(titles.back(), '\x10');
  EXPECT_EQ(titles.size(), 16u + 3 + 11 + 11 + 1);
}

TEST_F(XlsFeatures, ValidationsHyperlinksAndMergedCellsFollowTheFormat) {
  TCellValidation& v = Sheet().Validations().Add();
  v.Type = 4;
  v.ErrorStyle = 1;
  v.Formula1 = "A,B,C";
  v.Rects.Add(2, 3, 1, 1);
  for (int i = 0; i < 1100; ++i) Sheet().Ranges().Merge(i, 0, i, 1);
  Sheet().Cells().Items(0, 0).SetHyperlink(u"\\\\server\\share\\file.xls");
  const TBiffRecords s = TBiffRecords(Stream()).Substream(1);
  EXPECT_EQ(LeDWord(s.Find(biff::kDVal).data, 14), 1u);
  const std::string dv = s.Find(biff::kDV).data;
  EXPECT_EQ(LeDWord(dv, 0), 0x83u | 0x10 | 0x100 | 0x40000 | 0x80000);
  // Four empty strings, then the list as one string constant with 0 separators.
  EXPECT_EQ(dv.substr(4, 16), std::string("\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00", 16));
  EXPECT_EQ(dv.substr(20, 17), std::string("\x0D\x00\x00\x00\x17\x05\x01" "A\0\0\0B\0\0\0C\0", 17));
  EXPECT_EQ(dv.substr(dv.size() - 10), std::string("\x01\x00\x02\x00\x03\x00\x01\x00\x01\x00", 10));
  ASSERT_EQ(s.CountOf(biff::kMergedCells), 2u);
  EXPECT_EQ(LeWord(s.Find(biff::kMergedCells, 0).data, 0), 1024);
  EXPECT_EQ(LeWord(s.Find(biff::kMergedCells, 1).data, 0), 76);
  EXPECT_EQ(LeDWord(s.Find(biff::kHLink).data, 8 + 16 + 4), 0x103u);  // network path
  EXPECT_EQ(LeDWord(HyperlinkData(u"Sheet2!A1", 0), 20), 0x08u);
  EXPECT_EQ(DetectHyperlinkKind(u"mail@example.com"), kLinkAddress);
  EXPECT_EQ(DetectHyperlinkKind(u"report.xls"), kLinkAddress);
  EXPECT_EQ(DetectHyperlinkKind(u"C:\\report.xls"), kLinkFile);
}

TEST_F(XlsFeatures, RichStringsKeepTheirHeaderWithTheirRunsAcrossRecords) {
  // The first entry leaves 4 bytes: enough for a plain header and a character,
  // not for a rich header (5 bytes) and a character.
  Sheet().Cells().Items(0, 0).SetValue(TVariant::OleStr(std::u16string(8224 - 8 - 3 - 4, u'x')));
  TCell& rich = Sheet().Cells().Items(1, 0);
  rich.SetValueUtf8("abcdef");
  rich.SetRichText("2-4(style:b;color:$0000FF);");
  const TBiffRecords r(Stream());
  EXPECT_EQ(r.Find(biff::kSst).data.size(), 8220u);
  const test::TBiffRecord& next = r.After(biff::kSst);
  ASSERT_EQ(next.id, biff::kContinue);
  // Count, flags 8 (rich, compressed), two runs, text, runs (1, font 5) and (4, font 0).
  EXPECT_EQ(next.data, std::string("\x06\x00\x08\x02\x00" "abcdef" "\x01\x00\x05\x00\x04\x00\x00\x00", 19));
  EXPECT_EQ(RichTextRuns("1-6(style:b);", 0, 6, file_.Workbook().FontTable()), std::string("\x00\x00\x06\x00", 4));
  EXPECT_THROW(RichTextRuns("2-(style:b)", 0, 6, file_.Workbook().FontTable()), EXLSError);
}

TEST_F(XlsFeatures, PicturesAreJpegOrPngByTheirBytesAndNothingElse) {
  const TGeneratedFixtures& pictures = TGeneratedFixtures::Of("make_pictures.py");
  const struct {
    const char* file;
    uint8_t kind;
    int32_t width, height;
  } good[] = {{"red.jpg", kBlipJpeg, 3, 2}, {"progressive.jpg", kBlipJpeg, 40, 30}, {"green.png", kBlipPng, 5, 4}};
  for (const auto& g : good) {
    const TImageInfo info = ReadImageInfo(pictures.Bytes(g.file));
    EXPECT_EQ(info.Kind, g.kind) << g.file;
    EXPECT_EQ(info.Width, g.width) << g.file;
    EXPECT_EQ(info.Height, g.height) << g.file;
  }
  for (const char* bad : {"fake.jpg", "noframe.jpg", "text.bin"})
    EXPECT_THROW(ReadImageInfo(pictures.Bytes(bad)), EXLSError) << bad;
  EXPECT_THROW(ReadImageInfo(std::string("\xFF\xD8\xFF", 3)), EXLSError);
  EXPECT_THROW(ReadImageInfo("BM"), EXLSError);
}

TEST_F(XlsFeatures, DrawingsShareBlobsNumberShapesAndCarryNoteAuthorsAndRuns) {
  const TGeneratedFixtures& pictures = TGeneratedFixtures::Of("make_pictures.py");
  TSheet& second = file_.Workbook().Sheets().Add(u"Two");
  second.Images().AddFile(pictures.File("red.jpg"), 0, 0);
  second.Images().AddFile(pictures.File("red.jpg"), 5, 0);
  second.Comments().Add(0, 253, u"Long note", u"Ann").Formatting = "1-4(style:i);";
  TMSOData drawings;
  drawings.Build(file_.Workbook());
  ASSERT_EQ(drawings.Blips().size(), 1u);
  EXPECT_EQ(drawings.Blips()[0].RefCount, 2u);
  ASSERT_EQ(drawings.Shapes().size(), 3u);
  EXPECT_EQ(drawings.Shapes()[1].ShapeId, 2050u);
  EXPECT_EQ(drawings.Shapes()[1].ObjectId, 2);
  const TMSOShape& note = drawings.Shapes()[2];
  EXPECT_EQ(note.Row1.Cell, 0);
  EXPECT_EQ(note.Col1.Cell, 247);
  // TXO runs of 8 bytes: (0, font 5), (4, font 0), the closing (9, font 0).
  EXPECT_EQ(note.Runs, std::string("\x00\x00\x05\x00\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00"
                                   "\x09\x00\x00\x00\x00\x00\x00\x00", 24));
  EXPECT_TRUE(drawings.SheetRecords(0).empty());

  const TBiffRecords s = TBiffRecords(Stream()).Substream(2);
  const std::string noteRecord = s.Find(biff::kNote).data;
  EXPECT_EQ(noteRecord, std::string("\x00\x00\xFD\x00\x00\x00\x03\x00\x03\x00\x01" "A\0n\0n\0" "\0", 18));
  EXPECT_EQ(LeWord(s.Find(biff::kTxo).data, 12), 24);
  EXPECT_EQ(s.CountOf(biff::kObj), 3u);

  // A long comment's text runs on in CONTINUE records of whole characters, each
  // starting with the width flag.
  Sheet().Comments().Add(2, 2, std::u16string(5000, u'\u03A9'), u"Bob");
  const TBiffRecords first = TBiffRecords(Stream()).Substream(1);
  EXPECT_EQ(LeWord(first.Find(biff::kTxo).data, 10), 5000);
  EXPECT_EQ(first.After(biff::kTxo, 1).data.size(), 8223u);
  EXPECT_EQ(first.After(biff::kTxo, 2).data.size(), 1u + 10000 - 8222);
  EXPECT_EQ(first.After(biff::kTxo, 2).data[0], '\x01');
  EXPECT_EQ(first.After(biff::kTxo, 3).data.size(), 16u);  // the runs: start and end
}

TEST_F(XlsFeatures, AWorkbookWithoutDrawingsHasNoDrawingRecords) {
  Sheet().Cells().Items(0, 0).SetValue(1.0);
  const TBiffRecords r(Stream());
  EXPECT_FALSE(r.Has(biff::kMsoDrawingGroup));
  EXPECT_FALSE(r.Has(biff::kMsoDrawing));
}

TEST_F(XlsFeatures, ALongFormulaStringRunsOnInContinueRecords) {
  TCell& cell = Sheet().Cells().Items(0, 0);
  cell.SetValue(TVariant::OleStr(std::u16string(5000, u'\u03A9')));
  cell.SetFormula("=\"x\"");
  const TBiffRecords s = TBiffRecords(Stream()).Substream(1);
  EXPECT_EQ(s.Find(biff::kString).data.size(), 8223u);  // whole characters only
  const test::TBiffRecord& more = s.After(biff::kString);
  ASSERT_EQ(more.id, biff::kContinue);
  EXPECT_EQ(more.data.size(), 1u + 10000 - 8220);
  EXPECT_EQ(more.data[0], '\x01');
}

}  // namespace
}  // namespace qira

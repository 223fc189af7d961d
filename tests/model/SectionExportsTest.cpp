// The section exports as their readers see them: text and CSV tables byte for
// byte, workbooks through xlrd, drawings through ezdxf, the colour classes, the
// class preview's pixels, group file names and the menu commands with fake dialogs.
#include "model/SectionExports.h"

#include <gtest/gtest.h>

#include <new>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/GraphMain.h"
#include "model/ObjectMenu.h"
#include "model/Section.h"
#include "model/SectionFixtures.h"
#include "model/SectionGroup.h"
#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "support/CommaDecimalLocale.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/HeapPeak.h"
#include "support/ScratchFolder.h"
#include "support/ScopedWriteFailure.h"
#include "support/TestApplication.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

const TGeneratedFixtures& Fixtures() { return TGeneratedFixtures::Of("make_sections.py"); }

// The sample of make_sections.py: 4 columns, 2 rows, boundaries from (0|0.5|1, 100)
// to (8|8.5|9, 104), elevations 100..96, values {5, 0, 20, 60} and {0, 2.5, 1.5, 40},
// DataKind 3, palette 2..50, 12500 Hz, boreholes "B-1" and "B 2".
std::unique_ptr<TGraphSection> Sample(const std::string& name = "valid_v1.sec") {
  TMemoryStream s = Fixtures().Stream(name);
  return ReadSectionFile(s);
}

// Text written with '\n' line ends, as the files hold it with CR LF.
std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Limits with a gap (35..45) and classes of the sample's values: 5 orange, 20 green,
// 60 blue, 2.5 and 1.5 red, 40 in the gap.
const TClassLimits kGapLimits{3, 3, 4, 4, 6, 6, 10, 10, 15, 15, 25, 25, 30, 30, 35, 45};

struct TPeerRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string output;
};

TPeerRun RunCommand(const std::string& command) {
  TPeerRun r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  r.status = ::pclose(pipe);
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) r.lines.push_back(line);
  return r;
}

// Prints the sheet's name, each column's width (1/256 characters, with the cell
// padding: 14 characters are 3767, 12 are 3255), and every cell
// of the used range: row, column, value, number format and horizontal alignment.
const char* const kXlrdPeer = R"PY(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print("sheets %d" % book.nsheets)
sh = book.sheet_by_index(0)
print("name %s" % sh.name)
for c, info in sorted(sh.colinfo_map.items()):
    print("width %d %d" % (c, info.width))
for r in range(sh.nrows):
    for c in range(sh.ncols):
        cell = sh.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            print("%d %d empty" % (r, c))
            continue
        xf = book.xf_list[cell.xf_index]
        fmt = book.format_map[xf.format_key].format_str
        print("%d %d %r %s %d" % (r, c, cell.value, fmt, xf.alignment.hor_align))
)PY";

TPeerRun ReadWorkbook(const TScratchFolder& folder, const std::string& file) {
  folder.Put("xlrd_peer.py", kXlrdPeer);
  return RunCommand(std::string(QIRA_PYTHON) + " '" + folder.File("xlrd_peer.py") + "' '" + file + "'");
}

TPeerRun ReadDrawing(const std::string& file) {
  return RunCommand(std::string(QIRA_PYTHON) + " '" + QIRA_FIXTURES_DIR + "/dxf_peer.py' read '" + file + "'");
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

// ---- Text and CSV tables ----------------------------------------------------------------

TEST(XYZTable, TextAndCsvHoldEveryShownCellCentreByteForByte) {
  auto section = Sample();
  section->ShowAboveMax = false;  // 60 is above the palette's 50
  section->ShowBelowMin = false;  // 1.5 is below its 2
  EXPECT_EQ(XYZTableText(*section, true),
            CrLf("           X           Y           Z     APP_RES  LOG(VALUE)\n"
                 "      100.50        1.25       99.00   5.000E+00   6.990E-01\n"
                 "      102.50        5.25       99.00   2.000E+01   1.301E+00\n"
                 "      101.50        3.75       97.00   2.500E+00   3.979E-01\n"
                 "      103.50        7.75       97.00   4.000E+01   1.602E+00\n"));
  EXPECT_EQ(XYZTableCSV(*section, true),
            CrLf("X,Y,Z,APP_RES,LOG(VALUE)\n"
                 "100.50,1.25,99.00,5.000E+00,6.990E-01\n"
                 "102.50,5.25,99.00,2.000E+01,1.301E+00\n"
                 "101.50,3.75,97.00,2.500E+00,3.979E-01\n"
                 "103.50,7.75,97.00,4.000E+01,1.602E+00\n"));
}

TEST(XYZTable, OtherDataKindsHaveNoLogarithmColumn) {
  auto section = Sample();
  section->DataKind = 1;
  const std::string csv = XYZTableCSV(*section, true);
  EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), "X,Y,Z,APP_RES\r\n");
  EXPECT_NE(csv.find("\r\n100.50,1.25,99.00,5.000E+00\r\n"), std::string::npos);
  const std::string text = XYZTableText(*section, true);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "           X           Y           Z     APP_RES\r\n");
}

TEST(XYZTable, ValueWithoutLogarithmLeavesTheLogFieldEmpty) {
  auto section = Sample();
  section->Values[0][0] = -5;
  const std::string csv = XYZTableCSV(*section, true);
  EXPECT_NE(csv.find("\r\n100.50,1.25,99.00,-5.000E+00,\r\n"), std::string::npos) << csv;
  const std::string text = XYZTableText(*section, true);
  EXPECT_NE(text.find("  -5.000E+00            \r\n"), std::string::npos) << text;
}

TEST(BlocksTable, TextAndCsvHoldClosedRingsOfClassifiedCellsByteForByte) {
  auto section = Sample();
  const std::string ring =
      "SURFACE    ORANGE        0.00      100.00      100.00   5.000E+00\n"
      "SURFACE    ORANGE        2.00      101.00      100.00   5.000E+00\n"
      "SURFACE    ORANGE        2.50      101.00       98.00   5.000E+00\n"
      "SURFACE    ORANGE        0.50      100.00       98.00   5.000E+00\n"
      "SURFACE    ORANGE        0.00      100.00      100.00   5.000E+00\n";
  EXPECT_EQ(BlocksTableText(*section, kGapLimits, true),
            CrLf("SURFACE     COLOR    NORTHING     EASTING   ELEVATION       VALUE\n"
                 "\n" + ring +
                 "\n"
                 "SURFACE     GREEN        4.00      102.00      100.00   2.000E+01\n"
                 "SURFACE     GREEN        6.00      103.00      100.00   2.000E+01\n"
                 "SURFACE     GREEN        6.50      103.00       98.00   2.000E+01\n"
                 "SURFACE     GREEN        4.50      102.00       98.00   2.000E+01\n"
                 "SURFACE     GREEN        4.00      102.00      100.00   2.000E+01\n"
                 "\n"
                 "SURFACE      BLUE        6.00      103.00      100.00   6.000E+01\n"
                 "SURFACE      BLUE        8.00      104.00      100.00   6.000E+01\n"
                 "SURFACE      BLUE        8.50      104.00       98.00   6.000E+01\n"
                 "SURFACE      BLUE        6.50      103.00       98.00   6.000E+01\n"
                 "SURFACE      BLUE        6.00      103.00      100.00   6.000E+01\n"
                 "\n"
                 "SURFACE       RED        2.50      101.00       98.00   2.500E+00\n"
                 "SURFACE       RED        4.50      102.00       98.00   2.500E+00\n"
                 "SURFACE       RED        5.00      102.00       96.00   2.500E+00\n"
                 "SURFACE       RED        3.00      101.00       96.00   2.500E+00\n"
                 "SURFACE       RED        2.50      101.00       98.00   2.500E+00\n"
                 "\n"
                 "SURFACE       RED        4.50      102.00       98.00   1.500E+00\n"
                 "SURFACE       RED        6.50      103.00       98.00   1.500E+00\n"
                 "SURFACE       RED        7.00      103.00       96.00   1.500E+00\n"
                 "SURFACE       RED        5.00      102.00       96.00   1.500E+00\n"
                 "SURFACE       RED        4.50      102.00       98.00   1.500E+00\n"));

  section->ShowBelowMin = false;  // drops the block of 1.5
  EXPECT_EQ(BlocksTableCSV(*section, kGapLimits, true),
            CrLf("SURFACE,COLOR,NORTHING,EASTING,ELEVATION,VALUE\n"
                 ",,,,,\n"
                 "SURFACE,ORANGE,0.00,100.00,100.00,5.000E+00\n"
                 "SURFACE,ORANGE,2.00,101.00,100.00,5.000E+00\n"
                 "SURFACE,ORANGE,2.50,101.00,98.00,5.000E+00\n"
                 "SURFACE,ORANGE,0.50,100.00,98.00,5.000E+00\n"
                 "SURFACE,ORANGE,0.00,100.00,100.00,5.000E+00\n"
                 ",,,,,\n"
                 "SURFACE,GREEN,4.00,102.00,100.00,2.000E+01\n"
                 "SURFACE,GREEN,6.00,103.00,100.00,2.000E+01\n"
                 "SURFACE,GREEN,6.50,103.00,98.00,2.000E+01\n"
                 "SURFACE,GREEN,4.50,102.00,98.00,2.000E+01\n"
                 "SURFACE,GREEN,4.00,102.00,100.00,2.000E+01\n"
                 ",,,,,\n"
                 "SURFACE,BLUE,6.00,103.00,100.00,6.000E+01\n"
                 "SURFACE,BLUE,8.00,104.00,100.00,6.000E+01\n"
                 "SURFACE,BLUE,8.50,104.00,98.00,6.000E+01\n"
                 "SURFACE,BLUE,6.50,103.00,98.00,6.000E+01\n"
                 "SURFACE,BLUE,6.00,103.00,100.00,6.000E+01\n"
                 ",,,,,\n"
                 "SURFACE,RED,2.50,101.00,98.00,2.500E+00\n"
                 "SURFACE,RED,4.50,102.00,98.00,2.500E+00\n"
                 "SURFACE,RED,5.00,102.00,96.00,2.500E+00\n"
                 "SURFACE,RED,3.00,101.00,96.00,2.500E+00\n"
                 "SURFACE,RED,2.50,101.00,98.00,2.500E+00\n"));
}

TEST(Tables, FeetMultiplyLengthsButNeverValues) {
  auto section = Sample();
  // Corner a of the first cell lies at easting 100 m and elevation 100 m.
  const std::string blocks = BlocksTableCSV(*section, kGapLimits, false);
  EXPECT_NE(blocks.find("\r\nSURFACE,ORANGE,0.00,328.08,328.08,5.000E+00\r\n"), std::string::npos) << blocks;
  const std::string xyz = XYZTableCSV(*section, false);
  EXPECT_NE(xyz.find("\r\n329.72,4.10,324.80,5.000E+00,6.990E-01\r\n"), std::string::npos) << xyz;
}

TEST(Tables, SectionWithoutShownCellsWritesHeadersOnly) {
  auto section = Sample();
  for (auto& row : section->Values)
    for (double& v : row) v = 0;
  EXPECT_EQ(XYZTableText(*section, true), CrLf("           X           Y           Z     APP_RES  LOG(VALUE)\n"));
  EXPECT_EQ(XYZTableCSV(*section, true), CrLf("X,Y,Z,APP_RES,LOG(VALUE)\n"));
  EXPECT_EQ(BlocksTableText(*section, kGapLimits, true),
            CrLf("SURFACE     COLOR    NORTHING     EASTING   ELEVATION       VALUE\n"));
  EXPECT_EQ(BlocksTableCSV(*section, kGapLimits, true), CrLf("SURFACE,COLOR,NORTHING,EASTING,ELEVATION,VALUE\n"));
}

TEST(Tables, NumberTextIgnoresTheLocale) {
  auto section = Sample();
  const std::string before = XYZTableCSV(*section, true);
  TCommaDecimalLocale comma;
  EXPECT_EQ(XYZTableCSV(*section, true), before);
  EXPECT_NE(BlocksTableText(*section, kGapLimits, false).find("328.08"), std::string::npos);
}

TEST(Tables, CellsWithoutFiniteGeometryAreSkipped) {
  auto section = Sample();
  section->X1[0] = std::numeric_limits<double>::infinity();
  const std::string csv = XYZTableCSV(*section, true);
  EXPECT_EQ(csv.find("99.00,"), std::string::npos) << csv;  // row 0 touches boundary 0
  EXPECT_NE(csv.find("97.00,"), std::string::npos);
}

// ---- Files ----------------------------------------------------------------------------

TEST(ExportFiles, FilterIndexChoosesTheForm) {
  TScratchFolder folder;
  auto section = Sample();
  ExportXYZ(*section, folder.File("t.dat"), true, 1);
  ExportXYZ(*section, folder.File("t.csv"), true, 2);
  ExportXYZ(*section, folder.File("t.xls"), true, 3);
  ExportXYZ(*section, folder.File("t.none"), true, 4);
  EXPECT_EQ(folder.Get("t.dat"), XYZTableText(*section, true));
  EXPECT_EQ(folder.Get("t.csv"), XYZTableCSV(*section, true));
  EXPECT_EQ(folder.Get("t.xls").substr(0, 4), std::string("\xD0\xCF\x11\xE0", 4));
  EXPECT_EQ(folder.Entries().size(), 3u);
}

TEST(ExportFiles, FailureRaisesTheReasonAndLeavesNoFile) {
  TScratchFolder folder;
  auto section = Sample();
  const std::string target = folder.File("missing/t.csv");
  const std::string message = ThrownMessage<ESectionExportError>([&] { ExportXYZCSV(*section, target, true); });
  EXPECT_EQ(message.rfind("Cannot create file \"" + target + "\". ", 0), 0u) << message;
  EXPECT_THROW(ExportXYZValuesSheet(*section, folder.File("missing/t.xls"), true), std::exception);
  EXPECT_THROW(ExportDXF(*section, folder.File("missing/t.dxf"), true), ESectionExportError);
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(ExportFiles, FailedExportKeepsTheOldFile) {
  TScratchFolder folder;
  auto section = Sample();
  // A folder in the target's place: the rename over it fails, and it stays.
  std::filesystem::create_directory(folder.File("dir.csv"));
  EXPECT_THROW(ExportXYZCSV(*section, folder.File("dir.csv"), true), ESectionExportError);
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("dir.csv")));
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"dir.csv"});  // no temporary left behind
  folder.Put("t.csv", "old");
  ExportXYZCSV(*section, folder.File("t.csv"), true);
  EXPECT_EQ(folder.Get("t.csv"), XYZTableCSV(*section, true));
  // A disk that fills while the rows are written: the old file stays, the reason is told.
  for (int form : {1, 2}) {
    const std::string name = form == 1 ? "t.dat" : "t.csv";
    folder.Put(name, "old");
    const TScopedWriteFailure full(ENOSPC);
    const std::string message = ThrownMessage<ESectionExportError>(
        [&] { ExportBlocksAs(*section, kGapLimits, folder.File(name), true, form); });
    EXPECT_NE(message.find(std::strerror(ENOSPC)), std::string::npos) << message;
    EXPECT_EQ(folder.Get(name), "old");
  }
}

#if defined(QIRA_HEAP_HOOKS)
// Every text table goes to its file as it is made: the heap never holds the file.
TEST(ExportFiles, TextTablesAreWrittenAsTheyGo) {
  TScratchFolder folder;
  std::vector<std::vector<double>> values(200, std::vector<double>(100));
  for (size_t i = 0; i < values.size(); ++i)
    for (size_t j = 0; j < values[i].size(); ++j) values[i][j] = 10.0 + static_cast<double>((i + j) % 20);
  const auto section = section_testing::FlatSection(values);
  TClassLimits limits{};
  DefaultClassLimits(*section, limits);
  for (int form : {1, 2}) {
    test::THeapPeak::Start();
    ExportXYZ(*section, folder.File("values"), true, form);
    ExportBlocksAs(*section, limits, folder.File("blocks"), true, form);
    const int64_t peak = test::THeapPeak::Stop();
    const auto written = static_cast<int64_t>(std::filesystem::file_size(folder.File("blocks")));
    EXPECT_GT(written, int64_t{4} << 20) << form;
    EXPECT_LT(peak, written / 16) << form;
  }
}
#endif

// ---- Workbooks (read by xlrd) -------------------------------------------------------------

TEST(Workbooks, XYZSheetIsNamedByFrequencyWithFormatsAndValues) {
  TScratchFolder folder;
  auto section = Sample();
  section->ShowAboveMax = false;
  ExportXYZValuesSheet(*section, folder.File("x.xls"), false);
  const TPeerRun run = ReadWorkbook(folder, folder.File("x.xls"));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<std::string> expected{
      "sheets 1",
      "name 12.5 kHz",
      "width 0 3767", "width 1 3767", "width 2 3767", "width 3 3767", "width 4 3767",
      "0 0 'X' @ 3", "0 1 'Y' @ 3", "0 2 'Z' @ 3", "0 3 'APP_RES' @ 3", "0 4 'LOG(VALUE)' @ 3",
      "1 0 329.7244094488189 0.00 3", "1 1 4.101049868766404 0.00 3", "1 2 324.8031496062992 0.00 3",
      "1 3 5.0 0.00E+00 3", "1 4 0.6989700043360189 0.00E+00 3",
  };
  ASSERT_GE(run.lines.size(), expected.size()) << run.output;
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(run.lines[k], expected[k]);
  // Five shown cells (60 is above the range): rows 1 to 5, nothing after.
  EXPECT_TRUE(Contains(run.lines, "5 3 40.0 0.00E+00 3")) << run.output;
  EXPECT_FALSE(Contains(run.lines, "6 0 empty")) << run.output;
  EXPECT_FALSE(Contains(run.lines, "1 3 60.0 0.00E+00 3"));
}

TEST(Workbooks, BlocksSheetPutsEachRingSixRowsBelowTheLast) {
  TScratchFolder folder;
  auto section = Sample();
  ExportBlocksSheet(*section, kGapLimits, folder.File("b.xls"), true);
  const TPeerRun run = ReadWorkbook(folder, folder.File("b.xls"));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* line :
       {"name 12.5 kHz", "width 0 3255", "width 5 3255", "0 0 'SURFACE' @ 3", "0 1 'COLOR' @ 3",
        "0 2 'NORTHING' @ 3", "0 5 'VALUE' @ 3", "1 0 empty", "2 0 'SURFACE' @ 3", "2 1 'ORANGE' @ 3",
        "2 2 0.0 0.00 3", "2 3 100.0 0.00 3", "2 4 100.0 0.00 3", "2 5 5.0 0.00E+00 3", "4 2 2.5 0.00 3",
        "6 2 0.0 0.00 3", "7 0 empty", "8 1 'GREEN' @ 3", "14 1 'BLUE' @ 3", "20 1 'RED' @ 3",
        "26 1 'RED' @ 3", "30 5 1.5 0.00E+00 3"}) {
    EXPECT_TRUE(Contains(run.lines, line)) << line << "\n" << run.output;
  }
  EXPECT_FALSE(Contains(run.lines, "31 0 empty")) << run.output;  // nothing after the last ring
}

TEST(Workbooks, SheetWithoutShownCellsHoldsTheHeaderOnly) {
  TScratchFolder folder;
  auto section = Sample();
  for (auto& row : section->Values)
    for (double& v : row) v = 0;
  ExportBlocksSheet(*section, kGapLimits, folder.File("b.xls"), true);
  const TPeerRun run = ReadWorkbook(folder, folder.File("b.xls"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.lines, "0 5 'VALUE' @ 3"));
  EXPECT_FALSE(Contains(run.lines, "1 0 empty")) << run.output;
}

// ---- DXF (read by ezdxf) ------------------------------------------------------------------

TEST(DxfExport, TwoFacesPerShownCellOnTheFrequencyLayer) {
  TScratchFolder folder;
  auto section = Sample();
  section->ShowAboveMax = false;
  EXPECT_EQ(DXFLayerName(*section), "12_5kHz");
  ExportDXF(*section, folder.File("s.dxf"), true);
  const TPeerRun run = ReadDrawing(folder.File("s.dxf"));
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_EQ(run.lines.size(), 1u + 2 * 5) << run.output;
  EXPECT_EQ(run.lines[0], "errors 0");
  // Cell (0, 0): a (0, 100, 100), b (2, 101, 100), c (0.5, 100, 98), d (2.5, 101, 98)
  // as (northing, easting, elevation); DXF x is the easting.
  const std::string first = run.lines[1];
  EXPECT_EQ(first.substr(0, first.find('|', 8) + 1), "3DFACE|12_5kHz|");
  EXPECT_EQ(first.substr(first.rfind('|')),
            "|100.0,0.0,100.0 101.0,2.0,100.0 101.0,2.5,98.0 100.0,0.0,100.0");
  EXPECT_EQ(run.lines[2].substr(run.lines[2].rfind('|')),
            "|100.0,0.0,100.0 101.0,2.5,98.0 100.0,0.5,98.0 100.0,0.0,100.0");
}

TEST(DxfExport, ColourNumbersComeFromTheDisplayColour) {
  TScratchFolder folder;
  auto section = Sample();
  section->Palette.SetIntensity(0);  // every display colour white
  ExportDXF(*section, folder.File("white.dxf"), false);
  TPeerRun run = ReadDrawing(folder.File("white.dxf"));
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_EQ(run.lines.size(), 1u + 2 * 6);
  for (size_t k = 1; k < run.lines.size(); ++k) EXPECT_EQ(run.lines[k].substr(0, 17), "3DFACE|12_5kHz|7|") << k;
  // Feet: easting 100 m is 328.08 ft.
  EXPECT_NE(run.lines[1].find("|328.08,0.0,328.08 "), std::string::npos) << run.lines[1];

  TZBPalette black;
  black.SetIntensity(100);
  section->Palette.Assign(black);
  section->Palette.SetRange(2, 50);
  ExportDXF(*section, folder.File("black.dxf"), true);
  run = ReadDrawing(folder.File("black.dxf"));
  ASSERT_GE(run.lines.size(), 2u) << run.output;
  EXPECT_EQ(run.lines[1].substr(0, 17), "3DFACE|12_5kHz|0|");
}

TEST(DxfExport, SectionWithoutShownCellsWritesEmptySections) {
  auto section = Sample();
  for (auto& row : section->Values)
    for (double& v : row) v = 0;
  TMemoryStream body;
  EXPECT_TRUE(WriteDXFFaces(*section, body, true));
  EXPECT_EQ(body.Size(), 0);
  TScratchFolder folder;
  ExportDXF(*section, folder.File("e.dxf"), true);
  EXPECT_EQ(folder.Get("e.dxf"), CrLf("  0\nSECTION\n  2\nHEADER\n  0\nENDSEC\n  0\nSECTION\n  2\nTABLES\n"
                                      "  0\nENDSEC\n  0\nSECTION\n  2\nBLOCKS\n  0\nENDSEC\n  0\nSECTION\n"
                                      "  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n"));
  const TPeerRun run = ReadDrawing(folder.File("e.dxf"));
  EXPECT_EQ(run.status, 0) << run.output;
}

// ---- Colour classes -------------------------------------------------------------------------

// A palette whose class colours sit at 0, 12, 25, 37, 50, 62, 75, 87 and 100 percent,
// or with redAtMax at 100, 88, 75, 63, 50, 38, 25, 13 and 0 percent.
TZBPalette ClassPalette(double min, double max, bool logarithmic, bool redAtMax = false) {
  TZBPalette p;
  p.SetIntensity(100);
  const auto& classes = ColorClasses();
  p.SetColor(0, classes[redAtMax ? 8 : 0].Color);
  p.SetColor(1, classes[redAtMax ? 0 : 8].Color);
  const int positions[7] = {12, 25, 37, 50, 62, 75, 87};
  for (int k = 0; k < 7; ++k)
    p.AddStop(redAtMax ? 100 - positions[k] : positions[k], classes[static_cast<size_t>(k + 1)].Color);
  p.SetRange(min, max);
  p.SetLogarithmic(logarithmic);
  return p;
}

TEST(ColorClasses, DefaultLimitsLieBetweenTheClassColoursValues) {
  TGraphSection section;
  section.Palette.Assign(ClassPalette(0, 100, false));
  TClassLimits limits{};
  DefaultClassLimits(section, limits);
  const double expected[8] = {6, 18.5, 31, 43.5, 56, 68.5, 81, 93.5};
  for (int k = 0; k < 8; ++k) {
    EXPECT_DOUBLE_EQ(limits[2 * k], expected[k]) << k;
    EXPECT_DOUBLE_EQ(limits[2 * k + 1], expected[k]) << k;
  }
  section.Palette.Assign(ClassPalette(1, 1e8, true));
  DefaultClassLimits(section, limits);
  // Geometric means of 10^(8p/100) at neighbouring positions.
  EXPECT_NEAR(limits[0], std::pow(10.0, 8 * 6 / 100.0), 1e-9);
  EXPECT_NEAR(limits[15], std::pow(10.0, 8 * 93.5 / 100.0), 1e-3);
}

TEST(ColorClasses, EveryShownValueHasExactlyOneClassAndBoundariesGoUp) {
  TGraphSection section;
  section.Palette.Assign(ClassPalette(0, 100, false));
  TClassLimits limits{};
  DefaultClassLimits(section, limits);
  const struct {
    double v;
    int cls;
  } cases[] = {{-1, 0}, {5.99, 0}, {6, 1}, {18.5, 2}, {43.5, 4}, {93.4, 7}, {93.5, 8}, {1e9, 8}};
  for (const auto& c : cases) {
    int cls = -2;
    EXPECT_TRUE(ClassOfValue(section, limits, cls, c.v)) << c.v;
    EXPECT_EQ(cls, c.cls) << c.v;
  }
}

TEST(ColorClasses, HiddenValuesAndGapsHaveNoClass) {
  auto section = Sample();
  int cls = 5;
  EXPECT_FALSE(ClassOfValue(*section, kGapLimits, cls, 0));
  EXPECT_EQ(cls, -1);
  EXPECT_FALSE(ClassOfValue(*section, kGapLimits, cls, 40));  // between 35 and 45
  EXPECT_TRUE(ClassOfValue(*section, kGapLimits, cls, 60));
  EXPECT_EQ(cls, 8);
  section->ShowAboveMax = false;
  EXPECT_FALSE(ClassOfValue(*section, kGapLimits, cls, 60));
  EXPECT_TRUE(ClassOfValue(*section, kGapLimits, cls, 50));  // the Max itself is shown
  section->ShowBelowMin = false;
  EXPECT_FALSE(ClassOfValue(*section, kGapLimits, cls, 1.5));
  // Overlapping limits: the lower class wins.
  TClassLimits overlap = kGapLimits;
  overlap[4] = 12;  // orange now reaches into yellow
  EXPECT_TRUE(ClassOfValue(*section, overlap, cls, 7));
  EXPECT_EQ(cls, 2);
}

// ---- Preview ----------------------------------------------------------------------------------

class Preview : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
};

TEST_F(Preview, ProjectsAlongTheMeanAzimuth) {
  auto section = Sample();
  EXPECT_DOUBLE_EQ(MeanAzimuth(*section), std::atan2(4.0, 8.0));
  EXPECT_NEAR(ProjectDistance(*section, 8, 104), std::sqrt(80.0), 1e-12);
  EXPECT_NEAR(ProjectDistance(*section, -4, 108), 0, 1e-12);  // across the line
  EXPECT_NEAR(BoundaryDistance(*section, 1, 0), 4 / std::sqrt(80.0), 1e-12);
}

TEST_F(Preview, PaintsClassifiedCellsInTheirClassColours) {
  auto section = Sample();
  TBitmap bitmap(200, 100);
  bitmap.Canvas().SetBrushColor(clGray);
  bitmap.Canvas().FillRect({0, 0, 200, 100});
  double frequency = 0;
  DrawPreview(*section, bitmap.Canvas(), kGapLimits, 0, 0, 199, 99, frequency);
  EXPECT_EQ(frequency, 12500);
  const auto& classes = ColorClasses();
  EXPECT_EQ(bitmap.Pixel(28, 30), classes[2].Color);  // cell (0, 0): 5, orange
  EXPECT_EQ(bitmap.Pixel(73, 30), clGray);            // cell (0, 1): no data
  EXPECT_EQ(bitmap.Pixel(82, 70), classes[0].Color);  // cell (1, 1): 2.5, red
  EXPECT_EQ(bitmap.Pixel(30, 70), clGray);            // cell (1, 0): no data
  EXPECT_EQ(bitmap.Pixel(1, 98), clGray);             // outside the section
  // The picture fills 98 % of the width and is centred: the left edge at x 2.
  EXPECT_EQ(bitmap.Pixel(3, 11), classes[2].Color);
  EXPECT_EQ(bitmap.Pixel(0, 11), clGray);
}

// The usual palette: blue at its minimum, red at its maximum. Its default limits
// descend, and every value goes to the class of the colour it has.
TEST(ColorClasses, DescendingDefaultLimitsPutEachValueInTheClassOfItsColour) {
  TGraphSection section;
  section.Palette.Assign(ClassPalette(0, 100, false, true));
  TClassLimits limits{};
  DefaultClassLimits(section, limits);
  ASSERT_TRUE(LimitsDescend(limits));
  EXPECT_DOUBLE_EQ(limits[0], 94);
  EXPECT_DOUBLE_EQ(limits[15], 6.5);
  const struct {
    double v;
    int cls;
  } cases[] = {{1e9, 0}, {94, 0}, {93.9, 1}, {81.5, 1}, {81.4, 2}, {50, 4}, {6.5, 7}, {6.4, 8}, {-1, 8}};
  for (const auto& c : cases) {
    int cls = -2;
    EXPECT_TRUE(ClassOfValue(section, limits, cls, c.v)) << c.v;
    EXPECT_EQ(cls, c.cls) << c.v;
  }
  // A middle row entered high to low still holds the values between its limits.
  TClassLimits swapped = limits;
  std::swap(swapped[7], swapped[8]);
  int cls = -2;
  EXPECT_TRUE(ClassOfValue(section, swapped, cls, 50));
  EXPECT_EQ(cls, 4);
}

TEST_F(Preview, DefaultLimitsOfAPaletteRedAtItsMaximumShowEveryClassInItsColour) {
  auto section = Sample();  // values 5, 20, 60 and 2.5, 1.5, 40 on a palette of 2..50
  section->Palette.Assign(ClassPalette(2, 50, false, true));
  TClassLimits limits{};
  DefaultClassLimits(*section, limits);
  const auto& classes = ColorClasses();
  const std::string csv = BlocksTableCSV(*section, limits, true);
  for (const char* row : {"SURFACE,RED,", "SURFACE,ORANGE,", "SURFACE,GREEN,", "SURFACE,BLUE,"})
    EXPECT_NE(csv.find(row), std::string::npos) << row;
  TBitmap bitmap(200, 100);
  bitmap.Canvas().SetBrushColor(clGray);
  bitmap.Canvas().FillRect({0, 0, 200, 100});
  double frequency = 0;
  DrawPreview(*section, bitmap.Canvas(), limits, 0, 0, 199, 99, frequency);
  std::set<TColor> shown;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) shown.insert(bitmap.Pixel(x, y));
  for (int k : {0, 2, 5, 8}) EXPECT_EQ(shown.count(classes[static_cast<size_t>(k)].Color), 1u) << k;
}

TEST_F(Preview, WithoutClassifiedCellsOrExtentPaintsNothing) {
  auto section = Sample();
  TClassLimits nothing{};
  nothing.fill(1e9);
  nothing[0] = -1e9;  // every value between class 0 and class 8 falls into a gap
  for (int k = 1; k < 15; ++k) nothing[static_cast<size_t>(k)] = 0;
  TBitmap bitmap(50, 50);
  bitmap.Canvas().SetBrushColor(clGray);
  bitmap.Canvas().FillRect({0, 0, 50, 50});
  double frequency = 0;
  DrawPreview(*section, bitmap.Canvas(), nothing, 0, 0, 49, 49, frequency);
  for (int y = 0; y < 50; y += 7)
    for (int x = 0; x < 50; x += 7) EXPECT_EQ(bitmap.Pixel(x, y), clGray) << x << "," << y;

  TGraphSection empty;  // empty bounds
  frequency = 1;
  DrawPreview(empty, bitmap.Canvas(), kGapLimits, 0, 0, 49, 49, frequency);
  EXPECT_EQ(frequency, 0);

  // One cell of no width and no height: no scale, nothing painted.
  auto flat = Sample();
  flat->X1 = flat->X2 = {1, 1, 1};
  flat->Y1 = flat->Y2 = {2, 2, 2};
  flat->StartZ = flat->EndZ = 5;
  flat->CalcBounds();
  DrawPreview(*flat, bitmap.Canvas(), kGapLimits, 0, 0, 49, 49, frequency);
  EXPECT_EQ(bitmap.Pixel(25, 25), clGray);
}

// ---- Group exports ----------------------------------------------------------------------------

TEST(GroupExports, EachSectionGoesToItsOwnFileInTheChosenFolder) {
  auto high = Sample("valid_v1_25k.sec");
  auto low = Sample();
  TGroupMemberNames taken;
  EXPECT_EQ(GroupMemberFileName("/data/out/B1-B2.csv", *high, taken), "/data/out/B1-B2_25.csv");
  EXPECT_EQ(GroupMemberFileName("/data/out/B1-B2.csv", *low, taken), "/data/out/B1-B2_12.csv");
  // Another 12-kHz section would replace the file before: it takes its decimals.
  low->Frequency = 12750;
  EXPECT_EQ(GroupMemberFileName("/data/out/B1-B2.csv", *low, taken), "/data/out/B1-B2_12_75.csv");
  EXPECT_EQ(GroupMemberFileName("/data/out/B1-B2.csv", *low, taken), "/data/out/B1-B2_12_75_2.csv");
  TGroupMemberNames fresh;
  EXPECT_EQ(GroupMemberFileName("name", *high, fresh), "name_25");

  // Many of one frequency (NaN is every NaN's): each takes the next counter, looking
  // up no name an earlier one took.
  low->Frequency = std::numeric_limits<float>::quiet_NaN();
  TGroupMemberNames many;
  const int64_t before = GroupMemberNamesTriedForTesting();
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) names.push_back(GroupMemberFileName("many.csv", *low, many));
  const std::string withDecimals = names[1].substr(0, names[1].size() - 4);  // no ".csv"
  EXPECT_EQ(names[2], withDecimals + "_2.csv");
  EXPECT_EQ(names.back(), withDecimals + "_2999.csv");
  EXPECT_LE(GroupMemberNamesTriedForTesting() - before, 3 * 3000);
}

TEST(GroupExports, XYZAndDxfWriteOneFilePerSection) {
  TScratchFolder folder;
  auto high = Sample("valid_v1_25k.sec");
  auto low = Sample();
  const std::vector<TGraphSection*> sections{high.get(), low.get()};
  ExportXYZ(sections, folder.File("pair.csv"), 2, true);
  EXPECT_EQ(folder.Get("pair_25.csv"), XYZTableCSV(*high, true));
  EXPECT_EQ(folder.Get("pair_12.csv"), XYZTableCSV(*low, true));
  ExportDXF(sections, folder.File("pair.dxf"), true);
  EXPECT_NE(folder.Get("pair_25.dxf").find("\r\n25kHz\r\n"), std::string::npos);
  EXPECT_NE(folder.Get("pair_12.dxf").find("\r\n12_5kHz\r\n"), std::string::npos);
}

TEST(GroupExports, BlocksAskOnceWithTheFirstSectionsLimitsAndOnePreviewEach) {
  TScratchFolder folder;
  auto high = Sample("valid_v1_25k.sec");
  auto low = Sample();
  high->Palette.SetRange(4, 40);  // different defaults from the second section
  TClassLimits firstDefaults{};
  DefaultClassLimits(*high, firstDefaults);
  int calls = 0;
  SetExportColorDialog([&](const std::string& caption, TClassLimits& limits, bool mustBePositive,
                           const std::vector<TPreviewCallback>& callbacks) {
    ++calls;
    EXPECT_EQ(caption, "B-1 - B 2");
    EXPECT_EQ(limits, firstDefaults);
    EXPECT_FALSE(mustBePositive);  // DataKind 3
    EXPECT_EQ(callbacks.size(), 2u);
    TBitmap bitmap(10, 10);
    double frequency = 0;
    callbacks[1](bitmap.Canvas(), limits, 0, 0, 9, 9, frequency);
    EXPECT_EQ(frequency, 12500);
    limits = kGapLimits;
    return true;
  });
  EnsureTestApplication();
  const std::vector<TGraphSection*> sections{high.get(), low.get()};
  EXPECT_TRUE(ExportBlocks("B-1 - B 2", sections, folder.File("pair.dat"), 1, true));
  SetExportColorDialog({});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(folder.Get("pair_12.dat"), BlocksTableText(*low, kGapLimits, true));
  EXPECT_EQ(folder.Get("pair_25.dat"), BlocksTableText(*high, kGapLimits, true));
  EXPECT_FALSE(ExportBlocks("x", {}, folder.File("none.dat"), 1, true));
}

TEST(GroupExports, SectionBlocksExportAsksForPositiveLimitsUnlessDataKindIs3) {
  TScratchFolder folder;
  auto section = Sample();
  section->DataKind = 2;
  std::string seenCaption;
  bool seenPositive = false;
  SetExportColorDialog([&](const std::string& caption, TClassLimits&, bool mustBePositive,
                           const std::vector<TPreviewCallback>& callbacks) {
    seenCaption = caption;
    seenPositive = mustBePositive;
    EXPECT_EQ(callbacks.size(), 1u);
    return false;  // Cancel
  });
  EXPECT_FALSE(ExportBlocks(*section, folder.File("b.csv"), true, 2));
  SetExportColorDialog({});
  EXPECT_EQ(seenCaption, "B-1 - B 2 12.5 kHz");
  EXPECT_TRUE(seenPositive);
  EXPECT_TRUE(folder.Entries().empty());
}

// ---- Menu commands ----------------------------------------------------------------------------

struct TSaveDialogCall {
  TExportFileKind Kind;
  std::string FileName;
  std::string Title;
  bool Group = false;
};

// Installs a save dialog that records its calls and answers with target.
class TFakeSaveDialog {
 public:
  explicit TFakeSaveDialog(std::optional<TExportTarget> target) : target_(std::move(target)) {
    SetExportSaveDialog([this](TExportFileKind kind, const std::string& fileName, const std::string& title,
                               bool group) {
      Calls.push_back({kind, fileName, title, group});
      return target_;
    });
  }
  ~TFakeSaveDialog() { SetExportSaveDialog({}); }
  std::vector<TSaveDialogCall> Calls;

 private:
  std::optional<TExportTarget> target_;
};

TEST(ExportCommands, SectionCommandsProposeTheExportNameAndTitle) {
  TScratchFolder folder;
  TFakeServices services;
  auto section = Sample();
  TFakeSaveDialog dialog(TExportTarget{folder.File("s.csv"), 2, false});
  XYZExportClick(*section);
  EXPECT_EQ(folder.Get("s.csv").substr(0, 12), "X,Y,Z,APP_RE");
  DXFExportClick(*section);
  EXPECT_EQ(folder.Get("s.csv").substr(0, 12), "  0\r\nSECTION");  // the same name, now a drawing
  ASSERT_EQ(dialog.Calls.size(), 2u);
  EXPECT_EQ(dialog.Calls[0].Kind, TExportFileKind::Table);
  EXPECT_EQ(dialog.Calls[0].FileName, "B1-B2_12");
  EXPECT_EQ(dialog.Calls[0].Title, "B-1 - B 2 12.5 kHz XYZ values sheet export");
  EXPECT_EQ(dialog.Calls[1].Kind, TExportFileKind::Dxf);
  EXPECT_EQ(dialog.Calls[1].Title, "B-1 - B 2 12.5 kHz DXF export");
  EXPECT_FALSE(dialog.Calls[0].Group || dialog.Calls[1].Group);  // the dialog asks about the name it writes
  EXPECT_TRUE(services.Messages.empty());
}

TEST(ExportCommands, FailureIsToldToTheUserAsAnError) {
  TScratchFolder folder;
  TFakeServices services;
  auto section = Sample();
  TFakeSaveDialog dialog(TExportTarget{folder.File("no/s.xls"), 3, true});
  XYZExportClick(*section);
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
}

TEST(ExportCommands, RunningOutOfMemoryIsToldAsSuchAndWritesNothing) {
  TScratchFolder folder;
  TFakeServices services;
  auto section = Sample();
  TFakeSaveDialog dialog(TExportTarget{folder.File("b.xls"), 3, true});
  // The memory runs out once the export is under way (here: in its colour dialog).
  SetExportColorDialog([](const std::string&, TClassLimits&, bool, const std::vector<TPreviewCallback>&) -> bool {
    throw std::bad_alloc();
  });
  BlocksExportClick(*section);
  SetExportColorDialog({});
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(services.Messages[0].Text.rfind("There is not enough memory for the section: only ", 0), 0u)
      << services.Messages[0].Text;
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(ExportCommands, CancelOrNoDialogWritesNothing) {
  TScratchFolder folder;
  auto section = Sample();
  XYZExportClick(*section);  // no dialog installed
  {
    TFakeSaveDialog dialog(std::nullopt);
    XYZExportClick(*section);
    BlocksExportClick(*section);
    EXPECT_EQ(dialog.Calls.size(), 2u);
    EXPECT_EQ(dialog.Calls[1].Title, "B-1 - B 2 12.5 kHz blocks sheet export");
  }
  TGraphSectionGroup emptyGroup;
  TFakeSaveDialog dialog(TExportTarget{folder.File("g.csv"), 2, true});
  XYZExportClick(emptyGroup);
  EXPECT_TRUE(dialog.Calls.empty());
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(ExportCommands, RegisteredCommandsRunFromTheGroupsMenu) {
  TScratchFolder folder;
  TFakeServices services;
  RegisterSectionExportCommands();
  TGraphSectionGroup group;
  auto section = Sample();
  group.SetPairFrom(*section);
  group.AddChild(std::move(section), true);
  TObjectMenu menu;
  group.FillMenu(menu);
  TObjectMenuItem* exports = FindMenuItem(menu, "E&xport");
  ASSERT_NE(exports, nullptr);
  TObjectMenuItem* xyz = FindMenuItem(exports->Items, "&XYZ values table");
  ASSERT_NE(xyz, nullptr);
  EXPECT_TRUE(xyz->Enabled);
  TFakeSaveDialog dialog(TExportTarget{folder.File("g.dat"), 1, true});
  xyz->OnClick();
  ASSERT_EQ(dialog.Calls.size(), 1u);
  EXPECT_EQ(dialog.Calls[0].FileName, "B1-B2");
  EXPECT_EQ(dialog.Calls[0].Title, "B-1 - B 2 XYZ values sheet export");
  EXPECT_TRUE(dialog.Calls[0].Group);  // the export asks about its members' files itself
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"g_12.dat"});
  // Other tests of this program expect the items unregistered.
  for (TSectionExport e : {TSectionExport::BlocksTable, TSectionExport::XYZTable, TSectionExport::Dxf}) {
    RegisterSectionExport(e, nullptr);
    RegisterSectionGroupExport(e, nullptr);
  }
}

}  // namespace
}  // namespace qira

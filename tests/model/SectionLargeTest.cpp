// Large sections: refused before they are read or built when the memory available
// cannot hold them; exported to workbooks whose records reach xlrd across as many
// sheets as they take.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "model/GraphicsSceneSupport.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "platform/AvailableMemory.h"
#include "support/AddressSpaceLimit.h"
#include "support/CountingSection.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/HeapPeak.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

using test::CountingSection;
using test::RunPython;
using test::TPeerOutput;

// Per sheet: its name, row count and whether its header row is the table's. Then
// the values of every record in sheet order (the values column of a values table;
// one value per block of five SURFACE rows six rows apart in a blocks table) checked
// to count up from 1: "records N ordered".
const char* const kSheetsPeer = R"PY(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
blocks = sys.argv[2] == "blocks"
header = ["SURFACE", "COLOR", "NORTHING", "EASTING", "ELEVATION", "VALUE"] if blocks else ["X", "Y", "Z", "APP_RES"]
values = []
for sh in book.sheets():
    print("sheet %s %d %s" % (sh.name, sh.nrows, sh.row_values(0)[:len(header)] == header))
    if blocks:
        for r in range(2, sh.nrows, 6):
            ring = [sh.row_values(r + k) for k in range(5)]
            assert all(row[0] == "SURFACE" and row[5] == ring[0][5] for row in ring), r
            assert r + 5 >= sh.nrows or sh.cell_type(r + 5, 0) == xlrd.XL_CELL_EMPTY, r
            values.append(ring[0][5])
    else:
        values += [sh.cell_value(r, 3) for r in range(1, sh.nrows)]
print("records %d %s" % (len(values), "ordered" if values == [float(k + 1) for k in range(len(values))] else "disordered"))
)PY";

TPeerOutput ReadSheets(const TScratchFolder& folder, const std::string& file, const char* table) {
  return RunPython(folder, "sheets_peer.py", kSheetsPeer, {file, table});
}

// The blocks workbook against the blocks CSV table of the same section, line by line
// from row 1 of each sheet: texts alike, coordinates within the table's 2 decimals,
// values within its 4 digits, an empty CSV field an empty cell. Prints the cells read,
// the mismatches and the CSV lines left over.
const char* const kBlocksAgainstCsvPeer = R"PY(
import sys, csv, xlrd
book = xlrd.open_workbook(sys.argv[1])
lines = list(csv.reader(open(sys.argv[2], newline="")))
header, records = lines[0], iter(lines[1:])
cells = mismatches = 0
for sh in book.sheets():
    if sh.row_values(0) != header:
        mismatches += 1
    for r in range(1, sh.nrows):
        line = next(records)
        for c, text in enumerate(line):
            kind = sh.cell_type(r, c) if c < sh.ncols else xlrd.XL_CELL_EMPTY
            if kind != xlrd.XL_CELL_EMPTY:
                cells += 1
            x = sh.cell_value(r, c) if kind != xlrd.XL_CELL_EMPTY else None
            if text == "":
                ok = kind == xlrd.XL_CELL_EMPTY
            elif c < 2:
                ok = x == text
            elif c < 5:
                ok = kind == xlrd.XL_CELL_NUMBER and abs(x - float(text)) <= 0.0050001
            else:
                ok = kind == xlrd.XL_CELL_NUMBER and abs(x - float(text)) <= 5e-4 * abs(float(text))
            mismatches += not ok
print("cells %d mismatches %d leftover %d" % (cells, mismatches, sum(1 for _ in records)))
)PY";

#ifdef QIRA_HEAP_HOOKS
using test::THeapPeak;
#endif

// ---- Memory ----------------------------------------------------------------------------

class SectionMemory : public ::testing::Test {
 protected:
  void TearDown() override { SetAvailableMemoryProbe({}); }
  static void Limit(int64_t bytes) { SetAvailableMemoryProbe([bytes] { return bytes; }); }
};

TEST_F(SectionMemory, AFileTooLargeForTheMemoryAvailableIsRefusedBeforeItsGridIsRead) {
  // The sample has 2 x 4 cells: the grid, its sheet and its first frame take 1144 bytes.
  TMemoryStream file = TGeneratedFixtures::Of("make_sections.py").Stream("valid_v1.sec");
  Limit(1000);
  const std::string message = ThrownMessage<ESectionFileError>([&] { ReadSectionFile(file); });
  EXPECT_EQ(message, "The section of 2 x 4 cells is too large to be shown: it needs 1 MB of memory, more than the 0 MB "
                     "available now.");
  EXPECT_LT(file.Position(), file.Size());  // the grid was never read

  Limit(int64_t{1} << 20);
  file.Seek(0);
  EXPECT_TRUE(ReadSectionFile(file));
}

TEST_F(SectionMemory, AWorkbookTooLargeForTheMemoryAvailableIsRefusedBeforeAnyFileIsWritten) {
  TScratchFolder folder;
  auto section = CountingSection(100, 100);
  const TClassLimits limits{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 60, 60, 70, 70, 80, 80};
  // 10000 blocks of five rows of six cells; 10000 nodes of four cells.
  Limit(int64_t{8} << 20);
  EXPECT_EQ(ThrownMessage<ESectionExportError>([&] { ExportBlocksSheet(*section, limits, folder.File("b.xls"), true); }),
            "The workbook of 300000 cells is too large to be written: it needs 15 MB of memory, more than the 8 MB "
            "available now.");
  EXPECT_EQ(ThrownMessage<ESectionExportError>([&] { ExportXYZValuesSheet(*section, folder.File("v.xls"), true); }),
            "The workbook of 40000 cells is too large to be written: it needs 9 MB of memory, more than the 8 MB "
            "available now.");
  // 4410000 blocks take more than a workbook file can hold, whatever the memory.
  auto vast = CountingSection(2100, 2100);
  EXPECT_EQ(ThrownMessage<ESectionExportError>([&] { ExportBlocksSheet(*vast, limits, folder.File("b.xls"), true); }),
            "The workbook of 132300000 cells is larger than a workbook file can hold (2 GB).");
  EXPECT_FALSE(std::filesystem::exists(folder.File("b.xls")));
  EXPECT_FALSE(std::filesystem::exists(folder.File("v.xls")));

  Limit(int64_t{20} << 20);
  ExportBlocksSheet(*section, limits, folder.File("b.xls"), true);
  ExportXYZValuesSheet(*section, folder.File("v.xls"), true);
  EXPECT_TRUE(std::filesystem::exists(folder.File("b.xls")));
  EXPECT_TRUE(std::filesystem::exists(folder.File("v.xls")));
}

TEST_F(SectionMemory, ASectionTooLargeToBuildIsToldAndLeftWithoutMeshes) {
  graphics_testing::TViewScene view;
  TFakeServices fake;
  auto section = CountingSection(100, 100);
  section->SetContext(&view.context);
  Limit(int64_t{100 * 100} * 100);  // 100 bytes a cell
  section->Build(false);
  EXPECT_FALSE(section->FrontMesh || section->BackMesh);
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text.rfind("The section of 100 x 100 cells is too large to be shown: it needs ", 0), 0u)
      << fake.Messages[0].Text;

  SetAvailableMemoryProbe({});
  section->Build(false);
  EXPECT_TRUE(section->FrontMesh && section->BackMesh);
  EXPECT_EQ(fake.Messages.size(), 1u);
}

// In a child process, so that the limit binds nothing else.
TEST(SectionMemoryDeathTest, ASectionBeyondTheAddressSpaceLimitIsRefusedAndASmallOneBuilt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        graphics_testing::TViewScene view;
        TFakeServices fake;
        auto large = CountingSection(1000, 1000);  // about 110 MB once drawn
        auto small = CountingSection(100, 100);    // about 1 MB
        large->SetContext(&view.context);
        small->SetContext(&view.context);
        if (!LimitAddressSpace(int64_t{64} << 20)) _exit(2);
        large->Build(false);
        small->Build(false);
        const bool refused =
            !large->FrontMesh && fake.Messages.size() == 1 &&
            fake.Messages[0].Text.rfind("The section of 1000 x 1000 cells is too large to be shown: it needs ", 0) == 0;
        _exit(refused && small->FrontMesh ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- Workbooks ------------------------------------------------------------------------

// The values and the blocks each in a case of their own, so that they run in different
// test shards.
TEST(LargeSectionWorkbooks, ValuesRunOnOverFurtherSheetsWithTheHeaderRepeated) {
  TScratchFolder folder;
  auto section = CountingSection(300, 300);
  ExportXYZValuesSheet(*section, folder.File("v.xls"), true);
  TPeerOutput run = ReadSheets(folder, folder.File("v.xls"), "values");
  ASSERT_EQ(run.status, 0) << run.text;
  // 65535 records fill rows 1..65535 of the first sheet; the other 24465 follow.
  EXPECT_EQ(run.lines, (std::vector<std::string>{"sheet 12.5 kHz 65536 True", "sheet 12.5 kHz (2) 24466 True",
                                                 "records 90000 ordered"}));
}

TEST(LargeSectionWorkbooks, BlocksRunOnOverFurtherSheetsWithTheHeaderRepeated) {
  TScratchFolder folder;
  auto section = CountingSection(300, 300);
  // Ascending limits without gaps: every value has a class.
  const TClassLimits limits{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 60, 60, 70, 70, 80, 80};
  ExportBlocksSheet(*section, limits, folder.File("b.xls"), true);
  const TPeerOutput run = ReadSheets(folder, folder.File("b.xls"), "blocks");
  ASSERT_EQ(run.status, 0) << run.text;
  // 10922 blocks fit rows 2..65532 of a sheet; 90000 blocks take nine sheets.
  ASSERT_EQ(run.lines.size(), 10u) << run.text;
  EXPECT_EQ(run.lines[0], "sheet 12.5 kHz 65533 True");
  for (int k = 2; k <= 8; ++k)
    EXPECT_EQ(run.lines[static_cast<size_t>(k - 1)], "sheet 12.5 kHz (" + std::to_string(k) + ") 65533 True");
  EXPECT_EQ(run.lines[8], "sheet 12.5 kHz (9) " + std::to_string(2 + 6 * (90000 - 8 * 10922) - 1) + " True");
  EXPECT_EQ(run.lines[9], "records 90000 ordered");
}

TEST(LargeSectionWorkbooks, TheBlocksOfA300By300SectionTakeNoMoreHeapThanTheFileAnd32MB) {
#ifndef QIRA_HEAP_HOOKS
  GTEST_SKIP() << "the heap is measured through the address sanitizer's allocator hooks";
#else
  TScratchFolder folder;
  auto section = CountingSection(300, 300);
  const TClassLimits limits{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 60, 60, 70, 70, 80, 80};

  THeapPeak::Start();
  ExportBlocksSheet(*section, limits, folder.File("b.xls"), true);
  const int64_t peak = THeapPeak::Stop();
  const auto size = static_cast<int64_t>(std::filesystem::file_size(folder.File("b.xls")));
  EXPECT_GT(size, int64_t{40} << 20);
  EXPECT_LT(peak, size + (int64_t{32} << 20)) << "file " << size << " bytes";
  RecordProperty("file_bytes", std::to_string(size));
  RecordProperty("peak_heap_growth_bytes", std::to_string(peak));

  ExportBlocksCSV(*section, limits, folder.File("b.csv"), true);
  const TPeerOutput run =
      RunPython(folder, "blocks_csv_peer.py", kBlocksAgainstCsvPeer, {folder.File("b.xls"), folder.File("b.csv")});
  ASSERT_EQ(run.status, 0) << run.text;
  // 90000 blocks of five rows of six cells below the header rows.
  EXPECT_EQ(run.lines, std::vector<std::string>{"cells " + std::to_string(90000 * 30) + " mismatches 0 leftover 0"});
#endif
}

}  // namespace
}  // namespace qira

// Large sections: refused before they are read or built when the memory available
// cannot hold them; exported to workbooks whose records reach xlrd across as many
// sheets as they take.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "model/GraphicsSceneSupport.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "platform/AvailableMemory.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

using test::RunPython;
using test::TPeerOutput;

// A rows x cols section in the plane East = 0 whose cell (i, j) holds 1 + i*cols + j,
// so the records of a table count up from 1 in row order.
std::unique_ptr<TGraphSection> CountingSection(int rows, int cols) {
  auto s = std::make_unique<TGraphSection>();
  s->Frequency = 12500;
  s->RowCount = rows;
  s->ColCount = cols;
  const size_t entries = static_cast<size_t>(rows) + 1;
  s->X1.assign(entries, 0.0);
  s->X2.assign(entries, static_cast<double>(cols));
  s->Y1.assign(entries, 0.0);
  s->Y2.assign(entries, 0.0);
  s->StartZ = 0;
  s->EndZ = -rows;
  s->Values.assign(static_cast<size_t>(rows), std::vector<double>(static_cast<size_t>(cols)));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) s->Values[i][j] = 1.0 + i * cols + j;
  s->CalcBounds();
  s->CalcDataRange();
  return s;
}

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
  EXPECT_EQ(message, "The section of 2 x 4 cells needs about 2 KB of memory to be shown, but only 1 KB are available.");
  EXPECT_LT(file.Position(), file.Size());  // the grid was never read

  Limit(int64_t{1} << 20);
  file.Seek(0);
  EXPECT_TRUE(ReadSectionFile(file));
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
  EXPECT_EQ(fake.Messages[0].Text.rfind("The section of 100 x 100 cells needs about ", 0), 0u) << fake.Messages[0].Text;

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
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = static_cast<rlim_t>(ReadMemoryFigures().AddressSpaceUsed + (int64_t{64} << 20));
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        large->Build(false);
        small->Build(false);
        const bool refused = !large->FrontMesh && fake.Messages.size() == 1 &&
                             fake.Messages[0].Text.rfind("The section of 1000 x 1000 cells needs about ", 0) == 0;
        _exit(refused && small->FrontMesh ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- Workbooks ------------------------------------------------------------------------

TEST(LargeSectionWorkbooks, ValuesAndBlocksRunOnOverFurtherSheetsWithTheHeaderRepeated) {
  TScratchFolder folder;
  auto section = CountingSection(300, 300);
  // Ascending limits without gaps: every value has a class.
  const TClassLimits limits{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 60, 60, 70, 70, 80, 80};

  ExportXYZValuesSheet(*section, folder.File("v.xls"), true);
  TPeerOutput run = ReadSheets(folder, folder.File("v.xls"), "values");
  ASSERT_EQ(run.status, 0) << run.text;
  // 65535 records fill rows 1..65535 of the first sheet; the other 24465 follow.
  EXPECT_EQ(run.lines, (std::vector<std::string>{"sheet 12.5 kHz 65536 True", "sheet 12.5 kHz (2) 24466 True",
                                                 "records 90000 ordered"}));

  ExportBlocksSheet(*section, limits, folder.File("b.xls"), true);
  run = ReadSheets(folder, folder.File("b.xls"), "blocks");
  ASSERT_EQ(run.status, 0) << run.text;
  // 10922 blocks fit rows 2..65532 of a sheet; 90000 blocks take nine sheets.
  ASSERT_EQ(run.lines.size(), 10u) << run.text;
  EXPECT_EQ(run.lines[0], "sheet 12.5 kHz 65533 True");
  for (int k = 2; k <= 8; ++k)
    EXPECT_EQ(run.lines[static_cast<size_t>(k - 1)], "sheet 12.5 kHz (" + std::to_string(k) + ") 65533 True");
  EXPECT_EQ(run.lines[8], "sheet 12.5 kHz (9) " + std::to_string(2 + 6 * (90000 - 8 * 10922) - 1) + " True");
  EXPECT_EQ(run.lines[9], "records 90000 ordered");
}

}  // namespace
}  // namespace qira

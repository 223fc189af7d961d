// Validation formulas as a second reader, LibreOffice, understands them: a
// reference relative to the validated range's first cell and an explicit list
// of several items. (gnumeric reads the same relative reference from A1, giving
// "IV65517*4" for A1*4 on B21:B23, and shows an explicit list's first item
// only; LibreOffice follows the format as written.)
#include <gtest/gtest.h>

#include <string>

#include "support/BiffRecords.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"
#include "xls/BiffWriter.h"
#include "xls/CompoundFile.h"
#include "xls/XlsWorkbook.h"

namespace qira {
namespace {

using test::LibreOfficeConvert;
using test::RunCommand;
using test::RunPython;
using test::TPeerOutput;

// Each validation LibreOffice read: its base cell and its condition.
const char* const kValidationsPeer = R"PY(
import sys, xml.etree.ElementTree as ET
TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
for v in ET.parse(sys.argv[1]).iter(TABLE + "content-validation"):
    print("%s %s" % (v.get(TABLE + "base-cell-address"), v.get(TABLE + "condition")))
)PY";

struct TValidationCase {
  uint8_t type;
  uint8_t op;
  const char* formula;
  int row1, row2, col;
  const char* read;  // as LibreOffice reads it back
};

TEST(ValidationReaders, LibreOfficeReadsRelativeReferencesFromTheFirstCellAndEveryListItem) {
  ASSERT_EQ(RunCommand("command -v soffice").status, 0) << "LibreOffice is not installed; run scripts/setup";
  const TValidationCase cases[] = {
      {8, 0, "A1*4", 20, 22, 1, "Sheet1.B21 of:is-true-formula([.A1]*4)"},
      {1, 5, "A1*4", 20, 22, 3, "Sheet1.D21 of:cell-content-is-whole-number() and cell-content()>[.A1]*4"},
      {8, 0, "$A$1+B1", 3, 3, 4, "Sheet1.E4 of:is-true-formula([.$A$1]+[.B1])"},
      {4, 0, "A,B,C", 5, 5, 2, "Sheet1.C6 of:cell-content-is-in-list(\"A\";\"B\";\"C\")"},
  };
  TXLSFile file;
  TSheet& sheet = file.Workbook().Sheets().Items(0);
  sheet.Cells().Items(0, 0).SetValue(2.0);
  for (const TValidationCase& c : cases) {
    TCellValidation& v = sheet.Validations().Add();
    v.Type = c.type;
    v.Operator = c.op;
    v.Formula1 = c.formula;
    v.Rects.Add(c.row1, c.row2, c.col, c.col);
  }
  TScratchFolder folder;
  file.SaveAs(folder.File("checks.xls"));
  const TPeerOutput run = LibreOfficeConvert(folder, "checks.xls", "fods");
  ASSERT_EQ(run.status, 0) << run.text;
  const TPeerOutput peer = RunPython(folder, "validations_peer.py", kValidationsPeer, {folder.File("checks.fods")});
  ASSERT_EQ(peer.status, 0) << peer.text;
  for (const TValidationCase& c : cases) EXPECT_TRUE(peer.Has(c.read)) << c.read << "\n" << peer.text;

  // The bytes LibreOffice read so: A1 from B21 is the relative reference
  // (row -20, column -1, both relative), the list one string with 0 separators.
  TCFile memory(cfmCreateInMemory, "");
  TXLSWriter writer(file);
  writer.SaveToCompoundFile(memory, u"");
  const auto& bytes = memory.Root().FindStream("Workbook")->Data();
  const test::TBiffRecords records = test::TBiffRecords(std::string(bytes.begin(), bytes.end())).Substream(1);
  EXPECT_NE(records.Find(biff::kDV, 0).data.find(std::string("\x4C\xEC\xFF\xFF\xC0", 5)), std::string::npos);
  EXPECT_NE(records.Find(biff::kDV, 3).data.find(std::string("\x17\x05\x01" "A\0\0\0B\0\0\0C\0", 13)),
            std::string::npos);
}

}  // namespace
}  // namespace qira

#pragma once
// The link table of a workbook: the supporting documents (the workbook itself
// first), the sheet references (XTI entries) through which formulas name sheets,
// and the defined names. The formula parser resolves references through it; the
// writer emits it as SUPBOOK, EXTERNNAME, EXTERNSHEET and NAME records.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   references
//   documents and names
//   link table
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xls/XlsSupport.h"

namespace qira {

// [SECTION] references

enum class TRefKind : uint8_t {
  None,
  Cell,
  Area,
  SheetCell,
  SheetRangeCell,
  SheetArea,
  Name,
  ExternName,
  WorkbookCell,
  WorkbookArea,
};

// An operand of a formula as a recogniser understood it. Rows and columns are
// 0-based; the name index is 1-based.
struct TXLSReference {
  std::string Text;
  TRefKind Kind = TRefKind::None;
  uint16_t Xti = 0;
  uint16_t Row1 = 0, Row2 = 0;
  uint8_t Col1 = 0, Col2 = 0;
  bool AbsRow1 = false, AbsRow2 = false, AbsCol1 = false, AbsCol2 = false;
  uint16_t NameIndex = 0;
};

// [SECTION] documents and names

// Built-in name codes that the writer uses.
inline constexpr uint8_t kBuiltInPrintArea = 7;
inline constexpr uint8_t kBuiltInPrintTitles = 8;

// The text of a built-in name code (taken AND 127); empty for an unknown code.
std::u16string BuiltInNameText(uint8_t code);

struct TXLSLinkName {
  std::u16string Name;
  // The sheet a sheet-local name belongs to; -1 for a workbook-wide name.
  int32_t SheetIndex = -1;
  // The sheet whose XTI the definition's areas use (the name's own sheet).
  int32_t RefSheet = -1;
  TRangeRects Rects;
  uint8_t BuiltIn = 0;  // 0: a user name
};

struct TXLSLinkDocument {
  std::u16string Path;
  TAnsiStringList SheetNames;  // UTF-16 bytes of each name
  std::vector<TXLSLinkName> Names;
  bool Own = false;
  bool AddIn = false;
};

struct TXti {
  uint16_t Document = 0;
  uint16_t First = 0;
  uint16_t Last = 0;
  bool operator==(const TXti&) const = default;
};

// [SECTION] link table

class TXLSLinkTable {
 public:
  static constexpr uint16_t kNone = 0xFFFF;

  TXLSLinkTable();
  // Frees every document and XTI entry and recreates the own document.
  void Clear();

  // Appends a sheet name to the own document when it is not there yet.
  void AddSheetName(std::u16string_view name);
  // kNone when absent (exact comparison).
  uint16_t IndexOfSheet(std::u16string_view name) const;
  // 0-based position among the own document's names, or kNone.
  uint16_t IndexOfName(std::u16string_view name) const;
  // A built-in code gives the name its built-in text. sheetIndex is the sheet of
  // a sheet-local name (-1: workbook-wide), refSheet the sheet its rectangles lie
  // on. Raises EXLSError 11 for a user name that is no valid name or is already
  // defined in the same scope.
  void AddName(std::u16string_view name, const TRangeRects& rects, int32_t sheetIndex, uint8_t builtIn,
               int32_t refSheet);
  // The XTI entry of one own sheet or a range of them, appended when absent;
  // kNone when a sheet is unknown.
  uint16_t XtiOfSheet(std::u16string_view name);
  uint16_t XtiOfSheetRange(std::u16string_view first, std::u16string_view last);

  // Tries the recognisers in their order; false when none accepts the text.
  // Recognisers may add documents, sheet names, names and XTI entries, which
  // stay also when the formula fails later.
  bool Recognize(std::string_view text, TXLSReference& ref);

  int32_t DocumentCount() const { return static_cast<int32_t>(documents_.size()); }
  const TXLSLinkDocument& Document(int32_t i) const { return *documents_[static_cast<size_t>(i)]; }
  const std::vector<TXti>& Xtis() const { return xtis_; }
  const std::vector<TXLSLinkName>& Names() const { return documents_[0]->Names; }

  // Record data.
  std::string SupBookData(int32_t document) const;
  std::string ExternNameData(const TXLSLinkName& name) const;
  std::string ExternSheetData() const;
  // Raises EXLSError 14 when the name's sheet has no XTI entry.
  std::string NameData(const TXLSLinkName& name) const;

 private:
  bool RecognizeSheetRef(std::string_view text, bool area, TXLSReference& ref);
  bool RecognizeName(std::string_view text, TXLSReference& ref) const;
  bool RecognizeWorkbookRef(std::string_view text, bool area, TXLSReference& ref);
  bool RecognizeExternName(std::string_view text, TXLSReference& ref);
  uint16_t FindOrAddXti(const TXti& xti);
  int32_t FindOrAddDocument(const std::u16string& path, bool addIn);

  std::vector<std::unique_ptr<TXLSLinkDocument>> documents_;
  std::vector<TXti> xtis_;
};

// Fills the cell part of a reference from A1 text; false when it is none.
bool CellToReference(std::string_view text, TXLSReference& ref);
// The same for a range (a single cell is a one-cell range).
bool AreaToReference(std::string_view text, TXLSReference& ref);

}  // namespace qira

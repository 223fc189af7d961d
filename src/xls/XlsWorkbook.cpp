// Sheets, the workbook and the file object.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   ranges, validations, comments and pictures
//   sheet
//   sheets
//   workbook
//   file object
#include "xls/XlsWorkbook.h"

#include <algorithm>

#include "xls/BiffWriter.h"

namespace qira {

namespace {

// The system's ANSI code page and list separator on this platform.
constexpr uint32_t kSystemCodePage = 1252;
constexpr char kSystemListSeparator = ',';

}  // namespace

// [SECTION] ranges, validations, comments and pictures

TRangeRect CheckedRect(int32_t row1, int32_t col1, int32_t row2, int32_t col2) {
  if (!IsValidRow(row1) || !IsValidRow(row2) || !IsValidColumn(col1) || !IsValidColumn(col2))
    throw EXLSError(xlserr::kInvalidRowOrColumn);
  TRangeRect r;
  r.Row1 = static_cast<uint16_t>(std::min(row1, row2));
  r.Row2 = static_cast<uint16_t>(std::max(row1, row2));
  r.Col1 = static_cast<uint8_t>(std::min(col1, col2));
  r.Col2 = static_cast<uint8_t>(std::max(col1, col2));
  r.Flags = 0x0F;  // absolute corners
  return r;
}

TRange& TRanges::Add(std::u16string_view name, int32_t row1, int32_t col1, int32_t row2, int32_t col2) {
  const TRangeRect rect = CheckedRect(row1, col1, row2, col2);
  TRange& range = Append();
  range.Name = name;
  range.Rects.Add(rect);
  return range;
}

TRange& TRanges::Merge(int32_t row1, int32_t col1, int32_t row2, int32_t col2) {
  TRange& range = Add(u"", row1, col1, row2, col2);
  range.Merged = true;
  return range;
}

namespace {

constexpr uint32_t kCommentBuckets = 16383;

std::string CommentKey(uint16_t row, uint16_t col) { return TCells::KeyOf(row, col); }

}  // namespace

TCellComments::TCellComments()
    : list_(kCommentBuckets, [](const TCellComment& c, std::string& key) { key = CommentKey(c.Row, c.Col); }) {}

TCellComment* TCellComments::Find(int32_t row, int32_t col) {
  if (!IsValidRow(row) || !IsValidColumn(col)) return nullptr;
  return list_.Find(CommentKey(static_cast<uint16_t>(row), static_cast<uint16_t>(col)));
}

TCellComment& TCellComments::Add(int32_t row, int32_t col, std::u16string_view text, std::u16string_view author) {
  if (!IsValidRow(row) || !IsValidColumn(col)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  TCellComment* c = Find(row, col);
  if (c == nullptr) {
    auto made = std::make_unique<TCellComment>();
    made->Row = static_cast<uint16_t>(row);
    made->Col = static_cast<uint16_t>(col);
    // Two default columns wide, five default rows (less their borders) high.
    made->Width = static_cast<uint16_t>(2 * DefaultColumnWidthPixels());
    made->Height = static_cast<uint16_t>(5 * (DefaultRowHeightPixels() - 2));
    c = made.get();
    list_.Add(std::move(made));
  }
  c->Text = text;
  c->Author = author;
  return *c;
}

TXLSImage& TXLSImages::AddFile(std::string fileName, int32_t row, int32_t col) {
  if (!IsValidRow(row) || !IsValidColumn(col)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  TXLSImage& image = Append();
  image.FileName = std::move(fileName);
  image.Row = row;
  image.Col = col;
  return image;
}

TXLSImage& TXLSImages::AddBytes(std::string bytes, int32_t row, int32_t col) {
  TXLSImage& image = AddFile({}, row, col);
  image.Bytes = std::move(bytes);
  return image;
}


// [SECTION] sheet

TSheet::TSheet(TWorkbook& workbook, TFormatContext& context)
    : workbook_(workbook), context_(context), cells_(*this, context), columns_(*this, context), rows_(*this, context) {}

void TSheet::UpdateIndex() { index_ = workbook_.Sheets().IndexOf(*this); }

void TSheet::SetName(std::u16string_view name) {
  // A sheet keeps its own name without a clash with itself.
  if (name_ == name) return;
  const uint8_t code = workbook_.Sheets().CheckName(name);
  if (code != 0) throw EXLSError(code);
  name_ = name;
}

bool TSheet::GetUsedRange(uint16_t& firstRow, uint16_t& firstCol, uint16_t& lastRow, uint16_t& lastCol) const {
  const int32_t n = cells_.Count();
  if (n == 0) return false;
  firstRow = 65535;
  firstCol = 255;
  lastRow = 0;
  lastCol = 0;
  for (int32_t i = 0; i < n; ++i) {
    const TCellSlot& cell = cells_.Slot(i);
    firstRow = std::min(firstRow, cell.Row);
    firstCol = std::min<uint16_t>(firstCol, cell.Col);
    lastRow = std::max(lastRow, cell.Row);
    lastCol = std::max<uint16_t>(lastCol, cell.Col);
  }
  return true;
}

// [SECTION] sheets

TSheet& TSheets::Items(int32_t index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index, true);
  return *sheets_[index];
}

TSheet& TSheets::Add(std::u16string_view name) {
  const uint8_t code = CheckName(name);
  if (code != 0) throw EXLSError(code);
  sheets_.push_back(std::make_unique<TSheet>(workbook_, workbook_.Context()));
  TSheet& sheet = *sheets_.back();
  sheet.SetName(name);
  sheet.UpdateIndex();
  return sheet;
}

TSheet* TSheets::FindByName(std::u16string_view name) const {
  for (const auto& sheet : sheets_)
    if (sheet->Name() == name) return sheet.get();
  return nullptr;
}

uint8_t TSheets::CheckName(std::u16string_view name) const {
  if (name.empty() || name.size() > 255) return xlserr::kSheetNameLength;
  if (name.find_first_not_of(u' ') == std::u16string_view::npos) return xlserr::kInvalidSheetName;
  if (FindByName(name)) return xlserr::kInvalidSheetName;
  return 0;
}

int32_t TSheets::IndexOf(const TSheet& sheet) const {
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i].get() == &sheet) return static_cast<int32_t>(i);
  return -1;
}

// [SECTION] workbook

TWorkbook::TWorkbook(int32_t sheetCount)
    : context_{&fonts_, &xfs_, &formatStrings_, &palette_, 0}, sheets_(*this) {
  for (int32_t i = 1; i <= sheetCount; ++i) sheets_.Add(u"Sheet" + Utf8ToWide(std::to_string(i)));
  if (sheets_.Count() > 0) sheets_.Items(0).Selected = true;
}

// [SECTION] file object

TXLSFile::TXLSFile() : workbook_(std::make_unique<TWorkbook>(1)) {
  SetCodePage(kSystemCodePage);
  SetListSeparator(kSystemListSeparator);
}

void TXLSFile::SetCodePage(uint32_t codePage) {
  codePage_ = codePage;
  SetXLSCodePage(codePage);
}

void TXLSFile::SetListSeparator(char separator) {
  listSeparator_ = separator;
  SetXLSListSeparator(separator);
}

void TXLSFile::SaveAs(const std::string& utf8Path) { SaveAsWithPassword(utf8Path, u""); }

void TXLSFile::SaveAsWithPassword(const std::string& utf8Path, std::u16string_view password) {
  TXLSWriter writer(*this);
  writer.OnProgress = OnProgress;
  if (password.empty())
    writer.SaveToFile(utf8Path);
  else
    writer.SaveToFileWithPassword(utf8Path, password);
}

}  // namespace qira

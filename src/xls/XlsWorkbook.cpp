// Sheets, the workbook and the file object.
#include "xls/XlsWorkbook.h"

#include <algorithm>

#include "xls/BiffWriter.h"

namespace qira {

namespace {

// The system's ANSI code page and list separator on this platform.
constexpr uint32_t kSystemCodePage = 1252;
constexpr char kSystemListSeparator = ',';

}  // namespace

// ---------------------------------------------------------------- sheet

TSheet::TSheet(TWorkbook& workbook, TFormatContext& context)
    : workbook_(workbook), context_(context), cells_(*this, context), columns_(*this, context), rows_(*this, context) {}

void TSheet::UpdateIndex() { index_ = workbook_.Sheets().IndexOf(*this); }

void TSheet::SetName(std::u16string_view name) {
  const uint8_t code = workbook_.Sheets().CheckName(name);
  if (code != 0) throw EXLSError(code);
  if (name_ != name) name_ = name;
}

bool TSheet::GetUsedRange(uint16_t& firstRow, uint16_t& firstCol, uint16_t& lastRow, uint16_t& lastCol) const {
  const int32_t n = cells_.Count();
  if (n == 0) return false;
  firstRow = 65535;
  firstCol = 255;
  lastRow = 0;
  lastCol = 0;
  for (int32_t i = 0; i < n; ++i) {
    const TCell& cell = cells_.GetCell(i);
    firstRow = std::min(firstRow, cell.Row());
    firstCol = std::min(firstCol, cell.Col());
    lastRow = std::max(lastRow, cell.Row());
    lastCol = std::max(lastCol, cell.Col());
  }
  return true;
}

// ---------------------------------------------------------------- sheets

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
  if (name.empty() || name.size() > 255) return 7;
  if (name.find_first_not_of(u' ') == std::u16string_view::npos) return 6;
  if (FindByName(name)) return 6;
  return 0;
}

int32_t TSheets::IndexOf(const TSheet& sheet) const {
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i].get() == &sheet) return static_cast<int32_t>(i);
  return -1;
}

// ---------------------------------------------------------------- workbook

TWorkbook::TWorkbook(int32_t sheetCount)
    : context_{&fonts_, &xfs_, &formatStrings_, &palette_, 0}, sheets_(*this) {
  for (int32_t i = 1; i <= sheetCount; ++i) sheets_.Add(u"Sheet" + Utf8ToWide(std::to_string(i)));
  if (sheets_.Count() > 0) sheets_.Items(0).Selected = true;
}

// ---------------------------------------------------------------- file object

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

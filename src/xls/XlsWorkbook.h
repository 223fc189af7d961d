#pragma once
// The in-memory workbook that callers fill and then save: a file object owns one
// workbook, the workbook its sheets, a sheet its cells, rows and columns. Every
// cell, row and column holds an index into the workbook's interned cell-format
// table. Only what has been set is stored: an item that was merely looked at is
// kept as its collection's one pending item and dropped when the next is asked for.
// Cells are held as 16-byte records, each row's cells one run of the sheet's list
// where they were set row by row; a TCell is a view of one of them.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   format context
//   items
//   collections
//   ranges, validations, comments and pictures
//   page setup
//   sheet
//   sheets
//   workbook
//   file object
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/SeededHash.h"
#include "xls/CompoundFile.h"
#include "xls/XlsFormats.h"
#include "xls/XlsLinkTable.h"
#include "xls/XlsSupport.h"
#include "xls/XlsWorkbookValue.h"

namespace qira {

class TCell;
class TCells;
class TColumns;
class TCustomXLSItems;
class TRows;
class TSheet;
class TWorkbook;

// [SECTION] format context

// One record shared by every item of a workbook.
struct TFormatContext {
  TVirtualFontTable* Fonts = nullptr;
  TVirtualXFTable* XFs = nullptr;
  TFormatStrings* FormatStrings = nullptr;
  TXLPalette* Palette = nullptr;
  // 1: a new cell keeps the default format instead of taking its row's or column's.
  uint8_t DoNotInherit = 0;
};

// [SECTION] items

// Base of cells, rows and columns. A setter that changes its field interns the
// changed cell format and notifies the owner, which stores a pending item on its
// first change. Sides: kBorderLeft..kBorderBottom, kBorderAll.
class TCustomXLSItem {
 public:
  virtual ~TCustomXLSItem() = default;
  TCustomXLSItem(const TCustomXLSItem&) = delete;
  TCustomXLSItem& operator=(const TCustomXLSItem&) = delete;

  virtual bool Inserted() const { return inserted_; }
  TCustomXLSItems& Owner() const { return owner_; }
  // Index into the workbook's cell-format table.
  virtual int32_t FormatIndex() const { return formatIndex_; }

  virtual void SetFillColor(uint8_t paletteNumber);
  virtual void SetPatternColor(uint8_t paletteNumber);
  virtual void SetFillColorRGB(TColor color);
  virtual void SetPatternColorRGB(TColor color);
  virtual void SetFillPattern(uint8_t pattern);
  // 0 general, 1 left, 2 centre, 3 right, then the format's further kinds.
  virtual void SetHorizontalAlignment(uint8_t value);
  // 0 top, 1 centre, 2 bottom, ...
  virtual void SetVerticalAlignment(uint8_t value);
  virtual void SetMerged(bool value);
  virtual void SetWrapText(bool value);
  virtual void SetRotation(uint8_t value);
  // Values above 15 are stored as 15.
  virtual void SetIndent(uint8_t value);
  virtual void SetLocked(bool value);
  // These two always intern and notify, also when nothing changed.
  virtual void SetBorderColor(uint8_t side, uint8_t paletteNumber);
  virtual void SetBorderColorRGB(uint8_t side, TColor color);
  virtual void SetBorderStyle(uint8_t side, uint8_t style);
  // index into the format strings; EListError "List index (i) out of bounds" when
  // not below their count or negative.
  virtual void SetNumberFormat(int32_t index);
  virtual void SetFontBold(bool value);
  virtual void SetFontItalic(bool value);
  virtual void SetFontUnderline(bool value);
  virtual void SetFontStrikeout(bool value);
  virtual void SetFontUnderlineKind(uint8_t value);
  virtual void SetFontScript(uint8_t value);
  // At most 100 characters are kept; a longer name is cut.
  virtual void SetFontName(std::u16string_view name);
  virtual void SetFontColor(uint8_t paletteNumber);
  virtual void SetFontColorRGB(TColor color);
  virtual void SetFontHeight(uint16_t points);

  uint8_t GetFillColor() const { return XF().FillColor; }
  uint8_t GetPatternColor() const { return XF().PatternColor; }
  uint8_t GetFillPattern() const { return XF().FillPattern; }
  uint8_t GetHorizontalAlignment() const { return XF().HorizontalAlignment; }
  uint8_t GetVerticalAlignment() const { return XF().VerticalAlignment; }
  bool GetMerged() const { return XF().Merged != 0; }
  bool GetWrapText() const { return XF().WrapText != 0; }
  uint8_t GetRotation() const { return XF().Rotation; }
  uint8_t GetIndent() const { return XF().Indent; }
  bool GetLocked() const { return XF().Locked != 0; }
  // 58 / 0 for a side other than left, right, top or bottom.
  uint8_t GetBorderColor(uint8_t side) const;
  uint8_t GetBorderStyle(uint8_t side) const;
  int32_t GetNumberFormat() const { return XF().NumberFormat; }
  int32_t GetFontIndex() const { return XF().FontIndex; }
  bool GetFontBold() const { return Font().Bold != 0; }
  bool GetFontItalic() const { return Font().Italic != 0; }
  bool GetFontUnderline() const { return Font().Underline != 0; }
  bool GetFontStrikeout() const { return Font().Strikeout != 0; }
  uint8_t GetFontUnderlineKind() const { return Font().UnderlineKind; }
  uint8_t GetFontScript() const { return Font().Script; }
  std::u16string GetFontName() const { return Font().GetName(); }
  uint8_t GetFontColor() const { return Font().Color; }
  uint16_t GetFontHeight() const { return Font().Height; }

 protected:
  explicit TCustomXLSItem(TCustomXLSItems& owner);
  TFormatContext& Context() const;
  // The owner's Changed for this item.
  void Changed();
  // Stores fontIndex in the item's cell format; notifies unless it is 0.
  void SetFontIndex(int32_t fontIndex);
  // Takes an interned format as it is, without notifying (format inheritance).
  void AssignFormatIndex(int32_t index) { StoreFormatIndex(index); }
  virtual void StoreFormatIndex(int32_t index) { formatIndex_ = index; }

 private:
  friend class TCustomXLSItems;

  TXFRecord XF() const;
  TFontRecord Font() const;
  // The common road of the byte setters: intern when the field changes and
  // notify unless value is the field's quiet value.
  void SetXFByte(uint8_t TXFRecord::*field, uint8_t value, uint8_t quiet);
  // The common road of the font setters: change(record) returns true when it
  // changed a field.
  void ChangeFont(const std::function<bool(TFontRecord&)>& change);

  TCustomXLSItems& owner_;
  bool inserted_ = false;
  int32_t formatIndex_ = TVirtualXFTable::DefaultIndex;
};

// A cell: position, value and a property string of tagged values. A TCell is a
// view of the cell its collection holds at (row, column); see TCells for how long
// a reference to one stays valid.
class TCell : public TCustomXLSItem {
 public:
  // The four bytes around every tag and value of the property string.
  static constexpr std::string_view PropertyMarker{"\xFF\x00\xFF\x63", 4};

  TCell(TCells& owner, uint16_t row, uint16_t col);

  uint16_t Row() const { return row_; }
  uint16_t Col() const { return col_; }
  bool Inserted() const override;
  int32_t FormatIndex() const override;
  // Valid until the next call of Value on this view.
  const TVariant& Value() const;

  // Accepts empty, null, the integer and real kinds, currency, date, the string
  // kinds and boolean; any other kind, or a string of more than 65535
  // characters, raises EXLSError 3 and changes nothing. A date on a cell with
  // format 0 sets format 13 ("mm/dd/yy"). Any value but empty stores the cell.
  void SetValue(const TVariant& value);
  void SetValue(double value) { SetValue(TVariant::Double(value)); }
  // A wide string from UTF-8 text.
  void SetValueUtf8(std::string_view text) { SetValue(TVariant::FromUtf8(text)); }

  // Entries marker + tag + marker + value. Written by the formula, rich-text and
  // hyperlink layers; "F" formula, "R" rich-text runs, "H" hyperlink target
  // (UTF-16 bytes), "L" hyperlink kind.
  const std::string& PropertyString() const;
  void SetPropertyString(std::string properties);
  // The text after marker + tag + marker up to the next marker; empty when absent.
  std::string GetProperty(std::string_view tag) const;
  // Replaces the tag's value (an empty value removes the tag) and stores the
  // cell. A value holding the marker raises EXLSError 4.
  void SetProperty(std::string_view tag, std::string_view value);

  // Formula text in the library code page ("=A1+1"); empty removes the formula.
  // A text holding no formula ("=", blanks) raises EXLSError 8 and changes
  // nothing; the rest is checked when the workbook is saved, as references
  // depend on the sheets and names there are then. The cell's value is the
  // formula's cached result: a number, text, a boolean, an error value, or empty.
  void SetFormula(std::string_view text);
  std::string Formula() const { return GetProperty("F"); }
  // Rich-text runs of a string value: entries start-end(style); with 1-based
  // character positions, style parts "style:biu", "script:sub|super",
  // "color:$RRGGBB"-style hex, "size:points", "font:name", joined by ";".
  void SetRichText(std::string_view runs) { SetProperty("R", runs); }
  // A hyperlink of the cell; kind 0 detects it from the target (1 address,
  // 2 file, 3 network path, 4 place in the workbook).
  void SetHyperlink(std::u16string_view target, uint8_t kind = 0);

  // Takes the format of the cell's stored row and column (both: field by field,
  // the row's value unless it is the default). Run when the cell is created
  // unless the context's do-not-inherit flag is 1.
  void InheritFormat();

 protected:
  void StoreFormatIndex(int32_t index) override;

 private:
  friend class TCells;
  TCells& Cells() const;

  uint16_t row_;
  uint16_t col_;
  mutable TVariant value_;  // the last value read
};

// Base of rows and columns: an index and a size in user units (characters for a
// column, points for a row) with its pixel equivalent. Their format setters
// (all but SetLocked; SetMerged only for the item itself) also reach every stored
// cell of the row or column, in list order.
class TCustomRowCol : public TCustomXLSItem {
 public:
  uint16_t Index() const { return index_; }
  double Size() const { return size_; }
  // 0 while hidden.
  int32_t SizePixels() const { return hidden_ ? 0 : sizePixels_; }
  uint8_t OutlineLevel() const { return outlineLevel_; }
  bool Hidden() const { return hidden_; }
  // Both set by SetWidth; the second marks a row height for the ROW record.
  bool SizeSet() const { return sizeSet_; }
  bool CustomSize() const { return customSize_; }

  // Stores a changed size, its pixel size rounded halves to even, sets both
  // size flags and notifies the owner. An equal value changes nothing.
  void SetWidth(double size);
  void SetHidden(bool hidden);
  // Kept in 0..7.
  void SetOutlineLevel(uint8_t level);

  void SetFillColor(uint8_t paletteNumber) override;
  void SetPatternColor(uint8_t paletteNumber) override;
  void SetFillColorRGB(TColor color) override;
  void SetPatternColorRGB(TColor color) override;
  void SetFillPattern(uint8_t pattern) override;
  void SetHorizontalAlignment(uint8_t value) override;
  void SetVerticalAlignment(uint8_t value) override;
  void SetWrapText(bool value) override;
  void SetRotation(uint8_t value) override;
  void SetIndent(uint8_t value) override;
  void SetBorderColor(uint8_t side, uint8_t paletteNumber) override;
  void SetBorderColorRGB(uint8_t side, TColor color) override;
  void SetBorderStyle(uint8_t side, uint8_t style) override;
  void SetNumberFormat(int32_t index) override;
  void SetFontBold(bool value) override;
  void SetFontItalic(bool value) override;
  void SetFontUnderline(bool value) override;
  void SetFontStrikeout(bool value) override;
  void SetFontUnderlineKind(uint8_t value) override;
  void SetFontScript(uint8_t value) override;
  void SetFontName(std::u16string_view name) override;
  void SetFontColor(uint8_t paletteNumber) override;
  void SetFontColorRGB(TColor color) override;
  void SetFontHeight(uint16_t points) override;

 protected:
  TCustomRowCol(TCustomXLSItems& owner, uint16_t index);
  // The pixel size of a size in user units.
  virtual double SizeToPixels(double size) const = 0;
  // True for a cell of this row or column.
  virtual bool Reaches(const TCell& cell) const = 0;
  void SetDefaultSize(int32_t pixels, double size);

 private:
  template <class F>
  void ForEachCell(F&& apply);

  uint16_t index_;
  double size_ = 0;
  int32_t sizePixels_ = 0;
  uint8_t outlineLevel_ = 0;
  bool hidden_ = false;
  bool sizeSet_ = false;
  bool customSize_ = false;
};

// A row; its size is a height in points (default 17 pixels at 96 dots per inch).
class TRow : public TCustomRowCol {
 public:
  TRow(TCustomXLSItems& owner, uint16_t index);
  double Height() const { return Size(); }
  void SetHeight(double points) { SetWidth(points); }
  // Back to the default height; does not notify the owner.
  void SetDefaultHeight();
  int32_t GetHeightPixels() const { return SizePixels(); }

 protected:
  double SizeToPixels(double points) const override;
  bool Reaches(const TCell& cell) const override;
};

// A column; its size is a width in characters (default 64 pixels at 96 dots per inch).
class TColumn : public TCustomRowCol {
 public:
  TColumn(TCustomXLSItems& owner, uint16_t index);
  double Width() const { return Size(); }
  // Back to the default width; does not notify the owner.
  void SetDefaultWidth();
  int32_t GetWidthPixels() const { return SizePixels(); }

 protected:
  double SizeToPixels(double chars) const override;
  bool Reaches(const TCell& cell) const override;
};

// [SECTION] collections

// Base of the cell, row and column collections: the stored items in a hashed
// list (in order of their first change) and at most one pending item.
class TCustomXLSItems {
 public:
  static constexpr uint32_t Buckets = 0x1FFFF;

  TCustomXLSItems(TSheet& sheet, TFormatContext& context);
  virtual ~TCustomXLSItems();
  TCustomXLSItems(const TCustomXLSItems&) = delete;
  TCustomXLSItems& operator=(const TCustomXLSItems&) = delete;

  TSheet& Sheet() const { return sheet_; }
  TFormatContext& Context() const { return context_; }
  virtual int32_t Count() const { return list_.Count(); }

  // Stores a pending item on its first change (unless insertion is suspended).
  virtual void Changed(TCustomXLSItem& item);
  virtual void GetKey(const TCustomXLSItem& item, std::string& key) const = 0;
  // The item's position in the stored list, or -1.
  virtual int32_t IndexOfItem(const TCustomXLSItem& item);

  bool SuspendInsertion() const { return suspend_; }
  void SetSuspendInsertion(bool suspend) { suspend_ = suspend; }
  // The item handed out but not yet changed, or null.
  virtual TCustomXLSItem* Pending() const { return pending_.get(); }

 protected:
  TCustomXLSItem* FindByKey(std::string_view key) { return list_.Find(key); }
  // The stored item with key; else the pending item when it has key; else a new
  // pending item from make, which replaces (frees) the previous one.
  TCustomXLSItem& ItemByKey(std::string_view key, const std::function<std::unique_ptr<TCustomXLSItem>()>& make);
  // EListError "List index (i) out of bounds" outside 0..Count-1.
  TCustomXLSItem& ItemAt(int32_t pos) const { return list_.Item(pos); }

 private:
  TSheet& sheet_;
  TFormatContext& context_;
  THashedList<TCustomXLSItem> list_;
  std::unique_ptr<TCustomXLSItem> pending_;
  bool suspend_ = false;
};

// One stored cell: 16 bytes, so that a sheet of millions of numbers stays small.
struct TCellSlot {
  uint64_t Payload = 0;  // TVariant::Payload, or the string's index in the sheet's string pool
  int32_t Format = TVirtualXFTable::DefaultIndex;
  uint16_t Row = 0;
  uint8_t Col = 0;
  uint8_t Kind = 0;  // the value's kind, packed (see TCells::PackKind)
};
static_assert(sizeof(TCellSlot) == 16, "a cell's record is what a sheet of millions costs");

// The cells of a sheet in the order of their first change. Each row's cells are
// found through the row: one run of the list while the row was filled without
// another row in between (a binary search when its columns ascend), else a list
// of positions. Strings are kept once each in the sheet's string pool.
//
// Items, Find and GetCell hand out views. A view stays bound to its cell while no
// other cell whose row and column agree with it modulo 64 is asked for; an
// unchanged (pending) cell lives until another cell is asked for. A view of a
// cell that is neither stored nor pending reads as an empty default cell and
// ignores changes.
class TCells : public TCustomXLSItems {
 public:
  TCells(TSheet& sheet, TFormatContext& context);
  ~TCells() override;
  // EXLSError 5 when row is outside 0..65535 or col outside 0..255.
  TCell& Items(int32_t row, int32_t col);
  TCell* Find(int32_t row, int32_t col);
  bool Exists(int32_t row, int32_t col) { return Find(row, col) != nullptr; }
  // EListError "List index (i) out of bounds" outside 0..Count-1.
  TCell& GetCell(int32_t pos);
  void GetKey(const TCustomXLSItem& item, std::string& key) const override;
  // Row low, row high, column low, column high.
  static std::string KeyOf(uint16_t row, uint16_t col);

  int32_t Count() const override { return static_cast<int32_t>(slots_.size()); }
  void Changed(TCustomXLSItem& item) override;
  int32_t IndexOfItem(const TCustomXLSItem& item) override;
  TCustomXLSItem* Pending() const override;

  // The writer's road: stored cells by list position without views.
  const TCellSlot& Slot(int32_t pos) const { return slots_[static_cast<size_t>(pos)]; }
  TVariant ValueOf(const TCellSlot& slot) const;
  bool IsString(const TCellSlot& slot) const;
  // The index of a string cell's text in the string pool.
  uint32_t StringIndex(const TCellSlot& slot) const { return static_cast<uint32_t>(slot.Payload); }
  int32_t StringCount() const { return static_cast<int32_t>(strings_.size()); }
  // List positions of the stored cells that have a property string, ascending.
  std::vector<int32_t> PositionsWithProperties() const;

 private:
  friend class TCell;
  struct TRowCells {
    uint32_t First = 0;  // list position of the row's run
    uint16_t Count = 0;
    bool Ascending = true;  // columns of the run ascend
    bool Scattered = false; // positions are in scattered_
  };
  static uint32_t Key(uint16_t row, uint16_t col) { return uint32_t{row} << 8 | col; }
  static uint8_t PackKind(uint16_t kind);
  static uint16_t UnpackKind(uint8_t packed);

  // List position of the stored cell, or -1.
  int32_t PositionOf(uint16_t row, uint16_t col) const;
  // The stored or pending cell, or null.
  TCellSlot* SlotOf(uint16_t row, uint16_t col);
  const TCellSlot* SlotOf(uint16_t row, uint16_t col) const;
  void Insert(const TCellSlot& slot);
  void DropPending();
  TCell& ViewOf(uint16_t row, uint16_t col);
  void SetSlotValue(TCellSlot& slot, const TVariant& value);
  const std::string* PropertiesOf(uint16_t row, uint16_t col) const;
  void SetProperties(uint16_t row, uint16_t col, std::string properties);

  std::deque<TCellSlot> slots_;
  std::vector<TRowCells> rows_;
  std::unordered_map<uint16_t, std::vector<uint32_t>> scattered_;
  int32_t lastRow_ = -1;  // row of the last stored cell
  TCellSlot pending_;
  bool hasPending_ = false;
  // Property strings (formulas, rich text, hyperlinks) by Key: few cells have one.
  std::unordered_map<uint32_t, std::string> properties_;
  std::vector<TVariant> strings_;
  TSeededStringMap<uint32_t> stringIndex_;  // keyed by the cells' text
  std::vector<std::unique_ptr<TCell>> views_;
};

class TCustomRowCols : public TCustomXLSItems {
 public:
  using TCustomXLSItems::TCustomXLSItems;
  void GetKey(const TCustomXLSItem& item, std::string& key) const override;
  // Index low, index high.
  static std::string KeyOf(uint16_t index);
};

class TColumns : public TCustomRowCols {
 public:
  using TCustomRowCols::TCustomRowCols;
  // EXLSError 5 outside 0..255.
  TColumn& Items(int32_t index);
  TColumn* Find(int32_t index);
  bool Exists(int32_t index) { return Find(index) != nullptr; }
  TColumn& GetColumn(int32_t pos) const { return static_cast<TColumn&>(ItemAt(pos)); }
  void Changed(TCustomXLSItem& item) override;

 private:
  // The stored columns by index: every new cell asks for its column.
  std::vector<TColumn*> byIndex_;
};

class TRows : public TCustomRowCols {
 public:
  using TCustomRowCols::TCustomRowCols;
  // EXLSError 5 outside 0..65535.
  TRow& Items(int32_t index);
  TRow* Find(int32_t index);
  bool Exists(int32_t index) { return Find(index) != nullptr; }
  TRow& GetRow(int32_t pos) const { return static_cast<TRow&>(ItemAt(pos)); }
  void Changed(TCustomXLSItem& item) override;

 private:
  // The stored rows by index: every new cell asks for its row.
  std::vector<TRow*> byIndex_;
};

// [SECTION] ranges, validations, comments and pictures

// An owning list of a sheet's extras, in the order they were added.
template <class T>
class TOwnedList {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises EListError outside 0..Count-1.
  T& Item(int32_t pos) const {
    if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
    return *items_[static_cast<size_t>(pos)];
  }

 protected:
  T& Append() { return *items_.emplace_back(std::make_unique<T>()); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// A rectangle of a sheet that carries a name, is merged, or both.
struct TRange {
  std::u16string Name;  // empty: no defined name
  TRangeRects Rects;
  bool Merged = false;
  bool WorkbookWide = false;  // a named range is local to its sheet unless set
};

class TRanges : public TOwnedList<TRange> {
 public:
  // A named rectangle. EXLSError 5 for a row or column outside the sheet; the
  // name is checked when the workbook is saved (EXLSError 11).
  TRange& Add(std::u16string_view name, int32_t row1, int32_t col1, int32_t row2, int32_t col2);
  // A merged rectangle without a name.
  TRange& Merge(int32_t row1, int32_t col1, int32_t row2, int32_t col2);
};

// The rectangle, EXLSError 5 when a bound lies outside the sheet; the corners
// may be given in either order.
TRangeRect CheckedRect(int32_t row1, int32_t col1, int32_t row2, int32_t col2);

// A data validation of cell rectangles.
struct TCellValidation {
  // 0 any, 1 whole number, 2 decimal, 3 list, 4 explicit list, 5 date, 6 time,
  // 7 text length, 8 custom.
  uint8_t Type = 0;
  // 0/1 between, 2 not between, 3 equal, 4 not equal, 5 greater, 6 less,
  // 7 greater or equal, 8 less or equal.
  uint8_t Operator = 0;
  uint8_t ErrorStyle = 0;  // 0 stop, 1 warning, 2 information
  bool ShowInputMessage = true;
  bool ShowErrorMessage = true;
  bool AllowBlank = true;
  bool ShowDropDown = true;
  std::u16string PromptTitle, ErrorTitle, PromptText, ErrorText;
  std::string Formula1, Formula2;  // formula text in the library code page
  TRangeRects Rects;
};

class TCellValidations : public TOwnedList<TCellValidation> {
 public:
  TCellValidation& Add() { return Append(); }
};

// A cell comment (note).
struct TCellComment {
  uint16_t Row = 0;
  uint16_t Col = 0;
  std::u16string Text;
  std::u16string Author;
  std::string Formatting;  // rich-text runs of the text, as TCell::SetRichText
  uint16_t Width = 0;      // pixels; the default size is set by TCellComments::Add
  uint16_t Height = 0;
};

// The comments of a sheet, one per cell, in the order they were added.
class TCellComments {
 public:
  TCellComments();
  // The comment of the cell, created with the default size when absent.
  // EXLSError 5 outside the sheet.
  TCellComment& Add(int32_t row, int32_t col, std::u16string_view text, std::u16string_view author);
  TCellComment* Find(int32_t row, int32_t col);
  int32_t Count() const { return list_.Count(); }
  TCellComment& Item(int32_t pos) const { return list_.Item(pos); }

 private:
  THashedList<TCellComment> list_;
};

// A picture placed on a sheet: from a file, or from bytes when the file name is empty.
struct TXLSImage {
  std::string FileName;  // UTF-8 path
  std::string Bytes;
  int32_t Col = 0, Row = 0;
  int32_t LastCol = -1, LastRow = -1;  // both -1: the size gives the last corner
  int32_t Width = 0, Height = 0;       // pixels; 0 or less: the picture's own size
  int32_t ColOffset = 0, RowOffset = 0;  // pixels from the anchor cell's left and top edges
};

class TXLSImages : public TOwnedList<TXLSImage> {
 public:
  // EXLSError 5 for an anchor outside the sheet.
  TXLSImage& AddFile(std::string fileName, int32_t row, int32_t col);
  TXLSImage& AddBytes(std::string bytes, int32_t row, int32_t col);
};

// [SECTION] page setup

// Print settings; margins in inches. Print-title bounds of 0xFFFFFFFF are unset.
struct TPageSetup {
  uint8_t PaperSize = 0;
  uint8_t UseScale = 1;
  uint16_t Scale = 100;
  uint16_t FirstPageNumber = 0xFFFF;  // automatic
  uint16_t FitWidth = 1;
  uint16_t FitHeight = 1;
  uint8_t PageOrder = 0;
  uint8_t Orientation = 1;  // portrait
  double HeaderMargin = 0.5;
  double FooterMargin = 0.5;
  double TopMargin = 1.0;
  double BottomMargin = 1.0;
  double LeftMargin = 0.8;
  double RightMargin = 0.8;
  uint8_t NoColor = 0;
  uint8_t Draft = 0;
  uint8_t PrintGridlines = 0;
  uint8_t PrintHeadings = 0;
  uint8_t CenterHorizontally = 0;
  uint8_t CenterVertically = 0;
  uint8_t SummaryRowsBelow = 0;
  uint8_t SummaryColumnsRight = 0;
  std::u16string HeaderLeft, HeaderCenter, HeaderRight;
  std::u16string FooterLeft, FooterCenter, FooterRight;
  TRangeRects PrintArea;
  uint32_t PrintTitleRow1 = 0xFFFFFFFF;
  uint32_t PrintTitleRow2 = 0xFFFFFFFF;
  uint32_t PrintTitleCol1 = 0xFFFFFFFF;
  uint32_t PrintTitleCol2 = 0xFFFFFFFF;
};

// [SECTION] sheet

class TSheet {
 public:
  TSheet(TWorkbook& workbook, TFormatContext& context);
  TSheet(const TSheet&) = delete;
  TSheet& operator=(const TSheet&) = delete;

  TWorkbook& Workbook() const { return workbook_; }
  // Position in the workbook's sheet list.
  int32_t Index() const { return index_; }
  void UpdateIndex();

  const std::u16string& Name() const { return name_; }
  // TSheets::CheckName: a non-zero code raises EXLSError with that code. The
  // sheet's own name is accepted and changes nothing.
  void SetName(std::u16string_view name);
  void SetNameUtf8(std::string_view name) { SetName(Utf8ToWide(name)); }

  TCells& Cells() { return cells_; }
  TColumns& Columns() { return columns_; }
  TRows& Rows() { return rows_; }
  TPageSetup& PageSetup() { return pageSetup_; }
  // Page breaks.
  TCellCoords& CellCoords() { return cellCoords_; }
  TRanges& Ranges() { return ranges_; }
  TCellValidations& Validations() { return validations_; }
  TCellComments& Comments() { return comments_; }
  TXLSImages& Images() { return images_; }
  TFormatContext& Context() const { return context_; }

  // False when the sheet has no cells; else the bounds over all stored cells.
  bool GetUsedRange(uint16_t& firstRow, uint16_t& firstCol, uint16_t& lastRow, uint16_t& lastCol) const;

  std::string Tag;                     // the 8-bit string field
  uint16_t Protection = 0;             // non-zero: written as protected with this password hash
  uint16_t ProtectionOptions = 0x4400;
  bool Selected = false;
  bool ShowGridlines = true;
  bool RightToLeft = false;
  bool ShowHeaders = true;
  bool ShowZeros = true;
  uint16_t FrozenRows = 0;
  uint8_t FrozenColumns = 0;
  uint16_t Zoom = 100;
  bool PageBreakPreview = false;
  bool Visible = true;

 private:
  TWorkbook& workbook_;
  TFormatContext& context_;
  int32_t index_ = -1;
  std::u16string name_;
  TCells cells_;
  TColumns columns_;
  TRows rows_;
  TPageSetup pageSetup_;
  TCellCoords cellCoords_;
  TRanges ranges_;
  TCellValidations validations_;
  TCellComments comments_;
  TXLSImages images_;
};

// [SECTION] sheets

class TSheets {
 public:
  explicit TSheets(TWorkbook& workbook) : workbook_(workbook) {}
  int32_t Count() const { return static_cast<int32_t>(sheets_.size()); }
  // EListError "List index (i) out of bounds !" outside 0..Count-1.
  TSheet& Items(int32_t index) const;
  // CheckName; a non-zero code raises EXLSError with it. Appends a named sheet.
  TSheet& Add(std::u16string_view name);
  // The first sheet whose name equals name exactly, or null.
  TSheet* FindByName(std::u16string_view name) const;
  // 7 for a length of 0 or above 255 characters; 6 for a name blank after
  // trimming spaces or already used; else 0.
  uint8_t CheckName(std::u16string_view name) const;
  // -1 when sheet is not in the list.
  int32_t IndexOf(const TSheet& sheet) const;

 private:
  TWorkbook& workbook_;
  std::vector<std::unique_ptr<TSheet>> sheets_;
};

// [SECTION] workbook

class TWorkbook {
 public:
  // Sheets named "Sheet1", "Sheet2", ...; sheet 0 is selected.
  explicit TWorkbook(int32_t sheetCount);
  TWorkbook(const TWorkbook&) = delete;
  TWorkbook& operator=(const TWorkbook&) = delete;

  TSheets& Sheets() { return sheets_; }
  const TSheets& Sheets() const { return sheets_; }
  TFormatStrings& FormatStrings() { return formatStrings_; }
  TVirtualFontTable& FontTable() { return fonts_; }
  TVirtualXFTable& XFTable() { return xfs_; }
  TXLPalette& Palette() { return palette_; }
  TXLSLinkTable& LinkTable() { return links_; }
  TFormatContext& Context() { return context_; }

  // Non-zero: written as the workbook's password hash, and the file encrypted.
  bool IsProtected() const { return Protection != 0; }

  std::string Tag;  // the 8-bit string field
  uint16_t Protection = 0;

 private:
  TFormatStrings formatStrings_;
  TVirtualFontTable fonts_;
  TVirtualXFTable xfs_;
  TXLPalette palette_;
  TXLSLinkTable links_;
  TFormatContext context_;
  TSheets sheets_;  // last, so it is freed before the tables its items index into
};

// [SECTION] file object

// The most bytes a workbook file can have: like every stored file of the program it
// is addressed by 32-bit positions (2 GB); WorkbookFileLimitText says so.
inline constexpr int64_t kMaxWorkbookFileBytes = kMaxCFileStreamSize;
// The fewest bytes `numbers` number cells and `texts` text cells take in the
// workbook stream: a record of 18 bytes for a number, of 14 for a text (its
// string is shared).
inline constexpr int64_t WorkbookCellBytes(int64_t numbers, int64_t texts) { return numbers * 18 + texts * 14; }

class TXLSFile {
 public:
  // A workbook of one sheet; the code page and list separator of the library
  // are taken as they are now.
  TXLSFile();
  TXLSFile(const TXLSFile&) = delete;
  TXLSFile& operator=(const TXLSFile&) = delete;

  TWorkbook& Workbook() { return *workbook_; }

  uint32_t CodePage() const { return codePage_; }
  // Also the library-wide code page of every 8-bit conversion.
  void SetCodePage(uint32_t codePage);
  char ListSeparator() const { return listSeparator_; }
  // Also the library-wide separator of formula arguments.
  void SetListSeparator(char separator);

  // The writer's progress, 0..1; unset by default.
  std::function<void(double)> OnProgress;
  // Set at creation to 1, 1, 1, 1, 0, 1, 0. The seventh makes the writer omit the
  // 21 built-in cell formats.
  std::array<uint8_t, 7> OptionFlags = {1, 1, 1, 1, 0, 1, 0};
  bool OmitBuiltInFormats() const { return OptionFlags[6] != 0; }

  // SaveAsWithPassword with no password.
  void SaveAs(const std::string& utf8Path);
  // Writes the workbook as a BIFF8 workbook in a compound file, encrypted when
  // password is not empty. Errors of the writer propagate; the file appears only
  // when everything was written.
  void SaveAsWithPassword(const std::string& utf8Path, std::u16string_view password);

 private:
  std::unique_ptr<TWorkbook> workbook_;
  uint32_t codePage_;
  char listSeparator_;
};

}  // namespace qira

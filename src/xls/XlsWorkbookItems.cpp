// Cells, rows, columns and their collections.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   item format setters
//   cell
//   rows and columns
//   collections
#include <algorithm>

#include "platform/Rounding.h"
#include "xls/XlsFormula.h"
#include "xls/XlsWorkbook.h"

namespace qira {

// [SECTION] item format setters

TCustomXLSItem::TCustomXLSItem(TCustomXLSItems& owner) : owner_(owner) {}

TFormatContext& TCustomXLSItem::Context() const { return owner_.Context(); }

void TCustomXLSItem::Changed() { owner_.Changed(*this); }

TXFRecord TCustomXLSItem::XF() const { return Context().XFs->Item(FormatIndex()); }

TFontRecord TCustomXLSItem::Font() const { return Context().Fonts->Item(XF().FontIndex); }

void TCustomXLSItem::SetXFByte(uint8_t TXFRecord::*field, uint8_t value, uint8_t quiet) {
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  if (xf.*field == value) return;
  xf.*field = value;
  StoreFormatIndex(table.StoreRecord());
  if (value != quiet) Changed();
}

void TCustomXLSItem::SetFillColor(uint8_t n) { SetXFByte(&TXFRecord::FillColor, n, kAutoBackground); }
void TCustomXLSItem::SetPatternColor(uint8_t n) { SetXFByte(&TXFRecord::PatternColor, n, kAutoForeground); }
void TCustomXLSItem::SetFillColorRGB(TColor c) { SetFillColor(Context().Palette->NearestColor(c)); }
void TCustomXLSItem::SetPatternColorRGB(TColor c) { SetPatternColor(Context().Palette->NearestColor(c)); }
void TCustomXLSItem::SetFillPattern(uint8_t v) { SetXFByte(&TXFRecord::FillPattern, v, 0); }
void TCustomXLSItem::SetHorizontalAlignment(uint8_t v) { SetXFByte(&TXFRecord::HorizontalAlignment, v, 0); }
void TCustomXLSItem::SetVerticalAlignment(uint8_t v) { SetXFByte(&TXFRecord::VerticalAlignment, v, 0); }
void TCustomXLSItem::SetMerged(bool v) { SetXFByte(&TXFRecord::Merged, v ? 1 : 0, 0); }
void TCustomXLSItem::SetWrapText(bool v) { SetXFByte(&TXFRecord::WrapText, v ? 1 : 0, 0); }
void TCustomXLSItem::SetRotation(uint8_t v) { SetXFByte(&TXFRecord::Rotation, v, 0); }
void TCustomXLSItem::SetLocked(bool v) { SetXFByte(&TXFRecord::Locked, v ? 1 : 0, 1); }

void TCustomXLSItem::SetIndent(uint8_t value) {
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  // The comparison uses the argument as given, so 20 on a stored 15 interns again.
  if (xf.Indent == value) return;
  xf.Indent = std::min<uint8_t>(value, 15);
  StoreFormatIndex(table.StoreRecord());
  if (value != 0) Changed();
}

void TCustomXLSItem::SetBorderColor(uint8_t side, uint8_t n) {
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  if (side < kBorderAll) xf.BorderColor[side] = n;
  if (side == kBorderAll) xf.BorderColor.fill(n);
  StoreFormatIndex(table.StoreRecord());
  Changed();
}

void TCustomXLSItem::SetBorderColorRGB(uint8_t side, TColor c) {
  SetBorderColor(side, Context().Palette->NearestColor(c));
}

void TCustomXLSItem::SetBorderStyle(uint8_t side, uint8_t style) {
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  if (side < kBorderAll) xf.BorderStyle[side] = style;
  if (side == kBorderAll) xf.BorderStyle.fill(style);
  StoreFormatIndex(table.StoreRecord());
  Changed();
}

uint8_t TCustomXLSItem::GetBorderColor(uint8_t side) const {
  return side < kBorderAll ? XF().BorderColor[side] : kAutoBackground;
}

uint8_t TCustomXLSItem::GetBorderStyle(uint8_t side) const { return side < kBorderAll ? XF().BorderStyle[side] : 0; }

void TCustomXLSItem::SetNumberFormat(int32_t index) {
  // A negative index would wrap in the 16-bit field: it is refused like one too large.
  if (index < 0 || index >= Context().FormatStrings->Count()) RaiseListIndexError(index);
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  if (xf.NumberFormat == index) return;
  xf.NumberFormat = static_cast<uint16_t>(index);
  StoreFormatIndex(table.StoreRecord());
  Changed();
}

void TCustomXLSItem::SetFontIndex(int32_t fontIndex) {
  TVirtualXFTable& table = *Context().XFs;
  TXFRecord& xf = table.GetRecord(FormatIndex());
  if (xf.FontIndex == fontIndex) return;
  xf.FontIndex = static_cast<uint16_t>(fontIndex);
  StoreFormatIndex(table.StoreRecord());
  if (fontIndex != 0) Changed();
}

void TCustomXLSItem::ChangeFont(const std::function<bool(TFontRecord&)>& change) {
  TVirtualFontTable& fonts = *Context().Fonts;
  TFontRecord& font = fonts.GetRecord(XF().FontIndex);
  if (!change(font)) return;
  SetFontIndex(fonts.StoreRecord());
  Changed();
}

namespace {

// A font setter's change of one byte field.
auto ByteChange(uint8_t TFontRecord::*field, uint8_t value) {
  return [field, value](TFontRecord& f) {
    if (f.*field == value) return false;
    f.*field = value;
    return true;
  };
}

}  // namespace

void TCustomXLSItem::SetFontBold(bool v) { ChangeFont(ByteChange(&TFontRecord::Bold, v ? 1 : 0)); }
void TCustomXLSItem::SetFontItalic(bool v) { ChangeFont(ByteChange(&TFontRecord::Italic, v ? 1 : 0)); }
void TCustomXLSItem::SetFontUnderline(bool v) { ChangeFont(ByteChange(&TFontRecord::Underline, v ? 1 : 0)); }
void TCustomXLSItem::SetFontStrikeout(bool v) { ChangeFont(ByteChange(&TFontRecord::Strikeout, v ? 1 : 0)); }
void TCustomXLSItem::SetFontUnderlineKind(uint8_t v) { ChangeFont(ByteChange(&TFontRecord::UnderlineKind, v)); }
void TCustomXLSItem::SetFontScript(uint8_t v) { ChangeFont(ByteChange(&TFontRecord::Script, v)); }
void TCustomXLSItem::SetFontColor(uint8_t n) { ChangeFont(ByteChange(&TFontRecord::Color, n)); }

void TCustomXLSItem::SetFontName(std::u16string_view name) {
  const std::u16string_view kept = name.substr(0, TFontRecord::NameLength);
  ChangeFont([kept](TFontRecord& f) {
    if (f.GetName() == kept) return false;
    f.SetName(kept);
    return true;
  });
}

void TCustomXLSItem::SetFontHeight(uint16_t points) {
  ChangeFont([points](TFontRecord& f) {
    if (f.Height == points) return false;
    f.Height = points;
    return true;
  });
}

void TCustomXLSItem::SetFontColorRGB(TColor c) {
  SetFontColor(Context().Palette->NearestColor(c));
  Changed();
}

// [SECTION] cell

TCell::TCell(TCells& owner, uint16_t row, uint16_t col) : TCustomXLSItem(owner), row_(row), col_(col) {}

TCells& TCell::Cells() const { return static_cast<TCells&>(Owner()); }

bool TCell::Inserted() const { return Cells().PositionOf(row_, col_) >= 0; }

int32_t TCell::FormatIndex() const {
  const TCellSlot* slot = Cells().SlotOf(row_, col_);
  return slot ? slot->Format : TVirtualXFTable::DefaultIndex;
}

void TCell::StoreFormatIndex(int32_t index) {
  if (TCellSlot* slot = Cells().SlotOf(row_, col_)) slot->Format = index;
}

const TVariant& TCell::Value() const {
  const TCellSlot* slot = Cells().SlotOf(row_, col_);
  value_ = slot ? Cells().ValueOf(*slot) : TVariant();
  return value_;
}

void TCell::SetValue(const TVariant& v) {
  switch (v.Kind()) {
    case varEmpty: case varNull: case varSmallint: case varInteger: case varSingle: case varDouble:
    case varCurrency: case varDate: case varOleStr: case varBoolean: case varShortInt: case varByte:
    case varWord: case varLongWord: case varInt64: case varString: case varUString:
      break;
    case varError:
      // Only the error values the file format has.
      if (IsXLSErrorCode(v.AsErrorCode())) break;
      throw EXLSError(xlserr::kInvalidCellValue);
    default:
      throw EXLSError(xlserr::kInvalidCellValue);
  }
  if (v.StringLength() > 65535) throw EXLSError(xlserr::kInvalidCellValue);
  TCells& cells = Cells();
  TCellSlot* slot = cells.SlotOf(row_, col_);
  if (slot == nullptr) return;  // a view of a cell that was dropped
  if (v.Kind() == varDate && TCells::UnpackKind(slot->Kind) != varDate && GetNumberFormat() == 0) {
    SetNumberFormat(13);
    slot = cells.SlotOf(row_, col_);
  }
  cells.SetSlotValue(*slot, v);
  if (!v.IsEmpty()) Changed();
}

const std::string& TCell::PropertyString() const {
  static const std::string kNone;
  const std::string* properties = Cells().PropertiesOf(row_, col_);
  return properties ? *properties : kNone;
}

void TCell::SetPropertyString(std::string properties) { Cells().SetProperties(row_, col_, std::move(properties)); }

std::string TCell::GetProperty(std::string_view tag) const {
  const std::string& properties = PropertyString();
  std::string head(PropertyMarker);
  head += tag;
  head += PropertyMarker;
  const size_t at = properties.find(head);
  if (at == std::string::npos) return {};
  const size_t start = at + head.size();
  const size_t end = properties.find(PropertyMarker, start);
  return properties.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void TCell::SetProperty(std::string_view tag, std::string_view value) {
  if (value.find(PropertyMarker) != std::string_view::npos) throw EXLSError(xlserr::kInvalidCellProperty);
  std::string head(PropertyMarker);
  head += tag;
  head += PropertyMarker;
  std::string properties = PropertyString();
  const size_t at = properties.find(head);
  if (at != std::string::npos) {
    const size_t end = properties.find(PropertyMarker, at + head.size());
    properties.erase(at, end == std::string::npos ? std::string::npos : end - at);
  }
  if (!value.empty()) properties.append(head).append(value);
  SetPropertyString(std::move(properties));
  Changed();
}

void TCell::SetFormula(std::string_view text) {
  CheckFormulaNotEmpty(text);
  SetProperty("F", text);
}

void TCell::SetHyperlink(std::u16string_view target, uint8_t kind) {
  // Checked before anything changes.
  const std::string bytes = WideToUtf16Bytes(target);
  if (bytes.find(PropertyMarker) != std::string::npos) throw EXLSError(xlserr::kInvalidCellProperty);
  SetProperty("H", bytes);
  SetProperty("L", target.empty() ? std::string_view() : std::string_view(reinterpret_cast<const char*>(&kind), 1));
}

void TCell::InheritFormat() {
  TSheet& sheet = Owner().Sheet();
  constexpr int32_t D = TVirtualXFTable::DefaultIndex;
  TRow* row = sheet.Rows().Find(Row());
  TColumn* col = sheet.Columns().Find(Col());
  const int32_t r = row ? row->FormatIndex() : D;
  const int32_t c = col ? col->FormatIndex() : D;
  if (r == D) {
    AssignFormatIndex(c);
    return;
  }
  if (c == D) {
    AssignFormatIndex(r);
    return;
  }
  // Both formatted: field by field, the row's value unless it is the default.
  TCustomXLSItems& cells = Owner();
  const bool wasSuspended = cells.SuspendInsertion();
  cells.SetSuspendInsertion(true);
  struct TRestore {
    TCustomXLSItems& cells;
    bool value;
    ~TRestore() { cells.SetSuspendInsertion(value); }
  } restore{cells, wasSuspended};
  auto pick = [](auto rowValue, auto colValue, auto def) { return rowValue != def ? rowValue : colValue; };
  const TXFRecord defaults;
  for (uint8_t side = kBorderLeft; side <= kBorderBottom; ++side)
    SetBorderColor(side, pick(row->GetBorderColor(side), col->GetBorderColor(side), kAutoBackground));
  for (uint8_t side = kBorderLeft; side <= kBorderBottom; ++side)
    SetBorderStyle(side, pick(row->GetBorderStyle(side), col->GetBorderStyle(side), uint8_t{0}));
  SetFillColor(pick(row->GetFillColor(), col->GetFillColor(), kAutoBackground));
  SetPatternColor(pick(row->GetPatternColor(), col->GetPatternColor(), kAutoForeground));
  SetFillPattern(pick(row->GetFillPattern(), col->GetFillPattern(), uint8_t{0}));
  SetNumberFormat(pick(row->GetNumberFormat(), col->GetNumberFormat(), 0));
  SetHorizontalAlignment(pick(row->GetHorizontalAlignment(), col->GetHorizontalAlignment(), uint8_t{0}));
  // The record's default (bottom), so a column's top alignment is not lost to an unset row.
  SetVerticalAlignment(
      pick(row->GetVerticalAlignment(), col->GetVerticalAlignment(), defaults.VerticalAlignment));
  SetWrapText(row->GetWrapText() || col->GetWrapText());
  SetRotation(pick(row->GetRotation(), col->GetRotation(), uint8_t{0}));
  SetIndent(pick(row->GetIndent(), col->GetIndent(), uint8_t{0}));
  SetFontBold(row->GetFontBold() || col->GetFontBold());
  SetFontItalic(row->GetFontItalic() || col->GetFontItalic());
  SetFontUnderline(row->GetFontUnderline() || col->GetFontUnderline());
  SetFontStrikeout(row->GetFontStrikeout() || col->GetFontStrikeout());
  SetFontUnderlineKind(pick(row->GetFontUnderlineKind(), col->GetFontUnderlineKind(), uint8_t{0}));
  SetFontScript(pick(row->GetFontScript(), col->GetFontScript(), uint8_t{0}));
  SetFontName(pick(row->GetFontName(), col->GetFontName(), XLSDefaultFontName()));
  SetFontColor(pick(row->GetFontColor(), col->GetFontColor(), kAutoForeground));
  SetFontHeight(pick(row->GetFontHeight(), col->GetFontHeight(), uint16_t{10}));
}

// [SECTION] rows and columns

TCustomRowCol::TCustomRowCol(TCustomXLSItems& owner, uint16_t index) : TCustomXLSItem(owner), index_(index) {}

void TCustomRowCol::SetDefaultSize(int32_t pixels, double size) {
  sizePixels_ = pixels;
  size_ = size;
  sizeSet_ = false;
  customSize_ = false;
}

void TCustomRowCol::SetWidth(double size) {
  if (size == size_) return;
  size_ = size;
  sizePixels_ = RoundToInt(SizeToPixels(size));
  sizeSet_ = true;
  customSize_ = true;
  Changed();
}

void TCustomRowCol::SetHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  Changed();
}

void TCustomRowCol::SetOutlineLevel(uint8_t level) {
  level = std::min<uint8_t>(level, 7);
  if (level == outlineLevel_) return;
  outlineLevel_ = level;
  Changed();
}

template <class F>
void TCustomRowCol::ForEachCell(F&& apply) {
  TCells& cells = Owner().Sheet().Cells();
  for (int32_t i = 0; i < cells.Count(); ++i) {
    TCell& cell = cells.GetCell(i);
    if (Reaches(cell)) apply(cell);
  }
}

// Each override formats the row or column itself, then its stored cells.
#define QIRA_REACH_CELLS(Setter, Params, Args)                \
  void TCustomRowCol::Setter Params {                         \
    TCustomXLSItem::Setter Args;                              \
    ForEachCell([&](TCell& cell) { cell.Setter Args; });      \
  }

QIRA_REACH_CELLS(SetFillColor, (uint8_t n), (n))
QIRA_REACH_CELLS(SetPatternColor, (uint8_t n), (n))
QIRA_REACH_CELLS(SetFillColorRGB, (TColor c), (c))
QIRA_REACH_CELLS(SetPatternColorRGB, (TColor c), (c))
QIRA_REACH_CELLS(SetFillPattern, (uint8_t v), (v))
QIRA_REACH_CELLS(SetHorizontalAlignment, (uint8_t v), (v))
QIRA_REACH_CELLS(SetVerticalAlignment, (uint8_t v), (v))
QIRA_REACH_CELLS(SetWrapText, (bool v), (v))
QIRA_REACH_CELLS(SetRotation, (uint8_t v), (v))
QIRA_REACH_CELLS(SetIndent, (uint8_t v), (v))
QIRA_REACH_CELLS(SetBorderColor, (uint8_t side, uint8_t n), (side, n))
QIRA_REACH_CELLS(SetBorderColorRGB, (uint8_t side, TColor c), (side, c))
QIRA_REACH_CELLS(SetBorderStyle, (uint8_t side, uint8_t style), (side, style))
QIRA_REACH_CELLS(SetNumberFormat, (int32_t index), (index))
QIRA_REACH_CELLS(SetFontBold, (bool v), (v))
QIRA_REACH_CELLS(SetFontItalic, (bool v), (v))
QIRA_REACH_CELLS(SetFontUnderline, (bool v), (v))
QIRA_REACH_CELLS(SetFontStrikeout, (bool v), (v))
QIRA_REACH_CELLS(SetFontUnderlineKind, (uint8_t v), (v))
QIRA_REACH_CELLS(SetFontScript, (uint8_t v), (v))
QIRA_REACH_CELLS(SetFontName, (std::u16string_view name), (name))
QIRA_REACH_CELLS(SetFontColor, (uint8_t n), (n))
QIRA_REACH_CELLS(SetFontColorRGB, (TColor c), (c))
QIRA_REACH_CELLS(SetFontHeight, (uint16_t points), (points))

#undef QIRA_REACH_CELLS

TRow::TRow(TCustomXLSItems& owner, uint16_t index) : TCustomRowCol(owner, index) { SetDefaultHeight(); }

void TRow::SetDefaultHeight() {
  const int32_t pixels = DefaultRowHeightPixels();
  SetDefaultSize(pixels, RowPixelsToPoints(pixels));
}

double TRow::SizeToPixels(double points) const { return RowPointsToPixels(points); }
bool TRow::Reaches(const TCell& cell) const { return cell.Row() == Index(); }

TColumn::TColumn(TCustomXLSItems& owner, uint16_t index) : TCustomRowCol(owner, index) { SetDefaultWidth(); }

void TColumn::SetDefaultWidth() {
  const int32_t pixels = DefaultColumnWidthPixels();
  SetDefaultSize(pixels, PixelsToColumnWidth(pixels));
}

double TColumn::SizeToPixels(double chars) const { return ColumnWidthToPixels(chars); }
bool TColumn::Reaches(const TCell& cell) const { return cell.Col() == Index(); }

// [SECTION] collections

TCustomXLSItems::TCustomXLSItems(TSheet& sheet, TFormatContext& context)
    : sheet_(sheet),
      context_(context),
      list_(Buckets, [this](const TCustomXLSItem& item, std::string& key) { GetKey(item, key); }) {}

TCustomXLSItems::~TCustomXLSItems() = default;

void TCustomXLSItems::Changed(TCustomXLSItem& item) {
  if (suspend_ || item.inserted_) return;
  if (&item != pending_.get()) return;  // not handed out by this collection
  item.inserted_ = true;
  list_.Add(std::move(pending_));
}

int32_t TCustomXLSItems::IndexOfItem(const TCustomXLSItem& item) {
  std::string key;
  GetKey(item, key);
  return list_.IndexOf(key);
}

TCustomXLSItem& TCustomXLSItems::ItemByKey(std::string_view key,
                                           const std::function<std::unique_ptr<TCustomXLSItem>()>& make) {
  if (TCustomXLSItem* stored = list_.Find(key)) return *stored;
  if (pending_) {
    std::string pendingKey;
    GetKey(*pending_, pendingKey);
    if (pendingKey == key) return *pending_;
  }
  pending_.reset();
  pending_ = make();
  return *pending_;
}

std::string TCells::KeyOf(uint16_t row, uint16_t col) {
  return {static_cast<char>(row & 0xFF), static_cast<char>(row >> 8), static_cast<char>(col & 0xFF),
          static_cast<char>(col >> 8)};
}

void TCells::GetKey(const TCustomXLSItem& item, std::string& key) const {
  const auto& cell = static_cast<const TCell&>(item);
  key = KeyOf(cell.Row(), cell.Col());
}

// [SECTION] cell store

namespace {
// Views kept per sheet: 64 rows by 64 columns, so neighbouring cells never share one.
constexpr uint32_t kViewSide = 64;
// A kind packed into a byte: the kinds below 0x100 as they are, the string kinds above.
constexpr uint16_t kStringKinds = varString;
constexpr uint8_t kPackedStringKinds = 0x80;
}  // namespace

TCells::TCells(TSheet& sheet, TFormatContext& context) : TCustomXLSItems(sheet, context) {}

TCells::~TCells() = default;

uint8_t TCells::PackKind(uint16_t kind) {
  return kind >= kStringKinds ? static_cast<uint8_t>(kPackedStringKinds + (kind - kStringKinds))
                              : static_cast<uint8_t>(kind);
}

uint16_t TCells::UnpackKind(uint8_t packed) {
  return packed >= kPackedStringKinds ? static_cast<uint16_t>(kStringKinds + (packed - kPackedStringKinds)) : packed;
}

bool TCells::IsString(const TCellSlot& slot) const {
  const uint16_t kind = UnpackKind(slot.Kind);
  return kind == varOleStr || kind == varString || kind == varUString;
}

TVariant TCells::ValueOf(const TCellSlot& slot) const {
  if (IsString(slot)) return strings_[static_cast<size_t>(slot.Payload)];
  return TVariant::FromPayload(UnpackKind(slot.Kind), slot.Payload);
}

void TCells::SetSlotValue(TCellSlot& slot, const TVariant& value) {
  slot.Kind = PackKind(value.Kind());
  if (!value.IsString()) {
    slot.Payload = value.Payload();
    return;
  }
  std::string key(2, '\0');
  key[0] = static_cast<char>(value.Kind());
  key[1] = static_cast<char>(value.Kind() >> 8);
  if (value.Kind() == varString)
    key += value.AsAnsi();
  else
    key += WideToUtf16Bytes(value.AsWide());
  const auto [at, added] = stringIndex_.try_emplace(std::move(key), static_cast<uint32_t>(strings_.size()));
  if (added) strings_.push_back(value);
  slot.Payload = at->second;
}

int32_t TCells::PositionOf(uint16_t row, uint16_t col) const {
  if (row >= rows_.size()) return -1;
  const TRowCells& r = rows_[row];
  if (r.Count == 0) return -1;
  if (r.Scattered) {
    for (const uint32_t pos : scattered_.at(row))
      if (slots_[pos].Col == col) return static_cast<int32_t>(pos);
    return -1;
  }
  if (r.Ascending) {
    uint32_t lo = r.First, hi = r.First + r.Count;
    while (lo < hi) {
      const uint32_t mid = lo + (hi - lo) / 2;
      if (slots_[mid].Col < col)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo < r.First + r.Count && slots_[lo].Col == col ? static_cast<int32_t>(lo) : -1;
  }
  for (uint32_t pos = r.First; pos < r.First + r.Count; ++pos)
    if (slots_[pos].Col == col) return static_cast<int32_t>(pos);
  return -1;
}

const TCellSlot* TCells::SlotOf(uint16_t row, uint16_t col) const {
  if (hasPending_ && pending_.Row == row && pending_.Col == col) return &pending_;
  const int32_t pos = PositionOf(row, col);
  return pos < 0 ? nullptr : &slots_[static_cast<size_t>(pos)];
}

TCellSlot* TCells::SlotOf(uint16_t row, uint16_t col) {
  return const_cast<TCellSlot*>(static_cast<const TCells&>(*this).SlotOf(row, col));
}

void TCells::Insert(const TCellSlot& slot) {
  const auto pos = static_cast<uint32_t>(slots_.size());
  slots_.push_back(slot);
  if (slot.Row >= rows_.size()) rows_.resize(size_t{slot.Row} + 1);
  TRowCells& r = rows_[slot.Row];
  if (r.Count == 0) {
    r.First = pos;
  } else if (!r.Scattered && lastRow_ != slot.Row) {
    // Another row came in between: the row's positions are listed from now on.
    std::vector<uint32_t>& positions = scattered_[slot.Row];
    for (uint32_t p = r.First; p < r.First + r.Count; ++p) positions.push_back(p);
    r.Scattered = true;
  }
  if (r.Scattered) {
    scattered_[slot.Row].push_back(pos);
  } else if (r.Count > 0 && slots_[pos - 1].Col > slot.Col) {
    r.Ascending = false;
  }
  ++r.Count;
  lastRow_ = slot.Row;
}

void TCells::DropPending() {
  if (!hasPending_) return;
  hasPending_ = false;
  if (PositionOf(pending_.Row, pending_.Col) < 0) properties_.erase(Key(pending_.Row, pending_.Col));
}

TCell& TCells::ViewOf(uint16_t row, uint16_t col) {
  if (views_.empty()) views_.resize(kViewSide * kViewSide);
  std::unique_ptr<TCell>& view = views_[(row % kViewSide) * kViewSide + col % kViewSide];
  if (!view) {
    view = std::make_unique<TCell>(*this, row, col);
  } else {
    view->row_ = row;
    view->col_ = col;
  }
  return *view;
}

const std::string* TCells::PropertiesOf(uint16_t row, uint16_t col) const {
  if (properties_.empty()) return nullptr;
  const auto at = properties_.find(Key(row, col));
  return at == properties_.end() ? nullptr : &at->second;
}

void TCells::SetProperties(uint16_t row, uint16_t col, std::string properties) {
  if (SlotOf(row, col) == nullptr) return;
  properties_[Key(row, col)] = std::move(properties);
}

std::vector<int32_t> TCells::PositionsWithProperties() const {
  std::vector<int32_t> positions;
  for (const auto& [key, properties] : properties_) {
    if (properties.empty()) continue;
    const int32_t pos = PositionOf(static_cast<uint16_t>(key >> 8), static_cast<uint8_t>(key));
    if (pos >= 0) positions.push_back(pos);
  }
  std::sort(positions.begin(), positions.end());
  return positions;
}

void TCells::Changed(TCustomXLSItem& item) {
  if (SuspendInsertion() || !hasPending_) return;
  const auto& cell = static_cast<const TCell&>(item);
  if (&cell.Owner() != this || cell.Row() != pending_.Row || cell.Col() != pending_.Col) return;
  hasPending_ = false;
  Insert(pending_);
}

int32_t TCells::IndexOfItem(const TCustomXLSItem& item) {
  const auto& cell = static_cast<const TCell&>(item);
  return PositionOf(cell.Row(), cell.Col());
}

TCustomXLSItem* TCells::Pending() const {
  if (!hasPending_) return nullptr;
  return &const_cast<TCells&>(*this).ViewOf(pending_.Row, pending_.Col);
}

TCell& TCells::GetCell(int32_t pos) {
  if (pos < 0 || pos >= Count()) RaiseListIndexError(pos);
  const TCellSlot& slot = slots_[static_cast<size_t>(pos)];
  return ViewOf(slot.Row, slot.Col);
}

TCell& TCells::Items(int32_t row, int32_t col) {
  if (!IsValidRow(row) || !IsValidColumn(col)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  const auto r = static_cast<uint16_t>(row);
  const auto c = static_cast<uint16_t>(col);
  if (!(hasPending_ && pending_.Row == r && pending_.Col == c) && PositionOf(r, c) < 0) {
    DropPending();
    pending_ = TCellSlot();
    pending_.Row = r;
    pending_.Col = static_cast<uint8_t>(c);
    hasPending_ = true;
    TCell& cell = ViewOf(r, c);
    if (Context().DoNotInherit != 1) cell.InheritFormat();
    return cell;
  }
  return ViewOf(r, c);
}

TCell* TCells::Find(int32_t row, int32_t col) {
  if (!IsValidRow(row) || !IsValidColumn(col)) return nullptr;
  const auto r = static_cast<uint16_t>(row);
  const auto c = static_cast<uint16_t>(col);
  return PositionOf(r, c) < 0 ? nullptr : &ViewOf(r, c);
}

std::string TCustomRowCols::KeyOf(uint16_t index) {
  return {static_cast<char>(index & 0xFF), static_cast<char>(index >> 8)};
}

void TCustomRowCols::GetKey(const TCustomXLSItem& item, std::string& key) const {
  key = KeyOf(static_cast<const TCustomRowCol&>(item).Index());
}

TColumn& TColumns::Items(int32_t index) {
  if (!IsValidColumn(index)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  const auto i = static_cast<uint16_t>(index);
  return static_cast<TColumn&>(ItemByKey(KeyOf(i), [&]() { return std::make_unique<TColumn>(*this, i); }));
}

TColumn* TColumns::Find(int32_t index) {
  if (!IsValidColumn(index) || static_cast<size_t>(index) >= byIndex_.size()) return nullptr;
  return byIndex_[static_cast<size_t>(index)];
}

namespace {
// Notes a row or column in its index the moment its collection stores it.
template <class T>
void IndexStored(std::vector<T*>& byIndex, TCustomXLSItem& item, bool wasInserted) {
  if (wasInserted || !item.Inserted()) return;
  auto& stored = static_cast<T&>(item);
  if (stored.Index() >= byIndex.size()) byIndex.resize(size_t{stored.Index()} + 1, nullptr);
  byIndex[stored.Index()] = &stored;
}
}  // namespace

void TColumns::Changed(TCustomXLSItem& item) {
  const bool was = item.Inserted();
  TCustomRowCols::Changed(item);
  IndexStored<TColumn>(byIndex_, item, was);
}

void TRows::Changed(TCustomXLSItem& item) {
  const bool was = item.Inserted();
  TCustomRowCols::Changed(item);
  IndexStored<TRow>(byIndex_, item, was);
}

TRow& TRows::Items(int32_t index) {
  if (!IsValidRow(index)) throw EXLSError(xlserr::kInvalidRowOrColumn);
  const auto i = static_cast<uint16_t>(index);
  return static_cast<TRow&>(ItemByKey(KeyOf(i), [&]() { return std::make_unique<TRow>(*this, i); }));
}

TRow* TRows::Find(int32_t index) {
  if (!IsValidRow(index) || static_cast<size_t>(index) >= byIndex_.size()) return nullptr;
  return byIndex_[static_cast<size_t>(index)];
}

}  // namespace qira

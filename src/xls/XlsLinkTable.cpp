#include "xls/XlsLinkTable.h"

#include <algorithm>
#include <cctype>

// Sections (each begins at a line "// [SECTION] <name>"):
//   helpers
//   link table
//   recognisers
//   record data

namespace qira {

// [SECTION] helpers

namespace {

constexpr uint16_t kAddInSheet = 0xFFFE;

// One pair of enclosing apostrophes removed.
std::string_view Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') return text.substr(1, text.size() - 2);
  return text;
}

void PutWord(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

bool IsNameStart(unsigned char c) { return std::isalpha(c) != 0 || c == '_' || c == '\\' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || std::isdigit(c) != 0 || c == '.'; }

// A word that can name something: a letter, '_' or '\' first, then letters,
// digits, '_', '.' and '\'.
bool IsNameWord(std::string_view text) {
  if (text.empty() || !IsNameStart(static_cast<unsigned char>(text[0]))) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return IsNameChar(static_cast<unsigned char>(c)); });
}

// Letters and digits in the shape of an A1 cell ("$AB$12"), whatever their range.
bool HasCellShape(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  const size_t letters = i;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
  if (i == letters || i - letters > 3) return false;
  if (i < text.size() && text[i] == '$') ++i;
  const size_t digits = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  return i > digits && i == text.size();
}

// A cell or a range of cells in A1 shape, whatever their range.
bool HasReferenceShape(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return HasCellShape(text);
  return HasCellShape(text.substr(0, colon)) && HasCellShape(text.substr(colon + 1));
}

}  // namespace

std::u16string BuiltInNameText(uint8_t code) {
  static const char16_t* const kNames[] = {u"Consolidate_Area", u"Auto_Open",     u"Auto_Close",      u"Extract",
                                           u"Database",         u"Criteria",      u"Print_Area",      u"Print_Titles",
                                           u"Recorder",         u"Data_From",     u"Auto_Activate",   u"Auto_Deactivate",
                                           u"Sheet_Title",      u"_FilterDatabase"};
  code &= 127;
  if (code < 1 || code > 14) return {};
  return kNames[code - 1];
}

bool CellToReference(std::string_view text, TXLSReference& ref) {
  TCellRef cell;
  if (!ParseCellRef(text, cell)) return false;
  ref.Row1 = ref.Row2 = cell.Row;
  ref.Col1 = ref.Col2 = cell.Col;
  ref.AbsCol1 = ref.AbsCol2 = (cell.Flags & 1) != 0;
  ref.AbsRow1 = ref.AbsRow2 = (cell.Flags & 2) != 0;
  return true;
}

bool AreaToReference(std::string_view text, TXLSReference& ref) {
  TRangeRect rect;
  if (!ParseRangeRef(text, rect)) return false;
  ref.Row1 = rect.Row1;
  ref.Row2 = rect.Row2;
  ref.Col1 = rect.Col1;
  ref.Col2 = rect.Col2;
  ref.AbsCol1 = (rect.Flags & 1) != 0;
  ref.AbsRow1 = (rect.Flags & 2) != 0;
  ref.AbsCol2 = (rect.Flags & 4) != 0;
  ref.AbsRow2 = (rect.Flags & 8) != 0;
  return true;
}

// [SECTION] link table

TXLSLinkTable::TXLSLinkTable() { Clear(); }

void TXLSLinkTable::Clear() {
  documents_.clear();
  xtis_.clear();
  auto own = std::make_unique<TXLSLinkDocument>();
  own->Own = true;
  documents_.push_back(std::move(own));
}

void TXLSLinkTable::AddSheetName(std::u16string_view name) {
  const std::string bytes = WideToUtf16Bytes(name);
  TAnsiStringList& names = documents_[0]->SheetNames;
  if (names.IndexOf(bytes) < 0) names.Add(bytes);
}

uint16_t TXLSLinkTable::IndexOfSheet(std::u16string_view name) const {
  const int32_t i = documents_[0]->SheetNames.IndexOf(WideToUtf16Bytes(name));
  return i < 0 ? kNone : static_cast<uint16_t>(i);
}

uint16_t TXLSLinkTable::IndexOfName(std::u16string_view name) const {
  const std::vector<TXLSLinkName>& names = documents_[0]->Names;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].Name == name) return static_cast<uint16_t>(i);
  return kNone;
}

void TXLSLinkTable::AddName(std::u16string_view name, const TRangeRects& rects, int32_t sheetIndex, uint8_t builtIn,
                            int32_t refSheet) {
  TXLSLinkName n;
  n.Name = builtIn != 0 ? BuiltInNameText(builtIn) : std::u16string(name);
  if (builtIn == 0) {
    const std::string utf8 = WideToUtf8(name);
    if (!IsNameWord(utf8) || HasReferenceShape(utf8)) throw EXLSError(xlserr::kInvalidRangeName, {utf8});
    for (const TXLSLinkName& other : documents_[0]->Names)
      if (other.BuiltIn == 0 && other.Name == n.Name && other.SheetIndex == sheetIndex)
        throw EXLSError(xlserr::kInvalidRangeName, {utf8});
  }
  n.SheetIndex = sheetIndex;
  n.RefSheet = refSheet;
  n.Rects.AddAll(rects);
  n.BuiltIn = builtIn;
  documents_[0]->Names.push_back(std::move(n));
}

uint16_t TXLSLinkTable::FindOrAddXti(const TXti& xti) {
  const auto it = std::find(xtis_.begin(), xtis_.end(), xti);
  if (it != xtis_.end()) return static_cast<uint16_t>(it - xtis_.begin());
  if (xtis_.size() >= kNone) throw EXLSError(xlserr::kLinkTable);
  xtis_.push_back(xti);
  return static_cast<uint16_t>(xtis_.size() - 1);
}

uint16_t TXLSLinkTable::XtiOfSheet(std::u16string_view name) { return XtiOfSheetRange(name, name); }

uint16_t TXLSLinkTable::XtiOfSheetRange(std::u16string_view first, std::u16string_view last) {
  const uint16_t a = IndexOfSheet(first);
  const uint16_t b = IndexOfSheet(last);
  if (a == kNone || b == kNone) return kNone;
  return FindOrAddXti({0, std::min(a, b), std::max(a, b)});
}

int32_t TXLSLinkTable::FindOrAddDocument(const std::u16string& path, bool addIn) {
  for (size_t i = 1; i < documents_.size(); ++i) {
    const TXLSLinkDocument& d = *documents_[i];
    if (addIn ? d.AddIn : (!d.AddIn && d.Path == path)) return static_cast<int32_t>(i);
  }
  auto doc = std::make_unique<TXLSLinkDocument>();
  doc->Path = path;
  doc->AddIn = addIn;
  documents_.push_back(std::move(doc));
  return static_cast<int32_t>(documents_.size() - 1);
}

// [SECTION] recognisers

bool TXLSLinkTable::Recognize(std::string_view text, TXLSReference& ref) {
  ref = TXLSReference();
  ref.Text = std::string(text);
  if (CellToReference(text, ref)) {
    ref.Kind = TRefKind::Cell;
    return true;
  }
  if (AreaToReference(text, ref)) {
    ref.Kind = TRefKind::Area;
    return true;
  }
  if (RecognizeSheetRef(text, false, ref) || RecognizeSheetRef(text, true, ref)) return true;
  if (RecognizeName(text, ref)) return true;
  if (RecognizeWorkbookRef(text, false, ref) || RecognizeWorkbookRef(text, true, ref)) return true;
  return RecognizeExternName(text, ref);
}

bool TXLSLinkTable::RecognizeSheetRef(std::string_view text, bool area, TXLSReference& ref) {
  const size_t bang = text.find('!');
  if (bang == std::string_view::npos || bang == 0) return false;
  const std::string_view target = Unquote(text.substr(0, bang));
  const std::string_view cell = text.substr(bang + 1);
  if (!(area ? AreaToReference(cell, ref) : CellToReference(cell, ref))) return false;
  uint16_t xti;
  bool range = false;
  const size_t colon = target.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view first = target.substr(0, colon), last = target.substr(colon + 1);
    if (first.empty() || last.empty()) return false;
    // Looking the sheets up first keeps unknown sheets from adding entries.
    if (IndexOfSheet(AnsiToWide(first)) == kNone || IndexOfSheet(AnsiToWide(last)) == kNone) return false;
    xti = XtiOfSheetRange(AnsiToWide(first), AnsiToWide(last));
    range = true;
  } else {
    if (IndexOfSheet(AnsiToWide(target)) == kNone) return false;
    xti = XtiOfSheet(AnsiToWide(target));
  }
  if (xti == kNone) return false;
  ref.Xti = xti;
  ref.Kind = area ? TRefKind::SheetArea : (range ? TRefKind::SheetRangeCell : TRefKind::SheetCell);
  return true;
}

bool TXLSLinkTable::RecognizeName(std::string_view text, TXLSReference& ref) const {
  const std::string_view name = Unquote(text);
  if (name.empty()) return false;
  const uint16_t i = IndexOfName(AnsiToWide(name));
  if (i == kNone) return false;
  ref.Kind = TRefKind::Name;
  ref.NameIndex = static_cast<uint16_t>(i + 1);
  return true;
}

bool TXLSLinkTable::RecognizeWorkbookRef(std::string_view text, bool area, TXLSReference& ref) {
  const size_t bang = text.find('!');
  if (bang == std::string_view::npos || bang == 0) return false;
  const std::string_view target = Unquote(text.substr(0, bang));
  const size_t close = target.find(']');
  if (close == std::string_view::npos) return false;
  if (!(area ? AreaToReference(text.substr(bang + 1), ref) : CellToReference(text.substr(bang + 1), ref)))
    return false;
  std::string path(target.substr(0, close + 1));
  std::erase_if(path, [](char c) { return c == '[' || c == ']'; });
  const std::string_view sheets = target.substr(close + 1);
  std::string_view first = sheets, last = sheets;
  const size_t colon = sheets.find(':');
  if (colon != std::string_view::npos) {
    first = sheets.substr(0, colon);
    last = sheets.substr(colon + 1);
  }
  if (path.empty() || first.empty() || last.empty()) return false;
  const int32_t doc = FindOrAddDocument(AnsiToWide(path), false);
  TAnsiStringList& names = documents_[static_cast<size_t>(doc)]->SheetNames;
  auto sheetIndex = [&names](std::string_view sheet) {
    const std::string bytes = AnsiToUtf16Bytes(sheet);
    int32_t i = names.IndexOf(bytes);
    if (i < 0) i = names.Add(bytes);
    return static_cast<uint16_t>(i);
  };
  const uint16_t a = sheetIndex(first);
  const uint16_t b = sheetIndex(last);
  ref.Xti = FindOrAddXti({static_cast<uint16_t>(doc), a, b});
  ref.Kind = area ? TRefKind::WorkbookArea : TRefKind::WorkbookCell;
  return true;
}

// A word that is nothing else names something of another document (of the add-in
// document without a document part). A name part in the shape of a cell or
// range (A1 notation out of range, say) or with characters no name has is refused.
bool TXLSLinkTable::RecognizeExternName(std::string_view text, TXLSReference& ref) {
  const size_t bang = text.find('!');
  std::string_view docPart, name = text;
  if (bang != std::string_view::npos) {
    docPart = Unquote(text.substr(0, bang));
    name = text.substr(bang + 1);
  }
  if (!IsNameWord(name) || HasReferenceShape(name)) return false;
  std::string path(docPart);
  std::erase_if(path, [](char c) { return c == '[' || c == ']'; });
  const int32_t doc = FindOrAddDocument(AnsiToWide(path), path.empty());
  std::vector<TXLSLinkName>& names = documents_[static_cast<size_t>(doc)]->Names;
  const std::u16string wide = AnsiToWide(name);
  auto it = std::find_if(names.begin(), names.end(), [&](const TXLSLinkName& n) { return n.Name == wide; });
  if (it == names.end()) {
    TXLSLinkName n;
    n.Name = wide;
    names.push_back(std::move(n));
    it = names.end() - 1;
  }
  ref.NameIndex = static_cast<uint16_t>(it - names.begin() + 1);
  ref.Xti = FindOrAddXti({static_cast<uint16_t>(doc), kAddInSheet, kAddInSheet});
  ref.Kind = TRefKind::ExternName;
  return true;
}

// [SECTION] record data

namespace {

// The path of another document in the format's encoded form.
std::u16string EncodePath(std::u16string_view path) {
  std::u16string out;
  size_t i = 0;
  if (path.substr(0, 2) == u"\\\\") {
    out += u"\x01@";
    i = 2;
  } else if (path.size() >= 2 && path[1] == u':') {
    out += u'\x01';
    out += path[0];
    i = 2;
    if (i < path.size() && (path[i] == u'\\' || path[i] == u'/')) ++i;
  }
  for (; i < path.size(); ++i) out += (path[i] == u'\\' || path[i] == u'|') ? u'\x03' : path[i];
  if (path.find(u'|') == std::u16string_view::npos) out.insert(out.begin(), u'\x01');
  return out;
}

void PutString(std::string& out, std::u16string_view text) {
  PutWord(out, static_cast<uint16_t>(text.size()));
  out.push_back('\x01');
  out += WideToUtf16Bytes(text);
}

}  // namespace

std::string TXLSLinkTable::SupBookData(int32_t document) const {
  const TXLSLinkDocument& d = Document(document);
  std::string out;
  if (d.Own) {
    PutWord(out, static_cast<uint16_t>(d.SheetNames.Count()));  // sheet count
    out += std::string("\x01\x04", 2);                           // marks the own workbook
  } else if (d.AddIn) {
    PutWord(out, 1);                    // one (virtual) sheet
    out += std::string("\x01\x3A", 2);  // marks the add-in functions
  } else {
    PutWord(out, static_cast<uint16_t>(d.SheetNames.Count()));
    PutString(out, EncodePath(d.Path));
    for (int32_t i = 0; i < d.SheetNames.Count(); ++i) PutString(out, Utf16BytesToWide(d.SheetNames.Strings(i)));
  }
  return out;
}

std::string TXLSLinkTable::ExternNameData(const TXLSLinkName& name) const {
  std::u16string text = name.Name;
  if (!text.empty() && text.front() == u'\'') text.erase(0, 1);
  if (!text.empty() && text.back() == u'\'') text.pop_back();
  std::string out;
  PutWord(out, 0);  // option flags
  PutWord(out, 0);  // sheet index: none
  PutWord(out, 0);  // reserved
  out.push_back(static_cast<char>(std::min<size_t>(text.size(), 255)));
  out.push_back('\x01');
  out += WideToUtf16Bytes(std::u16string_view(text).substr(0, 255));
  // The definition: a 2-byte formula of the error token #REF!.
  out += std::string("\x02\x00\x1C\x17", 4);
  return out;
}

std::string TXLSLinkTable::ExternSheetData() const {
  std::string out;
  PutWord(out, static_cast<uint16_t>(xtis_.size()));
  for (const TXti& x : xtis_) {
    PutWord(out, x.Document);
    PutWord(out, x.First);
    PutWord(out, x.Last);
  }
  return out;
}

std::string TXLSLinkTable::NameData(const TXLSLinkName& name) const {
  uint16_t xti = kNone;
  if (name.RefSheet >= 0 && name.RefSheet < documents_[0]->SheetNames.Count()) {
    const TXti own{0, static_cast<uint16_t>(name.RefSheet), static_cast<uint16_t>(name.RefSheet)};
    const auto it = std::find(xtis_.begin(), xtis_.end(), own);
    if (it != xtis_.end()) xti = static_cast<uint16_t>(it - xtis_.begin());
  }
  if (xti == kNone) throw EXLSError(xlserr::kLinkTable);

  std::string areas;
  for (int32_t i = 0; i < name.Rects.Count(); ++i) {
    const TRangeRect& r = name.Rects.Item(i);
    areas.push_back('\x3B');  // 3-D area, reference class
    PutWord(areas, xti);
    PutWord(areas, r.Row1);
    PutWord(areas, r.Row2);
    PutWord(areas, r.Col1);  // absolute: no relative bits
    PutWord(areas, r.Col2);
    if (i > 0) areas.push_back('\x10');  // union of the areas so far
  }
  std::string definition;
  if (name.Rects.Count() > 1) {
    definition.push_back('\x29');  // memory function: the length of the union that follows
    PutWord(definition, static_cast<uint16_t>(areas.size()));
  }
  definition += areas;

  const bool builtIn = name.BuiltIn != 0;
  const uint16_t sheetField = name.SheetIndex >= 0 ? static_cast<uint16_t>(name.SheetIndex + 1) : 0;
  std::string out;
  PutWord(out, builtIn ? 0x0020 : 0);  // option flags: built-in name
  out.push_back('\0');                 // keyboard shortcut
  out.push_back(static_cast<char>(builtIn ? 1 : std::min<size_t>(name.Name.size(), 255)));  // name length
  PutWord(out, static_cast<uint16_t>(definition.size()));  // definition length
  PutWord(out, sheetField);  // external-sheet field: the same value
  PutWord(out, sheetField);  // sheet-local: sheet index + 1; 0 for a workbook-wide name
  out += std::string(4, '\0');  // menu, description, help and status text lengths
  if (builtIn) {
    out.push_back('\0');
    const uint8_t code = name.BuiltIn & 127;
    out.push_back(static_cast<char>(code >= 1 && code <= 14 ? code - 1 : 255));
  } else {
    out.push_back('\x01');
    out += WideToUtf16Bytes(std::u16string_view(name.Name).substr(0, 255));
  }
  return out + definition;
}

}  // namespace qira

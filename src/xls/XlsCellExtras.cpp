#include "xls/XlsCellExtras.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <vector>

#include "xls/XlsFormats.h"
#include "xls/XlsFormula.h"
#include "xls/XlsSupport.h"
#include "xls/XlsWorkbook.h"

// Sections (each begins at a line "// [SECTION] <name>"):
//   bytes
//   hyperlinks
//   validations
//   rich text

namespace qira {

// [SECTION] bytes

namespace {

void Word(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void DWord(std::string& out, uint32_t v) {
  Word(out, static_cast<uint16_t>(v));
  Word(out, static_cast<uint16_t>(v >> 16));
}

// Class identifiers as they lie in the file (first three fields little-endian).
const std::string kStdLink("\xD0\xC9\xEA\x79\xF9\xBA\xCE\x11\x8C\x82\x00\xAA\x00\x4B\xA9\x0B", 16);
const std::string kUrlMoniker("\xE0\xC9\xEA\x79\xF9\xBA\xCE\x11\x8C\x82\x00\xAA\x00\x4B\xA9\x0B", 16);
const std::string kFileMoniker("\x03\x03\x00\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

// Hyperlink object flags.
constexpr uint32_t kHasMoniker = 0x01;
constexpr uint32_t kIsAbsolute = 0x02;
constexpr uint32_t kHasLocation = 0x08;
constexpr uint32_t kMonikerSavedAsString = 0x100;

// Character count with the terminator, then the characters and the terminator.
void CountedString(std::string& out, std::u16string_view text) {
  DWord(out, static_cast<uint32_t>(text.size() + 1));
  out += WideToUtf16Bytes(text);
  Word(out, 0);
}

}  // namespace

// [SECTION] hyperlinks

uint8_t DetectHyperlinkKind(std::u16string_view t) {
  if (t.find(u'!') != std::u16string_view::npos) return kLinkPlace;
  if (t.substr(0, 2) == u"\\\\") return kLinkNetworkPath;
  if (t.substr(0, 4) == u"http" || t.find(u'@') != std::u16string_view::npos) return kLinkAddress;
  if (t.find(u':') != std::u16string_view::npos || t.find(u'\\') != std::u16string_view::npos) return kLinkFile;
  return kLinkAddress;
}

std::string HyperlinkData(std::u16string_view target, uint8_t kind) {
  if (target.empty() || kind > kLinkPlace) throw EXLSError(xlserr::kHyperlink);
  if (kind == kLinkDetect) kind = DetectHyperlinkKind(target);
  uint32_t flags = 0;
  if (kind == kLinkAddress || kind == kLinkFile) flags |= kHasMoniker;
  if (!(kind == kLinkFile && target.find(u':') == std::u16string_view::npos)) flags |= kIsAbsolute;
  if (kind == kLinkNetworkPath) flags |= kHasMoniker | kIsAbsolute | kMonikerSavedAsString;
  if (kind == kLinkPlace) flags = kHasLocation;
  std::string out = kStdLink;
  DWord(out, 2);  // version
  DWord(out, flags);
  switch (kind) {
    case kLinkAddress:
      out += kUrlMoniker;
      DWord(out, static_cast<uint32_t>(2 * (target.size() + 1)));  // bytes with the terminator
      out += WideToUtf16Bytes(target);
      Word(out, 0);
      break;
    case kLinkFile: {
      out += kFileMoniker;
      Word(out, 0);  // up-level count
      std::string ansi;
      for (char16_t c : target) ansi.push_back(c < 0x80 ? static_cast<char>(c) : '?');
      DWord(out, static_cast<uint32_t>(ansi.size() + 1));  // 8-bit path with its terminator
      out += ansi;
      out.push_back('\0');
      Word(out, 0xFFFF);               // end of server part
      Word(out, 0xDEAD);               // version
      out += std::string(20, '\0');    // reserved
      const std::string wide = WideToUtf16Bytes(target);
      DWord(out, static_cast<uint32_t>(wide.size() + 6));  // size of what follows
      DWord(out, static_cast<uint32_t>(wide.size()));      // UTF-16 path bytes
      Word(out, 3);                                        // key value
      out += wide;
      break;
    }
    default:  // network path (the moniker as a string), place in the workbook
      CountedString(out, target);
      break;
  }
  return out;
}

// [SECTION] validations

namespace {

constexpr uint32_t kTypeOptions[] = {0, 1, 2, 3, 0x83, 4, 5, 6, 7};
constexpr uint8_t kExplicitList = 4;

void DvString(std::string& out, std::u16string_view text) {
  if (text.empty()) {
    out += std::string("\x01\x00\x00\x00", 4);  // one 8-bit character 0: the format's empty string
    return;
  }
  Word(out, static_cast<uint16_t>(std::min<size_t>(text.size(), 0xFFFF)));
  out.push_back('\x01');
  out += WideToUtf16Bytes(text.substr(0, 0xFFFF));
}

// An explicit list is one string constant whose items are separated by
// character 0, as the format keeps them.
std::string ExplicitListTokens(std::string_view text) {
  std::string_view items = text;
  if (items.size() >= 2 && items.front() == '"' && items.back() == '"') items = items.substr(1, items.size() - 2);
  std::u16string wide = AnsiToWide(items);
  if (wide.empty() && !items.empty()) throw EXLSError(std::string(text), xlserr::kInvalidFormula);
  std::replace(wide.begin(), wide.end(), static_cast<char16_t>(XLSListSeparator()), u'\0');
  if (wide.size() > 255) throw EXLSError(std::string(text), xlserr::kInvalidFormula);
  std::string out = "\x17";
  out.push_back(static_cast<char>(wide.size()));
  out.push_back('\x01');
  return out + WideToUtf16Bytes(wide);
}

}  // namespace

std::string ValidationData(const TCellValidation& v, TXLSFormulaParser& parser) {
  if (v.Rects.Count() == 0) throw EXLSError(xlserr::kInvalidCellProperty);
  uint32_t options = v.Type < std::size(kTypeOptions) ? kTypeOptions[v.Type] : 0;
  if (v.ErrorStyle == 1) options |= 0x10;
  if (v.ErrorStyle == 2) options |= 0x20;
  if (v.Operator >= 2 && v.Operator <= 8) options |= static_cast<uint32_t>(v.Operator - 1) * 0x100000;
  if (v.AllowBlank) options |= 0x100;
  if (!v.ShowDropDown) options |= 0x200;
  if (v.ShowInputMessage) options |= 0x40000;
  if (v.ShowErrorMessage) options |= 0x80000;
  std::string out;
  DWord(out, options);
  DvString(out, v.PromptTitle);
  DvString(out, v.ErrorTitle);
  DvString(out, v.PromptText);
  DvString(out, v.ErrorText);
  const TRangeRect& base = v.Rects.Item(0);
  for (const std::string* formula : {&v.Formula1, &v.Formula2}) {
    std::string tokens;
    if (!formula->empty())
      tokens = v.Type == kExplicitList && formula == &v.Formula1 ? ExplicitListTokens(*formula)
                                                                 : parser.EncodeRelative(*formula, base.Row1, base.Col1);
    Word(out, static_cast<uint16_t>(tokens.size()));
    Word(out, 0);
    out += tokens;
  }
  Word(out, static_cast<uint16_t>(v.Rects.Count()));
  for (int32_t i = 0; i < v.Rects.Count(); ++i) {
    const TRangeRect& r = v.Rects.Item(i);
    Word(out, r.Row1);
    Word(out, r.Row2);
    Word(out, r.Col1);
    Word(out, r.Col2);
  }
  return out;
}

// [SECTION] rich text

namespace {

[[noreturn]] void BadSpec() { throw EXLSError(xlserr::kInvalidCellProperty); }

int32_t ParseInt(std::string_view s) {
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) BadSpec();
  return v;
}

std::string Trimmed(std::string_view s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// Applies one part ("style:b", "size:12", ...) to a font record.
void ApplyPart(std::string_view part, TFontRecord& font) {
  const size_t colon = part.find(':');
  if (colon == std::string_view::npos) BadSpec();
  const std::string key = XLSLowerCase(Trimmed(part.substr(0, colon)));
  const std::string value = Trimmed(part.substr(colon + 1));
  if (key == "style") {
    for (char c : XLSLowerCase(value)) {
      if (c == 'b') font.Bold = 1;
      else if (c == 'i') font.Italic = 1;
      else if (c == 'u') font.Underline = 1;
      else BadSpec();
    }
  } else if (key == "script") {
    const std::string v = XLSLowerCase(value);
    if (v == "sub") font.Script = 2;
    else if (v == "super") font.Script = 1;
    else BadSpec();
  } else if (key == "color") {
    std::string_view hex = value;
    if (!hex.empty() && hex[0] == '$') hex.remove_prefix(1);
    uint32_t color = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), color, 16);
    if (hex.empty() || ec != std::errc() || end != hex.data() + hex.size()) BadSpec();
    font.Color = NearestDefaultColor(static_cast<TColor>(color));
  } else if (key == "size") {
    const int32_t points = ParseInt(value);
    if (points < 1 || points > 409) BadSpec();
    font.Height = static_cast<uint16_t>(points);
  } else if (key == "font") {
    if (value.empty()) BadSpec();
    font.SetName(AnsiToWide(value));
  } else {
    BadSpec();
  }
}

}  // namespace

std::string RichTextRuns(std::string_view runList, int32_t baseFont, size_t textLength, TVirtualFontTable& fonts) {
  const TFontRecord base = fonts.Item(baseFont);
  std::map<size_t, uint16_t> runs;  // position -> file font index; a later entry wins
  size_t i = 0;
  while (i < runList.size()) {
    if (runList[i] == ';' || runList[i] == ' ') {
      ++i;
      continue;
    }
    const size_t dash = runList.find('-', i);
    const size_t open = runList.find('(', i);
    const size_t close = runList.find(')', i);
    if (dash == std::string_view::npos || open == std::string_view::npos || close == std::string_view::npos ||
        !(dash < open && open < close))
      BadSpec();
    const int32_t start = ParseInt(Trimmed(runList.substr(i, dash - i)));
    const int32_t end = ParseInt(Trimmed(runList.substr(dash + 1, open - dash - 1)));
    if (start < 1 || end < start) BadSpec();
    TFontRecord font = base;
    std::string_view parts = runList.substr(open + 1, close - open - 1);
    while (!parts.empty()) {
      const size_t semi = parts.find(';');
      const std::string part = Trimmed(parts.substr(0, semi));
      if (!part.empty()) ApplyPart(part, font);
      parts = semi == std::string_view::npos ? std::string_view() : parts.substr(semi + 1);
    }
    runs[static_cast<size_t>(start - 1)] = FileFontIndex(fonts.Add(font.Pack()));
    if (!runs.contains(static_cast<size_t>(end))) runs[static_cast<size_t>(end)] = FileFontIndex(baseFont);
    i = close + 1;
  }
  std::string out;
  for (const auto& [pos, font] : runs) {
    if (pos >= textLength) break;
    Word(out, static_cast<uint16_t>(pos));
    Word(out, font);
  }
  return out;
}

}  // namespace qira

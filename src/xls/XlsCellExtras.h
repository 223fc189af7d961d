#pragma once
// Cell-level extras of the BIFF8 format: data validations (DV record data),
// hyperlinks (HLINK record data) and rich-text runs of shared strings.
#include <cstdint>
#include <string>
#include <string_view>

namespace qira {

struct TCellValidation;
class TVirtualFontTable;
class TXLSFormulaParser;

// Hyperlink kinds.
inline constexpr uint8_t kLinkDetect = 0;
inline constexpr uint8_t kLinkAddress = 1;
inline constexpr uint8_t kLinkFile = 2;
inline constexpr uint8_t kLinkNetworkPath = 3;
inline constexpr uint8_t kLinkPlace = 4;

// The kind of a target: "!" a place in the workbook, a leading "\\" a network
// path, "http" or "@" an address, ":" or "\" a file, else an address.
uint8_t DetectHyperlinkKind(std::u16string_view target);

// The hyperlink object of an HLINK record (after its cell rectangle). Kind 0 is
// detected; EXLSError 16 for an empty target or a kind above 4.
std::string HyperlinkData(std::u16string_view target, uint8_t kind);

// DV record data; the formulas are encoded relative to the first cell of the
// first rectangle. EXLSError 4 for a validation without rectangles.
std::string ValidationData(const TCellValidation& v, TXLSFormulaParser& parser);

// The formatting runs (4 bytes each: character position, file font index) of a
// rich-text run list for a text of textLength characters whose base font
// is baseFont; the changed fonts are interned into fonts. Runs come sorted by
// position, one per position, and none at or beyond the end of the text.
// EXLSError 4 for a run list that does not parse.
std::string RichTextRuns(std::string_view runList, int32_t baseFont, size_t textLength, TVirtualFontTable& fonts);

// The FONT record index of a font table index. The file's fonts 0 to 3 are the
// table's font 0 (the default font the format expects there); it has no font 4,
// so table font i >= 1 is file font i + 4.
inline uint16_t FileFontIndex(int32_t tableIndex) {
  return static_cast<uint16_t>(tableIndex == 0 ? 0 : tableIndex + 4);
}

}  // namespace qira

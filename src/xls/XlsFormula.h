#pragma once
// The formula parser: formula text (8-bit, in the library code page) to the
// token bytes of the BIFF8 formula format. Its TRPNParser (XlsFormula.cpp)
// splits the text into tokens, each classified by the formula parser as it is
// split off, and orders them in reverse Polish notation; the formula parser
// encodes them.
// References to other sheets, other workbooks and names go through the link
// table, which may grow while a formula is parsed.
//
// Every failure is EXLSError 8 whose message is the formula text, a blank and
// the code's message; no partial bytes are returned. The parser checks the
// token order as it builds it (every operator and function finds its operands),
// so malformed text fails instead of producing bytes a reader cannot evaluate.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qira {

class TXLSLinkTable;

// The most token bytes one formula may have: a FORMULA record's data (22 bytes
// before the tokens) must fit one record.
inline constexpr size_t kMaxFormulaTokenBytes = 8224 - 22;

// EXLSError 8 ("<text> Invalid formula.") for a text that is not empty but holds
// no formula ("=", blanks): the writer could not save it. Checked when a cell's
// formula is set, so that the refusal comes from the call that made it.
void CheckFormulaNotEmpty(std::string_view text);

class TXLSFormulaParser {
 public:
  // The list separator is the library-wide one at the time of creation.
  explicit TXLSFormulaParser(TXLSLinkTable& links);
  ~TXLSFormulaParser();
  TXLSFormulaParser(const TXLSFormulaParser&) = delete;
  TXLSFormulaParser& operator=(const TXLSFormulaParser&) = delete;

  // Token bytes of the text (one leading "=" and surrounding blanks dropped);
  // empty for an empty text.
  std::string Encode(std::string_view text);
  // The same with references relative to a base cell (validations).
  std::string EncodeRelative(std::string_view text, uint16_t baseRow, uint8_t baseCol);

 private:
  struct TImpl;
  std::string Run(std::string_view text, bool relative, uint16_t baseRow, uint8_t baseCol);

  TXLSLinkTable& links_;
  char separator_;
};

}  // namespace qira

// The formula parser's token bytes, table by table; failures are code 8 whatever
// went wrong, and malformed text never yields bytes.
#include "xls/XlsFormula.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "xls/XlsLinkTable.h"
#include "xls/XlsSupport.h"

namespace qira {
namespace {

std::string B(std::initializer_list<uint8_t> b) { return std::string(b.begin(), b.end()); }

std::string Num(double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  std::string s = "\x1F";
  for (int k = 0; k < 8; ++k) s.push_back(static_cast<char>(bits >> (8 * k)));
  return s;
}

class XlsFormula : public ::testing::Test {
 protected:
  void SetUp() override {
    links_.AddSheetName(u"Sheet1");
    links_.AddSheetName(u"Data");
    links_.XtiOfSheet(u"Sheet1");
    links_.XtiOfSheet(u"Data");
    TRangeRects rects;
    rects.Add(0, 1, 0, 0);
    links_.AddName(u"Depth", rects, -1, 0, 0);
  }
  uint8_t Code(const std::string& text) {
    try {
      parser_.Encode(text);
    } catch (const EXLSError& e) {
      return e.Code();
    }
    return 0;
  }

  TXLSLinkTable links_;
  TXLSFormulaParser parser_{links_};
};

TEST_F(XlsFormula, EncodesOperatorsFunctionsAndOperands) {
  const std::string a1 = B({0x44, 0, 0, 0, 0xC0});
  const struct {
    const char* name;
    std::string text;
    std::string bytes;
  } cases[] = {
      {"sum", "=1+2", Num(1) + Num(2) + "\x03"},
      {"blanks and no equals sign", "  1+2 ", Num(1) + Num(2) + "\x03"},
      {"area argument", "SUM(A1:B2)", B({0x25, 0, 0, 1, 0, 0, 0xC0, 1, 0xC0, 0x42, 1, 4, 0})},
      {"leading sign", "-2+3", Num(2) + "\x13" + Num(3) + "\x03"},
      {"sign after an operator", "2*-3", Num(2) + Num(3) + "\x13\x05"},
      {"sign after a comparison", "1<-2", Num(1) + Num(2) + "\x13\x09"},
      {"missing middle argument", "IF(A1,,1)", a1 + "\x16" + Num(1) + B({0x42, 3, 1, 0})},
      {"missing last argument", "IF(A1,)", a1 + "\x16" + B({0x42, 2, 1, 0})},
      {"missing first argument", "IF(,1)", "\x16" + Num(1) + B({0x42, 2, 1, 0})},
      {"parenthesis token", "(1+2)*3", Num(1) + Num(2) + "\x03\x15" + Num(3) + "\x05"},
      {"function without parentheses", "SUM", B({0x42, 0, 4, 0})},
      {"empty call", "NOW()", B({0x42, 0, 74, 0})},
      {"escaped quote", "\"a\"\"b\"", B({0x17, 3, 1, 'a', 0, '"', 0, 'b', 0})},
      {"empty string", "LEN(\"\")", B({0x17, 0, 1, 0x42, 1, 32, 0})},
      {"concatenation binds looser than plus", "1+2&3", Num(1) + Num(2) + "\x03" + Num(3) + "\x08"},
      {"concatenation binds tighter than equals", "\"a\"&\"b\"=\"ab\"",
       B({0x17, 1, 1, 'a', 0, 0x17, 1, 1, 'b', 0, 0x08, 0x17, 2, 1, 'a', 0, 'b', 0, 0x0B})},
      {"negative exponent", "1E-5", Num(1e-5)},
      {"positive exponent", "2.5e+3*2", Num(2500) + Num(2) + "\x05"},
      {"boolean", "NOT(true)", B({0x1D, 1, 0x42, 1, 38, 0})},
      {"absolute cell", "$C$7", B({0x44, 6, 0, 2, 0})},
      {"last cell of the sheet", "IV65536", B({0x44, 0xFF, 0xFF, 0xFF, 0xC0})},
      {"sheet cell", "Data!B3", B({0x5A, 1, 0, 2, 0, 1, 0xC0})},
      {"quoted sheet area", "SUM('Data'!A1:B2)", B({0x3B, 1, 0, 0, 0, 1, 0, 0, 0xC0, 1, 0xC0, 0x42, 1, 4, 0})},
      {"defined name", "Depth*2", B({0x23, 1, 0, 0, 0}) + Num(2) + "\x05"},
  };
  for (const auto& c : cases) EXPECT_EQ(parser_.Encode(c.text), c.bytes) << c.name;
}

TEST_F(XlsFormula, MalformedTextFailsWithCode8) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"unclosed parenthesis", "(1+2"},
      {"unopened parenthesis", "1+2)"},
      {"unclosed call", "SUM(1,2"},
      {"dangling operator", "1+"},
      {"two operands", "1 2"},
      {"separator outside a call", "1,2"},
      {"unterminated string", "\"abc"},
      {"row beyond 65536", "A65537"},
      {"column beyond IV", "IW1"},
      {"area beyond the sheet", "SUM(A1:A70000)"},
      {"unsupported operator", "2^3"},
      {"number out of range", "1E999"},
      {"string of 256 characters", "\"" + std::string(256, 'x') + "\""},
      {"tokens beyond one record", "1" + [] {
         std::string s;
         for (int i = 0; i < 900; ++i) s += "+1";
         return s;
       }()},
      {"user calls beyond one record", "F()" + [] {
         // Each call once moved the rest of the formula to make room for its name.
         std::string s;
         for (int i = 0; i < 100000; ++i) s += "+F()";
         return s;
       }()},
      {"sheet part without reference", "Data!"},
      {"adjacent groups", "(3)IF(2,+)"},
      {"operand after a call", "SUM(1)2"},
  };
  for (const auto& c : cases) EXPECT_EQ(Code(c.text), 8) << c.name;
  try {
    parser_.Encode("=1+");
    ADD_FAILURE();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "=1+ Invalid formula.");
  }
  // The longest string constant is accepted.
  EXPECT_EQ(parser_.Encode("\"" + std::string(255, 'x') + "\"").size(), 3u + 510);
}

TEST_F(XlsFormula, UnknownWordsAreExternalNamesAndCallsOfThemUserFunctions) {
  // F(1): the add-in document's name F as the first argument of the user-function entry.
  EXPECT_EQ(parser_.Encode("F(1)"), B({0x39, 2, 0, 1, 0, 0, 0}) + Num(1) + B({0x42, 2, 0xFF, 0}));
  ASSERT_EQ(links_.DocumentCount(), 2);
  EXPECT_TRUE(links_.Document(1).AddIn);
  EXPECT_EQ(links_.Xtis()[2], (TXti{1, 0xFFFE, 0xFFFE}));
  // Another workbook's cell.
  EXPECT_EQ(parser_.Encode("[Other.xls]Prices!C2"), B({0x5A, 3, 0, 1, 0, 2, 0xC0}));
  EXPECT_EQ(links_.Document(2).Path, u"Other.xls");
}

TEST_F(XlsFormula, RelativeModeGivesOffsetsFromTheBaseCell) {
  EXPECT_EQ(parser_.EncodeRelative("B3", 1, 0), B({0x4C, 1, 0, 1, 0xC0}));
  EXPECT_EQ(parser_.EncodeRelative("$B$3", 1, 0), B({0x44, 2, 0, 1, 0}));
}

}  // namespace
}  // namespace qira

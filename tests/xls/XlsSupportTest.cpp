// Sections (each begins at a line "// [SECTION] <name>"):
//   errors
//   hash tables
//   text
//   A1 references
//   coordinates and rectangles
#include "xls/XlsSupport.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ThrownMessage.h"

namespace qira {
namespace {

using namespace std::string_literals;

// Restores the library-wide code page a test changes.
class XlsCodePage : public ::testing::Test {
 protected:
  void TearDown() override { SetXLSCodePage(saved_); }
  uint32_t saved_ = XLSCodePage();
};

// [SECTION] errors

TEST(XlsError, CarriesTheFixedMessageOfItsCode) {
  const std::pair<int, const char*> cases[] = {
      {1, "Buffer size is too small."},
      {3, "Invalid cell value or type."},
      {5, "Invalid row or column number."},
      {6, "Invalid or duplicated sheet name."},
      {7, "Sheet name must have a length 1..255."},
      {12, "There are no sheets in the workbook."},
      {16, "Invalid data. Error in hyperlink."},
  };
  for (const auto& [code, text] : cases) {
    const EXLSError e(static_cast<uint8_t>(code));
    EXPECT_STREQ(e.what(), text) << code;
    EXPECT_EQ(e.Code(), code);
  }
  EXPECT_EQ(XLSErrorMessage(0), "");
  EXPECT_EQ(XLSErrorMessage(17), "");
}

TEST(XlsError, FormatsArgumentsIntoTheMessageAndTakesAPrefix) {
  EXPECT_STREQ(EXLSError(2, {"Workbook"}).what(),
               "Stream not found: Workbook. File format is not Excel 97 or higher.");
  EXPECT_STREQ(EXLSError(9, {"FOO"}).what(), "Invalid function in formula: FOO.");
  EXPECT_STREQ(EXLSError(9, {}).what(), "Invalid function in formula: .");
  const EXLSError prefixed("Sheet1!A1:", 8);
  EXPECT_STREQ(prefixed.what(), "Sheet1!A1: Invalid formula.");
  EXPECT_EQ(prefixed.Code(), 8);
}

TEST(XlsError, ListIndexTextsNameTheIndex) {
  EXPECT_EQ(ThrownMessage<EListError>([] { RaiseListIndexError(7); }), "List index (7) out of bounds");
  EXPECT_EQ(ThrownMessage<EListError>([] { RaiseListIndexError(-1, true); }), "List index (-1) out of bounds !");
}

// [SECTION] hash tables

TEST(XlsHash, IsTheCrcStartedFromSevenFWithoutFinalInversion) {
  // Expected values from Python's binascii.crc32 (start 0xF0000000, result inverted).
  EXPECT_EQ(XLSKeyHash(""), 0x0FFFFFFFu);
  EXPECT_EQ(XLSKeyHash("a"), 0x17B841BCu);
  EXPECT_EQ(XLSKeyHash("123456789"), 0x2199DFC0u);
  EXPECT_EQ(XLSKeyHash("\x01\x00\x02\x00"s), 0xE98CD718u);
}

// Cell keys are row and column as two little-endian 16-bit words, mostly zero bytes.
TEST(XlsHash, EveryCellKeyOfASheetIsFoundAndNoOtherCell) {
  auto cellKey = [](int row, int column) {
    const char bytes[] = {static_cast<char>(row & 0xFF), static_cast<char>(row >> 8),
                          static_cast<char>(column & 0xFF), static_cast<char>(column >> 8)};
    return std::string(bytes, sizeof bytes);
  };
  std::vector<std::string> keys;
  THashTable table(0x1FFFF, [&keys](int32_t e, std::string& k) { k = keys[e]; });
  for (int row = 0; row < 300; ++row)
    for (int column = 0; column < 20; ++column) {
      keys.push_back(cellKey(row, column));
      table.Insert(static_cast<int32_t>(keys.size() - 1));
    }
  for (int32_t e = 0; e < static_cast<int32_t>(keys.size()); ++e) ASSERT_EQ(table.Find(keys[e]), e);
  EXPECT_EQ(table.Find(cellKey(300, 0)), -1);
  EXPECT_FALSE(table.Found());
  EXPECT_EQ(table.Find(cellKey(0, 20)), -1);
  EXPECT_EQ(table.Find(keys[0].substr(0, 3)), -1) << "a shorter key with the same bytes is another key";
}

TEST(XlsHash, KeysSharingABucketAreAllFound) {
  std::vector<std::string> keys;
  THashTable table(7, [&keys](int32_t e, std::string& k) { k = keys[e]; });
  // Collect keys until three share the bucket of the first.
  const uint32_t bucket = table.BucketOf("k0");
  for (int i = 0; keys.size() < 3; ++i) {
    const std::string k = "k" + std::to_string(i);
    if (table.BucketOf(k) == bucket) {
      keys.push_back(k);
      table.Insert(static_cast<int32_t>(keys.size() - 1));
    }
  }
  for (int32_t e = 0; e < 3; ++e) {
    EXPECT_EQ(table.Find(keys[e]), e);
    EXPECT_TRUE(table.Found());
  }
  table.Remove(1);
  EXPECT_EQ(table.Find(keys[1]), -1);
  EXPECT_FALSE(table.Found());
  EXPECT_EQ(table.Find(keys[2]), 2);
}

TEST(XlsHash, GrowsWithItsEntriesAndKeepsTheFirstOfEqualKeys) {
  std::vector<std::string> keys;
  THashTable table(3, [&keys](int32_t e, std::string& k) { k = keys[e]; });
  for (int i = 0; i < 5000; ++i) {
    keys.push_back("s" + std::to_string(i % 2500));  // every key twice
    table.Insert(i);
  }
  EXPECT_GT(table.BucketCount(), 1000u);
  for (int i = 0; i < 2500; ++i) EXPECT_EQ(table.Find(keys[i]), i);
  table.Remove(7);
  EXPECT_EQ(table.Find(keys[7]), 2507);
}

TEST(XlsHash, ZeroBucketsAreRefused) {
  EXPECT_EQ(ThrownMessage<std::invalid_argument>([] { THashTable t(0, nullptr); }), "Bad hash table size !");
}

TEST(XlsHashedStringList, FindsEqualStringsAndReportsAbsentOnes) {
  THashedStringList list(16383);
  EXPECT_EQ(list.Add("alpha"), 0);
  EXPECT_EQ(list.Add("beta"), 1);
  EXPECT_EQ(list.IndexOf("beta"), 1);
  EXPECT_TRUE(list.Found());
  EXPECT_EQ(list.IndexOf("gamma"), -1);
  EXPECT_FALSE(list.Found());
  EXPECT_EQ(list.IndexOf("Alpha"), -1);  // byte-exact
  EXPECT_EQ(list.IndexOf("alpha\0"s), -1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(1), "beta");
  EXPECT_THROW(list.Strings(2), EListError);
}

TEST(XlsHashedList, KeepsOrderAndFindsItemsByKey) {
  struct TItem {
    std::string key;
  };
  THashedList<TItem> list(0x1FFFF, [](const TItem& i, std::string& k) { k = i.key; });
  list.Add(std::make_unique<TItem>(TItem{"b"}));
  list.Add(std::make_unique<TItem>(TItem{"a"}));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(0).key, "b");
  EXPECT_EQ(list.IndexOf("a"), 1);
  ASSERT_NE(list.Find("b"), nullptr);
  EXPECT_EQ(list.Find("b")->key, "b");
  EXPECT_EQ(list.Find("c"), nullptr);
  EXPECT_EQ(ThrownMessage<EListError>([&] { list.Item(2); }), "List index (2) out of bounds");
}

TEST(XlsAnsiStringList, SortsByBytesAndFindsTheFirstMatch) {
  TAnsiStringList list;
  list.Add("b");
  list.Add("B");
  list.Add("\xE9");
  list.Add("a");
  list.Add("a");
  EXPECT_EQ(list.IndexOf("a"), 3);
  list.Sort();
  EXPECT_EQ(list.Strings(0), "B");
  EXPECT_EQ(list.Strings(1), "a");
  EXPECT_EQ(list.Strings(3), "b");
  EXPECT_EQ(list.Strings(4), "\xE9");
  EXPECT_EQ(list.IndexOf("x"), -1);
}

TEST(XlsStack, PopsInReverseOrderAndGivesNullWhenEmpty) {
  int a = 1, b = 2;
  TStack<int> stack;
  stack.Push(&a);
  stack.Push(&b);
  EXPECT_EQ(stack.Peek(), &b);
  EXPECT_EQ(stack.Pop(), &b);
  EXPECT_EQ(stack.Pop(), &a);
  EXPECT_EQ(stack.Pop(), nullptr);
  EXPECT_EQ(stack.Count(), 0);
}

TEST(XlsEasyStream, WritesLittleEndianAndRefusesShortReads) {
  TEasyStream s;
  s.WriteByte(0x01);
  s.WriteWord(0x0302);
  s.WriteDWord(0x07060504);
  EXPECT_EQ(s.Data(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(s.Seek(1));
  std::string out = "unchanged";
  EXPECT_FALSE(s.ReadString(out, 7));
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(s.BytesRemaining(), 6);
  EXPECT_TRUE(s.ReadString(out, 6));
  EXPECT_EQ(out, "\x02\x03\x04\x05\x06\x07");
  EXPECT_FALSE(s.ReadString(out, -1));
}

// [SECTION] text

TEST_F(XlsCodePage, Windows1252TextConvertsToUtf16) {
  SetXLSCodePage(1252);
  EXPECT_EQ(AnsiToWide("A\x80\xE9"), u"A\u20AC\u00E9");
  EXPECT_EQ(AnsiToUtf16Bytes("A\x80"), "A\0\xAC\x20"s);
  EXPECT_EQ(AnsiToWide(""), u"");
}

TEST_F(XlsCodePage, UnconvertibleTextGivesAnEmptyResult) {
  SetXLSCodePage(65001);
  EXPECT_EQ(AnsiToWide("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(AnsiToWide("ok\xFF"), u"");
  SetXLSCodePage(20127);
  EXPECT_EQ(AnsiToWide("abc"), u"abc");
  EXPECT_EQ(AnsiToWide("ab\xE9"), u"");
  SetXLSCodePage(932);  // not supported here
  EXPECT_EQ(AnsiToWide("abc"), u"");
}

TEST_F(XlsCodePage, SharedStringsKeepEightBitBytesWhenEveryHighByteIsZero) {
  SetXLSCodePage(1252);
  EXPECT_EQ(SharedStringBytes("abc"), "\0abc"s);
  EXPECT_EQ(SharedStringBytes("caf\xE9"), "\0caf\xE9"s);
  // The euro sign of Windows-1252 is U+20AC: the whole text goes as UTF-16.
  EXPECT_EQ(SharedStringBytes("a\x80"), "\x01"s + "a\0\xAC\x20"s);
}

TEST(XlsText, Utf16BytesRoundTrip) {
  EXPECT_EQ(WideToUtf16Bytes(u"A\u20AC"), "A\0\xAC\x20"s);
  EXPECT_EQ(Utf16BytesToWide("A\0\xAC\x20\x41"s), u"A\u20AC");  // odd last byte dropped
  EXPECT_EQ(Utf8ToWide("x\U0001F600"), u"x\U0001F600");
  EXPECT_EQ(WideToUtf8(u"x\U0001F600\u00E9"), "x\U0001F600\u00E9");
  EXPECT_EQ(Utf8ToWide("a\xFF"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t{0xD800})), "\uFFFD");
}

TEST(XlsText, ReplaceAllDoesNotRescanTheReplacement) {
  EXPECT_EQ(ReplaceAll(u"aaa", u"aa", u"a"), u"aa");
  EXPECT_EQ(ReplaceAll(u"a-b-c", u"-", u"--"), u"a--b--c");
  EXPECT_EQ(ReplaceAll(u"Abc", u"a", u"x"), u"Abc");
  EXPECT_EQ(ReplaceAll(u"abc", u"", u"x"), u"abc");
}

TEST(XlsText, CaseConversionIsCharacterWiseAndKeepsZeroBytes) {
  EXPECT_EQ(XLSUpperCase("ab\0\xE9\xFF\xF7"s), "AB\0\xC9\x9F\xF7"s);
  EXPECT_EQ(XLSLowerCase("AB\0\xC9\x9F\xD7"s), "ab\0\xE9\xFF\xD7"s);
}

// [SECTION] A1 references

TEST(XlsReferences, ColumnLettersAreBase26FromA) {
  const std::pair<const char*, int> valid[] = {{"A", 0}, {"Z", 25}, {"AA", 26}, {"ab", 27}, {"IV", 255}};
  for (const auto& [text, col] : valid) {
    int c = -1;
    EXPECT_TRUE(ColumnLettersToIndex(text, c)) << text;
    EXPECT_EQ(c, col) << text;
  }
  for (const char* text : {"", "A1", "IW", "ZZZZZZZZZZZZ", "$A"}) {
    int c = -1;
    EXPECT_FALSE(ColumnLettersToIndex(text, c)) << text;
    EXPECT_EQ(c, -1);
  }
}

TEST(XlsReferences, CellReferencesCarryTheirAbsoluteFlags) {
  struct Case {
    const char* text;
    int row, col, flags;
  } cases[] = {
      {"$B$3", 2, 1, 3}, {"b3", 2, 1, 0}, {"$A1", 0, 0, 1}, {"A$1", 0, 0, 2}, {"IV65536", 65535, 255, 0},
  };
  for (const Case& c : cases) {
    TCellRef ref;
    ASSERT_TRUE(ParseCellRef(c.text, ref)) << c.text;
    EXPECT_EQ(ref.Row, c.row) << c.text;
    EXPECT_EQ(ref.Col, c.col) << c.text;
    EXPECT_EQ(ref.Flags, c.flags) << c.text;
  }
  for (const char* text : {"1A", "A", "A0", "A65537", "B$", "$$B3", "A1x", "A-1", "", "A999999999999"}) {
    TCellRef ref;
    EXPECT_FALSE(ParseCellRef(text, ref)) << text;
  }
}

TEST(XlsReferences, RangesJoinTwoCellsOrRepeatOne) {
  TRangeRect r;
  ASSERT_TRUE(ParseRangeRef("A1:$C$5", r));
  EXPECT_EQ(r, (TRangeRect{0, 4, 0, 2, 3 << 2}));
  ASSERT_TRUE(ParseRangeRef("$B2", r));
  EXPECT_EQ(r, (TRangeRect{1, 1, 1, 1, 1 | (1 << 2)}));
  EXPECT_FALSE(ParseRangeRef("A1:", r));
  EXPECT_FALSE(ParseRangeRef("A1:B2:C3", r));
}

// [SECTION] coordinates and rectangles

TEST(XlsCoordinates, PackRowLowAndColumnHigh) {
  TCellCoords coords;
  coords.Add(0x1234, 0x56);
  EXPECT_EQ(coords.Item(0), 0x00561234u);
  EXPECT_THROW(coords.Item(1), EListError);
  // Row 65536 is refused instead of wrapping onto row 0.
  for (auto [row, col] : {std::pair{65536, 0}, std::pair{-1, 0}, std::pair{0, 256}}) {
    EXPECT_THROW(coords.Add(row, col), EXLSError);
    EXPECT_THROW(TRangeRects().Add(row, row, col, col), EXLSError);
  }
  EXPECT_EQ(coords.Count(), 1);
}

TEST(XlsCoordinates, RectanglesCopyFromAnotherListAndFromThemselves) {
  TRangeRects rects;
  rects.Add(1, 2, 3, 4);
  EXPECT_EQ(rects.Item(0).Flags, 0);
  rects.AddAll(rects);
  ASSERT_EQ(rects.Count(), 2);
  EXPECT_EQ(rects.Item(1), rects.Item(0));
  EXPECT_THROW(rects.Item(2), EListError);
}

}  // namespace
}  // namespace qira

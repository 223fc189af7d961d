// Sections (each begins at a line "// [SECTION] <name>"):
//   interning
//   number formats
//   palette
//   FONT and XF packing
//   size conversions
#include "xls/XlsFormats.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ThrownMessage.h"

namespace qira {
namespace {

using namespace std::string_literals;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

uint16_t WordAt(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

// [SECTION] interning

TEST(XlsInterning, NewTablesHoldOneDefaultFontAndOneDefaultFormat) {
  TVirtualFontTable fonts;
  TVirtualXFTable xfs;
  ASSERT_EQ(fonts.Count(), 1);
  ASSERT_EQ(xfs.Count(), 1);
  EXPECT_EQ(fonts.Item(0).GetName(), u"Arial");
  EXPECT_EQ(fonts.Item(0).Height, 10);
  EXPECT_EQ(xfs.Item(0), TXFRecord());
}

TEST(XlsInterning, EqualRecordsShareOneIndexAndAnUnchangedRecordKeepsIt) {
  TVirtualXFTable xfs;
  xfs.GetRecord(0).HorizontalAlignment = 3;
  const int32_t right = xfs.StoreRecord();
  EXPECT_EQ(right, 1);
  xfs.GetRecord(0).HorizontalAlignment = 3;
  EXPECT_EQ(xfs.StoreRecord(), right);
  xfs.GetRecord(right);
  EXPECT_EQ(xfs.StoreRecord(), right);  // nothing changed
  xfs.GetRecord(right).HorizontalAlignment = 0;
  EXPECT_EQ(xfs.StoreRecord(), 0);  // back to the default record
  EXPECT_EQ(xfs.Count(), 2);
}

TEST(XlsInterning, FetchingOutsideTheTableIsAListError) {
  TVirtualXFTable xfs;
  EXPECT_EQ(ThrownMessage<EListError>([&] { xfs.GetRecord(1); }), "List index (1) out of bounds");
  TVirtualFontTable fonts;
  EXPECT_THROW(fonts.GetRecord(-1), EListError);
}

TEST(XlsInterning, RecordsKeepTheirByteLayout) {
  TXFRecord xf;
  xf.FontIndex = 0x0102;
  xf.NumberFormat = 35;
  xf.BorderColor = {1, 2, 3, 4};
  xf.BorderStyle = {5, 6, 7, 8};
  const std::string b = xf.Pack();
  ASSERT_EQ(b.size(), 23u);
  EXPECT_EQ(b.substr(0, 4), Bytes({0x02, 0x01, 35, 0}));
  EXPECT_EQ(b.substr(4, 9), Bytes({0, 2, 0, 0, 0, 57, 58, 0, 0}));
  EXPECT_EQ(b.substr(13, 10), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 0, 1}));
  EXPECT_EQ(TXFRecord::Unpack(b), xf);

  TFontRecord font;
  const std::string f = font.Pack();
  ASSERT_EQ(f.size(), 209u);
  EXPECT_EQ(f.substr(0, 9), Bytes({0, 0, 0, 0, 0, 0, 57, 10, 0}));
  EXPECT_EQ(f.substr(9, 12), "A\0r\0i\0a\0l\0\0\0"s);
}

TEST(XlsInterning, FontNamesAreCutAtOneHundredCharacters) {
  TFontRecord font;
  font.SetName(std::u16string(120, u'x'));
  EXPECT_EQ(font.GetName(), std::u16string(100, u'x'));
  font.SetName(u"Courier");
  EXPECT_EQ(font.GetName(), u"Courier");
  EXPECT_EQ(font.Name[7], 0);
  EXPECT_EQ(font.Name[99], 0);
}

// [SECTION] number formats

TEST(XlsNumberFormats, BuiltInsKeepTheirListIndexesAndIds) {
  TFormatStrings formats;
  ASSERT_EQ(formats.Count(), 36);
  struct Case {
    int index;
    uint16_t id;
    std::u16string format;
  } cases[] = {
      {0, 0, u"General"},
      {2, 2, u"0.00"},
      {4, 5, u"($#,##0_);($#,##0)"},
      {10, 11, u"0.00E+00"},
      {12, 13, u"# ??" u"/??"},
      {13, 14, u"mm/dd/yy"},
      {22, 42, u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
      {25, 43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
      {26, 4, u"#,##0.00"},
      {35, 49, u"@"},
  };
  for (const Case& c : cases) {
    const TFormatString f = formats.GetFormat(c.index);
    EXPECT_EQ(f.Id, c.id) << c.index;
    EXPECT_TRUE(f.Format == c.format) << c.index;
  }
  EXPECT_EQ(formats.MaxId(), 49);
  EXPECT_EQ(ThrownMessage<EListError>([&] { formats.GetFormat(36); }), "List index (36) out of bounds");
}

// [SECTION] palette

TEST(XlsPalette, HoldsTheFiftySixDefaultColoursAndBlack) {
  TXLPalette palette;
  ASSERT_EQ(palette.Count(), 57);
  EXPECT_EQ(palette.Color(0), clBlack);
  EXPECT_EQ(palette.Color(1), clWhite);
  EXPECT_EQ(palette.Color(2), clRed);
  EXPECT_EQ(palette.Color(15), clGray);           // index 23
  EXPECT_EQ(palette.Color(16), MakeColor(0x99, 0x99, 0xFF));  // index 24
  EXPECT_EQ(palette.Color(55), MakeColor(0x33, 0x33, 0x33));  // index 63
  EXPECT_EQ(palette.Color(56), clBlack);
  EXPECT_THROW(palette.Color(57), EListError);
}

TEST(XlsPalette, NearestColourIsTheFirstOfTheClosest) {
  TXLPalette palette;
  EXPECT_EQ(palette.NearestColor(clBlack), 1);
  EXPECT_EQ(palette.NearestColor(clWhite), 2);
  EXPECT_EQ(palette.NearestColor(clRed), 3);
  EXPECT_EQ(palette.NearestColor(MakeColor(250, 5, 5)), 3);
  EXPECT_EQ(palette.NearestColor(clBlue), 5);
  EXPECT_EQ(palette.NearestColor(0x01000000u | clWhite), 2);  // the high byte is ignored
  EXPECT_EQ(palette.NearestColor(0xFF000005u), 2);            // the window colour is white
  EXPECT_EQ(NearestDefaultColor(clBlack), 1);
  EXPECT_EQ(NearestDefaultColor(MakeColor(0x33, 0x33, 0x99)), 55);
}

TEST(XlsPalette, PaletteNumbersMapToColourIndexes) {
  EXPECT_EQ(ColorIndexOf(1), 8);
  EXPECT_EQ(ColorIndexOf(56), 63);
  EXPECT_EQ(ColorIndexOf(kAutoForeground), 64);
  EXPECT_EQ(ColorIndexOf(kAutoBackground), 65);
}

// [SECTION] FONT and XF packing

TEST(XlsPacking, TheDefaultFontPacksAsArialTenPoints) {
  EXPECT_EQ(PackFont(TFontRecord()),
            Bytes({0xC8, 0, 0, 0, 0x40, 0, 0x90, 0x01, 0, 0, 0, 0, 0x01, 0, 0x05, 0x01}) + "A\0r\0i\0a\0l\0"s);
}

TEST(XlsPacking, FontOptionsWeightScriptAndUnderline) {
  TFontRecord font;
  font.Bold = 1;
  font.Italic = 1;
  font.Strikeout = 1;
  font.Script = 2;
  font.Color = 3;
  font.Height = 12;
  font.SetName(u"Ab");
  const std::string b = PackFont(font);
  ASSERT_EQ(b.size(), 20u);
  EXPECT_EQ(WordAt(b, 0), 240);
  EXPECT_EQ(WordAt(b, 2), 10);
  EXPECT_EQ(WordAt(b, 4), 10);
  EXPECT_EQ(WordAt(b, 6), 700);
  EXPECT_EQ(WordAt(b, 8), 2);
  const std::pair<std::pair<int, int>, int> underline[] = {
      {{0, 0}, 0x00}, {{1, 0}, 0x01}, {{0, 2}, 0x02}, {{0, 3}, 0x21}, {{1, 4}, 0x22}, {{1, 2}, 0x02},
  };
  for (const auto& [input, expected] : underline) {
    font.Underline = static_cast<uint8_t>(input.first);
    font.UnderlineKind = static_cast<uint8_t>(input.second);
    EXPECT_EQ(static_cast<uint8_t>(PackFont(font)[10]), expected) << input.first << "," << input.second;
  }
}

TEST(XlsPacking, TheDefaultFormatPacksAsTheFileFormatDefault) {
  EXPECT_EQ(PackXF(TXFRecord()),
            Bytes({0, 0, 0, 0, 0x01, 0, 0x20, 0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20}));
}

TEST(XlsPacking, SolidFillsPutTheFillColourFirst) {
  TXFRecord xf;
  xf.FillPattern = 1;
  xf.FillColor = 10;
  EXPECT_EQ(WordAt(PackXF(xf), 18), 0x2011);  // 17 | 64 << 7
  xf.FillPattern = 2;
  EXPECT_EQ(WordAt(PackXF(xf), 18), 0x40 | (17 << 7));
  const std::string b = PackXF(xf);
  EXPECT_EQ(static_cast<uint8_t>(b[17]) >> 2, 2);  // pattern in bits 26-31
}

TEST(XlsPacking, BorderColoursAreWrittenOnlyForSidesWithALine) {
  TXFRecord xf;
  xf.BorderColor = {1, 2, 3, 4};
  xf.BorderStyle = {1, 0, 2, 0};
  const std::string b = PackXF(xf);
  EXPECT_EQ(WordAt(b, 10), 0x0201);
  EXPECT_EQ(WordAt(b, 12), 8);  // left colour index 8, right none
  EXPECT_EQ(WordAt(b, 14), 10);  // top 10, bottom none
  EXPECT_EQ(WordAt(b, 16), 0);
}

TEST(XlsPacking, AlignmentIndentMergeAndStyleBits) {
  TXFRecord xf;
  xf.HorizontalAlignment = 3;
  xf.WrapText = 1;
  xf.VerticalAlignment = 1;
  xf.Rotation = 90;
  xf.Indent = 15;
  xf.Merged = 1;
  xf.Locked = 0;
  xf.StyleFormat = 1;
  const std::string b = PackXF(xf);
  EXPECT_EQ(WordAt(b, 4), 0xFFF4);
  EXPECT_EQ(WordAt(b, 6), 3 | 8 | 0x10 | (90 << 8));
  EXPECT_EQ(WordAt(b, 8), 15 | 0x20 | 0x400);
}

// [SECTION] size conversions

class XlsSizes : public ::testing::Test {
 protected:
  void TearDown() override { SetXLSScreenPixelsPerInch(saved_); }
  int saved_ = XLSScreenPixelsPerInch();
};

TEST_F(XlsSizes, At96DotsPerInchAColumnCharacterIsSevenPixels) {
  SetXLSScreenPixelsPerInch(96);
  EXPECT_DOUBLE_EQ(ColumnWidthToPixels(14.0), 103.0);
  EXPECT_DOUBLE_EQ(ColumnWidthToPixels(0.5), 0.5 / 0.0834);
  EXPECT_DOUBLE_EQ(PixelsToColumnWidth(64), 59.0 / 7.0);
  EXPECT_DOUBLE_EQ(PixelsToColumnWidth(11), 11 * 0.0834);
  EXPECT_EQ(ColumnWidthTo256ths(14.0), 3767);
  EXPECT_DOUBLE_EQ(RowPixelsToPoints(17), 12.75);
  EXPECT_DOUBLE_EQ(RowPointsToPixels(15), 20);
  EXPECT_EQ(DefaultColumnWidthPixels(), 64);
  EXPECT_EQ(DefaultRowHeightPixels(), 17);
}

TEST_F(XlsSizes, OtherResolutionsUseTheLargerConstants) {
  SetXLSScreenPixelsPerInch(120);
  EXPECT_DOUBLE_EQ(ColumnWidthToPixels(14.0), 133.0);
  EXPECT_EQ(ColumnWidthTo256ths(14.0), 3783);  // 133 / 9 * 256 = 3783.1
  EXPECT_DOUBLE_EQ(PixelsToColumnWidth(80), 73.0 / 9.0);
  EXPECT_DOUBLE_EQ(RowPixelsToPoints(22), 13.2);
  EXPECT_EQ(DefaultColumnWidthPixels(), 80);
  EXPECT_EQ(DefaultRowHeightPixels(), 22);
}

}  // namespace
}  // namespace qira

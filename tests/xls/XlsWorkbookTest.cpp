// Sections (each begins at a line "// [SECTION] <name>"):
//   file object and sheets
//   the section export's road
//   pending items
//   positions
//   values
//   format setters
//   rows and columns reach their cells
#include "xls/XlsWorkbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

#include "support/ThrownMessage.h"

namespace qira {
namespace {

// Every test starts from a new file object at 96 dots per inch.
class XlsWorkbook : public ::testing::Test {
 protected:
  void SetUp() override { SetXLSScreenPixelsPerInch(96); }
  void TearDown() override {
    SetXLSScreenPixelsPerInch(savedDpi_);
    SetXLSCodePage(savedCodePage_);
  }

  TSheet& Sheet() { return file_.Workbook().Sheets().Items(0); }
  TCells& Cells() { return Sheet().Cells(); }
  TColumns& Columns() { return Sheet().Columns(); }
  TRows& Rows() { return Sheet().Rows(); }
  uint8_t ErrorCode(const std::function<void()>& call) {
    try {
      call();
    } catch (const EXLSError& e) {
      return e.Code();
    }
    ADD_FAILURE() << "no EXLSError";
    return 0;
  }

  int savedDpi_ = XLSScreenPixelsPerInch();
  uint32_t savedCodePage_ = XLSCodePage();
  TXLSFile file_;
};

// [SECTION] file object and sheets

TEST_F(XlsWorkbook, ANewFileHoldsOneSelectedSheetNamedSheet1) {
  TSheets& sheets = file_.Workbook().Sheets();
  ASSERT_EQ(sheets.Count(), 1);
  EXPECT_TRUE(sheets.Items(0).Name() == u"Sheet1");
  EXPECT_TRUE(sheets.Items(0).Selected);
  EXPECT_EQ(sheets.Items(0).Index(), 0);
  EXPECT_EQ(file_.OptionFlags, (std::array<uint8_t, 7>{1, 1, 1, 1, 0, 1, 0}));
  EXPECT_FALSE(file_.OmitBuiltInFormats());
  EXPECT_EQ(file_.CodePage(), 1252u);
  EXPECT_EQ(file_.ListSeparator(), ',');
  EXPECT_FALSE(file_.Workbook().IsProtected());
  EXPECT_EQ(file_.Workbook().FontTable().Count(), 1);
  EXPECT_EQ(file_.Workbook().XFTable().Count(), 1);
}

TEST_F(XlsWorkbook, AWorkbookNamesItsSheetsByNumber) {
  TWorkbook book(3);
  ASSERT_EQ(book.Sheets().Count(), 3);
  EXPECT_TRUE(book.Sheets().Items(2).Name() == u"Sheet3");
  EXPECT_EQ(book.Sheets().Items(2).Index(), 2);
  EXPECT_FALSE(book.Sheets().Items(1).Selected);
  EXPECT_EQ(TWorkbook(0).Sheets().Count(), 0);
}

TEST_F(XlsWorkbook, TheFileObjectSetsTheLibraryCodePageAndSeparator) {
  file_.SetCodePage(65001);
  EXPECT_EQ(XLSCodePage(), 65001u);
  file_.SetListSeparator(';');
  EXPECT_EQ(XLSListSeparator(), ';');
  TXLSFile second;
  EXPECT_EQ(XLSCodePage(), 1252u);
  EXPECT_EQ(XLSListSeparator(), ',');
}

TEST_F(XlsWorkbook, SheetIndexesOutsideTheListAreRangeErrors) {
  EXPECT_EQ(ThrownMessage<EListError>([&] { file_.Workbook().Sheets().Items(1); }),
            "List index (1) out of bounds !");
  EXPECT_EQ(ThrownMessage<EListError>([&] { file_.Workbook().Sheets().Items(-1); }),
            "List index (-1) out of bounds !");
}

TEST_F(XlsWorkbook, SheetNamesAreCheckedForLengthBlanksAndDuplicates) {
  TSheets& sheets = file_.Workbook().Sheets();
  struct Case {
    std::u16string name;
    uint8_t code;
  } cases[] = {
      {u"", 7},
      {std::u16string(256, u'a'), 7},
      {u"   ", 6},
      {u"Sheet1", 6},  // taken by the first sheet
      {std::u16string(255, u'a'), 0},
      {u"sheet1", 0},  // case-sensitive
      {u" 12.5 kHz ", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(sheets.CheckName(c.name), c.code) << c.name.size();
  EXPECT_EQ(ErrorCode([&] { Sheet().SetName(u""); }), 7);
  Sheet().SetName(u"Sheet1");  // a sheet may keep its own name
  Sheet().SetName(u"12.5 kHz");
  EXPECT_TRUE(Sheet().Name() == u"12.5 kHz");
  EXPECT_EQ(ErrorCode([&] { sheets.Add(u"12.5 kHz"); }), 6);
  EXPECT_EQ(ErrorCode([&] { sheets.Add(u"   "); }), 6);
  EXPECT_EQ(sheets.Count(), 1);
  TSheet& second = sheets.Add(u"Second");
  EXPECT_EQ(second.Index(), 1);
  EXPECT_EQ(ErrorCode([&] { second.SetName(u"12.5 kHz"); }), 6);
  EXPECT_EQ(sheets.FindByName(u"Second"), &second);
  EXPECT_EQ(sheets.FindByName(u"second"), nullptr);
  Sheet().SetNameUtf8("Frequenz \xC3\xA4");
  EXPECT_TRUE(Sheet().Name() == u"Frequenz \u00E4");
}

// [SECTION] the section export's road

TEST_F(XlsWorkbook, TheSectionExportRoadGivesFormattedColumnsHeadersAndValues) {
  Sheet().SetName(u"12.5 kHz");
  for (int c = 0; c < 4; ++c) Columns().Items(c).SetWidth(14.0);
  for (int c = 0; c < 3; ++c) Columns().Items(c).SetNumberFormat(2);
  Columns().Items(3).SetNumberFormat(10);
  for (int c = 0; c < 4; ++c) Columns().Items(c).SetHorizontalAlignment(3);
  const char* headers[] = {"NORTHING", "EASTING", "ELEVATION", "VALUE"};
  for (int c = 0; c < 4; ++c) {
    Cells().Items(0, c).SetNumberFormat(35);
    Cells().Items(0, c).SetValueUtf8(headers[c]);
  }
  // The fifth column of logarithms: its alignment comes after the header cell.
  Columns().Items(4).SetWidth(14.0);
  Columns().Items(4).SetNumberFormat(10);
  Cells().Items(0, 4).SetNumberFormat(35);
  Cells().Items(0, 4).SetValueUtf8("LOG10");
  Columns().Items(4).SetHorizontalAlignment(3);
  for (int r = 1; r <= 3; ++r)
    for (int c = 0; c < 5; ++c) Cells().Items(r, c).SetValue(r * 10.0 + c);

  ASSERT_EQ(Columns().Count(), 5);
  for (int c = 0; c < 5; ++c) {
    TColumn& col = Columns().GetColumn(c);
    EXPECT_EQ(col.Index(), c);
    EXPECT_EQ(col.GetWidthPixels(), 103);
    EXPECT_DOUBLE_EQ(col.Width(), 14.0);
    EXPECT_EQ(col.GetHorizontalAlignment(), 3);
    EXPECT_EQ(col.GetNumberFormat(), c < 3 ? 2 : 10);
  }
  ASSERT_EQ(Cells().Count(), 20);
  const int32_t headerFormat = Cells().Find(0, 0)->FormatIndex();
  for (int c = 0; c < 5; ++c) {
    TCell& header = *Cells().Find(0, c);
    EXPECT_EQ(header.FormatIndex(), headerFormat) << c;
    EXPECT_EQ(header.GetNumberFormat(), 35);
    EXPECT_EQ(header.GetHorizontalAlignment(), 3);
    EXPECT_EQ(header.Value().Kind(), varOleStr);
  }
  EXPECT_TRUE(Cells().Find(0, 2)->Value().AsWide() == u"ELEVATION");
  for (int c = 0; c < 5; ++c) {
    TCell& data = *Cells().Find(2, c);
    EXPECT_EQ(data.FormatIndex(), Columns().Find(c)->FormatIndex()) << c;
    EXPECT_EQ(data.Value().Kind(), varDouble);
    EXPECT_DOUBLE_EQ(data.Value().AsDouble(), 20.0 + c);
  }
  // Interned: default, {2}, {10}, {2 right}, {10 right}, {35 right} and the
  // fifth header's passing {35}.
  EXPECT_EQ(file_.Workbook().XFTable().Count(), 7);
  uint16_t r1, c1, r2, c2;
  ASSERT_TRUE(Sheet().GetUsedRange(r1, c1, r2, c2));
  EXPECT_EQ(r1, 0);
  EXPECT_EQ(c1, 0);
  EXPECT_EQ(r2, 3);
  EXPECT_EQ(c2, 4);
}

// [SECTION] pending items

TEST_F(XlsWorkbook, ReadingAnEmptyCellStoresNothing) {
  TCell& first = Cells().Items(1, 2);
  EXPECT_EQ(first.GetNumberFormat(), 0);
  EXPECT_EQ(Cells().Count(), 0);
  EXPECT_EQ(Cells().Pending(), &first);
  EXPECT_EQ(&Cells().Items(1, 2), &first);  // asked again: the same pending cell
  Cells().Items(3, 4);
  EXPECT_NE(Cells().Pending(), nullptr);
  EXPECT_EQ(Cells().Count(), 0);
  EXPECT_FALSE(Cells().Exists(1, 2));
  uint16_t a, b, c, d;
  EXPECT_FALSE(Sheet().GetUsedRange(a, b, c, d));
}

TEST_F(XlsWorkbook, AnEmptyValueStoresNothingButAnEqualValueStoresThePendingCell) {
  Cells().Items(0, 0).SetValue(TVariant());
  EXPECT_EQ(Cells().Count(), 0);
  TCell& cell = Cells().Items(0, 0);
  cell.SetValue(TVariant());  // equal to the empty value
  EXPECT_EQ(Cells().Count(), 0);
  cell.SetValue(TVariant::Null());
  EXPECT_EQ(Cells().Count(), 1);
  EXPECT_TRUE(cell.Inserted());
  EXPECT_EQ(Cells().Pending(), nullptr);
  EXPECT_EQ(Cells().IndexOfItem(cell), 0);
  EXPECT_EQ(&Cells().Items(0, 0), &cell);
}

TEST_F(XlsWorkbook, AskingForAColumnToReadItsWidthStoresNothing) {
  TColumn& col = Columns().Items(7);
  EXPECT_EQ(col.GetWidthPixels(), 64);
  EXPECT_DOUBLE_EQ(col.Width(), 59.0 / 7.0);
  col.SetWidth(59.0 / 7.0);  // equal: no change
  EXPECT_EQ(Columns().Count(), 0);
  EXPECT_FALSE(col.SizeSet());
  col.SetWidth(10.0);
  EXPECT_EQ(Columns().Count(), 1);
  EXPECT_EQ(col.GetWidthPixels(), 75);
  EXPECT_TRUE(col.SizeSet());
  EXPECT_TRUE(col.CustomSize());
  col.SetDefaultWidth();
  EXPECT_EQ(col.GetWidthPixels(), 64);
}

TEST_F(XlsWorkbook, RowsMeasureInPoints) {
  TRow& row = Rows().Items(4);
  EXPECT_EQ(row.GetHeightPixels(), 17);
  EXPECT_DOUBLE_EQ(row.Height(), 12.75);
  row.SetHeight(15.0);
  EXPECT_EQ(row.GetHeightPixels(), 20);
  EXPECT_EQ(Rows().Count(), 1);
  row.SetHidden(true);
  EXPECT_EQ(row.GetHeightPixels(), 0);
  row.SetHidden(false);
  EXPECT_EQ(row.GetHeightPixels(), 20);
  row.SetOutlineLevel(9);
  EXPECT_EQ(row.OutlineLevel(), 7);
  row.SetDefaultHeight();
  EXPECT_EQ(row.GetHeightPixels(), 17);
}

TEST_F(XlsWorkbook, WidthsRoundHalvesToEven) {
  TColumn& col = Columns().Items(0);
  col.SetWidth(14.5);  // 106.5 pixels
  EXPECT_EQ(col.GetWidthPixels(), 106);
  col.SetWidth(15.5);  // 113.5 pixels
  EXPECT_EQ(col.GetWidthPixels(), 114);
}

// [SECTION] positions

TEST_F(XlsWorkbook, CellPositionsOutsideTheSheetRaiseCode5) {
  EXPECT_EQ(ErrorCode([&] { Cells().Items(0, 256); }), 5);
  EXPECT_EQ(ErrorCode([&] { Cells().Items(-1, 0); }), 5);
  EXPECT_EQ(ErrorCode([&] { Cells().Items(65536, 0); }), 5);
  EXPECT_EQ(ErrorCode([&] { Columns().Items(256); }), 5);
  EXPECT_EQ(ErrorCode([&] { Rows().Items(70000); }), 5);
  TCell& last = Cells().Items(65535, 255);
  EXPECT_EQ(last.Row(), 65535);
  EXPECT_EQ(last.Col(), 255);
  EXPECT_EQ(Cells().Find(0, 256), nullptr);
  EXPECT_EQ(ThrownMessage<EListError>([&] { Cells().GetCell(0); }), "List index (0) out of bounds");
  EXPECT_THROW(Columns().GetColumn(-1), EListError);
  EXPECT_THROW(Rows().GetRow(0), EListError);
}

// [SECTION] values

TEST_F(XlsWorkbook, UnsupportedValueKindsAndOverlongStringsRaiseCode3) {
  TCell& cell = Cells().Items(0, 0);
  cell.SetValue(1.5);
  for (uint16_t kind : std::initializer_list<uint16_t>{varDispatch, varVariant, varUnknown, varUInt64, uint16_t{0x2000}})
    EXPECT_EQ(ErrorCode([&] { cell.SetValue(TVariant::OfKind(kind)); }), 3) << kind;
  // Error values: only those of the file format.
  EXPECT_EQ(ErrorCode([&] { cell.SetValue(TVariant::Error(0x99)); }), 3);
  EXPECT_EQ(ErrorCode([&] { cell.SetValue(TVariant::OleStr(std::u16string(65536, u'x'))); }), 3);
  EXPECT_EQ(ErrorCode([&] { cell.SetValue(TVariant::AnsiString(std::string(65536, 'x'))); }), 3);
  EXPECT_DOUBLE_EQ(cell.Value().AsDouble(), 1.5);  // unchanged by the failures
  cell.SetValue(TVariant::UString(std::u16string(65535, u'x')));
  EXPECT_EQ(cell.Value().StringLength(), 65535u);
}

TEST_F(XlsWorkbook, EveryAcceptedKindStoresTheCell) {
  const TVariant values[] = {
      TVariant::Null(),        TVariant::Smallint(-2),   TVariant::Integer(7),     TVariant::Single(0.5f),
      TVariant::Double(2.5),   TVariant::Currency(12345), TVariant::Date(40000),   TVariant::OleStr(u"w"),
      TVariant::Boolean(true), TVariant::ShortInt(-1),   TVariant::Byte(200),      TVariant::Word(60000),
      TVariant::LongWord(4000000000u), TVariant::Int64(-5), TVariant::AnsiString("a"), TVariant::UString(u"u"),
      TVariant::Error(0x07),
  };
  int col = 0;
  for (const TVariant& v : values) {
    Cells().Items(0, col).SetValue(v);
    EXPECT_EQ(Cells().Count(), col + 1) << v.Kind();
    EXPECT_TRUE(Cells().Find(0, col)->Value() == v);
    ++col;
  }
  EXPECT_DOUBLE_EQ(Cells().Find(0, 5)->Value().AsDouble(), 1.2345);
}

TEST_F(XlsWorkbook, ADateGivesAnUnformattedCellTheDateFormat) {
  TCell& plain = Cells().Items(0, 0);
  plain.SetValue(TVariant::Date(45000.25));
  EXPECT_EQ(plain.GetNumberFormat(), 13);
  TCell& formatted = Cells().Items(0, 1);
  formatted.SetNumberFormat(15);
  formatted.SetValue(TVariant::Date(45000.25));
  EXPECT_EQ(formatted.GetNumberFormat(), 15);
  plain.SetNumberFormat(0);
  plain.SetValue(TVariant::Date(1.0));  // the old value was a date already
  EXPECT_EQ(plain.GetNumberFormat(), 0);
}

TEST_F(XlsWorkbook, TaggedPropertiesAreReadUpToTheNextMarker) {
  TCell& cell = Cells().Items(0, 0);
  const std::string m(TCell::PropertyMarker);
  cell.SetPropertyString(m + "F" + m + "SUM(A1:A3)" + m + "L" + m + "\x02");
  EXPECT_EQ(cell.GetProperty("F"), "SUM(A1:A3)");
  EXPECT_EQ(cell.GetProperty("L"), "\x02");
  EXPECT_EQ(cell.GetProperty("H"), "");
  EXPECT_EQ(cell.PropertyString().size(), 4 * m.size() + 13);
}

// [SECTION] format setters

TEST_F(XlsWorkbook, NumberFormatsAreListIndexesCheckedAgainstTheList) {
  TCell& cell = Cells().Items(0, 0);
  EXPECT_EQ(ThrownMessage<EListError>([&] { cell.SetNumberFormat(36); }), "List index (36) out of bounds");
  EXPECT_EQ(ThrownMessage<EListError>([&] { cell.SetNumberFormat(-1); }), "List index (-1) out of bounds");
  EXPECT_EQ(Cells().Count(), 0);
  cell.SetNumberFormat(35);
  EXPECT_EQ(Cells().Count(), 1);
  EXPECT_EQ(cell.GetNumberFormat(), 35);
}

TEST_F(XlsWorkbook, QuietValuesChangeTheFormatWithoutStoringTheItem) {
  TCell& cell = Cells().Items(0, 0);
  cell.SetVerticalAlignment(0);  // from 2 to the quiet 0
  EXPECT_EQ(cell.GetVerticalAlignment(), 0);
  EXPECT_NE(cell.FormatIndex(), 0);
  EXPECT_EQ(Cells().Count(), 0);
  cell.SetLocked(false);
  EXPECT_EQ(Cells().Count(), 1);
  TCell& other = Cells().Items(1, 0);
  other.SetHorizontalAlignment(0);  // unchanged
  other.SetFillColor(kAutoBackground);
  EXPECT_EQ(other.FormatIndex(), 0);
  EXPECT_EQ(Cells().Count(), 1);
  other.SetBorderColor(kBorderLeft, kAutoBackground);  // borders always store
  EXPECT_EQ(Cells().Count(), 2);
  EXPECT_EQ(other.FormatIndex(), 0);
}

TEST_F(XlsWorkbook, IndentIsKeptWithinFifteen) {
  TCell& cell = Cells().Items(0, 0);
  cell.SetIndent(20);
  EXPECT_EQ(cell.GetIndent(), 15);
  EXPECT_EQ(Cells().Count(), 1);
}

TEST_F(XlsWorkbook, BordersSetOneSideOrAllFour) {
  TCell& cell = Cells().Items(0, 0);
  cell.SetBorderStyle(kBorderAll, 1);
  cell.SetBorderColor(kBorderTop, 10);
  cell.SetBorderColor(9, 12);  // no such side: nothing changes
  for (uint8_t side = kBorderLeft; side <= kBorderBottom; ++side) EXPECT_EQ(cell.GetBorderStyle(side), 1);
  EXPECT_EQ(cell.GetBorderColor(kBorderTop), 10);
  EXPECT_EQ(cell.GetBorderColor(kBorderLeft), kAutoBackground);
  EXPECT_EQ(cell.GetBorderColor(kBorderAll), kAutoBackground);
  EXPECT_EQ(cell.GetBorderStyle(kBorderAll), 0);
  cell.SetBorderColorRGB(kBorderBottom, clRed);
  EXPECT_EQ(cell.GetBorderColor(kBorderBottom), 3);
}

TEST_F(XlsWorkbook, BoldOnTwoCellsSharesOneFormatAndUnsettingReturnsTheFirst) {
  TCell& a = Cells().Items(0, 0);
  a.SetValue(1.0);
  TCell& b = Cells().Items(0, 1);
  b.SetValue(2.0);
  const int32_t before = a.FormatIndex();
  a.SetFontBold(true);
  b.SetFontBold(true);
  EXPECT_NE(a.FormatIndex(), before);
  EXPECT_EQ(a.FormatIndex(), b.FormatIndex());
  EXPECT_EQ(a.GetFontIndex(), 1);
  EXPECT_TRUE(b.GetFontBold());
  a.SetFontBold(false);
  EXPECT_EQ(a.FormatIndex(), before);
  EXPECT_EQ(a.GetFontIndex(), 0);
  EXPECT_EQ(file_.Workbook().FontTable().Count(), 2);
}

TEST_F(XlsWorkbook, FontSettersStoreThePendingCell) {
  TCell& cell = Cells().Items(0, 0);
  cell.SetFontName(u"Courier New");
  EXPECT_EQ(Cells().Count(), 1);
  EXPECT_TRUE(cell.GetFontName() == u"Courier New");
  cell.SetFontName(std::u16string(150, u'n'));
  EXPECT_EQ(cell.GetFontName().size(), 100u);
  cell.SetFontHeight(14);
  cell.SetFontColorRGB(clWhite);
  cell.SetFontUnderlineKind(3);
  cell.SetFontScript(1);
  EXPECT_EQ(cell.GetFontHeight(), 14);
  EXPECT_EQ(cell.GetFontColor(), 2);
  EXPECT_EQ(cell.GetFontUnderlineKind(), 3);
  EXPECT_EQ(cell.GetFontScript(), 1);
  TCell& plain = Cells().Items(1, 0);
  plain.SetFillColorRGB(MakeColor(0xFF, 0xFF, 0x00));
  EXPECT_EQ(plain.GetFillColor(), 6);
  EXPECT_EQ(Cells().Count(), 2);
}

// [SECTION] rows and columns reach their cells

TEST_F(XlsWorkbook, AColumnSetterReachesTheStoredCellsOfThatColumnOnly) {
  Cells().Items(0, 1).SetValue(1.0);
  Cells().Items(5, 1).SetValue(2.0);
  Cells().Items(0, 2).SetValue(3.0);
  TColumn& col = Columns().Items(1);
  col.SetHorizontalAlignment(2);
  col.SetFontItalic(true);
  col.SetLocked(false);  // not passed on
  col.SetMerged(true);   // not passed on
  for (int r : {0, 5}) {
    TCell& cell = *Cells().Find(r, 1);
    EXPECT_EQ(cell.GetHorizontalAlignment(), 2);
    EXPECT_TRUE(cell.GetFontItalic());
    EXPECT_TRUE(cell.GetLocked());
    EXPECT_FALSE(cell.GetMerged());
  }
  EXPECT_EQ(Cells().Find(0, 2)->GetHorizontalAlignment(), 0);
  EXPECT_FALSE(Cells().Find(0, 2)->GetFontItalic());
  EXPECT_FALSE(col.GetLocked());
}

TEST_F(XlsWorkbook, ARowSetterReachesTheStoredCellsOfThatRow) {
  Cells().Items(3, 0).SetValue(1.0);
  Cells().Items(3, 9).SetValue(2.0);
  Cells().Items(4, 0).SetValue(3.0);
  Rows().Items(3).SetFillPattern(1);
  Rows().Items(3).SetFillColorRGB(clRed);
  EXPECT_EQ(Cells().Find(3, 9)->GetFillPattern(), 1);
  EXPECT_EQ(Cells().Find(3, 0)->GetFillColor(), 3);
  EXPECT_EQ(Cells().Find(4, 0)->GetFillPattern(), 0);
  EXPECT_EQ(Rows().Find(3)->GetFillColor(), 3);
}

TEST_F(XlsWorkbook, ANewCellTakesTheFormatOfItsRowOrColumn) {
  Columns().Items(2).SetNumberFormat(2);
  Columns().Items(2).SetHorizontalAlignment(3);
  TCell& header = Cells().Items(0, 2);
  EXPECT_EQ(header.GetNumberFormat(), 2);
  EXPECT_EQ(header.GetHorizontalAlignment(), 3);
  header.SetNumberFormat(35);
  EXPECT_EQ(header.GetNumberFormat(), 35);
  EXPECT_EQ(Columns().Find(2)->GetNumberFormat(), 2);
  Rows().Items(7).SetWrapText(true);
  EXPECT_TRUE(Cells().Items(7, 0).GetWrapText());
  EXPECT_EQ(Cells().Count(), 1);  // inheriting alone stores nothing
}

TEST_F(XlsWorkbook, ACellInAFormattedRowAndColumnTakesFieldByField) {
  TRow& row = Rows().Items(1);
  row.SetBorderColor(kBorderLeft, 10);
  row.SetFontBold(true);
  row.SetNumberFormat(2);
  TColumn& col = Columns().Items(1);
  col.SetBorderColor(kBorderLeft, 20);
  col.SetBorderColor(kBorderRight, 21);
  col.SetWrapText(true);
  col.SetFontName(u"Times New Roman");
  col.SetNumberFormat(10);
  col.SetVerticalAlignment(0);
  TCell& cell = Cells().Items(1, 1);
  EXPECT_EQ(cell.GetBorderColor(kBorderLeft), 10);   // the row's, not the default
  EXPECT_EQ(cell.GetBorderColor(kBorderRight), 21);  // the row's is the default
  EXPECT_TRUE(cell.GetWrapText());                   // either sets it
  EXPECT_TRUE(cell.GetFontBold());
  EXPECT_TRUE(cell.GetFontName() == u"Times New Roman");  // the row's is Arial
  EXPECT_EQ(cell.GetNumberFormat(), 2);
  EXPECT_EQ(cell.GetVerticalAlignment(), 0);  // the row's is the default (bottom)
  EXPECT_EQ(Cells().Count(), 0);              // nothing stored while inheriting
  EXPECT_FALSE(Cells().SuspendInsertion());
  cell.SetValue(1.0);
  EXPECT_EQ(Cells().Count(), 1);
}

TEST_F(XlsWorkbook, TheDoNotInheritFlagKeepsNewCellsDefault) {
  Columns().Items(0).SetHorizontalAlignment(3);
  file_.Workbook().Context().DoNotInherit = 1;
  EXPECT_EQ(Cells().Items(0, 0).FormatIndex(), TVirtualXFTable::DefaultIndex);
}

}  // namespace
}  // namespace qira

#include "model/StreamHelpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/CommaDecimalLocale.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

// ---- chunks and strings, read from bytes made by an independent generator -------

class StoredChunks : public ::testing::Test {
 protected:
  static TMemoryStream Fixture(const std::string& name) {
    return TGeneratedFixtures::Of("make_chunks.py").Stream(name);
  }
  static std::string FixtureBytes(const std::string& name) {
    return TGeneratedFixtures::Of("make_chunks.py").Bytes(name);
  }
};

TEST_F(StoredChunks, NestedChunksReadWithTheirFields) {
  TMemoryStream s = Fixture("nested.bin");
  TFileVersion outer(s, 1);
  int32_t found = -1;
  ASSERT_TRUE(outer.ReadHeader(found, true));
  EXPECT_EQ(found, 1);
  EXPECT_FALSE(outer.Damaged());
  int32_t seven = 0;
  std::string name;
  ASSERT_TRUE(s.ReadInt32(seven));
  ASSERT_TRUE(ReadLengthString(s, name));
  EXPECT_EQ(seven, 7);
  EXPECT_EQ(name, "Gr\u00FC\u00DFe \u20AC");
  TFileVersion inner(s, 0);
  ASSERT_TRUE(inner.ReadHeader(found, true));
  EXPECT_EQ(found, 0);
  EXPECT_LT(inner.EndOffset, outer.EndOffset);
  double d = 0;
  ASSERT_TRUE(s.ReadDouble(d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(inner.SkipToEnd());
  bool flag = false;
  ASSERT_TRUE(s.ReadBool(flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(outer.SkipToEnd());
  int32_t after = 0;
  ASSERT_TRUE(s.ReadInt32(after));
  EXPECT_EQ(after, 99);
}

TEST_F(StoredChunks, WriterProducesTheSameBytesAsTheLayout) {
  TMemoryStream s;
  TFileVersion outer(s, 1);
  ASSERT_TRUE(outer.WriteHeader());
  s.WriteInt32(7);
  ASSERT_TRUE(WriteLengthString(s, "Gr\u00FC\u00DFe \u20AC"));
  TFileVersion inner(s, 0);
  ASSERT_TRUE(inner.WriteHeader());
  s.WriteDouble(2.5);
  ASSERT_TRUE(inner.WriteEndOffset());
  EXPECT_EQ(s.Position(), s.Size());  // back at the end of what was written
  s.WriteBool(true);
  ASSERT_TRUE(outer.WriteEndOffset());
  s.WriteInt32(99);
  const std::vector<uint8_t>& got = s.Data();
  EXPECT_EQ(std::string(got.begin(), got.end()), FixtureBytes("nested.bin"));
}

TEST_F(StoredChunks, NewerChunkIsRefusedAndSkippedWhenAsked) {
  TMemoryStream s = Fixture("newer.bin");
  TFileVersion chunk(s, 2);
  int32_t found = 0;
  EXPECT_FALSE(chunk.ReadHeader(found, true));
  EXPECT_FALSE(chunk.Damaged());
  EXPECT_EQ(found, 3);
  EXPECT_EQ(s.Position(), 16);
  int32_t next = 0;
  ASSERT_TRUE(s.ReadInt32(next));
  EXPECT_EQ(next, 42);

  TMemoryStream again = Fixture("newer.bin");
  TFileVersion stay(again, 2);
  EXPECT_FALSE(stay.ReadHeader(found, false));
  EXPECT_EQ(again.Position(), 8);
  EXPECT_TRUE(stay.SkipToEnd());
  EXPECT_EQ(again.Position(), 16);
}

TEST_F(StoredChunks, TrailingFieldsAreSkippedButNeverOutsideTheStreamOrBackwards) {
  TMemoryStream s = Fixture("trailing_fields.bin");
  TFileVersion chunk(s, 0);
  int32_t found = 0, five = 0, next = 0;
  ASSERT_TRUE(chunk.ReadHeader(found, true));
  ASSERT_TRUE(s.ReadInt32(five));
  EXPECT_TRUE(chunk.SkipToEnd());
  ASSERT_TRUE(s.ReadInt32(next));
  EXPECT_EQ(next, 42);
  ASSERT_TRUE(s.Seek(22));  // a reader that overran its chunk
  EXPECT_FALSE(chunk.SkipToEnd());
  EXPECT_EQ(s.Position(), 22);
  ASSERT_TRUE(s.Seek(8));
  chunk.EndOffset = 1000;
  EXPECT_FALSE(chunk.SkipToEnd());
  EXPECT_EQ(s.Position(), 8);
}

TEST_F(StoredChunks, DamagedHeadersFailAndLeaveTheStreamAtItsEnd) {
  for (const char* name : {"end_past_stream.bin", "end_inside_header.bin", "end_negative.bin",
                           "truncated_header.bin"}) {
    TMemoryStream s = Fixture(name);
    TFileVersion chunk(s, 5);
    int32_t found = -1;
    EXPECT_FALSE(chunk.ReadHeader(found, true)) << name;
    EXPECT_TRUE(chunk.Damaged()) << name;
    EXPECT_EQ(s.Position(), s.Size()) << name;
    EXPECT_EQ(chunk.EndOffset, s.Size()) << name;
    EXPECT_TRUE(chunk.SkipToEnd()) << name;
    EXPECT_EQ(s.Position(), s.Size()) << name;
  }
}

TEST_F(StoredChunks, StringsAndMagicsRead) {
  TMemoryStream s = Fixture("strings.bin");
  std::string text = "x";
  ASSERT_TRUE(ReadLengthString(s, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(s.Position(), 4);  // an empty string is its length only
  ASSERT_TRUE(ReadLengthString(s, text));
  EXPECT_EQ(text, "abc");
  ASSERT_TRUE(ReadLengthString(s, text));
  EXPECT_EQ(text, "\u20AC\u0160\u00E9");
  ASSERT_TRUE(ReadRawString(s, 13, text));
  EXPECT_EQ(text, "QIRA 3D image");
  EXPECT_TRUE(ReadRawString(s, 0, text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(ReadRawString(s, -3, text));
  EXPECT_EQ(s.Remaining(), 0);
}

TEST_F(StoredChunks, BadStringLengthsFailWithoutConsumingOrAllocating) {
  for (const char* name : {"string_negative_length.bin", "string_too_long.bin", "string_huge_length.bin"}) {
    TMemoryStream s = Fixture(name);
    std::string text = "old";
    EXPECT_FALSE(ReadLengthString(s, text)) << name;
    EXPECT_EQ(text, "") << name;
    EXPECT_EQ(s.Position(), 0) << name;
  }
  TMemoryStream s = Fixture("string_too_long.bin");
  std::string text;
  EXPECT_FALSE(ReadRawString(s, 9, text));
  EXPECT_EQ(s.Position(), 0);
  EXPECT_TRUE(ReadRawString(s, 8, text));
  TMemoryStream empty;
  EXPECT_FALSE(ReadLengthString(empty, text));
}

// Read under its chunk's bound, a length that passes the chunk's end fails as one
// past the stream's does, whichever way the string is read, and a chunk nested in it
// may not end behind it; the bytes behind the chunk are read once the bound is gone.
TEST_F(StoredChunks, AChunksFieldsAreReadNoFurtherThanItsEnd) {
  const std::function<bool(TBinaryStream&)> readers[] = {
      [](TBinaryStream& s) { std::string text; return ReadLengthString(s, text); },
      [](TBinaryStream& s) { return SkipLengthString(s); },
      [](TBinaryStream& s) { int64_t stored = 0, converted = 0; return MeasureLengthString(s, stored, converted); },
  };
  for (const auto& read : readers) {
    TMemoryStream s = Fixture("string_past_chunk_end.bin");
    TFileVersion chunk(s, 0);
    int32_t found = 0;
    ASSERT_TRUE(chunk.ReadHeader(found, true));
    {
      const TReadBound fields(s, chunk.EndOffset);
      EXPECT_FALSE(read(s));
      EXPECT_EQ(s.Position(), 8);
    }
    EXPECT_TRUE(read(s));
  }
  TMemoryStream s = Fixture("nested_end_past_outer.bin");
  TFileVersion outer(s, 0), inner(s, 0);
  int32_t found = 0;
  ASSERT_TRUE(outer.ReadHeader(found, true));
  const TReadBound fields(s, outer.EndOffset);
  EXPECT_FALSE(inner.ReadHeader(found, true));
  EXPECT_TRUE(inner.Damaged());
  EXPECT_EQ(s.Position(), outer.EndOffset);
}

TEST(StreamStrings, WritersStoreWindows1252Bytes) {
  TMemoryStream s;
  ASSERT_TRUE(WriteLengthString(s, ""));
  ASSERT_TRUE(WriteLengthString(s, "\u00E9\u4E2D"));  // a character without a 1252 byte is '?'
  ASSERT_TRUE(WriteRawString(s, "QIRA 3D SECTION"));
  const std::vector<uint8_t>& d = s.Data();
  EXPECT_EQ(std::string(d.begin(), d.end()),
            std::string("\0\0\0\0\2\0\0\0\xE9?QIRA 3D SECTION", 25));
}

// The endings themselves are the text-line reader's; here the conversion to UTF-8.
TEST(StreamText, LinesAreReadAndConverted) {
  std::string line;
  std::string lf = "BH1 1,5 2.5 3\ncaf\xE9\rlong line here\n";
  TMemoryStream t(lf.data(), lf.size());
  EXPECT_EQ(ReadTextLine(t, 13, line), TLineRead::Line);
  EXPECT_EQ(line, "BH1 1,5 2.5 3");
  EXPECT_EQ(ReadTextLine(t, 13, line), TLineRead::Line);
  EXPECT_EQ(line, "caf\u00E9");
  EXPECT_EQ(ReadTextLine(t, 13, line), TLineRead::TooLong);
  EXPECT_EQ(ReadTextLine(t, 13, line), TLineRead::EndOfFile);
}

// ---- number text -------------------------------------------------------------------

TEST(StreamNumbers, FixedAndExponentForms) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {FloatToStrFixed(2, 2.5), "2.50"},
      {FloatToStrFixed(2, 1234567.891), "1234567.89"},
      {FloatToStrFixed(0, 7.75), "8"},
      {FloatToStrFixed(2, -0.001), "0.00"},  // no sign on a value shown as zero
      {FloatToStrFixed(1, -0.25), "-0.2"},
      {FloatToStrExp(4, 2, 1234.56), " 1.235E+03"},
      {FloatToStrExp(4, 2, -0.000123456), "-1.235E-04"},
      {FloatToStrExp(4, 2, 0), " 0.000E+00"},
      {FloatToStrExp(4, 4, 5), " 5.000E+0000"},  // the full field: Digits + 8 characters
      {FloatToStrExp(4, 3, 5), " 5.000E+000"},
      {FloatToStrExp(3, 2, 6.02e23), " 6.02E+23"},
      {FloatToStrExp(4, 2, 1e-300), " 1.000E-300"},  // exponent digits that carry value stay
      {FloatToStrExp(4, 2, -2.5e123), "-2.500E+123"},
      {FloatToStrExp(7, 2, 1.0 / 3.0), " 3.333333E-01"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(StreamNumbers, SignificantDigitsInAField) {
  struct Case {
    int digits, width;
    double x;
    const char* want;
  } cases[] = {
      {3, 8, 0.05, "  0.0500"},
      {3, 8, 0, "       0"},
      {3, 8, 2.5, "    2.50"},
      {3, 8, 1, "   1.000"},  // a value of 1 or less gets one decimal more
      {3, 8, -1234.5678, "   -1235"},
      {3, 8, 123456789.0, " 1.23E+08"},  // too wide: exponent form with two exponent digits
      {3, 8, 0.000012345, " 1.23E-05"},
      {3, 15, 0.000012345, "      0.0000123"},
      {4, 10, -98.7654, "    -98.77"},
  };
  for (const Case& c : cases) {
    std::string s = "junk";
    FormatSignificant(c.digits, c.width, s, c.x);
    EXPECT_EQ(s, c.want) << c.x;
  }
}

TEST(StreamNumbers, FixedOrDashes) {
  std::string s;
  FormatFixedOrDashes(8, 2, true, s, 3.0);
  EXPECT_EQ(s, " ------ ");
  FormatFixedOrDashes(8, 2, false, s, 3.14159);
  EXPECT_EQ(s, "    3.14");
  FormatFixedOrDashes(4, 2, false, s, 12345.0);
  EXPECT_EQ(s, "12345.00");  // never cut
}

TEST(StreamNumbers, ParseFloatTakesEitherSeparatorWhateverTheLocale) {
  TCommaDecimalLocale comma;
  EXPECT_EQ(ParseFloat("2,5"), 2.5);
  EXPECT_EQ(ParseFloat("2.5"), 2.5);
  EXPECT_EQ(ParseFloat(" -1e3 "), -1000);
  EXPECT_EQ(NormalizeDecimalSeparator("1,5.2"), "1.5.2");
  EXPECT_THROW(ParseFloat("1,5.2"), EConvertError);
  EXPECT_THROW(ParseFloat(""), EConvertError);
  try {
    ParseFloat("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
  EXPECT_EQ(FloatToStrFixed(2, 2.5), "2.50");
  EXPECT_EQ(FloatToStrExp(4, 2, 2.5), " 2.500E+00");
}

TEST(StreamNumbers, EditValidationReportsInWords) {
  TFakeServices fake;
  int focused = 0;
  auto focus = [&] { ++focused; };
  double v = 0;
  EXPECT_FALSE(ValidateFloatEdit("12x", false, focus, &v));
  EXPECT_FALSE(ValidateFloatEdit("0", true, focus, &v));
  EXPECT_FALSE(ValidateFloatEdit("-1", true, focus, &v));
  EXPECT_EQ(focused, 3);
  EXPECT_TRUE(ValidateFloatEdit("1,5", true, focus, &v));
  EXPECT_EQ(v, 1.5);
  EXPECT_TRUE(ValidateFloatEdit("-4", false, focus, &v));
  EXPECT_EQ(v, -4);
  EXPECT_EQ(focused, 3);
  EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid value: 12x", "Value must be more then 0",
                                                    "Value must be more then 0"}));
  for (const auto& m : fake.Messages) EXPECT_EQ(m.Kind, TMessageKind::Error);
}

// ---- string helpers ----------------------------------------------------------------

TEST(StreamStringHelpers, TrimRemoveSplit) {
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
  EXPECT_EQ(TrimSpaces("    "), "");
  EXPECT_EQ(RemoveChar("1 000 000", ' '), "1000000");
  std::vector<std::string> words{"stale"};
  SplitWords("  BH1   12.5\t3,5  ", words);
  EXPECT_EQ(words, (std::vector<std::string>{"BH1", "12.5", "3,5"}));
  SplitWords("   ", words);
  EXPECT_TRUE(words.empty());
  SplitWords("", words);
  EXPECT_TRUE(words.empty());
}

TEST(StreamStringHelpers, FileNameWithoutFolderAndExtension) {
  struct Case {
    const char* path;
    const char* want;
  } cases[] = {
      {"C:\\data\\BH1.ink", "BH1"}, {"/home/u/a.b.sec", "a.b"}, {"dir.x/name", "name"},
      {"D:name.txt", "name"},       {"noext", "noext"},         {"/p/.hidden", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameWithoutExt(c.path), c.want) << c.path;
}

// ---- version ------------------------------------------------------------------------

}  // namespace
}  // namespace qira

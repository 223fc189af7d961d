#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <utility>

namespace qira {
namespace {

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

TEST(CodePage, Windows1252BytesMapToTheirCharacters) {
  struct Case {
    int byte;
    const char* utf8;
  } cases[] = {
      {0x41, "A"},          {0x7F, "\x7F"},         {0x80, "\u20AC"},  // euro sign
      {0x81, "\u0081"},     {0x82, "\u201A"},       {0x8A, "\u0160"},  {0x8D, "\u008D"},
      {0x8F, "\u008F"},     {0x90, "\u0090"},       {0x91, "\u2018"},  {0x99, "\u2122"},
      {0x9D, "\u009D"},     {0x9F, "\u0178"},       {0xA0, "\u00A0"},  {0xDF, "\u00DF"},
      {0xFF, "\u00FF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(Byte(c.byte)), c.utf8) << std::hex << c.byte;
    EXPECT_EQ(Utf8ToCp1252(c.utf8), Byte(c.byte)) << std::hex << c.byte;
  }
}

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += Byte(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  // Converted into a string sized once: what a reading of a long text holds beside it.
  const std::string text = Cp1252ToUtf8(all + all + all);
  EXPECT_EQ(text.capacity(), text.size());
}

TEST(CodePage, CharactersWithoutAByteAndMalformedUtf8BecomeQuestionMarks) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\u0100b", "a?b"},           // Latin A with macron
      {"\u4E2D", "?"},               // three-byte form
      {"\U0001F600x", "?x"},         // four-byte form
      {"\u0080", "?"},               // byte 0x80 is the euro sign, not U+0080
      {"a\x80z", "a?z"},             // stray continuation byte
      {"\xC3", "?"},                 // cut sequence at the end
      {"\xC3(x", "?(x"},             // lead byte without continuation
      {"\xC0\xAF", "??"},            // overlong '/'
      {"\xED\xA0\x80", "???"},       // surrogate half
      {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
      {"\xFF\xFE", "??"},
  };
  for (auto [utf8, bytes] : cases) EXPECT_EQ(Utf8ToCp1252(utf8), bytes) << bytes;
}

TEST(CodePage, Utf16PairsBecomeOneCharacterAndLoneSurrogatesTheReplacement) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u20AC\U0001F600"), "a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', char16_t(0xD83D)}), "x\uFFFD");     // high half at the end
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDE00), u'y'}), "\uFFFDy");     // low half alone
  char32_t cp = 0;
  EXPECT_EQ(Utf8SequenceAt("\U0001F600", 0, cp), 4u);
  EXPECT_EQ(cp, U'\U0001F600');
  EXPECT_EQ(Utf8SequenceAt("\xF0\x9F\x98", 0, cp), 0u);  // cut short
}

}  // namespace
}  // namespace qira

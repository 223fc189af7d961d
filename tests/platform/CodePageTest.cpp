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

// Each conversion that loses a character is told to the collector in force, with
// what it lost; a glyph's codes are not told.
TEST(CodePage, CharactersWithoutAByteAndMalformedUtf8BecomeQuestionMarksAndAreTold) {
  const struct {
    const char* Utf8;
    const char* Bytes;
    const char* Lost;
  } cases[] = {
      {"a\u0100b", "a?b", "\u0100"},              // Latin A with macron
      {"\u4E2D", "?", "\u4E2D"},                  // three-byte form
      {"\U0001F600x", "?x", "\U0001F600"},        // four-byte form
      {"\u0080", "?", "\u0080"},                  // byte 0x80 is the euro sign, not U+0080
      {"a\x80z", "a?z", "\uFFFD"},                // stray continuation byte
      {"\xC3", "?", "\uFFFD"},                    // cut sequence at the end
      {"\xC3(x", "?(x", "\uFFFD"},                // lead byte without continuation
      {"\xC0\xAF", "??", "\uFFFD"},              // overlong '/'
      {"\xED\xA0\x80", "???", "\uFFFD"},        // surrogate half
      {"\xF4\x90\x80\x80", "????", "\uFFFD"},  // above U+10FFFF
      {"\xFF\xFE", "??", "\uFFFD"},
      {"\u0413\u043B\u0438\u043D\u0430 \u03C1=100 \u03A9\u00B7m", "????? ?=100 ?\xB7m",
       "\u0413\u043B\u0438\u043D\u0430\u03C1\u03A9"},  // Cyrillic, Greek, the ohm's omega
      {"\u03A9\u03A9-zone", "??-zone", "\u03A9"},  // each character once
      {"a?b", "a?b", ""},                            // a question mark of its own
      {"M\u00E4\u00DFig \u20AC", "M\xE4\xDFig \x80", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bytes);
    EXPECT_EQ(Cp1252LostCharacters(c.Utf8), c.Lost);
    TCp1252Losses losses(4);
    EXPECT_EQ(Cp1252Codes(c.Utf8), c.Bytes);
    EXPECT_EQ(losses.Count(), 0);
    EXPECT_EQ(Utf8ToCp1252(c.Utf8), c.Bytes);
    EXPECT_EQ(losses.Count(), *c.Lost != 0 ? 1 : 0);
    if (*c.Lost != 0) EXPECT_EQ(losses.Listed().at(0).Characters, c.Lost);
  }
}

// A write's losses come one per object written, under its name, however many of its
// texts lost characters; past the listed ones they are counted; outside a
// collector they are told to no one.
TEST(CodePage, LossesAreCollectedOncePerObjectUnderItsName) {
  const std::string group = "\u0413\u043B\u0438\u043D\u0430";
  const std::string label = "Note";
  Utf8ToCp1252("\u03A9 before");
  TCp1252Losses losses(2);
  {
    const TCp1252Subject outer(group);
    Utf8ToCp1252(group);
    {
      const TCp1252Subject inner(label, "label");
      Utf8ToCp1252("kept");
      Utf8ToCp1252("\u03C1=100 \u03A9\u00B7m");
      Utf8ToCp1252("\u03A9 again \u03B1");
    }
    Utf8ToCp1252("\u0431");  // the group's again, after its child
    const TCp1252Subject third("third");
    Utf8ToCp1252("\u4E2D");
  }
  Utf8ToCp1252("\u4E2E outside any object");
  ASSERT_EQ(losses.Count(), 4);
  ASSERT_EQ(losses.Listed().size(), 2u);
  EXPECT_EQ(losses.Listed()[0].Subject, group);
  EXPECT_EQ(losses.Listed()[0].Kind, "");
  EXPECT_EQ(losses.Listed()[0].Characters, group + "\u0431");
  EXPECT_EQ(losses.Listed()[1].Subject, label);
  EXPECT_EQ(losses.Listed()[1].Kind, "label");
  EXPECT_EQ(losses.Listed()[1].Characters, "\u03C1\u03A9\u03B1");
  EXPECT_FALSE(losses.Listed()[1].More);
  // A text of thousands of characters keeps the first few.
  TCp1252Losses many(1);
  std::string cjk;
  for (char32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) AppendUtf8(cjk, c);
  Utf8ToCp1252(cjk);
  ASSERT_EQ(many.Listed().size(), 1u);
  EXPECT_EQ(many.Listed()[0].CharacterCount, TCp1252Loss::kListedCharacters);
  EXPECT_TRUE(many.Listed()[0].More);
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

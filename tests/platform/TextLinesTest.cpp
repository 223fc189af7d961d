#include "platform/TextLines.h"

#include <gtest/gtest.h>

namespace qira {
namespace {

struct TRead {
  TLineRead result;
  std::string line;
  bool operator==(const TRead&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TRead& r) {
  return os << static_cast<int>(r.result) << ":\"" << r.line << '"';
}

std::vector<TRead> ReadAll(const std::string& text, int32_t maxLength) {
  TMemoryStream s(text.data(), text.size());
  std::vector<TRead> out;
  for (int guard = 0; guard < 100; ++guard) {
    TRead r;
    r.result = ReadRawTextLine(s, maxLength, r.line);
    out.push_back(r);
    if (r.result == TLineRead::EndOfFile) break;
  }
  return out;
}

constexpr TLineRead L = TLineRead::Line;
constexpr TLineRead E = TLineRead::EndOfFile;
constexpr TLineRead T = TLineRead::TooLong;

TEST(TextLines, EveryEndingKeepsEveryCharacter) {
  struct Case {
    std::string text;
    std::vector<TRead> want;
  } cases[] = {
      {"ab\r\ncd\r\n", {{L, "ab"}, {L, "cd"}, {E, ""}}},
      {"ab\ncd\n", {{L, "ab"}, {L, "cd"}, {E, ""}}},
      {"ab\rcd\r", {{L, "ab"}, {L, "cd"}, {E, ""}}},
      {"a\r\nb\nc\rd", {{L, "a"}, {L, "b"}, {L, "c"}, {L, "d"}, {E, ""}}},
      // The last line without an ending still counts.
      {"ab\r\ncd", {{L, "ab"}, {L, "cd"}, {E, ""}}},
      {"x", {{L, "x"}, {E, ""}}},
      // Empty lines stay apart from the end of the text.
      {"\n\n", {{L, ""}, {L, ""}, {E, ""}}},
      {"\r\n\r\nz", {{L, ""}, {L, ""}, {L, "z"}, {E, ""}}},
      {"\r\r\n", {{L, ""}, {L, ""}, {E, ""}}},
      {"\n\r", {{L, ""}, {L, ""}, {E, ""}}},
      {"", {{E, ""}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAll(c.text, 200), c.want) << c.text;
}

TEST(TextLines, OverLongLineIsReportedAndSkippedThroughItsEnding) {
  EXPECT_EQ(ReadAll("abcd\r\nxyz\r\nabc", 3),
            (std::vector<TRead>{{T, ""}, {L, "xyz"}, {L, "abc"}, {E, ""}}));
  EXPECT_EQ(ReadAll("abcdefgh", 3), (std::vector<TRead>{{T, ""}, {E, ""}}));
  EXPECT_EQ(ReadAll("abcd\rx", 3), (std::vector<TRead>{{T, ""}, {L, "x"}, {E, ""}}));
  EXPECT_EQ(ReadAll("ab\n", 0), (std::vector<TRead>{{T, ""}, {E, ""}}));
  EXPECT_EQ(ReadAll("ab\n", -1), (std::vector<TRead>{{L, "ab"}, {E, ""}}));
}

TEST(TextLines, BytesPassUnchanged) {
  EXPECT_EQ(ReadAll(std::string("\xE9\0t\n", 4), 10),
            (std::vector<TRead>{{L, std::string("\xE9\0t", 3)}, {E, ""}}));
}

TEST(TextLines, SplittingATextFollowsTheSameRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitTextLines("a\r\nb"), (V{"a", "b"}));
  EXPECT_EQ(SplitTextLines("a\nb\n"), (V{"a", "b"}));
  EXPECT_EQ(SplitTextLines("a\rb\r\n\nc"), (V{"a", "b", "", "c"}));
  EXPECT_EQ(SplitTextLines(""), V{});
  EXPECT_EQ(SplitTextLines("\n"), V{""});
  EXPECT_EQ(SplitTextLines("\r\r"), (V{"", ""}));
}

}  // namespace
}  // namespace qira

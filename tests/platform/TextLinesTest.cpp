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
  os << static_cast<int>(r.result) << ":\"";
  // A line of a quarter megabyte is told by its length.
  if (r.line.size() > 40) return os << r.line.substr(0, 8) << "...\" (" << r.line.size() << " bytes)";
  return os << r.line << '"';
}

// Every line of text, read by ReadRawTextLine, or by a TTextLineReader when buffered.
std::vector<TRead> ReadAll(const std::string& text, int32_t maxLength, bool buffered = false) {
  TMemoryStream s(text.data(), text.size());
  TTextLineReader reader(s, maxLength);
  std::vector<TRead> out;
  for (int guard = 0; guard < 100; ++guard) {
    TRead r;
    r.result = buffered ? reader.Next(r.line) : ReadRawTextLine(s, maxLength, r.line);
    out.push_back(r);
    if (r.result == TLineRead::EndOfFile) break;
  }
  return out;
}

constexpr TLineRead L = TLineRead::Line;
constexpr TLineRead E = TLineRead::EndOfFile;
constexpr TLineRead T = TLineRead::TooLong;

// Lines that fill the buffered reader's buffer up to `before` bytes short of its edge.
std::string UpToEdge(size_t before) { return std::string(TTextLineReader::BufferBytes - before, 'a'); }

TEST(TextLines, EveryEndingKeepsEveryCharacter) {
  constexpr int32_t kNoLimit = -1;
  const std::string edgeLine = UpToEdge(1);  // its ending's first byte is the buffer's last
  struct Case {
    std::string text;
    std::vector<TRead> want;
    int32_t maxLength = 200;
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
      // A line of exactly the longest length, and one byte more.
      {std::string(200, 'x') + "\r\nz", {{L, std::string(200, 'x')}, {L, "z"}, {E, ""}}},
      {std::string(201, 'x') + "\r\nz", {{T, ""}, {L, "z"}, {E, ""}}},
      // Endings at the edge of the buffered reader's buffer: one ending each, whichever
      // side its bytes fall on.
      {edgeLine + "\r\nb", {{L, edgeLine}, {L, "b"}, {E, ""}}, kNoLimit},
      {UpToEdge(2) + "\r\nb", {{L, UpToEdge(2)}, {L, "b"}, {E, ""}}, kNoLimit},
      {UpToEdge(0) + "\r\nb", {{L, UpToEdge(0)}, {L, "b"}, {E, ""}}, kNoLimit},
      {edgeLine + "\rb", {{L, edgeLine}, {L, "b"}, {E, ""}}, kNoLimit},
      {edgeLine + "\r\r\nb", {{L, edgeLine}, {L, ""}, {L, "b"}, {E, ""}}, kNoLimit},
      {edgeLine + "\nb", {{L, edgeLine}, {L, "b"}, {E, ""}}, kNoLimit},
      {edgeLine + "\r", {{L, edgeLine}, {E, ""}}, kNoLimit},
      {UpToEdge(0), {{L, UpToEdge(0)}, {E, ""}}, kNoLimit},
      // The longest line and one more, their ending across the edge.
      {edgeLine + "\r\nb", {{L, edgeLine}, {L, "b"}, {E, ""}}, static_cast<int32_t>(edgeLine.size())},
      {edgeLine + "\r\nb", {{T, ""}, {L, "b"}, {E, ""}}, static_cast<int32_t>(edgeLine.size() - 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size() > 40 ? std::to_string(c.text.size()) + " bytes" : c.text);
    EXPECT_EQ(ReadAll(c.text, c.maxLength), c.want);
    EXPECT_EQ(ReadAll(c.text, c.maxLength, true), c.want) << "buffered";
  }
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

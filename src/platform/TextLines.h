#pragma once
// Text lines over a byte stream, with CR LF, LF or CR endings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/BinaryStream.h"

namespace qira {

enum class TLineRead {
  Line,       // a line was read (possibly empty); a last line without ending counts
  EndOfFile,  // no byte remained; line is empty
  TooLong,    // the line held more than maxLength bytes; line is empty and the whole
              // line, through its ending, was consumed so the next call reads the next line
};

// Reads one line of bytes (no conversion) into line, without its ending. An ending is
// CR LF, LF or a lone CR. maxLength < 0 means no limit.
TLineRead ReadRawTextLine(TBinaryStream& stream, int32_t maxLength, std::string& line);

// The lines of a stream split as ReadRawTextLine splits them, read ahead through a
// buffer of its own: a scan of a whole file at a fraction of the cost of a call per
// byte. The stream is this reader's alone while it reads (its position runs ahead).
class TTextLineReader {
 public:
  // The bytes read ahead at a time: large enough that the stream is asked a few times
  // a megabyte. A CR LF may fall on either side of its edge.
  static constexpr size_t BufferBytes = 256 * 1024;

  TTextLineReader(TBinaryStream& stream, int32_t maxLength);
  TLineRead Next(std::string& line);

 private:
  bool Fill();

  TBinaryStream& stream_;
  int32_t maxLength_;
  std::vector<char> buffer_;
  size_t at_ = 0;
  size_t end_ = 0;
};

// The lines of a whole text split the same way, one at a time, as views into the
// text: nothing is copied, however many or long the lines.
class TTextLineViews {
 public:
  explicit TTextLineViews(std::string_view text) : text_(text) {}
  // False once no line is left.
  bool Next(std::string_view& line);

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// Splits a whole text into lines the same way: "a\r\nb" and "a\nb\n" both give
// {"a", "b"}; an empty text gives no line; "\n" gives one empty line.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace qira

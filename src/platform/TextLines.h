#pragma once
// Text lines over a byte stream, with CR LF, LF or CR endings.
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

// Splits a whole text into lines the same way: "a\r\nb" and "a\nb\n" both give
// {"a", "b"}; an empty text gives no line; "\n" gives one empty line.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace qira

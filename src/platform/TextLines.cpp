#include "platform/TextLines.h"

namespace qira {

namespace {
constexpr uint8_t kCR = 13;
constexpr uint8_t kLF = 10;
}  // namespace

TLineRead ReadRawTextLine(TBinaryStream& stream, int32_t maxLength, std::string& line) {
  line.clear();
  if (stream.Remaining() <= 0) return TLineRead::EndOfFile;
  bool tooLong = false;
  uint8_t c;
  while (stream.ReadUInt8(c)) {
    if (c == kLF) break;
    if (c == kCR) {
      // CR LF is one ending; a lone CR is an ending of its own.
      uint8_t next;
      int32_t at = stream.Position();
      if (stream.ReadUInt8(next) && next != kLF) stream.Seek(at);
      break;
    }
    if (tooLong) continue;
    if (maxLength >= 0 && static_cast<int64_t>(line.size()) >= maxLength) {
      tooLong = true;
      line.clear();
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  if (tooLong) {
    line.clear();
    return TLineRead::TooLong;
  }
  return TLineRead::Line;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n' || c == '\r') {
      lines.emplace_back(text.substr(start, i - start));
      ++i;
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace qira

#include "platform/TextLines.h"

#include <algorithm>
#include <cstring>

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

TTextLineReader::TTextLineReader(TBinaryStream& stream, int32_t maxLength)
    : stream_(stream), maxLength_(maxLength), buffer_(BufferBytes) {}

bool TTextLineReader::Fill() {
  const int32_t n = std::min<int32_t>(stream_.Remaining(), static_cast<int32_t>(buffer_.size()));
  at_ = 0;
  end_ = 0;
  if (n <= 0 || !stream_.Read(buffer_.data(), n)) return false;
  end_ = static_cast<size_t>(n);
  return true;
}

TLineRead TTextLineReader::Next(std::string& line) {
  line.clear();
  if (at_ == end_ && !Fill()) return TLineRead::EndOfFile;
  bool tooLong = false;
  for (;;) {
    const char* from = buffer_.data() + at_;
    const size_t left = end_ - at_;
    const void* lf = std::memchr(from, kLF, left);
    const size_t toLf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - from) : left;
    const void* cr = std::memchr(from, kCR, toLf);
    const size_t n = cr ? static_cast<size_t>(static_cast<const char*>(cr) - from) : toLf;
    if (!tooLong) {
      if (maxLength_ >= 0 && line.size() + n > static_cast<size_t>(maxLength_)) {
        tooLong = true;
        line.clear();
      } else {
        line.append(from, n);
      }
    }
    at_ += n;
    if (at_ == end_) {
      if (Fill()) continue;
      break;  // a last line without ending
    }
    // CR LF is one ending; a lone CR is an ending of its own.
    const bool isCR = static_cast<uint8_t>(buffer_[at_]) == kCR;
    ++at_;
    if (isCR && (at_ < end_ || Fill()) && static_cast<uint8_t>(buffer_[at_]) == kLF) ++at_;
    break;
  }
  return tooLong ? TLineRead::TooLong : TLineRead::Line;
}

bool TTextLineViews::Next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  const size_t end = text_.find_first_of("\r\n", at_);
  if (end == std::string_view::npos) {
    line = text_.substr(at_);
    at_ = text_.size();
    return true;
  }
  line = text_.substr(at_, end - at_);
  at_ = end + 1;
  if (text_[end] == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
  return true;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  TTextLineViews views(text);
  std::string_view line;
  while (views.Next(line)) lines.emplace_back(line);
  return lines;
}

}  // namespace qira

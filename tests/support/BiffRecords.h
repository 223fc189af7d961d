#pragma once
// The records of a BIFF8 workbook stream, found by id rather than by position,
// so that one more record in a stream does not move what a test looks at.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qira::test {

inline uint16_t LeWord(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

inline uint32_t LeDWord(std::string_view bytes, size_t at) {
  return LeWord(bytes, at) | static_cast<uint32_t>(LeWord(bytes, at + 2)) << 16;
}

struct TBiffRecord {
  uint16_t id = 0;
  std::string data;
  size_t offset = 0;  // of the record header in the stream
};

class TBiffRecords {
 public:
  static constexpr uint16_t kBof = 0x0809;
  static constexpr uint16_t kEof = 0x000A;

  TBiffRecords() = default;
  // Every record up to and including the last EOF (padding after it is left out).
  explicit TBiffRecords(const std::string& stream) {
    size_t pos = 0, lastEof = 0;
    while (pos + 4 <= stream.size()) {
      TBiffRecord r;
      r.id = LeWord(stream, pos);
      const uint16_t n = LeWord(stream, pos + 2);
      if (pos + 4 + n > stream.size()) break;
      r.data = stream.substr(pos + 4, n);
      r.offset = pos;
      records_.push_back(std::move(r));
      if (records_.back().id == kEof) lastEof = records_.size();
      pos += 4 + n;
    }
    records_.resize(lastEof);
  }

  size_t Count() const { return records_.size(); }
  const TBiffRecord& operator[](size_t i) const { return records_[i]; }
  const std::vector<TBiffRecord>& All() const { return records_; }

  // Substream k from its BOF to its EOF: 0 the globals, 1 the first sheet, ...
  // Empty when there is no such substream.
  TBiffRecords Substream(int k) const {
    TBiffRecords sub;
    int seen = -1;
    for (const TBiffRecord& r : records_) {
      if (r.id == kBof) ++seen;
      if (seen == k) sub.records_.push_back(r);
      if (seen == k && r.id == kEof) break;
    }
    return sub;
  }

  // Position of the first record with id at or after from; Count() when none.
  size_t IndexOf(uint16_t id, size_t from = 0) const {
    for (size_t i = from; i < records_.size(); ++i)
      if (records_[i].id == id) return i;
    return records_.size();
  }
  bool Has(uint16_t id) const { return IndexOf(id) < Count(); }
  // The nth record (0-based) with id; an empty record with id 0xFFFF when absent.
  const TBiffRecord& Find(uint16_t id, size_t nth = 0) const {
    for (const TBiffRecord& r : records_)
      if (r.id == id && nth-- == 0) return r;
    return Missing();
  }
  std::vector<TBiffRecord> FindAll(uint16_t id) const {
    std::vector<TBiffRecord> all;
    for (const TBiffRecord& r : records_)
      if (r.id == id) all.push_back(r);
    return all;
  }
  size_t CountOf(uint16_t id) const { return FindAll(id).size(); }
  // The record right after the first one with id (a CONTINUE, say).
  const TBiffRecord& After(uint16_t id, size_t k = 1) const {
    const size_t i = IndexOf(id) + k;
    return i < records_.size() ? records_[i] : Missing();
  }
  // The ids in stream order, each run of equal ids given once.
  std::vector<uint16_t> IdSequence() const {
    std::vector<uint16_t> ids;
    for (const TBiffRecord& r : records_)
      if (ids.empty() || ids.back() != r.id) ids.push_back(r.id);
    return ids;
  }

 private:
  static const TBiffRecord& Missing() {
    static const TBiffRecord missing{0xFFFF, {}, 0};
    return missing;
  }
  std::vector<TBiffRecord> records_;
};

}  // namespace qira::test

#pragma once
// Builders for expected archive bytes, written from the tagged layout rather than by
// the writer under test.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qira {

using Bytes = std::vector<uint8_t>;

// Appends each value as one byte (tags, small integers, raw bytes).
inline void Append(Bytes& b, std::initializer_list<int> values) {
  for (int v : values) b.push_back(static_cast<uint8_t>(v));
}

// A short string value: tag 6, a length byte, the bytes.
inline void AppendShortString(Bytes& b, const std::string& s) {
  b.push_back(6);
  b.push_back(static_cast<uint8_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}

inline std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }
inline Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace qira

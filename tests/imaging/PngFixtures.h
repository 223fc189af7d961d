#pragma once
// Helpers shared by the PNG tests: the hand-made files of make_png.py, the
// bytes our writer makes, and the independent checkers (pngcheck, Qt's reader).
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"

namespace qira {

inline const TGeneratedFixtures& PngFiles() { return TGeneratedFixtures::Of("make_png.py"); }

// A PNG image loaded from one of the generated files.
inline void LoadPngFixture(TPNGObject& png, const std::string& name) {
  TMemoryStream stream = PngFiles().Stream(name);
  png.LoadFromStream(stream);
}

inline std::vector<uint8_t> SavedBytes(const TPNGObject& png) {
  TMemoryStream stream;
  png.SaveToStream(stream);
  return stream.TakeData();
}

// Big-endian u32 at offset.
inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct TStoredChunk {
  std::string name;
  uint32_t length;
};

// The chunk names and lengths of a PNG file, walking its framing.
inline std::vector<TStoredChunk> ChunkSequence(const std::vector<uint8_t>& bytes) {
  std::vector<TStoredChunk> chunks;
  size_t at = 8;
  while (at + 8 <= bytes.size()) {
    const uint32_t length = Be32(bytes, at);
    chunks.push_back({std::string(reinterpret_cast<const char*>(bytes.data()) + at + 4, 4), length});
    at += 12 + length;
  }
  return chunks;
}

inline std::vector<std::string> ChunkNames(const std::vector<uint8_t>& bytes) {
  std::vector<std::string> names;
  for (const auto& c : ChunkSequence(bytes)) names.push_back(c.name);
  return names;
}

// pngcheck's verdict on a file (exit status 0 means valid).
inline bool PngcheckAccepts(const std::string& path) {
  const std::string command = "pngcheck -q '" + path + "' > /dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

inline bool PngcheckAvailable() { return std::system("command -v pngcheck > /dev/null 2>&1") == 0; }

}  // namespace qira

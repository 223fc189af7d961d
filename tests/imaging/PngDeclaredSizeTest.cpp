// A header declaring far more picture than the file's data could inflate to is
// refused before the picture's storage is allocated.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/PngCrc.h"
#include "imaging/PngErrors.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"

#if defined(__SANITIZE_ADDRESS__)
#define QIRA_HAS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QIRA_HAS_ASAN 1
#endif
#endif
#ifdef QIRA_HAS_ASAN
// The sanitizer's allocation hooks (its interface header is not always installed).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onAllocate)(const volatile void*, size_t),
                                                          void (*onFree)(const volatile void*));
#endif

namespace qira {
namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* name, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  const size_t from = out.size();
  out.insert(out.end(), name, name + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, ~UpdateCRC(0xFFFFFFFFu, out.data() + from, out.size() - from));
}

// An 8-bit grey picture of width x height whose image data is `rawBytes` zero
// bytes deflated at the best level (a whole picture when rawBytes covers it).
std::vector<uint8_t> GreyPng(uint32_t width, uint32_t height, size_t rawBytes) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
  PutChunk(out, "IHDR", ihdr);
  const std::vector<uint8_t> raw(rawBytes, 0);
  std::vector<uint8_t> packed(compressBound(raw.size()));
  uLongf packedSize = packed.size();
  EXPECT_EQ(compress2(packed.data(), &packedSize, raw.data(), raw.size(), 9), Z_OK);
  packed.resize(packedSize);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

#ifdef QIRA_HAS_ASAN
std::atomic<bool> measuring{false};
std::atomic<size_t> largest{0};
void NoteAllocation(const volatile void*, size_t size) {
  if (measuring && size > largest) largest = size;
}
void NoteFree(const volatile void*) {}
#endif

TEST(PngDeclaredSize, ATinyFileDeclaringAHugePictureIsRefusedWithoutAllocatingIt) {
  const std::vector<uint8_t> bytes = GreyPng(11000, 11000, 16);
  ASSERT_LT(bytes.size(), 80u);
#ifdef QIRA_HAS_ASAN
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree) != 0;
  ASSERT_TRUE(hooked);
  largest = 0;
  measuring = true;
#endif
  TPNGObject png;
  TMemoryStream stream(bytes.data(), bytes.size());
  EXPECT_THROW(png.LoadFromStream(stream), EPngUnexpectedEnd);
#ifdef QIRA_HAS_ASAN
  measuring = false;
  EXPECT_LT(largest.load(), size_t{1} << 20);
#endif
}

// Deflate's best ratio still fits: an all-zero picture compressed as far as it
// goes is read.
TEST(PngDeclaredSize, APictureCompressedAtTheBestRatioStillLoads) {
  const uint32_t side = 1500;
  const std::vector<uint8_t> bytes = GreyPng(side, side, size_t{side} * (side + 1));
  TPNGObject png;
  TMemoryStream stream(bytes.data(), bytes.size());
  ASSERT_NO_THROW(png.LoadFromStream(stream));
  EXPECT_EQ(png.Width(), static_cast<int32_t>(side));
}

}  // namespace
}  // namespace qira

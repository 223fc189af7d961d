#include "imaging/PngCrc.h"

#include <zlib.h>

#include <algorithm>

namespace qira {

// zlib's CRC-32 is the same polynomial, computed several bytes at a time; it
// takes and gives the register inverted.
uint32_t UpdateCRC(uint32_t crc, const void* buffer, size_t length) {
  const auto* p = static_cast<const Bytef*>(buffer);
  uLong c = ~crc & 0xFFFFFFFFu;
  while (length > 0) {
    const auto n = static_cast<uInt>(std::min<size_t>(length, 0x40000000));
    c = crc32(c, p, n);
    p += n;
    length -= n;
  }
  return ~static_cast<uint32_t>(c);
}

}  // namespace qira

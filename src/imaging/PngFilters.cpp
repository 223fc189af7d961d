#include "imaging/PngFilters.h"

#include <cstdlib>
#include <cstring>

#include "imaging/PngObject.h"

namespace qira {

uint64_t PngBytesPerRow(uint8_t colorType, uint8_t bitDepth, uint64_t width) {
  uint64_t samples = 0;
  switch (colorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE: samples = 1; break;
    case COLOR_RGB: samples = 3; break;
    case COLOR_GRAYSCALEALPHA: samples = 2; break;
    case COLOR_RGBALPHA: samples = 4; break;
    default: return 0;
  }
  return (samples * bitDepth * width + 7) / 8;
}

int32_t PngFilterDistance(uint8_t colorType, uint8_t bitDepth) {
  switch (colorType) {
    case COLOR_GRAYSCALE: return bitDepth == 16 ? 2 : 1;
    case COLOR_PALETTE: return 1;
    case COLOR_RGB: return bitDepth * 3 / 8;
    case COLOR_GRAYSCALEALPHA: return bitDepth * 2 / 8;
    case COLOR_RGBALPHA: return bitDepth * 4 / 8;
    default: return 0;
  }
}

uint8_t PaethPredictor(uint8_t left, uint8_t above, uint8_t upperLeft) {
  const int p = int{left} + above - upperLeft;
  const int pa = std::abs(p - left);
  const int pb = std::abs(p - above);
  const int pc = std::abs(p - upperLeft);
  if (pa <= pb && pa <= pc) return left;
  if (pb <= pc) return above;
  return upperLeft;
}

namespace {

// Positions j = 2 .. n - 1 whose byte repeats one of the two before it: the
// encoder's measure of how well a filtered row will compress.
int32_t RepeatCount(std::span<const uint8_t> row) {
  int32_t count = 0;
  for (size_t j = 2; j < row.size(); ++j)
    if (row[j] == row[j - 1] || row[j] == row[j - 2]) ++count;
  return count;
}

}  // namespace

uint8_t ChoosePngFilter(uint8_t filterSet, std::span<const uint8_t> cur, std::span<uint8_t> prev,
                        std::array<std::span<uint8_t>, 4> out, int32_t distance) {
  const size_t n = cur.size();
  const size_t d = distance > 0 ? static_cast<size_t>(distance) : 1;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t left = i >= d ? cur[i - d] : 0;
    const uint8_t upperLeft = i >= d ? prev[i - d] : 0;
    if (filterSet & pfSub) out[0][i] = static_cast<uint8_t>(cur[i] - left);
    if (filterSet & pfUp) out[1][i] = static_cast<uint8_t>(cur[i] - prev[i]);
    if (filterSet & pfAverage) out[2][i] = static_cast<uint8_t>(cur[i] - ((prev[i] + left) / 2));
    if (filterSet & pfPaeth) out[3][i] = static_cast<uint8_t>(cur[i] - PaethPredictor(left, prev[i], upperLeft));
  }
  std::memcpy(prev.data(), cur.data(), n);

  if ((filterSet & 0x1F) == 0 || (filterSet & 0x1F) == pfNone) return FILTER_NONE;
  int candidates = 0;
  for (int bit = 0; bit < 5; ++bit)
    if (filterSet & (1 << bit)) ++candidates;
  if (candidates == 1) {
    for (uint8_t type = 1; type <= 4; ++type)
      if (filterSet & (1 << type)) return type;
  }
  uint8_t best = FILTER_NONE;
  int32_t bestCount = 0;
  for (uint8_t type = 0; type <= 4; ++type) {
    if (!(filterSet & (1 << type))) continue;
    const int32_t count = RepeatCount(type == 0 ? cur : std::span<const uint8_t>(out[type - 1].data(), n));
    if (count > bestCount) {
      bestCount = count;
      best = type;
    }
  }
  return best;
}

bool UnfilterPngRow(uint8_t type, std::span<uint8_t> row, std::span<const uint8_t> prev, int32_t distance) {
  const size_t n = row.size();
  const size_t d = distance > 0 ? static_cast<size_t>(distance) : 1;
  switch (type) {
    case FILTER_NONE: return true;
    case FILTER_SUB:
      for (size_t i = d; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - d]);
      return true;
    case FILTER_UP:
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return true;
    case FILTER_AVERAGE:
      for (size_t i = 0; i < n; ++i) {
        const uint8_t left = i >= d ? row[i - d] : 0;
        row[i] = static_cast<uint8_t>(row[i] + ((left + prev[i]) / 2));
      }
      return true;
    case FILTER_PAETH:
      for (size_t i = 0; i < n; ++i) {
        const uint8_t left = i >= d ? row[i - d] : 0;
        const uint8_t upperLeft = i >= d ? prev[i - d] : 0;
        row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(left, prev[i], upperLeft));
      }
      return true;
    default: return false;
  }
}

}  // namespace qira

#include "imaging/PngFilters.h"

#include <algorithm>
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

namespace {

// Positions j = 2 .. n - 1 whose byte repeats one of the two before it: the
// encoder's measure of how well a filtered row will compress.
int32_t RepeatCount(std::span<const uint8_t> row) {
  const uint8_t* r = row.data();
  int32_t count = 0;
  for (size_t j = 2; j < row.size(); ++j) count += static_cast<int32_t>((r[j] == r[j - 1]) | (r[j] == r[j - 2]));
  return count;
}

}  // namespace

uint8_t ChoosePngFilter(uint8_t filterSet, std::span<const uint8_t> cur, std::span<uint8_t> prev,
                        std::array<std::span<uint8_t>, 4> out, int32_t distance) {
  const size_t n = cur.size();
  const size_t d = std::min(distance > 0 ? static_cast<size_t>(distance) : 1, n);
  const uint8_t* c = cur.data();
  const uint8_t* up = prev.data();
  // Each candidate in a loop of its own, so the compiler can vectorise it;
  // the first d bytes have no left neighbour (0).
  if (filterSet & pfSub) {
    uint8_t* o = out[0].data();
    for (size_t i = 0; i < d; ++i) o[i] = c[i];
    for (size_t i = d; i < n; ++i) o[i] = static_cast<uint8_t>(c[i] - c[i - d]);
  }
  if (filterSet & pfUp) {
    uint8_t* o = out[1].data();
    for (size_t i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(c[i] - up[i]);
  }
  if (filterSet & pfAverage) {
    uint8_t* o = out[2].data();
    for (size_t i = 0; i < d; ++i) o[i] = static_cast<uint8_t>(c[i] - up[i] / 2);
    for (size_t i = d; i < n; ++i) o[i] = static_cast<uint8_t>(c[i] - ((up[i] + c[i - d]) / 2));
  }
  if (filterSet & pfPaeth) {
    uint8_t* o = out[3].data();
    for (size_t i = 0; i < d; ++i) o[i] = static_cast<uint8_t>(c[i] - up[i]);
    for (size_t i = d; i < n; ++i) o[i] = static_cast<uint8_t>(c[i] - PaethPredictor(c[i - d], up[i], up[i - d]));
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

namespace {

// The filters that look left, for a distance known when compiling: the bytes of
// one pixel are undone together and the loop carries no variable stride, which is
// where the decoder spends its time besides inflating.
template <size_t D>
bool UnfilterLeft(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n) {
  if (n < D) return false;
  switch (type) {
    case FILTER_SUB:
      for (size_t i = D; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - D]);
      return true;
    case FILTER_AVERAGE:
      for (size_t i = 0; i < D; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i] / 2);
      for (size_t i = D; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - D] + prev[i]) / 2));
      return true;
    case FILTER_PAETH:
      for (size_t i = 0; i < D; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      for (size_t i = D; i < n; ++i)
        row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(row[i - D], prev[i], prev[i - D]));
      return true;
    default: return false;
  }
}

}  // namespace

bool UnfilterPngRow(uint8_t type, std::span<uint8_t> row, std::span<const uint8_t> prev, int32_t distance) {
  const size_t n = row.size();
  const size_t d = distance > 0 ? static_cast<size_t>(distance) : 1;
  if (type == FILTER_SUB || type == FILTER_AVERAGE || type == FILTER_PAETH) {
    bool done = false;
    switch (d) {
      case 1: done = UnfilterLeft<1>(type, row.data(), prev.data(), n); break;
      case 2: done = UnfilterLeft<2>(type, row.data(), prev.data(), n); break;
      case 3: done = UnfilterLeft<3>(type, row.data(), prev.data(), n); break;
      case 4: done = UnfilterLeft<4>(type, row.data(), prev.data(), n); break;
      case 6: done = UnfilterLeft<6>(type, row.data(), prev.data(), n); break;
      case 8: done = UnfilterLeft<8>(type, row.data(), prev.data(), n); break;
      default: break;
    }
    if (done) return true;
  }
  switch (type) {
    case FILTER_NONE: return true;
    case FILTER_SUB:
      for (size_t i = d; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - d]);
      return true;
    case FILTER_UP:
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return true;
    case FILTER_AVERAGE:
      for (size_t i = 0; i < d && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i] / 2);
      for (size_t i = d; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - d] + prev[i]) / 2));
      return true;
    case FILTER_PAETH:
      // With no left neighbour the predictor is the byte above.
      for (size_t i = 0; i < d && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      for (size_t i = d; i < n; ++i)
        row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(row[i - d], prev[i], prev[i - d]));
      return true;
    default: return false;
  }
}

}  // namespace qira

#pragma once
// Row geometry, the five row filters and the Adam7 pass tables of the PNG
// standard, shared by the encoder and the decoder.
#include <array>
#include <cstdint>
#include <span>

namespace qira {

// Bytes of one row of `width` pixels: (samples × depth × width + 7) div 8,
// with 1 sample for colour types 0 and 3, 3 for 2, 2 for 4, 4 for 6; 0 for
// any other type.
uint64_t PngBytesPerRow(uint8_t colorType, uint8_t bitDepth, uint64_t width);
// Bytes of one complete pixel (1 below 8 bits); 0 for an unknown colour type.
int32_t PngFilterDistance(uint8_t colorType, uint8_t bitDepth);

// Inline: it runs once per byte in the encoder's and the decoder's loops.
inline uint8_t PaethPredictor(uint8_t left, uint8_t above, uint8_t upperLeft) {
  const int p = int{left} + above - upperLeft;
  const int pa = p > left ? p - left : left - p;
  const int pb = p > above ? p - above : above - p;
  const int pc = p > upperLeft ? p - upperLeft : upperLeft - p;
  if (pa <= pb && pa <= pc) return left;
  if (pb <= pc) return above;
  return upperLeft;
}

// Filter types as stored in front of each row.
enum : uint8_t { FILTER_NONE = 0, FILTER_SUB = 1, FILTER_UP = 2, FILTER_AVERAGE = 3, FILTER_PAETH = 4 };

// The encoder's choice for one row among the filters in filterSet (pfNone ..
// pfPaeth bits): computes the candidates into `out` (4 buffers of cur's size,
// for sub, up, average and Paeth), copies cur into prev, and returns the
// filter type. The filtered bytes are `cur` for FILTER_NONE, else out[type-1].
uint8_t ChoosePngFilter(uint8_t filterSet, std::span<const uint8_t> cur, std::span<uint8_t> prev,
                        std::array<std::span<uint8_t>, 4> out, int32_t distance);

// Undoes the filter `type` on row in place against prev (both row.size()
// long); bytes before the row start count as 0. An unknown type leaves the
// row as it is and returns false.
bool UnfilterPngRow(uint8_t type, std::span<uint8_t> row, std::span<const uint8_t> prev, int32_t distance);

struct TAdam7Pass {
  uint32_t RowStart, ColumnStart, RowIncrement, ColumnIncrement;
};
inline constexpr std::array<TAdam7Pass, 7> kAdam7Passes = {{
    {0, 0, 8, 8},
    {0, 4, 8, 8},
    {4, 0, 8, 4},
    {0, 2, 4, 4},
    {2, 0, 4, 2},
    {0, 1, 2, 2},
    {1, 0, 2, 1},
}};

// Pixels of a pass in a row of `width`: (width − start + increment − 1) div increment.
inline uint32_t Adam7PassWidth(const TAdam7Pass& pass, uint32_t width) {
  return width > pass.ColumnStart ? (width - pass.ColumnStart + pass.ColumnIncrement - 1) / pass.ColumnIncrement
                                  : 0;
}

}  // namespace qira

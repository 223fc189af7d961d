#pragma once
// The range of chart coordinates: what the platform canvas draws in. Positions
// worked out from input (projections, formatted text) are computed in 64 bits and
// clamped to it, so none wraps.
#include <algorithm>
#include <cstdint>

namespace qira {

inline constexpr int32_t kChartCoordLimit = int32_t{1} << 27;

// A 64-bit value clamped to ±kChartCoordLimit.
inline int32_t ClampChartCoord(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -kChartCoordLimit, kChartCoordLimit));
}

}  // namespace qira

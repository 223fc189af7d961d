#pragma once
// The one rounding rule and the one float-to-int conversion of the program.
// Where the system rounds, halves go to the even neighbour; a conversion to an
// integer never overflows: it saturates, and NaN gives 0.
#include <cmath>
#include <cstdint>
#include <limits>

namespace qira {

// Nearest integer value, halves to even (the default floating-point mode).
inline double RoundHalfEven(double x) { return std::nearbyint(x); }

// Clamps a real to the range of T and truncates toward zero; NaN gives 0.
template <typename T>
inline T SaturateCast(double x) {
  static_assert(std::numeric_limits<T>::is_integer);
  if (std::isnan(x)) return 0;
  constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
  // The largest value of a 64-bit type is not representable as a double; compare against 2^bits.
  constexpr double hiExclusive = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
  if (x <= lo) return std::numeric_limits<T>::min();
  if (x >= hiExclusive) return std::numeric_limits<T>::max();
  return static_cast<T>(x);
}

// Rounds halves to even, then saturates into int32.
inline int32_t RoundToInt(double x) { return SaturateCast<int32_t>(RoundHalfEven(x)); }
inline int64_t RoundToInt64(double x) { return SaturateCast<int64_t>(RoundHalfEven(x)); }

// Truncates toward zero, saturating into int32.
inline int32_t TruncToInt(double x) { return SaturateCast<int32_t>(std::trunc(x)); }

// Largest integer not above x, saturating into int32.
inline int32_t FloorToInt(double x) { return SaturateCast<int32_t>(std::floor(x)); }

}  // namespace qira

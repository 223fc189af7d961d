#include "scene/math/CubicSpline.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/Rounding.h"

namespace qira {

namespace {

using TSegment = TCubicSpline::TSegment;

// Knot derivatives D of samples y[0..n-1], n >= 2: the tridiagonal system with
// diagonal 2, 4, ..., 4, 2 and off-diagonals 1, by a Cholesky-style sweep whose
// factors L and U are single floats.
std::vector<double> KnotDerivatives(const float* y, std::size_t n) {
  std::vector<float> l(n);
  std::vector<float> u(n - 1);
  l[0] = std::bit_cast<float>(std::uint32_t{0x3FB504F3});  // sqrt(2)
  u[0] = std::bit_cast<float>(std::uint32_t{0x3F3504F4});  // 1/sqrt(2)
  for (std::size_t i = 1; i + 1 < n; ++i) {
    l[i] = static_cast<float>(std::sqrt(4.0 - double(u[i - 1]) * u[i - 1]));
    u[i] = static_cast<float>(1.0 / double(l[i]));
  }
  l[n - 1] = static_cast<float>(std::sqrt(2.0 - double(u[n - 2]) * u[n - 2]));

  const auto rhs = [&](std::size_t i) {
    if (i == 0) return 3.0 * (double(y[1]) - y[0]);
    if (i == n - 1) return 3.0 * (double(y[n - 1]) - y[n - 2]);
    return 3.0 * (double(y[i + 1]) - y[i - 1]);
  };
  std::vector<double> forward(n);
  forward[0] = rhs(0) / l[0];
  for (std::size_t i = 1; i < n; ++i) forward[i] = (rhs(i) - forward[i - 1] * u[i - 1]) / l[i];
  std::vector<double> d(n);
  d[n - 1] = forward[n - 1] / l[n - 1];
  for (std::size_t i = n - 1; i-- > 0;) d[i] = (forward[i] - d[i + 1] * u[i]) / l[i];
  return d;
}

std::vector<TSegment> BuildTable(const float* y, int count) {
  if (y == nullptr || count < 2) return {};
  const std::size_t n = std::size_t(count);
  const std::vector<double> d = KnotDerivatives(y, n);
  std::vector<TSegment> table(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double dy = double(y[i + 1]) - y[i];
    const double c3 = -2.0 * dy + d[i] + d[i + 1];
    const double c2 = 3.0 * dy - 2.0 * d[i] - d[i + 1];
    table[i] = {static_cast<float>(c3), static_cast<float>(c2), static_cast<float>(d[i]), y[i]};
  }
  return table;
}

// Segment of t: 0 below the first knot (and for NaN), the last one from the
// last knot on.
std::size_t SegmentIndex(std::size_t segments, float t) {
  if (!(t > 0.0f)) return 0;
  const double last = double(segments);  // the parameter of the last knot, n-1
  const std::size_t i = t <= last ? std::size_t(TruncToInt(t)) : segments;
  return i >= segments ? segments - 1 : i;
}

}  // namespace

TCubicSpline::TCubicSpline(const float* x, const float* y, const float* z, const float* w, int n)
    : x_(BuildTable(x, n)),
      y_(BuildTable(y, n)),
      z_(BuildTable(z, n)),
      w_(BuildTable(w, n)),
      count_(n) {}

float TCubicSpline::Value(const std::vector<TSegment>& table, float t) {
  if (table.empty()) return 0.0f;
  const std::size_t i = SegmentIndex(table.size(), t);
  const TSegment& s = table[i];
  const double u = double(t) - double(i);
  return static_cast<float>(((s.a * u + s.b) * u + s.c) * u + s.d);
}

float TCubicSpline::Slope(const std::vector<TSegment>& table, float t) {
  if (table.empty()) return 0.0f;
  const std::size_t i = SegmentIndex(table.size(), t);
  const TSegment& s = table[i];
  const double u = double(t) - double(i);
  return static_cast<float>((3.0 * s.a * u + 2.0 * s.b) * u + s.c);
}

float TCubicSpline::EvalX(float t) const { return Value(x_, t); }

void TCubicSpline::EvalToFloats(float t, float& x, float& y, float& z) const {
  x = Value(x_, t);
  y = Value(y_, t);
  z = Value(z_, t);
}

TAffineVector TCubicSpline::EvalXYZ(float t) const {
  return {Value(x_, t), Value(y_, t), Value(z_, t)};
}

TAffineVector TCubicSpline::EvalAffineSlope(float t) const {
  return {Slope(x_, t), Slope(y_, t), Slope(z_, t)};
}

}  // namespace qira

#include "scene/math/PolynomialSolvers.h"

#include <algorithm>
#include <cmath>

namespace qira {

namespace {

constexpr double kOneThird = 1.0 / 3.0;
constexpr double kHalf = 0.5;
constexpr double kTwoTwentySevenths = 2.0 / 27.0;
constexpr double kPiThird = 3.14159265358979323846 / 3.0;

// A value this small against the magnitude of the terms it was formed from is
// rounding noise: a true zero that came out a few ulps away from 0. The
// absolute `IsZero` alone would drop double roots (a discriminant a hair on
// the wrong side of 0) and turn a quartic with four real roots into none
// (u or v a hair below 0). Roots closer than about 1e-6 of their scale merge.
constexpr double kDiscriminantNoise = 1e-12;

bool IsNoise(double value, double scale, double relative) {
  return std::fabs(value) <= relative * scale;
}

// Rounding noise on the side of 0 that would lose roots is taken as 0; noise
// on the other side keeps its value.
double NoiseBelowZeroAsZero(double value, double scale, double relative) {
  return value < 0.0 && IsNoise(value, scale, relative) ? 0.0 : value;
}

}  // namespace

bool IsZero(double x) { return std::fabs(x) <= 1e-40; }

// In double precision: a single-precision power would cap every root of the
// cubic branch at about 1e-7 relative accuracy.
double CubeRoot(double x) {
  if (x > 0.0) return std::cbrt(x);
  if (x < 0.0) return -std::cbrt(-x);
  return 0.0;
}

std::vector<double> SolveQuadric(const std::array<double, 3>& c) {
  if (IsZero(c[2])) {
    // Not a quadratic: solved as the linear equation it is.
    if (IsZero(c[1])) return {};
    return {-c[0] / c[1]};
  }
  const double p = c[1] / (2.0 * c[2]);
  const double q = c[0] / c[2];
  const double d =
      NoiseBelowZeroAsZero(p * p - q, std::max(p * p, std::fabs(q)), kDiscriminantNoise);
  if (IsZero(d)) return {-p};
  if (d > 0.0) {
    const double s = std::sqrt(d);
    return {s - p, -s - p};
  }
  return {};  // negative or NaN discriminant
}

std::vector<double> SolveCubic(const std::array<double, 4>& c) {
  if (IsZero(c[3])) return SolveQuadric({c[0], c[1], c[2]});

  const double inv = 1.0 / c[3];
  const double a = c[2] * inv;
  const double b = c[1] * inv;
  const double cc = c[0] * inv;

  // x = y - A/3 removes the square term: y^3 + 3p y + 2q = 0.
  const double sqA = a * a;
  const double p = kOneThird * (b - kOneThird * sqA);
  const double q = kHalf * (kTwoTwentySevenths * a * sqA - kOneThird * a * b + cc);
  const double cbp = p * p * p;
  const double d = q * q + cbp;

  std::vector<double> roots;
  // Noise above 0 would drop a double root; noise below 0 takes the
  // three-root branch, which yields it (twice).
  if (IsZero(d) || (d > 0.0 && IsNoise(d, std::max(q * q, std::fabs(cbp)), kDiscriminantNoise))) {
    if (IsZero(q)) {
      roots = {0.0};  // triple root
    } else {
      const double u = CubeRoot(-q);
      roots = {2.0 * u, -u};
    }
  } else if (d < 0.0) {
    // Three real roots. Rounding can push the cosine a hair beyond 1 near a
    // double root; clamped, the double root comes out twice instead of NaN.
    // The reciprocal square root is taken in double: a single-precision one
    // moves a double root by about 1e-4 of its size.
    const double cosine = std::clamp(-q / std::sqrt(-cbp), -1.0, 1.0);
    const double phi = kOneThird * std::acos(cosine);
    const double t = 2.0 * std::sqrt(-p);
    roots = {t * std::cos(phi), -t * std::cos(phi + kPiThird), -t * std::cos(phi - kPiThird)};
  } else if (d > 0.0) {
    const double s = std::sqrt(d);
    roots = {CubeRoot(s - q) - CubeRoot(s + q)};
  }
  // A NaN discriminant gives no root.

  const double shift = kOneThird * a;
  for (double& r : roots) r -= shift;
  return roots;
}

std::vector<double> SolveQuartic(const std::array<double, 5>& c) {
  if (IsZero(c[4])) return SolveCubic({c[0], c[1], c[2], c[3]});

  const double inv = 1.0 / c[4];
  const double a = c[3] * inv;
  const double b = c[2] * inv;
  const double cc = c[1] * inv;
  const double dd = c[0] * inv;

  // x = y - A/4 removes the cubic term: y^4 + p y^2 + q y + r = 0.
  const double sqA = a * a;
  const double p = -0.375 * sqA + b;
  const double q = 0.125 * sqA * a - 0.5 * a * b + cc;
  const double r = -(3.0 / 256.0) * sqA * sqA + 0.0625 * sqA * b - 0.25 * a * cc + dd;

  std::vector<double> roots;
  if (IsZero(r)) {
    // y (y^3 + p y + q) = 0
    roots = SolveCubic({q, p, 0.0, 1.0});
    roots.push_back(0.0);
  } else {
    const std::vector<double> resolvent =
        SolveCubic({0.5 * r * p - 0.125 * q * q, -r, -0.5 * p, 1.0});
    if (resolvent.empty()) return {};
    // u = sqrt(z*z - r), v = sqrt(2z - p) for a resolvent root z; false when
    // the radicands are negative (no real root through this z). For a root z,
    // u^2 v^2 = q^2/4 exactly, so the smaller radical is taken from the larger
    // one through that identity: its own radicand is a difference of nearly
    // equal terms whose rounding noise the square root would magnify.
    const auto radicals = [&](double z, double& u, double& v) {
      const double u2 = z * z - r;
      const double v2 = 2.0 * z - p;
      const double uScale = std::max(z * z, std::fabs(r));
      const double vScale = std::max(std::fabs(2.0 * z), std::fabs(p));
      if (v2 > 0.0 && v2 / vScale >= u2 / uScale) {
        v = std::sqrt(v2);
        u = std::fabs(q) / (2.0 * v);
      } else if (u2 > 0.0) {
        u = std::sqrt(u2);
        v = std::fabs(q) / (2.0 * u);
      } else if (IsNoise(u2, uScale, kDiscriminantNoise) && IsNoise(v2, vScale, kDiscriminantNoise)) {
        u = 0.0;
        v = 0.0;
      } else {
        return false;  // negative or NaN
      }
      return true;
    };
    double z = resolvent.front();
    double u = 0.0;
    double v = 0.0;
    if (!radicals(z, u, v)) {
      // When the resolvent has a double root, the first root can land a hair
      // on the wrong side and lose every real root of the quartic. The largest
      // resolvent root always has both radicands >= 0 when real roots exist.
      z = *std::max_element(resolvent.begin(), resolvent.end());
      if (!radicals(z, u, v)) return {};
    }
    roots = SolveQuadric({z - u, q >= 0.0 ? v : -v, 1.0});
    const std::vector<double> second = SolveQuadric({z + u, q >= 0.0 ? -v : v, 1.0});
    roots.insert(roots.end(), second.begin(), second.end());
  }

  const double shift = 0.25 * a;
  for (double& root : roots) root -= shift;
  return roots;
}

bool SmallestNonNegativeRoot(std::span<const double> roots, double& result) {
  bool found = false;
  double best = 0.0;
  for (const double root : roots) {
    if (root >= 0.0 && (!found || root < best)) {
      best = root;
      found = true;
    }
  }
  if (found) result = best;
  return found;
}

}  // namespace qira

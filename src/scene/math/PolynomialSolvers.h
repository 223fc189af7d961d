#pragma once
// Real roots of polynomials of degree 2, 3 and 4 in closed form, for the exact
// ray casts of quadric primitives.
//
// Coefficients are in ascending powers: c[0] + c[1] x + c[2] x^2 + ...
// Roots come in the order the method produces them, not sorted; a repeated
// root is listed once where the method yields it once. A leading coefficient
// that passes `IsZero` drops the degree by one.
#include <array>
#include <span>
#include <vector>

namespace qira {

// |x| <= 1e-40.
bool IsZero(double x);

// Roots: one (-p) for a zero discriminant, else sqrt(D) - p then
// -sqrt(D) - p, else none. A zero c[2] solves the linear equation instead.
std::vector<double> SolveQuadric(const std::array<double, 3>& c);
std::vector<double> SolveCubic(const std::array<double, 4>& c);
std::vector<double> SolveQuartic(const std::array<double, 5>& c);

// False when no root is >= 0; else true with the smallest root >= 0 (the
// first one scanned on ties).
bool SmallestNonNegativeRoot(std::span<const double> roots, double& result);

// Real cube root; 0 for 0, odd for negative x.
double CubeRoot(double x);

}  // namespace qira

#include "scene/math/PolynomialSolvers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qira {
namespace {

constexpr double kRelTol = 1e-5;

double Tolerance(double expected) { return kRelTol * std::max(1.0, std::fabs(expected)); }

// Roots in the method's order, each to the relative tolerance.
void ExpectRootsInOrder(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << testing::PrintToString(actual);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(actual[i], expected[i], Tolerance(expected[i])) << "root " << i;
}

// Every expected root (distinct values) is found, and every found root is one of them.
void ExpectSameRootSet(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_FALSE(actual.empty());
  for (const double e : expected) {
    const bool found = std::any_of(actual.begin(), actual.end(),
                                   [&](double a) { return std::fabs(a - e) <= Tolerance(e); });
    EXPECT_TRUE(found) << "missing root " << e << " in " << testing::PrintToString(actual);
  }
  for (const double a : actual) {
    const bool known = std::any_of(expected.begin(), expected.end(),
                                   [&](double e) { return std::fabs(a - e) <= Tolerance(e); });
    EXPECT_TRUE(known) << "spurious root " << a;
  }
}

// Monic coefficients, ascending, of the product of (x - r).
std::vector<double> FromRoots(const std::vector<double>& roots) {
  std::vector<double> c = {1.0};
  for (const double r : roots) {
    std::vector<double> next(c.size() + 1, 0.0);
    for (std::size_t i = 0; i < c.size(); ++i) {
      next[i + 1] += c[i];
      next[i] -= r * c[i];
    }
    c = next;
  }
  return c;
}

std::array<double, 4> Cubic(const std::vector<double>& roots) {
  const auto c = FromRoots(roots);
  return {c[0], c[1], c[2], c[3]};
}

std::array<double, 5> Quartic(const std::vector<double>& roots) {
  const auto c = FromRoots(roots);
  return {c[0], c[1], c[2], c[3], c[4]};
}

// ---- The method's root order -----------------------------------------------

TEST(PolynomialSolversOrder, QuadraticGivesPlusRootThenMinusRoot) {
  ExpectRootsInOrder(SolveQuadric({-1, 0, 1}), {1, -1});
  ExpectRootsInOrder(SolveQuadric({6, -5, 1}), {3, 2});
  ExpectRootsInOrder(SolveQuadric({0, 0, 1}), {0});
  ExpectRootsInOrder(SolveQuadric({1, 0, 1}), {});
}

TEST(PolynomialSolversOrder, CubicWithThreeRealRootsUsesTheTrigonometricOrder) {
  ExpectRootsInOrder(SolveCubic(Cubic({1, 2, 3})), {3, 2, 1});
  ExpectRootsInOrder(SolveCubic({0, 0, 0, 1}), {0});
}

TEST(PolynomialSolversOrder, QuarticWithZeroConstantListsTheCubicRootsThenZero) {
  // x^4 + 4x^3 + 5x^2 + 2x: roots of y^3 - y, then 0, each shifted by -1.
  ExpectRootsInOrder(SolveQuartic({0, 2, 5, 4, 1}), {0, -1, -2, -1});
}

TEST(PolynomialSolversOrder, QuarticListsTheTwoQuadraticsInTurn) {
  ExpectRootsInOrder(SolveQuartic(Quartic({-1, 0.5, 2, 3})), {0.5, -1, 3, 2});
}

// ---- Known roots ---------------------------------------------------------

struct RootsCase {
  const char* name;
  std::vector<double> roots;
};

class CubicRootsTest : public testing::TestWithParam<RootsCase> {};

TEST_P(CubicRootsTest, FindsEveryRoot) {
  ExpectSameRootSet(SolveCubic(Cubic(GetParam().roots)), GetParam().roots);
  // Scaling the polynomial does not change its roots.
  auto c = Cubic(GetParam().roots);
  for (double& x : c) x *= -3.5;
  ExpectSameRootSet(SolveCubic(c), GetParam().roots);
}

INSTANTIATE_TEST_SUITE_P(
    PolynomialSolvers, CubicRootsTest,
    testing::Values(RootsCase{"Distinct", {1, 2, 3}}, RootsCase{"Mixed", {-4.5, 0.25, 7}},
                    RootsCase{"DoubleRootBelow", {1, 1, 2}}, RootsCase{"DoubleRootAbove", {3, 3, 1}},
                    RootsCase{"DoubleRootHalf", {0.5, 0.5, 7}},
                    RootsCase{"DoubleNegative", {-1.5, -1.5, 4}}, RootsCase{"TripleOne", {1, 1, 1}},
                    RootsCase{"TripleNegative", {-3, -3, -3}}, RootsCase{"TripleZero", {0, 0, 0}},
                    RootsCase{"Large", {100, 250, -40}}),
    [](const testing::TestParamInfo<RootsCase>& info) { return std::string(info.param.name); });

TEST(PolynomialSolversCubic, OneRealRootWithAComplexPair) {
  // (x - 2)(x^2 + 1)
  ExpectRootsInOrder(SolveCubic({-2, 1, -2, 1}), {2});
}

TEST(PolynomialSolversCubic, DoubleRootNeverBecomesNaN) {
  for (const double r : {0.1, 0.5, 1.0, 3.0, 17.0}) {
    for (const double s : {-2.0, 4.0, 9.5}) {
      const auto roots = SolveCubic(Cubic({r, r, s}));
      for (const double x : roots) EXPECT_FALSE(std::isnan(x)) << r << " " << s;
      ExpectSameRootSet(roots, {r, s});
    }
  }
}

class QuarticRootsTest : public testing::TestWithParam<RootsCase> {};

TEST_P(QuarticRootsTest, FindsEveryRoot) {
  ExpectSameRootSet(SolveQuartic(Quartic(GetParam().roots)), GetParam().roots);
}

INSTANTIATE_TEST_SUITE_P(
    PolynomialSolvers, QuarticRootsTest,
    testing::Values(RootsCase{"Distinct", {-1, 0.5, 2, 3}},
                    // Symmetric roots: the cubic term and q vanish, u or v is a hair from 0.
                    RootsCase{"Symmetric", {1, 2, 3, 4}}, RootsCase{"SymmetricNegative", {-7, -5, -3, -1}},
                    RootsCase{"DoubleRoot", {1, 1, 2, 3}}, RootsCase{"TwoDoubleRoots", {1, 1, 2, 2}},
                    RootsCase{"TwoDoubleRootsApart", {0, 0, -16, -16}},
                    RootsCase{"TripleRoot", {2, 2, 2, 5}}, RootsCase{"QuadrupleRoot", {1, 1, 1, 1}},
                    RootsCase{"ZeroRoot", {0, -1, -1, -2}}, RootsCase{"Wide", {-20, -0.5, 3, 40}}),
    [](const testing::TestParamInfo<RootsCase>& info) { return std::string(info.param.name); });

TEST(PolynomialSolversQuartic, TwoRealRootsWithAComplexPair) {
  // (x^2 + 2x + 5)(x - 1)(x - 4)
  ExpectSameRootSet(SolveQuartic({20, -17, -1, -3, 1}), {1, 4});
}

TEST(PolynomialSolversQuartic, NoRealRoot) {
  // (x^2 + 1)(x^2 + 4)
  EXPECT_TRUE(SolveQuartic({4, 0, 5, 0, 1}).empty());
}

TEST(PolynomialSolversQuartic, RandomRealRootsAreAllFound) {
  std::mt19937 generator(12345);
  std::uniform_real_distribution<double> root(-10.0, 10.0);
  for (int i = 0; i < 2000; ++i) {
    const std::vector<double> roots = {root(generator), root(generator), root(generator),
                                       root(generator)};
    const auto found = SolveQuartic(Quartic(roots));
    ASSERT_EQ(found.size(), 4u) << testing::PrintToString(roots);
    ExpectSameRootSet(found, roots);
  }
}

// ---- Degree drop and degenerate input ----------------------------------------

TEST(PolynomialSolversDegenerate, ZeroLeadingCoefficientDropsTheDegree) {
  ExpectRootsInOrder(SolveCubic({-1, 0, 1, 0}), {1, -1});
  ExpectRootsInOrder(SolveQuartic({6, -5, 1, 0, 0}), {3, 2});
  ExpectRootsInOrder(SolveQuartic({6, -5, 1, 0, 1e-41}), {3, 2});
}

TEST(PolynomialSolversDegenerate, QuadricWithoutSquareTermIsSolvedAsLinear) {
  ExpectRootsInOrder(SolveQuadric({-6, 3, 0}), {2});
  ExpectRootsInOrder(SolveQuadric({1, 0, 0}), {});
}

TEST(PolynomialSolversDegenerate, NaNCoefficientsGiveNoRoot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(SolveQuadric({nan, 1, 1}).empty());
  EXPECT_TRUE(SolveCubic({nan, 1, 1, 1}).empty());
  for (const double x : SolveQuartic({nan, 1, 1, 1, 1})) EXPECT_FALSE(std::isnan(x));
}

TEST(PolynomialSolvers, CubeRootKeepsTheSign) {
  EXPECT_NEAR(CubeRoot(27), 3, 1e-12);
  EXPECT_NEAR(CubeRoot(-8), -2, 1e-12);
  EXPECT_EQ(CubeRoot(0), 0);
  EXPECT_TRUE(IsZero(1e-40));
  EXPECT_FALSE(IsZero(1.1e-40));
}

// ---- Nearest root in front ---------------------------------------------------

TEST(PolynomialSolversNearest, SmallestNonNegativeRoot) {
  double result = -1;
  ASSERT_TRUE(SmallestNonNegativeRoot(std::vector<double>{-2, 3, 0.5}, result));
  EXPECT_EQ(result, 0.5);
  ASSERT_TRUE(SmallestNonNegativeRoot(std::vector<double>{4, 0, 1}, result));
  EXPECT_EQ(result, 0.0);
  result = 99;
  EXPECT_FALSE(SmallestNonNegativeRoot(std::vector<double>{-1, -2}, result));
  EXPECT_FALSE(SmallestNonNegativeRoot(std::vector<double>{}, result));
  EXPECT_EQ(result, 99);
}

}  // namespace
}  // namespace qira

#include "scene/math/CubicSpline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace qira {
namespace {

TEST(CubicSpline, ThroughCollinearSamplesIsTheLine) {
  const float x[] = {0, 1, 2, 3};
  const TCubicSpline spline(x, nullptr, nullptr, nullptr, 4);
  EXPECT_FLOAT_EQ(spline.EvalX(1.5f), 1.5f);
  for (const float t : {-1.0f, 0.0f, 0.3f, 1.0f, 2.7f, 3.0f, 4.5f}) {
    EXPECT_NEAR(spline.EvalX(t), t, 1e-6f) << t;
    EXPECT_NEAR(spline.EvalAffineSlope(t).x, 1.0f, 1e-6f) << t;
  }
}

TEST(CubicSpline, ReproducesEveryKnotOfALongNodeList) {
  // Coordinates of survey size on 1000 nodes: the coefficients of the far
  // segments must not cancel away the knot values.
  const int n = 1000;
  std::vector<float> x(n), y(n), z(n);
  for (int i = 0; i < n; ++i) {
    x[std::size_t(i)] = 5000.0f + 37.0f * float(i) + 400.0f * std::sin(0.1f * float(i));
    y[std::size_t(i)] = -3000.0f + 250.0f * std::cos(0.037f * float(i));
    z[std::size_t(i)] = float(i % 7) - 300.0f;
  }
  const TCubicSpline spline(x.data(), y.data(), z.data(), nullptr, n);
  for (int i = 0; i < n; ++i) {
    const TAffineVector p = spline.EvalAffinePoint(float(i));
    const std::size_t k = std::size_t(i);
    ASSERT_NEAR(p.x, x[k], 1e-6f * std::fabs(x[k]) + 1e-4f) << i;
    ASSERT_NEAR(p.y, y[k], 1e-6f * std::fabs(y[k]) + 1e-4f) << i;
    ASSERT_NEAR(p.z, z[k], 1e-6f * std::fabs(z[k]) + 1e-4f) << i;
  }
}

TEST(CubicSpline, IsSmoothBetweenKnots) {
  const int n = 1000;
  std::vector<float> y(n);
  for (int i = 0; i < n; ++i) y[std::size_t(i)] = 1000.0f * std::sin(0.05f * float(i));
  const TCubicSpline spline(y.data(), nullptr, nullptr, nullptr, n);
  // Value, slope and curvature agree at every inner knot from both sides.
  const auto& table = spline.XTable();
  ASSERT_EQ(table.size(), std::size_t(n - 1));
  for (std::size_t i = 1; i < table.size(); ++i) {
    const auto& left = table[i - 1];
    const auto& right = table[i];
    EXPECT_NEAR(left.a + left.b + left.c + left.d, right.d, 2e-3f) << i;
    EXPECT_NEAR(3 * left.a + 2 * left.b + left.c, right.c, 2e-3f) << i;
    EXPECT_NEAR(6 * left.a + 2 * left.b, 2 * right.b, 2e-3f) << i;  // curvature too
  }
  // Between knots it follows the sampled curve closely (away from the free ends).
  for (int i = 10; i < n - 10; i += 7) {
    const float t = float(i) + 0.5f;
    EXPECT_NEAR(spline.EvalX(t), 1000.0 * std::sin(0.05 * t), 1e-2) << t;
    EXPECT_NEAR(spline.EvalAffineSlope(t).x, 50.0 * std::cos(0.05 * t), 1e-2) << t;
  }
}

TEST(CubicSpline, LastKnotComesFromTheLastSegment) {
  const float x[] = {0, 4, -2, 7, 1};
  const TCubicSpline spline(x, x, x, x, 5);
  EXPECT_NEAR(spline.EvalX(4.0f), 1.0f, 1e-6f);
  EXPECT_EQ(spline.XTable().size(), 4u);
}

TEST(CubicSpline, NullArrayGivesAnEmptyTableAndOthersStillEvaluate) {
  const float x[] = {0, 1, 4, 9};
  const float y[] = {1, 1, 1, 1};
  const TCubicSpline spline(x, y, nullptr, nullptr, 4);
  EXPECT_TRUE(spline.WTable().empty());
  EXPECT_TRUE(spline.ZTable().empty());
  const TAffineVector p = spline.EvalXYZ(2.0f);
  EXPECT_NEAR(p.x, 4.0f, 1e-6f);
  EXPECT_NEAR(p.y, 1.0f, 1e-6f);
  EXPECT_EQ(p.z, 0.0f);
  float ex = 0, ey = 0, ez = 5;
  spline.EvalToFloats(3.0f, ex, ey, ez);
  EXPECT_NEAR(ex, 9.0f, 1e-5f);
  EXPECT_EQ(ez, 0.0f);
}

TEST(CubicSpline, SingleSampleHasNoSegmentAndEvaluatesToZero) {
  const float x[] = {42};
  const TCubicSpline spline(x, x, x, x, 1);
  EXPECT_TRUE(spline.XTable().empty());
  EXPECT_EQ(spline.EvalX(0.0f), 0.0f);
  EXPECT_EQ(spline.EvalAffineSlope(0.0f).x, 0.0f);
  const TCubicSpline none(x, x, x, x, 0);
  EXPECT_EQ(none.EvalX(0.0f), 0.0f);
}

TEST(CubicSpline, ExtrapolatesTheEndSegments) {
  const float x[] = {0, 1, 0, 1, 0};
  const TCubicSpline spline(x, nullptr, nullptr, nullptr, 5);
  const auto& first = spline.XTable().front();
  const double u = -1.0;
  EXPECT_NEAR(spline.EvalX(-1.0f), ((first.a * u + first.b) * u + first.c) * u + first.d, 1e-6);
  const auto& last = spline.XTable().back();
  const double v = 2.0;  // t = 5 is u = 2 on the last segment (from knot 3)
  EXPECT_NEAR(spline.EvalX(5.0f), ((last.a * v + last.b) * v + last.c) * v + last.d, 1e-5);
}

TEST(CubicSpline, NaNParameterUsesTheFirstSegmentWithoutUndefinedConversion) {
  const float x[] = {0, 1, 2};
  const TCubicSpline spline(x, nullptr, nullptr, nullptr, 3);
  EXPECT_TRUE(std::isnan(spline.EvalX(std::numeric_limits<float>::quiet_NaN())));
  EXPECT_TRUE(std::isinf(spline.EvalX(std::numeric_limits<float>::infinity())) ||
              std::isnan(spline.EvalX(std::numeric_limits<float>::infinity())));
}

}  // namespace
}  // namespace qira

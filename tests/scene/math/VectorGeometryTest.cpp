#include "scene/math/VectorGeometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

namespace qira {
namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectNear(const TVector& actual, const TVector& expected, float tolerance = 1e-6f) {
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

void ExpectNear(const TAffineVector& actual, const TAffineVector& expected,
                float tolerance = 1e-6f) {
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

void ExpectNear(const TMatrix& actual, const TMatrix& expected, float tolerance = 1e-6f) {
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    ExpectNear(actual[i], expected[i], tolerance);
  }
}

TMatrix Translation(float x, float y, float z) {
  return ScaleTranslationMatrix(VectorMake(1, 1, 1), VectorMake(x, y, z));
}

TMatrix Scale(float x, float y, float z) {
  return ScaleTranslationMatrix(VectorMake(x, y, z), NullHmgVector);
}

// ---- Value layout ----------------------------------------------------------

TEST(VectorTypesLayout, MatrixFloatsAreRowsWithTranslationInElementsTwelveToFourteen) {
  const TMatrix m = Translation(7, 8, 9);
  const float* f = m.data();
  EXPECT_EQ(f[12], 7.0f);
  EXPECT_EQ(f[13], 8.0f);
  EXPECT_EQ(f[14], 9.0f);
  EXPECT_EQ(f[15], 1.0f);
  EXPECT_EQ(f[3], 0.0f);
  EXPECT_EQ(&m[2][1], f + 9);
}

TEST(VectorTypesLayout, ThresholdsHaveTheirStoredBits) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(DeterminantThreshold), 0x000116C2u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(cPIdiv180), 0x3C8EFA35u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(c180divPI), 0x42652EE1u);
  EXPECT_EQ(DegToRad(180.0f), cPI);
}

// ---- Vectors ---------------------------------------------------------------

TEST(VectorGeometryVectors, DirectionsGetWZeroAndPointsGetWOne) {
  const TVector a = PointMake(1, 0, 0);
  const TVector b = PointMake(0, 1, 0);
  EXPECT_EQ(VectorCrossProduct(a, b).w, 0.0f);
  ExpectNear(VectorCrossProduct(a, b), VectorMake(0, 0, 1, 0));
  EXPECT_EQ(VectorNormalize(VectorMake(3, 0, 4, 9)).w, 0.0f);
  ExpectNear(VectorNormalize(VectorMake(3, 0, 4, 9)), VectorMake(0.6f, 0, 0.8f, 0));
  EXPECT_EQ(PointMakeFromAffine(XVector).w, 1.0f);
  TVector p = VectorMake(1, 2, 3, 0);
  AddToPoint(p, AffineVectorMake(1, 1, 1));
  ExpectNear(p, VectorMake(2, 3, 4, 1));
}

TEST(VectorGeometryVectors, CrossProductIsRightHanded) {
  ExpectNear(AffineVectorCrossProduct(XVector, YVector), ZVector);
  ExpectNear(AffineVectorCrossProduct(YVector, ZVector), XVector);
  ExpectNear(AffineVectorCrossProduct(ZVector, XVector), YVector);
}

TEST(VectorGeometryVectors, DotProductOfTVectorUsesAllFourComponents) {
  EXPECT_EQ(VectorDotProduct(VectorMake(1, 2, 3, 4), VectorMake(1, 1, 1, 1)), 10.0f);
  EXPECT_EQ(AffineVectorDotProduct(AffineVectorMake(1, 2, 3), XYZVector), 6.0f);
  EXPECT_EQ(VectorNorm(VectorMake(1, 2, 2, 100)), 9.0f);
}

TEST(VectorGeometryVectors, EqualityIsBitwiseButNullTestIsNumeric) {
  const TVector zero = VectorMake(0, 0, 0, 0);
  const TVector negZero = VectorMake(-0.0f, 0, 0, 0);
  EXPECT_FALSE(VectorEquals(zero, negZero));
  EXPECT_TRUE(VectorEquals(zero, zero));
  EXPECT_FALSE(AffineVectorEquals(NullVector, AffineVectorMake(0, -0.0f, 0)));
  EXPECT_TRUE(VectorIsNull(negZero));
  EXPECT_TRUE(AffineVectorIsNull(AffineVectorMake(-0.0f, 0, -0.0f)));
  EXPECT_FALSE(VectorIsNull(VectorMake(0, 0, 1e-30f, 0)));
  EXPECT_TRUE(VectorIsNull(VectorMake(0, 0, 0, 5)));  // w is ignored
}

TEST(VectorGeometryVectors, NormalizingANullVectorGivesNaNNotACrash) {
  const TAffineVector n = AffineVectorNormalize(NullVector);
  EXPECT_TRUE(std::isnan(n.x));
}

TEST(VectorGeometryVectors, RotateAroundYTurnsXTowardMinusZ) {
  ExpectNear(AffineVectorRotateAroundYTo(XVector, kPi / 2), AffineVectorMake(0, 0, -1));
  TAffineVector v = ZVector;
  AffineVectorRotateAroundY(v, kPi / 2);
  ExpectNear(v, XVector);
}

// ---- Rotation matrices -----------------------------------------------------

struct RotationCase {
  const char* name;
  TAffineVector axis;
  TMatrix expected;
};

void PrintTo(const RotationCase& c, std::ostream* os) { *os << c.name; }

class RotationMatrixTest : public testing::TestWithParam<RotationCase> {};

TEST_P(RotationMatrixTest, NinetyDegreesGivesExactRows) {
  const RotationCase& c = GetParam();
  ExpectNear(CreateRotationMatrix(c.axis, DegToRad(90.0f)), c.expected);
  ExpectNear(CreateRotationMatrixHmg(VectorMakeDirection(c.axis), DegToRad(90.0f)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    VectorGeometry, RotationMatrixTest,
    testing::Values(RotationCase{"X", XVector, {{{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}}}},
                    RotationCase{"Y", YVector, {{{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}}}},
                    RotationCase{"Z", ZVector, {{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}},
                    RotationCase{"UnnormalisedZ", AffineVectorMake(0, 0, 5),
                                 {{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}}),
    [](const testing::TestParamInfo<RotationCase>& info) { return std::string(info.param.name); });

TEST(VectorGeometryMatrices, ProductAppliesTheLeftMatrixFirst) {
  const TMatrix translate = Translation(1, 0, 0);
  const TMatrix scale = Scale(2, 2, 2);
  const TVector origin = PointMake(0, 0, 0);
  ExpectNear(VectorTransform(origin, MatrixMultiply(translate, scale)), PointMake(2, 0, 0));
  ExpectNear(VectorTransform(origin, MatrixMultiply(scale, translate)), PointMake(1, 0, 0));
}

TEST(VectorGeometryMatrices, ProductIntoOneOfItsInputsIsSafe) {
  TMatrix a = Translation(1, 2, 3);
  const TMatrix b = Scale(2, 3, 4);
  const TMatrix expected = MatrixMultiply(a, b);
  MatrixMultiply(a, b, a);
  ExpectNear(a, expected);
  TMatrix c = Scale(2, 3, 4);
  MatrixMultiplySafe(Translation(1, 2, 3), c, c);
  ExpectNear(c, expected);
}

TEST(VectorGeometryMatrices, TransformOfAffineVectorAppliesTranslationWithoutDivision) {
  TMatrix m = Translation(10, 20, 30);
  m[3][3] = 5;  // w is ignored for affine vectors
  ExpectNear(AffineVectorTransform(AffineVectorMake(1, 2, 3), m), AffineVectorMake(11, 22, 33));
  ExpectNear(VectorTransform(VectorMake(1, 2, 3, 0), m), VectorMake(1, 2, 3, 0));
  ExpectNear(VectorTransform(PointMake(1, 2, 3), m), VectorMake(11, 22, 33, 5));
}

struct DeterminantCase {
  const char* name;
  TMatrix m;
  float det;
};

void PrintTo(const DeterminantCase& c, std::ostream* os) { *os << c.name; }

class DeterminantTest : public testing::TestWithParam<DeterminantCase> {};

TEST_P(DeterminantTest, MatchesHandComputedValue) {
  EXPECT_NEAR(MatrixDeterminant(GetParam().m), GetParam().det, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(
    VectorGeometry, DeterminantTest,
    testing::Values(DeterminantCase{"Identity", IdentityHmgMatrix, 1},
                    DeterminantCase{"Scale", {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {5, 6, 7, 1}}}, 24},
                    DeterminantCase{"RowSwap", {{{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}, -1},
                    DeterminantCase{"General", {{{1, 2, 0, 1}, {0, 1, 3, 0}, {2, 0, 1, 1}, {1, 1, 1, 2}}}, 17},
                    DeterminantCase{"TwoEqualRows", {{{1, 2, 3, 4}, {1, 2, 3, 4}, {0, 1, 0, 0}, {0, 0, 0, 1}}}, 0}),
    [](const testing::TestParamInfo<DeterminantCase>& info) { return std::string(info.param.name); });

TEST(VectorGeometryMatrices, InverseTimesMatrixIsIdentity) {
  const TMatrix m{{{1, 2, 0, 1}, {0, 1, 3, 0}, {2, 0, 1, 1}, {1, 1, 1, 2}}};
  TMatrix inv = m;
  InvertMatrix(inv);
  ExpectNear(MatrixMultiply(m, inv), IdentityHmgMatrix, 1e-5f);
  ExpectNear(MatrixMultiply(inv, m), IdentityHmgMatrix, 1e-5f);
}

TEST(VectorGeometryMatrices, SingularMatrixInvertsToIdentity) {
  TMatrix m{{{1, 2, 3, 4}, {1, 2, 3, 4}, {0, 1, 0, 0}, {0, 0, 0, 1}}};
  InvertMatrix(m);
  EXPECT_EQ(std::memcmp(&m, &IdentityHmgMatrix, sizeof m), 0);
  TMatrix tiny = Scale(1e-11f, 1e-11f, 1e-22f);  // determinant 1e-44, below 1e-40
  InvertMatrix(tiny);
  ExpectNear(tiny, IdentityHmgMatrix, 0);
}

TEST(VectorGeometryMatrices, MatrixWithNaNInvertsToIdentity) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TMatrix m = Translation(1, 2, 3);
  m[0][0] = nan;
  InvertMatrix(m);
  EXPECT_EQ(std::memcmp(&m, &IdentityHmgMatrix, sizeof m), 0);
  TMatrix r = Scale(2, 2, 2);
  r[0][1] = nan;
  const TMatrix inverse = InvertRotationScaleMatrix(r);
  EXPECT_EQ(std::memcmp(&inverse, &IdentityHmgMatrix, sizeof inverse), 0);
}

TEST(VectorGeometryMatrices, DeterminantJustAboveThresholdInvertsWithoutOverflow) {
  // 2e-40: its reciprocal does not fit a single, the inverse's elements do.
  TMatrix m = Scale(1e-10f, 1e-10f, 2e-20f);
  InvertMatrix(m);
  EXPECT_NEAR(m[0][0] / 1e10f, 1.0f, 1e-4f);
  EXPECT_NEAR(m[2][2] / 5e19f, 1.0f, 1e-4f);
  EXPECT_TRUE(std::isfinite(m[2][2]));
}

TEST(VectorGeometryMatrices, RotationScaleInverseUndoesTheTransform) {
  TMatrix m = MatrixMultiply(CreateRotationMatrix(AffineVectorMake(1, 2, 3), 0.7f), Scale(2, 2, 2));
  m = MatrixMultiply(m, Translation(5, -3, 2));
  ExpectNear(MatrixMultiply(m, InvertRotationScaleMatrix(m)), IdentityHmgMatrix, 1e-5f);
  ExpectNear(InvertRotationScaleMatrix(Scale(0, 1, 1)), IdentityHmgMatrix, 0);
}

TEST(VectorGeometryMatrices, OrthonormalizeKeepsRowOneDirectionAndGivesUnitRows) {
  // Rows 0 and 1 deliberately not orthogonal: every row must still come out unit length.
  TMatrix m{{{2, 0.1f, 0, 7}, {0.2f, 3, 0, 7}, {0, 0, 9, 7}, {4, 5, 6, 7}}};
  OrthonormalizeMatrix(m);
  ExpectNear(m[1], VectorNormalize(VectorMake(0.2f, 3, 0)));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(AffineVectorLength(m[i]), 1.0f, 1e-6f);
    EXPECT_EQ(m[i].w, 0.0f);
    for (std::size_t j = i + 1; j < 3; ++j) EXPECT_NEAR(VectorDotProduct(m[i], m[j]), 0, 1e-6f);
  }
  ExpectNear(m[3], WHmgVector, 0);
}

// ---- Scalars ---------------------------------------------------------------

struct PowerCase {
  float base, exponent, expected;
};

void PrintTo(const PowerCase& c, std::ostream* os) {
  *os << "Power(" << c.base << ", " << c.exponent << ") = " << c.expected;
}

class PowerTest : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerTest, Table) {
  EXPECT_FLOAT_EQ(Power(GetParam().base, GetParam().exponent), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(VectorGeometryScalars, PowerTest,
                         testing::Values(PowerCase{0, 2, 0}, PowerCase{2, 0, 1}, PowerCase{0, 0, 1},
                                         PowerCase{-2, 3, -8}, PowerCase{2, -2, 0.25f},
                                         PowerCase{2, 0.5f, std::sqrt(2.0f)},
                                         PowerCase{8, 1.0f / 3.0f, 2}));

TEST(VectorGeometryScalars, IntPowerHandlesNegativeAndExtremeExponents) {
  EXPECT_FLOAT_EQ(IntPower(3, 4), 81.0f);
  EXPECT_FLOAT_EQ(IntPower(2, -3), 0.125f);
  EXPECT_EQ(IntPower(5, 0), 1.0f);
  EXPECT_EQ(IntPower(2, std::numeric_limits<int>::min()), 0.0f);
  EXPECT_EQ(IntPower(1, std::numeric_limits<int>::max()), 1.0f);
  EXPECT_EQ(IntPower(-1, std::numeric_limits<int>::max()), -1.0f);
}

struct AngleCase {
  float in, out;
};

void PrintTo(const AngleCase& c, std::ostream* os) { *os << c.in << " -> " << c.out; }

class NormalizeAngleTest : public testing::TestWithParam<AngleCase> {};

TEST_P(NormalizeAngleTest, Table) {
  EXPECT_FLOAT_EQ(NormalizeAngleDegrees(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(VectorGeometryScalars, NormalizeAngleTest,
                         testing::Values(AngleCase{540, 180}, AngleCase{-190, 170}, AngleCase{180, 180},
                                         AngleCase{-180, -180}, AngleCase{190, -170},
                                         AngleCase{720, 0}, AngleCase{45, 45}));

TEST(VectorGeometryScalars, RoundingHalvesToEvenAndTruncationTowardZero) {
  EXPECT_EQ(RoundToInt(2.5f), 2);
  EXPECT_EQ(RoundToInt(3.5f), 4);
  EXPECT_EQ(RoundToInt(-2.5f), -2);
  EXPECT_EQ(TruncToInt(-2.7f), -2);
  EXPECT_EQ(RoundFloat(2.5f), 2.0f);
  EXPECT_EQ(RoundFloat(-3.5f), -4.0f);
  EXPECT_EQ(IntPart(-2.7), -2.0);
  EXPECT_NEAR(Frac(-2.75f), -0.75f, 0);
  // Out-of-range and NaN conversions saturate instead of being undefined.
  EXPECT_EQ(TruncToInt(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInt(1e20f), std::numeric_limits<int32_t>::max());
}

// ---- Sine and cosine cache -------------------------------------------------

class SinCosCacheTest : public testing::TestWithParam<int> {};

TEST_P(SinCosCacheTest, MatchesDirectSineAndCosine) {
  const int n = GetParam();
  std::vector<float> s(std::size_t(n) + 1), c(std::size_t(n) + 1);
  PrepareSinCosCache(s, c, 0, 360);
  // The recurrence accumulates single rounding; direct values do not.
  const double tolerance = n >= 1000 ? 1e-6 : 2e-5;
  for (int i = 0; i <= n; ++i) {
    const double angle = (360.0 + 1e-5) * i / n * 3.14159265358979323846 / 180.0;
    EXPECT_NEAR(s[std::size_t(i)], std::sin(angle), tolerance) << i;
    EXPECT_NEAR(c[std::size_t(i)], std::cos(angle), tolerance) << i;
  }
  EXPECT_NEAR(s.back(), 0.0, tolerance);
  EXPECT_NEAR(c.back(), 1.0, tolerance);
}

INSTANTIATE_TEST_SUITE_P(VectorGeometry, SinCosCacheTest, testing::Values(1, 4, 36, 999, 1000, 1440));

TEST(VectorGeometrySinCosCache, ShorterCosineArrayIsNotOverrun) {
  std::vector<float> s(37), c(10);
  PrepareSinCosCache(s, c, 0, 360);
  EXPECT_NEAR(s[36], 0.0f, 2e-5f);
  EXPECT_NEAR(c[9], std::cos(90 * kPi / 180), 2e-5f);
  std::span<float> none;
  PrepareSinCosCache(none, none, 0, 360);
}

// ---- Frustum ---------------------------------------------------------------

// Perspective projection of 90 degrees, aspect 1, near 1, far 10, in the
// engine's row-vector layout (the transpose of the textbook column form).
TMatrix Perspective() {
  TMatrix m = EmptyHmgMatrix;
  m[0][0] = 1;
  m[1][1] = 1;
  m[2][2] = -11.0f / 9.0f;
  m[2][3] = -1;
  m[3][2] = -20.0f / 9.0f;
  return m;
}

TEST(VectorGeometryFrustum, PlanesGiveSignedDistances) {
  const TFrustum f = FrustumFromMatrix(Perspective());
  const TAffineVector p = AffineVectorMake(0, 0, -5);
  EXPECT_NEAR(EvaluatePlane(f.pNear, p), 4.0f, 1e-5f);
  EXPECT_NEAR(EvaluatePlane(f.pFar, p), 5.0f, 1e-5f);
  EXPECT_NEAR(EvaluatePlane(f.pRight, AffineVectorMake(6, 0, -5)), -1.0f / std::sqrt(2.0f), 1e-5f);
}

struct CullCase {
  const char* name;
  TAffineVector center;
  float radius;
  bool outside;
};

void PrintTo(const CullCase& c, std::ostream* os) { *os << c.name; }

class FrustumCullTest : public testing::TestWithParam<CullCase> {};

TEST_P(FrustumCullTest, ClassifiesSpheres) {
  const TFrustum f = FrustumFromMatrix(Perspective());
  const CullCase& c = GetParam();
  EXPECT_EQ(SphereOutsideFrustum(c.center, c.radius, f), c.outside);
  EXPECT_EQ(SphereOutsideFrustum(PointMakeFromAffine(c.center), c.radius, f), c.outside);
}

INSTANTIATE_TEST_SUITE_P(
    VectorGeometry, FrustumCullTest,
    testing::Values(CullCase{"Centre", {0, 0, -5}, 0, false},
                    CullCase{"BeforeNear", {0, 0, -0.5f}, 0, true},
                    CullCase{"BeforeNearButTouching", {0, 0, -0.5f}, 0.6f, false},
                    CullCase{"BeyondFar", {0, 0, -12}, 1, true},
                    CullCase{"StraddlingFar", {0, 0, -12}, 3, false},
                    CullCase{"Right", {6, 0, -5}, 0.5f, true},
                    CullCase{"RightButLarge", {6, 0, -5}, 1, false},
                    CullCase{"Left", {-6, 0, -5}, 0.5f, true},
                    CullCase{"Top", {0, 6, -5}, 0.5f, true},
                    CullCase{"Bottom", {0, -6, -5}, 0.5f, true},
                    CullCase{"Behind", {0, 0, 5}, 1, true},
                    CullCase{"InsideNearEdge", {4, 4, -5}, 0, false},
                    CullCase{"Huge", {0, 0, 50}, 100, false}),
    [](const testing::TestParamInfo<CullCase>& info) { return std::string(info.param.name); });

// ---- Rays ------------------------------------------------------------------

TEST(VectorGeometryRays, RayHitsPlaneInFront) {
  TVector hit;
  ASSERT_TRUE(RayCastPlaneIntersect(PointMake(1, 2, 5), VectorMake(0, 0, -1), PointMake(0, 0, 1),
                                    ZHmgVector, &hit));
  ExpectNear(hit, PointMake(1, 2, 1));
  ASSERT_TRUE(RayCastPlaneIntersect(PointMake(0, 0, 5), VectorMake(1, 0, -1), NullHmgPoint,
                                    VectorMake(0, 0, 2), &hit));
  ExpectNear(hit, PointMake(5, 0, 0));
}

TEST(VectorGeometryRays, PlaneBehindIsAHitOnlyWhenNoPointIsAsked) {
  const TVector start = PointMake(0, 0, 5);
  const TVector up = VectorMake(0, 0, 1);
  TVector hit = VectorMake(9, 9, 9, 9);
  EXPECT_FALSE(RayCastPlaneIntersect(start, up, NullHmgPoint, ZHmgVector, &hit));
  ExpectNear(hit, VectorMake(9, 9, 9, 9), 0);
  EXPECT_TRUE(RayCastPlaneIntersect(start, up, NullHmgPoint, ZHmgVector));
}

TEST(VectorGeometryRays, ParallelRayMissesPlane) {
  TVector hit;
  EXPECT_FALSE(RayCastPlaneIntersect(PointMake(0, 0, 5), XHmgVector, NullHmgPoint, ZHmgVector, &hit));
  EXPECT_FALSE(RayCastPlaneIntersect(PointMake(0, 0, 5), XHmgVector, NullHmgPoint, ZHmgVector));
}

TEST(VectorGeometryRays, RayThroughSphereGivesEntryAndExit) {
  TVector nearHit, farHit;
  ASSERT_EQ(RayCastSphereIntersect(PointMake(-10, 0, 0), XHmgVector, PointMake(0, 0, 0), 2, nearHit,
                                   farHit),
            2);
  ExpectNear(nearHit, PointMake(-2, 0, 0), 1e-5f);
  ExpectNear(farHit, PointMake(2, 0, 0), 1e-5f);
}

TEST(VectorGeometryRays, RayFromInsideSphereGivesTheExit) {
  TVector nearHit, farHit;
  ASSERT_EQ(RayCastSphereIntersect(PointMake(1, 0, 0), XHmgVector, PointMake(0, 0, 0), 2, nearHit,
                                   farHit),
            1);
  ExpectNear(nearHit, PointMake(2, 0, 0), 1e-5f);
}

TEST(VectorGeometryRays, TangentRayTouchesOnceAndMissesGiveNothing) {
  TVector nearHit, farHit;
  EXPECT_EQ(RayCastSphereIntersect(PointMake(-10, 2, 0), XHmgVector, PointMake(0, 0, 0), 2, nearHit,
                                   farHit),
            1);
  ExpectNear(nearHit, PointMake(0, 2, 0), 1e-5f);
  EXPECT_EQ(RayCastSphereIntersect(PointMake(-10, 3, 0), XHmgVector, PointMake(0, 0, 0), 2, nearHit,
                                   farHit),
            0);
  // Sphere wholly behind the start.
  EXPECT_EQ(RayCastSphereIntersect(PointMake(10, 0, 0), XHmgVector, PointMake(0, 0, 0), 2, nearHit,
                                   farHit),
            0);
}

}  // namespace
}  // namespace qira

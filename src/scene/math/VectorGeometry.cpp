#include "scene/math/VectorGeometry.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

// Sums and products are formed in double and rounded to single once, which is
// how the engine's arithmetic behaved on the extended-precision unit; no
// routine here may rely on -ffast-math (NaN, infinities and -0.0 are meaningful).

namespace qira {

namespace {

constexpr float ToSingle(double x) { return static_cast<float>(x); }

double Dot3(const TAffineVector& a, const TAffineVector& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}
double Dot3(const TVector& a, const TVector& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}
double Norm3(double x, double y, double z) { return x * x + y * y + z * z; }

// Determinant of the 3x3 matrix with rows (a1, a2, a3), (b1, b2, b3), (c1, c2, c3),
// kept in double so that the 4x4 expansion rounds only once.
double Det3(double a1, double a2, double a3, double b1, double b2, double b3, double c1,
            double c2, double c3) {
  return a1 * (b2 * c3 - b3 * c2) - b1 * (a2 * c3 - a3 * c2) + c1 * (a2 * b3 - a3 * b2);
}

// Minor of element (row, col) of a 4x4 matrix.
double Minor(const TMatrix& m, int row, int col) {
  double e[9];
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    if (i == row) continue;
    for (int j = 0; j < 4; ++j) {
      if (j == col) continue;
      e[n++] = m[i][j];
    }
  }
  return Det3(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

double DeterminantD(const TMatrix& m) {
  return double(m[0][0]) * Minor(m, 0, 0) - double(m[0][1]) * Minor(m, 0, 1) +
         double(m[0][2]) * Minor(m, 0, 2) - double(m[0][3]) * Minor(m, 0, 3);
}

// Repeated squaring on a 64-bit exponent, so that the magnitude of INT_MIN
// (and of a huge integral float exponent) is representable.
double IntPowerD(double base, std::int64_t n) {
  if (n == 0) return 1.0;
  std::uint64_t e = n < 0 ? std::uint64_t(0) - std::uint64_t(n) : std::uint64_t(n);
  double result = 1.0;
  double factor = base;
  while (e != 0) {
    if (e & 1u) result *= factor;
    e >>= 1;
    if (e != 0) factor *= factor;
  }
  return n < 0 ? 1.0 / result : result;
}

}  // namespace

// ---- Sums, differences, combinations ---------------------------------------

void AffineVectorArrayAdd(const TAffineVector* source, const TAffineVector& delta, int count,
                          TAffineVector* destination) {
  const TAffineVector d = delta;  // delta may live inside the destination array
  for (int i = 0; i < count; ++i) destination[i] = AffineVectorAdd(source[i], d);
}

void AddScaledAffineVector(TAffineVector& a, const TAffineVector& b, float f) {
  a = {ToSingle(a.x + double(f) * b.x), ToSingle(a.y + double(f) * b.y),
       ToSingle(a.z + double(f) * b.z)};
}

TAffineVector AffineVectorCombine(const TAffineVector& a, const TAffineVector& b, float f,
                                  float g) {
  return {ToSingle(double(f) * a.x + double(g) * b.x), ToSingle(double(f) * a.y + double(g) * b.y),
          ToSingle(double(f) * a.z + double(g) * b.z)};
}

TVector VectorCombine(const TVector& a, const TVector& b, float f, float g) {
  return {ToSingle(double(f) * a.x + double(g) * b.x), ToSingle(double(f) * a.y + double(g) * b.y),
          ToSingle(double(f) * a.z + double(g) * b.z), ToSingle(double(f) * a.w + double(g) * b.w)};
}

TVector VectorCombineScaled(const TVector& a, const TVector& b, float f) {
  return {ToSingle(a.x + double(f) * b.x), ToSingle(a.y + double(f) * b.y),
          ToSingle(a.z + double(f) * b.z), ToSingle(a.w + double(f) * b.w)};
}

TAffineVector AffineVectorLerp(const TAffineVector& a, const TAffineVector& b, float t) {
  return {ToSingle(a.x + (double(b.x) - a.x) * t), ToSingle(a.y + (double(b.y) - a.y) * t),
          ToSingle(a.z + (double(b.z) - a.z) * t)};
}

TVector VectorLerp(const TVector& a, const TVector& b, float t) {
  return {ToSingle(a.x + (double(b.x) - a.x) * t), ToSingle(a.y + (double(b.y) - a.y) * t),
          ToSingle(a.z + (double(b.z) - a.z) * t), ToSingle(a.w + (double(b.w) - a.w) * t)};
}

void VectorArrayLerp(const TVector* a1, const TVector* a2, int count, float t, TVector* result) {
  for (int i = 0; i < count; ++i) result[i] = VectorLerp(a1[i], a2[i], t);
}

void AffineVectorArrayLerp(const TAffineVector* a1, const TAffineVector* a2, int count, float t,
                           TAffineVector* result) {
  for (int i = 0; i < count; ++i) result[i] = AffineVectorLerp(a1[i], a2[i], t);
}

// ---- Products, lengths, distances ------------------------------------------

float AffineVectorDotProduct(const TAffineVector& a, const TAffineVector& b) {
  return ToSingle(Dot3(a, b));
}

float VectorDotProduct(const TVector& a, const TVector& b) {
  return ToSingle(Dot3(a, b) + double(a.w) * b.w);
}

float ProjectPointOnRay(const TVector& p, const TVector& origin, const TVector& direction) {
  return ToSingle((double(p.x) - origin.x) * direction.x + (double(p.y) - origin.y) * direction.y +
                  (double(p.z) - origin.z) * direction.z);
}

float ProjectPointOnRay(const TAffineVector& p, const TAffineVector& origin,
                        const TAffineVector& direction) {
  return ProjectPointOnRay(PointMakeFromAffine(p), PointMakeFromAffine(origin),
                           VectorMakeDirection(direction));
}

TAffineVector AffineVectorCrossProduct(const TAffineVector& a, const TAffineVector& b) {
  return {ToSingle(double(a.y) * b.z - double(a.z) * b.y),
          ToSingle(double(a.z) * b.x - double(a.x) * b.z),
          ToSingle(double(a.x) * b.y - double(a.y) * b.x)};
}

TVector VectorCrossProduct(const TVector& a, const TVector& b) {
  return VectorMakeDirection(AffineVectorCrossProduct(CopyAffineVector(a), CopyAffineVector(b)));
}

float EvaluatePlane(const TVector& plane, const TAffineVector& point) {
  return ToSingle(double(plane.x) * point.x + double(plane.y) * point.y +
                  double(plane.z) * point.z + plane.w);
}

float EvaluatePlane(const TVector& plane, const TVector& point) {
  return EvaluatePlane(plane, CopyAffineVector(point));
}

float VectorLength2D(float x, float y) { return ToSingle(std::sqrt(double(x) * x + double(y) * y)); }
float AffineVectorLength(const TAffineVector& v) { return ToSingle(std::sqrt(Dot3(v, v))); }
float AffineVectorLength(const TVector& v) { return ToSingle(std::sqrt(Dot3(v, v))); }
float VectorNorm2D(float x, float y) { return ToSingle(double(x) * x + double(y) * y); }
float AffineVectorNorm(const TAffineVector& v) { return ToSingle(Dot3(v, v)); }
float VectorNorm(const TVector& v) { return ToSingle(Dot3(v, v)); }
float VectorNorm(const TAffineVector& v) { return ToSingle(Dot3(v, v)); }

float VectorDistance2(const TAffineVector& a, const TAffineVector& b) {
  return ToSingle(Norm3(double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z));
}
float VectorDistance2(const TVector& a, const TVector& b) {
  return VectorDistance2(CopyAffineVector(a), CopyAffineVector(b));
}
float VectorDistance(const TAffineVector& a, const TAffineVector& b) {
  return ToSingle(std::sqrt(Norm3(double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z)));
}
float VectorDistance(const TVector& a, const TVector& b) {
  return VectorDistance(CopyAffineVector(a), CopyAffineVector(b));
}

float AffineVectorSpacing(const TAffineVector& a, const TAffineVector& b) {
  return ToSingle(std::fabs(double(a.x) - b.x) + std::fabs(double(a.y) - b.y) +
                  std::fabs(double(a.z) - b.z));
}

// ---- Normalisation, sign, scale, comparison --------------------------------

TAffineVector AffineVectorNormalize(const TAffineVector& v) {
  // A null vector divides by zero here: NaN components, as documented.
  const double inv = 1.0 / std::sqrt(Dot3(v, v));
  return {ToSingle(v.x * inv), ToSingle(v.y * inv), ToSingle(v.z * inv)};
}

void NormalizeAffineVector(TAffineVector& v) { v = AffineVectorNormalize(v); }

void NormalizeAffineVectorArray(TAffineVector* list, int count) {
  for (int i = 0; i < count; ++i) NormalizeAffineVector(list[i]);
}

TVector VectorNormalize(const TVector& v) {
  return VectorMakeDirection(AffineVectorNormalize(CopyAffineVector(v)));
}

void NormalizeVector(TVector& v) { v = VectorNormalize(v); }

TVector VectorAbs(const TVector& v) {
  return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z), std::fabs(v.w)};
}

void MaxVectorComponents(TVector& a, const TVector& b) {
  for (std::size_t i = 0; i < 4; ++i)
    if (b[i] > a[i]) a[i] = b[i];
}

bool VectorEquals(const TVector& a, const TVector& b) {
  for (std::size_t i = 0; i < 4; ++i)
    if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) return false;
  return true;
}

bool AffineVectorEquals(const TAffineVector& a, const TAffineVector& b) {
  for (std::size_t i = 0; i < 3; ++i)
    if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) return false;
  return true;
}

bool VectorIsNull(const TVector& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }
bool AffineVectorIsNull(const TAffineVector& v) {
  return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

TAffineVector RemoveNormalComponent(const TAffineVector& v, const TAffineVector& n) {
  const double d = Dot3(v, n);
  return {ToSingle(v.x - d * n.x), ToSingle(v.y - d * n.y), ToSingle(v.z - d * n.z)};
}

TAffineVector AffineVectorRotateAroundYTo(const TAffineVector& v, float a) {
  const double s = std::sin(double(a));
  const double c = std::cos(double(a));
  return {ToSingle(c * v.x + s * v.z), v.y, ToSingle(c * v.z - s * v.x)};
}

void AffineVectorRotateAroundY(TAffineVector& v, float a) { v = AffineVectorRotateAroundYTo(v, a); }

// ---- Matrices --------------------------------------------------------------

TDoubleMatrix MatrixToDouble(const TMatrix& m) {
  TDoubleMatrix r;
  for (int i = 0; i < 16; ++i) r.e[i] = m[std::size_t(i / 4)][std::size_t(i % 4)];
  return r;
}

TMatrix ScaleTranslationMatrix(const TVector& s, const TVector& t) {
  return {{{s.x, 0.0f, 0.0f, 0.0f},
           {0.0f, s.y, 0.0f, 0.0f},
           {0.0f, 0.0f, s.z, 0.0f},
           {t.x, t.y, t.z, 1.0f}}};
}

TMatrix CreateRotationMatrix(const TAffineVector& axis, float angle) {
  const TAffineVector n = AffineVectorNormalize(axis);
  const double x = n.x, y = n.y, z = n.z;
  const double s = std::sin(double(angle));
  const double c = std::cos(double(angle));
  const double k = 1.0 - c;
  return {{{ToSingle(k * x * x + c), ToSingle(k * x * y - z * s), ToSingle(k * z * x + y * s), 0.0f},
           {ToSingle(k * x * y + z * s), ToSingle(k * y * y + c), ToSingle(k * y * z - x * s), 0.0f},
           {ToSingle(k * z * x - y * s), ToSingle(k * y * z + x * s), ToSingle(k * z * z + c), 0.0f},
           {0.0f, 0.0f, 0.0f, 1.0f}}};
}

TMatrix CreateRotationMatrixHmg(const TVector& axis, float angle) {
  return CreateRotationMatrix(CopyAffineVector(axis), angle);
}

namespace {

// Row v times M, each component summed in double and rounded once.
inline TVector RowTimesMatrix(double x, double y, double z, double w, const TMatrix& m) {
  const TVector& r0 = m.rows[0];
  const TVector& r1 = m.rows[1];
  const TVector& r2 = m.rows[2];
  const TVector& r3 = m.rows[3];
  return {ToSingle(x * r0.x + y * r1.x + z * r2.x + w * r3.x),
          ToSingle(x * r0.y + y * r1.y + z * r2.y + w * r3.y),
          ToSingle(x * r0.z + y * r1.z + z * r2.z + w * r3.z),
          ToSingle(x * r0.w + y * r1.w + z * r2.w + w * r3.w)};
}

}  // namespace

TMatrix MatrixMultiply(const TMatrix& a, const TMatrix& b) {
  TMatrix r;
  for (std::size_t i = 0; i < 4; ++i) {
    const TVector& row = a.rows[i];
    r.rows[i] = RowTimesMatrix(row.x, row.y, row.z, row.w, b);
  }
  return r;
}

void MatrixMultiply(const TMatrix& a, const TMatrix& b, TMatrix& r) { r = MatrixMultiply(a, b); }
void MatrixMultiplySafe(const TMatrix& a, const TMatrix& b, TMatrix& r) {
  r = MatrixMultiply(a, b);
}

TVector VectorTransform(const TVector& v, const TMatrix& m) {
  return RowTimesMatrix(v.x, v.y, v.z, v.w, m);
}

TAffineVector AffineVectorTransform(const TAffineVector& v, const TMatrix& m) {
  const TVector& r0 = m.rows[0];
  const TVector& r1 = m.rows[1];
  const TVector& r2 = m.rows[2];
  const TVector& r3 = m.rows[3];
  const double x = v.x, y = v.y, z = v.z;
  return {ToSingle(x * r0.x + y * r1.x + z * r2.x + r3.x),
          ToSingle(x * r0.y + y * r1.y + z * r2.y + r3.y),
          ToSingle(x * r0.z + y * r1.z + z * r2.z + r3.z)};
}

float MatrixDet3(float a1, float a2, float a3, float b1, float b2, float b3, float c1, float c2,
                 float c3) {
  return ToSingle(Det3(a1, a2, a3, b1, b2, b3, c1, c2, c3));
}

float MatrixDeterminant(const TMatrix& m) { return ToSingle(DeterminantD(m)); }

void AdjointMatrix(TMatrix& m) {
  TMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      const double sign = ((i + j) & 1) ? -1.0 : 1.0;
      // Transposed: element (j, i) takes the cofactor of (i, j).
      r[std::size_t(j)][std::size_t(i)] = ToSingle(sign * Minor(m, i, j));
    }
  m = r;
}

void ScaleMatrix(TMatrix& m, float f) {
  for (std::size_t i = 0; i < 4; ++i) ScaleVector(m[i], f);
}

void TransposeMatrix(TMatrix& m) {
  for (std::size_t i = 0; i < 4; ++i)
    for (std::size_t j = i + 1; j < 4; ++j) std::swap(m[i][j], m[j][i]);
}

void OrthonormalizeMatrix(TMatrix& m) {
  m[0].w = 0.0f;
  NormalizeVector(m[0]);
  m[1].w = 0.0f;
  NormalizeVector(m[1]);
  // Normalised: when rows 0 and 1 were not orthogonal their cross product is
  // shorter than 1, and row 0 rebuilt from it would be too.
  m[2] = VectorNormalize(VectorCrossProduct(m[0], m[1]));
  m[0] = VectorCrossProduct(m[1], m[2]);
  m[3] = WHmgVector;
}

void InvertMatrix(TMatrix& m) {
  const float det = MatrixDeterminant(m);
  // Written as "not at or above" so that a NaN determinant also gives the identity.
  if (!(std::fabs(det) >= DeterminantThreshold)) {
    m = IdentityHmgMatrix;
    return;
  }
  AdjointMatrix(m);
  // 1/det in double: for a determinant near the threshold it overflows a single.
  const double inv = 1.0 / double(det);
  for (std::size_t i = 0; i < 4; ++i)
    for (std::size_t j = 0; j < 4; ++j) m[i][j] = ToSingle(m[i][j] * inv);
}

TMatrix InvertRotationScaleMatrix(const TMatrix& m) {
  const float q = AffineVectorNorm(CopyAffineVector(m[0]));
  if (!(std::fabs(q) >= DeterminantThreshold)) return IdentityHmgMatrix;  // also for NaN
  const double inv = 1.0 / q;
  TMatrix r;
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) r[i][j] = ToSingle(m[j][i] * inv);
    r[i][3] = 0.0f;
  }
  for (std::size_t j = 0; j < 3; ++j)
    r[3][j] = ToSingle(-(double(r[0][j]) * m[3][0] + double(r[1][j]) * m[3][1] +
                         double(r[2][j]) * m[3][2]));
  r[3][3] = 1.0f;
  return r;
}

TAffineVector CalcPlaneNormal(const TAffineVector& p1, const TAffineVector& p2,
                              const TAffineVector& p3) {
  return AffineVectorNormalize(
      AffineVectorCrossProduct(AffineVectorSubtract(p2, p1), AffineVectorSubtract(p3, p1)));
}

void CalcPlaneNormalHmg(const TVector& p1, const TVector& p2, const TVector& p3, TVector& r) {
  const TAffineVector n =
      CalcPlaneNormal(CopyAffineVector(p1), CopyAffineVector(p2), CopyAffineVector(p3));
  r.x = n.x;
  r.y = n.y;
  r.z = n.z;
}

void NormalizePlane(TVector& plane) { ScaleVector(plane, RSqrt(VectorNorm(plane))); }

// ---- Scalars ---------------------------------------------------------------

float Power(float base, float exponent) {
  if (exponent == 0.0f) return 1.0f;
  if (base == 0.0f && exponent > 0.0f) return 0.0f;
  if (RoundFloat(exponent) == exponent) return ToSingle(IntPowerD(base, RoundToInt64(exponent)));
  return ToSingle(std::exp(double(exponent) * std::log(double(base))));
}

float IntPower(float base, int n) { return ToSingle(IntPowerD(base, n)); }

float NormalizeAngleDegrees(float angle) {
  double r = angle - IntPart(double(angle) / 360.0) * 360.0;
  if (r > 180.0)
    r -= 360.0;
  else if (r < -180.0)
    r += 360.0;
  return ToSingle(r);
}

void SinCos(double angle, double& sine, double& cosine) {
  sine = std::sin(angle);
  cosine = std::cos(angle);
}

void SinCos(float angle, float& sine, float& cosine) {
  sine = ToSingle(std::sin(double(angle)));
  cosine = ToSingle(std::cos(double(angle)));
}

void SinCosScaled(float angle, float radius, float& sine, float& cosine) {
  sine = ToSingle(radius * std::sin(double(angle)));
  cosine = ToSingle(radius * std::cos(double(angle)));
}

void SinCosScaled(double angle, double radius, double& sine, double& cosine) {
  sine = radius * std::sin(angle);
  cosine = radius * std::cos(angle);
}

void PrepareSinCosCache(std::span<float> sine, std::span<float> cosine, float startAngle,
                        float stopAngle) {
  if (sine.empty()) return;
  const std::size_t n = sine.size() - 1;
  const auto put = [&](std::size_t i, double s, double c) {
    sine[i] = ToSingle(s);
    if (i < cosine.size()) cosine[i] = ToSingle(c);
  };
  // The small overshoot makes the last step land on (not just short of) the stop angle.
  const float stop = stopAngle + 1e-5f;
  const double degToRad = cPIdouble / 180.0;
  const double start = startAngle * degToRad;
  const double step = n >= 1 ? (double(stop) - startAngle) * degToRad / double(n) : 0.0;
  if (n >= 1000) {
    for (std::size_t i = 0; i <= n; ++i) put(i, std::sin(start + double(i) * step),
                                             std::cos(start + double(i) * step));
    return;
  }
  // Rotation recurrence: each entry from the stored (single) values of the previous one.
  const double half = std::sin(step / 2.0);
  const double alpha = ToSingle(2.0 * half * half);
  const double beta = ToSingle(std::sin(step));
  float s = ToSingle(std::sin(start));
  float c = ToSingle(std::cos(start));
  put(0, s, c);
  for (std::size_t i = 0; i < n; ++i) {
    const float nextC = ToSingle(c - alpha * c - beta * s);
    const float nextS = ToSingle(s - alpha * s + beta * c);
    c = nextC;
    s = nextS;
    put(i + 1, s, c);
  }
}

double ArcTan2(double y, double x) { return std::atan2(y, x); }
float ArcTan2(float y, float x) { return ToSingle(std::atan2(double(y), double(x))); }
double ArcCos(double x) { return ArcTan2(std::sqrt(1.0 - x * x), x); }
double Tan(double x) { return std::tan(x); }
float RSqrt(float x) { return ToSingle(1.0 / std::sqrt(double(x))); }
float RoundFloat(float x) { return std::nearbyint(x); }
double IntPart(double x) { return std::trunc(x); }
float Frac(float x) { return x - std::trunc(x); }

int Sign(float x) {
  if (x < 0.0f) return -1;
  if (x > 0.0f) return 1;
  return 0;
}

double MaxFloat(double a, double b) { return a > b ? a : b; }
int MaxInteger(int a, int b) { return a > b ? a : b; }
int MaxInteger(int a, int b, int c) { return MaxInteger(MaxInteger(a, b), c); }

float ClampValue(float value, float minValue, float maxValue) {
  if (value < minValue) return minValue;
  if (value > maxValue) return maxValue;
  return value;
}

// ---- Geometric tests -------------------------------------------------------

bool RayCastPlaneIntersect(const TVector& rayStart, const TVector& rayVector,
                           const TVector& planePoint, const TVector& planeNormal,
                           TVector* intersectPoint) {
  const float d = VectorDotProduct(rayVector, planeNormal);
  if (std::fabs(d) <= ParallelThreshold) return false;
  if (intersectPoint == nullptr) return true;
  const float t = ToSingle(VectorDotProduct(VectorSubtract(planePoint, rayStart), planeNormal) /
                           double(d));
  if (!(t > 0.0f)) return false;
  *intersectPoint = VectorCombineScaled(rayStart, rayVector, t);
  return true;
}

int RayCastSphereIntersect(const TVector& rayStart, const TVector& rayVector,
                           const TVector& sphereCenter, float sphereRadius,
                           TVector& intersectNear, TVector& intersectFar) {
  const float p = ProjectPointOnRay(sphereCenter, rayStart, rayVector);
  const TVector q = VectorCombineScaled(rayStart, rayVector, p);
  const float d2 =
      ToSingle(double(sphereRadius) * sphereRadius - VectorDistance2(sphereCenter, q));
  if (d2 < 0.0f || (d2 == 0.0f && std::signbit(d2))) return 0;
  if (d2 == 0.0f) {
    if (!(p > 0.0f)) return 0;
    intersectNear = q;
    return 1;
  }
  if (!(d2 > 0.0f)) return 0;  // NaN
  const float h = ToSingle(std::sqrt(double(d2)));
  if (p >= h) {
    intersectNear = VectorCombineScaled(rayStart, rayVector, ToSingle(double(p) - h));
    intersectFar = VectorCombineScaled(rayStart, rayVector, ToSingle(double(p) + h));
    return 2;
  }
  const float exit = ToSingle(double(p) + h);
  if (exit >= 0.0f) {
    intersectNear = VectorCombineScaled(rayStart, rayVector, exit);
    return 1;
  }
  return 0;
}

float SphereApparentRadius(float distance, float radius) {
  const float d2 = ToSingle(double(distance) * distance);
  const float r2 = ToSingle(double(radius) * radius);
  const float t = ToSingle(std::sqrt(double(d2) - r2));
  const float tt = ToSingle(double(t) * t);
  const float u = ToSingle((double(d2) + r2 - tt) / (2.0 * t));
  return ToSingle(std::sqrt(double(u) * u + r2));
}

TFrustum FrustumFromMatrix(const TMatrix& m) {
  const auto column = [&](std::size_t j) { return TVector{m[0][j], m[1][j], m[2][j], m[3][j]}; };
  const TVector c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
  TFrustum f;
  f.pLeft = VectorAdd(c3, c0);
  f.pTop = VectorSubtract(c3, c1);
  f.pRight = VectorSubtract(c3, c0);
  f.pBottom = VectorAdd(c3, c1);
  f.pNear = VectorAdd(c3, c2);
  f.pFar = VectorSubtract(c3, c2);
  for (std::size_t i = 0; i < 6; ++i) NormalizePlane(f[i]);
  return f;
}

bool SphereOutsideFrustum(const TAffineVector& center, float radius, const TFrustum& frustum) {
  for (std::size_t i = 0; i < 6; ++i)
    if (EvaluatePlane(frustum[i], center) < -radius) return true;
  return false;
}

bool SphereOutsideFrustum(const TVector& center, float radius, const TFrustum& frustum) {
  return SphereOutsideFrustum(CopyAffineVector(center), radius, frustum);
}

bool SphereOutsideFrustum(const TAffineVector& minCorner, const TAffineVector& maxCorner,
                          const TFrustum& frustum) {
  const TAffineVector center = AffineVectorScale(AffineVectorAdd(minCorner, maxCorner), 0.5f);
  return SphereOutsideFrustum(center, 0.5f * VectorDistance(minCorner, maxCorner), frustum);
}

}  // namespace qira

#pragma once
// Free routines of linear algebra on the engine's plain values (VectorTypes.h).
//
// Contracts shared by every routine:
// - row vectors, p' = p * M; `MatrixMultiply`(A, B) applies A first, then B;
// - a routine producing a direction from `TVector`s sets w = 0, one producing a
//   point from a `TAffineVector` sets w = 1;
// - angles are radians except where the name says degrees;
// - sums and products are carried in double and rounded to single once on store;
// - nothing allocates, throws or keeps state. A null vector or singular input
//   is not guarded except where said: normalising a null vector gives NaN or
//   infinite components (callers test the length first where it matters).
// - Verb-first names (`NormalizeVector`, `AddAffineVector`, `Set*`) modify their
//   first argument; noun-first names (`VectorNormalize`, `AffineVectorAdd`) return
//   the result. Every routine tolerates its result aliasing an input.
//
// Index: construction; sums and combinations; products and lengths;
// normalisation and comparison; matrices; scalars; geometric tests.
#include <cmath>
#include <cstdint>
#include <span>

#include "platform/Rounding.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// ---- Construction and copying ----------------------------------------------

constexpr TAffineVector AffineVectorMake(float x, float y, float z) { return {x, y, z}; }
inline void SetAffineVector(TAffineVector& v, float x, float y, float z) { v = {x, y, z}; }
inline void SetAffineVectorXYZ(TAffineVector& v, float x, float y, float z) { v = {x, y, z}; }
constexpr TAffineVector CopyAffineVector(const TAffineVector& v) { return v; }
constexpr TAffineVector CopyAffineVector(const TVector& v) { return {v.x, v.y, v.z}; }
inline void SetAffineDblVector(TAffineDblVector& r, const TAffineVector& v) { r = {v.x, v.y, v.z}; }
constexpr TVector VectorMakeFromAffine(const TAffineVector& v, float w) { return {v.x, v.y, v.z, w}; }
constexpr TVector VectorMake(float x, float y, float z, float w = 0.0f) { return {x, y, z, w}; }
inline void SetVector(TVector& v, float x, float y, float z, float w = 0.0f) { v = {x, y, z, w}; }
constexpr TVector CopyVector(const TVector& v) { return v; }
constexpr TVector PointMake(float x, float y, float z) { return {x, y, z, 1.0f}; }
inline void SetPoint(TVector& v, float x, float y, float z) { v = {x, y, z, 1.0f}; }
constexpr TVector PointMakeFromAffine(const TAffineVector& v) { return {v.x, v.y, v.z, 1.0f}; }
inline void SetPointFromAffine(TVector& r, const TAffineVector& v) { r = {v.x, v.y, v.z, 1.0f}; }
constexpr TVector VectorMakeDirection(const TAffineVector& v) { return {v.x, v.y, v.z, 0.0f}; }
inline void ZeroVector(TVector& v) { v = {0.0f, 0.0f, 0.0f, 0.0f}; }

// ---- Sums, differences, combinations ---------------------------------------

constexpr TAffineVector AffineVectorAdd(const TAffineVector& a, const TAffineVector& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
constexpr TVector VectorAdd(const TVector& a, const TVector& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}
inline void AddAffineVector(TAffineVector& a, const TAffineVector& b) { a = AffineVectorAdd(a, b); }
// a.xyz += b and a becomes a point (w = 1).
inline void AddToPoint(TVector& a, const TAffineVector& b) {
  a = {a.x + b.x, a.y + b.y, a.z + b.z, 1.0f};
}
// destination[i] := source[i] + delta for i < count; nothing for count <= 0.
// The two arrays may be the same.
void AffineVectorArrayAdd(const TAffineVector* source, const TAffineVector& delta, int count,
                          TAffineVector* destination);

constexpr TAffineVector AffineVectorSubtract(const TAffineVector& a, const TAffineVector& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
constexpr TAffineVector AffineVectorDiff(const TAffineVector& a, const TAffineVector& b) {
  return AffineVectorSubtract(a, b);
}
constexpr TVector VectorSubtract(const TVector& a, const TVector& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}
inline void SubtractAffineVector(TAffineVector& a, const TAffineVector& b) {
  a = AffineVectorSubtract(a, b);
}
inline void SubtractVector(TVector& a, const TVector& b) { a = VectorSubtract(a, b); }

// a := a + f*b
void AddScaledAffineVector(TAffineVector& a, const TAffineVector& b, float f);
// f*a + g*b
TAffineVector AffineVectorCombine(const TAffineVector& a, const TAffineVector& b, float f, float g);
TVector VectorCombine(const TVector& a, const TVector& b, float f, float g);
// a + f*b over all four components
TVector VectorCombineScaled(const TVector& a, const TVector& b, float f);
// a + (b - a)*t
TAffineVector AffineVectorLerp(const TAffineVector& a, const TAffineVector& b, float t);
TVector VectorLerp(const TVector& a, const TVector& b, float t);
// result[i] := lerp(a1[i], a2[i], t) for i < count; the result may be either input.
void VectorArrayLerp(const TVector* a1, const TVector* a2, int count, float t, TVector* result);
void AffineVectorArrayLerp(const TAffineVector* a1, const TAffineVector* a2, int count, float t,
                           TAffineVector* result);

// ---- Products, lengths, distances ------------------------------------------

float AffineVectorDotProduct(const TAffineVector& a, const TAffineVector& b);
// All four components.
float VectorDotProduct(const TVector& a, const TVector& b);
// (p - origin) . direction over x, y, z: the ray parameter of p's projection
// when the direction has unit length.
float ProjectPointOnRay(const TVector& p, const TVector& origin, const TVector& direction);
float ProjectPointOnRay(const TAffineVector& p, const TAffineVector& origin,
                        const TAffineVector& direction);
TAffineVector AffineVectorCrossProduct(const TAffineVector& a, const TAffineVector& b);
// Cross product of the x, y, z; w := 0.
TVector VectorCrossProduct(const TVector& a, const TVector& b);
// a*x + b*y + c*z + d: a signed distance when the plane is normalised.
float EvaluatePlane(const TVector& plane, const TAffineVector& point);
float EvaluatePlane(const TVector& plane, const TVector& point);
float VectorLength2D(float x, float y);
float AffineVectorLength(const TAffineVector& v);
float AffineVectorLength(const TVector& v);  // x, y, z only
float VectorNorm2D(float x, float y);
float AffineVectorNorm(const TAffineVector& v);
float VectorNorm(const TVector& v);  // x, y, z only
float VectorNorm(const TAffineVector& v);
// Distances over x, y, z.
float VectorDistance(const TVector& a, const TVector& b);
float VectorDistance(const TAffineVector& a, const TAffineVector& b);
float VectorDistance2(const TVector& a, const TVector& b);
float VectorDistance2(const TAffineVector& a, const TAffineVector& b);
// Sum of the absolute differences of x, y, z.
float AffineVectorSpacing(const TAffineVector& a, const TAffineVector& b);

// ---- Normalisation, sign, scale, comparison --------------------------------

void NormalizeAffineVector(TAffineVector& v);
TAffineVector AffineVectorNormalize(const TAffineVector& v);
void NormalizeAffineVectorArray(TAffineVector* list, int count);
// x, y, z normalised, w := 0.
void NormalizeVector(TVector& v);
TVector VectorNormalize(const TVector& v);
constexpr TAffineVector AffineVectorNegate(const TAffineVector& v) { return {-v.x, -v.y, -v.z}; }
constexpr TVector VectorNegate(const TVector& v) { return {-v.x, -v.y, -v.z, -v.w}; }
inline void NegateAffineVector(TAffineVector& v) { v = AffineVectorNegate(v); }
inline void ScaleAffineVector(TAffineVector& v, float f) { v = {v.x * f, v.y * f, v.z * f}; }
inline void ScaleVector(TVector& v, float f) { v = {v.x * f, v.y * f, v.z * f, v.w * f}; }
inline void ScaleAffineVectorByVector(TAffineVector& v, const TAffineVector& f) {
  v = {v.x * f.x, v.y * f.y, v.z * f.z};
}
inline void ScaleVectorByVector(TVector& v, const TVector& f) {
  v = {v.x * f.x, v.y * f.y, v.z * f.z, v.w * f.w};
}
constexpr TAffineVector AffineVectorScale(const TAffineVector& v, float f) {
  return {v.x * f, v.y * f, v.z * f};
}
constexpr TVector VectorScale(const TVector& v, float f) {
  return {v.x * f, v.y * f, v.z * f, v.w * f};
}
TVector VectorAbs(const TVector& v);
// a := component-wise maximum of a and b.
void MaxVectorComponents(TVector& a, const TVector& b);
// Bit-for-bit equality: 0.0 and -0.0 differ, a NaN equals the same NaN.
bool VectorEquals(const TVector& a, const TVector& b);
bool AffineVectorEquals(const TAffineVector& a, const TAffineVector& b);
// x, y and z each compare equal to 0.0 (-0.0 counts as null).
bool VectorIsNull(const TVector& v);
bool AffineVectorIsNull(const TAffineVector& v);
// v - (v . n) * n
TAffineVector RemoveNormalComponent(const TAffineVector& v, const TAffineVector& n);
// Rotation about Y by a radians: x' = cos a x + sin a z, z' = cos a z - sin a x.
void AffineVectorRotateAroundY(TAffineVector& v, float a);
TAffineVector AffineVectorRotateAroundYTo(const TAffineVector& v, float a);

// ---- Matrices --------------------------------------------------------------

TDoubleMatrix MatrixToDouble(const TMatrix& m);
// Diagonal (s.x, s.y, s.z, 1), row 3 = (t.x, t.y, t.z, 1).
TMatrix ScaleTranslationMatrix(const TVector& s, const TVector& t);
// Rotation by angle (radians) about the normalised axis. The rows are those of
// the usual column-vector rotation, so with row vectors a positive angle turns
// the other way: about Z by +90 degrees, X goes to -Y.
TMatrix CreateRotationMatrix(const TAffineVector& axis, float angle);
TMatrix CreateRotationMatrixHmg(const TVector& axis, float angle);
// A * B: A applied first.
TMatrix MatrixMultiply(const TMatrix& a, const TMatrix& b);
// The same into r; r may be a or b.
void MatrixMultiply(const TMatrix& a, const TMatrix& b, TMatrix& r);
void MatrixMultiplySafe(const TMatrix& a, const TMatrix& b, TMatrix& r);
// v * M over all four components.
TVector VectorTransform(const TVector& v, const TMatrix& m);
// (x, y, z, 1) * M keeping x, y, z: translation applied, no division by w.
TAffineVector AffineVectorTransform(const TAffineVector& v, const TMatrix& m);
// Determinant of the 3x3 matrix with rows (a1, a2, a3), (b1, b2, b3), (c1, c2, c3).
float MatrixDet3(float a1, float a2, float a3, float b1, float b2, float b3, float c1, float c2,
                 float c3);
float MatrixDeterminant(const TMatrix& m);
// M := transposed cofactor matrix.
void AdjointMatrix(TMatrix& m);
void ScaleMatrix(TMatrix& m, float f);
void TransposeMatrix(TMatrix& m);
// Row 1 keeps its direction; rows 0 and 2 are rebuilt from it, all three of
// unit length; row 3 := (0,0,0,1).
void OrthonormalizeMatrix(TMatrix& m);
// In place; a matrix whose determinant is below `DeterminantThreshold` in
// magnitude, or NaN, becomes the identity (no error is reported).
void InvertMatrix(TMatrix& m);
// Inverse of rotation * uniform scale + translation; identity when the scale
// is below the threshold or NaN.
TMatrix InvertRotationScaleMatrix(const TMatrix& m);
// Normalised (p2 - p1) x (p3 - p1).
TAffineVector CalcPlaneNormal(const TAffineVector& p1, const TAffineVector& p2,
                              const TAffineVector& p3);
// The same from points into the x, y, z of r; r.w is left untouched.
void CalcPlaneNormalHmg(const TVector& p1, const TVector& p2, const TVector& p3, TVector& r);
// Scales (a, b, c, d) so that `EvaluatePlane` gives a signed distance.
void NormalizePlane(TVector& plane);

// ---- Scalars ---------------------------------------------------------------
// `RoundToInt` (halves to even) and `TruncToInt` (toward zero) come from
// platform/Rounding.h: both saturate and give 0 for NaN.

float Power(float base, float exponent);
// Repeated squaring; n = 0 gives 1, negative n gives 1/base^|n|.
float IntPower(float base, int n);
constexpr double DegToRad(double degrees) { return degrees * (cPIdouble / 180.0); }
constexpr float DegToRad(float degrees) { return degrees * cPIdiv180; }
constexpr double RadToDeg(double radians) { return radians * (180.0 / cPIdouble); }
constexpr float RadToDeg(float radians) { return radians * c180divPI; }
// Into (-180, 180], for angles within one turn of that range; 180 stays 180.
float NormalizeAngleDegrees(float angle);
void SinCos(double angle, double& sine, double& cosine);
void SinCos(float angle, float& sine, float& cosine);
void SinCosScaled(float angle, float radius, float& sine, float& cosine);
void SinCosScaled(double angle, double radius, double& sine, double& cosine);
// Fills sine[0..n] and cosine[0..n], n = sine.size() - 1, with the angles from
// start to stop degrees in n equal steps. Below 1000 steps the values come from
// a rotation recurrence (cheaper, slightly less exact). Entries beyond the end
// of a shorter cosine array are not written.
void PrepareSinCosCache(std::span<float> sine, std::span<float> cosine, float startAngle,
                        float stopAngle);
// ArcTan2(sqrt(1 - x*x), x): NaN outside [-1, 1].
double ArcCos(double x);
double ArcTan2(double y, double x);
float ArcTan2(float y, float x);
double Tan(double x);
float RSqrt(float x);
// Nearest integral value, halves to even.
float RoundFloat(float x);
// Integral part toward zero.
double IntPart(double x);
float Frac(float x);
// -1, 0 or 1 (0 also for NaN).
int Sign(float x);
// The larger value, the second when equal.
double MaxFloat(double a, double b);
int MaxInteger(int a, int b);
int MaxInteger(int a, int b, int c);
float ClampValue(float value, float minValue, float maxValue);

// ---- Geometric tests -------------------------------------------------------

// Ray and plane (through planePoint with normal planeNormal). Parallel rays
// (|direction . normal| <= `ParallelThreshold`) give false. Without an out
// point any other ray gives true; with one, only a hit in front of the start
// (t > 0) gives true, and the point is written then.
bool RayCastPlaneIntersect(const TVector& rayStart, const TVector& rayVector,
                           const TVector& planePoint, const TVector& planeNormal,
                           TVector* intersectPoint = nullptr);
// Ray (unit direction) and sphere: number of hits 0, 1 or 2 in front of the
// start. With 2, near and far are the entry and exit; with 1 (tangent, or start
// inside the sphere) near holds the hit. Unused out points are not written.
int RayCastSphereIntersect(const TVector& rayStart, const TVector& rayVector,
                           const TVector& sphereCenter, float sphereRadius,
                           TVector& intersectNear, TVector& intersectFar);
// Radius of the visible disc of a sphere seen from distance.
float SphereApparentRadius(float distance, float radius);
// The six normalised planes of a projection (or model-view-projection) matrix.
TFrustum FrustumFromMatrix(const TMatrix& m);
// True when the sphere lies wholly outside one plane of the frustum.
bool SphereOutsideFrustum(const TAffineVector& center, float radius, const TFrustum& frustum);
bool SphereOutsideFrustum(const TVector& center, float radius, const TFrustum& frustum);
// The box's bounding sphere against the frustum (box given by its corners).
bool SphereOutsideFrustum(const TAffineVector& minCorner, const TAffineVector& maxCorner,
                          const TFrustum& frustum);

}  // namespace qira

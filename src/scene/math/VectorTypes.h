#pragma once
// The engine's plain geometry values: 3- and 4-float vectors, texture points,
// 4x4 matrices in the memory order OpenGL loads, frusta, and the 64-bit forms
// handed to GLU. Copied by value, no ownership, no invariants.
//
// Conventions every user keeps:
// - row vectors: a point p is transformed as p' = p * M, so A * B applies A first;
// - `TMatrix` row 3 (elements 12, 13, 14) holds the translation; the 16 floats
//   go to glLoadMatrixf / glMultMatrixf unchanged (`TMatrix::data()`);
// - a `TVector` is a point when w = 1, a direction when w = 0, and also serves
//   as a plane (a, b, c, d) and an RGBA colour.
#include <bit>
#include <cstddef>
#include <cstdint>

namespace qira {

// A point or direction in 3D.
struct TAffineVector {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  // Component i (0 = x, 1 = y, 2 = z); i must be below 3.
  constexpr float& operator[](std::size_t i) { return this->*kMembers[i]; }
  constexpr const float& operator[](std::size_t i) const { return this->*kMembers[i]; }
  float* data() { return &x; }
  const float* data() const { return &x; }

 private:
  static constexpr float TAffineVector::*kMembers[3] = {&TAffineVector::x, &TAffineVector::y,
                                                        &TAffineVector::z};
};

// Homogeneous vector: a point (w = 1), a direction (w = 0), a plane (a, b, c, d)
// or an RGBA colour.
struct TVector {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;

  // Component i (0 = x .. 3 = w); i must be below 4.
  constexpr float& operator[](std::size_t i) { return this->*kMembers[i]; }
  constexpr const float& operator[](std::size_t i) const { return this->*kMembers[i]; }
  float* data() { return &x; }
  const float* data() const { return &x; }

 private:
  static constexpr float TVector::*kMembers[4] = {&TVector::x, &TVector::y, &TVector::z,
                                                  &TVector::w};
};

// Texture coordinate.
struct TTexPoint {
  float s = 0.0f;
  float t = 0.0f;
};

// 4x4 matrix of four `TVector` rows; element (i, j) is M[i][j], float i*4 + j.
struct TMatrix {
  TVector rows[4];

  constexpr TVector& operator[](std::size_t i) { return rows[i]; }
  constexpr const TVector& operator[](std::size_t i) const { return rows[i]; }
  // The 16 floats in the order glLoadMatrixf expects.
  float* data() { return rows[0].data(); }
  const float* data() const { return rows[0].data(); }
};

// Six planes (a, b, c, d), positive inside, in the fixed order left, top,
// right, bottom, near, far.
struct TFrustum {
  TVector pLeft;
  TVector pTop;
  TVector pRight;
  TVector pBottom;
  TVector pNear;
  TVector pFar;

  // Plane i in the order above; i must be below 6.
  constexpr TVector& operator[](std::size_t i) { return this->*kPlanes[i]; }
  constexpr const TVector& operator[](std::size_t i) const { return this->*kPlanes[i]; }

 private:
  static constexpr TVector TFrustum::*kPlanes[6] = {&TFrustum::pLeft,  &TFrustum::pTop,
                                                    &TFrustum::pRight, &TFrustum::pBottom,
                                                    &TFrustum::pNear,  &TFrustum::pFar};
};

// 64-bit forms: only conversion targets for GLU calls that take doubles.
struct TAffineDblVector {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// 16 doubles in the same order as `TMatrix` (pass `e` where GLU wants GLdouble[16]).
struct TDoubleMatrix {
  double e[16] = {};
};

static_assert(sizeof(TAffineVector) == 12);
static_assert(sizeof(TVector) == 16);
static_assert(sizeof(TTexPoint) == 8);
static_assert(sizeof(TMatrix) == 64);
static_assert(sizeof(TFrustum) == 96);
static_assert(sizeof(TAffineDblVector) == 24);
static_assert(sizeof(TDoubleMatrix) == 128);

// ---- Named constants -------------------------------------------------------

inline constexpr TAffineVector XVector{1.0f, 0.0f, 0.0f};
inline constexpr TAffineVector YVector{0.0f, 1.0f, 0.0f};
inline constexpr TAffineVector ZVector{0.0f, 0.0f, 1.0f};
inline constexpr TAffineVector XYZVector{1.0f, 1.0f, 1.0f};
inline constexpr TAffineVector NullVector{0.0f, 0.0f, 0.0f};

inline constexpr TVector XHmgVector{1.0f, 0.0f, 0.0f, 0.0f};
inline constexpr TVector YHmgVector{0.0f, 1.0f, 0.0f, 0.0f};
inline constexpr TVector ZHmgVector{0.0f, 0.0f, 1.0f, 0.0f};
inline constexpr TVector WHmgVector{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr TVector XYZHmgVector{1.0f, 1.0f, 1.0f, 0.0f};
inline constexpr TVector XHmgPoint{1.0f, 0.0f, 0.0f, 1.0f};
inline constexpr TVector YHmgPoint{0.0f, 1.0f, 0.0f, 1.0f};
inline constexpr TVector ZHmgPoint{0.0f, 0.0f, 1.0f, 1.0f};
inline constexpr TVector NullHmgVector{0.0f, 0.0f, 0.0f, 0.0f};
inline constexpr TVector NullHmgPoint{0.0f, 0.0f, 0.0f, 1.0f};

inline constexpr TTexPoint NullTexPoint{0.0f, 0.0f};

inline constexpr TMatrix IdentityHmgMatrix{{{1.0f, 0.0f, 0.0f, 0.0f},
                                            {0.0f, 1.0f, 0.0f, 0.0f},
                                            {0.0f, 0.0f, 1.0f, 0.0f},
                                            {0.0f, 0.0f, 0.0f, 1.0f}}};
inline constexpr TMatrix EmptyHmgMatrix{};

// Below this magnitude a determinant (or squared scale) counts as singular:
// 1e-40 as the nearest single, a denormal.
inline constexpr float DeterminantThreshold = std::bit_cast<float>(std::uint32_t{0x000116C2});
// Below this magnitude a ray counts as parallel to a plane.
inline constexpr float ParallelThreshold = 1e-30f;

inline constexpr float cPI = std::bit_cast<float>(std::uint32_t{0x40490FDB});
inline constexpr double cPIdouble = 3.14159265358979323846;
inline constexpr float cPIdiv180 = std::bit_cast<float>(std::uint32_t{0x3C8EFA35});
inline constexpr float c180divPI = std::bit_cast<float>(std::uint32_t{0x42652EE1});
inline constexpr float c2PI = 2.0f * cPI;
inline constexpr float cInv360 = 1.0f / 360.0f;
inline constexpr float c180 = 180.0f;
inline constexpr float c360 = 360.0f;

}  // namespace qira

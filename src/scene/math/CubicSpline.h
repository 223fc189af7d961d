#pragma once
// Interpolating cubic splines through up to four coordinate arrays sampled at
// the parameters 0, 1, ..., n-1: natural-end Hermite splines whose knot
// derivatives come from one tridiagonal solve per axis.
#include <vector>

#include "scene/math/VectorTypes.h"

namespace qira {

class TCubicSpline {
 public:
  // One cubic per segment, in the segment's local parameter u = t - i:
  // value ((a*u + b)*u + c)*u + d. (Expanded in the global parameter the 32-bit
  // coefficients would cancel catastrophically on long node lists.)
  struct TSegment {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 0.0f;
  };

  // Any array may be null; a null array, or n < 2, gives that axis no segment
  // (it evaluates to 0). Non-null arrays hold at least n floats.
  TCubicSpline(const float* x, const float* y, const float* z, const float* w, int n);

  float EvalX(float t) const;
  void EvalToFloats(float t, float& x, float& y, float& z) const;
  TAffineVector EvalXYZ(float t) const;
  TAffineVector EvalAffinePoint(float t) const { return EvalXYZ(t); }
  // First derivatives of X, Y and Z with respect to t.
  TAffineVector EvalAffineSlope(float t) const;

  int Count() const { return count_; }
  const std::vector<TSegment>& XTable() const { return x_; }
  const std::vector<TSegment>& YTable() const { return y_; }
  const std::vector<TSegment>& ZTable() const { return z_; }
  const std::vector<TSegment>& WTable() const { return w_; }

 private:
  // Outside [0, n-1] the first or last segment extrapolates.
  static float Value(const std::vector<TSegment>& table, float t);
  static float Slope(const std::vector<TSegment>& table, float t);

  std::vector<TSegment> x_;
  std::vector<TSegment> y_;
  std::vector<TSegment> z_;
  std::vector<TSegment> w_;
  int count_ = 0;
};

}  // namespace qira

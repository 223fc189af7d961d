#include "scene/math/BoundingBox.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

// Axis coordinates of the plane's corners, lowest and highest.
std::pair<float, float> PlaneRange(const THmgBoundingBox& box, int plane) {
  const std::size_t axis = std::size_t(plane / 2);
  float lo = box[std::size_t(BoxPlaneCorners[plane][0])][axis];
  float hi = lo;
  for (int k = 1; k < 4; ++k) {
    const float v = box[std::size_t(BoxPlaneCorners[plane][k])][axis];
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  return {lo, hi};
}

TAffineVector AxisBoxCorner(const TAABB& box, int corner) {
  return {(corner & 1) ? box.max.x : box.min.x, (corner & 2) ? box.max.y : box.min.y,
          (corner & 4) ? box.max.z : box.min.z};
}

}  // namespace

void SetBoxPlane(THmgBoundingBox& box, int plane, float value) {
  const std::size_t axis = std::size_t(plane / 2);
  for (int k = 0; k < 4; ++k) {
    TVector& corner = box[std::size_t(BoxPlaneCorners[plane][k])];
    corner[axis] = value;
    corner.w = 1.0f;
  }
}

bool BoxesEqual(const THmgBoundingBox& a, const THmgBoundingBox& b) {
  return std::memcmp(&a, &b, sizeof(THmgBoundingBox)) == 0;
}

void GrowBox(THmgBoundingBox& a, const THmgBoundingBox& b) {
  // A plane moves only when all four of its corners lie inside the new
  // coordinate, so no corner of a ever moves inward.
  for (std::size_t c = 0; c < 8; ++c) {
    for (int plane = 0; plane < 6; ++plane) {
      const float v = b[c][std::size_t(plane / 2)];
      const auto [lo, hi] = PlaneRange(a, plane);
      const bool isMaxPlane = (plane % 2) == 0;
      if (isMaxPlane ? hi < v : lo > v) SetBoxPlane(a, plane, v);
    }
  }
}

void GrowAxisBox(TAABB& a, const TAABB& b) {
  for (std::size_t i = 0; i < 3; ++i) {
    a.min[i] = std::min(a.min[i], b.min[i]);
    a.max[i] = std::max(a.max[i], b.max[i]);
  }
}

void AxisBoxFromHalfSize(TAABB& box, const TAffineVector& halfSize) {
  for (std::size_t i = 0; i < 3; ++i) {
    box.max[i] = std::fabs(halfSize[i]);
    box.min[i] = -box.max[i];
  }
}

void TransformBox(THmgBoundingBox& box, const TMatrix& m) {
  for (std::size_t i = 0; i < 8; ++i) box[i] = VectorTransform(box[i], m);
}

void TransformAxisBox(TAABB& box, const TMatrix& m) {
  const TAABB source = box;
  const TAffineVector first = AffineVectorTransform(source.min, m);
  box.min = first;
  box.max = first;
  for (int corner = 1; corner < 8; ++corner)
    IncludeInAxisBox(box, AffineVectorTransform(AxisBoxCorner(source, corner), m));
}

void ScaleAxisBox(TAABB& box, const TAffineVector& factors) {
  ScaleAffineVectorByVector(box.min, factors);
  ScaleAffineVectorByVector(box.max, factors);
}

void IncludeInAxisBox(TAABB& box, const TAffineVector& point) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (point[i] < box.min[i]) box.min[i] = point[i];
    if (point[i] > box.max[i]) box.max[i] = point[i];
  }
}

TAABB BoxToAxisBox(const THmgBoundingBox& box) {
  TAABB r{CopyAffineVector(box[0]), CopyAffineVector(box[0])};
  for (std::size_t c = 1; c < 8; ++c) IncludeInAxisBox(r, CopyAffineVector(box[c]));
  return r;
}

THmgBoundingBox AxisBoxToBox(const TAABB& box) {
  THmgBoundingBox r;
  SetBoxPlane(r, 0, box.max.x);
  SetBoxPlane(r, 1, box.min.x);
  SetBoxPlane(r, 2, box.max.y);
  SetBoxPlane(r, 3, box.min.y);
  SetBoxPlane(r, 4, box.max.z);
  SetBoxPlane(r, 5, box.min.z);
  return r;
}

void OffsetBox(THmgBoundingBox& box, const TAffineVector& delta) {
  for (std::size_t c = 0; c < 8; ++c) AddToPoint(box[c], delta);
}

bool PointInAxisBox(const TAffineVector& point, const TAABB& box) {
  for (std::size_t i = 0; i < 3; ++i)
    if (!(point[i] >= box.min[i] && point[i] <= box.max[i])) return false;
  return true;
}

bool RayAxisBoxIntersect(const TAffineVector& origin, const TAffineVector& direction,
                         const TAABB& box, float& tNear, float& tFar) {
  // In double, so that 1/direction of a denormal component stays finite.
  double nearT = -std::numeric_limits<double>::infinity();
  double farT = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < 3; ++i) {
    if (direction[i] == 0.0f) {
      if (origin[i] < box.min[i] || origin[i] > box.max[i]) return false;
      continue;
    }
    const double r = 1.0 / double(direction[i]);
    double t1 = (double(box.min[i]) - origin[i]) * r;
    double t2 = (double(box.max[i]) - origin[i]) * r;
    if (t1 > t2) std::swap(t1, t2);
    if (t1 > nearT) nearT = t1;
    if (t2 < farT) farT = t2;
    if (nearT > farT || farT < 0.0) return false;
  }
  tNear = static_cast<float>(nearT);
  tFar = static_cast<float>(farT);
  return true;
}

}  // namespace qira

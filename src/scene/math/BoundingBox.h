#pragma once
// Two box forms for culling, picking and extents: the eight-corner box of
// homogeneous points, which survives any transformation, and the axis-aligned
// box given by its minimum and maximum corners.
#include <cstddef>

#include "scene/math/VectorTypes.h"

namespace qira {

// Eight corners (w = 1), numbered with (x, y, z) each at the maximum (+) or
// minimum (-) of the box:
//   0 (+,+,+)  1 (+,-,+)  2 (+,-,-)  3 (+,+,-)
//   4 (-,+,+)  5 (-,-,+)  6 (-,-,-)  7 (-,+,-)
// Face planes 0..5 are x-max, x-min, y-max, y-min, z-max, z-min; plane p
// constrains axis p / 2.
struct THmgBoundingBox {
  TVector bbox[8];

  constexpr TVector& operator[](std::size_t i) { return bbox[i]; }
  constexpr const TVector& operator[](std::size_t i) const { return bbox[i]; }
};

// Minimum x, y, z then maximum x, y, z.
struct TAABB {
  TAffineVector min;
  TAffineVector max;
};

static_assert(sizeof(THmgBoundingBox) == 128);
static_assert(sizeof(TAABB) == 24);

// The four corners of each face plane, in the order of the table above.
inline constexpr int BoxPlaneCorners[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 4, 7, 3},
                                              {1, 5, 6, 2}, {0, 1, 5, 4}, {2, 3, 7, 6}};

// Sets the plane's axis coordinate of its four corners to value, and their w to 1.
void SetBoxPlane(THmgBoundingBox& box, int plane, float value);
// Byte-for-byte equality of the 32 floats.
bool BoxesEqual(const THmgBoundingBox& a, const THmgBoundingBox& b);
// Moves each face plane of a outward (never inward) until it reaches every
// corner of b.
void GrowBox(THmgBoundingBox& a, const THmgBoundingBox& b);
// a := the smallest box containing a and b.
void GrowAxisBox(TAABB& a, const TAABB& b);
// max := |halfSize|, min := -|halfSize|.
void AxisBoxFromHalfSize(TAABB& box, const TAffineVector& halfSize);
// Every corner := corner * m (all four components).
void TransformBox(THmgBoundingBox& box, const TMatrix& m);
// The smallest axis box containing the eight transformed corners.
void TransformAxisBox(TAABB& box, const TMatrix& m);
void ScaleAxisBox(TAABB& box, const TAffineVector& factors);
void IncludeInAxisBox(TAABB& box, const TAffineVector& point);
TAABB BoxToAxisBox(const THmgBoundingBox& box);
THmgBoundingBox AxisBoxToBox(const TAABB& box);
// Adds delta to every corner; w := 1.
void OffsetBox(THmgBoundingBox& box, const TAffineVector& delta);
// Bounds inclusive on every axis.
bool PointInAxisBox(const TAffineVector& point, const TAABB& box);
// Slab test of the ray origin + t*direction. On true, tNear and tFar are the
// entry and exit parameters (tNear negative when the origin is inside); on
// false they are not written.
bool RayAxisBoxIntersect(const TAffineVector& origin, const TAffineVector& direction,
                         const TAABB& box, float& tNear, float& tFar);

}  // namespace qira

#pragma once
// Window regions and the polygon sets they are traced into, and what polygons can
// do that a region cannot: turn by any angle, shrink by a rim width, split the ring
// between two nested outlines into lit and shaded bands.
//
// A polygon set is three arrays owned by the caller: all points one polygon after
// the other, the point count of each polygon, and each polygon's nesting level
// (0 outline, 1 hole in it, 2 island in the hole, ...). Angles are integers in
// tenths of a degree; a positive angle turns counter-clockwise on the screen
// (y grows downwards).
#include <QRegion>

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/Canvas.h"

namespace qira {

using Tpoints = std::vector<TPoint>;
using Tintegers = std::vector<int32_t>;

// Points with a tag each; the tracer's corner list.
struct TRgnpoints {
  Tpoints Points;
  Tintegers Tags;
};

// An area of device pixels as the platform's regions hold it: non-overlapping
// rectangles in bands of equal top and bottom, sorted by y and then x. The button
// hands it to its widget as the mask and hit-tests against it.
class TRegion {
 public:
  TRegion() = default;
  explicit TRegion(QRegion area) : area_(std::move(area)) {}

  static TRegion FromRect(const TRect& r);
  // Pixels whose centre lies inside under the alternate (even-odd) rule.
  static TRegion FromPolygon(std::span<const TPoint> points);
  // The platform's region-data block: a 32-byte header (size 32, type 1, rectangle
  // count, buffer size, bounds) followed by the rectangles as four int32 each,
  // little-endian. Nothing when the header is not of that form or announces more
  // rectangles than the bytes hold.
  static std::optional<TRegion> FromRegionData(std::span<const uint8_t> data);
  std::vector<uint8_t> RegionData() const;

  bool IsEmpty() const { return area_.isEmpty(); }
  bool Contains(int32_t x, int32_t y) const { return area_.contains(QPoint(x, y)); }
  TRect BoundingBox() const;
  std::vector<TRect> Rects() const;
  int RectCount() const { return area_.rectCount(); }
  void Offset(int32_t dx, int32_t dy) { area_.translate(dx, dy); }
  // RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF or RGN_COPY (this region's area becomes other's).
  void Combine(const TRegion& other, TRegionMode mode);

  const QRegion& Area() const { return area_; }
  friend bool operator==(const TRegion& a, const TRegion& b) { return a.area_ == b.area_; }

 private:
  QRegion area_;
};

// A polygon set: the points of all polygons, each one's count and nesting level.
struct TPolygonSet {
  Tpoints Points;
  Tintegers Counts;
  Tintegers Levels;
};

// Traces region into closed polygons, replacing the three arrays; nothing is
// written for a region without rectangles. Staircase edges one pixel deep are
// smoothed into slopes; levels count the polygons that contain a polygon's first
// point.
void RegionToPolygons(const TRegion& region, Tpoints& points, Tintegers& counts, Tintegers& levels);
// The area of a polygon set: level by level, the first polygon met is the start,
// later ones are added when their level is even and cut out when it is odd. Nothing
// when the set holds no polygon.
std::optional<TRegion> PolygonsToRegion(const Tpoints& points, const Tintegers& counts, const Tintegers& levels);
// Turns every point about (centerX, centerY) by angle tenths of a degree.
void RotatePolygons(Tpoints& points, int32_t centerX, int32_t centerY, int32_t angle);
// Moves each vertex into the filled side of the shape by distance along its
// bisector (the filled side of a hole is outside it). A vertex whose bisector test
// point lies inside its polygon moves only when the flag of its level's parity
// allows (moveOddLevels for holes, moveEvenLevels for outlines).
void InsetPolygons(Tpoints& points, const Tintegers& counts, const Tintegers& levels, bool moveOddLevels,
                   bool moveEvenLevels, int32_t distance);
// Splits the ring between outer and inner (the same counts) into quadrilaterals,
// one per edge: for a clockwise outline, band 1 gets the top and left edges (the
// lit side) and band 2 the bottom and right ones. Each quadrilateral has count 4.
void SplitRimBands(const Tpoints& outer, const Tpoints& inner, const Tintegers& counts, const Tintegers& levels,
                   Tpoints& band1, Tintegers& counts1, Tpoints& band2, Tintegers& counts2);
// Per polygon keeps the first point and every point farther than max(2, distance)
// from the last kept one; polygons left with fewer than 3 points are dropped with
// their count and level.
void SimplifyPolygons(Tpoints& points, Tintegers& counts, Tintegers& levels, int32_t distance);
// destination := a copy of source.
void CopyPoints(const Tpoints& source, Tpoints& destination);
// i + 1, 0 after the last of count.
int32_t NextIndex(int32_t i, int32_t count);
// i − 1, count − 1 before the first.
int32_t PrevIndex(int32_t i, int32_t count);

// Even-odd test of a point against one polygon.
bool PointInPolygon(std::span<const TPoint> polygon, double x, double y);

}  // namespace qira

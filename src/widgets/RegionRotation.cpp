#include "widgets/RegionRotation.h"

// Sections:
//   1. the region type
//   2. polygon-set walking
//   3. tracing a region into polygons
//   4. polygons to a region, rotation, inset, bands, thinning

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <utility>

#include "platform/Rounding.h"

namespace qira {

// ---- 1. the region type ---------------------------------------------------------------------

namespace {

constexpr uint32_t kRegionHeaderSize = 32;
constexpr uint32_t kRegionRectSize = 16;
constexpr uint32_t kRectanglesType = 1;

int32_t ReadInt32(std::span<const uint8_t> data, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | data[at + static_cast<size_t>(i)];
  return static_cast<int32_t>(v);
}

void WriteInt32(std::vector<uint8_t>& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

}  // namespace

TRegion TRegion::FromRect(const TRect& r) { return TRegion(RectRegion(r)); }

TRegion TRegion::FromPolygon(std::span<const TPoint> points) {
  if (points.size() < 3) return TRegion();
  return TRegion(PolygonRegion(points));
}

std::optional<TRegion> TRegion::FromRegionData(std::span<const uint8_t> data) {
  if (data.size() < kRegionHeaderSize) return std::nullopt;
  const auto headerSize = static_cast<uint32_t>(ReadInt32(data, 0));
  const auto type = static_cast<uint32_t>(ReadInt32(data, 4));
  const auto count = static_cast<uint32_t>(ReadInt32(data, 8));
  if (headerSize != kRegionHeaderSize || type != kRectanglesType) return std::nullopt;
  if (count > (data.size() - kRegionHeaderSize) / kRegionRectSize) return std::nullopt;
  QRegion area;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = kRegionHeaderSize + static_cast<size_t>(i) * kRegionRectSize;
    const TRect r{ReadInt32(data, at), ReadInt32(data, at + 4), ReadInt32(data, at + 8), ReadInt32(data, at + 12)};
    area += RectRegion(r);
  }
  return TRegion(area);
}

std::vector<uint8_t> TRegion::RegionData() const {
  const std::vector<TRect> rects = Rects();
  const TRect bounds = BoundingBox();
  std::vector<uint8_t> out;
  out.reserve(kRegionHeaderSize + rects.size() * kRegionRectSize);
  WriteInt32(out, static_cast<int32_t>(kRegionHeaderSize));
  WriteInt32(out, static_cast<int32_t>(kRectanglesType));
  WriteInt32(out, static_cast<int32_t>(rects.size()));
  WriteInt32(out, static_cast<int32_t>(rects.size() * kRegionRectSize));
  for (int32_t v : {bounds.Left, bounds.Top, bounds.Right, bounds.Bottom}) WriteInt32(out, v);
  for (const TRect& r : rects) {
    for (int32_t v : {r.Left, r.Top, r.Right, r.Bottom}) WriteInt32(out, v);
  }
  return out;
}

TRect TRegion::BoundingBox() const {
  if (area_.isEmpty()) return {};
  const QRect b = area_.boundingRect();
  return {b.left(), b.top(), b.left() + b.width(), b.top() + b.height()};
}

std::vector<TRect> TRegion::Rects() const {
  std::vector<TRect> out;
  out.reserve(static_cast<size_t>(area_.rectCount()));
  for (const QRect& r : area_) out.push_back({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
  return out;
}

void TRegion::Combine(const TRegion& other, TRegionMode mode) {
  switch (mode) {
    case RGN_AND: area_ &= other.area_; break;
    case RGN_OR: area_ |= other.area_; break;
    case RGN_XOR: area_ ^= other.area_; break;
    case RGN_DIFF: area_ -= other.area_; break;
    case RGN_COPY: area_ = other.area_; break;
  }
}

// ---- 2. polygon-set walking -----------------------------------------------------------------

namespace {

struct TSpan {
  size_t start = 0;
  size_t count = 0;
  int32_t level = 0;
};

// The polygons of a set whose points are all there; a count that is negative or
// runs past the points ends the set, so a malformed set is read as far as it is whole.
std::vector<TSpan> PolygonSpans(size_t pointCount, const Tintegers& counts, const Tintegers& levels) {
  std::vector<TSpan> spans;
  size_t at = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] < 0 || static_cast<size_t>(counts[i]) > pointCount - at) break;
    spans.push_back({at, static_cast<size_t>(counts[i]), i < levels.size() ? levels[i] : 0});
    at += static_cast<size_t>(counts[i]);
  }
  return spans;
}

double Distance(const TPoint& a, const TPoint& b) {
  return std::hypot(static_cast<double>(a.X) - b.X, static_cast<double>(a.Y) - b.Y);
}

}  // namespace

bool PointInPolygon(std::span<const TPoint> polygon, double x, double y) {
  bool inside = false;
  const size_t n = polygon.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = polygon[i].X, yi = polygon[i].Y;
    const double xj = polygon[j].X, yj = polygon[j].Y;
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

int32_t NextIndex(int32_t i, int32_t count) { return i + 1 >= count ? 0 : i + 1; }
int32_t PrevIndex(int32_t i, int32_t count) { return i - 1 < 0 ? count - 1 : i - 1; }

void CopyPoints(const Tpoints& source, Tpoints& destination) { destination = source; }

// ---- 3. tracing a region into polygons --------------------------------------------------------

namespace {

// The platform's bands share corners only where their rectangles happen to end at
// the same x; a band's rectangles are cut at every x where a touching band's
// rectangles start or end, so that every turn of the outline is a corner shared by
// the rectangles around it and the tag rules see it.
std::vector<TRect> AlignBandCorners(const std::vector<TRect>& rects) {
  struct TBand {
    int32_t top, bottom;
    std::vector<TRect> rects;
  };
  std::vector<TBand> bands;
  for (const TRect& r : rects) {
    if (bands.empty() || bands.back().top != r.Top || bands.back().bottom != r.Bottom)
      bands.push_back({r.Top, r.Bottom, {}});
    bands.back().rects.push_back(r);
  }
  std::vector<TRect> out;
  for (size_t k = 0; k < bands.size(); ++k) {
    std::vector<int32_t> cuts;
    auto addCuts = [&](const TBand& b) {
      for (const TRect& r : b.rects) {
        cuts.push_back(r.Left);
        cuts.push_back(r.Right);
      }
    };
    if (k > 0 && bands[k - 1].bottom == bands[k].top) addCuts(bands[k - 1]);
    if (k + 1 < bands.size() && bands[k + 1].top == bands[k].bottom) addCuts(bands[k + 1]);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (const TRect& r : bands[k].rects) {
      int32_t left = r.Left;
      for (int32_t x : cuts) {
        if (x <= left || x >= r.Right) continue;
        out.push_back({left, r.Top, x, r.Bottom});
        left = x;
      }
      out.push_back({left, r.Top, r.Right, r.Bottom});
    }
  }
  return out;
}

// Corners of the rectangles, tagged 1 (left, top), 2 (right, top), 3 (right, bottom),
// 4 (left, bottom) when convex, −k when concave with tag k missing.
TRgnpoints TagCorners(const std::vector<TRect>& rects) {
  struct TGroup {
    TPoint at;
    int count = 0;
    int sum = 0;
  };
  std::vector<TGroup> groups;
  std::map<std::pair<int32_t, int32_t>, size_t> index;
  auto add = [&](int32_t x, int32_t y, int tag) {
    auto [it, fresh] = index.try_emplace({x, y}, groups.size());
    if (fresh) groups.push_back({{x, y}, 0, 0});
    groups[it->second].count += 1;
    groups[it->second].sum += tag;
  };
  for (const TRect& r : rects) {
    add(r.Left, r.Top, 1);
    add(r.Right, r.Top, 2);
    add(r.Right, r.Bottom, 3);
    add(r.Left, r.Bottom, 4);
  }
  TRgnpoints corners;
  auto put = [&](const TPoint& p, int32_t tag) {
    corners.Points.push_back(p);
    corners.Tags.push_back(tag);
  };
  for (const TGroup& g : groups) {
    if (g.count == 1) {
      put(g.at, g.sum);
    } else if (g.count == 3) {
      put(g.at, -(10 - g.sum));
    } else if (g.count == 2 && g.sum == 4) {
      put(g.at, -4);
      put(g.at, -2);
    } else if (g.count == 2 && g.sum == 6) {
      put(g.at, -3);
      put(g.at, -1);
    }
  }
  return corners;
}

struct TStep {
  bool row;       // search the current row (else the current column)
  int direction;  // +1 towards larger coordinates, −1 towards smaller
  int32_t next1, next2;
};

// Indexed by tag + 4 (tags −4 .. 4, 0 unused) and sense.
constexpr TStep kSteps[9][2] = {
    {{false, -1, -1, 2}, {true, +1, -3, 2}},   // −4
    {{true, -1, -4, 1}, {false, -1, -2, 1}},   // −3
    {{false, +1, -3, 4}, {true, -1, -1, 4}},   // −2
    {{true, +1, -2, 3}, {false, +1, -4, 3}},   // −1
    {{true, +1, 0, 0}, {true, +1, 0, 0}},      // unused
    {{true, +1, -3, 2}, {false, +1, -3, 4}},   // 1
    {{false, +1, -4, 3}, {true, -1, -4, 1}},   // 2
    {{true, -1, -1, 4}, {false, -1, -1, 2}},   // 3
    {{false, -1, -2, 1}, {true, +1, -2, 3}},   // 4
};

// Chains the corners into closed outlines; returns the walks as lists of corner indices.
std::vector<std::vector<size_t>> ChainCorners(const TRgnpoints& corners) {
  const size_t n = corners.Points.size();
  std::map<int32_t, std::vector<size_t>> rows, columns;
  for (size_t i = 0; i < n; ++i) {
    rows[corners.Points[i].Y].push_back(i);
    columns[corners.Points[i].X].push_back(i);
  }
  std::vector<int> walkOf(n, 0);
  std::vector<std::vector<size_t>> walks;
  for (size_t start = 0; start < n; ++start) {
    if (walkOf[start] != 0) continue;
    walks.emplace_back();
    std::vector<size_t>& walk = walks.back();
    const int number = static_cast<int>(walks.size());
    walkOf[start] = number;
    walk.push_back(start);
    size_t current = start;
    int32_t previousTag = corners.Tags[start];
    int sense = 0;
    for (;;) {
      const int32_t tag = corners.Tags[current];
      if ((previousTag < 0) != (tag < 0)) sense = 1 - sense;
      const TStep& step = kSteps[tag + 4][sense];
      const TPoint at = corners.Points[current];
      const std::vector<size_t>& line = step.row ? rows[at.Y] : columns[at.X];
      size_t best = n;
      int64_t bestDistance = 0;
      for (size_t c : line) {
        if (c == current) continue;
        if (walkOf[c] != 0 && c != start) continue;
        const int32_t t = corners.Tags[c];
        if (t != step.next1 && t != step.next2) continue;
        const TPoint p = corners.Points[c];
        const int64_t d = step.direction * (step.row ? static_cast<int64_t>(p.X) - at.X
                                                     : static_cast<int64_t>(p.Y) - at.Y);
        if (d < 0) continue;
        if (best == n || d < bestDistance) {
          best = c;
          bestDistance = d;
        }
      }
      if (best == n || best == start) break;
      walkOf[best] = number;
      walk.push_back(best);
      previousTag = tag;
      current = best;
    }
  }
  return walks;
}

// The points of a traced outline without its one-pixel staircase steps. Rounds run
// while the polygon had more than 4 points at their start and the previous round
// removed something; a polygon keeps at least 3 points.
Tpoints SmoothStaircase(const Tpoints& polygon) {
  const size_t n = polygon.size();
  std::vector<int> removedIn(n, 0);  // the round a point was removed in, 0 = kept
  size_t count = n;
  // Heron's formula is not exact: a step one pixel deep gives h = 1/√2 up to the last bits.
  const double limit = 1.0 / std::numbers::sqrt2 + 1e-9;
  for (int round = 1; count > 4; ++round) {
    bool removed = false;
    for (size_t i = 0; i < n && count > 3; ++i) {
      if (removedIn[i] != 0) continue;
      size_t a = i, b = i;
      do a = (a + n - 1) % n;
      while (a != i && removedIn[a] != 0 && removedIn[a] != round);
      do b = (b + 1) % n;
      while (b != i && removedIn[b] != 0 && removedIn[b] != round);
      if (a == i || b == i || a == b) break;
      const double pa = Distance(polygon[i], polygon[a]);
      const double pb = Distance(polygon[i], polygon[b]);
      const double ab = Distance(polygon[a], polygon[b]);
      const double s = (pa + pb + ab) / 2;
      const double area = std::sqrt(std::max(0.0, s * (s - pa) * (s - pb) * (s - ab)));
      const double h = area > 0.1 && ab > 0.1 ? 2 * area / ab : ab;
      if (h <= limit) {
        removedIn[i] = round;
        --count;
        removed = true;
      }
    }
    if (!removed) break;
  }
  Tpoints out;
  out.reserve(count);
  for (size_t i = 0; i < n; ++i) {
    if (removedIn[i] == 0) out.push_back(polygon[i]);
  }
  return out;
}

}  // namespace

void RegionToPolygons(const TRegion& region, Tpoints& points, Tintegers& counts, Tintegers& levels) {
  const std::vector<TRect> rects = region.Rects();
  if (rects.empty()) return;
  const TRgnpoints corners = TagCorners(AlignBandCorners(rects));
  std::vector<Tpoints> polygons;
  for (const std::vector<size_t>& walk : ChainCorners(corners)) {
    Tpoints polygon;
    polygon.reserve(walk.size());
    for (size_t c : walk) polygon.push_back(corners.Points[c]);
    polygons.push_back(SmoothStaircase(polygon));
  }
  points.clear();
  counts.clear();
  levels.clear();
  for (size_t j = 0; j < polygons.size(); ++j) {
    int32_t level = 0;
    const TPoint first = polygons[j].front();
    for (size_t k = 0; k < polygons.size(); ++k) {
      if (k != j && PointInPolygon(polygons[k], first.X, first.Y)) ++level;
    }
    points.insert(points.end(), polygons[j].begin(), polygons[j].end());
    counts.push_back(static_cast<int32_t>(polygons[j].size()));
    levels.push_back(level);
  }
}

// ---- 4. polygons to a region, rotation, inset, bands, thinning ------------------------------

std::optional<TRegion> PolygonsToRegion(const Tpoints& points, const Tintegers& counts, const Tintegers& levels) {
  const std::vector<TSpan> spans = PolygonSpans(points.size(), counts, levels);
  if (spans.empty()) return std::nullopt;
  int32_t highest = 0;
  for (const TSpan& s : spans) highest = std::max(highest, s.level);
  std::optional<TRegion> result;
  for (int32_t level = 0; level <= highest; ++level) {
    for (const TSpan& s : spans) {
      if (s.level != level) continue;
      const TRegion part = TRegion::FromPolygon(std::span(points).subspan(s.start, s.count));
      if (!result) {
        result = part;
      } else {
        result->Combine(part, level % 2 == 0 ? RGN_OR : RGN_DIFF);
      }
    }
  }
  if (!result) result = TRegion();  // only negative levels: an empty area
  return result;
}

namespace {

// A point turned about the origin by angle radians, unrounded; the origin stays.
std::pair<double, double> TurnAboutOrigin(double x, double y, double angle) {
  const double r = std::hypot(x, y);
  if (RoundHalfEven(r) == 0) return {x, y};
  double phi;
  if (x == 0) {
    phi = y < 1 ? std::numbers::pi / 2 : -std::numbers::pi / 2;
  } else {
    phi = std::atan2(y == 0 ? 0.0 : -y, x);
  }
  phi += angle;
  return {r * std::cos(phi), -(r * std::sin(phi))};
}

}  // namespace

void RotatePolygons(Tpoints& points, int32_t centerX, int32_t centerY, int32_t angle) {
  const double a = angle * std::numbers::pi / 1800.0;
  for (TPoint& p : points) {
    const auto [x, y] = TurnAboutOrigin(p.X, p.Y, a);
    p.X = RoundToInt(x);
    p.Y = RoundToInt(y);
  }
  double cx = centerX, cy = centerY;
  if (RoundHalfEven(std::hypot(cx, cy)) == 0) {
    cx = 0;
    cy = 0;
  } else {
    std::tie(cx, cy) = TurnAboutOrigin(centerX, centerY, a);
  }
  const int32_t dx = RoundToInt(centerX - cx);
  const int32_t dy = RoundToInt(centerY - cy);
  for (TPoint& p : points) {
    p.X += dx;
    p.Y += dy;
  }
}

namespace {

// Direction from p to q as the platform's y-up angle; a vertical edge gives +π/2
// when q lies above or level, −π/2 when below.
double EdgeAngle(const TPoint& p, const TPoint& q) {
  const double dx = static_cast<double>(q.X) - p.X;
  // Negated as integers: a level edge must give +0, not −0, or atan2 turns π into −π.
  const double up = static_cast<double>(static_cast<int64_t>(p.Y) - q.Y);
  if (dx == 0) return up >= 0 ? std::numbers::pi / 2 : -std::numbers::pi / 2;
  return std::atan2(up, dx);
}

}  // namespace

void InsetPolygons(Tpoints& points, const Tintegers& counts, const Tintegers& levels, bool moveOddLevels,
                   bool moveEvenLevels, int32_t distance) {
  for (const TSpan& s : PolygonSpans(points.size(), counts, levels)) {
    const std::span<const TPoint> original(points.data() + s.start, s.count);
    const Tpoints polygon(original.begin(), original.end());
    const bool odd = s.level % 2 != 0;
    const auto n = static_cast<int32_t>(s.count);
    for (int32_t i = 0; i < n; ++i) {
      const TPoint p = polygon[static_cast<size_t>(i)];
      int32_t prev = PrevIndex(i, n);
      while (prev != i && polygon[static_cast<size_t>(prev)] == p) prev = PrevIndex(prev, n);
      if (prev == i) break;  // every point of the polygon coincides
      int32_t next = NextIndex(i, n);
      while (next != i && polygon[static_cast<size_t>(next)] == p) next = NextIndex(next, n);
      const double alpha = EdgeAngle(p, polygon[static_cast<size_t>(prev)]);
      const double beta = EdgeAngle(p, polygon[static_cast<size_t>(next)]);
      const double gamma = (alpha + beta) / 2;
      const double sinHalf = std::fabs(std::sin((alpha - beta) / 2));
      if (sinHalf < 0.001) continue;
      const double ux = std::cos(gamma), uy = -std::sin(gamma);
      const double probe = 0.011 / sinHalf;
      const bool inside = PointInPolygon(polygon, p.X + ux * probe, p.Y + uy * probe);
      if (inside && !(odd ? moveOddLevels : moveEvenLevels)) continue;
      // Towards the filled side: into an outline, out of a hole.
      const double sign = (inside != odd) ? 1.0 : -1.0;
      const double move = sinHalf < 0.5 ? 2.0 * distance : distance / sinHalf;
      TPoint& out = points[s.start + static_cast<size_t>(i)];
      out.X = RoundToInt(p.X + sign * move * ux);
      out.Y = RoundToInt(p.Y + sign * move * uy);
    }
  }
}

void SplitRimBands(const Tpoints& outer, const Tpoints& inner, const Tintegers& counts, const Tintegers& levels,
                   Tpoints& band1, Tintegers& counts1, Tpoints& band2, Tintegers& counts2) {
  band1.clear();
  counts1.clear();
  band2.clear();
  counts2.clear();
  for (const TSpan& s : PolygonSpans(std::min(outer.size(), inner.size()), counts, levels)) {
    const auto n = static_cast<int32_t>(s.count);
    for (int32_t i = 0; i < n; ++i) {
      const size_t a = s.start + static_cast<size_t>(i);
      const size_t b = s.start + static_cast<size_t>(NextIndex(i, n));
      const int64_t dx = static_cast<int64_t>(outer[b].X) - outer[a].X;
      const int64_t dy = static_cast<int64_t>(outer[b].Y) - outer[a].Y;
      const bool first = s.level % 2 == 0 ? dy < dx : !(dx >= 0 && dy < dx);
      Tpoints& band = first ? band1 : band2;
      (first ? counts1 : counts2).push_back(4);
      band.insert(band.end(), {outer[a], inner[a], inner[b], outer[b]});
    }
  }
}

void SimplifyPolygons(Tpoints& points, Tintegers& counts, Tintegers& levels, int32_t distance) {
  const double limit = std::max(2, distance);
  Tpoints outPoints;
  Tintegers outCounts, outLevels;
  for (const TSpan& s : PolygonSpans(points.size(), counts, levels)) {
    if (s.count == 0) continue;
    Tpoints kept{points[s.start]};
    for (size_t i = 1; i < s.count; ++i) {
      const TPoint& p = points[s.start + i];
      if (Distance(p, kept.back()) > limit) kept.push_back(p);
    }
    if (kept.size() < 3) continue;
    outPoints.insert(outPoints.end(), kept.begin(), kept.end());
    outCounts.push_back(static_cast<int32_t>(kept.size()));
    outLevels.push_back(s.level);
  }
  points = std::move(outPoints);
  counts = std::move(outCounts);
  levels = std::move(outLevels);
}

}  // namespace qira

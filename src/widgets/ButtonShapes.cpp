#include "widgets/ButtonShapes.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <utility>

#include "platform/Rounding.h"

namespace qira {

namespace {

constexpr double kPi = std::numbers::pi;

void Put(Tpoints& points, double x, double y) { points.push_back({RoundToInt(x), RoundToInt(y)}); }

TPolygonSet OnePolygon(Tpoints points) {
  TPolygonSet set;
  set.Counts.push_back(static_cast<int32_t>(points.size()));
  set.Levels.push_back(0);
  set.Points = std::move(points);
  return set;
}

Tpoints RectPoints(int32_t w, int32_t h) { return {{0, 0}, {w, 0}, {w, h}, {0, h}}; }

// n points on the ellipse inscribed in w × h, scaled by k about its centre, from the
// top clockwise, the first at angle offset.
Tpoints EllipsePoints(int32_t w, int32_t h, int32_t n, double k, double offset = 0) {
  Tpoints points;
  for (int32_t i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n + offset;
    Put(points, w / 2.0 + std::sin(t) * w / 2.0 * k, h / 2.0 - std::cos(t) * h / 2.0 * k);
  }
  return points;
}

Tpoints RoundRectPoints(int32_t w, int32_t h, int32_t depth) {
  const double r = 2.0 * depth;
  const double phis[3] = {kPi / 8, kPi / 4, 3 * kPi / 8};
  Tpoints p;
  Put(p, r, 0);
  Put(p, w - r, 0);
  for (double f : phis) Put(p, w - r + r * std::sin(f), r - r * std::cos(f));
  Put(p, w, r);
  Put(p, w, h - r);
  for (double f : phis) Put(p, w - r + r * std::cos(f), h - r + r * std::sin(f));
  Put(p, w - r, h);
  Put(p, r, h);
  for (double f : phis) Put(p, r - r * std::sin(f), h - r + r * std::cos(f));
  Put(p, 0, h - r);
  Put(p, 0, r);
  for (double f : phis) Put(p, r - r * std::cos(f), r - r * std::sin(f));
  return p;
}

TShapeOutline ArcOutline(const TShapeParams& s, int32_t d) {
  const int32_t w = s.Width;
  const double a = s.ArcAngle;
  // Fewer than two points per edge cannot make a band; the ends need one each.
  const int32_t n = std::max(2, std::max(w, s.Height) / d);
  const int32_t m = RoundToInt(n * s.RadiusRatio);
  const int32_t r = a < kPi ? RoundToInt(w / (2 * std::sin(a / 2))) : w / 2;
  const int32_t ri = RoundToInt(r * s.RadiusRatio);
  TShapeOutline out;
  out.ArcHeight = a < kPi ? RoundToInt((1 - std::cos(a / 2) * s.RadiusRatio) * r)
                          : RoundToInt(r - std::cos(a / 2) * r);
  auto theta = [a](int32_t i, int32_t count) { return count > 1 ? i * a / (count - 1) - a / 2 : 0.0; };
  Tpoints p;
  for (int32_t i = 0; i < n; ++i) {
    const double t = theta(i, n);
    Put(p, std::sin(t) * r + w / 2.0, r - std::cos(t) * r);
  }
  for (int32_t i = m - 1; i >= 0; --i) {
    const double t = theta(i, m);
    Put(p, std::sin(t) * ri + w / 2.0, r - std::cos(t) * ri);
  }
  out.Set = OnePolygon(std::move(p));
  return out;
}

// Points (i·w/9, j·h/9) of a 9 × 9 grid, integer division.
Tpoints GridPoints(int32_t w, int32_t h, std::initializer_list<std::pair<int, int>> cells) {
  Tpoints p;
  for (auto [i, j] : cells) p.push_back({i * w / 9, j * h / 9});
  return p;
}

Tpoints OvalPoints(int32_t w, int32_t h, int32_t d) {
  Tpoints p;
  if (w <= h) {
    const int32_t k = std::max(0, w - 2 * d);
    const int32_t w2 = w / 2;
    p.push_back({w, h - w2 - 1});
    for (int32_t t = 0; t < k; ++t) {
      const double th = t * kPi / k;
      p.push_back({w - RoundToInt(w / 2.0 - std::cos(th) * w / 2.0), RoundToInt(h - w / 2.0 + std::sin(th) * w / 2.0)});
    }
    p.push_back({0, h - w2 - 1});
    p.push_back({0, w2 + 1});
    for (int32_t t = 0; t < k; ++t) {
      const double th = t * kPi / k;
      p.push_back({w - RoundToInt(w / 2.0 + std::cos(th) * w / 2.0), RoundToInt(w / 2.0 - std::sin(th) * w / 2.0)});
    }
    p.push_back({w, w2 + 1});
  } else {
    const int32_t k = std::max(0, h - 2 * d);
    const int32_t h2 = h / 2;
    p.push_back({w - h2 - 1, 0});
    for (int32_t t = 0; t < k; ++t) {
      const double th = t * kPi / k;
      p.push_back({RoundToInt(w - h / 2.0 + std::sin(th) * h / 2.0), RoundToInt(h / 2.0 - std::cos(th) * h / 2.0)});
    }
    p.push_back({w - h2 - 1, h});
    p.push_back({h2 + 1, h});
    for (int32_t t = 0; t < k; ++t) {
      const double th = t * kPi / k;
      p.push_back({RoundToInt(h / 2.0 - std::sin(th) * h / 2.0), RoundToInt(h / 2.0 + std::cos(th) * h / 2.0)});
    }
    p.push_back({h2 + 1, 0});
  }
  return p;
}

TPolygonSet UserOutline(const TShapeParams& s) {
  TPolygonSet set = *s.User;
  for (TPoint& p : set.Points) {
    if (s.UserWidth < 1 || s.UserHeight < 1) {
      p = {0, 0};
    } else {
      p.X = static_cast<int32_t>((static_cast<int64_t>(p.X) - s.UserLeft) * s.Width / s.UserWidth);
      p.Y = static_cast<int32_t>((static_cast<int64_t>(p.Y) - s.UserTop) * s.Height / s.UserHeight);
    }
  }
  SimplifyPolygons(set.Points, set.Counts, set.Levels, s.Depth);
  return set;
}

}  // namespace

TShapeOutline ButtonOutline(const TShapeParams& s) {
  const int32_t w = s.Width, h = s.Height;
  const int32_t d = std::max(2, s.Depth);
  TShapeOutline out;
  switch (s.Kind) {
    case bkRect: out.Set = OnePolygon(RectPoints(w, h)); break;
    case bkRoundRect: out.Set = OnePolygon(RoundRectPoints(w, h, s.Depth)); break;
    case bkElliptic: out.Set = OnePolygon(EllipsePoints(w, h, std::max(8, std::max(w, h) - 2 * d), 1)); break;
    case bkPoly: out.Set = OnePolygon(EllipsePoints(w, h, s.PeaksNumber, 1)); break;
    case bkPolyStar: {
      const int32_t n = s.PeaksNumber;
      const double k = n < 5 ? 1.0 / 3.0 : std::cos(2 * kPi / n) / std::cos(kPi / n);
      const Tpoints outer = EllipsePoints(w, h, n, 1);
      const Tpoints inner = EllipsePoints(w, h, n, k, kPi / n);
      Tpoints p;
      for (int32_t i = 0; i < n; ++i) {
        p.push_back(outer[static_cast<size_t>(i)]);
        p.push_back(inner[static_cast<size_t>(i)]);
      }
      out.Set = OnePolygon(std::move(p));
      break;
    }
    case bkArc:
      if (s.ArcAngle <= 0.1) {
        out.Set = OnePolygon(RectPoints(w, h));
      } else {
        out = ArcOutline(s, d);
      }
      break;
    case bkDonut: {
      const int32_t n = std::max(8, std::max(w, h) - 4 * d);
      Tpoints p = EllipsePoints(w, h, n, 1);
      const Tpoints hole = EllipsePoints(w, h, n, s.RadiusRatio);
      p.insert(p.end(), hole.begin(), hole.end());
      out.Set.Points = std::move(p);
      out.Set.Counts = {n, n};
      out.Set.Levels = {0, 1};
      break;
    }
    case bkUser:
      if (s.User != nullptr && !s.User->Counts.empty()) {
        out.Set = UserOutline(s);
      } else {
        out.Set = OnePolygon(RectPoints(w, h));
      }
      break;
    case bkArrow:
      out.Set = OnePolygon({{0, h / 3}, {w / 2, h / 3}, {w / 2, 0}, {w, h / 2}, {w / 2, h}, {w / 2, 2 * h / 3},
                            {0, 2 * h / 3}});
      break;
    case bkArrow1:
      out.Set = OnePolygon({{0, h}, {0, h / 4}, {w / 12, h / 6}, {2 * w / 3, h / 6}, {2 * w / 3, 0}, {w, h / 4},
                            {2 * w / 3, h / 2}, {2 * w / 3, h / 3}, {5 * w / 24, h / 3}, {w / 6, 9 * h / 24},
                            {w / 6, h}});
      break;
    case bkArrow2:
      out.Set = OnePolygon({{w / 6, 0}, {w / 6, 15 * h / 24}, {5 * w / 24, 2 * h / 3}, {2 * w / 3, 2 * h / 3},
                            {2 * w / 3, h / 2}, {w, 3 * h / 4}, {2 * w / 3, h}, {2 * w / 3, 5 * h / 6},
                            {w / 12, 5 * h / 6}, {0, 3 * h / 4}, {0, 0}});
      break;
    case bkCross:
      out.Set = OnePolygon(GridPoints(w, h, {{2, 3}, {3, 2}, {3, 1}, {4, 0}, {5, 0}, {6, 1}, {6, 2}, {7, 3},
                                             {8, 3}, {9, 4}, {9, 5}, {8, 6}, {7, 6}, {6, 7}, {6, 8}, {5, 9},
                                             {4, 9}, {3, 8}, {3, 7}, {2, 6}, {1, 6}, {0, 5}, {0, 4}, {1, 3}}));
      break;
    case bkCutRect:
      out.Set = OnePolygon({{0, h / 6}, {w / 6, 0}, {w, 0}, {w, 5 * h / 6}, {5 * w / 6, h}, {0, h}});
      break;
    case bkCross1:
      out.Set = OnePolygon(GridPoints(w, h, {{0, 0}, {2, 0}, {4, 2}, {5, 2}, {7, 0}, {9, 0}, {9, 2}, {7, 4},
                                             {7, 5}, {9, 7}, {9, 9}, {7, 9}, {5, 7}, {4, 7}, {2, 9}, {0, 9},
                                             {0, 7}, {2, 5}, {2, 4}, {0, 2}}));
      break;
    case bkOval: out.Set = OnePolygon(OvalPoints(w, h, d)); break;
  }
  return out;
}

TSize RotatedExtent(int32_t w, int32_t h, int32_t angle) {
  const double a = angle * kPi / 1800.0;
  const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
  return {RoundToInt(c * w + s * h), RoundToInt(s * w + c * h)};
}

TPoint RotationShift(int32_t w, int32_t h, int32_t cx, int32_t cy, int32_t angle, int32_t step) {
  const double a = angle * kPi / 1800.0;
  const double b = (static_cast<double>(angle) - step) * kPi / 1800.0;
  auto extX = [&](double t) { return std::fabs(std::cos(t)) * w + std::fabs(std::sin(t)) * h; };
  auto extY = [&](double t) { return std::fabs(std::sin(t)) * w + std::fabs(std::cos(t)) * h; };
  const double hx = w / 2.0 - cx, hy = h / 2.0 - cy;
  const int32_t dx = -RoundToInt(extX(a) / 2 - w / 2.0) + RoundToInt(extX(b) / 2 - w / 2.0) +
                     RoundToInt(std::cos(a) * hx + std::sin(a) * hy) - RoundToInt(std::cos(b) * hx + std::sin(b) * hy);
  const int32_t dy = -RoundToInt(extY(a) / 2 - h / 2.0) + RoundToInt(extY(b) / 2 - h / 2.0) +
                     RoundToInt(std::cos(a) * hy - std::sin(a) * hx) - RoundToInt(std::cos(b) * hy - std::sin(b) * hx);
  return {dx, dy};
}

TRegion BandRegion(const Tpoints& points, const Tintegers& counts) {
  QRegion area;
  size_t at = 0;
  for (int32_t c : counts) {
    if (c < 0 || static_cast<size_t>(c) > points.size() - at) break;
    area ^= TRegion::FromPolygon(std::span(points).subspan(at, static_cast<size_t>(c))).Area();
    at += static_cast<size_t>(c);
  }
  return TRegion(area);
}

TButtonRegions BuildShapeRegions(const TPolygonSet& outline, TIA3DKind kind, int32_t depth, int32_t w, int32_t h,
                                 int32_t angle, int32_t storedW, int32_t storedH) {
  const Tintegers& counts = outline.Counts;
  const Tintegers& levels = outline.Levels;
  Tpoints shape = outline.Points;
  Tpoints inner = shape;
  InsetPolygons(inner, counts, levels, true, true, depth);
  Tpoints focus = shape;
  const bool border = kind == dk3dBorder || kind == dk3dBorderFlatten;
  InsetPolygons(focus, counts, levels, true, true, border ? 2 * depth + 4 : depth + 4);
  Tpoints frame;
  CopyPoints(shape, frame);
  Tpoints inner2 = inner;
  InsetPolygons(inner2, counts, levels, true, true, depth);

  const int32_t dx = (storedW - w) / 2, dy = (storedH - h) / 2;
  for (Tpoints* p : {&shape, &focus, &inner, &frame, &inner2}) {
    RotatePolygons(*p, w / 2, h / 2, angle);
    for (TPoint& q : *p) {
      q.X += dx;
      q.Y += dy;
    }
  }

  TButtonRegions r;
  if (counts.empty()) return r;
  Tpoints b1, b2;
  Tintegers c1, c2;
  SplitRimBands(shape, inner, counts, levels, b1, c1, b2, c2);
  r.LightRim = BandRegion(b1, c1);
  r.DarkRim = BandRegion(b2, c2);
  SplitRimBands(inner, inner2, counts, levels, b1, c1, b2, c2);
  r.InnerLight = BandRegion(b1, c1);
  r.InnerDark = BandRegion(b2, c2);
  r.Window = PolygonsToRegion(shape, counts, levels);
  r.OutlineFrame = PolygonsToRegion(frame, counts, levels);
  r.InnerFrame = PolygonsToRegion(inner2, counts, levels);
  r.FocusFrame = PolygonsToRegion(focus, counts, levels);
  return r;
}

}  // namespace qira

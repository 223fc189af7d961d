#include "chart/draw/ChartRoutines.h"

#include <algorithm>
#include <cmath>

namespace qira {

namespace {

double DistanceSquared(int64_t dx, int64_t dy) {
  return static_cast<double>(dx) * static_cast<double>(dx) + static_cast<double>(dy) * static_cast<double>(dy);
}

double DistanceToSegment(const TPoint& p, const TPoint& a, const TPoint& b) {
  const int64_t abx = int64_t{b.X} - a.X, aby = int64_t{b.Y} - a.Y;
  const int64_t apx = int64_t{p.X} - a.X, apy = int64_t{p.Y} - a.Y;
  if (abx == 0 && aby == 0) return std::sqrt(DistanceSquared(apx, apy));
  const double t = (static_cast<double>(apx) * static_cast<double>(abx) +
                    static_cast<double>(apy) * static_cast<double>(aby)) /
                   DistanceSquared(abx, aby);
  if (t < 0) return std::sqrt(DistanceSquared(apx, apy));
  if (t > 1) return std::sqrt(DistanceSquared(int64_t{p.X} - b.X, int64_t{p.Y} - b.Y));
  const double cx = a.X + t * static_cast<double>(abx), cy = a.Y + t * static_cast<double>(aby);
  return std::hypot(p.X - cx, p.Y - cy);
}

}  // namespace

bool PointInLineTolerance(const TPoint& p, const TPoint& a, const TPoint& b, int32_t tolerance) {
  if (p == a || p == b) return true;
  return DistanceToSegment(p, a, b) <= static_cast<double>(tolerance) + 1.0;
}

bool PointInPolygon(const TPoint& p, std::span<const TPoint> points, int32_t highIndex) {
  if (highIndex < 0 || static_cast<size_t>(highIndex) >= points.size()) return false;
  bool inside = false;
  int32_t j = highIndex;
  for (int32_t i = 0; i <= highIndex; ++i) {
    const TPoint& pi = points[i];
    const TPoint& pj = points[j];
    if ((pi.Y <= p.Y && p.Y < pj.Y) || (pj.Y <= p.Y && p.Y < pi.Y)) {
      const int64_t product = (int64_t{pj.X} - pi.X) * (int64_t{p.Y} - pi.Y);
      const double x = static_cast<double>(product) / static_cast<double>(int64_t{pj.Y} - pi.Y) + pi.X;
      if (p.X < x) inside = !inside;
    }
    j = i;
  }
  return inside;
}

void QuickSortIndices(int32_t low, int32_t high, const TChartCompareIndex& compare,
                      const TChartExchangeIndex& exchange) {
  // The larger part is handled by the loop, so the recursion stays logarithmic.
  while (high > low) {
    int32_t i = low, j = high;
    int32_t m = static_cast<int32_t>((static_cast<uint32_t>(low) + static_cast<uint32_t>(high)) >> 1);
    do {
      // The bounds only matter for a comparison that is not an order.
      while (i < high && compare(i, m) < 0) ++i;
      while (j > low && compare(m, j) < 0) --j;
      if (i < j) {
        exchange(i, j);
        if (i == m) {
          m = j;
        } else if (j == m) {
          m = i;
        }
      }
      if (i <= j) {
        ++i;
        --j;
      }
    } while (j > i);
    if (j - low < high - i) {
      if (j > low) QuickSortIndices(low, j, compare, exchange);
      low = i;
    } else {
      if (i < high) QuickSortIndices(i, high, compare, exchange);
      high = j;
    }
  }
}

std::string ReplaceChar(std::string s, char oldChar, char newChar) {
  if (newChar == '\0') {
    s.erase(std::remove(s.begin(), s.end(), oldChar), s.end());
  } else {
    std::replace(s.begin(), s.end(), oldChar, newChar);
  }
  return s;
}

void DrawCheckBox(int32_t x, int32_t y, TCanvas& canvas, bool checked, bool checkStyle) {
  constexpr TColor kShadow = 0x808080, kDarkShadow = 0x404040, kLight = 0xE0E0E0;
  const int32_t saved = canvas.SaveDC();
  canvas.SetPen(TPen{});
  if (checkStyle) {
    canvas.SetBrush(TBrush{clWhite, bsSolid});
    canvas.FillRect(TRect{x, y, x + 13, y + 13});
    // Sunken two-pixel edge: shadow and dark shadow top-left, white and light bottom-right.
    const TColor outer[2] = {kShadow, clWhite}, inner[2] = {kDarkShadow, kLight};
    for (int32_t k = 0; k < 2; ++k) {
      const TColor* c = k == 0 ? outer : inner;
      const int32_t l = x + k, t = y + k, r = x + 12 - k, b = y + 12 - k;
      canvas.SetPenColor(c[0]);
      canvas.MoveTo(l, b);
      canvas.LineTo(l, t);
      canvas.LineTo(r + 1, t);
      canvas.SetPenColor(c[1]);
      canvas.MoveTo(r, t + 1);
      canvas.LineTo(r, b);
      canvas.LineTo(l - 1, b);
    }
    if (checked) {
      canvas.SetPenColor(clBlack);
      for (int32_t k = 0; k < 3; ++k) {
        canvas.MoveTo(x + 3, y + 5 + k);
        canvas.LineTo(x + 5, y + 7 + k);
        canvas.LineTo(x + 10, y + 2 + k);
      }
    }
  } else {
    canvas.SetPenColor(kShadow);
    canvas.SetBrush(TBrush{clWhite, bsSolid});
    canvas.Ellipse(x, y, x + 13, y + 13);
    if (checked) {
      canvas.SetPenColor(clBlack);
      canvas.SetBrush(TBrush{clBlack, bsSolid});
      canvas.Ellipse(x + 4, y + 4, x + 9, y + 9);
    }
  }
  canvas.RestoreDC(saved);
}

const TColorArray ColorPalette = {
    0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0xFFFFFF, 0x808080, 0xFF00FF, 0x808000, 0x800000, 0x000080,
    0x00FF00, 0x008080, 0x800080, 0xC0C0C0, 0xFFFF00, 0x000000, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0};

TColor GetDefaultColor(int32_t index) {
  const int32_t n = static_cast<int32_t>(ColorPalette.size());
  return ColorPalette[static_cast<size_t>(((index % n) + n) % n)];
}

std::string IntegerToText(int64_t value) { return std::to_string(value); }

QCursor ChartHandCursor() { return QCursor(Qt::PointingHandCursor); }

}  // namespace qira

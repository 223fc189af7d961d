#include "model/PaletteAxis.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qira {

namespace {

bool FiniteRange(double min, double max) { return std::isfinite(min) && std::isfinite(max) && min < max; }

bool IsLogMajor(int mode, int j) {
  switch (mode) {
    case 4:
      return true;
    case 3:
      return j == 0 || j == 1 || j == 2 || j == 3 || j == 5 || j == 7;
    case 2:
      return j == 0 || j == 3;
    case 1:
      return j == 0;
    default:
      return false;
  }
}

}  // namespace

// ---- tick computation ----------------------------------------------------------

double NiceStep(double min, double max) {
  const double range = std::fabs(max - min);
  if (!std::isfinite(range) || range <= 0) return 0;
  double e = std::ceil(std::log10(range));
  double step = std::pow(10.0, e);
  // Each pass lowers the power; once it reaches 0 the quotient is infinite and the
  // loop ends, so it runs at most some 630 times.
  while (range / step < 5) {
    e -= 1;
    const double power = std::pow(10.0, e);
    if (range / (5 * power) > 5) {
      step = 5 * power;
    } else if (range / (2 * power) > 5) {
      step = 2 * power;
    } else {
      step = power;
    }
  }
  return std::isfinite(step) && step > 0 ? step : 0;
}

TAxisTicks LinearTicks(double min, double max, double step, int32_t minorCount, double budget) {
  TAxisTicks ticks;
  if (!FiniteRange(min, max) || !std::isfinite(step) || !(step > 0)) return ticks;
  const double intervals = (max - min) / step;
  if (!(intervals <= budget)) return ticks;
  const bool minors = minorCount > 0 && intervals * (static_cast<double>(minorCount) + 1) <= budget;
  const double divisions = static_cast<double>(minorCount) + 1;
  // k runs from Floor(min / step) while (k - 1) * step <= max: at most intervals + 3
  // values. The count is bounded separately because far from zero k + 1 can round
  // back to k.
  const double first = std::floor(min / step);
  const auto limit = static_cast<int64_t>(std::ceil(intervals)) + 4;
  for (int64_t i = 0; i < limit; ++i) {
    const double k = first + static_cast<double>(i);
    if (!((k - 1) * step <= max)) break;
    const double major = k * step;
    if (min <= major && major <= max) ticks.Major.push_back(major);
    if (!minors) continue;
    for (int32_t j = 1; j <= minorCount; ++j) {
      const double minor = (k + j / divisions) * step;
      if (min <= minor && minor <= max) ticks.Minor.push_back(minor);
    }
  }
  return ticks;
}

int LogarithmicMode(double min, double max) {
  if (!FiniteRange(min, max) || !(min > 0)) return -1;
  const double decades = std::fabs(std::log10(max / min));
  if (decades > 8) return 0;
  if (decades > 4) return 1;
  if (decades > 2) return 2;
  if (decades > 1) return 3;
  if (decades > 0.7) return 4;
  return -1;
}

TAxisTicks LogarithmicTicks(double min, double max, int mode) {
  TAxisTicks ticks;
  if (!FiniteRange(min, max) || !(min > 0) || mode < 0 || mode > 4) return ticks;
  const double top = std::log10(max);
  // Finite positive doubles span about 633 decades, so this loop is bounded.
  for (double e = std::floor(std::log10(min)); e <= top; e += 1) {
    const double power = std::pow(10.0, e);
    for (int j = 0; j <= 10; ++j) {
      const double factor = j == 0 ? 1.0 : j == 1 ? 1.5 : static_cast<double>(j);
      const double value = factor * power;
      if (value < min || value > max) continue;
      if (IsLogMajor(mode, j)) {
        ticks.Major.push_back(value);
      } else if (j != 1) {
        ticks.Minor.push_back(value);
      }
    }
  }
  return ticks;
}

std::string AxisLabelText(double value) {
  if (value == 0) return "0";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
  const std::string text(buffer, result.ptr);
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  // The class library's general format: fixed notation reaches down to 0.00001,
  // and the exponent has neither a '+' nor leading zeros ("1E-7", "1.5E20").
  const char* digits = text.data() + e + 1;
  if (*digits == '+') ++digits;
  int exponent = 0;
  std::from_chars(digits, text.data() + text.size(), exponent);
  if (exponent == -5) {
    // 16 decimals end at the twelfth significant digit of such a value.
    result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 16);
    std::string fixed(buffer, result.ptr);
    while (fixed.back() == '0') fixed.pop_back();
    return fixed;
  }
  return text.substr(0, e) + "E" + std::to_string(exponent);
}

// ---- TAxis ---------------------------------------------------------------------

TAxis::TAxis() {
  GridLine.Color = 0x808080;
  GridLine.Style = psDot;
  SetOrientation(3);
  SetLogarithmic(false);
}

void TAxis::SetBounds(double x1, double x2, double y1, double y2) {
  x1_ = x1;
  x2_ = x2;
  y1_ = y1;
  y2_ = y2;
  NeedsTicks = true;
}

void TAxis::SetRange(double min, double max) {
  min_ = min;
  max_ = max;
  NeedsTicks = true;
}

void TAxis::SetOrientation(uint8_t side) {
  side_ = side;
  ChooseMapping();
}

void TAxis::SetLogarithmic(bool on) {
  logarithmic_ = on;
  // The ticks follow the scale even while Side is not one of the four.
  NeedsTicks = true;
  ChooseMapping();
}

void TAxis::ChooseMapping() {
  if (side_ > 3) return;
  mappedSide_ = side_;
  static constexpr uint8_t kVAlign[] = {2, 2, 1, 0};
  static constexpr uint8_t kHAlign[] = {1, 0, 2, 2};
  LabelFont.VAlign = kVAlign[side_];
  LabelFont.HAlign = kHAlign[side_];
  NeedsTicks = true;
}

double TAxis::Length() const { return mappedSide_ <= 1 ? std::fabs(y2_ - y1_) : std::fabs(x2_ - x1_); }

TPoint2D TAxis::ValueToPoint(double offset, double value) const {
  const double f = logarithmic_ ? std::log(value / min_) / std::log(max_ / min_) : (value - min_) / (max_ - min_);
  switch (mappedSide_) {
    case 0:
      return {x1_ - offset, y1_ + f * (y2_ - y1_)};
    case 1:
      return {x2_ + offset, y1_ + f * (y2_ - y1_)};
    case 2:
      return {x1_ + f * (x2_ - x1_), y1_ - offset};
    default:
      return {x1_ + f * (x2_ - x1_), y2_ + offset};
  }
}

void TAxis::CalcTicks() {
  NeedsTicks = false;
  ticks_ = {};
  if (logarithmic_) {
    // A logarithmic range must be positive; there is no scale otherwise.
    if (!FiniteRange(min_, max_) || !(min_ > 0)) return;
    const int mode = LogarithmicMode(min_, max_);
    if (mode >= 0) {
      ticks_ = LogarithmicTicks(min_, max_, mode);
      return;
    }
  }
  if (AutoStep) {
    const double nice = NiceStep(min_, max_);
    if (nice > 0) Step = nice;
  }
  const double length = Length();
  const double budget = std::isnan(length) ? kMinTickBudget : std::clamp(length, kMinTickBudget, kMaxTickBudget);
  ticks_ = LinearTicks(min_, max_, Step, MinorCount, budget);
}

void TAxis::Draw(TGraph2D& graph) {
  if (NeedsTicks) CalcTicks();
  Graph = &graph;
  const bool vertical = mappedSide_ <= 1;
  if (ShowTicks) {
    for (double v : ticks_.Major) graph.LineP(TickLine, ValueToPoint(0, v), ValueToPoint(TickLength, v));
  }
  double offset = ShowTicks ? TickLength : 0;
  if (vertical) offset += LabelFont.Size / 5.0;
  if (ShowLabels) {
    for (double v : ticks_.Major) graph.TextOutP(LabelFont, ValueToPoint(offset, v), AxisLabelText(v));
  }
  if (ShowGrid) {
    // An offset of the rectangle's whole width (or height) reaches its far edge.
    const double across = vertical ? x1_ - x2_ : y1_ - y2_;
    for (double v : ticks_.Major) graph.LineP(GridLine, ValueToPoint(0, v), ValueToPoint(across, v));
  }
  if (ShowMinorTicks) {
    for (double v : ticks_.Minor) graph.LineP(MinorLine, ValueToPoint(0, v), ValueToPoint(MinorLength, v));
  }
}

}  // namespace qira

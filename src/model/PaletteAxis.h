#pragma once
// A numeric axis on one side of a rectangle, linear or logarithmic, with major and
// minor ticks, value labels and grid lines, drawn through a TGraph2D. The palette
// editor draws it under its colour bar.
//
// Ticks exist only for a finite range with Min < Max (and, on a logarithmic scale,
// Min > 0). A linear step that would give more tick intervals than the axis is long
// (counted as at least kMinTickBudget and at most kMaxTickBudget units) is refused:
// the axis then has no ticks, or no minor ticks when only the minor count is too
// large. So a Draw never loops without end and its work stays bounded.
#include <cstdint>
#include <string>
#include <vector>

#include "model/Graph2D.h"
#include "model/GraphParams.h"

namespace qira {

// The fewest tick intervals an axis may always have, however short it is (a
// short axis keeps the usual 5 to 25 majors with their minor ticks) ...
inline constexpr double kMinTickBudget = 100;
// ... and the most, however long it claims to be: no screen is this wide.
inline constexpr double kMaxTickBudget = 16384;

struct TAxisTicks {
  std::vector<double> Major;
  std::vector<double> Minor;
};

// The largest 1, 2 or 5 times a power of ten that cuts |max - min| into more than
// 5 intervals (0..100 gives 10, 0..12 gives 2, 0..1000 gives 100); 0 when the range
// is empty or not finite.
double NiceStep(double min, double max);

// Major ticks at the multiples of step within [min, max], minorCount minor ticks
// evenly between neighbouring multiples. Empty for a degenerate range, a step that
// is not positive and finite, or one giving more than budget intervals; no minor
// ticks when intervals * (minorCount + 1) exceeds budget.
TAxisTicks LinearTicks(double min, double max, double step, int32_t minorCount, double budget);

// The decade mode of a logarithmic range: 0 (more than 8 decades) .. 4 (up to 1);
// -1 when the range spans 0.7 decades or less (linear ticks are used) or is not a
// finite positive range with min < max.
int LogarithmicMode(double min, double max);

// The values 1, 1.5, 2, .., 10 times each power of ten within [min, max], sorted
// into major and minor ticks by the decade mode (mode must be 0..4). 1.5 times a
// power of ten is never a minor tick; powers of ten appear twice (as 10 * 10^e and
// 1 * 10^(e + 1)).
TAxisTicks LogarithmicTicks(double min, double max, int mode);

// A tick label: the class library's general format with up to 12 significant digits
// ('.' as the decimal point; fixed notation from 0.00001 up to 12 integer digits, else
// "1.5E20" or "1E-7"); zero is always "0".
std::string AxisLabelText(double value);

class TAxis {
 public:
  // Side 3 (bottom), linear, range 0..100, automatic step 10, 4 minor ticks.
  TAxis();
  TAxis(const TAxis&) = delete;
  TAxis& operator=(const TAxis&) = delete;

  // The graph of the last Draw; not owned.
  TGraph2D* Graph = nullptr;

  bool ShowTicks = true;
  TLineParams TickLine;
  double TickLength = 5;
  bool ShowLabels = true;
  TFontParams LabelFont;
  bool ShowGrid = false;
  TLineParams GridLine;  // $808080, dotted
  bool ShowMinorTicks = true;
  double MinorLength = 3;
  TLineParams MinorLine;

  // The tick settings; set NeedsTicks after changing them.
  double Step = 10;       // major step of a linear scale
  bool AutoStep = true;   // Step follows the range
  int32_t MinorCount = 4; // minor ticks between two major ticks of a linear scale
  // Ticks to be recomputed before the next Draw.
  bool NeedsTicks = true;

  double X1() const { return x1_; }
  double X2() const { return x2_; }
  double Y1() const { return y1_; }
  double Y2() const { return y2_; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  uint8_t Side() const { return side_; }
  bool Logarithmic() const { return logarithmic_; }
  const std::vector<double>& MajorTicks() const { return ticks_.Major; }
  const std::vector<double>& MinorTicks() const { return ticks_.Minor; }

  // The plot rectangle and the value range; both mark the ticks for recomputing.
  void SetBounds(double x1, double x2, double y1, double y2);
  void SetRange(double min, double max);
  // 0 left, 1 right, 2 top, 3 bottom: chooses the mapping and the label alignment
  // and marks the ticks. Other values change only Side.
  void SetOrientation(uint8_t side);
  void SetLogarithmic(bool on);

  // The point at a value, offset perpendicularly away from the rectangle by offset.
  TPoint2D ValueToPoint(double offset, double value) const;

  // Recomputes the ticks (and Step, when AutoStep) and clears NeedsTicks.
  void CalcTicks();
  // Draws ticks, labels, grid lines and minor ticks; computes the ticks first when
  // they are marked.
  void Draw(TGraph2D& graph);

 private:
  void ChooseMapping();
  // Length of the axis along its side, in drawing units.
  double Length() const;

  double x1_ = 0;
  double x2_ = 0;
  double y1_ = 0;
  double y2_ = 0;
  double min_ = 0;
  double max_ = 100;
  uint8_t side_ = 3;
  // The side whose mapping ValueToPoint uses: the last one of 0..3 set.
  uint8_t mappedSide_ = 3;
  bool logarithmic_ = false;
  TAxisTicks ticks_;
};

}  // namespace qira

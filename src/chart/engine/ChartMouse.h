#pragma once
// What the chart's mouse handling and zooming stand on: the saved axis scales that
// undo a zoom or a pan, the range arithmetic of a zoom by percent and of panning, the
// hit-test result and the click events. TCustomChart (Chart.h) runs them; its mouse, zoom
// and pan operations live in ChartMouse.cpp.
#include <cstdint>
#include <functional>
#include <vector>

#include "chart/draw/ChartZoom.h"
#include "chart/engine/ChartAxis.h"

namespace qira {

class TChartSeries;
class TChartTitle;
class TCustomChart;

// One axis' scale as it was before the first zoom or pan.
struct TAxisSavedScale {
  bool Automatic = true;
  bool AutomaticMinimum = true;
  bool AutomaticMaximum = true;
  double Minimum = 0;
  double Maximum = 0;
};
// One record per axis in axes-list order; depth axes' records stay default.
using TAllAxisSavedScales = std::vector<TAxisSavedScale>;

TAllAxisSavedScales SaveAxisScales(const std::vector<TChartAxis*>& axes);
// Gives every non-depth axis its saved range and automatic flags back. The range is
// set as one pair: after a pan the saved minimum may lie above the current maximum
// (or the saved maximum below the current minimum), which the single-end setters
// refuse.
void RestoreAxisScales(const std::vector<TChartAxis*>& axes, const TAllAxisSavedScales& saved);

struct TAxisRange {
  double Min = 0;
  double Max = 0;
};

// Largest share of a range a zoom by percent takes off each end: a percent of 150 or
// more would otherwise meet in the middle or cross over (an inverted range); the
// deepest zoom keeps 2 % of the span.
inline constexpr double kMaxZoomEndShare = 0.49;

// The range a zoom by percent leaves of [a, b] (either order): each end moves in by
// (percent - 100) % of the span (out for a percent below 100), about the centre.
TAxisRange ZoomPercentRange(double a, double b, double percent);

// The values at the axis' first and last pixel; the set range for an axis whose
// ends are both set or that has no pixel extent yet (before the first frame).
TAxisRange AxisPixelRange(const TChartAxis& axis);

// Panning and wheel scrolling may be vetoed or changed per axis.
using TChartAllowScrollEvent =
    std::function<void(TCustomChart& sender, TChartAxis& axis, double& aMin, double& aMax, bool& allowScroll)>;

// Moves the axis' range by the values between pixel a and pixel b (the content
// follows the mouse), through the veto. True when the axis moved.
bool PanAxis(TCustomChart& chart, TChartAxis& axis, int32_t a, int32_t b, const TChartAllowScrollEvent& allow);

// ---- hit test

enum TChartClickedPartStyle : uint8_t {
  cpNone = 0,
  cpLegend = 1,
  cpAxis = 2,
  cpSeries = 3,
  cpTitle = 4,
  cpFoot = 5,
  cpChartRect = 6,
  cpSeriesMarks = 7,
  cpSubTitle = 8,
  cpSubFoot = 9,
  cpAxisTitle = 10
};

struct TChartClickedPart {
  TChartClickedPartStyle Part = cpNone;
  int32_t PointIndex = -1;
  TChartSeries* ASeries = nullptr;
  TChartAxis* AAxis = nullptr;
};

using TChartClick = std::function<void(TCustomChart& sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TChartClickAxis =
    std::function<void(TCustomChart& sender, TChartAxis& axis, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TChartClickSeries = std::function<void(TCustomChart& sender, TChartSeries& series, int32_t valueIndex,
                                             TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TChartClickTitle = std::function<void(TCustomChart& sender, TChartTitle& title, TMouseButton button, TShiftState shift,
                                            int32_t x, int32_t y)>;

// Process-wide: the keys that must be held to start panning, and whether the wheel
// scrolls the vertical axes.
inline TShiftState PanningKeyShift = 0;
inline bool WheelScrolling = true;

}  // namespace qira

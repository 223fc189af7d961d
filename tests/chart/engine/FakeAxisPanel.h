#pragma once
// A chart for engine tests: holds axes and series, measures text at a fixed width
// per character (or one fixed label width), and scales axes from its series.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/draw/ChartCanvas.h"
#include "chart/draw/ChartInterfaces.h"
#include "chart/engine/AxisLabels.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/ChartSeries.h"

namespace qira::test {

// The values of a list in point order.
inline std::vector<double> Values(const TChartValueList& list) {
  std::vector<double> v;
  for (int32_t i = 0; i < list.Count(); ++i) v.push_back(list.Value(i));
  return v;
}

class FakeAxisPanel : public IAxisPanel {
 public:
  const TChartAxes& AxesList() const override { return axes; }
  void AxisCreated(TChartAxis& axis) override { axes.push_back(&axis); }
  void AxisDestroyed(TChartAxis& axis) override { std::erase(axes, &axis); }
  int32_t SeriesCount() const override { return static_cast<int32_t>(series.size()); }
  IChartSeries& SeriesAt(int32_t index) const override { return *series[static_cast<size_t>(index)]; }
  double MaxValueOfAxis(const TChartAxis& axis, bool isMin, bool horizontal) const override {
    bool first = true;
    double result = 0;
    for (IChartSeries* s : series) {
      if (!s->Active() || !s->AssociatedToAxis(axis) || s->Count() == 0) continue;
      const double v =
          horizontal ? (isMin ? s->MinXValue() : s->MaxXValue()) : (isMin ? s->MinYValue() : s->MaxYValue());
      if (first || (isMin ? v < result : v > result)) result = v;
      first = false;
    }
    return result;
  }
  TRect ChartRect() const override { return rect; }
  int32_t Depth3D() const override { return 0; }
  void Invalidate() override { ++invalidations; }
  TCanvas3D* Canvas() const override { return canvas; }
  int32_t MultiLineTextWidth(const std::string& text, int32_t& lines) const override {
    lines = LineCount(text);
    if (fixedLabelWidth > 0) return fixedLabelWidth;
    if (canvas) {
      int32_t widest = 0;
      size_t start = 0;
      while (start <= text.size()) {
        const size_t end = std::min(text.find('\r', start), text.size());
        widest = std::max(widest, canvas->TextWidth(text.substr(start, end - start)));
        start = end + 1;
      }
      return widest;
    }
    int32_t widest = 0, current = 0;
    for (char c : text) {
      current = c == '\r' ? 0 : current + charWidth;
      widest = std::max(widest, current);
    }
    return widest;
  }
  int32_t CanvasFontHeight() const override { return canvas ? canvas->FontHeight() : 10; }

  TChartAxes axes;
  TCanvas3D* canvas = nullptr;
  std::vector<IChartSeries*> series;
  TRect rect{0, 0, 500, 400};
  int32_t fixedLabelWidth = 0;
  int32_t charWidth = 6;
  int32_t invalidations = 0;
};

// A series whose X and Y ranges are given directly (infinite or NaN ones too).
class RangeSeries : public TChartSeries {
 public:
  double maxX = 0, minX = 0, maxY = 0, minY = 0;
  double MaxXValue() const override { return maxX; }
  double MinXValue() const override { return minX; }
  double MaxYValue() const override { return maxY; }
  double MinYValue() const override { return minY; }
  int32_t Count() const override { return 1; }
};

}  // namespace qira::test

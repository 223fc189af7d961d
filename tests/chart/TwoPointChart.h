#pragma once
// The chart most click, drag and tool tests start from.
#include "chart/Chart.h"
#include "support/TestApplication.h"

namespace qira::test {

// A 2D chart of 300 x 200 pixels holding the series through (0, 0) and (100, 100).
inline void SetUpTwoPointChart(TChart& chart, TChartSeries& series) {
  EnsureTestApplication();
  chart.SetView3D(false);
  chart.resize(300, 200);
  series.AddXY(0, 0);
  series.AddXY(100, 100);
  chart.AddSeries(series);
}

}  // namespace qira::test

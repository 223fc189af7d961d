#pragma once
// The chart most click, drag and tool tests start from.
#include <memory>

#include "chart/engine/Chart.h"
#include "support/TestApplication.h"

namespace qira::test {

// A 2D chart of 300 x 200 pixels holding a series through (0, 0) and (100, 100);
// the chart owns the series, the reference stays valid while it holds it.
template <class Series>
Series& SetUpTwoPointChart(TChart& chart) {
  EnsureTestApplication();
  chart.SetView3D(false);
  chart.resize(300, 200);
  auto series = std::make_unique<Series>();
  series->AddXY(0, 0);
  series->AddXY(100, 100);
  return chart.AddSeries(std::move(series));
}

}  // namespace qira::test

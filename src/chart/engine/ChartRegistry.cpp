#include "chart/engine/ChartRegistry.h"

namespace qira {

TChartSeriesTypes& ChartSeriesTypes() {
  static TChartSeriesTypes registry;
  return registry;
}

TChartToolTypes& ChartToolTypes() {
  static TChartToolTypes registry;
  return registry;
}

}  // namespace qira

#include "chart/ChartRegistry.h"

namespace qira {

TChartSeriesTypes& TeeSeriesTypes() {
  static TChartSeriesTypes registry;
  return registry;
}

TChartToolTypes& TeeToolTypes() {
  static TChartToolTypes registry;
  return registry;
}

}  // namespace qira

// The "Data" record of a series' points.
#include "chart/engine/LineSeries.h"
#include "chart/engine/SeriesData.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TLineSeries series;
  series.AddValueList("Z");  // one extra value per point
  try {
    ReadSeriesData(series, fuzzing::Text(data, size));
  } catch (const EChartStreamError&) {
    return 0;
  }
  (void)WriteSeriesData(series);
  return 0;
}

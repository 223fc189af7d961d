// Property blocks of charts: the chart with its axes, titles, walls and legend, and
// its series as children.
#include <exception>

#include "chart/engine/Chart.h"
#include "chart/engine/ChartObjectStreaming.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TStreamedProperties block;
  try {
    block = PropertiesFromBytes(fuzzing::Text(data, size));
  } catch (const EChartStreamError&) {
    return 0;
  }
  TChart chart;
  try {
    chart.ReadProperties(block);
  } catch (const std::runtime_error&) {
    // Refused whole: the chart stays as it was and is still written below.
  }
  try {
    const auto series = ReadChartSeries(chart, block);
    TStreamedProperties written;
    chart.WriteProperties(written);
    WriteChartSeries(chart, written);
    (void)PropertiesToBytes(written);
    chart.RemoveAllSeries();
  } catch (const std::runtime_error&) {
  }
  return 0;
}

#include "chart/engine/ChartTools.h"

#include <algorithm>

#include "chart/engine/AxisPanel.h"

namespace qira {

TChartTools::~TChartTools() {
  for (const auto& tool : fItems) tool->fChart = nullptr;
}

TChartTool& TChartTools::Add(std::unique_ptr<TChartTool> tool) {
  tool->fChart = &fChart;
  fItems.push_back(std::move(tool));
  fChart.Invalidate();
  return *fItems.back();
}

void TChartTools::Remove(TChartTool& tool) {
  const auto it = std::find_if(fItems.begin(), fItems.end(), [&](const auto& t) { return t.get() == &tool; });
  if (it == fItems.end()) return;
  std::unique_ptr<TChartTool> removed = std::move(*it);
  fItems.erase(it);
  removed->fChart = nullptr;
  if (fNotifying > 0) fRemoved.push_back(std::move(removed));
  fChart.Invalidate();
}

void TChartTools::Clear() {
  while (!fItems.empty()) Remove(*fItems.back());
}

bool TChartTools::Holds(const TChartTool* tool) const {
  return std::any_of(fItems.begin(), fItems.end(), [&](const auto& t) { return t.get() == tool; });
}

// Walks a snapshot of the list: a tool added meanwhile waits for the next event, a
// removed one is skipped and stays alive until the walk is over. tell returns true
// to stop the walk.
template <class F>
bool TChartTools::ForEachActive(F&& tell) {
  std::vector<TChartTool*> snapshot;
  for (const auto& tool : fItems) snapshot.push_back(tool.get());
  ++fNotifying;
  struct Leave {
    TChartTools& tools;
    ~Leave() {
      if (--tools.fNotifying == 0) tools.fRemoved.clear();
    }
  } leave{*this};
  for (TChartTool* tool : snapshot)
    if (Holds(tool) && tool->Active && tell(*tool)) return true;
  return false;
}

void TChartTools::Notify(TChartToolEvent event) {
  ForEachActive([&](TChartTool& tool) {
    tool.ChartEvent(event);
    return false;
  });
}

void TChartTools::NotifySeries(const TChartSeries& series, TChartToolEvent event) {
  ForEachActive([&](TChartTool& tool) {
    if (tool.Series() == &series) tool.ChartEvent(event);
    return false;
  });
}

bool TChartTools::MouseEvent(TChartToolMouseKind kind, TMouseButton button, TShiftState shift, int32_t x,
                             int32_t y) {
  return ForEachActive([&](TChartTool& tool) {
    tool.ChartMouseEvent(kind, button, shift, x, y);
    return fChart.MouseHandled;
  });
}

bool TChartTools::WheelEvent(TChartToolWheelKind kind, int32_t delta, int32_t x, int32_t y) {
  return ForEachActive([&](TChartTool& tool) {
    tool.ChartWheelEvent(kind, delta, x, y);
    return fChart.MouseHandled;
  });
}

}  // namespace qira

#pragma once
// Tools of a chart: objects that hear the chart's repaint steps and the mouse. No
// tool kind ships with the program, so a chart's list normally stays empty; the
// pipeline and the mouse handling still tell every active tool.
//
// A tool may remove itself (or another tool) from the list while it is being told
// something: the list then frees it only when the notification is over.
#include <cstdint>
#include <memory>
#include <vector>

#include "chart/draw/ChartZoom.h"

namespace qira {

class TCustomAxisPanel;
class TChartSeries;

// The repaint steps a tool hears, by their fixed codes.
enum TChartToolEvent : uint8_t {
  cteAfterDraw = 0,         // the frame is complete
  cteBeforeDrawSeries = 1,  // the series are about to draw (a series tool: its series)
  cteBeforeDraw = 2,        // after the background, before the chart's events
  cteBeforeDrawAxes = 3,
  cteAfterDrawSeries = 4,   // the series have drawn (a series tool: its series)
  cteMouseLeave = 5         // the mouse left the panel
};
enum TChartToolMouseKind : uint8_t { ctmDown = 0, ctmMove = 1, ctmUp = 2 };
enum TChartToolWheelKind : uint8_t { ctwDown = 0, ctwWheel = 1, ctwUp = 2 };

class TChartTool {
 public:
  virtual ~TChartTool() = default;
  bool Active = true;
  // The chart whose list holds the tool; null once it left the list.
  TCustomAxisPanel* ParentChart() const { return fChart; }
  // A series tool answers its series: it hears events 1 and 4 of that series'
  // drawing as well as the chart's.
  virtual TChartSeries* Series() const { return nullptr; }

  virtual void ChartEvent(TChartToolEvent event) { (void)event; }
  // A tool that consumes the event sets the chart's MouseHandled.
  virtual void ChartMouseEvent(TChartToolMouseKind kind, TMouseButton button, TShiftState shift, int32_t x,
                               int32_t y) {
    (void)kind, (void)button, (void)shift, (void)x, (void)y;
  }
  // delta: the wheel's turn for ctwWheel, 0 for the other kinds.
  virtual void ChartWheelEvent(TChartToolWheelKind kind, int32_t delta, int32_t x, int32_t y) {
    (void)kind, (void)delta, (void)x, (void)y;
  }

 private:
  friend class TChartTools;
  TCustomAxisPanel* fChart = nullptr;
};

class TChartTools {
 public:
  explicit TChartTools(TCustomAxisPanel& chart) : fChart(chart) {}
  ~TChartTools();
  TChartTools(const TChartTools&) = delete;
  TChartTools& operator=(const TChartTools&) = delete;

  TChartTool& Add(std::unique_ptr<TChartTool> tool);
  // Frees the tool (after the notification in progress, when there is one).
  void Remove(TChartTool& tool);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(fItems.size()); }
  TChartTool& operator[](int32_t index) const { return *fItems[static_cast<size_t>(index)]; }

  // Every active tool in list order.
  void Notify(TChartToolEvent event);
  // Every active series tool bound to the series.
  void NotifySeries(const TChartSeries& series, TChartToolEvent event);
  // Every active tool in list order until one sets the chart's MouseHandled; true
  // when one did.
  bool MouseEvent(TChartToolMouseKind kind, TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  bool WheelEvent(TChartToolWheelKind kind, int32_t delta, int32_t x, int32_t y);

 private:
  template <class F>
  bool ForEachActive(F&& tell);
  bool Holds(const TChartTool* tool) const;

  TCustomAxisPanel& fChart;
  std::vector<std::unique_ptr<TChartTool>> fItems;
  // Tools removed while a notification runs, freed when the outermost one ends.
  std::vector<std::unique_ptr<TChartTool>> fRemoved;
  int32_t fNotifying = 0;
};

}  // namespace qira

#pragma once
// The chart panel that owns the axes and the series, and paints one frame:
// background, titles and legend, walls, axes and series in a fixed order. The
// chart component adds walls, titles and the legend through the hooks.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartPanel.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/ChartSeries.h"  // Reaches up: the panel owns and draws its series.
#include "chart/engine/ChartTools.h"
#include "chart/engine/SeriesPointer.h"  // Reaches up: the panel's series list holds the series groups.

namespace qira {

class TCustomAxisPanel;

// The custom axes, owned by the chart.
using TChartCustomAxes = std::vector<std::unique_ptr<TChartAxis>>;

// Sent to the chart's listeners when a series joins or leaves the chart.
class TChartSeriesEvent : public TChartEvent {
 public:
  enum TKind : uint8_t {
    seAdd = 0,
    seRemove = 1,
    seChangeTitle = 2,
    seChangeColor = 3,
    seChangeActive = 5,
    seDataChanged = 6
  };
  TKind Event = seAdd;
  TChartSeries* Series = nullptr;
};

// The chart's series in drawing order (the base list, for reading), each owned by
// the list, and their groups.
class TChartSeriesList : public TCustomSeriesList {
 public:
  explicit TChartSeriesList(TCustomAxisPanel& panel) : fPanel(panel) {}
  ~TChartSeriesList();
  TCustomAxisPanel& Panel() const { return fPanel; }
  TSeriesGroups& Groups() { return fGroups; }
  const TSeriesGroups& Groups() const { return fGroups; }

  // Appends the series and takes it into the list's care.
  TChartSeries& Append(std::unique_ptr<TChartSeries> series);
  // Takes the series out of the list and hands it back.
  std::unique_ptr<TChartSeries> Take(size_t index);
  // Forgets a series that is being destroyed by someone else, without freeing it.
  void Forget(const TChartSeries& series);
  // Whether the list holds the series; the address only is compared (it may be gone).
  // Costs the same however many series the list holds.
  bool Holds(const TChartSeries* series) const { return fHeld.contains(series); }

 private:
  TCustomAxisPanel& fPanel;
  TSeriesGroups fGroups;
  std::vector<std::unique_ptr<TChartSeries>> fOwned;  // in the order of the base list
  std::unordered_set<const TChartSeries*> fHeld;      // the same series, found at once
};

// Test hook: how many entries of series lists, in this process, a search for a series
// or a removal has looked at or moved.
int64_t SeriesListStepsForTesting();

// A series class as the chart's class-wide removal takes it: whether a series is of
// the class (or derives from it). SeriesOfClass<TLineSeries> is one.
using TChartSeriesClass = bool (*)(const TChartSeries&);
template <class T>
bool SeriesOfClass(const TChartSeries& series) {
  return dynamic_cast<const T*>(&series) != nullptr;
}

// Sender: the series added or removed.
using TSeriesNotifyEvent = std::function<void(TChartSeries&)>;

// Sent to the chart's listeners when the page changes.
class TChartChangePage : public TChartEvent {};

// Paging of the series' points.
class TChartPage {
 public:
  explicit TChartPage(TCustomAxisPanel& panel) : fPanel(panel) {}
  bool AutoScale() const { return fAutoScale; }
  void SetAutoScale(bool value);
  // Clamped to 1 .. NumPages.
  int32_t Current() const { return fCurrent; }
  void SetCurrent(int32_t value);
  int32_t MaxPointsPerPage() const { return fMaxPointsPerPage; }
  // Raises ChartException "MaxPointsPerPage must be >= 0" below 0.
  void SetMaxPointsPerPage(int32_t value);
  bool ScaleLastPage() const { return fScaleLastPage; }
  void SetScaleLastPage(bool value);
  int32_t NumPages() const;
  void Assign(const TChartPage& source);

 private:
  void Broadcast();

  TCustomAxisPanel& fPanel;
  bool fAutoScale = false;
  int32_t fCurrent = 1;
  int32_t fMaxPointsPerPage = 0;
  bool fScaleLastPage = true;
};

class TCustomAxisPanel : public TCustomChartPanelExtended, public IAxisPanel {
 public:
  explicit TCustomAxisPanel(QWidget* parent = nullptr);
  ~TCustomAxisPanel() override;

  // ---- IAxisPanel
  const TChartAxes& AxesList() const override { return fAxesList; }
  TChartAxes& AxesList() { return fAxesList; }
  void AxisCreated(TChartAxis& axis) override;
  void AxisDestroyed(TChartAxis& axis) override;
  int32_t SeriesCount() const override { return static_cast<int32_t>(fSeries.size()); }
  IChartSeries& SeriesAt(int32_t index) const override { return *fSeries[static_cast<size_t>(index)]; }
  void SeriesDestroyed(IChartSeries& series) override;
  double MaxValueOfAxis(const TChartAxis& axis, bool isMin, bool horizontal) const override;
  TRect ChartRect() const override { return TCustomChartPanel::ChartRect(); }
  int32_t Depth3D() const override { return DepthWidth; }
  bool IsLoading() const override { return Loading(); }
  void Invalidate() override { TCustomChartPanel::Invalidate(); }
  int32_t MultiLineTextWidth(const std::string& text, int32_t& lines) const override;
  int32_t CanvasFontHeight() const override;
  TCanvas3D* Canvas() const override { return canvas_.get(); }
  bool View3D() const override { return TCustomChartPanel::View3D(); }
  bool AxisBehind() const override { return fAxisBehind; }
  std::string SeriesTitleLegend(int32_t index, bool onlyActive) const override;
  // The index-th (from 0) series that is active and shown in the legend, or null.
  TChartSeries* ActiveSeriesLegend(int32_t index) const { return SeriesLegend(index, true); }
  // The index-th series shown in the legend, counting only active ones when onlyActive.
  TChartSeries* SeriesLegend(int32_t index, bool onlyActive) const;
  int32_t MaxPointsPerPage() const override { return fPage.MaxPointsPerPage(); }
  int32_t CurrentPage() const override { return fPage.Current(); }

  TChartPage& Pages() { return fPage; }
  const TChartPage& Pages() const { return fPage; }
  // The chart's tools (owned), told of the repaint steps and the mouse.
  TChartTools& Tools() { return fTools; }
  // Named groups of the chart's series (the series list's).
  TSeriesGroups& SeriesGroups() { return fSeries.Groups(); }
  const TChartSeriesList& SeriesList() const { return fSeries; }

  // ---- axes
  TChartAxis& BottomAxis() const { return *fBottomAxis; }
  TChartAxis& TopAxis() const { return *fTopAxis; }
  TChartAxis& LeftAxis() const { return *fLeftAxis; }
  TChartAxis& RightAxis() const { return *fRightAxis; }
  TChartDepthAxis& DepthAxis() const { return *fDepthAxis; }
  TChartDepthAxis& DepthTopAxis() const { return *fDepthTopAxis; }
  TChartAxis& AddCustomAxis(bool horizontal, bool otherSide = false);
  void RemoveCustomAxis(TChartAxis& axis);
  // AxisVisible, the axis's Visible and, for a depth axis, View3D; else an active
  // series drawn on it (none when the first active series uses no axes).
  bool IsAxisVisible(const TChartAxis& axis) const;

  // ---- series (owned: the chart frees those it holds when it goes)
  // Appends the series (unless it is in the list already), tells it and the
  // listeners, OnAddSeries, repaint. A series of another chart leaves that one first.
  TChartSeries& AddSeries(std::unique_ptr<TChartSeries> series);
  template <class T>
  T& AddSeries(std::unique_ptr<T> series) {
    return static_cast<T&>(AddSeries(std::unique_ptr<TChartSeries>(std::move(series))));
  }
  // The series leaves the chart (listeners, OnRemoveSeries, repaint) and is handed
  // back to the caller; null for a series or index the chart does not hold.
  std::unique_ptr<TChartSeries> RemoveSeries(TChartSeries& series);
  std::unique_ptr<TChartSeries> RemoveSeries(int32_t index);
  // Every series of the class (every series for null) leaves the chart, last first,
  // and is freed.
  void RemoveAllSeries(TChartSeriesClass ofClass);
  // Raises ChartException "Circular Series dependences are not allowed" when source
  // takes its data from series, directly or through a chain of sources. Needs no
  // chart: a series without one checks its sources the same way.
  static void ValidateSource(const TChartSeries& series, const TChartSeries& source);
  TChartSeries& Series(int32_t index) const { return *fSeries[static_cast<size_t>(index)]; }
  // The first active series on the axis (an inactive one when no active one is).
  TChartSeries* SeriesOfAxis(const TChartAxis& axis) const;
  // Among the same series, the one with the most points.
  TChartSeries* SeriesWithMostPoints(const TChartAxis& axis) const;
  int32_t MaxValuesCount() const;
  // Every active series, from the last to the first, checks the mouse over its
  // points (enter and leave events); the control shows the cursor of a series
  // under the mouse. True when any series has a point under it.
  bool CheckMouseOverSeries(int32_t x, int32_t y);
  // Back to the saved cursor when the control shows the one a series' cursor number names.
  void RestoreCursorShownFor(int32_t seriesCursor);
  // The widest mark text of the active series.
  int32_t MaxMarkWidth() const;
  // The widest point text label of all series (the widest line of each).
  int32_t MaxXLabelsWidth() const;
  // Every series without a colour of its own gets a free palette colour.
  void AssignFreeColors();
  // Palette colours in order until ColorIsFree accepts one.
  TColor GetFreeSeriesColor(bool checkBackground, const TChartSeries* series) const;
  virtual bool ColorIsFree(TColor color, bool checkBackground, const TChartSeries* series) const;

  // ---- settings
  int32_t Chart3DPercent() const { return fChart3DPercent; }
  // Raises ChartException "3D effect percent must be between 1 and 100" outside.
  void SetChart3DPercent(int32_t value);
  void SetAxisBehind(bool value) { ChangeBoolean(fAxisBehind, value); }
  bool AxisVisible() const { return fAxisVisible; }
  void SetAxisVisible(bool value) { ChangeBoolean(fAxisVisible, value); }
  bool ClipPoints() const { return fClipPoints; }
  void SetClipPoints(bool value) { ChangeBoolean(fClipPoints, value); }
  bool View3DWalls() const { return fView3DWalls; }
  void SetView3DWalls(bool value) { ChangeBoolean(fView3DWalls, value); }

  // ---- the frame
  // The largest Z order of the frame (series grow it in CalcZOrder).
  int32_t MaxZOrder() const { return fMaxZOrder; }
  void SetMaxZOrder(int32_t value) { fMaxZOrder = value; }
  // Set for a frame whose view looks at the chart from behind (series draw their
  // points and each other in reverse).
  bool DepthReversed() const { return fDepthReversed; }
  // The text the legend shows for a value (empty here; the chart asks its legend).
  virtual std::string LegendTextOfValue(const TChartSeries& series, int32_t index) const {
    (void)series, (void)index;
    return {};
  }
  // The colour the legend stores while it draws (a symbol of that colour shows
  // only its frame).
  TColor LegendColor = clNone;
  // The pen the legend lends its series' symbols while it draws, when its symbol
  // does not use the series' own pen (none otherwise).
  const TChartPen* LegendSymbolPen = nullptr;
  // Fills a legend symbol with the current brush.
  virtual void PaintLegendSymbolBack(const TRect& rect);
  // The frame's 3D depth from Chart3DPercent and the chart width (0 in 2D).
  void CalcSize3D();
  // Each active series' place in depth: in 3D series without a fixed Z order get
  // one each, front to back unless the depth axis is inverted.
  void CalcZOrders();
  // The depth of one series in pixels (the frame's 3D depth divided among the Z orders).
  int32_t SeriesDepth() const { return fSeriesDepth; }
  // Its vertical counterpart (the depth as it runs up the screen).
  int32_t SeriesHeight() const { return fSeriesHeight; }
  // Ranges, room and positions of every axis; the chart rectangle shrinks to what
  // the shown axes leave free.
  void LayoutAxes();
  // Widens the axis's range for the pixels its series and offsets keep free.
  void ApplySeriesMargins(TChartAxis& axis);
  void DrawAxes();
  void InternalDraw(const TRect& rect) override;

  // Published properties with the axes (under "BottomAxis." and so on), the custom
  // axes, the pages and the old paging properties (ChartFormStreaming.cpp).
  void WriteProperties(TStreamedProperties& block) const override;
  void ReadProperties(const TStreamedProperties& block) override;

  TSeriesNotifyEvent OnAddSeries;
  TSeriesNotifyEvent OnRemoveSeries;
  std::function<void()> OnBeforeDrawAxes;
  std::function<void()> OnBeforeDrawChart;
  std::function<void()> OnBeforeDrawSeries;
  std::function<void()> OnPageChange;

 protected:
  // Hooks of the chart component: walls take their room (then CalcSize3D), titles
  // and legend take theirs before the series and draw after them, walls paint.
  virtual void AdjustRectForWalls() { CalcSize3D(); }
  virtual void PaintTitlesAndLegend(bool beforeSeries) { (void)beforeSeries; }
  virtual void PaintWalls() {}
  // Draws one series' points (the series kinds draw themselves).
  virtual void DrawSeriesValues(TChartSeries& series) { series.DrawAllValues(); }
  void leaveEvent(QEvent* event) override;

 private:
  bool CalcDepthReversed();
  void DrawAllSeries();
  void DrawSeries(TChartSeries& series);
  // Series of one Z order drawn point by point together; series is the first of them.
  void DrawSameZOrder(TChartSeries& series);
  // The chart rectangle one pixel taller, between depth 0 and the 3D depth, where
  // clipping is allowed.
  void ClipSeries();
  void UnClipSeries();
  bool Holds(const TChartSeries* series) const;

  TChartAxes fAxesList;
  std::unique_ptr<TChartAxis> fBottomAxis, fTopAxis, fLeftAxis, fRightAxis;
  std::unique_ptr<TChartDepthAxis> fDepthAxis, fDepthTopAxis;
  TChartCustomAxes fCustomAxes;
  TChartSeriesList fSeries{*this};
  int32_t fChart3DPercent = 15;
  bool fAxisBehind = true;
  bool fAxisVisible = true;
  bool fClipPoints = true;
  bool fView3DWalls = true;
  int32_t fMaxZOrder = 0;
  int32_t fSeriesDepth = 0;
  int32_t fSeriesHeight = 0;
  bool fDepthReversed = false;
  TChartPage fPage{*this};
  TChartTools fTools{*this};
};

// The chart's depth ordering at depth z: False on a fully rotating canvas; else the
// three corners (left, top), (left, bottom), (right, bottom) of the chart rectangle
// projected at z turn the other way than in a flat view.
bool IsDepthReversed(const TCustomAxisPanel& chart, int32_t z);

}  // namespace qira

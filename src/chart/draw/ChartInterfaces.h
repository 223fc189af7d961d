#pragma once
// The two seams of the chart engine that axes, series, walls and the legend are
// written against: what an axis or a series needs from its chart (the axis panel)
// and what an axis or the panel needs from a series. Both are small abstract
// classes so that an axis can be computed without a canvas and tested with fakes;
// the chart panel and the series base implement them.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/CanvasTypes.h"

namespace qira {

class TCanvas3D;
class TChartAxis;
class TChartValueList;
class IChartSeries;

// The chart library's failures; what() is the fixed message text.
class ChartException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class AxisException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A palette: series colours in order.
using TColorArray = std::vector<TColor>;

// The chart library's marker for "the element takes its automatic colour".
inline constexpr TColor clChartDefault = clDefault;

enum TAxisLabelStyle : uint8_t { talAuto, talNone, talValue, talMark, talText };
enum TAxisLabelAlign : uint8_t { alDefault, alOpposite };
enum TChartUnits : uint8_t { muPercent, muPixels };
enum TChartListOrder : uint8_t { loNone, loAscending, loDescending };
enum THorizAxis : uint8_t { aTopAxis, aBottomAxis, aBothHorizAxis, aCustomHorizAxis };
enum TVertAxis : uint8_t { aLeftAxis, aRightAxis, aBothVertAxis, aCustomVertAxis };

// Sender: the axis; Series: none for value labels; ValueIndex -1 for value labels.
using TAxisOnGetLabel =
    std::function<void(TChartAxis& sender, IChartSeries* series, int32_t valueIndex, std::string& labelText)>;
// Asked for one label after another; Stop True ends the labels (on the first
// call: use the default labels instead).
using TAxisOnGetNextLabel = std::function<void(TChartAxis& sender, int32_t labelIndex, double& labelValue, bool& stop)>;

// Runs a callable when the scope ends, also by an exception: restores a flag or a
// temporary setting on every exit.
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F f) : fExit(std::move(f)) {}
  ~TScopeExit() { fExit(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F fExit;
};

// Every axis of a chart in creation order: the six standard axes first, then the
// custom ones (not owned: axes register and unregister themselves).
class TChartAxes : public std::vector<TChartAxis*> {
 public:
  // Pixel mapping by integer steps and unclamped (never set by the system; axes
  // read it when they choose their mapping).
  bool FastCalc = false;
  // Hidden axes take room in the layout when this answers a size for them (axis,
  // current size 0) -> size in pixels.
  std::function<int32_t(const TChartAxis&, int32_t)> AxisSizeCallback;
};

// What an axis, a series or a wall asks of the chart that owns it.
class IAxisPanel {
 public:
  virtual ~IAxisPanel() = default;

  virtual const TChartAxes& AxesList() const = 0;
  virtual void AxisCreated(TChartAxis& axis) = 0;
  virtual void AxisDestroyed(TChartAxis& axis) = 0;

  virtual int32_t SeriesCount() const = 0;
  // A series of the chart is being destroyed: the chart forgets it.
  virtual void SeriesDestroyed(IChartSeries& series) { (void)series; }
  virtual IChartSeries& SeriesAt(int32_t index) const = 0;

  // Largest (IsMin False) or smallest value of the series drawn on the axis, in
  // the given orientation; 0 when no series contributes.
  virtual double MaxValueOfAxis(const TChartAxis& axis, bool isMin, bool horizontal) const = 0;

  // Area inside the axes, and the 3D depth in pixels (0 in 2D).
  virtual TRect ChartRect() const = 0;
  virtual int32_t Depth3D() const = 0;

  // The canvas a frame draws on; null where nothing is drawn.
  virtual TCanvas3D* Canvas() const { return nullptr; }
  virtual bool View3D() const { return false; }
  // Axes are drawn before the series (on the walls in 3D).
  virtual bool AxisBehind() const { return true; }
  // Thickness of the wall under an axis, in pixels.
  virtual int32_t WallThicknessFor(const TChartAxis& axis) const {
    (void)axis;
    return 0;
  }

  // Paging of the points: at most this many points per page (0: no paging) and
  // the page shown, counted from 1.
  virtual int32_t MaxPointsPerPage() const { return 0; }
  virtual int32_t CurrentPage() const { return 1; }

  // True while the chart is read from a stream (setters skip their checks).
  virtual bool IsLoading() const { return false; }
  // Asks for a repaint; a no-op while painting is switched off.
  virtual void Invalidate() = 0;

  // Text measures on the chart canvas with its current font: the widest of the
  // lines split at character 13 (lines: their number, a trailing empty part not
  // counted) and the font height.
  virtual int32_t MultiLineTextWidth(const std::string& text, int32_t& lines) const = 0;
  virtual int32_t CanvasFontHeight() const = 0;

  // The title of the index-th series shown in the legend (counting only active
  // ones when onlyActive); empty when there is none.
  virtual std::string SeriesTitleLegend(int32_t index, bool onlyActive) const {
    (void)index;
    (void)onlyActive;
    return {};
  }

  // The chart's palette entry for a series or point: its own palette entry
  // Index mod its length, else the library's default colours.
  virtual TColor GetDefaultColor(int32_t index) const;
  // The chart's own palette (empty: the library's default colours) and the index
  // of the named palette it came from (SetColorPalette).
  TColorArray ColorPalette;
  int32_t ColorPaletteIndex = 0;

  TAxisOnGetLabel OnGetAxisLabel;
  TAxisOnGetNextLabel OnGetNextAxisLabel;
};

// What an axis and the panel ask of a series.
class IChartSeries {
 public:
  virtual ~IChartSeries() = default;

  virtual bool Active() const = 0;
  // False for series that draw without axes (their values never scale an axis).
  virtual bool UseAxis() const { return true; }
  virtual bool AssociatedToAxis(const TChartAxis& axis) const = 0;
  // The series' values run along the vertical axis, X being optional.
  virtual bool YMandatory() const = 0;
  // The series carries depth values of its own.
  virtual bool HasZValues() const { return false; }
  virtual int32_t Count() const = 0;
  // The X list for a horizontal axis, the Y list for a vertical one; null when the
  // series is not associated with the axis.
  virtual const TChartValueList* ValuesListForAxis(const TChartAxis& axis) const = 0;
  // Some point carries a non-empty text label.
  virtual bool HasTextLabels() const = 0;
  // The points inside the axes at the last computation (-1, -1: none).
  virtual int32_t FirstVisibleIndex() const = 0;
  virtual int32_t LastVisibleIndex() const = 0;
  // The point's mark text, or its text label, for axis labels.
  virtual std::string PointText(int32_t index, bool markText) const = 0;
  // The point's X value (horizontal) or Y value.
  virtual double PointValue(int32_t index, bool horizontal) const = 0;

  virtual double MaxXValue() const = 0;
  virtual double MinXValue() const = 0;
  virtual double MaxYValue() const = 0;
  virtual double MinYValue() const = 0;
  virtual double MaxZValue() const = 0;
  virtual double MinZValue() const = 0;
};

}  // namespace qira

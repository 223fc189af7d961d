#pragma once
// A series: points held in value lists (X, Y and extra lists), a label and a
// colour per point, marks, the axes it is drawn on, the series it feeds and is fed
// by, and the update counter; and the hooks through which the chart's repaint draws
// it (its depth, its points, its marks). Works without a chart.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartPens.h"
#include "chart/draw/ChartZoom.h"
#include "chart/engine/ChartValueList.h"
#include "chart/engine/SeriesFunctions.h"
#include "chart/engine/SeriesMarks.h"

namespace qira {

class TCustomAxisPanel;

// What a series tells the series that it feeds.
enum class TValueEvent : uint8_t { veClear = 0, veAdd = 1, veDelete = 2, veRefresh = 3, veModify = 4 };

// Which events of a source a dependent series follows.
enum TSeriesNotifyFlags : uint8_t { snDelete = 1, snModify = 2, snAdd = 4, snClear = 8, snAll = 15 };

class TChartSeriesSource;
class TChartSeries;

// Series not owned by the list (a group's, a series' dependents; the chart's list
// keeps the owners of its series beside it).
using TCustomSeriesList = std::vector<TChartSeries*>;
// The series that feed a series, the first one leading.
using TDataSourcesList = std::vector<TChartSeries*>;
// Item i is the label of point i; the list may be shorter than the points (missing
// labels read empty).
using TLabelsList = std::vector<std::string>;

// Anything a chart draws that can be switched off: an active flag, a pen, a brush
// and the chart that draws it (not owned). A change repaints the chart.
class TCustomChartElement {
 public:
  TCustomChartElement();
  virtual ~TCustomChartElement() = default;
  TCustomChartElement(const TCustomChartElement&) = delete;
  TCustomChartElement& operator=(const TCustomChartElement&) = delete;

  bool Active() const { return fActive; }
  virtual void SetActive(bool value);
  TChartPen& Pen() { return fPen; }
  const TChartPen& Pen() const { return fPen; }
  TChartBrush& Brush() { return fBrush; }
  const TChartBrush& Brush() const { return fBrush; }
  IAxisPanel* ParentChart() const { return fParentChart; }
  virtual void SetParentChart(IAxisPanel* chart) { fParentChart = chart; }
  std::string Name;
  // Whether the chart editors list the element (stored and streamed only).
  bool ShowInEditor = true;
  void Repaint() const;

 protected:
  // Stores a changed value and repaints.
  void ChangeActive(bool value);

 private:
  bool fActive = true;
  TChartPen fPen;
  TChartBrush fBrush;
  IAxisPanel* fParentChart = nullptr;
};

// A series as the legend and the chart's layout see it: a title, whether the legend
// lists it, and the extra room it needs at its axes' ends.
class TCustomChartSeries : public TCustomChartElement {
 public:
  // A change repaints and tells the chart's listeners.
  void SetActive(bool value) override;
  const std::string& Title() const { return fTitle; }
  // A change tells the chart's listeners.
  void SetTitle(const std::string& value);
  bool ShowInLegend = true;
  // Streamed only: a text and six style flags (bits 0-5).
  std::string Identifier;
  uint8_t StyleFlags = 0;
  // Extra pixels the series needs at the ends of its axes (0 and 0 here).
  virtual void CalcHorizMargins(int32_t& left, int32_t& right) const { left = right = 0; }
  virtual void CalcVerticalMargins(int32_t& top, int32_t& bottom) const { top = bottom = 0; }

 protected:
  // Tells the chart's listeners (a TChartSeriesEvent of that kind).
  virtual void BroadcastSeriesEvent(uint8_t kind) = 0;

 private:
  std::string fTitle;
};

class TChartSeries : public TCustomChartSeries, public IChartSeries {
 public:
  TChartSeries();
  ~TChartSeries() override;
  TChartSeries(const TChartSeries&) = delete;
  TChartSeries& operator=(const TChartSeries&) = delete;

  // [SECTION] Points
  // Index of the new point, or -1 when OnBeforeAdd refused it.
  int32_t AddXY(double x, double y, const std::string& label = {}, TColor color = clChartDefault);
  int32_t Add(double value, const std::string& label = {}, TColor color = clChartDefault);
  int32_t AddNull(const std::string& label = {}) { return Add(0, label, clNone); }
  int32_t AddNullXY(double x, double y, const std::string& label = {}) { return AddXY(x, y, label, clNone); }
  // Raises ChartException "Series Delete: ValueIndex %d out of bounds (0 to %d)."
  // for an index outside the points; the series is then unchanged.
  void Delete(int32_t index);
  void DeleteRange(int32_t start, int32_t quantity, bool renumberX = false);
  void Clear();
  virtual void ClearLists();
  // Exchanges two points in every list.
  void SwapValueIndex(int32_t a, int32_t b);

  int32_t Count() const override { return fX->Count(); }
  virtual double XValue(int32_t index) const { return fX->Value(index); }
  virtual double YValue(int32_t index) const { return fY->Value(index); }
  std::string Label(int32_t index) const;
  void SetLabel(int32_t index, const std::string& text);
  bool HasTextLabels() const override;
  int32_t FirstVisibleIndex() const override { return fFirstVisibleIndex; }
  int32_t LastVisibleIndex() const override { return fLastVisibleIndex; }
  std::string PointText(int32_t index, bool markText) const override {
    return markText ? GetMarkText(index) : Label(index);
  }
  double PointValue(int32_t index, bool horizontal) const override {
    return horizontal ? XValue(index) : YValue(index);
  }
  // The range of points whose X lies inside the independent axis (all points
  // without an axis, with CalcVisiblePoints off or unordered X).
  virtual void CalcFirstLastVisibleIndex();
  // The index range of the chart's current page (-1, -1 without points; all
  // points without paging). A page past the end shows the last full page.
  void CalcFirstLastPage(int32_t& first, int32_t& last) const;
  bool CalcVisiblePoints = true;
  // The last visible point may lie one beyond the axis end (lines reach the edge).
  bool DrawBetweenPoints = false;
  // The point's own colour, else the palette's with ColorEachPoint, else the series'.
  virtual TColor ValueColor(int32_t index) const;
  bool IsNull(int32_t index) const { return ValueColor(index) == clNone; }
  bool HasColorList() const { return fColors.has_value(); }

  TChartValueList& XValues() const { return *fX; }
  TChartValueList& YValues() const { return *fY; }
  TChartValueLists& ValuesList() { return fValuesList; }
  const TChartValueLists& ValuesList() const { return fValuesList; }
  // A further value list (index 2 and up), owned by the series.
  TChartValueList& AddValueList(const std::string& name);
  // The extra list of that name (ignoring case), else the mandatory list.
  TChartValueList& GetYValueList(const std::string& name) const;
  TChartValueList& MandatoryValueList() const { return fYMandatory ? *fY : *fX; }
  TChartValueList& NotMandatoryValueList() const { return fYMandatory ? *fX : *fY; }
  bool YMandatory() const override { return fYMandatory; }
  void SetYMandatory(bool value) { fYMandatory = value; }

  double MaxXValue() const override { return fX->MaxValue(); }
  double MinXValue() const override { return fX->MinValue(); }
  double MaxYValue() const override { return fY->MaxValue(); }
  double MinYValue() const override { return fY->MinValue(); }
  double MaxZValue() const override { return ZOrderInUse(); }
  double MinZValue() const override { return ZOrderInUse(); }

  // [SECTION] Updates and dependent series
  void BeginUpdate() { ++fUpdating; }
  // Reaching 0 refreshes the dependent series.
  void EndUpdate();
  bool Updating() const { return fUpdating > 0; }
  void NotifyValue(TValueEvent event, int32_t index);
  virtual void Added(int32_t index);
  int32_t AddValueFrom(const TChartSeries& source, int32_t index);
  int32_t AddPointFrom(const TChartSeries& source, int32_t index);
  // Replaces the points by the source's (or by the function's results).
  void AddValues(TChartSeries& source);
  virtual void DeleteFromSource(const TChartSeries& source, int32_t index);
  // The source feeds this series: it is validated against cycles (ChartException
  // "Circular Series dependences are not allowed") and its points copied.
  void AddDataSource(TChartSeries& source);
  // Removing the first source removes them all, and the points unless stored.
  void RemoveDataSource(TChartSeries& source);
  const TDataSourcesList& DataSources() const { return fDataSources; }
  const TCustomSeriesList& DependentSeries() const { return fLinkedSeries; }
  // This series may feed the given one: any series but itself.
  virtual bool IsValidSourceOf(const TChartSeries& series) const { return &series != this; }
  // The source may feed this series: it offers itself (a function, when there is
  // one, accepts any source).
  virtual bool IsValidSource(const TChartSeries& source) const { return source.IsValidSourceOf(*this); }
  // Refreshes the points from the sources or the function (a no-op without either),
  // only in a chart and not while updating.
  void CheckDataSource();
  uint8_t NotifyFlags = snAll;
  TChartFunction* Function() const { return fFunction.get(); }
  void SetFunction(std::unique_ptr<TChartFunction> function);
  bool FunctionCentre = true;

  // [SECTION] Chart and axes
  // Leaves the old chart's care (RemovedFromChart), stores the new chart, hands it
  // to the marks and joins it (AddedToChart).
  void SetParentChart(IAxisPanel* chart) override;
  // The series has joined its chart: without a colour of its own it takes the
  // chart's next free one; the axes in use are resolved (bottom/top, left/right,
  // custom).
  virtual void AddedToChart();
  // The series is leaving its chart: the axes in use are forgotten.
  virtual void RemovedFromChart();
  THorizAxis HorizAxis() const { return fHorizAxis; }
  void SetHorizAxis(THorizAxis value);
  TVertAxis VertAxis() const { return fVertAxis; }
  void SetVertAxis(TVertAxis value);
  void SetCustomHorizAxis(TChartAxis* axis);
  void SetCustomVertAxis(TChartAxis* axis);
  TChartAxis* CustomHorizAxis() const { return fCustomHorizAxis; }
  TChartAxis* CustomVertAxis() const { return fCustomVertAxis; }
  TChartAxis* GetHorizAxis() const { return fGetHorizAxis; }
  TChartAxis* GetVertAxis() const { return fGetVertAxis; }
  bool AssociatedToAxis(const TChartAxis& axis) const override;
  const TChartValueList* ValuesListForAxis(const TChartAxis& axis) const override;
  virtual int32_t CalcXPos(int32_t index) const;
  virtual int32_t CalcYPos(int32_t index) const;
  // The point's pixel: CalcXPos and CalcYPos.
  virtual void CalcPosition(int32_t index, int32_t& x, int32_t& y) const {
    x = CalcXPos(index);
    y = CalcYPos(index);
  }

  // [SECTION] Drawing (the chart's repaint pipeline calls these in its order)
  // The chart that draws the series, as a full panel (null without one or with a
  // chart of another kind).
  TCustomAxisPanel* ChartPanel() const;
  // Run by the chart before the titles and legend take their room; nothing here.
  virtual void PrepareForDraw() {}
  // The series' place in depth for this frame (the chart's largest Z order grows).
  virtual void CalcZOrder();
  // Another active series of the chart has the same Z order in use (and no depth
  // values of its own): the chart then draws their points interleaved.
  bool MoreSameZOrder() const;
  // Points in increasing index order (the independent axis not inverted; with the
  // chart's depth reversed, inverted).
  bool DrawValuesForward() const;
  // Series of one Z order in list order, unless the chart's depth is reversed.
  bool DrawSeriesForward() const;
  // Tools bound to the series hear event 1 (4), then the event fires.
  virtual void DoBeforeDrawValues();
  virtual void DoAfterDrawValues();
  // Every visible point through DrawValue, in drawing order.
  virtual void DrawAllValues();
  virtual void DrawValue(int32_t index) { (void)index; }
  // Every mark to show: every DrawEvery-th visible, non-null point with a text.
  virtual void DrawMarks();
  virtual void DrawMark(int32_t index, const std::string& text, TSeriesMarkPosition& position);
  // The widest text among the visible marks items (0 without a chart).
  int32_t MaxMarkWidth();
  std::function<void(TChartSeries&)> BeforeDrawValues;
  std::function<void(TChartSeries&)> AfterDrawValues;

  // [SECTION] Gallery
  // The names of the sub-types a gallery offers for the kind, "Normal" first.
  virtual std::vector<std::string> GallerySubTypes() const;
  // Applies the sub-type of that index in GallerySubTypes; "Normal" (0), and every
  // index here, changes nothing.
  virtual void ApplySubType(int32_t index) { (void)index; }

  // [SECTION] Look and texts
  bool Active() const override { return TCustomChartElement::Active(); }
  // Title with column separators (character 6) as blanks; the name when empty;
  // "Series" and the position in the chart's list (from 1) when that is empty too.
  std::string TitleForDisplay() const;
  TColor SeriesColor() const { return fColor == clChartDefault ? fAutoColor : fColor; }
  void SetSeriesColor(TColor color);
  // The colour a chart gives a series that has none of its own.
  void AssignAutomaticColor(TColor color);
  TColor StoredColor() const { return fColor; }
  // Every point takes its own palette colour; a change repaints.
  bool ColorEachPoint() const { return fColorEachPoint; }
  virtual void SetColorEachPoint(bool value);
  // The point a legend line stands for (the line's index here).
  virtual int32_t LegendToValueIndex(int32_t index) const { return index; }
  // The colour of a legend line's symbol.
  virtual TColor LegendItemColor(int32_t index) const { return ValueColor(index); }
  // Lets a series kind set the canvas pen for its legend symbol and choose the back
  // colour and brush style its symbol is filled with (nothing here).
  virtual void PrepareLegendCanvas(int32_t index, TColor& backColor, TBrushStyle& brushStyle) {
    (void)index, (void)backColor, (void)brushStyle;
  }
  // Draws the legend symbol of point index (-1: the series) in rect with the pen
  // and brush DrawSeriesLegend prepared: here the chart's PaintLegendSymbolBack.
  virtual void DrawLegendShape(int32_t index, const TRect& rect);
  // The fixed Z order (-1: automatic), the one computed for the frame and the one
  // in use.
  int32_t ZOrder() const { return fZOrder; }
  void SetZOrder(int32_t value) { fZOrder = value; }
  int32_t ComputedZOrder() const { return fComputedZOrder; }
  void SetComputedZOrder(int32_t value) { fComputedZOrder = value; }
  int32_t ZOrderInUse() const { return fZOrder != -1 ? fZOrder : fComputedZOrder; }
  // Depth in 3D pixels; -1: the chart's depth per series.
  int32_t Depth = -1;
  // Start, middle and end depth of the frame from the Z order in use; the marks
  // stand at the middle.
  void CalcDepthPositions(int32_t seriesDepth);
  int32_t StartZ() const { return fStartZ; }
  int32_t MiddleZ() const { return fMiddleZ; }
  int32_t EndZ() const { return fEndZ; }
  // The format of value texts; a change repaints.
  const std::string& ValueFormat() const { return fValueFormat; }
  virtual void SetValueFormat(const std::string& value);
  std::string PercentFormat;
  TSeriesMarks& Marks() { return fMarks; }
  const TSeriesMarks& Marks() const { return fMarks; }
  // The mark text of a point by the marks' style (or the point's own item text).
  std::string GetMarkText(int32_t index) const;
  virtual double GetMarkValue(int32_t index) const { return MandatoryValueList().Value(index); }

  // [SECTION] Copying, streaming and source components (SeriesSource.cpp)
  // The settings, then the points (or the same sources when the points came from them).
  void Assign(const TChartSeries& source);
  // The points came from a form (or a copy of such a series) and are written back.
  bool StoredData = false;
  // The "Data" stream may carry the X values; when off they are never written and
  // read back as the points' indexes. No series kind of the library turns it off.
  bool XValuesInData = true;
  // Sample points made when asked for 0 (0: the library's default count).
  int32_t SampleCount = 0;
  // Names of the source's lists that give the points' colours and labels; a new
  // name refreshes the points from the sources.
  const std::string& ColorSource() const { return fColorSource; }
  void SetColorSource(const std::string& value);
  const std::string& XLabelsSource() const { return fXLabelsSource; }
  void SetXLabelsSource(const std::string& value);
  // The component that feeds this series (bound by the component), or null.
  TChartSeriesSource* SourceComponent() const { return fSourceComponent; }

  // [SECTION] Events
  std::function<bool(TChartSeries&)> OnBeforeAdd;
  std::function<void(TChartSeries&, int32_t)> OnAfterAdd;
  std::function<void(TChartSeries&)> OnClearValues;
  std::function<void(const TChartSeries&, int32_t, std::string&)> OnGetMarkText;

  // [SECTION] Clicks and hover
  // Index of the point under the pixel, or -1: always -1 here and for a series
  // without points; the series kinds that draw points answer for them.
  virtual int32_t Clicked(int32_t x, int32_t y) {
    (void)x;
    (void)y;
    return -1;
  }
  // OnClick or OnDblClick is set (a click on the series is worth a hit test).
  virtual bool HasClickEvents() const { return OnClick != nullptr || OnDblClick != nullptr; }
  // Whether a point lies under the mouse. Entering a point sets the inside flag and
  // fires OnMouseEnter, leaving all points clears it and fires OnMouseLeave; false
  // at once for a series with no cursor and neither event. The chart shows Cursor
  // while this answers true.
  bool MouseMoveCheck(int32_t x, int32_t y);
  bool MouseInside() const { return fMouseInside; }
  // Screen cursor number over a point; 0: the chart's own cursor.
  int32_t Cursor = 0;
  using TSeriesClick =
      std::function<void(TChartSeries&, int32_t valueIndex, TMouseButton, TShiftState, int32_t x, int32_t y)>;
  TSeriesClick OnClick;
  TSeriesClick OnDblClick;
  std::function<void(TChartSeries&)> OnMouseEnter;
  std::function<void(TChartSeries&)> OnMouseLeave;
 protected:
  // Size and place of the box of a mark with text at the point's pixel (x, y).
  void PrepareMark(int32_t index, const std::string& text, int32_t x, int32_t y, TSeriesMarkPosition& position);

 private:
  friend class TChartSeriesSource;
  bool fMouseInside = false;

  void RecalcGetAxis();
  void BroadcastSeriesEvent(uint8_t kind) override;
  void InsertPointExtras(int32_t index, const std::string& label, TColor color);

  TChartValueLists fValuesList;
  TChartValueList* fX;
  TChartValueList* fY;
  bool fYMandatory = true;
  TLabelsList fLabels;
  std::optional<std::vector<TColor>> fColors;
  TColor fColor = clChartDefault;
  TColor fAutoColor = clChartDefault;
  bool fColorEachPoint = false;
  std::string fValueFormat;
  int32_t fZOrder = -1;
  int32_t fComputedZOrder = 0;
  int32_t fStartZ = 0, fMiddleZ = 0, fEndZ = 0;
  TSeriesMarks fMarks{*this};
  std::unique_ptr<TChartFunction> fFunction;
  TDataSourcesList fDataSources;
  TCustomSeriesList fLinkedSeries;
  TChartSeriesSource* fSourceComponent = nullptr;
  std::string fColorSource;
  std::string fXLabelsSource;
  int32_t fUpdating = 0;
  int32_t fFirstVisibleIndex = -1;
  int32_t fLastVisibleIndex = -1;

  THorizAxis fHorizAxis = aBottomAxis;
  TVertAxis fVertAxis = aLeftAxis;
  TChartAxis* fCustomHorizAxis = nullptr;
  TChartAxis* fCustomVertAxis = nullptr;
  TChartAxis* fGetHorizAxis = nullptr;
  TChartAxis* fGetVertAxis = nullptr;
};

}  // namespace qira

#pragma once
// TCustomChart: the complete chart. The axis panel with its axes and series, plus
// four titles, the walls and the legend; it turns presses, drags and wheel turns into clicks on
// chart parts, rubber-band zooming, panning and scrolling, and zooms on request (by a
// rectangle, by axis values, by percent) with an undo that restores the scales saved
// before the first zoom or pan.
//
// Units: Chart.cpp (construction, the drawing hooks, series removal), ChartMouse.cpp
// (hit test, mouse and wheel, zoom, pan and undo).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chart/engine/AxisPanel.h"
#include "chart/engine/ChartLegend.h"  // Reaches up: the chart owns its legend.
#include "chart/engine/ChartMouse.h"  // Reaches up: the chart keeps its mouse handling's saved scales and hits.
#include "chart/engine/ChartTitles.h"
#include "chart/engine/ChartWalls.h"

class QWheelEvent;

namespace qira {

class TCustomChart : public TCustomAxisPanel {
 public:
  explicit TCustomChart(QWidget* parent = nullptr);
  ~TCustomChart() override;

  // ---- parts (owned)
  TChartTitle Title;
  TChartTitle SubTitle;
  TChartFootTitle Foot;
  TChartFootTitle SubFoot;
  TChartWalls Walls;
  TChartLegend Legend;
  TChartBackWall& BackWall() { return Walls.Back; }
  TChartBottomWall& BottomWall() { return Walls.Bottom; }
  TChartLeftWall& LeftWall() { return Walls.Left; }
  TChartRightWall& RightWall() { return Walls.Right; }
  // The chart's frame: the back wall's pen.
  TChartPen& Frame() { return Walls.Back.Pen(); }
  TMouseButton ScrollMouseButton = mbRight;

  // ---- overrides of the panel
  // The panel colour behind a transparent back wall, else the back wall's colour.
  TColor BackgroundColor() const override;
  // 0 unless 3D with walls; else the Size of the axis' visible wall.
  int32_t WallThicknessFor(const TChartAxis& axis) const override;
  bool ColorIsFree(TColor color, bool checkBackground, const TChartSeries* exceptSeries) const override;
  // The legend's text of a value (by its text style), through OnGetLegendText.
  std::string LegendTextOfValue(const TChartSeries& series, int32_t index) const override;
  // With a visible symbol gradient or shadow, the legend's plain symbol in the
  // brush colour; else the panel's.
  void PaintLegendSymbolBack(const TRect& rect) override;

  // Detaches every series, always the current first one, each with its removal
  // notifications and OnRemoveSeries; the chart does not free them but hands them
  // back in their order. The panel's RemoveAllSeries(ofClass) frees instead.
  std::vector<std::unique_ptr<TChartSeries>> RemoveAllSeries();
  using TCustomAxisPanel::RemoveAllSeries;
  // Applies the named palette (ChartPalettes.h) when the index changes: the chart's
  // colours, and the automatic colours of its series in series order.
  void SetColorPaletteIndex(int32_t index);
  // The first active series, or null.
  TChartSeries* FirstActiveSeries() const;
  // For an editor: calls proc with the Name of each value list of the series that
  // is series' data source (nothing when its data source is no series).
  void FillValueSourceItems(const TChartSeries& series, const std::function<void(const std::string&)>& proc) const;
  // ColorPaletteIndex, the titles, the legend, ScrollMouseButton and the walls, then the axis
  // panel's settings.
  void Assign(const TCustomChartPanel& source) override;
  // The axis panel's properties, the titles, walls, legend, "ColorPaletteIndex" and
  // the old "BackColor". The whole block is tried on a scratch chart first, so a bad
  // value leaves this chart as it was (ChartFormStreaming.cpp).
  void WriteProperties(TStreamedProperties& block) const override;
  void ReadProperties(const TStreamedProperties& block) override;

  // Lays the frame out as the next paint will (titles, walls, axes: the chart
  // rectangle and every axis' pixel positions) by drawing it into the control's
  // buffer. Runs nothing from the event queue, so resize and zoom handlers can read
  // an up-to-date ChartRect.
  void CalcChartLayout();

  // ---- hit test, zoom, pan (ChartMouse.cpp)
  TChartClickedPart HitTestPart(int32_t x, int32_t y, bool onlyClickable) const;
  // Zooms to the zoom's rubber-band rectangle (X0..X1 on the top and bottom axes,
  // Y1..Y0 on the left and right ones).
  void ZoomToRectangle();
  // Side axes to explicit ranges (horizontal: top, bottom; vertical: left, right), as
  // far as the zoom's Direction allows; saves the scales first when none are saved.
  void ZoomToValues(TAxisRange top, TAxisRange bottom, TAxisRange left, TAxisRange right);
  // Every side axis the zoom's Direction allows loses (percent - 100) % of its span at
  // each end: 133.333 leaves the middle third, 75 widens the span to 1.5 times.
  void ZoomPercent(double percent);
  // Restores the saved scales (when saved), then OnUndoZoom, repaint, ZoomedState off.
  void UndoZoom() override;
  bool ScalesUnsaved() const { return scalesUnsaved_; }
  // Pans the axes of one orientation from pixel a to pixel b; true when any moved.
  bool PanAxes(bool horizontal, int32_t a, int32_t b);

  // The control's mouse operations, callable without a window system event.
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  void MouseMove(TShiftState shift, int32_t x, int32_t y);
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  // One wheel notch: down scrolls the vertical axes' ranges up by 3 % of their span.
  void DoMouseWheelDown();
  void DoMouseWheelUp();

  // ---- events
  TChartAllowScrollEvent OnAllowScroll;
  TChartClickAxis OnClickAxis;
  TChartClick OnClickBackground;
  TChartClick OnClickLegend;
  TChartClickSeries OnClickSeries;
  TChartClickTitle OnClickTitle;
  // The control changed size (after the panel's own handling).
  std::function<void()> OnResize;

 protected:
  void AdjustRectForWalls() override;
  void PaintTitlesAndLegend(bool beforeSeries) override;
  void PaintWalls() override;

  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  // A second press in quick succession: the press again, with ssDouble.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void SaveScalesOnce();
  // The rubber band, drawn (or erased: it inverts) into the picture the next paint
  // shows, and that paint requested.
  void ShowZoomRectangle();
  // Runs a click event the house way: MouseHandled set before, read back after.
  bool RunClick(const std::function<void()>& event);
  bool StartDrags(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  bool AnyActiveSeriesUsesAxes() const;
  void ScrollVertical(bool down);

  TAllAxisSavedScales savedScales_;
  bool scalesUnsaved_ = true;
};

// The chart control that windows place: the complete chart under its published name.
class TChart : public TCustomChart {
 public:
  using TCustomChart::TCustomChart;
};

}  // namespace qira

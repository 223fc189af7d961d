#include "chart/engine/Chart.h"

#include <QResizeEvent>
#include <algorithm>
#include <cstdlib>

#include "chart/engine/ChartPalettes.h"  // Reaches up: ColorPaletteIndex gives the chart a named palette.
#include "chart/engine/LineSeries.h"
#include "platform/Canvas.h"
#include "platform/HandlerGuard.h"

namespace qira {

TCustomChart::TCustomChart(QWidget* parent)
    : TCustomAxisPanel(parent), Title(this), SubTitle(this), Foot(this), SubFoot(this), Walls(this), Legend(this) {
  SetRepaintEnabled(false);
  Legend.Groups = &SeriesGroups();
  ScrollMouseButton = mbRight;
  scalesUnsaved_ = true;
  SetRepaintEnabled(true);
}

TCustomChart::~TCustomChart() { SetRepaintEnabled(false); }

// ---------------------------------------------------------------- [SECTION] hooks

TColor TCustomChart::BackgroundColor() const {
  return Walls.Back.Transparent() ? TCustomAxisPanel::BackgroundColor() : Walls.Back.Color();
}

int32_t TCustomChart::WallThicknessFor(const TChartAxis& axis) const {
  if (!View3D() || !View3DWalls()) return 0;
  const TCustomChartWall* wall = &Walls.Back;
  if (&axis == &LeftAxis())
    wall = &Walls.Left;
  else if (&axis == &BottomAxis())
    wall = &Walls.Bottom;
  else if (&axis == &RightAxis())
    wall = &Walls.Right;
  return wall->Visible() ? wall->Size() : 0;
}

bool TCustomChart::ColorIsFree(TColor color, bool checkBackground, const TChartSeries* exceptSeries) const {
  for (int32_t i = 0; i < SeriesCount(); ++i) {
    const TChartSeries& s = Series(i);
    if (&s != exceptSeries && s.SeriesColor() == color) return false;
  }
  return !(checkBackground && (color == Color() || color == Walls.Back.Color()));
}

bool TCustomChart::AnyActiveSeriesUsesAxes() const {
  for (int32_t i = 0; i < SeriesCount(); ++i)
    if (Series(i).Active()) return Series(i).UseAxis();
  return true;  // a chart without active series shows its axes
}

void TCustomChart::AdjustRectForWalls() {
  TCustomAxisPanel::AdjustRectForWalls();
  if (View3D() && View3DOptions().Orthogonal()) {
    TRect r = ChartRect();
    const int32_t backSize = AnyActiveSeriesUsesAxes() ? Walls.Back.Size() : 0;
    const int32_t d = std::abs(DepthWidth) + backSize;
    if (View3DOptions().OrthoAngle() < 91) {
      r.Right -= d;
      if (Walls.Right.Visible()) r.Right -= Walls.Right.Size() + 1;
    } else {
      r.Left += d;
      if (Walls.Left.Visible()) r.Left += Walls.Left.Size() + 1;
    }
    r.Top += Walls.Back.Size() + std::abs(DepthHeight);
    SetChartRect(r);
  }
  RecalcChartRect();
}

void TCustomChart::PaintTitlesAndLegend(bool beforeSeries) {
  canvas_->Begin3DSuspension();
  TScopeExit resume([this] { canvas_->End3DSuspension(); });
  // Titles and legend at their default place draw (and take their room) before the
  // series, titles first; custom-positioned ones draw over the series, legend first.
  auto titles = [&] {
    for (TChartTitle* title : {&Title, static_cast<TChartTitle*>(&SubTitle), static_cast<TChartTitle*>(&Foot),
                               static_cast<TChartTitle*>(&SubFoot)})
      if (title->CustomPosition() != beforeSeries) title->DrawTitle();
  };
  const bool legend = Legend.CustomPosition() != beforeSeries && Legend.ShouldDraw();
  if (!beforeSeries && legend) Legend.Draw();
  titles();
  if (beforeSeries && legend) Legend.Draw();
  if (beforeSeries || !View3D() || !AnyActiveSeriesUsesAxes()) return;

  // Walls standing in front of the series come over them, with their axes; the
  // grid lines that lie on walls behind the series are not drawn over them again.
  auto redraw = [](TChartAxis& axis, bool& hide, bool gridOnly) {
    if (!axis.Shown()) return;
    hide = true;
    const TScopeExit show([&] { hide = false; });
    if (gridOnly)
      axis.DrawGrid();
    else
      axis.Draw(true);
  };
  const int32_t depth = DepthWidth;
  if (!WallSideTest(*this, ChartRect().Right, Walls.Back.Size())) {
    if (Walls.Right.WallShouldDraw()) Walls.Right.DrawWall();
    redraw(RightAxis(), RightAxis().HideBackGrid, false);
  }
  // The side test answers the other way for the left wall: True means in front.
  if (WallSideTest(*this, ChartRect().Left, Walls.Back.Size())) {
    if (Walls.Left.WallShouldDraw()) Walls.Left.DrawWall();
    redraw(LeftAxis(), LeftAxis().HideBackGrid, false);
  }
  if (IsDepthReversed(*this, depth)) {
    redraw(TopAxis(), TopAxis().HideSideGrid, true);
    redraw(BottomAxis(), BottomAxis().HideSideGrid, true);
    if (Walls.Back.WallShouldDraw()) Walls.Back.DrawWall();
  }
}

void TCustomChart::PaintWalls() {
  if (!AnyActiveSeriesUsesAxes()) return;
  const bool walls3D = View3D() && View3DWalls();
  const int32_t backSize = Walls.Back.Size();
  if (walls3D && Walls.Right.Visible() && WallSideTest(*this, ChartRect().Right, backSize)) Walls.Right.DrawWall();
  if (View3DWalls() && Walls.Back.Visible() && !IsDepthReversed(*this, DepthWidth)) Walls.Back.DrawWall();
  if (walls3D && Walls.Left.Visible() && !WallSideTest(*this, ChartRect().Left, backSize)) Walls.Left.DrawWall();
  if (walls3D && Walls.Bottom.Visible()) Walls.Bottom.DrawWall();
  if (IsDepthReversed(*this, 0)) {
    for (TChartAxis* axis : {&TopAxis(), &BottomAxis()})
      if (axis->Shown()) {
        axis->CalcAxisPositions();
        axis->Draw(true);
      }
  }
}

// --------------------------------------------------------------- [SECTION] series

std::string TCustomChart::LegendTextOfValue(const TChartSeries& series, int32_t index) const {
  std::string text = LegendString(series, index, Legend.TextStyle);
  if (Legend.OnGetLegendText)
    Legend.OnGetLegendText(const_cast<TChartLegend&>(Legend), lsValues, index, text);
  return text;
}

void TCustomChart::SetColorPaletteIndex(int32_t index) {
  if (index == ColorPaletteIndex) return;
  SetColorPalette(*this, index);
  // Series without a colour of their own take theirs from the new palette, in order.
  for (int32_t i = 0; i < SeriesCount(); ++i)
    if (Series(i).StoredColor() == clChartDefault) Series(i).AssignAutomaticColor(clChartDefault);
  for (int32_t i = 0; i < SeriesCount(); ++i)
    if (Series(i).StoredColor() == clChartDefault) Series(i).AssignAutomaticColor(GetFreeSeriesColor(true, &Series(i)));
}

void TCustomChart::PaintLegendSymbolBack(const TRect& rect) {
  if (!Legend.Symbol.Gradient.Visible() && !Legend.Symbol.Shadow.Visible()) {
    TCustomAxisPanel::PaintLegendSymbolBack(rect);
    return;
  }
  TChartCanvas3D& canvas = ChartCanvas();
  if (TCanvas* dc = canvas.GetHandle()) Legend.DrawPlainSymbol(canvas, rect, dc->Brush().Color);
}

std::vector<std::unique_ptr<TChartSeries>> TCustomChart::RemoveAllSeries() {
  std::vector<std::unique_ptr<TChartSeries>> removed;
  while (SeriesCount() > 0) removed.push_back(RemoveSeries(0));
  return removed;
}

TChartSeries* TCustomChart::FirstActiveSeries() const {
  for (int32_t i = 0; i < SeriesCount(); ++i)
    if (Series(i).Active()) return &Series(i);
  return nullptr;
}

void TCustomChart::FillValueSourceItems(const TChartSeries& series,
                                        const std::function<void(const std::string&)>& proc) const {
  if (series.DataSources().empty()) return;
  const TChartValueLists& lists = series.DataSources().front()->ValuesList();
  for (int32_t i = 0; i < lists.Count(); ++i) proc(lists[i].Name());
}

void TCustomChart::Assign(const TCustomChartPanel& source) {
  if (const auto* chart = dynamic_cast<const TCustomChart*>(&source)) {
    ColorPaletteIndex = chart->ColorPaletteIndex;
    Foot.Assign(chart->Foot);
    Legend.Assign(chart->Legend);
    ScrollMouseButton = chart->ScrollMouseButton;
    SubFoot.Assign(chart->SubFoot);
    SubTitle.Assign(chart->SubTitle);
    Title.Assign(chart->Title);
    Walls.Assign(chart->Walls);
  }
  TCustomAxisPanel::Assign(source);
}

// ---------------------------------------------------------------- [SECTION] layout

void TCustomChart::CalcChartLayout() {
  // Onto the control's own buffer: the canvas keeps the last destination it drew on,
  // so a scratch bitmap would leave it pointing at freed memory. The next paint then
  // shows this frame.
  const int32_t w = std::max(width(), 1), h = std::max(height(), 1);
  TBitmap& buffer = ControlCanvas();
  if (buffer.Width() != w || buffer.Height() != h) buffer.SetSize(w, h);
  Draw(buffer.Canvas(), TRect{0, 0, w, h});
}

void TCustomChart::resizeEvent(QResizeEvent* event) {
  TCustomAxisPanel::resizeEvent(event);
  Guarded(
      [this] {
        if (OnResize) OnResize();
      },
      TReportTime::rtAfterHandler);
}

}  // namespace qira

#include "chart/engine/ChartMouse.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "chart/draw/ChartRoutines.h"
#include "chart/engine/Chart.h"
#include "platform/HandlerGuard.h"

namespace qira {

// ----------------------------------------------------- [SECTION] range arithmetic

TAllAxisSavedScales SaveAxisScales(const std::vector<TChartAxis*>& axes) {
  TAllAxisSavedScales saved(axes.size());
  for (size_t i = 0; i < axes.size(); ++i) {
    const TChartAxis& axis = *axes[i];
    if (axis.IsDepthAxis()) continue;
    saved[i] = {axis.Automatic(), axis.AutomaticMinimum(), axis.AutomaticMaximum(), axis.Minimum(), axis.Maximum()};
  }
  return saved;
}

void RestoreAxisScales(const std::vector<TChartAxis*>& axes, const TAllAxisSavedScales& saved) {
  const size_t n = std::min(axes.size(), saved.size());
  for (size_t i = 0; i < n; ++i) {
    TChartAxis& axis = *axes[i];
    if (axis.IsDepthAxis()) continue;
    const TAxisSavedScale& s = saved[i];
    // The pair first (it clears the automatic flags), then the flags.
    axis.SetMinMax(s.Minimum, s.Maximum);
    axis.SetAutomatic(s.Automatic);
    axis.SetAutomaticMinimum(s.AutomaticMinimum);
    axis.SetAutomaticMaximum(s.AutomaticMaximum);
  }
}

TAxisRange ZoomPercentRange(double a, double b, double percent) {
  const double lo = std::min(a, b), hi = std::max(a, b);
  if (!std::isfinite(percent)) return {lo, hi};
  const double share = std::min((percent - 100) * 0.01, kMaxZoomEndShare);
  const double delta = (hi - lo) * share;
  return {lo + delta, hi - delta};
}

TAxisRange AxisPixelRange(const TChartAxis& axis) {
  // Set ends are read as set: a zoom right after another one, before a frame has
  // moved the pixels, starts from the range in force.
  if (axis.IAxisSize() < 1 || (!axis.AutomaticMinimum() && !axis.AutomaticMaximum()))
    return {axis.Minimum(), axis.Maximum()};
  const double a = axis.CalcPosPoint(axis.IStartPos()), b = axis.CalcPosPoint(axis.IEndPos());
  return {std::min(a, b), std::max(a, b)};
}

bool PanAxis(TCustomChart& chart, TChartAxis& axis, int32_t a, int32_t b, const TChartAllowScrollEvent& allow) {
  const double delta = axis.CalcPosPoint(a) - axis.CalcPosPoint(b);
  // The range in force: an automatic end shows what the last frame computed; a set
  // end its value, also when moves come faster than frames.
  double aMin = (axis.AutomaticMinimum() ? axis.MinAxis() : axis.Minimum()) + delta;
  double aMax = (axis.AutomaticMaximum() ? axis.MaxAxis() : axis.Maximum()) + delta;
  bool allowed = true;
  if (allow) allow(chart, axis, aMin, aMax, allowed);
  if (!allowed) return false;
  axis.SetMinMax(aMin, aMax);
  return true;
}

// ---------------------------------------------------------- [SECTION] zoom and pan

void TCustomChart::SaveScalesOnce() {
  if (!scalesUnsaved_) return;
  savedScales_ = SaveAxisScales(AxesList());
  scalesUnsaved_ = false;
}

void TCustomChart::ZoomToRectangle() {
  TChartZoom& zoom = Zoom();
  zoom.OrderCorners();
  auto horizontal = [&](const TChartAxis& axis) {
    return TAxisRange{axis.CalcPosPoint(zoom.X0), axis.CalcPosPoint(zoom.X1)};
  };
  auto vertical = [&](const TChartAxis& axis) {
    return TAxisRange{axis.CalcPosPoint(zoom.Y1), axis.CalcPosPoint(zoom.Y0)};
  };
  ZoomToValues(horizontal(TopAxis()), horizontal(BottomAxis()), vertical(LeftAxis()), vertical(RightAxis()));
}

void TCustomChart::ZoomToValues(TAxisRange top, TAxisRange bottom, TAxisRange left, TAxisRange right) {
  SaveScalesOnce();
  const TChartZoom& zoom = Zoom();
  const bool doVertical = zoom.Direction != tzdHorizontal;
  const bool doHorizontal = zoom.Direction != tzdVertical;
  struct Target {
    TChartAxis* Axis;
    TAxisRange Range;
    bool Applies;
  };
  const Target targets[] = {{&LeftAxis(), left, doVertical},
                            {&RightAxis(), right, doVertical},
                            {&TopAxis(), top, doHorizontal},
                            {&BottomAxis(), bottom, doHorizontal}};
  if (zoom.Animated) {
    for (int32_t step = 1; step < zoom.AnimatedSteps; ++step) {
      for (const Target& t : targets) {
        if (!t.Applies) continue;
        const double lo = t.Axis->Minimum(), hi = t.Axis->Maximum();
        t.Axis->SetMinMax(lo + (t.Range.Min - lo) / 3, hi - (hi - t.Range.Max) / 3);
      }
      if (isVisible()) repaint();
    }
  }
  for (const Target& t : targets)
    if (t.Applies) t.Axis->SetMinMax(t.Range.Min, t.Range.Max);
  ZoomedState = true;
  if (OnZoom) OnZoom();
}

void TCustomChart::ZoomPercent(double percent) {
  const TChartZoomDirection direction = Zoom().Direction;
  auto target = [&](const TChartAxis& axis) {
    const TAxisRange r = AxisPixelRange(axis);
    const bool applies = axis.Horizontal() ? direction != tzdVertical : direction != tzdHorizontal;
    return applies ? ZoomPercentRange(r.Min, r.Max, percent) : r;
  };
  ZoomToValues(target(TopAxis()), target(BottomAxis()), target(LeftAxis()), target(RightAxis()));
  Invalidate();
}

void TCustomChart::UndoZoom() {
  if (!scalesUnsaved_) {
    RestoreAxisScales(AxesList(), savedScales_);
    savedScales_.clear();
    scalesUnsaved_ = true;
  }
  TCustomAxisPanel::UndoZoom();
}

bool TCustomChart::PanAxes(bool horizontal, int32_t a, int32_t b) {
  if (a == b) return false;
  if (AllowPanning != pmBoth && AllowPanning != (horizontal ? pmHorizontal : pmVertical)) return false;
  bool any = false;
  const std::vector<TChartAxis*> axes = AxesList();
  for (TChartAxis* axis : axes)
    if (!axis->IsDepthAxis() && axis->Horizontal() == horizontal && PanAxis(*this, *axis, a, b, OnAllowScroll))
      any = true;
  return any;
}

void TCustomChart::ScrollVertical(bool down) {
  if (!WheelScrolling || (AllowPanning != pmVertical && AllowPanning != pmBoth)) return;
  const std::vector<TChartAxis*> axes = AxesList();
  for (TChartAxis* axis : axes) {
    if (axis->IsDepthAxis() || axis->Horizontal()) continue;
    double delta = (axis->Maximum() - axis->Minimum()) * 3 * 0.01;
    if (!down) delta = -delta;
    if (OnAllowScroll) {
      double aMin = axis->Minimum() + delta, aMax = axis->Maximum() + delta;
      bool allowed = true;
      OnAllowScroll(*this, *axis, aMin, aMax, allowed);
      if (!allowed) continue;
    }
    axis->Scroll(delta, false);
  }
}

void TCustomChart::DoMouseWheelDown() {
  ScrollVertical(true);
  const TPoint at = CursorClientPos();
  Tools().WheelEvent(ctwDown, 0, at.X, at.Y);
}

void TCustomChart::DoMouseWheelUp() {
  ScrollVertical(false);
  const TPoint at = CursorClientPos();
  Tools().WheelEvent(ctwUp, 0, at.X, at.Y);
}

// ------------------------------------------------------- [SECTION] rubber band

void TCustomChart::ShowZoomRectangle() {
  // A paint copies the canvas buffer onto the control while that buffer is
  // current, so the band goes into the buffer; a stale buffer is drawn again
  // whole, band included, and the band drawn into the control meanwhile does no harm.
  TChartCanvas3D& canvas = ChartCanvas();
  TBitmap* buffer = canvas.GetUseBuffer() && !canvas.BufferDirty() ? canvas.Buffer() : nullptr;
  TCanvas* const previous = canvas.GetHandle();
  if (buffer != nullptr) canvas.RestoreHandle(&buffer->Canvas());
  const TScopeExit restore([&] {
    if (buffer != nullptr) canvas.RestoreHandle(previous);
  });
  DrawZoomRectangle();
  update();
}

// ------------------------------------------------------------- [SECTION] hit test

namespace {
bool Inside(const TRect& r, int32_t x, int32_t y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }
}  // namespace

TChartClickedPart TCustomChart::HitTestPart(int32_t x, int32_t y, bool onlyClickable) const {
  TChartClickedPart result;
  auto legendItem = [&](bool customPosition) {
    return Legend.Visible() && Legend.CustomPosition() == customPosition ? Legend.Clicked(x, y) : -1;
  };
  if (const int32_t item = legendItem(true); item >= 0) return {cpLegend, item, nullptr, nullptr};
  for (int32_t i = SeriesCount() - 1; i >= 0; --i) {
    TChartSeries& s = Series(i);
    if (!s.Active() || (onlyClickable && !s.HasClickEvents() && !OnClickSeries)) continue;
    if (const int32_t index = s.Clicked(x, y); index >= 0) return {cpSeries, index, &s, nullptr};
    if (s.Marks().Visible()) {
      const int32_t index = s.Marks().Clicked(x, y);
      if (index >= 0) return {cpSeriesMarks, index, &s, nullptr};
    }
  }
  for (TChartAxis* axis : AxesList()) {
    if (axis->Clicked(x, y)) return {cpAxis, -1, nullptr, axis};
    if (axis->Title.Visible() && !axis->Title.Caption.empty() && axis->Title.Clicked(x, y))
      return {cpAxisTitle, -1, nullptr, axis};
  }
  if (const int32_t item = legendItem(false); item >= 0) return {cpLegend, item, nullptr, nullptr};
  if (Title.Clicked(x, y)) return {cpTitle, -1, nullptr, nullptr};
  if (SubTitle.Clicked(x, y)) return {cpSubTitle, -1, nullptr, nullptr};
  if (Foot.Clicked(x, y)) return {cpFoot, -1, nullptr, nullptr};
  if (SubFoot.Clicked(x, y)) return {cpSubFoot, -1, nullptr, nullptr};
  if (Inside(ChartRect(), x, y) && FirstActiveSeries() != nullptr) result.Part = cpChartRect;
  return result;
}

// ---------------------------------------------------------------- [SECTION] hover

namespace {
// The class library's standard cursor numbers a series may name.
constexpr int32_t crCross = -3;
constexpr int32_t crDrag = -12;
constexpr int32_t crHandPoint = -21;

Qt::CursorShape ChartCursorShape(int32_t cursor) {
  switch (cursor) {
    case crChartHand:
    case crHandPoint: return Qt::PointingHandCursor;
    case crCross: return Qt::CrossCursor;
    case crDrag: return Qt::DragMoveCursor;
    default: return Qt::ArrowCursor;
  }
}
}  // namespace

bool TCustomAxisPanel::CheckMouseOverSeries(int32_t x, int32_t y) {
  bool over = false;
  for (int32_t i = SeriesCount() - 1; i >= 0; --i) {
    TChartSeries& s = Series(i);
    if (!s.Active() || !s.MouseMoveCheck(x, y)) continue;
    over = true;
    if (s.Cursor != 0) setCursor(ChartCursorShape(s.Cursor));
  }
  return over;
}

void TCustomAxisPanel::RestoreCursorShownFor(int32_t seriesCursor) {
  if (cursor().shape() == ChartCursorShape(seriesCursor)) RestoreSavedCursor();
}

// ---------------------------------------------------------------- [SECTION] mouse

bool TCustomChart::RunClick(const std::function<void()>& event) {
  MouseHandled = true;
  event();
  return MouseHandled;
}

bool TCustomChart::StartDrags(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  bool useAxes = FirstActiveSeries() == nullptr;
  for (int32_t i = 0; i < SeriesCount() && !useAxes; ++i)
    useAxes = Series(i).Active() && Series(i).UseAxis();
  if (!useAxes) return false;
  bool started = false;
  TChartZoom& zoom = Zoom();
  const TRect r = ChartRect();
  if (zoom.Allow && button == zoom.MouseButton && (shift & zoom.KeyShift) == zoom.KeyShift) {
    zoom.Activate(zoom.Direction == tzdVertical ? r.Left : x, zoom.Direction == tzdHorizontal ? r.Top : y);
    if (zoom.Direction == tzdVertical) zoom.X1 = r.Right;
    if (zoom.Direction == tzdHorizontal) zoom.Y1 = r.Bottom;
    ShowZoomRectangle();
    started = true;
  }
  if (AllowPanning != pmNone && button == ScrollMouseButton && (shift & PanningKeyShift) == PanningKeyShift) {
    Panning().Activate(x, y);
    started = true;
  }
  if (started) RestoreSavedCursor();
  return started;
}

void TCustomChart::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (MouseHandled || Zoom().Active || Panning().Active) return;
  MouseHandled = false;
  if (Tools().MouseEvent(ctmDown, button, shift, x, y)) {
    MouseHandled = false;
    return;
  }
  const TChartClickedPart part = HitTestPart(x, y, true);
  bool handled = false;
  auto background = [&] {
    if (OnClickBackground) handled = RunClick([&] { OnClickBackground(*this, button, shift, x, y); });
  };
  switch (part.Part) {
    case cpLegend:
      handled = Legend.CheckBoxesInUse() && Legend.DoCheck(part.PointIndex);
      if (OnClickLegend) handled = RunClick([&] { OnClickLegend(*this, button, shift, x, y); });
      break;
    case cpAxis:
      if (OnClickAxis) handled = RunClick([&] { OnClickAxis(*this, *part.AAxis, button, shift, x, y); });
      if (!handled) handled = StartDrags(button, shift, x, y);
      break;
    case cpSeries: {
      TChartSeries& series = *part.ASeries;
      const TChartSeries::TSeriesClick& click = (shift & ssDouble) != 0 ? series.OnDblClick : series.OnClick;
      MouseHandled = false;
      if (click) click(series, part.PointIndex, button, shift, x, y);
      handled = MouseHandled;
      if (OnClickSeries)
        handled = RunClick([&] { OnClickSeries(*this, series, part.PointIndex, button, shift, x, y); });
      if (!handled) handled = StartDrags(button, shift, x, y);
      break;
    }
    case cpTitle:
    case cpSubTitle:
    case cpFoot:
    case cpSubFoot: {
      TChartTitle& title = part.Part == cpTitle ? Title
                           : part.Part == cpSubTitle ? SubTitle
                           : part.Part == cpFoot     ? static_cast<TChartTitle&>(Foot)
                                                     : static_cast<TChartTitle&>(SubFoot);
      if (OnClickTitle) handled = RunClick([&] { OnClickTitle(*this, title, button, shift, x, y); });
      if (!handled) handled = StartDrags(button, shift, x, y);
      break;
    }
    case cpChartRect:
      // The background event hears a press in the chart rectangle once: before the
      // drags, which start only when its handler let the press go on.
      background();
      if (!handled) handled = StartDrags(button, shift, x, y);
      break;
    default:
      break;
  }
  if (!handled && part.Part != cpChartRect) background();
  MouseHandled = false;
}

void TCustomChart::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  Tools().MouseEvent(ctmMove, mbLeft, shift, x, y);
  if (MouseHandled) return;
  TChartZoom& zoom = Zoom();
  const TRect r = ChartRect();
  if (zoom.Active) {
    const int32_t cx = zoom.Direction == tzdVertical ? r.Right : x;
    const int32_t cy = zoom.Direction == tzdHorizontal ? r.Bottom : y;
    if (cx != zoom.X1 || cy != zoom.Y1) {
      ShowZoomRectangle();
      zoom.X1 = cx;
      zoom.Y1 = cy;
      ShowZoomRectangle();
    }
    return;
  }
  TZoomPanning& panning = Panning();
  if (!panning.Active) {
    if (!CheckMouseOverSeries(x, y)) RestoreSavedCursor();
    return;
  }
  if (!Inside(r, x, y)) {
    panning.Active = false;
    return;
  }
  if (x == panning.X1 && y == panning.Y1) return;
  SaveScalesOnce();
  const bool movedX = PanAxes(true, panning.X1, x);
  const bool movedY = PanAxes(false, panning.Y1, y);
  panning.X1 = x;
  panning.Y1 = y;
  if ((movedX || movedY) && OnScroll) OnScroll();
}

void TCustomChart::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  (void)shift;
  TChartZoom& zoom = Zoom();
  if (zoom.Active && button == zoom.MouseButton) {
    zoom.Active = false;
    ShowZoomRectangle();
    if (TCanvas* dc = ChartCanvas().GetHandle()) dc->SetPenMode(pmCopy);
    if (zoom.Direction != tzdVertical) zoom.X1 = x;
    if (zoom.Direction != tzdHorizontal) zoom.Y1 = y;
    const bool wide = zoom.Direction == tzdVertical || std::abs(zoom.X1 - zoom.X0) > zoom.MinimumPixels;
    const bool tall = zoom.Direction == tzdHorizontal || std::abs(zoom.Y1 - zoom.Y0) > zoom.MinimumPixels;
    if (wide && tall) {
      const bool backwards = zoom.Direction == tzdVertical ? zoom.Y1 <= zoom.Y0 : zoom.X1 <= zoom.X0;
      if (!zoom.UpLeftZooms && backwards)
        UndoZoom();
      else
        ZoomToRectangle();
      Invalidate();
    }
  }
  Panning().Active = false;
  Tools().MouseEvent(ctmUp, button, shift, x, y);
}

// ------------------------------------------------------ [SECTION] window system


void TCustomChart::mousePressEvent(QMouseEvent* e) {
  TCustomAxisPanel::mousePressEvent(e);
  const QPoint p = e->position().toPoint();
  Guarded([&] { MouseDown(ChartMouseButton(e->button()), ChartShiftState(e), p.x(), p.y()); });
}

void TCustomChart::mouseMoveEvent(QMouseEvent* e) {
  TCustomAxisPanel::mouseMoveEvent(e);
  const QPoint p = e->position().toPoint();
  Guarded([&] { MouseMove(ChartShiftState(e), p.x(), p.y()); });
}

void TCustomChart::mouseReleaseEvent(QMouseEvent* e) {
  MouseHandled = false;
  TCustomAxisPanel::mouseReleaseEvent(e);
  const QPoint p = e->position().toPoint();
  Guarded([&] { MouseUp(ChartMouseButton(e->button()), ChartShiftState(e), p.x(), p.y()); });
}

void TCustomChart::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second press of a double click is a press with ssDouble, not a plain one
  // (the default handling would report it as a plain press).
  TCustomAxisPanel::mousePressEvent(e);
  const QPoint p = e->position().toPoint();
  Guarded([&] { MouseDown(ChartMouseButton(e->button()), ChartShiftState(e) | ssDouble, p.x(), p.y()); });
}

void TCustomChart::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  Guarded([&] {
    const QPoint at = e->position().toPoint();
    Tools().WheelEvent(ctwWheel, delta, at.x(), at.y());
    if (delta < 0)
      DoMouseWheelDown();
    else if (delta > 0)
      DoMouseWheelUp();
  });
  e->accept();
}

}  // namespace qira

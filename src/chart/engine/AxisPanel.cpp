#include "chart/engine/AxisPanel.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/GdiChartCanvas.h"
#include "platform/CanvasColors.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"

namespace qira {

TCustomAxisPanel::TCustomAxisPanel(QWidget* parent) : TCustomChartPanelExtended(parent) {
  // No frame is painted while the axes are made.
  SetRepaintEnabled(false);
  fBottomAxis = std::make_unique<TChartAxis>(*this, true);
  fTopAxis = std::make_unique<TChartAxis>(*this, true, true);
  fTopAxis->Grid.SetZPosition(100);
  fLeftAxis = std::make_unique<TChartAxis>(*this);
  fLeftAxis->Title.SetAngle(90);
  fRightAxis = std::make_unique<TChartAxis>(*this, false, true);
  fRightAxis->Title.SetAngle(270);
  fRightAxis->Grid.SetZPosition(100);
  fDepthAxis = std::make_unique<TChartDepthAxis>(*this, true);
  fDepthTopAxis = std::make_unique<TChartDepthAxis>(*this);
  SetRepaintEnabled(true);
}

namespace {
std::atomic<int64_t> gSeriesListSteps{0};
}  // namespace

int64_t SeriesListStepsForTesting() { return gSeriesListSteps.load(); }

TChartSeriesList::~TChartSeriesList() {
  // Last first, each told it has no chart before it goes.
  while (!empty()) Take(size() - 1)->SetParentChart(nullptr);
}

TChartSeries& TChartSeriesList::Append(std::unique_ptr<TChartSeries> series) {
  fHeld.insert(series.get());
  push_back(series.get());
  fOwned.push_back(std::move(series));
  return *back();
}

std::unique_ptr<TChartSeries> TChartSeriesList::Take(size_t index) {
  std::unique_ptr<TChartSeries> series = std::move(fOwned[index]);
  gSeriesListSteps.fetch_add(static_cast<int64_t>(fOwned.size() - index), std::memory_order_relaxed);
  fHeld.erase(series.get());
  fOwned.erase(fOwned.begin() + static_cast<std::ptrdiff_t>(index));
  erase(begin() + static_cast<std::ptrdiff_t>(index));
  // A group must not keep a series that may be freed once it has left the list.
  for (int32_t g = 0; g < fGroups.Count(); ++g) std::erase(fGroups[g].Series, series.get());
  return series;
}

void TChartSeriesList::Forget(const TChartSeries& series) {
  if (!Holds(&series)) return;
  const auto it = std::find(begin(), end(), &series);
  gSeriesListSteps.fetch_add(it - begin() + 1, std::memory_order_relaxed);
  Take(static_cast<size_t>(it - begin())).release();
}

TCustomAxisPanel::~TCustomAxisPanel() {
  // The axes unregister through fAxesList, which must still be alive. The series
  // go first, without notifications: the chart around them is being taken down.
  SetRepaintEnabled(false);
  while (!fSeries.empty()) fSeries.Take(fSeries.size() - 1)->SetParentChart(nullptr);
  fCustomAxes.clear();
  fDepthTopAxis.reset();
  fDepthAxis.reset();
  fRightAxis.reset();
  fLeftAxis.reset();
  fTopAxis.reset();
  fBottomAxis.reset();
}

// ---- axes

void TCustomAxisPanel::AxisCreated(TChartAxis& axis) { fAxesList.push_back(&axis); }

void TCustomAxisPanel::AxisDestroyed(TChartAxis& axis) {
  for (TChartSeries* s : fSeries) {
    if (s->GetHorizAxis() == &axis && s->HorizAxis() == aCustomHorizAxis) s->SetCustomHorizAxis(nullptr);
    if (s->GetVertAxis() == &axis && s->VertAxis() == aCustomVertAxis) s->SetCustomVertAxis(nullptr);
  }
  std::erase(fAxesList, &axis);
}

TChartAxis& TCustomAxisPanel::AddCustomAxis(bool horizontal, bool otherSide) {
  fCustomAxes.push_back(std::make_unique<TChartAxis>(*this, horizontal, otherSide));
  Invalidate();
  return *fCustomAxes.back();
}

void TCustomAxisPanel::RemoveCustomAxis(TChartAxis& axis) {
  std::erase_if(fCustomAxes, [&](const auto& a) { return a.get() == &axis; });
  Invalidate();
}

bool TCustomAxisPanel::IsAxisVisible(const TChartAxis& axis) const {
  if (!fAxisVisible || !axis.Visible()) return false;
  if (axis.IsDepthAxis()) return View3D();
  for (const TChartSeries* s : fSeries) {
    if (!s->Active()) continue;
    if (!s->UseAxis()) return false;
    if (s->AssociatedToAxis(axis)) return true;
  }
  return false;
}

// ---- pages

void TChartPage::SetAutoScale(bool value) { fPanel.ChangeBoolean(fAutoScale, value); }
void TChartPage::SetScaleLastPage(bool value) { fPanel.ChangeBoolean(fScaleLastPage, value); }

void TChartPage::Broadcast() {
  TChartChangePage event;
  event.Sender = &fPanel;
  fPanel.BroadcastChartEvent(event);
}

void TChartPage::SetCurrent(int32_t value) {
  value = std::clamp(value, 1, NumPages());
  if (value == fCurrent) return;
  fPanel.ChangeInteger(fCurrent, value);
  Broadcast();
  if (fPanel.OnPageChange) fPanel.OnPageChange();
}

void TChartPage::SetMaxPointsPerPage(int32_t value) {
  if (value < 0) throw ChartException(std::string(ChartMsg::MaxPointsPerPage));
  fPanel.ChangeInteger(fMaxPointsPerPage, value);
  if (NumPages() < fCurrent) fPanel.ChangeInteger(fCurrent, NumPages());
  Broadcast();
}

int32_t TChartPage::NumPages() const {
  if (fMaxPointsPerPage < 1 || fPanel.SeriesCount() == 0) return 1;
  const bool horizontal = fPanel.Series(0).YMandatory();
  const TChartAxis& a = horizontal ? fPanel.BottomAxis() : fPanel.LeftAxis();
  const TChartAxis& b = horizontal ? fPanel.TopAxis() : fPanel.RightAxis();
  int32_t pages = 1;
  for (const TChartAxis* axis : {&a, &b}) {
    int32_t n = 0;
    for (int32_t i = 0; i < fPanel.SeriesCount(); ++i) {
      const TChartSeries& s = fPanel.Series(i);
      if (s.Active() && s.AssociatedToAxis(*axis)) n = std::max(n, s.Count());
    }
    if (n >= 1) pages = std::max(pages, (n + fMaxPointsPerPage - 1) / fMaxPointsPerPage);
  }
  return pages;
}

void TChartPage::Assign(const TChartPage& source) {
  fAutoScale = source.fAutoScale;
  fCurrent = source.fCurrent;
  fMaxPointsPerPage = source.fMaxPointsPerPage;
  fScaleLastPage = source.fScaleLastPage;
}

double TCustomAxisPanel::MaxValueOfAxis(const TChartAxis& axis, bool isMin, bool horizontal) const {
  if (axis.IsDepthAxis()) {
    if (axis.LabelStyleInForce() != talValue) return isMin ? -0.5 : fMaxZOrder + 0.5;
    bool first = true;
    double result = 0;
    for (const TChartSeries* s : fSeries) {
      if (!s->Active()) continue;
      const double v = isMin ? s->MinZValue() : s->MaxZValue();
      if (first || (isMin ? v < result : v > result)) result = v;
      first = false;
    }
    return result;
  }
  const bool anyActive = std::any_of(fSeries.begin(), fSeries.end(),
                                     [&](const TChartSeries* s) { return s->Active() && s->AssociatedToAxis(axis); });
  const int32_t perPage = fPage.MaxPointsPerPage();
  const TChartSeries* ofAxis = SeriesOfAxis(axis);
  const bool carriesX = ofAxis && !ofAxis->YMandatory() ? !horizontal : horizontal;
  if (perPage > 0 && carriesX) {
    const TChartSeries* most = SeriesWithMostPoints(axis);
    if (most && most->Count() > 0) {
      int32_t firstIndex = 0, lastIndex = 0;
      most->CalcFirstLastPage(firstIndex, lastIndex);
      const TChartValueList& list = horizontal ? most->XValues() : most->YValues();
      const double low = list.Value(firstIndex), high = list.Value(lastIndex);
      if (isMin) return low;
      const int32_t count = lastIndex - firstIndex + 1;
      if (!fPage.ScaleLastPage() && count < perPage)
        return low == high ? low + static_cast<double>(perPage) / count
                           : low + static_cast<double>(perPage) * (high - low) / count;
      return high;
    }
  }
  bool first = true;
  double result = 0;
  for (const TChartSeries* s : fSeries) {
    if (s->Count() == 0 || !s->AssociatedToAxis(axis) || (anyActive && !s->Active())) continue;
    double v;
    if (perPage > 0 && fPage.AutoScale()) {
      int32_t a = 0, b = 0;
      s->CalcFirstLastPage(a, b);
      const TChartValueList& list = horizontal ? s->XValues() : s->YValues();
      v = list.Value(a);
      for (int32_t i = a; i <= b; ++i) v = isMin ? std::min(v, list.Value(i)) : std::max(v, list.Value(i));
    } else {
      v = horizontal ? (isMin ? s->MinXValue() : s->MaxXValue()) : (isMin ? s->MinYValue() : s->MaxYValue());
    }
    if (first || (isMin ? v < result : v > result)) result = v;
    first = false;
  }
  return result;
}

// ---- series

TChartSeries& TCustomAxisPanel::AddSeries(std::unique_ptr<TChartSeries> owned) {
  TChartSeries& series = *owned;
  // Already ours: the list holds it, and so does the caller's pointer by mistake.
  if (Holds(&series)) return *owned.release();
  if (IAxisPanel* old = series.ParentChart(); old && old != this) {
    if (auto* panel = dynamic_cast<TCustomAxisPanel*>(old)) panel->RemoveSeries(series).release();
  }
  fSeries.Append(std::move(owned));
  series.SetParentChart(this);
  TChartSeriesEvent event;
  event.Sender = this;
  event.Event = TChartSeriesEvent::seAdd;
  event.Series = &series;
  BroadcastChartEvent(event);
  if (OnAddSeries) OnAddSeries(series);
  Invalidate();
  return series;
}

std::unique_ptr<TChartSeries> TCustomAxisPanel::RemoveSeries(TChartSeries& series) {
  if (!Holds(&series)) return nullptr;
  const auto it = std::find(fSeries.begin(), fSeries.end(), &series);
  gSeriesListSteps.fetch_add(it - fSeries.begin() + 1, std::memory_order_relaxed);
  return RemoveSeries(static_cast<int32_t>(it - fSeries.begin()));
}

std::unique_ptr<TChartSeries> TCustomAxisPanel::RemoveSeries(int32_t index) {
  if (index < 0 || index >= SeriesCount()) return nullptr;
  TChartSeries& series = *fSeries[static_cast<size_t>(index)];
  TChartSeriesEvent event;
  event.Sender = this;
  event.Event = TChartSeriesEvent::seRemove;
  event.Series = &series;
  BroadcastChartEvent(event);
  series.SetParentChart(nullptr);
  std::unique_ptr<TChartSeries> owned = fSeries.Take(static_cast<size_t>(index));
  if (OnRemoveSeries) OnRemoveSeries(series);
  Invalidate();
  return owned;
}

void TCustomAxisPanel::RemoveAllSeries(TChartSeriesClass ofClass) {
  // Last first: each leaves the end of the list, and none behind it moves.
  for (int32_t i = SeriesCount() - 1; i >= 0; --i) {
    if (i >= SeriesCount()) continue;  // a handler removed others
    if (ofClass == nullptr || ofClass(Series(i))) RemoveSeries(i);
  }
}

void TCustomAxisPanel::ValidateSource(const TChartSeries& series, const TChartSeries& source) {
  std::vector<const TChartSeries*> pending{&source};
  for (size_t i = 0; i < pending.size(); ++i) {
    if (pending[i] == &series) throw ChartException(std::string(ChartMsg::CircularSeries));
    for (const TChartSeries* s : pending[i]->DataSources())
      if (std::find(pending.begin(), pending.end(), s) == pending.end()) pending.push_back(s);
  }
}

void TCustomAxisPanel::SeriesDestroyed(IChartSeries& series) {
  if (const auto* s = dynamic_cast<const TChartSeries*>(&series)) fSeries.Forget(*s);
  Invalidate();
}

TChartSeries* TCustomAxisPanel::SeriesOfAxis(const TChartAxis& axis) const {
  TChartSeries* inactive = nullptr;
  for (TChartSeries* s : fSeries) {
    if (!s->AssociatedToAxis(axis)) continue;
    if (s->Active()) return s;
    if (!inactive) inactive = s;
  }
  return inactive;
}

TChartSeries* TCustomAxisPanel::SeriesWithMostPoints(const TChartAxis& axis) const {
  const bool anyActive = std::any_of(fSeries.begin(), fSeries.end(),
                                     [&](const TChartSeries* s) { return s->Active() && s->AssociatedToAxis(axis); });
  TChartSeries* most = nullptr;
  for (TChartSeries* s : fSeries) {
    if (!s->AssociatedToAxis(axis) || (anyActive && !s->Active())) continue;
    if (!most || s->Count() > most->Count()) most = s;
  }
  return most;
}

TChartSeries* TCustomAxisPanel::SeriesLegend(int32_t index, bool onlyActive) const {
  for (TChartSeries* s : fSeries) {
    if (!s->ShowInLegend || (onlyActive && !s->Active())) continue;
    if (index-- == 0) return s;
  }
  return nullptr;
}

std::string TCustomAxisPanel::SeriesTitleLegend(int32_t index, bool onlyActive) const {
  const TChartSeries* s = SeriesLegend(index, onlyActive);
  return s ? s->TitleForDisplay() : std::string();
}

int32_t TCustomAxisPanel::MaxValuesCount() const {
  int32_t result = 0;
  for (const TChartSeries* s : fSeries)
    if (s->Active()) result = std::max(result, s->Count());
  return result;
}

int32_t TCustomAxisPanel::MaxMarkWidth() const {
  int32_t widest = 0;
  for (TChartSeries* s : fSeries)
    if (s->Active()) widest = std::max(widest, s->MaxMarkWidth());
  return widest;
}

int32_t TCustomAxisPanel::MaxXLabelsWidth() const {
  int32_t widest = 0;
  for (const TChartSeries* s : fSeries)
    for (int32_t i = 0; i < s->Count(); ++i) {
      int32_t lines = 0;
      const std::string label = s->Label(i);
      if (!label.empty()) widest = std::max(widest, MultiLineTextWidth(label, lines));
    }
  return widest;
}

void TCustomAxisPanel::AssignFreeColors() {
  const std::vector<TChartSeries*> series = fSeries;
  for (TChartSeries* s : series)
    if (s->StoredColor() == clChartDefault) s->SetSeriesColor(GetFreeSeriesColor(true, s));
}

void TCustomAxisPanel::PaintLegendSymbolBack(const TRect& rect) {
  TCanvas* dc = canvas_->GetHandle();
  if (dc == nullptr) return;
  canvas_->RectangleRect(rect);
  const TColor legend = SystemColorToRGB(LegendColor);
  if (LegendColor == clNone || dc->Brush().Color != legend) return;
  // A symbol in the legend's own colour would vanish: only its frame shows.
  const TColor pen = dc->Pen().Color;
  dc->SetBrushStyle(bsClear);
  if (legend == clBlack) dc->SetPenColor(clWhite);
  canvas_->RectangleRect(rect);
  dc->SetPenColor(pen);
}

bool TCustomAxisPanel::ColorIsFree(TColor color, bool, const TChartSeries* series) const {
  return std::none_of(fSeries.begin(), fSeries.end(),
                      [&](const TChartSeries* s) { return s != series && s->SeriesColor() == color; });
}

TColor TCustomAxisPanel::GetFreeSeriesColor(bool checkBackground, const TChartSeries* series) const {
  const int32_t tries = ColorPalette.empty() ? 20 : static_cast<int32_t>(ColorPalette.size());
  for (int32_t i = 0; i < tries; ++i) {
    const TColor c = GetDefaultColor(i);
    if (ColorIsFree(c, checkBackground, series)) return c;
  }
  return GetDefaultColor(0);
}

// ---- text measures

int32_t TCustomAxisPanel::MultiLineTextWidth(const std::string& text, int32_t& lines) const {
  int32_t widest = 0;
  lines = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\r', start), text.size());
    widest = std::max(widest, canvas_->TextWidth(std::string_view(text).substr(start, end - start)));
    ++lines;
    start = end + 1;
  }
  return widest;
}

int32_t TCustomAxisPanel::CanvasFontHeight() const { return canvas_->FontHeight(); }

// ---- settings

void TCustomAxisPanel::SetChart3DPercent(int32_t value) {
  if (value < 1 || value > 100) {
    char text[128];
    std::snprintf(text, sizeof text, std::string(ChartMsg::Chart3DPercent).c_str(), 1, 100);
    throw ChartException(text);
  }
  ChangeInteger(fChart3DPercent, value);
}

// ---- the frame

void TCustomAxisPanel::CalcSize3D() {
  if (!View3D()) {
    DepthWidth = DepthHeight = fSeriesDepth = fSeriesHeight = 0;
    return;
  }
  double factor = fChart3DPercent * 0.01;
  if (!View3DOptions().Orthogonal()) factor *= 2;
  int32_t seriesDepth = RoundToInt(ChartRectWidth() * factor);
  const double zoom = View3DOptions().ZoomFloat() * 0.01;
  if (zoom > 1) seriesDepth = RoundToInt(seriesDepth / zoom);
  const int32_t seriesHeight = RoundToInt(seriesDepth * zoom);
  fSeriesDepth = seriesDepth;
  fSeriesHeight = seriesHeight;
  const int32_t multiplier = ZOrdering() ? std::max(1, RoundToInt(fMaxZOrder + 1)) : 1;
  DepthWidth = SaturateCast<int32_t>(static_cast<double>(seriesDepth) * multiplier);
  DepthHeight = SaturateCast<int32_t>(static_cast<double>(seriesHeight) * multiplier);
}

void TCustomAxisPanel::CalcZOrders() {
  const std::vector<TChartSeries*> series = fSeries;
  fMaxZOrder = 0;
  if (!View3D() || !ZOrdering()) {
    for (TChartSeries* s : series) s->SetComputedZOrder(0);
    return;
  }
  fMaxZOrder = -1;
  for (TChartSeries* s : series)
    if (s->Active()) s->CalcZOrder();
  if (!fDepthAxis->Inverted())
    for (TChartSeries* s : series)
      if (s->Active() && s->ZOrder() == -1) s->SetComputedZOrder(fMaxZOrder - s->ComputedZOrder());
  fMaxZOrder = std::max(fMaxZOrder, 0);
}

void TCustomAxisPanel::LayoutAxes() {
  for (TChartAxis* axis : fAxesList) {
    axis->SetShown(IsAxisVisible(*axis));
    axis->AdjustMaxMin();
  }
  for (TChartAxis* axis : fAxesList) axis->CalcAxisPositions();
  TRect work = ChartRect();
  const std::vector<TChartAxis*> axes = fAxesList;
  for (size_t i = 0; i < axes.size(); ++i) {
    if (!axes[i]->Shown()) {
      if (!fAxesList.AxisSizeCallback) continue;
      // A hidden axis still keeps the room the callback asks for on its side.
      const int32_t size = fAxesList.AxisSizeCallback(*axes[i], 0);
      const bool otherSide = axes[i]->OtherSide();
      if (axes[i]->Horizontal()) {
        if (otherSide)
          work.Top = ClampChartCoord(int64_t{work.Top} + size);
        else
          work.Bottom = ClampChartCoord(int64_t{work.Bottom} - size);
      } else if (otherSide) {
        work.Right = ClampChartCoord(int64_t{work.Right} - size);
      } else {
        work.Left = ClampChartCoord(int64_t{work.Left} + size);
      }
      continue;
    }
    TRect r = work;
    axes[i]->CalcRect(r, i < 5);
    const TRect cut{std::max(r.Left, work.Left), std::max(r.Top, work.Top), std::min(r.Right, work.Right),
                    std::min(r.Bottom, work.Bottom)};
    if (!cut.IsEmpty()) work = cut;
  }
  SetChartRect(work);
  RecalcChartRect();
  for (TChartAxis* axis : fAxesList) axis->CalcAxisPositions();
  for (TChartAxis* axis : fAxesList) ApplySeriesMargins(*axis);
  // Text labels of the axes need the points in view before the series draw.
  for (TChartSeries* s : fSeries)
    if (s->Active()) s->CalcFirstLastVisibleIndex();
}

void TCustomAxisPanel::ApplySeriesMargins(TChartAxis& axis) {
  // First and second margin: left and right on a horizontal axis, top and bottom
  // on a vertical one; only sides whose end is automatic grow for the series.
  int32_t first = 0, second = 0;
  const bool firstAuto = axis.Horizontal() ? axis.AutomaticMinimum() : axis.AutomaticMaximum();
  const bool secondAuto = axis.Horizontal() ? axis.AutomaticMaximum() : axis.AutomaticMinimum();
  for (const TChartSeries* s : fSeries) {
    if (!s->Active() || !s->AssociatedToAxis(axis)) continue;
    int32_t a = 0, b = 0;
    if (axis.Horizontal())
      s->CalcHorizMargins(a, b);
    else
      s->CalcVerticalMargins(a, b);
    if (firstAuto) first = std::max(first, a);
    if (secondAuto) second = std::max(second, b);
  }
  int32_t lowOffset = axis.MinimumOffset, highOffset = axis.MaximumOffset;
  if (axis.Inverted()) std::swap(lowOffset, highOffset);
  if (axis.Horizontal()) {
    first += lowOffset;
    second += highOffset;
  } else {
    first += highOffset;
    second += lowOffset;
  }
  // Zero margins leave the range as it is (the round trip through pixels could
  // move its ends by a rounding step).
  if (first != 0 || second != 0)
    axis.AdjustMaxMinRect(axis.Horizontal() ? TRect{first, 0, second, 0} : TRect{0, first, 0, second});
  axis.RoundMinMax();
}

void TCustomAxisPanel::DrawAxes() {
  if (!fAxisVisible) return;
  canvas_->BeginGroup();
  if (OnBeforeDrawAxes) OnBeforeDrawAxes();
  const std::vector<TChartAxis*> axes = fAxesList;
  // Seen from below, the bottom axis would cross the series: the walls redraw it.
  const bool skipBottom = IsDepthReversed(*this, 0);
  for (TChartAxis* axis : axes)
    if (axis->Shown() && !(skipBottom && axis == fBottomAxis.get())) axis->Draw(true);
  canvas_->EndGroup();
}

void TCustomAxisPanel::leaveEvent(QEvent* event) {
  TCustomChartPanelExtended::leaveEvent(event);
  Guarded([this] { fTools.Notify(cteMouseLeave); });
}

bool TCustomAxisPanel::CalcDepthReversed() {
  if (!View3D()) return false;
  const TView3DOptions& view = View3DOptions();
  return view.Orthogonal() ? view.OrthoAngle() >= 91 : view.Rotation() < 180;
}

bool TCustomAxisPanel::Holds(const TChartSeries* series) const {
  gSeriesListSteps.fetch_add(1, std::memory_order_relaxed);  // one look, however many series
  return fSeries.Holds(series);
}

void TCustomAxisPanel::ClipSeries() {
  if (!ClipAllowed()) return;
  const TRect r = ChartRect();
  canvas_->ClipCube(TRect{r.Left, r.Top - 1, r.Right, r.Bottom + 1}, 0, DepthWidth);
}

void TCustomAxisPanel::UnClipSeries() {
  if (ClipAllowed()) canvas_->UnClipRectangle();
}

void TCustomAxisPanel::DrawAllSeries() {
  bool backwards = fDepthAxis->Inverted();
  if (IsDepthReversed(*this, DepthWidth)) backwards = !backwards;
  // A handler may remove series while they draw: walk a copy, skip the removed.
  const std::vector<TChartSeries*> series = fSeries;
  auto one = [&](TChartSeries* s) {
    if (Holds(s) && s->Active()) DrawSeries(*s);
  };
  if (backwards)
    std::for_each(series.rbegin(), series.rend(), one);
  else
    std::for_each(series.begin(), series.end(), one);
}

void TCustomAxisPanel::DrawSeries(TChartSeries& s) {
  if (View3D() && s.MoreSameZOrder()) {
    DrawSameZOrder(s);
    return;
  }
  s.CalcFirstLastVisibleIndex();
  if (s.FirstVisibleIndex() < 0) return;
  const bool grouping = canvas_->GroupingEnabled();
  if (grouping) canvas_->BeginGroup();
  s.DoBeforeDrawValues();
  const bool clip = s.UseAxis() && fClipPoints;
  if (clip) ClipSeries();
  DrawSeriesValues(s);
  if (clip) UnClipSeries();
  if (s.Count() > 0 && s.Marks().Visible()) {
    if (s.Marks().Clip()) ClipSeries();
    s.DrawMarks();
    if (s.Marks().Clip()) UnClipSeries();
  }
  s.DoAfterDrawValues();
  if (grouping) canvas_->EndGroup();
}

void TCustomAxisPanel::DrawSameZOrder(TChartSeries& first) {
  const int32_t z = first.ZOrderInUse();
  std::vector<TChartSeries*> group;
  bool started = false;
  for (TChartSeries* s : fSeries) {
    if (!s->Active() || s->HasZValues() || s->ZOrderInUse() != z) continue;
    if (!started && s != &first) return;  // an earlier series of this Z order drew them all
    started = true;
    group.push_back(s);
  }
  // Only series with points in view take part.
  int32_t low = INT32_MAX, high = -1;
  std::vector<TChartSeries*> shown;
  for (TChartSeries* s : group) {
    s->CalcFirstLastVisibleIndex();
    if (s->FirstVisibleIndex() < 0) continue;
    s->DoBeforeDrawValues();
    shown.push_back(s);
    low = std::min(low, s->FirstVisibleIndex());
    high = std::max(high, s->LastVisibleIndex());
  }
  if (shown.empty()) return;
  if (fClipPoints) ClipSeries();
  auto drawIndex = [&](int32_t i) {
    if (i >= first.Count()) return;
    auto one = [&](TChartSeries* s) {
      if (Holds(s) && s->Count() > i) s->DrawValue(i);
    };
    if (first.DrawSeriesForward())
      std::for_each(shown.begin(), shown.end(), one);
    else
      std::for_each(shown.rbegin(), shown.rend(), one);
  };
  if (first.DrawValuesForward())
    for (int32_t i = low; i <= high; ++i) drawIndex(i);
  else
    for (int32_t i = high; i >= low; --i) drawIndex(i);
  if (fClipPoints) UnClipSeries();
  for (TChartSeries* s : shown) {
    if (!Holds(s)) continue;
    if (s->Count() > 0 && s->Marks().Visible()) s->DrawMarks();
    s->DoAfterDrawValues();
  }
}

void TCustomAxisPanel::InternalDraw(const TRect& rect) {
  // Property writes of event handlers start no frame while this one paints; the
  // flag comes back on every exit, an exception's too.
  const bool repaint = RepaintEnabled();
  SetRepaintEnabled(false);
  TScopeExit restore([&] { SetRepaintEnabled(repaint); });
  fDepthReversed = CalcDepthReversed();

  const bool fullRotation = canvas_->SupportsFullRotation();
  if (!fullRotation) PaintBackground(rect);
  fTools.Notify(cteBeforeDraw);
  if (OnBeforeDrawChart) OnBeforeDrawChart();
  {
    const std::vector<TChartSeries*> series = fSeries;
    for (TChartSeries* s : series)
      if (Holds(s) && s->Active()) s->PrepareForDraw();
  }
  if (!fullRotation) PaintTitlesAndLegend(true);
  CalcZOrders();
  AdjustRectForWalls();
  const TRect beforeAxes = ChartRect();
  LayoutAxes();
  for (TChartSeries* s : fSeries)
    if (s->Active()) s->CalcDepthPositions(fSeriesDepth);
  canvas_->Projection(DepthWidth, ChartRect());
  if (fullRotation) {
    const TRect laidOut = ChartRect();
    SetChartRect(beforeAxes);
    PaintBackground(rect);
    PaintTitlesAndLegend(true);
    SetChartRect(laidOut);
  }
  PaintWalls();
  if (fAxisBehind) {
    fTools.Notify(cteBeforeDrawAxes);
    DrawAxes();
  }
  fTools.Notify(cteBeforeDrawSeries);
  if (OnBeforeDrawSeries) OnBeforeDrawSeries();
  DrawAllSeries();
  fTools.Notify(cteAfterDrawSeries);
  if (!fAxisBehind) {
    fTools.Notify(cteBeforeDrawAxes);
    DrawAxes();
  }
  PaintTitlesAndLegend(false);
  if (Zoom().Active) DrawZoomRectangle();
  fTools.Notify(cteAfterDraw);
  canvas_->ResetState();
  if (OnAfterDraw) OnAfterDraw();
}

bool IsDepthReversed(const TCustomAxisPanel& chart, int32_t z) {
  const TCanvas3D* canvas = chart.Canvas();
  if (canvas == nullptr || canvas->SupportsFullRotation()) return false;
  const TRect r = chart.ChartRect();
  return TriangleCrossProductNegative(canvas->Calculate3DPosition(r.Left, r.Top, z),
                                      canvas->Calculate3DPosition(r.Left, r.Bottom, z),
                                      canvas->Calculate3DPosition(r.Right, r.Bottom, z));
}

}  // namespace qira

#include "chart/engine/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/draw/ChartText.h"
#include "chart/engine/AxisLabels.h"
#include "chart/engine/AxisPanel.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/SeriesDrawing.h"  // Reaches up: a series draws its points through the visible-point walk.
#include "chart/engine/SeriesSource.h"  // Reaches up: a series loads from and leaves its source component.
#include "platform/AsciiCase.h"
#include "platform/Rounding.h"

namespace qira {

namespace {

std::string FormatTwoInts(std::string_view format, int32_t a, int32_t b) {
  char buf[256];
  std::snprintf(buf, sizeof buf, std::string(format).c_str(), a, b);
  return buf;
}

}  // namespace

TChartSeries::TChartSeries() : PercentFormat(ChartMsg::PercentFormat), fValueFormat(ChartMsg::ValuesFormat) {
  auto x = std::make_unique<TChartValueList>(this, std::string(ChartMsg::ValuesX));
  auto y = std::make_unique<TChartValueList>(this, std::string(ChartMsg::ValuesY));
  x->SetOrder(loAscending);
  fX = x.get();
  fY = y.get();
  fValuesList.Add(std::move(x));
  fValuesList.Add(std::move(y));
}

TChartSeries::~TChartSeries() {
  if (ParentChart()) ParentChart()->SeriesDestroyed(*this);
  if (fSourceComponent) fSourceComponent->SeriesDestroyed(*this);
  fFunction.reset();
  for (TChartSeries* source : fDataSources) std::erase(source->fLinkedSeries, this);
  for (TChartSeries* dependent : fLinkedSeries) std::erase(dependent->fDataSources, this);
}

TChartValueList& TChartSeries::AddValueList(const std::string& name) {
  auto list = std::make_unique<TChartValueList>(this, name);
  TChartValueList& result = *list;
  fValuesList.Add(std::move(list));
  return result;
}

TChartValueList& TChartSeries::GetYValueList(const std::string& name) const {
  for (int32_t i = 2; i < fValuesList.Count(); ++i)
    if (SameTextAscii(fValuesList[i].Name(), name)) return fValuesList[i];
  return MandatoryValueList();
}

// [SECTION] Points

void TChartSeries::InsertPointExtras(int32_t index, const std::string& label, TColor color) {
  if (fColors) {
    fColors->insert(fColors->begin() + index, color);
  } else if (color != clChartDefault) {
    fColors.emplace(static_cast<size_t>(Count() - 1), clChartDefault);
    fColors->insert(fColors->begin() + index, color);
  }
  if (!label.empty() || !fLabels.empty()) {
    if (fLabels.size() < static_cast<size_t>(index)) fLabels.resize(static_cast<size_t>(index));
    fLabels.insert(fLabels.begin() + index, label);
  }
}

int32_t TChartSeries::AddXY(double x, double y, const std::string& label, TColor color) {
  fX->SetPendingValue(x);
  fY->SetPendingValue(y);
  if (OnBeforeAdd && !OnBeforeAdd(*this)) return -1;
  const int32_t index = fX->AddValue(x);
  for (int32_t i = 1; i < fValuesList.Count(); ++i) fValuesList[i].InsertValue(index, fValuesList[i].PendingValue());
  InsertPointExtras(index, label, color);
  if (!Updating()) Added(index);
  return index;
}

int32_t TChartSeries::Add(double value, const std::string& label, TColor color) {
  const double n = Count();
  return fYMandatory ? AddXY(n, value, label, color) : AddXY(value, n, label, color);
}

void TChartSeries::Delete(int32_t index) {
  if (index < 0 || index >= Count())
    throw ChartException(FormatTwoInts(ChartMsg::SeriesDeleteOutOfBounds, index, Count() - 1));
  for (int32_t i = 0; i < fValuesList.Count(); ++i) fValuesList[i].DeleteValue(index);
  if (fColors && static_cast<size_t>(index) < fColors->size()) fColors->erase(fColors->begin() + index);
  if (static_cast<size_t>(index) < fLabels.size()) fLabels.erase(fLabels.begin() + index);
  fMarks.DeletePoint(index);
  NotifyValue(TValueEvent::veDelete, index);
  if (Active()) Repaint();
}

void TChartSeries::DeleteRange(int32_t start, int32_t quantity, bool renumberX) {
  if (start < 0 || quantity <= 0 || start >= Count()) return;
  quantity = std::min(quantity, Count() - start);
  for (int32_t i = 0; i < fValuesList.Count(); ++i) fValuesList[i].DeleteRange(start, quantity);
  auto drop = [&](auto& list) {
    if (static_cast<size_t>(start) >= list.size()) return;
    const size_t end = std::min(list.size(), static_cast<size_t>(start + quantity));
    list.erase(list.begin() + start, list.begin() + static_cast<std::ptrdiff_t>(end));
  };
  if (fColors) {
    drop(*fColors);
    if (fColors->empty()) fColors.reset();
  }
  drop(fLabels);
  fMarks.DeletePoint(start, quantity);
  NotifyValue(TValueEvent::veDelete, -1);
  if (Active()) Repaint();
  if (renumberX) fX->FillSequence();
}

void TChartSeries::ClearLists() {
  for (int32_t i = 0; i < fValuesList.Count(); ++i) fValuesList[i].ClearValues();
  fColors.reset();
  fLabels.clear();
  fMarks.Clear();
}

void TChartSeries::Clear() {
  fFirstVisibleIndex = fLastVisibleIndex = -1;
  ClearLists();
  if (OnClearValues) OnClearValues(*this);
  NotifyValue(TValueEvent::veClear, 0);
  if (Active() && ParentChart()) Repaint();
}

void TChartSeries::SwapValueIndex(int32_t a, int32_t b) {
  for (int32_t i = 0; i < fValuesList.Count(); ++i) {
    TChartValueList& list = fValuesList[i];
    const double va = list.Value(a);
    list.SetValue(a, list.Value(b));
    list.SetValue(b, va);
  }
  if (fColors) std::swap((*fColors)[static_cast<size_t>(a)], (*fColors)[static_cast<size_t>(b)]);
  if (!fLabels.empty()) {
    const size_t need = static_cast<size_t>(std::max(a, b)) + 1;
    if (fLabels.size() < need) fLabels.resize(need);
    std::swap(fLabels[static_cast<size_t>(a)], fLabels[static_cast<size_t>(b)]);
  }
}

std::string TChartSeries::Label(int32_t index) const {
  return index >= 0 && static_cast<size_t>(index) < fLabels.size() ? fLabels[static_cast<size_t>(index)]
                                                                   : std::string();
}

void TChartSeries::SetLabel(int32_t index, const std::string& text) {
  if (index < 0) return;
  if (fLabels.size() <= static_cast<size_t>(index)) fLabels.resize(static_cast<size_t>(index) + 1);
  fLabels[static_cast<size_t>(index)] = text;
  Repaint();
}

bool TChartSeries::HasTextLabels() const {
  return std::any_of(fLabels.begin(), fLabels.end(), [](const std::string& s) { return !s.empty(); });
}

TColor TChartSeries::ValueColor(int32_t index) const {
  if (fColors && index >= 0 && static_cast<size_t>(index) < fColors->size()) {
    const TColor c = (*fColors)[static_cast<size_t>(index)];
    if (c != clChartDefault) return c;
  }
  if (fColorEachPoint) return ParentChart() ? ParentChart()->GetDefaultColor(index) : GetDefaultColor(index);
  return SeriesColor();
}

// [SECTION] Updates and dependent series

void TChartSeries::EndUpdate() {
  if (fUpdating == 0) return;
  if (--fUpdating == 0) {
    NotifyValue(TValueEvent::veRefresh, 0);
    BroadcastSeriesEvent(TChartSeriesEvent::seDataChanged);
  }
}

void TChartSeries::Added(int32_t index) {
  if (OnAfterAdd) OnAfterAdd(*this, index);
  NotifyValue(TValueEvent::veAdd, index);
  if (Active()) Repaint();
}

void TChartSeries::NotifyValue(TValueEvent event, int32_t index) {
  if (Updating()) return;
  const std::vector<TChartSeries*> dependents = fLinkedSeries;
  for (TChartSeries* d : dependents) {
    switch (event) {
      case TValueEvent::veClear:
        if (d->NotifyFlags & snClear) d->Clear();
        break;
      case TValueEvent::veAdd:
        if ((d->NotifyFlags & snAdd) && !d->fFunction) d->AddPointFrom(*this, index);
        break;
      case TValueEvent::veDelete:
        if ((d->NotifyFlags & snDelete) && !d->fFunction) d->DeleteFromSource(*this, index);
        break;
      case TValueEvent::veRefresh:
        d->AddValues(*this);
        break;
      case TValueEvent::veModify:
        if (d->NotifyFlags & snModify) d->AddValues(*this);
        break;
    }
  }
}

int32_t TChartSeries::AddValueFrom(const TChartSeries& source, int32_t index) {
  double x = source.XValue(index), y = source.YValue(index);
  if (source.fYMandatory != fYMandatory) std::swap(x, y);
  for (int32_t i = 2; i < fValuesList.Count(); ++i)
    fValuesList[i].SetPendingValue(i < source.fValuesList.Count() ? source.fValuesList[i].Value(index) : 0);
  fX->SetPendingValue(x);
  fY->SetPendingValue(y);
  const int32_t at = fX->AddValue(x);
  for (int32_t i = 1; i < fValuesList.Count(); ++i) fValuesList[i].InsertValue(at, fValuesList[i].PendingValue());
  return at;
}

int32_t TChartSeries::AddPointFrom(const TChartSeries& source, int32_t index) {
  const int32_t at = AddValueFrom(source, index);
  const TColor c = source.fColors && static_cast<size_t>(index) < source.fColors->size()
                       ? (*source.fColors)[static_cast<size_t>(index)]
                       : clChartDefault;
  InsertPointExtras(at, source.Label(index), c);
  if (!Updating()) Added(at);
  return at;
}

void TChartSeries::AddValues(TChartSeries& source) {
  BeginUpdate();
  struct EndOnExit {
    TChartSeries& s;
    ~EndOnExit() { s.EndUpdate(); }
  } end{*this};
  Clear();
  if (fFunction) {
    fX->SetDateTime(source.fX->DateTime());
    fY->SetDateTime(source.fY->DateTime());
    fFunction->AddPoints(source);
  } else if (&source != this) {
    for (int32_t i = 0; i < source.Count(); ++i) AddPointFrom(source, i);
  }
}

void TChartSeries::DeleteFromSource(const TChartSeries&, int32_t index) {
  if (index >= 0 && index < Count()) Delete(index);
}

void TChartSeries::AddDataSource(TChartSeries& source) {
  TCustomAxisPanel::ValidateSource(*this, source);
  if (std::find(fDataSources.begin(), fDataSources.end(), &source) != fDataSources.end()) return;
  fDataSources.push_back(&source);
  if (std::find(source.fLinkedSeries.begin(), source.fLinkedSeries.end(), this) == source.fLinkedSeries.end())
    source.fLinkedSeries.push_back(this);
  CheckDataSource();
}

void TChartSeries::RemoveDataSource(TChartSeries& source) {
  const bool first = !fDataSources.empty() && fDataSources.front() == &source;
  std::erase(fDataSources, &source);
  std::erase(source.fLinkedSeries, this);
  if (!first) return;
  // Without its first source the series has none: the points go unless stored.
  for (TChartSeries* s : fDataSources) std::erase(s->fLinkedSeries, this);
  fDataSources.clear();
  if (!StoredData) Clear();
}

void TChartSeries::CheckDataSource() {
  // The chart refreshes its series; one being updated waits for its EndUpdate.
  if (Updating() || ParentChart() == nullptr) return;
  if (fFunction && fDataSources.size() > 1) {
    BeginUpdate();
    Clear();
    fFunction->AddPointsMany(fDataSources);
    EndUpdate();
  } else if (!fDataSources.empty()) {
    AddValues(*fDataSources.front());
  } else if (fSourceComponent && fSourceComponent->Active()) {
    fSourceComponent->Load();
  }
}

void TChartSeries::SetFunction(std::unique_ptr<TChartFunction> function) {
  fFunction = std::move(function);
  if (fFunction) fFunction->SetParentSeries(this);
  StoredData = false;
  CheckDataSource();
}

// [SECTION] Gallery

std::vector<std::string> TChartSeries::GallerySubTypes() const { return {std::string(ChartMsg::StyleNormal)}; }

// [SECTION] Chart and axes

void TChartSeries::SetParentChart(IAxisPanel* chart) {
  if (ParentChart() != nullptr) RemovedFromChart();
  TCustomChartSeries::SetParentChart(chart);
  fMarks.SetParentChart(dynamic_cast<TCustomChartPanel*>(chart));
  if (chart != nullptr) AddedToChart();
}

void TChartSeries::AddedToChart() {
  if (TCustomAxisPanel* chart = ChartPanel(); chart && fColor == clChartDefault) {
    AssignAutomaticColor(chart->GetFreeSeriesColor(true, this));
    BroadcastSeriesEvent(TChartSeriesEvent::seChangeColor);
  }
  RecalcGetAxis();
  CheckDataSource();
}

void TChartSeries::RemovedFromChart() {
  // A cursor this series put up does not outlive its place in the chart.
  if (TCustomAxisPanel* chart = ChartPanel(); chart && Cursor != 0) chart->RestoreCursorShownFor(Cursor);
  fGetHorizAxis = fGetVertAxis = nullptr;
}

TCustomAxisPanel* TChartSeries::ChartPanel() const { return dynamic_cast<TCustomAxisPanel*>(ParentChart()); }

void TChartSeries::BroadcastSeriesEvent(uint8_t kind) {
  TCustomAxisPanel* chart = ChartPanel();
  if (chart == nullptr) return;
  TChartSeriesEvent event;
  event.Sender = chart;
  event.Event = static_cast<TChartSeriesEvent::TKind>(kind);
  event.Series = this;
  chart->BroadcastChartEvent(event);
}

void TChartSeries::RecalcGetAxis() {
  fGetHorizAxis = fGetVertAxis = nullptr;
  if (!ParentChart() || ParentChart()->AxesList().size() < 4) return;
  const auto& axes = ParentChart()->AxesList();  // bottom, top, left, right first
  fGetHorizAxis = fHorizAxis == aTopAxis ? axes[1] : axes[0];
  if (fHorizAxis == aCustomHorizAxis && fCustomHorizAxis) fGetHorizAxis = fCustomHorizAxis;
  fGetVertAxis = fVertAxis == aRightAxis ? axes[3] : axes[2];
  if (fVertAxis == aCustomVertAxis && fCustomVertAxis) fGetVertAxis = fCustomVertAxis;
}

void TChartSeries::SetHorizAxis(THorizAxis value) {
  fHorizAxis = value;
  if (value != aCustomHorizAxis) fCustomHorizAxis = nullptr;
  RecalcGetAxis();
  Repaint();
}

void TChartSeries::SetVertAxis(TVertAxis value) {
  fVertAxis = value;
  if (value != aCustomVertAxis) fCustomVertAxis = nullptr;
  RecalcGetAxis();
  Repaint();
}

void TChartSeries::SetCustomHorizAxis(TChartAxis* axis) {
  fCustomHorizAxis = axis;
  fHorizAxis = axis ? aCustomHorizAxis : aBottomAxis;
  RecalcGetAxis();
  Repaint();
}

void TChartSeries::SetCustomVertAxis(TChartAxis* axis) {
  fCustomVertAxis = axis;
  fVertAxis = axis ? aCustomVertAxis : aLeftAxis;
  RecalcGetAxis();
  Repaint();
}

bool TChartSeries::AssociatedToAxis(const TChartAxis& axis) const {
  if (!UseAxis()) return false;
  if (axis.Horizontal()) return fHorizAxis == aBothHorizAxis || fGetHorizAxis == &axis;
  return fVertAxis == aBothVertAxis || fGetVertAxis == &axis;
}

const TChartValueList* TChartSeries::ValuesListForAxis(const TChartAxis& axis) const {
  if (!AssociatedToAxis(axis)) return nullptr;
  return axis.Horizontal() ? fX : fY;
}

void TChartSeries::CalcFirstLastVisibleIndex() {
  fFirstVisibleIndex = fLastVisibleIndex = -1;
  const int32_t n = Count();
  if (n == 0) return;
  const TChartValueList& x = NotMandatoryValueList();
  const TChartAxis* axis = fYMandatory ? fGetHorizAxis : fGetVertAxis;
  if (!CalcVisiblePoints || x.Order() == loNone || !axis) {
    fFirstVisibleIndex = 0;
    fLastVisibleIndex = n - 1;
    return;
  }
  double low = axis->CalcPosPoint(axis->IStartPos());
  double high = axis->CalcPosPoint(axis->IEndPos());
  if (low > high) std::swap(low, high);
  int32_t first = 0;
  while (first < n && x.Value(first) < low) ++first;
  if (first == n) return;
  int32_t last = n - 1;
  if (x.Value(n - 1) > high) {
    last = first;
    while (last < n - 1 && x.Value(last) < high) ++last;
    if (!DrawBetweenPoints && x.Value(last) > high) --last;  // may leave none
  }
  fFirstVisibleIndex = first;
  fLastVisibleIndex = last;
}

void TChartSeries::CalcDepthPositions(int32_t seriesDepth) {
  const int64_t start = int64_t{ZOrderInUse()} * seriesDepth;
  const int64_t end = start + (Depth != -1 ? Depth : seriesDepth);
  fStartZ = static_cast<int32_t>(std::clamp<int64_t>(start, INT32_MIN, INT32_MAX));
  fEndZ = static_cast<int32_t>(std::clamp<int64_t>(end, INT32_MIN, INT32_MAX));
  fMiddleZ = static_cast<int32_t>(std::clamp<int64_t>((start + end) / 2, INT32_MIN, INT32_MAX));
  fMarks.ZPosition = fMiddleZ;
}

// [SECTION] Drawing

void TChartSeries::CalcZOrder() {
  TCustomAxisPanel* chart = ChartPanel();
  if (chart == nullptr) return;
  if (fZOrder != -1) {
    chart->SetMaxZOrder(std::max(chart->MaxZOrder(), fZOrder));
  } else if (chart->View3D()) {
    chart->SetMaxZOrder(chart->MaxZOrder() + 1);
    fComputedZOrder = chart->MaxZOrder();
  } else {
    fComputedZOrder = 0;
  }
}

bool TChartSeries::MoreSameZOrder() const {
  const TCustomAxisPanel* chart = ChartPanel();
  if (chart == nullptr || !chart->ZOrdering()) return false;
  for (int32_t i = 0; i < chart->SeriesCount(); ++i) {
    const TChartSeries& s = chart->Series(i);
    if (&s != this && s.Active() && !s.HasZValues() && s.ZOrderInUse() == ZOrderInUse()) return true;
  }
  return false;
}

bool TChartSeries::DrawValuesForward() const {
  if (!fYMandatory) return !(fGetVertAxis && fGetVertAxis->Inverted());
  const bool inverted = fGetHorizAxis && fGetHorizAxis->Inverted();
  const TCustomAxisPanel* chart = ChartPanel();
  return chart && chart->DepthReversed() ? inverted : !inverted;
}

bool TChartSeries::DrawSeriesForward() const {
  const TCustomAxisPanel* chart = ChartPanel();
  return !(chart && chart->DepthReversed());
}

void TChartSeries::DoBeforeDrawValues() {
  if (TCustomAxisPanel* chart = ChartPanel()) chart->Tools().NotifySeries(*this, cteBeforeDrawSeries);
  if (BeforeDrawValues) BeforeDrawValues(*this);
}

void TChartSeries::DoAfterDrawValues() {
  if (TCustomAxisPanel* chart = ChartPanel()) chart->Tools().NotifySeries(*this, cteAfterDrawSeries);
  if (AfterDrawValues) AfterDrawValues(*this);
}

void TChartSeries::DrawAllValues() {
  ForEachVisibleIndex(*this, [this](int32_t i) { DrawValue(i); });
}

void TChartSeries::DrawMarks() {
  if (fFirstVisibleIndex < 0) return;
  for (int32_t i = fFirstVisibleIndex; i <= fLastVisibleIndex; ++i) {
    if (!fMarks.DrawsMark(i) || IsNull(i)) continue;
    const std::string text = GetMarkText(i);
    if (text.empty()) continue;
    if (const TMarksItem* item = fMarks.ItemAt(i); item && !item->Visible()) continue;
    TSeriesMarkPosition position;
    int32_t x = 0, y = 0;
    CalcPosition(i, x, y);
    PrepareMark(i, text, x, y, position);
    DrawMark(i, text, position);
  }
}

void TChartSeries::DrawMark(int32_t index, const std::string& text, TSeriesMarkPosition& position) {
  fMarks.DrawItem(index, ValueColor(index), text, position);
}

void TChartSeries::DrawLegendShape(int32_t index, const TRect& rect) {
  (void)index;
  if (TCustomAxisPanel* chart = ChartPanel()) {
    chart->PaintLegendSymbolBack(rect);
  } else if (TCanvas3D* canvas = ParentChart() ? ParentChart()->Canvas() : nullptr) {
    canvas->RectangleRect(rect);
  }
}

void TChartSeries::PrepareMark(int32_t index, const std::string& text, int32_t x, int32_t y,
                               TSeriesMarkPosition& position) {
  TCustomAxisPanel* chart = ChartPanel();
  if (chart == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  TMarksItem* item = fMarks.ItemAt(index);
  TChartCustomShape& look = item ? static_cast<TChartCustomShape&>(*item) : fMarks;
  // Zoomed 3D views write their marks in proportion.
  const double savedZoom = canvas.FontZoom();
  const TView3DOptions& view = chart->View3DOptions();
  if (chart->View3D() && view.ZoomText() && view.Zoom() != 100)
    canvas.SetFontZoom(std::max(savedZoom * view.Zoom() * 0.01, 1.0));
  canvas.AssignFont(look.Font());
  canvas.SetFontZoom(savedZoom);
  const int32_t fontHeight = canvas.FontHeight();
  int32_t width = 0, height = 0;
  if (fMarks.TextFormat() == ttfHtml) {
    const TSize size = HtmlTextSize(canvas, text);
    width = size.cx;
    height = size.cy;
  } else {
    int32_t lines = 0;
    width = chart->MultiLineTextWidth(text, lines);
    height = lines * fontHeight;
  }
  const TRect margin = fMarks.Margins.Pixels(width, height, fontHeight);
  width += margin.Left + margin.Right;
  height += margin.Top + margin.Bottom;
  if (fMarks.SymbolIfAny() && fMarks.SymbolIfAny()->ShouldDraw()) width += fontHeight - 4;
  const int32_t frame = fMarks.Pen().Visible() ? fMarks.Pen().Width() - 1 : 1;
  width += frame;
  height += frame;
  position.ArrowFrom = position.ArrowTo = {x, y};
  position.LeftTop = {ClampChartCoord(int64_t{x} - width / 2), ClampChartCoord(int64_t{y} - height + 1)};
  position.Width = width;
  position.Height = height;
  if (fMarks.SymbolIfAny())
    fMarks.Symbol().ShapeBounds = {position.LeftTop.X + 2, position.LeftTop.Y + 2,
                                   position.LeftTop.X + 2 + fontHeight, position.LeftTop.Y + 2 + fontHeight};
}

int32_t TChartSeries::MaxMarkWidth() {
  int32_t widest = 0;
  for (int32_t i = 0; i < Count(); ++i)
    if (const TMarksItem* item = fMarks.ItemAt(i); item == nullptr || item->Visible())
      widest = std::max(widest, fMarks.TextWidth(i));
  return widest;
}

void TChartSeries::CalcFirstLastPage(int32_t& first, int32_t& last) const {
  const int32_t count = Count();
  if (count == 0) {
    first = last = -1;
    return;
  }
  const int64_t perPage = ParentChart() ? ParentChart()->MaxPointsPerPage() : 0;
  if (perPage < 1) {
    first = 0;
    last = count - 1;
    return;
  }
  const int64_t page = ParentChart()->CurrentPage();
  int64_t f = perPage * (page - 1);
  if (count <= f) f = perPage * std::max<int64_t>(0, count / perPage - 1);
  int64_t l = f + perPage - 1;
  if (count <= l) l = f + count % perPage - 1;
  first = static_cast<int32_t>(f);
  last = static_cast<int32_t>(l);
}

int32_t TChartSeries::CalcXPos(int32_t index) const {
  return fGetHorizAxis ? fGetHorizAxis->CalcXPosValue(XValue(index)) : 0;
}

int32_t TChartSeries::CalcYPos(int32_t index) const {
  return fGetVertAxis ? fGetVertAxis->CalcYPosValue(YValue(index)) : 0;
}

// [SECTION] Look and texts

TCustomChartElement::TCustomChartElement() : fPen([this] { Repaint(); }), fBrush([this] { Repaint(); }) {}

void TCustomChartElement::SetActive(bool value) { ChangeActive(value); }

void TCustomChartElement::ChangeActive(bool value) {
  if (fActive == value) return;
  fActive = value;
  Repaint();
}

void TCustomChartElement::Repaint() const {
  if (fParentChart) fParentChart->Invalidate();
}

void TCustomChartSeries::SetActive(bool value) {
  if (Active() == value) return;
  ChangeActive(value);
  BroadcastSeriesEvent(TChartSeriesEvent::seChangeActive);
}

void TCustomChartSeries::SetTitle(const std::string& value) {
  if (fTitle == value) return;
  fTitle = value;
  BroadcastSeriesEvent(TChartSeriesEvent::seChangeTitle);
}

std::string TChartSeries::TitleForDisplay() const {
  std::string t = Title();
  std::replace(t.begin(), t.end(), '\x06', ' ');
  if (!t.empty()) return t;
  if (!Name.empty() || ParentChart() == nullptr) return Name;
  for (int32_t i = 0; i < ParentChart()->SeriesCount(); ++i)
    if (&ParentChart()->SeriesAt(i) == this) return std::string(ChartMsg::SeriesPrefix) + std::to_string(i + 1);
  return Name;
}

void TChartSeries::SetColorEachPoint(bool value) {
  if (fColorEachPoint == value) return;
  fColorEachPoint = value;
  Repaint();
}

void TChartSeries::SetValueFormat(const std::string& value) {
  if (fValueFormat == value) return;
  fValueFormat = value;
  Repaint();
}

void TChartSeries::AssignAutomaticColor(TColor color) {
  if (fColor == clChartDefault) fAutoColor = color;
}

void TChartSeries::SetSeriesColor(TColor color) {
  if (fColor == clChartDefault && color == fAutoColor) return;
  if (fColor != color) {
    fColor = color;
    Repaint();
  }
  fAutoColor = color;
  BroadcastSeriesEvent(TChartSeriesEvent::seChangeColor);
}

std::string TChartSeries::GetMarkText(int32_t index) const {
  std::string text;
  if (const TMarksItem* item = fMarks.ItemAt(index); item && !item->Text.empty()) {
    for (size_t i = 0; i < item->Text.size(); ++i) text += (i ? "\r" : "") + item->Text[i];
  } else {
    const std::string sep = fMarks.MultiLine ? "\r" : " ";
    const double v = GetMarkValue(index);
    const std::string valueText = FormatFloat(fValueFormat, v);
    const double total = MandatoryValueList().AbsoluteTotal();
    const std::string percent = FormatFloat(PercentFormat, total == 0 ? 100 : std::fabs(v) * 100 / total);
    auto withTotal = [&] {
      const std::string_view fmt = fMarks.MultiLine ? ChartMsg::ValueOfTotalTwoLines : ChartMsg::ValueOfTotal;
      std::string s(fmt);
      const std::string totalText = FormatFloat(fValueFormat, total);
      s.replace(s.find("%s"), 2, percent);
      s.replace(s.find("%s"), 2, totalText);
      return s;
    };
    const std::string label = Label(index);
    const std::string xText =
        fGetHorizAxis ? fGetHorizAxis->LabelValue(XValue(index)) : FormatFloat(fValueFormat, XValue(index));
    switch (fMarks.Style) {
      case smsValue:
        text = valueText;
        break;
      case smsPercent:
        text = percent;
        break;
      case smsLabel:
        text = label.empty() ? valueText : label;
        break;
      case smsLabelPercent:
        text = label + sep + percent;
        break;
      case smsLabelValue:
        text = label + sep + valueText;
        break;
      case smsLegend:
        if (const TCustomAxisPanel* chart = ChartPanel()) text = chart->LegendTextOfValue(*this, index);
        if (!fMarks.MultiLine) std::replace(text.begin(), text.end(), '\x06', ' ');
        break;
      case smsPercentTotal:
        text = withTotal();
        break;
      case smsLabelPercentTotal:
        text = label + sep + withTotal();
        break;
      case smsXValue:
        text = xText;
        break;
      case smsXY:
        text = xText + sep + valueText;
        break;
      case smsSeriesTitle:
        text = TitleForDisplay();
        break;
      case smsPointIndex:
        text = std::to_string(index);
        break;
      case smsPercentRelative: {
        const double first = GetMarkValue(0);
        // Relative to a first value of 0 there is no percentage: show 0 rather than divide.
        text = FormatFloat(PercentFormat, index == 0 ? 100 : first == 0 ? 0 : v * 100 / first);
        break;
      }
    }
  }
  if (OnGetMarkText) OnGetMarkText(*this, index, text);
  return text;
}

// [SECTION] Clicks and hover

bool TChartSeries::MouseMoveCheck(int32_t x, int32_t y) {
  if (Cursor == 0 && !OnMouseEnter && !OnMouseLeave) return false;
  const bool over = Clicked(x, y) >= 0;
  if (over && !fMouseInside) {
    fMouseInside = true;
    if (OnMouseEnter) OnMouseEnter(*this);
  } else if (!over && fMouseInside) {
    fMouseInside = false;
    if (OnMouseLeave) OnMouseLeave(*this);
  }
  return over;
}

}  // namespace qira

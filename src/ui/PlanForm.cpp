#include "ui/PlanForm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <unordered_set>

#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "model/Borehole.h"
#include "model/GraphMain.h"
#include "model/Section.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
#include "platform/SeededHash.h"
#include "platform/Services.h"
#include "ui/CurrentSubWindowHold.h"
#include "ui/MainFrame.h"
#include "ui/ViewWindow.h"

namespace qira {

// ------------------------------------------------------------ [SECTION] arithmetic

TPlanRanges EqualScaleRanges(int32_t width, int32_t height, TPlanRanges ranges) {
  if (width <= 0 || height <= 0) return ranges;
  const double w = width, h = height;
  const TPlanRange b = ranges.Bottom, l = ranges.Left;
  const double sx = w / (b.Max - b.Min);
  const double sy = h / (l.Max - l.Min);
  if (sy < sx) {
    const double c = (b.Min + b.Max) / 2, half = (l.Max - l.Min) * (w / 2) / h;
    ranges.Bottom = {c - half, c + half};
  } else {
    const double c = (l.Min + l.Max) / 2, half = (b.Max - b.Min) * (h / 2) / w;
    ranges.Left = {c - half, c + half};
  }
  return ranges;
}

bool NextPlanLabel(double step, double leftMinimum, int32_t labelIndex, double& labelValue) {
  // A step of 0 would never climb to the minimum below.
  if (!(step > 0) || !std::isfinite(step)) return false;
  if (labelIndex == 0) {
    labelValue = step * (RoundHalfEven(labelValue / step) - 1);
    while (labelValue < leftMinimum) labelValue += step;
  } else {
    labelValue += step;
  }
  return true;
}

TPlanData CollectPlanData(TGraphMain& root) {
  TPlanData data;
  for (TGraphMain* object : root.GetBoreholes()) {
    auto* hole = dynamic_cast<TGraphBorehole*>(object);
    if (hole == nullptr) continue;
    TPlanBorehole plan;
    plan.Name = hole->Name();
    plan.Collar = hole->Collar;
    plan.Path.reserve(hole->Points.size());
    for (const TBoreholeItem& p : hole->Points) plan.Path.push_back({p.X, p.Y, p.Z});
    data.Boreholes.push_back(std::move(plan));
  }
  // The first borehole of a name, found at once: a plan of many boreholes and
  // sections does not walk the boreholes for each section.
  TSeededStringMap<size_t> byName;
  for (size_t i = 0; i < data.Boreholes.size(); ++i) byName.emplace(data.Boreholes[i].Name, i);
  auto collar = [&](const std::string& name) -> const TSurveyPoint* {
    const auto found = byName.find(name);
    return found == byName.end() ? nullptr : &data.Boreholes[found->second].Collar;
  };
  std::function<void(TGraphMain&)> walk = [&](TGraphMain& object) {
    if (auto* section = dynamic_cast<TGraphSection*>(&object)) {
      const TSurveyPoint* a = collar(section->Borehole1);
      const TSurveyPoint* b = collar(section->Borehole2);
      if (a != nullptr && b != nullptr) data.Sections.emplace_back(*a, *b);
    }
    for (int i = 0; i < object.ChildCount(); ++i) walk(*object.GetChild(i));
  };
  walk(root);
  return data;
}

// ---------------------------------------------------------------- [SECTION] memory

namespace {

// What a line of the chart takes, beside its points: the series with its marks,
// pointer and pens, and what drawing it takes. Measured 3.0 to 3.6 KB beside the
// value lists (plans of 500 to 80,000 boreholes), counted as 5.
constexpr int64_t kPlanLineBytes = 5120;

// A line of that many points: the series, and its two value lists, which take
// TChartValueList::GrowBy values at a time (8 KB each for a line of a few points).
int64_t PlanLineBytes(int64_t points) {
  const int64_t blocks = (std::max<int64_t>(points, 1) + TChartValueList::GrowBy - 1) / TChartValueList::GrowBy;
  return kPlanLineBytes + 2 * blocks * TChartValueList::GrowBy * int64_t{sizeof(double)};
}

// A borehole's path (its collar, then each point) and its collar's mark.
int64_t PlanBoreholeBytes(const TPlanBorehole& hole) {
  return PlanLineBytes(1 + static_cast<int64_t>(hole.Path.size())) + PlanLineBytes(1);
}

}  // namespace

int64_t PlanMemoryNeeded(const TPlanData& data, int32_t width, int32_t height) {
  int64_t bytes = 0;
  for (const TPlanBorehole& hole : data.Boreholes) {
    bytes += PlanBoreholeBytes(hole) + static_cast<int64_t>(sizeof(TPlanBorehole)) +
             static_cast<int64_t>(hole.Path.capacity() * sizeof(TSurveyPoint) + hole.Name.capacity());
  }
  bytes += static_cast<int64_t>(data.Sections.size()) * (PlanLineBytes(2) + 2 * int64_t{sizeof(TSurveyPoint)});
  // The chart's picture of the window, its layout's and the window's own.
  bytes += 3 * int64_t{std::max(width, 0)} * int64_t{std::max(height, 0)} * 4;
  return bytes;
}

std::string PlanMemoryText(size_t boreholes, int64_t neededBytes, std::optional<int64_t> availableBytes) {
  return TooLargeText("The horizontal plan of " + std::to_string(boreholes) + " boreholes", "shown", neededBytes,
                      availableBytes);
}

// ----------------------------------------------------------------- [SECTION] chart

namespace {

constexpr int32_t kCollarMark = 3;  // half size of the collar's square, pixels
// Boreholes and sections built between two readings of the memory left.
constexpr int32_t kPlanObjectsPerCheck = 256;

// A line through the points in the order given (east along X, north along Y).
std::unique_ptr<TLineSeries> PlanLine(TColor colour, int32_t width) {
  auto line = std::make_unique<TLineSeries>();
  line->XValues().SetOrder(loNone);
  line->SetSeriesColor(colour);
  line->LinePen().SetWidth(width);
  return line;
}

thread_local int64_t tCollarSteps = 0;

}  // namespace

int64_t PlanCollarStepsForTesting() { return tCollarSteps; }

// The chart of the plan: it writes each collar's name beside the collar's mark.
class TPlanChart : public TChart {
 public:
  using TChart::TChart;
  // The one-point series that mark the collars (the chart owns them), in the order added.
  const std::vector<const TLineSeries*>& Collars() const { return collars_; }
  void AddCollar(const TLineSeries& series) {
    collars_.push_back(&series);
    isCollar_.insert(&series);
  }
  void ClearCollars() {
    collars_.clear();
    isCollar_.clear();
  }

 protected:
  void DrawSeriesValues(TChartSeries& series) override {
    TChart::DrawSeriesValues(series);
    ++tCollarSteps;  // one look, however many collars
    if (!isCollar_.contains(&series) || series.Count() == 0) return;
    TChartCanvas3D& canvas = ChartCanvas();
    const int32_t x = series.CalcXPos(0), y = series.CalcYPos(0);
    canvas.SetBackMode(bkTransparent);
    canvas.TextOut(x + kCollarMark + 3, y - kCollarMark - canvas.TextHeight(series.Title()), series.Title());
  }

 private:
  std::vector<const TLineSeries*> collars_;
  // The same series, found at once for each series a paint draws.
  std::unordered_set<const TChartSeries*> isCollar_;
};

// ---------------------------------------------------------------- [SECTION] window

namespace {

// A magnifying glass with a red plus (zoom in) or minus, 16 × 16.
QIcon ZoomGlyph(bool plus) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
  p.setPen(QPen(Qt::black, 3));
  p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
  p.setPen(QPen(Qt::red, 2));
  p.drawLine(QPointF(3.5, 6), QPointF(8.5, 6));
  if (plus) p.drawLine(QPointF(6, 3.5), QPointF(6, 8.5));
  return QIcon(pixmap);
}

QToolButton* SpeedButton(QWidget* parent, int y, bool plus) {
  auto* button = new QToolButton(parent);
  button->setGeometry(1, y, 23, 22);
  button->setIcon(ZoomGlyph(plus));
  button->setAutoRaise(true);
  return button;
}

}  // namespace

TPlanForm::TPlanForm(TForm3D& owner) : QWidget(nullptr), owner_(&owner) {
  setWindowTitle(QStringLiteral("Horizontal plan"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  Panel1 = new QWidget(this);
  Panel1->setFixedWidth(25);
  SpeedButton1 = SpeedButton(Panel1, 1, true);
  SpeedButton2 = SpeedButton(Panel1, 23, false);
  chart_ = new TPlanChart(this);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1);
  layout->addWidget(chart_, 1);

  TChart& chart = *chart_;
  chart.SetColor(clWhite);
  chart.SetView3D(false);
  chart.Title.SetVisible(false);
  chart.Legend.SetVisible(false);
  chart.Frame().SetWidth(0);
  chart.BackWall().Brush().SetColor(clWhite);
  chart.BackWall().Brush().SetStyle(bsClear);
  chart.BackWall().Pen().SetWidth(0);
  chart.TopAxis().SetVisible(false);
  chart.RightAxis().SetVisible(false);
  for (TChartAxis* axis : {&chart.BottomAxis(), &chart.TopAxis(), &chart.LeftAxis(), &chart.RightAxis()}) {
    axis->AxisPen.SetWidth(1);
    axis->Ticks.SetVisible(false);
    axis->TicksInner.SetVisible(false);
    axis->MinorTicks.SetVisible(false);
    if (axis != &chart.BottomAxis()) axis->TickOnLabelsOnly = false;
  }
  chart.BottomAxis().Title.Caption = "East, m";
  chart.LeftAxis().Title.Caption = "North, m";

  chart.BottomAxis().SetAutomatic(false);
  chart.LeftAxis().SetAutomatic(false);
  chart.BottomAxis().SetIncrement(0);
  chart.BottomAxis().SetLabelStyle(talValue);

  // The band is drawn not-XOR with a colour taken against the background: a white
  // pen would leave the plan's white chart unchanged, so the drag would show nothing.
  chart.Zoom().Pen().SetColor(clBlack);
  chart.OnZoom = [this] { ChartZoom(); };
  chart.OnResize = [this] { ChartResize(); };
  chart.OnGetNextAxisLabel = [this](TChartAxis& sender, int32_t index, double& value, bool& stop) {
    ChartGetNextAxisLabel(sender, index, value, stop);
  };
  QObject::connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded([&] { SpeedButton1Click(); }); });
  QObject::connect(SpeedButton2, &QToolButton::clicked, this, [this] { Guarded([&] { SpeedButton2Click(); }); });

  // A child window of the main frame: a sub-window of the view window's window area
  // (not a window of its own beside a view window that covers the screen).
  if (QMdiArea* area = owner.FrameArea()) {
    QMdiSubWindow* sub = area->addSubWindow(this);
    sub->setAttribute(Qt::WA_DeleteOnClose);  // as FormClose decides; see closeEvent
    LeaveCloseKeysToTheFrame(*sub);
    subWindow_ = sub;
  }
  FrameWidget()->resize(551, 443);  // 689 × 554 as designed at 120 pixels per inch
  FormCreate();
  if (!loaded_) return;  // refused: never shown
  FrameWidget()->show();
  // The window area places a new window where there is room, which may be partly
  // outside what shows: all of the plan stays inside.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(subWindow_.data()); sub != nullptr && sub->mdiArea() != nullptr) {
    sub->setGeometry(FitInside(sub->geometry(), sub->mdiArea()->viewport()->rect()));
    // Opened is picked: the frame's commands act on the plan, also while a document
    // is full screen.
    MakeCurrentSubWindow(*sub);
  }
}

TPlanForm::~TPlanForm() {
  chart_->OnResize = nullptr;
  chart_->OnZoom = nullptr;
  chart_->OnGetNextAxisLabel = nullptr;
  if (owner_ != nullptr)
    for (TPlanForm*& entry : owner_->PlanForms)
      if (entry == this) entry = nullptr;
}

TChart& TPlanForm::Chart() const { return *chart_; }

QWidget* TPlanForm::FrameWidget() const {
  return subWindow_ != nullptr ? subWindow_.data() : const_cast<TPlanForm*>(this);
}

void TPlanForm::closeEvent(QCloseEvent* event) {
  TCloseAction action = TCloseAction::caHide;
  FormClose(action);
  // caFree: destroyed once the close is done, the window and the sub-window that
  // carries it (whose own close asks this window first); otherwise only hidden.
  const bool free = action == TCloseAction::caFree;
  setAttribute(Qt::WA_DeleteOnClose, free);
  if (subWindow_ != nullptr) subWindow_->setAttribute(Qt::WA_DeleteOnClose, free);
  event->accept();
}

void TPlanForm::FormClose(TCloseAction& action) { action = TCloseAction::caFree; }

void TPlanForm::FormCreate() {
  // Frees whatever series the chart holds; there are none yet.
  chart_->RemoveAllSeries(nullptr);
  LoadFromView();
}

void TPlanForm::ScheduleLoad() {
  if (loadPending_) return;
  loadPending_ = true;
  QTimer::singleShot(0, this, [this] {
    loadPending_ = false;
    Guarded([&] { LoadFromView(); });
  });
}

bool TPlanForm::LoadFromView() {
  if (owner_ == nullptr) return loaded_;
  TPlanChart& chart = *chart_;
  // The chart owns its series: removing them frees them, before the new ones are counted.
  chart.ClearCollars();
  chart.RemoveAllSeries(nullptr);
  loaded_ = false;
  const TPlanData data = CollectPlanData(owner_->Root());
  const QSize size = FrameWidget()->size();
  const int64_t needed = PlanMemoryNeeded(data, size.width(), size.height());
  // Refused with nothing kept, the chart empty, in the count's words.
  auto refuse = [&](int64_t neededBytes, std::optional<int64_t> availableBytes) {
    chart.ClearCollars();
    chart.RemoveAllSeries(nullptr);
    Services().Messages->ShowMessage(PlanMemoryText(data.Boreholes.size(), neededBytes, availableBytes),
                                     TMessageKind::Error);
    return false;
  };
  if (!MemoryFits(needed)) return refuse(needed, std::nullopt);
  // The lines are built one at a time. Every so many, the memory left is read again
  // and what remains to build is weighed at the rate the built ones really took (never
  // below the count's), one more stretch of them included: a count that falls short
  // is refused as it goes rather than the program killed.
  const int64_t roomAtStart = AvailableMemory();
  int64_t counted = 0, countedAtCheck = 0;
  int32_t sinceCheck = 0;
  double rate = 1;
  auto room = [&](int64_t bytes) {
    counted += bytes;
    if (++sinceCheck < kPlanObjectsPerCheck) return true;
    sinceCheck = 0;
    const int64_t now = AvailableMemory();
    rate = std::max(1.0, static_cast<double>(roomAtStart - now) / static_cast<double>(counted));
    const auto rest = static_cast<double>(std::max<int64_t>(needed - counted, 0) + (counted - countedAtCheck));
    countedAtCheck = counted;
    return rest * rate <= static_cast<double>(now);
  };
  // Told as the plan's need at the rate it really took, against the memory there was
  // when it began (what the lines took goes back with them).
  auto refuseAsItGoes = [&] { return refuse(SaturateCast<int64_t>(static_cast<double>(needed) * rate), roomAtStart); };
  auto add = [&](std::unique_ptr<TLineSeries> series) { chart.AddSeries(std::move(series)); };
  for (const auto& [a, b] : data.Sections) {
    if (!room(PlanLineBytes(2))) return refuseAsItGoes();
    std::unique_ptr<TLineSeries> line = PlanLine(clGray, 1);
    line->AddXY(a.Y, a.X);
    line->AddXY(b.Y, b.X);
    add(std::move(line));
  }
  int32_t index = 0;
  for (const TPlanBorehole& hole : data.Boreholes) {
    if (!room(PlanBoreholeBytes(hole))) return refuseAsItGoes();
    const TColor colour = chart.GetDefaultColor(index++);
    std::unique_ptr<TLineSeries> path = PlanLine(colour, 2);
    path->SetTitle(hole.Name);
    path->Name = hole.Name;
    path->AddXY(hole.Collar.Y, hole.Collar.X);
    for (const TSurveyPoint& p : hole.Path) path->AddXY(p.Y, p.X);
    add(std::move(path));
    std::unique_ptr<TLineSeries> collar = PlanLine(colour, 1);
    collar->SetTitle(hole.Name);
    collar->Pointer.SetVisible(true);
    collar->Pointer.SetHorizSize(kCollarMark);
    collar->Pointer.SetVertSize(kCollarMark);
    collar->AddXY(hole.Collar.Y, hole.Collar.X);
    chart.AddCollar(*collar);
    add(std::move(collar));
  }
  FitAxes(data);
  loaded_ = true;
  return true;
}

void TPlanForm::FitAxes(const TPlanData& data) {
  TSurveyPoint lo = EmptyBoundsMin, hi = EmptyBoundsMax;
  auto extend = [&](const TSurveyPoint& p) {
    lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), 0};
    hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), 0};
  };
  for (const TPlanBorehole& hole : data.Boreholes) {
    extend(hole.Collar);
    for (const TSurveyPoint& p : hole.Path) extend(p);
  }
  if (data.Boreholes.empty()) return;
  if (fitted_ && lo == fittedMin_ && hi == fittedMax_) return;
  fitted_ = true;
  fittedMin_ = lo;
  fittedMax_ = hi;
  // A margin of a tenth of the larger extent (at least 10 m) keeps the collars' marks
  // and names off the axes.
  const double margin = std::max(10.0, 0.1 * std::max(hi.X - lo.X, hi.Y - lo.Y));
  chart_->BottomAxis().SetMinMax(lo.Y - margin, hi.Y + margin);
  chart_->LeftAxis().SetMinMax(lo.X - margin, hi.X + margin);
  ChartResize();
}

void TPlanForm::ChartResize() {
  TChart& chart = *chart_;
  // The chart rectangle is recomputed here, from the current size and ranges; no
  // pending event is run to get it.
  chart.CalcChartLayout();
  const TRect r = chart.ChartRect();
  TChartAxis& bottom = chart.BottomAxis();
  TChartAxis& left = chart.LeftAxis();
  const TPlanRanges ranges = EqualScaleRanges(
      r.Width(), r.Height(), {{bottom.Minimum(), bottom.Maximum()}, {left.Minimum(), left.Maximum()}});
  bottom.SetMinMax(ranges.Bottom.Min, ranges.Bottom.Max);
  left.SetMinMax(ranges.Left.Min, ranges.Left.Max);
}

void TPlanForm::ChartGetNextAxisLabel(TChartAxis& sender, int32_t labelIndex, double& labelValue, bool& stop) {
  if (&sender != &chart_->LeftAxis()) return;
  stop = !NextPlanLabel(chart_->BottomAxis().CalcIncrement(), chart_->LeftAxis().Minimum(), labelIndex, labelValue);
}

TPlanRanges TPlanForm::Ranges() const {
  const TChartAxis& bottom = chart_->BottomAxis();
  const TChartAxis& left = chart_->LeftAxis();
  return {{bottom.Minimum(), bottom.Maximum()}, {left.Minimum(), left.Maximum()}};
}

void TPlanForm::SetRanges(const TPlanRanges& ranges) {
  chart_->BottomAxis().SetMinMax(ranges.Bottom.Min, ranges.Bottom.Max);
  chart_->LeftAxis().SetMinMax(ranges.Left.Min, ranges.Left.Max);
}

void TPlanForm::CalcLayout() { chart_->CalcChartLayout(); }

TRect TPlanForm::ChartRect() const { return chart_->ChartRect(); }

TColor TPlanForm::ChartPixel(int32_t x, int32_t y) const { return chart_->ControlCanvas().Pixel(x, y); }

TColor TPlanForm::BoreholeColor(const std::string& name) const {
  for (const TLineSeries* series : chart_->Collars())
    if (series->Title() == name) return series->SeriesColor();
  return clNone;
}

void TPlanForm::SpeedButton1Click() { chart_->ZoomPercent(133.333333); }
void TPlanForm::SpeedButton2Click() { chart_->ZoomPercent(75); }

// --------------------------------------------------------- [SECTION] view window

void TForm3D::Createplan1Click() {
  auto* plan = new TPlanForm(*this);
  // Refused for memory (and told): the window goes with its sub-window, never shown.
  if (!plan->Loaded()) {
    delete plan->FrameWidget();
    return;
  }
  PlanForms.push_back(plan);
}

}  // namespace qira

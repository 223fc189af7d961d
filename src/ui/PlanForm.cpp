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

#include "chart/engine/Chart.h"
#include "chart/engine/LineSeries.h"
#include "model/Borehole.h"
#include "model/GraphMain.h"
#include "model/Section.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
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
  auto collar = [&](const std::string& name) -> const TSurveyPoint* {
    for (const TPlanBorehole& b : data.Boreholes)
      if (b.Name == name) return &b.Collar;
    return nullptr;
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

// ----------------------------------------------------------------- [SECTION] chart

namespace {

constexpr int32_t kCollarMark = 3;  // half size of the collar's square, pixels

// A line through the points in the order given (east along X, north along Y).
std::unique_ptr<TLineSeries> PlanLine(TColor colour, int32_t width) {
  auto line = std::make_unique<TLineSeries>();
  line->XValues().SetOrder(loNone);
  line->SetSeriesColor(colour);
  line->LinePen().SetWidth(width);
  return line;
}

}  // namespace

// The chart of the plan: it writes each collar's name beside the collar's mark.
class TPlanChart : public TChart {
 public:
  using TChart::TChart;
  // The one-point series that mark the collars (the chart owns them).
  std::vector<const TLineSeries*> Collars;

 protected:
  void DrawSeriesValues(TChartSeries& series) override {
    TChart::DrawSeriesValues(series);
    if (std::find(Collars.begin(), Collars.end(), &series) == Collars.end() || series.Count() == 0) return;
    TChartCanvas3D& canvas = ChartCanvas();
    const int32_t x = series.CalcXPos(0), y = series.CalcYPos(0);
    canvas.SetBackMode(bkTransparent);
    canvas.TextOut(x + kCollarMark + 3, y - kCollarMark - canvas.TextHeight(series.Title()), series.Title());
  }
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
    subWindow_ = sub;
  }
  FrameWidget()->resize(551, 443);  // 689 × 554 as designed at 120 pixels per inch
  FormCreate();
  FrameWidget()->show();
  // The window area places a new window where there is room, which may be partly
  // outside what shows: all of the plan stays inside.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(subWindow_.data()); sub != nullptr && sub->mdiArea() != nullptr)
    sub->setGeometry(FitInside(sub->geometry(), sub->mdiArea()->viewport()->rect()));
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

void TPlanForm::LoadFromView() {
  if (owner_ == nullptr) return;
  const TPlanData data = CollectPlanData(owner_->Root());
  TPlanChart& chart = *chart_;
  // The chart owns its series: removing them frees them.
  chart.Collars.clear();
  chart.RemoveAllSeries(nullptr);
  auto add = [&](std::unique_ptr<TLineSeries> series) { chart.AddSeries(std::move(series)); };
  for (const auto& [a, b] : data.Sections) {
    std::unique_ptr<TLineSeries> line = PlanLine(clGray, 1);
    line->AddXY(a.Y, a.X);
    line->AddXY(b.Y, b.X);
    add(std::move(line));
  }
  int32_t index = 0;
  for (const TPlanBorehole& hole : data.Boreholes) {
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
    chart.Collars.push_back(collar.get());
    add(std::move(collar));
  }
  FitAxes(data);
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
  for (const TLineSeries* series : chart_->Collars)
    if (series->Title() == name) return series->SeriesColor();
  return clNone;
}

void TPlanForm::SpeedButton1Click() { chart_->ZoomPercent(133.333333); }
void TPlanForm::SpeedButton2Click() { chart_->ZoomPercent(75); }

// --------------------------------------------------------- [SECTION] view window

void TForm3D::Createplan1Click() {
  PlanForms.push_back(nullptr);
  PlanForms.back() = new TPlanForm(*this);
}

}  // namespace qira

#include "ui/PaletteEditor.h"

// Sections:
//   1. registration and the paint box
//   2. construction and start
//   3. drawing
//   4. mouse
//   5. controls

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "model/Graph2D.h"
#include "model/PaletteAxis.h"
#include "model/StreamHelpers.h"
#include "platform/Canvas.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
#include "widgets/SpinEdit.h"

namespace qira {

namespace {

// The paint box: the raised frame around the bar sits kFrameMargin pixels in from
// the left, right and top (room for the markers above it); the axis and its labels
// take the rows under it.
constexpr int kBoxWidth = 420;
constexpr int kBoxHeight = 84;
constexpr int kFrameMargin = 16;
constexpr int kFrameHeight = 32;
// Markers: a triangle from 2 to 12 pixels above the bar, 5 pixels to either side.
constexpr int kMarkerTip = 2;
constexpr int kMarkerBase = 12;
constexpr int kMarkerHalf = 5;
constexpr int kRangeDecimals = 6;

TColor ToColor(const QColor& c) {
  return MakeColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

}  // namespace

// ---- 1. registration and the paint box ---------------------------------------------------

void RegisterPaletteEditor() {
  SetPaletteEditor([](TZBPalette& palette, double dataMin, double dataMax) {
    TPaletteForm form(QApplication::activeWindow());
    form.SetDataRange(dataMin, dataMax);
    return form.Execute(palette);
  });
}

TPaletteBox::TPaletteBox(TPaletteForm* form, QWidget* parent) : QWidget(parent), form_(form) {
  setFixedSize(kBoxWidth, kBoxHeight);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaletteBox::paintEvent(QPaintEvent*) {
  if (buffer_.size() != size()) {
    form_->ComputeBarRect();
    form_->RenderBuffer();
  }
  QPainter painter(this);
  painter.drawImage(0, 0, buffer_);
}

void TPaletteBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  form_->RepaintBox();
}

void TPaletteBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  form_->BoxMouseMove(p.x(), p.y());
}

void TPaletteBox::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  form_->BoxMouseDown(event->button(), p.x(), p.y());
}

void TPaletteBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  form_->BoxMouseUp(event->button(), p.x(), p.y());
}

void TPaletteBox::mouseDoubleClickEvent(QMouseEvent* event) {
  // The double click replaces the second press: it starts no drag.
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  form_->BoxDoubleClick(p.x(), p.y());
}

// ---- 2. construction and start ------------------------------------------------------------

TPaletteForm::TPaletteForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Palette"));

  box_ = new TPaletteBox(this, this);

  brightness_ = new TSpinEditEx(this);
  brightness_->SetMinValue(0);
  brightness_->SetMaxValue(100);
  logarithm_ = new QCheckBox(QStringLiteral("Logarithm"), this);
  minimumLabel_ = new QLabel(QStringLiteral("Minimum:"), this);
  maximumLabel_ = new QLabel(QStringLiteral("Maximum:"), this);
  minimum_ = new TSpinEditEx(this);
  maximum_ = new TSpinEditEx(this);
  for (TSpinEditEx* edit : {minimum_, maximum_}) {
    edit->SetValueType(vtFloat);
    edit->SetDecimal(kRangeDecimals);
  }
  automatical_ = new QCheckBox(QStringLiteral("Automatical"), this);
  inverse_ = new QPushButton(QStringLiteral("Inverse"), this);
  reverse_ = new QPushButton(QStringLiteral("Reverse"), this);
  open_ = new QPushButton(QStringLiteral("Open"), this);
  save_ = new QPushButton(QStringLiteral("Save"), this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  for (QPushButton* b : {inverse_, reverse_, open_, save_, cancel_}) b->setAutoDefault(false);
  ok_->setDefault(true);

  menu_ = new QMenu(this);
  add_ = menu_->addAction(QStringLiteral("Add"));
  delete_ = menu_->addAction(QStringLiteral("Delete"));

  auto* controls = new QGridLayout();
  controls->addWidget(new QLabel(QStringLiteral("Brightness:"), this), 0, 0);
  controls->addWidget(brightness_, 0, 1);
  controls->addWidget(logarithm_, 0, 2);
  controls->addWidget(minimumLabel_, 1, 0);
  controls->addWidget(minimum_, 1, 1);
  controls->addWidget(automatical_, 1, 2);
  controls->addWidget(maximumLabel_, 2, 0);
  controls->addWidget(maximum_, 2, 1);
  auto* tools = new QHBoxLayout();
  for (QPushButton* b : {inverse_, reverse_, open_, save_}) tools->addWidget(b);
  tools->addStretch(1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box_);
  layout->addLayout(controls);
  layout->addLayout(tools);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  brightness_->OnChange = [this] { Guarded([this] { BrightnessChange(); }); };
  minimum_->OnChange = [this] { Guarded([this] { RangeChange(); }); };
  maximum_->OnChange = [this] { Guarded([this] { RangeChange(); }); };
  connect(logarithm_, &QCheckBox::toggled, this, [this] { Guarded([this] { LogarithmClick(); }); });
  connect(automatical_, &QCheckBox::toggled, this, [this] { Guarded([this] { AutomaticalClick(); }); });
  connect(inverse_, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      working_.InvertColors();
      RepaintBox();
    });
  });
  connect(reverse_, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      working_.Reverse();
      RepaintBox();
    });
  });
  connect(open_, &QPushButton::clicked, this, [this] { Guarded([this] { OpenClick(); }); });
  connect(save_, &QPushButton::clicked, this, [this] { Guarded([this] { working_.SaveToClrFile(); }); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    bool held = false;
    Guarded([&] { held = ConfirmFields(); });
    if (held) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(add_, &QAction::triggered, this, [this] { Guarded([this] { AddClick(); }); });
  connect(delete_, &QAction::triggered, this, [this] { Guarded([this] { DeleteClick(); }); });
  minimum_->installEventFilter(this);
  maximum_->installEventFilter(this);

  ComputeBarRect();
}

TPaletteForm::~TPaletteForm() {
  // The edits outlive the form's members while QObject tears the children down.
  loading_ = true;
  for (TSpinEditEx* edit : {brightness_, minimum_, maximum_}) edit->OnChange = nullptr;
  for (TSpinEditEx* edit : {minimum_, maximum_}) edit->removeEventFilter(this);
}

void TPaletteForm::SetDataRange(double dataMin, double dataMax) {
  // An infinite end (+infinity stands for "no data") is no range either.
  if (!(dataMin < dataMax) || !std::isfinite(dataMin) || !std::isfinite(dataMax)) return;
  dataMin_ = dataMin;
  dataMax_ = dataMax;
  hasDataRange_ = true;
}

void TPaletteForm::Start(const TZBPalette& palette) {
  working_.Assign(palette);
  loading_ = true;
  brightness_->SetValue(working_.Intensity());
  logarithm_->setChecked(working_.Logarithmic());
  ShowRangeValue(minimum_, working_.Min());
  ShowRangeValue(maximum_, working_.Max());
  KeepRangeBeforeEdit();
  hotPos_ = kNoHotPos;
  dragging_ = false;
  dragX_ = -1;
  selected_ = -1;
  ComputeBarRect();

  const bool autoPossible = hasDataRange_ && (!working_.Logarithmic() || (dataMin_ > 0 && dataMax_ > 0));
  automatical_->setEnabled(autoPossible);
  automatical_->setChecked(working_.AutoRange() && autoPossible);
  loading_ = false;
  AutomaticalClick();
  RepaintBox();
}

bool TPaletteForm::Execute(TZBPalette& palette) {
  Start(palette);
  if (exec() != QDialog::Accepted) return false;
  palette.Assign(working_);
  return true;
}

// ---- 3. drawing ------------------------------------------------------------------------------

void TPaletteForm::ComputeBarRect() {
  const int frameLeft = kFrameMargin;
  const int frameTop = kFrameMargin;
  const int frameWidth = box_->width() - 2 * kFrameMargin;
  bar_ = {frameLeft + 1, frameTop + 1, frameLeft + frameWidth - 2, frameTop + kFrameHeight - 1};
}

int TPaletteForm::PosToX(double percent) const {
  return RoundToInt(percent * (bar_.Right - bar_.Left) / 100.0) + bar_.Left;
}

int TPaletteForm::XToPos(int x) const {
  const int span = bar_.Right - bar_.Left;
  if (span <= 0) return 0;
  return std::clamp(RoundToInt(static_cast<double>(x - bar_.Left) / span * 100.0), 0, 100);
}

void TPaletteForm::RenderBuffer() {
  QImage& buffer = box_->Buffer();
  buffer = QImage(box_->size(), QImage::Format_RGB32);
  buffer.fill(box_->palette().color(QPalette::Window));
  TCanvas canvas(&buffer);

  // The raised frame: light above and left, dark below and right.
  const int frameRight = bar_.Right + 1;
  const int frameBottom = bar_.Bottom;
  const int frameLeft = bar_.Left - 1;
  const int frameTop = bar_.Top - 1;
  canvas.SetPen({ToColor(box_->palette().color(QPalette::Light)), 1, psSolid, pmCopy});
  canvas.MoveTo(frameLeft, frameBottom);
  canvas.LineTo(frameLeft, frameTop);
  canvas.LineTo(frameRight + 1, frameTop);
  canvas.SetPen({ToColor(box_->palette().color(QPalette::Dark)), 1, psSolid, pmCopy});
  canvas.MoveTo(frameLeft, frameBottom);
  canvas.LineTo(frameRight, frameBottom);
  canvas.LineTo(frameRight, frameTop);

  TGraph2DCanvas graph(canvas);
  const TRect2D bar{static_cast<double>(bar_.Left), static_cast<double>(bar_.Top), static_cast<double>(bar_.Right),
                    static_cast<double>(bar_.Bottom)};
  working_.DrawBar(graph, bar, 1);
  TAxis axis;
  axis.SetRange(working_.Min(), working_.Max());
  axis.SetBounds(bar.X1, bar.X2, bar.Y1, bar.Y2);
  axis.SetOrientation(3);
  axis.SetLogarithmic(working_.Logarithmic());
  axis.LabelFont.Size = 6;
  axis.Draw(graph);

  // The markers show the colours as stored, without the intensity.
  canvas.SetPen({clBlack, 0, psSolid, pmCopy});
  for (int i = 0; i < working_.Count(); ++i) {
    const int x = PosToX(working_.GetPosition(i));
    canvas.SetBrush({working_.GetColor(i), bsSolid});
    const TPoint triangle[3] = {{x, bar_.Top - kMarkerTip},
                                {x - kMarkerHalf, bar_.Top - kMarkerBase},
                                {x + kMarkerHalf, bar_.Top - kMarkerBase}};
    canvas.Polygon(triangle);
  }
  if (hotPos_ <= 100) DrawHotMarker(hotPos_);
}

void TPaletteForm::DrawHotMarker(int pos) {
  QImage& buffer = box_->Buffer();
  if (buffer.isNull()) return;
  TCanvas canvas(&buffer);
  canvas.SetPen({clBlack, 0, psSolid, pmNot});
  canvas.SetBrush({clWhite, bsClear});
  const int x = PosToX(pos);
  const TPoint triangle[3] = {{x, bar_.Top - kMarkerTip},
                              {x - kMarkerHalf, bar_.Top - kMarkerBase},
                              {x + kMarkerHalf, bar_.Top - kMarkerBase}};
  canvas.Polygon(triangle);
  canvas.MoveTo(x, bar_.Top);
  canvas.LineTo(x, bar_.Bottom);
}

void TPaletteForm::SetHotPos(int pos) {
  if (pos == hotPos_) return;
  if (hotPos_ <= 100) DrawHotMarker(hotPos_);
  hotPos_ = pos;
  if (hotPos_ <= 100) DrawHotMarker(hotPos_);
  box_->update();
}

void TPaletteForm::RepaintBox() {
  ComputeBarRect();
  RenderBuffer();
  box_->update();
}

// ---- 4. mouse ----------------------------------------------------------------------------------

int TPaletteForm::MarkerUnder(int x, int y) const {
  if (x < bar_.Left - kMarkerHalf || x > bar_.Right + kMarkerHalf) return -1;
  if (y < bar_.Top - kMarkerBase || y > bar_.Bottom) return -1;
  int best = -1;
  int bestDistance = kMarkerHalf + 1;
  for (int i = 0; i < working_.Count(); ++i) {
    const int distance = std::abs(PosToX(working_.GetPosition(i)) - x);
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

void TPaletteForm::BoxMouseMove(int x, int y) {
  Guarded([&] {
    if (dragging_) {
      SetHotPos(XToPos(x));
      dragX_ = x;
      return;
    }
    selected_ = MarkerUnder(x, y);
    SetHotPos(selected_ >= 0 ? working_.GetPosition(selected_) : kNoHotPos);
  });
}

void TPaletteForm::BoxMouseDown(Qt::MouseButton button, int x, int y) {
  Guarded([&] {
    mouseDownX_ = x;
    mouseDownY_ = y;
    if (button == Qt::LeftButton) {
      if (hotPos_ >= 1 && hotPos_ <= 99 && selected_ >= 0) {
        dragging_ = true;
        dragX_ = x;
      }
    } else if (button == Qt::RightButton) {
      const bool inMarkerArea = x >= bar_.Left - kMarkerHalf && x <= bar_.Right + kMarkerHalf &&
                                y >= bar_.Top - kMarkerBase && y <= bar_.Bottom;
      delete_->setVisible(selected_ >= 0);
      add_->setVisible(selected_ < 0 && inMarkerArea);
      dragging_ = false;
      dragX_ = -1;
      // An empty menu is not worth opening.
      if (delete_->isVisible() || add_->isVisible()) menu_->popup(box_->mapToGlobal(QPoint(x, y)));
    }
  });
}

void TPaletteForm::BoxMouseUp(Qt::MouseButton button, int x, int y) {
  Guarded([&] {
    if (button != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    dragX_ = -1;
    working_.SetPosition(selected_, hotPos_);
    // The stops may have been re-sorted or merged into an end: select afresh.
    selected_ = MarkerUnder(x, y);
    hotPos_ = selected_ >= 0 ? working_.GetPosition(selected_) : kNoHotPos;
    RepaintBox();
  });
}

void TPaletteForm::BoxDoubleClick(int, int) {
  Guarded([&] {
    dragging_ = false;
    dragX_ = -1;
    const int index = selected_;
    if (index >= 0 && ChooseColor) {
      if (std::optional<TColor> chosen = ChooseColor(working_.GetColor(index), this)) {
        working_.SetColor(index, *chosen);
        RepaintBox();
      }
    }
    SetHotPos(kNoHotPos);
    selected_ = -1;
  });
}

// ---- 5. controls ---------------------------------------------------------------------------

void TPaletteForm::AddClick() {
  const int p = XToPos(mouseDownX_);
  if (p <= 100) working_.AddStop(p, working_.ColorAtPercent(p));
  selected_ = -1;
  hotPos_ = kNoHotPos;
  RepaintBox();
}

void TPaletteForm::DeleteClick() {
  if (selected_ >= 1 && selected_ <= working_.Count() - 2) working_.DeleteStop(selected_);
  selected_ = -1;
  hotPos_ = kNoHotPos;
  RepaintBox();
}

void TPaletteForm::OpenClick() {
  if (!working_.LoadFromClrFile()) return;
  loading_ = true;
  brightness_->SetValue(working_.Intensity());
  loading_ = false;
  RepaintBox();
}

void TPaletteForm::BrightnessChange() {
  if (loading_) return;
  // A number beyond 0 .. 100 takes the bound the edit itself keeps on leaving,
  // not the last number on the way to it ("150" is not left at "15").
  working_.SetIntensity(RoundToInt(brightness_->CheckValue(brightness_->Value())));
  RepaintBox();
}

void TPaletteForm::LogarithmClick() {
  if (loading_) return;
  working_.SetLogarithmic(logarithm_->isChecked());
  if (logarithm_->isChecked() && !working_.Logarithmic()) {
    loading_ = true;
    logarithm_->setChecked(false);
    loading_ = false;
  }
  RepaintBox();
}

void TPaletteForm::ShowRangeValue(TSpinEditEx* edit, double value) {
  const bool wasLoading = loading_;
  loading_ = true;
  edit->SetValue(value);
  if (edit == minimum_) {
    shownMin_ = value;
    shownMinText_ = edit->text();
  } else {
    shownMax_ = value;
    shownMaxText_ = edit->text();
  }
  loading_ = wasLoading;
  if (!loading_) RangeChange();
}

double TPaletteForm::RangeValue(const TSpinEditEx* edit) const {
  if (edit == minimum_ && edit->text() == shownMinText_) return shownMin_;
  if (edit == maximum_ && edit->text() == shownMaxText_) return shownMax_;
  return edit->Value();
}

void TPaletteForm::RangeChange() {
  if (loading_) return;
  working_.SetRange(RangeValue(minimum_), RangeValue(maximum_));
  RepaintBox();
}

bool TPaletteForm::ConfirmRange() {
  const double shownMin = RangeValue(minimum_);
  const double shownMax = RangeValue(maximum_);
  working_.SetRange(shownMin, shownMax);
  if (working_.Min() == shownMin && working_.Max() == shownMax) {
    KeepRangeBeforeEdit();
    return true;
  }
  ShowMessageDlg(shownMin < shownMax ? "Minimum and maximum must be greater than 0 on a logarithmic scale"
                                     : "Minimum must be less then maximum",
                 1);
  working_.SetRange(minBeforeEdit_, maxBeforeEdit_);
  const bool wasLoading = loading_;
  loading_ = true;
  ShowRangeValue(minimum_, working_.Min());
  ShowRangeValue(maximum_, working_.Max());
  loading_ = wasLoading;
  // The fields were written without their own repaint: the bar shows the range they do.
  RepaintBox();
  return false;
}

void TPaletteForm::KeepRangeBeforeEdit() {
  minBeforeEdit_ = working_.Min();
  maxBeforeEdit_ = working_.Max();
}

bool TPaletteForm::ConfirmFields() {
  if (RoundToInt(brightness_->Value()) != working_.Intensity()) {
    const bool wasLoading = loading_;
    loading_ = true;
    brightness_->SetValue(working_.Intensity());
    loading_ = wasLoading;
  }
  return ConfirmRange();
}

bool TPaletteForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && (watched == minimum_ || watched == maximum_) && !loading_)
    KeepRangeBeforeEdit();
  if (event->type() == QEvent::FocusOut && (watched == minimum_ || watched == maximum_) && isVisible() &&
      !loading_) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // Leaving the window (Alt+Tab, a popup) is no leaving of the field; OK and
    // Cancel decide themselves once clicked.
    const QWidget* next = QApplication::focusWidget();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next != ok_ && next != cancel_)
      Guarded([this] { ConfirmRange(); });
  }
  return QDialog::eventFilter(watched, event);
}

void TPaletteForm::AutomaticalClick() {
  if (loading_) return;
  const bool on = automatical_->isChecked();
  if (on) {
    ShowRangeValue(minimum_, dataMin_);
    ShowRangeValue(maximum_, dataMax_);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{minimum_, maximum_, minimumLabel_, maximumLabel_})
    w->setEnabled(!on);
  working_.SetAutoRange(on);
  RepaintBox();
}

}  // namespace qira

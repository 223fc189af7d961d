#include "ui/DistanceDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/StreamHelpers.h"
#include "platform/HandlerGuard.h"
#include "ui/ViewWindow.h"
#include "widgets/SpinEdit.h"
#include "ui/DialogSupport.h"

namespace qira {

void RegisterDistanceDialog() {
  ViewWindowHooks().DistanceDialog = [](QWidget* parent, const std::vector<TGraphMain*>& objects) {
    std::vector<TGraphBorehole*> boreholes;
    for (TGraphMain* o : objects)
      if (auto* b = dynamic_cast<TGraphBorehole*>(o)) boreholes.push_back(b);
    if (boreholes.size() < 2) return;
    IgnoreNextMouseMove = true;
    TCanculateDistForm dialog(parent);
    dialog.Execute(boreholes);
  };
}

std::vector<TDistanceRow> CalculateDistanceTable(const TGraphBorehole& a, const TGraphBorehole& b, double shift,
                                                 double step) {
  std::vector<TDistanceRow> rows;
  if (a.Points.empty()) return rows;
  const double top = a.TopDepth();
  const double bottom = a.BottomDepth();
  const bool bHasDepths = !b.Points.empty();
  const TPathAtDepths pathA(a), pathB(b);
  // Depths are counted from the top rather than summed, so no error builds up
  // over a long table.
  for (int i = 0; i < MaxDistanceRows; ++i) {
    const double d = top + i * step;
    if (d > bottom) break;
    const double other = d + shift;
    TDistanceRow row;
    row.Depth1 = FloatToStrFixed(1, d);
    const bool onB = bHasDepths && b.TopDepth() <= other && other <= b.BottomDepth();
    row.Depth2 = onB ? FloatToStrFixed(1, other) : "-";
    row.Distance = FloatToStrFixed(1, PointDistance(pathA.PointAt(d), pathB.PointAt(other)));
    rows.push_back(std::move(row));
    if (!(step > 0)) break;
  }
  return rows;
}

TCanculateDistForm::TCanculateDistForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Distances"));
  first_ = new QComboBox(this);
  second_ = new QComboBox(this);

  shift_ = new TSpinEditEx(this);
  shift_->SetValueType(vtInteger);
  shift_->SetIncrement(10);
  shift_->SetValue(0);
  step_ = new TSpinEditEx(this);
  step_->SetValueType(vtInteger);
  step_->SetIncrement(10);
  step_->SetMinValue(0);
  step_->SetMaxValue(100000);
  step_->SetValue(200);

  table_ = new QTreeWidget(this);
  table_->setColumnCount(3);
  table_->setHeaderLabels({QStringLiteral("Borehole1"), QStringLiteral("Borehole2"), QStringLiteral("Distance")});
  table_->setRootIsDecorated(false);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);

  close_ = new QPushButton(QStringLiteral("Close"), this);
  close_->setDefault(true);
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });

  auto* controls = new QGridLayout();
  controls->addWidget(first_, 0, 0);
  controls->addWidget(second_, 0, 1);
  controls->addWidget(new QLabel(QStringLiteral("Shift:"), this), 1, 0);
  controls->addWidget(shift_, 1, 1);
  controls->addWidget(new QLabel(QStringLiteral("Step:"), this), 2, 0);
  controls->addWidget(step_, 2, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);

  auto recalculate = [this] { Guarded([this] { Recalculate(); }); };
  connect(first_, &QComboBox::currentIndexChanged, this, recalculate);
  connect(second_, &QComboBox::currentIndexChanged, this, recalculate);
  shift_->OnChange = recalculate;
  step_->OnChange = recalculate;
}

void TCanculateDistForm::Start(const std::vector<TGraphBorehole*>& boreholes) {
  boreholes_ = boreholes;
  starting_ = true;
  first_->clear();
  second_->clear();
  for (TGraphBorehole* b : boreholes_) {
    first_->addItem(ToQt(b->Name()));
    second_->addItem(ToQt(b->Name()));
  }
  if (!boreholes_.empty()) first_->setCurrentIndex(0);
  if (boreholes_.size() > 1) second_->setCurrentIndex(1);
  starting_ = false;
  Recalculate();
}

void TCanculateDistForm::Recalculate() {
  if (starting_) return;
  table_->clear();
  const int ia = first_->currentIndex();
  const int ib = second_->currentIndex();
  const int n = static_cast<int>(boreholes_.size());
  if (ia < 0 || ib < 0 || ia >= n || ib >= n) return;
  const TGraphBorehole& a = *boreholes_[static_cast<size_t>(ia)];
  const TGraphBorehole& b = *boreholes_[static_cast<size_t>(ib)];
  table_->headerItem()->setText(0, ToQt(a.Name()));
  table_->headerItem()->setText(1, ToQt(b.Name()));
  QList<QTreeWidgetItem*> items;
  const double step = step_->CheckValue(step_->Value());
  for (const TDistanceRow& row : CalculateDistanceTable(a, b, shift_->Value(), step))
    items.append(new QTreeWidgetItem(QStringList{ToQt(row.Depth1), ToQt(row.Depth2), ToQt(row.Distance)}));
  table_->addTopLevelItems(items);
}

void TCanculateDistForm::Execute(const std::vector<TGraphBorehole*>& boreholes) {
  Start(boreholes);
  exec();
}

}  // namespace qira

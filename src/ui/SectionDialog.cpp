#include "ui/SectionDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

#include "platform/HandlerGuard.h"
#include "ui/DialogSupport.h"

// Sections: registration; construction; data range; start and finish; palette button.

namespace qira {

// ---- Registration -------------------------------------------------------------------

void RegisterSectionDialog() {
  SetSectionEditor([](const std::string& caption, double dataMin, double dataMax, TSectionSettings& settings,
                      TTransparencyParams& pair) {
    TGraphSectionForm form(QApplication::activeWindow());
    form.setWindowTitle(ToQtTitle(caption));
    form.SetDataRange(dataMin, dataMax);
    return form.Execute(settings, pair);
  });
}

// ---- Construction -------------------------------------------------------------------

TGraphSectionForm::TGraphSectionForm(QWidget* parent) : QDialog(parent) {
  // " Palette "
  auto* palette = new QGroupBox(QStringLiteral(" Palette "), this);
  Edit_ = new QPushButton(QStringLiteral("Edit"), palette);
  ShowAboveMax_ = new QCheckBox(QStringLiteral("Show more maximum"), palette);
  ShowBelowMin_ = new QCheckBox(QStringLiteral("Show less minimum"), palette);
  PaletteForAll_ = new QCheckBox(QStringLiteral("Accept for all"), palette);
  auto* paletteLayout = new QGridLayout(palette);
  paletteLayout->addWidget(Edit_, 0, 0);
  paletteLayout->addWidget(ShowAboveMax_, 0, 1);
  paletteLayout->addWidget(ShowBelowMin_, 1, 1);
  paletteLayout->addWidget(PaletteForAll_, 2, 0, 1, 2);

  // " Image style  "
  auto* style = new QGroupBox(QStringLiteral(" Image style  "), this);
  Gradient_ = new QRadioButton(QStringLiteral("Gradient"), style);
  Cells_ = new QRadioButton(QStringLiteral("Cells"), style);
  Gradient_->setChecked(true);
  StyleForAll_ = new QCheckBox(QStringLiteral("Accept for all"), style);
  auto* styleLayout = new QVBoxLayout(style);
  styleLayout->addWidget(Gradient_);
  styleLayout->addWidget(Cells_);
  styleLayout->addWidget(StyleForAll_);

  // " Filling mode  ": the radio buttons sit on a panel of their own, so they form
  // one exclusive set apart from the group's check box.
  auto* fill = new QGroupBox(QStringLiteral(" Filling mode  "), this);
  auto* fillPanel = new QWidget(fill);
  Solid_ = new QRadioButton(QStringLiteral("Solid"), fillPanel);
  Lines_ = new QRadioButton(QStringLiteral("Lines"), fillPanel);
  Points_ = new QRadioButton(QStringLiteral("Points"), fillPanel);
  Solid_->setChecked(true);
  auto* panelLayout = new QVBoxLayout(fillPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(Solid_);
  panelLayout->addWidget(Lines_);
  panelLayout->addWidget(Points_);
  FillForAll_ = new QCheckBox(QStringLiteral("Accept for all  "), fill);
  auto* fillLayout = new QVBoxLayout(fill);
  fillLayout->addWidget(fillPanel);
  fillLayout->addWidget(FillForAll_);

  // " Transparency: "
  auto* transparency = new QGroupBox(QStringLiteral(" Transparency: "), this);
  Transparency_ = new QSlider(Qt::Horizontal, transparency);
  Transparency_->setRange(0, 255);
  Transparency_->setTickPosition(QSlider::NoTicks);
  TransparencyForAll_ = new QCheckBox(QStringLiteral("Accept for all  "), transparency);
  auto* transparencyLayout = new QVBoxLayout(transparency);
  transparencyLayout->addWidget(Transparency_);
  transparencyLayout->addWidget(TransparencyForAll_);

  Ok_ = new QPushButton(QStringLiteral("OK"), this);
  Cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  Ok_->setDefault(true);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(Ok_);
  buttons->addWidget(Cancel_);

  auto* groups = new QGridLayout();
  groups->addWidget(palette, 0, 0);
  groups->addWidget(style, 0, 1);
  groups->addWidget(transparency, 1, 0);
  groups->addWidget(fill, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups);
  layout->addLayout(buttons);
  resize(415, 293);

  connect(Ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(Cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(Edit_, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn1Click(); }); });
}

// ---- Data range ---------------------------------------------------------------------

void TGraphSectionForm::SetDataRange(double Min, double Max) {
  // Infinite ends are refused too: a section group passes +infinity for "no range".
  if (!(Min < Max) || !std::isfinite(Min) || !std::isfinite(Max)) return;
  Min_ = Min;
  Max_ = Max;
  HasDataRange_ = true;
}

// ---- Start and finish ---------------------------------------------------------------

void TGraphSectionForm::Start(const TSectionSettings& Settings, const TTransparencyParams& Pair) {
  Working_.emplace();
  Working_->Assign(Settings.Palette);
  ShowAboveMax_->setChecked(Settings.ShowAboveMax);
  ShowBelowMin_->setChecked(Settings.ShowBelowMin);
  PaletteForAll_->setChecked(Settings.PaletteForAll);
  // Each button of a set is checked exactly when the field holds its value; a value
  // outside the set leaves every button of it clear.
  for (auto [button, value] : {std::pair{Gradient_, 0}, std::pair{Cells_, 1}}) {
    button->setAutoExclusive(false);
    button->setChecked(Settings.ImageStyle == value);
    button->setAutoExclusive(true);
  }
  StyleForAll_->setChecked(Settings.StyleForAll);
  for (auto [button, value] : {std::pair{Solid_, 0}, std::pair{Lines_, 1}, std::pair{Points_, 2}}) {
    button->setAutoExclusive(false);
    button->setChecked(Settings.FillMode == value);
    button->setAutoExclusive(true);
  }
  FillForAll_->setChecked(Settings.FillForAll);
  Transparency_->setValue(Pair.Transparency);
  TransparencyForAll_->setChecked(Pair.AcceptForAll);
}

void TGraphSectionForm::Finish(TSectionSettings& Settings, TTransparencyParams& Pair) const {
  if (Working_) Settings.Palette.Assign(*Working_);
  Settings.ImageStyle = Gradient_->isChecked() ? 0 : 1;
  Settings.FillMode = Solid_->isChecked() ? 0 : Lines_->isChecked() ? 1 : 2;
  Settings.ShowAboveMax = ShowAboveMax_->isChecked();
  Settings.ShowBelowMin = ShowBelowMin_->isChecked();
  Settings.PaletteForAll = PaletteForAll_->isChecked();
  Settings.StyleForAll = StyleForAll_->isChecked();
  Settings.FillForAll = FillForAll_->isChecked();
  Pair.Transparency = static_cast<uint8_t>(Transparency_->value());
  Pair.AcceptForAll = TransparencyForAll_->isChecked();
}

bool TGraphSectionForm::Execute(TSectionSettings& Settings, TTransparencyParams& Pair) {
  Start(Settings, Pair);
  const bool ok = exec() == QDialog::Accepted;
  if (ok) Finish(Settings, Pair);
  Working_.reset();
  return ok;
}

// ---- Palette button -----------------------------------------------------------------

void TGraphSectionForm::BitBtn1Click() {
  if (!Working_) return;
  if (HasDataRange_)
    EditPalette(*Working_, Min_, Max_);
  else
    EditPalette(*Working_, std::numeric_limits<double>::infinity(), 0);
}

}  // namespace qira

#include "ui/PropertyDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <string>

#include "model/StreamHelpers.h"
#include "platform/HandlerGuard.h"
#include "platform/NumberText.h"
#include "ui/BoreholeDialogs.h"
#include "ui/ViewWindow.h"
#include "widgets/SpinEdit.h"
#include "ui/DialogSupport.h"

// Sections: registration; common frame; surface dialog; points dialog; lines dialog.

namespace qira {

namespace {


// A property dialog of Form over the active window, captioned with the object's name.
template <class Form, class... Values>
bool RunPropertyForm(const std::string& caption, Values&... values) {
  Form form(QApplication::activeWindow());
  form.setWindowTitle(ToQtTitle(caption));
  return form.Execute(values...);
}

// The colour group of surfaces, points and lines: colour, "Use primary colors" and
// its "Accept for all  ".
QGroupBox* NewColorGroup(QWidget* owner, TPropertyColorBox*& color, QCheckBox*& primary, QCheckBox*& accept) {
  auto* group = new QGroupBox(QStringLiteral(" Color: "), owner);
  color = new TPropertyColorBox(group);
  primary = new QCheckBox(QStringLiteral("Use primary colors"), group);
  accept = new QCheckBox(QString::fromLatin1(kAcceptForAll), group);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(color);
  layout->addWidget(primary);
  layout->addWidget(accept);
  return group;
}

}  // namespace

// ---- Registration -------------------------------------------------------------------

void RegisterPropertyDialogs() {
  SetSurfaceEditor([](const std::string& caption, TSurfaceSettings& settings, TTransparencyParams& base) {
    return RunPropertyForm<TGraphSurfaceForm>(caption, settings, base);
  });
  SetPointsEditor([](const std::string& caption, TPointsSettings& settings, TTransparencyParams& base) {
    return RunPropertyForm<TGraphPointsForm>(caption, settings, base);
  });
  SetLinesEditor([](const std::string& caption, TLinesSettings& settings, TTransparencyParams& base) {
    return RunPropertyForm<TGraphLinesForm>(caption, settings, base);
  });
  SetAxisEditor([](const std::string& caption, TAxisFields& fields, uint8_t& transparency) {
    return RunPropertyForm<TGraphAxisForm>(caption, fields, transparency);
  });
  SetSpheresEditor([](const std::string& caption, TSpheresParams& params, uint8_t& transparency) {
    return RunPropertyForm<TGraphSpheresForm>(caption, params, transparency);
  });
  SetLineEditor([](const std::string& caption, TLineParams3D& params, uint8_t& transparency) {
    return RunPropertyForm<TGraphLineForm>(caption, params, transparency);
  });
  SetLabelEditor([](const std::string& caption, TLabelParams& params, uint8_t& transparency) {
    return RunPropertyForm<TGraphLabelForm>(caption, params, transparency);
  });
  SetPlanesEditor([](const std::string& caption, TPlanesParams& params, uint8_t& transparency) {
    return RunPropertyForm<TGraphPlanesForm>(caption, params, transparency);
  });
  ViewWindowHooks().CenterDialog = [](QWidget* parent, TSurveyPoint& center) {
    return EditPointWithDialog(parent, center);
  };
}

// ---- Common frame -------------------------------------------------------------------

double FieldValue(const TSpinEditEx& edit) {
  double value = 0;
  if (!ParseDouble(NormalizeDecimalSeparator(FromQt(edit.text())), value, false)) value = edit.Value();
  return edit.CheckValue(value);
}

TPropertyForm::TPropertyForm(QWidget* parent) : QDialog(parent) {}

TSpinEditEx* TPropertyForm::NewNumberEdit(QWidget* parent, bool integer, int decimals, double min, double max,
                                          double step) {
  auto* edit = new TSpinEditEx(parent);
  edit->SetValueType(integer ? vtInteger : vtFloat);
  edit->SetDecimal(static_cast<uint8_t>(decimals));
  edit->SetMinValue(min);
  edit->SetMaxValue(max);
  edit->SetIncrement(step);
  numberEdits_.push_back(edit);
  return edit;
}

QGroupBox* TPropertyForm::NewTransparencyGroup(QCheckBox** accept) {
  auto* group = new QGroupBox(QStringLiteral(" Transparency: "), this);
  TrackBar1 = new QSlider(Qt::Horizontal, group);
  TrackBar1->setRange(0, 255);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(TrackBar1);
  if (accept) {
    *accept = new QCheckBox(QString::fromLatin1(kAcceptForAll), group);
    layout->addWidget(*accept);
  }
  return group;
}

void TPropertyForm::AddButtons(QVBoxLayout* layout) {
  OkButton = new QPushButton(QStringLiteral("OK"), this);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  OkButton->setDefault(true);
  connect(OkButton, &QPushButton::clicked, this, [this] { accept(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
  auto* row = new QHBoxLayout();
  row->addStretch(1);
  row->addWidget(OkButton);
  row->addWidget(CancelButton);
  layout->addLayout(row);
}

void TPropertyForm::accept() {
  bool valid = false;
  Guarded([&] {
    for (TSpinEditEx* edit : numberEdits_)
      if (!ValidateFloatEdit(FromQt(edit->text()), false, [edit] { edit->setFocus(); })) return;
    valid = true;
  });
  if (valid) QDialog::accept();
}

TCoordinatesPropertyForm::TCoordinatesPropertyForm(QWidget* parent) : TPropertyForm(parent) {
  BitBtn3 = new QPushButton(QStringLiteral("Coordinates"), this);
  connect(BitBtn3, &QPushButton::clicked, this, [this] { Guarded([&] { CoordinatesClick(); }); });
}

void TCoordinatesPropertyForm::CoordinatesClick() {
  if (EditPoints) EditPoints(this, points_);
}

// ---- Surface dialog -----------------------------------------------------------------

TGraphSurfaceForm::TGraphSurfaceForm(QWidget* parent) : TPropertyForm(parent) {
  auto* fill = new QGroupBox(QStringLiteral(" Filling mode  "), this);
  RadioButton3 = new QRadioButton(QStringLiteral("Solid"), fill);
  RadioButton4 = new QRadioButton(QStringLiteral("Lines"), fill);
  RadioButton5 = new QRadioButton(QStringLiteral("Points"), fill);
  CheckBox1 = new QCheckBox(QString::fromLatin1(kAcceptForAll), fill);
  auto* fillLayout = new QVBoxLayout(fill);
  for (QWidget* w : std::initializer_list<QWidget*>{RadioButton3, RadioButton4, RadioButton5, CheckBox1})
    fillLayout->addWidget(w);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fill);
  layout->addWidget(NewColorGroup(this, ColorBox1, CheckBox3, CheckBox2));
  layout->addWidget(NewTransparencyGroup(&CheckBox7));
  AddButtons(layout);
}

void TGraphSurfaceForm::Start(const TSurfaceSettings& settings, const TTransparencyParams& base) {
  fillMode_ = settings.FillMode;
  RadioButton3->setChecked(settings.FillMode == 0);
  RadioButton4->setChecked(settings.FillMode == 1);
  RadioButton5->setChecked(settings.FillMode == 2);
  CheckBox1->setChecked(settings.FillForAll);
  ColorBox1->SetSelected(settings.Color);
  CheckBox3->setChecked(!settings.IgnoreFaceColors);
  CheckBox2->setChecked(settings.ColorForAll);
  TrackBar1->setValue(base.Transparency);
  CheckBox7->setChecked(base.AcceptForAll);
}

void TGraphSurfaceForm::Finish(TSurfaceSettings& settings, TTransparencyParams& base) const {
  if (RadioButton3->isChecked() || RadioButton4->isChecked() || RadioButton5->isChecked())
    settings.FillMode = RadioButton3->isChecked() ? 0 : RadioButton4->isChecked() ? 1 : 2;
  else
    settings.FillMode = fillMode_;
  settings.FillForAll = CheckBox1->isChecked();
  settings.Color = ColorBox1->Selected();
  settings.IgnoreFaceColors = !CheckBox3->isChecked();
  settings.ColorForAll = CheckBox2->isChecked();
  base.Transparency = static_cast<uint8_t>(TrackBar1->value());
  base.AcceptForAll = CheckBox7->isChecked();
}

bool TGraphSurfaceForm::Execute(TSurfaceSettings& settings, TTransparencyParams& base) {
  Start(settings, base);
  if (exec() != QDialog::Accepted) return false;
  Finish(settings, base);
  return true;
}

// ---- Points dialog ------------------------------------------------------------------

TGraphPointsForm::TGraphPointsForm(QWidget* parent) : TPropertyForm(parent) {
  auto* style = new QGroupBox(QStringLiteral(" Style: "), this);
  RadioButton1 = new QRadioButton(QStringLiteral("Round"), style);
  RadioButton2 = new QRadioButton(QStringLiteral("Square"), style);
  CheckBox1 = new QCheckBox(QString::fromLatin1(kAcceptForAll), style);
  auto* styleLayout = new QVBoxLayout(style);
  styleLayout->addWidget(RadioButton1);
  styleLayout->addWidget(RadioButton2);
  styleLayout->addWidget(CheckBox1);

  auto* size = new QGroupBox(QStringLiteral(" Size: "), this);
  SpinEditEx1 = NewNumberEdit(size, false, 2, 0, 100, 1);
  CheckBox4 = new QCheckBox(QString::fromLatin1(kAcceptForAll), size);
  auto* sizeLayout = new QVBoxLayout(size);
  sizeLayout->addWidget(SpinEditEx1);
  sizeLayout->addWidget(CheckBox4);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(style);
  layout->addWidget(size);
  layout->addWidget(NewColorGroup(this, ColorBox1, CheckBox3, CheckBox2));
  layout->addWidget(NewTransparencyGroup(&CheckBox7));
  AddButtons(layout);
}

void TGraphPointsForm::Start(const TPointsSettings& settings, const TTransparencyParams& base) {
  RadioButton1->setChecked(settings.Round);
  RadioButton2->setChecked(!settings.Round);
  CheckBox1->setChecked(settings.StyleForAll);
  SpinEditEx1->SetValue(settings.PointSize);
  CheckBox4->setChecked(settings.SizeForAll);
  ColorBox1->SetSelected(settings.Color);
  CheckBox3->setChecked(!settings.IgnorePointColors);
  CheckBox2->setChecked(settings.ColorForAll);
  TrackBar1->setValue(base.Transparency);
  CheckBox7->setChecked(base.AcceptForAll);
}

void TGraphPointsForm::Finish(TPointsSettings& settings, TTransparencyParams& base) const {
  settings.Round = RadioButton1->isChecked();
  settings.StyleForAll = CheckBox1->isChecked();
  settings.PointSize = static_cast<float>(FieldValue(*SpinEditEx1));
  settings.SizeForAll = CheckBox4->isChecked();
  settings.Color = ColorBox1->Selected();
  settings.IgnorePointColors = !CheckBox3->isChecked();
  settings.ColorForAll = CheckBox2->isChecked();
  base.Transparency = static_cast<uint8_t>(TrackBar1->value());
  base.AcceptForAll = CheckBox7->isChecked();
}

bool TGraphPointsForm::Execute(TPointsSettings& settings, TTransparencyParams& base) {
  Start(settings, base);
  if (exec() != QDialog::Accepted) return false;
  Finish(settings, base);
  return true;
}

// ---- Lines dialog -------------------------------------------------------------------

TGraphLinesForm::TGraphLinesForm(QWidget* parent) : TPropertyForm(parent) {
  auto* diameter = new QGroupBox(QStringLiteral(" Diameter: "), this);
  SpinEditEx1 = NewNumberEdit(diameter, false, 2, 0, 100, 1);
  CheckBox4 = new QCheckBox(QString::fromLatin1(kAcceptForAll), diameter);
  auto* diameterLayout = new QVBoxLayout(diameter);
  diameterLayout->addWidget(SpinEditEx1);
  diameterLayout->addWidget(CheckBox4);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(diameter);
  layout->addWidget(NewColorGroup(this, ColorBox1, CheckBox3, CheckBox2));
  layout->addWidget(NewTransparencyGroup(&CheckBox7));
  AddButtons(layout);
}

void TGraphLinesForm::Start(const TLinesSettings& settings, const TTransparencyParams& base) {
  SpinEditEx1->SetValue(settings.LineWidth);
  CheckBox4->setChecked(settings.WidthForAll);
  ColorBox1->SetSelected(settings.Color);
  CheckBox3->setChecked(!settings.IgnoreSegmentColors);
  CheckBox2->setChecked(settings.ColorForAll);
  TrackBar1->setValue(base.Transparency);
  CheckBox7->setChecked(base.AcceptForAll);
}

void TGraphLinesForm::Finish(TLinesSettings& settings, TTransparencyParams& base) const {
  settings.LineWidth = static_cast<float>(FieldValue(*SpinEditEx1));
  settings.WidthForAll = CheckBox4->isChecked();
  settings.Color = ColorBox1->Selected();
  settings.IgnoreSegmentColors = !CheckBox3->isChecked();
  settings.ColorForAll = CheckBox2->isChecked();
  base.Transparency = static_cast<uint8_t>(TrackBar1->value());
  base.AcceptForAll = CheckBox7->isChecked();
}

bool TGraphLinesForm::Execute(TLinesSettings& settings, TTransparencyParams& base) {
  Start(settings, base);
  if (exec() != QDialog::Accepted) return false;
  Finish(settings, base);
  return true;
}

}  // namespace qira

#include "ui/GraphMainDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include "ui/DialogSupport.h"

namespace qira {

void RegisterGraphMainDialog() {
  SetTransparencyDialog([](const std::string& caption, TTransparencyParams& params) {
    TGraphMainForm form(QApplication::activeWindow());
    form.setWindowTitle(ToQtTitle(caption));
    return form.Execute(params);
  });
}

TGraphMainForm::TGraphMainForm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  auto* frame = new QGroupBox(QStringLiteral(" Transparency "), this);
  TrackBar1 = new QSlider(Qt::Horizontal, frame);
  TrackBar1->setRange(0, 255);
  TrackBar1->setTickPosition(QSlider::NoTicks);
  CheckBox1 = new QCheckBox(QStringLiteral("Accept for all"), frame);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(TrackBar1);
  frameLayout->addWidget(CheckBox1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(ButtonRow(this, OkButton, CancelButton));
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a dialog border: not resizable
}

bool TGraphMainForm::Execute(TTransparencyParams& params) {
  TrackBar1->setValue(params.Transparency);
  CheckBox1->setChecked(params.AcceptForAll);
  if (exec() != QDialog::Accepted) return false;
  params.Transparency = static_cast<uint8_t>(TrackBar1->value());
  params.AcceptForAll = CheckBox1->isChecked();
  return true;
}

void TGraphMainForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen(this);
}

}  // namespace qira

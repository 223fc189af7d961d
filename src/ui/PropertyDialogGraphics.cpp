// The property dialogs of the axis cross, spheres, polyline, label and planes.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <string>

#include "platform/Rounding.h"
#include "ui/BoreholeDialogs.h"
#include "ui/PropertyDialogs.h"
#include "widgets/SpinEdit.h"
#include "ui/DialogSupport.h"

// Sections: axis dialog; spheres dialog; polyline dialog; label dialog; planes dialog.

namespace qira {

namespace {


// Adds "caption" and the field as one row of a grid.
void AddRow(QGridLayout* grid, const QString& caption, QWidget* field, QWidget* parent) {
  const int row = grid->rowCount();
  grid->addWidget(new QLabel(caption, parent), row, 0);
  grid->addWidget(field, row, 1);
}

uint8_t TrackBarValue(const QSlider* bar) { return static_cast<uint8_t>(bar->value()); }

}  // namespace

// ---- Axis dialog --------------------------------------------------------------------

TGraphAxisForm::TGraphAxisForm(QWidget* parent) : TPropertyForm(parent) {
  auto* arrows = new QGroupBox(QStringLiteral(" Arrows "), this);
  auto* arrowsLayout = new QGridLayout(arrows);
  SpinEditEx1 = NewNumberEdit(arrows, false, 1, 10, 1000000, 10);
  SpinEditEx2 = NewNumberEdit(arrows, false, 1, 0.1, 1000000, 1);
  ColorBox1 = new TPropertyColorBox(arrows);
  AddRow(arrowsLayout, QStringLiteral("Length:"), SpinEditEx1, arrows);
  AddRow(arrowsLayout, QStringLiteral("Width:"), SpinEditEx2, arrows);
  arrowsLayout->addWidget(ColorBox1, arrowsLayout->rowCount(), 0, 1, 2);

  auto* labels = new QGroupBox(QStringLiteral(" Labels "), this);
  auto* labelsLayout = new QGridLayout(labels);
  CheckBox2 = new QCheckBox(QStringLiteral("Visible"), labels);
  SizeScaleLabel = new QLabel(QStringLiteral("Size scale:"), labels);
  SpinEditEx3 = NewNumberEdit(labels, false, 1, 0.2, 10, 0.1);
  ColorBox2 = new TPropertyColorBox(labels);
  labelsLayout->addWidget(CheckBox2, 0, 0, 1, 2);
  labelsLayout->addWidget(SizeScaleLabel, 1, 0);
  labelsLayout->addWidget(SpinEditEx3, 1, 1);
  labelsLayout->addWidget(ColorBox2, 2, 0, 1, 2);

  auto* offset = new QGroupBox(QStringLiteral(" Offset "), this);
  auto* offsetLayout = new QGridLayout(offset);
  SpinEditEx4 = NewNumberEdit(offset, false, 1, -1000000000, 1000000000, 0.1);
  SpinEditEx5 = NewNumberEdit(offset, false, 1, -1000000000, 1000000000, 0.1);
  SpinEditEx6 = NewNumberEdit(offset, false, 1, -1000000000, 1000000000, 0.1);
  AddRow(offsetLayout, QStringLiteral("North:"), SpinEditEx4, offset);
  AddRow(offsetLayout, QStringLiteral("East:"), SpinEditEx5, offset);
  AddRow(offsetLayout, QStringLiteral("Elevation:"), SpinEditEx6, offset);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(arrows);
  layout->addWidget(labels);
  layout->addWidget(offset);
  layout->addWidget(NewTransparencyGroup());
  AddButtons(layout);

  connect(CheckBox2, &QCheckBox::clicked, this, [this] { EnableLabelControls(); });
}

void TGraphAxisForm::EnableLabelControls() {
  const bool on = CheckBox2->isChecked();
  SizeScaleLabel->setEnabled(on);
  SpinEditEx3->setEnabled(on);
  ColorBox2->setEnabled(on);
}

void TGraphAxisForm::Start(const TAxisFields& fields, uint8_t transparency) {
  SpinEditEx1->SetValue(fields.AxisLength);
  SpinEditEx2->SetValue(fields.AxisWidth);
  ColorBox1->SetSelected(fields.ArrowColor);
  CheckBox2->setChecked(fields.ShowLabels);
  SpinEditEx3->SetValue(fields.LabelSize);
  ColorBox2->SetSelected(fields.LabelColor);
  SpinEditEx4->SetValue(fields.Origin[0]);
  SpinEditEx5->SetValue(fields.Origin[1]);
  SpinEditEx6->SetValue(fields.Origin[2]);
  TrackBar1->setValue(transparency);
  EnableLabelControls();
}

void TGraphAxisForm::Finish(TAxisFields& fields, uint8_t& transparency) const {
  fields.AxisLength = static_cast<float>(FieldValue(*SpinEditEx1));
  fields.AxisWidth = static_cast<float>(FieldValue(*SpinEditEx2));
  fields.ArrowColor = ColorBox1->Selected();
  fields.ShowLabels = CheckBox2->isChecked();
  fields.LabelSize = static_cast<float>(FieldValue(*SpinEditEx3));
  fields.LabelColor = ColorBox2->Selected();
  fields.Origin = {FieldValue(*SpinEditEx4), FieldValue(*SpinEditEx5), FieldValue(*SpinEditEx6)};
  transparency = TrackBarValue(TrackBar1);
}

bool TGraphAxisForm::Execute(TAxisFields& fields, uint8_t& transparency) {
  Start(fields, transparency);
  if (exec() != QDialog::Accepted) return false;
  Finish(fields, transparency);
  return true;
}

// ---- Spheres dialog -----------------------------------------------------------------

TGraphSpheresForm::TGraphSpheresForm(QWidget* parent) : TCoordinatesPropertyForm(parent) {
  auto* grid = new QGridLayout();
  SpinEditEx4 = NewNumberEdit(this, false, 2, 0, 0, 1);
  ColorBox1 = new TPropertyColorBox(this);
  SpinEditEx1 = NewNumberEdit(this, true, 0, 4, 10000000, 4);
  AddRow(grid, QStringLiteral("Radius:"), SpinEditEx4, this);
  AddRow(grid, QStringLiteral("Color:"), ColorBox1, this);
  AddRow(grid, QStringLiteral("Segments:"), SpinEditEx1, this);
  grid->addWidget(BitBtn3, grid->rowCount(), 0, 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(NewTransparencyGroup());
  AddButtons(layout);
}

void TGraphSpheresForm::Start(const TSpheresParams& params, uint8_t transparency) {
  SpinEditEx4->SetValue(params.Radius);
  ColorBox1->SetSelected(params.Color);
  SpinEditEx1->SetValue(params.Slices);
  points_ = params.Centres;
  TrackBar1->setValue(transparency);
}

void TGraphSpheresForm::Finish(TSpheresParams& params, uint8_t& transparency) const {
  params.Radius = FieldValue(*SpinEditEx4);
  params.Color = ColorBox1->Selected();
  params.Slices = RoundToInt(FieldValue(*SpinEditEx1));
  params.Centres = points_;
  transparency = TrackBarValue(TrackBar1);
}

bool TGraphSpheresForm::Execute(TSpheresParams& params, uint8_t& transparency) {
  Start(params, transparency);
  if (exec() != QDialog::Accepted) return false;
  Finish(params, transparency);
  return true;
}

// ---- Polyline dialog ----------------------------------------------------------------

TGraphLineForm::TGraphLineForm(QWidget* parent) : TCoordinatesPropertyForm(parent) {
  auto* grid = new QGridLayout();
  SpinEditEx4 = NewNumberEdit(this, false, 2, 0, 0, 10);
  ColorBox1 = new TPropertyColorBox(this);
  CheckBox2 = new QCheckBox(QStringLiteral("Spheres at ends"), this);
  AddRow(grid, QStringLiteral("Diameter:"), SpinEditEx4, this);
  AddRow(grid, QStringLiteral("Color:"), ColorBox1, this);
  grid->addWidget(CheckBox2, grid->rowCount(), 0, 1, 2);
  grid->addWidget(BitBtn3, grid->rowCount(), 0, 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(NewTransparencyGroup());
  AddButtons(layout);
}

void TGraphLineForm::Start(const TLineParams3D& params, uint8_t transparency) {
  SpinEditEx4->SetValue(params.Diameter);
  ColorBox1->SetSelected(params.Color);
  CheckBox2->setChecked(params.RoundEnds);
  points_ = params.Points;
  TrackBar1->setValue(transparency);
}

void TGraphLineForm::Finish(TLineParams3D& params, uint8_t& transparency) const {
  params.Diameter = FieldValue(*SpinEditEx4);
  params.Color = ColorBox1->Selected();
  params.RoundEnds = CheckBox2->isChecked();
  params.Points = points_;
  transparency = TrackBarValue(TrackBar1);
}

bool TGraphLineForm::Execute(TLineParams3D& params, uint8_t& transparency) {
  Start(params, transparency);
  if (exec() != QDialog::Accepted) return false;
  Finish(params, transparency);
  return true;
}

// ---- Label dialog -------------------------------------------------------------------

TGraphLabelForm::TGraphLabelForm(QWidget* parent) : TPropertyForm(parent) {
  setWindowTitle(QStringLiteral("Label"));
  auto* position = new QGroupBox(QStringLiteral(" Position "), this);
  auto* positionLayout = new QGridLayout(position);
  SpinEditEx1 = NewNumberEdit(position, false, 2, 0, 0, 10);
  SpinEditEx2 = NewNumberEdit(position, false, 2, 0, 0, 10);
  SpinEditEx3 = NewNumberEdit(position, false, 2, 0, 0, 10);
  AddRow(positionLayout, QStringLiteral("Northing:"), SpinEditEx1, position);
  AddRow(positionLayout, QStringLiteral("Easting:"), SpinEditEx2, position);
  AddRow(positionLayout, QStringLiteral("Elevation:"), SpinEditEx3, position);

  auto* grid = new QGridLayout();
  SpinEditEx4 = NewNumberEdit(this, false, 2, 0, 10000, 0.1);
  ColorBox1 = new TPropertyColorBox(this);
  ComboBox1 = new QComboBox(this);
  ComboBox1->addItems({QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Center")});
  ComboBox2 = new QComboBox(this);
  ComboBox2->addItems({QStringLiteral("Top"), QStringLiteral("Center"), QStringLiteral("Bottom")});
  AddRow(grid, QStringLiteral("Scale:"), SpinEditEx4, this);
  AddRow(grid, QStringLiteral("Color:"), ColorBox1, this);
  AddRow(grid, QStringLiteral("Horizontal:"), ComboBox1, this);
  AddRow(grid, QStringLiteral("Vertical:"), ComboBox2, this);

  auto* text = new QGroupBox(QStringLiteral(" Text "), this);
  Edit1 = new QLineEdit(text);
  auto* textLayout = new QVBoxLayout(text);
  textLayout->addWidget(Edit1);
  textLayout->addWidget(NewLostTextWarning(Edit1));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(position);
  layout->addLayout(grid);
  layout->addWidget(text);
  layout->addWidget(NewTransparencyGroup());
  AddButtons(layout);
}

void TGraphLabelForm::Start(const TLabelParams& params, uint8_t transparency) {
  SpinEditEx1->SetValue(params.Position.X);
  SpinEditEx2->SetValue(params.Position.Y);
  SpinEditEx3->SetValue(params.Position.Z);
  SpinEditEx4->SetValue(params.TextScale);
  ColorBox1->SetSelected(params.Color);
  alignment_ = params.Alignment;
  layout_ = params.Layout;
  ComboBox1->setCurrentIndex(params.Alignment < ComboBox1->count() ? params.Alignment : -1);
  ComboBox2->setCurrentIndex(params.Layout < ComboBox2->count() ? params.Layout : -1);
  Edit1->setText(ToQt(params.Text));
  TrackBar1->setValue(transparency);
}

void TGraphLabelForm::Finish(TLabelParams& params, uint8_t& transparency) const {
  params.Position = {FieldValue(*SpinEditEx1), FieldValue(*SpinEditEx2), FieldValue(*SpinEditEx3)};
  params.TextScale = static_cast<float>(FieldValue(*SpinEditEx4));
  params.Color = ColorBox1->Selected();
  params.Alignment = ComboBox1->currentIndex() >= 0 ? static_cast<uint8_t>(ComboBox1->currentIndex()) : alignment_;
  params.Layout = ComboBox2->currentIndex() >= 0 ? static_cast<uint8_t>(ComboBox2->currentIndex()) : layout_;
  params.Text = FromQt(Edit1->text());
  transparency = TrackBarValue(TrackBar1);
}

bool TGraphLabelForm::Execute(TLabelParams& params, uint8_t& transparency) {
  Start(params, transparency);
  if (exec() != QDialog::Accepted) return false;
  Finish(params, transparency);
  return true;
}

// ---- Planes dialog ------------------------------------------------------------------

TGraphPlanesForm::TGraphPlanesForm(QWidget* parent) : TCoordinatesPropertyForm(parent) {
  auto* grid = new QGridLayout();
  ColorBox1 = new TPropertyColorBox(this);
  AddRow(grid, QStringLiteral("Color:"), ColorBox1, this);
  grid->addWidget(BitBtn3, grid->rowCount(), 0, 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(NewTransparencyGroup());
  AddButtons(layout);
}

void TGraphPlanesForm::Start(const TPlanesParams& params, uint8_t transparency) {
  ColorBox1->SetSelected(params.Color);
  points_ = params.Points;
  TrackBar1->setValue(transparency);
}

void TGraphPlanesForm::Finish(TPlanesParams& params, uint8_t& transparency) const {
  params.Color = ColorBox1->Selected();
  params.Points = points_;
  transparency = TrackBarValue(TrackBar1);
}

bool TGraphPlanesForm::Execute(TPlanesParams& params, uint8_t& transparency) {
  Start(params, transparency);
  if (exec() != QDialog::Accepted) return false;
  Finish(params, transparency);
  return true;
}

}  // namespace qira

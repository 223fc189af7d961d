#include "ui/BoreholeDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <array>
#include <utility>

#include "model/StreamHelpers.h"
#include "platform/HandlerGuard.h"
#include "widgets/SpinEdit.h"
#include "ui/DialogSupport.h"

// Sections: registration; colour box; collar dialog; settings dialog.

namespace qira {

namespace {



struct TNamedColor {
  const char* Name;
  TColor Color;
};

// The standard colours, then the extended ones, in the order the box lists them.
constexpr std::array<TNamedColor, 20> kListedColors{{
    {"Black", 0x000000},  {"Maroon", 0x000080},      {"Green", 0x008000},   {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},      {"Teal", 0x808000},    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},         {"Lime", 0x00FF00},    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF},     {"Aqua", 0xFFFF00},    {"White", 0xFFFFFF},
    {"Money Green", 0xC0DCC0}, {"Sky Blue", 0xF0CAA6}, {"Cream", 0xF0FBFF}, {"Medium Gray", 0xA4A0A0},
}};

QPixmap Swatch(TColor color) {
  QPixmap pixmap(16, 12);
  pixmap.fill(QColor(ColorRed(color), ColorGreen(color), ColorBlue(color)));
  return pixmap;
}

}  // namespace

// ---- Registration -------------------------------------------------------------------

void RegisterBoreholeDialogs() {
  SetBoreholeDialogs(
      [](std::string& name, double& x, double& y, double& z) {
        TBhCoordsDlgForm dialog(QApplication::activeWindow());
        return dialog.Execute(name, x, y, z);
      },
      [](const std::string& caption, TBoreholeSettings& settings, TTransparencyParams& base) {
        TGraphBoreholeForm dialog(QApplication::activeWindow());
        dialog.setWindowTitle(ToQtTitle(caption));
        return dialog.Execute(settings, base);
      });
}

// ---- Colour box ---------------------------------------------------------------------

TBoreholeColorBox::TBoreholeColorBox(QWidget* parent) : QComboBox(parent) {
  addItem(Swatch(0), QStringLiteral("Custom..."), QVariant::fromValue<uint>(0));
  for (const TNamedColor& c : kListedColors)
    addItem(Swatch(c.Color), QString::fromLatin1(c.Name), QVariant::fromValue<uint>(c.Color));
  connect(this, &QComboBox::activated, this, [this](int index) { Guarded([&] { Activated(index); }); });
  SetSelected(0);
}

void TBoreholeColorBox::ShowCustom(TColor value) {
  setItemIcon(0, Swatch(value));
  setItemData(0, QVariant::fromValue<uint>(value));
}

void TBoreholeColorBox::SetSelected(TColor value) {
  selected_ = value;
  for (int i = 1; i < count(); ++i) {
    if (itemData(i).toUInt() == value) {
      setCurrentIndex(i);
      return;
    }
  }
  ShowCustom(value);
  setCurrentIndex(0);
}

void TBoreholeColorBox::Activated(int index) {
  if (index > 0) {
    selected_ = itemData(index).toUInt();
    return;
  }
  if (choosing_ || !ChooseColor) return;
  choosing_ = true;
  std::optional<TColor> chosen = ChooseColor(selected_, this);
  choosing_ = false;
  SetSelected(chosen ? *chosen : selected_);
}

// ---- Collar dialog ------------------------------------------------------------------

TBhCoordsDlgForm::TBhCoordsDlgForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Borehole"));
  name_ = new QLineEdit(this);
  north_ = new QLineEdit(this);
  east_ = new QLineEdit(this);
  elevation_ = new QLineEdit(this);
  auto* fields = new QFormLayout();
  fields->addRow(QStringLiteral("Name:"), name_);
  fields->addRow(NewLostTextWarning(name_));
  fields->addRow(QStringLiteral("North:"), north_);
  fields->addRow(QStringLiteral("East:"), east_);
  fields->addRow(QStringLiteral("Elevation:"), elevation_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(ButtonRow(this, ok_, cancel_));
}

void TBhCoordsDlgForm::Start(const std::string& name, double x, double y, double z) {
  name_->setText(ToQt(name));
  north_->setText(ToQt(FloatToStrFixed(2, x)));
  east_->setText(ToQt(FloatToStrFixed(2, y)));
  elevation_->setText(ToQt(FloatToStrFixed(2, z)));
}

void TBhCoordsDlgForm::Finish(std::string& name, double& x, double& y, double& z) const {
  name = FromQt(name_->text());
  x = ParseFloat(FromQt(north_->text()));
  y = ParseFloat(FromQt(east_->text()));
  z = ParseFloat(FromQt(elevation_->text()));
}

void TBhCoordsDlgForm::accept() {
  bool valid = false;
  Guarded([&] {
    for (QLineEdit* edit : {north_, east_, elevation_})
      if (!ValidateFloatEdit(FromQt(edit->text()), false, [edit] { edit->setFocus(); })) return;
    valid = true;
  });
  if (valid) QDialog::accept();
}

bool TBhCoordsDlgForm::Execute(std::string& name, double& x, double& y, double& z) {
  Start(name, x, y, z);
  if (exec() != QDialog::Accepted) return false;
  Finish(name, x, y, z);
  return true;
}

// ---- Settings dialog ----------------------------------------------------------------

TGraphBoreholeForm::TGraphBoreholeForm(QWidget* parent) : QDialog(parent) {
  // " Pipe "
  auto* pipe = new QGroupBox(QStringLiteral(" Pipe "), this);
  diameter_ = new TSpinEditEx(pipe);
  diameter_->SetValueType(vtFloat);
  diameter_->SetDecimal(1);
  diameter_->SetMinValue(0);
  diameter_->SetMaxValue(1000);
  pipeAccept_ = new QCheckBox(QStringLiteral("Accept for all"), pipe);
  auto* pipeLayout = new QGridLayout(pipe);
  pipeLayout->addWidget(new QLabel(QStringLiteral("Diametr (m):"), pipe), 0, 0);
  pipeLayout->addWidget(diameter_, 0, 1);
  pipeLayout->addWidget(pipeAccept_, 1, 0, 1, 2);

  // " Color "
  auto* color = new QGroupBox(QStringLiteral(" Color "), this);
  geology_ = new QRadioButton(QStringLiteral("Geology"), color);
  oneColor_ = new QRadioButton(QStringLiteral("One color"), color);
  pipeColor_ = new TBoreholeColorBox(color);
  colorAccept_ = new QCheckBox(QStringLiteral("Accept for all"), color);
  auto* colorLayout = new QGridLayout(color);
  colorLayout->addWidget(geology_, 0, 0);
  colorLayout->addWidget(oneColor_, 1, 0);
  colorLayout->addWidget(pipeColor_, 1, 1);
  colorLayout->addWidget(colorAccept_, 2, 0, 1, 2);

  // " Label "
  auto* label = new QGroupBox(QStringLiteral(" Label "), this);
  visible_ = new QCheckBox(QStringLiteral("Visible"), label);
  labelColor_ = new TBoreholeColorBox(label);
  scaleLabel_ = new QLabel(QStringLiteral("Scale size:"), label);
  scale_ = new TSpinEditEx(label);
  scale_->SetValueType(vtFloat);
  scale_->SetDecimal(1);
  scale_->SetMinValue(0);
  scale_->SetMaxValue(50);
  positionLabel_ = new QLabel(QStringLiteral("Position:"), label);
  collar_ = new QCheckBox(QStringLiteral("Collar"), label);
  endOfHole_ = new QCheckBox(QStringLiteral("End of hole"), label);
  labelAccept_ = new QCheckBox(QStringLiteral("Accept for all"), label);
  auto* labelLayout = new QGridLayout(label);
  labelLayout->addWidget(visible_, 0, 0);
  labelLayout->addWidget(labelColor_, 0, 1);
  labelLayout->addWidget(scaleLabel_, 1, 0);
  labelLayout->addWidget(scale_, 1, 1);
  labelLayout->addWidget(positionLabel_, 2, 0);
  labelLayout->addWidget(collar_, 2, 1);
  labelLayout->addWidget(endOfHole_, 3, 1);
  labelLayout->addWidget(labelAccept_, 4, 0, 1, 2);

  // " Transparency: "
  auto* transparency = new QGroupBox(QStringLiteral(" Transparency: "), this);
  transparency_ = new QSlider(Qt::Horizontal, transparency);
  transparency_->setRange(0, 255);
  transparencyAccept_ = new QCheckBox(QStringLiteral("Accept for all"), transparency);
  auto* transparencyLayout = new QVBoxLayout(transparency);
  transparencyLayout->addWidget(transparency_);
  transparencyLayout->addWidget(transparencyAccept_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pipe);
  layout->addWidget(color);
  layout->addWidget(label);
  layout->addWidget(transparency);
  layout->addLayout(ButtonRow(this, ok_, cancel_));

  connect(visible_, &QCheckBox::clicked, this, [this] { EnableLabelControls(); });
}

void TGraphBoreholeForm::EnableLabelControls() {
  const bool on = visible_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{scaleLabel_, scale_, labelColor_, positionLabel_, collar_,
                                                    endOfHole_})
    w->setEnabled(on);
}

void TGraphBoreholeForm::Start(const TBoreholeSettings& settings, const TTransparencyParams& base) {
  diameter_->SetValue(2 * settings.Radius);
  pipeAccept_->setChecked(settings.ApplyPipeToAll);
  geology_->setChecked(settings.UseGeologyColors);
  oneColor_->setChecked(!settings.UseGeologyColors);
  pipeColor_->SetSelected(settings.PipeColor);
  colorAccept_->setChecked(settings.ApplyColorToAll);
  visible_->setChecked(settings.ShowLabels);
  labelColor_->SetSelected(settings.LabelColor);
  scale_->SetValue(settings.LabelSize);
  collar_->setChecked(settings.ShowTopLabel);
  endOfHole_->setChecked(settings.ShowBottomLabel);
  labelAccept_->setChecked(settings.ApplyLabelsToAll);
  transparency_->setValue(base.Transparency);
  transparencyAccept_->setChecked(base.AcceptForAll);
  EnableLabelControls();
}

void TGraphBoreholeForm::Finish(TBoreholeSettings& settings, TTransparencyParams& base) const {
  settings.Radius = diameter_->CheckValue(diameter_->Value()) / 2;
  settings.ApplyPipeToAll = pipeAccept_->isChecked();
  settings.UseGeologyColors = geology_->isChecked();
  settings.PipeColor = pipeColor_->Selected();
  settings.ApplyColorToAll = colorAccept_->isChecked();
  settings.ShowLabels = visible_->isChecked();
  settings.LabelColor = labelColor_->Selected();
  settings.LabelSize = scale_->CheckValue(scale_->Value());
  settings.ShowTopLabel = collar_->isChecked();
  settings.ShowBottomLabel = endOfHole_->isChecked();
  settings.ApplyLabelsToAll = labelAccept_->isChecked();
  base.Transparency = static_cast<uint8_t>(transparency_->value());
  base.AcceptForAll = transparencyAccept_->isChecked();
}

bool TGraphBoreholeForm::Execute(TBoreholeSettings& settings, TTransparencyParams& base) {
  Start(settings, base);
  if (exec() != QDialog::Accepted) return false;
  Finish(settings, base);
  return true;
}

}  // namespace qira

#include "ui/GeologyDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <exception>

#include "model/StreamHelpers.h"
#include "platform/Canvas.h"
#include "platform/HandlerGuard.h"
#include "ui/DialogSupport.h"

namespace qira {

void RegisterGeologyDialogs() {
  SetBHCollectionEditors(
      [](TBHCollectionItem& item) { return TBHCollEdit::Execute(item, QApplication::activeWindow()); },
      [](TBHDepthCollectionItem& item) {
        return TBHDepColEdit::Execute(item, QApplication::activeWindow());
      });
}

std::optional<TColor> ChooseColorWithDialog(TColor initial, QWidget* parent) {
  QColor chosen = QColorDialog::getColor(QColor(ColorRed(initial), ColorGreen(initial), ColorBlue(initial)),
                                         parent);
  if (!chosen.isValid()) return std::nullopt;
  return MakeColor(static_cast<uint8_t>(chosen.red()), static_cast<uint8_t>(chosen.green()),
                   static_cast<uint8_t>(chosen.blue()));
}

std::string FormatDepth(double value) {
  if (value == 0) return "0";  // also for -0
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 7);
  if (ec != std::errc()) return "0";
  std::string text(buf, end);
  size_t e = text.find('e');
  if (e == std::string::npos) return text;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
  if (exponent == -5) {
    // Fixed notation reaches down to 0.00001 in this format.
    auto [fend, fec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 11);
    if (fec != std::errc()) return text;
    std::string fixed(buf, fend);
    while (fixed.back() == '0') fixed.pop_back();
    return fixed;
  }
  return text.substr(0, e) + "E" + std::to_string(exponent);
}

// ---- swatch ------------------------------------------------------------------------------

TSwatchBox::TSwatchBox(QWidget* parent) : QWidget(parent) { setMinimumSize(64, 40); }

void TSwatchBox::SetItem(const TBHCollectionItem* item) {
  item_ = item;
  update();
}

QImage TSwatchBox::Render() const {
  QImage image(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
  image.fill(palette().color(QPalette::Window));
  if (item_) {
    TCanvas canvas(&image);
    item_->PaintSwatch(canvas, image.width(), image.height());
  }
  return image;
}

void TSwatchBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Render());
}

// ---- style dialog -----------------------------------------------------------------------

TBHCollEdit::TBHCollEdit(const TBHCollectionItem& item, QWidget* parent) : QDialog(parent) {
  copy_.TBHCollectionItem::Assign(item);
  setWindowTitle(QStringLiteral("Editing"));

  shortName_ = new QLineEdit(ToQt(copy_.ShortName), this);
  fullName_ = new QLineEdit(ToQt(copy_.FullName), this);
  auto* names = new QFormLayout();
  names->addRow(QStringLiteral("Short name:"), shortName_);
  names->addRow(NewLostTextWarning(shortName_));
  names->addRow(QStringLiteral("Full name:"), fullName_);
  names->addRow(NewLostTextWarning(fullName_));

  hatchDown_ = new QPushButton(QStringLiteral("<"), this);
  hatchUp_ = new QPushButton(QStringLiteral(">"), this);
  hatchDown_->setAutoDefault(false);
  hatchUp_->setAutoDefault(false);
  swatch_ = new TSwatchBox(this);
  swatch_->SetItem(&copy_);
  auto* swatchRow = new QHBoxLayout();
  swatchRow->addWidget(hatchDown_);
  swatchRow->addWidget(swatch_, 1);
  swatchRow->addWidget(hatchUp_);

  filling_ = new QCheckBox(QStringLiteral("Filling"), this);
  texture_ = new QCheckBox(QStringLiteral("Texture"), this);
  border_ = new QCheckBox(QStringLiteral("Border"), this);
  color_ = new QPushButton(QStringLiteral("Color"), this);
  color_->setAutoDefault(false);
  filling_->setChecked(copy_.Filling);
  texture_->setChecked(copy_.Texture);
  border_->setChecked(copy_.Border);
  auto* flags = new QGridLayout();
  flags->addWidget(filling_, 0, 0);
  flags->addWidget(color_, 0, 1);
  flags->addWidget(texture_, 1, 0);
  flags->addWidget(border_, 2, 0);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(names);
  layout->addLayout(swatchRow);
  layout->addLayout(flags);
  layout->addLayout(ButtonRow(this, ok_, cancel_));

  connect(filling_, &QCheckBox::toggled, this, [this](bool on) {
    copy_.Filling = on;
    UpdateControls();
  });
  connect(texture_, &QCheckBox::toggled, this, [this](bool on) {
    copy_.Texture = on;
    UpdateControls();
  });
  connect(border_, &QCheckBox::toggled, this, [this](bool on) {
    copy_.Border = on;
    UpdateControls();
  });
  connect(hatchDown_, &QPushButton::clicked, this, [this] {
    copy_.HatchStyle = PreviousHatchStyle(copy_.HatchStyle);
    UpdateControls();
  });
  connect(hatchUp_, &QPushButton::clicked, this, [this] {
    copy_.HatchStyle = NextHatchStyle(copy_.HatchStyle);
    UpdateControls();
  });
  connect(color_, &QPushButton::clicked, this, [this] { Guarded([this] { ColorClick(); }); });
  UpdateControls();
}

void TBHCollEdit::UpdateControls() {
  hatchDown_->setEnabled(copy_.Texture);
  hatchUp_->setEnabled(copy_.Texture);
  color_->setEnabled(copy_.Filling);
  swatch_->update();
}

void TBHCollEdit::ColorClick() {
  if (!ChooseColor) return;
  if (std::optional<TColor> chosen = ChooseColor(copy_.Color, this)) {
    copy_.Color = *chosen;
    UpdateControls();
  }
}

void TBHCollEdit::accept() {
  copy_.ShortName = FromQt(shortName_->text());
  copy_.FullName = FromQt(fullName_->text());
  QDialog::accept();
}

bool TBHCollEdit::Execute(TBHCollectionItem& item, QWidget* parent) {
  TBHCollEdit dialog(item, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  item.Assign(dialog.Item());
  return true;
}

// ---- interval dialog --------------------------------------------------------------------

TBHDepColEdit::TBHDepColEdit(const TBHDepthCollectionItem& item, QWidget* parent) : QDialog(parent) {
  copy_.Assign(item);
  setWindowTitle(QStringLiteral("Editing"));

  minimum_ = new QLineEdit(ToQt(FormatDepth(copy_.Top)), this);
  maximum_ = new QLineEdit(ToQt(FormatDepth(copy_.Bottom)), this);
  auto* depths = new QFormLayout();
  depths->addRow(QStringLiteral("Minimum depth:"), minimum_);
  depths->addRow(QStringLiteral("Maximun depth:"), maximum_);

  shortName_ = new QLabel(this);
  fullName_ = new QLabel(this);
  // The user's names, shown as typed even where they look like markup.
  shortName_->setTextFormat(Qt::PlainText);
  fullName_->setTextFormat(Qt::PlainText);
  swatch_ = new TSwatchBox(this);
  swatch_->SetItem(&copy_);
  edit_ = new QPushButton(QStringLiteral("Edit"), this);
  edit_->setAutoDefault(false);
  auto* style = new QGridLayout();
  style->addWidget(shortName_, 0, 0);
  style->addWidget(fullName_, 1, 0);
  style->addWidget(swatch_, 0, 1, 2, 1);
  style->addWidget(edit_, 0, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(depths);
  layout->addLayout(style);
  layout->addLayout(ButtonRow(this, ok_, cancel_));

  connect(edit_, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      if (copy_.EditStyle()) ShowStyle();
    });
  });
  ShowStyle();
}

void TBHDepColEdit::ShowStyle() {
  shortName_->setText(ToQt(copy_.ShortName));
  fullName_->setText(ToQt(copy_.FullName));
  swatch_->update();
}

bool TBHDepColEdit::CheckedDepths(float& top, float& bottom) {
  QLineEdit* const edits[2] = {minimum_, maximum_};
  float values[2];
  for (int i = 0; i < 2; ++i) {
    QLineEdit* edit = edits[i];
    const std::string text = FromQt(edit->text());
    const auto focus = [edit] { edit->setFocus(); };
    double value;
    if (!ValidateFloatEdit(text, false, focus, &value)) return false;
    // Depths are stored as 32-bit floats: a number beyond their range is no depth.
    if (std::fabs(value) > FLT_MAX) {
      ShowMessageDlg("Invalid value: " + text, 1);
      focus();
      return false;
    }
    values[i] = static_cast<float>(value);
  }
  // Compared as stored, so two texts that round to the same depth are refused.
  if (!(values[1] > values[0])) {
    ShowMessageDlg("Minimum must be less then maximum", 1);
    return false;
  }
  top = values[0];
  bottom = values[1];
  return true;
}

void TBHDepColEdit::accept() {
  bool ok = false;
  Guarded([&] {
    float top, bottom;
    if (!CheckedDepths(top, bottom)) return;
    copy_.Top = top;
    copy_.Bottom = bottom;
    ok = true;
  });
  if (ok) QDialog::accept();
}

bool TBHDepColEdit::Execute(TBHDepthCollectionItem& item, QWidget* parent) {
  TBHDepColEdit dialog(item, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  item.Assign(dialog.Item());
  return true;
}

}  // namespace qira

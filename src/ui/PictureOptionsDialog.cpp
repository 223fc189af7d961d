#include "ui/Pictures.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/Rounding.h"
#include "platform/Services.h"
#include "ui/DialogSupport.h"
#include "widgets/SpinEdit.h"

// TSaveImageForm, the "Image" dialog of "Save picture".

namespace qira {

// ---- picture options dialog --------------------------------------------------------------

TSaveImageForm::TSaveImageForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Image"));
  // Dialog border: no resizing, no help button.
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

  auto* label = new QLabel(QStringLiteral("Dots per inch:"), this);
  dpiEdit_ = new TSpinEditEx(this);
  dpiEdit_->SetValueType(vtInteger);
  dpiEdit_->SetMinValue(kMinPictureDpi);
  dpiEdit_->SetMaxValue(kMaxPictureDpi);
  label->setBuddy(dpiEdit_);
  transparentBox_ = new QCheckBox(QStringLiteral("Transparent back"), this);
  sizeLabel_ = new QLabel(this);
  sizeLabel_->setWordWrap(true);
  sizeLabel_->setMinimumWidth(300);
  sizeLabel_->setVisible(false);
  dpiEdit_->OnChange = [this] { UpdateSizeLabel(); };
  connect(transparentBox_, &QCheckBox::toggled, this, [this] { UpdateSizeLabel(); });
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* dpiRow = new QHBoxLayout();
  dpiRow->addWidget(label);
  dpiRow->addWidget(dpiEdit_);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(dpiRow);
  layout->addWidget(sizeLabel_);
  layout->addWidget(transparentBox_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSaveImageForm::Start(int32_t DPI, bool Transparent) {
  dpiEdit_->SetValue(DPI);
  transparentBox_->setChecked(Transparent);
  UpdateSizeLabel();
}

void TSaveImageForm::SetPictureGeometry(int32_t bufferWidth, int32_t bufferHeight, int32_t screenDpi,
                                        int fileType, const TPictureScene& scene) {
  hasGeometry_ = true;
  scene_ = scene;
  bufferWidth_ = bufferWidth;
  bufferHeight_ = bufferHeight;
  screenDpi_ = screenDpi;
  fileType_ = fileType;
  sizeLabel_->setVisible(true);
  UpdateSizeLabel();
}

TPictureSize TSaveImageForm::ChosenSize() const {
  return PictureSize(bufferWidth_, bufferHeight_, ChosenDPI(), screenDpi_);
}

void TSaveImageForm::UpdateSizeLabel() {
  if (!hasGeometry_) return;
  const TPictureSize size = ChosenSize();
  QString text = QStringLiteral("Picture: %1 x %2 pixels").arg(size.Width).arg(size.Height);
  const std::string problem = PictureSizeProblem(size, fileType_, ChosenTransparent(), scene_);
  if (!problem.empty()) text += QStringLiteral("\n") + QString::fromStdString(problem);
  sizeLabel_->setText(text);
}

void TSaveImageForm::accept() {
  if (hasGeometry_) {
    // Refused here, before anything is rendered, so the user can pick another resolution.
    const std::string problem = PictureSizeProblem(ChosenSize(), fileType_, ChosenTransparent(), scene_);
    if (!problem.empty()) {
      Services().Messages->ShowMessage(problem, TMessageKind::Error);
      dpiEdit_->setFocus();
      return;
    }
  }
  QDialog::accept();
}

int32_t TSaveImageForm::ChosenDPI() const {
  // Typed text is not clamped by the edit itself; a resolution outside the
  // range would give an empty or absurd picture.
  return RoundToInt(dpiEdit_->CheckValue(dpiEdit_->Value()));
}

bool TSaveImageForm::ChosenTransparent() const { return transparentBox_->isChecked(); }

bool TSaveImageForm::Execute(int32_t& DPI, bool& Transparent) {
  Start(DPI, Transparent);
  if (exec() != QDialog::Accepted) return false;
  DPI = ChosenDPI();
  Transparent = ChosenTransparent();
  return true;
}

void TSaveImageForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen(this);
}

}  // namespace qira

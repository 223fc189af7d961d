#include "ui/ParamEditors.h"

// Sections:
//   1. registration, colour box, preview box
//   2. sample buttons
//   3. common frame
//   4. filling editor
//   5. line editor
//   6. font editor

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

#include "platform/HandlerGuard.h"
#include "widgets/FormattedText.h"
#include "widgets/SpinEdit.h"

namespace qira {

namespace {

constexpr int kPreviewWidth = 220;
constexpr int kPreviewHeight = 90;

struct TNamedColor {
  const char* name;
  TColor color;
};

constexpr std::array<TNamedColor, 16> kStandardColors = {{
    {"Black", 0x000000}, {"Maroon", 0x000080}, {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},  {"Purple", 0x800080}, {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},   {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00}, {"White", 0xFFFFFF},
}};

QComboBox* NewList(QWidget* parent, std::initializer_list<const char*> items) {
  auto* list = new QComboBox(parent);
  for (const char* item : items) list->addItem(QString::fromLatin1(item));
  return list;
}

// The list index of a stored value; no selection when the value has no item.
void SelectIndex(QComboBox* list, int index) { list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1); }

}  // namespace

// ---- 1. registration, colour box, preview box ------------------------------------------------

void RegisterParamEditors() {
  TBrushParams::Editor = [](TBrushParams& params) {
    TBrushDlgForm form(QApplication::activeWindow());
    return form.Execute(params);
  };
  TLineParams::Editor = [](TLineParams& params) {
    TLineDlgForm form(QApplication::activeWindow());
    return form.Execute(params);
  };
  TFontParams::Editor = [](TFontParams& params) {
    TFontDlgForm form(QApplication::activeWindow());
    return form.Execute(params);
  };
  TFontParams::SystemFontDialog = [](TFontChoice& choice) {
    QFont initial(QString::fromStdString(choice.Face));
    if (choice.Size > 0) initial.setPointSize(choice.Size);
    initial.setBold((choice.Style & fsBold) != 0);
    initial.setItalic((choice.Style & fsItalic) != 0);
    initial.setUnderline((choice.Style & fsUnderline) != 0);
    initial.setStrikeOut((choice.Style & fsStrikeOut) != 0);
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, QApplication::activeWindow());
    if (!ok) return false;
    choice.Face = font.family().toStdString();
    choice.Size = font.pointSize() > 0 ? font.pointSize() : choice.Size;
    choice.Style = static_cast<uint8_t>((font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) |
                                        (font.underline() ? fsUnderline : 0) | (font.strikeOut() ? fsStrikeOut : 0));
    return true;
  };
}

TParamColorBox::TParamColorBox(QWidget* parent) : QComboBox(parent) {
  for (const TNamedColor& c : kStandardColors) {
    QPixmap swatch(12, 12);
    swatch.fill(QColor::fromRgb(ColorToPixel(c.color)));
    addItem(QIcon(swatch), QString::fromLatin1(c.name), QVariant::fromValue<uint>(c.color));
  }
}

TColor TParamColorBox::Selected() const {
  const QVariant v = currentData();
  return v.isValid() ? static_cast<TColor>(v.toUInt()) : clBlack;
}

void TParamColorBox::SetSelected(TColor color) {
  int index = findData(QVariant::fromValue<uint>(color));
  if (index < 0) {
    QPixmap swatch(12, 12);
    swatch.fill(QColor::fromRgb(ColorToPixel(ColorToRGB(color))));
    addItem(QIcon(swatch), QStringLiteral("Custom"), QVariant::fromValue<uint>(color));
    index = count() - 1;
  }
  setCurrentIndex(index);
}

TParamPreview::TParamPreview(QWidget* parent) : QWidget(parent) {
  setFixedSize(kPreviewWidth, kPreviewHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

const QImage& TParamPreview::Render() {
  buffer_ = QImage(width(), height(), QImage::Format_RGB32);
  buffer_.fill(QColor::fromRgb(ColorToPixel(ColorToRGB(clBtnFace))));
  TCanvas canvas(&buffer_);
  if (OnDraw) OnDraw(canvas);
  return buffer_;
}

void TParamPreview::paintEvent(QPaintEvent*) {
  Guarded([this] { Render(); }, TReportTime::rtAfterHandler);
  QPainter painter(this);
  painter.drawImage(0, 0, buffer_);
}

// ---- 2. sample buttons --------------------------------------------------------------------------

TBrushEdit::TBrushEdit(QWidget* parent) : TShapedButton(parent) {
  SetShowFocusRGN(false);
  SetCaptionFixed(true);
  setText(QString());
  // Connected first, so the editor runs before the owner's click handlers.
  connect(this, &QAbstractButton::clicked, this, [this] {
    Guarded([this] {
      if (brush_.Edit()) update();
    });
  });
}

void TBrushEdit::SetBrush(const TBrushParams& brush) {
  brush_.Assign(brush);
  repaint();
}

void TBrushEdit::PaintButton() {
  TShapedButton::PaintButton();
  TCanvas& canvas = Canvas();
  canvas.SaveDC();
  canvas.SetPen({clBlack, 0, psSolid, pmCopy});
  brush_.ApplyTo(canvas);
  canvas.Rectangle(5, 5, width() - 5, height() - 5);
  canvas.RestoreDC(-1);
}

TLineEdit::TLineEdit(QWidget* parent) : TShapedButton(parent) {
  SetShowFocusRGN(false);
  SetCaptionFixed(true);
  setText(QString());
  Canvas().SetBrushColor(ColorToRGB(ButtonColor()));
  connect(this, &QAbstractButton::clicked, this, [this] {
    Guarded([this] {
      if (line_.Edit()) update();
    });
  });
}

void TLineEdit::SetLine(const TLineParams& line) {
  line_.Assign(line);
  repaint();
}

void TLineEdit::PaintButton() {
  TShapedButton::PaintButton();
  TCanvas& canvas = Canvas();
  canvas.SaveDC();
  line_.ApplyTo(canvas);
  canvas.MoveTo(10, height() / 2);
  canvas.LineTo(width() - 10, height() / 2);
  canvas.RestoreDC(-1);
}

// ---- 3. common frame ------------------------------------------------------------------------------

TParamDlgForm::TParamDlgForm(const QString& caption, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  preview_ = new TParamPreview(this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  default_ = new QPushButton(QStringLiteral("Default"), this);
  cancel_->setAutoDefault(false);
  default_->setAutoDefault(false);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(default_, &QPushButton::clicked, this, [this] { Guarded([this] { DefaultClick(); }); });
}

void TParamDlgForm::Finish(QLayout* controls) {
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(default_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(preview_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

// ---- 4. filling editor ----------------------------------------------------------------------------

TBrushDlgForm::TBrushDlgForm(QWidget* parent) : TParamDlgForm(QStringLiteral("Filling editor"), parent) {
  texture_ = new QCheckBox(QStringLiteral("Texture"), this);
  textureColorLabel_ = new QLabel(QStringLiteral("Color:"), this);
  textureColor_ = new TParamColorBox(this);
  styleLabel_ = new QLabel(QStringLiteral("Style:"), this);
  style_ = NewList(this, {"Horizontal", "Vertical", "FDiagonal", "BDiagonal", "Cross", "DiagCross"});
  back_ = new QCheckBox(QStringLiteral("Back"), this);
  backColorLabel_ = new QLabel(QStringLiteral("Color:"), this);
  backColor_ = new TParamColorBox(this);

  auto* grid = new QGridLayout();
  grid->addWidget(texture_, 0, 0, 1, 2);
  grid->addWidget(textureColorLabel_, 1, 0);
  grid->addWidget(textureColor_, 1, 1);
  grid->addWidget(styleLabel_, 2, 0);
  grid->addWidget(style_, 2, 1);
  grid->addWidget(back_, 3, 0, 1, 2);
  grid->addWidget(backColorLabel_, 4, 0);
  grid->addWidget(backColor_, 4, 1);
  Finish(grid);

  Preview()->OnDraw = [this](TCanvas& canvas) { DrawPreview(canvas); };
  auto changed = [this] {
    if (loading_) return;
    UpdateEnabled();
    Preview()->update();
  };
  connect(texture_, &QCheckBox::toggled, this, changed);
  connect(back_, &QCheckBox::toggled, this, changed);
  connect(textureColor_, &QComboBox::currentIndexChanged, this, changed);
  connect(backColor_, &QComboBox::currentIndexChanged, this, changed);
  connect(style_, &QComboBox::currentIndexChanged, this, changed);
  UpdateEnabled();
}

void TBrushDlgForm::Start(const TBrushParams& params) {
  initial_.Assign(params);
  DefaultClick();
}

bool TBrushDlgForm::Execute(TBrushParams& params) {
  Start(params);
  if (exec() != QDialog::Accepted) return false;
  TakeControls();
  params.Assign(edited_);
  return true;
}

void TBrushDlgForm::DefaultClick() {
  edited_.Assign(initial_);
  loading_ = true;
  texture_->setChecked(edited_.Texture);
  textureColor_->SetSelected(edited_.TextureColor);
  SelectIndex(style_, static_cast<int>(edited_.TextureStyle) - 2);
  back_->setChecked(edited_.Back);
  backColor_->SetSelected(edited_.BackColor);
  loading_ = false;
  UpdateEnabled();
  Preview()->update();
}

void TBrushDlgForm::UpdateEnabled() {
  const bool texture = texture_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{textureColorLabel_, textureColor_, styleLabel_, style_})
    w->setEnabled(texture);
  backColorLabel_->setEnabled(back_->isChecked());
  backColor_->setEnabled(back_->isChecked());
}

void TBrushDlgForm::TakeControls() {
  edited_.Texture = texture_->isChecked();
  edited_.TextureColor = textureColor_->Selected();
  // A stored style without an item in the list (solid or clear) stays as it is.
  if (style_->currentIndex() >= 0) edited_.TextureStyle = static_cast<uint8_t>(style_->currentIndex() + 2);
  edited_.Back = back_->isChecked();
  edited_.BackColor = backColor_->Selected();
}

void TBrushDlgForm::DrawPreview(TCanvas& canvas) {
  TakeControls();
  canvas.SetPen({clBlack, 0, psSolid, pmCopy});
  edited_.ApplyTo(canvas);
  canvas.Rectangle(10, 10, canvas.Width() - 10, canvas.Height() - 10);
}

// ---- 5. line editor -------------------------------------------------------------------------------

TLineDlgForm::TLineDlgForm(QWidget* parent) : TParamDlgForm(QStringLiteral("Line editor"), parent) {
  color_ = new TParamColorBox(this);
  mode_ = NewList(this, {"Black", "White", "Nop", "Not", "Copy", "NotCopy", "MergePenNot", "MaskPenNot",
                         "MergeNotPen", "MaskNotPen", "Merge", "NotMerge", "Mask", "NotMask", "Xor", "NotXor"});
  style_ = NewList(this, {"Solid", "Dash", "Dot", "DashDot", "DashDotDot", "Clear", "InsideFrame"});
  width_ = new TSpinEditEx(this);
  width_->SetMinValue(0);
  width_->SetMaxValue(100000);

  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(QStringLiteral("Color:"), this), 0, 0);
  grid->addWidget(color_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Mode:"), this), 1, 0);
  grid->addWidget(mode_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Style:"), this), 2, 0);
  grid->addWidget(style_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Width:"), this), 3, 0);
  grid->addWidget(width_, 3, 1);
  Finish(grid);

  Preview()->OnDraw = [this](TCanvas& canvas) { DrawPreview(canvas); };
  auto changed = [this] { Guarded([this] { ControlChanged(); }); };
  connect(color_, &QComboBox::currentIndexChanged, this, changed);
  connect(mode_, &QComboBox::currentIndexChanged, this, changed);
  connect(style_, &QComboBox::currentIndexChanged, this, changed);
  width_->OnChange = changed;
}

void TLineDlgForm::Start(const TLineParams& params) {
  initial_.Assign(params);
  DefaultClick();
}

bool TLineDlgForm::Execute(TLineParams& params) {
  Start(params);
  if (exec() != QDialog::Accepted) return false;
  params.Color = color_->Selected();
  if (mode_->currentIndex() >= 0) params.Mode = static_cast<uint8_t>(mode_->currentIndex());
  if (style_->currentIndex() >= 0) params.Style = static_cast<uint8_t>(style_->currentIndex());
  params.Width = static_cast<int32_t>(width_->Value());
  return true;
}

void TLineDlgForm::DefaultClick() {
  edited_.Assign(initial_);
  loading_ = true;
  color_->SetSelected(edited_.Color);
  SelectIndex(mode_, edited_.Mode);
  SelectIndex(style_, edited_.Style);
  width_->SetValue(edited_.Width);
  loading_ = false;
  Preview()->update();
}

void TLineDlgForm::ControlChanged() {
  if (loading_) return;
  edited_.Color = color_->Selected();
  if (mode_->currentIndex() >= 0) edited_.Mode = static_cast<uint8_t>(mode_->currentIndex());
  if (style_->currentIndex() >= 0) edited_.Style = static_cast<uint8_t>(style_->currentIndex());
  edited_.Width = static_cast<int32_t>(width_->Value());
  Preview()->update();
}

void TLineDlgForm::DrawPreview(TCanvas& canvas) {
  edited_.ApplyTo(canvas);
  canvas.MoveTo(10, canvas.Height() / 2);
  canvas.LineTo(canvas.Width() - 10, canvas.Height() / 2);
}

// ---- 6. font editor -------------------------------------------------------------------------------

TFontDlgForm::TFontDlgForm(QWidget* parent) : TParamDlgForm(QStringLiteral("Font editor"), parent) {
  face_ = new QComboBox(this);
  face_->setEditable(true);
  face_->addItems(QFontDatabase::families());
  color_ = new TParamColorBox(this);
  size_ = new TSpinEditEx(this);
  size_->SetMinValue(1);
  size_->SetMaxValue(100000);
  const char* styleNames[4] = {"Bold", "Italic", "Underline", "Strike out"};
  for (int i = 0; i < 4; ++i) styles_[i] = new QCheckBox(QString::fromLatin1(styleNames[i]), this);
  hAlign_ = NewList(this, {"Left", "Right", "Center"});
  vAlign_ = NewList(this, {"Top", "Bottom", "Center"});
  framed_ = new QCheckBox(QStringLiteral("Framed"), this);
  border_ = new QCheckBox(QStringLiteral("Border"), this);
  lineButton_ = new TLineEdit(this);
  filling_ = new QCheckBox(QStringLiteral("Filling"), this);
  brushButton_ = new TBrushEdit(this);
  distanceLabel_ = new QLabel(QStringLiteral("Distance from text:"), this);
  hDistanceLabel_ = new QLabel(QStringLiteral("Horizontal:"), this);
  vDistanceLabel_ = new QLabel(QStringLiteral("Vertical:"), this);
  hDistance_ = new TSpinEditEx(this);
  vDistance_ = new TSpinEditEx(this);

  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(QStringLiteral("Font:"), this), 0, 0);
  grid->addWidget(face_, 0, 1, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Color:"), this), 1, 0);
  grid->addWidget(color_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Size:"), this), 1, 2);
  grid->addWidget(size_, 1, 3);
  for (int i = 0; i < 4; ++i) grid->addWidget(styles_[i], 2, i);
  grid->addWidget(new QLabel(QStringLiteral("Adjustment:"), this), 3, 0);
  grid->addWidget(hAlign_, 3, 1);
  grid->addWidget(vAlign_, 3, 2);
  grid->addWidget(framed_, 4, 0);
  grid->addWidget(border_, 5, 0);
  grid->addWidget(lineButton_, 5, 1);
  grid->addWidget(filling_, 5, 2);
  grid->addWidget(brushButton_, 5, 3);
  grid->addWidget(distanceLabel_, 6, 0, 1, 2);
  grid->addWidget(hDistanceLabel_, 7, 0);
  grid->addWidget(hDistance_, 7, 1);
  grid->addWidget(vDistanceLabel_, 7, 2);
  grid->addWidget(vDistance_, 7, 3);
  Finish(grid);

  Preview()->OnDraw = [this](TCanvas& canvas) { DrawPreview(canvas); };
  auto changed = [this] { Guarded([this] { ControlChanged(); }); };
  connect(face_, &QComboBox::currentTextChanged, this, changed);
  connect(color_, &QComboBox::currentIndexChanged, this, changed);
  size_->OnChange = changed;
  for (QCheckBox* box : styles_) connect(box, &QCheckBox::toggled, this, changed);
  connect(hAlign_, &QComboBox::currentIndexChanged, this, changed);
  connect(vAlign_, &QComboBox::currentIndexChanged, this, changed);
  connect(framed_, &QCheckBox::toggled, this, changed);
  connect(border_, &QCheckBox::toggled, this, changed);
  connect(filling_, &QCheckBox::toggled, this, changed);
  hDistance_->OnChange = changed;
  vDistance_->OnChange = changed;
  // After the button's own editor (connected first in the button). The button's
  // set keeps the Enabled it had when the form was loaded, and its editor never
  // edits it: whether there is a border or a filling stays what its box says.
  connect(lineButton_, &QAbstractButton::clicked, this, [this] {
    Guarded([this] {
      edited_.FrameLine.Assign(lineButton_->Line());
      edited_.FrameLine.Enabled = border_->isChecked();
      Preview()->update();
    });
  });
  connect(brushButton_, &QAbstractButton::clicked, this, [this] {
    Guarded([this] {
      edited_.Filling.Assign(brushButton_->Brush());
      edited_.Filling.Enabled = filling_->isChecked();
      Preview()->update();
    });
  });
}

TFontDlgForm::~TFontDlgForm() {
  loading_ = true;
  for (TSpinEditEx* edit : {size_, hDistance_, vDistance_}) edit->OnChange = nullptr;
}

void TFontDlgForm::Start(const TFontParams& params) {
  initial_.Assign(params);
  DefaultClick();
}

bool TFontDlgForm::Execute(TFontParams& params) {
  Start(params);
  if (exec() != QDialog::Accepted) return false;
  params.Assign(edited_);
  return true;
}

void TFontDlgForm::DefaultClick() {
  edited_.Assign(initial_);
  loading_ = true;
  face_->setCurrentText(QString::fromStdString(edited_.Face));
  color_->SetSelected(edited_.Color);
  size_->SetValue(edited_.Size);
  for (int i = 0; i < 4; ++i) styles_[i]->setChecked((edited_.Style & (1u << i)) != 0);
  SelectIndex(hAlign_, edited_.HAlign);
  SelectIndex(vAlign_, edited_.VAlign);
  framed_->setChecked(edited_.Framed);
  border_->setChecked(edited_.FrameLine.Enabled);
  filling_->setChecked(edited_.Filling.Enabled);
  hDistance_->SetValue(edited_.HDistance);
  vDistance_->SetValue(edited_.VDistance);
  lineButton_->SetLine(edited_.FrameLine);
  brushButton_->SetBrush(edited_.Filling);
  loading_ = false;
  UpdateEnabled();
  Preview()->update();
}

void TFontDlgForm::ControlChanged() {
  if (loading_) return;
  edited_.Face = face_->currentText().toStdString();
  edited_.Color = color_->Selected();
  edited_.Size = static_cast<int32_t>(size_->Value());
  uint8_t style = 0;
  for (int i = 0; i < 4; ++i) {
    if (styles_[i]->isChecked()) style = static_cast<uint8_t>(style | (1u << i));
  }
  edited_.Style = style;
  if (hAlign_->currentIndex() >= 0) edited_.HAlign = static_cast<uint8_t>(hAlign_->currentIndex());
  if (vAlign_->currentIndex() >= 0) edited_.VAlign = static_cast<uint8_t>(vAlign_->currentIndex());
  edited_.Framed = framed_->isChecked();
  edited_.FrameLine.Enabled = border_->isChecked();
  edited_.Filling.Enabled = filling_->isChecked();
  edited_.HDistance = static_cast<int32_t>(hDistance_->Value());
  edited_.VDistance = static_cast<int32_t>(vDistance_->Value());
  UpdateEnabled();
  Preview()->update();
}

void TFontDlgForm::UpdateEnabled() {
  const bool framed = framed_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{border_, filling_, distanceLabel_, hDistanceLabel_,
                                                    vDistanceLabel_, hDistance_, vDistance_})
    w->setEnabled(framed);
  lineButton_->setEnabled(framed && border_->isChecked());
  brushButton_->setEnabled(framed && filling_->isChecked());
}

void TFontDlgForm::DrawPreview(TCanvas& canvas) {
  const int32_t w = canvas.Width(), h = canvas.Height();
  canvas.SetPen({clWhite, 0, psDot, pmCopy});
  canvas.MoveTo(0, h / 2);
  canvas.LineTo(w, h / 2);
  canvas.MoveTo(w / 2, 0);
  canvas.LineTo(w / 2, h);
  edited_.TextOut(canvas, w / 2, h / 2, "Aa Bb Zz");
}

}  // namespace qira

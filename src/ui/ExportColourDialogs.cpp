#include "ui/ExportColourDialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/Canvas.h"
#include "platform/HandlerGuard.h"
#include "platform/NumberText.h"
#include "ui/DialogSupport.h"

namespace qira {

namespace {


// The preview never shrinks below this, whatever the settings hold.
constexpr int kMinPreviewSide = 100;

QSize ScreenSize() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->geometry().size();
  return QSize(1024, 768);
}

}  // namespace

void RegisterExportDialogs() {
  SetExportColorDialog([](const std::string& caption, TClassLimits& limits, bool mustBePositive,
                          const std::vector<TPreviewCallback>& callbacks) {
    return TExportColorForm::Execute(caption, limits, mustBePositive, callbacks, QApplication::activeWindow());
  });
}

std::string FloatToStrGeneral(double value) {
  if (value == 0) return "0";  // also for -0
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  std::string text(buf, end);
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
  if (exponent == -5) {
    // Fixed notation reaches down to 0.00001 in this format.
    auto [fend, fec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 19);
    if (fec != std::errc()) return text;
    std::string fixed(buf, fend);  // 4 zeros after the point, then 15 digits
    while (fixed.back() == '0') fixed.pop_back();
    return fixed;
  }
  return text.substr(0, e) + "E" + std::to_string(exponent);
}

// ---- preview --------------------------------------------------------------------------

TExportPreviewForm::TExportPreviewForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Preview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  next_ = new QPushButton(QStringLiteral(">"), this);
  previous_ = new QPushButton(QStringLiteral("<"), this);
  for (QPushButton* button : {next_, previous_}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setFixedSize(22, 22);
  }
  connect(next_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(previous_, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  PlaceButtons();
}

void TExportPreviewForm::Start(const std::vector<TPreviewCallback>& callbacks, const TClassLimits& limits) {
  callbacks_ = callbacks;
  limits_ = limits;
  const QSize screen = ScreenSize();
  const int height = ReadSetting(SettingKeys::ColorPreviewHeightWidth, screen.height() * 2 / 3);
  const int width = ReadSetting(SettingKeys::ColorPreviewFormWidth, screen.width() * 2 / 3);
  // Its picture is drawn at the window's size: a stored size is bounded to the screen.
  resize(StoredPlaceOnScreen(0, 0, width, height, QRect(QPoint(0, 0), screen),
                             QSize(kMinPreviewSide, kMinPreviewSide))
             .size());
  const bool browse = callbacks_.size() > 1;
  next_->setVisible(browse);
  previous_->setVisible(browse);
  index_ = 0;
  PlaceButtons();
  update();
}

bool TExportPreviewForm::Execute(const std::vector<TPreviewCallback>& callbacks, const TClassLimits& limits) {
  Start(callbacks, limits);
  const bool ok = exec() == QDialog::Accepted;
  StoreSize();
  return ok;
}

void TExportPreviewForm::StoreSize() const {
  WriteSetting(SettingKeys::ColorPreviewHeightWidth, height());
  WriteSetting(SettingKeys::ColorPreviewFormWidth, width());
}

QImage TExportPreviewForm::Render() const {
  QImage image(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
  image.fill(Qt::black);
  if (callbacks_.empty()) return image;
  TCanvas canvas(&image);
  double frequency = 0;
  const TPreviewCallback& callback = callbacks_[static_cast<size_t>(index_)];
  if (callback) callback(canvas, limits_, 0, 0, image.width() - 1, image.height() - 1, frequency);
  if (callbacks_.size() > 1) {
    canvas.SetBrushStyle(bsClear);
    canvas.SetBkMode(bkTransparent);
    canvas.SetTextColor(clWhite);
    canvas.TextOut(1, 1, FloatToStrGeneral(frequency / 1000) + " kHz");
  }
  return image;
}

void TExportPreviewForm::paintEvent(QPaintEvent*) {
  QImage image;
  // A callback that raises paints black; the message waits until the paint is over.
  if (!Guarded([&] { image = Render(); }, TReportTime::rtAfterHandler)) {
    image = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    image.fill(Qt::black);
  }
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void TExportPreviewForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceButtons();
  update();
}

void TExportPreviewForm::PlaceButtons() {
  previous_->move(width() - previous_->width(), height() - previous_->height());
  next_->move(previous_->x() - next_->width(), height() - next_->height());
}

void TExportPreviewForm::Browse(int step) {
  const int count = static_cast<int>(callbacks_.size());
  if (count == 0) return;
  index_ = ((index_ + step) % count + count) % count;
  update();
}

void RunPreviewForm(const std::string& caption, const std::vector<TPreviewCallback>& callbacks,
                    const TClassLimits& limits, QWidget* parent) {
  TExportPreviewForm form(parent);
  form.setWindowTitle(ToQtTitle(caption));
  form.Execute(callbacks, limits);
}

// ---- colour classes -------------------------------------------------------------------

int TExportColorForm::LimitIndexOfEdit(int n) {
  if (n == 1) return 0;
  if (n <= 9) return 2 * n - 3;  // Edit2..Edit9: L[1], L[3], ..., L[15]
  return 2 * n - 18;             // Edit10..Edit16: L[2], L[4], ..., L[14]
}

TExportColorForm::TExportColorForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Export"));
  for (size_t k = 0; k < edits_.size(); ++k) {
    edits_[k] = new QLineEdit(this);
    edits_[k]->setObjectName(QStringLiteral("Edit%1").arg(k + 1));
  }
  auto* grid = new QGridLayout();
  const auto& classes = ColorClasses();
  for (int row = 0; row < ColorClassCount; ++row) {
    grid->addWidget(new QLabel(QString::fromLatin1(classes[static_cast<size_t>(row)].Label), this), row, 0);
    if (row == 0) {
      grid->addWidget(Edit(1), row, 1);
      endLabels_[0] = new QLabel(QStringLiteral("and less"), this);
      grid->addWidget(endLabels_[0], row, 2);
    } else if (row == ColorClassCount - 1) {
      grid->addWidget(Edit(9), row, 1);
      endLabels_[1] = new QLabel(QStringLiteral("and more"), this);
      grid->addWidget(endLabels_[1], row, 2);
    } else {
      grid->addWidget(Edit(row + 1), row, 1);
      grid->addWidget(Edit(row + 9), row, 2);
    }
  }
  preview_ = new QPushButton(QStringLiteral("Preview"), this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  preview_->setAutoDefault(false);
  ok_->setDefault(true);
  connect(preview_, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn3Click(); }); });
  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  for (int n : {1, 9}) connect(Edit(n), &QLineEdit::textChanged, this, [this] { UpdateEndLabels(); });
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(preview_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  layout->addLayout(buttons);
  resize(295, 376);
}

void TExportColorForm::Start(const TClassLimits& limits, bool mustBePositive,
                             const std::vector<TPreviewCallback>& callbacks) {
  for (int n = 1; n <= 16; ++n) {
    std::string text;
    FormatSignificant(3, 15, text, limits[static_cast<size_t>(LimitIndexOfEdit(n))]);
    Edit(n)->setText(ToQt(TrimSpaces(text)));
  }
  limits_ = limits;
  mustBePositive_ = mustBePositive;
  callbacks_ = callbacks;
  UpdateEndLabels();
}

void TExportColorForm::UpdateEndLabels() {
  double red = 0, blue = 0;
  if (!ParseDouble(TrimSpaces(FromQt(Edit(1)->text())), red) ||
      !ParseDouble(TrimSpaces(FromQt(Edit(9)->text())), blue))
    return;
  TClassLimits ends{};
  ends[0] = red;
  ends[15] = blue;
  const bool descending = LimitsDescend(ends);
  endLabels_[0]->setText(descending ? QStringLiteral("and more") : QStringLiteral("and less"));
  endLabels_[1]->setText(descending ? QStringLiteral("and less") : QStringLiteral("and more"));
}

bool TExportColorForm::ReadLimits(TClassLimits& limits) {
  TClassLimits read = limits;
  for (int n = 1; n <= 16; ++n) {
    QLineEdit* edit = Edit(n);
    double value = 0;
    if (!ValidateFloatEdit(FromQt(edit->text()), mustBePositive_, [edit] { edit->setFocus(); }, &value))
      return false;
    read[static_cast<size_t>(LimitIndexOfEdit(n))] = value;
  }
  limits = read;
  return true;
}

void TExportColorForm::accept() {
  bool read = false;
  Guarded([&] { read = ReadLimits(limits_); });
  if (read) QDialog::accept();
}

void TExportColorForm::BitBtn3Click() {
  TClassLimits limits = limits_;
  if (!ReadLimits(limits) || !ShowPreview) return;
  ShowPreview(FromQt(windowTitle()), callbacks_, limits, this);
}

bool TExportColorForm::Execute(const std::string& caption, TClassLimits& limits, bool mustBePositive,
                               const std::vector<TPreviewCallback>& callbacks, QWidget* parent) {
  TExportColorForm form(parent);
  form.setWindowTitle(ToQtTitle(caption));
  form.Start(limits, mustBePositive, callbacks);
  if (form.exec() != QDialog::Accepted) return false;
  limits = form.Limits();
  return true;
}

}  // namespace qira

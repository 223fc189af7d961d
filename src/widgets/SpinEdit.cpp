#include "widgets/SpinEdit.h"

// Sections:
//   1. number text
//   2. glyphs and TSpinButtonEx
//   3. TSpinUpDownEx
//   4. TSpinEditEx

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "widgets/WidgetSupport.h"

namespace qira {

namespace {

constexpr int kFirstRepeatMs = 400;
constexpr int kNextRepeatMs = 100;
constexpr int kSignificantDigits = 15;

TColor ToColor(const QColor& c) {
  return MakeColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

// The system vertical scroll bar width, capped at 15 as the up-down wants it.
int UpDownWidth(const QWidget* widget) {
  return std::min(widget->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, widget), 15);
}

int FaceIndex(TSpinButtonState state) { return static_cast<int>(state); }

}  // namespace

// ---- 1. number text ------------------------------------------------------------------------

std::string FormatFixed15(double value, int decimals) {
  decimals = std::max(decimals, 0);
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return FormatFixed(0.0, decimals);

  // The value rounded to 15 significant digits: d.dddddddddddddde[+-]x.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kSignificantDigits - 1);
  const std::string sci(buf, r.ptr);
  const size_t e = sci.find('e');
  int exponent = 0;
  std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
  double rounded = value;
  std::from_chars(sci.data(), sci.data() + sci.size(), rounded);

  std::string text;
  if (exponent + 1 > kSignificantDigits) {
    // More integer digits than the precision holds: exponent notation.
    r = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::general, kSignificantDigits);
    text.assign(buf, r.ptr);
    for (char& c : text) {
      if (c == 'e') c = 'E';
    }
    return text;
  }
  if (exponent + 1 + decimals <= kSignificantDigits) {
    text = FormatFixed(rounded, decimals);
  } else {
    // The requested digits go past the 15th significant one: those are zeros.
    const bool negative = sci[0] == '-';
    std::string digits;
    for (size_t k = negative ? 1 : 0; k < e; ++k) {
      if (sci[k] != '.') digits += sci[k];
    }
    std::string integer;
    std::string fraction;
    if (exponent >= 0) {
      integer = digits.substr(0, static_cast<size_t>(exponent) + 1);
      fraction = digits.substr(static_cast<size_t>(exponent) + 1);
    } else {
      integer = "0";
      fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    fraction.resize(static_cast<size_t>(decimals), '0');
    text = (negative ? "-" : "") + integer + (decimals > 0 ? "." + fraction : "");
  }
  // A value that rounds to zero shows no sign.
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

// ---- 2. glyphs and TSpinButtonEx ----------------------------------------------------------

namespace {

// Rows of a 6 x 6 arrow: the first and last black column (1-based), top to bottom.
struct TGlyphRow {
  int first;
  int last;
};
constexpr TGlyphRow kUpRows[6] = {{3, 4}, {2, 5}, {1, 6}, {3, 4}, {3, 4}, {3, 4}};
constexpr TGlyphRow kDownRows[6] = {{3, 4}, {3, 4}, {3, 4}, {1, 6}, {2, 5}, {3, 4}};

std::unique_ptr<TBitmap> MakeGlyph(const TGlyphRow (&rows)[6]) {
  auto glyph = std::make_unique<TBitmap>(6, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool black = x + 1 >= rows[y].first && x + 1 <= rows[y].last;
      glyph->SetPixel(x, y, black ? clBlack : clWhite);
    }
  }
  return glyph;
}

std::unique_ptr<TBitmap> CopyOf(const TBitmap& source) {
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(source);
  return copy;
}

}  // namespace

std::unique_ptr<TBitmap> NewSpinUpGlyph() { return MakeGlyph(kUpRows); }
std::unique_ptr<TBitmap> NewSpinDownGlyph() { return MakeGlyph(kDownRows); }

TSpinButtonEx::TSpinButtonEx(QWidget* parent)
    : QWidget(parent), upGlyph_(NewSpinUpGlyph()), downGlyph_(NewSpinDownGlyph()) {
  resize(20, 20);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TSpinButtonEx::~TSpinButtonEx() = default;

void TSpinButtonEx::SetUpGlyph(const TBitmap& glyph) {
  upGlyph_ = CopyOf(glyph);
  facesInvalid_ = true;
  update();
}

void TSpinButtonEx::SetDownGlyph(const TBitmap& glyph) {
  downGlyph_ = CopyOf(glyph);
  facesInvalid_ = true;
  update();
}

int TSpinButtonEx::RepeatInterval() const { return repeatTimer_ ? repeatTimer_->interval() : 0; }

bool TSpinButtonEx::RepeatActive() const { return repeatTimer_ && repeatTimer_->isActive(); }

bool TSpinButtonEx::InTopHalf(int x, int y) const {
  const double w = std::max(width(), 1);
  const double h = height();
  return y < h - (h / w) * x;
}

void TSpinButtonEx::DrawFace(TBitmap& face, TSpinButtonState state) {
  const int w = width();
  const int h = height();
  face.SetSize(w, h);
  TCanvas& c = face.Canvas();
  const QPalette& pal = palette();
  const TColor btnFace = ToColor(pal.color(QPalette::Button));
  const TColor frame = ToColor(pal.color(QPalette::Shadow));
  const TColor highlight = ToColor(pal.color(QPalette::Light));
  const TColor shadow = ToColor(pal.color(QPalette::Dark));
  const bool top = state == TSpinButtonState::Top;
  const bool bottom = state == TSpinButtonState::Bottom;
  auto line = [&c](TColor colour, std::initializer_list<TPoint> points) {
    c.SetPen({colour, 1, psSolid, pmCopy});
    c.MoveTo(points.begin()->X, points.begin()->Y);
    for (auto p = points.begin() + 1; p != points.end(); ++p) c.LineTo(p->X, p->Y);
  };

  c.SetBrush({btnFace, bsSolid});
  c.FillRect({0, 0, w, h});
  c.SetBrush({frame, bsSolid});
  c.FrameRect({0, 0, w, h});
  line(frame, {{-1, h}, {w, -1}});

  line(top ? shadow : highlight, {{1, h - 4}, {1, 1}, {w - 3, 1}});
  if (!top) line(shadow, {{1, h - 3}, {w - 2, 0}});

  line(bottom ? highlight : shadow, {{2, h - 2}, {w - 2, h - 2}, {w - 2, 1}});
  line(bottom ? shadow : highlight, {{2, h - 2}, {w - 1, 1}});

  const int d = top ? 2 : 1;
  const TBitmap& up = *upGlyph_;
  const TBitmap& down = *downGlyph_;
  StretchBitmapTransparent(c, up, clDefault, RoundToInt(w / 4.0 - up.Width() / 2.0) + d,
                           RoundToInt(h / 4.0 - up.Height() / 2.0) + d, up.Width(), up.Height(), 0, 0, 0, 0);
  StretchBitmapTransparent(c, down, clDefault, RoundToInt(3.0 * w / 4.0 - down.Width() / 2.0) - 1,
                           RoundToInt(3.0 * h / 4.0 - down.Height() / 2.0) - 1, down.Width(), down.Height(), 0, 0,
                           0, 0);
  if (bottom) line(shadow, {{3, h - 2}, {w - 1, 2}});
}

void TSpinButtonEx::DrawFaces() {
  DrawFace(faces_[FaceIndex(TSpinButtonState::None)], TSpinButtonState::None);
  DrawFace(faces_[FaceIndex(TSpinButtonState::Top)], TSpinButtonState::Top);
  DrawFace(faces_[FaceIndex(TSpinButtonState::Bottom)], TSpinButtonState::Bottom);
  facesInvalid_ = false;
}

QImage TSpinButtonEx::Face(TSpinButtonState state) {
  const TBitmap& current = faces_[0];
  if (facesInvalid_ || current.Width() != width() || current.Height() != height()) DrawFaces();
  return faces_[FaceIndex(state)].Image();
}

void TSpinButtonEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Face(state_));
}

void TSpinButtonEx::SetState(TSpinButtonState state) {
  if (state == state_) return;
  state_ = state;
  update();
}

void TSpinButtonEx::Click(TSpinButtonState half) {
  const std::function<void()>& handler = half == TSpinButtonState::Top ? OnTopClick : OnBottomClick;
  if (handler) handler();
  // A click that no mouse button holds (the timer after a release) leaves nothing pressed.
  if (!leftDown_) SetState(TSpinButtonState::None);
}

void TSpinButtonEx::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  leftDown_ = true;
  if (FocusControl && (FocusControl->focusPolicy() & Qt::TabFocus) && FocusControl->isEnabled() &&
      !FocusControl->hasFocus())
    FocusControl->setFocus(Qt::MouseFocusReason);
  if (state_ == TSpinButtonState::None) {
    const QPoint p = event->position().toPoint();
    const TSpinButtonState half = InTopHalf(p.x(), p.y()) ? TSpinButtonState::Top : TSpinButtonState::Bottom;
    lastPressed_ = half;
    SetState(half);
    Click(half);
    if (!repeatTimer_) {
      repeatTimer_ = new QTimer(this);
      connect(repeatTimer_, &QTimer::timeout, this, [this] { TimerTick(); });
    }
    repeatTimer_->start(kFirstRepeatMs);
  }
  dragging_ = true;
}

void TSpinButtonEx::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint p = event->position().toPoint();
  TSpinButtonState shown = TSpinButtonState::None;
  if (rect().contains(p)) {
    const TSpinButtonState half = InTopHalf(p.x(), p.y()) ? TSpinButtonState::Top : TSpinButtonState::Bottom;
    if (half == lastPressed_) shown = half;
  }
  SetState(shown);
}

void TSpinButtonEx::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  leftDown_ = false;
  dragging_ = false;
  // The mouse is no longer held, so the timer has nothing left to repeat.
  if (repeatTimer_) repeatTimer_->stop();
  if (rect().contains(event->position().toPoint())) {
    lastPressed_ = TSpinButtonState::None;
    state_ = TSpinButtonState::None;
    update();
  }
}

void TSpinButtonEx::TimerTick() {
  if (!repeatTimer_) return;
  repeatTimer_->setInterval(kNextRepeatMs);
  // Dragging stands for holding the mouse capture.
  if (state_ != TSpinButtonState::None && dragging_) Click(state_);
}

void TSpinButtonEx::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    facesInvalid_ = true;
    if (!isEnabled()) {
      dragging_ = false;
      leftDown_ = false;
      if (repeatTimer_) repeatTimer_->stop();
      state_ = TSpinButtonState::None;
    }
    update();
  }
  QWidget::changeEvent(event);
}

// ---- 3. TSpinUpDownEx -------------------------------------------------------------------------

TSpinUpDownEx::TSpinUpDownEx(QWidget* parent) : QWidget(parent) {
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(kFirstRepeatMs);
    b->setAutoRepeatInterval(kNextRepeatMs);
  }
  connect(up_, &QToolButton::clicked, this, [this] {
    if (OnTopClick) OnTopClick();
  });
  connect(down_, &QToolButton::clicked, this, [this] {
    if (OnBottomClick) OnBottomClick();
  });
  resize(UpDownWidth(this), 20);
}

void TSpinUpDownEx::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = UpDownWidth(this);
  if (width() != w) {
    resize(w, height());
    return;
  }
  const int half = height() / 2;
  up_->setGeometry(0, 0, w, half);
  down_->setGeometry(0, half, w, height() - half);
}

// ---- 4. TSpinEditEx ---------------------------------------------------------------------------

TSpinEditEx::TSpinEditEx(QWidget* parent) : QLineEdit(parent) {
  Beep = [] { QApplication::beep(); };
  connect(this, &QLineEdit::textChanged, this, [this] { TextChanged(); });
  setText(QStringLiteral("0"));
  setMinimumHeight(MinHeight());
  RecreateButton();
}

TSpinEditEx::~TSpinEditEx() {
  // Nothing is announced while the edit is torn down.
  changing_ = true;
  OnChange = nullptr;
}

void TSpinEditEx::SetArrowKeys(bool on) {
  arrowKeys_ = on;
  LayoutButton();
}

void TSpinEditEx::SetButtonKind(TSpinButtonKind kind) {
  if (kind == buttonKind_) return;
  buttonKind_ = kind;
  RecreateButton();
}

void TSpinEditEx::SetDecimal(uint8_t decimals) {
  if (decimals == decimal_) return;
  const double current = Value();
  decimal_ = decimals;
  SetValue(current);
}

void TSpinEditEx::SetEditorEnabled(bool on) {
  editorEnabled_ = on;
  setAcceptDrops(on);
}

void TSpinEditEx::SetValueType(TValueType type) {
  if (type == valueType_) return;
  // The value is read in the old type, so switching keeps the number.
  const double current = Value();
  valueType_ = type;
  if (type == vtInteger || type == vtHex) {
    increment_ = RoundHalfEven(increment_);
    if (increment_ == 0) increment_ = 1;
  }
  SetValue(current);
}

bool TSpinEditEx::ParseText(const QString& text, double& value) const {
  const std::string s = text.toStdString();
  switch (valueType_) {
    case vtFloat:
      return ParseDouble(s, value, true);
    case vtInteger: {
      int64_t v = 0;
      if (!ParseInt64(s, v)) return false;
      value = static_cast<double>(v);
      return true;
    }
    case vtHex: {
      const size_t first = s.find_first_not_of(" \t");
      if (first == std::string::npos) return false;
      const size_t last = s.find_last_not_of(" \t");
      const std::string_view digits(s.data() + first, last - first + 1);
      if (digits.size() > 16) return false;
      uint64_t v = 0;
      auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
      if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) return false;
      // Sixteen digits wrap to a negative number, as the writer produces them.
      value = static_cast<double>(static_cast<int64_t>(v));
      return true;
    }
  }
  return false;
}

QString TSpinEditEx::FormatValue(double value) const {
  switch (valueType_) {
    case vtFloat:
      return QString::fromStdString(FormatFixed15(value, decimal_));
    case vtHex:
      return QString::number(static_cast<qulonglong>(static_cast<uint64_t>(RoundToInt64(value))), 16).toUpper();
    case vtInteger:
      break;
  }
  return QString::fromStdString(FormatInteger(RoundToInt64(value)));
}

double TSpinEditEx::Value() const {
  double v = 0;
  return ParseText(text(), v) ? v : lastValue_;
}

void TSpinEditEx::SetValue(double value) {
  const double v = CheckValue(value);
  const QString shown = FormatValue(v);
  double parsed = 0;
  lastValue_ = ParseText(shown, parsed) ? parsed : v;
  setText(shown);
}

double TSpinEditEx::CheckValue(double v) const {
  if (minValue_ == maxValue_) return v;
  if (v < minValue_) return minValue_;
  if (v > maxValue_) return maxValue_;
  return v;
}

bool TSpinEditEx::IsValidChar(QChar key) const {
  const char16_t k = key.unicode();
  if (!editorEnabled_) return k < 32 && k != 8;
  if (k < 32) return true;
  if (k == '+' || k == '-' || (k >= '0' && k <= '9')) return true;
  const QString current = text();
  switch (valueType_) {
    case vtFloat:
      // Either separator is accepted, but only one of them once.
      if ((k == '.' || k == ',') && !current.contains(QLatin1Char('.')) && !current.contains(QLatin1Char(',')))
        return true;
      if ((k == 'E' || k == 'e') && !current.toUpper().contains(QLatin1Char('E'))) return true;
      return false;
    case vtHex:
      return (k >= 'A' && k <= 'F') || (k >= 'a' && k <= 'f');
    case vtInteger:
      break;
  }
  return false;
}

void TSpinEditEx::Step(double delta, const std::function<void()>& after) {
  if (isReadOnly()) {
    if (Beep) Beep();
    return;
  }
  changing_ = true;
  const QString old = text();
  SetValue(Value() + delta);
  changing_ = false;
  if (text().compare(old, Qt::CaseInsensitive) != 0) {
    setModified(true);
    if (OnChange) OnChange();
  }
  if (after) after();
}

void TSpinEditEx::UpClick() { Step(increment_, OnTopClick); }

void TSpinEditEx::DownClick() { Step(-increment_, OnBottomClick); }

void TSpinEditEx::TextChanged() {
  double v = 0;
  if (ParseText(text(), v)) lastValue_ = v;
  if (!changing_ && OnChange) OnChange();
}

void TSpinEditEx::keyPressEvent(QKeyEvent* event) {
  if (arrowKeys_ && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
    if (event->key() == Qt::Key_Up)
      UpClick();
    else
      DownClick();
    event->accept();
    return;
  }
  if (!editorEnabled_ && (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste) ||
                          event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)) {
    if (Beep) Beep();
    event->accept();
    return;
  }
  const QString typed = event->text();
  if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    for (QChar ch : typed) {
      if (ch.unicode() >= 32 && ch.unicode() != 127 && !IsValidChar(ch)) {
        if (Beep) Beep();
        event->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TSpinEditEx::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // Focus coming back to the window or from a popup (the context menu) is no entering.
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  // Qt selects on keyboard focus only; the property decides here, for every way in.
  if (!autoSelect_) {
    deselect();
  } else if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
    selectAll();
  }
}

void TSpinEditEx::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  double v = 0;
  if (!ParseText(text(), v))
    SetValue(lastValue_);
  else if (CheckValue(v) != v)
    SetValue(v);
}

void TSpinEditEx::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  if (!editorEnabled_) {
    for (QAction* action : menu->actions()) {
      const QString name = action->objectName();
      if (name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste") ||
          name == QLatin1String("edit-delete"))
        action->setEnabled(false);
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void TSpinEditEx::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  LayoutButton();
}

int TSpinEditEx::MinHeight() const {
  // The thin window border of the platform the edit was drawn for: one pixel.
  constexpr int kBorderHeight = 1;
  return fontMetrics().height() + 4 * kBorderHeight + 1;
}

void TSpinEditEx::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  // Qt raises a smaller height to a new minimum at once, so no text is cut.
  if (event->type() == QEvent::FontChange) setMinimumHeight(MinHeight());
}

int TSpinEditEx::ButtonWidth() const {
  if (upDown_) return upDown_->width();
  if (spinButton_) return spinButton_->width();
  return UpDownWidth(this);
}

void TSpinEditEx::RecreateButton() {
  delete spinButton_;
  spinButton_ = nullptr;
  delete upDown_;
  upDown_ = nullptr;
  if (buttonKind_ == bkDiagonal) {
    spinButton_ = new TSpinButtonEx(this);
    spinButton_->FocusControl = this;
    spinButton_->setCursor(Qt::ArrowCursor);
    spinButton_->OnTopClick = [this] { UpClick(); };
    spinButton_->OnBottomClick = [this] { DownClick(); };
    spinButton_->show();
  } else {
    upDown_ = new TSpinUpDownEx(this);
    upDown_->setCursor(Qt::ArrowCursor);
    auto focusEdit = [this] {
      if ((focusPolicy() & Qt::TabFocus) && isEnabled() && isVisible()) setFocus(Qt::MouseFocusReason);
    };
    upDown_->OnTopClick = [this, focusEdit] {
      focusEdit();
      UpClick();
    };
    upDown_->OnBottomClick = [this, focusEdit] {
      focusEdit();
      DownClick();
    };
    upDown_->show();
  }
  LayoutButton();
}

void TSpinEditEx::LayoutButton() {
  const bool rtl = isRightToLeft();
  const int h = height();
  if (spinButton_) {
    // A square just inside the edit's frame.
    const int side = std::max(h - 2, 1);
    spinButton_->setGeometry(rtl ? 1 : width() - 1 - side, 1, side, side);
  }
  if (upDown_) {
    const int w = UpDownWidth(this);
    upDown_->setGeometry(rtl ? 0 : width() - w, 0, w, h);
  }
  const int bw = ButtonWidth();
  if (rtl)
    setTextMargins(bw + 1, 0, 0, 0);
  else
    setTextMargins(0, 0, bw + 2, 0);
}

}  // namespace qira

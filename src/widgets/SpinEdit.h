#pragma once
// A numeric edit box with a spin button. TSpinEditEx holds its number as text,
// filters typed characters by its value type, steps the number by Increment from
// its button or the arrow keys, and clamps it to MinValue .. MaxValue (no range when
// the two are equal). Decimal numbers are read with '.' or ',' and written with '.',
// whatever the locale.
//
// The button is either TSpinButtonEx (a square split diagonally into an up and a
// down half, with auto-repeat: one step at once, one after 400 ms, then one every
// 100 ms) or TSpinUpDownEx (two stacked arrow buttons).
#include <QImage>
#include <QLineEdit>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Canvas.h"

class QTimer;
class QToolButton;

namespace qira {

enum TValueType : uint8_t { vtInteger, vtFloat, vtHex };
enum TSpinButtonKind : uint8_t { bkStandard, bkDiagonal };
// Which half of a spin button is drawn pressed.
enum class TSpinButtonState : uint8_t { None, Top, Bottom };

// The default 6 x 6 arrow glyphs, black on white (white is transparent).
std::unique_ptr<TBitmap> NewSpinUpGlyph();
std::unique_ptr<TBitmap> NewSpinDownGlyph();

// Text of a number in fixed notation with `decimals` decimals, rounded to 15
// significant digits first (digits beyond them are zeros); exponent notation when
// the integer part has more than 15 digits. '.' is the decimal point.
std::string FormatFixed15(double value, int decimals);

class TSpinButtonEx : public QWidget {
 public:
  explicit TSpinButtonEx(QWidget* parent = nullptr);
  ~TSpinButtonEx() override;

  const TBitmap& UpGlyph() const { return *upGlyph_; }
  const TBitmap& DownGlyph() const { return *downGlyph_; }
  void SetUpGlyph(const TBitmap& glyph);
  void SetDownGlyph(const TBitmap& glyph);
  // A control that takes the focus when the button is pressed; not owned.
  QWidget* FocusControl = nullptr;

  std::function<void()> OnTopClick;
  std::function<void()> OnBottomClick;

  TSpinButtonState State() const { return state_; }
  TSpinButtonState LastPressed() const { return lastPressed_; }
  bool Dragging() const { return dragging_; }
  // The repeat timer's interval in ms; 0 before the first press.
  int RepeatInterval() const;
  bool RepeatActive() const;
  // What the repeat timer does on each tick (public so tests need not wait): the
  // interval becomes 100 ms and the half held down clicks again.
  void TimerTick();

  // The face of a state at the control's current size, as painted.
  QImage Face(TSpinButtonState state);
  // Whether (x, y) lies in the top half: above the diagonal from bottom-left to top-right.
  bool InTopHalf(int x, int y) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void DrawFaces();
  void DrawFace(TBitmap& face, TSpinButtonState state);
  void SetState(TSpinButtonState state);
  void Click(TSpinButtonState half);

  std::unique_ptr<TBitmap> upGlyph_;
  std::unique_ptr<TBitmap> downGlyph_;
  TBitmap faces_[3];
  bool facesInvalid_ = true;
  TSpinButtonState state_ = TSpinButtonState::None;
  TSpinButtonState lastPressed_ = TSpinButtonState::None;
  bool dragging_ = false;
  bool leftDown_ = false;
  QTimer* repeatTimer_ = nullptr;
};

// Two stacked arrow buttons with the platform's auto-repeat.
class TSpinUpDownEx : public QWidget {
 public:
  explicit TSpinUpDownEx(QWidget* parent = nullptr);

  std::function<void()> OnTopClick;
  std::function<void()> OnBottomClick;

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
};

class TSpinEditEx : public QLineEdit {
 public:
  explicit TSpinEditEx(QWidget* parent = nullptr);
  ~TSpinEditEx() override;

  Qt::Alignment Alignment() const { return alignment(); }
  void SetAlignment(Qt::Alignment alignment) { setAlignment(alignment); }
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool on);
  // Entering the edit selects its text, unless a left click entered it.
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool on) { autoSelect_ = on; }
  TSpinButtonKind ButtonKind() const { return buttonKind_; }
  void SetButtonKind(TSpinButtonKind kind);
  uint8_t Decimal() const { return decimal_; }
  void SetDecimal(uint8_t decimals);
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool on);
  double Increment() const { return increment_; }
  void SetIncrement(double step) { increment_ = step; }
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double v) { maxValue_ = v; }
  double MinValue() const { return minValue_; }
  void SetMinValue(double v) { minValue_ = v; }
  TValueType ValueType() const { return valueType_; }
  // Rewrites the text from the current value in the new type; an integer or
  // hexadecimal edit rounds its increment, and one that rounds to 0 becomes 1.
  void SetValueType(TValueType type);

  // The number the text holds; text that does not convert reads as the last value
  // the edit held (written, stepped or typed), never as a made-up one.
  double Value() const;
  // Clamps (CheckValue) and shows the value by ValueType.
  void SetValue(double value);
  // MinValue below the range, MaxValue above it; v unchanged when there is no range.
  double CheckValue(double v) const;

  // Whether a typed character is accepted.
  virtual bool IsValidChar(QChar key) const;
  // One step up or down; a read-only edit only beeps.
  virtual void UpClick();
  virtual void DownClick();

  // After a step up or down (also when the value did not change).
  std::function<void()> OnTopClick;
  std::function<void()> OnBottomClick;
  // Every change of the text, once per step, none while a step rewrites it.
  std::function<void()> OnChange;
  // The system beep; replaceable so tests can count it.
  std::function<void()> Beep;

  TSpinButtonEx* SpinButton() const { return spinButton_; }
  TSpinUpDownEx* UpDown() const { return upDown_; }
  // The width the button takes from the text area.
  int ButtonWidth() const;
  // The lowest height the edit takes: the font's character height, four
  // system border heights and one pixel; a smaller height is raised to it.
  int MinHeight() const;

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  bool ParseText(const QString& text, double& value) const;
  QString FormatValue(double value) const;
  void Step(double delta, const std::function<void()>& after);
  void RecreateButton();
  void LayoutButton();
  void TextChanged();

  bool arrowKeys_ = true;
  bool autoSelect_ = true;
  TSpinButtonKind buttonKind_ = bkDiagonal;
  uint8_t decimal_ = 2;
  bool editorEnabled_ = true;
  double increment_ = 1.0;
  double maxValue_ = 0;
  double minValue_ = 0;
  TValueType valueType_ = vtInteger;
  double lastValue_ = 0;
  bool changing_ = false;
  TSpinButtonEx* spinButton_ = nullptr;
  TSpinUpDownEx* upDown_ = nullptr;
};

}  // namespace qira

// The spin edit and its buttons, driven offscreen: values written and read, keys
// typed, steps clicked, the spin button pressed and its repeat timer ticked.
#include "widgets/SpinEdit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QToolButton>

#include <string>

#include "support/CommaDecimalLocale.h"
#include "support/QtTestEnvironment.h"

namespace qira {
namespace {

// An edit that counts its beeps, changes and step events.
struct TCountedEdit {
  TSpinEditEx edit;
  int beeps = 0;
  int changes = 0;
  int tops = 0;
  int bottoms = 0;

  TCountedEdit() {
    edit.resize(120, 24);
    edit.Beep = [this] { ++beeps; };
    edit.OnChange = [this] { ++changes; };
    edit.OnTopClick = [this] { ++tops; };
    edit.OnBottomClick = [this] { ++bottoms; };
  }
};

void Type(QWidget* widget, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(widget, &press);
  }
}

void PressKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
}

void LeaveEdit(QWidget* widget) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QCoreApplication::sendEvent(widget, &out);
}

void Mouse(QWidget* widget, QEvent::Type type, int x, int y, Qt::MouseButtons held) {
  const QPointF at(x, y);
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &event);
}

// ---- values written and read -----------------------------------------------------------------

struct TShownCase {
  TValueType type;
  uint8_t decimals;
  double value;
  const char* text;
};

TEST(SpinEditValue, ShowsTheValueByItsType) {
  const TShownCase cases[] = {
      {vtInteger, 2, 42, "42"},
      {vtInteger, 2, 2.5, "2"},  // halves to even
      {vtInteger, 2, 3.5, "4"},
      {vtInteger, 2, -7.2, "-7"},
      {vtFloat, 2, 3.14159, "3.14"},
      {vtFloat, 0, 12.7, "13"},
      {vtFloat, 3, -0.0004, "0.000"},  // no sign on a value that shows as zero
      {vtFloat, 20, 0.1, "0.10000000000000000000"},  // digits beyond the 15th are zeros
      {vtFloat, 2, 123456789012345.678, "123456789012346.00"},
      {vtFloat, 2, 1e20, "1E+20"},
      {vtHex, 2, 255, "FF"},
      {vtHex, 2, 0, "0"},
      {vtHex, 2, -1, "FFFFFFFFFFFFFFFF"},
  };
  for (const TShownCase& c : cases) {
    TSpinEditEx edit;
    edit.SetValueType(c.type);
    edit.SetDecimal(c.decimals);
    edit.SetValue(c.value);
    EXPECT_EQ(edit.text().toStdString(), c.text) << "value " << c.value;
  }
}

TEST(SpinEditValue, ReadsTheTextByItsType) {
  TSpinEditEx edit;
  EXPECT_EQ(edit.text(), "0");
  EXPECT_EQ(edit.Value(), 0);
  edit.setText("-12");
  EXPECT_EQ(edit.Value(), -12);

  edit.SetValueType(vtHex);
  edit.setText("1F");
  EXPECT_EQ(edit.Value(), 31);
  edit.setText("ff");
  EXPECT_EQ(edit.Value(), 255);
  edit.SetValue(-1);
  EXPECT_EQ(edit.Value(), -1);  // sixteen digits read back as written

  edit.SetValueType(vtFloat);
  edit.setText("1,5");
  EXPECT_EQ(edit.Value(), 1.5);
  edit.setText("2.25");
  EXPECT_EQ(edit.Value(), 2.25);
  edit.setText("1e3");
  EXPECT_EQ(edit.Value(), 1000);
}

TEST(SpinEditValue, DecimalTextIgnoresTheLocale) {
  TCommaDecimalLocale comma;
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German));
  TSpinEditEx edit;
  edit.SetValueType(vtFloat);
  edit.SetValue(1.25);
  EXPECT_EQ(edit.text(), "1.25");
  edit.setText("3,5");
  EXPECT_EQ(edit.Value(), 3.5);
  QLocale::setDefault(previous);
}

TEST(SpinEditValue, ClampsOnlyWhenMinAndMaxDiffer) {
  TSpinEditEx edit;
  edit.SetValue(-1e9);
  EXPECT_EQ(edit.Value(), -1e9);  // 0 .. 0 is no range
  edit.SetMinValue(3);
  edit.SetMaxValue(10);
  edit.SetValue(20);
  EXPECT_EQ(edit.text(), "10");
  edit.SetValue(-5);
  EXPECT_EQ(edit.text(), "3");
  edit.SetValue(7);
  EXPECT_EQ(edit.text(), "7");
}

TEST(SpinEditValue, SwitchingTypeKeepsTheNumberAndRoundsTheIncrement) {
  TSpinEditEx edit;
  edit.SetValueType(vtFloat);
  edit.SetIncrement(0.3);
  edit.SetValue(1.5);
  EXPECT_EQ(edit.text(), "1.50");
  edit.SetValueType(vtInteger);
  EXPECT_EQ(edit.Increment(), 1);  // 0.3 rounds to 0, which becomes 1
  EXPECT_EQ(edit.text(), "2");

  edit.SetValueType(vtFloat);
  edit.SetIncrement(2.6);
  edit.SetValueType(vtHex);
  EXPECT_EQ(edit.Increment(), 3);
  EXPECT_EQ(edit.text(), "2");
  edit.SetValue(26);
  edit.SetValueType(vtInteger);
  EXPECT_EQ(edit.text(), "26");

  edit.SetValueType(vtFloat);
  edit.SetDecimal(4);
  EXPECT_EQ(edit.text(), "26.0000");
}

// ---- steps -----------------------------------------------------------------------------------

TEST(SpinEditStep, StepsByTheIncrementAndStopsAtTheRange) {
  TCountedEdit t;
  t.edit.SetMinValue(0);
  t.edit.SetMaxValue(3);
  t.edit.SetIncrement(2);
  t.changes = 0;
  t.edit.UpClick();
  EXPECT_EQ(t.edit.text(), "2");
  EXPECT_EQ(t.changes, 1);
  EXPECT_TRUE(t.edit.isModified());
  t.edit.UpClick();
  EXPECT_EQ(t.edit.text(), "3");
  t.edit.UpClick();  // already at the top: no change, but the event still fires
  EXPECT_EQ(t.edit.text(), "3");
  EXPECT_EQ(t.changes, 2);
  EXPECT_EQ(t.tops, 3);
  t.edit.DownClick();
  t.edit.DownClick();
  EXPECT_EQ(t.edit.text(), "0");
  EXPECT_EQ(t.bottoms, 2);
  EXPECT_EQ(t.changes, 4);
}

TEST(SpinEditStep, ArrowKeysStepUnlessSwitchedOff) {
  TCountedEdit t;
  t.edit.SetValueType(vtFloat);
  t.edit.SetIncrement(0.5);
  PressKey(&t.edit, Qt::Key_Up);
  PressKey(&t.edit, Qt::Key_Up);
  PressKey(&t.edit, Qt::Key_Down);
  EXPECT_EQ(t.edit.text(), "0.50");
  t.edit.SetArrowKeys(false);
  PressKey(&t.edit, Qt::Key_Up);
  EXPECT_EQ(t.edit.text(), "0.50");
}

TEST(SpinEditStep, ReadOnlyEditOnlyBeeps) {
  TCountedEdit t;
  t.edit.SetValue(5);
  t.edit.setReadOnly(true);
  t.changes = 0;
  t.edit.UpClick();
  t.edit.DownClick();
  EXPECT_EQ(t.edit.text(), "5");
  EXPECT_EQ(t.beeps, 2);
  EXPECT_EQ(t.changes + t.tops + t.bottoms, 0);
}

TEST(SpinEditStep, HexadecimalStepsInWholeNumbers) {
  TSpinEditEx edit;
  edit.SetValueType(vtHex);
  edit.SetValue(0xFE);
  edit.UpClick();
  EXPECT_EQ(edit.text(), "FF");
  edit.UpClick();
  EXPECT_EQ(edit.text(), "100");
}

// ---- typing ----------------------------------------------------------------------------------

TEST(SpinEditTyping, IntegerEditTakesDigitsAndSignsOnly) {
  TCountedEdit t;
  t.edit.clear();
  Type(&t.edit, "-12a.,e3");
  EXPECT_EQ(t.edit.text(), "-123");
  EXPECT_EQ(t.beeps, 4);
  EXPECT_EQ(t.edit.Value(), -123);
}

TEST(SpinEditTyping, FloatEditTakesOneSeparatorAndOneExponent) {
  TCountedEdit t;
  t.edit.SetValueType(vtFloat);
  t.edit.clear();
  Type(&t.edit, "1,5");
  EXPECT_EQ(t.beeps, 0);
  Type(&t.edit, ".");  // a second separator, whichever it is
  Type(&t.edit, ",");
  EXPECT_EQ(t.beeps, 2);
  Type(&t.edit, "e2E");
  EXPECT_EQ(t.beeps, 3);
  EXPECT_EQ(t.edit.text(), "1,5e2");
  EXPECT_EQ(t.edit.Value(), 150);
}

TEST(SpinEditTyping, HexEditTakesHexDigits) {
  TCountedEdit t;
  t.edit.SetValueType(vtHex);
  t.edit.clear();
  Type(&t.edit, "1fG");
  EXPECT_EQ(t.edit.text(), "1f");
  EXPECT_EQ(t.beeps, 1);
  EXPECT_EQ(t.edit.Value(), 31);
}

TEST(SpinEditTyping, DisabledEditorRefusesEveryEdit) {
  TCountedEdit t;
  t.edit.SetValue(12);
  t.edit.SetEditorEnabled(false);
  t.edit.end(false);
  Type(&t.edit, "3");
  PressKey(&t.edit, Qt::Key_Backspace);
  PressKey(&t.edit, Qt::Key_Delete);
  EXPECT_EQ(t.edit.text(), "12");
  EXPECT_EQ(t.beeps, 3);
  t.edit.UpClick();  // the buttons still step
  EXPECT_EQ(t.edit.text(), "13");
}

TEST(SpinEditFocus, EnteringSelectsTheTextWhenAutoSelectIsOn) {
  struct {
    bool autoSelect;
    Qt::FocusReason reason;
    bool selected;
  } const cases[] = {
      {true, Qt::TabFocusReason, true},           {true, Qt::OtherFocusReason, true},
      {true, Qt::ActiveWindowFocusReason, false},  {true, Qt::PopupFocusReason, false},
      {false, Qt::TabFocusReason, false},         {false, Qt::OtherFocusReason, false},
  };
  for (const auto& c : cases) {
    TCountedEdit e;
    e.edit.SetValue(125);
    e.edit.deselect();
    e.edit.SetAutoSelect(c.autoSelect);
    QFocusEvent in(QEvent::FocusIn, c.reason);
    QCoreApplication::sendEvent(&e.edit, &in);
    EXPECT_EQ(e.edit.selectedText() == e.edit.text(), c.selected) << c.autoSelect << " " << c.reason;
  }
}

TEST(SpinEditTyping, InvalidTextRestoresTheLastValueOnLeaving) {
  TCountedEdit t;
  t.edit.SetValueType(vtFloat);
  t.edit.SetMinValue(-5);
  t.edit.SetMaxValue(5);
  t.edit.SetValue(2);
  t.edit.setText("3");  // typed: the last value follows the text
  t.edit.setText("-");
  EXPECT_EQ(t.edit.Value(), 3);  // not the minimum
  LeaveEdit(&t.edit);
  EXPECT_EQ(t.edit.text(), "3.00");
  t.edit.setText("");
  t.edit.UpClick();  // steps from the last value too
  EXPECT_EQ(t.edit.text(), "4.00");
}

TEST(SpinEditTyping, LeavingWithAValueAboveTheRangeShowsTheMaximum) {
  TCountedEdit t;
  t.edit.SetMinValue(1);
  t.edit.SetMaxValue(100);
  t.edit.setText("250");
  EXPECT_EQ(t.edit.Value(), 250);
  LeaveEdit(&t.edit);
  EXPECT_EQ(t.edit.text(), "100");
  t.edit.setText("50");
  LeaveEdit(&t.edit);
  EXPECT_EQ(t.edit.text(), "50");
}

TEST(SpinEditSize, AHeightBelowTheFontsNeedIsRaisedToIt) {
  TSpinEditEx edit;
  EXPECT_EQ(edit.MinHeight(), QFontMetrics(edit.font()).height() + 4 + 1);
  edit.resize(80, 3);
  EXPECT_EQ(edit.height(), edit.MinHeight());
  edit.resize(80, 60);
  EXPECT_EQ(edit.height(), 60);
  QFont large = edit.font();
  large.setPixelSize(80);
  edit.setFont(large);
  EXPECT_EQ(edit.MinHeight(), QFontMetrics(large).height() + 5);
  EXPECT_EQ(edit.height(), edit.MinHeight());  // raised with the larger font
}

// ---- the spin button -------------------------------------------------------------------------

TEST(SpinButton, DefaultGlyphsAreTheArrowTables) {
  const char* up[6] = {"..##..", ".####.", "######", "..##..", "..##..", "..##.."};
  const char* down[6] = {"..##..", "..##..", "..##..", "######", ".####.", "..##.."};
  auto upGlyph = NewSpinUpGlyph();
  auto downGlyph = NewSpinDownGlyph();
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(upGlyph->Pixel(x, y), up[y][x] == '#' ? clBlack : clWhite) << x << "," << y;
      EXPECT_EQ(downGlyph->Pixel(x, y), down[y][x] == '#' ? clBlack : clWhite) << x << "," << y;
    }
  }
}

TEST(SpinButton, FacesShowTheArrowsAndThePressedHalf) {
  TSpinButtonEx button;
  button.resize(20, 20);
  const QImage normal = button.Face(TSpinButtonState::None);
  const QImage top = button.Face(TSpinButtonState::Top);
  const QImage bottom = button.Face(TSpinButtonState::Bottom);
  ASSERT_EQ(normal.size(), QSize(20, 20));
  // Up glyph at (round(5 - 3) + 1, same) = (3, 3); its tip row is row 0 of the glyph.
  EXPECT_EQ(PixelToColor(normal.pixel(3 + 2, 3)), clBlack);
  EXPECT_NE(PixelToColor(normal.pixel(3, 3)), clBlack);  // white glyph pixels are left out
  // Pressed, the up glyph moves one pixel right and down.
  EXPECT_EQ(PixelToColor(top.pixel(4 + 2, 4)), clBlack);
  // Down glyph at (round(15 - 3) - 1, same) = (11, 11); its widest row is row 3.
  EXPECT_EQ(PixelToColor(normal.pixel(11, 14)), clBlack);
  EXPECT_NE(normal, top);
  EXPECT_NE(normal, bottom);
  EXPECT_NE(PixelToColor(normal.pixel(1, 5)), PixelToColor(top.pixel(1, 5)));  // the bevel turns
}

TEST(SpinButton, TheDiagonalSplitsTheHalves) {
  TSpinButtonEx button;
  button.resize(20, 20);
  EXPECT_TRUE(button.InTopHalf(2, 2));
  EXPECT_TRUE(button.InTopHalf(10, 9));
  EXPECT_FALSE(button.InTopHalf(10, 10));
  EXPECT_FALSE(button.InTopHalf(18, 18));
  EXPECT_TRUE(button.InTopHalf(18, 1));
}

TEST(SpinButton, HoldingStepsAtOnceAfter400msThenEvery100ms) {
  TSpinButtonEx button;
  button.resize(20, 20);
  int tops = 0;
  int bottoms = 0;
  button.OnTopClick = [&] { ++tops; };
  button.OnBottomClick = [&] { ++bottoms; };
  EXPECT_EQ(button.RepeatInterval(), 0);

  Mouse(&button, QEvent::MouseButtonPress, 4, 4, Qt::LeftButton);
  EXPECT_EQ(tops, 1);
  EXPECT_EQ(button.State(), TSpinButtonState::Top);
  EXPECT_EQ(button.RepeatInterval(), 400);
  EXPECT_TRUE(button.RepeatActive());
  button.TimerTick();
  EXPECT_EQ(tops, 2);
  EXPECT_EQ(button.RepeatInterval(), 100);
  button.TimerTick();
  EXPECT_EQ(tops, 3);

  // Off the pressed half nothing repeats; back on it, it does again.
  Mouse(&button, QEvent::MouseMove, 16, 16, Qt::LeftButton);
  EXPECT_EQ(button.State(), TSpinButtonState::None);
  button.TimerTick();
  Mouse(&button, QEvent::MouseMove, 40, 4, Qt::LeftButton);
  button.TimerTick();
  EXPECT_EQ(tops, 3);
  Mouse(&button, QEvent::MouseMove, 3, 3, Qt::LeftButton);
  button.TimerTick();
  EXPECT_EQ(tops, 4);

  Mouse(&button, QEvent::MouseButtonRelease, 3, 3, Qt::NoButton);
  EXPECT_EQ(button.State(), TSpinButtonState::None);
  EXPECT_FALSE(button.RepeatActive());
  button.TimerTick();
  EXPECT_EQ(tops, 4);

  Mouse(&button, QEvent::MouseButtonPress, 15, 15, Qt::LeftButton);
  EXPECT_EQ(bottoms, 1);
  EXPECT_EQ(button.RepeatInterval(), 400);  // each press starts with the long wait
  Mouse(&button, QEvent::MouseButtonRelease, 15, 15, Qt::NoButton);
  EXPECT_EQ(tops, 4);
}

TEST(SpinButton, RepeatTimerRunsOnTheEventLoop) {
  TSpinButtonEx button;
  button.resize(20, 20);
  int tops = 0;
  button.OnTopClick = [&] { ++tops; };
  Mouse(&button, QEvent::MouseButtonPress, 4, 4, Qt::LeftButton);
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return tops >= 3; }));
  EXPECT_EQ(button.RepeatInterval(), 100);
  Mouse(&button, QEvent::MouseButtonRelease, 4, 4, Qt::NoButton);
}

TEST(SpinButton, DisablingStopsTheDrag) {
  TSpinButtonEx button;
  button.resize(20, 20);
  int tops = 0;
  button.OnTopClick = [&] { ++tops; };
  Mouse(&button, QEvent::MouseButtonPress, 4, 4, Qt::LeftButton);
  button.setEnabled(false);
  EXPECT_FALSE(button.Dragging());
  button.TimerTick();
  EXPECT_EQ(tops, 1);
  Mouse(&button, QEvent::MouseButtonPress, 4, 4, Qt::LeftButton);
  EXPECT_EQ(tops, 1);
}

TEST(SpinEditButtons, DiagonalButtonStepsTheEdit) {
  TCountedEdit t;
  t.edit.resize(100, 22);
  t.edit.show();  // a hidden widget is laid out only when shown
  TSpinButtonEx* button = t.edit.SpinButton();
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->geometry(), QRect(100 - 1 - 20, 1, 20, 20));
  EXPECT_EQ(t.edit.textMargins().right(), 22);
  Mouse(button, QEvent::MouseButtonPress, 3, 3, Qt::LeftButton);
  Mouse(button, QEvent::MouseButtonRelease, 3, 3, Qt::NoButton);
  EXPECT_EQ(t.edit.text(), "1");
  Mouse(button, QEvent::MouseButtonPress, 17, 17, Qt::LeftButton);
  Mouse(button, QEvent::MouseButtonRelease, 17, 17, Qt::NoButton);
  Mouse(button, QEvent::MouseButtonPress, 17, 17, Qt::LeftButton);
  Mouse(button, QEvent::MouseButtonRelease, 17, 17, Qt::NoButton);
  EXPECT_EQ(t.edit.text(), "-1");
  EXPECT_EQ(t.tops, 1);
  EXPECT_EQ(t.bottoms, 2);
}

TEST(SpinEditButtons, StandardKindUsesTheUpDown) {
  TCountedEdit t;
  t.edit.SetButtonKind(bkStandard);
  t.edit.show();
  EXPECT_EQ(t.edit.SpinButton(), nullptr);
  ASSERT_NE(t.edit.UpDown(), nullptr);
  EXPECT_LE(t.edit.UpDown()->width(), 15);
  EXPECT_EQ(t.edit.UpDown()->x() + t.edit.UpDown()->width(), t.edit.width());
  t.edit.UpDown()->UpButton()->click();
  t.edit.UpDown()->UpButton()->click();
  t.edit.UpDown()->DownButton()->click();
  EXPECT_EQ(t.edit.text(), "1");
  t.edit.SetButtonKind(bkDiagonal);
  EXPECT_EQ(t.edit.UpDown(), nullptr);
  EXPECT_NE(t.edit.SpinButton(), nullptr);
}

}  // namespace
}  // namespace qira

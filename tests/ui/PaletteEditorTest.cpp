// The palette editor driven offscreen: mouse events sent to its paint box, controls
// clicked, the back buffer's pixels read, and the modal run answered by a timer.
#include "ui/PaletteEditor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <limits>
#include <string>

#include "model/Settings.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"
#include "support/QtTestEnvironment.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

constexpr TColor kBlue = MakeColor(0, 0, 255);
constexpr TColor kGreen = MakeColor(0, 255, 0);
constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr double kNoData = std::numeric_limits<double>::infinity();

// Blue to red through green at 50 %, full brightness, values 0 .. 100.
TZBPalette ThreeColours() {
  TZBPalette p;
  p.SetColor(0, kBlue);
  p.SetColor(1, kRed);
  p.AddStop(50, kGreen);
  p.SetIntensity(100);
  p.SetRange(0, 100);
  return p;
}

class PaletteEditor : public ::testing::Test {
 protected:
  void Open(const TZBPalette& palette) {
    form.Start(palette);
    bar = form.BarRect();
  }

  void Send(QEvent::Type type, Qt::MouseButton button, int x, int y) {
    QWidget* box = form.PaintBox();
    const QPointF at(x, y);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, box->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &event);
  }
  void Move(int x, int y) { Send(QEvent::MouseMove, Qt::NoButton, x, y); }
  void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton) { Send(QEvent::MouseButtonPress, button, x, y); }
  void Release(int x, int y) { Send(QEvent::MouseButtonRelease, Qt::LeftButton, x, y); }
  void DoubleClick(int x, int y) {
    Press(x, y);
    Release(x, y);
    Send(QEvent::MouseButtonDblClick, Qt::LeftButton, x, y);
    Release(x, y);
  }
  // Where the markers are: a row through their triangles.
  int MarkerRow() const { return bar.Top - 6; }
  TColor Pixel(int x, int y) { return PixelToColor(form.PaintBox()->Buffer().pixel(x, y)); }

  TPaletteForm form;
  TRect bar;
};

// ---- what the form shows ---------------------------------------------------------------

TEST_F(PaletteEditor, ShowsThePaletteWithoutChangingIt) {
  TZBPalette p = ThreeColours();
  p.SetIntensity(40);
  p.SetRange(0.1234567, 250);
  Open(p);
  EXPECT_EQ(form.windowTitle(), "Palette");
  EXPECT_EQ(form.BrightnessEdit()->text(), "40");
  EXPECT_FALSE(form.LogarithmBox()->isChecked());
  EXPECT_EQ(form.MinimumEdit()->text(), "0.123457");
  EXPECT_EQ(form.MaximumEdit()->text(), "250.000000");
  EXPECT_TRUE(form.Working().SameAs(p));
  EXPECT_EQ(form.Working().Min(), 0.1234567);

  // Changing one end keeps the other exactly as it was, not as the edit shows it.
  form.MaximumEdit()->SetValue(300);
  EXPECT_EQ(form.Working().Max(), 300);
  EXPECT_EQ(form.Working().Min(), 0.1234567);
}

TEST_F(PaletteEditor, CoordinatesRunAcrossTheBar) {
  Open(ThreeColours());
  EXPECT_EQ(form.PosToX(0), bar.Left);
  EXPECT_EQ(form.PosToX(100), bar.Right);
  EXPECT_EQ(form.XToPos(bar.Left - 20), 0);
  EXPECT_EQ(form.XToPos(bar.Right + 20), 100);
  for (int p : {0, 1, 37, 50, 99, 100}) EXPECT_EQ(form.XToPos(form.PosToX(p)), p);
}

TEST_F(PaletteEditor, MarkersShowStoredColoursWherePosToXSays) {
  TZBPalette p = ThreeColours();
  p.SetIntensity(50);  // the bar is paler; the markers are not
  p.AddStop(25, MakeColor(10, 20, 30));
  Open(p);
  const TColor expected[] = {kBlue, MakeColor(10, 20, 30), kGreen, kRed};
  const int positions[] = {0, 25, 50, 100};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const int x = form.PosToX(positions[i]);
    EXPECT_EQ(Pixel(x, MarkerRow()), expected[i]);
    EXPECT_EQ(Pixel(x, bar.Top - 12), clBlack);  // the triangle's base
    EXPECT_NE(Pixel(x, bar.Top - 13), clBlack);
    EXPECT_NE(Pixel(x + 8, MarkerRow()), expected[i]);
  }
  EXPECT_NE(Pixel(bar.Left, bar.Top + 5), kBlue);
  EXPECT_EQ(Pixel(bar.Left, bar.Top + 5), form.Working().AdjustColor(kBlue));
}

TEST_F(PaletteEditor, HotMarkerInvertsPixelsAndLeavesNoTrace) {
  Open(ThreeColours());
  const QImage before = form.PaintBox()->Buffer().copy();
  const int x = form.PosToX(50);
  const TColor barColour = Pixel(x, bar.Top + 5);
  Move(x + 3, MarkerRow());
  EXPECT_EQ(form.Selected(), 1);
  EXPECT_EQ(form.HotPos(), 50);
  EXPECT_EQ(Pixel(x, bar.Top + 5), barColour ^ 0xFFFFFF);
  EXPECT_EQ(Pixel(x, bar.Top - 12), clWhite);                // the black outline inverted
  EXPECT_EQ(Pixel(x, MarkerRow()), kGreen);                  // the inside is left alone

  Move(form.PosToX(100) - 2, bar.Bottom);  // onto the end marker
  EXPECT_EQ(form.Selected(), 2);
  EXPECT_EQ(form.HotPos(), 100);
  EXPECT_EQ(Pixel(x, bar.Top + 5), barColour);

  Move(x, bar.Bottom + 1);  // below the bar: nothing is hot
  EXPECT_EQ(form.Selected(), -1);
  EXPECT_EQ(form.HotPos(), TPaletteForm::kNoHotPos);
  EXPECT_EQ(form.PaintBox()->Buffer(), before);
}

TEST_F(PaletteEditor, PointerBetweenMarkersSelectsNothing) {
  Open(ThreeColours());
  Move(form.PosToX(25), MarkerRow());
  EXPECT_EQ(form.Selected(), -1);
  EXPECT_EQ(form.HotPos(), TPaletteForm::kNoHotPos);
}

// ---- dragging ------------------------------------------------------------------------------

TEST_F(PaletteEditor, DraggingAStopMovesIt) {
  Open(ThreeColours());
  const int x = form.PosToX(50);
  Move(x, MarkerRow());
  Press(x, MarkerRow());
  EXPECT_EQ(form.DragX(), x);
  Move(form.PosToX(30), MarkerRow());
  EXPECT_EQ(form.HotPos(), 30);
  Release(form.PosToX(30), MarkerRow());
  EXPECT_EQ(form.DragX(), -1);
  EXPECT_EQ(form.Working().Count(), 3);
  EXPECT_EQ(form.Working().GetPosition(1), 30);
  EXPECT_EQ(Pixel(form.PosToX(30), MarkerRow()), kGreen);
}

TEST_F(PaletteEditor, DraggingAStopToTheFarLeftMakesItTheStartColour) {
  Open(ThreeColours());
  const int x = form.PosToX(50);
  Move(x, MarkerRow());
  Press(x, MarkerRow());
  Move(bar.Left - 40, MarkerRow());  // out of the box: x is negative
  EXPECT_TRUE(form.Dragging());
  EXPECT_EQ(form.HotPos(), 0);
  Release(bar.Left - 40, MarkerRow());
  EXPECT_EQ(form.DragX(), -1);
  EXPECT_EQ(form.Working().Count(), 2);
  EXPECT_EQ(form.Working().StartColor(), kGreen);
  EXPECT_EQ(form.Working().EndColor(), kRed);
}

TEST_F(PaletteEditor, EndMarkersDoNotDrag) {
  Open(ThreeColours());
  Move(bar.Left, MarkerRow());
  EXPECT_EQ(form.Selected(), 0);
  Press(bar.Left, MarkerRow());
  EXPECT_EQ(form.DragX(), -1);
  Move(form.PosToX(40), MarkerRow());
  Release(form.PosToX(40), MarkerRow());
  EXPECT_TRUE(form.Working().SameAs(ThreeColours()));
}

// ---- double click ------------------------------------------------------------------------

TEST_F(PaletteEditor, DoubleClickOnTheEndMarkerEditsTheEndColour) {
  Open(ThreeColours());
  TColor offered = 0;
  int asked = 0;
  form.ChooseColor = [&](TColor initial, QWidget*) -> std::optional<TColor> {
    offered = initial;
    ++asked;
    return MakeColor(1, 2, 3);
  };
  const int x = form.PosToX(100);
  Move(x, MarkerRow());
  DoubleClick(x, MarkerRow());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(offered, kRed);
  EXPECT_EQ(form.Working().EndColor(), MakeColor(1, 2, 3));
  EXPECT_EQ(form.Working().StartColor(), kBlue);
  EXPECT_EQ(form.Working().GetColor(1), kGreen);
  EXPECT_EQ(form.HotPos(), TPaletteForm::kNoHotPos);
  EXPECT_EQ(Pixel(x, MarkerRow()), MakeColor(1, 2, 3));
}

TEST_F(PaletteEditor, DoubleClickOnAStopNeitherMovesNorDragsIt) {
  Open(ThreeColours());
  form.ChooseColor = [](TColor, QWidget*) -> std::optional<TColor> { return std::nullopt; };
  const int x = form.PosToX(50);
  Move(x, MarkerRow());
  DoubleClick(x, MarkerRow());
  EXPECT_EQ(form.DragX(), -1);
  Move(form.PosToX(80), MarkerRow());  // no drag left running
  EXPECT_TRUE(form.Working().SameAs(ThreeColours()));
}

// ---- context menu -------------------------------------------------------------------------

TEST_F(PaletteEditor, MenuOffersDeleteOnAMarkerAndAddBetweenMarkers) {
  Open(ThreeColours());
  const int stop = form.PosToX(50);
  Move(stop, MarkerRow());
  Press(stop, MarkerRow(), Qt::RightButton);
  EXPECT_TRUE(form.DeleteAction()->isVisible());
  EXPECT_FALSE(form.AddAction()->isVisible());
  form.ContextMenu()->hide();
  form.DeleteAction()->trigger();
  EXPECT_EQ(form.Working().Count(), 2);
  EXPECT_EQ(form.Working().StartColor(), kBlue);

  const int between = form.PosToX(25);
  Move(between, MarkerRow());
  Press(between, MarkerRow(), Qt::RightButton);
  EXPECT_FALSE(form.DeleteAction()->isVisible());
  EXPECT_TRUE(form.AddAction()->isVisible());
  form.ContextMenu()->hide();
  form.AddAction()->trigger();
  ASSERT_EQ(form.Working().Count(), 3);
  EXPECT_EQ(form.Working().GetPosition(1), 25);
  EXPECT_EQ(form.Working().GetColor(1), MakeColor(64, 0, 191));  // a quarter from blue to red
}

TEST_F(PaletteEditor, AddAtTheEdgesOfTheBarAddsNothing) {
  Open(ThreeColours());
  for (int x : {bar.Left - 5, bar.Left, bar.Right, bar.Right + 5}) {
    SCOPED_TRACE(x);
    Press(x, MarkerRow(), Qt::RightButton);
    form.ContextMenu()->hide();
    form.AddAction()->trigger();
    EXPECT_EQ(form.Working().Count(), 3);
  }
}

TEST_F(PaletteEditor, EndColoursCannotBeDeleted) {
  Open(ThreeColours());
  Move(bar.Right, MarkerRow());
  Press(bar.Right, MarkerRow(), Qt::RightButton);
  form.ContextMenu()->hide();
  form.DeleteAction()->trigger();
  EXPECT_TRUE(form.Working().SameAs(ThreeColours()));
}

// ---- controls ----------------------------------------------------------------------------

TEST_F(PaletteEditor, ControlsEditTheWorkingPalette) {
  Open(ThreeColours());
  form.BrightnessEdit()->SetValue(30);
  EXPECT_EQ(form.Working().Intensity(), 30);
  form.InverseButton()->click();
  EXPECT_EQ(form.Working().StartColor(), MakeColor(255, 255, 0));
  form.ReverseButton()->click();
  EXPECT_EQ(form.Working().StartColor(), MakeColor(0, 255, 255));
  form.MinimumEdit()->SetValue(200);  // above the maximum: refused
  EXPECT_EQ(form.Working().Min(), 0);
  form.MinimumEdit()->SetValue(10);
  EXPECT_EQ(form.Working().Min(), 10);
}

TEST_F(PaletteEditor, LogarithmNeedsAPositiveRange) {
  TZBPalette p = ThreeColours();
  p.SetRange(-10, 100);
  Open(p);
  form.LogarithmBox()->click();
  EXPECT_FALSE(form.LogarithmBox()->isChecked());
  EXPECT_FALSE(form.Working().Logarithmic());
  form.MinimumEdit()->SetValue(1);
  form.LogarithmBox()->click();
  EXPECT_TRUE(form.LogarithmBox()->isChecked());
  EXPECT_TRUE(form.Working().Logarithmic());
}

TEST_F(PaletteEditor, WithoutADataRangeAutomaticalIsOff) {
  TZBPalette p = ThreeColours();
  p.SetAutoRange(true);
  for (double dataMax : {kNoData, 50.0}) {
    TPaletteForm noData;
    noData.SetDataRange(kNoData, dataMax);
    noData.Start(p);
    EXPECT_FALSE(noData.HasDataRange());
    EXPECT_FALSE(noData.AutomaticalBox()->isEnabled());
    EXPECT_FALSE(noData.AutomaticalBox()->isChecked());
    EXPECT_TRUE(noData.MinimumEdit()->isEnabled());
    EXPECT_FALSE(noData.Working().AutoRange());
  }
  TPaletteForm infiniteMax;
  infiniteMax.SetDataRange(1, kNoData);  // no usable range either
  infiniteMax.Start(p);
  EXPECT_FALSE(infiniteMax.AutomaticalBox()->isEnabled());
  EXPECT_EQ(infiniteMax.Working().Max(), 100);
}

TEST_F(PaletteEditor, AutomaticalTakesTheDataRange) {
  TZBPalette p = ThreeColours();
  p.SetAutoRange(true);
  form.SetDataRange(5, 50);
  Open(p);
  EXPECT_TRUE(form.AutomaticalBox()->isEnabled());
  EXPECT_TRUE(form.AutomaticalBox()->isChecked());
  EXPECT_EQ(form.Working().Min(), 5);
  EXPECT_EQ(form.Working().Max(), 50);
  EXPECT_FALSE(form.MinimumEdit()->isEnabled());
  EXPECT_FALSE(form.MaximumLabel()->isEnabled());
  form.AutomaticalBox()->click();
  EXPECT_TRUE(form.MinimumEdit()->isEnabled());
  EXPECT_TRUE(form.MaximumLabel()->isEnabled());
  EXPECT_FALSE(form.Working().AutoRange());
}

TEST_F(PaletteEditor, AutomaticalNeedsPositiveDataOnALogarithmicScale) {
  TZBPalette p = ThreeColours();
  p.SetRange(1, 100);
  p.SetLogarithmic(true);
  form.SetDataRange(-5, 50);
  Open(p);
  EXPECT_FALSE(form.AutomaticalBox()->isEnabled());
  TPaletteForm positive;
  positive.SetDataRange(2, 50);
  positive.Start(p);
  EXPECT_TRUE(positive.AutomaticalBox()->isEnabled());
}

TEST_F(PaletteEditor, OpenShowsTheLoadedBrightness) {
  TScratchFolder folder;
  LoadSettings(folder.File("qira3d.ini"), folder.Path());
  TZBPalette saved = ThreeColours();
  saved.SetIntensity(100);
  ASSERT_TRUE(saved.WriteClrFile(folder.File("p.clr")));
  TFakeServices fake;
  fake.FileAnswers.push_back(folder.File("p.clr"));
  TZBPalette p = ThreeColours();
  p.SetIntensity(20);
  Open(p);
  form.OpenButton()->click();
  EXPECT_EQ(form.BrightnessEdit()->text(), "100");
  EXPECT_EQ(form.Working().Intensity(), 100);
  EXPECT_TRUE(fake.Messages.empty());
}

// ---- the modal run -----------------------------------------------------------------------

// Runs `edit` on the open form once the modal loop runs, then presses `button`.
void AnswerForm(TPaletteForm* form, std::function<void(TPaletteForm&)> edit, bool ok) {
  QTimer::singleShot(0, form, [form, edit, ok] {
    edit(*form);
    (ok ? form->OkButton() : form->CancelButton())->click();
  });
}

TEST_F(PaletteEditor, CancelLeavesTheCallersPaletteUnchanged) {
  TZBPalette p = ThreeColours();
  AnswerForm(&form,
             [](TPaletteForm& f) {
               f.InverseButton()->click();
               f.BrightnessEdit()->SetValue(10);
               f.MinimumEdit()->SetValue(-50);
               f.LogarithmBox()->click();
             },
             false);
  EXPECT_FALSE(form.Execute(p));
  EXPECT_TRUE(p.SameAs(ThreeColours()));
  EXPECT_EQ(p.Min(), 0);
}

TEST_F(PaletteEditor, OkHandsTheEditBack) {
  TZBPalette p = ThreeColours();
  AnswerForm(&form, [](TPaletteForm& f) { f.ReverseButton()->click(); }, true);
  EXPECT_TRUE(form.Execute(p));
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kBlue);
}

// A number typed into a field is applied, or refused with a word and the field
// shows what the palette holds, the range it held before the edit (also one that
// Automatical gave it); OK never closes on a field the palette disagrees with, and
// the bar shows the range the fields show.
TEST_F(PaletteEditor, ATypedNumberIsAppliedOrToldAsRefused) {
  enum TWayOut { kOk, kReturn, kTab };
  struct TTypedCase {
    const char* Name;
    bool Logarithmic;
    TSpinEditEx* (TPaletteForm::*Field)() const;
    const char* Typed;
    TWayOut Way;
    const char* Message;  // empty: none
    const char* Shown;    // the field's text once the way out was taken
    double Held;          // the caller's palette after OK
    void (*Before)(TPaletteForm& form) = nullptr;  // before the field takes the focus
  };
  const char* const kMinBelowMax = "Minimum must be less then maximum";
  const TTypedCase cases[] = {
      // Typed one key at a time: "7" is applied, "75" refused; the range before the
      // edit comes back, and the second OK keeps it.
      {"minimum above the maximum, OK", false, &TPaletteForm::MinimumEdit, "75", kOk, kMinBelowMax, "0.000000", 0},
      {"minimum above the maximum, Tab", false, &TPaletteForm::MinimumEdit, "75", kTab, kMinBelowMax, "0.000000", 0},
      {"minimum above the maximum on a logarithmic scale, OK", true, &TPaletteForm::MinimumEdit, "75", kOk,
       kMinBelowMax, "1.000000", 1},
      {"maximum below the minimum, Return", false, &TPaletteForm::MaximumEdit, "-5", kReturn, kMinBelowMax,
       "50.000000", 50},
      {"minimum of 0 on a logarithmic scale, OK", true, &TPaletteForm::MinimumEdit, "0", kOk,
       "Minimum and maximum must be greater than 0 on a logarithmic scale", "1.000000", 1},
      {"minimum below the maximum, Return", false, &TPaletteForm::MinimumEdit, "25", kReturn, "", "25", 25},
      {"brightness beyond 100, Return", false, &TPaletteForm::BrightnessEdit, "150", kReturn, "", "100", 100},
      // Automatical ticked and unticked leaves the data's range, 10 .. 90, to return to.
      {"minimum above the maximum after Automatical, Tab", false, &TPaletteForm::MinimumEdit, "95", kTab,
       kMinBelowMax, "10.000000", 10, [](TPaletteForm& form) {
         form.AutomaticalBox()->click();
         form.AutomaticalBox()->click();
       }},
  };
  for (const TTypedCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZBPalette p = ThreeColours();
    p.SetRange(c.Logarithmic ? 1 : 0, 50);
    p.SetLogarithmic(c.Logarithmic);
    TFakeServices fake;
    TPaletteForm typedIn;
    typedIn.SetDataRange(10, 90);
    std::string shown;
    QImage barShown;
    bool stayedOpen = false;
    QTimer::singleShot(0, &typedIn, [&] {
      if (c.Before != nullptr) c.Before(typedIn);
      TSpinEditEx* field = (typedIn.*c.Field)();
      // The click into the field that gives it the focus (sent, as the Tab below).
      QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
      QCoreApplication::sendEvent(field, &in);
      field->selectAll();
      QTest::keyClicks(field, QString::fromLatin1(c.Typed));
      if (c.Way == kOk) typedIn.OkButton()->click();
      if (c.Way == kReturn) QTest::keyClick(field, Qt::Key_Return);
      if (c.Way == kTab) {
        // What the field receives when Tab takes the focus on (sent, so no window
        // system need hand the dialog the focus first).
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &out);
      }
      shown = field->text().toStdString();
      barShown = typedIn.PaintBox()->Buffer().copy();
      stayedOpen = typedIn.isVisible();
      if (stayedOpen) typedIn.OkButton()->click();
      if (typedIn.isVisible()) typedIn.reject();
    });
    ASSERT_TRUE(typedIn.Execute(p));
    if (*c.Message == 0) {
      EXPECT_TRUE(fake.Messages.empty());
    } else {
      EXPECT_EQ(fake.Messages.size(), 1u);
      EXPECT_EQ(fake.Messages.empty() ? "" : fake.Messages[0].Text, c.Message);
      EXPECT_EQ(fake.Messages.empty() ? TMessageKind::Information : fake.Messages[0].Kind, TMessageKind::Error);
      EXPECT_TRUE(stayedOpen || c.Way == kTab) << "OK does not close on a refused range";
    }
    EXPECT_EQ(shown, c.Shown);
    const double held = c.Field == &TPaletteForm::BrightnessEdit ? p.Intensity()
                        : c.Field == &TPaletteForm::MinimumEdit  ? p.Min()
                                                                 : p.Max();
    EXPECT_EQ(held, c.Held);
    // The bar as the dialog opened on the palette kept draws it.
    typedIn.Start(p);
    EXPECT_TRUE(typedIn.PaintBox()->Buffer() == barShown) << "the bar shows another range than the fields";
  }
}

TEST(PaletteEditorRegistration, EditPaletteOpensTheForm) {
  RegisterPaletteEditor();
  bool seen = false;
  QTimer::singleShot(0, [&seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* form = dynamic_cast<TPaletteForm*>(w); form && form->isVisible()) {
        seen = true;
        EXPECT_FALSE(form->AutomaticalBox()->isEnabled());
        form->InverseButton()->click();
        form->OkButton()->click();
      }
    }
  });
  TZBPalette p = ThreeColours();
  EXPECT_TRUE(EditPalette(p, kNoData, kNoData));
  EXPECT_TRUE(seen);
  EXPECT_EQ(p.StartColor(), MakeColor(255, 255, 0));
  SetPaletteEditor(nullptr);
}

}  // namespace
}  // namespace qira

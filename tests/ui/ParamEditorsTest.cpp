// The filling, line and font editors driven offscreen (the modal run answered by a
// timer), their previews read back pixel by pixel, and the sample buttons.
#include "ui/ParamEditors.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "support/QtTestEnvironment.h"
#include "widgets/FormattedText.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kLime = 0x00FF00;
constexpr TColor kYellow = 0x00FFFF;

// Runs `act` once the form's modal loop has started.
void WhenShown(QDialog& form, std::function<void()> act) { QTimer::singleShot(0, &form, std::move(act)); }

TColor PreviewPixel(TParamDlgForm& form, int x, int y) { return PixelToColor(form.Preview()->Render().pixel(x, y)); }

TColor Background() { return ColorToRGB(clBtnFace); }

// ---- filling editor

TEST(FillingEditor, OkTakesTheEditedFilling) {
  TBrushParams brush;  // no texture, style 7, blue background
  TBrushDlgForm form;
  WhenShown(form, [&] {
    form.TextureBox()->setChecked(true);
    form.StyleList()->setCurrentIndex(0);  // "Horizontal"
    form.TextureColorBox()->SetSelected(kRed);
    form.OkButton()->click();
  });
  ASSERT_TRUE(form.Execute(brush));
  EXPECT_TRUE(brush.Texture);
  EXPECT_EQ(brush.TextureStyle, 2);
  EXPECT_EQ(brush.TextureColor, kRed);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Filling editor"));
}

TEST(FillingEditor, DiagCrossIsStyleSeven) {
  TBrushParams brush;
  brush.TextureStyle = 2;
  TBrushDlgForm form;
  WhenShown(form, [&] {
    form.StyleList()->setCurrentIndex(form.StyleList()->findText(QStringLiteral("DiagCross")));
    form.OkButton()->click();
  });
  ASSERT_TRUE(form.Execute(brush));
  EXPECT_EQ(brush.TextureStyle, 7);
}

TEST(FillingEditor, CancelLeavesTheFillingUnchanged) {
  TBrushParams brush;
  TBrushDlgForm form;
  WhenShown(form, [&] {
    form.TextureBox()->setChecked(true);
    form.BackBox()->setChecked(false);
    form.CancelButton()->click();
  });
  EXPECT_FALSE(form.Execute(brush));
  EXPECT_FALSE(brush.Texture);
  EXPECT_TRUE(brush.Back);
}

TEST(FillingEditor, DefaultShowsTheOpeningValuesAgain) {
  TBrushParams brush;
  TBrushDlgForm form;
  form.Start(brush);
  form.BackColorBox()->SetSelected(kLime);
  form.BackBox()->setChecked(false);
  form.DefaultButton()->click();
  EXPECT_TRUE(form.BackBox()->isChecked());
  EXPECT_EQ(form.BackColorBox()->Selected(), brush.BackColor);
}

TEST(FillingEditor, ControlsFollowTheirCheckBoxes) {
  TBrushParams brush;
  TBrushDlgForm form;
  form.Start(brush);
  EXPECT_FALSE(form.StyleList()->isEnabled());
  EXPECT_FALSE(form.TextureColorLabel()->isEnabled());
  EXPECT_TRUE(form.BackColorBox()->isEnabled());
  form.TextureBox()->setChecked(true);
  form.BackBox()->setChecked(false);
  EXPECT_TRUE(form.StyleList()->isEnabled());
  EXPECT_FALSE(form.BackColorLabel()->isEnabled());
}

TEST(FillingEditor, PreviewShowsTheFillInABlackFrame) {
  TBrushParams brush;
  brush.BackColor = kYellow;
  TBrushDlgForm form;
  form.Start(brush);
  EXPECT_EQ(PreviewPixel(form, 5, 5), Background());
  EXPECT_EQ(PreviewPixel(form, 10, 30), clBlack);
  EXPECT_EQ(PreviewPixel(form, 50, 40), kYellow);
  form.BackBox()->setChecked(false);
  EXPECT_EQ(PreviewPixel(form, 50, 40), Background());
}

// ---- line editor

TEST(LineEditor, OkWritesColourModeStyleAndWidth) {
  TLineParams line;
  line.Enabled = false;
  TLineDlgForm form;
  WhenShown(form, [&] {
    form.ColorBox()->SetSelected(kRed);
    form.ModeList()->setCurrentIndex(14);  // "Xor"
    form.StyleList()->setCurrentIndex(2);  // "Dot"
    form.WidthEdit()->SetValue(7);
    form.OkButton()->click();
  });
  ASSERT_TRUE(form.Execute(line));
  EXPECT_EQ(line.Color, kRed);
  EXPECT_EQ(line.Mode, 14);
  EXPECT_EQ(line.Style, 2);
  EXPECT_EQ(line.Width, 7);
  EXPECT_FALSE(line.Enabled);  // never edited
}

TEST(LineEditor, CancelLeavesTheLineUnchanged) {
  TLineParams line;
  TLineDlgForm form;
  WhenShown(form, [&] {
    form.WidthEdit()->SetValue(9);
    form.CancelButton()->click();
  });
  EXPECT_FALSE(form.Execute(line));
  EXPECT_EQ(line.Width, 0);
}

TEST(LineEditor, PreviewDrawsTheLineAndClearStyleDrawsNothing) {
  TLineParams line;
  line.Color = kRed;
  TLineDlgForm form;
  form.Start(line);
  const int mid = form.Preview()->height() / 2;
  EXPECT_EQ(PreviewPixel(form, 50, mid), kRed);
  EXPECT_EQ(PreviewPixel(form, 5, mid), Background());
  form.StyleList()->setCurrentIndex(5);  // "Clear"
  EXPECT_EQ(PreviewPixel(form, 50, mid), Background());
}

// ---- font editor

TEST(FontEditor, UnframedFontDisablesTheBoxControls) {
  TFontParams font;
  TFontDlgForm form;
  form.Start(font);
  EXPECT_FALSE(form.BorderBox()->isEnabled());
  EXPECT_FALSE(form.FillingBox()->isEnabled());
  EXPECT_FALSE(form.HDistanceEdit()->isEnabled());
  EXPECT_FALSE(form.DistanceLabel()->isEnabled());
  EXPECT_FALSE(form.LineButton()->isEnabled());
  form.FramedBox()->setChecked(true);
  EXPECT_TRUE(form.BorderBox()->isEnabled());
  EXPECT_EQ(form.LineButton()->isEnabled(), form.BorderBox()->isChecked());
  EXPECT_EQ(form.BrushButton()->isEnabled(), form.FillingBox()->isChecked());
}

TEST(FontEditor, OkTakesTheEditedFontAndCancelDoesNot) {
  TFontParams font;
  {
    TFontDlgForm form;
    WhenShown(form, [&] {
      form.StyleBox(0)->setChecked(true);
      form.StyleBox(3)->setChecked(true);
      form.HAlignList()->setCurrentIndex(1);
      form.SizeEdit()->SetValue(14);
      form.CancelButton()->click();
    });
    EXPECT_FALSE(form.Execute(font));
    EXPECT_EQ(font.Style, 0);
    EXPECT_EQ(font.Size, 10);
  }
  TFontDlgForm form;
  WhenShown(form, [&] {
    form.StyleBox(0)->setChecked(true);
    form.StyleBox(3)->setChecked(true);
    form.HAlignList()->setCurrentIndex(1);
    form.SizeEdit()->SetValue(14);
    form.FramedBox()->setChecked(true);
    form.OkButton()->click();
  });
  ASSERT_TRUE(form.Execute(font));
  EXPECT_EQ(font.Style, fsBold | fsStrikeOut);
  EXPECT_EQ(font.HAlign, 1);
  EXPECT_EQ(font.Size, 14);
  EXPECT_TRUE(font.Framed);
}

TEST(FontEditor, PreviewDrawsTheCrossHairAndNoBoxWhenUnframed) {
  TFontParams font;
  font.Face = PinnedFontFace();
  font.Filling.Enabled = true;
  font.Filling.Back = true;
  font.Filling.BackColor = kLime;
  font.FrameLine.Mode = 4;  // copy: the named frame pen's mode 0 would paint the box black
  TFontDlgForm form;
  form.Start(font);
  auto limePixels = [&] {
    const QImage& image = form.Preview()->Render();
    int lime = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) lime += PixelToColor(image.pixel(x, y)) == kLime ? 1 : 0;
    }
    return lime;
  };
  const QImage& image = form.Preview()->Render();
  EXPECT_EQ(PixelToColor(image.pixel(0, image.height() / 2)), clWhite);  // dotted: the first dot
  EXPECT_EQ(limePixels(), 0);
  form.FramedBox()->setChecked(true);
  form.FillingBox()->setChecked(true);
  EXPECT_GT(limePixels(), 100);
}

// ---- sample buttons

class SampleButtons : public ::testing::Test {
 protected:
  void TearDown() override {
    TLineParams::Editor = nullptr;
    TBrushParams::Editor = nullptr;
  }
};

TEST_F(SampleButtons, LineButtonShowsItsPen) {
  TLineEdit button;
  button.resize(80, 24);
  TLineParams line;
  line.Color = kRed;
  button.SetLine(line);
  const QImage& image = button.Render();
  EXPECT_EQ(PixelToColor(image.pixel(40, 12)), kRed);
  EXPECT_NE(PixelToColor(image.pixel(5, 12)), kRed);
  EXPECT_FALSE(button.ShowFocusRGN());
  EXPECT_TRUE(button.CaptionFixed());
  EXPECT_TRUE(button.text().isEmpty());
}

TEST_F(SampleButtons, BrushButtonShowsItsFill) {
  TBrushEdit button;
  button.resize(80, 24);
  TBrushParams brush;
  brush.BackColor = kYellow;
  button.SetBrush(brush);
  const QImage& image = button.Render();
  EXPECT_EQ(PixelToColor(image.pixel(40, 12)), kYellow);
  EXPECT_EQ(PixelToColor(image.pixel(5, 12)), clBlack);
}

TEST_F(SampleButtons, ClickOpensTheEditorAndFiresTheClickEvenWhenCancelled) {
  int edits = 0;
  TLineParams::Editor = [&](TLineParams&) {
    ++edits;
    return false;
  };
  TLineEdit button;
  int clicks = 0;
  QObject::connect(&button, &QAbstractButton::clicked, [&] { clicks += edits; });
  button.click();
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(clicks, 1);  // the editor ran before the owner's handler
}

TEST_F(SampleButtons, AcceptedEditorChangesTheButtonsSet) {
  TBrushParams::Editor = [](TBrushParams& brush) {
    brush.BackColor = kLime;
    return true;
  };
  TBrushEdit button;
  button.click();
  EXPECT_EQ(button.Brush().BackColor, kLime);
}

TEST_F(SampleButtons, FontEditorTakesTheFrameLineFromItsButton) {
  TLineParams::Editor = [](TLineParams& line) {
    line.Color = kRed;
    line.Mode = 4;
    return true;
  };
  TFontParams font;
  font.Framed = true;
  TFontDlgForm form;
  form.Start(font);
  form.LineButton()->click();
  EXPECT_EQ(form.Edited().FrameLine.Color, kRed);
  EXPECT_EQ(form.Edited().FrameLine.Mode, 4);
}

// A border or filling switched on in this editor stays on after its button's editor,
// accepted or cancelled: the button's set still carries the flag the form opened with.
TEST_F(SampleButtons, ABorderOrFillingSwitchedOnStaysOnAfterItsButtonsEditor) {
  const struct {
    const char* name;
    bool line;
    bool accepted;
  } cases[] = {{"border, accepted", true, true},
               {"border, cancelled", true, false},
               {"filling, accepted", false, true},
               {"filling, cancelled", false, false}};
  for (const auto& c : cases) {
    // As the editors do: the set changes only when accepted.
    TLineParams::Editor = [&](TLineParams& line) {
      if (c.accepted) line.Color = kRed;
      return c.accepted;
    };
    TBrushParams::Editor = [&](TBrushParams& brush) {
      if (c.accepted) brush.BackColor = kLime;
      return c.accepted;
    };
    TFontParams font;
    font.Framed = true;
    font.FrameLine.Enabled = false;
    font.Filling.Enabled = false;
    TFontDlgForm form;
    WhenShown(form, [&] {
      (c.line ? form.BorderBox() : form.FillingBox())->setChecked(true);
      if (c.line) {
        form.LineButton()->click();
      } else {
        form.BrushButton()->click();
      }
      form.OkButton()->click();
    });
    ASSERT_TRUE(form.Execute(font)) << c.name;
    const TGraphParams& set = c.line ? static_cast<const TGraphParams&>(font.FrameLine) : font.Filling;
    EXPECT_TRUE(set.Enabled) << c.name;
    const TFontParams opened;
    EXPECT_EQ(c.line ? font.FrameLine.Color : font.Filling.BackColor,
              c.accepted ? (c.line ? kRed : kLime) : (c.line ? opened.FrameLine.Color : opened.Filling.BackColor))
        << c.name;
  }
}

TEST(ParamEditorRegistration, InstallsEveryEditorHook) {
  RegisterParamEditors();
  EXPECT_TRUE(static_cast<bool>(TBrushParams::Editor));
  EXPECT_TRUE(static_cast<bool>(TLineParams::Editor));
  EXPECT_TRUE(static_cast<bool>(TFontParams::Editor));
  EXPECT_TRUE(static_cast<bool>(TFontParams::SystemFontDialog));
  TBrushParams::Editor = nullptr;
  TLineParams::Editor = nullptr;
  TFontParams::Editor = nullptr;
  TFontParams::SystemFontDialog = nullptr;
}

}  // namespace
}  // namespace qira

// The style and interval dialogs of geology items, driven without a user: built,
// filled, clicked and read back, never run modally.
#include "ui/GeologyDialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>

#include "support/FakeServices.h"
#include "support/QtTestEnvironment.h"

namespace qira {
namespace {

// The dialogs need the application before the first test builds one.
TBHDepthCollectionItem Sand() {
  TBHDepthCollectionItem item;
  item.ShortName = "Sd";
  item.FullName = "Sand";
  item.Color = MakeColor(200, 30, 10);
  item.Top = 20.5f;
  item.Bottom = 35.25f;
  return item;
}

TColor PixelAt(const QImage& image, int x, int y) { return PixelToColor(image.pixel(x, y)); }

// ---- style dialog ---------------------------------------------------------------------------

TEST(StyleDialog, ShowsTheItemAndEnablesButtonsByTheirCheckBoxes) {
  TBHCollectionItem item = Sand();
  item.Texture = false;
  TBHCollEdit dialog(item);
  EXPECT_EQ(dialog.windowTitle(), "Editing");
  EXPECT_EQ(dialog.ShortNameEdit()->text(), "Sd");
  EXPECT_EQ(dialog.FullNameEdit()->text(), "Sand");
  EXPECT_TRUE(dialog.FillingBox()->isChecked());
  EXPECT_FALSE(dialog.TextureBox()->isChecked());
  EXPECT_TRUE(dialog.BorderBox()->isChecked());

  EXPECT_FALSE(dialog.HatchDownButton()->isEnabled());
  EXPECT_FALSE(dialog.HatchUpButton()->isEnabled());
  EXPECT_TRUE(dialog.ColorButton()->isEnabled());

  dialog.TextureBox()->click();
  dialog.FillingBox()->click();
  EXPECT_TRUE(dialog.HatchDownButton()->isEnabled());
  EXPECT_TRUE(dialog.HatchUpButton()->isEnabled());
  EXPECT_FALSE(dialog.ColorButton()->isEnabled());
  EXPECT_TRUE(dialog.Item().Texture);
  EXPECT_FALSE(dialog.Item().Filling);
}

TEST(StyleDialog, HatchButtonsStepAroundTheHatchStyles) {
  TBHCollectionItem item = Sand();
  item.Texture = true;
  item.HatchStyle = bsDiagCross;
  TBHCollEdit dialog(item);
  dialog.HatchUpButton()->click();
  EXPECT_EQ(dialog.Item().HatchStyle, bsHorizontal);
  dialog.HatchDownButton()->click();
  EXPECT_EQ(dialog.Item().HatchStyle, bsDiagCross);
  dialog.HatchDownButton()->click();
  EXPECT_EQ(dialog.Item().HatchStyle, bsCross);
}

TEST(StyleDialog, OkTakesTheNamesAndCancelDropsThem) {
  TBHCollectionItem item = Sand();
  {
    TBHCollEdit dialog(item);
    dialog.show();
    dialog.ShortNameEdit()->setText("Gr");
    dialog.FullNameEdit()->setText("Gravel \xC3\xA4");
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Item().ShortName, "Gr");
    EXPECT_EQ(dialog.Item().FullName, "Gravel \xC3\xA4");
  }
  {
    TBHCollEdit dialog(item);
    dialog.show();
    dialog.ShortNameEdit()->setText("Gr");
    dialog.CancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.Item().ShortName, "Sd");
  }
  EXPECT_TRUE(item.Equals(Sand()));  // the dialog works on a copy
}

TEST(StyleDialog, ColorButtonTakesTheChosenColourAndRepaintsTheSwatch) {
  TBHCollEdit dialog(Sand());
  dialog.Swatch()->resize(64, 40);
  TColor offered = 0;
  dialog.ChooseColor = [&](TColor initial, QWidget*) -> std::optional<TColor> {
    offered = initial;
    return clLime;
  };
  dialog.ColorButton()->click();
  EXPECT_EQ(offered, Sand().Color);
  EXPECT_EQ(dialog.Item().Color, clLime);
  EXPECT_EQ(PixelAt(dialog.Swatch()->Render(), 20, 20), clLime);

  dialog.ChooseColor = [](TColor, QWidget*) -> std::optional<TColor> { return std::nullopt; };
  dialog.ColorButton()->click();
  EXPECT_EQ(dialog.Item().Color, clLime);
}

// ---- swatch ---------------------------------------------------------------------------------

TEST(Swatch, PaintsTheRockInsetFromTheBoxEdges) {
  TBHCollectionItem rock = Sand();
  TSwatchBox box;
  box.resize(64, 40);
  box.SetItem(&rock);
  QImage image = box.Render();
  const TColor window = PixelToColor(box.palette().color(QPalette::Window).rgb());

  EXPECT_EQ(PixelAt(image, 4, 4), window);
  EXPECT_EQ(PixelAt(image, 5, 5), clBlack);    // border, top-left
  EXPECT_EQ(PixelAt(image, 57, 33), clBlack);  // border, bottom-right (64 - 6 - 1, 40 - 6 - 1)
  EXPECT_EQ(PixelAt(image, 58, 34), window);
  EXPECT_EQ(PixelAt(image, 30, 20), rock.Color);

  rock.Border = false;
  image = box.Render();
  EXPECT_EQ(PixelAt(image, 5, 5), rock.Color);
  EXPECT_EQ(PixelAt(image, 56, 32), rock.Color);  // a clear pen leaves the last row and column
  EXPECT_EQ(PixelAt(image, 57, 33), window);
}

TEST(Swatch, AHatchShowsTheRockColourInItsGapsOnlyWhenFilled) {
  TBHCollectionItem rock = Sand();
  rock.Texture = true;
  rock.HatchStyle = bsHorizontal;
  TSwatchBox box;
  box.resize(64, 40);
  box.SetItem(&rock);
  const TColor window = PixelToColor(box.palette().color(QPalette::Window).rgb());

  auto countInside = [](const QImage& image, TColor c) {
    int n = 0;
    for (int y = 7; y < 32; ++y)
      for (int x = 7; x < 56; ++x) n += PixelAt(image, x, y) == c;
    return n;
  };
  QImage filled = box.Render();
  EXPECT_GT(countInside(filled, clBlack), 0);
  EXPECT_GT(countInside(filled, rock.Color), countInside(filled, clBlack));
  EXPECT_EQ(countInside(filled, window), 0);

  rock.Filling = false;
  QImage open = box.Render();
  EXPECT_GT(countInside(open, clBlack), 0);
  EXPECT_EQ(countInside(open, rock.Color), 0);
  EXPECT_GT(countInside(open, window), 0);
}

// ---- interval dialog ------------------------------------------------------------------------

TEST(IntervalDialog, ShowsDepthsAndNames) {
  TBHDepColEdit dialog(Sand());
  EXPECT_EQ(dialog.windowTitle(), "Editing");
  EXPECT_EQ(dialog.MinimumEdit()->text(), "20.5");
  EXPECT_EQ(dialog.MaximumEdit()->text(), "35.25");
  EXPECT_EQ(dialog.ShortNameLabel()->text(), "Sd");
  EXPECT_EQ(dialog.FullNameLabel()->text(), "Sand");

  // Names that look like markup are shown as typed.
  TBHDepthCollectionItem tagged = Sand();
  tagged.ShortName = "<b>Sd";
  tagged.FullName = "<i>Sand</i>";
  TBHDepColEdit named(tagged);
  for (const QLabel* label : {named.ShortNameLabel(), named.FullNameLabel()}) {
    EXPECT_TRUE(Qt::mightBeRichText(label->text())) << label->text().toStdString();
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
  }

  TBHDepthCollectionItem tenth;
  tenth.Top = 0.1f;  // shown with 7 significant digits, not as the float's full expansion
  EXPECT_EQ(TBHDepColEdit(tenth).MinimumEdit()->text(), "0.1");
}

TEST(IntervalDialog, OkParsesBothDepthsWithEitherSeparator) {
  TFakeServices fake;
  TBHDepColEdit dialog(Sand());
  dialog.show();
  dialog.MinimumEdit()->setText("5,5");
  dialog.MaximumEdit()->setText("7.25");
  dialog.OkButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Item().Top, 5.5f);
  EXPECT_EQ(dialog.Item().Bottom, 7.25f);
  EXPECT_TRUE(fake.Messages.empty());
}

TEST(IntervalDialog, BadDepthsKeepTheDialogOpenWithTheReason) {
  struct Case {
    const char* minimum;
    const char* maximum;
    const char* message;
  };
  const Case cases[] = {
      {"abc", "7", "Invalid value: abc"},
      {"5", "", "Invalid value: "},
      {"5", "1e300", "Invalid value: 1e300"},  // beyond a stored depth
      {"7", "5", "Minimum must be less then maximum"},
      {"5", "5", "Minimum must be less then maximum"},
      {"5", "5.0000000001", "Minimum must be less then maximum"},  // equal once stored
  };
  for (const Case& c : cases) {
    TFakeServices fake;
    TBHDepColEdit dialog(Sand());
    dialog.show();
    dialog.MinimumEdit()->setText(c.minimum);
    dialog.MaximumEdit()->setText(c.maximum);
    dialog.OkButton()->click();
    EXPECT_TRUE(dialog.isVisible()) << c.message;
    EXPECT_NE(dialog.result(), QDialog::Accepted) << c.message;
    ASSERT_EQ(fake.Messages.size(), 1u) << c.message;
    EXPECT_EQ(fake.Messages[0].Text, c.message);
    EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
    EXPECT_EQ(dialog.Item().Top, 20.5f) << c.message;
    dialog.CancelButton()->click();
  }
}

TEST(IntervalDialog, EditChangesTheStyleOfTheCopyAndShowsIt) {
  SetBHCollectionEditors(
      [](TBHCollectionItem& style) {
        style.ShortName = "Cl";
        style.FullName = "Clay";
        style.Color = clBlue;
        return true;
      },
      nullptr);
  TBHDepthCollectionItem item = Sand();
  TBHDepColEdit dialog(item);
  dialog.Swatch()->resize(64, 40);
  dialog.EditButton()->click();
  SetBHCollectionEditors(nullptr, nullptr);

  EXPECT_EQ(dialog.ShortNameLabel()->text(), "Cl");
  EXPECT_EQ(dialog.FullNameLabel()->text(), "Clay");
  EXPECT_EQ(PixelAt(dialog.Swatch()->Render(), 20, 20), clBlue);
  EXPECT_EQ(dialog.Item().Top, 20.5f);
  EXPECT_TRUE(item.Equals(Sand()));
}

TEST(DepthText, GeneralFormatWithSevenDigits) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {{10, "10"},          {20.5, "20.5"},       {-3.25, "-3.25"},
                        {1234567, "1234567"}, {12345678, "1.234568E7"}, {0.00001, "0.00001"},
                        {1e-7, "1E-7"},       {0, "0"},             {-0.0, "0"}};
  for (const Case& c : cases) EXPECT_EQ(FormatDepth(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <QFontDatabase>

#include <set>
#include <string>

#include "platform/Canvas.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// Bounds of the pixels that differ from white; right and bottom exclusive.
TRect InkBounds(const TBitmap& b) {
  TRect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != clWhite) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

TFont PinnedFont(int32_t height, TFontStyles style = 0) {
  TFont f;
  f.Name = PinnedFontFace();
  f.Height = height;
  f.Style = style;
  return f;
}

class CanvasText : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }

  // Writes text on a fresh white 200 × 120 bitmap with a transparent background.
  TRect InkOf(const std::string& text, uint32_t align, int x, int y, TFont font = PinnedFont(-20)) {
    bitmap.SetSize(0, 0);
    bitmap.SetSize(200, 120);
    TCanvas& c = bitmap.Canvas();
    c.SetFont(font);
    c.SetBrushStyle(bsClear);
    c.SetTextAlign(align);
    c.TextOut(x, y, text);
    return InkBounds(bitmap);
  }

  TBitmap bitmap;
};

TEST_F(CanvasText, HorizontalAlignmentPutsTheInkBesideOrAroundTheReferencePoint) {
  const TRect left = InkOf("HHHH", TA_LEFT | TA_TOP, 100, 40);
  EXPECT_GE(left.Left, 100);
  EXPECT_LE(left.Left, 103);
  const TRect right = InkOf("HHHH", TA_RIGHT | TA_TOP, 100, 40);
  EXPECT_LE(right.Right, 100);
  EXPECT_GE(right.Right, 97);
  const TRect centre = InkOf("HHHH", TA_CENTER | TA_TOP, 100, 40);
  EXPECT_NEAR((centre.Left + centre.Right) / 2.0, 100.0, 2.0);
  EXPECT_EQ(left.Width(), right.Width());
}

TEST_F(CanvasText, VerticalAlignmentPutsTheInkBelowAboveOrOnTheBaseLine) {
  const TRect top = InkOf("H", TA_LEFT | TA_TOP, 20, 60);
  EXPECT_GE(top.Top, 60);
  const TRect bottom = InkOf("Hg", TA_LEFT | TA_BOTTOM, 20, 60);
  EXPECT_LE(bottom.Bottom, 60);
  const TRect baseline = InkOf("H", TA_LEFT | TA_BASELINE, 20, 60);
  EXPECT_EQ(baseline.Bottom, 60) << "a capital stands on the base line";
  EXPECT_LT(baseline.Top, 50);
  const TRect descender = InkOf("g", TA_LEFT | TA_BASELINE, 20, 60);
  EXPECT_GT(descender.Bottom, 62) << "a descender hangs below it";
}

TEST_F(CanvasText, ThinStrokesKeepTheirInkAtSmallSizes) {
  // A hyphen or a minus sign is one thin horizontal stroke; drawn without
  // antialiasing it must still leave ink (names like "B-1", negative labels).
  for (int32_t height : {-8, -9, -10, -11, -12, -13, -14, -16}) {
    SCOPED_TRACE(height);
    EXPECT_FALSE(InkOf("-", TA_LEFT | TA_TOP, 20, 20, PinnedFont(height)).IsEmpty());
    EXPECT_FALSE(InkOf(".", TA_LEFT | TA_TOP, 20, 20, PinnedFont(height)).IsEmpty());
  }
}

TEST_F(CanvasText, TextCellTakesTheBackgroundOnlyWhenOpaque) {
  TBitmap b(100, 40);
  TCanvas& c = b.Canvas();
  c.SetFont(PinnedFont(-20));
  const TSize extent = c.TextExtent("i i");
  c.SetBkColor(clBlue);
  c.SetBkMode(bkOpaque);
  c.TextOut(10, 5, "i i");
  EXPECT_EQ(b.Pixel(10 + extent.cx / 2, 5 + 2), clBlue) << "the gap between the letters";
  EXPECT_EQ(b.Pixel(10 + extent.cx, 5 + 2), clWhite) << "right of the cell";
  EXPECT_EQ(b.Pixel(10, 5 + extent.cy), clWhite) << "below the cell";

  TBitmap t(100, 40);
  t.Canvas().SetFont(PinnedFont(-20));
  t.Canvas().SetBrushStyle(bsClear);  // a clear brush makes the background transparent
  t.Canvas().TextOut(10, 5, "i i");
  EXPECT_EQ(t.Pixel(10 + extent.cx / 2, 5 + 2), clWhite);
}

TEST_F(CanvasText, DefaultQualityWritesOnlyTheTextColourAntialiasedQualityBlends) {
  InkOf("Quality", TA_LEFT | TA_TOP, 10, 10);
  std::set<TColor> colours;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) colours.insert(bitmap.Pixel(x, y));
  EXPECT_EQ(colours, (std::set<TColor>{clBlack, clWhite}));

  TFont smooth = PinnedFont(-20);
  smooth.Quality = ANTIALIASED_QUALITY;
  InkOf("Quality", TA_LEFT | TA_TOP, 10, 10, smooth);
  colours.clear();
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) colours.insert(bitmap.Pixel(x, y));
  EXPECT_GT(colours.size(), 4u);
}

TEST_F(CanvasText, MeasuresAreRepeatableAndGrowWithSizeAndBold) {
  TBitmap a(4, 4);
  TBitmap b(4, 4);
  TCanvas& c = a.Canvas();
  c.SetFont(PinnedFont(-20));
  b.Canvas().SetFont(PinnedFont(-20));
  const TSize first = c.TextExtent("Hello, world");
  EXPECT_EQ(first, c.TextExtent("Hello, world"));
  EXPECT_EQ(first, b.Canvas().TextExtent("Hello, world"));
  const TTextMetric m = c.TextMetrics();
  EXPECT_EQ(first.cy, m.Height);
  EXPECT_EQ(m.Height, m.Ascent + m.Descent);
  const int32_t regular = c.TextWidth("Extent");
  c.SetFont(PinnedFont(-20, fsBold));
  EXPECT_GT(c.TextWidth("Extent"), regular);
  EXPECT_EQ(c.TextWidth(""), 0);

  // A positive height is the cell height, a negative one the character height.
  c.SetFont(PinnedFont(30));
  EXPECT_NEAR(c.TextMetrics().Height, 30, 1);
  c.SetFont(PinnedFont(-30));
  EXPECT_GT(c.TextMetrics().Height, 31) << "the cell of a 30-pixel em is taller than 30";
}

TEST_F(CanvasText, PointSizeConvertsWithTheFontsPixelsPerInch) {
  TFont f;
  f.PixelsPerInch = 96;
  f.SetSize(10);
  EXPECT_EQ(f.Height, -13);
  EXPECT_EQ(f.Size(), 10);
  f.PixelsPerInch = 72;
  f.SetSize(10);
  EXPECT_EQ(f.Height, -10);
  f.PixelsPerInch = 144;
  EXPECT_EQ(f.Size(), 5);
}

TEST_F(CanvasText, EscapementOf900WritesUpwards) {
  TFont font = PinnedFont(-20);
  font.Escapement = 900;
  const TRect ink = InkOf("HHHHHH", TA_LEFT | TA_BASELINE, 100, 110, font);
  EXPECT_GT(ink.Height(), 3 * ink.Width()) << "vertical text";
  EXPECT_LE(ink.Bottom, 111) << "it starts at the reference point and runs up";
  EXPECT_LE(ink.Right, 101) << "the letters' tops point left, so the ink lies left of the base line";
  EXPECT_GE(ink.Left, 100 - 20);

  font.Escapement = 0;
  const TRect flat = InkOf("HHHHHH", TA_LEFT | TA_BASELINE, 20, 60, font);
  EXPECT_NEAR(ink.Height(), flat.Width(), 2);
}

TEST_F(CanvasText, TextIsClippedAndIgnoresThePenMode) {
  TBitmap b(100, 40);
  TCanvas& c = b.Canvas();
  c.SetFont(PinnedFont(-30));
  c.SetBrushStyle(bsClear);
  c.SetROP2(R2_NOP);
  c.SelectClipRect({0, 0, 20, 40});
  c.TextOut(5, 2, "MMMMMM");
  const TRect ink = InkBounds(b);
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_LE(ink.Right, 20);
}

TEST(CanvasFaces, WindowsFacesMapToInstalledFamilies) {
  EnsureTestApplication();
  const QStringList installed = QFontDatabase::families();
  for (const char* face : {"Arial", "Times New Roman", "Courier New", "MS Sans Serif"}) {
    const std::string family = ResolveFontFamily(face);
    EXPECT_TRUE(installed.contains(QString::fromStdString(family))) << face << " -> " << family;
  }
  EXPECT_TRUE(QFontDatabase::isFixedPitch(QString::fromStdString(ResolveFontFamily("Courier New"))));
  EXPECT_FALSE(QFontDatabase::isFixedPitch(QString::fromStdString(ResolveFontFamily("Arial"))));
  EXPECT_EQ(ResolveFontFamily("dejavu sans"), "DejaVu Sans") << "an installed family, in any letter case";
  EXPECT_EQ(ResolveFontFamily("Times New Roman").find("Sans"), std::string::npos) << "a serif face stays serif";
}

TEST(CanvasFaces, MissingFaceStillWritesText) {
  EnsureTestApplication();
  TBitmap b(120, 40);
  TFont f;
  f.Name = "No Such Face At All";
  f.Height = -20;
  b.Canvas().SetFont(f);
  b.Canvas().TextOut(2, 2, "Text");
  EXPECT_FALSE(InkBounds(b).IsEmpty());
}

}  // namespace
}  // namespace qira

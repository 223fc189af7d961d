// PNG pictures drawn onto a canvas with their transparency, turned into
// bitmaps, given palettes and exchanged through the clipboard. The pictures
// come from make_png_draw.py.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "imaging/PngObject.h"
#include "platform/Canvas.h"
#include "platform/GraphicErrors.h"
#include "support/GeneratedFixtures.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

void LoadDrawFixture(TPNGObject& png, const std::string& name) {
  TMemoryStream stream = TGeneratedFixtures::Of("make_png_draw.py").Stream(name);
  png.LoadFromStream(stream);
}

// A canvas of one colour.
struct TSurface {
  explicit TSurface(TColor fill, int w = 8, int h = 6) : image(w, h, QImage::Format_RGB32), canvas(&image) {
    image.fill(ColorToPixel(fill));
  }
  TColor At(int x, int y) const { return PixelToColor(image.pixel(x, y)); }
  QImage image;
  TCanvas canvas;
};

TEST(PngDraw, OneTransparentColourLeavesTheCanvasUnderIt) {
  TPNGObject png;
  LoadDrawFixture(png, "rgb_trns.png");
  ASSERT_EQ(png.GetTransparencyMode(), ptmBit);
  TSurface s(clLime);
  png.Draw(s.canvas, {1, 1, 5, 3});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const TColor expected = x == y ? clLime : MakeColor(static_cast<uint8_t>(10 * x), static_cast<uint8_t>(20 * y), 200);
      EXPECT_EQ(s.At(1 + x, 1 + y), expected) << x << "," << y;
    }
  EXPECT_EQ(s.At(0, 0), clLime);
  EXPECT_EQ(s.At(5, 1), clLime);
}

TEST(PngDraw, PaletteAlphaBlendsWithTheCanvas) {
  TPNGObject png;
  LoadDrawFixture(png, "pal_alpha.png");
  ASSERT_EQ(png.GetTransparencyMode(), ptmPartial);
  TSurface s(MakeColor(100, 100, 100));
  png.Draw(s.canvas, {0, 0, 3, 1});
  EXPECT_EQ(s.At(0, 0), MakeColor(100, 100, 100));  // alpha 0 leaves the canvas
  EXPECT_EQ(s.At(1, 0), MakeColor(178, 178, 178));  // (255·128 + 255 + 127·100) >> 8
  EXPECT_EQ(s.At(2, 0), clBlue);                    // alpha 255 copies
}

TEST(PngDraw, AlphaImageTwiceItsSizeRepeatsEachPixel) {
  TPNGObject png;
  LoadDrawFixture(png, "rgba_half.png");
  TSurface s(clWhite);
  png.Draw(s.canvas, {0, 0, 4, 4});
  const TColor opaque = MakeColor(200, 100, 50);
  const TColor blended = MakeColor(227, 177, 152);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(s.At(x, y), x < 2 ? opaque : blended) << x << "," << y;
  EXPECT_EQ(s.At(4, 0), clWhite);
}

TEST(PngDraw, GreyWithAlphaAndAReversedRectangle) {
  TPNGObject png;
  LoadDrawFixture(png, "grey_alpha.png");
  TSurface s(clRed);
  png.Draw(s.canvas, {4, 1, 2, 0});  // normalised to (2, 0, 4, 1)
  EXPECT_EQ(s.At(2, 0), clRed);
  EXPECT_EQ(s.At(3, 0), MakeColor(100, 100, 100));
}

TEST(PngDraw, ClipRegionAndCanvasEdgesHold) {
  TPNGObject png;
  LoadDrawFixture(png, "rgba_half.png");
  TSurface s(clWhite, 3, 3);
  s.canvas.SelectClipRect({0, 0, 3, 1});
  png.Draw(s.canvas, {-1, -1, 3, 3});  // source pixel (0, 0) lands at (-1..0, -1..0)
  EXPECT_EQ(s.At(0, 0), MakeColor(200, 100, 50));
  EXPECT_EQ(s.At(0, 1), clWhite);  // clipped
}

TEST(PngDraw, OpaqueImageIsCopiedStretched) {
  TPNGObject png;
  LoadDrawFixture(png, "grey4.png");
  TSurface s(clRed);
  png.Draw(s.canvas, {0, 0, 8, 2});
  EXPECT_EQ(s.At(7, 1), clWhite);
  EXPECT_EQ(s.At(2, 0), MakeColor(85, 85, 85));
  EXPECT_EQ(s.At(0, 2), clRed);
}

// Sides past 2^31 − 1 pixels (one edge wrapped below the other, as a chart's
// overflowed position gives): the canvas's pixels take the picture's last
// column or row, never one beyond it.
TEST(PngDraw, ARectangleWiderOrTallerThanAnIntStaysInsideThePicture) {
  const struct {
    const char* file;
    TRect rect;
    TColor atOrigin;
  } table[] = {
      {"rgba_half.png", {INT32_MIN, 0, 10, 8}, MakeColor(227, 50, 25)},  // partial alpha over red
      {"rgba_half.png", {10, 0, INT32_MIN, 8}, MakeColor(227, 50, 25)},  // normalised
      {"rgba_half.png", {0, INT32_MIN, 8, 6}, MakeColor(200, 100, 50)},
      {"rgb_trns.png", {INT32_MIN, 0, 10, 8}, MakeColor(30, 0, 200)},  // one transparent colour
      {"grey4.png", {INT32_MIN, 0, 10, 8}, clWhite},                    // opaque
      {"pal_alpha.png", {INT32_MIN, INT32_MIN, 10, 8}, clBlue},         // palette alpha
  };
  for (const auto& row : table) {
    TPNGObject png;
    LoadDrawFixture(png, row.file);
    TSurface s(clRed);
    png.Draw(s.canvas, row.rect);
    EXPECT_EQ(s.At(0, 0), row.atOrigin) << row.file << " " << row.rect.Left << "," << row.rect.Top;
  }
}

struct TAssignCase {
  const char* file;
  int32_t bits;
  bool transparent;
};

class PngAssignTo : public testing::TestWithParam<TAssignCase> {};

TEST_P(PngAssignTo, GivesTheDepthAndTheTransparencyOfThePicture) {
  TPNGObject png;
  LoadDrawFixture(png, GetParam().file);
  TBitmapGraphic bitmap;
  const TBitmapTransparency t = png.AssignTo(bitmap);
  EXPECT_EQ(bitmap.BitsPerPixel(), GetParam().bits);
  EXPECT_EQ(t.Transparent, GetParam().transparent);
  ASSERT_EQ(bitmap.Width(), png.Width());
  // The bitmap shows what GetPixel reads wherever the picture is opaque.
  if (png.GetTransparencyMode() != ptmPartial) {
    for (int y = 0; y < png.Height(); ++y)
      for (int x = 0; x < png.Width(); ++x)
        EXPECT_EQ(PixelToColor(bitmap.Image().pixel(x, y)), png.GetPixel(x, y)) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PngAssignTo,
                         testing::Values(TAssignCase{"pal1.png", 1, false}, TAssignCase{"grey4.png", 4, false},
                                         TAssignCase{"rgb_trns.png", 24, true},
                                         TAssignCase{"pal_alpha.png", 24, false},
                                         TAssignCase{"rgba_half.png", 24, false}));

TEST(PngAssignToBitmap, OneColourModeAnswersItsTransparentColourAndKeepsIt) {
  TPNGObject png;
  LoadDrawFixture(png, "rgb_trns.png");
  TBitmapGraphic bitmap;
  EXPECT_EQ(png.AssignTo(bitmap).TransparentColor, clRed);
  EXPECT_EQ(PixelToColor(bitmap.Image().pixel(0, 0)), clRed);
}

TEST(PngAssignToBitmap, PartialAlphaIsBlendedOverWhite) {
  TPNGObject png;
  LoadDrawFixture(png, "pal_alpha.png");
  TBitmapGraphic bitmap;
  png.AssignTo(bitmap);
  EXPECT_EQ(PixelToColor(bitmap.Image().pixel(0, 0)), clWhite);
  EXPECT_EQ(PixelToColor(bitmap.Image().pixel(2, 0)), clBlue);
}

TEST(PngPalette, SetPaletteRecoloursAPalettePictureOnly) {
  TPNGObject png;
  LoadDrawFixture(png, "pal1.png");
  EXPECT_EQ(png.GetPixel(1, 0), MakeColor(255, 255, 0));
  EXPECT_TRUE(png.SetPalette({{0, 0, 0}, {255, 0, 0}}));  // blue, green, red order
  EXPECT_EQ(png.GetPalette()[1], (TPngPaletteEntry{255, 0, 0}));
  EXPECT_EQ(png.GetPixel(1, 0), clBlue);

  TPNGObject rgb;
  LoadDrawFixture(rgb, "rgb_trns.png");
  EXPECT_FALSE(rgb.SetPalette({{0, 0, 0}}));
}

TEST(PngClipboard, RoundTripThroughTheSystemClipboard) {
  ASSERT_NE(EnsureTestApplication(), nullptr);
  TPNGObject png;
  LoadDrawFixture(png, "rgb_trns.png");
  auto* data = new QMimeData;
  png.SaveToClipboardFormat(*data);
  QGuiApplication::clipboard()->setMimeData(data);

  const QMimeData* pasted = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(pasted, nullptr);
  TPNGObject copy;
  copy.LoadFromClipboardFormat(*pasted);
  EXPECT_EQ(copy.Width(), 4);
  EXPECT_EQ(copy.GetTransparencyMode(), ptmNone);
  EXPECT_EQ(copy.GetPixel(0, 0), clWhite);  // the see-through pixel drawn on white
  EXPECT_EQ(copy.GetPixel(1, 0), MakeColor(10, 0, 200));
}

TEST(PngClipboard, DataWithoutAPictureIsRefusedAndTheImageKept) {
  TPNGObject png;
  LoadDrawFixture(png, "pal1.png");
  QMimeData text;
  text.setText("no picture");
  EXPECT_THROW(png.LoadFromClipboardFormat(text), EInvalidGraphic);
  EXPECT_EQ(png.Width(), 3);
}

}  // namespace
}  // namespace qira

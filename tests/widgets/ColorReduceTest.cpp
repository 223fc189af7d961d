// Colour reduction of bitmaps into BMP file images, and the small support
// routines the GIF codec and the widgets share.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QMimeData>

#include <cstring>
#include <set>

#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/Picture.h"
#include "support/FakeServices.h"
#include "widgets/ColorReduce.h"
#include "widgets/WidgetSupport.h"

namespace qira {
namespace {

QImage Filled(int w, int h, const std::function<QRgb(int, int)>& color) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, color(x, y));
  return image;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// ------------------------------------------------------------ methods

TEST(ColorReduceHistogram, FewColoursKeepTheirValuesOrderedByFrequency) {
  // 6 blue, 3 red, 1 green pixels.
  const QImage image = Filled(10, 1, [](int x, int) {
    return x < 6 ? qRgb(0, 0, 255) : (x < 9 ? qRgb(255, 0, 0) : qRgb(0, 255, 0));
  });
  const TReducedPicture p = ReduceColors(image, rmHistogram);
  EXPECT_EQ(p.Palette[0], qRgb(0, 0, 255));
  EXPECT_EQ(p.Palette[1], qRgb(255, 0, 0));
  EXPECT_EQ(p.Palette[2], qRgb(0, 255, 0));
  for (int i = 3; i < 256; ++i) EXPECT_EQ(p.Palette[static_cast<size_t>(i)], qRgb(128, 128, 128)) << i;
  EXPECT_EQ(p.Indices, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 1, 1, 2}));
}

TEST(ColorReduceHistogram, TooManyColoursDropTheLowestBlueBitFirst) {
  // 2050 colours: green 0..1024 (as two bytes' worth in red and green) × blue 0 or 1.
  const QImage image = Filled(2050, 1, [](int x, int) {
    const int g = x / 2;
    return qRgb(g / 256 * 8, g % 256, x % 2);
  });
  const TReducedPicture p = ReduceColors(image, rmHistogram);
  bool oddGreen = false;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(qBlue(p.Palette[static_cast<size_t>(i)]) & 1, 0) << i;
    oddGreen = oddGreen || (qGreen(p.Palette[static_cast<size_t>(i)]) & 1) != 0;
  }
  EXPECT_TRUE(oddGreen);  // green kept its precision
  EXPECT_EQ(p.Indices[0], p.Indices[1]);  // blue 0 and 1 met in one entry
}

TEST(ColorReduceMedianCut, TwoColoursMakeTwoBoxes) {
  const QImage image = Filled(4, 2, [](int x, int y) { return (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0); });
  const TReducedPicture p = ReduceColors(image, rmMedianCut);
  EXPECT_EQ(p.ColorsUsed, 2);
  EXPECT_EQ(p.Palette[0], qRgb(0, 0, 0));  // 15 in each channel is close enough to black
  EXPECT_EQ(p.Palette[1], qRgb(255, 255, 255));
  EXPECT_EQ(p.Indices[0], 0);
  EXPECT_EQ(p.Indices[1], 1);
}

struct TChannelCase {
  int method;
  QRgb color;
  int index;
};

class ColorReduceFixed : public testing::TestWithParam<TChannelCase> {};

TEST_P(ColorReduceFixed, MapsAPixelToItsIndex) {
  const QImage image = Filled(1, 1, [](int, int) { return GetParam().color; });
  EXPECT_EQ(ReduceColors(image, GetParam().method).Indices[0], GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColorReduceFixed,
    testing::Values(TChannelCase{rmFixed666, qRgb(25, 0, 0), 0},         // below the midpoint 25.5
                    TChannelCase{rmFixed666, qRgb(26, 0, 0), 36},        // level 1 of red
                    TChannelCase{rmFixed666, qRgb(255, 255, 255), 215},
                    TChannelCase{rmFixed784, qRgb(255, 255, 255), 223},
                    TChannelCase{rmFixed784, qRgb(64, 0, 0), 32},        // halfway: the lower level 43 wins
                    TChannelCase{rmGrayscale, qRgb(255, 255, 255), 255},
                    TChannelCase{rmGrayscale, qRgb(255, 0, 0), 76}));

TEST(ColorReduceFixedLevels, LevelsRoundHalvesUp) {
  EXPECT_EQ(LevelTable(7).Levels, (std::vector<uint8_t>{0, 43, 85, 128, 170, 213, 255}));
  EXPECT_EQ(LevelTable(8).Levels, (std::vector<uint8_t>{0, 36, 73, 109, 146, 182, 219, 255}));
  EXPECT_EQ(LevelTable(4).Levels, (std::vector<uint8_t>{0, 85, 170, 255}));
}

TEST(ColorReducePrimaryRamps, UniformRedRepeatsThreeIndicesShiftedPerRow) {
  const QImage image = Filled(6, 2, [](int, int) { return qRgb(255, 0, 0); });
  const TReducedPicture p = ReduceColors(image, rmPrimaryRamps);
  EXPECT_EQ(std::vector<uint8_t>(p.Indices.begin(), p.Indices.begin() + 6),
            (std::vector<uint8_t>{63, 64, 128, 63, 64, 128}));
  EXPECT_EQ(std::vector<uint8_t>(p.Indices.begin() + 6, p.Indices.end()),
            (std::vector<uint8_t>{64, 128, 63, 64, 128, 63}));
  EXPECT_EQ(p.Palette[63], qRgb(252, 0, 0));
}

// ------------------------------------------------------------ BMP stream

TEST(ColorReduceBmpStream, EightBitTargetIsAReadableBmpWithTheColoursUsed) {
  TBitmapGraphic bitmap(Filled(5, 3, [](int x, int y) { return qRgb(51 * x, 51 * y, 0); }));
  std::unique_ptr<TMemoryStream> stream = BitmapToBMPStream(bitmap, TPixelFormat::pf8bit, rmFixed666);
  EXPECT_EQ(stream->Position(), 0);
  const std::vector<uint8_t> bytes = stream->Data();
  EXPECT_EQ(U32At(bytes, 46), 216u);
  EXPECT_EQ(U32At(bytes, 10), 14u + 40u + 1024u);
  const TBmpPicture picture = DecodeBmp(bytes);
  ASSERT_EQ(picture.bitsPerPixel, 8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(picture.image.pixel(x, y), qRgb(51 * x, 51 * y, 0)) << x << "," << y;
}

TEST(ColorReduceBmpStream, OwnFormatSavesItselfAndOtherTargetsAreRefused) {
  TBitmapGraphic bitmap(Filled(2, 2, [](int x, int) { return qRgb(x * 200, 10, 20); }));
  ASSERT_EQ(GetBitmapPixelFormat(bitmap), TPixelFormat::pf24bit);
  TMemoryStream own;
  bitmap.SaveToStream(own);
  EXPECT_EQ(BitmapToBMPStream(bitmap, TPixelFormat::pf24bit, rmHistogram)->Data(), own.Data());
  EXPECT_EQ(DecodeBmp(BitmapToBMPStream(bitmap, TPixelFormat::pf1bit, rmHistogram)->Data()).bitsPerPixel, 1);
  EXPECT_THROW(BitmapToBMPStream(bitmap, TPixelFormat::pf16bit, rmHistogram), EInvalidGraphicOperation);
  EXPECT_THROW(BitmapToBMPStream(TBitmapGraphic(), TPixelFormat::pf8bit, rmHistogram), EInvalidGraphic);
  EXPECT_THROW(ReduceColors(bitmap.Image(), 6), EInvalidGraphicOperation);
}

TEST(ColorReduceDefault, OnlyKnownMethodsBecomeTheDefault) {
  EXPECT_EQ(DefaultColorReduction(), rmHistogram);
  EXPECT_FALSE(SetDefaultColorReduction(9));
  EXPECT_TRUE(SetDefaultColorReduction(rmGrayscale));
  EXPECT_EQ(DefaultColorReduction(), rmGrayscale);
  SetDefaultColorReduction(rmHistogram);
}

// ------------------------------------------------------------ support routines

TEST(WidgetSupportMemory, MemoryEqualComparesExactlyNBytes) {
  const uint8_t a[] = {1, 2, 3, 4, 5, 6};
  const uint8_t b[] = {1, 2, 3, 4, 5, 9};
  EXPECT_TRUE(MemoryEqual(a, b, 0));
  EXPECT_TRUE(MemoryEqual(a, b, 5));
  EXPECT_FALSE(MemoryEqual(a, b, 6));
  void* block = AllocGlobalZeroed(16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(block)[15], 0);
  CopyMemory(block, a, 6);
  EXPECT_TRUE(MemoryEqual(block, a, 6));
  EXPECT_EQ(OffsetPointer(block, 4), static_cast<uint8_t*>(block) + 4);
  FreeGlobalAndNil(block);
  EXPECT_EQ(block, nullptr);
  FreeGlobalAndNil(block);
  EXPECT_EQ(AllocGlobalZeroed(0), nullptr);
}

TEST(WidgetSupportColours, PaletteColourResolvesAndFlags) {
  EXPECT_EQ(PaletteColor(0x00123456), 0x02123456u);
  EXPECT_EQ(PaletteColor(0xFF000005) & 0xFF000000u, 0x02000000u);  // a system colour resolved first
}

TEST(WidgetSupportDrawing, MaskedStretchKeepsTheDestinationUnderTheTransparentColour) {
  QImage target(4, 2, QImage::Format_RGB32);
  target.fill(qRgb(9, 9, 9));
  TCanvas canvas(&target);
  QImage source(2, 1, QImage::Format_RGB32);
  source.setPixel(0, 0, qRgb(255, 0, 0));
  source.setPixel(1, 0, qRgb(0, 0, 255));
  StretchBltTransparent(canvas, 0, 0, 4, 2, source, 0, 0, 2, 1, clRed);
  EXPECT_EQ(target.pixel(1, 1), qRgb(9, 9, 9));
  EXPECT_EQ(target.pixel(2, 0), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(3, 1), qRgb(0, 0, 255));
}

TEST(WidgetSupportDrawing, PartTransparentTakesTheSourceRectangle) {
  TBitmap bitmap(4, 1);
  for (int x = 0; x < 4; ++x) bitmap.SetPixel(x, 0, x == 2 ? clRed : MakeColor(static_cast<uint8_t>(x), 0, 0));
  QImage target(2, 1, QImage::Format_RGB32);
  target.fill(qRgb(0, 200, 0));
  TCanvas canvas(&target);
  StretchBitmapPartTransparent(canvas, 0, 0, 2, 1, {2, 0, 4, 1}, bitmap, clRed);
  EXPECT_EQ(target.pixel(0, 0), qRgb(0, 200, 0));
  EXPECT_EQ(target.pixel(1, 0), qRgb(3, 0, 0));
}

TEST(WidgetSupportDrawing, AMonochromeImageLeavesOutWhiteWhateverColourIsAsked) {
  QImage mono(2, 1, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mono.setPixel(0, 0, 1);  // white
  mono.setPixel(1, 0, 0);  // black
  for (TColor asked : {clRed, clBlack, clDefault}) {
    QImage target(2, 1, QImage::Format_RGB32);
    target.fill(qRgb(0, 0, 200));
    TCanvas canvas(&target);
    StretchImageTransparent(canvas, mono, asked, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 200)) << asked;
    EXPECT_EQ(target.pixel(1, 0), qRgb(0, 0, 0)) << asked;
  }
  QImage target(2, 1, QImage::Format_RGB32);
  TCanvas canvas(&target);
  StretchImageTransparent(canvas, mono, clNone, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(WidgetSupportDrawing, WithAPaletteTheNearestPaletteColourIsTransparent) {
  QImage indexed(2, 1, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(200, 0, 0), qRgb(0, 0, 200)});
  indexed.setPixel(0, 0, 0);
  indexed.setPixel(1, 0, 1);
  QImage target(2, 1, QImage::Format_RGB32);
  target.fill(qRgb(0, 99, 0));
  TCanvas canvas(&target);
  StretchImageTransparent(canvas, indexed, MakeColor(250, 10, 10), 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(target.pixel(0, 0), qRgb(0, 99, 0));
  EXPECT_EQ(target.pixel(1, 0), qRgb(0, 0, 200));
  StretchBltTransparent(canvas, 0, 0, 2, 1, indexed, 0, 0, 2, 1, MakeColor(250, 10, 10));
  EXPECT_EQ(target.pixel(0, 0), qRgb(200, 0, 0)) << "without a palette only the exact colour is left out";
}

TEST(WidgetSupportClipboard, AnIconOnTheClipboardIsPastedIntoAPictureAndADamagedOneRefused) {
  RegisterIconClipboardFormat();
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(qRgba(10, 120, 230, 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(icon.save(&buffer, "ICO"));
  QMimeData data;
  data.setData("application/x-unknown", "x");
  data.setData(kIconClipboardFormat, bytes);
  TPicture picture;
  ASSERT_TRUE(PasteIntoPicture(data, picture));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TIcon");
  EXPECT_EQ(picture.Graphic()->ToImage().pixel(3, 3), qRgba(10, 120, 230, 255));

  QMimeData damaged;
  damaged.setData(kIconClipboardFormat, bytes.left(10));
  EXPECT_THROW(PasteIntoPicture(damaged, picture), EInvalidGraphic);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TIcon") << "the picture keeps what it had";
  QMimeData none;
  none.setData("application/x-unknown", "x");
  EXPECT_FALSE(PasteIntoPicture(none, picture));
}

TEST(WidgetSupportMessages, NotImplementedTellsTheUserAndAbortsSilently) {
  TFakeServices fake;
  EXPECT_THROW(NotImplemented(), EAbort);
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text, "Function not yet implemented");
  EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Information);
  EXPECT_EQ(WidgetCursorShape(crHandPoint), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace qira

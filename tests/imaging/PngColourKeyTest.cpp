// Transparency by colour key (tRNS of grey and RGB pictures), pixel by pixel
// against libpng's reading of the same hand-made files.
#include <gtest/gtest.h>
#include <png.h>

#include <QImage>

#include <algorithm>
#include <string>
#include <vector>

#include "PngFixtures.h"
#include "platform/Canvas.h"

namespace qira {
namespace {

// libpng's alpha of each pixel (0 see-through, 255 opaque), rows from the top.
std::vector<uint8_t> LibpngAlpha(const std::string& bytes, uint32_t& width, uint32_t& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
  width = image.width;
  height = image.height;
  std::vector<uint8_t> alpha;
  for (size_t i = 3; i < rgba.size(); i += 4) alpha.push_back(rgba[i]);
  return alpha;
}

// Our alpha of each pixel, rows from the top.
std::vector<uint8_t> AlphaOf(const QImage& image) {
  std::vector<uint8_t> alpha;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) alpha.push_back(static_cast<uint8_t>(qAlpha(image.pixel(x, y))));
  return alpha;
}

class PngColourKey : public ::testing::TestWithParam<const char*> {};

TEST_P(PngColourKey, SeeThroughPixelsAreTheOnesLibpngKeys) {
  const std::string name = GetParam();
  uint32_t width = 0, height = 0;
  const std::vector<uint8_t> expected = LibpngAlpha(PngFiles().Bytes(name), width, height);
  ASSERT_FALSE(expected.empty()) << "libpng could not read " << name;

  TPNGObject png;
  LoadPngFixture(png, name);
  ASSERT_EQ(png.GetTransparencyMode(), ptmBit);
  const QImage image = png.ToImage();
  ASSERT_EQ(static_cast<uint32_t>(image.width()), width);
  ASSERT_EQ(static_cast<uint32_t>(image.height()), height);
  int seeThrough = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const int ours = qAlpha(image.pixel(static_cast<int>(x), static_cast<int>(y)));
      EXPECT_EQ(ours, expected[y * width + x]) << name << " at " << x << ", " << y;
      seeThrough += ours == 0;
    }
  }
  // Every fixture has see-through pixels and opaque ones.
  EXPECT_GT(seeThrough, 0) << name;
  EXPECT_LT(seeThrough, static_cast<int>(width * height)) << name;
}

// Saved and read by libpng, the picture keys the pixels the original keyed: the
// key goes out at the depth the samples are written with, and every sample is
// written as it was read.
TEST_P(PngColourKey, SavedPictureKeysTheSamePixelsForLibpng) {
  const std::string name = GetParam();
  TPNGObject png;
  LoadPngFixture(png, name);
  const std::vector<uint8_t> saved = SavedBytes(png);
  uint32_t width = 0, height = 0, savedWidth = 0, savedHeight = 0;
  const std::vector<uint8_t> original = LibpngAlpha(PngFiles().Bytes(name), width, height);
  ASSERT_FALSE(original.empty()) << name;
  EXPECT_EQ(LibpngAlpha(std::string(saved.begin(), saved.end()), savedWidth, savedHeight), original) << name;
  EXPECT_EQ(savedWidth, width);
  EXPECT_EQ(savedHeight, height);

  // And by our own reader: the same see-through pixels.
  TMemoryStream stream(saved);
  TPNGObject reloaded;
  reloaded.LoadFromStream(stream);
  const QImage before = png.ToImage();
  const QImage after = reloaded.ToImage();
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x)
      EXPECT_EQ(qAlpha(after.pixel(x, y)), qAlpha(before.pixel(x, y))) << name << " at " << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(Files, PngColourKey,
                         ::testing::Values("key_rgb8_gamma1.png", "key_grey2.png", "key_grey2_adam7.png",
                                           "key_grey4.png", "key_grey16.png", "key_rgb16.png",
                                           "key_grey8_gamma.png", "key_rgb8_adam7.png", "key_rgb16_gamma.png"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           n = n.substr(0, n.find('.'));
                           std::erase(n, '_');
                           return n;
                         });

// Drawing leaves the canvas under the keyed pixels only: the near-white 254
// pixel that the gamma table turns into the key's 255 stays opaque.
TEST(PngColourKeyDraw, DrawLeavesTheCanvasOnlyWhereTheRawSamplesMatch) {
  TPNGObject png;
  LoadPngFixture(png, "key_rgb8_gamma1.png");
  QImage target(4, 2, QImage::Format_RGB32);
  target.fill(qRgb(10, 20, 30));
  TCanvas canvas(&target);
  png.Draw(canvas, {0, 0, 4, 2});
  const QImage shown = png.ToImage();
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const QRgb pixel = shown.pixel(x, y);
      const QRgb want = qAlpha(pixel) == 0 ? qRgb(10, 20, 30) : (pixel | 0xFF000000u);
      EXPECT_EQ(target.pixel(x, y), want) << x << ", " << y;
    }
  }
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 255);  // raw 254, 254, 254
  EXPECT_EQ(qAlpha(shown.pixel(1, 0)), 0);    // raw 255, 255, 255
}

// The key's colour is the colour its samples show, also where two-bit samples are
// held among sixteen grey levels.
TEST(PngColourKeyDraw, KeyColourIsTheColourOfTheKeyedPixels) {
  for (const char* name : {"key_grey2.png", "key_grey2_adam7.png", "key_grey4.png", "key_rgb8_adam7.png",
                           "key_grey16.png", "key_rgb16.png", "key_rgb16_gamma.png"}) {
    TPNGObject png;
    LoadPngFixture(png, name);
    const QImage shown = png.ToImage();
    int keyed = 0;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb pixel = shown.pixel(x, y);
        if (qAlpha(pixel) != 0) continue;
        ++keyed;
        EXPECT_EQ(png.GetTransparentColor(), MakeColor(qRed(pixel), qGreen(pixel), qBlue(pixel))) << name;
      }
    }
    EXPECT_GT(keyed, 0) << name;
  }
}

// A key set in memory replaces the file's: the pixels of that colour turn see-through.
TEST(PngColourKeyDraw, NewKeyColourReplacesTheKeyReadFromTheFile) {
  TPNGObject png;
  LoadPngFixture(png, "key_rgb16.png");
  const TColor fourth = png.GetPixel(0, 1);  // raw 0x2000, 0x4000, 0x6000
  png.SetTransparentColor(fourth);
  const QImage shown = png.ToImage();
  EXPECT_EQ(qAlpha(shown.pixel(0, 1)), 0);
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 255);
}

// A key set in memory, at every depth, keys after a save the pixels the picture
// showed see-through, for libpng and for our reader: the key goes out as the raw
// samples those pixels are written with.
TEST(PngColourKeyDraw, KeySetInMemoryKeysTheSamePixelsOnceSaved) {
  for (const char* name : {"key_grey2.png", "key_grey4.png", "key_grey8_gamma.png", "key_grey16.png",
                           "key_rgb8_adam7.png", "key_rgb16.png", "key_rgb16_gamma.png"}) {
    SCOPED_TRACE(name);
    TPNGObject png;
    LoadPngFixture(png, name);
    // The colour of the last opaque pixel becomes the key.
    const QImage loaded = png.ToImage();
    QRgb chosen = 0;
    for (int y = 0; y < loaded.height(); ++y)
      for (int x = 0; x < loaded.width(); ++x)
        if (qAlpha(loaded.pixel(x, y)) != 0) chosen = loaded.pixel(x, y);
    png.SetTransparentColor(MakeColor(qRed(chosen), qGreen(chosen), qBlue(chosen)));
    ASSERT_EQ(png.GetTransparencyMode(), ptmBit);
    EXPECT_EQ(png.GetTransparentColor(), MakeColor(qRed(chosen), qGreen(chosen), qBlue(chosen)));
    const std::vector<uint8_t> alpha = AlphaOf(png.ToImage());
    ASSERT_NE(std::count(alpha.begin(), alpha.end(), 0), 0);

    const std::vector<uint8_t> saved = SavedBytes(png);
    uint32_t width = 0, height = 0;
    EXPECT_EQ(LibpngAlpha(std::string(saved.begin(), saved.end()), width, height), alpha);
    TMemoryStream stream(saved);
    TPNGObject reloaded;
    reloaded.LoadFromStream(stream);
    EXPECT_EQ(AlphaOf(reloaded.ToImage()), alpha);
  }
}

}  // namespace
}  // namespace qira

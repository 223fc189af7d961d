// The 32-bit bitmap: sizes, row and channel order of its conversions, alpha
// derivations, colour tables, the normal map and the upload decisions.
#include "scene/materials/Bitmap32.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/AvailableMemory.h"
#include "platform/Picture.h"
#include "scene/gl/OpenGLBinding.h"
#include "support/HeadlessGL.h"
#include "support/HeapPeak.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

// The block's pixel (x, y), y = 0 the bottom row, as r, g, b, a.
struct TPixel {
  int r, g, b, a;
  bool operator==(const TPixel&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TPixel& p) {
  return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

TPixel At(TGLBitmap32& bitmap, int x, int y) {
  const uint8_t* p = bitmap.ScanLine(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

void Put(TGLBitmap32& bitmap, int x, int y, TPixel c) {
  uint8_t* p = bitmap.ScanLine(y) + 4 * x;
  p[0] = static_cast<uint8_t>(c.r);
  p[1] = static_cast<uint8_t>(c.g);
  p[2] = static_cast<uint8_t>(c.b);
  p[3] = static_cast<uint8_t>(c.a);
}

// A picture whose pixel (x, y), y = 0 the top row, is (10x + 1, 20y + 2, 3, 40 + x + y).
QImage Picture(int width, int height, QImage::Format format) {
  QImage image(width, height, format);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgba(10 * x + 1, 20 * y + 2, 3, 40 + x + y));
  }
  return image;
}

// ---- sizes -----------------------------------------------------------------------

TEST(Bitmap32Size, RoundsWidthsUpToAMultipleOfFourWithoutA16BitMask) {
  const struct {
    int32_t asked, stored;
  } cases[] = {{5, 8}, {8, 8}, {1, 4}, {0, 0}, {-3, 0}, {65535, 65536}, {65537, 65540}, {70001, 70004}};
  for (const auto& c : cases) {
    TGLBitmap32 bitmap;
    bitmap.SetWidth(c.asked);
    EXPECT_EQ(bitmap.Width(), c.stored) << c.asked;
  }
}

TEST(Bitmap32Size, SizesBeyondTheDataSizeAreRefusedBeforeAllocating) {
  TGLBitmap32 bitmap;
  bitmap.SetHeight(1000);
  bitmap.SetWidth(1000);
  EXPECT_THROW(bitmap.SetWidth(1000000), EBitmapTooLarge);
  EXPECT_THROW(bitmap.SetHeight(1000000), EBitmapTooLarge);
  EXPECT_THROW(bitmap.SetWidth(0x7FFFFFFF), EBitmapTooLarge);
  EXPECT_EQ(bitmap.Width(), 1000);
  EXPECT_EQ(bitmap.Height(), 1000);
  EXPECT_EQ(bitmap.DataSize(), 4000000);
  EXPECT_NE(bitmap.ScanLine(999), nullptr);
}

TEST(Bitmap32Size, ABlankImageHasSizesButNoBlockAndItsPixelOperationsDoNothing) {
  TGLBitmap32 bitmap;
  bitmap.SetBlank(true);
  bitmap.SetWidth(6);
  bitmap.SetHeight(3);
  EXPECT_FALSE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.DataSize(), 8 * 3 * 4);
  EXPECT_EQ(bitmap.Data(), nullptr);
  EXPECT_EQ(bitmap.ScanLine(0), nullptr);
  bitmap.SetAlphaFromIntensity();
  bitmap.SetAlphaFromSqrtIntensity();
  bitmap.SetAlphaForColorKey(0);
  bitmap.FillAlpha(3);
  bitmap.InvertAlpha();
  bitmap.BrightnessCorrection(2);
  bitmap.GammaCorrection(2);
  bitmap.GrayScaleToNormalMap(1, true, true);
  EXPECT_EQ(bitmap.Data(), nullptr);
  EXPECT_TRUE(bitmap.Create32BitsBitmap().isNull());
}

TEST(Bitmap32Size, ResizingWhileBlankDropsABlockOfTheOldSize) {
  TGLBitmap32 bitmap;
  bitmap.SetWidth(4);
  bitmap.SetHeight(2);
  ASSERT_NE(bitmap.Data(), nullptr);
  bitmap.SetBlank(true);
  bitmap.SetHeight(200);
  EXPECT_EQ(bitmap.Data(), nullptr);
  bitmap.FillAlpha(1);  // would run past a block of the old size
  EXPECT_EQ(bitmap.DataSize(), 4 * 200 * 4);
}

// ---- conversions -----------------------------------------------------------------

TEST(Bitmap32Conversion, PutsThePicturesTopRowInTheLastBlockRowAsRedGreenBlueAlpha) {
  TGLBitmap32 bitmap;
  bitmap.Assign(Picture(4, 3, QImage::Format_ARGB32));
  ASSERT_EQ(bitmap.Width(), 4);
  ASSERT_EQ(bitmap.Height(), 3);
  EXPECT_FALSE(bitmap.Blank());
  // Picture row 0 (top) -> block row 2; picture row 2 -> block row 0.
  EXPECT_EQ(At(bitmap, 1, 2), (TPixel{11, 2, 3, 41}));
  EXPECT_EQ(At(bitmap, 3, 0), (TPixel{31, 42, 3, 45}));
}

TEST(Bitmap32Conversion, TwentyFourBitPicturesAreOpaqueAndThirtyTwoBitOnesKeepTheirAlpha) {
  TGLBitmap32 bitmap;
  bitmap.Assign(Picture(4, 2, QImage::Format_RGB888));
  EXPECT_EQ(At(bitmap, 2, 1), (TPixel{21, 2, 3, 255}));
  TBitmapGraphic withAlpha(Picture(4, 2, QImage::Format_ARGB32));
  bitmap.Assign(&withAlpha);
  EXPECT_EQ(At(bitmap, 2, 1), (TPixel{21, 2, 3, 42}));
  // Premultiplied pictures give their alpha and straight colours.
  QImage premultiplied(4, 1, QImage::Format_ARGB32_Premultiplied);
  premultiplied.fill(QColor(100, 50, 0, 128));
  bitmap.Assign(premultiplied);
  const TPixel p = At(bitmap, 0, 0);
  EXPECT_NEAR(p.r, 100, 1);
  EXPECT_NEAR(p.g, 50, 1);
  EXPECT_EQ(p.a, 128);
}

TEST(Bitmap32Conversion, AWidthThatIsNoMultipleOfFourIsStretchedToTheNextOne) {
  TGLBitmap32 bitmap;
  bitmap.Assign(Picture(6, 2, QImage::Format_RGB888));
  ASSERT_EQ(bitmap.Width(), 8);
  ASSERT_EQ(bitmap.Height(), 2);
  // Column x of 8 shows column x * 6 / 8 of the picture.
  const int sourceColumn[8] = {0, 0, 1, 2, 3, 3, 4, 5};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(At(bitmap, x, 1).r, 10 * sourceColumn[x] + 1) << x;
    EXPECT_EQ(At(bitmap, x, 1).a, 255) << x;
  }
}

// A picture kind that is not the platform's bitmap (as PNG pictures are).
class TOtherGraphic final : public TGraphic {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass cls("TOtherGraphic", []() -> std::unique_ptr<TGraphic> {
      return std::make_unique<TOtherGraphic>();
    });
    return cls;
  }
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }
  bool GetEmpty() const override { return image_.isNull(); }
  int32_t Width() const override { return image_.width(); }
  int32_t Height() const override { return image_.height(); }
  void LoadFromStream(TBinaryStream&) override {}
  void SaveToStream(TBinaryStream&) const override {}
  QImage ToImage() const override { return image_; }
  void AssignImage(const QImage& image) override { image_ = image; }
  // Rows that cannot be had though the count let the picture through.
  void ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const override {
    if (stripsFail) throw std::bad_alloc();
    TGraphic::ForEachImageStrip(rowsPerStrip, visit);
  }
  bool stripsFail = false;

 private:
  QImage image_;
};

TEST(Bitmap32Conversion, DrawnBitmapsKeepTheirColoursAndDropTheirAlpha) {
  // A 32-bit bitmap of width 6 takes the drawn road; drawing a bitmap copies
  // its colour bytes, so one whose alpha byte is 0 (as in many 32-bit
  // bitmaps) keeps its colours instead of turning white.
  QImage image(6, 1, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 0));
  image.setPixel(5, 0, qRgba(200, 100, 0, 255));
  TGLBitmap32 bitmap;
  bitmap.Assign(image);
  ASSERT_EQ(bitmap.Width(), 8);
  EXPECT_EQ(At(bitmap, 0, 0), (TPixel{10, 20, 30, 255}));
  EXPECT_EQ(At(bitmap, 7, 0), (TPixel{200, 100, 0, 255}));

  TBitmapGraphic graphic(image, 32);
  bitmap.Assign(&graphic);
  EXPECT_EQ(At(bitmap, 0, 0), (TPixel{10, 20, 30, 255}));
  EXPECT_EQ(At(bitmap, 7, 0), (TPixel{200, 100, 0, 255}));
}

TEST(Bitmap32Conversion, OtherPicturesAreDrawnOverWhiteAsTwentyFourBits) {
  // A picture that is not a bitmap is blended over the white of the new
  // bitmap: its alpha is lost, its transparent pixels show the white.
  QImage image(6, 1, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 0));
  image.setPixel(5, 0, qRgba(200, 100, 0, 255));
  TOtherGraphic other;
  other.AssignImage(image);
  TGLBitmap32 bitmap;
  bitmap.Assign(&other);
  ASSERT_EQ(bitmap.Width(), 8);
  EXPECT_EQ(At(bitmap, 0, 0), (TPixel{255, 255, 255, 255}));
  EXPECT_EQ(At(bitmap, 7, 0), (TPixel{200, 100, 0, 255}));

  // An 8-bit palette bitmap of width 4 is drawn too.
  QImage indexed(4, 2, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 251, 252)});
  indexed.fill(0);
  indexed.setPixel(3, 0, 1);
  TBitmapGraphic palette(indexed);
  ASSERT_EQ(palette.BitsPerPixel(), 8);
  TPicture picture;
  picture.Assign(&palette);
  bitmap.Assign(&picture);
  EXPECT_EQ(bitmap.Width(), 4);
  EXPECT_EQ(At(bitmap, 3, 1), (TPixel{250, 251, 252, 255}));
  EXPECT_EQ(At(bitmap, 3, 0), (TPixel{1, 2, 3, 255}));
}

TEST(Bitmap32Conversion, Create32BitsBitmapGivesThePictureBack) {
  const QImage source = Picture(8, 5, QImage::Format_ARGB32);
  TGLBitmap32 bitmap;
  bitmap.Assign(source);
  const QImage back = bitmap.Create32BitsBitmap();
  ASSERT_EQ(back.format(), QImage::Format_ARGB32);
  EXPECT_EQ(back, source);
  // Row y of the picture comes from block row height-1-y, whatever the flag said.
  bitmap.SetVerticalOrder(true);
  bitmap.Assign(source);
  EXPECT_EQ(bitmap.Create32BitsBitmap(), source.mirrored(false, true));
}

TEST(Bitmap32Conversion, AssignOfABlankBitmapOrNullEmptiesAndOtherClassesRaise) {
  TGLBitmap32 copy;
  copy.Assign(Picture(4, 2, QImage::Format_ARGB32));
  TGLBitmap32 blank;
  blank.SetBlank(true);
  blank.SetWidth(16);
  blank.SetHeight(16);
  copy.Assign(&blank);
  EXPECT_TRUE(copy.Blank());
  EXPECT_EQ(copy.DataSize(), 16 * 16 * 4);
  EXPECT_EQ(copy.Data(), nullptr);

  copy.Assign(static_cast<const TPersistent*>(nullptr));
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.DataSize(), 0);
  TPersistent unrelated;
  EXPECT_THROW(copy.Assign(&unrelated), EConvertError);
}

// ---- memory ----------------------------------------------------------------------

struct TResetProbe {
  ~TResetProbe() { SetAvailableMemoryProbe({}); }
};

TEST(Bitmap32Memory, ABlockTheMemoryCannotHoldIsRefusedWithThePicturesSizeAndKindAndNothingChanges) {
  RegisterBitmapFileFormat();
  TResetProbe reset;
  TGLBitmap32 bitmap;
  bitmap.Assign(Picture(4, 2, QImage::Format_ARGB32));
  const QImage picture = Picture(100, 50, QImage::Format_RGB32);
  TOtherGraphic other;
  other.AssignImage(picture);
  TOtherGraphic failing;
  failing.AssignImage(picture);
  failing.stripsFail = true;
  const TBitmapGraphic bitmapGraphic(picture);
  const struct {
    const char* kind;
    std::function<void()> assign;
    int64_t room = 1000;
    const char* clause = "more than the 0 MB available now.";
  } cases[] = {
      {"Bitmaps", [&] { bitmap.Assign(&bitmapGraphic); }},
      {"Bitmaps", [&] { bitmap.Assign(picture); }},
      {"Bitmaps", [&] { bitmap.AssignFrom24BitsBitmap(picture); }},
      // A kind no file format names is told by its class.
      {"TOtherGraphic", [&] { bitmap.Assign(&other); }},
      // Sizes set one after the other.
      {"Bitmaps", [] {
         TGLBitmap32 sized;
         sized.SetWidth(100);
         sized.SetHeight(50);
       }},
      // Counted and let through, then not had: never told as fitting what can be used.
      {"TOtherGraphic", [&] { bitmap.Assign(&failing); }, int64_t{8} << 20,
       "which could not be had with the 8 MB available now."},
  };
  for (const auto& c : cases) {
    SetAvailableMemoryProbe([room = c.room] { return room; });
    EXPECT_EQ(ThrownMessage<EBitmapTooLarge>(c.assign),
              "This \"" + std::string(c.kind) +
                  "\" image of 100 x 50 pixels is too large: it needs 1 MB of memory, " + c.clause);
    EXPECT_EQ(bitmap.Width(), 4);
    EXPECT_EQ(At(bitmap, 0, 1), (TPixel{1, 2, 3, 40}));
  }
}

#ifdef QIRA_HEAP_HOOKS
// Beside the picture, a conversion holds its block and a strip of the picture's rows,
// never a whole copy of the picture.
TEST(Bitmap32Memory, AConversionHoldsItsBlockAndNoWholeCopyOfThePicture) {
  constexpr int kSide = 1000;
  constexpr int64_t kBlock = int64_t{kSide} * kSide * 4;
  QImage indexed(kSide, kSide, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 251, 252)});
  indexed.fill(1);
  const TBitmapGraphic palette(indexed);
  TOtherGraphic other;
  other.AssignImage(Picture(kSide, kSide, QImage::Format_ARGB32));
  const QImage rgb888 = Picture(kSide - 2, kSide, QImage::Format_RGB888);  // drawn four pixels wider
  const struct {
    const char* road;
    std::function<void(TGLBitmap32&)> assign;
  } cases[] = {
      {"a palette bitmap", [&](TGLBitmap32& b) { b.Assign(&palette); }},
      {"another kind", [&](TGLBitmap32& b) { b.Assign(&other); }},
      {"a 24-bit image of an odd width", [&](TGLBitmap32& b) { b.Assign(rgb888); }},
  };
  for (const auto& c : cases) {
    TGLBitmap32 bitmap;
    test::THeapPeak::Start();
    c.assign(bitmap);
    const int64_t peak = test::THeapPeak::Stop();
    EXPECT_EQ(bitmap.Height(), kSide) << c.road;
    EXPECT_LE(peak, kBlock + 256 * 1024) << c.road;
  }
}
#endif

// ---- alpha and colour ------------------------------------------------------------

class Bitmap32Pixels : public ::testing::Test {
 protected:
  void SetUp() override {
    bitmap.SetWidth(4);
    bitmap.SetHeight(1);
    Put(bitmap, 0, 0, {10, 20, 31, 7});
    Put(bitmap, 1, 0, {64, 64, 64, 0});
    Put(bitmap, 2, 0, {255, 0, 128, 200});
    Put(bitmap, 3, 0, {100, 200, 0, 255});
  }
  TGLBitmap32 bitmap;
};

TEST_F(Bitmap32Pixels, AlphaFromSqrtIntensityUsesTheSquareRootTable) {
  bitmap.SetAlphaFromSqrtIntensity();
  EXPECT_EQ(At(bitmap, 1, 0).a, 128);  // round(sqrt(64 / 255) * 255) = round(127.75)
  EXPECT_EQ(At(bitmap, 0, 0).a, 71);   // round(sqrt(20 / 255) * 255) = round(71.41)
}

TEST_F(Bitmap32Pixels, AColourKeyMakesExactlyTheMatchingPixelsTransparent) {
  bitmap.SetAlphaForColorKey(0x008000FF);  // red 255, green 0, blue 128
  EXPECT_EQ(At(bitmap, 2, 0).a, 0);
  EXPECT_EQ(At(bitmap, 0, 0).a, 255);
  EXPECT_EQ(At(bitmap, 1, 0).a, 255);
  // A system-colour value is compared by its low bytes, not resolved.
  bitmap.SetAlphaForColorKey(0xFF40'4040u);
  EXPECT_EQ(At(bitmap, 1, 0).a, 0);
  bitmap.SetAlphaForColorKeyPixel(100, 200, 0);
  EXPECT_EQ(At(bitmap, 3, 0).a, 0);
  EXPECT_EQ(At(bitmap, 1, 0).a, 255);
}

TEST_F(Bitmap32Pixels, BrightnessScalesColoursClampedToAByteAndLeavesAlpha) {
  bitmap.BrightnessCorrection(1.5f);
  EXPECT_EQ(At(bitmap, 0, 0), (TPixel{15, 30, 46, 7}));  // 46.5 rounds to the even 46
  EXPECT_EQ(At(bitmap, 3, 0), (TPixel{150, 255, 0, 255}));
  // A negative factor darkens to black instead of wrapping into bright bytes.
  bitmap.BrightnessCorrection(-1.0f);
  EXPECT_EQ(At(bitmap, 3, 0), (TPixel{0, 0, 0, 255}));
}

TEST_F(Bitmap32Pixels, GammaOneKeepsColoursAndSmallGammasUseExponentTen) {
  const TPixel before[4] = {At(bitmap, 0, 0), At(bitmap, 1, 0), At(bitmap, 2, 0), At(bitmap, 3, 0)};
  bitmap.GammaCorrection(1.0f);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(bitmap, x, 0), before[x]) << x;

  bitmap.GammaCorrection(2.0f);
  EXPECT_EQ(At(bitmap, 1, 0).r, 128);  // (64 / 255)^0.5 * 255 = 127.75

  for (float gamma : {0.05f, 0.1f}) {
    TGLBitmap32 one;
    one.SetWidth(4);
    one.SetHeight(1);
    Put(one, 0, 0, {200, 255, 0, 9});
    one.GammaCorrection(gamma);
    EXPECT_EQ(At(one, 0, 0), (TPixel{22, 255, 0, 9})) << gamma;  // (200 / 255)^10 * 255 = 22.46
  }
  TGLBitmap32 fifth;
  fifth.SetWidth(4);
  fifth.SetHeight(1);
  Put(fifth, 0, 0, {200, 0, 0, 0});
  fifth.GammaCorrection(0.2f);
  EXPECT_EQ(At(fifth, 0, 0).r, 76);  // (200 / 255)^5 * 255 = 75.68
}

// ---- normal map ------------------------------------------------------------------

TEST(Bitmap32NormalMap, ClampedEdgesUseOneSidedDifferencesAndWrappedOnesTheFarNeighbour) {
  for (bool wrap : {false, true}) {
    TGLBitmap32 bitmap;
    bitmap.SetWidth(4);
    bitmap.SetHeight(1);
    const int heights[4] = {0, 50, 100, 150};
    for (int x = 0; x < 4; ++x) Put(bitmap, x, 0, {9, heights[x], 9, 9});
    bitmap.GrayScaleToNormalMap(0.01f, wrap, false);
    // x = 1: dx = 0 - 100, nx = -1, k = 127 / sqrt(2) = 89.80.
    EXPECT_EQ(At(bitmap, 1, 0), (TPixel{38, 128, 218, 255}));
    // Clamped x = 0: dx = g(0) - g(1) = -50, nx = -0.5, k = 127 / sqrt(1.25) = 113.59.
    // Wrapped x = 0: dx = g(3) - g(1) = 100, nx = 1.
    EXPECT_EQ(At(bitmap, 0, 0), wrap ? (TPixel{218, 128, 218, 255}) : (TPixel{71, 128, 242, 255}));
  }
}

TEST(Bitmap32NormalMap, WrappingRowsOfANonPowerOfTwoHeightStaysInsideTheImage) {
  TGLBitmap32 bitmap;
  bitmap.SetWidth(12);
  bitmap.SetHeight(7);
  bitmap.FillAlpha(0);
  bitmap.GrayScaleToNormalMap(3.0f, true, true);
  EXPECT_EQ(At(bitmap, 11, 6).a, 255);
}

// ---- upload decisions ------------------------------------------------------------

TEST(Bitmap32Upload, ImageSizesBecomeTextureSizes) {
  const struct {
    int32_t width, height;
    TTextureUploadCaps caps;
    int32_t textureWidth, textureHeight;
  } cases[] = {
      {100, 100, {false, 4096, false}, 128, 128},
      {100, 100, {true, 4096, false}, 100, 100},
      {100, 30, {false, 64, false}, 64, 32},
      {300, 1, {true, 256, false}, 256, 1},
      {4, 4, {false, 4096, false}, 4, 4},
  };
  for (const auto& c : cases) {
    int32_t w = 0, h = 0;
    TextureSizeFor(c.width, c.height, c.caps, w, h);
    EXPECT_EQ(w, c.textureWidth) << c.width << " x " << c.height;
    EXPECT_EQ(h, c.textureHeight) << c.width << " x " << c.height;
  }
}

TEST(Bitmap32Upload, FormatsAndFiltersChooseTheRoad) {
  TGLBitmap32 bitmap;
  bitmap.SetWidth(8);
  bitmap.SetHeight(8);
  const TTextureUploadCaps caps{false, 2048, true};
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_2D, miLinear, 0x8814, caps).kind, TTextureUploadKind::ukFloatStorage);
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_2D, miNearest, GL_RGBA8, caps).kind, TTextureUploadKind::ukImage);
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_2D, miLinearMipmapLinear, GL_RGBA8, caps).kind,
            TTextureUploadKind::ukGeneratedMipmaps);
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_CUBE_MAP_POSITIVE_X, miNearestMipmapNearest, GL_RGBA8, caps).kind,
            TTextureUploadKind::ukBuiltMipmaps);
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_2D, miLinearMipmapLinear, GL_RGBA8, {false, 2048, false}).kind,
            TTextureUploadKind::ukBuiltMipmaps);
  const TTextureUploadPlan depth = bitmap.PlanUpload(GL_TEXTURE_2D, miLinear, GL_DEPTH_COMPONENT24, caps);
  EXPECT_EQ(depth.pixelFormat, static_cast<uint32_t>(GL_DEPTH_COMPONENT));
  EXPECT_TRUE(depth.pixels);
  // A depth texture of another size than the block is allocated, not filled
  // from a block it would read past.
  bitmap.SetHeight(7);
  EXPECT_FALSE(bitmap.PlanUpload(GL_TEXTURE_2D, miLinear, GL_DEPTH_COMPONENT24, caps).pixels);
  EXPECT_FALSE(bitmap.PlanUpload(GL_TEXTURE_2D, miLinear, GL_DEPTH_COMPONENT24, caps).rescale);
}

TEST(Bitmap32Upload, AnEmptyImageUploadsNothing) {
  TGLBitmap32 bitmap;
  EXPECT_EQ(bitmap.PlanUpload(GL_TEXTURE_2D, miLinear, GL_RGBA8, {false, 2048, false}).kind,
            TTextureUploadKind::ukNothing);
  int32_t w = -1, h = -1;
  bitmap.RegisterAsOpenGLTexture(GL_TEXTURE_2D, miLinear, GL_RGBA8, w, h);  // no context needed
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

// ---- upload into a headless context ---------------------------------------------

class Bitmap32UploadGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip(4, 4, 0);
    if (!gl_) return;
    savedFlags_ = GL;
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
  }
  void TearDown() override {
    if (!gl_) return;
    GL = savedFlags_;
    glDeleteTextures(1, &texture_);
    gl_.reset();
  }

  static int32_t LevelWidth(int level) {
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    return width;
  }
  static std::vector<uint8_t> Texels(int width, int height) {
    std::vector<uint8_t> texels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
  }

  std::unique_ptr<HeadlessGL> gl_;
  TGLFlags savedFlags_;
  GLuint texture_ = 0;
};

TEST_F(Bitmap32UploadGL, SendsTheBlockBottomRowFirstAtTheImageSize) {
  GL.ARB_texture_non_power_of_two = true;
  TGLBitmap32 bitmap;
  bitmap.Assign(Picture(4, 3, QImage::Format_ARGB32));
  int32_t w = 0, h = 0;
  bitmap.RegisterAsOpenGLTexture(GL_TEXTURE_2D, miNearest, GL_RGBA8, w, h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 3);
  EXPECT_NO_THROW(CheckOpenGLError());
  const std::vector<uint8_t> texels = Texels(4, 3);
  // Texel row 0 is the picture's bottom row (y = 2).
  EXPECT_EQ(texels[4 * 1 + 0], 11);
  EXPECT_EQ(texels[4 * 1 + 1], 42);
  EXPECT_EQ(texels[4 * 1 + 3], 43);
  EXPECT_EQ(texels[(2 * 4 + 3) * 4 + 1], 2);  // top row, x = 3
}

TEST_F(Bitmap32UploadGL, BlankImagesAllocateTheirTextureOnEveryRoad) {
  for (bool generate : {true, false}) {
    GL.ARB_texture_non_power_of_two = false;
    GL.SGIS_generate_mipmap = generate && savedFlags_.SGIS_generate_mipmap;
    TGLBitmap32 bitmap;
    bitmap.SetBlank(true);
    bitmap.SetWidth(100);
    bitmap.SetHeight(60);
    int32_t w = 0, h = 0;
    bitmap.RegisterAsOpenGLTexture(GL_TEXTURE_2D, miLinearMipmapLinear, GL_RGBA8, w, h);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(LevelWidth(0), 128) << generate;
    EXPECT_NO_THROW(CheckOpenGLError());
    bitmap.RegisterAsOpenGLTexture(GL_TEXTURE_2D, miNearest, GL_RGBA8, w, h);
    EXPECT_EQ(LevelWidth(0), 128);
    EXPECT_NO_THROW(CheckOpenGLError());
  }
}

}  // namespace
}  // namespace qira

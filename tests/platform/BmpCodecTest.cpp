// The BMP reader against fixtures written by an independent Python generator
// (tests/fixtures/make_bmp.py), and the BMP writer against Qt's own BMP reader.
#include "platform/BmpCodec.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

// ---- the generator's pictures, pixel (x, y) with y = 0 the top row --------------

QRgb RgbPixel(int x, int y) { return qRgb(x * 40 + 10, y * 60 + 20, (x + y) * 15 + 5); }
QRgb RgbaPixel(int x, int y) {
  const QRgb c = RgbPixel(x, y);
  return qRgba(qRed(c), qGreen(c), qBlue(c), x * 60 + y * 10 + 1);
}
QRgb Palette8(int i) { return qRgb(i, 255 - i, (i * 2) % 256); }
int Index8(int x, int y) { return (x + 3 * y) % 256; }
QRgb Palette4(int i) { return qRgb(i * 16, 255 - i * 16, i * 7); }
int Index4(int x, int y) { return (x + y) % 16; }
QRgb Palette1(int i) { return i == 0 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); }
int Index1(int x, int y) { return (x * y + x) % 2; }

class BmpFixtures : public ::testing::Test {
 protected:
  static std::vector<uint8_t> Bytes(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(TGeneratedFixtures::Of("make_bmp.py").File(name), bytes)) << name;
    return bytes;
  }
  static TBmpPicture Decode(const std::string& name) { return DecodeBmp(Bytes(name)); }
};

void ExpectPixels(const QImage& image, int width, int height, const std::function<QRgb(int, int)>& expected,
                  const std::string& name) {
  ASSERT_EQ(image.width(), width) << name;
  ASSERT_EQ(image.height(), height) << name;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(image.pixel(x, y), expected(x, y)) << name << " at " << x << ", " << y;
    }
  }
}

// ---- reading ---------------------------------------------------------------------

struct TGoodFixture {
  const char* name;
  int width;
  int height;
  int bitsPerPixel;
  QRgb (*pixel)(int, int);
};

QRgb Pal8Pixel(int x, int y) { return Palette8(Index8(x, y)); }
QRgb Pal4Pixel(int x, int y) { return Palette4(Index4(x, y)); }
QRgb Pal1Pixel(int x, int y) { return Palette1(Index1(x, y)); }
QRgb ShortTablePixel(int x, int y) { return Palette8((x + y) % 4); }

using BmpReading = BmpFixtures;

TEST_F(BmpReading, DecodesEveryDepthAndRowOrderIntoTheGeneratorsPixels) {
  const TGoodFixture fixtures[] = {
      {"rgb24_bottom_up.bmp", 5, 3, 24, RgbPixel},
      {"rgb24_top_down.bmp", 5, 3, 24, RgbPixel},
      {"rgba32.bmp", 4, 2, 32, RgbaPixel},
      {"v5_argb32.bmp", 2, 2, 32, RgbaPixel},
      {"pal8.bmp", 7, 3, 8, Pal8Pixel},
      {"pal8_short_table.bmp", 5, 2, 8, ShortTablePixel},
      {"pal4.bmp", 9, 3, 4, Pal4Pixel},
      {"pal1.bmp", 10, 3, 1, Pal1Pixel},
      {"core24.bmp", 3, 2, 24, RgbPixel},
      {"core8.bmp", 7, 3, 8, Pal8Pixel},
      {"size_field_zero.bmp", 5, 3, 24, RgbPixel},
  };
  for (const TGoodFixture& f : fixtures) {
    const TBmpPicture picture = Decode(f.name);
    EXPECT_EQ(picture.bitsPerPixel, f.bitsPerPixel) << f.name;
    ExpectPixels(picture.image, f.width, f.height, f.pixel, f.name);
  }
}

TEST_F(BmpReading, SixteenBitPicturesScaleTheirChannelsToFullBytes) {
  for (const char* name : {"rgb565.bmp", "rgb555.bmp"}) {
    const TBmpPicture picture = Decode(name);
    EXPECT_EQ(picture.bitsPerPixel, 16) << name;
    ASSERT_EQ(picture.image.size(), QSize(3, 2)) << name;
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const QRgb got = picture.image.pixel(x, y);
        const QRgb want = RgbPixel(x, y);
        EXPECT_NEAR(qRed(got), qRed(want), 8) << name;
        EXPECT_NEAR(qGreen(got), qGreen(want), 8) << name;
        EXPECT_NEAR(qBlue(got), qBlue(want), 8) << name;
        EXPECT_EQ(qAlpha(got), 255) << name;
      }
    }
  }
  // Full channels map to 255, not 248.
  const uint8_t white565[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0,
                              40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 16, 0, 3, 0, 0, 0,
                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0,
                              0xFF, 0xFF, 0, 0};
  EXPECT_EQ(DecodeBmp(white565).image.pixel(0, 0), qRgb(255, 255, 255));
}

TEST_F(BmpReading, PicturesStoredOneAfterTheOtherAreReadInTurn) {
  TMemoryStream stream(Bytes("two_in_a_row.bin"));
  const TBmpPicture first = ReadBmp(stream);
  ExpectPixels(first.image, 5, 3, RgbPixel, "first");
  const TBmpPicture second = ReadBmp(stream);
  ExpectPixels(second.image, 9, 3, Pal4Pixel, "second");
  EXPECT_EQ(stream.Remaining(), 0);
}

struct TBrokenFixture {
  const char* name;
  const char* reasonPart;
  const char* message = kInvalidBitmapText;
};

// A picture larger than the reader takes is refused as such, not as one the memory
// cannot hold.
constexpr const char* kSizeMessageStart = "This \"Bitmaps\" image of ";

TEST_F(BmpReading, BrokenFilesFailWithTheBitmapErrorAndTheReason) {
  const TBrokenFixture fixtures[] = {
      {"short_header.bmp", "shorter than its headers"},
      {"bad_signature.bmp", "signature"},
      {"info_header_cut.bmp", "information header cut short"},
      {"pixels_cut.bmp", "pixel data cut short"},
      {"offset_beyond_end.bmp", "pixel offset beyond"},
      {"offset_inside_headers.bmp", "pixel offset inside"},
      {"negative_width.bmp", "negative width"},
      {"height_int_min.bmp", "height out of range"},
      {"huge_dimensions.bmp", "above the readers' limit",
       "This \"Bitmaps\" image of 100000 x 100000 pixels is larger than the largest picture that can be read "
       "(268435456 pixels)."},
      {"large_dimensions_no_pixels.bmp", "pixel data cut short"},
      {"width_overflow.bmp", "above the readers' limit",
       "This \"Bitmaps\" image of 2147483647 x 1 pixels is larger than the largest picture that can be read "
       "(268435456 pixels)."},
      {"palette_count_too_large.bmp", "colour count 1000"},
      {"palette_count_huge.bmp", "colour count 4294967295"},
      {"bad_bits_per_pixel.bmp", "bits per pixel 7"},
      {"zero_planes.bmp", "plane count 0"},
      {"rle8.bmp", "compression 1"},
      {"header_size_huge.bmp", "information header size"},
      {"masks_cut.bmp", "masks cut short"},
      {"mask_not_contiguous.bmp", "not contiguous"},
  };
  for (const TBrokenFixture& f : fixtures) {
    try {
      Decode(f.name);
      ADD_FAILURE() << f.name << " was accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), f.message) << f.name;
      EXPECT_NE(e.Reason().find(f.reasonPart), std::string::npos) << f.name << ": " << e.Reason();
    }
  }
}

TEST_F(BmpReading, AStreamReadThatFailsLeavesThePositionWhereItWas) {
  for (const char* name : {"declared_size_beyond_end.bmp", "pixels_cut.bmp", "short_header.bmp"}) {
    TMemoryStream stream(Bytes(name));
    EXPECT_THROW(ReadBmp(stream), EInvalidGraphic) << name;
    EXPECT_EQ(stream.Position(), 0) << name;
  }
}

// The decode's outcome: what() of its EInvalidGraphic (with a reason), or "" for
// a picture that holds no more pixels than the bytes can carry, in the layout
// its depth promises.
std::string DecodeFailure(const std::vector<uint8_t>& bytes) {
  TBmpPicture picture;
  try {
    picture = DecodeBmp(bytes);
  } catch (const EInvalidGraphic& e) {
    return e.Reason().empty() ? std::string("no reason: ") + e.what() : e.what();
  }
  const int bits = picture.bitsPerPixel;
  const QImage& image = picture.image;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return "decoded a depth of " + std::to_string(bits);
  }
  if (image.isNull()) return "";
  const int64_t pixelBits = int64_t{image.width()} * image.height() * bits;
  if (pixelBits > int64_t{8} * static_cast<int64_t>(bytes.size())) {
    return "decoded " + std::to_string(image.width()) + " x " + std::to_string(image.height()) +
           " pixels from " + std::to_string(bytes.size()) + " bytes";
  }
  const bool formatFits = bits <= 8    ? image.format() == QImage::Format_Indexed8 && image.colorCount() == 1 << bits
                          : bits == 32 ? image.format() == QImage::Format_ARGB32
                                       : image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
  return formatFits ? "" : "decoded format " + std::to_string(image.format()) + " for " + std::to_string(bits) + " bits";
}

TEST_F(BmpReading, EveryTruncationAndEveryCorruptedByteFailsCleanlyOrDecodes) {
  for (const char* name : {"pal4.bmp", "rgb565.bmp", "v5_argb32.bmp", "core8.bmp"}) {
    const std::vector<uint8_t> good = Bytes(name);
    // The pixel rows run to the end of these files, so every cut loses pixels.
    for (size_t length = 0; length < good.size(); ++length) {
      const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
      EXPECT_EQ(DecodeFailure(cut), kInvalidBitmapText) << name << " cut to " << length;
    }
    const size_t headerEnd = std::min<size_t>(good.size(), 14 + 124);
    for (size_t at = 0; at < headerEnd; ++at) {
      for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
        std::vector<uint8_t> bad = good;
        bad[at] = value;
        const std::string failure = DecodeFailure(bad);
        EXPECT_TRUE(failure.empty() || failure == kInvalidBitmapText || failure.starts_with(kSizeMessageStart))
            << name << " byte " << at << ": " << failure;
      }
    }
  }
}

// ---- writing ---------------------------------------------------------------------

QImage ReadWithQt(const std::vector<uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "bmp");
  return reader.read();
}

QImage Pattern(int width, int height, QImage::Format format, bool withAlpha) {
  QImage image(width, height, format);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, qRgba((x * 37 + y * 11) % 256, (x * 5 + y * 71) % 256, (x * y * 13) % 256,
                                 withAlpha ? (x * 29 + y * 3) % 256 : 255));
    }
  }
  return image;
}

TEST(BmpWriting, TwentyFourBitFilesReadBackThroughQtWithIdenticalPixels) {
  for (int width : {1, 2, 3, 4, 5, 13}) {
    const QImage source = Pattern(width, 7, QImage::Format_RGB32, false);
    const std::vector<uint8_t> bytes = EncodeBmp(source, 24);
    const QImage back = ReadWithQt(bytes);
    ASSERT_FALSE(back.isNull()) << width;
    ExpectPixels(back.convertToFormat(QImage::Format_RGB32), width, 7,
                 [&](int x, int y) { return source.pixel(x, y); }, "width " + std::to_string(width));
    EXPECT_EQ(bytes.size(), 54u + ((width * 3 + 3) / 4 * 4) * 7u);
  }
}

TEST(BmpWriting, ThirtyTwoBitFilesKeepColourForQtAndAlphaInTheFourthByte) {
  const QImage source = Pattern(3, 2, QImage::Format_ARGB32, true);
  const std::vector<uint8_t> bytes = EncodeBmp(source, 32);
  const QImage back = ReadWithQt(bytes);
  ASSERT_EQ(back.size(), QSize(3, 2));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(back.pixel(x, y) & 0xFFFFFF, source.pixel(x, y) & 0xFFFFFF);
      // Rows are stored bottom-up, B, G, R, A, after the 54 header bytes.
      const size_t at = 54 + (1 - y) * 12 + x * 4;
      EXPECT_EQ(bytes[at + 3], qAlpha(source.pixel(x, y)));
      EXPECT_EQ(bytes[at + 2], qRed(source.pixel(x, y)));
    }
  }
  EXPECT_EQ(DecodeBmp(bytes).image.pixel(2, 1), source.pixel(2, 1));
}

TEST(BmpWriting, PaletteDepthsReadBackThroughQt) {
  QImage indexed(11, 3, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 11; ++x) indexed.setPixel(x, y, (x + y) % 2);
  }
  for (int bits : {1, 4, 8}) {
    const QImage back = ReadWithQt(EncodeBmp(indexed, bits));
    ASSERT_EQ(back.size(), QSize(11, 3)) << bits;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 11; ++x) {
        EXPECT_EQ(back.pixel(x, y), indexed.pixel(x, y)) << bits << " bits at " << x << ", " << y;
      }
    }
    EXPECT_EQ(DecodeBmp(EncodeBmp(indexed, bits)).bitsPerPixel, bits);
  }
}

TEST(BmpWriting, RefusesDepthsAndPalettesItCannotWrite) {
  const QImage rgb = Pattern(2, 2, QImage::Format_RGB32, false);
  EXPECT_THROW(EncodeBmp(rgb, 16), EInvalidGraphicOperation);
  EXPECT_THROW(EncodeBmp(rgb, 4), EInvalidGraphicOperation);
  QImage many(2, 2, QImage::Format_Indexed8);
  many.setColorCount(200);
  EXPECT_THROW(EncodeBmp(many, 4), EInvalidGraphicOperation);
}

TEST(BmpWriting, AnEmptyImageIsAHeaderOnlyPictureThatReadsBackEmpty) {
  const std::vector<uint8_t> bytes = EncodeBmp(QImage(), 24);
  EXPECT_EQ(bytes.size(), 54u);
  const TBmpPicture back = DecodeBmp(bytes);
  EXPECT_TRUE(back.image.isNull());
  EXPECT_EQ(back.bitsPerPixel, 24);
}

class TRefusingStream : public TMemoryStream {
 public:
  bool Write(const void*, int32_t) override { return false; }
};

TEST(BmpWriting, AStreamThatRefusesBytesRaisesTheWriteError) {
  TRefusingStream stream;
  try {
    WriteBmp(stream, Pattern(2, 2, QImage::Format_RGB32, false), 24);
    ADD_FAILURE() << "no error";
  } catch (const EGraphicFileError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

}  // namespace
}  // namespace qira

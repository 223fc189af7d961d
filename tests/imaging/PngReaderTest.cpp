#include <gtest/gtest.h>

#include <QBuffer>
#include <cstring>
#include <functional>
#include <QImage>

#include "imaging/PngMessages.h"
#include "imaging/PngObject.h"
#include "platform/AvailableMemory.h"
#include "platform/Canvas.h"
#include "platform/Picture.h"
#include "support/ThrownMessage.h"
#include "PngFixtures.h"

namespace qira {
namespace {

// The pixel functions of make_png.py.
QRgb Rgb(int x, int y) { return qRgb((x * 40 + y * 7) & 255, (y * 50 + x) & 255, (x * y * 13) & 255); }

void ExpectRgbPicture(const TPNGObject& png, int width, int height) {
  ASSERT_EQ(png.Width(), width);
  ASSERT_EQ(png.Height(), height);
  const QImage image = png.ToImage();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(image.pixel(x, y), Rgb(x, y)) << x << "," << y;
}

std::vector<std::string> ListNames(const TPNGObject& png) {
  std::vector<std::string> names;
  for (const auto& c : png.Chunks().Items()) names.emplace_back(ChunkNameText(c->Name()));
  return names;
}

std::vector<uint8_t> QtPngBytes(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, "PNG"));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// ------------------------------------------------------------ good files

TEST(PngReaderDecoding, RowsWithEveryFilterDecode) {
  TPNGObject png;
  LoadPngFixture(png, "rgb8.png");
  ExpectRgbPicture(png, 5, 4);
  EXPECT_EQ(ListNames(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(PngReaderDecoding, InterlacedAndSplitDataDecodeTheSame) {
  for (const char* name : {"rgb8_adam7.png", "rgb8_split.png", "trailing_idat.png"}) {
    TPNGObject png;
    LoadPngFixture(png, name);
    ExpectRgbPicture(png, png.Width(), png.Height());
    EXPECT_EQ(ListNames(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"})) << name;
  }
}

TEST(PngReaderDecoding, SixteenBitRgbShowsHighBytesAndKeepsLowBytes) {
  TPNGObject png;
  LoadPngFixture(png, "rgb16.png");
  ExpectRgbPicture(png, 3, 2);
  const TChunkIHDR& h = png.GetHeader();
  ASSERT_TRUE(h.HasExtra());
  // Low bytes are (x + y + channel) in red, green, blue order; held blue, green, red.
  EXPECT_EQ(h.ExtraScanLine(1)[3 * 2 + 2], 3);  // red of (2, 1)
  EXPECT_EQ(h.ExtraScanLine(1)[3 * 2 + 0], 5);  // blue of (2, 1)
}

TEST(PngReaderDecoding, AlphaIsKeptPerPixel) {
  TPNGObject png;
  LoadPngFixture(png, "rgba8.png");
  EXPECT_EQ(png.GetTransparencyMode(), ptmPartial);
  const QImage image = png.ToImage();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const QRgb rgb = Rgb(x, y);
      EXPECT_EQ(image.pixel(x, y), qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), (x * 60 + y * 20) & 255));
    }
}

TEST(PngReaderDecoding, TwoBitGreyShowsFourLevelsInterlacedOrNot) {
  for (const char* name : {"grey2.png", "grey2_adam7.png"}) {
    TPNGObject png;
    LoadPngFixture(png, name);
    const QImage image = png.ToImage();
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int level = ((x + y) % 4) * 85;
        ASSERT_EQ(image.pixel(x, y), qRgb(level, level, level)) << name << " " << x << "," << y;
        // Held as 4-bit samples 0, 5, 10, 15; the top sample reads as white.
        ASSERT_EQ(png.GetPixel(x, y), MakeColor(level, level, level));
      }
  }
}

TEST(PngReaderDecoding, TwoBitPaletteShowsItsFourColours) {
  TPNGObject png;
  LoadPngFixture(png, "pal2.png");
  const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};
  const QImage image = png.ToImage();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.pixel(x, y), colours[(x + y) % 4]);
}

// Palette entries 1 and 3 are both green; tRNS makes index 1 alone see-through.
TEST(PngReaderTransparency, OnlyTheIndexOfTheTransparencyChunkIsSeeThroughNotItsColourElsewhere) {
  TPNGObject png;
  LoadPngFixture(png, "pal_trns_shared_colour.png");
  ASSERT_EQ(png.GetTransparencyMode(), ptmBit);
  const std::string bytes = PngFiles().Bytes("pal_trns_shared_colour.png");
  QImage peer;  // Qt's reader (libpng) as the independent decoder
  ASSERT_TRUE(peer.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "PNG"));
  peer = peer.convertToFormat(QImage::Format_ARGB32);
  const QImage image = png.ToImage();
  for (int x = 0; x < 4; ++x) EXPECT_EQ(image.pixel(x, 0), peer.pixel(x, 0)) << x;
  EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);
  EXPECT_EQ(image.pixel(3, 0), qRgb(0, 255, 0));

  QImage target(4, 1, QImage::Format_RGB32);
  target.fill(qRgb(1, 2, 3));
  TCanvas canvas(&target);
  png.Draw(canvas, {0, 0, 4, 1});
  EXPECT_EQ(target.pixel(1, 0), qRgb(1, 2, 3));
  EXPECT_EQ(target.pixel(3, 0), qRgb(0, 255, 0));

  // A bitmap's transparent colour picks out index 1 alone.
  TBitmapGraphic bitmap;
  const TBitmapTransparency t = png.AssignTo(bitmap);
  ASSERT_TRUE(t.Transparent);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelToColor(bitmap.Image().pixel(x, 0)) == t.TransparentColor, x == 1) << x;
  EXPECT_EQ(bitmap.Image().pixel(3, 0), qRgb(0, 255, 0));
}

TEST(PngReaderDecoding, FourBitGreySampleFifteenIsWhite) {
  TPNGObject png;
  LoadPngFixture(png, "grey4.png");
  EXPECT_EQ(png.GetPixel(15, 0), clWhite);
  EXPECT_EQ(png.GetPixel(1, 0), MakeColor(17, 17, 17));
  EXPECT_EQ(png.GetPixel(16, 0), 0u);
  EXPECT_EQ(png.GetPixel(-1, 0), 0u);
}

TEST(PngReaderChunks, UnknownAncillaryChunkIsKeptAndChromaticityDropped) {
  TPNGObject kept;
  LoadPngFixture(kept, "private_chunk.png");
  EXPECT_EQ(ListNames(kept), (std::vector<std::string>{"IHDR", "prVt", "IDAT", "IEND"}));
  TPNGObject dropped;
  LoadPngFixture(dropped, "chrm.png");
  EXPECT_EQ(ListNames(dropped), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  ExpectRgbPicture(dropped, 5, 4);
}

// ------------------------------------------------------------ Qt's files

struct TQtCase {
  const char* name;
  QImage::Format format;
  // The picture shows the high byte of 16-bit samples where Qt rounds them.
  int tolerance = 0;
};

class PngReaderQtFiles : public ::testing::TestWithParam<TQtCase> {};

TEST_P(PngReaderQtFiles, DecodeToTheSamePixelsAsQt) {
  QImage source(29, 11, QImage::Format_ARGB32);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 29; ++x) source.setPixel(x, y, qRgba(x * 8, y * 20, (x * y) & 255, 255 - x * 3));
  QImage image = source.convertToFormat(GetParam().format);
  if (GetParam().format == QImage::Format_Indexed8) image = source.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
  const std::vector<uint8_t> bytes = QtPngBytes(image);
  TMemoryStream stream(bytes);
  TPNGObject png;
  png.LoadFromStream(stream);
  QImage expected;
  expected.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG");
  expected = expected.convertToFormat(QImage::Format_ARGB32);
  const QImage actual = png.ToImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(actual.size(), expected.size());
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 29; ++x) {
      const QRgb a = actual.pixel(x, y);
      const QRgb e = expected.pixel(x, y);
      ASSERT_NEAR(qRed(a), qRed(e), GetParam().tolerance) << x << "," << y;
      ASSERT_NEAR(qGreen(a), qGreen(e), GetParam().tolerance) << x << "," << y;
      ASSERT_NEAR(qBlue(a), qBlue(e), GetParam().tolerance) << x << "," << y;
      ASSERT_NEAR(qAlpha(a), qAlpha(e), GetParam().tolerance) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PngReaderQtFiles,
                         ::testing::Values(TQtCase{"Rgb", QImage::Format_RGB32}, TQtCase{"Argb", QImage::Format_ARGB32},
                                           TQtCase{"Grey8", QImage::Format_Grayscale8},
                                           TQtCase{"Grey16", QImage::Format_Grayscale16, 1},
                                           TQtCase{"Rgba64", QImage::Format_RGBA64, 1},
                                           TQtCase{"Indexed", QImage::Format_Indexed8},
                                           TQtCase{"Mono", QImage::Format_Mono}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ damaged files

struct TBrokenCase {
  const char* file;
  std::function<std::string(TPNGObject&)> load;
  std::string message;
};

template <class E>
std::function<std::string(TPNGObject&)> Expect(const char* file) {
  return [file](TPNGObject& png) { return ThrownMessage<E>([&] { LoadPngFixture(png, file); }); };
}

class PngReaderRefuses : public ::testing::TestWithParam<TBrokenCase> {};

TEST_P(PngReaderRefuses, WithTheFixedTextAndKeepsThePreviousImage) {
  TPNGObject png;
  LoadPngFixture(png, "rgb8.png");
  EXPECT_EQ(GetParam().load(png), GetParam().message);
  ExpectRgbPicture(png, 5, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PngReaderRefuses,
    ::testing::Values(
        TBrokenCase{"bad_signature", Expect<EPNGInvalidFileHeader>("bad_signature.png"), EPNGInvalidFileHeaderText},
        TBrokenCase{"gama_first", Expect<EPNGIHDRNotFirst>("gama_first.png"), IHDRNotFirstMessage()},
        TBrokenCase{"critical_unknown", Expect<EPNGUnknownCriticalChunk>("critical_unknown.png"),
                    EPNGUnknownCriticalChunkText},
        TBrokenCase{"idat_interrupted", Expect<EPNGMissingMultipleIDAT>("idat_interrupted.png"),
                    EPNGMissingMultipleIDATText},
        TBrokenCase{"truncated_in_idat", Expect<EPngUnexpectedEnd>("truncated_in_idat.png"), EPNGUnexpectedEndText},
        TBrokenCase{"truncated_before_iend", Expect<EPngUnexpectedEnd>("truncated_before_iend.png"),
                    EPNGUnexpectedEndText},
        TBrokenCase{"length_beyond_end", Expect<EPngUnexpectedEnd>("length_beyond_end.png"), EPNGUnexpectedEndText},
        TBrokenCase{"bad_crc_text", Expect<EPngInvalidCRC>("bad_crc_text.png"), EPngInvalidCrcText},
        TBrokenCase{"bad_crc_idat", Expect<EPngInvalidCRC>("bad_crc_idat.png"), EPngInvalidCrcText},
        TBrokenCase{"width_65536", Expect<EPNGSizeExceeds>("width_65536.png"), EPNGSizeExceedsText},
        // 60000 rows of 180000 colour and 60000 alpha bytes, against the codec's 512 MB:
        // a limit of the codec, not of the memory.
        TBrokenCase{"huge_storage", Expect<EPNGOutMemory>("huge_storage.png"),
                    "This \"Portable Network Graphics\" image of 60000 x 60000 pixels is larger than the largest "
                    "picture that can be held (its pixel data takes 13733 MB, at most 512 MB)."},
        TBrokenCase{"bad_depth", Expect<EPngInvalidIHDR>("bad_depth.png"), EPNGInvalidIHDRText},
        TBrokenCase{"zlib_broken", Expect<EPNGZLIBError>("zlib_broken.png"), ZLibErrorMessage(-3)},
        TBrokenCase{"short_data", Expect<EPNGMissingMultipleIDAT>("short_data.png"), EPNGMissingMultipleIDATText},
        TBrokenCase{"bad_filter", Expect<EPNGZLIBError>("bad_filter.png"), ZLibErrorMessage(-3)},
        TBrokenCase{"no_idat", Expect<EPNGNoImageData>("no_idat.png"), EPNGNoImageDataText},
        TBrokenCase{"plte_770", Expect<EPNGInvalidPalette>("plte_770.png"), EPNGInvalidPaletteText},
        TBrokenCase{"plte_771", Expect<EPNGInvalidPalette>("plte_771.png"), EPNGInvalidPaletteText},
        TBrokenCase{"trns_257", Expect<EPNGInvalidPalette>("trns_257.png"), EPNGInvalidPaletteText}),
    [](const auto& info) { return std::string(info.param.file); });

// The decoded rows and the 32-bit picture shown from them are counted against the
// memory the program may take, before anything is decoded.
TEST(PngReaderMemory, APictureThatWouldNotFitIsRefusedBeforeDecodingWithItsSize) {
  // 5 x 4 RGB: 4 rows of 16 bytes and 80 bytes of picture shown, 144 in all.
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  SetAvailableMemoryProbe([] { return int64_t{143}; });
  TPNGObject refused;
  EXPECT_EQ(ThrownMessage<EPNGOutMemory>([&] { LoadPngFixture(refused, "rgb8.png"); }),
            "This \"Portable Network Graphics\" image of 5 x 4 pixels is too large: it needs 1 MB of memory, more "
            "than the 0 MB available now.");
  EXPECT_TRUE(refused.Empty());
  // A chunk's data is counted before it is copied.
  SetAvailableMemoryProbe([] { return int64_t{0}; });
  EXPECT_EQ(ThrownMessage<EPNGOutMemory>([&] { LoadPngFixture(refused, "rgb8.png"); }),
            "This \"Portable Network Graphics\" image is too large to be read: it needs 1 MB of memory, more than "
            "the 0 MB available now.");
  SetAvailableMemoryProbe([] { return int64_t{144}; });
  TPNGObject loaded;
  LoadPngFixture(loaded, "rgb8.png");
  ExpectRgbPicture(loaded, 5, 4);
}

// The 32-bit picture shown from the rows is counted before it is made.
TEST(PngReaderMemory, APictureShownFromTheRowsIsRefusedWithItsSizeWhenTheMemoryCannotHoldIt) {
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  TPNGObject png;
  LoadPngFixture(png, "rgb8.png");
  SetAvailableMemoryProbe([] { return int64_t{5 * 4 * 4 - 1}; });
  EXPECT_EQ(ThrownMessage<EPNGOutMemory>([&] { (void)png.ToImage(); }),
            "This \"Portable Network Graphics\" image of 5 x 4 pixels is too large: it needs 1 MB of memory, more "
            "than the 0 MB available now.");
  SetAvailableMemoryProbe([] { return int64_t{5 * 4 * 4}; });
  EXPECT_EQ(png.ToImage().size(), QSize(5, 4));
}

// A texture takes the pixels a few rows at a time rather than as one picture.
TEST(PngReaderStrips, ThePixelsHandedOutInStripsAreThoseOfTheWholePicture) {
  for (const char* name : {"rgb8.png", "rgba8.png", "rgb16.png", "grey2_adam7.png", "pal2.png",
                           "pal_trns_shared_colour.png"}) {
    TPNGObject png;
    LoadPngFixture(png, name);
    const QImage whole = png.ToImage();
    for (const int rows : {1, 3}) {
      QImage joined(whole.size(), whole.format());
      int next = 0;
      png.ForEachImageStrip(rows, [&](int32_t top, const QImage& strip) {
        EXPECT_EQ(top, next) << name;
        EXPECT_EQ(strip.format(), whole.format()) << name;
        for (int i = 0; i < strip.height(); ++i)
          std::memcpy(joined.scanLine(top + i), strip.constScanLine(i), static_cast<size_t>(whole.width()) * 4);
        next = top + strip.height();
      });
      EXPECT_EQ(next, whole.height()) << name;
      EXPECT_EQ(joined, whole) << name << " in strips of " << rows;
    }
  }
}

// Every way of turning the picture into pixels refuses a colour the palette lacks.
TEST(PngReaderPalette, AnIndexBeyondThePaletteIsRefusedOnEveryPixelPath) {
  TPNGObject png;
  LoadPngFixture(png, "pal2_index_beyond.png");
  QImage target(4, 1, QImage::Format_RGB32);
  TCanvas canvas(&target);
  TBitmapGraphic bitmap;
  const std::function<void()> paths[] = {
      [&] { (void)png.ToImage(); },
      [&] { png.Draw(canvas, {0, 0, 4, 1}); },
      [&] { png.DrawPartialTrans(canvas, {0, 0, 4, 1}); },
      [&] { (void)png.AssignTo(bitmap); },
      [&] { (void)png.GetPixel(3, 0); },
  };
  for (size_t i = 0; i < std::size(paths); ++i)
    EXPECT_EQ(ThrownMessage<EPngError>(paths[i]), EPNGUnknownPalEntryText) << i;
  EXPECT_EQ(png.GetPixel(1, 0), MakeColor(0, 255, 0));  // indices the palette holds still answer
}

TEST(PngReaderMessages, ZlibErrorCarriesTheReturnCodeOnASecondLine) {
  EXPECT_EQ(ZLibErrorMessage(-3),
            "Could not decompress the image because it contains invalid compressed data.\n Description: data error (-3)");
  EXPECT_STREQ(ZLibCodeText(2), "need dictionary (2)");
}

TEST(PngReaderTruncation, EveryCutOfAGoodFileIsRefused) {
  const std::string whole = PngFiles().Bytes("rgb8_adam7.png");
  for (size_t n = 0; n < whole.size(); ++n) {
    TMemoryStream stream(whole.data(), n);
    TPNGObject png;
    EXPECT_ANY_THROW(png.LoadFromStream(stream)) << n;
    EXPECT_TRUE(png.Empty());
  }
}

TEST(PngReaderTruncation, AnyChangedByteLoadsOrIsRefusedWithoutAHalfImage) {
  for (const char* name : {"rgb8_adam7.png", "pal2.png", "ztxt.png"}) {
    const std::string whole = PngFiles().Bytes(name);
    for (size_t at = 8; at < whole.size(); ++at) {
      for (uint8_t flip : {0x01, 0x80, 0xFF}) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(bytes[at] ^ flip);
        TMemoryStream stream(bytes.data(), bytes.size());
        TPNGObject png;
        try {
          png.LoadFromStream(stream);
          EXPECT_FALSE(png.ToImage().isNull());
        } catch (const std::exception&) {
          EXPECT_TRUE(png.Empty()) << name << " " << at;
        }
      }
    }
  }
}

// ------------------------------------------------------------ registry

TEST(PngPictureRegistry, PictureLoadingReadsPngFiles) {
  RegisterPngFileFormat();
  RegisterPngFileFormat();  // a second call changes nothing
  ASSERT_EQ(FindPictureFileFormat(".PNG"), &TPNGObject::StaticClass());
  TPicture picture;
  picture.LoadFromFile(PngFiles().File("rgb8.png"));
  ASSERT_NE(dynamic_cast<TPNGObject*>(picture.Graphic()), nullptr);
  ExpectRgbPicture(*static_cast<TPNGObject*>(picture.Graphic()), 5, 4);
}

TEST(PngPixels, SetPixelOnAPaletteStoresTheNearestEntry) {
  TPNGObject png;
  LoadPngFixture(png, "pal2.png");
  png.SetPixel(0, 0, MakeColor(10, 230, 20));
  EXPECT_EQ(png.GetPixel(0, 0), MakeColor(0, 255, 0));
  png.SetPixel(4, 0, clWhite);  // outside: nothing
  EXPECT_EQ(png.GetPixel(3, 0), MakeColor(255, 255, 0));
}

TEST(PngPixels, ResizeKeepsTheTopLeftAndMakesNewAlphaOpaque) {
  TPNGObject png;
  LoadPngFixture(png, "rgba8.png");
  const QImage before = png.ToImage();
  png.Resize(6, 5);
  const QImage after = png.ToImage();
  ASSERT_EQ(after.size(), QSize(6, 5));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(after.pixel(x, y), before.pixel(x, y));
  EXPECT_EQ(qAlpha(after.pixel(5, 4)), 255);
  EXPECT_EQ(ThrownMessage<EPNGInvalidNewSize>([&] { png.Resize(0, 3); }), EPNGInvalidNewSizeText);
  EXPECT_EQ(png.Width(), 6);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <QImage>

#include "imaging/PngMessages.h"
#include "imaging/PngObject.h"
#include "platform/Canvas.h"
#include "platform/Picture.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"
#include "PngFixtures.h"

namespace qira {
namespace {

// A bitmap as the view renders it: 32-bit pixels with a background colour.
QImage RenderedPicture(int width, int height, QRgb background) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(background);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((x + y) % 3 != 0) image.setPixel(x, y, qRgb((x * 37) & 255, (y * 11) & 255, (x * y) & 255));
  return image;
}

QImage Indexed8Picture() {
  QImage image(7, 5, QImage::Format_Indexed8);
  QList<QRgb> table;
  for (int i = 0; i < 256; ++i) table.push_back(qRgb(i, 255 - i, (i * 3) & 255));
  image.setColorTable(table);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) image.setPixel(x, y, static_cast<uint>((x * 31 + y * 5) & 255));
  return image;
}

QImage ReadWithQt(const std::vector<uint8_t>& bytes) {
  QImage image;
  image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG");
  return image;
}

void ExpectSamePixels(const QImage& expected, const QImage& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      ASSERT_EQ(expected.pixel(x, y), actual.pixel(x, y)) << x << "," << y;
}

TEST(PngWriterLayout, TrueColourBitmapGivesRgbAtEightBits) {
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
    TPNGObject png;
    png.AssignImage(RenderedPicture(6, 4, qRgb(0, 0, 0)).convertToFormat(format));
    const std::vector<uint8_t> bytes = SavedBytes(png);
    EXPECT_EQ(ChunkNames(bytes), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(bytes[8 + 8 + 8], 8);  // bit depth
    EXPECT_EQ(bytes[8 + 8 + 9], 2);  // colour type
  }
}

TEST(PngWriterLayout, IndexedBitmapGivesPaletteWith256Entries) {
  TPNGObject png;
  png.AssignImage(Indexed8Picture());
  const std::vector<uint8_t> bytes = SavedBytes(png);
  const auto chunks = ChunkSequence(bytes);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[1].name, "PLTE");
  EXPECT_EQ(chunks[1].length, 768u);
  EXPECT_EQ(bytes[8 + 8 + 9], 3);
}

TEST(PngWriterLayout, DefaultFilterSetWritesEveryRowWithSub) {
  TPNGObject png;
  png.SetDeflateLevel(0);  // stored blocks: the rows stand in the data as they are
  png.AssignImage(RenderedPicture(4, 3, qRgb(1, 2, 3)));
  const std::vector<uint8_t> bytes = SavedBytes(png);
  const auto chunks = ChunkSequence(bytes);
  // zlib header (2), stored-block header (5), then rows of 1 + 12 bytes.
  const size_t data = 8 + 13 + 12 + 8 + 2 + 5;
  ASSERT_EQ(chunks[1].name, "IDAT");
  for (size_t row = 0; row < 3; ++row) EXPECT_EQ(bytes[data + row * 13], 1) << row;
}

TEST(PngWriterLayout, LargeDataIsCutIntoFullIdatChunksAndAShorterLast) {
  QImage noise(300, 300, QImage::Format_RGB32);
  uint32_t seed = 12345;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) {
      seed = seed * 1103515245u + 12345u;
      noise.setPixel(x, y, 0xFF000000u | (seed >> 8));
    }
  TPNGObject png;
  png.SetMaxIdatBytes(1000);
  EXPECT_EQ(png.MaxIdatBytes(), 65535);
  png.AssignImage(noise);
  const std::vector<uint8_t> bytes = SavedBytes(png);
  std::vector<uint32_t> idats;
  for (const auto& c : ChunkSequence(bytes))
    if (c.name == "IDAT") idats.push_back(c.length);
  ASSERT_GE(idats.size(), 2u);
  for (size_t i = 0; i + 1 < idats.size(); ++i) EXPECT_EQ(idats[i], 65535u);
  EXPECT_LT(idats.back(), 65535u);
  ExpectSamePixels(noise, ReadWithQt(bytes).convertToFormat(QImage::Format_RGB32));
}

TEST(PngWriterLayout, SavingTwiceGivesIdenticalBytes) {
  TPNGObject png;
  png.AssignImage(RenderedPicture(9, 7, qRgb(0, 0, 0)));
  EXPECT_EQ(SavedBytes(png), SavedBytes(png));
}

TEST(PngWriterLayout, EmptyImageIsNotWritten) {
  TPNGObject png;
  TMemoryStream stream;
  EXPECT_THROW(png.SaveToStream(stream), EPNGHeaderNotPresent);
  EXPECT_EQ(stream.Size(), 0);
}

// ------------------------------------------------------------ transparency

TEST(PngWriterTransparency, TransparentChunkGoesAfterPaletteOrBeforeImageData) {
  TPNGObject indexed;
  indexed.AssignImage(Indexed8Picture());
  indexed.SetTransparentColor(MakeColor(3, 252, 9));  // entry 3
  EXPECT_EQ(ChunkNames(SavedBytes(indexed)), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
  const auto* trns = indexed.Chunks().ItemFromClass<TChunktRNS>();
  ASSERT_NE(trns, nullptr);
  EXPECT_EQ(trns->Data(), (std::vector<uint8_t>{255, 255, 255, 0}));
  EXPECT_EQ(indexed.GetTransparencyMode(), ptmBit);

  TPNGObject rgb;
  rgb.AssignImage(RenderedPicture(3, 3, qRgb(0, 0, 0)));
  rgb.Chunks().Add<TChunktEXt>();
  rgb.SetTransparentColor(MakeColor(0, 0, 0));
  EXPECT_EQ(ChunkNames(SavedBytes(rgb)), (std::vector<std::string>{"IHDR", "tRNS", "IDAT", "tEXt", "IEND"}));
}

TEST(PngWriterTransparency, PaletteWithoutTheColourMakesNothingSeeThrough) {
  TPNGObject png;
  png.AssignImage(Indexed8Picture());
  png.SetTransparentColor(MakeColor(1, 1, 1));
  EXPECT_EQ(png.Chunks().ItemFromClass<TChunktRNS>(), nullptr);
  EXPECT_EQ(png.GetTransparencyMode(), ptmNone);
}

TEST(PngWriterTransparency, AlphaPicturesRefuseATransparentColour) {
  TPNGObject png;
  LoadPngFixture(png, "rgba8.png");
  const std::vector<uint8_t> before = SavedBytes(png);
  EXPECT_EQ(ThrownMessage<EPNGCannotChangeTransparent>([&] { png.SetTransparentColor(clWhite); }),
            EPNGCannotChangeTransparentText);
  EXPECT_EQ(SavedBytes(png), before);
}

// ------------------------------------------------------------------- peers

class PngWriterPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PngcheckAvailable()) << "pngcheck is not installed; run scripts/setup";
  }
  std::string Save(const TPNGObject& png, const std::string& name) {
    const std::string path = folder_.File(name);
    png.SaveToFile(path);
    return path;
  }
  TScratchFolder folder_;
};

TEST_F(PngWriterPeers, ViewPictureWithBackgroundTransparentPassesPngcheckAndQt) {
  // The picture saving of the view: the rendered bitmap, transparent, the background as the colour.
  const QRgb background = qRgb(32, 64, 96);
  TBitmap bitmap(40, 30);
  bitmap.Image() = RenderedPicture(40, 30, background);
  TPNGObject png;
  png.Assign(bitmap);
  png.SetTransparent(true);
  png.SetTransparentColor(MakeColor(32, 64, 96));
  const std::string path = Save(png, "view.png");
  EXPECT_TRUE(PngcheckAccepts(path));

  QImage read(QString::fromStdString(path));
  ASSERT_FALSE(read.isNull());
  read = read.convertToFormat(QImage::Format_ARGB32);
  const QImage source = RenderedPicture(40, 30, background);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const QRgb want = source.pixel(x, y);
      if (want == background) {
        EXPECT_EQ(qAlpha(read.pixel(x, y)), 0) << x << "," << y;
      } else {
        EXPECT_EQ(read.pixel(x, y), want) << x << "," << y;
      }
    }
  // Our own reading draws the same.
  ExpectSamePixels(read, png.ToImage());
}

TEST_F(PngWriterPeers, EveryFilterAndInterlaceDecodesTheSameInQt) {
  const QImage source = RenderedPicture(23, 17, qRgb(5, 5, 5));
  for (uint8_t filters : {pfNone, pfSub, pfUp, pfAverage, pfPaeth, uint8_t(pfNone | pfSub | pfUp | pfAverage | pfPaeth)})
    for (uint8_t interlace : {0, 1}) {
      TPNGObject png;
      png.SetFilterSet(filters);
      png.SetInterlaceMethod(interlace);
      png.AssignImage(source);
      const std::string path = Save(png, "f" + std::to_string(filters) + "i" + std::to_string(interlace) + ".png");
      EXPECT_TRUE(PngcheckAccepts(path)) << int{filters} << " " << int{interlace};
      ExpectSamePixels(source, QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32));
    }
}

TEST_F(PngWriterPeers, PaletteAndMonochromePicturesDecodeTheSameInQt) {
  const QImage indexed = Indexed8Picture();
  QImage mono(13, 3, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 13; ++x) mono.setPixel(x, y, (x * y + x) % 2);
  for (const QImage& source : {indexed, mono}) {
    for (uint8_t interlace : {0, 1}) {
      TPNGObject png;
      png.SetInterlaceMethod(interlace);
      png.AssignImage(source);
      const std::string path = Save(png, "p" + std::to_string(source.depth()) + std::to_string(interlace) + ".png");
      EXPECT_TRUE(PngcheckAccepts(path));
      ExpectSamePixels(source.convertToFormat(QImage::Format_RGB32),
                       QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32));
    }
  }
}

TEST_F(PngWriterPeers, FilesReadAndWrittenAgainKeepEveryKindOfPixel) {
  for (const char* name : {"rgb16.png", "rgba8.png", "grey2.png", "grey4.png", "pal2.png", "rgb8_adam7.png"}) {
    TPNGObject png;
    LoadPngFixture(png, name);
    const std::string path = Save(png, std::string("again_") + name);
    EXPECT_TRUE(PngcheckAccepts(path)) << name;
    QImage original;
    const std::string bytes = PngFiles().Bytes(name);
    original.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "PNG");
    QImage again(QString::fromStdString(path));
    ASSERT_FALSE(again.isNull()) << name;
    ExpectSamePixels(original.convertToFormat(QImage::Format_RGBA64), again.convertToFormat(QImage::Format_RGBA64));
  }
}

TEST_F(PngWriterPeers, SavingThroughThePictureRegistryIsAtomic) {
  RegisterPngFileFormat();
  const std::string path = folder_.File("keep.png");
  folder_.Put("keep.png", "old contents");
  TPNGObject empty;
  EXPECT_ANY_THROW(empty.SaveToFile(path));
  EXPECT_EQ(folder_.Get("keep.png"), "old contents");
  EXPECT_EQ(folder_.Entries().size(), 1u);
}

}  // namespace
}  // namespace qira

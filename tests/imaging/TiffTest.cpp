// The TIFF writer, checked against the fixed layouts byte by byte and against
// independent readers: libtiff's tiffinfo / tiff2rgba, and Qt's image reader
// when a TIFF plugin is installed.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/TiffWriter.h"
#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// ------------------------------------------------------------ file reading

std::vector<uint8_t> Bytes(const TMemoryStream& s) { return s.Data(); }

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{U16(b, at)} | uint32_t{U16(b, at + 2)} << 16;
}

struct TEntry {
  uint16_t type;
  uint32_t count;
  uint32_t value;
};

struct TDirectory {
  uint32_t offset = 0;
  std::vector<uint16_t> tags;  // in file order
  std::map<uint16_t, TEntry> entries;
  uint32_t next = 0xFFFFFFFF;
};

TDirectory ReadDirectory(const std::vector<uint8_t>& b) {
  TDirectory d;
  d.offset = U32(b, 4);
  const uint16_t n = U16(b, d.offset);
  for (uint16_t i = 0; i < n; ++i) {
    const size_t at = d.offset + 2 + 12u * i;
    const uint16_t tag = U16(b, at);
    d.tags.push_back(tag);
    d.entries[tag] = {U16(b, at + 2), U32(b, at + 4), U32(b, at + 8)};
  }
  d.next = U32(b, d.offset + 2 + 12u * n);
  return d;
}

std::vector<uint8_t> Written(const TBitmapGraphic& g) {
  TMemoryStream s;
  EXPECT_TRUE(WriteTiffToStream(s, g));
  return Bytes(s);
}

std::vector<uint8_t> Written(const TBitmap& b) {
  TMemoryStream s;
  EXPECT_TRUE(WriteTiffToStream(s, b));
  return Bytes(s);
}

// An indexed picture whose pixel (x, y) has index (x + 3y) mod colours.
QImage IndexedPicture(int w, int h, int colours) {
  QImage image(w, h, QImage::Format_Indexed8);
  QList<QRgb> table;
  for (int i = 0; i < colours; ++i) table.push_back(qRgb((i * 37) & 0xFF, (i * 91 + 5) & 0xFF, 255 - i));
  image.setColorTable(table);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, static_cast<uint>((x + 3 * y) % colours));
  return image;
}

QImage ColourPicture(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 40 % 256, y * 70 % 256, (x * y * 13 + 7) % 256));
  return image;
}

// ------------------------------------------------------------ the peer tools

struct TRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

TRun RunTool(const std::string& command) {
  TRun r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  r.status = ::pclose(pipe);
  return r;
}

// Lines of libtiff's complaints (errors and warnings), every one a fault.
std::string Complaints(const std::string& output) {
  std::istringstream in(output);
  std::string line, bad;
  while (std::getline(in, line)) {
    const bool complaint = line.find("Error") != std::string::npos || line.find("Warning") != std::string::npos;
    if (complaint) bad += line + "\n";
  }
  return bad;
}

// The picture as libtiff decodes it (TIFFReadRGBAImage through tiff2rgba), as
// Qt pixels, top row first; empty when a tool fails.
std::vector<QRgb> PeerPixels(const TScratchFolder& folder, const std::string& tif) {
  const std::string rgba = folder.File("peer-rgba.tif");
  const TRun convert = RunTool("tiff2rgba -c none '" + tif + "' '" + rgba + "'");
  EXPECT_EQ(convert.status, 0) << convert.output;
  EXPECT_EQ(Complaints(convert.output), "");
  const TRun dump = RunTool("tiffinfo -d '" + rgba + "'");
  EXPECT_EQ(dump.status, 0) << dump.output;
  std::vector<uint8_t> samples;
  std::istringstream in(dump.output.substr(dump.output.find("Strip 0:") + 8));
  std::string hex;
  while (in >> hex) samples.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
  std::vector<QRgb> pixels;
  for (size_t i = 0; i + 3 < samples.size(); i += 4) pixels.push_back(qRgb(samples[i], samples[i + 1], samples[i + 2]));
  return pixels;
}

std::vector<QRgb> SourcePixels(const QImage& image) {
  std::vector<QRgb> pixels;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) pixels.push_back(image.pixel(x, y) | 0xFF000000u);
  return pixels;
}

// ------------------------------------------------------- the fixed layouts

TEST(TiffLayouts, BilevelTenByThreeHasItsItemsAtTheFixedOffsets) {
  const std::vector<uint8_t> b = Written(TBitmapGraphic(IndexedPicture(10, 3, 2), 1));
  ASSERT_EQ(b.size(), 215u);
  EXPECT_EQ(b[0], 0x49);
  EXPECT_EQ(b[1], 0x49);
  EXPECT_EQ(U16(b, 2), 42);
  const TDirectory d = ReadDirectory(b);
  EXPECT_EQ(d.offset, 41u);
  EXPECT_EQ(d.tags, (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296, 305}));
  EXPECT_EQ(d.next, 0u);
  EXPECT_EQ(d.entries.at(273).value, 8u);   // rows right after the header
  EXPECT_EQ(d.entries.at(279).value, 6u);   // 3 rows of 2 bytes
  EXPECT_EQ(d.entries.at(282).value, 14u);
  EXPECT_EQ(d.entries.at(283).value, 22u);
  EXPECT_EQ(d.entries.at(305).value, 30u);
  EXPECT_EQ(d.entries.at(305).count, 11u);  // the text and its terminating NUL
  EXPECT_EQ(d.entries.at(258).value, 1u);
  EXPECT_EQ(d.entries.at(262).value, 1u);  // black is zero, as the table gives
  EXPECT_EQ(U32(b, 14), 877u);
  EXPECT_EQ(U32(b, 18), 10u);
  EXPECT_EQ(std::string(b.begin() + 30, b.begin() + 41), std::string("Dolvu soft", 11));
  // Row 0: indices 0101010101 -> 0x55 0x40.
  EXPECT_EQ(b[8], 0x55);
  EXPECT_EQ(b[9], 0x40);
}

TEST(TiffLayouts, EntryValuesFollowTheLayoutTable) {
  struct TCase {
    const char* name;
    TBitmapGraphic picture;
    std::map<uint16_t, uint32_t> values;  // tag -> value field
  };
  TCase cases[] = {
      {"palette 8", TBitmapGraphic(IndexedPicture(7, 5, 200), 8),
       {{254, 0}, {256, 7}, {257, 5}, {258, 8}, {259, 1}, {262, 3}, {277, 1}, {278, 5}, {279, 35}, {296, 2}, {320, 8}}},
      {"rgb", TBitmapGraphic(ColourPicture(7, 5), 24),
       {{254, 0}, {256, 7}, {257, 5}, {258, 24}, {259, 1}, {262, 2}, {277, 3}, {278, 5}, {279, 105}, {284, 1}, {296, 2}}},
  };
  for (const TCase& c : cases) {
    const std::vector<uint8_t> b = Written(c.picture);
    const TDirectory d = ReadDirectory(b);
    EXPECT_EQ(d.tags.size(), 15u) << c.name;
    for (auto [tag, value] : c.values) EXPECT_EQ(d.entries.at(tag).value, value) << c.name << " tag " << tag;
  }
}

TEST(TiffLayouts, FourBitPictureKeepsItsOddWidthAndStartsTheRationalsAt104) {
  const QImage source = IndexedPicture(13, 4, 16);
  const std::vector<uint8_t> b = Written(TBitmapGraphic(source, 4));
  const TDirectory d = ReadDirectory(b);
  EXPECT_EQ(d.entries.at(256).value, 13u);
  EXPECT_EQ(d.entries.at(258).value, 4u);
  EXPECT_EQ(d.entries.at(320).count, 48u);
  EXPECT_EQ(d.entries.at(320).value, 8u);
  EXPECT_EQ(d.entries.at(282).value, 104u);
  EXPECT_EQ(d.entries.at(283).value, 112u);
  EXPECT_EQ(d.entries.at(305).value, 120u);
  EXPECT_EQ(d.entries.at(273).value, 131u);
  EXPECT_EQ(d.entries.at(279).value, 4u * 7u);
  // Colour map: reds, greens, blues, each component in the high byte.
  for (int i = 0; i < 16; ++i) {
    const QRgb c = source.color(i);
    EXPECT_EQ(U16(b, 8 + 2 * i), qRed(c) << 8);
    EXPECT_EQ(U16(b, 8 + 32 + 2 * i), qGreen(c) << 8);
    EXPECT_EQ(U16(b, 8 + 64 + 2 * i), qBlue(c) << 8);
  }
  // Row 0 holds indices 0..12, high nibble first; the last half byte is zero.
  EXPECT_EQ(b[131], 0x01);
  EXPECT_EQ(b[137], 0xC0);
}

TEST(TiffLayouts, EightBitPictureHasA1536ByteColourMapAndRowsAt1571) {
  const std::vector<uint8_t> b = Written(TBitmapGraphic(IndexedPicture(9, 2, 256), 8));
  const TDirectory d = ReadDirectory(b);
  EXPECT_EQ(d.entries.at(320).count, 768u);
  EXPECT_EQ(d.entries.at(282).value, 8u + 1536u);
  EXPECT_EQ(d.entries.at(273).value, 1571u);
  EXPECT_EQ(d.offset, 1571u + 18u);
  EXPECT_EQ(b[1571 + 9], 3);  // row 1 starts with index 3
}

TEST(TiffLayouts, RgbItemsSitAtFixedOffsetsWithoutPadding) {
  const std::vector<uint8_t> b = Written(TBitmapGraphic(ColourPicture(3, 1), 24));
  const TDirectory d = ReadDirectory(b);
  EXPECT_EQ(d.entries.at(282).value, 8u);
  EXPECT_EQ(d.entries.at(283).value, 16u);
  EXPECT_EQ(d.entries.at(258).value, 24u);
  EXPECT_EQ(d.entries.at(258).count, 3u);
  EXPECT_EQ(d.entries.at(305).value, 30u);
  EXPECT_EQ(d.entries.at(273).value, 41u);
  EXPECT_EQ(d.offset, 50u);  // 41 + 9 row bytes, no padding byte
  EXPECT_EQ(b.size(), 50u + 2 + 15 * 12 + 4);
  EXPECT_EQ(U16(b, 24), 8);
  EXPECT_EQ(U16(b, 26), 8);
  EXPECT_EQ(U16(b, 28), 8);
}

TEST(TiffLayouts, TwentyFourAndThirtyTwoBitPicturesGiveIdenticalFiles) {
  const QImage source = ColourPicture(11, 6);
  TBitmap bitmap(11, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 11; ++x) bitmap.Image().setPixel(x, y, source.pixel(x, y));
  const std::vector<uint8_t> b24 = Written(TBitmapGraphic(source, 24));
  EXPECT_EQ(Written(TBitmapGraphic(source.convertToFormat(QImage::Format_ARGB32), 32)), b24);
  EXPECT_EQ(Written(bitmap), b24);
}

// The export's picture (rows of red, green, blue bytes) goes out as it is held; the
// file is the one its 24-bit bitmap gives, whether its rows are padded (odd width)
// or follow one another.
TEST(TiffLayouts, ExportPictureGivesTheFileOfItsTwentyFourBitBitmap) {
  for (const int width : {11, 16}) {
    const QImage picture = ColourPicture(width, 6).convertToFormat(QImage::Format_RGB888);
    TMemoryStream s;
    ASSERT_TRUE(WriteTiffPictureToStream(s, picture)) << width;
    EXPECT_EQ(Bytes(s), Written(TBitmapGraphic(picture, 24))) << width;
  }
}

TEST(TiffLayouts, ASideAbove65535IsWrittenAsALong) {
  TBitmap wide(70000, 1);
  const std::vector<uint8_t> b = Written(wide);
  const TDirectory d = ReadDirectory(b);
  EXPECT_EQ(d.entries.at(256).type, 4);
  EXPECT_EQ(d.entries.at(256).value, 70000u);
  EXPECT_EQ(d.entries.at(257).type, 3);
}

TEST(TiffLayouts, ImageAfterOtherBytesCountsItsOffsetsFromItsOwnStart) {
  const TBitmapGraphic picture(IndexedPicture(5, 3, 16), 4);
  TMemoryStream s;
  ASSERT_TRUE(s.Write("abcde", 5));
  ASSERT_TRUE(WriteTiffToStream(s, picture));
  const std::vector<uint8_t> alone = Written(picture);
  EXPECT_EQ(std::vector<uint8_t>(s.Data().begin() + 5, s.Data().end()), alone);
  EXPECT_EQ(s.Position(), s.Size());
}

// ------------------------------------------------------------------ peers

struct TPeerCase {
  const char* name;
  QImage image;  // the pixels the file must show
  int bits;
};

std::vector<TPeerCase> PeerCases() {
  QImage mono = ColourPicture(19, 7).convertToFormat(QImage::Format_Mono);  // Qt's table: white first
  QImage bilevel = IndexedPicture(10, 3, 2);
  bilevel.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  QImage sixteen = IndexedPicture(13, 5, 16);
  QImage full = IndexedPicture(33, 9, 256);
  return {
      {"bilevel black first", bilevel, 1},
      {"bilevel white first", mono.convertToFormat(QImage::Format_Indexed8), 1},
      {"palette 4 odd width", sixteen, 4},
      {"palette 8", full, 8},
      {"rgb 24", ColourPicture(17, 9), 24},
      {"rgb 32", ColourPicture(16, 3).convertToFormat(QImage::Format_ARGB32), 32},
  };
}

TEST(TiffPeers, LibtiffReadsEveryLayoutWithTheSamePixels) {
  TScratchFolder folder;
  for (const TPeerCase& c : PeerCases()) {
    const std::string tif = folder.File("picture.tif");
    ASSERT_TRUE(WriteTiffToFile(tif, TBitmapGraphic(c.image, c.bits))) << c.name;
    const TRun info = RunTool("tiffinfo '" + tif + "'");
    EXPECT_EQ(info.status, 0) << c.name << info.output;
    EXPECT_EQ(Complaints(info.output), "") << c.name;
    EXPECT_NE(info.output.find("Software: Dolvu soft"), std::string::npos) << c.name;
    EXPECT_NE(info.output.find("Resolution: 87.7, 87.7 pixels/inch"), std::string::npos) << c.name;
    const TRun dump = RunTool("tiffdump '" + tif + "'");
    EXPECT_EQ(dump.status, 0) << c.name << dump.output;
    EXPECT_EQ(PeerPixels(folder, tif), SourcePixels(c.image)) << c.name;
  }
}

TEST(TiffPeers, LibtiffReadsTheExportPictureWithTheSamePixels) {
  TScratchFolder folder;
  const QImage picture = ColourPicture(17, 9).convertToFormat(QImage::Format_RGB888);
  const std::string tif = folder.File("export.tif");
  ASSERT_TRUE(WriteTiffPictureToFile(tif, picture));
  EXPECT_EQ(PeerPixels(folder, tif), SourcePixels(picture));
}

// scripts/setup installs Qt's TIFF plugin, so its absence fails the test.
TEST(TiffPeers, QtReadsEveryLayoutWithTheSamePixels) {
  EnsureTestApplication();
  ASSERT_TRUE(QImageReader::supportedImageFormats().contains("tiff")) << "Qt has no TIFF plugin; run scripts/setup";
  TScratchFolder folder;
  for (const TPeerCase& c : PeerCases()) {
    const std::string tif = folder.File("picture.tif");
    ASSERT_TRUE(WriteTiffToFile(tif, TBitmapGraphic(c.image, c.bits))) << c.name;
    QImageReader reader(QString::fromStdString(tif), "tiff");
    const QImage read = reader.read();
    ASSERT_FALSE(read.isNull()) << c.name << reader.errorString().toStdString();
    EXPECT_EQ(SourcePixels(read), SourcePixels(c.image)) << c.name;
  }
}

// ------------------------------------------------- refusals and failures

TEST(TiffRefusals, PicturesTheWriterCannotTakeWriteNothing) {
  QImage tooManyColours = IndexedPicture(4, 4, 3);  // index 2 does not fit one bit
  struct TCase {
    const char* name;
    TBitmapGraphic picture;
  } cases[] = {
      {"empty", TBitmapGraphic()},
      {"index beyond one bit", TBitmapGraphic(tooManyColours, 1)},
      {"index beyond four bits", TBitmapGraphic(IndexedPicture(8, 4, 17), 4)},
  };
  for (const TCase& c : cases) {
    TMemoryStream s;
    EXPECT_FALSE(WriteTiffToStream(s, c.picture)) << c.name;
    EXPECT_EQ(s.Size(), 0) << c.name;
  }
  TMemoryStream s;
  EXPECT_FALSE(WriteTiffToStream(s, TBitmap()));
  EXPECT_EQ(s.Size(), 0);
}

TEST(TiffRefusals, ARefusedPictureLeavesAnExistingFileAlone) {
  TScratchFolder folder;
  folder.Put("old.tif", "old contents");
  EXPECT_FALSE(WriteTiffToFile(folder.File("old.tif"), TBitmap()));
  EXPECT_EQ(folder.Get("old.tif"), "old contents");
  EXPECT_EQ(folder.Entries().size(), 1u);  // no temporary left behind
}

TEST(TiffRefusals, AFileThatCannotBeCreatedRaises) {
  TScratchFolder folder;
  EXPECT_THROW(WriteTiffToFile(folder.File("missing/picture.tif"), TBitmap(2, 2)), EGraphicFileError);
}

// A stream that takes at most `limit` bytes in all.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int32_t limit) : limit_(limit) {}
  bool Write(const void* buf, int32_t n) override {
    if (Position() + n > limit_) return false;
    return TMemoryStream::Write(buf, n);
  }

 private:
  int32_t limit_;
};

TEST(TiffRefusals, AStreamThatRefusesBytesRaisesStreamWriteError) {
  TShortStream s(60);
  try {
    WriteTiffToStream(s, TBitmap(10, 10));
    FAIL() << "no exception";
  } catch (const EGraphicFileError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

}  // namespace
}  // namespace qira

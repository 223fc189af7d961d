// The JPEG writer, checked against an independent decoder: Qt's JPEG reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/JpegWriter.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "support/AddressSpaceLimit.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

// Four flat quarters: red, blue (top), green, grey (bottom).
QImage TestPicture(int width, int height, QImage::Format format = QImage::Format_RGB32) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool left = x < width / 2;
      const bool top = y < height / 2;
      QRgb c = left ? (top ? qRgb(220, 30, 30) : qRgb(30, 200, 40)) : (top ? qRgb(20, 40, 210) : qRgb(128, 128, 128));
      image.setPixel(x, y, c);
    }
  }
  return image.convertToFormat(format);
}

QImage Decoded(const std::vector<uint8_t>& bytes) {
  QImage image;
  image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "JPG");
  return image;
}

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The first entry of quantisation table `id` in the DQT segments of a baseline file.
int FirstQuantValue(const std::vector<uint8_t>& b, int id) {
  for (size_t i = 2; i + 4 < b.size();) {
    if (b[i] != 0xFF) return -1;
    const int marker = b[i + 1];
    const size_t length = static_cast<size_t>(b[i + 2]) << 8 | b[i + 3];
    if (marker == 0xDB) {
      for (size_t at = i + 4; at < i + 2 + length; at += 65) {
        if ((b[at] & 0x0F) == id) return b[at + 1];
      }
    }
    if (marker == 0xDA) return -1;  // the scan starts: no more tables
    i += 2 + length;
  }
  return -1;
}

// ------------------------------------------------------------------ pixels

TEST(JpegPixels, DecodedPictureHasTheSizeAndThePixelsWithinTolerance) {
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_ARGB32}) {
    const QImage source = TestPicture(64, 48, format);
    const QImage decoded = Decoded(EncodeJpeg(source, 50));
    ASSERT_FALSE(decoded.isNull()) << format;
    ASSERT_EQ(decoded.size(), source.size());
    // Inside each flat quarter (4 pixels from its edges) the colour survives
    // quality 50 closely; at the edges between quarters it rings.
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool interior = std::abs(x - 32) >= 4 && std::abs(y - 24) >= 4 && x >= 2 && y >= 2 && x < 62 && y < 46;
        if (!interior) continue;
        ASSERT_LE(ChannelDistance(decoded.pixel(x, y), source.pixel(x, y)), 12) << x << "," << y << " format " << format;
      }
    }
  }
}

TEST(JpegPixels, PictureSizesNotMultipleOfTheBlockSizeKeepTheirSize) {
  for (const QSize size : {QSize(1, 1), QSize(17, 9), QSize(33, 70)}) {
    const QImage decoded = Decoded(EncodeJpeg(TestPicture(size.width(), size.height()), 50));
    EXPECT_EQ(decoded.size(), size);
  }
}

// ------------------------------------------------------------------ file layout

TEST(JpegLayout, FileIsJfifFromStartOfImageToEndOfImage) {
  const std::vector<uint8_t> b = EncodeJpeg(TestPicture(16, 16), 50);
  ASSERT_GT(b.size(), 20u);
  EXPECT_EQ(b[0], 0xFF);
  EXPECT_EQ(b[1], 0xD8);
  EXPECT_EQ(b[2], 0xFF);
  EXPECT_EQ(b[3], 0xE0);
  EXPECT_EQ(std::string(b.begin() + 6, b.begin() + 11), std::string("JFIF\0", 5));
  EXPECT_EQ(b[b.size() - 2], 0xFF);
  EXPECT_EQ(b[b.size() - 1], 0xD9);
}

TEST(JpegLayout, QualityScalesTheStandardTablesAndIsClampedTo1To100) {
  struct TCase {
    int quality;
    int luminance;    // first entry of table 0 (standard: 16)
    int chrominance;  // first entry of table 1 (standard: 17)
  };
  const TCase cases[] = {
      {50, 16, 17},   // the standard tables unscaled
      {90, 3, 3},     // scaled by 20 %
      {100, 1, 1},    // every entry 1
      {150, 1, 1},    // clamped to 100
      {1, 255, 255},  // scaled by 5000 %, capped for baseline
      {-7, 255, 255}, // clamped to 1
  };
  for (const TCase& c : cases) {
    const std::vector<uint8_t> b = EncodeJpeg(TestPicture(16, 16), c.quality);
    EXPECT_EQ(FirstQuantValue(b, 0), c.luminance) << c.quality;
    EXPECT_EQ(FirstQuantValue(b, 1), c.chrominance) << c.quality;
  }
}

// ------------------------------------------------------------------ failures

TEST(JpegFailures, PicturesTheLibraryRefusesRaiseItsText) {
  EXPECT_EQ(ThrownMessage<EJPEG>([] { EncodeJpeg(QImage(), 50); }), "Empty JPEG image (DNL not supported)");
  EXPECT_EQ(ThrownMessage<EJPEG>([] { EncodeJpeg(QImage(kMaxJpegDimension + 1, 1, QImage::Format_RGB888), 50); }),
            "Maximum supported image dimension is 65500 pixels");
}

// Memory the library could not have is the memory refusal of every picture, not the
// library's "Insufficient memory". In a child under an address-space limit, whose
// allocator gives null instead of ending it.
TEST(JpegFailures, MemoryTheLibraryCannotHaveIsRefusedAsEveryPictureIs) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string options = sanitizer ? sanitizer : "";
  setenv("ASAN_OPTIONS", (options + ":allocator_may_return_null=1").c_str(), 1);
  EXPECT_EXIT(
      {
        SetAvailableMemoryProbe([] { return int64_t{1} << 40; });
        // Rows of blocks of a picture this wide take megabytes of the library's.
        const QImage wide(60000, 2, QImage::Format_RGB888);
        TMemoryStream stream;
        stream.Reserve(1 << 20);
        if (!LimitAddressSpace(int64_t{512} << 10)) _exit(2);
        const std::string message = ThrownMessage<EGraphicTooLarge>([&] { WriteJpegToStream(stream, wide, 50); });
        _exit(message.starts_with("This \"JPEG Image File\" image of 60000 x 2 pixels is too large: it needs ") &&
                      message.ends_with(", which could not be had with the 1048576 MB available now.")
                  ? 0
                  : 1);
      },
      ::testing::ExitedWithCode(0), "");
  if (sanitizer) setenv("ASAN_OPTIONS", options.c_str(), 1);
  else unsetenv("ASAN_OPTIONS");
}

// A stream that takes `room` bytes and then refuses.
class TFullStream : public TMemoryStream {
 public:
  explicit TFullStream(int32_t room) : room_(room) {}
  bool Write(const void* buf, int32_t n) override {
    if (n > room_) return false;
    room_ -= n;
    return TMemoryStream::Write(buf, n);
  }

 private:
  int32_t room_;
};

TEST(JpegFailures, StreamThatRefusesBytesRaisesStreamWriteError) {
  // Large enough that the library flushes its block more than once.
  const QImage noisy = [] {
    QImage image(300, 300, QImage::Format_RGB32);
    uint32_t seed = 12345;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 300; ++x) {
        seed = seed * 1103515245u + 12345u;
        image.setPixel(x, y, seed >> 8);
      }
    return image;
  }();
  for (int32_t room : {0, 100, 20000}) {
    TFullStream stream(room);
    EXPECT_EQ(ThrownMessage<EGraphicFileError>([&] { WriteJpegToStream(stream, noisy, 50); }), "Stream write error")
        << room;
  }
}

TEST(JpegFiles, WrittenFileReadsBackThroughQt) {
  TScratchFolder folder;
  const std::string path = folder.File("view.jpg");
  WriteJpegToFile(path, TestPicture(40, 30), 50);
  QImage read(QString::fromStdString(path));
  ASSERT_FALSE(read.isNull());
  EXPECT_EQ(read.size(), QSize(40, 30));
  EXPECT_LE(ChannelDistance(read.pixel(5, 5), qRgb(220, 30, 30)), 12);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"view.jpg"});  // no temporary left
}

TEST(JpegFiles, RefusedPictureLeavesTheExistingFileUntouched) {
  TScratchFolder folder;
  folder.Put("view.jpg", "old contents");
  EXPECT_THROW(WriteJpegToFile(folder.File("view.jpg"), QImage(), 50), EJPEG);
  EXPECT_EQ(folder.Get("view.jpg"), "old contents");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"view.jpg"});
}

TEST(JpegFiles, FileInAMissingFolderRaisesAFileErrorNamingIt) {
  TScratchFolder folder;
  const std::string path = folder.File("missing/view.jpg");
  const std::string message = ThrownMessage<EGraphicFileError>([&] { WriteJpegToFile(path, TestPicture(8, 8), 50); });
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace qira

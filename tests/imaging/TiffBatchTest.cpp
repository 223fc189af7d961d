// Pixel rows leave the TIFF writer in batches; a picture of several batches
// must come out whole, the same to a file as to memory.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/TiffWriter.h"
#include "platform/BinaryStream.h"
#include "platform/Picture.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

TEST(TiffWriterBatches, PictureOfSeveralBatchesReadsBackWholeAndEqualsTheMemoryCopy) {
  EnsureTestApplication();
  ASSERT_TRUE(QImageReader::supportedImageFormats().contains("tiff")) << "Qt has no TIFF plugin; run scripts/setup";
  // 601 x 500 x 3 bytes: about 900 kB of rows, several batches with a short last one.
  QImage image(601, 500, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x * 7 + y * 3) & 0xFF));
  const TBitmapGraphic bitmap(image, 24);

  TScratchFolder folder;
  const std::string path = folder.File("batches.tif");
  ASSERT_TRUE(WriteTiffToFile(path, bitmap));
  TMemoryStream memory;
  ASSERT_TRUE(WriteTiffToStream(memory, bitmap));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file, memory.Data());

  QImageReader reader(QString::fromStdString(path), "tiff");
  const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(back.size(), image.size()) << reader.errorString().toStdString();
  EXPECT_EQ(back, image);
}

}  // namespace
}  // namespace qira

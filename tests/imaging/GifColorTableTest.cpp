// A GIF without any colour table reads back, after writing, as the same picture.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <vector>

#include "imaging/GifImage.h"
#include "platform/BinaryStream.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

std::vector<uint8_t> Saved(const TGIFImage& gif) {
  TMemoryStream stream;
  gif.SaveToStream(stream);
  return stream.TakeData();
}

QImage Read(const std::vector<uint8_t>& bytes) {
  TGIFImage gif;
  TMemoryStream stream(bytes.data(), bytes.size());
  gif.LoadFromStream(stream);
  return gif.ToImage();
}

TEST(GifColorTables, AFileWithoutAnyColourTableWritesTheSamePicture) {
  // Our file of a 4-colour picture, its global table then cut out: one frame
  // leaning on a table that is not there.
  QImage picture(6, 3, QImage::Format_RGB32);
  const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) picture.setPixel(x, y, colours[(x + y) % 4]);
  TGIFImage made;
  made.AssignImage(picture);
  std::vector<uint8_t> bytes = Saved(made);
  ASSERT_TRUE(bytes[10] & 0x80);
  const size_t tableSize = 3u << ((bytes[10] & 7) + 1);
  bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + static_cast<std::ptrdiff_t>(tableSize));
  bytes[10] = 0;
  const QImage first = Read(bytes);
  ASSERT_FALSE(first.isNull());

  TGIFImage gif;
  TMemoryStream stream(bytes.data(), bytes.size());
  gif.LoadFromStream(stream);
  const std::vector<uint8_t> written = Saved(gif);
  EXPECT_EQ(written[10] & 0x80, 0);  // still no global table
  EXPECT_EQ(Read(written), first);
}

}  // namespace
}  // namespace qira

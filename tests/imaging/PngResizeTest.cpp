// Setting the width or the height of a PNG picture: the pixels that still fit
// stay where they were from the top-left, the header takes the new size, the
// other chunks stay, and the saved file is a valid PNG of the new size.
#include <gtest/gtest.h>

#include <QImage>

#include "imaging/PngErrors.h"
#include "imaging/PngMessages.h"
#include "imaging/PngFixtures.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

struct TResizeCase {
  const char* name;
  const char* fixture;
  bool width;     // SetWidth, else SetHeight
  int32_t delta;  // added to the size held
};

class PngResize : public ::testing::TestWithParam<TResizeCase> {};

TEST_P(PngResize, KeepsTheOverlapAndTheOtherSideAndTheChunks) {
  const TResizeCase& c = GetParam();
  TPNGObject png;
  LoadPngFixture(png, c.fixture);
  const QImage before = png.ToImage();
  const std::vector<std::string> chunksBefore = ChunkNames(SavedBytes(png));
  const int32_t w = png.Width() + (c.width ? c.delta : 0);
  const int32_t h = png.Height() + (c.width ? 0 : c.delta);
  if (c.width) png.SetWidth(w);
  else png.SetHeight(h);
  ASSERT_EQ(png.Width(), w);
  ASSERT_EQ(png.Height(), h);

  const std::vector<uint8_t> bytes = SavedBytes(png);
  EXPECT_EQ(ChunkNames(bytes), chunksBefore);
  const QImage peer = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "PNG");
  ASSERT_EQ(peer.size(), QSize(w, h)) << "an independent reader sees the new size";

  TPNGObject reread;
  TMemoryStream stream(bytes);
  reread.LoadFromStream(stream);
  const QImage after = reread.ToImage();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (x < before.width() && y < before.height()) {
        EXPECT_EQ(after.pixel(x, y), before.pixel(x, y)) << x << "," << y;
      } else if (after.hasAlphaChannel()) {
        EXPECT_EQ(qAlpha(after.pixel(x, y)), 255) << "new pixels are opaque " << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngResize,
    ::testing::Values(TResizeCase{"WiderRgb", "rgb8.png", true, 3}, TResizeCase{"NarrowerRgb", "rgb8.png", true, -1},
                      TResizeCase{"TallerRgbaNewAlphaOpaque", "rgba8.png", false, 2},
                      TResizeCase{"ShorterRgba", "rgba8.png", false, -1},
                      TResizeCase{"NarrowerFourBitGreyCutsInsideAByte", "grey4.png", true, -1},
                      TResizeCase{"WiderTwoBitGrey", "grey2.png", true, 5},
                      TResizeCase{"TallerPaletteKeepsPlteAndTrns", "pal_trns_shared_colour.png", false, 3},
                      TResizeCase{"WiderSixteenBit", "rgb16.png", true, 2},
                      TResizeCase{"SameSizeChangesNothing", "rgb8.png", true, 0}),
    [](const ::testing::TestParamInfo<TResizeCase>& info) { return std::string(info.param.name); });

TEST(PngResizeRefused, SizeBelowOneKeepsThePictureAndNoHeaderIsNamed) {
  TPNGObject png;
  LoadPngFixture(png, "rgb8.png");
  const int32_t w = png.Width(), h = png.Height();
  EXPECT_EQ(ThrownMessage<EPNGInvalidNewSize>([&] { png.SetWidth(0); }), EPNGInvalidNewSizeText);
  EXPECT_EQ(ThrownMessage<EPNGInvalidNewSize>([&] { png.SetHeight(-4); }), EPNGInvalidNewSizeText);
  EXPECT_EQ(png.Width(), w);
  EXPECT_EQ(png.Height(), h);
  TPNGObject empty;
  EXPECT_EQ(ThrownMessage<EPNGHeaderNotPresent>([&] { empty.SetHeight(3); }), EPNGHeaderNotPresentText);
  empty.SetWidth(0);  // the size held: nothing to do
  EXPECT_TRUE(empty.Empty());
}

}  // namespace
}  // namespace qira

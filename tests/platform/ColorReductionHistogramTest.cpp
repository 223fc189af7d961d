// The histogram reduction merges the colours counted so far when it coarsens
// its masks; these tests hold it to the plain rule of counting every pixel
// again under each mask until at most 2049 colours remain.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <map>
#include <numeric>
#include <vector>

#include "platform/ColorReduction.h"

namespace qira {
namespace {

// The rule written the plain way.
TReducedPicture PlainHistogram(const QImage& image) {
  std::vector<uint32_t> keys;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) keys.push_back(image.pixel(x, y) & 0xFFFFFF);
  uint8_t r = 0xFF, g = 0xFF, b = 0xFF;
  std::vector<uint32_t> colors;  // first-met order
  std::vector<int64_t> counts;
  std::vector<int32_t> entryOf(keys.size());
  for (;;) {
    const uint32_t mask = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    std::map<uint32_t, int32_t> seen;
    colors.clear();
    counts.clear();
    for (size_t i = 0; i < keys.size(); ++i) {
      const uint32_t k = keys[i] & mask;
      auto [it, added] = seen.emplace(k, static_cast<int32_t>(colors.size()));
      if (added) {
        colors.push_back(k);
        counts.push_back(0);
      }
      ++counts[static_cast<size_t>(it->second)];
      entryOf[i] = it->second;
    }
    if (colors.size() <= 2049) break;
    if (r < g) g = static_cast<uint8_t>(g << 1);
    else if (r <= b) b = static_cast<uint8_t>(b << 1);
    else r = static_cast<uint8_t>(r << 1);
  }
  std::vector<int32_t> order(colors.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t c) { return counts[a] > counts[c]; });
  TReducedPicture out;
  out.Width = image.width();
  out.Height = image.height();
  out.Palette.fill(qRgb(128, 128, 128));
  std::vector<uint8_t> index(colors.size());
  const size_t used = std::min<size_t>(order.size(), 256);
  for (size_t i = 0; i < used; ++i) {
    out.Palette[i] = 0xFF000000u | colors[static_cast<size_t>(order[i])];
    index[static_cast<size_t>(order[i])] = static_cast<uint8_t>(i);
  }
  for (size_t i = used; i < order.size(); ++i) {
    const QRgb c = colors[static_cast<size_t>(order[i])];
    int64_t best = 196608;
    for (size_t k = 0; k < used; ++k) {
      const int64_t dr = qRed(out.Palette[k]) - qRed(c), dg = qGreen(out.Palette[k]) - qGreen(c),
                    db = qBlue(out.Palette[k]) - qBlue(c);
      if (dr * dr + dg * dg + db * db < best) {
        best = dr * dr + dg * dg + db * db;
        index[static_cast<size_t>(order[i])] = static_cast<uint8_t>(k);
      }
    }
  }
  for (int32_t e : entryOf) out.Indices.push_back(index[static_cast<size_t>(e)]);
  return out;
}

QImage Noisy(int width, int height, uint32_t noiseMask) {
  QImage image(width, height, QImage::Format_RGB32);
  uint32_t seed = 7;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      image.setPixel(x, y, (0xFF000000u | (uint32_t(x * 3) << 16) | (uint32_t(y * 5) << 8) | uint32_t(x + y)) ^
                               ((seed >> 8) & noiseMask));
    }
  return image;
}

TEST(ColorReduceHistogram, CoarsenedCountsMatchCountingEveryPixelAgain) {
  struct TCase {
    const char* name;
    QImage image;
  };
  const TCase cases[] = {
      {"gradient with runs of one colour", Noisy(300, 200, 0)},
      {"light noise", Noisy(300, 200, 0x030303)},
      {"heavy noise, many coarsenings", Noisy(320, 240, 0x3F3F3F)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TReducedPicture expected = PlainHistogram(c.image);
    const TReducedPicture actual = ReduceColors(c.image, rmHistogram);
    EXPECT_EQ(actual.Palette, expected.Palette);
    EXPECT_EQ(actual.Indices, expected.Indices);
    EXPECT_EQ(actual.ColorsUsed, 0);
  }
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/components/Colors.h"
#include "support/CountingComponent.h"

namespace qira {
namespace {

// ------------------------------------------------------------- conversions

TEST(ColorConversion, ColorVectorToWindowsColorRoundsAndClamps) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    TVector color;
    uint32_t expected;
  } cases[] = {
      {{1.0f, 0.5f, 0.0f, 1.0f}, 0x000080FF},  // 127.5 rounds to the even 128
      {{0.502f, 0.0f, 0.0f, 1.0f}, 0x00000080},
      {{0.0f, 0.0f, 1.0f, 0.0f}, 0x00FF0000},  // blue in byte 2; alpha ignored
      {{0.0f, 1.0f, 0.0f, 0.3f}, 0x0000FF00},
      {{1.2f, 0.0f, 0.0f, 1.0f}, 0x000000FF},  // 306 saturates, never wraps to 50
      {{0.0f, -0.3f, 0.0f, 1.0f}, 0x00000000},
      {{0.0f, 0.0f, 4.0f, 1.0f}, 0x00FF0000},
      {{nan, 0.0f, 0.0f, 1.0f}, 0x00000000},
      {{inf, -inf, 0.0f, 1.0f}, 0x000000FF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertColorVector(c.color), c.expected)
        << c.color.x << " " << c.color.y << " " << c.color.z;
  }
}

TEST(ColorConversion, WindowsColorToColorVectorTakesRedFromTheLowestByte) {
  const TVector green = ConvertWinColor(0x0000FF00, 0.5f);
  EXPECT_EQ(green.x, 0.0f);
  EXPECT_EQ(green.y, 1.0f);
  EXPECT_EQ(green.z, 0.0f);
  EXPECT_EQ(green.w, 0.5f);
  const TVector c = ConvertWinColor(0x00FF8001);
  EXPECT_EQ(c.x, static_cast<float>(1.0 / 255.0));
  EXPECT_EQ(c.y, static_cast<float>(128.0 / 255.0));
  EXPECT_EQ(c.z, 1.0f);
  EXPECT_EQ(c.w, 1.0f);
  for (uint32_t v : {0x00000000u, 0x00123456u, 0x00FFFFFFu, 0x00808080u}) {
    EXPECT_EQ(ConvertColorVector(ConvertWinColor(v)), v) << std::hex << v;
  }
}

TEST(ColorConversion, SystemColorsAreResolvedBeforeConversion) {
  const uint32_t buttonFace = SystemColor(15);
  const TVector face = ConvertWinColor(0xFF00000F, 0.25f);
  EXPECT_EQ(ConvertColorVector(face), buttonFace);
  EXPECT_EQ(face.w, 0.25f);
  EXPECT_EQ(ResolveSystemColor(0x00123456), 0x00123456u);
  // A value whose top byte is something else is not a system colour.
  EXPECT_EQ(ConvertColorVector(ConvertWinColor(0x1F00000F)), 0x0000000Fu);

  SetSystemColorResolver([](uint8_t index) { return index == 15 ? 0x00102030u : 0u; });
  EXPECT_EQ(ConvertColorVector(ConvertWinColor(0xFF00000F)), 0x00102030u);
  SetSystemColorResolver({});
  EXPECT_EQ(SystemColor(15), buttonFace);
  EXPECT_EQ(SystemColor(200), 0u);
}

// ---------------------------------------------------------------- TGLColor

TEST(GLColor, ComponentSettersNotifyOnceAndOnlyOnChange) {
  TCountingComponent owner;
  int events = 0;
  TGLColor color(&owner, {0.5f, 0.5f, 0.5f, 1.0f}, [&](TObject*) { ++events; });
  color.SetRed(0.5f);
  EXPECT_EQ(owner.notified, 0);
  EXPECT_EQ(events, 0);
  color.SetRed(0.25f);
  EXPECT_EQ(owner.notified, 1);
  EXPECT_EQ(owner.lastSender, &color);
  EXPECT_EQ(events, 1);
  EXPECT_EQ(color.Red(), 0.25f);
  color.SetAlpha(0.0f);
  EXPECT_EQ(owner.notified, 2);
}

TEST(GLColor, SystemColorValueStoresItsComponentsWithAlphaOne) {
  TGLColor color(nullptr, {0.0f, 0.0f, 0.0f, 0.2f});
  color.SetAsWinColor(0xFF000005);  // window
  EXPECT_EQ(color.GetAsWinColor(), SystemColor(5));
  EXPECT_EQ(color.Alpha(), 1.0f);
}

TEST(GLColor, StoredFormIsSixteenLittleEndianBytes) {
  TGLColor color(nullptr, {1.0f, 0.0f, -2.0f, 0.5f});
  TMemoryStream stream;
  color.WriteData(stream);
  const std::vector<uint8_t> expected = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x3F};
  EXPECT_EQ(stream.Data(), expected);

  TCountingComponent owner;
  TGLColor copy(&owner);
  stream.Seek(0);
  copy.ReadData(stream);
  EXPECT_EQ(owner.notified, 0);
  EXPECT_EQ(copy.Blue(), -2.0f);
  EXPECT_EQ(copy.Alpha(), 0.5f);

  TMemoryStream shortStream(std::vector<uint8_t>(expected.begin(), expected.begin() + 15));
  EXPECT_THROW(copy.ReadData(shortStream), EReadError);
  EXPECT_EQ(copy.Red(), 1.0f);
}

}  // namespace
}  // namespace qira

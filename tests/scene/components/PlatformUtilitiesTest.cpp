#include "scene/components/PlatformUtilities.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace qira {
namespace {

TEST(PlatformColours, RgbCutsEachArgumentToItsLowByte) {
  EXPECT_EQ(RGB(255, 0, 0), 0x000000FFu);
  EXPECT_EQ(RGB(0x1FF, 0, 0), 0x000000FFu);
  EXPECT_EQ(RGB(1, 2, 3), 0x00030201u);
  EXPECT_EQ(RGB(-1, 0, 256), 0x000000FFu);
}

class ScreenFacts : public ::testing::Test {
 protected:
  void TearDown() override { SetScreenCapsProvider(nullptr); }
};

TEST_F(ScreenFacts, PixelFormatsGiveTheirBitsAndDeviceFormatsTheScreenDepth) {
  SetScreenCapsProvider([] { return TScreenCaps{120, 110, 16, -1}; });
  const std::pair<TPixelFormat, int> cases[] = {
      {TPixelFormat::pfDevice, 16}, {TPixelFormat::pfCustom, 16}, {TPixelFormat::pf1bit, 1},
      {TPixelFormat::pf4bit, 4},    {TPixelFormat::pf8bit, 8},    {TPixelFormat::pf15bit, 15},
      {TPixelFormat::pf16bit, 16},  {TPixelFormat::pf24bit, 24},  {TPixelFormat::pf32bit, 32},
  };
  for (const auto& [format, bits] : cases) EXPECT_EQ(PixelFormatToColorBits(format), bits);
  EXPECT_EQ(GetDeviceLogicalPixelsX(), 120);
  EXPECT_EQ(GetScreenCaps().logicalPixelsY, 110);
  EXPECT_EQ(GetCurrentColorDepth(), 16);
}

class Clock : public ::testing::Test {
 protected:
  void TearDown() override { SetPerformanceClock({}); }
};

TEST_F(Clock, AnInstalledClockDrivesCounterFrequencyAndTicks) {
  int64_t now = 12345678;
  SetPerformanceClock({[&] { return now; }, 1000000});
  int64_t counter = 0, frequency = 0;
  QueryPerformanceCounter(counter);
  EXPECT_EQ(counter, 12345678);
  EXPECT_TRUE(QueryPerformanceFrequency(frequency));
  EXPECT_EQ(frequency, 1000000);
  EXPECT_EQ(GetTickCount(), 12345u);
  now = int64_t{5000000} * 1000000;  // 5e6 s: the tick count wraps at 2^32 ms
  EXPECT_EQ(GetTickCount(), static_cast<uint32_t>(uint64_t{5000000000}));

  SetPerformanceClock({[] { return int64_t{1}; }, 0});
  EXPECT_FALSE(QueryPerformanceFrequency(frequency));
  EXPECT_EQ(frequency, 0);
}

TEST_F(Clock, TickCountOfExtremeClocksWrapsWithoutOverflow) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  SetPerformanceClock({[] { return kMax; }, 1});
  EXPECT_EQ(GetTickCount(), static_cast<uint32_t>(static_cast<uint64_t>(kMax) * 1000u));
  SetPerformanceClock({[] { return kMax - 1; }, kMax});
  EXPECT_EQ(GetTickCount(), 999u);
}

TEST(OSErrors, TheMessageCarriesTheSystemText) {
  try {
    RaiseLastOSError(ENOENT);
    FAIL() << "no error";
  } catch (const EOSError& e) {
    EXPECT_STREQ(e.what(), "OS Error : No such file or directory");
  }
}

TEST(Bitmaps, ScanLinesInsideTheImageOnly) {
  QImage image(4, 3, QImage::Format_RGB32);
  EXPECT_EQ(BitmapScanLine(image, 0), image.scanLine(0));
  EXPECT_EQ(BitmapScanLine(image, 2), image.scanLine(2));
  EXPECT_EQ(BitmapScanLine(image, 3), nullptr);
  EXPECT_EQ(BitmapScanLine(image, -1), nullptr);
}

}  // namespace
}  // namespace qira

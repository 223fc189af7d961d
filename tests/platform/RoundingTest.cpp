#include <gtest/gtest.h>

#include <limits>

#include "platform/Rounding.h"

namespace qira {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  const struct { double in; int32_t out; } cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}};
  for (const auto& c : cases) EXPECT_EQ(RoundToInt(c.in), c.out) << c.in;
}

TEST(Rounding, ConversionsSaturateAndNaNGivesZero) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RoundToInt(-inf), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(RoundToInt(std::nan("")), 0);
  EXPECT_EQ(TruncToInt(2147483647.9), 2147483647);
  EXPECT_EQ(TruncToInt(-2.9), -2);
  EXPECT_EQ(FloorToInt(-2.1), -3);
  EXPECT_EQ(SaturateCast<uint8_t>(300.0), 255);
  EXPECT_EQ(SaturateCast<uint8_t>(-1.0), 0);
  EXPECT_EQ(SaturateCast<int64_t>(1e30), std::numeric_limits<int64_t>::max());
}

}  // namespace qira

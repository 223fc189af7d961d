#include <gtest/gtest.h>

#include "platform/ProgramVersion.h"

namespace qira {

TEST(ProgramVersion, IntegerFormWeighsEachFieldByItsPlace) {
  EXPECT_EQ(ProgramVersionNumber({2, 5, 3, 7}), 2050307);
  EXPECT_EQ(ProgramVersionNumber({0, 0, 0, 0}), 0);
  EXPECT_EQ(ProgramVersionText({2, 5, 3, 7}), "2.5.3.7");
}

}  // namespace qira

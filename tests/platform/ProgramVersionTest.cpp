#include <gtest/gtest.h>

#include "platform/ProgramVersion.h"

namespace qira {

TEST(ProgramVersion, IntegerFormWeighsEachFieldByItsPlace) {
  EXPECT_EQ(ProgramVersionNumber({2, 5, 3, 7}), 2050307);
  EXPECT_EQ(ProgramVersionNumber({0, 0, 0, 0}), 0);
  EXPECT_EQ(ProgramVersionText({2, 5, 3, 7}), "2.5.3.7");
}

TEST(ProgramVersion, BuiltVersionMatchesItsText) {
  const TProgramVersion v = ProgramFileVersion();
  EXPECT_EQ(ProgramVersionText(v), std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." +
                                       std::to_string(v.Release) + "." + std::to_string(v.Build));
  EXPECT_GE(ProgramVersionNumber(), 1000000);
}

}  // namespace qira

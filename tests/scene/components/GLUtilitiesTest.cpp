#include "scene/components/GLUtilities.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/ScratchFolder.h"

namespace qira {
namespace {

TEST(PowerOfTwo, RoundsUpToTheNextPower) {
  const std::pair<int32_t, int32_t> cases[] = {
      {-5, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 4}, {255, 256}, {256, 256}, {257, 512},
      {(1 << 30) - 1, 1 << 30}, {1 << 30, 1 << 30}, {(1 << 30) + 1, 1 << 30}, {INT32_MAX, 1 << 30},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(RoundUpToPowerOf2(value), expected) << value;
}

TEST(TextFiles, SaveLoadAndSizeAgree) {
  TScratchFolder folder;
  const std::string name = folder.File("shader.txt");
  const std::string text("line one\r\nline \0two\xff", 21);
  SaveTextToFile(name, text);
  EXPECT_EQ(folder.Get("shader.txt"), text);
  EXPECT_EQ(LoadTextFromFile(name), text);
  EXPECT_EQ(FileSizeOf(name), 21);
  SaveTextToFile(name, "");
  EXPECT_EQ(FileSizeOf(name), 0);
  EXPECT_EQ(LoadTextFromFile(name), "");
}

TEST(TextFiles, AMissingFileIsEmptyAndHasNoSize) {
  TScratchFolder folder;
  EXPECT_EQ(LoadTextFromFile(folder.File("none.txt")), "");
  EXPECT_EQ(FileSizeOf(folder.File("none.txt")), 0);
}

TEST(TextFiles, AnUncreatableFileRaises) {
  TScratchFolder folder;
  EXPECT_THROW(SaveTextToFile(folder.File("no/such/folder.txt"), "x"), EFCreateError);
}

TEST(SquareRootTable, HoldsRoundedSquareRoots) {
  const auto& table = Sqrt255Table();
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 16);    // sqrt(1/255)*255 = 15.97
  EXPECT_EQ(table[64], 128);  // 127.75
  EXPECT_EQ(table[255], 255);
  for (int i = 0; i < 256; ++i) {
    EXPECT_NEAR(table[i], std::sqrt(i / 255.0) * 255.0, 0.5) << i;
    if (i > 0) {
      EXPECT_GE(table[i], table[i - 1]);
    }
  }
}

}  // namespace
}  // namespace qira

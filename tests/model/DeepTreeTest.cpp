// Trees as deep as the record reader accepts save and load; deeper ones are refused
// on save, and no depth exhausts the stack when saved, measured or destroyed.
#include <gtest/gtest.h>

#include <memory>

#include "model/GraphMain.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"

namespace qira {
namespace {

// A chain of groups `levels` deep, the root included.
std::unique_ptr<TGraphMain> Chain(int levels) {
  auto root = std::make_unique<TGraphMain>();
  TGraphMain* last = root.get();
  for (int i = 1; i < levels; ++i) last = last->AddChild(std::make_unique<TGraphMain>(), false);
  return root;
}

TEST(DeepTrees, ATreeAsDeepAsTheReaderAcceptsSavesAndLoadsBack) {
  auto root = Chain(MaxGraphNesting);
  TMemoryStream stream;
  ASSERT_TRUE(root->SaveToStream(stream));
  ASSERT_TRUE(stream.Seek(0));
  TGraphMain loaded;
  EXPECT_EQ(LoadGraphTree(stream, loaded), TGraphLoadResult::Loaded);
  EXPECT_EQ(GraphTreeDepth(loaded), MaxGraphNesting);
}

TEST(DeepTrees, DeeperTreesAreRefusedOnSaveWithoutExhaustingTheStack) {
  for (int levels : {MaxGraphNesting + 1, 100000}) {
    SCOPED_TRACE(levels);
    auto root = Chain(levels);
    EXPECT_EQ(GraphTreeDepth(*root), levels);
    TMemoryStream stream;
    EXPECT_FALSE(root->SaveToStream(stream));
    // The refusal leaves the next save of a tree that fits unharmed.
    TMemoryStream again;
    EXPECT_TRUE(Chain(3)->SaveToStream(again));
  }
}

}  // namespace
}  // namespace qira

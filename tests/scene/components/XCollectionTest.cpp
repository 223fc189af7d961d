#include "scene/components/XCollection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "support/ArchiveBytes.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

// ---- item classes of the tests

class TTestBehaviour : public TXCollectionItem {
  QIRA_CLASS(TTestBehaviour, TXCollectionItem)
  TTestBehaviour() = default;
  static std::string FriendlyName() { return "Test behaviour"; }
  // A descendant's own data after the base archive.
  void WriteToFiler(TVirtualWriter& writer) const override {
    TXCollectionItem::WriteToFiler(writer);
    writer.WriteInteger(speed);
  }
  void ReadFromFiler(TVirtualReader& reader) override {
    TXCollectionItem::ReadFromFiler(reader);
    speed = reader.ReadInteger();
  }
  void Assign(const TPersistent* source) override {
    if (const auto* b = dynamic_cast<const TTestBehaviour*>(source)) speed = b->speed;
    TXCollectionItem::Assign(source);
  }
  int32_t speed = 0;
};

class TOtherBehaviour : public TTestBehaviour {
  QIRA_CLASS(TOtherBehaviour, TTestBehaviour)
  TOtherBehaviour() = default;
  static std::string FriendlyName() { return "Other"; }
  static std::string FriendlyDescription() { return "Another behaviour"; }
};

class TUniqueBehaviour : public TTestBehaviour {
  QIRA_CLASS(TUniqueBehaviour, TTestBehaviour)
  TUniqueBehaviour() = default;
  static std::string FriendlyName() { return "Unique"; }
  static bool UniqueItem() { return true; }
};

class TUniqueChild : public TUniqueBehaviour {
  QIRA_CLASS(TUniqueChild, TUniqueBehaviour)
  TUniqueChild() = default;
};

// Descends from a unique class without being unique itself.
class TCommonChild : public TUniqueBehaviour {
  QIRA_CLASS(TCommonChild, TUniqueBehaviour)
  TCommonChild() = default;
  static bool UniqueItem() { return false; }
};

class TShyBehaviour : public TTestBehaviour {
  QIRA_CLASS(TShyBehaviour, TTestBehaviour)
  TShyBehaviour() = default;
  static bool CanAddTo(const TXCollection&) { return false; }
};

// An item class that is not a behaviour.
class TTestEffect : public TXCollectionItem {
  QIRA_CLASS(TTestEffect, TXCollectionItem)
  TTestEffect() = default;
  static std::string FriendlyName() { return "Effect"; }
};

class TTestBehaviours : public TXCollection {
  QIRA_CLASS(TTestBehaviours, TXCollection)
  explicit TTestBehaviours(TPersistent* owner) : TXCollection(owner) {}
  const TXCollectionItemClass& ItemsClass() const override { return TTestBehaviour::StaticClass(); }

 protected:
  std::string NamePathSuffix() const override { return ".Behaviours"; }
};

class XCollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const TXCollectionItemClass* c :
         {static_cast<const TXCollectionItemClass*>(&TTestBehaviour::StaticClass()),
          static_cast<const TXCollectionItemClass*>(&TOtherBehaviour::StaticClass()),
          static_cast<const TXCollectionItemClass*>(&TUniqueBehaviour::StaticClass()),
          static_cast<const TXCollectionItemClass*>(&TTestEffect::StaticClass())}) {
      RegisterXCollectionItemClass(*c);
    }
  }

  static std::vector<uint8_t> Save(const TXCollection& collection) {
    TMemoryStream stream;
    TBinaryWriter writer(stream);
    collection.WriteToFiler(writer);
    return stream.Data();
  }
  static void Load(TXCollection& collection, const Bytes& bytes) {
    TMemoryStream stream(bytes);
    TBinaryReader reader(stream);
    collection.ReadFromFiler(reader);
  }
};

TEST_F(XCollectionTest, AnEmptyCollectionStoresTheSingleIntegerZero) {
  TTestBehaviours collection(nullptr);
  EXPECT_EQ(Save(collection), (Bytes{2, 0}));
}

TEST_F(XCollectionTest, ItemsAreStoredByClassNameOnceThenByIndex) {
  TTestBehaviours collection(nullptr);
  auto& first = collection.Add<TTestBehaviour>();
  first.speed = 3;
  auto& other = collection.Add<TOtherBehaviour>();
  other.speed = 200;
  other.SetName("\xC3\xA9t\xC3\xA9");  // accents: Windows-1252 in the archive
  collection.Add<TTestBehaviour>().speed = -1;
  EXPECT_EQ(first.Name(), "Test behaviour");

  Bytes expected{2, 3};
  AppendShortString(expected, "TTestBehaviour");
  Append(expected, {2, 0});
  AppendShortString(expected, "Test behaviour");
  Append(expected, {2, 3});
  AppendShortString(expected, "TOtherBehaviour");
  Append(expected, {2, 0, 6, 3, 0xE9, 't', 0xE9, 3, 200, 0});
  Append(expected, {2, 0});  // the first class again, by index
  Append(expected, {2, 0});
  AppendShortString(expected, "Test behaviour");
  Append(expected, {2, 0xFF});
  EXPECT_EQ(Save(collection), expected);

  TTestBehaviours back(nullptr);
  Load(back, expected);
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(&back.GetItems(0).ClassType(), &TTestBehaviour::StaticClass());
  EXPECT_EQ(&back.GetItems(1).ClassType(), &TOtherBehaviour::StaticClass());
  EXPECT_EQ(&back.GetItems(2).ClassType(), &TTestBehaviour::StaticClass());
  EXPECT_EQ(back.GetItems(1).Name(), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(static_cast<TTestBehaviour&>(back.GetItems(1)).speed, 200);
  EXPECT_EQ(static_cast<TTestBehaviour&>(back.GetItems(2)).speed, -1);
  EXPECT_EQ(back.GetItems(2).Owner(), &back);
}

struct RejectCase {
  const char* what;
  Bytes bytes;
};

TEST_F(XCollectionTest, ArchivesNamingAWrongOrUnknownClassAreRejectedAndLeaveTheCollectionEmpty) {
  Bytes effect{2, 1};
  AppendShortString(effect, "TTestEffect");
  Append(effect, {2, 0, 6, 0});
  Bytes badIndex{2, 2};
  AppendShortString(badIndex, "TTestBehaviour");
  Append(badIndex, {2, 0, 6, 0, 2, 0, 2, 1, 2, 0, 6, 0, 2, 0});
  Bytes indexFirst{2, 1, 2, 0, 2, 0, 6, 0, 2, 0};
  Bytes unregistered{2, 1};
  AppendShortString(unregistered, "TUniqueChild");  // a real class, never registered
  Append(unregistered, {2, 0, 6, 0, 2, 0});
  Bytes newerItem{2, 1};
  AppendShortString(newerItem, "TTestBehaviour");
  Append(newerItem, {2, 1, 6, 0, 2, 0});

  struct Expect {
    const Bytes* bytes;
    const char* message;
  };
  const Expect cases[] = {
      {&effect, "TTestBehaviours : wrong item class TTestEffect"},
      {&badIndex, "TTestBehaviours : bad item class index 1"},
      {&indexFirst, "TTestBehaviours : bad item class index 0"},
      {&unregistered, "Class TUniqueChild not found"},
      {&newerItem, "TTestBehaviour : unknown archive version 1"},
  };
  for (const Expect& c : cases) {
    SCOPED_TRACE(c.message);
    TTestBehaviours collection(nullptr);
    collection.Add<TTestBehaviour>();
    EXPECT_EQ(ThrownMessage<Exception>([&] { Load(collection, *c.bytes); }), c.message);
    EXPECT_EQ(collection.Count(), 0);
  }
}

TEST_F(XCollectionTest, HugeOrNegativeCountsFailBeforeAnythingIsMade) {
  for (const Bytes& b : {Bytes{4, 0xFF, 0xFF, 0xFF, 0x7F, 2, 0}, Bytes{2, 0xFF}, Bytes{2, 5, 2, 0, 2, 0}}) {
    TTestBehaviours collection(nullptr);
    EXPECT_THROW(Load(collection, b), EReadError);
    EXPECT_EQ(collection.Count(), 0);
  }
}

TEST_F(XCollectionTest, AnArchiveCutAtAnyByteFails) {
  TTestBehaviours collection(nullptr);
  collection.Add<TTestBehaviour>().speed = 70000;
  collection.Add<TOtherBehaviour>();
  collection.Add<TTestBehaviour>();
  const Bytes whole = Save(collection);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    TTestBehaviours back(nullptr);
    EXPECT_THROW(Load(back, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut))), Exception) << cut;
    EXPECT_EQ(back.Count(), 0);
  }
}

TEST_F(XCollectionTest, CanAddFollowsUniqueAndRefusingClasses) {
  TTestBehaviours collection(nullptr);
  EXPECT_TRUE(collection.CanAdd(TTestBehaviour::StaticClass()));
  EXPECT_FALSE(collection.CanAdd(TShyBehaviour::StaticClass()));
  EXPECT_TRUE(collection.CanAdd(TUniqueBehaviour::StaticClass()));
  collection.Add<TUniqueChild>();
  EXPECT_FALSE(collection.CanAdd(TUniqueBehaviour::StaticClass())) << "a descendant is present";
  EXPECT_TRUE(collection.CanAdd(TTestBehaviour::StaticClass()));
  collection.Clear();
  collection.Add<TUniqueBehaviour>();
  EXPECT_FALSE(collection.CanAdd(TCommonChild::StaticClass())) << "descends from a present unique class";
  // A unique class is only tested against instances of itself.
  EXPECT_TRUE(collection.CanAdd(TUniqueChild::StaticClass()));
  EXPECT_FALSE(collection.CanAdd(TUniqueBehaviour::StaticClass()));
  EXPECT_THROW(collection.Add<TTestEffect>(), EConvertError) << "not of the items class";
}

TEST_F(XCollectionTest, FreeingAnItemRemovesItFromItsCollection) {
  TTestBehaviours collection(nullptr);
  collection.Add<TTestBehaviour>();
  auto& second = collection.Add<TOtherBehaviour>();
  collection.Add<TTestBehaviour>();
  EXPECT_EQ(second.Index(), 1);
  collection.Remove(second);
  EXPECT_EQ(collection.Count(), 2);
  collection.Delete(0);
  EXPECT_EQ(collection.Count(), 1);
  EXPECT_THROW(collection.GetItems(1), EListError);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/components/VectorLists.h"
#include "support/ArchiveBytes.h"

namespace qira {
namespace {

// ---------------------------------------------------------------- archives
// Expected bytes follow the list archive: int8-tagged 0 (version), count, item
// size, the raw little-endian items, and for vector lists a second 0.

struct ArchiveCase {
  const char* className;
  std::function<std::unique_ptr<TBaseList>()> make;  // filled list
  Bytes expected;
};

std::vector<ArchiveCase> ArchiveCases() {
  std::vector<ArchiveCase> cases;
  cases.push_back({"TAffineVectorList",
                   [] {
                     auto l = std::make_unique<TAffineVectorList>();
                     l->Add(1.0f, -2.0f, 0.5f);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x01, 0x02, 0x0C,                          // version, count 1, size 12
                    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x3F,  // 1, -2, 0.5
                    0x02, 0x00}});                                                // vector list version
  cases.push_back({"TVectorList",
                   [] {
                     auto l = std::make_unique<TVectorList>();
                     l->AddPoint(0.0f, 1.0f, 2.0f);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x01, 0x02, 0x10,  //
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0x3F,
                    0x02, 0x00}});
  cases.push_back({"TTexPointList",
                   [] {
                     auto l = std::make_unique<TTexPointList>();
                     l->Add(0.25f, -1.0f);
                     l->Add(0.0f, 0.0f);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x02, 0x02, 0x08,  //
                    0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}});
  cases.push_back({"TIntegerList",
                   [] {
                     auto l = std::make_unique<TIntegerList>();
                     l->Add(-1);
                     l->Add(300);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x02, 0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0x00, 0x00}});
  cases.push_back({"TSingleList",
                   [] {
                     auto l = std::make_unique<TSingleList>();
                     l->Add(-0.0f);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x01, 0x02, 0x04, 0x00, 0x00, 0x00, 0x80}});
  cases.push_back({"TDoubleList",
                   [] {
                     auto l = std::make_unique<TDoubleList>();
                     l->Add(1.5);
                     return l;
                   },
                   {0x02, 0x00, 0x02, 0x01, 0x02, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}});
  {
    // 200 items: the count takes the 16-bit integer form.
    Bytes expected = {0x02, 0x00, 0x03, 0xC8, 0x00, 0x02, 0x01};
    for (int i = 0; i < 200; ++i) expected.push_back(static_cast<uint8_t>(i));
    cases.push_back({"TByteList",
                     [] {
                       auto l = std::make_unique<TByteList>();
                       for (int i = 0; i < 200; ++i) l->Add(static_cast<uint8_t>(i));
                       return l;
                     },
                     expected});
  }
  return cases;
}

class VectorListArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPersistenceClasses();
    RegisterVectorListClasses();
  }
};

TEST_F(VectorListArchives, EachRegisteredListWritesTheDocumentedBytesAndReadsThemBack) {
  for (const ArchiveCase& c : ArchiveCases()) {
    SCOPED_TRACE(c.className);
    const auto list = c.make();
    EXPECT_EQ(list->ClassName(), std::string(c.className));
    EXPECT_EQ(AsBytes(list->SaveToString()), c.expected);

    // Made by name through the registry, as object list archives do.
    const TClassInfo* cls = GetClass(c.className);
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TObject> made = cls->CreateInstance();
    auto* loaded = dynamic_cast<TBaseList*>(made.get());
    ASSERT_NE(loaded, nullptr);
    loaded->LoadFromString(AsString(c.expected));
    ASSERT_EQ(loaded->Count(), list->Count());
    EXPECT_EQ(0, std::memcmp(loaded->GetItemAddress(0), list->GetItemAddress(0),
                             static_cast<size_t>(list->Count()) * list->ItemSize()));
  }
}

TEST_F(VectorListArchives, EmptyAffineVectorListIsVersionCountSizeAndVectorVersion) {
  TAffineVectorList list;
  EXPECT_EQ(AsBytes(list.SaveToString()), (Bytes{0x02, 0x00, 0x02, 0x00, 0x02, 0x0C, 0x02, 0x00}));
}

TEST_F(VectorListArchives, MaliciousHeadersAreRejectedBeforeAllocating) {
  struct Case {
    const char* what;
    Bytes archive;
  };
  const Case cases[] = {
      {"huge count", {0x02, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04}},
      {"count one above the bytes", {0x02, 0x00, 0x02, 0x03, 0x02, 0x04, 1, 0, 0, 0, 2, 0, 0, 0}},
      {"negative count", {0x02, 0x00, 0x02, 0xFF, 0x02, 0x04}},
      {"item size of another class", {0x02, 0x00, 0x02, 0x01, 0x02, 0x08, 1, 0, 0, 0, 2, 0, 0, 0}},
      {"zero item size", {0x02, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, 0x02, 0x00}},
      {"negative item size", {0x02, 0x00, 0x02, 0x02, 0x02, 0xFC}},
      {"count of the wrong type", {0x02, 0x00, 0x09, 0x02, 0x04}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIntegerList list;
    EXPECT_THROW(list.LoadFromString(AsString(c.archive)), EReadError);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
  }
}

TEST_F(VectorListArchives, ItemSizeMismatchRaisesTheReadersTypeError) {
  TAffineVectorList list;
  try {
    list.LoadFromString(AsString({0x02, 0x00, 0x02, 0x00, 0x02, 0x10, 0x02, 0x00}));
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "TBinaryReader, read type error");
  }
}

TEST_F(VectorListArchives, UnknownVersionsRaiseTheArchiveError) {
  TAffineVectorList list;
  try {
    list.LoadFromString(AsString({0x02, 0x01}));
    FAIL();
  } catch (const EFilerException& e) {
    EXPECT_STREQ(e.what(), "TAffineVectorList : unknown archive version 1");
  }
  // The vector list's own version follows the items.
  EXPECT_THROW(list.LoadFromString(AsString({0x02, 0x00, 0x02, 0x00, 0x02, 0x0C, 0x02, 0x02})), EFilerException);
}

TEST_F(VectorListArchives, EveryTruncationOfAValidArchiveFails) {
  for (const ArchiveCase& c : ArchiveCases()) {
    SCOPED_TRACE(c.className);
    for (size_t cut = 0; cut < c.expected.size(); ++cut) {
      SCOPED_TRACE(cut);
      std::unique_ptr<TObject> made = GetClass(c.className)->CreateInstance();
      auto* list = dynamic_cast<TBaseList*>(made.get());
      ASSERT_NE(list, nullptr);
      EXPECT_ANY_THROW(list->LoadFromString(AsString(Bytes(c.expected.begin(), c.expected.begin() + cut))));
    }
  }
}

// -------------------------------------------------------- "Items" hex text

TEST_F(VectorListArchives, ItemsPropertyIsTheArchiveInUpperCaseHex) {
  TByteList list;
  list.Add(0xAB);
  list.Add(0x0F);
  TMemoryStream stream;
  {
    TBinaryWriter writer(stream);
    list.WriteItemsData(writer);
  }
  const std::string hex = "02000202020" "1AB0F";
  Bytes expected = {0x06, static_cast<uint8_t>(hex.size())};
  expected.insert(expected.end(), hex.begin(), hex.end());
  EXPECT_EQ(stream.Data(), expected);

  stream.Seek(0);
  TByteList copy;
  TBinaryReader reader(stream);
  copy.ReadItemsData(reader);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy[0], 0xAB);
  EXPECT_EQ(copy[1], 0x0F);
}

TEST_F(VectorListArchives, ItemsHexDecodingIsStrict) {
  EXPECT_EQ(DecodeItemsHex("00ff7Fa0"), std::string("\x00\xFF\x7F\xA0", 4));
  EXPECT_EQ(DecodeItemsHex(""), "");
  EXPECT_EQ(EncodeItemsHex(std::string("\x00\xFF\x7F\xA0", 4)), "00FF7FA0");
  for (const char* bad : {"0", "020", "0G", "G0", "02 0", "0x", "\xC3\xA9"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(DecodeItemsHex(bad), EReadError);
  }
}

TEST_F(VectorListArchives, ItemsTextWithABadCharacterLeavesTheListUnchanged) {
  TIntegerList list;
  list.Add(5);
  TMemoryStream stream;
  {
    TBinaryWriter writer(stream);
    writer.WriteString("020002010204050000Z0");
  }
  stream.Seek(0);
  TBinaryReader reader(stream);
  EXPECT_THROW(list.ReadItemsData(reader), EReadError);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], 5);
}

// ------------------------------------------------------- growth and access

TEST(VectorLists, SetCountZeroFillsAndSetsTheExactCapacity) {
  TVectorList list;
  list.SetCount(5);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(list.Capacity(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list[i].x, 0.0f);
    EXPECT_EQ(list[i].w, 0.0f);
  }
  // Shrinking keeps the storage; growing again zeroes what was left behind.
  list[4] = {9.0f, 9.0f, 9.0f, 9.0f};
  list.SetCount(4);
  list.SetCount(5);
  EXPECT_EQ(list[4].x, 0.0f);
  list.Flush();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 5);
  list.Clear();
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(VectorLists, IndexOfComparesBitForBit) {
  TAffineVectorList list;
  EXPECT_EQ(list.FindOrAdd({0.0f, 0.0f, 0.0f}), 0);
  EXPECT_EQ(list.IndexOf({-0.0f, 0.0f, 0.0f}), -1);
  EXPECT_EQ(list.FindOrAdd({-0.0f, 0.0f, 0.0f}), 1);
  EXPECT_EQ(list.FindOrAdd({0.0f, 0.0f, 0.0f}), 0);
  EXPECT_EQ(list.Count(), 2);
}

// ------------------------------------------------------------------ Assign

TEST(VectorLists, AssignFromAnotherListClassTakesTheCountWithZeroItems) {
  TAffineVectorList target;
  for (int i = 0; i < 40; ++i) target.Add(7.0f, 7.0f, 7.0f);
  target.SetCount(0);  // old items stay in the storage
  TIntegerList source;
  source.Add(1, 2, 3);
  target.Assign(&source);
  ASSERT_EQ(target.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(target[i].x, 0.0f);
    EXPECT_EQ(target[i].y, 0.0f);
    EXPECT_EQ(target[i].z, 0.0f);
  }
}

// ------------------------------------------------------- whole-list geometry

TEST(VectorLists, VectorListOperationsLeaveW) {
  TVectorList list;
  list.Add({3.0f, 0.0f, 4.0f, 7.0f});
  list.Add({1.0f, 1.0f, 1.0f, 2.0f});
  const TAffineVector sum = list.Sum();
  EXPECT_EQ(sum.x, 4.0f);
  EXPECT_EQ(sum.z, 5.0f);
  list.Translate(TAffineVector{1.0f, 2.0f, 3.0f});
  EXPECT_EQ(list[0].x, 4.0f);
  EXPECT_EQ(list[0].w, 7.0f);
  list.Normalize();
  EXPECT_FLOAT_EQ(list[1].x * list[1].x + list[1].y * list[1].y + list[1].z * list[1].z, 1.0f);
  EXPECT_EQ(list[1].w, 2.0f);
}

TEST(VectorLists, ListToListOperationsPairItemsByIndex) {
  TAffineVectorList a;
  a.Add(1.0f, 1.0f, 1.0f);
  a.Add(2.0f, 2.0f, 2.0f);
  TVectorList b;  // another item size: pairs by index, not by bytes
  b.AddPoint(1.0f, 0.0f, -1.0f);
  b.AddPoint(0.0f, 3.0f, 0.0f);
  EXPECT_EQ(a.MaxSpacing(b), 5.0f);  // |2-0| + |2-3| + |2-0|
  a.Translate(b);
  EXPECT_EQ(a[1].y, 5.0f);
  a.TranslateInv(b);
  EXPECT_EQ(a[1].y, 2.0f);
  a.Combine(b, 2.0f);
  EXPECT_EQ(a[0].z, -1.0f);
  EXPECT_EQ(b[0].w, 1.0f);
  TAffineVectorList empty;
  EXPECT_EQ(empty.MaxSpacing(a), 0.0f);
}

TEST(VectorLists, ListToListOperationsStopAtTheShorterList) {
  TAffineVectorList a;
  a.Add(1.0f, 1.0f, 1.0f);
  a.Add(2.0f, 2.0f, 2.0f);
  TAffineVectorList shorter;
  shorter.Add(1.0f, 1.0f, 1.0f);
  a.Translate(shorter);
  EXPECT_EQ(a[0].x, 2.0f);
  EXPECT_EQ(a[1].x, 2.0f);
}

TEST(VectorLists, LerpInterpolatesListsOfItsOwnClassOnly) {
  TAffineVectorList l1, l2, target;
  l1.Add(0.0f, 0.0f, 0.0f);
  l1.Add(2.0f, 2.0f, 2.0f);
  l2.Add(4.0f, 0.0f, 8.0f);
  l2.Add(2.0f, 6.0f, 2.0f);
  target.Lerp(l1, l2, 0.25f);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Capacity(), 2);
  EXPECT_EQ(target[0].x, 1.0f);
  EXPECT_EQ(target[0].z, 2.0f);
  EXPECT_EQ(target[1].y, 3.0f);

  // Another class: nothing changes.
  TVectorList other;
  other.AddPoint(9.0f, 9.0f, 9.0f);
  target.Lerp(other, other, 0.5f);
  EXPECT_EQ(target.Count(), 2);
  EXPECT_EQ(target[0].x, 1.0f);

  // The target may be one of the inputs.
  l1.Lerp(l1, l2, 0.5f);
  EXPECT_EQ(l1[0].x, 2.0f);
  EXPECT_EQ(l1[1].y, 4.0f);
}

TEST(VectorLists, LerpBeyondTheShorterSecondListKeepsTheFirstListsItems) {
  TAffineVectorList l1, l2, target;
  l1.Add(0.0f, 0.0f, 0.0f);
  l1.Add(5.0f, 5.0f, 5.0f);
  l2.Add(2.0f, 2.0f, 2.0f);
  target.Lerp(l1, l2, 0.5f);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target[0].x, 1.0f);
  EXPECT_EQ(target[1].x, 5.0f);
}

// ------------------------------------------------------------ QuickSortPairs

class Tagged : public TPersistentObject {
 public:
  explicit Tagged(int id) : id(id) {}
  int id;
};

TEST(QuickSortPairs, MatchesStdSortWithDuplicatesAndObjectsFollowTheirKeys) {
  std::mt19937 random(12345);
  for (int n : {1, 2, 3, 7, 16, 100, 1000}) {
    for (int range : {3, 50, 100000}) {
      SCOPED_TRACE(testing::Message() << "n " << n << " range " << range);
      std::uniform_int_distribution<int> pick(-range, range);
      std::vector<std::unique_ptr<Tagged>> owned;
      std::map<const TObject*, float> keyOf;
      TSingleList keys;
      TPersistentObjectList objects;
      std::vector<float> expected;
      for (int i = 0; i < n; ++i) {
        const float key = static_cast<float>(pick(random)) / 4.0f;
        owned.push_back(std::make_unique<Tagged>(i));
        keys.Add(key);
        objects.Add(owned.back().get());
        keyOf[owned.back().get()] = key;
        expected.push_back(key);
      }
      std::sort(expected.begin(), expected.end());
      QuickSortPairs(0, n - 1, keys, objects);
      std::vector<const TObject*> seen;
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(keys[i], expected[static_cast<size_t>(i)]) << i;
        ASSERT_EQ(keyOf.at(objects.GetItem(i)), keys[i]) << i;
        seen.push_back(objects.GetItem(i));
      }
      std::sort(seen.begin(), seen.end());
      EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    }
  }
}

TEST(QuickSortPairs, SortsOnlyTheGivenRangeAndRejectsARangeOutsideTheLists) {
  Tagged t[5] = {Tagged(0), Tagged(1), Tagged(2), Tagged(3), Tagged(4)};
  TSingleList keys;
  TPersistentObjectList objects;
  for (int i = 0; i < 5; ++i) {
    keys.Add(static_cast<float>(5 - i));
    objects.Add(&t[i]);
  }
  QuickSortPairs(1, 3, keys, objects);
  const float expected[] = {5.0f, 2.0f, 3.0f, 4.0f, 1.0f};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(keys[i], expected[i]);
  EXPECT_EQ(objects.GetItem(0), &t[0]);
  EXPECT_EQ(objects.GetItem(4), &t[4]);
  EXPECT_THROW(QuickSortPairs(0, 5, keys, objects), EListError);
  EXPECT_THROW(QuickSortPairs(-1, 2, keys, objects), EListError);
  QuickSortPairs(3, 2, keys, objects);  // empty range
  objects.Delete(4);
  EXPECT_THROW(QuickSortPairs(0, 4, keys, objects), EListError);
}

}  // namespace
}  // namespace qira

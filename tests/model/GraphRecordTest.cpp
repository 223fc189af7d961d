#include "model/GraphRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/Borehole.h"
#include "model/GeologyFiles.h"
#include "model/ModelFile.h"
#include "model/Palette.h"
#include "model/Section.h"
#include "model/FakeGraphKinds.h"
#include "model/FakeObjectTree.h"
#include "model/GeologyList.h"
#include "model/GraphPolyline.h"
#include "model/GraphSurface.h"
#include "model/GraphicsKinds.h"
#include "model/Palette.h"
#include "model/RecordFixtures.h"
#include "model/SectionGroup.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/HeapPeak.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct TObjectShape {
  std::string Name;
  bool Visible = true;
  uint8_t Transparency = 255;
  bool AcceptForAll = false;
  bool Exclusive = false;
  bool Expanded = false;
  TSurveyPoint Min = EmptyBoundsMin;
  TSurveyPoint Max = EmptyBoundsMax;
  std::vector<TObjectShape> Children;
};

// The tree the fixture generator writes as tree.bin (its sample_tree).
TObjectShape SampleTree() {
  TObjectShape deep{"deep", true, 0, false, false, true, EmptyBoundsMin, EmptyBoundsMax, {}};
  TObjectShape a1{"Section ½ – €", false, 255, false, true, false, EmptyBoundsMin, EmptyBoundsMax, {}};
  TObjectShape a2{"Ñandú", true, 255, false, true, true, {-1e6, 0.0, -0.0}, {1e6, 0.1, 7.0}, {deep}};
  TObjectShape a{"Géologie à Zürich", true, 128, true, false, true, {1.5, -2.25, 100.0},
                {10.0, 20.0, 300.125}, {a1, a2}};
  TObjectShape empty{"", true, 255, false, false, false, EmptyBoundsMin, EmptyBoundsMax, {}};
  TObjectShape objects{"Objects", false, 200, false, false, true, {-5, -6, -7}, {5, 6, 7}, {}};
  return TObjectShape{"", true, 255, false, false, false, EmptyBoundsMin, EmptyBoundsMax,
                     {a, empty, objects}};
}

void Fill(TGraphMain& o, const TObjectShape& shape) {
  o.SetName(shape.Name);
  o.SetVisible(shape.Visible);
  o.Transparency = shape.Transparency;
  o.AcceptForAll = shape.AcceptForAll;
  o.Exclusive = shape.Exclusive;
  o.Expanded = shape.Expanded;
  o.BoundsMin = shape.Min;
  o.BoundsMax = shape.Max;
  for (const TObjectShape& c : shape.Children) {
    auto child = std::make_unique<TGraphMain>();
    Fill(*child, c);
    o.AddChild(std::move(child), false);
  }
}

// Builds the tree with its tree nodes, whose expanded states are the ones stored.
void BuildSample(TGraphMain& root, TFakeObjectTree& tree) {
  Fill(root, SampleTree());
  root.AddToTree(&tree);
  root.ApplyExpanded(true);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(const TSurveyPoint& a, const TSurveyPoint& b) {
  return SameBits(a.X, b.X) && SameBits(a.Y, b.Y) && SameBits(a.Z, b.Z);
}

void ExpectMatches(const TGraphMain& o, const TObjectShape& shape, const std::string& path = "/") {
  SCOPED_TRACE(path + shape.Name);
  EXPECT_EQ(o.TypeId, GraphTypeId::Group);
  EXPECT_EQ(o.Name(), shape.Name);
  EXPECT_EQ(o.Visible(), shape.Visible);
  EXPECT_EQ(o.Transparency, shape.Transparency);
  EXPECT_EQ(o.AcceptForAll, shape.AcceptForAll);
  EXPECT_EQ(o.Exclusive, shape.Exclusive);
  EXPECT_EQ(o.Expanded, shape.Expanded);
  EXPECT_TRUE(SameBits(o.BoundsMin, shape.Min));
  EXPECT_TRUE(SameBits(o.BoundsMax, shape.Max));
  ASSERT_EQ(o.ChildCount(), static_cast<int>(shape.Children.size()));
  for (int i = 0; i < o.ChildCount(); ++i) {
    EXPECT_EQ(o.GetChild(i)->Parent(), &o);
    ExpectMatches(*o.GetChild(i), shape.Children[i], path + shape.Name + "/");
  }
}

std::vector<uint8_t> Saved(TGraphMain& root) {
  TMemoryStream s;
  EXPECT_TRUE(root.SaveToStream(s));
  return s.Data();
}

TGraphLoadResult Load(const std::vector<uint8_t>& bytes, TGraphMain& root) {
  TMemoryStream s(bytes);
  return LoadGraphTree(s, root);
}

int32_t Int32At(const std::vector<uint8_t>& b, size_t at) {
  int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

void PutInt32(std::vector<uint8_t>& b, size_t at, int32_t v) { std::memcpy(b.data() + at, &v, 4); }

// ---- Round trip and the independent layout ---------------------------------------------

TEST(GraphRecord, TreeWrittenMatchesTheIndependentLayoutByteForByte) {
  TFakeObjectTree tree;
  TGraphMain root;
  BuildSample(root, tree);
  EXPECT_EQ(Saved(root), FixtureBytes("tree.bin"));
}

// With the byte-for-byte match above, this also covers reading back what was written.
TEST(GraphRecord, TreeReadsBackIdentical) {
  TGraphMain fromFixture;
  TMemoryStream s(FixtureBytes("tree.bin"));
  ASSERT_EQ(LoadGraphTree(s, fromFixture), TGraphLoadResult::Loaded);
  EXPECT_EQ(s.Position(), s.Size());
  ExpectMatches(fromFixture, SampleTree());
}

TEST(GraphRecord, OffsetsAreAbsoluteBehindALegend) {
  TFakeObjectTree tree;
  TGraphMain root;
  BuildSample(root, tree);
  TMemoryStream s;
  ASSERT_TRUE(SampleLegend().SaveToStream(s));
  ASSERT_TRUE(root.SaveToStream(s));
  EXPECT_EQ(s.Data(), FixtureBytes("legend_then_tree.bin"));
}

TEST(GraphRecord, ExpandedIsTakenFromTheNodeAtSaveTime) {
  TFakeObjectTree tree;
  TGraphMain root;
  TGraphMain* a = root.AddChild(std::make_unique<TGraphMain>(), false);
  TGraphMain* b = root.AddChild(std::make_unique<TGraphMain>(), false);
  root.AddToTree(&tree);
  tree.SetNodeExpanded(a->GetTreeNode(), true);
  tree.SetNodeExpanded(b->GetTreeNode(), false);
  b->Expanded = true;
  auto detached = std::make_unique<TGraphMain>();
  detached->Expanded = true;
  TGraphMain* c = root.AddChild(std::move(detached), false);  // no node
  Saved(root);
  EXPECT_TRUE(a->Expanded);
  EXPECT_FALSE(b->Expanded);
  EXPECT_FALSE(c->Expanded);
  EXPECT_FALSE(root.Expanded);
}

// ---- Damaged and unknown records -------------------------------------------------------

TEST(GraphRecordDamage, EveryTruncationIsDamageAndLeavesTheRootEmpty) {
  const std::vector<uint8_t> whole = FixtureBytes("tree.bin");
  for (size_t n = 0; n < whole.size(); ++n) {
    TGraphMain root;
    root.SetName("before");
    root.AddChild(std::make_unique<TGraphMain>(), false);
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
    ASSERT_EQ(Load(cut, root), TGraphLoadResult::Damaged) << n;
    EXPECT_EQ(root.ChildCount(), 0);
    EXPECT_EQ(root.Name(), "");
  }
}

struct DamageCase {
  const char* File;
  TGraphLoadResult Expected;
};

// Names the case in test listings and failure messages.
void PrintTo(const DamageCase& c, std::ostream* os) {
  static constexpr const char* kResults[] = {"Loaded", "Skipped", "Damaged"};
  *os << c.File << " gives " << kResults[static_cast<int>(c.Expected)];
}

class GraphRecordFixture : public testing::TestWithParam<DamageCase> {};

TEST_P(GraphRecordFixture, GivesTheDocumentedResultWithoutAPartialTree) {
  TGraphMain root;
  const TGraphLoadResult result = Load(FixtureBytes(GetParam().File), root);
  EXPECT_EQ(result, GetParam().Expected);
  if (result != TGraphLoadResult::Loaded) {
    EXPECT_EQ(root.ChildCount(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GraphRecordFixture,
    testing::Values(DamageCase{"tree_count_huge.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_count_negative.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_name_huge.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_end_beyond.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_child_end_backward.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_end_inside_children.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_unknown_type.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_negative_type.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_newer_child.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_deep.bin", TGraphLoadResult::Damaged},
                    DamageCase{"tree_newer_root.bin", TGraphLoadResult::Skipped}),
    [](const testing::TestParamInfo<DamageCase>& info) {
      std::string name = info.param.File;
      return name.substr(0, name.find('.'));
    });

TEST(GraphRecordDamage, ANewerRootIsSkippedToItsEnd) {
  TMemoryStream s(FixtureBytes("tree_newer_root.bin"));
  TGraphMain root;
  EXPECT_FALSE(root.LoadFromStream(s));
  EXPECT_EQ(s.Position(), s.Size());
}

TEST(GraphRecordDamage, AStoredTypeOtherThanTheObjectsIsDamage) {
  TGraphMain root;
  std::vector<uint8_t> b = Saved(root);
  PutInt32(b, 8, GraphTypeId::Section);
  TGraphMain read;
  EXPECT_EQ(Load(b, read), TGraphLoadResult::Damaged);
}

TEST(GraphRecordDamage, NestingUpToTheLimitLoadsAndDeeperIsDamage) {
  TGraphMain root;
  TGraphMain* o = &root;
  for (int i = 1; i < MaxGraphNesting; ++i) o = o->AddChild(std::make_unique<TGraphMain>(), false);
  TGraphMain atLimit;
  EXPECT_EQ(Load(Saved(root), atLimit), TGraphLoadResult::Loaded);
  // Saving refuses a deeper tree, so one more group record is written around it by hand.
  TMemoryStream deeper;
  TFileVersion outer(deeper, 0);
  ASSERT_TRUE(outer.WriteHeader() && deeper.WriteInt32(GraphTypeId::Group) && WriteLengthString(deeper, ""));
  for (uint8_t flag : {1, 255, 0, 0, 0}) ASSERT_TRUE(deeper.WriteUInt8(flag));
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(deeper.WriteDouble(0));
  ASSERT_TRUE(deeper.WriteInt32(1) && root.SaveToStream(deeper) && outer.WriteEndOffset());
  TGraphMain beyond;
  EXPECT_EQ(Load(deeper.Data(), beyond), TGraphLoadResult::Damaged);
}

// ---- Kinds with their own chunk ---------------------------------------------------------

// A kind with its own chunk is registered for every test of this group.
class GraphRecordKinds : public testing::Test {
 protected:
  // root: "a" (group), "k" (the kind, Value 77), "c" (group)
  static std::vector<uint8_t> Written(int32_t ownVersion = 0) {
    TGraphMain root;
    auto a = std::make_unique<TGraphMain>();
    a->SetName("a");
    root.AddChild(std::move(a), false);
    auto k = std::make_unique<TFakeLine>();
    k->SetName("k");
    k->Value = 77;
    k->OwnVersion = ownVersion;
    root.AddChild(std::move(k), false);
    auto c = std::make_unique<TGraphMain>();
    c->SetName("c");
    root.AddChild(std::move(c), false);
    return Saved(root);
  }
  // Position of the kind's common chunk in Written().
  static size_t KindRecordAt(const std::vector<uint8_t>& b) {
    const size_t first = MinGraphRecordSize;  // the root's fixed fields, empty name
    return static_cast<size_t>(Int32At(b, first + 4));
  }

  TScopedGraphKind kind_{GraphTypeId::Line, [] { return std::make_unique<TFakeLine>(); }};
};

TEST_F(GraphRecordKinds, AKindsOwnChunkFollowsItsCommonChunk) {
  const std::vector<uint8_t> b = Written();
  TGraphMain root;
  ASSERT_EQ(Load(b, root), TGraphLoadResult::Loaded);
  ASSERT_EQ(root.ChildCount(), 3);
  auto* k = dynamic_cast<TFakeLine*>(root.GetChild(1));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->Value, 77);
  EXPECT_EQ(k->Name(), "k");
  EXPECT_EQ(root.GetChild(2)->Name(), "c");
}

TEST_F(GraphRecordKinds, ANewerOwnChunkDropsThatObjectAndTheListGoesOn) {
  const std::vector<uint8_t> b = Written(1);
  TGraphMain root;
  ASSERT_EQ(Load(b, root), TGraphLoadResult::Loaded);
  ASSERT_EQ(root.ChildCount(), 2);
  EXPECT_EQ(root.GetChild(0)->Name(), "a");
  EXPECT_EQ(root.GetChild(1)->Name(), "c");
}

TEST_F(GraphRecordKinds, ANewerCommonChunkOfAKindStopsTheListAsDamage) {
  std::vector<uint8_t> b = Written();
  PutInt32(b, KindRecordAt(b), 1);
  TGraphMain root;
  EXPECT_EQ(Load(b, root), TGraphLoadResult::Damaged);
  EXPECT_EQ(root.ChildCount(), 0);
}

TEST_F(GraphRecordKinds, AnUnregisteredKindStopsTheListAsDamage) {
  const std::vector<uint8_t> b = Written();
  TScopedGraphKind unknown(GraphTypeId::Line, nullptr);
  TGraphMain root;
  EXPECT_EQ(Load(b, root), TGraphLoadResult::Damaged);
}

// An open whose count falls short of what the process is seen to take (the limits'
// figures telling twice what it counted of the objects read): it keeps no more before
// they say the memory is used up, telling a need above the room, and at that need and
// 5 % more it keeps every object, never past the room either time.
TEST(GraphRecordOpenCount, ACountShortByHalfIsStoppedByTheFiguresAndItsNeedLetsTheOpenThrough) {
  constexpr int kObjects = 20000;
  TGraphMain object;
  object.SetName("An object of the project");
  const int64_t each = object.OpenedBytes();
  struct TOpened {
    int kept = 0;
    int64_t lowest = 0;  // of the figures' room
    int64_t need = 0;
    bool fits = false;
  };
  const auto open = [&](int64_t room) {
    TOpened opened;
    int64_t taken = 0;
    opened.lowest = room;
    const TScopedMemoryProbe figures([&] { return room - taken; });
    TOpenCount count(AvailableMemory());
    for (int i = 0; i < kObjects; ++i) {
      // Read before it is weighed; let go of when it is not kept.
      taken += 2 * each;
      opened.lowest = std::min(opened.lowest, room - taken);
      if (TOpenCount::Keep(object)) {
        ++opened.kept;
      } else {
        taken -= 2 * each;
      }
    }
    opened.need = count.Needed();
    opened.fits = count.Fits();
    return opened;
  };
  // The count of every object, and room for it.
  const TOpened counted = open(int64_t{1} << 40);
  ASSERT_EQ(counted.kept, kObjects);
  const int64_t count = counted.need;
  ASSERT_GE(count, kObjects * each);
  const TOpened refused = open(count);
  EXPECT_FALSE(refused.fits);
  EXPECT_LT(refused.kept, kObjects);
  EXPECT_GE(refused.lowest, 0);
  EXPECT_GT(refused.need, count);
  const TOpened whole = open(refused.need + refused.need / 20);
  EXPECT_TRUE(whole.fits);
  EXPECT_EQ(whole.kept, kObjects);
  EXPECT_GE(whole.lowest, 0);
}

// Fields are weighed beside those of the objects kept before them: each of two
// objects' fields fits the room alone, the second does not beside the first's.
TEST(GraphRecordOpenCount, FieldsAreSkippedWhereTheObjectsKeptLeaveThemNoRoom) {
  const TScopedMemoryProbe figures([] { return int64_t{1} << 40; });
  constexpr int64_t kRoom = int64_t{1} << 20;
  TGraphMain object;
  TOpenCount count(kRoom);
  ASSERT_TRUE(TOpenCount::Expect(kRoom * 3 / 5));
  ASSERT_TRUE(TOpenCount::Keep(object));
  EXPECT_FALSE(TOpenCount::Expect(kRoom * 3 / 5));
  EXPECT_TRUE(TOpenCount::Expect(kRoom / 5));
}

// An array whose size a file gives, read under a count that has no room for it, is
// weighed before it is made and passed over: survey points, a palette's stops and
// the older layout's value table, a string's conversion, which for Windows-1252 characters
// above 127 is two or three times its stored bytes (what each makes stays empty, the
// open not whole).
TEST(GraphRecordOpenCount, AnArrayTheCountHasNoRoomForIsPassedOverUnmade) {
  const TScopedMemoryProbe figures([] { return int64_t{1} << 40; });
  constexpr int kElements = 4096;
  const struct {
    const char* Site;
    std::function<void(TMemoryStream&)> write;
    // The elements the reading made.
    std::function<size_t(TMemoryStream&)> read;
    int64_t Little = 0;  // room too little for the array
  } rows[] = {
      {"survey points",
       [](TMemoryStream& s) { ASSERT_TRUE(WriteSurveyPoints(s, std::vector<TSurveyPoint>(kElements))); },
       [](TMemoryStream& s) {
         std::vector<TSurveyPoint> points;
         EXPECT_TRUE(ReadSurveyPoints(s, static_cast<int32_t>(s.Size()), points));
         return points.size();
       }},
      {"a palette's stops",
       [](TMemoryStream& s) {
         TZBPalette palette;
         for (int i = 0; i < kElements; ++i) palette.AddStop(1 + i % 99, 0x00FF00);
         ASSERT_TRUE(palette.SaveToStream(s));
       },
       [](TMemoryStream& s) {
         TZBPalette palette;
         EXPECT_TRUE(palette.LoadFromStream(s));
         return palette.StopColors().size();
       }},
      {"the older value table",
       [](TMemoryStream& s) {
         ASSERT_TRUE(s.WriteUInt8(0) && s.WriteInt32(kElements) && s.WriteInt32(50));
         for (int i = 0; i < kElements; ++i) ASSERT_TRUE(s.WriteFloat(static_cast<float>(i)) && s.WriteUInt32(0xFF));
       },
       [](TMemoryStream& s) {
         TZBPalette palette;
         palette.LoadValueTable(s);
         return palette.StopColors().size();
       }},
      // Room for the stored bytes twice, not for their conversion beside them.
      {"a name's conversion",
       [](TMemoryStream& s) {
         std::string euros;
         for (int i = 0; i < kElements; ++i) euros += "\u20ac";
         ASSERT_TRUE(WriteLengthString(s, euros));
       },
       [](TMemoryStream& s) {
         std::string name;
         EXPECT_TRUE(ReadLengthString(s, name));
         return name.size();
       },
       2 * StringBlockBytes(kElements) + 64},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Site);
    TMemoryStream written;
    row.write(written);
    for (const int64_t room : {int64_t{1} << 30, row.Little}) {
      TMemoryStream s(written.Data().data(), written.Data().size());
      TOpenCount count(room);
      const size_t made = row.read(s);
      EXPECT_EQ(made > 0, room > row.Little) << room;
      EXPECT_EQ(count.Fits(), room > row.Little) << room;
    }
  }
}

// The first frame's bins are counted at the stretch the room the open leaves gives the
// frame: the least up to 256 MB left, a longer one beyond it, whose bins take more.
TEST(GraphRecordOpenCount, TheFirstFramesBinsAreCountedAtTheStretchTheRoomGives) {
  const TScopedMemoryProbe figures([] { return int64_t{1} << 40; });
  constexpr int64_t kMB = int64_t{1} << 20;
  const auto need = [](int64_t room) {
    TOpenCount count(room);
    TOpenCount::Skipped(TSkippedCost{kMB, 8 * kMB});
    return count.Needed();
  };
  EXPECT_EQ(need(64 * kMB), need(200 * kMB));
  EXPECT_GT(need(4096 * kMB), need(200 * kMB) + 8 * kMB);
}

// An object whose stored count or length is damaged (far above what its chunk holds,
// or past the chunk's end inside the file) is damage at any memory: read whole, and
// skipped by an open's count that has no room for its fields, whose skip reads its
// sizes within the chunk as the reading would (never a need taken from the damaged
// count, never a string or array made past the chunk's end).
TEST(GraphRecordOpenCount, ADamagedCountOrLengthIsDamageAtAnyMemory) {
  RegisterSurfaceKinds();
  RegisterGraphicsKinds();
  RegisterPolylineKinds();
  RegisterSectionKinds();
  RegisterBoreholeKind();
  const TScopedMemoryProbe figures([] { return int64_t{1} << 40; });
  const struct {
    const char* Generator;
    const char* Fixture;
    bool Tree;  // a root group around the record, else the record alone
  } rows[] = {
      {"make_surface_records.py", "points_count_huge.bin", true},
      {"make_surface_records.py", "lines_count_huge.bin", true},
      {"make_surface_records.py", "surface_count_huge.bin", true},
      {"make_surface_records.py", "surface_point_count_huge.bin", true},
      {"make_graphics.py", "spheres_count_huge.bin", false},
      {"make_graphics.py", "label_text_huge.bin", false},
      {"make_graphics.py", "label_text_past_end.bin", false},
      {"make_polyline.py", "line_count_huge.bin", true},
      {"make_polyline.py", "planes_count_huge.bin", true},
      {"make_sections.py", "section_record_huge_rows.bin", false},
      {"make_sections.py", "section_record_name_past_end.bin", false},
      {"make_sections.py", "group_record_name_past_end.bin", false},
      {"make_boreholes.py", "borehole_count_huge.bin", false},
      {"make_boreholes.py", "borehole_name_past_end.bin", false},
  };
  // Whether the reading found no damage.
  const auto whole = [](const std::string& bytes, bool tree, int64_t room) {
    TOpenCount count(room);
    TMemoryStream s(bytes.data(), bytes.size());
    if (tree) {
      TGraphMain root;
      return LoadGraphTree(s, root) != TGraphLoadResult::Damaged;
    }
    try {
      (void)CreateGraphObject(s);
    } catch (const EStreamError&) {
      return false;
    }
    return true;
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Fixture);
    const std::string bytes = TGeneratedFixtures::Of(row.Generator).Bytes(row.Fixture);
    ASSERT_FALSE(bytes.empty());
    for (const int64_t room : {int64_t{1} << 40, int64_t{0}}) EXPECT_FALSE(whole(bytes, row.Tree, room)) << room;
  }
}

// A file read beside a project runs under the one count of a reading, as a project's
// open does: under a limit (the memory available what the heap leaves of it, as a
// process's limit leaves it) below what its reading makes, it is refused with the
// need told, the heap never past the limit; at that need and 5 % more it is read
// whole, the heap within that limit too. No weigh of its readers is let through outside that count.
TEST(GraphRecordOpenCount, AFileReadBesideAProjectIsRefusedUnderALimitAndWholeAtItsNeed) {
#if !defined(QIRA_HEAP_HOOKS)
  GTEST_SKIP() << "the heap is counted in sanitized builds";
#else
  TScratchFolder folder;
  // A palette of many stops out of order (sorted as they are read), an inclination
  // file of many stations, a model of many distinct sphere indices (one sphere built:
  // the others are above its Count).
  std::string clr = "ColorMap 1 1\r\n0.000000 0 0 0\r\n";
  for (int i = 1; i < 200000; ++i) clr += std::to_string(i * 37 % 99 + 1) + ".000000 1 2 3\r\n";
  folder.Put("many_stops.clr", clr + "100.000000 255 255 255\r\n");
  constexpr int kStations = 200000;
  std::string ink = std::to_string(kStations) + " 0 0 0\r\n0\r\n";
  for (int i = 1; i < kStations; ++i) ink += std::to_string(i) + " 1 2\r\n";
  folder.Put("many_stations.ink", ink);
  folder.Put("two_stations.ink", "2 0 0 0\r\n0\r\n60000 0 0\r\n");
  std::string model = "[Geomentry]\nDistance=2\nFTransmitterTo=300\nRTransmitterTo=300\n[Spheres]\nCount=1\n";
  for (int i = 1; i <= 150000; ++i) model += "[Sphere_" + std::to_string(i) + "]\nRadius=1\n";
  folder.Put("many_indices.mdl", model);
  const TGeneratedFixtures& sections = TGeneratedFixtures::Of("make_sections.py");

  TGeologyList legend;
  // Whether the reading was whole.
  using TRead = std::function<bool(const std::string& path)>;
  const TRead section = [](const std::string& path) { return LoadSectionFile(path) != nullptr; };
  const TRead palette = [](const std::string& path) {
    TZBPalette read;
    std::string tooLarge;
    const TClrRead result = read.ReadClrFile(path, &tooLarge);
    if (!tooLarge.empty()) ShowMessageDlg(tooLarge, 1);
    return result == TClrRead::Ok;
  };
  const TRead stations = [](const std::string& path) { return LoadInclinationStations(path).has_value(); };
  const TRead intervals = [&](const std::string& path) {
    return TGraphBorehole::LoadInclinationFile(&legend, folder.File("two_stations.ink"), path, "B", 0, 0, 0) !=
           nullptr;
  };
  const TRead import = [](const std::string& path) {
    TFakeObjectTree tree;
    TGraphMain root;
    root.SetTreeView(&tree);
    return ImportModelFile(root, path) == TModelImport::Built;
  };
  const struct {
    std::string Path;
    TRead Read;
    int64_t Limit;  // 0: twice the file, which its reading holds whole
    const char* Done = "read";
  } rows[] = {
      {sections.File("long_name.sec"), section, 4 << 20},
      {sections.File("many_entries.sec"), section, 1 << 20},
      {folder.File("many_stops.clr"), palette, 0},
      {folder.File("many_stations.ink"), stations, 0},
      {TGeneratedFixtures::Of("make_geology.py").File("many_intervals.bgd"), intervals, 1 << 20},
      // Counted as it streams from the file, with the table of the indices it holds.
      {folder.File("many_indices.mdl"), import, 1 << 20, "imported"},
  };
  // Under a limit of `limit` bytes: whether the reading was whole, the message it
  // told and the heap's peak.
  struct TLimited {
    bool Whole;
    std::vector<TFakeServices::TMessage> Messages;
    int64_t Peak;
  };
  const auto under = [](int64_t limit, const TRead& read, const std::string& path) {
    TFakeServices fake;
    const TScopedMemoryProbe probe([limit] { return limit - test::THeapPeak::Held(); });
    const int64_t uncounted = TOpenCount::UncountedWeighs();
    test::THeapPeak::Start();
    const bool whole = read(path);
    const int64_t peak = test::THeapPeak::Stop();
    EXPECT_EQ(TOpenCount::UncountedWeighs(), uncounted);
    return TLimited{whole, fake.Messages, peak};
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Path);
    const int64_t limit = row.Limit > 0 ? row.Limit : 2 * static_cast<int64_t>(std::filesystem::file_size(row.Path));
    const TLimited refused = under(limit, row.Read, row.Path);
    EXPECT_FALSE(refused.Whole);
    EXPECT_LT(refused.Peak, limit);
    ASSERT_EQ(refused.Messages.size(), 1u);
    const std::string& text = refused.Messages[0].Text;
    const std::string start = "The file \"" + row.Path + "\" is too large to be " + row.Done + ": it needs ";
    ASSERT_EQ(text.rfind(start, 0), 0u) << text;
    const int64_t told = std::stoll(text.substr(start.size())) << 20;
    const TLimited whole = under(told + told / 20, row.Read, row.Path);
    EXPECT_TRUE(whole.Whole) << text;
    EXPECT_LT(whole.Peak, told + told / 20);
    EXPECT_TRUE(whole.Messages.empty()) << (whole.Messages.empty() ? "" : whole.Messages[0].Text);
  }
#endif
}

TEST(GraphKindRegistry, OnlyIdsZeroToElevenAndTheGroupStays) {
  EXPECT_TRUE(IsGraphKindRegistered(GraphTypeId::Group));
  EXPECT_FALSE(RegisterGraphKind(12, [] { return std::make_unique<TGraphMain>(); }));
  EXPECT_FALSE(RegisterGraphKind(-1, [] { return std::make_unique<TGraphMain>(); }));
  EXPECT_FALSE(RegisterGraphKind(GraphTypeId::Group, nullptr));
  EXPECT_TRUE(IsGraphKindRegistered(GraphTypeId::Group));
  const bool before = IsGraphKindRegistered(GraphTypeId::Planes);
  {
    TScopedGraphKind scoped(GraphTypeId::Planes, [] { return std::make_unique<TGraphMain>(); });
    EXPECT_TRUE(IsGraphKindRegistered(GraphTypeId::Planes));
    TScopedGraphKind none(GraphTypeId::Planes, nullptr);
    EXPECT_FALSE(IsGraphKindRegistered(GraphTypeId::Planes));
  }
  EXPECT_EQ(IsGraphKindRegistered(GraphTypeId::Planes), before);
}

}  // namespace
}  // namespace qira

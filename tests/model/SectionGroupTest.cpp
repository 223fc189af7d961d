#include "model/SectionGroup.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphRecord.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

const TGeneratedFixtures& Fixtures() { return TGeneratedFixtures::Of("make_sections.py"); }

std::vector<uint8_t> FixtureBytes(const std::string& name) {
  const std::string bytes = Fixtures().Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::unique_ptr<TGraphSection> Section(const std::string& b1, const std::string& b2, float frequency) {
  auto s = std::make_unique<TGraphSection>();
  s->Borehole1 = b1;
  s->Borehole2 = b2;
  s->Frequency = frequency;
  s->SetName(s->GetFrequencyText());
  return s;
}

std::unique_ptr<TGraphSectionGroup> GroupFor(const TGraphSection& founder) {
  auto g = std::make_unique<TGraphSectionGroup>();
  g->SetPairFrom(founder);
  return g;
}

std::vector<float> Frequencies(const TGraphMain& group) {
  std::vector<float> out;
  for (int i = 0; i < group.ChildCount(); ++i) out.push_back(group.GetChild(i)->SortFrequency());
  return out;
}

// ---- Accepting sections ----------------------------------------------------------------

TEST(SectionGroupAccepts, AnswersByKindPairAndFrequency) {
  TGraphSectionGroup group;
  group.SetPairFrom(*Section("B-1", "B 2", 10000));
  group.AddChild(Section("B-1", "B 2", 10000), true);
  TGraphMain plain;
  EXPECT_EQ(group.Accepts(plain), -1);
  EXPECT_EQ(group.Accepts(*Section("B-1", "B 3", 5000)), 0);
  EXPECT_EQ(group.Accepts(*Section("b-1", "B 2", 5000)), 0);  // names compare exactly
  EXPECT_EQ(group.Accepts(*Section("B-1", "B 2", 5000)), 2);
  EXPECT_EQ(group.Accepts(*Section("B 2", "B-1", 5000)), 2);  // the pair in reverse joins
  EXPECT_EQ(group.Accepts(*Section("B 2", "B-1", 10000)), 1);  // that frequency is taken
}

TEST(SectionGroupOrder, SectionsStandByDescendingFrequencyAndOneIsShown) {
  TGraphSectionGroup group;
  for (float f : {10.0f, 5.0f, 20.0f, 5.0f}) group.AddChild(Section("A", "B", f), true);
  EXPECT_EQ(Frequencies(group), (std::vector<float>{20, 10, 5, 5}));
  // Each section added visible hid the exclusive siblings before it.
  int shown = 0;
  for (int i = 0; i < group.ChildCount(); ++i) shown += group.GetChild(i)->Visible();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(group.GetChild(3)->Visible());  // the last added: the second 5
  group.GetChild(0)->SetVisible(true);
  EXPECT_FALSE(group.GetChild(3)->Visible());
}

TEST(SectionGroupPair, TakesNameAndPairFromASectionOnly) {
  TGraphSectionGroup group;
  group.SetPairFrom(TGraphMain());
  EXPECT_EQ(group.Name(), "");
  group.SetPairFrom(*Section("B-1", "B 2_x", 1));
  EXPECT_EQ(group.Name(), "B-1 - B 2_x");
  EXPECT_EQ(group.Borehole1, "B-1");
  EXPECT_EQ(group.Borehole2, "B 2_x");
  EXPECT_EQ(group.GetExportFileName(), "B1-B2x");
  group.Clear();
  EXPECT_EQ(group.Borehole1, "");
  EXPECT_EQ(group.ChildCount(), 0);
}

TEST(SectionGroupCollect, GathersDirectSectionsAndThoseOfNestedGroupsInTreeOrder) {
  TGraphSectionGroup group;
  TGraphMain* a = group.AddChild(Section("A", "B", 1), false);
  TGraphMain* nested = group.AddChild(std::make_unique<TGraphSectionGroup>(), false);
  TGraphMain* b = nested->AddChild(Section("A", "B", 2), false);
  TGraphMain* plain = group.AddChild(std::make_unique<TGraphMain>(), false);
  plain->AddChild(Section("A", "B", 3), false);  // not below a section group
  TGraphMain* c = group.AddChild(Section("A", "B", 4), false);
  std::vector<TGraphSection*> list;
  group.CollectSections(list);
  EXPECT_EQ(list, (std::vector<TGraphSection*>{static_cast<TGraphSection*>(a), static_cast<TGraphSection*>(b),
                                               static_cast<TGraphSection*>(c)}));
}

// ---- Editing ----------------------------------------------------------------------------

class SectionGroupEdit : public ::testing::Test {
 protected:
  void TearDown() override {
    SetSectionEditor(nullptr);
    SetTransparencyDialog(nullptr);
  }
};

TEST_F(SectionGroupEdit, WithoutSectionsOpensTheTransparencyDialog) {
  TGraphSectionGroup group;
  group.SetPairFrom(*Section("A", "B", 1));
  std::string caption;
  SetTransparencyDialog([&](const std::string& c, TTransparencyParams& p) {
    caption = c;
    p.Transparency = 7;
    return true;
  });
  bool sectionDialog = false;
  SetSectionEditor([&](const std::string&, double, double, TSectionSettings&, TTransparencyParams&) {
    sectionDialog = true;
    return true;
  });
  EXPECT_TRUE(group.Edit());
  EXPECT_EQ(caption, "A - B");
  EXPECT_FALSE(sectionDialog);
  EXPECT_EQ(group.Transparency, 7);
}

TEST_F(SectionGroupEdit, AppliesTheDialogToEverySectionOfTheGroupAndSpreadsTheFlaggedGroups) {
  TGraphMain root;
  auto* group = static_cast<TGraphSectionGroup*>(root.AddChild(GroupFor(*Section("A", "B", 1)), false));
  auto* high = static_cast<TGraphSection*>(group->AddChild(Section("A", "B", 20), true));
  auto* low = static_cast<TGraphSection*>(group->AddChild(Section("A", "B", 10), true));
  auto* other = static_cast<TGraphSection*>(root.AddChild(Section("C", "D", 10), false));
  high->FillMode = 2;
  std::string caption;
  double dataMin = 0;
  int seenFill = -1;
  SetSectionEditor([&](const std::string& c, double dmin, double, TSectionSettings& s, TTransparencyParams&) {
    caption = c;
    dataMin = dmin;
    seenFill = s.FillMode;
    s.ImageStyle = 1;
    s.StyleForAll = false;  // the group's sections take it anyway
    s.FillMode = 1;
    s.FillForAll = true;
    return true;
  });
  ASSERT_TRUE(group->Edit());
  EXPECT_EQ(caption, "A - B");
  EXPECT_EQ(dataMin, std::numeric_limits<double>::infinity());  // no data range for a group
  EXPECT_EQ(seenFill, 2);  // filled from the first section
  EXPECT_EQ(high->ImageStyle, 1);
  EXPECT_EQ(low->ImageStyle, 1);
  EXPECT_FALSE(low->StyleForAll);
  EXPECT_EQ(low->FillMode, 1);
  // Outside the group only the flagged group arrives.
  EXPECT_EQ(other->ImageStyle, 0);
  EXPECT_EQ(other->FillMode, 1);
}

// ---- Menu -------------------------------------------------------------------------------

TEST(SectionGroupMenu, AddsTheThreeGroupExports) {
  TGraphMain root;
  auto* group =
      static_cast<TGraphSectionGroup*>(root.AddChild(std::make_unique<TGraphSectionGroup>(), false));
  TGraphSectionGroup* clicked = nullptr;
  RegisterSectionGroupExport(TSectionExport::Dxf, [&](TGraphSectionGroup& g) { clicked = &g; });
  TObjectMenu menu;
  group->FillMenu(menu);
  TObjectMenuItem* exports = FindMenuItem(menu, "E&xport");
  ASSERT_TRUE(exports);
  EXPECT_EQ(&menu.back(), exports);
  ASSERT_EQ(exports->Items.size(), 3u);
  EXPECT_EQ(exports->Items[0].Caption, "Closed colored &blocks table");
  EXPECT_EQ(exports->Items[2].Caption, "3D object in DXF format");
  EXPECT_FALSE(exports->Items[1].Enabled);
  ASSERT_TRUE(exports->Items[2].Enabled);
  exports->Items[2].OnClick();
  EXPECT_EQ(clicked, group);
  RegisterSectionGroupExport(TSectionExport::Dxf, nullptr);
}

// ---- Record -----------------------------------------------------------------------------

TEST(SectionGroupRecord, MatchesTheIndependentLayoutAndReadsBackThroughTheFactory) {
  RegisterSectionKinds();
  TFakeServices fake;
  std::unique_ptr<TGraphSection> low = LoadSectionFile(Fixtures().File("valid_v1.sec"));
  std::unique_ptr<TGraphSection> high = LoadSectionFile(Fixtures().File("valid_v1_25k.sec"));
  ASSERT_TRUE(low && high);
  TGraphSectionGroup group;
  group.SetPairFrom(*low);
  group.AddChild(std::move(low), true);
  group.AddChild(std::move(high), true);
  TMemoryStream out;
  ASSERT_TRUE(group.SaveToStream(out));
  const std::vector<uint8_t> expected = FixtureBytes("group_record.bin");
  EXPECT_EQ(out.Data(), expected);

  TMemoryStream in(expected);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(in);
  EXPECT_EQ(in.Position(), in.Size());
  auto* back = dynamic_cast<TGraphSectionGroup*>(object.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Name(), "B-1 - B 2");
  EXPECT_EQ(back->Borehole1, "B-1");
  EXPECT_EQ(back->Borehole2, "B 2");
  ASSERT_EQ(back->ChildCount(), 2);
  EXPECT_EQ(back->GetChild(0)->Name(), "25 kHz");
  EXPECT_TRUE(back->GetChild(0)->Visible());
  EXPECT_FALSE(back->GetChild(1)->Visible());
  EXPECT_EQ(back->GetChild(1)->Parent(), back);
  EXPECT_EQ(back->Accepts(*Section("B 2", "B-1", 12500)), 1);

  const std::vector<uint8_t>& bytes = expected;
  for (size_t n = 0; n < bytes.size(); ++n) {
    TMemoryStream cut(bytes.data(), n);
    EXPECT_THROW(CreateGraphObject(cut), EStreamError) << "prefix of " << n << " bytes";
  }
}

// ---- The "&Section" command ---------------------------------------------------------------

TEST(SectionCreateCommand, PutsEachSectionIntoTheGroupOfItsPair) {
  TFakeServices fake;
  const std::string savedImport = ImportPath;
  TGraphMain root;
  TGraphMain* sections = root.AddChild(std::make_unique<TGraphMain>(), false);
  sections->SetName("Sections");

  fake.FileAnswers.push_back(Fixtures().File("valid_v1.sec"));
  TGraphSection* first = CreateSectionClick(*sections);
  ASSERT_TRUE(first);
  auto* group = dynamic_cast<TGraphSectionGroup*>(first->Parent());
  ASSERT_TRUE(group);
  EXPECT_EQ(group->Parent(), sections);
  EXPECT_EQ(group->Name(), "B-1 - B 2");

  fake.FileAnswers.push_back(Fixtures().File("valid_v1_25k.sec"));
  TGraphSection* second = CreateSectionClick(*sections);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Parent(), group);
  EXPECT_EQ(group->GetChild(0), second);
  EXPECT_TRUE(second->Visible());
  EXPECT_FALSE(first->Visible());

  // The same frequency again: its group refuses it, so a second group of the pair appears.
  fake.FileAnswers.push_back(Fixtures().File("valid_v1.sec"));
  TGraphSection* third = CreateSectionClick(*sections);
  ASSERT_TRUE(third);
  EXPECT_NE(third->Parent(), group);
  EXPECT_EQ(sections->ChildCount(), 2);

  // Cancel and broken files change nothing.
  EXPECT_EQ(CreateSectionClick(*sections), nullptr);
  fake.FileAnswers.push_back(Fixtures().File("bad_magic.sec"));
  EXPECT_EQ(CreateSectionClick(*sections), nullptr);
  EXPECT_EQ(sections->ChildCount(), 2);
  EXPECT_EQ(fake.Texts(), std::vector<std::string>{kSectionWrongFormat});
  ImportPath = savedImport;
}

}  // namespace
}  // namespace qira

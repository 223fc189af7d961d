#include "model/GraphMain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "model/FakeGraphKinds.h"
#include "model/FakeObjectTree.h"
#include "support/FakeServices.h"

namespace qira {
namespace {

std::unique_ptr<TGraphMain> Group(const std::string& name) {
  auto g = std::make_unique<TGraphMain>();
  g->SetName(name);
  return g;
}

std::unique_ptr<TCountingGroup> Counting(const std::string& name) {
  auto g = std::make_unique<TCountingGroup>();
  g->SetName(name);
  return g;
}

std::unique_ptr<TFakeSection> Section(float frequency, const std::string& pair = "A - B") {
  auto s = std::make_unique<TFakeSection>(frequency, pair);
  s->SetName(std::to_string(frequency));
  return s;
}

// Appends child to parent (unsorted) and returns it with its own type.
template <class T>
T* Add(TGraphMain& parent, std::unique_ptr<T> child) {
  return static_cast<T*>(parent.AddChild(std::move(child), false));
}

std::vector<std::string> ChildNames(const TGraphMain& o) {
  std::vector<std::string> out;
  for (int i = 0; i < o.ChildCount(); ++i) out.push_back(o.GetChild(i)->Name());
  return out;
}

std::vector<float> Frequencies(const TGraphMain& o) {
  std::vector<float> out;
  for (int i = 0; i < o.ChildCount(); ++i) out.push_back(o.GetChild(i)->SortFrequency());
  return out;
}

void SetBounds(TGraphMain& o, TSurveyPoint min, TSurveyPoint max) {
  o.BoundsMin = min;
  o.BoundsMax = max;
}

// A root with a scene context, an object tree without a window and fake user services.
class GraphScene : public testing::Test {
 protected:
  GraphScene() { root.SetContext(&context); }

  TFakeServices services;
  TFakeObjectTree tree;
  TSceneContext context;
  TGraphMain root;
};

// ---- Ordering -------------------------------------------------------------------------

struct NameOrderCase {
  std::vector<std::string> added;
  std::vector<std::string> expected;
};

// Names the case in test listings and failure messages.
void PrintTo(const NameOrderCase& c, std::ostream* os) {
  *os << "added " << testing::PrintToString(c.added) << ", expected " << testing::PrintToString(c.expected);
}

class NameOrder : public testing::TestWithParam<NameOrderCase> {};

// One last name, then count names in order that all go before it: each one lands
// behind all those before it, which a walk of the siblings would pass one by one.
NameOrderCase ManyBeforeTheLast(int count) {
  NameOrderCase c{{"Z"}, {}};
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "A%06d", i);
    c.added.push_back(name);
    c.expected.push_back(name);
  }
  c.expected.push_back("Z");
  return c;
}

TEST_P(NameOrder, SortedInsertKeepsNamesInStoredByteOrder) {
  TGraphMain group;
  for (const std::string& n : GetParam().added) group.AddChild(Group(n), true);
  EXPECT_EQ(ChildNames(group), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameOrder,
    testing::Values(
        NameOrderCase{{"b", "B", "a"}, {"B", "a", "b"}},  // capitals first
        NameOrderCase{{"c", "a", "b", "d", "a"}, {"a", "a", "b", "c", "d"}},
        NameOrderCase{{"", "x", ""}, {"", "", "x"}},
        // Windows-1252 bytes: '€' is 0x80, 'é' is 0xE9 (UTF-8 would give the reverse).
        NameOrderCase{{"é", "€", "z"}, {"z", "€", "é"}},
        NameOrderCase{{"Borehole", "Name", "Label 100", "Label 0", "Label 200"},
                      {"Borehole", "Label 0", "Label 100", "Label 200", "Name"}},
        ManyBeforeTheLast(60000)));

TEST(GraphOrdering, SectionsInASectionGroupStandByDescendingFrequency) {
  TFakeSectionGroup group;
  group.AddChild(Section(10), true);
  TGraphMain* firstFive = group.AddChild(Section(5), true);
  group.AddChild(Section(20), true);
  TGraphMain* secondFive = group.AddChild(Section(5), true);
  EXPECT_EQ(Frequencies(group), (std::vector<float>{20, 10, 5, 5}));
  EXPECT_EQ(group.GetChild(2), firstFive);
  EXPECT_EQ(group.GetChild(3), secondFive);

  // Many, each added shown and landing behind all before it but the lowest: only
  // the last one added stays shown.
  TFakeSectionGroup many;
  many.AddChild(Section(0), true);
  constexpr int kMany = 60000;
  for (int f = kMany; f >= 1; --f) many.AddChild(Section(static_cast<float>(f)), true);
  ASSERT_EQ(many.ChildCount(), kMany + 1);
  int shown = 0;
  for (int i = 0; i <= kMany; ++i) {
    EXPECT_EQ(many.GetChild(i)->SortFrequency(), static_cast<float>(kMany - i)) << i;
    shown += many.GetChild(i)->Visible();
  }
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(many.GetChild(kMany - 1)->Visible()) << "frequency 1, added last";
}

// A legacy project's sections join their group all at once, NaN ones among them: each
// stands, shown or not, where adding them one by one puts it, and none moves another.
TEST(GraphOrdering, SectionsAddedAtOnceWithANaNStandAsWhenAddedOneByOne) {
  const float nan = std::nanf("");
  for (const std::vector<float>& added :
       {std::vector<float>{5, 10, nan, 7, 7, 20, nan, 1}, {nan, 3, 8, 8}, {4, 2, nan}}) {
    TFakeSectionGroup oneByOne, atOnce;
    auto named = [&](size_t i) {
      auto section = Section(added[i]);
      section->SetName("s" + std::to_string(i));
      return section;
    };
    std::vector<std::unique_ptr<TGraphMain>> children;
    for (size_t i = 0; i < added.size(); ++i) {
      oneByOne.AddChild(named(i), true);
      children.push_back(named(i));
    }
    atOnce.AddChildrenSorted(std::move(children));
    EXPECT_EQ(ChildNames(atOnce), ChildNames(oneByOne));
    for (int i = 0; i < atOnce.ChildCount(); ++i)
      EXPECT_EQ(atOnce.GetChild(i)->Visible(), oneByOne.GetChild(i)->Visible()) << i;
  }
  for (const int count : {1000, 4000}) {
    std::vector<std::unique_ptr<TGraphMain>> children;
    children.push_back(Section(nan));
    for (int i = 0; i < count; ++i) children.push_back(Section(static_cast<float>(i)));
    TFakeSectionGroup group;
    const int64_t before = SiblingStepsForTesting();
    group.AddChildrenSorted(std::move(children));
    EXPECT_LE(SiblingStepsForTesting() - before, count) << count;
  }
}

TEST(GraphOrdering, PositionStaysInRangeWhateverTheExistingOrder) {
  TGraphMain group;
  for (const char* n : {"q", "c", "x", "a", "m"}) group.AddChild(Group(n), false);
  for (const char* n : {"", "b", "d", "n", "r", "y", "zz"}) {
    int at = group.FindSortedIndex(*Group(n));
    EXPECT_GE(at, 0) << n;
    EXPECT_LE(at, group.ChildCount()) << n;
  }
  TFakeSectionGroup sections;
  for (float f : {3.f, 9.f, 1.f, 7.f}) sections.AddChild(Section(f), false);
  for (float f : {0.f, 2.f, 5.f, 8.f, 10.f, std::nanf("")}) {
    int at = sections.FindSortedIndex(*Section(f));
    EXPECT_GE(at, 0);
    EXPECT_LE(at, sections.ChildCount());
  }
}

// ---- Tree structure ------------------------------------------------------------------

TEST(GraphTree, BoreholesAreCollectedFromTheWholeTreeInPreOrder) {
  TGraphMain root;
  TGraphMain* a = Add(root, Group("a"));
  auto b1 = Counting("b1");
  b1->TypeId = GraphTypeId::Borehole;
  b1->SetVisible(false);
  TGraphMain* first = Add(*a, std::move(b1));
  auto b2 = Counting("b2");
  b2->TypeId = GraphTypeId::Borehole;
  TGraphMain* second = Add(root, std::move(b2));
  TGraphMain* other = Add(root, Group("z"));
  EXPECT_EQ(other->GetBoreholes(), (std::vector<TGraphMain*>{first, second}));
}

TEST(GraphTree, EachChildIsRemovedFromWhereItStandsNow) {
  TGraphMain root;
  std::vector<TGraphMain*> added;
  for (const char* name : {"a", "b", "c", "d"}) added.push_back(Add(root, Group(name)));
  root.RemoveChild(added[0]->IndexInParent());
  root.RemoveChild(added[2]->IndexInParent());  // "c" stands one place lower now
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"b", "d"}));
}

// ---- Section groups ------------------------------------------------------------------

TEST(GraphSectionGroups, FindsTheFirstGroupThatAcceptsInPreOrder) {
  TGraphMain root;
  TGraphMain* outer = Add(root, Group("outer"));
  TGraphMain* g1 = Add(*outer, std::make_unique<TFakeSectionGroup>("A - B"));
  TGraphMain* g2 = Add(root, std::make_unique<TFakeSectionGroup>("A - B"));
  Add(root, std::make_unique<TFakeSectionGroup>("C - D"));
  EXPECT_EQ(root.FindSectionGroup(*Section(10)), g1);
  EXPECT_EQ(root.FindSectionGroup(*Section(10, "X - Y")), nullptr);
  EXPECT_EQ(root.FindSectionGroup(*Group("not a section")), nullptr);
  // A group that already holds the frequency does not take a second one.
  g1->AddChild(Section(10), true);
  EXPECT_EQ(root.FindSectionGroup(*Section(10)), g2);
}

TEST_F(GraphScene, NewSectionGoesToItsGroupIsShownAndHidesTheOthers) {
  root.SetTreeView(&tree);
  TGraphMain* sections = Add(root, Group("Sections"));
  root.AddToTree(&tree);
  int groupsMade = 0;
  auto newGroup = [&](const TGraphMain& s) {
    ++groupsMade;
    auto g = std::make_unique<TFakeSectionGroup>(static_cast<const TFakeSection&>(s).Pair);
    g->SetName(static_cast<const TFakeSection&>(s).Pair);
    return g;
  };
  TGraphMain* s1 = sections->AddSection(Section(10), newGroup);
  ASSERT_NE(s1, nullptr);
  TGraphMain* group = s1->Parent();
  EXPECT_EQ(group->Parent(), sections);
  TGraphMain* s2 = sections->AddSection(Section(20), newGroup);
  EXPECT_EQ(groupsMade, 1);
  EXPECT_EQ(s2->Parent(), group);
  EXPECT_EQ(Frequencies(*group), (std::vector<float>{20, 10}));
  EXPECT_TRUE(s2->Visible());
  EXPECT_FALSE(s1->Visible());
  EXPECT_EQ(static_cast<TFakeSection*>(s2)->RecursiveBuilds, 1);
  EXPECT_EQ(s2->Context, &context);
  EXPECT_EQ(tree.Texts(group->GetTreeNode()), (std::vector<std::string>{"20.000000", "10.000000"}));
  EXPECT_TRUE(IgnoreNextMouseMove);
  EXPECT_EQ(tree.UpdateLevel, 0);
}

// ---- Visibility ----------------------------------------------------------------------

TEST_F(GraphScene, ExclusiveSiblingsShowOneAtATimeAndTheirMarksFollow) {
  TGraphMain* group = Add(root, Group("g"));
  group->AddToTree(&tree);
  TGraphMain* first = Add(*group, Section(10));
  first->AddTreeNode(&tree);
  TGraphMain* second = Add(*group, Section(5));  // inserted visible: hides the first
  second->AddTreeNode(&tree);
  EXPECT_FALSE(first->Visible());
  EXPECT_TRUE(second->Visible());
  EXPECT_TRUE(tree.Node(second->GetTreeNode()).Radio);

  first->SetVisible(true);  // the radio click
  EXPECT_TRUE(first->Visible());
  EXPECT_FALSE(second->Visible());
  bool on = false;
  EXPECT_TRUE(tree.GetRadioButton(first->GetTreeNode(), on));
  EXPECT_TRUE(on);
  EXPECT_TRUE(tree.GetRadioButton(second->GetTreeNode(), on));
  EXPECT_FALSE(on);
}

// `read` as the tree `stored` saves reads back, its sections fake ones.
void ReadBackWithFakeSections(TGraphMain& stored, TGraphMain& read) {
  TMemoryStream s;
  ASSERT_TRUE(stored.SaveToStream(s));
  TScopedGraphKind kind(GraphTypeId::Section, [] { return std::make_unique<TFakeSection>(0.0f); });
  ASSERT_TRUE(s.Seek(0));
  ASSERT_EQ(LoadGraphTree(s, read), TGraphLoadResult::Loaded);
}

TEST(GraphVisibility, ASectionReadShownIsHiddenWhenASiblingIsShown) {
  TGraphMain stored;
  Add(stored, Section(10));
  Add(stored, Section(5));  // hides the first
  TGraphMain read;
  ReadBackWithFakeSections(stored, read);
  if (HasFatalFailure()) return;
  read.GetChild(0)->SetVisible(true);
  EXPECT_TRUE(read.GetChild(0)->Visible());
  EXPECT_FALSE(read.GetChild(1)->Visible());
}

// A file may leave every section of a group shown: one shown then hides all the others
// in the order they stand, none searched for among the shown ones.
TEST(GraphVisibility, SectionsAFileLeftShownAreHiddenInTheirOrderWhenOneIsShown) {
  for (const int count : {3, 3000}) {
    TGraphMain stored;
    for (int i = 0; i < count; ++i) {
      auto section = Section(static_cast<float>(i));
      section->Exclusive = false;  // added shown beside the others
      Add(stored, std::move(section))->Exclusive = true;
    }
    TGraphMain read;
    ReadBackWithFakeSections(stored, read);
    if (HasFatalFailure()) return;
    std::vector<TGraphMain*> hidden;
    SetGraphChangeSink([&](TGraphMain& changed) { hidden.push_back(&changed); });
    const int64_t before = SiblingStepsForTesting();
    read.GetChild(count - 1)->SetVisible(true);
    EXPECT_LE(SiblingStepsForTesting() - before, 3 * count) << count;
    SetGraphChangeSink(nullptr);
    ASSERT_EQ(hidden.size(), static_cast<size_t>(count - 1));
    for (int i = 0; i + 1 < count; ++i) EXPECT_EQ(hidden[i], read.GetChild(i)) << i;
    EXPECT_TRUE(read.GetChild(count - 1)->Visible());
  }
}

TEST(GraphVisibility, OnlyAChangeIsAppliedAndAHiddenParentHidesItsSubtree) {
  TCountingGroup o;
  o.SetVisible(true);
  EXPECT_EQ(o.VisibilityUpdates, 0);
  o.SetVisible(false);
  o.SetVisible(false);
  EXPECT_EQ(o.VisibilityUpdates, 1);

  TGraphMain root;
  TGraphMain* a = Add(root, Group("a"));
  TGraphMain* leaf = Add(*a, Group("leaf"));
  EXPECT_FALSE(leaf->IsHidden());
  a->SetVisible(false);
  EXPECT_TRUE(leaf->Visible());
  EXPECT_TRUE(leaf->IsHidden());
}

// ---- Bounds --------------------------------------------------------------------------

TEST(GraphBounds, VisibleBoundsJoinEveryShownObjectOfTheSubtree) {
  TGraphMain root;
  TGraphMain* a = Add(root, Group("a"));
  a->ExtendBounds({0, 1, 0});
  a->ExtendBounds({1, 0, 1});
  EXPECT_EQ(a->BoundsMin, (TSurveyPoint{0, 0, 0}));  // grown component-wise
  EXPECT_EQ(a->BoundsMax, (TSurveyPoint{1, 1, 1}));
  TGraphMain* b = Add(*a, Group("b"));
  SetBounds(*b, {-4, 2, -1}, {0, 6, 0.5});
  TGraphMain* hidden = Add(root, Group("h"));
  SetBounds(*hidden, {-100, -100, -100}, {100, 100, 100});
  hidden->SetVisible(false);
  TSurveyPoint min, max;
  ASSERT_TRUE(root.GetVisibleBounds(min, max));
  EXPECT_EQ(min, (TSurveyPoint{-4, 0, -1}));
  EXPECT_EQ(max, (TSurveyPoint{1, 6, 1}));
  TSurveyPoint center;
  ASSERT_TRUE(root.GetCenter(center));
  EXPECT_EQ(center, (TSurveyPoint{-1.5, 3, 0}));
}

TEST(GraphBounds, OnlyHiddenObjectsWithBoundsGiveNoCentre) {
  TGraphMain root;
  TGraphMain* a = Add(root, Group("a"));
  TGraphMain* leaf = Add(*a, Group("leaf"));
  leaf->ExtendBounds({1, 2, 3});
  a->SetVisible(false);
  TSurveyPoint center;
  EXPECT_FALSE(root.GetCenter(center));
  EXPECT_EQ(center.X, std::numeric_limits<double>::infinity());
  // Asked on the hidden leaf itself, its hidden ancestor still counts.
  EXPECT_FALSE(leaf->GetCenter(center));
}

TEST_F(GraphScene, CenterIfUnsetSetsTheOffsetInSceneOrderOnlyOnce) {
  SetBounds(*Add(root, Group("a")), {0, 10, 100}, {2, 30, 300});
  root.CenterIfUnset();
  EXPECT_EQ(context.ModelOffset, (std::array<double, 3>{1, 200, 20}));
  SetBounds(*root.GetChild(0), {0, 0, 0}, {0, 0, 0});
  root.CenterIfUnset();
  EXPECT_EQ(context.ModelOffset, (std::array<double, 3>{1, 200, 20}));
}

TEST_F(GraphScene, ANewObjectRecentresOnlyAnEmptyScene) {
  TGraphMain* boreholes = Add(root, Group("Boreholes"));
  TGraphMain* objects = Add(root, Group("Objects"));
  auto first = Counting("first");
  SetBounds(*first, {10, 20, 30}, {12, 22, 32});
  boreholes->AddNewObject(std::move(first), true);
  EXPECT_EQ(context.ModelOffset, (std::array<double, 3>{11, 31, 21}));

  // The scene already has objects built at this offset (here it is back at zero,
  // as a project can store it): a new object under an empty group must not move it.
  context.ModelOffset = {0, 0, 0};
  auto second = Counting("second");
  SetBounds(*second, {1000, 1000, 1000}, {1002, 1002, 1002});
  objects->AddNewObject(std::move(second), true);
  EXPECT_EQ(context.ModelOffset, (std::array<double, 3>{0, 0, 0}));
}

// ---- Transparency and settings ---------------------------------------------------------

TEST(GraphSettings, TransparencyReachesTheSubtreeAndRebuildsOnlyWhatChanged) {
  TGraphMain root;
  TCountingGroup* a = Add(root, Counting("a"));
  TCountingGroup* b = Add(*a, Counting("b"));
  TCountingGroup* c = Add(*a, Counting("c"));
  TCountingGroup* outside = Add(root, Counting("d"));
  c->Transparency = 100;
  a->ApplyTransparency(100);
  EXPECT_EQ(a->Transparency, 100);
  EXPECT_EQ(b->Transparency, 100);
  EXPECT_EQ(outside->Transparency, 255);
  EXPECT_EQ(a->Builds, 1);
  EXPECT_EQ(b->Builds, 1);
  EXPECT_EQ(c->Builds, 0);
  EXPECT_EQ(a->RecursiveBuilds + b->RecursiveBuilds, 0);
}

TEST(GraphSettings, EditAcceptedForAllSetsTheWholeTree) {
  TGraphMain root;
  TGraphMain* a = Add(root, Group("a"));
  TGraphMain* b = Add(root, Group("b"));
  TGraphMain* a1 = Add(*a, Group("a1"));
  std::string caption;
  SetTransparencyDialog([&](const std::string& c, TTransparencyParams& p) {
    caption = c;
    EXPECT_EQ(p.Transparency, 255);
    p.Transparency = 40;
    p.AcceptForAll = true;
    return true;
  });
  EXPECT_TRUE(a->Edit());
  EXPECT_EQ(caption, "a");
  EXPECT_TRUE(a->AcceptForAll);
  for (TGraphMain* o : {&root, a, b, a1}) EXPECT_EQ(o->Transparency, 40);

  SetTransparencyDialog([](const std::string&, TTransparencyParams& p) {
    p.Transparency = 90;
    p.AcceptForAll = false;
    return true;
  });
  EXPECT_TRUE(a->Edit());
  EXPECT_FALSE(a->AcceptForAll);
  EXPECT_EQ(a->Transparency, 90);
  EXPECT_EQ(a1->Transparency, 90);
  EXPECT_EQ(b->Transparency, 40);

  SetTransparencyDialog([](const std::string&, TTransparencyParams& p) {
    p.Transparency = 1;
    return false;
  });
  EXPECT_FALSE(a->Edit());
  EXPECT_EQ(a->Transparency, 90);
  SetTransparencyDialog(nullptr);
  EXPECT_FALSE(a->Edit());
}

// ---- Tree nodes ----------------------------------------------------------------------

TEST_F(GraphScene, RootChildrenAreTopLevelAndNodesFollowTheChildOrder) {
  TGraphMain* a = root.AddChild(Group("a"), true);
  root.AddChild(Group("c"), true);
  Add(*a, Group("a1"));
  root.AddToTree(&tree);
  EXPECT_EQ(root.GetTreeNode(), 0u);
  EXPECT_EQ(tree.Texts(0), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(tree.Texts(a->GetTreeNode()), (std::vector<std::string>{"a1"}));
  EXPECT_EQ(tree.NodeData(a->GetTreeNode()), a);

  TGraphMain* b = root.AddChild(Group("b"), true);  // between a and c
  b->AddTreeNode(&tree);
  EXPECT_EQ(tree.Texts(0), (std::vector<std::string>{"a", "b", "c"}));
  b->AddTreeNode(&tree);  // an object keeps its one node
  EXPECT_EQ(tree.NodeCount(), 4u);
}

TEST_F(GraphScene, NameAndExpandedStateReachTheNodeAndVanishedNodesAreLetGo) {
  TGraphMain* a = Add(root, Group("a"));
  TGraphMain* a1 = Add(*a, Group("a1"));
  root.AddToTree(&tree);
  a->SetName("renamed");
  EXPECT_EQ(tree.NodeText(a->GetTreeNode()), "renamed");
  a->Expanded = true;
  a1->Expanded = true;
  a->ApplyExpanded(false);
  EXPECT_TRUE(tree.NodeExpanded(a->GetTreeNode()));
  EXPECT_FALSE(tree.NodeExpanded(a1->GetTreeNode()));
  root.ApplyExpanded(true);
  EXPECT_TRUE(tree.NodeExpanded(a1->GetTreeNode()));

  const TTreeItemId node = a->GetTreeNode();
  tree.ClearNodes();
  EXPECT_EQ(a->GetTreeNode(), 0u);
  a->SetName("still fine");
  const TTreeItemId again = tree.AddChildNode(0, "x", a);
  a->SetTreeNode(&tree, again);
  EXPECT_NE(again, node);
  a->SetName("relinked");
  EXPECT_EQ(tree.NodeText(again), "relinked");
}

// ---- Menu and commands -----------------------------------------------------------------

std::vector<std::string> Captions(const TObjectMenu& menu) {
  std::vector<std::string> out;
  for (const TObjectMenuItem& i : menu) out.push_back(i.Caption);
  return out;
}

TEST(GraphMenu, TheRootOffersNoRenameOrDelete) {
  TGraphMain root;
  TGraphMain* child = Add(root, Group("a"));
  TObjectMenu rootMenu, childMenu;
  root.FillMenu(rootMenu);
  child->FillMenu(childMenu);
  EXPECT_EQ(Captions(rootMenu), (std::vector<std::string>{"&Edit", "&Create"}));
  EXPECT_EQ(Captions(childMenu), (std::vector<std::string>{"&Edit", "&Create", "&Rename", "&Delete"}));
  TObjectMenuItem* create = FindMenuItem(childMenu, "&Create");
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(Captions(create->Items),
            (std::vector<std::string>{"&Group", "&Borehole", "&Section", "Objects from D&XF",
                                      "&Potential section", "&Axis", "&Graphics"}));
  TObjectMenuItem* graphics = FindMenuItem(create->Items, "&Graphics");
  ASSERT_NE(graphics, nullptr);
  EXPECT_EQ(Captions(graphics->Items),
            (std::vector<std::string>{"&Spheres", "&Line", "La&bel", "&Planes", "&Model"}));
}

TEST(GraphMenu, CreateCommandsRunWhenAKindRegisteredThem) {
  TGraphMain root;
  TObjectMenu before;
  root.FillMenu(before);
  EXPECT_FALSE(FindMenuItem(FindMenuItem(before, "&Create")->Items, "&Axis")->Enabled);
  TGraphMain* target = nullptr;
  RegisterCreateCommand(TCreateCommand::Axis, [&](TGraphMain& o) { target = &o; });
  TObjectMenu menu;
  root.FillMenu(menu);
  TObjectMenuItem* axis = FindMenuItem(FindMenuItem(menu, "&Create")->Items, "&Axis");
  EXPECT_TRUE(axis->Enabled);
  axis->OnClick();
  EXPECT_EQ(target, &root);
  RegisterCreateCommand(TCreateCommand::Axis, nullptr);
  target = nullptr;
  axis->OnClick();  // unregistered since: nothing happens
  EXPECT_EQ(target, nullptr);
}

TEST_F(GraphScene, RenameAndNewGroupTakeTheAnswerAndCancelChangesNothing) {
  TGraphMain* o = Add(root, Group("old"));
  Add(*o, Group("z"));
  root.AddToTree(&tree);
  services.InputAnswers = {std::nullopt, std::string("new"), std::string(""), std::string("a")};
  EXPECT_FALSE(o->RenameClick());
  EXPECT_EQ(o->Name(), "old");
  ASSERT_EQ(services.Inputs.size(), 1u);
  EXPECT_EQ(services.Inputs[0].Caption, "Rename");
  EXPECT_EQ(services.Inputs[0].Prompt, "Enter new name:");
  EXPECT_EQ(services.Inputs[0].Default, "old");
  EXPECT_TRUE(o->RenameClick());
  EXPECT_EQ(o->Name(), "new");
  EXPECT_EQ(tree.NodeText(o->GetTreeNode()), "new");

  EXPECT_EQ(o->CreateGroupClick(), nullptr);  // an empty name
  IgnoreNextMouseMove = false;
  const int repaints = tree.Repaints;
  TGraphMain* added = o->CreateGroupClick();
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(services.Inputs.back().Caption, "New group");
  EXPECT_EQ(services.Inputs.back().Prompt, "Enter name for new group");
  EXPECT_EQ(ChildNames(*o), (std::vector<std::string>{"z", "a"}));  // appended, not sorted
  EXPECT_EQ(tree.Texts(o->GetTreeNode()), (std::vector<std::string>{"z", "a"}));
  EXPECT_TRUE(tree.NodeExpanded(o->GetTreeNode()));
  EXPECT_TRUE(IgnoreNextMouseMove);
  EXPECT_EQ(tree.UpdateLevel, 0);
  EXPECT_EQ(tree.Repaints, repaints + 1);  // one update for the whole command
}

TEST_F(GraphScene, DeleteAsksAndRemovesTheObjectWithItsNodes) {
  TGraphMain* a = Add(root, Group("a"));
  Add(*a, Group("a1"));
  Add(root, Group("b"));
  root.AddToTree(&tree);
  tree.SetNodeText(a->GetTreeNode(), "shown text");

  services.BoxAnswers.push_back(TMessageResult::No);
  EXPECT_FALSE(DeleteGraphObjectClick(*a));
  ASSERT_EQ(services.Messages.size(), 1u);
  const TFakeServices::TMessage& box = services.Messages[0];
  EXPECT_EQ(box.Text, "Are you sure you want delele shown text object?");
  EXPECT_EQ(box.Kind, TMessageKind::Warning);
  EXPECT_EQ(box.Buttons, TMessageButtons::YesNo);
  EXPECT_EQ(box.DefaultButton, 2);
  EXPECT_EQ(root.ChildCount(), 2);

  services.BoxAnswers.push_back(TMessageResult::Yes);
  EXPECT_TRUE(DeleteGraphObjectClick(*a));
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"b"}));
  EXPECT_EQ(tree.Texts(0), (std::vector<std::string>{"b"}));
  EXPECT_EQ(tree.NodeCount(), 1u);
  EXPECT_FALSE(DeleteGraphObjectClick(root));
}

TEST_F(GraphScene, AddedObjectIsSortedGivenNodesExpandedAndBuilt) {
  TGraphMain* o = Add(root, Group("Objects"));
  Add(*o, Group("m"));
  root.AddToTree(&tree);
  o->Expanded = false;
  auto child = Counting("a");
  child->AddChild(Counting("inner"), false);
  TCountingGroup* added = static_cast<TCountingGroup*>(o->AddNewObject(std::move(child), false));
  EXPECT_EQ(ChildNames(*o), (std::vector<std::string>{"a", "m"}));
  EXPECT_EQ(tree.Texts(o->GetTreeNode()), (std::vector<std::string>{"a", "m"}));
  EXPECT_EQ(tree.Texts(added->GetTreeNode()), (std::vector<std::string>{"inner"}));
  EXPECT_EQ(added->GetChild(0)->Context, &context);
  EXPECT_EQ(added->RecursiveBuilds, 1);
  EXPECT_EQ(static_cast<TCountingGroup*>(added->GetChild(0))->RecursiveBuilds, 1);
  EXPECT_TRUE(o->Expanded);
  EXPECT_TRUE(tree.NodeExpanded(o->GetTreeNode()));
  EXPECT_EQ(tree.UpdateLevel, 0);
}

// ---- Scene context -------------------------------------------------------------------

std::array<float, 3> Components(const TAffineVector& v) { return {v.x, v.y, v.z}; }

TEST(GraphSceneContext, SurveyPointsGoToSceneOrderLessOffsetAndCube) {
  const TAffineVector v = SurveyToScene({1000, 50, 2000}, {1, 2, 3}, 1000, 2000, 50);
  EXPECT_EQ(Components(v), (std::array<float, 3>{-1, -2, -3}));
  TSceneContext context;
  context.ModelOffset = {10, 30, 20};
  EXPECT_EQ(Components(context.ToScene(TSurveyPoint{11, 22, 33})), (std::array<float, 3>{1, 3, 2}));
  context.ToSceneMethod = [](double, double, double) { return TAffineVector{7, 8, 9}; };
  EXPECT_EQ(Components(context.ToScene(0, 0, 0)), (std::array<float, 3>{7, 8, 9}));
}

}  // namespace
}  // namespace qira

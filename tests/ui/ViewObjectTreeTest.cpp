#include "ui/ViewObjectTree.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <memory>
#include <string>
#include <vector>

#include "model/GeologyList.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "platform/DisplayModes.h"
#include "scene/graph/CameraLight.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using view_testing::ActionOf;
using view_testing::Captions;
using view_testing::MarkPoint;
using view_testing::NodeOf;
using view_testing::PressTree;
using view_testing::TextPoint;
using view_testing::TopNode;
using view_testing::TViewWindowTest;

// An object that counts how often its dialog was opened.
class TCountingObject : public TGraphMain {
 public:
  TCountingObject(const std::string& name, int32_t typeId) {
    SetName(name);
    TypeId = typeId;
  }
  bool Edit() override {
    ++edits;
    if (!renameTo.empty()) SetName(renameTo);
    return false;
  }
  int edits = 0;
  std::string renameTo;  // what the edit's dialog names it, if anything
};

class ViewObjectTree : public TViewWindowTest {
 protected:
  void SetUp() override {
    TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    form_ = NewDocument();
    form_->resize(700, 500);
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    TViewWindowTest::TearDown();
  }
  // Lets queued menu rebuilds run.
  static void Settle() { RunEventLoopFor(20); }

  TGraphMain& Group(const std::string& name) {
    for (int i = 0; i < form_->Root().ChildCount(); ++i)
      if (form_->Root().GetChild(i)->Name() == name) return *form_->Root().GetChild(i);
    throw std::runtime_error("no group " + name);
  }

  std::unique_ptr<TForm3D> form_;
};

// -------------------------------------------------------------- the adapter

TEST_F(ViewObjectTree, AdapterKeepsOrderDataAndMarksOfNodes) {
  TFormattedTreeView tree;
  TObjectTreeAdapter adapter(tree);
  TGraphMain a, b, c;
  const TTreeItemId top = adapter.AddChildNode(0, "top", &a);
  const TTreeItemId last = adapter.AddChildNode(top, "last", &b);
  const TTreeItemId first = adapter.InsertNodeBefore(last, "first", &c);
  EXPECT_EQ(adapter.NodesInOrder(), (std::vector<TTreeItemId>{top, first, last}));
  EXPECT_EQ(adapter.NodeData(first), &c);
  EXPECT_EQ(adapter.NodeText(last), "last");
  adapter.SetRadioButton(first, true);
  bool checked = false;
  EXPECT_TRUE(adapter.GetRadioButton(first, checked));
  EXPECT_TRUE(checked);
  EXPECT_FALSE(adapter.GetCheckBox(first, checked));
  adapter.SetCheckBox(last, false);
  EXPECT_TRUE(adapter.GetCheckBox(last, checked));
  EXPECT_FALSE(checked);
  adapter.DeleteNode(top);
  EXPECT_FALSE(adapter.HasNode(first));  // the whole subtree went
  EXPECT_EQ(adapter.NodeData(last), nullptr);
  EXPECT_EQ(adapter.NodeText(last), "");
  EXPECT_EQ(tree.topLevelItemCount(), 0);
  // Identifiers are never handed out twice.
  EXPECT_GT(adapter.AddChildNode(0, "again", &a), last);
}

// ------------------------------------------------------------------- menus

TEST_F(ViewObjectTree, RightClickFillsBothMenusAndLeftClickOnEmptySpaceShowsTheRoots) {
  QTreeWidgetItem* sections = TopNode(*form_, "Sections");
  PressTree(*form_, Qt::RightButton, TextPoint(*form_, sections));
  EXPECT_EQ(form_->TreeView->currentItem(), sections);
  EXPECT_EQ(form_->MenuTarget(), &Group("Sections"));
  const std::vector<std::string> objectMenu{"&Edit", "&Create", "&Rename", "&Delete"};
  EXPECT_EQ(Captions(*form_->ObjectsMenu), objectMenu);
  EXPECT_EQ(Captions(*form_->PopupMenu1), objectMenu);
  EXPECT_TRUE(form_->PopupMenu1->isVisible());
  form_->PopupMenu1->hide();

  const int below = form_->TreeView->viewport()->height() - 3;
  ASSERT_EQ(form_->TreeView->NodeAt(20, below), nullptr);
  PressTree(*form_, Qt::LeftButton, QPoint(20, below));
  EXPECT_EQ(form_->MenuTarget(), &form_->Root());
  EXPECT_EQ(Captions(*form_->ObjectsMenu), (std::vector<std::string>{"&Edit", "&Create"}));
  EXPECT_EQ(form_->TreeView->currentItem(), nullptr);
  EXPECT_TRUE(form_->TreeView->selectedItems().isEmpty());
  EXPECT_FALSE(form_->PopupMenu1->isVisible());
}

TEST_F(ViewObjectTree, SelectingANodeMakesThisWindowsLegendCurrent) {
  TGeologyList other;
  CurrentGeologyList = &other;
  form_->TreeView->setCurrentItem(TopNode(*form_, "Objects"));
  EXPECT_EQ(form_->MenuTarget(), &Group("Objects"));
  EXPECT_EQ(CurrentGeologyList, &form_->GeologyList());
}

TEST_F(ViewObjectTree, CommandFromTheMenuChangesTheTreeAndTheMenusFollow) {
  PressTree(*form_, Qt::RightButton, TextPoint(*form_, TopNode(*form_, "Boreholes")));
  form_->PopupMenu1->hide();
  services_.InputAnswers.push_back(std::string("Site A"));
  QMenu* create = ActionOf(*form_->ObjectsMenu, "&Create")->menu();
  ASSERT_NE(create, nullptr);
  ActionOf(*create, "&Group")->trigger();
  ASSERT_EQ(Group("Boreholes").ChildCount(), 1);
  EXPECT_EQ(TopNode(*form_, "Boreholes")->child(0) != nullptr, true);
  EXPECT_EQ(TFormattedTreeView::NodeText(TopNode(*form_, "Boreholes")->child(0)), "Site A");
  Settle();
  EXPECT_EQ(Captions(*form_->ObjectsMenu), (std::vector<std::string>{"&Edit", "&Create", "&Rename", "&Delete"}));
}

TEST_F(ViewObjectTree, DeletedObjectsMenuActionsNoLongerRun) {
  QTreeWidgetItem* node = TopNode(*form_, "Potential sections");
  PressTree(*form_, Qt::RightButton, TextPoint(*form_, node));
  form_->PopupMenu1->hide();
  QAction* rename = ActionOf(*form_->PopupMenu1, "&Rename");
  services_.BoxAnswers.push_back(TMessageResult::Yes);
  ActionOf(*form_->PopupMenu1, "&Delete")->trigger();
  EXPECT_EQ(TopNode(*form_, "Potential sections"), nullptr);
  EXPECT_EQ(form_->Root().ChildCount(), 3);
  // The old filling's actions name the freed object: they must do nothing.
  services_.InputAnswers.push_back(std::string("ghost"));
  rename->trigger();
  EXPECT_EQ(services_.Inputs.size(), 0u);
  Settle();
  EXPECT_NE(form_->MenuTarget(), nullptr);
}

// ------------------------------------------------------------ marks and clicks

// A pair "BH1 - BH2" of two frequencies read from a stream, both shown when
// bothShown (as an older file may leave them), else the second alone.
TGraphMain* AddReadPair(TGraphMain& sections, bool bothShown) {
  TGraphMain stored;
  stored.SetName("BH1 - BH2");
  for (const char* name : {"10 kHz", "20 kHz"}) {
    auto section = std::make_unique<TGraphMain>();
    section->SetName(name);
    section->SetVisible(bothShown || std::string(name) == "20 kHz");
    stored.AddChild(std::move(section), false)->Exclusive = true;
  }
  TMemoryStream stream;
  auto pair = std::make_unique<TGraphMain>();
  if (!stored.SaveToStream(stream) || !stream.Seek(0) || LoadGraphTree(stream, *pair) != TGraphLoadResult::Loaded)
    return nullptr;
  TGraphMain* added = sections.AddChild(std::move(pair), true);
  added->SetContext(sections.Context);  // as an opened tree is given its window
  return added;
}

TEST_F(ViewObjectTree, RadioOfASectionLeavesItTheOnlyShownOfItsPair) {
  struct TRadioCase {
    const char* Name;
    bool BothShown;
    int Clicked;
    bool BySpace;
    bool Changes;
  };
  const TRadioCase cases[] = {
      {"a hidden section, clicked", false, 0, false, true},
      {"a hidden section, by Space", false, 0, true, true},
      {"the only shown section, clicked", false, 1, false, false},
      {"the first of two shown, clicked", true, 0, false, true},
      {"the second of two shown, by Space", true, 1, true, true},
  };
  for (const TRadioCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto form = NewDocument();
    form->resize(700, 500);
    form->show();
    TGraphMain* sections = nullptr;
    for (int i = 0; i < form->Root().ChildCount(); ++i)
      if (form->Root().GetChild(i)->Name() == "Sections") sections = form->Root().GetChild(i);
    ASSERT_NE(sections, nullptr);
    TGraphMain* pair = AddReadPair(*sections, c.BothShown);
    ASSERT_NE(pair, nullptr);
    ASSERT_EQ(pair->ChildCount(), 2);
    ASSERT_EQ(pair->GetChild(0)->Visible(), c.BothShown);
    ASSERT_TRUE(pair->GetChild(1)->Visible());
    sections->Expanded = pair->Expanded = true;
    form->RebuildTree();
    form->SetModified(false);
    TGraphMain* clicked = pair->GetChild(c.Clicked);
    TGraphMain* other = pair->GetChild(1 - c.Clicked);
    if (c.BySpace) {
      form->TreeView->setCurrentItem(NodeOf(*form, *clicked));
      QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
      QCoreApplication::sendEvent(form->TreeView, &space);
    } else {
      PressTree(*form, Qt::LeftButton, MarkPoint(*form, NodeOf(*form, *clicked)));
    }
    EXPECT_TRUE(clicked->Visible());
    EXPECT_FALSE(other->Visible());
    bool on = false;
    ASSERT_TRUE(form->TreeAdapter().GetRadioButton(clicked->GetTreeNode(), on));
    EXPECT_TRUE(on);
    ASSERT_TRUE(form->TreeAdapter().GetRadioButton(other->GetTreeNode(), on));
    EXPECT_FALSE(on);
    EXPECT_EQ(form->Modified(), c.Changes);
  }
}

TEST_F(ViewObjectTree, CheckBoxClickSwitchesTheObject) {
  TGraphMain& objects = Group("Objects");
  TGraphMain* axis = objects.GetChild(0);
  PressTree(*form_, Qt::LeftButton, MarkPoint(*form_, NodeOf(*form_, *axis)));
  EXPECT_FALSE(axis->Visible());
  bool checked = true;
  ASSERT_TRUE(form_->TreeAdapter().GetCheckBox(axis->GetTreeNode(), checked));
  EXPECT_FALSE(checked);
  PressTree(*form_, Qt::LeftButton, MarkPoint(*form_, NodeOf(*form_, *axis)));
  EXPECT_TRUE(axis->Visible());
}

TEST_F(ViewObjectTree, DoubleClickEditsObjectsButNotGroups) {
  TGraphMain& objects = Group("Objects");
  auto* group = static_cast<TCountingObject*>(
      objects.AddChild(std::make_unique<TCountingObject>("a group", GraphTypeId::Group), true));
  auto* borehole = static_cast<TCountingObject*>(
      objects.AddChild(std::make_unique<TCountingObject>("BH7", GraphTypeId::Borehole), true));
  form_->RebuildTree();
  auto doubleClick = [&](TGraphMain& object) {
    const QPoint at = TextPoint(*form_, NodeOf(*form_, object));
    PressTree(*form_, Qt::LeftButton, at);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(at), form_->TreeView->viewport()->mapToGlobal(QPointF(at)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_->TreeView->viewport(), &dbl);
  };
  doubleClick(*group);
  EXPECT_EQ(group->edits, 0);
  doubleClick(*borehole);
  EXPECT_EQ(borehole->edits, 1);
  form_->SetModified(false);
  // Both names are all "?" in the file: the edit still changed the document.
  borehole->SetName("\u0413\u043b\u0438\u043d\u0430");
  borehole->renameTo = "\u041f\u0435\u0441\u043e\u043a";
  doubleClick(*borehole);
  EXPECT_TRUE(form_->Modified());
}

TEST_F(ViewObjectTree, RelinkGivesEveryObjectItsNodeAgain) {
  TGraphMain* axis = Group("Objects").GetChild(0);
  const TTreeItemId node = axis->GetTreeNode();
  axis->SetTreeNode(&form_->TreeAdapter(), 0);
  Group("Boreholes").SetTreeNode(&form_->TreeAdapter(), 0);
  form_->RelinkTreeNodes();
  EXPECT_EQ(axis->GetTreeNode(), node);
  EXPECT_NE(Group("Boreholes").GetTreeNode(), 0u);
  EXPECT_EQ(form_->Root().GetTreeNode(), 0u);
}

// -------------------------------------------------------------- full screen

TEST_F(ViewObjectTree, FullScreenOnAndOffKeepsTheTreeWorking) {
  QMdiArea area;
  area.resize(900, 700);
  std::unique_ptr<TForm3D> owned(TForm3D::CreateNewDocument(&area));
  TForm3D* form = owned.release();  // the sub-window owns it
  QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(form->FrameWidget());
  ASSERT_NE(sub, nullptr);
  area.show();
  sub->setGeometry(15, 25, 600, 400);
  sub->show();

  form->ToggleFullScreen();
  EXPECT_TRUE(form->FullScreen());
  EXPECT_TRUE(form->FullScreenItem->isChecked());
  EXPECT_TRUE(form->window()->isFullScreen());
  EXPECT_NE(form->window(), &area);  // out of the main frame
  EXPECT_FALSE(form->TreeView->isVisible());
  EXPECT_TRUE(IgnoreNextMouseMove);

  form->ToggleFullScreen();
  EXPECT_FALSE(form->FullScreen());
  EXPECT_FALSE(form->FullScreenItem->isChecked());
  EXPECT_EQ(form->parentWidget(), sub);  // back as a child
  EXPECT_EQ(sub->geometry(), QRect(15, 25, 600, 400));
  EXPECT_TRUE(form->TreeView->isVisible());

  TGraphMain* axis = form->Root().GetChild(3)->GetChild(0);
  services_.InputAnswers.push_back(std::string("Cross"));
  ASSERT_TRUE(axis->RenameClick());
  EXPECT_EQ(form->TreeAdapter().NodeText(axis->GetTreeNode()), "Cross");
  PressTree(*form, Qt::LeftButton, MarkPoint(*form, NodeOf(*form, *axis)));
  EXPECT_FALSE(axis->Visible());
  delete sub;
}

TEST_F(ViewObjectTree, EscInFullScreenLeavesIt) {
  form_->ToggleFullScreen();
  ASSERT_TRUE(form_->FullScreen());
  form_->Camera->Position().SetPoint(1, 2, 3);
  int key = Qt::Key_Escape;
  form_->FormKeyDown(key, Qt::NoModifier);
  EXPECT_EQ(key, 0);
  EXPECT_FALSE(form_->FullScreen());
  EXPECT_EQ(form_->Camera->Position().Z(), 3.0f);  // no reset on the way out
}

TEST_F(ViewObjectTree, LeavingUsesTheWayThatWasEnteredWhateverTheSettingSaysByThen) {
  form_->ToggleFullScreen();  // the window itself
  Win7FullScreenMode = true;
  form_->ToggleFullScreen();
  EXPECT_FALSE(form_->FullScreen());
  EXPECT_FALSE(form_->GLFullScreenViewer1->Active());
  EXPECT_TRUE(form_->TreeView->isVisible());
  EXPECT_FALSE(form_->isFullScreen());
}

TEST_F(ViewObjectTree, IndependentFullScreenViewerTakesOverAndGivesBack) {
  Win7FullScreenMode = true;
  form_->FullScreenItem->trigger();
  if (!form_->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
  EXPECT_TRUE(form_->GLFullScreenViewer1->Active());
  EXPECT_FALSE(form_->isEnabled());
  EXPECT_FALSE(form_->GL3DSceneViewer1->isEnabled());
  EXPECT_TRUE(form_->FullScreenItem->isChecked());
  form_->FullScreenItem->trigger();
  EXPECT_FALSE(form_->GLFullScreenViewer1->Active());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(form_->GL3DSceneViewer1->isEnabled());
  EXPECT_FALSE(form_->FullScreenItem->isChecked());
}

// A display that offers no mode but its desktop's.
class TNoModeSource : public TDisplayModeSource {
 public:
  TDisplayMode CurrentMode() override { return {1024, 768, 32, 60}; }
  bool EnumMode(int32_t, TDisplayMode&) override { return false; }
  bool TestMode(const TDisplayMode&) override { return false; }
  bool ChangeMode(const TDisplayMode&) override { return false; }
  void RestoreMode() override {}
};

TEST_F(ViewObjectTree, FullScreenViewerThatCannotStartLeavesTheWindowUsable) {
  TVideoModeTable modes(std::make_unique<TNoModeSource>());
  form_->GLFullScreenViewer1->SetVideoModeTable(&modes);
  Win7FullScreenMode = true;
  form_->FullScreenItem->trigger();
  EXPECT_EQ(services_.Texts(), (std::vector<std::string>{"Unsupported video mode"}));
  EXPECT_FALSE(form_->FullScreen());
  EXPECT_FALSE(form_->FullScreenItem->isChecked());
  EXPECT_FALSE(form_->GLFullScreenViewer1->Active());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(form_->GL3DSceneViewer1->isEnabled());
  form_->GLFullScreenViewer1->SetVideoModeTable(nullptr);
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/FakeServices.h"
#include "support/TestApplication.h"
#include "widgets/HtmlTree.h"

namespace qira {
namespace {

using TNode = TFormattedTreeView::TTreeNode;

class HtmlTree : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    tree = std::make_unique<TFormattedTreeView>();
    TFont font;
    font.Name = PinnedFontFace();
    font.Height = -11;
    tree->SetFont(font);
    tree->SetItemHeight(18);
    tree->SetIndent(22);
    tree->resize(300, 200);
    root = tree->AddNode(nullptr, "Scene");
    tree->SetCheckBox(root, true);
    a = tree->AddNode(root, "A");
    tree->SetRadioButton(a, true);
    b = tree->AddNode(root, "B");
    tree->SetRadioButton(b, false);
    c = tree->AddNode(root, "C");
    tree->SetCheckBox(c, false);
    d = tree->AddNode(root, "D");
    tree->expandAll();
    tree->show();
    tree->OnCheckBoxClick = [this](TFormattedTreeView& sender, TNode* node, bool check) {
      EXPECT_EQ(&sender, tree.get());
      checks.push_back({node, check});
    };
    tree->OnRadioClick = [this](TFormattedTreeView&, TNode* node) { radios.push_back(node); };
  }

  void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y), tree->viewport()->mapToGlobal(QPointF(x, y)), button,
                      button, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y), tree->viewport()->mapToGlobal(QPointF(x, y)),
                        button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &release);
  }

  void ClickMark(TNode* node) {
    const TRect q = tree->MarkRect(node);
    Press((q.Left + q.Right) / 2, (q.Top + q.Bottom) / 2);
  }

  void Key(Qt::Key key, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(tree.get(), &event);
  }

  // Pixels of this colour inside the node's mark square on a fresh grab.
  int MarkPixels(TNode* node, TColor color) {
    const QImage image = tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const TRect q = tree->MarkRect(node);
    int n = 0;
    for (int y = q.Top; y < q.Bottom; ++y)
      for (int x = q.Left; x < q.Right; ++x)
        if (image.valid(x, y) && PixelToColor(image.pixel(x, y)) == color) ++n;
    return n;
  }

  std::unique_ptr<TFormattedTreeView> tree;
  TNode* root = nullptr;
  TNode* a = nullptr;
  TNode* b = nullptr;
  TNode* c = nullptr;
  TNode* d = nullptr;
  std::vector<std::pair<TNode*, bool>> checks;
  std::vector<TNode*> radios;
};

TEST_F(HtmlTree, MarksLiveInTheImageIndexAndSettingThemRaisesNothing) {
  bool checked = true;
  EXPECT_TRUE(tree->GetCheckBox(c, checked));
  EXPECT_FALSE(checked);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 1);
  tree->SetCheckBox(c, true);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 2);
  EXPECT_TRUE(tree->GetRadioButton(a, checked));
  EXPECT_TRUE(checked);
  checked = true;
  EXPECT_FALSE(tree->GetRadioButton(c, checked));
  EXPECT_TRUE(checked) << "left as the caller set it";
  EXPECT_FALSE(tree->GetCheckBox(d, checked));
  tree->SetRadioButton(b, true);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(a), 4) << "setting a mark touches no other node";
  EXPECT_TRUE(checks.empty());
  EXPECT_TRUE(radios.empty());
  EXPECT_EQ(tree->Version(), "1.1.2.0");
}

TEST_F(HtmlTree, ClickingACheckBoxTogglesItAndReportsTheNewState) {
  ClickMark(c);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 2);
  ClickMark(c);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 1);
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_EQ(checks[0], std::make_pair(c, true));
  EXPECT_EQ(checks[1], std::make_pair(c, false));
  ClickMark(root);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(root), 1) << "a root's check box toggles";
}

TEST_F(HtmlTree, TheMarkZoneIsTheOpenIntervalAfterTheTextRectanglesLeftEdge) {
  const TRect r = tree->NodeTextRect(c);
  const int y = (r.Top + r.Bottom) / 2;
  Press(r.Left, y);
  Press(r.Left + 16, y);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 1);
  EXPECT_TRUE(checks.empty());
  Press(r.Left + 1, y);
  Press(r.Left + 15, y);
  EXPECT_EQ(checks.size(), 2u);
}

TEST_F(HtmlTree, SwitchingARadioButtonOnTurnsItsSiblingsOffWithOneEvent) {
  ClickMark(b);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(b), 4);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(a), 3);
  ASSERT_EQ(radios.size(), 1u);
  EXPECT_EQ(radios[0], b);
  ClickMark(b);
  EXPECT_EQ(radios.size(), 1u) << "a radio button that is on does not react";
  EXPECT_EQ(TFormattedTreeView::ImageIndex(b), 4);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 1) << "check boxes among the siblings are left alone";
  // Both on, as an older file may leave them: a click or Space on either leaves it
  // the only one on, with one event.
  tree->SetRadioButton(a, true);
  ClickMark(a);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(a), 4);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(b), 3);
  tree->SetRadioButton(b, true);
  tree->setCurrentItem(b);
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(a), 3);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(b), 4);
  EXPECT_EQ(radios, (std::vector<TNode*>{b, a, b}));
}

TEST_F(HtmlTree, ARadioButtonOnARootNodeNeverReacts) {
  tree->SetRadioButton(root, false);
  ClickMark(root);
  tree->setCurrentItem(root);
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(root), 3);
  EXPECT_TRUE(radios.empty());
}

TEST_F(HtmlTree, SpaceTogglesTheSelectedNodesMarkAndIsAlwaysConsumed) {
  std::vector<char32_t> keys;
  tree->OnKeyPress = [&](TFormattedTreeView&, char32_t& key) { keys.push_back(key); };
  tree->setCurrentItem(c);
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 2);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0], std::make_pair(c, true));
  tree->setCurrentItem(b);
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(b), 4);
  EXPECT_EQ(radios.size(), 1u);
  tree->setCurrentItem(d);
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(d), -1);
  EXPECT_TRUE(keys.empty()) << "the space never reaches OnKeyPress";
  Key(Qt::Key_X, "x");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0], U'x');
}

TEST_F(HtmlTree, ClicksOnNodesWithoutAMarkChangeNothing) {
  const TRect r = tree->NodeTextRect(d);
  Press(r.Left + 8, (r.Top + r.Bottom) / 2);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(d), -1);
  EXPECT_TRUE(checks.empty());
  EXPECT_TRUE(radios.empty());
}

TEST_F(HtmlTree, AHandlerThatThrowsIsReportedAndDoesNotEscape) {
  TFakeServices services;
  tree->OnCheckBoxClick = [](TFormattedTreeView&, TNode*, bool) { throw std::runtime_error("cannot show object"); };
  ClickMark(c);
  EXPECT_EQ(TFormattedTreeView::ImageIndex(c), 2) << "the mark changed before the event";
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Text, "cannot show object");
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
}

TEST_F(HtmlTree, ExpandingANodeRaisesTheExpandedEventWithThatNode) {
  std::vector<TNode*> expanded;
  tree->OnExpanded = [&](TFormattedTreeView& sender, TNode* node) {
    EXPECT_EQ(&sender, tree.get());
    expanded.push_back(node);
  };
  tree->AddNode(d, "E");
  tree->collapseItem(d);
  tree->expandItem(d);
  tree->expandItem(d);  // already expanded: no second event
  EXPECT_EQ(expanded, (std::vector<TNode*>{d}));
}

TEST_F(HtmlTree, UpdatesNestAndAnUnmatchedEndDoesNothing) {
  tree->EndUpdate();
  EXPECT_EQ(tree->UpdateCount(), 0);
  tree->BeginUpdate();
  tree->BeginUpdate();
  EXPECT_EQ(tree->UpdateCount(), 2);
  tree->EndUpdate();
  EXPECT_EQ(tree->UpdateCount(), 1);
  tree->EndUpdate();
  tree->EndUpdate();
  EXPECT_EQ(tree->UpdateCount(), 0);
}

TEST_F(HtmlTree, RowsAreLeftUnpaintedWhileUpdating) {
  tree->SetControlStyle(csTolvane);
  tree->SetControlColor(clLime);
  tree->SetCheckBox(c, true);
  EXPECT_GT(MarkPixels(c, clLime), 5) << "the tick in the control colour";
  tree->BeginUpdate();
  EXPECT_EQ(MarkPixels(c, clLime), 0);
  tree->EndUpdate();
  EXPECT_GT(MarkPixels(c, clLime), 5);
}

TEST_F(HtmlTree, TolvaneRadioButtonsShowARedDotOnlyWhenOn) {
  tree->SetControlStyle(csTolvane);
  EXPECT_GT(MarkPixels(a, clRed), 3);
  EXPECT_EQ(MarkPixels(b, clRed), 0);
}

TEST_F(HtmlTree, EveryStyleDrawsSomethingForACheckedBox) {
  for (TControlStyle style : {csClassic, csFlat, csWinXP, csBitmaps, csTheme}) {
    tree->SetControlStyle(style);
    tree->SetCheckBox(c, true);
    EXPECT_LT(MarkPixels(c, clWhite), 14 * 14) << "style " << style;
  }
  tree->SetControlStyle(csGlyph);
  EXPECT_EQ(MarkPixels(c, clWhite), 14 * 14) << "no glyph, no mark";
  TBitmap glyph(14, 14);
  glyph.Canvas().SetBrush(TBrush{clBlue, bsSolid});
  glyph.Canvas().FillRect(TRect{0, 0, 14, 13});
  tree->SetGlyphChecked(glyph);
  EXPECT_EQ(MarkPixels(c, clBlue), 14 * 13) << "the bottom-left pixel's colour is transparent";
}

TEST_F(HtmlTree, ClickingALinkInANodeRaisesTheAnchorEvent) {
  TNode* link = tree->AddNode(root, "<a href=\"section-7\">Section</a>");
  tree->SetCheckBox(link, true);
  std::vector<std::string> anchors;
  tree->OnAnchorClick = [&](TFormattedTreeView&, TNode* node, const std::string& anchor) {
    EXPECT_EQ(node, link);
    anchors.push_back(anchor);
  };
  const TRect r = tree->NodeTextRect(link);
  const int y = (r.Top + r.Bottom) / 2;
  Press(r.Left + 2 + 16 + 10, y);
  ASSERT_EQ(anchors.size(), 1u);
  EXPECT_EQ(anchors[0], "section-7");
  EXPECT_EQ(TFormattedTreeView::ImageIndex(link), 2) << "a click on the text leaves the mark alone";
  Press(r.Left + 8, y);
  EXPECT_EQ(anchors.size(), 1u) << "a click on a check box stops before the link test";
}

TEST_F(HtmlTree, MovingOverALinkEntersItAndLeavingExitsIt) {
  TNode* link = tree->AddNode(root, "<a href=\"x\">Link</a>");
  std::vector<std::string> log;
  tree->OnAnchorEnter = [&](TFormattedTreeView&, TNode*, const std::string& s) { log.push_back("enter " + s); };
  tree->OnAnchorExit = [&](TFormattedTreeView&, TNode*, const std::string& s) { log.push_back("exit " + s); };
  const TRect r = tree->NodeTextRect(link);
  auto move = [&](int x, int y) {
    QMouseEvent e(QEvent::MouseMove, QPointF(x, y), tree->viewport()->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &e);
  };
  move(r.Left + 10, (r.Top + r.Bottom) / 2);
  EXPECT_EQ(tree->viewport()->cursor().shape(), Qt::PointingHandCursor);
  move(r.Left + 12, (r.Top + r.Bottom) / 2);
  move(290, 190);
  EXPECT_NE(tree->viewport()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(log, (std::vector<std::string>{"enter x", "exit x"}));
  EXPECT_EQ(tree->CurrentLink(), "");
}

TEST_F(HtmlTree, AWideNodeTextShowsItsPlainTextAsHintAtTheStartOfItsRow) {
  tree->setToolTip("Objects");
  TNode* wide = tree->AddNode(root, "<b>" + std::string(80, 'W') + "</b>");
  const TRect r = tree->NodeTextRect(wide);
  QPoint position;
  EXPECT_EQ(tree->HintTextAt(r.Left + 5, r.Top + 3, &position), std::string(80, 'W'));
  EXPECT_EQ(position.x(), 22) << "level 1 x indent";
  EXPECT_EQ(position.y() % 18, 0);
  tree->SetHTMLHint(true);
  EXPECT_EQ(tree->HintTextAt(r.Left + 5, r.Top + 3, &position), "<b>" + std::string(80, 'W') + "</b>");
  const TRect narrow = tree->NodeTextRect(c);
  EXPECT_EQ(tree->HintTextAt(narrow.Left + 5, narrow.Top + 3, &position), "Objects");
  tree->clear();
  EXPECT_EQ(tree->HintTextAt(10, 10, &position), "Objects") << "an empty tree gives the control's own hint";
}

TEST_F(HtmlTree, ImageListReferenceClearsWhenTheListIsDestroyed) {
  auto images = std::make_shared<THTMLImageList>();
  tree->SetHTMLImages(images);
  EXPECT_EQ(tree->HTMLImages(), images);
  images.reset();
  EXPECT_EQ(tree->HTMLImages(), nullptr);
}

TEST_F(HtmlTree, SelectedRowIsPaintedInTheSelectionColours) {
  tree->SetSelectionNFColor(clLime);
  tree->SetSelectionColor(clLime);
  tree->setCurrentItem(d);
  const QImage image = tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const TRect r = tree->NodeTextRect(d);
  EXPECT_EQ(PixelToColor(image.pixel(r.Left + 1, r.Top + 2)), clLime);
  EXPECT_NE(PixelToColor(image.pixel(r.Right - 1, r.Top + 2)), clLime) << "only as wide as mark and text";
}

// A list of one 16 x 16 image filled with colour.
std::shared_ptr<THTMLImageList> OneImageList(TColor color) {
  auto list = std::make_shared<THTMLImageList>();
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(ColorToPixel(color));
  list->Images.push_back(image);
  return list;
}

TEST_F(HtmlTree, AStateImageStandsBetweenTheMarkAndTheTextAndOutsideTheSelection) {
  const auto states = OneImageList(clLime);
  tree->SetStateImages(states);
  tree->SetSelectionNFColor(clRed);
  tree->SetSelectionColor(clRed);
  TFormattedTreeView::SetStateIndex(c, 0);
  TFormattedTreeView::SetStateIndex(d, 1);  // beyond the list: no image
  tree->setCurrentItem(c);
  const QImage image = tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const TRect rc = tree->NodeTextRect(c);
  const TRect rd = tree->NodeTextRect(d);
  const int imageX = rc.Left + 2 + 16 + 8;
  EXPECT_EQ(PixelToColor(image.pixel(imageX, (rc.Top + rc.Bottom) / 2)), clLime);
  EXPECT_NE(PixelToColor(image.pixel(rd.Left + 2 + 8, (rd.Top + rd.Bottom) / 2)), clLime);
  EXPECT_NE(PixelToColor(image.pixel(rc.Left + 1, rc.Top + 1)), clRed) << "selection moved right of the image";
  EXPECT_EQ(PixelToColor(image.pixel(rc.Left + 16 + 4 + 1, rc.Top + 1)), clRed);
}

TEST_F(HtmlTree, ALinkReactsWhereItIsPaintedForEveryImageIndex) {
  const auto states = OneImageList(clLime);
  tree->SetStateImages(states);
  for (int32_t imageIndex : {-1, 0, 2, 4, 5, 9}) {
    for (int32_t stateIndex : {-1, 0}) {
      TNode* link = tree->AddNode(root, "<a href=\"go\">Go there</a>");
      TFormattedTreeView::SetImageIndex(link, imageIndex);
      TFormattedTreeView::SetStateIndex(link, stateIndex);
      std::vector<std::string> anchors;
      tree->OnAnchorClick = [&](TFormattedTreeView&, TNode*, const std::string& anchor) { anchors.push_back(anchor); };
      const TRect r = tree->NodeTextRect(link);
      const int textLeft = r.Left + 2 + (imageIndex >= 1 && imageIndex <= 4 ? 16 : 0) + (stateIndex == 0 ? 20 : 0);
      Press(textLeft + 3, (r.Top + r.Bottom) / 2);
      EXPECT_EQ(anchors, std::vector<std::string>{"go"}) << imageIndex << " " << stateIndex;
      if (textLeft > r.Left + 4) {
        anchors.clear();
        Press(textLeft - 2, (r.Top + r.Bottom) / 2);
        EXPECT_TRUE(anchors.empty()) << "left of the text: " << imageIndex << " " << stateIndex;
      }
      delete link;
    }
  }
}

}  // namespace
}  // namespace qira

#pragma once
// The object tree of a view window: the tree control with the window's mouse,
// double-click and key handling (TViewTreeView), and the adapter through which
// scene objects reach its nodes (TObjectTreeAdapter).
//
// Item identifiers are numbers the adapter hands out, kept in each node; a node
// found by its identifier is looked up every time, so an identifier of a deleted
// node simply names no node.
#include <QMenu>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/ObjectMenu.h"
#include "model/TreeNode.h"
#include "widgets/HtmlTree.h"

namespace qira {

// The tree control of a view window. Mouse presses and double clicks are reported
// after the control handled them (marks toggled, selection moved); key presses go
// to OnKeyDown first, and a key it consumed (set to 0) goes no further.
class TViewTreeView : public TFormattedTreeView {
 public:
  using TMouseDown = std::function<void(Qt::MouseButton button, int x, int y)>;
  using TKeyDown = std::function<void(int& key, Qt::KeyboardModifiers shift)>;

  explicit TViewTreeView(QWidget* parent = nullptr);

  TMouseDown OnMouseDown;
  std::function<void()> OnDblClick;
  TKeyDown OnKeyDown;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class TObjectTreeAdapter : public TObjectTreeView {
 public:
  explicit TObjectTreeAdapter(TFormattedTreeView& tree);

  TFormattedTreeView& Tree() const { return tree_; }
  // The node of an identifier, or null.
  QTreeWidgetItem* Item(TTreeItemId node) const;
  // The identifier of a node of this tree, or 0.
  TTreeItemId IdOf(const QTreeWidgetItem* item) const;

  void BeginUpdate() override { tree_.BeginUpdate(); }
  void EndUpdate() override { tree_.EndUpdate(); }
  bool HasNode(TTreeItemId node) const override { return Item(node) != nullptr; }
  TTreeItemId AddChildNode(TTreeItemId parent, const std::string& text, TGraphMain* data) override;
  TTreeItemId InsertNodeBefore(TTreeItemId sibling, const std::string& text, TGraphMain* data) override;
  void DeleteNode(TTreeItemId node) override;
  void ClearNodes() override;
  std::string NodeText(TTreeItemId node) const override;
  void SetNodeText(TTreeItemId node, const std::string& text) override;
  bool NodeExpanded(TTreeItemId node) const override;
  void SetNodeExpanded(TTreeItemId node, bool expanded) override;
  TGraphMain* NodeData(TTreeItemId node) const override;
  bool GetCheckBox(TTreeItemId node, bool& checked) const override;
  bool GetRadioButton(TTreeItemId node, bool& checked) const override;
  void SetCheckBox(TTreeItemId node, bool checked) override;
  void SetRadioButton(TTreeItemId node, bool checked) override;

  // Every node in index order (pre-order, top-level nodes first to last).
  std::vector<TTreeItemId> NodesInOrder() const;

 private:
  struct TEntry {
    QTreeWidgetItem* Item = nullptr;
    TGraphMain* Data = nullptr;
  };
  TTreeItemId Register(QTreeWidgetItem* item, TGraphMain* data);
  void Forget(QTreeWidgetItem* item);

  TFormattedTreeView& tree_;
  TTreeItemId nextId_ = 1;
  std::unordered_map<TTreeItemId, TEntry> items_;
};

// Puts an object's command menu into a Qt menu: sub-menus for items with sub-items,
// disabled actions for unavailable commands. run is called with each command's
// click when it is chosen.
void FillQtMenu(QMenu& menu, const TObjectMenu& items,
                const std::function<void(const std::function<void()>&)>& run);
// Empties a menu; its actions and sub-menus are freed once control returns to the
// event loop (or with the menu), so a menu may be emptied from inside its own action.
void ClearQtMenu(QMenu& menu);

}  // namespace qira

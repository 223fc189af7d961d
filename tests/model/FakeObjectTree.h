#pragma once
// An object tree without a window: nodes with text, data, expanded state and a
// check box or radio mark, kept in order under their parents, as the tree control
// keeps them.
#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model/TreeNode.h"

namespace qira {

class TFakeObjectTree : public TObjectTreeView {
 public:
  struct TNode {
    TTreeItemId Parent = 0;
    std::string Text;
    TGraphMain* Data = nullptr;
    bool Expanded = false;
    bool Radio = false;    // radio button rather than check box
    bool Checked = false;  // box ticked / button on
    std::vector<TTreeItemId> Children;
  };

  int UpdateLevel = 0;
  int Repaints = 0;  // times the counter came back to 0

  void BeginUpdate() override { ++UpdateLevel; }
  void EndUpdate() override {
    if (UpdateLevel > 0 && --UpdateLevel == 0) ++Repaints;
  }

  bool HasNode(TTreeItemId node) const override { return nodes_.count(node) != 0; }

  TTreeItemId AddChildNode(TTreeItemId parent, const std::string& text, TGraphMain* data) override {
    TTreeItemId id = NewNode(parent, text, data);
    ChildList(parent).push_back(id);
    return id;
  }

  TTreeItemId InsertNodeBefore(TTreeItemId sibling, const std::string& text,
                               TGraphMain* data) override {
    TTreeItemId parent = At(sibling).Parent;
    TTreeItemId id = NewNode(parent, text, data);
    std::vector<TTreeItemId>& list = ChildList(parent);
    list.insert(std::find(list.begin(), list.end(), sibling), id);
    return id;
  }

  void DeleteNode(TTreeItemId node) override {
    if (!HasNode(node)) return;
    std::vector<TTreeItemId>& list = ChildList(At(node).Parent);
    list.erase(std::find(list.begin(), list.end(), node));
    DropSubtree(node);
  }

  void ClearNodes() override {
    nodes_.clear();
    top_.clear();
  }

  std::string NodeText(TTreeItemId node) const override { return At(node).Text; }
  void SetNodeText(TTreeItemId node, const std::string& text) override { At(node).Text = text; }
  bool NodeExpanded(TTreeItemId node) const override { return At(node).Expanded; }
  void SetNodeExpanded(TTreeItemId node, bool expanded) override { At(node).Expanded = expanded; }
  TGraphMain* NodeData(TTreeItemId node) const override { return At(node).Data; }

  bool GetCheckBox(TTreeItemId node, bool& checked) const override {
    checked = !At(node).Radio && At(node).Checked;
    return !At(node).Radio;
  }
  bool GetRadioButton(TTreeItemId node, bool& checked) const override {
    checked = At(node).Radio && At(node).Checked;
    return At(node).Radio;
  }
  void SetCheckBox(TTreeItemId node, bool checked) override {
    At(node).Radio = false;
    At(node).Checked = checked;
  }
  void SetRadioButton(TTreeItemId node, bool checked) override {
    At(node).Radio = true;
    At(node).Checked = checked;
  }

  // Test access.
  const TNode& Node(TTreeItemId node) const { return At(node); }
  std::vector<TTreeItemId> Children(TTreeItemId parent) const {
    return parent == 0 ? top_ : At(parent).Children;
  }
  std::vector<std::string> Texts(TTreeItemId parent) const {
    std::vector<std::string> out;
    for (TTreeItemId id : Children(parent)) out.push_back(At(id).Text);
    return out;
  }
  size_t NodeCount() const { return nodes_.size(); }

 private:
  TTreeItemId NewNode(TTreeItemId parent, const std::string& text, TGraphMain* data) {
    if (parent != 0) At(parent);  // must exist
    TTreeItemId id = ++lastId_;
    TNode n;
    n.Parent = parent;
    n.Text = text;
    n.Data = data;
    nodes_[id] = n;
    return id;
  }
  std::vector<TTreeItemId>& ChildList(TTreeItemId parent) {
    return parent == 0 ? top_ : At(parent).Children;
  }
  void DropSubtree(TTreeItemId node) {
    std::vector<TTreeItemId> children = At(node).Children;
    for (TTreeItemId c : children) DropSubtree(c);
    nodes_.erase(node);
  }
  TNode& At(TTreeItemId node) { return const_cast<TNode&>(std::as_const(*this).At(node)); }
  const TNode& At(TTreeItemId node) const {
    auto it = nodes_.find(node);
    if (it == nodes_.end()) throw std::out_of_range("no such tree node");
    return it->second;
  }

  std::map<TTreeItemId, TNode> nodes_;
  std::vector<TTreeItemId> top_;
  TTreeItemId lastId_ = 1000;
};

}  // namespace qira

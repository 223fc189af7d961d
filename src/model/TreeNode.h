#pragma once
// What a scene object uses of the view window's object tree: one node per object
// (the root has none), addressed by an item identifier, carrying the object as its
// data, its name as text, an expanded state, and a check box (ordinary object) or a
// radio button (exclusive object) for the object's visibility.
//
// Objects keep only the identifier and look the node up each time, so a tree whose
// nodes were rebuilt needs nothing but the identifiers relinked. The tree control
// implements this interface; tests use a fake.
#include <cstdint>
#include <string>

namespace qira {

class TGraphMain;

// 0 names no node.
using TTreeItemId = std::uint64_t;

class TObjectTreeView {
 public:
  virtual ~TObjectTreeView() = default;

  // Painting is held back while the update counter is above 0.
  virtual void BeginUpdate() = 0;
  // Lowers a positive counter; repaints when it reaches 0.
  virtual void EndUpdate() = 0;

  // True while the identifier names a node of this tree.
  virtual bool HasNode(TTreeItemId node) const = 0;
  // A new node as the last child of parent (0: a top-level node); returns its identifier.
  virtual TTreeItemId AddChildNode(TTreeItemId parent, const std::string& text,
                                   TGraphMain* data) = 0;
  // A new node just before sibling, under sibling's parent; returns its identifier.
  virtual TTreeItemId InsertNodeBefore(TTreeItemId sibling, const std::string& text,
                                       TGraphMain* data) = 0;
  // Deletes the node and all nodes below it.
  virtual void DeleteNode(TTreeItemId node) = 0;
  // Deletes every node.
  virtual void ClearNodes() = 0;

  virtual std::string NodeText(TTreeItemId node) const = 0;
  virtual void SetNodeText(TTreeItemId node, const std::string& text) = 0;
  virtual bool NodeExpanded(TTreeItemId node) const = 0;
  virtual void SetNodeExpanded(TTreeItemId node, bool expanded) = 0;
  virtual TGraphMain* NodeData(TTreeItemId node) const = 0;

  // True when the node shows a check box; checked := the box is ticked.
  virtual bool GetCheckBox(TTreeItemId node, bool& checked) const = 0;
  // True when the node shows a radio button; checked := the button is on.
  virtual bool GetRadioButton(TTreeItemId node, bool& checked) const = 0;
  // The node shows a check box (radio button), ticked (on) or not.
  virtual void SetCheckBox(TTreeItemId node, bool checked) = 0;
  virtual void SetRadioButton(TTreeItemId node, bool checked) = 0;
};

}  // namespace qira

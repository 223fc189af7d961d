#include "ui/ViewObjectTree.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "model/GeologyList.h"
#include "model/GraphMain.h"
#include "platform/HandlerGuard.h"
#include "ui/ViewWindow.h"
#include "ui/DialogSupport.h"

// Sections: the tree control; the adapter; Qt menus from object menus; the
// window's tree handlers and object menus.

namespace qira {

namespace {

// The adapter's identifier of a node, kept in the node.
constexpr int kItemIdRole = Qt::UserRole + 16;


}  // namespace

// ---- The tree control -------------------------------------------------------------

TViewTreeView::TViewTreeView(QWidget* parent) : TFormattedTreeView(parent) {}

void TViewTreeView::mousePressEvent(QMouseEvent* event) {
  TFormattedTreeView::mousePressEvent(event);
  if (!OnMouseDown) return;
  const QPoint pos = event->position().toPoint();
  Guarded([&] { OnMouseDown(event->button(), pos.x(), pos.y()); });
}

void TViewTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  TFormattedTreeView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && OnDblClick) Guarded([&] { OnDblClick(); });
}

void TViewTreeView::keyPressEvent(QKeyEvent* event) {
  if (OnKeyDown) {
    int key = event->key();
    Guarded([&] { OnKeyDown(key, event->modifiers()); });
    if (key == 0) {
      event->accept();
      return;
    }
  }
  TFormattedTreeView::keyPressEvent(event);
}

// ---- The adapter --------------------------------------------------------------------

TObjectTreeAdapter::TObjectTreeAdapter(TFormattedTreeView& tree) : tree_(tree) {}

QTreeWidgetItem* TObjectTreeAdapter::Item(TTreeItemId node) const {
  if (node == 0) return nullptr;
  auto found = items_.find(node);
  return found == items_.end() ? nullptr : found->second.Item;
}

TTreeItemId TObjectTreeAdapter::IdOf(const QTreeWidgetItem* item) const {
  if (item == nullptr) return 0;
  const TTreeItemId id = item->data(0, kItemIdRole).toULongLong();
  return Item(id) == item ? id : 0;
}

TTreeItemId TObjectTreeAdapter::Register(QTreeWidgetItem* item, TGraphMain* data) {
  const TTreeItemId id = nextId_++;
  item->setData(0, kItemIdRole, QVariant::fromValue<qulonglong>(id));
  items_[id] = TEntry{item, data};
  return id;
}

void TObjectTreeAdapter::Forget(QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i) Forget(item->child(i));
  items_.erase(item->data(0, kItemIdRole).toULongLong());
}

TTreeItemId TObjectTreeAdapter::AddChildNode(TTreeItemId parent, const std::string& text, TGraphMain* data) {
  QTreeWidgetItem* item = tree_.AddNode(Item(parent), text);
  return Register(item, data);
}

TTreeItemId TObjectTreeAdapter::InsertNodeBefore(TTreeItemId sibling, const std::string& text,
                                                 TGraphMain* data) {
  QTreeWidgetItem* next = Item(sibling);
  if (next == nullptr) return AddChildNode(0, text, data);
  auto* item = new QTreeWidgetItem();
  TFormattedTreeView::SetNodeText(item, text);
  if (QTreeWidgetItem* parent = next->parent()) {
    parent->insertChild(parent->indexOfChild(next), item);
  } else {
    tree_.insertTopLevelItem(tree_.indexOfTopLevelItem(next), item);
  }
  return Register(item, data);
}

void TObjectTreeAdapter::DeleteNode(TTreeItemId node) {
  QTreeWidgetItem* item = Item(node);
  if (item == nullptr) return;
  Forget(item);
  delete item;  // takes its children and leaves its parent
}

void TObjectTreeAdapter::ClearNodes() {
  items_.clear();
  tree_.clear();
}

std::string TObjectTreeAdapter::NodeText(TTreeItemId node) const {
  QTreeWidgetItem* item = Item(node);
  return item ? TFormattedTreeView::NodeText(item) : std::string();
}

void TObjectTreeAdapter::SetNodeText(TTreeItemId node, const std::string& text) {
  if (QTreeWidgetItem* item = Item(node)) TFormattedTreeView::SetNodeText(item, text);
}

bool TObjectTreeAdapter::NodeExpanded(TTreeItemId node) const {
  QTreeWidgetItem* item = Item(node);
  return item != nullptr && item->isExpanded();
}

void TObjectTreeAdapter::SetNodeExpanded(TTreeItemId node, bool expanded) {
  if (QTreeWidgetItem* item = Item(node)) item->setExpanded(expanded);
}

TGraphMain* TObjectTreeAdapter::NodeData(TTreeItemId node) const {
  if (node == 0) return nullptr;
  auto found = items_.find(node);
  return found == items_.end() ? nullptr : found->second.Data;
}

bool TObjectTreeAdapter::GetCheckBox(TTreeItemId node, bool& checked) const {
  QTreeWidgetItem* item = Item(node);
  return item != nullptr && tree_.GetCheckBox(item, checked);
}

bool TObjectTreeAdapter::GetRadioButton(TTreeItemId node, bool& checked) const {
  QTreeWidgetItem* item = Item(node);
  return item != nullptr && tree_.GetRadioButton(item, checked);
}

void TObjectTreeAdapter::SetCheckBox(TTreeItemId node, bool checked) {
  if (QTreeWidgetItem* item = Item(node)) tree_.SetCheckBox(item, checked);
}

void TObjectTreeAdapter::SetRadioButton(TTreeItemId node, bool checked) {
  if (QTreeWidgetItem* item = Item(node)) tree_.SetRadioButton(item, checked);
}

std::vector<TTreeItemId> TObjectTreeAdapter::NodesInOrder() const {
  std::vector<TTreeItemId> out;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
    if (TTreeItemId id = IdOf(item)) out.push_back(id);
    for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
  };
  for (int i = 0; i < tree_.topLevelItemCount(); ++i) walk(tree_.topLevelItem(i));
  return out;
}

// ---- Qt menus from object menus ---------------------------------------------------------

void FillQtMenu(QMenu& menu, const TObjectMenu& items,
                const std::function<void(const std::function<void()>&)>& run) {
  for (const TObjectMenuItem& item : items) {
    if (!item.Items.empty()) {
      auto* sub = new QMenu(ToQt(item.Caption), &menu);
      FillQtMenu(*sub, item.Items, run);
      menu.addMenu(sub)->setEnabled(item.Enabled);
      continue;
    }
    QAction* action = menu.addAction(ToQt(item.Caption));
    action->setEnabled(item.Enabled && static_cast<bool>(item.OnClick));
    if (item.OnClick) {
      std::function<void()> click = item.OnClick;
      QObject::connect(action, &QAction::triggered, &menu, [run, click] { run(click); });
    }
  }
}

void ClearQtMenu(QMenu& menu) {
  const QList<QAction*> actions = menu.actions();
  for (QAction* action : actions) {
    menu.removeAction(action);
    if (QMenu* sub = action->menu(); sub != nullptr && sub->parent() == &menu) {
      ClearQtMenu(*sub);
      sub->deleteLater();
    }
    if (action->parent() == &menu) action->deleteLater();
  }
}

// ---- The window's tree handlers and object menus ----------------------------------------

void TForm3D::RebuildObjectMenus(TTreeItemId node) {
  if (commandDepth_ > 0) {
    // A command is running: its own menu must not be emptied under it.
    menuRebuildPending_ = true;
    return;
  }
  if (rebuildingMenus_) return;
  rebuildingMenus_ = true;
  QTreeWidgetItem* item = treeAdapter_->Item(node);
  TGraphMain* target = item != nullptr ? treeAdapter_->NodeData(node) : nullptr;
  if (target != nullptr) {
    TreeView->setCurrentItem(item);
  } else {
    target = root_.get();
    TreeView->setCurrentItem(nullptr);
    TreeView->clearSelection();
  }
  CurrentGeologyList = geologyList_.get();
  menuTarget_ = target;
  ++menuGeneration_;
  FillObjectMenu(*ObjectsMenu, *target);
  FillObjectMenu(*PopupMenu1, *target);
  rebuildingMenus_ = false;
}

void TForm3D::FillObjectMenu(QMenu& menu, TGraphMain& target) {
  ClearQtMenu(menu);
  TObjectMenu items;
  target.FillMenu(items);
  const unsigned generation = menuGeneration_;
  FillQtMenu(menu, items, [this, generation](const std::function<void()>& click) {
    RunObjectCommand(click, generation);
  });
}

void TForm3D::RunObjectCommand(const std::function<void()>& command, unsigned generation) {
  // An action of an earlier filling may name an object that no longer exists.
  if (generation != menuGeneration_ || commandDepth_ > 0) return;
  ++commandDepth_;
  // Imports, exports, edits and new objects may take much memory: the changed
  // documents are copied first.
  Guarded([&] {
    BeforeLargeStep();
    command();
  });
  --commandDepth_;
  // Every command may have changed the tree: the menus follow the selection again.
  menuRebuildPending_ = false;
  ++menuGeneration_;
  ScheduleMenuRebuild();
}

void TForm3D::ScheduleMenuRebuild() {
  QTimer::singleShot(0, this, [this] {
    Guarded([&] { RebuildObjectMenus(treeAdapter_->IdOf(TreeView->currentItem())); });
  });
}

void TForm3D::TreeViewChange(TTreeItemId node) {
  if (rebuildingMenus_) return;
  RebuildObjectMenus(node);
}

void TForm3D::TreeViewMouseDown(Qt::MouseButton button, int x, int y) {
  if (button != Qt::LeftButton && button != Qt::RightButton) return;
  const TTreeItemId node = treeAdapter_->IdOf(TreeView->NodeAt(x, y));
  RebuildObjectMenus(node);
  if (button == Qt::RightButton) PopupMenu1->popup(TreeView->viewport()->mapToGlobal(QPoint(x, y)));
}

void TForm3D::TreeViewCheckBoxClick(TTreeItemId node, bool checked) {
  if (TGraphMain* object = treeAdapter_->NodeData(node)) object->SetVisible(checked);
}

void TForm3D::TreeViewRadioClick(TTreeItemId node) {
  TGraphMain* object = treeAdapter_->NodeData(node);
  bool checked = false;
  if (object != nullptr && treeAdapter_->GetRadioButton(node, checked)) object->SetVisible(checked);
}

void TForm3D::TreeViewDblClick() {
  const TTreeItemId node = treeAdapter_->IdOf(TreeView->currentItem());
  TGraphMain* object = treeAdapter_->NodeData(node);
  if (object == nullptr || object->TypeId == GraphTypeId::Group) return;
  ++commandDepth_;
  Guarded([&] {
    BeforeLargeStep();
    object->Edit();
  });
  --commandDepth_;
  ++menuGeneration_;
  ScheduleMenuRebuild();
}

void TForm3D::RelinkTreeNodes() {
  for (TTreeItemId node : treeAdapter_->NodesInOrder())
    if (TGraphMain* object = treeAdapter_->NodeData(node)) object->SetTreeNode(treeAdapter_.get(), node);
}

}  // namespace qira

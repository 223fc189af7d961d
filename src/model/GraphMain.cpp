#include "model/GraphMain.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <deque>
#include <limits>
#include <map>
#include <unordered_set>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/Services.h"

// Sections: globals; construction and virtual operations; tree structure;
// visibility; names and tree nodes; bounds; editing; menu and commands.

namespace qira {

bool IgnoreNextMouseMove = false;

namespace {

TTransparencyDialog& TransparencyDialog() {
  static TTransparencyDialog dialog;
  return dialog;
}

TGraphChangeSink& ChangeSink() {
  static TGraphChangeSink sink;
  return sink;
}

std::atomic<int64_t> gSiblingSteps{0};
void CountSiblingSteps(int64_t steps) { gSiblingSteps.fetch_add(steps, std::memory_order_relaxed); }

constexpr size_t kCreateCommandCount = static_cast<size_t>(TCreateCommand::Model) + 1;

std::array<TCreateCommandAction, kCreateCommandCount>& CreateCommands() {
  static std::array<TCreateCommandAction, kCreateCommandCount> actions;
  return actions;
}

// Holds tree painting back for a scope; no tree, no effect.
class TTreeUpdateGuard {
 public:
  explicit TTreeUpdateGuard(TObjectTreeView* tree) : tree_(tree) {
    if (tree_) tree_->BeginUpdate();
  }
  ~TTreeUpdateGuard() {
    if (tree_) tree_->EndUpdate();
  }
  TTreeUpdateGuard(const TTreeUpdateGuard&) = delete;
  TTreeUpdateGuard& operator=(const TTreeUpdateGuard&) = delete;

 private:
  TObjectTreeView* tree_;
};

bool HasBounds(const TGraphMain& object) {
  return object.BoundsMin.X != std::numeric_limits<double>::infinity();
}

// True when any object of the subtree has bounds, shown or hidden: such an object
// may already be built at the present model offset.
bool AnyBounds(const TGraphMain& object) {
  if (HasBounds(object)) return true;
  for (int i = 0; i < object.ChildCount(); ++i)
    if (AnyBounds(*object.GetChild(i))) return true;
  return false;
}

void ExtendBox(TSurveyPoint& min, TSurveyPoint& max, const TGraphMain& object) {
  if (object.BoundsMin.X < min.X) min.X = object.BoundsMin.X;
  if (object.BoundsMin.Y < min.Y) min.Y = object.BoundsMin.Y;
  if (object.BoundsMin.Z < min.Z) min.Z = object.BoundsMin.Z;
  if (object.BoundsMax.X > max.X) max.X = object.BoundsMax.X;
  if (object.BoundsMax.Y > max.Y) max.Y = object.BoundsMax.Y;
  if (object.BoundsMax.Z > max.Z) max.Z = object.BoundsMax.Z;
}

void CollectVisibleBounds(const TGraphMain& object, TSurveyPoint& min, TSurveyPoint& max) {
  if (!object.Visible()) return;  // hides the whole subtree
  ExtendBox(min, max, object);
  for (int i = 0; i < object.ChildCount(); ++i) CollectVisibleBounds(*object.GetChild(i), min, max);
}

}  // namespace

const std::string& NameKey(const TGraphMain& object) { return object.nameKey_; }

void SetTransparencyDialog(TTransparencyDialog dialog) { TransparencyDialog() = std::move(dialog); }

void SetGraphChangeSink(TGraphChangeSink sink) { ChangeSink() = std::move(sink); }

int64_t SiblingStepsForTesting() { return gSiblingSteps.load(); }

void RegisterCreateCommand(TCreateCommand command, TCreateCommandAction action) {
  CreateCommands().at(static_cast<size_t>(command)) = std::move(action);
}

// ---- Construction and virtual operations --------------------------------------------

TGraphMain::TGraphMain() = default;

TGraphMain::~TGraphMain() {
  // Deepest first, without recursion, so that a tree of any depth goes without
  // exhausting the stack; every object still finds its ancestors alive, as with
  // nested destruction, and goes without children.
  std::vector<TGraphMain*> path{this};
  while (!path.empty()) {
    TGraphMain* node = path.back();
    if (!node->children_.empty()) {
      path.push_back(node->children_.back().get());
      continue;
    }
    path.pop_back();
    if (!path.empty()) path.back()->children_.pop_back();
  }
}

void TGraphMain::Build(bool recursive) {
  if (!recursive) return;
  for (int i = 0; i < ChildCount(); ++i) children_[i]->Build(true);
}

void TGraphMain::PointTo(TGLBaseSceneObject* target) {
  for (int i = 0; i < ChildCount(); ++i) children_[i]->PointTo(target);
}

void TGraphMain::Clear() {
  StoreName({});
  if (!visible_) {
    visible_ = true;
    if (parent_) parent_->ShownExclusiveChanged(*this);
  }
  Transparency = 255;
  AcceptForAll = false;
  children_.clear();
  pairsOutOfNameOrder_ = 0;
  pairsOutOfFrequencyOrder_ = 0;
  shownExclusive_.clear();
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
}

int64_t TGraphMain::DrawnBytes() const { return 0; }

int64_t TGraphMain::BinnedBytes() const { return 0; }

int64_t TGraphMain::FrameBinnedBytes() const { return BinnedBytes(); }

bool TGraphMain::DrawingHeld() const { return true; }

int64_t TGraphMain::OpenedBytes() const { return OpenedBytesDrawing(DrawnBytes()); }

int64_t TGraphMain::OpenedBytesDrawing(int64_t drawn) const {
  return GraphObjectCost.Of(1, static_cast<int64_t>(name_.size())) + drawn;
}

bool TGraphMain::IsEmpty() const {
  for (const auto& child : children_)
    if (!child->IsEmpty()) return false;
  return true;
}

void TGraphMain::UpdateVisibility() {
  for (int i = 0; i < ChildCount(); ++i) children_[i]->UpdateVisibility();
}

void TGraphMain::CopySettingsFrom(const TGraphMain& source) {
  for (int i = 0; i < ChildCount(); ++i) children_[i]->CopySettingsFrom(source);
}

int32_t TGraphMain::Accepts(const TGraphMain& object) const {
  return object.TypeId == GraphTypeId::Section ? 0 : -1;
}

void TGraphMain::SetGeologyList(TGeologyList* list) {
  for (int i = 0; i < ChildCount(); ++i) children_[i]->SetGeologyList(list);
}

// ---- Tree structure -----------------------------------------------------------------

TGraphMain* TGraphMain::GetChild(int i) const {
  if (i < 0 || i >= ChildCount()) return nullptr;
  return children_[i].get();
}

int TGraphMain::IndexInParent() const {
  if (!parent_) return -1;
  const int count = parent_->ChildCount();
  if (indexHint_ >= 0 && indexHint_ < count && parent_->children_[indexHint_].get() == this) return indexHint_;
  for (int i = 0; i < count; ++i) {
    if (parent_->children_[i].get() == this) {
      CountSiblingSteps(i + 1);
      return indexHint_ = i;
    }
  }
  CountSiblingSteps(count);
  return -1;
}

TGraphMain* TGraphMain::GetRoot() {
  TGraphMain* o = this;
  while (o->parent_) o = o->parent_;
  return o;
}

TGraphMain* TGraphMain::AddChild(std::unique_ptr<TGraphMain> child, bool sorted) {
  if (!child) return nullptr;
  int index = sorted ? FindSortedIndex(*child) : ChildCount();
  return InsertChild(std::move(child), index);
}

void TGraphMain::AddChildrenSorted(std::vector<std::unique_ptr<TGraphMain>> children) {
  std::erase(children, nullptr);
  const bool byFrequency = TypeId == GraphTypeId::SectionGroup;
  if (!children_.empty() ||
      (byFrequency && std::any_of(children.begin(), children.end(),
                                  [](const auto& c) { return c->TypeId != GraphTypeId::Section; }))) {
    for (auto& child : children) AddChild(std::move(child), true);
    return;
  }
  // Each exclusive child added visible hides the exclusive ones added before it, and
  // those after it come hidden or hide it in turn: only the last one added visible
  // stays so. Applied first, the adds below hide nothing more.
  TGraphMain* shown = nullptr;
  for (auto& child : children)
    if (child->Exclusive && child->visible_) shown = child.get();
  for (auto& child : children)
    if (child->Exclusive && child.get() != shown) child->SetVisible(false);

  if (byFrequency) {
    // A NaN goes first (FindSortedIndex: no frequency is above it), and so does every
    // child after it, since none is below the NaN then at the front: those stand in
    // the reverse of their order, before the ones that came before the NaN.
    const auto firstNaN = std::find_if(children.begin(), children.end(),
                                       [](const auto& c) { return std::isnan(c->SortFrequency()); });
    for (auto it = children.end(); it != firstNaN;) InsertChild(std::move(*--it), ChildCount());
    // Descending frequency (FindSortedIndex): a frequency goes before its equals,
    // unless it equals the lowest while a higher one is held; then after them.
    std::map<float, std::deque<std::unique_ptr<TGraphMain>>, std::greater<float>> byFrequencyRows;
    for (auto child = children.begin(); child != firstNaN; ++child) {
      const float f = (*child)->SortFrequency();
      const bool back = !byFrequencyRows.empty() && f <= byFrequencyRows.rbegin()->first &&
                        f < byFrequencyRows.begin()->first;
      auto& same = byFrequencyRows[f];  // -0 and 0 share a row, as they compare equal
      if (back) same.push_back(std::move(*child));
      else same.push_front(std::move(*child));
    }
    for (auto& [f, same] : byFrequencyRows)
      for (auto& child : same) InsertChild(std::move(child), ChildCount());
    return;
  }
  // One by one, a name not below the last one's goes after its equals, any other
  // before them (FindSortedIndex on children kept in order): so the children of
  // one name are a row that grows at the back only while their name is the last.
  std::map<std::string, std::deque<std::unique_ptr<TGraphMain>>> byKey;
  for (auto& child : children) {
    std::string key = NameKey(*child);
    const bool last = byKey.empty() || key >= byKey.rbegin()->first;
    auto& same = byKey[std::move(key)];
    if (last) same.push_back(std::move(child));
    else same.push_front(std::move(child));
  }
  for (auto& [key, same] : byKey)
    for (auto& child : same) InsertChild(std::move(child), ChildCount());
}

TGraphMain* TGraphMain::InsertChild(std::unique_ptr<TGraphMain> child, int index) {
  if (!child) return nullptr;
  if (index < 0) index = 0;
  if (index > ChildCount()) index = ChildCount();
  TGraphMain* c = child.get();
  CountPair(index - 1, -1);
  CountSiblingSteps(ChildCount() - index);
  children_.insert(children_.begin() + index, std::move(child));
  CountPairsAround(index, +1);
  c->indexHint_ = index;
  c->parent_ = this;
  c->Context = Context;
  if (c->Exclusive && c->visible_) {
    HideShownExclusiveBut(c);
    shownExclusive_.push_back(c);
  }
  NotifyChanged();
  return c;
}

void TGraphMain::AdoptLoadedChildren(std::vector<std::unique_ptr<TGraphMain>> loaded) {
  for (auto& child : loaded) {
    const int index = ChildCount();
    child->parent_ = this;
    child->indexHint_ = index;
    if (child->Exclusive && child->visible_) shownExclusive_.push_back(child.get());
    children_.push_back(std::move(child));
    CountPair(index - 1, +1);
  }
}

std::unique_ptr<TGraphMain> TGraphMain::RemoveChild(int index) {
  if (index < 0 || index >= ChildCount()) return nullptr;
  CountPairsAround(index, -1);
  std::unique_ptr<TGraphMain> child = std::move(children_[index]);
  CountSiblingSteps(ChildCount() - index);
  children_.erase(children_.begin() + index);
  CountPair(index - 1, +1);
  std::erase(shownExclusive_, child.get());
  child->parent_ = nullptr;
  child->indexHint_ = -1;
  NotifyChanged();
  return child;
}

void TGraphMain::CountPair(int left, int sign) {
  if (left < 0 || left + 1 >= ChildCount()) return;
  const TGraphMain& a = *children_[left];
  const TGraphMain& b = *children_[left + 1];
  if (a.nameKey_ > b.nameKey_) pairsOutOfNameOrder_ += sign;
  if (!(a.SortFrequency() >= b.SortFrequency())) pairsOutOfFrequencyOrder_ += sign;  // NaN: out of order
}

void TGraphMain::CountPairsAround(int position, int sign) {
  CountPair(position - 1, sign);
  CountPair(position, sign);
}

int TGraphMain::FindSortedIndex(const TGraphMain& child) const {
  const int n = ChildCount();
  if (n == 0) return 0;
  if (TypeId == GraphTypeId::SectionGroup && child.TypeId == GraphTypeId::Section) {
    // Descending frequency; equal to the first goes first, equal to the last goes last.
    const float f = child.SortFrequency();
    if (!(children_[0]->SortFrequency() > f)) return 0;
    if (!(f > children_[n - 1]->SortFrequency())) return n;
    if (pairsOutOfFrequencyOrder_ == 0)
      return ChildrenOfFrequency(f).first;
    CountSiblingSteps(n);
    for (int i = 0; i + 1 < n; ++i)
      if (f <= children_[i]->SortFrequency() && f >= children_[i + 1]->SortFrequency()) return i + 1;
    return n;
  }
  // Ascending names; the last is tested first, so a name equal to it goes last.
  const std::string& key = child.nameKey_;
  if (key >= children_[n - 1]->nameKey_) return n;
  if (key <= children_[0]->nameKey_) return 0;
  if (pairsOutOfNameOrder_ == 0) {
    // In order, the walk below stops at the first name not below key.
    auto first = std::lower_bound(children_.begin(), children_.end(), key,
                                  [](const auto& c, const std::string& k) { return c->nameKey_ < k; });
    return static_cast<int>(first - children_.begin());
  }
  CountSiblingSteps(n);
  for (int i = 0; i + 1 < n; ++i)
    if (children_[i]->nameKey_ <= key && children_[i + 1]->nameKey_ >= key) return i + 1;
  return n;
}

std::pair<int, int> TGraphMain::ChildrenOfFrequency(float frequency) const {
  if (pairsOutOfFrequencyOrder_ != 0) return {0, ChildCount()};
  const auto above = [frequency](const auto& c) { return c->SortFrequency() > frequency; };
  const auto notBelow = [frequency](const auto& c) { return c->SortFrequency() >= frequency; };
  const auto first = std::partition_point(children_.begin(), children_.end(), above);
  const auto last = std::partition_point(first, children_.end(), notBelow);
  return {static_cast<int>(first - children_.begin()), static_cast<int>(last - children_.begin())};
}

void TGraphMain::SetContext(TSceneContext* context) {
  Context = context;
  for (auto& child : children_) child->SetContext(context);
}

void TGraphMain::SetTreeView(TObjectTreeView* treeView) {
  treeView_ = treeView;
  for (auto& child : children_) child->SetTreeView(treeView);
}

TGraphMain* TGraphMain::FindSectionGroup(const TGraphMain& section) {
  if (section.TypeId != GraphTypeId::Section) return nullptr;
  // Only a group that accepts it outright (2): a group that already holds the same
  // frequency (1) does not take a second section of it.
  if (TypeId == GraphTypeId::SectionGroup && Accepts(section) >= 2) return this;
  for (auto& child : children_)
    if (TGraphMain* found = child->FindSectionGroup(section)) return found;
  return nullptr;
}

std::vector<TGraphMain*> TGraphMain::GetBoreholes() {
  std::vector<TGraphMain*> list;
  GetRoot()->CollectBoreholes(list);
  return list;
}

void TGraphMain::CollectBoreholes(std::vector<TGraphMain*>& list) {
  if (TypeId == GraphTypeId::Borehole) list.push_back(this);
  for (auto& child : children_) child->CollectBoreholes(list);
}

// ---- Visibility ---------------------------------------------------------------------

void TGraphMain::SetVisible(bool value) {
  if (value != visible_) {
    visible_ = value;
    if (parent_) parent_->ShownExclusiveChanged(*this);
    UpdateVisibility();
    NotifyChanged();
  }
  if (visible_ && Exclusive && parent_) parent_->HideShownExclusiveBut(this);
  if (TTreeItemId node = GetTreeNode()) {
    bool checked = false;
    if (Exclusive) {
      if (!treeView_->GetRadioButton(node, checked) || checked != value)
        treeView_->SetRadioButton(node, value);
    } else {
      if (!treeView_->GetCheckBox(node, checked) || checked != value)
        treeView_->SetCheckBox(node, value);
    }
  }
}

void TGraphMain::ShownExclusiveChanged(TGraphMain& child) {
  const bool shown = child.Exclusive && child.visible_;
  const auto at = std::find(shownExclusive_.begin(), shownExclusive_.end(), &child);
  CountSiblingSteps(shownExclusive_.end() - shownExclusive_.begin());  // looked at, or moved up
  if (shown && at == shownExclusive_.end()) shownExclusive_.push_back(&child);
  if (!shown && at != shownExclusive_.end()) shownExclusive_.erase(at);
}

void TGraphMain::HideShownExclusiveBut(const TGraphMain* kept) {
  std::vector<TGraphMain*> others;
  for (TGraphMain* shown : shownExclusive_)
    if (shown != kept) others.push_back(shown);
  if (others.empty()) return;
  CountSiblingSteps(static_cast<int64_t>(shownExclusive_.size()));
  // Several are shown only as a file left them: they are hidden in the order they stand,
  // found in one walk of the children (they are children, each once).
  if (others.size() > 1) {
    const std::unordered_set<const TGraphMain*> hidden(others.begin(), others.end());
    others.clear();
    for (const auto& child : children_)
      if (hidden.contains(child.get())) others.push_back(child.get());
    CountSiblingSteps(ChildCount());
  }
  // They leave the list here, all in one pass, so that hiding each finds nothing to take out.
  std::erase_if(shownExclusive_, [kept](const TGraphMain* shown) { return shown != kept; });
  for (TGraphMain* other : others)
    if (other->parent_ == this) other->SetVisible(false);
}

bool TGraphMain::IsHidden() const {
  for (const TGraphMain* o = this; o; o = o->parent_)
    if (!o->visible_) return true;
  return false;
}

// ---- Names and tree nodes -----------------------------------------------------------

void TGraphMain::StoreName(const std::string& value) {
  const int position = IndexInParent();
  if (position >= 0) parent_->CountPairsAround(position, -1);
  name_ = value;
  nameKey_ = Cp1252Codes(name_);
  if (position >= 0) parent_->CountPairsAround(position, +1);
}

void TGraphMain::SetName(const std::string& value) {
  if (value != name_) {
    StoreName(value);
    NameChanged();
    NotifyChanged();
  }
  if (TTreeItemId node = GetTreeNode())
    if (treeView_->NodeText(node) != value) treeView_->SetNodeText(node, value);
}

void TGraphMain::SetTreeNode(TObjectTreeView* treeView, TTreeItemId node) {
  treeItemId_ = node;
  if (node != 0) treeView_ = treeView;
}

TTreeItemId TGraphMain::GetTreeNode() const {
  if (!treeView_ || treeItemId_ == 0 || !treeView_->HasNode(treeItemId_)) return 0;
  return treeItemId_;
}

void TGraphMain::AddTreeNode(TObjectTreeView* treeView) {
  treeView_ = treeView;
  if (!parent_ || !treeView) return;
  if (GetTreeNode() != 0) return;  // a second node would outlive the object
  TTreeItemId node = 0;
  const int index = IndexInParent();
  TGraphMain* next = parent_->GetChild(index + 1);
  TTreeItemId nextNode = (next && next->treeView_ == treeView) ? next->GetTreeNode() : 0;
  if (nextNode != 0) {
    node = treeView->InsertNodeBefore(nextNode, name_, this);
  } else {
    TTreeItemId parentNode = parent_->treeView_ == treeView ? parent_->GetTreeNode() : 0;
    node = treeView->AddChildNode(parentNode, name_, this);
  }
  treeItemId_ = node;
  if (node == 0) return;
  if (Exclusive)
    treeView->SetRadioButton(node, visible_);
  else
    treeView->SetCheckBox(node, visible_);
}

void TGraphMain::AddToTree(TObjectTreeView* treeView) {
  AddTreeNode(treeView);
  for (int i = 0; i < ChildCount(); ++i) {
    children_[i]->indexHint_ = i;  // AddTreeNode finds its place at once
    children_[i]->AddToTree(treeView);
  }
}

void TGraphMain::ApplyExpanded(bool recursive) {
  if (TTreeItemId node = GetTreeNode()) treeView_->SetNodeExpanded(node, Expanded);
  if (recursive)
    for (auto& child : children_) child->ApplyExpanded(true);
}

// ---- Bounds -------------------------------------------------------------------------

void TGraphMain::ExtendBounds(const TSurveyPoint& point) {
  if (point.X < BoundsMin.X) BoundsMin.X = point.X;
  if (point.Y < BoundsMin.Y) BoundsMin.Y = point.Y;
  if (point.Z < BoundsMin.Z) BoundsMin.Z = point.Z;
  if (point.X > BoundsMax.X) BoundsMax.X = point.X;
  if (point.Y > BoundsMax.Y) BoundsMax.Y = point.Y;
  if (point.Z > BoundsMax.Z) BoundsMax.Z = point.Z;
}

bool TGraphMain::GetVisibleBounds(TSurveyPoint& min, TSurveyPoint& max) const {
  min = EmptyBoundsMin;
  max = EmptyBoundsMax;
  if (parent_ && parent_->IsHidden()) return false;
  CollectVisibleBounds(*this, min, max);
  return min.X != std::numeric_limits<double>::infinity();
}

bool TGraphMain::GetCenter(TSurveyPoint& center) const {
  TSurveyPoint min, max;
  if (!GetVisibleBounds(min, max)) {
    center = EmptyBoundsMin;
    return false;
  }
  center = {(min.X + max.X) / 2, (min.Y + max.Y) / 2, (min.Z + max.Z) / 2};
  return true;
}

void TGraphMain::CenterIfUnset() {
  if (!Context) return;
  TSurveyPoint center;
  if (!GetCenter(center)) return;
  const std::array<double, 3>& offset = Context->ModelOffset;
  if (offset[0] != 0 || offset[1] != 0 || offset[2] != 0) return;
  for (double v : {center.X, center.Y, center.Z})
    if (!SceneCanPlace(v)) return;
  Context->ModelOffset = {center.X, center.Z, center.Y};
  // ModelCube stays where it stood: what is built from now on is measured from the new offset.
  for (size_t i = 0; i < 3; ++i) Context->PlacedOffset[i] += Context->ModelOffset[i];
}

// ---- Editing ------------------------------------------------------------------------

void TGraphMain::NotifyChanged() {
  if (const TGraphChangeSink& sink = ChangeSink()) sink(*this);
}

void TGraphMain::ApplyTransparency(uint8_t value) {
  if (Transparency != value) {
    Transparency = value;
    Build(false);
    NotifyChanged();
  }
  for (int i = 0; i < ChildCount(); ++i) children_[i]->ApplyTransparency(value);
}

// ---- Edits that rebuild ---------------------------------------------------------------

namespace {

// An edit being counted on this thread: its settings are tried, nothing is built.
thread_local bool tEditTried = false;

// What an object holds now that its rebuild gives back: its fields, and its drawing
// where one is held in a view.
int64_t HeldBeforeEdit(const TGraphMain& object) {
  const bool drawn = object.Context != nullptr && object.DrawingHeld();
  return object.OpenedBytes() - (drawn ? 0 : object.DrawnBytes());
}

std::string EditedObjectsText(const std::vector<TGraphMain*>& changed) {
  std::string text = "The object \"" + changed.front()->Name() + "\"";
  if (changed.size() > 1) text += " and the " + std::to_string(changed.size() - 1) + " others of its kind";
  return text + " with these settings";
}

}  // namespace

void TGraphMain::ShowSettings(bool rebuild, bool refresh) {
  if (tEditTried) return;
  if (rebuild)
    Build(false);
  else if (refresh)
    UpdateVisibility();
}

bool EditFits(const std::vector<TGraphMain*>& changed, const std::function<void()>& take,
              const std::function<void()>& restore) {
  if (changed.empty()) return true;
  int64_t held = 0;
  for (const TGraphMain* object : changed) held += HeldBeforeEdit(*object);
  struct TTried {
    TTried() { tEditTried = true; }
    ~TTried() { tEditTried = false; }
  };
  bool fits = false;
  int64_t needed = 0, available = 0;
  {
    const TTried tried;
    take();
    {
      // What the objects hold now is in the memory already: the count starts below it.
      TOpenCount count(AvailableMemory(), -held);
      for (const TGraphMain* object : changed) TOpenCount::Keep(*object);
      fits = count.Fits();
      needed = count.Needed();
      available = count.Available();
    }
    restore();
  }
  if (!fits) ShowMessageDlg(TooLargeText(EditedObjectsText(changed), "shown", needed, available), 1);
  return fits;
}

bool TGraphMain::Edit() {
  IgnoreNextMouseMove = true;
  TTransparencyParams params = GetTransparencyParams();
  const TTransparencyDialog& dialog = TransparencyDialog();
  if (!dialog || !dialog(name_, params)) return false;
  AcceptForAll = params.AcceptForAll;
  (AcceptForAll ? GetRoot() : this)->ApplyTransparency(params.Transparency);
  return true;
}

// ---- Menu and commands --------------------------------------------------------------

void TGraphMain::FillCreateMenu(TObjectMenuItem& create) {
  auto command = [this](const char* caption, TCreateCommand which) {
    TObjectMenuItem item;
    item.Caption = caption;
    item.Enabled = static_cast<bool>(CreateCommands()[static_cast<size_t>(which)]);
    item.OnClick = [this, which] {
      // Looked up at click time: the registry may change while a menu is shown.
      const TCreateCommandAction& action = CreateCommands()[static_cast<size_t>(which)];
      if (action) action(*this);
    };
    return item;
  };
  create.Items.push_back({"&Group", [this] { CreateGroupClick(); }, {}, true});
  create.Items.push_back(command("&Borehole", TCreateCommand::Borehole));
  create.Items.push_back(command("&Section", TCreateCommand::Section));
  create.Items.push_back(command("Objects from D&XF", TCreateCommand::ObjectsFromDxf));
  create.Items.push_back(command("&Potential section", TCreateCommand::PotentialSection));
  create.Items.push_back(command("&Axis", TCreateCommand::Axis));
  TObjectMenuItem graphics;
  graphics.Caption = "&Graphics";
  graphics.Items.push_back(command("&Spheres", TCreateCommand::Spheres));
  graphics.Items.push_back(command("&Line", TCreateCommand::Line));
  graphics.Items.push_back(command("La&bel", TCreateCommand::Label));
  graphics.Items.push_back(command("&Planes", TCreateCommand::Planes));
  graphics.Items.push_back(command("&Model", TCreateCommand::Model));
  create.Items.push_back(std::move(graphics));
}

void TGraphMain::FillMenu(TObjectMenu& menu) {
  menu.push_back({"&Edit", [this] {
                    if (Edit()) NotifyChanged();
                  }, {}, true});
  TObjectMenuItem create;
  create.Caption = "&Create";
  FillCreateMenu(create);
  menu.push_back(std::move(create));
  if (parent_) {
    menu.push_back({"&Rename", [this] { RenameClick(); }, {}, true});
    menu.push_back({"&Delete", [this] { DeleteGraphObjectClick(*this); }, {}, true});
  }
}

bool TGraphMain::RenameClick() {
  IgnoreNextMouseMove = true;
  const std::string old = name_;
  // The input box gives the default back on Cancel, which keeps the name.
  SetName(InputBox("Rename", "Enter new name:", old));
  return name_ != old;
}

TGraphMain* TGraphMain::CreateGroupClick() {
  IgnoreNextMouseMove = true;
  const std::string name = InputBox("New group", "Enter name for new group", "");
  if (name.empty()) return nullptr;
  auto group = std::make_unique<TGraphMain>();
  group->SetName(name);
  TGraphMain* added = AddChild(std::move(group), false);
  {
    TTreeUpdateGuard update(treeView_);
    if (treeView_) added->AddToTree(treeView_);
  }
  Expanded = true;
  ApplyExpanded(false);
  return added;
}

TGraphMain* TGraphMain::AddNewObject(std::unique_ptr<TGraphMain> object, bool recenter) {
  if (!object) return nullptr;
  // The whole scene decides: re-centring because this subtree was empty would move
  // the offset under objects already built elsewhere at the old one.
  const bool sceneHadBounds = AnyBounds(*GetRoot());
  IgnoreNextMouseMove = true;
  TGraphMain* added = AddChild(std::move(object), true);
  added->SetContext(Context);
  TTreeUpdateGuard update(treeView_);
  if (treeView_) added->AddToTree(treeView_);
  Expanded = true;
  if (recenter && !sceneHadBounds) GetRoot()->CenterIfUnset();
  added->Build(true);
  ApplyExpanded(false);
  return added;
}

TGraphMain* TGraphMain::AddSection(
    std::unique_ptr<TGraphMain> section,
    const std::function<std::unique_ptr<TGraphMain>(const TGraphMain& section)>& newGroupFor) {
  if (!section) return nullptr;
  const bool sceneHadBounds = AnyBounds(*GetRoot());
  IgnoreNextMouseMove = true;
  TGraphMain* added = nullptr;
  {
    TTreeUpdateGuard update(treeView_);
    TGraphMain* group = FindSectionGroup(*section);
    if (!group) {
      std::unique_ptr<TGraphMain> made = newGroupFor ? newGroupFor(*section) : nullptr;
      if (!made) return nullptr;
      group = AddChild(std::move(made), true);
      if (treeView_) group->AddToTree(treeView_);
    }
    added = group->AddChild(std::move(section), true);
    added->SetContext(group->Context);
    if (treeView_) added->AddToTree(treeView_);
    if (!sceneHadBounds) GetRoot()->CenterIfUnset();
    added->SetVisible(true);
    added->Build(true);
    Expanded = true;
    ApplyExpanded(false);
  }
  IgnoreNextMouseMove = true;
  return added;
}

TGraphMain* TGraphMain::AddImportedGroup(std::unique_ptr<TGraphMain> group) {
  if (!group) return nullptr;
  const bool sceneHadBounds = AnyBounds(*GetRoot());
  TGraphMain* added = AddChild(std::move(group), false);
  added->SetContext(Context);
  if (treeView_) added->AddToTree(treeView_);
  if (!sceneHadBounds) GetRoot()->CenterIfUnset();
  added->ApplyExpanded(false);
  IgnoreNextMouseMove = true;
  added->Build(true);
  return added;
}

bool DeleteGraphObjectClick(TGraphMain& object) {
  TGraphMain* parent = object.Parent();
  if (!parent) return false;
  const TTreeItemId node = object.GetTreeNode();
  TObjectTreeView* tree = object.TreeView();
  const std::string text = node ? tree->NodeText(node) : object.Name();
  if (MessageBoxDlg("Are you sure you want delele " + text + " object?", 0, TMessageButtons::YesNo,
                    2) != TMessageResult::Yes)
    return false;
  IgnoreNextMouseMove = true;
  std::unique_ptr<TGraphMain> owned = parent->RemoveChild(object.IndexInParent());
  if (node) tree->DeleteNode(node);
  owned.reset();
  return true;
}

}  // namespace qira

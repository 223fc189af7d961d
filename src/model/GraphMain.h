#pragma once
// The scene object: base class of every object of a view's tree and itself the
// plain group (type id 0). It owns its children, keeps name, visibility,
// transparency and bounds, keeps one node of the window's object tree, fills its
// command menu, spreads settings to objects of its kind and drives the recursive
// build of the visual nodes.
//
// Sections of this header: type ids and globals; TGraphMain (virtual operations,
// tree structure, visibility, names and tree nodes, bounds, editing, commands);
// create-command registry.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/ObjectMenu.h"
#include "model/SceneContext.h"
#include "model/SurveyPoint.h"
#include "model/TreeNode.h"

namespace qira {

class TBinaryStream;
class TGeologyList;
class TGLBaseSceneObject;

// ---- Type ids and globals ---------------------------------------------------------

// Type ids of the kinds, as stored in records.
namespace GraphTypeId {
inline constexpr int32_t Group = 0;
inline constexpr int32_t SectionGroup = 1;
inline constexpr int32_t Borehole = 2;
inline constexpr int32_t Axis = 3;
inline constexpr int32_t Section = 4;
inline constexpr int32_t Surface = 5;
inline constexpr int32_t Points = 6;
inline constexpr int32_t Lines = 7;
inline constexpr int32_t Spheres = 8;
inline constexpr int32_t Line = 9;
inline constexpr int32_t Label = 10;
inline constexpr int32_t Planes = 11;
inline constexpr int32_t Last = Planes;
}  // namespace GraphTypeId

// Set by every command that opens a dialog or changes the tree, by loading and by
// the full-screen switch: the next mouse move over a viewer does not turn the view.
extern bool IgnoreNextMouseMove;

// The pair every kind's dialog edits besides its own settings.
struct TTransparencyParams {
  uint8_t Transparency = 255;  // opacity, 255 = opaque
  bool AcceptForAll = false;
};

// The base property dialog (caption, the pair): true when confirmed, with the pair
// as the user left it. Registered by the user interface; unregistered, Edit cancels.
using TTransparencyDialog =
    std::function<bool(const std::string& caption, TTransparencyParams& params)>;
void SetTransparencyDialog(TTransparencyDialog dialog);

// Hears of every change a command makes to an object of a tree: children added or
// removed, a new name, visibility or transparency, an edit confirmed from the
// object's menu. The view windows mark their document modified by it. Empty: nothing.
using TGraphChangeSink = std::function<void(TGraphMain& changed)>;
void SetGraphChangeSink(TGraphChangeSink sink);

// Test hook: how many entries of children's lists (and of the lists of shown exclusive
// children), in this process, a child's search, insertion or removal has looked at or moved.
int64_t SiblingStepsForTesting();

// Names sort by the bytes they are stored as (Windows-1252), ordinal and case-sensitive.
// Kept with the name: no conversion on each call.
const std::string& NameKey(const TGraphMain& object);

// ---- TGraphMain -------------------------------------------------------------------

class TGraphMain {
 public:
  TGraphMain();
  virtual ~TGraphMain();
  TGraphMain(const TGraphMain&) = delete;
  TGraphMain& operator=(const TGraphMain&) = delete;

  // -- Fields without invariants of their own.
  TSceneContext* Context = nullptr;  // not owned; the same for the whole tree
  uint8_t Transparency = 255;        // opacity, 255 = opaque
  bool AcceptForAll = false;         // "Accept for all" of the last transparency edit
  int32_t TypeId = GraphTypeId::Group;
  bool Exclusive = false;            // shown with a radio button; one of a set of siblings
  bool Expanded = true;              // the tree node's expanded state
  TSurveyPoint BoundsMin = EmptyBoundsMin;
  TSurveyPoint BoundsMax = EmptyBoundsMax;

  // -- Virtual operations (the kinds override them).

  // Creates or refreshes the visual nodes under the context's ModelCube. The base
  // only recurses into the children when recursive is set.
  virtual void Build(bool recursive);
  // Turns text nodes to face target (the camera). The base recurses.
  virtual void PointTo(TGLBaseSceneObject* target);
  // The object's record (common chunk, then the kind's own chunk). False when a
  // write failed.
  virtual bool SaveToStream(TBinaryStream& handle);
  // SaveToStream with the object named as what its texts are written for
  // (TCp1252Subject): what a write cannot hold of them is told under its name. Every
  // record of a tree is written through it.
  bool SaveRecord(TBinaryStream& handle);
  // Reads the record back; false when it was skipped as newer than this program
  // knows (the handle then stands behind the whole record). Throws EStreamError on
  // a damaged stream; the object must then be cleared or freed.
  virtual bool LoadFromStream(TBinaryStream& handle);
  // What building the object's nodes and drawing them the first time take, from what
  // it holds (its points, faces, segments, spheres, nodes, characters, cells): the
  // engine's nodes, meshes and lists and the driver's copies (DrawCosts.h). Its
  // children's not included. The base, for groups: nothing.
  virtual int64_t DrawnBytes() const;
  // What its primitives add to the renderer's bins in the frame that draws them,
  // before the renderer's own bound on a frame (FrameBinsOf). The base: nothing.
  virtual int64_t BinnedBytes() const;
  // What of it the renderer holds at once in the first frame: BinnedBytes, bounded
  // for a mesh by what the renderer is left to hold inside one draw. A picture's draw
  // of a large mesh was measured to take about BinnedBytes again, not this.
  virtual int64_t FrameBinnedBytes() const;
  // True when what drawing the object builds and keeps (a mesh's buffers, a node's
  // compiled list) lives now in a context, so that another draw (a picture's) finds it
  // built; false when its next draw builds it again: never drawn, changed since, or
  // gone with the only context that held it. The base, drawing nothing: true.
  virtual bool DrawingHeld() const;
  // What the object takes once read from a project (the count of an open, before
  // anything is built): what it holds, its name and tree node, and DrawnBytes. Its
  // children's not included. Kinds add what they hold to the base.
  virtual int64_t OpenedBytes() const;
  // The base's part of OpenedBytes with `drawn` for DrawnBytes: for a kind that weighs
  // what it would hold and draw before it holds it (an object an open's count skips).
  int64_t OpenedBytesDrawing(int64_t drawn) const;
  // Empty name, visible, opaque, AcceptForAll off, no children, empty bounds.
  virtual void Clear();
  // Appends the object's commands.
  virtual void FillMenu(TObjectMenu& menu);
  // The base: true when every child is empty (so true without children).
  virtual bool IsEmpty() const;
  // Shows or hides the visual nodes by IsHidden(). The base recurses.
  virtual void UpdateVisibility();
  // After SetName took a different name: the nodes that show it follow. The base: nothing.
  virtual void NameChanged() {}
  // Opens the property dialog; true when confirmed.
  virtual bool Edit();
  // Takes display settings from source where source's apply-to-all flags are set.
  // The base recurses with the same source.
  virtual void CopySettingsFrom(const TGraphMain& source);
  // What a change of settings shows: with rebuild, the object built again (Build of
  // its own nodes), else with refresh its nodes set again (UpdateVisibility). Nothing
  // while an edit is counted (EditFits): the settings are only tried then.
  void ShowSettings(bool rebuild, bool refresh);

  // -- Hooks of particular kinds (neutral in the group).

  // Sections: their frequency, by which section groups order them. Fixed while the
  // object has a parent: the parent keeps count of its children's order by it.
  virtual float SortFrequency() const { return 0; }
  // Section groups: -1 not a section, 0 other pair, 1 pair matches but the frequency
  // is taken, 2 accepted.
  virtual int32_t Accepts(const TGraphMain& object) const;
  // Hands the view's geology legend to every borehole of the subtree; the base recurses.
  virtual void SetGeologyList(TGeologyList* list);

  // -- Tree structure.
  TGraphMain* Parent() const { return parent_; }
  int ChildCount() const { return static_cast<int>(children_.size()); }
  // Child i, or null when i is outside 0..count-1.
  TGraphMain* GetChild(int i) const;
  // Position among the parent's children; -1 without a parent. At once for a child
  // just inserted or given its tree node; otherwise the siblings are searched.
  int IndexInParent() const;
  TGraphMain* GetRoot();
  // Inserts at FindSortedIndex(child) when sorted, else at the end. Returns the child.
  TGraphMain* AddChild(std::unique_ptr<TGraphMain> child, bool sorted);
  // The children in the order, and with the visibility, that AddChild(child, true)
  // one after the other gives; in n log n where it can (no child yet; names deciding
  // the order, or frequencies none of which is NaN).
  void AddChildrenSorted(std::vector<std::unique_ptr<TGraphMain>> children);
  // Inserts at index (clamped to 0..count); sets the child's parent and its own
  // context (not its descendants'). A child that is exclusive and visible hides
  // every other exclusive child.
  TGraphMain* InsertChild(std::unique_ptr<TGraphMain> child, int index);
  // Takes the child out (later children move down one place) and hands it over.
  std::unique_ptr<TGraphMain> RemoveChild(int index);
  // Where child would be inserted to keep the order (names ascending, or sections in
  // a section group by descending frequency); 0..count whatever the present order.
  // A binary search while the children stand in that order, else a walk of them.
  int FindSortedIndex(const TGraphMain& child) const;
  // The children whose SortFrequency equals frequency lie in [first, last) while the
  // children stand by descending frequency; otherwise the range is all of them.
  std::pair<int, int> ChildrenOfFrequency(float frequency) const;
  void SetContext(TSceneContext* context);
  void SetTreeView(TObjectTreeView* treeView);
  // The first section group of this subtree (pre-order) that accepts section, or null.
  TGraphMain* FindSectionGroup(const TGraphMain& section);
  // Every borehole of the whole tree (from the root), in pre-order, visible or not.
  std::vector<TGraphMain*> GetBoreholes();

  // -- Visibility.
  bool Visible() const { return visible_; }
  // A change is stored and applied (UpdateVisibility). An object now visible and
  // exclusive hides its exclusive siblings that are shown (the parent keeps which
  // those are: no walk of the others). The tree mark follows.
  void SetVisible(bool value);
  // True when this object or any ancestor is not visible.
  bool IsHidden() const;

  // -- Names and tree nodes.
  const std::string& Name() const { return name_; }
  // Stores the name; the node text and, through NameChanged, what the object shows
  // of its name in the scene follow.
  void SetName(const std::string& value);
  TTreeItemId TreeItemId() const { return treeItemId_; }
  TObjectTreeView* TreeView() const { return treeView_; }
  // Keeps the node's identifier and its tree; node 0 clears the identifier.
  void SetTreeNode(TObjectTreeView* treeView, TTreeItemId node);
  // The node, or 0 when the object has none (or its tree no longer holds it).
  TTreeItemId GetTreeNode() const;
  // Gives the object a node (before its next sibling's node, or as the last child of
  // the parent's node; top level under a parent without node). The root gets none,
  // and an object that has a node keeps it.
  void AddTreeNode(TObjectTreeView* treeView);
  // AddTreeNode for this object and every descendant, in pre-order.
  void AddToTree(TObjectTreeView* treeView);
  // The node's expanded state from Expanded; with recursive, for all descendants.
  void ApplyExpanded(bool recursive);

  // -- Bounds.
  void ExtendBounds(const TSurveyPoint& point);
  // Component-wise bounds of every object of the subtree that is not hidden; true
  // when any of them has bounds.
  bool GetVisibleBounds(TSurveyPoint& min, TSurveyPoint& max) const;
  // The midpoint of the visible bounds; false (center at +infinity) when there are none.
  bool GetCenter(TSurveyPoint& center) const;
  // When this subtree has a centre and the model offset is exactly (0, 0, 0), the
  // offset becomes that centre (in scene order). Nothing already built moves.
  void CenterIfUnset();

  // -- Editing.
  // Passes the object to the change sink.
  void NotifyChanged();
  TTransparencyParams GetTransparencyParams() const { return {Transparency, AcceptForAll}; }
  // On this object and every descendant: a different transparency is taken and the
  // object rebuilds its own nodes.
  void ApplyTransparency(uint8_t value);

  // -- Commands of the object's menu (the object is O).

  // "&Rename": input box; the answer becomes the name. False when cancelled.
  bool RenameClick();
  // "&Group": input box; a non-empty answer becomes a new group appended under O.
  // Returns the new group or null.
  TGraphMain* CreateGroupClick();
  // Adds a new object sorted under O, gives it its tree nodes, expands O and builds
  // it (the order of the "&Borehole", "&Axis" and graphics commands). With recenter,
  // the model offset is set from the new bounds when the scene had none before.
  TGraphMain* AddNewObject(std::unique_ptr<TGraphMain> object, bool recenter);
  // "&Section": puts section into the first section group below O that accepts it,
  // or into a new group made by newGroupFor (added sorted under O), then shows and
  // builds it. Returns the section.
  TGraphMain* AddSection(
      std::unique_ptr<TGraphMain> section,
      const std::function<std::unique_ptr<TGraphMain>(const TGraphMain& section)>& newGroupFor);
  // "Objects from D&XF": appends the filled group under O, gives it O's context and
  // its tree nodes, re-centres when the scene had no bounds, builds it.
  TGraphMain* AddImportedGroup(std::unique_ptr<TGraphMain> group);

 private:
  friend const std::string& NameKey(const TGraphMain& object);
  void CollectBoreholes(std::vector<TGraphMain*>& list);
  void FillCreateMenu(TObjectMenuItem& create);
  // Children read from a stream join at the end, as they stood.
  void AdoptLoadedChildren(std::vector<std::unique_ptr<TGraphMain>> loaded);
  // The name and its key; the parent's count of pairs out of order follows.
  void StoreName(const std::string& value);
  // The order kept among the children: the pairs of neighbours out of order by name
  // and by frequency, counted on each change around the position that changed.
  void CountPairsAround(int position, int sign);
  void CountPair(int left, int sign);
  void ShownExclusiveChanged(TGraphMain& child);
  void HideShownExclusiveBut(const TGraphMain* kept);

  TGraphMain* parent_ = nullptr;
  std::vector<std::unique_ptr<TGraphMain>> children_;
  std::string name_;
  std::string nameKey_;      // name_ as NameKey compares it
  mutable int indexHint_ = -1;  // where this child stood when last seen
  int pairsOutOfNameOrder_ = 0;
  int pairsOutOfFrequencyOrder_ = 0;
  std::vector<TGraphMain*> shownExclusive_;  // the exclusive children that are visible
  bool visible_ = true;
  TTreeItemId treeItemId_ = 0;
  TObjectTreeView* treeView_ = nullptr;
};

// "&Delete" on object: asks "Are you sure you want delele <node text> object?"
// (warning, Yes/No, No default); on Yes removes it from its parent with its tree node
// and frees it. False when refused or when object is the root.
bool DeleteGraphObjectClick(TGraphMain& object);

// ---- Create-command registry --------------------------------------------------------

// The "&Create" commands that later kinds provide; the group's own is built in.
enum class TCreateCommand {
  Borehole,
  Section,
  ObjectsFromDxf,
  PotentialSection,
  Axis,
  Spheres,
  Line,
  Label,
  Planes,
  Model,
};

// Runs the command on the object whose menu it is.
using TCreateCommandAction = std::function<void(TGraphMain& target)>;
// Registers (or, with an empty action, removes) the action of a command; the menu
// shows an unregistered command disabled.
void RegisterCreateCommand(TCreateCommand command, TCreateCommandAction action);

// ---- Edits that rebuild ----------------------------------------------------------------

// The one count of an edit that changes what objects hold or draw, taken before anything
// is rebuilt, as an open counts what it makes (TOpenCount: each object's OpenedBytes with
// its new settings and its first frame's bins), less what the objects hold now (their
// fields, and their drawing where one is held: given back as they are rebuilt). `take`
// gives `changed` their new settings and `restore` the old; both run as a trial
// (TGraphMain::ShowSettings builds nothing meanwhile), and the old settings are back
// when it returns. True when the edit fits; false, the need told, when it does not.
bool EditFits(const std::vector<TGraphMain*>& changed, const std::function<void()>& take,
              const std::function<void()>& restore);

// The dialog step of a kind whose dialog edits a parameter record and the opacity:
// the dialog works on copies, which replace both on OK when the edit fits (EditFits).
// False without a dialog, on Cancel or when refused, with nothing changed.
template <class TKind, class TParams, class TEditor>
bool EditWithDialog(TKind& self, const TEditor& editor, TParams& params) {
  IgnoreNextMouseMove = true;
  TParams edited = params;
  uint8_t opacity = self.Transparency;
  if (!editor || !editor(self.Name(), edited, opacity)) return false;
  auto swap = [&] {
    std::swap(params, edited);
    std::swap(self.Transparency, opacity);
  };
  if (!EditFits({&self}, swap, swap)) return false;
  swap();
  return true;
}

// Every object of a kind in the tree of `self`, `self` first.
template <class TKind>
std::vector<TGraphMain*> ObjectsOfKind(TKind& self) {
  std::vector<TGraphMain*> found{&self};
  std::vector<TGraphMain*> pending{self.GetRoot()};
  while (!pending.empty()) {
    TGraphMain* object = pending.back();
    pending.pop_back();
    if (object != &self && dynamic_cast<TKind*>(object) != nullptr) found.push_back(object);
    for (int i = object->ChildCount() - 1; i >= 0; --i) pending.push_back(object->GetChild(i));
  }
  return found;
}

// An edit of settings that objects of a kind may take from one another ("Accept for
// all"): `apply` takes them (ApplySettings and CopySettingsFrom), counted first on every
// object of the kind (EditFits). `settingsOf` and `restoreTo` read and put back one
// object's own settings. False, nothing changed, when refused.
template <class TKind, class TSaved>
bool ApplySettingsCounted(TKind& self, const std::function<void()>& apply,
                          const std::function<TSaved(const TKind&)>& settingsOf,
                          const std::function<void(TKind&, const TSaved&)>& restoreTo) {
  const std::vector<TGraphMain*> changed = ObjectsOfKind(self);
  std::vector<TSaved> saved;
  saved.reserve(changed.size());
  for (TGraphMain* object : changed) saved.push_back(settingsOf(static_cast<const TKind&>(*object)));
  const auto restore = [&] {
    for (size_t i = 0; i < changed.size(); ++i) restoreTo(static_cast<TKind&>(*changed[i]), saved[i]);
  };
  if (!EditFits(changed, apply, restore)) return false;
  apply();
  return true;
}

// The dialog step of a kind with "Accept for all" groups: on OK, when the edit fits,
// the object takes the settings and every object of its kind copies the groups whose
// flags are set.
template <class TKind, class TEditor>
bool EditSettingsForAll(TKind& self, const TEditor& editor) {
  IgnoreNextMouseMove = true;
  auto settings = self.GetSettings();
  TTransparencyParams base = self.GetTransparencyParams();
  if (!editor || !editor(self.Name(), settings, base)) return false;
  using TSaved = std::pair<decltype(settings), TTransparencyParams>;
  return ApplySettingsCounted<TKind, TSaved>(
      self,
      [&] {
        self.ApplySettings(settings, base, true);
        self.GetRoot()->CopySettingsFrom(self);
      },
      [](const TKind& object) { return TSaved{object.GetSettings(), object.GetTransparencyParams()}; },
      [](TKind& object, const TSaved& old) { object.ApplySettings(old.first, old.second, true); });
}

// What CopySettingsFrom adds for such a kind: another object of the kind hands
// over the groups its flags mark.
template <class TKind>
void CopySettingsOfKind(TKind& self, const TGraphMain& source) {
  const auto* same = dynamic_cast<const TKind*>(&source);
  if (same == nullptr || same == &self) return;
  self.ApplySettings(same->GetSettings(), same->GetTransparencyParams(), false);
}

}  // namespace qira

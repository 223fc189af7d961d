#pragma once
// The small object model the engine stands on, in place of the windowing class
// library's: class identity with a registry of classes by name, persistent
// objects with assignment, components that own components and tell each other
// when they are freed, and the owned collection of items.
//
// Ownership is always visible in the type: a component owns its components
// through std::unique_ptr, a collection owns its items the same way; every raw
// pointer is a reference that someone else keeps alive. A reference to a
// component held by an unrelated object is kept safe by free notification
// (FreeNotification / Notification), never by a back door.
//
// Sections:
//   Exceptions
//   Class identity
//   Class registry
//   TPersistent
//   TComponent
//   TCollection
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/LibraryErrors.h"
#include "scene/components/OrderedPointerSet.h"

namespace qira {

class TObject;
class TPersistent;
class TComponent;
class TCollection;
class TCollectionItem;
class TFiler;
class TReader;
class TWriter;

// [SECTION] Exceptions

// Exception, EConvertError ("Cannot assign a <source class> to a <target class>")
// and EListError ("Invalid list index") come from platform/LibraryErrors.h.

// A class name the registry does not know: "Class <name> not found".
class EClassNotFound : public Exception {
 public:
  using Exception::Exception;
};

// [SECTION] Class identity

// What the class library calls a class reference: the class's name, its parent
// and its constructor without arguments. Exactly one instance per class (see
// QIRA_CLASS); classes compare by address.
class TClassInfo {
 public:
  TClassInfo(const char* name, const TClassInfo* parent) : name_(name), parent_(parent) {}
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;
  virtual ~TClassInfo() = default;

  const char* ClassName() const { return name_; }
  const TClassInfo* ClassParent() const { return parent_; }
  // True for this class and every descendant of `ancestor`.
  bool InheritsFrom(const TClassInfo& ancestor) const;
  // A new instance made by the class's constructor without arguments (the
  // virtual constructor); null for abstract classes and classes that have none.
  virtual std::unique_ptr<TObject> CreateInstance() const { return nullptr; }

 private:
  const char* name_;
  const TClassInfo* parent_;
};

// The class reference of T. `Meta` is the class-reference type of T's family
// (TClassInfo, or a descendant that adds class operations).
template <class T, class Meta = TClassInfo>
class TClassOf : public Meta {
 public:
  using Meta::Meta;
  std::unique_ptr<TObject> CreateInstance() const override {
    if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
      return std::unique_ptr<TObject>(new T());
    } else {
      return nullptr;
    }
  }
};

// Declares the class reference of `Self`, a direct descendant of `Parent`.
// Place it first in the class body. A family that needs class operations of
// its own declares `template <class T> using TMetaClassOf = ...;` in its root
// class before this line; descendants inherit that alias.
#define QIRA_CLASS(Self, Parent)                                                        \
 public:                                                                               \
  using TInherited = Parent;                                                           \
  static const TMetaClassOf<Self>& StaticClass() {                                     \
    static const TMetaClassOf<Self> meta(#Self, &Parent::StaticClass());               \
    return meta;                                                                       \
  }                                                                                    \
  const ::qira::TClassInfo& ClassType() const override { return StaticClass(); }

class TObject {
 public:
  template <class T>
  using TMetaClassOf = TClassOf<T>;

  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const { return StaticClass(); }
  const char* ClassName() const { return ClassType().ClassName(); }
  bool InheritsFrom(const TClassInfo& ancestor) const { return ClassType().InheritsFrom(ancestor); }
};

// [SECTION] Class registry
// A process-wide table name -> class, filled by explicit calls: each unit that
// has classes to be found by name offers one registration function (e.g.
// RegisterPersistenceClasses) that the program and the tests call at start.
// Registering a class again, or another class of the same name, keeps the
// first. Look-up ignores ASCII case, as identifiers of the class library do.

void RegisterClass(const TClassInfo& cls);
void UnRegisterClass(const TClassInfo& cls);
// The registered class of that name, or null.
const TClassInfo* GetClass(std::string_view name);
// The registered class of that name; EClassNotFound "Class <name> not found" otherwise.
const TClassInfo& FindClass(std::string_view name);

// [SECTION] TPersistent

// An object that can be assigned from another. The default assignment raises
// EConvertError; a class that can copy a source overrides Assign (source side
// unknown to the target) or AssignTo (target unknown to the source).
class TPersistent : public TObject {
  QIRA_CLASS(TPersistent, TObject)

  // A null source raises EConvertError "Cannot assign a nil to a <class>".
  virtual void Assign(const TPersistent* source);
  // The object this one belongs to for naming; null by default.
  virtual TPersistent* GetOwner() const { return nullptr; }
  // The class name, preceded by the owner's name path and "." when that is not empty.
  virtual std::string GetNamePath() const;
  // Component streams (ComponentStreams.h): the published properties, then
  // the properties a class stores in its own way, each declared to the filer
  // with whether it has something to store. Both empty here.
  virtual void DefinePublished(TFiler& filer) { (void)filer; }
  virtual void DefineProperties(TFiler& filer) { (void)filer; }

 protected:
  virtual void AssignTo(TPersistent& dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// [SECTION] TComponent

enum class TOperation { opInsert, opRemove };

// A named object with an owner that frees it. Owned components are held by
// std::unique_ptr in the owner and freed when it is destroyed, last first.
class TComponent : public TPersistent {
  QIRA_CLASS(TComponent, TPersistent)

  TComponent() = default;
  // Destroying a component: marks it and its components as destroying, tells
  // every component that asked for free notification (their Notification runs
  // with opRemove while this one is still registered nowhere), then frees the
  // owned components, last first. Observers must only compare the address of a
  // component being freed: its derived parts are already gone.
  ~TComponent() override;

  // ---- ownership
  TComponent* Owner() const { return owner_; }
  // Takes ownership of `component` (which must have no owner) and appends it;
  // the owner's Notification runs with opInsert. Returns the component.
  TComponent& InsertComponent(std::unique_ptr<TComponent> component);
  template <class T, class... Args>
  T& AddComponent(Args&&... args) {
    return static_cast<T&>(InsertComponent(std::make_unique<T>(std::forward<Args>(args)...)));
  }
  // Gives ownership of an owned component back; null when this does not own
  // it. The owner's Notification runs with opRemove. Costs O(1) amortized
  // wherever the component stands in the list.
  std::unique_ptr<TComponent> RemoveComponent(TComponent& component);
  // Frees an owned component now (nothing happens for a component owned elsewhere).
  void DestroyComponent(TComponent& component);
  // Frees every owned component, last first. Derived destructors may call it
  // early when their components must go before the derived fields.
  void DestroyComponents();
  int ComponentCount() const { return static_cast<int>(components_.size() - componentGaps_); }
  // Null outside 0..ComponentCount()-1.
  TComponent* Components(int index) const;
  // Position in the owner's list, -1 without owner.
  int ComponentIndex() const;
  // First owned component with that name (ASCII case ignored), or null.
  TComponent* FindComponent(std::string_view name) const;

  // ---- names and tags
  const std::string& Name() const { return name_; }
  // Names are free text here: no uniqueness test among siblings.
  virtual void SetName(const std::string& name) { name_ = name; }
  std::string GetNamePath() const override { return name_; }
  TPersistent* GetOwner() const override { return owner_; }
  intptr_t Tag = 0;

  // ---- state
  bool IsLoading() const { return loading_; }
  bool IsReading() const { return reading_; }
  bool IsDestroying() const { return destroying_; }
  // Marks this component and, recursively, its owned components as being
  // destroyed. An owner does this before freeing its components, so their
  // destructors already see the mark; a component freed by whoever holds it
  // is marked when TComponent's destructor starts, so a derived destructor
  // that needs the mark earlier calls Destroying() first.
  void Destroying();
  // Marks the component (not its owned ones) as being loaded and read.
  void BeginLoading();
  // Ends reading, then calls Loaded, which ends loading.
  void EndLoading();
  // Called once a component has been read; the base clears the loading state.
  virtual void Loaded() { loading_ = false; }

  // ---- style
  // A sub-component is part of another component and is not streamed as a child of its own.
  bool IsSubComponent() const { return subComponent_; }
  void SetSubComponent(bool value) { subComponent_ = value; }

  // ---- component streaming
  using TGetChildProc = std::function<void(TComponent& child)>;
  // The components streamed as this one's children, in order; none here.
  virtual void GetChildren(const TGetChildProc& proc, TComponent* root) {
    (void)proc;
    (void)root;
  }
  // The component a streamed component is the child of; null here.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual bool HasParent() const { return false; }
  // Makes `value` the parent of this component; nothing here.
  virtual void SetParentComponent(TComponent* value) { (void)value; }
  // Puts a child read from a stream at position `order` among its siblings.
  virtual void SetChildOrder(TComponent& child, int order) {
    (void)child;
    (void)order;
  }
  // Reads / writes the properties and the children of this component.
  virtual void ReadState(TReader& reader);
  virtual void WriteState(TWriter& writer);

  // ---- free notification
  // Both components are told when the other is freed (Notification with
  // opRemove on the survivor). Asking twice registers once. Either call costs
  // about the same however many links the two components hold.
  void FreeNotification(TComponent& other);
  void RemoveFreeNotification(TComponent& other);

 protected:
  // opInsert/opRemove for components this one owns gaining/leaving it, and
  // opRemove for a component that asked for free notification being freed.
  // The base does nothing (the free-notification link is already dropped).
  virtual void Notification(TComponent& component, TOperation operation);

 private:
  void DropFreeNotification(TComponent& other);

  // Closes the gaps removals left in components_, keeping the order.
  void CompactComponents() const;

  TComponent* owner_ = nullptr;
  size_t ownerSlot_ = 0;  // where this one stands in its owner's components_
  // The owned components in order. A removal leaves a gap (null) that a later
  // compaction closes: when the gaps outnumber the components, or before an access
  // by index. Gaps never stand at the back.
  mutable std::vector<std::unique_ptr<TComponent>> components_;
  mutable size_t componentGaps_ = 0;
  TOrderedPointerSet<TComponent> freeNotifies_;
  std::string name_;
  bool loading_ = false;
  bool reading_ = false;
  bool destroying_ = false;
  bool subComponent_ = false;
};

// Test hook: how many entries of owners' component lists, in this process, a
// removal or the closing of gaps has looked at or moved.
int64_t ComponentListStepsForTesting();

// [SECTION] TCollection

enum class TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An item of a TCollection. Items are made by the collection (TCollection::Add)
// with the constructor without arguments of the collection's item class.
class TCollectionItem : public TPersistent {
  QIRA_CLASS(TCollectionItem, TPersistent)

  TCollectionItem() = default;
  ~TCollectionItem() override = default;

  TCollection* Collection() const { return collection_; }
  // Position in the collection, -1 without one.
  int Index() const;
  // Moves the item inside its collection (clamped to the valid range).
  void SetIndex(int index);
  // Number given when the item joined its collection; unique within it.
  int ID() const { return id_; }
  // The class name by default.
  virtual std::string GetDisplayName() const { return ClassName(); }
  // "<collection's name path>[<index>]", or the class name without collection.
  std::string GetNamePath() const override;
  TPersistent* GetOwner() const override;

 protected:
  // Tells the collection (when not updating) that this item, or with
  // `allItems` every item, changed.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

// An ordered collection that owns items of one item class.
class TCollection : public TPersistent {
  QIRA_CLASS(TCollection, TPersistent)

  // `itemClass` must be TCollectionItem or a descendant with a constructor
  // without arguments.
  explicit TCollection(const TClassInfo& itemClass);
  ~TCollection() override;

  const TClassInfo& ItemClass() const { return *itemClass_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // The item at `index`; EListError "Invalid list index" outside the range.
  TCollectionItem& GetItem(int index) const;
  TCollectionItem* FindItemID(int id) const;

  // A new item of the item class, appended (Notify cnAdded, then Changed).
  TCollectionItem& Add();
  // A new item inserted at `index` (clamped).
  TCollectionItem& Insert(int index);
  // Appends an item made elsewhere; it must be of the item class.
  TCollectionItem& AddItem(std::unique_ptr<TCollectionItem> item);
  // Frees the item at `index` (Notify cnDeleting, then Changed).
  void Delete(int index);
  // Hands an item back to the caller (Notify cnExtracting, then Changed); null
  // when it is not in this collection.
  std::unique_ptr<TCollectionItem> Extract(TCollectionItem& item);
  // Frees every item, last first, inside one update.
  void Clear();

  // Changes inside BeginUpdate/EndUpdate reach Update only once, at the end.
  virtual void BeginUpdate() { ++updateCount_; }
  virtual void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // From another TCollection: one new item per source item, each assigned from
  // its source, inside one update.
  void Assign(const TPersistent* source) override;

 protected:
  // Runs Update(nullptr) when the update count is 0.
  void Changed();
  // Called after a change of `item`, or of the collection when null. Empty here.
  virtual void Update(TCollectionItem* item) { (void)item; }
  virtual void Notify(TCollectionItem& item, TCollectionNotification action) {
    (void)item;
    (void)action;
  }

 private:
  friend class TCollectionItem;
  TCollectionItem& InsertItem(int index, std::unique_ptr<TCollectionItem> item);
  void ItemChanged(TCollectionItem* item);

  const TClassInfo* itemClass_;
  std::vector<std::unique_ptr<TCollectionItem>> items_;
  int updateCount_ = 0;
  int nextId_ = 0;
};

// A collection whose owner is given at creation (GetOwner answers it).
class TOwnedCollection : public TCollection {
  QIRA_CLASS(TOwnedCollection, TCollection)

  TOwnedCollection(TPersistent* owner, const TClassInfo& itemClass)
      : TCollection(itemClass), owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }

 private:
  TPersistent* owner_;
};

}  // namespace qira

#pragma once
// A heterogeneous, owned collection of items of different classes that stores
// itself by class name, with rules about which item classes may join. Scene
// objects keep their behaviours and effects in such collections.
//
// Stored form (tagged values of the persistence layer): the item count as an
// integer; per item, the class name the first time its exact class occurs
// (the class then takes the next index from 0), later that index as an
// integer; then the item's own archive (the base: integer 0, then the name).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/components/Components.h"
#include "scene/components/Persistence.h"

namespace qira {

class TXCollection;
class TXCollectionItem;

// The class reference of an item class, with the class operations the
// collection asks before adding an item.
class TXCollectionItemClass : public TClassInfo {
 public:
  using TClassInfo::TClassInfo;
  virtual std::string FriendlyName() const = 0;
  // FriendlyName unless the class says otherwise.
  virtual std::string FriendlyDescription() const = 0;
  virtual std::string ItemCategory() const = 0;
  // At most one item of a unique class (or of its descendants) per collection.
  virtual bool UniqueItem() const = 0;
  virtual bool CanAddTo(const TXCollection& collection) const = 0;
  // A new item of this class, in no collection; null for a class without a
  // public constructor without arguments.
  std::unique_ptr<TXCollectionItem> CreateItem() const;
};

// An item class answers the class operations with static members of the same
// names (FriendlyName, FriendlyDescription, ItemCategory, UniqueItem,
// CanAddTo); a class that does not declare one inherits its parent's.
template <class T>
class TXCollectionItemClassOf : public TClassOf<T, TXCollectionItemClass> {
 public:
  TXCollectionItemClassOf(const char* name, const TClassInfo* parent)
      : TClassOf<T, TXCollectionItemClass>(name, parent) {}
  std::string FriendlyName() const override { return T::FriendlyName(); }
  std::string FriendlyDescription() const override;
  std::string ItemCategory() const override { return T::ItemCategory(); }
  bool UniqueItem() const override { return T::UniqueItem(); }
  bool CanAddTo(const TXCollection& collection) const override { return T::CanAddTo(collection); }
};

class TXCollectionItem : public TGLInterfacedPersistent {
 public:
  template <class T>
  using TMetaClassOf = TXCollectionItemClassOf<T>;
  QIRA_CLASS(TXCollectionItem, TGLInterfacedPersistent)

  ~TXCollectionItem() override = default;

  const TXCollectionItemClass& ItemClass() const {
    return static_cast<const TXCollectionItemClass&>(ClassType());
  }

  // ---- class operations (see TXCollectionItemClassOf)
  // Every concrete item class gives its own name.
  static std::string FriendlyName() { return {}; }
  static std::string FriendlyDescription() { return {}; }
  static std::string ItemCategory() { return {}; }
  static bool UniqueItem() { return false; }
  static bool CanAddTo(const TXCollection& collection) {
    (void)collection;
    return true;
  }

  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name) { name_ = name; }
  // The collection holding the item, or null.
  TXCollection* Owner() const { return owner_; }
  TPersistent* GetOwner() const override;
  // Position in the owner's list, -1 without owner.
  int Index() const;
  // "<owner's name path>[<index>]" with an owner, else the inherited path.
  std::string GetNamePath() const override;
  // From another item: copies the name only.
  void Assign(const TPersistent* source) override;
  virtual void Loaded() {}

  // Integer 0 (the item's archive version), then the name.
  virtual void WriteToFiler(TVirtualWriter& writer) const;
  // Another archive version raises EFilerException.
  virtual void ReadFromFiler(TVirtualReader& reader);

 protected:
  // Items are made by their class (CreateItem) or by a descendant's constructor.
  TXCollectionItem() = default;

 private:
  friend class TXCollection;
  TXCollection* owner_ = nullptr;
  std::string name_;
};

template <class T>
std::string TXCollectionItemClassOf<T>::FriendlyDescription() const {
  if constexpr (requires { T::FriendlyDescription(); }) {
    if (&T::FriendlyDescription != &TXCollectionItem::FriendlyDescription) return T::FriendlyDescription();
  }
  return FriendlyName();
}

class TXCollection : public TPersistent {
  QIRA_CLASS(TXCollection, TPersistent)

  // `owner` (normally the scene object) is not owned.
  explicit TXCollection(TPersistent* owner) : owner_(owner) {}
  ~TXCollection() override;

  // The class every item must descend from.
  virtual const TXCollectionItemClass& ItemsClass() const { return TXCollectionItem::StaticClass(); }
  // False when the class refuses this collection; a unique class already
  // present (itself or a descendant); or a class descending from the class of
  // a unique item already present. Callers ask before adding; Add does not.
  virtual bool CanAdd(const TXCollectionItemClass& itemClass) const;

  int Count() const { return static_cast<int>(items_.size()); }
  // EListError "Invalid list index" outside 0..Count()-1.
  TXCollectionItem& GetItems(int index) const;
  int IndexOf(const TXCollectionItem* item) const;
  // First item whose class is exactly `itemClass`, or -1.
  int IndexOfClass(const TXCollectionItemClass& itemClass) const;

  // A new item of that class, appended, named by its FriendlyName. A class
  // that does not descend from ItemsClass (or cannot be made) raises EConvertError.
  TXCollectionItem& Add(const TXCollectionItemClass& itemClass);
  template <class T>
  T& Add() {
    return static_cast<T&>(Add(T::StaticClass()));
  }
  // Appends an item made elsewhere; same class rule.
  TXCollectionItem& Add(std::unique_ptr<TXCollectionItem> item);
  // Frees the item at `index`.
  void Delete(int index);
  // Frees the item when it is in this collection.
  void Remove(TXCollectionItem& item);
  // Hands the item back to the caller; null when it is not here.
  std::unique_ptr<TXCollectionItem> Extract(TXCollectionItem& item);
  // Frees every item (each loses its owner first).
  void Clear();

  // Null: Clear. Same class: a copy of every item (new items of the same
  // classes, each assigned from its source). Else TPersistent's rules.
  void Assign(const TPersistent* source) override;
  TPersistent* GetOwner() const override { return owner_; }
  std::string GetNamePath() const override;
  virtual void Loaded();

  virtual void WriteToFiler(TVirtualWriter& writer) const;
  // Clear, then the stored form. A count beyond what the stream can hold
  // raises EReadError "Stream read error"; a class name not registered as an
  // item class raises EClassNotFound "Class <name> not found"; a class that
  // is not an item class of this collection, or a class index outside the
  // table, raises EFilerException. On any failure the collection is left empty.
  virtual void ReadFromFiler(TVirtualReader& reader);

 protected:
  // The path segment after the owner's name path.
  virtual std::string NamePathSuffix() const { return ".XCollection"; }

 private:
  TXCollectionItem& Attach(std::unique_ptr<TXCollectionItem> item);

  TPersistent* owner_;
  std::vector<std::unique_ptr<TXCollectionItem>> items_;
};

// The process-wide registry of item classes, searched for an exact
// (case-sensitive) name. Filled by explicit calls.
void RegisterXCollectionItemClass(const TXCollectionItemClass& itemClass);
void UnregisterXCollectionItemClass(const TXCollectionItemClass& itemClass);
const TXCollectionItemClass* FindXCollectionItemClass(std::string_view name);
// Every registered class descending from `base`, in registration order.
std::vector<const TXCollectionItemClass*> GetXCollectionItemClassesList(const TXCollectionItemClass& base);

}  // namespace qira

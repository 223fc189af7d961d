#include "scene/components/XCollection.h"

#include <algorithm>
#include <mutex>

namespace qira {

std::unique_ptr<TXCollectionItem> TXCollectionItemClass::CreateItem() const {
  std::unique_ptr<TObject> made = CreateInstance();
  auto* item = dynamic_cast<TXCollectionItem*>(made.get());
  if (item == nullptr) return nullptr;
  made.release();
  return std::unique_ptr<TXCollectionItem>(item);
}

// ----------------------------------------------------------------- the item

TPersistent* TXCollectionItem::GetOwner() const { return owner_; }

int TXCollectionItem::Index() const { return owner_ != nullptr ? owner_->IndexOf(this) : -1; }

std::string TXCollectionItem::GetNamePath() const {
  if (owner_ == nullptr) return TGLInterfacedPersistent::GetNamePath();
  return owner_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

void TXCollectionItem::Assign(const TPersistent* source) {
  if (const auto* item = dynamic_cast<const TXCollectionItem*>(source)) {
    name_ = item->name_;
    return;
  }
  TGLInterfacedPersistent::Assign(source);
}

void TXCollectionItem::WriteToFiler(TVirtualWriter& writer) const {
  writer.WriteInteger(0);
  writer.WriteString(name_);
}

void TXCollectionItem::ReadFromFiler(TVirtualReader& reader) {
  const int32_t version = reader.ReadInteger();
  if (version != 0) RaiseFilerException(ClassType(), version);
  name_ = reader.ReadString();
}

// ----------------------------------------------------------- the collection

TXCollection::~TXCollection() { Clear(); }

bool TXCollection::CanAdd(const TXCollectionItemClass& itemClass) const {
  if (!itemClass.CanAddTo(*this)) return false;
  if (itemClass.UniqueItem()) {
    for (const auto& item : items_) {
      if (item->InheritsFrom(itemClass)) return false;
    }
    return true;
  }
  for (const auto& item : items_) {
    const TXCollectionItemClass& present = item->ItemClass();
    if (present.UniqueItem() && itemClass.InheritsFrom(present)) return false;
  }
  return true;
}

TXCollectionItem& TXCollection::GetItems(int index) const {
  if (index < 0 || index >= Count()) throw EListError("Invalid list index");
  return *items_[static_cast<size_t>(index)];
}

int TXCollection::IndexOf(const TXCollectionItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == item) return static_cast<int>(i);
  }
  return -1;
}

int TXCollection::IndexOfClass(const TXCollectionItemClass& itemClass) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (&items_[i]->ClassType() == &itemClass) return static_cast<int>(i);
  }
  return -1;
}

TXCollectionItem& TXCollection::Attach(std::unique_ptr<TXCollectionItem> item) {
  if (!item || item->owner_ != nullptr || !item->InheritsFrom(ItemsClass())) {
    const std::string source = item ? item->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + source + " to a " + ClassName());
  }
  item->owner_ = this;
  items_.push_back(std::move(item));
  return *items_.back();
}

TXCollectionItem& TXCollection::Add(const TXCollectionItemClass& itemClass) {
  std::unique_ptr<TXCollectionItem> item = itemClass.CreateItem();
  if (!item) throw EConvertError("Cannot assign a " + std::string(itemClass.ClassName()) + " to a " + ClassName());
  item->name_ = itemClass.FriendlyName();
  return Attach(std::move(item));
}

TXCollectionItem& TXCollection::Add(std::unique_ptr<TXCollectionItem> item) { return Attach(std::move(item)); }

void TXCollection::Delete(int index) {
  TXCollectionItem& item = GetItems(index);
  Extract(item).reset();
}

void TXCollection::Remove(TXCollectionItem& item) { Extract(item).reset(); }

std::unique_ptr<TXCollectionItem> TXCollection::Extract(TXCollectionItem& item) {
  const int index = IndexOf(&item);
  if (index < 0) return nullptr;
  std::unique_ptr<TXCollectionItem> taken = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  taken->owner_ = nullptr;
  return taken;
}

void TXCollection::Clear() {
  // Each item loses its owner before it is freed, so its destruction does
  // not reach back into the list being emptied.
  std::vector<std::unique_ptr<TXCollectionItem>> taken;
  taken.swap(items_);
  for (auto& item : taken) item->owner_ = nullptr;
  taken.clear();
}

void TXCollection::Assign(const TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  if (&source->ClassType() == &ClassType()) {
    if (source == this) return;
    const auto& other = static_cast<const TXCollection&>(*source);
    Clear();
    items_.reserve(other.items_.size());
    for (const auto& sourceItem : other.items_) {
      std::unique_ptr<TXCollectionItem> copy = sourceItem->ItemClass().CreateItem();
      if (!copy) {
        throw EConvertError("Cannot assign a " + std::string(sourceItem->ClassName()) + " to a " + ClassName());
      }
      copy->name_ = sourceItem->ItemClass().FriendlyName();
      Attach(std::move(copy)).Assign(sourceItem.get());
    }
    return;
  }
  TPersistent::Assign(source);
}

std::string TXCollection::GetNamePath() const {
  std::string result = ClassName();
  if (owner_ != nullptr) {
    const std::string ownerPath = owner_->GetNamePath();
    if (!ownerPath.empty()) result = ownerPath + NamePathSuffix();
  }
  return result;
}

void TXCollection::Loaded() {
  for (const auto& item : items_) item->Loaded();
}

void TXCollection::WriteToFiler(TVirtualWriter& writer) const {
  writer.WriteInteger(Count());
  std::vector<const TClassInfo*> classes;
  for (const auto& item : items_) {
    const TClassInfo* cls = &item->ClassType();
    const auto found = std::find(classes.begin(), classes.end(), cls);
    if (found == classes.end()) {
      writer.WriteString(cls->ClassName());
      classes.push_back(cls);
    } else {
      writer.WriteInteger(static_cast<int32_t>(found - classes.begin()));
    }
    item->WriteToFiler(writer);
  }
}

void TXCollection::ReadFromFiler(TVirtualReader& reader) {
  struct NestingGuard {
    explicit NestingGuard(TVirtualReader& r) : reader(r) { reader.EnterNested(); }
    ~NestingGuard() { reader.LeaveNested(); }
    TVirtualReader& reader;
  } guard(reader);

  Clear();
  try {
    const int32_t count = reader.ReadInteger();
    // Every item takes at least its two-byte class reference.
    if (count < 0 || count > reader.Remaining() / 2) throw EReadError("Stream read error");
    std::vector<const TXCollectionItemClass*> classes;
    for (int32_t i = 0; i < count; ++i) {
      const TXCollectionItemClass* itemClass = nullptr;
      const TArchiveValueType next = reader.NextValue();
      if (next == TArchiveValueType::vaString || next == TArchiveValueType::vaLString) {
        const std::string name = reader.ReadString();
        itemClass = FindXCollectionItemClass(name);
        if (itemClass == nullptr) throw EClassNotFound("Class " + name + " not found");
        if (!itemClass->InheritsFrom(ItemsClass()) || !itemClass->CanAddTo(*this)) {
          throw EFilerException(std::string(ClassName()) + " : wrong item class " + name);
        }
        classes.push_back(itemClass);
      } else {
        const int32_t index = reader.ReadInteger();
        if (index < 0 || static_cast<size_t>(index) >= classes.size()) {
          throw EFilerException(std::string(ClassName()) + " : bad item class index " + std::to_string(index));
        }
        itemClass = classes[static_cast<size_t>(index)];
      }
      std::unique_ptr<TXCollectionItem> item = itemClass->CreateItem();
      if (!item) throw EFilerException(std::string(ClassName()) + " : wrong item class " + itemClass->ClassName());
      item->name_ = itemClass->FriendlyName();
      Attach(std::move(item)).ReadFromFiler(reader);
    }
  } catch (...) {
    Clear();
    throw;
  }
}

// ----------------------------------------------------------------- registry

namespace {

struct ItemClassRegistry {
  std::mutex lock;
  std::vector<const TXCollectionItemClass*> classes;
};

ItemClassRegistry& ItemRegistry() {
  static ItemClassRegistry registry;
  return registry;
}

}  // namespace

void RegisterXCollectionItemClass(const TXCollectionItemClass& itemClass) {
  ItemClassRegistry& r = ItemRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (std::find(r.classes.begin(), r.classes.end(), &itemClass) == r.classes.end()) r.classes.push_back(&itemClass);
}

void UnregisterXCollectionItemClass(const TXCollectionItemClass& itemClass) {
  ItemClassRegistry& r = ItemRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.classes.erase(std::remove(r.classes.begin(), r.classes.end(), &itemClass), r.classes.end());
}

const TXCollectionItemClass* FindXCollectionItemClass(std::string_view name) {
  ItemClassRegistry& r = ItemRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const TXCollectionItemClass* c : r.classes) {
    if (name == c->ClassName()) return c;
  }
  return nullptr;
}

std::vector<const TXCollectionItemClass*> GetXCollectionItemClassesList(const TXCollectionItemClass& base) {
  ItemClassRegistry& r = ItemRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::vector<const TXCollectionItemClass*> result;
  for (const TXCollectionItemClass* c : r.classes) {
    if (c->InheritsFrom(base)) result.push_back(c);
  }
  return result;
}

}  // namespace qira

// Sections:
//   Class identity
//   Class registry
//   TPersistent
//   TComponent
//   TCollection

#include "scene/components/Components.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/AsciiCase.h"

namespace qira {

// [SECTION] Class identity

bool TClassInfo::InheritsFrom(const TClassInfo& ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    if (c == &ancestor) return true;
  }
  return false;
}

const TClassInfo& TObject::StaticClass() {
  static const TClassOf<TObject> meta("TObject", nullptr);
  return meta;
}

// [SECTION] Class registry

namespace {

struct ClassRegistry {
  std::mutex lock;
  std::vector<const TClassInfo*> classes;
};

ClassRegistry& Registry() {
  static ClassRegistry registry;
  return registry;
}

}  // namespace

void RegisterClass(const TClassInfo& cls) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const TClassInfo* c : r.classes) {
    if (SameTextAscii(c->ClassName(), cls.ClassName())) return;
  }
  r.classes.push_back(&cls);
}

void UnRegisterClass(const TClassInfo& cls) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.classes.erase(std::remove(r.classes.begin(), r.classes.end(), &cls), r.classes.end());
}

const TClassInfo* GetClass(std::string_view name) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const TClassInfo* c : r.classes) {
    if (SameTextAscii(c->ClassName(), name)) return c;
  }
  return nullptr;
}

const TClassInfo& FindClass(std::string_view name) {
  const TClassInfo* c = GetClass(name);
  if (c == nullptr) throw EClassNotFound("Class " + std::string(name) + " not found");
  return *c;
}

// [SECTION] TPersistent

void TPersistent::Assign(const TPersistent* source) {
  if (source != nullptr) {
    source->AssignTo(*this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent& dest) const { dest.AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string sourceName = source != nullptr ? source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

std::string TPersistent::GetNamePath() const {
  std::string result = ClassName();
  if (const TPersistent* owner = GetOwner()) {
    const std::string ownerPath = owner->GetNamePath();
    if (!ownerPath.empty()) result = ownerPath + "." + result;
  }
  return result;
}

// [SECTION] TComponent

namespace {
std::atomic<int64_t> gComponentListSteps{0};
}  // namespace

int64_t ComponentListStepsForTesting() { return gComponentListSteps.load(); }

TComponent::~TComponent() {
  Destroying();
  // Each survivor drops its link before it hears of the removal, so a
  // Notification that asks for the link again cannot loop.
  while (TComponent* other = freeNotifies_.TakeLast()) {
    other->DropFreeNotification(*this);
    other->Notification(*this, TOperation::opRemove);
  }
  DestroyComponents();
}

void TComponent::Destroying() {
  if (destroying_) return;
  destroying_ = true;
  for (auto& c : components_)
    if (c) c->Destroying();
}

TComponent& TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  if (!component) throw EListError("Invalid list index");
  if (component->owner_ != nullptr) {
    throw EConvertError("Cannot assign a " + std::string(component->ClassName()) + " to a " + ClassName());
  }
  TComponent& c = *component;
  c.owner_ = this;
  c.ownerSlot_ = components_.size();
  components_.push_back(std::move(component));
  Notification(c, TOperation::opInsert);
  return c;
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent& component) {
  // Owned means held at its slot: found at once wherever it stands.
  if (component.owner_ != this) return nullptr;
  std::unique_ptr<TComponent> taken = std::move(components_[component.ownerSlot_]);
  gComponentListSteps.fetch_add(1, std::memory_order_relaxed);
  if (component.ownerSlot_ + 1 == components_.size()) {
    components_.pop_back();
    while (!components_.empty() && !components_.back()) {
      components_.pop_back();
      --componentGaps_;
    }
  } else {
    ++componentGaps_;
  }
  if (componentGaps_ > components_.size() - componentGaps_) CompactComponents();
  taken->owner_ = nullptr;
  Notification(*taken, TOperation::opRemove);
  return taken;
}

void TComponent::CompactComponents() const {
  if (componentGaps_ == 0) return;
  size_t kept = 0;
  for (auto& c : components_) {
    if (!c) continue;
    c->ownerSlot_ = kept;
    components_[kept++] = std::move(c);
  }
  gComponentListSteps.fetch_add(static_cast<int64_t>(components_.size()), std::memory_order_relaxed);
  components_.resize(kept);
  componentGaps_ = 0;
}

void TComponent::DestroyComponent(TComponent& component) { RemoveComponent(component).reset(); }

void TComponent::DestroyComponents() {
  // Gaps never stand at the back: the last is always a component.
  while (!components_.empty()) {
    std::unique_ptr<TComponent> last = std::move(components_.back());
    components_.pop_back();
    while (!components_.empty() && !components_.back()) {
      components_.pop_back();
      --componentGaps_;
    }
    last->owner_ = nullptr;
    last.reset();
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) return nullptr;
  CompactComponents();
  return components_[static_cast<size_t>(index)].get();
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  owner_->CompactComponents();
  return static_cast<int>(ownerSlot_);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : components_) {
    if (c && SameTextAscii(c->name_, name)) return c.get();
  }
  return nullptr;
}

void TComponent::BeginLoading() {
  loading_ = true;
  reading_ = true;
}

void TComponent::EndLoading() {
  reading_ = false;
  Loaded();
}

void TComponent::FreeNotification(TComponent& other) {
  if (&other == this) return;
  freeNotifies_.Add(&other);
  other.freeNotifies_.Add(this);
}

void TComponent::RemoveFreeNotification(TComponent& other) {
  DropFreeNotification(other);
  other.DropFreeNotification(*this);
}

void TComponent::DropFreeNotification(TComponent& other) {
  freeNotifies_.Remove(&other);
}

void TComponent::Notification(TComponent& component, TOperation operation) {
  (void)component;
  (void)operation;
}

// [SECTION] TCollection

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  const auto& items = collection_->items_;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TCollectionItem::SetIndex(int index) {
  const int current = Index();
  if (current < 0) return;
  auto& items = collection_->items_;
  index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
  if (index == current) return;
  std::unique_ptr<TCollectionItem> self = std::move(items[static_cast<size_t>(current)]);
  items.erase(items.begin() + current);
  items.insert(items.begin() + index, std::move(self));
  Changed(true);
}

std::string TCollectionItem::GetNamePath() const {
  if (collection_ == nullptr) return TPersistent::GetNamePath();
  return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool allItems) {
  if (collection_ != nullptr && collection_->updateCount_ == 0) {
    collection_->ItemChanged(allItems ? nullptr : this);
  }
}

TCollection::TCollection(const TClassInfo& itemClass) : itemClass_(&itemClass) {}

TCollection::~TCollection() {
  // Hold notifications back: the derived parts that Update would reach are gone.
  updateCount_ = 1;
  while (!items_.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(items_.back());
    items_.pop_back();
    last->collection_ = nullptr;
  }
}

TCollectionItem& TCollection::GetItem(int index) const {
  if (index < 0 || index >= Count()) throw EListError("Invalid list index");
  return *items_[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::FindItemID(int id) const {
  for (const auto& item : items_) {
    if (item->id_ == id) return item.get();
  }
  return nullptr;
}

TCollectionItem& TCollection::Add() { return Insert(Count()); }

TCollectionItem& TCollection::Insert(int index) {
  std::unique_ptr<TObject> made = itemClass_->CreateInstance();
  auto* item = dynamic_cast<TCollectionItem*>(made.get());
  if (item == nullptr) {
    throw EConvertError("Cannot assign a " + std::string(itemClass_->ClassName()) + " to a " + ClassName());
  }
  made.release();
  return InsertItem(index, std::unique_ptr<TCollectionItem>(item));
}

TCollectionItem& TCollection::AddItem(std::unique_ptr<TCollectionItem> item) {
  if (!item || item->collection_ != nullptr || !item->InheritsFrom(*itemClass_)) {
    throw EConvertError("Cannot assign a " + std::string(item ? item->ClassName() : "nil") + " to a " + ClassName());
  }
  return InsertItem(Count(), std::move(item));
}

TCollectionItem& TCollection::InsertItem(int index, std::unique_ptr<TCollectionItem> item) {
  index = std::clamp(index, 0, Count());
  TCollectionItem& ref = *item;
  ref.collection_ = this;
  ref.id_ = nextId_++;
  items_.insert(items_.begin() + index, std::move(item));
  Notify(ref, TCollectionNotification::cnAdded);
  Changed();
  return ref;
}

void TCollection::Delete(int index) {
  TCollectionItem& item = GetItem(index);
  Notify(item, TCollectionNotification::cnDeleting);
  std::unique_ptr<TCollectionItem> taken = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  taken->collection_ = nullptr;
  Changed();
}

std::unique_ptr<TCollectionItem> TCollection::Extract(TCollectionItem& item) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [&](const std::unique_ptr<TCollectionItem>& p) { return p.get() == &item; });
  if (it == items_.end()) return nullptr;
  Notify(item, TCollectionNotification::cnExtracting);
  std::unique_ptr<TCollectionItem> taken = std::move(*it);
  items_.erase(it);
  taken->collection_ = nullptr;
  Changed();
  return taken;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty()) Delete(Count() - 1);
  EndUpdate();
}

void TCollection::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TCollection::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TCollection*>(source)) {
    if (other == this) return;
    BeginUpdate();
    try {
      Clear();
      for (const auto& item : other->items_) Add().Assign(item.get());
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

void TCollection::ItemChanged(TCollectionItem* item) { Update(item); }

}  // namespace qira

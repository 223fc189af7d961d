#include "scene/components/Components.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/ThrownMessage.h"

namespace qira {
namespace {

// Records its own destruction and every notification it receives.
class TProbe : public TComponent {
  QIRA_CLASS(TProbe, TComponent)
  TProbe() = default;
  TProbe(std::string name, std::vector<std::string>* log) : log_(log) { SetName(name); }
  ~TProbe() override {
    if (log_ != nullptr) log_->push_back("free " + Name() + (IsDestroying() ? " (destroying)" : ""));
  }

  // References to other components, kept safe by free notification.
  std::vector<TComponent*> watched;
  void Watch(TComponent& other) {
    watched.push_back(&other);
    FreeNotification(other);
  }

 protected:
  void Notification(TComponent& component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (log_ != nullptr) {
      log_->push_back(Name() + (operation == TOperation::opInsert ? " insert " : " remove ") + component.Name());
    }
    if (operation == TOperation::opRemove) std::erase(watched, &component);
  }

 private:
  std::vector<std::string>* log_ = nullptr;
};

// ---------------------------------------------------------- class registry

TEST(PersistentBase, DefaultAssignmentRaisesTheConvertError) {
  TProbe a, b;
  EXPECT_EQ(ThrownMessage<EConvertError>([&] { a.Assign(&b); }), "Cannot assign a TProbe to a TProbe");
  EXPECT_EQ(ThrownMessage<EConvertError>([&] { a.Assign(nullptr); }), "Cannot assign a nil to a TProbe");
}

// --------------------------------------------------------------- ownership

TEST(ComponentOwnership, AnOwnerFreesItsComponentsLastFirstAndMarksThemDestroying) {
  std::vector<std::string> log;
  {
    auto owner = std::make_unique<TProbe>("owner", &log);
    owner->AddComponent<TProbe>("a", &log);
    TProbe& b = owner->AddComponent<TProbe>("b", &log);
    b.AddComponent<TProbe>("b1", &log);
    owner->AddComponent<TProbe>("c", &log);
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(b.Owner(), owner.get());
    EXPECT_EQ(b.ComponentIndex(), 1);
    EXPECT_EQ(owner->FindComponent("B"), &b);
    log.clear();
  }
  // The owner's own derived destructor runs before the base marks it.
  const std::vector<std::string> expected = {
      "free owner", "free c (destroying)", "free b (destroying)", "free b1 (destroying)",
      "free a (destroying)"};
  EXPECT_EQ(log, expected);
}

TEST(ComponentOwnership, RemovingAComponentHandsItsOwnershipBack) {
  std::vector<std::string> log;
  TProbe owner("owner", &log);
  TProbe& child = owner.AddComponent<TProbe>("child", &log);
  std::unique_ptr<TComponent> taken = owner.RemoveComponent(child);
  EXPECT_EQ(taken.get(), &child);
  EXPECT_EQ(child.Owner(), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(owner.RemoveComponent(child), nullptr) << "not owned any more";
  owner.InsertComponent(std::move(taken));
  owner.DestroyComponent(child);
  const std::vector<std::string> expected = {"owner insert child", "owner remove child", "owner insert child",
                                             "owner remove child", "free child"};
  EXPECT_EQ(log, expected);
}

// -------------------------------------------------------- free notification

TEST(FreeNotification, AFreedComponentLeavesEveryListThatAskedToBeTold) {
  std::vector<std::string> log;
  TProbe watcher1("w1", &log), watcher2("w2", &log);
  auto target = std::make_unique<TProbe>("target", &log);
  auto other = std::make_unique<TProbe>("other", &log);
  watcher1.Watch(*target);
  watcher1.Watch(*target);  // asking twice registers once
  watcher1.Watch(*other);
  watcher2.Watch(*target);
  target.reset();
  EXPECT_EQ(watcher1.watched, std::vector<TComponent*>{other.get()});
  EXPECT_TRUE(watcher2.watched.empty());
  EXPECT_EQ(std::count(log.begin(), log.end(), "w1 remove target"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "w2 remove target"), 1);

  // Many watchers of one target, freed first to last and last to first while it
  // lives, then many more told of its freeing: each link comes and goes on its own.
  auto shared = std::make_unique<TProbe>("shared", nullptr);
  constexpr size_t kMany = 150000;
  std::vector<std::unique_ptr<TProbe>> watchers(kMany);
  for (auto& w : watchers) {
    w = std::make_unique<TProbe>("w", nullptr);
    w->Watch(*shared);
  }
  for (size_t i = 0; i < kMany / 2; ++i) watchers[i].reset();
  for (size_t i = kMany; i-- > kMany / 2;) watchers[i].reset();
  for (auto& w : watchers) {
    w = std::make_unique<TProbe>("w", nullptr);
    w->Watch(*shared);
  }
  shared.reset();
  EXPECT_TRUE(std::all_of(watchers.begin(), watchers.end(), [](const auto& w) { return w->watched.empty(); }));
}

TEST(FreeNotification, AWatcherFreedFirstIsNotToldLater) {
  std::vector<std::string> log;
  {
    TProbe target("target", &log);
    auto watcher = std::make_unique<TProbe>("watcher", &log);
    watcher->Watch(target);
    watcher.reset();  // a stale link here would be a use after free under ASan
    EXPECT_EQ(log, (std::vector<std::string>{"free watcher", "target remove watcher"}));
    log.clear();
    TProbe survivor("survivor", &log);
    survivor.Watch(target);
    survivor.RemoveFreeNotification(target);
  }
  // The survivor goes first, then the target: the links are gone, so neither is told.
  EXPECT_EQ(log, (std::vector<std::string>{"free survivor", "free target"}));
}

TEST(FreeNotification, OwnedComponentsWatchingEachOtherAreFreedSafely) {
  std::vector<std::string> log;
  {
    TProbe owner("owner", &log);
    TProbe& a = owner.AddComponent<TProbe>("a", &log);
    TProbe& b = owner.AddComponent<TProbe>("b", &log);
    a.Watch(b);
    b.Watch(a);
    log.clear();
  }
  // b goes first (last first) and tells a.
  EXPECT_NE(std::find(log.begin(), log.end(), "a remove b"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "b remove a"), log.end());
}

// --------------------------------------------------------------- collection

class TTestItem : public TCollectionItem {
  QIRA_CLASS(TTestItem, TCollectionItem)
  TTestItem() = default;
  void SetValue(int v) {
    value = v;
    Changed(false);
  }
  int value = 0;
};

class TCountingCollection : public TOwnedCollection {
  QIRA_CLASS(TCountingCollection, TOwnedCollection)
  explicit TCountingCollection(TPersistent* owner) : TOwnedCollection(owner, TTestItem::StaticClass()) {}
  std::vector<TCollectionItem*> updates;
  std::vector<TCollectionNotification> notes;

 protected:
  void Update(TCollectionItem* item) override { updates.push_back(item); }
  void Notify(TCollectionItem& item, TCollectionNotification action) override {
    (void)item;
    notes.push_back(action);
  }
};

TEST(Collection, EveryChangeReachesUpdateOnceUnlessHeldBack) {
  TCountingCollection collection(nullptr);
  auto& first = static_cast<TTestItem&>(collection.Add());
  EXPECT_EQ(collection.updates, std::vector<TCollectionItem*>{nullptr});
  first.SetValue(3);
  EXPECT_EQ(collection.updates.back(), &first) << "an item change names the item";

  collection.updates.clear();
  collection.BeginUpdate();
  collection.Add();
  collection.Add();
  first.SetValue(4);
  EXPECT_TRUE(collection.updates.empty());
  collection.EndUpdate();
  EXPECT_EQ(collection.updates, std::vector<TCollectionItem*>{nullptr});
  EXPECT_EQ(collection.Count(), 3);

  collection.notes.clear();
  collection.Delete(1);
  EXPECT_EQ(collection.notes, std::vector<TCollectionNotification>{TCollectionNotification::cnDeleting});
  EXPECT_EQ(collection.Count(), 2);
  EXPECT_THROW(collection.GetItem(2), EListError);
}

}  // namespace
}  // namespace qira

#include "scene/components/UpdateAbleObjects.h"

#include <gtest/gtest.h>

#include <vector>

namespace qira {
namespace {

// An update-able component that records who told it of a change.
class TRecordingComponent : public TGLUpdateAbleComponent {
  QIRA_CLASS(TRecordingComponent, TGLUpdateAbleComponent)
  TRecordingComponent() = default;
  void NotifyChange(TObject* sender) override {
    senders.push_back(sender);
    TGLUpdateAbleComponent::NotifyChange(sender);
  }
  std::vector<TObject*> senders;
};

class TProperty : public TGLUpdateAbleObject {
  QIRA_CLASS(TProperty, TGLUpdateAbleObject)
  explicit TProperty(TPersistent* owner) : TGLUpdateAbleObject(owner) {}
  void NotifyChange(TObject* sender) override {
    senders.push_back(sender);
    TGLUpdateAbleObject::NotifyChange(sender);
  }
  void SetValue(int v) {
    value = v;
    NotifyChange(this);
  }
  std::vector<TObject*> senders;
  int value = 0;
};

class TPlainPersistent : public TPersistent {
  QIRA_CLASS(TPlainPersistent, TPersistent)
  TPlainPersistent() = default;
};

class TNodeItem : public TCollectionItem {
  QIRA_CLASS(TNodeItem, TCollectionItem)
  TNodeItem() = default;
};

TEST(ChangeNotification, APlainOwnerIsNotToldButTheEventRuns) {
  TPlainPersistent owner;
  TProperty property(&owner);
  std::vector<TObject*> events;
  property.OnNotifyChange = [&](TObject* sender) { events.push_back(sender); };
  property.SetValue(1);
  EXPECT_EQ(events, std::vector<TObject*>{&property});
}

TEST(ChangeNotification, EachLevelReportsItselfAsSender) {
  TRecordingComponent component;
  TProperty material(&component);
  TProperty colour(&material);
  std::vector<TObject*> materialEvents;
  material.OnNotifyChange = [&](TObject* sender) { materialEvents.push_back(sender); };
  colour.SetValue(5);
  EXPECT_EQ(material.senders, std::vector<TObject*>{&colour});
  EXPECT_EQ(component.senders, std::vector<TObject*>{&material});
  EXPECT_EQ(materialEvents, std::vector<TObject*>{&material});
}

TEST(ChangeNotification, ComponentsPassChangesToUpdateAbleOwnersOnly) {
  TRecordingComponent outer;
  auto& inner = outer.AddComponent<TRecordingComponent>();
  inner.NotifyChange(&inner);
  EXPECT_EQ(outer.senders, std::vector<TObject*>{&inner});

  TComponent form;
  auto& orphan = form.AddComponent<TRecordingComponent>();
  orphan.NotifyChange(&orphan);  // ends at itself: a plain owner is not told
  EXPECT_EQ(orphan.senders.size(), 1u);
}

TEST(ChangeNotification, BeginEndUpdateHoldsNotificationsBackAndSendsOneAtTheEnd) {
  TRecordingComponent outer;
  auto& inner = outer.AddComponent<TRecordingComponent>();
  inner.BeginUpdate();
  inner.BeginUpdate();
  inner.NotifyChange(&inner);
  inner.NotifyChange(&inner);
  inner.EndUpdate();
  EXPECT_TRUE(outer.senders.empty());
  inner.EndUpdate();
  EXPECT_EQ(outer.senders, std::vector<TObject*>{&inner});
  inner.EndUpdate();  // unmatched: nothing, and the count stays at 0
  EXPECT_EQ(inner.UpdateCount(), 0);
  EXPECT_EQ(outer.senders.size(), 1u);
}

TEST(NotifyCollection, AddingAnItemNotifiesTheUpdateAbleOwnerOnceWithTheCollection) {
  TRecordingComponent owner;
  TNotifyCollection collection(&owner, TNodeItem::StaticClass());
  collection.Add();
  EXPECT_EQ(owner.senders, std::vector<TObject*>{&collection});

  TPlainPersistent plain;
  TNotifyCollection unbound(&plain, TNodeItem::StaticClass());
  int events = 0;
  unbound.OnNotifyChange = [&](TObject*) { ++events; };
  unbound.Add();
  unbound.Delete(0);
  EXPECT_EQ(events, 2);
}

}  // namespace
}  // namespace qira

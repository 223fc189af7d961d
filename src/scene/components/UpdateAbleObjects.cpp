#include "scene/components/UpdateAbleObjects.h"

namespace qira {

void TGLUpdateAbleComponent::NotifyChange(TObject* sender) {
  (void)sender;
  if (updateCount_ > 0) return;
  if (auto* owner = dynamic_cast<TGLUpdateAbleComponent*>(Owner())) owner->NotifyChange(this);
}

void TGLUpdateAbleComponent::EndUpdate() {
  if (updateCount_ <= 0) return;
  --updateCount_;
  if (updateCount_ == 0) NotifyChange(this);
}

void TGLUpdateAbleObject::NotifyChange(TObject* sender) {
  (void)sender;
  if (owner_ == nullptr) return;
  if (auto* object = dynamic_cast<TGLUpdateAbleObject*>(owner_)) {
    object->NotifyChange(this);
  } else if (auto* component = dynamic_cast<TGLUpdateAbleComponent*>(owner_)) {
    component->NotifyChange(this);
  }
  if (OnNotifyChange) OnNotifyChange(this);
}

TNotifyCollection::TNotifyCollection(TPersistent* owner, const TClassInfo& itemClass)
    : TOwnedCollection(owner, itemClass) {
  if (auto* component = dynamic_cast<TGLUpdateAbleComponent*>(owner)) {
    OnNotifyChange = [component](TObject* sender) { component->NotifyChange(sender); };
  }
}

void TNotifyCollection::Update(TCollectionItem* item) {
  TOwnedCollection::Update(item);
  if (OnNotifyChange) OnNotifyChange(this);
}

}  // namespace qira

#pragma once
// The change-notification protocol of the engine. A property object (colour,
// coordinates, material, ...) is owned by a component or another property
// object and tells its owner when its value changes; the owner passes the news
// up until a scene object or the scene decides what to redraw. Notification is
// synchronous and runs on the thread that changed the value.
#include <cstdint>
#include <functional>

#include "scene/components/Components.h"
#include "scene/components/Persistence.h"

namespace qira {

// The change-notification interface: an owner that is reached only as a
// TPersistent is asked for it with dynamic_cast and told through it.
class IGLNotifyAble {
 public:
  virtual void NotifyChange(TObject* sender) = 0;

 protected:
  ~IGLNotifyAble() = default;
};

// Time of one cadencer tick, in seconds.
struct TProgressTimes {
  double deltaTime = 0.0;
  double newTime = 0.0;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// The common root of the engine's components.
class TGLComponent : public TComponent {
  QIRA_CLASS(TGLComponent, TComponent)

  TGLComponent() = default;
};

// A component the cadencer drives.
class TGLCadenceAbleComponent : public TGLComponent {
  QIRA_CLASS(TGLCadenceAbleComponent, TGLComponent)

  TGLCadenceAbleComponent() = default;
  // Called on every cadencer tick; empty here.
  virtual void DoProgress(const TProgressTimes& progressTimes) { (void)progressTimes; }
};

// A component that passes change notifications to its owner.
class TGLUpdateAbleComponent : public TGLCadenceAbleComponent, public IGLNotifyAble {
  QIRA_CLASS(TGLUpdateAbleComponent, TGLCadenceAbleComponent)

  TGLUpdateAbleComponent() = default;

  // When the owner is a TGLUpdateAbleComponent, calls its NotifyChange with
  // this component as sender; otherwise nothing. Held back (dropped) while the
  // update count is above 0.
  void NotifyChange(TObject* sender) override;

  // Nesting counter that holds notifications back.
  virtual void BeginUpdate() { ++updateCount_; }
  // When the count is above 0 it is decremented; reaching 0 calls
  // NotifyChange(this) once. An unmatched call does nothing.
  virtual void EndUpdate();
  int UpdateCount() const { return updateCount_; }

 private:
  int updateCount_ = 0;
};

// A property object: owned by `owner` (a component or another property
// object, not owned here, fixed for life), told of nothing, telling its owner.
class TGLUpdateAbleObject : public TGLInterfacedPersistent, public IGLNotifyAble {
  QIRA_CLASS(TGLUpdateAbleObject, TGLInterfacedPersistent)

  explicit TGLUpdateAbleObject(TPersistent* owner) : owner_(owner) {}

  TPersistent* GetOwner() const override { return owner_; }
  TPersistent* Owner() const { return owner_; }

  // Without owner: nothing (not even the event). Otherwise the owner's
  // NotifyChange (when it is a TGLUpdateAbleObject or a TGLUpdateAbleComponent)
  // with this object as sender, then OnNotifyChange(this) when set. The given
  // sender is not passed on: each level reports itself.
  void NotifyChange(TObject* sender) override;

  TNotifyEvent OnNotifyChange;

 private:
  TPersistent* owner_;
};

// Raises an object's hold counter for its own lifetime. An object whose
// compound change (an Assign, say) runs through setters that each notify
// checks the counter in its notification and stays silent while it is above
// 0, then notifies once at the end.
class TNotifyHold {
 public:
  explicit TNotifyHold(int& counter) : counter_(counter) { ++counter_; }
  ~TNotifyHold() { --counter_; }
  TNotifyHold(const TNotifyHold&) = delete;
  TNotifyHold& operator=(const TNotifyHold&) = delete;

 private:
  int& counter_;
};

// An owned collection that reports every change of its items or of their
// number through OnNotifyChange; owned by a TGLUpdateAbleComponent, the event
// is bound to that owner's NotifyChange at creation.
class TNotifyCollection : public TOwnedCollection {
  QIRA_CLASS(TNotifyCollection, TOwnedCollection)

  TNotifyCollection(TPersistent* owner, const TClassInfo& itemClass);

  TNotifyEvent OnNotifyChange;

 protected:
  void Update(TCollectionItem* item) override;
};

}  // namespace qira

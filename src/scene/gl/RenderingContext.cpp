// Sections:
//   TGLContext
//   Handles
//   TGLContextManager

#include "scene/gl/RenderingContext.h"

#include <algorithm>

#include "scene/gl/OpenGLBinding.h"

namespace qira {

namespace {

TGLContext* gCurrentContext = nullptr;
bool gActivationFailed = false;

template <class T>
bool Contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

template <class T>
void Remove(std::vector<T*>& list, const T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

// Makes a context current on the platform for a while, whatever the
// activation counts say, and on leaving makes the context that was current
// before current again. Activation counts are left alone.
class TPlatformSwitch {
 public:
  explicit TPlatformSwitch(TGLContext& target)
      : target_(target), previous_(gCurrentContext), previousFailed_(gActivationFailed) {
    gActivationFailed = false;
    try {
      target_.DoActivate();
    } catch (...) {
      gActivationFailed = true;
    }
    gCurrentContext = &target_;
  }

  ~TPlatformSwitch() {
    if (!gActivationFailed) {
      try {
        target_.DoDeactivate();
      } catch (...) {
        // The previous context's activation below replaces it anyway.
      }
    }
    gCurrentContext = previous_;
    gActivationFailed = previousFailed_;
    if (previous_ != nullptr && !previousFailed_) {
      try {
        previous_->DoActivate();
      } catch (...) {
        gActivationFailed = true;
      }
    }
  }

  TPlatformSwitch(const TPlatformSwitch&) = delete;
  TPlatformSwitch& operator=(const TPlatformSwitch&) = delete;

 private:
  TGLContext& target_;
  TGLContext* previous_;
  bool previousFailed_;
};

TGLContext* CurrentGLContext() { return gCurrentContext; }

bool GLActivationFailed() { return gActivationFailed; }

// [SECTION] TGLContext

TGLContext::TGLContext() : manager_(&GLContextManager()) { manager_->RegisterContext(*this); }

TGLContext::~TGLContext() {
  // The platform context is gone (or was never there): only references remain.
  for (TGLContextHandle* handle : ownedHandles_.Items()) {
    handle->owner_ = nullptr;
    handle->handle_ = 0;
  }
  ownedHandles_.Clear();
  if (!sharedContexts_.empty()) LeaveSharingGroup();
  if (gCurrentContext == this) {
    gCurrentContext = nullptr;
    gActivationFailed = false;
  }
  manager_->ForgetPreviousContext(*this);
  try {
    manager_->UnRegisterContext(*this);
  } catch (const EGLContext&) {
    // Never registered twice or dropped elsewhere; nothing to undo.
  }
}

void TGLContext::CheckNotActive() const {
  if (Active()) throw EGLContext("Cannot alter an active context");
}

void TGLContext::SetColorBits(int32_t value) {
  CheckNotActive();
  colorBits_ = value;
}
void TGLContext::SetAlphaBits(int32_t value) {
  CheckNotActive();
  alphaBits_ = value;
}
void TGLContext::SetDepthBits(int32_t value) {
  CheckNotActive();
  depthBits_ = value;
}
void TGLContext::SetStencilBits(int32_t value) {
  CheckNotActive();
  stencilBits_ = value;
}
void TGLContext::SetAccumBits(int32_t value) {
  CheckNotActive();
  accumBits_ = value;
}
void TGLContext::SetAuxBuffers(int32_t value) {
  CheckNotActive();
  auxBuffers_ = value;
}
void TGLContext::SetAntiAliasing(TGLAntiAliasing value) {
  CheckNotActive();
  antiAliasing_ = value;
}
void TGLContext::SetOptions(TGLRCOptions value) {
  CheckNotActive();
  options_ = value;
}

void TGLContext::AfterCreation() {
  if (!Contains(sharedContexts_, this)) sharedContexts_.push_back(this);
  manager_->ContextCreatedBy(*this);
}

void TGLContext::CreateContext(TGLOutputDevice outputDevice) {
  if (IsValid()) throw EGLContext("Context already created");
  acceleration_ = 0;
  DoCreateContext(outputDevice);
  AfterCreation();
}

void TGLContext::CreateMemoryContext(TGLOutputDevice outputDevice, int32_t width, int32_t height,
                                     int32_t bufferCount) {
  if (IsValid()) throw EGLContext("Context already created");
  acceleration_ = 0;
  DoCreateMemoryContext(outputDevice, width, height, bufferCount);
  AfterCreation();
}

void TGLContext::ShareLists(TGLContext& otherContext) {
  if (!IsValid() || !otherContext.IsValid()) throw EGLContext("Context not created");
  if (Contains(sharedContexts_, &otherContext)) return;
  DoShareLists(otherContext);
  // Both groups become one: a member of the other group must not be dropped.
  std::vector<TGLContext*> group = sharedContexts_;
  for (TGLContext* member : otherContext.sharedContexts_) {
    if (!Contains(group, member)) group.push_back(member);
  }
  if (!Contains(group, &otherContext)) group.push_back(&otherContext);
  for (TGLContext* member : group) member->sharedContexts_ = group;
}

void TGLContext::LeaveSharingGroup() {
  Remove(sharedContexts_, this);
  for (TGLContext* member : sharedContexts_) member->sharedContexts_ = sharedContexts_;
  sharedContexts_.clear();
}

void TGLContext::DestroyContext() {
  if (!IsValid()) throw EGLContext("Context not created");
  {
    // This context is made current directly for the names it frees; the
    // switch makes the previous current context current again afterwards.
    std::unique_ptr<TPlatformSwitch> platformSwitch;
    if (gCurrentContext != this) platformSwitch = std::make_unique<TPlatformSwitch>(*this);

    TGLContext* partner = nullptr;
    for (TGLContext* member : sharedContexts_) {
      if (member != this) {
        partner = member;
        break;
      }
    }
    const std::vector<TGLContextHandle*> handles = ownedHandles_.Items();
    for (auto it = handles.rbegin(); it != handles.rend(); ++it) {
      TGLContextHandle* handle = *it;
      if (partner != nullptr && handle->Transferable()) {
        handle->owner_ = partner;
        partner->ownedHandles_.Add(handle);
        continue;
      }
      try {
        handle->DoDestroyHandle();
      } catch (...) {
        // An OpenGL error while freeing a name must not stop the teardown.
      }
      handle->handle_ = 0;
      handle->owner_ = nullptr;
    }
    ownedHandles_.Clear();

    manager_->DestroyingContextBy(*this);
    LeaveSharingGroup();

    activationCount_ = 0;
    if (platformSwitch == nullptr) {
      // This context was the current one: release it for good.
      if (!gActivationFailed) {
        try {
          DoDeactivate();
        } catch (...) {
          // Its platform context is freed just below.
        }
      }
      gCurrentContext = nullptr;
      gActivationFailed = false;
      // A context that was current before this one and is still active gets
      // the platform back, as a balancing Deactivate would have given it.
      TGLContext* previous = previousContext_;
      if (previous != nullptr && previous != this && previous->Active() && previous->IsValid()) {
        try {
          previous->DoActivate();
        } catch (...) {
          gActivationFailed = true;
        }
        gCurrentContext = previous;
      }
    }
    // The switch's destructor runs here: previous context current again.
  }
  manager_->ForgetPreviousContext(*this);
  previousContext_ = nullptr;
  acceleration_ = 0;
  DoDestroyContext();
}

void TGLContext::Activate() {
  if (activationCount_ == 0) {
    if (!IsValid()) throw EGLContext("Context not created");
    previousContext_ = gCurrentContext != this ? gCurrentContext : nullptr;
    gActivationFailed = false;
    try {
      DoActivate();
    } catch (...) {
      gActivationFailed = true;
    }
    gCurrentContext = this;
  }
  ++activationCount_;
}

void TGLContext::Deactivate() {
  if (activationCount_ <= 0) {
    activationCount_ = 0;
    throw EGLContext("Unbalanced context activations");
  }
  if (--activationCount_ > 0) return;
  if (!IsValid()) throw EGLContext("Context not created");
  TGLContext* previous = previousContext_;
  previousContext_ = nullptr;
  // Another context activated since then holds the platform: leave it there.
  if (gCurrentContext != this) return;
  const bool failed = gActivationFailed;
  gCurrentContext = nullptr;
  gActivationFailed = false;
  if (!failed) DoDeactivate();
  // A context that was current before this one and is still active gets the
  // platform back, so its calls do not go nowhere.
  if (previous != nullptr && previous->Active() && previous->IsValid()) {
    gActivationFailed = false;
    try {
      previous->DoActivate();
    } catch (...) {
      gActivationFailed = true;
    }
    gCurrentContext = previous;
  }
}

void TGLContext::SetActive(bool active) {
  while (Active() != active) {
    if (active) {
      Activate();
    } else {
      Deactivate();
    }
  }
}

// [SECTION] Handles

TGLContextHandle::~TGLContextHandle() {
  // Concrete classes freed the name; drop a reference left by one that did not.
  if (owner_ != nullptr) owner_->ownedHandles_.Remove(this);
}

void TGLContextHandle::AllocateHandle() {
  if (handle_ != 0 || gCurrentContext == nullptr) return;
  handle_ = DoAllocateHandle();
  if (handle_ != 0) {
    owner_ = gCurrentContext;
    owner_->ownedHandles_.Add(this);
  }
}

void TGLContextHandle::DestroyHandle() {
  if (handle_ == 0) return;
  TGLContext* owner = owner_;
  struct TEmptyAfterwards {
    TGLContextHandle& handle;
    ~TEmptyAfterwards() {
      handle.handle_ = 0;
      handle.owner_ = nullptr;
    }
  } emptyAfterwards{*this};
  if (owner == nullptr) return;
  owner->ownedHandles_.Remove(this);
  TGLContext* current = gCurrentContext;
  if (owner == current || (current != nullptr && Contains(current->sharedContexts_, owner))) {
    DoDestroyHandle();
    return;
  }
  if (!owner->IsValid()) return;
  TPlatformSwitch platformSwitch(*owner);
  DoDestroyHandle();
}

void TGLContextHandle::DestroyHandleQuietly() noexcept {
  try {
    DestroyHandle();
  } catch (...) {
    // Destructors cannot report; the name is released either way.
  }
}

uint32_t TGLListHandle::DoAllocateHandle() { return glGenLists(1); }

void TGLListHandle::DoDestroyHandle() {
  if (gActivationFailed) return;
  ClearGLError();
  glDeleteLists(Handle(), 1);
  CheckOpenGLError();
}

uint32_t TGLTextureHandle::DoAllocateHandle() {
  GLuint name = 0;
  glGenTextures(1, &name);
  return name;
}

void TGLTextureHandle::DoDestroyHandle() {
  if (gActivationFailed) return;
  glGetError();
  const GLuint name = Handle();
  if (glIsTexture(name)) glDeleteTextures(1, &name);
  CheckOpenGLError();
}

uint32_t TGLVirtualHandle::DoAllocateHandle() {
  uint32_t name = 0;
  if (OnAllocate) OnAllocate(*this, name);
  return name;
}

void TGLVirtualHandle::DoDestroyHandle() {
  if (gActivationFailed) return;
  ClearGLError();
  uint32_t name = Handle();
  if (OnDestroy) OnDestroy(*this, name);
  CheckOpenGLError();
}

// [SECTION] TGLContextManager

std::unique_ptr<TGLContext> TGLContextManager::CreateContext() {
  std::lock_guard guard(lock_);
  if (classes_.empty()) return nullptr;
  std::unique_ptr<TGLContext> context = classes_.front()();
  if (context && context->manager_ != this) {
    // Contexts register with the process-wide manager; this one keeps its own.
    context->manager_->UnRegisterContext(*context);
    context->manager_ = this;
    RegisterContext(*context);
  }
  return context;
}

void TGLContextManager::RegisterContextClass(TContextFactory factory) {
  std::lock_guard guard(lock_);
  if (factory == nullptr || std::find(classes_.begin(), classes_.end(), factory) != classes_.end()) {
    return;
  }
  classes_.push_back(factory);
}

int TGLContextManager::ContextCount() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(contexts_.size());
}

void TGLContextManager::RegisterContext(TGLContext& context) {
  std::lock_guard guard(lock_);
  if (Contains(contexts_, &context)) throw EGLContext("Invalid context registration");
  contexts_.push_back(&context);
}

void TGLContextManager::UnRegisterContext(TGLContext& context) {
  std::lock_guard guard(lock_);
  if (!Contains(contexts_, &context)) throw EGLContext("Invalid context registration");
  Remove(contexts_, &context);
}

void TGLContextManager::FreeAllHandles() {
  std::lock_guard guard(lock_);
  const std::vector<TGLContext*> contexts = contexts_;
  for (auto it = contexts.rbegin(); it != contexts.rend(); ++it) {
    TGLContext& context = **it;
    if (!context.IsValid() || context.ownedHandles_.Empty()) continue;
    std::unique_ptr<TPlatformSwitch> platformSwitch;
    if (gCurrentContext != &context) platformSwitch = std::make_unique<TPlatformSwitch>(context);
    while (TGLContextHandle* handle = context.ownedHandles_.Last()) handle->DestroyHandleQuietly();
  }
}

void TGLContextManager::QueueDeferredNotification(std::function<void()> notification) {
  std::lock_guard guard(lock_);
  deferred_.push_back(std::move(notification));
}

void TGLContextManager::ContextCreatedBy(TGLContext&) {
  std::lock_guard guard(lock_);
  ++createdContexts_;
}

void TGLContextManager::DestroyingContextBy(TGLContext&) {
  std::lock_guard guard(lock_);
  if (createdContexts_ > 0) --createdContexts_;
  if (createdContexts_ != 0) return;
  while (!deferred_.empty()) {
    std::function<void()> notification = std::move(deferred_.back());
    deferred_.pop_back();
    if (notification) notification();
  }
}

void TGLContextManager::ForgetPreviousContext(TGLContext& context) {
  std::lock_guard guard(lock_);
  for (TGLContext* other : contexts_) {
    if (other->previousContext_ == &context) other->previousContext_ = nullptr;
  }
}

TGLContextManager& GLContextManager() {
  static TGLContextManager& manager = *new TGLContextManager();
  return manager;
}

}  // namespace qira

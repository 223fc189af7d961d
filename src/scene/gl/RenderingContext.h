#pragma once
// The engine's platform-neutral rendering context, the handles that tie one
// OpenGL name to the context that made it, and the process-wide manager that
// creates contexts of the registered platform class.
//
// One context is current for the whole process (CurrentGLContext). A
// context's activations nest: only the first Activate makes it current on the
// platform and only the balancing Deactivate releases it. When a context is
// activated while another one is current, its last Deactivate makes the other
// one current again.
//
// All of it runs on the user-interface thread.
//
// Sections:
//   Errors and options
//   TGLContext
//   Handles
//   TGLContextManager
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scene/components/Components.h"
#include "scene/components/OrderedPointerSet.h"

namespace qira {

class TGLContextManager;
class TGLContextHandle;

// [SECTION] Errors and options

// Every error of a context, with one of the fixed texts: "Cannot alter an
// active context", "Invalid context registration", "Context already created",
// "Context not created", "Unbalanced context activations", and those of the
// platform class.
class EGLContext : public Exception {
 public:
  using Exception::Exception;
};

// The memory of a memory context's buffers could not be had: "Not enough memory
// for an off-screen buffer of W x H pixels."; or the platform could not allocate
// a context ("Not enough memory for an OpenGL context."). A caller that knows
// what the buffer is for (a picture) tells the user more.
class EGLOutOfMemory : public EGLContext {
 public:
  using EGLContext::EGLContext;
};

// Multisampling asked of a context: the default of the platform, none, or a
// sample count; the csa modes are coverage sampling.
enum class TGLAntiAliasing : uint8_t {
  aaDefault, aaNone, aa2x, aa2xHQ, aa4x, aa4xHQ, aa6x, aa8x, aa16x, csa8x, csa8xHQ, csa16x, csa16xHQ
};

struct TGLRCOptions {
  bool doubleBuffered = false;
  bool stereo = false;
  bool operator==(const TGLRCOptions&) const = default;
};

// What a context draws on: the platform id of a native window (an X11 window
// id here), or 0 for none.
using TGLOutputDevice = std::uintptr_t;

// [SECTION] TGLContext

class TGLContext : public TObject {
  QIRA_CLASS(TGLContext, TObject)

  // Registers the context with the process-wide manager.
  TGLContext();
  // Unregisters. A platform class's destructor calls DestroyContext first
  // when IsValid (this destructor can no longer reach the platform).
  ~TGLContext() override;

  // ---- options, which can be changed only while the context is not active
  int32_t ColorBits() const { return colorBits_; }
  void SetColorBits(int32_t value);
  int32_t AlphaBits() const { return alphaBits_; }
  void SetAlphaBits(int32_t value);
  int32_t DepthBits() const { return depthBits_; }
  void SetDepthBits(int32_t value);
  int32_t StencilBits() const { return stencilBits_; }
  void SetStencilBits(int32_t value);
  int32_t AccumBits() const { return accumBits_; }
  void SetAccumBits(int32_t value);
  int32_t AuxBuffers() const { return auxBuffers_; }
  void SetAuxBuffers(int32_t value);
  TGLAntiAliasing AntiAliasing() const { return antiAliasing_; }
  void SetAntiAliasing(TGLAntiAliasing value);
  TGLRCOptions Options() const { return options_; }
  void SetOptions(TGLRCOptions value);

  TGLContextManager* Manager() const { return manager_; }
  // 0 before creation, 1 hardware, 2 software (set by the platform class).
  uint8_t Acceleration() const { return acceleration_; }

  // ---- life
  // Creates the platform context on the device; "Context already created"
  // when it exists. The context is then alone in its sharing group.
  void CreateContext(TGLOutputDevice outputDevice);
  // The same for an off-screen buffer of that size with `bufferCount` colour buffers.
  void CreateMemoryContext(TGLOutputDevice outputDevice, int32_t width, int32_t height,
                           int32_t bufferCount);
  // Joins the other context's sharing group: both groups become one, and
  // every member holds the same list. Both must be created.
  void ShareLists(TGLContext& otherContext);
  // Passes the context's handles to another member of its group (or frees
  // their names when it is alone), leaves the group and frees the platform
  // context. The context that was current before stays current.
  void DestroyContext();

  // ---- activation
  void Activate();
  void Deactivate();
  bool Active() const { return activationCount_ > 0; }
  void SetActive(bool active);
  int32_t ActivationCount() const { return activationCount_; }

  // ---- platform
  virtual bool IsValid() const = 0;
  virtual void SwapBuffers() = 0;
  virtual TGLOutputDevice RenderOutputDevice() const = 0;

  const std::vector<TGLContext*>& SharedContexts() const { return sharedContexts_; }
  std::vector<TGLContextHandle*> OwnedHandles() const { return ownedHandles_.Items(); }

 protected:
  // Make the platform context current / not current; failures raise.
  virtual void DoActivate() = 0;
  virtual void DoDeactivate() = 0;
  virtual void DoCreateContext(TGLOutputDevice outputDevice) = 0;
  virtual void DoCreateMemoryContext(TGLOutputDevice outputDevice, int32_t width, int32_t height,
                                     int32_t bufferCount) = 0;
  virtual void DoShareLists(TGLContext& otherContext) = 0;
  virtual void DoDestroyContext() = 0;

  void SetAcceleration(uint8_t value) { acceleration_ = value; }

 private:
  friend class TGLContextHandle;
  friend class TGLContextManager;
  friend class TPlatformSwitch;

  void CheckNotActive() const;
  void AfterCreation();
  void LeaveSharingGroup();

  int32_t colorBits_ = 32;
  int32_t alphaBits_ = 0;
  int32_t depthBits_ = 0;
  int32_t stencilBits_ = 0;
  int32_t accumBits_ = 0;
  int32_t auxBuffers_ = 0;
  TGLAntiAliasing antiAliasing_ = TGLAntiAliasing::aaDefault;
  TGLRCOptions options_;
  TGLContextManager* manager_ = nullptr;
  int32_t activationCount_ = 0;
  std::vector<TGLContext*> sharedContexts_;       // the whole group, this one included
  TOrderedPointerSet<TGLContextHandle> ownedHandles_;  // not owned: each handle removes itself
  uint8_t acceleration_ = 0;
  TGLContext* previousContext_ = nullptr;  // current when this one was activated
};

// The context current in the process, or null.
TGLContext* CurrentGLContext();
// True when the last platform activation failed: deactivation then skips the
// platform and handles skip their OpenGL calls, so a broken context can still
// be torn down.
bool GLActivationFailed();

// [SECTION] Handles

// One OpenGL name and the context that made it. Each concrete class's
// destructor frees the name (DestroyHandle).
class TGLContextHandle : public TObject {
  QIRA_CLASS(TGLContextHandle, TObject)

  TGLContextHandle() = default;
  ~TGLContextHandle() override;

  // True: the name may pass to another context of the sharing group.
  virtual bool Transferable() const { return true; }

  // With a context current and no name held: the name of DoAllocateHandle,
  // owned by the current context. Does nothing otherwise.
  void AllocateHandle();
  // Frees the name in its owner's group (switching to the owner for the call
  // when the current context does not share with it, and back); the handle is
  // empty afterwards even when OpenGL reported an error (which is raised).
  void DestroyHandle();

  uint32_t Handle() const { return handle_; }
  TGLContext* RenderingContext() const { return owner_; }

 protected:
  virtual uint32_t DoAllocateHandle() = 0;
  virtual void DoDestroyHandle() = 0;
  // For destructors: DestroyHandle with errors dropped.
  void DestroyHandleQuietly() noexcept;

 private:
  friend class TGLContext;
  friend class TGLContextManager;
  TGLContext* owner_ = nullptr;
  uint32_t handle_ = 0;
};

// A display list.
class TGLListHandle final : public TGLContextHandle {
  QIRA_CLASS(TGLListHandle, TGLContextHandle)
  TGLListHandle() = default;
  ~TGLListHandle() override { DestroyHandleQuietly(); }

 protected:
  uint32_t DoAllocateHandle() override;
  void DoDestroyHandle() override;
};

// A texture object.
class TGLTextureHandle final : public TGLContextHandle {
  QIRA_CLASS(TGLTextureHandle, TGLContextHandle)
  TGLTextureHandle() = default;
  ~TGLTextureHandle() override { DestroyHandleQuietly(); }

 protected:
  uint32_t DoAllocateHandle() override;
  void DoDestroyHandle() override;
};

// A name that events allocate and free.
class TGLVirtualHandle final : public TGLContextHandle {
  QIRA_CLASS(TGLVirtualHandle, TGLContextHandle)
  using TGLVirtualHandleEvent = std::function<void(TGLVirtualHandle& sender, uint32_t& handle)>;

  TGLVirtualHandle() = default;
  ~TGLVirtualHandle() override { DestroyHandleQuietly(); }

  // Supplies the name; without it the name is 0.
  TGLVirtualHandleEvent OnAllocate;
  // Frees the name.
  TGLVirtualHandleEvent OnDestroy;

 protected:
  uint32_t DoAllocateHandle() override;
  void DoDestroyHandle() override;
};

// [SECTION] TGLContextManager

class TGLContextManager : public TObject {
  QIRA_CLASS(TGLContextManager, TObject)

  using TContextFactory = std::unique_ptr<TGLContext> (*)();

  TGLContextManager() = default;
  ~TGLContextManager() override = default;

  // A new, not yet created context of the first registered class, or null
  // when no class is registered.
  std::unique_ptr<TGLContext> CreateContext();
  // Appends a class (its factory); registering it again changes nothing.
  void RegisterContextClass(TContextFactory factory);

  void Lock() { lock_.lock(); }
  void UnLock() { lock_.unlock(); }
  int ContextCount() const;
  // "Invalid context registration" when the context is already registered.
  void RegisterContext(TGLContext& context);
  // "Invalid context registration" when it is not.
  void UnRegisterContext(TGLContext& context);
  // Frees every name of every created context, each in its own context; the
  // current context stays current. Contexts never created are skipped.
  void FreeAllHandles();

  // Platform contexts created and not yet destroyed.
  int CreatedContextCount() const { return createdContexts_; }
  // Called, newest first, when the count of created contexts falls to 0.
  void QueueDeferredNotification(std::function<void()> notification);

  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

 private:
  friend class TGLContext;
  void ContextCreatedBy(TGLContext& context);
  void DestroyingContextBy(TGLContext& context);
  // Clears every remembered previous context that is `context`.
  void ForgetPreviousContext(TGLContext& context);

  mutable std::recursive_mutex lock_;
  std::vector<TGLContext*> contexts_;
  std::vector<TContextFactory> classes_;
  std::vector<std::function<void()>> deferred_;
  int createdContexts_ = 0;
  bool terminated_ = false;
};

// The process-wide manager (never freed: contexts may outlive static objects).
TGLContextManager& GLContextManager();

}  // namespace qira

#pragma once
// One scene: the root of its object tree, the eight light slots, the buffers
// that show it and the scene-wide sorting and culling defaults. Changes in the
// tree reach every registered buffer through the scene; time reaches the tree
// through Progress; the buffer asks the scene to send its lights at the start
// of each frame.
//
// All of it runs on the user-interface thread.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "scene/components/OrderedPointerSet.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

namespace qira {

class TGLBaseSceneObject;
class TGL3DSceneRootObject;
class TGLCamera;
class TGLLightSource;
class TGLContext;

// An object that waits for the next frame's render context to initialise
// itself (for instance to build OpenGL names that need a current context).
class IGLInitializable {
 public:
  virtual void InitializeObject(TObject* sender, const TRenderContextInfo& rci) = 0;

 protected:
  ~IGLInitializable() = default;
};

// The objects waiting for the next frame's render context, in the order they
// asked; not owned.
using TGLInitializableObjectList = TOrderedPointerSet<IGLInitializable>;

inline constexpr int kSceneLightSlots = 8;

class TGL3DScene : public TGLUpdateAbleComponent {
  QIRA_CLASS(TGL3DScene, TGLUpdateAbleComponent)

  TGL3DScene();
  ~TGL3DScene() override;

  // ---- updates
  // An EndUpdate that brings the count to 0 notifies every buffer once; an
  // EndUpdate without a matching BeginUpdate does nothing (the count never
  // goes below 0, so it cannot silence later notifications).
  // (BeginUpdate / EndUpdate are the inherited ones.)
  // True while the update count is above 0 or the scene is loaded or destroyed.
  bool IsUpdating() const;
  // Unless updating: NotifyChange of every registered buffer, in registration order.
  void NotifyChange(TObject* sender) override;

  // ---- tree
  TGL3DSceneRootObject& Objects() const { return *objects_; }
  // Hands the times to the root's DoProgress, which walks the tree.
  void Progress(double deltaTime, double newTime);
  // Nearest visible object hit by the ray, or null. `rayVector` must be of
  // unit length (the box test compares its parameter with a squared
  // distance). The outputs may be null.
  TGLBaseSceneObject* RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                       TVector* intersectPoint = nullptr,
                                       TVector* intersectNormal = nullptr);

  // ---- buffers
  // Registration is idempotent; the first buffer's context becomes the base
  // context and every later buffer's context shares lists with it.
  void AddBuffer(TGL3DSceneBuffer& buffer);
  // The base context passes to the new first buffer; null when none is left.
  void RemoveBuffer(TGL3DSceneBuffer& buffer);
  int BufferCount() const { return static_cast<int>(buffers_.size()); }
  TGL3DSceneBuffer* Buffer(int index) const;
  TGLContext* BaseContext() const { return baseContext_; }

  TGLCamera* CurrentCamera() const { return currentCamera_; }
  void SetCurrentCamera(TGLCamera* camera) { currentCamera_ = camera; }
  TGL3DSceneBuffer* CurrentBuffer() const { return currentBuffer_; }
  void SetCurrentBuffer(TGL3DSceneBuffer* buffer) { currentBuffer_ = buffer; }

  // ---- lights
  // Puts the light in the first free slot and sets its light unit to
  // GL_LIGHT0 + slot; with all slots taken the light is not registered and
  // keeps its light unit. A light already registered stays where it is.
  void RegisterLight(TGLLightSource& light);
  void UnregisterLight(TGLLightSource& light);
  // The object and all its descendants.
  void RegisterLightsOf(TGLBaseSceneObject& object);
  void UnregisterLightsOf(TGLBaseSceneObject& object);
  TGLLightSource* Light(int slot) const;
  // Sends the lights to OpenGL for the frame; `maxLights` is GL_MAX_LIGHTS.
  // The current matrix must be the camera's model-view.
  void SetupLights(int maxLights);

  // ---- objects waiting for a render context
  void AddInitializableObject(IGLInitializable& object);
  void RemoveInitializableObject(IGLInitializable& object);
  // Initialises the waiting objects, last first, and empties the list.
  void InitializeObjects(TObject* sender, const TRenderContextInfo& rci);
  int InitializableObjectCount() const { return static_cast<int>(pendingObjects_.Size()); }

  // ---- component streams
  // ObjectsSorting and VisibilityCulling when they differ from their defaults.
  void DefinePublished(TFiler& filer) override;
  // The root object's children stand for the scene's own.
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  // A streamed scene object takes position `order` among the root's children.
  void SetChildOrder(TComponent& child, int order) override;
  // While the scene is read, the reader's root is the scene's owner (when it
  // has one), so that the objects read belong to it; restored afterwards.
  void ReadState(TReader& reader) override;

  // ---- defaults of the tree
  TGLObjectsSorting ObjectsSorting() const { return objectsSorting_; }
  // osInherited is stored as osRenderBlendedLast (the scene has no parent).
  void SetObjectsSorting(TGLObjectsSorting value);
  TGLVisibilityCulling VisibilityCulling() const { return visibilityCulling_; }
  // vcInherited is stored as vcNone.
  void SetVisibilityCulling(TGLVisibilityCulling value);

 private:
  // Owned as one of the scene's components (so nodes made under it belong to
  // the scene); freed first by the destructor.
  TGL3DSceneRootObject* objects_ = nullptr;
  TGLContext* baseContext_ = nullptr;
  std::array<TGLLightSource*, kSceneLightSlots> lights_{};
  std::vector<TGL3DSceneBuffer*> buffers_;
  TGLCamera* currentCamera_ = nullptr;
  TGL3DSceneBuffer* currentBuffer_ = nullptr;
  TGLObjectsSorting objectsSorting_ = TGLObjectsSorting::osRenderBlendedLast;
  TGLVisibilityCulling visibilityCulling_ = TGLVisibilityCulling::vcNone;
  TGLInitializableObjectList pendingObjects_;
};

// Registers the scene's streamable classes (the scene, camera, light source
// and proxy) with the class registry.
void RegisterSceneClasses();

}  // namespace qira

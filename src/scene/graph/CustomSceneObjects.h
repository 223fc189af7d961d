#pragma once
// The node classes between the scene object base and the concrete
// primitives, and the two extension lists every node can carry.
//
// Sections: behaviours and effects; the material seam; TGLCustomSceneObject
// and its published variants; camera-invariant objects; direct OpenGL and
// render points; registration.
//
// A custom scene object owns a material and brackets its drawing with the
// material's Apply and UnApply. The material class of the engine lives in
// its own unit; this unit only needs the four operations of
// TGLAbstractMaterial, and takes the material from a factory that the
// material unit installs (SetSceneObjectMaterialFactory). Until one is
// installed a node gets a material that changes no state.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/graph/SceneObject.h"
#include "scene/components/XCollection.h"

namespace qira {

// ---------------------------------------------------- behaviours and effects

class TGLBaseBehaviour : public TXCollectionItem {
  QIRA_CLASS(TGLBaseBehaviour, TXCollectionItem)

  // The scene object that owns the list holding this item, or null.
  TGLBaseSceneObject* OwnerBaseSceneObject() const;
  // Inherited, then the process-wide behaviour-name hook when set.
  void SetName(const std::string& name) override;
  // Integer 0 (the archive version), then the base item's archive.
  void WriteToFiler(TVirtualWriter& writer) const override;
  void ReadFromFiler(TVirtualReader& reader) override;
  // Called on every cadencer tick; empty here.
  virtual void DoProgress(const TProgressTimes& progressTimes) { (void)progressTimes; }

 protected:
  TGLBaseBehaviour() = default;
};

class TGLBehaviour : public TGLBaseBehaviour {
  QIRA_CLASS(TGLBehaviour, TGLBaseBehaviour)
 protected:
  TGLBehaviour() = default;
};

class TGLObjectEffect : public TGLBaseBehaviour {
  QIRA_CLASS(TGLObjectEffect, TGLBaseBehaviour)

  // Draws the effect; empty here.
  virtual void Render(TRenderContextInfo& rci) { (void)rci; }
  // Which of the node's two passes the effect draws in; no effect kind of
  // this program draws in either.
  virtual bool IsPreRenderEffect() const { return false; }
  virtual bool IsPostRenderEffect() const { return false; }

 protected:
  TGLObjectEffect() = default;
};

class TGLBehaviours : public TXCollection {
  QIRA_CLASS(TGLBehaviours, TXCollection)

  explicit TGLBehaviours(TGLBaseSceneObject* owner) : TXCollection(owner) {}
  const TXCollectionItemClass& ItemsClass() const override;
  // Effects are refused.
  bool CanAdd(const TXCollectionItemClass& itemClass) const override;
  // Each item's DoProgress in list order.
  void DoProgress(const TProgressTimes& progressTimes);
  TGLBaseBehaviour& Behaviour(int index) const { return static_cast<TGLBaseBehaviour&>(GetItems(index)); }

 protected:
  std::string NamePathSuffix() const override { return ".Behaviours"; }
};

class TGLObjectEffects : public TXCollection {
  QIRA_CLASS(TGLObjectEffects, TXCollection)

  explicit TGLObjectEffects(TGLBaseSceneObject* owner) : TXCollection(owner) {}
  const TXCollectionItemClass& ItemsClass() const override;
  // Only effects.
  bool CanAdd(const TXCollectionItemClass& itemClass) const override;
  void DoProgress(const TProgressTimes& progressTimes);
  TGLObjectEffect& ObjectEffect(int index) const { return static_cast<TGLObjectEffect&>(GetItems(index)); }
  // Render of each pre-render (post-render) effect in list order.
  void RenderPreEffects(TRenderContextInfo& rci);
  void RenderPostEffects(TRenderContextInfo& rci);

 protected:
  std::string NamePathSuffix() const override { return ".Effects"; }
};

// ------------------------------------------------------- the material seam

class TGLCustomSceneObject;

// What drawing needs of a material. The engine's material class derives from
// it; the base changes no state, is never blended and draws in one pass.
class TGLAbstractMaterial : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLAbstractMaterial, TGLUpdateAbleObject)

  explicit TGLAbstractMaterial(TPersistent* owner) : TGLUpdateAbleObject(owner) {}
  // Sets the OpenGL state for the object's drawing.
  virtual void Apply(TRenderContextInfo& rci) { (void)rci; }
  // Undoes Apply; True asks for another drawing pass.
  virtual bool UnApply(TRenderContextInfo& rci) {
    (void)rci;
    return false;
  }
  virtual bool Blended() const { return false; }
  // Frees the OpenGL names the material holds (its texture).
  virtual void DestroyHandles() {}
  // Called once the owning object was read from a stream.
  virtual void Loaded() {}
  // From another material of a class that knows how; the base copies nothing.
  void Assign(const TPersistent* source) override;
};

using TGLMaterialFactory = std::function<std::unique_ptr<TGLAbstractMaterial>(TGLCustomSceneObject& owner)>;
// Installs the factory every later custom scene object takes its material
// from; an empty function goes back to the base material.
void SetSceneObjectMaterialFactory(TGLMaterialFactory factory);

// Nested lighting-off and fog-off requests of materials, counted in the
// render context so that only the outermost request switches the state back
// on. A request counts when it switches the state off, and also when an outer
// request already did (counter above 0); a request that finds the state off
// for another reason (the buffer's own setting) is not counted and never
// switches it on.
void BeginLightingOff(TRenderContextInfo& rci);
void EndLightingOff(TRenderContextInfo& rci);
void BeginFogOff(TRenderContextInfo& rci);
void EndFogOff(TRenderContextInfo& rci);

// ------------------------------------------------------ TGLCustomSceneObject

class TGLCustomSceneObject : public TGLBaseSceneObject {
  QIRA_CLASS(TGLCustomSceneObject, TGLBaseSceneObject)

  TGLCustomSceneObject();
  ~TGLCustomSceneObject() override;

  TGLAbstractMaterial& Material() const { return *material_; }
  std::string Hint;

  // Material assigned and Hint copied from another custom object, then the base Assign.
  void Assign(const TPersistent* source) override;
  void Loaded() override;
  bool Blended() const override { return material_->Blended(); }
  void DestroyHandle() override;
  // Without colour writes: drawn once without the material. Otherwise the
  // material is applied and the node drawn until UnApply answers False.
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;

 private:
  std::unique_ptr<TGLAbstractMaterial> material_;
};

// The parent of the solid primitives: the material is published.
class TGL3DSceneObject : public TGLCustomSceneObject {
  QIRA_CLASS(TGL3DSceneObject, TGLCustomSceneObject)

  TGL3DSceneObject() = default;
  // Assigns the value to the material, then NotifyChange.
  void SetMaterial(const TPersistent* value);
  // The base set, the material's properties under "Material." and Hint when not empty.
  void DefinePublished(TFiler& filer) override;
};

// Points, lines and texts: drawn without the material.
class TGLImmaterialSceneObject : public TGLCustomSceneObject {
  QIRA_CLASS(TGLImmaterialSceneObject, TGLCustomSceneObject)

  TGLImmaterialSceneObject() = default;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;
  // The base set and Hint when not empty; the material is not stored.
  void DefinePublished(TFiler& filer) override;
};

// --------------------------------------------------- camera-invariant objects

enum class TGLCameraInvarianceMode : uint8_t { cimNone, cimPosition, cimOrientation };

class TGLCameraInvariantObject : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLCameraInvariantObject, TGLImmaterialSceneObject)

  TGLCameraInvariantObject() = default;
  TGLCameraInvarianceMode CamInvarianceMode() const { return camInvarianceMode_; }
  void SetCamInvarianceMode(TGLCameraInvarianceMode value);
  void Assign(const TPersistent* source) override;
  // cimPosition: the subtree moves with the camera (drawn in the camera's
  // position); cimOrientation: it keeps its orientation on the screen.
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;

 private:
  TGLCameraInvarianceMode camInvarianceMode_ = TGLCameraInvarianceMode::cimNone;
};

// ---------------------------------------------- direct OpenGL, render points

// (Sender, rci)
using TDirectRenderEvent = std::function<void(TObject* sender, TRenderContextInfo& rci)>;

// Hands its drawing to OnRender, every frame, or compiled once with UseBuildList.
class TGLDirectOpenGL : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLDirectOpenGL, TGLImmaterialSceneObject)

  TGLDirectOpenGL();
  void Assign(const TPersistent* source) override;
  bool UseBuildList() const { return useBuildList_; }
  // True compiles the event's commands into the display list (a change of
  // what the event draws then needs StructureChanged); False draws every frame.
  void SetUseBuildList(bool value);
  bool Blend() const { return blend_; }
  void SetBlend(bool value);
  bool Blended() const override { return blend_; }
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;
  TDirectRenderEvent OnRender;
  // UseBuildList and Blend when True.
  void DefinePublished(TFiler& filer) override;

 private:
  bool useBuildList_ = false;
  bool blend_ = false;
};

// Calls registered callbacks while it is drawn.
class TGLRenderPoint : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLRenderPoint, TGLImmaterialSceneObject)

  using TRenderCallback = std::function<void(TObject* sender, TRenderContextInfo& rci)>;
  using TFreeCallback = std::function<void(TObject* sender)>;

  TGLRenderPoint();
  // Each registered free callback is called, last first.
  ~TGLRenderPoint() override;
  void RegisterCallBack(TRenderCallback renderEvent, TFreeCallback renderPointFreed);
  void Clear();
  int CallBackCount() const { return static_cast<int>(renderCallBacks_.size()); }
  void BuildList(TRenderContextInfo& rci) override;

 private:
  std::vector<TRenderCallback> renderCallBacks_;
  std::vector<TFreeCallback> freeCallBacks_;
};

// Registers the node classes of this unit and of the scene object base with
// the class registry, and the behaviour and effect base classes.
void RegisterCustomSceneObjectClasses();
// Called with the behaviour after every change of a behaviour's name; empty by default.
void SetBehaviourNameChangeHook(std::function<void(TGLBaseBehaviour&)> hook);

}  // namespace qira

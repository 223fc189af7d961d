// Sections:
//   Behaviours and effects
//   The material seam, lighting and fog nesting
//   Custom scene objects
//   Camera-invariant objects
//   Direct OpenGL, render points
//   Component streams
//   Registration

#include "scene/graph/CustomSceneObjects.h"

#include <utility>

#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/gl/StateCache.h"

namespace qira {

namespace {

std::function<void(TGLBaseBehaviour&)>& BehaviourNameHook() {
  static std::function<void(TGLBaseBehaviour&)> hook;
  return hook;
}

TGLMaterialFactory& MaterialFactory() {
  static TGLMaterialFactory factory;
  return factory;
}

}  // namespace

// [SECTION] Behaviours and effects

TGLBaseSceneObject* TGLBaseBehaviour::OwnerBaseSceneObject() const {
  return Owner() != nullptr ? dynamic_cast<TGLBaseSceneObject*>(Owner()->GetOwner()) : nullptr;
}

void TGLBaseBehaviour::SetName(const std::string& name) {
  TXCollectionItem::SetName(name);
  if (BehaviourNameHook()) BehaviourNameHook()(*this);
}

void TGLBaseBehaviour::WriteToFiler(TVirtualWriter& writer) const {
  writer.WriteInteger(0);
  TXCollectionItem::WriteToFiler(writer);
}

void TGLBaseBehaviour::ReadFromFiler(TVirtualReader& reader) {
  const int32_t version = reader.ReadInteger();
  if (version != 0) {
    throw EFilerException(std::string(ClassName()) + " : unknown archive version " + std::to_string(version));
  }
  TXCollectionItem::ReadFromFiler(reader);
}

const TXCollectionItemClass& TGLBehaviours::ItemsClass() const { return TGLBehaviour::StaticClass(); }

bool TGLBehaviours::CanAdd(const TXCollectionItemClass& itemClass) const {
  if (itemClass.InheritsFrom(TGLObjectEffect::StaticClass())) return false;
  return TXCollection::CanAdd(itemClass);
}

void TGLBehaviours::DoProgress(const TProgressTimes& progressTimes) {
  for (int i = 0; i < Count(); ++i) Behaviour(i).DoProgress(progressTimes);
}

const TXCollectionItemClass& TGLObjectEffects::ItemsClass() const { return TGLObjectEffect::StaticClass(); }

bool TGLObjectEffects::CanAdd(const TXCollectionItemClass& itemClass) const {
  if (!itemClass.InheritsFrom(TGLObjectEffect::StaticClass())) return false;
  return TXCollection::CanAdd(itemClass);
}

void TGLObjectEffects::DoProgress(const TProgressTimes& progressTimes) {
  for (int i = 0; i < Count(); ++i) ObjectEffect(i).DoProgress(progressTimes);
}

void TGLObjectEffects::RenderPreEffects(TRenderContextInfo& rci) {
  for (int i = 0; i < Count(); ++i) {
    if (ObjectEffect(i).IsPreRenderEffect()) ObjectEffect(i).Render(rci);
  }
}

void TGLObjectEffects::RenderPostEffects(TRenderContextInfo& rci) {
  for (int i = 0; i < Count(); ++i) {
    if (ObjectEffect(i).IsPostRenderEffect()) ObjectEffect(i).Render(rci);
  }
}

void SetBehaviourNameChangeHook(std::function<void(TGLBaseBehaviour&)> hook) {
  BehaviourNameHook() = std::move(hook);
}

// [SECTION] The material seam, lighting and fog nesting

void TGLAbstractMaterial::Assign(const TPersistent* source) {
  if (dynamic_cast<const TGLAbstractMaterial*>(source) != nullptr) return;
  TGLUpdateAbleObject::Assign(source);
}

void SetSceneObjectMaterialFactory(TGLMaterialFactory factory) { MaterialFactory() = std::move(factory); }

namespace {

void BeginStateOff(TRenderContextInfo& rci, TGLState state, int32_t& counter) {
  if (rci.GLStates == nullptr) return;
  if (rci.GLStates->States().Contains(state)) {
    rci.GLStates->DisableState(state);
    ++counter;
  } else if (counter > 0) {
    // Off because an outer request switched it off: count this one too, so
    // that only the outermost end switches it back on.
    ++counter;
  }
}

void EndStateOff(TRenderContextInfo& rci, TGLState state, int32_t& counter) {
  if (counter < 1) return;
  --counter;
  if (counter == 0 && rci.GLStates != nullptr) rci.GLStates->EnableState(state);
}

}  // namespace

void BeginLightingOff(TRenderContextInfo& rci) {
  BeginStateOff(rci, TGLState::stLighting, rci.lightingDisabledCounter);
}
void EndLightingOff(TRenderContextInfo& rci) { EndStateOff(rci, TGLState::stLighting, rci.lightingDisabledCounter); }
void BeginFogOff(TRenderContextInfo& rci) { BeginStateOff(rci, TGLState::stFog, rci.fogDisabledCounter); }
void EndFogOff(TRenderContextInfo& rci) { EndStateOff(rci, TGLState::stFog, rci.fogDisabledCounter); }

// [SECTION] Custom scene objects

TGLCustomSceneObject::TGLCustomSceneObject() {
  if (MaterialFactory()) material_ = MaterialFactory()(*this);
  if (material_ == nullptr) material_ = std::make_unique<TGLAbstractMaterial>(this);
}

TGLCustomSceneObject::~TGLCustomSceneObject() = default;

void TGLCustomSceneObject::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLCustomSceneObject*>(source)) {
    if (src != this) {
      material_->Assign(src->material_.get());
      Hint = src->Hint;
    }
  }
  TGLBaseSceneObject::Assign(source);
}

void TGLCustomSceneObject::Loaded() {
  TGLBaseSceneObject::Loaded();
  material_->Loaded();
}

void TGLCustomSceneObject::DestroyHandle() {
  TGLBaseSceneObject::DestroyHandle();
  material_->DestroyHandles();
}

void TGLCustomSceneObject::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (renderSelf) {
    if (rci.noColorWrites) {
      DrawSelf(rci);
    } else {
      material_->Apply(rci);
      try {
        do {
          DrawSelf(rci);
        } while (material_->UnApply(rci));
      } catch (...) {
        // The material's state must not leak into every later object.
        material_->UnApply(rci);
        throw;
      }
    }
  }
  if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
}

void TGL3DSceneObject::SetMaterial(const TPersistent* value) {
  Material().Assign(value);
  NotifyChange(this);
}

void TGLImmaterialSceneObject::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (renderSelf) DrawSelf(rci);
  if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
}

// [SECTION] Camera-invariant objects

void TGLCameraInvariantObject::SetCamInvarianceMode(TGLCameraInvarianceMode value) {
  if (camInvarianceMode_ == value) return;
  camInvarianceMode_ = value;
  NotifyChange(this);
}

void TGLCameraInvariantObject::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLCameraInvariantObject*>(source)) {
    camInvarianceMode_ = src->camInvarianceMode_;
  }
  TGLImmaterialSceneObject::Assign(source);
}

void TGLCameraInvariantObject::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (camInvarianceMode_ == TGLCameraInvarianceMode::cimNone) {
    TGLImmaterialSceneObject::DoRender(rci, renderSelf, renderChildren);
    return;
  }
  glPushMatrix();
  if (camInvarianceMode_ == TGLCameraInvarianceMode::cimPosition) {
    const TMatrix& modelView =
        rci.buffer != nullptr ? rci.buffer->ModelViewMatrix()
                              : (rci.modelViewMatrix != nullptr ? *rci.modelViewMatrix : IdentityHmgMatrix);
    glLoadMatrixf(modelView.data());
    glTranslatef(rci.cameraPosition.x, rci.cameraPosition.y, rci.cameraPosition.z);
  } else {
    glLoadIdentity();
    glScalef(1.0f, -1.0f, -1.0f);
  }
  glMultMatrixf(LocalMatrix().data());
  TMatrix current;
  glGetFloatv(GL_MODELVIEW_MATRIX, current.data());
  // The subtree sees this matrix as the buffer's current model-view.
  const TMatrix* savedModelView = rci.modelViewMatrix;
  if (rci.buffer != nullptr) {
    rci.buffer->PushModelView(current);
    rci.modelViewMatrix = &rci.buffer->ModelViewMatrix();
  } else {
    rci.modelViewMatrix = &current;
  }
  auto finish = [&] {
    if (rci.buffer != nullptr) rci.buffer->PopModelView();
    rci.modelViewMatrix = savedModelView;
    glPopMatrix();
  };
  try {
    if (renderSelf) DrawSelf(rci);
    if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

// [SECTION] Direct OpenGL, render points

TGLDirectOpenGL::TGLDirectOpenGL() {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::ResetsFrontFace);
}

void TGLDirectOpenGL::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLDirectOpenGL*>(source)) {
    SetUseBuildList(src->useBuildList_);
    OnRender = src->OnRender;
    blend_ = src->blend_;
  }
  TGLImmaterialSceneObject::Assign(source);
}

void TGLDirectOpenGL::SetUseBuildList(bool value) {
  if (useBuildList_ == value) return;
  useBuildList_ = value;
  if (value) {
    ExcludeObjectStyle(TGLObjectStyle::DirectDraw);
  } else {
    IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  }
  StructureChanged();
}

void TGLDirectOpenGL::SetBlend(bool value) {
  if (blend_ == value) return;
  blend_ = value;
  StructureChanged();
}

TVector TGLDirectOpenGL::AxisAlignedDimensionsUnscaled() const { return {0.0f, 0.0f, 0.0f, 1.0f}; }

void TGLDirectOpenGL::BuildList(TRenderContextInfo& rci) {
  if (!OnRender) return;
  MapToUnit0();
  OnRender(this, rci);
}

TGLRenderPoint::TGLRenderPoint() {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::ResetsFrontFace);
}

TGLRenderPoint::~TGLRenderPoint() { Clear(); }

void TGLRenderPoint::RegisterCallBack(TRenderCallback renderEvent, TFreeCallback renderPointFreed) {
  renderCallBacks_.push_back(std::move(renderEvent));
  freeCallBacks_.push_back(std::move(renderPointFreed));
}

void TGLRenderPoint::Clear() {
  while (!renderCallBacks_.empty()) {
    const size_t last = renderCallBacks_.size() - 1;
    TFreeCallback freed = last < freeCallBacks_.size() ? freeCallBacks_[last] : TFreeCallback{};
    renderCallBacks_.pop_back();
    if (last < freeCallBacks_.size()) freeCallBacks_.pop_back();
    if (freed) freed(this);
  }
  freeCallBacks_.clear();
}

void TGLRenderPoint::BuildList(TRenderContextInfo& rci) {
  for (size_t i = 0; i < renderCallBacks_.size(); ++i) {
    if (renderCallBacks_[i]) renderCallBacks_[i](this, rci);
  }
}

// [SECTION] Component streams

namespace {

void DefineHint(TFiler& filer, TGLCustomSceneObject& object) {
  DefineString(filer, "Hint", object.Hint, !object.Hint.empty(), [&object](std::string v) { object.Hint = std::move(v); });
}

}  // namespace

void TGL3DSceneObject::DefinePublished(TFiler& filer) {
  TGLCustomSceneObject::DefinePublished(filer);
  DefineNested(filer, "Material", Material());
  DefineHint(filer, *this);
}

void TGLImmaterialSceneObject::DefinePublished(TFiler& filer) {
  TGLCustomSceneObject::DefinePublished(filer);
  DefineHint(filer, *this);
}

void TGLDirectOpenGL::DefinePublished(TFiler& filer) {
  TGLImmaterialSceneObject::DefinePublished(filer);
  DefineBoolean(filer, "UseBuildList", useBuildList_, useBuildList_, [this](bool v) { SetUseBuildList(v); });
  DefineBoolean(filer, "Blend", blend_, blend_, [this](bool v) { SetBlend(v); });
}

// [SECTION] Registration

void RegisterCustomSceneObjectClasses() {
  RegisterClass(TGLBaseSceneObject::StaticClass());
  RegisterClass(TGLCustomSceneObject::StaticClass());
  RegisterClass(TGL3DSceneObject::StaticClass());
  RegisterClass(TGLImmaterialSceneObject::StaticClass());
  RegisterClass(TGLCameraInvariantObject::StaticClass());
  RegisterClass(TGLDirectOpenGL::StaticClass());
  RegisterClass(TGLRenderPoint::StaticClass());
}

}  // namespace qira

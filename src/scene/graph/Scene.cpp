#include "scene/graph/Scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

TGL3DScene::TGL3DScene() {
  objects_ = &AddComponent<TGL3DSceneRootObject>(*this);
  objects_->SetName("ObjectRoot");
}

TGL3DScene::~TGL3DScene() {
  Destroying();
  pendingObjects_.Clear();
  objects_->DestroyHandles();
  // The root frees the tree; lights and cameras leave the slots and the
  // buffers while the scene's fields still exist.
  DestroyComponent(*objects_);
  objects_ = nullptr;
  lights_.fill(nullptr);
  for (TGL3DSceneBuffer* buffer : std::vector<TGL3DSceneBuffer*>(buffers_)) RemoveBuffer(*buffer);
}

// ------------------------------------------------------------------ updates

bool TGL3DScene::IsUpdating() const { return UpdateCount() > 0 || IsLoading() || IsDestroying(); }

void TGL3DScene::NotifyChange(TObject* sender) {
  (void)sender;
  if (IsUpdating()) return;
  // A buffer's handler may register or remove buffers: walk a copy.
  for (TGL3DSceneBuffer* buffer : std::vector<TGL3DSceneBuffer*>(buffers_)) buffer->NotifyChange(this);
}

// --------------------------------------------------------------------- tree

void TGL3DScene::Progress(double deltaTime, double newTime) {
  objects_->DoProgress(TProgressTimes{deltaTime, newTime});
}

namespace {

// Slab test of a ray against a box: the entry parameter, or false on a miss.
bool RayEntersBox(const TVector& start, const TVector& vector, const TAABB& box, float& entry) {
  float tEnter = -std::numeric_limits<float>::infinity();
  float tExit = std::numeric_limits<float>::infinity();
  for (int axis = 0; axis < 3; ++axis) {
    const float s = start[axis];
    const float v = vector[axis];
    const float lo = box.min[axis];
    const float hi = box.max[axis];
    if (v == 0.0f) {
      if (s < lo || s > hi) return false;
      continue;
    }
    float t1 = (lo - s) / v;
    float t2 = (hi - s) / v;
    if (t1 > t2) std::swap(t1, t2);
    tEnter = std::max(tEnter, t1);
    tExit = std::min(tExit, t2);
    if (tEnter > tExit || tExit < 0.0f) return false;
  }
  entry = tEnter;
  return true;
}

bool PointInsideBox(const TVector& p, const TAABB& box) {
  return p.x >= box.min.x && p.x <= box.max.x && p.y >= box.min.y && p.y <= box.max.y &&
         p.z >= box.min.z && p.z <= box.max.z;
}

struct TRayCast {
  const TVector& start;
  const TVector& vector;
  TVector* point;
  TVector* normal;
  TGLBaseSceneObject* best = nullptr;
  float bestDistance2 = 1e20f;

  void Walk(const TGLBaseSceneObject& parent) {
    for (int i = 0; i < parent.ChildCount(); ++i) {
      TGLBaseSceneObject* child = parent.Children(i);
      if (child == nullptr || !child->Visible()) continue;
      const TAABB box = child->AbsoluteAABB();
      float entry = 0.0f;
      if (!RayEntersBox(start, vector, box, entry)) continue;
      if (entry * entry > bestDistance2 && !PointInsideBox(start, box)) continue;
      TVector hitPoint{};
      TVector hitNormal{};
      if (child->RayCastIntersect(start, vector, &hitPoint, &hitNormal)) {
        const float d2 = VectorDistance2(start, hitPoint);
        if (d2 < bestDistance2) {
          bestDistance2 = d2;
          best = child;
          if (point != nullptr) *point = hitPoint;
          if (normal != nullptr) *normal = hitNormal;
        }
      }
      Walk(*child);
    }
  }
};

}  // namespace

TGLBaseSceneObject* TGL3DScene::RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                                 TVector* intersectPoint, TVector* intersectNormal) {
  TRayCast cast{rayStart, rayVector, intersectPoint, intersectNormal};
  cast.Walk(*objects_);
  return cast.best;
}

// ------------------------------------------------------------------ buffers

void TGL3DScene::AddBuffer(TGL3DSceneBuffer& buffer) {
  if (std::find(buffers_.begin(), buffers_.end(), &buffer) != buffers_.end()) return;
  buffers_.push_back(&buffer);
  if (baseContext_ == nullptr) baseContext_ = buffers_.front()->RenderingContext();
  TGLContext* context = buffer.RenderingContext();
  // A context whose platform context is gone (its window was destroyed
  // before its buffer let go of it) has no lists to share: sharing would
  // raise "Context not created" in every later frame of the other buffers.
  if (buffers_.size() >= 2 && baseContext_ != nullptr && context != nullptr && context != baseContext_ &&
      baseContext_->IsValid() && context->IsValid()) {
    const auto& group = baseContext_->SharedContexts();
    if (std::find(group.begin(), group.end(), context) == group.end()) baseContext_->ShareLists(*context);
  }
}

void TGL3DScene::RemoveBuffer(TGL3DSceneBuffer& buffer) {
  auto it = std::find(buffers_.begin(), buffers_.end(), &buffer);
  if (it == buffers_.end()) return;
  buffers_.erase(it);
  baseContext_ = buffers_.empty() ? nullptr : buffers_.front()->RenderingContext();
  if (currentBuffer_ == &buffer) currentBuffer_ = nullptr;
}

TGL3DSceneBuffer* TGL3DScene::Buffer(int index) const {
  if (index < 0 || index >= BufferCount()) return nullptr;
  return buffers_[static_cast<size_t>(index)];
}

// ------------------------------------------------------------------- lights

void TGL3DScene::RegisterLight(TGLLightSource& light) {
  if (std::find(lights_.begin(), lights_.end(), &light) != lights_.end()) return;
  for (int slot = 0; slot < kSceneLightSlots; ++slot) {
    if (lights_[slot] == nullptr) {
      lights_[slot] = &light;
      light.SetLightID(GL_LIGHT0 + static_cast<uint32_t>(slot));
      return;
    }
  }
}

void TGL3DScene::UnregisterLight(TGLLightSource& light) {
  for (TGLLightSource*& slot : lights_) {
    if (slot == &light) slot = nullptr;
  }
}

void TGL3DScene::RegisterLightsOf(TGLBaseSceneObject& object) {
  if (auto* light = dynamic_cast<TGLLightSource*>(&object)) RegisterLight(*light);
  for (int i = 0; i < object.ChildCount(); ++i) {
    if (TGLBaseSceneObject* child = object.Children(i)) RegisterLightsOf(*child);
  }
}

void TGL3DScene::UnregisterLightsOf(TGLBaseSceneObject& object) {
  if (auto* light = dynamic_cast<TGLLightSource*>(&object)) UnregisterLight(*light);
  for (int i = 0; i < object.ChildCount(); ++i) {
    if (TGLBaseSceneObject* child = object.Children(i)) UnregisterLightsOf(*child);
  }
}

TGLLightSource* TGL3DScene::Light(int slot) const {
  if (slot < 0 || slot >= kSceneLightSlots) return nullptr;
  return lights_[static_cast<size_t>(slot)];
}

void TGL3DScene::SetupLights(int maxLights) {
  const int n = std::min(kSceneLightSlots, maxLights);
  glPushMatrix();
  for (int i = 0; i < n; ++i) {
    TGLLightSource* light = lights_[static_cast<size_t>(i)];
    if (light == nullptr) {
      glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
      continue;
    }
    const GLenum id = light->LightID();
    if (!light->Shining()) {
      glDisable(id);
      continue;
    }
    glEnable(id);
    glPopMatrix();
    glPushMatrix();
    (void)light->LocalMatrix();
    if (light->LightStyle() == TLightStyle::lsParallel) {
      glMultMatrixf(light->AbsoluteMatrix().data());
      glLightfv(id, GL_POSITION, light->SpotDirection().AsAddress());
    } else {
      if (light->Parent() != nullptr) glMultMatrixf(light->Parent()->AbsoluteMatrix().data());
      glLightfv(id, GL_POSITION, light->Position().AsAddress());
    }
    glLightfv(id, GL_AMBIENT, light->Ambient().GetColorAddress());
    glLightfv(id, GL_DIFFUSE, light->Diffuse().GetColorAddress());
    glLightfv(id, GL_SPECULAR, light->Specular().GetColorAddress());
    if (light->LightStyle() == TLightStyle::lsSpot) {
      if (light->SpotCutOff() != 180.0f) {
        glLightfv(id, GL_SPOT_DIRECTION, light->SpotDirection().AsAddress());
        glLightf(id, GL_SPOT_EXPONENT, light->SpotExponent());
      }
      glLightf(id, GL_SPOT_CUTOFF, light->SpotCutOff());
    } else {
      glLightf(id, GL_SPOT_CUTOFF, 180.0f);
    }
    glLightf(id, GL_CONSTANT_ATTENUATION, light->ConstAttenuation());
    glLightf(id, GL_LINEAR_ATTENUATION, light->LinearAttenuation());
    glLightf(id, GL_QUADRATIC_ATTENUATION, light->QuadraticAttenuation());
  }
  glPopMatrix();
  for (int i = n; i < maxLights; ++i) glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
}

// ------------------------------------------------- objects waiting for a context

void TGL3DScene::AddInitializableObject(IGLInitializable& object) {
  pendingObjects_.Add(&object);
}

void TGL3DScene::RemoveInitializableObject(IGLInitializable& object) {
  pendingObjects_.Remove(&object);
}

void TGL3DScene::InitializeObjects(TObject* sender, const TRenderContextInfo& rci) {
  // An object may add or remove others while it initialises: take one at a time.
  while (IGLInitializable* object = pendingObjects_.TakeLast()) object->InitializeObject(sender, rci);
}

// ------------------------------------------------------------------ defaults

void TGL3DScene::SetObjectsSorting(TGLObjectsSorting value) {
  if (value == TGLObjectsSorting::osInherited) value = TGLObjectsSorting::osRenderBlendedLast;
  if (value == objectsSorting_) return;
  objectsSorting_ = value;
  NotifyChange(this);
}

void TGL3DScene::SetVisibilityCulling(TGLVisibilityCulling value) {
  if (value == TGLVisibilityCulling::vcInherited) value = TGLVisibilityCulling::vcNone;
  if (value == visibilityCulling_) return;
  visibilityCulling_ = value;
  NotifyChange(this);
}

void RegisterSceneClasses() {
  RegisterClass(TGL3DScene::StaticClass());
  RegisterClass(TGLCamera::StaticClass());
  RegisterClass(TGLLightSource::StaticClass());
  RegisterClass(TGLProxyObject::StaticClass());
}

// ---- component streams

void TGL3DScene::DefinePublished(TFiler& filer) {
  TGLUpdateAbleComponent::DefinePublished(filer);
  DefineOrdinal(filer, "ObjectsSorting", objectsSorting_, TGLObjectsSorting::osRenderNearestFirst,
                TGLObjectsSorting::osRenderBlendedLast, [this](TGLObjectsSorting v) { SetObjectsSorting(v); });
  DefineOrdinal(filer, "VisibilityCulling", visibilityCulling_, TGLVisibilityCulling::vcHierarchical,
                TGLVisibilityCulling::vcNone, [this](TGLVisibilityCulling v) { SetVisibilityCulling(v); });
}

void TGL3DScene::GetChildren(const TGetChildProc& proc, TComponent* root) { objects_->GetChildren(proc, root); }

void TGL3DScene::SetChildOrder(TComponent& child, int order) {
  if (auto* object = dynamic_cast<TGLBaseSceneObject*>(&child)) object->MoveTo(order);
}

void TGL3DScene::ReadState(TReader& reader) {
  TComponent* const savedRoot = reader.Root();
  if (Owner() != nullptr) reader.SetRoot(Owner());
  struct TRestoreRoot {
    TReader& reader;
    TComponent* root;
    ~TRestoreRoot() { reader.SetRoot(root); }
  } restore{reader, savedRoot};
  TGLUpdateAbleComponent::ReadState(reader);
}

}  // namespace qira

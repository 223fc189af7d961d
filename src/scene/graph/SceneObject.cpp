// Sections:
//   Helpers and hooks
//   Life
//   Notification and time
//   Transform
//   Matrices
//   Tree
//   Boxes and geometry queries
//   Display list and its state recorder
//   Rendering
//   Behaviours and effects
//   Component streams

#include "scene/graph/SceneObject.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

#include "scene/components/ComponentStreams.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/graph/CameraLight.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"
#include "platform/AvailableMemory.h"

namespace qira {

// [SECTION] Helpers and hooks

namespace {

std::function<void(TGLBaseSceneObject&)>& NameChangeHook() {
  static std::function<void(TGLBaseSceneObject&)> hook;
  return hook;
}

bool g_matrixReadBack = false;
uint32_t g_nextPickName = 1;
std::atomic<int64_t> gChildListSteps{0};

// What was given to the renderer since it was last waited for: the one place every
// draw tells (RenderQueueSent, Render) and the one wait.
struct TRenderQueue {
  int objects = 0;       // objects rendered (ObjectsBetweenRenderWaits)
  int64_t vertices = 0;  // vertices sent since the last wait (stretch)
  // The frame's stretch, from the room at its last look, what was sent since, and what
  // may be sent before it looks again.
  int64_t stretch = VerticesInRenderStretch;
  int64_t sinceLook = 0;
  int64_t lookEvery = VerticesInRenderStretch;
  int rendering = 0;     // objects whose Render is under way, the outermost first
  int compiling = 0;     // display lists being compiled: what they send is not queued
  int64_t compiled = 0;  // what the list being compiled sends when it is called
  int64_t told = 0;      // told in all (tests)
  // The fence behind the object's stretch before the last, and that stretch's vertices:
  // what the renderer may still hold of it (WaitForStretchBefore).
  GLsync stretchBefore = nullptr;
  int64_t stretchBeforeVertices = 0;
};
thread_local TRenderQueue t_renderQueue;

std::function<void(int64_t)>& RenderWaitHook() {
  static std::function<void(int64_t)> hook;
  return hook;
}

// The object's draw has ended, or the renderer was waited for: its stretch's fence
// is not waited for.
void DropStretchFence() {
  if (t_renderQueue.stretchBefore != nullptr) glDeleteSync(t_renderQueue.stretchBefore);
  t_renderQueue.stretchBefore = nullptr;
  t_renderQueue.stretchBeforeVertices = 0;
  t_renderQueue.vertices = 0;
}

void WaitForRenderer() {
  if (RenderWaitHook()) RenderWaitHook()(t_renderQueue.vertices);
  t_renderQueue.objects = 0;
  DropStretchFence();
  glFinish();
}

// Inside one object's draw the frame waits only for the stretch before the one just
// sent, so the renderer draws that one while the next is sent: at most two stretches
// queued, and a frame of one large object as fast as with no wait. A context with no
// fences waits for all.
void WaitForStretchBefore() {
  if (!GL.VERSION_3_2 && !GL.ARB_sync) return WaitForRenderer();
  TRenderQueue& queue = t_renderQueue;
  if (RenderWaitHook()) RenderWaitHook()(queue.stretchBeforeVertices + queue.vertices);
  const GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  if (fence == nullptr) return WaitForRenderer();
  const GLsync before = std::exchange(queue.stretchBefore, fence);
  queue.stretchBeforeVertices = std::exchange(queue.vertices, 0);
  if (before == nullptr) return;
  constexpr GLuint64 kSecond = 1000000000;
  GLenum waited = GL_TIMEOUT_EXPIRED;
  while (waited == GL_TIMEOUT_EXPIRED) waited = glClientWaitSync(before, GL_SYNC_FLUSH_COMMANDS_BIT, kSecond);
  glDeleteSync(before);
  if (waited == GL_WAIT_FAILED) WaitForRenderer();
}

// The stretch follows the room the frame meets now (RenderStretchVertices). The next
// look comes after the least stretch, or an eighth of a longer one: what the queue
// may grow by unlooked stays a small share of the room.
void LookAtRenderRoom() {
  TRenderQueue& queue = t_renderQueue;
  queue.stretch = RenderStretchVertices(AvailableMemory());
  queue.lookEvery = std::max(VerticesInRenderStretch, queue.stretch / 8);
  queue.sinceLook = 0;
}

// A display list's compile: what its draws send is kept for its calls.
class TListCompile {
 public:
  TListCompile() : outer_(t_renderQueue.compiled) {
    ++t_renderQueue.compiling;
    t_renderQueue.compiled = 0;
  }
  ~TListCompile() {
    --t_renderQueue.compiling;
    t_renderQueue.compiled = outer_;
  }
  TListCompile(const TListCompile&) = delete;
  TListCompile& operator=(const TListCompile&) = delete;
  int64_t Sent() const { return t_renderQueue.compiled; }

 private:
  int64_t outer_;
};

// True when the object's class or one of its ancestors has that name. Lets
// the base recognise the root and cameras without depending on their unit.
bool IsOfClassNamed(const TObject& object, const char* name) {
  for (const TClassInfo* c = &object.ClassType(); c != nullptr; c = c->ClassParent()) {
    if (std::strcmp(c->ClassName(), name) == 0) return true;
  }
  return false;
}

bool IsSceneRoot(const TGLBaseSceneObject* node) {
  return node != nullptr && IsOfClassNamed(*node, "TGL3DSceneRootObject");
}

bool IsCamera(const TGLBaseSceneObject& node) { return IsOfClassNamed(node, "TGLCamera"); }

THmgBoundingBox NullBox() {
  THmgBoundingBox box;
  for (TVector& corner : box.bbox) corner = NullHmgPoint;
  return box;
}

bool IsNullBox(const THmgBoundingBox& box) { return BoxesEqual(box, NullBox()); }

TAffineVector Affine(const TVector& v) { return {v.x, v.y, v.z}; }

bool Finite(const TAffineVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The right axis for the orthogonality rule: direction x up, or one of the
// two fixed fallbacks when direction and up are (nearly) parallel.
TAffineVector RightAxis(const TAffineVector& direction, const TAffineVector& up) {
  TAffineVector right = AffineVectorCrossProduct(direction, up);
  if (AffineVectorLength(right) < 1e-5f) {
    right = AffineVectorCrossProduct(ZVector, up);
    if (AffineVectorLength(right) < 1e-5f) right = AffineVectorCrossProduct(XVector, up);
  }
  return right;
}

bool SphereClipped(const TVector& center, float radius, const TRenderContextInfo& rci) {
  return SphereOutsideFrustum(center, radius, rci.rcci.frustum);
}

}  // namespace

void SetSceneObjectNameChangeHook(std::function<void(TGLBaseSceneObject&)> hook) {
  NameChangeHook() = std::move(hook);
}

void SetSceneObjectMatrixSaving(bool readBack) { g_matrixReadBack = readBack; }

int64_t ChildListStepsForTesting() { return gChildListSteps.load(); }

// [SECTION] Life

TGLBaseSceneObject::TGLBaseSceneObject()
    : localMatrix_(IdentityHmgMatrix),
      absoluteMatrix_(IdentityHmgMatrix),
      invAbsoluteMatrix_(IdentityHmgMatrix),
      position_(std::make_unique<TGLCoordinates3>(this, NullHmgPoint, TGLCoordinatesStyle::cstPoint)),
      direction_(std::make_unique<TGLCoordinates3>(this, ZHmgVector, TGLCoordinatesStyle::cstVector)),
      up_(std::make_unique<TGLCoordinates3>(this, YHmgVector, TGLCoordinatesStyle::cstVector)),
      scale_(std::make_unique<TGLCoordinates3>(this, XYZHmgVector, TGLCoordinatesStyle::cstVector)),
      rotation_(std::make_unique<TGLCoordinates3>(this, NullHmgVector, TGLCoordinatesStyle::cstVector)),
      changes_({TGLObjectChange::LocalMatrixStale, TGLObjectChange::AbsoluteMatrixStale,
                TGLObjectChange::InverseMatrixStale, TGLObjectChange::ListStale}),
      boxChanges_({TGLBoxChange::ChildrenBoxStale, TGLBoxChange::OwnBoxStale}),
      ownBox_(NullBox()),
      childrenBox_(NullBox()),
      combinedBox_(NullBox()),
      pickName_(g_nextPickName++) {}

TGLBaseSceneObject::~TGLBaseSceneObject() {
  Destroying();
  RemoveCamerasOfSubtree();
  if (parent_ != nullptr) parent_->Remove(*this, false);
  DeleteChildren();
  // The list handle, the coordinates and the extension lists go with the members.
}

void TGLBaseSceneObject::Assign(const TPersistent* source) {
  const auto* src = dynamic_cast<const TGLBaseSceneObject*>(source);
  if (src == nullptr) {
    TGLCoordinatesUpdateAbleComponent::Assign(source);
    return;
  }
  if (src == this) return;
  DestroyHandles();
  visible_ = src->visible_;
  SetMatrix(src->LocalMatrix());
  showAxes_ = src->showAxes_;
  objectsSorting_ = src->objectsSorting_;
  visibilityCulling_ = src->visibilityCulling_;
  rotation_->SetDirectVector(src->rotation_->AsVector());
  DeleteChildren();
  if (scene_ != nullptr) scene_->BeginUpdate();
  try {
    for (TGLBaseSceneObject* child : src->ChildList()) {
      AddNewChild(child->ClassType()).Assign(child);
    }
  } catch (...) {
    if (scene_ != nullptr) scene_->EndUpdate();
    throw;
  }
  if (scene_ != nullptr) scene_->EndUpdate();
  OnProgress = src->OnProgress;
  if (src->behaviours_ != nullptr) {
    Behaviours().Assign(src->behaviours_.get());
  } else {
    behaviours_.reset();
  }
  if (src->effects_ != nullptr) {
    Effects().Assign(src->effects_.get());
  } else {
    effects_.reset();
  }
  Tag = src->Tag;
  TagFloat = src->TagFloat;
}

void TGLBaseSceneObject::Loaded() {
  TGLCoordinatesUpdateAbleComponent::Loaded();
  position_->SetCoordinate(3, 1.0f);
  if (behaviours_ != nullptr) behaviours_->Loaded();
  if (effects_ != nullptr) effects_->Loaded();
}

void TGLBaseSceneObject::SetName(const std::string& name) {
  if (name == Name()) return;
  TGLCoordinatesUpdateAbleComponent::SetName(name);
  if (NameChangeHook()) NameChangeHook()(*this);
}

// [SECTION] Notification and time

void TGLBaseSceneObject::DoProgress(const TProgressTimes& progressTimes) {
  for (int i = ChildCount() - 1; i >= 0; --i) {
    if (i < ChildCount()) Children(i)->DoProgress(progressTimes);
  }
  if (behaviours_ != nullptr) behaviours_->DoProgress(progressTimes);
  if (effects_ != nullptr) effects_->DoProgress(progressTimes);
  if (OnProgress) OnProgress(this, progressTimes.deltaTime, progressTimes.newTime);
}

void TGLBaseSceneObject::NotifyChange(TObject* sender) {
  (void)sender;
  if (scene_ == nullptr || UpdateCount() > 0 || IsReading() || IsDestroying()) return;
  scene_->NotifyChange(this);
}

void TGLBaseSceneObject::BeginUpdate() { TGLCoordinatesUpdateAbleComponent::BeginUpdate(); }

void TGLBaseSceneObject::EndUpdate() { TGLCoordinatesUpdateAbleComponent::EndUpdate(); }

void TGLBaseSceneObject::StructureChanged() {
  // The geometry may have changed size: a node drawn without a list of its
  // own never rebuilds one, so its cached box is dropped here.
  MarkOwnBoxStale();
  if (!changes_.Contains(TGLObjectChange::ListStale)) {
    changes_.Include(TGLObjectChange::ListStale);
    NotifyChange(this);
  } else if (objectStyle_.Contains(TGLObjectStyle::DirectDraw)) {
    NotifyChange(this);
  }
}

void TGLBaseSceneObject::TransformationChanged() {
  if (changes_.Contains(TGLObjectChange::LocalMatrixStale)) return;
  changes_.Include(TGLObjectChange::LocalMatrixStale);
  // The parent's cached box of its children holds this node where it was.
  // (While the flag was set no box can have been built from the old matrix:
  // reading it rebuilds it and clears the flag.)
  if (parent_ != nullptr) parent_->MarkChildrenBoxStale();
  // The stale marks stop at subtrees already marked: nothing below such a
  // node can have been rebuilt since it was marked.
  struct Marker {
    static void Mark(TGLBaseSceneObject& node, bool force) {
      const bool both = node.changes_.Contains(TGLObjectChange::AbsoluteMatrixStale) &&
                        node.changes_.Contains(TGLObjectChange::InverseMatrixStale);
      if (both && !force) return;
      node.changes_.Include(TGLObjectChange::AbsoluteMatrixStale);
      node.changes_.Include(TGLObjectChange::InverseMatrixStale);
      for (TGLBaseSceneObject* child : node.ChildList()) Mark(*child, false);
    }
  };
  Marker::Mark(*this, true);
  if (!IsLoading()) NotifyChange(this);
}

// [SECTION] Transform

void TGLBaseSceneObject::CoordinateChanged(TGLCustomCoordinates* sender) {
  if (calculating_) return;
  calculating_ = true;
  if (sender == direction_.get()) {
    if (direction_->VectorLength() == 0.0f) direction_->SetDirectVector(ZHmgVector);
    TAffineVector dir = AffineVectorNormalize(direction_->AsAffineVector());
    direction_->SetDirectVector(VectorMakeDirection(dir));
    TAffineVector right = RightAxis(dir, up_->AsAffineVector());
    up_->SetDirectVector(VectorMakeDirection(AffineVectorNormalize(AffineVectorCrossProduct(right, dir))));
  } else if (sender == up_.get()) {
    if (up_->VectorLength() == 0.0f) up_->SetDirectVector(YHmgVector);
    TAffineVector up = AffineVectorNormalize(up_->AsAffineVector());
    up_->SetDirectVector(VectorMakeDirection(up));
    TAffineVector right = RightAxis(direction_->AsAffineVector(), up);
    direction_->SetDirectVector(VectorMakeDirection(AffineVectorNormalize(AffineVectorCrossProduct(up, right))));
  }
  // A change of the scale or the position needs no adjustment. Rotation is
  // written without notification by the angle setters.
  if (sender != rotation_.get()) TransformationChanged();
  calculating_ = false;
}

void TGLBaseSceneObject::SetPosition(const TGLCoordinates3& value) {
  position_->SetAsVector(value.AsVector());
}

void TGLBaseSceneObject::SetDirection(const TGLCoordinates3& value) {
  if (value.X() == 0.0f && value.Y() == 0.0f && value.Z() == 0.0f) return;
  direction_->SetAsVector(value.AsVector());
}

void TGLBaseSceneObject::SetUp(const TGLCoordinates3& value) {
  if (value.X() == 0.0f && value.Y() == 0.0f && value.Z() == 0.0f) return;
  up_->SetAsVector(value.AsVector());
}

void TGLBaseSceneObject::SetScale(const TGLCoordinates3& value) {
  scale_->SetAsVector(value.AsVector());
  TransformationChanged();
}

void TGLBaseSceneObject::SetPitchAngle(float value) { SetAngle(0, value); }
void TGLBaseSceneObject::SetTurnAngle(float value) { SetAngle(1, value); }
void TGLBaseSceneObject::SetRollAngle(float value) { SetAngle(2, value); }

void TGLBaseSceneObject::SetAngle(int index, float value) {
  TVector stored = rotation_->AsVector();
  if (value == stored[static_cast<size_t>(index)]) return;
  if (!IsLoading()) {
    TAffineVector axis;
    switch (index) {
      case 0:
        axis = AffineVectorCrossProduct(direction_->AsAffineVector(), up_->AsAffineVector());
        break;
      case 1:
        axis = up_->AsAffineVector();
        break;
      default:
        axis = direction_->AsAffineVector();
        break;
    }
    RotateAboutAxis(axis, stored[static_cast<size_t>(index)] - value);
  }
  // The stored angle is normalised into (-180, 180].
  float v = value - static_cast<float>(IntPart(value / 360.0f)) * 360.0f;
  if (v > 180.0f) v -= 360.0f;
  if (v < -180.0f) v += 360.0f;
  stored[static_cast<size_t>(index)] = v;
  rotation_->SetDirectVector(stored);
}

void TGLBaseSceneObject::RotateAboutAxis(const TAffineVector& axis, float angleDegreesDelta) {
  calculating_ = true;
  TMatrix r = CreateRotationMatrix(AffineVectorNormalize(axis), DegToRad(angleDegreesDelta));
  up_->SetDirectVector(VectorMakeDirection(AffineVectorNormalize(Affine(VectorTransform(up_->AsVector(), r)))));
  direction_->SetDirectVector(
      VectorMakeDirection(AffineVectorNormalize(Affine(VectorTransform(direction_->AsVector(), r)))));
  TransformationChanged();
  calculating_ = false;
}

void TGLBaseSceneObject::PointTo(const TVector& targetPosition, const TVector& upVector) {
  const TAffineVector from = GetAbsoluteAffinePosition();
  TAffineVector dir = AffineVectorSubtract(Affine(targetPosition), from);
  // Degenerate requests keep the previous orientation instead of feeding
  // NaN into every matrix below this node.
  if (!Finite(dir) || AffineVectorLength(dir) == 0.0f) return;
  NormalizeAffineVector(dir);
  TAffineVector right = AffineVectorCrossProduct(dir, Affine(upVector));
  const float rightLength = AffineVectorLength(right);
  if (!std::isfinite(rightLength) || rightLength < 1e-5f) return;
  ScaleAffineVector(right, 1.0f / rightLength);
  const TAffineVector newUp = AffineVectorCrossProduct(right, dir);
  TVector d = VectorMakeDirection(dir);
  TVector u = VectorMakeDirection(newUp);
  if (parent_ != nullptr) {
    d = parent_->AbsoluteToLocal(d);
    u = parent_->AbsoluteToLocal(u);
  }
  direction_->SetVector(d.x, d.y, d.z);
  up_->SetVector(u.x, u.y, u.z);
  TransformationChanged();
}

void TGLBaseSceneObject::PointToObject(const TGLBaseSceneObject& object, const TVector& upVector) {
  PointTo(object.GetAbsolutePosition(), upVector);
}

// [SECTION] Matrices

void TGLBaseSceneObject::RebuildMatrix() const {
  if (!changes_.Contains(TGLObjectChange::LocalMatrixStale)) return;
  const TAffineVector up = up_->AsAffineVector();
  const TAffineVector dir = direction_->AsAffineVector();
  TAffineVector right = AffineVectorCrossProduct(up, dir);
  localMatrix_[0] = VectorMakeDirection(AffineVectorScale(right, scale_->X()));
  localMatrix_[1] = VectorMakeDirection(AffineVectorScale(up, scale_->Y()));
  localMatrix_[2] = VectorMakeDirection(AffineVectorScale(dir, scale_->Z()));
  localMatrix_[3] = position_->AsVector();
  changes_.Exclude(TGLObjectChange::LocalMatrixStale);
  changes_.Include(TGLObjectChange::AbsoluteMatrixStale);
  changes_.Include(TGLObjectChange::InverseMatrixStale);
}

const TMatrix& TGLBaseSceneObject::LocalMatrix() const {
  RebuildMatrix();
  return localMatrix_;
}

const TMatrix& TGLBaseSceneObject::AbsoluteMatrix() const {
  RebuildMatrix();
  if (changes_.Contains(TGLObjectChange::AbsoluteMatrixStale)) {
    if (parent_ != nullptr && !IsSceneRoot(parent_)) {
      absoluteMatrix_ = MatrixMultiply(localMatrix_, parent_->AbsoluteMatrix());
    } else {
      absoluteMatrix_ = localMatrix_;
    }
    changes_.Exclude(TGLObjectChange::AbsoluteMatrixStale);
    changes_.Include(TGLObjectChange::InverseMatrixStale);
  }
  return absoluteMatrix_;
}

const TMatrix& TGLBaseSceneObject::InvAbsoluteMatrix() const {
  RebuildMatrix();
  if (changes_.Contains(TGLObjectChange::InverseMatrixStale)) {
    if (scale_->Equals(XYZHmgVector)) {
      // Rigid: transposed rotation, translation carried back.
      TMatrix inv = IdentityHmgMatrix;
      for (size_t i = 0; i < 3; ++i) {
        for (size_t j = 0; j < 3; ++j) inv[i][j] = localMatrix_[j][i];
      }
      const TVector& t = localMatrix_[3];
      for (size_t j = 0; j < 3; ++j) inv[3][j] = -(t.x * inv[0][j] + t.y * inv[1][j] + t.z * inv[2][j]);
      if (parent_ != nullptr && !IsSceneRoot(parent_)) {
        invAbsoluteMatrix_ = MatrixMultiply(parent_->InvAbsoluteMatrix(), inv);
      } else {
        invAbsoluteMatrix_ = inv;
      }
    } else {
      TMatrix m = AbsoluteMatrix();
      InvertMatrix(m);
      invAbsoluteMatrix_ = m;
    }
    changes_.Exclude(TGLObjectChange::InverseMatrixStale);
  }
  return invAbsoluteMatrix_;
}

void TGLBaseSceneObject::SetMatrix(const TMatrix& m) {
  localMatrix_ = m;
  calculating_ = true;
  direction_->SetDirectVector(VectorMakeDirection(AffineVectorNormalize(Affine(m[2]))));
  up_->SetDirectVector(VectorMakeDirection(AffineVectorNormalize(Affine(m[1]))));
  scale_->SetDirectVector(VectorMake(AffineVectorLength(Affine(m[0])), AffineVectorLength(Affine(m[1])),
                                     AffineVectorLength(Affine(m[2])), 0.0f));
  position_->SetDirectVector(m[3]);
  calculating_ = false;
  TransformationChanged();
}

TVector TGLBaseSceneObject::GetAbsolutePosition() const { return AbsoluteMatrix()[3]; }

TAffineVector TGLBaseSceneObject::GetAbsoluteAffinePosition() const { return Affine(AbsoluteMatrix()[3]); }

TVector TGLBaseSceneObject::GetAbsoluteDirection() const {
  return VectorMakeDirection(AffineVectorNormalize(Affine(AbsoluteMatrix()[2])));
}

TVector TGLBaseSceneObject::GetAbsoluteUp() const {
  return VectorMakeDirection(AffineVectorNormalize(Affine(AbsoluteMatrix()[1])));
}

TVector TGLBaseSceneObject::AbsoluteToLocal(const TVector& v) const {
  return VectorTransform(v, InvAbsoluteMatrix());
}

TVector TGLBaseSceneObject::LocalToAbsolute(const TVector& v) const {
  return VectorTransform(v, AbsoluteMatrix());
}

// [SECTION] Tree

TGLBaseSceneObject* TGLBaseSceneObject::Children(int index) const {
  if (index < 0 || index >= ChildCount()) return nullptr;
  return ChildList()[static_cast<size_t>(index)];
}

int TGLBaseSceneObject::Index() const {
  if (parent_ == nullptr) return -1;
  parent_->CompactChildren();
  return parent_->ChildPosition(*this);
}

int TGLBaseSceneObject::ChildPosition(const TGLBaseSceneObject& child) const {
  // A child is held at its slot: found at once wherever it stands.
  gChildListSteps.fetch_add(1, std::memory_order_relaxed);
  return child.parent_ == this ? static_cast<int>(child.parentSlot_) : -1;
}

void TGLBaseSceneObject::CompactChildren() const {
  if (childGaps_ == 0) return;
  size_t kept = 0;
  for (TGLBaseSceneObject* child : children_) {
    if (child == nullptr) continue;
    child->parentSlot_ = kept;
    children_[kept++] = child;
  }
  gChildListSteps.fetch_add(static_cast<int64_t>(children_.size()), std::memory_order_relaxed);
  children_.resize(kept);
  childGaps_ = 0;
}

void TGLBaseSceneObject::SetScene(TGL3DScene* scene) {
  if (scene == scene_) return;
  if (scene_ != nullptr) DestroyHandles();
  scene_ = scene;
  for (TGLBaseSceneObject* child : ChildList()) child->SetScene(scene);
}

void TGLBaseSceneObject::SetVisible(bool value) {
  if (visible_ == value) return;
  visible_ = value;
  NotifyChange(this);
}

void TGLBaseSceneObject::SetShowAxes(bool value) {
  if (showAxes_ == value) return;
  showAxes_ = value;
  NotifyChange(this);
}

void TGLBaseSceneObject::SetObjectsSorting(TGLObjectsSorting value) {
  if (objectsSorting_ == value) return;
  objectsSorting_ = value;
  NotifyChange(this);
}

void TGLBaseSceneObject::SetVisibilityCulling(TGLVisibilityCulling value) {
  if (visibilityCulling_ == value) return;
  visibilityCulling_ = value;
  NotifyChange(this);
}

void TGLBaseSceneObject::DoOnAddedToParent() {
  if (OnAddedToParent) OnAddedToParent(this);
}

void TGLBaseSceneObject::AddChild(TGLBaseSceneObject& child) {
  if (&child == this || child.parent_ != nullptr) {
    throw EConvertError(std::string("Cannot assign a ") + child.ClassName() + " to a " + ClassName());
  }
  // A node without owner joins the tree owned by its new parent, so that
  // every node in a tree has exactly one owner that frees it.
  if (child.Owner() == nullptr) InsertComponent(std::unique_ptr<TComponent>(&child));
  if (scene_ != nullptr) scene_->RegisterLightsOf(child);
  hasChildList_ = true;
  child.parentSlot_ = children_.size();
  children_.push_back(&child);
  child.parent_ = this;
  child.SetScene(scene_);
  TransformationChanged();
  child.TransformationChanged();
  child.DoOnAddedToParent();
  MarkChildrenBoxStale();
}

TGLBaseSceneObject& TGLBaseSceneObject::AddNewChild(const TClassInfo& cls) {
  TGLBaseSceneObject& child = CreateChildOf(cls);
  AddChild(child);
  return child;
}

TGLBaseSceneObject& TGLBaseSceneObject::AddNewChildFirst(const TClassInfo& cls) {
  TGLBaseSceneObject& child = CreateChildOf(cls);
  Insert(0, child);
  return child;
}

TGLBaseSceneObject& TGLBaseSceneObject::CreateChildOf(const TClassInfo& cls) {
  std::unique_ptr<TObject> made =
      cls.InheritsFrom(TGLBaseSceneObject::StaticClass()) ? cls.CreateInstance() : nullptr;
  auto* node = dynamic_cast<TGLBaseSceneObject*>(made.get());
  if (node == nullptr) {
    throw EConvertError(std::string("Cannot assign a ") + cls.ClassName() + " to a " + ClassName());
  }
  made.release();
  TComponent* owner = Owner() != nullptr ? Owner() : this;
  owner->InsertComponent(std::unique_ptr<TComponent>(node));
  return *node;
}

void TGLBaseSceneObject::Insert(int index, TGLBaseSceneObject& child) {
  if (&child == this) return;
  hasChildList_ = true;
  if (child.parent_ != nullptr) child.parent_->Remove(child, false);
  if (child.Owner() == nullptr) InsertComponent(std::unique_ptr<TComponent>(&child));
  index = std::clamp(index, 0, ChildCount());
  CompactChildren();
  children_.insert(children_.begin() + index, &child);
  for (size_t i = static_cast<size_t>(index); i < children_.size(); ++i) children_[i]->parentSlot_ = i;
  child.parent_ = this;
  if (child.scene_ != scene_) child.DestroyHandles();
  child.SetScene(scene_);
  if (scene_ != nullptr) scene_->RegisterLightsOf(child);
  child.TransformationChanged();
  child.DoOnAddedToParent();
  MarkChildrenBoxStale();
}

void TGLBaseSceneObject::RemoveChildFromList(int position) {
  TGLBaseSceneObject* child = children_[static_cast<size_t>(position)];
  children_[static_cast<size_t>(position)] = nullptr;
  ++childGaps_;
  while (!children_.empty() && children_.back() == nullptr) {
    children_.pop_back();
    --childGaps_;
  }
  if (childGaps_ > children_.size() - childGaps_) CompactChildren();
  child->parent_ = nullptr;
  MarkChildrenBoxStale();
}

void TGLBaseSceneObject::Remove(TGLBaseSceneObject& child, bool keepChildren) {
  const int position = ChildPosition(child);
  if (position < 0) return;
  if (scene_ != nullptr) scene_->UnregisterLightsOf(child);
  // The child stays owned by its owner (it is not freed here).
  RemoveChildFromList(position);
  child.TransformationChanged();
  if (keepChildren) {
    BeginUpdate();
    for (int i = child.ChildCount() - 1; i >= 0; --i) {
      TGLBaseSceneObject* grandChild = child.Children(i);
      if (!grandChild->IsSubComponent()) grandChild->SetParent(this);
    }
    EndUpdate();
  } else {
    NotifyChange(this);
  }
}

void TGLBaseSceneObject::SetParent(TGLBaseSceneObject* newParent) {
  if (newParent == parent_) return;
  if (parent_ != nullptr) parent_->Remove(*this, false);
  if (newParent != nullptr) {
    newParent->AddChild(*this);
  } else {
    SetScene(nullptr);
  }
}

void TGLBaseSceneObject::MoveTo(int index) {
  if (parent_ == nullptr) return;
  index = std::clamp(index, 0, parent_->ChildCount() - 1);
  if (index == Index()) return;
  TGLBaseSceneObject* parent = parent_;
  TGL3DScene* scene = scene_;
  if (scene != nullptr) scene->BeginUpdate();
  parent->Remove(*this, false);
  parent->Insert(index, *this);
  if (scene != nullptr) scene->EndUpdate();
}

void TGLBaseSceneObject::FreeChild(TGLBaseSceneObject& child) {
  if (child.Owner() != nullptr) {
    child.Owner()->DestroyComponent(child);
  } else {
    delete &child;
  }
}

void TGLBaseSceneObject::RemoveCamerasOfSubtree() {
  for (int i = ChildCount() - 1; i >= 0; --i) {
    if (i >= ChildCount()) continue;
    TGLBaseSceneObject* child = Children(i);
    child->RemoveCamerasOfSubtree();
    if (IsCamera(*child)) {
      Remove(*child, true);
      FreeChild(*child);
    }
  }
}

void TGLBaseSceneObject::DeleteChildren() {
  RemoveCamerasOfSubtree();
  if (scene_ != nullptr) {
    for (TGLBaseSceneObject* child : ChildList()) scene_->UnregisterLightsOf(*child);
  }
  // Gaps never stand at the back: the last is always a child.
  while (!children_.empty()) {
    TGLBaseSceneObject* child = children_.back();
    children_.pop_back();
    while (!children_.empty() && children_.back() == nullptr) {
      children_.pop_back();
      --childGaps_;
    }
    child->parent_ = nullptr;
    FreeChild(*child);
  }
  MarkChildrenBoxStale();
}

// [SECTION] Boxes and geometry queries

void TGLBaseSceneObject::SetBoxChanges(TGLBoxChanges value) const {
  if (value == boxChanges_) return;
  boxChanges_ = value;
  if (parent_ != nullptr) parent_->MarkChildrenBoxStale();
}

void TGLBaseSceneObject::MarkOwnBoxStale() const {
  TGLBoxChanges v = boxChanges_;
  v.Include(TGLBoxChange::OwnBoxStale);
  SetBoxChanges(v);
}

void TGLBaseSceneObject::MarkChildrenBoxStale() const {
  TGLBoxChanges v = boxChanges_;
  v.Include(TGLBoxChange::ChildrenBoxStale);
  SetBoxChanges(v);
}

TVector TGLBaseSceneObject::AxisAlignedDimensionsUnscaled() const { return {0.5f, 0.5f, 0.5f, 0.0f}; }

TVector TGLBaseSceneObject::AxisAlignedDimensions() const {
  TVector d = AxisAlignedDimensionsUnscaled();
  d.x *= scale_->X();
  d.y *= scale_->Y();
  d.z *= scale_->Z();
  return d;
}

float TGLBaseSceneObject::BoundingSphereRadius() const { return AffineVectorLength(AxisAlignedDimensions()); }

float TGLBaseSceneObject::BoundingSphereRadiusUnscaled() const {
  return AffineVectorLength(AxisAlignedDimensionsUnscaled());
}

TVector TGLBaseSceneObject::BarycenterAbsolutePosition() const { return GetAbsolutePosition(); }

float TGLBaseSceneObject::BarycenterSqrDistanceTo(const TVector& point) const {
  return VectorDistance2(Affine(BarycenterAbsolutePosition()), Affine(point));
}

THmgBoundingBox TGLBaseSceneObject::BoundingBox() const {
  TAABB aabb;
  AxisBoxFromHalfSize(aabb, Affine(AxisAlignedDimensionsUnscaled()));
  THmgBoundingBox box = AxisBoxToBox(aabb);
  // The barycenter (absolute) taken into local coordinates.
  const TVector b = AbsoluteToLocal(BarycenterAbsolutePosition());
  OffsetBox(box, Affine(b));
  return box;
}

THmgBoundingBox TGLBaseSceneObject::BoundingBoxIncludingChildren() const {
  if (boxChanges_.Contains(TGLBoxChange::OwnBoxStale)) {
    ownBox_ = BoundingBox();
    boxChanges_.Exclude(TGLBoxChange::OwnBoxStale);
  }
  if (boxChanges_.Contains(TGLBoxChange::ChildrenBoxStale)) {
    childrenBox_ = NullBox();
    bool empty = true;
    for (TGLBaseSceneObject* child : ChildList()) {
      THmgBoundingBox childBox = child->BoundingBoxIncludingChildren();
      if (IsNullBox(childBox)) continue;
      TransformBox(childBox, child->LocalMatrix());
      if (empty) {
        childrenBox_ = childBox;
        empty = false;
      } else {
        GrowBox(childrenBox_, childBox);
      }
    }
    boxChanges_.Exclude(TGLBoxChange::ChildrenBoxStale);
  }
  if (IsNullBox(ownBox_)) {
    combinedBox_ = childrenBox_;
  } else {
    combinedBox_ = ownBox_;
    if (!IsNullBox(childrenBox_)) GrowBox(combinedBox_, childrenBox_);
  }
  return combinedBox_;
}

TAABB TGLBaseSceneObject::AxisAlignedBoundingBoxUnscaled(bool includeChildren) const {
  TAABB box;
  AxisBoxFromHalfSize(box, Affine(AxisAlignedDimensionsUnscaled()));
  if (includeChildren) {
    for (TGLBaseSceneObject* child : ChildList()) {
      TAABB childBox = child->AxisAlignedBoundingBoxUnscaled(true);
      TransformAxisBox(childBox, child->LocalMatrix());
      GrowAxisBox(box, childBox);
    }
  }
  return box;
}

TAABB TGLBaseSceneObject::AxisAlignedBoundingBox(bool includeChildren) const {
  TAABB box = AxisAlignedBoundingBoxUnscaled(includeChildren);
  ScaleAxisBox(box, scale_->AsAffineVector());
  return box;
}

TAABB TGLBaseSceneObject::AbsoluteAABB() const {
  TAABB box = BoxToAxisBox(BoundingBoxIncludingChildren());
  TransformAxisBox(box, AbsoluteMatrix());
  return box;
}

bool TGLBaseSceneObject::PointInObject(const TVector& point) const {
  const TVector local = AbsoluteToLocal(point);
  const TVector dims = AxisAlignedDimensions();
  for (size_t i = 0; i < 3; ++i) {
    if (std::fabs(local[i] * scale_->AsVector()[i]) > dims[i]) return false;
  }
  return true;
}

bool TGLBaseSceneObject::RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                          TVector* intersectPoint, TVector* intersectNormal) const {
  const TVector center = GetAbsolutePosition();
  TVector nearHit, farHit;
  if (RayCastSphereIntersect(rayStart, rayVector, center, BoundingSphereRadius(), nearHit, farHit) <= 0) {
    return false;
  }
  if (intersectPoint != nullptr) *intersectPoint = nearHit;
  if (intersectNormal != nullptr) {
    *intersectNormal = VectorMakeDirection(AffineVectorNormalize(AffineVectorSubtract(Affine(nearHit), Affine(center))));
  }
  return true;
}

std::unique_ptr<TGLSilhouette> TGLBaseSceneObject::GenerateSilhouette(const TGLSilhouetteParameters& parameters) const {
  constexpr int kSegments = 21;
  const float r = BoundingSphereRadiusUnscaled();
  const float d = AffineVectorLength(parameters.SeedVector);
  float radius = r;
  if (parameters.Style != TGLSilhouetteStyle::ssParallel) {
    // Radius of the visible disc seen from distance d.
    radius = SphereApparentRadius(d, r);
  }
  TAffineVector a = AffineVectorCrossProduct(parameters.SeedVector, XVector);
  if (AffineVectorLength(a) < 0.001f) a = AffineVectorCrossProduct(parameters.SeedVector, YVector);
  TAffineVector b = AffineVectorCrossProduct(parameters.SeedVector, a);
  NormalizeAffineVector(a);
  NormalizeAffineVector(b);
  radius *= 0.98f;
  auto silhouette = std::make_unique<TGLSilhouette>();
  for (int i = 0; i < kSegments; ++i) {
    const float angle = static_cast<float>(i) * (c2PI / kSegments);
    const float s = std::sin(angle);
    const float c = std::cos(angle);
    TAffineVector v = AffineVectorCombine(a, b, radius * s, radius * c);
    silhouette->Vertices.Add(PointMakeFromAffine(v));
    silhouette->Indices.Add(i);
    silhouette->Indices.Add((i + 1) % kSegments);
    if (parameters.CappingRequired) {
      silhouette->CapIndices.Add(kSegments);
      silhouette->CapIndices.Add(i);
      silhouette->CapIndices.Add((i + 1) % kSegments);
    }
  }
  if (parameters.CappingRequired) silhouette->Vertices.Add(NullHmgPoint);
  return silhouette;
}

// [SECTION] Display list and its state recorder

namespace {

// While a node's list is compiled, the OpenGL calls that change state the
// render context's cache mirrors are recorded (and passed on), so that after
// each replay of the list the cache can be brought back in step: the cache
// saw those calls once, at compile time, when OpenGL did not execute them,
// and does not see them at all when the list is replayed.
struct TListStateRecord {
  uint32_t mask = 0;    // TGLState bits the list switches
  uint32_t values = 0;  // their values at the end of the list
  int8_t frontFaceCCW = -1;
  bool material = false;
  bool polygonMode = false;
  bool textures = false;
};

TListStateRecord* g_record = nullptr;

struct TSavedEntryPoints {
  decltype(glEnable) enable;
  decltype(glDisable) disable;
  decltype(glMaterialf) materialf;
  decltype(glMaterialfv) materialfv;
  decltype(glMateriali) materiali;
  decltype(glMaterialiv) materialiv;
  decltype(glColorMaterial) colorMaterial;
  decltype(glPolygonMode) polygonMode;
  decltype(glBindTexture) bindTexture;
  decltype(glFrontFace) frontFace;
};
TSavedEntryPoints g_saved{};

void RecordCapability(GLenum capability, bool on) {
  for (int i = 0; i < kGLStateCount; ++i) {
    if (GLStateCapability(static_cast<TGLState>(i)) != capability) continue;
    const uint32_t bit = uint32_t{1} << i;
    g_record->mask |= bit;
    if (on) {
      g_record->values |= bit;
    } else {
      g_record->values &= ~bit;
    }
  }
  if (capability == GL_COLOR_MATERIAL) g_record->material = true;
}

void APIENTRY RecEnable(GLenum cap) {
  RecordCapability(cap, true);
  g_saved.enable(cap);
}
void APIENTRY RecDisable(GLenum cap) {
  RecordCapability(cap, false);
  g_saved.disable(cap);
}
void APIENTRY RecMaterialf(GLenum face, GLenum name, GLfloat v) {
  g_record->material = true;
  g_saved.materialf(face, name, v);
}
void APIENTRY RecMaterialfv(GLenum face, GLenum name, const GLfloat* v) {
  g_record->material = true;
  g_saved.materialfv(face, name, v);
}
void APIENTRY RecMateriali(GLenum face, GLenum name, GLint v) {
  g_record->material = true;
  g_saved.materiali(face, name, v);
}
void APIENTRY RecMaterialiv(GLenum face, GLenum name, const GLint* v) {
  g_record->material = true;
  g_saved.materialiv(face, name, v);
}
void APIENTRY RecColorMaterial(GLenum face, GLenum mode) {
  g_record->material = true;
  g_saved.colorMaterial(face, mode);
}
void APIENTRY RecPolygonMode(GLenum face, GLenum mode) {
  g_record->polygonMode = true;
  g_saved.polygonMode(face, mode);
}
void APIENTRY RecBindTexture(GLenum target, GLuint texture) {
  g_record->textures = true;
  g_saved.bindTexture(target, texture);
}
void APIENTRY RecFrontFace(GLenum mode) {
  g_record->frontFaceCCW = mode == GL_CCW ? 1 : 0;
  g_saved.frontFace(mode);
}

// Installs the recording entry points for its lifetime. Nested compiles
// (which OpenGL refuses anyway) record into the outer record.
class TListStateRecorder {
 public:
  explicit TListStateRecorder(TListStateRecord& record) {
    if (g_record != nullptr) return;
    active_ = true;
    g_record = &record;
    g_saved = {glEnable,      glDisable,       glMaterialf,   glMaterialfv,  glMateriali,
               glMaterialiv,  glColorMaterial, glPolygonMode, glBindTexture, glFrontFace};
    glEnable = RecEnable;
    glDisable = RecDisable;
    glMaterialf = RecMaterialf;
    glMaterialfv = RecMaterialfv;
    glMateriali = RecMateriali;
    glMaterialiv = RecMaterialiv;
    glColorMaterial = RecColorMaterial;
    glPolygonMode = RecPolygonMode;
    glBindTexture = RecBindTexture;
    glFrontFace = RecFrontFace;
  }
  ~TListStateRecorder() {
    if (!active_) return;
    glEnable = g_saved.enable;
    glDisable = g_saved.disable;
    glMaterialf = g_saved.materialf;
    glMaterialfv = g_saved.materialfv;
    glMateriali = g_saved.materiali;
    glMaterialiv = g_saved.materialiv;
    glColorMaterial = g_saved.colorMaterial;
    glPolygonMode = g_saved.polygonMode;
    glBindTexture = g_saved.bindTexture;
    glFrontFace = g_saved.frontFace;
    g_record = nullptr;
  }
  TListStateRecorder(const TListStateRecorder&) = delete;
  TListStateRecorder& operator=(const TListStateRecorder&) = delete;

 private:
  bool active_ = false;
};

}  // namespace

bool TGLBaseSceneObject::HasDisplayList() const { return listHandle_ != nullptr && listHandle_->Handle() != 0; }

uint32_t TGLBaseSceneObject::GetHandle(TRenderContextInfo& rci) {
  if (HasDisplayList() && !changes_.Contains(TGLObjectChange::ListStale)) return listHandle_->Handle();
  changes_.Exclude(TGLObjectChange::ListStale);
  MarkOwnBoxStale();
  if (listHandle_ == nullptr) listHandle_ = std::make_unique<TGLListHandle>();
  if (listHandle_->Handle() == 0) listHandle_->AllocateHandle();
  const uint32_t name = listHandle_->Handle();
  if (name == 0) {
    // No current context: nothing can be compiled; try again next frame.
    changes_.Include(TGLObjectChange::ListStale);
    return 0;
  }
  TListStateRecord record;
  {
    TListStateRecorder recorder(record);
    TListCompile compile;
    glNewList(name, GL_COMPILE);
    try {
      BuildList(rci);
    } catch (...) {
      glEndList();
      changes_.Include(TGLObjectChange::ListStale);
      throw;
    }
    glEndList();
    listVertices_ = compile.Sent();
  }
  ++listCompileCount_;
  listStateMask_ = record.mask;
  listStateValues_ = record.values;
  listFrontFaceCCW_ = record.frontFaceCCW;
  listTouchesMaterial_ = record.material;
  listTouchesPolygonMode_ = record.polygonMode;
  listTouchesTextures_ = record.textures;
  return name;
}

void TGLBaseSceneObject::AfterListReplayed(TRenderContextInfo& rci) {
  TGLStateCache* cache = rci.GLStates;
  if (cache == nullptr) return;
  for (int i = 0; i < kGLStateCount; ++i) {
    const uint32_t bit = uint32_t{1} << i;
    if ((listStateMask_ & bit) == 0) continue;
    // OpenGL already holds this value; the call the cache may send is redundant.
    if ((listStateValues_ & bit) != 0) {
      cache->EnableState(static_cast<TGLState>(i));
    } else {
      cache->DisableState(static_cast<TGLState>(i));
    }
  }
  if (listFrontFaceCCW_ >= 0 && cache->FrontFaceCCW() != (listFrontFaceCCW_ == 1)) cache->ToggleFrontFace();
  if (listTouchesMaterial_) cache->ResetMaterialColors();
  if (listTouchesPolygonMode_) cache->ResetPolygonModes();
  if (listTouchesTextures_) cache->ResetBoundTextures();
}

void TGLBaseSceneObject::ClearStructureChanged() {
  changes_.Exclude(TGLObjectChange::ListStale);
  MarkOwnBoxStale();
}

void TGLBaseSceneObject::DestroyHandle() {
  if (listHandle_ != nullptr) listHandle_->DestroyHandle();
  changes_.Include(TGLObjectChange::ListStale);
}

void TGLBaseSceneObject::DestroyHandles() {
  for (TGLBaseSceneObject* child : ChildList()) child->DestroyHandles();
  DestroyHandle();
}

void TGLBaseSceneObject::BuildList(TRenderContextInfo& rci) { (void)rci; }

void RenderQueueSent(int64_t vertices) {
  if (t_renderQueue.compiling > 0) {
    t_renderQueue.compiled += vertices;
    return;
  }
  TRenderQueue& queue = t_renderQueue;
  queue.told += vertices;
  queue.vertices += vertices;
  // The room may have gone to what the frame builds as it draws (a mesh's buffers).
  if ((queue.sinceLook += vertices) >= queue.lookEvery) LookAtRenderRoom();
  if (queue.vertices >= queue.stretch) WaitForStretchBefore();
}

int64_t RenderStretchRoom() {
  const TRenderQueue& queue = t_renderQueue;
  if (queue.compiling > 0) return std::numeric_limits<int64_t>::max();
  return std::max<int64_t>(std::min(queue.stretch - queue.vertices, queue.lookEvery - queue.sinceLook), 1);
}

void DrawInRenderStretches(int64_t count, int64_t unit, const std::function<void(int64_t first, int64_t n)>& draw,
                           int64_t weight) {
  if (count <= 0) return;
  weight = std::max<int64_t>(weight, 1);
  if (unit <= 0 || t_renderQueue.compiling > 0) {
    draw(0, count);
    RenderQueueSent(count * weight);
    return;
  }
  for (int64_t first = 0; first < count;) {
    // Up to the bound, rounded up to whole primitives.
    const int64_t room = (RenderStretchRoom() + weight - 1) / weight;
    const int64_t n = std::min(count - first, (room + unit - 1) / unit * unit);
    draw(first, n);
    first += n;
    RenderQueueSent(n * weight);
  }
}

int64_t RenderStretchUnit(uint32_t mode) {
  switch (mode) {
    case GL_POINTS: return 1;
    case GL_LINES: return 2;
    case GL_TRIANGLES: return 3;
    case GL_QUADS: return 4;
    default: return 0;
  }
}

int64_t RenderQueueToldForTesting() { return t_renderQueue.told; }

void SetRenderWaitHook(std::function<void(int64_t vertices)> hook) { RenderWaitHook() = std::move(hook); }

// [SECTION] Rendering

void TGLBaseSceneObject::DrawSelf(TRenderContextInfo& rci) {
  if (objectStyle_.Contains(TGLObjectStyle::DirectDraw) || rci.amalgamating) {
    BuildList(rci);
  } else {
    const uint32_t name = GetHandle(rci);
    if (name != 0) {
      glCallList(name);
      AfterListReplayed(rci);
      RenderQueueSent(listVertices_);
    }
  }
}

void TGLBaseSceneObject::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (renderSelf) DrawSelf(rci);
  if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
}

void TGLBaseSceneObject::RenderSelfBracketed(TRenderContextInfo& rci, bool renderChildren) {
  const bool ignoreDepth = objectStyle_.Contains(TGLObjectStyle::IgnoreDepthBuffer) && rci.GLStates != nullptr;
  if (ignoreDepth) rci.GLStates->DisableState(TGLState::stDepthTest);
  DoRender(rci, true, renderChildren);
  if (ignoreDepth) rci.GLStates->EnableState(TGLState::stDepthTest);
}

void TGLBaseSceneObject::Render(TRenderContextInfo& rci) {
  bool renderSelf = true;
  bool renderChildren = hasChildList_;
  const bool noCulling = objectStyle_.Contains(TGLObjectStyle::NoVisibilityCulling);
  switch (rci.visibilityCulling) {
    case TGLVisibilityCulling::vcObjectBased:
      renderSelf = noCulling || !SphereClipped(GetAbsolutePosition(), BoundingSphereRadius(), rci);
      renderChildren = hasChildList_;
      break;
    case TGLVisibilityCulling::vcHierarchical: {
      // The box is carried to world space, where the frustum is.
      TAABB box = AxisAlignedBoundingBoxUnscaled(true);
      TransformAxisBox(box, AbsoluteMatrix());
      const TVector center = PointMakeFromAffine(AffineVectorScale(AffineVectorAdd(box.min, box.max), 0.5f));
      const float radius = 0.5f * VectorDistance(box.min, box.max);
      renderSelf = noCulling || !SphereClipped(center, radius, rci);
      renderChildren = renderSelf && hasChildList_;
      break;
    }
    default:
      break;
  }
  if (!renderSelf && !renderChildren) return;
  if (++t_renderQueue.objects >= ObjectsBetweenRenderWaits) WaitForRenderer();
  // The stretches run on from one object to the next, so what many objects send (256
  // labels of a quad a character) is waited on as one object's is: the queue follows
  // the work sent, not the number of objects. The frame's outermost object starts and
  // ends them, so no fence outlives its frame or passes to another context.
  TRenderQueue& queue = t_renderQueue;
  if (queue.rendering++ == 0) {
    DropStretchFence();
    LookAtRenderRoom();
  }
  struct TRenderingGuard {
    TRenderQueue& queue;
    ~TRenderingGuard() {
      if (--queue.rendering == 0) DropStretchFence();
    }
  } rendering{queue};

  TMatrix saved;
  if (g_matrixReadBack) {
    glGetFloatv(GL_MODELVIEW_MATRIX, saved.data());
  } else {
    glPushMatrix();
  }
  auto restore = [&] {
    if (g_matrixReadBack) {
      glLoadMatrixf(saved.data());
    } else {
      glPopMatrix();
    }
  };
  auto save = [&] {
    if (g_matrixReadBack) {
      glGetFloatv(GL_MODELVIEW_MATRIX, saved.data());
    } else {
      glPushMatrix();
    }
  };
  glMultMatrixf(LocalMatrix().data());
  const bool picking = rci.drawState == TDrawState::dsPicking;
  if (picking) {
    if (rci.proxySubObject) {
      glPushName(pickName_);
    } else {
      glLoadName(pickName_);
    }
  }
  try {
    if (renderSelf) {
      if (showAxes_) DrawAxes(rci, 0xCCCC);
      const bool resetsFrontFace = objectStyle_.Contains(TGLObjectStyle::ResetsFrontFace);
      if (HasEffects()) {
        save();
        effects_->RenderPreEffects(rci);
        restore();
        save();
        RenderSelfBracketed(rci, renderChildren);
        if (resetsFrontFace && rci.GLStates != nullptr) rci.GLStates->ResetFrontFace();
        effects_->RenderPostEffects(rci);
        restore();
      } else {
        RenderSelfBracketed(rci, renderChildren);
        if (resetsFrontFace && rci.GLStates != nullptr) rci.GLStates->ResetFrontFace();
      }
    } else {
      const bool ignoreDepth = objectStyle_.Contains(TGLObjectStyle::IgnoreDepthBuffer) &&
                               rci.GLStates != nullptr && rci.buffer != nullptr && rci.buffer->DepthTest();
      if (ignoreDepth) rci.GLStates->DisableState(TGLState::stDepthTest);
      DoRender(rci, false, renderChildren);
      if (ignoreDepth) rci.GLStates->EnableState(TGLState::stDepthTest);
    }
  } catch (...) {
    if (picking && rci.proxySubObject) glPopName();
    restore();
    throw;
  }
  if (picking && rci.proxySubObject) glPopName();
  restore();
}

void AxesBuildList(const TRenderContextInfo& rci, uint16_t pattern, float l) {
  glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_LINE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glEnable(GL_LINE_STIPPLE);
  if (!rci.ignoreBlendingRequests) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  glLineWidth(1.0f);
  glLineStipple(1, pattern);
  glBegin(GL_LINES);
  glColor3f(0.5f, 0.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(-l, 0.0f, 0.0f);
  glColor3f(1.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(l, 0.0f, 0.0f);
  glColor3f(0.0f, 0.5f, 0.0f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, -l, 0.0f);
  glColor3f(0.0f, 1.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, l, 0.0f);
  glColor3f(0.0f, 0.0f, 0.5f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, -l);
  glColor3f(0.0f, 0.0f, 1.0f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, l);
  glEnd();
  glPopAttrib();
}

void TGLBaseSceneObject::DrawAxes(TRenderContextInfo& rci, uint16_t pattern) {
  AxesBuildList(rci, pattern, rci.rcci.farClippingDistance - rci.rcci.nearClippingDistance);
}

void TGLBaseSceneObject::RenderChildren(int first, int last, TRenderContextInfo& rci) {
  if (!hasChildList_) return;
  const TGLVisibilityCulling savedCulling = rci.visibilityCulling;
  if (visibilityCulling_ != TGLVisibilityCulling::vcInherited) rci.visibilityCulling = visibilityCulling_;
  first = std::max(first, 0);
  last = std::min(last, ChildCount() - 1);
  // Children are copied first: drawing must not see the list change under it.
  const std::vector<TGLBaseSceneObject*>& children = ChildList();
  auto childAt = [&](int i) { return children[static_cast<size_t>(i)]; };
  try {
    if (first == last) {
      TGLBaseSceneObject* child = childAt(first);
      if (child->Visible()) child->Render(rci);
    } else if (first < last) {
      const TGLObjectsSorting savedSorting = rci.objectsSorting;
      if (objectsSorting_ != TGLObjectsSorting::osInherited) rci.objectsSorting = objectsSorting_;
      std::vector<TGLBaseSceneObject*> snapshot(children.begin() + first, children.begin() + last + 1);
      std::vector<std::pair<float, TGLBaseSceneObject*>> work;
      work.reserve(snapshot.size());
      bool sorted = true;
      switch (rci.objectsSorting) {
        case TGLObjectsSorting::osNone:
          sorted = false;
          for (TGLBaseSceneObject* child : snapshot) {
            if (child->Visible()) child->Render(rci);
          }
          break;
        case TGLObjectsSorting::osRenderFarthestFirst:
          for (TGLBaseSceneObject* child : snapshot) {
            if (child->Visible()) work.emplace_back(1.0f + child->BarycenterSqrDistanceTo(rci.cameraPosition), child);
          }
          break;
        case TGLObjectsSorting::osRenderBlendedLast:
          for (TGLBaseSceneObject* child : snapshot) {
            if (!child->Visible()) continue;
            if (!child->Blended()) {
              child->Render(rci);
            } else {
              work.emplace_back(1.0f + child->BarycenterSqrDistanceTo(rci.cameraPosition), child);
            }
          }
          break;
        case TGLObjectsSorting::osRenderNearestFirst:
          for (TGLBaseSceneObject* child : snapshot) {
            if (child->Visible()) work.emplace_back(-1.0f - child->BarycenterSqrDistanceTo(rci.cameraPosition), child);
          }
          break;
        default:
          sorted = false;
          break;
      }
      if (sorted) {
        // Ascending keys, drawn from the largest key down.
        std::stable_sort(work.begin(), work.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto it = work.rbegin(); it != work.rend(); ++it) it->second->Render(rci);
      }
      rci.objectsSorting = savedSorting;
    }
  } catch (...) {
    rci.visibilityCulling = savedCulling;
    throw;
  }
  rci.visibilityCulling = savedCulling;
}

// [SECTION] Behaviours and effects

TGLBehaviours& TGLBaseSceneObject::Behaviours() {
  if (behaviours_ == nullptr) behaviours_ = std::make_unique<TGLBehaviours>(this);
  return *behaviours_;
}

TGLObjectEffects& TGLBaseSceneObject::Effects() {
  if (effects_ == nullptr) effects_ = std::make_unique<TGLObjectEffects>(this);
  return *effects_;
}

bool TGLBaseSceneObject::HasBehaviours() const { return behaviours_ != nullptr && behaviours_->Count() > 0; }

bool TGLBaseSceneObject::HasEffects() const { return effects_ != nullptr && effects_->Count() > 0; }


// [SECTION] Component streams

namespace {

// A behaviour or effect list's stored form as a block of bytes.
void DefineCollection(TFiler& filer, std::string_view name, const std::function<TXCollection&()>& list,
                      bool hasItems) {
  filer.DefineBinaryProperty(
      name,
      [&list](TBinaryStream& stream) {
        TBinaryReader reader(stream);
        list().ReadFromFiler(reader);
      },
      [&list](TBinaryStream& stream) {
        TBinaryWriter writer(stream);
        list().WriteToFiler(writer);
      },
      hasItems);
}

}  // namespace

void TGLBaseSceneObject::DefinePublished(TFiler& filer) {
  const TGLBaseProperties published = PublishedBaseProperties();
  using P = TGLBaseProperty;
  if (published.Contains(P::ObjectsSorting)) {
    DefineOrdinal(filer, "ObjectsSorting", objectsSorting_, TGLObjectsSorting::osRenderNearestFirst,
                  TGLObjectsSorting::osInherited, [this](TGLObjectsSorting v) { SetObjectsSorting(v); });
  }
  if (published.Contains(P::VisibilityCulling)) {
    DefineOrdinal(filer, "VisibilityCulling", visibilityCulling_, TGLVisibilityCulling::vcHierarchical,
                  TGLVisibilityCulling::vcInherited, [this](TGLVisibilityCulling v) { SetVisibilityCulling(v); });
  }
  if (published.Contains(P::Direction)) DefineNested(filer, "Direction", *direction_);
  const std::tuple<const char*, int, P> angles[] = {
      {"PitchAngle", 0, P::PitchAngle}, {"RollAngle", 2, P::RollAngle}, {"TurnAngle", 1, P::TurnAngle}};
  for (const auto& [name, index, flag] : angles) {
    if (!published.Contains(flag)) continue;
    const float angle = rotation_->AsVector()[static_cast<size_t>(index)];
    DefineFloat(filer, name, angle, true, [this, index = index](float v) { SetAngle(index, v); });
  }
  if (published.Contains(P::Position)) DefineNested(filer, "Position", *position_);
  if (published.Contains(P::Scale)) DefineNested(filer, "Scale", *scale_);
  if (published.Contains(P::ShowAxes)) {
    DefineBoolean(filer, "ShowAxes", showAxes_, showAxes_, [this](bool v) { SetShowAxes(v); });
  }
  if (published.Contains(P::Up)) DefineNested(filer, "Up", *up_);
  if (published.Contains(P::Visible)) {
    DefineBoolean(filer, "Visible", visible_, !visible_, [this](bool v) { SetVisible(v); });
  }
  if (published.Contains(P::TagFloat)) {
    DefineFloat(filer, "TagFloat", TagFloat, true, [this](float v) { TagFloat = v; });
  }
}

void TGLBaseSceneObject::DefineProperties(TFiler& filer) {
  TGLCoordinatesUpdateAbleComponent::DefineProperties(filer);
  DefineCollection(filer, "BehavioursData", [this]() -> TXCollection& { return Behaviours(); }, HasBehaviours());
  DefineCollection(filer, "EffectsData", [this]() -> TXCollection& { return Effects(); }, HasEffects());
}

void TGLBaseSceneObject::GetChildren(const TGetChildProc& proc, TComponent* root) {
  (void)root;
  // A copy: a procedure that moves children must not upset the walk.
  const std::vector<TGLBaseSceneObject*> children = ChildList();
  for (TGLBaseSceneObject* child : children) {
    if (!child->IsSubComponent()) proc(*child);
  }
}

void TGLBaseSceneObject::SetParentComponent(TComponent* value) {
  TGLBaseSceneObject* parent = nullptr;
  if (auto* scene = dynamic_cast<TGL3DScene*>(value)) {
    parent = &scene->Objects();
  } else if (auto* object = dynamic_cast<TGLBaseSceneObject*>(value)) {
    parent = object;
  }
  SetParent(parent);
}

TComponent* TGLBaseSceneObject::GetParentComponent() const {
  if (auto* root = dynamic_cast<TGL3DSceneRootObject*>(parent_)) return root->Scene();
  return parent_;
}

}  // namespace qira

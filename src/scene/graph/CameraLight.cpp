// Sections:
//   Root
//   Camera
//   Camera: frame set-up
//   Camera: turning
//   Camera: field of view
//   Camera: properties
//   Camera: node overrides
//   Light source
//   Proxy
//   Component streams

#include "scene/graph/CameraLight.h"

#include <algorithm>
#include <cmath>

#include "scene/components/ComponentStreams.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// [SECTION] Root

TGL3DSceneRootObject::TGL3DSceneRootObject(TGL3DScene& scene) {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  SetScene(&scene);
}

// [SECTION] Camera

TGLCamera::TGLCamera() { Direction().Initialize(VectorMake(0.0f, 0.0f, -1.0f, 0.0f)); }

TGLCamera::~TGLCamera() {
  SetTargetObject(nullptr);
  // Each buffer detaches itself in CameraDestroyed.
  while (!buffers_.empty()) buffers_.back()->CameraDestroyed(*this);
}

void TGLCamera::Assign(const TPersistent* source) {
  if (const auto* camera = dynamic_cast<const TGLCamera*>(source)) {
    focalLength_ = camera->focalLength_;
    depthOfView_ = camera->depthOfView_;
    nearPlaneBias_ = camera->nearPlaneBias_;
    sceneScale_ = camera->sceneScale_;
    cameraStyle_ = camera->cameraStyle_;
    OnCustomPerspective = camera->OnCustomPerspective;
    SetTargetObject(camera->targetObject_);
  }
  TGLBaseSceneObject::Assign(source);
}

void TGLCamera::AttachBuffer(TGL3DSceneBuffer& buffer) {
  if (std::find(buffers_.begin(), buffers_.end(), &buffer) == buffers_.end()) buffers_.push_back(&buffer);
}

void TGLCamera::DetachBuffer(TGL3DSceneBuffer& buffer) {
  buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), &buffer), buffers_.end());
}

void TGLCamera::Notification(TComponent& component, TOperation operation) {
  if (operation == TOperation::opRemove && &component == targetObject_) targetObject_ = nullptr;
  TGLBaseSceneObject::Notification(component, operation);
}

// [SECTION] Camera: frame set-up

void TGLCamera::Apply() {
  if (OnApplyOverride) {
    OnApplyOverride(this);
    return;
  }
  const TVector p = GetAbsolutePosition();
  if (targetObject_ != nullptr) {
    const TVector t = targetObject_->GetAbsolutePosition();
    TVector d = VectorSubtract(t, p);
    d.w = 0.0f;
    lastDirection_ = VectorNormalize(d);
    gluLookAt(p.x, p.y, p.z, t.x, t.y, t.z, Up().X(), Up().Y(), Up().Z());
  } else {
    const TMatrix m = Parent() != nullptr ? Parent()->AbsoluteMatrix() : IdentityHmgMatrix;
    const TVector d = VectorTransform(Direction().AsVector(), m);
    const TVector u = VectorTransform(Up().AsVector(), m);
    lastDirection_ = d;
    gluLookAt(p.x, p.y, p.z, p.x + d.x, p.y + d.y, p.z + d.z, u.x, u.y, u.z);
  }
  ClearStructureChanged();
}

namespace {

struct TProjectionExtents {
  float left = 0, right = 0, bottom = 0, top = 0, znear = 0, zfar = 0;
};

TProjectionExtents ComputeExtents(TGLCameraStyle style, const TRectangle& vp, float W, float H, int32_t DPI,
                                  float focal, float bias, float scale, float depthOfView) {
  TProjectionExtents e;
  const float maxDim = H > W ? H : W;
  float fW = 0.0f;
  float fH = 0.0f;
  if (style == TGLCameraStyle::csOrthogonal) {
    fW = 100.0f * bias / (W * focal * scale);
    fH = 100.0f * bias / (H * focal * scale);
  } else {
    fW = bias / (W * scale);
    fH = bias / (H * scale);
  }
  const float L = static_cast<float>(vp.Left);
  const float T = static_cast<float>(vp.Top);
  e.right = (2.0f * L + 2.0f * static_cast<float>(vp.Width) - W) * fW * W / (2.0f * maxDim);
  e.left = -((W - 2.0f * L) * fW) * W / (2.0f * maxDim);
  e.top = (2.0f * T + 2.0f * static_cast<float>(vp.Height) - H) * fH * H / (2.0f * maxDim);
  e.bottom = -((H - 2.0f * T) * fH) * H / (2.0f * maxDim);
  e.znear = focal * 2.0f * static_cast<float>(DPI) / (25.4f * maxDim) * bias;
  e.zfar = e.znear + depthOfView;
  return e;
}

TMatrix FrustumMatrix(const TProjectionExtents& e) {
  const double l = e.left, r = e.right, b = e.bottom, t = e.top, n = e.znear, f = e.zfar;
  TMatrix m = EmptyHmgMatrix;
  m[0][0] = static_cast<float>(2 * n / (r - l));
  m[1][1] = static_cast<float>(2 * n / (t - b));
  m[2][0] = static_cast<float>((r + l) / (r - l));
  m[2][1] = static_cast<float>((t + b) / (t - b));
  m[2][2] = static_cast<float>(-(f + n) / (f - n));
  m[2][3] = -1.0f;
  m[3][2] = static_cast<float>(-2 * f * n / (f - n));
  return m;
}

TMatrix OrthoMatrix(double l, double r, double b, double t, double n, double f) {
  TMatrix m = IdentityHmgMatrix;
  m[0][0] = static_cast<float>(2 / (r - l));
  m[1][1] = static_cast<float>(2 / (t - b));
  m[2][2] = static_cast<float>(-2 / (f - n));
  m[3][0] = static_cast<float>(-(r + l) / (r - l));
  m[3][1] = static_cast<float>(-(t + b) / (t - b));
  m[3][2] = static_cast<float>(-(f + n) / (f - n));
  return m;
}

TMatrix InfinitePerspectiveMatrix(const TProjectionExtents& e) {
  TMatrix m = IdentityHmgMatrix;
  m[0][0] = 2.0f * e.znear / (e.right - e.left);
  m[1][1] = 2.0f * e.znear / (e.top - e.bottom);
  m[2][0] = (e.right + e.left) / (e.right - e.left);
  m[2][1] = (e.top + e.bottom) / (e.top - e.bottom);
  m[2][2] = cInfinitePerspectiveEpsilon - 1.0f;
  m[2][3] = -1.0f;
  m[3][2] = e.znear * (cInfinitePerspectiveEpsilon - 2.0f);
  m[3][3] = 0.0f;
  return m;
}

}  // namespace

TMatrix TGLCamera::PerspectiveMatrix(const TRectangle& viewport, int32_t width, int32_t height, int32_t DPI) {
  if (width < 1 || height < 1) return IdentityHmgMatrix;
  const float W = static_cast<float>(width);
  const float H = static_cast<float>(height);
  switch (cameraStyle_) {
    case TGLCameraStyle::csOrtho2D:
      nearPlane_ = -1.0f;
      viewPortRadius_ = std::sqrt(W * W + H * H) / 2.0f;
      return OrthoMatrix(0, W, 0, H, -1, 1);
    case TGLCameraStyle::csCustom:
      viewPortRadius_ = std::sqrt(W * W + H * H) / 2.0f;
      if (OnCustomPerspective) OnCustomPerspective(viewport, width, height, DPI, viewPortRadius_);
      return IdentityHmgMatrix;
    default:
      break;
  }
  const TProjectionExtents e = ComputeExtents(cameraStyle_, viewport, W, H, DPI, focalLength_, nearPlaneBias_,
                                              sceneScale_, depthOfView_);
  nearPlane_ = e.znear;
  viewPortRadius_ = std::sqrt(e.right * e.right + e.top * e.top) / e.znear;
  switch (cameraStyle_) {
    case TGLCameraStyle::csOrthogonal:
      return OrthoMatrix(e.left, e.right, e.bottom, e.top, e.znear, e.zfar);
    case TGLCameraStyle::csInfinitePerspective:
      return InfinitePerspectiveMatrix(e);
    default:
      return FrustumMatrix(e);
  }
}

void TGLCamera::ApplyPerspective(const TRectangle& viewport, int32_t width, int32_t height, int32_t DPI) {
  if (width < 1 || height < 1) return;
  const float W = static_cast<float>(width);
  const float H = static_cast<float>(height);
  switch (cameraStyle_) {
    case TGLCameraStyle::csOrtho2D:
      gluOrtho2D(0.0, W, 0.0, H);
      nearPlane_ = -1.0f;
      viewPortRadius_ = std::sqrt(W * W + H * H) / 2.0f;
      return;
    case TGLCameraStyle::csCustom:
      viewPortRadius_ = std::sqrt(W * W + H * H) / 2.0f;
      if (OnCustomPerspective) OnCustomPerspective(viewport, width, height, DPI, viewPortRadius_);
      return;
    default:
      break;
  }
  const TProjectionExtents e = ComputeExtents(cameraStyle_, viewport, W, H, DPI, focalLength_, nearPlaneBias_,
                                              sceneScale_, depthOfView_);
  nearPlane_ = e.znear;
  switch (cameraStyle_) {
    case TGLCameraStyle::csOrthogonal:
      glOrtho(e.left, e.right, e.bottom, e.top, e.znear, e.zfar);
      break;
    case TGLCameraStyle::csInfinitePerspective:
      glMultMatrixf(InfinitePerspectiveMatrix(e).data());
      break;
    default:
      glFrustum(e.left, e.right, e.bottom, e.top, e.znear, e.zfar);
      break;
  }
  viewPortRadius_ = std::sqrt(e.right * e.right + e.top * e.top) / e.znear;
}

// [SECTION] Camera: turning

TVector TGLCamera::AbsoluteVectorToTarget() const {
  if (targetObject_ == nullptr) return GetAbsoluteDirection();
  TVector v = VectorSubtract(targetObject_->GetAbsolutePosition(), GetAbsolutePosition());
  v.w = 0.0f;
  return VectorNormalize(v);
}

void TGLCamera::RotateObject(TGLBaseSceneObject& obj, float pitchDelta, float turnDelta, float rollDelta) {
  TVector up = GetAbsoluteUp();
  TVector dir;
  TVector left;
  if (targetObject_ != nullptr) {
    dir = AbsoluteVectorToTarget();
    left = VectorCrossProduct(dir, up);
    up = VectorCrossProduct(left, dir);
  } else {
    dir = GetAbsoluteDirection();
    left = VectorCrossProduct(dir, up);
  }
  const TVector savedScale = obj.Scale().AsVector();
  const TVector savedPosition = obj.Position().AsVector();
  TMatrix m = obj.LocalMatrix();
  OrthonormalizeMatrix(m);
  const auto rotate = [&](const TVector& axis, float delta) {
    if (delta == 0.0f) return;
    const TVector local = obj.AbsoluteToLocal(VectorMake(axis.x, axis.y, axis.z, 0.0f));
    const TMatrix r = CreateRotationMatrix(CopyAffineVector(local), DegToRad(delta));
    m = MatrixMultiply(r, m);
  };
  rotate(dir, rollDelta);
  rotate(up, turnDelta);
  rotate(left, pitchDelta);
  obj.SetMatrix(m);
  obj.Scale().SetAsVector(savedScale);
  obj.Position().SetAsVector(savedPosition);
}

// [SECTION] Camera: field of view

float TGLCamera::GetFieldOfView(float viewportDimension) const {
  if (focalLength_ == 0.0f) return 0.0f;
  return RadToDeg(2.0f * std::atan(viewportDimension * 0.5f / focalLength_));
}

void TGLCamera::SetFieldOfView(float fieldOfView, float viewportDimension) {
  SetFocalLength(viewportDimension / (2.0f * std::tan(DegToRad(fieldOfView / 2.0f))));
}

// [SECTION] Camera: properties

void TGLCamera::SetFocalLength(float value) {
  if (!(value > 0.0f)) value = 1.0f;
  if (value == focalLength_) return;
  focalLength_ = value;
  if (!IsLoading()) TransformationChanged();
}

void TGLCamera::SetDepthOfView(float value) {
  if (value == depthOfView_) return;
  depthOfView_ = value;
  if (!IsLoading()) TransformationChanged();
}

void TGLCamera::SetNearPlaneBias(float value) {
  if (!(value > 0.0f)) value = 1.0f;
  if (value == nearPlaneBias_) return;
  nearPlaneBias_ = value;
  NotifyChange(this);
}

void TGLCamera::SetTargetObject(TGLBaseSceneObject* value) {
  if (value == targetObject_) return;
  if (targetObject_ != nullptr) RemoveFreeNotification(*targetObject_);
  targetObject_ = value;
  if (targetObject_ != nullptr) FreeNotification(*targetObject_);
  if (!IsLoading() && !IsDestroying()) TransformationChanged();
}

void TGLCamera::SetCameraStyle(TGLCameraStyle value) {
  if (value == cameraStyle_) return;
  cameraStyle_ = value;
  NotifyChange(this);
}

void TGLCamera::SetSceneScale(float value) {
  if (value == 0.0f) value = 1.0f;
  if (value == sceneScale_) return;
  sceneScale_ = value;
  NotifyChange(this);
}

// [SECTION] Camera: node overrides

void TGLCamera::SetScene(TGL3DScene* scene) {
  TGL3DScene* old = Scene();
  if (old != nullptr && scene != old) {
    for (TGL3DSceneBuffer* buffer : std::vector<TGL3DSceneBuffer*>(buffers_)) old->RemoveBuffer(*buffer);
  }
  TGLBaseSceneObject::SetScene(scene);
}

void TGLCamera::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  (void)renderSelf;
  if (renderChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
}

bool TGLCamera::RayCastIntersect(const TVector&, const TVector&, TVector*, TVector*) const { return false; }

// [SECTION] Light source

TGLLightSource::TGLLightSource()
    : spotDirection_(CreateInitialized<TGLCoordinates3>(this, VectorMake(0.0f, 0.0f, -1.0f, 0.0f),
                                                        TGLCoordinatesStyle::cstVector)),
      ambient_(std::make_unique<TGLColor>(this)),
      diffuse_(std::make_unique<TGLColor>(this, VectorMake(1.0f, 1.0f, 1.0f, 1.0f))),
      specular_(std::make_unique<TGLColor>(this)) {}

TGLLightSource::~TGLLightSource() {
  if (Scene() != nullptr) Scene()->UnregisterLight(*this);
}

void TGLLightSource::Assign(const TPersistent* source) {
  if (const auto* light = dynamic_cast<const TGLLightSource*>(source)) {
    spotDirection_->Initialize(light->spotDirection_->AsVector());
    spotExponent_ = light->spotExponent_;
    spotCutOff_ = light->spotCutOff_;
    constAttenuation_ = light->constAttenuation_;
    linearAttenuation_ = light->linearAttenuation_;
    quadraticAttenuation_ = light->quadraticAttenuation_;
    shining_ = light->shining_;
    ambient_->Initialize(light->ambient_->Color());
    diffuse_->Initialize(light->diffuse_->Color());
    specular_->Initialize(light->specular_->Color());
    lightStyle_ = light->lightStyle_;
  }
  TGLBaseSceneObject::Assign(source);
}

void TGLLightSource::SetSpotDirection(const TGLCoordinates3& value) {
  TVector v = value.AsVector();
  v.w = 0.0f;
  spotDirection_->Initialize(v);
  NotifyChange(this);
}

void TGLLightSource::SetSpotExponent(float value) {
  if (value == spotExponent_) return;
  spotExponent_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetSpotCutOff(float value) {
  if (value == spotCutOff_) return;
  if (!((value >= 0.0f && value <= 90.0f) || value == 180.0f)) return;
  spotCutOff_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetConstAttenuation(float value) {
  if (value == constAttenuation_) return;
  constAttenuation_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetLinearAttenuation(float value) {
  if (value == linearAttenuation_) return;
  linearAttenuation_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetQuadraticAttenuation(float value) {
  if (value == quadraticAttenuation_) return;
  quadraticAttenuation_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetShining(bool value) {
  if (value == shining_) return;
  shining_ = value;
  NotifyChange(this);
}

void TGLLightSource::SetAmbient(const TGLColor& value) { ambient_->Assign(&value); }
void TGLLightSource::SetDiffuse(const TGLColor& value) { diffuse_->Assign(&value); }
void TGLLightSource::SetSpecular(const TGLColor& value) { specular_->Assign(&value); }

void TGLLightSource::SetLightStyle(TLightStyle value) {
  if (value == lightStyle_) return;
  lightStyle_ = value;
  NotifyChange(this);
}

void TGLLightSource::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  (void)renderSelf;
  if (renderChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
}

bool TGLLightSource::RayCastIntersect(const TVector&, const TVector&, TVector*, TVector*) const {
  return false;
}

std::unique_ptr<TGLSilhouette> TGLLightSource::GenerateSilhouette(const TGLSilhouetteParameters&) const {
  return nullptr;
}

uint32_t TGLLightSource::GetHandle(TRenderContextInfo&) { return 0; }

void TGLLightSource::CoordinateChanged(TGLCustomCoordinates* sender) {
  TGLBaseSceneObject::CoordinateChanged(sender);
  if (sender == spotDirection_.get()) TransformationChanged();
}

// [SECTION] Proxy

TGLProxyObject::TGLProxyObject() { IncludeObjectStyle(TGLObjectStyle::ResetsFrontFace); }

TGLProxyObject::~TGLProxyObject() { SetMasterObject(nullptr); }

void TGLProxyObject::Assign(const TPersistent* source) {
  if (const auto* proxy = dynamic_cast<const TGLProxyObject*>(source)) SetMasterObject(proxy->masterObject_);
  TGLBaseSceneObject::Assign(source);
}

void TGLProxyObject::SetMasterObject(TGLBaseSceneObject* value) {
  if (value == masterObject_) return;
  if (masterObject_ != nullptr) RemoveFreeNotification(*masterObject_);
  masterObject_ = value;
  if (masterObject_ != nullptr) FreeNotification(*masterObject_);
  if (!IsDestroying()) StructureChanged();
}

void TGLProxyObject::SetProxyOptions(TGLProxyObjectOptions value) {
  if (value == proxyOptions_) return;
  proxyOptions_ = value;
  StructureChanged();
}

void TGLProxyObject::Notification(TComponent& component, TOperation operation) {
  if (operation == TOperation::opRemove && &component == masterObject_) {
    // The master's derived parts are gone: only drop the reference.
    masterObject_ = nullptr;
    if (!IsDestroying()) StructureChanged();
  }
  TGLBaseSceneObject::Notification(component, operation);
}

TVector TGLProxyObject::AxisAlignedDimensionsUnscaled() const {
  if (masterObject_ != nullptr) return masterObject_->AxisAlignedDimensionsUnscaled();
  return TGLBaseSceneObject::AxisAlignedDimensionsUnscaled();
}

std::unique_ptr<TGLSilhouette> TGLProxyObject::GenerateSilhouette(
    const TGLSilhouetteParameters& parameters) const {
  if (masterObject_ != nullptr) return masterObject_->GenerateSilhouette(parameters);
  return nullptr;
}

bool TGLProxyObject::RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                      TVector* intersectPoint, TVector* intersectNormal) const {
  if (masterObject_ == nullptr) return false;
  const TVector localStart = masterObject_->LocalToAbsolute(AbsoluteToLocal(rayStart));
  TVector localVector = masterObject_->LocalToAbsolute(AbsoluteToLocal(rayVector));
  NormalizeVector(localVector);
  TVector point{};
  TVector normal{};
  if (!masterObject_->RayCastIntersect(localStart, localVector, &point, &normal)) return false;
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(masterObject_->AbsoluteToLocal(point));
  if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(masterObject_->AbsoluteToLocal(normal));
  return true;
}

TVector TGLProxyObject::BarycenterAbsolutePosition() const {
  if (masterObject_ == nullptr) return TGLBaseSceneObject::BarycenterAbsolutePosition();
  TVector offset = VectorSubtract(masterObject_->BarycenterAbsolutePosition(),
                                  masterObject_->GetAbsolutePosition());
  offset.w = 0.0f;
  // Where the proxy would be with its Position moved by the offset, computed
  // without moving it (a query must not send change notifications).
  const TGLBaseSceneObject* parent = Parent();
  if (parent != nullptr && dynamic_cast<const TGL3DSceneRootObject*>(parent) == nullptr)
    offset = VectorTransform(offset, parent->AbsoluteMatrix());
  TVector result = GetAbsolutePosition();
  result.x += offset.x;
  result.y += offset.y;
  result.z += offset.z;
  return result;
}

void TGLProxyObject::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (rendering_) return;
  rendering_ = true;
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{rendering_};
  const bool effects = masterObject_ != nullptr && proxyOptions_.Contains(TGLProxyObjectOption::pooEffects) &&
                       masterObject_->HasEffects();
  if (masterObject_ != nullptr && proxyOptions_.Contains(TGLProxyObjectOption::pooObjects)) {
    const bool savedProxy = rci.proxySubObject;
    rci.proxySubObject = true;
    struct TRestore {
      TRenderContextInfo& rci;
      bool value;
      ~TRestore() { rci.proxySubObject = value; }
    } restore{rci, savedProxy};
    if (proxyOptions_.Contains(TGLProxyObjectOption::pooTransformation))
      glMultMatrixf(masterObject_->LocalMatrix().data());
    masterObject_->DoRender(rci, renderSelf, masterObject_->ChildCount() > 0);
  }
  if (renderChildren && ChildCount() > 0) RenderChildren(0, ChildCount() - 1, rci);
  if (effects) masterObject_->Effects().RenderPostEffects(rci);
  ClearStructureChanged();
}

// [SECTION] Component streams

namespace {

const TGLProxyObjectOptions kAllProxyOptions{TGLProxyObjectOption::pooEffects, TGLProxyObjectOption::pooObjects,
                                             TGLProxyObjectOption::pooTransformation};

// A reference read back: only a scene object is taken.
std::function<void(TComponent&)> SceneObjectSetter(const std::function<void(TGLBaseSceneObject*)>& set) {
  return [set](TComponent& component) {
    if (auto* object = dynamic_cast<TGLBaseSceneObject*>(&component)) set(object);
  };
}

}  // namespace

TGLBaseProperties TGLCamera::PublishedBaseProperties() const {
  return {TGLBaseProperty::Position, TGLBaseProperty::Direction, TGLBaseProperty::Up};
}

void TGLCamera::DefinePublished(TFiler& filer) {
  TGLBaseSceneObject::DefinePublished(filer);
  DefineFloat(filer, "DepthOfView", depthOfView_, true, [this](float v) { SetDepthOfView(v); });
  DefineFloat(filer, "FocalLength", focalLength_, true, [this](float v) { SetFocalLength(v); });
  DefineFloat(filer, "SceneScale", sceneScale_, sceneScale_ != 1.0f, [this](float v) { SetSceneScale(v); });
  DefineFloat(filer, "NearPlaneBias", nearPlaneBias_, nearPlaneBias_ != 1.0f,
              [this](float v) { SetNearPlaneBias(v); });
  DefineReference(filer, "TargetObject", targetObject_,
                  SceneObjectSetter([this](TGLBaseSceneObject* v) { SetTargetObject(v); }));
  DefineOrdinal(filer, "CameraStyle", cameraStyle_, TGLCameraStyle::csInfinitePerspective,
                TGLCameraStyle::csPerspective, [this](TGLCameraStyle v) { SetCameraStyle(v); });
}

TGLBaseProperties TGLLightSource::PublishedBaseProperties() const { return {TGLBaseProperty::Position}; }

void TGLLightSource::DefinePublished(TFiler& filer) {
  TGLBaseSceneObject::DefinePublished(filer);
  DefineNested(filer, "Ambient", *ambient_);
  DefineFloat(filer, "ConstAttenuation", constAttenuation_, true, [this](float v) { SetConstAttenuation(v); });
  DefineNested(filer, "Diffuse", *diffuse_);
  DefineFloat(filer, "LinearAttenuation", linearAttenuation_, true, [this](float v) { SetLinearAttenuation(v); });
  DefineFloat(filer, "QuadraticAttenuation", quadraticAttenuation_, true,
              [this](float v) { SetQuadraticAttenuation(v); });
  DefineOrdinal(filer, "LightStyle", lightStyle_, TLightStyle::lsParallel, TLightStyle::lsSpot,
                [this](TLightStyle v) { SetLightStyle(v); });
  DefineBoolean(filer, "Shining", shining_, !shining_, [this](bool v) { SetShining(v); });
  DefineNested(filer, "Specular", *specular_);
  DefineFloat(filer, "SpotCutOff", spotCutOff_, true, [this](float v) { SetSpotCutOff(v); });
  DefineNested(filer, "SpotDirection", *spotDirection_);
  DefineFloat(filer, "SpotExponent", spotExponent_, true, [this](float v) { SetSpotExponent(v); });
}

TGLBaseProperties TGLProxyObject::PublishedBaseProperties() const {
  return kAllBaseProperties.Without({TGLBaseProperty::VisibilityCulling});
}

void TGLProxyObject::DefinePublished(TFiler& filer) {
  TGLBaseSceneObject::DefinePublished(filer);
  DefineReference(filer, "MasterObject", masterObject_,
                  SceneObjectSetter([this](TGLBaseSceneObject* v) { SetMasterObject(v); }));
  DefineFlags(filer, "ProxyOptions", proxyOptions_.Bits(), kAllProxyOptions.Bits(), proxyOptions_ != kAllProxyOptions,
              [this](uint32_t v) { SetProxyOptions(TGLProxyObjectOptions::FromBits(static_cast<uint8_t>(v))); });
}

}  // namespace qira

#pragma once
// The four nodes with a special role in a scene: the invisible root a scene
// owns, the camera that places the eye and builds the projection, the light
// source the scene turns into an OpenGL light, and the proxy that draws
// another node (its master) in its own place.
//
// Sections: root; camera; light source; proxy.
//
// A camera's target and a proxy's master are weak references kept safe by
// free notification. Buffers that look through a camera register with it, so
// that a freed camera leaves no buffer pointing at it.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scene/components/Colors.h"
#include "scene/components/Coordinates.h"
#include "scene/graph/SceneObject.h"

namespace qira {

class TGL3DScene;
class TGL3DSceneBuffer;

// ------------------------------------------------------------------------ root

// The root of a scene's tree: draws nothing itself, renders its children
// every frame (DirectDraw), and is not part of its children's absolute frame.
class TGL3DSceneRootObject : public TGLBaseSceneObject {
  QIRA_CLASS(TGL3DSceneRootObject, TGLBaseSceneObject)

  explicit TGL3DSceneRootObject(TGL3DScene& scene);
};

// ---------------------------------------------------------------------- camera

enum class TGLCameraStyle : uint8_t {
  csPerspective,
  csOrthogonal,
  csOrtho2D,
  csCustom,
  csInfinitePerspective
};

// Left, Top, Width, Height. Top is counted from the bottom of the picture, as
// OpenGL counts rows.
struct TRectangle {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

using TOnCustomPerspective = std::function<void(const TRectangle& viewport, int32_t width,
                                                int32_t height, int32_t DPI, float& viewPortRadius)>;

// The epsilon of the infinite-perspective projection.
inline constexpr float cInfinitePerspectiveEpsilon = 1e-4f;

class TGLCamera : public TGLBaseSceneObject {
  QIRA_CLASS(TGLCamera, TGLBaseSceneObject)

  TGLCamera();
  // Clears the target and tells every buffer looking through it.
  ~TGLCamera() override;

  void Assign(const TPersistent* source) override;

  // ---- frame set-up (a rendering context must be current)
  // The model-view for the frame, multiplied into the current matrix (the
  // buffer loads the identity first). A camera without parent takes the
  // identity as its parent's matrix.
  void Apply();
  // Multiplies the style's projection into the current (projection) matrix
  // and computes the near plane and viewport radius. Nothing when width or
  // height is below 1.
  void ApplyPerspective(const TRectangle& viewport, int32_t width, int32_t height, int32_t DPI);
  // The projection of ApplyPerspective as a matrix, without OpenGL (for the
  // styles other than csCustom; csCustom gives the identity). Also computes
  // the near plane and viewport radius.
  TMatrix PerspectiveMatrix(const TRectangle& viewport, int32_t width, int32_t height, int32_t DPI);

  // ---- turning
  // Turns obj about the camera's axes (degrees): roll about the view
  // direction, turn about up, pitch about left, in that order.
  void RotateObject(TGLBaseSceneObject& obj, float pitchDelta, float turnDelta, float rollDelta);
  // Unit vector from the camera to the target, or the absolute direction.
  TVector AbsoluteVectorToTarget() const;

  // ---- field of view (degrees)
  float GetFieldOfView(float viewportDimension) const;
  void SetFieldOfView(float fieldOfView, float viewportDimension);

  // ---- properties
  float FocalLength() const { return focalLength_; }
  // A value <= 0 is stored as 1.
  void SetFocalLength(float value);
  float DepthOfView() const { return depthOfView_; }
  void SetDepthOfView(float value);
  float NearPlane() const { return nearPlane_; }
  float NearPlaneBias() const { return nearPlaneBias_; }
  // A value <= 0 is stored as 1.
  void SetNearPlaneBias(float value);
  float ViewPortRadius() const { return viewPortRadius_; }
  TGLBaseSceneObject* TargetObject() const { return targetObject_; }
  void SetTargetObject(TGLBaseSceneObject* value);
  TGLCameraStyle CameraStyle() const { return cameraStyle_; }
  void SetCameraStyle(TGLCameraStyle value);
  float SceneScale() const { return sceneScale_; }
  // 0 is stored as 1.
  void SetSceneScale(float value);
  // The unit view direction of the last Apply.
  const TVector& LastDirection() const { return lastDirection_; }

  TOnCustomPerspective OnCustomPerspective;
  // When set, Apply calls it instead of its own set-up.
  TNotifyEvent OnApplyOverride;

  // ---- node overrides
  // Leaving a scene takes the buffers looking through the camera out of it:
  // the scene must not keep buffers that no longer reach it.
  void SetScene(TGL3DScene* scene) override;

  // ---- component streams
  // Position, Direction and Up of the base; DepthOfView and FocalLength
  // always, CameraStyle and TargetObject when not their defaults, SceneScale
  // and NearPlaneBias only when not 1.
  TGLBaseProperties PublishedBaseProperties() const override;
  void DefinePublished(TFiler& filer) override;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                        TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;

  // ---- buffers looking through the camera (called by the buffer)
  void AttachBuffer(TGL3DSceneBuffer& buffer);
  void DetachBuffer(TGL3DSceneBuffer& buffer);

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  float focalLength_ = 50.0f;
  float depthOfView_ = 100.0f;
  float nearPlane_ = 0.0f;
  float nearPlaneBias_ = 1.0f;
  float viewPortRadius_ = 0.0f;
  TGLBaseSceneObject* targetObject_ = nullptr;
  TVector lastDirection_{0.0f, 0.0f, -1.0f, 0.0f};
  TGLCameraStyle cameraStyle_ = TGLCameraStyle::csPerspective;
  float sceneScale_ = 1.0f;
  std::vector<TGL3DSceneBuffer*> buffers_;
};

// ---------------------------------------------------------------- light source

enum class TLightStyle : uint8_t { lsSpot, lsOmni, lsParallel };

class TGLLightSource : public TGLBaseSceneObject {
  QIRA_CLASS(TGLLightSource, TGLBaseSceneObject)

  TGLLightSource();
  // Leaves the scene's light slots.
  ~TGLLightSource() override;

  void Assign(const TPersistent* source) override;

  // GL_LIGHT0 + slot, set by the scene when it registers the light; 0 before.
  uint32_t LightID() const { return lightID_; }
  void SetLightID(uint32_t value) { lightID_ = value; }

  TGLCoordinates3& SpotDirection() const { return *spotDirection_; }
  // Assigns the vector with w := 0.
  void SetSpotDirection(const TGLCoordinates3& value);
  float SpotExponent() const { return spotExponent_; }
  void SetSpotExponent(float value);
  float SpotCutOff() const { return spotCutOff_; }
  // Accepted: 0..90 and exactly 180; any other value is ignored.
  void SetSpotCutOff(float value);
  float ConstAttenuation() const { return constAttenuation_; }
  void SetConstAttenuation(float value);
  float LinearAttenuation() const { return linearAttenuation_; }
  void SetLinearAttenuation(float value);
  float QuadraticAttenuation() const { return quadraticAttenuation_; }
  void SetQuadraticAttenuation(float value);
  bool Shining() const { return shining_; }
  void SetShining(bool value);
  TGLColor& Ambient() const { return *ambient_; }
  void SetAmbient(const TGLColor& value);
  TGLColor& Diffuse() const { return *diffuse_; }
  void SetDiffuse(const TGLColor& value);
  TGLColor& Specular() const { return *specular_; }
  void SetSpecular(const TGLColor& value);
  TLightStyle LightStyle() const { return lightStyle_; }
  void SetLightStyle(TLightStyle value);

  // ---- component streams
  // Position of the base; the colours, SpotDirection and the floats always,
  // LightStyle and Shining when not their defaults. A SpotCutOff read goes
  // through its setter, which ignores one it does not take.
  TGLBaseProperties PublishedBaseProperties() const override;
  void DefinePublished(TFiler& filer) override;

  // ---- node overrides
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                        TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;
  uint32_t GetHandle(TRenderContextInfo& rci) override;
  // The base rule, then TransformationChanged when SpotDirection changed.
  void CoordinateChanged(TGLCustomCoordinates* sender) override;

 private:
  uint32_t lightID_ = 0;
  std::unique_ptr<TGLCoordinates3> spotDirection_;
  float spotExponent_ = 0.0f;
  float spotCutOff_ = 180.0f;
  float constAttenuation_ = 1.0f;
  float linearAttenuation_ = 0.0f;
  float quadraticAttenuation_ = 0.0f;
  bool shining_ = true;
  std::unique_ptr<TGLColor> ambient_;
  std::unique_ptr<TGLColor> diffuse_;
  std::unique_ptr<TGLColor> specular_;
  TLightStyle lightStyle_ = TLightStyle::lsSpot;
};

// ----------------------------------------------------------------------- proxy

enum class TGLProxyObjectOption : uint8_t { pooEffects = 1, pooObjects = 2, pooTransformation = 4 };
using TGLProxyObjectOptions = TGLFlagSet<TGLProxyObjectOption>;

class TGLProxyObject : public TGLBaseSceneObject {
  QIRA_CLASS(TGLProxyObject, TGLBaseSceneObject)

  TGLProxyObject();
  ~TGLProxyObject() override;

  // From a proxy: takes its master, then the base Assign.
  void Assign(const TPersistent* source) override;

  TGLBaseSceneObject* MasterObject() const { return masterObject_; }
  virtual void SetMasterObject(TGLBaseSceneObject* value);
  TGLProxyObjectOptions ProxyOptions() const { return proxyOptions_; }
  void SetProxyOptions(TGLProxyObjectOptions value);

  // ---- component streams
  // The base set without VisibilityCulling; MasterObject and ProxyOptions
  // when not their defaults.
  TGLBaseProperties PublishedBaseProperties() const override;
  void DefinePublished(TFiler& filer) override;

  // ---- node overrides (each falls back to the base without a master)
  TVector AxisAlignedDimensionsUnscaled() const override;
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                        TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  TVector BarycenterAbsolutePosition() const override;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  TGLBaseSceneObject* masterObject_ = nullptr;
  TGLProxyObjectOptions proxyOptions_{TGLProxyObjectOption::pooEffects, TGLProxyObjectOption::pooObjects,
                                      TGLProxyObjectOption::pooTransformation};
  bool rendering_ = false;
};

}  // namespace qira

#include "scene/objects/DummyPlaneSprite.h"

#include <cmath>

#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

constexpr TVector kOpaqueWhite{1.0f, 1.0f, 1.0f, 1.0f};

}  // namespace

// ------------------------------------------------ shared drawing routines

void CubeWireframeBuildList(TRenderContextInfo& rci, bool stippled, const TVector& color, float size) {
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_COLOR_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glEnable(GL_LINE_SMOOTH);
  if (stippled) {
    glEnable(GL_LINE_STIPPLE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineStipple(1, 0xCCCC);
  }
  glLineWidth(1.0f);
  const float h = size * 0.5f;
  // The colour material below changes the material behind the cache's back.
  if (rci.GLStates != nullptr) rci.GLStates->ResetMaterialColors();
  glColorMaterial(GL_FRONT, GL_EMISSION);
  glEnable(GL_COLOR_MATERIAL);
  glColor4fv(color.data());
  glBegin(GL_LINE_STRIP);
  glVertex3f(h, -h, -h);
  glVertex3f(h, h, -h);
  glVertex3f(h, h, h);
  glVertex3f(h, -h, h);
  glVertex3f(h, -h, -h);
  glVertex3f(-h, -h, -h);
  glVertex3f(-h, -h, h);
  glVertex3f(-h, h, h);
  glVertex3f(-h, h, -h);
  glVertex3f(h, h, -h);
  glEnd();
  glBegin(GL_LINES);
  glVertex3f(h, h, h);
  glVertex3f(-h, h, h);
  glVertex3f(-h, -h, -h);
  glVertex3f(-h, h, -h);
  glVertex3f(h, -h, h);
  glVertex3f(-h, -h, h);
  glEnd();
  glPopAttrib();
}

void DodecahedronBuildList() {
  for (const auto& face : kDodecahedronFaces) {
    const TAffineVector n = CalcPlaneNormal(kDodecahedronVertices[face[0]], kDodecahedronVertices[face[1]],
                                            kDodecahedronVertices[face[2]]);
    glNormal3fv(n.data());
    glBegin(GL_TRIANGLE_FAN);
    for (uint8_t index : face) glVertex3fv(kDodecahedronVertices[index].data());
    glEnd();
  }
}

// ------------------------------------------------------------ TGLDummyCube

TGLDummyCube::TGLDummyCube() : edgeColor_(std::make_unique<TGLColor>(this, kOpaqueWhite)) {
  SetCamInvarianceMode(TGLCameraInvarianceMode::cimNone);
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
}

TGLDummyCube::~TGLDummyCube() = default;

void TGLDummyCube::SetCubeSize(float value) {
  if (value == cubeSize_) return;
  cubeSize_ = value;
  StructureChanged();
}

void TGLDummyCube::SetEdgeColor(const TGLColor& value) {
  edgeColor_->Assign(&value);
  StructureChanged();
}

void TGLDummyCube::SetVisibleAtRunTime(bool value) {
  if (value == visibleAtRunTime_) return;
  visibleAtRunTime_ = value;
  StructureChanged();
}

void TGLDummyCube::SetAmalgamate(bool value) {
  if (value == amalgamate_) return;
  amalgamate_ = value;
  if (value) {
    IncludeObjectStyle(TGLObjectStyle::ResetsFrontFace);
  } else {
    if (amalgamatedList_ != nullptr) amalgamatedList_->DestroyHandle();
    ExcludeObjectStyle(TGLObjectStyle::ResetsFrontFace);
  }
  StructureChanged();
}

void TGLDummyCube::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLDummyCube*>(source)) {
    cubeSize_ = src->cubeSize_;
    edgeColor_->Assign(src->edgeColor_.get());
    visibleAtRunTime_ = src->visibleAtRunTime_;
    SetAmalgamate(src->amalgamate_);
    NotifyChange(this);
  }
  TGLCameraInvariantObject::Assign(source);
}

TVector TGLDummyCube::AxisAlignedDimensionsUnscaled() const {
  const float h = std::fabs(cubeSize_) * 0.5f;
  return {h, h, h, 0.0f};
}

bool TGLDummyCube::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                    TVector* intersectNormal) const {
  (void)rayStart;
  (void)rayVector;
  (void)intersectPoint;
  (void)intersectNormal;
  return false;
}

TVector TGLDummyCube::BarycenterAbsolutePosition() const {
  const int count = ChildCount();
  if (count == 0) return GetAbsolutePosition();
  TVector sum{};
  for (int i = 0; i < count; ++i) sum = VectorAdd(sum, Children(i)->BarycenterAbsolutePosition());
  return VectorScale(sum, 1.0f / static_cast<float>(count));
}

void TGLDummyCube::BuildList(TRenderContextInfo& rci) {
  // There is no design time here: the wireframe shows only on request.
  if (visibleAtRunTime_) CubeWireframeBuildList(rci, true, edgeColor_->Color(), cubeSize_);
}

void TGLDummyCube::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (OnVisibilityDetermination && !OnVisibilityDetermination(this, rci)) return;
  // Inside another amalgamating cube this one renders into the outer list.
  if (!amalgamate_ || rci.amalgamating) {
    TGLCameraInvariantObject::DoRender(rci, renderSelf, renderChildren);
    return;
  }
  if (amalgamatedList_ == nullptr) amalgamatedList_ = std::make_unique<TGLListHandle>();
  TGLStateCache* cache = rci.GLStates;
  if (amalgamatedList_->Handle() == 0) {
    amalgamatedList_->AllocateHandle();
    const uint32_t name = amalgamatedList_->Handle();
    if (name == 0) {
      // No current context: nothing can be compiled.
      TGLCameraInvariantObject::DoRender(rci, renderSelf, renderChildren);
      return;
    }
    const TGLStates before = cache != nullptr ? cache->States() : TGLStates{};
    glNewList(name, GL_COMPILE);
    rci.amalgamating = true;
    try {
      TGLCameraInvariantObject::DoRender(rci, renderSelf, renderChildren);
    } catch (...) {
      rci.amalgamating = false;
      glEndList();
      amalgamatedList_->DestroyHandle();
      throw;
    }
    rci.amalgamating = false;
    glEndList();
    if (cache != nullptr) {
      // The compile moved the cache to the state the list leaves; each replay
      // brings it there again (below). Nothing ran yet: go back.
      listStatesChanged_ = before.Bits() ^ cache->States().Bits();
      listStatesAfter_ = cache->States().Bits();
      ApplyCachedStates(*cache, listStatesChanged_, before.Bits());
    }
  }
  glCallList(amalgamatedList_->Handle());
  if (cache != nullptr) {
    ApplyCachedStates(*cache, listStatesChanged_, listStatesAfter_);
    // Colours, polygon modes, bindings and winding the list set are unknown now.
    cache->ResetAll();
  }
}

void TGLDummyCube::ApplyCachedStates(TGLStateCache& cache, uint32_t mask, uint32_t values) {
  for (int i = 0; i < kGLStateCount; ++i) {
    const uint32_t bit = uint32_t{1} << i;
    if ((mask & bit) == 0) continue;
    if ((values & bit) != 0) {
      cache.EnableState(static_cast<TGLState>(i));
    } else {
      cache.DisableState(static_cast<TGLState>(i));
    }
  }
}

void TGLDummyCube::StructureChanged() {
  if (amalgamate_ && amalgamatedList_ != nullptr) amalgamatedList_->DestroyHandle();
  TGLCameraInvariantObject::StructureChanged();
}

void TGLDummyCube::DestroyHandle() {
  if (amalgamatedList_ != nullptr) amalgamatedList_->DestroyHandle();
  TGLCameraInvariantObject::DestroyHandle();
}

// ---------------------------------------------------------------- TGLPlane

TGLPlane::TGLPlane() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }

void TGLPlane::SetXOffset(float value) {
  if (value == xOffset_) return;
  xOffset_ = value;
  StructureChanged();
}

void TGLPlane::SetYOffset(float value) {
  if (value == yOffset_) return;
  yOffset_ = value;
  StructureChanged();
}

void TGLPlane::SetXScope(float value) {
  if (value > 1.0f) value = 1.0f;
  if (value == xScope_) return;
  xScope_ = value;
  StructureChanged();
}

void TGLPlane::SetYScope(float value) {
  if (value > 1.0f) value = 1.0f;
  if (value == yScope_) return;
  yScope_ = value;
  StructureChanged();
}

void TGLPlane::SetWidth(float value) {
  if (value == width_) return;
  width_ = value;
  StructureChanged();
}

void TGLPlane::SetHeight(float value) {
  if (value == height_) return;
  height_ = value;
  StructureChanged();
}

void TGLPlane::SetXTiles(int32_t value) {
  if (value < 1) value = 1;
  if (value == xTiles_) return;
  xTiles_ = value;
  StructureChanged();
}

void TGLPlane::SetYTiles(int32_t value) {
  if (value < 1) value = 1;
  if (value == yTiles_) return;
  yTiles_ = value;
  StructureChanged();
}

void TGLPlane::SetStyle(TPlaneStyles value) {
  if (value == style_) return;
  style_ = value;
  StructureChanged();
}

void TGLPlane::SetNoZWrite(bool value) {
  if (value == noZWrite_) return;
  noZWrite_ = value;
  StructureChanged();
}

void TGLPlane::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLPlane*>(source)) {
    xOffset_ = src->xOffset_;
    yOffset_ = src->yOffset_;
    xScope_ = src->xScope_;
    yScope_ = src->yScope_;
    width_ = src->width_;
    height_ = src->height_;
    xTiles_ = src->xTiles_;
    yTiles_ = src->yTiles_;
    style_ = src->style_;
    noZWrite_ = src->noZWrite_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLPlane::AxisAlignedDimensionsUnscaled() const {
  return {std::fabs(width_) * 0.5f, std::fabs(height_) * 0.5f, 0.0f, 0.0f};
}

bool TGLPlane::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                TVector* intersectNormal) const {
  const TVector start = AbsoluteToLocal(PointMake(rayStart.x, rayStart.y, rayStart.z));
  const TVector vector = AbsoluteToLocal(VectorMake(rayVector.x, rayVector.y, rayVector.z, 0.0f));
  const bool fromAbove = start.z >= 0.0f;
  if (fromAbove ? !(vector.z < 0.0f) : !(vector.z > 0.0f)) return false;
  const float t = start.z / vector.z;
  const float hitX = start.x - t * vector.x;
  const float hitY = start.y - t * vector.y;
  if (!(std::fabs(hitX) <= width_ * 0.5f) || !(std::fabs(hitY) <= height_ * 0.5f)) return false;
  if (intersectNormal != nullptr) {
    *intersectNormal = GetAbsoluteDirection();
    if (!fromAbove) *intersectNormal = VectorNegate(*intersectNormal);
  }
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(PointMake(hitX, hitY, 0.0f));
  return true;
}

std::unique_ptr<TGLSilhouette> TGLPlane::GenerateSilhouette(const TGLSilhouetteParameters& parameters) const {
  auto silhouette = std::make_unique<TGLSilhouette>();
  const float hw = width_ * 0.5f;
  const float hh = height_ * 0.5f;
  silhouette->Vertices.AddPoint(hw, hh, 0.0f);
  silhouette->Vertices.AddPoint(hw, -hh, 0.0f);
  silhouette->Vertices.AddPoint(-hw, -hh, 0.0f);
  silhouette->Vertices.AddPoint(-hw, hh, 0.0f);
  for (int i = 0; i < 4; ++i) {
    silhouette->Indices.Add(i);
    silhouette->Indices.Add((i + 1) % 4);
  }
  if (parameters.CappingRequired) {
    for (int index : {0, 1, 2, 2, 3, 0}) silhouette->CapIndices.Add(index);
  }
  return silhouette;
}

void TGLPlane::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const float hw = width_ * 0.5f;
  const float hh = height_ * 0.5f;
  glNormal3f(0.0f, 0.0f, 1.0f);
  float s0 = 0.0f;
  float t0 = 0.0f;
  float s1 = xScope_;
  float t1 = yScope_;
  if (style_.Contains(TPlaneStyle::psTileTexture)) {
    s0 = xOffset_;
    t0 = yOffset_;
    s1 = static_cast<float>(xTiles_) * xScope_ + xOffset_;
    t1 = static_cast<float>(yTiles_) * yScope_ + yOffset_;
  }
  if (noZWrite_) glDepthMask(GL_FALSE);
  if (style_.Contains(TPlaneStyle::psSingleQuad)) {
    glBegin(GL_QUADS);
    xgl.TexCoord2f(s1, t1);
    glVertex2f(hw, hh);
    xgl.TexCoord2f(s0, t1);
    glVertex2f(-hw, hh);
    xgl.TexCoord2f(s0, t0);
    glVertex2f(-hw, -hh);
    xgl.TexCoord2f(s1, t0);
    glVertex2f(hw, -hh);
    glEnd();
  } else {
    const float xTiles = static_cast<float>(xTiles_);
    const float yTiles = static_cast<float>(yTiles_);
    const float ds = (s1 - s0) / xTiles;
    const float dt = (t1 - t0) / yTiles;
    const float dx = width_ / xTiles;
    const float dy = height_ / yTiles;
    for (int32_t j = 0; j < yTiles_; ++j) {
      const float lowerT = t0 + static_cast<float>(j) * dt;
      const float upperT = t0 + static_cast<float>(j + 1) * dt;
      const float lowerY = -hh + static_cast<float>(j) * dy;
      const float upperY = -hh + static_cast<float>(j + 1) * dy;
      glBegin(GL_TRIANGLE_STRIP);
      for (int32_t i = 0; i <= xTiles_; ++i) {
        const float x = static_cast<float>(i) * dx - hw;
        const float s = s0 + static_cast<float>(i) * ds;
        xgl.TexCoord2f(s, upperT);
        glVertex2f(x, upperY);
        xgl.TexCoord2f(s, lowerT);
        glVertex2f(x, lowerY);
      }
      glEnd();
    }
  }
  if (noZWrite_) glDepthMask(GL_TRUE);
}

// --------------------------------------------------------------- TGLSprite

TGLSprite::TGLSprite() {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::NoVisibilityCulling);
}

void TGLSprite::SetWidth(float value) {
  if (value == width_) return;
  width_ = value;
  NotifyChange(this);
}

void TGLSprite::SetHeight(float value) {
  if (value == height_) return;
  height_ = value;
  NotifyChange(this);
}

void TGLSprite::SetRotation(float value) {
  if (value == rotation_) return;
  rotation_ = value;
  NotifyChange(this);
}

void TGLSprite::SetAlphaChannel(float value) {
  if (value < 0.0f) value = 0.0f;
  if (value > 1.0f) value = 1.0f;
  if (value == alphaChannel_) return;
  alphaChannel_ = value;
  NotifyChange(this);
}

void TGLSprite::SetNoZWrite(bool value) {
  noZWrite_ = value;
  NotifyChange(this);
}

void TGLSprite::SetMirrorU(bool value) {
  mirrorU_ = value;
  NotifyChange(this);
}

void TGLSprite::SetMirrorV(bool value) {
  mirrorV_ = value;
  NotifyChange(this);
}

void TGLSprite::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLSprite*>(source)) {
    width_ = src->width_;
    height_ = src->height_;
    rotation_ = src->rotation_;
    alphaChannel_ = src->alphaChannel_;
    noZWrite_ = src->noZWrite_;
    mirrorU_ = src->mirrorU_;
    mirrorV_ = src->mirrorV_;
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLSprite::AxisAlignedDimensionsUnscaled() const {
  const float hw = std::fabs(width_) * 0.5f;
  return {hw, std::fabs(height_) * 0.5f, hw, 0.0f};
}

std::array<TTexPoint, 4> TGLSprite::CornerTexPoints() const {
  const float leftS = mirrorU_ ? 1.0f : 0.0f;
  const float rightS = mirrorU_ ? 0.0f : 1.0f;
  const float bottomT = mirrorV_ ? 1.0f : 0.0f;
  const float topT = mirrorV_ ? 0.0f : 1.0f;
  return {{{rightS, topT}, {leftS, topT}, {leftS, bottomT}, {rightS, bottomT}}};
}

void TGLSprite::BuildList(TRenderContextInfo& rci) {
  if (alphaChannel_ != 1.0f && rci.GLStates != nullptr) {
    rci.GLStates->SetMaterialAlphaChannel(GL_FRONT, alphaChannel_);
  }
  if (noZWrite_) glDepthMask(GL_FALSE);
  TMatrix m;
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  const float* e = m.data();
  // The camera's right and up axes, in the sprite's own frame.
  TAffineVector vx = AffineVectorMake(e[0], e[4], e[8]);
  TAffineVector vy = AffineVectorMake(e[1], e[5], e[9]);
  NormalizeAffineVector(vx);
  NormalizeAffineVector(vy);
  ScaleAffineVector(vx, width_ * 0.5f);
  ScaleAffineVector(vy, height_ * 0.5f);
  const bool rotated = rotation_ != 0.0f;
  if (rotated) {
    glPushMatrix();
    glRotatef(rotation_, e[2], e[6], e[10]);
  }
  const std::array<TTexPoint, 4> tex = CornerTexPoints();
  const TAffineVector corners[4] = {AffineVectorAdd(vx, vy), AffineVectorSubtract(vy, vx),
                                    AffineVectorNegate(AffineVectorAdd(vx, vy)), AffineVectorSubtract(vx, vy)};
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    xgl.TexCoord2f(tex[i].s, tex[i].t);
    glVertex3fv(corners[i].data());
  }
  glEnd();
  if (rotated) glPopMatrix();
  if (noZWrite_) glDepthMask(GL_TRUE);
}

// ------------------------------------------------------- component streams

void TGLDummyCube::DefinePublished(TFiler& filer) {
  TGLCameraInvariantObject::DefinePublished(filer);
  DefineOrdinal(filer, "CamInvarianceMode", CamInvarianceMode(), TGLCameraInvarianceMode::cimOrientation,
                TGLCameraInvarianceMode::cimNone, [this](TGLCameraInvarianceMode v) { SetCamInvarianceMode(v); });
  DefineFloat(filer, "CubeSize", cubeSize_, true, [this](float v) { SetCubeSize(v); });
  DefineNested(filer, "EdgeColor", *edgeColor_);
  DefineBoolean(filer, "VisibleAtRunTime", visibleAtRunTime_, visibleAtRunTime_,
                [this](bool v) { SetVisibleAtRunTime(v); });
  DefineBoolean(filer, "Amalgamate", amalgamate_, amalgamate_, [this](bool v) { SetAmalgamate(v); });
}

void TGLPlane::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineFloat(filer, "XOffset", xOffset_, true, [this](float v) { SetXOffset(v); });
  DefineFloat(filer, "YOffset", yOffset_, true, [this](float v) { SetYOffset(v); });
  DefineFloat(filer, "XScope", xScope_, xScope_ != 1.0f, [this](float v) { SetXScope(v); });
  DefineFloat(filer, "YScope", yScope_, yScope_ != 1.0f, [this](float v) { SetYScope(v); });
  DefineFloat(filer, "Width", width_, true, [this](float v) { SetWidth(v); });
  DefineFloat(filer, "Height", height_, true, [this](float v) { SetHeight(v); });
  DefineInteger(filer, "XTiles", xTiles_, xTiles_ != 1, [this](int32_t v) { SetXTiles(v); });
  DefineInteger(filer, "YTiles", yTiles_, yTiles_ != 1, [this](int32_t v) { SetYTiles(v); });
  constexpr TPlaneStyles kBothStyles{TPlaneStyle::psSingleQuad, TPlaneStyle::psTileTexture};
  DefineFlags(filer, "Style", style_.Bits(), kBothStyles.Bits(), style_ != kBothStyles,
              [this](uint32_t bits) { SetStyle(TPlaneStyles::FromBits(static_cast<uint8_t>(bits))); });
  DefineBoolean(filer, "NoZWrite", noZWrite_, noZWrite_, [this](bool v) { SetNoZWrite(v); });
}

void TGLSprite::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineFloat(filer, "Width", width_, IsWidthStored(), [this](float v) { SetWidth(v); });
  DefineFloat(filer, "Height", height_, IsHeightStored(), [this](float v) { SetHeight(v); });
  DefineFloat(filer, "Rotation", rotation_, true, [this](float v) { SetRotation(v); });
  DefineFloat(filer, "AlphaChannel", alphaChannel_, IsAlphaChannelStored(), [this](float v) { SetAlphaChannel(v); });
  DefineBoolean(filer, "NoZWrite", noZWrite_, noZWrite_, [this](bool v) { SetNoZWrite(v); });
  DefineBoolean(filer, "MirrorU", mirrorU_, mirrorU_, [this](bool v) { SetMirrorU(v); });
  DefineBoolean(filer, "MirrorV", mirrorV_, mirrorV_, [this](bool v) { SetMirrorV(v); });
}

// ------------------------------------------------------------ registration

void RegisterDummyPlaneSpriteClasses() {
  RegisterClass(TGLDummyCube::StaticClass());
  RegisterClass(TGLPlane::StaticClass());
  RegisterClass(TGLSprite::StaticClass());
}

}  // namespace qira

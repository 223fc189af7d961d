// Sections: shared helpers; TGLDisk; TGLCylinderBase; TGLCone; TGLCylinder;
// TGLAnnulus; TGLArrowLine; TGLCapsule; TGLTorus; TGLFrustrum; TGLPolygon;
// component streams; registration.
#include "scene/objects/Quadrics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Rounding.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/Connectivity.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/Persistence.h"
#include "scene/math/PolynomialSolvers.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

TVector AsPoint(const TVector& v) { return {v.x, v.y, v.z, 1.0f}; }
TVector AsDirection(const TVector& v) { return {v.x, v.y, v.z, 0.0f}; }

template <typename T>
bool Store(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

// A ray in object space: the start as a point, the direction normalised.
struct TLocalRay {
  TVector p;
  TVector d;
  TVector At(double t) const {
    return {static_cast<float>(p.x + t * d.x), static_cast<float>(p.y + t * d.y),
            static_cast<float>(p.z + t * d.z), 1.0f};
  }
};

TLocalRay ToLocal(const TGLBaseSceneObject& object, const TVector& rayStart, const TVector& rayVector) {
  return {object.AbsoluteToLocal(AsPoint(rayStart)), VectorNormalize(object.AbsoluteToLocal(AsDirection(rayVector)))};
}

// Deletes the GLU quadric of one build on every way out.
struct TQuadricHolder {
  GLUquadric* q = gluNewQuadric();
  ~TQuadricHolder() {
    if (q != nullptr) gluDeleteQuadric(q);
  }
  TQuadricHolder() = default;
  TQuadricHolder(const TQuadricHolder&) = delete;
  TQuadricHolder& operator=(const TQuadricHolder&) = delete;
};

// Nearest non-negative root of a straight cylinder x^2 + z^2 = radius^2 around Y.
bool StraightCylinderRoot(const TLocalRay& ray, float radius, double& t) {
  const double a = double(ray.d.x) * ray.d.x + double(ray.d.z) * ray.d.z;
  const double b = 2.0 * (double(ray.p.x) * ray.d.x + double(ray.p.z) * ray.d.z);
  const double c = double(ray.p.x) * ray.p.x + double(ray.p.z) * ray.p.z - double(radius) * radius;
  const std::vector<double> roots = SolveQuadric({c, b, a});
  return SmallestNonNegativeRoot(roots, t);
}

double RadialSquare(const TVector& q) { return double(q.x) * q.x + double(q.z) * q.z; }

// The cylinder and capsule scheme: flat caps at y0 and y1 of `radius` and a
// straight side of that radius; the side replaces a cap hit when its nearest
// root lies in the slab's parameter range.
bool CappedCylinderCast(const TGLBaseSceneObject& object, const TVector& rayStart, const TVector& rayVector,
                        float radius, float y0, float y1, TCylinderParts parts, TVector* intersectPoint,
                        TVector* intersectNormal) {
  const TLocalRay ray = ToLocal(object, rayStart, rayVector);
  const double r2 = double(radius) * radius;
  bool hit = false;
  TVector point = NullHmgPoint;
  TVector normal = NullHmgVector;
  double tMin = -HUGE_VAL;
  double tMax = HUGE_VAL;
  if (ray.d.y == 0.0f) {
    if (ray.p.y < y0 || ray.p.y > y1) return false;
  } else {
    const double t1 = (double(y1) - ray.p.y) / ray.d.y;
    const double t0 = (double(y0) - ray.p.y) / ray.d.y;
    const bool hasTop = parts.Contains(TCylinderPart::cyTop);
    if (hasTop && t1 > 0.0) {
      const TVector q = ray.At(t1);
      if (RadialSquare(q) <= r2) {
        hit = true;
        point = q;
        normal = YHmgVector;
      }
    }
    if (parts.Contains(TCylinderPart::cyBottom) && t0 > 0.0 && (t0 < t1 || !hasTop)) {
      const TVector q = ray.At(t0);
      if (RadialSquare(q) <= r2) {
        hit = true;
        point = q;
        normal = VectorNegate(YHmgVector);
      }
    }
    tMin = std::min(t0, t1);
    tMax = std::max(t0, t1);
  }
  if (parts.Contains(TCylinderPart::cySides)) {
    double t = 0.0;
    if (StraightCylinderRoot(ray, radius, t) && t >= tMin && t < tMax) {
      hit = true;
      point = ray.At(t);
      normal = {point.x, 0.0f, point.z, 0.0f};
    }
  }
  if (!hit) return false;
  if (intersectPoint != nullptr) *intersectPoint = object.LocalToAbsolute(point);
  if (intersectNormal != nullptr) *intersectNormal = object.LocalToAbsolute(normal);
  return true;
}

// Bottom and top of the slab of a cylinder or capsule of `height`.
void AlignedSlab(TCylinderAlignment alignment, float height, float& y0, float& y1) {
  switch (alignment) {
    case TCylinderAlignment::caCenter:
      y0 = -height * 0.5f;
      y1 = height * 0.5f;
      break;
    case TCylinderAlignment::caTop:
      y0 = -height;
      y1 = 0.0f;
      break;
    case TCylinderAlignment::caBottom:
      y0 = 0.0f;
      y1 = height;
      break;
  }
}

}  // namespace

// -------------------------------------------------------------------- TGLDisk

void TGLDisk::SetStartAngle(float value) {
  if (Store(startAngle_, value)) StructureChanged();
}
void TGLDisk::SetSweepAngle(float value) {
  if (Store(sweepAngle_, value)) StructureChanged();
}
void TGLDisk::SetOuterRadius(float value) {
  if (Store(outerRadius_, value)) StructureChanged();
}
void TGLDisk::SetInnerRadius(float value) {
  if (Store(innerRadius_, value)) StructureChanged();
}
void TGLDisk::SetSlices(int32_t value) {
  if (Store(slices_, value)) StructureChanged();
}
void TGLDisk::SetLoops(int32_t value) {
  if (Store(loops_, value)) StructureChanged();
}

void TGLDisk::Assign(const TPersistent* source) {
  if (const auto* disk = dynamic_cast<const TGLDisk*>(source)) {
    startAngle_ = disk->startAngle_;
    sweepAngle_ = disk->sweepAngle_;
    outerRadius_ = disk->outerRadius_;
    innerRadius_ = disk->innerRadius_;
    slices_ = disk->slices_;
    loops_ = disk->loops_;
    StructureChanged();
  }
  TGLQuadricObject::Assign(source);
}

TVector TGLDisk::AxisAlignedDimensionsUnscaled() const {
  const float r = std::fabs(outerRadius_);
  return {r, r, 0.0f, 0.0f};
}

bool TGLDisk::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                               TVector* intersectNormal) const {
  if (!(sweepAngle_ > 0.0f)) return false;
  const TVector zAxis = LocalToAbsolute(ZHmgVector);
  TVector absoluteHit = NullHmgPoint;
  if (!RayCastPlaneIntersect(AsPoint(rayStart), AsDirection(rayVector), GetAbsolutePosition(),
                             VectorNormalize(zAxis), &absoluteHit)) {
    return false;
  }
  const TVector local = AbsoluteToLocal(AsPoint(absoluteHit));
  const double d2 = double(local.x) * local.x + double(local.y) * local.y + double(local.z) * local.z;
  if (d2 < double(innerRadius_) * innerRadius_ || d2 > double(outerRadius_) * outerRadius_) return false;
  if (sweepAngle_ < 360.0f) {
    double a = std::atan2(double(local.x), double(local.y)) * 180.0 / cPIdouble;
    if (a < 0.0) a += 360.0;
    const int32_t s = TruncToInt(startAngle_) % 360;
    const int32_t e = TruncToInt(double(startAngle_) + double(sweepAngle_)) % 360;
    const bool inside = s <= e ? (s < a && a < e) : (a > s || a < e);
    if (!inside) return false;
  }
  if (intersectPoint != nullptr) *intersectPoint = AsPoint(absoluteHit);
  if (intersectNormal != nullptr) *intersectNormal = zAxis;
  return true;
}

void TGLDisk::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  TQuadricHolder quadric;
  if (quadric.q == nullptr) return;
  SetupQuadricParams(quadric.q);
  gluPartialDisk(quadric.q, innerRadius_, outerRadius_, slices_, loops_, startAngle_, sweepAngle_);
}

// ------------------------------------------------------------ TGLCylinderBase

void TGLCylinderBase::SetBottomRadius(float value) {
  if (Store(bottomRadius_, value)) StructureChanged();
}
void TGLCylinderBase::SetSlices(int32_t value) {
  if (Store(slices_, value)) StructureChanged();
}
void TGLCylinderBase::SetStacks(int32_t value) {
  if (Store(stacks_, value)) StructureChanged();
}
void TGLCylinderBase::SetLoops(int32_t value) {
  if (value < 1) return;
  if (Store(loops_, value)) StructureChanged();
}
void TGLCylinderBase::SetHeight(float value) {
  if (Store(height_, value)) StructureChanged();
}

void TGLCylinderBase::Assign(const TPersistent* source) {
  if (const auto* base = dynamic_cast<const TGLCylinderBase*>(source)) {
    bottomRadius_ = base->bottomRadius_;
    slices_ = base->slices_;
    stacks_ = base->stacks_;
    loops_ = base->loops_;
    height_ = base->height_;
    StructureChanged();
  }
  TGLQuadricObject::Assign(source);
}

std::unique_ptr<TGLSilhouette> TGLCylinderBase::GenerateSilhouette(const TGLSilhouetteParameters& parameters) const {
  // A query leaves the stored Slices alone; the outline just uses at least 5.
  const int slices = std::max(slices_, int32_t{5});
  const float h = height_ * 0.5f;
  const float topRadius = GetTopRadius();
  const TAffineVector bottomCentre{0.0f, -h, 0.0f};
  const TAffineVector topCentre{0.0f, h, 0.0f};
  TConnectivity connectivity(true);
  auto rim = [&](int i, float radius, float y) {
    const double a = 2.0 * cPIdouble * (i % slices) / slices;
    return TAffineVector{static_cast<float>(radius * std::cos(a)), y, static_cast<float>(radius * std::sin(a))};
  };
  for (int i = 0; i < slices; ++i) {
    const TAffineVector b0 = rim(i, bottomRadius_, -h);
    const TAffineVector b1 = rim(i + 1, bottomRadius_, -h);
    const TAffineVector t0 = rim(i, topRadius, h);
    const TAffineVector t1 = rim(i + 1, topRadius, h);
    connectivity.AddFace(bottomCentre, b0, b1);
    connectivity.AddFace(topCentre, t1, t0);
    connectivity.AddFace(b0, t0, t1);
    connectivity.AddFace(b0, t1, b1);
  }
  std::unique_ptr<TGLSilhouette> silhouette;
  connectivity.CreateSilhouette(parameters, silhouette, false);
  if (silhouette == nullptr) silhouette = std::make_unique<TGLSilhouette>();
  return silhouette;
}

// -------------------------------------------------------------------- TGLCone

void TGLCone::SetParts(TConeParts value) {
  if (Store(parts_, value)) StructureChanged();
}

void TGLCone::Assign(const TPersistent* source) {
  if (const auto* cone = dynamic_cast<const TGLCone*>(source)) {
    parts_ = cone->parts_;
    StructureChanged();
  }
  TGLCylinderBase::Assign(source);
}

TVector TGLCone::AxisAlignedDimensionsUnscaled() const {
  const float r = std::fabs(BottomRadius());
  return {r, Height() * 0.5f, r, 0.0f};
}

bool TGLCone::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                               TVector* intersectNormal) const {
  const TLocalRay ray = ToLocal(*this, rayStart, rayVector);
  const double halfHeight = Height() * 0.5;
  const double r2 = double(BottomRadius()) * BottomRadius();
  if (parts_.Contains(TConePart::coBottom) && ray.p.y < -halfHeight) {
    TVector hit = NullHmgPoint;
    const TVector planePoint{0.0f, static_cast<float>(-halfHeight), 0.0f, 1.0f};
    if (RayCastPlaneIntersect(ray.p, ray.d, planePoint, YHmgVector, &hit) && RadialSquare(hit) <= r2) {
      if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(AsPoint(hit));
      if (intersectNormal != nullptr) *intersectNormal = VectorNegate(LocalToAbsolute(YHmgVector));
      return true;
    }
  }
  if (!parts_.Contains(TConePart::coSides) || Height() == 0.0f) return false;
  const double k = -r2 / (double(Height()) * Height());
  const double h = ray.p.y - halfHeight;
  const double a = double(ray.d.x) * ray.d.x + k * ray.d.y * ray.d.y + double(ray.d.z) * ray.d.z;
  const double b = 2.0 * (double(ray.p.x) * ray.d.x + k * h * ray.d.y + double(ray.p.z) * ray.d.z);
  const double c = double(ray.p.x) * ray.p.x + k * h * h + double(ray.p.z) * ray.p.z;
  const std::vector<double> roots = SolveQuadric({c, b, a});
  double t = 0.0;
  if (!SmallestNonNegativeRoot(roots, t)) return false;
  const TVector q = ray.At(t);
  if (!(q.y > -halfHeight && q.y < halfHeight)) return false;
  const TVector n = VectorNormalize(
      TVector{q.x, static_cast<float>(k * (q.y - halfHeight)), q.z, 0.0f});
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(q);
  if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(n);
  return true;
}

void TGLCone::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  TQuadricHolder quadric;
  if (quadric.q == nullptr) return;
  glPushMatrix();
  SetupQuadricParams(quadric.q);
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  glTranslatef(0.0f, 0.0f, -Height() * 0.5f);
  if (parts_.Contains(TConePart::coSides)) gluCylinder(quadric.q, BottomRadius(), 0.0, Height(), Slices(), Stacks());
  if (parts_.Contains(TConePart::coBottom)) {
    SetInvertedQuadricOrientation(quadric.q);
    gluDisk(quadric.q, 0.0, BottomRadius(), Slices(), Loops());
  }
  glPopMatrix();
}

// ---------------------------------------------------------------- TGLCylinder

void TGLCylinder::SetParts(TCylinderParts value) {
  if (Store(parts_, value)) StructureChanged();
}
void TGLCylinder::SetTopRadius(float value) {
  if (Store(topRadius_, value)) StructureChanged();
}
void TGLCylinder::SetAlignment(TCylinderAlignment value) {
  if (Store(alignment_, value)) StructureChanged();
}

void TGLCylinder::Assign(const TPersistent* source) {
  if (const auto* cylinder = dynamic_cast<const TGLCylinder*>(source)) {
    parts_ = cylinder->parts_;
    topRadius_ = cylinder->topRadius_;
    StructureChanged();
  }
  TGLCylinderBase::Assign(source);
}

TVector TGLCylinder::AxisAlignedDimensionsUnscaled() const {
  const float r = std::max(std::fabs(BottomRadius()), std::fabs(topRadius_));
  return {r, Height() * 0.5f, r, 0.0f};
}

bool TGLCylinder::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                   TVector* intersectNormal) const {
  float y0 = 0.0f;
  float y1 = 0.0f;
  AlignedSlab(alignment_, Height(), y0, y1);
  return CappedCylinderCast(*this, rayStart, rayVector, topRadius_, y0, y1, parts_, intersectPoint,
                            intersectNormal);
}

void TGLCylinder::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  TQuadricHolder quadric;
  if (quadric.q == nullptr) return;
  glPushMatrix();
  SetupQuadricParams(quadric.q);
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  switch (alignment_) {
    case TCylinderAlignment::caCenter:
      glTranslatef(0.0f, 0.0f, -Height() * 0.5f);
      break;
    case TCylinderAlignment::caTop:
      glTranslatef(0.0f, 0.0f, -Height());
      break;
    case TCylinderAlignment::caBottom:
      break;
  }
  if (parts_.Contains(TCylinderPart::cySides)) {
    gluCylinder(quadric.q, BottomRadius(), topRadius_, Height(), Slices(), Stacks());
  }
  if (parts_.Contains(TCylinderPart::cyTop)) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, Height());
    gluDisk(quadric.q, 0.0, topRadius_, Slices(), Loops());
    glPopMatrix();
  }
  if (parts_.Contains(TCylinderPart::cyBottom)) {
    SetInvertedQuadricOrientation(quadric.q);
    gluDisk(quadric.q, 0.0, BottomRadius(), Slices(), Loops());
  }
  glPopMatrix();
}

// ----------------------------------------------------------------- TGLAnnulus

void TGLAnnulus::SetParts(TAnnulusParts value) {
  if (Store(parts_, value)) StructureChanged();
}
void TGLAnnulus::SetBottomInnerRadius(float value) {
  if (Store(bottomInnerRadius_, value)) StructureChanged();
}
void TGLAnnulus::SetTopInnerRadius(float value) {
  if (Store(topInnerRadius_, value)) StructureChanged();
}
void TGLAnnulus::SetTopRadius(float value) {
  if (Store(topRadius_, value)) StructureChanged();
}

void TGLAnnulus::Assign(const TPersistent* source) {
  if (const auto* annulus = dynamic_cast<const TGLAnnulus*>(source)) {
    parts_ = annulus->parts_;
    bottomInnerRadius_ = annulus->bottomInnerRadius_;
    topInnerRadius_ = annulus->topInnerRadius_;
    topRadius_ = annulus->topRadius_;
    SetBottomRadius(annulus->BottomRadius());
    StructureChanged();
  }
  TGLCylinderBase::Assign(source);
}

TVector TGLAnnulus::AxisAlignedDimensionsUnscaled() const {
  const float r = std::max(std::fabs(BottomRadius()), std::fabs(topRadius_));
  return {r, Height() * 0.5f, r, 0.0f};
}

bool TGLAnnulus::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                  TVector* intersectNormal) const {
  const TLocalRay ray = ToLocal(*this, rayStart, rayVector);
  const double y1 = Height() * 0.5;
  const double y0 = -y1;
  const double outer2 = double(topRadius_) * topRadius_;
  const double inner2 = double(topInnerRadius_) * topInnerRadius_;
  bool hit = false;
  TVector point = NullHmgPoint;
  TVector normal = NullHmgVector;
  double tMin = -HUGE_VAL;
  double tMax = HUGE_VAL;
  if (ray.d.y == 0.0f) {
    if (ray.p.y < y0 || ray.p.y > y1) return false;
  } else {
    const double t1 = (y1 - ray.p.y) / ray.d.y;
    const double t0 = (y0 - ray.p.y) / ray.d.y;
    const bool upward = ray.d.y >= 0.0f;
    const bool capSet = upward ? parts_.Contains(TAnnulusPart::anBottom) : parts_.Contains(TAnnulusPart::anTop);
    const double tCap = upward ? t0 : t1;
    if (capSet && tCap > 0.0) {
      const TVector q = ray.At(tCap);
      const double r2 = RadialSquare(q);
      if (inner2 <= r2 && r2 <= outer2) {
        hit = true;
        point = q;
        normal = upward ? VectorNegate(YHmgVector) : YHmgVector;
      }
    }
    tMin = std::min(t0, t1);
    tMax = std::max(t0, t1);
  }
  std::vector<double> roots;
  double t = 0.0;
  if (parts_.Contains(TAnnulusPart::anOuterSides) && StraightCylinderRoot(ray, topRadius_, t)) roots.push_back(t);
  if (parts_.Contains(TAnnulusPart::anInnerSides) && StraightCylinderRoot(ray, topInnerRadius_, t)) {
    roots.push_back(t);
  }
  if (SmallestNonNegativeRoot(roots, t) && t >= tMin && t < tMax) {
    hit = true;
    point = ray.At(t);
    normal = {point.x, 0.0f, point.z, 0.0f};
  }
  if (!hit) return false;
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(point);
  if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(normal);
  return true;
}

void TGLAnnulus::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  TQuadricHolder quadric;
  if (quadric.q == nullptr) return;
  glPushMatrix();
  SetupQuadricParams(quadric.q);
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  glTranslatef(0.0f, 0.0f, -Height() * 0.5f);
  if (parts_.Contains(TAnnulusPart::anOuterSides)) {
    gluCylinder(quadric.q, BottomRadius(), topRadius_, Height(), Slices(), Stacks());
  }
  if (parts_.Contains(TAnnulusPart::anTop)) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, Height());
    gluDisk(quadric.q, topInnerRadius_, topRadius_, Slices(), Loops());
    glPopMatrix();
  }
  if (parts_.Contains(TAnnulusPart::anBottom) || parts_.Contains(TAnnulusPart::anInnerSides)) {
    SetInvertedQuadricOrientation(quadric.q);
    if (parts_.Contains(TAnnulusPart::anBottom)) {
      gluDisk(quadric.q, bottomInnerRadius_, BottomRadius(), Slices(), Loops());
    }
    if (parts_.Contains(TAnnulusPart::anInnerSides)) {
      gluCylinder(quadric.q, bottomInnerRadius_, topInnerRadius_, Height(), Slices(), Stacks());
    }
  }
  glPopMatrix();
}

// --------------------------------------------------------------- TGLArrowLine

TGLArrowLine::TGLArrowLine() { SetBottomRadius(0.1f); }

void TGLArrowLine::SetParts(TArrowLineParts value) {
  if (Store(parts_, value)) StructureChanged();
}
void TGLArrowLine::SetTopRadius(float value) {
  if (Store(topRadius_, value)) StructureChanged();
}
void TGLArrowLine::SetTopArrowHeadHeight(float value) {
  if (Store(topArrowHeadHeight_, value)) StructureChanged();
}
void TGLArrowLine::SetTopArrowHeadRadius(float value) {
  if (Store(topArrowHeadRadius_, value)) StructureChanged();
}
void TGLArrowLine::SetBottomArrowHeadHeight(float value) {
  if (Store(bottomArrowHeadHeight_, value)) StructureChanged();
}
void TGLArrowLine::SetBottomArrowHeadRadius(float value) {
  if (Store(bottomArrowHeadRadius_, value)) StructureChanged();
}
void TGLArrowLine::SetHeadStackingStyle(TArrowHeadStackingStyle value) {
  if (Store(headStackingStyle_, value)) StructureChanged();
}

void TGLArrowLine::Assign(const TPersistent* source) {
  if (const auto* arrow = dynamic_cast<const TGLArrowLine*>(source)) {
    parts_ = arrow->parts_;
    topRadius_ = arrow->topRadius_;
    topArrowHeadHeight_ = arrow->topArrowHeadHeight_;
    topArrowHeadRadius_ = arrow->topArrowHeadRadius_;
    bottomArrowHeadHeight_ = arrow->bottomArrowHeadHeight_;
    bottomArrowHeadRadius_ = arrow->bottomArrowHeadRadius_;
    headStackingStyle_ = arrow->headStackingStyle_;
    StructureChanged();
  }
  TGLCylinderBase::Assign(source);
}

void TGLArrowLine::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  TQuadricHolder quadric;
  if (quadric.q == nullptr) return;
  float f = 0.0f;
  switch (headStackingStyle_) {
    case TArrowHeadStackingStyle::ahssStacked:
      f = 0.0f;
      break;
    case TArrowHeadStackingStyle::ahssCentered:
      f = 0.5f;
      break;
    case TArrowHeadStackingStyle::ahssIncluded:
      f = 1.0f;
      break;
  }
  const bool line = parts_.Contains(TArrowLinePart::alLine);
  const bool topHead = parts_.Contains(TArrowLinePart::alTopArrow);
  const bool bottomHead = parts_.Contains(TArrowLinePart::alBottomArrow);
  float length = Height();
  float z0 = -Height() * 0.5f;
  SetupQuadricParams(quadric.q);
  if (topHead) {
    length -= topArrowHeadHeight_ * f;
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, Height() * 0.5f - topArrowHeadHeight_ * f);
    gluCylinder(quadric.q, topArrowHeadRadius_, 0.0, topArrowHeadHeight_, Slices(), Stacks());
    SetInvertedQuadricOrientation(quadric.q);
    gluDisk(quadric.q, line ? topRadius_ : 0.0f, topArrowHeadRadius_, Slices(), Loops());
    glPopMatrix();
  }
  if (bottomHead) {
    length -= bottomArrowHeadHeight_ * f;
    z0 += bottomArrowHeadHeight_ * f;
    glPushMatrix();
    glRotatef(180.0f, 1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, 0.0f, Height() * 0.5f - bottomArrowHeadHeight_ * f);
    SetNormalQuadricOrientation(quadric.q);
    gluCylinder(quadric.q, bottomArrowHeadRadius_, 0.0, bottomArrowHeadHeight_, Slices(), Stacks());
    SetInvertedQuadricOrientation(quadric.q);
    gluDisk(quadric.q, line ? BottomRadius() : 0.0f, bottomArrowHeadRadius_, Slices(), Loops());
    glPopMatrix();
  }
  if (line && length > 0.0f) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, z0);
    SetNormalQuadricOrientation(quadric.q);
    gluCylinder(quadric.q, BottomRadius(), topRadius_, length, Slices(), Stacks());
    if (!topHead) {
      glPushMatrix();
      glTranslatef(0.0f, 0.0f, length);
      gluDisk(quadric.q, 0.0, topRadius_, Slices(), Loops());
      glPopMatrix();
    }
    if (!bottomHead) {
      SetInvertedQuadricOrientation(quadric.q);
      gluDisk(quadric.q, 0.0, BottomRadius(), Slices(), Loops());
    }
    glPopMatrix();
  }
}

// ----------------------------------------------------------------- TGLCapsule

void TGLCapsule::SetParts(TCylinderParts value) {
  if (Store(parts_, value)) StructureChanged();
}
void TGLCapsule::SetRadius(float value) {
  if (Store(radius_, value)) StructureChanged();
}
void TGLCapsule::SetSlices(int32_t value) {
  if (Store(slices_, value)) StructureChanged();
}
void TGLCapsule::SetStacks(int32_t value) {
  if (Store(stacks_, value)) StructureChanged();
}
void TGLCapsule::SetHeight(float value) {
  if (Store(height_, value)) StructureChanged();
}
void TGLCapsule::SetAlignment(TCylinderAlignment value) {
  if (Store(alignment_, value)) StructureChanged();
}

void TGLCapsule::Assign(const TPersistent* source) {
  if (const auto* capsule = dynamic_cast<const TGLCapsule*>(source)) {
    parts_ = capsule->parts_;
    radius_ = capsule->radius_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLCapsule::AxisAlignedDimensionsUnscaled() const {
  const float r = std::fabs(radius_);
  return {r, height_ * 0.5f, r, 0.0f};
}

bool TGLCapsule::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                  TVector* intersectNormal) const {
  float y0 = 0.0f;
  float y1 = 0.0f;
  AlignedSlab(alignment_, height_, y0, y1);
  return CappedCylinderCast(*this, rayStart, rayVector, radius_, y0, y1, parts_, intersectPoint, intersectNormal);
}

void TGLCapsule::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  // The product in 64 bits: Slices * Stacks of two large values must not wrap.
  const int64_t count = int64_t{slices_} * int64_t{stacks_};
  if (count < 1 || count > (int64_t{1} << 20)) return;
  const int n = static_cast<int>(count);
  const double step = 2.0 * cPIdouble / n;
  const double h = height_ * 0.5;
  const double r = radius_;
  glPushMatrix();
  glRotatef(-90.0f, 0.0f, 0.0f, 1.0f);
  switch (alignment_) {
    case TCylinderAlignment::caTop:
      glTranslatef(0.0f, 0.0f, height_ + 1.0f);
      break;
    case TCylinderAlignment::caBottom:
      glTranslatef(0.0f, 0.0f, -height_);
      break;
    case TCylinderAlignment::caCenter:
      glTranslatef(0.0f, 0.0f, 0.5f);
      break;
  }
  auto vertex = [](double nx, double ny, double nz, float s, float t, double x, double y, double z) {
    glNormal3f(static_cast<float>(nx), static_cast<float>(ny), static_cast<float>(nz));
    xgl.TexCoord2f(s, t);
    glVertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  };
  const float fn = static_cast<float>(n);
  if (parts_.Contains(TCylinderPart::cySides)) {
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i <= n; ++i) {
      const double x = -std::sin(i * step);  // starts at (0, 1)
      const double y = std::cos(i * step);
      vertex(x, y, 0.0, i / fn, 1.0f, x * r, y * r, h - 0.5);
      vertex(x, y, 0.0, i / fn, 0.0f, x * r, y * r, -h - 0.5);
    }
    glEnd();
  }
  // The caps' band count divides by Stacks; count >= 1 means Stacks is nonzero.
  const int bands = n / stacks_;
  for (int cap = 0; cap < 2; ++cap) {
    const bool top = cap == 0;
    if (!parts_.Contains(top ? TCylinderPart::cyTop : TCylinderPart::cyBottom)) continue;
    const double sign = top ? 1.0 : -1.0;
    for (int k = 0; k <= bands; ++k) {
      const double m0 = sign * k * step;
      const double m1 = sign * (k + 1) * step;
      glPushMatrix();
      glTranslatef(0.0f, 0.0f, -0.5f);
      glBegin(GL_TRIANGLE_STRIP);
      for (int i = 0; i <= n; ++i) {
        const double x = std::cos(i * step);  // starts at (1, 0)
        const double y = std::sin(i * step);
        auto meridian = [&](double m, float t) {
          const double nx = x * std::cos(m);
          const double ny = y * std::cos(m);
          const double nz = std::sin(m);
          vertex(nx, ny, nz, i / fn, t, nx * r, ny * r, nz * r + sign * h);
        };
        if (top) {
          meridian(m1, k / fn);
          meridian(m0, (k - 1) / fn);
        } else {
          meridian(m0, (k - 1) / fn);
          meridian(m1, k / fn);
        }
      }
      glEnd();
      glPopMatrix();
    }
  }
  glPopMatrix();
}

// ------------------------------------------------------------------- TGLTorus

void TGLTorus::SetRings(uint32_t value) {
  if (Store(rings_, std::max(value, uint32_t{2}))) StructureChanged();
}
void TGLTorus::SetSides(uint32_t value) {
  if (Store(sides_, std::max(value, uint32_t{3}))) StructureChanged();
}
void TGLTorus::SetMinorRadius(float value) {
  if (Store(minorRadius_, value)) StructureChanged();
}
void TGLTorus::SetMajorRadius(float value) {
  if (Store(majorRadius_, value)) StructureChanged();
}

TVector TGLTorus::AxisAlignedDimensionsUnscaled() const {
  const float r = std::fabs(minorRadius_);
  const float e = std::fabs(majorRadius_) + r;
  return {e, e, r, 0.0f};
}

bool TGLTorus::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                TVector* intersectNormal) const {
  const TLocalRay ray = ToLocal(*this, rayStart, rayVector);
  const double R = majorRadius_;
  const double r = minorRadius_;
  const double px = ray.p.x, py = ray.p.y, pz = ray.p.z;
  const double dx = ray.d.x, dy = ray.d.y, dz = ray.d.z;
  // |p + t d|^2 = t^2 + 2 pd t + pp with |d| = 1.
  const double pd = px * dx + py * dy + pz * dz;
  const double g = px * px + py * py + pz * pz + R * R - r * r;
  const double fourR2 = 4.0 * R * R;
  const std::array<double, 5> c{g * g - fourR2 * (px * px + py * py), 4.0 * pd * g - 2.0 * fourR2 * (px * dx + py * dy),
                                4.0 * pd * pd + 2.0 * g - fourR2 * (dx * dx + dy * dy), 4.0 * pd, 1.0};
  const std::vector<double> roots = SolveQuartic(c);
  double best = 1e20;
  bool found = false;
  // The solver can report real roots for a pair of complex double roots (a
  // ray down the axis through the hole); a root counts only when its point
  // lies on the tube.
  const double tolerance = 1e-3 * (std::fabs(R) + std::fabs(r)) + 1e-9;
  auto onTube = [&](double t) {
    const double x = px + t * dx, y = py + t * dy, z = pz + t * dz;
    const double radial = std::sqrt(x * x + y * y) - std::fabs(R);
    return std::fabs(std::sqrt(radial * radial + z * z) - std::fabs(r)) <= tolerance;
  };
  for (double t : roots) {
    if (t > 0.0 && t < best && onTube(t)) {
      best = t;
      found = true;
    }
  }
  if (!found) return false;
  const TVector q = ray.At(best);
  const double len = std::sqrt(double(q.x) * q.x + double(q.y) * q.y) + 1e-6;
  const TVector n{static_cast<float>(q.x - q.x * R / len), static_cast<float>(q.y - q.y * R / len), q.z, 0.0f};
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(q);
  if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(n);
  return true;
}

void TGLTorus::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const double R = majorRadius_;
  const double r = minorRadius_;
  const double ringStep = 2.0 * cPIdouble / rings_;
  const double sideStep = 2.0 * cPIdouble / sides_;
  const float fr = static_cast<float>(rings_);
  const float fs = static_cast<float>(sides_);
  auto emit = [&](double a, double b, float s, float t) {
    const double cb = std::cos(b);
    glNormal3f(static_cast<float>(cb * std::cos(a)), static_cast<float>(-cb * std::sin(a)),
               static_cast<float>(std::sin(b)));
    xgl.TexCoord2f(s, t);
    glVertex3f(static_cast<float>((R + r * cb) * std::cos(a)), static_cast<float>(-(R + r * cb) * std::sin(a)),
               static_cast<float>(r * std::sin(b)));
  };
  double a = 0.0;
  for (int64_t i = int64_t{rings_} - 1; i >= 0; --i) {
    glBegin(GL_QUAD_STRIP);
    double b = 0.0;
    for (int64_t j = sides_; j >= 0; --j) {
      b += sideStep;
      emit(a + ringStep, b, static_cast<float>(i) / fr, static_cast<float>(j) / fs);
      emit(a, b, static_cast<float>(i + 1) / fr, static_cast<float>(j) / fs);
    }
    glEnd();
    a += ringStep;
  }
}

// ---------------------------------------------------------------- TGLFrustrum

void TGLFrustrum::SetApexHeight(float value) {
  if (value < 0.0f || value == apexHeight_) return;
  apexHeight_ = value;
  if (height_ > apexHeight_) height_ = apexHeight_;
  StructureChanged();
}
void TGLFrustrum::SetBaseDepth(float value) {
  if (value < 0.0f) return;
  if (Store(baseDepth_, value)) StructureChanged();
}
void TGLFrustrum::SetBaseWidth(float value) {
  if (value < 0.0f) return;
  if (Store(baseWidth_, value)) StructureChanged();
}
void TGLFrustrum::SetHeight(float value) {
  if (value < 0.0f || value == height_) return;
  height_ = value;
  if (apexHeight_ < height_) apexHeight_ = height_;
  StructureChanged();
}
void TGLFrustrum::SetParts(TFrustrumParts value) {
  if (Store(parts_, value)) StructureChanged();
}
void TGLFrustrum::SetNormalDirection(TNormalDirection value) {
  if (Store(normalDirection_, value)) StructureChanged();
}

void TGLFrustrum::Assign(const TPersistent* source) {
  if (const auto* frustum = dynamic_cast<const TGLFrustrum*>(source)) {
    apexHeight_ = frustum->apexHeight_;
    baseDepth_ = frustum->baseDepth_;
    baseWidth_ = frustum->baseWidth_;
    height_ = frustum->height_;
    parts_ = frustum->parts_;
    normalDirection_ = frustum->normalDirection_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLFrustrum::AxisAlignedDimensionsUnscaled() const {
  return {baseWidth_ * 0.5f, height_ * 0.5f, baseDepth_ * 0.5f, 0.0f};
}

void TGLFrustrum::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const float w = baseWidth_ * 0.5f;
  const float d = baseDepth_ * 0.5f;
  const float hh = height_ * 0.5f;
  // A flat frustum (ApexHeight 0, hence Height 0) keeps its top at the base size.
  const float shrink = apexHeight_ > 0.0f ? (apexHeight_ - height_) / apexHeight_ : 1.0f;
  const float tw = shrink * w;
  const float td = shrink * d;
  const float s = normalDirection_ == TNormalDirection::ndOutside ? 1.0f : -1.0f;
  auto quad = [](const std::array<TAffineVector, 4>& corners) {
    static constexpr float kTex[4][2] = {{1, 1}, {0, 1}, {0, 0}, {1, 0}};
    for (size_t i = 0; i < 4; ++i) {
      xgl.TexCoord2fv(kTex[i]);
      glVertex3fv(corners[i].data());
    }
  };
  glBegin(GL_QUADS);
  if (parts_.Contains(TFrustrumPart::fpFront) || parts_.Contains(TFrustrumPart::fpBack)) {
    const double a = std::atan(double(apexHeight_) / d);
    const float ca = static_cast<float>(std::cos(a));
    const float sa = static_cast<float>(std::sin(a));
    if (parts_.Contains(TFrustrumPart::fpFront)) {
      glNormal3f(0.0f, s * ca, s * sa);
      quad({{{tw, hh, td}, {-tw, hh, td}, {-w, -hh, d}, {w, -hh, d}}});
    }
    if (parts_.Contains(TFrustrumPart::fpBack)) {
      glNormal3f(0.0f, s * ca, -s * sa);
      quad({{{-tw, hh, -td}, {tw, hh, -td}, {w, -hh, -d}, {-w, -hh, -d}}});
    }
  }
  if (parts_.Contains(TFrustrumPart::fpLeft) || parts_.Contains(TFrustrumPart::fpRight)) {
    const double b = std::atan(double(apexHeight_) / w);
    const float cb = static_cast<float>(std::cos(b));
    const float sb = static_cast<float>(std::sin(b));
    if (parts_.Contains(TFrustrumPart::fpLeft)) {
      glNormal3f(-s * sb, s * cb, 0.0f);
      quad({{{-tw, hh, td}, {-tw, hh, -td}, {-w, -hh, -d}, {-w, -hh, d}}});
    }
    if (parts_.Contains(TFrustrumPart::fpRight)) {
      glNormal3f(s * sb, s * cb, 0.0f);
      quad({{{tw, hh, -td}, {tw, hh, td}, {w, -hh, d}, {w, -hh, -d}}});
    }
  }
  if (parts_.Contains(TFrustrumPart::fpTop) && height_ < apexHeight_) {
    glNormal3f(0.0f, s, 0.0f);
    quad({{{tw, hh, -td}, {-tw, hh, -td}, {-tw, hh, td}, {tw, hh, td}}});
  }
  if (parts_.Contains(TFrustrumPart::fpBottom)) {
    glNormal3f(0.0f, -s, 0.0f);
    quad({{{w, -hh, d}, {-w, -hh, d}, {-w, -hh, -d}, {w, -hh, -d}}});
  }
  glEnd();
}

bool TGLFrustrum::StoreFrustrumSize() const {
  return apexHeight_ != 1.0f || baseDepth_ != 1.0f || baseWidth_ != 1.0f || height_ != 0.5f;
}

std::array<uint8_t, 16> TGLFrustrum::FrustrumSizeData() const {
  std::array<uint8_t, 16> data{};
  const float sizes[4] = {apexHeight_, baseDepth_, baseWidth_, height_};
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t bits = std::bit_cast<uint32_t>(sizes[i]);
    for (size_t b = 0; b < 4; ++b) data[i * 4 + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  return data;
}

bool TGLFrustrum::SetFrustrumSizeData(const std::array<uint8_t, 16>& data) {
  float sizes[4];
  for (size_t i = 0; i < 4; ++i) {
    uint32_t bits = 0;
    for (size_t b = 0; b < 4; ++b) bits |= static_cast<uint32_t>(data[i * 4 + b]) << (8 * b);
    sizes[i] = std::bit_cast<float>(bits);
    if (!std::isfinite(sizes[i])) return false;
  }
  SetApexHeight(sizes[0]);
  SetBaseDepth(sizes[1]);
  SetBaseWidth(sizes[2]);
  SetHeight(sizes[3]);
  return true;
}

void TGLFrustrum::WriteFrustrumSize(TBinaryStream& stream) const {
  const std::array<uint8_t, 16> data = FrustrumSizeData();
  if (!stream.Write(data.data(), static_cast<int32_t>(data.size()))) throw EWriteError("Stream write error");
}

void TGLFrustrum::ReadFrustrumSize(TBinaryStream& stream) {
  std::array<uint8_t, 16> data{};
  if (stream.Remaining() < static_cast<int32_t>(data.size())) throw EReadError("Stream read error");
  if (!stream.Read(data.data(), static_cast<int32_t>(data.size()))) throw EReadError("Stream read error");
  if (!SetFrustrumSizeData(data)) throw EReadError("Stream read error");
}

// ----------------------------------------------------------------- TGLPolygon

void TGLPolygon::SetParts(TPolygonParts value) {
  if (Store(parts_, value)) StructureChanged();
}

void TGLPolygon::Assign(const TPersistent* source) {
  if (const auto* polygon = dynamic_cast<const TGLPolygon*>(source)) {
    parts_ = polygon->parts_;
    StructureChanged();
  }
  TGLPolygonBase::Assign(source);
}

void TGLPolygon::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const TGLNodes& nodes = Nodes();
  if (nodes.Count() < 2) return;
  const TAffineVector n = nodes.Normal();
  const bool hasNormal = !(n[0] == 0.0f && n[1] == 0.0f && n[2] == 0.0f);
  const int divisions = SplineMode() == TLineSplineMode::lsmLines ? 1 : Division();
  if (parts_.Contains(TPolygonPart::ppTop)) {
    nodes.RenderTessellatedPolygon(true, hasNormal ? &n : nullptr, divisions, false);
  }
  if (parts_.Contains(TPolygonPart::ppBottom)) {
    const TAffineVector down = AffineVectorNegate(n);
    nodes.RenderTessellatedPolygon(true, hasNormal ? &down : nullptr, divisions, true);
  }
}

// --------------------------------------------------------- component streams

void TGLDisk::DefinePublished(TFiler& filer) {
  TGLQuadricObject::DefinePublished(filer);
  DefineFloat(filer, "StartAngle", startAngle_, true, [this](float v) { SetStartAngle(v); });
  DefineFloat(filer, "SweepAngle", sweepAngle_, true, [this](float v) { SetSweepAngle(v); });
  DefineFloat(filer, "OuterRadius", outerRadius_, true, [this](float v) { SetOuterRadius(v); });
  DefineFloat(filer, "InnerRadius", innerRadius_, true, [this](float v) { SetInnerRadius(v); });
  DefineInteger(filer, "Slices", slices_, slices_ != 16, [this](int32_t v) { SetSlices(v); });
  DefineInteger(filer, "Loops", loops_, loops_ != 2, [this](int32_t v) { SetLoops(v); });
}

void TGLCylinderBase::DefinePublished(TFiler& filer) {
  TGLQuadricObject::DefinePublished(filer);
  DefineFloat(filer, "BottomRadius", bottomRadius_, true,
              [this](float v) { SetBottomRadius(v); });
  DefineInteger(filer, "Slices", slices_, slices_ != 16, [this](int32_t v) { SetSlices(v); });
  DefineInteger(filer, "Stacks", stacks_, stacks_ != 4, [this](int32_t v) { SetStacks(v); });
  DefineInteger(filer, "Loops", loops_, loops_ != 1, [this](int32_t v) { SetLoops(v); });
  DefineFloat(filer, "Height", height_, true, [this](float v) { SetHeight(v); });
}

void TGLCone::DefinePublished(TFiler& filer) {
  TGLCylinderBase::DefinePublished(filer);
  DefineParts(filer, parts_, TConeParts::All(), [this](TConeParts v) { SetParts(v); });
}

void TGLCylinder::DefinePublished(TFiler& filer) {
  TGLCylinderBase::DefinePublished(filer);
  DefineParts(filer, parts_, TCylinderParts::All(), [this](TCylinderParts v) { SetParts(v); });
  DefineFloat(filer, "TopRadius", topRadius_, true, [this](float v) { SetTopRadius(v); });
  DefineOrdinal(filer, "Alignment", alignment_, TCylinderAlignment::caBottom, TCylinderAlignment::caCenter,
                [this](TCylinderAlignment v) { SetAlignment(v); });
}

void TGLAnnulus::DefinePublished(TFiler& filer) {
  TGLCylinderBase::DefinePublished(filer);
  DefineParts(filer, parts_, TAnnulusParts::All(), [this](TAnnulusParts v) { SetParts(v); });
  DefineFloat(filer, "BottomInnerRadius", bottomInnerRadius_, true,
              [this](float v) { SetBottomInnerRadius(v); });
  DefineFloat(filer, "TopInnerRadius", topInnerRadius_, true,
              [this](float v) { SetTopInnerRadius(v); });
  DefineFloat(filer, "TopRadius", topRadius_, true, [this](float v) { SetTopRadius(v); });
}

void TGLArrowLine::DefinePublished(TFiler& filer) {
  TGLCylinderBase::DefinePublished(filer);
  DefineParts(filer, parts_, TArrowLineParts{TArrowLinePart::alLine, TArrowLinePart::alTopArrow},
              [this](TArrowLineParts v) { SetParts(v); });
  DefineFloat(filer, "TopRadius", topRadius_, true, [this](float v) { SetTopRadius(v); });
  DefineFloat(filer, "TopArrowHeadHeight", topArrowHeadHeight_, true,
              [this](float v) { SetTopArrowHeadHeight(v); });
  DefineFloat(filer, "TopArrowHeadRadius", topArrowHeadRadius_, true,
              [this](float v) { SetTopArrowHeadRadius(v); });
  DefineFloat(filer, "BottomArrowHeadHeight", bottomArrowHeadHeight_, true,
              [this](float v) { SetBottomArrowHeadHeight(v); });
  DefineFloat(filer, "BottomArrowHeadRadius", bottomArrowHeadRadius_, true,
              [this](float v) { SetBottomArrowHeadRadius(v); });
  DefineOrdinal(filer, "HeadStackingStyle", headStackingStyle_, TArrowHeadStackingStyle::ahssIncluded,
                TArrowHeadStackingStyle::ahssStacked, [this](TArrowHeadStackingStyle v) { SetHeadStackingStyle(v); });
}

void TGLCapsule::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineParts(filer, parts_, TCylinderParts::All(), [this](TCylinderParts v) { SetParts(v); });
  DefineFloat(filer, "Radius", radius_, true, [this](float v) { SetRadius(v); });
  DefineInteger(filer, "Slices", slices_, slices_ != 4, [this](int32_t v) { SetSlices(v); });
  DefineInteger(filer, "Stacks", stacks_, stacks_ != 4, [this](int32_t v) { SetStacks(v); });
  DefineFloat(filer, "Height", height_, true, [this](float v) { SetHeight(v); });
  DefineOrdinal(filer, "Alignment", alignment_, TCylinderAlignment::caBottom, TCylinderAlignment::caCenter,
                [this](TCylinderAlignment v) { SetAlignment(v); });
}

void TGLTorus::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  // Counts of an unsigned type: a negative one is no count; the setters raise
  // the others to at least 2 rings and 3 sides.
  DefineInteger(filer, "Rings", static_cast<int32_t>(rings_), rings_ != 25,
                [this](int32_t v) { SetRings(static_cast<uint32_t>(v)); }, 0);
  DefineInteger(filer, "Sides", static_cast<int32_t>(sides_), sides_ != 15,
                [this](int32_t v) { SetSides(static_cast<uint32_t>(v)); }, 0);
  DefineFloat(filer, "MinorRadius", minorRadius_, true, [this](float v) { SetMinorRadius(v); });
  DefineFloat(filer, "MajorRadius", majorRadius_, true, [this](float v) { SetMajorRadius(v); });
}

void TGLFrustrum::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineParts(filer, parts_, TFrustrumParts::All(), [this](TFrustrumParts v) { SetParts(v); });
  DefineNormalDirection(filer, normalDirection_, TNormalDirection::ndOutside,
                        [this](TNormalDirection v) { SetNormalDirection(v); });
}

void TGLFrustrum::DefineProperties(TFiler& filer) {
  TGL3DSceneObject::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "FrustrumSize",
      [this](TBinaryStream& stream) {
        CheckPropertyValue(stream.Size() == 16);
        ReadFrustrumSize(stream);
      },
      [this](TBinaryStream& stream) { WriteFrustrumSize(stream); }, StoreFrustrumSize());
}

void TGLPolygon::DefinePublished(TFiler& filer) {
  TGLPolygonBase::DefinePublished(filer);
  DefineParts(filer, parts_, TPolygonParts::All(), [this](TPolygonParts v) { SetParts(v); });
}

// -------------------------------------------------------------- registration

void RegisterQuadricsClasses() {
  RegisterBasicSolidsClasses();
  RegisterClass(TGLDisk::StaticClass());
  RegisterClass(TGLCone::StaticClass());
  RegisterClass(TGLCylinder::StaticClass());
  RegisterClass(TGLAnnulus::StaticClass());
  RegisterClass(TGLArrowLine::StaticClass());
  RegisterClass(TGLCapsule::StaticClass());
  RegisterClass(TGLTorus::StaticClass());
  RegisterClass(TGLFrustrum::StaticClass());
  RegisterClass(TGLPolygon::StaticClass());
}

}  // namespace qira

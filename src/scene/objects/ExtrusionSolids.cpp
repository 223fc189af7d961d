#include "scene/objects/ExtrusionSolids.h"

// Sections: TGLRevolutionSolid (properties, bounds, sweep, caps);
// TGLExtrusionSolid (properties, bounds, sides, caps); component streams;
// registration.

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/Rounding.h"
#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

// Stores a different value and restructures.
template <class T, class Owner>
void SetAndRestructure(Owner& owner, T& field, T value) {
  if (field == value) return;
  field = value;
  owner.StructureChanged();
}

// Unit length; a null vector (an edge of no length, a profile on the axis)
// stays null rather than turning into NaNs.
TAffineVector UnitOrZero(const TAffineVector& v) {
  return AffineVectorIsNull(v) ? v : AffineVectorNormalize(v);
}

void SendVertex(const TAffineVector& normal, float s, float t, const TAffineVector& v) {
  glNormal3fv(normal.data());
  xgl.TexCoord2f(s, t);
  glVertex3fv(v.data());
}

}  // namespace

// ======================================================= TGLRevolutionSolid

void TGLRevolutionSolid::SetSlices(int32_t value) {
  if (value >= 1) SetAndRestructure(*this, slices_, value);
}

void TGLRevolutionSolid::SetStartAngle(float value) {
  if (value == startAngle_) return;
  startAngle_ = value;
  if (startAngle_ > stopAngle_) stopAngle_ = startAngle_;
  StructureChanged();
}

void TGLRevolutionSolid::SetStopAngle(float value) {
  if (value == stopAngle_) return;
  stopAngle_ = value;
  if (stopAngle_ < startAngle_) startAngle_ = stopAngle_;
  StructureChanged();
}

void TGLRevolutionSolid::SetNormals(TNormalSmoothing value) { SetAndRestructure(*this, normals_, value); }
void TGLRevolutionSolid::SetYOffsetPerTurn(float value) { SetAndRestructure(*this, yOffsetPerTurn_, value); }
void TGLRevolutionSolid::SetNormalDirection(TNormalDirection value) {
  SetAndRestructure(*this, normalDirection_, value);
}
void TGLRevolutionSolid::SetParts(TRevolutionSolidParts value) { SetAndRestructure(*this, parts_, value); }

void TGLRevolutionSolid::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLRevolutionSolid*>(source)) {
    slices_ = src->slices_;
    startAngle_ = src->startAngle_;
    stopAngle_ = src->stopAngle_;
    normals_ = src->normals_;
    yOffsetPerTurn_ = src->yOffsetPerTurn_;
    normalDirection_ = src->normalDirection_;
    parts_ = src->parts_;
  }
  TGLPolygonBase::Assign(source);
}

void TGLRevolutionSolid::StructureChanged() {
  extents_[0] = -1.0f;
  TGLPolygonBase::StructureChanged();
}

TVector TGLRevolutionSolid::AxisAlignedDimensionsUnscaled() const {
  if (extents_[0] >= 0.0f) return extents_;
  float r2 = 0.0f;
  float yMax = 0.0f;
  for (int i = 0; i < Nodes().Count(); ++i) {
    const TGLNode& node = Nodes()[i];
    r2 = std::max(r2, node.X() * node.X() + node.Z() * node.Z());
    yMax = std::max(yMax, std::fabs(node.Y()));
  }
  const float r = std::sqrt(r2);
  extents_ = {r, yMax, r, 0.0f};
  return extents_;
}

int32_t TGLRevolutionSolid::SweepSteps() const {
  if (slices_ < 1 || startAngle_ >= stopAngle_) return 0;
  const double sweep = (static_cast<double>(stopAngle_) - startAngle_) / 360.0;
  return RoundToInt(slices_ * sweep);
}

void TGLRevolutionSolid::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  // Fewer steps than one (a sweep narrower than half a slice) would divide
  // the sweep by zero: nothing is drawn.
  const int32_t steps = SweepSteps();
  if (Nodes().Count() < 2 || steps < 1) return;
  const float a0 = DegToRad(startAngle_);
  const float a1 = DegToRad(stopAngle_);
  const float sweep = a1 - a0;
  // The last of the n steps ends 0.1 % beyond a1.
  const float angleStep = sweep / (0.999f * static_cast<float>(steps));
  const float textureStep = sweep / (c2PI * static_cast<float>(steps));
  const float y0 = yOffsetPerTurn_ * a0 / c2PI;
  const float yStep = yOffsetPerTurn_ == 0.0f ? 0.0f : yOffsetPerTurn_ * sweep / (c2PI * static_cast<float>(steps));
  if (parts_.Contains(TRevolutionSolidPart::rspInside)) BuildSides(true, a0, steps, angleStep, textureStep, y0, yStep);
  if (parts_.Contains(TRevolutionSolidPart::rspOutside)) {
    BuildSides(false, a0, steps, angleStep, textureStep, y0, yStep);
  }
  xgl.TexCoord2f(0.0f, 0.0f);
  const bool outward = normalDirection_ == TNormalDirection::ndOutside;
  if (parts_.Contains(TRevolutionSolidPart::rspStartPolygon)) {
    BuildCap(startAngle_, y0, a0 + (outward ? 1.5f : 0.5f) * cPI);
  }
  if (parts_.Contains(TRevolutionSolidPart::rspStopPolygon)) {
    BuildCap(stopAngle_, y0 + yOffsetPerTurn_ * sweep / c2PI, a1 + (outward ? 0.5f : 1.5f) * cPI);
  }
}

void TGLRevolutionSolid::BuildSides(bool inside, float a0, int32_t steps, float angleStep, float textureStep,
                                    float y0, float yStep) {
  // The profile as points with their texture t.
  std::vector<std::pair<TAffineVector, float>> profile;
  const int count = Nodes().Count();
  if (Division() < 2 || SplineMode() == TLineSplineMode::lsmLines) {
    for (int i = 0; i < count; ++i) {
      profile.emplace_back(Nodes()[i].GetAffineVector(), static_cast<float>(i) / static_cast<float>(count - 1));
    }
  } else {
    const std::unique_ptr<TCubicSpline> spline = Nodes().CreateCubicSpline();
    const int m = (count - 1) * Division();
    for (int k = 0; k <= m; ++k) {
      const float t = static_cast<float>(static_cast<double>(k) / Division());
      profile.emplace_back(spline->EvalXYZ(t), static_cast<float>(k) / static_cast<float>(m));
    }
  }
  const bool reversed = (normalDirection_ == TNormalDirection::ndInside) != inside;
  std::vector<TAffineVector> kept;
  if (normals_ == TNormalSmoothing::nsSmooth) kept.resize(static_cast<size_t>(steps) + 1);
  for (size_t seg = 0; seg + 1 < profile.size(); ++seg) {
    auto first = profile[seg];
    auto second = profile[seg + 1];
    if (reversed) std::swap(first, second);
    glBegin(GL_TRIANGLE_STRIP);
    for (int32_t i = 0; i <= steps; ++i) {
      const float angle = a0 + static_cast<float>(i) * angleStep;
      TAffineVector p1 = AffineVectorRotateAroundYTo(first.first, angle);
      TAffineVector p2 = AffineVectorRotateAroundYTo(second.first, angle);
      const float y = y0 + static_cast<float>(i) * yStep;
      if (yOffsetPerTurn_ != 0.0f) {
        p1.y += y;
        p2.y += y;
      }
      // Perpendicular to the segment within the plane through the axis.
      const TAffineVector d = AffineVectorSubtract(p2, p1);
      const float mx = p1.x + p2.x;
      const float mz = p1.z + p2.z;
      const TAffineVector flat = UnitOrZero({-d.y * mx, d.x * mx + d.z * mz, -d.y * mz});
      TAffineVector n1 = flat;
      TAffineVector n2 = flat;
      if (!kept.empty()) {
        TAffineVector& keep = kept[static_cast<size_t>(i)];
        // The end shared with the previous segment keeps that segment's normal.
        if (seg > 0) (reversed ? n2 : n1) = keep;
        keep = flat;
      }
      const float s = static_cast<float>(i) * textureStep;
      SendVertex(n1, s, first.second, p1);
      SendVertex(n2, s, second.second, p2);
    }
    glEnd();
  }
}

void TGLRevolutionSolid::BuildCap(float angleDegrees, float y, float normalAngle) const {
  TAffineVector r = Nodes().Barycenter();
  r.y = 0.0f;
  const TAffineVector normal = AffineVectorRotateAroundYTo(UnitOrZero(r), normalAngle);
  const std::unique_ptr<TGLNodes> cap = Nodes().CreateCopy(nullptr);
  cap->RotateAroundY(angleDegrees);
  cap->Translate({0.0f, y, 0.0f});
  cap->RenderTessellatedPolygon(false, &normal, SplineMode() == TLineSplineMode::lsmLines ? 1 : Division(), false);
}

// ======================================================== TGLExtrusionSolid

void TGLExtrusionSolid::SetStacks(int32_t value) {
  if (value >= 1) SetAndRestructure(*this, stacks_, value);
}
void TGLExtrusionSolid::SetNormals(TNormalSmoothing value) { SetAndRestructure(*this, normals_, value); }
void TGLExtrusionSolid::SetNormalDirection(TNormalDirection value) {
  SetAndRestructure(*this, normalDirection_, value);
}
void TGLExtrusionSolid::SetParts(TExtrusionSolidParts value) { SetAndRestructure(*this, parts_, value); }
void TGLExtrusionSolid::SetHeight(float value) { SetAndRestructure(*this, height_, value); }

void TGLExtrusionSolid::SetMinSmoothAngle(float value) {
  minSmoothAngle_ = value;
  minSmoothAngleCosine_ = std::cos(DegToRad(value));
}

void TGLExtrusionSolid::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLExtrusionSolid*>(source)) {
    stacks_ = src->stacks_;
    normals_ = src->normals_;
    normalDirection_ = src->normalDirection_;
    parts_ = src->parts_;
  }
  TMultiPolygonBase::Assign(source);
}

void TGLExtrusionSolid::StructureChanged() {
  extents_[0] = -1.0f;
  TMultiPolygonBase::StructureChanged();
}

TVector TGLExtrusionSolid::AxisAlignedDimensionsUnscaled() const {
  if (extents_[0] >= 0.0f) return extents_;
  TAffineVector min;
  TAffineVector max;
  Contours().GetExtents(min, max);
  extents_ = {0.0f, 0.0f, 0.0f, 0.0f};
  if (min.x > max.x) return extents_;
  min.z = std::min(min.z, min.z + height_);
  max.z = std::max(max.z, max.z + height_);
  for (size_t k = 0; k < 3; ++k) extents_[k] = std::max(std::fabs(min[k]), std::fabs(max[k]));
  return extents_;
}

void TGLExtrusionSolid::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const TGLOutlines& outlines = Outlines();
  if (outlines.empty()) return;
  const bool sides = parts_.Contains(TExtrusionSolidPart::espInside) || parts_.Contains(TExtrusionSolidPart::espOutside);
  if (height_ != 0.0f && sides && stacks_ >= 1) {
    for (const auto& outline : outlines) {
      if (outline.size() < 2) continue;
      if (parts_.Contains(TExtrusionSolidPart::espInside)) BuildSides(outline, true);
      if (parts_.Contains(TExtrusionSolidPart::espOutside)) BuildSides(outline, false);
    }
  }
  xgl.TexCoord2f(0.0f, 0.0f);
  const bool inward = normalDirection_ == TNormalDirection::ndInside;
  const TAffineVector up = ContoursNormal();
  if (parts_.Contains(TExtrusionSolidPart::espStopPolygon)) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, height_);
    RenderTessellated(true, &up, inward);
    glPopMatrix();
  }
  if (parts_.Contains(TExtrusionSolidPart::espStartPolygon)) {
    const TAffineVector down = AffineVectorNegate(up);
    RenderTessellated(true, &down, !inward);
  }
}

void TGLExtrusionSolid::BuildSides(const std::vector<TAffineVector>& outline, bool inside) const {
  // Bands run from b to a (the other winding) for the inside part, and the
  // other way round with ndInside.
  const bool flip = inside != (normalDirection_ == TNormalDirection::ndInside);
  const float sign = height_ < 0.0f ? -1.0f : 1.0f;
  const auto edgeNormal = [sign](const TAffineVector& from, const TAffineVector& to) {
    return AffineVectorScale(UnitOrZero({to.y - from.y, from.x - to.x, 0.0f}), sign);
  };
  const size_t n = outline.size();
  TAffineVector kept = flip ? edgeNormal(outline.front(), outline.back()) : edgeNormal(outline.back(), outline.front());
  for (size_t k = 0; k < n; ++k) {
    const TAffineVector& a = outline[k];
    const TAffineVector& b = outline[(k + 1) % n];
    const TAffineVector& p = flip ? b : a;
    const TAffineVector& q = flip ? a : b;
    const TAffineVector edge = edgeNormal(p, q);
    if (normals_ == TNormalSmoothing::nsFlat ||
        (normals_ == TNormalSmoothing::nsSmooth && AffineVectorDotProduct(kept, edge) < minSmoothAngleCosine_)) {
      kept = edge;
    }
    // The kept normal goes to the end shared with the previous side.
    const TAffineVector& np = flip ? edge : kept;
    const TAffineVector& nq = flip ? kept : edge;
    const TAffineVector u = UnitOrZero(AffineVectorSubtract(q, p));
    const auto send = [&u](const TAffineVector& normal, const TAffineVector& v) {
      SendVertex(normal, AffineVectorDotProduct(v, u), v.z, v);
    };
    glBegin(GL_TRIANGLE_STRIP);
    send(np, p);
    send(nq, q);
    for (int32_t s = 1; s <= stacks_; ++s) {
      const float z = static_cast<float>(s) * height_ / static_cast<float>(stacks_);
      send(np, {p.x, p.y, z});
      send(nq, {q.x, q.y, z});
    }
    glEnd();
    kept = edge;
  }
}

// ========================================================= component streams

void TGLRevolutionSolid::DefinePublished(TFiler& filer) {
  TGLPolygonBase::DefinePublished(filer);
  DefineInteger(filer, "Slices", slices_, slices_ != 16, [this](int32_t v) { SetSlices(v); });
  // StartAngle first: a start above the default stop raises the stop, which
  // is then stored as well.
  DefineFloat(filer, "StartAngle", startAngle_, true, [this](float v) { SetStartAngle(v); });
  DefineFloat(filer, "StopAngle", stopAngle_, IsStopAngleStored(), [this](float v) { SetStopAngle(v); });
  DefineNormals(filer, normals_, TNormalSmoothing::nsFlat, [this](TNormalSmoothing v) { SetNormals(v); });
  DefineFloat(filer, "YOffsetPerTurn", yOffsetPerTurn_, true, [this](float v) { SetYOffsetPerTurn(v); });
  DefineNormalDirection(filer, normalDirection_, TNormalDirection::ndOutside,
                        [this](TNormalDirection v) { SetNormalDirection(v); });
  DefineParts(filer, parts_, TRevolutionSolidParts{TRevolutionSolidPart::rspOutside},
              [this](TRevolutionSolidParts v) { SetParts(v); });
}

void TGLExtrusionSolid::DefinePublished(TFiler& filer) {
  TMultiPolygonBase::DefinePublished(filer);
  DefineInteger(filer, "Stacks", stacks_, stacks_ != 1, [this](int32_t v) { SetStacks(v); });
  DefineNormals(filer, normals_, TNormalSmoothing::nsFlat, [this](TNormalSmoothing v) { SetNormals(v); });
  DefineNormalDirection(filer, normalDirection_, TNormalDirection::ndOutside,
                        [this](TNormalDirection v) { SetNormalDirection(v); });
  DefineParts(filer, parts_, TExtrusionSolidParts{TExtrusionSolidPart::espOutside},
              [this](TExtrusionSolidParts v) { SetParts(v); });
  DefineFloat(filer, "Height", height_, true, [this](float v) { SetHeight(v); });
  DefineFloat(filer, "MinSmoothAngle", minSmoothAngle_, true, [this](float v) { SetMinSmoothAngle(v); });
}

// ============================================================== registration

void RegisterExtrusionSolidsClasses() {
  RegisterMultiPolygonClasses();
  RegisterClass(TGLRevolutionSolid::StaticClass());
  RegisterClass(TGLExtrusionSolid::StaticClass());
}

}  // namespace qira

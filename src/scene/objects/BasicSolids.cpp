// Sections: TGLCube (properties, stored form, queries, geometry);
// TGLQuadricObject; TGLSphere (properties, queries, geometry);
// TGLPolygonBase; component streams; registration.
#include "scene/objects/BasicSolids.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/BinaryStream.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/Connectivity.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/Persistence.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

TVector AsPoint(const TVector& v) { return {v.x, v.y, v.z, 1.0f}; }
TVector AsDirection(const TVector& v) { return {v.x, v.y, v.z, 0.0f}; }

}  // namespace

// ------------------------------------------------------------------- TGLCube

TGLCube::TGLCube() { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }

void TGLCube::SetCubeWidth(float value) {
  if (value == width_) return;
  width_ = value;
  StructureChanged();
}

void TGLCube::SetCubeHeight(float value) {
  if (value == height_) return;
  height_ = value;
  StructureChanged();
}

void TGLCube::SetCubeDepth(float value) {
  if (value == depth_) return;
  depth_ = value;
  StructureChanged();
}

void TGLCube::SetParts(TCubeParts value) {
  if (value == parts_) return;
  parts_ = value;
  StructureChanged();
}

void TGLCube::SetNormalDirection(TNormalDirection value) {
  if (value == normalDirection_) return;
  normalDirection_ = value;
  StructureChanged();
}

void TGLCube::Assign(const TPersistent* source) {
  if (const auto* cube = dynamic_cast<const TGLCube*>(source)) {
    width_ = cube->width_;
    height_ = cube->height_;
    depth_ = cube->depth_;
    parts_ = cube->parts_;
    normalDirection_ = cube->normalDirection_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLCube::AxisAlignedDimensionsUnscaled() const {
  return {width_ * 0.5f, height_ * 0.5f, depth_ * 0.5f, 0.0f};
}

bool TGLCube::StoreCubeSize() const { return width_ != 1.0f || height_ != 1.0f || depth_ != 1.0f; }

std::array<uint8_t, 12> TGLCube::CubeSizeData() const {
  std::array<uint8_t, 12> data{};
  const float sizes[3] = {width_, height_, depth_};
  for (size_t i = 0; i < 3; ++i) {
    const uint32_t bits = std::bit_cast<uint32_t>(sizes[i]);
    for (size_t b = 0; b < 4; ++b) data[i * 4 + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  return data;
}

void TGLCube::SetCubeSizeData(const std::array<uint8_t, 12>& data) {
  float sizes[3];
  for (size_t i = 0; i < 3; ++i) {
    uint32_t bits = 0;
    for (size_t b = 0; b < 4; ++b) bits |= static_cast<uint32_t>(data[i * 4 + b]) << (8 * b);
    sizes[i] = std::bit_cast<float>(bits);
  }
  width_ = sizes[0];
  height_ = sizes[1];
  depth_ = sizes[2];
  StructureChanged();
}

void TGLCube::WriteCubeSize(TBinaryStream& stream) const {
  const std::array<uint8_t, 12> data = CubeSizeData();
  if (!stream.Write(data.data(), static_cast<int32_t>(data.size()))) throw EWriteError("Stream write error");
}

void TGLCube::ReadCubeSize(TBinaryStream& stream) {
  std::array<uint8_t, 12> data{};
  if (stream.Remaining() < static_cast<int32_t>(data.size())) throw EReadError("Stream read error");
  if (!stream.Read(data.data(), static_cast<int32_t>(data.size()))) throw EReadError("Stream read error");
  for (size_t i = 0; i < data.size(); i += 4) {
    float size = 0.0f;
    std::memcpy(&size, &data[i], sizeof size);
    CheckPropertyValue(std::isfinite(size));
  }
  SetCubeSizeData(data);
}

bool TGLCube::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                               TVector* intersectNormal) const {
  const TVector start = AbsoluteToLocal(AsPoint(rayStart));
  const TVector dir = VectorNormalize(AbsoluteToLocal(AsDirection(rayVector)));
  const float sizes[3] = {width_, height_, depth_};
  for (int k = 0; k < 6; ++k) {
    TVector n = NullHmgVector;
    n[static_cast<size_t>(k % 3)] = k < 3 ? 1.0f : -1.0f;
    const float nDotDir = AffineVectorDotProduct(CopyAffineVector(n), CopyAffineVector(dir));
    if (!(nDotDir > 0.0f)) continue;
    const float size = sizes[k % 3];
    const float t = -(AffineVectorDotProduct(CopyAffineVector(n), CopyAffineVector(start)) + size * 0.5f) / nDotDir;
    const TVector p{start.x + t * dir.x, start.y + t * dir.y, start.z + t * dir.z, 1.0f};
    bool inside = true;
    for (size_t i = 0; i < 3; ++i) {
      const float limit = 0.5001f * sizes[i];
      if (!(p[i] >= -limit && p[i] <= limit)) inside = false;
    }
    if (!inside) continue;
    const TAffineVector toHit = AffineVectorSubtract(CopyAffineVector(p), CopyAffineVector(start));
    if (!(AffineVectorDotProduct(toHit, CopyAffineVector(dir)) > 0.0f)) continue;
    if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(p);
    if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(VectorNegate(n));
    return true;
  }
  return false;
}

namespace {

// The four corners of a face of a box of half sizes (hw, hh, hd) in the
// counter-clockwise order seen from outside, as the outward geometry draws them.
struct TCubeFace {
  TCubePart part;
  std::array<TAffineVector, 4> corners;
};

std::array<TCubeFace, 6> OutwardCubeFaces(float hw, float hh, float hd) {
  return {{
      {TCubePart::cpFront, {{{hw, hh, hd}, {-hw, hh, hd}, {-hw, -hh, hd}, {hw, -hh, hd}}}},
      {TCubePart::cpBack, {{{hw, hh, -hd}, {hw, -hh, -hd}, {-hw, -hh, -hd}, {-hw, hh, -hd}}}},
      {TCubePart::cpLeft, {{{-hw, hh, hd}, {-hw, hh, -hd}, {-hw, -hh, -hd}, {-hw, -hh, hd}}}},
      {TCubePart::cpRight, {{{hw, hh, hd}, {hw, -hh, hd}, {hw, -hh, -hd}, {hw, hh, -hd}}}},
      {TCubePart::cpTop, {{{-hw, hh, -hd}, {-hw, hh, hd}, {hw, hh, hd}, {hw, hh, -hd}}}},
      {TCubePart::cpBottom, {{{-hw, -hh, -hd}, {hw, -hh, -hd}, {hw, -hh, hd}, {-hw, -hh, hd}}}},
  }};
}

}  // namespace

std::unique_ptr<TGLSilhouette> TGLCube::GenerateSilhouette(const TGLSilhouetteParameters& parameters) const {
  TConnectivity connectivity(true);
  for (const TCubeFace& face : OutwardCubeFaces(width_ * 0.5f, height_ * 0.5f, depth_ * 0.5f)) {
    if (!parts_.Contains(face.part)) continue;
    // AddQuad takes its corners in strip order (1, 2, 4, 3 around the face).
    connectivity.AddQuad(face.corners[0], face.corners[1], face.corners[3], face.corners[2]);
  }
  std::unique_ptr<TGLSilhouette> silhouette;
  connectivity.CreateSilhouette(parameters, silhouette, false);
  if (silhouette == nullptr) silhouette = std::make_unique<TGLSilhouette>();
  return silhouette;
}

void TGLCube::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const float hw = width_ * 0.5f;
  const float hh = height_ * 0.5f;
  const float hd = depth_ * 0.5f;
  const float nd = normalDirection_ == TNormalDirection::ndOutside ? 1.0f : -1.0f;
  auto corner = [](float s, float t, float x, float y, float z) {
    xgl.TexCoord2f(s, t);
    glVertex3f(x, y, z);
  };
  glBegin(GL_QUADS);
  if (parts_.Contains(TCubePart::cpFront)) {
    glNormal3f(0.0f, 0.0f, nd);
    corner(1, 1, hw, hh, hd);
    corner(0, 1, -hw * nd, hh * nd, hd);
    corner(0, 0, -hw, -hh, hd);
    corner(1, 0, hw * nd, -hh * nd, hd);
  }
  if (parts_.Contains(TCubePart::cpBack)) {
    glNormal3f(0.0f, 0.0f, -nd);
    corner(0, 1, hw, hh, -hd);
    corner(0, 0, hw * nd, -hh * nd, -hd);
    corner(1, 0, -hw, -hh, -hd);
    corner(1, 1, -hw * nd, hh * nd, -hd);
  }
  if (parts_.Contains(TCubePart::cpLeft)) {
    glNormal3f(-nd, 0.0f, 0.0f);
    corner(1, 1, -hw, hh, hd);
    corner(0, 1, -hw, hh * nd, -hd * nd);
    corner(0, 0, -hw, -hh, -hd);
    corner(1, 0, -hw, -hh * nd, hd * nd);
  }
  if (parts_.Contains(TCubePart::cpRight)) {
    glNormal3f(nd, 0.0f, 0.0f);
    corner(0, 1, hw, hh, hd);
    corner(0, 0, hw, -hh * nd, hd * nd);
    corner(1, 0, hw, -hh, -hd);
    corner(1, 1, hw, hh * nd, -hd * nd);
  }
  if (parts_.Contains(TCubePart::cpTop)) {
    glNormal3f(0.0f, nd, 0.0f);
    corner(0, 1, -hw, hh, -hd);
    corner(0, 0, -hw * nd, hh, hd * nd);
    corner(1, 0, hw, hh, hd);
    corner(1, 1, hw * nd, hh, -hd * nd);
  }
  if (parts_.Contains(TCubePart::cpBottom)) {
    glNormal3f(0.0f, -nd, 0.0f);
    corner(0, 0, -hw, -hh, -hd);
    corner(1, 0, hw * nd, -hh, -hd * nd);
    corner(1, 1, hw, -hh, hd);
    corner(0, 1, -hw * nd, -hh, hd * nd);
  }
  glEnd();
}

// ---------------------------------------------------------- TGLQuadricObject

void TGLQuadricObject::SetNormals(TNormalSmoothing value) {
  if (value == normals_) return;
  normals_ = value;
  StructureChanged();
}

void TGLQuadricObject::SetNormalDirection(TNormalDirection value) {
  if (value == normalDirection_) return;
  normalDirection_ = value;
  StructureChanged();
}

void TGLQuadricObject::SetupQuadricParams(GLUquadric* quadric) const {
  gluQuadricDrawStyle(quadric, GLU_FILL);
  switch (normals_) {
    case TNormalSmoothing::nsFlat:
      gluQuadricNormals(quadric, GLU_FLAT);
      break;
    case TNormalSmoothing::nsSmooth:
      gluQuadricNormals(quadric, GLU_SMOOTH);
      break;
    case TNormalSmoothing::nsNone:
      gluQuadricNormals(quadric, GLU_NONE);
      break;
  }
  SetNormalQuadricOrientation(quadric);
  gluQuadricTexture(quadric, GL_TRUE);
}

void TGLQuadricObject::SetNormalQuadricOrientation(GLUquadric* quadric) const {
  gluQuadricOrientation(quadric, normalDirection_ == TNormalDirection::ndOutside ? GLU_OUTSIDE : GLU_INSIDE);
}

void TGLQuadricObject::SetInvertedQuadricOrientation(GLUquadric* quadric) const {
  gluQuadricOrientation(quadric, normalDirection_ == TNormalDirection::ndOutside ? GLU_INSIDE : GLU_OUTSIDE);
}

void TGLQuadricObject::Assign(const TPersistent* source) {
  if (const auto* quadric = dynamic_cast<const TGLQuadricObject*>(source)) {
    normals_ = quadric->normals_;
    normalDirection_ = quadric->normalDirection_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

// ----------------------------------------------------------------- TGLSphere

void TGLSphere::SetRadius(float value) {
  if (value == radius_) return;
  radius_ = value;
  StructureChanged();
}

void TGLSphere::SetSlices(int32_t value) {
  if (value == slices_) return;
  slices_ = std::max(value, int32_t{1});
  StructureChanged();
}

void TGLSphere::SetStacks(int32_t value) {
  if (value == stacks_) return;
  stacks_ = std::max(value, int32_t{1});
  StructureChanged();
}

void TGLSphere::SetTop(int value) {
  const auto v = static_cast<TAngleLimit1>(std::clamp(value, -90, 90));
  if (v == top_) return;
  top_ = v;
  StructureChanged();
}

void TGLSphere::SetBottom(int value) {
  const auto v = static_cast<TAngleLimit1>(std::clamp(value, -90, 90));
  if (v == bottom_) return;
  bottom_ = v;
  StructureChanged();
}

void TGLSphere::SetStart(int value) {
  const auto v = static_cast<TAngleLimit2>(std::clamp(value, 0, 360));
  if (v == start_) return;
  start_ = v;
  StructureChanged();
}

void TGLSphere::SetStop(int value) {
  const auto v = static_cast<TAngleLimit2>(std::clamp(value, 0, 360));
  if (v == stop_) return;
  stop_ = v;
  StructureChanged();
}

void TGLSphere::SetTopCap(TCapType value) {
  if (value == topCap_) return;
  topCap_ = value;
  StructureChanged();
}

void TGLSphere::SetBottomCap(TCapType value) {
  if (value == bottomCap_) return;
  bottomCap_ = value;
  StructureChanged();
}

void TGLSphere::Assign(const TPersistent* source) {
  if (const auto* sphere = dynamic_cast<const TGLSphere*>(source)) {
    radius_ = sphere->radius_;
    slices_ = sphere->slices_;
    stacks_ = sphere->stacks_;
    top_ = sphere->top_;
    bottom_ = sphere->bottom_;
    start_ = sphere->start_;
    stop_ = sphere->stop_;
    topCap_ = sphere->topCap_;
    bottomCap_ = sphere->bottomCap_;
    StructureChanged();
  }
  TGLQuadricObject::Assign(source);
}

TVector TGLSphere::AxisAlignedDimensionsUnscaled() const {
  const float r = std::fabs(radius_);
  return {r, r, r, 0.0f};
}

bool TGLSphere::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                 TVector* intersectNormal) const {
  const TVector start = AbsoluteToLocal(AsPoint(rayStart));
  const TVector dir = VectorNormalize(AbsoluteToLocal(AsDirection(rayVector)));
  TVector nearHit = NullHmgPoint;
  TVector farHit = NullHmgPoint;
  if (RayCastSphereIntersect(start, dir, NullHmgPoint, radius_, nearHit, farHit) < 1) return false;
  if (intersectPoint != nullptr) *intersectPoint = LocalToAbsolute(AsPoint(nearHit));
  if (intersectNormal != nullptr) *intersectNormal = LocalToAbsolute(AsDirection(nearHit));
  return true;
}

std::unique_ptr<TGLSilhouette> TGLSphere::GenerateSilhouette(const TGLSilhouetteParameters& parameters) const {
  const int n = std::max(stacks_, slices_);
  TAffineVector p = AffineVectorCrossProduct(parameters.SeedVector, XVector);
  if (AffineVectorLength(p) < 0.001f) p = AffineVectorCrossProduct(parameters.SeedVector, YVector);
  TAffineVector s = AffineVectorCrossProduct(parameters.SeedVector, p);
  NormalizeAffineVector(p);
  NormalizeAffineVector(s);
  auto silhouette = std::make_unique<TGLSilhouette>();
  for (int i = 0; i < n; ++i) {
    const double a = static_cast<double>(i) * 2.0 * cPIdouble / static_cast<double>(n);
    const float sa = static_cast<float>(radius_ * std::sin(a));
    const float ca = static_cast<float>(radius_ * std::cos(a));
    silhouette->Vertices.AddPoint(AffineVectorCombine(p, s, sa, ca));
    silhouette->Indices.Add(i);
    silhouette->Indices.Add((i + 1) % n);
    if (parameters.CappingRequired) {
      silhouette->CapIndices.Add(n);
      silhouette->CapIndices.Add(i);
      silhouette->CapIndices.Add((i + 1) % n);
    }
  }
  if (parameters.CappingRequired) silhouette->Vertices.Add(NullHmgPoint);
  return silhouette;
}

namespace {

// The unit-sphere point at latitude phi, longitude theta (radians).
TAffineVector SpherePoint(double phi, double theta) {
  return {static_cast<float>(std::cos(phi) * std::sin(theta)), static_cast<float>(std::sin(phi)),
          static_cast<float>(std::cos(phi) * std::cos(theta))};
}

TAffineVector Negated(const TAffineVector& v, bool negate) { return negate ? AffineVectorNegate(v) : v; }

// The normal of a centre cap at rim vertex v: the pole axis less its
// component along v (not normalised).
TAffineVector CenterCapNormal(const TAffineVector& axis, const TAffineVector& v) {
  return AffineVectorSubtract(axis, AffineVectorScale(v, AffineVectorDotProduct(axis, v)));
}

}  // namespace

bool TGLSphere::TopCapped() const {
  return top_ < 90 && (topCap_ == TCapType::ctCenter || topCap_ == TCapType::ctFlat);
}

bool TGLSphere::BottomCapped() const {
  return bottom_ > -90 && (bottomCap_ == TCapType::ctCenter || bottomCap_ == TCapType::ctFlat);
}

TSphereStrips TGLSphere::Strips() const {
  return SphereStripsOf(slices_, stacks_, int64_t{TopCapped()} + int64_t{BottomCapped()});
}

void TGLSphere::BuildList(TRenderContextInfo& rci) {
  // The loops run on the figures the counts take, so what the queue is told is what
  // the draw emits.
  const TSphereStrips strips = Strips();
  const int64_t rim = strips.FanVertices() - 1;      // a cap's vertices beside its centre
  const int64_t columns = strips.StripVertices() / 2;  // a strip's pairs of vertices
  const bool inside = NormalDirection() == TNormalDirection::ndInside;
  const double top = DegToRad(static_cast<double>(top_));
  const double bottom = DegToRad(static_cast<double>(bottom_));
  const double start = DegToRad(static_cast<double>(start_));
  const double stop = DegToRad(static_cast<double>(stop_));
  const double dTheta = (stop - start) / static_cast<double>(strips.Slices);
  const double dPhi = (top - bottom) / static_cast<double>(strips.Stacks);
  const float uStep = 1.0f / static_cast<float>(strips.Slices);
  const float vStep = 1.0f / static_cast<float>(strips.Stacks);

  glPushAttrib(GL_POLYGON_BIT);
  if (inside) rci.GLStates->ToggleFrontFace();
  glPushMatrix();
  glScalef(radius_, radius_, radius_);

  // Top cap
  if (TopCapped()) {
    const TAffineVector centerNormal = inside ? AffineVectorNegate(YVector) : YVector;
    glBegin(GL_TRIANGLE_FAN);
    xgl.TexCoord2f(0.5f, 0.5f);
    glNormal3fv(centerNormal.data());
    if (topCap_ == TCapType::ctCenter) {
      glVertex3f(0.0f, 0.0f, 0.0f);
    } else {
      glVertex3f(0.0f, static_cast<float>(std::sin(top)), 0.0f);
    }
    for (int64_t j = 0; j < rim; ++j) {
      const double theta = start + static_cast<double>(j) * dTheta;
      const TAffineVector v = SpherePoint(top, theta);
      xgl.TexCoord2f(static_cast<float>(0.5 + 0.5 * std::sin(theta)), static_cast<float>(0.5 + 0.5 * std::cos(theta)));
      const TAffineVector normal =
          topCap_ == TCapType::ctFlat ? centerNormal : Negated(CenterCapNormal(YVector, v), inside);
      glNormal3fv(normal.data());
      glVertex3fv(v.data());
      }
    glEnd();
  }

  // Body
  double phi1 = top;
  for (int64_t i = 0; i < strips.Stacks; ++i) {
    const double phi2 = phi1 - dPhi;
    const float v1 = 1.0f - static_cast<float>(i) * vStep;
    const float v2 = 1.0f - static_cast<float>(i + 1) * vStep;
    glBegin(GL_TRIANGLE_STRIP);
    for (int64_t j = 0; j < columns; ++j) {
      const double theta = start + static_cast<double>(j) * dTheta;
      const float u = static_cast<float>(j) * uStep;
      const TAffineVector a = SpherePoint(phi1, theta);
      const TAffineVector b = SpherePoint(phi2, theta);
      xgl.TexCoord2f(u, v1);
      glNormal3fv(Negated(a, inside).data());
      glVertex3fv(a.data());
      xgl.TexCoord2f(u, v2);
      glNormal3fv(Negated(b, inside).data());
      glVertex3fv(b.data());
    }
    glEnd();
    phi1 = phi2;
  }

  // Bottom cap
  if (BottomCapped()) {
    const TAffineVector down = AffineVectorNegate(YVector);
    const TAffineVector centerNormal = inside ? YVector : down;
    glBegin(GL_TRIANGLE_FAN);
    xgl.TexCoord2f(0.5f, 0.5f);
    glNormal3fv(centerNormal.data());
    if (bottomCap_ == TCapType::ctCenter) {
      glVertex3f(0.0f, 0.0f, 0.0f);
    } else {
      glVertex3f(0.0f, static_cast<float>(std::sin(bottom)), 0.0f);
    }
    for (int64_t j = 0; j < rim; ++j) {
      const double theta = stop - static_cast<double>(j) * dTheta;
      const TAffineVector v = SpherePoint(bottom, theta);
      xgl.TexCoord2f(static_cast<float>(0.5 + 0.5 * std::sin(theta)), static_cast<float>(0.5 + 0.5 * std::cos(theta)));
      const TAffineVector normal =
          bottomCap_ == TCapType::ctFlat ? centerNormal : Negated(CenterCapNormal(down, v), inside);
      glNormal3fv(normal.data());
      glVertex3fv(v.data());
      }
    glEnd();
  }

  if (inside) rci.GLStates->ToggleFrontFace();
  glPopMatrix();
  glPopAttrib();
  RenderQueueSent(strips.Vertices());
}

// ------------------------------------------------------------ TGLPolygonBase

std::unique_ptr<TGLNodes> TGLPolygonBase::CreateNodes(TGLPolygonBase& owner) {
  return std::make_unique<TGLNodes>(&owner, TGLNode::StaticClass());
}

TGLPolygonBase::TGLPolygonBase(TNodesFactory createNodes) : nodes_(createNodes(*this)) {}

// The nodes go before the base parts they report to.
TGLPolygonBase::~TGLPolygonBase() {
  Destroying();
  nodes_.reset();
}

void TGLPolygonBase::SetDivision(int32_t value) {
  const int32_t v = std::max(value, int32_t{1});
  if (v == division_) return;
  division_ = v;
  StructureChanged();
}

void TGLPolygonBase::SetSplineMode(TLineSplineMode value) {
  if (value == splineMode_) return;
  splineMode_ = value;
  StructureChanged();
}

void TGLPolygonBase::SetNodes(const TGLNodes& value) {
  nodes_->Assign(&value);
  StructureChanged();
}

void TGLPolygonBase::AddNode(const TAffineVector& position) {
  nodes_->Add().SetAsVector(VectorMakeFromAffine(position, 0.0f));
  StructureChanged();
}

void TGLPolygonBase::Assign(const TPersistent* source) {
  if (const auto* polygon = dynamic_cast<const TGLPolygonBase*>(source)) {
    SetNodes(*polygon->nodes_);
    division_ = polygon->division_;
    splineMode_ = polygon->splineMode_;
  }
  TGL3DSceneObject::Assign(source);
}

void TGLPolygonBase::NotifyChange(TObject* sender) {
  if (nodes_ != nullptr && sender == nodes_.get()) StructureChanged();
  TGL3DSceneObject::NotifyChange(sender);
}

// --------------------------------------------------------- component streams

void DefineNormalDirection(TFiler& filer, TNormalDirection value, TNormalDirection defaultValue,
                           const std::function<void(TNormalDirection)>& set) {
  DefineOrdinal(filer, "NormalDirection", value, TNormalDirection::ndOutside, defaultValue, set);
}

void DefineNormals(TFiler& filer, TNormalSmoothing value, TNormalSmoothing defaultValue,
                   const std::function<void(TNormalSmoothing)>& set) {
  DefineOrdinal(filer, "Normals", value, TNormalSmoothing::nsNone, defaultValue, set);
}

void DefineSplineMode(TFiler& filer, TLineSplineMode value, const std::function<void(TLineSplineMode)>& set) {
  DefineOrdinal(filer, "SplineMode", value, TLineSplineMode::lsmLoop, TLineSplineMode::lsmLines, set);
}

void TGLCube::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineFlags(filer, "Parts", parts_.Bits(), TCubeParts::All().Bits(), parts_ != TCubeParts::All(),
              [this](uint32_t bits) { SetParts(TCubeParts::FromBits(static_cast<uint8_t>(bits))); });
  DefineNormalDirection(filer, normalDirection_, TNormalDirection::ndOutside,
                        [this](TNormalDirection v) { SetNormalDirection(v); });
}

void TGLCube::DefineProperties(TFiler& filer) {
  TGL3DSceneObject::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "CubeSize",
      [this](TBinaryStream& stream) {
        CheckPropertyValue(stream.Size() == 12);
        ReadCubeSize(stream);
      },
      [this](TBinaryStream& stream) { WriteCubeSize(stream); }, StoreCubeSize());
}

void TGLQuadricObject::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineNormals(filer, normals_, TNormalSmoothing::nsSmooth, [this](TNormalSmoothing v) { SetNormals(v); });
  DefineNormalDirection(filer, normalDirection_, TNormalDirection::ndOutside,
                        [this](TNormalDirection v) { SetNormalDirection(v); });
}

void TGLSphere::DefinePublished(TFiler& filer) {
  TGLQuadricObject::DefinePublished(filer);
  DefineFloat(filer, "Radius", radius_, true, [this](float v) { SetRadius(v); });
  DefineInteger(filer, "Slices", slices_, slices_ != 16, [this](int32_t v) { SetSlices(v); });
  DefineInteger(filer, "Stacks", stacks_, stacks_ != 16, [this](int32_t v) { SetStacks(v); });
  // The angles are of types -90..90 and 0..360: a value beyond is no angle of theirs.
  DefineInteger(filer, "Top", top_, top_ != 90, [this](int32_t v) { SetTop(v); }, -90, 90);
  DefineInteger(filer, "Bottom", bottom_, bottom_ != -90, [this](int32_t v) { SetBottom(v); }, -90, 90);
  DefineInteger(filer, "Start", start_, start_ != 0, [this](int32_t v) { SetStart(v); }, 0, 360);
  DefineInteger(filer, "Stop", stop_, stop_ != 360, [this](int32_t v) { SetStop(v); }, 0, 360);
  DefineOrdinal(filer, "TopCap", topCap_, TCapType::ctFlat, TCapType::ctNone, [this](TCapType v) { SetTopCap(v); });
  DefineOrdinal(filer, "BottomCap", bottomCap_, TCapType::ctFlat, TCapType::ctNone,
                [this](TCapType v) { SetBottomCap(v); });
}

void TGLPolygonBase::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineInteger(filer, "Division", division_, division_ != 10, [this](int32_t v) { SetDivision(v); });
  DefineSplineMode(filer, splineMode_, [this](TLineSplineMode v) { SetSplineMode(v); });
  DefineCollection(filer, "Nodes", *nodes_, nodes_->Count() > 0);
}

// -------------------------------------------------------------- registration

void RegisterBasicSolidsClasses() {
  RegisterNodesClasses();
  RegisterClass(TGLSphere::StaticClass());
  RegisterClass(TGLCube::StaticClass());
}

}  // namespace qira

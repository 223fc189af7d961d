// Sections: TGLNode; TGLNodes (notification, geometry, spline); the
// tessellated polygon; registration.
#include "scene/objects/Nodes.h"

#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <vector>

#include "platform/NumberText.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// ------------------------------------------------------------------- TGLNode

void TGLNode::Assign(const TPersistent* source) {
  if (const auto* node = dynamic_cast<const TGLNode*>(source)) {
    coords_ = node->coords_;
    return;
  }
  TCollectionItem::Assign(source);
}

std::string TGLNode::GetDisplayName() const {
  return FormatFixed(coords_.x, 4) + "; " + FormatFixed(coords_.y, 4) + "; " + FormatFixed(coords_.z, 4);
}

void TGLNode::SetAsVector(const TVector& v) {
  coords_ = v;
  NotifyCollection();
}

void TGLNode::SetCoordinate(int index, float value) {
  if (index < 0 || index > 3) return;
  coords_[static_cast<size_t>(index)] = value;
  NotifyCollection();
}

bool TGLNode::IsCoordinateStored(int index) const {
  if (index < 0 || index > 2) return false;
  return coords_[static_cast<size_t>(index)] != 0.0f;
}

void TGLNode::NotifyCollection() {
  if (auto* nodes = dynamic_cast<TGLNodes*>(Collection())) nodes->NotifyChange();
}

// ------------------------------------------------------------------ TGLNodes

TGLNodes::TGLNodes(TPersistent* owner, const TClassInfo& itemClass) : TOwnedCollection(owner, itemClass) {}

std::unique_ptr<TGLNodes> TGLNodes::CreateCopy(TPersistent* owner) const {
  auto copy = std::make_unique<TGLNodes>(owner, TGLNode::StaticClass());
  copy->Assign(this);
  return copy;
}

std::unique_ptr<TGLNodes> TGLNodes::CreateCopy(const TGLNodes* nodes, TPersistent* owner) {
  if (nodes == nullptr) return nullptr;
  return nodes->CreateCopy(owner);
}

void TGLNodes::Update(TCollectionItem* item) {
  TOwnedCollection::Update(item);
  NotifyChange();
}

void TGLNodes::EndUpdate() {
  TOwnedCollection::EndUpdate();
  if (UpdateCount() == 0) NotifyChange();
}

void TGLNodes::NotifyChange() {
  if (UpdateCount() != 0) return;
  if (auto* owner = dynamic_cast<TGLUpdateAbleComponent*>(GetOwner())) owner->NotifyChange(this);
}

TAffineVector TGLNodes::Barycenter() const {
  TAffineVector sum = NullVector;
  const int n = Count();
  if (n == 0) return sum;
  for (int i = 0; i < n; ++i) AddAffineVector(sum, GetItem(i).GetAffineVector());
  ScaleAffineVector(sum, 1.0f / static_cast<float>(n));
  return sum;
}

TAffineVector TGLNodes::Normal() const {
  if (Count() < 3) return NullVector;
  TVector r = NullHmgVector;
  CalcPlaneNormalHmg(GetItem(0).AsVector(), GetItem(1).AsVector(), GetItem(2).AsVector(), r);
  return {r.x, r.y, r.z};
}

TAffineVector TGLNodes::DirectionAt(int i) const {
  const int last = Count() - 1;
  GetItem(i);  // EListError outside the list
  TAffineVector d;
  if (i == 0) {
    if (last == 0) return NullVector;
    d = AffineVectorSubtract(GetItem(1).GetAffineVector(), GetItem(0).GetAffineVector());
  } else if (i == last) {
    d = AffineVectorSubtract(GetItem(i).GetAffineVector(), GetItem(i - 1).GetAffineVector());
  } else {
    d = AffineVectorSubtract(GetItem(i + 1).GetAffineVector(), GetItem(i - 1).GetAffineVector());
  }
  if (AffineVectorNorm(d) <= 1e-5f) return NullVector;
  return AffineVectorNormalize(d);
}

void TGLNodes::GetExtents(TAffineVector& min, TAffineVector& max) const {
  constexpr float inf = std::numeric_limits<float>::infinity();
  min = {inf, inf, inf};
  max = {-inf, -inf, -inf};
  for (int i = 0; i < Count(); ++i) {
    const TAffineVector p = GetItem(i).GetAffineVector();
    for (size_t k = 0; k < 3; ++k) {
      if (p[k] < min[k]) min[k] = p[k];
      if (p[k] > max[k]) max[k] = p[k];
    }
  }
}

void TGLNodes::Translate(const TAffineVector& v) {
  for (int i = 0; i < Count(); ++i) {
    float* c = GetItem(i).CoordinatesAddress();
    c[0] += v.x;
    c[1] += v.y;
    c[2] += v.z;
  }
  NotifyChange();
}

void TGLNodes::RotateAroundY(float angle) {
  float s = 0.0f;
  float c = 0.0f;
  SinCos(angle * cPIdiv180, s, c);
  for (int i = 0; i < Count(); ++i) {
    float* p = GetItem(i).CoordinatesAddress();
    const float x = p[0];
    const float z = p[2];
    p[0] = c * x + s * z;
    p[2] = c * z - s * x;
  }
  NotifyChange();
}

std::unique_ptr<TCubicSpline> TGLNodes::CreateCubicSpline() const {
  const int n = Count();
  std::vector<float> x(static_cast<size_t>(n));
  std::vector<float> y(static_cast<size_t>(n));
  std::vector<float> z(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const TGLNode& node = GetItem(i);
    x[static_cast<size_t>(i)] = node.X();
    y[static_cast<size_t>(i)] = node.Y();
    z[static_cast<size_t>(i)] = node.Z();
  }
  return std::make_unique<TCubicSpline>(x.data(), y.data(), z.data(), nullptr, n);
}

// ----------------------------------------------------- tessellated polygon
// The scratch store holds the spline vertices and the vertices the
// tessellator asks for where edges cross. It belongs to one call and reaches
// the combine callback as the polygon data, so calls may nest; a deque keeps
// every vertex handed out at its address while the store grows, so any number
// of crossings is served without writing past an end.

namespace {

using TScratchVertex = std::array<float, 3>;
using TScratchStore = std::deque<TScratchVertex>;

void TessBegin(GLenum mode) { glBegin(mode); }
void TessEnd() { glEnd(); }
void TessVertex(void* data) { glVertex3fv(static_cast<const GLfloat*>(data)); }
void TessTexturedVertex(void* data) {
  const auto* v = static_cast<const GLfloat*>(data);
  xgl.TexCoord3fv(v);
  glVertex3fv(v);
}
void TessError(GLenum error) { (void)error; }
void TessCombine(GLdouble coords[3], void* vertexData[4], GLfloat weight[4], void** outData, void* polygonData) {
  (void)vertexData;
  (void)weight;
  auto* store = static_cast<TScratchStore*>(polygonData);
  TScratchVertex& v = store->emplace_back();
  v = {static_cast<float>(coords[0]), static_cast<float>(coords[1]), static_cast<float>(coords[2])};
  *outData = v.data();
}

template <class F>
_GLUfuncptr TessCallback(F* function) {
  return reinterpret_cast<_GLUfuncptr>(function);
}

// Frees the tessellator however the drawing ends.
struct TTessellator {
  GLUtesselator* tess = gluNewTess();
  ~TTessellator() {
    if (tess != nullptr) gluDeleteTess(tess);
  }
};

}  // namespace

void TGLNodes::RenderTessellatedPolygon(bool textured, const TAffineVector* normal, int splineDivisions,
                                        bool invertOrder) const {
  const int n = Count();
  if (n < 3) return;
  TTessellator t;
  if (t.tess == nullptr) return;
  GLUtesselator* tess = t.tess;
  gluTessCallback(tess, GLU_TESS_BEGIN, TessCallback(&TessBegin));
  gluTessCallback(tess, GLU_TESS_VERTEX, textured ? TessCallback(&TessTexturedVertex) : TessCallback(&TessVertex));
  gluTessCallback(tess, GLU_TESS_END, TessCallback(&TessEnd));
  gluTessCallback(tess, GLU_TESS_ERROR, TessCallback(&TessError));
  gluTessCallback(tess, GLU_TESS_COMBINE_DATA, TessCallback(&TessCombine));

  TScratchStore store;
  if (normal != nullptr) {
    glNormal3fv(normal->data());
    gluTessNormal(tess, normal->x, normal->y, normal->z);
  }
  gluTessBeginPolygon(tess, &store);
  gluTessBeginContour(tess);
  if (splineDivisions > 1) {
    const std::unique_ptr<TCubicSpline> spline = CreateCubicSpline();
    const float f = 1.0f / static_cast<float>(splineDivisions);
    const int last = (n - 1) * splineDivisions;
    for (int step = 0; step <= last; ++step) {
      const int k = invertOrder ? last - step : step;
      TScratchVertex& v = store.emplace_back();
      spline->EvalToFloats(static_cast<float>(k) * f, v[0], v[1], v[2]);
      GLdouble coords[3] = {v[0], v[1], v[2]};
      gluTessVertex(tess, coords, v.data());
    }
  } else {
    for (int step = 0; step < n; ++step) {
      const int i = invertOrder ? n - 1 - step : step;
      const TGLNode& node = GetItem(i);
      GLdouble coords[3] = {node.X(), node.Y(), node.Z()};
      // The tessellator only reads through the vertex data.
      gluTessVertex(tess, coords, const_cast<float*>(node.CoordinatesAddress()));
    }
  }
  gluTessEndContour(tess);
  gluTessEndPolygon(tess);
}

// -------------------------------------------------------------- registration

void RegisterNodesClasses() { RegisterClass(TGLNode::StaticClass()); }

}  // namespace qira

// Sections: TGLNode; TGLNodes (notification, geometry, spline); the
// tessellated polygon; registration.
#include "scene/objects/Nodes.h"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/NumberText.h"
#include "scene/components/ComponentStreams.h"
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

void TGLNode::DefinePublished(TFiler& filer) {
  TCollectionItem::DefinePublished(filer);
  const char* const names[] = {"X", "Y", "Z"};
  for (int i = 0; i < 3; ++i) {
    DefineFloat(filer, names[i], coords_[static_cast<size_t>(i)], IsCoordinateStored(i),
                [this, i](float v) { SetCoordinate(i, v); });
  }
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

TVectorPool::TVectorPool(int recordFloats, int recordsPerBlock)
    : recordFloats_(recordFloats < 1 ? 1 : recordFloats),
      recordsPerBlock_(recordsPerBlock < 1 ? 1 : recordsPerBlock),
      usedInLast_(recordsPerBlock_) {}

float* TVectorPool::Take() {
  if (usedInLast_ == recordsPerBlock_) {
    blocks_.push_back(std::make_unique<float[]>(static_cast<size_t>(recordFloats_) * recordsPerBlock_));
    usedInLast_ = 0;
  }
  return blocks_.back().get() + static_cast<ptrdiff_t>(usedInLast_++) * recordFloats_;
}

namespace {

void TessBegin(GLenum mode) { glBegin(mode); }
void TessEnd() { glEnd(); }
void TessVertex(void* data) { glVertex3fv(static_cast<const GLfloat*>(data)); }
void TessVertexTex2(void* data) {
  const auto* v = static_cast<const GLfloat*>(data);
  xgl.TexCoord2fv(v);
  glVertex3fv(v);
}
void TessVertexTex3(void* data) {
  const auto* v = static_cast<const GLfloat*>(data);
  xgl.TexCoord3fv(v);
  glVertex3fv(v);
}
// Errors of a malformed outline are ignored: what GLU makes of it is drawn.
void TessError(GLenum error) { (void)error; }

template <class F>
_GLUfuncptr TessCallback(F* function) {
  return reinterpret_cast<_GLUfuncptr>(function);
}

}  // namespace

TGLTessellation::TGLTessellation(TOutput output, int poolBlockRecords, TGLOutlines* outlines)
    : tess_(gluNewTess()), pool_(3, poolBlockRecords), outlines_(outlines) {
  if (tess_ == nullptr) return;
  gluTessCallback(tess_, GLU_TESS_ERROR, TessCallback(&TessError));
  gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, TessCallback(&Combine));
  if (output == TOutput::toOutlines) {
    gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, TessCallback(&BeginOutline));
    gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, TessCallback(&OutlineVertex));
    gluTessProperty(tess_, GLU_TESS_BOUNDARY_ONLY, GL_TRUE);
    return;
  }
  gluTessCallback(tess_, GLU_TESS_BEGIN, TessCallback(&TessBegin));
  gluTessCallback(tess_, GLU_TESS_END, TessCallback(&TessEnd));
  const auto vertex = output == TOutput::toDrawTexCoord2   ? TessCallback(&TessVertexTex2)
                      : output == TOutput::toDrawTexCoord3 ? TessCallback(&TessVertexTex3)
                                                           : TessCallback(&TessVertex);
  gluTessCallback(tess_, GLU_TESS_VERTEX, vertex);
}

TGLTessellation::~TGLTessellation() {
  if (tess_ != nullptr) gluDeleteTess(tess_);
}

void TGLTessellation::SetNormal(const TAffineVector& n) {
  if (tess_ != nullptr) gluTessNormal(tess_, n.x, n.y, n.z);
}

void TGLTessellation::SetWindingRule(GLenum rule) {
  if (tess_ != nullptr) gluTessProperty(tess_, GLU_TESS_WINDING_RULE, rule);
}

void TGLTessellation::BeginPolygon() {
  if (tess_ != nullptr) gluTessBeginPolygon(tess_, this);
}

void TGLTessellation::BeginContour() {
  if (tess_ != nullptr) gluTessBeginContour(tess_);
}

void TGLTessellation::AddVertex(const TAffineVector& v) {
  float* record = pool_.Take();
  record[0] = v.x;
  record[1] = v.y;
  record[2] = v.z;
  AddVertexRef(record);
}

void TGLTessellation::AddVertexRef(const float* v) {
  if (tess_ == nullptr) return;
  GLdouble coords[3] = {v[0], v[1], v[2]};
  // The tessellator only reads through the vertex data.
  gluTessVertex(tess_, coords, const_cast<float*>(v));
}

void TGLTessellation::EndContour() {
  if (tess_ != nullptr) gluTessEndContour(tess_);
}

void TGLTessellation::EndPolygon() {
  if (tess_ != nullptr) gluTessEndPolygon(tess_);
}

void TGLTessellation::Combine(GLdouble coords[3], void* vertexData[4], GLfloat weight[4], void** outData,
                              void* run) {
  (void)vertexData;
  (void)weight;
  float* record = static_cast<TGLTessellation*>(run)->pool_.Take();
  for (int i = 0; i < 3; ++i) record[i] = static_cast<float>(coords[i]);
  *outData = record;
}

void TGLTessellation::BeginOutline(GLenum mode, void* run) {
  (void)mode;
  auto* self = static_cast<TGLTessellation*>(run);
  if (self->outlines_ != nullptr) self->outlines_->emplace_back();
}

void TGLTessellation::OutlineVertex(void* vertex, void* run) {
  auto* self = static_cast<TGLTessellation*>(run);
  if (self->outlines_ == nullptr || self->outlines_->empty()) return;
  const auto* v = static_cast<const float*>(vertex);
  self->outlines_->back().push_back({v[0], v[1], v[2]});
}

void TGLNodes::RenderTessellatedPolygon(bool textured, const TAffineVector* normal, int splineDivisions,
                                        bool invertOrder) const {
  const int n = Count();
  if (n < 3) return;
  TGLTessellation run(textured ? TGLTessellation::TOutput::toDrawTexCoord3 : TGLTessellation::TOutput::toDraw,
                      n * (splineDivisions > 1 ? splineDivisions : 1) + 1);
  if (!run.Valid()) return;
  if (normal != nullptr) {
    glNormal3fv(normal->data());
    run.SetNormal(*normal);
  }
  run.BeginPolygon();
  run.BeginContour();
  if (splineDivisions > 1) {
    const std::unique_ptr<TCubicSpline> spline = CreateCubicSpline();
    const float f = 1.0f / static_cast<float>(splineDivisions);
    const int last = (n - 1) * splineDivisions;
    for (int step = 0; step <= last; ++step) {
      const int k = invertOrder ? last - step : step;
      TAffineVector v;
      spline->EvalToFloats(static_cast<float>(k) * f, v.x, v.y, v.z);
      run.AddVertex(v);
    }
  } else {
    for (int step = 0; step < n; ++step) {
      run.AddVertexRef(GetItem(invertOrder ? n - 1 - step : step).CoordinatesAddress());
    }
  }
  run.EndContour();
  run.EndPolygon();
}

// -------------------------------------------------------------- registration

void RegisterNodesClasses() { RegisterClass(TGLNode::StaticClass()); }

}  // namespace qira

#include "scene/objects/Mesh.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// ------------------------------------------------------------- TVertexList

TVertexList::TVertexList(TPersistent* owner) : TGLUpdateAbleObject(owner) {}

TVertexList::~TVertexList() { Unlock(); }

void TVertexList::Grow() {
  if (capacity_ > std::numeric_limits<int32_t>::max() - growth_) {
    throw std::length_error("TVertexList: too many vertices");
  }
  capacity_ += growth_;
  storage_.resize(static_cast<size_t>(capacity_));
  array_ = storage_.data();
}

void TVertexList::AddVertexFull(const TAffineVector& coordinates, const TAffineVector& normal,
                                const TTexPoint& texPoint, const TVector& color) {
  // A locked block holds exactly Count records: writing goes to the ordinary array.
  Unlock();
  if (count_ == capacity_) Grow();
  TVertexData& v = array_[count_];
  v.textCoord = texPoint;
  v.color = color;
  v.normal = normal;
  v.coord = coordinates;
  ++count_;
  NotifyChange(this);
}

void TVertexList::AddVertex(const TAffineVector& coordinates, const TAffineVector& normal, const TVector& color) {
  AddVertexFull(coordinates, normal, NullTexPoint, color);
}

void TVertexList::SetCount(int32_t count) {
  Unlock();
  if (count < 0) count = 0;
  if (count > capacity_) {
    storage_.resize(static_cast<size_t>(count));
    capacity_ = count;
  }
  if (count > count_) std::fill(storage_.begin() + count_, storage_.begin() + count, TVertexData{});
  array_ = storage_.empty() ? nullptr : storage_.data();
  count_ = count;
  NotifyChange(this);
}

void TVertexList::Clear() {
  Unlock();
  std::vector<TVertexData>().swap(storage_);
  array_ = nullptr;
  count_ = 0;
  capacity_ = 0;
  NotifyChange(this);
}

void TVertexList::Assign(const TPersistent* source) {
  const auto* src = dynamic_cast<const TVertexList*>(source);
  if (src == nullptr) {
    TGLUpdateAbleObject::Assign(source);
    return;
  }
  if (src == this) return;
  Unlock();
  storage_.assign(src->array_, src->array_ + src->count_);
  count_ = src->count_;
  capacity_ = src->count_;
  array_ = storage_.empty() ? nullptr : storage_.data();
  NotifyChange(this);
}

const void* TVertexList::FirstColor() const { return array_ == nullptr ? nullptr : &array_[0].color; }
const void* TVertexList::FirstNormal() const { return array_ == nullptr ? nullptr : &array_[0].normal; }
const void* TVertexList::FirstVertex() const { return array_ == nullptr ? nullptr : &array_[0].coord; }

void TVertexList::GetExtents(TAffineVector& min, TAffineVector& max) const {
  constexpr float inf = std::numeric_limits<float>::infinity();
  min = {inf, inf, inf};
  max = {-inf, -inf, -inf};
  for (int32_t i = 0; i < count_; ++i) {
    const TAffineVector& c = array_[i].coord;
    for (size_t k = 0; k < 3; ++k) {
      if (c[k] < min[k]) min[k] = c[k];
      if (c[k] > max[k]) max[k] = c[k];
    }
  }
}

void TVertexList::SetLocked(bool value) {
  if (value == locked_) return;
  if (!value) {
    Unlock();
    return;
  }
  if (!GL.NV_vertex_array_range || wglAllocateMemoryNV == nullptr || wglFreeMemoryNV == nullptr ||
      CurrentGLContext() == nullptr) {
    return;
  }
  if (count_ == 0 || count_ > std::numeric_limits<GLsizei>::max() / static_cast<int32_t>(sizeof(TVertexData))) return;
  const GLsizei size = count_ * static_cast<GLsizei>(sizeof(TVertexData));
  void* block = wglAllocateMemoryNV(size, 0.0f, 0.0f, 0.5f);
  if (block == nullptr) return;
  std::memcpy(block, array_, static_cast<size_t>(size));
  array_ = static_cast<TVertexData*>(block);
  locked_ = true;
}

void TVertexList::Unlock() {
  if (!locked_) return;
  // Records written while locked (normals, say) are kept.
  if (count_ > 0) std::memcpy(storage_.data(), array_, static_cast<size_t>(count_) * sizeof(TVertexData));
  if (wglFreeMemoryNV != nullptr) wglFreeMemoryNV(array_);
  array_ = storage_.empty() ? nullptr : storage_.data();
  locked_ = false;
}

void TVertexList::EnterLockSection() {
  if (!locked_ || glVertexArrayRangeNV == nullptr) return;
  glVertexArrayRangeNV(count_ * static_cast<GLsizei>(sizeof(TVertexData)), array_);
  glEnableClientState(GL_VERTEX_ARRAY_RANGE_NV);
}

void TVertexList::LeaveLockSection() {
  if (!locked_ || glFlushVertexArrayRangeNV == nullptr) return;
  glDisableClientState(GL_VERTEX_ARRAY_RANGE_NV);
  glFlushVertexArrayRangeNV();
}

// ----------------------------------------------------------------- TGLMesh

TGLMesh::TGLMesh() : vertices_(std::make_unique<TVertexList>(this)) {
  const TAffineVector normal{0.0f, 0.0f, 1.0f};
  const TVector color{0.0f, 0.0f, 0.0f, 0.0f};
  vertices_->AddVertex(XVector, normal, color);
  vertices_->AddVertex(YVector, normal, color);
  vertices_->AddVertex(ZVector, normal, color);
  vertices_->OnNotifyChange = [this](TObject* sender) { VerticesChanged(sender); };
}

TGLMesh::~TGLMesh() = default;

void TGLMesh::SetMode(TMeshMode value) {
  if (value == mode_) return;
  mode_ = value;
  StructureChanged();
}

void TGLMesh::SetVertexMode(TVertexMode value) {
  if (value == vertexMode_) return;
  vertexMode_ = value;
  StructureChanged();
}

void TGLMesh::VerticesChanged(TObject* sender) {
  (void)sender;
  StructureChanged();
}

void TGLMesh::StructureChanged() {
  dimensionsCache_.x = -1.0f;
  TGL3DSceneObject::StructureChanged();
}

void TGLMesh::CalcNormals(bool invert) {
  TVertexList& list = *vertices_;
  // Normals are written into the ordinary array, which is what the list keeps.
  list.SetLocked(false);
  const int32_t n = list.Count();
  auto v = [&list](int32_t k) -> const TAffineVector& { return list.Vertex(k).coord; };
  auto faceNormal = [&](int32_t a, int32_t b, int32_t c, bool reversed) {
    return reversed ? CalcPlaneNormal(v(c), v(b), v(a)) : CalcPlaneNormal(v(a), v(b), v(c));
  };
  switch (mode_) {
    case TMeshMode::mmTriangleStrip:
      for (int32_t i = 0; i + 2 < n; ++i) {
        const bool even = (i % 2) == 0;
        list.Vertex(i).normal = faceNormal(i, i + 1, i + 2, (!invert) == even);
      }
      break;
    case TMeshMode::mmTriangles:
      for (int32_t i = 0; i + 2 < n; i += 3) {
        const TAffineVector normal = faceNormal(i, i + 1, i + 2, invert);
        for (int32_t k = i; k < i + 3; ++k) list.Vertex(k).normal = normal;
      }
      break;
    case TMeshMode::mmQuads:
      for (int32_t i = 0; i + 3 < n; i += 4) {
        const TAffineVector normal = faceNormal(i, i + 1, i + 2, invert);
        for (int32_t k = i; k < i + 4; ++k) list.Vertex(k).normal = normal;
      }
      break;
    case TMeshMode::mmPolygon:
      if (n > 2) {
        const TAffineVector normal = faceNormal(0, 1, 2, invert);
        for (int32_t k = 0; k < n; ++k) list.Vertex(k).normal = normal;
      }
      break;
    case TMeshMode::mmTriangleFan:
    case TMeshMode::mmQuadStrip:
      break;
  }
  // Degenerate faces give non-finite normals; nothing may trap on them later.
  std::feclearexcept(FE_ALL_EXCEPT);
  StructureChanged();
}

void TGLMesh::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLMesh*>(source)) {
    vertices_->Assign(src->vertices_.get());
    mode_ = src->mode_;
    vertexMode_ = src->vertexMode_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLMesh::AxisAlignedDimensionsUnscaled() const {
  if (dimensionsCache_.x < 0.0f) {
    if (vertices_->Count() == 0) {
      // Nothing is drawn: no extent rather than an infinite one.
      dimensionsCache_ = NullVector;
    } else {
      TAffineVector min;
      TAffineVector max;
      vertices_->GetExtents(min, max);
      for (size_t k = 0; k < 3; ++k) dimensionsCache_[k] = std::fmax(std::fabs(min[k]), std::fabs(max[k]));
    }
  }
  return {dimensionsCache_.x, dimensionsCache_.y, dimensionsCache_.z, 0.0f};
}

namespace {

GLenum PrimitiveOf(TMeshMode mode) {
  switch (mode) {
    case TMeshMode::mmTriangleStrip: return GL_TRIANGLE_STRIP;
    case TMeshMode::mmTriangleFan: return GL_TRIANGLE_FAN;
    case TMeshMode::mmTriangles: return GL_TRIANGLES;
    case TMeshMode::mmQuadStrip: return GL_QUAD_STRIP;
    case TMeshMode::mmQuads: return GL_QUADS;
    case TMeshMode::mmPolygon: return GL_POLYGON;
  }
  return GL_TRIANGLE_STRIP;
}

}  // namespace

void TGLMesh::BuildList(TRenderContextInfo& rci) {
  TGL3DSceneObject::BuildList(rci);
  const bool direct = ObjectStyle().Contains(TGLObjectStyle::DirectDraw);
  if (direct) vertices_->EnterLockSection();
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
  // The array pointers point into this list: they must not outlive the call.
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  constexpr GLsizei stride = sizeof(TVertexData);
  switch (vertexMode_) {
    case TVertexMode::vmV:
      glInterleavedArrays(GL_V3F, stride, vertices_->FirstVertex());
      break;
    case TVertexMode::vmVN:
      glInterleavedArrays(GL_N3F_V3F, stride, vertices_->FirstNormal());
      break;
    case TVertexMode::vmVNC:
      glInterleavedArrays(GL_C4F_N3F_V3F, stride, vertices_->FirstColor());
      break;
    case TVertexMode::vmVNCT:
    case TVertexMode::vmVNT:
      glInterleavedArrays(GL_T2F_C4F_N3F_V3F, 0, vertices_->FirstEntry());
      break;
    case TVertexMode::vmVT:
      // Texture point and coordinates are not adjacent: two array pointers.
      glInterleavedArrays(GL_V3F, stride, vertices_->FirstVertex());
      glTexCoordPointer(2, GL_FLOAT, stride, vertices_->FirstEntry());
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      break;
  }
  if (vertexMode_ == TVertexMode::vmVNC || vertexMode_ == TVertexMode::vmVNCT) {
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    if (rci.GLStates != nullptr) rci.GLStates->ResetMaterialColors();
  }
  glDrawArrays(PrimitiveOf(mode_), 0, vertices_->Count());
  glPopClientAttrib();
  // The pop turns colour material off again; saying so explicitly keeps the state
  // cache, brought in step with the last switch the list made, from turning it
  // back on after each replay.
  if (vertexMode_ == TVertexMode::vmVNC || vertexMode_ == TVertexMode::vmVNCT) {
    glDisable(GL_COLOR_MATERIAL);
  }
  glPopAttrib();
  if (direct) vertices_->LeaveLockSection();
}

void RegisterMeshClasses() { RegisterClass(TGLMesh::StaticClass()); }

}  // namespace qira

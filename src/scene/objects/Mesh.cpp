#include "scene/objects/Mesh.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "scene/components/ComponentStreams.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"
#include "platform/Rounding.h"

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

// --------------------------------------------------------- TSharedVertices

namespace {

// A unit normal as signed 16-bit components; a zero or non-finite one as 0.
std::array<int16_t, 4> PackNormal(const TAffineVector& n) {
  const double length = std::sqrt(double{n.x} * n.x + double{n.y} * n.y + double{n.z} * n.z);
  if (!(length > 0) || !std::isfinite(length)) return {0, 0, 0, 0};
  auto component = [length](float c) { return static_cast<int16_t>(RoundToInt(c / length * 32767.0)); };
  return {component(n.x), component(n.y), component(n.z), 0};
}

// AffineVectorCrossProduct of (b - a) and (d - c), inlined: it runs for every face
// of a sheet of millions.
inline TAffineVector FaceCross(const TAffineVector& a, const TAffineVector& b, const TAffineVector& c,
                               const TAffineVector& d) {
  const TAffineVector u = AffineVectorSubtract(b, a);
  const TAffineVector v = AffineVectorSubtract(d, c);
  return {static_cast<float>(double(u.y) * v.z - double(u.z) * v.y),
          static_cast<float>(double(u.z) * v.x - double(u.x) * v.z),
          static_cast<float>(double(u.x) * v.y - double(u.y) * v.x)};
}

}  // namespace

TSharedVertices::TSharedVertices() {
  for (TGLVirtualHandle* handle : {&vertexBuffer_, &indexBuffer_}) {
    handle->OnAllocate = [](TGLVirtualHandle&, uint32_t& name) {
      GLuint made = 0;
      glGenBuffers(1, &made);
      name = made;
    };
    handle->OnDestroy = [](TGLVirtualHandle&, uint32_t& name) {
      const GLuint gone = name;
      glDeleteBuffers(1, &gone);
    };
  }
}

TSharedVertices::~TSharedVertices() = default;

void TSharedVertices::CalcNormals(int corners) {
  std::vector<TAffineVector> sums(Vertices.size(), TAffineVector{0.0f, 0.0f, 0.0f});
  const size_t points = Vertices.size();
  const size_t step = corners == 4 ? 4 : 3;
  for (size_t t = 0; t + step <= Indices.size(); t += step) {
    const uint32_t a = Indices[t], b = Indices[t + 1], c = Indices[t + 2];
    const uint32_t d = step == 4 ? Indices[t + 3] : c;
    if (a >= points || b >= points || c >= points || d >= points) continue;
    // The cross product of the diagonals (of two edges for a triangle) is twice the
    // area: larger faces weigh more.
    const TAffineVector& pa = Vertices[a].coord;
    const TAffineVector n = step == 4 ? FaceCross(pa, Vertices[c].coord, Vertices[b].coord, Vertices[d].coord)
                                      : FaceCross(pa, Vertices[b].coord, pa, Vertices[c].coord);
    for (size_t k = t; k < t + step; ++k) AddAffineVector(sums[Indices[k]], n);
  }
  constexpr float inf = std::numeric_limits<float>::infinity();
  min_ = {inf, inf, inf};
  max_ = {-inf, -inf, -inf};
  for (size_t k = 0; k < points; ++k) {
    TSharedVertex& v = Vertices[k];
    v.frontNormal = PackNormal(sums[k]);
    v.backNormal = {static_cast<int16_t>(-v.frontNormal[0]), static_cast<int16_t>(-v.frontNormal[1]),
                    static_cast<int16_t>(-v.frontNormal[2]), 0};
    // fmin and fmax without their calls: a NaN coordinate is passed over alike.
    for (size_t c = 0; c < 3; ++c) {
      if (v.coord[c] < min_[c]) min_[c] = v.coord[c];
      if (v.coord[c] > max_[c]) max_[c] = v.coord[c];
    }
  }
  pointCount_ = Vertices.size();
  indexCount_ = Indices.size();
  released_ = false;
  // Degenerate triangles give non-finite sums; nothing may trap on them later.
  std::feclearexcept(FE_ALL_EXCEPT);
}

void TSharedVertices::GetExtents(TAffineVector& min, TAffineVector& max) const {
  min = min_;
  max = max_;
}

void TSharedVertices::ReleaseArrays() {
  if (!Refill) return;
  std::vector<TSharedVertex>().swap(Vertices);
  std::vector<uint32_t>().swap(Indices);
  released_ = true;
}

bool TSharedVertices::HoldArrays() {
  if (!released_) return true;
  if (!Refill) return false;
  try {
    Refill(*this);
  } catch (const std::exception&) {
    // Out of memory while drawing: nothing is drawn rather than anything thrown.
    std::vector<TSharedVertex>().swap(Vertices);
    std::vector<uint32_t>().swap(Indices);
    return false;
  }
  // The owner's content must not have changed its shape; drawing trusts the counts.
  if (Vertices.size() != pointCount_ || Indices.size() != indexCount_) {
    std::vector<TSharedVertex>().swap(Vertices);
    std::vector<uint32_t>().swap(Indices);
    return false;
  }
  released_ = false;
  return true;
}

void TSharedVertices::FreeBuffers() {
  vertexBuffer_.DestroyHandle();
  indexBuffer_.DestroyHandle();
}

bool TSharedVertices::Upload() {
  if (vertexBuffer_.Handle() != 0 && indexBuffer_.Handle() != 0) return true;
  if (noBuffers_ || !HoldArrays()) return false;
  if (!(GL.VERSION_1_5 || GL.ARB_vertex_buffer_object) || glGenBuffers == nullptr || glBufferData == nullptr ||
      glBindBuffer == nullptr || glDeleteBuffers == nullptr) {
    noBuffers_ = true;
    return false;
  }
  ClearGLError();
  vertexBuffer_.AllocateHandle();
  indexBuffer_.AllocateHandle();
  bool filled = vertexBuffer_.Handle() != 0 && indexBuffer_.Handle() != 0;
  // Once in its buffer, an array the owner can fill again goes at once, so the sheet
  // is never held three times over (arrays, the vertex buffer and the index buffer).
  if (filled) {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_.Handle());
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(Vertices.size() * sizeof(TSharedVertex)), Vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    filled = glGetError() == GL_NO_ERROR;
  }
  if (filled && Refill) {
    std::vector<TSharedVertex>().swap(Vertices);
    released_ = true;
  }
  if (filled) {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_.Handle());
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(Indices.size() * sizeof(uint32_t)),
                 Indices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    filled = glGetError() == GL_NO_ERROR;
  }
  if (!filled) {
    // Out of memory here is not the end: the arrays (filled again if they went) can
    // still be drawn.
    FreeBuffers();
    ClearGLError();
    noBuffers_ = true;
  } else {
    // The buffers are the sheet now; the owner can fill the arrays again should
    // the buffers go with their contexts.
    ReleaseArrays();
  }
  return filled;
}

void TSharedVertices::Draw(uint32_t primitive, TVertexMode vertexMode, bool back) {
  if (indexCount_ == 0 || pointCount_ == 0 || indexCount_ > static_cast<size_t>(std::numeric_limits<GLsizei>::max()))
    return;
  const bool buffers = Upload();
  if (!buffers && !HoldArrays()) return;
  // Offsets into the bound buffers, or addresses of the arrays here.
  auto vertexPart = [&](size_t offset) -> const void* {
    if (buffers) return reinterpret_cast<const void*>(offset);
    return reinterpret_cast<const char*>(Vertices.data()) + offset;
  };
  const void* indexBase = buffers ? nullptr : Indices.data();
  if (buffers) {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_.Handle());
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_.Handle());
  }
  constexpr GLsizei stride = sizeof(TSharedVertex);
  glVertexPointer(3, GL_FLOAT, stride, vertexPart(offsetof(TSharedVertex, coord)));
  glEnableClientState(GL_VERTEX_ARRAY);
  const bool normals = vertexMode != TVertexMode::vmV && vertexMode != TVertexMode::vmVT;
  const bool colors = vertexMode == TVertexMode::vmVNC || vertexMode == TVertexMode::vmVNCT ||
                      vertexMode == TVertexMode::vmVNT;
  if (normals) {
    glNormalPointer(GL_SHORT, stride,
                    vertexPart(back ? offsetof(TSharedVertex, backNormal) : offsetof(TSharedVertex, frontNormal)));
    glEnableClientState(GL_NORMAL_ARRAY);
  }
  if (colors) {
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, vertexPart(offsetof(TSharedVertex, color)));
    glEnableClientState(GL_COLOR_ARRAY);
  }
  GLint frontFace = GL_CCW;
  if (back) {
    // The same triangles seen from the other side: the other winding faces the viewer.
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    glFrontFace(frontFace == GL_CW ? GL_CCW : GL_CW);
  }
  DrawInRenderStretches(static_cast<int64_t>(indexCount_), RenderStretchUnit(primitive), [&](int64_t first, int64_t n) {
    // An offset into the bound buffer or an address here: counted as a number, as
    // the buffer's offset is no pointer into anything.
    const uintptr_t at = reinterpret_cast<uintptr_t>(indexBase) + static_cast<uintptr_t>(first) * sizeof(GLuint);
    glDrawElements(primitive, static_cast<GLsizei>(n), GL_UNSIGNED_INT, reinterpret_cast<const void*>(at));
  });
  if (back) glFrontFace(static_cast<GLenum>(frontFace));
  if (buffers) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
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

void TGLMesh::SetSharedVertices(std::shared_ptr<TSharedVertices> vertices, bool back) {
  if (vertices && !ObjectStyle().Contains(TGLObjectStyle::DirectDraw)) {
    IncludeObjectStyle(TGLObjectStyle::DirectDraw);
    sharedAddedDirectDraw_ = true;
  } else if (!vertices && sharedAddedDirectDraw_) {
    ExcludeObjectStyle(TGLObjectStyle::DirectDraw);
    sharedAddedDirectDraw_ = false;
  }
  shared_ = std::move(vertices);
  back_ = back;
  StructureChanged();
}

int32_t TGLMesh::DrawnCount() const {
  if (!shared_) return vertices_->Count();
  return static_cast<int32_t>(std::min<size_t>(shared_->IndexCount(), std::numeric_limits<int32_t>::max()));
}

TVertexData TGLMesh::DrawnVertex(int32_t k) const {
  if (k < 0 || k >= DrawnCount()) return {};
  if (!shared_) return vertices_->Vertex(k);
  if (!shared_->HoldArrays()) return {};
  size_t at = static_cast<size_t>(k);
  // The back side takes each face the other way round.
  const size_t corners = mode_ == TMeshMode::mmQuads ? 4 : 3;
  if (back_) at = at - at % corners + (corners - 1 - at % corners);
  const uint32_t point = shared_->Indices[at];
  if (point >= shared_->Vertices.size()) return {};
  const TSharedVertex& v = shared_->Vertices[point];
  const std::array<int16_t, 4>& n = back_ ? v.backNormal : v.frontNormal;
  TVertexData out{};
  for (size_t c = 0; c < 4; ++c) out.color[c] = static_cast<float>(v.color[c]) / 255.0f;
  for (size_t c = 0; c < 3; ++c) out.normal[c] = static_cast<float>(n[c]) / 32767.0f;
  out.coord = v.coord;
  return out;
}

void TGLMesh::CalcNormals(bool invert) {
  if (shared_) {
    StructureChanged();
    return;
  }
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
    SetSharedVertices(src->shared_, src->back_);
    mode_ = src->mode_;
    vertexMode_ = src->vertexMode_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

TVector TGLMesh::AxisAlignedDimensionsUnscaled() const {
  if (dimensionsCache_.x < 0.0f) {
    if (shared_ ? shared_->PointCount() == 0 : vertices_->Count() == 0) {
      // Nothing is drawn: no extent rather than an infinite one.
      dimensionsCache_ = NullVector;
    } else {
      TAffineVector min;
      TAffineVector max;
      if (shared_)
        shared_->GetExtents(min, max);
      else
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
  const bool direct = ObjectStyle().Contains(TGLObjectStyle::DirectDraw) && !shared_;
  if (direct) vertices_->EnterLockSection();
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
  // The array pointers point into this list: they must not outlive the call.
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  const bool colored = vertexMode_ == TVertexMode::vmVNC || vertexMode_ == TVertexMode::vmVNCT;
  if (colored) {
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    if (rci.GLStates != nullptr) rci.GLStates->ResetMaterialColors();
  }
  if (shared_) {
    shared_->Draw(PrimitiveOf(mode_), vertexMode_, back_);
  } else {
    DrawVertexList();
  }
  glPopClientAttrib();
  // The pop turns colour material off again; saying so explicitly keeps the state
  // cache, brought in step with the last switch the list made, from turning it
  // back on after each replay.
  if (colored) glDisable(GL_COLOR_MATERIAL);
  glPopAttrib();
  if (direct) vertices_->LeaveLockSection();
}

void TGLMesh::DrawVertexList() {
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
  const GLenum primitive = PrimitiveOf(mode_);
  DrawInRenderStretches(vertices_->Count(), RenderStretchUnit(primitive), [primitive](int64_t first, int64_t n) {
    glDrawArrays(primitive, static_cast<GLint>(first), static_cast<GLsizei>(n));
  });
}

void TGLMesh::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineOrdinal(filer, "Mode", mode_, TMeshMode::mmPolygon, TMeshMode::mmTriangleStrip,
                [this](TMeshMode v) { SetMode(v); });
  DefineOrdinal(filer, "VertexMode", vertexMode_, TVertexMode::vmVT, TVertexMode::vmVNCT,
                [this](TVertexMode v) { SetVertexMode(v); });
}

void RegisterMeshClasses() { RegisterClass(TGLMesh::StaticClass()); }

}  // namespace qira

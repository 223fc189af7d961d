#pragma once
// A list of 48-byte vertex records laid out for interleaved vertex arrays,
// and the mesh node that draws such a list as one primitive sequence with one
// glInterleavedArrays and one glDrawArrays call. Surfaces, sections and
// planes of the scene model are each built from two meshes (front and back).
//
// The list can be moved into memory of the vertex-array-range extension while
// it is only drawn (SetLocked). Editing a locked list (Clear, AddVertex,
// Assign, CalcNormals) first unlocks it, keeping every record.
//
// Large sheets (sections, surfaces from grids) are drawn from shared vertices
// instead: each point stored once, both meshes of a sheet drawing the same
// points through one index list (TSharedVertices).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scene/graph/CustomSceneObjects.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/gl/RenderingContext.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// One vertex, in the order of the GL_T2F_C4F_N3F_V3F interleaved format.
struct TVertexData {
  TTexPoint textCoord;
  TVector color;
  TAffineVector normal;
  TAffineVector coord;
};
static_assert(sizeof(TVertexData) == 48);
static_assert(offsetof(TVertexData, color) == 8);
static_assert(offsetof(TVertexData, normal) == 24);
static_assert(offsetof(TVertexData, coord) == 36);

// A growable array of vertex records; every change tells the owner.
class TVertexList : public TGLUpdateAbleObject {
  QIRA_CLASS(TVertexList, TGLUpdateAbleObject)

  explicit TVertexList(TPersistent* owner);
  // Unlocks, then frees the records.
  ~TVertexList() override;

  int32_t Count() const { return count_; }
  int32_t Capacity() const { return capacity_; }
  int32_t Growth() const { return growth_; }
  // Records added per enlargement; values below 1 count as 1.
  void SetGrowth(int32_t value) { growth_ = value < 1 ? 1 : value; }

  // Appends a record (the list grows by Growth when full), then notifies.
  void AddVertexFull(const TAffineVector& coordinates, const TAffineVector& normal, const TTexPoint& texPoint,
                     const TVector& color);
  // AddVertexFull with texture point (0, 0).
  void AddVertex(const TAffineVector& coordinates, const TAffineVector& normal, const TVector& color);
  // Frees the records (Count = Capacity = 0), then notifies.
  void Clear();
  // From a TVertexList: Count and Capacity become the source's Count and the
  // records are copied, then notifies. Other sources: inherited.
  void Assign(const TPersistent* source) override;

  // Record `index` (0 .. Count-1), in whichever memory the list uses now.
  const TVertexData& Vertex(int32_t index) const { return array_[index]; }
  TVertexData& Vertex(int32_t index) { return array_[index]; }
  // Addresses of record 0 and of its colour, normal and coordinates (null
  // while the list holds no memory).
  const void* FirstEntry() const { return array_; }
  const void* FirstColor() const;
  const void* FirstNormal() const;
  const void* FirstVertex() const;

  // Min starts at +inf and Max at -inf on each axis; each record's
  // coordinates lower Min and raise Max.
  void GetExtents(TAffineVector& min, TAffineVector& max) const;

  // Locking acts only when the vertex-array-range extension and its
  // allocator are there and a context is current; a failed allocation keeps
  // the list unlocked. Unlocking keeps the records (also those written while
  // locked).
  void SetLocked(bool value);
  bool Locked() const { return locked_; }
  // Around drawing: the locked block as the vertex array range.
  void EnterLockSection();
  void LeaveLockSection();

 private:
  void Unlock();
  void Grow();

  TVertexData* array_ = nullptr;  // storage_ unlocked, the extension's block locked
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  int32_t growth_ = 256;
  std::vector<TVertexData> storage_;  // Capacity records, the ordinary array
  bool locked_ = false;
};

enum class TMeshMode : uint8_t { mmTriangleStrip, mmTriangleFan, mmTriangles, mmQuadStrip, mmQuads, mmPolygon };
enum class TVertexMode : uint8_t { vmV, vmVN, vmVNC, vmVNCT, vmVNT, vmVT };

// One shared point: coordinates, colour as bytes (GL turns byte c into c / 255,
// the value the float records hold) and the unit normals of the front and the
// back side as signed 16-bit components (GL scales them by 1 / 32767).
struct TSharedVertex {
  TAffineVector coord;
  std::array<uint8_t, 4> color;
  std::array<int16_t, 4> frontNormal;  // the fourth component only aligns the next
  std::array<int16_t, 4> backNormal;
};
static_assert(sizeof(TSharedVertex) == 32);
static_assert(offsetof(TSharedVertex, color) == 12);
static_assert(offsetof(TSharedVertex, frontNormal) == 16);
static_assert(offsetof(TSharedVertex, backNormal) == 24);

// Points stored once and drawn by the two meshes of a sheet through one index
// list: the front mesh takes the faces as listed, the back mesh the same faces
// the other way round (by turning which winding faces the viewer) with the back
// normals. On the first draw in a context that has buffer objects the points
// and indices are copied into buffers, which are then what is drawn, and the
// arrays here are released when the owner can fill them again (Refill): a large
// sheet is then held once. Without buffers, or when they cannot be had, the
// arrays are drawn. Fill Vertices and Indices, call CalcNormals, then hand the
// object to the meshes; the content is not edited afterwards.
class TSharedVertices {
 public:
  TSharedVertices();
  ~TSharedVertices();
  TSharedVertices(const TSharedVertices&) = delete;
  TSharedVertices& operator=(const TSharedVertices&) = delete;

  std::vector<TSharedVertex> Vertices;
  // Three per triangle (four per quadrilateral), counter-clockwise seen from the front.
  std::vector<uint32_t> Indices;
  // Fills Vertices and Indices again with the same content after they were
  // released; set by the owner. Without it the arrays are kept.
  std::function<void(TSharedVertices& into)> Refill;

  // The front normal of each point is the sum of the normals of the faces it
  // belongs to, each weighted by the face's area, made unit; the back normal is
  // its opposite. The indices hold faces of `corners` points (3 triangles, 4
  // quadrilaterals). A point with no (or only degenerate) faces gets 0. Also
  // records the counts and extents, which stay known once the arrays are released.
  void CalcNormals(int corners = 3);
  size_t PointCount() const { return pointCount_; }
  size_t IndexCount() const { return indexCount_; }
  // Bytes of the points and indices: held here, then (after the first draw) in
  // the buffers instead.
  size_t ByteSize() const { return pointCount_ * sizeof(TSharedVertex) + indexCount_ * sizeof(uint32_t); }
  // Min and Max of every point (+inf and -inf without points).
  void GetExtents(TAffineVector& min, TAffineVector& max) const;
  // True once the buffers hold the points.
  bool InBuffers() const { return vertexBuffer_.Handle() != 0; }
  // True while Vertices and Indices hold the content here.
  bool ArraysHeld() const { return !released_; }
  // Brings the arrays back (Refill) when they were released; false when that fails.
  bool HoldArrays();

  // Expects a current context. Sets the arrays of vertexMode (coordinates, normals
  // of the side, colours; never texture points) and draws the indices as
  // `primitive`, the back side with the winding turned. Leaves no buffer bound.
  void Draw(uint32_t primitive, TVertexMode vertexMode, bool back);

 private:
  // Buffers made and filled, once per context group; false without them.
  bool Upload();
  void FreeBuffers();
  void ReleaseArrays();

  TGLVirtualHandle vertexBuffer_;
  TGLVirtualHandle indexBuffer_;
  bool noBuffers_ = false;  // the buffers could not be had: the arrays are drawn
  bool released_ = false;
  size_t pointCount_ = 0;
  size_t indexCount_ = 0;
  TAffineVector min_{0.0f, 0.0f, 0.0f};
  TAffineVector max_{0.0f, 0.0f, 0.0f};
};

// A node drawing its vertex list as one primitive sequence of Mode. A new
// mesh holds one triangle: (1, 0, 0), (0, 1, 0), (0, 0, 1).
class TGLMesh : public TGL3DSceneObject {
  QIRA_CLASS(TGLMesh, TGL3DSceneObject)

  TGLMesh();
  ~TGLMesh() override;

  TVertexList& VertexList() const { return *vertices_; }
  TMeshMode Mode() const { return mode_; }
  // Stores and signals a structure change only when the value differs.
  void SetMode(TMeshMode value);
  TVertexMode VertexMode() const { return vertexMode_; }
  void SetVertexMode(TVertexMode value);

  // Face normals by Mode (strips alternate winding; whole triples, quads or
  // the polygon's first three vertices; fans and quad strips unchanged);
  // Invert reverses each face. Non-finite normals of degenerate faces raise
  // nothing. Signals a structure change. Shared vertices bring their own
  // normals: only the signal.
  void CalcNormals(bool invert);

  // Draws `vertices` through their indices instead of the vertex list: their
  // front side, or with `back` their back side. Null goes back to the vertex
  // list. A mesh with shared vertices draws every frame (DirectDraw): the
  // buffers are its compiled form, a display list would be a second copy.
  void SetSharedVertices(std::shared_ptr<TSharedVertices> vertices, bool back);
  const TSharedVertices* SharedVertices() const { return shared_.get(); }
  bool DrawsBackSide() const { return back_; }
  // What the mesh draws, vertex by vertex in the order the primitive takes
  // them: the vertex list's records, or the shared points through the indices
  // (the back side reversed per triangle, or quadrilateral in mmQuads) with
  // colours and normals as floats.
  int32_t DrawnCount() const;
  TVertexData DrawnVertex(int32_t k) const;

  // From a TGLMesh: the vertex list, the shared vertices, Mode and VertexMode;
  // then the inherited part.
  void Assign(const TPersistent* source) override;
  // Mode and VertexMode when not their defaults (the vertices are not published).
  void DefinePublished(TFiler& filer) override;
  // Per axis the larger of |Min| and |Max| of the extents (cached); an empty
  // list gives 0.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;
  // The extent cache is invalid, then as inherited.
  void StructureChanged() override;

 private:
  void VerticesChanged(TObject* sender);
  // Interleaved arrays of the vertex list by VertexMode, then the whole list.
  void DrawVertexList();

  std::unique_ptr<TVertexList> vertices_;
  std::shared_ptr<TSharedVertices> shared_;
  bool back_ = false;
  bool sharedAddedDirectDraw_ = false;  // DirectDraw was switched on for the shared vertices
  TMeshMode mode_ = TMeshMode::mmTriangleStrip;
  TVertexMode vertexMode_ = TVertexMode::vmVNCT;
  mutable TAffineVector dimensionsCache_{-1.0f, 0.0f, 0.0f};  // x < 0: not computed
};

// Registers TGLMesh with the class registry.
void RegisterMeshClasses();

}  // namespace qira

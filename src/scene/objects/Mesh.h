#pragma once
// A list of 48-byte vertex records laid out for interleaved vertex arrays,
// and the mesh node that draws such a list as one primitive sequence with one
// glInterleavedArrays and one glDrawArrays call. Surfaces, sections and
// planes of the scene model are each built from two meshes (front and back).
//
// The list can be moved into memory of the vertex-array-range extension while
// it is only drawn (SetLocked). Editing a locked list (Clear, AddVertex,
// Assign, CalcNormals) first unlocks it, keeping every record.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "scene/graph/CustomSceneObjects.h"
#include "scene/components/UpdateAbleObjects.h"
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
  // Count records in one batch (those beyond the old Count zeroed, Capacity at
  // least Count), then one notification; the caller fills them through Vertex.
  void SetCount(int32_t count);
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
  // nothing. Signals a structure change.
  void CalcNormals(bool invert);

  // From a TGLMesh: the vertex list, Mode and VertexMode; then the inherited part.
  void Assign(const TPersistent* source) override;
  // Per axis the larger of |Min| and |Max| of the extents (cached); an empty
  // list gives 0.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;
  // The extent cache is invalid, then as inherited.
  void StructureChanged() override;

 private:
  void VerticesChanged(TObject* sender);

  std::unique_ptr<TVertexList> vertices_;
  TMeshMode mode_ = TMeshMode::mmTriangleStrip;
  TVertexMode vertexMode_ = TVertexMode::vmVNCT;
  mutable TAffineVector dimensionsCache_{-1.0f, 0.0f, 0.0f};  // x < 0: not computed
};

// Registers TGLMesh with the class registry.
void RegisterMeshClasses();

}  // namespace qira

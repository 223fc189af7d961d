#pragma once
// Ordered, owned lists of coordinate nodes: the shape of the node-based
// objects (polygons, lines, pipes, extrusions) and the geometry those objects
// ask of it: barycentre, plane normal, path direction, extents, translation,
// rotation about Y, a cubic spline through the nodes and the nodes drawn as
// one tessellated polygon. Every change reports to the owning scene object.
#include <GL/glu.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/components/Components.h"
#include "scene/math/CubicSpline.h"
#include "scene/math/VectorTypes.h"

namespace qira {

class TGLNodes;

// One node: x, y, z, w as 32-bit floats. X, Y and Z are published (each
// stored only when not 0.0); w is not.
class TGLNode : public TCollectionItem {
  QIRA_CLASS(TGLNode, TCollectionItem)

  TGLNode() = default;

  // From a TGLNode (or a descendant): copies x, y, z, w. Other sources:
  // inherited rules.
  void Assign(const TPersistent* source) override;
  // "x; y; z", each with four decimals and a '.' separator.
  std::string GetDisplayName() const override;

  // The four floats, contiguous; valid while the node lives.
  float* CoordinatesAddress() { return coords_.data(); }
  const float* CoordinatesAddress() const { return coords_.data(); }
  const TVector& AsVector() const { return coords_; }
  // Stores the four components, then the collection's NotifyChange.
  void SetAsVector(const TVector& v);
  TAffineVector GetAffineVector() const { return {coords_.x, coords_.y, coords_.z}; }

  float X() const { return coords_.x; }
  float Y() const { return coords_.y; }
  float Z() const { return coords_.z; }
  float W() const { return coords_.w; }
  // Index 0..3 (another index changes nothing); stores, then the
  // collection's NotifyChange, also when the value is unchanged.
  void SetCoordinate(int index, float value);
  void SetX(float value) { SetCoordinate(0, value); }
  void SetY(float value) { SetCoordinate(1, value); }
  void SetZ(float value) { SetCoordinate(2, value); }
  // The stored-property rule of X (0), Y (1) and Z (2): written only when not 0.0.
  bool IsCoordinateStored(int index) const;
  // X, Y and Z by that rule.
  void DefinePublished(TFiler& filer) override;

 protected:
  // The owning collection's NotifyChange, when it is a TGLNodes.
  void NotifyCollection();

  TVector coords_{0.0f, 0.0f, 0.0f, 0.0f};
};

// The owned node collection of a scene object. Its owner hears of every
// change (NotifyChange) unless an update is open.
class TGLNodes : public TOwnedCollection {
  QIRA_CLASS(TGLNodes, TOwnedCollection)

  // `itemClass` must be TGLNode or a descendant.
  explicit TGLNodes(TPersistent* owner, const TClassInfo& itemClass = TGLNode::StaticClass());

  // A new collection of this class owned by `owner`, item class TGLNode,
  // holding one node per node of this one, each assigned from its source.
  virtual std::unique_ptr<TGLNodes> CreateCopy(TPersistent* owner) const;
  // The same for a collection that may be absent: null for null.
  static std::unique_ptr<TGLNodes> CreateCopy(const TGLNodes* nodes, TPersistent* owner);

  // EListError "Invalid list index" outside 0..Count()-1.
  TGLNode& GetItem(int index) const { return static_cast<TGLNode&>(TCollection::GetItem(index)); }
  TGLNode& operator[](int index) const { return GetItem(index); }
  TGLNode& Add() { return static_cast<TGLNode&>(TCollection::Add()); }

  // When the update count is 0 and the owner is a TGLUpdateAbleComponent,
  // the owner's NotifyChange with this collection as sender.
  virtual void NotifyChange();
  // Inherited; back at 0, NotifyChange.
  void EndUpdate() override;

  // Mean of the node positions; (0, 0, 0) when empty.
  TAffineVector Barycenter() const;
  // Unit normal of (node 1 - node 0) x (node 2 - node 0); (0, 0, 0) with fewer than 3 nodes.
  TAffineVector Normal() const;
  // Unit direction of the path at node i (next minus previous, one-sided at
  // the ends); (0, 0, 0) for a single node or when the squared length of the
  // difference is at most 1e-5. EListError for an index outside the list.
  TAffineVector DirectionAt(int i) const;
  // Per axis; an empty collection leaves min at +infinity and max at -infinity.
  void GetExtents(TAffineVector& min, TAffineVector& max) const;
  // Adds v to every node, then one notification.
  void Translate(const TAffineVector& v);
  // x' = c*x + s*z, z' = c*z - s*x with the 32-bit sine and cosine of the
  // angle (degrees); then one notification.
  void RotateAroundY(float angle);
  // Through x, y, z of the nodes, sampled at 0 .. count-1; the caller owns it.
  std::unique_ptr<TCubicSpline> CreateCubicSpline() const;

  // Draws the nodes as one polygon through the GLU tessellator (a rendering
  // context must be current). Fewer than 3 nodes draw nothing. With
  // `textured` each vertex first issues its position as a 3-component
  // texture coordinate; with a normal, glNormal3fv and the tessellator normal
  // take it; with splineDivisions > 1 the outline follows a cubic spline
  // through the nodes; `invertOrder` hands the outline over last node first,
  // which flips the polygon's front side.
  void RenderTessellatedPolygon(bool textured, const TAffineVector* normal = nullptr, int splineDivisions = 1,
                                bool invertOrder = false) const;

 protected:
  void Update(TCollectionItem* item) override;
};

// Fixed-size float records for the vertices one tessellator run hands out:
// blocks of a fixed number of records, a new block when the last is full. A
// record keeps its address until the pool is freed, whatever it grows to.
class TVectorPool {
 public:
  TVectorPool(int recordFloats, int recordsPerBlock);
  // The next free record (recordFloats floats, zero-filled).
  float* Take();
  int BlockCount() const { return static_cast<int>(blocks_.size()); }

 private:
  std::vector<std::unique_ptr<float[]>> blocks_;
  int recordFloats_;
  int recordsPerBlock_;
  int usedInLast_;
};

// The outlines a boundary-only run collects: one point list per outline.
using TGLOutlines = std::vector<std::vector<TAffineVector>>;

// One run of the GLU tessellator (a rendering context current for the
// drawing outputs): the tessellator, the vertex pool that also serves the
// crossing points it asks for, and where its output goes. The run reaches its
// callbacks as the polygon data, so runs may nest.
class TGLTessellation {
 public:
  enum class TOutput : uint8_t {
    toDraw,           // glBegin, glVertex3fv, glEnd
    toDrawTexCoord2,  // each vertex first its x, y as the 2D texture coordinate
    toDrawTexCoord3,  // each vertex first its position as a 3D texture coordinate
    toOutlines        // boundary only: each outline appended to `outlines`
  };
  TGLTessellation(TOutput output, int poolBlockRecords, TGLOutlines* outlines = nullptr);
  ~TGLTessellation();
  TGLTessellation(const TGLTessellation&) = delete;
  TGLTessellation& operator=(const TGLTessellation&) = delete;

  // False when GLU gave no tessellator: the run then does nothing.
  bool Valid() const { return tess_ != nullptr; }
  void SetNormal(const TAffineVector& n);
  void SetWindingRule(GLenum rule);
  void BeginPolygon();
  void BeginContour();
  // Copies the point into a pool record and hands that over.
  void AddVertex(const TAffineVector& v);
  // Hands the caller's three floats over; they must live until EndPolygon.
  void AddVertexRef(const float* v);
  void EndContour();
  void EndPolygon();

 private:
  static void Combine(GLdouble coords[3], void* vertexData[4], GLfloat weight[4], void** outData, void* run);
  static void BeginOutline(GLenum mode, void* run);
  static void OutlineVertex(void* vertex, void* run);

  GLUtesselator* tess_ = nullptr;
  TVectorPool pool_;
  TGLOutlines* outlines_;
};

// Registers TGLNode with the class registry.
void RegisterNodesClasses();

}  // namespace qira

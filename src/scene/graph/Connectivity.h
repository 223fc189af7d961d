#pragma once
// Edge-and-face connectivity of a triangle set and the silhouette (outline) of
// an object seen from a point: the edges between a face turned toward the
// viewer and one turned away, and on request cap triangles for the faces
// turned away. Scene objects answer silhouette requests with it.
#include <cstdint>
#include <memory>

#include "scene/components/Components.h"
#include "scene/components/VectorLists.h"
#include "scene/math/VectorTypes.h"

namespace qira {

enum class TGLSilhouetteStyle : uint8_t { ssOmni, ssParallel };

// What a silhouette request asks for. The scene objects fill it; the
// connectivity reads the seed vector (the point the object is seen from, in
// the object's frame) and the capping flag.
struct TGLSilhouetteParameters {
  TAffineVector SeedVector;
  TAffineVector Normal;
  TGLSilhouetteStyle Style = TGLSilhouetteStyle::ssOmni;
  bool CappingRequired = false;
};

// A silhouette: points (w = 1), two vertex indices per edge, three per cap triangle.
class TGLSilhouette : public TObject {
  QIRA_CLASS(TGLSilhouette, TObject)

  TGLSilhouette() = default;

  TVectorList Vertices;
  TIntegerList Indices;
  TIntegerList CapIndices;

  // Empties the three lists (storage kept).
  void Flush();
};

class TBaseConnectivity : public TObject {
  QIRA_CLASS(TBaseConnectivity, TObject)

  explicit TBaseConnectivity(bool precomputeFaceNormals) : precomputeFaceNormals_(precomputeFaceNormals) {}

  bool PrecomputeFaceNormals() const { return precomputeFaceNormals_; }

  virtual int EdgeCount() const { return 0; }
  virtual int FaceCount() const { return 0; }
  // Fills `silhouette` (created when null; flushed first unless
  // `addToSilhouette`). Does nothing here.
  virtual void CreateSilhouette(const TGLSilhouetteParameters& parameters,
                                std::unique_ptr<TGLSilhouette>& silhouette, bool addToSilhouette) {
    (void)parameters;
    (void)silhouette;
    (void)addToSilhouette;
  }

 private:
  bool precomputeFaceNormals_;
};

// Connectivity of triangles added one by one. Vertices are shared by bit-exact
// position; an edge knows its first two faces (a third face on the same edge
// replaces the second).
class TConnectivity : public TBaseConnectivity {
  QIRA_CLASS(TConnectivity, TBaseConnectivity)

  explicit TConnectivity(bool precomputeFaceNormals) : TBaseConnectivity(precomputeFaceNormals) {}

  int EdgeCount() const override { return edgeVertices_.Count() / 2; }
  int FaceCount() const override { return faceVisibility_.Count(); }
  int VertexCount() const { return vertices_.Count(); }

  // Each point found in the vertex list (bit-exact) or appended; returns the face index.
  int AddFace(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3);
  // Points found or appended in the order p1, p2, p4, p3; faces (p1, p2, p4)
  // and (p4, p3, p1); returns the index of the first.
  int AddQuad(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3,
              const TAffineVector& p4);
  // The indices must name vertices already added; any other index raises
  // EListError "Invalid list index" and adds nothing.
  int AddIndexedFace(int i1, int i2, int i3);

  // A face is visible when (seed - its first vertex) . its normal >= 0.
  // Silhouette edges run in the direction of the face turned away; an edge
  // with a single visible face adds nothing. Each connectivity vertex yields at
  // most one silhouette vertex per call.
  void CreateSilhouette(const TGLSilhouetteParameters& parameters, std::unique_ptr<TGLSilhouette>& silhouette,
                        bool addToSilhouette) override;

  // Empties every list.
  void Clear();

  // Read access for callers that inspect the structure.
  const TAffineVectorList& Vertices() const { return vertices_; }
  const TIntegerList& EdgeVertices() const { return edgeVertices_; }
  const TIntegerList& EdgeFaces() const { return edgeFaces_; }
  const TIntegerList& FaceVertexIndices() const { return faceVertexIndices_; }

 private:
  void AddEdge(int a, int b, int face);
  TAffineVector FaceNormal(int face) const;
  int SilhouetteVertex(int vertex, TGLSilhouette& silhouette);

  TIntegerList edgeVertices_;
  TIntegerList edgeFaces_;
  TByteList faceVisibility_;
  TIntegerList faceVertexIndices_;
  TAffineVectorList faceNormals_;
  TIntegerList vertexMap_;
  TAffineVectorList vertices_;
};

}  // namespace qira

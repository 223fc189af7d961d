#include "scene/graph/Connectivity.h"

#include "scene/math/VectorGeometry.h"

namespace qira {

void TGLSilhouette::Flush() {
  Vertices.Flush();
  Indices.Flush();
  CapIndices.Flush();
}

int TConnectivity::AddFace(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3) {
  const int i1 = vertices_.FindOrAdd(p1);
  const int i2 = vertices_.FindOrAdd(p2);
  const int i3 = vertices_.FindOrAdd(p3);
  return AddIndexedFace(i1, i2, i3);
}

int TConnectivity::AddQuad(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3,
                           const TAffineVector& p4) {
  const int i1 = vertices_.FindOrAdd(p1);
  const int i2 = vertices_.FindOrAdd(p2);
  const int i4 = vertices_.FindOrAdd(p4);
  const int i3 = vertices_.FindOrAdd(p3);
  const int first = AddIndexedFace(i1, i2, i4);
  AddIndexedFace(i4, i3, i1);
  return first;
}

int TConnectivity::AddIndexedFace(int i1, int i2, int i3) {
  // Every later step reads the vertices through these indices.
  const int vertexCount = vertices_.Count();
  for (const int i : {i1, i2, i3}) {
    if (i < 0 || i >= vertexCount) throw EListError("Invalid list index");
  }
  faceVertexIndices_.Add(i1, i2, i3);
  if (PrecomputeFaceNormals()) faceNormals_.Add(CalcPlaneNormal(vertices_[i1], vertices_[i2], vertices_[i3]));
  const int face = faceVisibility_.Add(0);
  AddEdge(i1, i2, face);
  AddEdge(i2, i3, face);
  AddEdge(i3, i1, face);
  return face;
}

void TConnectivity::AddEdge(int a, int b, int face) {
  const int edges = EdgeCount();
  for (int e = 0; e < edges; ++e) {
    const int v0 = edgeVertices_[2 * e];
    const int v1 = edgeVertices_[2 * e + 1];
    if ((v0 == a && v1 == b) || (v0 == b && v1 == a)) {
      edgeFaces_[2 * e + 1] = face;
      return;
    }
  }
  edgeVertices_.Add(a, b);
  edgeFaces_.Add(face, -1);
}

TAffineVector TConnectivity::FaceNormal(int face) const {
  if (PrecomputeFaceNormals()) return faceNormals_[face];
  const int* v = faceVertexIndices_.List() + 3 * face;
  return CalcPlaneNormal(vertices_[v[0]], vertices_[v[1]], vertices_[v[2]]);
}

int TConnectivity::SilhouetteVertex(int vertex, TGLSilhouette& silhouette) {
  while (vertexMap_.Count() <= vertex) vertexMap_.Add(-1);
  int& mapped = vertexMap_[vertex];
  if (mapped < 0) mapped = silhouette.Vertices.AddPoint(vertices_[vertex]);
  return mapped;
}

void TConnectivity::CreateSilhouette(const TGLSilhouetteParameters& parameters,
                                     std::unique_ptr<TGLSilhouette>& silhouette, bool addToSilhouette) {
  if (!silhouette) {
    silhouette = std::make_unique<TGLSilhouette>();
  } else if (!addToSilhouette) {
    silhouette->Flush();
  }
  TGLSilhouette& result = *silhouette;
  vertexMap_.Flush();

  const int faces = FaceCount();
  for (int f = 0; f < faces; ++f) {
    const int* v = faceVertexIndices_.List() + 3 * f;
    const TAffineVector toSeed = AffineVectorSubtract(parameters.SeedVector, vertices_[v[0]]);
    const bool visible = AffineVectorDotProduct(toSeed, FaceNormal(f)) >= 0.0f;
    faceVisibility_[f] = visible ? 1 : 0;
    if (!visible && parameters.CappingRequired) {
      const int a = SilhouetteVertex(v[0], result);
      const int b = SilhouetteVertex(v[1], result);
      const int c = SilhouetteVertex(v[2], result);
      result.CapIndices.Add(a, b, c);
    }
  }

  const int edges = EdgeCount();
  for (int e = 0; e < edges; ++e) {
    const int f1 = edgeFaces_[2 * e];
    const int f2 = edgeFaces_[2 * e + 1];
    const bool hasSecond = f2 >= 0;
    if (hasSecond && faceVisibility_[f1] == faceVisibility_[f2]) continue;
    const int a = edgeVertices_[2 * e];
    const int b = edgeVertices_[2 * e + 1];
    if (faceVisibility_[f1] == 0) {
      const int ma = SilhouetteVertex(a, result);
      const int mb = SilhouetteVertex(b, result);
      result.Indices.Add(ma, mb);
    } else if (hasSecond) {
      const int mb = SilhouetteVertex(b, result);
      const int ma = SilhouetteVertex(a, result);
      result.Indices.Add(mb, ma);
    }
  }
}

void TConnectivity::Clear() {
  edgeVertices_.Clear();
  edgeFaces_.Clear();
  faceVisibility_.Clear();
  faceVertexIndices_.Clear();
  faceNormals_.Clear();
  vertexMap_.Clear();
  vertices_.Clear();
}

}  // namespace qira

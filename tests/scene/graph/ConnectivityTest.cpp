#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "scene/graph/Connectivity.h"

namespace qira {
namespace {

TGLSilhouetteParameters SeenFrom(float x, float y, float z, bool capping = false) {
  TGLSilhouetteParameters p;
  p.SeedVector = {x, y, z};
  p.CappingRequired = capping;
  return p;
}

std::vector<std::pair<int, int>> Edges(const TGLSilhouette& s) {
  std::vector<std::pair<int, int>> edges;
  for (int i = 0; i + 1 < s.Indices.Count(); i += 2) edges.emplace_back(s.Indices[i], s.Indices[i + 1]);
  return edges;
}

TAffineVector Point(const TGLSilhouette& s, int index) {
  const TVector& v = s.Vertices[index];
  EXPECT_EQ(v.w, 1.0f);
  return {v.x, v.y, v.z};
}

bool Same(const TAffineVector& a, const TAffineVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The unit cube [0,1]^3 with outward faces, each quad given by its corners
// counter-clockwise seen from outside (AddQuad takes them in strip order).
void AddCube(TConnectivity& c) {
  const TAffineVector v[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                              {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int faces[6][4] = {{4, 5, 6, 7}, {1, 0, 3, 2}, {0, 4, 7, 3},
                           {5, 1, 2, 6}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  for (const auto& f : faces) c.AddQuad(v[f[0]], v[f[1]], v[f[3]], v[f[2]]);
}

TEST(Connectivity, QuadsSharingCornersShareVertices) {
  TConnectivity c(true);
  c.AddQuad({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0});
  EXPECT_EQ(c.VertexCount(), 4);
  EXPECT_EQ(c.FaceCount(), 2);
  EXPECT_EQ(c.EdgeCount(), 5);
  c.AddQuad({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0});
  EXPECT_EQ(c.VertexCount(), 4);
  // Faces (p1, p2, p4) and (p4, p3, p1).
  const TIntegerList& f = c.FaceVertexIndices();
  EXPECT_EQ(f[0], 0);
  EXPECT_EQ(f[1], 1);
  EXPECT_EQ(f[2], 2);
  EXPECT_EQ(f[3], 2);
  EXPECT_EQ(f[4], 3);
  EXPECT_EQ(f[5], 0);
}

TEST(Connectivity, CubeSeenFromACornerGivesOneClosedLoop) {
  for (bool precompute : {false, true}) {
    SCOPED_TRACE(precompute);
    TConnectivity c(precompute);
    AddCube(c);
    std::unique_ptr<TGLSilhouette> s;
    c.CreateSilhouette(SeenFrom(5.0f, 4.0f, 3.0f), s, false);
    ASSERT_TRUE(s);
    const auto edges = Edges(*s);
    ASSERT_EQ(edges.size(), 6u);
    EXPECT_EQ(s->Vertices.Count(), 6);
    EXPECT_EQ(s->CapIndices.Count(), 0);
    // Each vertex starts one edge and ends one; following them visits all six.
    std::map<int, int> next;
    std::map<int, int> incoming;
    for (const auto& [a, b] : edges) {
      EXPECT_TRUE(next.emplace(a, b).second) << "two edges leave " << a;
      ++incoming[b];
    }
    for (const auto& [v, n] : incoming) EXPECT_EQ(n, 1) << v;
    int v = edges[0].first;
    std::set<int> visited;
    for (int step = 0; step < 6; ++step) {
      visited.insert(v);
      ASSERT_TRUE(next.count(v));
      v = next[v];
    }
    EXPECT_EQ(v, edges[0].first);
    EXPECT_EQ(visited.size(), 6u);
    // The corner nearest to and the one farthest from the viewer are not on the outline.
    for (int i = 0; i < s->Vertices.Count(); ++i) {
      EXPECT_FALSE(Same(Point(*s, i), {1, 1, 1}));
      EXPECT_FALSE(Same(Point(*s, i), {0, 0, 0}));
    }
  }
}

TEST(Connectivity, CappingAddsTwoTrianglesPerFaceTurnedAway) {
  TConnectivity c(true);
  AddCube(c);
  std::unique_ptr<TGLSilhouette> s;
  c.CreateSilhouette(SeenFrom(5.0f, 4.0f, 3.0f, true), s, false);
  EXPECT_EQ(s->CapIndices.Count(), 3 * 6);  // three faces away, two triangles each
  EXPECT_EQ(s->Indices.Count(), 2 * 6);
  EXPECT_EQ(s->Vertices.Count(), 7);  // the far corner joins through the caps
}

TEST(Connectivity, SharedEdgeRunsAlongTheTriangleTurnedAway) {
  TConnectivity c(false);
  // A faces +z; B shares the edge (1,0,0)-(0,1,0), traversing it the other
  // way, and folds steeply down so that it faces away from (0, 0, 5).
  c.AddFace({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  c.AddFace({0, 1, 0}, {1, 0, 0}, {1, 1, -10});
  std::unique_ptr<TGLSilhouette> s;
  c.CreateSilhouette(SeenFrom(0.0f, 0.0f, 5.0f), s, false);
  const auto edges = Edges(*s);
  // The shared edge in B's direction, then B's two open edges; A's open
  // edges (single visible face) add nothing.
  ASSERT_EQ(edges.size(), 3u);
  EXPECT_TRUE(Same(Point(*s, edges[0].first), {0, 1, 0}));
  EXPECT_TRUE(Same(Point(*s, edges[0].second), {1, 0, 0}));
  int shared = 0;
  for (const auto& [a, b] : edges) {
    const bool touchesA0 = Same(Point(*s, a), {0, 0, 0}) || Same(Point(*s, b), {0, 0, 0});
    EXPECT_FALSE(touchesA0);
    if ((Same(Point(*s, a), {0, 1, 0}) && Same(Point(*s, b), {1, 0, 0})) ||
        (Same(Point(*s, a), {1, 0, 0}) && Same(Point(*s, b), {0, 1, 0}))) {
      ++shared;
    }
  }
  EXPECT_EQ(shared, 1);
}

TEST(Connectivity, SingleTriangleGivesItsThreeEdgesOnlyWhenTurnedAway) {
  TConnectivity c(true);
  c.AddFace({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  std::unique_ptr<TGLSilhouette> s;
  c.CreateSilhouette(SeenFrom(0.2f, 0.2f, 1.0f), s, false);
  EXPECT_EQ(s->Indices.Count(), 0);
  c.CreateSilhouette(SeenFrom(0.2f, 0.2f, -1.0f), s, false);
  ASSERT_EQ(s->Indices.Count(), 6);
  const int expected[] = {0, 1, 1, 2, 2, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s->Indices[i], expected[i]);
  // A face seen edge-on (d = 0) counts as visible.
  c.CreateSilhouette(SeenFrom(5.0f, 5.0f, 0.0f), s, false);
  EXPECT_EQ(s->Indices.Count(), 0);
}

TEST(Connectivity, AddingToASilhouetteKeepsWhatWasThere) {
  TConnectivity c(false);
  c.AddFace({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  std::unique_ptr<TGLSilhouette> s;
  c.CreateSilhouette(SeenFrom(0.0f, 0.0f, -1.0f), s, false);
  TGLSilhouette* first = s.get();
  EXPECT_EQ(s->Vertices.Count(), 3);
  c.CreateSilhouette(SeenFrom(0.0f, 0.0f, -1.0f), s, true);
  EXPECT_EQ(s.get(), first);
  EXPECT_EQ(s->Vertices.Count(), 6);  // the vertex map starts empty each time
  EXPECT_EQ(s->Indices.Count(), 12);
  EXPECT_EQ(s->Indices[6], 3);
  c.CreateSilhouette(SeenFrom(0.0f, 0.0f, -1.0f), s, false);
  EXPECT_EQ(s->Vertices.Count(), 3);
}

TEST(Connectivity, ThirdFaceOnAnEdgeReplacesTheSecond) {
  TConnectivity c(false);
  c.AddFace({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  c.AddFace({1, 0, 0}, {0, 0, 0}, {0, -1, 0});
  c.AddFace({1, 0, 0}, {0, 0, 0}, {0, 0, 1});
  EXPECT_EQ(c.EdgeFaces()[0], 0);
  EXPECT_EQ(c.EdgeFaces()[1], 2);
  c.Clear();
  EXPECT_EQ(c.EdgeCount(), 0);
  EXPECT_EQ(c.FaceCount(), 0);
  EXPECT_EQ(c.VertexCount(), 0);
}

TEST(Connectivity, IndexedFaceNamingAMissingVertexIsRefusedAndAddsNothing) {
  TConnectivity c(true);
  c.AddFace({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  const int refused[][3] = {{0, 1, 3}, {-1, 1, 2}, {0, 1000000, 2}};
  for (const auto& f : refused) {
    EXPECT_THROW(c.AddIndexedFace(f[0], f[1], f[2]), EListError);
  }
  EXPECT_EQ(c.FaceCount(), 1);
  EXPECT_EQ(c.EdgeCount(), 3);
  EXPECT_EQ(c.FaceVertexIndices().Count(), 3);
  EXPECT_EQ(c.AddIndexedFace(2, 1, 0), 1);
}

}  // namespace
}  // namespace qira

#include "scene/objects/Mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "scene/materials/Materials.h"
#include "support/SceneRenderSupport.h"
#include "support/HeadlessGL.h"
#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

using testing::Near;
using testing::TRenderedScene;

constexpr TVector kGreen{0.0f, 1.0f, 0.0f, 1.0f};
constexpr TAffineVector kNoNormal{0.0f, 0.0f, 0.0f};

// Counts the structure changes a mesh signals.
class TCountingMesh : public TGLMesh {
 public:
  int structureChanges = 0;
  void StructureChanged() override {
    ++structureChanges;
    TGLMesh::StructureChanged();
  }
};

// A mesh whose list holds the given points, without colour or normal.
void Fill(TGLMesh& mesh, TMeshMode mode, const std::vector<TAffineVector>& points) {
  mesh.VertexList().Clear();
  mesh.SetMode(mode);
  for (const TAffineVector& p : points) mesh.VertexList().AddVertex(p, kNoNormal, kGreen);
}

// --------------------------------------------------------------- vertex list

TEST(VertexList, GrowsInStepsOfGrowthAndClearFreesEverything) {
  TVertexList list(nullptr);
  EXPECT_EQ(list.FirstEntry(), nullptr);
  list.AddVertexFull({1, 2, 3}, {0, 0, 1}, {0.25f, 0.75f}, kGreen);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Capacity(), 256);
  for (int i = 0; i < 256; ++i) list.AddVertex({0, 0, 0}, kNoNormal, kGreen);
  EXPECT_EQ(list.Count(), 257);
  EXPECT_EQ(list.Capacity(), 512);
  // The record keeps the interleaved layout: texture point, colour, normal, coordinates.
  const auto* floats = static_cast<const float*>(list.FirstEntry());
  EXPECT_EQ(floats[1], 0.75f);
  EXPECT_EQ(floats[3], 1.0f);
  EXPECT_EQ(floats[8], 1.0f);
  EXPECT_EQ(floats[10], 2.0f);
  EXPECT_EQ(static_cast<const char*>(list.FirstVertex()) - static_cast<const char*>(list.FirstEntry()), 36);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_EQ(list.FirstEntry(), nullptr);
}

TEST(VertexList, LockingNeedsTheExtensionAndACurrentContext) {
  TVertexList list(nullptr);
  list.AddVertex({1, 0, 0}, kNoNormal, kGreen);
  list.SetLocked(true);
  EXPECT_FALSE(list.Locked());
}

// Fake video memory of the vertex-array-range extension.
int gAllocations = 0;
int gFrees = 0;
bool gAllocationFails = false;
void* FakeAllocate(GLsizei size, GLfloat, GLfloat, GLfloat) {
  if (gAllocationFails) return nullptr;
  ++gAllocations;
  return std::malloc(static_cast<size_t>(size));
}
void FakeFree(void* block) {
  ++gFrees;
  std::free(block);
}

class VertexListLockingGL : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_ = MakeHeadlessGLOrSkip(8, 8, 0);
    if (!gl_) return;
    savedFlag_ = GL.NV_vertex_array_range;
    GL.NV_vertex_array_range = true;
    gAllocations = gFrees = 0;
    gAllocationFails = false;
  }
  void TearDown() override {
    if (!gl_) return;
    GL.NV_vertex_array_range = savedFlag_;
    gl_.reset();
  }
  std::unique_ptr<HeadlessGL> gl_;
  bool savedFlag_ = false;
  TScopedEntryPoint<TAllocateMemoryNV> allocate_{wglAllocateMemoryNV, &FakeAllocate};
  TScopedEntryPoint<TFreeMemoryNV> free_{wglFreeMemoryNV, &FakeFree};
};

TEST_F(VertexListLockingGL, EditingALockedListUnlocksItAndKeepsEveryRecord) {
  TGLMesh mesh;
  Fill(mesh, TMeshMode::mmTriangles, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  TVertexList& list = mesh.VertexList();
  const void* ordinary = list.FirstEntry();
  list.SetLocked(true);
  ASSERT_TRUE(list.Locked());
  EXPECT_NE(list.FirstEntry(), ordinary);
  EXPECT_EQ(list.Vertex(1).coord.x, 1.0f);
  // Normals computed on the locked copy survive the unlock.
  mesh.CalcNormals(false);
  EXPECT_FALSE(list.Locked());
  EXPECT_EQ(list.Vertex(2).normal.z, 1.0f);
  list.SetLocked(true);
  list.AddVertex({5, 5, 5}, kNoNormal, kGreen);
  EXPECT_FALSE(list.Locked());
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Vertex(3).coord.y, 5.0f);
  list.SetLocked(true);
  list.Clear();
  EXPECT_FALSE(list.Locked());
  EXPECT_EQ(gAllocations, 3);
  EXPECT_EQ(gFrees, 3);
}

TEST_F(VertexListLockingGL, AFailedAllocationLeavesTheListUnlockedAndDestructionFreesTheBlock) {
  gAllocationFails = true;
  auto list = std::make_unique<TVertexList>(nullptr);
  list->AddVertex({1, 0, 0}, kNoNormal, kGreen);
  list->SetLocked(true);
  EXPECT_FALSE(list->Locked());
  gAllocationFails = false;
  list->SetLocked(true);
  EXPECT_TRUE(list->Locked());
  list.reset();
  EXPECT_EQ(gFrees, 1);
}

// ---------------------------------------------------------------------- mesh

struct NormalCase {
  const char* name;
  TMeshMode mode;
  bool invert;
  int count;                   // vertices of the counter-clockwise fan in the z = 0 plane
  std::vector<float> normalZ;  // z of each vertex's normal afterwards (0: unchanged)
};

TEST(Mesh, CalcNormalsSetsFaceNormalsByMode) {
  // Points on a circle, counter-clockwise seen from +z.
  const NormalCase cases[] = {
      {"triangles", TMeshMode::mmTriangles, false, 5, {1, 1, 1, 0, 0}},
      {"triangles inverted", TMeshMode::mmTriangles, true, 3, {-1, -1, -1}},
      {"too few for triangles", TMeshMode::mmTriangles, false, 2, {0, 0}},
      {"quads", TMeshMode::mmQuads, false, 6, {1, 1, 1, 1, 0, 0}},
      {"too few for a quad", TMeshMode::mmQuads, false, 3, {0, 0, 0}},
      {"polygon", TMeshMode::mmPolygon, false, 5, {1, 1, 1, 1, 1}},
      {"polygon inverted", TMeshMode::mmPolygon, true, 4, {-1, -1, -1, -1}},
      {"fan", TMeshMode::mmTriangleFan, false, 4, {0, 0, 0, 0}},
      {"quad strip", TMeshMode::mmQuadStrip, false, 4, {0, 0, 0, 0}},
      // Every strip triangle here turns the same way, so the alternation shows.
      {"strip", TMeshMode::mmTriangleStrip, false, 5, {-1, 1, -1, 0, 0}},
      {"strip inverted", TMeshMode::mmTriangleStrip, true, 4, {1, -1, 0, 0}},
  };
  for (const NormalCase& c : cases) {
    TCountingMesh mesh;
    std::vector<TAffineVector> points;
    for (int i = 0; i < c.count; ++i) {
      const float a = static_cast<float>(i) * 0.5f;
      points.push_back({std::cos(a), std::sin(a), 0.0f});
    }
    Fill(mesh, c.mode, points);
    const int before = mesh.structureChanges;
    mesh.CalcNormals(c.invert);
    EXPECT_EQ(mesh.structureChanges, before + 1) << c.name;
    for (int i = 0; i < c.count; ++i) {
      EXPECT_NEAR(mesh.VertexList().Vertex(i).normal.z, c.normalZ[static_cast<size_t>(i)], 1e-5f)
          << c.name << " vertex " << i;
    }
  }
}

// ----------------------------------------------------------- drawing (GL)

// The scene of the buffer tests, its quad hidden and lighting off, so a
// mesh shows in its vertex colours or, without colours, in its material's
// diffuse colour (red).
class MeshRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterMaterialClasses();
    try {
      s_ = std::make_unique<TRenderedScene>();
    } catch (const std::exception& error) {
      GTEST_SKIP() << "no headless OpenGL: " << error.what();
    }
    s_->quad->SetVisible(false);
    s_->buffer->SetLighting(false);
    mesh_ = &s_->scene->Objects().AddNewChild<TGLMesh>();
    dynamic_cast<TGLMaterial&>(mesh_->Material()).FrontProperties().Diffuse().SetColor({1, 0, 0, 1});
  }
  void TearDown() override { s_.reset(); }

  // A green square of half size h around (x, 0, 0), counter-clockwise from the camera.
  void Square(float x, float h) {
    Fill(*mesh_, TMeshMode::mmQuads, {{x - h, -h, 0}, {x + h, -h, 0}, {x + h, h, 0}, {x - h, h, 0}});
    mesh_->CalcNormals(false);
  }

  std::unique_ptr<TRenderedScene> s_;
  TGLMesh* mesh_ = nullptr;
};

TEST_F(MeshRenderGL, ANewMeshDrawsItsDefaultTriangleInBlack) {
  s_->buffer->Render();
  // (0.3, 0.3, 0.4) lies inside the triangle; the lower left corner does not.
  EXPECT_TRUE(Near(s_->Pixel(19, 19), {0, 0, 0}));
  EXPECT_TRUE(Near(s_->Pixel(8, 8), testing::kBlueRgb));
}

TEST_F(MeshRenderGL, VertexColoursShowOnlyInTheModesThatCarryThem) {
  struct Case {
    TVertexMode mode;
    std::array<int, 3> rgb;
  };
  const Case cases[] = {
      {TVertexMode::vmV, testing::kRedRgb},     {TVertexMode::vmVN, testing::kRedRgb},
      {TVertexMode::vmVNC, testing::kGreenRgb}, {TVertexMode::vmVNCT, testing::kGreenRgb},
      {TVertexMode::vmVNT, testing::kGreenRgb}, {TVertexMode::vmVT, testing::kRedRgb},
  };
  Square(0.0f, 0.4f);
  for (const Case& c : cases) {
    mesh_->SetVertexMode(c.mode);
    s_->buffer->Render();
    EXPECT_TRUE(Near(s_->Pixel(16, 16), c.rgb)) << static_cast<int>(c.mode);
    EXPECT_TRUE(Near(s_->Pixel(2, 16), testing::kBlueRgb)) << static_cast<int>(c.mode);
  }
}

TEST_F(MeshRenderGL, TheListIsRecompiledAfterAnEditAndLeavesNoArrayEnabled) {
  Square(0.6f, 0.2f);
  s_->buffer->Render();
  s_->buffer->Render();
  EXPECT_EQ(mesh_->ListCompileCount(), 1);
  const int right = testing::WindowX(0.6f);
  EXPECT_TRUE(Near(s_->Pixel(right, 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(16, 16), testing::kBlueRgb));
  Square(0.0f, 0.2f);
  s_->buffer->Render();
  EXPECT_EQ(mesh_->ListCompileCount(), 2);
  EXPECT_TRUE(Near(s_->Pixel(16, 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(right, 16), testing::kBlueRgb));
  // The arrays pointed into the mesh's own memory: none may stay enabled.
  TGLContext& context = *s_->buffer->RenderingContext();
  context.Activate();
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  context.Deactivate();
}

TEST_F(MeshRenderGL, AReplayedColouredMeshLeavesNoColourMaterialBehind) {
  Square(0.0f, 0.4f);
  mesh_->SetVertexMode(TVertexMode::vmVNC);
  bool enabledAfter = true;
  bool cachedAfter = true;
  s_->buffer->PostRender = [&](TObject*) {
    enabledAfter = glIsEnabled(GL_COLOR_MATERIAL) != 0;
    cachedAfter = s_->buffer->StateCache().States().Contains(TGLState::stColorMaterial);
  };
  for (int frame = 0; frame < 2; ++frame) {  // compiled, then replayed
    s_->buffer->Render();
    EXPECT_FALSE(enabledAfter) << "frame " << frame;
    EXPECT_FALSE(cachedAfter) << "frame " << frame;
  }
}

// ------------------------------------------------------------ shared points

// A square of half size h in the z = 0 plane, counter-clockwise seen from +z, in
// `color`, its two triangles sharing the diagonal's points; refilled on request.
std::shared_ptr<TSharedVertices> SharedSquare(float h, std::array<uint8_t, 4> color, int* refills = nullptr) {
  auto sheet = std::make_shared<TSharedVertices>();
  auto fill = [h, color](TSharedVertices& into) {
    into.Vertices = {{{-h, -h, 0}, color, {}, {}}, {{h, -h, 0}, color, {}, {}},
                     {{h, h, 0}, color, {}, {}},   {{-h, h, 0}, color, {}, {}}};
    into.Indices = {0, 1, 2, 0, 2, 3};
  };
  fill(*sheet);
  sheet->CalcNormals();
  if (refills != nullptr) {
    sheet->Refill = [fill, refills](TSharedVertices& into) {
      ++*refills;
      fill(into);
      into.CalcNormals();
    };
  }
  return sheet;
}

TEST(SharedVertices, NormalsAreTheAreaWeightedMeanOfTheFacesAtAPoint) {
  // Two triangles folded at right angles along the edge (0, 0, 0)-(1, 0, 0): one in
  // z = 0 facing +z (area 0.5), one in y = 0 facing +y (area 1).
  TSharedVertices sheet;
  const std::array<uint8_t, 4> white{255, 255, 255, 255};
  sheet.Vertices = {{{0, 0, 0}, white, {}, {}}, {{1, 0, 0}, white, {}, {}},
                    {{0, 1, 0}, white, {}, {}}, {{0, 0, 2}, white, {}, {}}};
  sheet.Indices = {0, 1, 2, 0, 3, 1};
  sheet.CalcNormals();
  auto at = [&](size_t k) { return sheet.Vertices[k].frontNormal; };
  EXPECT_EQ(at(2), (std::array<int16_t, 4>{0, 0, 32767, 0}));
  EXPECT_EQ(at(3), (std::array<int16_t, 4>{0, 32767, 0, 0}));
  // The shared edge: (0, 2, 1) made unit.
  const int16_t y = static_cast<int16_t>(std::lround(2 / std::sqrt(5.0) * 32767));
  const int16_t z = static_cast<int16_t>(std::lround(1 / std::sqrt(5.0) * 32767));
  EXPECT_EQ(at(0), (std::array<int16_t, 4>{0, y, z, 0}));
  EXPECT_EQ(sheet.Vertices[0].backNormal, (std::array<int16_t, 4>{0, static_cast<int16_t>(-y), static_cast<int16_t>(-z), 0}));
  TAffineVector min, max;
  sheet.GetExtents(min, max);
  EXPECT_EQ(max.z, 2.0f);
  EXPECT_EQ(min.x, 0.0f);

  // A quadrilateral face (four indices) and a degenerate one.
  TSharedVertices quads;
  quads.Vertices = {{{0, 0, 0}, white, {}, {}}, {{1, 0, 0}, white, {}, {}}, {{1, 1, 0}, white, {}, {}},
                    {{0, 1, 0}, white, {}, {}}, {{5, 5, 5}, white, {}, {}}};
  quads.Indices = {0, 1, 2, 3, 4, 4, 4, 4};
  quads.CalcNormals(4);
  EXPECT_EQ(quads.Vertices[1].frontNormal, (std::array<int16_t, 4>{0, 0, 32767, 0}));
  EXPECT_EQ(quads.Vertices[4].frontNormal, (std::array<int16_t, 4>{0, 0, 0, 0}));
}

// Lit, so that a side whose normals point away from the light shows dark.
class SharedMeshRenderGL : public MeshRenderGL {
 protected:
  void SetUp() override {
    MeshRenderGL::SetUp();
    if (!s_) return;
    s_->buffer->SetLighting(true);
    back_ = &s_->scene->Objects().AddNewChild<TGLMesh>();
    for (TGLMesh* mesh : {mesh_, back_}) mesh->SetMode(TMeshMode::mmTriangles);
    sheet_ = SharedSquare(0.4f, {0, 255, 0, 255}, &refills_);
    mesh_->SetSharedVertices(sheet_, false);
    back_->SetSharedVertices(sheet_, true);
  }
  // The centre pixel with only the front or only the back mesh shown, seen from
  // the front (+z) or, with both meshes turned half round, from behind.
  std::array<int, 3> Centre(bool back, bool fromBehind) {
    mesh_->SetVisible(!back);
    back_->SetVisible(back);
    for (TGLMesh* mesh : {mesh_, back_}) mesh->Direction().SetVector(0, 0, fromBehind ? -1.0f : 1.0f);
    s_->buffer->Render();
    return s_->Pixel(16, 16);
  }
  TGLMesh* back_ = nullptr;
  std::shared_ptr<TSharedVertices> sheet_;
  int refills_ = 0;
};

TEST_F(SharedMeshRenderGL, EachSideShowsLitFromItsOwnSideAndIsCulledFromTheOther) {
  const std::array<int, 3> front = Centre(false, false);
  EXPECT_GT(front[1], 128) << front[0] << " " << front[1] << " " << front[2];
  EXPECT_TRUE(Near(Centre(true, true), front));  // the back, seen from behind, lit alike
  EXPECT_TRUE(Near(Centre(false, true), testing::kBlueRgb));
  EXPECT_TRUE(Near(Centre(true, false), testing::kBlueRgb));
  EXPECT_EQ(mesh_->ListCompileCount(), 0);  // drawn every frame from the buffers
}

TEST_F(SharedMeshRenderGL, TheBuffersBecomeTheOneCopyAndNothingStaysBound) {
  Centre(false, false);
  ASSERT_TRUE(sheet_->InBuffers());
  EXPECT_FALSE(sheet_->ArraysHeld());
  EXPECT_TRUE(sheet_->Vertices.empty());
  EXPECT_EQ(mesh_->DrawnCount(), 6);
  EXPECT_EQ(refills_, 0);
  // Asking what is drawn brings the arrays back from the owner.
  EXPECT_EQ(back_->DrawnVertex(0).coord.x, 0.4f);  // the first triangle reversed: (2, 1, 0)
  EXPECT_EQ(refills_, 1);
  TGLContext& context = *s_->buffer->RenderingContext();
  context.Activate();
  GLint arrayBuffer = -1, elementBuffer = -1;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
  EXPECT_EQ(arrayBuffer, 0);
  EXPECT_EQ(elementBuffer, 0);
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
  context.Deactivate();
}

TEST_F(SharedMeshRenderGL, WithoutBufferObjectsTheArraysAreDrawn) {
  const bool version15 = GL.VERSION_1_5;
  const bool arb = GL.ARB_vertex_buffer_object;
  GL.VERSION_1_5 = GL.ARB_vertex_buffer_object = false;
  const std::array<int, 3> front = Centre(false, false);
  GL.VERSION_1_5 = version15;
  GL.ARB_vertex_buffer_object = arb;
  EXPECT_GT(front[1], 128);
  EXPECT_FALSE(sheet_->InBuffers());
  EXPECT_TRUE(sheet_->ArraysHeld());
  EXPECT_EQ(refills_, 0);
}

}  // namespace
}  // namespace qira

// The planes object: defaults, the two meshes it builds under ModelCube (front in
// order, back reversed), opacity, bounds, its stored chunk against an independent
// generator, editing, and one headless render seen from both sides.
#include "model/GraphPlanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphicsSceneSupport.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "scene/materials/Materials.h"
#include "scene/objects/Mesh.h"

namespace qira {
namespace {

using graphics_testing::TViewScene;
using graphics_testing::PolylineFixture;
using graphics_testing::ReadBack;
using graphics_testing::ReadTree;
using graphics_testing::Saved;

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

void ExpectVertex(const TGLMesh& mesh, int i, float x, float y, float z) {
  const TAffineVector& c = mesh.VertexList().Vertex(i).coord;
  EXPECT_FLOAT_EQ(c.x, x) << "vertex " << i;
  EXPECT_FLOAT_EQ(c.y, y) << "vertex " << i;
  EXPECT_FLOAT_EQ(c.z, z) << "vertex " << i;
}

const std::vector<TSurveyPoint> kPoints{
    {0.0, 0.0, 0.0}, {0.0, 0.0, -250.0}, {500.5, 0.0, -320.0}, {500.5, 0.0, 0.0}, {250.0, 1.0, 2.0}};

// ---- Defaults and building ----------------------------------------------------------

TEST(GraphPlanes, NewObjectIsAGreenHorizontalSquareSeenFromAboveAndBelow) {
  TViewScene view;
  TGraphPlanes planes;
  EXPECT_EQ(planes.TypeId, GraphTypeId::Planes);
  EXPECT_EQ(planes.Name(), "Planes");
  planes.SetContext(&view.context);
  planes.Build(false);
  ASSERT_TRUE(planes.FrontMesh);
  ASSERT_TRUE(planes.BackMesh);
  TGLMesh& front = *planes.FrontMesh;
  TGLMesh& back = *planes.BackMesh;
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 2);
  EXPECT_EQ(view.context.ModelCube->Children(0), &front);  // the front mesh first
  for (TGLMesh* mesh : {&front, &back}) {
    EXPECT_EQ(mesh->Mode(), TMeshMode::mmPolygon);
    ASSERT_EQ(mesh->VertexList().Count(), 4);
    EXPECT_FALSE(mesh->Blended());
    EXPECT_EQ(Mat(*mesh).FrontProperties().Diffuse().GetAsWinColor(), MakeColor(0, 128, 0));
    EXPECT_FLOAT_EQ(mesh->VertexList().Vertex(0).color.y, 128.0f / 255.0f);
  }
  // Survey (north, east, elevation) -> scene (x, y up, z): the square lies in y = 0.
  ExpectVertex(front, 0, 0, 0, 0);
  ExpectVertex(front, 1, 100, 0, 0);
  ExpectVertex(front, 2, 100, 0, 100);
  ExpectVertex(front, 3, 0, 0, 100);
  ExpectVertex(back, 0, 0, 0, 100);
  ExpectVertex(back, 3, 0, 0, 0);
  // One side faces up and the other down.
  EXPECT_FLOAT_EQ(front.VertexList().Vertex(0).normal.y, -back.VertexList().Vertex(0).normal.y);
  EXPECT_FLOAT_EQ(std::abs(front.VertexList().Vertex(0).normal.y), 1.0f);
}

TEST(GraphPlanes, At128TheMeshesBlendWithThatAlpha) {
  TViewScene view;
  TGraphPlanes planes;
  planes.SetContext(&view.context);
  planes.Transparency = 128;
  planes.Build(false);
  for (TGLMesh* mesh : {planes.FrontMesh.get(), planes.BackMesh.get()}) {
    EXPECT_TRUE(mesh->Blended());
    EXPECT_FLOAT_EQ(mesh->VertexList().Vertex(2).color.w, 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(Mat(*mesh).FrontProperties().Diffuse().Alpha(), 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(Mat(*mesh).FrontProperties().Ambient().Alpha(), 128.0f / 255.0f);
  }
  planes.Transparency = 255;
  planes.Build(false);
  EXPECT_FALSE(planes.FrontMesh->Blended());
}

TEST(GraphPlanes, ThreePointsMakeATriangleAndRebuildingKeepsTheMeshes) {
  TViewScene view;
  view.context.ModelOffset = {10, 20, 30};
  TGraphPlanes planes;
  planes.SetContext(&view.context);
  planes.Build(false);
  TGLMesh* front = planes.FrontMesh.get();
  planes.Params.Points = {{10, 30, 20}, {11, 30, 20}, {10, 30, 21}};
  planes.Build(false);
  EXPECT_EQ(planes.FrontMesh.get(), front);
  ASSERT_EQ(front->VertexList().Count(), 3);
  ExpectVertex(*front, 1, 1, 0, 0);
  ExpectVertex(*planes.BackMesh, 0, 0, 1, 0);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 2);
  for (size_t n : {2u, 1u, 0u}) {  // too few points for a plane still build without fault
    planes.Params.Points.resize(n);
    planes.Build(false);
    EXPECT_EQ(planes.FrontMesh->VertexList().Count(), static_cast<int32_t>(n));
  }
}

TEST(GraphPlanes, HidingHidesBothMeshesAndClearFreesThem) {
  TViewScene view;
  TGraphPlanes planes;
  planes.SetContext(&view.context);
  planes.Build(false);
  planes.SetVisible(false);
  EXPECT_FALSE(planes.FrontMesh->Visible());
  EXPECT_FALSE(planes.BackMesh->Visible());
  planes.Clear();
  EXPECT_FALSE(planes.FrontMesh);
  EXPECT_FALSE(planes.BackMesh);
  EXPECT_EQ(planes.PointCount(), 0);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 0);
}

// ---- Points and bounds --------------------------------------------------------------

// Set one by one and CalcBounds: PointSetBounds in GraphPolylineTest.

// ---- Editing ------------------------------------------------------------------------

TEST(GraphPlanes, EditTakesTheDialogsValuesRebuildsAndSetsTheBounds) {
  SetPlanesEditor(nullptr);
  TViewScene view;
  TGraphPlanes planes;
  EXPECT_FALSE(planes.Edit());
  planes.SetContext(&view.context);
  planes.Build(false);
  SetPlanesEditor([](const std::string& caption, TPlanesParams& p, uint8_t& t) {
    EXPECT_EQ(caption, "Planes");
    p.Points = kPoints;
    p.Color = MakeColor(1, 2, 3);
    t = 99;
    return true;
  });
  ASSERT_TRUE(planes.Edit());
  EXPECT_EQ(planes.FrontMesh->VertexList().Count(), 5);
  EXPECT_TRUE(planes.FrontMesh->Blended());
  EXPECT_EQ(planes.BoundsMax, (TSurveyPoint{500.5, 1, 2}));

  SetPlanesEditor([](const std::string&, TPlanesParams& p, uint8_t&) {
    p.Points.clear();
    return false;
  });
  EXPECT_FALSE(planes.Edit());
  EXPECT_EQ(planes.PointCount(), 5);
  SetPlanesEditor(nullptr);
}

// ---- Stored record ------------------------------------------------------------------

TGraphPlanes& Sample(TGraphPlanes& planes) {
  planes.SetName("Ebene");
  planes.Transparency = 100;
  planes.SetVisible(false);
  planes.Params.Points = kPoints;
  planes.Params.Color = MakeColor(128, 128, 128);
  planes.CalcBounds();
  return planes;
}

TEST(GraphPlanesRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphPlanes planes;
  EXPECT_EQ(Saved(Sample(planes)), PolylineFixture("planes.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(PolylineFixture("planes.bin"));
  auto* read = dynamic_cast<TGraphPlanes*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Params.Points, kPoints);
  EXPECT_FALSE(read->Visible());
  EXPECT_EQ(Saved(*read), PolylineFixture("planes.bin"));
}

TEST(GraphPlanesRecord, ANewerChunkIsSkippedAndTrailingFieldsArePassedOver) {
  TGraphMain newer;
  ASSERT_EQ(ReadTree("planes_newer.bin", newer, PolylineFixture), TGraphLoadResult::Loaded);
  ASSERT_EQ(newer.ChildCount(), 1);
  EXPECT_EQ(newer.GetChild(0)->Name(), "after");

  TGraphMain trailing;
  ASSERT_EQ(ReadTree("planes_trailing.bin", trailing, PolylineFixture), TGraphLoadResult::Loaded);
  ASSERT_EQ(trailing.ChildCount(), 2);
  EXPECT_EQ(static_cast<TGraphPlanes*>(trailing.GetChild(0))->PointCount(), 5);
  EXPECT_EQ(trailing.GetChild(1)->Name(), "after");
}

TEST(GraphPlanesRecord, APointCountThatDoesNotFitOrAShortChunkIsDamage) {
  for (const char* fixture : {"planes_count_huge.bin", "planes_count_negative.bin",
                              "planes_count_beyond_chunk.bin", "planes_chunk_too_short.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    EXPECT_EQ(ReadTree(fixture, root, PolylineFixture), TGraphLoadResult::Damaged);
    EXPECT_EQ(root.ChildCount(), 0);
  }
  RegisterPolylineKinds();
  TMemoryStream s(PolylineFixture("planes_truncated.bin"));
  EXPECT_THROW(CreateGraphObject(s), EStreamError);
}

// ---- Drawing ------------------------------------------------------------------------

class GraphPlanesRenderGL : public graphics_testing::TRenderedViewTest {};

// The square stands upright, facing the camera with one mesh and away with the
// other; either way round it shows.
TEST_F(GraphPlanesRenderGL, TheSquareShowsFromEitherSide) {
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    TGraphPlanes planes;
    planes.SetContext(&context_);
    planes.Params.Points = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};  // scene x, y in -1..1
    if (reversed) std::reverse(planes.Params.Points.begin(), planes.Params.Points.end());
    planes.Params.Color = MakeColor(255, 0, 0);
    planes.Build(false);
    Render();
    EXPECT_TRUE(Shows(0.0f, 0.0f, testing::kRedRgb));
    EXPECT_TRUE(Shows(0.8f, -0.8f, testing::kRedRgb));
    EXPECT_TRUE(Background(1.3f, 0.0f));
    EXPECT_TRUE(Background(0.0f, -1.3f));
  }
}

}  // namespace
}  // namespace qira

// The polyline object: defaults, the pipe and end spheres it builds under
// ModelCube at the converted points, round ends switched off and on, opacity,
// bounds, its stored chunk against an independent generator, editing, and one
// headless render.
#include "model/GraphPolyline.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/GraphPlanes.h"
#include "model/GraphSpheres.h"
#include "model/GraphicsSceneSupport.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "scene/objects/BasicSolids.h"
#include "scene/materials/Materials.h"
#include "scene/objects/Pipe.h"

namespace qira {
namespace {

using graphics_testing::TViewScene;
using graphics_testing::PolylineFixture;
using graphics_testing::ReadBack;
using graphics_testing::ReadTree;
using graphics_testing::Saved;

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

void ExpectAt(TGLBaseSceneObject& node, float x, float y, float z) {
  EXPECT_FLOAT_EQ(node.Position().X(), x);
  EXPECT_FLOAT_EQ(node.Position().Y(), y);
  EXPECT_FLOAT_EQ(node.Position().Z(), z);
}

const std::vector<TSurveyPoint> kPoints{{1.0, 2.0, 3.0}, {-10.5, 20.25, 0.0}, {4.0, -8.0, 100.0},
                                        {0.125, 0.0, -7.5}};

// ---- Defaults and building ----------------------------------------------------------

TEST(GraphLine, NewObjectRunsThroughFourBluePointsWithRoundEndsOfRadius2_5) {
  TViewScene view;
  TGraphLine line;
  EXPECT_EQ(line.TypeId, GraphTypeId::Line);
  EXPECT_EQ(line.Name(), "Lines");
  EXPECT_EQ(line.BoundsMin, EmptyBoundsMin);
  line.SetContext(&view.context);
  line.Build(false);

  ASSERT_TRUE(line.Pipe);
  TGLPipe& pipe = *line.Pipe;
  EXPECT_EQ(pipe.Parent(), view.context.ModelCube);
  EXPECT_FLOAT_EQ(pipe.Radius(), 2.5f);
  EXPECT_TRUE(pipe.Blended());  // always: the nodes' alpha decides
  ASSERT_EQ(pipe.Nodes().Count(), 4);
  // Survey (north, east, elevation) -> scene (x, y up, z).
  const float scene[4][3] = {{0, 0, 0}, {100, 0, 0}, {100, 0, 100}, {100, 100, 100}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(pipe.Nodes()[i].X(), scene[i][0]);
    EXPECT_FLOAT_EQ(pipe.Nodes()[i].Y(), scene[i][1]);
    EXPECT_FLOAT_EQ(pipe.Nodes()[i].Z(), scene[i][2]);
    EXPECT_EQ(pipe.Nodes()[i].Color().GetAsWinColor(), MakeColor(0, 0, 255));
  }

  for (auto& sphere : line.EndSpheres) {
    ASSERT_TRUE(sphere);
    EXPECT_FLOAT_EQ(sphere->Radius(), 2.5f);
    EXPECT_FALSE(sphere->Blended());
    EXPECT_EQ(Mat(*sphere).FrontProperties().Diffuse().GetAsWinColor(), MakeColor(0, 0, 255));
  }
  ExpectAt(*line.EndSpheres[0], 0, 0, 0);
  ExpectAt(*line.EndSpheres[1], 100, 100, 100);
}

TEST(GraphLine, ClearingRoundEndsRemovesTheSpheresAndSettingItMakesThemAnew) {
  TViewScene view;
  TGraphLine line;
  line.SetContext(&view.context);
  line.Build(false);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 3);

  line.Params.RoundEnds = false;
  line.Build(false);
  EXPECT_FALSE(line.EndSpheres[0]);
  EXPECT_FALSE(line.EndSpheres[1]);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 1);

  line.Params.RoundEnds = true;
  line.Build(false);
  ASSERT_TRUE(line.EndSpheres[0]);
  ASSERT_TRUE(line.EndSpheres[1]);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 3);
  ExpectAt(*line.EndSpheres[1], 100, 100, 100);
}

// Spheres left from a build with points would mark ends of a line that is gone.
TEST(GraphLine, OnePointTakesBothEndSpheresAndNoPointsNone) {
  TViewScene view;
  TGraphLine line;
  line.SetContext(&view.context);
  line.Params.Points = {{5, 6, 7}};
  line.Build(false);
  EXPECT_EQ(line.Pipe->Nodes().Count(), 1);
  ExpectAt(*line.EndSpheres[0], 5, 7, 6);
  ExpectAt(*line.EndSpheres[1], 5, 7, 6);
  line.Params.Points.clear();
  line.Build(false);
  EXPECT_EQ(line.Pipe->Nodes().Count(), 0);
  EXPECT_FALSE(line.EndSpheres[0]);
  EXPECT_FALSE(line.EndSpheres[1]);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 1);
}

TEST(GraphLine, RebuildingReplacesThePipeNodesAndKeepsThePipe) {
  TViewScene view;
  TGraphLine line;
  line.SetContext(&view.context);
  line.Build(false);
  TGLPipe* pipe = line.Pipe.get();
  line.Params.Points = kPoints;
  line.Params.Diameter = 3;
  line.Params.Color = MakeColor(255, 0, 0);
  line.Build(false);
  EXPECT_EQ(line.Pipe.get(), pipe);
  ASSERT_EQ(pipe->Nodes().Count(), 4);
  EXPECT_FLOAT_EQ(pipe->Nodes()[3].Y(), -7.5f);
  EXPECT_EQ(pipe->Nodes()[3].Color().GetAsWinColor(), MakeColor(255, 0, 0));
  EXPECT_FLOAT_EQ(pipe->Radius(), 1.5f);
  EXPECT_FLOAT_EQ(line.EndSpheres[1]->Radius(), 1.5f);
}

TEST(GraphLine, OpacityBelow255GoesIntoTheNodeColoursAndBlendsTheSpheres) {
  TViewScene view;
  TGraphLine line;
  line.SetContext(&view.context);
  line.Transparency = 128;
  line.Build(false);
  EXPECT_FLOAT_EQ(line.Pipe->Nodes()[0].Color().Alpha(), 128.0f / 255.0f);
  for (auto& sphere : line.EndSpheres) {
    EXPECT_TRUE(sphere->Blended());
    EXPECT_FLOAT_EQ(Mat(*sphere).FrontProperties().Diffuse().Alpha(), 128.0f / 255.0f);
  }
}

TEST(GraphLine, HidingTheObjectOrAnAncestorHidesEveryNode) {
  TViewScene view;
  TGraphMain group;
  group.SetContext(&view.context);
  TGraphLine* line = static_cast<TGraphLine*>(group.AddChild(std::make_unique<TGraphLine>(), false));
  group.Build(true);
  ASSERT_TRUE(line->Pipe);
  group.SetVisible(false);
  EXPECT_FALSE(line->Pipe->Visible());
  EXPECT_FALSE(line->EndSpheres[0]->Visible());
  EXPECT_FALSE(line->EndSpheres[1]->Visible());
  group.SetVisible(true);
  EXPECT_TRUE(line->EndSpheres[1]->Visible());
  line->Clear();
  EXPECT_FALSE(line->Pipe);
  EXPECT_EQ(line->PointCount(), 0);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 0);
}

// ---- Points and bounds --------------------------------------------------------------

// The kinds whose points are set one by one share how that widens the bounds.
template <class T>
class PointSetBounds : public ::testing::Test {};
using TPointSetKinds = ::testing::Types<TGraphLine, TGraphSpheres, TGraphPlanes>;
TYPED_TEST_SUITE(PointSetBounds, TPointSetKinds);

TYPED_TEST(PointSetBounds, PointsSetOneByOneWidenTheBoundsCalcBoundsCoversThemAndAnotherCountEmptiesThem) {
  TypeParam o;
  EXPECT_EQ(o.BoundsMin, EmptyBoundsMin);
  o.SetPointCount(2);
  EXPECT_EQ(o.BoundsMin, EmptyBoundsMin);
  EXPECT_TRUE(o.SetPoint(0, {1, -2, 3}));
  EXPECT_TRUE(o.SetPoint(1, {-4, 5, 6}));
  EXPECT_FALSE(o.SetPoint(2, {100, 100, 100}));
  EXPECT_FALSE(o.SetPoint(-1, {100, 100, 100}));
  EXPECT_EQ(o.BoundsMin, (TSurveyPoint{-4, -2, 3}));
  EXPECT_EQ(o.BoundsMax, (TSurveyPoint{1, 5, 6}));
  o.BoundsMin = EmptyBoundsMin;
  o.BoundsMax = EmptyBoundsMax;
  o.CalcBounds();
  EXPECT_EQ(o.BoundsMin, (TSurveyPoint{-4, -2, 3}));
  EXPECT_EQ(o.BoundsMax, (TSurveyPoint{1, 5, 6}));
  o.SetPointCount(2);  // the same count keeps the box
  EXPECT_EQ(o.BoundsMax, (TSurveyPoint{1, 5, 6}));
  o.SetPointCount(3);
  EXPECT_EQ(o.BoundsMax, EmptyBoundsMax);
  o.SetPointCount(-3);
  EXPECT_EQ(o.PointCount(), 0);
  EXPECT_EQ(o.BoundsMin, EmptyBoundsMin);
}

// ---- Editing ------------------------------------------------------------------------

TEST(GraphLine, EditOfANewObjectWithoutAViewSetsItsBounds) {
  SetLineEditor(nullptr);
  TGraphLine line;
  EXPECT_FALSE(line.Edit());
  SetLineEditor([](const std::string& caption, TLineParams3D& p, uint8_t&) {
    EXPECT_EQ(caption, "Lines");
    p.Points = kPoints;
    return true;
  });
  ASSERT_TRUE(line.Edit());
  EXPECT_FALSE(line.Pipe);
  EXPECT_EQ(line.BoundsMax, (TSurveyPoint{4, 20.25, 100}));
  SetLineEditor(nullptr);
}

TEST(GraphLine, EditInAViewRebuildsAndCancelKeepsEverything) {
  TViewScene view;
  TGraphLine line;
  line.SetContext(&view.context);
  line.Build(false);
  SetLineEditor([](const std::string&, TLineParams3D& p, uint8_t& t) {
    p.RoundEnds = false;
    p.Diameter = 1;
    t = 10;
    return true;
  });
  ASSERT_TRUE(line.Edit());
  EXPECT_FALSE(line.EndSpheres[0]);
  EXPECT_FLOAT_EQ(line.Pipe->Radius(), 0.5f);
  EXPECT_EQ(line.Transparency, 10);

  SetLineEditor([](const std::string&, TLineParams3D& p, uint8_t& t) {
    p.Points.clear();
    t = 0;
    return false;
  });
  EXPECT_FALSE(line.Edit());
  EXPECT_EQ(line.PointCount(), 4);
  EXPECT_EQ(line.Transparency, 10);
  SetLineEditor(nullptr);
}

// ---- Stored record ------------------------------------------------------------------

TGraphLine& Sample(TGraphLine& line) {
  line.SetName("Bohrung Ö");
  line.Transparency = 77;
  line.AcceptForAll = true;
  line.Params.Points = kPoints;
  line.Params.Diameter = 2.75;
  line.Params.Color = MakeColor(0x30, 0x20, 0x10);
  line.Params.RoundEnds = false;
  line.CalcBounds();
  return line;
}

TEST(GraphLineRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphLine line;
  EXPECT_EQ(Saved(Sample(line)), PolylineFixture("line.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(PolylineFixture("line.bin"));
  auto* read = dynamic_cast<TGraphLine*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Params.Points, kPoints);
  EXPECT_FALSE(read->Params.RoundEnds);
  EXPECT_EQ(Saved(*read), PolylineFixture("line.bin"));
}

TEST(GraphLineRecord, ANewerChunkIsSkippedAndTrailingFieldsArePassedOver) {
  for (const char* fixture : {"line_newer.bin", "line_trailing.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    ASSERT_EQ(ReadTree(fixture, root, PolylineFixture), TGraphLoadResult::Loaded);
    const bool newer = std::string(fixture) == "line_newer.bin";
    ASSERT_EQ(root.ChildCount(), newer ? 1 : 2);
    EXPECT_EQ(root.GetChild(root.ChildCount() - 1)->Name(), "after");
    if (!newer) {
      EXPECT_EQ(static_cast<TGraphLine*>(root.GetChild(0))->PointCount(), 4);
    }
  }
}

TEST(GraphLineRecord, APointCountThatDoesNotFitAShortChunkOrAShortStreamIsDamage) {
  for (const char* fixture : {"line_count_huge.bin", "line_count_negative.bin", "line_count_beyond_chunk.bin",
                              "line_chunk_too_short.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    EXPECT_EQ(ReadTree(fixture, root, PolylineFixture), TGraphLoadResult::Damaged);
    EXPECT_EQ(root.ChildCount(), 0);
  }
  RegisterPolylineKinds();
  TMemoryStream s(PolylineFixture("line_truncated.bin"));
  EXPECT_THROW(CreateGraphObject(s), EStreamError);
}

// ---- Drawing ------------------------------------------------------------------------

class GraphLineRenderGL : public graphics_testing::TRenderedViewTest {};

TEST_F(GraphLineRenderGL, ThePipeRunsBetweenItsPointsWithRoundEnds) {
  context_.ModelOffset = {100, 300, 200};
  TGraphLine line;
  line.SetContext(&context_);
  // Scene (-1.5, 0) to (1.5, 0), then up to (1.5, 1.5).
  line.Params.Points = {{98.5, 200, 300}, {101.5, 200, 300}, {101.5, 200, 301.5}};
  line.Params.Diameter = 0.5;
  line.Params.Color = MakeColor(0, 255, 0);
  line.Build(false);
  Render();
  EXPECT_TRUE(Shows(0.0f, 0.0f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(-1.0f, 0.1f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(1.5f, 0.8f, testing::kGreenRgb));
  EXPECT_TRUE(Background(0.0f, 0.6f));
  EXPECT_TRUE(Background(0.0f, -0.6f));
  EXPECT_TRUE(Background(0.5f, 1.0f));
  EXPECT_TRUE(Background(-2.0f, 0.0f));
}

}  // namespace
}  // namespace qira

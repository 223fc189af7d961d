// The spheres object: defaults, the nodes it builds under ModelCube at the
// converted centres, node replacement, opacity, bounds, its stored chunk against an
// independent generator, editing, and one headless render.
#include "model/GraphSpheres.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/DrawCosts.h"
#include "model/GraphPoints.h"
#include "model/GraphicsSceneSupport.h"
#include "platform/BinaryStream.h"
#include "scene/components/Components.h"
#include "scene/graph/SceneObject.h"
#include "scene/objects/BasicSolids.h"
#include "scene/materials/Materials.h"
#include "scene/objects/PointsLines.h"
#include "support/FakeServices.h"
#include "support/ScopedMemoryProbe.h"

namespace qira {
namespace {

using graphics_testing::GraphicsFixture;
using graphics_testing::ReadBack;
using graphics_testing::ReadTree;
using graphics_testing::Saved;
using graphics_testing::TViewScene;

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

const std::vector<TSurveyPoint> kCentres{{1.0, 2.0, 3.0}, {-10.5, 20.25, 0.0}, {4.0, -8.0, 100.0}};

// ---- Defaults and building ----------------------------------------------------------

TEST(GraphSpheres, NewObjectShowsOneYellowSphereOfRadius5At16SlicesAtTheOrigin) {
  TViewScene view;
  TGraphSpheres spheres;
  EXPECT_EQ(spheres.TypeId, GraphTypeId::Spheres);
  EXPECT_EQ(spheres.Name(), "Spheres");
  spheres.SetContext(&view.context);
  spheres.Build(false);
  ASSERT_EQ(spheres.Spheres.size(), 1u);
  TGLSphere& s = *spheres.Spheres[0];
  EXPECT_EQ(s.Parent(), view.context.ModelCube);
  EXPECT_FLOAT_EQ(s.Radius(), 5.0f);
  EXPECT_EQ(s.Slices(), 16);
  EXPECT_EQ(Mat(s).FrontProperties().Diffuse().GetAsWinColor(), MakeColor(255, 255, 0));
  EXPECT_FALSE(s.Blended());
}

TEST(GraphSpheres, ANewCountReplacesEveryNodeAndARadiusChangeKeepsThem) {
  TViewScene view;
  TGraphSpheres spheres;
  spheres.SetContext(&view.context);
  spheres.Params.Centres = kCentres;
  spheres.Build(false);
  ASSERT_EQ(spheres.Spheres.size(), 3u);
  TGLSphere* first = spheres.Spheres[0].get();

  spheres.Params.Radius = 7.5;
  spheres.Build(false);
  EXPECT_EQ(spheres.Spheres[0].get(), first);
  EXPECT_FLOAT_EQ(first->Radius(), 7.5f);

  spheres.Params.Centres.push_back({0, 0, 0});
  spheres.Params.Centres.push_back({1, 1, 1});
  spheres.Build(false);
  ASSERT_EQ(spheres.Spheres.size(), 5u);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 5);  // the three old ones are gone
  for (auto& node : spheres.Spheres) EXPECT_FLOAT_EQ(node->Radius(), 7.5f);

  spheres.Clear();
  EXPECT_TRUE(spheres.Spheres.empty());
  EXPECT_EQ(spheres.PointCount(), 0);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 0);
}

// A hundred thousand spheres are freed (a delete, a close, a new count) in time
// proportional to their count: each node is found at the back of the scene's lists.
TEST(GraphSpheres, FreeingTheNodesWalksNoOtherNodeOfTheScenesLists) {
  for (const int count : {500, 2000}) {
    TViewScene view;
    TGraphSpheres spheres;
    spheres.SetContext(&view.context);
    spheres.Params.Centres.assign(static_cast<size_t>(count), TSurveyPoint{0, 0, 0});
    spheres.Build(false);
    const int64_t before = ComponentListStepsForTesting() + ChildListStepsForTesting();
    spheres.Clear();
    EXPECT_LE(ComponentListStepsForTesting() + ChildListStepsForTesting() - before, 2 * count) << count;
  }
}

TEST(GraphSpheres, Opacity200BlendsWithThatAlphaAndHidingHidesEveryNode) {
  TViewScene view;
  TGraphSpheres spheres;
  spheres.SetContext(&view.context);
  spheres.Transparency = 200;
  spheres.Params.Centres = kCentres;
  spheres.Build(false);
  TGLSphere& s = *spheres.Spheres[0];
  EXPECT_TRUE(s.Blended());
  EXPECT_FLOAT_EQ(Mat(s).FrontProperties().Diffuse().Alpha(), 200.0f / 255.0f);
  EXPECT_FLOAT_EQ(Mat(s).FrontProperties().Ambient().Alpha(), 200.0f / 255.0f);
  spheres.SetVisible(false);
  for (auto& node : spheres.Spheres) EXPECT_FALSE(node->Visible());
}

// The count takes what each node it builds draws (its strips, which the node's draw is
// checked against in BasicSolidsTest), at every slice count the field lets through.
TEST(GraphSpheres, TessellationIsBuiltWithinLimitsAndStoredAsGiven) {
  TViewScene view;
  TGraphSpheres spheres;
  spheres.SetContext(&view.context);
  std::vector<int32_t> stored = {10000000, 0, -5};
  for (int32_t n = 1; n <= MaxSphereSlices + 10; ++n) stored.push_back(n);
  for (int32_t slices : stored) {
    SCOPED_TRACE(slices);
    spheres.Params.Slices = slices;
    spheres.Build(false);
    const TGLSphere& node = *spheres.Spheres[0];
    const int32_t built = node.Slices();
    ASSERT_GE(built, 1);
    ASSERT_LE(built, MaxSphereSlices);
    ASSERT_EQ(node.Stacks(), built);
    ASSERT_EQ(spheres.Params.Slices, slices);
    ASSERT_EQ(spheres.DrawnBytes(), SpheresDrawCost.Of(1, node.Strips()));
    ASSERT_EQ(spheres.BinnedBytes(), SphereBinBytes(node.Strips()));
  }
}

// ---- Centres and bounds -------------------------------------------------------------

// Set one by one and CalcBounds: PointSetBounds in GraphPolylineTest.

// ---- Editing ------------------------------------------------------------------------

// A new object is edited before it joins a view; its bounds must follow the
// centres even so, or it never counts when the view is centred.
TEST(GraphSpheres, EditOfANewObjectWithoutAViewSetsItsBounds) {
  SetSpheresEditor(nullptr);
  TGraphSpheres spheres;
  EXPECT_FALSE(spheres.Edit());
  SetSpheresEditor([](const std::string&, TSpheresParams& p, uint8_t&) {
    p.Centres = kCentres;
    return true;
  });
  ASSERT_TRUE(spheres.Edit());
  EXPECT_TRUE(spheres.Spheres.empty());
  EXPECT_EQ(spheres.BoundsMin, (TSurveyPoint{-10.5, -8, 0}));
  SetSpheresEditor(nullptr);
}

TEST(GraphSpheres, EditInAViewRebuildsAndCancelKeepsEverything) {
  TViewScene view;
  TGraphSpheres spheres;
  spheres.SetContext(&view.context);
  spheres.Build(false);
  SetSpheresEditor([](const std::string& caption, TSpheresParams& p, uint8_t& t) {
    EXPECT_EQ(caption, "Spheres");
    p.Radius = 1.25;
    t = 10;
    return true;
  });
  ASSERT_TRUE(spheres.Edit());
  EXPECT_FLOAT_EQ(spheres.Spheres[0]->Radius(), 1.25f);
  EXPECT_TRUE(spheres.Spheres[0]->Blended());
  EXPECT_EQ(spheres.Transparency, 10);

  SetSpheresEditor([](const std::string&, TSpheresParams& p, uint8_t&) {
    p.Centres.clear();
    return false;
  });
  EXPECT_FALSE(spheres.Edit());
  EXPECT_EQ(spheres.PointCount(), 1);
  SetSpheresEditor(nullptr);
}

// An edit is counted before anything is built, as an open counts what it makes: one
// the memory left cannot hold is refused with its need told, the object holding and
// drawing what it did; with room it is made. Spheres of the most segments the dialog
// takes (drawn at 1,024 slices, 64 MB a sphere); 20,000 points grown to 100 pixels,
// each landing in about seven tiles of the renderer, or to 48, in about three.
TEST(GraphSpheres, AnEditIsCountedBeforeItIsBuiltAndRefusedWithTheOldSettingsKept) {
  constexpr int64_t kMB = int64_t{1} << 20;
  struct TRow {
    const char* Name;
    int64_t Room;
    int32_t Slices;      // spheres: the segments set in the dialog (0: a point set)
    float PointSize;     // points: the size set in the dialog
    bool Made;
  };
  const TRow rows[] = {
      {"spheres, most segments, 400 MB", 400 * kMB, 10000000, 0, false},
      {"spheres, most segments, 600 MB", 600 * kMB, 10000000, 0, false},
      {"spheres, most segments, room", int64_t{64} << 30, 10000000, 0, true},
      {"spheres, 64 segments, 400 MB", 400 * kMB, 64, 0, true},
      {"points of 100 pixels, 30 MB", 30 * kMB, 0, 100, false},
      {"points of 100 pixels, 100 MB", 100 * kMB, 0, 100, true},
      {"points of 48 pixels, 20 MB", 20 * kMB, 0, 48, false},
      {"points of 14 pixels, 20 MB", 20 * kMB, 0, 14, true},
  };
  constexpr int kCentres = 40;
  constexpr int kPoints = 20000;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TFakeServices services;
    TViewScene view;
    const TScopedMemoryProbe room([&row] { return row.Room; });
    if (row.Slices > 0) {
      TGraphSpheres spheres;
      spheres.SetContext(&view.context);
      spheres.Params.Centres.assign(kCentres, TSurveyPoint{0, 0, 0});
      spheres.Build(false);
      SetSpheresEditor([&row](const std::string&, TSpheresParams& p, uint8_t& opacity) {
        p.Slices = row.Slices;
        p.Radius = 7;
        opacity = 100;
        return true;
      });
      EXPECT_EQ(spheres.Edit(), row.Made);
      SetSpheresEditor(nullptr);
      EXPECT_EQ(spheres.Params.Slices, row.Made ? row.Slices : 16);
      EXPECT_EQ(spheres.Params.Radius, row.Made ? 7.0 : 5.0);
      EXPECT_EQ(spheres.Transparency, row.Made ? 100 : 255);
      ASSERT_EQ(spheres.Spheres.size(), static_cast<size_t>(kCentres));
      EXPECT_EQ(spheres.Spheres[0]->Slices(), row.Made ? std::min(row.Slices, MaxSphereSlices) : 16);
    } else {
      TGraphPoints points;
      points.SetContext(&view.context);
      points.BeginAdd();
      for (int i = 0; i < kPoints; ++i) points.AddPoint({static_cast<double>(i), 0, 0});
      points.EndAdd();
      points.Build(false);
      SetPointsEditor([&row](const std::string&, TPointsSettings& s, TTransparencyParams&) {
        s.PointSize = row.PointSize;
        s.Round = true;
        return true;
      });
      EXPECT_EQ(points.Edit(), row.Made);
      SetPointsEditor(nullptr);
      EXPECT_FLOAT_EQ(points.PointSize, row.Made ? row.PointSize : 2.0f);
      EXPECT_FLOAT_EQ(points.GLPoints->Size(), row.Made ? row.PointSize : 2.0f);
    }
    if (row.Made) {
      EXPECT_TRUE(services.Messages.empty());
    } else {
      ASSERT_EQ(services.Messages.size(), 1u);
      EXPECT_NE(services.Messages[0].Text.find("is too large to be shown: it needs "), std::string::npos)
          << services.Messages[0].Text;
    }
  }
}

// ---- Stored record ------------------------------------------------------------------

TGraphSpheres& Sample(TGraphSpheres& spheres) {
  spheres.SetName("Kugeln");
  spheres.Transparency = 128;
  spheres.Params.Centres = kCentres;
  spheres.Params.Radius = 2.5;
  spheres.Params.Color = MakeColor(0, 255, 0);
  spheres.Params.Slices = 24;
  spheres.CalcBounds();
  return spheres;
}

TEST(GraphSpheresRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphSpheres spheres;
  EXPECT_EQ(Saved(Sample(spheres)), GraphicsFixture("spheres.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(GraphicsFixture("spheres.bin"));
  auto* read = dynamic_cast<TGraphSpheres*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Params.Centres, kCentres);
  EXPECT_EQ(read->BoundsMin, (TSurveyPoint{-10.5, -8, 0}));  // from the common record
  EXPECT_EQ(Saved(*read), GraphicsFixture("spheres.bin"));
}

TEST(GraphSpheresRecord, ANewerChunkIsSkippedAndACentreCountThatDoesNotFitIsDamage) {
  TGraphMain newer;
  ASSERT_EQ(ReadTree("spheres_newer.bin", newer), TGraphLoadResult::Loaded);
  ASSERT_EQ(newer.ChildCount(), 1);
  EXPECT_EQ(newer.GetChild(0)->Name(), "after");
  for (const char* fixture :
       {"spheres_count_huge.bin", "spheres_count_negative.bin", "spheres_count_beyond_chunk.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    RegisterGraphicsKinds();
    TMemoryStream s(GraphicsFixture(fixture));
    EXPECT_EQ(LoadGraphTree(s, root), TGraphLoadResult::Damaged);
  }
}

// ---- Drawing ------------------------------------------------------------------------

class GraphSpheresRenderGL : public graphics_testing::TRenderedViewTest {};

TEST_F(GraphSpheresRenderGL, EachSphereDrawsAtItsConvertedCentre) {
  context_.ModelOffset = {100, 300, 200};
  TGraphSpheres spheres;
  spheres.SetContext(&context_);
  spheres.Params.Centres = {{101, 200, 300.5}, {98.5, 200, 298.5}};  // scene (1, 0.5) and (-1.5, -1.5)
  spheres.Params.Radius = 0.5;
  spheres.Params.Color = MakeColor(0, 255, 0);
  spheres.Build(false);
  Render();
  EXPECT_TRUE(Shows(1.0f, 0.5f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(1.3f, 0.7f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(-1.5f, -1.5f, testing::kGreenRgb));
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(1.0f, -0.2f));
  EXPECT_TRUE(Background(-1.5f, -0.8f));
}

}  // namespace
}  // namespace qira

// The points and lines objects: adding with growth, the nodes they build (positions,
// colours, styles, pipe nodes with their invisible joins), settings spread to objects
// of the same kind, their stored chunks against an independent generator, and one
// headless render each.
#include <gtest/gtest.h>

#include <memory>
#include <map>
#include <string>
#include <vector>

#include "model/DrawCosts.h"
#include "model/GraphLines.h"
#include "model/GraphPoints.h"
#include "model/GraphicsSceneSupport.h"
#include "model/SurfaceRecordFixtures.h"
#include "platform/BinaryStream.h"
#include "scene/components/Colors.h"
#include "scene/graph/SceneObject.h"
#include "scene/materials/Materials.h"
#include "scene/objects/PointsLines.h"
#include "scene/objects/Pipe.h"
#include "support/HeapPeak.h"

namespace qira {
namespace {

using graphics_testing::TViewScene;
using surface_testing::ReadFixtureTree;
using surface_testing::ReadRecord;
using surface_testing::SavedRecord;
using surface_testing::SurfaceFixture;

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kGreen = MakeColor(0, 255, 0);

const std::vector<TSurveyPoint> kPoints{{100.5, 200.25, -3.0}, {0, 0, 0}, {-7.0, 1e6, 12.0}};
const std::vector<TLineSegment> kSegments{{{0, 0, 0}, {10, 0, 0}}, {{5, 5, 5}, {5, -5, 20}}};

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

// ---- Points: adding and building ----------------------------------------------------

TEST(GraphPoints, NewObjectDrawsRoundWhiteTwoPixelPoints) {
  TViewScene view;
  TGraphPoints points;
  points.SetContext(&view.context);
  points.AddPoint({1, 2, 3});
  points.Build(false);
  TGLPoints& node = *points.GLPoints;
  EXPECT_EQ(node.Parent(), view.context.ModelCube);
  EXPECT_EQ(node.Style(), TGLPointStyle::psSmooth);
  EXPECT_FLOAT_EQ(node.Size(), 2.0f);
  ASSERT_EQ(node.Colors().Count(), 1);
  EXPECT_EQ(ConvertColorVector(node.Colors()[0]), MakeColor(255, 255, 255));
  points.SetVisible(false);
  EXPECT_FALSE(node.Visible());
}

TEST(GraphPoints, StyleFollowsRoundAndOpacity) {
  struct Case {
    bool round;
    uint8_t opacity;
    TGLPointStyle style;
  };
  const Case cases[] = {{true, 255, TGLPointStyle::psSmooth},
                        {true, 254, TGLPointStyle::psSmoothAdditive},
                        {false, 255, TGLPointStyle::psSquare},
                        {false, 0, TGLPointStyle::psSquareAdditive}};
  TViewScene view;
  TGraphPoints points;
  points.SetContext(&view.context);
  points.AddPoint({1, 2, 3});
  for (const Case& c : cases) {
    points.Round = c.round;
    points.Transparency = c.opacity;
    points.Build(false);
    EXPECT_EQ(points.GLPoints->Style(), c.style) << c.round << " " << int(c.opacity);
  }
}

TEST(GraphPoints, PositionsAreConvertedAndOwnColoursShowUnlessIgnored) {
  TViewScene view;
  view.context.ModelOffset = {100, 0, 200};
  TGraphPoints points;
  points.SetContext(&view.context);
  points.Color = kGreen;
  points.Transparency = 51;
  points.BeginAdd();
  for (const TSurveyPoint& p : kPoints) points.AddPoint(p);
  points.SetLastPointColor(kRed);
  points.EndAdd();
  points.Build(false);
  TGLPoints& node = *points.GLPoints;
  ASSERT_EQ(node.Positions().Count(), 3);
  EXPECT_FLOAT_EQ(node.Positions()[0].x, 0.5f);
  EXPECT_FLOAT_EQ(node.Positions()[0].y, -3.0f);
  EXPECT_FLOAT_EQ(node.Positions()[0].z, 0.25f);
  ASSERT_EQ(node.Colors().Count(), 3);
  EXPECT_EQ(ConvertColorVector(node.Colors()[0]), kGreen);
  EXPECT_EQ(ConvertColorVector(node.Colors()[2]), kRed);
  EXPECT_FLOAT_EQ(node.Colors()[2].w, 0.2f);
  points.IgnorePointColors = true;
  points.Build(false);
  EXPECT_EQ(ConvertColorVector(node.Colors()[2]), kGreen);
  EXPECT_EQ(points.BoundsMin, (TSurveyPoint{-7, 0, -3}));
  EXPECT_EQ(points.BoundsMax, (TSurveyPoint{100.5, 1e6, 12}));
}

TEST(GraphPoints, ArraysGrowInStepsOf5000AndEndAddCutsThem) {
  TGraphPoints points;
  points.BeginAdd();
  for (int i = 0; i < 5001; ++i) points.AddPoint({double(i), 0, 0});
  EXPECT_EQ(points.Points.size(), 10000u);
  EXPECT_EQ(points.PointColors.size(), 10000u);
  EXPECT_EQ(points.PointHasColor.size(), 10000u);
  points.EndAdd();
  EXPECT_EQ(points.Points.size(), 5001u);
  EXPECT_EQ(points.PointHasColor.size(), 5001u);
  EXPECT_FALSE(points.IsEmpty());
  points.Clear();
  EXPECT_TRUE(points.IsEmpty());
}

// ---- Points: settings ---------------------------------------------------------------

TEST(GraphPoints, StyleSpreadsByDefaultButTheColourOnlyWhenItsBoxIsChecked) {
  TViewScene view;
  TGraphMain root;
  root.SetContext(&view.context);
  auto* first = static_cast<TGraphPoints*>(root.AddChild(std::make_unique<TGraphPoints>(), false));
  auto* second = static_cast<TGraphPoints*>(root.AddChild(std::make_unique<TGraphPoints>(), false));
  for (TGraphPoints* p : {first, second}) {
    p->AddPoint({0, 0, 0});
    p->Build(false);
  }
  EXPECT_FALSE(first->Edit());  // no dialog installed
  SetPointsEditor([](const std::string&, TPointsSettings& s, TTransparencyParams&) {
    s.Round = false;
    s.Color = kRed;
    s.PointSize = 7;
    return true;
  });
  ASSERT_TRUE(first->Edit());
  EXPECT_FALSE(second->Round);
  EXPECT_EQ(second->GLPoints->Style(), TGLPointStyle::psSquare);
  EXPECT_EQ(second->Color, MakeColor(255, 255, 255));
  EXPECT_FLOAT_EQ(second->PointSize, 2.0f);
  EXPECT_FLOAT_EQ(first->GLPoints->Size(), 7.0f);

  SetPointsEditor([](const std::string&, TPointsSettings& s, TTransparencyParams&) {
    s.ColorForAll = true;
    s.SizeForAll = true;
    s.StyleForAll = false;
    s.Round = true;
    return true;
  });
  ASSERT_TRUE(first->Edit());
  EXPECT_EQ(second->Color, kRed);
  EXPECT_EQ(ConvertColorVector(second->GLPoints->Colors()[0]), kRed);
  EXPECT_FLOAT_EQ(second->GLPoints->Size(), 7.0f);
  EXPECT_FALSE(second->Round);
  SetPointsEditor(nullptr);
}

// ---- Points: stored record ----------------------------------------------------------

TGraphPoints& SamplePoints(TGraphPoints& p) {
  p.SetName("Punkte");
  p.AcceptForAll = true;
  p.Color = kGreen;
  p.Round = false;
  p.IgnorePointColors = true;
  p.PointSize = 3.5f;
  p.SizeForAll = true;
  p.BeginAdd();
  for (const TSurveyPoint& point : kPoints) {
    p.AddPoint(point);
    if (point == kPoints[1]) p.SetLastPointColor(0x00123456);
  }
  p.EndAdd();
  return p;
}

TEST(GraphPointsRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphPoints points;
  const std::vector<uint8_t> bytes = SavedRecord(SamplePoints(points));
  EXPECT_EQ(bytes, SurfaceFixture("points.bin"));
  // Three points: 4 + 3 x 24 + 3 x 4 + 3 bytes behind the 13 bytes of settings, in a
  // chunk that starts where the common chunk ends.
  ASSERT_GE(bytes.size(), 8u);
  const size_t commonEnd = size_t(bytes[4]) | size_t(bytes[5]) << 8 | size_t(bytes[6]) << 16;
  EXPECT_EQ(bytes.size() - commonEnd, 8u + 13u + 4u + 3u * 24u + 3u * 4u + 3u);

  std::unique_ptr<TGraphMain> object = ReadRecord(bytes);
  auto* read = dynamic_cast<TGraphPoints*>(object.get());
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->PointCount, 3);
  EXPECT_EQ(read->PointHasColor, (std::vector<uint8_t>{0, 1, 0}));
  EXPECT_EQ(SavedRecord(*read), bytes);
}

TEST(GraphPointsRecord, NewerChunksAreSkippedAndBadCountsAreDamage) {
  TGraphMain root;
  ASSERT_EQ(ReadFixtureTree("points_newer.bin", root), TGraphLoadResult::Loaded);
  ASSERT_EQ(root.ChildCount(), 1);
  EXPECT_EQ(root.GetChild(0)->Name(), "after");
  for (const char* fixture : {"points_count_huge.bin", "points_count_beyond_chunk.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain other;
    EXPECT_EQ(ReadFixtureTree(fixture, other), TGraphLoadResult::Damaged);
  }
}

// ---- Lines: adding and building -----------------------------------------------------

TEST(GraphLines, EachSegmentIsFourPipeNodesWithInvisibleJoins) {
  TViewScene view;
  TGraphLines lines;
  EXPECT_EQ(lines.TypeId, GraphTypeId::Lines);
  EXPECT_EQ(lines.Color, MakeColor(255, 255, 0));
  lines.SetContext(&view.context);
  lines.Transparency = 102;
  lines.BeginAdd();
  for (const TLineSegment& s : kSegments) lines.AddSegment(s.Start, s.End);
  lines.SetLastSegmentColor(kRed);
  lines.EndAdd();
  lines.Build(false);
  TGLPipe& pipe = *lines.Pipe;
  EXPECT_EQ(pipe.Parent(), view.context.ModelCube);
  ASSERT_EQ(pipe.Nodes().Count(), 8);
  const float alphas[] = {0, 0.4f, 0.4f, 0, 0, 0.4f, 0.4f, 0};
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(pipe.Nodes()[i].Color().Alpha(), alphas[i]) << i;
  EXPECT_EQ(pipe.Nodes()[1].Color().GetAsWinColor(), MakeColor(255, 255, 0));
  EXPECT_EQ(pipe.Nodes()[5].Color().GetAsWinColor(), kRed);
  // The second segment: start (5, 5, 5), end (5, -5, 20) in scene order (N, Elev, E).
  EXPECT_FLOAT_EQ(pipe.Nodes()[4].Y(), 5.0f);
  EXPECT_FLOAT_EQ(pipe.Nodes()[6].Y(), 20.0f);
  EXPECT_FLOAT_EQ(pipe.Nodes()[7].Z(), -5.0f);
  EXPECT_EQ(lines.BoundsMin, (TSurveyPoint{0, -5, 0}));
  EXPECT_EQ(lines.BoundsMax, (TSurveyPoint{10, 5, 20}));

  lines.IgnoreSegmentColors = true;
  lines.Build(false);
  EXPECT_EQ(pipe.Nodes().Count(), 8);
  EXPECT_EQ(pipe.Nodes()[5].Color().GetAsWinColor(), MakeColor(255, 255, 0));
}

TEST(GraphLines, OpaqueLinesStillBlendAndTheRadiusIsHalfTheDiameter) {
  TViewScene view;
  TGraphLines lines;
  lines.SetContext(&view.context);
  lines.AddSegment({0, 0, 0}, {1, 1, 1});
  lines.LineWidth = 4;
  lines.Build(false);
  EXPECT_EQ(Mat(*lines.Pipe).BlendingMode(), TBlendingMode::bmTransparency);
  EXPECT_FLOAT_EQ(lines.Pipe->Nodes()[1].Color().Alpha(), 1.0f);
  EXPECT_FLOAT_EQ(lines.Pipe->Radius(), 2.0f);
  lines.SetVisible(false);
  EXPECT_FALSE(lines.Pipe->Visible());
  lines.Clear();
  EXPECT_FALSE(lines.Pipe);
  EXPECT_TRUE(lines.IsEmpty());
}

// New lines objects accept colour and width for all: one edit spreads to every one.
TEST(GraphLines, ADiameterChangeSpreadsToEveryLinesObjectUnlessTheBoxIsCleared) {
  TViewScene view;
  TGraphMain root;
  root.SetContext(&view.context);
  auto* group = root.AddChild(std::make_unique<TGraphMain>(), false);
  auto* first = static_cast<TGraphLines*>(root.AddChild(std::make_unique<TGraphLines>(), false));
  auto* nested = static_cast<TGraphLines*>(group->AddChild(std::make_unique<TGraphLines>(), false));
  for (TGraphLines* l : {first, nested}) {
    l->AddSegment({0, 0, 0}, {1, 0, 0});
    l->Build(false);
  }
  EXPECT_FALSE(first->Edit());
  SetLinesEditor([](const std::string&, TLinesSettings& s, TTransparencyParams&) {
    s.LineWidth = 4;
    s.Color = kGreen;
    return true;
  });
  ASSERT_TRUE(first->Edit());
  EXPECT_FLOAT_EQ(nested->Pipe->Radius(), 2.0f);
  EXPECT_EQ(nested->Pipe->Nodes()[1].Color().GetAsWinColor(), kGreen);

  SetLinesEditor([](const std::string&, TLinesSettings& s, TTransparencyParams&) {
    s.LineWidth = 10;
    s.WidthForAll = false;
    return true;
  });
  ASSERT_TRUE(first->Edit());
  EXPECT_FLOAT_EQ(first->Pipe->Radius(), 5.0f);
  EXPECT_FLOAT_EQ(nested->Pipe->Radius(), 2.0f);
  SetLinesEditor(nullptr);
}

// ---- Lines: stored record -----------------------------------------------------------

TEST(GraphLinesRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphLines lines;
  lines.SetName("Linien");
  lines.Transparency = 100;
  lines.LineWidth = 2.5f;
  lines.WidthForAll = false;
  lines.AddSegment(kSegments[0].Start, kSegments[0].End);
  lines.SetLastSegmentColor(kRed);
  lines.AddSegment(kSegments[1].Start, kSegments[1].End);
  lines.EndAdd();
  EXPECT_EQ(SavedRecord(lines), SurfaceFixture("lines.bin"));

  std::unique_ptr<TGraphMain> object = ReadRecord(SurfaceFixture("lines.bin"));
  auto* read = dynamic_cast<TGraphLines*>(object.get());
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->SegmentCount, 2);
  EXPECT_EQ(read->SegmentHasColor, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(SavedRecord(*read), SurfaceFixture("lines.bin"));
}

TEST(GraphLinesRecord, NewerChunksAreSkippedAndBadCountsAreDamage) {
  TGraphMain root;
  ASSERT_EQ(ReadFixtureTree("lines_newer.bin", root), TGraphLoadResult::Loaded);
  ASSERT_EQ(root.ChildCount(), 1);
  for (const char* fixture : {"lines_count_huge.bin", "lines_count_negative.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain other;
    EXPECT_EQ(ReadFixtureTree(fixture, other), TGraphLoadResult::Damaged);
  }
}

// ---- Drawing ------------------------------------------------------------------------

class GraphPointsLinesRenderGL : public graphics_testing::TRenderedViewTest {};

TEST_F(GraphPointsLinesRenderGL, PointsDrawInTheirColours) {
  TGraphPoints points;
  points.SetContext(&context_);
  points.Round = false;
  points.PointSize = 8;
  points.Color = MakeColor(0, 255, 0);
  points.AddPoint({-1.5, 0, 1});  // scene (-1.5, 1)
  points.AddPoint({1.5, 0, -1});
  points.SetLastPointColor(MakeColor(255, 0, 0));
  points.Build(false);
  Render();
  EXPECT_TRUE(Shows(-1.5f, 1.0f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(1.5f, -1.0f, testing::kRedRgb));
  EXPECT_TRUE(Background(0.0f, 0.0f));
}

// What a point set's count takes of the renderer's bins is what its draw tells the
// renderer's queue, at every size a point may be drawn at: each point at the tiles its
// square covers on average, round or square (at the sizes measured: a 48-pixel point
// covers three tiles, not one).
TEST_F(GraphPointsLinesRenderGL, TheBinsCountedAreWhatTheDrawTellsTheQueueAtEverySize) {
  constexpr int kPoints = 50;
  const std::map<int, int64_t> tilesAt = {{1, 1},  {2, 1},  {16, 2},  {32, 2},  {33, 2},  {48, 3},
                                          {64, 4}, {65, 4}, {100, 7}, {128, 9}, {200, 17}, {255, 25}};
  for (const bool round : {true, false}) {
    TGraphPoints points;
    points.SetContext(&context_);
    points.Round = round;
    points.BeginAdd();
    for (int i = 0; i < kPoints; ++i) points.AddPoint({-1.5 + 0.06 * i, 0, 0});
    points.EndAdd();
    points.Build(false);
    const int64_t binBytes = round ? PointBinBytes : SquarePointBinBytes;
    for (int size = 1; size <= 255; ++size) {
      SCOPED_TRACE(::testing::Message() << (round ? "round " : "square ") << size);
      points.PointSize = static_cast<float>(size);
      points.UpdateVisibility();
      const int64_t before = RenderQueueToldForTesting();
      Render();
      const int64_t told = RenderQueueToldForTesting() - before;
      ASSERT_EQ(points.BinnedBytes(), told * binBytes);
      ASSERT_EQ(told, int64_t{kPoints} * PointRenderWeight(size));
      if (const auto at = tilesAt.find(size); at != tilesAt.end()) ASSERT_EQ(told, int64_t{kPoints} * at->second);
    }
  }
}

TEST_F(GraphPointsLinesRenderGL, TwoSegmentsFarApartShowNothingBetweenThem) {
  TGraphLines lines;
  lines.SetContext(&context_);
  lines.LineWidth = 0.6f;
  lines.Color = MakeColor(0, 255, 0);
  lines.AddSegment({-3, 0, 1}, {-1, 0, 1});  // scene y = 1, x from -3 to -1
  lines.AddSegment({1, 0, -1}, {3, 0, -1});  // scene y = -1, x from 1 to 3
  lines.SetLastSegmentColor(MakeColor(255, 0, 0));
  lines.Build(false);
  Render();
  EXPECT_TRUE(Shows(-2.0f, 1.0f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(2.0f, -1.0f, testing::kRedRgb));
  // The join runs from (-1, 1) to (1, -1) through the origin.
  EXPECT_TRUE(Background(0.0f, 0.0f));
  EXPECT_TRUE(Background(-0.5f, 0.5f));
  EXPECT_TRUE(Background(0.5f, -0.5f));
}

TEST_F(GraphPointsLinesRenderGL, ATwoPointLineObjectHoldsNextToNothingAfterItsFirstDraw) {
  constexpr int kObjects = 200;
  const auto makeLines = [this](TColor color) {
    std::vector<std::unique_ptr<TGraphLines>> lines;
    for (int i = 0; i < kObjects; ++i) {
      lines.push_back(std::make_unique<TGraphLines>());
      lines.back()->SetContext(&context_);
      lines.back()->Color = color;
      lines.back()->AddSegment({1, 0, -1.0 - i * 0.01}, {3, 0, -1.0 - i * 0.01});
      lines.back()->Build(false);
    }
    return lines;
  };
  // As many objects drawn for a few frames first: the driver keeps what a frame of
  // that many draws takes, which is not the objects' own.
  {
    const auto warmUp = makeLines(MakeColor(0, 255, 0));
    for (int i = 0; i < 8; ++i) {
      Render();
      (void)At(0.0f, 0.0f);  // the frame finished
    }
  }
  const auto lines = makeLines(MakeColor(255, 0, 0));
#if defined(QIRA_HEAP_HOOKS)
  test::THeapPeak::Start();
#endif
  Render();
  EXPECT_TRUE(Shows(2.0f, -1.0f, testing::kRedRgb));
#if defined(QIRA_HEAP_HOOKS)
  const int64_t held = test::THeapPeak::Held();
  test::THeapPeak::Stop();
  // A compiled display list of the tube held about 16 KB an object.
  EXPECT_LT(held / kObjects, 1024) << held << " bytes held for " << kObjects << " objects";
#endif
}

}  // namespace
}  // namespace qira

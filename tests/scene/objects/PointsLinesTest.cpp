#include "scene/objects/PointsLines.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/Persistence.h"
#include "support/SceneRenderSupport.h"
#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

using testing::Near;
using testing::TRenderedScene;
using testing::WindowX;

constexpr TVector kRed{1.0f, 0.0f, 0.0f, 1.0f};
constexpr TVector kGreen{0.0f, 1.0f, 0.0f, 1.0f};
constexpr TVector kBlue{0.0f, 0.0f, 1.0f, 1.0f};

bool SameColor(const TVector& a, const TVector& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

// ------------------------------------------------------------ point parameters

TEST(PointParameters, NegativeSizesAreStoredAsZeroAndDefaultsAreNotStored) {
  TGLPointParameters parameters;
  EXPECT_FALSE(parameters.StorePointParams());
  parameters.SetMinSize(-3.0f);
  parameters.SetFadeTresholdSize(-1.0f);
  EXPECT_EQ(parameters.MinSize(), 0.0f);
  EXPECT_EQ(parameters.FadeTresholdSize(), 0.0f);
  EXPECT_TRUE(parameters.StorePointParams());
  const TVector& attenuation = parameters.DistanceAttenuation().AsVector();
  EXPECT_EQ(attenuation.x, 1.0f);
  EXPECT_EQ(attenuation.y, 0.0f);
}

TEST(PointParameters, PointParamsAreThreeLittleEndianSinglesAndAShortReadChangesNothing) {
  TGLPointParameters parameters;
  parameters.SetMinSize(2.0f);
  parameters.SetMaxSize(64.0f);
  const std::array<uint8_t, 12> data = parameters.PointParamsData();
  // 2.0 = 0x40000000, 64.0 = 0x42800000, 1.0 = 0x3F800000.
  const std::array<uint8_t, 12> expected{0, 0, 0, 0x40, 0, 0, 0x80, 0x42, 0, 0, 0x80, 0x3F};
  EXPECT_EQ(data, expected);

  TMemoryStream stream(std::vector<uint8_t>(expected.begin(), expected.end()));
  TGLPointParameters read;
  read.ReadPointParams(stream);
  EXPECT_EQ(read.MinSize(), 2.0f);
  EXPECT_EQ(read.MaxSize(), 64.0f);
  EXPECT_EQ(read.FadeTresholdSize(), 1.0f);

  TMemoryStream shortStream(std::vector<uint8_t>(expected.begin(), expected.begin() + 11));
  TGLPointParameters untouched;
  EXPECT_THROW(untouched.ReadPointParams(shortStream), EReadError);
  EXPECT_EQ(untouched.MinSize(), 0.0f);
  EXPECT_EQ(untouched.MaxSize(), 128.0f);

  // A negative size is read as its setter takes it: 0.
  std::vector<uint8_t> negative(expected.begin(), expected.end());
  negative[3] = 0xC0;  // -2.0
  TMemoryStream negativeStream(negative);
  untouched.ReadPointParams(negativeStream);
  EXPECT_EQ(untouched.MinSize(), 0.0f);
  EXPECT_EQ(untouched.MaxSize(), 64.0f);
}

// ------------------------------------------------------------------- points

TEST(Points, MoreThanOneColourCapsTheDrawnPoints) {
  TGLPoints points;
  points.Positions().Clear();
  for (int i = 0; i < 100; ++i) points.Positions().Add(static_cast<float>(i), 0.0f, 0.0f);
  EXPECT_EQ(points.DrawnPointCount(), 100);
  points.Colors().Add(kRed);
  EXPECT_EQ(points.DrawnPointCount(), 100);
  for (int i = 1; i < 40; ++i) points.Colors().Add(kGreen);
  EXPECT_EQ(points.DrawnPointCount(), 40);
  points.Positions().Clear();
  EXPECT_EQ(points.DrawnPointCount(), 0);
}

TEST(Points, ArraysAreLockedOnlyAboveSixtyFourPointsAndWithTheExtension) {
  const TGLFlags savedFlags = GL;
  TScopedEntryPoint<PFNGLLOCKARRAYSEXTPROC> lock(glLockArraysEXT, +[](GLint, GLsizei) {});
  TScopedEntryPoint<PFNGLUNLOCKARRAYSEXTPROC> unlock(glUnlockArraysEXT, +[]() {});
  const struct {
    int points;
    bool extension;
    bool locked;
  } cases[] = {
      {64, true, false},
      {65, true, true},
      {65, false, false},
  };
  for (const auto& c : cases) {
    GL.EXT_compiled_vertex_array = c.extension;
    TGLPoints points;
    points.Positions().Clear();
    for (int i = 0; i < c.points; ++i) points.Positions().Add(static_cast<float>(i), 0.0f, 0.0f);
    EXPECT_EQ(points.LocksArrays(), c.locked) << c.points << " points, extension " << c.extension;
  }
  GL = savedFlags;
}

// -------------------------------------------------------------------- lines

TEST(Lines, DivisionAndNodeSizeAreKeptInRange) {
  TGLLines lines;
  EXPECT_EQ(lines.Division(), 10);
  lines.SetDivision(0);
  EXPECT_EQ(lines.Division(), 1);
  lines.SetDivision(-5);
  EXPECT_EQ(lines.Division(), 1);
  lines.SetNodeSize(0.0f);
  EXPECT_EQ(lines.NodeSize(), 1.0f);
  lines.SetNodeSize(-2.0f);
  EXPECT_EQ(lines.NodeSize(), 1.0f);
  lines.SetNodeSize(NAN);
  EXPECT_EQ(lines.NodeSize(), 1.0f);
  lines.SetNodeSize(2.5f);
  EXPECT_EQ(lines.NodeSize(), 2.5f);
  EXPECT_TRUE(lines.IsNodeSizeStored());
}

TEST(Lines, NewNodesTakeTheNodeColourAndANodeColourChangeRecoloursOnlyThoseThatKeptIt) {
  TGLLines lines;
  lines.AddNode(0.0f, 0.0f, 0.0f);
  lines.AddNode(1.0f, 0.0f, 0.0f);
  EXPECT_TRUE(SameColor(lines.Nodes()[0].Color().Color(), kBlue));
  EXPECT_FALSE(lines.Nodes()[0].IsColorStored());
  lines.Nodes()[1].Color().SetColor(kGreen);
  EXPECT_TRUE(lines.Nodes()[1].IsColorStored());

  TGLColor red(nullptr, kRed);
  lines.SetNodeColor(red);
  EXPECT_TRUE(SameColor(lines.Nodes()[0].Color().Color(), kRed));
  EXPECT_TRUE(SameColor(lines.Nodes()[1].Color().Color(), kGreen));
  // A later node starts from the new colour; a second change follows it too.
  lines.AddNode(2.0f, 0.0f, 0.0f);
  EXPECT_TRUE(SameColor(lines.Nodes()[2].Color().Color(), kRed));
  lines.NodeColor().SetColor(kBlue);
  EXPECT_TRUE(SameColor(lines.Nodes()[0].Color().Color(), kBlue));
  EXPECT_TRUE(SameColor(lines.Nodes()[2].Color().Color(), kBlue));
  EXPECT_TRUE(SameColor(lines.Nodes()[1].Color().Color(), kGreen));
}

TEST(Lines, SplineVerticesPassThroughTheNodesWithInterpolatedNodeColours) {
  TGLLines lines;
  lines.AddNode(0.0f, 0.0f, 0.0f);
  lines.AddNode(1.0f, 1.0f, 0.0f);
  lines.AddNode(2.0f, 0.0f, 0.0f);
  lines.Nodes()[0].Color().SetColor(kRed);
  lines.Nodes()[1].Color().SetColor(kGreen);
  lines.Nodes()[2].Color().SetColor(kBlue);
  TAffineVectorList points;
  TVectorList colors;
  lines.CubicSplineVertices(points, &colors);
  ASSERT_EQ(points.Count(), 21);
  ASSERT_EQ(colors.Count(), 21);
  EXPECT_NEAR(points[10].x, 1.0f, 1e-5f);
  EXPECT_NEAR(points[10].y, 1.0f, 1e-5f);
  EXPECT_NEAR(points[20].x, 2.0f, 1e-5f);
  EXPECT_TRUE(SameColor(colors[20], kBlue));
  EXPECT_NEAR(colors[15].y, 0.5f, 1e-6f);
  EXPECT_NEAR(colors[15].z, 0.5f, 1e-6f);
  EXPECT_EQ(colors[15].x, 0.0f);

  TGLLines single;
  single.AddNode(1.0f, 1.0f, 1.0f);
  single.CubicSplineVertices(points, &colors);
  EXPECT_EQ(points.Count(), 0);
}

TEST(Lines, NurbsNeedAnOrderAndExactlyNodeCountPlusOrderKnots) {
  TGLLines lines;
  for (int i = 0; i < 4; ++i) lines.AddNode(static_cast<float>(i), 0.0f, 0.0f);
  EXPECT_FALSE(lines.NurbsCurveDrawable());
  lines.SetNurbsOrder(4);
  for (int i = 0; i < 4; ++i) lines.NurbsKnots().Add(0.0f);
  EXPECT_FALSE(lines.NurbsCurveDrawable());  // too few knots: control points beyond the nodes
  for (int i = 0; i < 4; ++i) lines.NurbsKnots().Add(1.0f);
  EXPECT_TRUE(lines.NurbsCurveDrawable());
  lines.NurbsKnots().Add(1.0f);
  EXPECT_FALSE(lines.NurbsCurveDrawable());
}

// ------------------------------------------------------------------- render

// The scene of the buffer tests with its quad hidden and lighting off.
class PointsLinesRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      s_ = std::make_unique<TRenderedScene>();
    } catch (const std::exception& error) {
      GTEST_SKIP() << "no headless OpenGL: " << error.what();
    }
    s_->quad->SetVisible(false);
    s_->buffer->SetLighting(false);
  }
  void TearDown() override { s_.reset(); }

  int NonBackgroundPixels() const {
    int count = 0;
    for (int y = 0; y < testing::kViewSize; ++y) {
      for (int x = 0; x < testing::kViewSize; ++x) count += Near(s_->Pixel(x, y), testing::kBlueRgb, 10) ? 0 : 1;
    }
    return count;
  }

  TGLLines& AddLine(float x0, float x1) {
    auto& lines = s_->scene->Objects().AddNewChild<TGLLines>();
    lines.AddNode(x0, 0.0f, 0.0f);
    lines.AddNode(x1, 0.0f, 0.0f);
    lines.SetLineWidth(3.0f);
    lines.SetNodesAspect(TLineNodesAspect::lnaInvisible);
    return lines;
  }

  std::unique_ptr<TRenderedScene> s_;
};

TEST_F(PointsLinesRenderGL, PointsDrawWhereTheyStandInTheirColours) {
  auto& points = s_->scene->Objects().AddNewChild<TGLPoints>();
  points.Positions().Clear();
  points.Positions().Add(-0.6f, 0.0f, 0.0f);
  points.Positions().Add(0.6f, 0.0f, 0.0f);
  points.Colors().Add(kRed);
  points.Colors().Add(kGreen);
  points.SetSize(4.0f);
  points.StructureChanged();
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(-0.6f), 16), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kBlueRgb));
}

TEST_F(PointsLinesRenderGL, AdditivePointsAddToTheBackground) {
  auto& points = s_->scene->Objects().AddNewChild<TGLPoints>();
  points.Colors().Add(kRed);
  points.SetSize(4.0f);
  points.SetStyle(TGLPointStyle::psSquareAdditive);
  points.SetStatic(true);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(16, 16), {255, 0, 255}));
}

TEST_F(PointsLinesRenderGL, ALineDrawsBetweenItsNodesInItsColour) {
  TGLLines& lines = AddLine(-0.6f, 0.3f);
  lines.LineColor().SetColor(kGreen);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(-0.3f), 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kGreenRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kBlueRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 26), testing::kBlueRgb));
  // A colour change, and a node move, rebuild the compiled list.
  lines.LineColor().SetColor(kRed);
  lines.Nodes()[1].SetX(0.9f);
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), testing::kRedRgb));
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.6f), 16), testing::kRedRgb));
}

TEST_F(PointsLinesRenderGL, AHalfTransparentLineBlendsWithoutAntiAliasing) {
  TGLLines& lines = AddLine(-0.6f, 0.6f);
  lines.LineColor().SetColor({1.0f, 0.0f, 0.0f, 0.5f});
  s_->buffer->Render();
  EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 16), {128, 0, 128}, 6));
}

TEST_F(PointsLinesRenderGL, CurveModesDrawThroughTheirNodes) {
  for (TLineSplineMode mode : {TLineSplineMode::lsmBezierSpline, TLineSplineMode::lsmCubicSpline}) {
    TGLLines& lines = AddLine(-0.6f, 0.0f);
    lines.AddNode(0.6f, 0.0f, 0.0f);
    lines.LineColor().SetColor(kGreen);
    // The Bezier curve takes its colours from the nodes.
    for (int i = 0; i < 3; ++i) lines.Nodes()[i].Color().SetColor(kGreen);
    lines.SetSplineMode(mode);
    s_->buffer->Render();
    EXPECT_TRUE(Near(s_->Pixel(WindowX(-0.3f), 16), testing::kGreenRgb));
    EXPECT_TRUE(Near(s_->Pixel(WindowX(0.3f), 16), testing::kGreenRgb));
    EXPECT_TRUE(Near(s_->Pixel(WindowX(0.0f), 26), testing::kBlueRgb));
    lines.SetVisible(false);
  }
}

TEST_F(PointsLinesRenderGL, OneNodeDrawsNothingAndMarkersShowWithTwo) {
  auto& lines = s_->scene->Objects().AddNewChild<TGLLines>();
  lines.NodeColor().SetColor(kRed);
  lines.AddNode(0.0f, 0.0f, 0.0f);
  lines.SetNodesAspect(TLineNodesAspect::lnaCube);
  lines.SetNodeSize(0.5f);
  s_->buffer->Render();
  EXPECT_EQ(NonBackgroundPixels(), 0);
  lines.AddNode(0.0f, 0.5f, 0.0f);
  s_->buffer->Render();
  EXPECT_GT(NonBackgroundPixels(), 10);
}

}  // namespace
}  // namespace qira

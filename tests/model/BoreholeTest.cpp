// The borehole object: its path from inclination files, the geology merged into it,
// depth lookups and distances, the pipe and labels it builds, settings spread to
// other boreholes, its stored record against an independent generator, and one
// headless render of the rock colours.
#include "model/Borehole.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/GeologyList.h"
#include "model/GraphRecord.h"
#include "model/GraphicsSceneSupport.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "scene/components/Colors.h"
#include "scene/components/Components.h"
#include "scene/graph/SceneObject.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/Pipe.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

using graphics_testing::TViewScene;

constexpr double kTol = 1e-9;

const TGeneratedFixtures& Fixtures() { return TGeneratedFixtures::Of("make_boreholes.py"); }
std::string FixtureFile(const std::string& name) { return Fixtures().File(name); }
std::vector<uint8_t> FixtureBytes(const std::string& name) {
  const std::string bytes = Fixtures().Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::unique_ptr<TGraphBorehole> Load(TGeologyList* legend, const std::string& ink, const std::string& bgd,
                                     double x = 0, double y = 0, double z = 0) {
  return TGraphBorehole::LoadInclinationFile(legend, FixtureFile(ink), bgd.empty() ? "" : FixtureFile(bgd),
                                             "BH", x, y, z);
}

void ExpectPoint(const TSurveyPoint& p, double x, double y, double z) {
  EXPECT_NEAR(p.X, x, kTol);
  EXPECT_NEAR(p.Y, y, kTol);
  EXPECT_NEAR(p.Z, z, kTol);
}

void ExpectItem(const TBoreholeItem& p, double x, double y, double z, double depth) {
  EXPECT_NEAR(p.X, x, kTol);
  EXPECT_NEAR(p.Y, y, kTol);
  EXPECT_NEAR(p.Z, z, kTol);
  EXPECT_EQ(p.Depth, depth);
}

std::vector<double> Depths(const TGraphBorehole& b) {
  std::vector<double> d;
  for (const TBoreholeItem& p : b.Points) d.push_back(p.Depth);
  return d;
}

std::vector<int32_t> Rocks(const TGraphBorehole& b) {
  std::vector<int32_t> r;
  for (const TBoreholeItem& p : b.Points) r.push_back(p.GeologyIndex);
  return r;
}

// A borehole with the given points (the collar at the first).
std::unique_ptr<TGraphBorehole> WithPoints(const TBoreholeItemArray& points, const std::string& name = "BH") {
  auto b = std::make_unique<TGraphBorehole>();
  b->Points = points;
  b->Collar = {points.front().X, points.front().Y, points.front().Z};
  b->SetName(name);
  b->CalcBounds();
  return b;
}

// ---- Path from the inclination file ------------------------------------------------------

TEST(BoreholePath, AVerticalHoleKeepsTheCollarsNorthAndEastAndLosesElevationEqualToDepth) {
  TFakeServices fake;
  std::unique_ptr<TGraphBorehole> b = Load(nullptr, "vertical.ink", "", 100, 200, 50);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(fake.Messages.empty());
  EXPECT_EQ(b->Name(), "BH");
  EXPECT_EQ(b->Collar, (TSurveyPoint{100, 200, 50}));
  ASSERT_EQ(b->Points.size(), 4u);
  for (const TBoreholeItem& p : b->Points) {
    ExpectItem(p, 100, 200, 50 - p.Depth, p.Depth);
    EXPECT_EQ(p.GeologyIndex, -1);
  }
  EXPECT_EQ(Depths(*b), (std::vector<double>{0, 10, 20, 30}));
  EXPECT_EQ(b->BoundsMin, (TSurveyPoint{100, 200, 20}));
  EXPECT_EQ(b->BoundsMax, (TSurveyPoint{100, 200, 50}));
}

// Each station's angles hold for the interval above it.
TEST(BoreholePath, StationsTurnTheStraightSegmentAboveThem) {
  std::unique_ptr<TGraphBorehole> b = Load(nullptr, "tilted.ink", "", 1, 2, 3);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->Points.size(), 3u);
  const double h = 2.5 * std::sqrt(2.0);  // sin 30 * 10 * cos 45
  ExpectItem(b->Points[0], 1, 2, 3, 0);
  ExpectItem(b->Points[1], 1 + h, 2 + h, 3 - 5 * std::sqrt(3.0), 10);
  ExpectItem(b->Points[2], 1 + h - 5 * std::sqrt(3.0), 2 + h, 3 - 5 * std::sqrt(3.0) - 5, 20);
}

TEST(BoreholePath, BadInclinationFilesAreToldAndGiveNoBorehole) {
  struct TCase {
    const char* file;
    std::string message;
  };
  const TCase cases[] = {
      {"first_not_zero.ink", "File first_not_zero.ink. First point must be 0"},
      {"missing.ink", "File missing.ink not found"},
      {"upwards.ink", "File upwards.ink has invalid format"},
      {"short.ink", "File short.ink has invalid format"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    TFakeServices fake;
    EXPECT_EQ(Load(nullptr, c.file, "rocks.bgd"), nullptr);
    ASSERT_EQ(fake.Messages.size(), 1u);
    EXPECT_EQ(fake.Messages[0].Text, c.message);
    EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
  }
}

// ---- Geology merged into the path -------------------------------------------------------

// rocks.bgd: unfilled 0..5, sand (red) 10..25, clay (green) 25..40.
TEST(BoreholeGeology, IntervalsAddTheirEndsAndTagThePointsBelowTheirTops) {
  TFakeServices fake;
  TGeologyList legend;
  legend.FindOrAdd("Kies", "Ks", 0x123456);
  std::unique_ptr<TGraphBorehole> b = Load(&legend, "vertical.ink", "rocks.bgd", 100, 200, 50);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(fake.Messages.empty());
  // 0 and 10 are stations: only 5, 25 and 40 are added; 40 extends the last segment.
  EXPECT_EQ(Depths(*b), (std::vector<double>{0, 5, 10, 20, 25, 30, 40}));
  ExpectItem(b->Points[1], 100, 200, 45, 5);
  ExpectItem(b->Points[4], 100, 200, 25, 25);
  ExpectItem(b->Points[6], 100, 200, 10, 40);
  // A point at an interval's top belongs to the interval above; unfilled rocks tag nothing.
  EXPECT_EQ(Rocks(*b), (std::vector<int32_t>{-1, -1, -1, 1, 1, 2, 2}));
  ASSERT_EQ(legend.Count(), 3);
  EXPECT_EQ(legend.Entry(1).EntryColor, 0x0000FF);
  EXPECT_EQ(legend.Entry(2).FullName, "Ton");
  EXPECT_EQ(b->BoundsMin.Z, 10);
}

TEST(BoreholeGeology, ALaterMatchingIntervalOverridesAnEarlierOne) {
  TGeologyList legend;
  std::unique_ptr<TGraphBorehole> b = Load(&legend, "vertical.ink", "override.bgd");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Depths(*b), (std::vector<double>{0, 10, 15, 20, 30}));
  EXPECT_EQ(Rocks(*b), (std::vector<int32_t>{-1, -1, 0, 1, 0}));
}

TEST(BoreholeGeology, AnUnreadableGeologyFileIsToldAndTheHoleHasNoRocks) {
  for (const char* bgd : {"not_geology.bgd", "newer.bgd", "missing.bgd"}) {
    SCOPED_TRACE(bgd);
    TFakeServices fake;
    TGeologyList legend;
    std::unique_ptr<TGraphBorehole> b = Load(&legend, "vertical.ink", bgd);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Geology is not loaded"}));
    EXPECT_EQ(b->Points.size(), 4u);
    EXPECT_EQ(legend.Count(), 0);
  }
}

// With one station the path has no direction to place interval ends on.
TEST(BoreholeGeology, AHoleOfOneStationTakesNoIntervalEnds) {
  TGeologyList legend;
  std::unique_ptr<TGraphBorehole> b = Load(&legend, "one_station.ink", "rocks.bgd", 5, 6, 7);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->Points.size(), 1u);
  ExpectItem(b->Points[0], 5, 6, 7, 0);
  // Every depth of a one-station hole is that station; a hole of none stays at the origin.
  EXPECT_EQ(b->PointAtDepth(10), (TSurveyPoint{5, 6, 7}));
  EXPECT_EQ(TGraphBorehole().PointAtDepth(10), (TSurveyPoint{0, 0, 0}));
}

// ---- Depth lookups ----------------------------------------------------------------------

TEST(BoreholeDepth, PointAtDepthFollowsTheSegmentsAndExtrapolatesTheEnds) {
  auto b = WithPoints({{0, 0, 0, 0, -1}, {3, 4, -10, 10, -1}, {3, 14, -20, 30, -1}});
  ExpectPoint(b->PointAtDepth(10), 3, 4, -10);    // a station
  ExpectPoint(b->PointAtDepth(0), 0, 0, 0);
  ExpectPoint(b->PointAtDepth(5), 1.5, 2, -5);
  ExpectPoint(b->PointAtDepth(20), 3, 9, -15);
  ExpectPoint(b->PointAtDepth(-5), -1.5, -2, 5);  // above the first station
  ExpectPoint(b->PointAtDepth(40), 3, 19, -25);   // below the last
  auto other = WithPoints({{3, 4, 0, 0, -1}, {3, 4, -100, 100, -1}});
  EXPECT_NEAR(other->DistanceTo(*other, 30, 30), 0, kTol);
  EXPECT_NEAR(b->DistanceTo(*other, 10, 40), std::sqrt(900.0), kTol);  // (3, 4, -10) to (3, 4, -40)
}

TEST(BoreholeDepth, ASegmentOfTwoEqualDepthsGivesItsUpperPoint) {
  auto b = WithPoints({{0, 0, 0, 0, -1}, {1, 1, -5, 5, -1}, {2, 2, -5, 5, -1}, {2, 2, -15, 15, -1}});
  ExpectPoint(b->PointAtDepth(5), 1, 1, -5);
  auto flat = WithPoints({{0, 0, 0, 5, -1}, {1, 0, 0, 5, -1}});
  const TSurveyPoint p = flat->PointAtDepth(7);
  EXPECT_TRUE(std::isfinite(p.X));
  EXPECT_EQ(flat->InsertPointAtDepth(9), 2);
  EXPECT_TRUE(std::isfinite(flat->Points[2].X));
}

// Many depths along one path (a band's divisions, a distance table's rows): where the
// stations' depths rise each is found by halving, with PointAtDepth's point bit for bit;
// a path out of order or with a NaN depth is walked as before.
TEST(BoreholeDepth, APathAskedForManyDepthsFindsEachByHalvingWithTheSamePoint) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = INFINITY;
  const struct {
    const char* path;
    TBoreholeItemArray points;
    bool inOrder;
  } rows[] = {
      {"rising, a depth repeated", {{0, 0, 0, 0, -1}, {1, 1, -5, 5, -1}, {2, 2, -5, 5, -1}, {2, 3, -15, 15, -1}}, true},
      {"out of order", {{0, 0, 0, 0, -1}, {1, 1, -9, 9, -1}, {2, 2, -5, 5, -1}, {2, 3, -15, 15, -1}}, false},
      {"a NaN depth", {{0, 0, 0, 0, -1}, {1, 1, -5, nan, -1}, {2, 3, -15, 15, -1}}, false},
  };
  auto bits = [](const TSurveyPoint& p) {
    return std::array{std::bit_cast<uint64_t>(p.X), std::bit_cast<uint64_t>(p.Y), std::bit_cast<uint64_t>(p.Z)};
  };
  for (const auto& row : rows) {
    auto b = WithPoints(row.points);
    EXPECT_EQ(b->DepthsInOrder(), row.inOrder) << row.path;
    const TPathAtDepths path(*b);
    for (double d : {-inf, -1.0, 0.0, 2.5, 5.0, 7.0, 9.0, 12.0, 15.0, 20.0, inf, nan})
      EXPECT_EQ(bits(path.PointAt(d)), bits(b->PointAtDepth(d))) << row.path << " at " << d;
  }
  for (const int stations : {1000, 4000}) {
    TBoreholeItemArray points;
    for (int i = 0; i < stations; ++i) points.push_back({0, 0, -1.0 * i, 1.0 * i, -1});
    const auto hole = WithPoints(points);
    const TPathAtDepths path(*hole);
    const int64_t before = PathDepthStepsForTesting();
    for (int i = 0; i < 1000; ++i) path.PointAt(stations * (i + 0.5) / 1000);
    EXPECT_LE(PathDepthStepsForTesting() - before, 1000 * 12) << stations;  // 4000 < 2^12
  }
}

TEST(BoreholeDepth, InsertPointAtDepthKeepsTheOrderAndSkipsExistingDepths) {
  auto b = WithPoints({{0, 0, 0, 0, -1}, {0, 10, 0, 10, -1}});
  EXPECT_EQ(b->InsertPointAtDepth(10), -1);
  EXPECT_EQ(b->InsertPointAtDepth(-10), 0);
  EXPECT_EQ(b->InsertPointAtDepth(4), 2);
  EXPECT_EQ(b->InsertPointAtDepth(25), 4);
  EXPECT_EQ(Depths(*b), (std::vector<double>{-10, 0, 4, 10, 25}));
  EXPECT_NEAR(b->Points[0].Y, -10, kTol);
  EXPECT_NEAR(b->Points[2].Y, 4, kTol);
  EXPECT_NEAR(b->Points[4].Y, 25, kTol);
}

// ---- Creation from files ----------------------------------------------------------------

class BoreholeCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = InclinationPath;
    InclinationPath = "/start";
  }
  void TearDown() override {
    InclinationPath = savedPath_;
    SetBoreholeDialogs(nullptr, nullptr);
  }
  // Records what the collar dialog was offered and answers with `answer`.
  void CollarDialog(bool answer, std::string newName = "") {
    SetBoreholeDialogs(
        [this, answer, newName](std::string& name, double& x, double& y, double& z) {
          offeredName_ = name;
          offered_ = {x, y, z};
          ++calls_;
          if (!newName.empty()) name = newName;
          return answer;
        },
        nullptr);
  }

  std::string savedPath_;
  std::string offeredName_;
  TSurveyPoint offered_;
  int calls_ = 0;
};

TEST_F(BoreholeCreation, CancellingTheInclinationFileOrTheCollarDialogCreatesNothing) {
  TFakeServices fake;
  CollarDialog(true);
  EXPECT_EQ(TGraphBorehole::CreateFromFiles(nullptr), nullptr);
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  const TFileRequest& r = fake.FileCalls[0].Request;
  EXPECT_EQ(r.DefaultExt, "ink");
  EXPECT_EQ(r.Filter, "Inclination files (*.ink)|*.ink|All files (*.*)|*.*");
  EXPECT_EQ(r.InitialDir, "/start");
  EXPECT_EQ(calls_, 0);
  EXPECT_EQ(InclinationPath, "/start");
  fake.FileAnswers = {FixtureFile("vertical.ink"), std::nullopt};
  CollarDialog(false);
  EXPECT_EQ(TGraphBorehole::CreateFromFiles(nullptr), nullptr);
}

TEST_F(BoreholeCreation, AnUnusableInclinationFileIsRefusedBeforeTheGeologyFileOrCollarIsAsked) {
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"junk.ink", "File junk.ink has invalid format"},
      {"upwards.ink", "File upwards.ink has invalid format"},
      {"first_not_zero.ink", "File first_not_zero.ink. First point must be 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TFakeServices fake;
    fake.FileAnswers = {FixtureFile(c.file), FixtureFile("rocks.bgd")};
    calls_ = 0;
    CollarDialog(true);
    EXPECT_EQ(TGraphBorehole::CreateFromFiles(nullptr), nullptr);
    EXPECT_EQ(fake.FileCalls.size(), 1u);  // no geology file asked for
    EXPECT_EQ(calls_, 0);                  // nor the collar
    ASSERT_EQ(fake.Messages.size(), 1u);
    EXPECT_EQ(fake.Messages[0].Text, c.message);
    EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
  }
}

TEST_F(BoreholeCreation, TheFilesAndTheCollarDialogMakeTheBorehole) {
  TFakeServices fake;
  TGeologyList legend;
  fake.FileAnswers = {FixtureFile("vertical.ink"), FixtureFile("rocks.bgd")};
  CollarDialog(true, "Bohrung 7");
  std::unique_ptr<TGraphBorehole> b = TGraphBorehole::CreateFromFiles(&legend);
  ASSERT_NE(b, nullptr);
  const std::string folder = Fixtures().File("");
  ASSERT_EQ(fake.FileCalls.size(), 2u);
  const TFileRequest& geology = fake.FileCalls[1].Request;
  EXPECT_EQ(geology.DefaultExt, "bgd");
  EXPECT_EQ(geology.Filter, "Geology files (*.bgd)|*.bgd|All files (*.*)|*.*");
  EXPECT_EQ(geology.FileName, "vertical.bgd");
  EXPECT_EQ(geology.InitialDir + "/", folder);
  EXPECT_EQ(InclinationPath + "/", folder);
  // The collar line of the file is offered.
  EXPECT_EQ(offeredName_, "vertical");
  EXPECT_EQ(offered_, (TSurveyPoint{100, 200, 50}));
  EXPECT_EQ(b->Name(), "Bohrung 7");
  EXPECT_EQ(b->Points.size(), 7u);
  EXPECT_EQ(legend.Count(), 2);
}

TEST_F(BoreholeCreation, TheCreateCommandAddsTheBoreholeUnderTheObject) {
  RegisterBoreholeKind();
  TFakeServices fake;
  fake.FileAnswers = {FixtureFile("vertical.ink"), std::nullopt};
  CollarDialog(true);
  TGraphMain root;
  TObjectMenu menu;
  root.FillMenu(menu);
  TObjectMenuItem* command = FindMenuItem(FindMenuItem(menu, "&Create")->Items, "&Borehole");
  ASSERT_TRUE(command && command->Enabled);
  command->OnClick();
  ASSERT_EQ(root.ChildCount(), 1);
  EXPECT_EQ(root.GetChild(0)->TypeId, GraphTypeId::Borehole);
  EXPECT_EQ(root.GetChild(0)->Name(), "vertical");
}

// ---- Building ---------------------------------------------------------------------------

TVector NodeColor(const TGLPipe& pipe, int i) { return pipe.Nodes()[i].Color().Color(); }

bool SameColor(const TVector& a, const TVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

struct TBuiltBorehole {
  TBuiltBorehole() {
    legend.FindOrAdd("Sand", "Sd", 0x0000FF);
    legend.FindOrAdd("Ton", "Tn", 0x00FF00);
    // Survey (X, Y, Z) = scene (x, z, y).
    b = WithPoints({{0, 0, 0, 0, -1}, {1, 2, -10, 10, -1}, {1, 2, -20, 20, 0}, {1, 2, -30, 30, 0},
                    {1, 2, -40, 40, 1}},
                   "Loch");
    b->GeologyList = &legend;
    b->SetContext(&view.context);
  }
  TViewScene view;
  TGeologyList legend;
  std::unique_ptr<TGraphBorehole> b;
};

TEST(BoreholeBuild, EachRockChangeAddsANodeSoSegmentsTakeTheirDeeperPointsColour) {
  TBuiltBorehole t;
  t.b->Build(false);
  ASSERT_TRUE(t.b->Pipe);
  TGLPipe& pipe = *t.b->Pipe;
  EXPECT_EQ(pipe.Parent(), t.view.context.ModelCube);
  // Collar, 5 points, and one extra node at each of the two changes of colour.
  ASSERT_EQ(pipe.Nodes().Count(), 8);
  const TVector grey = ConvertWinColor(0x808080), red = ConvertWinColor(0x0000FF),
                green = ConvertWinColor(0x00FF00);
  const struct {
    float y;  // elevation
    TVector color;
  } expected[] = {{0, grey}, {0, grey}, {-10, grey}, {-10, red}, {-20, red}, {-30, red}, {-30, green}, {-40, green}};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(pipe.Nodes()[i].Y(), expected[i].y);
    EXPECT_TRUE(SameColor(NodeColor(pipe, i), expected[i].color));
  }
  EXPECT_FLOAT_EQ(pipe.Nodes()[7].X(), 1.0f);
  EXPECT_FLOAT_EQ(pipe.Nodes()[7].Z(), 2.0f);
  EXPECT_FLOAT_EQ(pipe.Radius(), 5.0f);
  EXPECT_EQ(pipe.Parts(), (TPipeParts{TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk}));
  EXPECT_EQ(pipe.NodesColorMode(), TPipeNodesColorMode::pncmAmbientAndDiffuse);
  EXPECT_FALSE(pipe.Blended());
}

TEST(BoreholeBuild, OneColourGivesOneNodePerPointAndTheCollar) {
  TBuiltBorehole t;
  t.b->Settings.UseGeologyColors = false;
  t.b->Settings.PipeColor = 0x00FFFF;
  t.b->Build(false);
  TGLPipe& pipe = *t.b->Pipe;
  ASSERT_EQ(pipe.Nodes().Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(SameColor(NodeColor(pipe, i), ConvertWinColor(0x00FFFF)));

  t.b->Settings.UseGeologyColors = true;
  t.b->Transparency = 51;
  for (TBoreholeItem& p : t.b->Points) p.GeologyIndex = 7;  // outside the legend
  t.b->Build(false);
  EXPECT_EQ(t.b->Pipe->Nodes().Count(), 6);
  EXPECT_EQ(t.view.context.ModelCube->ChildCount(), 3);  // the old nodes are gone
  EXPECT_TRUE(t.b->Pipe->Blended());
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(NodeColor(*t.b->Pipe, i).w, 0.2f);
  EXPECT_FLOAT_EQ(t.b->TopLabel->ModulateColor().Alpha(), 0.2f);
}

TEST(BoreholeBuild, LabelsShowTheNameAtTheTopAndAtTheBottom) {
  TBuiltBorehole t;
  t.b->Settings.LabelSize = 2.0;
  t.b->Settings.LabelColor = 0x0000FF;
  t.b->Build(false);
  TGLFlatText& top = *t.b->TopLabel;
  TGLFlatText& bottom = *t.b->BottomLabel;
  EXPECT_EQ(bottom.Text(), "Loch");
  EXPECT_EQ(top.Layout(), TTextLayout::tlBottom);
  EXPECT_EQ(bottom.Layout(), TTextLayout::tlTop);
  EXPECT_FLOAT_EQ(bottom.Scale().Z(), 0.5f);
  EXPECT_EQ(top.ModulateColor().GetAsWinColor(), 0x0000FFu);
  EXPECT_FLOAT_EQ(top.Position().Y(), 0.0f);
  EXPECT_FLOAT_EQ(bottom.Position().Y(), -40.0f);
  // By default only the bottom label shows.
  EXPECT_FALSE(top.Visible());
  EXPECT_TRUE(bottom.Visible());
}

TEST(BoreholeBuild, ARenamedHolesLabelsShowTheNewNameWithoutARebuild) {
  TBuiltBorehole t;
  t.b->Build(false);
  t.b->SetName("BH7");
  EXPECT_EQ(t.b->TopLabel->Text(), "BH7");
  EXPECT_EQ(t.b->BottomLabel->Text(), "BH7");
}

TEST(BoreholeBuild, VisibilityFollowsTheObjectAndTheLabelSwitches) {
  TBuiltBorehole t;
  t.b->Settings.ShowTopLabel = true;
  t.b->Build(false);
  EXPECT_TRUE(t.b->TopLabel->Visible());
  t.b->Settings.ShowLabels = false;
  t.b->UpdateVisibility();
  EXPECT_FALSE(t.b->TopLabel->Visible());
  EXPECT_FALSE(t.b->BottomLabel->Visible());
  EXPECT_TRUE(t.b->Pipe->Visible());
  t.b->Settings.ShowLabels = true;
  t.b->SetVisible(false);
  EXPECT_FALSE(t.b->Pipe->Visible());
  EXPECT_FALSE(t.b->TopLabel->Visible());
  t.b->Clear();
  EXPECT_FALSE(t.b->Pipe);
  EXPECT_EQ(t.view.context.ModelCube->ChildCount(), 0);
  t.b->Build(false);  // no points: nothing
  EXPECT_EQ(t.view.context.ModelCube->ChildCount(), 0);
}

// ---- Settings spread and editing --------------------------------------------------------

// Two boreholes under one root, the second built (so a rebuild shows).
struct TTwoBoreholes {
  TTwoBoreholes() {
    root.SetContext(&view.context);
    source = static_cast<TGraphBorehole*>(
        root.AddChild(WithPoints({{0, 0, 0, 0, -1}, {0, 0, -10, 10, -1}}, "A"), false));
    target = static_cast<TGraphBorehole*>(
        root.AddChild(WithPoints({{5, 0, 0, 0, -1}, {5, 0, -10, 10, -1}}, "B"), false));
    target->Build(false);
    TBoreholeSettings& s = source->Settings;
    s.Radius = 1.5;
    s.UseGeologyColors = false;
    s.PipeColor = 0x0000FF;
    s.ShowLabels = false;
    s.LabelColor = 0x00FF00;
    s.LabelSize = 3;
    s.ShowTopLabel = true;
    s.ShowBottomLabel = false;
    s.ApplyPipeToAll = s.ApplyColorToAll = s.ApplyLabelsToAll = false;
    source->AcceptForAll = false;
    source->Transparency = 99;
    target->Pipe->SetRadius(77);  // a marker a rebuild replaces
  }
  bool Rebuilt() const { return target->Pipe->Radius() != 77; }
  TViewScene view;
  TGraphMain root;
  TGraphBorehole* source;
  TGraphBorehole* target;
};

// An edit rebuilds every borehole of a view: each one's nodes are freed wherever they
// stand in the scene's lists and made again at their end, in the same drawing order,
// with no other node of the lists walked for each.
TEST(BoreholeSettings, RebuildingEveryBoreholeKeepsTheDrawingOrderAndWalksNoOtherNode) {
  for (const int count : {200, 800}) {
    TViewScene view;
    TGraphMain root;
    root.SetContext(&view.context);
    for (int i = 0; i < count; ++i)
      root.AddChild(WithPoints({{1.0 * i, 0, 0, 0, -1}, {1.0 * i, 0, -10, 10, -1}}), false);
    root.Build(true);
    const int64_t before = ComponentListStepsForTesting() + ChildListStepsForTesting();
    root.Build(true);
    const int nodes = 3 * count;  // a pipe and two labels each
    EXPECT_LE(ComponentListStepsForTesting() + ChildListStepsForTesting() - before, 8 * nodes) << count;
    ASSERT_EQ(view.context.ModelCube->ChildCount(), nodes);
    for (int i = 0; i < count; ++i) {
      const auto& hole = static_cast<const TGraphBorehole&>(*root.GetChild(i));
      EXPECT_EQ(view.context.ModelCube->Children(3 * i), hole.Pipe.get()) << i;
      EXPECT_EQ(view.context.ModelCube->Children(3 * i + 1), hole.TopLabel.get()) << i;
      EXPECT_EQ(view.context.ModelCube->Children(3 * i + 2), hole.BottomLabel.get()) << i;
    }
  }
}

TEST(BoreholeSettings, EachApplyFlagCopiesItsGroupOnly) {
  enum Group { None, Pipe, Color, Labels, Transparency };
  for (Group g : {None, Pipe, Color, Labels, Transparency}) {
    SCOPED_TRACE(g);
    TTwoBoreholes t;
    TBoreholeSettings& s = t.source->Settings;
    s.ApplyPipeToAll = g == Pipe;
    s.ApplyColorToAll = g == Color;
    s.ApplyLabelsToAll = g == Labels;
    t.source->AcceptForAll = g == Transparency;
    t.root.CopySettingsFrom(*t.source);
    EXPECT_EQ(t.Rebuilt(), g != None);
    const TBoreholeSettings& k = t.target->Settings;
    EXPECT_EQ(k.Radius, g == Pipe ? 1.5 : 5.0);
    EXPECT_EQ(k.UseGeologyColors, g != Color);
    EXPECT_EQ(k.PipeColor, g == Color ? 0x0000FFu : 0x808080u);
    EXPECT_EQ(k.ShowLabels, g != Labels);
    EXPECT_EQ(k.LabelColor, g == Labels ? 0x00FF00u : 0xFFFFFFu);
    EXPECT_EQ(k.LabelSize, g == Labels ? 3.0 : 1.0);
    EXPECT_EQ(k.ShowTopLabel, g == Labels);
    EXPECT_EQ(k.ShowBottomLabel, g != Labels);
    EXPECT_EQ(t.target->Transparency, g == Transparency ? 99 : 255);
    // The apply flags themselves are not copied.
    EXPECT_TRUE(k.ApplyPipeToAll && k.ApplyColorToAll && k.ApplyLabelsToAll);
  }
}

TEST(BoreholeSettings, EditTakesTheDialogsValuesAndSpreadsThemOverTheTree) {
  TTwoBoreholes t;
  SetBoreholeDialogs(nullptr, [](const std::string& caption, TBoreholeSettings& s, TTransparencyParams& base) {
    EXPECT_EQ(caption, "Borehole A");
    EXPECT_EQ(s.Radius, 1.5);
    s.ApplyPipeToAll = true;
    s.Radius = 0.5;
    base.Transparency = 128;
    base.AcceptForAll = true;
    return true;
  });
  ASSERT_TRUE(t.source->Edit());
  EXPECT_EQ(t.source->Transparency, 128);
  ASSERT_TRUE(t.source->Pipe);
  EXPECT_FLOAT_EQ(t.source->Pipe->Radius(), 0.5f);
  EXPECT_EQ(t.target->Transparency, 128);
  EXPECT_FLOAT_EQ(t.target->Pipe->Radius(), 0.5f);

  SetBoreholeDialogs(nullptr, [](const std::string&, TBoreholeSettings& s, TTransparencyParams&) {
    s.Radius = 99;
    return false;
  });
  EXPECT_FALSE(t.source->Edit());
  EXPECT_EQ(t.source->Settings.Radius, 0.5);
  SetBoreholeDialogs(nullptr, nullptr);
  EXPECT_FALSE(t.source->Edit());
}

TEST(BoreholeSettings, TheViewsLegendReachesBoreholesAndWhatHangsUnderThem) {
  TGeologyList legend;
  TGraphMain root;
  TGraphMain* outer = root.AddChild(std::make_unique<TGraphBorehole>(), false);
  auto* inner = static_cast<TGraphBorehole*>(outer->AddChild(std::make_unique<TGraphBorehole>(), false));
  root.SetGeologyList(&legend);
  EXPECT_EQ(static_cast<TGraphBorehole*>(outer)->GeologyList, &legend);
  EXPECT_EQ(inner->GeologyList, &legend);
}

// ---- Stored record ----------------------------------------------------------------------

std::unique_ptr<TGraphMain> ReadBack(const std::vector<uint8_t>& bytes) {
  RegisterBoreholeKind();
  TMemoryStream s(bytes);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(s);
  EXPECT_EQ(s.Position(), s.Size());
  return object;
}

TGraphMain& ReadTree(const std::string& fixture, TGraphMain& root, TGraphLoadResult expected) {
  RegisterBoreholeKind();
  TMemoryStream s(FixtureBytes(fixture));
  EXPECT_EQ(LoadGraphTree(s, root), expected);
  return root;
}

const TBoreholeItemArray kStoredPoints{{1000.0, 2000.0, 150.0, 0.0, -1},
                                       {1000.5, 2001.25, 140.0, 10.0, 0},
                                       {1002.0, 2003.0, 120.5, 30.5, 3}};

void ExpectSamplePoints(const TGraphBorehole& b) {
  ASSERT_EQ(b.Points.size(), kStoredPoints.size());
  for (size_t i = 0; i < kStoredPoints.size(); ++i) {
    EXPECT_EQ(b.Points[i].X, kStoredPoints[i].X);
    EXPECT_EQ(b.Points[i].Y, kStoredPoints[i].Y);
    EXPECT_EQ(b.Points[i].Z, kStoredPoints[i].Z);
    EXPECT_EQ(b.Points[i].Depth, kStoredPoints[i].Depth);
    EXPECT_EQ(b.Points[i].GeologyIndex, kStoredPoints[i].GeologyIndex);
  }
}

TEST(BoreholeRecord, MatchesTheIndependentLayoutAndReadsBackThroughTheFactory) {
  TGraphBorehole b;
  b.SetName("Bohrung Ä-1");
  b.Transparency = 200;
  b.Points = kStoredPoints;
  b.Collar = {1000, 2000, 150};
  b.Settings.Radius = 2.5;
  b.Settings.LabelColor = 0x00FF8040;
  b.Settings.LabelSize = 1.5;
  b.Settings.ApplyPipeToAll = false;
  b.Settings.ShowTopLabel = true;
  b.Settings.ShowBottomLabel = false;
  b.CalcBounds();
  TMemoryStream out;
  ASSERT_TRUE(b.SaveToStream(out));
  EXPECT_EQ(out.Data(), FixtureBytes("borehole.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(FixtureBytes("borehole.bin"));
  auto* read = dynamic_cast<TGraphBorehole*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Name(), "Bohrung Ä-1");
  EXPECT_EQ(read->Transparency, 200);
  EXPECT_TRUE(read->AcceptForAll);
  ExpectSamplePoints(*read);
  EXPECT_EQ(read->Collar, (TSurveyPoint{1000, 2000, 150}));
  TMemoryStream again;
  ASSERT_TRUE(read->SaveToStream(again));
  EXPECT_EQ(again.Data(), FixtureBytes("borehole.bin"));
  EXPECT_EQ(read->BoundsMax, (TSurveyPoint{1002, 2003, 150}));
}

TEST(BoreholeRecord, AHoleShownInOneColourComesBackWithRockColours) {
  TGraphBorehole b;
  b.Points = kStoredPoints;
  b.Settings.UseGeologyColors = false;
  b.Settings.PipeColor = 0x0000FF;
  TMemoryStream out;
  ASSERT_TRUE(b.SaveToStream(out));
  std::unique_ptr<TGraphMain> object = ReadBack(out.Data());
  auto* read = dynamic_cast<TGraphBorehole*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->Settings.UseGeologyColors);
  EXPECT_EQ(read->Settings.PipeColor, 0x808080u);
}

TEST(BoreholeRecord, ANewerChunkOrAnotherMagicIsSkippedAndTheListGoesOn) {
  for (const char* fixture : {"borehole_newer.bin", "borehole_other_magic.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    ReadTree(fixture, root, TGraphLoadResult::Loaded);
    ASSERT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(root.GetChild(0)->Name(), "after");
  }
  TGraphMain root;
  ReadTree("borehole_trailing.bin", root, TGraphLoadResult::Loaded);
  ASSERT_EQ(root.ChildCount(), 2);
  ExpectSamplePoints(dynamic_cast<TGraphBorehole&>(*root.GetChild(0)));
}

TEST(BoreholeRecord, APointCountThatDoesNotFitTheChunkIsDamage) {
  for (const char* fixture : {"borehole_count_huge.bin", "borehole_count_negative.bin", "borehole_count_beyond.bin"}) {
    SCOPED_TRACE(fixture);
    TGraphMain root;
    RegisterBoreholeKind();
    std::vector<uint8_t> bytes = FixtureBytes(fixture);
    TMemoryStream s(bytes);
    EXPECT_THROW(CreateGraphObject(s), EStreamError);
  }
}

TEST(BoreholeRecord, TheOlderLayoutOfBothVersionsReadsAndComputesTheBounds) {
  for (const char* fixture : {"old_v0.bin", "old_v1.bin"}) {
    SCOPED_TRACE(fixture);
    std::vector<uint8_t> bytes = FixtureBytes(fixture);
    TMemoryStream s(bytes);
    TGraphBorehole b;
    ASSERT_TRUE(b.LoadOldLayout(s));
    EXPECT_EQ(s.Position(), s.Size() - 4);  // before "next"
    EXPECT_EQ(b.Name(), "Bohrung Ä-1");
    ExpectSamplePoints(b);
    EXPECT_FALSE(b.Visible());
    EXPECT_FALSE(b.Settings.ShowLabels);
    EXPECT_EQ(b.Settings.LabelColor, 0x0000FF00u);
    EXPECT_EQ(b.Settings.Radius, 2.5);
    EXPECT_EQ(b.BoundsMin, (TSurveyPoint{1000, 2000, 120.5}));
  }
  for (const char* fixture : {"old_newer.bin", "old_other_magic.bin"}) {
    SCOPED_TRACE(fixture);
    std::vector<uint8_t> bytes = FixtureBytes(fixture);
    TMemoryStream s(bytes);
    TGraphBorehole b;
    EXPECT_FALSE(b.LoadOldLayout(s));
    EXPECT_EQ(s.Position(), s.Size() - 4);
    EXPECT_TRUE(b.Points.empty());
  }
}

// ---- Drawing ----------------------------------------------------------------------------

class BoreholeRenderGL : public graphics_testing::TRenderedViewTest {};

TEST_F(BoreholeRenderGL, TheRocksColourThePipe) {
  TGeologyList legend;
  legend.FindOrAdd("Sand", "Sd", 0x0000FF);
  legend.FindOrAdd("Ton", "Tn", 0x00FF00);
  // A vertical hole from elevation 2 to -2 at scene x = 0: red above 0, green below.
  auto b = WithPoints({{0, 0, 2, 0, -1}, {0, 0, 0, 2, 0}, {0, 0, -2, 4, 1}});
  b->GeologyList = &legend;
  b->Settings.Radius = 0.3;
  b->Settings.ShowLabels = false;
  b->SetContext(&context_);
  b->Build(false);
  Render();
  EXPECT_TRUE(Shows(0.0f, 1.0f, testing::kRedRgb));
  EXPECT_TRUE(Shows(0.1f, 1.7f, testing::kRedRgb));
  EXPECT_TRUE(Shows(0.0f, -1.0f, testing::kGreenRgb));
  EXPECT_TRUE(Shows(-0.1f, -1.7f, testing::kGreenRgb));
  EXPECT_TRUE(Background(0.6f, 0.0f));
  EXPECT_TRUE(Background(0.0f, 2.5f));
}

}  // namespace
}  // namespace qira

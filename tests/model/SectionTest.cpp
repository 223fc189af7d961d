#include "model/Section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "model/GraphicsSceneSupport.h"
#include "model/SectionFixtures.h"
#include "model/SectionGroup.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "scene/components/Colors.h"
#include "scene/materials/Materials.h"
#include "scene/objects/Mesh.h"
#include "support/FakeServices.h"
#include "support/GeneratedFixtures.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kGreen = MakeColor(0, 255, 0);
constexpr TColor kBlue = MakeColor(0, 0, 255);
constexpr double kInf = std::numeric_limits<double>::infinity();

const TGeneratedFixtures& Fixtures() { return TGeneratedFixtures::Of("make_sections.py"); }

std::vector<uint8_t> FixtureBytes(const std::string& name) {
  const std::string bytes = Fixtures().Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::unique_ptr<TGraphSection> ReadSec(const std::string& name) {
  TMemoryStream s = Fixtures().Stream(name);
  return ReadSectionFile(s);
}

std::vector<uint8_t> Saved(TGraphMain& object) {
  TMemoryStream s;
  EXPECT_TRUE(object.SaveToStream(s));
  return s.Data();
}

using section_testing::FlatSection;
using section_testing::RedToGreen;

// Scene points and colours as comparable arrays.
using P3 = std::array<float, 3>;
using Rgba = std::array<float, 4>;
Rgba ColorOf(const TVector& v) { return {v.x, v.y, v.z, v.w}; }

// The corners of the triangles a mesh draws, in drawing order.
std::vector<P3> Coords(const TGLMesh& mesh) {
  std::vector<P3> out;
  for (int32_t k = 0; k < mesh.DrawnCount(); ++k) {
    const TAffineVector p = mesh.DrawnVertex(k).coord;
    out.push_back({p.x, p.y, p.z});
  }
  return out;
}

// ---- The section file ----------------------------------------------------------------

TEST(SectionFile, ReadsNamesGridAndCoordinates) {
  std::unique_ptr<TGraphSection> s = ReadSec("valid_v1.sec");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Borehole1, "B-1");
  EXPECT_EQ(s->Borehole2, "B 2");
  EXPECT_EQ(s->Frequency, 12500.0f);
  EXPECT_EQ(s->DataKind, 3);
  EXPECT_TRUE(s->HasLogColumn());
  EXPECT_EQ(s->ColCount, 4);
  EXPECT_EQ(s->RowCount, 2);
  EXPECT_EQ(s->X1, (std::vector<double>{0.0, 0.5, 1.0}));
  EXPECT_EQ(s->X2, (std::vector<double>{8.0, 8.5, 9.0}));
  EXPECT_EQ(s->Y1, (std::vector<double>{100.0, 100.0, 100.0}));
  EXPECT_EQ(s->Y2, (std::vector<double>{104.0, 104.0, 104.0}));
  EXPECT_EQ(s->StartZ, 100.0);
  EXPECT_EQ(s->EndZ, 96.0);
  EXPECT_EQ(s->Values, (std::vector<std::vector<double>>{{5, 0, 20, 60}, {0, 2.5, 1.5, 40}}));
  EXPECT_EQ(s->Name(), "12.5 kHz");
  EXPECT_TRUE(s->Exclusive);
  // Corners a and d of the cells with data; the zero cells add nothing.
  EXPECT_EQ(s->BoundsMin, (TSurveyPoint{0.0, 100.0, 96.0}));
  EXPECT_EQ(s->BoundsMax, (TSurveyPoint{9.0, 104.0, 100.0}));
  // The data range of the values that hold data.
  EXPECT_EQ(s->DataMin, 1.5);
  EXPECT_EQ(s->DataMax, 60.0);
}

TEST(SectionFile, ThePaletteComesFromTheValueTableAndTheFileRange) {
  std::unique_ptr<TGraphSection> s = ReadSec("valid_v1.sec");
  ASSERT_TRUE(s);
  const TZBPalette& p = s->Palette;
  EXPECT_EQ(p.StartColor(), kRed);
  EXPECT_EQ(p.EndColor(), kBlue);
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(p.GetColor(1), kGreen);
  EXPECT_EQ(p.GetPosition(1), 50);
  EXPECT_FALSE(p.AutoRange());
}

struct TVersionCase {
  const char* File;
  bool Logarithmic;
  double Min, Max;
};

class SectionFileVersions : public ::testing::TestWithParam<TVersionCase> {};

// Version 0 always asks for a logarithmic palette, which the palette refuses
// unless its range is positive; version 1 passes the file's flag.
TEST_P(SectionFileVersions, SetTheLogarithmicFlagAsTheVersionSays) {
  std::unique_ptr<TGraphSection> s = ReadSec(GetParam().File);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Palette.Logarithmic(), GetParam().Logarithmic);
  EXPECT_EQ(s->Palette.Min(), GetParam().Min);
  EXPECT_EQ(s->Palette.Max(), GetParam().Max);
}

INSTANTIATE_TEST_SUITE_P(Files, SectionFileVersions,
                         ::testing::Values(TVersionCase{"v0_zero_range.sec", false, 0, 80},
                                           TVersionCase{"v0_positive_range.sec", true, 2, 80},
                                           TVersionCase{"v1_flag_off.sec", false, 2, 50},
                                           TVersionCase{"valid_v1.sec", true, 2, 50}));

TEST(SectionFile, NamesAreWindows1252InTheFile) {
  std::unique_ptr<TGraphSection> s = ReadSec("accented.sec");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Borehole1, "Bohrung \xC3\x84");
  EXPECT_EQ(s->Borehole2, "S\xC3\xBC" "d 2");
}

TEST(SectionFile, ASectionWithoutRowsHasNoCellsAndNoBounds) {
  std::unique_ptr<TGraphSection> s = ReadSec("no_rows.sec");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->RowCount, 0);
  EXPECT_EQ(s->ColCount, 5);
  EXPECT_EQ(s->X1, std::vector<double>{1.0});
  EXPECT_TRUE(s->Values.empty());
  EXPECT_EQ(s->BoundsMin, EmptyBoundsMin);
  EXPECT_EQ(s->DataMin, 0.0);
  EXPECT_EQ(s->DataMax, 0.0);
}

struct TBrokenCase {
  const char* File;
  const char* Message;
};

class SectionFileBroken : public ::testing::TestWithParam<TBrokenCase> {};

TEST_P(SectionFileBroken, IsAnErrorMessageAndNoSection) {
  TFakeServices fake;
  EXPECT_EQ(LoadSectionFile(Fixtures().File(GetParam().File)), nullptr);
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text, GetParam().Message);
  EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SectionFileBroken,
    ::testing::Values(TBrokenCase{"empty.sec", kSectionWrongFormat},
                      TBrokenCase{"bad_magic.sec", kSectionWrongFormat},
                      TBrokenCase{"newer_v2.sec", kSectionVersionNotSupported},
                      TBrokenCase{"negative_rows.sec", kSectionWrongFormat},
                      TBrokenCase{"negative_cols.sec", kSectionWrongFormat},
                      TBrokenCase{"huge_rows.sec", kSectionWrongFormat},
                      TBrokenCase{"huge_cols.sec", kSectionWrongFormat},
                      TBrokenCase{"huge_product.sec", kSectionWrongFormat},
                      TBrokenCase{"huge_string.sec", kSectionWrongFormat},
                      TBrokenCase{"table_one_entry.sec", kSectionWrongFormat},
                      TBrokenCase{"table_huge.sec", kSectionWrongFormat},
                      TBrokenCase{"missing_last_value.sec", kSectionWrongFormat}));

TEST(SectionFile, EveryTruncationFailsAsAWrongFormatAndAMissingFileSilently) {
  TFakeServices fake;
  EXPECT_EQ(LoadSectionFile(Fixtures().File("no_such_file.sec")), nullptr);
  EXPECT_TRUE(fake.Messages.empty());
  const std::vector<uint8_t> bytes = FixtureBytes("valid_v1.sec");
  ASSERT_GT(bytes.size(), 100u);
  for (size_t n = 0; n < bytes.size(); ++n) {
    TMemoryStream s(bytes.data(), n);
    EXPECT_EQ(ThrownMessage<ESectionFileError>([&] { ReadSectionFile(s); }), kSectionWrongFormat)
        << "prefix of " << n << " bytes";
  }
}

TEST(SectionFile, OpenStartsInTheImportFolderAndRemembersTheChosenOne) {
  TFakeServices fake;
  const std::string saved = ImportPath;
  ImportPath = "/start/here";
  fake.FileAnswers.push_back(Fixtures().File("valid_v1.sec"));
  std::unique_ptr<TGraphSection> s = OpenSectionFile();
  ASSERT_TRUE(s);
  ASSERT_EQ(fake.FileCalls.size(), 1u);
  EXPECT_EQ(fake.FileCalls[0].Request.InitialDir, "/start/here");
  EXPECT_EQ(fake.FileCalls[0].Request.Filter, "3D QIRA section files (*.sec)|*.sec|All files (*.*)|*.*");
  EXPECT_EQ(fake.FileCalls[0].Request.DefaultExt, "sec");
  EXPECT_EQ(ImportPath + "/valid_v1.sec", Fixtures().File("valid_v1.sec"));
  // Cancel: nothing read, the folder stays.
  EXPECT_EQ(OpenSectionFile(), nullptr);
  EXPECT_EQ(ImportPath + "/valid_v1.sec", Fixtures().File("valid_v1.sec"));
  ImportPath = saved;
}

// ---- Names ----------------------------------------------------------------------------

struct TFrequencyCase {
  float Frequency;
  const char* Text;
};

class SectionFrequencyText : public ::testing::TestWithParam<TFrequencyCase> {};

TEST_P(SectionFrequencyText, IsKiloHertzWithEightSignificantDigits) {
  TGraphSection s;
  s.Frequency = GetParam().Frequency;
  EXPECT_EQ(s.GetFrequencyText(), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Values, SectionFrequencyText,
                         ::testing::Values(TFrequencyCase{10000.0f, "10 kHz"},
                                           TFrequencyCase{12500.0f, "12.5 kHz"},
                                           TFrequencyCase{12345.6f, "12.3456 kHz"},
                                           TFrequencyCase{0.0f, "0 kHz"},
                                           TFrequencyCase{5.0f, "0.005 kHz"},
                                           TFrequencyCase{123456789.0f, "123456.79 kHz"},
                                           TFrequencyCase{1e12f, "1E9 kHz"},
                                           TFrequencyCase{0.001f, "1E-6 kHz"}));

TEST(SectionNames, PairAndExportFileNameDropBlanksDashesAndUnderscores) {
  TGraphSection s;
  s.Borehole1 = "B-1";
  s.Borehole2 = "B 2_x";
  s.Frequency = 12500;
  EXPECT_EQ(s.GetPairName(), "B-1 - B 2_x");
  EXPECT_EQ(s.GetExportFileName(), "B1-B2x_12");
}

// ---- Cells ------------------------------------------------------------------------------

TEST(SectionCells, NoDataAndValuesBeyondAHiddenSideAreNotShown) {
  TGraphSection s;
  s.Palette = RedToGreen(10, 30);
  EXPECT_FALSE(s.IsShown(0.0));
  EXPECT_FALSE(s.IsShown(std::nan("")));
  EXPECT_TRUE(s.IsShown(31.0));
  EXPECT_TRUE(s.IsShown(-5.0));
  s.ShowAboveMax = false;
  EXPECT_TRUE(s.IsShown(30.0));
  EXPECT_FALSE(s.IsShown(30.5));
  EXPECT_TRUE(s.IsShown(-5.0));
  s.ShowBelowMin = false;
  EXPECT_TRUE(s.IsShown(10.0));
  EXPECT_FALSE(s.IsShown(9.5));
}

TEST(SectionCells, NodeAndCornersFollowTheRowBoundaries) {
  std::unique_ptr<TGraphSection> s = ReadSec("valid_v1.sec");
  ASSERT_TRUE(s);
  double x = 0, y = 0, z = 0, v = 0;
  ASSERT_TRUE(s->GetNode(0, 0, x, y, z, v));
  EXPECT_EQ(v, 5.0);
  EXPECT_EQ(x, 1.25);  // mean of 0 + 8/8 and 0.5 + 8/8
  EXPECT_EQ(y, 100.5);
  EXPECT_EQ(z, 99.0);
  TSurveyPoint a, b, c, d;
  ASSERT_TRUE(s->GetCell(1, 1, a, b, c, d, v));
  EXPECT_EQ(v, 2.5);
  EXPECT_EQ(a, (TSurveyPoint{2.5, 101.0, 98.0}));
  EXPECT_EQ(b, (TSurveyPoint{4.5, 102.0, 98.0}));
  EXPECT_EQ(c, (TSurveyPoint{3.0, 101.0, 96.0}));
  EXPECT_EQ(d, (TSurveyPoint{5.0, 102.0, 96.0}));
  // A cell without data and cells outside the grid: value set, no position.
  EXPECT_FALSE(s->GetNode(0, 1, x, y, z, v));
  EXPECT_EQ(v, 0.0);
  EXPECT_FALSE(s->GetNode(2, 0, x, y, z, v));
  EXPECT_FALSE(s->GetCell(0, -1, a, b, c, d, v));
  EXPECT_EQ(v, 0.0);
}

TEST(SectionCells, CellsWithoutDataNeverWidenTheBounds) {
  // Only cell (1, 1) holds data, hidden beyond the range: it still counts.
  std::unique_ptr<TGraphSection> s =
      FlatSection({{0, 0, 0, 0}, {0, 99, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}});
  s->ShowAboveMax = false;
  s->CalcBounds();
  EXPECT_EQ(s->BoundsMin, (TSurveyPoint{-1.5, 0.0, 0.0}));
  EXPECT_EQ(s->BoundsMax, (TSurveyPoint{0.0, 0.0, 1.0}));
}

// ---- Building -----------------------------------------------------------------------

class SectionBuild : public ::testing::Test {
 protected:
  graphics_testing::TViewScene view_;

  TGraphSection& Built(std::unique_ptr<TGraphSection> s) {
    section_ = std::move(s);
    section_->SetContext(&view_.context);
    section_->Build(false);
    return *section_;
  }
  std::unique_ptr<TGraphSection> section_;
};

// Each section a project holds is read, checked and built, but the limits' figures are
// read per bytes weighed: once per 256 KB of small sections at the most, not once each.
TEST_F(SectionBuild, ManySmallSectionsReadTheMemoryFiguresOncePer256KBWeighedNotOnceEach) {
  int64_t readings = 0;
  const TScopedMemoryProbe probe([&readings] {
    ++readings;
    return int64_t{8} << 30;
  });
  constexpr int kSections = 400;
  double weighed = 0;
  std::vector<std::unique_ptr<TGraphSection>> sections;
  for (int i = 0; i < kSections; ++i) {
    TMemoryStream file = Fixtures().Stream("valid_v1.sec");
    sections.push_back(ReadSectionFile(file));
    TGraphSection& s = *sections.back();
    s.SetContext(&view_.context);
    s.Build(false);
    ASSERT_TRUE(s.FrontMesh);
    weighed += SectionMemoryNeeded(s.RowCount, s.ColCount, false, s.ImageStyle) +
               SectionMemoryNeeded(s.RowCount, s.ColCount, true, s.ImageStyle);
  }
  EXPECT_LE(readings, 1 + static_cast<int64_t>(weighed) / (int64_t{256} << 10)) << weighed;
}

TEST_F(SectionBuild, CellsDrawTwoTrianglesPerShownCellAndTheBackMeshTheOtherWayRound) {
  std::unique_ptr<TGraphSection> made = FlatSection({{10, 0, 30}, {20, 30, 10}});
  made->ImageStyle = 1;
  TGraphSection& s = Built(std::move(made));
  ASSERT_TRUE(s.FrontMesh && s.BackMesh);
  EXPECT_EQ(s.FrontMesh->Mode(), TMeshMode::mmTriangles);
  const std::vector<P3> front = Coords(*s.FrontMesh);
  const std::vector<P3> back = Coords(*s.BackMesh);
  ASSERT_EQ(front.size(), 5u * 6u);
  ASSERT_EQ(back.size(), front.size());
  // Cell (0, 0): a = (-3, 2), c = (-3, 0), d = (-1, 0), b = (-1, 2); triangles (a, c, d), (a, d, b).
  EXPECT_EQ(front[0], (P3{-3, 2, 0}));
  EXPECT_EQ(front[1], (P3{-3, 0, 0}));
  EXPECT_EQ(front[2], (P3{-1, 0, 0}));
  EXPECT_EQ(front[5], (P3{-1, 2, 0}));
  for (size_t k = 0; k < front.size(); k += 3) {
    EXPECT_EQ(back[k], front[k + 2]);
    EXPECT_EQ(back[k + 1], front[k + 1]);
    EXPECT_EQ(back[k + 2], front[k]);
  }
  // The empty cell (0, 1) has no vertex inside it.
  for (const P3& p : front) EXPECT_FALSE(p[0] > -1 && p[0] < 1 && p[1] > 0) << p[0] << " " << p[1];
}

TEST_F(SectionBuild, VertexColoursComeFromThePaletteWithTheOpacityAsAlpha) {
  std::unique_ptr<TGraphSection> made = FlatSection({{10, 30}});
  made->ImageStyle = 1;
  made->Transparency = 51;
  TGraphSection& s = Built(std::move(made));
  const TGLMesh& front = *s.FrontMesh;
  ASSERT_EQ(front.DrawnCount(), 12);
  EXPECT_EQ(ColorOf(front.DrawnVertex(0).color), (Rgba{1, 0, 0, 51.0f / 255.0f}));
  EXPECT_EQ(ColorOf(front.DrawnVertex(6).color), (Rgba{0, 1, 0, 51.0f / 255.0f}));
  ASSERT_TRUE(MaterialOf(*s.FrontMesh));
  EXPECT_EQ(MaterialOf(*s.FrontMesh)->BlendingMode(), TBlendingMode::bmTransparency);
  s.Transparency = 255;
  s.Build(false);
  EXPECT_EQ(MaterialOf(*s.BackMesh)->BlendingMode(), TBlendingMode::bmOpaque);
  EXPECT_EQ(s.FrontMesh->DrawnVertex(0).color[3], 1.0f);
}

// Every drawn colour is the palette's display colour of its value, whatever the
// scale and the intensity: the sheet takes the palette's range and intensity once.
TEST_F(SectionBuild, EveryCellTakesThePaletteDisplayColourOfItsValue) {
  struct TCase {
    bool Logarithmic;
    int Intensity;
  };
  const TCase cases[] = {{false, 100}, {false, 40}, {true, 100}, {true, 37}, {true, 0}};
  std::vector<double> row;
  for (double v = 8; v < 33; v += 0.73) row.push_back(v);  // clamped at both ends too
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "log " << c.Logarithmic << " intensity " << c.Intensity);
    std::unique_ptr<TGraphSection> made = FlatSection({row});
    made->ImageStyle = 1;
    made->Palette.AddStop(30, MakeColor(20, 90, 250));
    made->Palette.SetLogarithmic(c.Logarithmic);
    made->Palette.SetIntensity(c.Intensity);
    TGraphSection& s = Built(std::move(made));
    ASSERT_EQ(s.FrontMesh->DrawnCount(), static_cast<int32_t>(6 * row.size()));
    for (size_t k = 0; k < row.size(); ++k) {
      const TVector expected = ConvertWinColor(s.Palette.DisplayColorOfValue(row[k]));
      EXPECT_EQ(ColorOf(s.FrontMesh->DrawnVertex(static_cast<int32_t>(6 * k)).color), ColorOf(expected)) << row[k];
    }
  }
}

TEST_F(SectionBuild, GradientJoinsCellCentresAndSkipsQuadsWithTwoHiddenNodes) {
  // The sample: quad j=1 has two nodes without data, quad j=2 one (node 00), quad j=3 none.
  std::unique_ptr<TGraphSection> made = ReadSec("valid_v1.sec");
  ASSERT_TRUE(made);
  TGraphSection& s = Built(std::move(made));
  EXPECT_EQ(s.FrontMesh->DrawnCount(), 9);
}

TEST_F(SectionBuild, AQuadSplitsAlongTheDiagonalWhoseColoursDifferLessTiesAlong00To11) {
  // Node scene positions: (i, j) -> (-2 + 2j, 1 - 2i).
  const P3 n00{-2, 1, 0}, n10{-2, -1, 0}, n11{0, -1, 0}, n01{0, 1, 0};
  // 00-11 differ more than 10-01: (01, 00, 10), (01, 10, 11).
  TGraphSection& s = Built(FlatSection({{10, 20, 0}, {20, 30, 0}}));
  std::vector<P3> c = Coords(*s.FrontMesh);
  EXPECT_EQ(c, (std::vector<P3>{n01, n00, n10, n01, n10, n11}));
  // Equal differences: (00, 10, 11), (00, 11, 01).
  s.Values = {{10, 30, 0}, {10, 30, 0}};
  s.Build(false);
  c = Coords(*s.FrontMesh);
  EXPECT_EQ(c, (std::vector<P3>{n00, n10, n11, n00, n11, n01}));
}

TEST_F(SectionBuild, AQuadWithOneHiddenNodeDrawsTheTriangleOfTheOtherThree) {
  const P3 n00{-2, 1, 0}, n10{-2, -1, 0}, n11{0, -1, 0}, n01{0, 1, 0};
  struct TCase {
    std::vector<std::vector<double>> Values;
    std::vector<P3> Triangle;
  };
  const TCase cases[] = {
      {{{10, 0, 0}, {20, 30, 0}}, {n00, n10, n11}},  // 01 hidden
      {{{0, 10, 0}, {20, 30, 0}}, {n10, n11, n01}},  // 00 hidden
      {{{10, 10, 0}, {0, 30, 0}}, {n00, n11, n01}},  // 10 hidden
      {{{10, 10, 0}, {20, 0, 0}}, {n00, n10, n01}},  // 11 hidden
  };
  for (const TCase& c : cases) {
    TGraphSection& s = Built(FlatSection(c.Values));
    EXPECT_EQ(Coords(*s.FrontMesh), c.Triangle);
  }
}

TEST_F(SectionBuild, AnAutomaticRangePaletteTakesTheDataRangeWhenBuilt) {
  std::unique_ptr<TGraphSection> made = FlatSection({{12, 0}, {0, 18}});
  made->CalcDataRange();
  made->Palette.SetAutoRange(true);
  TGraphSection& s = Built(std::move(made));
  EXPECT_EQ(s.Palette.Min(), 12.0);
  EXPECT_EQ(s.Palette.Max(), 18.0);
}

// ---- Settings and editing -------------------------------------------------------------

class SectionSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    group_ = root_.AddChild(std::make_unique<TGraphMain>(), false);
    a_ = static_cast<TGraphSection*>(group_->AddChild(FlatSection({{10, 20}, {20, 30}}), false));
    b_ = static_cast<TGraphSection*>(group_->AddChild(FlatSection({{10, 20}, {20, 30}}), false));
    b_->Frequency = 5000;
  }
  void TearDown() override { SetSectionEditor(nullptr); }

  TGraphMain root_;
  TGraphMain* group_ = nullptr;
  TGraphSection* a_ = nullptr;
  TGraphSection* b_ = nullptr;
};

TEST_F(SectionSettings, EditHandsTheDialogCaptionDataRangeAndCurrentSettings) {
  a_->DataMin = 1.5;
  a_->DataMax = 60;
  a_->FillMode = 2;
  std::string caption;
  double min = 0, max = 0;
  TSectionSettings seen;
  SetSectionEditor([&](const std::string& c, double dmin, double dmax, TSectionSettings& s,
                       TTransparencyParams&) {
    caption = c;
    min = dmin;
    max = dmax;
    seen = s;
    return false;
  });
  EXPECT_FALSE(a_->Edit());
  EXPECT_EQ(caption, "B-1 - B 2, 12.5 kHz");
  EXPECT_EQ(min, 1.5);
  EXPECT_EQ(max, 60.0);
  EXPECT_EQ(seen.FillMode, 2);
  EXPECT_EQ(a_->FillMode, 2);
}

TEST_F(SectionSettings, AcceptedGroupsSpreadAndOtherGroupsAndFlagsStay) {
  SetSectionEditor([](const std::string&, double, double, TSectionSettings& s, TTransparencyParams& pair) {
    s.Palette.SetIntensity(40);
    s.PaletteForAll = false;  // palette edited for this section only
    s.ImageStyle = 1;
    s.StyleForAll = true;
    s.FillMode = 1;
    s.FillForAll = true;
    pair.Transparency = 100;
    pair.AcceptForAll = false;
    return true;
  });
  b_->StyleForAll = false;
  ASSERT_TRUE(a_->Edit());
  // The edited section takes everything and stores the flags.
  EXPECT_EQ(a_->Palette.Intensity(), 40);
  EXPECT_EQ(a_->ImageStyle, 1);
  EXPECT_EQ(a_->FillMode, 1);
  EXPECT_EQ(a_->Transparency, 100);
  EXPECT_FALSE(a_->PaletteForAll);
  EXPECT_FALSE(a_->AcceptForAll);
  // The other takes only the flagged groups; its own flags stay.
  EXPECT_EQ(b_->Palette.Intensity(), 100);
  EXPECT_EQ(b_->ImageStyle, 1);
  EXPECT_EQ(b_->FillMode, 1);
  EXPECT_EQ(b_->Transparency, 255);
  EXPECT_FALSE(b_->StyleForAll);
  EXPECT_TRUE(b_->PaletteForAll);
}

TEST_F(SectionSettings, ChangedSettingsRebuildAndAFillChangeOnlyRefreshes) {
  graphics_testing::TViewScene view;
  root_.SetContext(&view.context);
  a_->SetVisible(true);  // only a shown mesh takes the fill mode
  a_->Build(false);
  TSectionSettings s;
  TTransparencyParams pair;
  a_->GetSettings(s, pair);
  s.FillMode = 2;
  a_->ApplySettings(s, pair, false);
  EXPECT_EQ(MaterialOf(*a_->FrontMesh)->FrontProperties().PolygonMode(), TPolygonMode::pmPoints);
  s.ImageStyle = 1;
  a_->ApplySettings(s, pair, false);
  EXPECT_EQ(a_->FrontMesh->DrawnCount(), 4 * 6);
}

// ---- Menu -------------------------------------------------------------------------------

TEST(SectionMenu, AddsTheThreeExportsAfterTheBaseMenu) {
  TGraphMain root;
  TGraphSection* s = static_cast<TGraphSection*>(root.AddChild(FlatSection({{10}}), false));
  TGraphSection* clicked = nullptr;
  RegisterSectionExport(TSectionExport::XYZTable, [&](TGraphSection& section) { clicked = &section; });
  TObjectMenu menu;
  s->FillMenu(menu);
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[3].Caption, "&Delete");
  TObjectMenuItem* exports = FindMenuItem(menu, "E&xport");
  ASSERT_TRUE(exports);
  ASSERT_EQ(exports->Items.size(), 3u);
  EXPECT_EQ(exports->Items[0].Caption, "Closed colored &blocks table");
  EXPECT_EQ(exports->Items[1].Caption, "&XYZ values table");
  EXPECT_EQ(exports->Items[2].Caption, "3D object in DXF format");
  EXPECT_FALSE(exports->Items[0].Enabled);
  EXPECT_TRUE(exports->Items[1].Enabled);
  exports->Items[1].OnClick();
  EXPECT_EQ(clicked, s);
  RegisterSectionExport(TSectionExport::XYZTable, nullptr);
}

// ---- Project record --------------------------------------------------------------------

TEST(SectionRecord, MatchesTheIndependentLayoutAndReadsBackThroughTheFactory) {
  RegisterSectionKinds();
  std::unique_ptr<TGraphSection> s = ReadSec("valid_v1.sec");
  ASSERT_TRUE(s);
  const std::vector<uint8_t> expected = FixtureBytes("section_record.bin");
  EXPECT_EQ(Saved(*s), expected);

  TMemoryStream in(expected);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(in);
  EXPECT_EQ(in.Position(), in.Size());
  auto* back = dynamic_cast<TGraphSection*>(object.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Values, s->Values);
  EXPECT_EQ(back->DataMax, 60.0);
  EXPECT_EQ(Saved(*back), expected);
}

TEST(SectionRecord, ANewerChunkOrAWrongTagIsSkippedWhole) {
  RegisterSectionKinds();
  for (const char* name : {"section_record_newer.bin", "section_record_wrong_tag.bin"}) {
    TMemoryStream in(FixtureBytes(name));
    EXPECT_EQ(CreateGraphObject(in), nullptr) << name;
    EXPECT_EQ(in.Position(), in.Size()) << name;
  }
}

TEST(SectionRecord, CountsBeyondTheChunkAndEveryTruncationAreDamage) {
  RegisterSectionKinds();
  {
    TMemoryStream in(FixtureBytes("section_record_huge_rows.bin"));
    EXPECT_THROW(CreateGraphObject(in), EStreamError);
  }
  const std::vector<uint8_t> bytes = FixtureBytes("section_record.bin");
  for (size_t n = 0; n < bytes.size(); ++n) {
    TMemoryStream in(bytes.data(), n);
    EXPECT_THROW(CreateGraphObject(in), EStreamError) << "prefix of " << n << " bytes";
  }
}

TEST(SectionRecord, TheOlderLayoutRepeatsTheLastBoundaryAndTakesItsFlags) {
  TMemoryStream in(FixtureBytes("old_layout.bin"));
  TGraphSection s;
  ASSERT_TRUE(s.LoadOldLayout(in));
  EXPECT_EQ(in.Position(), in.Size());
  EXPECT_EQ(s.X1, (std::vector<double>{0.0, 0.5, 0.5}));
  EXPECT_EQ(s.X2, (std::vector<double>{8.0, 8.5, 8.5}));
  EXPECT_EQ(s.Values[1][3], 40.0);
  EXPECT_EQ(s.Name(), "12.5 kHz");
  EXPECT_FALSE(s.ShowAboveMax);
  EXPECT_TRUE(s.ShowBelowMin);
  EXPECT_FALSE(s.Visible());
  EXPECT_EQ(s.ImageStyle, 1);
  EXPECT_EQ(s.FillMode, 0);  // not in this layout: the constructor's
  EXPECT_TRUE(s.Palette.Logarithmic());
  EXPECT_EQ(s.Palette.Min(), 2.0);
  EXPECT_EQ(s.BoundsMin.Z, 96.0);

  TMemoryStream wrong(FixtureBytes("old_layout_wrong_tag.bin"));
  TGraphSection t;
  EXPECT_FALSE(t.LoadOldLayout(wrong));
  EXPECT_EQ(wrong.Position(), wrong.Size());
}

// ---- Drawing ----------------------------------------------------------------------------

class SectionRenderGL : public graphics_testing::TRenderedViewTest {};

TEST_F(SectionRenderGL, CellsShowTheirPaletteColoursAndCellsWithoutDataStayEmpty) {
  std::unique_ptr<TGraphSection> s = FlatSection({{10, 0, 30}, {20, 30, 10}});
  s->ImageStyle = 1;
  s->SetContext(&context_);
  s->Build(false);
  Render();
  const std::array<int, 3> red{255, 0, 0}, green{0, 255, 0}, olive{128, 128, 0};
  EXPECT_TRUE(Shows(-2, 1, red));
  EXPECT_TRUE(Background(0, 1));
  EXPECT_TRUE(Shows(2, 1, green));
  EXPECT_TRUE(Shows(-2, -1, olive));
  EXPECT_TRUE(Shows(0, -1, green));
  EXPECT_TRUE(Shows(2, -1, red));
  EXPECT_TRUE(Background(3.4f, 0));
}

TEST_F(SectionRenderGL, APotentialSectionInTheSectionsPlaneStaysBehindIt) {
  // The potential band first: at equal depth a later sheet would lose to it.
  TGraphSurface band;
  band.BeginAdd();
  band.AddQuad({-3, 0, 2}, {3, 0, 2}, {3, 0, -2}, {-3, 0, -2});
  band.EndAdd();
  band.Color = MakeColor(0, 255, 0);
  band.SetContext(&context_);
  band.Build(false);
  std::unique_ptr<TGraphSection> s = FlatSection({{10, 10}, {10, 10}});
  s->ImageStyle = 1;
  s->SetContext(&context_);
  s->Build(false);
  Render();
  const std::array<int, 3> red{255, 0, 0};
  for (float x : {-2.5f, -1.0f, 0.5f, 2.0f}) {
    for (float y : {-1.5f, 0.0f, 1.5f}) EXPECT_TRUE(Shows(x, y, red)) << x << ", " << y;
  }
}

}  // namespace
}  // namespace qira

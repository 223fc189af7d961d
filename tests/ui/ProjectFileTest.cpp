#include "ui/ProjectFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Borehole.h"
#include "model/Dxf.h"
#include "model/GraphLabel.h"
#include "model/GraphAxis.h"
#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "scene/graph/CameraLight.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/viewers/MemoryViewer.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/graph/SceneBuffer.h"
#include "support/HeapPeak.h"
#include "support/EnvVar.h"
#include "support/NamedRows.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScopedSaveStep.h"
#include "support/ScopedWriteFailure.h"
#include "support/ThrownMessage.h"
#include "support/Unprivileged.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using project_testing::Describe;
using project_testing::Projects;
using project_testing::WithVersion;

constexpr int32_t kFixtureVersion = 2010015;  // 2.1.0.15, as the fixtures are written

std::string Bytes(const TMemoryStream& s) { return std::string(s.Data().begin(), s.Data().end()); }

TProject Read(const std::string& name, int32_t programVersion = kFixtureVersion) {
  TMemoryStream stream = Projects().Stream(name);
  return ReadProject(stream, name, programVersion);
}

std::string Written(TProject& project, int32_t version) {
  TMemoryStream out;
  EXPECT_TRUE(WriteProject(out, version, project.View, project.Legend, *project.Root));
  return Bytes(out);
}

std::array<float, 3> Pos(const TGLCoordinates3& c) { return {c.X(), c.Y(), c.Z()}; }

// ------------------------------------------------------------------ the stored layout

class ProjectFileFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
    RegisterProgramClasses();
  }
};

TEST_F(ProjectFileFormat, WriterMatchesTheStoredLayoutByteForByte) {
  TProjectView view;
  view.ModelOffset = {1000.5, 50.25, 2000.75};
  view.CameraPosition = {12.5f, -3.0f, 15000.0f};
  view.ViewDirection = {1, 0, 0};
  TGeologyList legend;
  legend.FindOrAdd("Sand", "Sd", 0x0000FF);
  legend.FindOrAdd("Ton \xE2\x80\x94 gr\xC3\xBCn", "Tn", 0x00FF00);
  legend.FindOrAdd("Kalkstein", "", 0x123456);
  legend.FindOrAdd("", "\xC3\x98", -1);
  TGraphMain root;
  for (const char* name : {"Boreholes", "Sections", "Objects"}) {
    auto group = std::make_unique<TGraphMain>();
    group->SetName(name);
    root.AddChild(std::move(group), false);
  }
  root.GetChild(1)->SetVisible(false);
  root.GetChild(1)->Transparency = 128;
  root.GetChild(2)->AddChild(std::make_unique<TGraphAxis>(), true);

  TMemoryStream out;
  ASSERT_TRUE(WriteProject(out, kFixtureVersion, view, legend, root));
  EXPECT_EQ(Bytes(out), Projects().Bytes("current.q3d"));
}

TEST_F(ProjectFileFormat, ReadingAndWritingAgainGivesTheSameBytes) {
  // (The expanded marks of rich_tree.q3d need a window's tree: see ProjectWindow.)
  for (const char* name : {"current.q3d", "current_empty_legend.q3d"}) {
    SCOPED_TRACE(name);
    TProject project = Read(name);
    EXPECT_EQ(Written(project, kFixtureVersion), Projects().Bytes(name));
  }
}

TEST_F(ProjectFileFormat, ReaderTakesTheViewTheLegendAndTheTree) {
  TProject project = Read("current.q3d");
  EXPECT_EQ(project.Version, kFixtureVersion);
  EXPECT_FALSE(project.View.Legacy);
  EXPECT_EQ(project.View.ModelOffset, (std::array<double, 3>{1000.5, 50.25, 2000.75}));
  EXPECT_EQ(project.View.CameraPosition.z, 15000.0f);
  EXPECT_EQ(project.View.CameraPosition.y, -3.0f);
  EXPECT_EQ(project.View.ViewDirection.x, 1.0f);
  ASSERT_EQ(project.Legend.Count(), 4);
  EXPECT_EQ(project.Legend.Entry(1).FullName, "Ton \xE2\x80\x94 gr\xC3\xBCn");
  EXPECT_EQ(Describe(*project.Root), "{Boreholes -Sections Objects{Axis}}");
  EXPECT_EQ(project.Root->GetChild(2)->GetChild(0)->TypeId, GraphTypeId::Axis);
}

TEST_F(ProjectFileFormat, ANewerLegendIsSkippedAndTheTreeStillRead) {
  TProject project = Read("legend_newer.q3d");
  EXPECT_EQ(project.Legend.Count(), 0);
  EXPECT_EQ(Describe(*project.Root), "{Boreholes -Sections Objects{Axis}}");
}

// The last of the four version numbers does not count.
struct TVersionCase {
  int32_t File;
  int32_t Program;
  bool TooNew;
};

TEST_F(ProjectFileFormat, VersionTestIgnoresTheLastNumber) {
  const TVersionCase cases[] = {
      {2010015, 2010003, false},  // 2.1.0.15 opened by 2.1.0.3
      {2020000, 2010015, true},   // 2.2.0.0 opened by 2.1.0.15
      {2010099, 2010000, false},
      {2010100, 2010099, true},
      {2000000, 2010015, false},
      {4, 1000000, false},
  };
  for (const TVersionCase& c : cases) {
    SCOPED_TRACE(c.File);
    EXPECT_EQ(IsProjectTooNew(c.File, c.Program), c.TooNew);
    const std::string bytes = WithVersion(Projects().Bytes("current.q3d"), c.File);
    TMemoryStream patched(bytes.data(), bytes.size());
    if (c.TooNew) {
      try {
        ReadProject(patched, "dir/new.q3d", c.Program);
        ADD_FAILURE() << "read a newer project";
      } catch (const EProjectTooNew& e) {
        EXPECT_EQ(e.FileVersion, c.File);
      }
    } else if (c.File > kLastLegacyProjectVersion) {
      EXPECT_NO_THROW(ReadProject(patched, "dir/new.q3d", c.Program));
    }
  }
}

// Damaged, short and unreadable files: refused whole, with the system's message, with
// the memory there is and with none (where the open's count skips every object). One
// case a file, so that they spread over the test shards.
constexpr const char* kDamagedFiles[] = {
    "bad_signature.q3d", "cut_in_tree.q3d", "cut_in_view.q3d", "cut_in_header.q3d", "end_beyond_file.q3d",
    "tree_count_huge.q3d", "root_newer.q3d", "legacy_v3_count_huge.q3d", "legacy_v3_cut.q3d",
    "direction_infinite.q3d", "camera_nan.q3d", "offset_infinite.q3d", "legacy_v4_distance_nan.q3d",
    // A record's chunk that ends in the middle of a text or name.
    "label_text_past_end.q3d", "legacy_v3_borehole_name_past_end.q3d", "legacy_v3_section_name_past_end.q3d",
    "legacy_v2_surface_name_past_end.q3d",
    // A borehole's chunk too short for its magic: no other record, as every kind's.
    "borehole_chunk_empty.q3d",
    // A palette whose fields run past its chunk, in a section an open skips for memory too.
    "section_palette_cut.q3d",
    // A length that passes its chunk's end, not the file's, over 8 MB behind: at each
    // chunk a reader bounds, found before its string or array is made.
    "bound_kind_chunk.q3d", "bound_common_chunk.q3d", "bound_section.q3d", "bound_legacy_section.q3d",
    "bound_legacy_borehole.q3d", "bound_legacy_v2_surface.q3d", "bound_legacy_v3_surface.q3d",
    "bound_palette.q3d", "bound_geology.q3d",
    // A chunk whose end lies past its parent's, with stops that reach between the two.
    "bound_nested_past_parent.q3d"};

class ProjectFileDamaged : public ProjectFileFormat, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProjectFileDamaged, DamagedFilesAreRefusedAsInvalidFormat) {
  const char* name = GetParam();
  for (const bool noMemory : {false, true}) {
    SCOPED_TRACE(noMemory ? "with no memory" : "with the memory there is");
    std::optional<TScopedMemoryProbe> probe;
    if (noMemory) probe.emplace([] { return int64_t{0}; });
    const std::string bytes = Projects().Bytes(name);
    TMemoryStream stream(bytes.data(), bytes.size());
#if defined(QIRA_HEAP_HOOKS)
    test::THeapPeak::Start();
#endif
    EXPECT_EQ(
        ThrownMessage<EProjectFileError>([&] { ReadProject(stream, std::string("/x/") + name, kFixtureVersion); }),
        std::string("File ") + name + " has invalid format");
#if defined(QIRA_HEAP_HOOKS)
    EXPECT_LT(test::THeapPeak::Stop(), int64_t{2} << 20);
#endif
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ProjectFileDamaged, ::testing::ValuesIn(kDamagedFiles));

TEST_F(ProjectFileFormat, MissingFileIsNotFound) {
  TScratchFolder folder;
  EXPECT_EQ(ThrownMessage<EProjectFileError>([&] { ReadProjectFile(folder.File("gone.q3d"), kFixtureVersion); }),
            "File gone.q3d not found");
}

TEST_F(ProjectFileFormat, APipeOrFolderIsNamedAsNotARegularFile) {
  TScratchFolder folder;
  ASSERT_EQ(::mkfifo(folder.File("fifo.q3d").c_str(), 0600), 0);
  ASSERT_TRUE(std::filesystem::create_directory(folder.File("dir.q3d")));
  for (const char* name : {"fifo.q3d", "dir.q3d"}) {
    EXPECT_EQ(ThrownMessage<EProjectFileError>([&] { ReadProjectFile(folder.File(name), kFixtureVersion); }),
              std::string("File ") + name + " can not be read: it is not a regular file");
  }
}

// ------------------------------------------------------------------ older layouts

TEST_F(ProjectFileFormat, Version3OpensWithTheFixedGroupsAndTheAxisFirstInObjects) {
  TProject project = Read("legacy_v3.q3d");
  EXPECT_TRUE(project.View.Legacy);
  // Survey order X, Y, Z stored in scene order X, Z, Y.
  EXPECT_EQ(project.View.ModelOffset, (std::array<double, 3>{100.0, 30.0, 200.0}));
  EXPECT_EQ(project.View.CameraDistance, 5000.0f);
  EXPECT_EQ(project.Legend.Count(), 2);
  // Boreholes sorted; sections (stored hidden) in the group of their pair, by
  // descending frequency; a second section of a frequency the group holds gets a
  // group of its own, sorted in before the first; the three-chunk surfaces unsorted
  // behind the (hidden) axis.
  EXPECT_EQ(Describe(*project.Root),
            "{Boreholes{Alpha Zeta} Sections{B-1 - B 2{-12.5 kHz} B-1 - B 2{-25 kHz -12.5 kHz} C - D{-5 kHz}} "
            "Objects{-Axis Surface B Surface A}}");
  const auto* axis = dynamic_cast<const TGraphAxis*>(project.Root->GetChild(2)->GetChild(0));
  ASSERT_NE(axis, nullptr);
  EXPECT_EQ(axis->AxisLength, 150.5f);

  // Many boreholes in a scattered order, each once placed by a walk along those before
  // (read whatever the machine's memory: their order is what is looked at).
  const TScopedMemoryProbe plenty([] { return int64_t{1} << 40; });
  TProject many = Read("legacy_v3_many_boreholes.q3d");
  const TGraphMain& boreholes = *many.Root->GetChild(0);
  ASSERT_GT(boreholes.ChildCount(), 2);
  EXPECT_EQ(boreholes.GetChild(0)->Name(), "B000000");
  int unordered = 0;
  for (int i = 1; i < boreholes.ChildCount(); ++i)
    if (!(boreholes.GetChild(i - 1)->Name() < boreholes.GetChild(i)->Name())) ++unordered;
  EXPECT_EQ(unordered, 0);

  // Many sections of one pair, and many pairs, in a scattered order: each once put
  // into its group, not by a search of the whole tree and a walk along the group.
  TProject sections = Read("legacy_v3_many_sections.q3d");
  const TGraphMain& groups = *sections.Root->GetChild(1);
  ASSERT_EQ(groups.ChildCount(), 40010);
  const TGraphMain& pair = *groups.GetChild(0);
  EXPECT_EQ(pair.Name(), "B-1 - B 2");
  ASSERT_EQ(pair.ChildCount(), 40009);
  EXPECT_EQ(pair.GetChild(0)->Name(), "40.008 kHz");
  int descending = 0, shown = 0;
  for (int i = 1; i < pair.ChildCount(); ++i)
    if (pair.GetChild(i - 1)->SortFrequency() > pair.GetChild(i)->SortFrequency()) ++descending;
  for (int i = 0; i < pair.ChildCount(); ++i) shown += pair.GetChild(i)->Visible() ? 1 : 0;
  EXPECT_EQ(descending, 40008);
  EXPECT_EQ(shown, 0);  // stored hidden
  EXPECT_EQ(groups.GetChild(1)->Name(), "P000000 - Q");
  EXPECT_EQ(groups.GetChild(40009)->Name(), "P040008 - Q");
}

TEST_F(ProjectFileFormat, Version2ReadsTheOneChunkSurfaces) {
  TProject project = Read("legacy_v2.q3d");
  EXPECT_EQ(Describe(*project.Root->GetChild(2)), "Objects{-Axis Surface B Surface A}");
  EXPECT_EQ(project.Root->GetChild(2)->GetChild(1)->Transparency, 200);
}

TEST_F(ProjectFileFormat, Version1HasNoSurfacesAndVersion4NoObjects) {
  TProject v1 = Read("legacy_v1.q3d");
  EXPECT_EQ(Describe(*v1.Root->GetChild(2)), "Objects{-Axis}");
  EXPECT_EQ(v1.Root->ChildCount(), 3);
  TProject v4 = Read("legacy_v4.q3d");
  EXPECT_EQ(v4.Root->ChildCount(), 0);
  EXPECT_EQ(v4.Legend.Count(), 2);
  EXPECT_EQ(v4.View.CameraDistance, 5000.0f);
}

// ------------------------------------------------------------------ through a view window

class ProjectWindow : public view_testing::TViewWindowTest {
 protected:
  void SetUp() override {
    view_testing::TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    SetRecentFileSink([this](const std::string& path) { recent_.push_back(path); });
    SetFileVersionDialog([this](QWidget*, const std::string& path, int32_t version) {
      dialogs_.push_back(path + " " + VersionToText(version));
    });
  }
  void TearDown() override {
    SetRecentFileSink(nullptr);
    SetFileVersionDialog(nullptr);
    view_testing::TViewWindowTest::TearDown();
  }

  // The fixture as this program's own version wrote it, in the scratch folder.
  std::string Put(const std::string& fixture, int32_t version = GetProgramVersion()) {
    scratch_.Put(fixture, WithVersion(Projects().Bytes(fixture), version));
    return scratch_.File(fixture);
  }

  std::vector<std::string> recent_;
  std::vector<std::string> dialogs_;
};

TEST_F(ProjectWindow, OpeningFillsTheWindowFromTheFile) {
  const std::string path = Put("current.q3d");
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, path));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Describe(form->Root()), "{Boreholes -Sections Objects{Axis}}");
  EXPECT_EQ(form->TreeView->topLevelItemCount(), 3);
  EXPECT_EQ(form->Context().ModelOffset, (std::array<double, 3>{1000.5, 50.25, 2000.75}));
  EXPECT_EQ(Pos(form->Camera->Position()), (std::array<float, 3>{12.5f, -3.0f, 15000.0f}));
  EXPECT_EQ(Pos(form->AxisCube->Direction()), (std::array<float, 3>{1, 0, 0}));
  // The light is not stored: it stays where the new window put it.
  EXPECT_EQ(Pos(form->LightSource->Position()), (std::array<float, 3>{2000, 2000, 2000}));
  EXPECT_EQ(form->GeologyList().Count(), 4);
  EXPECT_EQ(form->FileName(), path);
  EXPECT_EQ(form->CaptionText(), "current.q3d");
  EXPECT_EQ(recent_, std::vector<std::string>{path});
  EXPECT_TRUE(IgnoreNextMouseMove);
  EXPECT_TRUE(services_.Messages.empty());
}

TEST_F(ProjectWindow, OlderFileSetsCameraDistanceAndLight) {
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, Put("legacy_v3.q3d", 3)));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Pos(form->Camera->Position()), (std::array<float, 3>{0, 0, 5000}));
  EXPECT_EQ(Pos(form->LightSource->Position()), (std::array<float, 3>{500, 500, 500}));
  std::vector<std::string> top;
  for (int i = 0; i < form->TreeView->topLevelItemCount(); ++i)
    top.push_back(TFormattedTreeView::NodeText(form->TreeView->topLevelItem(i)));
  EXPECT_EQ(top, (std::vector<std::string>{"Boreholes", "Sections", "Objects"}));
}

TEST_F(ProjectWindow, DamagedFileShowsTheMessageAndLeavesNoWindow) {
  QMdiArea area;
  for (const char* name : {"cut_in_tree.q3d", "root_newer.q3d", "legacy_v3_cut.q3d"}) {
    SCOPED_TRACE(name);
    services_.Messages.clear();
    EXPECT_EQ(CreateFromFile(&area, Put(name)), nullptr);
    EXPECT_TRUE(area.subWindowList().isEmpty());
    ASSERT_EQ(services_.Messages.size(), 1u);
    EXPECT_EQ(services_.Messages[0].Text, std::string("File ") + name + " has invalid format");
    EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error);
  }
  EXPECT_TRUE(recent_.empty());
}

// What opening takes is counted as the file is read: a project the memory cannot
// hold is refused whole, in the memory wording, and what the refused reading holds
// stays within the memory there was; one that fits opens. The memory is given as
// what the new window's view takes (at the window's size, or the screen's when it is
// taken full screen at once) and a little more, so that each object's cost matters.
TEST_F(ProjectWindow, AProjectTheMemoryCannotHoldIsRefusedWithNothingOpened) {
  struct TCase {
    const char* Name;
    int32_t Version;
    bool FullScreen;     // taken full screen at once
    bool ScreensView;    // the memory given beside the screen's view, else the window's
    int64_t BesideTheView;
    bool Opens;
  };
  constexpr int64_t KB = 1024, MB = 1024 * KB;
  const TCase cases[] = {
      {"legacy_v3_many_boreholes.q3d", 3, false, false, 4 * MB, false},
      {"legacy_v3_many_sections.q3d", 3, false, false, 4 * MB, false},
      {"legacy_v3_many_boreholes.q3d", 3, true, true, 4 * MB, false},
      // Its six groups need more than 4 KB besides the new window.
      {"rich_tree.q3d", GetProgramVersion(), false, false, 4 * KB, false},
      {"rich_tree.q3d", GetProgramVersion(), false, false, 1 * MB, true},
      // Full screen, the screen's view is counted, not the window's.
      {"rich_tree.q3d", GetProgramVersion(), true, false, 1 * MB, false},
      {"rich_tree.q3d", GetProgramVersion(), true, true, 1 * MB, true},
      // The first of its objects passes the count: the others are read, not kept.
      {"eight_large_points.q3d", GetProgramVersion(), false, false, 4 * KB, false},
  };
  QMdiArea area;
  area.resize(1000, 800);
  const auto viewBytes = [&area](bool fullScreen) {
    auto* sizing = new TForm3D(&area);
    const int64_t bytes = NewWindowDrawBytes(*sizing, fullScreen);
    delete sizing->FrameWidget();
    return bytes;
  };
  const int64_t window = viewBytes(false);
  const int64_t screen = viewBytes(true);
  ASSERT_GT(screen, window + 2 * MB);
  // A window the settings make larger counts its larger view, as far as the screen
  // (800 x 600 offscreen) lets it be larger.
  WriteSetting(SettingKeys::FormWidth, 1200);
  WriteSetting(SettingKeys::FormHeight, 900);
  EXPECT_GT(viewBytes(false), window + 4 * MB);
  WriteSetting(SettingKeys::Maximized, true);
  EXPECT_GT(viewBytes(false), window);
  LoadSettings(scratch_.File("QIRA3D-fresh.ini"), scratch_.Path());
  ASSERT_EQ(viewBytes(false), window);
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + (c.FullScreen ? ", full screen" : ""));
    services_.Messages.clear();
    recent_.clear();
    const int64_t available = (c.ScreensView ? screen : window) + c.BesideTheView;
    const TScopedMemoryProbe probe([available] { return available; });
    const std::string path = Put(c.Name, c.Version);
#if defined(QIRA_HEAP_HOOKS)
    test::THeapPeak::Start();
#endif
    TForm3D* form = CreateFromFile(&area, path, c.FullScreen);
#if defined(QIRA_HEAP_HOOKS)
    const int64_t peak = test::THeapPeak::Stop();
    // A refused reading keeps nothing past the memory there was (the window aside,
    // which is made first: a few megabytes).
    if (!c.Opens) {
      EXPECT_LT(peak, c.BesideTheView + 8 * MB);
    }
#endif
    EXPECT_EQ(form != nullptr, c.Opens);
    EXPECT_EQ(area.subWindowList().size(), c.Opens ? 1 : 0);
    if (c.Opens) {
      EXPECT_TRUE(services_.Messages.empty());
      delete form->FrameWidget();
      continue;
    }
    ASSERT_EQ(services_.Messages.size(), 1u);
    const std::string& text = services_.Messages[0].Text;
    const std::string shown = std::to_string(available >> 20) + " MB available now.";
    EXPECT_EQ(text.rfind("The file \"" + path + "\" is too large to be read: it needs ", 0), 0u) << text;
    EXPECT_TRUE(text.ends_with("more than the " + shown)) << text;
    EXPECT_TRUE(recent_.empty());
  }
#if defined(QIRA_HEAP_HOOKS)
  // One object whose fields alone pass the memory there is (12 MB stored against 4)
  // is refused before they are read into it: loading it could not be survived.
  const std::string larger = Put("one_larger_points.q3d");
  const TScopedMemoryProbe probe([] { return 4 * MB; });
  test::THeapPeak::Start();
  EXPECT_THROW(ReadProjectFile(larger, GetProgramVersion()), EProjectFileError);
  EXPECT_LT(test::THeapPeak::Stop(), 4 * MB);
  // So is a section whose grid alone passes it (200 x 200 values against 128 KB).
  {
    const std::string section = Put("large_section.q3d");
    const TScopedMemoryProbe little([] { return 128 * KB; });
    test::THeapPeak::Start();
    EXPECT_THROW(ReadProjectFile(section, GetProgramVersion()), EProjectFileError);
    EXPECT_LT(test::THeapPeak::Stop(), 200 * 200 * 8);
  }
  // And an object's name (2 MB against 512 KB), read before its kind's fields.
  {
    const std::string named = Put("long_name_points.q3d");
    const TScopedMemoryProbe little([] { return 512 * KB; });
    test::THeapPeak::Start();
    EXPECT_THROW(ReadProjectFile(named, GetProgramVersion()), EProjectFileError);
    EXPECT_LT(test::THeapPeak::Stop(), 2 * MB);
  }
  // And one large object of each kind given a fifth more than its fields store (a label
  // a fifth of them more than it holds opened: its reading holds the stored text beside
  // that): read, it would hold more (a surface's faces are a heap block each, every
  // other kind's elements are drawn), so it is weighed at that and skipped before its
  // arrays are made.
  const struct {
    const char* Name;
    int32_t Version;
    bool BesideOpened = false;
  } kinds[] = {
      {"large_surface.q3d", GetProgramVersion()}, {"legacy_v2_large_surface.q3d", 2},
      {"legacy_v3_large_surface.q3d", 3}, {"large_label.q3d", GetProgramVersion(), true},
      {"large_section.q3d", GetProgramVersion()}, {"legacy_v3_large_section.q3d", 3},
      {"large_points.q3d", GetProgramVersion()}, {"many_spheres.q3d", GetProgramVersion()},
      {"legacy_v3_large_borehole.q3d", 3}, {"large_lines.q3d", GetProgramVersion()},
      {"large_polyline.q3d", GetProgramVersion()}, {"large_planes.q3d", GetProgramVersion()},
      // A long name (4 MB) read with its conversion beside it; many stops (5 MB), kept
      // twice as the section is coloured.
      {"long_name_section.q3d", GetProgramVersion()}, {"legacy_v3_long_name_section.q3d", 3},
      {"legacy_v2_long_name_surface.q3d", 2}, {"legacy_v3_long_name_borehole.q3d", 3},
      {"many_stops_section.q3d", GetProgramVersion()},
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.Name);
    const std::string path = Put(kind.Name, kind.Version);
    const int64_t stored = static_cast<int64_t>(std::filesystem::file_size(path));
    const int64_t opened =
        kind.BesideOpened ? ReadProjectFile(path, GetProgramVersion()).Root->GetChild(0)->OpenedBytes() : stored;
    const TScopedMemoryProbe little([=] { return opened + stored / 5; });
    test::THeapPeak::Start();
    EXPECT_THROW(ReadProjectFile(path, GetProgramVersion()), EProjectFileError);
    EXPECT_LT(test::THeapPeak::Stop(), stored / 2);
  }
  // What is made of what was read is weighed too: a name's copies (the object's name
  // and its key, a legend entry's key), given room for the name read beside its
  // conversion but not for its copies; the entries of a legend and their index, given
  // three times what they store. Each is refused, the heap never past what was given,
  // and read whole at the need it told and 5 % more.
  constexpr int64_t kLongName = 4 << 20;  // the fixtures' long names
  const struct {
    const char* Name;
    int64_t Given;  // 0: three times the file
  } copies[] = {
      {"long_name_group.q3d", kLongName * 5 / 2},
      {"long_name_borehole.q3d", kLongName * 5 / 2},
      {"long_name_legend.q3d", kLongName * 5 / 2},
      {"many_empty_legend.q3d", 0},
  };
  for (const auto& c : copies) {
    SCOPED_TRACE(c.Name);
    const std::string path = Put(c.Name);
    const int64_t given = c.Given > 0 ? c.Given : 3 * static_cast<int64_t>(std::filesystem::file_size(path));
    int64_t told = 0;
    {
      const TScopedMemoryProbe little([given] { return given; });
      test::THeapPeak::Start();
      try {
        (void)ReadProjectFile(path, GetProgramVersion());
        ADD_FAILURE() << "read whole";
      } catch (const EProjectFileError& error) {
        const std::string text = error.what();
        const size_t at = text.find("it needs ");
        ASSERT_NE(at, std::string::npos) << text;
        told = std::stoll(text.substr(at + 9));
      }
      EXPECT_LT(test::THeapPeak::Stop(), given);
    }
    const int64_t enough = (told << 20) + (told << 20) / 20;
    const TScopedMemoryProbe probe([enough] { return enough; });
    EXPECT_NO_THROW((void)ReadProjectFile(path, GetProgramVersion())) << told << " MB told";
  }
#endif
}

struct TOpenCountCase {
  const char* Name;
  int32_t Version;
  // The band's top. A section's bins are most of its need, and what the renderer
  // holds of them depends on how far its threads are behind: on a busy machine the
  // frame's own thread may draw them at once, which leaves about half (measured
  // 2.2 times below the count, as with no rasterizer threads at all).
  double Most = 1.5;
  // The memory its reading's count is taken with (0: the open's, with 4 MB): below a
  // large object's stored fields, the object is skipped, and the need told is still
  // what it takes opened.
  int64_t Given = 0;
};
inline constexpr int64_t kBelowTheFields = 128 << 10;
// Below the fields of each of many small objects: every one is skipped.
inline constexpr int64_t kBelowEachObject = 16;

// The rows: each fixture whole, and with its large object skipped by its reading.
std::vector<TOpenCountCase> OpenCountCases() {
  return {
      {"legacy_v3_10k_boreholes.q3d", 3},
      {"legacy_v3_10k_sections.q3d", 3},
      {"large_section.q3d", GetProgramVersion(), 2.5},
      {"large_points.q3d", GetProgramVersion()},
      {"large_square_points.q3d", GetProgramVersion()},
      {"large_surface.q3d", GetProgramVersion()},
      // Counted as if no corner were shared: the shapes that share none take that (what
      // they are measured to hold is the row's point, not how far under their count).
      {"scattered_surface.q3d", GetProgramVersion(), 2.5},
      {"coloured_surface.q3d", GetProgramVersion(), 2.5},
      // Each sphere's list counted at what the largest lists keep of a vertex its draw
      // sends (36 B), where lists of 24 slices share the driver's blocks at about 22 B
      // (1.5 to 1.9 times below the count, by how far the renderer keeps pace).
      {"large_spheres.q3d", GetProgramVersion(), 2.0},
      // Each sphere's strips send the inner rows of its grid twice.
      {"spheres_of_many_slices.q3d", GetProgramVersion()},
      {"legacy_v3_10k_boreholes.q3d", 3, 1.5, kBelowEachObject},
      {"legacy_v3_10k_sections.q3d", 3, 1.5, kBelowEachObject},
      {"large_section.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      {"large_points.q3d", GetProgramVersion(), 1.5, kBelowTheFields},
      // Its bins a small share of its need: what the points hold and draw is the most.
      {"large_square_points.q3d", GetProgramVersion(), 1.5, kBelowTheFields},
      {"large_surface.q3d", GetProgramVersion(), 1.5, kBelowTheFields},
      {"large_spheres.q3d", GetProgramVersion(), 2.0, 16 << 10},  // 24 KB of centres
      // Segments across the view: their bins (8 KB each, measured for 50,000 short
      // ones in the Release driver) are twice what this heap holds of them.
      {"large_lines.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      {"large_polyline.q3d", GetProgramVersion(), 1.5, kBelowTheFields},
      {"large_planes.q3d", GetProgramVersion(), 1.5, kBelowTheFields},
      // Its characters too small to see: what their drawing holds here is half what
      // the count takes for each character drawn.
      {"large_label.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      {"long_labels.q3d", GetProgramVersion(), 2.5},
      {"scattered_surface.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      // Many points, for what they hold read. Its pipe's segments across the view: as
      // the lines', their bins are about twice what this heap holds of them (2.3 times
      // the take measured; 3.8 where the renderer's threads drew the bins as they came).
      {"legacy_v3_large_borehole.q3d", 3, 4.0, kBelowTheFields},
      // A long name, read beside its conversion, and many stops, coloured from a copy.
      {"long_name_section.q3d", GetProgramVersion(), 2.5},
      {"legacy_v3_long_name_section.q3d", 3, 2.5},
      {"legacy_v2_long_name_surface.q3d", 2, 2.5},
      {"legacy_v3_long_name_borehole.q3d", 3, 2.5},
      {"many_stops_section.q3d", GetProgramVersion(), 2.5},
      {"long_name_section.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      {"legacy_v3_long_name_section.q3d", 3, 2.5, kBelowTheFields},
      {"legacy_v2_long_name_surface.q3d", 2, 2.5, kBelowTheFields},
      {"legacy_v3_long_name_borehole.q3d", 3, 2.5, kBelowTheFields},
      {"many_stops_section.q3d", GetProgramVersion(), 2.5, kBelowTheFields},
      // A name's copies: an object's name and key, read beside the name's conversion.
      {"long_name_group.q3d", GetProgramVersion(), 2.5},
      {"long_name_borehole.q3d", GetProgramVersion(), 2.5},
  };
}

// The fixtures of the open's count, in the order the rows first name them: one case a
// fixture (its rows, whole and skipped), so that they spread over the test shards.
constexpr const char* kOpenCountFixtures[] = {
    "legacy_v3_10k_boreholes.q3d",
    "legacy_v3_10k_sections.q3d",
    "large_section.q3d",
    "large_points.q3d",
    "large_square_points.q3d",
    "large_surface.q3d",
    "scattered_surface.q3d",
    "coloured_surface.q3d",
    "large_spheres.q3d",
    "spheres_of_many_slices.q3d",
    "large_lines.q3d",
    "large_polyline.q3d",
    "large_planes.q3d",
    "large_label.q3d",
    "long_labels.q3d",
    "legacy_v3_large_borehole.q3d",
    "long_name_section.q3d",
    "legacy_v3_long_name_section.q3d",
    "legacy_v2_long_name_surface.q3d",
    "legacy_v3_long_name_borehole.q3d",
    "many_stops_section.q3d",
    "long_name_group.q3d",
    "long_name_borehole.q3d"};

TEST(ProjectOpenCount, EveryFixtureOfTheRowsRuns) {
  std::vector<std::string> fixtures;
  for (const TOpenCountCase& c : OpenCountCases())
    if (std::find(fixtures.begin(), fixtures.end(), c.Name) == fixtures.end()) fixtures.emplace_back(c.Name);
  test::ExpectEveryRowListed(fixtures, [](const std::string& name) { return name; }, kOpenCountFixtures);
}

class ProjectWindowOpenCount : public ProjectWindow, public ::testing::WithParamInterface<const char*> {};

// The count of an open against what opening the project and drawing its first frame
// take on the heap (the driver's lists and bins included), beside a project of a few
// groups, so that the window and its view drop out: each kind's cost is checked
// against what its objects are measured to take, many small objects and one large
// one whose elements fill the view (each of its costs, bins and all, a share of the
// count that the band would miss).
TEST_P(ProjectWindowOpenCount, TheCountOfAnOpenCoversWhatOpeningAndTheFirstFrameTake) {
#if !defined(QIRA_HEAP_HOOKS)
  GTEST_SKIP() << "the heap is counted in sanitized builds";
#else
  // The count, in whole megabytes, as the refusal tells it (the memory given is what
  // the window takes before the file is read, far below what the file needs).
  const auto counted = [this](const std::string& path) -> int64_t {
    services_.Messages.clear();
    const TScopedMemoryProbe little([] { return int64_t{4} << 20; });
    EXPECT_EQ(CreateFromFile(nullptr, path), nullptr);
    if (services_.Messages.size() != 1) return 0;
    const std::string& text = services_.Messages[0].Text;
    const size_t at = text.find("it needs ");
    return at == std::string::npos ? 0 : std::stoll(text.substr(at + 9));
  };
  // The need a refused reading tells with that memory, the window aside (a window is
  // not made with less than a few MB).
  const auto readCounted = [](const std::string& path, int64_t given) -> int64_t {
    const TScopedMemoryProbe little([given] { return given; });
    try {
      (void)ReadProjectFile(path, GetProgramVersion());
    } catch (const EProjectFileError& error) {
      const std::string text = error.what();
      const size_t at = text.find("it needs ");
      return at == std::string::npos ? 0 : std::stoll(text.substr(at + 9));
    }
    return 0;
  };
  // The heap's peak while the project opens into a new window and its view is drawn
  // once, at 800 x 600, with the window's buffer; with the memory its refusal told and
  // 5 % more, so that the frame waits at the stretch that room gives, as the count
  // takes it (with the machine's room it may queue more, having room for it).
  const auto measured = [&counted](const std::string& path) -> int64_t {
    const int64_t room = (counted(path) << 20) / 20 * 21;
    const TScopedMemoryProbe told([room] { return room; });
    test::THeapPeak::Start();
    std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, path));
    EXPECT_NE(form, nullptr);
    if (form) {
      TGLMemoryViewer view;
      view.SetBuffer(&form->GL3DSceneViewer1->Buffer());
      view.SetWidth(800);
      view.SetHeight(600);
      view.SetCamera(form->Camera);
      view.Render();
      TGLContext& context = *view.Buffer().RenderingContext();
      context.Activate();
      glFinish();
      context.Deactivate();
    }
    return test::THeapPeak::Stop();
  };
  // What the objects read hold before anything is built: on the heap, and by the
  // count (what each object takes opened, its drawing aside). What a section or a
  // point set holds is a small share of its count beside its drawing, so it is
  // weighed on its own, down to 0.9 of it: each object's base is one weight for the
  // object and its tree node (made later, by the window), a few KB off what the
  // object alone holds here.
  struct THeld {
    int64_t Measured;
    int64_t Counted = 0;
  };
  const auto held = [](const std::string& path) {
    test::THeapPeak::Start();
    TProject project = ReadProjectFile(path, GetProgramVersion());
    THeld read{test::THeapPeak::Held()};
    test::THeapPeak::Stop();
    const std::function<void(const TGraphMain&)> add = [&](const TGraphMain& object) {
      read.Counted += object.OpenedBytes() - object.DrawnBytes();
      for (int i = 0; i < object.ChildCount(); ++i) add(*object.GetChild(i));
    };
    add(*project.Root);
    return read;
  };
  const std::vector<TOpenCountCase> cases = OpenCountCases();
  const std::string beside = Put("current.q3d");
  // What a first window and frame leave behind (the driver's compiled states) is not
  // any project's own.
  (void)measured(beside);
  const int64_t besideMeasured = measured(beside);
  const int64_t besideCounted = counted(beside);
  const THeld besideHeld = held(beside);
  // A fixture's rows share what it is measured to take.
  std::map<std::string, int64_t> tookOf;
  std::map<std::string, THeld> heldOf;
  for (const TOpenCountCase& c : cases) {
    if (c.Name != std::string(GetParam())) continue;
    SCOPED_TRACE(std::string(c.Name) + (c.Given > 0 ? ", skipped" : ""));
    const std::string path = Put(c.Name, c.Version);
    const int64_t readTold = c.Given > 0 ? readCounted(path, c.Given) : 0;
    const int64_t told = c.Given > 0 ? readTold - readCounted(beside, 0) + besideCounted : counted(path);
    const double count = static_cast<double>(told - besideCounted) * (1 << 20);
    if (!tookOf.contains(c.Name)) tookOf[c.Name] = measured(path);
    // Where the renderer's threads draw a frame's bins as they come (a busy machine),
    // less is held than where they wait: the take is the most of a few frames.
    for (int again = 0; again < 2 && count > c.Most * static_cast<double>(tookOf[c.Name] - besideMeasured); ++again)
      tookOf[c.Name] = std::max(tookOf[c.Name], measured(path));
    const double took = static_cast<double>(tookOf[c.Name] - besideMeasured);
    ASSERT_GT(took, 0);
    EXPECT_GE(count / took, 1.0) << count << " counted, " << took << " measured";
    EXPECT_LE(count / took, c.Most) << count << " counted, " << took << " measured";
    if (c.Given > 0) {
      // The reading alone, at the need it told and 5 % more, reads the project: the
      // skipped objects were told at what they take opened, not in part (in the open's
      // need the window's share would hide a short one; the whole rows check that share).
      const int64_t enough = (readTold << 20) + (readTold << 20) / 20;
      const TScopedMemoryProbe probe([enough] { return enough; });
      EXPECT_NO_THROW((void)ReadProjectFile(path, GetProgramVersion())) << readTold << " MB told by the reading";
    } else {
      // At the need told and 5 % more, it opens.
      const int64_t enough = (told << 20) + (told << 20) / 20;
      const TScopedMemoryProbe probe([enough] { return enough; });
      std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, path));
      EXPECT_NE(form, nullptr) << told << " MB told";
    }
    if (!heldOf.contains(c.Name)) heldOf.emplace(c.Name, held(path));
    const THeld& read = heldOf.at(c.Name);
    const double heldCount = static_cast<double>(read.Counted - besideHeld.Counted);
    const double heldTook = static_cast<double>(read.Measured - besideHeld.Measured);
    ASSERT_GT(heldTook, 0);
    EXPECT_GE(heldCount / heldTook, 0.9) << heldCount << " counted, " << heldTook << " held";
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProjectWindowOpenCount, ::testing::ValuesIn(kOpenCountFixtures));

TEST_F(ProjectWindow, MissingFileAndWrongSignatureGiveTheirMessages) {
  EXPECT_EQ(CreateFromFile(nullptr, scratch_.File("none.q3d")), nullptr);
  EXPECT_EQ(CreateFromFile(nullptr, Put("bad_signature.q3d")), nullptr);
  EXPECT_EQ(services_.Texts(),
            (std::vector<std::string>{"File none.q3d not found", "File bad_signature.q3d has invalid format"}));
}

TEST_F(ProjectWindow, NewerFileOpensTheUpdateDialogInsteadOfAWindow) {
  QMdiArea area;
  const int32_t program = GetProgramVersion();
  const int32_t newer = (program / 100 + 1) * 100;
  EXPECT_EQ(CreateFromFile(&area, Put("current.q3d", newer)), nullptr);
  EXPECT_TRUE(area.subWindowList().isEmpty());
  EXPECT_EQ(dialogs_, std::vector<std::string>{scratch_.File("current.q3d") + " " + VersionToText(newer)});
  EXPECT_TRUE(services_.Messages.empty());

  // The same version without its last number loads.
  TForm3D* form = CreateFromFile(&area, Put("current.q3d", program / 100 * 100 + 99));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(area.subWindowList().size(), 1);
}

// The users' projects come from 2.1.0.15; this program opens every 2.1 file and
// sends 2.2 and later to the update dialog.
TEST_F(ProjectWindow, FilesOfVersion21OpenAndLaterOnesGetTheUpdateDialog) {
  QMdiArea area;
  for (int32_t version : {2000000, 2010000, 2010015, 2010099}) {
    SCOPED_TRACE(version);
    EXPECT_NE(CreateFromFile(&area, Put("current.q3d", version)), nullptr);
  }
  for (int32_t version : {2020000, 3000000}) {
    SCOPED_TRACE(version);
    EXPECT_EQ(CreateFromFile(&area, Put("current.q3d", version)), nullptr);
  }
  EXPECT_EQ(dialogs_.size(), 2u);
  EXPECT_TRUE(services_.Messages.empty());
}

TEST_F(ProjectWindow, FailedLoadLeavesTheWindowAsItWas) {
  auto form = NewDocument();
  const std::string before = Describe(form->Root());
  EXPECT_FALSE(LoadProject(*form, Put("cut_in_tree.q3d")));
  EXPECT_EQ(Describe(form->Root()), before);
  EXPECT_EQ(form->TreeView->topLevelItemCount(), 4);
  EXPECT_TRUE(form->FileName().empty());
}

TEST_F(ProjectWindow, SavedProjectLoadsBackWithTheSameTreeViewAndBytes) {
  const std::string original = Put("rich_tree.q3d");
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, original));
  ASSERT_NE(form, nullptr);
  recent_.clear();
  const std::string copy = scratch_.File("copy.q3d");
  ASSERT_TRUE(SaveProject(*form, copy));
  EXPECT_EQ(form->FileName(), copy);
  EXPECT_EQ(recent_, std::vector<std::string>{copy});
  // The expanded marks come from the tree nodes, as loaded.
  EXPECT_EQ(scratch_.Get("copy.q3d"), scratch_.Get("rich_tree.q3d"));

  std::unique_ptr<TForm3D> again(CreateFromFile(nullptr, copy));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Describe(again->Root()), Describe(form->Root()));
}

TEST_F(ProjectWindow, FailedSaveKeepsTheTargetAndTellsTheUser) {
  auto form = NewDocument();
  // A folder where the file should go: the rename over it fails.
  std::filesystem::create_directory(scratch_.File("taken.q3d"));
  EXPECT_FALSE(SaveProject(*form, scratch_.File("taken.q3d")));
  EXPECT_TRUE(std::filesystem::is_directory(scratch_.File("taken.q3d")));
  EXPECT_FALSE(SaveProject(*form, scratch_.File("no/such/folder.q3d")));
  ASSERT_EQ(services_.Messages.size(), 2u);
  EXPECT_EQ(services_.Messages[0].Text.rfind("Cannot create file \"" + scratch_.File("taken.q3d") + "\".", 0), 0u)
      << services_.Messages[0].Text;
  EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error);
  EXPECT_TRUE(form->FileName().empty());
  EXPECT_TRUE(recent_.empty());
  // No temporary file stays behind.
  std::vector<std::string> entries = scratch_.Entries();
  std::erase(entries, "QIRA3D.ini");
  EXPECT_EQ(entries, std::vector<std::string>{"taken.q3d"});
}

// A save in place (the project has a second name) is done only when the file holds
// it: another program's rename over it meanwhile is told, the window stays modified
// and its next save asks before saving over that program's file. A save in place
// that failed and put the earlier content back leaves the file the window's own:
// the next save asks nothing; unless that content was another program's, saved over
// on the question: the next save asks again.
TEST_F(ProjectWindow, ASaveInPlaceIsDoneOnlyWhenTheFileHoldsItAndAPutBackFileStaysTheWindows) {
  TScratchFolder state;
  TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
  const struct {
    const char* What;
    TSaveStep ReplacedAt;  // ssPuttingBack: not replaced, the disk full instead
    bool NextAsks;
    bool WrittenBefore = false;  // by another program, in place, before the save
  } cases[] = {
      {"a rename at the truncation", TSaveStep::ssTruncated, true},
      {"a rename after the last write", TSaveStep::ssWritten, true},
      {"a full disk, the earlier content put back", TSaveStep::ssPuttingBack, false},
      {"a full disk, another program's content put back", TSaveStep::ssPuttingBack, true, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    auto form = NewDocument();
    const std::string name = "linked" + std::to_string(++n) + ".q3d";
    const std::string path = scratch_.File(name);
    ASSERT_TRUE(SaveProject(*form, path));
    ASSERT_EQ(::link(path.c_str(), (path + ".link").c_str()), 0);
    const bool full = c.ReplacedAt == TSaveStep::ssPuttingBack;
    const std::string others = "what another program saved";
    scratch_.Put("others", others);
    const std::string inPlace = "what another program wrote into it";
    if (c.WrittenBefore) std::ofstream(path, std::ios::binary | std::ios::trunc) << inPlace;
    form->ShiftModel(1, 0, 0);
    services_.Messages.clear();
    services_.BoxAnswers = {TMessageResult::Yes};
    {
      TScopedSaveStep step([&](TSaveStep at, const std::string& target) {
        if (full) SetFileWriteFailureForTesting(at == TSaveStep::ssTruncated ? ENOSPC : 0);
        else if (at == c.ReplacedAt) ::rename(scratch_.File("others").c_str(), target.c_str());
      });
      EXPECT_FALSE(SaveProject(*form, path));
    }
    SetFileWriteFailureForTesting(0);
    services_.BoxAnswers.clear();
    // The question answered Yes, where another program wrote the file.
    ASSERT_EQ(services_.Messages.size(), c.WrittenBefore ? 2u : 1u);
    EXPECT_EQ(services_.Messages.back().Text,
              full ? "Cannot create file \"" + path + "\". No space left on device."
                   : "Cannot create file \"" + path + "\". Another program replaced it while it was being saved.");
    EXPECT_TRUE(form->Modified());
    EXPECT_EQ(scratch_.Get(name) == others, !full);
    if (c.WrittenBefore) EXPECT_EQ(scratch_.Get(name), inPlace);
    services_.Messages.clear();
    services_.BoxAnswers = {TMessageResult::No};
    EXPECT_EQ(SaveProject(*form, path), !c.NextAsks);
    EXPECT_EQ(std::count_if(services_.Messages.begin(), services_.Messages.end(),
                            [&](const auto& m) { return m.Text == ProjectChangedOnDiskText(path); }),
              c.NextAsks ? 1 : 0);
    EXPECT_EQ(form->Modified(), c.NextAsks);
    services_.BoxAnswers.clear();
  }
}

TEST_F(ProjectWindow, AFullDiskOrATreeTooDeepToOpenIsToldWithTheFileAndTheReason) {
  auto form = NewDocument();
  const std::string path = scratch_.File("p.q3d");
  {
    TScopedWriteFailure full(ENOSPC);
    EXPECT_FALSE(SaveProject(*form, path));
  }
  TGraphMain* last = &form->Root();
  for (int level = 1; level <= MaxGraphNesting; ++level) last = last->AddChild(std::make_unique<TGraphMain>(), false);
  EXPECT_FALSE(SaveProject(*form, path));
  ASSERT_EQ(services_.Messages.size(), 2u);
  EXPECT_EQ(services_.Messages[0].Text, "Cannot create file \"" + path + "\". No space left on device.");
  EXPECT_EQ(services_.Messages[1].Text, "Cannot create file \"" + path + "\". " + GraphTreeTooDeepText() + ".");
  EXPECT_FALSE(std::filesystem::exists(path));
  // A read-only project is refused as a writer in place is, and kept.
  auto plain = NewDocument();
  const std::string readOnly = scratch_.File("read-only.q3d");
  scratch_.Put("read-only.q3d", "old");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
  const std::string told = AsUnprivilegedUser(scratch_, [&] {
    const bool saved = SaveProject(*plain, readOnly);
    if (saved || services_.Messages.size() != 3) return std::string("saved, or told nothing");
    std::string text = services_.Messages.back().Text;
    services_.Messages.pop_back();  // told alike whether run here or in a child
    return text;
  });
  EXPECT_EQ(told, "Cannot create file \"" + readOnly + "\". Permission denied.");
  EXPECT_EQ(scratch_.Get("read-only.q3d"), "old");
}

// A text the project file cannot hold (Windows-1252) is named, with its characters,
// before Save or Save as makes anything: No writes nothing and leaves the document
// changed, unnamed and out of the recent list; Yes stores it as the format does,
// each such character as "?". Groups, labels, boreholes, a UTF-8 drawing's layers
// (and the drawing's file name) and the legend all reach it.
TEST_F(ProjectWindow, ASaveNamesTheTextsTheFileCannotHoldBeforeWritingAny) {
  const std::string clay = "\u0413\u043B\u0438\u043D\u0430";  // Глина
  const std::string resistivity = "\u03C1=100 \u03A9\u00B7m";   // ρ=100 Ω·m
  const std::string drawing =
      "  0\nSECTION\n  2\nENTITIES\n"
      "  0\nPOINT\n  8\n" + clay + "\n 10\n1\n 20\n2\n 30\n3\n"
      "  0\nLINE\n  8\n\u041F\u0435\u0441\u043E\u043A\n 10\n0\n 20\n0\n 30\n0\n 11\n1\n 21\n1\n 31\n1\n"
      "  0\nPOINT\n  8\n\u03A9-zone\n 10\n4\n 20\n5\n 30\n6\n  0\nENDSEC\n  0\nEOF\n";
  const struct {
    const char* What;
    std::function<void(TForm3D&)> Add;
    std::vector<std::string> Lines;  // of the question
  } rows[] = {
      {"a group",
       [&](TForm3D& form) { form.Root().AddChild(std::make_unique<TGraphMain>(), false)->SetName(clay + " " + resistivity); },
       {"\u0413 \u043B \u0438 \u043D \u0430 \u03C1 \u03A9 in \"" + clay + " " + resistivity + "\"\n"}},
      {"a label",
       [&](TForm3D& form) {
         auto label = std::make_unique<TGraphLabel>();
         label->SetName("Resistivity");
         label->Params.Text = resistivity;
         form.Root().AddChild(std::move(label), false);
       },
       {"\u03C1 \u03A9 in \"Resistivity\"\n"}},
      {"a borehole",
       [&](TForm3D& form) {
         auto borehole = std::make_unique<TGraphBorehole>();
         borehole->SetName("\u0421\u043A\u0432-1");  // Скв-1, as its .ink file is named
         form.Root().AddChild(std::move(borehole), false);
       },
       {"\u0421 \u043A \u0432 in \"\u0421\u043A\u0432-1\"\n"}},
      {"a drawing's layers and file name",
       [&](TForm3D& form) {
         scratch_.Put("\u0420\u0430\u0437\u0440\u0435\u0437.dxf", drawing);
         services_.FileAnswers.push_back(scratch_.File("\u0420\u0430\u0437\u0440\u0435\u0437.dxf"));
         ASSERT_NE(ObjectsFromDxfClick(form.Root()), nullptr);
       },
       {"\u0420 \u0430 \u0437 \u0440 \u0435 in \"\u0420\u0430\u0437\u0440\u0435\u0437\"\n",
        "\u0413 \u043B \u0438 \u043D \u0430 in \"" + clay + "\"\n",
        "\u041F \u0435 \u0441 \u043E \u043A in \"\u041F\u0435\u0441\u043E\u043A\"\n",
        "\u03A9 in \"\u03A9-zone\"\n"}},
      {"a legend entry", [&](TForm3D& form) { form.GeologyList().FindOrAdd(clay, "Gl", 0); },
       {"\u0413 \u043B \u0438 \u043D \u0430 in legend entry \"" + clay + "\"\n"}},
  };
  const struct {
    const char* What;
    std::function<bool(TForm3D&, const std::string&)> Save;
  } writers[] = {
      {"Save", [](TForm3D& form, const std::string& path) { return SaveProject(form, path); }},
      {"Save as",
       [this](TForm3D& form, const std::string& path) {
         services_.FileAnswers.push_back(path);
         return SaveProjectAs(form);
       }},
  };
  int n = 0;
  for (const auto& row : rows) {
    for (const auto& writer : writers) {
      SCOPED_TRACE(std::string(row.What) + ", " + writer.What);
      auto form = NewDocument();
      row.Add(*form);
      form->SetModified(true);
      const std::string path = scratch_.File("lost" + std::to_string(++n) + ".q3d");
      services_.Messages.clear();
      recent_.clear();
      services_.BoxAnswers = {TMessageResult::No};
      EXPECT_FALSE(writer.Save(*form, path));
      ASSERT_EQ(services_.Messages.size(), 1u);
      const auto& question = services_.Messages[0];
      EXPECT_TRUE(question.IsBox);
      EXPECT_EQ(question.Kind, TMessageKind::Warning);
      EXPECT_EQ(question.Buttons, TMessageButtons::YesNo);
      EXPECT_EQ(question.Text.rfind("The file \"" + path + "\" stores texts in Windows-1252", 0), 0u) << question.Text;
      for (const std::string& line : row.Lines) EXPECT_NE(question.Text.find(line), std::string::npos) << question.Text;
      EXPECT_FALSE(std::filesystem::exists(path));
      EXPECT_TRUE(form->Modified());
      EXPECT_TRUE(form->FileName().empty());
      EXPECT_TRUE(recent_.empty());

      services_.BoxAnswers = {TMessageResult::Yes};
      ASSERT_TRUE(writer.Save(*form, path));
      EXPECT_FALSE(form->Modified());
      EXPECT_EQ(services_.Messages.size(), 2u);
      const TProject saved = ReadProjectFile(path, GetProgramVersion());
      EXPECT_EQ(Describe(*saved.Root), Cp1252ToUtf8(Cp1252Codes(Describe(form->Root()))));
    }
  }
}

TEST_F(ProjectWindow, SaveAsAsksForAProjectName) {
  auto form = NewDocument();
  EXPECT_FALSE(SaveProjectAs(*form));
  ASSERT_EQ(services_.FileCalls.size(), 1u);
  const TFileRequest& request = services_.FileCalls[0].Request;
  EXPECT_TRUE(services_.FileCalls[0].Save);
  EXPECT_EQ(request.DefaultExt, "q3d");
  EXPECT_EQ(request.Filter, "QIRA 3D files (*.q3d)|*.q3d|All files (*.*)|*.*");
  EXPECT_TRUE(request.OverwritePrompt);

  services_.FileAnswers.push_back(scratch_.File("named.q3d"));
  EXPECT_TRUE(SaveProjectAs(*form));
  EXPECT_EQ(form->CaptionText(), "named.q3d");
}

// ------------------------------------------------------------------ the bundled example

TEST_F(ProjectWindow, ExampleOpensWithTheTreeTheScriptWrote) {
  TScratchFolder made;
  ASSERT_TRUE(project_testing::MakeExample(made.Path()));
  // The bundled files are the script's output.
  for (const char* name : {"Example.q3d", "BH1.ink", "BH1.bgd", "BH2.ink", "BH2.bgd", "BH1_BH2_25kHz.sec",
                           "BH1_BH2_12.5kHz.sec"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bundled, fresh;
    ASSERT_TRUE(ReadWholeFile(std::string(QIRA_FIXTURES_DIR) + "/../../examples/" + name, bundled));
    ASSERT_TRUE(ReadWholeFile(made.File(name), fresh));
    EXPECT_EQ(bundled, fresh);
  }
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, made.File("Example.q3d")));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Describe(form->Root()),
            "{Boreholes{BH1 BH2} Sections{BH1 - BH2{25 kHz -12.5 kHz}} Potential sections Objects{Axis}}");
  EXPECT_EQ(form->GeologyList().Count(), 3);
  const auto* borehole = dynamic_cast<const TGraphBorehole*>(form->Root().GetChild(0)->GetChild(0));
  ASSERT_NE(borehole, nullptr);
  EXPECT_EQ(borehole->GeologyList, &form->GeologyList());
  // Built: the scene objects hang under the model cube.
  EXPECT_GT(form->ModelCube->ChildCount(), 0);
}

}  // namespace
}  // namespace qira

// Headless render benchmark: a lit, material-carrying mesh node of N
// triangles (a wavy grid) in a scene with camera and light, drawn by a
// 256 x 256 memory viewer on EGL. Two measures per N:
// - BM_CompileFrame: the first frame after StructureChanged, which compiles
//   the node's display list and then draws it;
// - BM_SteadyFrame: later frames, which replay the compiled list.
// Each frame is timed from Render to the end of glFinish (manual time), so
// the rasteriser's work is included even when it runs on other threads.
// - BM_SectionScene: a section of N x N cells in the view's scene: building it
//   (open_ms), its first frame (first_frame_ms) and the growth of the process's
//   peak resident size per cell from before building to after that frame
//   (bytes_per_cell); its triangles (front and back) as the counter to set
//   against BM_CompileFrame of the same count, the bare compile of a peer.
// - BM_SurveyProject: the survey project named by QIRA_SURVEY_PROJECT (made by
//   make_survey.py) read and built, then its first frame, each against a bare
//   compile and first frame of as many triangles as its sections draw; the rows
//   name the palette of its sections, logarithmic or linear.
// - BM_BlocksWorkbook: the blocks workbook of a 300 x 300 section, its peak
//   resident growth against the file's size.
// The scene and workbook rows are printed as a table at the end, each with ours,
// the peer and the ratio. Not part of the tests; run by hand.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "model/SceneContext.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "model/StreamHelpers.h"
#include "scene/gl/EglRenderingContext.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/materials/Materials.h"
#include "scene/math/VectorGeometry.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/objects/Mesh.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "scene/viewers/MemoryViewer.h"
#include "support/CountingSection.h"
#include "ui/ProgramStart.h"
#include "ui/ProjectFile.h"
#include "ui/ViewWindow.h"

namespace qira {
namespace {

constexpr float kHalfExtent = 10.0f;  // the grid spans -10..10 in x and y
constexpr float kWaveHeight = 0.5f;
constexpr float kCameraDistance = 36.0f;  // the whole grid in view, no clipped triangles
constexpr int kViewSize = 256;
constexpr TColor kBackground = MakeColor(0, 0, 255);

// A grid in the node's xy plane whose height is a gentle wave, so that the
// per-vertex normals differ. BuildList draws exactly TriangleCount triangles
// of it, two per cell, row by row, with a normal before every vertex.
class TSyntheticMesh : public TGL3DSceneObject {
  QIRA_CLASS(TSyntheticMesh, TGL3DSceneObject)

  TSyntheticMesh() = default;

  // Lays out the smallest near-square grid holding `triangleCount` triangles.
  void SetTriangleCount(int64_t triangleCount) {
    triangleCount_ = triangleCount;
    const int64_t cells = (triangleCount + 1) / 2;
    columns_ = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(cells)))));
    rows_ = std::max<int64_t>(1, (cells + columns_ - 1) / columns_);
    const auto pointCount = static_cast<size_t>((columns_ + 1) * (rows_ + 1));
    points_.resize(pointCount);
    normals_.resize(pointCount);
    for (int64_t j = 0; j <= rows_; ++j) {
      for (int64_t i = 0; i <= columns_; ++i) {
        const float x = -kHalfExtent + 2.0f * kHalfExtent * static_cast<float>(i) / static_cast<float>(columns_);
        const float y = -kHalfExtent + 2.0f * kHalfExtent * static_cast<float>(j) / static_cast<float>(rows_);
        const float z = kWaveHeight * std::sin(x) * std::cos(y);
        // Normal of z = h sin(x) cos(y): (-dz/dx, -dz/dy, 1), normalised.
        float nx = -kWaveHeight * std::cos(x) * std::cos(y);
        float ny = kWaveHeight * std::sin(x) * std::sin(y);
        float nz = 1.0f;
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        nx /= length;
        ny /= length;
        nz /= length;
        const auto at = static_cast<size_t>(j * (columns_ + 1) + i);
        points_[at] = {x, y, z};
        normals_[at] = {nx, ny, nz};
      }
    }
    StructureChanged();
  }
  int64_t TriangleCount() const { return triangleCount_; }

  TVector AxisAlignedDimensionsUnscaled() const override {
    return VectorMake(kHalfExtent, kHalfExtent, kWaveHeight, 0.0f);
  }

  void BuildList(TRenderContextInfo& rci) override {
    (void)rci;
    int64_t left = triangleCount_;
    glBegin(GL_TRIANGLES);
    for (int64_t j = 0; j < rows_ && left > 0; ++j) {
      for (int64_t i = 0; i < columns_ && left > 0; ++i) {
        const auto a = static_cast<size_t>(j * (columns_ + 1) + i);
        const size_t b = a + 1;
        const size_t c = a + static_cast<size_t>(columns_ + 1);
        const size_t d = c + 1;
        Vertex(a);
        Vertex(b);
        Vertex(d);
        if (--left == 0) break;
        Vertex(a);
        Vertex(d);
        Vertex(c);
        --left;
      }
    }
    glEnd();
  }

 private:
  struct TPoint {
    float x, y, z;
  };

  void Vertex(size_t at) const {
    glNormal3f(normals_[at].x, normals_[at].y, normals_[at].z);
    glVertex3f(points_[at].x, points_[at].y, points_[at].z);
  }

  int64_t triangleCount_ = 0;
  int64_t columns_ = 1;
  int64_t rows_ = 1;
  std::vector<TPoint> points_;
  std::vector<TPoint> normals_;
};

// Camera on the +z axis looking down -z with a light at the camera, the mesh
// at the origin, a memory viewer of kViewSize pixels.
struct TBenchScene {
  std::unique_ptr<TGL3DScene> scene;
  TGLCamera* camera = nullptr;
  TSyntheticMesh* mesh = nullptr;
  std::unique_ptr<TGLMemoryViewer> viewer;

  explicit TBenchScene(int64_t triangleCount) {
    RegisterEglRenderingContext();
    RegisterMaterialClasses();  // the mesh gets a real (lit) material
    scene = std::make_unique<TGL3DScene>();
    camera = &scene->Objects().AddNewChild<TGLCamera>();
    camera->Position().SetPoint(0.0f, 0.0f, kCameraDistance);
    camera->AddNewChild<TGLLightSource>();
    mesh = &scene->Objects().AddNewChild<TSyntheticMesh>();
    mesh->SetTriangleCount(triangleCount);
    viewer = std::make_unique<TGLMemoryViewer>();
    viewer->SetWidth(kViewSize);
    viewer->SetHeight(kViewSize);
    viewer->SetCamera(camera);
    viewer->Buffer().SetBackgroundColor(kBackground);
  }
  ~TBenchScene() {
    viewer.reset();
    scene.reset();
  }

  // One frame, waited for; seconds from Render to the end of glFinish.
  double TimedFrame() {
    const auto start = std::chrono::steady_clock::now();
    viewer->Render();
    TGLContext& context = *viewer->Buffer().RenderingContext();
    context.Activate();
    glFinish();
    context.Deactivate();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
  }

  // Share of the frame's pixels that are not background (the raster load).
  double Coverage() const {
    TGLContext& context = *viewer->Buffer().RenderingContext();
    std::vector<uint8_t> rgba(static_cast<size_t>(kViewSize) * kViewSize * 4u);
    context.Activate();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kViewSize, kViewSize, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    context.Deactivate();
    size_t covered = 0;
    for (size_t p = 0; p < rgba.size(); p += 4) {
      if (!(rgba[p] < 8 && rgba[p + 1] < 8 && rgba[p + 2] > 247)) ++covered;
    }
    return static_cast<double>(covered) / static_cast<double>(kViewSize * kViewSize);
  }
};

void ReportCounters(benchmark::State& state, const TBenchScene& s, double seconds) {
  const double frames = static_cast<double>(state.iterations());
  const double triangles = static_cast<double>(s.mesh->TriangleCount());
  state.counters["triangles"] = triangles;
  state.counters["ms_per_frame"] = frames > 0 ? 1e3 * seconds / frames : 0.0;
  state.counters["Mtri_per_s"] = seconds > 0 ? triangles * frames / seconds / 1e6 : 0.0;
  state.counters["coverage"] = s.Coverage();
}

void BM_CompileFrame(benchmark::State& state) {
  TBenchScene s(state.range(0));
  s.TimedFrame();  // context and material set up outside the measure
  double total = 0.0;
  for (auto _ : state) {
    s.mesh->StructureChanged();
    const int compiled = s.mesh->ListCompileCount();
    const double seconds = s.TimedFrame();
    if (s.mesh->ListCompileCount() != compiled + 1) {
      state.SkipWithError("the frame after StructureChanged did not compile the display list");
      break;
    }
    state.SetIterationTime(seconds);
    total += seconds;
  }
  ReportCounters(state, s, total);
}

void BM_SteadyFrame(benchmark::State& state) {
  TBenchScene s(state.range(0));
  s.TimedFrame();  // compiles the list
  s.TimedFrame();
  const int compiled = s.mesh->ListCompileCount();
  double total = 0.0;
  for (auto _ : state) {
    const double seconds = s.TimedFrame();
    state.SetIterationTime(seconds);
    total += seconds;
  }
  if (s.mesh->ListCompileCount() != compiled) state.SkipWithError("a steady frame recompiled the display list");
  ReportCounters(state, s, total);
}

void MeshSizes(benchmark::internal::Benchmark* b) {
  b->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_CompileFrame)->Apply(MeshSizes);
BENCHMARK(BM_SteadyFrame)->Apply(MeshSizes);

// Kilobytes after `key` in /proc/self/status.
int64_t StatusKilobytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(key, 0) == 0) return std::stoll(line.substr(key.size()));
  return 0;
}

// The rows printed after the runs: what, ours, the peer, the unit, the target ratio.
struct TTableRow {
  std::string What;
  double Ours = 0, Peer = 0;
  std::string Unit;
  double Target = 0;
};
std::vector<TTableRow>& TableRows() {
  static std::vector<TTableRow> rows;
  return rows;
}

void BM_SectionScene(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const double cells = static_cast<double>(n) * n;
  double openSeconds = 0.0, frameSeconds = 0.0, peakBytes = 0.0, triangles = 0.0;
  for (auto _ : state) {
    TBenchScene s(2);
    s.mesh->SetVisible(false);
    TSceneContext context;
    context.AxisCube = &s.scene->Objects().AddNewChild<TGLDummyCube>();
    context.ModelCube = &context.AxisCube->AddNewChild<TGLDummyCube>();
    s.TimedFrame();  // the context is not the section's
    malloc_trim(0);  // what earlier rows freed is not counted as this row's
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t startKb = StatusKilobytes("VmRSS:");
    auto section = std::make_unique<TGraphSection>();
    section->RowCount = section->ColCount = n;
    section->X1.assign(static_cast<size_t>(n) + 1, -kHalfExtent);
    section->X2.assign(static_cast<size_t>(n) + 1, kHalfExtent);
    section->Y1.assign(static_cast<size_t>(n) + 1, 0.0);
    section->Y2.assign(static_cast<size_t>(n) + 1, 0.0);
    section->StartZ = kHalfExtent;
    section->EndZ = -kHalfExtent;
    section->Values.assign(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(n)));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) section->Values[i][j] = 10.0 + (i + j) % 20;
    section->Palette.SetRange(10, 30);
    section->SetContext(&context);
    const auto start = std::chrono::steady_clock::now();
    section->Build(false);
    openSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    frameSeconds = s.TimedFrame();
    state.SetIterationTime(openSeconds + frameSeconds);
    peakBytes = static_cast<double>(StatusKilobytes("VmHWM:") - startKb) * 1024.0;
    if (section->FrontMesh) triangles = 2.0 * section->FrontMesh->DrawnCount() / 3.0;
    section.reset();
  }
  state.counters["cells"] = cells;
  state.counters["triangles"] = triangles;
  state.counters["open_ms"] = 1e3 * openSeconds;
  state.counters["first_frame_ms"] = 1e3 * frameSeconds;
  state.counters["bytes_per_cell"] = peakBytes / cells;
  TableRows().push_back({"Section " + std::to_string(n) + " x " + std::to_string(n) + ", peak bytes per cell",
                         peakBytes / cells, 150, "B", 1.0});
}

// A section and its groups, walked for the triangles the visible sections draw.
int64_t DrawnTriangles(const TGraphMain& node) {
  int64_t triangles = 0;
  if (const auto* section = dynamic_cast<const TGraphSection*>(&node)) {
    for (const auto* mesh : {&section->FrontMesh, &section->BackMesh})
      if (*mesh && (*mesh)->Visible()) triangles += (*mesh)->DrawnCount() / 3;
  }
  for (int i = 0; i < node.ChildCount(); ++i) triangles += DrawnTriangles(*node.GetChild(i));
  return triangles;
}

// The first section of the tree, or none.
const TGraphSection* FirstSection(const TGraphMain& node) {
  if (const auto* section = dynamic_cast<const TGraphSection*>(&node)) return section;
  for (int i = 0; i < node.ChildCount(); ++i)
    if (const TGraphSection* section = FirstSection(*node.GetChild(i))) return section;
  return nullptr;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void BM_SurveyProject(benchmark::State& state) {
  const char* path = std::getenv("QIRA_SURVEY_PROJECT");
  if (path == nullptr || !std::filesystem::exists(path)) {
    state.SkipWithError("QIRA_SURVEY_PROJECT names no project (make it with bench/make_survey.py)");
    return;
  }
  // Ours and the peer alternate; the medians are reported.
  std::vector<double> open, read, frame, peer;
  double triangles = 0, coverage = 0, peerCoverage = 0;
  std::string palette = "no";
  for (auto _ : state) {
    TBenchScene s(2);
    s.mesh->SetVisible(false);
    // The view window's lens; the project's own camera and direction below.
    s.camera->SetDepthOfView(1000000);
    s.camera->SetFocalLength(500);
    auto font = CreateFittingBitmapFont("Arial", kViewFontHeight);
    TSceneContext context;
    context.AxisCube = &s.scene->Objects().AddNewChild<TGLDummyCube>();
    context.ModelCube = &context.AxisCube->AddNewChild<TGLDummyCube>();
    context.BitmapFont = font.get();
    s.TimedFrame();  // the context is not the project's
    const auto start = std::chrono::steady_clock::now();
    TProject project = ReadProjectFile(path, GetProgramVersion());
    read.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (const TGraphSection* section = FirstSection(*project.Root))
      palette = section->Palette.Logarithmic() ? "logarithmic" : "linear";
    context.ModelOffset = project.View.ModelOffset;
    const TProjectView& view = project.View;
    s.camera->Position().SetPoint(view.CameraPosition.x, view.CameraPosition.y, view.CameraPosition.z);
    context.AxisCube->Direction().SetVector(view.ViewDirection.x, view.ViewDirection.y, view.ViewDirection.z);
    project.Root->SetContext(&context);
    project.Root->SetGeologyList(&project.Legend);
    project.Root->Build(true);
    open.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    frame.push_back(s.TimedFrame());
    coverage = s.Coverage();
    triangles = static_cast<double>(DrawnTriangles(*project.Root));
    project.Root.reset();

    TBenchScene bare(static_cast<int64_t>(triangles));
    bare.TimedFrame();  // context and material, as for ours
    bare.mesh->StructureChanged();
    peer.push_back(bare.TimedFrame());
    peerCoverage = bare.Coverage();
    state.SetIterationTime(open.back() + frame.back());
  }
  const double openMs = 1e3 * Median(open), frameMs = 1e3 * Median(frame), peerMs = 1e3 * Median(peer);
  state.counters["triangles"] = triangles;
  state.counters["open_ms"] = openMs;
  state.counters["read_ms"] = 1e3 * Median(read);
  state.counters["first_frame_ms"] = frameMs;
  state.counters["peer_ms"] = peerMs;
  state.counters["coverage"] = coverage;
  state.counters["peer_coverage"] = peerCoverage;
  state.SetLabel(palette + " palette");
  TableRows().push_back({"Survey project, " + palette + " palette: read and build", openMs, peerMs, "ms", 0.15});
  TableRows().push_back({"Survey project, " + palette + " palette: first frame", frameMs, peerMs, "ms", 1.0});
}
BENCHMARK(BM_SurveyProject)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BlocksWorkbook(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string file = (std::filesystem::temp_directory_path() / "qira_bench_blocks.xls").string();
  double peakBytes = 0, fileBytes = 0;
  for (auto _ : state) {
    std::unique_ptr<TGraphSection> section = test::CountingSection(n, n);
    const TClassLimits limits{10, 10, 20, 20, 30, 30, 40, 40, 50, 50, 60, 60, 70, 70, 80, 80};
    malloc_trim(0);  // what earlier rows freed is not counted as this row's
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t startKb = StatusKilobytes("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    ExportBlocksSheet(*section, limits, file, true);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    peakBytes = static_cast<double>(StatusKilobytes("VmHWM:") - startKb) * 1024.0;
    fileBytes = static_cast<double>(std::filesystem::file_size(file));
  }
  std::filesystem::remove(file);
  state.counters["file_MB"] = fileBytes / 1048576.0;
  state.counters["peak_growth_MB"] = peakBytes / 1048576.0;
  TableRows().push_back({"Blocks workbook " + std::to_string(n) + " x " + std::to_string(n) +
                             ", peak growth vs file + 32 MB",
                         peakBytes / 1048576.0, fileBytes / 1048576.0 + 32, "MB", 1.0});
}
BENCHMARK(BM_BlocksWorkbook)->Arg(300)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintTable() {
  if (TableRows().empty()) return;
  std::printf("\n%-58s %12s %12s %8s  %s\n", "what", "ours", "peer", "ratio", "target");
  for (const TTableRow& row : TableRows()) {
    const double ratio = row.Peer > 0 ? row.Ours / row.Peer : 0;
    std::printf("%-58s %9.1f %-2s %9.1f %-2s %7.2fx  <= %.2fx%s\n", row.What.c_str(), row.Ours, row.Unit.c_str(),
                row.Peer, row.Unit.c_str(), ratio, row.Target, ratio <= row.Target ? "" : "  (over)");
  }
}
BENCHMARK(BM_SectionScene)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
// The peer of a 1000 x 1000 section: as many triangles compiled bare and drawn once.
BENCHMARK(BM_CompileFrame)->Arg(3'992'004)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The OpenGL renderer, for the benchmark's context lines.
std::string RendererName() {
  TBenchScene probe(2);
  probe.TimedFrame();
  TGLContext& context = *probe.viewer->Buffer().RenderingContext();
  context.Activate();
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  std::string result = name != nullptr ? name : "unknown";
  context.Deactivate();
  return result;
}

}  // namespace
}  // namespace qira

int main(int argc, char** argv) {
  // The view's font is made through the desktop's font machinery.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication application(argc, argv);
  qira::RegisterProgramClasses();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("gl_renderer", qira::RendererName());
  benchmark::AddCustomContext("viewport", std::to_string(qira::kViewSize) + "x" + std::to_string(qira::kViewSize));
  benchmark::RunSpecifiedBenchmarks();
  qira::PrintTable();
  benchmark::Shutdown();
  return 0;
}

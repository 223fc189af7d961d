// One step of the program per run, made through the program's own functions as
// the user's command makes it, then the first draw of what the step added:
//
//   qira_step [--view WxH] [--count] STEP ARGUMENTS
//
//   picture PROJECT DPI bmp|tiff|png|jpeg TRANSPARENT(0|1)
//                                  the project opened and drawn, then Scene > Save picture
//   dxf FILE                       Objects from DXF into a new document's "Objects"
//   dxf-count-cost FILE            the drawing read as that import reads it, with its memory
//                                  count and without, in turns (timed)
//   model FILE                     Model into a new document's "Objects"
//   open PROJECT                   a project opened into a new window
//   plan PROJECT                   the project opened and drawn, then Scene > Horizontal
//                                  plan, its window drawn once at the view's size
//   frames PROJECT N [PNG]         the project opened and drawn, then N later frames of the
//                                  view, each timed ("time of a later frame", the median
//                                  and the fastest); PNG: the last frame's pixels written there
//   save dxf|model FILE PROJECT    the import, then the document saved as PROJECT (the
//                                  inputs the program itself saved)
//   export-blocks-text|export-blocks-csv PROJECT|SIZE
//                                  the project opened and drawn, then the blocks table of
//                                  its first section (or of a generated SIZE x SIZE
//                                  section) as text or CSV
//
// --view: the size of the view (800 x 600 by default) and of the screen. The view is
// drawn off-screen (a memory context of that size) with the document's own scene and
// camera, as the window's viewer draws it; a new document is drawn once before its
// import, as its window shows it, and the first draw after an import or an open is
// at that size; a picture's size follows from the view's and its DPI.
//
// Dialogs are answered as a user accepts them; messages go to standard output. Before
// the step takes its count, "baseline:" tells the memory the process holds then (its
// resident size, and the usage of its memory cgroup: the figure the program weighs a
// count against). The last line says how the step ended: "whole", or "refused: " and
// the first error the program showed. The exit status is 0 either way; 1 only when the
// driver itself could not run the step, 2 for a wrong command line.
//
// --count: instead of the step, what the program counts it to take ("count: N MB",
// or "count: none" and why): after the same preparation the step's command is given
// with no memory available, and its refusal tells the count (see TakeCount).
//
// Used by scripts/memory-sweep and scripts/bench, which read the "peak" lines (the
// process's peak resident size), "baseline:", "count:" and the "time" lines.
//
// Index:
//   [SECTION] Output       peaks, baselines, counts, times
//   [SECTION] View         the view's size, the first draw, the dialogs' answers
//   [SECTION] Counts       what the program counts a step to take
//   [SECTION] Steps        one function a step
//   [SECTION] Command line
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QDir>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "StepServices.h"
#include "model/GeologyFiles.h"
#include "model/GraphMain.h"
#include "model/ModelFile.h"
#include "model/Dxf.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "model/Settings.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/HandlerGuard.h"
#include "platform/ThreadReserves.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/viewers/MemoryViewer.h"
#include "scene/viewers/SceneViewer.h"
#include "support/CountingSection.h"
#include "ui/ExportColourDialogs.h"
#include "ui/Pictures.h"
#include "ui/PlanForm.h"
#include "ui/ProgramStart.h"
#include "ui/ProjectFile.h"
#include "ui/ViewWindow.h"

namespace qira {
namespace {

// [SECTION] Output

void PrintPeak(const char* after) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    std::printf("peak after %s: %lld MB\n", after, std::stoll(line.substr(6)) / 1024);
  }
  std::fflush(stdout);
}

// The usage of the process's memory cgroup (version 2 memory.current, version 1
// memory.usage_in_bytes), the figure a group's limit is weighed against; nothing when
// it cannot be read. It is the process's own only in a group made for it, as the
// sweep makes one for every run.
std::optional<int64_t> GroupMemoryNow() {
  std::ifstream groups("/proc/self/cgroup");
  const bool v2 = std::filesystem::exists("/sys/fs/cgroup/cgroup.controllers");
  for (std::string line; std::getline(groups, line);) {
    std::string file;
    if (v2 && line.rfind("0::", 0) == 0) file = "/sys/fs/cgroup" + line.substr(3) + "/memory.current";
    const auto memory = line.find(":memory:");
    if (!v2 && memory != std::string::npos)
      file = "/sys/fs/cgroup/memory" + line.substr(memory + 8) + "/memory.usage_in_bytes";
    if (file.empty()) continue;
    std::ifstream in(file);
    long long bytes = -1;
    if (in >> bytes && bytes >= 0) return bytes;
  }
  return std::nullopt;
}

// The memory the process holds as the step is about to take its count: what the
// step's need is measured from (its peak less this).
void PrintBaseline() {
  long long resident = -1;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) resident = std::stoll(line.substr(6)) / 1024;
  const std::optional<int64_t> group = GroupMemoryNow();
  std::printf("baseline: %lld MB resident, %s MB in its memory group\n", resident,
              group ? std::to_string(*group >> 20).c_str() : "?");
  std::fflush(stdout);
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void PrintMilliseconds(const char* what, double milliseconds) {
  std::printf("time of %s: %.1f ms\n", what, milliseconds);
  std::fflush(stdout);
}

// [SECTION] View

struct TViewSize {
  int Width = 800;
  int Height = 600;
};

// Set from the command line before anything is made.
TViewSize gView;

// The window's view drawn once: a memory viewer of the view's size takes the view
// buffer's settings and the document's camera. Pictures afterwards show the window's
// own buffer, as they do after the window has drawn.
class TFirstDraw {
 public:
  explicit TFirstDraw(TForm3D& form) : form_(form) {
    form.GL3DSceneViewer1->setFixedSize(gView.Width, gView.Height);
    form.GL3DSceneViewer1->Buffer().Resize(gView.Width, gView.Height);
  }
  ~TFirstDraw() { viewer_.reset(); }

  // False, after the message the viewer's paint shows, when the draw failed.
  bool Draw() {
    return Guarded([&] {
      if (!viewer_) {
        viewer_ = std::make_unique<TGLMemoryViewer>();
        viewer_->SetBuffer(&form_.GL3DSceneViewer1->Buffer());
        viewer_->SetWidth(gView.Width);
        viewer_->SetHeight(gView.Height);
        viewer_->SetCamera(form_.Camera);
      }
      viewer_->Render();
      TGLContext& context = *viewer_->Buffer().RenderingContext();
      context.Activate();
      glFinish();
      context.Deactivate();
      form_.GL3DScene1->SetCurrentBuffer(&form_.GL3DSceneViewer1->Buffer());
    });
  }

  // The view's pixels as the last draw left them, top row first.
  QImage Pixels() {
    QImage image(gView.Width, gView.Height, QImage::Format_RGBA8888);
    TGLContext& context = *viewer_->Buffer().RenderingContext();
    context.Activate();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, gView.Width, gView.Height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    context.Deactivate();
    return image.mirrored();
  }

 private:
  TForm3D& form_;
  std::unique_ptr<TGLMemoryViewer> viewer_;
};

// Answers the step's own dialogs as the user accepts them, whenever an event loop runs.
class TDialogAnswers {
 public:
  TDialogAnswers(int dpi, bool transparent) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, dpi, transparent] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = dynamic_cast<QDialog*>(w);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        auto* options = dynamic_cast<TSaveImageForm*>(dialog);
        if (options == nullptr && dynamic_cast<TExportColorForm*>(dialog) == nullptr) continue;
        // A dialog that stays after its OK refused the choice: the user gives up.
        if (answered_.contains(dialog)) {
          dialog->reject();
          continue;
        }
        answered_.insert(dialog);
        if (options != nullptr) options->Start(dpi, transparent);
        dialog->accept();
      }
    });
    timer_.start();
  }

 private:
  QTimer timer_;
  QSet<QDialog*> answered_;
};

// [SECTION] Counts

// How the driver runs a step: the step itself, or only what the program counts it to take.
enum class TRunMode { Step, Count };

// What the program counts a step to take. Each step's count is taken as the step
// takes it: its command is given, after the same preparation, with no memory
// available (SetAvailableMemoryProbe), so the count refuses the step at once and its
// refusal, in the one wording of a memory refusal ("needs [about] N MB of memory"),
// tells what was counted. So the count is the one the user's command takes, in the
// situation the step meets (the view's size, the scene), whatever it is made of. A
// step whose command goes ahead with no memory available counts nothing: "none".
class TNoMemory {
 public:
  explicit TNoMemory(int64_t room = 0) { SetAvailableMemoryProbe([room] { return room; }); }
  ~TNoMemory() { SetAvailableMemoryProbe({}); }
  TNoMemory(const TNoMemory&) = delete;
  TNoMemory& operator=(const TNoMemory&) = delete;
};

// The megabytes a memory refusal says are needed; nothing for any other text.
std::optional<int64_t> NeedTold(const std::string& text) {
  static const std::regex kNeed(R"(needs (?:about )?([0-9]+) MB of memory, )");
  std::smatch match;
  if (!std::regex_search(text, match, kNeed)) return std::nullopt;
  return std::stoll(match[1].str());
}

struct TCount {
  std::optional<int64_t> Megabytes;
  std::string Why;  // when there is none
};

// `command` given with no memory available; the count its refusal tells.
template <class Command>
TCount TakeCount(bench::TStepServices& services, Command command, int64_t room = 0) {
  services.FirstProblem.reset();
  services.FirstMessage.reset();
  {
    TNoMemory none(room);
    command();
  }
  if (!services.FirstProblem) return {std::nullopt, "the step went ahead with no memory available"};
  if (const std::optional<int64_t> need = NeedTold(*services.FirstProblem)) return {need, {}};
  return {std::nullopt, "refused otherwise: " + *services.FirstProblem};
}

void PrintCount(const TCount& count) {
  if (count.Megabytes)
    std::printf("count: %lld MB\n", static_cast<long long>(*count.Megabytes));
  else
    std::printf("count: none (%s)\n", count.Why.c_str());
  std::fflush(stdout);
}

// [SECTION] Steps

TGraphMain& ObjectsGroup(TForm3D& form) {
  TGraphMain& root = form.Root();
  for (int i = 0; i < root.ChildCount(); ++i)
    if (root.GetChild(i)->Name() == "Objects") return *root.GetChild(i);
  return root;
}

TGraphSection* FirstSection(TGraphMain& node) {
  if (auto* section = dynamic_cast<TGraphSection*>(&node)) return section;
  for (int i = 0; i < node.ChildCount(); ++i)
    if (TGraphSection* section = FirstSection(*node.GetChild(i))) return section;
  return nullptr;
}

std::unique_ptr<TForm3D> Open(const std::string& project) {
  // The new window's stored size makes its view the size drawn: its count takes it.
  WriteSetting(SettingKeys::FormWidth, gView.Width + ReadSetting(SettingKeys::PanelWidth, 155));
  WriteSetting(SettingKeys::FormHeight, gView.Height);
  return std::unique_ptr<TForm3D>(CreateFromFile(nullptr, std::filesystem::absolute(project).string()));
}

struct TOutcome {
  bool Whole = false;
  std::string Reason;  // when refused, without a message of the program's
};

// A step run with --count: the count was printed; no outcome of its own.
const TOutcome kCounted{true, {}};

// The output file of a step: its size is told, then it is removed (they are large).
bool Written(const std::string& path) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  if (error) return false;
  std::printf("written: %llu bytes\n", static_cast<unsigned long long>(bytes));
  std::filesystem::remove(path, error);
  return bytes > 0;
}

const std::map<std::string, int> kPictureTypes{{"bmp", pftBmp}, {"tiff", pftTiff}, {"png", pftPng}, {"jpeg", pftJpeg}};
const std::map<std::string, const char*> kPictureExtensions{
    {"bmp", ".bmp"}, {"tiff", ".tif"}, {"png", ".png"}, {"jpeg", ".jpg"}};

TOutcome Picture(TRunMode mode, bench::TStepServices& services, const std::string& project, int dpi,
                 const std::string& format, bool transparent, const std::string& output) {
  std::unique_ptr<TForm3D> form = Open(project);
  if (!form) return {false, "the project did not open"};
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the view was not drawn"};
  PrintPeak("the open and its draw");
  const TGL3DSceneBuffer& buffer = form->GL3DSceneViewer1->Buffer();
  const TPictureSize size = PictureSize(buffer.Width(), buffer.Height(), dpi, GetDeviceLogicalPixelsX());
  std::printf("picture: %lld x %lld pixels, %s, transparent %d\n", static_cast<long long>(size.Width),
              static_cast<long long>(size.Height), format.c_str(), transparent ? 1 : 0);
  const std::string file = output + kPictureExtensions.at(format);
  TDialogAnswers answers(dpi, transparent);
  const auto save = [&] {
    services.SaveAnswer = file;
    services.SaveFilterIndex = kPictureTypes.at(format);
    SavePicture(*form);
  };
  PrintBaseline();
  if (mode == TRunMode::Count) {
    PrintCount(TakeCount(services, save));
    return kCounted;
  }
  save();
  PrintPeak("the picture");
  if (!Written(file)) return {false, "no picture was written"};
  return {true, {}};
}

// An import into a new document that was drawn before, then the draw of what it added.
// `count` is the import's count (TakeCount, or the importer's own count function).
template <class Import, class Count>
TOutcome ImportStep(TRunMode mode, bench::TStepServices& services, const std::string& file, Import import,
                    Count count) {
  std::unique_ptr<TForm3D> form(TForm3D::CreateNewDocument());
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the new document was not drawn"};
  PrintPeak("the new document's draw");
  PrintBaseline();
  if (mode == TRunMode::Count) {
    PrintCount(count(ObjectsGroup(*form)));
    return kCounted;
  }
  services.OpenAnswer = std::filesystem::absolute(file).string();
  const auto start = std::chrono::steady_clock::now();
  const bool added = import(ObjectsGroup(*form));
  PrintMilliseconds("the import", MillisecondsSince(start));
  PrintPeak("the import");
  if (!added) return {false, "nothing was imported"};
  if (!view.Draw()) return {false, "the import was not drawn"};
  PrintPeak("the first draw");
  return {true, {}};
}

TOutcome DxfImport(TRunMode mode, bench::TStepServices& services, const std::string& file) {
  const auto import = [](TGraphMain& target) { return ObjectsFromDxfClick(target) != nullptr; };
  return ImportStep(mode, services, file, import, [&](TGraphMain& target) {
    return TakeCount(services, [&] {
      services.OpenAnswer = std::filesystem::absolute(file).string();
      import(target);
    });
  });
}

// What the memory count costs an import of the drawing: its reading (TDXF::ReadDXF, the
// part of the import the count is in) with the count and without it, in turns in this
// one process (with, without, without, with, ...), after one reading that warms the
// file's cache; the median of each. The objects are freed outside the timing.
TOutcome DxfCountCost(const std::string& file) {
  constexpr int kRuns = 5;
  const std::string path = std::filesystem::absolute(file).string();
  std::vector<double> with, without;
  for (int run = -1; run < 2 * kRuns; ++run) {
    const bool counted = run % 4 == 0 || run % 4 == 3;
    TDXF dxf;
    dxf.SetCountMemory(counted);
    const auto start = std::chrono::steady_clock::now();
    if (!dxf.ReadDXF(path)) return {false, "nothing was read"};
    const double time = MillisecondsSince(start);
    if (run >= 0) (counted ? with : without).push_back(time);
  }
  const auto median = [](std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  PrintMilliseconds("the reading with the count", median(with));
  PrintMilliseconds("the reading without the count", median(without));
  std::printf("medians of %d readings each\n", kRuns);
  return {true, {}};
}

// The model's counts come one after another (the file's bytes, their reading, the
// build with its first draw), each against the memory left then, so no memory at
// all stops at the first: the count of the build, which the step's peak follows, is
// taken from the model's own count of it instead.
TCount ModelBuildCount(const std::string& file) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(file, bytes, &error)) return {std::nullopt, "the file was not read: " + error};
  const TModelDescription model = ParseModelText(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), FileNameWithoutFolder(file));
  return {(ModelBuildBytes(model) + (int64_t{1} << 20) - 1) >> 20, {}};
}

TOutcome ModelImport(TRunMode mode, bench::TStepServices& services, const std::string& file) {
  return ImportStep(
      mode, services, file, [](TGraphMain& target) { return ModelClick(target) == TModelImport::Built; },
      [&](TGraphMain&) { return ModelBuildCount(file); });
}

// The count of opening the project into a new window.
TCount OpenCount(bench::TStepServices& services, const std::string& project) {
  // A new window's own pictures are checked before the file is read: with no memory
  // at all they are refused first, in their own words. The room holds the file's
  // bytes too: an object's fields that could not be read are told only as the least
  // they take.
  std::error_code error;
  const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(project, error));
  return TakeCount(services, [&] { Open(project); }, (int64_t{8} << 20) + (error ? 0 : fileBytes));
}

TOutcome OpenStep(TRunMode mode, bench::TStepServices& services, const std::string& project) {
  PrintBaseline();
  if (mode == TRunMode::Count) {
    PrintCount(OpenCount(services, project));
    return kCounted;
  }
  std::unique_ptr<TForm3D> form = Open(project);
  PrintPeak("the open");
  if (!form) return {false, "the project did not open"};
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the project was not drawn"};
  PrintPeak("the first draw");
  return {true, {}};
}

// The newest plan window of the form, drawn once at the view's size; null when
// none was made.
TPlanForm* DrawnPlan(TForm3D& form) {
  TPlanForm* plan = form.PlanForms.empty() ? nullptr : form.PlanForms.back();
  if (plan == nullptr) return nullptr;
  plan->FrameWidget()->resize(gView.Width, gView.Height);
  QCoreApplication::sendPostedEvents();
  (void)plan->grab();
  return plan;
}

// The plan's count, the hook for the plan window's own: taken as every count is
// (TakeCount), it is there once Scene > Horizontal plan refuses a plan the memory
// cannot hold in the one wording; until then the plan is built with no memory
// available and the count is "none".
TCount PlanCount(bench::TStepServices& services, TForm3D& form) {
  TCount count = TakeCount(services, [&] { form.Createplan1Click(); });
  if (TPlanForm* plan = form.PlanForms.empty() ? nullptr : form.PlanForms.back()) delete plan->FrameWidget();
  return count;
}

TOutcome PlanStep(TRunMode mode, bench::TStepServices& services, const std::string& project) {
  std::unique_ptr<TForm3D> form = Open(project);
  if (!form) return {false, "the project did not open"};
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the project was not drawn"};
  PrintPeak("the open and its draw");
  PrintBaseline();
  if (mode == TRunMode::Count) {
    PrintCount(PlanCount(services, *form));
    return kCounted;
  }
  const auto start = std::chrono::steady_clock::now();
  const bool made = Guarded([&] { form->Createplan1Click(); });
  TPlanForm* plan = made ? DrawnPlan(*form) : nullptr;
  PrintMilliseconds("the plan", MillisecondsSince(start));
  PrintPeak("the plan");
  if (plan == nullptr) return {false, "no plan window was made"};
  // The plan goes before its view window, as the view window's own close frees it.
  delete plan->FrameWidget();
  return {true, {}};
}

// Later frames of a project's view, as the window draws them again on a change of
// the camera or a property: the first draw builds and compiles, the others replay.
TOutcome FramesStep(const std::string& project, int frames, const std::string& png) {
  std::unique_ptr<TForm3D> form = Open(project);
  if (!form) return {false, "the project did not open"};
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the project was not drawn"};
  PrintPeak("the open and its draw");
  std::vector<double> times;
  for (int i = 0; i < frames; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!view.Draw()) return {false, "a later frame was not drawn"};
    times.push_back(MillisecondsSince(start));
  }
  PrintPeak("the later frames");
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    PrintMilliseconds("a later frame (median)", times[times.size() / 2]);
    PrintMilliseconds("a later frame (fastest)", times.front());
  }
  if (!png.empty() && !view.Pixels().save(QString::fromStdString(png), "PNG")) return {false, "the frame was not written"};
  return {true, {}};
}

// An input the program saved itself: the import into a new document, drawn, then
// saved as the project. Not measured.
TOutcome SaveStep(bench::TStepServices& services, const std::string& kind, const std::string& file,
                  const std::string& project) {
  std::unique_ptr<TForm3D> form(TForm3D::CreateNewDocument());
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the new document was not drawn"};
  services.OpenAnswer = std::filesystem::absolute(file).string();
  const bool added = kind == "dxf" ? ObjectsFromDxfClick(ObjectsGroup(*form)) != nullptr
                                   : ModelClick(ObjectsGroup(*form)) == TModelImport::Built;
  if (!added) return {false, "nothing was imported"};
  if (!view.Draw()) return {false, "the import was not drawn"};
  if (!SaveProject(*form, std::filesystem::absolute(project).string())) return {false, "the project was not saved"};
  std::error_code error;
  std::printf("saved: %llu bytes\n", static_cast<unsigned long long>(std::filesystem::file_size(project, error)));
  return {true, {}};
}

// [SECTION] Steps: exports

TOutcome BlocksExport(TRunMode mode, bench::TStepServices& services, const std::string& source, bool csv,
                      const std::string& output) {
  std::unique_ptr<TForm3D> form;
  std::unique_ptr<TFirstDraw> view;
  std::unique_ptr<TGraphSection> generated;
  TGraphSection* section = nullptr;
  const bool generate = !source.empty() && source.find_first_not_of("0123456789") == std::string::npos;
  // A text export counts nothing of its own (it is written as it goes): the step's
  // count is the open's, of the project and its section drawn in the new window.
  PrintBaseline();
  if (mode == TRunMode::Count) {
    PrintCount(generate ? TCount{std::nullopt, "a generated section is not opened"} : OpenCount(services, source));
    return kCounted;
  }
  if (generate) {
    const int side = std::atoi(source.c_str());
    generated = test::CountingSection(side, side);
    // Its values span the palette, so the default classes hold them all.
    generated->Palette.SetRange(1, static_cast<double>(side) * side);
    section = generated.get();
  } else {
    form = Open(source);
    if (!form) return {false, "the project did not open"};
    view = std::make_unique<TFirstDraw>(*form);
    if (!view->Draw()) return {false, "the project was not drawn"};
    section = FirstSection(form->Root());
    if (section == nullptr) return {false, "the project holds no section"};
  }
  PrintPeak("the section");
  const std::string file = output + (csv ? ".csv" : ".txt");
  services.SaveAnswer = file;
  services.SaveFilterIndex = csv ? 2 : 1;
  TDialogAnswers answers(0, false);
  BlocksExportClick(*section);
  PrintPeak("the export");
  if (!Written(file)) return {false, "no table was written"};
  return {true, {}};
}

// [SECTION] Command line

int Usage() {
  std::fprintf(stderr,
               "usage: qira_step [--view WxH] [--count] STEP ARGUMENTS, STEP ARGUMENTS one of\n"
               "         picture PROJECT DPI bmp|tiff|png|jpeg 0|1\n"
               "         dxf FILE | model FILE | open PROJECT | plan PROJECT\n"
               "         export-blocks-text|export-blocks-csv PROJECT|SIZE\n"
               "       qira_step [--view WxH] dxf-count-cost FILE\n"
               "       qira_step [--view WxH] save dxf|model FILE PROJECT\n"
               "       qira_step [--view WxH] frames PROJECT N [PNG]\n");
  return 2;
}

// The options before the step: false for a wrong one.
bool ReadOptions(std::vector<std::string>& args, TRunMode& mode) {
  while (!args.empty() && args.front().rfind("--", 0) == 0) {
    if (args.front() == "--count") {
      mode = TRunMode::Count;
      args.erase(args.begin());
    } else if (args.front() == "--view" && args.size() >= 2) {
      int w = 0, h = 0;
      char rest = 0;
      if (std::sscanf(args[1].c_str(), "%dx%d%c", &w, &h, &rest) != 2 || w <= 0 || h <= 0) return false;
      gView = {w, h};
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return false;
    }
  }
  return true;
}

bool ValidStep(const std::vector<std::string>& args, TRunMode mode) {
  if (args.empty()) return false;
  const std::string& step = args[0];
  if (step == "picture")
    return args.size() == 5 && kPictureTypes.count(args[3]) != 0 && (args[4] == "0" || args[4] == "1");
  if (step == "save") return mode == TRunMode::Step && args.size() == 4 && (args[1] == "dxf" || args[1] == "model");
  if (step == "dxf-count-cost") return mode == TRunMode::Step && args.size() == 2;
  if (step == "frames") return mode == TRunMode::Step && (args.size() == 3 || args.size() == 4);
  return args.size() == 2 && (step == "dxf" || step == "model" || step == "open" || step == "plan" ||
                              step == "export-blocks-text" || step == "export-blocks-csv");
}

// The offscreen platform's screen made the view's size, as a full-screen view fills
// its screen: what the program reads of the screen is then what the view meets.
// Other platforms keep their own screens. The file is removed at the end.
std::string UseViewSizedScreen() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && std::string(platform) != "offscreen") return {};
  std::string path = (std::filesystem::temp_directory_path() / "qira_step-screen-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd < 0) return {};
  const std::string config = "{\"screens\": [{\"name\": \"view\", \"x\": 0, \"y\": 0, \"width\": " +
                             std::to_string(gView.Width) + ", \"height\": " + std::to_string(gView.Height) +
                             ", \"logicalDpi\": 96}]}\n";
  const bool written = write(fd, config.data(), config.size()) == static_cast<ssize_t>(config.size());
  close(fd);
  if (!written) {
    std::filesystem::remove(path);
    return {};
  }
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).c_str(), 1);
  return path;
}

int Run(const std::vector<std::string>& args, TRunMode mode) {
  const std::string& step = args[0];
  // Settings and written files in a folder of the run's own: the user's are never touched.
  QTemporaryDir scratch(QDir::tempPath() + "/qira_step-XXXXXX");
  if (!scratch.isValid()) {
    std::fprintf(stderr, "cannot make a scratch folder in %s\n", QDir::tempPath().toLocal8Bit().constData());
    return 1;
  }
  const std::string folder = scratch.path().toStdString();
  LoadSettings(folder + "/QIRA3D.ini", folder);
  const std::string output = folder + "/output";
  bench::TStepServices services;
  const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
  std::printf("view: %d x %d, screen %d x %d\n", gView.Width, gView.Height, screen.width(), screen.height());

  TOutcome outcome;
  if (step == "picture") {
    outcome = Picture(mode, services, args[1], std::atoi(args[2].c_str()), args[3], args[4] == "1", output);
  } else if (step == "dxf") {
    outcome = DxfImport(mode, services, args[1]);
  } else if (step == "model") {
    outcome = ModelImport(mode, services, args[1]);
  } else if (step == "dxf-count-cost") {
    outcome = DxfCountCost(args[1]);
  } else if (step == "open") {
    outcome = OpenStep(mode, services, args[1]);
  } else if (step == "plan") {
    outcome = PlanStep(mode, services, args[1]);
  } else if (step == "frames") {
    outcome = FramesStep(args[1], std::atoi(args[2].c_str()), args.size() == 4 ? args[3] : std::string());
  } else if (step == "save") {
    outcome = SaveStep(services, args[1], args[2], args[3]);
  } else {
    outcome = BlocksExport(mode, services, args[1], step == "export-blocks-csv", output);
  }
  if (mode == TRunMode::Count) return outcome.Whole ? 0 : (std::printf("failed: %s\n", outcome.Reason.c_str()), 1);
  if (outcome.Whole && services.FirstProblem) outcome = {false, {}};
  if (outcome.Whole)
    std::printf("whole\n");
  else
    std::printf("refused: %s\n", services.FirstProblem ? services.FirstProblem->c_str()
                                 : services.FirstMessage ? services.FirstMessage->c_str()
                                                         : outcome.Reason.c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace
}  // namespace qira

int main(int argc, char** argv) {
  // As the program starts: before Qt or the GL driver start any thread.
  qira::BoundThreadReservesUnderAddressLimit();
  std::vector<std::string> args(argv + 1, argv + argc);
  qira::TRunMode mode = qira::TRunMode::Step;
  if (!qira::ReadOptions(args, mode) || !qira::ValidStep(args, mode)) return qira::Usage();
  const std::string screen = qira::UseViewSizedScreen();
  int status = 1;
  {
    QApplication application(argc, argv);
    qira::RegisterProgramClasses();
    try {
      status = qira::Run(args, mode);
    } catch (const std::exception& error) {
      std::printf("failed: %s\n", error.what());
    }
  }
  if (!screen.empty()) std::filesystem::remove(screen);
  return status;
}

// One step of the program per run, made through the program's own functions as
// the user's command makes it, then the first draw of what the step added:
//
//   qira_step picture PROJECT DPI bmp|tiff|png|jpeg TRANSPARENT(0|1)
//                                  the project opened and drawn, then Scene > Save picture
//   qira_step dxf FILE             Objects from DXF into a new document's "Objects"
//   qira_step dxf-count-cost FILE  the drawing read as that import reads it, with its memory
//                                  count and without, in turns (timed)
//   qira_step model FILE           Model into a new document's "Objects"
//   qira_step open PROJECT         a project opened into a new window
//   qira_step export-blocks-text|export-blocks-csv PROJECT|SIZE
//                                  the blocks table of the project's first section (or of
//                                  a generated SIZE x SIZE section) as text or CSV
//
// The view is drawn off-screen (a memory context of the view's size, 800 x 600 unless
// QIRA_VIEW_SIZE says WxH) with the document's own scene and camera, as the window's
// viewer draws it; a new document is drawn once before its import, as its window shows
// it. Dialogs are answered as a user accepts them; messages go to standard output. The
// last line says how the step ended: "whole", or "refused: " and the first error the
// program showed. The exit status is 0 either way; 1 only when the driver itself could
// not run the step, 2 for a wrong command line. Used by scripts/memory-sweep and
// scripts/bench, which read the "peak" lines (the process's peak resident size) and the
// "time" lines.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "StepServices.h"
#include "model/GraphMain.h"
#include "model/ModelFile.h"
#include "model/Dxf.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "model/Settings.h"
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
#include "ui/ProgramStart.h"
#include "ui/ProjectFile.h"
#include "ui/ViewWindow.h"

namespace qira {
namespace {

struct TViewSize {
  int Width = 800;
  int Height = 600;
};

TViewSize ViewSize() {
  TViewSize size;
  if (const char* text = std::getenv("QIRA_VIEW_SIZE")) {
    int w = 0, h = 0;
    if (std::sscanf(text, "%dx%d", &w, &h) == 2 && w > 0 && h > 0) size = {w, h};
  }
  return size;
}

void PrintPeak(const char* after) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    std::printf("peak after %s: %lld MB\n", after, std::stoll(line.substr(6)) / 1024);
  }
  std::fflush(stdout);
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void PrintMilliseconds(const char* what, double milliseconds) {
  std::printf("time of %s: %.1f ms\n", what, milliseconds);
  std::fflush(stdout);
}

// The window's view drawn once: a memory viewer of the view's size takes the view
// buffer's settings and the document's camera. Pictures afterwards show the window's
// own buffer, as they do after the window has drawn.
class TFirstDraw {
 public:
  explicit TFirstDraw(TForm3D& form) : form_(form) {
    const TViewSize size = ViewSize();
    form.GL3DSceneViewer1->setFixedSize(size.Width, size.Height);
    form.GL3DSceneViewer1->Buffer().Resize(size.Width, size.Height);
  }
  ~TFirstDraw() { viewer_.reset(); }

  // False, after the message the viewer's paint shows, when the draw failed.
  bool Draw() {
    return Guarded([&] {
      if (!viewer_) {
        const TViewSize size = ViewSize();
        viewer_ = std::make_unique<TGLMemoryViewer>();
        viewer_->SetBuffer(&form_.GL3DSceneViewer1->Buffer());
        viewer_->SetWidth(size.Width);
        viewer_->SetHeight(size.Height);
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
  const TViewSize size = ViewSize();
  WriteSetting(SettingKeys::FormWidth, size.Width + ReadSetting(SettingKeys::PanelWidth, 155));
  WriteSetting(SettingKeys::FormHeight, size.Height);
  return std::unique_ptr<TForm3D>(CreateFromFile(nullptr, std::filesystem::absolute(project).string()));
}

struct TOutcome {
  bool Whole = false;
  std::string Reason;  // when refused, without a message of the program's
};

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

TOutcome Picture(bench::TStepServices& services, const std::string& project, int dpi, const std::string& format,
                 bool transparent, const std::string& output) {
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
  services.SaveAnswer = file;
  services.SaveFilterIndex = kPictureTypes.at(format);
  TDialogAnswers answers(dpi, transparent);
  SavePicture(*form);
  PrintPeak("the picture");
  if (!Written(file)) return {false, "no picture was written"};
  return {true, {}};
}

// An import into a new document that was drawn before, then the draw of what it added.
template <class Import>
TOutcome ImportStep(bench::TStepServices& services, const std::string& file, Import import) {
  std::unique_ptr<TForm3D> form(TForm3D::CreateNewDocument());
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the new document was not drawn"};
  PrintPeak("the new document's draw");
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

TOutcome OpenStep(const std::string& project) {
  std::unique_ptr<TForm3D> form = Open(project);
  PrintPeak("the open");
  if (!form) return {false, "the project did not open"};
  TFirstDraw view(*form);
  if (!view.Draw()) return {false, "the project was not drawn"};
  PrintPeak("the first draw");
  return {true, {}};
}

TOutcome BlocksExport(bench::TStepServices& services, const std::string& source, bool csv, const std::string& output) {
  std::unique_ptr<TForm3D> form;
  std::unique_ptr<TGraphSection> generated;
  TGraphSection* section = nullptr;
  if (!source.empty() && source.find_first_not_of("0123456789") == std::string::npos) {
    const int side = std::atoi(source.c_str());
    generated = test::CountingSection(side, side);
    // Its values span the palette, so the default classes hold them all.
    generated->Palette.SetRange(1, static_cast<double>(side) * side);
    section = generated.get();
  } else {
    form = Open(source);
    if (!form) return {false, "the project did not open"};
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

int Usage() {
  std::fprintf(stderr,
               "usage: qira_step picture PROJECT DPI bmp|tiff|png|jpeg 0|1\n"
               "       qira_step dxf FILE | dxf-count-cost FILE | model FILE | open PROJECT\n"
               "       qira_step export-blocks-text|export-blocks-csv PROJECT|SIZE\n");
  return 2;
}

int Run(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string step = argv[1];
  const bool picture = step == "picture" && argc == 6 && kPictureTypes.count(argv[4]) != 0 &&
                       (std::string(argv[5]) == "0" || std::string(argv[5]) == "1");
  const bool single = argc == 3 && (step == "dxf" || step == "dxf-count-cost" || step == "model" || step == "open" ||
                                    step == "export-blocks-text" || step == "export-blocks-csv");
  if (!picture && !single) return Usage();

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

  TOutcome outcome;
  if (picture) {
    outcome = Picture(services, argv[2], std::atoi(argv[3]), argv[4], std::string(argv[5]) == "1", output);
  } else if (step == "dxf") {
    outcome = ImportStep(services, argv[2], [](TGraphMain& target) { return ObjectsFromDxfClick(target) != nullptr; });
  } else if (step == "model") {
    outcome = ImportStep(services, argv[2],
                         [](TGraphMain& target) { return ModelClick(target) == TModelImport::Built; });
  } else if (step == "dxf-count-cost") {
    outcome = DxfCountCost(argv[2]);
  } else if (step == "open") {
    outcome = OpenStep(argv[2]);
  } else {
    outcome = BlocksExport(services, argv[2], step == "export-blocks-csv", output);
  }
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
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  qira::RegisterProgramClasses();
  try {
    return qira::Run(argc, argv);
  } catch (const std::exception& error) {
    std::printf("failed: %s\n", error.what());
    return 1;
  }
}

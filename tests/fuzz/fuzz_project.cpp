// Project files (*.q3d): read, put into a view window, saved, read back and saved
// again; the reopened project must hold the objects and legend that were read,
// and the two saves must be equal, or a save would not be what a reopen shows.
#include <cstdlib>
#include <mutex>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTrees.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "ui/ProgramStart.h"
#include "ui/ProjectFile.h"
#include "ui/ViewWindow.h"

namespace {

using namespace qira;

// The project as a view window holds it after opening, saved into memory.
std::vector<uint8_t> InstallAndSave(TProject project) {
  std::unique_ptr<TForm3D> form(TForm3D::CreateNewDocument());
  InstallProject(*form, std::move(project), fuzzing::ScratchFolder() + "/fuzz.q3d");
  TMemoryStream saved;
  if (!WriteProject(saved, GetProgramVersion(), ProjectViewOf(*form), form->GeologyList(), form->Root()))
    std::abort();
  return saved.TakeData();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterProgramClasses();
    LoadSettings(fuzzing::ScratchFolder() + "/QIRA3D.ini", fuzzing::ScratchFolder());
    ViewWindowHooks() = TViewWindowHooks{};
    ViewWindowHooks().CloseMainFrame = [] {};
    SetFileVersionDialog([](QWidget*, const std::string&, int32_t) {});
  });
  TMemoryStream stream(data, size);
  TProject project;
  try {
    project = ReadProject(stream, "fuzz.q3d", GetProgramVersion());
  } catch (const EProjectFileError&) {
    return 0;
  }
  const std::string outline = fuzzing::Outline(*project.Root);
  const int legendCount = project.Legend.Count();
  const std::vector<uint8_t> first = InstallAndSave(std::move(project));
  TMemoryStream reopened(first);
  // What the program wrote it must read: a throw here ends the run as a finding.
  TProject reread = ReadProject(reopened, "fuzz.q3d", GetProgramVersion());
  fuzzing::Expect(fuzzing::Outline(*reread.Root) == outline, "the project's objects");
  fuzzing::Expect(reread.Legend.Count() == legendCount, "the project's legend");
  const std::vector<uint8_t> second = InstallAndSave(std::move(reread));
  fuzzing::Expect(first == second, "the project's second save");
  return 0;
}

#include "ui/ProjectFile.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>
#include <QWidget>

#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

#include "model/Borehole.h"
#include "model/DrawCosts.h"
#include "model/GraphAxis.h"
#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "model/LostText.h"
#include "model/Section.h"
#include "model/SectionGroup.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/EarlierContent.h"
#include "scene/graph/CameraLight.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "ui/FrameDialogs.h"
#include "ui/ViewWindow.h"

// Sections: texts and hooks; header; current layout; older layout; writer; window
// commands.

namespace qira {

namespace {

std::string NameWithoutFolder(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Any shortfall inside the file: the stream is damaged.
void Require(bool ok) {
  if (!ok) throw EStreamError();
}

TRecentFileSink& RecentSink() {
  static TRecentFileSink sink;
  return sink;
}

TFileVersionDialog& VersionDialog() {
  static TFileVersionDialog dialog;
  return dialog;
}

std::string& LastProjectFolder() {
  static std::string folder;
  return folder;
}

void AddToRecent(const std::string& path) {
  SetProjectFolderFrom(path);
  if (const TRecentFileSink& sink = RecentSink()) sink(path);
}

// The smallest stored record of the older layout: a chunk header.
constexpr int32_t kMinOldRecordSize = 8;

// An int32 count of records that each take at least minSize bytes.
int32_t ReadCount(TBinaryStream& s, int32_t minSize) {
  int32_t count = 0;
  Require(s.ReadInt32(count));
  Require(count >= 0 && count <= s.Remaining() / minSize);
  return count;
}

}  // namespace

// ---- Texts and hooks ---------------------------------------------------------------------

std::string ProjectNotFoundText(const std::string& path) { return "File " + NameWithoutFolder(path) + " not found"; }

std::string ProjectInvalidFormatText(const std::string& path) {
  std::string text = "File " + NameWithoutFolder(path) + " has invalid format";
  // A save in place cut short leaves such a file: say where its earlier content is.
  if (const std::string kept = KeptEarlierContentOf(path); !kept.empty())
    text += ". Its content from before an interrupted save is kept in \"" + kept +
            "\": to restore it, copy that file over it.";
  return text;
}

std::string ProjectCannotCreateText(const std::string& path, const std::string& reason) {
  return CannotFileText("create", path, reason);
}

std::string ProjectOpenElsewhereText(const std::string& path) {
  return ProjectCannotCreateText(path, "it is open in another window: close it there first, or choose another name");
}

std::string ProjectChangedOnDiskText(const std::string& path) {
  return "The file \"" + path +
         "\" has been changed by another program since it was opened or saved here. Save over it?";
}

std::string ProjectSkippedObjectsText(const std::string& path, int32_t count) {
  const bool one = count == 1;
  return "File " + NameWithoutFolder(path) + ": " + (one ? "1 object was" : std::to_string(count) + " objects were") +
         " skipped: " + (one ? "it was" : "they were") +
         " written by a newer version of the program. Saving the project under its name would remove " +
         (one ? "it" : "them") + " from the file.";
}

std::string AbsoluteProjectPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
}

bool SameProjectFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  std::error_code ecA, ecB;
  const std::filesystem::path resolvedA = std::filesystem::weakly_canonical(AbsoluteProjectPath(a), ecA);
  const std::filesystem::path resolvedB = std::filesystem::weakly_canonical(AbsoluteProjectPath(b), ecB);
  return !ecA && !ecB && resolvedA == resolvedB;
}

const std::string& ProjectFolder() { return LastProjectFolder(); }

void SetProjectFolderFrom(const std::string& path) {
  if (path.empty()) return;
  LastProjectFolder() = std::filesystem::path(AbsoluteProjectPath(path)).parent_path().string();
}

void SetRecentFileSink(TRecentFileSink sink) { RecentSink() = std::move(sink); }

void SetFileVersionDialog(TFileVersionDialog dialog) { VersionDialog() = std::move(dialog); }

const TFileVersionDialog& FileVersionDialog() {
  static const TFileVersionDialog modal = [](QWidget* parent, const std::string& path, int32_t fileVersion) {
    TFileVersionForm form(parent, path, fileVersion);
    form.exec();
  };
  return VersionDialog() ? VersionDialog() : modal;
}

bool IsProjectTooNew(int32_t fileVersion, int32_t programVersion) {
  return fileVersion / 100 > programVersion / 100;
}

// ---- Header -----------------------------------------------------------------------------------

int32_t ReadProjectHeader(TBinaryStream& stream, const std::string& path) {
  std::string signature;
  if (!ReadRawString(stream, kProjectSignatureLength, signature) || signature != kProjectSignature)
    throw EProjectFileError(ProjectInvalidFormatText(path));
  // Every version passes here; the caller decides what a version means.
  TFileVersion chunk(stream, INT32_MAX);
  int32_t version = 0;
  if (!chunk.ReadHeader(version, false) || chunk.Damaged()) throw EProjectFileError(ProjectInvalidFormatText(path));
  return version;
}

// ---- Current layout ---------------------------------------------------------------------------

namespace {

// A coordinate that is no finite number would spread into every later view and save.
void ReadFloats(TBinaryStream& s, TAffineVector& v) {
  Require(s.ReadFloat(v.x) && s.ReadFloat(v.y) && s.ReadFloat(v.z));
  Require(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
}

void ReadOffset(TBinaryStream& s, double& x, double& y, double& z) {
  Require(s.ReadDouble(x) && s.ReadDouble(y) && s.ReadDouble(z));
  Require(std::isfinite(x) && std::isfinite(y) && std::isfinite(z));
}

// The object records of a tree from here: each record, the records of its children
// and, for every kind but the group, the kind's own chunk behind it. Used on a tree
// the reader has just accepted, still checked: a fault raises EStreamError.
int32_t CountStoredRecords(TBinaryStream& s, int depth) {
  Require(depth < MaxGraphNesting);
  TFileVersion common(s, INT32_MAX);
  int32_t version = 0;
  Require(common.ReadHeader(version, false));
  int32_t typeId = 0;
  int32_t total = 1;
  {
    const TReadBound fields(s, common.EndOffset);
    int32_t count = 0;
    Require(s.ReadInt32(typeId) && SkipLengthString(s));
    constexpr int32_t kFlagsAndBounds = 5 + 6 * 8;
    Require(s.Remaining() >= kFlagsAndBounds && s.Seek(s.Position() + kFlagsAndBounds));
    Require(s.ReadInt32(count) && count >= 0 && count <= s.Remaining() / MinGraphRecordSize);
    for (int32_t i = 0; i < count; ++i) total += CountStoredRecords(s, depth + 1);
    Require(common.SkipToEnd());
  }
  if (typeId != GraphTypeId::Group) {
    TFileVersion own(s, INT32_MAX);
    Require(own.ReadHeader(version, false) && own.SkipToEnd());
  }
  return total;
}

int32_t CountObjects(const TGraphMain& object) {
  int32_t total = 1;
  for (int i = 0; i < object.ChildCount(); ++i) total += CountObjects(*object.GetChild(i));
  return total;
}

void ReadCurrentLayout(TBinaryStream& s, TProject& project) {
  std::array<double, 3>& offset = project.View.ModelOffset;
  ReadOffset(s, offset[0], offset[1], offset[2]);
  ReadFloats(s, project.View.CameraPosition);
  ReadFloats(s, project.View.ViewDirection);
  // A legend block newer than known is skipped whole; the tree behind it is read.
  project.Legend.LoadFromStream(s);
  // A root record that cannot be read gives no project: an empty scene shown in its
  // place would pass for the file's content.
  const int32_t treeStart = s.Position();
  Require(LoadGraphTree(s, *project.Root) == TGraphLoadResult::Loaded);
  // Records the reader skipped leave no trace in the tree: the count of stored
  // records tells how many there were.
  const int32_t treeEnd = s.Position();
  Require(s.Seek(treeStart));
  project.SkippedObjects = CountStoredRecords(s, 0) - CountObjects(*project.Root);
  Require(s.Seek(treeEnd));
}

// ---- Older layout ---------------------------------------------------------------------------

TGraphMain* AppendGroup(TGraphMain& root, const char* name) {
  auto group = std::make_unique<TGraphMain>();
  group->SetName(name);
  return root.AddChild(std::move(group), false);
}

// Reads an object of the older layout by load (false: skipped); null when it was
// skipped or the count of the open keeps no more.
template <class TKind, class TLoad>
std::unique_ptr<TKind> ReadOldObject(TLoad load) {
  auto object = std::make_unique<TKind>();
  if (!load(*object) || !TOpenCount::Keep(*object)) return nullptr;
  return object;
}

void ReadOldBoreholes(TBinaryStream& s, TGraphMain& boreholes) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  std::vector<std::unique_ptr<TGraphMain>> read;
  for (int32_t i = 0; i < count; ++i)
    if (auto borehole = ReadOldObject<TGraphBorehole>([&](TGraphBorehole& b) { return b.LoadOldLayout(s); }))
      read.push_back(std::move(borehole));
  boreholes.AddChildrenSorted(std::move(read));
}

// Each section goes to the first group of its pair that does not hold its frequency,
// else into a new group of the pair: as a search of the whole tree for each would
// find, since the boreholes before hold no section group.
void ReadOldSections(TBinaryStream& s, TGraphMain& sections) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  std::vector<std::unique_ptr<TGraphSection>> read;
  for (int32_t i = 0; i < count; ++i)
    if (auto section = ReadOldObject<TGraphSection>([&](TGraphSection& o) { return o.LoadOldLayout(s); }))
      read.push_back(std::move(section));
  AddSectionsGrouped(sections, std::move(read));
  // The groups made for them count as stored groups do.
  for (int i = 0; i < sections.ChildCount(); ++i) TOpenCount::Keep(*sections.GetChild(i));
}

// Version 2 stores the one-chunk surface record, version 3 the three-chunk one.
void ReadOldSurfaces(TBinaryStream& s, int32_t version, TGraphMain& objects) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  for (int32_t i = 0; i < count; ++i) {
    auto surface = ReadOldObject<TGraphSurface>(
        [&](TGraphSurface& o) { return version == 2 ? o.LoadOldLayout(s) : o.LoadOldLayout2(s); });
    if (surface) objects.AddChild(std::move(surface), false);
  }
}

void ReadLegacyLayout(TBinaryStream& s, int32_t version, TProject& project) {
  project.View.Legacy = true;
  double x = 0, y = 0, z = 0;
  ReadOffset(s, x, y, z);
  project.View.ModelOffset = {x, z, y};
  constexpr int32_t kUnusedFloats = 12 * 4;
  Require(s.Remaining() >= kUnusedFloats && s.Seek(s.Position() + kUnusedFloats));
  Require(s.ReadFloat(project.View.CameraDistance) && std::isfinite(project.View.CameraDistance));
  project.Legend.LoadFromStream(s);
  // What a version-4 file holds behind the legend is not known: nothing is read.
  if (version >= kLastLegacyProjectVersion) return;

  TGraphMain& root = *project.Root;
  ReadOldBoreholes(s, *AppendGroup(root, "Boreholes"));
  TGraphMain* sections = AppendGroup(root, "Sections");
  ReadOldSections(s, *sections);
  TGraphMain* objects = AppendGroup(root, "Objects");
  if (version == 2 || version == 3) ReadOldSurfaces(s, version, *objects);
  auto axis = std::make_unique<TGraphAxis>();
  if (version >= 1) Require(axis->LoadOldLayout(s));
  for (TGraphMain* counted : {root.GetChild(0), sections, objects, static_cast<TGraphMain*>(axis.get())})
    TOpenCount::Keep(*counted);
  objects->InsertChild(std::move(axis), 0);
}

}  // namespace

TProject ReadProject(TBinaryStream& stream, const std::string& path, int32_t programVersion, int64_t alsoNeeded) {
  const int32_t version = ReadProjectHeader(stream, path);
  if (IsProjectTooNew(version, programVersion)) throw EProjectTooNew(path, version);
  TProject project;
  project.Version = version;
  project.Root = std::make_unique<TGraphMain>();
  // Counted as it is read, with what opening it adds after: a project the memory
  // cannot hold is refused whole, before a window builds any of it.
  std::string refusal;
  try {
    refusal = ReadCounted(
        path,
        [&] {
          if (version > kLastLegacyProjectVersion) {
            ReadCurrentLayout(stream, project);
          } else {
            ReadLegacyLayout(stream, version, project);
          }
        },
        alsoNeeded);
  } catch (const EStreamError&) {
    throw EProjectFileError(ProjectInvalidFormatText(path));
  }
  if (!refusal.empty()) throw EProjectFileError(refusal);
  return project;
}

TProject ReadProjectFile(const std::string& path, int32_t programVersion, int64_t alsoNeeded) {
  // Looked at before the read: a write while it reads makes the file differ later.
  std::optional<TFileIdentity> identity = FileIdentityOf(path);
  std::string error;
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(path, TBinaryFile::Mode::Read, &error);
  if (!file) throw EProjectFileError(FileReadFailureText(path, NameWithoutFolder(path), error));
  TProject project = ReadProject(*file, path, programVersion, alsoNeeded);
  project.Identity = identity;
  return project;
}

// ---- Writer -------------------------------------------------------------------------------------

namespace {

bool WriteFloats(TBinaryStream& s, const TAffineVector& v) {
  return s.WriteFloat(v.x) && s.WriteFloat(v.y) && s.WriteFloat(v.z);
}

}  // namespace

bool WriteProject(TBinaryStream& stream, int32_t version, const TProjectView& view, const TGeologyList& legend,
                  TGraphMain& root) {
  if (!WriteRawString(stream, kProjectSignature)) return false;
  TFileVersion chunk(stream, version);
  if (!chunk.WriteHeader()) return false;
  for (double v : view.ModelOffset)
    if (!stream.WriteDouble(v)) return false;
  return WriteFloats(stream, view.CameraPosition) && WriteFloats(stream, view.ViewDirection) &&
         legend.SaveToStream(stream) && root.SaveRecord(stream) && chunk.WriteEndOffset();
}

// ---- Window commands ------------------------------------------------------------------------------

TProjectView ProjectViewOf(TForm3D& window) {
  TProjectView view;
  view.ModelOffset = window.Context().ModelOffset;
  view.CameraPosition = window.Camera->Position().AsAffineVector();
  view.ViewDirection = window.AxisCube->Direction().AsAffineVector();
  return view;
}

namespace {

// InstallProject, named `name` (empty: a document never saved); a name from a
// project file goes to the recent files.
void InstallProjectAs(TForm3D& window, TProject project, const std::string& name, bool recent) {
  IgnoreNextMouseMove = true;
  const TProjectView& view = project.View;
  window.Context().ModelOffset = view.ModelOffset;
  window.Context().PlacedOffset = view.ModelOffset;
  // Objects are placed from the offset alone, so the model cube starts where a new
  // window has it.
  window.ModelCube->Position().SetPoint(0, 0, 0);
  if (view.Legacy) {
    window.Camera->Position().SetZ(view.CameraDistance);
    const float light = view.CameraDistance / 10;
    window.LightSource->Position().SetPoint(light, light, light);
  } else {
    window.Camera->Position().SetPoint(view.CameraPosition.x, view.CameraPosition.y, view.CameraPosition.z);
    window.AxisCube->Direction().SetVector(view.ViewDirection.x, view.ViewDirection.y, view.ViewDirection.z);
  }
  window.GeologyList() = std::move(project.Legend);
  window.ReplaceRoot(std::move(project.Root));
  TGraphMain& root = window.Root();
  root.SetContext(&window.Context());
  root.SetGeologyList(&window.GeologyList());
  window.RebuildTree();
  root.Build(true);
  const std::string absolute = name.empty() ? std::string() : AbsoluteProjectPath(name);
  window.SetFileName(absolute);
  window.SetFileIdentity(recent ? project.Identity : std::nullopt);
  window.SetModified(false);
  if (recent) AddToRecent(absolute);
  if (project.SkippedObjects > 0) ShowMessageDlg(ProjectSkippedObjectsText(name, project.SkippedObjects), 0);
}

}  // namespace

void InstallProject(TForm3D& window, TProject project, const std::string& path) {
  InstallProjectAs(window, std::move(project), path, true);
}

namespace {

// Reads the file whole (counting what a new window takes drawn too, windowBytes);
// on failure tells the user and returns nothing.
std::optional<TProject> ReadForOpening(QWidget* parent, const std::string& path, int64_t windowBytes) {
  // An open may take much memory: the changed documents are copied first.
  BeforeLargeStep();
  try {
    return ReadProjectFile(path, GetProgramVersion(), windowBytes);
  } catch (const EProjectTooNew& e) {
    FileVersionDialog()(parent, path, e.FileVersion);
  } catch (const EProjectFileError& e) {
    ShowMessageDlg(e.what(), 1);
  }
  return std::nullopt;
}

// Frees a window that was never shown whole, with its sub-window when it has one.
void DiscardWindow(TForm3D* form) {
  QWidget* frame = form->FrameWidget();
  if (frame != form) {
    delete frame;
  } else {
    delete form;
  }
}

}  // namespace

int64_t NewWindowDrawBytes(TForm3D& form, bool fullScreen) {
  QWidget* frame = form.FrameWidget();
  QScreen* screen = frame->screen() != nullptr ? frame->screen() : QGuiApplication::primaryScreen();
  const double ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
  auto drawn = [ratio](const QSize& size) {
    return ViewDrawBytes(std::llround(size.width() * ratio), std::llround(size.height() * ratio));
  };
  const QSize screenSize = screen != nullptr ? screen->geometry().size() : frame->size();
  QMdiArea* area = form.FrameArea();
  const QSize room = area != nullptr ? area->viewport()->size()
                     : screen != nullptr ? screen->availableGeometry().size()
                                         : frame->size();
  QSize size = (frame->windowState() & Qt::WindowMaximized) ? room : frame->size();
  // A sub-window without a size of its own yet is given two thirds of the area when
  // the frame shows it.
  constexpr int kSmallestWidth = 200, kSmallestHeight = 150;
  if (area != nullptr && (size.width() < kSmallestWidth || size.height() < kSmallestHeight))
    size = size.expandedTo(room * 2 / 3);
  const QSize view(std::max(size.width() - form.PanelWidth(), 1), std::max(size.height(), 1));
  if (!fullScreen) return drawn(view);
  // The independent viewer draws in a window of its own beside the view.
  return Win7FullScreenMode ? drawn(view) + drawn(screenSize) : drawn(screenSize);
}

bool LoadProject(TForm3D& window, const std::string& path) {
  std::optional<TProject> project = ReadForOpening(&window, path, 0);
  if (!project) return false;
  InstallProject(window, std::move(*project), path);
  return true;
}

namespace {

// CreateFromFile of the file `path`, the window named `name`; a recovered one is
// changed and leaves the recent files alone.
TForm3D* CreateNamedFromFile(QWidget* owner, const std::string& path, const std::string& name, bool fullScreen,
                             bool recovered) {
  // The window first: what its view will take is counted with the file, at the
  // size the window has.
  auto* form = new TForm3D(owner);
  try {
    std::optional<TProject> project;
    {
      // A recovery copy holds its texts as the document did (TRecoveryCopies).
      std::optional<TUtf8Verbatim> verbatim;
      if (recovered) verbatim.emplace();
      project = ReadForOpening(owner, path, NewWindowDrawBytes(*form, fullScreen));
    }
    if (!project) {
      DiscardWindow(form);
      return nullptr;
    }
    InstallProjectAs(*form, std::move(*project), name, !recovered);
    if (recovered) form->SetModified(true);
  } catch (...) {
    DiscardWindow(form);
    throw;
  }
  return form;
}

}  // namespace

TForm3D* CreateFromFile(QWidget* owner, const std::string& path, bool fullScreen) {
  return CreateNamedFromFile(owner, path, path, fullScreen, false);
}

TForm3D* CreateFromRecoveryCopy(QWidget* owner, const std::string& copyPath, const std::string& documentPath) {
  return CreateNamedFromFile(owner, copyPath, documentPath, false, true);
}

namespace {

// The window's own file, written by another program since the window read or wrote
// it: saving would drop that program's work without a word.
bool ChangedByAnotherProgram(const TForm3D& window, const std::string& path) {
  const std::optional<TFileIdentity>& known = window.FileIdentity();
  if (!known || !SameProjectFile(path, window.FileName())) return false;
  const std::optional<TFileIdentity> now = FileIdentityOf(path);
  return now && *now != *known;
}

}  // namespace

namespace {

// What a save writes of the window, wherever it goes.
bool WriteWindowTo(TForm3D& window, TBinaryStream& stream) {
  return WriteProject(stream, GetProgramVersion(), ProjectViewOf(window), window.GeologyList(), window.Root());
}

}  // namespace

bool WriteWindowProject(TForm3D& window, TSaveFile& save, std::string* error) {
  if (WriteWindowTo(window, save.Stream())) return save.Commit(error);
  if (error) *error = save.FailureReason("Stream write error");
  return false;
}

bool SaveProject(TForm3D& window, const std::string& path) {
  std::string error;
  // A tree the reader would refuse is not written over a file that opens.
  if (GraphTreeDepth(window.Root()) > MaxGraphNesting) {
    ShowMessageDlg(ProjectCannotCreateText(path, GraphTreeTooDeepText()), 1);
    return false;
  }
  // Asked before anything is made: a Cancel leaves the file and the document as they were.
  const auto write = [&window](TBinaryStream& stream) { return WriteWindowTo(window, stream); };
  if (!WriteKeepsTextOrUserAgrees(AbsoluteProjectPath(path), write)) return false;
  if (ChangedByAnotherProgram(window, path) &&
      MessageBoxDlg(ProjectChangedOnDiskText(AbsoluteProjectPath(path)), 0, TMessageButtons::YesNo, 2) !=
          TMessageResult::Yes)
    return false;
  const std::optional<TFileIdentity> known = window.FileIdentity();
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(path, &error);
  const bool saved = save && WriteWindowProject(window, *save, &error);
  if (!saved) {
    // A failed save in place put back what the window knew the file to hold: only
    // its time is new, and the next save need not ask about it.
    if (save && save->RestoredIdentity() && known && save->KeptIdentity() == known)
      window.SetFileIdentity(save->RestoredIdentity());
    ShowMessageDlg(ProjectCannotCreateText(path, error), 1);
    return false;
  }
  const std::string absolute = AbsoluteProjectPath(path);
  window.SetFileName(absolute);
  // What the next save compares with: the file this save wrote, not whatever the
  // name leads to by now.
  window.SetFileIdentity(save->WrittenIdentity());
  window.SetModified(false);
  AddToRecent(absolute);
  return true;
}

bool SaveProjectAs(TForm3D& window) {
  TFileRequest request;
  request.DefaultExt = kProjectExtension;
  request.Filter = kProjectFilter;
  request.OverwritePrompt = true;
  request.FileName = window.FileName();
  request.InitialDir = window.FileName().empty()
                           ? ProjectFolder()
                           : std::filesystem::path(window.FileName()).parent_path().string();
  std::optional<std::string> path = Services().Files->SaveFile(request);
  if (!path) return false;
  // Two documents under one name would each overwrite what the other saved.
  if (const TForm3D* holder = DocumentOfFile(*path); holder != nullptr && holder != &window) {
    ShowMessageDlg(ProjectOpenElsewhereText(*path), 1);
    return false;
  }
  return SaveProject(window, *path);
}

}  // namespace qira

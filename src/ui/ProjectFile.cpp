#include "ui/ProjectFile.h"

#include <QWidget>

#include <climits>
#include <filesystem>
#include <optional>
#include <utility>

#include "model/Borehole.h"
#include "model/GraphAxis.h"
#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "model/Section.h"
#include "model/SectionGroup.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
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

void AddToRecent(const std::string& path) {
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
  return "File " + NameWithoutFolder(path) + " has invalid format";
}

std::string ProjectCannotCreateText(const std::string& path, const std::string& reason) {
  return "Cannot create file \"" + path + "\". " + reason;
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

void ReadFloats(TBinaryStream& s, TAffineVector& v) { Require(s.ReadFloat(v.x) && s.ReadFloat(v.y) && s.ReadFloat(v.z)); }

void ReadCurrentLayout(TBinaryStream& s, TProject& project) {
  std::array<double, 3>& offset = project.View.ModelOffset;
  Require(s.ReadDouble(offset[0]) && s.ReadDouble(offset[1]) && s.ReadDouble(offset[2]));
  ReadFloats(s, project.View.CameraPosition);
  ReadFloats(s, project.View.ViewDirection);
  // A legend block newer than known is skipped whole; the tree behind it is read.
  project.Legend.LoadFromStream(s);
  // A root record that cannot be read gives no project: an empty scene shown in its
  // place would pass for the file's content.
  Require(LoadGraphTree(s, *project.Root) == TGraphLoadResult::Loaded);
}

// ---- Older layout ---------------------------------------------------------------------------

TGraphMain* AppendGroup(TGraphMain& root, const char* name) {
  auto group = std::make_unique<TGraphMain>();
  group->SetName(name);
  return root.AddChild(std::move(group), false);
}

void ReadOldBoreholes(TBinaryStream& s, TGraphMain& boreholes) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  for (int32_t i = 0; i < count; ++i) {
    auto borehole = std::make_unique<TGraphBorehole>();
    if (borehole->LoadOldLayout(s)) boreholes.AddChild(std::move(borehole), true);
  }
}

void ReadOldSections(TBinaryStream& s, TGraphMain& root, TGraphMain& sections) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  for (int32_t i = 0; i < count; ++i) {
    auto section = std::make_unique<TGraphSection>();
    if (!section->LoadOldLayout(s)) continue;
    TGraphMain* group = root.FindSectionGroup(*section);
    if (group == nullptr) {
      auto newGroup = std::make_unique<TGraphSectionGroup>();
      newGroup->SetPairFrom(*section);
      group = sections.AddChild(std::move(newGroup), true);
    }
    group->AddChild(std::move(section), true);
  }
}

// Version 2 stores the one-chunk surface record, version 3 the three-chunk one.
void ReadOldSurfaces(TBinaryStream& s, int32_t version, TGraphMain& objects) {
  const int32_t count = ReadCount(s, kMinOldRecordSize);
  for (int32_t i = 0; i < count; ++i) {
    auto surface = std::make_unique<TGraphSurface>();
    const bool loaded = version == 2 ? surface->LoadOldLayout(s) : surface->LoadOldLayout2(s);
    if (loaded) objects.AddChild(std::move(surface), false);
  }
}

void ReadLegacyLayout(TBinaryStream& s, int32_t version, TProject& project) {
  project.View.Legacy = true;
  double x = 0, y = 0, z = 0;
  Require(s.ReadDouble(x) && s.ReadDouble(y) && s.ReadDouble(z));
  project.View.ModelOffset = {x, z, y};
  constexpr int32_t kUnusedFloats = 12 * 4;
  Require(s.Remaining() >= kUnusedFloats && s.Seek(s.Position() + kUnusedFloats));
  Require(s.ReadFloat(project.View.CameraDistance));
  project.Legend.LoadFromStream(s);
  // What a version-4 file holds behind the legend is not known: nothing is read.
  if (version >= kLastLegacyProjectVersion) return;

  TGraphMain& root = *project.Root;
  ReadOldBoreholes(s, *AppendGroup(root, "Boreholes"));
  TGraphMain* sections = AppendGroup(root, "Sections");
  ReadOldSections(s, root, *sections);
  TGraphMain* objects = AppendGroup(root, "Objects");
  if (version == 2 || version == 3) ReadOldSurfaces(s, version, *objects);
  auto axis = std::make_unique<TGraphAxis>();
  if (version >= 1) Require(axis->LoadOldLayout(s));
  objects->InsertChild(std::move(axis), 0);
}

}  // namespace

TProject ReadProject(TBinaryStream& stream, const std::string& path, int32_t programVersion) {
  const int32_t version = ReadProjectHeader(stream, path);
  if (IsProjectTooNew(version, programVersion)) throw EProjectTooNew(path, version);
  TProject project;
  project.Version = version;
  project.Root = std::make_unique<TGraphMain>();
  try {
    if (version > kLastLegacyProjectVersion) {
      ReadCurrentLayout(stream, project);
    } else {
      ReadLegacyLayout(stream, version, project);
    }
  } catch (const EStreamError&) {
    throw EProjectFileError(ProjectInvalidFormatText(path));
  }
  return project;
}

TProject ReadProjectFile(const std::string& path, int32_t programVersion) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec))
    throw EProjectFileError(ProjectNotFoundText(path));
  std::string error;
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(path, TBinaryFile::Mode::Read, &error);
  if (!file) throw EProjectFileError("Cannot open file \"" + path + "\". " + error);
  return ReadProject(*file, path, programVersion);
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
         legend.SaveToStream(stream) && root.SaveToStream(stream) && chunk.WriteEndOffset();
}

// ---- Window commands ------------------------------------------------------------------------------

TProjectView ProjectViewOf(TForm3D& window) {
  TProjectView view;
  view.ModelOffset = window.Context().ModelOffset;
  view.CameraPosition = window.Camera->Position().AsAffineVector();
  view.ViewDirection = window.AxisCube->Direction().AsAffineVector();
  return view;
}

void InstallProject(TForm3D& window, TProject project, const std::string& path) {
  IgnoreNextMouseMove = true;
  const TProjectView& view = project.View;
  window.Context().ModelOffset = view.ModelOffset;
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
  window.SetFileName(path);
  AddToRecent(path);
}

namespace {

// Reads the file whole; on failure tells the user and returns nothing.
std::optional<TProject> ReadForOpening(QWidget* parent, const std::string& path) {
  try {
    return ReadProjectFile(path, GetProgramVersion());
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

bool LoadProject(TForm3D& window, const std::string& path) {
  std::optional<TProject> project = ReadForOpening(&window, path);
  if (!project) return false;
  InstallProject(window, std::move(*project), path);
  return true;
}

TForm3D* CreateFromFile(QWidget* owner, const std::string& path) {
  std::optional<TProject> project = ReadForOpening(owner, path);
  if (!project) return nullptr;
  auto* form = new TForm3D(owner);
  try {
    InstallProject(*form, std::move(*project), path);
  } catch (...) {
    DiscardWindow(form);
    throw;
  }
  return form;
}

bool SaveProject(TForm3D& window, const std::string& path) {
  std::string error;
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(path, &error);
  bool saved = false;
  if (save) {
    if (WriteProject(save->Stream(), GetProgramVersion(), ProjectViewOf(window), window.GeologyList(),
                     window.Root())) {
      saved = save->Commit(&error);
    } else {
      error = "Stream write error";
    }
  }
  if (!saved) {
    ShowMessageDlg(ProjectCannotCreateText(path, error), 1);
    return false;
  }
  window.SetFileName(path);
  AddToRecent(path);
  return true;
}

bool SaveProjectAs(TForm3D& window) {
  TFileRequest request;
  request.DefaultExt = kProjectExtension;
  request.Filter = kProjectFilter;
  request.OverwritePrompt = true;
  request.FileName = window.FileName();
  std::optional<std::string> path = Services().Files->SaveFile(request);
  if (!path) return false;
  return SaveProject(window, *path);
}

}  // namespace qira

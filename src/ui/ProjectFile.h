#pragma once
// The project file (*.q3d): one view window's scene, written and read back.
//
// Layout (little-endian, offsets from the file's first byte):
//   0  the 13 bytes "QIRA 3D image"
//   13 int32 chunk version = the writing program's version (a*1000000 + b*10000 + c*100 + d)
//   17 int32 absolute end offset of the chunk (the file's length)
//   21 model offset: three doubles in scene order (survey X, survey Z, survey Y)
//   45 camera position: three floats | 57 view direction (AxisCube): three floats
//   69 geology legend block, then the root object record (the whole tree).
// Older layout (chunk version 4 or less), behind the same signature and header:
//   model offset (three doubles, survey order X, Y, Z), twelve unused floats, float
//   camera distance, the legend; below version 4: int32 count + boreholes, int32
//   count + sections (old records); versions 2 and 3: int32 count + surfaces (old
//   records of version 2 or 3); versions 1 to 3: the axis cross (old record).
//
// Reading is all or nothing: the whole file is read into a TProject before any
// window sees it, so a damaged, short or unreadable file is refused with the
// system's message and leaves no half-built window and no half-changed window.
// Saving is atomic: the file is written beside the target and renamed over it, so
// a failed save leaves the old file and tells the user.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "model/GeologyList.h"
#include "model/GraphMain.h"
#include "platform/FileIdentity.h"
#include "scene/math/VectorTypes.h"

class QWidget;

namespace qira {

class TBinaryStream;
class TSaveFile;
class TForm3D;

inline constexpr const char* kProjectSignature = "QIRA 3D image";
inline constexpr int32_t kProjectSignatureLength = 13;
// Chunk versions up to this one are of the older layout.
inline constexpr int32_t kLastLegacyProjectVersion = 4;
// Open and save dialogs of projects.
inline constexpr const char* kProjectFilter = "QIRA 3D files (*.q3d)|*.q3d|All files (*.*)|*.*";
inline constexpr const char* kProjectExtension = "q3d";

// "File " + name without folder + " not found" / " has invalid format".
std::string ProjectNotFoundText(const std::string& path);
std::string ProjectInvalidFormatText(const std::string& path);
// The class library's text for a file that cannot be created.
std::string ProjectCannotCreateText(const std::string& path, const std::string& reason);
// Save as refused: another open document holds the file.
std::string ProjectOpenElsewhereText(const std::string& path);
// Asked before a save over the document's own file that another program has
// changed since the document read or wrote it.
std::string ProjectChangedOnDiskText(const std::string& path);
// Told after a load that dropped objects a newer program wrote.
std::string ProjectSkippedObjectsText(const std::string& path, int32_t count);

// The path made absolute (against the working folder) and normalised: windows and
// the recent-file list keep names that still hold from another working folder.
std::string AbsoluteProjectPath(const std::string& path);
// One file however it is reached (a link, ".." or another working folder); a name
// whose file is gone is compared with its folders resolved. False for "".
bool SameProjectFile(const std::string& a, const std::string& b);
// The folder of the project last opened or saved, where the open and save dialogs
// of projects start ("" until one is known: the dialog's own choice).
const std::string& ProjectFolder();
// Notes the folder of the project file path.
void SetProjectFolderFrom(const std::string& path);

// A project file that cannot be read; what() is the message the user sees.
class EProjectFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A project written by a program whose version, without its last number, is newer
// than this program's: the "Software updates" dialog names both versions.
class EProjectTooNew : public EProjectFileError {
 public:
  EProjectTooNew(const std::string& path, int32_t fileVersion)
      : EProjectFileError(ProjectInvalidFormatText(path)), FileVersion(fileVersion) {}
  int32_t FileVersion;
};

// The view as a project stores it.
struct TProjectView {
  std::array<double, 3> ModelOffset{0, 0, 0};  // scene order
  // Older layout: only a camera distance is stored (the camera's z; the light
  // stands at a tenth of it on every axis).
  bool Legacy = false;
  TAffineVector CameraPosition{0, 0, 20000};
  TAffineVector ViewDirection{0, 0, 1};
  float CameraDistance = 20000;
};

// A whole project read from a file, not yet in any window.
struct TProject {
  int32_t Version = 0;
  // Object records in the file that the tree lacks: written by a newer program
  // (a skipped record takes its whole subtree along).
  int32_t SkippedObjects = 0;
  TProjectView View;
  TGeologyList Legend;
  std::unique_ptr<TGraphMain> Root;
  // The file as it was before it was read (ReadProjectFile only): a change during
  // the read counts as a change by another program.
  std::optional<TFileIdentity> Identity;
};

// The version test of opening: the file needs a newer program when its version
// div 100 exceeds the program's (the last of the four numbers does not count).
bool IsProjectTooNew(int32_t fileVersion, int32_t programVersion);

// Reads the signature and the chunk header; returns the chunk version and leaves
// the stream behind the header. Raises EProjectFileError (invalid format) on
// another signature or a damaged header.
int32_t ReadProjectHeader(TBinaryStream& stream, const std::string& path);

// Reads a whole project. Raises EProjectTooNew for a newer file and
// EProjectFileError ("... has invalid format") for a damaged one, a short one, or
// one whose tree cannot be read (a root record newer than known included): a
// project is only ever returned whole. What the open takes (the objects read and
// what building and drawing them first adds) is counted as they are read; one the
// memory available cannot hold raises EProjectFileError with TooLargeText ("The
// file "<path>" is too large to be read: it needs <n> MB of memory, ..."); the
// count starts at alsoNeeded (what the open adds besides the objects: a new window).
TProject ReadProject(TBinaryStream& stream, const std::string& path, int32_t programVersion,
                     int64_t alsoNeeded = 0);
// The same from a file; a missing file raises EProjectFileError("... not found").
TProject ReadProjectFile(const std::string& path, int32_t programVersion, int64_t alsoNeeded = 0);

// Writes the current layout with the given chunk version; false when a write failed.
// The root's Expanded flags are taken from its tree nodes (as every save does).
bool WriteProject(TBinaryStream& stream, int32_t version, const TProjectView& view,
                  const TGeologyList& legend, TGraphMain& root);

// ---- The view window's project commands ---------------------------------------------

// The window's offset, camera position and AxisCube direction.
TProjectView ProjectViewOf(TForm3D& window);
// Puts a project read whole into the window: view, legend and tree; builds it,
// names the window after path (made absolute) and the file's identity as read,
// adds it to the recent files and leaves the document unmodified. Skipped objects
// are told (warning) afterwards; the file itself is left alone.
void InstallProject(TForm3D& window, TProject project, const std::string& path);

// What a new window of CreateFromFile takes drawn beside its project: its view at the
// size the window gives it (its frame's, maximized or not, less the tree beside the
// view), or at the screen's when the caller takes it full screen at once.
int64_t NewWindowDrawBytes(TForm3D& form, bool fullScreen);

// Reads the file into the window. On any failure the user sees the system's message
// (or the "Software updates" dialog), the window stays as it was and the result is false.
bool LoadProject(TForm3D& window, const std::string& path);
// The window's second constructor: a view window made from the file, or null (after
// the message or the dialog) when the file cannot be opened. No window remains on
// failure. Its count takes the view at the size the window gives it, or at the
// screen's when the caller takes it full screen at once (fullScreen).
TForm3D* CreateFromFile(QWidget* owner, const std::string& path, bool fullScreen = false);

// Writes the window's project into `save` and commits it, and nothing else: the
// window's name, mark and file and the recent files stay as they are. False, the
// reason in *error, when a write or the commit failed.
bool WriteWindowProject(TForm3D& window, TSaveFile& save, std::string* error);
// A document's recovery copy opened in a new view window named `documentPath`
// (empty: a document never saved), changed, its file unknown (its Save asks
// nothing) and the recent files left alone; null as CreateFromFile.
TForm3D* CreateFromRecoveryCopy(QWidget* owner, const std::string& copyPath, const std::string& documentPath);

// Writes the window's project atomically; then the window takes the name (made
// absolute) and the saved file's identity, is no longer modified and the name goes
// to the head of the recent files. On failure the old file stays, the window stays
// modified, the user is told ("Cannot create file ...") and the result is false.
// The window's own file, changed by another program since the window read or wrote
// it, is saved over only after a Yes to ProjectChangedOnDiskText (default No); No
// writes nothing and gives false. A file gone since is saved without a question.
// A save in place is done only when the name still leads to the file written; one
// that failed and put the earlier content back, over the file as the window knew
// it, leaves that file the window's own (the next save asks nothing).
bool SaveProject(TForm3D& window, const std::string& path);
// Asks for a name (save dialog, default extension "q3d", overwrite prompt, starting
// in the window's own folder or ProjectFolder()), then SaveProject. A file another
// open document holds is refused (ProjectOpenElsewhereText), and nothing is
// written. False when cancelled, refused or failed.
bool SaveProjectAs(TForm3D& window);

// ---- Hooks ----------------------------------------------------------------------------

// Receives every name a project was loaded from or saved under (the main frame's
// recent-file list). Empty: nothing.
using TRecentFileSink = std::function<void(const std::string& path)>;
void SetRecentFileSink(TRecentFileSink sink);

// Shown instead of a window for a file of a newer program. The default is the
// modal "Software updates" dialog.
using TFileVersionDialog =
    std::function<void(QWidget* parent, const std::string& path, int32_t fileVersion)>;
void SetFileVersionDialog(TFileVersionDialog dialog);
// The dialog installed now (the default when none was set).
const TFileVersionDialog& FileVersionDialog();

}  // namespace qira

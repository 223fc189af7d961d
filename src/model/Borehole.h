#pragma once
// The borehole object (type id 2): a path of points in survey coordinates computed
// from an inclination file, each point tagged with a rock of the view's geology
// legend; shown as a pipe coloured by rock (or in one colour) with the name as flat
// text at the top and at the bottom of the path.
//
// Own chunk (version 0, behind the common record), little-endian:
//   "Borehole" (8 bytes, no length) | int32 n | n points of X, Y, Z, Depth (doubles)
//   and GeologyIndex (int32) | Name (int32 length + bytes) | Collar X, Y, Z (doubles) |
//   Radius double | ShowLabels byte | LabelColor uint32 | LabelSize double |
//   ApplyPipeToAll, ApplyColorToAll, ShowTopLabel, ShowBottomLabel, ApplyLabelsToAll
//   (one byte each).
// UseGeologyColors and PipeColor are not stored: a loaded borehole has their
// defaults (rock colours, grey).
//
// Sections: points and settings; dialog hooks; TGraphBorehole; registration.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "model/SurveyPoint.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TBinaryStream;
class TGeologyList;
class TGLFlatText;
class TGLPipe;

// ---- Points and settings ----------------------------------------------------------

// One point of the path.
struct TBoreholeItem {
  double X = 0;      // North, metres
  double Y = 0;      // East, metres
  double Z = 0;      // elevation, metres (decreases downwards)
  double Depth = 0;  // along the hole
  int32_t GeologyIndex = -1;  // rock in the view's legend; -1 none
};
using TBoreholeItemArray = std::vector<TBoreholeItem>;

// The display settings the borehole dialog edits as a whole.
struct TBoreholeSettings {
  double Radius = 5.0;          // pipe radius in metres (the dialog shows the diameter)
  bool UseGeologyColors = true;  // colour by rock; false: PipeColor everywhere
  TColor PipeColor = 0x808080;   // also for points without a rock
  bool ApplyPipeToAll = true;
  bool ApplyColorToAll = true;
  bool ShowLabels = true;
  TColor LabelColor = 0xFFFFFF;
  double LabelSize = 1.0;  // the labels' scale is LabelSize * 0.25
  bool ShowTopLabel = false;
  bool ShowBottomLabel = true;
  bool ApplyLabelsToAll = true;
};

// ---- Dialog hooks -------------------------------------------------------------------

// The collar dialog: name and collar (North, East, Elevation); true on OK with the
// values as the user left them.
using TBoreholeCoordsDialog = std::function<bool(std::string& name, double& x, double& y, double& z)>;
// The borehole dialog: (caption, settings, transparency pair) -> true on OK.
using TBoreholeEditor =
    std::function<bool(const std::string& caption, TBoreholeSettings& settings, TTransparencyParams& base)>;
// Installed by the user interface; without them creation and Edit are cancelled.
void SetBoreholeDialogs(TBoreholeCoordsDialog coordsDialog, TBoreholeEditor editor);

// ---- TGraphBorehole -----------------------------------------------------------------

class TGraphBorehole : public TGraphMain {
 public:
  // The default settings, no points, collar (0, 0, 0), AcceptForAll on.
  TGraphBorehole();
  ~TGraphBorehole() override;

  TBoreholeItemArray Points;  // the path, in ascending depth
  TSurveyPoint Collar;        // as the user gave it
  TGeologyList* GeologyList = nullptr;  // the view's legend; not owned
  TBoreholeSettings Settings;
  TBuiltNode<TGLPipe> Pipe;
  TBuiltNode<TGLFlatText> TopLabel;
  TBuiltNode<TGLFlatText> BottomLabel;

  // -- Creation.

  // The "&Borehole" command: asks for the inclination file and reads and checks it
  // at once (an unusable file is reported before anything else is asked), then the
  // geology file and the collar, and builds the borehole as LoadInclinationFile
  // does. Null when cancelled or when the files fail.
  static std::unique_ptr<TGraphBorehole> CreateFromFiles(TGeologyList* geologyList);
  // Reads the inclination file, computes the path from the collar, merges the
  // intervals of the geology file (none when bgdFileName is empty) and returns the
  // new borehole. An unreadable inclination file is reported to the user (its
  // reader's message) and gives null; an unreadable geology file is reported as
  // "Geology is not loaded" and gives a borehole without rocks.
  static std::unique_ptr<TGraphBorehole> LoadInclinationFile(TGeologyList* geologyList,
                                                             const std::string& inkFileName,
                                                             const std::string& bgdFileName,
                                                             const std::string& name, double x,
                                                             double y, double z);

  // -- Path.

  // Takes the legend, and hands it on to the children.
  void SetGeologyList(TGeologyList* list) override;
  // The bounds of every point (empty without points).
  void CalcBounds();
  // Depth of the first / last point; both need at least one point.
  double TopDepth() const { return Points.front().Depth; }
  double BottomDepth() const { return Points.back().Depth; }
  // The point at a depth along the path, the end segments extrapolated beyond the
  // ends; a path of one point gives that point at every depth, one of none
  // (0, 0, 0). On a segment whose two depths are equal the upper point is taken.
  TSurveyPoint PointAtDepth(double depth) const;
  // Euclidean distance between PointAtDepth(depthSelf) here and
  // other.PointAtDepth(depthOther).
  double DistanceTo(const TGraphBorehole& other, double depthSelf, double depthOther) const;
  // Whether each station's depth is at most the next one's (none NaN). Costs P.
  bool DepthsInOrder() const;
  // Inserts a point at depth d on the straight line through the nearest pair of
  // points (extrapolating the end segments). Returns its index, or -1 when a point
  // already has that depth or the path has fewer than two points (no direction).
  int InsertPointAtDepth(double d);

  // -- Operations of the scene object.

  // Children, then (with points and a context) the pipe and both labels made anew.
  void Build(bool recursive) override;
  // Both labels face target, (0, 1, 0) up.
  void PointTo(TGLBaseSceneObject* target) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // False (handle behind the record) for a newer chunk or another magic; the bounds
  // come from the common record. Raises EStreamError on damage.
  bool LoadFromStream(TBinaryStream& handle) override;
  // The record of project files of version 4 and below: no common record, one chunk
  // known up to version 1. False (handle behind the chunk) for a newer chunk or
  // another magic. Raises EStreamError on damage.
  bool LoadOldLayout(TBinaryStream& handle);
  // The pipe (a node for each point and each change of rock) and the two labels
  // showing the name.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the path.
  int64_t OpenedBytes() const override;
  // Empties the points, frees the nodes, then the base clear.
  void Clear() override;
  void UpdateVisibility() override;
  // The labels take the new name at once.
  void NameChanged() override;
  // The borehole dialog; on OK rebuilds and spreads the accepted groups to every
  // borehole of the tree.
  bool Edit() override;
  // From another borehole with at least one apply flag (or AcceptForAll) set: the
  // groups whose flags are set, then a rebuild.
  void CopySettingsFrom(const TGraphMain& source) override;

 private:
  void FreeNodes();
  // Node colour of a point: its rock's colour, or PipeColor.
  TColor ColorOfPoint(const TBoreholeItem& item) const;
};

// A hole's path asked for many depths (a band's divisions, a distance table's rows):
// the order of its stations is checked once, and where their depths rise without NaN
// each point is found by halving, in log P steps rather than P. Gives PointAtDepth's
// point bit for bit. The hole's points must not change while it is used.
class TPathAtDepths {
 public:
  explicit TPathAtDepths(const TGraphBorehole& hole) : hole_(hole), inOrder_(hole.DepthsInOrder()) {}
  TSurveyPoint PointAt(double depth) const;

 private:
  const TGraphBorehole& hole_;
  bool inOrder_;
};

// The Euclidean distance between two points (DistanceTo's).
double PointDistance(const TSurveyPoint& p, const TSurveyPoint& q);

// Test hook: how many stations, in this process, a search of a path by depth has looked at.
int64_t PathDepthStepsForTesting();

// ---- Registration -------------------------------------------------------------------

// Registers the kind with the type-id factory and the "&Borehole" create command.
// Calling it again is harmless.
void RegisterBoreholeKind();

}  // namespace qira

#pragma once
// The surface object (type id 5): planar faces (triangles, quadrilaterals or larger
// polygons) in survey coordinates, each with an optional colour of its own, drawn as
// two meshes (the second in reverse order) so that both sides show.
//
// Own chunk (version 0, behind the common record), little-endian:
//   Color int32 | FillMode byte | ColorForAll byte | FillForAll byte | FaceKind int32 |
//   n int32 | faces | FaceColors n x int32 | FaceHasColor n x byte
// where the faces are n x 72 bytes (three points of three doubles) for FaceKind 0,
// n x 96 bytes (four points) for FaceKind 1, and otherwise per face an int32 point
// count k and k x 24 bytes. IgnoreFaceColors is not stored.
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
class TGLMesh;
class TSharedVertices;

// One face: its points in order (North, East, Elevation each).
using TSurfaceFace = std::vector<TSurveyPoint>;

// The settings the surface dialog edits as a whole.
struct TSurfaceSettings {
  TColor Color = MakeColor(128, 128, 128);
  uint8_t FillMode = 0;          // 0 solid, 1 lines, 2 points
  bool ColorForAll = false;      // the colour group spreads to other surfaces
  bool FillForAll = false;       // the fill mode spreads to other surfaces
  bool IgnoreFaceColors = false; // every face in Color
};

// The surface dialog: (caption, settings, transparency pair) -> true on OK, with both
// as the user left them. Installed by the user interface; without one Edit changes
// nothing.
using TSurfaceEditor = std::function<bool(const std::string& caption, TSurfaceSettings& settings,
                                          TTransparencyParams& base)>;
void SetSurfaceEditor(TSurfaceEditor editor);

// Registers TGraphSurface (5), TGraphPoints (6) and TGraphLines (7) with the type-id
// factory, so records of those kinds can be read back. Calling it again is harmless.
void RegisterSurfaceKinds();

// The points of the corner chains walked by the surface builds of this thread so far
// (how a build's cost grows with its faces).
int64_t SurfaceSheetChainStepsForTesting();

struct TSkippedCost;

// What a new surface of `faces` faces of `points` points each takes made and drawn,
// and what its first frame adds to the bins, as an open counts one read whole: the
// count of a surface made from the user's settings before it is made.
TSkippedCost NewSurfaceCost(int64_t faces, int64_t points);

class TGraphSurface;
// The hash from which a build of `surface` on this thread seeks the point of `corner`
// in the surface's own colour: how a row chooses corners against a known seed.
uint64_t SurfaceSheetHashForTesting(const TGraphSurface& surface, const TSurveyPoint& corner);

// Entries added at once when the face arrays are full while adding.
inline constexpr int32_t SurfaceGrowth = 5000;

class TGraphSurface : public TGraphMain {
 public:
  // Type id 5, no face (FaceKind -1), grey, solid, no group flags.
  TGraphSurface();
  ~TGraphSurface() override;

  TBuiltNode<TGLMesh> FrontMesh;
  TBuiltNode<TGLMesh> BackMesh;
  TColor Color = MakeColor(128, 128, 128);
  uint8_t FillMode = 0;
  bool ColorForAll = false;
  bool FillForAll = false;
  bool IgnoreFaceColors = false;
  // -1 no face yet, 0 all triangles, 1 all quadrilaterals, 2 mixed or larger polygons.
  int32_t FaceKind = -1;
  // Faces in use; the arrays may be longer while adding (BeginAdd .. EndAdd).
  int32_t FaceCount = 0;
  std::vector<TSurfaceFace> Faces;
  std::vector<TColor> FaceColors;
  std::vector<uint8_t> FaceHasColor;  // 1: the face has its own colour

  TSurfaceSettings GetSettings() const;

  // -- Adding faces (DXF reader, potential section).
  // FaceCount := the arrays' length.
  void BeginAdd();
  // Fewer than 3 points: nothing. Otherwise the face is stored (arrays grow by
  // SurfaceGrowth when full), FaceKind follows, the points widen the bounds and the
  // face has no colour of its own.
  void AddFace(const TSurfaceFace& points);
  void AddQuad(const TSurveyPoint& a, const TSurveyPoint& b, const TSurveyPoint& c,
               const TSurveyPoint& d);
  // The last added face's own colour; nothing without a face.
  void SetLastFaceColor(TColor color);
  // Cuts the arrays to FaceCount.
  void EndAdd();
  // The bounds of every point of every face in use.
  void CalcBounds();

  // Children, then (with a context) both meshes from the faces; see the source for
  // how faces of FaceKind 2 are drawn.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // The bounds come from the common record; IgnoreFaceColors starts clear.
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees both meshes, empties the faces, then the base clear.
  void Clear() override;
  // The base test and no face.
  bool IsEmpty() const override;
  // Both meshes and their lists, by the triangles the faces make.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  int64_t FrameBinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the faces and their colours.
  int64_t OpenedBytes() const override;
  // Each mesh shows exactly when the object is not hidden, in the fill mode's polygon mode.
  void UpdateVisibility() override;
  // The surface dialog on a copy of the settings and the pair; on OK ApplySettings
  // (from the dialog), then CopySettingsFrom(this) on the root. True on OK.
  bool Edit() override;
  // Base first; from another surface, the groups it marked "Accept for all".
  void CopySettingsFrom(const TGraphMain& source) override;
  // Takes the colour group when settings.ColorForAll or fromDialog, the fill mode when
  // settings.FillForAll or fromDialog, the opacity when base.AcceptForAll or
  // fromDialog; rebuilds or refreshes as needed. fromDialog also takes the flags.
  void ApplySettings(const TSurfaceSettings& settings, const TTransparencyParams& base,
                     bool fromDialog);

  // The two older project layouts, read instead of the base and own records. True
  // when read; false (nothing taken) for a chunk newer than version 0. Raises
  // EStreamError on damage.
  bool LoadOldLayout(TBinaryStream& handle);
  bool LoadOldLayout2(TBinaryStream& handle);

 private:
  void FreeMeshes();
  // The points both meshes draw: each corner shared by the faces of the same colour
  // that meet there nearly in one plane; quadrilaterals (quads) or triangle fans.
  std::shared_ptr<TSharedVertices> BuildSheet(bool quads) const;
  // Faces of older layouts: int32 n, then n triangles with East before North.
  bool ReadOldTriangles(TBinaryStream& handle, int32_t end);
};

}  // namespace qira

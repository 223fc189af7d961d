#pragma once
// The polyline object (type id 9): one path through a list of points in survey
// coordinates, drawn under the view's ModelCube as a pipe of one colour and
// diameter, optionally with a sphere on each end so the ends look round.
//
// Own chunk (version 0, behind the common record), little-endian:
//   int32 n | n points of three doubles (North, East, Elevation) | Diameter double |
//   Color int32 | RoundEnds byte.
//
// RegisterPolylineKinds (end of this header) registers this kind and the planes
// kind (model/GraphPlanes.h) with the type-id factory.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "model/SurveyPoint.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TBinaryStream;
class TGLPipe;
class TGLSphere;

// The settings the polyline dialog edits as a whole.
struct TLineParams3D {
  std::vector<TSurveyPoint> Points;
  double Diameter = 0;
  TColor Color = 0;
  bool RoundEnds = false;  // "Spheres at ends"
};

// The polyline dialog: (caption, params, opacity) -> true on OK, with both as the
// user left them. Installed by the user interface; without one Edit changes nothing.
using TLineEditor =
    std::function<bool(const std::string& caption, TLineParams3D& params, uint8_t& transparency)>;
void SetLineEditor(TLineEditor editor);

class TGraphLine : public TGraphMain {
 public:
  // The default params, named "Lines"; bounds stay empty until CalcBounds.
  TGraphLine();
  ~TGraphLine() override;

  // (0, 0, 0), (100, 0, 0), (100, 100, 0), (100, 100, 100); diameter 5; blue;
  // round ends.
  static void DefaultParams(TLineParams3D& params);

  // The engine nodes, children of the context's ModelCube once built. The end
  // spheres exist only while round ends are shown.
  TBuiltNode<TGLPipe> Pipe;
  TBuiltNode<TGLSphere> EndSpheres[2];
  TLineParams3D Params;

  // -- Points (for the model file reader).
  int PointCount() const { return static_cast<int>(Params.Points.size()); }
  // A count different from the present one empties the bounds first; a negative
  // count counts as 0. New points are (0, 0, 0).
  void SetPointCount(int n);
  // Stores the point and widens the bounds; false (nothing changed) outside 0..count-1.
  bool SetPoint(int index, const TSurveyPoint& point);
  // The bounds of every point (empty without points).
  void CalcBounds();

  // Children first; then, with a context, the pipe (made when missing) gets one
  // node per point in the colour and opacity, and the end spheres follow the
  // first and last point while round ends are on and there is a point.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // The bounds come from the common record.
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees the pipe and both end spheres, empties the points, then the base clear.
  // The pipe, a node a point, and the spheres at its ends when it has them.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the points.
  int64_t OpenedBytes() const override;
  void Clear() override;
  // The pipe and the end spheres show exactly when the object is not hidden; their
  // radius is half the diameter.
  void UpdateVisibility() override;
  // The polyline dialog on the params and the opacity; on OK they are taken, the
  // bounds follow the points, and an object with a context is rebuilt (not its
  // children). True on OK.
  bool Edit() override;

 private:
  void FreeNodes();
  // OpenedBytes with `points` points held and `drawn` bytes of drawing: read whole,
  // or skipped by an open's count (from the stored count and ends).
  int64_t OpenedBytesWith(int64_t points, int64_t drawn) const;
};

// Registers TGraphLine (9) and TGraphPlanes (11) with the type-id factory, so
// records of those kinds can be read back. Called once at start; calling it again
// is harmless.
void RegisterPolylineKinds();

}  // namespace qira

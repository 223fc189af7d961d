#pragma once
// The planes object (type id 11): one flat polygon through a list of points in
// survey coordinates, in one colour, visible from both sides: two meshes under the
// view's ModelCube, the back one through the points in reverse order.
//
// Own chunk (version 0, behind the common record), little-endian:
//   int32 n | n points of three doubles (North, East, Elevation) | Color int32.
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
class TGLMesh;

// The settings the planes dialog edits as a whole.
struct TPlanesParams {
  std::vector<TSurveyPoint> Points;
  TColor Color = 0;
};

// The planes dialog: (caption, params, opacity) -> true on OK, with both as the
// user left them. Installed by the user interface; without one Edit changes nothing.
using TPlanesEditor =
    std::function<bool(const std::string& caption, TPlanesParams& params, uint8_t& transparency)>;
void SetPlanesEditor(TPlanesEditor editor);

class TGraphPlanes : public TGraphMain {
 public:
  // The default params, named "Planes"; bounds stay empty until CalcBounds.
  TGraphPlanes();
  ~TGraphPlanes() override;

  // The square (0, 0, 0), (100, 0, 0), (100, 100, 0), (0, 100, 0); green (0, 128, 0).
  static void DefaultParams(TPlanesParams& params);

  // The engine nodes, children of the context's ModelCube once built.
  TBuiltNode<TGLMesh> FrontMesh;
  TBuiltNode<TGLMesh> BackMesh;
  TPlanesParams Params;

  // -- Points (for the model file reader).
  int PointCount() const { return static_cast<int>(Params.Points.size()); }
  // A count different from the present one empties the bounds first; a negative
  // count counts as 0. New points are (0, 0, 0).
  void SetPointCount(int n);
  // Stores the point and widens the bounds; false (nothing changed) outside 0..count-1.
  bool SetPoint(int index, const TSurveyPoint& point);
  // The bounds of every point (empty without points).
  void CalcBounds();

  // Children first; then, with a context, both meshes (made when missing, front
  // first) are refilled as one polygon each, in the colour and opacity.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // The bounds come from the common record.
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees both meshes, empties the points, then the base clear.
  // Two meshes, one a side, a vertex a point, and their lists.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the points.
  int64_t OpenedBytes() const override;
  void Clear() override;
  // Both meshes show exactly when the object is not hidden.
  void UpdateVisibility() override;
  // The planes dialog on the params and the opacity; on OK they are taken, the
  // bounds follow the points, and an object with a context is rebuilt (not its
  // children). True on OK.
  bool Edit() override;

 private:
  void FreeNodes();
  // OpenedBytes with `points` points held and `drawn` bytes of drawing: read whole,
  // or skipped by an open's count (from the stored count).
  int64_t OpenedBytesWith(int64_t points, int64_t drawn) const;
};

}  // namespace qira

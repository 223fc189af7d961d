#pragma once
// The spheres object (type id 8): equal spheres at a list of centres in survey
// coordinates, all of one radius, colour and tessellation, built under the view's
// ModelCube.
//
// Own chunk (version 0, behind the common record), little-endian:
//   int32 n | n centres of three doubles (North, East, Elevation) | Radius double |
//   Color int32 | Slices int32.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "model/SurveyPoint.h"
#include "platform/CanvasTypes.h"
#include "scene/objects/SphereStrips.h"

namespace qira {

class TBinaryStream;
class TGLSphere;

// The settings the spheres dialog edits as a whole.
struct TSpheresParams {
  std::vector<TSurveyPoint> Centres;
  double Radius = 0;
  TColor Color = 0;
  int32_t Slices = 0;  // slices and stacks of every sphere
};

// The spheres dialog: (caption, params, opacity) -> true on OK, with both as the
// user left them. Installed by the user interface; without one Edit changes nothing.
using TSpheresEditor =
    std::function<bool(const std::string& caption, TSpheresParams& params, uint8_t& transparency)>;
void SetSpheresEditor(TSpheresEditor editor);

// The most slices and stacks a sphere node is built with. The dialog allows up to
// ten million, whose geometry no machine can hold; the stored value is kept.
inline constexpr int32_t MaxSphereSlices = 1024;
// What each sphere node of an object of `slices` (as stored) draws: slices x slices
// within 1 to MaxSphereSlices, no caps. Its build and its count both take it.
constexpr TSphereStrips SpheresStripsOf(int32_t slices) {
  const int32_t built = std::clamp(slices, int32_t{1}, MaxSphereSlices);
  return SphereStripsOf(built, built);
}

class TGraphSpheres : public TGraphMain {
 public:
  // The default params, named "Spheres"; bounds stay empty until CalcBounds.
  TGraphSpheres();
  ~TGraphSpheres() override;

  // One centre at (0, 0, 0), radius 5, yellow, 16 slices.
  static void DefaultParams(TSpheresParams& params);

  // The engine nodes, one per centre once built, children of the context's ModelCube.
  std::vector<TBuiltNode<TGLSphere>> Spheres;
  TSpheresParams Params;

  // -- Centres (for the model file reader).
  int PointCount() const { return static_cast<int>(Params.Centres.size()); }
  // A count different from the present one empties the bounds first; a negative
  // count counts as 0. New centres are (0, 0, 0).
  void SetPointCount(int n);
  // Stores the centre and widens the bounds; false (nothing changed) outside 0..count-1.
  bool SetPoint(int index, const TSurveyPoint& point);
  // The bounds of every centre (empty without centres).
  void CalcBounds();

  // Children first; then, with a context, one sphere node per centre (all made
  // anew when the count changed) set from the params and the opacity.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // The bounds come from the common record.
  bool LoadFromStream(TBinaryStream& handle) override;
  // A sphere node for each centre, its list what its draw sends (SpheresStripsOf).
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the centres.
  int64_t OpenedBytes() const override;
  // Frees every node, empties the centres, then the base clear.
  void Clear() override;
  // Every node shows exactly when the object is not hidden.
  void UpdateVisibility() override;
  // The spheres dialog on the params and the opacity; on OK they are taken, the
  // bounds follow the centres, and an object with a context is rebuilt (not its
  // children). True on OK.
  bool Edit() override;

 private:
  void FreeNodes();
  // OpenedBytes with `centres` centres held and `drawn` bytes of drawing: read whole,
  // or skipped by an open's count (from the stored count and slices).
  int64_t OpenedBytesWith(int64_t centres, int64_t drawn) const;
};

}  // namespace qira

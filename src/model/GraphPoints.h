#pragma once
// The points object (type id 6): a cloud of points in survey coordinates, each with
// an optional colour of its own, drawn as one engine points node.
//
// Own chunk (version 0, behind the common record), little-endian:
//   Color int32 | Round byte | IgnorePointColors byte | PointSize single |
//   StyleForAll byte | ColorForAll byte | SizeForAll byte | n int32 |
//   Points n x three doubles | PointColors n x int32 | PointHasColor n x byte
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
class TGLPoints;

// The settings the points dialog edits as a whole.
struct TPointsSettings {
  bool Round = true;               // round points, else square
  TColor Color = MakeColor(255, 255, 255);
  bool IgnorePointColors = false;  // every point in Color
  float PointSize = 2.0f;          // pixels
  bool StyleForAll = true;
  bool ColorForAll = false;
  bool SizeForAll = false;
};

// The points dialog: (caption, settings, transparency pair) -> true on OK, with both
// as the user left them. Installed by the user interface; without one Edit changes
// nothing.
using TPointsEditor = std::function<bool(const std::string& caption, TPointsSettings& settings,
                                         TTransparencyParams& base)>;
void SetPointsEditor(TPointsEditor editor);

// Entries added at once when the point arrays are full while adding.
inline constexpr int32_t PointsGrowth = 5000;

class TGraphPoints : public TGraphMain {
 public:
  // Type id 6 and the defaults of TPointsSettings.
  TGraphPoints();
  ~TGraphPoints() override;

  std::vector<TSurveyPoint> Points;
  TBuiltNode<TGLPoints> GLPoints;
  bool Round = true;
  TColor Color = MakeColor(255, 255, 255);
  bool IgnorePointColors = false;
  float PointSize = 2.0f;
  bool StyleForAll = true;
  bool ColorForAll = false;
  bool SizeForAll = false;
  std::vector<TColor> PointColors;
  std::vector<uint8_t> PointHasColor;  // 1: the point has its own colour
  // Points in use; the arrays may be longer while adding (BeginAdd .. EndAdd).
  int32_t PointCount = 0;

  TPointsSettings GetSettings() const;

  // -- Adding points (DXF reader).
  // PointCount := the arrays' length.
  void BeginAdd();
  // Stores the point (arrays grow by PointsGrowth when full); it widens the bounds
  // and has no colour of its own.
  void AddPoint(const TSurveyPoint& point);
  // The last added point's own colour; nothing without a point.
  void SetLastPointColor(TColor color);
  // Cuts the arrays to PointCount.
  void EndAdd();

  // Children, then (with a context) the node's positions and colours.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees the node, empties the arrays, then the base clear.
  void Clear() override;
  bool IsEmpty() const override;
  // One node holding each point's place and colour, and its list.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the points and their colours.
  int64_t OpenedBytes() const override;
  // The node shows exactly when the object is not hidden; style by Round and
  // opacity, size PointSize.
  void UpdateVisibility() override;
  // The points dialog; on OK ApplySettings (from the dialog), then
  // CopySettingsFrom(this) on the root. True on OK.
  bool Edit() override;
  // Base first; from another points object, the groups it marked "Accept for all".
  void CopySettingsFrom(const TGraphMain& source) override;
  void ApplySettings(const TPointsSettings& settings, const TTransparencyParams& base,
                     bool fromDialog);
};

}  // namespace qira

#pragma once
// The lines object (type id 7): independent straight segments in survey coordinates,
// each with an optional colour of its own, drawn as one engine pipe of a common
// diameter. Between two segments the pipe runs through fully transparent nodes, so
// only the segments show.
//
// Own chunk (version 0, behind the common record), little-endian:
//   Color int32 | IgnoreSegmentColors byte | LineWidth single | ColorForAll byte |
//   WidthForAll byte | n int32 | Segments n x (start, end: three doubles each) |
//   SegmentColors n x int32 | SegmentHasColor n x byte
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

struct TLineSegment {
  TSurveyPoint Start;
  TSurveyPoint End;
};

// The settings the lines dialog edits as a whole.
struct TLinesSettings {
  TColor Color = MakeColor(255, 255, 0);
  bool IgnoreSegmentColors = false;  // every segment in Color
  float LineWidth = 1.0f;            // pipe diameter in scene units
  bool ColorForAll = true;
  bool WidthForAll = true;
};

// The lines dialog: (caption, settings, transparency pair) -> true on OK, with both
// as the user left them. Installed by the user interface; without one Edit changes
// nothing.
using TLinesEditor = std::function<bool(const std::string& caption, TLinesSettings& settings,
                                        TTransparencyParams& base)>;
void SetLinesEditor(TLinesEditor editor);

// Entries added at once when the segment arrays are full while adding.
inline constexpr int32_t LinesGrowth = 5000;

class TGraphLines : public TGraphMain {
 public:
  // Type id 7 and the defaults of TLinesSettings.
  TGraphLines();
  ~TGraphLines() override;

  std::vector<TLineSegment> Segments;
  TBuiltNode<TGLPipe> Pipe;
  TColor Color = MakeColor(255, 255, 0);
  bool IgnoreSegmentColors = false;
  float LineWidth = 1.0f;
  bool ColorForAll = true;
  bool WidthForAll = true;
  std::vector<TColor> SegmentColors;
  std::vector<uint8_t> SegmentHasColor;  // 1: the segment has its own colour
  // Segments in use; the arrays may be longer while adding (BeginAdd .. EndAdd).
  int32_t SegmentCount = 0;

  TLinesSettings GetSettings() const;

  // -- Adding segments (DXF reader).
  // SegmentCount := the arrays' length.
  void BeginAdd();
  // Stores the segment (arrays grow by LinesGrowth when full); both points widen
  // the bounds; no colour of its own.
  void AddSegment(const TSurveyPoint& start, const TSurveyPoint& end);
  // The last added segment's own colour; nothing without a segment.
  void SetLastSegmentColor(TColor color);
  // Cuts the arrays to SegmentCount.
  void EndAdd();

  // Children, then (with a context) the pipe: four nodes per segment.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees the pipe, empties the arrays, then the base clear.
  void Clear() override;
  bool IsEmpty() const override;
  // One pipe of four nodes a segment, drawn from its nodes.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the segments and their colours.
  int64_t OpenedBytes() const override;
  // The pipe shows exactly when the object is not hidden; its radius is LineWidth / 2.
  void UpdateVisibility() override;
  // The lines dialog; on OK ApplySettings (from the dialog), then
  // CopySettingsFrom(this) on the root. True on OK.
  bool Edit() override;
  // Base first; from another lines object, the groups it marked "Accept for all".
  void CopySettingsFrom(const TGraphMain& source) override;
  void ApplySettings(const TLinesSettings& settings, const TTransparencyParams& base,
                     bool fromDialog);

 private:
  // OpenedBytes with `arrays` bytes of segment arrays held and `drawn` bytes of
  // drawing: read whole, or skipped by an open's count (from the stored count).
  int64_t OpenedBytesWith(int64_t arrays, int64_t drawn) const;
};

}  // namespace qira

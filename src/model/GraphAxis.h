#pragma once
// The axis cross (type id 3): three arrows captioned "N", "E" and "Z" and a small
// sphere where they meet, showing north, east and up. It is built in the frame of
// the view's AxisCube, so it turns with the view but does not take the model offset.
//
// Own chunk (version 0, behind the common record), little-endian:
//   AxisLength single | AxisWidth single | ArrowColor int32 | ShowLabels byte |
//   LabelColor int32 | LabelSize single | Origin three doubles.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TBinaryStream;
class TGLArrowLine;
class TGLFlatText;
class TGLSphere;

// The fields the axis dialog edits (besides the opacity).
struct TAxisFields {
  float AxisLength = 200.0f;  // arrow length
  float AxisWidth = 1.0f;     // arrow thickness
  TColor ArrowColor = MakeColor(0, 255, 255);
  bool ShowLabels = true;
  TColor LabelColor = MakeColor(255, 255, 255);
  float LabelSize = 1.0f;  // caption scale
  // Offset of the cross in the AxisCube frame, used as scene x, y and z in that
  // order (so the second value moves it up, the third along the "E" arrow).
  std::array<double, 3> Origin{0, 0, 0};
};

// The axis dialog: (caption, fields, opacity) -> true on OK, with both as the user
// left them. Installed by the user interface; without one Edit changes nothing.
using TAxisEditor =
    std::function<bool(const std::string& caption, TAxisFields& fields, uint8_t& transparency)>;
void SetAxisEditor(TAxisEditor editor);

class TGraphAxis : public TGraphMain {
 public:
  // Defaults of TAxisFields, named "Axis".
  TGraphAxis();
  ~TGraphAxis() override;

  // The fields of TAxisFields, kept one by one as the object's own.
  float AxisLength;
  float AxisWidth;
  TColor ArrowColor;
  bool ShowLabels;
  TColor LabelColor;
  float LabelSize;
  std::array<double, 3> Origin;

  // The engine nodes, children of the context's AxisCube once built.
  TBuiltNode<TGLArrowLine> ArrowE, ArrowN, ArrowZ;
  TBuiltNode<TGLFlatText> LabelE, LabelN, LabelZ;
  TBuiltNode<TGLSphere> OriginSphere;

  TAxisFields Fields() const;
  void SetFields(const TAxisFields& fields);

  // Creates the missing nodes under AxisCube and sets all seven from the fields
  // and the opacity; children are always built. Without a context (or AxisCube)
  // only the children are.
  void Build(bool recursive) override;
  // Turns the captions to face target, (0, 1, 0) up.
  void PointTo(TGLBaseSceneObject* target) override;
  bool SaveToStream(TBinaryStream& handle) override;
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees the seven nodes, then the base clear (the fields stay).
  // Its arrows, spheres and labels.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  void Clear() override;
  // Arrows and sphere show when the object is not hidden, captions only when
  // ShowLabels is set as well.
  void UpdateVisibility() override;
  // The axis dialog on the fields and the opacity; on OK they are taken and the
  // object is rebuilt (not its children). True on OK.
  bool Edit() override;

  // The older project layout, without a chunk: byte Visible, then AxisLength to
  // LabelSize as in the chunk; Origin stays 0. False on a short read, with nothing
  // changed and the stream where it stood.
  bool LoadOldLayout(TBinaryStream& handle);

 private:
  void FreeNodes();
};

}  // namespace qira

#pragma once
// The label object (type id 10): one text at a point in survey coordinates, drawn
// with the view's bitmap font under the view's ModelCube and turned to face the
// camera before every frame.
//
// Own chunk (version 0, behind the common record), little-endian:
//   Position three doubles (North, East, Elevation) | TextScale single |
//   Color int32 | Alignment byte | Layout byte | Text (int32 length + bytes).
#include <cstdint>
#include <functional>
#include <string>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "model/SurveyPoint.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TBinaryStream;
class TGLFlatText;

// The settings the label dialog edits as a whole.
struct TLabelParams {
  TSurveyPoint Position;
  float TextScale = 0;
  TColor Color = 0;
  uint8_t Alignment = 0;  // 0 left, 1 right, 2 centre
  uint8_t Layout = 0;     // 0 top, 1 centre, 2 bottom
  std::string Text;       // CR separates lines
};

// The label dialog: (caption, params, opacity) -> true on OK, with both as the user
// left them. Installed by the user interface; without one Edit changes nothing.
using TLabelEditor =
    std::function<bool(const std::string& caption, TLabelParams& params, uint8_t& transparency)>;
void SetLabelEditor(TLabelEditor editor);

class TGraphLabel : public TGraphMain {
 public:
  // The default params, named "Label".
  TGraphLabel();
  ~TGraphLabel() override;

  // At (0, 0, 0), scale 1, silver, left, top, "Text".
  static void DefaultParams(TLabelParams& params);

  // The engine node, a child of the context's ModelCube once built.
  TBuiltNode<TGLFlatText> TextNode;
  TLabelParams Params;

  // Children first; then, with a context, the text node made when missing and set
  // from the params and the opacity. An alignment or layout byte beyond 2 (a
  // damaged or foreign file) is built as 0 and kept as stored.
  void Build(bool recursive) override;
  // Turns the text to face target, (0, 1, 0) up.
  void PointTo(TGLBaseSceneObject* target) override;
  bool SaveToStream(TBinaryStream& handle) override;
  bool LoadFromStream(TBinaryStream& handle) override;
  // Frees the text node, then the base clear.
  // Its text node, the text drawn a character at a time.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the text.
  int64_t OpenedBytes() const override;
  void Clear() override;
  // The node shows exactly when the object is not hidden.
  void UpdateVisibility() override;
  // The label dialog on the params and the opacity; on OK they are taken and an
  // object with a context is rebuilt (not its children). The bounds do not change.
  bool Edit() override;

 private:
  // OpenedBytes with a text of `textSize` bytes in a string of `textCapacity`: read
  // whole, or skipped by an open's count (from the stored text).
  int64_t OpenedBytesWith(int64_t textSize, int64_t textCapacity) const;
  // BinnedBytes with a text of `textSize` bytes.
  static int64_t BinnedBytesWith(int64_t textSize);
};

}  // namespace qira

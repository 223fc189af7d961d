#include "model/GraphAxis.h"

#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/objects/BasicSolids.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/math/VectorTypes.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/Quadrics.h"
#include "scene/objects/WindowsBitmapFont.h"

namespace qira {

namespace {

TAxisEditor& AxisEditor() {
  static TAxisEditor editor;
  return editor;
}

// One arrow: a line of length L and thickness W centred on its position, a head
// 8W long and 3W wide stacked beyond its top end, a small head at the bottom.
void SetArrow(TGLArrowLine& arrow, float length, float width, TColor color, float alpha,
              const TAffineVector& position, const TAffineVector& direction, const TAffineVector& up) {
  arrow.SetHeight(length);
  arrow.SetBottomArrowHeadHeight(width / 2);
  arrow.SetBottomArrowHeadRadius(width / 2);
  arrow.SetBottomRadius(width / 2);
  arrow.SetTopArrowHeadHeight(8 * width);
  arrow.SetTopArrowHeadRadius(3 * width / 2);
  arrow.SetTopRadius(width / 2);
  ColorMaterial(arrow, color, alpha, true);
  arrow.Position().SetPoint(position.x, position.y, position.z);
  // Direction before up: the engine keeps the two perpendicular after each change,
  // and this order leaves both exactly as given for every arrow of the cross.
  arrow.Direction().SetVector(direction.x, direction.y, direction.z);
  arrow.Up().SetVector(up.x, up.y, up.z);
}

void SetCaption(TGLFlatText& caption, TGLWindowsBitmapFont* font, const char* text, TTextLayout layout,
                TColor color, float alpha, float scale, const TAffineVector& position) {
  caption.SetBitmapFont(font);
  caption.ModulateColor().SetColor(ConvertWinColor(color, alpha));
  caption.Scale().SetVector(scale, scale, scale);
  caption.SetText(text);
  caption.SetLayout(layout);
  caption.Position().SetPoint(position.x, position.y, position.z);
}

}  // namespace

void SetAxisEditor(TAxisEditor editor) { AxisEditor() = std::move(editor); }

TGraphAxis::TGraphAxis() {
  TypeId = GraphTypeId::Axis;
  SetFields(TAxisFields{});
  SetName("Axis");
}

TGraphAxis::~TGraphAxis() { FreeNodes(); }

TAxisFields TGraphAxis::Fields() const {
  return {AxisLength, AxisWidth, ArrowColor, ShowLabels, LabelColor, LabelSize, Origin};
}

void TGraphAxis::SetFields(const TAxisFields& fields) {
  AxisLength = fields.AxisLength;
  AxisWidth = fields.AxisWidth;
  ArrowColor = fields.ArrowColor;
  ShowLabels = fields.ShowLabels;
  LabelColor = fields.LabelColor;
  LabelSize = fields.LabelSize;
  Origin = fields.Origin;
}

void TGraphAxis::FreeNodes() {
  ArrowE.Free();
  ArrowN.Free();
  ArrowZ.Free();
  LabelE.Free();
  LabelN.Free();
  LabelZ.Free();
  OriginSphere.Free();
}

// ---- Building -----------------------------------------------------------------------

void TGraphAxis::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (!Context || !Context->AxisCube) return;
  TGLDummyCube& cube = *Context->AxisCube;
  if (!ArrowE) ArrowE.Create(cube);
  if (!ArrowN) ArrowN.Create(cube);
  if (!ArrowZ) ArrowZ.Create(cube);
  if (!LabelE) LabelE.Create(cube);
  if (!LabelN) LabelN.Create(cube);
  if (!LabelZ) LabelZ.Create(cube);
  if (!OriginSphere) OriginSphere.Create(cube);

  const float l = AxisLength;
  const float w = AxisWidth;
  const float alpha = OpacityAlpha(Transparency);
  const float ox = static_cast<float>(Origin[0]);
  const float oy = static_cast<float>(Origin[1]);
  const float oz = static_cast<float>(Origin[2]);

  SetArrow(*ArrowZ, l, w, ArrowColor, alpha, {ox, oy + l / 2, oz}, {0, 1, 0}, {0, 0, 1});
  SetArrow(*ArrowE, l, w, ArrowColor, alpha, {ox, oy, oz + l / 2}, {0, 0, 1}, {1, 0, 0});
  SetArrow(*ArrowN, l, w, ArrowColor, alpha, {ox + l / 2, oy, oz}, {1, 0, 0}, {0, 1, 0});

  // Captions stand just beyond the heads' tips.
  const float reach = l + 8 * w;
  const float scale = LabelSize * 0.25f;
  TGLWindowsBitmapFont* font = Context->BitmapFont;
  SetCaption(*LabelZ, font, "Z", TTextLayout::tlBottom, LabelColor, alpha, scale, {ox, oy + reach, oz});
  SetCaption(*LabelE, font, "E", TTextLayout::tlTop, LabelColor, alpha, scale, {ox, oy, oz + reach});
  SetCaption(*LabelN, font, "N", TTextLayout::tlTop, LabelColor, alpha, scale, {ox + reach, oy, oz});

  OriginSphere->SetRadius(w / 2);
  ColorMaterial(*OriginSphere, ArrowColor, alpha, false);
  OriginSphere->Position().SetPoint(ox, oy, oz);

  const bool transparent = Transparency < 255;
  for (TGLCustomSceneObject* node :
       {static_cast<TGLCustomSceneObject*>(ArrowE.get()), static_cast<TGLCustomSceneObject*>(ArrowN.get()),
        static_cast<TGLCustomSceneObject*>(ArrowZ.get()), static_cast<TGLCustomSceneObject*>(LabelE.get()),
        static_cast<TGLCustomSceneObject*>(LabelN.get()), static_cast<TGLCustomSceneObject*>(LabelZ.get()),
        static_cast<TGLCustomSceneObject*>(OriginSphere.get())})
    SetMaterialBlending(*node, transparent);

  UpdateVisibility();
}

void TGraphAxis::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  for (TGLBaseSceneObject* node :
       {static_cast<TGLBaseSceneObject*>(ArrowE.get()), static_cast<TGLBaseSceneObject*>(ArrowN.get()),
        static_cast<TGLBaseSceneObject*>(ArrowZ.get()), static_cast<TGLBaseSceneObject*>(OriginSphere.get())})
    if (node) node->SetVisible(shown);
  for (TGLBaseSceneObject* node :
       {static_cast<TGLBaseSceneObject*>(LabelE.get()), static_cast<TGLBaseSceneObject*>(LabelN.get()),
        static_cast<TGLBaseSceneObject*>(LabelZ.get())})
    if (node) node->SetVisible(shown && ShowLabels);
}

void TGraphAxis::PointTo(TGLBaseSceneObject* target) {
  TGraphMain::PointTo(target);
  if (!target) return;
  for (TGLFlatText* caption : {LabelE.get(), LabelN.get(), LabelZ.get()})
    if (caption) caption->PointToObject(*target, YHmgVector);
}

int64_t TGraphAxis::DrawnBytes() const { return AxisDrawBytes; }

int64_t TGraphAxis::BinnedBytes() const { return AxisBinBytes; }

bool TGraphAxis::DrawingHeld() const {
  return NodesDrawingHeld({&ArrowE, &ArrowN, &ArrowZ, &LabelE, &LabelN, &LabelZ, &OriginSphere});
}

void TGraphAxis::Clear() {
  FreeNodes();
  TGraphMain::Clear();
}

bool TGraphAxis::Edit() {
  IgnoreNextMouseMove = true;
  TAxisFields fields = Fields();
  uint8_t transparency = Transparency;
  const TAxisEditor& editor = AxisEditor();
  if (!editor || !editor(Name(), fields, transparency)) return false;
  SetFields(fields);
  Transparency = transparency;
  Build(false);
  return true;
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphAxis::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    return s.WriteFloat(AxisLength) && s.WriteFloat(AxisWidth) && s.WriteUInt32(ArrowColor) &&
           s.WriteBool(ShowLabels) && s.WriteUInt32(LabelColor) && s.WriteFloat(LabelSize) &&
           s.WriteDouble(Origin[0]) && s.WriteDouble(Origin[1]) && s.WriteDouble(Origin[2]);
  });
}

bool TGraphAxis::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TAxisFields f;
    if (!(s.ReadFloat(f.AxisLength) && s.ReadFloat(f.AxisWidth) && s.ReadUInt32(f.ArrowColor) &&
          s.ReadBool(f.ShowLabels) && s.ReadUInt32(f.LabelColor) && s.ReadFloat(f.LabelSize) &&
          s.ReadDouble(f.Origin[0]) && s.ReadDouble(f.Origin[1]) && s.ReadDouble(f.Origin[2])))
      return false;
    if (s.Position() > end) return false;  // the fields ran past the chunk
    SetFields(f);
    return true;
  });
}

bool TGraphAxis::LoadOldLayout(TBinaryStream& handle) {
  const int32_t start = handle.Position();
  bool visible = true;
  TAxisFields f = Fields();
  if (!(handle.ReadBool(visible) && handle.ReadFloat(f.AxisLength) && handle.ReadFloat(f.AxisWidth) &&
        handle.ReadUInt32(f.ArrowColor) && handle.ReadBool(f.ShowLabels) && handle.ReadUInt32(f.LabelColor) &&
        handle.ReadFloat(f.LabelSize))) {
    handle.Seek(start);
    return false;
  }
  SetFields(f);
  SetVisible(visible);
  return true;
}

}  // namespace qira

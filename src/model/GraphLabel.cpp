#include "model/GraphLabel.h"

#include <utility>

#include "model/DrawCosts.h"
#include "scene/graph/SceneObject.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/materials/Materials.h"
#include "scene/math/VectorTypes.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/WindowsBitmapFont.h"

namespace qira {

namespace {

TLabelEditor& LabelEditor() {
  static TLabelEditor editor;
  return editor;
}

TAlignment AlignmentOf(uint8_t stored) {
  switch (stored) {
    case 1: return TAlignment::taRightJustify;
    case 2: return TAlignment::taCenter;
    default: return TAlignment::taLeftJustify;
  }
}

TTextLayout LayoutOf(uint8_t stored) {
  switch (stored) {
    case 1: return TTextLayout::tlCenter;
    case 2: return TTextLayout::tlBottom;
    default: return TTextLayout::tlTop;
  }
}

// Its text node, the text drawn a character at a time.
int64_t LabelDrawnBytes(int64_t textSize) { return LabelDrawCost.Of(1, textSize); }

}  // namespace

void SetLabelEditor(TLabelEditor editor) { LabelEditor() = std::move(editor); }

TGraphLabel::TGraphLabel() {
  TypeId = GraphTypeId::Label;
  DefaultParams(Params);
  SetName("Label");
}

TGraphLabel::~TGraphLabel() { TextNode.Free(); }

void TGraphLabel::DefaultParams(TLabelParams& params) {
  params.Position = {0, 0, 0};
  params.TextScale = 1.0f;
  params.Color = MakeColor(192, 192, 192);
  params.Alignment = 0;
  params.Layout = 0;
  params.Text = "Text";
}

// ---- Building -----------------------------------------------------------------------

void TGraphLabel::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (!Context || !Context->ModelCube) return;
  TGLFlatText& text = TextNode ? *TextNode : TextNode.Create(*Context->ModelCube);
  text.ModulateColor().SetColor(ConvertWinColor(Params.Color));
  const float scale = Params.TextScale * 0.25f;
  text.Scale().SetVector(scale, scale, scale);
  text.SetBitmapFont(Context->BitmapFont);
  text.SetText(Params.Text);
  text.SetAlignment(AlignmentOf(Params.Alignment));
  text.SetLayout(LayoutOf(Params.Layout));
  text.Position().SetAffinePoint(Context->ToScene(Params.Position));
  if (Transparency < 255) {
    const float alpha = OpacityAlpha(Transparency);
    if (TGLMaterial* material = MaterialOf(text)) {
      TVector diffuse = material->FrontProperties().Diffuse().Color();
      diffuse.w = alpha;
      material->FrontProperties().Diffuse().SetColor(diffuse);
    }
    text.ModulateColor().SetAlpha(alpha);
  } else {
    SetMaterialBlending(text, false);
  }
  UpdateVisibility();
}

void TGraphLabel::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  if (TextNode) TextNode->SetVisible(!IsHidden());
}

void TGraphLabel::PointTo(TGLBaseSceneObject* target) {
  TGraphMain::PointTo(target);
  if (target && TextNode) TextNode->PointToObject(*target, YHmgVector);
}

int64_t TGraphLabel::DrawnBytes() const { return LabelDrawnBytes(static_cast<int64_t>(Params.Text.size())); }

int64_t TGraphLabel::BinnedBytes() const { return BinnedBytesWith(static_cast<int64_t>(Params.Text.size())); }

// A quad a character its draw sends, of no more than the frame lets the renderer queue
// at once.
int64_t TGraphLabel::BinnedBytesWith(int64_t textSize) {
  return LabelBinBytes + MeshBinsOf(static_cast<double>(TextQuadsAtMost(textSize)), GlyphQuadVertices, GlyphBinBytes,
                                    VerticesBetweenRenderWaits);
}

bool TGraphLabel::DrawingHeld() const { return NodeDrawingHeld(TextNode); }

int64_t TGraphLabel::OpenedBytes() const {
  return OpenedBytesWith(static_cast<int64_t>(Params.Text.size()), static_cast<int64_t>(Params.Text.capacity()));
}

int64_t TGraphLabel::OpenedBytesWith(int64_t textSize, int64_t textCapacity) const {
  return OpenedBytesDrawing(LabelDrawnBytes(textSize)) +
         static_cast<int64_t>(sizeof(TGraphLabel) - sizeof(TGraphMain)) + textCapacity;
}

void TGraphLabel::Clear() {
  TextNode.Free();
  TGraphMain::Clear();
}

bool TGraphLabel::Edit() {
  if (!EditWithDialog(*this, LabelEditor(), Params)) return false;
  if (Context) Build(false);
  return true;
}

}  // namespace qira

// The rock swatch: how a geology style paints itself on a canvas.
#include "model/BoreholeCollections.h"

namespace qira {

void TBHCollectionItem::SetupCanvas(TCanvas& canvas) const {
  canvas.SetPenWidth(0);
  canvas.SetPenColor(clBlack);
  canvas.SetPenStyle(Border ? psSolid : psClear);
  if (Texture) {
    // The hatch lines are black; the gaps show the rock colour only when filled.
    canvas.SetBrush(TBrush{clBlack, static_cast<TBrushStyle>(HatchStyle)});
    canvas.SetBkColor(Color);
    canvas.SetBkMode(Filling ? bkOpaque : bkTransparent);
  } else {
    canvas.SetBrush(TBrush{Color, Filling ? bsSolid : bsClear});
  }
}

void TBHCollectionItem::PaintSwatch(TCanvas& canvas, int32_t width, int32_t height) const {
  SetupCanvas(canvas);
  canvas.Rectangle(5, 5, width - 6, height - 6);
}

}  // namespace qira

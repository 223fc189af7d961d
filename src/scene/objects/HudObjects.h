#pragma once
// Objects fixed to the screen rather than placed in the scene: a textured
// rectangle and texts drawn with a bitmap font. Positions are in pixels from
// the top-left corner of the viewport, scaled by the render resolution
// (dots per inch / 96), and drawn without depth testing.
//
// Sections: TGLHUDSprite; TGLHUDText and its variants; registration.
#include <cstdint>

#include "scene/objects/BitmapFonts.h"
#include "scene/objects/DummyPlaneSprite.h"

namespace qira {

// A Width x Height pixel rectangle centred on Position (x, y in pixels, z
// the depth), its texture repeated XTiles x YTiles times.
class TGLHUDSprite : public TGLSprite {
  QIRA_CLASS(TGLHUDSprite, TGLSprite)

  // 16 x 16 pixels, one tile each way.
  TGLHUDSprite();

  // Stored only when not 16.
  bool IsWidthStored() const override { return Width() != 16.0f; }
  bool IsHeightStored() const override { return Height() != 16.0f; }
  int32_t XTiles() const { return xTiles_; }
  void SetXTiles(int32_t value);
  int32_t YTiles() const { return yTiles_; }
  void SetYTiles(int32_t value);

  void Assign(const TPersistent* source) override;
  // The sprite's (the sizes against 16), then XTiles and YTiles when not 1.
  void DefinePublished(TFiler& filer) override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  int32_t xTiles_ = 1;
  int32_t yTiles_ = 1;
};

// A text at Position in pixels (x from the left, y from the top of the
// viewport, z the depth), turned by Rotation degrees on the screen and
// scaled by Scale x and y. Font, text, alignment, layout and colour are the
// flat text's.
class TGLHUDText : public TGLFlatText {
  QIRA_CLASS(TGLHUDText, TGLFlatText)

  TGLHUDText() = default;

  float Rotation() const { return rotation_; }
  void SetRotation(float value);

  void Assign(const TPersistent* source) override;
  // BitmapFont, Text, Alignment and Layout when not their defaults, Rotation
  // and ModulateColor always.
  void DefinePublished(TFiler& filer) override;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;

 protected:
  // Pixels from the top-left corner of the viewport, and the depth.
  virtual TAffineVector ScreenPosition(const TRenderContextInfo& rci) const;

 private:
  float rotation_ = 0.0f;
};

// Position x and y are fractions of the viewport's width and height; it
// starts centred (0.5, 0.5).
class TGLResolutionIndependantHUDText : public TGLHUDText {
  QIRA_CLASS(TGLResolutionIndependantHUDText, TGLHUDText)

  TGLResolutionIndependantHUDText();

 protected:
  TAffineVector ScreenPosition(const TRenderContextInfo& rci) const override;
};

// Drawn where the object's absolute position is seen on the screen.
class TGLAbsoluteHUDText : public TGLHUDText {
  QIRA_CLASS(TGLAbsoluteHUDText, TGLHUDText)

  TGLAbsoluteHUDText() = default;

 protected:
  TAffineVector ScreenPosition(const TRenderContextInfo& rci) const override;
};

// Registers the four classes with the class registry.
void RegisterHudObjectsClasses();

}  // namespace qira

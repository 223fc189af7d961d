#pragma once
// A bitmap font whose glyph picture is rendered at run time from a platform
// font through the canvas, packed into the smallest power-of-two texture
// (64 to 512 on a side) that holds every glyph of its ranges.
//
// Rendering the glyphs needs a QGuiApplication (the canvas loads fonts).
#include <cstdint>

#include "platform/CanvasFont.h"
#include "scene/objects/BitmapFonts.h"

namespace qira {

class TCanvas;

// The glyphs do not fit 512 x 512:
// "Characters are too large or too many. Unable to create font texture."
class EFontTextureTooSmall : public Exception {
 public:
  using Exception::Exception;
};

class TGLWindowsBitmapFont : public TGLCustomBitmapFont {
  QIRA_CLASS(TGLWindowsBitmapFont, TGLCustomBitmapFont)

  // Alpha from intensity, mipmapped minification, one range 32..125 from
  // glyph 0, white font; the glyphs are rendered at once (EFontTextureTooSmall
  // when they do not fit).
  TGLWindowsBitmapFont();

  const TFont& Font() const { return font_; }
  // Assigns the font; the texture is dropped and rendered again on the next draw.
  void SetFont(const TFont& value);
  // False while the ranges are the single default range (it is then not stored).
  bool StoreRanges() const;
  // Font (each field when not the white default font's), MagFilter,
  // MinFilter and Ranges.
  void DefinePublished(TFiler& filer) override;

  // Drops the texture and the glyph tables, tells the users, then the owner.
  void NotifyChange(TObject* sender) override;

  // Renders every glyph of the ranges into the glyph picture and records
  // widths and texture rectangles. On EFontTextureTooSmall the font's size
  // is left at 6 points and the picture as it was.
  virtual void LoadWindowsFont();

  // The layout pass: places the glyphs of codes 0..255 with a width of at
  // least 1 in cells of width + 2 by CharHeight (the glyph one pixel in), row by row, in a width x
  // height picture, and returns how many fit before the first that does not.
  // With a canvas each glyph is drawn and its rectangle recorded.
  int32_t LayoutGlyphs(int32_t width, int32_t height, TCanvas* canvas);

 protected:
  // The glyphs are rendered again from the font, then uploaded.
  void PrepareGlyphTexture() override;
  // GL_ALPHA: the texture is alpha only.
  GLenum TextureFormat() const override;
  // Each glyph's rectangle is its whole cell, one blank column wider on
  // either side than its advance.
  int32_t GlyphMargin() const override;
  void RangesChanged() override { NotifyChange(this); }
  // Any drop of the tables renders the glyphs again on the next draw.
  void GlyphTablesDropped() override;

 private:
  TFont font_;
};

// A Windows bitmap font whose glyph picture, once marked stored, is kept
// rather than rendered from the font.
class TGLStoredBitmapFont : public TGLWindowsBitmapFont {
  QIRA_CLASS(TGLStoredBitmapFont, TGLWindowsBitmapFont)

  TGLStoredBitmapFont() = default;
  bool GlyphsStored() const { return glyphsStored_; }
  void SetGlyphsStored(bool value) { glyphsStored_ = value; }
  // Nothing while the glyphs are stored.
  void LoadWindowsFont() override;

 private:
  bool glyphsStored_ = false;
};

// Registers TGLWindowsBitmapFont and TGLStoredBitmapFont with the class registry.
void RegisterWindowsBitmapFontClasses();

}  // namespace qira

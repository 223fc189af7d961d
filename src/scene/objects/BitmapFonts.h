#pragma once
// Text drawn in the 3D scene from a texture of glyphs.
//
// Sections: character ranges; TGLCustomBitmapFont (metrics, texture, drawing);
// TGLBitmapFont; TGLFlatText; registration.
//
// A font holds a picture of glyph cells, maps character codes (Windows-1252
// bytes; texts come in as UTF-8 and are converted) to cells through its
// ranges, turns the picture into an OpenGL texture on the first draw after a
// change and draws strings as textured quads, one glyph pixel per unit.
// TGLFlatText is the scene node that draws one string with a font in its own
// XY plane. Fonts and texts know each other only by free notification: a font
// freed before its texts leaves them drawing nothing.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Picture.h"
#include "scene/components/Colors.h"
#include "scene/components/Components.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/RenderingContext.h"
#include "scene/materials/Textures.h"
#include "scene/components/UpdateAbleObjects.h"

namespace qira {

class TGLCustomBitmapFont;

// What a text's draw (RenderString) sends: a quad of GlyphQuadVertices for each code
// it draws, and no more codes than its UTF-8 has bytes (each byte makes a code at
// most). The counts of what a label takes are made from these.
inline constexpr int64_t GlyphQuadVertices = 4;
constexpr int64_t TextQuadsAtMost(int64_t utf8Bytes) { return utf8Bytes > 0 ? utf8Bytes : 0; }

enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

// ----------------------------------------------------------- character ranges

// Codes StartASCII..StopASCII map to glyph indices StartGlyphIdx.. in order.
class TBitmapFontRange : public TCollectionItem {
  QIRA_CLASS(TBitmapFontRange, TCollectionItem)

  TBitmapFontRange() = default;

  uint8_t StartASCII() const { return startASCII_; }
  uint8_t StopASCII() const { return stopASCII_; }
  int32_t StartGlyphIdx() const { return startGlyphIdx_; }
  // A start above the stop raises the stop with it; a stop below the start
  // lowers the start; a negative glyph index becomes 0. Each change tells the
  // collection (and through it the owning font or scene object).
  void SetStartASCII(uint8_t value);
  void SetStopASCII(uint8_t value);
  void SetStartGlyphIdx(int32_t value);

  // "ASCII [#start, #stop] -> Glyphs [first, last]".
  std::string GetDisplayName() const override;
  void Assign(const TPersistent* source) override;
  // StartASCII, StopASCII and StartGlyphIdx, each when not 0.
  void DefinePublished(TFiler& filer) override;

 private:
  uint8_t startASCII_ = 0;
  uint8_t stopASCII_ = 0;
  int32_t startGlyphIdx_ = 0;
};

class TBitmapFontRanges : public TOwnedCollection {
  QIRA_CLASS(TBitmapFontRanges, TOwnedCollection)

  explicit TBitmapFontRanges(TPersistent* owner);

  TBitmapFontRange& Items(int index) const { return static_cast<TBitmapFontRange&>(GetItem(index)); }
  // A new range start..stop (ordered as the setters order them), glyphs from 0.
  TBitmapFontRange& Add(uint8_t startASCII, uint8_t stopASCII);
  // Sum over the ranges of stop - start + 1.
  int32_t CharacterCount() const;
  // True when some range holds the code.
  bool Contains(uint8_t code) const;

 protected:
  // A scene object owner gets StructureChanged; a font owner drops its glyph
  // tables and tells its users (a Windows font renders its glyphs again).
  void Update(TCollectionItem* item) override;
};

// ------------------------------------------------------- TGLCustomBitmapFont

// Texture rectangle of a glyph: left u, top v, right u, bottom v.
struct TCharRect {
  float left = 0.0f;
  float top = 0.0f;
  float right = 0.0f;
  float bottom = 0.0f;
  friend bool operator==(const TCharRect&, const TCharRect&) = default;
};

class TGLCustomBitmapFont : public TGLUpdateAbleComponent {
  QIRA_CLASS(TGLCustomBitmapFont, TGLUpdateAbleComponent)

  TGLCustomBitmapFont();
  ~TGLCustomBitmapFont() override;

  // ---- properties; every setter ends in InvalidateUsers
  TBitmapFontRanges& Ranges() const { return *ranges_; }
  void SetRanges(const TBitmapFontRanges& value);
  // The glyph grid; a change of its graphic invalidates the users.
  TPicture& Glyphs() const { return *glyphs_; }
  void SetGlyphs(const TPicture& value);
  int32_t CharWidth() const { return charWidth_; }
  int32_t CharHeight() const { return charHeight_; }
  // Only a different value is stored; values below 2 become 1.
  void SetCharWidth(int32_t value);
  void SetCharHeight(int32_t value);
  int32_t GlyphsIntervalX() const { return glyphsIntervalX_; }
  int32_t GlyphsIntervalY() const { return glyphsIntervalY_; }
  int32_t HSpace() const { return hSpace_; }
  int32_t VSpace() const { return vSpace_; }
  // Values below 1 become 0.
  void SetGlyphsIntervalX(int32_t value);
  void SetGlyphsIntervalY(int32_t value);
  void SetHSpace(int32_t value);
  void SetVSpace(int32_t value);
  int32_t SpacingFix() const { return spacingFix_; }
  TGLMinFilter MinFilter() const { return minFilter_; }
  TGLMagFilter MagFilter() const { return magFilter_; }
  // Only a different value; the texture is rebuilt on the next draw.
  void SetMinFilter(TGLMinFilter value);
  void SetMagFilter(TGLMagFilter value);
  TGLTextureImageAlpha GlyphsAlpha() const { return glyphsAlpha_; }
  void SetGlyphsAlpha(TGLTextureImageAlpha value);
  bool TextureModified() const { return textureModified_; }
  int32_t TextureWidth() const { return textureWidth_; }
  int32_t TextureHeight() const { return textureHeight_; }
  // The OpenGL texture name, 0 before the first draw.
  uint32_t TextureHandle() const { return textureHandle_->Handle(); }

  // ---- users (not owned; each must unregister before it is freed, or be
  // known to the font by free notification). Registering or unregistering one
  // costs about the same however many users the font has.
  virtual void RegisterUser(TGLBaseSceneObject* object);
  virtual void UnRegisterUser(TGLBaseSceneObject* object);
  // In the order they registered.
  std::vector<TGLBaseSceneObject*> Users() const;
  // Widths back to CharWidth, rectangles dropped, each user's NotifyChange
  // from the last user to the first.
  void InvalidateUsers();

  // ---- metrics
  // Advance width of a code (the table is built, all CharWidth, when empty).
  int32_t CharacterWidth(uint8_t code);
  // All 256 widths := width, or CharWidth when width < 0.
  void ResetCharWidths(int32_t width = -1);
  void SetCharWidth(uint8_t code, int32_t width);
  void SetCharRect(uint8_t code, const TCharRect& rect);
  // Texture rectangle of a code; the table is built from the ranges and the
  // texture size when empty. Codes in no range have a zero rectangle.
  TCharRect GetCharTexCoords(uint8_t code);
  // Width of a one-line UTF-8 text: n * (SpacingFix + HSpace) - HSpace plus
  // the widths of its n codes; 0 for an empty text.
  int32_t CalcStringWidth(std::string_view utf8);
  // The same for a text of codes.
  int32_t CodesWidth(std::string_view codes);
  // X of the line of `codes` that starts at `position` (it runs to the next
  // CR): 0, -width or round(-width / 2) by alignment.
  int32_t LineStartOffset(std::string_view codes, size_t position, TAlignment alignment);
  // Y of the first line's top for a text of CR-separated lines: 0, the
  // block height or round(height / 2) by layout.
  int32_t TextBlockOffset(std::string_view codes, TTextLayout layout) const;

  // ---- drawing (a context current, rci.GLStates set)
  // Draws a UTF-8 text, lines separated by CR, in the XY plane with its
  // reference point at the origin (moved by `position` x and y when given);
  // rows go down (up with reverseY). Nothing is drawn for an empty picture or
  // text. Enable states it changes are set back through the state cache. Sends a quad
  // a code drawn (TextQuadsAtMost) and tells the renderer's queue each.
  void RenderString(TRenderContextInfo& rci, std::string_view utf8, TAlignment alignment,
                    TTextLayout layout, const TVector& color, const TVector* position = nullptr,
                    bool reverseY = false);
  // Destroys the texture; the next draw builds it again.
  virtual void FreeTextureHandle();

 protected:
  // Draws the picture into a power-of-two image, derives alpha by
  // GlyphsAlpha and uploads it to the bound texture.
  virtual void PrepareGlyphTexture();
  // Internal format of the texture: GL_RGBA here.
  virtual GLenum TextureFormat() const;
  // Columns by which a glyph's texture rectangle reaches past its advance on
  // either side; the quad is drawn that much wider. 0 here.
  virtual int32_t GlyphMargin() const { return 0; }
  // Called when a range changed.
  virtual void RangesChanged() { InvalidateUsers(); }
  // A user being freed leaves the list.
  void Notification(TComponent& component, TOperation operation) override;
  // Called by InvalidateUsers once the tables are dropped, before the users
  // are told; a font whose tables come from rendering its glyphs asks for
  // them to be rendered again.
  virtual void GlyphTablesDropped() {}
  void MarkTextureModified() { textureModified_ = true; }
  // Stores metrics without invalidation (a font that measures itself).
  void StoreMetrics(int32_t charWidth, int32_t charHeight, int32_t spacingFix);
  // Called after the picture's graphic changed.
  void GlyphsChanged();

  // ---- component streams: the published properties, for the descendants
  // that publish them. "Glyphs.Data" (a graphic of a registered picture kind,
  // when the picture is not empty).
  void DefineGlyphs(TFiler& filer);
  void DefineRanges(TFiler& filer, bool stored);
  // GlyphsIntervalX and Y, Ranges (when any), CharWidth, CharHeight, HSpace
  // and VSpace, each when not its default; each read goes through its
  // setter (a cell of at least one pixel, no gap below 0).
  void DefineMetrics(TFiler& filer);
  // MagFilter, and MinFilter when not `defaultMinFilter`.
  void DefineFilters(TFiler& filer, TGLMinFilter defaultMinFilter);
  void AttachGlyphsChange();
  void DetachGlyphsChange();

 private:
  friend class TBitmapFontRanges;
  void SetupTextureParams();
  void BuildCharRects();

  std::unique_ptr<TBitmapFontRanges> ranges_;
  std::unique_ptr<TPicture> glyphs_;
  int32_t charWidth_ = 16;
  int32_t charHeight_ = 16;
  int32_t glyphsIntervalX_ = 0;
  int32_t glyphsIntervalY_ = 0;
  int32_t hSpace_ = 1;
  int32_t vSpace_ = 1;
  int32_t spacingFix_ = 0;
  // Held as components: a user being freed is known by its address only.
  TOrderedPointerSet<TComponent> users_;
  std::unique_ptr<TGLTextureHandle> textureHandle_;
  bool textureModified_ = true;
  TGLMinFilter minFilter_ = miLinear;
  TGLMagFilter magFilter_ = TGLMagFilter::maLinear;
  int32_t textureWidth_ = 0;
  int32_t textureHeight_ = 0;
  TGLTextureImageAlpha glyphsAlpha_ = TGLTextureImageAlpha::tiaDefault;
  std::vector<int32_t> charWidths_;
  std::vector<TCharRect> charRects_;
};

// A bitmap font given as a picture of glyphs.
class TGLBitmapFont : public TGLCustomBitmapFont {
  QIRA_CLASS(TGLBitmapFont, TGLCustomBitmapFont)

  TGLBitmapFont() = default;
  // Glyphs, the metrics and ranges, the filters and GlyphsAlpha.
  void DefinePublished(TFiler& filer) override;
};

// ---------------------------------------------------------------- TGLFlatText

enum TGLFlatTextOption : uint8_t { ftoTwoSided = 1 };
using TGLFlatTextOptions = uint8_t;

class TGLFlatText : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLFlatText, TGLImmaterialSceneObject)

  // Drawn every frame, never culled.
  TGLFlatText();
  // Unregisters from the font.
  ~TGLFlatText() override;

  TGLCustomBitmapFont* BitmapFont() const { return bitmapFont_; }
  // Leaves the old font and registers with the new one (free notification
  // both ways), then StructureChanged; only a different font.
  void SetBitmapFont(TGLCustomBitmapFont* value);
  // UTF-8; CR (13) separates lines.
  const std::string& Text() const { return text_; }
  void SetText(const std::string& value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  TGLColor& ModulateColor() const { return *modulateColor_; }
  void SetModulateColor(const TGLColor& value) { modulateColor_->Assign(&value); }
  TGLFlatTextOptions Options() const { return options_; }
  void SetOptions(TGLFlatTextOptions value);

  // From another flat text: font, text, alignment, layout, colour, options.
  void Assign(const TPersistent* source) override;
  // BitmapFont (by name), Text, Alignment, Layout and Options, each when not
  // its default, and ModulateColor always.
  void DefinePublished(TFiler& filer) override;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;

 protected:
  // The font being freed leaves the text without one.
  void Notification(TComponent& component, TOperation operation) override;
  // Parts of DefinePublished, shared with the heads-up text: BitmapFont and
  // Text; Alignment, Layout and ModulateColor.
  void DefineFontAndText(TFiler& filer);
  void DefineTextLook(TFiler& filer);

 private:
  void RenderText(TRenderContextInfo& rci);

  TGLCustomBitmapFont* bitmapFont_ = nullptr;
  std::string text_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TTextLayout layout_ = TTextLayout::tlTop;
  std::unique_ptr<TGLColor> modulateColor_;
  TGLFlatTextOptions options_ = 0;
};

// Registers TGLBitmapFont and TGLFlatText with the class registry.
void RegisterBitmapFontClasses();

}  // namespace qira

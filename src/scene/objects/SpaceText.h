#pragma once
// Text drawn as extruded polygon outlines of a platform font: one display
// list per character, shared through one TFontManager between all space
// texts with the same font settings.
//
// Glyphs come from the font's outlines (through the canvas's font loader,
// which needs a QGuiApplication), flattened within AllowedDeviation and
// tessellated with GLU. Their unit is the em: a glyph list draws the front
// face at z = 0 facing +Z, the back face at z = -Extrusion and the sides,
// then moves along x by the glyph's advance.
//
// Sections: text adjustment; font manager; TGLSpaceText; registration.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CanvasFont.h"
#include "platform/LibraryErrors.h"
#include "scene/components/OrderedPointerSet.h"
#include "scene/gl/RenderingContext.h"
#include "scene/graph/CustomSceneObjects.h"

namespace qira {

class TGLSpaceText;

// ------------------------------------------------------------ text adjustment

enum class TGLTextHorzAdjust : uint8_t { haLeft, haCenter, haRight, haAligned, haCentrically, haFitIn };
enum class TGLTextVertAdjust : uint8_t { vaTop, vaCenter, vaBottom, vaBaseLine };

class TGLTextAdjust : public TPersistent {
  QIRA_CLASS(TGLTextAdjust, TPersistent)

  TGLTextAdjust() = default;

  TGLTextHorzAdjust Horz() const { return horz_; }
  void SetHorz(TGLTextHorzAdjust value);
  TGLTextVertAdjust Vert() const { return vert_; }
  void SetVert(TGLTextVertAdjust value);
  // Called when either changes.
  TNotifyEvent OnChange;

  void Assign(const TPersistent* source) override;
  // Horz and Vert when not their defaults.
  void DefinePublished(TFiler& filer) override;

 private:
  TGLTextHorzAdjust horz_ = TGLTextHorzAdjust::haLeft;
  TGLTextVertAdjust vert_ = TGLTextVertAdjust::vaBaseLine;
};

// --------------------------------------------------------------- font manager

// "FontManager: no more display lists available" / "FontManager: font creation failed".
class EFontManagerError : public Exception {
 public:
  using Exception::Exception;
};

// The message a client of a font entry receives when its entry went away.
inline constexpr std::string_view kFontManagerMessage = "GL3DScene FontManagerMessage";

// Metrics of a glyph, in ems.
struct TGlyphMetrics {
  float blackBoxX = 0.0f;
  float blackBoxY = 0.0f;
  float originX = 0.0f;  // left of the black box
  float originY = 0.0f;  // top of the black box above the base line
  float cellIncX = 0.0f;
  float cellIncY = 0.0f;
};

struct TFontEntry {
  std::string Name;
  // The lists FirstChar..LastChar, in order from the handle's name.
  std::unique_ptr<TGLVirtualHandle> VirtualHandle;
  TFontStyles Styles = 0;
  float Extrusion = 0.0f;
  int32_t RefCount = 0;
  float AllowedDeviation = 0.0f;
  int32_t FirstChar = 0;
  int32_t LastChar = 0;
  std::array<TGlyphMetrics, 256> GlyphsMetrics{};
  TOrderedPointerSet<TGLSpaceText> Clients;
};

// The entries of every space text. One shared instance (Instance()).
class TFontManager {
 public:
  static TFontManager& Instance();

  // An entry of these settings, shared when one exists (RefCount counts its
  // acquisitions); its lists are built when it has none, which needs a
  // current rendering context. EFontManagerError when they cannot be.
  TFontEntry* AcquireFontEntry(const std::string& name, TFontStyles styles, TGLSpaceText* client,
                               int32_t lastChar, int32_t firstChar, float allowedDeviation, float extrusion);
  // The client is told and leaves the entry; the last release deletes the
  // lists, tells the remaining clients and frees the entry.
  void ReleaseFontEntry(TFontEntry* entry, TGLSpaceText* client);
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  void BuildLists(TFontEntry& entry);

  std::vector<std::unique_ptr<TFontEntry>> entries_;
};

// -------------------------------------------------------------- TGLSpaceText

enum class TSpaceTextCharRange : uint8_t { stcrAlphaNum, stcrNumbers, stcrAll };

class TGLSpaceText : public TGL3DSceneObject {
  QIRA_CLASS(TGLSpaceText, TGL3DSceneObject)

  TGLSpaceText();
  // Releases its font entry.
  ~TGLSpaceText() override;

  const TFont& Font() const { return font_; }
  void SetFont(const TFont& value);
  // Depth of the extrusion, in ems.
  float Extrusion() const { return extrusion_; }
  void SetExtrusion(float value);
  // In ems; a negative value becomes 0 (0: a fine default flattening).
  float AllowedDeviation() const { return allowedDeviation_; }
  void SetAllowedDeviation(float value);
  // stcrAlphaNum codes 32..127, stcrNumbers 48..57, stcrAll 0..255; other
  // characters are skipped.
  TSpaceTextCharRange CharacterRange() const { return characterRange_; }
  void SetCharacterRange(TSpaceTextCharRange value);
  TGLTextAdjust& Adjust() const { return *adjust_; }
  void SetAdjust(const TGLTextAdjust& value) { adjust_->Assign(&value); }
  // x scale; 0: not applied.
  float AspectRatio() const { return aspectRatio_; }
  void SetAspectRatio(float value);
  // Degrees about z; 0: not applied.
  float Oblique() const { return oblique_; }
  void SetOblique(float value);
  // Height of the glyphs above the base line; 0: the natural size (1 em).
  float TextHeight() const { return textHeight_; }
  void SetTextHeight(float value);
  // UTF-8 lines.
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(const std::vector<std::string>& value);
  // The single line when there is exactly one, else every line followed by CR LF.
  std::string Text() const;
  // Lines split at CR LF, LF or CR.
  void SetText(const std::string& value);

  TFontEntry* FontEntry() const { return entry_; }

  void Assign(const TPersistent* source) override;
  // Adjust, AllowedDeviation, AspectRatio, CharacterRange, Extrusion, Font,
  // Lines (as "Lines.Strings"), Oblique and TextHeight: the floats always,
  // the others when not their defaults. An AllowedDeviation read goes
  // through its setter (below 0 as 0).
  void DefinePublished(TFiler& filer) override;
  // Takes a font entry when the font changed or the entry has no lists.
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;
  void BuildList(TRenderContextInfo& rci) override;
  TVector BarycenterAbsolutePosition() const override;
  TVector AxisAlignedDimensionsUnscaled() const override;
  // kFontManagerMessage: the entry went away; it is forgotten and taken again
  // on the next render.
  void DefaultHandler(std::string_view message);

 private:
  struct TTextMetrics {
    float width = 0.0f;
    float top = 0.0f;
    float bottom = 0.0f;
  };
  void FontChanged();
  int32_t FirstChar() const;
  int32_t LastChar() const;
  // Windows-1252 codes of a line, without those outside the range.
  std::string Codes(const std::string& line) const;
  TTextMetrics Metrics(const std::string& codes) const;
  TTextMetrics WholeTextMetrics() const;

  TFont font_;
  float extrusion_ = 0.0f;
  float allowedDeviation_ = 0.0f;
  TSpaceTextCharRange characterRange_ = TSpaceTextCharRange::stcrAll;
  std::unique_ptr<TGLTextAdjust> adjust_;
  float aspectRatio_ = 0.0f;
  float oblique_ = 0.0f;
  float textHeight_ = 0.0f;
  std::vector<std::string> lines_;
  TFontEntry* entry_ = nullptr;
  bool fontChanged_ = true;
};

// Registers TGLSpaceText with the class registry.
void RegisterSpaceTextClasses();

}  // namespace qira

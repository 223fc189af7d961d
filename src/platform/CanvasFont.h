#pragma once
// Fonts of the canvas: the windowing library's font description, the mapping of
// Windows face names to installed families, and the loaded form the canvas lays
// text out with.
//
// Every font is loaded from its file (fontconfig names the file) and used unhinted:
// advances are the design advances rounded to whole pixels (as the platform's text
// functions report whole pixels), without kerning, and glyphs are drawn by filling
// their outlines. So text extents and text pixels depend only on the font file and
// the size, never on the machine's antialiasing, hinting or subpixel configuration
// (which Qt's own glyph rendering would follow).
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <string>

#include "platform/CanvasTypes.h"

namespace qira {

// Font style bits as stored (bits 0..3).
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

// Output quality of text. The default is non-antialiased: text pixels are either the
// text colour or untouched, on every machine.
inline constexpr int DEFAULT_QUALITY = 0;
inline constexpr int NONANTIALIASED_QUALITY = 3;
inline constexpr int ANTIALIASED_QUALITY = 4;

// Pixels per inch that new fonts convert point sizes with; 96 unless the program sets
// the screen's value at start.
int DefaultPixelsPerInch();
void SetDefaultPixelsPerInch(int pixelsPerInch);

// The windowing library's font: a description, resolved only when text is drawn.
struct TFont {
  int PixelsPerInch = DefaultPixelsPerInch();
  std::string Name = "MS Sans Serif";
  // Negative: the character height (em size) in pixels; positive: the cell height
  // (ascent + descent); 0: the default of 8 points.
  int32_t Height = -PointsToPixels(8, DefaultPixelsPerInch());
  TColor Color = clBlack;
  TFontStyles Style = 0;
  // Angle of the text's base line in tenths of a degree, counter-clockwise.
  int32_t Escapement = 0;
  int Quality = DEFAULT_QUALITY;

  // Size in points: -Height · 72 / PixelsPerInch, rounded.
  int Size() const;
  // Height := -(points · PixelsPerInch / 72), rounded.
  void SetSize(int points);

  static int32_t PointsToPixels(int points, int pixelsPerInch);
  friend bool operator==(const TFont&, const TFont&) = default;
};

// The installed family a face name stands for: the family itself when installed
// (any letter case); else the first installed metric-compatible family that the font
// configuration names for it (Liberation Sans for Arial, ...); else DejaVu Sans,
// DejaVu Serif or DejaVu Sans Mono by the generic kind the configuration gives the
// face; else the configuration's best match.
std::string ResolveFontFamily(const std::string& face);

// A face, style and file resolved for loading.
struct TFontFile {
  std::string Path;
  bool SyntheticBold = false;  // bold asked for, but the file is not bold
};

// The file to load for a face with the given weight and slant: a registered face's
// own file, else the font configuration's match for the resolved family.
TFontFile ResolveFontFile(const std::string& face, bool bold, bool italic);

// Registers a face name whose files are given (regular, bold, italic, bold italic; an
// empty entry falls back to the regular file), bypassing the font configuration.
void RegisterFontFace(const std::string& face, const std::array<std::string, 4>& files);

// A face that loads DejaVu Sans from the files of Debian's fonts-dejavu-core, so
// tests measure the same text on every machine. Registered on first use.
const std::string& PinnedFontFace();

// A font loaded at one pixel size: metrics and the layout of a text in whole pixels.
// Needs a QGuiApplication.
class TLoadedFont {
 public:
  // Loads (or takes from a cache) the font a description stands for. Never null: a
  // file that cannot be loaded gives a font that lays every text out as empty.
  static std::shared_ptr<const TLoadedFont> Load(const TFont& font);

  struct TLayout {
    QList<quint32> Glyphs;
    QList<QPointF> Positions;  // pen positions from the text's origin on the base line
    int32_t Width = 0;
  };
  TLayout Layout(const QString& text) const;

  const QRawFont& Raw() const { return raw_; }
  // Outline of a glyph in pixels, origin on the base line, y down.
  QPainterPath GlyphPath(quint32 glyph) const;
  int32_t Ascent() const { return ascent_; }
  int32_t Descent() const { return descent_; }
  bool SyntheticBold() const { return syntheticBold_; }
  // Distance below the base line and thickness of underline and strike-out strokes.
  double UnderlinePosition() const;
  double StrikeOutPosition() const;  // above the base line
  double LineThickness() const;

  TLoadedFont(QRawFont raw, bool syntheticBold);

 private:
  struct TGlyph {
    QPainterPath outline;
    int32_t advance = 0;
  };
  // Outlines and advances are asked of FreeType once per glyph.
  const TGlyph& Glyph(quint32 glyph) const;

  QRawFont raw_;
  mutable std::mutex glyphsMutex_;
  mutable std::unordered_map<quint32, TGlyph> glyphs_;
  bool syntheticBold_ = false;
  int32_t ascent_ = 0;
  int32_t descent_ = 0;
};

}  // namespace qira

#pragma once
// Drawing parameters for 2D drawing on a canvas: a pen (TLineParams), a fill
// (TBrushParams) and a text style with an optional framed, filled box
// (TFontParams). Each set applies itself to a canvas, stores itself as a version-0
// chunk, stores itself in the ini section named after it, and opens its editor.
//
// Chunks (little-endian, after the chunk's int32 version and int32 end offset):
//   brush: Enabled, Texture, TextureStyle (bytes), TextureColor (4), Back (1),
//          BackColor (4)                                           -- 20 bytes
//   line:  Enabled (1), Color (4), Style (1), Mode (1), Width (int32) -- 19 bytes
//   font:  Enabled (1), Face (int32 length + bytes), Size, Color (4 each),
//          Style bits, VAlign, HAlign, Framed (1 each), FrameLine chunk,
//          Filling chunk, HDistance, VDistance (int32 each)        -- 72 + L bytes
// ScaleDivisor, UseSystemDialog and Name are not stored.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/IniFile.h"

namespace qira {

class TGraphParams {
 public:
  virtual ~TGraphParams() = default;

  bool Enabled = true;  // a disabled set draws nothing
  std::string Name;     // the ini section of the set

  // Copies Enabled (not Name); descendants copy their own fields when source is of
  // their class.
  virtual void Assign(const TGraphParams& source);
  virtual void ApplyTo(TCanvas& canvas) const = 0;
  // False when a write failed.
  virtual bool SaveToStream(TBinaryStream& handle) const = 0;
  // False when the chunk is newer than version 0: it is skipped and the set is
  // unchanged. Throws EStreamError on a damaged chunk, leaving the set unchanged.
  virtual bool LoadFromStream(TBinaryStream& handle) = 0;
  virtual void SaveToIni(TIniFile& ini) const = 0;
  // Missing keys take the read defaults; out-of-range integers are replaced.
  virtual void LoadFromIni(const TIniFile& ini) = 0;
  // Opens the set's editor; true when the user accepted. The editors are dialogs
  // that the UI installs (see the Editor hooks); without one nothing opens.
  virtual bool Edit() = 0;

 protected:
  TGraphParams() = default;
  // The named constructor: Enabled and Name only, every other field 0.
  explicit TGraphParams(std::string name) : Name(std::move(name)) {}
  TGraphParams(const TGraphParams&) = default;
  TGraphParams& operator=(const TGraphParams&) = default;
};

class TBrushParams : public TGraphParams {
 public:
  // Defaults: no texture, hatch style 7 in black, background on in blue.
  TBrushParams();
  // Enabled and Name only; every other field 0 (no background).
  explicit TBrushParams(std::string name) : TGraphParams(std::move(name)) {}
  TBrushParams(const TBrushParams&) = default;
  TBrushParams& operator=(const TBrushParams&) = default;

  bool Texture = false;        // hatch instead of solid fill
  uint8_t TextureStyle = 0;    // brush style of the hatch, 0..7
  TColor TextureColor = 0;     // hatch colour
  bool Back = false;           // background filled
  TColor BackColor = 0;        // background colour

  void Assign(const TGraphParams& source) override;
  // Disabled: clear brush. Texture: TextureColor in TextureStyle, with the background
  // BackColor opaque when Back, else transparent. Otherwise BackColor, solid when
  // Back, else clear.
  void ApplyTo(TCanvas& canvas) const override;
  bool SaveToStream(TBinaryStream& handle) const override;
  bool LoadFromStream(TBinaryStream& handle) override;
  void SaveToIni(TIniFile& ini) const override;
  void LoadFromIni(const TIniFile& ini) override;
  bool Edit() override;

  // The filling editor, installed by the UI.
  static inline std::function<bool(TBrushParams&)> Editor;
};

class TLineParams : public TGraphParams {
 public:
  // Defaults: black, solid, mode copy (4), width 0.
  TLineParams();
  // Enabled and Name only; every other field 0 (mode 0 is "black").
  explicit TLineParams(std::string name) : TGraphParams(std::move(name)) {}
  TLineParams(const TLineParams&) = default;
  TLineParams& operator=(const TLineParams&) = default;

  TColor Color = 0;
  uint8_t Style = 0;  // pen style 0..6
  uint8_t Mode = 0;   // pen mode 0..15
  int32_t Width = 0;  // pixels, 0 the thinnest

  void Assign(const TGraphParams& source) override;
  // Disabled: only the pen style becomes clear. Otherwise colour, style, mode, width.
  void ApplyTo(TCanvas& canvas) const override;
  bool SaveToStream(TBinaryStream& handle) const override;
  bool LoadFromStream(TBinaryStream& handle) override;
  void SaveToIni(TIniFile& ini) const override;
  void LoadFromIni(const TIniFile& ini) override;
  bool Edit() override;

  // The line editor, installed by the UI.
  static inline std::function<bool(TLineParams&)> Editor;
};

// What the system font dialog edits of a font set.
struct TFontChoice {
  std::string Face;
  int32_t Size = 0;
  TColor Color = 0;
  uint8_t Style = 0;
};

class TFontParams : public TGraphParams {
 public:
  // Defaults: "Arial" 10 pt black, centred both ways, no frame; FrameLine and
  // Filling are the named sets Name + "_Line" and Name + "_Filling" (zeros, the
  // filling's BackColor $808080).
  TFontParams();
  TFontParams(const TFontParams&) = default;
  TFontParams& operator=(const TFontParams&) = default;

  std::string Face = "Arial";
  int32_t Size = 10;       // points
  TColor Color = 0;
  uint8_t Style = 0;       // fsBold, fsItalic, fsUnderline, fsStrikeOut
  uint8_t VAlign = 2;      // 0 top, 1 bottom, 2 centre
  uint8_t HAlign = 2;      // 0 left, 1 right, 2 centre
  bool Framed = false;     // draw a box behind the text
  TLineParams FrameLine;   // the box outline
  TBrushParams Filling;    // the box fill
  int32_t HDistance = 2;   // box margins in points
  int32_t VDistance = 2;
  double ScaleDivisor = 0;       // when not 0, the font height is divided by it
  bool UseSystemDialog = false;  // Edit opens the system font dialog

  void Assign(const TGraphParams& source) override;
  // Font name, size, colour and style; the text alignment from VAlign (top, bottom,
  // base line) and HAlign; when Framed, FrameLine and Filling too.
  void ApplyTo(TCanvas& canvas) const override;
  // Draws text at (x, y) as aligned, over its frame box when Framed; nothing when
  // disabled or text is empty. VAlign 2 centres the text's cell on y.
  void TextOut(TCanvas& canvas, int32_t x, int32_t y, std::string_view text) const;
  bool SaveToStream(TBinaryStream& handle) const override;
  bool LoadFromStream(TBinaryStream& handle) override;
  // FrameLine and Filling go to their own sections, named by their own Name.
  void SaveToIni(TIniFile& ini) const override;
  void LoadFromIni(const TIniFile& ini) override;
  bool Edit() override;

  // The font editor and the system font dialog, installed by the UI.
  static inline std::function<bool(TFontParams&)> Editor;
  static inline std::function<bool(TFontChoice&)> SystemFontDialog;
};

}  // namespace qira

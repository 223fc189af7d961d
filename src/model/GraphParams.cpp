#include "model/GraphParams.h"

// Sections:
//   1. construction and assignment
//   2. applying to a canvas, framed text
//   3. stream chunks
//   4. ini sections
//   5. editors

#include <algorithm>
#include <limits>

#include "model/StreamHelpers.h"
#include "platform/Rounding.h"

namespace qira {

namespace {

// The rules of reading, used for ini values and for stored bytes alike, so a set
// never holds a style or mode the canvas does not know.
inline constexpr int kMaxBrushStyle = 7;
inline constexpr int kMaxPenStyle = 6;
inline constexpr int kMaxPenMode = 15;
inline constexpr int kMaxAlign = 2;
// The font editor's largest size; a stored size beyond it is applied as this.
inline constexpr int32_t kMaxFontSize = 100000;
inline constexpr uint8_t kFontStyleBits = fsBold | fsItalic | fsUnderline | fsStrikeOut;

uint8_t InRangeOrZero(int v, int max) { return static_cast<uint8_t>(v < 0 || v > max ? 0 : v); }

int32_t SaturateInt32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Writes a version-0 chunk around the fields writeFields() writes; false when a
// write failed.
template <class WriteFields>
bool SaveChunk(TBinaryStream& handle, WriteFields writeFields) {
  TFileVersion chunk(handle, 0);
  return chunk.WriteHeader() && writeFields() && chunk.WriteEndOffset();
}

// Reads a version-0 chunk into a copy of params and assigns the copy only when the
// whole chunk was read. readFields(copy) reads the fields in stored order, brings
// them into range and returns false on a short read. False for a newer chunk,
// which is skipped; throws EStreamError on a damaged one. Either way params is
// unchanged.
template <class Params, class ReadFields>
bool LoadChunk(TBinaryStream& handle, Params& params, ReadFields readFields) {
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  if (!chunk.ReadHeader(found, true)) {
    if (chunk.Damaged()) throw EStreamError();
    return false;
  }
  const TReadBound fields(handle, chunk.EndOffset);
  Params read(params);
  if (!readFields(read) || !chunk.SkipToEnd()) throw EStreamError();
  params.Assign(read);
  return true;
}

}  // namespace

// ---- 1. construction and assignment --------------------------------------------

void TGraphParams::Assign(const TGraphParams& source) { Enabled = source.Enabled; }

TBrushParams::TBrushParams() : TGraphParams("Brush") {
  TextureStyle = 7;
  Back = true;
  BackColor = 0xFF0000;
}

void TBrushParams::Assign(const TGraphParams& source) {
  TGraphParams::Assign(source);
  if (const auto* s = dynamic_cast<const TBrushParams*>(&source)) {
    Texture = s->Texture;
    TextureStyle = s->TextureStyle;
    TextureColor = s->TextureColor;
    Back = s->Back;
    BackColor = s->BackColor;
  }
}

TLineParams::TLineParams() : TGraphParams("Line") { Mode = pmCopy; }

void TLineParams::Assign(const TGraphParams& source) {
  TGraphParams::Assign(source);
  if (const auto* s = dynamic_cast<const TLineParams*>(&source)) {
    Color = s->Color;
    Style = s->Style;
    Mode = s->Mode;
    Width = s->Width;
  }
}

TFontParams::TFontParams() : TGraphParams("Font"), FrameLine("Font_Line"), Filling("Font_Filling") {
  Filling.BackColor = 0x808080;
}

void TFontParams::Assign(const TGraphParams& source) {
  TGraphParams::Assign(source);
  if (const auto* s = dynamic_cast<const TFontParams*>(&source)) {
    Face = s->Face;
    Size = s->Size;
    Color = s->Color;
    Style = s->Style;
    VAlign = s->VAlign;
    HAlign = s->HAlign;
    Framed = s->Framed;
    FrameLine.Assign(s->FrameLine);
    Filling.Assign(s->Filling);
    HDistance = s->HDistance;
    VDistance = s->VDistance;
    ScaleDivisor = s->ScaleDivisor;
    UseSystemDialog = s->UseSystemDialog;
  }
}

// ---- 2. applying to a canvas, framed text --------------------------------------

void TBrushParams::ApplyTo(TCanvas& canvas) const {
  if (!Enabled) {
    canvas.SetBrushStyle(bsClear);
    return;
  }
  if (Texture) {
    // The brush change resets the background; it is set after it.
    canvas.SetBrush(TBrush{TextureColor, static_cast<TBrushStyle>(InRangeOrZero(TextureStyle, kMaxBrushStyle))});
    canvas.SetBkColor(BackColor);
    canvas.SetBkMode(Back ? bkOpaque : bkTransparent);
  } else {
    canvas.SetBrush(TBrush{BackColor, Back ? bsSolid : bsClear});
  }
}

void TLineParams::ApplyTo(TCanvas& canvas) const {
  if (!Enabled) {
    canvas.SetPenStyle(psClear);
    return;
  }
  canvas.SetPen(TPen{Color, Width, static_cast<TPenStyle>(InRangeOrZero(Style, kMaxPenStyle)),
                     static_cast<TPenMode>(InRangeOrZero(Mode, kMaxPenMode))});
}

void TFontParams::ApplyTo(TCanvas& canvas) const {
  TFont font = canvas.Font();
  font.Name = Face;
  font.SetSize(std::clamp(Size, -kMaxFontSize, kMaxFontSize));
  font.Color = Color;
  font.Style = Style & kFontStyleBits;
  if (ScaleDivisor != 0) font.Height = RoundToInt(font.Height / ScaleDivisor);
  canvas.SetFont(font);
  static constexpr uint32_t kVertical[] = {TA_TOP, TA_BOTTOM, TA_BASELINE};
  static constexpr uint32_t kHorizontal[] = {TA_LEFT, TA_RIGHT, TA_CENTER};
  canvas.SetTextAlign(kVertical[InRangeOrZero(VAlign, kMaxAlign)] + kHorizontal[InRangeOrZero(HAlign, kMaxAlign)]);
  if (Framed) {
    FrameLine.ApplyTo(canvas);
    Filling.ApplyTo(canvas);
  }
}

void TFontParams::TextOut(TCanvas& canvas, int32_t x, int32_t y, std::string_view text) const {
  if (!Enabled || text.empty()) return;
  ApplyTo(canvas);
  const TSize extent = canvas.TextExtent(text);
  const int64_t h = extent.cy;
  const int64_t w = extent.cx;
  int64_t dy = 0;
  const uint8_t vAlign = InRangeOrZero(VAlign, kMaxAlign);
  const uint8_t hAlign = InRangeOrZero(HAlign, kMaxAlign);
  if (vAlign == 2) {
    dy = h / 2;
    canvas.SetTextAlign((canvas.TextAlign() & ~TA_BASELINE) | TA_TOP);
  }
  if (Framed) {
    const int64_t fy = vAlign == 0 ? h / 2 : vAlign == 1 ? -(h / 2) : dy;
    const int64_t fx = hAlign == 0 ? w / 2 : hAlign == 1 ? -(w / 2) : 0;
    const double ppi = canvas.Font().PixelsPerInch;
    // Margins from a file can be anything; the sums are kept in 64 bits and saturated.
    const int64_t H = h + 2 * static_cast<int64_t>(RoundToInt(ppi * VDistance / 72.0));
    const int64_t W = w + 2 * static_cast<int64_t>(RoundToInt(ppi * HDistance / 72.0));
    const int64_t cy = static_cast<int64_t>(y) - dy + fy;
    const int64_t cx = static_cast<int64_t>(x) + fx;
    canvas.Rectangle(SaturateInt32(cx - W / 2), SaturateInt32(cy - H / 2), SaturateInt32(cx + W / 2),
                     SaturateInt32(cy + H / 2));
  }
  canvas.SetBrushStyle(bsClear);
  canvas.TextOut(x, SaturateInt32(static_cast<int64_t>(y) - dy), text);
}

// ---- 3. stream chunks ----------------------------------------------------------

bool TBrushParams::SaveToStream(TBinaryStream& handle) const {
  return SaveChunk(handle, [&] {
    return handle.WriteBool(Enabled) && handle.WriteBool(Texture) && handle.WriteUInt8(TextureStyle) &&
           handle.WriteUInt32(TextureColor) && handle.WriteBool(Back) && handle.WriteUInt32(BackColor);
  });
}

bool TBrushParams::LoadFromStream(TBinaryStream& handle) {
  return LoadChunk(handle, *this, [&handle](TBrushParams& read) {
    const bool ok = handle.ReadBool(read.Enabled) && handle.ReadBool(read.Texture) &&
                    handle.ReadUInt8(read.TextureStyle) && handle.ReadUInt32(read.TextureColor) &&
                    handle.ReadBool(read.Back) && handle.ReadUInt32(read.BackColor);
    read.TextureStyle = InRangeOrZero(read.TextureStyle, kMaxBrushStyle);
    return ok;
  });
}

bool TLineParams::SaveToStream(TBinaryStream& handle) const {
  return SaveChunk(handle, [&] {
    return handle.WriteBool(Enabled) && handle.WriteUInt32(Color) && handle.WriteUInt8(Style) &&
           handle.WriteUInt8(Mode) && handle.WriteInt32(Width);
  });
}

bool TLineParams::LoadFromStream(TBinaryStream& handle) {
  return LoadChunk(handle, *this, [&handle](TLineParams& read) {
    const bool ok = handle.ReadBool(read.Enabled) && handle.ReadUInt32(read.Color) &&
                    handle.ReadUInt8(read.Style) && handle.ReadUInt8(read.Mode) && handle.ReadInt32(read.Width);
    read.Style = InRangeOrZero(read.Style, kMaxPenStyle);
    read.Mode = InRangeOrZero(read.Mode, kMaxPenMode);
    read.Width = std::max(read.Width, 0);
    return ok;
  });
}

bool TFontParams::SaveToStream(TBinaryStream& handle) const {
  return SaveChunk(handle, [&] {
    return handle.WriteBool(Enabled) && WriteLengthString(handle, Face) && handle.WriteInt32(Size) &&
           handle.WriteUInt32(Color) && handle.WriteUInt8(Style) && handle.WriteUInt8(VAlign) &&
           handle.WriteUInt8(HAlign) && handle.WriteBool(Framed) && FrameLine.SaveToStream(handle) &&
           Filling.SaveToStream(handle) && handle.WriteInt32(HDistance) && handle.WriteInt32(VDistance);
  });
}

bool TFontParams::LoadFromStream(TBinaryStream& handle) {
  return LoadChunk(handle, *this, [&handle](TFontParams& read) {
    const bool ok = handle.ReadBool(read.Enabled) && ReadLengthString(handle, read.Face) &&
                    handle.ReadInt32(read.Size) && handle.ReadUInt32(read.Color) && handle.ReadUInt8(read.Style) &&
                    handle.ReadUInt8(read.VAlign) && handle.ReadUInt8(read.HAlign) && handle.ReadBool(read.Framed);
    if (!ok) throw EStreamError();
    // A newer nested chunk is skipped and leaves that nested set as it was.
    read.FrameLine.LoadFromStream(handle);
    read.Filling.LoadFromStream(handle);
    read.Style &= kFontStyleBits;
    read.VAlign = InRangeOrZero(read.VAlign, kMaxAlign);
    read.HAlign = InRangeOrZero(read.HAlign, kMaxAlign);
    return handle.ReadInt32(read.HDistance) && handle.ReadInt32(read.VDistance);
  });
}

// ---- 4. ini sections -----------------------------------------------------------

namespace {

int ColorToIni(TColor c) { return static_cast<int>(c); }
TColor ColorFromIni(int v) { return static_cast<TColor>(v); }

}  // namespace

void TBrushParams::SaveToIni(TIniFile& ini) const {
  ini.WriteBool(Name, "Enabled", Enabled);
  ini.WriteBool(Name, "Texture", Texture);
  ini.WriteInteger(Name, "TextureStyle", TextureStyle);
  ini.WriteInteger(Name, "TextureColor", ColorToIni(TextureColor));
  ini.WriteBool(Name, "Back", Back);
  ini.WriteInteger(Name, "BackColor", ColorToIni(BackColor));
}

void TBrushParams::LoadFromIni(const TIniFile& ini) {
  Enabled = ini.ReadBool(Name, "Enabled", true);
  Texture = ini.ReadBool(Name, "Texture", false);
  TextureStyle = InRangeOrZero(ini.ReadInteger(Name, "TextureStyle", 0), kMaxBrushStyle);
  TextureColor = ColorFromIni(ini.ReadInteger(Name, "TextureColor", 0xFF0000));
  Back = ini.ReadBool(Name, "Back", false);
  BackColor = ColorFromIni(ini.ReadInteger(Name, "BackColor", 0xFF0000));
}

void TLineParams::SaveToIni(TIniFile& ini) const {
  ini.WriteBool(Name, "Enabled", Enabled);
  ini.WriteInteger(Name, "Color", ColorToIni(Color));
  ini.WriteInteger(Name, "Style", Style);
  ini.WriteInteger(Name, "Mode", Mode);
  ini.WriteInteger(Name, "Width", Width);
}

void TLineParams::LoadFromIni(const TIniFile& ini) {
  Enabled = ini.ReadBool(Name, "Enabled", true);
  Color = ColorFromIni(ini.ReadInteger(Name, "Color", 0));
  Style = InRangeOrZero(ini.ReadInteger(Name, "Style", 0), kMaxPenStyle);
  Mode = InRangeOrZero(ini.ReadInteger(Name, "Mode", 0), kMaxPenMode);
  Width = std::max(ini.ReadInteger(Name, "Width", 0), 0);
}

void TFontParams::SaveToIni(TIniFile& ini) const {
  ini.WriteBool(Name, "Enabled", Enabled);
  ini.WriteString(Name, "Face", Face);
  ini.WriteInteger(Name, "Size", Size);
  ini.WriteInteger(Name, "Color", ColorToIni(Color));
  for (int i = 0; i < 4; ++i) ini.WriteBool(Name, "Style" + std::to_string(i), (Style >> i) & 1);
  ini.WriteInteger(Name, "VAlign", VAlign);
  ini.WriteInteger(Name, "HAlign", HAlign);
  ini.WriteBool(Name, "Framed", Framed);
  FrameLine.SaveToIni(ini);
  Filling.SaveToIni(ini);
  ini.WriteInteger(Name, "HDistance", HDistance);
  ini.WriteInteger(Name, "VDistance", VDistance);
}

void TFontParams::LoadFromIni(const TIniFile& ini) {
  Enabled = ini.ReadBool(Name, "Enabled", true);
  Face = ini.ReadString(Name, "Face", "Arial");
  Size = ini.ReadInteger(Name, "Size", 10);
  Color = ColorFromIni(ini.ReadInteger(Name, "Color", 0));
  Style = 0;
  for (int i = 0; i < 4; ++i)
    if (ini.ReadBool(Name, "Style" + std::to_string(i), false)) Style |= static_cast<uint8_t>(1u << i);
  VAlign = InRangeOrZero(ini.ReadInteger(Name, "VAlign", 0), kMaxAlign);
  HAlign = InRangeOrZero(ini.ReadInteger(Name, "HAlign", 0), kMaxAlign);
  Framed = ini.ReadBool(Name, "Framed", false);
  FrameLine.LoadFromIni(ini);
  Filling.LoadFromIni(ini);
  HDistance = ini.ReadInteger(Name, "HDistance", 0);
  VDistance = ini.ReadInteger(Name, "VDistance", 0);
}

// ---- 5. editors ----------------------------------------------------------------

bool TBrushParams::Edit() { return Editor ? Editor(*this) : false; }

bool TLineParams::Edit() { return Editor ? Editor(*this) : false; }

bool TFontParams::Edit() {
  if (!UseSystemDialog) return Editor ? Editor(*this) : false;
  if (!SystemFontDialog) return false;
  TFontChoice choice{Face, Size, Color, Style};
  if (!SystemFontDialog(choice)) return false;
  Face = choice.Face;
  Size = choice.Size;
  Color = choice.Color;
  Style = choice.Style & kFontStyleBits;
  return true;
}

}  // namespace qira

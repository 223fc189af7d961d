#pragma once
// A PNG image as a graphic of the picture registry: the chunk list, the
// settings of the encoder, transparency, and the conversion from and to
// pixels.
//
// Reading (LoadFromStream) checks the signature, every chunk's length against
// the bytes that remain, every CRC, the header and the palettes, and the size
// of the picture before it is allocated; a damaged file raises one of the
// exceptions of PngErrors.h and leaves the image as it was. Writing
// (SaveToStream) puts out the signature and every chunk in list order; saving
// to a file is atomic (TGraphic::SaveToFile).
#include <QImage>

#include <array>
#include <cstdint>

#include "imaging/PngChunks.h"
#include "platform/CanvasTypes.h"
#include "platform/Picture.h"

class QMimeData;

namespace qira {

class TBitmap;
class TCanvas;

// What a bitmap made from a PNG image needs to be drawn with its see-through
// colour (the platform's bitmap has no such properties of its own).
struct TBitmapTransparency {
  bool Transparent = false;
  TColor TransparentColor = 0;
};

// Row filters the encoder may choose from (FilterSet bits).
inline constexpr uint8_t pfNone = 1;
inline constexpr uint8_t pfSub = 2;
inline constexpr uint8_t pfUp = 4;
inline constexpr uint8_t pfAverage = 8;
inline constexpr uint8_t pfPaeth = 16;

// Colour types of the header.
inline constexpr uint8_t COLOR_GRAYSCALE = 0;
inline constexpr uint8_t COLOR_RGB = 2;
inline constexpr uint8_t COLOR_PALETTE = 3;
inline constexpr uint8_t COLOR_GRAYSCALEALPHA = 4;
inline constexpr uint8_t COLOR_RGBALPHA = 6;

// Transparency modes.
inline constexpr int32_t ptmNone = 0;
inline constexpr int32_t ptmBit = 1;
inline constexpr int32_t ptmPartial = 2;

// The 8-byte PNG signature.
inline constexpr std::array<uint8_t, 8> kPngSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

class TPNGObject : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  TPNGObject();
  ~TPNGObject() override;

  // ---- graphic ----
  bool GetEmpty() const override { return chunks_.Count() == 0; }
  int32_t Width() const override;
  int32_t Height() const override;
  // Replaces the image by the one read; on failure raises and keeps the old one.
  void LoadFromStream(TBinaryStream& stream) override;
  void SaveToStream(TBinaryStream& stream) const override;
  // The pixels as drawn: RGB32 without transparency; ARGB32 with the
  // transparent colour see-through (mode 1) or the stored alpha (mode 2).
  // EPNGOutMemory with the picture's size when the memory cannot hold them.
  QImage ToImage() const override;
  // The same pixels built a strip at a time from the decoded rows, so that
  // only one strip is held besides them.
  void ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const override;
  // AssignHandle of the image, not transparent; a null image clears.
  void AssignImage(const QImage& image) override;
  // Another PNG image is copied chunk by chunk with its settings; any other
  // graphic goes through its pixels.
  void Assign(const TGraphic& source) override;
  // The rendered bitmap of the view, not transparent.
  void Assign(const TBitmap& bitmap);
  // Rebuilds the chunk list from a bitmap: 1-bit and 8-bit indexed images give
  // colour type 3 with their colour table, every other image colour type 2 at
  // 8 bits (alpha dropped). With `transparent` a tRNS chunk takes the colour.
  void AssignHandle(const QImage& bitmap, bool transparent, TColor transparentColor);
  // Frees every chunk; the gamma tables go back to the identity.
  void Clear();

  // ---- chunks ----
  TPNGList& Chunks() { return chunks_; }
  const TPNGList& Chunks() const { return chunks_; }
  // The first chunk when it is a header, else EPNGHeaderNotPresent.
  TChunkIHDR& GetHeader() const;
  bool HasHeader() const;

  // ---- settings ----
  uint8_t FilterSet() const { return filterSet_; }
  void SetFilterSet(uint8_t filters) { filterSet_ = filters & 0x1F; }
  int32_t DeflateLevel() const { return deflateLevel_; }
  // Kept in 0 .. 9.
  void SetDeflateLevel(int32_t level) { deflateLevel_ = level < 0 ? 0 : (level > 9 ? 9 : level); }
  uint8_t InterlaceMethod() const { return interlaceMethod_; }
  // 0 (none) or 1 (Adam7); other values are ignored.
  void SetInterlaceMethod(uint8_t method) {
    if (method <= 1) interlaceMethod_ = method;
  }
  int32_t MaxIdatBytes() const { return maxIdatBytes_; }
  // A value below 65535 stores 65535.
  void SetMaxIdatBytes(int32_t bytes) { maxIdatBytes_ = bytes < 65535 ? 65535 : bytes; }

  // Identity until a gAMA chunk is read.
  std::array<uint8_t, 256> GammaLut;
  std::array<uint8_t, 256> InverseGammaLut;

  // ---- transparency ----
  int32_t GetTransparencyMode() const;
  bool GetTransparent() const { return GetTransparencyMode() != ptmNone; }
  // The graphic's Transparent property: kept, but it changes nothing in the file.
  void SetTransparent(bool transparent) { transparentFlag_ = transparent; }
  TColor GetTransparentColor() const;
  // Makes one colour see-through through the tRNS chunk (added when missing);
  // nothing without a header; EPNGCannotChangeTransparent for colour types 4
  // and 6. On a palette picture without that colour nothing becomes
  // see-through (an existing tRNS chunk is removed).
  void SetTransparentColor(TColor color);

  // ---- pixels ----
  // The colour at (x, y); 0 outside the picture or without a header.
  TColor GetPixel(int32_t x, int32_t y) const;
  // Nothing outside the picture; paletted pictures take the nearest entry.
  void SetPixel(int32_t x, int32_t y, TColor color);
  // New size keeping the overlapping pixels at the top-left; EPNGInvalidNewSize
  // for a size of 0 or less (the image is unchanged).
  void Resize(int32_t width, int32_t height);
  // Resize keeping the height (the width); nothing when the size is the one
  // held. The chunk list stays as it is: the image data chunks are encoded from
  // the resized picture when saved. EPNGHeaderNotPresent without a header.
  void SetWidth(int32_t width);
  void SetHeight(int32_t height);

  // ---- drawing ----
  // Draws the picture stretched (nearest pixel) into the rectangle, which is
  // normalised first; nothing when empty. Mode 0 copies the pixels, mode 1
  // leaves the canvas where the picture has its transparent colour (a palette
  // picture: its see-through index, whatever other entries share the colour),
  // mode 2 blends each pixel over the canvas with its alpha (DrawPartialTrans).
  // The canvas's clip region holds.
  void Draw(TCanvas& canvas, const TRect& rect) const;
  // Per channel (source × a + 255 + (255 − a) × destination) shr 8; a = 0
  // leaves the canvas, a = 255 copies. EPngError "There is no such palette
  // entry." (before anything is drawn) for a palette index beyond PLTE.
  void DrawPartialTrans(TCanvas& canvas, const TRect& rect) const;
  // Makes the bitmap a copy of the picture, when there is a header. Its depth:
  // mode 2 → 24 bits; else by bit depth 1 → 1, 2 or 4 → 4 bits, 8 or 16 → 24
  // (colour types 0 and 2) or 8 (type 3); indexed depths keep the picture's
  // indices and colours. Mode 2 is blended over white. Mode 1 answers the
  // transparent colour that the bitmap must be drawn with; for a palette
  // picture the see-through entry gets a colour no other entry has, so that
  // colour picks out that index alone.
  TBitmapTransparency AssignTo(TBitmapGraphic& bitmap) const;

  // ---- palette ----
  // The picture's colour table (empty for pictures without one).
  std::vector<TPngPaletteEntry> GetPalette() const;
  // Only for a palette picture (colour type 3): its colour table takes the
  // entries (the others keep theirs); false otherwise.
  bool SetPalette(const std::vector<TPngPaletteEntry>& entries);

  // ---- clipboard ----
  // The picture drawn on a white bitmap of its size, as the standard image.
  void SaveToClipboardFormat(QMimeData& data) const;
  // The data's image through AssignHandle, not transparent; EInvalidGraphic
  // "Bitmap image is not valid" when the data holds no image.
  void LoadFromClipboardFormat(const QMimeData& data);

  // Raises E with the text: every failure of the codec goes through here.
  template <class E>
  [[noreturn]] static void RaiseError(const std::string& text) {
    throw E(text);
  }
  // EPNGOutMemory with the picture's size and the room there is, when `bytes` more
  // do not fit in the memory the program may take.
  static void RefuseUnlessMemoryFits(uint32_t width, uint32_t height, uint64_t bytes);
  // EPNGOutMemory for an allocation of `bytes` that failed though the check passed
  // (the memory went meanwhile): the same text the check would have given.
  [[noreturn]] static void RaiseOutOfMemory(uint32_t width, uint32_t height, uint64_t bytes);

 private:
  void ResetGamma();
  void LoadChunks(TBinaryStream& stream);
  // The palette indices that name a colour: a PLTE's entries, else the stand-in palette.
  size_t PaletteEntryCount() const;
  // The format ToImage gives.
  QImage::Format ImageFormat() const;
  // Rows top .. top + image.height() - 1 of ToImage into `image`.
  void DrawRows(uint32_t top, QImage& image) const;

  TPNGList chunks_;
  uint8_t filterSet_ = pfSub;
  int32_t deflateLevel_ = 7;
  uint8_t interlaceMethod_ = 0;
  int32_t maxIdatBytes_ = 65535;
  bool transparentFlag_ = false;

  friend class TChunkIHDR;
};

// The start-up registration of the PNG format: the common chunks, and ".png"
// ("Portable Network Graphics") in the picture registry. Calling it again
// changes nothing.
void RegisterPngFileFormat();

}  // namespace qira

#include "imaging/PngObject.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "imaging/PngCrc.h"
#include "imaging/PngFilters.h"
#include "imaging/PngMessages.h"
#include "imaging/TransparentStretch.h"
#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/GraphicErrors.h"
#include "platform/LibraryErrors.h"

#include <QMimeData>
#include <QtEndian>

namespace qira {

// Sections: life and chunks; reading; writing; assignment; transparency;
// pixels; drawing and conversion; palette and clipboard; registration.

// ------------------------------------------------------------ life and chunks

const TGraphicClass& TPNGObject::StaticClass() {
  static const TGraphicClass cls("TPNGObject", []() -> std::unique_ptr<TGraphic> {
    return std::make_unique<TPNGObject>();
  });
  return cls;
}

TPNGObject::TPNGObject() : chunks_(*this) { ResetGamma(); }

TPNGObject::~TPNGObject() = default;

void TPNGObject::ResetGamma() {
  for (int i = 0; i < 256; ++i) {
    GammaLut[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    InverseGammaLut[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  }
}

void TPNGObject::Clear() {
  chunks_.Clear();
  ResetGamma();
}

bool TPNGObject::HasHeader() const { return dynamic_cast<TChunkIHDR*>(chunks_.GetItem(0)) != nullptr; }

TChunkIHDR& TPNGObject::GetHeader() const {
  auto* header = dynamic_cast<TChunkIHDR*>(chunks_.GetItem(0));
  if (!header) RaiseError<EPNGHeaderNotPresent>(EPNGHeaderNotPresentText);
  return *header;
}

int32_t TPNGObject::Width() const { return HasHeader() ? static_cast<int32_t>(GetHeader().Width) : 0; }
int32_t TPNGObject::Height() const { return HasHeader() ? static_cast<int32_t>(GetHeader().Height) : 0; }

// ------------------------------------------------------------------- reading

void TPNGObject::LoadFromStream(TBinaryStream& stream) {
  // A failure must not leave a half-read image behind: the old one comes back.
  std::vector<std::unique_ptr<TChunk>> previous = std::move(chunks_.Items());
  chunks_.Items().clear();
  const auto gamma = GammaLut;
  const auto inverse = InverseGammaLut;
  const uint8_t interlace = interlaceMethod_;
  try {
    LoadChunks(stream);
  } catch (...) {
    chunks_.Items() = std::move(previous);
    GammaLut = gamma;
    InverseGammaLut = inverse;
    interlaceMethod_ = interlace;
    throw;
  }
  Changed();
}

namespace {

// Deflate turns at most 258 bytes into one two-bit code, so no compressed byte
// inflates to more than 1032.
constexpr uint64_t kMaxInflateRatio = 1032;

// The filtered image data a header declares (rows with their filter bytes).
uint64_t DeclaredImageDataBytes(const uint8_t* ihdr) {
  const uint32_t width = ReadBigEndian32(ihdr);
  const uint32_t height = ReadBigEndian32(ihdr + 4);
  const uint8_t depth = ihdr[8];
  const uint8_t colorType = ihdr[9];
  if (ihdr[12] == 0) return height * (PngBytesPerRow(colorType, depth, width) + 1);
  uint64_t total = 0;
  for (const TAdam7Pass& pass : kAdam7Passes) {
    const uint64_t rowBytes = PngBytesPerRow(colorType, depth, Adam7PassWidth(pass, width));
    if (rowBytes > 0 && height > pass.RowStart)
      total += (height - pass.RowStart + pass.RowIncrement - 1) / pass.RowIncrement * (rowBytes + 1);
  }
  return total;
}

// A header whose picture the rest of the file could not hold even at deflate's
// best ratio is refused before the picture's storage is allocated: a few bytes
// must not claim hundreds of megabytes. Sizes the header refuses itself, before
// allocating, keep the header's own message.
void CheckDeclaredSize(TBinaryStream& stream, uint32_t length) {
  const int32_t at = stream.Position();
  uint8_t ihdr[13];
  if (length < sizeof ihdr || !stream.Read(ihdr, sizeof ihdr) || !stream.Seek(at)) return;
  const uint32_t width = ReadBigEndian32(ihdr);
  const uint32_t height = ReadBigEndian32(ihdr + 4);
  if (width == 0 || height == 0 || width >= 65536 || height >= 65536) return;
  const uint64_t declared = DeclaredImageDataBytes(ihdr);
  const uint64_t rest = static_cast<uint64_t>(stream.Remaining()) - length - 4;
  if (declared <= kMaxPngStorageBytes && declared > rest * kMaxInflateRatio)
    TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
}

}  // namespace

// The chunk loop: signature; then each chunk's length and name, the length
// checked against the bytes that remain before anything is read; the header
// first; cHRM and stray IDAT chunks skipped (their CRC still checked); unknown
// ancillary chunks kept raw; up to IEND.
void TPNGObject::LoadChunks(TBinaryStream& stream) {
  Clear();
  uint8_t signature[8];
  if (!stream.Read(signature, 8) || std::memcmp(signature, kPngSignature.data(), 8) != 0)
    RaiseError<EPNGInvalidFileHeader>(EPNGInvalidFileHeaderText);

  bool sawImageData = false;
  for (;;) {
    uint8_t head[8];
    if (!stream.Read(head, 8)) RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    const uint32_t length = ReadBigEndian32(head);
    TChunkName name;
    std::memcpy(name.data(), head + 4, 4);
    const std::string_view nameText = ChunkNameText(name);
    if (length > 0x7FFFFFFFu || static_cast<uint64_t>(length) + 4 > static_cast<uint64_t>(stream.Remaining()))
      RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    if (chunks_.Count() == 0 && nameText != "IHDR") RaiseError<EPNGIHDRNotFirst>(IHDRNotFirstMessage());

    if (nameText == "cHRM" || (nameText == "IDAT" && sawImageData)) {
      TChunk skipped(*this);
      if (!skipped.LoadFromStream(stream, name, length)) RaiseError<EPngInvalidCRC>(EPngInvalidCrcText);
      continue;
    }
    if (nameText == "IHDR" && chunks_.Count() > 0) RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
    if (nameText == "IHDR") CheckDeclaredSize(stream, length);

    bool known = false;
    std::unique_ptr<TChunk> chunk = CreateClassChunk(*this, name, &known);
    if (!known && (name[0] & 0x20) == 0) RaiseError<EPNGUnknownCriticalChunk>(EPNGUnknownCriticalChunkText);
    TChunk& added = *chunk;
    chunks_.Add(std::move(chunk));
    if (!added.LoadFromStream(stream, name, length)) RaiseError<EPngInvalidCRC>(EPngInvalidCrcText);
    if (nameText == "IDAT") sawImageData = true;
    if (nameText == "IEND") break;
  }
  if (!sawImageData) RaiseError<EPNGNoImageData>(EPNGNoImageDataText);
}

// ------------------------------------------------------------------- writing

void TPNGObject::SaveToStream(TBinaryStream& stream) const {
  // A file without header would be no PNG image at all.
  GetHeader();
  WritePngBytes(stream, kPngSignature.data(), kPngSignature.size());
  for (const auto& chunk : chunks_.Items())
    if (chunk) chunk->SaveToStream(stream);
}

// ---------------------------------------------------------------- assignment

void TPNGObject::Assign(const TGraphic& source) {
  if (&source == this) return;
  const auto* png = dynamic_cast<const TPNGObject*>(&source);
  if (!png) {
    AssignImage(source.ToImage());
    return;
  }
  Clear();
  interlaceMethod_ = png->interlaceMethod_;
  maxIdatBytes_ = png->maxIdatBytes_;
  deflateLevel_ = png->deflateLevel_;
  filterSet_ = png->filterSet_;
  for (const auto& sourceChunk : png->chunks_.Items()) {
    if (!sourceChunk) continue;
    std::unique_ptr<TChunk> chunk = CreateClassChunk(*this, sourceChunk->Name());
    TChunk& added = *chunk;
    chunks_.Add(std::move(chunk));
    added.Assign(*sourceChunk);
  }
  // The copied pixels are gamma-corrected; writing them back needs the same tables.
  GammaLut = png->GammaLut;
  InverseGammaLut = png->InverseGammaLut;
  Changed();
}

void TPNGObject::Assign(const TBitmap& bitmap) { AssignHandle(bitmap.Image(), false, 0); }

void TPNGObject::AssignImage(const QImage& image) { AssignHandle(image, false, 0); }

void TPNGObject::AssignHandle(const QImage& bitmap, bool transparent, TColor transparentColor) {
  Clear();
  if (bitmap.isNull()) {
    Changed();
    return;
  }
  int32_t bits = 24;
  QImage::Format format = QImage::Format_RGB32;
  if (bitmap.format() == QImage::Format_Mono || bitmap.format() == QImage::Format_MonoLSB) {
    bits = 1;
    format = QImage::Format_Mono;
  } else if (bitmap.format() == QImage::Format_Indexed8) {
    bits = 8;
    format = QImage::Format_Indexed8;
  }
  // A conversion that cannot be had is a refusal, never an empty picture.
  QImage source;
  try {
    source = ConvertedPictureImage(kPngFormatName, bitmap, format);
  } catch (const EGraphicTooLarge& refusal) {
    RaiseError<EPNGOutMemory>(refusal.what());
  }
  if (source.width() > 65535 || source.height() > 65535) RaiseError<EPNGSizeExceeds>(EPNGSizeExceedsText);

  auto header = std::make_unique<TChunkIHDR>(*this);
  header->Width = static_cast<uint32_t>(source.width());
  header->Height = static_cast<uint32_t>(source.height());
  header->BitDepth = static_cast<uint8_t>(bits < 16 ? bits : 8);
  header->ColorType = bits < 16 ? COLOR_PALETTE : COLOR_RGB;
  header->PrepareImageData();
  for (uint32_t y = 0; y < header->Height; ++y) {
    uint8_t* row = header->ScanLine(y);
    if (bits == 24) {
      const auto* pixels = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(y)));
      for (uint32_t x = 0; x < header->Width; ++x) {
        row[3 * x] = static_cast<uint8_t>(qBlue(pixels[x]));
        row[3 * x + 1] = static_cast<uint8_t>(qGreen(pixels[x]));
        row[3 * x + 2] = static_cast<uint8_t>(qRed(pixels[x]));
      }
    } else {
      std::memcpy(row, source.constScanLine(static_cast<int>(y)), (header->Width * static_cast<uint32_t>(bits) + 7) / 8);
    }
  }
  if (bits < 16) {
    std::vector<TPngPaletteEntry> entries(size_t{1} << bits);
    const QList<QRgb> table = source.colorTable();
    for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(table.size()); ++i) {
      const QRgb c = table[static_cast<qsizetype>(i)];
      entries[i] = {static_cast<uint8_t>(qBlue(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qRed(c))};
    }
    header->SetPaletteEntries(entries);
  }
  const bool paletted = header->Paletted();
  chunks_.Add(std::move(header));
  if (paletted) {
    auto palette = std::make_unique<TChunkPLTE>(*this);
    palette->SetCount(1 << bits);
    chunks_.Add(std::move(palette));
  }
  TChunktRNS* transparency = nullptr;
  if (transparent) {
    auto chunk = std::make_unique<TChunktRNS>(*this);
    transparency = chunk.get();
    chunks_.Add(std::move(chunk));
  }
  chunks_.Add(std::make_unique<TChunkIDAT>(*this));
  chunks_.Add(std::make_unique<TChunkIEND>(*this));
  if (transparency && !transparency->SetTransparentColor(transparentColor)) chunks_.Remove(transparency);
  Changed();
}

// -------------------------------------------------------------- transparency

int32_t TPNGObject::GetTransparencyMode() const {
  if (!HasHeader()) return ptmNone;
  const auto* trns = chunks_.ItemFromClass<TChunktRNS>();
  switch (GetHeader().ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB: return trns ? ptmBit : ptmNone;
    case COLOR_PALETTE: return trns ? (trns->BitTransparency() ? ptmBit : ptmPartial) : ptmNone;
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA: return ptmPartial;
    default: return ptmNone;
  }
}

TColor TPNGObject::GetTransparentColor() const {
  const auto* trns = chunks_.ItemFromClass<TChunktRNS>();
  return trns ? trns->TransparentColor() : 0;
}

void TPNGObject::SetTransparentColor(TColor color) {
  if (!HasHeader()) return;
  const uint8_t colorType = GetHeader().ColorType;
  if (colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA)
    RaiseError<EPNGCannotChangeTransparent>(EPNGCannotChangeTransparentText);
  TChunktRNS* trns = chunks_.ItemFromClass<TChunktRNS>();
  if (!trns) trns = &chunks_.Add<TChunktRNS>();
  if (!trns->SetTransparentColor(color & 0xFFFFFF)) {
    chunks_.Remove(trns);
    trns = nullptr;
  }
  // The new key is a colour of the held picture, no longer the file's raw samples.
  TChunkIHDR& h = GetHeader();
  h.DropKeyPlane();
  if (trns && h.BitDepth == 16 && h.HasExtra()) {
    // A 16-bit key matches one low byte; the pixels showing its colour take it, so a
    // saved file keys the pixels this picture shows see-through.
    const auto& key = trns->PaletteAlpha();
    const auto& inverse = InverseGammaLut;
    for (uint32_t y = 0; y < h.Height; ++y) {
      const uint8_t* row = h.ScanLine(y);
      uint8_t* low = h.ExtraScanLine(y);
      for (uint32_t x = 0; x < h.Width; ++x) {
        if (colorType == COLOR_GRAYSCALE) {
          if (row[x] == key[0]) low[x] = TChunktRNS::KeyLowByte;
        } else if (inverse[row[3 * x + 2]] == key[0] && inverse[row[3 * x + 1]] == key[2] &&
                   inverse[row[3 * x]] == key[4]) {
          for (size_t i = 0; i < 3; ++i) low[3 * x + i] = TChunktRNS::KeyLowByte;
        }
      }
    }
  }
  Changed();
}

// --------------------------------------------------------------------- pixels

namespace {

// Bits a paletted picture holds per pixel: its depth, 2 held as 4, 16 as 8.
int32_t HeldBits(const TChunkIHDR& h) { return h.BitDepth == 16 ? 8 : (h.BitDepth == 2 ? 4 : h.BitDepth); }

uint8_t HeldSample(const TChunkIHDR& h, uint32_t x, uint32_t y) {
  const int32_t bits = HeldBits(h);
  const uint8_t* row = h.ScanLine(y);
  const uint32_t perByte = 8 / static_cast<uint32_t>(bits);
  const int32_t shift = 8 - bits - static_cast<int32_t>(x % perByte) * bits;
  return static_cast<uint8_t>((row[x / perByte] >> shift) & ((1 << bits) - 1));
}

void PutHeldSample(TChunkIHDR& h, uint32_t x, uint32_t y, uint8_t value) {
  const int32_t bits = HeldBits(h);
  uint8_t* row = h.ScanLine(y);
  const uint32_t perByte = 8 / static_cast<uint32_t>(bits);
  const int32_t shift = 8 - bits - static_cast<int32_t>(x % perByte) * bits;
  const auto mask = static_cast<uint8_t>(((1 << bits) - 1) << shift);
  row[x / perByte] = static_cast<uint8_t>((row[x / perByte] & ~mask) | ((value << shift) & mask));
}

}  // namespace

TColor TPNGObject::GetPixel(int32_t x, int32_t y) const {
  if (!HasHeader()) return 0;
  const TChunkIHDR& h = GetHeader();
  if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= h.Width || static_cast<uint32_t>(y) >= h.Height) return 0;
  const auto ux = static_cast<uint32_t>(x);
  const auto uy = static_cast<uint32_t>(y);
  switch (h.ColorType) {
    case COLOR_GRAYSCALE: {
      const int32_t bits = HeldBits(h);
      const uint8_t sample = HeldSample(h, ux, uy);
      const int32_t level = bits == 1 ? sample * 255 : (sample * ((1 << bits) + 1)) % 256;
      const uint8_t grey = GammaLut[static_cast<size_t>(level)];
      return MakeColor(grey, grey, grey);
    }
    case COLOR_PALETTE: {
      const uint8_t index = HeldSample(h, ux, uy);
      // The palette holds its colours gamma-corrected already.
      if (const auto* plte = chunks_.ItemFromClass<TChunkPLTE>()) {
        const TPngPaletteEntry e = plte->Item(index);
        return MakeColor(e.Red, e.Green, e.Blue);
      }
      const TPngPaletteEntry e = h.Palette()[index];
      return MakeColor(e.Red, e.Green, e.Blue);
    }
    case COLOR_GRAYSCALEALPHA: {
      const uint8_t grey = h.ScanLine(uy)[ux];
      return MakeColor(grey, grey, grey);
    }
    case COLOR_RGB:
    case COLOR_RGBALPHA: {
      const uint8_t* p = h.ScanLine(uy) + 3 * ux;
      return MakeColor(p[2], p[1], p[0]);
    }
    default: return 0;
  }
}

void TPNGObject::SetPixel(int32_t x, int32_t y, TColor color) {
  if (!HasHeader()) return;
  TChunkIHDR& h = GetHeader();
  if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= h.Width || static_cast<uint32_t>(y) >= h.Height) return;
  const auto ux = static_cast<uint32_t>(x);
  const auto uy = static_cast<uint32_t>(y);
  switch (h.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE: {
      const auto& palette = h.Palette();
      size_t count = std::min<size_t>(palette.size(), size_t{1} << HeldBits(h));
      if (h.ColorType == COLOR_PALETTE) {
        if (const auto* plte = chunks_.ItemFromClass<TChunkPLTE>(); plte && plte->Count() > 0)
          count = std::min(count, static_cast<size_t>(plte->Count()));
      }
      size_t nearest = 0;
      int64_t best = INT64_MAX;
      for (size_t i = 0; i < count; ++i) {
        const int64_t dr = int64_t{palette[i].Red} - ColorRed(color);
        const int64_t dg = int64_t{palette[i].Green} - ColorGreen(color);
        const int64_t db = int64_t{palette[i].Blue} - ColorBlue(color);
        const int64_t distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
          best = distance;
          nearest = i;
        }
      }
      PutHeldSample(h, ux, uy, static_cast<uint8_t>(nearest));
      break;
    }
    case COLOR_GRAYSCALEALPHA: h.ScanLine(uy)[ux] = ColorRed(color); break;
    case COLOR_RGB:
    case COLOR_RGBALPHA: {
      uint8_t* p = h.ScanLine(uy) + 3 * ux;
      p[0] = ColorBlue(color);
      p[1] = ColorGreen(color);
      p[2] = ColorRed(color);
      break;
    }
    default: return;
  }
  // A pixel set by colour is see-through when it takes the key's colour.
  if (h.HasAlpha() && (h.ColorType == COLOR_GRAYSCALE || h.ColorType == COLOR_RGB))
    h.AlphaScanLine(uy)[ux] = GetPixel(x, y) == GetTransparentColor() ? 0 : 255;
  Changed();
}

void TPNGObject::Resize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) RaiseError<EPNGInvalidNewSize>(EPNGInvalidNewSizeText);
  if (width > 65535 || height > 65535) RaiseError<EPNGSizeExceeds>(EPNGSizeExceedsText);
  GetHeader().ResizeImage(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  Changed();
}

void TPNGObject::SetWidth(int32_t width) {
  if (width == Width()) return;
  Resize(width, static_cast<int32_t>(GetHeader().Height));
}

void TPNGObject::SetHeight(int32_t height) {
  if (height == Height()) return;
  Resize(static_cast<int32_t>(GetHeader().Width), height);
}

size_t TPNGObject::PaletteEntryCount() const {
  const TChunkIHDR& h = GetHeader();
  if (h.ColorType != COLOR_PALETTE) return h.Palette().size();
  // Without a PLTE the stand-in palette serves whole; with one, only its entries exist.
  const auto* plte = chunks_.ItemFromClass<TChunkPLTE>();
  return plte && plte->Count() > 0 ? std::min<size_t>(static_cast<size_t>(plte->Count()), h.Palette().size())
                                   : h.Palette().size();
}

QImage::Format TPNGObject::ImageFormat() const {
  return GetTransparencyMode() == ptmNone ? QImage::Format_RGB32 : QImage::Format_ARGB32;
}

void TPNGObject::RefuseUnlessMemoryFits(uint32_t width, uint32_t height, uint64_t bytes) {
  if (std::string problem = PictureMemoryProblem(kPngFormatName, width, height, bytes); !problem.empty())
    RaiseError<EPNGOutMemory>(problem);
}

void TPNGObject::RaiseOutOfMemory(uint32_t width, uint32_t height, uint64_t bytes) {
  RaiseError<EPNGOutMemory>(PictureTooLargeNow(kPngFormatName, width, height, bytes));
}

QImage TPNGObject::ToImage() const {
  if (!HasHeader()) return {};
  const TChunkIHDR& h = GetHeader();
  const uint64_t bytes = uint64_t{h.Width} * h.Height * 4;
  RefuseUnlessMemoryFits(h.Width, h.Height, bytes);
  QImage image(static_cast<int>(h.Width), static_cast<int>(h.Height), ImageFormat());
  if (image.isNull()) RaiseOutOfMemory(h.Width, h.Height, bytes);
  DrawRows(0, image);
  return image;
}

void TPNGObject::ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const {
  if (!HasHeader()) return;
  const TChunkIHDR& h = GetHeader();
  const auto width = static_cast<int>(h.Width);
  const auto height = static_cast<int32_t>(h.Height);
  rowsPerStrip = std::max(rowsPerStrip, 1);
  QImage strip;
  for (int32_t top = 0; top < height; top += rowsPerStrip) {
    const int32_t rows = std::min(rowsPerStrip, height - top);
    if (strip.height() != rows) strip = QImage(width, rows, ImageFormat());
    if (strip.isNull()) throw std::bad_alloc();
    DrawRows(static_cast<uint32_t>(top), strip);
    visit(top, strip);
  }
}

void TPNGObject::DrawRows(uint32_t top, QImage& image) const {
  const TChunkIHDR& h = GetHeader();
  const int32_t mode = GetTransparencyMode();
  const TColor transparentColor = GetTransparentColor();
  const auto* trns = chunks_.ItemFromClass<TChunktRNS>();
  const auto& palette = h.Palette();
  const size_t entries = PaletteEntryCount();
  const bool paletted = h.Paletted();
  const uint32_t end = top + static_cast<uint32_t>(image.height());
  for (uint32_t y = top; y < end; ++y) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y - top)));
    const uint8_t* row = h.ScanLine(y);
    // A key plane counts only while the picture has its key.
    const uint8_t* alpha = h.HasAlpha() && mode != ptmNone ? h.AlphaScanLine(y) : nullptr;
    if (!paletted && !alpha && mode == ptmNone) {
      // The common picture: blue, green, red bytes are an opaque pixel's first three
      // bytes, so each pixel is one 4-byte load with its fourth byte made opaque. The
      // last pixel's load would pass the row's end: it is built byte by byte.
      const uint32_t last = h.Width - 1;
      for (uint32_t x = 0; x < last; ++x) {
        uint32_t bgr;
        std::memcpy(&bgr, row + 3 * x, 4);
        out[x] = qToLittleEndian(bgr) | 0xFF000000u;
      }
      out[last] = 0xFF000000u | (uint32_t{row[3 * last + 2]} << 16) | (uint32_t{row[3 * last + 1]} << 8) | row[3 * last];
      continue;
    }
    for (uint32_t x = 0; x < h.Width; ++x) {
      uint8_t r = 0, g = 0, b = 0, a = 255;
      if (paletted) {
        const uint8_t index = HeldSample(h, x, y);
        // A colour the palette lacks is refused, never invented.
        if (index >= entries) RaiseError<EPngError>(EPNGUnknownPalEntryText);
        r = palette[index].Red;
        g = palette[index].Green;
        b = palette[index].Blue;
        // A palette picture is see-through by index: entries sharing the colour stay opaque.
        if (h.ColorType == COLOR_PALETTE && trns) a = trns->PaletteAlpha()[index];
      } else {
        b = row[3 * x];
        g = row[3 * x + 1];
        r = row[3 * x + 2];
      }
      if (alpha) {
        a = alpha[x];
      } else if (mode == ptmBit && h.ColorType != COLOR_PALETTE && MakeColor(r, g, b) == transparentColor) {
        // A key set in memory: the held colours are the picture's own.
        a = 0;
      }
      out[x] = qRgba(r, g, b, a);
    }
  }
}

// --------------------------------------------------- drawing and conversion

namespace {

TRect Normalized(const TRect& r) {
  return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right), std::max(r.Top, r.Bottom)};
}

// The one-colour transparency draw: the picture stretched into the rectangle,
// the destination left showing wherever the picture has the transparent colour.
void DrawTransparentBitmap(TCanvas& canvas, const QImage& picture, TColor transparentColor, const TRect& rect) {
  StretchDrawMasked(canvas, rect, picture, transparentColor);
}

// The colour GetPixel answers for a held sample of a grey or palette picture.
TColor SampleColor(const TPNGObject& png, const TChunkIHDR& h, uint8_t sample, const TChunkPLTE* plte) {
  if (h.ColorType == COLOR_GRAYSCALE) {
    const int32_t bits = HeldBits(h);
    const int32_t level = bits == 1 ? sample * 255 : (sample * ((1 << bits) + 1)) % 256;
    const uint8_t grey = png.GammaLut[static_cast<size_t>(level)];
    return MakeColor(grey, grey, grey);
  }
  if (plte && sample < plte->Count()) {
    const TPngPaletteEntry e = plte->Item(sample);
    return MakeColor(e.Red, e.Green, e.Blue);
  }
  const auto& palette = h.Palette();
  if (sample < palette.size()) return MakeColor(palette[sample].Red, palette[sample].Green, palette[sample].Blue);
  return 0;
}

}  // namespace

void TPNGObject::Draw(TCanvas& canvas, const TRect& rect) const {
  if (Empty() || !HasHeader()) return;
  const TRect r = Normalized(rect);
  switch (GetTransparencyMode()) {
    case ptmBit:
      // A palette picture's transparency belongs to one index, and a key read from a file to the
      // raw samples: a colour mask can tell neither apart.
      if (GetHeader().ColorType == COLOR_PALETTE || GetHeader().HasAlpha()) {
        DrawPartialTrans(canvas, r);
      } else {
        DrawTransparentBitmap(canvas, ToImage(), GetTransparentColor(), r);
      }
      break;
    case ptmPartial: DrawPartialTrans(canvas, r); break;
    default: StretchDrawMasked(canvas, r, ToImage(), CLR_INVALID); break;
  }
}

void TPNGObject::DrawPartialTrans(TCanvas& canvas, const TRect& rect) const {
  const TRect r = Normalized(rect);
  QImage* target = canvas.Image();
  if (r.IsEmpty() || !HasHeader() || !target || target->isNull()) return;
  const TChunkIHDR& h = GetHeader();
  if (h.Width == 0 || h.Height == 0) return;
  // ARGB32: the colours with their alpha; a picture that names a colour its palette
  // lacks is refused before anything is drawn.
  const QImage source = ToImage();
  const int64_t x0 = std::max<int64_t>(r.Left, 0);
  const int64_t y0 = std::max<int64_t>(r.Top, 0);
  const int64_t x1 = std::min<int64_t>(r.Right, target->width());
  const int64_t y1 = std::min<int64_t>(r.Bottom, target->height());
  if (x0 >= x1 || y0 >= y1) return;
  QImage work = target->copy(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                             static_cast<int>(y1 - y0))
                    .convertToFormat(QImage::Format_RGB32);
  if (work.isNull()) RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  const int64_t rw = int64_t{r.Right} - r.Left;
  const int64_t rh = int64_t{r.Bottom} - r.Top;
  auto blend = [](int32_t s, int32_t d, int32_t a) { return (s * a + 255 + (255 - a) * d) >> 8; };
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t sy = StretchSourceIndex(y - r.Top, rh, source.height());
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(sy)));
    auto* out = reinterpret_cast<QRgb*>(work.scanLine(static_cast<int>(y - y0)));
    for (int64_t x = x0; x < x1; ++x) {
      const QRgb s = in[StretchSourceIndex(x - r.Left, rw, source.width())];
      const int32_t a = qAlpha(s);
      QRgb& d = out[x - x0];
      if (a == 0) continue;
      if (a == 255) {
        d = s;
        continue;
      }
      d = qRgb(blend(qRed(s), qRed(d), a), blend(qGreen(s), qGreen(d), a), blend(qBlue(s), qBlue(d), a));
    }
  }
  canvas.Draw(static_cast<int32_t>(x0), static_cast<int32_t>(y0), work);
}

TBitmapTransparency TPNGObject::AssignTo(TBitmapGraphic& bitmap) const {
  if (!HasHeader()) return {};
  const TChunkIHDR& h = GetHeader();
  const int32_t mode = GetTransparencyMode();
  int32_t bits = 24;
  if (mode != ptmPartial) {
    switch (h.BitDepth) {
      case 1: bits = 1; break;
      case 2:
      case 4: bits = 4; break;
      case 8:
      case 16:
        if (h.ColorType == COLOR_GRAYSCALE || h.ColorType == COLOR_RGB) bits = 24;
        else if (h.ColorType == COLOR_PALETTE) bits = 8;
        else throw Exception("");
        break;
      default: throw Exception("");
    }
  }
  const auto width = static_cast<int>(h.Width);
  const auto height = static_cast<int>(h.Height);
  if (bits <= 8) {
    // Indexed depths keep the indices, so the see-through colour stays one index.
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull()) RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    const auto* plte = chunks_.ItemFromClass<TChunkPLTE>();
    QList<QRgb> table;
    for (int32_t v = 0; v < (1 << HeldBits(h)); ++v)
      table.push_back(ColorToPixel(SampleColor(*this, h, static_cast<uint8_t>(v), plte)));
    image.setColorTable(table);
    const size_t entries = h.ColorType == COLOR_PALETTE ? PaletteEntryCount() : table.size();
    for (uint32_t y = 0; y < h.Height; ++y) {
      uint8_t* row = image.scanLine(static_cast<int>(y));
      for (uint32_t x = 0; x < h.Width; ++x) {
        row[x] = HeldSample(h, x, y);
        if (row[x] >= entries) RaiseError<EPngError>(EPNGUnknownPalEntryText);
      }
    }
    if (mode == ptmBit && h.ColorType == COLOR_PALETTE) {
      // The bitmap's transparent colour must pick out the one see-through index only.
      const auto* trns = chunks_.ItemFromClass<TChunktRNS>();
      const auto& alphas = trns->PaletteAlpha();
      const auto see = std::find_if(alphas.begin(), alphas.end(), [](uint8_t a) { return a < 255; });
      const TUniqueEntryPicture unique = WithUniqueEntryColor(image, static_cast<int>(see - alphas.begin()));
      bitmap.Assign(TBitmapGraphic(unique.Image, bits));
      return {true, unique.Color};
    }
    bitmap.Assign(TBitmapGraphic(image, bits));
  } else {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    image.fill(Qt::white);
    if (mode == ptmPartial) {
      TCanvas canvas(&image);
      DrawPartialTrans(canvas, {0, 0, width, height});
    } else {
      // Every pixel as stored, the see-through colour included.
      for (uint32_t y = 0; y < h.Height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (uint32_t x = 0; x < h.Width; ++x)
          row[x] = ColorToPixel(GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y)));
      }
    }
    bitmap.Assign(TBitmapGraphic(image, 24));
  }
  if (mode == ptmBit) return {true, GetTransparentColor()};
  return {};
}

// ------------------------------------------------------ palette and clipboard

std::vector<TPngPaletteEntry> TPNGObject::GetPalette() const {
  if (!HasHeader()) return {};
  return GetHeader().Palette();
}

bool TPNGObject::SetPalette(const std::vector<TPngPaletteEntry>& entries) {
  if (!HasHeader() || GetHeader().ColorType != COLOR_PALETTE) return false;
  GetHeader().SetPaletteEntries(entries);
  Changed();
  return true;
}

void TPNGObject::SaveToClipboardFormat(QMimeData& data) const {
  if (!HasHeader()) return;
  QImage image(Width(), Height(), QImage::Format_RGB32);
  if (image.isNull()) RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  image.fill(Qt::white);
  TCanvas canvas(&image);
  Draw(canvas, {0, 0, Width(), Height()});
  data.setImageData(image);
}

void TPNGObject::LoadFromClipboardFormat(const QMimeData& data) {
  const QImage image = data.hasImage() ? qvariant_cast<QImage>(data.imageData()) : QImage();
  if (image.isNull()) throw EInvalidGraphic(kInvalidBitmapText, "no picture on the clipboard");
  AssignHandle(image, false, 0);
}

// -------------------------------------------------------------- registration

void RegisterPngFileFormat() {
  RegisterCommonChunks();
  RegisterPictureFileFormat("PNG", kPngFormatName, TPNGObject::StaticClass());
}

}  // namespace qira

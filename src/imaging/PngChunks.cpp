#include "imaging/PngChunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "imaging/PngCrc.h"
#include "imaging/PngFilters.h"
#include "imaging/PngMessages.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "platform/Rounding.h"

namespace qira {

// Sections: framing; TChunk; IHDR; PLTE; tRNS; gAMA; pHYs; tIME; tEXt and zTXt;
// registry; TPNGList.

// ------------------------------------------------------------------ framing

TChunkName MakeChunkName(std::string_view text) {
  TChunkName name{};
  for (size_t i = 0; i < name.size() && i < text.size(); ++i) name[i] = text[i];
  return name;
}

void WritePngBytes(TBinaryStream& stream, const void* data, size_t size) {
  if (size > static_cast<size_t>(INT32_MAX) || !stream.Write(data, static_cast<int32_t>(size)))
    throw EGraphicFileError("Stream write error");
}

void WritePngChunk(TBinaryStream& stream, const TChunkName& name, const uint8_t* data, uint32_t size) {
  uint8_t head[8];
  WriteBigEndian32(head, size);
  std::memcpy(head + 4, name.data(), 4);
  WritePngBytes(stream, head, 8);
  if (size != 0) WritePngBytes(stream, data, size);
  uint8_t crc[4];
  WriteBigEndian32(crc, ~UpdateCRC(UpdateCRC(0xFFFFFFFFu, name.data(), 4), data, size));
  WritePngBytes(stream, crc, 4);
}

namespace {

template <class T>
std::unique_ptr<TChunk> CreateChunkOf(TPNGObject& owner) {
  return std::make_unique<T>(owner);
}

// The chunk of class T, or EPngError "The chunks must be compatible to be assigned.".
template <class T>
const T& CompatibleSource(const TChunk& source) {
  const auto* same = dynamic_cast<const T*>(&source);
  if (!same) TPNGObject::RaiseError<EPngError>(EPNGCannotAssignChunkText);
  return *same;
}

}  // namespace

#define QIRA_PNG_CHUNK_DEFINE(Class, NameText)                                           \
  Class::Class(TPNGObject& owner) : TChunk(owner, NameText) {}                           \
  const TChunkClass& Class::StaticClass() {                                              \
    static const TChunkClass cls{NameText, &CreateChunkOf<Class>};                       \
    return cls;                                                                          \
  }

// ------------------------------------------------------------------- TChunk

TChunk::TChunk(TPNGObject& owner) : owner_(&owner) {}

TChunk::TChunk(TPNGObject& owner, std::string_view className) : owner_(&owner) {
  if (className.size() == 4) name_ = MakeChunkName(className);
}

const TChunkClass& TChunk::StaticClass() {
  static const TChunkClass cls{"", &CreateChunkOf<TChunk>};
  return cls;
}

void TChunk::Assign(const TChunk& source) {
  name_ = source.name_;
  data_ = source.data_;
}

bool TChunk::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (static_cast<uint64_t>(size) + 4 > static_cast<uint64_t>(stream.Remaining()))
    TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
  name_ = name;
  data_.clear();
  if (!ResizeCounted(data_, size)) TPNGObject::RaiseError<EPNGOutMemory>(PictureDataTooLarge(kPngFormatName, size));
  uint8_t crc[4];
  if ((size != 0 && !stream.Read(data_.data(), static_cast<int32_t>(size))) || !stream.Read(crc, 4))
    TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
  const uint32_t computed = ~UpdateCRC(UpdateCRC(0xFFFFFFFFu, name.data(), 4), data_.data(), data_.size());
  return computed == ReadBigEndian32(crc);
}

void TChunk::SaveData(TBinaryStream& stream) const {
  WritePngChunk(stream, name_, data_.data(), DataSize());
}

void TChunk::SaveToStream(TBinaryStream& stream) const { SaveData(stream); }

QIRA_PNG_CHUNK_DEFINE(TChunkIEND, "IEND")

// ---------------------------------------------------------------------- IHDR

QIRA_PNG_CHUNK_DEFINE(TChunkIHDR, "IHDR")

namespace {

// Whether the PNG standard pairs the colour type with the bit depth.
bool ValidColorAndDepth(uint8_t colorType, uint8_t bitDepth) {
  switch (colorType) {
    case COLOR_GRAYSCALE: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case COLOR_PALETTE: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case COLOR_RGB:
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA: return bitDepth == 8 || bitDepth == 16;
    default: return false;
  }
}

// A 256-colour halftone palette (a 6 × 6 × 6 colour cube and a grey ramp),
// the stand-in for a palette picture until its PLTE chunk is read.
std::vector<TPngPaletteEntry> HalftonePalette() {
  std::vector<TPngPaletteEntry> entries;
  entries.reserve(256);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries.push_back({static_cast<uint8_t>(b * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(r * 51)});
  for (int i = 0; entries.size() < 256; ++i) {
    const auto grey = static_cast<uint8_t>(8 + i * 6);
    entries.push_back({grey, grey, grey});
  }
  return entries;
}

}  // namespace

void TChunkIHDR::FreeImageData() {
  dibBits_ = 0;
  stride_ = 0;
  imageData_ = {};
  imageAlpha_ = {};
  extraImageData_ = {};
  palette_ = {};
}

void TChunkIHDR::PrepareImageData() {
  FreeImageData();
  if (!ValidColorAndDepth(ColorType, BitDepth)) TPNGObject::RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
  int32_t bits = 0;
  if (ColorType == COLOR_RGB || ColorType == COLOR_RGBALPHA) {
    bits = 24;
  } else {
    bits = BitDepth == 2 ? 4 : (BitDepth == 16 ? 8 : BitDepth);
  }
  const uint64_t stride = ((static_cast<uint64_t>(bits) * Width + 31) / 32) * 4;
  const uint64_t pixels = stride * Height;
  const uint64_t alpha =
      (ColorType == COLOR_GRAYSCALEALPHA || ColorType == COLOR_RGBALPHA) ? uint64_t{Width} * Height : 0;
  const uint64_t extra = BitDepth == 16 ? pixels : 0;
  // The decoded rows and the 32-bit picture shown from them must both fit, or the
  // picture is refused before anything is allocated.
  const uint64_t storage = pixels + alpha + extra;
  const uint64_t needed = storage + uint64_t{Width} * Height * 4;
  if (storage > kMaxPngStorageBytes)
    TPNGObject::RaiseError<EPNGOutMemory>(
        PictureAboveStorageLimit(kPngFormatName, Width, Height, storage, kMaxPngStorageBytes));
  TPNGObject::RefuseUnlessMemoryFits(Width, Height, needed);

  dibBits_ = bits;
  stride_ = static_cast<int32_t>(stride);
  try {
    imageData_.assign(pixels, 0);
    imageAlpha_.assign(alpha, 0);
    extraImageData_.assign(extra, 0);
  } catch (const std::bad_alloc&) {
    FreeImageData();
    TPNGObject::RaiseOutOfMemory(Width, Height, needed);
  }
  if (ColorType == COLOR_PALETTE) {
    palette_ = HalftonePalette();
    palette_.resize(size_t{1} << bits);
  } else if (Paletted()) {
    BuildGreyPalette(BitDepth == 16 ? 8 : BitDepth);
  }
}

void TChunkIHDR::BuildGreyPalette(int32_t bits) {
  const int32_t n = 1 << bits;
  palette_.assign(size_t{1} << dibBits_, TPngPaletteEntry{});
  for (int32_t i = 0; i < n && i < static_cast<int32_t>(palette_.size()); ++i) {
    const uint8_t level = Owner().GammaLut[static_cast<size_t>(i * 255 / (n - 1))];
    palette_[static_cast<size_t>(i)] = {level, level, level};
  }
}

void TChunkIHDR::StartKeyPlane() {
  if (ColorType != COLOR_GRAYSCALE && ColorType != COLOR_RGB) return;
  // The plane joins the storage after the header was accepted: the same limits hold for it.
  const uint64_t plane = uint64_t{Width} * Height;
  const uint64_t storage = imageData_.size() + extraImageData_.size() + plane;
  if (storage > kMaxPngStorageBytes)
    TPNGObject::RaiseError<EPNGOutMemory>(
        PictureAboveStorageLimit(kPngFormatName, Width, Height, storage, kMaxPngStorageBytes));
  TPNGObject::RefuseUnlessMemoryFits(Width, Height, plane);
  try {
    imageAlpha_.assign(plane, 255);
  } catch (const std::bad_alloc&) {
    TPNGObject::RaiseOutOfMemory(Width, Height, plane);
  }
}

void TChunkIHDR::DropKeyPlane() {
  if (ColorType == COLOR_GRAYSCALE || ColorType == COLOR_RGB) imageAlpha_ = {};
}

void TChunkIHDR::SetPaletteEntries(const std::vector<TPngPaletteEntry>& entries) {
  for (size_t i = 0; i < entries.size() && i < palette_.size(); ++i) palette_[i] = entries[i];
}

void TChunkIHDR::ResizeImage(uint32_t width, uint32_t height) {
  const uint32_t oldWidth = Width;
  const uint32_t oldHeight = Height;
  std::vector<uint8_t> oldPixels = std::move(imageData_);
  std::vector<uint8_t> oldAlpha = std::move(imageAlpha_);
  std::vector<uint8_t> oldExtra = std::move(extraImageData_);
  std::vector<TPngPaletteEntry> oldPalette = std::move(palette_);
  const int32_t oldStride = stride_;
  const bool keyPlane = !oldAlpha.empty() && (ColorType == COLOR_GRAYSCALE || ColorType == COLOR_RGB);
  Width = width;
  Height = height;
  try {
    PrepareImageData();
    if (keyPlane) StartKeyPlane();
  } catch (...) {
    Width = oldWidth;
    Height = oldHeight;
    stride_ = oldStride;
    imageData_ = std::move(oldPixels);
    imageAlpha_ = std::move(oldAlpha);
    extraImageData_ = std::move(oldExtra);
    palette_ = std::move(oldPalette);
    throw;
  }
  palette_ = std::move(oldPalette);
  std::fill(imageAlpha_.begin(), imageAlpha_.end(), uint8_t{255});
  const uint32_t rows = std::min(oldHeight, height);
  const uint64_t keptBits = static_cast<uint64_t>(std::min(oldWidth, width)) * static_cast<uint64_t>(dibBits_);
  for (uint32_t y = 0; y < rows; ++y) {
    const size_t from = static_cast<size_t>(y) * static_cast<size_t>(oldStride);
    for (std::vector<uint8_t>* plane : {&imageData_, &extraImageData_}) {
      const std::vector<uint8_t>& old = plane == &imageData_ ? oldPixels : oldExtra;
      if (plane->empty()) continue;
      uint8_t* to = plane->data() + static_cast<size_t>(y) * static_cast<size_t>(stride_);
      std::memcpy(to, old.data() + from, static_cast<size_t>(keptBits / 8));
      if (keptBits % 8 != 0) {
        // The last byte is shared with the cut-off pixels: keep only the kept bits.
        const auto mask = static_cast<uint8_t>(0xFF00 >> (keptBits % 8));
        to[keptBits / 8] = static_cast<uint8_t>(old[from + keptBits / 8] & mask);
      }
    }
    if (!imageAlpha_.empty())
      std::memcpy(imageAlpha_.data() + static_cast<size_t>(y) * width,
                  oldAlpha.data() + static_cast<size_t>(y) * oldWidth, std::min(oldWidth, width));
  }
}

void TChunkIHDR::Assign(const TChunk& source) {
  const auto& header = CompatibleSource<TChunkIHDR>(source);
  Width = header.Width;
  Height = header.Height;
  BitDepth = header.BitDepth;
  ColorType = header.ColorType;
  CompressionMethod = header.CompressionMethod;
  FilterMethod = header.FilterMethod;
  InterlaceMethod = header.InterlaceMethod;
  dibBits_ = header.dibBits_;
  stride_ = header.stride_;
  imageData_ = header.imageData_;
  imageAlpha_ = header.imageAlpha_;
  extraImageData_ = header.extraImageData_;
  palette_ = header.palette_;
}

// Checks, in this order: the size (13 bytes), width and height (1 .. 65535),
// the compression method (0), the interlace method (0 or 1), the colour type
// with its depth, and the storage the picture needs.
bool TChunkIHDR::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size < 13) TPNGObject::RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
  const uint8_t* d = data_.data();
  Width = ReadBigEndian32(d);
  Height = ReadBigEndian32(d + 4);
  BitDepth = d[8];
  ColorType = d[9];
  CompressionMethod = d[10];
  FilterMethod = d[11];
  InterlaceMethod = d[12];
  if (Width == 0 || Height == 0) TPNGObject::RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
  if (Width >= 65536 || Height >= 65536) TPNGObject::RaiseError<EPNGSizeExceeds>(EPNGSizeExceedsText);
  if (CompressionMethod != 0) TPNGObject::RaiseError<EPNGUnknownCompression>(EPNGUnknownCompressionText);
  if (InterlaceMethod > 1) TPNGObject::RaiseError<EPNGUnknownInterlace>(EPNGUnknownInterlaceText);
  Owner().SetInterlaceMethod(InterlaceMethod);
  PrepareImageData();
  return true;
}

void TChunkIHDR::SaveToStream(TBinaryStream& stream) const {
  uint8_t d[13];
  WriteBigEndian32(d, Width);
  WriteBigEndian32(d + 4, Height);
  d[8] = BitDepth == 2 ? 4 : BitDepth;  // the picture is held at 4 bits
  d[9] = ColorType;
  d[10] = CompressionMethod;
  d[11] = FilterMethod;
  d[12] = Owner().InterlaceMethod();
  WritePngChunk(stream, name_, d, sizeof d);
}

// ---------------------------------------------------------------------- PLTE

QIRA_PNG_CHUNK_DEFINE(TChunkPLTE, "PLTE")

void TChunkPLTE::Assign(const TChunk& source) { count_ = CompatibleSource<TChunkPLTE>(source).count_; }

bool TChunkPLTE::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size % 3 != 0 || size / 3 > 256 || size == 0)
    TPNGObject::RaiseError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
  count_ = static_cast<int32_t>(size / 3);
  std::vector<TPngPaletteEntry> entries(static_cast<size_t>(count_));
  const auto& gamma = Owner().GammaLut;
  for (size_t i = 0; i < entries.size(); ++i)
    entries[i] = {gamma[data_[i * 3 + 2]], gamma[data_[i * 3 + 1]], gamma[data_[i * 3]]};
  Owner().GetHeader().SetPaletteEntries(entries);
  return true;
}

TPngPaletteEntry TChunkPLTE::Item(int32_t index) const {
  const auto& palette = Owner().GetHeader().Palette();
  if (index < 0 || index >= count_ || static_cast<size_t>(index) >= palette.size())
    TPNGObject::RaiseError<EPngError>(EPNGUnknownPalEntryText);
  return palette[static_cast<size_t>(index)];
}

void TChunkPLTE::SaveToStream(TBinaryStream& stream) const {
  const auto& palette = Owner().GetHeader().Palette();
  size_t count = count_ > 0 ? static_cast<size_t>(count_) : palette.size();
  count = std::min<size_t>({count, palette.size(), 256});
  std::vector<uint8_t> d(count * 3);
  const auto& inverse = Owner().InverseGammaLut;
  for (size_t i = 0; i < count; ++i) {
    d[i * 3] = inverse[palette[i].Red];
    d[i * 3 + 1] = inverse[palette[i].Green];
    d[i * 3 + 2] = inverse[palette[i].Blue];
  }
  WritePngChunk(stream, name_, d.data(), static_cast<uint32_t>(d.size()));
}

// ---------------------------------------------------------------------- tRNS

QIRA_PNG_CHUNK_DEFINE(TChunktRNS, "tRNS")

void TChunktRNS::Assign(const TChunk& source) {
  const auto& other = CompatibleSource<TChunktRNS>(source);
  data_ = other.data_;
  alphaTable_ = other.alphaTable_;
  bitTransparency_ = other.bitTransparency_;
}

void TChunktRNS::TakeData() {
  alphaTable_.fill(255);
  std::copy(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(data_.size(), 256)),
            alphaTable_.begin());
  const uint8_t colorType = Owner().HasHeader() ? Owner().GetHeader().ColorType : 0;
  if (colorType == COLOR_GRAYSCALE || colorType == COLOR_RGB) {
    bitTransparency_ = true;
  } else if (colorType == COLOR_PALETTE) {
    bitTransparency_ = std::count_if(data_.begin(), data_.end(), [](uint8_t a) { return a < 255; }) == 1;
  } else {
    bitTransparency_ = false;
  }
}

bool TChunktRNS::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (size > 256) TPNGObject::RaiseError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  TakeData();
  return true;
}

void TChunktRNS::SaveToStream(TBinaryStream& stream) const {
  const uint32_t size = static_cast<uint32_t>(std::min<size_t>(data_.size(), 256));
  const bool grey2 = Owner().HasHeader() && Owner().GetHeader().ColorType == COLOR_GRAYSCALE &&
                     Owner().GetHeader().BitDepth == 2 && size >= 2;
  if (!grey2) {
    WritePngChunk(stream, name_, data_.data(), size);
    return;
  }
  // Two-bit grey goes out at four bits, each sample s as 5 × s: the key follows, and a
  // key no 2-bit sample has stays one no written sample has.
  std::vector<uint8_t> data(data_.begin(), data_.begin() + size);
  const uint32_t key = (uint32_t{data[0]} << 8) | data[1];
  WriteBigEndian16(data.data(), static_cast<uint16_t>(key <= 3 ? 5 * key : 0xFFFF));
  WritePngChunk(stream, name_, data.data(), size);
}

// Reads through the alpha table, which holds the data bytes over 255s, so a
// short chunk never reads beyond its data.
TColor TChunktRNS::TransparentColor() const {
  if (!Owner().HasHeader()) return 0;
  const TChunkIHDR& header = Owner().GetHeader();
  const auto& gamma = Owner().GammaLut;
  switch (header.ColorType) {
    case COLOR_GRAYSCALE: {
      const auto& palette = header.Palette();
      // Two-bit samples are held at four bits as 5 × s, among sixteen grey levels;
      // 16-bit ones by their high byte.
      const uint32_t key = (uint32_t{alphaTable_[0]} << 8) | alphaTable_[1];
      const size_t index = header.BitDepth == 16 ? alphaTable_[0]
                           : header.BitDepth != 2 ? alphaTable_[1]
                           : key <= 3             ? 5 * key
                                                  : palette.size();
      if (index >= palette.size()) return 0;
      const TPngPaletteEntry& e = palette[index];
      return MakeColor(e.Red, e.Green, e.Blue);
    }
    case COLOR_RGB: {
      // A 16-bit sample shows as its high byte, an 8-bit one as its low byte.
      const size_t at = header.BitDepth == 16 ? 0 : 1;
      return MakeColor(gamma[alphaTable_[at]], gamma[alphaTable_[at + 2]], gamma[alphaTable_[at + 4]]);
    }
    case COLOR_PALETTE: {
      const auto& palette = header.Palette();
      for (size_t i = 0; i < data_.size() && i < palette.size(); ++i) {
        if (data_[i] == 0) return MakeColor(palette[i].Red, palette[i].Green, palette[i].Blue);
      }
      return 0;
    }
    default: return 0;
  }
}

bool TChunktRNS::SetTransparentColor(TColor color) {
  const TChunkIHDR& header = Owner().GetHeader();
  // The key holds the raw samples the writer puts out for a pixel of that colour; a
  // 16-bit sample takes the low byte the owner gives such pixels (KeyLowByte).
  const bool wide = header.BitDepth == 16;
  const auto& inverse = Owner().InverseGammaLut;
  switch (header.ColorType) {
    case COLOR_GRAYSCALE: {
      // The sample of the grey level shown in that colour: two-bit levels are held
      // at four bits as 5 × s.
      const auto& palette = header.Palette();
      size_t k = 0;
      while (k < palette.size() && !(palette[k].Red == ColorRed(color) && palette[k].Green == ColorGreen(color) &&
                                     palette[k].Blue == ColorBlue(color)))
        ++k;
      if (k == palette.size() || (header.BitDepth == 2 && k % 5 != 0)) return false;
      const size_t sample = header.BitDepth == 2 ? k / 5 : wide ? (k << 8) | KeyLowByte : k;
      data_.assign(2, 0);
      WriteBigEndian16(data_.data(), static_cast<uint16_t>(sample));
      break;
    }
    case COLOR_RGB: {
      data_.assign(6, 0);
      const uint8_t channels[3] = {ColorRed(color), ColorGreen(color), ColorBlue(color)};
      for (size_t i = 0; i < 3; ++i) {
        const uint8_t high = inverse[channels[i]];
        WriteBigEndian16(data_.data() + 2 * i, static_cast<uint16_t>(wide ? (high << 8) | inverse[KeyLowByte] : high));
      }
      break;
    }
    case COLOR_PALETTE: {
      const auto& palette = header.Palette();
      const auto* plte = Owner().Chunks().ItemFromClass<TChunkPLTE>();
      size_t count = plte && plte->Count() > 0 ? static_cast<size_t>(plte->Count()) : palette.size();
      count = std::min(count, palette.size());
      size_t k = 0;
      while (k < count && !(palette[k].Red == ColorRed(color) && palette[k].Green == ColorGreen(color) &&
                            palette[k].Blue == ColorBlue(color)))
        ++k;
      if (k == count) return false;
      data_.assign(k + 1, 255);
      data_[k] = 0;
      break;
    }
    default: return false;
  }
  TakeData();
  bitTransparency_ = true;
  return true;
}

// ---------------------------------------------------------------------- gAMA

TChunkgAMA::TChunkgAMA(TPNGObject& owner) : TChunk(owner, "gAMA") { SetGamma(1); }

const TChunkClass& TChunkgAMA::StaticClass() {
  static const TChunkClass cls{"gAMA", &CreateChunkOf<TChunkgAMA>};
  return cls;
}

void TChunkgAMA::Assign(const TChunk& source) { data_ = CompatibleSource<TChunkgAMA>(source).data_; }

uint32_t TChunkgAMA::Gamma() const { return data_.size() >= 4 ? ReadBigEndian32(data_.data()) : 0; }

void TChunkgAMA::SetGamma(uint32_t value) {
  data_.assign(4, 0);
  WriteBigEndian32(data_.data(), value);
}

bool TChunkgAMA::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  const uint32_t value = Gamma();
  if (value != 0) {
    TPNGObject& owner = Owner();
    const double exponent = 1.0 / (value / 100000.0 * 2.2);
    for (int i = 0; i < 256; ++i) {
      const double base = i / 255.0;
      // A base of 0 gives 0; an exponent of 0 gives 1.
      const double power = exponent == 0.0 ? 1.0 : (base <= 0.0 ? 0.0 : std::pow(base, exponent));
      const int32_t level = RoundToInt(255.0 * power);
      owner.GammaLut[static_cast<size_t>(i)] = static_cast<uint8_t>(std::clamp(level, 0, 255));
    }
    for (int i = 0; i < 256; ++i) owner.InverseGammaLut[owner.GammaLut[static_cast<size_t>(i)]] = static_cast<uint8_t>(i);
  }
  return true;
}

// ---------------------------------------------------------------------- pHYs

QIRA_PNG_CHUNK_DEFINE(TChunkpHYs, "pHYs")

void TChunkpHYs::Assign(const TChunk& source) {
  const auto& other = CompatibleSource<TChunkpHYs>(source);
  data_ = other.data_;
  PPUnitX = other.PPUnitX;
  PPUnitY = other.PPUnitY;
  UnitType = other.UnitType;
}

bool TChunkpHYs::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size == 9) {
    PPUnitX = ReadBigEndian32(data_.data());
    PPUnitY = ReadBigEndian32(data_.data() + 4);
    UnitType = data_[8];
  }
  return true;
}

void TChunkpHYs::SaveToStream(TBinaryStream& stream) const {
  uint8_t d[9];
  WriteBigEndian32(d, PPUnitX);
  WriteBigEndian32(d + 4, PPUnitY);
  d[8] = UnitType;
  WritePngChunk(stream, name_, d, sizeof d);
}

// ---------------------------------------------------------------------- tIME

QIRA_PNG_CHUNK_DEFINE(TChunktIME, "tIME")

void TChunktIME::Assign(const TChunk& source) {
  const auto& other = CompatibleSource<TChunktIME>(source);
  data_ = other.data_;
  Year = other.Year;
  Month = other.Month;
  Day = other.Day;
  Hour = other.Hour;
  Minute = other.Minute;
  Second = other.Second;
}

bool TChunktIME::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size == 7) {
    Year = ReadBigEndian16(data_.data());
    Month = data_[2];
    Day = data_[3];
    Hour = data_[4];
    Minute = data_[5];
    Second = data_[6];
  }
  return true;
}

void TChunktIME::SaveToStream(TBinaryStream& stream) const {
  uint8_t d[7];
  WriteBigEndian16(d, Year);
  d[2] = Month;
  d[3] = Day;
  d[4] = Hour;
  d[5] = Minute;
  d[6] = Second;
  WritePngChunk(stream, name_, d, sizeof d);
}

// -------------------------------------------------------------- tEXt and zTXt

QIRA_PNG_CHUNK_DEFINE(TChunktEXt, "tEXt")

void TChunktEXt::Assign(const TChunk& source) {
  const auto& other = CompatibleSource<TChunktEXt>(source);
  data_ = other.data_;
  Keyword = other.Keyword;
  Text = other.Text;
}

bool TChunktEXt::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size >= 3) {
    const auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    Text.assign(zero == data_.end() ? data_.end() : zero + 1, data_.end());
  }
  return true;
}

void TChunktEXt::SaveToStream(TBinaryStream& stream) const {
  std::vector<uint8_t> d(Keyword.begin(), Keyword.end());
  d.push_back(0);
  d.insert(d.end(), Text.begin(), Text.end());
  WritePngChunk(stream, name_, d.data(), static_cast<uint32_t>(d.size()));
}

TChunkzTXt::TChunkzTXt(TPNGObject& owner) : TChunktEXt(owner, "zTXt") {}

const TChunkClass& TChunkzTXt::StaticClass() {
  static const TChunkClass cls{"zTXt", &CreateChunkOf<TChunkzTXt>};
  return cls;
}

namespace {

// Inflates a whole zlib stream; EPNGZLIBError for broken data, EPNGOutMemory
// beyond kMaxPngTextBytes or when zlib cannot have its memory.
std::string InflateText(const uint8_t* data, size_t size) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  std::string text;
  uint8_t out[16384];
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  int ret = Z_OK;
  while (ret != Z_STREAM_END) {
    z.next_out = out;
    z.avail_out = sizeof out;
    ret = inflate(&z, Z_NO_FLUSH);
    if (ret == Z_MEM_ERROR) {
      inflateEnd(&z);
      TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    }
    if (ret == Z_BUF_ERROR || ret == Z_NEED_DICT || ret < 0) {
      inflateEnd(&z);
      // Input that stops before the stream's end is broken data too.
      TPNGObject::RaiseError<EPNGZLIBError>(ZLibErrorMessage(ret == Z_BUF_ERROR ? Z_DATA_ERROR : ret));
    }
    text.append(reinterpret_cast<const char*>(out), sizeof out - z.avail_out);
    if (text.size() > kMaxPngTextBytes) {
      inflateEnd(&z);
      TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    }
  }
  inflateEnd(&z);
  return text;
}

}  // namespace

bool TChunkzTXt::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  if (!TChunk::LoadFromStream(stream, name, size)) return false;
  if (size >= 4) {
    const auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    Text.clear();
    if (zero != data_.end() && zero + 1 != data_.end() && *(zero + 1) == 0) {
      const size_t start = static_cast<size_t>(zero + 2 - data_.begin());
      Text = InflateText(data_.data() + start, data_.size() - start);
    }
  }
  return true;
}

void TChunkzTXt::SaveToStream(TBinaryStream& stream) const {
  const std::string text = Text.empty() ? std::string(" ") : Text;
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                static_cast<uLong>(text.size()), Owner().DeflateLevel()) != Z_OK)
    TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  std::vector<uint8_t> d(Keyword.begin(), Keyword.end());
  d.push_back(0);
  d.push_back(0);
  d.insert(d.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packedSize));
  WritePngChunk(stream, name_, d.data(), static_cast<uint32_t>(d.size()));
}

// ------------------------------------------------------------------ registry

namespace {

std::vector<const TChunkClass*>& ChunkRegistry() {
  static std::vector<const TChunkClass*> registry;
  return registry;
}

}  // namespace

void RegisterChunk(const TChunkClass& chunkClass) { ChunkRegistry().push_back(&chunkClass); }

void RegisterCommonChunks() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const TChunkClass* cls :
         {&TChunkIEND::StaticClass(), &TChunkIHDR::StaticClass(), &TChunkIDAT::StaticClass(),
          &TChunkPLTE::StaticClass(), &TChunkgAMA::StaticClass(), &TChunktRNS::StaticClass(),
          &TChunkpHYs::StaticClass(), &TChunktIME::StaticClass(), &TChunktEXt::StaticClass(),
          &TChunkzTXt::StaticClass()})
      RegisterChunk(*cls);
  });
}

std::unique_ptr<TChunk> CreateClassChunk(TPNGObject& owner, const TChunkName& name, bool* known) {
  // The codec cannot read without its standard chunks, so they are there on
  // first use whether or not start-up registered them.
  RegisterCommonChunks();
  std::unique_ptr<TChunk> chunk;
  for (const TChunkClass* cls : ChunkRegistry()) {
    if (cls->Name == ChunkNameText(name)) {
      chunk = cls->Create(owner);
      break;
    }
  }
  if (known) *known = chunk != nullptr;
  if (!chunk) chunk = std::make_unique<TChunk>(owner);
  chunk->SetName(name);
  return chunk;
}

// ----------------------------------------------------------- TPNGPointerList

TChunk* TPNGPointerList::GetItem(int32_t index) const {
  return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

int32_t TPNGPointerList::IndexOf(const TChunk* chunk) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == chunk) return static_cast<int32_t>(i);
  return -1;
}

bool TPNGPointerList::Insert(int32_t index, std::unique_ptr<TChunk> chunk) {
  if (index < 0 || (index >= Count() && !items_.empty())) return false;
  items_.insert(items_.begin() + std::min(index, Count()), std::move(chunk));
  return true;
}

void TPNGPointerList::Remove(const TChunk* chunk) {
  const int32_t index = IndexOf(chunk);
  if (index >= 0) items_.erase(items_.begin() + index);
}

void TPNGPointerList::SetCount(int32_t count) {
  items_.resize(static_cast<size_t>(std::max(count, 0)));
  if (items_.empty()) items_.shrink_to_fit();
}

// ------------------------------------------------------------------ TPNGList

int32_t TPNGList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] && ChunkNameText(items_[i]->Name()) == name) return static_cast<int32_t>(i);
  return -1;
}

// Placement: gAMA and pHYs right after IHDR; tRNS right after PLTE, else right
// after IHDR while there is no IDAT, else right before the first IDAT; every
// other kind right before IEND.
TChunk& TPNGList::Add(const TChunkClass& chunkClass) {
  const std::string_view name = chunkClass.Name;
  if (name == "IHDR" || name == "IDAT" || name == "PLTE" || name == "IEND")
    TPNGObject::RaiseError<EPngError>(EPNGCannotAddChunkText);
  if ((name == "gAMA" || name == "tRNS" || name == "pHYs") && IndexOfName(name) >= 0)
    TPNGObject::RaiseError<EPngError>(EPNGCannotAddChunkText);
  const int32_t header = IndexOfName("IHDR");
  const int32_t end = IndexOfName("IEND");
  if (header < 0 || end < 0) TPNGObject::RaiseError<EPngError>(EPNGCannotAddInvalidImageText);

  std::unique_ptr<TChunk> chunk = chunkClass.Create(*owner_);
  int32_t at = end;
  if (name == "gAMA" || name == "pHYs") {
    at = header + 1;
  } else if (name == "tRNS") {
    const int32_t palette = IndexOfName("PLTE");
    const int32_t data = IndexOfName("IDAT");
    at = palette >= 0 ? palette + 1 : (data < 0 ? header + 1 : data);
  }
  TChunk& added = *chunk;
  Insert(at, std::move(chunk));
  return added;
}

}  // namespace qira

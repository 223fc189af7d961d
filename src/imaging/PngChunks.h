#pragma once
// The chunk model of a PNG image: a TPNGObject owns an ordered list of chunks,
// each of which knows its four-letter name and how to load and save its data.
// The header chunk also owns the decoded picture.
//
// Sections: names and classes; TChunk; standard chunks; registry; TPNGList.
//
// Chunk framing on the stream (big-endian): u32 data length n, 4-letter name,
// n data bytes, CRC-32 of name and data.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/PngErrors.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TBinaryStream;
class TChunk;
class TPNGObject;

// ---------------------------------------------------------- names and classes

using TChunkName = std::array<char, 4>;

// The first four characters of text as a chunk name (missing ones are 0).
TChunkName MakeChunkName(std::string_view text);
inline std::string_view ChunkNameText(const TChunkName& name) { return {name.data(), name.size()}; }

// The class reference of a chunk kind: its name and the constructor of a new
// instance for an owner.
struct TChunkClass {
  std::string_view Name;  // 4 letters; "" for the plain chunk
  std::unique_ptr<TChunk> (*Create)(TPNGObject& owner);
};

// Writes the framing of one chunk: length, name, data, CRC. Raises
// EGraphicFileError "Stream write error" when the stream refuses bytes.
void WritePngChunk(TBinaryStream& stream, const TChunkName& name, const uint8_t* data, uint32_t size);
// Writes bytes or raises EGraphicFileError "Stream write error".
void WritePngBytes(TBinaryStream& stream, const void* data, size_t size);

// ------------------------------------------------------------------- TChunk

// A chunk whose kind the codec does not interpret keeps its raw data and
// writes it back unchanged.
class TChunk {
 public:
  explicit TChunk(TPNGObject& owner);
  virtual ~TChunk() = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  static const TChunkClass& StaticClass();
  virtual const TChunkClass& ChunkClass() const { return StaticClass(); }

  // Copies name and data from another chunk (kinds that hold more override).
  virtual void Assign(const TChunk& source);
  // Reads `size` data bytes and the CRC behind them; true when the CRC of name
  // and data matches. EPngUnexpectedEnd when the stream holds fewer than
  // size + 4 bytes (nothing is allocated then).
  virtual bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size);
  virtual void SaveToStream(TBinaryStream& stream) const;

  TPNGObject& Owner() const { return *owner_; }
  const TChunkName& Name() const { return name_; }
  void SetName(const TChunkName& name) { name_ = name; }
  const std::vector<uint8_t>& Data() const { return data_; }
  uint32_t DataSize() const { return static_cast<uint32_t>(data_.size()); }
  void ResizeData(uint32_t size) { data_.assign(size, 0); }

 protected:
  TChunk(TPNGObject& owner, std::string_view className);
  // The framing around this chunk's own data.
  void SaveData(TBinaryStream& stream) const;

  TPNGObject* owner_;
  TChunkName name_{};
  std::vector<uint8_t> data_;
};

#define QIRA_PNG_CHUNK_CLASS(Class)                                            \
 public:                                                                       \
  explicit Class(TPNGObject& owner);                                           \
  static const TChunkClass& StaticClass();                                     \
  const TChunkClass& ChunkClass() const override { return StaticClass(); }

// ----------------------------------------------------------- standard chunks

class TChunkIEND : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkIEND)
};

// One palette entry of the picture, in the order the device-independent
// bitmap stores it.
struct TPngPaletteEntry {
  uint8_t Blue = 0;
  uint8_t Green = 0;
  uint8_t Red = 0;
  friend bool operator==(const TPngPaletteEntry&, const TPngPaletteEntry&) = default;
};

// The largest picture storage (pixels, alpha and low bytes together) the codec
// allocates; a larger picture raises EPNGOutMemory with PictureAboveStorageLimit's
// text before anything is allocated.
inline constexpr uint64_t kMaxPngStorageBytes = uint64_t{512} << 20;

// The header and the decoded picture. The picture is held as a device-
// independent bitmap of DibBits() bits per pixel (1, 4, 8 with a palette, or
// 24 as blue, green, red), rows of Stride() bytes, row 0 at the top; an alpha
// plane (colour types 4 and 6; grey and RGB pictures read with a colour key,
// see StartKeyPlane) of Width bytes per row; and for 16-bit images a
// plane of the low bytes laid out like the bitmap. A bit depth of 2 is held at
// 4 bits.
class TChunkIHDR : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkIHDR)
 public:
  // Only from another header (else EPngError); copies the fields and the picture.
  void Assign(const TChunk& source) override;
  // Checks the header (see the .cpp for the order) and prepares the storage.
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;

  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 0;
  uint8_t ColorType = 0;
  uint8_t CompressionMethod = 0;
  uint8_t FilterMethod = 0;
  uint8_t InterlaceMethod = 0;

  // Builds zeroed storage for the header fields: bitmap, alpha and low-byte
  // planes, and the palette (grey levels through the owner's GammaLut for the
  // grey types, a halftone palette for colour type 3). EPNGOutMemory when the
  // storage would pass kMaxPngStorageBytes; EPngInvalidIHDR for a colour type
  // and depth that the PNG standard does not pair.
  void PrepareImageData();
  // The grey palette of n = 2^bits levels, entry i = GammaLut[i * 255 / (n - 1)],
  // padded with black to 2^DibBits() entries.
  void BuildGreyPalette(int32_t bits);

  int32_t DibBits() const { return dibBits_; }
  int32_t Stride() const { return stride_; }
  bool Paletted() const { return dibBits_ > 0 && dibBits_ <= 8; }
  // Picture row y (0 at the top) of each plane; the planes that the image does
  // not have are empty.
  uint8_t* ScanLine(uint32_t y) { return imageData_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* ScanLine(uint32_t y) const { return imageData_.data() + static_cast<size_t>(y) * stride_; }
  uint8_t* AlphaScanLine(uint32_t y) { return imageAlpha_.data() + static_cast<size_t>(y) * Width; }
  const uint8_t* AlphaScanLine(uint32_t y) const { return imageAlpha_.data() + static_cast<size_t>(y) * Width; }
  uint8_t* ExtraScanLine(uint32_t y) { return extraImageData_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* ExtraScanLine(uint32_t y) const {
    return extraImageData_.data() + static_cast<size_t>(y) * stride_;
  }
  bool HasAlpha() const { return !imageAlpha_.empty(); }
  bool HasExtra() const { return !extraImageData_.empty(); }
  // Grey and RGB pictures: the colour key is decided on the raw samples at their
  // own depth while the rows are decoded (the held pixels have lost the low
  // bytes and passed the gamma table), so the decoder keeps the decision in an
  // alpha plane, 0 where a pixel matched the key and 255 elsewhere.
  // StartKeyPlane makes that plane (all 255); DropKeyPlane removes it once the
  // key no longer belongs to the file read. Other colour types: nothing.
  void StartKeyPlane();
  void DropKeyPlane();

  // The picture's palette: 2^DibBits() entries for a paletted picture, none otherwise.
  std::vector<TPngPaletteEntry>& Palette() { return palette_; }
  const std::vector<TPngPaletteEntry>& Palette() const { return palette_; }
  // Replaces the first entries of the palette (the rest keep theirs).
  void SetPaletteEntries(const std::vector<TPngPaletteEntry>& entries);
  // New storage of that size keeping the overlapping pixels from the top-left
  // corner; new alpha bytes are 255, new low bytes 0, the palette is kept.
  void ResizeImage(uint32_t width, uint32_t height);

 private:
  void FreeImageData();

  int32_t dibBits_ = 0;
  int32_t stride_ = 0;
  std::vector<uint8_t> imageData_;
  std::vector<uint8_t> imageAlpha_;
  std::vector<uint8_t> extraImageData_;
  std::vector<TPngPaletteEntry> palette_;
};

// The image data. Loading decodes the whole picture into the header's storage,
// reading on through the IDAT chunks that follow; saving encodes the picture as
// one or more complete IDAT chunks (PngImageData.cpp).
class TChunkIDAT : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkIDAT)
 public:
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;
};

class TChunkPLTE : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkPLTE)
 public:
  void Assign(const TChunk& source) override;
  // EPNGInvalidPalette for a size that is not a multiple of 3 or above 256
  // entries; the entries (through GammaLut) become the picture's palette.
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  // Count entries (the header's palette size when 0) through InverseGammaLut.
  void SaveToStream(TBinaryStream& stream) const override;

  int32_t Count() const { return count_; }
  void SetCount(int32_t count) { count_ = count; }
  // Entry index of the picture's palette; EPngError "There is no such palette
  // entry." beyond Count().
  TPngPaletteEntry Item(int32_t index) const;

 private:
  int32_t count_ = 0;
};

class TChunktRNS : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunktRNS)
 public:
  void Assign(const TChunk& source) override;
  // EPNGInvalidPalette above 256 bytes.
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;

  bool BitTransparency() const { return bitTransparency_; }
  // Alpha of each palette entry: 255 past the stored data.
  const std::array<uint8_t, 256>& PaletteAlpha() const { return alphaTable_; }
  // The colour that is see-through, by the header's colour type.
  TColor TransparentColor() const;
  // Fills the data for that colour (colour types 0, 2, 3): the raw samples the
  // writer puts out for a pixel of it. For a palette or grey picture without
  // the colour nothing is made transparent and false is returned.
  bool SetTransparentColor(TColor color);
  // The low byte of a 16-bit key set in memory; the owner gives it to the pixels
  // of the key's colour, whose low bytes do not show.
  static constexpr uint8_t KeyLowByte = 0;

 private:
  void TakeData();

  bool bitTransparency_ = false;
  std::array<uint8_t, 256> alphaTable_{};
};

class TChunkgAMA : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkgAMA)
 public:
  void Assign(const TChunk& source) override;
  // A value other than 0 rebuilds the owner's gamma tables.
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;

  // Gamma × 100000; 0 when the data is shorter than 4 bytes.
  uint32_t Gamma() const;
  void SetGamma(uint32_t value);
};

class TChunkpHYs : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunkpHYs)
 public:
  void Assign(const TChunk& source) override;
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;

  uint32_t PPUnitX = 0;
  uint32_t PPUnitY = 0;
  uint8_t UnitType = 0;
};

class TChunktIME : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunktIME)
 public:
  void Assign(const TChunk& source) override;
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;

  uint16_t Year = 0;
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint8_t Hour = 0;
  uint8_t Minute = 0;
  uint8_t Second = 0;
};

// Text chunks keep their bytes as stored (Latin-1 by the PNG standard).
class TChunktEXt : public TChunk {
  QIRA_PNG_CHUNK_CLASS(TChunktEXt)
 public:
  void Assign(const TChunk& source) override;
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  void SaveToStream(TBinaryStream& stream) const override;

  std::string Keyword;
  std::string Text;

 protected:
  TChunktEXt(TPNGObject& owner, std::string_view className) : TChunk(owner, className) {}
};

// The largest text a zTXt chunk may inflate to; more raises EPNGOutMemory.
inline constexpr size_t kMaxPngTextBytes = size_t{16} << 20;

class TChunkzTXt : public TChunktEXt {
  QIRA_PNG_CHUNK_CLASS(TChunkzTXt)
 public:
  // Broken compressed text raises EPNGZLIBError.
  bool LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) override;
  // An empty text is stored as " "; deflated at the owner's DeflateLevel.
  void SaveToStream(TBinaryStream& stream) const override;
};

#undef QIRA_PNG_CHUNK_CLASS

// ------------------------------------------------------------------ registry

// Appends a kind to the registry (the first kind of a name wins).
void RegisterChunk(const TChunkClass& chunkClass);
// Registers IEND, IHDR, IDAT, PLTE, gAMA, tRNS, pHYs, tIME, tEXt, zTXt in that
// order, once; later calls do nothing.
void RegisterCommonChunks();
// An instance of the first registered kind of that name, else a plain TChunk;
// either way it carries the name given. *known tells which.
std::unique_ptr<TChunk> CreateClassChunk(TPNGObject& owner, const TChunkName& name, bool* known = nullptr);

// ----------------------------------------------------------- TPNGPointerList

// A growable array of chunks in order; the list owns them.
class TPNGPointerList {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Null outside 0 .. Count() - 1 (and for an empty slot).
  TChunk* GetItem(int32_t index) const;
  int32_t IndexOf(const TChunk* chunk) const;
  // At the end.
  void Add(std::unique_ptr<TChunk> chunk) { items_.push_back(std::move(chunk)); }
  // Before the item at index. An index not below Count() on a list that is not
  // empty, or below 0, inserts nothing and frees the chunk; false then.
  bool Insert(int32_t index, std::unique_ptr<TChunk> chunk);
  // Removes and frees the chunk; nothing when it is not in the list.
  void Remove(const TChunk* chunk);
  // Grows with empty (null) slots or shrinks, freeing the chunks cut off; 0
  // releases the storage. The image code itself only ever shrinks the list.
  void SetCount(int32_t count);
  void Clear() { SetCount(0); }

  std::vector<std::unique_ptr<TChunk>>& Items() { return items_; }
  const std::vector<std::unique_ptr<TChunk>>& Items() const { return items_; }

 protected:
  std::vector<std::unique_ptr<TChunk>> items_;
};

// ------------------------------------------------------------------ TPNGList

// The chunks of an image in file order.
class TPNGList : public TPNGPointerList {
 public:
  explicit TPNGList(TPNGObject& owner) : owner_(&owner) {}

  // The first chunk of class T or of a class derived from it, else null.
  template <class T>
  T* ItemFromClass() const {
    for (const auto& c : items_)
      if (auto* p = dynamic_cast<T*>(c.get())) return p;
    return nullptr;
  }
  using TPNGPointerList::Add;
  // Adds an ancillary chunk where the PNG standard wants it (see the .cpp);
  // EPngError for a critical kind, a second gAMA, tRNS or pHYs, or a list
  // without IHDR or IEND.
  TChunk& Add(const TChunkClass& chunkClass);
  template <class T>
  T& Add() {
    return static_cast<T&>(Add(T::StaticClass()));
  }

 private:
  int32_t IndexOfName(std::string_view name) const;

  TPNGObject* owner_;
};

}  // namespace qira
